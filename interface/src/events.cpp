// Document events, printer events and the driver upgrade.
#include "frontdoor.h"

namespace frontdoor {
namespace {

// The graphics library's private escapes (its output file and the job's end).
constexpr int SETOUTPUTFILENAME = 32767;
constexpr int COMPLETEOUTPUTFILE = 32766;
constexpr int MARKJOBCANCELLED = 32765;

constexpr WCHAR kUserModeValue[] = u"SPLUserModePrinterDriver";
constexpr WCHAR kUserModeDriver[] = u"Frontdoornt.DLL";

typedef decltype(&RevertToPrinterSelf) PFN_RevertToPrinterSelf;
typedef decltype(&ImpersonatePrinterClient) PFN_ImpersonatePrinterClient;

// The value that tells the spooler this driver runs in user mode; written
// without its terminating NUL, as the spooler has always read it. False,
// with the spooler's error as the last error, when it could not be written.
bool SetUserModeValue(HANDLE printer) {
    const DWORD error =
        SetPrinterDataW(printer, const_cast<LPWSTR>(kUserModeValue), REG_SZ,
                        reinterpret_cast<LPBYTE>(const_cast<LPWSTR>(kUserModeDriver)),
                        static_cast<DWORD>(lstrlenW(kUserModeDriver) * sizeof(WCHAR)));
    if (error == ERROR_SUCCESS) return true;
    SetLastError(error);
    return false;
}

PRINTER_DEFAULTSW AllAccess() {
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    return defaults;
}

INT ForwardDocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                         PVOID out) {
    HMODULE ui = LoadUiLibrary(printer);
    auto forward = Export<PFN_uiDrvDocumentEvent>(ui, "uiDrvDocumentEvent");
    INT result = forward ? forward(printer, hdc, escape, inSize, in, outSize, out)
                         : DOCUMENTEVENT_UNSUPPORTED;
    if (ui) FreeLibrary(ui);
    return result;
}

// The cache refresh runs as the spooler itself, not as the client it serves.
BOOL RefreshCache(LPWSTR printerName) {
    HMODULE spooler = LoadLibraryW(u"spoolss.dll");
    if (!spooler) return FALSE;
    auto revert = Export<PFN_RevertToPrinterSelf>(spooler, "RevertToPrinterSelf");
    auto impersonate = Export<PFN_ImpersonatePrinterClient>(spooler, "ImpersonatePrinterClient");
    if (!revert || !impersonate) {
        FreeLibrary(spooler);
        return FALSE;
    }
    HANDLE token = revert();
    HANDLE printer = nullptr;
    if (OpenPrinterW(printerName, &printer, nullptr)) {
        // Best effort: a handle opened without defaults may not write printer
        // data, and the value written at initialisation stands.
        (void)SetUserModeValue(printer);
        ClosePrinter(printer);
    }
    if (token) impersonate(token);
    FreeLibrary(spooler);
    return TRUE;
}

} // namespace

INT DocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                  PVOID out) {
    switch (escape) {
    case DOCUMENTEVENT_CREATEDCPRE:
        if (!CheckDriverFiles(printer, kCheckDocument)) return DOCUMENTEVENT_FAILURE;
        return ForwardDocumentEvent(printer, hdc, escape, inSize, in, outSize, out);
    case DOCUMENTEVENT_STARTDOC: {
        if (!CheckDriverFiles(printer, kCheckDocument)) return DOCUMENTEVENT_FAILURE;
        // The input is a pointer to the DOCINFOW; it must lie within the input.
        const DOCINFOW* doc = nullptr;
        if (in && inSize >= sizeof(DOCINFOW*)) doc = *static_cast<const DOCINFOW* const*>(in);
        if (doc && doc->lpszOutput) {
            int bytes = (lstrlenW(doc->lpszOutput) + 1) * static_cast<int>(sizeof(WCHAR));
            ExtEscape(hdc, SETOUTPUTFILENAME, bytes, reinterpret_cast<LPCSTR>(doc->lpszOutput), 0,
                      nullptr);
        } else {
            ExtEscape(hdc, SETOUTPUTFILENAME, 0, nullptr, 0, nullptr);
        }
        return DOCUMENTEVENT_SUCCESS;
    }
    case DOCUMENTEVENT_ENDDOC:
        return DOCUMENTEVENT_SUCCESS;
    case DOCUMENTEVENT_ABORTDOC:
        ExtEscape(hdc, MARKJOBCANCELLED, 0, nullptr, 0, nullptr);
        return DOCUMENTEVENT_SUCCESS;
    case DOCUMENTEVENT_ENDDOCPOST:
        ExtEscape(hdc, COMPLETEOUTPUTFILE, 0, nullptr, 0, nullptr);
        return DOCUMENTEVENT_SUCCESS;
    default:
        return ForwardDocumentEvent(printer, hdc, escape, inSize, in, outSize, out);
    }
}

// Every step runs whatever an earlier one did; FALSE when what the event
// stores for the printer, here or in the user-interface library, could not
// be stored (the first failure's error is the last error).
BOOL PrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
    PRINTER_DEFAULTSW defaults = AllAccess();
    BOOL stored = TRUE;
    DWORD error = ERROR_SUCCESS;
    const auto note = [&](bool ok) {
        if (ok || !stored) return;
        stored = FALSE;
        error = GetLastError();
    };
    if (event == PRINTER_EVENT_INITIALIZE) {
        HANDLE printer = nullptr;
        if (OpenPrinterW(printerName, &printer, &defaults)) {
            PRINTER_INFO_7W publish{nullptr, DSPRINT_UPDATE};
            note(SetPrinterW(printer, 7, reinterpret_cast<LPBYTE>(&publish), 0) != FALSE);
            note(SetUserModeValue(printer));
            ClosePrinter(printer);
        }
    } else if (event == PRINTER_EVENT_CACHE_REFRESH) {
        if (!RefreshCache(printerName)) return FALSE;
    }
    HANDLE printer = nullptr;
    bool withDefaults = event != PRINTER_EVENT_CACHE_REFRESH;
    if (OpenPrinterW(printerName, &printer, withDefaults ? &defaults : nullptr)) {
        HMODULE ui = LoadUiLibrary(printer);
        if (auto forward = Export<PFN_uiDrvPrinterEvent>(ui, "uiDrvPrinterEvent"))
            note(forward(printerName, event, flags, lParam) != FALSE);
        if (ui) FreeLibrary(ui);
        ClosePrinter(printer);
    }
    if (!stored) SetLastError(error);
    return stored;
}

BOOL UpgradePrinter(DWORD level, LPBYTE info) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = AllAccess();
    if (level != 1 || !info ||
        !OpenPrinterW(reinterpret_cast<DRIVER_UPGRADE_INFO_1W*>(info)->pPrinterName, &printer,
                      &defaults)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL result = SetUserModeValue(printer);
    DWORD error = result ? ERROR_SUCCESS : GetLastError();
    HMODULE ui = LoadUiLibrary(printer);
    if (auto upgrade = Export<PFN_uiDrvUpgradePrinter>(ui, "uiDrvUpgradePrinter")) {
        if (!upgrade(1, info) && result) {
            result = FALSE;
            error = GetLastError();
        }
    }
    if (ui) FreeLibrary(ui);
    ClosePrinter(printer);
    if (!result) SetLastError(error);
    return result;
}

} // namespace frontdoor
