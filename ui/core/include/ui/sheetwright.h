// Sheetwright's exports, as the printer interface, the graphics library and
// the job-prompt program bind them by name from "Sheetwright.DLL", and the
// records they exchange.
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "win/gdi.h"
#include "win/printer_interface.h"
#include "win/types.h"

// uiGetMyPrinterInfo: a model query asked of Modelsmith on the caller's
// behalf, answered unchanged (two calls: a NULL buffer asks for the size).
typedef DWORD(WINAPI* PFN_uiGetMyPrinterInfo)(HANDLE printer, LPCVOID modelData, WORD table,
                                              WORD entry, DWORD layout, LPVOID buffer, LPDWORD size,
                                              LPDWORD count);

// uiEnumMyPrinterInfo: a ready-made capability list (codes below).
typedef DWORD(WINAPI* PFN_uiEnumMyPrinterInfo)(HANDLE printer, LPCVOID modelData, SHORT code,
                                               LPVOID buffer, LPDWORD size, LPDWORD count);

// uiReviseDevmodeEx: makes a device mode valid for the printer. Mode 1 fills
// `devmode` with defaults; mode 2 carries `oldDevmode` over into `devmode`.
typedef DWORD(WINAPI* PFN_uiReviseDevmodeEx)(HANDLE printer, LPCVOID modelData,
                                             DEVMODEW* oldDevmode, DEVMODEW* devmode, DWORD mode);

typedef BOOL(WINAPI* PFN_uiDevQueryPrintEx)(PDEVQUERYPRINT_INFO info);
typedef INT(WINAPI* PFN_uiDrvDocumentEvent)(HANDLE printer, HDC hdc, int escape, ULONG inSize,
                                            PVOID in, ULONG outSize, PVOID out);
typedef BOOL(WINAPI* PFN_uiDrvPrinterEvent)(LPWSTR printerName, INT event, DWORD flags,
                                            LPARAM lParam);
typedef BOOL(WINAPI* PFN_uiDrvUpgradePrinter)(DWORD level, LPBYTE upgradeInfo);
typedef BOOL(WINAPI* PFN_uiPreCheckCancelJob)(LPVOID context, ULONGLONG* value);
typedef BOOL(WINAPI* PFN_uiPostCheckCancelJob)();

// uiEnumMyPrinterInfo codes and the size of one record of each list.
enum : SHORT {
    kEnumPapers = 1,
    kEnumMediaTypes = 2,
    kEnumBins = 3,
    kEnumResolutions = 6,
    kEnumCapabilities = 8,
    kEnumPagesPerSheet = 9,
    kEnumMediaReady = 10,
    kEnumTrueType = 11,
};

constexpr DWORD kEnumPaperRecordSize =
    154; // u16 id, WCHAR name[64], i16 width at 130, length at 132
constexpr DWORD kEnumMediaRecordSize = 132;      // i32 id, WCHAR name[64]
constexpr DWORD kEnumBinRecordSize = 50;         // u16 id, WCHAR name[24]
constexpr DWORD kEnumResolutionRecordSize = 8;   // u32 x, u32 y
constexpr DWORD kEnumPagesPerSheetSize = 28;     // u32 1, 2, 4, 6, 8, 9, 16
constexpr DWORD kEnumMediaReadyRecordSize = 128; // WCHAR name[64]

// The answer of code 8: the caller sets one or more wanted bits, the library
// sets the bits it answered and their values.
struct CapabilityRecord {
    DWORD wanted;
    DWORD answered;
    DWORD duplex;          // 0x1
    DWORD copies;          // 0x2
    DWORD orientation;     // 0x4
    DWORD colorDevice;     // 0x8
    DWORD printerMemoryKb; // 0x10
    DWORD printRate;       // 0x20
    DWORD printRateUnit;   // 0x40
    DWORD pagesPerMinute;  // 0x80
    DWORD staple;          // 0x100
    DWORD collate;         // 0x200
    DWORD minimumExtent;   // 0x400
    DWORD maximumExtent;   // 0x800
};
static_assert(sizeof(CapabilityRecord) == 56 && offsetof(CapabilityRecord, duplex) == 8 &&
              offsetof(CapabilityRecord, maximumExtent) == 52);

enum : DWORD {
    kCapDuplex = 0x1,
    kCapCopies = 0x2,
    kCapOrientation = 0x4,
    kCapColorDevice = 0x8,
    kCapPrinterMemory = 0x10,
    kCapPrintRate = 0x20,
    kCapPrintRateUnit = 0x40,
    kCapPagesPerMinute = 0x80,
    kCapStaple = 0x100,
    kCapCollate = 0x200,
    kCapMinimumExtent = 0x400,
    kCapMaximumExtent = 0x800,
};

// MFCPropPage: the printer interface's request to build the pages of one
// property sheet; 1 when every page was created and added.
struct PropPageParams {
    DWORD size; // 112
    DWORD reserved0;
    LPVOID reserved8;
    HINSTANCE interfaceModule;       // the printer interface library
    PDEVMODEW inputDevmode;          // document sheets: the caller's input device mode, or NULL
    LPVOID image;                    // the 1320-byte working image, edited in place
    LPWSTR printerName;              // from the property header
    LPWSTR portName;                 // "server\port", the port alone, or NULL
    PFNCOMPROPSHEET pfnComPropSheet; // the sheet's callback
    LPVOID reserved64;
    DWORD reserved72;
    DWORD reserved76;
    HANDLE hComPropSheet;
    LPVOID propertyHeader; // DOCUMENTPROPERTYHEADER or DEVICEPROPERTYHEADER
    DWORD modeFlags;       // document sheets: fMode; device sheets: the header's Flags
    DWORD sheetKind;       // kSheetDocument or kSheetDevice
    WORD constant104;      // 4, copied into the sheet context and not read again
    WORD constant106;      // 1, likewise
    DWORD reserved108;
};
static_assert(sizeof(PropPageParams) == 112 && offsetof(PropPageParams, interfaceModule) == 16 &&
              offsetof(PropPageParams, image) == 32 && offsetof(PropPageParams, portName) == 48 &&
              offsetof(PropPageParams, pfnComPropSheet) == 56 &&
              offsetof(PropPageParams, hComPropSheet) == 80 &&
              offsetof(PropPageParams, propertyHeader) == 88 &&
              offsetof(PropPageParams, modeFlags) == 96 &&
              offsetof(PropPageParams, sheetKind) == 100 &&
              offsetof(PropPageParams, constant104) == 104 &&
              offsetof(PropPageParams, constant106) == 106);

constexpr DWORD kSheetDocument = 1;
constexpr DWORD kSheetDevice = 2;

typedef DWORD(WINAPI* PFN_MFCPropPage)(PropPageParams* params);
