// Devprobe's exports, for callers that load it by name and for its tests.
#pragma once

#include "devcomm/port_info.h"
#include "devcomm/query_records.h"
#include "win/types.h"

extern "C" {
// Port-information record for a port name; kind 0 or 2 full, 1 short.
typedef SelPortInfo*(WINAPI* PFN_MPMakeSelPortInfo)(LPCSTR portName, int kind);

// The device queries by port-information record (MPGetHddUnit, MPGetDupUnit,
// MPGetMemSize, MPGetPunchCap, MPGetSpoolerType; MPGetMaxTray and
// MPGetMaxOutputTray answer a short; the text and record queries take a
// 16-bit size and report the size they need).
typedef int(WINAPI* PFN_MPGetUnit)(SelPortInfo* info);
typedef short(WINAPI* PFN_MPGetCount)(SelPortInfo* info);
typedef int(WINAPI* PFN_MPGetText)(SelPortInfo* info, int size, LPSTR buffer, WORD* needed);
typedef int(WINAPI* PFN_MPGetTrays)(SelPortInfo* info, int size, TrayInfo* buffer, WORD* needed);

// The older queries by host name or dotted address.
typedef int(WINAPI* PFN_Get_PrinterIP)(LPCSTR portName, LPSTR address);
typedef int(WINAPI* PFN_GetHostQuery)(LPCSTR host); // GetHddUnit, GetMaxTray, ...
typedef int(WINAPI* PFN_GetTextQuery)(LPCSTR host, int size, LPSTR buffer, WORD* needed);
typedef int(WINAPI* PFN_GetTrayInfo)(LPCSTR host, int size, TrayInfo* buffer, WORD* needed);
typedef int(WINAPI* PFN_GetPDLInfo)(LPCSTR host, int size, PdlInfo* buffer, WORD* needed);
typedef int(WINAPI* PFN_Get_Dev_Opt)(LPCSTR host, DevOptInfo* info);
typedef int(WINAPI* PFN_GetPJLData_w9x_32)(LPCSTR documentName, int nup, PjlJobData* buffer,
                                           DWORD size, DWORD* needed, int* headerOffset,
                                           int* trailerOffset);
}

// Devprobe's string table.
#define IDS_DEVPROBE_SOCKET_INIT_FAILED 101
#define IDS_DEVPROBE_OUTER_BIN 102
#define IDS_DEVPROBE_OUTER_TRAY_CODE 103
