// Job prompts and the department-code and prior-print step of the first page.
//
// Prompts and the prior-print check run in the job-prompt program, started in
// the interactive user's session with a named shared memory block. This
// driver does not start it yet: a prompt therefore fails to start (which the
// job flow treats as a refusal: the job counts its pages and prints nothing),
// and the prior-print check is not run (printing goes on), as when the
// program is missing.
#include "job_handoffs.h"

#include "model_access.h"
#include "pdev.h"
#include "win/base.h"

namespace inkforge {
namespace {

typedef BOOL(WINAPI* PFN_uiDeptCode)(ModelBlock* block, DEVMODEW* devmode);
typedef BOOL(WINAPI* PFN_uiCheckCancelJob)(LPVOID modelData, ULONGLONG* cookie, DWORD mode);

template <class F> F Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

} // namespace

int StartJobPrompt(PDEV*, int kind) {
    if (kind != kPromptJobData && kind != kPromptDeptCode && kind != kPromptCombined) return 2;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 2;
}

int RunDeptCodeStep(PDEV* pdev) {
    if (pdev->printToDisk || ((pdev->modeFlags & mode::SpoolSide) && !(pdev->modeFlags & mode::ByInterface)) ||
        !pdev->modelData)
        return 1;
    HMODULE sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    if (!sheetwright) return 1;
    if (pdev->modelsmith) {
        ModelBlock block{pdev->modelsmith, pdev->modelData};
        if (auto get = Export<PFN_uiDeptCode>(sheetwright, "uiGetDeptCode")) get(&block, &pdev->devmode.dm);
    }
    FreeLibrary(sheetwright);
    return 1;
}

int PreCheckCancel(PDEV* pdev) {
    if (!pdev->modelData) return 0;
    HMODULE sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    auto pre = Export<PFN_uiCheckCancelJob>(sheetwright, "uiPreCheckCancelJob");
    ULONGLONG cookie = pdev->precheckCookie;
    int taken = pre && pre(pdev->modelData, &cookie, 0) ? 1 : 0;
    if (taken) {
        if (pdev->precheckLibrary) FreeLibrary(pdev->precheckLibrary);
        pdev->precheckLibrary = sheetwright;
        pdev->precheckCookie = cookie;
    } else if (sheetwright) {
        FreeLibrary(sheetwright);
    }
    return taken;
}

int PostCheckCancel(PDEV* pdev) {
    HMODULE sheetwright = pdev->precheckLibrary;
    pdev->precheckLibrary = nullptr;
    if (!sheetwright && pdev->modelData) sheetwright = LoadComponentDll(pdev->printer, pdev->modelData, kSelectSheetwright);
    auto post = Export<PFN_uiCheckCancelJob>(sheetwright, "uiPostCheckCancelJob");
    int result = post ? post(pdev->modelData, &pdev->precheckCookie, 1) : 1;
    if (sheetwright) FreeLibrary(sheetwright);
    return result;
}

} // namespace inkforge
