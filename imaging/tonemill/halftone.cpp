// icImageTypeConvertToBWDitherHalftone_speed: 8-bit gray to 1 bit through an
// ordered threshold matrix. A pixel darker than its threshold (value < threshold)
// becomes 0, any other 1. The column phase steps per pixel and the row phase per
// line, both wrapping at the matrix size, and go back to the caller so that the
// next band continues the pattern.
#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/bit_ops.h"
#include "image_rows.h"
#include "routines.h"

namespace tonemill {
namespace {

constexpr int kMaxCells = 16;
constexpr BYTE kDefaultThreshold = 128; // a missing or empty matrix: a flat threshold

struct Matrix {
    int width = 1, height = 1;
    BYTE cell[kMaxCells][kMaxCells] = {{kDefaultThreshold}};
    int step16 = 0; // how far the column phase moves over 16 pixels

    explicit Matrix(const icThresholdMatrix* m) {
        if (m && m->width > 0 && m->height > 0) {
            width = std::min<int>(m->width, kMaxCells);
            height = std::min<int>(m->height, kMaxCells);
            for (int r = 0; r < height; ++r)
                for (int c = 0; c < width; ++c)
                    cell[r][c] = static_cast<BYTE>(std::min<WORD>(m->cells[r][c], 255));
        }
        step16 = 16 % width;
        step32 = 32 % width;
    }

    int Next(int phase) const { return phase + 1 == width ? 0 : phase + 1; }

    // The thresholds of 16 pixels from a column phase, made when first asked
    // for (a call reaches few of the phases).
    const BYTE* Run16(int row, int phase) {
        const unsigned bit = 1u << phase;
        if (!(runMade[row] & bit)) {
            for (int i = 0; i < 16; ++i)
                run[row][phase][i] = cell[row][(phase + i) % width];
            runMade[row] |= bit;
        }
        return run[row][phase];
    }
    uint16_t runMade[kMaxCells] = {};
    alignas(16) BYTE run[kMaxCells][kMaxCells][16];

    // The thresholds of 32 pixels from a column phase, each group of 8 in
    // reverse order (see HalftoneLineAvx2), made when first asked for.
    const BYTE* Reversed32(int row, int phase) {
        const unsigned bit = 1u << phase;
        if (!(reversedMade[row] & bit)) {
            for (int i = 0; i < 32; ++i)
                reversed[row][phase][i] = cell[row][(phase + (i / 8) * 8 + 7 - i % 8) % width];
            reversedMade[row] |= bit;
        }
        return reversed[row][phase];
    }
    int step32 = 0; // how far the column phase moves over 32 pixels
    uint16_t reversedMade[kMaxCells] = {};
    alignas(32) BYTE reversed[kMaxCells][kMaxCells][32];
};

#define AVX2 __attribute__((target("avx2")))

bool UseAvx2() {
    // TONEMILL_SIMD=plain asks for the plain forms, which give the same bits.
    static const bool use = [] {
        const char* asked = std::getenv("TONEMILL_SIMD");
        return __builtin_cpu_supports("avx2") && !(asked && std::strcmp(asked, "plain") == 0);
    }();
    return use;
}

// 32 pixels, four whole destination bytes, per step from a byte boundary;
// returns the pixels done and leaves the column phase after them. The
// pixels of each group of 8 are compared in reverse order, so that the
// comparison mask has each group's first pixel in its top bit: the mask's
// bytes are the raster bytes.
AVX2 uint32_t HalftoneLineAvx2(Matrix& m, int row, int* phase, const BYTE* gray, BYTE* out,
                               uint32_t pixels) {
    const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                             7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    uint32_t i = 0;
    int p = *phase;
    __m256i t = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.Reversed32(row, p)));
    for (; i + 32 <= pixels; i += 32, out += 4) {
        const __m256i v = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(gray + i)), reverse);
        const __m256i white = _mm256_cmpeq_epi8(_mm256_max_epu8(v, t), v); // v >= t
        const uint32_t bits = static_cast<uint32_t>(_mm256_movemask_epi8(white));
        std::memcpy(out, &bits, 4);
        if (m.step32) {
            p += m.step32;
            if (p >= m.width) p -= m.width;
            t = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.Reversed32(row, p)));
        }
    }
    *phase = p;
    return i;
}

