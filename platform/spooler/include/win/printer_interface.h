// What the spooler, GDI and applications call in a printer interface library
// (the driver's configuration file), and the records they hand it: device
// capabilities, device-mode conversion, the print query, document and printer
// events and the upgrade. The property sheets are in "win/printer_sheets.h".
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "win/gdi.h"
#include "win/printer_sheets.h"
#include "win/types.h"

// DeviceCapabilities indexes.
#define DC_FIELDS 1
#define DC_PAPERS 2
#define DC_PAPERSIZE 3
#define DC_MINEXTENT 4
#define DC_MAXEXTENT 5
#define DC_BINS 6
#define DC_DUPLEX 7
#define DC_SIZE 8
#define DC_EXTRA 9
#define DC_VERSION 10
#define DC_DRIVER 11
#define DC_BINNAMES 12
#define DC_ENUMRESOLUTIONS 13
#define DC_FILEDEPENDENCIES 14
#define DC_TRUETYPE 15
#define DC_PAPERNAMES 16
#define DC_ORIENTATION 17
#define DC_COPIES 18
#define DC_BINADJUST 19
#define DC_EMF_COMPLIANT 20
#define DC_DATATYPE_PRODUCED 21
#define DC_COLLATE 22
#define DC_MANUFACTURER 23
#define DC_MODEL 24
#define DC_PERSONALITY 25
#define DC_PRINTRATE 26
#define DC_PRINTRATEUNIT 27
#define DC_PRINTERMEM 28
#define DC_MEDIAREADY 29
#define DC_STAPLE 30
#define DC_PRINTRATEPPM 31
#define DC_COLORDEVICE 32
#define DC_NUP 33
#define DC_MEDIATYPENAMES 34
#define DC_MEDIATYPES 35

// DC_TRUETYPE answer bits.
#define DCTT_BITMAP 0x0000001L
#define DCTT_DOWNLOAD 0x0000002L
#define DCTT_SUBDEV 0x0000004L
#define DCTT_DOWNLOAD_OUTLINE 0x0000008L

// DC_PRINTRATEUNIT answers.
#define PRINTRATEUNIT_PPM 1
#define PRINTRATEUNIT_CPS 2
#define PRINTRATEUNIT_LPM 3
#define PRINTRATEUNIT_IPM 4

// DrvConvertDevMode modes.
#define CDM_CONVERT 0x01
#define CDM_CONVERT351 0x02
#define CDM_DRIVER_DEFAULT 0x04

// DrvDocumentEvent escapes and results.
#define DOCUMENTEVENT_CREATEDCPRE 1
#define DOCUMENTEVENT_CREATEDCPOST 2
#define DOCUMENTEVENT_RESETDCPRE 3
#define DOCUMENTEVENT_RESETDCPOST 4
#define DOCUMENTEVENT_STARTDOC 5
#define DOCUMENTEVENT_STARTPAGE 6
#define DOCUMENTEVENT_ENDPAGE 7
#define DOCUMENTEVENT_ENDDOC 8
#define DOCUMENTEVENT_ABORTDOC 9
#define DOCUMENTEVENT_DELETEDC 10
#define DOCUMENTEVENT_ESCAPE 11
#define DOCUMENTEVENT_ENDDOCPOST 12
#define DOCUMENTEVENT_STARTDOCPOST 13
#define DOCUMENTEVENT_QUERYFILTER 14

#define DOCUMENTEVENT_FAILURE (-1)
#define DOCUMENTEVENT_UNSUPPORTED 0
#define DOCUMENTEVENT_SUCCESS 1

// The input of DOCUMENTEVENT_CREATEDCPRE.
typedef struct _DOCEVENT_CREATEDCPRE {
    LPWSTR pszDriver;
    LPWSTR pszDevice;
    PDEVMODEW pdm;
    BOOL bIC;
} DOCEVENT_CREATEDCPRE, *PDOCEVENT_CREATEDCPRE;
static_assert(sizeof(DOCEVENT_CREATEDCPRE) == 32 && offsetof(DOCEVENT_CREATEDCPRE, pdm) == 16);

