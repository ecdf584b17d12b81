// The list view: items with subitems in report, icon, small-icon and list
// views; columns; selection, focus and check boxes as item states; image
// lists; sorting; and the LVN_*/NM_* notifications its parent relies on.
// Unlike a list box, a list view tells its parent of every state change,
// whether the program or a person made it.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "platform/text.h"
#include "user_internal.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"
#include "win/strings.h"

namespace platform::user {
namespace {

constexpr int kHeaderHeight = 20;
constexpr int kTextRowHeight = 17;
constexpr int kIconCellWidth = 75;
constexpr int kIconCellHeight = 70;
constexpr int kListColumnWidth = 150;
constexpr int kStateIconWidth = 16;
constexpr int kLabelMargin = 6; // around a text in its column
constexpr int kDefaultColumnWidth = 60;
constexpr int kGuessCharWidth = 6; // without a font to measure with
constexpr UINT kCheckedImage = 2;
constexpr UINT kUncheckedImage = 1;

struct Cell {
    std::u16string text;
    bool callback = false; // LPSTR_TEXTCALLBACKW: the parent gives the text
    int image = I_IMAGENONE;
};

struct Item {
    std::vector<Cell> cells{1}; // cells[0] is the item itself
    int image = 0;
    LPARAM param = 0;
    UINT state = 0;
    int indent = 0;
};

struct Column {
    std::u16string text;
    int fmt = LVCFMT_LEFT;
    int width = kDefaultColumnWidth;
    int subItem = 0;
    int image = -1;
};

struct ListViewState : ControlState {
    std::vector<Item> items;
    std::vector<Column> columns;
    std::vector<int> order; // columns in display order
    DWORD exStyle = 0;
    HIMAGELIST lists[3] = {};
    COLORREF background = CLR_DEFAULT, text = CLR_DEFAULT, textBackground = CLR_DEFAULT;
    int mark = -1;
    int top = 0;
    UINT callbackMask = 0;
};

ListViewState& StateOfList(Window& w) {
    return StateOf<ListViewState>(w);
}

UINT ViewOf(const Window& w) {
    return w.style & LVS_TYPEMASK;
}

bool Valid(const ListViewState& s, WPARAM i) {
    return static_cast<int>(i) >= 0 && static_cast<int>(i) < static_cast<int>(s.items.size());
}

// ---- notifications ----

LRESULT SendListNotify(HWND h, UINT code, int item, int subItem, UINT newState, UINT oldState,
                       UINT changed, LPARAM param, POINT at = {}) {
    NMLISTVIEW n{};
    n.hdr.code = code;
    n.iItem = item;
    n.iSubItem = subItem;
    n.uNewState = newState;
    n.uOldState = oldState;
    n.uChanged = changed;
    n.ptAction = at;
    n.lParam = param;
    return NotifyParentNm(h, &n.hdr);
}

LRESULT SendActivate(HWND h, UINT code, int item, int subItem, POINT at, LPARAM param) {
    NMITEMACTIVATE n{};
    n.hdr.code = code;
    n.iItem = item;
    n.iSubItem = subItem;
    n.ptAction = at;
    n.lParam = param;
    return NotifyParentNm(h, &n.hdr);
}

LRESULT SendPlain(HWND h, UINT code) {
    NMHDR n{};
    n.code = code;
    return NotifyParentNm(h, &n);
}

// What the parent says a callback cell holds.
std::u16string AskText(HWND h, const ListViewState& s, int index, int sub) {
    WCHAR buffer[1024] = {};
    NMLVDISPINFOW d{};
    d.hdr.code = LVN_GETDISPINFOW;
    d.item.mask = LVIF_TEXT;
    d.item.iItem = index;
    d.item.iSubItem = sub;
    d.item.pszText = buffer;
    d.item.cchTextMax = 1024;
    d.item.lParam = s.items[static_cast<size_t>(index)].param;
    NotifyParentNm(h, &d.hdr);
    if (!d.item.pszText || d.item.pszText == LPSTR_TEXTCALLBACKW) return {};
    size_t n = 0;
    while (n < 1024 && d.item.pszText[n])
        ++n;
    return std::u16string(d.item.pszText, n);
}

std::u16string CellText(HWND h, const ListViewState& s, int index, int sub) {
    const Item& item = s.items[static_cast<size_t>(index)];
    if (sub < 0 || static_cast<size_t>(sub) >= item.cells.size()) return {};
    const Cell& c = item.cells[static_cast<size_t>(sub)];
    return c.callback ? AskText(h, s, index, sub) : c.text;
}

// ---- states ----

// Changes the states in mask of one item, with LVN_ITEMCHANGING (which the
// parent may refuse) and LVN_ITEMCHANGED. False when refused or unchanged.
bool ChangeOne(HWND h, ListViewState& s, int index, UINT state, UINT mask) {
    Item& item = s.items[static_cast<size_t>(index)];
    UINT old = item.state;
    UINT now = (old & ~mask) | (state & mask);
    if (now == old) return false;
    LPARAM param = item.param;
    if (SendListNotify(h, LVN_ITEMCHANGING, index, 0, now, old, LVIF_STATE, param)) return false;
    // The parent may have changed the list meanwhile.
    if (!Valid(s, static_cast<WPARAM>(index))) return false;
    s.items[static_cast<size_t>(index)].state = now;
    SendListNotify(h, LVN_ITEMCHANGED, index, 0, now, old, LVIF_STATE, param);
    return true;
}

// Sets states as LVM_SETITEMSTATE does (index -1: every item). One item
// selected in a single-selection list takes the selection from the others;
// one item focused takes the focus from the others.
bool SetState(HWND h, const Window& w, ListViewState& s, int index, UINT state, UINT mask) {
    if (index != -1 && !Valid(s, static_cast<WPARAM>(index))) return false;
    bool single = (w.style & LVS_SINGLESEL) != 0;
    if (index == -1) {
        if (single && (mask & LVIS_SELECTED) && (state & LVIS_SELECTED)) mask &= ~LVIS_SELECTED;
        for (int i = 0; i < static_cast<int>(s.items.size()); ++i)
            ChangeOne(h, s, i, state, mask & ~(state & LVIS_FOCUSED));
        return true;
    }
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
        for (int i = 0; i < static_cast<int>(s.items.size()); ++i)
            if (i != index) ChangeOne(h, s, i, 0, LVIS_FOCUSED);
    if (single && (mask & LVIS_SELECTED) && (state & LVIS_SELECTED))
        for (int i = 0; i < static_cast<int>(s.items.size()); ++i)
            if (i != index) ChangeOne(h, s, i, 0, LVIS_SELECTED);
    if (Valid(s, static_cast<WPARAM>(index))) ChangeOne(h, s, index, state, mask);
    return true;
}

bool Checkable(const ListViewState& s) {
    return (s.exStyle & LVS_EX_CHECKBOXES) != 0;
}

UINT StateImage(UINT state) {
    return (state & LVIS_STATEIMAGEMASK) >> 12;
}

// ---- geometry ----

int RowHeight(const ListViewState& s) {
    int cx = 0, cy = 0;
    if (s.lists[LVSIL_SMALL]) ImageList_GetIconSize(s.lists[LVSIL_SMALL], &cx, &cy);
    return std::max(kTextRowHeight, cy + 1);
}

int HeaderHeight(const Window& w) {
    return ViewOf(w) == LVS_REPORT && !(w.style & LVS_NOCOLUMNHEADER) ? kHeaderHeight : 0;
}

RECT Client(HWND h) {
    RECT r{};
    GetClientRect(h, &r);
    return r;
}

int PerRow(HWND h, const Window& w) {
    LONG width = Client(h).right;
    switch (ViewOf(w)) {
    case LVS_ICON:
        return std::max<int>(1, width / kIconCellWidth);
    case LVS_SMALLICON:
        return std::max<int>(1, width / kListColumnWidth);
    default:
        return 1;
    }
}

int RowsPerPage(HWND h, const Window& w, const ListViewState& s) {
    LONG height = Client(h).bottom - HeaderHeight(w);
    int row = ViewOf(w) == LVS_ICON ? kIconCellHeight : RowHeight(s);
    return std::max<int>(1, height / row);
}

int CountPerPage(HWND h, const Window& w, const ListViewState& s) {
    return ViewOf(w) == LVS_LIST
               ? RowsPerPage(h, w, s) * std::max<int>(1, Client(h).right / kListColumnWidth)
               : RowsPerPage(h, w, s) * PerRow(h, w);
}

// Left edge of a column in the order shown, and its width.
int ColumnLeft(const ListViewState& s, int column) {
    int x = 0;
    for (int c : s.order) {
        if (c == column) return x;
        x += s.columns[static_cast<size_t>(c)].width;
    }
    return x;
}

int TotalWidth(const ListViewState& s) {
    int x = 0;
    for (const auto& c : s.columns)
        x += c.width;
    return x;
}

// The whole cell of an item (all columns in the report view).
RECT ItemBounds(HWND h, const Window& w, const ListViewState& s, int index) {
    int row = RowHeight(s);
    switch (ViewOf(w)) {
    case LVS_REPORT: {
        LONG y = HeaderHeight(w) + (index - s.top) * row;
        return {0, y, std::max(TotalWidth(s), 1), y + row};
    }
    case LVS_ICON: {
        int per = PerRow(h, w);
        int line = index / per - s.top / per;
        LONG x = (index % per) * kIconCellWidth, y = line * kIconCellHeight;
        return {x, y, x + kIconCellWidth, y + kIconCellHeight};
    }
    case LVS_SMALLICON: {
        int per = PerRow(h, w);
        int line = index / per - s.top / per;
        LONG x = (index % per) * kListColumnWidth, y = line * row;
        return {x, y, x + kListColumnWidth, y + row};
    }
    default: { // LVS_LIST: columns filled top to bottom
        int rows = RowsPerPage(h, w, s);
        int first = s.top - s.top % rows;
        LONG x = ((index - first) / rows) * kListColumnWidth;
        LONG y = ((index - first) % rows) * row;
        return {x, y, x + kListColumnWidth, y + row};
    }
    }
}

int ImageWidth(HIMAGELIST list) {
    int cx = 0, cy = 0;
    return list && ImageList_GetIconSize(list, &cx, &cy) ? cx : 0;
}

// Parts of an item: its state icon (check box), its icon and its label.
struct ItemParts {
    RECT bounds, state, icon, label;
};

ItemParts PartsOf(HWND h, const Window& w, const ListViewState& s, int index) {
    ItemParts p{};
    p.bounds = ItemBounds(h, w, s, index);
    if (ViewOf(w) == LVS_ICON) {
        int icon = std::max(ImageWidth(s.lists[LVSIL_NORMAL]), 32);
        LONG cx = (p.bounds.left + p.bounds.right) / 2;
        p.icon = {cx - icon / 2, p.bounds.top + 2, cx + icon / 2, p.bounds.top + 2 + icon};
        p.state = {p.icon.left - kStateIconWidth, p.icon.bottom - kStateIconWidth, p.icon.left,
                   p.icon.bottom};
        if (!Checkable(s) && !s.lists[LVSIL_STATE])
            p.state = {p.icon.left, p.icon.top, p.icon.left, p.icon.top};
        p.label = {p.bounds.left, p.icon.bottom + 2, p.bounds.right, p.bounds.bottom};
        return p;
    }
    LONG begin = p.bounds.left, end = p.bounds.right;
    if (ViewOf(w) == LVS_REPORT && !s.columns.empty()) {
        begin = ColumnLeft(s, 0);
        end = begin + s.columns[0].width;
    }
    LONG x = begin + ImageWidth(s.lists[LVSIL_SMALL]) * s.items[static_cast<size_t>(index)].indent;
    int stateWidth = Checkable(s) || s.lists[LVSIL_STATE] ? kStateIconWidth : 0;
    p.state = {x, p.bounds.top, x + stateWidth, p.bounds.bottom};
    x += stateWidth;
    int iconWidth = ImageWidth(s.lists[LVSIL_SMALL]);
    p.icon = {x, p.bounds.top, x + iconWidth, p.bounds.bottom};
    x += iconWidth;
    p.label = {x, p.bounds.top, std::max(x, end), p.bounds.bottom};
    return p;
}

bool Inside(const RECT& r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool Shown(HWND h, const Window& w, const ListViewState& s, int index) {
    RECT b = ItemBounds(h, w, s, index);
    RECT c = Client(h);
    return b.bottom > HeaderHeight(w) && b.top < c.bottom && b.right > 0 && b.left < c.right;
}

// What is under a point of the client area.
LVHITTESTINFO HitTest(HWND h, const Window& w, const ListViewState& s, POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    hit.iItem = -1;
    hit.flags = LVHT_NOWHERE;
    RECT c = Client(h);
    if (at.y < HeaderHeight(w)) {
        hit.flags = LVHT_ABOVE;
        return hit;
    }
    if (at.y >= c.bottom) hit.flags = LVHT_BELOW;
    if (at.x >= c.right) hit.flags |= LVHT_TORIGHT;
    if (at.x < 0) hit.flags |= LVHT_TOLEFT;
    for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
        if (!Shown(h, w, s, i)) continue;
        ItemParts p = PartsOf(h, w, s, i);
        if (!Inside(p.bounds, at)) continue;
        UINT part =
            Inside(p.state, at)  ? LVHT_ONITEMSTATEICON
            : Inside(p.icon, at) ? LVHT_ONITEMICON
            : Inside(p.label, at) || (ViewOf(w) == LVS_REPORT && (s.exStyle & LVS_EX_FULLROWSELECT))
                ? LVHT_ONITEMLABEL
                : 0;
        if (ViewOf(w) == LVS_REPORT) {
            for (size_t c2 = 0; c2 < s.columns.size(); ++c2) {
                int left = ColumnLeft(s, static_cast<int>(c2));
                if (at.x >= left && at.x < left + s.columns[c2].width)
                    hit.iSubItem = s.columns[c2].subItem;
            }
            if (hit.iSubItem != 0 && part == 0) part = LVHT_ONITEMLABEL;
        }
        if (!part) {
            hit.flags = LVHT_NOWHERE;
            return hit;
        }
        hit.flags = part;
        hit.iItem = i;
        return hit;
    }
    return hit;
}

// The width of a text in the control's font.
int TextWidth(const Window& w, const std::u16string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    int width = static_cast<int>(text.size()) * kGuessCharWidth;
    if (dc) {
        HGDIOBJ old = SelectObject(dc, w.font ? w.font : GetStockObject(DEFAULT_GUI_FONT));
        SIZE size{};
        if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
            width = size.cx;
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    return width;
}

// ---- items ----

int FoldedCompare(const std::u16string& a, const std::u16string& b) {
    return lstrcmpiW(a.c_str(), b.c_str());
}

void StoreText(Cell& cell, LPCWSTR text) {
    cell.callback = text == LPSTR_TEXTCALLBACKW;
    cell.text = cell.callback || !text ? std::u16string() : std::u16string(text);
}

Cell& CellOf(Item& item, int sub) {
    if (item.cells.size() <= static_cast<size_t>(sub))
        item.cells.resize(static_cast<size_t>(sub) + 1);
    return item.cells[static_cast<size_t>(sub)];
}

// The mark follows its item when items move.
void FixMarkAfterInsert(ListViewState& s, int at) {
    if (s.mark >= at) ++s.mark;
}

LRESULT InsertItem(HWND h, const Window& w, ListViewState& s, const LVITEMW* in) {
    if (!in || in->iSubItem != 0) return -1;
    Item item;
    if (in->mask & LVIF_TEXT) StoreText(item.cells[0], in->pszText);
    if (in->mask & LVIF_IMAGE) item.image = in->iImage;
    if (in->mask & LVIF_PARAM) item.param = in->lParam;
    if (in->mask & LVIF_INDENT) item.indent = std::max(in->iIndent, 0);
    UINT wanted = (in->mask & LVIF_STATE) ? (in->state & in->stateMask) : 0;
    if (Checkable(s) && !StateImage(wanted)) wanted |= INDEXTOSTATEIMAGEMASK(kUncheckedImage);
    item.state = wanted & ~(LVIS_SELECTED | LVIS_FOCUSED);
    int count = static_cast<int>(s.items.size());
    int at = std::clamp(in->iItem, 0, count);
    bool ascending = (w.style & LVS_SORTASCENDING) != 0;
    bool descending = (w.style & LVS_SORTDESCENDING) != 0;
    if ((ascending || descending) && !item.cells[0].callback) {
        at = 0;
        while (at < count) {
            int c =
                FoldedCompare(item.cells[0].text, s.items[static_cast<size_t>(at)].cells[0].text);
            if (ascending ? c < 0 : c > 0) break;
            ++at;
        }
    }
    s.items.insert(s.items.begin() + at, std::move(item));
    FixMarkAfterInsert(s, at);
    SendListNotify(h, LVN_INSERTITEM, at, 0, 0, 0, 0, s.items[static_cast<size_t>(at)].param);
    if (wanted & (LVIS_SELECTED | LVIS_FOCUSED) && Valid(s, static_cast<WPARAM>(at)))
        SetState(h, w, s, at, wanted, LVIS_SELECTED | LVIS_FOCUSED);
    return at;
}

bool DeleteItem(HWND h, ListViewState& s, int index) {
    if (!Valid(s, static_cast<WPARAM>(index))) return false;
    SendListNotify(h, LVN_DELETEITEM, index, 0, 0, 0, 0, s.items[static_cast<size_t>(index)].param);
    if (!Valid(s, static_cast<WPARAM>(index))) return true;
    s.items.erase(s.items.begin() + index);
    if (s.mark == index)
        s.mark = -1;
    else if (s.mark > index)
        --s.mark;
    s.top = std::clamp(s.top, 0, std::max(static_cast<int>(s.items.size()) - 1, 0));
    return true;
}

void DeleteAll(HWND h, ListViewState& s) {
    if (s.items.empty()) return;
    // A parent that answers TRUE wants no LVN_DELETEITEM for each item.
    bool quiet = SendListNotify(h, LVN_DELETEALLITEMS, -1, 0, 0, 0, 0, 0) != 0;
    if (!quiet)
        for (size_t i = 0; i < s.items.size(); ++i)
            SendListNotify(h, LVN_DELETEITEM, static_cast<int>(i), 0, 0, 0, 0, s.items[i].param);
    s.items.clear();
    s.mark = -1;
    s.top = 0;
}

BOOL SetItem(HWND h, const Window& w, ListViewState& s, const LVITEMW* in) {
    if (!in || !Valid(s, static_cast<WPARAM>(in->iItem)) || in->iSubItem < 0) return FALSE;
    Item& item = s.items[static_cast<size_t>(in->iItem)];
    if (in->iSubItem > 0) {
        if (in->mask & ~(LVIF_TEXT | LVIF_IMAGE)) {
            // Subitems have a text and an image only.
            if (in->mask & (LVIF_STATE | LVIF_PARAM | LVIF_INDENT)) return FALSE;
        }
        Cell& cell = CellOf(item, in->iSubItem);
        if (in->mask & LVIF_TEXT) StoreText(cell, in->pszText);
        if (in->mask & LVIF_IMAGE) cell.image = in->iImage;
        return TRUE;
    }
    if (in->mask & LVIF_TEXT) StoreText(item.cells[0], in->pszText);
    if (in->mask & LVIF_IMAGE) item.image = in->iImage;
    if (in->mask & LVIF_PARAM) item.param = in->lParam;
    if (in->mask & LVIF_INDENT) item.indent = std::max(in->iIndent, 0);
    if (in->mask & LVIF_STATE) SetState(h, w, s, in->iItem, in->state, in->stateMask);
    return TRUE;
}

// Copies a text into a caller's buffer of max characters; the count copied.
int CopyOut(const std::u16string& text, LPWSTR out, int max) {
    if (!out || max <= 0) return 0;
    int n = std::min<int>(static_cast<int>(text.size()), max - 1);
    std::memcpy(out, text.data(), static_cast<size_t>(n) * sizeof(WCHAR));
    out[n] = 0;
    return n;
}

BOOL GetItem(HWND h, ListViewState& s, LVITEMW* io) {
    if (!io || !Valid(s, static_cast<WPARAM>(io->iItem)) || io->iSubItem < 0) return FALSE;
    const Item& item = s.items[static_cast<size_t>(io->iItem)];
    if (io->mask & LVIF_TEXT)
        CopyOut(CellText(h, s, io->iItem, io->iSubItem), io->pszText, io->cchTextMax);
    if (io->mask & LVIF_IMAGE)
        io->iImage = io->iSubItem == 0 ? item.image
                     : static_cast<size_t>(io->iSubItem) < item.cells.size()
                         ? item.cells[static_cast<size_t>(io->iSubItem)].image
                         : I_IMAGENONE;
    if (io->iSubItem == 0) {
        if (io->mask & LVIF_PARAM) io->lParam = item.param;
        if (io->mask & LVIF_INDENT) io->iIndent = item.indent;
        if (io->mask & LVIF_STATE) io->state = item.state & io->stateMask;
    }
    return TRUE;
}

LRESULT NextItem(const ListViewState& s, const Window& w, int start, UINT flags) {
    UINT want = flags & (LVNI_SELECTED | LVNI_FOCUSED);
    auto matches = [&](int i) {
        UINT st = s.items[static_cast<size_t>(i)].state;
        return (st & want) == want;
    };
    int count = static_cast<int>(s.items.size());
    int step = 1;
    if (flags & LVNI_ABOVE) step = -1;
    if (flags & (LVNI_TOLEFT | LVNI_TORIGHT)) {
        if (ViewOf(w) == LVS_REPORT) return -1;
        step = (flags & LVNI_TOLEFT) ? -1 : 1;
    }
    int i = start < 0 ? (step > 0 ? 0 : count - 1) : start + step;
    for (; i >= 0 && i < count; i += step)
        if (matches(i)) return i;
    return -1;
}

LRESULT FindItem(HWND h, const ListViewState& s, int start, const LVFINDINFOW* f) {
    if (!f) return -1;
    int count = static_cast<int>(s.items.size());
    if (count == 0) return -1;
    int first = start < 0 ? 0 : start + 1;
    int tries = (f->flags & LVFI_WRAP) ? count : std::max(count - first, 0);
    for (int k = 0; k < tries; ++k) {
        int i = (first + k) % count;
        const Item& item = s.items[static_cast<size_t>(i)];
        if (f->flags & LVFI_PARAM) {
            if (item.param == f->lParam) return i;
            continue;
        }
        if (!(f->flags & (LVFI_STRING | LVFI_PARTIAL)) || !f->psz) continue;
        std::u16string text = CellText(h, s, i, 0), wanted(f->psz);
        if (f->flags & LVFI_PARTIAL) text = text.substr(0, wanted.size());
        if (FoldedCompare(text, wanted) == 0) return i;
    }
    return -1;
}

// Sorts by the program's comparison: of item data (LVM_SORTITEMS) or of
// indexes as they stood before the sort (LVM_SORTITEMSEX). A merge sort,
// so a comparison that contradicts itself leaves an order, never a fault.
BOOL SortItems(ListViewState& s, PFNLVCOMPARE compare, LPARAM data, bool byIndex) {
    if (!compare) return FALSE;
    std::vector<int> order(s.items.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<LPARAM> params;
    for (const auto& item : s.items)
        params.push_back(item.param);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        LPARAM x = byIndex ? a : params[static_cast<size_t>(a)];
        LPARAM y = byIndex ? b : params[static_cast<size_t>(b)];
        return compare(x, y, data) < 0;
    });
    if (order.size() != s.items.size()) return FALSE; // the comparison changed the list
    std::vector<Item> sorted;
    sorted.reserve(order.size());
    int mark = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == s.mark) mark = static_cast<int>(i);
        sorted.push_back(std::move(s.items[static_cast<size_t>(order[i])]));
    }
    s.items = std::move(sorted);
    s.mark = mark;
    return TRUE;
}

