// icImageTypeConvertTo256Gray_speed: 24-bit colour (blue, green, red) to 8-bit
// gray, gray = (0.30 red + 0.59 green + 0.11 blue) through 7-bit fixed-point tables.
// Where the processor has AVX2, 16 pixels at a time compute the same table
// values in 16-bit lanes.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "gray_weights.h"
#include "image_rows.h"

namespace tonemill {
namespace {

#define AVX2 __attribute__((target("avx2")))

// The weight tables as integer arithmetic: kRedWeight[v] = round(38.4 v) =
// 38 v + (4 v + 5) / 10, kGreenWeight[v] = round(75.52 v) = 75 v + (26 v + 25) / 50,
// kBlueWeight[v] = round(14.08 v) = 14 v + (4 v + 25) / 50; the divisions by
// multiplying with 6554 / 2^16 and 20972 / 2^20, exact for these small
// dividends (checked for every value below).
constexpr int kDiv10 = 6554, kDiv50 = 20972;
constexpr int RedTerm(int v) {
    return 38 * v + (4 * v + 5) * kDiv10 / 65536;
}
constexpr int GreenTerm(int v) {
    return 75 * v + (26 * v + 25) * kDiv50 / (1 << 20);
}
constexpr int BlueTerm(int v) {
    return 14 * v + (4 * v + 25) * kDiv50 / (1 << 20);
}
constexpr bool TermsMatchTables() {
    for (int v = 0; v < 256; ++v)
        if (RedTerm(v) != kRedWeight[v] || GreenTerm(v) != kGreenWeight[v] ||
            BlueTerm(v) != kBlueWeight[v])
            return false;
    return true;
}
static_assert(TermsMatchTables());

// Byte selectors that gather one colour byte of 16 pixels out of three 16-byte
// pieces (48 bytes): kPick[channel][piece], 0x80 for a byte of another piece.
struct PickTables {
    alignas(16) BYTE pick[3][3][16];
    constexpr PickTables() : pick() {
        for (int ch = 0; ch < 3; ++ch)
            for (int piece = 0; piece < 3; ++piece)
                for (int i = 0; i < 16; ++i) {
                    const int at = 3 * i + ch - 16 * piece;
                    pick[ch][piece][i] = at >= 0 && at < 16 ? static_cast<BYTE>(at) : 0x80;
                }
    }
};
constexpr PickTables kPick;

AVX2 inline __m256i Channel(__m128i a, __m128i b, __m128i c, int ch) {
    auto sel = [&](int piece) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(kPick.pick[ch][piece]));
    };
    __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, sel(0)), _mm_shuffle_epi8(b, sel(1))),
                             _mm_shuffle_epi8(c, sel(2)));
    return _mm256_cvtepu8_epi16(v);
}

// 16 pixels a step; returns how many pixels were converted.
AVX2 uint32_t ConvertLineAvx2(const BYTE* from, BYTE* to, uint32_t pixels) {
    const __m256i four = _mm256_set1_epi16(4), five = _mm256_set1_epi16(5),
                  twentyFive = _mm256_set1_epi16(25), div10 = _mm256_set1_epi16(kDiv10),
                  div50 = _mm256_set1_epi16(kDiv50), half = _mm256_set1_epi16(64);
    uint32_t i = 0;
    for (; i + 16 <= pixels; i += 16, from += 48, to += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
        // White paper, most of a page, needs no arithmetic.
        const __m128i all = _mm_and_si128(_mm_and_si128(a, b), c);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), all);
            continue;
        }
        const __m256i blue = Channel(a, b, c, 0), green = Channel(a, b, c, 1),
                      red = Channel(a, b, c, 2);
        __m256i sum = _mm256_add_epi16(
            _mm256_mullo_epi16(red, _mm256_set1_epi16(38)),
            _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(red, four), five), div10));
        sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(green, _mm256_set1_epi16(75)));
        sum = _mm256_add_epi16(
            sum,
            _mm256_srli_epi16(
                _mm256_mulhi_epu16(
                    _mm256_add_epi16(_mm256_mullo_epi16(green, _mm256_set1_epi16(26)), twentyFive),
                    div50),
                4));
        sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(blue, _mm256_set1_epi16(14)));
        sum = _mm256_add_epi16(
            sum, _mm256_srli_epi16(
                     _mm256_mulhi_epu16(
                         _mm256_add_epi16(_mm256_mullo_epi16(blue, four), twentyFive), div50),
                     4));
        const __m256i gray = _mm256_srli_epi16(_mm256_add_epi16(sum, half), 7);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(to),
            _mm_packus_epi16(_mm256_castsi256_si128(gray), _mm256_extracti128_si256(gray, 1)));
    }
    return i;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

inline BYTE GrayOf(const BYTE* bgr) {
    return static_cast<BYTE>(
        (kRedWeight[bgr[2]] + kGreenWeight[bgr[1]] + kBlueWeight[bgr[0]] + 64) >> 7);
}

void ConvertLine(const BYTE* from, BYTE* to, uint32_t pixels) {
    uint32_t i = HasAvx2() ? ConvertLineAvx2(from, to, pixels) : 0;
    from += size_t{i} * 3;
    to += i;
    // Four pixels (12 bytes) at a time; white and black groups need no arithmetic.
    for (; i + 4 <= pixels; i += 4, from += 12, to += 4) {
        uint64_t head;
        uint32_t tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + 8, 4);
        if (head == ~0ull && tail == ~0u) {
            std::memset(to, 0xFF, 4);
        } else if ((head | tail) == 0) {
            std::memset(to, 0, 4);
        } else {
            to[0] = GrayOf(from);
            to[1] = GrayOf(from + 3);
            to[2] = GrayOf(from + 6);
            to[3] = GrayOf(from + 9);
        }
    }
    for (; i < pixels; ++i, from += 3)
        *to++ = GrayOf(from);
}

} // namespace
} // namespace tonemill

DLLEXPORT BOOL WINAPI icImageTypeConvertTo256Gray_speed(void*, const icImage* source,
                                                        icImage* destination) {
    if (!source || !destination || source->type != IC_TYPE_RGB24 || !source->bits ||
        !destination->bits)
        return FALSE;
    // Whole top-down images; only what lies within both of them is converted.
    const uint32_t pixels =
        std::min({source->width, destination->width, source->stride / 3, destination->stride});
    const uint32_t lines = std::min(source->height, destination->height);
    for (uint32_t j = 0; j < lines; ++j)
        tonemill::ConvertLine(source->bits + size_t{j} * source->stride,
                              destination->bits + size_t{j} * destination->stride, pixels);
    return FALSE;
}
