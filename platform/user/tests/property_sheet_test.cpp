// Property sheets of two pages with callbacks: the sheet's window structure,
// activation order, Apply and OK, a page that refuses to be left, Cancel,
// sibling queries and help.
#include "user_fixture.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

struct PageData {
    const char* name;
    std::vector<std::string>* log;
    bool refuseLeave = false;
    bool refuseCreate = false;
    LONG_PTR applyResult = PSNRET_NOERROR;
    LRESULT siblingsAnswer = 0;
    HWND window = nullptr;
};

const char* NotificationName(UINT code) {
    switch (code) {
    case PSN_SETACTIVE:
        return "SETACTIVE";
    case PSN_KILLACTIVE:
        return "KILLACTIVE";
    case PSN_APPLY:
        return "APPLY";
    case PSN_RESET:
        return "RESET";
    case PSN_HELP:
        return "HELP";
    case PSN_QUERYCANCEL:
        return "QUERYCANCEL";
    default:
        return "?";
    }
}

INT_PTR CALLBACK PageProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<PageData*>(GetWindowLongPtrW(h, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        // The page gets the sheet's copy of its record, with its own lParam.
        d = reinterpret_cast<PageData*>(reinterpret_cast<PROPSHEETPAGEW*>(lp)->lParam);
        SetWindowLongPtrW(h, DWLP_USER, reinterpret_cast<LONG_PTR>(d));
        d->window = h;
        d->log->push_back(std::string(d->name) + " INITDIALOG");
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<PSHNOTIFY*>(lp);
        std::string line = std::string(d->name) + " " + NotificationName(n->hdr.code);
        if (n->hdr.code == PSN_APPLY || n->hdr.code == PSN_RESET) line += n->lParam ? "(ok)" : "";
        d->log->push_back(line);
        LONG_PTR result = 0;
        if (n->hdr.code == PSN_KILLACTIVE) result = d->refuseLeave;
        if (n->hdr.code == PSN_APPLY) result = d->applyResult;
        SetWindowLongPtrW(h, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case PSM_QUERYSIBLINGS:
        d->log->push_back(std::string(d->name) + " QUERYSIBLINGS " + std::to_string(wp));
        SetWindowLongPtrW(h, DWLP_MSGRESULT, d->siblingsAnswer);
        return TRUE;
    default:
        return FALSE;
    }
}

UINT CALLBACK PageCallback(HWND, UINT msg, PROPSHEETPAGEW* psp) {
    auto* d = reinterpret_cast<PageData*>(psp->lParam);
    const char* what = msg == PSPCB_ADDREF ? "ADDREF" : msg == PSPCB_CREATE ? "CREATE" : "RELEASE";
    d->log->push_back(std::string(d->name) + " callback " + what);
    return msg == PSPCB_CREATE && d->refuseCreate ? 0 : 1;
}

class PropertySheets : public UserTest {
  protected:
    void SetUp() override {
        tmplA = TemplateBuilder()
                    .Dialog(DS_SETFONT | WS_CHILD | WS_CAPTION, 200, 100, u"First")
                    .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 7, 80, 10, 101, u"Option")
                    .Bytes();
        tmplB = TemplateBuilder()
                    .Dialog(DS_SETFONT | WS_CHILD | WS_CAPTION, 180, 120, u"Second")
                    .Item(0x81, nullptr, WS_TABSTOP, 7, 7, 80, 12, 201, u"")
                    .Bytes();
    }
    HPROPSHEETPAGE Page(PageData* d, const std::vector<BYTE>& t, DWORD extra = 0) {
        PROPSHEETPAGEW psp{};
        psp.dwSize = sizeof psp;
        psp.dwFlags = PSP_DLGINDIRECT | PSP_USECALLBACK | extra;
        psp.pResource = reinterpret_cast<const DLGTEMPLATE*>(t.data());
        psp.pfnDlgProc = PageProc;
        psp.lParam = reinterpret_cast<LPARAM>(d);
        psp.pfnCallback = PageCallback;
        return CreatePropertySheetPageW(&psp);
    }
    INT_PTR Run(std::vector<HPROPSHEETPAGE> pages, DWORD flags = 0) {
        PROPSHEETHEADERW h{};
        h.dwSize = sizeof h;
        h.dwFlags = flags;
        h.pszCaption = u"Printer";
        h.nPages = static_cast<UINT>(pages.size());
        h.phpage = pages.data();
        return PropertySheetW(&h);
    }
    std::vector<std::string> log;
    std::vector<BYTE> tmplA, tmplB;
    PageData a{"A", &log}, b{"B", &log};
};

