// A renderer of the vector content of a printer stream's pages, for people to
// look at and for tests to probe: paths filled by the fill mode (even-odd or
// non-zero) and stroked with the pen's width, caps, joins, miter limit and
// dashes, rectangles, clip rectangles, gray and RGB colours, each combined
// with the page by the raster operation in force. The page is the paper the
// page command names, scaled so that its longer side is `longSide` pixels;
// the stream's coordinates start at the corner of the printer's printable
// area, its unprintable margin in from the paper's corner.
// It draws without the platform's graphics engine, so that the two can check
// each other. What it does not draw (raster patterns, malformed tokens) is
// counted as skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

struct PageImage {
    int width = 0; // pixels
    int height = 0;
    std::vector<std::uint8_t> rgb; // width x height x 3, rows top to bottom, white paper
    const char* paperName = "";    // the paper the page is drawn on
    bool paperKnown = false;       // false: a paper the decoder does not know, drawn as A4
    long pageWidth = 0;            // the page in dots at the stream's resolution
    long pageHeight = 0;
    double scale = 0; // pixels per dot
    int originX = 0;  // the stream's origin in the picture, pixels
    int originY = 0;
    std::size_t drawn = 0;   // paint operations drawn
    std::size_t skipped = 0; // tokens and paint operations not drawn

    // The pixel at (x, y) as 0xRRGGBB; -1 outside the image.
    long Pixel(int x, int y) const;
    // The pixel under the point (x, y) of the stream, in dots.
    long PixelAtDot(double x, double y) const;
};

// One image per page ("page start" to "page end") of the decoded stream;
// `data` must be the bytes that were decoded.
std::vector<PageImage> RenderPages(const std::uint8_t* data, std::size_t size,
                                   const Decoding& decoding, int longSide = 1100);

} // namespace streamdump
