// The run-once part of a logon: each value is deleted before its program
// starts, as the system does, so that a program that fails or never ends
// is not started again at every logon.
#include "platform/logon.h"

#include <algorithm>

#include "win/files.h"
#include "win/process.h"
#include "win/registry.h"

namespace platform {
namespace {

constexpr char16_t kRunOnceKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr DWORD kNameChars = 16384; // the longest value name the registry holds
constexpr DWORD kNotStarted = 0xFFFFFFFF;

DWORD RunAndWait(std::u16string commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return kNotStarted;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = kNotStarted;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace

std::vector<LogonCommand> RunLogon() {
    std::vector<LogonCommand> ran;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKey, 0, KEY_READ | KEY_WRITE, &key) !=
        ERROR_SUCCESS)
        return ran;
    // The values as they stand at the logon; each is taken off before it runs.
    std::vector<LogonCommand> commands;
    for (DWORD i = 0;; ++i) {
        std::u16string name(kNameChars, u'\0');
        DWORD nameChars = kNameChars, type = 0, bytes = 0;
        if (RegEnumValueW(key, i, name.data(), &nameChars, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS)
            break;
        name.resize(nameChars);
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::u16string text(bytes / sizeof(char16_t) + 1, u'\0');
        DWORD size = static_cast<DWORD>(text.size() * sizeof(char16_t));
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
            continue;
        text.resize(std::min<size_t>(text.size(), size / sizeof(char16_t)));
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        commands.push_back({name, text, kNotStarted});
    }
    for (LogonCommand& c : commands) {
        if (RegDeleteValueW(key, c.name.c_str()) != ERROR_SUCCESS) continue;
        if (!c.commandLine.empty()) c.exitCode = RunAndWait(c.commandLine);
        ran.push_back(c);
    }
    RegCloseKey(key);
    return ran;
}

} // namespace platform
