// The banded job's rules for the bitmap hooks. The engine draws into the
// band; onto a 1-bit band it halftones colour images, through the colour
// adjustment kept for the band, instead of matching each pixel to black or
// white. Pattern brushes are tiled by the driver at the printer's scale:
// the operation is split on the pattern's bit into the two operations of
// source and destination that it gives for a white and a black pattern
// pixel, and the engine draws the pair in one blit with the tiled pattern
// as its mask.
#include "band_hooks.h"

#include <algorithm>
#include <cstring>

#include "imaging_hooks.h"
#include "imaging_state.h"
#include "pdev.h"
#include "private_devmode.h"

namespace inkforge {
namespace {

constexpr WORD kHalftoneBlackOnWhite = 2;
constexpr WORD kNeutralGamma = 10000;
constexpr WORD kReferenceWhite = 10000;

RECTL Cut(const RECTL& a, const RECTL& b) {
    return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

bool Empty(const RECTL& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool PlainBitmap(SURFOBJ* so) {
    return so && so->iType == STYPE_BITMAP && so->pvScan0 && so->sizlBitmap.cx > 0 &&
           so->sizlBitmap.cy > 0;
}

// The stretch mode of the band: black on white for the halftone kind that
// asks for it, else halftoning.
ULONG BandStretchMode(PDEV* pdev) {
    return PrivU16(pdev->devmode, priv::HalftoneKind) == kHalftoneBlackOnWhite ? BLACKONWHITE
                                                                               : HALFTONE;
}

// Runs `stretch` with the band's colour adjustment marked busy; a stretch
// already under way with it (the engine calling back) is refused.
template <class F> BOOL WithAdjustment(PDEV* pdev, F&& stretch) {
    COLORADJUSTMENT* record = BandAdjustment(pdev);
    if (!record || pdev->imaging->bandAdjustBusy) return FALSE;
    pdev->imaging->bandAdjustBusy = true;
    BOOL ok = stretch(record);
    pdev->imaging->bandAdjustBusy = false;
    return ok;
}

} // namespace

bool IsMonoBand(PDEV* pdev, SURFOBJ* dst) {
    return pdev && dst && pdev->bandBitDepth == 1 && dst->iBitmapFormat == BMF_1BPP &&
           dst->hsurf == pdev->surface;
}

COLORADJUSTMENT* BandAdjustment(PDEV* pdev) {
    ImagingState* st = Imaging(pdev);
    if (!st) return nullptr;
    COLORADJUSTMENT& ca = st->bandAdjust;
    if (!ca.caSize) {
        ca.caSize = sizeof ca;
        ca.caRedGamma = ca.caGreenGamma = ca.caBlueGamma = kNeutralGamma;
        ca.caReferenceWhite = kReferenceWhite;
    }
    return &ca;
}

BOOL BandCopyBits(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo,
                  RECTL* destRect, POINTL* srcPoint) {
    if (!IsMonoBand(pdev, dst)) return EngCopyBits(dst, src, pco, xlo, destRect, srcPoint);
    COLORADJUSTMENT* record = BandAdjustment(pdev);
    if (!record || !destRect || !srcPoint) return FALSE;
    RECTL s{srcPoint->x, srcPoint->y, srcPoint->x + (destRect->right - destRect->left),
            srcPoint->y + (destRect->bottom - destRect->top)};
    POINTL origin{0, 0};
    return EngStretchBlt(dst, src, nullptr, pco, xlo, record, &origin, destRect, &s, nullptr,
                         HALFTONE);
}

BOOL StretchInBand(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                   XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                   RECTL* srcRect, POINTL* maskPoint) {
    if (!PlainBitmap(src)) return FALSE;
    const ULONG mode = BandStretchMode(pdev);
    if (!IsMonoBand(pdev, dst))
        return EngStretchBlt(dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect, maskPoint,
                             mode);
    return WithAdjustment(pdev, [&](COLORADJUSTMENT* record) {
        POINTL origin{0, 0};
        return EngStretchBlt(dst, src, mask, pco, xlo, pca ? pca : record, htOrg ? htOrg : &origin,
                             destRect, srcRect, maskPoint, mode);
    });
}

BOOL StretchRopInBand(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                      XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                      RECTL* srcRect, POINTL* maskPoint, BRUSHOBJ* pbo, DWORD rop4) {
    if (!PlainBitmap(src)) return FALSE;
    const ULONG mode = BandStretchMode(pdev);
    auto stretch = [&](SURFOBJ* from, COLORADJUSTMENT* ca, POINTL* org) {
        return EngStretchBltROP(dst, from, mask, pco, xlo, ca, org, destRect, srcRect, maskPoint,
                                mode, pbo, rop4);
    };
    // A source the engine does not take as it is goes again as its copy.
    auto run = [&](COLORADJUSTMENT* ca, POINTL* org) {
        if (stretch(src, ca, org)) return TRUE;
        SURFOBJ* copy = CopyToTempBitmap(src);
        if (!copy) return FALSE;
        BOOL ok = stretch(copy, ca, org);
        FreeTempBitmap(copy);
        return ok;
    };
    if (!IsMonoBand(pdev, dst)) return run(pca, htOrg);
    return WithAdjustment(pdev, [&](COLORADJUSTMENT* record) {
        POINTL origin{0, 0};
        return run(pca ? pca : record, htOrg ? htOrg : &origin);
    });
}

BOOL BandBitBlt(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                RECTL* destRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo,
                POINTL* brushOrg, ROP4 rop4) {
    rop4 &= 0xFFFF;
    // A copy of an image onto the 1-bit band, whole or through a mask, is halftoned.
    if (IsMonoBand(pdev, dst) && destRect && src && srcPoint &&
        (rop4 == 0xCCCC || rop4 == 0xCCAA)) {
        COLORADJUSTMENT* record = BandAdjustment(pdev);
        if (!record) return FALSE;
        RECTL s{srcPoint->x, srcPoint->y, srcPoint->x + (destRect->right - destRect->left),
                srcPoint->y + (destRect->bottom - destRect->top)};
        POINTL origin{0, 0};
        if (EngStretchBltROP(dst, src, mask, pco, xlo, record, &origin, destRect, &s, maskPoint,
                             HALFTONE, nullptr, rop4))
            return TRUE;
        return EngBitBlt(dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo, brushOrg,
                         rop4);
    }
    const DWORD fore = rop4 & 0xFF, back = rop4 >> 8;
    const bool patternBrush = pbo && pbo->iSolidColor == 0xFFFFFFFF;
    if (!destRect || !patternBrush || fore != back || !ClassifyRop(fore))
        return EngBitBlt(dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo, brushOrg,
                         rop4);
    const auto* brush = static_cast<const BandBrush*>(BRUSHOBJ_pvGetRbrush(pbo));
    SURFOBJ* pattern = brush ? RenderToTempBitmap(brush) : nullptr;
    if (!pattern)
        return EngBitBlt(dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo, brushOrg,
                         rop4);
    // Only the part of the destination on the band and inside the clip.
    RECTL area = Cut(*destRect, RECTL{0, 0, dst->sizlBitmap.cx, dst->sizlBitmap.cy});
    if (pco && pco->iDComplexity != DC_TRIVIAL) area = Cut(area, pco->rclBounds);
    BOOL ok = TRUE;
    if (!Empty(area)) {
        SURFOBJ* tiled =
            NewTempBitmap(SIZEL{area.right - area.left, area.bottom - area.top}, BMF_1BPP);
        const POINTL org = brushOrg ? *brushOrg : POINTL{0, 0};
        ok = tiled && TileBitmapBlt(pattern, tiled, POINTL{area.left - org.x, area.top - org.y});
        if (ok) {
            // Where the pattern is white (every bit set) the operation
            // reads as its upper half, where it is black as its lower half.
            const DWORD onWhite = (fore & 0xF0) | (fore >> 4);
            const DWORD onBlack = (fore & 0x0F) | ((fore & 0x0F) << 4);
            POINTL from{0, 0}, maskAt{0, 0};
            if (srcPoint)
                from = POINTL{srcPoint->x + (area.left - destRect->left),
                              srcPoint->y + (area.top - destRect->top)};
            ok = EngBitBlt(dst, src, tiled, pco, xlo, &area, srcPoint ? &from : nullptr, &maskAt,
                           nullptr, nullptr, (onBlack << 8) | onWhite);
        }
        if (tiled) FreeTempBitmap(tiled);
    }
    FreeTempBitmap(pattern);
    return ok;
}

BOOL PutGradientInBand(PDEV* pdev, SURFOBJ* dst, CLIPOBJ* pco, SURFOBJ* shaded, SURFOBJ* mask,
                       const RECTL& at) {
    RECTL local{0, 0, at.right - at.left, at.bottom - at.top};
    RECTL target = at;
    POINTL zero{0, 0};
    // A band of other than 24 bits takes the colours through halftoning.
    if (IsMonoBand(pdev, dst) || dst->iBitmapFormat != BMF_24BPP) {
        COLORADJUSTMENT* record = BandAdjustment(pdev);
        if (!record) return FALSE;
        return EngStretchBlt(dst, shaded, mask, pco, nullptr, record, &zero, &target, &local,
                             mask ? &zero : nullptr, HALFTONE);
    }
    if (mask)
        return EngBitBlt(dst, shaded, mask, pco, nullptr, &target, &zero, &zero, nullptr, nullptr,
                         0xAACC);
    return EngCopyBits(dst, shaded, pco, nullptr, &target, &zero);
}

SURFOBJ* NewTempBitmap(SIZEL size, ULONG format) {
    HSURF h = reinterpret_cast<HSURF>(EngCreateBitmap(size, 0, format, BMF_TOPDOWN, nullptr));
    if (!h) return nullptr;
    SURFOBJ* so = EngLockSurface(h);
    if (!so) EngDeleteSurface(h);
    return so;
}

void FreeTempBitmap(SURFOBJ* so) {
    if (!so) return;
    HSURF h = so->hsurf;
    EngUnlockSurface(so);
    EngDeleteSurface(h);
}

SURFOBJ* CopyToTempBitmap(SURFOBJ* src) {
    if (!PlainBitmap(src)) return nullptr;
    SURFOBJ* copy = NewTempBitmap(src->sizlBitmap, src->iBitmapFormat);
    if (!copy) return nullptr;
    RECTL all{0, 0, src->sizlBitmap.cx, src->sizlBitmap.cy};
    POINTL zero{0, 0};
    if (!EngBitBlt(copy, src, nullptr, nullptr, nullptr, &all, &zero, nullptr, nullptr, nullptr,
                   0xCCCC)) {
        FreeTempBitmap(copy);
        return nullptr;
    }
    return copy;
}

SURFOBJ* RenderToTempBitmap(const BandBrush* brush) {
    if (!brush || !brush->bits || brush->width < 1 || brush->height < 1 ||
        brush->stride < (brush->width + 7) / 8 ||
        brush->dataSize < static_cast<ULONG>(brush->stride) * static_cast<ULONG>(brush->height))
        return nullptr;
    SURFOBJ* so = NewTempBitmap(SIZEL{brush->width, brush->height}, BMF_1BPP);
    if (!so) return nullptr;
    const size_t rowBytes = static_cast<size_t>(brush->width + 7) / 8;
    for (LONG y = 0; y < brush->height; ++y)
        std::memcpy(static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta,
                    brush->bits + static_cast<size_t>(y) * static_cast<size_t>(brush->stride),
                    rowBytes);
    return so;
}

bool TileBitmapBlt(SURFOBJ* tile, SURFOBJ* target, POINTL phase) {
    if (!PlainBitmap(tile) || !PlainBitmap(target) || tile->iBitmapFormat != BMF_1BPP ||
        target->iBitmapFormat != BMF_1BPP)
        return false;
    const LONG w = tile->sizlBitmap.cx, h = tile->sizlBitmap.cy;
    auto mod = [](LONG v, LONG m) { return ((v % m) + m) % m; };
    const LONG x0 = mod(phase.x, w), y0 = mod(phase.y, h);
    for (LONG y = 0; y < target->sizlBitmap.cy; ++y) {
        const BYTE* from = static_cast<const BYTE*>(tile->pvScan0) +
                           static_cast<ptrdiff_t>((y0 + y) % h) * tile->lDelta;
        BYTE* to = static_cast<BYTE*>(target->pvScan0) + static_cast<ptrdiff_t>(y) * target->lDelta;
        std::memset(to, 0, static_cast<size_t>(target->sizlBitmap.cx + 7) / 8);
        LONG tx = x0;
        for (LONG x = 0; x < target->sizlBitmap.cx; ++x) {
            if ((from[tx >> 3] >> (7 - (tx & 7))) & 1)
                to[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
            if (++tx == w) tx = 0;
        }
    }
    return true;
}

} // namespace inkforge
