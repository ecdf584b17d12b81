// Raster lines and their change lists. A change list holds the 1-based positions
// where a line changes colour, starting white: {1, first black, next white, ...,
// width + 1}, closed by width + 1, width + 2, width + 2.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/bit_ops.h"

namespace bitsqueeze {

using namespace imaging;

// Position (0-based) of the first pixel at or after `pos` whose colour is not the
// given one, or `width` when there is none. Looks at whole 64-bit words, so runs
// of white or black cost one step per 64 pixels; never reads past the line.
inline int FindChange(const uint8_t* line, int width, int pos, bool black) {
    const int bytes = (width + 7) / 8;
    const uint64_t flip = black ? ~0ull : 0;
    int byte = pos >> 3;
    auto load = [&](int at) {
        return (at + 8 <= bytes ? LoadBE64(line + at) : LoadBEPartial(line + at, bytes - at) |
                                                            (flip & (~0ull >> (8 * (bytes - at))))) ^ flip;
    };
    uint64_t word = load(byte) & (~0ull >> (pos & 7));
    while (word == 0) {
        byte += 8;
        if (byte >= bytes) return width;
        word = load(byte);
    }
    int found = byte * 8 + __builtin_clzll(word);
    return found < width ? found : width;
}

// Writes the change list of a line and returns its length up to and including
// the first width + 1; the three closing entries follow it.
inline int LineToChanges(const uint8_t* line, int width, uint16_t* changes) {
    int count = 0;
    changes[count++] = 1;
    bool black = false;
    for (int pos = 0; pos < width; black = !black) {
        pos = FindChange(line, width, pos, black);
        changes[count++] = static_cast<uint16_t>(pos + 1);
    }
    changes[count] = static_cast<uint16_t>(width + 1);
    changes[count + 1] = static_cast<uint16_t>(width + 2);
    changes[count + 2] = static_cast<uint16_t>(width + 2);
    return count;
}

inline void SetEmptyChanges(uint16_t* changes, int width) {
    const uint16_t w1 = static_cast<uint16_t>(width + 1), w2 = static_cast<uint16_t>(width + 2);
    changes[0] = 1;
    changes[1] = w1;
    changes[2] = w1;
    changes[3] = w2;
    changes[4] = w2;
}

// Length of a change list up to its first width + 1, looking at no more than
// width + 2 entries (a list the caller disturbed still ends).
inline int ChangesLength(const uint16_t* changes, int width) {
    for (int i = 1; i < width + 2; ++i)
        if (changes[i] >= width + 1) return i + 1;
    return width + 2;
}

// Sets pixels [from, to) of a line to black.
inline void FillBlack(uint8_t* line, int from, int to) {
    if (from >= to) return;
    int first = from >> 3, last = (to - 1) >> 3;
    uint8_t headMask = static_cast<uint8_t>(0xFF >> (from & 7));
    uint8_t tailMask = static_cast<uint8_t>(0xFF << (7 - ((to - 1) & 7)));
    if (first == last) {
        line[first] |= headMask & tailMask;
        return;
    }
    line[first] |= headMask;
    if (last - first > 1) std::memset(line + first + 1, 0xFF, last - first - 1);
    line[last] |= tailMask;
}

// Draws a line from its change list: cleared first, then its black runs set.
// Positions are clamped to the line, so a damaged list cannot write past it.
inline void DrawChanges(uint8_t* line, int width, const uint16_t* changes, int count) {
    std::memset(line, 0, (width + 7) / 8);
    for (int i = 1; i + 1 < count; i += 2) {
        int from = changes[i] - 1, to = changes[i + 1] - 1;
        if (to > width) to = width;
        if (from < 0) from = 0;
        FillBlack(line, from, to);
    }
}

} // namespace bitsqueeze
