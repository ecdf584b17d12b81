#include "detected_options.h"

#include <cstring>
#include <vector>

#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"

namespace sheetwright {
namespace {

// Memory modules (query 36, layout 2): id, size, flags.
constexpr size_t kModuleEntrySize = 16;
constexpr size_t kModuleId = 0, kModuleSize = 4, kModuleFlags = 8;
constexpr DWORD kModuleOptional = 0x1;
constexpr DWORD kModuleKindMask = 0x3, kModuleStandard = 0x2;
// Memory present without modules (query 36, layout 1).
constexpr size_t kStartingMemory = 0;
constexpr int kMemoryPasses = 2;

// Finisher records (query 27, layout 3): id, model name (its field ends where
// the record's flag words start), and the default words of the punch unit
// (state 0x10000) and of the second unit (state 0x20000): positive a unit
// the finisher has, 0 one it may have, negative none.
constexpr size_t kFinisherRecordSize = 88;
constexpr size_t kFinisherId = 0, kFinisherName = 8, kFinisherNameEnd = 40;
constexpr size_t kFinisherPunchWord = 48, kFinisherUnitBWord = 50;
constexpr WORD kUnknownFinisher = 99;
constexpr DWORD kInstalled = 1;

struct Module {
    WORD id;
    DWORD size;
    DWORD flags;
};

std::vector<Module> ReadModules(const ModelBlock* binding) {
    std::vector<Module> modules;
    CModelInfo info(binding, model::kQueryMemory, 0, model::layout::kOptionList);
    if (info.GetData())
        for (size_t off = 0; off + kModuleEntrySize <= info.Length(); off += kModuleEntrySize)
            modules.push_back({info.U16(off + kModuleId), info.U32(off + kModuleSize),
                               info.U32(off + kModuleFlags)});
    info.Release();
    return modules;
}

// The size of the first optional module with this id (when limited, the first
// one not larger than the limit), 0 when there is none.
DWORD OptionalSize(const std::vector<Module>& modules, WORD id, DWORD limit, bool limited) {
    for (const Module& m : modules)
        if (m.id == id && (m.flags & kModuleOptional) && (!limited || m.size <= limit))
            return m.size;
    return 0;
}

} // namespace

BOOL SetInstalledMemory(const ModelBlock* binding, CInstallOption* list, DWORD size) {
    if (!binding || !list || size == 0) return FALSE;
    list->ClearOption(kOptionMemory36);
    CModelInfo start(binding, model::kQueryMemory, 0, model::layout::kOptionValue);
    DWORD base = start.U32(kStartingMemory);
    start.Release();
    const std::vector<Module> modules = ReadModules(binding);
    for (const Module& m : modules) {
        if ((m.flags & kModuleKindMask) != kModuleStandard) continue;
        base += m.size;
        if (InstallOptionEntry* e = list->Find(kOptionMemory36, m.id)) e->state = kInstalled;
    }
    DWORD remainder = size > base ? size - base : 0;
    for (int pass = 0; pass < kMemoryPasses && remainder > 0; ++pass) {
        InstallOptionEntry* chosen = nullptr;
        DWORD chosenSize = 0;
        for (DWORD n = 1; InstallOptionEntry* e = list->FindNth(kOptionMemory36, n); ++n) {
            if (e->state) continue;
            // The first optional module of this id that still fits.
            const DWORD candidate = OptionalSize(modules, e->value, remainder, true);
            if (candidate > chosenSize) {
                chosen = e;
                chosenSize = candidate;
            }
        }
        if (!chosen) break;
        chosen->state = kInstalled;
        remainder -= chosenSize;
    }
    if (remainder == size) {
        // Nothing fitted: the device has memory all the same, so the
        // smallest module stands for it.
        InstallOptionEntry* smallest = nullptr;
        DWORD smallestSize = 0;
        for (DWORD n = 1; InstallOptionEntry* e = list->FindNth(kOptionMemory36, n); ++n) {
            if (e->state) continue;
            const DWORD s = OptionalSize(modules, e->value, 0, false);
            if (s != 0 ? (smallestSize == 0 || s < smallestSize) : smallestSize == 0) {
                smallest = e;
                smallestSize = s;
            }
        }
        if (smallest) smallest->state = kInstalled;
        return FALSE;
    }
    return remainder == 0 ? TRUE : FALSE;
}

BOOL FindFinisherByName(const ModelBlock* binding, CInstallOption* list, LPCSTR name, DWORD punch) {
    if (!binding || !list || !name || !*name) return FALSE;
    list->ClearOption(kOptionFinisher);
    const size_t nameLength = std::strlen(name);
    bool matched = false;
    CModelInfo info(binding, model::kQueryFinishers, 0, model::layout::kFinisherRecord);
    auto* data = static_cast<const BYTE*>(info.GetData());
    for (size_t off = 0; data && off + kFinisherRecordSize <= info.Length();
         off += kFinisherRecordSize) {
        // The record's name field ends where its punch word starts; a name
        // without a terminator there matches only a name of that length.
        const BYTE* field = data + off + kFinisherName;
        const size_t room = kFinisherNameEnd - kFinisherName;
        if (nameLength > room || std::memcmp(field, name, nameLength) != 0 ||
            (nameLength < room && field[nameLength] != 0))
            continue;
        matched = true;
        InstallOptionEntry* e = list->Find(kOptionFinisher, info.U16(off + kFinisherId));
        if (!e) continue;
        const auto punchWord = static_cast<SHORT>(info.U16(off + kFinisherPunchWord));
        const auto unitBWord = static_cast<SHORT>(info.U16(off + kFinisherUnitBWord));
        const DWORD before = e->state;
        DWORD state = kInstalled;
        if (punchWord > 0 || (punchWord == 0 && punch)) state |= kFinisherPunchUnit;
        if (unitBWord > 0 || (unitBWord == 0 && (before & kFinisherFoldUnit)))
            state |= kFinisherFoldUnit;
        e->state = state;
    }
    info.Release();
    if (matched) return TRUE;
    ModelOptionPair pair{binding, list};
    if (list->Find(kOptionFinisher, kUnknownFinisher))
        MarkFinisherInstalled(&pair, kUnknownFinisher, punch, 0);
    return FALSE;
}

} // namespace sheetwright
