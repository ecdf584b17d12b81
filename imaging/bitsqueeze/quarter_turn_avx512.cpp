// The AVX-512 form of the quarter turn: blocks of up to 64 bands by 64 source
// byte columns, written straight into the destination, each destination line
// of the block in one piece. Byte interleaving gathers the 8 x 8 pixel blocks
// of a band; each is transposed by one affine transformation over GF(2)
// (GFNI), whose matrix operand is the block itself; qword transposes and a
// byte permutation (VBMI) gather the destination lines' bytes after it, all
// in whole registers. Compiled for AVX-512 function by function, and called
// only when the processor has those instructions.
#include <immintrin.h>

// GCC 12 takes the placeholder operand of its own AVX-512 shuffles for an
// uninitialised read (inside immintrin.h); the registers shuffled are set.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <cstdint>

#include "quarter_turn.h"

namespace bitsqueeze {
namespace {

#define AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,gfni")))

// Eight rows of eight qwords turned into eight columns: out[k] holds qword k
// of in[0] .. in[7], in that order.
AVX512 inline __attribute__((always_inline)) void TransposeQwords(const __m512i in[8],
                                                                  __m512i out[8]) {
    __m512i a[8], b[8];
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
        a[i] = _mm512_unpacklo_epi64(in[2 * i], in[2 * i + 1]);     // qwords 0, 2, 4, 6
        a[i + 4] = _mm512_unpackhi_epi64(in[2 * i], in[2 * i + 1]); // qwords 1, 3, 5, 7
    }
    // Lane L of a[i] (a[i + 4]): qword 2L (2L + 1) of rows 2i and 2i + 1.
#pragma GCC unroll 8
    for (int h = 0; h < 2; ++h) {
        const __m512i* s = a + 4 * h;
        b[4 * h + 0] = _mm512_shuffle_i64x2(s[0], s[1], 0x88); // columns h, h + 4 of rows 0..3
        b[4 * h + 1] = _mm512_shuffle_i64x2(s[0], s[1], 0xDD); // columns h + 2, h + 6 of rows 0..3
        b[4 * h + 2] = _mm512_shuffle_i64x2(s[2], s[3], 0x88); // columns h, h + 4 of rows 4..7
        b[4 * h + 3] = _mm512_shuffle_i64x2(s[2], s[3], 0xDD); // columns h + 2, h + 6 of rows 4..7
    }
    // Lanes 0 and 2 of b[4h + m] hold its first column, lanes 1 and 3 its second.
#pragma GCC unroll 8
    for (int h = 0; h < 2; ++h) {
        out[0 + h] = _mm512_shuffle_i64x2(b[4 * h + 0], b[4 * h + 2], 0x88);
        out[4 + h] = _mm512_shuffle_i64x2(b[4 * h + 0], b[4 * h + 2], 0xDD);
        out[2 + h] = _mm512_shuffle_i64x2(b[4 * h + 1], b[4 * h + 3], 0x88);
        out[6 + h] = _mm512_shuffle_i64x2(b[4 * h + 1], b[4 * h + 3], 0xDD);
    }
}

// Three byte-interleaving steps over eight registers of 8 rows (64 bytes
// each): in every 128-bit lane L, out[4h + m] holds the lane's byte columns
// 8h + 2m (low qword) and 8h + 2m + 1 (high qword), one byte per row, row 0
// first; that is, qword j of out[r] is column ColumnOf(r, j) of the 64.
AVX512 inline __attribute__((always_inline)) void InterleaveRows(const __m512i in[8],
                                                                 __m512i out[8]) {
    __m512i t[8], u[4];
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm512_unpacklo_epi8(in[2 * i], in[2 * i + 1]);     // columns 0..7
        t[i + 4] = _mm512_unpackhi_epi8(in[2 * i], in[2 * i + 1]); // columns 8..15
    }
#pragma GCC unroll 8
    for (int h = 0; h < 2; ++h) {
        const __m512i* s = t + 4 * h;
        u[0] = _mm512_unpacklo_epi16(s[0], s[1]); // columns 0..3, rows 0..3
        u[1] = _mm512_unpackhi_epi16(s[0], s[1]); // columns 4..7, rows 0..3
        u[2] = _mm512_unpacklo_epi16(s[2], s[3]); // columns 0..3, rows 4..7
        u[3] = _mm512_unpackhi_epi16(s[2], s[3]); // columns 4..7, rows 4..7
        out[4 * h + 0] = _mm512_unpacklo_epi32(u[0], u[2]);
        out[4 * h + 1] = _mm512_unpackhi_epi32(u[0], u[2]);
        out[4 * h + 2] = _mm512_unpacklo_epi32(u[1], u[3]);
        out[4 * h + 3] = _mm512_unpackhi_epi32(u[1], u[3]);
    }
}
constexpr int ColumnOf(int r, int j) {
    return 16 * (j >> 1) + 8 * (r >> 2) + 2 * (r & 3) + (j & 1);
}

// The vpermb table of stage two: a column's qword of each of eight bands
// (byte 8b + p: band b, pixel p) into the column's eight destination lines
// (qword P) of eight bytes in destination order (byte B).
struct PermuteTables {
    alignas(64) uint8_t lines[2][64];
    constexpr PermuteTables() : lines() {
        for (int cw = 0; cw < 2; ++cw)
            for (int j = 0; j < 8; ++j)
                for (int m = 0; m < 8; ++m) {
                    const int b = cw ? 7 - m : m, p = cw ? j : 7 - j; // P = j, B = m
                    lines[cw][8 * j + m] = static_cast<uint8_t>(8 * b + p);
                }
    }
};
constexpr PermuteTables kPermute;

