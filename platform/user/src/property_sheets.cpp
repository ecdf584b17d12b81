// Property-sheet pages and sheets: a tab control and the OK, Cancel, Apply
// and Help buttons as children of the sheet, pages created on their first
// activation, and the notifications and messages between sheet and pages.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "module_resources.h"
#include "platform/core.h"
#include "platform/dialog_template.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"

struct _PSP {
    std::vector<BYTE>
        record; // the caller's record, copied whole (dwSize bytes, at least the full layout)
    HWND window = nullptr;
    bool refused = false; // PSPCB_CREATE said no
    PROPSHEETPAGEW* Page() { return reinterpret_cast<PROPSHEETPAGEW*>(record.data()); }
};

namespace platform::user {
namespace {

constexpr DWORD kLargestPageRecord = 1 << 16;
constexpr DWORD kSmallestHeader = 40; // through nPages
constexpr int kMargin = 7;            // dialog units around the tab control
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;
constexpr int kTabRowHeight = 21;
constexpr int kTabMargin = 4;
constexpr LONG kBaseX = 6;
constexpr LONG kBaseY = 13;

struct Sheet {
    DWORD flags = 0;
    std::vector<HPROPSHEETPAGE> pages;
    int current = -1;
    std::set<HWND> changed;
    bool ended = false;
    INT_PTR result = 0;
    INT_PTR restart = 0; // ID_PSREBOOTSYSTEM / ID_PSRESTARTWINDOWS
    PFNPROPSHEETCALLBACK callback = nullptr;
    RECT pageArea{}; // in the sheet's client coordinates
};

struct Registry {
    std::recursive_mutex lock;
    std::set<HPROPSHEETPAGE> pages;
    std::map<HWND, std::shared_ptr<Sheet>> sheets;
};

Registry& R() {
    static Registry* r = new Registry;
    return *r;
}

std::shared_ptr<Sheet> SheetOf(HWND h) {
    std::lock_guard lock(R().lock);
    auto it = R().sheets.find(h);
    return it == R().sheets.end() ? nullptr : it->second;
}

bool Live(HPROPSHEETPAGE p) {
    std::lock_guard lock(R().lock);
    return R().pages.count(p) != 0;
}

UINT CallPageCallback(HPROPSHEETPAGE p, UINT message) {
    PROPSHEETPAGEW* psp = p->Page();
    if (!(psp->dwFlags & PSP_USECALLBACK) || !psp->pfnCallback) return 1;
    return psp->pfnCallback(nullptr, message, psp);
}

void Release(HPROPSHEETPAGE p) {
    if (!Live(p)) return;
    if (p->window && IsWindow(p->window)) DestroyWindow(p->window);
    CallPageCallback(p, PSPCB_RELEASE);
    std::lock_guard lock(R().lock);
    R().pages.erase(p);
    delete p;
}

// The page's template bytes and size, nullptr when it has none.
const BYTE* PageTemplate(HPROPSHEETPAGE p, size_t* size) {
    PROPSHEETPAGEW* psp = p->Page();
    if (psp->dwFlags & PSP_DLGINDIRECT) {
        auto* bytes = reinterpret_cast<const BYTE*>(psp->pResource);
        size_t n = bytes ? ResourceExtent(bytes) : 0;
        *size = n ? n : (bytes ? size_t{1} << 20 : 0);
        return bytes;
    }
    HRSRC r = FindResourceW(psp->hInstance, psp->pszTemplate, RT_DIALOG);
    if (!r) return nullptr;
    *size = SizeofResource(psp->hInstance, r);
    return static_cast<const BYTE*>(LockResource(LoadResource(psp->hInstance, r)));
}

std::u16string PageTitle(HPROPSHEETPAGE p) {
    PROPSHEETPAGEW* psp = p->Page();
    if ((psp->dwFlags & PSP_USETITLE) && psp->pszTitle) {
        if (!IS_INTRESOURCE(psp->pszTitle)) return psp->pszTitle;
        WCHAR buf[256];
        int n =
            LoadStringW(psp->hInstance,
                        static_cast<UINT>(reinterpret_cast<ULONG_PTR>(psp->pszTitle)), buf, 256);
        return std::u16string(buf, static_cast<size_t>(n));
    }
    size_t size = 0;
    const BYTE* bytes = PageTemplate(p, &size);
    DialogTemplateData t;
    std::string error;
    if (bytes && ReadDialogTemplate(bytes, size, &t, &error)) return t.title;
    return {};
}

LRESULT Notify(HWND sheet, HWND page, UINT code, LPARAM lParam = 0) {
    if (!page || !IsWindow(page)) return 0;
    PSHNOTIFY n{{sheet, 0, code}, lParam};
    SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
    return IsWindow(page) ? GetWindowLongPtrW(page, DWLP_MSGRESULT) : 0;
}

HWND CurrentPage(const Sheet& s) {
    if (s.current < 0 || s.current >= static_cast<int>(s.pages.size())) return nullptr;
    return s.pages[static_cast<size_t>(s.current)]->window;
}

// Creates a page's window as a child of the sheet, in the page area.
bool CreatePage(HWND sheet, Sheet& s, HPROPSHEETPAGE p) {
    if (p->window) return true;
    if (p->refused) return false;
    if (!CallPageCallback(p, PSPCB_CREATE)) {
        p->refused = true;
        return false;
    }
    size_t size = 0;
    const BYTE* bytes = PageTemplate(p, &size);
    DialogTemplateData t;
    std::string error;
    if (!bytes || !ReadDialogTemplate(bytes, std::min(size, size_t{1} << 20), &t, &error))
        return false;
    // A page is a child control dialog whatever its template says.
    std::vector<BYTE> copy(bytes, bytes + t.length);
    size_t styleAt = t.extended ? 12 : 0;
    DWORD style =
        (t.style & ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                       DS_MODALFRAME | WS_VISIBLE | DS_CENTER)) |
        WS_CHILD | DS_CONTROL;
    std::memcpy(copy.data() + styleAt, &style, 4);
    PROPSHEETPAGEW* psp = p->Page();
    HWND page = CreateDialogFromTemplate(psp->hInstance, copy.data(), copy.size(), sheet,
                                         psp->pfnDlgProc, reinterpret_cast<LPARAM>(psp));
    if (!page) return false;
    p->window = page;
    SetWindowPos(page, HWND_TOP, s.pageArea.left, s.pageArea.top, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    return true;
}

// Leaves the current page if it lets the sheet (PSN_KILLACTIVE answers FALSE).
bool LeaveCurrent(HWND sheet, Sheet& s) {
    HWND page = CurrentPage(s);
    if (!page) return true;
    return Notify(sheet, page, PSN_KILLACTIVE) == FALSE;
}

// Shows page index (PSN_SETACTIVE; -1 from it moves on to the next page in
// the same direction). The current page must have been left already.
bool Activate(HWND sheet, Sheet& s, int index, int direction) {
    int count = static_cast<int>(s.pages.size());
    for (int tries = 0; tries < count && index >= 0 && index < count; ++tries, index += direction) {
        HPROPSHEETPAGE p = s.pages[static_cast<size_t>(index)];
        if (!CreatePage(sheet, s, p)) continue;
        LRESULT r = Notify(sheet, p->window, PSN_SETACTIVE);
        if (r == -1) continue;
        HWND old = CurrentPage(s);
        if (old && old != p->window) ShowWindow(old, SW_HIDE);
        s.current = index;
        ShowWindow(p->window, SW_SHOW);
        SendDlgItemMessageW(sheet, IDC_PROPSHEET_TABCONTROL, TCM_SETCURSEL,
                            static_cast<WPARAM>(index), 0);
        return true;
    }
    return false;
}

bool SwitchTo(HWND sheet, Sheet& s, int index) {
    if (index == s.current) return true;
    if (index < 0 || index >= static_cast<int>(s.pages.size())) return false;
    if (!LeaveCurrent(sheet, s)) return false;
    return Activate(sheet, s, index, index > s.current ? 1 : -1);
}

// Apply: the current page must let go, then every created page applies.
bool Apply(HWND sheet, Sheet& s, bool ok) {
    if (!LeaveCurrent(sheet, s)) return false;
    for (size_t i = 0; i < s.pages.size(); ++i) {
        HWND page = s.pages[i]->window;
        if (!page) continue;
        LRESULT r = Notify(sheet, page, PSN_APPLY, ok);
        if (r == PSNRET_INVALID_NOCHANGEPAGE) return false;
        if (r == PSNRET_INVALID) {
            Activate(sheet, s, static_cast<int>(i), 1);
            return false;
        }
    }
    s.changed.clear();
    EnableWindow(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW), FALSE);
    return true;
}

void Cancel(HWND sheet, Sheet& s) {
    if (Notify(sheet, CurrentPage(s), PSN_QUERYCANCEL)) return;
    for (auto* p : s.pages)
        if (p->window) Notify(sheet, p->window, PSN_RESET, FALSE);
    s.ended = true;
    s.result = 0;
}

void Close(Sheet& s, INT_PTR result) {
    s.ended = true;
    s.result = s.restart ? s.restart : result;
}

int IndexOf(const Sheet& s, WPARAM index, LPARAM page) {
    if (page) {
        for (size_t i = 0; i < s.pages.size(); ++i)
            if (s.pages[i] == reinterpret_cast<HPROPSHEETPAGE>(page)) return static_cast<int>(i);
        return -1;
    }
    return static_cast<int>(index);
}

void AddTab(HWND sheet, HPROPSHEETPAGE p, int at) {
    std::u16string title = PageTitle(p);
    TCITEMW item{TCIF_TEXT, 0, 0, title.data(), 0, -1, 0};
    SendDlgItemMessageW(sheet, IDC_PROPSHEET_TABCONTROL, TCM_INSERTITEMW, static_cast<WPARAM>(at),
                        reinterpret_cast<LPARAM>(&item));
}

INT_PTR CALLBACK SheetProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto s = SheetOf(h);
    if (!s) return FALSE;
    auto result = [&](LONG_PTR r) {
        SetWindowLongPtrW(h, DWLP_MSGRESULT, r);
        return TRUE;
    };
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            if (Apply(h, *s, true)) Close(*s, 1);
            return TRUE;
        case IDCANCEL:
            Cancel(h, *s);
            return TRUE;
        case IDC_PROPSHEET_APPLYNOW:
            Apply(h, *s, false);
            return TRUE;
        case IDHELP:
            Notify(h, CurrentPage(*s), PSN_HELP);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<NMHDR*>(lp);
        if (!n || n->idFrom != IDC_PROPSHEET_TABCONTROL) return FALSE;
        if (n->code == TCN_SELCHANGING) return result(!LeaveCurrent(h, *s));
        if (n->code == TCN_SELCHANGE) {
            int index = static_cast<int>(
                SendDlgItemMessageW(h, IDC_PROPSHEET_TABCONTROL, TCM_GETCURSEL, 0, 0));
            if (!Activate(h, *s, index, 1))
                SendDlgItemMessageW(h, IDC_PROPSHEET_TABCONTROL, TCM_SETCURSEL,
                                    static_cast<WPARAM>(s->current), 0);
            return TRUE;
        }
        return FALSE;
    }
    case PSM_SETCURSEL:
        return result(SwitchTo(h, *s, IndexOf(*s, wp, lp)));
    case PSM_SETCURSELID:
        for (size_t i = 0; i < s->pages.size(); ++i) {
            PROPSHEETPAGEW* psp = s->pages[i]->Page();
            if (!(psp->dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(psp->pszTemplate) &&
                reinterpret_cast<ULONG_PTR>(psp->pszTemplate) == static_cast<ULONG_PTR>(lp))
                return result(SwitchTo(h, *s, static_cast<int>(i)));
        }
        return result(FALSE);
    case PSM_CHANGED:
        s->changed.insert(reinterpret_cast<HWND>(wp));
        EnableWindow(GetDlgItem(h, IDC_PROPSHEET_APPLYNOW), TRUE);
        return result(0);
    case PSM_UNCHANGED:
        s->changed.erase(reinterpret_cast<HWND>(wp));
        if (s->changed.empty()) EnableWindow(GetDlgItem(h, IDC_PROPSHEET_APPLYNOW), FALSE);
        return result(0);
    case PSM_QUERYSIBLINGS:
        for (auto* p : std::vector<HPROPSHEETPAGE>(s->pages)) {
            if (!p->window || !IsWindow(p->window)) continue;
            LRESULT r = SendMessageW(p->window, PSM_QUERYSIBLINGS, wp, lp);
            if (r) return result(r);
        }
        return result(0);
    case PSM_GETCURRENTPAGEHWND:
        return result(s->ended ? 0 : reinterpret_cast<LONG_PTR>(CurrentPage(*s)));
    case PSM_GETTABCONTROL:
        return result(reinterpret_cast<LONG_PTR>(GetDlgItem(h, IDC_PROPSHEET_TABCONTROL)));
    case PSM_INDEXTOHWND: {
        int i = static_cast<int>(wp);
        return result(i >= 0 && i < static_cast<int>(s->pages.size())
                          ? reinterpret_cast<LONG_PTR>(s->pages[static_cast<size_t>(i)]->window)
                          : 0);
    }
    case PSM_HWNDTOINDEX:
        for (size_t i = 0; i < s->pages.size(); ++i)
            if (s->pages[i]->window == reinterpret_cast<HWND>(wp))
                return result(static_cast<LONG_PTR>(i));
        return result(-1);
    case PSM_INDEXTOPAGE: {
        int i = static_cast<int>(wp);
        return result(i >= 0 && i < static_cast<int>(s->pages.size())
                          ? reinterpret_cast<LONG_PTR>(s->pages[static_cast<size_t>(i)])
                          : 0);
    }
    case PSM_PAGETOINDEX:
        return result(IndexOf(*s, 0, lp));
    case PSM_PRESSBUTTON: {
        int id = 0;
        switch (wp) {
        case PSBTN_OK:
            id = IDOK;
            break;
        case PSBTN_CANCEL:
            id = IDCANCEL;
            break;
        case PSBTN_APPLYNOW:
            id = IDC_PROPSHEET_APPLYNOW;
            break;
        case PSBTN_HELP:
            id = IDHELP;
            break;
        default:
            return result(FALSE);
        }
        HWND button = GetDlgItem(h, id);
        if (button && IsWindowEnabled(button))
            SendMessageW(h, WM_COMMAND, MAKELONG(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return result(TRUE);
    }
    case PSM_APPLY:
        return result(Apply(h, *s, false));
    case PSM_CANCELTOCLOSE:
        EnableWindow(GetDlgItem(h, IDCANCEL), FALSE);
        SetDlgItemTextW(h, IDOK, u"Close");
        return result(0);
    case PSM_REBOOTSYSTEM:
        s->restart = ID_PSREBOOTSYSTEM;
        return result(0);
    case PSM_RESTARTWINDOWS:
        if (s->restart != ID_PSREBOOTSYSTEM) s->restart = ID_PSRESTARTWINDOWS;
        return result(0);
    case PSM_SETTITLEW: {
        auto* text = reinterpret_cast<LPCWSTR>(lp);
        std::u16string title = text && !IS_INTRESOURCE(text) ? text : u"";
        if (wp & PSH_PROPTITLE) title += u" Properties";
        SetWindowTextW(h, title.c_str());
        return result(0);
    }
    case PSM_ADDPAGE: {
        auto* p = reinterpret_cast<HPROPSHEETPAGE>(lp);
        if (!Live(p)) return result(FALSE);
        s->pages.push_back(p);
        AddTab(h, p, static_cast<int>(s->pages.size()) - 1);
        if (s->current < 0) Activate(h, *s, 0, 1);
        return result(TRUE);
    }
    case PSM_REMOVEPAGE: {
        int i = IndexOf(*s, wp, lp);
        if (i < 0 || i >= static_cast<int>(s->pages.size())) return result(FALSE);
        HPROPSHEETPAGE p = s->pages[static_cast<size_t>(i)];
        if (i == s->current) {
            s->current = -1;
            if (p->window) ShowWindow(p->window, SW_HIDE);
        } else if (i < s->current) {
            --s->current;
        }
        s->pages.erase(s->pages.begin() + i);
        SendDlgItemMessageW(h, IDC_PROPSHEET_TABCONTROL, TCM_DELETEITEM, static_cast<WPARAM>(i), 0);
        Release(p);
        if (s->current < 0 && !s->pages.empty()) Activate(h, *s, 0, 1);
        return result(TRUE);
    }
    case PSM_ISDIALOGMESSAGE:
        return result(IsDialogMessageW(h, reinterpret_cast<LPMSG>(lp)));
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // The system tells top-level windows; the sheet tells the pages it made.
        for (auto* p : std::vector<HPROPSHEETPAGE>(s->pages))
            if (p->window) SendMessageW(p->window, msg, wp, lp);
        return FALSE;
    case WM_NCDESTROY: {
        // The sheet window is gone: its pages' windows with it, then the pages.
        std::vector<HPROPSHEETPAGE> pages = s->pages;
        for (auto* p : pages)
            p->window = nullptr;
        {
            std::lock_guard lock(R().lock);
            R().sheets.erase(h);
        }
        for (auto* p : pages)
            Release(p);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void ResetSheets() {
    std::lock_guard lock(R().lock);
    R().sheets.clear();
    for (auto* p : R().pages)
        delete p;
    R().pages.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetSheets), true);
    (void)registered;
}

// The page area's size in pixels: the largest page template.
SIZE LargestPage(const std::vector<HPROPSHEETPAGE>& pages) {
    SIZE size{212 * kBaseX / 4, 188 * kBaseY / 8};
    for (auto* p : pages) {
        size_t n = 0;
        const BYTE* bytes = PageTemplate(p, &n);
        DialogTemplateData t;
        std::string error;
        if (!bytes || !ReadDialogTemplate(bytes, std::min(n, size_t{1} << 20), &t, &error))
            continue;
        size.cx = std::max<LONG>(size.cx, t.cx * kBaseX / 4);
        size.cy = std::max<LONG>(size.cy, t.cy * kBaseY / 8);
    }
    return size;
}

HWND BuildSheet(LPCPROPSHEETHEADERW h, std::vector<HPROPSHEETPAGE> pages) {
    auto sheet = std::make_shared<Sheet>();
    sheet->flags = h->dwFlags;
    sheet->pages = std::move(pages);
    sheet->callback = (h->dwFlags & PSH_USECALLBACK) ? h->pfnCallback : nullptr;
    std::u16string caption;
    if (h->pszCaption) {
        if (IS_INTRESOURCE(h->pszCaption)) {
            WCHAR buf[256];
            int n = LoadStringW(h->hInstance,
                                static_cast<UINT>(reinterpret_cast<ULONG_PTR>(h->pszCaption)), buf,
                                256);
            caption.assign(buf, static_cast<size_t>(n));
        } else {
            caption = h->pszCaption;
        }
    }
    if (h->dwFlags & PSH_PROPTITLE) caption += u" Properties";
    SIZE page = LargestPage(sheet->pages);
    int margin = kMargin * kBaseX / 4;
    int bw = kButtonWidth * kBaseX / 4, bh = kButtonHeight * kBaseY / 8,
        gap = kButtonGap * kBaseX / 4;
    int tabW = page.cx + 2 * kTabMargin, tabH = page.cy + kTabRowHeight + 2 * kTabMargin;
    int clientW = std::max(tabW + 2 * margin, 4 * bw + 3 * gap + 2 * margin);
    int clientH = margin + tabH + margin + bh + margin;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK;
    DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    if (!(h->dwFlags & PSH_NOCONTEXTHELP)) exStyle |= WS_EX_CONTEXTHELP;
    RECT in = Insets(style, exStyle);
    HWND hwnd = CreateWindowExW(exStyle, u"#32770", caption.c_str(), style, 0, 0,
                                clientW + in.left + in.right, clientH + in.top + in.bottom,
                                h->hwndParent, nullptr, h->hInstance, nullptr);
    if (!hwnd) return nullptr;
    auto w = Find(hwnd);
    w->isDialog = true;
    w->fontFace = u"MS Shell Dlg";
    w->fontPoints = 8;
    {
        std::lock_guard lock(R().lock);
        R().sheets[hwnd] = sheet;
    }
    SetWindowLongPtrW(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&SheetProc));
    HINSTANCE inst = h->hInstance;
    HWND tab = CreateWindowExW(
        0, WC_TABCONTROLW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, margin,
        margin, tabW, tabH, hwnd,
        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(IDC_PROPSHEET_TABCONTROL)), inst, nullptr);
    sheet->pageArea = {margin + kTabMargin, margin + kTabRowHeight + kTabMargin,
                       margin + kTabMargin + page.cx,
                       margin + kTabRowHeight + kTabMargin + page.cy};
    bool help = (h->dwFlags & PSH_HASHELP) != 0;
    for (auto* p : sheet->pages)
        help = help || (p->Page()->dwFlags & PSP_HASHELP);
    struct Button {
        int id;
        const char16_t* text;
        DWORD style;
        bool shown;
    } buttons[] = {
        {IDOK, u"OK", BS_DEFPUSHBUTTON, true},
        {IDCANCEL, u"Cancel", BS_PUSHBUTTON, true},
        {IDC_PROPSHEET_APPLYNOW, u"&Apply", BS_PUSHBUTTON | WS_DISABLED,
         !(h->dwFlags & PSH_NOAPPLYNOW)},
        {IDHELP, u"Help", BS_PUSHBUTTON, help},
    };
    int x = clientW - margin;
    for (auto it = std::rbegin(buttons); it != std::rend(buttons); ++it) {
        if (!it->shown) continue;
        x -= bw;
        CreateWindowExW(0, u"Button", it->text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | it->style, x,
                        clientH - margin - bh, bw, bh, hwnd,
                        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(it->id)), inst, nullptr);
        x -= gap;
    }
    // Tab order: the tab control, then the pages, then the buttons.
    SetWindowPos(tab, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (size_t i = 0; i < sheet->pages.size(); ++i)
        AddTab(hwnd, sheet->pages[i], static_cast<int>(i));
    if (sheet->callback) sheet->callback(hwnd, PSCB_INITIALIZED, 0);
    int start = 0;
    if (h->dwFlags & PSH_USEPSTARTPAGE) {
        for (size_t i = 0; h->pStartPage && i < sheet->pages.size(); ++i)
            if (!IS_INTRESOURCE(h->pStartPage) && PageTitle(sheet->pages[i]) == h->pStartPage)
                start = static_cast<int>(i);
    } else if (h->nStartPage < sheet->pages.size()) {
        start = static_cast<int>(h->nStartPage);
    }
    if (!Activate(hwnd, *sheet, start, 1) && !Activate(hwnd, *sheet, 0, 1)) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

} // namespace
} // namespace platform::user

