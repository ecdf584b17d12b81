#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/facts.h"
#include "platform/handles.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "win/base.h"
#include "win/process.h"

namespace {

std::u16string Child() {
    return platform::WindowsPath(PROCESS_TEST_CHILD);
}

std::u16string Quoted(const std::u16string& s) {
    return u"\"" + s + u"\"";
}

// Starts the child with these words after its quoted path.
BOOL StartChild(const std::u16string& words, PROCESS_INFORMATION* pi, DWORD flags = 0,
                const char16_t* directory = nullptr) {
    std::u16string commandLine = Quoted(Child()) + u" " + words;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          directory, &si, pi);
}

DWORD WaitAndExitCode(const PROCESS_INFORMATION& pi) {
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0xDEAD;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    return code;
}

void CloseBoth(const PROCESS_INFORMATION& pi) {
    EXPECT_TRUE(CloseHandle(pi.hThread));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
}

std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string RealPath(const std::string& path) {
    std::error_code ec;
    return std::filesystem::canonical(path, ec).string();
}

TEST(Process, ChildAnswersThroughANamedBlockAndExitsWithItsCode) {
    HANDLE block =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, u"VELMJOB0042");
    ASSERT_NE(block, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);

    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartChild(u"answer VELMJOB0042 confirmed 7", &pi)) << GetLastError();
    EXPECT_NE(pi.dwProcessId, 0u);
    EXPECT_EQ(platform::test::OpenHandleCount("Process"), 1u);
    EXPECT_EQ(platform::test::OpenHandleCount("Thread"), 1u);
    EXPECT_EQ(WaitAndExitCode(pi), 7u);
    // The thread ends with its process; waiting again answers at once.
    EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_STREQ(view + 8, "confirmed");
    CloseBoth(pi);
    EXPECT_EQ(platform::test::OpenHandleCount("Process"), 0u);
    EXPECT_EQ(platform::test::OpenHandleCount("Thread"), 0u);

    // Without the block the child finds nothing (and says so by its code).
    UnmapViewOfFile(view);
    CloseHandle(block);
    ASSERT_TRUE(StartChild(u"answer VELMJOB0042 confirmed 7", &pi));
    EXPECT_EQ(WaitAndExitCode(pi), 90u);
    CloseBoth(pi);
}

TEST(Process, HangingChildTimesOutAndIsTerminated) {
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartChild(u"hang", &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));

    // A caller's ten-minute time-out, kept short by the test control, still
    // reads as the time-out it asked for.
    platform::test::LimitWaitTimeouts(20);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 600000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(platform::test::LastWaitTimeout(), 600000u);

    ASSERT_TRUE(TerminateProcess(pi.hProcess, 42));
    EXPECT_EQ(WaitAndExitCode(pi), 42u);
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseBoth(pi);
}

TEST(Process, ExitCodes) {
    struct Case {
        const char16_t* words;
        DWORD code;
    } cases[] = {
        {u"exit 0", 0},
        {u"exit 255", 255},
        {u"segv", 0xC0000005},
        {u"abort", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.words));
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(StartChild(c.words, &pi));
        EXPECT_EQ(WaitAndExitCode(pi), c.code);
        CloseBoth(pi);
    }
}

