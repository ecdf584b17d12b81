// Sheetwright's property-sheet exports and its application object.
#include "export_guard.h"
#include "sheet_pages.h"
#include "sheet_app.h"
#include "ui/sheetwright.h"
#include "win/base.h"

namespace {

sheetwright::CTovaUi16 theApp;

DWORD BuildPages(PropPageParams* params) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    InitCommonControls();
    sheetwright::SheetContext* context = sheetwright::CreateSheetContext(params);
    if (!context) return 0;
    return sheetwright::BuildSheetPages(context, static_cast<HWND>(params->reserved8));
}

UINT PageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp) {
    return sheetwright::PropPageCallback(hwnd, message, psp);
}

} // namespace

// The pages of one document or device sheet, added through the sheet's
// callback: 1 when every page was added.
DLLEXPORT DWORD WINAPI MFCPropPage(PropPageParams* params) {
    return sheetwright::ExportGuard<&BuildPages, DWORD{0}>::Call(params);
}

// A page that could not be hooked is not created: the sheet goes on without it.
DLLEXPORT UINT CALLBACK PropPageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp) {
    return sheetwright::ExportGuard<&PageCallback, UINT{0}>::Call(hwnd, message, psp);
}
