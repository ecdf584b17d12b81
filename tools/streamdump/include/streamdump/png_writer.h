// PNG files of 8-bit gray or RGB images, written by libpng with unfiltered
// rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace streamdump {

// The PNG bytes of a width x height image with 1 (gray) or 3 (RGB) channels
// per pixel, rows top to bottom; empty when the sizes do not fit the pixels.
std::vector<std::uint8_t> EncodePng(int width, int height, int channels,
                                    const std::vector<std::uint8_t>& pixels);

// Writes EncodePng's bytes to `path`; false with *error set on failure.
bool WritePng(const std::string& path, int width, int height, int channels,
              const std::vector<std::uint8_t>& pixels, std::string* error);

} // namespace streamdump
