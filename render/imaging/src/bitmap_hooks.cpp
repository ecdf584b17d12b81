// The bitmap hooks: each decides by the job's road. Banding lets the engine
// render into the band, halftoning images onto a 1-bit band and tiling
// pattern brushes itself (band_hooks.cpp); a job recorded for the spool side
// records each call into its open page file, and draws nothing while none
// is open; device-surface jobs turn images into image blocks and fills into
// the vector writers' commands.
#include <algorithm>
#include <cstring>
#include <vector>

#include "band_hooks.h"
#include "emf_job.h"
#include "emf_recorder.h"
#include "imaging_hooks.h"
#include "imaging_state.h"
#include "output_writer.h"
#include "pdev.h"
#include "raster_encode.h"
#include "vector_pattern.h"
#include "vector_tokens.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr DWORD kSrcCopy = 0xCC;
constexpr DWORD kNoOp = 0xAA;
constexpr DWORD kMaskPassRop = 0xEE;
constexpr DWORD kImagePassRop = 0x88;
constexpr ULONG kBatch = 20;

enum class Road { Fail, Done, Band, Spool, Device };

// The common entry of every hook.
Road Enter(SURFOBJ* pso, PDEV** out) {
    PDEV* pdev = CheckedPdev(pso);
    *out = pdev;
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Road::Fail;
    }
    if (pdev->jobFlags & job::Cancelled) return Road::Fail;
    pdev->pollSurface = pso;
    RestartAbortTimer(pdev);
    if (pdev->banding) return Road::Band;
    if (!(pdev->jobFlags & job::PageOpen) || ((pdev->firstPageOnly & 1) && pdev->pageCount > 1))
        return Road::Done;
    // The spool side records the call into the page file; without one the
    // call succeeds without output.
    if (pdev->modeFlags & mode::SpoolSide) return Road::Spool;
    return Road::Device;
}

// A hook without the rectangle it draws to, or the source it draws from,
// has nothing it could draw: refused on every road alike, as bad input.
bool MissingRects(const void* dest, const void* source) {
    if (dest && source) return false;
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}

LONG MapEdge(LONG c, LONG d0, LONG dw, LONG s0, LONG sw) {
    LONGLONG v =
        s0 + (static_cast<LONGLONG>(c - d0) * sw * 2 + dw) / (static_cast<LONGLONG>(dw) * 2);
    return static_cast<LONG>(v);
}

bool SameRect(const RECTL& a, const RECTL& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The part of the source that a clip rectangle of the destination shows.
// The whole source stands for a clip rectangle that is the clip's bounds
// and the whole destination; one that is the bounds but lies inside the
// destination shows only its part, so that the image is cut, not squeezed.
RECTL MapSource(const RECTL& clip, const RECTL& d, const RECTL& s, const CLIPOBJ* pco) {
    if ((!pco || SameRect(clip, pco->rclBounds)) && SameRect(clip, d)) return s;
    LONG dw = std::max<LONG>(1, d.right - d.left), dh = std::max<LONG>(1, d.bottom - d.top);
    LONG sw = s.right - s.left, sh = s.bottom - s.top;
    RECTL r{MapEdge(clip.left, d.left, dw, s.left, sw), MapEdge(clip.top, d.top, dh, s.top, sh),
            MapEdge(clip.right, d.left, dw, s.left, sw),
            MapEdge(clip.bottom, d.top, dh, s.top, sh)};
    auto clampX = [&](LONG v) { return std::clamp(v, s.left, s.right); };
    auto clampY = [&](LONG v) { return std::clamp(v, s.top, s.bottom); };
    r = RECTL{clampX(r.left), clampY(r.top), clampX(r.right), clampY(r.bottom)};
    // A clip rectangle narrower than one source pixel of an enlarging
    // stretch maps to no source at all; it shows the source pixel under
    // its middle.
    auto middle = [](LONG c0, LONG c1, LONG d0, LONG width, LONG s0, LONG s1) {
        LONGLONG v = s0 + (static_cast<LONGLONG>(c0 + c1 - 2 * d0) * (s1 - s0)) /
                              (static_cast<LONGLONG>(width) * 2);
        return static_cast<LONG>(std::clamp<LONGLONG>(v, s0, s1 - 1));
    };
    if (r.right <= r.left && s.right > s.left) {
        r.left = middle(clip.left, clip.right, d.left, dw, s.left, s.right);
        r.right = r.left + 1;
    }
    if (r.bottom <= r.top && s.bottom > s.top) {
        r.top = middle(clip.top, clip.bottom, d.top, dh, s.top, s.bottom);
        r.bottom = r.top + 1;
    }
    return r;
}

bool Intersect(const RECTL& a, const RECTL& b, RECTL* out) {
    RECTL r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return false;
    *out = r;
    return true;
}

// Calls `each` with every part of the destination that the clip shows (the
// clip rectangle set before each), and whether that part is the clip's whole
// bounds; stops at the first result other than kImageSent.
template <class Each> int ForClipRects(PDEV* pdev, CLIPOBJ* pco, const RECTL& dest, Each each) {
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        SetClipRect(pdev, nullptr);
        return each(dest, true);
    }
    if (pco->iDComplexity == DC_RECT) {
        RECTL c;
        if (!Intersect(pco->rclBounds, dest, &c)) return kImageSent;
        SetClipRect(pdev, &c);
        return each(c, std::memcmp(&c, &pco->rclBounds, sizeof c) == 0);
    }
    int result = kImageSent;
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
    struct {
        ULONG c;
        RECTL r[kBatch];
    } batch;
    bool more = true;
    while (more && result == kImageSent) {
        batch.c = 0;
        more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
        for (ULONG i = 0; i < std::min(batch.c, kBatch) && result == kImageSent; ++i) {
            RECTL c;
            if (!Intersect(batch.r[i], dest, &c)) continue;
            SetClipRect(pdev, &c);
            result = each(c, std::memcmp(&c, &pco->rclBounds, sizeof c) == 0);
        }
    }
    SetClipRect(pdev, nullptr);
    return result;
}

