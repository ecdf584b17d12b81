// The HTML help interface: its commands and the window-type record that
// HH_SET_WIN_TYPE defines and HH_GET_WIN_TYPE answers.
#pragma once

#include <cstddef>

#include "win/user.h"

#define HH_SET_WIN_TYPE 0x0004
#define HH_GET_WIN_TYPE 0x0005
#define HH_HELP_CONTEXT 0x000F

// fsValidMembers of HH_WINTYPE.
#define HHWIN_PARAM_PROPERTIES 0x0002
#define HHWIN_PARAM_STYLES 0x0004
#define HHWIN_PARAM_EXSTYLES 0x0008
#define HHWIN_PARAM_RECT 0x0010
#define HHWIN_PARAM_TB_FLAGS 0x0100
#define HHWIN_PARAM_TABPOS 0x0400
#define HHWIN_PARAM_TABORDER 0x0800
// fsWinProperties of HH_WINTYPE.
#define HHWIN_PROP_CHANGE_TITLE 0x2000

#define HH_MAX_TABS 19

typedef struct tagHH_WINTYPE {
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
} HH_WINTYPE, *PHH_WINTYPE;
static_assert(sizeof(HH_WINTYPE) == 280 && offsetof(HH_WINTYPE, nShowState) == 56 &&
              offsetof(HH_WINTYPE, tabOrder) == 188 && offsetof(HH_WINTYPE, pszCustomTabs) == 272);
