// A small printer interface library for the spooler's property-sheet calls:
// document sheets of two pages and a device sheet of one, each page telling
// the sheet its result on Apply, everything logged.
#include <string>

#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/user.h"

namespace {

HINSTANCE gModule = nullptr;
std::string gLog;
PFNCOMPROPSHEET gSheetCallback = nullptr;
HANDLE gSheet = nullptr;

void Log(const std::string& line) {
    gLog += line + "\n";
}

INT_PTR CALLBACK PageProc(HWND h, UINT msg, WPARAM, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(lp);
        SetWindowLongPtrW(h, DWLP_USER, psp->lParam);
        Log("page " + std::to_string(psp->lParam) + " init");
        return TRUE;
    }
    if (msg == WM_NOTIFY) {
        auto* n = reinterpret_cast<NMHDR*>(lp);
        LONG_PTR page = GetWindowLongPtrW(h, DWLP_USER);
        if (n->code == PSN_APPLY) {
            Log("page " + std::to_string(page) + " apply");
            gSheetCallback(gSheet, CPSFUNC_SET_RESULT, 0, CPSUI_OK);
            SetWindowLongPtrW(h, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        if (n->code == PSN_RESET) Log("page " + std::to_string(page) + " reset");
    }
    return FALSE;
}

UINT CALLBACK PageCallback(HWND, UINT msg, PROPSHEETPAGEW* psp) {
    const char* what = msg == PSPCB_ADDREF ? "addref" : msg == PSPCB_CREATE ? "create" : "release";
    Log("page " + std::to_string(psp->lParam) + " " + what);
    return 1;
}

bool AddPage(PPROPSHEETUI_INFO info, int templateId, LPARAM index) {
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.dwFlags = PSP_USECALLBACK | PSP_HASHELP;
    psp.hInstance = gModule;
    psp.pszTemplate = MAKEINTRESOURCEW(templateId);
    psp.pfnDlgProc = PageProc;
    psp.lParam = index;
    psp.pfnCallback = PageCallback;
    HPROPSHEETPAGE page = CreatePropertySheetPageW(&psp);
    return page && info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE,
                                         reinterpret_cast<LPARAM>(page), 0) != 0;
}

LONG Sheets(PPROPSHEETUI_INFO info, LPARAM lParam, bool document) {
    switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
        Log(document ? "init document" : "init device");
        gSheetCallback = info->pfnComPropSheet;
        gSheet = info->hComPropSheet;
        bool ok = AddPage(info, 100, 1) && (!document || AddPage(info, 101, 2));
        return ok ? 1 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
        auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
        header->Flags = PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE;
        header->pTitle = reinterpret_cast<LPWSTR>(
            document ? reinterpret_cast<PDOCUMENTPROPERTYHEADER>(info->lParamInit)->pszPrinterName
                     : reinterpret_cast<PDEVICEPROPERTYHEADER>(info->lParamInit)->pszPrinterName);
        Log("header");
        return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
        info->Result = static_cast<ULONG_PTR>(reinterpret_cast<PSETRESULT_INFO>(lParam)->Result);
        Log("set result " + std::to_string(info->Result));
        return 1;
    case PROPSHEETUI_REASON_DESTROY:
        Log("destroy " + std::to_string(lParam));
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
    if (!info) {
        // The direct call: the size of the device mode, or a copy of the input.
        auto* header = reinterpret_cast<PDOCUMENTPROPERTYHEADER>(lParam);
        Log("direct " + std::to_string(header->fMode));
        header->cbOut = sizeof(DEVMODEW);
        return header->fMode == 0 ? static_cast<LONG>(sizeof(DEVMODEW)) : 1;
    }
    return Sheets(info, lParam, true);
}

DLLEXPORT LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    return info ? Sheets(info, lParam, false) : -1;
}

DLLEXPORT const char* SheetTestLog() {
    return gLog.c_str();
}
DLLEXPORT void SheetTestClearLog() {
    gLog.clear();
}
