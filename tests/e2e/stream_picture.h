// A page drawn by `printhost decode --png`, read back through netpbm, for the
// end-to-end tests to probe.
#pragma once

#include <algorithm>
#include <cstddef>
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
    // Converted into the test's own root, never beside a committed picture.
    std::string ppm = platform_testing::Root() + "/read-png.ppm";
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

// The box of a picture's ink (pixels darker than light gray in some
// channel): left, top, right, bottom (exclusive); empty when all is paper.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};
inline Box InkBox(const Picture& p) {
    Box b{p.width, p.height, 0, 0};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const unsigned char* c = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
            if (std::min({c[0], c[1], c[2]}) < 200) {
                b.left = std::min(b.left, x), b.right = std::max(b.right, x + 1);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y + 1);
            }
        }
    return b;
}

// The colour of a picture at a share (u, v) across and down its ink box.
inline long AtShare(const Picture& p, const Box& b, double u, double v) {
    return p.At(b.left + static_cast<int>(u * (b.right - b.left)),
                b.top + static_cast<int>(v * (b.bottom - b.top)));
}

// The rows from share v0 to v1 down a picture's ink box, as a picture.
inline Picture Band(const Picture& p, const Box& b, double v0, double v1) {
    Picture out;
    const int top = b.top + static_cast<int>(v0 * (b.bottom - b.top)),
              bottom = b.top + static_cast<int>(v1 * (b.bottom - b.top));
    out.width = p.width;
    out.height = std::max(0, bottom - top);
    out.rgb.assign(p.rgb.begin() + static_cast<std::ptrdiff_t>(top) * p.width * 3,
                   p.rgb.begin() + static_cast<std::ptrdiff_t>(top + out.height) * p.width * 3);
    return out;
}

// How alike two pictures of one drawing are at any scale: each one's ink
// box cut into the same grid of cells (columns across, as many rows as the
// first box's aspect gives), the share of the cells holding ink in either
// whose mean colours match within tolerance in every channel.
inline double MatchingCells(const Picture& a, const Picture& b, int columns = 80,
                            int tolerance = 40) {
    const Box ba = InkBox(a), bb = InkBox(b);
    if (ba.Empty() || bb.Empty()) return 0;
    const int rows = std::max(
        1, static_cast<int>(columns * double(ba.bottom - ba.top) / (ba.right - ba.left) + 0.5));
    auto mean = [](const Picture& p, const Box& box, int cx, int cy, int columns, int rows,
                   double out[3]) {
        const int x0 = box.left + (box.right - box.left) * cx / columns,
                  x1 = std::max(x0 + 1, box.left + (box.right - box.left) * (cx + 1) / columns),
                  y0 = box.top + (box.bottom - box.top) * cy / rows,
                  y1 = std::max(y0 + 1, box.top + (box.bottom - box.top) * (cy + 1) / rows);
        double sum[3] = {0, 0, 0};
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c)
                    sum[c] += p.rgb[(static_cast<size_t>(y) * p.width + x) * 3 + c];
        for (int c = 0; c < 3; ++c)
            out[c] = sum[c] / (double(x1 - x0) * (y1 - y0));
    };
    long inked = 0, matched = 0;
    for (int cy = 0; cy < rows; ++cy)
        for (int cx = 0; cx < columns; ++cx) {
            double ma[3], mb[3];
            mean(a, ba, cx, cy, columns, rows, ma);
            mean(b, bb, cx, cy, columns, rows, mb);
            if (std::min({ma[0], ma[1], ma[2], mb[0], mb[1], mb[2]}) > 250) continue;
            ++inked;
            bool same = true;
            for (int c = 0; c < 3; ++c)
                same = same && std::abs(ma[c] - mb[c]) <= tolerance;
            matched += same;
        }
    return inked ? double(matched) / inked : 0;
}

} // namespace e2e
