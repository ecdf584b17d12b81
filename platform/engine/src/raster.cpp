// Rows of packed pixels under raster operations, the colours of surfaces,
// brushes realized for the engine's own drawing and clip rectangles.
#include "raster.h"

#include <algorithm>
#include <cstring>

#include "platform/engine_objects.h"

namespace platform::engine {
namespace {

// The sixteen colours of a four-bit surface without a palette of its own.
constexpr ULONG kVgaColors[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                  0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                  0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

ULONG SwapRedBlue(ULONG c) {
    return (c & 0xFF00) | ((c & 0xFF) << 16) | ((c >> 16) & 0xFF);
}
ULONG FieldValue(ULONG pixel, ULONG mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    ULONG max = mask >> shift;
    return ((pixel & mask) >> shift) * 255 / max;
}
ULONG FieldPixel(ULONG value, ULONG mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    ULONG max = mask >> shift;
    return ((value * max + 127) / 255 << shift) & mask;
}

// Every one of the n bytes of a row: the combination under one code, the
// operands taken eight bytes at a time.
template <class Op>
void RunBytes(BYTE* d, const BYTE* s, const BYTE* p, const BYTE* m, size_t n, Op op,
              ULONG backRop) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t dv, sv, pv;
        std::memcpy(&dv, d + i, 8);
        std::memcpy(&sv, s + i, 8);
        std::memcpy(&pv, p + i, 8);
        uint64_t r = op(pv, sv, dv);
        if (m) {
            uint64_t mv;
            std::memcpy(&mv, m + i, 8);
            r = (r & mv) | (ApplyRop3<uint64_t>(backRop, pv, sv, dv) & ~mv);
        }
        std::memcpy(d + i, &r, 8);
    }
    for (; i < n; ++i) {
        BYTE r = static_cast<BYTE>(op(p[i], s[i], d[i]));
        if (m)
            r = static_cast<BYTE>((r & m[i]) |
                                  (ApplyRop3<BYTE>(backRop, p[i], s[i], d[i]) & ~m[i]));
        d[i] = r;
    }
}

} // namespace

ULONG Rop3OfMix(ULONG r2) {
    // R2 code r: bit (P * 2 + D) of r - 1 is the result.
    ULONG f = ((r2 & 0xFF) - 1) & 0x0F;
    ULONG rop3 = 0;
    for (ULONG i = 0; i < 8; ++i) {
        ULONG pd = ((i >> 2) & 1) * 2 + (i & 1);
        rop3 |= ((f >> pd) & 1) << i;
    }
    return rop3;
}

ULONG ColorModel::ToRgb(ULONG pixel) const {
    switch (mode) {
    case PAL_INDEXED:
        return pixel < colors.size() ? colors[pixel] & 0xFFFFFF : 0;
    case PAL_BITFIELDS:
        return FieldValue(pixel, masks[0]) | FieldValue(pixel, masks[1]) << 8 |
               FieldValue(pixel, masks[2]) << 16;
    case PAL_RGB:
        return pixel & 0xFFFFFF;
    default:
        return SwapRedBlue(pixel & 0xFFFFFF);
    }
}

ULONG ColorModel::FromRgb(ULONG rgb) const {
    switch (mode) {
    case PAL_INDEXED: {
        ULONG best = 0;
        long bestD = -1;
        for (size_t i = 0; i < colors.size(); ++i) {
            long dr = static_cast<long>(colors[i] & 0xFF) - static_cast<long>(rgb & 0xFF);
            long dg =
                static_cast<long>((colors[i] >> 8) & 0xFF) - static_cast<long>((rgb >> 8) & 0xFF);
            long db =
                static_cast<long>((colors[i] >> 16) & 0xFF) - static_cast<long>((rgb >> 16) & 0xFF);
            long d = dr * dr + dg * dg + db * db;
            if (bestD < 0 || d < bestD) bestD = d, best = static_cast<ULONG>(i);
        }
        return best;
    }
    case PAL_BITFIELDS:
        return FieldPixel(rgb & 0xFF, masks[0]) | FieldPixel((rgb >> 8) & 0xFF, masks[1]) |
               FieldPixel((rgb >> 16) & 0xFF, masks[2]);
    case PAL_RGB:
        return rgb & 0xFFFFFF;
    default:
        return SwapRedBlue(rgb & 0xFFFFFF);
    }
}

ColorModel DefaultModel(ULONG bpp) {
    ColorModel m;
    m.bpp = bpp;
    switch (bpp) {
    case 1:
        m.mode = PAL_INDEXED;
        m.colors = {0x000000, 0xFFFFFF};
        break;
    case 4:
        m.mode = PAL_INDEXED;
        m.colors.assign(std::begin(kVgaColors), std::end(kVgaColors));
        break;
    case 8:
        // Three bits of red and green, two of blue.
        m.mode = PAL_INDEXED;
        for (ULONG i = 0; i < 256; ++i)
            m.colors.push_back(((i >> 5) * 255 / 7) | ((i >> 2) & 7) * 255 / 7 << 8 |
                               (i & 3) * 255 / 3 << 16);
        break;
    case 16:
        m.mode = PAL_BITFIELDS;
        break;
    default:
        m.mode = PAL_BGR;
        break;
    }
    return m;
}

