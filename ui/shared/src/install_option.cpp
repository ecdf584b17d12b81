// The installed-option list, its printer data and the availability tests.
#include "install_option.h"

#include <cstring>
#include <new>
#include <vector>

#include "model_codes.h"
#include "model_info.h"
#include "win/base.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr size_t kEntrySize = sizeof(InstallOptionEntry);
// Query-37 layout-2 entry: option id, value, model word, then u32 flags at 8.
constexpr size_t kDirModelWord = 4;
constexpr size_t kDirFlags = 8;
constexpr DWORD kDirOptional = 0x1;
constexpr DWORD kDirStandard = 0x2;
// Query-26 layout-2 tray group record.
constexpr size_t kTrayGroupSize = 32;
constexpr size_t kTrayGroupCount = 14;
constexpr size_t kTrayGroupIds = 24;
constexpr int kTrayGroupMaxIds = 4;
// Query-36 layouts.
constexpr size_t kMemStart = 4;
constexpr size_t kMemMaximum = 12;
constexpr size_t kModuleSize = 4;
constexpr size_t kModuleFlags = 8;
// Query 35/36 layout-2 entries.
constexpr size_t kMemEntrySize = 16;
// Query-27 layout-1 entries.
constexpr size_t kFinisherEntrySize = 24;
constexpr size_t kFinisherFlags = 8;
constexpr WORD kFinisherSkipped = 99;
// Query-27 layout-3 record words.
constexpr size_t kFinisherWordA = 48;
constexpr size_t kFinisherWordB = 50;

WORD U16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}
DWORD U32(const BYTE* p) {
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;
}

// Classes whose units are optional hardware: only their optional units are
// the user's to set. Every other class is always settable.
bool IsUnitClass(WORD option) {
    return option == kOption25 || option == kOptionTray || option == kOptionFinisher ||
           option == kOptionMemory35 || option == kOptionMemory36;
}

bool ModuleSize(const ModelBlock* binding, WORD value, DWORD* size) {
    CModelInfo module(binding, model::kQueryMemory, value, model::layout::kOptionList);
    bool ok = module.GetData() && module.Length() >= kModuleSize + 4;
    if (ok) *size = module.U32(kModuleSize);
    module.Release();
    return ok;
}

void ApplyModelDefaults(InstallOptionEntry* entries, DWORD count, const ModelBlock* binding) {
    for (DWORD i = 0; i < count; ++i) {
        InstallOptionEntry& e = entries[i];
        if (e.optionId == kOptionTray || e.optionId == kOptionMemory36) {
            const bool tray = e.optionId == kOptionTray;
            CModelInfo unit(binding, tray ? model::kQueryTrayGroups : model::kQueryMemory, e.value,
                            tray ? model::layout::kFeederRecord : model::layout::kOptionList);
            if (unit.U8(tray ? 4 : kModuleFlags) & kDirStandard) {
                e.state = 1;
                EnforceMemoryLimit(entries, count, &e, binding);
            }
            unit.Release();
        } else if (e.optionId == kOption63) {
            e.state = 0;
            CModelInfo prompt(binding, model::kQueryDepartmentPrompt, 0,
                              model::layout::kFixedSecond);
            if (prompt.U8(0) & 0x4) e.state = 1;
            prompt.Release();
        }
    }
}

void ApplyStoredStates(InstallOptionEntry* entries, DWORD count, const BYTE* stored, DWORD size) {
    for (DWORD off = 0; off + kEntrySize <= size; off += kEntrySize) {
        InstallOptionEntry s;
        std::memcpy(&s, stored + off, kEntrySize);
        for (DWORD i = 0; i < count; ++i) {
            if (entries[i].optionId != s.optionId || entries[i].value != s.value) continue;
            if (entries[i].flags & kOptionUserSettable) entries[i].state = s.state;
            break;
        }
    }
}

