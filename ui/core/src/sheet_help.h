// Context help of the pages and dialogs: a topic per page template, F1 and
// "What's this?" on a control, from the driver's help file (compiled HTML
// help for ".CHM", WinHelp otherwise).
#pragma once

#include <cstddef>

#include "localize.h"
#include "win/user.h"

namespace sheetwright {

// The HTML help interface's commands and window-type record, as the help
// system defines them.
inline constexpr UINT HH_SET_WIN_TYPE = 0x0004;
inline constexpr UINT HH_GET_WIN_TYPE = 0x0005;
inline constexpr UINT HH_HELP_CONTEXT = 0x000F;
inline constexpr DWORD HHWIN_PARAM_PROPERTIES = 0x0002;
inline constexpr DWORD HHWIN_PARAM_STYLES = 0x0004;
inline constexpr DWORD HHWIN_PARAM_EXSTYLES = 0x0008;
inline constexpr DWORD HHWIN_PARAM_RECT = 0x0010;
inline constexpr DWORD HHWIN_PARAM_TB_FLAGS = 0x0100;
inline constexpr DWORD HHWIN_PARAM_TABPOS = 0x0400;
inline constexpr DWORD HHWIN_PARAM_TABORDER = 0x0800;
inline constexpr DWORD HHWIN_PROP_CHANGE_TITLE = 0x2000;
inline constexpr int HH_MAX_TABS = 19;

struct HH_WINTYPE {
    int cbStruct;
    BOOL fUniCodeStrings;
    LPCSTR pszType;
    DWORD fsValidMembers;
    DWORD fsWinProperties;
    LPCSTR pszCaption;
    DWORD dwStyles;
    DWORD dwExStyles;
    RECT rcWindowPos;
    int nShowState;
    HWND hwndHelp;
    HWND hwndCaller;
    void* paInfoTypes;
    HWND hwndToolBar;
    HWND hwndNavigation;
    HWND hwndHTML;
    int iNavWidth;
    RECT rcHTML;
    LPCSTR pszToc;
    LPCSTR pszIndex;
    LPCSTR pszFile;
    LPCSTR pszHome;
    DWORD fsToolBarFlags;
    BOOL fNotExpanded;
    int curNavType;
    int tabpos;
    int idNotify;
    BYTE tabOrder[HH_MAX_TABS + 1];
    int cHistory;
    LPCSTR pszJump1;
    LPCSTR pszJump2;
    LPCSTR pszUrlJump1;
    LPCSTR pszUrlJump2;
    RECT rcMinSize;
    int cbInfoTypes;
    LPCSTR pszCustomTabs;
};
static_assert(sizeof(HH_WINTYPE) == 280 && offsetof(HH_WINTYPE, nShowState) == 56 &&
              offsetof(HH_WINTYPE, tabOrder) == 188 && offsetof(HH_WINTYPE, pszCustomTabs) == 272);

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