// ---- columns ----

LRESULT InsertColumn(ListViewState& s, const Window& w, int at, const LVCOLUMNW* in) {
    if (!in || at < 0) return -1;
    Column c;
    if (in->mask & LVCF_TEXT && in->pszText) c.text = in->pszText;
    if (in->mask & LVCF_FMT) c.fmt = in->fmt;
    if (in->mask & LVCF_WIDTH) c.width = std::max(in->cx, 0);
    if (in->mask & LVCF_IMAGE) c.image = in->iImage;
    at = std::min<int>(at, static_cast<int>(s.columns.size()));
    c.subItem = (in->mask & LVCF_SUBITEM) ? std::max(in->iSubItem, 0) : at;
    // The first column always shows its text on the left.
    if (at == 0) c.fmt &= ~LVCFMT_JUSTIFYMASK;
    (void)w;
    s.columns.insert(s.columns.begin() + at, std::move(c));
    for (int& o : s.order)
        if (o >= at) ++o;
    int shownAt = (in->mask & LVCF_ORDER)
                      ? std::clamp(in->iOrder, 0, static_cast<int>(s.order.size()))
                      : static_cast<int>(s.order.size());
    s.order.insert(s.order.begin() + shownAt, at);
    return at;
}

BOOL DeleteColumn(ListViewState& s, int at) {
    if (at < 0 || at >= static_cast<int>(s.columns.size())) return FALSE;
    int sub = s.columns[static_cast<size_t>(at)].subItem;
    s.columns.erase(s.columns.begin() + at);
    s.order.erase(std::find(s.order.begin(), s.order.end(), at));
    for (int& o : s.order)
        if (o > at) --o;
    if (sub > 0) {
        for (auto& item : s.items)
            if (item.cells.size() > static_cast<size_t>(sub))
                item.cells.erase(item.cells.begin() + sub);
        for (auto& c : s.columns)
            if (c.subItem > sub) --c.subItem;
    }
    return TRUE;
}

