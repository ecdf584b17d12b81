// The module state of the module this copy of the framework is linked into.
#include "afxwin.h"
#include "win/loader.h"

namespace {

thread_local AFX_MODULE_STATE* tCurrentState = nullptr;

} // namespace

// Made on first use: the library's application object registers itself
// during static construction, which may come before this file's.
AFX_MODULE_STATE* AfxGetStaticModuleState() {
    static AFX_MODULE_STATE state;
    return &state;
}

AFX_MODULE_STATE* AfxGetModuleState() {
    return tCurrentState ? tCurrentState : AfxGetStaticModuleState();
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : previous_(tCurrentState) {
    tCurrentState = state;
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() {
    tCurrentState = previous_;
}

// A program (no module entry ran) is its own instance and resource module.
HINSTANCE AfxGetInstanceHandle() {
    HINSTANCE h = AfxGetModuleState()->m_hCurrentInstanceHandle;
    return h ? h : GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    HINSTANCE h = AfxGetModuleState()->m_hCurrentResourceHandle;
    return h ? h : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE resources) {
    AfxGetModuleState()->m_hCurrentResourceHandle = resources;
}

CWinApp* AfxGetApp() {
    return AfxGetModuleState()->m_pCurrentWinApp;
}

LPCWSTR AfxGetAppName() {
    LPCWSTR name = AfxGetModuleState()->m_lpszCurrentAppName;
    return name ? name : u"";
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT /*helpId*/) {
    return MessageBoxW(GetActiveWindow(), text, AfxGetAppName(), type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
    CString text;
    text.LoadString(promptId);
    return AfxMessageBox(text, type, helpId == UINT(-1) ? promptId : helpId);
}