// An image to the destination under the clip: one image for a simple clip,
// one per clip rectangle otherwise. The worst result counts.
int SendClipped(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                const RECTL& srcRect, DWORD rop, const ColorKey* key) {
    return ForClipRects(pdev, pco, dest, [&](const RECTL& c, bool whole) {
        RECTL s = whole && SameRect(c, dest) ? srcRect : MapSource(c, dest, srcRect, pco);
        // An empty source has nothing to send, and the walk goes on
        // (ending it would send the rectangles before it a second time).
        if (s.right <= s.left || s.bottom <= s.top) return kImageSent;
        return OutputImage(pdev, src, xlo, &c, &s, nullptr, rop, 0, key);
    });
}

// A realized pattern over the destination under the clip: selected as the
// printer's brush and each rectangle painted with it, or, for a pattern that
// goes out as a tiled image, that image covering each rectangle.
BOOL FillWithPattern(PDEV* pdev, CLIPOBJ* pco, const RECTL& dest, const RealizedBrush* brush,
                     DWORD rop, bool transparent) {
    return ForClipRects(pdev, pco, dest, [&](const RECTL& c, bool) {
               if (!SetBrush(pdev, brush, &c, rop, transparent)) return kImageFailed;
               // A tiled pattern was drawn as images already.
               if (!brush->uniform && Vector(pdev).currentPattern < 0) return kImageSent;
               return SelectNoPen(pdev) &&
                              EmitRectangle(pdev, POINTL{c.left, c.top}, POINTL{c.right, c.bottom})
                          ? kImageSent
                          : kImageFailed;
           }) == kImageSent;
}

// The call's brush over the destination under the clip: a solid colour
// through the solid fills of the clip's rectangles, a realized pattern (null
// when the brush has none) through the pattern fill.
BOOL FillClipRects(PDEV* pdev, CLIPOBJ* pco, const RECTL& dest, BRUSHOBJ* pbo,
                   const RealizedBrush* pattern, DWORD rop, bool transparent) {
    if (pbo && pbo->iSolidColor != 0xFFFFFFFF)
        return FillRectsWithBrush(pdev, pco, pbo->iSolidColor, rop, transparent);
    return pattern && FillWithPattern(pdev, pco, dest, pattern, rop, transparent);
}

bool IsDeviceSurface(const PDEV* pdev, const SURFOBJ* s) {
    return s && (s->iType != STYPE_BITMAP || s->hsurf == pdev->surface);
}

