// Painting as the window manager does it: every top-level window has a
// surface that stands for its part of the screen; each window keeps the part
// of its client area still to paint; WM_NCPAINT, WM_ERASEBKGND and WM_PAINT
// draw through device contexts on that surface, clipped to what of the
// window shows. Pictures of windows are copies of the surface.
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/window_dc.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace platform::user {
namespace {

constexpr LONG kMaxSurfaceSide = 4096;

// Device contexts handed to windows (GetDC, GetWindowDC, BeginPaint), by
// handle, so that ReleaseDC and EndPaint free only their own.
std::mutex gDcLock;
std::map<HDC, HBITMAP>& HandedOut() {
    // The value is a bitmap the context owns (a desktop context's), or nullptr.
    static auto* dcs = new std::map<HDC, HBITMAP>;
    return *dcs;
}

void Remember(HDC dc, HBITMAP owned) {
    std::lock_guard lock(gDcLock);
    HandedOut()[dc] = owned;
}

bool Forget(HDC dc) {
    HBITMAP owned = nullptr;
    {
        std::lock_guard lock(gDcLock);
        auto it = HandedOut().find(dc);
        if (it == HandedOut().end()) return false;
        owned = it->second;
        HandedOut().erase(it);
    }
    DeleteDC(dc);
    if (owned) DeleteObject(owned);
    return true;
}

HWND Root(HWND h) {
    for (auto w = Find(h); w; w = Find(w->parent))
        if (!w->parent) return w->handle;
    return nullptr;
}

RECT ScreenRect(HWND h, bool client) {
    RECT r{};
    if (client) {
        if (auto w = Find(h)) r = ClientScreenRect(*w);
    } else {
        GetWindowRect(h, &r);
    }
    return r;
}

HBITMAP NewSurface(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = std::max<LONG>(width, 1);
    info.bmiHeader.biHeight = -std::max<LONG>(height, 1);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// The surface of a top-level window, made at its size (again when the size
// changed, which leaves the whole window to paint).
HBITMAP SurfaceOf(HWND top) {
    auto w = Find(top);
    if (!w) return nullptr;
    // A window larger than any screen keeps a screen's worth of surface.
    SIZE size{std::clamp<LONG>(w->rect.right - w->rect.left, 1, kMaxSurfaceSide),
              std::clamp<LONG>(w->rect.bottom - w->rect.top, 1, kMaxSurfaceSide)};
    if (w->surface && w->surfaceSize.cx == size.cx && w->surfaceSize.cy == size.cy)
        return w->surface;
    ReleaseSurface(*w);
    w->surface = NewSurface(size.cx, size.cy);
    if (!w->surface) return nullptr;
    w->surfaceSize = size;
    // What shows where no window paints: the face colour.
    HDC dc = platform::gdi::CreateWindowDc(w->surface, POINT{0, 0}, nullptr);
    if (dc) {
        RECT all{0, 0, size.cx, size.cy};
        FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
        DeleteDC(dc);
    }
    InvalidateTree(top);
    return w->surface;
}

void Subtract(HRGN rgn, const RECT& r) {
    HRGN part = CreateRectRgn(r.left, r.top, r.right, r.bottom);
    CombineRgn(rgn, rgn, part, RGN_DIFF);
    DeleteObject(part);
}

// What shows of a window's client area (or whole window), in the surface's
// pixels: within every ancestor's client area, without the children of a
// WS_CLIPCHILDREN window and the siblings above a WS_CLIPSIBLINGS one.
HRGN VisibleRegion(HWND h, bool client, POINT* origin) {
    HWND top = Root(h);
    RECT topRect = ScreenRect(top, false);
    RECT r = ScreenRect(h, client);
    *origin = POINT{r.left - topRect.left, r.top - topRect.top};
    if (!IsWindowVisible(h)) SetRectEmpty(&r);
    auto w = Find(h);
    for (auto p = w ? Find(w->parent) : nullptr; p; p = Find(p->parent)) {
        RECT area = ClientScreenRect(*p);
        IntersectRect(&r, &r, &area);
    }
    OffsetRect(&r, -topRect.left, -topRect.top);
    HRGN rgn = CreateRectRgn(r.left, r.top, r.right, r.bottom);
    auto moved = [&](HWND c) {
        RECT cr = ScreenRect(c, false);
        OffsetRect(&cr, -topRect.left, -topRect.top);
        return cr;
    };
    if (w && client && (w->style & WS_CLIPCHILDREN))
        for (HWND c : w->children)
            if (IsWindowVisible(c)) Subtract(rgn, moved(c));
    for (auto x = w; x && x->parent; x = Find(x->parent)) {
        if (!(x->style & WS_CLIPSIBLINGS)) continue;
        auto p = Find(x->parent);
        if (!p) break;
        for (HWND sibling : p->children) {
            if (sibling == x->handle) break; // the ones before it are above it
            if (IsWindowVisible(sibling)) Subtract(rgn, moved(sibling));
        }
    }
    return rgn;
}

// A device context on a window's client area (or whole window), further
// clipped to `limit` (client coordinates) when given.
HDC NewWindowDc(HWND h, bool client, const RECT* limit) {
    HBITMAP surface = SurfaceOf(Root(h));
    if (!surface) return nullptr;
    POINT origin;
    HRGN rgn = VisibleRegion(h, client, &origin);
    if (limit) {
        HRGN part = CreateRectRgn(limit->left + origin.x, limit->top + origin.y,
                                  limit->right + origin.x, limit->bottom + origin.y);
        CombineRgn(rgn, rgn, part, RGN_AND);
        DeleteObject(part);
    }
    HDC dc = platform::gdi::CreateWindowDc(surface, origin, rgn);
    DeleteObject(rgn);
    if (dc) Remember(dc, nullptr);
    return dc;
}

// The device context of no window: the screen's, drawn nowhere, of the
// screen's depth (so compatible bitmaps take that depth).
HDC DesktopDc() {
    HBITMAP pixel = NewSurface(1, 1);
    if (!pixel) return nullptr;
    HDC dc = platform::gdi::CreateWindowDc(pixel, POINT{0, 0}, nullptr);
    if (!dc) {
        DeleteObject(pixel);
        return nullptr;
    }
    Remember(dc, pixel);
    return dc;
}

void Invalidate(Window& w, const RECT* rect, bool erase) {
    RECT client = ClientScreenRect(w);
    OffsetRect(&client, -client.left, -client.top);
    RECT part = client;
    if (rect) IntersectRect(&part, rect, &client);
    if (IsRectEmpty(&part)) return;
    if (IsRectEmpty(&w.update))
        w.update = part;
    else
        UnionRect(&w.update, &w.update, &part);
    w.eraseUpdate = w.eraseUpdate || erase;
}

void InvalidateChildren(Window& w, bool erase, bool frame) {
    for (HWND c : std::vector<HWND>(w.children)) {
        auto child = Find(c);
        if (!child) continue;
        Invalidate(*child, nullptr, erase);
        child->frameUpdate = child->frameUpdate || frame;
        InvalidateChildren(*child, erase, frame);
    }
}

// Paints one window where it needs it.
void PaintWindow(HWND h) {
    auto w = Find(h);
    if (!w || !IsWindowVisible(h)) return;
    if (w->frameUpdate) {
        w->frameUpdate = false;
        SendMessageW(h, WM_NCPAINT, 1, 0);
    }
    if (auto again = Find(h); again && !IsRectEmpty(&again->update)) {
        SendMessageW(h, WM_PAINT, 0, 0);
        // A window that does not validate its area is not asked again and
        // again: what it drew is what shows.
        if (auto after = Find(h)) {
            SetRectEmpty(&after->update);
            after->eraseUpdate = false;
        }
    }
}

// The first window of the tree, in painting order, that needs painting.
HWND FirstToPaint(HWND h) {
    auto w = Find(h);
    if (!w || !(w->style & WS_VISIBLE)) return nullptr;
    if (w->frameUpdate || !IsRectEmpty(&w->update)) return h;
    std::vector<HWND> children = w->children;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (HWND found = FirstToPaint(*it)) return found;
    return nullptr;
}

} // namespace

HWND NextToPaint(HWND within) {
    if (within) return IsWindowVisible(within) ? FirstToPaint(within) : nullptr;
    std::vector<HWND> tops = TopLevelWindows();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it)
        if (HWND found = FirstToPaint(*it)) return found;
    return nullptr;
}

void PaintOne(HWND h) {
    PaintWindow(h);
}

void InvalidateTree(HWND h) {
    auto w = Find(h);
    if (!w) return;
    Invalidate(*w, nullptr, true);
    w->frameUpdate = true;
    InvalidateChildren(*w, true, true);
}

void PaintTree(HWND h) {
    PaintWindow(h);
    auto w = Find(h);
    if (!w) return;
    // The last child is the bottom of the stacking order: painted first, so
    // that the ones above it cover it.
    std::vector<HWND> children = w->children;
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (IsWindow(*it)) PaintTree(*it);
}

void ReleaseSurface(Window& w) {
    if (w.surface) DeleteObject(w.surface);
    w.surface = nullptr;
    w.surfaceSize = SIZE{};
}

HDC WindowDc(HWND h) {
    return NewWindowDc(h, false, nullptr);
}

HDC SurfaceDc(HWND h) {
    HWND top = Root(h);
    HBITMAP surface = SurfaceOf(top);
    if (!surface) return nullptr;
    RECT topRect = ScreenRect(top, false), r = ScreenRect(h, false);
    HDC dc = platform::gdi::CreateWindowDc(
        surface, POINT{r.left - topRect.left, r.top - topRect.top}, nullptr);
    if (dc) Remember(dc, nullptr);
    return dc;
}

} // namespace platform::user

