// BuildAllKinsoku and DeleteAllKinsoku: a filled option-constraint list for a
// caller outside the property sheets, and its release.
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "user_paper.h"
#include "win/base.h"

using namespace sheetwright;

// The builders' mode for a list that offers every paper of the model.
static constexpr DWORD kAllPapers = 1;

DLLEXPORT CKinsokuList* WINAPI BuildAllKinsoku(HANDLE printer, const ModelBlock* binding,
                                               const DEVMODEW* devmode, DWORD* result) {
    if (!printer || !binding || !devmode) return nullptr;
    if (static_cast<size_t>(devmode->dmSize) + devmode->dmDriverExtra != kKinsokuImageSize)
        return nullptr;
    CInstallOption options(printer, binding);
    CUserPaper papers;
    papers.SetDefaultPath(binding);
    papers.Read();
    auto* list = new CKinsokuList(binding, nullptr, reinterpret_cast<const BYTE*>(devmode));
    LoadKinsokuPairs(binding, list);
    BuildKinsokuRules(binding, list, kAllPapers);
    RemoveCustomPaperRules(binding, list, &papers);
    ModelOptionPair pair{binding, &options};
    BuildModelKinsoku(&pair, list);
    if (result) *result = 0;
    return list;
}

DLLEXPORT void WINAPI DeleteAllKinsoku(CKinsokuList* list) {
    delete list;
}
