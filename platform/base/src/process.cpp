// Processes over posix_spawn; the users of sessions and their tokens;
// security descriptors.
//
// A child is waited for through a pidfd (poll with the time-out) and reaped
// once, by whichever handle first sees it end; its exit code stays with the
// process record. A record whose handles all close before its process ends
// hands the process to a list of orphans that later calls reap, so that
// programs started and never waited for leave no zombies behind.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "file_system.h"
#include "platform/core.h"
#include "platform/facts.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "shared_memory.h"
#include "waitable.h"
#include "win/environment.h"
#include "win/errors.h"
#include "win/process.h"

extern char** environ;

namespace {
// Carries a child's command line to its GetCommandLineW.
constexpr char kCommandLineVariable[] = "PLATFORM_COMMAND_LINE";
} // namespace

namespace {

// ---------------------------------------------------------------------------
// Session users and tokens

struct SessionState {
    std::mutex lock;
    std::map<DWORD, std::u16string> users; // set by tests; "" = nobody logged on
    std::deque<platform::test::ProcessLaunch> launches;
};

SessionState& State() {
    static SessionState s;
    return s;
}

// Enough history for any test; a long-running spooler does not grow.
constexpr size_t kMaxLaunches = 256;

void ResetProcessState() {
    std::lock_guard lock(State().lock);
    State().users.clear();
    State().launches.clear();
}

void RegisterReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetProcessState), true);
    (void)registered;
}

std::u16string SessionUser(DWORD session) {
    {
        std::lock_guard lock(State().lock);
        auto it = State().users.find(session);
        if (it != State().users.end()) return it->second;
    }
    DWORD console = WTSGetActiveConsoleSessionId();
    if (session == console && session != 0 && session != 0xFFFFFFFF)
        return platform::CurrentUserName();
    return std::u16string();
}

class TokenObject : public platform::HandleObject {
  public:
    TokenObject(std::u16string user, DWORD session) : user_(std::move(user)), session_(session) {}
    const char* KindName() const override { return "Token"; }
    const std::u16string& user() const { return user_; }
    DWORD session() const { return session_; }

  private:
    std::u16string user_;
    DWORD session_;
};

// ---------------------------------------------------------------------------
// Process records

// Processes whose handles are all closed but which have not been reaped. Kept
// past the statics' destruction: handles still open at exit are released later.
struct Orphans {
    std::mutex lock;
    std::vector<pid_t> pids;
};

Orphans& TheOrphans() {
    static auto* o = new Orphans;
    return *o;
}

