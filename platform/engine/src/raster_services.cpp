// The engine's drawing services: blits under ternary and quaternary raster
// operations, stretches in the four modes, transparent and alpha blits,
// gradients, and paths filled and stroked. An engine bitmap is drawn here; a
// device surface gets the engine's rendering through its driver.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core.h"
#include "platform/engine_device.h"
#include "platform/engine_objects.h"
#include "raster.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

// A cosmetic line's style unit in pixels.
constexpr double kCosmeticStyleUnit = 3;
// Largest number of source pixels a halftoning stretch averages per axis.
constexpr LONG kMaxAverage = 4;
// The 8 x 8 ordered threshold matrix of halftoning (values 0..63).
constexpr BYTE kBayer8[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool IsBitmap(SURFOBJ* so) {
    return so && so->iType == STYPE_BITMAP && so->pvScan0 && BitsPerPixel(so->iBitmapFormat);
}

bool Known(SURFOBJ* so) {
    std::lock_guard lock(EngineLock());
    return so && SurfaceFromObjLocked(so);
}

RECTL Ordered(const RECTL& r) {
    return RECTL{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}

RECTL Cut(const RECTL& a, const RECTL& b) {
    return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

bool Empty(const RECTL& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

RECTL SurfaceRect(SURFOBJ* so) {
    return RECTL{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
}

// Translation of source pixels to the destination's: by table, trivially, or
// through the translation's own function.
struct Xlator {
    XLATEOBJ* xo = nullptr;
    const ULONG* table = nullptr;
    ULONG count = 0;
    explicit Xlator(XLATEOBJ* x) : xo(x) {
        if (x && (x->flXlate & XO_TABLE) && x->pulXlate) table = x->pulXlate, count = x->cEntries;
        if (x && (x->flXlate & XO_TRIVIAL)) xo = nullptr;
    }
    bool Trivial() const { return !xo; }
    ULONG operator()(ULONG v) const {
        if (!xo) return v;
        if (table) return v < count ? table[v] : 0;
        return XLATEOBJ_iXlate(xo, v);
    }
};

// The clip rectangles of a call in bands, with the rectangles of one row
// found by a search over the bands.
class BandedClip {
  public:
    BandedClip(CLIPOBJ* pco, const RECTL& bounds) {
        std::vector<RECTL> r = ClipRects(pco, bounds);
        rects_ = NormalizeRegion(r.data(), r.size());
    }
    const std::vector<RECTL>& Rects() const { return rects_; }
    template <class F> void ForSpan(LONG y, LONG x0, LONG x1, F&& f) const {
        auto it = std::upper_bound(rects_.begin(), rects_.end(), y,
                                   [](LONG v, const RECTL& r) { return v < r.bottom; });
        for (; it != rects_.end() && it->top <= y; ++it) {
            LONG a = std::max(x0, it->left), b = std::min(x1, it->right);
            if (a < b) f(a, b);
        }
    }

  private:
    std::vector<RECTL> rects_;
};

// Drawing onto a device surface through a bitmap: the engine renders the
// bounds into a bitmap of the device's format and hands it to the driver's
// DrvCopyBits, clipped to region. An operation that reads the destination
// first reads the device's pixels back through DrvCopyBits from the device
// surface, as a driver that keeps its page can answer. FALSE
// (ERROR_NOT_SUPPORTED) when the driver has no DrvCopyBits.
template <class Render>
BOOL ThroughBitmap(SURFOBJ* dev, const RECTL& bounds, CLIPOBJ* region, bool readBack,
                   Render&& render) {
    FLONG hooks = 0;
    {
        std::lock_guard lock(EngineLock());
        if (Surface* s = SurfaceFromObjLocked(dev)) hooks = s->hooks;
    }
    auto copy = reinterpret_cast<PFN_DrvCopyBits>(DeviceFunction(dev->hdev, INDEX_DrvCopyBits));
    if (!copy || !(hooks & HOOK_COPYBITS)) return Fail(ERROR_NOT_SUPPORTED);
    SIZEL size{bounds.right - bounds.left, bounds.bottom - bounds.top};
    if (size.cx <= 0 || size.cy <= 0) return TRUE;
    HSURF temp = CreateBitmapSurface(size, 0, dev->iBitmapFormat, BMF_TOPDOWN, nullptr);
    SURFOBJ* tso = temp ? EngLockSurface(temp) : nullptr;
    BOOL ok = FALSE;
    if (tso) {
        RECTL all{0, 0, size.cx, size.cy};
        POINTL at{bounds.left, bounds.top}, zero{0, 0};
        ok = !readBack || copy(tso, dev, nullptr, nullptr, &all, &at);
        if (ok) ok = render(tso);
        if (ok) ok = copy(dev, tso, region, nullptr, const_cast<RECTL*>(&bounds), &zero);
        EngUnlockSurface(tso);
    }
    if (temp) EngDeleteSurface(temp);
    return ok;
}

RECTL BoundsOf(const std::vector<RECTL>& rects) {
    RECTL b = rects.front();
    for (const RECTL& r : rects)
        b = RECTL{std::min(b.left, r.left), std::min(b.top, r.top), std::max(b.right, r.right),
                  std::max(b.bottom, r.bottom)};
    return b;
}

// --- painting with a brush -----------------------------------------------------

// Paints spans of a bitmap with a brush under a mix (its low byte the
// foreground, its second byte the background operation that a hatch's
// background pixels take: R2_NOP leaves them as they are under a transparent
// background), or, on a device surface, gathers them as a region for the driver.
class SpanPainter {
  public:
    SpanPainter(SURFOBJ* so, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix)
        : so_(so), clip_(pco, SurfaceRect(so)), pbo_(pbo), org_(org), rop3_(Rop3OfMix(mix & 0xFF)),
          bpp_(BitsPerPixel(so->iBitmapFormat)) {
        // A mix without a background code draws the background as the foreground.
        backRop3_ = (mix >> 8) & 0xFF ? Rop3OfMix((mix >> 8) & 0xFF) : rop3_;
        bitmap_ = IsBitmap(so);
        const bool usesPattern = RopUsesPattern(rop3_) || RopUsesPattern(backRop3_);
        ok_ = RealizeForEngine(usesPattern ? pbo : nullptr, org, bpp_, &brush_);
        if (bitmap_ && ok_) {
            size_t row = RowBytes(so->iBitmapFormat, so->sizlBitmap.cx) + 8;
            pattern_.assign(row, 0);
            if (brush_.solid)
                PatternRow(brush_, bpp_, MakeSpan(bpp_, 0, so->sizlBitmap.cx), 0, pattern_.data());
            if (!brush_.lines.empty() && backRop3_ != rop3_) mask_.assign(row, 0);
        }
    }
    bool Ok() const { return ok_; }
    void operator()(LONG y, LONG x0, LONG x1) {
        if (y < 0 || y >= so_->sizlBitmap.cy) return;
        clip_.ForSpan(y, x0, x1, [&](LONG a, LONG b) {
            if (!bitmap_) {
                region_.push_back(RECTL{a, y, b, y + 1});
                return;
            }
            RowSpan s = MakeSpan(bpp_, a, b);
            // A solid row, made once, repeats each pixel's bytes from any
            // pixel's first byte on.
            if (!brush_.solid) PatternRow(brush_, bpp_, s, y, pattern_.data());
            if (mask_.empty()) {
                CombineRow(RowOf(so_, y), s, nullptr, pattern_.data(), nullptr, rop3_);
                return;
            }
            HatchMaskRow(brush_, bpp_, s, y, mask_.data());
            CombineRow(RowOf(so_, y), s, nullptr, pattern_.data(), mask_.data(),
                       rop3_ | backRop3_ << 8);
        });
    }
    // Ends the drawing: on a device surface the region goes to the driver.
    BOOL Finish() {
        if (!ok_) return Fail(ERROR_INVALID_PARAMETER);
        if (bitmap_) {
            std::lock_guard lock(EngineLock());
            so_->iUniq = NextUniq();
            return TRUE;
        }
        return PaintDeviceRegion();
    }

  private:
    BOOL PaintDeviceRegion();
    SURFOBJ* so_;
    BandedClip clip_;
    BRUSHOBJ* pbo_;
    POINTL* org_;
    ULONG rop3_, backRop3_ = 0;
    ULONG bpp_;
    bool bitmap_ = false, ok_ = false;
    EngineBrush brush_;
    std::vector<BYTE> pattern_, mask_;
    std::vector<RECTL> region_;
};

// A device surface gets a region painted through DrvBitBlt (the brush under
// the operation, clipped to the region) or, for an operation that does not
// read the destination, through DrvCopyBits of the engine's rendering.
BOOL SpanPainter::PaintDeviceRegion() {
    if (region_.empty()) return TRUE;
    CLIPOBJ* region = CreateClip(region_.data(), static_cast<ULONG>(region_.size()));
    if (!region) return FALSE;
    RECTL bounds = region->rclBounds;
    FLONG hooks = 0;
    {
        std::lock_guard lock(EngineLock());
        if (Surface* s = SurfaceFromObjLocked(so_)) hooks = s->hooks;
    }
    BOOL ok;
    auto bitblt = reinterpret_cast<PFN_DrvBitBlt>(DeviceFunction(so_->hdev, INDEX_DrvBitBlt));
    if ((hooks & HOOK_BITBLT) && bitblt) {
        ok = bitblt(so_, nullptr, nullptr, region, nullptr, &bounds, nullptr, nullptr, pbo_, org_,
                    rop3_ | rop3_ << 8);
    } else {
        ok = ThroughBitmap(so_, bounds, region, RopUsesDest(rop3_), [&](SURFOBJ* tso) {
            POINTL org{org_ ? org_->x - bounds.left : -bounds.left,
                       org_ ? org_->y - bounds.top : -bounds.top};
            RECTL all{0, 0, tso->sizlBitmap.cx, tso->sizlBitmap.cy};
            return EngBitBlt(tso, nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr, pbo_,
                             &org, rop3_ | rop3_ << 8);
        });
    }
    EngDeleteClip(region);
    return ok;
}

// --- cosmetic lines ------------------------------------------------------------

// The pixels of a one-pixel line from a to b (pixel units), the last pixel
// left out so that joined lines meet without overlap: each pixel whose
// diamond the line leaves is drawn; Bresenham's walk between the rounded
// ends gives the same pixels for lines between pixel centres.
// A line far longer than the surface is first cut to the surface (with a
// margin), so that no walk runs through millions of pixels off it; lines
// that fit are walked whole, so their pixels never move.
bool CutLine(PointD* a, PointD* b, const SIZEL& size) {
    double w = size.cx, h = size.cy;
    double dx = b->x - a->x, dy = b->y - a->y;
    if (std::fabs(dx) + std::fabs(dy) <= 4 * (w + h)) return true;
    const double margin = 2;
    double t0 = 0, t1 = 1;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!clip(-dx, a->x + margin) || !clip(dx, w + margin - a->x) || !clip(-dy, a->y + margin) ||
        !clip(dy, h + margin - a->y))
        return false;
    PointD from{a->x + t0 * dx, a->y + t0 * dy}, to{a->x + t1 * dx, a->y + t1 * dy};
    *a = from, *b = to;
    return true;
}

template <class F> void CosmeticLine(PointD a, PointD b, F&& span) {
    auto round = [](double v) {
        return static_cast<LONG>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5));
    };
    LONG x0 = round(a.x), y0 = round(a.y), x1 = round(b.x), y1 = round(b.y);
    LONG dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    LONG sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    if (dx == 0 && dy == 0) return;
    if (dy == 0) {
        // A horizontal line is one span.
        LONG lo = sx > 0 ? x0 : x1 + 1, hi = sx > 0 ? x1 : x0 + 1;
        span(y0, lo, hi);
        return;
    }
    LONG err = dx - dy;
    LONG runStart = x0;
    LONG x = x0, y = y0;
    while (x != x1 || y != y1) {
        LONG e2 = 2 * err;
        LONG nx = x, ny = y;
        if (e2 > -dy) err -= dy, nx += sx;
        if (e2 < dx) err += dx, ny += sy;
        if (ny != y) {
            span(y, std::min(runStart, x), std::max(runStart, x) + 1);
            runStart = nx;
        }
        x = nx, y = ny;
    }
    // The end pixel is left out; a run still open on the last row ends before it.
    if (runStart != x1) span(y, std::min(runStart, x1 - sx), std::max(runStart, x1 - sx) + 1);
}

// Strokes figures with a pen: a cosmetic one pixel by pixel, a geometric one
// as the fill of its widened outline.
BOOL Stroke(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, LINEATTRS* la,
            MIX mix) {
    std::vector<Polygon> figures, pieces;
    std::vector<bool> closed, piecesClosed;
    FlattenPath(ppo, &figures, &closed);
    // Dashes off the page are never drawn: room for the pen's reach past a
    // cut (its half width, a miter's tip) keeps the cut ends off the page.
    const double reach = (la->fl & LA_GEOMETRIC)
                             ? std::max(static_cast<double>(la->elWidth.e), 1.0) / 2 *
                                       std::max(static_cast<double>(la->eMiterLimit), 1.0) +
                                   2
                             : 2;
    ApplyStyle(figures, closed, *la, kCosmeticStyleUnit, &pieces, &piecesClosed, &pso->sizlBitmap,
               std::isfinite(reach)
                   ? std::min(reach, 2.0 * (pso->sizlBitmap.cx + pso->sizlBitmap.cy) + 2)
                   : 2);
    SpanPainter paint(pso, pco, pbo, org, mix);
    if (!paint.Ok()) return paint.Finish();
    if (la->fl & LA_GEOMETRIC) {
        std::vector<Polygon> outline;
        WidenFigures(pieces, piecesClosed, *la, &outline, &pso->sizlBitmap);
        ScanPolygons(outline, true, pso->sizlBitmap.cy, paint);
    } else {
        for (size_t f = 0; f < pieces.size(); ++f) {
            const Polygon& p = pieces[f];
            auto line = [&](PointD a, PointD b) {
                if (CutLine(&a, &b, pso->sizlBitmap)) CosmeticLine(a, b, paint);
            };
            for (size_t i = 0; i + 1 < p.size(); ++i)
                line(p[i], p[i + 1]);
            if (piecesClosed[f] && p.size() > 2) line(p.back(), p.front());
        }
    }
    return paint.Finish();
}

BOOL Fill(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix,
          FLONG mode) {
    std::vector<Polygon> figures;
    std::vector<bool> closed;
    FlattenPath(ppo, &figures, &closed);
    SpanPainter paint(pso, pco, pbo, org, mix);
    if (paint.Ok()) ScanPolygons(figures, mode == FP_WINDINGMODE, pso->sizlBitmap.cy, paint);
    return paint.Finish();
}

// --- blits ---------------------------------------------------------------------

// Where a destination pixel takes its source pixel in a stretch: the source
// pixel under the destination pixel's centre.
struct AxisMap {
    LONG dst0 = 0, dstLen = 1, src0 = 0, srcLen = 1;
    bool flip = false;
    static AxisMap Of(LONG d0, LONG d1, LONG s0, LONG s1) {
        AxisMap m;
        m.flip = (d1 < d0) != (s1 < s0);
        m.dst0 = std::min(d0, d1), m.dstLen = std::abs(d1 - d0);
        m.src0 = std::min(s0, s1), m.srcLen = std::abs(s1 - s0);
        return m;
    }
    LONG operator()(LONG d) const {
        long long k = (static_cast<long long>(d - dst0) * 2 + 1) * srcLen / (2LL * dstLen);
        k = std::clamp<long long>(k, 0, srcLen - 1);
        return static_cast<LONG>(flip ? src0 + srcLen - 1 - k : src0 + k);
    }
    // Source pixels covered by destination pixel d (at least one).
    std::pair<LONG, LONG> Range(LONG d) const {
        long long a = static_cast<long long>(d - dst0) * srcLen / dstLen;
        long long b = (static_cast<long long>(d - dst0 + 1) * srcLen + dstLen - 1) / dstLen;
        a = std::clamp<long long>(a, 0, srcLen - 1);
        b = std::clamp<long long>(b, a + 1, srcLen);
        if (flip)
            return {static_cast<LONG>(src0 + srcLen - b), static_cast<LONG>(src0 + srcLen - a)};
        return {static_cast<LONG>(src0 + a), static_cast<LONG>(src0 + b)};
    }
};

ULONG AllOnes(ULONG bpp) {
    return bpp >= 32 ? 0xFFFFFFFF : (1u << bpp) - 1;
}

// Colour adjustment of halftoning: brightness and contrast.
struct Adjust {
    int brightness = 0, contrast = 0;
    explicit Adjust(const COLORADJUSTMENT* ca) {
        if (ca)
            brightness = std::clamp<int>(ca->caBrightness, -100, 100),
            contrast = std::clamp<int>(ca->caContrast, -100, 100);
    }
    int operator()(int v) const {
        if (!brightness && !contrast) return v;
        double x = (v - 127.5) * (100 + contrast) / 100.0 + 127.5 + brightness * 255 / 100.0;
        return std::clamp(static_cast<int>(std::lround(x)), 0, 255);
    }
};

// The general blit: every destination pixel of the clipped rectangle from the
// source pixel the mapping gives, through the translation, combined with the
// pattern and the destination under rop4 with the mask; transparent keeps
// the destination where the source pixel has the key colour.
struct BlitSpec {
    SURFOBJ* dst = nullptr;
    SURFOBJ* src = nullptr;
    SURFOBJ* mask = nullptr;
    CLIPOBJ* clip = nullptr;
    XLATEOBJ* xlate = nullptr;
    RECTL dstRect{};  // may be mirrored
    RECTL srcRect{};  // in source pixels; may be mirrored
    POINTL maskOrg{}; // mask pixel of the source rectangle's top-left
    BRUSHOBJ* brush = nullptr;
    POINTL* brushOrg = nullptr;
    ROP4 rop4 = 0xCCCC;
    ULONG mode = COLORONCOLOR;
    const COLORADJUSTMENT* adjust = nullptr;
    POINTL htOrg{};
    bool transparent = false;
    ULONG key = 0;
};

// The destination pixels a blit paints: its rectangle on the destination,
// cut to the pixels whose source pixel (and mask pixel) lie on their
// surfaces. False when there are none.
bool BlitArea(const BlitSpec& b, const AxisMap& mx, const AxisMap& my, bool useSrc, bool useMask,
              RECTL* out) {
    RECTL area = Cut(Ordered(b.dstRect), SurfaceRect(b.dst));
    if (useSrc || (useMask && !b.transparent)) {
        RECTL srect = Ordered(b.srcRect);
        if (Empty(srect)) return false;
        RECTL have =
            useSrc ? SurfaceRect(b.src) : RECTL{-0x3FFFFFFF, -0x3FFFFFFF, 0x3FFFFFFF, 0x3FFFFFFF};
        if (useMask && !b.transparent) {
            // The source pixels the mask covers (sums kept in range).
            auto at = [](long long v) {
                return static_cast<LONG>(std::clamp(v, -(1LL << 30), 1LL << 30));
            };
            RECTL m = SurfaceRect(b.mask);
            long long ox = static_cast<long long>(srect.left) - b.maskOrg.x,
                      oy = static_cast<long long>(srect.top) - b.maskOrg.y;
            m = RECTL{at(m.left + ox), at(m.top + oy), at(m.right + ox), at(m.bottom + oy)};
            have = Cut(have, m);
        }
        if (Empty(Cut(srect, have))) return false;
        // Shrink the destination to pixels mapping inside have.
        while (area.left < area.right && (mx(area.left) < have.left || mx(area.left) >= have.right))
            ++area.left;
        while (area.right > area.left &&
               (mx(area.right - 1) < have.left || mx(area.right - 1) >= have.right))
            --area.right;
        while (area.top < area.bottom && (my(area.top) < have.top || my(area.top) >= have.bottom))
            ++area.top;
        while (area.bottom > area.top &&
               (my(area.bottom - 1) < have.top || my(area.bottom - 1) >= have.bottom))
            --area.bottom;
    }
    *out = area;
    return !Empty(area);
}

// A solid fill (the brush, black or white, all of each pixel) row by row
// with nothing but the copy: a byte-sized repeat is a memset. pattern holds
// the brush's row over the whole width where fore is 0xF0.
void FillRows(SURFOBJ* dst, ULONG bpp, const std::vector<RECTL>& rects, ULONG fore,
              std::vector<BYTE>& pattern) {
    if (fore != 0xF0) std::memset(pattern.data(), fore ? 0xFF : 0x00, pattern.size());
    bool byteRepeat = bpp <= 8 || fore != 0xF0;
    BYTE value = pattern[0];
    for (const RECTL& r : rects) {
        RowSpan sp = MakeSpan(bpp, r.left, r.right);
        BYTE head = sp.bytes == 1 ? static_cast<BYTE>(sp.headMask & sp.tailMask) : sp.headMask;
        for (LONG y = r.top; y < r.bottom; ++y) {
            BYTE* d = RowOf(dst, y) + sp.firstByte;
            BYTE first = d[0], last = d[sp.bytes - 1];
            if (byteRepeat)
                std::memset(d, value, sp.bytes);
            else
                std::memcpy(d, pattern.data(), sp.bytes);
            d[0] = static_cast<BYTE>((d[0] & head) | (first & ~head));
            if (sp.bytes > 1)
                d[sp.bytes - 1] =
                    static_cast<BYTE>((d[sp.bytes - 1] & sp.tailMask) | (last & ~sp.tailMask));
        }
    }
}

// The rows of a general blit: for each destination row the source row (as
// it is, halftoned, combined when shrinking, or pixel by pixel through the
// translation), the pattern row and the mask row, combined into the
// destination under the operation.
class BlitRows {
  public:
    BlitRows(const BlitSpec& b, const AxisMap& mx, const AxisMap& my, const RECTL& area,
             const EngineBrush& brush)
        : b_(b), mx_(mx), my_(my), brush_(brush), xl_(b.xlate), adjust_(b.adjust) {
        SURFOBJ* dst = b.dst;
        bpp_ = BitsPerPixel(dst->iBitmapFormat);
        fore_ = Rop4Fore(b.rop4);
        ULONG back = Rop4Back(b.rop4);
        useMask_ = fore_ != back || b.transparent;
        useSrc_ = RopUsesSource(fore_) || RopUsesSource(back);
        usePat_ = RopUsesPattern(fore_) || RopUsesPattern(back);
        sbpp_ = useSrc_ ? BitsPerPixel(b.src->iBitmapFormat) : 0;
        unit_ = mx.srcLen == mx.dstLen && my.srcLen == my.dstLen && !mx.flip && !my.flip;
        halftone_ = b.mode == HALFTONE && useSrc_;
        combine_ = (b.mode == BLACKONWHITE || b.mode == WHITEONBLACK) && useSrc_ &&
                   (mx.srcLen > mx.dstLen || my.srcLen > my.dstLen);
        if (halftone_) {
            srcModel_ = ModelOfSurface(b.src);
            dstModel_ = ModelOfSurface(dst);
        }
        // For a 1-bit destination halftoning needs the white index.
        if (halftone_ && bpp_ == 1 && dstModel_.colors.size() >= 2 &&
            (dstModel_.colors[0] & 0xFFFFFF) == 0xFFFFFF)
            white_ = 0, black_ = 1;
        size_t rowBytes = RowBytes(dst->iBitmapFormat, dst->sizlBitmap.cx) + 8;
        srcBuf_.resize(rowBytes), patBuf_.resize(rowBytes), maskBuf_.resize(rowBytes);
        if (usePat_ && brush.solid)
            PatternRow(brush, bpp_, MakeSpan(bpp_, 0, dst->sizlBitmap.cx), 0, patBuf_.data());
        ones_ = AllOnes(bpp_);
        // Halftoning a 24- or 32-bit source of blue, green, red onto one bit,
        // without shrinking or colour adjustment: source columns found once,
        // gray levels from the bytes, bits packed as they come.
        fastHalftone_ = halftone_ && bpp_ == 1 && (sbpp_ == 24 || sbpp_ == 32) &&
                        srcModel_.mode == PAL_BGR && !b.adjust && mx.srcLen <= mx.dstLen &&
                        my.srcLen <= my.dstLen;
        if (fastHalftone_) {
            left_ = area.left;
            columns_.resize(static_cast<size_t>(area.right - area.left));
            for (LONG x = area.left; x < area.right; ++x)
                columns_[static_cast<size_t>(x - area.left)] = mx(x) * static_cast<LONG>(sbpp_ / 8);
        }
        sameSurface_ = useSrc_ && b.src == dst;
    }

    // Whether the rows run upwards: the source lies above an overlapping
    // destination on the same surface.
    bool Upwards(const RECTL& area) const { return sameSurface_ && my_(area.top) < area.top; }

    // A solid fill needs none of the rows: only the pattern's row, or none.
    bool SolidFill() const {
        return !useSrc_ && !useMask_ &&
               (fore_ == 0x00 || fore_ == 0xFF || (fore_ == 0xF0 && brush_.solid));
    }
    void FillSolid(const std::vector<RECTL>& rects) {
        FillRows(b_.dst, bpp_, rects, fore_, patBuf_);
    }

    void Paint(LONG y, LONG a, LONG c) {
        RowSpan s = MakeSpan(bpp_, a, c);
        LONG sy = my_(y);
        const BYTE* srcRow = useSrc_ ? RowOf(b_.src, sy) : nullptr;
        const BYTE* sp = useSrc_ ? SourceRow(s, y, sy, srcRow, a, c) : nullptr;
        const BYTE* pp = nullptr;
        if (usePat_) {
            // A solid brush's row was made once for the whole width.
            if (!brush_.solid) PatternRow(brush_, bpp_, s, y, patBuf_.data());
            pp = patBuf_.data();
        }
        const BYTE* mp = useMask_ ? MaskRow(s, sy, srcRow, a, c) : nullptr;
        CombineRow(RowOf(b_.dst, y), s, sp, pp, mp, b_.transparent ? (0xAA00 | fore_) : b_.rop4);
    }

  private:
    // The source pixels of destination row y, columns a to c, laid out as
    // the destination's span s.
    const BYTE* SourceRow(const RowSpan& s, LONG y, LONG sy, const BYTE* srcRow, LONG a, LONG c) {
        bool direct = unit_ && sbpp_ == bpp_ && xl_.Trivial() && !halftone_ &&
                      ((static_cast<long long>(mx_(a)) * bpp_) % 8) ==
                          ((static_cast<long long>(a) * bpp_) % 8);
        if (direct) {
            const BYTE* from = srcRow + (static_cast<long long>(mx_(a)) * bpp_) / 8;
            if (!sameSurface_) return from;
            std::memcpy(srcBuf_.data(), from, s.bytes);
        } else if (fastHalftone_) {
            FastHalftoneRow(s, y, sy, a, c);
        } else if (halftone_) {
            HalftoneRow(s, y, a, c);
        } else if (combine_) {
            CombinedRow(s, y, a, c);
        } else {
            for (LONG x = a; x < c; ++x)
                PutSpanPixel(srcBuf_.data(), s, bpp_, x, xl_(GetPixel(srcRow, mx_(x), sbpp_)));
        }
        return srcBuf_.data();
    }

    void FastHalftoneRow(const RowSpan& s, LONG y, LONG sy, LONG a, LONG c) {
        std::memset(srcBuf_.data(), 0, s.bytes);
        const BYTE* row = RowOf(b_.src, sy);
        const BYTE* bayer = kBayer8[(y - b_.htOrg.y) & 7];
        LONG first = static_cast<LONG>(s.firstByte * 8);
        for (LONG x = a; x < c; ++x) {
            const BYTE* p = row + columns_[static_cast<size_t>(x - left_)];
            // Gray of blue, green, red, in 0..255 * 256.
            int gray = p[0] * 28 + p[1] * 151 + p[2] * 77;
            int t = bayer[(x - b_.htOrg.x) & 7];
            bool light = (gray >> 8) * 64 > t * 255 + 127;
            if ((light ? white_ : black_) & 1)
                srcBuf_[static_cast<size_t>(x - first) >> 3] |=
                    static_cast<BYTE>(0x80 >> ((x - first) & 7));
        }
    }

    // Each destination pixel from the average of the source pixels it covers
    // (colour adjusted), dithered to the destination's colours.
    void HalftoneRow(const RowSpan& s, LONG y, LONG a, LONG c) {
        for (LONG x = a; x < c; ++x) {
            auto [x0, x1] = mx_.Range(x);
            auto [y0, y1] = my_.Range(y);
            x1 = std::min(x1, x0 + kMaxAverage), y1 = std::min(y1, y0 + kMaxAverage);
            ULONG r = 0, g = 0, bl = 0, n = 0;
            for (LONG yy = y0; yy < y1; ++yy) {
                const BYTE* row = RowOf(b_.src, yy);
                for (LONG xx = x0; xx < x1; ++xx, ++n) {
                    ULONG rgb = srcModel_.ToRgb(GetPixel(row, xx, sbpp_));
                    r += rgb & 0xFF, g += (rgb >> 8) & 0xFF, bl += (rgb >> 16) & 0xFF;
                }
            }
            int R = adjust_(static_cast<int>(r / n)), G = adjust_(static_cast<int>(g / n)),
                B = adjust_(static_cast<int>(bl / n));
            int t = kBayer8[(y - b_.htOrg.y) & 7][(x - b_.htOrg.x) & 7];
            ULONG v;
            if (bpp_ == 1) {
                int gray = (R * 77 + G * 151 + B * 28) >> 8;
                v = gray * 64 > t * 255 + 127 ? white_ : black_;
            } else if (bpp_ <= 8) {
                // Ordered dither of each channel to the palette's levels.
                auto d = [&](int ch) { return std::clamp(ch + (t - 32) / 2, 0, 255); };
                v = dstModel_.FromRgb(static_cast<ULONG>(d(R)) | d(G) << 8 | d(B) << 16);
            } else {
                v = dstModel_.FromRgb(static_cast<ULONG>(R) | G << 8 | B << 16);
            }
            PutSpanPixel(srcBuf_.data(), s, bpp_, x, v);
        }
    }

    // Shrinking in BLACKONWHITE or WHITEONBLACK: the source pixels a
    // destination pixel covers combined with AND or OR.
    void CombinedRow(const RowSpan& s, LONG y, LONG a, LONG c) {
        auto [y0, y1] = my_.Range(y);
        for (LONG x = a; x < c; ++x) {
            auto [x0, x1] = mx_.Range(x);
            ULONG v = b_.mode == BLACKONWHITE ? ones_ : 0;
            for (LONG yy = y0; yy < y1; ++yy)
                for (LONG xx = x0; xx < x1; ++xx) {
                    ULONG p = xl_(GetPixel(RowOf(b_.src, yy), xx, sbpp_));
                    v = b_.mode == BLACKONWHITE ? (v & p) : (v | p);
                }
            PutSpanPixel(srcBuf_.data(), s, bpp_, x, v);
        }
    }

    // Where the foreground operation applies: the mask's set pixels, or for
    // a transparent blit the source pixels other than the key colour.
    const BYTE* MaskRow(const RowSpan& s, LONG sy, const BYTE* srcRow, LONG a, LONG c) {
        for (LONG x = a; x < c; ++x) {
            bool on;
            if (b_.transparent) {
                on = GetPixel(srcRow, mx_(x), sbpp_) != b_.key;
            } else {
                LONG mxp = mx_(x) - Ordered(b_.srcRect).left + b_.maskOrg.x;
                LONG myp = sy - Ordered(b_.srcRect).top + b_.maskOrg.y;
                on = GetPixel(RowOf(b_.mask, myp), mxp, 1) != 0;
            }
            PutSpanPixel(maskBuf_.data(), s, bpp_, x, on ? ones_ : 0);
        }
        return maskBuf_.data();
    }

    const BlitSpec& b_;
    const AxisMap& mx_;
    const AxisMap& my_;
    const EngineBrush& brush_;
    Xlator xl_;
    Adjust adjust_;
    ULONG bpp_ = 0, sbpp_ = 0, fore_ = 0, ones_ = 0;
    bool useSrc_ = false, useMask_ = false, usePat_ = false;
    bool unit_ = false, halftone_ = false, combine_ = false, fastHalftone_ = false;
    bool sameSurface_ = false;
    ColorModel srcModel_, dstModel_;
    ULONG white_ = 1, black_ = 0;
    std::vector<BYTE> srcBuf_, patBuf_, maskBuf_;
    std::vector<LONG> columns_; // source byte of each column, for fast halftoning
    LONG left_ = 0;             // the first of those columns
};

void MarkChanged(SURFOBJ* so) {
    std::lock_guard lock(EngineLock());
    so->iUniq = NextUniq();
}

BOOL Blit(const BlitSpec& b) {
    ULONG bpp = BitsPerPixel(b.dst->iBitmapFormat);
    ULONG fore = Rop4Fore(b.rop4), back = Rop4Back(b.rop4);
    bool useMask = fore != back || b.transparent;
    bool useSrc = RopUsesSource(fore) || RopUsesSource(back);
    bool usePat = RopUsesPattern(fore) || RopUsesPattern(back);
    if (useSrc && !IsBitmap(b.src)) return Fail(ERROR_INVALID_PARAMETER);
    if (useMask && !b.transparent &&
        (!b.mask || !IsBitmap(b.mask) || b.mask->iBitmapFormat != BMF_1BPP))
        return Fail(ERROR_INVALID_PARAMETER);
    if (Empty(Ordered(b.dstRect))) return TRUE;
    AxisMap mx = AxisMap::Of(b.dstRect.left, b.dstRect.right, b.srcRect.left, b.srcRect.right);
    AxisMap my = AxisMap::Of(b.dstRect.top, b.dstRect.bottom, b.srcRect.top, b.srcRect.bottom);
    RECTL area;
    if (!BlitArea(b, mx, my, useSrc, useMask, &area)) return TRUE;
    BandedClip clip(b.clip, area);
    EngineBrush brush;
    if (!RealizeForEngine(usePat ? b.brush : nullptr, b.brushOrg, bpp, &brush))
        return Fail(ERROR_INVALID_PARAMETER);
    if (usePat && !b.brush) return Fail(ERROR_INVALID_PARAMETER);
    BlitRows rows(b, mx, my, area, brush);
    const std::vector<RECTL>& rects = clip.Rects();
    if (rows.SolidFill()) {
        rows.FillSolid(rects);
    } else if (!rows.Upwards(area)) {
        for (const RECTL& r : rects)
            for (LONG y = r.top; y < r.bottom; ++y)
                rows.Paint(y, r.left, r.right);
    } else {
        for (auto it = rects.rbegin(); it != rects.rend(); ++it)
            for (LONG y = it->bottom - 1; y >= it->top; --y)
                rows.Paint(y, it->left, it->right);
    }
    MarkChanged(b.dst);
    return TRUE;
}

// A blit onto a device surface goes through a bitmap of the device's format.
BOOL BlitToDevice(BlitSpec b) {
    SURFOBJ* dev = b.dst;
    bool readsDest =
        RopUsesDest(Rop4Fore(b.rop4)) || RopUsesDest(Rop4Back(b.rop4)) || b.transparent;
    RECTL drc = Cut(Ordered(b.dstRect), SurfaceRect(dev));
    std::vector<RECTL> rects = ClipRects(b.clip, drc);
    if (rects.empty()) return TRUE;
    RECTL bounds = BoundsOf(rects);
    CLIPOBJ* clip = CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
    if (!clip) return FALSE;
    BOOL ok = ThroughBitmap(dev, bounds, clip, readsDest, [&](SURFOBJ* tso) {
        BlitSpec t = b;
        t.dst = tso;
        t.clip = nullptr;
        t.dstRect = RECTL{b.dstRect.left - bounds.left, b.dstRect.top - bounds.top,
                          b.dstRect.right - bounds.left, b.dstRect.bottom - bounds.top};
        POINTL org{b.brushOrg ? b.brushOrg->x - bounds.left : -bounds.left,
                   b.brushOrg ? b.brushOrg->y - bounds.top : -bounds.top};
        t.brushOrg = &org;
        t.htOrg = POINTL{b.htOrg.x - bounds.left, b.htOrg.y - bounds.top};
        return Blit(t);
    });
    EngDeleteClip(clip);
    return ok;
}

// Coordinates are kept within a range whose sums and differences fit.
constexpr LONG kCoordinateLimit = 1 << 29;

LONG Limit(LONG v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

RECTL Limit(const RECTL& r) {
    return RECTL{Limit(r.left), Limit(r.top), Limit(r.right), Limit(r.bottom)};
}

BOOL RunBlit(BlitSpec b) {
    if (!Known(b.dst) || (b.src && !Known(b.src)) || (b.mask && !Known(b.mask)))
        return Fail(ERROR_INVALID_PARAMETER);
    b.dstRect = Limit(b.dstRect);
    b.srcRect = Limit(b.srcRect);
    b.maskOrg = POINTL{Limit(b.maskOrg.x), Limit(b.maskOrg.y)};
    return IsBitmap(b.dst) ? Blit(b) : BlitToDevice(b);
}

} // namespace
} // namespace platform::engine

using namespace platform::engine;

extern "C" {

BOOL APIENTRY EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                        BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
    if (!psoTrg || !prclTrg) return Fail(ERROR_INVALID_PARAMETER);
    BlitSpec b;
    b.dst = psoTrg;
    bool useSrc = RopUsesSource(Rop4Fore(rop4)) || RopUsesSource(Rop4Back(rop4));
    b.src = useSrc ? psoSrc : nullptr;
    if (useSrc && (!psoSrc || !pptlSrc)) return Fail(ERROR_INVALID_PARAMETER);
    b.mask = Rop4Fore(rop4) != Rop4Back(rop4) ? psoMask : nullptr;
    b.clip = pco;
    b.xlate = pxlo;
    b.dstRect = Limit(Ordered(*prclTrg));
    POINTL s = pptlSrc ? POINTL{Limit(pptlSrc->x), Limit(pptlSrc->y)}
                       : POINTL{b.dstRect.left, b.dstRect.top};
    b.srcRect = RECTL{s.x, s.y, s.x + (b.dstRect.right - b.dstRect.left),
                      s.y + (b.dstRect.bottom - b.dstRect.top)};
    b.maskOrg = pptlMask ? *pptlMask : POINTL{0, 0};
    b.brush = pbo;
    b.brushOrg = pptlBrush;
    b.rop4 = rop4 & 0xFFFF;
    return RunBlit(b);
}

BOOL APIENTRY EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          RECTL* prclDest, POINTL* pptlSrc) {
    return EngBitBlt(psoDest, psoSrc, nullptr, pco, pxlo, prclDest, pptlSrc, nullptr, nullptr,
                     nullptr, 0xCCCC);
}

