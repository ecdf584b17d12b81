// The owner-painted controls: column layout of the list items, the static's
// double-buffered paint, and the linked scroll bar's arithmetic.
#include "custom_controls.h"

#include <algorithm>

namespace sheetwright {

namespace {

// Gap between a column's text and the column's edges, in pixels.
constexpr int kColumnGap = 2;
// The item height in dialog units.
constexpr int kItemHeightDialogUnits = 8;
constexpr UINT kItemTextFormat = DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX;
static_assert(kItemTextFormat == 0x860);

} // namespace

// ---------------------------------------------------------------------------
void CMultiColumnListBox::MeasureItem(LPMEASUREITEMSTRUCT item) {
    if (!itemHeight_) {
        RECT r{0, 0, 0, kItemHeightDialogUnits};
        ::MapDialogRect(::GetParent(m_hWnd), &r);
        itemHeight_ = static_cast<UINT>(std::max<LONG>(r.bottom, 1));
    }
    item->itemHeight = itemHeight_;
}

void CMultiColumnListBox::DrawItem(LPDRAWITEMSTRUCT item) {
    if (!item || item->itemID == static_cast<UINT>(-1)) return;
    CDC dc;
    if (!dc.Attach(item->hDC)) return;
    COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT), back = ::GetSysColor(COLOR_WINDOW);
    if (item->itemState & ODS_SELECTED) {
        text = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
        back = ::GetSysColor(COLOR_HIGHLIGHT);
    }
    if (item->itemState & ODS_DISABLED) text = ::GetSysColor(COLOR_GRAYTEXT);
    COLORREF oldText = dc.SetTextColor(text);
    COLORREF oldBack = dc.SetBkColor(back);
    const CRect whole(item->rcItem);
    dc.FillSolidRect(&whole, back);
    dc.SetBkColor(back);

    CString line;
    GetText(static_cast<int>(item->itemID), line);
    const auto& s = line.str();
    // Part n (n >= 1) starts at column n - 1; the text after the last
    // column's tab is one part, so no part is left without a column.
    size_t start = 0;
    for (size_t part = 0;; ++part) {
        const bool last = part == columns_.size();
        size_t tab = last ? std::u16string::npos : s.find(u'\t', start);
        CRect r(whole);
        r.left = part == 0 ? whole.left + kColumnGap : whole.left + columns_[part - 1];
        if (tab == std::u16string::npos) {
            r.right = last && lastColumnToEdge_ ? whole.right : whole.right - kColumnGap;
        } else {
            r.right = whole.left + columns_[part] - kColumnGap;
        }
        CString piece(s.substr(start, tab == std::u16string::npos ? tab : tab - start));
        dc.DrawText(piece, &r, kItemTextFormat);
        if (tab == std::u16string::npos) break;
        start = tab + 1;
    }

    if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT))
        dc.DrawFocusRect(&whole);
    dc.SetTextColor(oldText);
    dc.SetBkColor(oldBack);
    dc.Detach();
}

