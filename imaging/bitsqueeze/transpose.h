// 8 x 8 bit-matrix transpose for the quarter turns. A matrix row is a byte of a
// big-endian word, its column 0 the most significant bit, as pixels lie in a raster.
#pragma once

#include <cstdint>

namespace bitsqueeze {

// 8 x 8: row r is byte r counted from the most significant end.
constexpr uint64_t Transpose8x8(uint64_t x) {
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

} // namespace bitsqueeze
