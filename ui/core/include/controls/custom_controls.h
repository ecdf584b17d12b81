// Owner-painted controls that dialogs subclass in their templates: a list
// box whose items are tab-separated texts drawn in columns, a static that
// paints its own background, colours, font and text (shifted by linked
// scroll bars), and the scroll bar that moves and repaints a linked control.
#pragma once

#include <memory>
#include <vector>

#include "afxwin.h"

namespace sheetwright {

// An owner-drawn (fixed, with strings) list box. Column positions are the x
// offsets in pixels, from the item's left edge, where the second, third, ...
// part of an item's text begins.
class CMultiColumnListBox : public CListBox {
  public:
    void SetColumns(const std::vector<int>& positions) { columns_ = positions; }
    const std::vector<int>& Columns() const { return columns_; }
    // When set, the text after the last column's tab is drawn as one part
    // (tabs expanded) up to the item's right edge instead of 2 pixels before it.
    void SetLastColumnToEdge(bool toEdge) { lastColumnToEdge_ = toEdge; }

    // 8 dialog units of the parent dialog, measured once.
    void MeasureItem(LPMEASUREITEMSTRUCT item) override;
    void DrawItem(LPDRAWITEMSTRUCT item) override;

  private:
    std::vector<int> columns_;
    UINT itemHeight_ = 0;
    bool lastColumnToEdge_ = false;
};

// A static that paints itself through a memory bitmap. Its text is its own
// (or the window text while that is empty), drawn in its rectangle (the
// client area unless it follows a scroll bar, when the rectangle moves
// against the scroll bar's position).
class CBKStatic : public CStatic {
  public:
    CBKStatic();

    // Each setter repaints the control.
    void SetBackgroundColor(COLORREF color);
    void SetTextColor(COLORREF color);
    void SetText(LPCWSTR text);
    // The text's rectangle in client coordinates, before scrolling.
    void SetTextRect(const RECT& rect);
    // Tab stops every so many pixels (0: the standard tab expansion).
    void SetTabSpacing(int pixels);
    // The control's own font (a copy is kept); nullptr: the window's font.
    void SetTextFont(const LOGFONTW* font);
    // The scroll bars (ids among the parent's controls) the text follows.
    void FollowHorizontalScroll(UINT scrollBarId);
    void FollowVerticalScroll(UINT scrollBarId);

    // The text's rectangle now: the stored one moved by the followed scroll
    // bars, or the client area when it follows none.
    CRect TextRect() const;
    // Paints the whole control into a device context (the window's own at
    // WM_PAINT).
    void Paint(CDC* target);

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    void Changed() { Invalidate(TRUE); }
    int ScrollPosition(UINT id) const;

    COLORREF background_;
    COLORREF textColor_;
    CRect textRect_;
    CString text_;
    int tabSpacing_ = 0;
    std::unique_ptr<CFont> font_;
    UINT horizontalScrollId_ = 0;
    bool followsHorizontal_ = false;
    UINT verticalScrollId_ = 0;
    bool followsVertical_ = false;
};

// A vertical scroll bar that moves itself on the parent's scroll
// notifications and then repaints a linked control of the same parent.
class CLinkedScrollBar : public CScrollBar {
  public:
    void SetLinkedControl(UINT id) { linkedId_ = id; }
    int Position() const { return position_; }
    // The new position for a scroll request: lines by one, pages by the
    // page, the thumb where it was dragged, kept within [min, max - page].
    static int NextPosition(UINT code, UINT thumb, int current, const SCROLLINFO& info);

  protected:
    void VScroll(UINT code, UINT thumb);
    DECLARE_MESSAGE_MAP()

  private:
    int position_ = 0;
    UINT linkedId_ = 0;
};

} // namespace sheetwright
