// A program with one top-level window, for the tests of windows seen across
// processes:
//   WindowPeer TITLE   opens a minimized window titled TITLE and runs its
//                      message loop (at most a minute; dies with its parent).
// WM_COMMAND 32802 restores the window. The registered message
// "WindowPeerQuit" ends the program: with wParam 1 at once, its window left
// as it is (as a program that crashes leaves it); otherwise the window is
// destroyed first. Every settings change is written, one line each, to
// C:\peer-settings.txt of the machine root.
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

LRESULT CALLBACK PeerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == kRaise) {
        ShowWindow(h, SW_RESTORE);
        return 0;
    }
    if (msg == WM_SETTINGCHANGE) {
        std::ofstream out(platform::HostPath(u"C:\\peer-settings.txt"), std::ios::app);
        out << (lp ? platform::ToUtf8(reinterpret_cast<const char16_t*>(lp)) : "-") << "\n";
        return 0;
    }
    if (msg == gQuit && gQuit) {
        if (wp == 1) _exit(0);
        DestroyWindow(h);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 64;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    gQuit = RegisterWindowMessageW(u"WindowPeerQuit");
    WNDCLASSW wc{};
    wc.lpfnWndProc = PeerProc;
    wc.lpszClassName = u"PeerMonitor";
    if (!RegisterClassW(&wc)) return 65;
    std::u16string title = platform::FromUtf8(argv[1]);
    HWND h = CreateWindowExW(0, u"PeerMonitor", title.c_str(), WS_OVERLAPPEDWINDOW, 10, 20, 300,
                             200, nullptr, nullptr, nullptr, nullptr);
    if (!h) return 66;
    ShowWindow(h, SW_SHOWMINIMIZED);
    // A minute at most: a test that forgets the program does not keep it.
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
