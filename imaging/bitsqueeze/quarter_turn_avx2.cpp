// The AVX2 form of the eight-band quarter turn: 32 source byte columns per step,
// and 32 lines per sign-bit mask. Compiled for AVX2 function by function, and
// called only when the processor has it.
#include <immintrin.h>

#include <cstring>

#include "quarter_turn.h"

namespace bitsqueeze {
namespace {

#define AVX2 __attribute__((target("avx2")))

// Two bands (16 lines) at source byte columns c..c+31 as a 16 x 16 byte transpose
// in each 128-bit half: out[k] holds column c + k in its low half and c + 16 + k
// in its high half, the lines ordered as for the SSE2 form.
AVX2 inline __attribute__((always_inline)) void LoadTwoBands32(const QuarterTurn& q, int band,
                                                               size_t c, __m256i out[16]) {
    __m256i x[16], y[16];
    for (int i = 0; i < 16; ++i) {
        int line = q.clockwise ? (i < 8 ? 8 + i : i - 8) : (i < 8 ? 7 - i : 23 - i);
        x[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q.Row(band * 8 + line) + c));
    }
    for (int i = 0; i < 8; ++i)
        y[i] = _mm256_unpacklo_epi8(x[2 * i], x[2 * i + 1]),
        y[i + 8] = _mm256_unpackhi_epi8(x[2 * i], x[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        x[i] = _mm256_unpacklo_epi16(y[2 * i], y[2 * i + 1]),
        x[i + 8] = _mm256_unpackhi_epi16(y[2 * i], y[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        y[i] = _mm256_unpacklo_epi32(x[2 * i], x[2 * i + 1]),
        y[i + 8] = _mm256_unpackhi_epi32(x[2 * i], x[2 * i + 1]);
    for (int i = 0; i < 8; ++i)
        x[i] = _mm256_unpacklo_epi64(y[2 * i], y[2 * i + 1]),
        x[i + 8] = _mm256_unpackhi_epi64(y[2 * i], y[2 * i + 1]);
    static constexpr int kColumnAt[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int k = 0; k < 16; ++k)
        out[k] = x[kColumnAt[k]];
}

// The 8 destination lines of one source byte column: `low` holds the column in
// the first four bands (in destination order), `high` in the last four.
AVX2 inline __attribute__((always_inline)) void
WriteColumn(const QuarterTurn& q, size_t column, size_t destByte, __m256i low, __m256i high) {
    const uint64_t invert = q.invert ? ~0ull : 0;
    const ptrdiff_t step = q.DestStep();
    BYTE* at = q.DestAt(q.DestLine(column, 0), destByte);
    for (int p = 0; p < 8; ++p, at += step) {
        uint64_t v = uint64_t(uint32_t(_mm256_movemask_epi8(low))) |
                     uint64_t(uint32_t(_mm256_movemask_epi8(high))) << 32;
        v ^= invert;
        std::memcpy(at, &v, 8);
        low = _mm256_add_epi8(low, low);
        high = _mm256_add_epi8(high, high);
    }
}

} // namespace

AVX2 void TurnEightBands32Avx2(const QuarterTurn& q, int band, size_t c) {
    // Groups of two bands, in the order their bytes lie in the destination.
    __m256i g[4][16];
    for (int i = 0; i < 4; ++i)
        LoadTwoBands32(q, band + 2 * (q.clockwise ? 3 - i : i), c, g[i]);
    const size_t destByte = q.clockwise ? q.DestByte(band + 7) : q.DestByte(band);
    for (int k = 0; k < 16; ++k) {
        // Column c + k from the low halves, c + 16 + k from the high halves.
        WriteColumn(q, c + k, destByte, _mm256_permute2x128_si256(g[0][k], g[1][k], 0x20),
                    _mm256_permute2x128_si256(g[2][k], g[3][k], 0x20));
        WriteColumn(q, c + 16 + k, destByte, _mm256_permute2x128_si256(g[0][k], g[1][k], 0x31),
                    _mm256_permute2x128_si256(g[2][k], g[3][k], 0x31));
    }
}

} // namespace bitsqueeze
