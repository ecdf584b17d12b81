// The engine's own drawing into bitmap surfaces: rows of packed pixels of any
// format combined with a source and a pattern under a ternary or quaternary
// raster operation, colours of a surface, and the scan conversion of paths.
// Everything here works on rows: no call per pixel through a table and no
// allocation inside the loops.
#pragma once

#include <cstdint>
#include <vector>

#include "engine_internal.h"

namespace platform::engine {

// --- raster operations ------------------------------------------------------

// The foreground and background codes of a four-operand operation.
constexpr ULONG Rop4Fore(ROP4 rop4) {
    return rop4 & 0xFF;
}
constexpr ULONG Rop4Back(ROP4 rop4) {
    return (rop4 >> 8) & 0xFF;
}
// A ternary operation reads the pattern, the source or the destination when
// its result changes with that operand.
constexpr bool RopUsesPattern(ULONG rop3) {
    return ((rop3 >> 4) & 0x0F) != (rop3 & 0x0F);
}
constexpr bool RopUsesSource(ULONG rop3) {
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}
constexpr bool RopUsesDest(ULONG rop3) {
    return ((rop3 >> 1) & 0x55) != (rop3 & 0x55);
}
// The result of a ternary operation on bit vectors: bit i of the code is the
// result where pattern, source and destination bits form i = P*4 + S*2 + D.
template <class T> constexpr T ApplyRop3(ULONG rop3, T p, T s, T d) {
    T r = 0;
    for (int i = 0; i < 8; ++i) {
        if (!((rop3 >> i) & 1)) continue;
        T term = (i & 4 ? p : static_cast<T>(~p)) & (i & 2 ? s : static_cast<T>(~s)) &
                 (i & 1 ? d : static_cast<T>(~d));
        r |= term;
    }
    return r;
}
// A mix (R2_* in the low byte for the foreground, the next byte for the
// background) as the ternary code of pattern and destination.
ULONG Rop3OfMix(ULONG r2);

// --- colours of a surface ---------------------------------------------------

// How the pixel values of a surface map to colours (COLORREF layout: red in
// the low byte). Indexed formats have a table; 16 bits are 5-5-5 unless a
// palette of bit fields says otherwise; 24 and 32 bits are blue in the low
// byte unless a palette says RGB.
struct ColorModel {
    ULONG bpp = 0;
    ULONG mode = PAL_BGR;
    std::vector<ULONG> colors;
    ULONG masks[3] = {0x7C00, 0x03E0, 0x001F};

    ULONG ToRgb(ULONG pixel) const;
    ULONG FromRgb(ULONG rgb) const;
};
// The colour model of a surface: its own palette, or the format's default.
ColorModel ModelOfSurface(SURFOBJ* pso);

// --- pixel rows -------------------------------------------------------------

inline BYTE* RowOf(const SURFOBJ* so, LONG y) {
    return static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta;
}
inline ULONG GetPixel(const BYTE* row, LONG x, ULONG bpp) {
    switch (bpp) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
        return row[x];
    case 16:
        return row[2 * x] | static_cast<ULONG>(row[2 * x + 1]) << 8;
    case 24:
        return row[3 * x] | static_cast<ULONG>(row[3 * x + 1]) << 8 |
               static_cast<ULONG>(row[3 * x + 2]) << 16;
    default: {
        const BYTE* p = row + 4 * static_cast<size_t>(x);
        return p[0] | static_cast<ULONG>(p[1]) << 8 | static_cast<ULONG>(p[2]) << 16 |
               static_cast<ULONG>(p[3]) << 24;
    }
    }
}
inline void PutPixel(BYTE* row, LONG x, ULONG bpp, ULONG v) {
    switch (bpp) {
    case 1: {
        BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        row[x >> 3] = (v & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & static_cast<BYTE>(~bit));
        break;
    }
    case 4: {
        BYTE& b = row[x >> 1];
        b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (v & 0x0F))
                    : static_cast<BYTE>((b & 0x0F) | ((v & 0x0F) << 4));
        break;
    }
    case 8:
        row[x] = static_cast<BYTE>(v);
        break;
    case 16:
        row[2 * x] = static_cast<BYTE>(v), row[2 * x + 1] = static_cast<BYTE>(v >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<BYTE>(v), row[3 * x + 1] = static_cast<BYTE>(v >> 8);
        row[3 * x + 2] = static_cast<BYTE>(v >> 16);
        break;
    default: {
        BYTE* p = row + 4 * static_cast<size_t>(x);
        p[0] = static_cast<BYTE>(v), p[1] = static_cast<BYTE>(v >> 8);
        p[2] = static_cast<BYTE>(v >> 16), p[3] = static_cast<BYTE>(v >> 24);
        break;
    }
    }
}

