// libFuzzer harness over the port-information record and the monitor's
// "IPAddress" answer through XcvDataW: a port's monitor key holds address
// values of any bytes (strings without terminators, other types, names too
// long), or the spooler's port record holds an address of any text, and the
// record is made for a port name taken from the input. The record stays
// within its size, its texts terminated.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devcomm/port_info.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "platform/testctl.h"
#include "win/base.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/port-info-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    setenv("PRINTHOST_ROOT", dir, 1);
    platform::test::ResetForTests(); // the resolver answers from its table only
    platform::test::SetHostAddresses("printer1", {"10.0.0.7"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // [kind][value type][port name up to NUL][value bytes]
    int kind = data[0] % 4;
    DWORD type = (data[1] & 1) ? REG_SZ : (data[1] & 2) ? REG_EXPAND_SZ : REG_BINARY;
    const char* start = reinterpret_cast<const char*>(data + 2);
    std::size_t rest = size - 2;
    std::size_t nameLength = strnlen(start, rest);
    std::string port(start, nameLength);
    std::size_t valueAt = nameLength < rest ? nameLength + 1 : rest;
    const BYTE* value = reinterpret_cast<const BYTE*>(start + valueAt);
    DWORD valueSize = static_cast<DWORD>(rest - valueAt);

    if (data[1] & 8) {
        // The address as the spooler keeps it: XcvDataW answers it.
        std::string address(reinterpret_cast<const char*>(value), valueSize);
        // A port name "\\\\server\\port" is asked of that server's monitor.
        std::size_t slash = port.rfind('\\');
        std::string spoolerPort = slash == std::string::npos ? port : port.substr(slash + 1);
        platform::spooler::AddTcpIpPort(platform::FromUtf8(spoolerPort),
                                        platform::FromUtf8(address));
    }
    const char* keyName = port.empty() ? "P" : port.c_str();
    std::string path =
        std::string(
            "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\") +
        keyName;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        for (const char* name : {"HostName", "IPAddress", "Address"})
            RegSetValueExA(key, name, 0, type, value, valueSize);
        RegCloseKey(key);
    }
    SelPortInfo* info = devcomm::MakeSelPortInfo(port.c_str(), kind, (data[1] & 4) != 0);
    if (info) {
        if (strnlen(info->portName, sizeof info->portName) == sizeof info->portName)
            __builtin_trap();
        if (info->kind == SELPORT_KIND_FULL &&
            strnlen(info->address, sizeof info->address) == sizeof info->address)
            __builtin_trap();
        GlobalFree(info);
    }
    (void)devcomm::IsDottedAddress(port.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    return 0;
}
