#include "devmode_corrections.h"

#include <cstring>
#include <vector>

#include "win/base.h"

#include "kinsoku_rules.h"
#include "model/model_queries.h"
#include "devmode_helpers.h"
#include "model_codes.h"
#include "model_info.h"

namespace sheetwright {
namespace {

constexpr DWORD kDuplexUnitFlag = 1u << 9;    // PrivateFlags: two-sided printing is offered
constexpr DWORD kCollateModelFlag = 1u << 15; // PrivateFlags: the device collates
constexpr WORD kDeptCounterOn = 0x1;          // DeptCounterFlags
constexpr size_t kFinisherBinCode = 56;       // query 27 layout 3: the finisher's bin code

template <typename Test> bool AnyEntry(const CInstallOption& list, WORD option, Test test) {
    for (DWORD i = 0; i < list.Count(); ++i)
        if (list.Entries()[i].optionId == option && test(list.Entries()[i])) return true;
    return false;
}

constexpr DWORD kBookletFeature = 1u << 2;      // FeatureFlags: booklet offered
constexpr DWORD kAutoTrayFeature = 1u << 27;    // FeatureFlags: automatic tray resolve
constexpr DWORD kFrontCoverTray = 1u << 22;     // PrivateFlags: front cover tray in use
constexpr DWORD kBackCoverTray = 1u << 23;      // PrivateFlags: back cover tray in use
constexpr BYTE kCopyControlKeepsCollate = 0x04; // table 38 byte 0
constexpr WORD kNoFinisher = 99;
constexpr SHORT kAutomaticSource = 7; // DMBIN_AUTO
constexpr WORD kManualFeed = 4;       // DMBIN_MANUAL
// Table 27's lists of punch, fold and staple codes: entry sizes and where the code stands.
constexpr size_t kPunchEntrySize = 24, kFoldEntrySize = 24, kCodeAt = 2;
constexpr size_t kStapleEntrySize = 192, kStapleCodeAt = 4;
constexpr size_t kTrayRecordSize = model::kTrayRecordSize;

DWORD CountInstalled(const CInstallOption* list, WORD option) {
    DWORD n = 0;
    for (DWORD i = 0; list && i < list->Count(); ++i)
        if (list->Entries()[i].optionId == option && list->Entries()[i].state) ++n;
    return n;
}

void ReviseDeptCounter(const CInstallOption* options, PRIVATE_DEVMODE& priv) {
    if (!options) return;
    const CInstallOption& list = *options;
    if (!AnyEntry(list, kOption63, [](const InstallOptionEntry&) { return true; })) return;
    if (AnyEntry(list, kOption63, [](const InstallOptionEntry& e) { return e.state != 0; }))
        priv.DeptCounterFlags |= kDeptCounterOn;
    else
        priv.DeptCounterFlags &= static_cast<WORD>(~kDeptCounterOn);
}

// Whether `value` is the mapping of some code of a finisher list.
bool FinisherListHolds(const ModelBlock* binding, WORD finisher, int layout, size_t entrySize,
                       size_t codeAt, DWORD (*map)(DWORD), DWORD value) {
    CModelInfo list(binding, model::kQueryFinishers, finisher, static_cast<DWORD>(layout));
    auto* data = static_cast<const BYTE*>(list.GetData());
    for (size_t off = 0; data && off + entrySize <= list.Length(); off += entrySize) {
        WORD code;
        std::memcpy(&code, data + off + codeAt, sizeof code);
        if (map(code) == value) return true;
    }
    return false;
}

bool TrayOffered(const ModelOptionPair* options, SHORT tray) {
    return IsTrayAvailable(options, static_cast<WORD>(tray)) != FALSE;
}

} // namespace

BOOL ReviseDevmodeByOptions(const ModelOptionPair* options, DEVMODE_IMAGEW* image) {
    if (!options || !options->options || !image) return FALSE;
    const CInstallOption& list = *options->options;
    PRIVATE_DEVMODE& priv = image->priv;
    if (priv.PrivateFlags & kDuplexUnitFlag)
        priv.DuplexType = IsOption25AInstalled(options) ? 0 : 1;
    if (priv.PrivateFlags & kCollateModelFlag)
        priv.CollateByDriver = IsTable38FeatureAvailable(options) ? 0 : 1;
    ReviseDeptCounter(&list, priv);
    for (DWORD i = 0; i < list.Count(); ++i) {
        const InstallOptionEntry& e = list.Entries()[i];
        if (e.optionId != kOptionFinisher || !e.state) continue;
        CModelInfo record(options->binding, model::kQueryFinishers, e.value,
                          model::layout::kFinisherRecord);
        priv.OutputBin = static_cast<WORD>(MapModelCodeNine(record.U16(kFinisherBinCode)));
        record.Release();
        break;
    }
    return TRUE;
}

BOOL ReviseDevmodeByCapabilities(const ModelOptionPair* options, const void*,
                                 DEVMODE_IMAGEW* image) {
    if (!image) return FALSE;
    const CInstallOption* list = options ? options->options : nullptr;
    const ModelBlock* binding = options ? options->binding : nullptr;
    PRIVATE_DEVMODE& priv = image->priv;
    DEVMODEW& dm = image->dm;
    const bool duplexA = IsOption25AInstalled(options) != FALSE;
    // 1. The duplex unit and the manual two-sided printing it replaces.
    if (priv.PrivateFlags & kDuplexUnitFlag) {
        if (priv.DuplexType == 0 && !duplexA)
            priv.DuplexType = 1;
        else if (priv.DuplexType != 0 && duplexA && priv.ManualDuplexOffered == 0 &&
                 CountInstalled(list, kOption25) > 0)
            priv.DuplexType = 0;
        priv.ManualDuplexOffered = static_cast<WORD>(CountInstalled(list, kOption25));
    }
    // 2. Two-sided printing needs one of the two units.
    if ((dm.dmFields & DM_DUPLEX) && !duplexA && !IsOption25BInstalled(options)) {
        dm.dmDuplex = DMDUP_SIMPLEX;
        priv.DuplexMarginFlags &= ~1u;
    }
    // 3. Booklet without its unit.
    if ((priv.FeatureFlags & kBookletFeature) && (priv.LayoutKind & kLayoutBooklet) &&
        !IsTable29FeatureAvailable(options)) {
        priv.LayoutKind &= static_cast<WORD>(~kLayoutBooklet);
        SyncFitToPaperLayout(image);
    }
    // 4. Trays the printer does not have become automatic selection.
    if ((dm.dmFields & DM_DEFAULTSOURCE) && !TrayOffered(options, dm.dmDefaultSource))
        dm.dmDefaultSource = kAutomaticSource;
    if ((priv.PrivateFlags & kFrontCoverTray) &&
        !TrayOffered(options, static_cast<SHORT>(priv.FrontCoverSource)))
        priv.FrontCoverSource = static_cast<WORD>(kAutomaticSource);
    if ((priv.PrivateFlags & kBackCoverTray) &&
        !TrayOffered(options, static_cast<SHORT>(priv.BackCoverSource)))
        priv.BackCoverSource = static_cast<WORD>(kAutomaticSource);
    // 5. Job types the printer cannot take.
    struct JobTypeTest {
        DWORD bit;
        WORD jobType;
        BOOL (*available)(const ModelOptionPair*);
    };
    static constexpr JobTypeTest kJobTypes[] = {
        {model::feature::kAJobType2, 2, IsJobType73Available},
        {model::feature::kAJobType3, 3, IsJobType74Available},
        {model::feature::kAJobType1, 1, IsJobType60Available},
        {model::feature::kAJobType4, 4, IsJobType61Available},
        {model::feature::kAJobType5, 5, IsJobType62Available},
    };
    for (const JobTypeTest& t : kJobTypes)
        if ((priv.PrivateFlags & t.bit) && priv.JobType == t.jobType && !t.available(options))
            priv.JobType = 0;
    // 6. The department counter.
    ReviseDeptCounter(list, priv);
    // 7. Collation by the device and the hard disk.
    CModelInfo copyControl(binding, model::kQueryCopyControl, 0, model::layout::kFixedFirst);
    if (!(copyControl.U8(0) & kCopyControlKeepsCollate)) {
        if (IsTable38FeatureAvailable(options)) priv.CollateByDriver = 0;
        priv.HardDiskValue = GetInstalledMemory(options, kOptionMemory35);
    }
    copyControl.Release();
    // 8. Finishing codes the installed finisher offers.
    const InstallOptionEntry* finisher = list ? list->FindInstalledFinisher(1) : nullptr;
    if (finisher) {
        const WORD id = finisher->value;
        if (!(finisher->state & kFinisherPunchUnit) ||
            !FinisherListHolds(binding, id, model::layout::kFinisherPunches, kPunchEntrySize,
                               kCodeAt, MapModelCodeThree, priv.PunchMode))
            priv.PunchMode = 0;
        if (!(finisher->state & kFinisherFoldUnit) ||
            !FinisherListHolds(binding, id, model::layout::kFinisherFolds, kFoldEntrySize, kCodeAt,
                               MapModelCodeSix, priv.StapleMode))
            priv.StapleMode = 0;
        if (!FinisherListHolds(binding, id, model::layout::kFinisherStaples, kStapleEntrySize,
                               kStapleCodeAt, MapModelCodeNine, priv.OutputBin))
            priv.OutputBin = 0;
    } else {
        priv.PunchMode = priv.StapleMode = priv.OutputBin = 0;
    }
    // 9. Counts of the installed feeders and the finisher's id.
    priv.InstalledTrayOffset = static_cast<WORD>(CountInstalled(list, kOptionTray));
    priv.FinisherId = finisher ? finisher->value : kNoFinisher;
    // 10. Automatic tray resolve, as the printer was set up.
    if (priv.FeatureFlags & kAutoTrayFeature)
        priv.AutoTrayResolve = static_cast<WORD>(list ? list->ChangePaperTray() : 0);
    return TRUE;
}

DWORD BuildInputTrayChain(const ModelBlock* binding, const InstallOptionEntry* entries, DWORD count,
                          InputTrayNode** chain) {
    if (!chain) return ERROR_INVALID_PARAMETER;
    *chain = nullptr;
    BoundModel bound{};
    BindModelInfo(&bound, binding);
    if (!bound.query) return ERROR_PROC_NOT_FOUND;
    std::vector<InputTrayNode> nodes;
    auto take = [&](WORD table, WORD id) -> DWORD {
        CModelInfo records(binding, table, id, model::layout::kTrayRecord);
        auto* data = static_cast<const BYTE*>(records.GetData());
        for (size_t off = 0; data && off + kTrayRecordSize <= records.Length();
             off += kTrayRecordSize) {
            InputTrayNode node{};
            SHORT trayId, display;
            std::memcpy(&trayId, data + off, sizeof trayId);
            std::memcpy(&display, data + off + sizeof trayId, sizeof display);
            node.trayId = static_cast<WORD>(trayId);
            node.displayId = static_cast<DWORD>(static_cast<LONG>(display));
            nodes.push_back(node);
        }
        return records.Result();
    };
    DWORD result = take(model::kQueryPaperSources, 0);
    for (DWORD i = 0; entries && i < count; ++i)
        if (entries[i].optionId == kOptionTray && entries[i].state)
            take(model::kQueryTrayGroups, entries[i].value);
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].trayId == kManualFeed) {
            InputTrayNode manual = nodes[i];
            nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(i));
            nodes.push_back(manual);
            break;
        }
    if (nodes.empty()) return result;
    HGLOBAL block = GlobalAlloc(GHND, nodes.size() * sizeof(InputTrayNode));
    auto* first = block ? static_cast<InputTrayNode*>(GlobalLock(block)) : nullptr;
    if (!first) {
        if (block) GlobalFree(block);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        first[i] = nodes[i];
        first[i].next = i + 1 < nodes.size() ? &first[i + 1] : nullptr;
    }
    *chain = first;
    return result;
}

void FreeInputTrayChain(InputTrayNode* chain) {
    if (!chain) return;
    HGLOBAL block = GlobalHandle(chain);
    if (!block) return;
    GlobalUnlock(block);
    GlobalFree(block);
}

BOOL ReadModelString(const ModelBlock* binding, const void*, std::u16string* out) {
    if (!out) return FALSE;
    out->clear();
    CModelInfo entry(binding, model::kQueryComponents, model::kComponentProfileA,
                     model::layout::kComponentList);
    auto* data = static_cast<const model::ComponentAnswer*>(entry.GetData());
    if (!data || entry.Length() < sizeof *data) return FALSE;
    const char* text = data->nameTemplate;
    *out = AnsiToWide(text, strnlen(text, sizeof data->nameTemplate));
    return TRUE;
}

} // namespace sheetwright