// A run of pixels [x0, x1) of one destination row in the row's own packing:
// byte 0 of a buffer is the byte that holds pixel x0.
struct RowSpan {
    LONG x0 = 0, x1 = 0;
    size_t firstByte = 0, bytes = 0;
    BYTE headMask = 0xFF, tailMask = 0xFF; // bits of the first and last byte inside
};
RowSpan MakeSpan(ULONG bpp, LONG x0, LONG x1);
// Puts pixel x of the span into a buffer laid out as the span.
inline void PutSpanPixel(BYTE* buf, const RowSpan& s, ULONG bpp, LONG x, ULONG v) {
    LONG first = static_cast<LONG>(s.firstByte * 8 / bpp);
    PutPixel(buf, x - first, bpp, v);
}

// Combines the destination bytes with source, pattern and mask rows (each
// laid out as the span; nullptr where the operation does not read them)
// under rop4: where a mask bit is set the foreground code, elsewhere the
// background one. Without a mask only the foreground code counts.
void CombineRow(BYTE* dstRow, const RowSpan& s, const BYTE* src, const BYTE* pat, const BYTE* mask,
                ULONG rop4);

// --- brushes as the engine draws them ------------------------------------------

// A brush realized for drawing into one format: the pattern translated to the
// destination's pixels (one row per pattern row) or a solid colour.
struct EngineBrush {
    bool solid = true;
    ULONG color = 0;
    LONG cx = 0, cy = 0;
    std::vector<ULONG> pixels; // cy rows of cx destination pixels
    // A hatch's lines: 1 where its pattern pixel is a line, 0 where it is the
    // background, which the background mix draws; empty for other brushes.
    std::vector<BYTE> lines;
    POINTL origin{};
};
// False when pbo is neither a solid colour nor a brush the engine made.
bool RealizeForEngine(BRUSHOBJ* pbo, POINTL* origin, ULONG dstBpp, EngineBrush* out);
// The pattern row of destination row y for the span, in the span's layout.
void PatternRow(const EngineBrush& b, ULONG bpp, const RowSpan& s, LONG y, BYTE* out);
// A hatch's mask row of destination row y for the span, in the span's layout:
// every bit of a line pixel set, of a background pixel clear.
void HatchMaskRow(const EngineBrush& b, ULONG bpp, const RowSpan& s, LONG y, BYTE* out);
// The pattern surface and translation of a brush the engine made (locked
// copies for the caller; nullptr for a solid brush); hatch tells whether it is
// a hatch, whose pixel 0 draws the lines.
bool BrushPatternOf(BRUSHOBJ* pbo, HSURF* pattern, XLATEOBJ** xlate, bool* hatch = nullptr);

// --- clipping -------------------------------------------------------------------

// The rectangles of a clip object (nullptr: everything) within bounds, banded
// top to bottom.
std::vector<RECTL> ClipRects(CLIPOBJ* pco, const RECTL& bounds);

// --- scan conversion ------------------------------------------------------------

struct PointD {
    double x, y;
};
using Polygon = std::vector<PointD>;

// The subpaths of a path, Béziers flattened to within a tenth of a pixel, in
// pixels; closed tells which subpaths were closed.
void FlattenPath(PATHOBJ* ppo, std::vector<Polygon>* figures, std::vector<bool>* closed);
// Calls span(y, x0, x1) for the pixels whose centres lie inside the polygons
// (left and top edges inside, right and bottom ones outside), in the rows
// [0, rows) only.
template <class F>
void ScanPolygons(const std::vector<Polygon>& polys, bool winding, LONG rows, F&& span);
// The outline of a geometric pen along the figures as polygons that cover
// the stroke when filled by winding; with a page, only what lies on it.
void WidenFigures(const std::vector<Polygon>& figures, const std::vector<bool>& closed,
                  const LINEATTRS& la, std::vector<Polygon>* out, const SIZEL* page = nullptr);
// The visible pieces of figures under the line's style (the figures as they
// are when the line is not styled); unit is the length of one style unit of
// a cosmetic line. Pieces of a styled line are open. With a page, segments
// far longer than it are walked only where they pass within margin of it.
void ApplyStyle(const std::vector<Polygon>& figures, const std::vector<bool>& closed,
                const LINEATTRS& la, double unit, std::vector<Polygon>* pieces,
                std::vector<bool>* piecesClosed, const SIZEL* page = nullptr, double margin = 0);
ColorModel DefaultModel(ULONG bpp);

// Span filler used by ScanPolygons.
void ScanPolygonsImpl(const std::vector<Polygon>& polys, bool winding, LONG rows, void* ctx,
                      void (*span)(void*, LONG, LONG, LONG));
template <class F>
void ScanPolygons(const std::vector<Polygon>& polys, bool winding, LONG rows, F&& span) {
    ScanPolygonsImpl(polys, winding, rows, &span, [](void* c, LONG y, LONG x0, LONG x1) {
        (*static_cast<std::remove_reference_t<F>*>(c))(y, x0, x1);
    });
}

} // namespace platform::engine
