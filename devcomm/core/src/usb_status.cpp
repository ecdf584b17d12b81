// The USB status read: from a port name to the printer's device path, then
// the device-ID request on it.
#include "devcomm/usb_status.h"

#include <cstring>
#include <string>
#include <vector>

#include "win/base.h"
#include "win/setupapi.h"
#include "win/usbprint.h"

namespace devcomm {

namespace {

// The USB port monitor installed with the device's own software keeps each
// port's device path here.
constexpr const char* kUsbvqKey = "SOFTWARE\\Velmora\\USBVQ";
constexpr std::size_t kMaxDevicePath = 259;

bool UsbvqDevicePath(const char* portName, std::string* path) {
    HKEY monitor = nullptr, port = nullptr;
    // Read access is all this needs; full access would fail for ordinary users.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbvqKey, 0, KEY_READ, &monitor) != ERROR_SUCCESS)
        return false;
    LSTATUS rc = RegOpenKeyExA(monitor, portName, 0, KEY_READ, &port);
    RegCloseKey(monitor);
    if (rc != ERROR_SUCCESS) return false;
    char link[256] = {};
    DWORD type = 0, size = sizeof link;
    rc = RegQueryValueExA(port, "SymbolicLink", nullptr, &type, reinterpret_cast<BYTE*>(link),
                          &size);
    RegCloseKey(port);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    std::size_t length = strnlen(link, size < sizeof link ? size : sizeof link);
    if (length == 0 || length == sizeof link) return false; // empty, or no room for its end
    *path = "\\\\.\\" + std::string(link, length);
    return true;
}

// The number behind "USB" (USB001 is 1); false when there is none.
bool PortNumber(const char* portName, DWORD* number) {
    const char* p = portName + 3;
    DWORD value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (value > (0xFFFFFFFFu - 9) / 10) return false;
        value = value * 10 + DWORD(*p - '0');
    }
    *number = value;
    return digits > 0;
}

template <class Fn> Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool InterfacePortNumber(HKEY key, DWORD* number) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, "Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return false;
    *number = value;
    return true;
}

// Searches the USB printer interfaces for the port's number.
bool InterfaceDevicePath(DWORD portNumber, std::string* path) {
    HMODULE setupapi = LoadLibraryW(u"setupapi.dll");
    if (!setupapi) return false;
    auto getClassDevs = Bind<PFN_SetupDiGetClassDevsA>(setupapi, "SetupDiGetClassDevsA");
    auto enumInterfaces =
        Bind<PFN_SetupDiEnumDeviceInterfaces>(setupapi, "SetupDiEnumDeviceInterfaces");
    auto getDetail =
        Bind<PFN_SetupDiGetDeviceInterfaceDetailA>(setupapi, "SetupDiGetDeviceInterfaceDetailA");
    auto openKey =
        Bind<PFN_SetupDiOpenDeviceInterfaceRegKey>(setupapi, "SetupDiOpenDeviceInterfaceRegKey");
    auto destroy = Bind<PFN_SetupDiDestroyDeviceInfoList>(setupapi, "SetupDiDestroyDeviceInfoList");
    bool found = false;
    HDEVINFO set = INVALID_HANDLE_VALUE;
    if (getClassDevs && enumInterfaces && getDetail && openKey && destroy)
        set = getClassDevs(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) {
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!enumInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &data)) break;
            if (!(data.Flags & SPINT_ACTIVE)) continue;
            HKEY key = openKey(set, &data, 0, KEY_READ);
            if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) continue;
            DWORD number = 0;
            bool matches = InterfacePortNumber(key, &number) && number == portNumber;
            RegCloseKey(key);
            if (!matches) continue;
            // Room for the fixed part and the longest path a name may have.
            union {
                SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
                char bytes[offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                           kMaxDevicePath + 1];
            } buffer{};
            buffer.detail.cbSize = sizeof buffer.detail;
            if (!getDetail(set, &data, &buffer.detail, sizeof buffer, nullptr, nullptr)) continue;
            buffer.bytes[sizeof buffer.bytes - 1] = '\0';
            path->assign(buffer.bytes + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
            found = true; // a later interface of the same number replaces it
        }
        destroy(set);
    }
    FreeLibrary(setupapi);
    return found;
}

} // namespace

bool ReadUsbStatusBlock(const char* portName, UsbStatus* out) {
    *out = UsbStatus{};
    if (!portName || std::strlen(portName) <= 3 || std::strncmp(portName, "USB", 3) != 0)
        return false;
    std::string path;
    if (std::strncmp(portName, "USBVQ", 5) == 0) {
        if (!UsbvqDevicePath(portName, &path)) return false;
    } else {
        DWORD number = 0;
        if (!PortNumber(portName, &number) || !InterfaceDevicePath(number, &path)) return false;
    }
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    std::uint8_t answer[kDeviceIdBufferSize];
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, answer, sizeof answer,
                              &returned, nullptr);
    CloseHandle(device);
    if (!ok || returned > sizeof answer) return false;
    return ParseUsbStatus(answer, returned, out);
}

} // namespace devcomm
