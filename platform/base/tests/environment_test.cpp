#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/codepage_ctl.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "win/base.h"

namespace {

std::u16string Wide(const char* s) {
    return platform::FromUtf8(s);
}

bool HostDirectoryExists(const std::u16string& windowsPath) {
    struct stat st;
    return stat(platform::HostPath(windowsPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- version ----

struct VersionCase {
    DWORD major, minor, build;
    DWORD expectedBuild;
};

TEST(OsVersion, DefaultsToWindows10AndFollowsTheTestsSetting) {
    OSVERSIONINFOEXW ex{};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 10u);
    EXPECT_EQ(ex.dwMinorVersion, 0u);
    EXPECT_EQ(ex.dwBuildNumber, 19045u);
    EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(ex.szCSDVersion[0], 0);
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(GetVersion(), 10u | (0u << 8) | (19045u << 16));

    const VersionCase cases[] = {
        {5, 0, 0, 2195}, {5, 1, 0, 2600},    {5, 2, 0, 3790},    {6, 0, 0, 6002},
        {6, 1, 0, 7601}, {6, 1, 7600, 7600}, {4, 0, 1381, 1381},
    };
    for (const auto& c : cases) {
        platform::test::SetOsVersion(c.major, c.minor, c.build);
        OSVERSIONINFOW w{};
        w.dwOSVersionInfoSize = sizeof w;
        ASSERT_TRUE(GetVersionExW(&w));
        EXPECT_EQ(w.dwMajorVersion, c.major);
        EXPECT_EQ(w.dwMinorVersion, c.minor);
        EXPECT_EQ(w.dwBuildNumber, c.expectedBuild);
        OSVERSIONINFOA a{};
        a.dwOSVersionInfoSize = sizeof a;
        ASSERT_TRUE(GetVersionExA(&a));
        EXPECT_EQ(a.dwMajorVersion, c.major);
        EXPECT_EQ(a.dwBuildNumber, c.expectedBuild);
        EXPECT_EQ(a.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    }
}

TEST(OsVersion, ServicePackAndRecordSizes) {
    platform::OsVersion xp;
    xp.major = 5;
    xp.minor = 1;
    xp.build = 2600;
    xp.servicePack = u"Service Pack 3";
    xp.servicePackMajor = 3;
    platform::test::SetOsVersion(xp);

    OSVERSIONINFOEXA exa{};
    exa.dwOSVersionInfoSize = sizeof exa;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&exa)));
    EXPECT_STREQ(exa.szCSDVersion, "Service Pack 3");
    EXPECT_EQ(exa.wServicePackMajor, 3);

    // The plain record is filled only as far as it reaches.
    OSVERSIONINFOEXW exw;
    std::memset(&exw, 0xAB, sizeof exw);
    exw.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&exw)));
    EXPECT_EQ(std::u16string(exw.szCSDVersion), u"Service Pack 3");
    EXPECT_EQ(exw.wServicePackMajor, 0xABAB);

    const DWORD badSizes[] = {0, sizeof(OSVERSIONINFOW) - 1, sizeof(OSVERSIONINFOA), 1000};
    for (DWORD size : badSizes) {
        OSVERSIONINFOEXW w{};
        w.dwOSVersionInfoSize = size;
        SetLastError(0);
        EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&w))) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    platform::test::SetOsVersion(platform::OsVersion{.platformId = VER_PLATFORM_WIN32_WINDOWS});
    EXPECT_NE(GetVersion() & 0x80000000u, 0u);

    platform::test::FailNext("GetVersionExW", 1, ERROR_ACCESS_DENIED);
    OSVERSIONINFOW w{};
    w.dwOSVersionInfoSize = sizeof w;
    EXPECT_FALSE(GetVersionExW(&w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// ---- names ----

TEST(MachineNames, ComputerNameSizeProtocol) {
    platform::test::SetComputerName(u"PRINTSRV01");
    struct {
        DWORD size;
        BOOL ok;
        DWORD sizeAfter;
    } const calls[] = {{0, FALSE, 11}, {10, FALSE, 11}, {11, TRUE, 10}, {64, TRUE, 10}};
    for (const auto& c : calls) {
        WCHAR w[64] = {};
        DWORD size = c.size;
        SetLastError(0);
        EXPECT_EQ(GetComputerNameW(c.size ? w : nullptr, &size), c.ok) << c.size;
        EXPECT_EQ(size, c.sizeAfter) << c.size;
        if (c.ok)
            EXPECT_EQ(std::u16string(w), u"PRINTSRV01");
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
        char a[64] = {};
        size = c.size;
        EXPECT_EQ(GetComputerNameA(c.size ? a : nullptr, &size), c.ok) << c.size;
        EXPECT_EQ(size, c.sizeAfter) << c.size;
        if (c.ok) {
            EXPECT_STREQ(a, "PRINTSRV01");
        }
    }
}

TEST(MachineNames, UserNameSizeProtocol) {
    platform::test::SetUserName(u"Zoë");
    struct {
        DWORD size;
        BOOL ok;
        DWORD sizeAfter;
    } const calls[] = {{0, FALSE, 4}, {3, FALSE, 4}, {4, TRUE, 4}, {UNLEN + 1, TRUE, 4}};
    for (const auto& c : calls) {
        WCHAR w[UNLEN + 1] = {};
        DWORD size = c.size;
        SetLastError(0);
        EXPECT_EQ(GetUserNameW(w, &size), c.ok) << c.size;
        EXPECT_EQ(size, c.sizeAfter) << c.size;
        if (c.ok)
            EXPECT_EQ(std::u16string(w), u"Zoë");
        else
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    platform::test::SetAnsiCodePage(1252);
    char a[8] = {};
    DWORD size = sizeof a;
    ASSERT_TRUE(GetUserNameA(a, &size));
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(a, "Zo\xEB");

    platform::test::FailNext("GetUserNameW", 1, ERROR_NOT_ENOUGH_MEMORY);
    size = 8;
    WCHAR w[8];
    EXPECT_FALSE(GetUserNameW(w, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(MachineNames, ResetBringsBackTheHostNames) {
    WCHAR before[UNLEN + 1];
    DWORD size = UNLEN + 1;
    ASSERT_TRUE(GetUserNameW(before, &size));
    platform::test::SetUserName(u"SomeoneElse");
    platform::test::SetComputerName(u"ELSEWHERE");
    platform::test::ResetForTests();
    WCHAR after[UNLEN + 1];
    size = UNLEN + 1;
    ASSERT_TRUE(GetUserNameW(after, &size));
    EXPECT_EQ(std::u16string(after), std::u16string(before));
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1];
    size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    EXPECT_NE(std::u16string(computer), u"ELSEWHERE");
    EXPECT_LE(size, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH));
}

// ---- time ----

bool SameTime(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Clock, FrozenClockAndTimeZone) {
    platform::test::SetTimeZoneBias(-60); // UTC+1
    // 2024-02-29 was a Thursday.
    EXPECT_FALSE(platform::test::SetLocalTime(SYSTEMTIME{2023, 2, 0, 29, 0, 0, 0, 0}));
    ASSERT_TRUE(platform::test::SetLocalTime(SYSTEMTIME{2024, 2, 0, 29, 23, 59, 58, 500}));
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    EXPECT_TRUE(SameTime(local, SYSTEMTIME{2024, 2, 4, 29, 23, 59, 58, 500}));
    GetSystemTime(&utc);
    EXPECT_TRUE(SameTime(utc, SYSTEMTIME{2024, 2, 4, 29, 22, 59, 58, 500}));

    FILETIME ft, localFt;
    GetSystemTimeAsFileTime(&ft);
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_TRUE(SameTime(back, utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &localFt));
    ASSERT_TRUE(FileTimeToSystemTime(&localFt, &back));
    EXPECT_TRUE(SameTime(back, local));
    FILETIME again;
    ASSERT_TRUE(LocalFileTimeToFileTime(&localFt, &again));
    EXPECT_EQ(again.dwLowDateTime, ft.dwLowDateTime);

    platform::test::AdvanceTime(1500);
    GetLocalTime(&local);
    EXPECT_TRUE(SameTime(local, SYSTEMTIME{2024, 3, 5, 1, 0, 0, 0, 0}));

    // Moving the time zone keeps the frozen local time.
    platform::test::SetTimeZoneBias(300);
    GetLocalTime(&local);
    EXPECT_TRUE(SameTime(local, SYSTEMTIME{2024, 3, 5, 1, 0, 0, 0, 0}));
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wHour, 5);
}

TEST(Clock, SystemTimeAndFileTimeConversions) {
    struct {
        SYSTEMTIME st;
        BOOL ok;
        ULONGLONG ticks;
    } const cases[] = {
        {{1601, 1, 0, 1, 0, 0, 0, 0}, TRUE, 0},
        {{1970, 1, 0, 1, 0, 0, 0, 0}, TRUE, 116444736000000000ULL},
        {{2000, 2, 0, 29, 12, 0, 0, 1}, TRUE, 125962992000010000ULL},
        {{2023, 2, 0, 29, 0, 0, 0, 0}, FALSE, 0},  // not a leap year
        {{1900, 2, 0, 29, 0, 0, 0, 0}, FALSE, 0},  // nor is 1900
        {{1600, 12, 0, 31, 0, 0, 0, 0}, FALSE, 0}, // before the epoch
        {{2024, 13, 0, 1, 0, 0, 0, 0}, FALSE, 0},
        {{2024, 4, 0, 31, 0, 0, 0, 0}, FALSE, 0},
        {{2024, 1, 0, 1, 24, 0, 0, 0}, FALSE, 0},
        {{2024, 1, 0, 1, 0, 60, 0, 0}, FALSE, 0},
        {{2024, 1, 0, 1, 0, 0, 0, 1000}, FALSE, 0},
    };
    for (const auto& c : cases) {
        FILETIME ft{0xDEAD, 0xBEEF};
        SetLastError(0);
        EXPECT_EQ(SystemTimeToFileTime(&c.st, &ft), c.ok)
            << c.st.wYear << "-" << c.st.wMonth << "-" << c.st.wDay;
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            continue;
        }
        EXPECT_EQ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.ticks);
        SYSTEMTIME back;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(back.wYear, c.st.wYear);
        EXPECT_EQ(back.wDay, c.st.wDay);
        EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
    }
    FILETIME tooLarge{0, 0x80000000u};
    SYSTEMTIME st;
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &st));
    FILETIME largest{0xFFFFFFFFu, 0x7FFFFFFFu};
    ASSERT_TRUE(FileTimeToSystemTime(&largest, &st));
    EXPECT_EQ(st.wYear, 30828);
}

