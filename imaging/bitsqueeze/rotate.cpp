// RAW2ROTATE: turns 1-bit rasters by 0, 90, 180 or 270 degrees, optionally
// mirrored and inverted. Quarter and half turns work on bands of 8 source lines;
// a block of several bands is turned as those bands one after another would be.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "common/bit_ops.h"
#include "imaging/bitsqueeze.h"
#include "transpose.h"

namespace bitsqueeze {

using namespace imaging;
namespace {

constexpr int kDone = T4_STATUS_DONE;
constexpr int kRefused = T4_STATUS_ERROR;

// Reverses a line left to right (bytes in reverse order, each bit-reversed);
// `to` may be `from`.
void MirrorLine(BYTE* to, const BYTE* from, size_t bytes) {
    for (size_t i = 0, j = bytes; i < j--; ++i) {
        BYTE left = from[i], right = from[j];
        to[i] = kReverseBits[right];
        to[j] = kReverseBits[left];
    }
}

// The shape of one quarter turn: `bands` bands of 8 source lines, `columns` source
// byte columns starting at `firstColumn`, each giving 8 destination lines.
struct QuarterTurn {
    const BYTE* source;
    size_t sourceBytes; // S
    BYTE* destination;
    size_t destBytes;   // D
    int bands;
    size_t firstColumn;
    size_t columns;
    bool clockwise;     // 90 degrees; else 270
    BYTE invert;

    const BYTE* Row(size_t line) const { return source + line * sourceBytes; }
    // Destination line of pixel p (0..7) of source byte column c.
    size_t DestLine(size_t c, int p) const {
        size_t line = (c - firstColumn) * 8 + p;
        return clockwise ? line : columns * 8 - 1 - line;
    }
    // Destination byte that band j fills in every destination line.
    size_t DestByte(int band) const { return clockwise ? bands - 1 - band : band; }
    BYTE* DestAt(size_t line, size_t byte) const { return destination + line * destBytes + byte; }
};

// One 8 x 8 block: band j, source byte column c.
void TurnBlock(const QuarterTurn& q, int band, size_t c) {
    uint64_t x = 0;
    for (int r = 0; r < 8; ++r) {
        // The bottom line of the band becomes the leftmost pixel when turning clockwise.
        size_t line = band * 8 + (q.clockwise ? 7 - r : r);
        x |= static_cast<uint64_t>(q.Row(line)[c]) << (56 - 8 * r);
    }
    x = Transpose8x8(x);
    for (int p = 0; p < 8; ++p) *q.DestAt(q.DestLine(c, p), q.DestByte(band)) = static_cast<BYTE>(x >> (56 - 8 * p)) ^ q.invert;
}

// One band, 16 source byte columns from c: the 8 lines' bytes are interleaved so
// that each register holds two columns of 8 lines, then each pixel position is
// read out of the sign bits (one destination byte per column and pixel).
void TurnBand16(const QuarterTurn& q, int band, size_t c) {
    __m128i r[8];
    for (int y = 0; y < 8; ++y) {
        size_t line = band * 8 + (q.clockwise ? y : 7 - y);
        r[y] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q.Row(line) + c));
    }
    __m128i t[8], u[8], v[8];
    for (int i = 0; i < 4; ++i) {
        t[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);     // columns 0..7
        t[i + 4] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]); // columns 8..15
    }
    for (int h = 0; h < 2; ++h) { // h: columns 0..7 or 8..15
        __m128i* s = t + 4 * h;
        u[4 * h + 0] = _mm_unpacklo_epi16(s[0], s[1]); // lines 0..3, columns 0..3
        u[4 * h + 1] = _mm_unpackhi_epi16(s[0], s[1]); // lines 0..3, columns 4..7
        u[4 * h + 2] = _mm_unpacklo_epi16(s[2], s[3]); // lines 4..7, columns 0..3
        u[4 * h + 3] = _mm_unpackhi_epi16(s[2], s[3]); // lines 4..7, columns 4..7
        v[4 * h + 0] = _mm_unpacklo_epi32(u[4 * h + 0], u[4 * h + 2]); // columns 0, 1
        v[4 * h + 1] = _mm_unpackhi_epi32(u[4 * h + 0], u[4 * h + 2]); // columns 2, 3
        v[4 * h + 2] = _mm_unpacklo_epi32(u[4 * h + 1], u[4 * h + 3]); // columns 4, 5
        v[4 * h + 3] = _mm_unpackhi_epi32(u[4 * h + 1], u[4 * h + 3]); // columns 6, 7
    }
    const size_t destByte = q.DestByte(band);
    for (int k = 0; k < 8; ++k) {
        __m128i pair = v[k];
        size_t column = c + 2 * k;
        for (int p = 0; p < 8; ++p) {
            unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(pair));
            *q.DestAt(q.DestLine(column, p), destByte) = static_cast<BYTE>(bits) ^ q.invert;
            *q.DestAt(q.DestLine(column + 1, p), destByte) = static_cast<BYTE>(bits >> 8) ^ q.invert;
            pair = _mm_add_epi8(pair, pair);
        }
    }
}

