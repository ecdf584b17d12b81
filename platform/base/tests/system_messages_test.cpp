// The system's message texts, MulDiv's rounding and range, and the thread's
// locale.
#include <gtest/gtest.h>

#include <thread>

#include "platform/facts.h"
#include "win/base.h"

namespace {

std::u16string SystemText(DWORD error, DWORD language = LANG_USER_DEFAULT) {
    LPWSTR text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (!n) return u""; // the error stays the last error
    std::u16string out(text, n);
    EXPECT_EQ(LocalFree(text), nullptr);
    return out;
}

TEST(SystemMessages, TextsOfTheSystemsErrors) {
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), u"Access is denied.\r\n");
    EXPECT_EQ(SystemText(ERROR_DISK_FULL, 0), u"There is not enough space on the disk.\r\n");
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)),
              u"The system cannot find the file specified.\r\n");
    // Into the caller's buffer, with the size protocol.
    WCHAR buffer[64];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             ERROR_SHARING_VIOLATION, 0, buffer, 64, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_PARAMETER, 0, buffer, 64,
                       nullptr);
    EXPECT_EQ(std::u16string(buffer, n), u"The parameter is incorrect.\r\n");
    char ansi[64];
    n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, ansi, 64,
                       nullptr);
    EXPECT_EQ(std::string(ansi, n), "Access is denied.\r\n");
}

TEST(SystemMessages, UnknownNumbersAndLanguagesFail) {
    struct Case {
        DWORD error, language, expected;
    } cases[] = {
        {0x12345, 0, ERROR_MR_MID_NOT_FOUND},
        {99999, 0, ERROR_MR_MID_NOT_FOUND},
        {ERROR_ACCESS_DENIED, MAKELANGID(0x07, SUBLANG_DEFAULT), ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const Case& c : cases) {
        LPWSTR text = reinterpret_cast<LPWSTR>(1);
        SetLastError(0);
        EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, c.error, c.language, reinterpret_cast<LPWSTR>(&text), 0,
                                 nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), c.expected) << c.error;
        EXPECT_EQ(text, nullptr); // nothing to free
    }
    // A German user's default language finds no English text; language 0 does.
    ASSERT_TRUE(platform::test::SetLocale(0x0407));
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), u"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, 0), u"Access is denied.\r\n");
    ASSERT_TRUE(platform::test::SetLocale(0x0409));
}

TEST(SystemMessages, InsertsFromAStringAndTheArguments) {
    const char16_t* args[] = {u"C:\\a.txt", u"7"};
    LPWSTR text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        u"File %1 has %2!s! pages.%n100%% done%0 not shown", 0, 0, reinterpret_cast<LPWSTR>(&text),
        0, reinterpret_cast<va_list*>(const_cast<char16_t**>(args)));
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::u16string(text, n), u"File C:\\a.txt has 7 pages.\r\n100% done");
    LocalFree(text);
    WCHAR kept[32];
    n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, u"%1 stays", 0,
                       0, kept, 32, nullptr);
    EXPECT_EQ(std::u16string(kept, n), u"%1 stays");
    // An insert without arguments is refused.
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, u"%1", 0, 0, kept, 32, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(MulDiv, RoundsHalvesAwayFromZeroAndRefusesOverflow) {
    struct Case {
        int a, b, c, expected;
    } cases[] = {
        {7, 1, 2, 4},
        {-7, 1, 2, -4},
        {5, 3, 2, 8},
        {-5, 3, 2, -8},
        {10, 96, 72, 13},
        {1, 1, 0, -1},
        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
        {0x7FFFFFFF, 2, 1, -1},
        {-0x7FFFFFFF - 1, 1, 1, -0x7FFFFFFF - 1},
        {100, 4, 7, 57},
        {100, -4, 7, -57},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(ThreadLocale, ThreadsStartWithTheUsersAndKeepTheirOwn) {
    EXPECT_EQ(GetThreadLocale(), GetUserDefaultLCID());
    ASSERT_TRUE(SetThreadLocale(0x0411));
    EXPECT_EQ(GetThreadLocale(), 0x0411u);
    LCID other = 0;
    std::thread([&] { other = GetThreadLocale(); }).join();
    EXPECT_EQ(other, 0x0409u);
    EXPECT_FALSE(SetThreadLocale(0x0436)); // a locale the machine has no data for
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetThreadLocale(), 0x0411u);
    ASSERT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
    EXPECT_EQ(GetThreadLocale(), 0x0409u);
}

} // namespace