void ReapOrphans() {
    std::lock_guard lock(TheOrphans().lock);
    std::erase_if(TheOrphans().pids, [](pid_t pid) {
        int status;
        pid_t r;
        do
            r = ::waitpid(pid, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        return r != 0; // reaped, or not ours any more
    });
}

DWORD ExitCodeFromStatus(int status, std::optional<DWORD> terminateCode) {
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (!WIFSIGNALED(status)) return 1;
    int sig = WTERMSIG(status);
    if (terminateCode && sig == SIGKILL) return *terminateCode;
    switch (sig) {
    case SIGSEGV:
        return 0xC0000005; // access violation
    case SIGBUS:
        return 0xC0000006; // in-page error
    case SIGILL:
        return 0xC000001D; // illegal instruction
    case SIGFPE:
        return 0xC0000094; // integer divide by zero
    case SIGABRT:
        return 3; // what abort() exits with on the system
    case SIGINT:
        return 0xC000013A; // ended by Ctrl+C
    default:
        return 1; // ended from outside, as a task manager ends a process
    }
}

class ProcessRecord {
  public:
    ProcessRecord(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    ~ProcessRecord() {
        bool orphan;
        {
            std::lock_guard lock(m_);
            orphan = !ReapLocked();
        }
        if (pidfd_ >= 0) ::close(pidfd_);
        if (orphan) {
            std::lock_guard lock(TheOrphans().lock);
            TheOrphans().pids.push_back(pid_);
        }
    }
    ProcessRecord(const ProcessRecord&) = delete;
    ProcessRecord& operator=(const ProcessRecord&) = delete;

    DWORD Wait(DWORD milliseconds) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            {
                std::lock_guard lock(m_);
                if (ReapLocked()) return WAIT_OBJECT_0;
            }
            int slice = -1;
            if (milliseconds != INFINITE) {
                auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) return WAIT_TIMEOUT;
                slice = static_cast<int>(std::min<long long>(left, INT_MAX));
            }
            if (pidfd_ >= 0) {
                pollfd p{pidfd_, POLLIN, 0};
                if (::poll(&p, 1, slice) < 0 && errno != EINTR) {
                    SetLastError(ERROR_INVALID_HANDLE);
                    return WAIT_FAILED;
                }
            } else {
                // Without pidfds: look again every few milliseconds.
                int step = slice < 0 ? 10 : std::min(slice, 10);
                std::this_thread::sleep_for(std::chrono::milliseconds(step));
            }
        }
    }

    DWORD ExitCode() {
        std::lock_guard lock(m_);
        return ReapLocked() ? code_ : static_cast<DWORD>(STILL_ACTIVE);
    }

    DWORD Terminate(UINT code) {
        std::lock_guard lock(m_);
        if (ReapLocked()) return ERROR_ACCESS_DENIED;
        // Under the lock the process is not reaped yet, so its pid is still its own.
        terminateCode_ = code;
        int rc =
            pidfd_ >= 0
                ? static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0))
                : ::kill(pid_, SIGKILL);
        if (rc != 0) {
            terminateCode_.reset();
            return ERROR_ACCESS_DENIED;
        }
        return ERROR_SUCCESS;
    }

  private:
    // True once the process has ended (reaping it now if it just did).
    bool ReapLocked() {
        if (ended_) return true;
        int status = 0;
        pid_t r;
        do
            r = ::waitpid(pid_, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0) return false;
        ended_ = true;
        // Reaped behind our back (SIGCHLD ignored, or another waiter): its code is lost.
        code_ = r > 0 ? ExitCodeFromStatus(status, terminateCode_) : 1;
        return true;
    }

    std::mutex m_;
    pid_t pid_;
    int pidfd_;
    bool ended_ = false;
    DWORD code_ = STILL_ACTIVE;
    std::optional<DWORD> terminateCode_;
};

class ProcessObject : public platform::HandleObject, public platform::Waitable {
  public:
    explicit ProcessObject(std::shared_ptr<ProcessRecord> record) : record_(std::move(record)) {}
    const char* KindName() const override { return "Process"; }
    DWORD Wait(DWORD milliseconds) override { return record_->Wait(milliseconds); }
    ProcessRecord& record() { return *record_; }

  private:
    std::shared_ptr<ProcessRecord> record_;
};

// The process's one thread: it ends with the process.
class ThreadObject : public platform::HandleObject, public platform::Waitable {
  public:
    explicit ThreadObject(std::shared_ptr<ProcessRecord> record) : record_(std::move(record)) {}
    const char* KindName() const override { return "Thread"; }
    DWORD Wait(DWORD milliseconds) override { return record_->Wait(milliseconds); }

  private:
    std::shared_ptr<ProcessRecord> record_;
};

// ---------------------------------------------------------------------------
// Finding the program

bool Blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// A module name without an extension gets ".exe", as the system adds it.
std::u16string WithExtension(std::u16string name) {
    size_t slash = name.find_last_of(u"\\/");
    size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    if (name.find(u'.', nameStart) == std::u16string::npos) name += u".exe";
    return name;
}