int AutoWidth(HWND h, const Window& w, const ListViewState& s, int column, bool header) {
    const Column& c = s.columns[static_cast<size_t>(column)];
    int width = header ? TextWidth(w, c.text) + 2 * kLabelMargin : 0;
    for (int i = 0; i < static_cast<int>(s.items.size()); ++i) {
        int extra = 2 * kLabelMargin;
        if (column == 0) {
            ItemParts p = PartsOf(h, w, s, i);
            extra += p.label.left - p.bounds.left - ColumnLeft(s, 0);
        }
        width = std::max(width, TextWidth(w, CellText(h, s, i, c.subItem)) + extra);
    }
    return width;
}

BOOL SetColumnWidth(HWND h, const Window& w, ListViewState& s, int column, int width) {
    if (ViewOf(w) == LVS_LIST) return width > 0; // one width for every column of a list
    if (column < 0 || column >= static_cast<int>(s.columns.size())) return FALSE;
    if (width == LVSCW_AUTOSIZE) {
        width = AutoWidth(h, w, s, column, false);
    } else if (width == LVSCW_AUTOSIZE_USEHEADER) {
        width = AutoWidth(h, w, s, column, true);
        // The last column fills what is left of the control.
        if (s.order.back() == column)
            width = std::max<int>(width, Client(h).right - ColumnLeft(s, column));
    } else if (width < 0) {
        return FALSE;
    }
    s.columns[static_cast<size_t>(column)].width = width;
    return TRUE;
}

