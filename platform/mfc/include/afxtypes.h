// Points, sizes and rectangles with the arithmetic window and drawing code
// does on them. Each is its Win32 record, so it goes wherever one is asked for.
#pragma once

#include "win/base.h"

class CSize : public SIZE {
  public:
    CSize() : SIZE{0, 0} {}
    CSize(int x, int y) : SIZE{x, y} {}
    CSize(SIZE s) : SIZE(s) {}
    friend bool operator==(const CSize& a, const CSize& b) { return a.cx == b.cx && a.cy == b.cy; }
    friend bool operator!=(const CSize& a, const CSize& b) { return !(a == b); }
    CSize operator+(SIZE s) const { return CSize(cx + s.cx, cy + s.cy); }
    CSize operator-(SIZE s) const { return CSize(cx - s.cx, cy - s.cy); }
};

class CPoint : public POINT {
  public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
    CPoint(POINT p) : POINT(p) {}
    void Offset(int dx, int dy) {
        x += dx;
        y += dy;
    }
    friend bool operator==(const CPoint& a, const CPoint& b) { return a.x == b.x && a.y == b.y; }
    friend bool operator!=(const CPoint& a, const CPoint& b) { return !(a == b); }
    CPoint& operator+=(SIZE s) {
        Offset(s.cx, s.cy);
        return *this;
    }
    CPoint& operator-=(SIZE s) {
        Offset(-s.cx, -s.cy);
        return *this;
    }
    CPoint operator+(SIZE s) const { return CPoint(x + s.cx, y + s.cy); }
    CPoint operator-(SIZE s) const { return CPoint(x - s.cx, y - s.cy); }
    CSize operator-(POINT p) const { return CSize(x - p.x, y - p.y); }
};

// Rectangles are right- and bottom-exclusive, as everywhere in the system.
class CRect : public RECT {
  public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    CRect(POINT topLeft, SIZE size)
        : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}
    CRect(POINT topLeft, POINT bottomRight)
        : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }

    // Empty: no area (a rectangle turned inside out is empty too).
    BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    void SetRect(int l, int t, int r, int b) { *this = CRect(l, t, r, b); }
    void SetRectEmpty() { *this = CRect(); }
    void OffsetRect(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }
    void OffsetRect(SIZE s) { OffsetRect(s.cx, s.cy); }
    void InflateRect(int dx, int dy) {
        left -= dx;
        right += dx;
        top -= dy;
        bottom += dy;
    }
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    void DeflateRect(int l, int t, int r, int b) {
        left += l;
        top += t;
        right -= r;
        bottom -= b;
    }
    void NormalizeRect();
    // FALSE (and an empty rectangle) when the two do not overlap.
    BOOL IntersectRect(LPCRECT a, LPCRECT b);
    // The smallest rectangle holding both; an empty one adds nothing.
    BOOL UnionRect(LPCRECT a, LPCRECT b);
    void MoveToXY(int x, int y) { OffsetRect(x - left, y - top); }

    friend bool operator==(const CRect& a, const CRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend bool operator!=(const CRect& a, const CRect& b) { return !(a == b); }
};
