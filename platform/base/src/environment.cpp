// Version, computer and user names, process and session ids, and the
// process's Windows environment variables.
#include "win/environment.h"

#include <pwd.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/facts.h"
#include "platform/text.h"
#include "win/errors.h"

namespace {

struct Facts {
    platform::OsVersion version;
    std::optional<std::u16string> computerName;
    std::optional<std::u16string> userName;
    DWORD sessionId = 1;
    DWORD consoleSessionId = 1;
};

std::mutex gMutex;
Facts gFacts;

struct NoCaseLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            char16_t x = platform::FoldCase(a[i]), y = platform::FoldCase(b[i]);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};
// Variables set by SetEnvironmentVariableW; nullopt marks one deleted.
std::map<std::u16string, std::optional<std::u16string>, NoCaseLess> gVariables;

void ResetFacts() {
    std::lock_guard lock(gMutex);
    gFacts = Facts{};
    gVariables.clear();
}

// Test controls take effect until the next ResetForTests.
void Changing() {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResetHook(&ResetFacts); });
}

std::u16string HostComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0]) return u"PRINTHOST";
    std::u16string name;
    for (const char* p = host; *p && *p != '.' && name.size() < MAX_COMPUTERNAME_LENGTH; ++p) {
        char c = *p;
        name += static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return name;
}

std::u16string HostUserName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name && *pw->pw_name)
        return platform::FromUtf8(pw->pw_name);
    if (const char* user = std::getenv("USER"); user && *user) return platform::FromUtf8(user);
    return u"User";
}

template <class Char>
void CopyText(Char* out, size_t capacity, const std::basic_string<Char>& text) {
    size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n * sizeof(Char));
    out[n] = 0;
}

template <class Info> BOOL FillVersion(Info* info, size_t plainSize, size_t exSize) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    if (size != plainSize && size != exSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    platform::OsVersion v = platform::CurrentOsVersion();
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if constexpr (sizeof(info->szCSDVersion[0]) == 1) {
        CopyText(info->szCSDVersion, 128, platform::WideToAnsi(v.servicePack));
    } else {
        CopyText(info->szCSDVersion, 128, v.servicePack);
    }
    return TRUE;
}

template <class Ex> void FillVersionEx(Ex* ex) {
    platform::OsVersion v = platform::CurrentOsVersion();
    ex->wServicePackMajor = v.servicePackMajor;
    ex->wServicePackMinor = v.servicePackMinor;
    ex->wSuiteMask = v.suiteMask;
    ex->wProductType = v.productType;
    ex->wReserved = 0;
}

// The name protocols of GetComputerName (in and out without the NUL, short
// buffer: ERROR_BUFFER_OVERFLOW) and GetUserName (with the NUL both ways,
// short buffer: ERROR_INSUFFICIENT_BUFFER).
template <class Char>
BOOL GiveName(const std::basic_string<Char>& name, Char* buffer, LPDWORD size, DWORD shortError,
              bool countNul) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto needed = static_cast<DWORD>(name.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(shortError);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), needed * sizeof(Char));
    *size = countNul ? needed : needed - 1;
    return TRUE;
}

std::u16string_view View(const char16_t* s) {
    return s ? std::u16string_view(s, platform::WideLength(s)) : std::u16string_view();
}

