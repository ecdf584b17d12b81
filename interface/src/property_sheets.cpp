// The document and device property sheets: one UIContext per sheet holds the
// working image and the bound libraries from the sheet's creation to its
// destruction; Sheetwright builds the pages.
#include <cstring>

#include "frontdoor.h"

namespace frontdoor {
namespace {

constexpr SIZE_T kContextHeapSize = 8192;
constexpr WORD kSheetIcon = 64062;
constexpr WORD kParamsConstant104 = 4, kParamsConstant106 = 1;

struct UIContext {
    UIContext* self;
    HANDLE hPrinter;
    HANDLE heap;
    DEVMODE_IMAGEW image;
    HMODULE uiLibrary;
    HMODULE modelLibrary;
    LPVOID modelData;
    UIContext* selfEnd;
};

bool IsValid(const UIContext* c) {
    return c && c->self == c && c->selfEnd == c;
}

UIContext* ContextOf(const PROPSHEETUI_INFO* info) {
    auto* c = reinterpret_cast<UIContext*>(info->UserData);
    return IsValid(c) ? c : nullptr;
}

void FreeUIContext(UIContext* c) {
    FreeComponents(c->uiLibrary, c->modelLibrary, c->modelData);
    HeapDestroy(c->heap); // the context lives in its own heap
}

UIContext* CreateUIContext(HANDLE printer, const DEVMODEW* pdmIn) {
    HANDLE heap = HeapCreate(0, kContextHeapSize, 0);
    if (!heap) return nullptr;
    auto* c = static_cast<UIContext*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(UIContext)));
    if (!c) {
        HeapDestroy(heap);
        return nullptr;
    }
    c->self = c->selfEnd = c;
    c->hPrinter = printer;
    c->heap = heap;
    LoadComponents(printer, &c->uiLibrary, &c->modelLibrary, &c->modelData);
    PRINTER_INFO_2W* info = QueryPrinterInfo2(printer);
    if (!info) {
        FreeUIContext(c);
        return nullptr;
    }
    DEVMODEW* image = &c->image.dm;
    MakeDefaultDevmode(c->modelData, printer, image, info->pDriverName);
    if (const DEVMODEW* stored = PrinterDevmode(info))
        MergeDevmode(c->modelData, image, stored, printer);
    MergeDevmode(c->modelData, image, pdmIn, printer);
    // A bin the caller named stays, even where the revision chose the automatic one.
    if (pdmIn && (pdmIn->dmFields & DM_DEFAULTSOURCE) &&
        pdmIn->dmDefaultSource != image->dmDefaultSource && image->dmDefaultSource == DMBIN_AUTO)
        image->dmDefaultSource = pdmIn->dmDefaultSource;
    GlobalFree(info);
    FORM_INFO_1W form{};
    WCHAR formName[CCHFORMNAME] = {};
    CheckFormName(printer, image, &form, formName);
    return c;
}

// The port the pages show: "server\port", the port alone, or NULL.
LPWSTR PortString(UIContext* c) {
    PRINTER_INFO_2W* info = QueryPrinterInfo2(c->hPrinter);
    if (!info) return nullptr;
    LPWSTR port = nullptr;
    if (info->pPortName && *info->pPortName) {
        bool server = info->pServerName && *info->pServerName;
        int length = lstrlenW(info->pPortName) + (server ? lstrlenW(info->pServerName) + 1 : 0);
        port = static_cast<LPWSTR>(
            HeapAlloc(c->heap, HEAP_ZERO_MEMORY, (static_cast<SIZE_T>(length) + 1) * 2));
        if (port) {
            if (server) {
                lstrcpyW(port, info->pServerName);
                lstrcatW(port, u"\\");
            }
            lstrcatW(port, info->pPortName);
        }
    }
    GlobalFree(info);
    return port;
}

