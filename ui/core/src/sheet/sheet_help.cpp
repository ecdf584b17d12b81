#include "sheet_help.h"

#include <cstring>
#include <string>

#include "driver_env.h"
#include "win/memory.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringWhatsThis = 7900;
constexpr DWORD kStringPopupType = 7901;
constexpr DWORD kStringPopupCaption = 7902;
constexpr UINT kWhatsThisCommand = 1;
constexpr int kPopupSize = 500;
constexpr int kPopupBelowControl = 10;
constexpr DWORD kNewTypeMembers = HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_STYLES |
                                  HHWIN_PARAM_EXSTYLES | HHWIN_PARAM_RECT | HHWIN_PARAM_TB_FLAGS |
                                  HHWIN_PARAM_TABPOS | HHWIN_PARAM_TABORDER;
constexpr DWORD kShownTypeMembers = HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT;
constexpr DWORD kPopupStyles = WS_DLGFRAME | WS_THICKFRAME;
constexpr DWORD kPopupExStyles = WS_EX_TOOLWINDOW;
constexpr INT_PTR kNoWindowType = -1;

// Pages and dialogs first (their templates' topics), then controls.
constexpr HelpIdPair kHelpIds[] = {
    {100, 2},   {150, 3},   {250, 4},   {200, 5},   {950, 6},   {550, 7},   {900, 8},
    {300, 16},  {1200, 17}, {750, 9},   {650, 10},  {700, 11},  {850, 12},  {800, 13},
    {1150, 19}, {1050, 18}, {1000, 23}, {1100, 20}, {500, 21},  {350, 22},  {366, 31},
    {450, 15},  {400, 14},  {401, 25},  {111, 501}, {112, 501}, {114, 502}, {0, 0},
};

// The standard buttons of sheets and dialogs have no topic.
bool IsStandardButton(int id) {
    return (id >= IDOK && id <= 11) || id == 23;
}

bool Contains(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool ChoseWhatsThis(HWND window, POINT cursor, const std::u16string& text) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return false;
    AppendMenuW(menu, MF_STRING, kWhatsThisCommand, text.c_str());
    BOOL chosen = TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, cursor.x,
                                 cursor.y, 0, window, nullptr);
    DestroyMenu(menu);
    return chosen == static_cast<BOOL>(kWhatsThisCommand);
}

// The popup's window type: the help system's own, or a new one.
HH_WINTYPE* WindowType(const std::u16string& topic, const std::u16string& typeName,
                       const std::u16string& caption, POINT cursor) {
    HH_WINTYPE* known = nullptr;
    HWND r = HtmlHelpW(GetDesktopWindow(), topic.c_str(), HH_GET_WIN_TYPE,
                       reinterpret_cast<DWORD_PTR>(&known));
    if (reinterpret_cast<INT_PTR>(r) == kNoWindowType)
        return MakeHelpWindowType(typeName, caption, cursor);
    if (!known || known->cbStruct < static_cast<int>(sizeof(HH_WINTYPE))) return nullptr;
    auto* copy = static_cast<HH_WINTYPE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(known->cbStruct)));
    if (copy) std::memcpy(copy, known, static_cast<size_t>(known->cbStruct));
    return copy;
}

} // namespace

int FindHelpControl(HWND dialog, POINT cursor, RECT* rect) {
    POINT client = cursor;
    ScreenToClient(dialog, &client);
    HWND child = ChildWindowFromPointEx(dialog, client, CWP_SKIPINVISIBLE);
    if (!child || child == dialog) return 0;
    int id = GetDlgCtrlID(child);
    GetWindowRect(child, rect);
    for (HWND s = GetWindow(child, GW_HWNDNEXT); s; s = GetWindow(s, GW_HWNDNEXT)) {
        RECT r;
        if (!IsWindowVisible(s) || !GetWindowRect(s, &r) || !Contains(r, cursor)) continue;
        if (r.right - r.left <= rect->right - rect->left &&
            r.bottom - r.top <= rect->bottom - rect->top) {
            id = GetDlgCtrlID(s);
            *rect = r;
        }
    }
    return id;
}

const HelpIdPair* HelpIdTable() {
    return kHelpIds;
}

BOOL IsChmFile(LPCWSTR name) {
    if (!name) return FALSE;
    int n = lstrlenW(name);
    return n >= 5 && lstrcmpiW(name + n - 4, u".CHM") == 0;
}

