// Scroll bars and the common controls the pages use: trackbar, up-down with
// its buddy, tab control and tooltip.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/text.h"
#include "win/resources.h"
#include "user_internal.h"

namespace platform::user {
namespace {

constexpr int kTabRowHeight = 21;
constexpr int kTabMargin = 4;

struct ScrollState : ControlState {
    SCROLLINFO info{sizeof(SCROLLINFO), 0, 0, 100, 0, 0, 0};
};

struct TrackbarState : ControlState {
    LONG min = 0, max = 100, pos = 0;
    LONG line = 1, page = 20, ticFreq = 1;
};

struct UpDownState : ControlState {
    int lower = 100; // the system's default range runs from 100 down to 0
    int upper = 0;
    int pos = 0;
    HWND buddy = nullptr;
};

struct TabItem {
    std::u16string text;
    LPARAM param = 0;
    int image = -1;
};

struct TabState : ControlState {
    std::vector<TabItem> items;
    int current = -1;
};

struct Tool {
    UINT flags;
    HWND window;
    UINT_PTR id;
    std::u16string text;
    bool callback = false; // LPSTR_TEXTCALLBACKW: asked for at each showing
    LPARAM lParam = 0;
};

struct TooltipState : ControlState {
    std::vector<Tool> tools;
    bool active = true;
    int maxWidth = -1;
};

// Scroll bars of windows themselves (WS_HSCROLL, WS_VSCROLL).
std::mutex gBarsLock;
std::map<std::pair<HWND, int>, SCROLLINFO>& WindowBars() {
    static auto* bars = new std::map<std::pair<HWND, int>, SCROLLINFO>;
    return *bars;
}

int Clamp(int v, int a, int b) {
    return std::max(std::min(a, b), std::min(std::max(a, b), v));
}

void SetInfo(SCROLLINFO& to, const SCROLLINFO& from) {
    if (from.fMask & SIF_RANGE) {
        to.nMin = from.nMin;
        to.nMax = from.nMax;
    }
    if (from.fMask & SIF_PAGE) to.nPage = from.nPage;
    if (from.fMask & SIF_POS) to.nPos = from.nPos;
    int top = to.nMax - std::max(static_cast<int>(to.nPage) - 1, 0);
    to.nPos = Clamp(to.nPos, to.nMin, std::max(top, to.nMin));
}

void GetInfo(const SCROLLINFO& from, SCROLLINFO* to) {
    if (to->fMask & SIF_RANGE) {
        to->nMin = from.nMin;
        to->nMax = from.nMax;
    }
    if (to->fMask & SIF_PAGE) to->nPage = from.nPage;
    if (to->fMask & SIF_POS) to->nPos = from.nPos;
    if (to->fMask & SIF_TRACKPOS) to->nTrackPos = from.nPos;
}

std::u16string BuddyText(int value, bool thousands) {
    std::string digits = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
    if (thousands)
        for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
            digits.insert(static_cast<size_t>(at), ",");
    return platform::FromUtf8((value < 0 ? "-" : "") + digits);
}

void UpdateBuddy(const Window& w, const UpDownState& s) {
    if (!(w.style & UDS_SETBUDDYINT) || !s.buddy) return;
    std::u16string text = BuddyText(s.pos, !(w.style & UDS_NOTHOUSANDS));
    SetWindowTextW(s.buddy, text.c_str());
}

// The buddy's text as a number, when it is one.
bool ReadBuddy(const UpDownState& s, int* value) {
    WCHAR buf[32];
    int n = GetWindowTextW(s.buddy, buf, 32);
    std::u16string t;
    for (int i = 0; i < n; ++i)
        if (buf[i] != u',') t.push_back(buf[i]);
    if (t.empty()) return false;
    size_t i = t[0] == u'-' ? 1 : 0;
    if (i == t.size()) return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') return false;
        v = v * 10 + (t[i] - u'0');
        if (v > 0x7FFFFFFF) return false;
    }
    *value = static_cast<int>(t[0] == u'-' ? -v : v);
    return true;
}

} // namespace

