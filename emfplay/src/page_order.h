// The order of pages on the sheet sides of one page collection: which job
// page goes into which cell of which side, for every layout (plain, N-up,
// booklet, poster; fit and zoom print one page per side), with blank backs
// and reverse order. A number past the collection's last page is a blank cell.
#pragma once

#include <cstdint>
#include <vector>

#include "devmode_private.h"

namespace metaweave {

// LayoutKind bits of the private device mode; the first one set wins.
enum class Layout { None, Nup, Booklet, Poster, Fit, Zoom };
// The poster bit also keeps the page unclipped.
constexpr uint16_t kLayoutNoClip = kLayoutPoster;

// Booklet binding.
constexpr uint16_t kBindLeft = 1, kBindRight = 2;

struct LayoutSettings {
    Layout layout = Layout::None;
    uint32_t pagesPerSheet = 1; // N-up cells, or 2 for a short-edge duplex booklet
    uint32_t pageOrder =
        0; // 0 across, 1 down left first, 2 down right first, 3 across right to left
    bool borders = false;
    uint32_t bookletKind = kBindLeft;
    uint32_t bookletSheets = 0; // per signature: 1, 2, 4 or 8; else all
    uint32_t bindingMargin = 0; // device pixels
    uint32_t posterColumns = 1, posterRows = 1, posterOverlap = 0;
    uint32_t zoomPercent = 100, zoomAnchor = 0;
    uint32_t fitMode = 0;
    bool reverse = false;
    bool landscape = false;
    bool blankBacks = false;
};

// The layout of a device mode's private block (zeros for a block that is
// missing). resolution scales the margin and overlap to device pixels.
LayoutSettings LayoutOf(const DEVMODEA& dm, const PRIVATE_DEVMODE& priv, int resolution);

struct Grid {
    uint32_t columns = 1, rows = 1;
};
// The cell grid of N-up by pages per sheet and the collection's orientation.
Grid NupGrid(uint32_t pagesPerSheet, bool landscape);

// Cells that one sheet side holds: poster tiles one, booklet two, N-up its count.
uint32_t CellsPerSide(const LayoutSettings& layout);

// The order array for pages start+1 .. start+pages, side after side, each
// side's cells in grid order (rows top to bottom, each left to right).
// *sides is the number of sheet sides. False for a layout it cannot build.
bool BuildOrder(const LayoutSettings& layout, uint32_t start, uint32_t pages,
                std::vector<uint32_t>* order, uint32_t* sides);

} // namespace metaweave