ColorModel ModelOfSurface(SURFOBJ* pso) {
    std::lock_guard lock(EngineLock());
    Surface* s = SurfaceFromObjLocked(pso);
    ULONG bpp = BitsPerPixel(pso ? pso->iBitmapFormat : 0);
    ColorModel m = DefaultModel(bpp);
    if (s && s->hasPalette) {
        m.mode = s->palMode;
        m.colors = s->palColors;
        if (s->palMode == PAL_BITFIELDS) std::copy(s->palMasks, s->palMasks + 3, m.masks);
    }
    return m;
}

bool SetSurfacePalette(HSURF hsurf, HPALETTE hpal) {
    std::lock_guard lock(EngineLock());
    Surface* s = FindSurfaceLocked(hsurf);
    Palette* p = FindPaletteLocked(hpal);
    if (!s || !p) return false;
    s->hasPalette = true;
    s->palMode = p->iMode;
    s->palColors = p->colors;
    s->palMasks[0] = p->flRed, s->palMasks[1] = p->flGreen, s->palMasks[2] = p->flBlue;
    return true;
}

ULONG PixelOfColor(HSURF hsurf, ULONG rgb) {
    SURFOBJ* so = EngLockSurface(hsurf);
    if (!so) return 0;
    ULONG v = ModelOfSurface(so).FromRgb(rgb & 0xFFFFFF);
    EngUnlockSurface(so);
    return v;
}

RowSpan MakeSpan(ULONG bpp, LONG x0, LONG x1) {
    RowSpan s;
    s.x0 = x0, s.x1 = x1;
    unsigned long long b0 = static_cast<unsigned long long>(x0) * bpp;
    unsigned long long b1 = static_cast<unsigned long long>(x1) * bpp; // exclusive bit
    s.firstByte = static_cast<size_t>(b0 / 8);
    size_t lastByte = static_cast<size_t>((b1 - 1) / 8);
    s.bytes = lastByte - s.firstByte + 1;
    s.headMask = static_cast<BYTE>(0xFF >> (b0 % 8));
    unsigned tailBits = static_cast<unsigned>(b1 % 8);
    s.tailMask = tailBits ? static_cast<BYTE>(0xFF << (8 - tailBits)) : BYTE{0xFF};
    return s;
}

void CombineRow(BYTE* dstRow, const RowSpan& s, const BYTE* src, const BYTE* pat, const BYTE* mask,
                ULONG rop4) {
    if (s.x1 <= s.x0) return;
    BYTE* d = dstRow + s.firstByte;
    ULONG fore = Rop4Fore(rop4), back = Rop4Back(rop4);
    if (!mask || fore == back) {
        mask = nullptr;
        if (fore == 0xAA) return;
    }
    BYTE first = d[0], last = d[s.bytes - 1];
    const BYTE* sv = src ? src : d;
    const BYTE* pv = pat ? pat : d;
    size_t n = s.bytes;
    if (!mask && fore == 0xCC) {
        std::memmove(d, sv, n);
    } else if (!mask && fore == 0xF0) {
        std::memcpy(d, pv, n);
    } else if (!mask && (fore == 0x00 || fore == 0xFF)) {
        std::memset(d, fore ? 0xFF : 0x00, n);
    } else {
        switch (fore) {
        case 0x55:
            RunBytes(
                d, sv, pv, mask, n, [](auto, auto, auto dd) { return ~dd; }, back);
            break;
        case 0x5A:
            RunBytes(
                d, sv, pv, mask, n, [](auto pp, auto, auto dd) { return pp ^ dd; }, back);
            break;
        case 0x66:
            RunBytes(
                d, sv, pv, mask, n, [](auto, auto ss, auto dd) { return ss ^ dd; }, back);
            break;
        case 0x88:
            RunBytes(
                d, sv, pv, mask, n, [](auto, auto ss, auto dd) { return ss & dd; }, back);
            break;
        case 0xEE:
            RunBytes(
                d, sv, pv, mask, n, [](auto, auto ss, auto dd) { return ss | dd; }, back);
            break;
        case 0xCC:
            RunBytes(
                d, sv, pv, mask, n, [](auto, auto ss, auto) { return ss; }, back);
            break;
        case 0xF0:
            RunBytes(
                d, sv, pv, mask, n, [](auto pp, auto, auto) { return pp; }, back);
            break;
        default:
            RunBytes(
                d, sv, pv, mask, n,
                [fore](auto pp, auto ss, auto dd) {
                    return ApplyRop3<decltype(pp)>(fore, pp, ss, dd);
                },
                back);
            break;
        }
    }
    // Pixels of the first and last byte outside the span keep their bits.
    BYTE head = s.headMask, tail = s.tailMask;
    if (s.bytes == 1) head &= tail;
    d[0] = static_cast<BYTE>((d[0] & head) | (first & ~head));
    if (s.bytes > 1) d[s.bytes - 1] = static_cast<BYTE>((d[s.bytes - 1] & tail) | (last & ~tail));
}

