// A small library built with the framework: an application object that logs
// its start and end, and exports that answer from the library's own module state.
#include <cstdlib>
#include <cstring>

#include "afxdlgs.h"
#include "mfcmodule.h"

namespace {

int* gExitCounter = nullptr;

// The module's name dialog, from its own resources.
class CNameDialog : public CDialog {
  public:
    CNameDialog() : CDialog(IDD_NAME) {}
    CString name;

  protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_NAME, name); }
};

class CModuleApp : public CWinApp {
  public:
    BOOL InitInstance() override {
        ++initCount;
        // A test asks a library to refuse its start through the environment.
        const char* refuse = std::getenv("MFC_TEST_REFUSE_INIT");
        return !(refuse && std::strcmp(refuse, MFC_MODULE_NAME) == 0);
    }
    int ExitInstance() override {
        if (gExitCounter) ++*gExitCounter;
        return 0;
    }
    int initCount = 0;
};

CModuleApp theApp;

void Copy(const CString& s, LPWSTR out, int cch) {
    if (cch <= 0) return;
    lstrcpynW(out, s, cch);
}

} // namespace

DLLEXPORT int MfcModuleInitCount() {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return static_cast<CModuleApp*>(AfxGetApp())->initCount;
}

DLLEXPORT void MfcModuleCountExits(int* counter) {
    gExitCounter = counter;
}

DLLEXPORT BOOL MfcModuleString(UINT id, LPWSTR out, int cch) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    CString s;
    BOOL ok = s.LoadString(id);
    Copy(s, out, cch);
    return ok;
}

DLLEXPORT void MfcModuleHandles(HINSTANCE* instance, HINSTANCE* resources, HINSTANCE* appInstance) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    *instance = AfxGetInstanceHandle();
    *resources = AfxGetResourceHandle();
    *appInstance = AfxGetApp()->m_hInstance;
}

DLLEXPORT void MfcModuleSetResources(HINSTANCE resources) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    AfxSetResourceHandle(resources);
}

DLLEXPORT int MfcModuleMessageBox(UINT promptId, UINT type) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxMessageBox(promptId, type);
}

// Runs the name dialog; the name typed comes back in out.
DLLEXPORT INT_PTR MfcModuleRunDialog(LPWSTR out, int cch) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    CNameDialog dlg;
    dlg.name = u"initial";
    INT_PTR r = dlg.DoModal();
    Copy(dlg.name, out, cch);
    return r;
}
