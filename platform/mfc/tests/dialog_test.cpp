// Dialogs and property pages driven by the headless driver: modal and
// modeless dialogs from templates in memory, data exchange on OK, and pages
// whose objects own their windows and go with the sheet's release.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "afxdlgs.h"
#include "platform/testctl.h"
#include "user_fixture.h"

namespace {

namespace driver = platform::user::driver;
using platform::user::test::AnswerNextMessageBox;
using platform::user::test::AnswerNextModal;

constexpr int kName = 1001, kCopies = 1002, kDuplex = 1003;

std::vector<std::string> gLog;

std::vector<BYTE> NameDialogTemplate(DWORD style = DS_MODALFRAME | WS_POPUP | WS_CAPTION) {
    user_test::TemplateBuilder b;
    b.Dialog(style | DS_SETFONT, 160, 80, u"Name")
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 7, 7, 100, 14, kName, u"")
        .Item(0x81, nullptr, WS_TABSTOP, 7, 25, 40, 14, kCopies, u"")
        .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 42, 60, 10, kDuplex, u"Duplex")
        .Item(0x80, nullptr, BS_DEFPUSHBUTTON | WS_TABSTOP, 50, 59, 50, 14, IDOK, u"OK")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 103, 59, 50, 14, IDCANCEL, u"Cancel");
    return b.Bytes();
}

class CNameDialog : public CDialog {
  public:
    CString name = u"Start";
    int copies = 1;
    int duplex = BST_UNCHECKED;
    BOOL OnInitDialog() override {
        gLog.push_back("OnInitDialog");
        return CDialog::OnInitDialog();
    }
    void OnDuplex() { gLog.push_back("OnDuplex"); }

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, kName, name);
        DDX_Text(dx, kCopies, copies);
        DDV_MinMaxInt(dx, copies, 1, 99);
        DDX_Check(dx, kDuplex, duplex);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CNameDialog, CDialog)
ON_BN_CLICKED(kDuplex, OnDuplex)
END_MESSAGE_MAP()

class DialogTest : public user_test::UserTest {
  protected:
    void SetUp() override { gLog.clear(); }
    void TearDown() override {
        CWnd::DeleteTempMap();
        UserTest::TearDown();
    }
};

TEST_F(DialogTest, ModalDialogExchangesDataOnOK) {
    struct Case {
        const char* name;
        std::u16string copies; // typed
        int button;
        bool refusedOnce; // a bad number is refused, then Cancel ends the dialog
        INT_PTR result;
        std::u16string wantName;
        int wantCopies;
    } cases[] = {
        {"OK", u"5", IDOK, false, IDOK, u"Größe", 5},
        {"Cancel", u"5", IDCANCEL, false, IDCANCEL, u"Start", 1},
        // The exchange stores what it read before the check refused it.
        {"out of range", u"100", IDOK, true, IDCANCEL, u"Größe", 100},
    };
    const auto bytes = NameDialogTemplate();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gLog.clear();
        CNameDialog dlg;
        ASSERT_TRUE(dlg.InitModalIndirect(reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data())));
        HWND seen = nullptr;
        AnswerNextModal([&](HWND modal) {
            seen = modal;
            EXPECT_EQ(CWnd::FromHandlePermanent(modal), &dlg);
            EXPECT_EQ(driver::ReadText(driver::FindControl(modal, kName)), u"Start");
            EXPECT_EQ(driver::ReadText(driver::FindControl(modal, kCopies)), u"1");
            driver::TypeText(driver::FindControl(modal, kName), u"Größe");
            driver::TypeText(driver::FindControl(modal, kCopies), c.copies);
            driver::Click(driver::FindControl(modal, kDuplex));
            if (c.refusedOnce) {
                AnswerNextMessageBox(IDOK);
                driver::PressButton(modal, IDOK);
                EXPECT_TRUE(IsWindow(modal)); // still open
                driver::PressButton(modal, IDCANCEL);
            } else {
                driver::PressButton(modal, c.button);
            }
        });
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_NE(seen, nullptr);
        EXPECT_EQ(dlg.m_hWnd, nullptr); // the object let the window go
        EXPECT_EQ(dlg.name, c.wantName);
        EXPECT_EQ(dlg.copies, c.wantCopies);
        EXPECT_EQ(gLog, (std::vector<std::string>{"OnInitDialog", "OnDuplex"}));
    }
}

