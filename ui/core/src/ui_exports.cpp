// The ui* exports that the printer interface, the graphics library and the
// job-prompt program bind by name; each is a thin call into the core.
#include "revise_devmode.h"
#include "ui_entry_points.h"
#include "win/base.h"

using namespace sheetwright;

DLLEXPORT DWORD WINAPI uiGetMyPrinterInfo(HANDLE printer, LPCVOID modelData, WORD table, WORD entry,
                                          DWORD layout, LPVOID buffer, LPDWORD size,
                                          LPDWORD count) {
    return UiGetMyPrinterInfo(printer, modelData, table, entry, layout, buffer, size, count);
}

DLLEXPORT DWORD WINAPI uiEnumMyPrinterInfo(HANDLE printer, LPCVOID modelData, SHORT code,
                                           LPVOID buffer, LPDWORD size, LPDWORD count) {
    return UiEnumMyPrinterInfo(printer, modelData, code, buffer, size, count);
}

DLLEXPORT DWORD WINAPI uiReviseDevmodeEx(HANDLE printer, LPCVOID modelData, DEVMODEW* oldDevmode,
                                         DEVMODEW* devmode, DWORD mode) {
    return ReviseDevmodeEx(printer, modelData, oldDevmode, devmode, mode);
}

DLLEXPORT BOOL WINAPI uiDevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    return UiDevQueryPrintEx(info);
}

DLLEXPORT INT WINAPI uiDrvDocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in,
                                        ULONG outSize, PVOID out) {
    return UiDrvDocumentEvent(printer, hdc, escape, inSize, in, outSize, out);
}

DLLEXPORT BOOL WINAPI uiDrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
    return UiDrvPrinterEvent(printerName, event, flags, lParam);
}

DLLEXPORT BOOL WINAPI uiDrvUpgradePrinter(DWORD level, LPBYTE upgradeInfo) {
    return UiDrvUpgradePrinter(level, upgradeInfo);
}

// The cancel checks around a job: nothing to do beyond answering.
DLLEXPORT BOOL WINAPI uiPreCheckCancelJob(LPVOID, ULONGLONG* value) {
    return value != nullptr;
}

DLLEXPORT BOOL WINAPI uiPostCheckCancelJob() {
    return TRUE;
}

// Department codes are asked of the device by Tallyport; these answer for
// callers that still bind them here, touching nothing.
static BOOL WINAPI DeptCodeStub() {
    return TRUE;
}
DLLEXPORT BOOL WINAPI uiGetDeptCode() {
    return DeptCodeStub();
}
DLLEXPORT BOOL WINAPI uiSetDeptCode() {
    return DeptCodeStub();
}