// ---------------------------------------------------------------------------
BEGIN_MESSAGE_MAP(CBKStatic, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

CBKStatic::CBKStatic()
    : background_(::GetSysColor(COLOR_BTNFACE)), textColor_(::GetSysColor(COLOR_WINDOWTEXT)) {}

void CBKStatic::SetBackgroundColor(COLORREF color) {
    background_ = color;
    Changed();
}

void CBKStatic::SetTextColor(COLORREF color) {
    textColor_ = color;
    Changed();
}

void CBKStatic::SetText(LPCWSTR text) {
    text_ = text;
    Changed();
}

void CBKStatic::SetTextRect(const RECT& rect) {
    textRect_ = rect;
    Changed();
}

void CBKStatic::SetTabSpacing(int pixels) {
    tabSpacing_ = std::max(pixels, 0);
    Changed();
}

void CBKStatic::SetTextFont(const LOGFONTW* font) {
    font_.reset();
    if (font) {
        auto f = std::make_unique<CFont>();
        if (f->CreateFontIndirect(font)) font_ = std::move(f);
    }
    Changed();
}

void CBKStatic::FollowHorizontalScroll(UINT scrollBarId) {
    horizontalScrollId_ = scrollBarId;
    followsHorizontal_ = scrollBarId != 0;
    Changed();
}

void CBKStatic::FollowVerticalScroll(UINT scrollBarId) {
    verticalScrollId_ = scrollBarId;
    followsVertical_ = scrollBarId != 0;
    Changed();
}

int CBKStatic::ScrollPosition(UINT id) const {
    HWND bar = ::GetDlgItem(::GetParent(m_hWnd), static_cast<int>(id));
    return bar ? ::GetScrollPos(bar, SB_CTL) : 0;
}

CRect CBKStatic::TextRect() const {
    if (!followsHorizontal_ && !followsVertical_) {
        CRect client;
        GetClientRect(&client);
        return client;
    }
    CRect r(textRect_);
    if (followsHorizontal_) r.OffsetRect(-ScrollPosition(horizontalScrollId_), 0);
    if (followsVertical_) r.OffsetRect(0, -ScrollPosition(verticalScrollId_));
    return r;
}

void CBKStatic::OnPaint() {
    CPaintDC dc(this);
    Paint(&dc);
}

void CBKStatic::Paint(CDC* target) {
    CRect client;
    GetClientRect(&client);
    if (!target || !target->m_hDC || client.IsRectEmpty()) return;
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(target) ||
        !bitmap.CreateCompatibleBitmap(target, client.Width(), client.Height()))
        return;
    CBitmap* oldBitmap = memory.SelectObject(&bitmap);
    memory.FillSolidRect(&client, background_);
    HFONT font = font_ ? static_cast<HFONT>(*font_) : GetFont();
    HGDIOBJ oldFont = font ? ::SelectObject(memory, font) : nullptr;
    memory.SetBkColor(background_);
    memory.SetTextColor(textColor_);
    memory.SetBkMode(TRANSPARENT);

    CString text = text_;
    if (text.IsEmpty()) GetWindowText(text);
    CRect r = TextRect();
    if (tabSpacing_ > 0) {
        TEXTMETRICW tm{};
        memory.GetTextMetrics(&tm);
        DRAWTEXTPARAMS params{sizeof params, tabSpacing_ / std::max<LONG>(tm.tmAveCharWidth, 1), 1,
                              1, 0};
        memory.DrawTextEx(text, &r, DT_EXPANDTABS | DT_TABSTOP, &params);
    } else {
        memory.DrawText(text, &r, DT_EXPANDTABS);
    }
    target->BitBlt(0, 0, client.Width(), client.Height(), &memory, 0, 0, SRCCOPY);
    if (oldFont) ::SelectObject(memory, oldFont);
    memory.SelectObject(oldBitmap);
}

// ---------------------------------------------------------------------------
BEGIN_MESSAGE_MAP(CLinkedScrollBar, CScrollBar)
ON_WM_VSCROLL_REFLECT()
END_MESSAGE_MAP()

int CLinkedScrollBar::NextPosition(UINT code, UINT thumb, int current, const SCROLLINFO& info) {
    const int page = static_cast<int>(info.nPage);
    int next = current;
    switch (code) {
    case SB_LINEUP:
        next = current - 1;
        break;
    case SB_LINEDOWN:
        next = current + 1;
        break;
    case SB_PAGEUP:
        next = current - page;
        break;
    case SB_PAGEDOWN:
        next = current + page;
        break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        // The position rides in 16 bits; ranges may be negative.
        next = static_cast<short>(thumb);
        break;
    case SB_TOP:
        next = info.nMin;
        break;
    case SB_BOTTOM:
        next = info.nMax - page;
        break;
    default:
        return current;
    }
    return std::clamp(next, info.nMin, std::max(info.nMin, info.nMax - page));
}

void CLinkedScrollBar::VScroll(UINT code, UINT thumb) {
    SCROLLINFO info{};
    if (!GetScrollInfo(&info, SIF_RANGE | SIF_PAGE | SIF_POS)) return;
    position_ = NextPosition(code, thumb, info.nPos, info);
    SetScrollPos(position_, TRUE);
    if (!linkedId_) return;
    if (HWND linked = ::GetDlgItem(::GetParent(m_hWnd), static_cast<int>(linkedId_)))
        ::InvalidateRect(linked, nullptr, TRUE);
}

} // namespace sheetwright
