// The application object and the module entry that drives it. The entry is
// in this file so that only a module with an application object gets it.
#include "afxwin.h"
#include "win/loader.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

CWinApp::CWinApp(LPCWSTR appName) {
    if (appName) appName_ = appName;
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    state->m_pCurrentWinApp = this;
    m_pszAppName = appName ? appName_.GetString() : nullptr;
    state->m_lpszCurrentAppName = m_pszAppName;
}

CWinApp::~CWinApp() {
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    if (state->m_pCurrentWinApp == this) {
        state->m_pCurrentWinApp = nullptr;
        state->m_lpszCurrentAppName = nullptr;
    }
}

namespace {

// Without a name of its own the application is called after its module's
// file name, without folder and extension.
CString ModuleBaseName(HINSTANCE module) {
    CString path;
    DWORD n = GetModuleFileNameW(module, path.GetBuffer(MAX_PATH), MAX_PATH);
    path.ReleaseBuffer(static_cast<int>(n));
    CString name = path.Mid(path.FindOneOf(u"\\/") < 0
                                ? 0
                                : std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/')) + 1);
    int dot = name.ReverseFind(u'.');
    return dot > 0 ? name.Left(dot) : name;
}

BOOL AttachApp(CWinApp* app, HINSTANCE module) {
    app->m_hInstance = module;
    if (!app->m_pszAppName) {
        static CString fallbackName;
        fallbackName = ModuleBaseName(module);
        app->m_pszAppName = fallbackName.GetString();
        AfxGetStaticModuleState()->m_lpszCurrentAppName = app->m_pszAppName;
    }
    // An exception from the library's start fails its load instead of
    // unwinding into the loader.
    try {
        if (app->InitInstance()) return TRUE;
        app->ExitInstance();
    } catch (...) {
    }
    return FALSE;
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    AFX_MODULE_STATE* state = AfxGetStaticModuleState();
    AFX_MANAGE_STATE(state);
    BOOL ok = TRUE;
    if (reason == DLL_PROCESS_ATTACH) {
        state->m_hCurrentInstanceHandle = module;
        state->m_hCurrentResourceHandle = module;
        if (CWinApp* app = state->m_pCurrentWinApp) ok = AttachApp(app, module);
    } else if (reason == DLL_PROCESS_DETACH) {
        if (CWinApp* app = state->m_pCurrentWinApp) {
            try {
                app->ExitInstance();
            } catch (...) {
            }
        }
    }
    if (reason == DLL_PROCESS_DETACH || !ok) {
        CWnd::DeleteTempMap();
        CGdiObject::DeleteTempMap();
        CDC::DeleteTempMap();
    }
    return ok;
}