TEST_F(DialogTest, ModelessDialogLivesUntilDestroyed) {
    const auto bytes = NameDialogTemplate(WS_POPUP | WS_CAPTION | WS_VISIBLE);
    CNameDialog dlg;
    dlg.name = u"用紙";
    ASSERT_TRUE(dlg.CreateIndirect(reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data())));
    ASSERT_NE(dlg.m_hWnd, nullptr);
    EXPECT_EQ(driver::ReadText(dlg.GetDlgItem(kName)->m_hWnd), u"用紙");
    driver::Click(driver::FindControl(dlg.m_hWnd, kDuplex));
    EXPECT_EQ(gLog, (std::vector<std::string>{"OnInitDialog", "OnDuplex"}));
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.duplex, BST_CHECKED);
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(DialogTest, MissingTemplateFailsDoModal) {
    CDialog dlg;
    EXPECT_EQ(dlg.DoModal(), -1);
}

// A page that logs its life, keeping a text in a member through DDX.
class CLogPage : public CPropertyPage {
  public:
    CLogPage(const char* name, const std::vector<BYTE>& bytes, bool refuseApply = false)
        : CPropertyPage(0), name_(name), refuseApply_(refuseApply) {
        m_psp.dwFlags |= PSP_DLGINDIRECT;
        m_psp.pResource = reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data());
    }
    ~CLogPage() override { Log("deleted"); }
    BOOL OnInitDialog() override {
        Log("OnInitDialog");
        return CPropertyPage::OnInitDialog();
    }
    BOOL OnSetActive() override {
        Log("OnSetActive");
        return TRUE;
    }
    BOOL OnKillActive() override {
        Log("OnKillActive");
        return CPropertyPage::OnKillActive();
    }
    BOOL OnApply() override {
        Log(refuseApply_ ? "OnApply refused" : "OnApply " + CString(text).ToNarrow(CP_UTF8));
        return refuseApply_ ? FALSE : CPropertyPage::OnApply();
    }
    void OnReset() override { Log("OnReset"); }
    void OnNameChange() {
        SetModified();
        Log("changed");
    }
    CString text;

  protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, kName, text); }
    DECLARE_MESSAGE_MAP()

  private:
    void Log(const std::string& s) { gLog.push_back(name_ + " " + s); }
    std::string name_;
    bool refuseApply_;
};

BEGIN_MESSAGE_MAP(CLogPage, CPropertyPage)
ON_EN_CHANGE(kName, OnNameChange)
END_MESSAGE_MAP()

std::vector<BYTE> PageTemplate(const char16_t* title) {
    user_test::TemplateBuilder b;
    b.Dialog(DS_SETFONT | WS_CHILD | WS_CAPTION, 160, 80, title)
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 7, 7, 100, 14, kName, u"");
    return b.Bytes();
}

INT_PTR RunSheet(std::vector<CPropertyPage*> pages) {
    std::vector<HPROPSHEETPAGE> handles;
    for (auto* p : pages)
        handles.push_back(CreatePropertySheetPageW(&p->m_psp));
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_DEFAULT;
    h.pszCaption = u"Sheet";
    h.nPages = static_cast<UINT>(handles.size());
    h.phpage = handles.data();
    return PropertySheetW(&h);
}

TEST_F(DialogTest, PagesOwnTheirWindowsAndGoWithTheSheet) {
    const auto first = PageTemplate(u"First"), second = PageTemplate(u"Second");
    auto* a = new CLogPage("a", first);
    auto* b = new CLogPage("b", second);
    AnswerNextModal([&](HWND sheet) {
        HWND edit = driver::FindControl(sheet, kName);
        EXPECT_EQ(CWnd::FromHandlePermanent(GetParent(edit)), a);
        driver::TypeText(edit, u"x");
        driver::SwitchPage(sheet, 1);
        driver::PressButton(sheet, IDOK);
    });
    EXPECT_GT(RunSheet({a, b}), 0);
    // Loading the edit at OnInitDialog sends EN_CHANGE as well, as the system does.
    const std::vector<std::string> want = {
        "a OnInitDialog", "a changed", "a OnSetActive", "a changed",      "a OnKillActive",
        "b OnInitDialog", "b changed", "b OnSetActive", "b OnKillActive", "a OnApply x",
        "b OnApply ",     "a deleted", "b deleted"};
    EXPECT_EQ(gLog, want);
}

