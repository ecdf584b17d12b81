// The port-information record and the port address lookups.
#include "devcomm/port_info.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "win/base.h"
#include "win/spool.h"
#include "win/winsock.h"

namespace devcomm {

namespace {

constexpr const char16_t* kMonitorsKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
// Monitor keys nest a few levels (monitor, "Ports", port); deeper trees are not searched.
constexpr int kMaxKeyDepth = 16;

std::u16string Widen(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

bool Narrow(const std::u16string& text, std::size_t maxBytes, std::string* out) {
    char buffer[MAX_PATH];
    if (maxBytes > sizeof buffer) maxBytes = sizeof buffer;
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, static_cast<int>(maxBytes),
                                nullptr, nullptr);
    if (n <= 0) return false;
    out->assign(buffer);
    return true;
}

// Depth first, in index order: a subkey named exactly as the port (case
// counts) is the port's key; otherwise its own subkeys come before the next
// sibling.
HKEY FindPortKey(HKEY parent, const std::u16string& port, int depth) {
    if (depth > kMaxKeyDepth) return nullptr;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        LSTATUS rc =
            RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue; // longer than any port name can be
        if (rc != ERROR_SUCCESS) return nullptr;
        HKEY child = nullptr;
        if (RegOpenKeyExW(parent, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        if (std::u16string(name, length) == port) return child;
        HKEY found = FindPortKey(child, port, depth + 1);
        RegCloseKey(child);
        if (found) return found;
    }
}

// A string value as ANSI text; empty when missing, empty or not a string.
std::string ReadString(HKEY key, const char* valueName) {
    std::u16string wideName = Widen(valueName);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(WCHAR)) return {};
    std::vector<WCHAR> data(size / sizeof(WCHAR) + 1, u'\0');
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return {};
    std::u16string text(data.data()); // up to the first NUL, whether stored or not
    std::string out;
    if (!Narrow(text, MAX_PATH, &out)) return {};
    return out;
}

} // namespace

int WindowsVersionClass() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return 16;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && info.dwMajorVersion == 4) return 1;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (info.dwMajorVersion == 4) return 2;
        if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) return 4;
        if (info.dwMajorVersion == 5 && (info.dwMinorVersion == 1 || info.dwMinorVersion == 2))
            return 8;
    }
    return 16;
}

PortValueNames PortValueNamesFor(int windowsClass) {
    switch (windowsClass) {
    case 1:
        return {"HostName", "Host", nullptr};
    case 2:
        return {"Server Name", "HostName", nullptr};
    case 4:
    case 8:
        return {"IPAddress", "HostName", "Server Name"};
    default:
        return {"HostName", "HostName", "Server Name"};
    }
}

bool IsDottedAddress(const char* text) {
    if (!text) return false;
    std::size_t n = std::strlen(text);
    if (n < 7 || n > 15) return false;
    int parts = 0;
    const char* p = text;
    while (true) {
        int digits = 0;
        unsigned value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            ++digits;
            ++p;
        }
        if (digits == 0 || value > 255) return false;
        ++parts;
        if (*p == '\0') break;
        if (*p != '.' || parts == 4) return false;
        ++p;
    }
    return parts == 4;
}

bool ResolveToDotted(const char* hostName, std::string* dotted) {
    if (!hostName || !*hostName) return false;
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    bool ok = false;
    hostent* h = gethostbyname(hostName);
    if (h && h->h_length == 4 && h->h_addr_list && h->h_addr_list[0]) {
        const auto* b = reinterpret_cast<const unsigned char*>(h->h_addr_list[0]);
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
        dotted->assign(text);
        ok = true;
    }
    WSACleanup();
    return ok;
}

