// Sheetwright's property-sheet exports and its application object.
#include "prop_page.h"
#include "sheet_app.h"
#include "ui/sheetwright.h"
#include "win/base.h"

namespace {

sheetwright::CTovaUi16 theApp;

} // namespace

// The pages of one document or device sheet, added through the sheet's
// callback: 1 when every page was added.
DLLEXPORT DWORD WINAPI MFCPropPage(PropPageParams* params) {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    InitCommonControls();
    sheetwright::SheetContext* context = sheetwright::CreateSheetContext(params);
    if (!context) return 0;
    return sheetwright::BuildSheetPages(context, static_cast<HWND>(params->reserved8));
}

DLLEXPORT UINT CALLBACK PropPageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp) {
    return sheetwright::PropPageCallback(hwnd, message, psp);
}
