// Drawing objects and device contexts as framework objects. A wrapper made
// by the program owns its handle and deletes it with itself; one that
// FromHandle made (what SelectObject hands back) only borrows the handle and
// lives until DeleteTempMap.
#pragma once

#include "afx.h"
#include "afxtypes.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"
#include "win/user.h"

class CDC;
class CWnd;

class CGdiObject : public CObject {
    DECLARE_DYNCREATE(CGdiObject)
  public:
    CGdiObject() = default;
    ~CGdiObject() override { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ m_hObject = nullptr;
    operator HGDIOBJ() const { return m_hObject; }
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ h);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    BOOL CreateStockObject(int index);

    // A borrowing wrapper of a handle, kept until DeleteTempMap.
    static CGdiObject* FromHandle(HGDIOBJ h);
    static void DeleteTempMap();
};

// Each kind's FromHandle gives a borrowing wrapper of that kind.
#define AFX_GDI_KIND(theClass, handleType)                                                         \
    operator handleType() const {                                                                  \
        return static_cast<handleType>(m_hObject);                                                 \
    }                                                                                              \
    static theClass* FromHandle(handleType h) {                                                    \
        return static_cast<theClass*>(CGdiObject::FromHandle(h));                                  \
    }

class CPen : public CGdiObject {
    DECLARE_DYNCREATE(CPen)
  public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    BOOL CreatePen(int style, int width, COLORREF color) {
        return Attach(::CreatePen(style, width, color));
    }
    AFX_GDI_KIND(CPen, HPEN)
};

class CBrush : public CGdiObject {
    DECLARE_DYNCREATE(CBrush)
  public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
    BOOL CreateHatchBrush(int hatch, COLORREF color) {
        return Attach(::CreateHatchBrush(hatch, color));
    }
    // A solid brush of a system colour (the platform's own colour brushes are
    // not drawing objects).
    BOOL CreateSysColorBrush(int index) { return CreateSolidBrush(::GetSysColor(index)); }
    AFX_GDI_KIND(CBrush, HBRUSH)
};

class CFont : public CGdiObject {
    DECLARE_DYNCREATE(CFont)
  public:
    BOOL CreateFontIndirect(const LOGFONTW* font) { return Attach(::CreateFontIndirectW(font)); }
    // A font of a height in tenths of a point on a device context (the
    // screen's 96 dots per inch without one).
    BOOL CreatePointFont(int pointSizeTenths, LPCWSTR faceName, CDC* dc = nullptr);
    AFX_GDI_KIND(CFont, HFONT)
};

class CBitmap : public CGdiObject {
    DECLARE_DYNCREATE(CBitmap)
  public:
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    // A bitmap of the current resource module.
    BOOL LoadBitmap(UINT id);
    AFX_GDI_KIND(CBitmap, HBITMAP)
};

class CRgn : public CGdiObject {
    DECLARE_DYNCREATE(CRgn)
  public:
    BOOL CreateRectRgn(int x1, int y1, int x2, int y2) {
        return Attach(::CreateRectRgn(x1, y1, x2, y2));
    }
    BOOL CreateRectRgnIndirect(LPCRECT rect) { return Attach(::CreateRectRgnIndirect(rect)); }
    BOOL CreateEllipticRgn(int x1, int y1, int x2, int y2) {
        return Attach(::CreateEllipticRgn(x1, y1, x2, y2));
    }
    int CombineRgn(const CRgn* a, const CRgn* b, int mode) {
        return ::CombineRgn(*this, *a, b ? static_cast<HRGN>(*b) : nullptr, mode);
    }
    int OffsetRgn(int dx, int dy) { return ::OffsetRgn(*this, dx, dy); }
    int GetRgnBox(LPRECT rect) const { return ::GetRgnBox(*this, rect); }
    BOOL PtInRegion(int x, int y) const { return ::PtInRegion(*this, x, y); }
    AFX_GDI_KIND(CRgn, HRGN)
};

