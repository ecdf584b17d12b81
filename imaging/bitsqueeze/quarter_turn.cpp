// Quarter turns with SSE2 (every x86-64 processor has it), with AVX2 for
// blocks of eight bands where the processor has that, and with AVX-512 (see
// quarter_turn_avx512.cpp) for blocks of 64 bands; plain 64-bit words on
// request. In the SSE2 and AVX2 forms the bits of a source byte column leave
// through the sign-bit mask of a register holding that byte of several lines:
// the mask of pixel 0, then, after doubling every byte, pixel 1 ...
#include "quarter_turn.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/bit_ops.h"
#include "transpose.h"

namespace bitsqueeze {

using namespace imaging;
namespace {

// One 8 x 8 block (band, source byte column c) through the scalar transpose: the
// columns left over at the end of a line.
void TurnBlock(const QuarterTurn& q, int band, size_t c) {
    uint64_t x = 0;
    for (int r = 0; r < 8; ++r) {
        // Turning clockwise, the band's bottom line becomes the leftmost pixel.
        size_t line = band * 8 + (q.clockwise ? 7 - r : r);
        x |= static_cast<uint64_t>(q.Row(line)[c]) << (56 - 8 * r);
    }
    x = Transpose8x8(x);
    BYTE* at = q.DestAt(q.DestLine(c, 0), q.DestByte(band));
    for (int p = 0; p < 8; ++p, at += q.DestStep())
        *at = static_cast<BYTE>(x >> (56 - 8 * p)) ^ q.invert;
}

// One band, 16 source byte columns from c: the 8 lines interleaved byte by byte so
// that each register holds two columns (8 lanes each).
void TurnBand16(const QuarterTurn& q, int band, size_t c) {
    __m128i r[8];
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        size_t line = band * 8 + (q.clockwise ? y : 7 - y); // line under mask bit y
        r[y] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q.Row(line) + c));
    }
    __m128i t[8], u[8], v[8];
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);     // columns 0..7
        t[i + 4] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]); // columns 8..15
    }
    for (int h = 0; h < 2; ++h) { // columns 0..7, then 8..15
        const __m128i* s = t + 4 * h;
        u[4 * h + 0] = _mm_unpacklo_epi16(s[0], s[1]);                 // lines 0..3, columns 0..3
        u[4 * h + 1] = _mm_unpackhi_epi16(s[0], s[1]);                 // lines 0..3, columns 4..7
        u[4 * h + 2] = _mm_unpacklo_epi16(s[2], s[3]);                 // lines 4..7, columns 0..3
        u[4 * h + 3] = _mm_unpackhi_epi16(s[2], s[3]);                 // lines 4..7, columns 4..7
        v[4 * h + 0] = _mm_unpacklo_epi32(u[4 * h + 0], u[4 * h + 2]); // columns 0, 1
        v[4 * h + 1] = _mm_unpackhi_epi32(u[4 * h + 0], u[4 * h + 2]); // columns 2, 3
        v[4 * h + 2] = _mm_unpacklo_epi32(u[4 * h + 1], u[4 * h + 3]); // columns 4, 5
        v[4 * h + 3] = _mm_unpackhi_epi32(u[4 * h + 1], u[4 * h + 3]); // columns 6, 7
    }
    const size_t destByte = q.DestByte(band);
    const ptrdiff_t step = q.DestStep();
    const BYTE invert = q.invert; // held apart from `q`, which the stores could change
    BYTE* const first = q.DestAt(q.DestLine(c, 0), destByte);
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        __m128i bits = v[k]; // columns 2k (lanes 0..7) and 2k + 1 (lanes 8..15)
        BYTE* even = first + 2 * k * 8 * step;
        BYTE* odd = even + 8 * step;
#pragma GCC unroll 8
        for (int p = 0; p < 8; ++p, even += step, odd += step) {
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(bits));
            *even = static_cast<BYTE>(mask) ^ invert;
            *odd = static_cast<BYTE>(mask >> 8) ^ invert;
            bits = _mm_add_epi8(bits, bits);
        }
    }
}