BOOL APIENTRY EngStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                               RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode,
                               BRUSHOBJ* pbo, DWORD rop4) {
    if (!psoDest || !prclDest || !prclSrc || iMode < BLACKONWHITE || iMode > HALFTONE)
        return Fail(ERROR_INVALID_PARAMETER);
    BlitSpec b;
    b.dst = psoDest;
    b.src = psoSrc;
    b.mask = Rop4Fore(rop4) != Rop4Back(rop4) ? psoMask : nullptr;
    b.clip = pco;
    b.xlate = pxlo;
    b.dstRect = *prclDest;
    b.srcRect = *prclSrc;
    b.maskOrg = pptlMask ? *pptlMask : POINTL{0, 0};
    b.brush = pbo;
    b.brushOrg = pptlHTOrg;
    b.rop4 = rop4 & 0xFFFF;
    b.mode = iMode;
    b.adjust = pca;
    if (pptlHTOrg) b.htOrg = *pptlHTOrg;
    if (!psoSrc && RopUsesSource(Rop4Fore(rop4))) return Fail(ERROR_INVALID_PARAMETER);
    return RunBlit(b);
}

BOOL APIENTRY EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                            XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                            RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    // A mask makes the source show only where the mask's bits are set.
    return EngStretchBltROP(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc,
                            pptlMask, iMode, nullptr, psoMask ? 0xAACC : 0xCCCC);
}

