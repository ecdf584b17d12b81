// List boxes and combo boxes: items with data, sorting, owner-drawn fixed and
// variable heights, and the rule that the program's own selection sends no
// notification while a person's does.
#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "user_internal.h"
#include "win/strings.h"

namespace platform::user {
namespace {

constexpr UINT kItemHeight = 13;

struct Item {
    std::u16string text;
    ULONG_PTR data = 0;
    UINT height = kItemHeight;
};

struct ListState : ControlState {
    std::vector<Item> items;
    int current = -1;
    int top = 0;
    UINT itemHeight = kItemHeight;
    UINT fieldHeight = kItemHeight; // a combo box's selection field
    bool dropped = false;
    UINT textLimit = 0; // 0: none
};

// The styles of a list, whichever control holds it.
struct ListKind {
    bool combo;
    bool ownerFixed;
    bool ownerVariable;
    bool hasStrings;
    bool sorted;
    bool notify;
};

ListKind KindOf(const Window& w) {
    ListKind k{};
    k.combo = w.windowClass->name == u"ComboBox";
    if (k.combo) {
        k.ownerFixed = (w.style & CBS_OWNERDRAWFIXED) != 0;
        k.ownerVariable = (w.style & CBS_OWNERDRAWVARIABLE) != 0;
        k.hasStrings = !(k.ownerFixed || k.ownerVariable) || (w.style & CBS_HASSTRINGS);
        k.sorted = (w.style & CBS_SORT) != 0;
        k.notify = true;
    } else {
        k.ownerFixed = (w.style & LBS_OWNERDRAWFIXED) != 0;
        k.ownerVariable = (w.style & LBS_OWNERDRAWVARIABLE) != 0;
        k.hasStrings = !(k.ownerFixed || k.ownerVariable) || (w.style & LBS_HASSTRINGS);
        k.sorted = (w.style & LBS_SORT) != 0;
        k.notify = (w.style & LBS_NOTIFY) != 0;
    }
    return k;
}

UINT Measure(HWND h, const Window& w, const ListKind& k, UINT itemId, ULONG_PTR data) {
    MEASUREITEMSTRUCT m{static_cast<UINT>(k.combo ? ODT_COMBOBOX : ODT_LISTBOX),
                        static_cast<UINT>(w.id),
                        itemId,
                        0,
                        kItemHeight,
                        data};
    if (w.parent)
        SendMessageW(w.parent, WM_MEASUREITEM, static_cast<WPARAM>(w.id),
                     reinterpret_cast<LPARAM>(&m));
    (void)h;
    return m.itemHeight;
}

int Insert(HWND h, Window& w, int at, LPARAM lp) {
    auto& s = StateOf<ListState>(w);
    ListKind k = KindOf(w);
    Item item;
    if (k.hasStrings)
        item.text = lp ? reinterpret_cast<LPCWSTR>(lp) : u"";
    else
        item.data = static_cast<ULONG_PTR>(lp);
    int count = static_cast<int>(s.items.size());
    if (at < 0 || at > count) {
        if (at != -1 && at > count) return LB_ERR;
        at = count;
        if (k.sorted && k.hasStrings) {
            at = 0;
            while (at < count &&
                   lstrcmpiW(s.items[static_cast<size_t>(at)].text.c_str(), item.text.c_str()) <= 0)
                ++at;
        }
    }
    s.items.insert(s.items.begin() + at, item);
    if (s.current >= at) ++s.current;
    if (k.ownerVariable)
        s.items[at].height = Measure(h, w, k, static_cast<UINT>(at), item.data);
    else
        s.items[at].height = s.itemHeight;
    return at;
}

int Delete(HWND h, Window& w, int index) {
    auto& s = StateOf<ListState>(w);
    ListKind k = KindOf(w);
    if (index < 0 || index >= static_cast<int>(s.items.size())) return LB_ERR;
    if ((k.ownerFixed || k.ownerVariable) && w.parent) {
        DELETEITEMSTRUCT d{static_cast<UINT>(k.combo ? ODT_COMBOBOX : ODT_LISTBOX),
                           static_cast<UINT>(w.id), static_cast<UINT>(index), h,
                           s.items[static_cast<size_t>(index)].data};
        SendMessageW(w.parent, WM_DELETEITEM, static_cast<WPARAM>(w.id),
                     reinterpret_cast<LPARAM>(&d));
    }
    auto again = Find(h);
    if (!again) return LB_ERR;
    auto& s2 = StateOf<ListState>(*again);
    if (index >= static_cast<int>(s2.items.size())) return LB_ERR;
    s2.items.erase(s2.items.begin() + index);
    if (s2.current == index)
        s2.current = -1;
    else if (s2.current > index)
        --s2.current;
    return static_cast<int>(s2.items.size());
}

int FindItem(const ListState& s, int after, LPCWSTR text, bool exact) {
    if (!text) return LB_ERR;
    std::u16string_view want(text);
    int n = static_cast<int>(s.items.size());
    int start = after < -1 || after >= n ? -1 : after;
    for (int step = 1; step <= n; ++step) {
        int i = (start + step) % n;
        const std::u16string& t = s.items[static_cast<size_t>(i)].text;
        if (exact ? EqualsNoCase(t, want)
                  : t.size() >= want.size() &&
                        EqualsNoCase(std::u16string_view(t).substr(0, want.size()), want))
            return i;
    }
    return LB_ERR;
}

void SyncComboText(Window& w) {
    auto& s = StateOf<ListState>(w);
    if (!KindOf(w).combo) return;
    if (s.current >= 0 && s.current < static_cast<int>(s.items.size()))
        w.text = s.items[static_cast<size_t>(s.current)].text;
    else if ((w.style & 3) == CBS_DROPDOWNLIST)
        w.text.clear();
}

LRESULT CopyText(const Window& w, const ListState& s, int index, LPARAM out) {
    if (index < 0 || index >= static_cast<int>(s.items.size()) || !out) return LB_ERR;
    const Item& item = s.items[static_cast<size_t>(index)];
    if (!KindOf(w).hasStrings) {
        std::memcpy(reinterpret_cast<void*>(out), &item.data, sizeof item.data);
        return sizeof item.data;
    }
    std::memcpy(reinterpret_cast<void*>(out), item.text.c_str(),
                (item.text.size() + 1) * sizeof(char16_t));
    return static_cast<LRESULT>(item.text.size());
}

// The messages list boxes and combo boxes share, by their list box names.
LRESULT ListMessage(HWND h, Window& w, UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
    auto& s = StateOf<ListState>(w);
    int count = static_cast<int>(s.items.size());
    int index = static_cast<int>(wp);
    *handled = true;
    switch (msg) {
    case LB_ADDSTRING:
        return Insert(h, w, -1, lp);
    case LB_INSERTSTRING:
        return Insert(h, w, index < 0 ? count : index, lp);
    case LB_DELETESTRING:
        return Delete(h, w, index);
    case LB_RESETCONTENT:
        while (!StateOf<ListState>(w).items.empty())
            Delete(h, w, static_cast<int>(StateOf<ListState>(w).items.size()) - 1);
        StateOf<ListState>(w).current = -1;
        return 0;
    case LB_GETCOUNT:
        return count;
    case LB_SETCURSEL:
        if (index < 0 || index >= count) {
            s.current = -1;
            return index == -1 && KindOf(w).combo ? CB_ERR : LB_ERR;
        }
        s.current = index;
        return index;
    case LB_GETCURSEL:
        return s.current;
    case LB_GETTEXT:
        return CopyText(w, s, index, lp);
    case LB_GETTEXTLEN:
        if (index < 0 || index >= count) return LB_ERR;
        return KindOf(w).hasStrings
                   ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].text.size())
                   : static_cast<LRESULT>(sizeof(ULONG_PTR));
    case LB_GETITEMDATA:
        if (index < 0 || index >= count) return LB_ERR;
        return static_cast<LRESULT>(s.items[static_cast<size_t>(index)].data);
    case LB_SETITEMDATA:
        if (index < 0 || index >= count) return LB_ERR;
        s.items[static_cast<size_t>(index)].data = static_cast<ULONG_PTR>(lp);
        return 0;
    case LB_FINDSTRING:
        return FindItem(s, index, reinterpret_cast<LPCWSTR>(lp), false);
    case LB_FINDSTRINGEXACT:
        return FindItem(s, index, reinterpret_cast<LPCWSTR>(lp), true);
    case LB_SELECTSTRING: {
        int found = FindItem(s, index, reinterpret_cast<LPCWSTR>(lp), false);
        if (found >= 0) s.current = found;
        return found;
    }
    case LB_SETITEMHEIGHT:
        if (lp <= 0 || lp > 255) return LB_ERR;
        if ((w.style & LBS_OWNERDRAWVARIABLE) && index >= 0 && index < count)
            s.items[static_cast<size_t>(index)].height = static_cast<UINT>(lp);
        else if (index == -1 && KindOf(w).combo)
            s.fieldHeight = static_cast<UINT>(lp);
        else
            s.itemHeight = static_cast<UINT>(lp);
        return 0;
    case LB_GETITEMHEIGHT:
        if (index == -1 && KindOf(w).combo) return s.fieldHeight;
        if (index >= 0 && index < count && KindOf(w).ownerVariable)
            return s.items[static_cast<size_t>(index)].height;
        return s.itemHeight;
    case LB_GETTOPINDEX:
        return s.top;
    case LB_SETTOPINDEX:
        if (index < 0 || index >= std::max(count, 1)) return LB_ERR;
        s.top = index;
        return 0;
    default:
        *handled = false;
        return 0;
    }
}

