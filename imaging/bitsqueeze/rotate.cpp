// RAW2ROTATE: turns 1-bit rasters by 0, 90, 180 or 270 degrees, optionally
// mirrored and inverted. Quarter and half turns work on bands of 8 source lines;
// a block of several bands is turned as those bands one after another would be.
#include <algorithm>
#include <cstring>

#include "common/bit_ops.h"
#include "imaging/bitsqueeze.h"
#include "quarter_turn.h"
#include "routines.h"

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
                for (size_t i = 0; i < D; ++i)
                    to[i] ^= 0xFF;
        }
        return kDone;
    }

    // Quarter and half turns take whole bands of 8 source lines.
    if (lines == 0 || lines % 8 != 0) return kRefused;
    if (b->angle == 180 && b->destinationLines < lines) return kRefused;
    if (b->angle != 180 && (b->destinationLines % 8 != 0 || lines / 8 > D)) return kRefused;

    if (mirror)
        for (size_t y = 0; y < lines; ++y)
            MirrorLine(b->source + y * S, b->source + y * S, S);

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
            for (; i < n; ++i)
                to[D - 1 - i] = kReverseBits[from[i]] ^ invert;
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

int bitsqueeze::RotateBlock(Raw2RotateBlock* block) {
    if (!block) return T4_STATUS_ERROR;
    return Rotate(block);
}