// Loads two bands (16 lines) at source byte column c and transposes them as a
// 16 x 16 byte matrix: out[k] holds column c + k, one byte per line. The lines
// are loaded so that mask bits 0..7 are the left destination byte and 8..15 the
// right one, each with its leftmost pixel in the top bit.
void LoadTwoBands(const QuarterTurn& q, int band, size_t c, __m128i out[16]) {
    __m128i x[16], y[16];
    for (int i = 0; i < 16; ++i) {
        int line = q.clockwise ? (i < 8 ? 8 + i : i - 8) : (i < 8 ? 7 - i : 23 - i);
        x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q.Row(band * 8 + line) + c));
    }
    for (int i = 0; i < 8; ++i)
        y[i] = _mm_unpacklo_epi8(x[2 * i], x[2 * i + 1]),
        y[i + 8] = _mm_unpackhi_epi8(x[2 * i], x[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        x[i] = _mm_unpacklo_epi16(y[2 * i], y[2 * i + 1]),
        x[i + 8] = _mm_unpackhi_epi16(y[2 * i], y[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        y[i] = _mm_unpacklo_epi32(x[2 * i], x[2 * i + 1]),
        y[i + 8] = _mm_unpackhi_epi32(x[2 * i], x[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        x[i] = _mm_unpacklo_epi64(y[2 * i], y[2 * i + 1]),
        x[i + 8] = _mm_unpackhi_epi64(y[2 * i], y[2 * i + 1]);
    // After the four interleaving steps column k sits in register bit-reversed(k).
    static constexpr int kColumnAt[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int k = 0; k < 16; ++k)
        out[k] = x[kColumnAt[k]];
}

// Two bands, 16 source byte columns from c: each pixel of a column gives two
// neighbouring destination bytes.
void TurnTwoBands16(const QuarterTurn& q, int band, size_t c) {
    __m128i columns[16];
    LoadTwoBands(q, band, c, columns);
    const size_t destByte = q.clockwise ? q.DestByte(band + 1) : q.DestByte(band); // the left one
    const uint16_t invert = q.invert ? 0xFFFF : 0;
    const ptrdiff_t step = q.DestStep();
    for (int k = 0; k < 16; ++k) {
        __m128i bits = columns[k];
        BYTE* at = q.DestAt(q.DestLine(c + k, 0), destByte);
        for (int p = 0; p < 8; ++p, at += step) {
            uint16_t v = static_cast<uint16_t>(_mm_movemask_epi8(bits)) ^ invert;
            std::memcpy(at, &v, 2);
            bits = _mm_add_epi8(bits, bits);
        }
    }
}

// Eight bands (64 lines), 16 source byte columns from c: each pixel of a column
// gives 8 neighbouring destination bytes, stored as one word.
void TurnEightBands16(const QuarterTurn& q, int band, size_t c) {
    // Groups of two bands, in the order their bytes lie in the destination.
    __m128i columns[4][16];
    for (int g = 0; g < 4; ++g)
        LoadTwoBands(q, band + 2 * (q.clockwise ? 3 - g : g), c, columns[g]);
    const size_t destByte = q.clockwise ? q.DestByte(band + 7) : q.DestByte(band);
    const uint64_t invert = q.invert ? ~0ull : 0;
    const ptrdiff_t step = q.DestStep();
    for (int k = 0; k < 16; ++k) {
        __m128i a = columns[0][k], b = columns[1][k], d = columns[2][k], e = columns[3][k];
        BYTE* at = q.DestAt(q.DestLine(c + k, 0), destByte);
        for (int p = 0; p < 8; ++p, at += step) {
            uint64_t v = uint64_t(unsigned(_mm_movemask_epi8(a))) |
                         uint64_t(unsigned(_mm_movemask_epi8(b))) << 16 |
                         uint64_t(unsigned(_mm_movemask_epi8(d))) << 32 |
                         uint64_t(unsigned(_mm_movemask_epi8(e))) << 48;
            StoreLE64(at, v ^ invert);
            a = _mm_add_epi8(a, a), b = _mm_add_epi8(b, b), d = _mm_add_epi8(d, d),
            e = _mm_add_epi8(e, e);
        }
    }
}

} // namespace

SimdLevel QuarterTurnSimd() {
    static const SimdLevel level = [] {
        SimdLevel best = SimdLevel::kSse2;
        if (__builtin_cpu_supports("avx2")) best = SimdLevel::kAvx2;
        if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
            __builtin_cpu_supports("gfni"))
            best = SimdLevel::kAvx512;
        const char* asked = std::getenv("BITSQUEEZE_SIMD");
        if (asked && std::strcmp(asked, "scalar") == 0) return SimdLevel::kScalar;
        if (asked && std::strcmp(asked, "sse2") == 0) return SimdLevel::kSse2;
        if (asked && std::strcmp(asked, "avx2") == 0 && best != SimdLevel::kSse2)
            return SimdLevel::kAvx2;
        return best;
    }();
    return level;
}

// Runs `turn` on the columns from c to `end` in steps of `width`; when columns
// are left over and the turn has at least `width` columns, one more step ends at
// `end` (the bytes it rewrites get the same values). Returns the first column
// not yet turned.
template <typename Turn> size_t Sweep(const QuarterTurn& q, size_t c, size_t width, Turn turn) {
    const size_t end = q.firstColumn + q.columns;
    for (; c + width <= end; c += width)
        turn(c);
    if (c < end && q.columns >= width) {
        turn(end - width);
        c = end;
    }
    return c;
}

// Bands left over after the blocks of eight, from `band`: two, then one at a time.
void TurnLeftoverBands(const QuarterTurn& q, int band) {
    const size_t end = q.firstColumn + q.columns;
    for (; band + 2 <= q.bands; band += 2) {
        size_t c = Sweep(q, q.firstColumn, 16, [&](size_t col) { TurnTwoBands16(q, band, col); });
        for (; c < end; ++c)
            TurnBlock(q, band, c), TurnBlock(q, band + 1, c);
    }
    for (; band < q.bands; ++band) {
        size_t c = Sweep(q, q.firstColumn, 16, [&](size_t col) { TurnBand16(q, band, col); });
        for (; c < end; ++c)
            TurnBlock(q, band, c);
    }
}

// A tile of the destination for one block of up to 32 bands and one column
// step of up to 64 source byte columns: 512 lines of 32 bytes (16 KB, within
// the first-level cache beside the source lines being read). The eight-band
// turns write their 8-byte pieces into it, and each line then goes to the
// destination in one piece, so that a destination line is visited once per
// block instead of once per eight bands.
constexpr int kBlockBands = 32;
constexpr size_t kTileBytes = kBlockBands;
constexpr size_t kTileLines = 64 * 8;

// Blocks of AVX-512 turns: 64 bands (512 source lines, within the second-level
// cache) down every column step, so that each destination line of a block is
// written once, 64 bytes at a time.
constexpr int kWideBlockBands = 64;
constexpr size_t kWideColumns = 64;

void TurnQuarter(const QuarterTurn& q) {
    const size_t end = q.firstColumn + q.columns;
    const SimdLevel simd = QuarterTurnSimd();
    if (simd == SimdLevel::kScalar) {
        for (int band = 0; band < q.bands; ++band)
            for (size_t c = q.firstColumn; c < end; ++c)
                TurnBlock(q, band, c);
        return;
    }
    const int eights = q.bands / 8 * 8;
    if (simd == SimdLevel::kAvx512 && q.columns >= kWideColumns && eights > 0) {
        // The column steps of a block, as Sweep makes them (the last one
        // ending at the end); none after the last.
        constexpr size_t kNone = ~size_t{0};
        auto after = [end](size_t c) {
            return c + 2 * kWideColumns <= end ? c + kWideColumns
                   : c + kWideColumns < end    ? end - kWideColumns
                                               : kNone;
        };
        for (int first = 0; first < eights; first += kWideBlockBands) {
            const int blockBands = std::min(eights - first, kWideBlockBands);
            for (size_t c = q.firstColumn; c != kNone; c = after(c)) {
                // The step after this one: the next column, or the next block's first.
                const bool last = after(c) == kNone;
                const int nextFirst = last ? first + kWideBlockBands : first;
                const int nextBands =
                    nextFirst < eights ? std::min(eights - nextFirst, kWideBlockBands) : 0;
                TurnBands64Avx512(q, first, blockBands, c, nextFirst, nextBands,
                                  last ? q.firstColumn : after(c));
            }
        }
        TurnLeftoverBands(q, eights);
        return;
    }
    alignas(64) BYTE tile[kTileLines * kTileBytes];
    // Eight bands at a time, in blocks of 32 bands down each column step: the
    // block's source lines stay in the cache for the next step.
    for (int first = 0; first < eights; first += kBlockBands) {
        const int blockBands = std::min(eights, first + kBlockBands) - first;
        auto eightBands = [&](void (*turn)(const QuarterTurn&, int, size_t), size_t width) {
            return [&q, &tile, end, first, blockBands, turn, width](size_t c) {
                QuarterTurn t = q;
                t.source = q.Row(static_cast<size_t>(first) * 8);
                t.bands = blockBands;
                t.firstColumn = c;
                t.columns = width;
                t.destination = tile;
                t.destBytes = kTileBytes;
                for (int band = 0; band < blockBands; band += 8)
                    turn(t, band, c);
                // Tile line r is destination line `line + r`, its bytes from `byte`.
                const size_t line = q.clockwise ? (c - q.firstColumn) * 8 : (end - c - width) * 8;
                const size_t byte =
                    q.clockwise ? static_cast<size_t>(q.bands - blockBands - first) : first;
                const size_t lines = width * 8;
                if (blockBands == kBlockBands) {
                    for (size_t r = 0; r < lines; ++r)
                        std::memcpy(q.DestAt(line + r, byte), tile + r * kTileBytes, kTileBytes);
                } else {
                    for (size_t r = 0; r < lines; ++r)
                        std::memcpy(q.DestAt(line + r, byte), tile + r * kTileBytes,
                                    static_cast<size_t>(blockBands));
                }
            };
        };
        size_t c = q.firstColumn;
        if (simd != SimdLevel::kSse2) c = Sweep(q, c, 32, eightBands(TurnEightBands32Avx2, 32));
        c = Sweep(q, c, 16, eightBands(TurnEightBands16, 16));
        for (int band = first; band < first + blockBands; ++band)
            for (size_t k = c; k < end; ++k)
                TurnBlock(q, band, k);
    }
    TurnLeftoverBands(q, eights);
}

} // namespace bitsqueeze
