// The spooler's side of the printer's property sheets: DocumentPropertiesW
// and PrinterProperties load the printer's interface library, let it add its
// pages through the common property-sheet callback, show the sheet and tell
// the library the result.
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/loader.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "spooler_internal.h"

namespace {

// One sheet being built: the pages its library added and the library's
// entry, which hears of the results.
struct ComPropSheet {
    PFNPROPSHEETUI entry = nullptr;
    PROPSHEETUI_INFO info{};
    std::vector<HPROPSHEETPAGE> pages;
    UINT startPage = 0;
};

std::mutex gLock;
std::set<ComPropSheet*>& Sheets() {
    static auto* sheets = new std::set<ComPropSheet*>;
    return *sheets;
}

ComPropSheet* SheetOf(HANDLE h) {
    std::lock_guard lock(gLock);
    auto* s = static_cast<ComPropSheet*>(h);
    return Sheets().count(s) ? s : nullptr;
}

LONG_PTR CALLBACK ComPropSheetProc(HANDLE hComPropSheet, UINT function, LPARAM lParam1,
                                   LPARAM lParam2) {
    ComPropSheet* s = SheetOf(hComPropSheet);
    if (!s) return 0;
    switch (function) {
    case CPSFUNC_ADD_HPROPSHEETPAGE: {
        auto page = reinterpret_cast<HPROPSHEETPAGE>(lParam1);
        if (!page) return 0;
        s->pages.push_back(page);
        return lParam1; // the page's handle stands for it in later calls
    }
    case CPSFUNC_ADD_PROPSHEETPAGEW: {
        HPROPSHEETPAGE page =
            CreatePropertySheetPageW(reinterpret_cast<LPCPROPSHEETPAGEW>(lParam1));
        if (!page) return 0;
        s->pages.push_back(page);
        return reinterpret_cast<LONG_PTR>(page);
    }
    case CPSFUNC_GET_PAGECOUNT:
        return static_cast<LONG_PTR>(s->pages.size());
    case CPSFUNC_SET_HSTARTPAGE:
        for (size_t i = 0; i < s->pages.size(); ++i)
            if (reinterpret_cast<LPARAM>(s->pages[i]) == lParam1)
                s->startPage = static_cast<UINT>(i);
        return 1;
    case CPSFUNC_SET_RESULT: {
        SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, reinterpret_cast<HANDLE>(lParam1),
                              lParam2};
        s->info.Reason = PROPSHEETUI_REASON_SET_RESULT;
        LONG r = s->entry(&s->info, reinterpret_cast<LPARAM>(&result));
        return r > 0 ? 1 : 0;
    }
    default:
        return 0; // not offered to printer interface libraries here
    }
}

// Runs the sheet of a library's entry for the header in lParamInit:
// CPSUI_OK or CPSUI_CANCEL, -1 when the library could not build it.
LONG RunSheet(HWND parent, PFNPROPSHEETUI entry, LPARAM lParamInit,
              const std::u16string& fallbackTitle) {
    auto sheet = std::make_unique<ComPropSheet>();
    ComPropSheet* s = sheet.get();
    s->entry = entry;
    s->info = {sizeof(PROPSHEETUI_INFO),
               PROPSHEETUI_INFO_VERSION,
               0,
               PROPSHEETUI_REASON_INIT,
               s,
               ComPropSheetProc,
               lParamInit,
               0,
               0};
    {
        std::lock_guard lock(gLock);
        Sheets().insert(s);
    }
    auto forget = [&] {
        std::lock_guard lock(gLock);
        Sheets().erase(s);
    };
    if (entry(&s->info, 0) <= 0 || s->pages.empty()) {
        for (auto* p : s->pages)
            DestroyPropertySheetPage(p);
        forget();
        SetLastError(ERROR_CANCELLED);
        return -1;
    }
    PROPSHEETUI_INFO_HEADER header{};
    header.cbSize = sizeof header;
    header.hWndParent = parent;
    s->info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    entry(&s->info, reinterpret_cast<LPARAM>(&header));
    std::u16string title = header.pTitle ? std::u16string(header.pTitle) : fallbackTitle;
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.dwFlags = ((header.Flags & PSUIHDRF_NOAPPLYNOW) ? PSH_NOAPPLYNOW : 0) |
                  ((header.Flags & PSUIHDRF_PROPTITLE) ? PSH_PROPTITLE : 0);
    psh.hwndParent = parent;
    psh.hInstance = header.hInst;
    psh.pszCaption = title.c_str();
    psh.nPages = static_cast<UINT>(s->pages.size());
    psh.nStartPage = s->startPage;
    psh.phpage = s->pages.data();
    INT_PTR shown = PropertySheetW(&psh); // the sheet releases the pages
    s->info.Reason = PROPSHEETUI_REASON_DESTROY;
    entry(&s->info, shown > 0 ? 1 : 0);
    forget();
    if (shown < 0) return -1;
    return shown > 0 ? CPSUI_OK : CPSUI_CANCEL;
}

