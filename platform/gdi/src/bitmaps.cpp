// Bitmaps and memory device contexts: compatible bitmaps, DIB sections and
// device-dependent bitmaps made from DIBs, and the copying of their bits in
// and out. Conversions between formats go through the engine's blits with a
// translation between the two palettes.
#include <algorithm>
#include <cstring>

#include "dc_state.h"
#include "dib.h"
#include "gdi_internal.h"
#include "gdi_objects.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"

namespace platform::gdi {
namespace {

constexpr LONG kMaxBitmapSide = 1 << 16;

ULONG FormatOf(ULONG bpp) {
    switch (bpp) {
    case 1:
        return BMF_1BPP;
    case 4:
        return BMF_4BPP;
    case 8:
        return BMF_8BPP;
    case 16:
        return BMF_16BPP;
    case 24:
        return BMF_24BPP;
    case 32:
        return BMF_32BPP;
    default:
        return 0;
    }
}

HPALETTE PaletteFor(ULONG bpp, const std::vector<COLORREF>& colors, const ULONG* masks) {
    if (bpp == 16 || (bpp == 32 && masks && masks[0] != 0xFF0000)) {
        ULONG m[3] = {0x7C00, 0x03E0, 0x001F};
        if (masks) std::copy(masks, masks + 3, m);
        return EngCreatePalette(PAL_BITFIELDS, 0, nullptr, m[0], m[1], m[2]);
    }
    return DibPalette(bpp, colors);
}

std::shared_ptr<GdiObject> MakeBitmap(LONG w, LONG h, ULONG bpp,
                                      const std::vector<COLORREF>& colors, bool dib, FLONG fl,
                                      const ULONG* masks) {
    if (w <= 0 || h <= 0 || w > kMaxBitmapSide || h > kMaxBitmapSide || !FormatOf(bpp)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto data = std::make_shared<BitmapData>();
    data->width = w, data->height = h, data->bpp = bpp, data->dibSection = dib;
    if (bpp <= 8) {
        data->colors = colors;
        data->colors.resize(size_t{1} << bpp, colors.empty() ? 0 : colors.front());
    }
    data->surface =
        reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{w, h}, 0, FormatOf(bpp), fl, nullptr));
    if (!data->surface) return nullptr;
    data->palette = PaletteFor(bpp, data->colors, masks);
    if (!data->palette) return nullptr;
    engine::SetSurfacePalette(data->surface, data->palette);
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Bitmap;
    o->bitmap = std::move(data);
    return o;
}

// Copies between two engine bitmaps of any formats, through their palettes.
bool Convert(HSURF from, HPALETTE fromPal, HSURF to, HPALETTE toPal, RECTL dst, POINTL src) {
    SURFOBJ* s = EngLockSurface(from);
    SURFOBJ* d = EngLockSurface(to);
    XLATEOBJ* x = engine::CreatePaletteXlate(fromPal, toPal);
    bool ok = s && d && x && EngCopyBits(d, s, nullptr, x, &dst, &src);
    if (x) engine::DeleteXlate(x);
    if (d) EngUnlockSurface(d);
    if (s) EngUnlockSurface(s);
    return ok;
}

// Writes the rows of a DIB into a bitmap (rows counted from the DIB's first
// line in memory order as the header lays them out).
int PutDib(BitmapData& b, UINT start, UINT lines, const void* bits, const BITMAPINFO* bmi,
           UINT usage) {
    DibHeader h;
    if (!bits || !ReadDibHeaderOnly(bmi, &h)) return 0;
    Dib dib;
    size_t bitsSize = static_cast<size_t>(std::min<unsigned long long>(
        h.compression == BI_RGB || h.compression == BI_BITFIELDS ? DibBitsSize(h) : h.sizeImage,
        1ull << 31));
    if (!ReadDib(reinterpret_cast<const BYTE*>(bmi), DibInfoSize(h, usage),
                 static_cast<const BYTE*>(bits), bitsSize, usage, &dib))
        return 0;
    HPALETTE pal = nullptr;
    HSURF surf = DibSurface(dib, &pal);
    if (!surf) return 0;
    // Bottom-up scan lines start..start+lines count from the bottom.
    LONG rows = static_cast<LONG>(std::min<UINT>(lines, static_cast<UINT>(dib.height)));
    bool bottomUp = h.height > 0;
    LONG top = bottomUp ? b.height - static_cast<LONG>(start) - rows : static_cast<LONG>(start);
    LONG srcTop = bottomUp ? dib.height - rows : 0;
    RECTL dst{0, top, std::min(b.width, dib.width), top + rows};
    bool ok = Convert(surf, pal, b.surface, b.palette, dst, POINTL{0, srcTop});
    EngDeleteSurface(surf);
    EngDeletePalette(pal);
    return ok ? rows : 0;
}

} // namespace