TEST(Process, StartFailures) {
    std::filesystem::create_directories(platform::HostPath(u"C:\\Tools\\Folder.exe"));
    std::string text = platform::HostPath(u"C:\\Tools\\text.exe");
    std::ofstream(text) << "not a program\n";
    chmod(text.c_str(), 0755);
    std::string plain = platform::HostPath(u"C:\\Tools\\plain.exe");
    std::ofstream(plain) << "x";
    chmod(plain.c_str(), 0644);
    std::filesystem::copy_file(PROCESS_TEST_CHILD, platform::HostPath(u"C:\\Tools\\Child.exe"));

    struct Case {
        const char16_t* application;
        const char16_t* commandLine;
        DWORD error;
    } cases[] = {
        {nullptr, u"C:\\Tools\\missing.exe", ERROR_FILE_NOT_FOUND},
        {nullptr, u"\"C:\\No Such Folder\\x.exe\" a", ERROR_PATH_NOT_FOUND},
        {u"C:\\Tools\\missing.exe", u"x", ERROR_FILE_NOT_FOUND},
        {u"C:\\Tools\\Child", u"x",
         ERROR_FILE_NOT_FOUND}, // no extension is added to an application name
        {nullptr, u"C:\\Tools\\Folder.exe", ERROR_ACCESS_DENIED},
        {nullptr, u"C:\\Tools\\plain.exe", ERROR_ACCESS_DENIED},
        {nullptr, u"C:\\Tools\\text.exe", ERROR_BAD_EXE_FORMAT},
        {nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {nullptr, u"   ", ERROR_INVALID_PARAMETER},
        {nullptr, u"\"\" x", ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.commandLine ? c.commandLine : u"(null)"));
        std::u16string commandLine = c.commandLine ? c.commandLine : u"";
        STARTUPINFOW si{sizeof si};
        PROCESS_INFORMATION pi{};
        EXPECT_FALSE(CreateProcessW(c.application, c.commandLine ? commandLine.data() : nullptr,
                                    nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(pi.hProcess, nullptr);
    }

    // The rest of the call must make sense too.
    std::u16string commandLine = u"C:\\Tools\\Child.exe exit 0";
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    char16_t environment[] = u"A=1\0";
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                CREATE_SUSPENDED, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                u"C:\\Nowhere", &si, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &si, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, nullptr, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    platform::test::FailNext("CreateProcessW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(platform::test::ProcessLaunches().empty());
    EXPECT_EQ(platform::test::OpenHandleCount(), 0u);
}

TEST(Process, CommandLinesSplitAsTheSystemSplitsThem) {
    using V = std::vector<std::u16string>;
    struct Case {
        const char16_t* line;
        V args;
    } cases[] = {
        {u"prog a b", {u"prog", u"a", u"b"}},
        {u"\"C:\\Program Files\\x.exe\" \"a b\" c", {u"C:\\Program Files\\x.exe", u"a b", u"c"}},
        {u"C:\\dir\\Jobprompt.EXE VELMJOB0012", {u"C:\\dir\\Jobprompt.EXE", u"VELMJOB0012"}},
        {u"\"pro\"g a", {u"prog", u"a"}},
        {u"\"C:\\a\\\" b", {u"C:\\a\\", u"b"}}, // the program name takes backslashes as they are
        {u"prog a\\\\\\\"b", {u"prog", u"a\\\"b"}},     // 2n+1 backslashes: n and a literal quote
        {u"prog \"a\\\\\" b", {u"prog", u"a\\", u"b"}}, // 2n backslashes: n, and the quote closes
        {u"prog a\\b c\\\\d", {u"prog", u"a\\b", u"c\\\\d"}}, // no quote after: as they stand
        {u"prog \"a\"\"b\"", {u"prog", u"a\"b"}},             // "" inside quotes: a literal quote
        {u"prog \"\" x", {u"prog", u"", u"x"}},
        {u"prog\t\"a b\"c", {u"prog", u"a bc"}},
        {u"prog \\\"a b\\\"", {u"prog", u"\"a", u"b\""}},
        {u"prog   a   ", {u"prog", u"a"}},
        {u" prog a", {u"", u"prog", u"a"}},
        {u"", {u""}},
        {u"prog \"unclosed arg", {u"prog", u"unclosed arg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.line));
        EXPECT_EQ(platform::SplitCommandLine(c.line), c.args);
    }
}

TEST(Process, ChildSeesItsArgumentsTheMachineRootAndItsFolder) {
    std::filesystem::create_directories(platform::HostPath(u"C:\\Work Folder"));
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        StartChild(u"args C:\\out.txt \"two words\" a\\\\\\\"b \"\"", &pi, 0, u"c:\\work folder"));
    EXPECT_EQ(WaitAndExitCode(pi), 0u);
    CloseBoth(pi);
    std::string expected = "root=" + RealPath(platform_testing::Root()) + "\n" +
                           "cwd=" + RealPath(platform::HostPath(u"C:\\Work Folder")) + "\n" +
                           "arg=" + platform::ToUtf8(Child()) + "\n" +
                           "arg=args\narg=C:\\out.txt\narg=two words\narg=a\\\"b\narg=\n";
    EXPECT_EQ(ReadHost(platform::HostPath(u"C:\\out.txt")), expected);
}

TEST(Process, FindingTheProgram) {
    std::string installed = platform::HostPath(u"C:\\Program Files\\Job Tools\\ProcChild.EXE");
    std::filesystem::create_directories(std::filesystem::path(installed).parent_path());
    std::filesystem::copy_file(PROCESS_TEST_CHILD, installed);
    std::filesystem::create_directories(
        platform::HostPath(u"C:\\Program Files\\Job.exe")); // a folder, skipped

    struct Case {
        const char16_t* application;
        const char16_t* commandLine;
        DWORD code;
        std::vector<std::u16string> args;
    } cases[] = {
        // Unquoted with blanks: word runs are tried in turn; the program sees the words split.
        {nullptr,
         u"C:\\Program Files\\Job Tools\\procchild exit 5",
         64,
         {u"C:\\Program", u"Files\\Job", u"Tools\\procchild", u"exit", u"5"}},
        // Quoted, without extension: ".exe" is added and found without regard to case.
        {nullptr,
         u"\"C:\\Program Files\\Job Tools\\ProcChild\" exit 5",
         5,
         {u"C:\\Program Files\\Job Tools\\ProcChild", u"exit", u"5"}},
        // An application name runs as given; the command line is only what the program sees.
        {u"C:\\Program Files\\Job Tools\\ProcChild.EXE",
         u"anything exit 9",
         9,
         {u"anything", u"exit", u"9"}},
        {u"C:\\Program Files\\Job Tools\\ProcChild.EXE",
         nullptr,
         64,
         {u"C:\\Program Files\\Job Tools\\ProcChild.EXE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.commandLine ? c.commandLine : c.application));
        std::u16string commandLine = c.commandLine ? c.commandLine : u"";
        STARTUPINFOW si{sizeof si};
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(c.application, c.commandLine ? commandLine.data() : nullptr,
                                   nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            << GetLastError();
        EXPECT_EQ(WaitAndExitCode(pi), c.code);
        CloseBoth(pi);
        auto launch = platform::test::ProcessLaunches().back();
        EXPECT_EQ(launch.hostProgram, installed);
        EXPECT_EQ(launch.arguments, c.args);
        EXPECT_EQ(launch.processId, pi.dwProcessId);
    }

    // The ANSI form, as the status-monitor launcher starts its program.
    char commandLine[] = "\"C:\\Program Files\\Job Tools\\ProcChild.EXE\" exit 6";
    STARTUPINFOA si{sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    EXPECT_EQ(WaitAndExitCode(pi), 6u);
    CloseBoth(pi);
    EXPECT_EQ(platform::test::ProcessLaunches().back().showWindow, SW_SHOWNORMAL);
}

TEST(Process, ConsoleUserTokenAndStartingAsThatUser) {
    // Both functions are found by name in the system's modules, as callers bind them.
    HMODULE kernel = LoadLibraryW(u"kernel32.dll");
    HMODULE wts = LoadLibraryW(u"wtsapi32.dll");
    ASSERT_TRUE(kernel && wts);
    auto getConsole = reinterpret_cast<DWORD(WINAPI*)(void)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "WTSGetActiveConsoleSessionId")));
    auto queryToken = reinterpret_cast<BOOL(WINAPI*)(ULONG, PHANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(wts, "WTSQueryUserToken")));
    ASSERT_TRUE(getConsole && queryToken);
    EXPECT_EQ(getConsole(), 1u);

    HANDLE token = nullptr;
    ASSERT_TRUE(queryToken(getConsole(), &token));
    EXPECT_EQ(platform::test::OpenHandleCount("Token"), 1u);

    std::u16string commandLine = Quoted(Child()) + u" exit 0";
    STARTUPINFOW si;
    GetStartupInfoW(&si);
    EXPECT_EQ(si.cb, sizeof si);
    si.dwFlags |= STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    char16_t desktop[] = u"winsta0\\default";
    si.lpDesktop = desktop;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                     CREATE_NEW_CONSOLE, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitAndExitCode(pi), 0u);
    CloseBoth(pi);
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_EQ(platform::test::OpenHandleCount("Token"), 0u);

    auto launch = platform::test::ProcessLaunches().back();
    EXPECT_TRUE(launch.asUser);
    EXPECT_EQ(launch.userName, platform::CurrentUserName());
    EXPECT_EQ(launch.sessionId, 1u);
    EXPECT_EQ(launch.desktop, u"winsta0\\default");
    EXPECT_EQ(launch.creationFlags, static_cast<DWORD>(CREATE_NEW_CONSOLE));
    EXPECT_EQ(launch.startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(launch.showWindow, SW_SHOW);

    // Another user at the console: the child is recorded as that user's.
    platform::test::SetSessionUser(1, u"alice");
    ASSERT_TRUE(WTSQueryUserToken(1, &token));
    ASSERT_TRUE(CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitAndExitCode(pi), 0u);
    CloseBoth(pi);
    CloseHandle(token);
    EXPECT_EQ(platform::test::ProcessLaunches().back().userName, u"alice");
    // CreateProcessW runs as this process's own user.
    ASSERT_TRUE(StartChild(u"exit 0", &pi));
    WaitAndExitCode(pi);
    CloseBoth(pi);
    EXPECT_FALSE(platform::test::ProcessLaunches().back().asUser);
    EXPECT_EQ(platform::test::ProcessLaunches().back().userName, platform::CurrentUserName());

    EXPECT_FALSE(CreateProcessAsUserW(pi.hProcess, nullptr, commandLine.data(), nullptr, nullptr,
                                      FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    FreeLibrary(wts);
    FreeLibrary(kernel);
}

TEST(Process, SessionsWithoutAUser) {
    HANDLE token = nullptr;
    struct Case {
        const char* what;
        ULONG session;
    } cases[] = {{"the services' session", 0}, {"a session that does not exist", 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(WTSQueryUserToken(c.session, &token));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    }
    // The console moves to session 2: its user moves with it.
    platform::test::SetConsoleSessionId(2);
    EXPECT_FALSE(WTSQueryUserToken(1, &token));
    ASSERT_TRUE(WTSQueryUserToken(2, &token));
    CloseHandle(token);
    // Nobody logged on at the console.
    platform::test::SetSessionUser(2, u"");
    EXPECT_FALSE(WTSQueryUserToken(2, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    platform::test::SetSessionUser(2, u"bob");
    platform::test::FailNext("WTSQueryUserToken", 1, ERROR_NO_TOKEN);
    EXPECT_FALSE(WTSQueryUserToken(2, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_FALSE(WTSQueryUserToken(2, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A system without the terminal services module: the caller's lookup fails.
    platform::test::MakeModuleAbsent(u"wtsapi32.dll");
    EXPECT_EQ(LoadLibraryW(u"wtsapi32.dll"), nullptr);
    EXPECT_EQ(platform::test::OpenHandleCount(), 0u);
}

TEST(Process, WaitsAndExitCodesNeedTheirKindOfHandle) {
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, nullptr);
    ASSERT_NE(mapping, nullptr);
    for (HANDLE h : {mapping, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0x7777770)}) {
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        DWORD code;
        EXPECT_FALSE(GetExitCodeProcess(h, &code));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(TerminateProcess(h, 1));
    }
    CloseHandle(mapping);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartChild(u"exit 3", &pi));
    DWORD code;
    EXPECT_FALSE(GetExitCodeProcess(pi.hThread, &code)); // a thread is not a process
    EXPECT_FALSE(GetExitCodeProcess(pi.hProcess, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForSingleObject(pi.hThread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseBoth(pi);
    EXPECT_FALSE(CloseHandle(pi.hProcess));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The host's state letter of a process ('Z' for a zombie), or 0 when it is gone.
char HostState(DWORD pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');
    return paren == std::string::npos || paren + 2 >= text.size() ? 0 : text[paren + 2];
}

TEST(Process, ProgramsNeverWaitedForLeaveNoZombies) {
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartChild(u"exit 0", &pi));
    CloseBoth(pi); // as the spool-side program is started: not waited for
    for (int i = 0; i < 500 && HostState(pi.dwProcessId) != 'Z' && HostState(pi.dwProcessId) != 0;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The next start reaps it.
    PROCESS_INFORMATION next{};
    ASSERT_TRUE(StartChild(u"exit 0", &next));
    EXPECT_EQ(HostState(pi.dwProcessId), 0);
    WaitAndExitCode(next);
    CloseBoth(next);
}

} // namespace
