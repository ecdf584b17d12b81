// Top-level windows of another process of the same machine root: found by
// title, asked whether minimized, sent a command and raised, told of a
// settings change; gone with their process.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/core.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/process.h"

namespace {

class SharedWindows : public user_test::UserTest {
  protected:
    void Start(const std::u16string& title) {
        std::u16string commandLine =
            u"\"" + platform::WindowsPath(WINDOW_PEER) + u"\" \"" + title + u"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &peer));
        started = true;
    }
    void TearDown() override {
        if (started) {
            if (WaitForSingleObject(peer.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(peer.hProcess, 1);
            WaitForSingleObject(peer.hProcess, INFINITE);
            CloseHandle(peer.hThread);
            CloseHandle(peer.hProcess);
        }
        UserTest::TearDown();
    }
    // Waits (ten seconds at most) until the condition holds.
    template <class F> bool Eventually(F condition) {
        for (int i = 0; i < 1000; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool Ended() { return WaitForSingleObject(peer.hProcess, 10000) == WAIT_OBJECT_0; }
    PROCESS_INFORMATION peer{};
    bool started = false;
};

TEST_F(SharedWindows, AnotherProgramsWindowIsFoundCommandedAndRaised) {
    Start(u"Status Monitor - Office");
    HWND found = nullptr;
    ASSERT_TRUE(Eventually([&] {
        found = FindWindowA(nullptr, "Status Monitor - Office");
        return found != nullptr;
    }));
    EXPECT_EQ(FindWindowW(u"PeerMonitor", nullptr), found);
    EXPECT_EQ(FindWindowA(nullptr, "Status Monitor - Home"), nullptr);
    // Another program's titles compare without regard to case, as our own do.
    EXPECT_EQ(FindWindowA(nullptr, "STATUS MONITOR - office"), found);
    EXPECT_EQ(FindWindowW(u"peermonitor", u"status monitor - office"), found);
    EXPECT_TRUE(IsWindow(found));
    ASSERT_TRUE(Eventually([&] { return IsIconic(found) != FALSE; }));
    // The raise command travels to the other program's queue; it restores
    // itself, and the next look shows it.
    ASSERT_TRUE(PostMessageA(found, WM_COMMAND, 32802, 0));
    EXPECT_TRUE(Eventually([&] { return IsIconic(found) == FALSE; }));
    EXPECT_TRUE(SetWindowPos(found, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE));
    EXPECT_TRUE(ShowWindow(found, SW_SHOWMINIMIZED));
    EXPECT_TRUE(Eventually([&] { return IsIconic(found) != FALSE; }));
    // A settings change reaches it too.
    platform::user::test::BroadcastSettingChange(u"devices");
    std::string settings = platform::HostPath(u"C:\\peer-settings.txt");
    EXPECT_TRUE(Eventually([&] {
        std::ifstream in(settings);
        std::string line;
        return std::getline(in, line) && line == "devices";
    }));
    // Messages whose parameters would be pointers there do not travel.
    EXPECT_FALSE(PostMessageW(found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    EXPECT_FALSE(PostMessageW(found, WM_TIMER, 1, 0));
    // A registered message has the same number there: it ends the program,
    // which destroys its window first.
    UINT quit = RegisterWindowMessageW(u"WindowPeerQuit");
    ASSERT_TRUE(PostMessageW(found, quit, 0, 0));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(FindWindowA(nullptr, "Status Monitor - Office"), nullptr);
    EXPECT_FALSE(IsWindow(found));
    EXPECT_FALSE(PostMessageW(found, WM_COMMAND, 32802, 0));
    EXPECT_FALSE(SetWindowPos(found, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE));
}

TEST_F(SharedWindows, AnEndedProgramsWindowsAreNotFound) {
    Start(u"Peer that crashes");
    HWND found = nullptr;
    ASSERT_TRUE(Eventually([&] {
        found = FindWindowA(nullptr, "Peer that crashes");
        return found != nullptr;
    }));
    // A broadcast reaches it too: it ends at once, its window never destroyed.
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"WindowPeerQuit"), 1, 0));
    ASSERT_TRUE(Ended());
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m); // this process's own share of the broadcast
    EXPECT_EQ(FindWindowA(nullptr, "Peer that crashes"), nullptr);
    EXPECT_FALSE(IsWindow(found));
    EXPECT_FALSE(IsIconic(found));
    EXPECT_FALSE(ShowWindow(found, SW_RESTORE));
}

// Records the messages a window is given.
std::vector<UINT>* gGiven = nullptr;
LRESULT CALLBACK GivenProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (gGiven && (msg == WM_COMMAND || msg == WM_TIMER || msg >= WM_USER)) gGiven->push_back(msg);
    return DefWindowProcW(h, msg, wp, lp);
}

TEST_F(SharedWindows, ForgedRequestsAreDroppedNotDelivered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = GivenProc;
    wc.lpszClassName = u"Given";
    ASSERT_TRUE(RegisterClassW(&wc));
    std::vector<UINT> given;
    gGiven = &given;
    HWND own = CreateWindowExW(0, u"Given", u"Mine", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50,
                               nullptr, nullptr, nullptr, nullptr);
    char handle[32];
    std::snprintf(handle, sizeof handle, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(own)));
    std::string h = handle;
    // Anyone can write this process's request file: a timer whose procedure
    // would be a bare number, a text, lines of no known kind, a z-order place
    // that names some window. Only what could have been posted arrives.
    std::ofstream(platform::MachineRoot() + "/windows/" + std::to_string(::getpid()) + "-" +
                  std::to_string(platform::ProcessStarted(::getpid())) + ".mail")
        << "post\t" + h + "\t275\t1\t4096\n"
        << "post\t" + h + "\t12\t0\t4096\n"
        << "nonsense\n\tpost\n"
        << "post\t" + h + "\t1025\t1\t2\n"
        << "post\t" + h + "\t273\t32802\t0\n"
        << "pos\t" + h + "\t12345\t5\t6\t0\t0\t1\n"
        << "show\t" + h + "\t6\n";
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
    EXPECT_EQ(given, (std::vector<UINT>{WM_USER + 1, WM_COMMAND}));
    EXPECT_TRUE(IsIconic(own));
    RECT r;
    GetWindowRect(own, &r);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 6);
    std::u16string text(16, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(own, text.data(), 16)));
    EXPECT_EQ(text, u"Mine");
    gGiven = nullptr;
    DestroyWindow(own);
    UnregisterClassW(u"Given", nullptr);
}

