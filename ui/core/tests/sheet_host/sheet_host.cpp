// A printer interface library for the sheet tests: its property-sheet entries
// hand the sheet to Sheetwright's MFCPropPage beside it, as the printer
// interface does, and keep what the test asks about (the image written back,
// the results the sheet was told).
#include <cstring>
#include <string>
#include <vector>

#include "ui/sheetwright.h"
#include "win/base.h"
#include "devmode_private.h"
#include "win/printer_sheets.h"
#include "win/user.h"

namespace {

HINSTANCE gModule = nullptr;
HMODULE gSheetwright = nullptr;
DEVMODE_IMAGEW gImage;
DWORD gExtraFlags = 0;
DWORD gPagesResult = 0;
LONG_PTR gPagesAdded = 0;
std::vector<LONG_PTR> gResults;

std::u16string SheetwrightPath() {
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(gModule, self, MAX_PATH);
    std::u16string path(self);
    size_t slash = path.find_last_of(u"\\/");
    return path.substr(0, slash == std::u16string::npos ? 0 : slash + 1) + u"Sheetwright.DLL";
}

LONG Sheets(PPROPSHEETUI_INFO info, LPARAM lParam, DWORD kind) {
    switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
        if (!gSheetwright) gSheetwright = LoadLibraryW(SheetwrightPath().c_str());
        auto build = gSheetwright ? reinterpret_cast<PFN_MFCPropPage>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(gSheetwright, "MFCPropPage")))
                                  : nullptr;
        if (!build) return -1;
        PropPageParams p{};
        p.size = sizeof p;
        p.interfaceModule = gModule;
        p.image = &gImage;
        p.pfnComPropSheet = info->pfnComPropSheet;
        p.hComPropSheet = info->hComPropSheet;
        p.propertyHeader = reinterpret_cast<LPVOID>(info->lParamInit);
        p.sheetKind = kind;
        p.constant104 = 4;
        p.constant106 = 1;
        p.portName = const_cast<LPWSTR>(u"LPT1:");
        if (kind == kSheetDocument) {
            auto* h = reinterpret_cast<PDOCUMENTPROPERTYHEADER>(info->lParamInit);
            p.inputDevmode = h->pdmIn;
            p.printerName = h->pszPrinterName;
            p.modeFlags = h->fMode;
        } else {
            auto* h = reinterpret_cast<PDEVICEPROPERTYHEADER>(info->lParamInit);
            p.printerName = h->pszPrinterName;
            p.modeFlags = h->Flags;
        }
        p.modeFlags |= gExtraFlags;
        gPagesResult = build(&p);
        gPagesAdded = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_GET_PAGECOUNT, 0, 0);
        return gPagesResult ? 1 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
        reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam)->Flags = PSUIHDRF_PROPTITLE;
        return 1;
    case PROPSHEETUI_REASON_SET_RESULT:
        gResults.push_back(reinterpret_cast<PSETRESULT_INFO>(lParam)->Result);
        info->Result = static_cast<ULONG_PTR>(gResults.back());
        return 1;
    case PROPSHEETUI_REASON_DESTROY:
        return 1;
    default:
        return -1;
    }
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gModule = instance;
    return TRUE;
}

DLLEXPORT LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    return info ? Sheets(info, lParam, kSheetDocument) : -1;
}

DLLEXPORT LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    return info ? Sheets(info, lParam, kSheetDevice) : -1;
}

// What a test sets before a sheet and reads after it.
DLLEXPORT void SheetHostReset(const void* image, DWORD extraFlags) {
    std::memcpy(&gImage, image, sizeof gImage);
    gExtraFlags = extraFlags;
    gPagesResult = 0;
    gPagesAdded = 0;
    gResults.clear();
}
DLLEXPORT const void* SheetHostImage() {
    return &gImage;
}
DLLEXPORT DWORD SheetHostPagesResult() {
    return gPagesResult;
}
DLLEXPORT LONG_PTR SheetHostPagesAdded() {
    return gPagesAdded;
}
DLLEXPORT size_t SheetHostResults(LONG_PTR* out, size_t max) {
    for (size_t i = 0; i < gResults.size() && i < max; ++i)
        out[i] = gResults[i];
    return gResults.size();
}
// Lets Sheetwright go once no page of it is left.
DLLEXPORT void SheetHostUnload() {
    if (gSheetwright) FreeLibrary(gSheetwright);
    gSheetwright = nullptr;
}
