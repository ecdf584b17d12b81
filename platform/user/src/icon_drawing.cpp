// Icons drawn onto a device context, the focus frame, and text with tab
// stops, as controls and owner-drawn items draw them.
#include <algorithm>
#include <new>

#include "images.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"

namespace platform::user {
namespace {

constexpr DWORD kOpaque = 0xFF000000;
constexpr DWORD kWhite = 0xFFFFFF;
// Without stops, tabs stand every eight average character widths.
constexpr int kDefaultTabChars = 8;

// The distance to the next stop after x (pixels from the origin).
int NextStop(int x, int count, const INT* stops, int defaultStep) {
    if (count <= 0 || !stops) return (x / defaultStep + 1) * defaultStep;
    if (count == 1) {
        int step = std::max(1, std::abs(stops[0]));
        return (x / step + 1) * step;
    }
    for (int i = 0; i < count; ++i)
        if (std::abs(stops[i]) > x) return std::abs(stops[i]);
    return x; // past the last stop: the text goes on where it is
}

// Draws (or only measures, for dc drawing false) the text with its tabs.
DWORD Tabbed(HDC hdc, bool draw, int x, int y, LPCWSTR text, int count, int nStops,
             const INT* stops, int origin) {
    if (!text || count <= 0) return 0;
    TEXTMETRICW tm{};
    GetTextMetricsW(hdc, &tm);
    int step = std::max<int>(1, tm.tmAveCharWidth * kDefaultTabChars);
    int at = x - origin; // position from the origin of the stops
    int start = x;
    int height = tm.tmHeight;
    int segment = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && text[i] != u'\t') continue;
        SIZE size{};
        int n = i - segment;
        if (n > 0) {
            GetTextExtentPoint32W(hdc, text + segment, n, &size);
            if (draw) TextOutW(hdc, origin + at, y, text + segment, n);
            height = std::max<int>(height, size.cy);
        }
        at += size.cx;
        if (i < count) at = NextStop(at, nStops, stops, step);
        segment = i + 1;
    }
    int width = origin + at - start;
    return MAKELONG(static_cast<WORD>(std::max(width, 0)), static_cast<WORD>(height));
}

} // namespace
} // namespace platform::user

using namespace platform::user;

extern "C" {

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT,
                       HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    auto image = FindImage(hIcon);
    if (!hdc || !image || image->kind == Image::Bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    try {
        int cx = cxWidth, cy = cyWidth;
        if (!cx) cx = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : image->width;
        if (!cy) cy = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : image->height;
        RECT to{xLeft, yTop, xLeft + cx, yTop + cy};
        if (hbrFlickerFreeDraw) FillRect(hdc, &to, hbrFlickerFreeDraw);
        Pixels pixels;
        // The system's own icons have no pixels: there is nothing to show.
        if (!IconPixels(hIcon, &pixels)) return TRUE;
        UINT parts = diFlags & DI_NORMAL;
        if (parts == DI_NORMAL || parts == 0)
            return DrawPixels(hdc, to, pixels.width, pixels.height, pixels, 0);
        if (parts == DI_MASK) {
            // The mask: black where the icon shows, white where it does not.
            for (DWORD& p : pixels.bgra)
                p = (p >> 24) ? kOpaque : (kOpaque | kWhite);
            return DrawPixels(hdc, to, pixels.width, pixels.height, pixels, SRCAND);
        }
        // The colours alone, black where the icon does not show.
        for (DWORD& p : pixels.bgra)
            p = (p >> 24) ? (p | kOpaque) : kOpaque;
        return DrawPixels(hdc, to, pixels.width, pixels.height, pixels, SRCCOPY);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    return DrawIconEx(hDC, X, Y, hIcon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

BOOL WINAPI DrawFocusRect(HDC hDC, const RECT* lprc) {
    if (!hDC || !lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Every other pixel of the frame is inverted, so that the frame shows on
    // any colour and a second call takes it away.
    int w = lprc->right - lprc->left, h = lprc->bottom - lprc->top;
    if (w <= 0 || h <= 0) return TRUE;
    auto dot = [&](int x, int y) {
        if (((x - lprc->left) + (y - lprc->top)) % 2 == 0) PatBlt(hDC, x, y, 1, 1, DSTINVERT);
    };
    for (int x = lprc->left; x < lprc->right; ++x) {
        dot(x, lprc->top);
        if (h > 1) dot(x, lprc->bottom - 1);
    }
    for (int y = lprc->top + 1; y < lprc->bottom - 1; ++y) {
        dot(lprc->left, y);
        if (w > 1) dot(lprc->right - 1, y);
    }
    return TRUE;
}

LONG WINAPI TabbedTextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int chCount, int nTabPositions,
                           const INT* lpnTabStopPositions, int nTabOrigin) {
    return static_cast<LONG>(
        Tabbed(hdc, true, x, y, lpString, chCount, nTabPositions, lpnTabStopPositions, nTabOrigin));
}

DWORD WINAPI GetTabbedTextExtentW(HDC hdc, LPCWSTR lpString, int chCount, int nTabPositions,
                                  const INT* lpnTabStopPositions) {
    return Tabbed(hdc, false, 0, 0, lpString, chCount, nTabPositions, lpnTabStopPositions, 0);
}

} // extern "C"