bool LookupPortAddress(const char* portName, const PortValueNames& names, std::string* address) {
    if (!portName || !*portName) return false;
    std::u16string port = Widen(portName);
    if (port.empty()) return false;
    HKEY monitors = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, KEY_READ, &monitors) != ERROR_SUCCESS)
        return false;
    HKEY key = FindPortKey(monitors, port, 0);
    RegCloseKey(monitors);
    if (!key) return false;
    std::string value = ReadString(key, names.first);
    if (value.empty()) value = ReadString(key, names.second);
    if (value.empty() && names.third) value = ReadString(key, names.third);
    RegCloseKey(key);
    if (value.empty()) return false;
    if (IsDottedAddress(value.c_str())) {
        *address = value;
        return true;
    }
    return ResolveToDotted(value.c_str(), address);
}

bool QueryXcvAddress(const std::u16string& serverName, const std::u16string& portName,
                     std::u16string* answer) {
    std::u16string printer =
        serverName.empty() ? u",XcvPort " + portName : serverName + u"\\,XcvPort " + portName;
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(printer.data(), &xcv, nullptr)) return false;
    bool ok = false;
    using XcvDataFn = decltype(&XcvDataW);
    if (HMODULE spooler = LoadLibraryW(u"winspool.drv")) {
        if (auto xcvData = reinterpret_cast<XcvDataFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(spooler, "XcvDataW")))) {
            WCHAR buffer[260] = {};
            DWORD needed = 0, status = 0;
            ok = xcvData(xcv, u"IPAddress", nullptr, 0, reinterpret_cast<BYTE*>(buffer),
                         sizeof buffer, &needed, &status) != FALSE;
            buffer[259] = u'\0';
            if (ok) answer->assign(buffer);
        }
        FreeLibrary(spooler);
    }
    ClosePrinter(xcv);
    return ok;
}

SelPortInfo* MakeSelPortInfo(const char* portName, int kind, bool acceptUsb) {
    std::size_t size;
    if (kind == 0 || kind == SELPORT_KIND_FULL)
        size = SELPORT_FULL_SIZE;
    else if (kind == SELPORT_KIND_SHORT)
        size = SELPORT_SHORT_SIZE;
    else
        return nullptr;
    // The record holds the name with its terminator in 128 bytes.
    if (!portName || std::strlen(portName) >= sizeof(SelPortInfo::portName)) return nullptr;
    auto* info = static_cast<SelPortInfo*>(GlobalAlloc(GPTR, size));
    if (!info) return nullptr;
    info->kind = size == SELPORT_FULL_SIZE ? SELPORT_KIND_FULL : SELPORT_KIND_SHORT;
    std::strcpy(info->portName, portName);
    auto found = [&](const std::string& address) {
        info->connection = SELPORT_CONNECTION_NETWORK;
        if (info->kind == SELPORT_KIND_FULL) {
            std::strncpy(info->address, address.c_str(), sizeof info->address - 1);
            info->address[sizeof info->address - 1] = '\0';
        }
        return info;
    };

    const int windowsClass = WindowsVersionClass();
    if (windowsClass != 1 && windowsClass != 2 && portName[0] == '\\' && portName[1] == '\\') {
        WCHAR wide[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, portName, -1, wide, MAX_PATH) == 0) {
            GlobalFree(info);
            return nullptr;
        }
        std::u16string name(wide);
        std::size_t slash = name.rfind(u'\\');
        std::u16string answer;
        std::string address;
        // An empty answer names no device; the monitors' keys may still know it.
        if (QueryXcvAddress(name.substr(0, slash), name.substr(slash + 1), &answer) &&
            !answer.empty() && Narrow(answer, MAX_PATH, &address))
            return found(address);
    }
    std::string address;
    if (LookupPortAddress(portName, PortValueNamesFor(windowsClass), &address))
        return found(address);
    if (acceptUsb && std::strlen(portName) >= 4 && std::strncmp(portName, "USB", 3) == 0) {
        info->connection = SELPORT_CONNECTION_USB;
        return info;
    }
    GlobalFree(info);
    return nullptr;
}

} // namespace devcomm
