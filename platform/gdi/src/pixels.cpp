// Single pixels of a memory device context (GetPixel) and device-dependent
// bitmaps made from plain rows of bits (CreateBitmap), as masks are made.
#include <cstring>
#include <new>

#include "dc_state.h"
#include "platform/core.h"
#include "platform/engine_objects.h"
#include "gdi_internal.h"
#include "gdi_objects.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace platform::gdi {
namespace {

// Rows handed to CreateBitmap are padded to whole 16-bit words.
size_t WordRowBytes(LONG width, UINT bpp) {
    return ((static_cast<size_t>(width) * bpp + 15) / 16) * 2;
}

// The raw value of a pixel of a scan line.
ULONG PixelAt(const BitmapData& b, const BYTE* row, LONG x) {
    switch (b.bpp) {
    case 1:
    case 4:
    case 8: {
        size_t bit = static_cast<size_t>(x) * b.bpp;
        return (row[bit / 8] >> (8 - b.bpp - bit % 8)) & ((1u << b.bpp) - 1);
    }
    case 16:
        return static_cast<ULONG>(row[x * 2] | (row[x * 2 + 1] << 8));
    case 24:
        return static_cast<ULONG>(row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16));
    case 32:
        return static_cast<ULONG>(row[x * 4] | (row[x * 4 + 1] << 8) | (row[x * 4 + 2] << 16));
    default:
        return 0;
    }
}

// A pixel as a colour, through the bitmap's own palette (its colour table,
// or the masks of a 16- or 32-bit layout).
COLORREF ColorOfPixel(const BitmapData& b, ULONG pixel) {
    HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    XLATEOBJ* x = rgb ? engine::CreatePaletteXlate(b.palette, rgb) : nullptr;
    COLORREF c = x ? XLATEOBJ_iXlate(x, pixel) & 0xFFFFFF : CLR_INVALID;
    if (x) engine::DeleteXlate(x);
    if (rgb) EngDeletePalette(rgb);
    return c;
}

} // namespace
} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

// The colour of a pixel of the bitmap selected into a memory device context,
// at a point in logical units; CLR_INVALID outside the bitmap and for device
// contexts without a bitmap (printers).
COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    auto bitmap = DcBitmap(hdc);
    if (!bitmap || !bitmap->bitmap) return CLR_INVALID;
    POINT p{x, y};
    if (!LPtoDP(hdc, &p, 1)) return CLR_INVALID;
    const BitmapData& b = *bitmap->bitmap;
    if (p.x < 0 || p.y < 0 || p.x >= b.width || p.y >= b.height) return CLR_INVALID;
    SURFOBJ* so = EngLockSurface(b.surface);
    if (!so) return CLR_INVALID;
    const BYTE* row =
        static_cast<const BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(p.y) * so->lDelta;
    ULONG pixel = PixelAt(b, row, p.x);
    EngUnlockSurface(so);
    return ColorOfPixel(b, pixel);
}

// A bitmap of one plane; a one-bit bitmap is monochrome (0 black, 1 white).
// lpBits, when given, holds top-down rows each padded to a 16-bit word.
HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const VOID* lpBits) {
    PLATFORM_FAULT_POINT("CreateBitmap", nullptr);
    if (nPlanes != 1 || nWidth <= 0 || nHeight <= 0 ||
        (nBitCount != 1 && nBitCount != 16 && nBitCount != 24 && nBitCount != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        std::vector<COLORREF> mono;
        if (nBitCount == 1) mono = {RGB(0, 0, 0), RGB(255, 255, 255)};
        auto o = NewBitmapObject(nWidth, nHeight, nBitCount, mono, false);
        if (!o) return nullptr;
        if (lpBits) {
            SURFOBJ* so = EngLockSurface(o->bitmap->surface);
            if (!so) return nullptr;
            size_t from = WordRowBytes(nWidth, nBitCount);
            size_t to = (static_cast<size_t>(nWidth) * nBitCount + 7) / 8;
            for (LONG y = 0; y < nHeight; ++y)
                std::memcpy(static_cast<BYTE*>(so->pvScan0) +
                                static_cast<ptrdiff_t>(y) * so->lDelta,
                            static_cast<const BYTE*>(lpBits) + static_cast<size_t>(y) * from, to);
            EngUnlockSurface(so);
        }
        return reinterpret_cast<HBITMAP>(AddObject(std::move(o)));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

} // extern "C"