TEST_F(SharedWindows, OwnWindowsStayThisProcesssOwn) {
    HWND own = CreateWindowExW(0, u"Static", u"Mine", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "Mine"), own);
    DestroyWindow(own);
    EXPECT_EQ(FindWindowA(nullptr, "Mine"), nullptr);
}

// What killed processes left in the shared folder goes when this process
// shows its first window: the files of a process id that is gone, or of one
// whose id now belongs to a process started at another time. A living
// process's files stay.
TEST_F(SharedWindows, WhatEndedProcessesLeftGoesAtTheFirstWindow) {
    const std::string folder = platform::MachineRoot() + "/windows/";
    std::filesystem::create_directories(folder);
    const long long gone = 999999999; // above any process id the system hands out
    const long long own = ::getpid(), parent = ::getppid();
    const long long ownStart = platform::ProcessStarted(own);
    const long long parentStart = platform::ProcessStarted(parent);
    ASSERT_GT(parentStart, 0);
    auto name = [](long long pid, long long start, const std::string& kind) {
        return std::to_string(pid) + "-" + std::to_string(start) + kind;
    };
    struct Case {
        std::string file;
        bool stays;
    } cases[] = {
        {name(gone, 4242, ".list"), false},
        {name(gone, 4242, ".mail"), false},
        {name(gone, 4242, ".list.~" + std::to_string(gone) + ".tmp"), false},
        {name(own, ownStart + 1, ".list"), false},
        {name(own, ownStart + 1, ".mail"), false},
        {name(parent, parentStart, ".list"), true},
        {name(parent, parentStart, ".mail"), true},
        {name(parent, parentStart + 1, ".list"), false},
        {"messages", true},
        {"notes.txt", true},
    };
    for (const auto& c : cases)
        std::ofstream(folder + c.file) << "";
    HWND window = CreateWindowExW(0, u"Static", u"First", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    for (const auto& c : cases)
        EXPECT_EQ(std::filesystem::exists(folder + c.file), c.stays) << c.file;
    EXPECT_TRUE(std::filesystem::exists(folder + name(own, ownStart, ".list")));
    DestroyWindow(window);
}

} // namespace