// DrvPrinterEvent events and flags.
#define PRINTER_EVENT_CONFIGURATION_CHANGE 0
#define PRINTER_EVENT_ADD_CONNECTION 1
#define PRINTER_EVENT_DELETE_CONNECTION 2
#define PRINTER_EVENT_INITIALIZE 3
#define PRINTER_EVENT_DELETE 4
#define PRINTER_EVENT_CACHE_REFRESH 5
#define PRINTER_EVENT_CACHE_DELETE 6
#define PRINTER_EVENT_ATTRIBUTES_CHANGED 7
#define PRINTER_EVENT_CONFIGURATION_UPDATE 8

#define PRINTER_EVENT_FLAG_NO_UI 0x00000001

// lParam of PRINTER_EVENT_ATTRIBUTES_CHANGED.
typedef struct _PRINTER_EVENT_ATTRIBUTES_INFO {
    DWORD cbSize;
    DWORD dwOldAttributes;
    DWORD dwNewAttributes;
} PRINTER_EVENT_ATTRIBUTES_INFO, *PPRINTER_EVENT_ATTRIBUTES_INFO;
static_assert(sizeof(PRINTER_EVENT_ATTRIBUTES_INFO) == 12);

// The print query's record: the job's device mode in, a message out.
typedef struct _DEVQUERYPRINT_INFO {
    WORD cbSize;
    WORD Level;
    HANDLE hPrinter;
    PDEVMODEW pDevMode;
    LPWSTR pszErrorStr;
    DWORD cchErrorStr;
    DWORD cchNeeded;
} DEVQUERYPRINT_INFO, *PDEVQUERYPRINT_INFO;
static_assert(sizeof(DEVQUERYPRINT_INFO) == 40 && offsetof(DEVQUERYPRINT_INFO, pDevMode) == 16 &&
              offsetof(DEVQUERYPRINT_INFO, cchErrorStr) == 32);

typedef struct _DRIVER_UPGRADE_INFO_1W {
    LPWSTR pPrinterName;
    LPWSTR pOldDriverDirectory;
} DRIVER_UPGRADE_INFO_1W, *PDRIVER_UPGRADE_INFO_1W;
static_assert(sizeof(DRIVER_UPGRADE_INFO_1W) == 16);

// The exports, as the spooler and GDI bind them by name.
typedef DWORD(WINAPI* PFN_DrvDeviceCapabilities)(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap,
                                                 LPVOID pvOutput, PDEVMODEW pDevMode);
typedef BOOL(WINAPI* PFN_DrvConvertDevMode)(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                            LONG* pcbNeeded, DWORD fMode);
typedef BOOL(WINAPI* PFN_DevQueryPrintEx)(PDEVQUERYPRINT_INFO pDQPInfo);
typedef INT(WINAPI* PFN_DrvDocumentEvent)(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn,
                                          PVOID pvIn, ULONG cbOut, PVOID pvOut);
typedef BOOL(WINAPI* PFN_DrvPrinterEvent)(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags,
                                          LPARAM lParam);
typedef BOOL(WINAPI* PFN_DrvUpgradePrinter)(DWORD Level, LPBYTE pDriverUpgradeInfo);
typedef LONG(WINAPI* PFN_DrvDocumentPropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);
typedef LONG(WINAPI* PFN_DrvDevicePropertySheets)(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam);

extern "C" {
// Device capabilities of a printer, answered by its interface library.
DWORD WINAPI DeviceCapabilitiesW(LPCWSTR pDevice, LPCWSTR pPort, WORD fwCapability, LPWSTR pOutput,
                                 const DEVMODEW* pDevMode);
// Called back by a printer interface library that must act as the spooler
// itself: RevertToPrinterSelf answers a token for ImpersonatePrinterClient.
HANDLE WINAPI RevertToPrinterSelf();
BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken);
}