inline void PutBit(BYTE* line, uint64_t bit, bool white) {
    BYTE mask = static_cast<BYTE>(0x80 >> (bit & 7));
    if (white)
        line[bit >> 3] |= mask;
    else
        line[bit >> 3] &= static_cast<BYTE>(~mask);
}

// One line: `pixels` gray values to destination bits from bit `first` on. Returns
// nothing; the column phase of the next line is set by the caller.
void HalftoneLine(Matrix& m, int row, int phase, const BYTE* gray, BYTE* line, uint64_t first,
                  uint32_t pixels) {
    uint32_t i = 0;
    // Single pixels up to a byte boundary of the destination.
    for (; i < pixels && (first + i) % 8 != 0; ++i, phase = m.Next(phase))
        PutBit(line, first + i, gray[i] >= m.cell[row][phase]);
    BYTE* out = line + (first + i) / 8;
    if (UseAvx2() && i + 32 <= pixels) {
        const uint32_t done = HalftoneLineAvx2(m, row, &phase, gray + i, out, pixels - i);
        i += done;
        out += done / 8;
    }
    // 16 pixels, two whole destination bytes, per step.
    for (; i + 16 <= pixels; i += 16, out += 2) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gray + i));
        __m128i t = _mm_load_si128(reinterpret_cast<const __m128i*>(m.Run16(row, phase)));
        __m128i white = _mm_cmpeq_epi8(_mm_max_epu8(v, t), v); // v >= t
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(white));
        // The mask has pixel 0 in its lowest bit; a raster byte has it on top.
        out[0] = imaging::kReverseBits[bits & 0xFF];
        out[1] = imaging::kReverseBits[bits >> 8];
        phase += m.step16;
        if (phase >= m.width) phase -= m.width;
    }
    for (; i < pixels; ++i, phase = m.Next(phase))
        PutBit(line, first + i, gray[i] >= m.cell[row][phase]);
}

int Normalize(SHORT* phase, int size) {
    if (!phase) return 0;
    int v = *phase % size;
    return v < 0 ? v + size : v;
}

} // namespace
} // namespace tonemill

int tonemill::ConvertToBWHalftone(SHORT* columnPhase, SHORT* rowPhase,
                                  const icThresholdMatrix* matrix, const icImage* source,
                                  icImage* destination) {
    if (!source || !destination || source->type != IC_TYPE_GRAY ||
        destination->type != IC_TYPE_BW || !source->bits || !destination->bits)
        return 0;
    Matrix m(matrix);
    // Only what lies within both regions, and within both images, is converted.
    uint32_t pixels = std::min(source->width, destination->width);
    pixels = std::min(RegionPixels(*source, pixels, 8), RegionPixels(*destination, pixels, 1));
    uint32_t lines = std::min(source->height, destination->height);
    lines = std::min(RegionLines(*source, lines), RegionLines(*destination, lines));

    int column = Normalize(columnPhase, m.width);
    int row = Normalize(rowPhase, m.height);
    // Every line after the first starts at the destination region's own phase.
    const int lineStart = static_cast<int>(destination->x % m.width);
    for (uint32_t i = 0; i < lines; ++i) {
        const BYTE* gray = LineAt(*source, uint64_t{source->y} + i) + source->x;
        BYTE* line = LineAt(*destination, uint64_t{destination->y} + i);
        HalftoneLine(m, row, column, gray, line, destination->x, pixels);
        column = lineStart;
        row = (row + 1) % m.height;
    }
    if (columnPhase) *columnPhase = static_cast<SHORT>(column);
    if (rowPhase) *rowPhase = static_cast<SHORT>(row);
    return 1;
}