LRESULT CALLBACK ScrollBarProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<ScrollState>(*w);
    switch (msg) {
    case SBM_SETPOS: {
        int old = s.info.nPos;
        SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, static_cast<int>(wp), 0};
        SetInfo(s.info, si);
        return old;
    }
    case SBM_GETPOS:
        return s.info.nPos;
    case SBM_SETRANGE: {
        int old = s.info.nPos;
        SCROLLINFO si{sizeof si, SIF_RANGE, static_cast<int>(wp), static_cast<int>(lp), 0, 0, 0};
        SetInfo(s.info, si);
        return old;
    }
    case SBM_GETRANGE:
        if (wp) *reinterpret_cast<int*>(wp) = s.info.nMin;
        if (lp) *reinterpret_cast<int*>(lp) = s.info.nMax;
        return 0;
    case SBM_SETSCROLLINFO:
        if (lp) SetInfo(s.info, *reinterpret_cast<SCROLLINFO*>(lp));
        return s.info.nPos;
    case SBM_GETSCROLLINFO:
        if (lp) GetInfo(s.info, reinterpret_cast<SCROLLINFO*>(lp));
        return TRUE;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK TrackbarProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<TrackbarState>(*w);
    switch (msg) {
    case TBM_GETPOS:
        return s.pos;
    case TBM_SETPOS:
        s.pos = Clamp(static_cast<int>(lp), s.min, s.max);
        return 0;
    case TBM_SETRANGE:
        s.min = static_cast<SHORT>(LOWORD(lp));
        s.max = static_cast<SHORT>(HIWORD(lp));
        s.pos = Clamp(s.pos, s.min, s.max);
        return 0;
    case TBM_SETRANGEMIN:
        s.min = static_cast<LONG>(lp);
        s.pos = Clamp(s.pos, s.min, s.max);
        return 0;
    case TBM_SETRANGEMAX:
        s.max = static_cast<LONG>(lp);
        s.pos = Clamp(s.pos, s.min, s.max);
        return 0;
    case TBM_GETRANGEMIN:
        return s.min;
    case TBM_GETRANGEMAX:
        return s.max;
    case TBM_SETTICFREQ:
        s.ticFreq = static_cast<LONG>(wp);
        return 0;
    case TBM_SETTIC:
    case TBM_CLEARTICS:
        return TRUE;
    case TBM_GETNUMTICS:
        return s.ticFreq > 0 ? (s.max - s.min) / s.ticFreq + 1 : 2;
    case TBM_SETPAGESIZE:
        return std::exchange(s.page, static_cast<LONG>(lp));
    case TBM_GETPAGESIZE:
        return s.page;
    case TBM_SETLINESIZE:
        return std::exchange(s.line, static_cast<LONG>(lp));
    case TBM_GETLINESIZE:
        return s.line;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK UpDownProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<UpDownState>(*w);
    switch (msg) {
    case WM_CREATE:
        // The window created just before it is its buddy.
        if (w->style & UDS_AUTOBUDDY) s.buddy = GetWindow(h, GW_HWNDPREV);
        if (s.buddy && (w->style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT))) {
            // Placed against the buddy's edge, the buddy narrowed by its width.
            RECT b, me;
            GetWindowRect(s.buddy, &b);
            GetWindowRect(h, &me);
            POINT tl{b.left, b.top};
            ScreenToClient(GetParent(h), &tl);
            int width = me.right - me.left;
            int bw = b.right - b.left - width;
            if (bw > 0) {
                bool right = (w->style & UDS_ALIGNRIGHT) != 0;
                SetWindowPos(s.buddy, nullptr, right ? tl.x : tl.x + width, tl.y, bw,
                             b.bottom - b.top, SWP_NOZORDER | SWP_NOACTIVATE);
                SetWindowPos(h, nullptr, right ? tl.x + bw : tl.x, tl.y, width, b.bottom - b.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
        return 0;
    case UDM_SETRANGE:
        s.upper = static_cast<SHORT>(LOWORD(lp));
        s.lower = static_cast<SHORT>(HIWORD(lp));
        return 0;
    case UDM_GETRANGE:
        return MAKELONG(static_cast<WORD>(s.upper), static_cast<WORD>(s.lower));
    case UDM_SETRANGE32:
        s.lower = static_cast<int>(wp);
        s.upper = static_cast<int>(lp);
        return 0;
    case UDM_GETRANGE32:
        if (wp) *reinterpret_cast<int*>(wp) = s.lower;
        if (lp) *reinterpret_cast<int*>(lp) = s.upper;
        return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
        int old = s.pos;
        int v = msg == UDM_SETPOS ? static_cast<SHORT>(LOWORD(lp)) : static_cast<int>(lp);
        s.pos = Clamp(v, s.lower, s.upper);
        UpdateBuddy(*w, s);
        return old;
    }
    case UDM_GETPOS:
    case UDM_GETPOS32: {
        bool error = false;
        if (s.buddy && (w->style & UDS_SETBUDDYINT)) {
            int v;
            if (ReadBuddy(s, &v) && v == Clamp(v, s.lower, s.upper))
                s.pos = v;
            else
                error = true;
        }
        if (msg == UDM_GETPOS32) {
            if (lp) *reinterpret_cast<BOOL*>(lp) = error;
            return s.pos;
        }
        return MAKELONG(static_cast<WORD>(s.pos), error ? 1 : 0);
    }
    case UDM_SETBUDDY: {
        HWND old = s.buddy;
        s.buddy = reinterpret_cast<HWND>(wp);
        return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(s.buddy);
    case UDM_SETACCEL:
        return TRUE;
    case UDM_SETBASE:
        return 10;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK TabProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<TabState>(*w);
    int count = static_cast<int>(s.items.size());
    int index = static_cast<int>(wp);
    switch (msg) {
    case TCM_INSERTITEMW: {
        auto* item = reinterpret_cast<const TCITEMW*>(lp);
        if (!item || index < 0) return -1;
        index = std::min(index, count);
        TabItem t;
        if ((item->mask & TCIF_TEXT) && item->pszText) t.text = item->pszText;
        if (item->mask & TCIF_PARAM) t.param = item->lParam;
        if (item->mask & TCIF_IMAGE) t.image = item->iImage;
        s.items.insert(s.items.begin() + index, t);
        if (s.current >= index) ++s.current;
        if (s.current < 0) s.current = 0;
        return index;
    }
    case TCM_SETITEMW:
    case TCM_GETITEMW: {
        auto* item = reinterpret_cast<TCITEMW*>(lp);
        if (!item || index < 0 || index >= count) return FALSE;
        TabItem& t = s.items[static_cast<size_t>(index)];
        if (msg == TCM_SETITEMW) {
            if ((item->mask & TCIF_TEXT) && item->pszText) t.text = item->pszText;
            if (item->mask & TCIF_PARAM) t.param = item->lParam;
            if (item->mask & TCIF_IMAGE) t.image = item->iImage;
            return TRUE;
        }
        if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0) {
            size_t n = std::min(t.text.size(), static_cast<size_t>(item->cchTextMax) - 1);
            std::memcpy(item->pszText, t.text.data(), n * 2);
            item->pszText[n] = 0;
        }
        if (item->mask & TCIF_PARAM) item->lParam = t.param;
        if (item->mask & TCIF_IMAGE) item->iImage = t.image;
        return TRUE;
    }
    case TCM_GETITEMCOUNT:
        return count;
    case TCM_DELETEITEM:
        if (index < 0 || index >= count) return FALSE;
        s.items.erase(s.items.begin() + index);
        if (s.current == index)
            s.current = s.items.empty() ? -1 : 0;
        else if (s.current > index)
            --s.current;
        return TRUE;
    case TCM_DELETEALLITEMS:
        s.items.clear();
        s.current = -1;
        return TRUE;
    case TCM_GETCURSEL:
    case TCM_GETCURFOCUS:
        return s.current;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        if (index < 0 || index >= count) return -1;
        return std::exchange(s.current, index);
    }
    case TCM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lp);
        if (!r || index < 0 || index >= count) return FALSE;
        int x = 2;
        for (int i = 0; i < index; ++i)
            x += 12 + 6 * static_cast<int>(s.items[static_cast<size_t>(i)].text.size());
        *r = {x, 2, x + 12 + 6 * static_cast<int>(s.items[static_cast<size_t>(index)].text.size()),
              kTabRowHeight};
        return TRUE;
    }
    case TCM_ADJUSTRECT: {
        auto* r = reinterpret_cast<RECT*>(lp);
        if (!r) return 0;
        // wp TRUE: the window rectangle for a display area; FALSE: the reverse.
        int sign = wp ? -1 : 1;
        r->left += sign * kTabMargin;
        r->right -= sign * kTabMargin;
        r->top += sign * (kTabRowHeight + kTabMargin);
        r->bottom -= sign * kTabMargin;
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

// A tool's text as the caller gave it: its own characters, or a string of the
// module `hinst` named by a resource id. A callback text is kept as it was.
void TipText(const TTTOOLINFOW& info, std::u16string* text) {
    if (!info.lpszText || info.lpszText == LPSTR_TEXTCALLBACKW) return;
    if (!IS_INTRESOURCE(info.lpszText)) {
        *text = info.lpszText;
        return;
    }
    // Room 0 answers the module's own characters and their count.
    const WCHAR* own = nullptr;
    const int n =
        LoadStringW(info.hinst, static_cast<UINT>(reinterpret_cast<UINT_PTR>(info.lpszText)),
                    reinterpret_cast<LPWSTR>(&own), 0);
    text->assign(own && n > 0 ? own : u"", own && n > 0 ? static_cast<size_t>(n) : 0);
}

LRESULT CALLBACK TooltipProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<TooltipState>(*w);
    auto* info = reinterpret_cast<TTTOOLINFOW*>(lp);
    auto same = [&](const Tool& t) { return info && t.window == info->hwnd && t.id == info->uId; };
    switch (msg) {
    case TTM_ADDTOOLW: {
        if (!info) return FALSE;
        Tool t{info->uFlags, info->hwnd, info->uId, {}};
        TipText(*info, &t.text);
        t.callback = info->lpszText == LPSTR_TEXTCALLBACKW;
        t.lParam = info->lParam;
        std::erase_if(s.tools, same);
        s.tools.push_back(t);
        return TRUE;
    }
    case TTM_DELTOOLW:
        std::erase_if(s.tools, same);
        return 0;
    case TTM_UPDATETIPTEXTW:
        for (auto& t : s.tools)
            if (same(t)) {
                TipText(*info, &t.text);
                t.callback = info->lpszText == LPSTR_TEXTCALLBACKW;
            }
        return 0;
    case TTM_GETTEXTW: {
        // wParam is the buffer's size in characters; without one, the
        // classic tip buffer of 80 characters is all the caller has.
        constexpr size_t kClassicTipChars = 80;
        const size_t room = wp ? static_cast<size_t>(wp) : kClassicTipChars;
        for (auto& t : s.tools)
            if (same(t) && info->lpszText) {
                if (t.callback && AskToolText(h, t.window, t.id, t.flags, t.lParam, &t.text))
                    t.callback = false;
                const size_t n = std::min(t.text.size(), room - 1);
                std::memcpy(info->lpszText, t.text.data(), n * sizeof(WCHAR));
                info->lpszText[n] = 0;
            }
        return 0;
    }
    case TTM_GETTOOLCOUNT:
        return static_cast<LRESULT>(s.tools.size());
    case TTM_ACTIVATE:
        s.active = wp != 0;
        return 0;
    case TTM_SETMAXTIPWIDTH:
        return std::exchange(s.maxWidth, static_cast<int>(lp));
    case TTM_RELAYEVENT:
    case TTM_SETDELAYTIME:
        return 0;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

bool MoveSliderByUser(HWND h, int position) {
    auto w = Find(h);
    if (!w || w->windowClass->name != u"msctls_trackbar32") return false;
    auto& s = StateOf<TrackbarState>(*w);
    s.pos = Clamp(position, s.min, s.max);
    UINT message = (w->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    HWND parent = GetParent(h);
    SendMessageW(parent, message, MAKELONG(TB_THUMBTRACK, static_cast<WORD>(s.pos)),
                 reinterpret_cast<LPARAM>(h));
    SendMessageW(parent, message, MAKELONG(TB_THUMBPOSITION, static_cast<WORD>(s.pos)),
                 reinterpret_cast<LPARAM>(h));
    SendMessageW(parent, message, TB_ENDTRACK, reinterpret_cast<LPARAM>(h));
    return true;
}

bool SpinByUser(HWND h, int steps) {
    auto w = Find(h);
    if (!w || w->windowClass->name != u"msctls_updown32") return false;
    HWND parent = GetParent(h);
    UINT message = (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
    for (int i = 0; i < std::abs(steps); ++i) {
        auto again = Find(h);
        if (!again) return false;
        auto& s = StateOf<UpDownState>(*again);
        int v;
        if (s.buddy && (again->style & UDS_SETBUDDYINT) && ReadBuddy(s, &v))
            s.pos = Clamp(v, s.lower, s.upper);
        // The up arrow moves toward the upper end of the range.
        int towardUpper = s.upper >= s.lower ? 1 : -1;
        int delta = steps > 0 ? towardUpper : -towardUpper;
        NMUPDOWN n{{}, s.pos, delta};
        n.hdr.code = UDN_DELTAPOS;
        if (NotifyParentNm(h, &n.hdr)) continue; // the parent refused the change
        again = Find(h);
        if (!again) return false;
        auto& s2 = StateOf<UpDownState>(*again);
        int next = s2.pos + n.iDelta;
        int lo = std::min(s2.lower, s2.upper), hi = std::max(s2.lower, s2.upper);
        if (next < lo || next > hi)
            next = (again->style & UDS_WRAP) ? (next < lo ? hi : lo) : Clamp(next, lo, hi);
        s2.pos = next;
        UpdateBuddy(*again, s2);
        SendMessageW(parent, message, MAKELONG(SB_THUMBPOSITION, static_cast<WORD>(next)),
                     reinterpret_cast<LPARAM>(h));
        SendMessageW(parent, message, MAKELONG(SB_ENDSCROLL, static_cast<WORD>(next)),
                     reinterpret_cast<LPARAM>(h));
    }
    return true;
}

bool SelectTabByUser(HWND h, int index) {
    auto w = Find(h);
    if (!w || w->windowClass->name != u"SysTabControl32") return false;
    auto& s = StateOf<TabState>(*w);
    if (index < 0 || index >= static_cast<int>(s.items.size())) return false;
    if (index == s.current) return true;
    NMHDR n{};
    n.code = TCN_SELCHANGING;
    if (NotifyParentNm(h, &n)) return false; // refused
    auto again = Find(h);
    if (!again) return false;
    StateOf<TabState>(*again).current = index;
    n.code = TCN_SELCHANGE;
    NotifyParentNm(h, &n);
    return true;
}

bool ScrollByUser(HWND h, int position) {
    auto w = Find(h);
    if (!w || w->windowClass->name != u"ScrollBar") return false;
    UINT message = (w->style & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    HWND parent = GetParent(h);
    // The scroll bar moves when its owner says so (SetScrollPos), as on the system.
    SendMessageW(parent, message, MAKELONG(SB_THUMBTRACK, static_cast<WORD>(position)),
                 reinterpret_cast<LPARAM>(h));
    SendMessageW(parent, message, MAKELONG(SB_THUMBPOSITION, static_cast<WORD>(position)),
                 reinterpret_cast<LPARAM>(h));
    SendMessageW(parent, message, SB_ENDSCROLL, reinterpret_cast<LPARAM>(h));
    return true;
}

} // namespace platform::user

using namespace platform::user;

extern "C" {

int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO lpsi, BOOL) {
    if (!lpsi || !IsWindow(hwnd)) return 0;
    if (nBar == SB_CTL)
        return static_cast<int>(
            SendMessageW(hwnd, SBM_SETSCROLLINFO, TRUE, reinterpret_cast<LPARAM>(lpsi)));
    std::lock_guard lock(gBarsLock);
    auto& info = WindowBars()[{hwnd, nBar}];
    if (!info.cbSize) info = {sizeof info, 0, 0, 100, 0, 0, 0};
    SetInfo(info, *lpsi);
    return info.nPos;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
    if (!lpsi || !IsWindow(hwnd)) return FALSE;
    if (nBar == SB_CTL)
        return static_cast<BOOL>(
            SendMessageW(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(lpsi)));
    std::lock_guard lock(gBarsLock);
    auto it = WindowBars().find({hwnd, nBar});
    SCROLLINFO info =
        it == WindowBars().end() ? SCROLLINFO{sizeof info, 0, 0, 100, 0, 0, 0} : it->second;
    GetInfo(info, lpsi);
    return TRUE;
}

int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
    SCROLLINFO old{sizeof old, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(hWnd, nBar, &old);
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, nPos, 0};
    SetScrollInfo(hWnd, nBar, &si, bRedraw);
    return old.nPos;
}

int WINAPI GetScrollPos(HWND hWnd, int nBar) {
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 0, 0};
    return GetScrollInfo(hWnd, nBar, &si) ? si.nPos : 0;
}

BOOL WINAPI SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
    SCROLLINFO si{sizeof si, SIF_RANGE, nMinPos, nMaxPos, 0, 0, 0};
    SetScrollInfo(hWnd, nBar, &si, bRedraw);
    return IsWindow(hWnd);
}

BOOL WINAPI GetScrollRange(HWND hWnd, int nBar, LPINT lpMinPos, LPINT lpMaxPos) {
    SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(hWnd, nBar, &si)) return FALSE;
    if (lpMinPos) *lpMinPos = si.nMin;
    if (lpMaxPos) *lpMaxPos = si.nMax;
    return TRUE;
}

void WINAPI InitCommonControls() {
    RegisterSystemClasses();
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    RegisterSystemClasses();
    return TRUE;
}

} // extern "C"
