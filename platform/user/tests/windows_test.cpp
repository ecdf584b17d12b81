// Windows and messages: classes, procedures and subclassing, parent and
// child, enumeration, coordinates, the queue and timers.
#include "user_fixture.h"
#include "win/htmlhelp.h"

namespace {

using namespace user_test;

std::vector<std::string> gLog;

LRESULT CALLBACK Recorder(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        gLog.push_back("create");
        break;
    case WM_DESTROY:
        gLog.push_back("destroy " + std::to_string(GetDlgCtrlID(h)));
        break;
    case WM_TIMER:
        gLog.push_back("timer " + std::to_string(wp));
        break;
    case WM_APP:
        gLog.push_back("app " + std::to_string(wp));
        return 42;
    case WM_COMMAND:
        gLog.push_back("command " + std::to_string(LOWORD(wp)));
        break;
    default:
        break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

LRESULT CALLBACK Doubling(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR ref) {
    if (msg == WM_APP) {
        gLog.push_back("subclass " + std::to_string(id) + " ref " + std::to_string(ref));
        return DefSubclassProc(h, msg, wp, lp) * 2;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

class Windows : public UserTest {
  protected:
    void SetUp() override {
        gLog.clear();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Recorder;
        wc.cbWndExtra = 16;
        wc.lpszClassName = u"RecorderClass";
        ASSERT_NE(RegisterClassExW(&wc), 0);
        EXPECT_EQ(RegisterClassExW(&wc), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
        top = CreateWindowExW(0, u"recorderclass", u"Top", WS_POPUP | WS_CAPTION | WS_VISIBLE, 100,
                              50, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(top, nullptr);
        child = CreateWindowExW(0, u"RecorderClass", u"Child", WS_CHILD | WS_VISIBLE, 10, 20, 100,
                                50, top, reinterpret_cast<HMENU>(7), nullptr, nullptr);
        grandchild = CreateWindowExW(0, u"Button", u"OK", WS_CHILD | WS_VISIBLE, 5, 5, 40, 20,
                                     child, reinterpret_cast<HMENU>(8), nullptr, nullptr);
    }
    void TearDown() override {
        DestroyWindow(top);
        EXPECT_TRUE(UnregisterClassW(u"RecorderClass", nullptr));
        UserTest::TearDown();
    }
    HWND top = nullptr, child = nullptr, grandchild = nullptr;
};

TEST_F(Windows, TreeEnumerationAndLookup) {
    EXPECT_EQ(GetParent(grandchild), child);
    EXPECT_EQ(GetAncestor(grandchild, GA_ROOT), top);
    EXPECT_TRUE(IsChild(top, grandchild));
    EXPECT_EQ(FindWindowW(nullptr, u"Top"), top);
    EXPECT_EQ(FindWindowW(u"RECORDERCLASS", nullptr), top);
    EXPECT_EQ(FindWindowW(nullptr, u"Nope"), nullptr);
    std::vector<HWND> seen;
    EnumChildWindows(
        top,
        [](HWND h, LPARAM p) {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&seen));
    EXPECT_EQ(seen, (std::vector<HWND>{child, grandchild}));
    EXPECT_EQ(GetDlgCtrlID(child), 7);
    EXPECT_EQ(GetDlgCtrlID(top), 0);
    // Styles, extra bytes and user data.
    EXPECT_EQ(GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD, WS_CHILD);
    SetWindowLongPtrW(top, 8, 1234);
    EXPECT_EQ(GetWindowLongPtrW(top, 8), 1234);
    EXPECT_EQ(GetWindowLongPtrW(top, 9), 0); // past the extra bytes
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(
        CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(Windows, CoordinatesAndPlacement) {
    // The caption and frame push the client area in: 3 + 18 pixels at the top, 3 at the side.
    POINT p{0, 0};
    ClientToScreen(grandchild, &p);
    EXPECT_EQ(p.x, 100 + 3 + 10 + 5);
    EXPECT_EQ(p.y, 50 + 21 + 20 + 5);
    POINT pts[2] = {{1, 2}, {3, 4}};
    int packed = MapWindowPoints(grandchild, top, pts, 2);
    EXPECT_EQ(pts[0].x, 16);
    EXPECT_EQ(pts[0].y, 27);
    EXPECT_EQ(LOWORD(packed), 15);
    EXPECT_EQ(HIWORD(packed), 25);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 113);
    EXPECT_EQ(r.top, 91);
    SetWindowPos(child, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetClientRect(child, &r);
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 50);
    EXPECT_EQ(ChildWindowFromPointEx(top, POINT{35, 45}, CWP_ALL), child);
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(ChildWindowFromPointEx(top, POINT{35, 45}, CWP_SKIPINVISIBLE), top);
    EXPECT_FALSE(IsWindowVisible(grandchild));
}

// HWND_TOPMOST marks a window topmost and keeps it above the others, which a
// new window or HWND_TOP does not pass; HWND_NOTOPMOST puts it back on top of
// the others.
TEST_F(Windows, TopmostWindowsStayAboveTheOthers) {
    auto make = [](const char16_t* title) {
        return CreateWindowExW(0, u"RecorderClass", title, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                               nullptr, nullptr, nullptr, nullptr);
    };
    HWND a = make(u"A"), b = make(u"B");
    auto order = [&] {
        std::vector<HWND> ours;
        for (HWND h = GetWindow(top, GW_HWNDFIRST); h; h = GetWindow(h, GW_HWNDNEXT))
            if (h == top || h == a || h == b) ours.push_back(h);
        return ours;
    };
    EXPECT_EQ(order(), (std::vector<HWND>{b, a, top}));
    ASSERT_TRUE(SetWindowPos(top, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(platform::user::driver::Snapshot(top).find("\"Top\" topmost"), std::string::npos);
    EXPECT_EQ(order(), (std::vector<HWND>{top, b, a}));
    // Neither HWND_TOP nor a window made later passes the topmost one.
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND c = make(u"C");
    EXPECT_EQ(GetWindow(c, GW_HWNDPREV), top);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), a);
    // Placed after a window below it, a topmost window stays in its band.
    SetWindowPos(top, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(top, GW_HWNDNEXT), c);
    EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(SetWindowPos(top, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_FALSE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(platform::user::driver::Snapshot(top).find("topmost"), std::string::npos);
    EXPECT_EQ(GetWindow(top, GW_HWNDNEXT), c); // on top of the others still
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), top);
    // Made topmost from the start.
    HWND d = CreateWindowExW(WS_EX_TOPMOST, u"RecorderClass", u"D", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, nullptr, nullptr);
    EXPECT_EQ(GetWindow(d, GW_HWNDNEXT), c);
    for (HWND h : {a, b, c, d})
        DestroyWindow(h);
}

TEST_F(Windows, MessagesSubclassingAndTimers) {
    EXPECT_EQ(SendMessageW(child, WM_APP, 1, 0), 42);
    ASSERT_TRUE(SetWindowSubclass(child, Doubling, 5, 99));
    EXPECT_EQ(SendMessageW(child, WM_APP, 2, 0), 84);
    ASSERT_TRUE(SetWindowSubclass(child, Doubling, 6, 100)); // the later one runs first
    EXPECT_EQ(SendMessageW(child, WM_APP, 3, 0), 168);
    EXPECT_TRUE(RemoveWindowSubclass(child, Doubling, 5));
    EXPECT_EQ(SendMessageW(child, WM_APP, 4, 0), 84);
    EXPECT_EQ(Join(gLog),
              Join({"create", "create", "app 1", "subclass 5 ref 99", "app 2", "subclass 6 ref 100",
                    "subclass 5 ref 99", "app 3", "subclass 6 ref 100", "app 4"}));
    gLog.clear();

    // Posted messages wait in the queue; windows that need it are painted
    // when it is empty, and timers fire after that.
    PostMessageW(child, WM_APP, 9, 0);
    SetTimer(child, 3, 100, nullptr);
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    DispatchMessageW(&m);
    for (int painted = 0; GetMessageW(&m, nullptr, 0, 0) && m.message == WM_PAINT; ++painted) {
        ASSERT_LT(painted, 3) << "each window is painted once";
        DispatchMessageW(&m);
    }
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER)); // the timer
    DispatchMessageW(&m);
    EXPECT_TRUE(KillTimer(child, 3));
    EXPECT_FALSE(KillTimer(child, 3));
    PostQuitMessage(3);
    EXPECT_FALSE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(Join(gLog), Join({"subclass 6 ref 100", "app 9", "timer 3"}));
    gLog.clear();
    DestroyWindow(child);
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_EQ(Join(gLog), Join({"destroy 7"}));
}

TEST_F(Windows, FocusEnableAndText) {
    SetFocus(grandchild);
    EXPECT_EQ(GetFocus(), grandchild);
    EnableWindow(grandchild, FALSE);
    EXPECT_FALSE(IsWindowEnabled(grandchild));
    EXPECT_EQ(GetFocus(), nullptr); // a disabled window loses the focus
    EXPECT_TRUE(SetWindowTextW(child, u"Größe"));
    WCHAR buf[4];
    EXPECT_EQ(GetWindowTextW(child, buf, 4), 3);
    EXPECT_EQ(std::u16string(buf), u"Grö");
    EXPECT_EQ(GetWindowTextLengthW(child), 5);
    EXPECT_EQ(GetWindowTextW(reinterpret_cast<HWND>(0x1), buf, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, PopupMenuAnsweredByScript) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, u"&What's this?");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 2, u"Off");
    platform::user::test::AnswerNextMenu(1);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, top, nullptr), 1);
    platform::user::test::AnswerNextMenu(2); // greyed: no choice
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, top, nullptr), 0);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, top, nullptr), 0);
    EXPECT_EQ(platform::user::test::TakeUnanswered(), std::vector<std::string>{"popup menu"});
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(DestroyMenu(menu));
}

