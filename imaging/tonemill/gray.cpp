// icImageTypeConvertTo256Gray_speed: 24-bit colour (blue, green, red) to 8-bit
// gray, gray = (0.30 red + 0.59 green + 0.11 blue) through 7-bit fixed-point tables.
// Where the processor has AVX2, 32 pixels at a time compute the same table
// values in 16-bit lanes.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "gray_weights.h"
#include "image_rows.h"
#include "routines.h"

namespace tonemill {
namespace {

#define AVX2 __attribute__((target("avx2")))

// A band just drawn by the engine is larger than the processor's nearer
// caches: its rows are asked for this far ahead of the conversion.
constexpr int kPrefetchAhead = 2048;

// The weight tables as 16-bit rounding multiplies, mulhrs(a, k) = (a k + 2^14)
// >> 15: kRedWeight[v] = mulhrs(64 v, 19661), kGreenWeight[v] = mulhrs(16 v,
// 23593) + 64 v, kBlueWeight[v] = mulhrs(64 v, 7209) (checked for every value
// below), so that the sum and the gray value are those of the tables.
constexpr int kRedK = 19661, kGreenK = 23593, kBlueK = 7209;
constexpr int MulHrs(int a, int k) {
    return (a * k + (1 << 14)) >> 15;
}
constexpr bool TermsMatchTables() {
    for (int v = 0; v < 256; ++v)
        if (MulHrs(64 * v, kRedK) != kRedWeight[v] ||
            MulHrs(16 * v, kGreenK) + 64 * v != kGreenWeight[v] ||
            MulHrs(64 * v, kBlueK) != kBlueWeight[v])
            return false;
    return true;
}
static_assert(TermsMatchTables());
// The largest sum with its rounding still fits a signed 16-bit lane.
static_assert(kRedWeight[255] + kGreenWeight[255] + kBlueWeight[255] + 64 <= 32767);

// Byte selectors that spread one colour byte of 8 pixels (24 bytes) into
// 16-bit lanes: from the first 16 bytes (kPick[ch][0]) or from bytes 8 to 23
// (kPick[ch][1]), 0x80 for a lane byte that stays 0. Both 128-bit halves of a
// register use the same selectors, each on its own 8 pixels.
struct PickTables {
    alignas(32) BYTE pick[3][2][32];
    constexpr PickTables() : pick() {
        for (int ch = 0; ch < 3; ++ch)
            for (int half = 0; half < 2; ++half)
                for (int i = 0; i < 32; ++i) {
                    const int pixel = (i % 16) / 2, at = 3 * pixel + ch;
                    BYTE v = 0x80;
                    if (i % 2 == 0) {
                        if (half == 0 && at < 16) v = static_cast<BYTE>(at);
                        if (half == 1 && at >= 16) v = static_cast<BYTE>(at - 8);
                    }
                    pick[ch][half][i] = v;
                }
    }
};
constexpr PickTables kPick;

AVX2 inline __m256i Channel(__m256i first, __m256i second, int ch) {
    const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPick.pick[ch][0]));
    const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(kPick.pick[ch][1]));
    return _mm256_or_si256(_mm256_shuffle_epi8(first, a), _mm256_shuffle_epi8(second, b));
}

AVX2 inline __m256i Load2(const BYTE* low, const BYTE* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// The gray values of 16 pixels (48 bytes) in 16-bit lanes: pixels 0 to 7 in
// the low half, 8 to 15 in the high half.
AVX2 inline __m256i Gray16(const BYTE* from) {
    // Pixels 0-7 are bytes 0 to 23, pixels 8-15 bytes 24 to 47.
    const __m256i first = Load2(from, from + 24), second = Load2(from + 8, from + 32);
    const __m256i blue = Channel(first, second, 0), green = Channel(first, second, 1),
                  red = Channel(first, second, 2);
    const __m256i green16 = _mm256_slli_epi16(green, 4);
    __m256i sum = _mm256_mulhrs_epi16(_mm256_slli_epi16(red, 6), _mm256_set1_epi16(kRedK));
    sum = _mm256_add_epi16(sum, _mm256_mulhrs_epi16(green16, _mm256_set1_epi16(kGreenK)));
    sum = _mm256_add_epi16(sum, _mm256_slli_epi16(green16, 2));
    sum = _mm256_add_epi16(
        sum, _mm256_mulhrs_epi16(_mm256_slli_epi16(blue, 6), _mm256_set1_epi16(kBlueK)));
    return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(64)), 7);
}

// Whether the 96 bytes of 32 pixels are all 0xFF.
AVX2 inline bool AllWhite32(const BYTE* from) {
    const __m256i all = _mm256_and_si256(
        _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 32))),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 64)));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(all, _mm256_set1_epi8(-1))) == -1;
}

// 32 pixels a step, then 16; returns how many pixels were converted.
AVX2 uint32_t ConvertLineAvx2(const BYTE* from, BYTE* to, uint32_t pixels) {
    uint32_t i = 0;
    for (; i + 32 <= pixels; i += 32, from += 96, to += 32) {
        _mm_prefetch(reinterpret_cast<const char*>(from) + kPrefetchAhead, _MM_HINT_T0);
        // White paper, most of a page, needs no arithmetic.
        if (AllWhite32(from)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_set1_epi8(-1));
            continue;
        }
        // Packed in-lane: pixels 0-7, 16-23 | 8-15, 24-31; then put in order.
        const __m256i packed = _mm256_packus_epi16(Gray16(from), Gray16(from + 48));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                            _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    for (; i + 16 <= pixels; i += 16, from += 48, to += 16) {
        const __m256i g = Gray16(from);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(to),
            _mm_packus_epi16(_mm256_castsi256_si128(g), _mm256_extracti128_si256(g, 1)));
    }
    return i;
}

bool UseAvx2() {
    // TONEMILL_SIMD=plain asks for the plain forms, which give the same bits.
    static const bool use = [] {
        const char* asked = std::getenv("TONEMILL_SIMD");
        return __builtin_cpu_supports("avx2") && !(asked && std::strcmp(asked, "plain") == 0);
    }();
    return use;
}

inline BYTE GrayOf(const BYTE* bgr) {
    return static_cast<BYTE>(
        (kRedWeight[bgr[2]] + kGreenWeight[bgr[1]] + kBlueWeight[bgr[0]] + 64) >> 7);
}

void ConvertLine(const BYTE* from, BYTE* to, uint32_t pixels) {
    uint32_t i = UseAvx2() ? ConvertLineAvx2(from, to, pixels) : 0;
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

BOOL tonemill::ConvertTo256Gray(void*, const icImage* source, icImage* destination) {
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