BitmapData::~BitmapData() {
    if (surface) EngDeleteSurface(surface);
    if (palette) EngDeletePalette(palette);
}

std::shared_ptr<GdiObject> NewBitmapObject(LONG width, LONG height, ULONG bpp,
                                           const std::vector<COLORREF>& colors, bool dibSection) {
    return MakeBitmap(width, height, bpp, colors, dibSection, BMF_TOPDOWN, nullptr);
}

HBITMAP BitmapFromDib(const Dib& dib) {
    auto o = MakeBitmap(dib.width, dib.height, dib.bpp, dib.colors, true, BMF_TOPDOWN, nullptr);
    if (!o) return nullptr;
    o->bitmap->alpha = dib.alpha;
    SURFOBJ* so = EngLockSurface(o->bitmap->surface);
    if (!so) return nullptr;
    for (LONG y = 0; y < dib.height; ++y)
        std::memcpy(static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta,
                    dib.pixels.data() + static_cast<size_t>(y) * dib.Stride(), dib.Stride());
    EngUnlockSurface(so);
    return reinterpret_cast<HBITMAP>(AddObject(std::move(o)));
}

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    return CreateMemoryDc(hdc);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    // A memory device context's bitmaps take its bitmap's format; a printer's
    // are 24-bit colour.
    ULONG bpp = 24;
    std::vector<COLORREF> colors;
    if (auto current = DcBitmap(hdc)) {
        bpp = current->bitmap->bpp;
        colors = current->bitmap->colors;
    } else {
        PrinterDcFacts facts;
        if (!QueryPrinterDc(hdc, &facts)) return nullptr;
    }
    auto o = MakeBitmap(cx, cy, bpp, colors, false, BMF_TOPDOWN, nullptr);
    return o ? reinterpret_cast<HBITMAP>(AddObject(std::move(o))) : nullptr;
}

