// Sheetwright's exports, as the printer interface, the graphics library and
// the job-prompt program bind them by name from "Sheetwright.DLL", and the
// records they exchange.
#pragma once

#include <cstddef>
#include <type_traits>

#include "model/modelsmith.h"
#include "win/commctrl.h"
#include "win/devmode.h"
#include "win/gdi.h"
#include "win/printer_interface.h"
#include "win/types.h"

// Each export is declared once, here, and its pointer type is taken from that
// declaration: the library's definition must match it, and a caller binding it
// by name calls through that type.

// uiGetMyPrinterInfo: a model query asked of Modelsmith on the caller's
// behalf, answered unchanged (two calls: a NULL buffer asks for the size).
DLLEXPORT [[nodiscard]] DWORD WINAPI uiGetMyPrinterInfo(HANDLE printer, LPCVOID modelData,
                                                        WORD table, WORD entry, DWORD layout,
                                                        LPVOID buffer, LPDWORD size, LPDWORD count);
typedef decltype(&uiGetMyPrinterInfo) PFN_uiGetMyPrinterInfo;

// uiEnumMyPrinterInfo: a ready-made capability list (codes below).
DLLEXPORT [[nodiscard]] DWORD WINAPI uiEnumMyPrinterInfo(HANDLE printer, LPCVOID modelData,
                                                         SHORT code, LPVOID buffer, LPDWORD size,
                                                         LPDWORD count);
typedef decltype(&uiEnumMyPrinterInfo) PFN_uiEnumMyPrinterInfo;

// uiReviseDevmodeEx: makes a device mode valid for the printer. Mode 1 fills
// `devmode` with defaults; mode 2 carries `oldDevmode` over into `devmode`.
DLLEXPORT [[nodiscard]] DWORD WINAPI uiReviseDevmodeEx(HANDLE printer, LPCVOID modelData,
                                                       DEVMODEW* oldDevmode, DEVMODEW* devmode,
                                                       DWORD mode);
typedef decltype(&uiReviseDevmodeEx) PFN_uiReviseDevmodeEx;

DLLEXPORT [[nodiscard]] BOOL WINAPI uiDevQueryPrintEx(PDEVQUERYPRINT_INFO info);
typedef decltype(&uiDevQueryPrintEx) PFN_uiDevQueryPrintEx;
DLLEXPORT [[nodiscard]] INT WINAPI uiDrvDocumentEvent(HANDLE printer, HDC hdc, int escape,
                                                      ULONG inSize, PVOID in, ULONG outSize,
                                                      PVOID out);
typedef decltype(&uiDrvDocumentEvent) PFN_uiDrvDocumentEvent;
DLLEXPORT [[nodiscard]] BOOL WINAPI uiDrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags,
                                                      LPARAM lParam);
typedef decltype(&uiDrvPrinterEvent) PFN_uiDrvPrinterEvent;
DLLEXPORT [[nodiscard]] BOOL WINAPI uiDrvUpgradePrinter(DWORD level, LPBYTE upgradeInfo);
typedef decltype(&uiDrvUpgradePrinter) PFN_uiDrvUpgradePrinter;

// The cancel checks around a job refused by the prior-print check, as the
// graphics library calls them: the model data, its cookie, 0 before and 1
// after. uiPreCheckCancelJob answers FALSE for a null cookie, else TRUE;
// uiPostCheckCancelJob answers TRUE. Neither changes anything.
DLLEXPORT [[nodiscard]] BOOL WINAPI uiPreCheckCancelJob(LPVOID modelData, ULONGLONG* cookie,
                                                        DWORD mode);
typedef decltype(&uiPreCheckCancelJob) PFN_uiPreCheckCancelJob;
DLLEXPORT [[nodiscard]] BOOL WINAPI uiPostCheckCancelJob(LPVOID modelData, ULONGLONG* cookie,
                                                         DWORD mode);
typedef decltype(&uiPostCheckCancelJob) PFN_uiPostCheckCancelJob;

// The department-code calls the graphics library makes with the model block
// and the job's device mode: TRUE, touching nothing.
DLLEXPORT [[nodiscard]] BOOL WINAPI uiGetDeptCode(ModelBlock* block, DEVMODEW* devmode);
typedef decltype(&uiGetDeptCode) PFN_uiGetDeptCode;
DLLEXPORT [[nodiscard]] BOOL WINAPI uiSetDeptCode(ModelBlock* block, DEVMODEW* devmode);
typedef decltype(&uiSetDeptCode) PFN_uiSetDeptCode;

// BuildAllKinsoku: the option-constraint list of a device mode of the 1320-byte
// image's size, filled from the model and the installed options (null when it
// cannot be made); DeleteAllKinsoku releases it.
namespace sheetwright {
class CKinsokuList;
}
DLLEXPORT [[nodiscard]] sheetwright::CKinsokuList* WINAPI BuildAllKinsoku(HANDLE printer,
                                                                          const ModelBlock* binding,
                                                                          const DEVMODEW* devmode,
                                                                          DWORD* result);
typedef decltype(&BuildAllKinsoku) PFN_BuildAllKinsoku;
DLLEXPORT void WINAPI DeleteAllKinsoku(sheetwright::CKinsokuList* list);
typedef decltype(&DeleteAllKinsoku) PFN_DeleteAllKinsoku;

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

DLLEXPORT [[nodiscard]] DWORD WINAPI MFCPropPage(PropPageParams* params);
typedef decltype(&MFCPropPage) PFN_MFCPropPage;

// PropPageCallback: the callback of every page MFCPropPage made, as the
// property-sheet host calls it.
DLLEXPORT UINT CALLBACK PropPageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp);
static_assert(std::is_same_v<decltype(&PropPageCallback), LPFNPSPCALLBACKW>);