using namespace platform::user;

extern "C" {

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto w = Find(hWnd);
    if (!w || !lpPaint) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    *lpPaint = {};
    if (w->frameUpdate) {
        w->frameUpdate = false;
        SendMessageW(hWnd, WM_NCPAINT, 1, 0);
        w = Find(hWnd);
        if (!w) return nullptr;
    }
    // The area is valid from here on; what is invalidated while painting is
    // painted next time.
    RECT update = w->update;
    bool erase = w->eraseUpdate;
    SetRectEmpty(&w->update);
    w->eraseUpdate = false;
    HDC dc = NewWindowDc(hWnd, true, &update);
    if (!dc) return nullptr;
    lpPaint->hdc = dc;
    lpPaint->rcPaint = update;
    if (erase)
        lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* lpPaint) {
    if (lpPaint && lpPaint->hdc) Forget(lpPaint->hdc);
    return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
    if (!hWnd) return DesktopDc();
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return NewWindowDc(hWnd, true, nullptr);
}

HDC WINAPI GetWindowDC(HWND hWnd) {
    if (!hWnd) return DesktopDc();
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return NewWindowDc(hWnd, false, nullptr);
}

int WINAPI ReleaseDC(HWND, HDC hDC) {
    return Forget(hDC) ? 1 : 0;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (!hWnd) {
        // The whole screen: every top-level window.
        for (HWND top : TopLevelWindows())
            InvalidateRect(top, nullptr, bErase);
        return TRUE;
    }
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Invalidate(*w, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The area to paint is one rectangle: it goes when the validated part
    // covers it.
    RECT both;
    if (!lpRect || (IntersectRect(&both, &w->update, lpRect) && EqualRect(&both, &w->update))) {
        SetRectEmpty(&w->update);
        w->eraseUpdate = false;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
    auto w = Find(hWnd);
    if (!w) return FALSE;
    if (lpRect) *lpRect = w->update;
    return !IsRectEmpty(&w->update);
}

// Paints the window and then those of its descendants that need it, as the
// message loop would right after.
BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (!Find(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    PaintTree(hWnd);
    return TRUE;
}

BOOL WINAPI RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate, UINT flags) {
    if (!hWnd) {
        for (HWND top : TopLevelWindows())
            RedrawWindow(top, lprcUpdate, hrgnUpdate, flags);
        return TRUE;
    }
    auto w = Find(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT box;
    const RECT* part = lprcUpdate;
    if (!part && hrgnUpdate && GetRgnBox(hrgnUpdate, &box) != ERROR) part = &box;
    if (flags & RDW_INVALIDATE) {
        Invalidate(*w, part, (flags & RDW_ERASE) != 0);
        if (flags & RDW_FRAME) w->frameUpdate = true;
        if (flags & RDW_ALLCHILDREN) InvalidateChildren(*w, (flags & RDW_ERASE) != 0, false);
    } else if (flags & RDW_VALIDATE) {
        ValidateRect(hWnd, part);
        if (flags & RDW_NOFRAME) w->frameUpdate = false;
    }
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
        if (flags & RDW_ALLCHILDREN)
            PaintTree(hWnd);
        else
            PaintWindow(hWnd);
    }
    return TRUE;
}

// DrawFocusRect lives with the icon drawing (icon_drawing.cpp).

} // extern "C"
