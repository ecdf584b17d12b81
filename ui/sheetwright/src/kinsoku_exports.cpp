// BuildAllKinsoku and DeleteAllKinsoku: a filled option-constraint list for a
// caller outside the property sheets, and its release.
#include <memory>

#include "export_guard.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "ui/sheetwright.h"
#include "user_paper.h"
#include "win/base.h"

using namespace sheetwright;

namespace {

CKinsokuList* BuildAll(HANDLE printer, const ModelBlock* binding, const DEVMODEW* devmode,
                       DWORD* result) {
    if (!printer || !binding || !devmode) return nullptr;
    if (static_cast<size_t>(devmode->dmSize) + devmode->dmDriverExtra != kKinsokuImageSize)
        return nullptr;
    CInstallOption options(printer, binding);
    CUserPaper papers;
    papers.SetDefaultPath(binding);
    papers.Read();
    // Held here until it is filled, so that a failure on the way frees it.
    auto list =
        std::make_unique<CKinsokuList>(binding, nullptr, reinterpret_cast<const BYTE*>(devmode));
    LoadKinsokuPairs(binding, list.get());
    BuildKinsokuRules(binding, list.get(), kAllPapers);
    RemoveCustomPaperRules(binding, list.get(), &papers);
    ModelOptionPair pair{binding, &options};
    BuildModelKinsoku(&pair, list.get());
    if (result) *result = 0;
    return list.release();
}

} // namespace

DLLEXPORT CKinsokuList* WINAPI BuildAllKinsoku(HANDLE printer, const ModelBlock* binding,
                                               const DEVMODEW* devmode, DWORD* result) {
    return ExportGuard<&BuildAll, nullptr>::Call(printer, binding, devmode, result);
}

DLLEXPORT void WINAPI DeleteAllKinsoku(CKinsokuList* list) {
    delete list;
}