BOOL APIENTRY EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor,
                                ULONG /*ulReserved*/) {
    if (!psoDst || !psoSrc || !prclDst || !prclSrc) return Fail(ERROR_INVALID_PARAMETER);
    BlitSpec b;
    b.dst = psoDst;
    b.src = psoSrc;
    b.clip = pco;
    b.xlate = pxlo;
    b.dstRect = Ordered(*prclDst);
    b.srcRect = Ordered(*prclSrc);
    b.rop4 = 0xCCCC;
    b.transparent = true;
    b.key = iTransColor;
    return RunBlit(b);
}

BOOL APIENTRY EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    if (!Known(pso) || !pco) return Fail(ERROR_INVALID_PARAMETER);
    SpanPainter paint(pso, pco, pbo, pptlBrushOrg, mix);
    if (paint.Ok()) {
        BandedClip clip(pco, SurfaceRect(pso));
        for (const RECTL& r : clip.Rects())
            for (LONG y = r.top; y < r.bottom; ++y)
                paint(y, r.left, r.right);
    }
    return paint.Finish();
}

BOOL APIENTRY EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                          POINTL* pptlBrushOrg, MIX mix, FLONG flOptions) {
    if (!Known(pso) || !ppo || !pbo) return Fail(ERROR_INVALID_PARAMETER);
    return Fill(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

BOOL APIENTRY EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* /*pxo*/,
                            BRUSHOBJ* pbo, POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    if (!Known(pso) || !ppo || !pbo || !plineattrs) return Fail(ERROR_INVALID_PARAMETER);
    return Stroke(pso, ppo, pco, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                   BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                   POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions) {
    if (!Known(pso) || !ppo || !pboStroke || !pboFill || !plineattrs)
        return Fail(ERROR_INVALID_PARAMETER);
    BOOL filled = Fill(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions);
    BOOL stroked = EngStrokePath(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill);
    return filled && stroked;
}

BOOL APIENTRY EngLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL* /*prclBounds*/, MIX mix) {
    if (!Known(pso) || !pbo) return Fail(ERROR_INVALID_PARAMETER);
    SpanPainter paint(pso, pco, pbo, nullptr, mix);
    PointD a{double(x1), double(y1)}, b{double(x2), double(y2)};
    if (paint.Ok() && CutLine(&a, &b, pso->sizlBitmap)) CosmeticLine(a, b, paint);
    return paint.Finish();
}
}

