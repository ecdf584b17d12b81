// The picture sample: bitmaps of every depth, header and compression, and
// gradients, with the source images and where each lands on the page, so
// that a test can compare a drawing of the page with its sources.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/types.h"

namespace emfgen {

// One image of the page: its colour at (u, v) in [0, 1) of its own area
// (RGB, red in the low byte), and the area in page pixels (A4 at 600 dpi).
struct PlacedImage {
    std::string name;
    RECTL area;
    std::function<ULONG(double u, double v)> color;
    int tolerance = 0;      // per channel (JPEG is lossy)
    int cols = 8, rows = 8; // cells of one colour each: probed at their centres
};

std::vector<BYTE> PicturesDocument();
std::vector<PlacedImage> PictureLayout();

} // namespace emfgen