// A device context. The wrapper of a context the program made (CreateCompatibleDC,
// Attach) deletes it with itself.
class CDC : public CObject {
    DECLARE_DYNCREATE(CDC)
  public:
    CDC() = default;
    ~CDC() override;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC m_hDC = nullptr;
    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL Attach(HDC hdc);
    HDC Detach();
    BOOL DeleteDC();
    BOOL CreateCompatibleDC(CDC* dc) {
        return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr));
    }
    static CDC* FromHandle(HDC hdc);
    static void DeleteTempMap();
    // Frees the borrowing wrappers (of device contexts and drawing objects)
    // whose handles are gone: a window's device context lives only through
    // its paint, and its wrappers would pile up until the library goes.
    static void DeleteStaleTemporaries();

    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }

    // The object that was selected before, as a borrowing wrapper; nullptr
    // when the selection failed.
    CPen* SelectObject(CPen* pen);
    CBrush* SelectObject(CBrush* brush);
    CFont* SelectObject(CFont* font);
    CBitmap* SelectObject(CBitmap* bitmap);
    CGdiObject* SelectObject(CGdiObject* object);
    CGdiObject* SelectStockObject(int index);
    int SelectClipRgn(CRgn* region) {
        return ::SelectClipRgn(m_hDC, region ? static_cast<HRGN>(*region) : nullptr);
    }
    int IntersectClipRect(LPCRECT r) {
        return ::IntersectClipRect(m_hDC, r->left, r->top, r->right, r->bottom);
    }
    int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }

    COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetBkMode() const { return ::GetBkMode(m_hDC); }
    int SetMapMode(int mode) { return ::SetMapMode(m_hDC, mode); }
    int SetROP2(int rop) { return ::SetROP2(m_hDC, rop); }

    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL Rectangle(LPCRECT r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
    BOOL Ellipse(LPCRECT r) { return ::Ellipse(m_hDC, r->left, r->top, r->right, r->bottom); }
    BOOL Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }
    void FillRect(LPCRECT r, CBrush* brush) { ::FillRect(m_hDC, r, *brush); }
    void FrameRect(LPCRECT r, CBrush* brush) { ::FrameRect(m_hDC, r, *brush); }
    void InvertRect(LPCRECT r) { ::InvertRect(m_hDC, r); }
    // Fills with a colour through the background colour, which it leaves set.
    void FillSolidRect(LPCRECT r, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    // Top and left edges in one colour, bottom and right in the other.
    void Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight);
    // The dotted frame of the focused item, drawn by inverting so that a
    // second call takes it away.
    void DrawFocusRect(LPCRECT r);
    BOOL DrawEdge(LPRECT r, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, r, edge, flags); }
    BOOL FillRgn(CRgn* region, CBrush* brush) { return ::FillRgn(m_hDC, *region, *brush); }
    BOOL FrameRgn(CRgn* region, CBrush* brush, int w, int h) {
        return ::FrameRgn(m_hDC, *region, *brush, w, h);
    }

    BOOL PatBlt(int x, int y, int w, int h, DWORD rop) { return ::PatBlt(m_hDC, x, y, w, h, rop); }
    BOOL BitBlt(int x, int y, int w, int h, CDC* src, int xs, int ys, DWORD rop) {
        return ::BitBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, xs, ys, rop);
    }
    BOOL StretchBlt(int x, int y, int w, int h, CDC* src, int xs, int ys, int ws, int hs,
                    DWORD rop) {
        return ::StretchBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, xs, ys, ws, hs, rop);
    }

    BOOL TextOut(int x, int y, const CString& text) {
        return ::TextOutW(m_hDC, x, y, text, text.GetLength());
    }
    BOOL ExtTextOut(int x, int y, UINT options, LPCRECT r, const CString& text,
                    const int* dx = nullptr) {
        return ::ExtTextOutW(m_hDC, x, y, options, r, text, static_cast<UINT>(text.GetLength()),
                             dx);
    }
    CSize GetTextExtent(const CString& text) const;
    BOOL GetTextMetrics(LPTEXTMETRICW tm) const { return ::GetTextMetricsW(m_hDC, tm); }
    // Text laid out in a rectangle: lines at line breaks, tabs expanded,
    // '&' marking a mnemonic unless DT_NOPREFIX, aligned and clipped by the
    // DT_ flags. Answers the height of the text; with DT_CALCRECT it only
    // measures, setting the rectangle's right and bottom.
    int DrawText(const CString& text, LPRECT r, UINT format) {
        return DrawTextEx(text, r, format, nullptr);
    }
    int DrawText(LPCWSTR text, int count, LPRECT r, UINT format);
    int DrawTextEx(const CString& text, LPRECT r, UINT format, LPDRAWTEXTPARAMS params);

  private:
    CGdiObject* Select(HGDIOBJ h);
};

// The context of a window's paint (BeginPaint/EndPaint).
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

  private:
    HWND hWnd_;
};

// The context of a window's client area (GetDC/ReleaseDC).
class CClientDC : public CDC {
  public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

  private:
    HWND hWnd_;
};

// The context of a whole window, its frame included (GetWindowDC/ReleaseDC).
class CWindowDC : public CDC {
  public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

  private:
    HWND hWnd_;
};
