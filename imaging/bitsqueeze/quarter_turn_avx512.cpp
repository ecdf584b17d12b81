// The AVX-512 form of the eight-band quarter turn, 64 source byte columns per
// step. Each 8 x 8 pixel block is transposed by one affine transformation over
// GF(2) (GFNI), whose matrix operand is the block itself; byte interleaving
// gathers the blocks before and the destination lines' bytes after. Compiled
// for AVX-512BW and GFNI function by function, and called only when the
// processor has them.
#include <immintrin.h>

#include "quarter_turn.h"

namespace bitsqueeze {
namespace {

#define AVX512 __attribute__((target("avx512f,avx512bw,gfni")))

// How far along a source line the loads of the next column steps are asked for.
constexpr size_t kPrefetchAhead = 2 * 64;

// Three interleaving steps over eight registers of 8 rows: in every 128-bit lane,
// out[4h + m] holds the lane's byte columns 8h + 2m (low qword) and 8h + 2m + 1
// (high qword), one byte per row, row 0 first.
AVX512 inline __attribute__((always_inline)) void InterleaveRows(const __m512i in[8],
                                                                 __m512i out[8]) {
    __m512i t[8], u[8];
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm512_unpacklo_epi8(in[2 * i], in[2 * i + 1]);
        t[i + 4] = _mm512_unpackhi_epi8(in[2 * i], in[2 * i + 1]);
    }
    for (int h = 0; h < 2; ++h) {
        const __m512i* s = t + 4 * h;
        u[0] = _mm512_unpacklo_epi16(s[0], s[1]);
        u[1] = _mm512_unpackhi_epi16(s[0], s[1]);
        u[2] = _mm512_unpacklo_epi16(s[2], s[3]);
        u[3] = _mm512_unpackhi_epi16(s[2], s[3]);
        out[4 * h + 0] = _mm512_maskz_unpacklo_epi32(0xFFFF, u[0], u[2]);
        out[4 * h + 1] = _mm512_maskz_unpackhi_epi32(0xFFFF, u[0], u[2]);
        out[4 * h + 2] = _mm512_maskz_unpacklo_epi32(0xFFFF, u[1], u[3]);
        out[4 * h + 3] = _mm512_maskz_unpackhi_epi32(0xFFFF, u[1], u[3]);
    }
}

} // namespace

AVX512 void TurnEightBands64Avx512(const QuarterTurn& q, int band, size_t c) {
    // x bytes 0x80, 0x40, ... 0x01: byte p of the result is pixel p of the block.
    const __m512i pick = _mm512_set1_epi64(0x0102040810204080ll);
    // Per band: its 8 x 8 blocks, each turned into the band's byte of 8
    // destination lines (qword lanes as InterleaveRows leaves them).
    __m512i blocks[8][8];
    for (int b = 0; b < 8; ++b) {
        __m512i rows[8];
        for (int y = 0; y < 8; ++y) {
            // Row r of the matrix operand ends up in bit 7 - r of each result byte.
            int line = q.clockwise ? 7 - y : y;
            const BYTE* row = q.Row((band + b) * 8 + line) + c;
            rows[y] = _mm512_loadu_si512(row);
            // The next steps read on along these lines: too many lines at once
            // for the processor to see the pattern by itself.
            _mm_prefetch(reinterpret_cast<const char*>(row + kPrefetchAhead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(row + kPrefetchAhead + 63), _MM_HINT_T0);
        }
        __m512i columns[8];
        InterleaveRows(rows, columns);
        // Destination order of the bands: clockwise the last band is leftmost.
        __m512i* out = blocks[q.clockwise ? 7 - b : b];
        for (int k = 0; k < 8; ++k)
            out[k] = _mm512_gf2p8affine_epi64_epi8(pick, columns[k], 0);
    }
    const __m512i invert = _mm512_set1_epi8(static_cast<char>(q.invert));
    const size_t destByte = q.clockwise ? q.DestByte(band + 7) : q.DestByte(band);
    const ptrdiff_t step = q.DestStep();
    for (int k = 0; k < 8; ++k) {
        // blocks[*][k], lane L, qword t: source column c + 16L + 8(k / 4) + 2(k % 4) + t.
        __m512i bands[8], lines[8];
        for (int b = 0; b < 8; ++b)
            bands[b] = blocks[b][k];
        InterleaveRows(bands, lines);
        // lines[4t + m], lane L, qword s: the 8 bands' bytes (destination order) of
        // pixel 2m + s of that column.
        __m128i lanes[8][4];
        for (int j = 0; j < 8; ++j) {
            __m512i v = _mm512_xor_si512(lines[j], invert);
            lanes[j][0] = _mm512_maskz_extracti32x4_epi32(0xF, v, 0);
            lanes[j][1] = _mm512_maskz_extracti32x4_epi32(0xF, v, 1);
            lanes[j][2] = _mm512_maskz_extracti32x4_epi32(0xF, v, 2);
            lanes[j][3] = _mm512_maskz_extracti32x4_epi32(0xF, v, 3);
        }
        for (int lane = 0; lane < 4; ++lane) {
            for (int t = 0; t < 2; ++t) {
                BYTE* at = q.DestAt(q.DestLine(c + 16 * lane + 8 * (k / 4) + 2 * (k % 4) + t, 0),
                                    destByte);
                for (int m = 0; m < 4; ++m, at += 2 * step) {
                    const __m128i pair = lanes[4 * t + m][lane];
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), pair);
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + step),
                                     _mm_unpackhi_epi64(pair, pair));
                }
            }
        }
    }
}

} // namespace bitsqueeze
