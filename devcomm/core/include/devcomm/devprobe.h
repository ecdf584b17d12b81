// Devprobe's exports, for callers that load it by name and for its tests.
#pragma once

#include "devcomm/port_info.h"
#include "devcomm/query_records.h"
#include "win/types.h"

// Each export is declared once, here: Devprobe defines it against this
// declaration, and callers binding it by name call through its type.
extern "C" {
// Port-information record for a port name; kind 0 or 2 full, 1 short
// (MPMakeSelPortInfo, declared with the record in "devcomm/port_info.h").

// The device queries by port-information record (MPGetMaxTray and
// MPGetMaxOutputTray answer a short; the text and record queries take a
// 16-bit size and report the size they need).
DLLEXPORT [[nodiscard]] int WINAPI MPGetHddUnit(SelPortInfo* info);
DLLEXPORT [[nodiscard]] int WINAPI MPGetDupUnit(SelPortInfo* info);
DLLEXPORT [[nodiscard]] int WINAPI MPGetMemSize(SelPortInfo* info);
DLLEXPORT [[nodiscard]] int WINAPI MPGetPunchCap(SelPortInfo* info);
DLLEXPORT [[nodiscard]] int WINAPI MPGetSpoolerType(SelPortInfo* info);
DLLEXPORT [[nodiscard]] short WINAPI MPGetMaxTray(SelPortInfo* info);
DLLEXPORT [[nodiscard]] short WINAPI MPGetMaxOutputTray(SelPortInfo* info);
DLLEXPORT [[nodiscard]] int WINAPI MPGetFinisherUnit(SelPortInfo* info, int size, LPSTR buffer,
                                                     WORD* needed);
DLLEXPORT [[nodiscard]] int WINAPI MPGetSysDescr(SelPortInfo* info, int size, LPSTR buffer,
                                                 WORD* needed);
DLLEXPORT [[nodiscard]] int WINAPI MPGetTrayInfo(SelPortInfo* info, int size, TrayInfo* buffer,
                                                 WORD* needed);
DLLEXPORT [[nodiscard]] int WINAPI MPGetOutputTrayInfo(SelPortInfo* info, int size,
                                                       TrayInfo* buffer, WORD* needed);
// The pointer types of the queries by record, one for each shape.
typedef decltype(&MPGetHddUnit) PFN_MPGetUnit;
typedef decltype(&MPGetMaxTray) PFN_MPGetCount;
typedef decltype(&MPGetSysDescr) PFN_MPGetText;
typedef decltype(&MPGetTrayInfo) PFN_MPGetTrays;

// The older queries by host name or dotted address.
DLLEXPORT [[nodiscard]] int WINAPI Get_PrinterIP(LPCSTR portName, LPSTR address);
typedef decltype(&Get_PrinterIP) PFN_Get_PrinterIP;
DLLEXPORT [[nodiscard]] int WINAPI GetHddUnit(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetMaxTray(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetPunchCap(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetDupUnit(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetMemSize(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetPDLMaxIndex(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetMaxOutputTray(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetUserInfoUpdate(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetUserDescrStatus(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetUserInfoStatus(LPCSTR host);
DLLEXPORT [[nodiscard]] int WINAPI GetSpoolerType(LPCSTR host);
typedef decltype(&GetHddUnit) PFN_GetHostQuery;
DLLEXPORT [[nodiscard]] int WINAPI GetSysDescr(LPCSTR host, int size, LPSTR buffer, WORD* needed);
DLLEXPORT [[nodiscard]] int WINAPI GetFinisherUnit(LPCSTR host, int size, LPSTR buffer,
                                                   WORD* needed);
typedef decltype(&GetSysDescr) PFN_GetTextQuery;
DLLEXPORT [[nodiscard]] int WINAPI GetTrayInfo(LPCSTR host, int size, TrayInfo* buffer,
                                               WORD* needed);
DLLEXPORT [[nodiscard]] int WINAPI GetOutputTrayInfo(LPCSTR host, int size, TrayInfo* buffer,
                                                     WORD* needed);
typedef decltype(&GetTrayInfo) PFN_GetTrayInfo;
DLLEXPORT [[nodiscard]] int WINAPI GetPDLInfo(LPCSTR host, int size, PdlInfo* buffer, WORD* needed);
typedef decltype(&GetPDLInfo) PFN_GetPDLInfo;
DLLEXPORT [[nodiscard]] int WINAPI Get_Dev_Opt(LPCSTR host, DevOptInfo* info);
typedef decltype(&Get_Dev_Opt) PFN_Get_Dev_Opt;
DLLEXPORT [[nodiscard]] int WINAPI GetPJLData_w9x_32(LPCSTR documentName, int nup,
                                                     PjlJobData* buffer, DWORD size, DWORD* needed,
                                                     int* headerOffset, int* trailerOffset);
typedef decltype(&GetPJLData_w9x_32) PFN_GetPJLData_w9x_32;
}

// Devprobe's string table.
#define IDS_DEVPROBE_SOCKET_INIT_FAILED 101
#define IDS_DEVPROBE_OUTER_BIN 102
#define IDS_DEVPROBE_OUTER_TRAY_CODE 103