// Combo box messages by the list box message with the same meaning.
UINT ListEquivalent(UINT msg) {
    switch (msg) {
    case CB_ADDSTRING:
        return LB_ADDSTRING;
    case CB_INSERTSTRING:
        return LB_INSERTSTRING;
    case CB_DELETESTRING:
        return LB_DELETESTRING;
    case CB_RESETCONTENT:
        return LB_RESETCONTENT;
    case CB_GETCOUNT:
        return LB_GETCOUNT;
    case CB_SETCURSEL:
        return LB_SETCURSEL;
    case CB_GETCURSEL:
        return LB_GETCURSEL;
    case CB_GETLBTEXT:
        return LB_GETTEXT;
    case CB_GETLBTEXTLEN:
        return LB_GETTEXTLEN;
    case CB_GETITEMDATA:
        return LB_GETITEMDATA;
    case CB_SETITEMDATA:
        return LB_SETITEMDATA;
    case CB_FINDSTRING:
        return LB_FINDSTRING;
    case CB_FINDSTRINGEXACT:
        return LB_FINDSTRINGEXACT;
    case CB_SELECTSTRING:
        return LB_SELECTSTRING;
    case CB_SETITEMHEIGHT:
        return LB_SETITEMHEIGHT;
    case CB_GETITEMHEIGHT:
        return LB_GETITEMHEIGHT;
    default:
        return 0;
    }
}

