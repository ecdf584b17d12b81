// icImageTypeConvertToBWDitherHalftone_speed: 8-bit gray to 1 bit through an
// ordered threshold matrix. A pixel darker than its threshold (value < threshold)
// becomes 0, any other 1. The column phase steps per pixel and the row phase per
// line, both wrapping at the matrix size, and go back to the caller so that the
// next band continues the pattern.
#include <emmintrin.h>

#include <algorithm>

#include "common/bit_ops.h"
#include "image_rows.h"

namespace tonemill {
namespace {

constexpr int kMaxCells = 16;
constexpr BYTE kDefaultThreshold = 128; // a missing or empty matrix: a flat threshold

struct Matrix {
    int width = 1, height = 1;
    BYTE cell[kMaxCells][kMaxCells] = {{kDefaultThreshold}};
    // run[row][phase]: the thresholds of 16 pixels starting at that column phase.
    alignas(16) BYTE run[kMaxCells][kMaxCells][16];
    int step16 = 0; // how far the column phase moves over 16 pixels

    explicit Matrix(const icThresholdMatrix* m) {
        if (m && m->width > 0 && m->height > 0) {
            width = std::min<int>(m->width, kMaxCells);
            height = std::min<int>(m->height, kMaxCells);
            for (int r = 0; r < height; ++r)
                for (int c = 0; c < width; ++c)
                    cell[r][c] = static_cast<BYTE>(std::min<WORD>(m->cells[r][c], 255));
        }
        for (int r = 0; r < height; ++r)
            for (int p = 0; p < width; ++p)
                for (int i = 0; i < 16; ++i)
                    run[r][p][i] = cell[r][(p + i) % width];
        step16 = 16 % width;
    }

    int Next(int phase) const { return phase + 1 == width ? 0 : phase + 1; }
};

inline void PutBit(BYTE* line, uint64_t bit, bool white) {
    BYTE mask = static_cast<BYTE>(0x80 >> (bit & 7));
    if (white)
        line[bit >> 3] |= mask;
    else
        line[bit >> 3] &= static_cast<BYTE>(~mask);
}

// One line: `pixels` gray values to destination bits from bit `first` on. Returns
// nothing; the column phase of the next line is set by the caller.
void HalftoneLine(const Matrix& m, int row, int phase, const BYTE* gray, BYTE* line, uint64_t first,
                  uint32_t pixels) {
    uint32_t i = 0;
    // Single pixels up to a byte boundary of the destination.
    for (; i < pixels && (first + i) % 8 != 0; ++i, phase = m.Next(phase))
        PutBit(line, first + i, gray[i] >= m.cell[row][phase]);
    // 16 pixels, two whole destination bytes, per step.
    BYTE* out = line + (first + i) / 8;
    for (; i + 16 <= pixels; i += 16, out += 2) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gray + i));
        __m128i t = _mm_load_si128(reinterpret_cast<const __m128i*>(m.run[row][phase]));
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

DLLEXPORT int WINAPI icImageTypeConvertToBWDitherHalftone_speed(SHORT* columnPhase, SHORT* rowPhase,
                                                                const icThresholdMatrix* matrix,
                                                                const icImage* source,
                                                                icImage* destination) {
    using namespace tonemill;
    if (!source || !destination || source->type != IC_TYPE_GRAY ||
        destination->type != IC_TYPE_BW || !source->bits || !destination->bits)
        return 0;
    const Matrix m(matrix);
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