std::u16string PrinterName(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return {};
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    return info->pPrinterName ? info->pPrinterName : u"";
}

template <class F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

} // namespace

namespace platform::spooler {

// The printer's interface library (its driver's configuration file) and one
// of its exports; nullptr with the last error set when either is missing.
HMODULE LoadInterfaceLibrary(HANDLE printer, const char* exportName, FARPROC* entry) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
    if (needed == 0) return nullptr;
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterDriverW(printer, nullptr, 2, buffer.data(), needed, &needed)) return nullptr;
    auto* info = reinterpret_cast<DRIVER_INFO_2W*>(buffer.data());
    if (!info->pConfigFile || !*info->pConfigFile) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HMODULE module = LoadLibraryW(info->pConfigFile);
    if (!module) return nullptr;
    *entry = GetProcAddress(module, exportName);
    if (!*entry) {
        FreeLibrary(module);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return module;
}

} // namespace platform::spooler

using platform::spooler::LoadInterfaceLibrary;

extern "C" {

// fMode 0 asks for the size of the library's device mode; without
// DM_IN_PROMPT the library merges and copies directly; with it the document
// sheet is shown (IDOK or IDCANCEL). -1 on failure.
LONG WINAPI DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName,
                                PDEVMODEW pDevModeOutput, PDEVMODEW pDevModeInput, DWORD fMode) {
    try {
        HANDLE opened = nullptr;
        if (!hPrinter) {
            if (!pDeviceName || !OpenPrinterW(pDeviceName, &opened, nullptr)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return -1;
            }
            hPrinter = opened;
        }
        FARPROC entry = nullptr;
        HMODULE module = LoadInterfaceLibrary(hPrinter, "DrvDocumentPropertySheets", &entry);
        LONG result = -1;
        if (module) {
            std::u16string name = pDeviceName ? std::u16string(pDeviceName) : PrinterName(hPrinter);
            // An input of another version of the driver reaches the library
            // as its driver makes it now, as the spooler stores such device
            // modes. One without a private part carries public settings only;
            // the library answers it in its own sizes.
            std::vector<BYTE> converted;
            PDEVMODEW input = pDevModeInput;
            if (input && input->dmDriverExtra != 0 &&
                platform::spooler::CopyDevmodeW(input, &converted)) {
                converted =
                    platform::spooler::InDriverFormat(PrinterName(hPrinter), std::move(converted));
                input = reinterpret_cast<PDEVMODEW>(converted.data());
            }
            DOCUMENTPROPERTYHEADER header{sizeof header,  0, hPrinter, name.data(), input,
                                          pDevModeOutput, 0, fMode};
            auto sheets = As<PFNPROPSHEETUI>(entry);
            if (!(fMode & DM_IN_PROMPT)) {
                // The direct call: no sheet info, the header in lParam.
                LONG r = sheets(nullptr, reinterpret_cast<LPARAM>(&header));
                result = fMode == 0 ? r : (r > 0 ? IDOK : -1);
            } else {
                LONG r = RunSheet(hWnd, sheets, reinterpret_cast<LPARAM>(&header), name);
                result = r < 0 ? -1 : (r == CPSUI_OK ? IDOK : IDCANCEL);
            }
            FreeLibrary(module);
        }
        if (opened) ClosePrinter(opened);
        return result;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

BOOL WINAPI PrinterProperties(HWND hWnd, HANDLE hPrinter) {
    try {
        FARPROC entry = nullptr;
        HMODULE module = LoadInterfaceLibrary(hPrinter, "DrvDevicePropertySheets", &entry);
        if (!module) return FALSE;
        std::u16string name = PrinterName(hPrinter);
        // A handle without administration rights gets a sheet that shows the
        // device settings but cannot change them.
        auto handle = platform::spooler::FindPrinterHandle(hPrinter);
        WORD flags = handle && (handle->access & PRINTER_ACCESS_ADMINISTER) ? 0 : DPS_NOPERMISSION;
        DEVICEPROPERTYHEADER header{sizeof header, flags, hPrinter, name.data()};
        LONG r = RunSheet(hWnd, As<PFNPROPSHEETUI>(entry), reinterpret_cast<LPARAM>(&header), name);
        FreeLibrary(module);
        return r >= 0;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

} // extern "C"
