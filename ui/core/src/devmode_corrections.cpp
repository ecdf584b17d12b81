#include "devmode_corrections.h"

#include "kinsoku_rules.h"
#include "model/model_queries.h"
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

} // namespace

BOOL ReviseDevmodeByOptions(const ModelOptionPair* options, DEVMODE_IMAGEW* image) {
    if (!options || !options->options || !image) return FALSE;
    const CInstallOption& list = *options->options;
    PRIVATE_DEVMODE& priv = image->priv;
    if (priv.PrivateFlags & kDuplexUnitFlag)
        priv.DuplexType = IsOption25AInstalled(options) ? 0 : 1;
    if (priv.PrivateFlags & kCollateModelFlag)
        priv.CollateByDriver = IsTable38FeatureAvailable(options) ? 0 : 1;
    if (AnyEntry(list, kOption63, [](const InstallOptionEntry&) { return true; })) {
        if (AnyEntry(list, kOption63, [](const InstallOptionEntry& e) { return e.state != 0; }))
            priv.DeptCounterFlags |= kDeptCounterOn;
        else
            priv.DeptCounterFlags &= static_cast<WORD>(~kDeptCounterOn);
    }
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

} // namespace sheetwright