BOOL GetColumn(const ListViewState& s, int at, LVCOLUMNW* io) {
    if (!io || at < 0 || at >= static_cast<int>(s.columns.size())) return FALSE;
    const Column& c = s.columns[static_cast<size_t>(at)];
    if (io->mask & LVCF_TEXT) CopyOut(c.text, io->pszText, io->cchTextMax);
    if (io->mask & LVCF_FMT) io->fmt = c.fmt;
    if (io->mask & LVCF_WIDTH) io->cx = c.width;
    if (io->mask & LVCF_SUBITEM) io->iSubItem = c.subItem;
    if (io->mask & LVCF_IMAGE) io->iImage = c.image;
    if (io->mask & LVCF_ORDER)
        io->iOrder =
            static_cast<int>(std::find(s.order.begin(), s.order.end(), at) - s.order.begin());
    return TRUE;
}

BOOL SetColumn(ListViewState& s, int at, const LVCOLUMNW* in) {
    if (!in || at < 0 || at >= static_cast<int>(s.columns.size())) return FALSE;
    Column& c = s.columns[static_cast<size_t>(at)];
    if (in->mask & LVCF_TEXT) c.text = in->pszText ? in->pszText : u"";
    if (in->mask & LVCF_FMT) c.fmt = at == 0 ? (in->fmt & ~LVCFMT_JUSTIFYMASK) : in->fmt;
    if (in->mask & LVCF_WIDTH) c.width = std::max(in->cx, 0);
    if (in->mask & LVCF_SUBITEM) c.subItem = std::max(in->iSubItem, 0);
    if (in->mask & LVCF_IMAGE) c.image = in->iImage;
    return TRUE;
}

