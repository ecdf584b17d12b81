// icImageTypeConvertTo256Gray_speed: 24-bit colour (blue, green, red) to 8-bit
// gray, gray = (0.30 red + 0.59 green + 0.11 blue) through 7-bit fixed-point tables.
#include <algorithm>
#include <array>
#include <cstring>

#include "gray_weights.h"
#include "image_rows.h"

namespace tonemill {
namespace {

inline BYTE GrayOf(const BYTE* bgr) {
    return static_cast<BYTE>(
        (kRedWeight[bgr[2]] + kGreenWeight[bgr[1]] + kBlueWeight[bgr[0]] + 64) >> 7);
}

void ConvertLine(const BYTE* from, BYTE* to, uint32_t pixels) {
    uint32_t i = 0;
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