namespace platform::engine {
namespace {

// The destination colour of an RGB colour: through the caller's translation
// (from RGB; a trivial one says the destination's pixels are RGB colours,
// as a device's of an RGB palette are), or without one the destination's own
// colours.
struct RgbToDest {
    XLATEOBJ* xo;
    ColorModel model;
    ULONG operator()(ULONG rgb) const {
        if (xo) return XLATEOBJ_iXlate(xo, rgb);
        return model.FromRgb(rgb);
    }
};

ULONG VertexRgb(const TRIVERTEX& v) {
    return static_cast<ULONG>(v.Red >> 8) | static_cast<ULONG>(v.Green >> 8) << 8 |
           static_cast<ULONG>(v.Blue >> 8) << 16;
}

ULONG Mix3(double w0, ULONG c0, double w1, ULONG c1, double w2, ULONG c2) {
    ULONG out = 0;
    for (int sh = 0; sh <= 16; sh += 8) {
        double v = w0 * ((c0 >> sh) & 0xFF) + w1 * ((c1 >> sh) & 0xFF) + w2 * ((c2 >> sh) & 0xFF);
        out |= static_cast<ULONG>(std::clamp(static_cast<int>(std::lround(v)), 0, 255)) << sh;
    }
    return out;
}

// Paints pixel runs with colours computed per pixel.
template <class ColorAt>
void ShadeSpans(SURFOBJ* so, const BandedClip& clip, LONG y, LONG x0, LONG x1, const RgbToDest& to,
                ColorAt&& at, std::vector<BYTE>& buf) {
    ULONG bpp = BitsPerPixel(so->iBitmapFormat);
    clip.ForSpan(y, x0, x1, [&](LONG a, LONG b) {
        RowSpan s = MakeSpan(bpp, a, b);
        for (LONG x = a; x < b; ++x)
            PutSpanPixel(buf.data(), s, bpp, x, to(at(x)));
        CombineRow(RowOf(so, y), s, buf.data(), nullptr, nullptr, 0xCCCC);
    });
}

BOOL Gradient(SURFOBJ* so, CLIPOBJ* pco, XLATEOBJ* pxlo, const TRIVERTEX* v, ULONG nv,
              const void* mesh, ULONG nm, ULONG mode) {
    BandedClip clip(pco, SurfaceRect(so));
    RgbToDest to{pxlo, ModelOfSurface(so)};
    std::vector<BYTE> buf(RowBytes(so->iBitmapFormat, so->sizlBitmap.cx) + 8);
    if (mode == GRADIENT_FILL_TRIANGLE) {
        const auto* tris = static_cast<const GRADIENT_TRIANGLE*>(mesh);
        for (ULONG i = 0; i < nm; ++i) {
            const GRADIENT_TRIANGLE& t = tris[i];
            if (t.Vertex1 >= nv || t.Vertex2 >= nv || t.Vertex3 >= nv) continue;
            const TRIVERTEX &a = v[t.Vertex1], &b = v[t.Vertex2], &c = v[t.Vertex3];
            double det = double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y);
            if (det == 0) continue;
            ULONG ca = VertexRgb(a), cb = VertexRgb(b), cc = VertexRgb(c);
            std::vector<Polygon> poly{{{double(a.x), double(a.y)},
                                       {double(b.x), double(b.y)},
                                       {double(c.x), double(c.y)}}};
            ScanPolygons(poly, false, so->sizlBitmap.cy, [&](LONG y, LONG x0, LONG x1) {
                if (y < 0 || y >= so->sizlBitmap.cy) return;
                double py = y + 0.5;
                ShadeSpans(
                    so, clip, y, x0, x1, to,
                    [&](LONG x) {
                        double px = x + 0.5;
                        double wb = ((px - a.x) * (c.y - a.y) - (c.x - a.x) * (py - a.y)) / det;
                        double wc = ((b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y)) / det;
                        return Mix3(1 - wb - wc, ca, wb, cb, wc, cc);
                    },
                    buf);
            });
        }
        return TRUE;
    }
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    for (ULONG i = 0; i < nm; ++i) {
        if (rects[i].UpperLeft >= nv || rects[i].LowerRight >= nv) continue;
        TRIVERTEX p = v[rects[i].UpperLeft], q = v[rects[i].LowerRight];
        RECTL r = Ordered(RECTL{p.x, p.y, q.x, q.y});
        // The colours run from the first vertex's side to the second's.
        bool horizontal = mode == GRADIENT_FILL_RECT_H;
        LONG from = horizontal ? p.x : p.y, to2 = horizontal ? q.x : q.y;
        ULONG c0 = VertexRgb(p), c1 = VertexRgb(q);
        double len = std::max<double>(1, std::abs(to2 - from));
        auto at = [&](LONG pos) {
            double t = std::clamp((pos + 0.5 - std::min(from, to2)) / len, 0.0, 1.0);
            if (to2 < from) t = 1 - t;
            return Mix3(1 - t, c0, t, c1, 0, 0);
        };
        RECTL area = Cut(r, SurfaceRect(so));
        for (LONG y = area.top; y < area.bottom; ++y) {
            if (horizontal)
                ShadeSpans(so, clip, y, area.left, area.right, to, at, buf);
            else {
                ULONG c = at(y);
                ShadeSpans(
                    so, clip, y, area.left, area.right, to, [c](LONG) { return c; }, buf);
            }
        }
    }
    return TRUE;
}

} // namespace
} // namespace platform::engine

