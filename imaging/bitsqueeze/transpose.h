// Bit-matrix transposes for the quarter turns. A matrix row is a big-endian word
// (or byte), its column 0 the most significant bit, as pixels lie in a raster.
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

// 64 x 64 in place: swaps ever smaller off-diagonal blocks (32, 16, ... 1).
inline void Transpose64x64(uint64_t rows[64]) {
    uint64_t mask = 0x00000000FFFFFFFFull;
    for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
        for (int block = 0; block < 64; block += 2 * j) {
            for (int k = block; k < block + j; ++k) {
                uint64_t t = (rows[k] ^ (rows[k + j] >> j)) & mask;
                rows[k] ^= t;
                rows[k + j] ^= t << j;
            }
        }
    }
}

} // namespace bitsqueeze
