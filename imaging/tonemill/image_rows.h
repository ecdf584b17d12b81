// Line addressing of an icImage region, top-down or bottom-up, kept inside the
// lines the descriptor says the image has.
#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/tonemill.h"

namespace tonemill {

inline int BitsPerPixel(WORD type) {
    switch (type) {
    case IC_TYPE_BW:
        return 1;
    case IC_TYPE_GRAY:
        return 8;
    case IC_TYPE_RGB24:
        return 24;
    default:
        return 0;
    }
}

// Line `line` (counted from the top) of an image.
inline BYTE* LineAt(const icImage& image, uint64_t line) {
    uint64_t index = image.bottomUp ? uint64_t{image.lines} - 1 - line : line;
    return image.bits + index * image.stride;
}

// Lines of the region that lie in the image: a bottom-up image is addressed from
// its last line, so its region must end within `lines`.
inline uint32_t RegionLines(const icImage& image, uint32_t height) {
    if (!image.bottomUp) return height;
    if (image.y >= image.lines) return 0;
    return std::min<uint32_t>(height, image.lines - image.y);
}

// Pixels of the region that lie within a line of `stride` bytes.
inline uint32_t RegionPixels(const icImage& image, uint32_t width, int bitsPerPixel) {
    uint64_t linePixels = uint64_t{image.stride} * 8 / bitsPerPixel;
    if (image.x >= linePixels) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(width, linePixels - image.x));
}

} // namespace tonemill