std::optional<std::u16string> DerivedVariable(const std::u16string& name) {
    std::u16string user = platform::CurrentUserName();
    std::u16string profile = u"C:\\Users\\" + user;
    static const struct {
        const char16_t* name;
        int kind;
    } kDerived[] = {
        {u"SystemDrive", 0},  {u"HOMEDRIVE", 0},    {u"SystemRoot", 1},
        {u"windir", 1},       {u"USERNAME", 2},     {u"COMPUTERNAME", 3},
        {u"USERPROFILE", 4},  {u"HOMEPATH", 5},     {u"APPDATA", 6},
        {u"LOCALAPPDATA", 7}, {u"TEMP", 8},         {u"TMP", 8},
        {u"ProgramFiles", 9}, {u"ProgramData", 10}, {u"ALLUSERSPROFILE", 10},
        {u"PUBLIC", 11},      {u"OS", 12},
    };
    for (const auto& d : kDerived) {
        if (!platform::EqualsNoCase(d.name, name)) continue;
        switch (d.kind) {
        case 0:
            return u"C:";
        case 1:
            return u"C:\\Windows";
        case 2:
            return user;
        case 3:
            return platform::CurrentComputerName();
        case 4:
            return profile;
        case 5:
            return u"\\Users\\" + user;
        case 6:
            return profile + u"\\AppData\\Roaming";
        case 7:
            return profile + u"\\AppData\\Local";
        case 8:
            return profile + u"\\AppData\\Local\\Temp";
        case 9:
            return u"C:\\Program Files";
        case 10:
            return u"C:\\ProgramData";
        case 11:
            return u"C:\\Users\\Public";
        default:
            return u"Windows_NT";
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> Variable(const std::u16string& name) {
    {
        std::lock_guard lock(gMutex);
        auto it = gVariables.find(name);
        if (it != gVariables.end()) return it->second;
    }
    return DerivedVariable(name);
}

} // namespace

namespace platform {

OsVersion CurrentOsVersion() {
    std::lock_guard lock(gMutex);
    return gFacts.version;
}

std::u16string CurrentUserName() {
    {
        std::lock_guard lock(gMutex);
        if (gFacts.userName) return *gFacts.userName;
    }
    static const std::u16string host = HostUserName();
    return host;
}

std::u16string CurrentComputerName() {
    {
        std::lock_guard lock(gMutex);
        if (gFacts.computerName) return *gFacts.computerName;
    }
    static const std::u16string host = HostComputerName();
    return host;
}

} // namespace platform

namespace platform::test {

void SetOsVersion(const OsVersion& version) {
    Changing();
    std::lock_guard lock(gMutex);
    gFacts.version = version;
}

void SetOsVersion(DWORD major, DWORD minor, DWORD build) {
    if (build == 0) {
        static const struct {
            DWORD major, minor, build;
        } kBuilds[] = {{5, 0, 2195}, {5, 1, 2600}, {5, 2, 3790}, {6, 0, 6002},
                       {6, 1, 7601}, {6, 2, 9200}, {6, 3, 9600}, {10, 0, 19045}};
        for (const auto& b : kBuilds)
            if (b.major == major && b.minor == minor) build = b.build;
    }
    OsVersion v;
    v.major = major;
    v.minor = minor;
    v.build = build;
    SetOsVersion(v);
}

void SetComputerName(std::u16string_view name) {
    Changing();
    std::lock_guard lock(gMutex);
    gFacts.computerName = std::u16string(name);
}

void SetUserName(std::u16string_view name) {
    Changing();
    std::lock_guard lock(gMutex);
    gFacts.userName = std::u16string(name);
}

void SetSessionId(DWORD session) {
    Changing();
    std::lock_guard lock(gMutex);
    gFacts.sessionId = session;
}

void SetConsoleSessionId(DWORD session) {
    Changing();
    std::lock_guard lock(gMutex);
    gFacts.consoleSessionId = session;
}

} // namespace platform::test

extern "C" {

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    PLATFORM_FAULT_POINT("GetVersionExW", FALSE);
    if (!FillVersion(lpVersionInformation, sizeof(OSVERSIONINFOW), sizeof(OSVERSIONINFOEXW)))
        return FALSE;
    if (lpVersionInformation->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW))
        FillVersionEx(reinterpret_cast<LPOSVERSIONINFOEXW>(lpVersionInformation));
    return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    PLATFORM_FAULT_POINT("GetVersionExA", FALSE);
    if (!FillVersion(lpVersionInformation, sizeof(OSVERSIONINFOA), sizeof(OSVERSIONINFOEXA)))
        return FALSE;
    if (lpVersionInformation->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA))
        FillVersionEx(reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation));
    return TRUE;
}

