// Pattern brushes as the two roads keep them. Device-surface jobs keep the
// printer's raster pattern layout (vector_pattern.h); banded jobs keep a
// 1-bit top-down image of the pattern that the band hooks tile over the
// destination themselves.
#pragma once

#include <vector>

#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// The banded job's realized brush, its bits behind it.
struct BandBrush {
    LONG width;
    LONG height;
    LONG stride;      // bytes a row, a multiple of 4
    ULONG dataSize;   // stride x height
    const BYTE* bits; // behind the record; 1 = the lighter colour
    LONG kind;        // kBandBrush...
};

constexpr LONG kBandBrushPattern = 1; // a pattern image, scaled to the resolution
constexpr LONG kBandBrushHatch = 2;   // a hatch style, at the engine's size
constexpr LONG kBandBrushStyle = 3;   // a negative style: 32 x 32, no bits

// The pattern's scale on a banded page: resolution / 150, or 1 when the
// fine-pattern setting asks for patterns at their own size.
LONG BandPatternScale(const PDEV* pdev);

// The banded record of a pattern (record and bits, `bits` pointing behind
// the record in `out`); false for a pattern without bits or one too large.
// `hatch` below HS_DDI_MAX names a hatch style; a negative one, a style
// without a pattern.
bool BuildBandBrush(const PDEV* pdev, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch,
                    std::vector<BYTE>* out);

} // namespace inkforge
