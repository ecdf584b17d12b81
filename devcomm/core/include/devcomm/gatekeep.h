// Gatekeep's pre-print device check: is the device up, what is its most
// serious alert, and does a tray hold the job's paper.
#pragma once

#include <cstddef>

#include "devcomm/port_info.h"
#include "win/types.h"

struct PreCheckRequest {
    SHORT paperCode; // the driver's paper code, 0 to 39
    SHORT trayCode;  // 0 automatic, 1 bypass tray, 2 to 5 Tray1 to Tray4, 6 large-capacity tray
};
static_assert(sizeof(PreCheckRequest) == 4);

struct PreCheckResult {
    SHORT status;      // hrDeviceStatus: 1 unknown, 2 running, 3 warning, 4 testing, 5 down
    SHORT resultCode;  // PRECHECK_RESULT_*
    SHORT trayMissing; // 1 when no tray (or not the asked one) holds the paper
    SHORT trayPaper;   // the driver's paper code of the chosen tray, 0 when none
};
static_assert(sizeof(PreCheckResult) == 8 && offsetof(PreCheckResult, trayPaper) == 6);

// Return codes of MPPreCheck.
#define PRECHECK_OK 0
#define PRECHECK_FAILED 0xFFFF
#define PRECHECK_BAD_ARGUMENT 0xFFFE
#define PRECHECK_UNEXPECTED_ANSWER 0xFFFD

// Device status values (hrDeviceStatus).
#define PRECHECK_STATUS_WARNING 3
#define PRECHECK_STATUS_DOWN 5

// Result codes.
#define PRECHECK_RESULT_NONE 0
#define PRECHECK_RESULT_PAPER_EMPTY 1
#define PRECHECK_RESULT_TRAY_MISSING 2
#define PRECHECK_RESULT_JAM 3
#define PRECHECK_RESULT_ATTENTION 99
#define PRECHECK_RESULT_TONER_EMPTY_NO_COLORANT 98
#define PRECHECK_RESULT_FAILED (-1)
#define PRECHECK_RESULT_TONER (-2)

#define PRECHECK_MAX_PAPER 39
#define PRECHECK_MAX_TRAY 6

// Declared once, here: the library defines the export against this
// declaration, and callers binding it by name call through its type.
extern "C" {
DLLEXPORT [[nodiscard]] WORD WINAPI MPPreCheck(SelPortInfo* info, PreCheckRequest* request,
                                               PreCheckResult* result);
typedef decltype(&MPPreCheck) PFN_MPPreCheck;
// The older check by host name: the low 16 bits of the result are MPPreCheck's codes.
DLLEXPORT [[nodiscard]] int WINAPI PreCheck(LPCSTR host, PreCheckRequest* request,
                                            PreCheckResult* result);
typedef decltype(&PreCheck) PFN_PreCheck;
}
