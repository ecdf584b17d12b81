// Context help of the pages and dialogs: a topic per page template, F1 and
// "What's this?" on a control, from the driver's help file (compiled HTML
// help for ".CHM", WinHelp otherwise).
#pragma once

#include <cstddef>

#include "localize.h"
#include "win/htmlhelp.h"
#include "win/user.h"

namespace sheetwright {

// The help id used for a control that has none of its own.
inline constexpr DWORD kFallbackHelpId = 645;

struct HelpIdPair {
    DWORD controlId;
    DWORD helpId;
};
// The control-to-topic table, ending with a zero pair (WinHelp takes it whole).
const HelpIdPair* HelpIdTable();

BOOL IsChmFile(LPCWSTR name);
// The topic of the first pair of the id; 0 when none.
DWORD GetHelpContextId(DWORD controlId);
// The id of the smallest visible control of the dialog under the cursor
// (screen coordinates) and its window rectangle; 0 when none. A request made
// for the dialog itself (a disabled control passes its clicks on) goes there.
int FindHelpControl(HWND dialog, POINT cursor, RECT* rect);
// A topic of the help file (HELP_CONTEXT for WinHelp files).
BOOL OpenHelpTopic(HWND window, LPCWSTR helpFile, UINT command, DWORD helpId);
// Help for the control (or dialog) `window` under the cursor: command
// HELP_WM_HELP (F1) or HELP_CONTEXTMENU (right-click, asks "What's this?" first).
BOOL OnContextHelp(HWND window, LPCWSTR helpFile, UINT command, CLocalize* strings);
// A GPTR block: the window-type record followed by the ANSI type name and caption.
HH_WINTYPE* MakeHelpWindowType(const std::u16string& typeName, const std::u16string& caption,
                               POINT point);

} // namespace sheetwright
