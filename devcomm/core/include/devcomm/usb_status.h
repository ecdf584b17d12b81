// Reading a USB printer's device ID and status block through its port.
#pragma once

#include "devcomm/usb_device_id.h"

namespace devcomm {

// The answer buffer of the device-ID request.
constexpr unsigned kDeviceIdBufferSize = 512;

// The printer behind a "USB..." port (more than three characters): for a
// "USBVQ..." port the device path under the USBVQ monitor's key, for any
// other the active USB printer interface whose "Port Number" is the number
// behind "USB" (USB001 is 1; the last match wins). Opens it, asks for the
// device ID and checks and decodes it (ParseUsbStatus). false on any failure.
bool ReadUsbStatusBlock(const char* portName, UsbStatus* out);

} // namespace devcomm