TEST_F(PropertySheets, StructureActivationApplyAndOk) {
    std::string snapshot;
    ut::AnswerNextModal([&](HWND sheet) {
        // The children programs look into.
        for (int id : {IDC_PROPSHEET_TABCONTROL, IDOK, IDCANCEL, IDHELP, IDC_PROPSHEET_APPLYNOW})
            EXPECT_NE(GetDlgItem(sheet, id), nullptr) << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW)));
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)),
                  a.window);
        log.push_back("-- switch");
        EXPECT_TRUE(drv::SwitchPage(sheet, 1));
        // A change on the page enables Apply; Apply applies every created page.
        SendMessageW(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(b.window), 0);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW)));
        snapshot = drv::Snapshot(sheet);
        log.push_back("-- apply");
        EXPECT_TRUE(drv::PressButton(sheet, IDC_PROPSHEET_APPLYNOW));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW)));
        log.push_back("-- help");
        EXPECT_TRUE(drv::PressButton(sheet, IDHELP));
        log.push_back("-- ok");
        EXPECT_TRUE(drv::PressButton(sheet, IDOK));
    });
    EXPECT_EQ(Run({Page(&a, tmplA, PSP_HASHELP), Page(&b, tmplB)}), 1);
    EXPECT_EQ(Join(log), Join({"A callback ADDREF",
                               "B callback ADDREF",
                               "A callback CREATE",
                               "A INITDIALOG",
                               "A SETACTIVE",
                               "-- switch",
                               "A KILLACTIVE",
                               "B callback CREATE",
                               "B INITDIALOG",
                               "B SETACTIVE",
                               "-- apply",
                               "B KILLACTIVE",
                               "A APPLY",
                               "B APPLY",
                               "-- help",
                               "B HELP",
                               "-- ok",
                               "B KILLACTIVE",
                               "A APPLY(ok)",
                               "B APPLY(ok)",
                               "A callback RELEASE",
                               "B callback RELEASE"}));
    // The sheet is sized for the larger page; pages sit inside the tab control.
    EXPECT_NE(snapshot.find("SysTabControl32 #12320 \"\" items=2 sel=1"), std::string::npos)
        << snapshot;
    EXPECT_NE(snapshot.find("#32770 #0 \"First\" hidden"), std::string::npos) << snapshot;
    EXPECT_NE(snapshot.find("Button #12321 \"&Apply\" ["), std::string::npos) << snapshot;
}

TEST_F(PropertySheets, PageThatRefusesToBeLeftThenCancel) {
    b.refuseLeave = true;
    ut::AnswerNextModal([&](HWND sheet) {
        drv::SwitchPage(sheet, 1);
        log.push_back("-- back");
        EXPECT_FALSE(drv::SwitchPage(sheet, 0)); // stays on B
        EXPECT_EQ(drv::ReadSelection(GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL)), 1);
        log.push_back("-- ok");
        drv::PressButton(sheet, IDOK); // B will not let go: nothing is applied
        EXPECT_TRUE(IsWindow(sheet));
        log.push_back("-- cancel");
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_EQ(Run({Page(&a, tmplA), Page(&b, tmplB)}, PSH_NOAPPLYNOW), 0);
    EXPECT_EQ(Join(log), Join({"A callback ADDREF", "B callback ADDREF", "A callback CREATE",
                               "A INITDIALOG", "A SETACTIVE", "A KILLACTIVE", "B callback CREATE",
                               "B INITDIALOG", "B SETACTIVE", "-- back", "B KILLACTIVE", "-- ok",
                               "B KILLACTIVE", "-- cancel", "B QUERYCANCEL", "A RESET", "B RESET",
                               "A callback RELEASE", "B callback RELEASE"}));
}

TEST_F(PropertySheets, ApplyRefusedByAPageKeepsTheSheetOpen) {
    a.applyResult = PSNRET_INVALID_NOCHANGEPAGE;
    ut::AnswerNextModal([&](HWND sheet) {
        drv::PressButton(sheet, IDOK);
        EXPECT_TRUE(IsWindow(sheet));
        a.applyResult = PSNRET_NOERROR;
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_EQ(Run({Page(&a, tmplA), Page(&b, tmplB)}), 1);
    // B was never shown, so it was never asked to apply.
    EXPECT_EQ(std::count(log.begin(), log.end(), "A APPLY(ok)"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "B APPLY(ok)"), 0);
}

TEST_F(PropertySheets, SiblingQueriesAndRefusedCreation) {
    b.siblingsAnswer = 7;
    ut::AnswerNextModal([&](HWND sheet) {
        drv::SwitchPage(sheet, 1);
        EXPECT_EQ(SendMessageW(sheet, PSM_QUERYSIBLINGS, 3, 0), 7);
        // A page whose callback refuses creation is passed over.
        EXPECT_FALSE(drv::SwitchPage(sheet, 2));
        drv::PressButton(sheet, IDCANCEL);
    });
    PageData c{"C", &log};
    c.refuseCreate = true;
    EXPECT_EQ(Run({Page(&a, tmplA), Page(&b, tmplB), Page(&c, tmplA)}), 0);
    EXPECT_NE(std::find(log.begin(), log.end(), "A QUERYSIBLINGS 3"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "B QUERYSIBLINGS 3"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "C INITDIALOG"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "C callback RELEASE"), log.end());
}

TEST_F(PropertySheets, UnansweredSheetIsResetAndReported) {
    EXPECT_EQ(Run({Page(&a, tmplA), Page(&b, tmplB)}), -1);
    EXPECT_NE(std::find(log.begin(), log.end(), "A RESET"), log.end());
    EXPECT_EQ(ut::TakeUnanswered(), std::vector<std::string>{"#32770 \"Printer\""});
}

TEST_F(PropertySheets, PagesNeverShownAreReleased) {
    HPROPSHEETPAGE p = Page(&a, tmplA);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ut::LivePropertySheetPages(), 1u);
    EXPECT_TRUE(DestroyPropertySheetPage(p));
    EXPECT_FALSE(DestroyPropertySheetPage(p));
    EXPECT_EQ(Join(log), Join({"A callback ADDREF", "A callback RELEASE"}));
    PROPSHEETPAGEW tooSmall{};
    tooSmall.dwSize = 20;
    EXPECT_EQ(CreatePropertySheetPageW(&tooSmall), nullptr);
}

} // namespace
