// Frontdoor's exports: the printer interface functions the spooler, GDI and
// applications call.
#include "frontdoor.h"
#include "win/loader.h"

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) frontdoor::gModule = instance;
    return TRUE;
}

DLLEXPORT BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    return frontdoor::QueryPrint(info);
}

DLLEXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                        LONG* pcbNeeded, DWORD fMode) {
    return frontdoor::ConvertDevMode(pPrinterName, pdmIn, pdmOut, pcbNeeded, fMode);
}

DLLEXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap,
                                             LPVOID pvOutput, PDEVMODEW pDevMode) {
    return frontdoor::DeviceCapabilities(hPrinter, pDeviceName, iDevCap, pvOutput, pDevMode);
}

DLLEXPORT LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return frontdoor::DevicePropertySheets(pPSUIInfo, lParam);
}

DLLEXPORT INT WINAPI DrvDocumentEvent(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn,
                                      ULONG cbOut, PVOID pvOut) {
    return frontdoor::DocumentEvent(hPrinter, hdc, iEsc, cbIn, pvIn, cbOut, pvOut);
}

DLLEXPORT LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return frontdoor::DocumentPropertySheets(pPSUIInfo, lParam);
}

DLLEXPORT BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                      LPARAM lParam) {
    return frontdoor::PrinterEvent(pPrinterName, iDriverEvent, dwFlags, lParam);
}

DLLEXPORT BOOL WINAPI DrvUpgradePrinter(DWORD dwLevel, LPBYTE pDriverUpgradeInfo) {
    return frontdoor::UpgradePrinter(dwLevel, pDriverUpgradeInfo);
}

DECLARE_EXPORT_ORDINALS({1, "DevQueryPrintEx"}, {2, "DllMain"}, {3, "DrvConvertDevMode"},
                        {4, "DrvDeviceCapabilities"}, {5, "DrvDevicePropertySheets"},
                        {6, "DrvDocumentEvent"}, {7, "DrvDocumentPropertySheets"},
                        {8, "DrvPrinterEvent"}, {9, "DrvUpgradePrinter"});