void MeasureOnCreate(HWND h, Window& w) {
    ListKind k = KindOf(w);
    auto& s = StateOf<ListState>(w);
    if (k.ownerFixed) s.itemHeight = Measure(h, w, k, 0, 0);
    if (k.combo && (k.ownerFixed || k.ownerVariable))
        s.fieldHeight = Measure(h, w, k, static_cast<UINT>(-1), 0);
}

// A person's arrow keys on a list or a closed combo box: the selection moves
// one item (Home and End: to the ends), with the notification a selection
// sends. False for other keys.
bool KeySelect(HWND h, Window& w, WPARAM key) {
    auto& s = StateOf<ListState>(w);
    int count = static_cast<int>(s.items.size());
    int to = s.current;
    switch (key) {
    case VK_UP:
    case VK_LEFT:
        to = s.current < 0 ? 0 : s.current - 1;
        break;
    case VK_DOWN:
    case VK_RIGHT:
        to = s.current + 1;
        break;
    case VK_HOME:
        to = 0;
        break;
    case VK_END:
        to = count - 1;
        break;
    default:
        return false;
    }
    if (!ByUser() || count == 0) return true;
    to = std::clamp(to, 0, count - 1);
    if (to == s.current) return true;
    s.current = to;
    InvalidateRect(h, nullptr, TRUE);
    ListKind k = KindOf(w);
    if (k.combo) {
        SyncComboText(w);
        NotifyParent(h, CBN_SELCHANGE);
    } else if (k.notify) {
        NotifyParent(h, LBN_SELCHANGE);
    }
    return true;
}

} // namespace

