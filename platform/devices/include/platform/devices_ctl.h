// Test controls of the device stand-in: USB printers that tests plug in.
// Each printer has an interface of the USB printer interface class (found
// through the SetupDi* functions), a registry key for that interface with
// its "Port Number", and a device path that CreateFile opens; on the open
// handle DeviceIoControl answers the device-ID request and ReadFile and
// WriteFile move bytes. ResetForTests unplugs every printer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/types.h"

namespace platform::test {

struct UsbPrinter {
    // "\\?\usb#vid_...#...#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"; empty:
    // one is made from the port number and the order of plugging in.
    std::u16string interfacePath;
    // The "Port Number" DWORD of the interface's key (1 for USB001); none:
    // the key holds no such value.
    std::optional<DWORD> portNumber = 1;
    // Plugged in: its interface is active and its path opens. An unplugged
    // printer is still listed by sets made without DIGCF_PRESENT.
    bool present = true;
    // The device ID text, sent behind its 2-byte big-endian length.
    std::string deviceId;
    // Bytes sent as they are instead, for answers that break the rules.
    std::optional<std::vector<BYTE>> deviceIdAnswer;
    // When not 0, the device-ID request fails with this error.
    DWORD deviceIdError = 0;
    // What ReadFile returns from the printer (its back channel).
    std::vector<BYTE> readData;
};

// Plugs a printer in and writes its interface key; returns its device path
// (empty when the path is already taken or its key cannot be written).
std::u16string AddUsbPrinter(const UsbPrinter& printer);
// Plugs it out (or in again) by its device path; false for an unknown path.
// Handles that are open on an unplugged printer fail with
// ERROR_DEVICE_NOT_CONNECTED.
bool SetUsbPrinterPresent(const std::u16string& interfacePath, bool present);
// The bytes WriteFile sent to the printer.
std::vector<BYTE> UsbPrinterWritten(const std::u16string& interfacePath);
// How many times a device path was opened since the last reset, so that a
// test can show that no device was touched.
int DeviceOpenCount();

// The registry key of an interface below HKEY_LOCAL_MACHINE, as
// SetupDiOpenDeviceInterfaceRegKey opens it.
std::u16string DeviceInterfaceKeyPath(const std::u16string& interfacePath);

} // namespace platform::test