// Operations of pattern and source only, by the pattern-and-destination one that paints the brush
// afterwards.
DWORD BrushAfterImage(DWORD rop) {
    switch (rop) {
    case 0x03:
        return 0x05;
    case 0x0C:
        return 0x0A;
    case 0x30:
        return 0x50;
    case 0x3C:
        return 0x5A;
    case 0x3F:
        return 0x5F;
    case 0xC0:
        return 0xA0;
    case 0xC3:
        return 0xA5;
    case 0xCF:
        return 0xAF;
    case 0xF3:
        return 0xF5;
    case 0xFC:
        return 0xFA;
    default:
        return 0;
    }
}

// Whether the operation's result depends on the destination.
bool ReadsDestination(DWORD rop) {
    return ((rop >> 1) & 0x55) != (rop & 0x55);
}

// The part of a stretch's destination that a simple clip shows, its left
// edge not before the page's; false when nothing of it shows.
bool ClipPathBounds(const CLIPOBJ* pco, const RECTL& dest, RECTL* out) {
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        *out = dest;
        return dest.right > dest.left && dest.bottom > dest.top;
    }
    RECTL bounds = pco->rclBounds;
    bounds.left = std::max<LONG>(bounds.left, 0);
    return Intersect(bounds, dest, out);
}

// The device-surface rule of both stretches (`rop4` the operation with its
// background byte); `engine` is the engine's own stretch of the call. The
// model's engine bits hold for operations that cover the destination: the
// engine cannot read the page back, and would draw one that reads it
// against paper white and cover what the page holds.
template <class Engine>
BOOL DeviceStretch(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& d,
                   const RECTL& s, DWORD rop4, Engine engine) {
    const DWORD rop = rop4 & 0xFF;
    const bool readsPage = ReadsDestination(rop) || ReadsDestination((rop4 >> 8) & 0xFF);
    if (d.right < d.left || d.bottom < d.top || IsDeviceSurface(pdev, src)) return engine();
    const LONGLONG destArea = static_cast<LONGLONG>(d.right - d.left) * (d.bottom - d.top);
    const LONGLONG srcArea =
        static_cast<LONGLONG>(std::abs(s.right - s.left)) * std::abs(s.bottom - s.top);
    if (!readsPage &&
        ((pdev->modelCaps & caps::StretchByEngine) ||
         ((pdev->modelCaps & caps::ShrinkByEngine) && destArea < srcArea)) &&
        engine())
        return TRUE;
    SetTransferModes(pdev, false);
    int r;
    if (pco && pco->iDComplexity == DC_COMPLEX) {
        r = SendClipped(pdev, src, pco, xlo, d, s, rop, nullptr);
    } else {
        RECTL c;
        if (!ClipPathBounds(pco, d, &c)) return TRUE;
        SetClipRect(pdev, pco && pco->iDComplexity == DC_RECT ? &c : nullptr);
        RECTL part = MapSource(c, d, s, pco);
        r = part.right <= part.left || part.bottom <= part.top
                ? kImageSent
                : OutputImage(pdev, src, xlo, &c, &part, nullptr, rop, 0, nullptr);
    }
    if (r == kImageSent) return TRUE;
    if (pdev->jobFlags & job::Cancelled) return FALSE;
    return engine();
}

} // namespace

// Whether the operation reads the pattern: all but the sixteen that give the
// same result for either pattern bit.
bool ClassifyRop(DWORD rop) {
    return (rop & 0xFF) % 0x11 != 0;
}

namespace {

bool PatternDestOnly(DWORD rop) {
    return ((rop >> 2) & 0x33) == (rop & 0x33);
}
bool SourceDestOnly(DWORD rop) {
    return ((rop >> 4) & 0x0F) == (rop & 0x0F);
}

// The image of a pattern fill tiled by the vector writers.
BOOL TiledPatternImage(PDEV* pdev, SURFOBJ* bitmap, XLATEOBJ* xlate, const RECTL* target,
                       const RECTL* source, BYTE rop) {
    bitmap->iType = STYPE_BITMAP;
    // The pattern's table holds the device's colours for its indexes, as the
    // made-up table of a band image does; the image gate takes it only when
    // the source is not marked as an engine index or BGR palette.
    XLATEOBJ table{};
    if (xlate) {
        table = *xlate;
        table.iSrcType = PAL_RGB;
    }
    return OutputImage(pdev, bitmap, xlate ? &table : nullptr, target, source, nullptr, rop, 0,
                       nullptr) == kImageSent;
}

const bool kTiledImagesJoined = [] {
    SetOutputImage(&TiledPatternImage);
    return true;
}();

} // namespace

