// The shell's open behind its log, the cursor, visual styles through their
// library, service message boxes, minimized windows, the ANSI window calls
// and the broadcast of a settings change.
#include "platform/loader_ctl.h"
#include "platform/process_ctl.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/uxtheme.h"

namespace {

using platform::user::test::ShellExecuteCall;

class ShellAndStates : public user_test::UserTest {};

TEST_F(ShellAndStates, ShellExecuteLogsWhatWouldOpenAndStartsNothing) {
    CreateDirectoryW(u"C:\\Docs", nullptr);
    HANDLE f =
        CreateFileW(u"C:\\Docs\\readme.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    struct Case {
        const char* file;
        const char* directory;
        ULONG_PTR answer;
    } cases[] = {
        {"mailto:help@example.com", "", 42},
        {"http://www.example.com/status", nullptr, 42},
        {"C:\\Docs\\readme.txt", nullptr, 42},
        {"readme.txt", "C:\\Docs", 42},
        {"C:\\Docs\\missing.txt", nullptr, SE_ERR_FNF},
        {"", nullptr, SE_ERR_FNF},
    };
    for (const Case& c : cases) {
        HINSTANCE r = ShellExecuteA(nullptr, "open", c.file, nullptr, c.directory, SW_SHOWDEFAULT);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(r), c.answer) << c.file;
    }
    HINSTANCE w = ShellExecuteW(nullptr, u"open", u"https://example.com/\x00FC", u"-x", nullptr,
                                SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<ULONG_PTR>(w), 32u);
    std::vector<ShellExecuteCall> log = platform::user::test::ShellExecuteLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0].operation, u"open");
    EXPECT_EQ(log[0].file, u"mailto:help@example.com");
    EXPECT_EQ(log[0].parameters, u"");
    EXPECT_EQ(log[0].directory, u"");
    EXPECT_EQ(log[0].show, SW_SHOWDEFAULT);
    EXPECT_TRUE(log[0].ansi);
    EXPECT_EQ(log[6].file, u"https://example.com/\x00FC");
    EXPECT_EQ(log[6].parameters, u"-x");
    EXPECT_FALSE(log[6].ansi);
    std::vector<std::string> seams = platform::user::test::SeamLog();
    ASSERT_FALSE(seams.empty());
    EXPECT_EQ(seams[0], "ShellExecuteA open mailto:help@example.com (null)");
    // Nothing was started on the host.
    EXPECT_TRUE(platform::test::ProcessLaunches().empty());
}

TEST_F(ShellAndStates, CursorChangesAreSeen) {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_EQ(SetCursor(arrow), nullptr);
    HCURSOR old = SetCursor(wait);
    EXPECT_EQ(old, arrow);
    EXPECT_EQ(GetCursor(), wait);
    SetCursor(wait); // no change
    SetCursor(old);
    EXPECT_EQ(platform::user::test::CursorHistory(), (std::vector<HCURSOR>{arrow, wait, arrow}));
}

using IsThemeActiveFn = BOOL(WINAPI*)();

// Asked as a program asks: the library by name, its export by name.
int AskTheme() {
    HMODULE theme = LoadLibraryW(u"UXTHEME.DLL");
    if (!theme) return -1;
    auto fn = reinterpret_cast<IsThemeActiveFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(theme, "IsThemeActive")));
    int answer = fn ? (fn() ? 1 : 0) : -2;
    FreeLibrary(theme);
    return answer;
}

TEST_F(ShellAndStates, VisualStylesThroughTheirLibrary) {
    EXPECT_EQ(AskTheme(), 1);
    platform::user::test::SetThemeActive(false);
    EXPECT_EQ(AskTheme(), 0);
    EXPECT_EQ(IsThemeActive(), FALSE);
    platform::user::test::SetThemeActive(true);
    EXPECT_EQ(AskTheme(), 1);
    platform::test::MakeExportAbsent(u"uxtheme.dll", "IsThemeActive");
    EXPECT_EQ(AskTheme(), -2);
    platform::test::MakeModuleAbsent(u"UxTheme.dll");
    EXPECT_EQ(AskTheme(), -1);
    platform::test::ClearAbsent();
    EXPECT_EQ(platform::test::ModuleLoadCount(u"uxtheme.dll"), 0);
}

TEST_F(ShellAndStates, ServiceMessageBoxesTakeTheirDefaultButton) {
    UINT style = MB_ICONHAND | MB_SERVICE_NOTIFICATION;
    EXPECT_EQ(MessageBoxA(nullptr, "The file could not be written.", "Error", style), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"Replace?", u"Overlay",
                          MB_YESNO | MB_DEFBUTTON2 | MB_SERVICE_NOTIFICATION),
              IDNO);
    // A script still answers one.
    platform::user::test::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"Replace?", u"Overlay", MB_YESNO | MB_SERVICE_NOTIFICATION),
              IDYES);
    auto boxes = platform::user::test::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].type, style);
    EXPECT_EQ(boxes[0].caption, u"Error");
    std::vector<std::string> seams = platform::user::test::SeamLog();
    ASSERT_EQ(seams.size(), 2u);
    EXPECT_EQ(seams[0], "service message box \"Error\": The file could not be written.");
    // Such a box has no owner.
    HWND owner = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    EXPECT_EQ(MessageBoxW(owner, u"x", u"y", MB_SERVICE_NOTIFICATION), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DestroyWindow(owner);
}