// ---- rectangles ----

BOOL ItemRect(HWND h, const Window& w, const ListViewState& s, int index, RECT* io) {
    if (!io || !Valid(s, static_cast<WPARAM>(index))) return FALSE;
    ItemParts p = PartsOf(h, w, s, index);
    switch (io->left) {
    case LVIR_BOUNDS:
        *io = p.bounds;
        return TRUE;
    case LVIR_ICON:
        *io = p.icon;
        return TRUE;
    case LVIR_LABEL:
        *io = p.label;
        return TRUE;
    case LVIR_SELECTBOUNDS:
        *io = (s.exStyle & LVS_EX_FULLROWSELECT) && ViewOf(w) == LVS_REPORT
                  ? p.bounds
                  : RECT{p.icon.left, p.bounds.top, p.label.right, p.bounds.bottom};
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL SubItemRect(HWND h, const Window& w, const ListViewState& s, int index, RECT* io) {
    if (!io || !Valid(s, static_cast<WPARAM>(index)) || ViewOf(w) != LVS_REPORT) return FALSE;
    int sub = io->top;
    if (sub == 0) return ItemRect(h, w, s, index, io);
    for (size_t c = 0; c < s.columns.size(); ++c)
        if (s.columns[c].subItem == sub) {
            RECT b = ItemBounds(h, w, s, index);
            LONG left = ColumnLeft(s, static_cast<int>(c));
            *io = {left, b.top, left + s.columns[c].width, b.bottom};
            return TRUE;
        }
    return FALSE;
}

void EnsureVisible(HWND h, const Window& w, ListViewState& s, int index) {
    int per = CountPerPage(h, w, s);
    int step = ViewOf(w) == LVS_ICON || ViewOf(w) == LVS_SMALLICON ? PerRow(h, w) : 1;
    if (index < s.top) s.top = index - index % step;
    while (index >= s.top + per)
        s.top += step;
}

// ---- a person's actions ----

POINT ScreenPoint(HWND h, POINT at) {
    ClientToScreen(h, &at);
    return at;
}

// A click of the left or right button on a point of the client area: the
// focus, the selection (or a check box), then the click's notification.
void MouseDown(HWND h, UINT msg, POINT at) {
    auto w = Find(h);
    if (!w) return;
    if (GetFocus() != h) SetFocus(h);
    w = Find(h);
    if (!w) return;
    auto& s = StateOfList(*w);
    bool right = msg == WM_RBUTTONDOWN;
    if (!right && at.y >= 0 && at.y < HeaderHeight(*w)) {
        for (size_t c = 0; c < s.columns.size(); ++c) {
            int left = ColumnLeft(s, static_cast<int>(c));
            if (at.x >= left && at.x < left + s.columns[c].width && !(w->style & LVS_NOSORTHEADER))
                SendListNotify(h, LVN_COLUMNCLICK, -1, static_cast<int>(c), 0, 0, 0, 0);
        }
        return;
    }
    LVHITTESTINFO hit = HitTest(h, *w, s, at);
    LPARAM param = 0;
    if (hit.iItem >= 0) {
        param = s.items[static_cast<size_t>(hit.iItem)].param;
        if (!right && (hit.flags & LVHT_ONITEMSTATEICON) && Checkable(s)) {
            UINT checked =
                StateImage(s.items[static_cast<size_t>(hit.iItem)].state) == kCheckedImage;
            ChangeOne(h, s, hit.iItem,
                      INDEXTOSTATEIMAGEMASK(checked ? kUncheckedImage : kCheckedImage),
                      LVIS_STATEIMAGEMASK);
        } else {
            for (int i = 0; i < static_cast<int>(s.items.size()); ++i)
                if (i != hit.iItem && Valid(s, static_cast<WPARAM>(i)))
                    ChangeOne(h, s, i, 0, LVIS_SELECTED);
            if (Valid(s, static_cast<WPARAM>(hit.iItem)))
                SetState(h, *w, s, hit.iItem, LVIS_SELECTED | LVIS_FOCUSED,
                         LVIS_SELECTED | LVIS_FOCUSED);
            s.mark = hit.iItem;
        }
    } else if (!right) {
        // A click beside the items takes the selection away.
        for (int i = 0; i < static_cast<int>(s.items.size()); ++i)
            ChangeOne(h, s, i, 0, LVIS_SELECTED);
    }
    if (msg == WM_LBUTTONDBLCLK) {
        SendActivate(h, NM_DBLCLK, hit.iItem, hit.iSubItem, at, param);
        if (hit.iItem >= 0) SendActivate(h, LVN_ITEMACTIVATE, hit.iItem, hit.iSubItem, at, param);
        return;
    }
    if (!right) {
        SendActivate(h, NM_CLICK, hit.iItem, hit.iSubItem, at, param);
        return;
    }
    // The right button: the parent hears of the click, then, unless it
    // handled it, the control asks for its context menu.
    if (!SendActivate(h, NM_RCLICK, hit.iItem, hit.iSubItem, at, param)) {
        POINT screen = ScreenPoint(h, at);
        SendMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h),
                     MAKELONG(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y)));
    }
}

