// The engine's two-operand mixes as three-operand raster operations, shared
// by the printer stream and the recorded page files.
#pragma once

#include "win/types.h"

namespace inkforge {

// The three-operand raster operation of each two-operand mix (index = mix &
// 0xF; 0 is the white mix 16).
inline constexpr BYTE kMixRop[16] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A,
                                     0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA};

} // namespace inkforge