BOOL SendPageImage(PDEV* pdev, SURFOBJ* s, const RECTL* dest, const RECTL* srcRect) {
    if (!s || !s->pvScan0 || !s->lDelta || s->iType != STYPE_BITMAP) return TRUE;
    SetClipRect(pdev, nullptr);
    // The page carries the default palette of its format.
    XLATEOBJ xlate{};
    xlate.flXlate = XO_TRIVIAL;
    xlate.iSrcType = PAL_RGB;
    return OutputImage(pdev, s, &xlate, dest, srcRect, nullptr, kSrcCopy, 1, nullptr) == kImageSent;
}

BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* destRect,
                          POINTL* srcPoint) {
    PDEV* pdev = nullptr;
    // A copy from the page into one of the engine's bitmaps carries the
    // physical device on its source.
    SURFOBJ* device = !CheckedPdev(dst) && src && CheckedPdev(src) ? src : dst;
    switch (Enter(device, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool:
        if (MissingRects(destRect, srcPoint)) return FALSE;
        // The recorded page cannot be read back either: paper, as below.
        if (IsDeviceSurface(pdev, src))
            return EngEraseSurface(dst, destRect,
                                   xlo ? XLATEOBJ_iXlate(xlo, 0xFFFFFFFF) : 0xFFFFFFFF);
        if (!RecordingPage(pdev)) return TRUE;
        return RecordCopyBits(pdev, src, pco, xlo, *destRect, *srcPoint);
    case Road::Band:
        return BandCopyBits(pdev, dst, src, pco, xlo, destRect, srcPoint);
    case Road::Device:
        break;
    }
    if (MissingRects(destRect, srcPoint)) return FALSE;
    // Nothing of the page can be read back: a copy from it gets the
    // colour of the paper, what the translation gives for index -1.
    if (IsDeviceSurface(pdev, src))
        return EngEraseSurface(dst, destRect, xlo ? XLATEOBJ_iXlate(xlo, 0xFFFFFFFF) : 0xFFFFFFFF);
    SetTransferModes(pdev, false);
    RECTL s{srcPoint->x, srcPoint->y, srcPoint->x + (destRect->right - destRect->left),
            srcPoint->y + (destRect->bottom - destRect->top)};
    return SendClipped(pdev, src, pco, xlo, *destRect, s, kSrcCopy, nullptr) == kImageSent;
}

BOOL APIENTRY DrvStretchBltROP(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                               XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                               RECTL* srcRect, POINTL* maskPoint, ULONG mode, BRUSHOBJ* pbo,
                               DWORD rop4) {
    PDEV* pdev = nullptr;
    switch (Enter(dst, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool:
        if (MissingRects(destRect, srcRect)) return FALSE;
        if (!RecordingPage(pdev)) return TRUE;
        if (!mask && ((rop4 >> 8) & 0xFF) == (rop4 & 0xFF) &&
            RecordStretchBltROP(pdev, src, pco, xlo, *destRect, *srcRect, mode, pbo, rop4 & 0xFF))
            return TRUE;
        return EngStretchBltROP(dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect, maskPoint,
                                mode, pbo, rop4);
    case Road::Band:
        return StretchRopInBand(pdev, dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect,
                                maskPoint, pbo, rop4);
    case Road::Device:
        break;
    }
    if (MissingRects(destRect, srcRect)) return FALSE;
    return DeviceStretch(pdev, src, pco, xlo, *destRect, *srcRect, rop4 & 0xFFFF, [&] {
        return EngStretchBltROP(dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect, maskPoint,
                                mode, pbo, rop4);
    });
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                            COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect, RECTL* srcRect,
                            POINTL* maskPoint, ULONG mode) {
    PDEV* pdev = nullptr;
    switch (Enter(dst, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool:
        if (MissingRects(destRect, srcRect)) return FALSE;
        if (!RecordingPage(pdev)) return TRUE;
        if (!mask && RecordStretchBlt(pdev, src, pco, xlo, *destRect, *srcRect, mode)) return TRUE;
        return EngStretchBlt(dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect, maskPoint,
                             mode);
    case Road::Band:
        return StretchInBand(pdev, dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect,
                             maskPoint);
    case Road::Device:
        break;
    }
    if (MissingRects(destRect, srcRect)) return FALSE;
    return DeviceStretch(pdev, src, pco, xlo, *destRect, *srcRect, kSrcCopy << 8 | kSrcCopy, [&] {
        return EngStretchBlt(dst, src, mask, pco, xlo, pca, htOrg, destRect, srcRect, maskPoint,
                             mode);
    });
}

BOOL APIENTRY DrvBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                        RECTL* destRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo,
                        POINTL* brushOrg, ROP4 rop4) {
    PDEV* pdev = nullptr;
    switch (Enter(dst, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool: {
        // A source position is needed only where the operation reads a source.
        if (MissingRects(destRect, destRect)) return FALSE;
        if (!RecordingPage(pdev)) return TRUE;
        POINTL origin = srcPoint ? *srcPoint : POINTL{0, 0};
        if (!mask && ((rop4 >> 8) & 0xFF) == (rop4 & 0xFF) &&
            RecordBitBlt(pdev, src, pco, xlo, *destRect, origin, pbo, rop4 & 0xFF))
            return TRUE;
        return EngBitBlt(dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo, brushOrg,
                         rop4);
    }
    case Road::Band:
        return BandBitBlt(pdev, dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo,
                          brushOrg, rop4);
    case Road::Device:
        break;
    }
    if (MissingRects(destRect, destRect)) return FALSE;
    const DWORD rop = rop4 & 0xFF;
    const bool transparent = ((rop4 >> 8) & 0xFF) == kNoOp;
    if (rop == kNoOp) return TRUE;
    const bool solidBrush = pbo && pbo->iSolidColor != 0xFFFFFFFF;
    // A pattern brush is realized only for an operation that reads it.
    const RealizedBrush* pattern =
        !solidBrush && pbo && ClassifyRop(rop)
            ? static_cast<const RealizedBrush*>(BRUSHOBJ_pvGetRbrush(pbo))
            : nullptr;
    auto fill = [&](ULONG colour, DWORD fillRop) {
        return FillRectsWithBrush(pdev, pco, colour, fillRop, transparent);
    };
    auto brushFill = [&](DWORD fillRop) {
        return FillClipRects(pdev, pco, *destRect, pbo, pattern, fillRop, transparent);
    };
    auto image = [&](DWORD imageRop) -> int {
        if (!src || !srcPoint || IsDeviceSurface(pdev, src)) return kImageNotHandled;
        SetTransferModes(pdev, transparent);
        RECTL s{srcPoint->x, srcPoint->y, srcPoint->x + (destRect->right - destRect->left),
                srcPoint->y + (destRect->bottom - destRect->top)};
        return SendClipped(pdev, src, pco, xlo, *destRect, s, imageRop, nullptr);
    };
    const bool brushFills = PatternDestOnly(rop) || BrushAfterImage(rop);
    // A brush that is neither solid nor a realized pattern cannot be sent,
    // nor a pattern under an operation of pattern, source and destination
    // together. The engine draws such a call into a bitmap that starts as
    // paper white and covers the destination with it: right for an
    // operation whose result does not depend on the destination, but one
    // that reads it (a transparent hatch) would paint over what the page
    // already holds, so that call fails instead of printing something else.
    if (!solidBrush && pbo && (brushFills || !SourceDestOnly(rop)) && rop != 0x00 && rop != 0x55 &&
        rop != 0xFF && !(pattern && brushFills) &&
        (ReadsDestination(rop) || ReadsDestination((rop4 >> 8) & 0xFF))) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    BOOL handled = FALSE;
    if (rop == 0x00 || rop == 0x55) {
        handled = fill(pdev->blackColor, rop);
    } else if (rop == 0xFF) {
        handled = fill(pdev->whiteColor, rop);
    } else if (PatternDestOnly(rop)) {
        handled = brushFill(rop);
    } else if (DWORD brushRop = BrushAfterImage(rop)) {
        handled = image(kSrcCopy) == kImageSent && brushFill(brushRop);
    } else if (SourceDestOnly(rop)) {
        handled = image(rop) == kImageSent;
    } else if (solidBrush && SetSolidBrush(pdev, nullptr, pbo->iSolidColor, rop, transparent)) {
        handled = image(rop) == kImageSent;
    }
    if (handled) return TRUE;
    if (pdev->jobFlags & job::Cancelled) return FALSE;
    return EngBitBlt(dst, src, mask, pco, xlo, destRect, srcPoint, maskPoint, pbo, brushOrg, rop4);
}

BOOL APIENTRY DrvTransparentBlt(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo,
                                RECTL* destRect, RECTL* srcRect, ULONG transColor, ULONG reserved) {
    PDEV* pdev = nullptr;
    switch (Enter(dst, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool:
        if (MissingRects(destRect, srcRect)) return FALSE;
        if (!RecordingPage(pdev)) return TRUE;
        if (RecordTransparentBlt(pdev, src, pco, xlo, *destRect, *srcRect, transColor)) return TRUE;
        return EngTransparentBlt(dst, src, pco, xlo, destRect, srcRect, transColor, reserved);
    case Road::Band:
        return EngTransparentBlt(dst, src, pco, xlo, destRect, srcRect, transColor, reserved);
    case Road::Device:
        break;
    }
    if (MissingRects(destRect, srcRect)) return FALSE;
    if (!IsDeviceSurface(pdev, src)) {
        ColorKey maskPass{1, transColor};
        ColorKey imagePass{0, transColor};
        SendClipped(pdev, src, pco, xlo, *destRect, *srcRect, kMaskPassRop, &maskPass);
        if (SendClipped(pdev, src, pco, xlo, *destRect, *srcRect, kImagePassRop, &imagePass) ==
            kImageSent)
            return TRUE;
    }
    return EngTransparentBlt(dst, src, pco, xlo, destRect, srcRect, transColor, reserved);
}

namespace {

// The gradient shaded by the engine into a 24-bit bitmap of its rectangle
// (or, when that cannot be had, into one of a single row, row by row), then
// sent to the page as an image, or put into the band: triangles through a
// mask of the pixels they cover, rectangles, which cover all of theirs,
// whole. 0: not drawn, for the engine to draw.
int RenderGradient(PDEV* pdev, SURFOBJ* dst, CLIPOBJ* pco, XLATEOBJ* xlo, const TRIVERTEX* vertices,
                   ULONG nVertex, const void* mesh, ULONG nMesh, const RECTL* extents, ULONG mode) {
    if (!dst || !extents || !vertices || !mesh || mode > GRADIENT_FILL_TRIANGLE) return 0;
    const bool triangles = mode == GRADIENT_FILL_TRIANGLE;
    const ULONG per = triangles ? 3 : 2;
    // Only the elements whose vertices exist are shaded.
    std::vector<ULONG> kept;
    const ULONG* elements = static_cast<const ULONG*>(mesh);
    for (ULONG i = 0; i < nMesh; ++i) {
        const ULONG* e = elements + static_cast<size_t>(i) * per;
        if (std::all_of(e, e + per, [&](ULONG v) { return v < nVertex; }))
            kept.insert(kept.end(), e, e + per);
    }
    RECTL r{std::min(extents->left, extents->right), std::min(extents->top, extents->bottom),
            std::max(extents->left, extents->right), std::max(extents->top, extents->bottom)};
    // What lies off the surface is never seen.
    RECTL on;
    if (kept.empty() || !Intersect(r, RECTL{0, 0, dst->sizlBitmap.cx, dst->sizlBitmap.cy}, &on))
        return 1;
    r = on;
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const ULONG count = static_cast<ULONG>(kept.size() / per);
    LONG rows = h;
    SURFOBJ* shaded = NewTempBitmap(SIZEL{w, h}, BMF_24BPP);
    if (!shaded) {
        rows = 1;
        shaded = NewTempBitmap(SIZEL{w, 1}, BMF_24BPP);
        if (!shaded) return 0;
    }
    const bool band = pdev->banding != 0;
    SURFOBJ* shape = nullptr;
    SURFOBJ* mask = nullptr;
    if (band && triangles) {
        shape = NewTempBitmap(SIZEL{w, rows}, BMF_24BPP);
        mask = NewTempBitmap(SIZEL{w, rows}, BMF_1BPP);
    }
    bool ok = !(band && triangles) || (shape && mask);
    std::vector<TRIVERTEX> moved(vertices, vertices + nVertex);
    POINTL origin{0, 0};
    // The page image and a colour band take the shaded bitmap's pixels as
    // the device's: the vertices' colours through the call's translation
    // from RGB, else as the RGB colours of the device's palette. A band that
    // halftones it reads the bitmap in its own colours.
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    XLATEOBJ* device = xlo ? xlo : &trivial;
    if (band && (IsMonoBand(pdev, dst) || dst->iBitmapFormat != BMF_24BPP)) device = nullptr;
    for (LONG top = 0; ok && top < h; top += rows) {
        const LONG n = std::min(rows, h - top);
        RECTL local{0, 0, w, n};
        for (ULONG i = 0; i < nVertex; ++i)
            moved[i].x = vertices[i].x - r.left, moved[i].y = vertices[i].y - (r.top + top);
        EngEraseSurface(shaded, &local, triangles ? 0xFFFFFF : 0);
        ok = EngGradientFill(shaded, nullptr, device, moved.data(), nVertex, kept.data(), count,
                             &local, &origin, mode);
        const RECTL at{r.left, r.top + top, r.right, r.top + top + n};
        if (ok && !band) {
            XLATEOBJ rgb{};
            rgb.flXlate = XO_TRIVIAL;
            rgb.iSrcType = PAL_RGB;
            SetTransferModes(pdev, false);
            ok = SendClipped(pdev, shaded, pco, &rgb, at, local, kSrcCopy, nullptr) == kImageSent;
        } else if (ok) {
            if (mask) {
                // The triangles once more, black on white: their pixels.
                std::vector<TRIVERTEX> black = moved;
                for (TRIVERTEX& v : black)
                    v.Red = v.Green = v.Blue = v.Alpha = 0;
                EngEraseSurface(shape, &local, 0xFFFFFF);
                ok = EngGradientFill(shape, nullptr, nullptr, black.data(), nVertex, kept.data(),
                                     count, &local, &origin, mode);
                for (LONG y = 0; ok && y < n; ++y) {
                    const BYTE* from = static_cast<const BYTE*>(shape->pvScan0) +
                                       static_cast<ptrdiff_t>(y) * shape->lDelta;
                    BYTE* to = static_cast<BYTE*>(mask->pvScan0) +
                               static_cast<ptrdiff_t>(y) * mask->lDelta;
                    std::memset(to, 0, static_cast<size_t>(w + 7) / 8);
                    for (LONG x = 0; x < w; ++x)
                        if (!(from[3 * x] | from[3 * x + 1] | from[3 * x + 2]))
                            to[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                }
            }
            ok = ok && PutGradientInBand(pdev, dst, pco, shaded, mask, at);
        }
    }
    FreeTempBitmap(mask);
    FreeTempBitmap(shape);
    FreeTempBitmap(shaded);
    return ok ? 1 : 0;
}

} // namespace

BOOL APIENTRY DrvGradientFill(SURFOBJ* dst, CLIPOBJ* pco, XLATEOBJ* xlo, TRIVERTEX* vertices,
                              ULONG nVertex, PVOID mesh, ULONG nMesh, RECTL* extents,
                              POINTL* ditherOrg, ULONG mode) {
    PDEV* pdev = nullptr;
    switch (Enter(dst, &pdev)) {
    case Road::Fail:
        return FALSE;
    case Road::Done:
        return TRUE;
    case Road::Spool:
        if (!RecordingPage(pdev)) return TRUE;
        return RecordGradientFill(pdev, pco, vertices, nVertex, mesh, nMesh, mode);
    case Road::Band:
    case Road::Device:
        break;
    }
    if (RenderGradient(pdev, dst, pco, xlo, vertices, nVertex, mesh, nMesh, extents, mode))
        return TRUE;
    if (pdev->jobFlags & job::Cancelled) return FALSE;
    return EngGradientFill(dst, pco, xlo, vertices, nVertex, mesh, nMesh, extents, ditherOrg, mode);
}

} // namespace inkforge