extern "C" {

BOOL APIENTRY EngGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* /*prclExtents*/,
                              POINTL* /*pptlDitherOrg*/, ULONG ulMode) {
    if (!Known(psoDest) || !pVertex || !pMesh || ulMode > GRADIENT_FILL_TRIANGLE)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!IsBitmap(psoDest)) {
        // A device surface gets the shading of the mesh's extent as a bitmap.
        std::vector<RECTL> rects = ClipRects(pco, SurfaceRect(psoDest));
        RECTL ext{0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF, -0x7FFFFFFF};
        for (ULONG i = 0; i < nVertex; ++i)
            ext = RECTL{std::min(ext.left, pVertex[i].x), std::min(ext.top, pVertex[i].y),
                        std::max(ext.right, pVertex[i].x + 1),
                        std::max(ext.bottom, pVertex[i].y + 1)};
        std::vector<RECTL> cut;
        for (const RECTL& r : rects)
            if (!Empty(Cut(r, ext))) cut.push_back(Cut(r, ext));
        if (cut.empty()) return TRUE;
        RECTL bounds = BoundsOf(cut);
        CLIPOBJ* clip = CreateClip(cut.data(), static_cast<ULONG>(cut.size()));
        if (!clip) return FALSE;
        // Triangles leave the pixels between them as they were.
        BOOL ok = ThroughBitmap(
            psoDest, bounds, clip, ulMode == GRADIENT_FILL_TRIANGLE, [&](SURFOBJ* tso) {
                std::vector<TRIVERTEX> moved(pVertex, pVertex + nVertex);
                for (TRIVERTEX& t : moved)
                    t.x -= bounds.left, t.y -= bounds.top;
                return Gradient(tso, nullptr, pxlo, moved.data(), nVertex, pMesh, nMesh, ulMode);
            });
        EngDeleteClip(clip);
        return ok;
    }
    BOOL ok = Gradient(psoDest, pco, pxlo, pVertex, nVertex, pMesh, nMesh, ulMode);
    std::lock_guard lock(EngineLock());
    psoDest->iUniq = NextUniq();
    return ok;
}