HBITMAP WINAPI CreateDIBSection(HDC /*hdc*/, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits,
                                HANDLE hSection, DWORD offset) {
    if (ppvBits) *ppvBits = nullptr;
    DibHeader h;
    if (!pbmi || hSection || offset || !ReadDibHeaderOnly(pbmi, &h) ||
        (h.compression != BI_RGB && h.compression != BI_BITFIELDS) || h.bitCount == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The colour table (or masks) read through the one reader: a bitmap of
    // one row of zero bits.
    std::vector<BYTE> none((static_cast<size_t>(std::max<LONG>(h.width, 1)) * h.bitCount + 31) /
                           32 * 4);
    std::vector<BYTE> info(reinterpret_cast<const BYTE*>(pbmi),
                           reinterpret_cast<const BYTE*>(pbmi) + DibInfoSize(h, usage));
    if (h.size == sizeof(BITMAPCOREHEADER)) {
        WORD oneRow = 1;
        std::memcpy(info.data() + 6, &oneRow, sizeof oneRow);
    } else {
        LONG oneRow = h.height < 0 ? -1 : 1;
        std::memcpy(info.data() + 8, &oneRow, sizeof oneRow);
    }
    Dib probe;
    if (!ReadDib(info.data(), info.size(), none.data(), none.size(), usage, &probe)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ULONG masks[3] = {0x7C00, 0x03E0, 0x001F};
    bool haveMasks = h.bitCount == 16;
    if (h.compression == BI_BITFIELDS) {
        size_t at = h.size == sizeof(BITMAPINFOHEADER) ? sizeof(BITMAPINFOHEADER) : 40;
        std::memcpy(masks, reinterpret_cast<const BYTE*>(pbmi) + at, sizeof masks);
        haveMasks = true;
    }
    LONG height = h.height < 0 ? -h.height : h.height;
    auto o = MakeBitmap(h.width, height, h.bitCount, probe.colors, true,
                        h.height < 0 ? BMF_TOPDOWN : 0, haveMasks ? masks : nullptr);
    if (!o) return nullptr;
    if (ppvBits) {
        SURFOBJ* so = EngLockSurface(o->bitmap->surface);
        if (so) {
            *ppvBits = so->pvBits;
            EngUnlockSurface(so);
        }
    }
    return reinterpret_cast<HBITMAP>(AddObject(std::move(o)));
}

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                              const VOID* pjBits, const BITMAPINFO* pbmi, UINT iUsage) {
    DibHeader h;
    if (!pbmih || !ReadDibHeaderOnly(reinterpret_cast<const BITMAPINFO*>(pbmih), &h)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LONG height = h.height < 0 ? -h.height : h.height;
    HBITMAP hbm = CreateCompatibleBitmap(hdc, h.width, height);
    if (!hbm || !(flInit & CBM_INIT)) return hbm;
    if (!SetDIBits(hdc, hbm, 0, static_cast<UINT>(height), pjBits, pbmi, iUsage)) {
        DWORD error = GetLastError();
        DeleteObject(hbm);
        SetLastError(error ? error : static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        return nullptr;
    }
    return hbm;
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    auto o = FindObject(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // A font describes itself by its logical font, as made (a window's text
    // is drawn in its weight, slant and underline, and a program makes a
    // bold or underlined font from a window's font).
    if (o->kind == ObjectKind::Font) {
        if (!pv) return sizeof(LOGFONTW);
        if (c < static_cast<int>(sizeof(LOGFONTW))) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(pv, &o->font, sizeof(LOGFONTW));
        return sizeof(LOGFONTW);
    }
    // Bitmaps describe themselves too; the other kinds are refused rather
    // than answered with an invented record.
    if (o->kind != ObjectKind::Bitmap) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (!pv) return sizeof(BITMAP);
    if (c < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const BitmapData& b = *o->bitmap;
    BITMAP out{};
    out.bmWidth = b.width;
    out.bmHeight = b.height;
    // A DIB section's rows are whole double words, a device bitmap's whole words.
    const unsigned long long bits = static_cast<unsigned long long>(b.width) * b.bpp;
    out.bmWidthBytes =
        static_cast<LONG>(b.dibSection ? (bits + 31) / 32 * 4 : (bits + 15) / 16 * 2);
    out.bmPlanes = 1;
    out.bmBitsPixel = static_cast<WORD>(b.bpp);
    if (b.dibSection) {
        if (SURFOBJ* so = EngLockSurface(b.surface)) {
            out.bmBits = so->pvBits;
            EngUnlockSurface(so);
        }
    }
    std::memcpy(pv, &out, sizeof out);
    return sizeof(BITMAP);
}

int WINAPI SetDIBits(HDC /*hdc*/, HBITMAP hbm, UINT start, UINT cLines, const VOID* lpBits,
                     const BITMAPINFO* lpbmi, UINT ColorUse) {
    auto o = FindObject(hbm, ObjectKind::Bitmap);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return PutDib(*o->bitmap, start, cLines, lpBits, lpbmi, ColorUse);
}

int WINAPI GetDIBits(HDC /*hdc*/, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                     LPBITMAPINFO lpbmi, UINT usage) {
    auto o = FindObject(hbm, ObjectKind::Bitmap);
    if (!o || !lpbmi) {
        SetLastError(o ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    BitmapData& b = *o->bitmap;
    BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || usage != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (h.biBitCount == 0) {
        h.biWidth = b.width;
        h.biHeight = b.height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(b.bpp);
        h.biCompression = BI_RGB;
    }
    ULONG bpp = h.biBitCount;
    if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) || h.biCompression != BI_RGB ||
        (bpp <= 8 && bpp != b.bpp)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    LONG stride = static_cast<LONG>((static_cast<unsigned long long>(b.width) * bpp + 31) / 32 * 4);
    h.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(b.height);
    if (bpp <= 8)
        for (size_t i = 0; i < b.colors.size(); ++i) {
            COLORREF c = b.colors[i];
            lpbmi->bmiColors[i] = RGBQUAD{static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8),
                                          static_cast<BYTE>(c), 0};
        }
    if (!lpvBits) return b.height;
    LONG rows = static_cast<LONG>(std::min<UINT>(cLines, static_cast<UINT>(b.height)));
    if (start >= static_cast<UINT>(b.height) || rows <= 0) return 0;
    rows = std::min<LONG>(rows, b.height - static_cast<LONG>(start));
    bool bottomUp = h.biHeight > 0;
    // The caller's rows as a bitmap of their own; the bitmap's rows copied in.
    HSURF out = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{b.width, rows}, stride, FormatOf(bpp),
                                                        bottomUp ? 0 : BMF_TOPDOWN, lpvBits));
    HPALETTE pal = PaletteFor(bpp, b.colors, nullptr);
    LONG top = bottomUp ? b.height - static_cast<LONG>(start) - rows : static_cast<LONG>(start);
    bool ok = out && pal &&
              Convert(b.surface, b.palette, out, pal, RECTL{0, 0, b.width, rows}, POINTL{0, top});
    if (out) EngDeleteSurface(out);
    if (pal) EngDeletePalette(pal);
    return ok ? rows : 0;
}
}