void ApplyTrayKinds(InstallOptionEntry* entries, DWORD count, const ModelBlock* binding) {
    CModelInfo groups(binding, model::kQueryTrayGroups, 0, model::layout::kFeederRecord);
    auto* data = static_cast<const BYTE*>(groups.GetData());
    const DWORD length = groups.Length();
    for (size_t off = 0; data && off + kTrayGroupSize <= length; off += kTrayGroupSize) {
        const BYTE* rec = data + off;
        int n = static_cast<SHORT>(U16(rec + kTrayGroupCount));
        // Only the four ids that fit behind the record's id slots are read.
        if (n > kTrayGroupMaxIds) n = kTrayGroupMaxIds;
        for (int t = 0; t < n; ++t) {
            const WORD tray = U16(rec + kTrayGroupIds + 2 * t);
            for (DWORD i = 0; i < count; ++i) {
                if (entries[i].optionId == kOptionTray && entries[i].value == tray) {
                    entries[i].trayKind = U16(rec);
                    break;
                }
            }
        }
    }
    groups.Release();
}

} // namespace

DWORD ReadInstallOption(HANDLE printer, InstallOptionEntry* entries, DWORD* size, DWORD* count,
                        const ModelBlock* binding) {
    if (!binding || !size || !count) return ERROR_INVALID_DATA;
    CModelInfo dir(binding, model::kQueryOptionDirectory, 0, model::layout::kDirectoryEntries);
    auto* data = static_cast<const BYTE*>(dir.GetData());
    DWORD result = dir.Result();
    if (!data) {
        dir.Release();
        return result ? result : ERROR_INVALID_DATA;
    }
    const DWORD whole = dir.Length() / kEntrySize * kEntrySize;
    if (!entries) {
        *size = whole;
        dir.Release();
        return 0;
    }
    const DWORD n = std::min(*size, whole) / kEntrySize;
    for (DWORD i = 0; i < n; ++i) {
        const BYTE* src = data + i * kEntrySize;
        InstallOptionEntry& e = entries[i];
        e = {};
        e.optionId = U16(src);
        e.value = U16(src + 2);
        e.modelWord = U16(src + kDirModelWord);
        const DWORD flags = U32(src + kDirFlags);
        e.state = (flags & kDirStandard) ? 1 : 0;
        e.flags = IsUnitClass(e.optionId) ? (flags & kDirOptional) : kOptionUserSettable;
    }
    *count = n;
    dir.Release();

    DWORD type = 0, needed = 0;
    DWORD r = GetPrinterDataW(printer, const_cast<LPWSTR>(kInstallOptionValue), &type, nullptr, 0,
                              &needed);
    bool stored = false;
    if (r == ERROR_MORE_DATA && needed > 0) {
        std::vector<BYTE> buf;
        try {
            buf.resize(needed);
        } catch (const std::bad_alloc&) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        DWORD got = 0;
        if (GetPrinterDataW(printer, const_cast<LPWSTR>(kInstallOptionValue), &type, buf.data(),
                            needed, &got) == ERROR_SUCCESS) {
            ApplyStoredStates(entries, n, buf.data(), std::min(got, needed));
            stored = true;
        }
    }
    if (!stored) ApplyModelDefaults(entries, n, binding);
    ApplyTrayKinds(entries, n, binding);
    return 0;
}

DWORD WriteInstallOption(HANDLE printer, const InstallOptionEntry* entries, DWORD count,
                         const ModelBlock*) {
    if (!entries) return ERROR_INVALID_DATA;
    DWORD bytes = count * static_cast<DWORD>(kEntrySize);
    // The list is one value: the spooler replaces it whole or not at all. Its
    // size follows it, so a reader never takes a size the list does not have.
    const DWORD written =
        SetPrinterDataW(printer, const_cast<LPWSTR>(kInstallOptionValue), REG_BINARY,
                        reinterpret_cast<LPBYTE>(const_cast<InstallOptionEntry*>(entries)), bytes);
    if (written != ERROR_SUCCESS) return written;
    return SetPrinterDataW(printer, const_cast<LPWSTR>(kInstallOptionSizeValue), REG_DWORD,
                           reinterpret_cast<LPBYTE>(&bytes), sizeof bytes);
}

