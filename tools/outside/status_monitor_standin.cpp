// A stand-in for the outside status-monitor program, for the tests of the
// status-monitor launcher:
//   standin ADDRESS            as the launcher starts it: the program's main
//                              window "NEXOVIEW" and "Status Monitor - ADDRESS"
//   standin                    the main window alone
//   standin --window TITLE [--minimized]
//                              one monitor window titled TITLE, nothing else
// Every start writes its arguments, one a line, to C:\monitor-started.txt;
// every raise command (WM_COMMAND 32802) restores the window and adds its
// title to C:\monitor-raised.txt. The registered message
// "StatusMonitorStandinQuit" ends it; it lives a minute at most and dies
// with its parent.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"
#include "win/user.h"

namespace {

constexpr WORD kRaise = 32802;
UINT gQuit = 0;

void Append(const char16_t* file, const std::string& line) {
    std::ofstream(platform::HostPath(file), std::ios::app) << line << "\n";
}

LRESULT CALLBACK MonitorProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == kRaise) {
        ShowWindow(h, SW_RESTORE);
        char16_t title[256] = {};
        GetWindowTextW(h, title, 256);
        Append(u"C:\\monitor-raised.txt", platform::ToUtf8(title));
        return 0;
    }
    if (msg == gQuit && gQuit) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

HWND Open(const std::u16string& title, bool minimized) {
    HWND h = CreateWindowExW(0, u"StandinMonitor", title.c_str(), WS_OVERLAPPEDWINDOW, 10, 20, 300,
                             200, nullptr, nullptr, nullptr, nullptr);
    if (h) ShowWindow(h, minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    return h;
}

} // namespace

int main(int argc, char** argv) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::string started;
    for (int i = 1; i < argc; ++i)
        started += std::string(argv[i]) + "\n";
    Append(u"C:\\monitor-started.txt", started + "--");
    gQuit = RegisterWindowMessageW(u"StatusMonitorStandinQuit");
    WNDCLASSW wc{};
    wc.lpfnWndProc = MonitorProc;
    wc.lpszClassName = u"StandinMonitor";
    if (!RegisterClassW(&wc)) return 65;
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--window") {
        if (argc < 3) return 64;
        const bool minimized = argc > 3 && std::string(argv[3]) == "--minimized";
        if (!Open(platform::FromUtf8(argv[2]), minimized)) return 66;
    } else {
        if (!Open(u"NEXOVIEW", false)) return 66;
        if (!first.empty() && !Open(u"Status Monitor - " + platform::FromUtf8(first), false))
            return 66;
    }
    MSG m;
    for (int rounds = 0; rounds < 6000; ++rounds) {
        if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) return 0;
            DispatchMessageW(&m);
            continue;
        }
        usleep(10000);
    }
    return 0;
}