TEST(Clock, FrozenTickCountMovesWithSleep) {
    platform::test::FreezeTickCount(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
    Sleep(250);
    EXPECT_EQ(GetTickCount(), 1250u);
    platform::test::AdvanceTime(50);
    EXPECT_EQ(GetTickCount64(), 1300u);
    // The 32-bit count wraps as the system's does after 49.7 days.
    platform::test::FreezeTickCount(0x100000005ULL);
    EXPECT_EQ(GetTickCount(), 5u);
    EXPECT_EQ(GetTickCount64(), 0x100000005ULL);

    // Sleep moves a frozen wall clock with the tick count.
    platform::test::SetLocalTime(SYSTEMTIME{2024, 1, 0, 1, 8, 0, 0, 0});
    Sleep(60000);
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(local.wMinute, 1);

    platform::test::ResetForTests();
    ULONGLONG a = GetTickCount64(), b = GetTickCount64();
    EXPECT_LE(a, b);
    EXPECT_NE(a, 0x100000005ULL);
}

// ---- locale ----

std::u16string LocaleText(LCID lcid, LCTYPE type) {
    WCHAR buffer[80];
    int n = GetLocaleInfoW(lcid, type, buffer, 80);
    return n > 0 ? std::u16string(buffer, static_cast<size_t>(n - 1)) : u"<error>";
}

TEST(Locale, UnitedStatesByDefault) {
    struct {
        LCID lcid;
        LCTYPE type;
        const char16_t* expected;
    } const cases[] = {
        {LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, u"1"},
        {LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, u"1"},
        {LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, u"."},
        {LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, u","},
        {LOCALE_USER_DEFAULT, LOCALE_IMEASURE, u"1"},
        {LOCALE_USER_DEFAULT, LOCALE_SLANGUAGE, u"English (United States)"},
        {LOCALE_SYSTEM_DEFAULT, LOCALE_SENGLANGUAGE, u"English"},
        {LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, u"0409"},
        {LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, u"1252"},
        {0x0407, LOCALE_ICOUNTRY, u"49"},
        {0x0407, LOCALE_SDECIMAL, u","},
        {0x0407, LOCALE_IMEASURE, u"0"},
        {0x0809, LOCALE_ICOUNTRY, u"44"},
        {0x0411, LOCALE_IDEFAULTANSICODEPAGE, u"932"},
        {LOCALE_INVARIANT, LOCALE_SDECIMAL, u"."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocaleText(c.lcid, c.type), c.expected) << std::hex << c.lcid << " " << c.type;
    EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
    EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
}

TEST(Locale, TestsSetCountryAndSeparators) {
    platform::test::SetCountryCode(49);
    platform::test::SetDecimalSeparator(u",");
    platform::test::SetThousandSeparator(u".");
    platform::test::SetMeasureSystem(0);
    EXPECT_EQ(LocaleText(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY), u"49");
    EXPECT_EQ(LocaleText(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL), u",");
    EXPECT_EQ(LocaleText(0x0409, LOCALE_STHOUSAND), u".");
    EXPECT_EQ(LocaleText(LOCALE_USER_DEFAULT, LOCALE_IMEASURE), u"0");
    // The locale's own data stays visible without the user's overrides.
    EXPECT_EQ(LocaleText(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL | LOCALE_NOUSEROVERRIDE), u".");
    EXPECT_EQ(LocaleText(0x0809, LOCALE_SDECIMAL), u".");

    ASSERT_TRUE(platform::test::SetLocale(0x0411));
    EXPECT_EQ(GetUserDefaultLCID(), 0x0411u);
    EXPECT_EQ(LocaleText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"81"); // overrides cleared
    EXPECT_FALSE(platform::test::SetLocale(0x0C0A));

    platform::test::ResetForTests();
    EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
    EXPECT_EQ(LocaleText(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY), u"1");
}

TEST(Locale, SizeProtocolAndErrors) {
    WCHAR buffer[8];
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, nullptr, 0), 8);
    SetLastError(0);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, buffer, 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SENGLANGUAGE, buffer, 8), 8);
    EXPECT_EQ(std::u16string(buffer), u"English");

    EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x7777, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(GetLocaleInfoW(0x0C0A, LOCALE_ICOUNTRY, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    DWORD number = 0;
    EXPECT_EQ(GetLocaleInfoW(0x0407, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), sizeof number / sizeof(WCHAR)),
              2);
    EXPECT_EQ(number, 49u);
    EXPECT_EQ(GetLocaleInfoW(0x0407, LOCALE_SDECIMAL | LOCALE_RETURN_NUMBER,
                             reinterpret_cast<LPWSTR>(&number), 2),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

    platform::test::SetAnsiCodePage(1252);
    char a[8];
    EXPECT_EQ(GetLocaleInfoA(0x040C, LOCALE_STHOUSAND, a, 8), 2);
    EXPECT_STREQ(a, "\xA0");
    EXPECT_EQ(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, a, 8), 2);
    EXPECT_STREQ(a, "1");

    platform::test::FailNext("GetLocaleInfoW", 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_ICOUNTRY, buffer, 8), 0);
}