BOOL EnforceMemoryLimit(InstallOptionEntry* entries, DWORD count, const InstallOptionEntry* changed,
                        const ModelBlock* binding) {
    if (!entries || !changed || changed->optionId != kOptionMemory36) return TRUE;
    CModelInfo limits(binding, model::kQueryMemory, 0, model::layout::kOptionValue);
    const bool known = limits.GetData() && limits.Length() >= kMemMaximum + 4;
    const ULONGLONG start = limits.U32(kMemStart), maximum = limits.U32(kMemMaximum);
    limits.Release();
    if (!known) return TRUE;
    // Every installed module counts, so that the list that remains fits.
    ULONGLONG total = start;
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = 0;
        if (entries[i].optionId == kOptionMemory36 && entries[i].state &&
            ModuleSize(binding, entries[i].value, &size))
            total += size;
    }
    if (total <= maximum) return TRUE;
    for (DWORD i = 0; i < count && total > maximum; ++i) {
        InstallOptionEntry& e = entries[i];
        if (e.optionId != kOptionMemory36 || !e.state || &e == changed) continue;
        DWORD size = 0;
        if (!ModuleSize(binding, e.value, &size)) continue;
        total -= size;
        e.state = 0;
    }
    return TRUE;
}

CInstallOption::CInstallOption(HANDLE printer, const ModelBlock* binding)
    : printer_(printer), binding_(binding) {
    CModelInfo flags(binding, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst);
    changePaperTraySupported_ = (flags.U32(0) & model::kFeatureChangePaperTray) ? 1 : 0;
    flags.Release();
    Build(printer);
    if (changePaperTraySupported_) {
        changePaperTray_ = changePaperTrayDefault_;
        BYTE stored = 0;
        DWORD type = 0, got = 0;
        if (GetPrinterDataW(printer, const_cast<LPWSTR>(kChangePaperTrayValue), &type, &stored, 1,
                            &got) == ERROR_SUCCESS &&
            got == 1)
            changePaperTray_ = stored;
    }
}

void CInstallOption::Build(HANDLE printer) {
    DWORD size = 0, count = 0;
    if (ReadInstallOption(printer, nullptr, &size, &count, binding_) != 0 || size == 0) return;
    entries_ = static_cast<InstallOptionEntry*>(GlobalAlloc(GPTR, size));
    if (!entries_) return;
    if (ReadInstallOption(printer, entries_, &size, &count, binding_) != 0) count = 0;
    count_ = count;
}

void CInstallOption::FreeEntries() {
    if (entries_) GlobalFree(entries_);
    entries_ = nullptr;
    count_ = 0;
}

BOOL CInstallOption::Reload() {
    FreeEntries();
    Build(nullptr);
    changePaperTray_ = changePaperTrayDefault_;
    return entries_ != nullptr;
}

DWORD CInstallOption::CountEntries(WORD option, WORD kind) const {
    DWORD n = 0;
    for (DWORD i = 0; i < count_; ++i)
        if (entries_[i].optionId == option &&
            (kind == kAnyTrayKind || entries_[i].trayKind == kind))
            ++n;
    return n;
}

InstallOptionEntry* CInstallOption::FindNth(WORD option, DWORD n) const {
    for (DWORD i = 0; i < count_; ++i)
        if (entries_[i].optionId == option && --n == 0) return &entries_[i];
    return nullptr;
}

InstallOptionEntry* CInstallOption::Find(WORD option, WORD value) const {
    for (DWORD i = 0; i < count_; ++i)
        if (entries_[i].optionId == option && entries_[i].value == value) return &entries_[i];
    return nullptr;
}

InstallOptionEntry* CInstallOption::FindByValue(WORD option, WORD value) const {
    for (DWORD n = 1;; ++n) {
        InstallOptionEntry* e = FindNth(option, n);
        if (!e || e->value == value) return e;
    }
}

