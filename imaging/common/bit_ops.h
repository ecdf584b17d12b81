// Small bit and byte helpers shared by the codec, the rotation and the halftone.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace imaging {

constexpr std::array<uint8_t, 256> BuildReverseTable() {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (v & (1 << b)) r |= 0x80 >> b;
        t[v] = static_cast<uint8_t>(r);
    }
    return t;
}
// kReverseBits[b]: b with its bit order reversed.
inline constexpr std::array<uint8_t, 256> kReverseBits = BuildReverseTable();

// Reverses the bit order inside each byte of a word, keeping the byte order.
constexpr uint64_t ReverseBitsInBytes(uint64_t v) {
    v = (v >> 1 & 0x5555555555555555ull) | (v & 0x5555555555555555ull) << 1;
    v = (v >> 2 & 0x3333333333333333ull) | (v & 0x3333333333333333ull) << 2;
    return (v >> 4 & 0x0F0F0F0F0F0F0F0Full) | (v & 0x0F0F0F0F0F0F0F0Full) << 4;
}

inline uint64_t LoadBE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

inline void StoreBE64(uint8_t* p, uint64_t v) {
    v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void StoreLE64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}

// Loads up to 8 bytes as the leading bytes of a big-endian word (missing bytes 0).
inline uint64_t LoadBEPartial(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= static_cast<uint64_t>(p[i]) << (56 - 8 * i);
    return v;
}

} // namespace imaging
