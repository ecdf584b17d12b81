// The shell's "open" of a document, a link or a mail address. Nothing is ever
// started on the host: every call is logged for tests to read, and answered
// as the shell would answer it.
#include <cctype>
#include <mutex>
#include <new>
#include <optional>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/files.h"

namespace platform::user {
namespace {

// Above 32 means done.
constexpr ULONG_PTR kStarted = 42;

struct ShellLog {
    std::mutex lock;
    std::vector<test::ShellExecuteCall> calls;
};

ShellLog& L() {
    static ShellLog* l = new ShellLog;
    return *l;
}

void ResetShellLog() {
    std::lock_guard lock(L().lock);
    L().calls.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetShellLog), true);
    (void)registered;
}

// "mailto:", "http:", "https:"... : a scheme of at least two letters before
// the colon, so that "C:\x" stays a path.
bool IsUrl(const std::u16string& file) {
    size_t colon = file.find(u':');
    if (colon == std::u16string::npos || colon < 2) return false;
    for (size_t i = 0; i < colon; ++i) {
        char16_t c = file[i];
        bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) return false;
    }
    return true;
}

std::string Narrow(const std::u16string* s) {
    return s ? platform::ToUtf8(*s) : std::string("(null)");
}

HINSTANCE Execute(HWND owner, const std::u16string* operation, const std::u16string* file,
                  const std::u16string* parameters, const std::u16string* directory, int show,
                  bool ansi) {
    EnsureReset();
    test::ShellExecuteCall call{owner,
                                operation ? *operation : u"",
                                file ? *file : u"",
                                parameters ? *parameters : u"",
                                directory ? *directory : u"",
                                show,
                                ansi};
    {
        std::lock_guard lock(L().lock);
        L().calls.push_back(call);
    }
    LogSeamCall(std::string(ansi ? "ShellExecuteA " : "ShellExecuteW ") + Narrow(operation) + " " +
                Narrow(file) + " " + Narrow(parameters));
    ULONG_PTR answer = kStarted;
    if (call.file.empty()) {
        answer = SE_ERR_FNF;
    } else if (!IsUrl(call.file)) {
        // A document must exist (a relative name is taken in the given folder).
        std::u16string path = call.file;
        bool relative = !(path.size() > 2 && path[1] == u':') && !(path.rfind(u"\\\\", 0) == 0);
        if (relative && !call.directory.empty()) {
            path = call.directory;
            if (path.back() != u'\\') path += u'\\';
            path += call.file;
        }
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) answer = SE_ERR_FNF;
    }
    return reinterpret_cast<HINSTANCE>(answer);
}

std::optional<std::u16string> Wide(LPCSTR s) {
    if (!s) return std::nullopt;
    return platform::AnsiToWide(s);
}

std::optional<std::u16string> Wide(LPCWSTR s) {
    if (!s) return std::nullopt;
    return std::u16string(s);
}

const std::u16string* Ptr(const std::optional<std::u16string>& s) {
    return s ? &*s : nullptr;
}

} // namespace
} // namespace platform::user

namespace platform::user::test {

std::vector<ShellExecuteCall> ShellExecuteLog() {
    std::lock_guard lock(L().lock);
    return L().calls;
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                               LPCWSTR lpDirectory, INT nShowCmd) {
    try {
        auto op = Wide(lpOperation), file = Wide(lpFile), params = Wide(lpParameters),
             dir = Wide(lpDirectory);
        return Execute(hwnd, Ptr(op), Ptr(file), Ptr(params), Ptr(dir), nShowCmd, false);
    } catch (const std::bad_alloc&) {
        return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0)); // out of memory
    }
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd) {
    try {
        auto op = Wide(lpOperation), file = Wide(lpFile), params = Wide(lpParameters),
             dir = Wide(lpDirectory);
        return Execute(hwnd, Ptr(op), Ptr(file), Ptr(params), Ptr(dir), nShowCmd, true);
    } catch (const std::bad_alloc&) {
        return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0));
    }
}

} // extern "C"
