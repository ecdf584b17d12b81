// The raster drawing functions of GDI: blits under raster operations,
// stretches, DIBs drawn onto a device, transparent and alpha blits,
// gradients and the rectangle helpers. Each becomes one raster call in
// device coordinates with a copy of its source, played like every other
// drawing call (the driver's hook, else the engine).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dib.h"
#include "drawing.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"

namespace platform::gdi {
namespace {

BOOL Invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

ULONG Rop3Of(DWORD rop) {
    return (rop >> 16) & 0xFF;
}

bool UsesSource(ULONG rop3) {
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}
bool UsesPattern(ULONG rop3) {
    return ((rop3 >> 4) & 0x0F) != (rop3 & 0x0F);
}

// Sums of coordinates from callers and metafiles, kept in range.
LONG Sum(long long a, long long b, long long c = 0) {
    return static_cast<LONG>(std::clamp(a + b + c, -(1LL << 30), 1LL << 30));
}

LONG Round(double v) {
    return static_cast<LONG>(std::lround(std::clamp(v, -1e9, 1e9)));
}

// A logical rectangle (origin and extents, which may be negative) in device
// units; false when the mapping turns it.
bool DeviceRect(const DcState& dc, int x, int y, int w, int h, RECTL* out) {
    Affine m = LogicalToDevice(dc.a);
    if (!m.AxisAligned() || m.m11 == 0) return false;
    PointD a = m.Apply(PointD{double(x), double(y)});
    PointD b = m.Apply(PointD{double(x) + w, double(y) + h});
    *out = RECTL{Round(a.x), Round(a.y), Round(b.x), Round(b.y)};
    return true;
}

std::vector<RECTL> ClipOf(const DcState& dc, bool* empty) {
    auto clip = EffectiveClip(dc.a);
    *empty = clip && clip->Empty();
    return clip ? clip->Rects() : std::vector<RECTL>{};
}

// A copy of the part of a bitmap a call reads; rect is moved into the copy.
std::shared_ptr<RasterImage> CopyPart(const BitmapData& b, RECTL* rect) {
    RECTL r{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
            std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
    RECTL part{std::max(r.left, LONG{0}), std::max(r.top, LONG{0}), std::min(r.right, b.width),
               std::min(r.bottom, b.height)};
    if (part.left >= part.right || part.top >= part.bottom) return nullptr;
    auto img = std::make_shared<RasterImage>();
    SURFOBJ* from = EngLockSurface(b.surface);
    if (!from) return nullptr;
    img->surface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{part.right - part.left, part.bottom - part.top}, 0,
                        from->iBitmapFormat, BMF_TOPDOWN, nullptr));
    SURFOBJ* to = img->surface ? EngLockSurface(img->surface) : nullptr;
    if (to) {
        RECTL all{0, 0, to->sizlBitmap.cx, to->sizlBitmap.cy};
        POINTL at{part.left, part.top};
        EngCopyBits(to, from, nullptr, nullptr, &all, &at);
        EngUnlockSurface(to);
    }
    EngUnlockSurface(from);
    if (!to) return nullptr;
    img->palette = DibPalette(b.bpp, b.colors);
    if (b.bpp == 16 || !img->palette) return nullptr;
    engine::SetSurfacePalette(img->surface, img->palette);
    rect->left -= part.left, rect->right -= part.left;
    rect->top -= part.top, rect->bottom -= part.top;
    return img;
}

// The translation of a source into the destination's colours: a mono
// device-dependent bitmap takes the destination's text (0) and background
// (1) colours (a DIB's colour table counts as it stands); a colour
// source onto a mono bitmap turns its background colour white and the rest
// black; indexed sources go by table, others by their palettes.
void Translate(const DcState& dst, COLORREF srcBk, ULONG srcBpp, bool monoDdb,
               const std::vector<COLORREF>& srcColors, RasterSpec* spec) {
    DeviceColors colors(dst);
    bool monoDest =
        dst.facts.gdiinfo.cBitsPixel == 1 && dst.facts.gdiinfo.ulTechnology == DT_RASDISPLAY;
    if (monoDdb && !monoDest) {
        spec->table = {colors(dst.a.textColor), colors(dst.a.bkColor)};
    } else if (srcBpp == 1 && monoDest && monoDdb) {
        spec->table = {0, 1};
    } else if (srcBpp <= 8) {
        for (COLORREF c : srcColors)
            spec->table.push_back(monoDest ? ((c & 0xFFFFFF) == (srcBk & 0xFFFFFF) ? 1u : 0u)
                                           : colors(c));
    }
}

// A direct-colour source onto a mono bitmap: its background colour white,
// the rest black, as a one-bit image.
std::shared_ptr<RasterImage> ToMono(const RasterImage& img, COLORREF bk) {
    SURFOBJ* so = EngLockSurface(img.surface);
    if (!so) return nullptr;
    auto mono = std::make_shared<RasterImage>();
    mono->surface =
        reinterpret_cast<HSURF>(EngCreateBitmap(so->sizlBitmap, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* m = mono->surface ? EngLockSurface(mono->surface) : nullptr;
    if (m) {
        ULONG key = ((bk & 0xFF) << 16) | (bk & 0xFF00) | ((bk >> 16) & 0xFF);
        ULONG bytes = so->iBitmapFormat == BMF_24BPP ? 3 : 4;
        for (LONG y = 0; y < so->sizlBitmap.cy; ++y) {
            const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta;
            BYTE* out = static_cast<BYTE*>(m->pvScan0) + y * m->lDelta;
            for (LONG x = 0; x < so->sizlBitmap.cx; ++x) {
                const BYTE* p = row + bytes * x;
                if (static_cast<ULONG>(p[0] | p[1] << 8 | p[2] << 16) == key)
                    out[x / 8] |= BYTE(0x80 >> (x % 8));
            }
        }
        EngUnlockSurface(m);
    }
    EngUnlockSurface(so);
    mono->palette = DibPalette(1, {0x000000, 0xFFFFFF});
    if (!m || !mono->palette) return nullptr;
    engine::SetSurfacePalette(mono->surface, mono->palette);
    return mono;
}

struct Source {
    std::shared_ptr<RasterImage> image;
    RECTL rect{};
    COLORREF bk = 0xFFFFFF;
    ULONG bpp = 0;
    bool monoDdb = false;
    std::vector<COLORREF> colors;
};

// The source of a blit: the bitmap of a memory device context.
bool SourceFromDc(HDC hdcSrc, int x, int y, int w, int h, Source* out) {
    auto bitmap = DcBitmap(hdcSrc);
    if (!bitmap) {
        // A printer's page cannot be read back.
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DcAccess src(hdcSrc);
    if (!src || !DeviceRect(*src, x, y, w, h, &out->rect)) return Invalid();
    out->bk = src->a.bkColor;
    out->bpp = bitmap->bitmap->bpp;
    out->monoDdb = out->bpp == 1 && !bitmap->bitmap->dibSection;
    out->colors = bitmap->bitmap->colors;
    out->image = CopyPart(*bitmap->bitmap, &out->rect);
    return true; // a source all outside its bitmap draws nothing
}

bool SourceFromDib(const BITMAPINFO* bmi, const void* bits, UINT usage, Source* out) {
    DibHeader h;
    if (!bits || !ReadDibHeaderOnly(bmi, &h)) return Invalid();
    size_t bitsSize = static_cast<size_t>(std::min<unsigned long long>(
        h.compression == BI_RGB || h.compression == BI_BITFIELDS ? DibBitsSize(h) : h.sizeImage,
        1ull << 31));
    Dib dib;
    if (!ReadDib(reinterpret_cast<const BYTE*>(bmi), DibInfoSize(h, usage),
                 static_cast<const BYTE*>(bits), bitsSize, usage, &dib))
        return false;
    auto img = std::make_shared<RasterImage>();
    img->surface = DibSurface(dib, &img->palette);
    if (!img->surface) return false;
    out->image = std::move(img);
    out->bpp = dib.bpp;
    out->colors = dib.colors;
    return true;
}

// Submits a raster call on hdc with the source (if any) and the selected
// brush where the operation reads the pattern.
// cover, when given, bounds the pixels the call may paint (device units).
BOOL Submit(DcState& dc, RasterSpec& spec, Source* src, bool wantsBrush,
            const Region* cover = nullptr) {
    bool empty = false;
    std::vector<RECTL> clip;
    if (cover) {
        auto in = EffectiveClip(dc.a);
        Region r = in ? in->Combine(*cover, RGN_AND) : *cover;
        if (r.Empty()) return TRUE;
        clip = r.Rects();
    } else {
        clip = ClipOf(dc, &empty);
        if (empty) return TRUE;
    }
    if (src) {
        if (!src->image) return TRUE;
        bool monoDest =
            dc.facts.gdiinfo.cBitsPixel == 1 && dc.facts.gdiinfo.ulTechnology == DT_RASDISPLAY;
        if (monoDest && src->bpp > 8) {
            src->image = ToMono(*src->image, src->bk);
            if (!src->image) return FALSE;
            src->bpp = 1;
            src->monoDdb = true;
            src->colors = {0x000000, 0xFFFFFF};
        }
        Translate(dc, src->bk, src->bpp, src->monoDdb, src->colors, &spec);
        spec.source = src->image;
        spec.src = src->rect;
    }
    if (wantsBrush) {
        DeviceColors colors(dc);
        if (!dc.a.brush || !MakeBrushSpec(dc, colors, dc.a.brush->brush, &spec.brushSpec))
            return TRUE; // a null brush paints nothing
        spec.brush = true;
        spec.brushOrg = POINTL{dc.a.brushOrg.x, dc.a.brushOrg.y};
    }
    return SubmitDrawing(dc.hdc, MakeRasterCall(spec, clip, dc.facts.devinfo.hpalDefault));
}

// Whether the page of hdc can be read back: a memory device context's bitmap
// can, a printer's page cannot (what lies under a call is unknown there).
bool PageReadable(HDC hdc) {
    return DcBitmap(hdc) != nullptr;
}

// The runs of set pixels in the rows of rectangle r of a one-bit bitmap, in
// pixels from r's corner.
std::vector<RECTL> MaskRuns(const BitmapData& mask, const RECTL& r) {
    std::vector<RECTL> runs;
    SURFOBJ* so = mask.surface ? EngLockSurface(mask.surface) : nullptr;
    if (!so) return runs;
    const LONG top = std::max(r.top, LONG{0}), bottom = std::min(r.bottom, mask.height);
    const LONG left = std::max(r.left, LONG{0}), right = std::min(r.right, mask.width);
    for (LONG y = top; y < bottom; ++y) {
        const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta;
        auto set = [row](LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
        for (LONG x = left; x < right;) {
            if (!set(x)) {
                ++x;
                continue;
            }
            LONG from = x;
            while (x < right && set(x))
                ++x;
            runs.push_back(RECTL{from - r.left, y - r.top, x - r.left, y + 1 - r.top});
        }
    }
    EngUnlockSurface(so);
    return runs;
}

// The device pixels that a source of w x h pixels mapped onto the
// parallelogram a, b (end of the first row), c (start of the last row)
// covers: all of it, or only the given runs of its pixels.
Region Cover(PointD a, PointD b, PointD c, LONG w, LONG h, const std::vector<RECTL>* runs) {
    if (w == 0 || h == 0) return Region{};
    auto at = [&](double u, double v) {
        u /= w, v /= h;
        return PointD{a.x + (b.x - a.x) * u + (c.x - a.x) * v,
                      a.y + (b.y - a.y) * u + (c.y - a.y) * v};
    };
    std::vector<std::vector<PointD>> polygons;
    if (!runs) {
        polygons.push_back({at(0, 0), at(w, 0), at(w, h), at(0, h)});
    } else {
        for (const RECTL& r : *runs)
            polygons.push_back({at(r.left, r.top), at(r.right, r.top), at(r.right, r.bottom),
                                at(r.left, r.bottom)});
    }
    return Region::FromPolygons(polygons, ALTERNATE);
}

PointD Corner(const POINTFIX& p) {
    return PointD{p.x / 16.0, p.y / 16.0};
}

// A copy under a mapping that turns its rectangle: the parallelogram the
// rectangle maps onto takes the source, as PlgBlt draws it. Other operations
// cannot be turned and fail.
BOOL TurnedCopy(DcState& dc, int x, int y, int w, int h, ULONG rop4, Source* src) {
    if (rop4 != 0xCCCC || !src) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    RasterSpec spec;
    spec.kind = RasterKind::Parallelogram;
    Affine m = LogicalToDevice(dc.a);
    const PointD corners[3] = {m.Apply(PointD{double(x), double(y)}),
                               m.Apply(PointD{double(x) + w, double(y)}),
                               m.Apply(PointD{double(x), double(y) + h})};
    for (int i = 0; i < 3; ++i)
        spec.corners[i] = POINTFIX{Round(corners[i].x * 16), Round(corners[i].y * 16)};
    if (PageReadable(dc.hdc)) return Submit(dc, spec, src, false);
    // On a page that cannot be read back only the parallelogram is painted.
    const LONG sw = src->rect.right - src->rect.left, sh = src->rect.bottom - src->rect.top;
    Region cover = Cover(corners[0], corners[1], corners[2], sw, sh, nullptr);
    return Submit(dc, spec, src, false, &cover);
}

// A masked blit onto a page that cannot be read back: the foreground
// operation where the mask is set and the background one elsewhere, each a
// plain blit bounded by its part of the mask (the destination's part left
// as it is, raster operation 0xAA, is not sent at all).
BOOL MaskedOnPage(DcState& dc, const RasterSpec& spec, const BitmapData& mask, int xm, int ym,
                  int ws, int hs, Source* src) {
    const LONG w = std::abs(ws), h = std::abs(hs);
    const std::vector<RECTL> runs = MaskRuns(mask, RECTL{xm, ym, Sum(xm, w), Sum(ym, h)});
    const PointD a{double(spec.dst.left), double(spec.dst.top)},
        b{double(spec.dst.right), double(spec.dst.top)},
        c{double(spec.dst.left), double(spec.dst.bottom)};
    const Region set = Cover(a, b, c, w, h, &runs);
    const Region clear = Cover(a, b, c, w, h, nullptr).Combine(set, RGN_DIFF);
    const ULONG kLeaveDestination = 0xAA;
    BOOL ok = TRUE;
    for (auto [rop3, part] :
         {std::pair{spec.rop4 & 0xFF, &set}, std::pair{(spec.rop4 >> 8) & 0xFF, &clear}}) {
        if (rop3 == kLeaveDestination || part->Empty()) continue;
        RasterSpec one = spec;
        one.rop4 = rop3 | rop3 << 8;
        Source copy = src ? *src : Source{};
        if (!Submit(dc, one, UsesSource(rop3) && src ? &copy : nullptr, UsesPattern(rop3), part))
            ok = FALSE;
    }
    return ok;
}

BOOL Blit(HDC hdc, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws, int hs,
          ULONG rop4, int stretchMode, HBITMAP mask, int xm, int ym) {
    ULONG fore = rop4 & 0xFF, back = (rop4 >> 8) & 0xFF;
    bool source = UsesSource(fore) || UsesSource(back);
    Source src;
    if (source && !SourceFromDc(hdcSrc, xs, ys, ws, hs, &src)) return FALSE;
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    RasterSpec spec;
    if (!DeviceRect(*dc, x, y, w, h, &spec.dst))
        return TurnedCopy(*dc, x, y, w, h, rop4, source && rop4 == 0xCCCC ? &src : nullptr);
    spec.rop4 = rop4;
    spec.stretchMode = static_cast<ULONG>(stretchMode ? stretchMode : dc->a.stretchMode);
    if (fore != back) {
        auto m = FindObject(mask, ObjectKind::Bitmap);
        if (!m || m->bitmap->bpp != 1) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!PageReadable(hdc))
            return MaskedOnPage(*dc, spec, *m->bitmap, xm, ym, ws, hs, source ? &src : nullptr);
        RECTL mr{xm, ym, Sum(xm, std::llabs(ws)), Sum(ym, std::llabs(hs))};
        auto img = CopyPart(*m->bitmap, &mr);
        if (!img) return TRUE;
        spec.mask = img;
        // The mask pixel under the source rectangle's top left.
        spec.maskOrg = POINTL{mr.left, mr.top};
    }
    return Submit(*dc, spec, source ? &src : nullptr, UsesPattern(fore) || UsesPattern(back));
}

// Fills a device-unit rectangle with a brush under a ternary operation.
BOOL FillDeviceRect(DcState& dc, const RECTL& r, const BrushData* brush, ULONG rop3) {
    RasterSpec spec;
    spec.dst = r;
    spec.rop4 = rop3 | rop3 << 8;
    if (!brush || !UsesPattern(rop3)) return Submit(dc, spec, nullptr, UsesPattern(rop3));
    bool empty = false;
    std::vector<RECTL> clip = ClipOf(dc, &empty);
    if (empty) return TRUE;
    DeviceColors colors(dc);
    if (!MakeBrushSpec(dc, colors, *brush, &spec.brushSpec)) return TRUE;
    spec.brush = true;
    spec.brushOrg = POINTL{dc.a.brushOrg.x, dc.a.brushOrg.y};
    return SubmitDrawing(dc.hdc, MakeRasterCall(spec, clip, dc.facts.devinfo.hpalDefault));
}

bool LogicalToDeviceRect(const DcState& dc, const RECT& r, RECTL* out) {
    if (!DeviceRect(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, out)) return false;
    *out = RECTL{std::min(out->left, out->right), std::min(out->top, out->bottom),
                 std::max(out->left, out->right), std::max(out->top, out->bottom)};
    return true;
}

// A blend onto a page that cannot be read back: the source is blended over
// paper white at its own size in a bitmap, and that is laid on the page with
// AND, so that what the blend covers still shows through it (exact over
// paper, darker than a true blend over ink).
BOOL BlendOnPaper(HDC hdcDest, int x, int y, int w, int h, HDC hdcSrc, int xs, int ys, int ws,
                  int hs, BLENDFUNCTION ftn) {
    if (w == 0 || h == 0 || ws == 0 || hs == 0) return TRUE;
    HDC paper = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = ws;
    info.bmiHeader.biHeight = -hs; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bits =
        paper ? CreateDIBSection(paper, &info, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    HGDIOBJ old = bits ? SelectObject(paper, bits) : nullptr;
    BOOL ok = old && PatBlt(paper, 0, 0, ws, hs, WHITENESS) &&
              AlphaBlend(paper, 0, 0, ws, hs, hdcSrc, xs, ys, ws, hs, ftn) &&
              StretchBlt(hdcDest, x, y, w, h, paper, 0, 0, ws, hs, SRCAND);
    DWORD error = GetLastError();
    if (old) SelectObject(paper, old);
    if (bits) DeleteObject(bits);
    if (paper) DeleteDC(paper);
    SetLastError(error);
    return ok;
}

} // namespace
} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    ULONG rop3 = Rop3Of(rop);
    return Blit(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop3 | rop3 << 8, COLORONCOLOR, nullptr,
                0, 0);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    ULONG rop3 = Rop3Of(rop);
    return Blit(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc,
                rop3 | rop3 << 8, 0, nullptr, 0, 0);
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    ULONG rop3 = Rop3Of(rop);
    if (UsesSource(rop3)) return Invalid();
    return Blit(hdc, x, y, w, h, nullptr, 0, 0, w, h, rop3 | rop3 << 8, COLORONCOLOR, nullptr, 0,
                0);
}

BOOL WINAPI MaskBlt(HDC hdcDest, int xDest, int yDest, int width, int height, HDC hdcSrc, int xSrc,
                    int ySrc, HBITMAP hbmMask, int xMask, int yMask, DWORD rop) {
    ULONG fore = (rop >> 16) & 0xFF, back = (rop >> 24) & 0xFF;
    if (!hbmMask) back = fore;
    return Blit(hdcDest, xDest, yDest, width, height, hdcSrc, xSrc, ySrc, width, height,
                fore | back << 8, COLORONCOLOR, hbmMask, xMask, yMask);
}

BOOL WINAPI PlgBlt(HDC hdcDest, const POINT* lpPoint, HDC hdcSrc, int xSrc, int ySrc, int width,
                   int height, HBITMAP hbmMask, int xMask, int yMask) {
    if (!lpPoint) return Invalid();
    Source src;
    if (!SourceFromDc(hdcSrc, xSrc, ySrc, width, height, &src)) return FALSE;
    DcAccess dc(hdcDest);
    if (!dc) return FALSE;
    RasterSpec spec;
    spec.kind = RasterKind::Parallelogram;
    std::vector<RECTL> runs;
    Affine m = LogicalToDevice(dc->a);
    for (int i = 0; i < 3; ++i) {
        PointD p = m.Apply(PointD{double(lpPoint[i].x), double(lpPoint[i].y)});
        spec.corners[i] = POINTFIX{Round(p.x * 16), Round(p.y * 16)};
    }
    if (hbmMask) {
        auto mk = FindObject(hbmMask, ObjectKind::Bitmap);
        if (!mk || mk->bitmap->bpp != 1) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        RECTL mr{xMask, yMask, Sum(xMask, width), Sum(yMask, height)};
        spec.mask = CopyPart(*mk->bitmap, &mr);
        spec.maskOrg = POINTL{mr.left, mr.top};
        if (!PageReadable(hdcDest)) runs = MaskRuns(*mk->bitmap, mr);
    }
    if (PageReadable(hdcDest)) return Submit(*dc, spec, &src, false);
    // On a page that cannot be read back only the parallelogram (where the
    // mask is set) is painted.
    Region cover = Cover(Corner(spec.corners[0]), Corner(spec.corners[1]), Corner(spec.corners[2]),
                         std::abs(width), std::abs(height), hbmMask ? &runs : nullptr);
    return Submit(*dc, spec, &src, false, &cover);
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const VOID* lpBits,
                         const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) {
    ULONG rop3 = Rop3Of(rop);
    Source src;
    if (UsesSource(rop3)) {
        if (!SourceFromDib(lpbmi, lpBits, iUsage, &src)) return 0;
        // Source coordinates count from the bitmap's bottom left in a
        // bottom-up DIB.
        DibHeader h;
        ReadDibHeaderOnly(lpbmi, &h);
        LONG height = h.height < 0 ? -h.height : h.height;
        LONG top =
            h.height > 0 && h.compression != BI_JPEG && h.compression != BI_PNG
                ? Sum(height, -static_cast<long long>(ySrc), -static_cast<long long>(SrcHeight))
                : ySrc;
        src.rect = RECTL{xSrc, top, Sum(xSrc, SrcWidth), Sum(top, SrcHeight)};
    }
    DcAccess dc(hdc);
    if (!dc) return 0;
    RasterSpec spec;
    if (!DeviceRect(*dc, xDest, yDest, DestWidth, DestHeight, &spec.dst))
        return TurnedCopy(*dc, xDest, yDest, DestWidth, DestHeight, rop3 | rop3 << 8,
                          UsesSource(rop3) ? &src : nullptr)
                   ? std::abs(SrcHeight)
                   : 0;
    spec.rop4 = rop3 | rop3 << 8;
    spec.stretchMode = static_cast<ULONG>(dc->a.stretchMode);
    BOOL ok = Submit(*dc, spec, UsesSource(rop3) ? &src : nullptr, UsesPattern(rop3));
    return ok ? std::abs(SrcHeight) : 0;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                             UINT StartScan, UINT cLines, const VOID* lpvBits,
                             const BITMAPINFO* lpbmi, UINT ColorUse) {
    DibHeader hd;
    if (!ReadDibHeaderOnly(lpbmi, &hd) || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return Invalid();
    Source src;
    if (!SourceFromDib(lpbmi, lpvBits, ColorUse, &src)) return 0;
    (void)StartScan;
    (void)cLines;
    LONG height = hd.height < 0 ? -hd.height : hd.height;
    LONG top = hd.height > 0
                   ? Sum(height, -static_cast<long long>(ySrc), -static_cast<long long>(h))
                   : ySrc;
    src.rect = RECTL{xSrc, top, Sum(xSrc, w), Sum(top, h)};
    DcAccess dc(hdc);
    if (!dc) return 0;
    RasterSpec spec;
    // Device-unit extents: the origin alone is mapped.
    PointD o = LogicalToDevice(dc->a).Apply(PointD{double(xDest), double(yDest)});
    spec.dst = RECTL{Round(o.x), Round(o.y), Sum(Round(o.x), w), Sum(Round(o.y), h)};
    return Submit(*dc, spec, &src, false) ? static_cast<int>(h) : 0;
}

BOOL WINAPI TransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest,
                           HDC hdcSrc, int xoriginSrc, int yoriginSrc, int wSrc, int hSrc,
                           UINT crTransparent) {
    if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0) return Invalid();
    Source src;
    if (!SourceFromDc(hdcSrc, xoriginSrc, yoriginSrc, wSrc, hSrc, &src)) return FALSE;
    DcAccess dc(hdcDest);
    if (!dc) return FALSE;
    RasterSpec spec;
    spec.kind = RasterKind::Transparent;
    if (!DeviceRect(*dc, xoriginDest, yoriginDest, wDest, hDest, &spec.dst)) return Invalid();
    // The key is the source pixel whose colour is crTransparent.
    spec.transparentColor =
        src.image ? platform::engine::PixelOfColor(src.image->surface, crTransparent) : 0;
    return Submit(*dc, spec, &src, false);
}

BOOL WINAPI AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest,
                       HDC hdcSrc, int xoriginSrc, int yoriginSrc, int wSrc, int hSrc,
                       BLENDFUNCTION ftn) {
    if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0 || ftn.BlendOp != AC_SRC_OVER)
        return Invalid();
    if (!PageReadable(hdcDest))
        return BlendOnPaper(hdcDest, xoriginDest, yoriginDest, wDest, hDest, hdcSrc, xoriginSrc,
                            yoriginSrc, wSrc, hSrc, ftn);
    Source src;
    if (!SourceFromDc(hdcSrc, xoriginSrc, yoriginSrc, wSrc, hSrc, &src)) return FALSE;
    DcAccess dc(hdcDest);
    if (!dc) return FALSE;
    RasterSpec spec;
    spec.kind = RasterKind::Alpha;
    spec.blend = ftn;
    if (!DeviceRect(*dc, xoriginDest, yoriginDest, wDest, hDest, &spec.dst)) return Invalid();
    return Submit(*dc, spec, &src, false);
}

