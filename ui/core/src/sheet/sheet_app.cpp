#include "sheet_app.h"

#include <string>

#include "localize.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringErrorTitle = 20022;
constexpr DWORD kStringMissingFiles = 20023;

void ShowMissingFileBox(HWND owner) {
    CLocalize strings(AfxGetResourceHandle());
    std::u16string title, text;
    strings.LoadString(kStringErrorTitle, &title);
    strings.LoadString(kStringMissingFiles, &text);
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_ICONHAND | (owner ? 0 : MB_SYSTEMMODAL));
}

} // namespace

CTovaUi16::CTovaUi16() : CWinApp(kLibraryFileName) {}

void CTovaUi16::WarnMissingFile(HWND owner, LPCWSTR fileName) {
    if (!fileName) return;
    ShowMissingFileBox(owner);
    for (INT_PTR i = 0; i < missingFiles_.GetSize(); ++i)
        if (lstrcmpiW(missingFiles_[i], fileName) == 0) return;
    missingFiles_.Add(fileName);
}

void WarnMissingFile(HWND owner, LPCWSTR fileName) {
    if (auto* app = dynamic_cast<CTovaUi16*>(AfxGetApp()))
        app->WarnMissingFile(owner, fileName);
    else if (fileName)
        ShowMissingFileBox(owner);
}

} // namespace sheetwright
