// F1 and the right mouse button as a person uses them: which window the help
// request names and which window gets the context menu.
#include "platform/user_ctl.h"
#include "user_fixture.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

enum Id : WORD { kEdit = 101, kLabel = 102, kPush = 103, kOff = 104, kGroup = 105, kNotify = 106 };

struct HelpLog {
    std::vector<std::string> lines;
    bool handle = true;
};

INT_PTR CALLBACK HelpProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(h, DWLP_USER, lp);
        return TRUE;
    }
    auto* log = reinterpret_cast<HelpLog*>(GetWindowLongPtrW(h, DWLP_USER));
    if (!log) return FALSE;
    std::string who = (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? "page " : "dialog ";
    if (msg == WM_HELP) {
        auto* info = reinterpret_cast<HELPINFO*>(lp);
        log->lines.push_back(
            who + "WM_HELP " + std::to_string(info->iContextType) + " " +
            std::to_string(info->iCtrlId) + " " +
            (info->hItemHandle == GetDlgItem(h, info->iCtrlId) ? "item" : "other"));
        return log->handle;
    }
    if (msg == WM_CONTEXTMENU) {
        HWND target = reinterpret_cast<HWND>(wp);
        log->lines.push_back(
            who + "WM_CONTEXTMENU " +
            (target == h ? std::string("self") : std::to_string(GetDlgCtrlID(target))));
        return log->handle;
    }
    return FALSE;
}

std::vector<BYTE> HelpTemplate(DWORD style) {
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | style | WS_VISIBLE, 200, 100, u"Help")
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 5, 5, 80, 12, kEdit, u"text")
        .Item(0x82, nullptr, SS_LEFT, 5, 20, 80, 10, kLabel, u"Label")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 5, 35, 50, 14, kPush, u"Push")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_DISABLED, 5, 55, 50, 14, kOff, u"Off")
        .Item(0x80, nullptr, BS_GROUPBOX, 100, 5, 90, 60, kGroup, u"Group")
        .Item(0x82, nullptr, SS_NOTIFY, 5, 75, 80, 10, kNotify, u"Notify");
    return t.Bytes();
}

class HelpRequests : public UserTest {
  protected:
    void SetUp() override {
        bytes = HelpTemplate(WS_POPUP | WS_CAPTION);
        dialog =
            CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()),
                                       nullptr, HelpProc, reinterpret_cast<LPARAM>(&log));
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        DestroyWindow(dialog);
        UserTest::TearDown();
    }
    HWND Item(int id) { return GetDlgItem(dialog, id); }
    std::vector<BYTE> bytes;
    HelpLog log;
    HWND dialog = nullptr;
};

TEST_F(HelpRequests, F1NamesTheControlWithTheFocus) {
    ASSERT_TRUE(drv::PressF1(Item(kPush)));
    ASSERT_TRUE(drv::PressF1(Item(kEdit)));
    EXPECT_EQ(GetFocus(), Item(kEdit));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"dialog WM_HELP 1 103 item", "dialog WM_HELP 1 101 item"}));
    // A disabled control cannot have the focus.
    EXPECT_FALSE(drv::PressF1(Item(kOff)));
    EXPECT_EQ(log.lines.size(), 2u);
}

TEST_F(HelpRequests, RightClickReachesTheWindowUnderTheMouse) {
    struct Case {
        const char* what;
        int id;
        const char* expected;
    } cases[] = {
        {"a push button", kPush, "dialog WM_CONTEXTMENU 103"},
        {"a static that notifies", kNotify, "dialog WM_CONTEXTMENU 106"},
        {"a plain label: the dialog behind it", kLabel, "dialog WM_CONTEXTMENU self"},
        {"a disabled button: the dialog behind it", kOff, "dialog WM_CONTEXTMENU self"},
        {"a group box: the dialog behind it", kGroup, "dialog WM_CONTEXTMENU self"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.lines.clear();
        ASSERT_TRUE(drv::RightClick(Item(c.id)));
        EXPECT_EQ(log.lines, (std::vector<std::string>{c.expected}));
    }
}

TEST_F(HelpRequests, AnEditShowsItsOwnMenu) {
    HWND edit = Item(kEdit);
    ut::AnswerNextMenu(EM_SETSEL); // Select All
    ASSERT_TRUE(drv::RightClick(edit));
    EXPECT_TRUE(log.lines.empty()); // the dialog hears nothing
    EXPECT_EQ(ut::SeamLog().back(),
              "TrackPopupMenu \"&Undo\" \"\" \"Cu&t\" \"&Copy\" \"&Paste\" \"&Delete\" \"\" "
              "\"Select &All\"");
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    // Delete is enabled now that there is a selection.
    ut::AnswerNextMenu(WM_CLEAR);
    ASSERT_TRUE(drv::RightClick(edit));
    EXPECT_EQ(drv::ReadText(edit), u"");
}

// In a page (a child dialog) the page hears first; what it leaves goes on to
// its parent.
TEST_F(HelpRequests, APageLeavesRequestsToItsParent) {
    std::vector<BYTE> pageBytes = HelpTemplate(WS_CHILD);
    HelpLog pageLog;
    pageLog.handle = false;
    HWND page =
        CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(pageBytes.data()),
                                   dialog, HelpProc, reinterpret_cast<LPARAM>(&pageLog));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(drv::PressF1(GetDlgItem(page, kPush)));
    ASSERT_TRUE(drv::RightClick(GetDlgItem(page, kLabel)));
    EXPECT_EQ(pageLog.lines,
              (std::vector<std::string>{"page WM_HELP 1 103 item", "page WM_CONTEXTMENU self"}));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], "dialog WM_HELP 1 103 other"); // names the page's control
    EXPECT_EQ(log.lines[1], "dialog WM_CONTEXTMENU 0");    // the page, id 0
    DestroyWindow(page);
}

} // namespace
