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

// The settings the sheet's pages show; a page copies its controls' values
// back at Apply.
struct Settings {
    int copies = 1;
    int staple = BST_UNCHECKED;
};

class CPaperPage : public CPropertyPage {
  public:
    explicit CPaperPage(Settings* settings)
        : CPropertyPage(IDD_PAGE_PAPER, IDS_PAGE_PAPER), settings_(settings),
          copies_(settings->copies) {}
    BOOL OnApply() override {
        settings_->copies = copies_;
        return CPropertyPage::OnApply();
    }

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, IDC_COPIES, copies_);
        DDV_MinMaxInt(dx, copies_, 1, 999);
    }

  private:
    Settings* settings_;
    int copies_;
};

class CFinishingPage : public CPropertyPage {
  public:
    explicit CFinishingPage(Settings* settings)
        : CPropertyPage(IDD_PAGE_FINISHING, IDS_PAGE_FINISHING), settings_(settings),
          staple_(settings->staple) {}
    BOOL OnApply() override {
        settings_->staple = staple_;
        return CPropertyPage::OnApply();
    }

  protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Check(dx, IDC_STAPLE, staple_); }

  private:
    Settings* settings_;
    int staple_;
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

// Runs the two-page settings sheet from the library's resources, starting
// on a page; the settings come back changed only when OK was pressed.
DLLEXPORT INT_PTR MfcModuleRunSheet(int startPage, int* copies, int* staple) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    Settings settings{*copies, *staple};
    CPropertySheet sheet(IDS_SHEET_CAPTION, nullptr, static_cast<UINT>(startPage));
    sheet.AddPage(new CPaperPage(&settings));
    sheet.AddPage(new CFinishingPage(&settings));
    INT_PTR r = sheet.DoModal();
    *copies = settings.copies;
    *staple = settings.staple;
    return r;
}
