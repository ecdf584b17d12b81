// The listener's leak check: what a test leaves behind is named, and a test
// that leaks fails.
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform_testing/fresh_root.h"
#include "win/base.h"

namespace {

HKEY OpenKey() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Leak", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

HANDLE OpenFile() {
    std::u16string name = u"C:\\leak.txt";
    CreateDirectoryW(u"C:\\", nullptr);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
}

TEST(Listener, NamesWhatIsLeftAndForgetsWhatIsGivenBack) {
    struct Case {
        const char* what;
        std::function<std::function<void()>()> take; // returns how to give it back
        const char* named;
    };
    const Case cases[] = {
        {"handle",
         [] {
             HANDLE h = OpenFile();
             return std::function<void()>([h] { CloseHandle(h); });
         },
         "1 handles (File)"},
        {"registry key",
         [] {
             HKEY key = OpenKey();
             return std::function<void()>([key] { RegCloseKey(key); });
         },
         "1 registry keys"},
        {"Global block",
         [] {
             HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, 16);
             return std::function<void()>([g] { GlobalFree(g); });
         },
         "1 Global blocks"},
        {"Heap block",
         [] {
             void* p = HeapAlloc(GetProcessHeap(), 0, 16);
             return std::function<void()>([p] { HeapFree(GetProcessHeap(), 0, p); });
         },
         "1 Heap blocks"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto before = platform_testing::CountLiveObjects();
        auto giveBack = c.take();
        EXPECT_NE(platform_testing::LeftSince(before).find(c.named), std::string::npos)
            << platform_testing::LeftSince(before);
        giveBack();
        EXPECT_EQ(platform_testing::LeftSince(before), "");
    }
}

// Leaking tests, kept out of the normal run; the test below runs them.
TEST(ListenerLeaks, DISABLED_LeaksAHandle) {
    OpenFile();
}
TEST(ListenerLeaks, DISABLED_LeaksARegistryKey) {
    OpenKey();
}
TEST(ListenerLeaks, DISABLED_GivesEverythingBack) {
    RegCloseKey(OpenKey());
    CloseHandle(OpenFile());
}

TEST(Listener, FailsATestThatLeaks) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    struct Case {
        const char* test;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"DISABLED_LeaksAHandle", 1, "1 handles (File)"},
        {"DISABLED_LeaksARegistryKey", 1, "1 registry keys"},
        {"DISABLED_GivesEverythingBack", 0, "[  PASSED  ] 1 test"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.test);
        std::string out;
        int status = platform_testing::RunCommand(
            std::string("'") + self +
                "' --gtest_also_run_disabled_tests --gtest_filter=ListenerLeaks." + c.test +
                " 2>&1",
            &out);
        EXPECT_EQ(status, c.status) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

} // namespace