// ---- folders ----

TEST(ShellFolders, KnownFoldersLieUnderTheUsersProfile) {
    platform::test::SetUserName(u"Ann");
    struct {
        const KNOWNFOLDERID* id;
        const char16_t* expected;
    } const cases[] = {
        {&FOLDERID_LocalAppDataLow, u"C:\\Users\\Ann\\AppData\\LocalLow"},
        {&FOLDERID_LocalAppData, u"C:\\Users\\Ann\\AppData\\Local"},
        {&FOLDERID_RoamingAppData, u"C:\\Users\\Ann\\AppData\\Roaming"},
        {&FOLDERID_Documents, u"C:\\Users\\Ann\\Documents"},
        {&FOLDERID_Windows, u"C:\\Windows"},
    };
    long heap = platform::test::LiveHeapAllocations();
    for (const auto& c : cases) {
        PWSTR path = nullptr;
        ASSERT_EQ(SHGetKnownFolderPath(*c.id, 0, nullptr, &path), S_OK);
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(std::u16string(path), c.expected);
        EXPECT_TRUE(HostDirectoryExists(path)) << platform::ToUtf8(path);
        CoTaskMemFree(path);
    }
    EXPECT_EQ(platform::test::LiveHeapAllocations(), heap);
    EXPECT_EQ(platform::HostPath(u"C:\\Users\\Ann\\AppData\\LocalLow"),
              platform_testing::Root() + "/c/Users/Ann/AppData/LocalLow");

    const GUID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    PWSTR path = reinterpret_cast<PWSTR>(1);
    EXPECT_TRUE(FAILED(SHGetKnownFolderPath(unknown, 0, nullptr, &path)));
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, nullptr), E_INVALIDARG);

    platform::test::FailNext("SHGetKnownFolderPath", 1, ERROR_FILE_NOT_FOUND);
    path = reinterpret_cast<PWSTR>(1);
    EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, &path),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(path, nullptr);
}