TEST_F(DialogTest, RefusedApplyKeepsTheSheetOpen) {
    const auto bytes = PageTemplate(u"Only");
    auto* page = new CLogPage("p", bytes, true);
    AnswerNextModal([&](HWND sheet) {
        driver::PressButton(sheet, IDOK);
        EXPECT_TRUE(IsWindow(sheet));
        driver::PressButton(sheet, IDCANCEL);
    });
    RunSheet({page});
    const std::vector<std::string> want = {"p OnInitDialog", "p changed",         "p OnSetActive",
                                           "p OnKillActive", "p OnApply refused", "p OnReset",
                                           "p deleted"};
    EXPECT_EQ(gLog, want);
}

TEST_F(DialogTest, PageNeverShownIsStillDeleted) {
    const auto bytes = PageTemplate(u"Unused");
    auto* page = new CLogPage("u", bytes);
    HPROPSHEETPAGE h = CreatePropertySheetPageW(&page->m_psp);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(DestroyPropertySheetPage(h));
    EXPECT_EQ(gLog, std::vector<std::string>{"u deleted"});
}

TEST_F(DialogTest, SheetObjectOwnsItsWindowWhileShown) {
    const auto first = PageTemplate(u"First"), second = PageTemplate(u"Second");
    CPropertySheet sheet(u"Settings");
    auto* a = new CLogPage("a", first);
    auto* b = new CLogPage("b", second);
    sheet.AddPage(a);
    sheet.AddPage(b);
    sheet.AddPage(a); // once only
    EXPECT_EQ(sheet.GetPageCount(), 2);
    EXPECT_TRUE(sheet.SetActivePage(1));
    EXPECT_FALSE(sheet.SetActivePage(2));
    EXPECT_EQ(sheet.GetActivePage(), b);
    AnswerNextModal([&](HWND modal) {
        EXPECT_EQ(CWnd::FromHandlePermanent(modal), &sheet);
        EXPECT_EQ(driver::ReadText(modal), u"Settings");
        EXPECT_EQ(sheet.GetActiveIndex(), 1);
        EXPECT_EQ(sheet.GetActivePage(), b);
        EXPECT_TRUE(sheet.SetActivePage(0));
        EXPECT_EQ(sheet.GetActivePage(), a);
        sheet.SetTitle(u"Renamed");
        EXPECT_EQ(driver::ReadText(modal), u"Renamed");
        EXPECT_TRUE(sheet.PressButton(PSBTN_CANCEL));
    });
    EXPECT_EQ(sheet.DoModal(), 0);
    EXPECT_EQ(sheet.m_hWnd, nullptr);
    EXPECT_EQ(sheet.GetPageCount(), 0); // released with the sheet's window
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "a deleted"), gLog.end());
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "b deleted"), gLog.end());
}

TEST_F(DialogTest, PagesTheSheetNeverHandedOverGoWithIt) {
    const auto bytes = PageTemplate(u"Page");
    struct Case {
        const char* name;
        const char* failing; // platform call made to fail, or nullptr
    } cases[] = {{"sheet never shown", nullptr},
                 {"sheet refused", "PropertySheetW"},
                 {"page record refused", "CreatePropertySheetPageW"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gLog.clear();
        {
            CPropertySheet sheet(u"Sheet");
            sheet.AddPage(new CLogPage("p", bytes));
            auto* kept = new CLogPage("kept", bytes);
            sheet.AddPage(kept);
            sheet.RemovePage(kept); // the caller's again
            if (c.failing) {
                platform::test::FailNext(c.failing, 1, ERROR_NOT_ENOUGH_MEMORY);
                EXPECT_EQ(sheet.DoModal(), -1);
                EXPECT_EQ(sheet.GetPageCount(), 0);
            }
            delete kept;
        }
        EXPECT_EQ(gLog, (std::vector<std::string>{c.failing ? "p deleted" : "kept deleted",
                                                  c.failing ? "kept deleted" : "p deleted"}));
    }
}

} // namespace
