// icAllWhiteCheck and icAllWhiteCheck_W0B1: is every byte of an image one value?
#include <cstring>

#include "imaging/tonemill.h"
#include "routines.h"

namespace tonemill {
namespace {

int AllBytesAre(const icImage* image, BYTE value) {
    if (!image || !image->bits) return 0;
    switch (image->type) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
        break;
    default:
        return 0;
    }
    const size_t size = size_t{image->stride} * image->height;
    const BYTE* p = image->bits;
    const uint64_t pattern = value * 0x0101010101010101ull;
    size_t i = 0;
    // Eight bytes at a time, four words per step, then the tail byte by byte.
    for (; i + 32 <= size; i += 32) {
        uint64_t w[4];
        std::memcpy(w, p + i, 32);
        if (((w[0] ^ pattern) | (w[1] ^ pattern) | (w[2] ^ pattern) | (w[3] ^ pattern)) != 0)
            return 0;
    }
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w != pattern) return 0;
    }
    for (; i < size; ++i)
        if (p[i] != value) return 0;
    return 1;
}

} // namespace
} // namespace tonemill

int tonemill::AllWhiteCheck(const icImage* image) {
    return AllBytesAre(image, 0xFF);
}

int tonemill::AllWhiteCheckW0B1(const icImage* image) {
    return AllBytesAre(image, 0x00);
}
