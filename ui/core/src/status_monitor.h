// The "&Printer Status..." button of the document pages: the model's
// status-monitor library is asked to bring up the device's status monitor,
// and what it answers is told to the user.
#pragma once

#include "sheet_context.h"

namespace sheetwright {

// What the status-monitor library is given, all text ANSI.
struct StatusMonitorRequest {
    CHAR address[16];
    CHAR modelName[32];
    CHAR driverFirstWords[256];
    CHAR driverName[128];
    CHAR portPath[256];
    BYTE reserved[128];
    DWORD connection;
    DWORD spare;
};
static_assert(sizeof(StatusMonitorRequest) == 824 &&
              offsetof(StatusMonitorRequest, driverFirstWords) == 48 &&
              offsetof(StatusMonitorRequest, portPath) == 432 &&
              offsetof(StatusMonitorRequest, connection) == 816);

typedef int(WINAPI* PFN_CallStatusmonitor)(StatusMonitorRequest* request);

// Answers of CallStatusmonitor.
inline constexpr int kMonitorRaised = 0;
inline constexpr int kMonitorNotRaised = -1;
inline constexpr int kMonitorFailed = -2;
inline constexpr int kMonitorNotStarted = -3;
inline constexpr int kMonitorNotInstalled = -6;
inline constexpr int kMonitorStarting = -7;

// Runs the status monitor for the sheet's printer on `portPath`; every
// failure, a missing library included, ends in a message owned by `owner`.
void LaunchStatusMonitor(HWND owner, SheetContext* context, LPCWSTR portPath);

} // namespace sheetwright
