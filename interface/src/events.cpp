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
// without its terminating NUL, as the spooler has always read it.
void SetUserModeValue(HANDLE printer) {
    SetPrinterDataW(printer, const_cast<LPWSTR>(kUserModeValue), REG_SZ,
                    reinterpret_cast<LPBYTE>(const_cast<LPWSTR>(kUserModeDriver)),
                    static_cast<DWORD>(lstrlenW(kUserModeDriver) * sizeof(WCHAR)));
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
        SetUserModeValue(printer);
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

BOOL PrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
    PRINTER_DEFAULTSW defaults = AllAccess();
    if (event == PRINTER_EVENT_INITIALIZE) {
        HANDLE printer = nullptr;
        if (OpenPrinterW(printerName, &printer, &defaults)) {
            PRINTER_INFO_7W publish{nullptr, DSPRINT_UPDATE};
            SetPrinterW(printer, 7, reinterpret_cast<LPBYTE>(&publish), 0);
            SetUserModeValue(printer);
            ClosePrinter(printer);
        }
    } else if (event == PRINTER_EVENT_CACHE_REFRESH) {
        if (!RefreshCache(printerName)) return FALSE;
    }
    HANDLE printer = nullptr;
    bool withDefaults = event != PRINTER_EVENT_CACHE_REFRESH;
    if (!OpenPrinterW(printerName, &printer, withDefaults ? &defaults : nullptr)) return TRUE;
    HMODULE ui = LoadUiLibrary(printer);
    if (auto forward = Export<PFN_uiDrvPrinterEvent>(ui, "uiDrvPrinterEvent"))
        forward(printerName, event, flags, lParam);
    if (ui) FreeLibrary(ui);
    ClosePrinter(printer);
    return TRUE;
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
    SetUserModeValue(printer);
    BOOL result = TRUE;
    HMODULE ui = LoadUiLibrary(printer);
    if (auto upgrade = Export<PFN_uiDrvUpgradePrinter>(ui, "uiDrvUpgradePrinter"))
        result = upgrade(1, info);
    if (ui) FreeLibrary(ui);
    ClosePrinter(printer);
    return result;
}

} // namespace frontdoor
