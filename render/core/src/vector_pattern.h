// Pattern brushes as drawing tokens: a realized pattern goes to the printer
// as a raster pattern and is selected as the brush, or, when the printer
// cannot take its size, the area is filled with an image of the pattern
// tiled from the page origin.
#pragma once

#include <cstddef>
#include <vector>

#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// The realized pattern brush record (made by DrvRealizeBrush); the pattern
// bits start at byte 44, rows padded to a multiple of 2 bytes, the colour
// table (u32 entries) at its offset from the record's start.
struct RealizedBrush {
    DWORD width;
    DWORD height;
    DWORD format; // PatternFormat
    DWORD bitsSize;
    DWORD colorCount;
    DWORD colorTableOffset;
    DWORD kind;     // below 6: a hatch-style 1-bit pattern
    DWORD brushId;  // a per-device counter
    DWORD unscaled; // a 1-bit pattern kept at its size
    DWORD uniform;  // 1: every pixel has the same colour, `uniformColor`
    ULONG uniformColor;
};
static_assert(sizeof(RealizedBrush) == 44);

enum PatternFormat : DWORD {
    kPattern1 = 1,
    kPattern4 = 2,
    kPattern8 = 3,
    kPattern16 = 4,
    kPattern24 = 5
};
constexpr ULONG kMaxPatternColors = 256;

inline const BYTE* PatternBits(const RealizedBrush* b) {
    return reinterpret_cast<const BYTE*>(b) + sizeof *b;
}
inline const ULONG* PatternColors(const RealizedBrush* b) {
    return reinterpret_cast<const ULONG*>(reinterpret_cast<const BYTE*>(b) + b->colorTableOffset);
}
// Bits per pixel of a pattern format (0: one this driver does not send).
DWORD PatternBitsPerPixel(DWORD format);
// Bytes of one realized pattern row.
DWORD PatternRowBytes(const RealizedBrush* b);
// The value of pattern pixel (x, y): a colour-table index, or the RGB value
// of a 24-bit pattern. The caller keeps x and y inside the pattern.
ULONG PatternPixel(const RealizedBrush* b, DWORD x, DWORD y);

// The brush of a fill: a solid colour (also a pattern of one colour), or a
// realized pattern as a raster pattern or a tiled image over `target`. FALSE
// when the pattern cannot be sent (more than 256 colours, no realization,
// bad record) or its tiled image was not sent.
BOOL SelectBrushForFill(PDEV* pdev, BRUSHOBJ* pbo, const RECTL* target, DWORD rop,
                        bool transparent);
BOOL SetBrush(PDEV* pdev, const RealizedBrush* brush, const RECTL* target, DWORD rop,
              bool transparent);

// The same raster operation on source and destination as `rop` (low byte)
// on pattern and destination; true for the operations it handles. `out` may
// be null.
bool PatternRopToSourceRop(DWORD rop, BYTE* out);

// The work bitmap of a tiled fill: rows padded to 4 bytes, bottom-up.
struct TiledBitmap {
    LONG width = 0;
    LONG height = 0;
    DWORD bitsPerPixel = 0;
    LONG stride = 0;
    std::vector<BYTE> bits;
    // The pixel of row y (from the top) and column x.
    ULONG Pixel(LONG x, LONG y) const;
};
// False: no bitmap (no target, an empty pattern, an unsupported format, too large).
bool BuildTiledBitmap(const RealizedBrush* brush, const RECTL* target, TiledBitmap* out);
// Fills the bitmap with the pattern, every pattern pixel `scale` x `scale`
// device pixels, anchored at the page origin (floor modulo, so that negative
// coordinates continue the same tiling).
void TilePatternBits(const RealizedBrush* brush, LONG scale, const RECTL* target,
                     TiledBitmap* bitmap);

// Where the image of a tiled fill goes: the imaging side's image output;
// FALSE when the image was not sent. Until it is set, a tiled fill fails.
using OutputImageFn = BOOL (*)(PDEV* pdev, SURFOBJ* bitmap, XLATEOBJ* xlate, const RECTL* target,
                               const RECTL* source, BYTE rop);
void SetOutputImage(OutputImageFn fn);

} // namespace inkforge