bool RealizeForEngine(BRUSHOBJ* pbo, POINTL* origin, ULONG dstBpp, EngineBrush* out) {
    *out = EngineBrush{};
    if (origin) out->origin = *origin;
    if (!pbo) return true; // no brush: operations without a pattern
    if (pbo->iSolidColor != 0xFFFFFFFF) {
        out->color = pbo->iSolidColor;
        return true;
    }
    HSURF pattern = nullptr;
    XLATEOBJ* xlate = nullptr;
    bool hatch = false;
    if (!BrushPatternOf(pbo, &pattern, &xlate, &hatch)) return false;
    SURFOBJ* so = EngLockSurface(pattern);
    if (!so) return false;
    out->solid = false;
    out->cx = so->sizlBitmap.cx, out->cy = so->sizlBitmap.cy;
    out->pixels.resize(static_cast<size_t>(out->cx) * static_cast<size_t>(out->cy));
    if (hatch) out->lines.resize(out->pixels.size());
    ULONG bpp = BitsPerPixel(so->iBitmapFormat);
    ULONG keep = dstBpp >= 32 ? 0xFFFFFFFF : (1u << dstBpp) - 1;
    for (LONG y = 0; y < out->cy; ++y) {
        const BYTE* row = RowOf(so, y);
        for (LONG x = 0; x < out->cx; ++x) {
            ULONG v = GetPixel(row, x, bpp);
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(out->cx) + x;
            if (hatch) out->lines[at] = v == 0;
            if (xlate) v = XLATEOBJ_iXlate(xlate, v);
            out->pixels[at] = v & keep;
        }
    }
    EngUnlockSurface(so);
    return true;
}

void PatternRow(const EngineBrush& b, ULONG bpp, const RowSpan& s, LONG y, BYTE* out) {
    if (b.solid) {
        for (LONG x = s.x0; x < s.x1; ++x)
            PutSpanPixel(out, s, bpp, x, b.color);
        return;
    }
    auto mod = [](LONG v, LONG m) { return ((v % m) + m) % m; };
    const ULONG* row = b.pixels.data() + static_cast<size_t>(mod(y - b.origin.y, b.cy)) * b.cx;
    LONG px = mod(s.x0 - b.origin.x, b.cx);
    for (LONG x = s.x0; x < s.x1; ++x) {
        PutSpanPixel(out, s, bpp, x, row[px]);
        if (++px == b.cx) px = 0;
    }
}

void HatchMaskRow(const EngineBrush& b, ULONG bpp, const RowSpan& s, LONG y, BYTE* out) {
    const ULONG all = bpp >= 32 ? 0xFFFFFFFF : (1u << bpp) - 1;
    auto mod = [](LONG v, LONG m) { return ((v % m) + m) % m; };
    const BYTE* row = b.lines.data() + static_cast<size_t>(mod(y - b.origin.y, b.cy)) * b.cx;
    LONG px = mod(s.x0 - b.origin.x, b.cx);
    for (LONG x = s.x0; x < s.x1; ++x) {
        PutSpanPixel(out, s, bpp, x, row[px] ? all : 0);
        if (++px == b.cx) px = 0;
    }
}

std::vector<RECTL> ClipRects(CLIPOBJ* pco, const RECTL& bounds) {
    auto cut = [](const RECTL& a, const RECTL& b) {
        return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    };
    auto empty = [](const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; };
    std::vector<RECTL> out;
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        if (!empty(bounds)) out.push_back(bounds);
        return out;
    }
    if (pco->iDComplexity == DC_RECT) {
        RECTL r = cut(pco->rclBounds, bounds);
        if (!empty(r)) out.push_back(r);
        return out;
    }
    {
        std::lock_guard lock(EngineLock());
        if (Clip* clip = FindLocked<Clip>(pco)) {
            for (const RECTL& c : clip->rects) {
                RECTL r = cut(c, bounds);
                if (!empty(r)) out.push_back(r);
            }
            return out;
        }
    }
    // A clip object that a driver made itself: its own enumeration.
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    struct {
        ULONG c;
        RECTL arcl[16];
    } batch;
    BOOL more;
    do {
        more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
        for (ULONG i = 0; i < batch.c && i < 16; ++i) {
            RECTL r = cut(batch.arcl[i], bounds);
            if (!empty(r)) out.push_back(r);
        }
    } while (more);
    return out;
}

} // namespace platform::engine