DWORD WINAPI GetVersion(void) {
    platform::OsVersion v = platform::CurrentOsVersion();
    DWORD build = v.build & 0x7FFF;
    if (v.platformId != VER_PLATFORM_WIN32_NT) build |= 0x8000;
    return (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | (build << 16);
}

BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
    PLATFORM_FAULT_POINT("GetComputerNameW", FALSE);
    return GiveName(platform::CurrentComputerName(), lpBuffer, nSize, ERROR_BUFFER_OVERFLOW, false);
}

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    PLATFORM_FAULT_POINT("GetComputerNameA", FALSE);
    return GiveName(platform::WideToAnsi(platform::CurrentComputerName()), lpBuffer, nSize,
                    ERROR_BUFFER_OVERFLOW, false);
}

BOOL WINAPI GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
    PLATFORM_FAULT_POINT("GetUserNameW", FALSE);
    return GiveName(platform::CurrentUserName(), lpBuffer, pcbBuffer, ERROR_INSUFFICIENT_BUFFER,
                    true);
}

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
    PLATFORM_FAULT_POINT("GetUserNameA", FALSE);
    return GiveName(platform::WideToAnsi(platform::CurrentUserName()), lpBuffer, pcbBuffer,
                    ERROR_INSUFFICIENT_BUFFER, true);
}

DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
    PLATFORM_FAULT_POINT("ProcessIdToSessionId", FALSE);
    if (!pSessionId) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool alive = dwProcessId == GetCurrentProcessId() ||
                 (dwProcessId != 0 && dwProcessId <= 0x7FFFFFFF &&
                  (kill(static_cast<pid_t>(dwProcessId), 0) == 0 || errno == EPERM));
    if (!alive) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(gMutex);
    *pSessionId = gFacts.sessionId;
    return TRUE;
}

DWORD WINAPI WTSGetActiveConsoleSessionId(void) {
    std::lock_guard lock(gMutex);
    return gFacts.consoleSessionId;
}

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    PLATFORM_FAULT_POINT("GetEnvironmentVariableW", 0);
    if (!lpName || !*lpName) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    try {
        std::optional<std::u16string> value = Variable(std::u16string(View(lpName)));
        if (!value) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return 0;
        }
        auto needed = static_cast<DWORD>(value->size() + 1);
        if (!lpBuffer || nSize < needed) return needed;
        std::memcpy(lpBuffer, value->c_str(), needed * sizeof(char16_t));
        if (value->empty()) SetLastError(ERROR_SUCCESS);
        return needed - 1;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
    PLATFORM_FAULT_POINT("SetEnvironmentVariableW", FALSE);
    std::u16string_view name = View(lpName);
    if (name.empty() || name.find(u'=') != std::u16string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        Changing();
        std::lock_guard lock(gMutex);
        if (lpValue)
            gVariables[std::u16string(name)] = std::u16string(View(lpValue));
        else
            gVariables[std::u16string(name)] = std::nullopt;
        return TRUE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
    PLATFORM_FAULT_POINT("ExpandEnvironmentStringsW", 0);
    if (!lpSrc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::u16string_view src = View(lpSrc);
        std::u16string out;
        while (!src.empty()) {
            size_t open = src.find(u'%');
            out += src.substr(0, open);
            if (open == std::u16string_view::npos) break;
            src.remove_prefix(open);
            size_t close = src.find(u'%', 1);
            if (close == std::u16string_view::npos) { // no closing sign: kept as written
                out += src;
                break;
            }
            std::optional<std::u16string> value;
            if (close > 1) value = Variable(std::u16string(src.substr(1, close - 1)));
            out += value ? std::u16string_view(*value) : src.substr(0, close + 1);
            src.remove_prefix(close + 1);
        }
        auto needed = static_cast<DWORD>(out.size() + 1);
        if (lpDst && nSize >= needed) std::memcpy(lpDst, out.c_str(), needed * sizeof(char16_t));
        return needed;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

} // extern "C"