DWORD GetHelpContextId(DWORD controlId) {
    for (const HelpIdPair* p = kHelpIds; p->controlId || p->helpId; ++p)
        if (p->controlId == controlId) return p->helpId;
    return 0;
}

BOOL OpenHelpTopic(HWND window, LPCWSTR helpFile, UINT command, DWORD helpId) {
    if (IsChmFile(helpFile))
        return HtmlHelpW(GetDesktopWindow(), helpFile, HH_HELP_CONTEXT, helpId) != nullptr;
    return WinHelpW(window, helpFile, command, helpId);
}

HH_WINTYPE* MakeHelpWindowType(const std::u16string& typeName, const std::u16string& caption,
                               POINT point) {
    std::string type = WideToAnsiString(typeName), title = WideToAnsiString(caption);
    SIZE_T size = sizeof(HH_WINTYPE) + type.size() + 1 + title.size() + 1;
    auto* w = static_cast<HH_WINTYPE*>(GlobalAlloc(GPTR, size));
    if (!w) return nullptr;
    char* strings = reinterpret_cast<char*>(w + 1);
    std::memcpy(strings, type.c_str(), type.size() + 1);
    std::memcpy(strings + type.size() + 1, title.c_str(), title.size() + 1);
    w->cbStruct = static_cast<int>(size);
    w->pszType = strings;
    w->pszCaption = strings + type.size() + 1;
    w->fsValidMembers = kNewTypeMembers;
    w->fsWinProperties = HHWIN_PROP_CHANGE_TITLE;
    w->dwStyles = kPopupStyles;
    w->dwExStyles = kPopupExStyles;
    w->rcWindowPos = {point.x, point.y, point.x + kPopupSize, point.y + kPopupSize};
    return w;
}

BOOL OnContextHelp(HWND window, LPCWSTR helpFile, UINT command, CLocalize* strings) {
    if (!IsChmFile(helpFile)) {
        if (command != HELP_WM_HELP && command != HELP_CONTEXTMENU) return FALSE;
        return WinHelpW(window, helpFile, command, reinterpret_cast<ULONG_PTR>(kHelpIds));
    }
    std::u16string whatsThis, typeName, caption;
    if (strings) {
        strings->LoadString(kStringWhatsThis, &whatsThis);
        strings->LoadString(kStringPopupType, &typeName);
        strings->LoadString(kStringPopupCaption, &caption);
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT rect{};
    int id = GetDlgCtrlID(window);
    if (id == 0) {
        id = FindHelpControl(window, cursor, &rect);
        if (id == 0) return FALSE;
    } else {
        GetWindowRect(window, &rect);
    }
    DWORD helpId = GetHelpContextId(static_cast<DWORD>(id));
    if (IsStandardButton(id)) return FALSE;
    if (command == HELP_CONTEXTMENU && !ChoseWhatsThis(window, cursor, whatsThis)) return FALSE;

    std::u16string topic = std::u16string(helpFile) + u">" + typeName;
    HH_WINTYPE* type = WindowType(topic, typeName, caption, cursor);
    if (!type) return FALSE;
    type->nShowState = SW_SHOW;
    type->hwndHelp = nullptr;
    type->hwndCaller = GetDesktopWindow();
    type->fsValidMembers |= kShownTypeMembers;
    // Centred on the control's left edge, just below its top, kept above the task bar.
    RECT& pos = type->rcWindowPos;
    const LONG width = pos.right - pos.left, height = pos.bottom - pos.top;
    pos.left = rect.left - width / 2;
    pos.right = pos.left + width;
    pos.top = rect.top + kPopupBelowControl;
    pos.bottom = pos.top + height;
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) && pos.bottom > work.bottom) {
        pos.top -= pos.bottom - work.bottom;
        pos.bottom = work.bottom;
    }
    HtmlHelpW(GetDesktopWindow(), nullptr, HH_SET_WIN_TYPE, reinterpret_cast<DWORD_PTR>(type));
    HWND shown =
        HtmlHelpW(window, topic.c_str(), HH_HELP_CONTEXT, helpId ? helpId : kFallbackHelpId);
    GlobalFree(type);
    return shown != nullptr;
}

} // namespace sheetwright
