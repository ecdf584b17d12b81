// Top-level windows of another process of the same machine root: found by
// title, asked whether minimized, sent a command and raised, told of a
// settings change; gone with their process.
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/paths.h"
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
    // It ends at once, its window never destroyed.
    ASSERT_TRUE(PostMessageW(found, RegisterWindowMessageW(u"WindowPeerQuit"), 1, 0));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(FindWindowA(nullptr, "Peer that crashes"), nullptr);
    EXPECT_FALSE(IsWindow(found));
    EXPECT_FALSE(IsIconic(found));
    EXPECT_FALSE(ShowWindow(found, SW_RESTORE));
}

TEST_F(SharedWindows, OwnWindowsStayThisProcesssOwn) {
    HWND own = CreateWindowExW(0, u"Static", u"Mine", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "Mine"), own);
    DestroyWindow(own);
    EXPECT_EQ(FindWindowA(nullptr, "Mine"), nullptr);
}

} // namespace
