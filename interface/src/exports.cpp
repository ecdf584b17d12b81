// Frontdoor's exports: the printer interface functions the spooler, GDI and
// applications call, each entered through the package's export barrier.
#include <type_traits>

#include "export_barrier.h"
#include "frontdoor.h"
#include "win/loader.h"

using export_barrier::ExportGuard;

namespace {

// What the sheet exports answer when they fail (ERR_CPSUI_GETLASTERROR).
constexpr LONG kSheetFailure = -1;
constexpr INT kDocumentEventFailure = -1; // DOCUMENTEVENT_FAILURE

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) frontdoor::gModule = instance;
    return TRUE;
}

DLLEXPORT BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    return ExportGuard<&frontdoor::QueryPrint, FALSE>::Call(info);
}

DLLEXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                        LONG* pcbNeeded, DWORD fMode) {
    return ExportGuard<&frontdoor::ConvertDevMode, FALSE>::Call(pPrinterName, pdmIn, pdmOut,
                                                                pcbNeeded, fMode);
}

DLLEXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap,
                                             LPVOID pvOutput, PDEVMODEW pDevMode) {
    return ExportGuard<&frontdoor::DeviceCapabilities, GDI_ERROR>::Call(
        hPrinter, pDeviceName, iDevCap, pvOutput, pDevMode);
}

DLLEXPORT LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return ExportGuard<&frontdoor::DevicePropertySheets, kSheetFailure>::Call(pPSUIInfo, lParam);
}

DLLEXPORT INT WINAPI DrvDocumentEvent(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn,
                                      ULONG cbOut, PVOID pvOut) {
    return ExportGuard<&frontdoor::DocumentEvent, kDocumentEventFailure>::Call(
        hPrinter, hdc, iEsc, cbIn, pvIn, cbOut, pvOut);
}

DLLEXPORT LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return ExportGuard<&frontdoor::DocumentPropertySheets, kSheetFailure>::Call(pPSUIInfo, lParam);
}

DLLEXPORT BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                      LPARAM lParam) {
    return ExportGuard<&frontdoor::PrinterEvent, FALSE>::Call(pPrinterName, iDriverEvent, dwFlags,
                                                              lParam);
}

DLLEXPORT BOOL WINAPI DrvUpgradePrinter(DWORD dwLevel, LPBYTE pDriverUpgradeInfo) {
    return ExportGuard<&frontdoor::UpgradePrinter, FALSE>::Call(dwLevel, pDriverUpgradeInfo);
}

DECLARE_EXPORT_ORDINALS({1, "DevQueryPrintEx"}, {2, "DllMain"}, {3, "DrvConvertDevMode"},
                        {4, "DrvDeviceCapabilities"}, {5, "DrvDevicePropertySheets"},
                        {6, "DrvDocumentEvent"}, {7, "DrvDocumentPropertySheets"},
                        {8, "DrvPrinterEvent"}, {9, "DrvUpgradePrinter"});

// The spooler, GDI and the property-sheet host call these through the
// system's pointer types; each definition must be of that type.
static_assert(std::is_same_v<decltype(&DevQueryPrintEx), PFN_DevQueryPrintEx>);
static_assert(std::is_same_v<decltype(&DrvConvertDevMode), PFN_DrvConvertDevMode>);
static_assert(std::is_same_v<decltype(&DrvDeviceCapabilities), PFN_DrvDeviceCapabilities>);
static_assert(std::is_same_v<decltype(&DrvDevicePropertySheets), PFN_DrvDevicePropertySheets>);
static_assert(std::is_same_v<decltype(&DrvDocumentEvent), PFN_DrvDocumentEvent>);
static_assert(std::is_same_v<decltype(&DrvDocumentPropertySheets), PFN_DrvDocumentPropertySheets>);
static_assert(std::is_same_v<decltype(&DrvPrinterEvent), PFN_DrvPrinterEvent>);
static_assert(std::is_same_v<decltype(&DrvUpgradePrinter), PFN_DrvUpgradePrinter>);