BOOL WINAPI GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh,
                         ULONG ulMode) {
    if (!pVertex || !pMesh || nVertex == 0 || ulMode > GRADIENT_FILL_TRIANGLE ||
        nVertex > 0x100000 || nMesh > 0x100000)
        return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    RasterSpec spec;
    spec.kind = RasterKind::Gradient;
    spec.gradientMode = ulMode;
    Affine m = LogicalToDevice(dc->a);
    for (ULONG i = 0; i < nVertex; ++i) {
        TRIVERTEX v = pVertex[i];
        PointD p = m.Apply(PointD{double(v.x), double(v.y)});
        v.x = Round(p.x), v.y = Round(p.y);
        spec.vertices.push_back(v);
    }
    ULONG per = ulMode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    const auto* mesh = static_cast<const ULONG*>(pMesh);
    spec.mesh.assign(mesh, mesh + static_cast<size_t>(nMesh) * per);
    return Submit(*dc, spec, nullptr, false);
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    auto brush = FindObject(hbr, ObjectKind::Brush);
    if (!lprc || !brush) {
        SetLastError(brush ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    DcAccess dc(hDC);
    if (!dc) return 0;
    RECTL r;
    if (!LogicalToDeviceRect(*dc, *lprc, &r)) return Invalid();
    return FillDeviceRect(*dc, r, &brush->brush, 0xF0);
}

int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    auto brush = FindObject(hbr, ObjectKind::Brush);
    if (!lprc || !brush) {
        SetLastError(brush ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    DcAccess dc(hDC);
    if (!dc) return 0;
    RECTL r;
    if (!LogicalToDeviceRect(*dc, *lprc, &r)) return Invalid();
    if (r.right <= r.left || r.bottom <= r.top) return TRUE;
    // One device pixel wide on every side.
    RECTL sides[4] = {{r.left, r.top, r.right, r.top + 1},
                      {r.left, r.bottom - 1, r.right, r.bottom},
                      {r.left, r.top + 1, r.left + 1, r.bottom - 1},
                      {r.right - 1, r.top + 1, r.right, r.bottom - 1}};
    BOOL ok = TRUE;
    for (const RECTL& s : sides)
        if (s.right > s.left && s.bottom > s.top)
            ok = FillDeviceRect(*dc, s, &brush->brush, 0xF0) && ok;
    return ok;
}

BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc) {
    if (!lprc) return Invalid();
    DcAccess dc(hDC);
    if (!dc) return FALSE;
    RECTL r;
    if (!LogicalToDeviceRect(*dc, *lprc, &r)) return Invalid();
    return FillDeviceRect(*dc, r, nullptr, 0x55);
}

BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
    if (!qrc) return Invalid();
    // The three-dimensional colours: light, highlight, shadow, dark shadow, face.
    constexpr COLORREF kLight = 0xE3E3E3, kHighlight = 0xFFFFFF, kShadow = 0xA0A0A0,
                       kDark = 0x696969, kFace = 0xF0F0F0;
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    RECTL r;
    if (!LogicalToDeviceRect(*dc, *qrc, &r)) return Invalid();
    BOOL ok = TRUE;
    auto band = [&](COLORREF topLeft, COLORREF bottomRight) {
        BrushData tl{BS_SOLID, topLeft}, br{BS_SOLID, bottomRight};
        if (grfFlags & BF_TOP)
            ok = FillDeviceRect(*dc, {r.left, r.top, r.right, r.top + 1}, &tl, 0xF0) && ok;
        if (grfFlags & BF_LEFT)
            ok = FillDeviceRect(*dc, {r.left, r.top, r.left + 1, r.bottom}, &tl, 0xF0) && ok;
        if (grfFlags & BF_BOTTOM)
            ok = FillDeviceRect(*dc, {r.left, r.bottom - 1, r.right, r.bottom}, &br, 0xF0) && ok;
        if (grfFlags & BF_RIGHT)
            ok = FillDeviceRect(*dc, {r.right - 1, r.top, r.right, r.bottom}, &br, 0xF0) && ok;
        if (grfFlags & BF_LEFT) ++r.left;
        if (grfFlags & BF_TOP) ++r.top;
        if (grfFlags & BF_RIGHT) --r.right;
        if (grfFlags & BF_BOTTOM) --r.bottom;
    };
    if (edge & BDR_RAISEDOUTER)
        band(kLight, kDark);
    else if (edge & BDR_SUNKENOUTER)
        band(kShadow, kHighlight);
    if (edge & BDR_RAISEDINNER)
        band(kHighlight, kShadow);
    else if (edge & BDR_SUNKENINNER)
        band(kDark, kLight);
    if ((grfFlags & BF_MIDDLE) && r.right > r.left && r.bottom > r.top) {
        BrushData face{BS_SOLID, kFace};
        ok = FillDeviceRect(*dc, r, &face, 0xF0) && ok;
    }
    if (grfFlags & BF_ADJUST) {
        Affine back;
        if (LogicalToDevice(dc->a).Invert(&back)) {
            PointD a = back.Apply(PointD{double(r.left), double(r.top)});
            PointD b = back.Apply(PointD{double(r.right), double(r.bottom)});
            *qrc = RECT{Round(a.x), Round(a.y), Round(b.x), Round(b.y)};
        }
    }
    return ok;
}
}
