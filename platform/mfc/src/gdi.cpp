// Drawing objects and device contexts: ownership, the borrowing wrappers
// that selection hands back.
#include <algorithm>
#include <vector>

#include "afxwin.h"
#include "win/resources.h"

IMPLEMENT_DYNCREATE(CGdiObject, CObject)
IMPLEMENT_DYNCREATE(CPen, CGdiObject)
IMPLEMENT_DYNCREATE(CBrush, CGdiObject)
IMPLEMENT_DYNCREATE(CFont, CGdiObject)
IMPLEMENT_DYNCREATE(CBitmap, CGdiObject)
IMPLEMENT_DYNCREATE(CRgn, CGdiObject)
IMPLEMENT_DYNCREATE(CDC, CObject)

void CRect::NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

BOOL CRect::IntersectRect(LPCRECT a, LPCRECT b) {
    CRect r(std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
            std::min(a->bottom, b->bottom));
    if (r.IsRectEmpty()) r.SetRectEmpty();
    *this = r;
    return !r.IsRectEmpty();
}

BOOL CRect::UnionRect(LPCRECT a, LPCRECT b) {
    CRect ra(*a), rb(*b);
    if (ra.IsRectEmpty()) {
        *this = rb.IsRectEmpty() ? CRect() : rb;
    } else if (rb.IsRectEmpty()) {
        *this = ra;
    } else {
        *this = CRect(std::min(ra.left, rb.left), std::min(ra.top, rb.top),
                      std::max(ra.right, rb.right), std::max(ra.bottom, rb.bottom));
    }
    return !IsRectEmpty();
}

// ---------------------------------------------------------------------------
BOOL CGdiObject::Attach(HGDIOBJ h) {
    if (!h || m_hObject) return FALSE;
    m_hObject = h;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    HGDIOBJ h = Detach();
    return h && ::DeleteObject(h);
}

BOOL CGdiObject::CreateStockObject(int index) {
    return Attach(::GetStockObject(index));
}

namespace {

// The wrapper class of a drawing object's kind.
CRuntimeClass* KindOf(HGDIOBJ h) {
    switch (::GetObjectType(h)) {
    case OBJ_PEN:
        return RUNTIME_CLASS(CPen);
    case OBJ_BRUSH:
        return RUNTIME_CLASS(CBrush);
    case OBJ_FONT:
        return RUNTIME_CLASS(CFont);
    case OBJ_BITMAP:
        return RUNTIME_CLASS(CBitmap);
    case OBJ_REGION:
        return RUNTIME_CLASS(CRgn);
    default:
        return RUNTIME_CLASS(CGdiObject);
    }
}

} // namespace

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) {
    if (!h) return nullptr;
    auto& temporary = AfxGetStaticModuleState()->m_temporaryGdiObjects;
    CGdiObject*& o = temporary[h];
    // The wrapper is of the object's own kind, so that a caller's cast holds,
    // even when the handle's number came back for an object of another kind.
    CRuntimeClass* kind = KindOf(h);
    if (o && o->GetRuntimeClass() != kind) {
        o->Detach();
        delete o;
        o = nullptr;
    }
    if (!o) {
        o = static_cast<CGdiObject*>(kind->CreateObject());
        o->m_hObject = h;
    }
    return o;
}

void CGdiObject::DeleteTempMap() {
    auto& temporary = AfxGetStaticModuleState()->m_temporaryGdiObjects;
    for (auto& [h, o] : temporary) {
        o->Detach(); // borrowed: the handle stays with its owner
        delete o;
    }
    temporary.clear();
}

BOOL CFont::CreatePointFont(int pointSizeTenths, LPCWSTR faceName, CDC* dc) {
    constexpr int kScreenDotsPerInch = 96;
    constexpr int kTenthPointsPerInch = 720;
    int dpi = dc && dc->m_hDC ? dc->GetDeviceCaps(LOGPIXELSY) : kScreenDotsPerInch;
    LOGFONTW lf{};
    lf.lfHeight = -((pointSizeTenths * dpi + kTenthPointsPerInch / 2) / kTenthPointsPerInch);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (faceName) {
        size_t n = std::min<size_t>(std::char_traits<char16_t>::length(faceName), LF_FACESIZE - 1);
        std::copy_n(faceName, n, lf.lfFaceName);
    }
    return CreateFontIndirect(&lf);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    return Attach(::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height));
}

BOOL CBitmap::LoadBitmap(UINT id) {
    return Attach(::LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id)));
}

// ---------------------------------------------------------------------------
CDC::~CDC() {
    DeleteDC();
}

BOOL CDC::Attach(HDC hdc) {
    if (!hdc || m_hDC) return FALSE;
    m_hDC = hdc;
    return TRUE;
}

HDC CDC::Detach() {
    HDC h = m_hDC;
    m_hDC = nullptr;
    return h;
}

BOOL CDC::DeleteDC() {
    HDC h = Detach();
    return h && ::DeleteDC(h);
}

CDC* CDC::FromHandle(HDC hdc) {
    if (!hdc) return nullptr;
    auto& temporary = AfxGetStaticModuleState()->m_temporaryDCs;
    CDC*& dc = temporary[hdc];
    if (!dc) {
        dc = new CDC;
        dc->m_hDC = hdc;
    }
    return dc;
}

