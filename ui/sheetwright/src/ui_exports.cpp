// The ui* exports that the printer interface, the graphics library and the
// job-prompt program bind by name; each is a thin call into the core, through
// the guard that keeps exceptions inside the library.
#include "export_guard.h"
#include "job_prompts.h"
#include "prior_print_check.h"
#include "printer_events.h"
#include "revise_devmode.h"
#include "ui/sheetwright.h"
#include "ui_entry_points.h"
#include "win/base.h"

using namespace sheetwright;

DLLEXPORT DWORD WINAPI uiGetMyPrinterInfo(HANDLE printer, LPCVOID modelData, WORD table, WORD entry,
                                          DWORD layout, LPVOID buffer, LPDWORD size,
                                          LPDWORD count) {
    return ExportGuard<&UiGetMyPrinterInfo, ErrorNumber{}>::Call(printer, modelData, table, entry,
                                                                 layout, buffer, size, count);
}

DLLEXPORT DWORD WINAPI uiEnumMyPrinterInfo(HANDLE printer, LPCVOID modelData, SHORT code,
                                           LPVOID buffer, LPDWORD size, LPDWORD count) {
    return ExportGuard<&UiEnumMyPrinterInfo, ErrorNumber{}>::Call(printer, modelData, code, buffer,
                                                                  size, count);
}

DLLEXPORT DWORD WINAPI uiReviseDevmodeEx(HANDLE printer, LPCVOID modelData, DEVMODEW* oldDevmode,
                                         DEVMODEW* devmode, DWORD mode) {
    return ExportGuard<&ReviseDevmodeEx, ErrorNumber{}>::Call(printer, modelData, oldDevmode,
                                                              devmode, mode);
}

DLLEXPORT BOOL WINAPI uiDevQueryPrintEx(PDEVQUERYPRINT_INFO info) {
    return ExportGuard<&UiDevQueryPrintEx, FALSE>::Call(info);
}

DLLEXPORT INT WINAPI uiDrvDocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in,
                                        ULONG outSize, PVOID out) {
    return ExportGuard<&UiDrvDocumentEvent, DOCUMENTEVENT_FAILURE>::Call(printer, hdc, escape,
                                                                         inSize, in, outSize, out);
}

DLLEXPORT BOOL WINAPI uiDrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
    return ExportGuard<&UiDrvPrinterEvent, FALSE>::Call(printerName, event, flags, lParam);
}

DLLEXPORT BOOL WINAPI uiDrvUpgradePrinter(DWORD level, LPBYTE upgradeInfo) {
    return ExportGuard<&UiDrvUpgradePrinter, FALSE>::Call(level, upgradeInfo);
}

// The cancel checks around a job: nothing to do beyond answering.
DLLEXPORT BOOL WINAPI uiPreCheckCancelJob(LPVOID, ULONGLONG* value, DWORD) {
    return value != nullptr;
}

DLLEXPORT BOOL WINAPI uiPostCheckCancelJob(LPVOID, ULONGLONG*, DWORD) {
    return TRUE;
}

// Department codes are asked of the device by Tallyport; these answer for
// callers that still bind them here, touching nothing.
static BOOL WINAPI DeptCodeStub() {
    return TRUE;
}
DLLEXPORT BOOL WINAPI uiGetDeptCode(ModelBlock*, DEVMODEW*) {
    return DeptCodeStub();
}
DLLEXPORT BOOL WINAPI uiSetDeptCode(ModelBlock*, DEVMODEW*) {
    return DeptCodeStub();
}

// The per-job prompts and the prior-print check, run by the job-prompt
// program in the interactive user's session.
DLLEXPORT INT WINAPI uiInputJobSpoolUserPwdInfo(HANDLE printer, LPVOID modelData,
                                                JobAuthRecord* record) {
    return ExportGuard<&InputJobSpoolUserPwdInfo, INT{0}>::Call(printer, modelData, record);
}

DLLEXPORT INT WINAPI uiInputDeptCodeInfo(HANDLE printer, LPVOID modelData, DeptCodeRecord* record) {
    return ExportGuard<&InputDeptCodeInfo, INT{1}>::Call(printer, modelData, record);
}

DLLEXPORT INT WINAPI uiInputJobSpoolExt(HANDLE printer, LPVOID modelData, JobAuthRecord* auth,
                                        JobInfoRecord* info, DeptCodeRecord* dept) {
    return ExportGuard<&InputJobSpoolExt, INT{0}>::Call(printer, modelData, auth, info, dept);
}

DLLEXPORT INT WINAPI uiInputUserJobInformation(HANDLE printer, LPVOID modelData,
                                               JobInfoRecord* record) {
    return ExportGuard<&InputUserJobInformation, INT{1}>::Call(printer, modelData, record);
}

DLLEXPORT BOOL WINAPI uiCheckPriorPrint(HANDLE printer, HWND owner, LPCWSTR port, DEVMODEW* devmode,
                                        LPVOID privateBlock, LPVOID modelData, DWORD mode) {
    return ExportGuard<&CheckPriorPrint, FALSE>::Call(printer, owner, port, devmode, privateBlock,
                                                      modelData, mode);
}
