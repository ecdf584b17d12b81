// Packed bitmaps (header, colours, bits in one block) as the resource loader
// and the pattern brushes read them: both parse the header through GDI's
// bitmap reader and then apply their own, narrower rules. The headers are
// laid out by hand from the documented field offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../src/images.h"
#include "win/gdi_dc.h"

namespace {

struct HeaderCase {
    const char* name;
    DWORD size; // the header's own size field
    LONG width, height;
    WORD planes, bitCount;
    DWORD compression, clrUsed;
    size_t total; // bytes given to the resource loader (0: header, colours and bits)
    bool bitmap;  // accepted as a resource bitmap
    bool icon;    // accepted as an icon's image (height counts the mask)
    bool pattern; // accepted by CreateDIBPatternBrushPt
};

// A packed bitmap: the header, then zeros enough for every colour table and
// the bits of the largest case.
std::vector<BYTE> Packed(const HeaderCase& c) {
    std::vector<BYTE> b(c.size + 4096 + 1024, 0);
    auto put = [&](size_t at, auto v) { std::memcpy(b.data() + at, &v, sizeof v); };
    put(0, c.size);
    if (c.size == 12) {
        // The oldest header: word-sized width, height, planes and depth.
        put(4, static_cast<WORD>(c.width));
        put(6, static_cast<WORD>(c.height));
        put(8, c.planes);
        put(10, c.bitCount);
    } else {
        put(4, c.width);
        put(8, c.height);
        put(12, c.planes);
        put(14, c.bitCount);
        put(16, c.compression);
        put(20, DWORD{0}); // image size
        put(32, c.clrUsed);
    }
    return b;
}

const HeaderCase kCases[] = {
    {"info header, 8 bits", 40, 4, 4, 1, 8, 0, 0, 0, true, true, true},
    {"info header, 1 bit", 40, 8, 8, 1, 1, 0, 0, 0, true, true, true},
    {"info header, 24 bits, top-down", 40, 4, -4, 1, 24, 0, 0, 0, true, true, true},
    {"info header, 16 bits", 40, 4, 4, 1, 16, 0, 0, 0, true, true, true},
    {"fourth version, 32 bits", 108, 4, 4, 1, 32, 0, 0, 0, true, true, true},
    {"fifth version, 4 bits", 124, 4, 4, 1, 4, 0, 0, 0, true, true, true},
    {"oldest header", 12, 4, 4, 1, 8, 0, 0, 0, false, false, false},
    {"header of 39 bytes", 39, 4, 4, 1, 8, 0, 0, 0, false, false, false},
    {"header larger than the fifth version", 200, 4, 4, 1, 24, 0, 0, 0, true, true, false},
    {"header larger than its block", 124, 4, 4, 1, 8, 0, 0, 100, false, false, true},
    {"block shorter than an info header", 40, 4, 4, 1, 8, 0, 0, 36, false, false, true},
    {"two planes", 40, 4, 4, 2, 8, 0, 0, 0, false, false, false},
    {"3 bits", 40, 4, 4, 1, 3, 0, 0, 0, false, false, false},
    {"no bit count (a picture)", 40, 4, 4, 1, 0, 4, 0, 0, false, false, false},
    {"run-length encoded", 40, 4, 4, 1, 8, 1, 0, 0, false, false, true},
    {"bit fields", 40, 4, 4, 1, 16, 3, 0, 0, false, false, false},
    {"fewer colours than the depth", 40, 4, 4, 1, 8, 0, 16, 0, true, true, true},
    {"more colours than the depth", 40, 4, 4, 1, 8, 0, 300, 0, false, false, true},
    {"no width", 40, 0, 4, 1, 8, 0, 0, 0, false, false, false},
    {"negative width", 40, -4, 4, 1, 8, 0, 0, 0, false, false, false},
    {"no height", 40, 4, 0, 1, 8, 0, 0, 0, false, false, false},
    {"one row: no image above an icon's mask", 40, 4, 1, 1, 8, 0, 0, 0, true, false, true},
    {"wider than a resource bitmap", 40, 40000, 1, 1, 1, 0, 0, 0, false, false, false},
    {"wider than a pattern", 40, 5000, 1, 1, 1, 0, 0, 0, true, false, false},
};

TEST(PackedDib, ResourceLoaderAndPatternBrushesAcceptTheHeadersTheyDid) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> b = Packed(c);
        size_t total = c.total ? c.total : b.size();
        platform::user::Image image;
        EXPECT_EQ(platform::user::ReadPackedDib(b.data(), total, 1, &image), c.bitmap);
        EXPECT_EQ(platform::user::ReadPackedDib(b.data(), total, 2, &image), c.icon);
        HBRUSH brush = CreateDIBPatternBrushPt(b.data(), DIB_RGB_COLORS);
        EXPECT_EQ(brush != nullptr, c.pattern);
        if (brush) DeleteObject(brush);
    }
}

} // namespace