void CDC::DeleteTempMap() {
    auto& temporary = AfxGetStaticModuleState()->m_temporaryDCs;
    for (auto& [h, dc] : temporary) {
        dc->Detach();
        delete dc;
    }
    temporary.clear();
}

void CDC::DeleteStaleTemporaries() {
    DWORD error = ::GetLastError();
    auto* state = AfxGetStaticModuleState();
    std::erase_if(state->m_temporaryDCs, [](const auto& entry) {
        if (::GetGraphicsMode(entry.first) != 0) return false;
        entry.second->Detach();
        delete entry.second;
        return true;
    });
    std::erase_if(state->m_temporaryGdiObjects, [](const auto& entry) {
        if (::GetObjectType(entry.first) != 0) return false;
        entry.second->Detach();
        delete entry.second;
        return true;
    });
    ::SetLastError(error);
}

CGdiObject* CDC::Select(HGDIOBJ h) {
    return h ? CGdiObject::FromHandle(::SelectObject(m_hDC, h)) : nullptr;
}

CPen* CDC::SelectObject(CPen* pen) {
    return static_cast<CPen*>(Select(pen ? pen->m_hObject : nullptr));
}
CBrush* CDC::SelectObject(CBrush* brush) {
    return static_cast<CBrush*>(Select(brush ? brush->m_hObject : nullptr));
}
CFont* CDC::SelectObject(CFont* font) {
    return static_cast<CFont*>(Select(font ? font->m_hObject : nullptr));
}
CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return static_cast<CBitmap*>(Select(bitmap ? bitmap->m_hObject : nullptr));
}
CGdiObject* CDC::SelectObject(CGdiObject* object) {
    return Select(object ? object->m_hObject : nullptr);
}
CGdiObject* CDC::SelectStockObject(int index) {
    return Select(::GetStockObject(index));
}

CPoint CDC::MoveTo(int x, int y) {
    POINT old{};
    ::MoveToEx(m_hDC, x, y, &old);
    return old;
}

void CDC::FillSolidRect(LPCRECT r, COLORREF color) {
    ::SetBkColor(m_hDC, color);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, r, nullptr, 0, nullptr);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    CRect r(x, y, x + cx, y + cy);
    FillSolidRect(&r, color);
}

void CDC::Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight) {
    int x = r->left, y = r->top, cx = r->right - r->left, cy = r->bottom - r->top;
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

void CDC::DrawFocusRect(LPCRECT r) {
    // Every other pixel of the frame is inverted: a checkered pattern brush
    // (white inverts, black keeps) laid on the four edges.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
        DWORD rows[8];
    } pattern{};
    constexpr int kSide = 8;
    pattern.h =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kSide, kSide, 1, 1, BI_RGB, 0, 0, 0, 0, 0};
    pattern.colors[1] = RGBQUAD{255, 255, 255, 0};
    for (int row = 0; row < kSide; ++row)
        pattern.rows[row] = row % 2 ? 0x55 : 0xAA;
    HBRUSH brush = ::CreateDIBPatternBrushPt(&pattern, DIB_RGB_COLORS);
    if (!brush) return;
    HGDIOBJ old = ::SelectObject(m_hDC, brush);
    int w = r->right - r->left, h = r->bottom - r->top;
    if (w > 0 && h > 0) {
        ::PatBlt(m_hDC, r->left, r->top, w, 1, PATINVERT);
        if (h > 1) ::PatBlt(m_hDC, r->left, r->bottom - 1, w, 1, PATINVERT);
        if (h > 2) {
            ::PatBlt(m_hDC, r->left, r->top + 1, 1, h - 2, PATINVERT);
            if (w > 1) ::PatBlt(m_hDC, r->right - 1, r->top + 1, 1, h - 2, PATINVERT);
        }
    }
    ::SelectObject(m_hDC, old);
    ::DeleteObject(brush);
}

CSize CDC::GetTextExtent(const CString& text) const {
    SIZE s{};
    ::GetTextExtentPoint32W(m_hDC, text, text.GetLength(), &s);
    return s;
}

int CDC::DrawText(LPCWSTR text, int count, LPRECT r, UINT format) {
    return ::DrawTextW(m_hDC, text, count, r, format);
}

int CDC::DrawTextEx(const CString& text, LPRECT r, UINT format, LPDRAWTEXTPARAMS params) {
    CString copy = text; // DrawTextEx may write into its text; this one never does
    return ::DrawTextExW(m_hDC, const_cast<LPWSTR>(static_cast<LPCWSTR>(copy)), copy.GetLength(), r,
                         format, params);
}

// ---------------------------------------------------------------------------
CPaintDC::CPaintDC(CWnd* wnd) : hWnd_(wnd->m_hWnd) {
    Attach(::BeginPaint(hWnd_, &m_ps));
}

CPaintDC::~CPaintDC() {
    ::EndPaint(hWnd_, &m_ps);
    Detach();
}

CClientDC::CClientDC(CWnd* wnd) : hWnd_(wnd ? wnd->m_hWnd : nullptr) {
    Attach(::GetDC(hWnd_));
}

CClientDC::~CClientDC() {
    if (m_hDC) ::ReleaseDC(hWnd_, Detach());
}

CWindowDC::CWindowDC(CWnd* wnd) : hWnd_(wnd ? wnd->m_hWnd : nullptr) {
    Attach(::GetWindowDC(hWnd_));
}

CWindowDC::~CWindowDC() {
    if (m_hDC) ::ReleaseDC(hWnd_, Detach());
}