TEST(ShellFolders, ShellFolderPathsByCsidl) {
    platform::test::SetUserName(u"Ann");
    struct {
        int csidl;
        HRESULT result;
        const char* expected;
    } const cases[] = {
        {CSIDL_LOCAL_APPDATA, S_OK, "C:\\Users\\Ann\\AppData\\Local"},
        {CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, S_OK, "C:\\Users\\Ann\\AppData\\Local"},
        {CSIDL_APPDATA, S_OK, "C:\\Users\\Ann\\AppData\\Roaming"},
        {CSIDL_PERSONAL, S_OK, "C:\\Users\\Ann\\Documents"},
        {CSIDL_WINDOWS, S_OK, "C:\\Windows"},
        {CSIDL_SYSTEM, S_OK, "C:\\Windows\\System32"},
        {0x00FF, E_INVALIDARG, ""},
    };
    for (const auto& c : cases) {
        WCHAR w[MAX_PATH];
        w[0] = u'?';
        EXPECT_EQ(SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, w), c.result)
            << c.csidl;
        EXPECT_EQ(std::u16string(w), Wide(c.expected));
        char a[MAX_PATH];
        a[0] = '?';
        EXPECT_EQ(SHGetFolderPathA(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, a), c.result)
            << c.csidl;
        EXPECT_STREQ(a, c.expected);
        if (c.result == S_OK) {
            EXPECT_TRUE(HostDirectoryExists(Wide(c.expected)));
        }
    }
}