constexpr int kTileLines = 512; // destination lines of one 64-column step

// One group of eight bands (64 source lines from `band`), 64 source byte
// columns from c: tile qword t is the group's eight bytes of destination line
// `base + t` (see TurnBands64Avx512). `next`: the first of the 64 source lines
// that the same group of the next step reads, from its column, or null;
// `adjacent`: that step starts where this one ends, so the first of the two
// cache lines it reads of each line is being read now.
AVX512 void TurnGroup(const QuarterTurn& q, int band, size_t c, uint64_t* tile, const BYTE* next,
                      bool adjacent) {
    const int cw = q.clockwise ? 1 : 0;
    const __m512i toLines = _mm512_load_si512(kPermute.lines[cw]);
    // x bytes 0x80, 0x40, ... 0x01: byte p of the result is pixel p of the block.
    const __m512i pick = _mm512_set1_epi64(0x0102040810204080ll);
    alignas(64) __m512i blocks[8][8]; // [band][register r of InterleaveRows]
    // Held apart from `q`, which the stores below could otherwise change.
    const BYTE* const lines = q.Row(static_cast<size_t>(band) * 8) + c;
    const size_t stride = q.sourceBytes;
    for (int b = 0; b < 8; ++b) {
        __m512i rows[8], columns[8];
#pragma GCC unroll 8
        for (int y = 0; y < 8; ++y) {
            // Row y of the matrix operand ends up in bit 7 - y of each result
            // byte: turning clockwise, the band's bottom line is leftmost.
            const int line = cw ? 7 - y : y;
            rows[y] = _mm512_loadu_si512(lines + (static_cast<size_t>(b) * 8 + line) * stride);
        }
        // The next step reads 64 bytes of as many lines: too many at once for
        // the processor to see the pattern by itself.
        if (next) {
#pragma GCC unroll 8
            for (int y = 0; y < 8; ++y) {
                const char* ahead =
                    reinterpret_cast<const char*>(next + (static_cast<size_t>(b) * 8 + y) * stride);
                if (!adjacent) _mm_prefetch(ahead, _MM_HINT_T0);
                _mm_prefetch(ahead + 63, _MM_HINT_T0);
            }
        }
        InterleaveRows(rows, columns);
#pragma GCC unroll 8
        for (int r = 0; r < 8; ++r)
            blocks[b][r] = _mm512_gf2p8affine_epi64_epi8(pick, columns[r], 0);
    }
    for (int r = 0; r < 8; ++r) {
        __m512i bands[8], columns[8];
#pragma GCC unroll 8
        for (int b = 0; b < 8; ++b)
            bands[b] = blocks[b][r];
        TransposeQwords(bands, columns);
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) {
            const int column = ColumnOf(r, j);
            const size_t chunk = cw ? column : 63 - column;
            _mm512_store_si512(tile + 8 * chunk, _mm512_permutexvar_epi8(toLines, columns[j]));
        }
    }
}

// The groups' tiles into the destination lines from `top`, each line's bytes
// of the block in one store (`kWhole`: all eight groups, 64 bytes).
template <bool kWhole, bool kInvert>
AVX512 void MergeGroups(const QuarterTurn& q, const uint64_t (*tile)[kTileLines], int groups,
                        BYTE* top) {
    const __m512i invert = _mm512_set1_epi8(static_cast<char>(q.invert));
    const __mmask64 mask = kWhole ? ~0ull : (1ull << (8 * groups)) - 1;
    const size_t step = q.destBytes;
    for (int t = 0; t < kTileLines; t += 8) {
        // Groups in destination order: turning clockwise, the last group is leftmost.
        __m512i pieces[8], lines[8];
#pragma GCC unroll 8
        for (int p = 0; p < 8; ++p)
            pieces[p] = kWhole || p < groups
                            ? _mm512_load_si512(tile[q.clockwise ? groups - 1 - p : p] + t)
                            : _mm512_setzero_si512();
        TransposeQwords(pieces, lines);
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
            BYTE* at = top + (t + i) * step;
            const __m512i v = kInvert ? _mm512_xor_si512(lines[i], invert) : lines[i];
            if (kWhole)
                _mm512_storeu_si512(at, v);
            else
                _mm512_mask_storeu_epi8(at, mask, v);
        }
    }
}

} // namespace

AVX512 void TurnBands64Avx512(const QuarterTurn& q, int first, int blockBands, size_t c,
                              int nextFirst, int nextBands, size_t nextColumn) {
    const int groups = blockBands / 8;
    // The block's leftmost destination byte and the step's first destination line.
    const size_t byte = q.clockwise ? static_cast<size_t>(q.bands - first - blockBands) : first;
    const size_t base =
        q.clockwise ? (c - q.firstColumn) * 8 : (q.firstColumn + q.columns - c - 64) * 8;
    alignas(64) uint64_t tile[8][kTileLines];
    const bool adjacent = nextFirst == first && nextColumn == c + 64;
    for (int g = 0; g < groups; ++g)
        TurnGroup(q, first + 8 * g, c, tile[g],
                  8 * g < nextBands ? q.Row(static_cast<size_t>(nextFirst + 8 * g) * 8) + nextColumn
                                    : nullptr,
                  adjacent);
    BYTE* const top = q.DestAt(base, byte);
    if (groups == 8 && !q.invert)
        MergeGroups<true, false>(q, tile, groups, top);
    else if (groups == 8)
        MergeGroups<true, true>(q, tile, groups, top);
    else
        MergeGroups<false, true>(q, tile, groups, top);
}

} // namespace bitsqueeze
