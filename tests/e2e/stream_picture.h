// A page drawn by `printhost decode --png`, read back through netpbm, for the
// end-to-end tests to probe.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"

namespace e2e {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    // The pixel as 0xRRGGBB; -1 outside the picture.
    long At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return -1;
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return long(rgb[i]) << 16 | long(rgb[i + 1]) << 8 | rgb[i + 2];
    }
    bool Dark(int x, int y) const {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return rgb[i] + rgb[i + 1] + rgb[i + 2] < 3 * 128;
    }
};

inline bool ReadPng(const std::string& png, Picture* pic) {
    std::string ppm = png + ".ppm";
    if (platform_testing::RunCommand("pngtopnm '" + png + "' > '" + ppm + "'") != 0) return false;
    std::FILE* f = std::fopen(ppm.c_str(), "rb");
    if (!f) return false;
    int maxval = 0;
    bool ok = std::fscanf(f, "P6 %d %d %d", &pic->width, &pic->height, &maxval) == 3 &&
              maxval == 255 && pic->width > 0 && pic->height > 0;
    std::fgetc(f); // the one white-space byte before the pixels
    if (ok) {
        pic->rgb.resize(static_cast<size_t>(pic->width) * pic->height * 3);
        ok = std::fread(pic->rgb.data(), 1, pic->rgb.size(), f) == pic->rgb.size();
    }
    std::fclose(f);
    return ok;
}

} // namespace e2e