void CInstallOption::ClearOption(WORD option) {
    for (DWORD i = 0; i < count_; ++i)
        if (entries_[i].optionId == option) entries_[i].state = 0;
}

InstallOptionEntry* CInstallOption::FindKind5Tray() const {
    for (DWORD i = 0; i < count_; ++i)
        if (entries_[i].optionId == kOptionTray && entries_[i].trayKind == 5) return &entries_[i];
    return nullptr;
}

InstallOptionEntry* CInstallOption::FindInstalledFinisher(DWORD n) const {
    if (n == 0) n = 1;
    for (DWORD k = n;; ++k) {
        InstallOptionEntry* e = FindNth(kOptionFinisher, k);
        if (!e || e->state) return e;
    }
}

// ---------------------------------------------------------------------------
// Availability tests.

namespace {

const CInstallOption* List(const ModelOptionPair* pair) {
    return pair ? pair->options : nullptr;
}
const ModelBlock* Binding(const ModelOptionPair* pair) {
    return pair ? pair->binding : nullptr;
}

bool Installed(const ModelOptionPair* pair, WORD option, WORD value) {
    const CInstallOption* list = List(pair);
    const InstallOptionEntry* e = list ? list->Find(option, value) : nullptr;
    return e && e->state;
}

bool AnyInstalled(const ModelOptionPair* pair, WORD option) {
    const CInstallOption* list = List(pair);
    if (!list) return false;
    for (DWORD i = 0; i < list->Count(); ++i)
        if (list->Entries()[i].optionId == option && list->Entries()[i].state) return true;
    return false;
}

// A u32 of table layout 1 (entry 0), 0 when the table does not answer.
DWORD TableU32(const ModelOptionPair* pair, WORD table, size_t offset,
               DWORD part = model::layout::kFixedFirst) {
    CModelInfo info(Binding(pair), table, 0, part);
    DWORD v = info.U32(offset);
    info.Release();
    return v;
}

BYTE TableU8(const ModelOptionPair* pair, WORD table, DWORD part = model::layout::kFixedFirst) {
    CModelInfo info(Binding(pair), table, 0, part);
    BYTE v = info.U8(0);
    info.Release();
    return v;
}

bool MemoryPresent(const ModelOptionPair* pair, WORD memoryClass) {
    CModelInfo info(Binding(pair), memoryClass, 0, model::layout::kOptionList);
    auto* data = static_cast<const BYTE*>(info.GetData());
    const bool any = AnyInstalled(pair, memoryClass);
    bool present = false;
    for (size_t off = 0; data && off + kMemEntrySize <= info.Length() && !present;
         off += kMemEntrySize) {
        const BYTE flags = data[off + kModuleFlags];
        present = (flags & 1) ? any : (flags & 2) != 0;
    }
    info.Release();
    return present;
}

bool FinisherPresent(const ModelOptionPair* pair) {
    CModelInfo info(Binding(pair), model::kQueryFinishers, 0, model::layout::kFinisherShort);
    auto* data = static_cast<const BYTE*>(info.GetData());
    bool present = false;
    for (size_t off = 0; data && off + kFinisherEntrySize <= info.Length() && !present;
         off += kFinisherEntrySize) {
        const WORD id = U16(data + off);
        if (id == kFinisherSkipped) continue;
        const DWORD flags = U32(data + off + kFinisherFlags);
        const CInstallOption* list = List(pair);
        const InstallOptionEntry* e = list ? list->Find(kOptionFinisher, id) : nullptr;
        present = (flags & 1) ? (e && (e->state & 1)) : (flags & 2) != 0;
    }
    info.Release();
    return present;
}

bool FirstBitAndFeature(const ModelOptionPair* pair, WORD table) {
    CModelInfo info(Binding(pair), table, 0, model::layout::kFixedFirst);
    const DWORD first = info.U32(0), mask = info.U32(4);
    info.Release();
    return (first & 1) && IsFeatureAvailable(pair, mask, nullptr);
}

} // namespace

