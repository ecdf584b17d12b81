// Statuslens: brings up the status monitor of a networked device, the window
// of the outside device-management software, for the device's address.
#pragma once

#include <cstddef>

#include "win/types.h"

// What the user interface hands the launcher, all text ANSI and
// zero-terminated within its field.
struct StatusMonitorRequest {
    CHAR address[16]; // the device's address: a host name or IPv4 address
    CHAR modelName[32];
    CHAR driverFirstWords[256];
    CHAR driverName[128];
    CHAR portPath[256];
    BYTE reserved[128];
    DWORD connection; // 1 network, 2 parallel, 3 USB, 0 other
    DWORD spare;
};
static_assert(sizeof(StatusMonitorRequest) == 824);
static_assert(offsetof(StatusMonitorRequest, modelName) == 16 &&
              offsetof(StatusMonitorRequest, driverFirstWords) == 48 &&
              offsetof(StatusMonitorRequest, driverName) == 304 &&
              offsetof(StatusMonitorRequest, portPath) == 432 &&
              offsetof(StatusMonitorRequest, reserved) == 688 &&
              offsetof(StatusMonitorRequest, connection) == 816 &&
              offsetof(StatusMonitorRequest, spare) == 820);

// The longest address the outside status monitor takes: the field less its terminator.
inline constexpr size_t kStatusMonitorAddressLimit = sizeof(StatusMonitorRequest::address) - 1;

// Answers of CallStatusmonitor.
inline constexpr int kMonitorRaised = 0;
inline constexpr int kMonitorNotRaised = -1;
inline constexpr int kMonitorFailed = -2;
inline constexpr int kMonitorNotStarted = -3;
inline constexpr int kMonitorNotInstalled = -6;
inline constexpr int kMonitorStarting = -7;

// The command the status monitor's window takes to come up from the taskbar.
inline constexpr WORD kMonitorRaiseCommand = 32802;

// Declared once, here: the library defines the export against this
// declaration, and callers binding it by name call through its type.
extern "C" {
DLLEXPORT [[nodiscard]] int WINAPI CallStatusmonitor(StatusMonitorRequest* request);
typedef decltype(&CallStatusmonitor) PFN_CallStatusmonitor;
}