LRESULT CALLBACK ListBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    if (msg == WM_CREATE) {
        MeasureOnCreate(h, *w);
        return 0;
    }
    if (msg == LB_SETTABSTOPS) return SetTabStops(*w, wp, lp);
    bool handled = false;
    LRESULT r = ListMessage(h, *w, msg, wp, lp, &handled);
    if (handled) return r;
    switch (msg) {
    case WM_SETFOCUS:
        if (KindOf(*w).notify) NotifyParent(h, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (KindOf(*w).notify) NotifyParent(h, LBN_KILLFOCUS);
        return 0;
    case WM_KEYDOWN:
        if (KeySelect(h, *w, wp)) return 0;
        return DefWindowProcW(h, msg, wp, lp);
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK ComboBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<ListState>(*w);
    if (UINT lb = ListEquivalent(msg)) {
        bool handled = false;
        LRESULT r = ListMessage(h, *w, lb, wp, lp, &handled);
        if (auto again = Find(h)) SyncComboText(*again);
        return r;
    }
    switch (msg) {
    case WM_CREATE:
        MeasureOnCreate(h, *w);
        return 0;
    case WM_NCHITTEST: {
        // A closed drop-down combo box is only as tall as its field: the
        // template's height is that of its list when dropped, so the mouse
        // below the field reaches what lies beneath.
        if ((w->style & 3) != CBS_SIMPLE && !s.dropped) {
            POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
            ScreenToClient(h, &p);
            constexpr LONG kFieldEdges = 6; // the field's sunken frame, above and below
            if (p.y >= static_cast<LONG>(s.fieldHeight) + kFieldEdges) return HTTRANSPARENT;
        }
        return DefWindowProcW(h, msg, wp, lp);
    }
    case WM_SETTEXT:
        // A drop-down list shows only its items; an editable one takes any text.
        if ((w->style & 3) == CBS_DROPDOWNLIST) {
            int found = FindItem(s, -1, reinterpret_cast<LPCWSTR>(lp), true);
            if (found < 0) return CB_ERR;
            s.current = found;
            SyncComboText(*w);
            return TRUE;
        }
        return DefWindowProcW(h, msg, wp, lp);
    case CB_LIMITTEXT:
        s.textLimit = static_cast<UINT>(wp);
        return TRUE;
    case CB_SHOWDROPDOWN:
        if ((wp != 0) != s.dropped) {
            s.dropped = wp != 0;
            NotifyParent(h, s.dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
        }
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return s.dropped;
    case WM_KEYDOWN:
        if (KeySelect(h, *w, wp)) return 0;
        return DefWindowProcW(h, msg, wp, lp);
    case CB_SETDROPPEDWIDTH:
        return static_cast<LRESULT>(wp);
    case CB_GETEDITSEL:
        return 0;
    case CB_SETEDITSEL:
        return TRUE;
    case WM_SETFOCUS:
        NotifyParent(h, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        NotifyParent(h, CBN_KILLFOCUS);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

// A person picks item index: the list's and combo's notifications in the
// order a mouse selection sends them.
bool SelectByUser(HWND h, int index) {
    auto w = Find(h);
    if (!w) return false;
    ListKind k = KindOf(*w);
    auto& s = StateOf<ListState>(*w);
    if (index < 0 || index >= static_cast<int>(s.items.size())) return false;
    if (k.combo) {
        SendMessageW(h, CB_SHOWDROPDOWN, TRUE, 0);
        if (auto again = Find(h)) {
            StateOf<ListState>(*again).current = index;
            SyncComboText(*again);
        }
        NotifyParent(h, CBN_SELCHANGE);
        NotifyParent(h, CBN_SELENDOK);
        SendMessageW(h, CB_SHOWDROPDOWN, FALSE, 0);
        return true;
    }
    s.current = index;
    if (k.notify) NotifyParent(h, LBN_SELCHANGE);
    return true;
}

// A person types into an editable combo box's field.
bool TypeIntoCombo(HWND h, const std::u16string& text) {
    auto w = Find(h);
    if (!w || (w->style & 3) == CBS_DROPDOWNLIST) return false;
    auto& s = StateOf<ListState>(*w);
    std::u16string typed;
    for (char16_t c : text) {
        if (s.textLimit && typed.size() >= s.textLimit) break;
        typed.push_back(c);
        w->text = typed;
        NotifyParent(h, CBN_EDITUPDATE);
        NotifyParent(h, CBN_EDITCHANGE);
    }
    return true;
}

} // namespace platform::user
