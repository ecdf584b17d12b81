// Quarter turns of 1-bit rasters: whole bands of 8 source lines transposed into
// byte columns of the destination.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/bitsqueeze.h"

namespace bitsqueeze {

// `bands` bands of 8 source lines, `columns` source byte columns from
// `firstColumn`, each source byte column giving 8 destination lines. Band j fills
// destination byte DestByte(j) of every destination line.
struct QuarterTurn {
    const BYTE* source;
    size_t sourceBytes; // bytes per source line
    BYTE* destination;
    size_t destBytes; // bytes per destination line
    int bands;
    size_t firstColumn;
    size_t columns;
    bool clockwise; // 90 degrees; else 270
    BYTE invert;    // 0xFF: every written byte inverted

    const BYTE* Row(size_t line) const { return source + line * sourceBytes; }
    // Destination line of pixel p (0..7) of source byte column c.
    size_t DestLine(size_t c, int p) const {
        size_t line = (c - firstColumn) * 8 + p;
        return clockwise ? line : columns * 8 - 1 - line;
    }
    size_t DestByte(int band) const { return clockwise ? bands - 1 - band : band; }
    BYTE* DestAt(size_t line, size_t byte) const { return destination + line * destBytes + byte; }
    // Distance from the destination line of pixel p to that of pixel p + 1.
    ptrdiff_t DestStep() const { return clockwise ? ptrdiff_t(destBytes) : -ptrdiff_t(destBytes); }
};

void TurnQuarter(const QuarterTurn& q);

// Eight bands by 32 source byte columns from `band` and `column` (AVX2); only
// called when the processor has those instructions.
void TurnEightBands32Avx2(const QuarterTurn& q, int band, size_t column);
// `blockBands` bands (a multiple of 8, at most 64) from `first` by 64 source
// byte columns from `column`, written straight into the destination (AVX-512
// with VBMI and GFNI); only called when the processor has those instructions.
// The source of the next step (`nextBands` bands from `nextFirst`, columns from
// `nextColumn`; no bands: none) is fetched meanwhile.
void TurnBands64Avx512(const QuarterTurn& q, int first, int blockBands, size_t column,
                       int nextFirst, int nextBands, size_t nextColumn);

// The widest instructions the quarter turns use: the best the processor has, or
// fewer when the environment variable BITSQUEEZE_SIMD says "scalar" (plain
// 64-bit words, as on any processor), "sse2" or "avx2" (so that the tests can
// check every form on one machine).
enum class SimdLevel { kScalar, kSse2, kAvx2, kAvx512 };
SimdLevel QuarterTurnSimd();

} // namespace bitsqueeze