// Checks that a host file can be started; a Win32 error otherwise.
DWORD CheckProgram(const std::string& host) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0)
        return errno == ENOENT ? platform::files::MissingError(host)
                               : platform::files::ErrorFromErrno(errno, host);
    if (!S_ISREG(st.st_mode) || ::access(host.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// The host program for a command line without an application name: the
// quoted first word, or for an unquoted one each run of words up to a blank
// in turn ("C:\Program Files\x" tries "C:\Program.exe" first), the first that
// exists winning.
DWORD FindProgram(std::u16string_view commandLine, std::string* host) {
    size_t start = 0;
    while (start < commandLine.size() && Blank(commandLine[start]))
        ++start;
    std::u16string_view rest = commandLine.substr(start);
    if (rest.empty()) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> candidates;
    if (rest[0] == u'"') {
        size_t close = rest.find(u'"', 1);
        candidates.emplace_back(rest.substr(
            1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
    } else {
        for (size_t i = 0; i <= rest.size(); ++i)
            if (i == rest.size() || Blank(rest[i]))
                if (i > 0 && !Blank(rest[i - 1])) candidates.emplace_back(rest.substr(0, i));
    }
    DWORD firstError = ERROR_FILE_NOT_FOUND;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].empty()) return ERROR_INVALID_PARAMETER;
        std::string path = platform::HostPath(WithExtension(candidates[i]));
        DWORD e = CheckProgram(path);
        if (e == ERROR_SUCCESS) {
            *host = path;
            return ERROR_SUCCESS;
        }
        if (i == 0) firstError = e;
    }
    return firstError;
}

DWORD ErrorFromSpawn(int err) {
    switch (err) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOEXEC:
    case ELIBBAD:
        return ERROR_BAD_EXE_FORMAT;
    case ENOMEM:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    case E2BIG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

// What the start-up information says, read only as far as its cb reaches.
struct Startup {
    std::u16string desktop;
    DWORD flags = 0;
    WORD showWindow = 0;
};

Startup ReadStartup(const STARTUPINFOW* si) {
    Startup s;
    auto has = [si](size_t end) { return si->cb >= end; };
    if (has(offsetof(STARTUPINFOW, lpDesktop) + sizeof(LPWSTR)) && si->lpDesktop)
        s.desktop = si->lpDesktop;
    if (has(offsetof(STARTUPINFOW, dwFlags) + sizeof(DWORD))) s.flags = si->dwFlags;
    if (has(offsetof(STARTUPINFOW, wShowWindow) + sizeof(WORD))) s.showWindow = si->wShowWindow;
    return s;
}

struct Request {
    const TokenObject* token = nullptr; // CreateProcessAsUserW
    LPCWSTR applicationName = nullptr;
    LPCWSTR commandLine = nullptr;
    DWORD creationFlags = 0;
    LPVOID environment = nullptr;
    LPCWSTR currentDirectory = nullptr;
    const STARTUPINFOW* startupInfo = nullptr;
    LPPROCESS_INFORMATION processInformation = nullptr;
};

// The longest command line the system takes, in characters.
constexpr size_t kMaxCommandLine = 32767;

DWORD Start(const Request& r) {
    if (!r.processInformation || !r.startupInfo) return ERROR_INVALID_PARAMETER;
    if (!r.applicationName && !r.commandLine) return ERROR_INVALID_PARAMETER;
    // There is no other environment to give a child, and nothing here starts suspended or debugged.
    if (r.environment) return ERROR_NOT_SUPPORTED;
    if (r.creationFlags & (CREATE_SUSPENDED | DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS))
        return ERROR_NOT_SUPPORTED;

    std::u16string commandLine = r.commandLine ? std::u16string(r.commandLine) : std::u16string();
    if (commandLine.size() > kMaxCommandLine) return ERROR_FILENAME_EXCED_RANGE;
    std::u16string applicationName =
        r.applicationName ? std::u16string(r.applicationName) : std::u16string();

    std::string program;
    if (r.applicationName) {
        if (applicationName.empty()) return ERROR_PATH_NOT_FOUND;
        program = platform::HostPath(applicationName);
        if (DWORD e = CheckProgram(program)) return e;
    } else if (DWORD e = FindProgram(commandLine, &program)) {
        return e;
    }
    std::vector<std::u16string> arguments = r.commandLine
                                                ? platform::SplitCommandLine(commandLine)
                                                : std::vector<std::u16string>{applicationName};

    std::string directory;
    if (r.currentDirectory) {
        directory = platform::HostPath(r.currentDirectory);
        struct stat st;
        if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
    }

    // The host's argument and environment vectors; the child has this machine root.
    std::vector<std::string> argStrings;
    for (const auto& a : arguments)
        argStrings.push_back(platform::ToUtf8(a));
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string rootVariable = "PRINTHOST_ROOT=" + platform::shm::RootKey();
    // The child's GetCommandLineW: the line itself, blanks and quotes as given.
    std::string lineVariable = std::string(kCommandLineVariable) + "=" +
                               platform::ToUtf8(r.commandLine ? commandLine : applicationName);
    const size_t lineNameSize = std::strlen(kCommandLineVariable);
    std::vector<char*> envp;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "PRINTHOST_ROOT=", 15) != 0 &&
            !(std::strncmp(*e, kCommandLineVariable, lineNameSize) == 0 &&
              (*e)[lineNameSize] == '='))
            envp.push_back(*e);
    envp.push_back(rootVariable.data());
    envp.push_back(lineVariable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    // The child starts with no signal blocked and every handler at its default.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return ErrorFromSpawn(rc);

    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) ::fcntl(pidfd, F_SETFD, FD_CLOEXEC);
    auto record = std::make_shared<ProcessRecord>(pid, pidfd);
    HANDLE process = platform::InsertHandle(std::make_shared<ProcessObject>(record));
    HANDLE thread = platform::InsertHandle(std::make_shared<ThreadObject>(record));
    r.processInformation->hProcess = process;
    r.processInformation->hThread = thread;
    r.processInformation->dwProcessId = static_cast<DWORD>(pid);
    r.processInformation->dwThreadId =
        static_cast<DWORD>(pid); // a process's first thread has its id

    platform::test::ProcessLaunch launch;
    launch.processId = static_cast<DWORD>(pid);
    launch.hostProgram = program;
    launch.applicationName = applicationName;
    launch.commandLine = commandLine;
    launch.arguments = std::move(arguments);
    Startup startup = ReadStartup(r.startupInfo);
    launch.desktop = startup.desktop;
    launch.startupFlags = startup.flags;
    launch.showWindow = startup.showWindow;
    launch.creationFlags = r.creationFlags;
    launch.asUser = r.token != nullptr;
    if (r.token) {
        launch.userName = r.token->user();
        launch.sessionId = r.token->session();
    } else {
        launch.userName = platform::CurrentUserName();
        DWORD session = 0;
        ProcessIdToSessionId(GetCurrentProcessId(), &session);
        launch.sessionId = session;
    }
    RegisterReset();
    {
        std::lock_guard lock(State().lock);
        State().launches.push_back(std::move(launch));
        if (State().launches.size() > kMaxLaunches) State().launches.pop_front();
    }
    ReapOrphans();
    return ERROR_SUCCESS;
}