// Eight bands at once, 8 source byte columns from c: a 64 x 64 transpose whose
// rows go to the destination as whole 8-byte words.
void TurnTile(const QuarterTurn& q, int band, size_t c) {
    uint64_t rows[64];
    for (int i = 0; i < 64; ++i) {
        size_t line = band * 8 + (q.clockwise ? 63 - i : i);
        rows[i] = LoadBE64(q.Row(line) + c);
    }
    Transpose64x64(rows);
    // Bands band..band+7 fill 8 neighbouring destination bytes.
    const size_t destByte = q.clockwise ? q.DestByte(band + 7) : q.DestByte(band);
    const uint64_t invert = q.invert ? ~0ull : 0;
    for (int x = 0; x < 64; ++x) StoreBE64(q.DestAt(q.DestLine(c + x / 8, x % 8), destByte), rows[x] ^ invert);
}

void TurnQuarter(const QuarterTurn& q) {
    const size_t end = q.firstColumn + q.columns;
    int band = 0;
    for (; band + 8 <= q.bands; band += 8) {
        size_t c = q.firstColumn;
        for (; c + 8 <= end; c += 8) TurnTile(q, band, c);
        for (int b = band; b < band + 8; ++b)
            for (size_t k = c; k < end; ++k) TurnBlock(q, b, k);
    }
    for (; band < q.bands; ++band) {
        size_t c = q.firstColumn;
        for (; c + 16 <= end; c += 16) TurnBand16(q, band, c);
        for (; c < end; ++c) TurnBlock(q, band, c);
    }
}

int Rotate(Raw2RotateBlock* b) {
    if (b->variant > RAW2ROTATE_MIRRORED_INVERTED) return kRefused;
    if (b->angle != 0 && b->angle != 90 && b->angle != 180 && b->angle != 270) return kRefused;
    if (!b->source || !b->destination || b->sourceStride % 8 != 0 || b->destinationStride % 8 != 0)
        return kRefused;
    const size_t S = b->sourceStride / 8, D = b->destinationStride / 8;
    const size_t lines = b->sourceLines;
    const bool mirror = b->variant & RAW2ROTATE_MIRRORED;
    const BYTE invert = (b->variant & RAW2ROTATE_INVERTED) ? 0xFF : 0;
    const BYTE blank = invert; // white, as written

    if (b->angle == 0) {
        if (S != D || lines != b->destinationLines) return kRefused;
        for (size_t y = 0; y < lines; ++y) {
            BYTE* to = b->destination + y * D;
            const BYTE* from = b->source + y * S;
            if (mirror)
                MirrorLine(to, from, S);
            else
                std::memmove(to, from, S);
            if (invert)
                for (size_t i = 0; i < D; ++i) to[i] ^= 0xFF;
        }
        return kDone;
    }

    // Quarter and half turns take whole bands of 8 source lines.
    if (lines == 0 || lines % 8 != 0) return kRefused;
    if (b->angle == 180 && b->destinationLines < lines) return kRefused;
    if (b->angle != 180 && (b->destinationLines % 8 != 0 || lines / 8 > D)) return kRefused;

    if (mirror)
        for (size_t y = 0; y < lines; ++y) MirrorLine(b->source + y * S, b->source + y * S, S);

    if (b->angle == 180) {
        // Destination line k is source line lines-1-k read backwards; a destination
        // wider than the source gets white on its left.
        const size_t n = std::min(S, D);
        for (size_t k = 0; k < lines; ++k) {
            const BYTE* from = b->source + (lines - 1 - k) * S;
            BYTE* to = b->destination + k * D;
            size_t i = 0;
            for (; i + 8 <= n; i += 8) {
                uint64_t v = ReverseBitsInBytes(__builtin_bswap64(LoadLE64(from + i)));
                StoreLE64(to + D - 8 - i, v ^ (invert ? ~0ull : 0));
            }
            for (; i < n; ++i) to[D - 1 - i] = kReverseBits[from[i]] ^ invert;
            std::memset(to, blank, D - n);
        }
        return kDone;
    }

    // A quarter turn produces destination-lines / 8 byte columns of the source,
    // never more than the source line holds; further destination lines are white.
    QuarterTurn q;
    q.source = b->source;
    q.sourceBytes = S;
    q.destination = b->destination;
    q.destBytes = D;
    q.bands = static_cast<int>(lines / 8);
    q.columns = std::min<size_t>(b->destinationLines / 8, S);
    q.clockwise = b->angle == 90;
    q.firstColumn = q.clockwise ? 0 : S - q.columns;
    q.invert = invert;
    TurnQuarter(q);
    for (size_t line = q.columns * 8; line < b->destinationLines; ++line)
        std::memset(b->destination + line * D, blank, q.bands);
    return kDone;
}

} // namespace
} // namespace bitsqueeze

DLLEXPORT int WINAPI RAW2ROTATE(Raw2RotateBlock* block) {
    if (!block) return T4_STATUS_ERROR;
    return bitsqueeze::Rotate(block);
}