DWORD GetInstalledMemory(const ModelOptionPair* pair, WORD memoryClass) {
    DWORD total = TableU32(pair, memoryClass, 0, model::layout::kOptionValue);
    CModelInfo info(Binding(pair), memoryClass, 0, model::layout::kOptionList);
    auto* data = static_cast<const BYTE*>(info.GetData());
    for (size_t off = 0; data && off + kMemEntrySize <= info.Length(); off += kMemEntrySize) {
        const BYTE flags = data[off + kModuleFlags];
        const WORD id = U16(data + off);
        if ((flags & 1) ? Installed(pair, memoryClass, id) : (flags & 2) != 0)
            total += U32(data + off + kModuleSize);
    }
    info.Release();
    return total;
}

DWORD GetStandardMemorySize(const ModelOptionPair* pair) {
    DWORD total = TableU32(pair, model::kQueryMemory, kMemStart);
    CModelInfo info(Binding(pair), model::kQueryMemory, 0, model::layout::kOptionList);
    auto* data = static_cast<const BYTE*>(info.GetData());
    for (size_t off = 0; data && off + kMemEntrySize <= info.Length(); off += kMemEntrySize)
        if ((data[off + kModuleFlags] & 3) == 2) total += U32(data + off + kModuleSize);
    info.Release();
    return total;
}

BOOL IsFeatureAvailable(const ModelOptionPair* pair, DWORD mask, const FeatureLimits* limits) {
    bool ok = true;
    if (mask & 0x4) {
        const BYTE b = TableU8(pair, model::kQueryInstallable);
        ok = ok && (((b & 1) && AnyInstalled(pair, kOption25)) || (b & 2));
    }
    if (mask & 0x1)
        ok = ok && (limits && (limits->flags & 1)
                        ? GetInstalledMemory(pair, kOptionMemory35) >= limits->minimum35
                        : MemoryPresent(pair, kOptionMemory35));
    if (mask & 0x2)
        ok =
            ok && (limits && (limits->flags & 2) ? GetInstalledMemorySize(pair) >= limits->minimum36
                                                 : MemoryPresent(pair, kOptionMemory36));
    if (mask & 0x8) ok = ok && FinisherPresent(pair);
    return ok;
}

BOOL HasModelFlag25Bits2To3(const ModelOptionPair* pair) {
    return (TableU8(pair, model::kQueryInstallable) & 0x0C) != 0;
}
BOOL HasModelFlag25Bits0To1(const ModelOptionPair* pair) {
    return (TableU8(pair, model::kQueryInstallable) & 0x03) != 0;
}

BOOL IsOption25BInstalled(const ModelOptionPair* pair) {
    if (!HasModelFlag25Bits2To3(pair)) return FALSE;
    FeatureLimits limits{2, TableU32(pair, model::kQueryInstallable, 16), 0};
    return IsFeatureAvailable(pair, TableU32(pair, model::kQueryInstallable, 8), &limits);
}

BOOL IsOption25AInstalled(const ModelOptionPair* pair) {
    if (!HasModelFlag25Bits0To1(pair)) return FALSE;
    FeatureLimits limits{2, TableU32(pair, model::kQueryInstallable, 12), 0};
    return IsFeatureAvailable(pair, TableU32(pair, model::kQueryInstallable, 4), &limits);
}

BOOL IsTable29FeatureAvailable(const ModelOptionPair* pair) {
    CModelInfo info(Binding(pair), model::kQueryBooklet, 0, model::layout::kFixedFirst);
    const DWORD first = info.U32(0), third = info.U32(8), fourth = info.U32(12);
    info.Release();
    if (!(first & 1)) return FALSE;
    if ((third & 0x3) && !IsOption25AInstalled(pair) && !IsOption25BInstalled(pair)) return FALSE;
    if ((third & 0x4) && !(TableU32(pair, model::kQueryPageLayout, 0) & 1)) return FALSE;
    return IsFeatureAvailable(pair, fourth, nullptr);
}