// HTML help keeps the window types a program defines, by name without
// regard to case, with its own copies of their texts.
TEST_F(Windows, HelpWindowTypes) {
    HH_WINTYPE* known = nullptr;
    const HWND unknown = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\Drv\\HELP.CHM>popupuse", HH_GET_WIN_TYPE,
                        reinterpret_cast<DWORD_PTR>(&known)),
              unknown);
    EXPECT_EQ(known, nullptr);
    {
        std::string type = "popupuse", caption = "Driver Help";
        HH_WINTYPE given{};
        given.cbStruct = sizeof given;
        given.pszType = type.c_str();
        given.pszCaption = caption.c_str();
        given.fsValidMembers = HHWIN_PARAM_RECT;
        given.rcWindowPos = {10, 20, 510, 520};
        HtmlHelpW(nullptr, nullptr, HH_SET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(&given));
        HH_WINTYPE shortRecord = given;
        shortRecord.cbStruct = 100; // too short to be a record: not taken
        shortRecord.rcWindowPos = {};
        HtmlHelpW(nullptr, nullptr, HH_SET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(&shortRecord));
    }
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\Drv\\HELP.CHM>PopupUse", HH_GET_WIN_TYPE,
                        reinterpret_cast<DWORD_PTR>(&known)),
              nullptr);
    ASSERT_NE(known, nullptr);
    EXPECT_EQ(known->cbStruct, static_cast<int>(sizeof(HH_WINTYPE)));
    EXPECT_STREQ(known->pszType, "popupuse");
    EXPECT_STREQ(known->pszCaption, "Driver Help");
    EXPECT_EQ(known->rcWindowPos.right, 510);
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\Drv\\HELP.CHM", HH_GET_WIN_TYPE,
                        reinterpret_cast<DWORD_PTR>(&known)),
              unknown);
    std::vector<std::string> log = platform::user::test::SeamLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1], "HtmlHelpW (null) 4 popupuse");
    EXPECT_EQ(log[2], "HtmlHelpW (null) 4 ");
}