TEST(ShellFolders, WindowsDirectorySizeProtocol) {
    WCHAR w[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryW(nullptr, 0), 11u);
    EXPECT_EQ(GetWindowsDirectoryW(w, 10), 11u);
    EXPECT_EQ(GetWindowsDirectoryW(w, 11), 10u);
    EXPECT_EQ(std::u16string(w), u"C:\\Windows");
    char a[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(a, MAX_PATH), 10u);
    EXPECT_STREQ(a, "C:\\Windows");
    EXPECT_EQ(GetSystemDirectoryW(w, MAX_PATH), 19u);
    EXPECT_EQ(std::u16string(w), u"C:\\Windows\\System32");
    EXPECT_TRUE(HostDirectoryExists(u"C:\\Windows\\System32"));
}

// ---- environment variables ----

std::u16string Variable(const char16_t* name) {
    WCHAR buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
    return n ? std::u16string(buffer, n) : u"<missing>";
}

TEST(EnvironmentVariables, DerivedSetAndExpanded) {
    platform::test::SetUserName(u"Ann");
    EXPECT_EQ(Variable(u"USERPROFILE"), u"C:\\Users\\Ann");
    EXPECT_EQ(Variable(u"systemroot"), u"C:\\Windows");
    EXPECT_EQ(Variable(u"LocalAppData"), u"C:\\Users\\Ann\\AppData\\Local");

    WCHAR small[4];
    EXPECT_EQ(GetEnvironmentVariableW(u"USERPROFILE", small, 4), 13u); // size needed with the NUL
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(u"NO_SUCH_VARIABLE", small, 4), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));

    ASSERT_TRUE(SetEnvironmentVariableW(u"Printer", u"Office"));
    EXPECT_EQ(Variable(u"PRINTER"), u"Office");
    ASSERT_TRUE(SetEnvironmentVariableW(u"USERPROFILE", u"D:\\Profiles\\Ann"));
    EXPECT_EQ(Variable(u"UserProfile"), u"D:\\Profiles\\Ann");
    ASSERT_TRUE(SetEnvironmentVariableW(u"windir", nullptr));
    EXPECT_EQ(Variable(u"WINDIR"), u"<missing>");
    EXPECT_FALSE(SetEnvironmentVariableW(u"A=B", u"x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    struct {
        const char16_t* source;
        const char16_t* expected;
    } const expansions[] = {
        {u"%SystemRoot%\\System32", u"C:\\Windows\\System32"},
        {u"%printer%-%PRINTER%", u"Office-Office"},
        {u"%UNKNOWN%\\x", u"%UNKNOWN%\\x"},
        {u"100%", u"100%"},
        {u"%%", u"%%"},
        {u"50% of %printer%", u"50% of %printer%"}, // "% of %" names no variable and stays
        {u"", u""},
    };
    for (const auto& e : expansions) {
        WCHAR out[MAX_PATH];
        DWORD n = ExpandEnvironmentStringsW(e.source, out, MAX_PATH);
        EXPECT_EQ(n, std::u16string(e.expected).size() + 1) << platform::ToUtf8(e.source);
        EXPECT_EQ(std::u16string(out), e.expected) << platform::ToUtf8(e.source);
    }
    EXPECT_EQ(ExpandEnvironmentStringsW(u"%Printer%", small, 4), 7u); // size needed with the NUL

    platform::test::ResetForTests();
    EXPECT_EQ(Variable(u"Printer"), u"<missing>");
    EXPECT_EQ(Variable(u"windir"), u"C:\\Windows");
}

// ---- processes and sessions ----

TEST(Sessions, ProcessAndThreadIdsAndSessions) {
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    DWORD mainThread = GetCurrentThreadId(), otherThread = 0;
    std::thread([&] { otherThread = GetCurrentThreadId(); }).join();
    EXPECT_NE(mainThread, otherThread);
    EXPECT_NE(otherThread, 0u);

    DWORD session = 99;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(session, 1u);
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 1u);
    platform::test::SetSessionId(2);
    platform::test::SetConsoleSessionId(0xFFFFFFFF);
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(session, 2u);
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 0xFFFFFFFFu);
    EXPECT_FALSE(ProcessIdToSessionId(0x7FFFFFF0, &session)); // no such process
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(ProcessIdToSessionId(GetCurrentProcessId(), nullptr));

    platform::test::ResetForTests();
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(session, 1u);
}

} // namespace