BOOL Finish(DWORD error) {
    if (error == ERROR_SUCCESS) return TRUE;
    SetLastError(error);
    return FALSE;
}

DWORD StartGuarded(const Request& r) {
    try {
        return Start(r);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

} // namespace

namespace platform {

std::vector<std::u16string> SplitCommandLine(std::u16string_view s) {
    std::vector<std::u16string> out;
    size_t i = 0, n = s.size();
    // The program name: quotes only group, and it ends at an unquoted blank.
    std::u16string program;
    bool quoted = false;
    while (i < n) {
        char16_t c = s[i];
        if (c == u'"') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (!quoted && Blank(c)) break;
        program += c;
        ++i;
    }
    out.push_back(std::move(program));
    quoted = false;
    for (;;) {
        while (i < n && Blank(s[i]))
            ++i;
        if (i >= n) break;
        std::u16string arg;
        for (;;) {
            size_t backslashes = 0;
            while (i < n && s[i] == u'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && s[i] == u'"') {
                arg.append(backslashes / 2, u'\\');
                if (backslashes % 2 == 1) {
                    arg += u'"';
                } else if (quoted && i + 1 < n && s[i + 1] == u'"') {
                    arg += u'"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
                continue;
            }
            arg.append(backslashes, u'\\');
            if (i >= n || (!quoted && Blank(s[i]))) break;
            arg += s[i];
            ++i;
        }
        out.push_back(std::move(arg));
    }
    return out;
}

} // namespace platform

namespace platform::test {

std::vector<ProcessLaunch> ProcessLaunches() {
    std::lock_guard lock(State().lock);
    return {State().launches.begin(), State().launches.end()};
}

void SetSessionUser(DWORD session, std::u16string_view userName) {
    RegisterReset();
    std::lock_guard lock(State().lock);
    State().users[session] = std::u16string(userName);
}

} // namespace platform::test

extern "C" {

LPWSTR WINAPI GetCommandLineW() {
    static std::u16string line = [] {
        // The host's argument vector, as the line of a process not started here.
        std::vector<std::u16string> arguments;
        std::string raw;
        if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                raw.append(buffer, n);
            std::fclose(f);
        }
        for (size_t at = 0; at < raw.size();) {
            size_t end = raw.find('\0', at);
            if (end == std::string::npos) end = raw.size();
            arguments.push_back(platform::FromUtf8(raw.substr(at, end - at)));
            at = end + 1;
        }
        // The line the creator gave, when it is the one these arguments came from
        // (a variable inherited past a process started otherwise is not).
        if (const char* given = std::getenv(kCommandLineVariable)) {
            std::u16string text = platform::FromUtf8(given);
            std::vector<std::u16string> split = platform::SplitCommandLine(text);
            if (split.size() == arguments.size() &&
                std::equal(split.begin() + (split.empty() ? 0 : 1), split.end(),
                           arguments.begin() + (arguments.empty() ? 0 : 1)))
                return text;
        }
        std::u16string joined;
        for (const auto& a : arguments) {
            if (!joined.empty()) joined += u' ';
            bool quote = a.empty() || a.find_first_of(u" \t") != std::u16string::npos;
            joined += quote ? u"\"" + a + u"\"" : a;
        }
        return joined;
    }();
    return line.data();
}

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    PLATFORM_FAULT_POINT("CreateProcessW", FALSE);
    // Handles are this process's own: a child opens what it needs by name.
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    (void)bInheritHandles;
    Request r;
    r.applicationName = lpApplicationName;
    r.commandLine = lpCommandLine;
    r.creationFlags = dwCreationFlags;
    r.environment = lpEnvironment;
    r.currentDirectory = lpCurrentDirectory;
    r.startupInfo = lpStartupInfo;
    r.processInformation = lpProcessInformation;
    return Finish(StartGuarded(r));
}

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    PLATFORM_FAULT_POINT("CreateProcessA", FALSE);
    try {
        using platform::files::Widen;
        std::u16string application =
            lpApplicationName ? Widen(lpApplicationName) : std::u16string();
        std::u16string commandLine = lpCommandLine ? Widen(lpCommandLine) : std::u16string();
        std::u16string directory =
            lpCurrentDirectory ? Widen(lpCurrentDirectory) : std::u16string();
        std::u16string desktop;
        STARTUPINFOW wide{};
        if (lpStartupInfo) {
            size_t cb = std::min<size_t>(lpStartupInfo->cb, sizeof(STARTUPINFOA));
            std::memcpy(&wide, lpStartupInfo, cb); // same layout; the strings are replaced below
            wide.lpReserved = nullptr;
            wide.lpTitle = nullptr;
            wide.lpDesktop = nullptr;
            if (cb >= offsetof(STARTUPINFOA, lpDesktop) + sizeof(LPSTR) &&
                lpStartupInfo->lpDesktop) {
                desktop = Widen(lpStartupInfo->lpDesktop);
                wide.lpDesktop = desktop.data();
            }
        }
        Request r;
        r.applicationName = lpApplicationName ? application.c_str() : nullptr;
        r.commandLine = lpCommandLine ? commandLine.c_str() : nullptr;
        r.creationFlags = dwCreationFlags;
        r.environment = lpEnvironment;
        r.currentDirectory = lpCurrentDirectory ? directory.c_str() : nullptr;
        r.startupInfo = lpStartupInfo ? &wide : nullptr;
        r.processInformation = lpProcessInformation;
        (void)lpProcessAttributes;
        (void)lpThreadAttributes;
        (void)bInheritHandles;
        return Finish(StartGuarded(r));
    } catch (const std::bad_alloc&) {
        return Finish(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                 LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation) {
    PLATFORM_FAULT_POINT("CreateProcessAsUserW", FALSE);
    auto token = platform::LookupHandleAs<TokenObject>(hToken);
    if (!token) return Finish(ERROR_INVALID_HANDLE);
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    (void)bInheritHandles;
    Request r;
    r.token = token.get();
    r.applicationName = lpApplicationName;
    r.commandLine = lpCommandLine;
    r.creationFlags = dwCreationFlags;
    r.environment = lpEnvironment;
    r.currentDirectory = lpCurrentDirectory;
    r.startupInfo = lpStartupInfo;
    r.processInformation = lpProcessInformation;
    return Finish(StartGuarded(r));
}

void WINAPI GetStartupInfoW(LPSTARTUPINFOW lpStartupInfo) {
    static char16_t desktop[] = u"Winsta0\\Default";
    if (!lpStartupInfo) return;
    std::memset(lpStartupInfo, 0, sizeof *lpStartupInfo);
    lpStartupInfo->cb = sizeof *lpStartupInfo;
    lpStartupInfo->lpDesktop = desktop;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    PLATFORM_FAULT_POINT("GetExitCodeProcess", FALSE);
    auto process = platform::LookupHandleAs<ProcessObject>(hProcess);
    if (!process) return Finish(ERROR_INVALID_HANDLE);
    if (!lpExitCode) return Finish(ERROR_INVALID_PARAMETER);
    *lpExitCode = process->record().ExitCode();
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    PLATFORM_FAULT_POINT("TerminateProcess", FALSE);
    auto process = platform::LookupHandleAs<ProcessObject>(hProcess);
    if (!process) return Finish(ERROR_INVALID_HANDLE);
    return Finish(process->record().Terminate(uExitCode));
}

BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
    PLATFORM_FAULT_POINT("WTSQueryUserToken", FALSE);
    if (!phToken) return Finish(ERROR_INVALID_PARAMETER);
    try {
        std::u16string user = SessionUser(SessionId);
        if (user.empty()) return Finish(ERROR_NO_TOKEN);
        *phToken =
            platform::InsertHandle(std::make_shared<TokenObject>(std::move(user), SessionId));
        return TRUE;
    } catch (const std::bad_alloc&) {
        return Finish(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         DWORD dwRevision) {
    if (!pSecurityDescriptor) return Finish(ERROR_INVALID_PARAMETER);
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) return Finish(ERROR_UNKNOWN_REVISION);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    std::memset(sd, 0, sizeof *sd);
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                      PACL pDacl, BOOL bDaclDefaulted) {
    if (!pSecurityDescriptor) return Finish(ERROR_INVALID_PARAMETER);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Finish(ERROR_UNKNOWN_REVISION);
    sd->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (bDaclPresent) {
        sd->Control |= SE_DACL_PRESENT;
        if (bDaclDefaulted) sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = pDacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}

} // extern "C"