BOOL IsTable38FeatureAvailable(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryCopyControl);
}
BOOL IsJobType60Available(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryJobType1Rules);
}
BOOL IsJobType61Available(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryJobType4Rules);
}
BOOL IsJobType62Available(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryJobType5Rules);
}
BOOL IsJobType73Available(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryJobType2Rules);
}
BOOL IsJobType74Available(const ModelOptionPair* pair) {
    return FirstBitAndFeature(pair, model::kQueryJobType3Rules);
}

BOOL HasTable37Entry(const ModelOptionPair* pair, WORD option) {
    CModelInfo info(Binding(pair), model::kQueryOptionDirectory, option,
                    model::layout::kDirectoryEntries);
    auto* data = static_cast<const BYTE*>(info.GetData());
    bool found = false;
    for (size_t off = 0; data && off + kEntrySize <= info.Length() && !found; off += kEntrySize)
        found = (U32(data + off + kDirFlags) & kDirOptional) != 0;
    info.Release();
    return found;
}

namespace {

// True when the model's own paper sources (query 24, 4-byte entries with the
// tray id first) list the tray.
bool ModelListsTray(const ModelOptionPair* pair, WORD tray) {
    CModelInfo info(Binding(pair), model::kQueryPaperSources, 0, model::layout::kTrayList);
    auto* data = static_cast<const BYTE*>(info.GetData());
    bool found = false;
    for (size_t off = 0; data && off + 4 <= info.Length() && !found; off += 4)
        found = U16(data + off) == tray;
    info.Release();
    return found;
}

} // namespace

BOOL IsTrayAvailable(const ModelOptionPair* pair, WORD tray) {
    return ModelListsTray(pair, tray) || Installed(pair, kOptionTray, tray);
}

BOOL HasKind4PaperSource(const ModelOptionPair* pair) {
    return ModelListsTray(pair, 4);
}

BOOL HasModelFlag25Bit4(const ModelOptionPair* pair) {
    return (TableU8(pair, model::kQueryInstallable) & 0x10) != 0;
}
BOOL HasModelFlag25Bit8(const ModelOptionPair* pair) {
    return (TableU32(pair, model::kQueryInstallable, 0) & 0x100) != 0;
}
BOOL LacksTable22Flag(const ModelOptionPair* pair) {
    return !(TableU8(pair, model::kQueryMediaTypes, model::layout::kMediaNoDefault) & 1);
}
BOOL HasTable79Flags(const ModelOptionPair* pair) {
    return (TableU8(pair, model::kQueryFeatureFlags) & 0x07) != 0;
}
BOOL HasTable57FlagA(const ModelOptionPair* pair, DWORD mask) {
    return (TableU32(pair, model::kQueryCoverPages, 8, model::layout::kFixedSecond) & mask) != 0;
}
BOOL HasTable57FlagB(const ModelOptionPair* pair, DWORD mask) {
    return (TableU32(pair, model::kQueryCoverPages, 16, model::layout::kFixedSecond) & mask) != 0;
}

BOOL MarkFinisherInstalled(const ModelOptionPair* pair, WORD finisher, DWORD a, DWORD b) {
    CInstallOption* list = pair ? pair->options : nullptr;
    InstallOptionEntry* e = list ? list->Find(kOptionFinisher, finisher) : nullptr;
    if (!e) return FALSE;
    e->state = 1;
    CModelInfo info(Binding(pair), model::kQueryFinishers, finisher,
                    model::layout::kFinisherRecord);
    const bool answered = info.GetData() != nullptr;
    const WORD wa = info.U16(kFinisherWordA), wb = info.U16(kFinisherWordB);
    info.Release();
    if (!answered) return FALSE;
    if (wa == 1 || (wa < 0xFFFF && a)) e->state |= kFinisherPunchUnit;
    if (wb == 1 || (wb < 0xFFFF && b)) e->state |= kFinisherFoldUnit;
    return TRUE;
}

} // namespace sheetwright
