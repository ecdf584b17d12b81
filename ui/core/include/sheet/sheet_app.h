// CTovaUi16: Sheetwright's application object (one per library, made at
// load), and the warning that a file the library needs is missing.
#pragma once

#include "afxwin.h"

namespace sheetwright {

inline constexpr char16_t kLibraryFileName[] = u"Sheetwright.DLL";

class CTovaUi16 : public CWinApp {
  public:
    CTovaUi16();
    BOOL InitInstance() override { return TRUE; }

    // Tells the user that fileName is missing (a system-modal box without an
    // owner) and remembers the name once, whatever its case.
    void WarnMissingFile(HWND owner, LPCWSTR fileName);
    const CStringArray& MissingFiles() const { return missingFiles_; }

  private:
    CStringArray missingFiles_;
};

// The warning through the library's application object; without one (a
// program linking the core) the box is still shown.
void WarnMissingFile(HWND owner, LPCWSTR fileName);

} // namespace sheetwright
