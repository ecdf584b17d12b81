// Ports and their monitors: the local ports, standard TCP/IP ports with their
// registry values, and the monitors' transceive call XcvData.
#include "platform/text.h"
#include "spooler_internal.h"
#include "win/registry.h"

namespace platform::spooler {
namespace {

constexpr char16_t kTcpMonitor[] = u"Standard TCP/IP Port";
constexpr char16_t kTcpPortsKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";

bool ValidPortName(const std::u16string& name) {
    if (name.empty() || name.size() > 127) return false;
    for (char16_t c : name)
        if (c == u'\\' || c == u',' || c < 0x20) return false;
    return true;
}

bool IsDottedAddress(const std::u16string& text) {
    int parts = 0, digits = 0, value = 0;
    for (char16_t c : text) {
        if (c == u'.') {
            if (digits == 0) return false;
            ++parts;
            digits = value = 0;
        } else if (c >= u'0' && c <= u'9') {
            value = value * 10 + (c - u'0');
            if (++digits > 3 || value > 255) return false;
        } else {
            return false;
        }
    }
    return digits > 0 && parts == 3;
}

LSTATUS SetString(HKEY key, const char16_t* name, const std::u16string& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

std::u16string ReadString(HKEY key, const char16_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    std::u16string value(size / sizeof(char16_t) + 1, u'\0');
    size = static_cast<DWORD>(value.size() * sizeof(char16_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    value.resize(size / sizeof(char16_t));
    while (!value.empty() && value.back() == u'\0')
        value.pop_back();
    return value;
}

// The address the TCP/IP monitor has for a port, from its registry values.
bool TcpPortAddress(const std::u16string& port, std::u16string* address) {
    HKEY key = nullptr;
    std::u16string path = std::u16string(kTcpPortsKey) + port;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    *address = ReadString(key, u"IPAddress");
    if (address->empty()) *address = ReadString(key, u"HostName");
    RegCloseKey(key);
    return !address->empty();
}

DWORD InsertPort(const PortRecord& port) {
    bool ok = MachineDb::Transaction([&] {
        Stmt s("INSERT INTO spl_ports(key, name, monitor, address) VALUES(?,?,?,?) "
               "ON CONFLICT(key) DO UPDATE SET name = excluded.name, monitor = excluded.monitor, "
               "address = excluded.address");
        s.Bind(1, FoldKey(port.name))
            .Bind(2, port.name)
            .Bind(3, port.monitor)
            .Bind(4, port.address);
        s.Run();
        return true;
    });
    return ok ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

DWORD XcvIpAddress(const SpoolHandle& h, PBYTE out, DWORD cbOut, PDWORD needed) {
    Stmt s("SELECT monitor FROM spl_ports WHERE key = ?");
    s.Bind(1, h.key);
    if (!s.Step()) return ERROR_INVALID_PRINTER_NAME;
    std::u16string address;
    if (!EqualsNoCase(s.Wide(0), kTcpMonitor) || !TcpPortAddress(h.name, &address))
        return ERROR_INVALID_PARAMETER;
    DWORD size = static_cast<DWORD>((address.size() + 1) * sizeof(char16_t));
    *needed = size;
    if (!out || cbOut < size) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, address.c_str(), size);
    return ERROR_SUCCESS;
}

} // namespace

DWORD AddPort(const PortRecord& port) {
    try {
        EnsureSchema();
        if (!ValidPortName(port.name) || port.monitor.empty()) return ERROR_INVALID_PARAMETER;
        if (EqualsNoCase(port.monitor, kTcpMonitor)) return AddTcpIpPort(port.name, port.address);
        return InsertPort(port);
    } catch (const std::exception&) {
        return RPC_S_SERVER_UNAVAILABLE;
    }
}

DWORD AddTcpIpPort(const std::u16string& name, const std::u16string& address) {
    try {
        EnsureSchema();
        if (!ValidPortName(name) || address.empty() || address.size() > 255)
            return ERROR_INVALID_PARAMETER;
        for (char16_t c : address)
            if (c <= 0x20 || c == u'\\' || c == u'/') return ERROR_INVALID_PARAMETER;
        // The monitor keeps the host as given and, for a dotted address, the
        // address again: readers on every Windows version find it.
        HKEY key = nullptr;
        std::u16string path = std::u16string(kTcpPortsKey) + name;
        LSTATUS rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
        if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
        rc = SetString(key, u"HostName", address);
        if (rc == ERROR_SUCCESS)
            rc = SetString(key, u"IPAddress", IsDottedAddress(address) ? address : u"");
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
        return InsertPort({name, kTcpMonitor, address});
    } catch (const std::exception&) {
        return RPC_S_SERVER_UNAVAILABLE;
    }
}

std::vector<PortRecord> Ports() {
    EnsureSchema();
    std::vector<PortRecord> out;
    Stmt s("SELECT name, monitor, address FROM spl_ports ORDER BY key");
    while (s.Step())
        out.push_back({s.Wide(0), s.Wide(1), s.Wide(2)});
    return out;
}

} // namespace platform::spooler

using namespace platform::spooler;

extern "C" BOOL WINAPI XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData,
                                DWORD cbInputData, PBYTE pOutputData, DWORD cbOutputData,
                                PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
    return GuardedBool("XcvDataW", hXcv, [&](test::Call& call) -> BOOL {
        call.name = WideFrom(pszDataName);
        call.bytes = cbOutputData;
        SPOOLER_FAULT_POINT("XcvDataW", FALSE);
        auto h = FindHandle(hXcv);
        if (!h) return FALSE;
        if (h->kind != SpoolHandle::Kind::XcvPort) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!pszDataName || !pcbOutputNeeded || !pdwStatus || (!pInputData && cbInputData)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *pcbOutputNeeded = 0;
        DWORD status = platform::EqualsNoCase(pszDataName, u"IPAddress")
                           ? XcvIpAddress(*h, pOutputData, cbOutputData, pcbOutputNeeded)
                           : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
        *pdwStatus = status;
        if (status != ERROR_SUCCESS) {
            SetLastError(status);
            return FALSE;
        }
        return TRUE;
    });
}