// Hands the sheet to Sheetwright's MFCPropPage; 1 when it added its pages.
LONG AddPages(PPROPSHEETUI_INFO info, UIContext* c, PDEVMODEW pdmIn, LPWSTR printerName,
              LPVOID header, DWORD modeFlags, DWORD kind) {
    info->Result = 0;
    info->UserData = reinterpret_cast<ULONG_PTR>(c);
    PropPageParams params{};
    params.size = sizeof params;
    params.interfaceModule = gModule;
    params.inputDevmode = pdmIn;
    params.image = &c->image;
    params.printerName = printerName;
    params.portName = PortString(c);
    params.pfnComPropSheet = info->pfnComPropSheet;
    params.hComPropSheet = info->hComPropSheet;
    params.propertyHeader = header;
    params.modeFlags = modeFlags;
    params.sheetKind = kind;
    params.constant104 = kParamsConstant104;
    params.constant106 = kParamsConstant106;
    auto build = Export<PFN_MFCPropPage>(c->uiLibrary, "MFCPropPage");
    if (build && build(&params) != 0) return 1;
    // A page that could not be made has been reported by the UI library; the
    // pages it did add work on this context's image, so the sheet goes on with
    // them and the context lives until the sheet's end. Only a sheet without
    // any page is given up.
    if (build && info->pfnComPropSheet &&
        info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_GET_PAGECOUNT, 0, 0) > 0)
        return 1;
    info->UserData = 0;
    FreeUIContext(c);
    return -1;
}

LONG InfoHeader(LPARAM lParam, LPWSTR title) {
    auto* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
    if (!header) return -1;
    header->Flags = PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE;
    header->pTitle = title;
    header->hInst = gModule;
    header->IconID = kSheetIcon;
    return 1;
}

LONG SetResult(PPROPSHEETUI_INFO info, LPARAM lParam, LRESULT* result) {
    auto* set = reinterpret_cast<SETRESULT_INFO*>(lParam);
    if (!set) return -1;
    *result = set->Result;
    info->Result = static_cast<ULONG_PTR>(set->Result);
    return 1;
}

// The reasons after creation, alike for both sheets; a SET_RESULT's result in *result.
LONG LaterReason(PPROPSHEETUI_INFO info, LPARAM lParam, LPWSTR title, UIContext* c,
                 LRESULT* result) {
    switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
        return InfoHeader(lParam, title);
    case PROPSHEETUI_REASON_DESTROY:
        info->UserData = 0;
        FreeUIContext(c);
        return 1;
    case PROPSHEETUI_REASON_SET_RESULT:
        return SetResult(info, lParam, result);
    default:
        return -1;
    }
}

// The direct call: merge and copy, no sheet.
LONG DirectDocumentProperties(DOCUMENTPROPERTYHEADER* header) {
    header->cbOut = kImageSize;
    if (header->fMode == 0 || !header->pdmOut) return kImageSize;
    UIContext* c = CreateUIContext(header->hPrinter, header->pdmIn);
    if (!c) return -1;
    if (header->fMode & (DM_UPDATE | DM_COPY))
        CopyDevmodeOut(&c->image.dm, header->pdmIn, header->pdmOut);
    FreeUIContext(c);
    return 1;
}

} // namespace

LONG DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info ? info->lParamInit : lParam);
    if (!header) return -1;
    if (!info) return DirectDocumentProperties(header);
    if (info->Reason == PROPSHEETUI_REASON_INIT) {
        if (!CheckDriverFiles(header->hPrinter, kCheckSheets)) return -1;
        UIContext* c = CreateUIContext(header->hPrinter, header->pdmIn);
        if (!IsValid(c)) return -1;
        return AddPages(info, c, header->pdmIn, header->pszPrinterName, header, header->fMode,
                        kSheetDocument);
    }
    UIContext* c = ContextOf(info);
    if (!c) return -1;
    LRESULT result = CPSUI_CANCEL;
    LONG r = LaterReason(info, lParam, header->pszPrinterName, c, &result);
    if (r > 0 && info->Reason == PROPSHEETUI_REASON_SET_RESULT && result == CPSUI_OK &&
        (header->fMode & (DM_UPDATE | DM_COPY))) {
        c->image.priv.Reserved748 = c->image.priv.Reserved744;
        UpdateEmfPlaybackFlag(&c->image.dm, &c->image.priv);
        if (header->pdmOut) CopyDevmodeOut(&c->image.dm, header->pdmIn, header->pdmOut);
    }
    return r;
}

LONG DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    if (!info || !info->lParamInit) return -1;
    auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit);
    if (info->Reason == PROPSHEETUI_REASON_INIT) {
        UIContext* c = CreateUIContext(header->hPrinter, nullptr);
        if (!IsValid(c)) return -1;
        return AddPages(info, c, nullptr, header->pszPrinterName, header, header->Flags,
                        kSheetDevice);
    }
    UIContext* c = ContextOf(info);
    if (!c) return -1;
    // The device pages store their settings themselves: nothing is copied here.
    LRESULT result = CPSUI_CANCEL;
    return LaterReason(info, lParam, header->pszPrinterName, c, &result);
}

} // namespace frontdoor
