// Gray weights: table[v] = round(v x w x 128) for w = 0.30 (red), 0.59 (green)
// and 0.11 (blue), in exact integer arithmetic (no value falls on a half).
#pragma once

#include <array>
#include <cstdint>

namespace tonemill {

constexpr std::array<uint16_t, 256> WeightTable(int numerator, int denominator) {
    std::array<uint16_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        t[v] = static_cast<uint16_t>((v * numerator + denominator / 2) / denominator);
    return t;
}

inline constexpr std::array<uint16_t, 256> kRedWeight = WeightTable(3840, 100);   // 0.30 x 128
inline constexpr std::array<uint16_t, 256> kGreenWeight = WeightTable(7552, 100); // 0.59 x 128
inline constexpr std::array<uint16_t, 256> kBlueWeight = WeightTable(1408, 100);  // 0.11 x 128

static_assert(kRedWeight[255] == 9792 && kGreenWeight[255] == 19258 && kBlueWeight[255] == 3590);

} // namespace tonemill