namespace platform::user::test {

size_t LivePropertySheetPages() {
    std::lock_guard lock(R().lock);
    return R().pages.size();
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW psp) {
    PLATFORM_FAULT_POINT("CreatePropertySheetPageW", nullptr);
    EnsureReset();
    if (!psp || psp->dwSize < PROPSHEETPAGEW_V1_SIZE || psp->dwSize > kLargestPageRecord) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto* p = new _PSP;
        p->record.assign(reinterpret_cast<const BYTE*>(psp),
                         reinterpret_cast<const BYTE*>(psp) + psp->dwSize);
        if (p->record.size() < sizeof(PROPSHEETPAGEW)) p->record.resize(sizeof(PROPSHEETPAGEW), 0);
        {
            std::lock_guard lock(R().lock);
            R().pages.insert(p);
        }
        CallPageCallback(p, PSPCB_ADDREF);
        return p;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE hPage) {
    if (!Live(hPage)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Release(hPage);
    return TRUE;
}

// Modal: 1 after OK (or the restart value a page asked for), 0 after Cancel,
// -1 when the sheet could not be made or was left unanswered. Modeless: the
// sheet's window.
INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW h) {
    PLATFORM_FAULT_POINT("PropertySheetW", -1);
    EnsureReset();
    RegisterSystemClasses();
    if (!h || h->dwSize < kSmallestHeader) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    try {
        std::vector<HPROPSHEETPAGE> pages;
        if (h->dwFlags & PSH_PROPSHEETPAGE) {
            auto* at = reinterpret_cast<const BYTE*>(h->ppsp);
            for (UINT i = 0; at && i < h->nPages; ++i) {
                auto* psp = reinterpret_cast<LPCPROPSHEETPAGEW>(at);
                HPROPSHEETPAGE p = CreatePropertySheetPageW(psp);
                if (!p) break;
                pages.push_back(p);
                at += psp->dwSize;
            }
        } else {
            for (UINT i = 0; h->phpage && i < h->nPages; ++i)
                if (Live(h->phpage[i])) pages.push_back(h->phpage[i]);
        }
        if (pages.empty()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        HWND sheet = BuildSheet(h, pages);
        if (!sheet) {
            for (auto* p : pages)
                Release(p);
            return -1;
        }
        if (h->dwFlags & PSH_MODELESS) return reinterpret_cast<INT_PTR>(sheet);
        auto s = SheetOf(sheet);
        HWND owner = h->hwndParent ? GetAncestor(h->hwndParent, GA_ROOT) : nullptr;
        bool ownerEnabled = owner && IsWindowEnabled(owner);
        if (ownerEnabled) EnableWindow(owner, FALSE);
        bool answered = RunModalLoop(sheet, [&] { return !IsWindow(sheet) || s->ended; });
        if (!answered && IsWindow(sheet))
            for (auto* p : s->pages)
                if (p->window) Notify(sheet, p->window, PSN_RESET, FALSE);
        INT_PTR result = answered ? s->result : -1;
        if (ownerEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
        if (IsWindow(sheet)) DestroyWindow(sheet);
        return result;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

} // extern "C"