TEST_F(Windows, HelpAndShellAreLogged) {
    EXPECT_TRUE(WinHelpW(top, u"C:\\Drv\\HELP.HLP", HELP_CONTEXT, 5));
    EXPECT_EQ(HtmlHelpW(nullptr, u"C:\\Drv\\HELP.CHM>popupuse", 0x0F, 645), nullptr);
    EXPECT_GT(reinterpret_cast<ULONG_PTR>(
                  ShellExecuteW(nullptr, u"open", u"http://example.com", nullptr, nullptr, 1)),
              32u);
    EXPECT_EQ(platform::user::test::SeamLog(),
              (std::vector<std::string>{"WinHelpW C:\\Drv\\HELP.HLP 1 5",
                                        "HtmlHelpW C:\\Drv\\HELP.CHM>popupuse 15 645",
                                        "ShellExecuteW open http://example.com (null)"}));
    RECT work;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_LT(work.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    platform::user::test::SetSysColor(COLOR_BTNFACE, RGB(1, 2, 3));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(1, 2, 3));
}

// A tip's text is read back only as far as the caller's buffer goes.
TEST_F(Windows, TipTextStaysWithinTheCallersBuffer) {
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, top, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(tip, nullptr);
    std::u16string text(200, u'x');
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = top;
    info.uId = reinterpret_cast<UINT_PTR>(top);
    info.lpszText = text.data();
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    struct Case {
        WPARAM chars;
        size_t expected;
    };
    for (const Case& c : {Case{10, 9}, Case{0, 79}, Case{300, 200}}) {
        std::u16string buffer(400, u'#');
        info.lpszText = buffer.data();
        SendMessageW(tip, TTM_GETTEXTW, c.chars, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(std::u16string(buffer.c_str()).size(), c.expected) << c.chars;
        EXPECT_EQ(buffer[c.expected + 1], u'#') << c.chars;
    }
    DestroyWindow(tip);
}

} // namespace