BOOL APIENTRY EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj) {
    if (!Known(psoDest) || !Known(psoSrc) || !prclDest || !prclSrc || !pBlendObj ||
        !IsBitmap(psoSrc))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!IsBitmap(psoDest)) {
        // Blended with the device's pixels read back.
        std::vector<RECTL> rects = ClipRects(pco, Cut(Ordered(*prclDest), SurfaceRect(psoDest)));
        if (rects.empty()) return TRUE;
        RECTL bounds = BoundsOf(rects);
        CLIPOBJ* clip = CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
        if (!clip) return FALSE;
        BOOL ok = ThroughBitmap(psoDest, bounds, clip, true, [&](SURFOBJ* tso) {
            RECTL d{prclDest->left - bounds.left, prclDest->top - bounds.top,
                    prclDest->right - bounds.left, prclDest->bottom - bounds.top};
            return EngAlphaBlend(tso, psoSrc, nullptr, pxlo, &d, prclSrc, pBlendObj);
        });
        EngDeleteClip(clip);
        return ok;
    }
    const BLENDFUNCTION& bf = pBlendObj->BlendFunction;
    if (bf.BlendOp != AC_SRC_OVER) return Fail(ERROR_INVALID_PARAMETER);
    bool perPixel = (bf.AlphaFormat & AC_SRC_ALPHA) && psoSrc->iBitmapFormat == BMF_32BPP;
    RECTL d = Limit(Ordered(*prclDest)), s = Limit(Ordered(*prclSrc));
    if (Empty(d) || Empty(s)) return TRUE;
    RECTL have = SurfaceRect(psoSrc);
    if (s.left < have.left || s.top < have.top || s.right > have.right || s.bottom > have.bottom)
        return Fail(ERROR_INVALID_PARAMETER);
    AxisMap mx = AxisMap::Of(d.left, d.right, s.left, s.right);
    AxisMap my = AxisMap::Of(d.top, d.bottom, s.top, s.bottom);
    ColorModel sm = ModelOfSurface(psoSrc), dm = ModelOfSurface(psoDest);
    ULONG sbpp = BitsPerPixel(psoSrc->iBitmapFormat), dbpp = BitsPerPixel(psoDest->iBitmapFormat);
    BandedClip clip(pco, Cut(d, SurfaceRect(psoDest)));
    ULONG k = bf.SourceConstantAlpha;
    for (const RECTL& r : clip.Rects())
        for (LONG y = r.top; y < r.bottom; ++y) {
            const BYTE* srow = RowOf(psoSrc, my(y));
            BYTE* drow = RowOf(psoDest, y);
            for (LONG x = r.left; x < r.right; ++x) {
                ULONG sp = GetPixel(srow, mx(x), sbpp);
                ULONG src = sm.ToRgb(sp), dst = dm.ToRgb(GetPixel(drow, x, dbpp));
                ULONG out = 0;
                if (perPixel) {
                    // Premultiplied source: dst = src * k + dst * (1 - alpha * k).
                    ULONG alpha = (sp >> 24) * k / 255;
                    for (int sh = 0; sh <= 16; sh += 8) {
                        ULONG sc = ((src >> sh) & 0xFF) * k / 255, dc = (dst >> sh) & 0xFF;
                        out |= std::min<ULONG>(255, sc + dc * (255 - alpha) / 255) << sh;
                    }
                } else {
                    for (int sh = 0; sh <= 16; sh += 8) {
                        ULONG sc = (src >> sh) & 0xFF, dc = (dst >> sh) & 0xFF;
                        out |= ((sc * k + dc * (255 - k) + 127) / 255) << sh;
                    }
                }
                PutPixel(drow, x, dbpp, dm.FromRgb(out));
            }
        }
    std::lock_guard lock(EngineLock());
    psoDest->iUniq = NextUniq();
    return TRUE;
}

