// Statuslens: finds the status monitor of the outside device-management
// software for a device by its window titles and raises it, or starts the
// monitor program for the device's address. The registry values, the device
// list, the titles and the raise command are that software's contract.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devcomm/export_guard.h"
#include "devcomm/statuslens.h"
#include "win/base.h"
#include "win/environment.h"
#include "win/ini.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/strings.h"
#include "win/user.h"

namespace {

constexpr char kListKey[] = "SOFTWARE\\TOVA\\Velmora-ORX\\Network MFPList";
constexpr char kListValue[] = "IniFilePath";
constexpr char kListFile[] = "MfpList.ini";
constexpr char kListSection[] = "Devices";
constexpr DWORD kListSectionLimit = 30720;
constexpr char kProgramKey[] = "SOFTWARE\\WOW6432node\\TOVA\\Velmora-ORX\\Network MFPStatus";
constexpr char kProgramValue[] = "NexoviewPath";
// The registry values are read within 256 bytes, terminator included.
constexpr DWORD kRegistryTextLimit = 256;
constexpr char16_t kProgramTitle[] = u"NEXOVIEW";
// The monitor's titles in its three languages, tried in this order.
constexpr const char16_t* kTitles[] = {
    u"Status Monitor - ",
    u"\u30B9\u30C6\u30FC\u30BF\u30B9\u30E2\u30CB\u30BF\u30FC - ",
    u"Moniteur d'\u00E9tat - ",
};
constexpr int kRaisePosts = 10;
constexpr DWORD kRaiseWait = 500;
constexpr DWORD kRaiseRoundGap = 50;

// A string value of at most 255 characters; empty when missing or not text.
std::string RegistryText(const char* key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return {};
    char text[kRegistryTextLimit] = {};
    DWORD type = 0, size = sizeof text;
    LSTATUS status =
        RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    return std::string(text, strnlen(text, std::min<DWORD>(size, sizeof text)));
}

std::u16string Wide(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), n);
    return out;
}

// The device's display name in the monitor's device list: the key of the
// first entry whose third field is the address. Empty when not listed.
std::string DisplayName(const std::string& address) {
    std::string folder = RegistryText(kListKey, kListValue);
    if (folder.empty()) return {};
    std::string path = folder;
    if (path.back() != '\\') path += '\\';
    path += kListFile;
    // A folder that leaves no room for the file's name names no list.
    if (path.size() >= MAX_PATH) return {};
    std::vector<char> section(kListSectionLimit, '\0');
    const DWORD length = GetPrivateProfileSectionA(
        kListSection, section.data(), static_cast<DWORD>(section.size()), path.c_str());
    // Entries follow each other, each ended by a zero; a section cut short
    // by the buffer ends with its last whole character, never past `length`.
    const char* at = section.data();
    const char* const end = at + std::min<DWORD>(length, kListSectionLimit);
    while (at < end) {
        const char* entryEnd = std::find(at, end, '\0');
        const std::string entry(at, entryEnd);
        at = entryEnd + 1;
        const size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        // The third comma-separated field, up to the next comma or the entry's end.
        size_t field = equals + 1;
        bool enough = true;
        for (int skip = 0; skip < 2 && enough; ++skip) {
            const size_t comma = entry.find(',', field);
            if (comma == std::string::npos)
                enough = false;
            else
                field = comma + 1;
        }
        if (!enough) continue;
        const size_t fieldEnd = entry.find(',', field);
        if (entry.compare(field,
                          fieldEnd == std::string::npos ? std::string::npos : fieldEnd - field,
                          address) == 0)
            return entry.substr(0, equals);
    }
    return {};
}

// Raises a found monitor: the raise command until it is no longer minimized,
// then the top of the z-order where it stands.
int Raise(HWND window) {
    for (int posts = 0; posts < kRaisePosts; ++posts) {
        if (posts > 0) Sleep(kRaiseRoundGap);
        if (!PostMessageW(window, WM_COMMAND, kMonitorRaiseCommand, 0)) break;
        Sleep(kRaiseWait);
        if (!IsIconic(window)) break;
    }
    return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE) ? kMonitorRaised
                                                                               : kMonitorNotRaised;
}

// Host names and IPv4 or IPv6 addresses: what the monitor's argument may hold.
bool IsAddressText(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '.' || c == '-' || c == '_' || c == ':';
    });
}

// Starts the monitor program, named on its own and quoted on its command
// line, so that a path with blanks starts that file and nothing else.
int StartMonitor(const std::string& address) {
    const std::u16string program = Wide(RegistryText(kProgramKey, kProgramValue));
    if (program.empty()) return kMonitorNotInstalled;
    if (program.find(u'"') != std::u16string::npos) return kMonitorNotStarted;
    std::u16string commandLine = u"\"" + program + u"\"";
    if (IsAddressText(address)) commandLine += u" " + Wide(address);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started))
        return kMonitorNotStarted;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return kMonitorStarting;
}

int CallMonitor(const StatusMonitorRequest* request) {
    if (!request) return kMonitorFailed;
    const std::string address(request->address,
                              strnlen(request->address, kStatusMonitorAddressLimit));
    std::string name = DisplayName(address);
    if (name.empty()) name = address;
    const std::u16string shown = Wide(name);
    for (const char16_t* title : kTitles)
        if (HWND window = FindWindowW(nullptr, (title + shown).c_str())) return Raise(window);
    if (FindWindowW(nullptr, kProgramTitle)) return kMonitorStarting;
    return StartMonitor(address);
}

} // namespace

DLLEXPORT int WINAPI CallStatusmonitor(StatusMonitorRequest* request) {
    return devcomm::Guard<int>(kMonitorFailed, [&] { return CallMonitor(request); });
}