// Records what reaches a top-level window.
std::vector<std::string>* gSeen = nullptr;
LRESULT CALLBACK RecordingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (gSeen && msg == WM_SETTINGCHANGE)
        gSeen->push_back("setting " + std::to_string(wp) + " " +
                         (lp ? platform::ToUtf8(reinterpret_cast<const char16_t*>(lp)) : "-"));
    if (gSeen && msg == WM_COMMAND) gSeen->push_back("command " + std::to_string(LOWORD(wp)));
    return DefWindowProcW(h, msg, wp, lp);
}

TEST_F(ShellAndStates, MinimizedWindowsAnsiCallsAndSettingsBroadcast) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = u"Recorder";
    ASSERT_TRUE(RegisterClassW(&wc));
    std::vector<std::string> seen;
    gSeen = &seen;
    HWND a = CreateWindowExW(0, u"Recorder", u"Status Monitor - Office", WS_OVERLAPPEDWINDOW, 0, 0,
                             200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExW(0, u"Recorder", u"Other", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    HWND child =
        CreateWindowExW(0, u"Recorder", u"", WS_CHILD, 0, 0, 10, 10, a, nullptr, nullptr, nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "Status Monitor - Office"), a);
    EXPECT_EQ(FindWindowA("recorder", "Other"), b);
    EXPECT_EQ(FindWindowA(nullptr, "Status Monitor - Home"), nullptr);
    // Titles are compared without regard to case, as the system compares them.
    EXPECT_EQ(FindWindowA(nullptr, "status monitor - OFFICE"), a);
    EXPECT_EQ(FindWindowW(nullptr, u"OTHER"), b);
    EXPECT_FALSE(IsIconic(a));
    ShowWindow(a, SW_SHOWMINIMIZED);
    EXPECT_TRUE(IsIconic(a));
    EXPECT_TRUE(IsWindowVisible(a));
    ShowWindow(a, SW_SHOW);
    EXPECT_TRUE(IsIconic(a)); // showing keeps it minimized
    ShowWindow(a, SW_RESTORE);
    EXPECT_FALSE(IsIconic(a));
    EXPECT_FALSE(IsIconic(nullptr));
    // A settings change reaches every top-level window, no child.
    platform::user::test::BroadcastSettingChange(u"windows");
    EXPECT_EQ(seen, (std::vector<std::string>{"setting 0 windows", "setting 0 windows"}));
    // Registered messages: one number per name, any case, A or W.
    UINT raise = RegisterWindowMessageA("PrinthostRaise");
    EXPECT_GE(raise, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageW(u"printhostraise"), raise);
    EXPECT_NE(RegisterWindowMessageW(u"PrinthostOther"), raise);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    seen.clear();
    ASSERT_TRUE(PostMessageA(a, WM_COMMAND, 32802, 0));
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    EXPECT_EQ(seen, (std::vector<std::string>{"command 32802"}));
    gSeen = nullptr;
    DestroyWindow(child);
    DestroyWindow(b);
    DestroyWindow(a);
    UnregisterClassW(u"Recorder", nullptr);
}

INT_PTR CALLBACK SettingsPageProc(HWND h, UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(h, DWLP_USER, reinterpret_cast<PROPSHEETPAGEW*>(lp)->lParam);
        return TRUE;
    }
    auto* seen = reinterpret_cast<std::vector<std::string>*>(GetWindowLongPtrW(h, DWLP_USER));
    if (msg == WM_SETTINGCHANGE && seen)
        seen->push_back("page " + platform::ToUtf8(reinterpret_cast<const char16_t*>(lp)));
    return FALSE;
}

TEST_F(ShellAndStates, PropertySheetsHandTheSettingsChangeToTheirPages) {
    std::vector<BYTE> page = user_test::TemplateBuilder()
                                 .Dialog(DS_SETFONT | WS_CHILD | WS_CAPTION, 200, 100, u"Page")
                                 .Bytes();
    std::vector<std::string> first, second;
    auto make = [&](std::vector<std::string>* seen) {
        PROPSHEETPAGEW psp{};
        psp.dwSize = sizeof psp;
        psp.dwFlags = PSP_DLGINDIRECT;
        psp.pResource = reinterpret_cast<const DLGTEMPLATE*>(page.data());
        psp.pfnDlgProc = SettingsPageProc;
        psp.lParam = reinterpret_cast<LPARAM>(seen);
        return CreatePropertySheetPageW(&psp);
    };
    HPROPSHEETPAGE pages[] = {make(&first), make(&second)};
    platform::user::test::AnswerNextModal([](HWND sheet) {
        platform::user::test::BroadcastSettingChange(u"devices");
        platform::user::driver::PressButton(sheet, IDCANCEL);
    });
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.pszCaption = u"Printer";
    h.nPages = 2;
    h.phpage = pages;
    PropertySheetW(&h);
    // Only the page made so far (the first) hears of it.
    EXPECT_EQ(first, (std::vector<std::string>{"page devices"}));
    EXPECT_TRUE(second.empty());
}

} // namespace