BOOL APIENTRY EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, COLORADJUSTMENT* /*pca*/, POINTL* /*pptlBrushOrg*/,
                        POINTFIX* pptfx, RECTL* prcl, POINTL* pptl, ULONG /*iMode*/) {
    // The source rectangle maps onto the parallelogram of its three corners
    // (upper left, upper right, lower left); each destination pixel inside
    // takes the source pixel under its centre.
    if (!Known(psoTrg) || !Known(psoSrc) || !pptfx || !prcl || !IsBitmap(psoSrc) ||
        (psoMsk && (!Known(psoMsk) || !IsBitmap(psoMsk))))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!IsBitmap(psoTrg)) {
        // Onto the device's pixels read back: the parallelogram leaves the
        // rest of its bounds as it was.
        LONG x0 = 0x7FFFFFFF, y0 = 0x7FFFFFFF, x1 = -0x7FFFFFFF, y1 = -0x7FFFFFFF;
        POINTFIX d{pptfx[1].x + pptfx[2].x - pptfx[0].x, pptfx[1].y + pptfx[2].y - pptfx[0].y};
        for (POINTFIX p : {pptfx[0], pptfx[1], pptfx[2], d})
            x0 = std::min(x0, p.x >> 4), y0 = std::min(y0, p.y >> 4),
            x1 = std::max(x1, (p.x + 31) >> 4), y1 = std::max(y1, (p.y + 31) >> 4);
        std::vector<RECTL> rects = ClipRects(pco, Cut(RECTL{x0, y0, x1, y1}, SurfaceRect(psoTrg)));
        if (rects.empty()) return TRUE;
        RECTL bounds = BoundsOf(rects);
        CLIPOBJ* clip = CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
        if (!clip) return FALSE;
        BOOL ok = ThroughBitmap(psoTrg, bounds, clip, true, [&](SURFOBJ* tso) {
            POINTFIX moved[3];
            for (int i = 0; i < 3; ++i)
                moved[i] = POINTFIX{pptfx[i].x - bounds.left * 16, pptfx[i].y - bounds.top * 16};
            return EngPlgBlt(tso, psoSrc, psoMsk, nullptr, pxlo, nullptr, nullptr, moved, prcl,
                             pptl, COLORONCOLOR);
        });
        EngDeleteClip(clip);
        return ok;
    }
    RECTL s = Ordered(*prcl);
    RECTL have = SurfaceRect(psoSrc);
    s = Cut(s, have);
    if (Empty(s)) return TRUE;
    PointD p0{pptfx[0].x / 16.0, pptfx[0].y / 16.0}, p1{pptfx[1].x / 16.0, pptfx[1].y / 16.0},
        p2{pptfx[2].x / 16.0, pptfx[2].y / 16.0};
    PointD u{p1.x - p0.x, p1.y - p0.y}, v{p2.x - p0.x, p2.y - p0.y};
    double det = u.x * v.y - u.y * v.x;
    if (std::fabs(det) < 1e-12) return TRUE;
    Xlator xl(pxlo);
    ULONG sbpp = BitsPerPixel(psoSrc->iBitmapFormat), dbpp = BitsPerPixel(psoTrg->iBitmapFormat);
    BandedClip clip(pco, SurfaceRect(psoTrg));
    LONG w = s.right - s.left, h = s.bottom - s.top;
    std::vector<Polygon> poly{{p0, p1, {p1.x + v.x, p1.y + v.y}, p2}};
    std::vector<BYTE> buf(RowBytes(psoTrg->iBitmapFormat, psoTrg->sizlBitmap.cx) + 8);
    ScanPolygons(poly, false, psoTrg->sizlBitmap.cy, [&](LONG y, LONG x0, LONG x1) {
        if (y < 0 || y >= psoTrg->sizlBitmap.cy) return;
        clip.ForSpan(y, x0, x1, [&](LONG a, LONG b) {
            BYTE* drow = RowOf(psoTrg, y);
            for (LONG x = a; x < b; ++x) {
                double dx = x + 0.5 - p0.x, dy = y + 0.5 - p0.y;
                double fu = (dx * v.y - dy * v.x) / det, fv = (u.x * dy - u.y * dx) / det;
                LONG sx = s.left + std::clamp(static_cast<LONG>(fu * w), LONG{0}, w - 1);
                LONG sy = s.top + std::clamp(static_cast<LONG>(fv * h), LONG{0}, h - 1);
                if (psoMsk) {
                    LONG mxp = sx - s.left + (pptl ? pptl->x : 0),
                         myp = sy - s.top + (pptl ? pptl->y : 0);
                    if (mxp < 0 || myp < 0 || mxp >= psoMsk->sizlBitmap.cx ||
                        myp >= psoMsk->sizlBitmap.cy || !GetPixel(RowOf(psoMsk, myp), mxp, 1))
                        continue;
                }
                PutPixel(drow, x, dbpp, xl(GetPixel(RowOf(psoSrc, sy), sx, sbpp)));
            }
        });
    });
    std::lock_guard lock(EngineLock());
    psoTrg->iUniq = NextUniq();
    return TRUE;
}
}
