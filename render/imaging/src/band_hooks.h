// The banded job's own rules for the bitmap hooks: what the engine draws
// into the band as it is, and what it halftones onto a 1-bit band.
#pragma once

#include "brush_realize.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// Whether `dst` is the job's 1-bit banding surface, onto which colour
// images are halftoned rather than matched to black or white.
bool IsMonoBand(PDEV* pdev, SURFOBJ* dst);
// The colour adjustment of halftoning onto the band; null without the
// imaging state.
COLORADJUSTMENT* BandAdjustment(PDEV* pdev);

BOOL BandCopyBits(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo,
                  RECTL* destRect, POINTL* srcPoint);
BOOL StretchInBand(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                   XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                   RECTL* srcRect, POINTL* maskPoint);
BOOL StretchRopInBand(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                      XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                      RECTL* srcRect, POINTL* maskPoint, BRUSHOBJ* pbo, DWORD rop4);
BOOL BandBitBlt(PDEV* pdev, SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                RECTL* destRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo,
                POINTL* brushOrg, ROP4 rop4);
// A shaded 24-bit gradient image into the band at `at`: through `mask`
// (1 where the gradient's triangles lie) when there is one, else whole.
BOOL PutGradientInBand(PDEV* pdev, SURFOBJ* dst, CLIPOBJ* pco, SURFOBJ* shaded, SURFOBJ* mask,
                       const RECTL& at);

// Temporary engine bitmaps, locked; FreeTempBitmap unlocks and deletes one.
SURFOBJ* NewTempBitmap(SIZEL size, ULONG format);
void FreeTempBitmap(SURFOBJ* so);
// A copy of a bitmap (the same size and format) made by the engine.
SURFOBJ* CopyToTempBitmap(SURFOBJ* src);
// The banded brush's pattern as a 1-bit bitmap; null for a brush without bits.
SURFOBJ* RenderToTempBitmap(const BandBrush* brush);
// `tile` repeated over all of the 1-bit `target`, the tile's pixel `phase`
// at the target's top-left.
bool TileBitmapBlt(SURFOBJ* tile, SURFOBJ* target, POINTL phase);

} // namespace inkforge