void KeyDown(HWND h, WPARAM key) {
    auto w = Find(h);
    if (!w) return;
    auto& s = StateOfList(*w);
    struct {
        NMHDR hdr;
        WORD wVKey;
        UINT flags;
    } k{};
    k.hdr.code = LVN_KEYDOWN;
    k.wVKey = static_cast<WORD>(key);
    NotifyParentNm(h, &k.hdr);
    int focus = static_cast<int>(NextItem(s, *w, -1, LVNI_FOCUSED));
    int count = static_cast<int>(s.items.size());
    int to = -1;
    switch (key) {
    case VK_SPACE:
        if (focus >= 0 && Checkable(s)) {
            UINT checked = StateImage(s.items[static_cast<size_t>(focus)].state) == kCheckedImage;
            ChangeOne(h, s, focus, INDEXTOSTATEIMAGEMASK(checked ? kUncheckedImage : kCheckedImage),
                      LVIS_STATEIMAGEMASK);
        }
        return;
    case VK_UP:
        to = focus > 0 ? focus - 1 : 0;
        break;
    case VK_DOWN:
        to = focus < 0 ? 0 : std::min(focus + 1, count - 1);
        break;
    case VK_HOME:
        to = 0;
        break;
    case VK_END:
        to = count - 1;
        break;
    default:
        return;
    }
    if (to < 0 || to >= count) return;
    for (int i = 0; i < count; ++i)
        if (i != to && Valid(s, static_cast<WPARAM>(i))) ChangeOne(h, s, i, 0, LVIS_SELECTED);
    if (Valid(s, static_cast<WPARAM>(to)))
        SetState(h, *w, s, to, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    s.mark = to;
    EnsureVisible(h, *w, s, to);
}

LPARAM PointParam(POINT p) {
    return MAKELONG(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
}

POINT ParamPoint(LPARAM lp) {
    return {static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
}

COLORREF Resolved(COLORREF c, int index) {
    return c == CLR_DEFAULT ? GetSysColor(index) : c;
}

} // namespace

LRESULT CALLBACK ListViewProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOfList(*w);
    switch (msg) {
    case LVM_GETITEMCOUNT:
        return static_cast<LRESULT>(s.items.size());
    case LVM_INSERTITEMW:
        return InsertItem(h, *w, s, reinterpret_cast<const LVITEMW*>(lp));
    case LVM_DELETEITEM:
        return DeleteItem(h, s, static_cast<int>(wp));
    case LVM_DELETEALLITEMS:
        DeleteAll(h, s);
        return TRUE;
    case LVM_SETITEMW:
        return SetItem(h, *w, s, reinterpret_cast<const LVITEMW*>(lp));
    case LVM_GETITEMW:
        return GetItem(h, s, reinterpret_cast<LVITEMW*>(lp));
    case LVM_SETITEMTEXTW: {
        auto* in = reinterpret_cast<const LVITEMW*>(lp);
        if (!in) return FALSE;
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(wp);
        item.iSubItem = in->iSubItem;
        item.pszText = in->pszText;
        return SetItem(h, *w, s, &item);
    }
    case LVM_GETITEMTEXTW: {
        auto* io = reinterpret_cast<LVITEMW*>(lp);
        if (!io || !Valid(s, wp)) return 0;
        return CopyOut(CellText(h, s, static_cast<int>(wp), io->iSubItem), io->pszText,
                       io->cchTextMax);
    }
    case LVM_SETITEMSTATE: {
        auto* in = reinterpret_cast<const LVITEMW*>(lp);
        if (!in) return FALSE;
        return SetState(h, *w, s, static_cast<int>(wp), in->state, in->stateMask);
    }
    case LVM_GETITEMSTATE:
        return Valid(s, wp) ? s.items[wp].state & static_cast<UINT>(lp) : 0;
    case LVM_GETNEXTITEM:
        return NextItem(s, *w, static_cast<int>(wp), static_cast<UINT>(lp));
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(s.items.begin(), s.items.end(),
                             [](const Item& i) { return (i.state & LVIS_SELECTED) != 0; });
    case LVM_GETSELECTIONMARK:
        return s.mark;
    case LVM_SETSELECTIONMARK: {
        int old = s.mark;
        s.mark = Valid(s, static_cast<WPARAM>(lp)) ? static_cast<int>(lp) : -1;
        return old;
    }
    case LVM_FINDITEMW:
        return FindItem(h, s, static_cast<int>(wp), reinterpret_cast<const LVFINDINFOW*>(lp));
    case LVM_SORTITEMS:
    case LVM_SORTITEMSEX:
        return SortItems(s, reinterpret_cast<PFNLVCOMPARE>(lp), static_cast<LPARAM>(wp),
                         msg == LVM_SORTITEMSEX);
    case LVM_INSERTCOLUMNW:
        return InsertColumn(s, *w, static_cast<int>(wp), reinterpret_cast<const LVCOLUMNW*>(lp));
    case LVM_DELETECOLUMN:
        return DeleteColumn(s, static_cast<int>(wp));
    case LVM_GETCOLUMNW:
        return GetColumn(s, static_cast<int>(wp), reinterpret_cast<LVCOLUMNW*>(lp));
    case LVM_SETCOLUMNW:
        return SetColumn(s, static_cast<int>(wp), reinterpret_cast<const LVCOLUMNW*>(lp));
    case LVM_GETCOLUMNWIDTH:
        if (ViewOf(*w) == LVS_LIST) return kListColumnWidth;
        return static_cast<int>(wp) >= 0 && wp < s.columns.size() ? s.columns[wp].width : 0;
    case LVM_SETCOLUMNWIDTH:
        return SetColumnWidth(h, *w, s, static_cast<int>(wp), static_cast<SHORT>(LOWORD(lp)));
    case LVM_GETCOLUMNORDERARRAY: {
        auto* out = reinterpret_cast<int*>(lp);
        if (!out || wp != s.order.size()) return FALSE;
        std::copy(s.order.begin(), s.order.end(), out);
        return TRUE;
    }
    case LVM_SETCOLUMNORDERARRAY: {
        auto* in = reinterpret_cast<const int*>(lp);
        if (!in || wp != s.columns.size()) return FALSE;
        std::vector<int> order(in, in + wp), check = order;
        std::sort(check.begin(), check.end());
        for (size_t i = 0; i < check.size(); ++i)
            if (check[i] != static_cast<int>(i)) return FALSE; // not each column once
        s.order = std::move(order);
        return TRUE;
    }
    case LVM_GETHEADER:
        return 0;
    case LVM_SETIMAGELIST: {
        if (wp > LVSIL_STATE) return 0;
        HIMAGELIST old = s.lists[wp];
        s.lists[wp] = reinterpret_cast<HIMAGELIST>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    case LVM_GETIMAGELIST:
        return wp <= LVSIL_STATE ? reinterpret_cast<LRESULT>(s.lists[wp]) : 0;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD old = s.exStyle;
        DWORD mask = wp ? static_cast<DWORD>(wp) : 0xFFFFFFFF;
        s.exStyle = (old & ~mask) | (static_cast<DWORD>(lp) & mask);
        if ((s.exStyle ^ old) & LVS_EX_CHECKBOXES)
            for (auto& item : s.items) {
                item.state &= ~LVIS_STATEIMAGEMASK;
                if (Checkable(s)) item.state |= INDEXTOSTATEIMAGEMASK(kUncheckedImage);
            }
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return s.exStyle;
    case LVM_GETBKCOLOR:
        return Resolved(s.background, COLOR_WINDOW);
    case LVM_SETBKCOLOR:
        s.background = static_cast<COLORREF>(lp);
        return TRUE;
    case LVM_GETTEXTCOLOR:
        return Resolved(s.text, COLOR_WINDOWTEXT);
    case LVM_SETTEXTCOLOR:
        s.text = static_cast<COLORREF>(lp);
        return TRUE;
    case LVM_GETTEXTBKCOLOR:
        return Resolved(s.textBackground, COLOR_WINDOW);
    case LVM_SETTEXTBKCOLOR:
        s.textBackground = static_cast<COLORREF>(lp);
        return TRUE;
    case LVM_GETCALLBACKMASK:
        return s.callbackMask;
    case LVM_SETCALLBACKMASK:
        s.callbackMask = static_cast<UINT>(wp);
        return TRUE;
    case LVM_GETITEMRECT:
        return ItemRect(h, *w, s, static_cast<int>(wp), reinterpret_cast<RECT*>(lp));
    case LVM_GETSUBITEMRECT:
        return SubItemRect(h, *w, s, static_cast<int>(wp), reinterpret_cast<RECT*>(lp));
    case LVM_GETITEMPOSITION: {
        auto* out = reinterpret_cast<POINT*>(lp);
        if (!out || !Valid(s, wp)) return FALSE;
        ItemParts p = PartsOf(h, *w, s, static_cast<int>(wp));
        *out = ViewOf(*w) == LVS_ICON ? POINT{p.bounds.left, p.bounds.top}
                                      : POINT{p.icon.left, p.bounds.top};
        return TRUE;
    }
    case LVM_HITTEST:
    case LVM_SUBITEMHITTEST: {
        auto* io = reinterpret_cast<LVHITTESTINFO*>(lp);
        if (!io) return -1;
        LVHITTESTINFO hit = HitTest(h, *w, s, io->pt);
        io->flags = hit.flags;
        io->iItem = hit.iItem;
        io->iSubItem = msg == LVM_SUBITEMHITTEST ? hit.iSubItem : 0;
        return hit.iItem;
    }
    case LVM_ENSUREVISIBLE:
        if (!Valid(s, wp)) return FALSE;
        EnsureVisible(h, *w, s, static_cast<int>(wp));
        return TRUE;
    case LVM_GETTOPINDEX:
        return ViewOf(*w) == LVS_REPORT || ViewOf(*w) == LVS_LIST ? s.top : 0;
    case LVM_GETCOUNTPERPAGE:
        return CountPerPage(h, *w, s);
    case LVM_SCROLL: {
        int rows = static_cast<int>(lp) / (ViewOf(*w) == LVS_ICON ? kIconCellHeight : RowHeight(s));
        int step = ViewOf(*w) == LVS_ICON || ViewOf(*w) == LVS_SMALLICON ? PerRow(h, *w) : 1;
        s.top = std::clamp(s.top + rows * step, 0,
                           std::max<int>(static_cast<int>(s.items.size()) - 1, 0));
        return TRUE;
    }
    case LVM_GETSTRINGWIDTHW:
        return lp ? TextWidth(*w, reinterpret_cast<LPCWSTR>(lp)) : 0;
    case LVM_SETITEMCOUNT:
        s.items.reserve(wp);
        return TRUE;
    case LVM_REDRAWITEMS:
    case LVM_UPDATE:
    case LVM_ARRANGE:
        return TRUE;
    case WM_SETFOCUS:
        SendPlain(h, NM_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        SendPlain(h, NM_KILLFOCUS);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        MouseDown(h, msg, ParamPoint(lp));
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        return 0;
    case WM_KEYDOWN:
        KeyDown(h, wp);
        return 0;
    case WM_DESTROY: {
        // The parent learns of every item going, so it can free their data;
        // image lists go with the control unless it shares them.
        DeleteAll(h, s);
        if (!(w->style & LVS_SHAREIMAGELISTS))
            for (HIMAGELIST& list : s.lists)
                if (list) {
                    ImageList_Destroy(list);
                    list = nullptr;
                }
        return 0;
    }
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

// The point a person clicks to reach an item (its label), or a column's
// header; in client coordinates. False when the item is not there.
bool ListViewItemPoint(HWND listView, int index, bool stateIcon, POINT* out) {
    auto w = Find(listView);
    if (!w) return false;
    auto& s = StateOfList(*w);
    if (!Valid(s, static_cast<WPARAM>(index))) return false;
    EnsureVisible(listView, *w, s, index);
    ItemParts p = PartsOf(listView, *w, s, index);
    RECT r = stateIcon ? p.state : p.label;
    if (r.right <= r.left) return false;
    *out = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    return true;
}

bool ListViewColumnPoint(HWND listView, int column, POINT* out) {
    auto w = Find(listView);
    if (!w || ViewOf(*w) != LVS_REPORT || HeaderHeight(*w) == 0) return false;
    auto& s = StateOfList(*w);
    if (column < 0 || column >= static_cast<int>(s.columns.size())) return false;
    *out = {ColumnLeft(s, column) + s.columns[static_cast<size_t>(column)].width / 2,
            kHeaderHeight / 2};
    return true;
}

LPARAM ListViewPointParam(POINT p) {
    return PointParam(p);
}

} // namespace platform::user
