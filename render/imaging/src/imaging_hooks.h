// The bitmap and band hooks of the imaging side, joined to the driver's hook table.
#pragma once

#include <vector>

#include "imaging/tonemill.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, RECTL* destRect,
                          POINTL* srcPoint);
BOOL APIENTRY DrvBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                        RECTL* destRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo,
                        POINTL* brushOrg, ROP4 rop4);
BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* xlo,
                            COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect, RECTL* srcRect,
                            POINTL* maskPoint, ULONG mode);
BOOL APIENTRY DrvStretchBltROP(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco,
                               XLATEOBJ* xlo, COLORADJUSTMENT* pca, POINTL* htOrg, RECTL* destRect,
                               RECTL* srcRect, POINTL* maskPoint, ULONG mode, BRUSHOBJ* pbo,
                               DWORD rop4);
BOOL APIENTRY DrvTransparentBlt(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo,
                                RECTL* destRect, RECTL* srcRect, ULONG transColor, ULONG reserved);
BOOL APIENTRY DrvGradientFill(SURFOBJ* dst, CLIPOBJ* pco, XLATEOBJ* xlo, TRIVERTEX* vertices,
                              ULONG nVertex, PVOID mesh, ULONG nMesh, RECTL* extents,
                              POINTL* ditherOrg, ULONG mode);
BOOL APIENTRY DrvStartBanding(SURFOBJ* pso, POINTL* origin);
BOOL APIENTRY DrvNextBand(SURFOBJ* pso, POINTL* origin);
BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask,
                              XLATEOBJ* xlate, ULONG hatch);
ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG mode, ULONG rgb, ULONG* out);

// Whether a raster operation (low byte) reads the pattern.
bool ClassifyRop(DWORD rop);

// A pattern surface in the realized brush layout (record, rows, colours);
// false for a format the printer cannot take or a pattern without bits.
bool ExpandBrushPattern(SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch, DWORD brushId,
                        std::vector<BYTE>* out);

// The banding surface of the page size (its width a multiple of 32); null
// with the last error set when it cannot be made.
HSURF EnableBandingSurface(PDEV* pdev, SIZEL page);
// What banding holds at the surface's disabling: the conversion bitmaps, the
// page's dumps (finished) and its 1-bit image.
void DeleteDeviceSurface(PDEV* pdev);

// Band helpers, reachable by the tests.
constexpr DWORD kBandDitherAnswer = 2; // the engine halftones
void BuildBandMatrix(PDEV* pdev, icThresholdMatrix* matrix);
// The 256-byte gamma table beside the graphics library; the identity when
// the file is missing or short.
void ReadGammaTable(PDEV* pdev, BYTE table[256]);

} // namespace inkforge
