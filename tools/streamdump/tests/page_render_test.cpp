// The page renderer and its PNG files, over pages written token by token.
#include <gtest/gtest.h>
#include <zlib.h>

extern "C" {
#include <jbig.h>
}

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "streamdump/page_render.h"
#include "streamdump/png_writer.h"
#include "platform_testing/fresh_root.h"
#include "streamdump/decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Tokens of a page, built as Inkforge writes them.
struct Tokens {
    Bytes b;
    Tokens& raw(std::initializer_list<int> v) {
        for (int x : v)
            b.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    Tokens& w(long v) {
        return raw({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF)});
    }
    Tokens& ubyte(int v, int attr) { return raw({0xC0, v, 0xF8, attr}); }
    Tokens& pair(long x, long y, int attr) {
        raw({0xD3}).w(x).w(y);
        return raw({0xF8, attr});
    }
    Tokens& box(long l, long t, long r, long bt) {
        raw({0xE3}).w(l).w(t).w(r).w(bt);
        return raw({0xF8, 0x42});
    }
    Tokens& gray(int op, int level) { return ubyte(level, 0x09).raw({op}); }
    Tokens& rgb(int op, int r, int g, int bl) {
        return raw({0xC8, 0xC0, 3, r, g, bl, 0xF8, 0x0B, op});
    }
    Tokens& none(int op, int attr) { return ubyte(0, attr).raw({op}); }
    // A run of sint16 points for a line or bezier operator.
    Tokens& run(int op, const std::vector<std::pair<long, long>>& pts) {
        ubyte(static_cast<int>(pts.size()), 0x4D)
            .ubyte(3, 0x50)
            .raw({op, 0xFB, static_cast<int>(pts.size() * 4)});
        for (auto [x, y] : pts)
            w(x).w(y);
        return *this;
    }
    Tokens& clip(long l, long t, long r, long bt) {
        return ubyte(0, 0x53).box(l, t, r, bt).raw({0x68});
    }
};

Bytes Stream(const std::vector<Bytes>& pages, int dpi = 600) {
    std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE=GDI\n";
    Bytes s(head.begin(), head.end());
    s.insert(s.end(), {0x1B, 0x27, 0x31});
    s.insert(s.end(), {0x1B, 0x03, 0x00, 'a', static_cast<std::uint8_t>(dpi & 0xFF),
                       static_cast<std::uint8_t>(dpi >> 8)});
    s.insert(s.end(), {0x1B, 0x03, 0x00, 'b', static_cast<std::uint8_t>(dpi & 0xFF),
                       static_cast<std::uint8_t>(dpi >> 8)});
    for (const Bytes& p : pages) {
        s.insert(s.end(), {0x1B, 0x01, 0x00, 'p'});
        s.insert(s.end(), p.begin(), p.end());
        s.insert(s.end(), {0x1B, 0x01, 0x00, 'q'});
    }
    s.insert(s.end(), {0x1B, 0x00, 0x00});
    return s;
}

std::vector<streamdump::PageImage> Render(const Bytes& s) {
    streamdump::Decoding d = streamdump::Decode(s);
    return streamdump::RenderPages(s.data(), s.size(), d);
}

constexpr long kWhite = 0xFFFFFF, kBlack = 0, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

// The pixel under a point given in dots.
long At(const streamdump::PageImage& p, double x, double y) {
    return p.PixelAtDot(x, y);
}

Bytes ShapesPage() {
    Tokens t;
    t.none(0x79, 0x05); // no pen
    // A black rectangle.
    t.gray(0x63, 0).box(600, 600, 1800, 1800).raw({0xA0});
    // A red triangle from relative lines.
    t.rgb(0x63, 255, 0, 0).raw({0x85}).pair(3000, 600, 0x4C).raw({0x6B});
    t.run(0x9D, {{1200, 0}, {-600, 1200}}).raw({0x84, 0x86});
    // Two squares inside each other, both clockwise: even-odd leaves a hole, non-zero none.
    for (int mode : {1, 0}) {
        long x = mode ? 600 : 3000;
        t.ubyte(mode, 0x46).raw({0x6E});
        t.rgb(0x63, 0, mode ? 0 : 255, mode ? 255 : 0).raw({0x85});
        t.pair(x, 2400, 0x4C)
            .raw({0x6B})
            .run(0x9B, {{x + 1800, 2400}, {x + 1800, 4200}, {x, 4200}})
            .raw({0x84});
        t.pair(x + 450, 2850, 0x4C)
            .raw({0x6B})
            .run(0x9B, {{x + 1350, 2850}, {x + 1350, 3750}, {x + 450, 3750}});
        t.raw({0x84, 0x86});
    }
    // A thick green line, no brush.
    t.none(0x63, 0x04).rgb(0x79, 0, 255, 0).raw({0xC1}).w(60).raw({0xF8, 0x4B, 0x7A});
    t.raw({0x85}).pair(600, 5000, 0x4C).raw({0x6B}).pair(3600, 0, 0x45).raw({0x9D, 0x86});
    // A filled curve: absolute bezier, closed back to its start.
    t.none(0x79, 0x05).gray(0x63, 0).raw({0x85}).pair(3000, 5600, 0x4C).raw({0x6B});
    t.pair(3000, 6800, 0x51).pair(4200, 6800, 0x52).pair(4200, 5600, 0x45).raw({0x93, 0x84, 0x86});
    // A page-wide rectangle under a clip rectangle.
    t.clip(600, 5600, 1800, 6600).box(0, 5400, 2900, 6900).raw({0xA0});
    // What the renderer does not draw: a raster pattern and bytes that are no token.
    t.raw({0xB3, 0xB5, 0x01, 0x02});
    return t.b;
}

TEST(PageRender, DrawsShapesWhereTheyBelong) {
    auto pages = Render(Stream({ShapesPage()}));
    ASSERT_EQ(pages.size(), 1u);
    const auto& p = pages[0];
    EXPECT_EQ(std::max(p.width, p.height), 1100);
    EXPECT_EQ(p.pageWidth, 4961); // 210 mm at 600 dots an inch
    struct Probe {
        double x, y;
        long colour;
        const char* what;
    } probes[] = {
        {50, 50, kWhite, "paper"},
        {1200, 1200, kBlack, "rectangle"},
        {2000, 1200, kWhite, "right of the rectangle"},
        {3600, 1000, kRed, "triangle"},
        {3150, 1650, kWhite, "beside the triangle's slope"},
        {750, 3300, kBlue, "even-odd ring"},
        {1500, 3300, kWhite, "even-odd hole"},
        {3900, 3300, kGreen, "non-zero centre"},
        {2400, 5000, kGreen, "thick line"},
        {2400, 5120, kWhite, "below the line"},
        {3600, 6200, kBlack, "inside the curve"},
        {3600, 6650, kWhite, "outside the curve"},
        {1200, 6100, kBlack, "inside the clip"},
        {2400, 6100, kWhite, "outside the clip"},
        {1200, 5500, kWhite, "above the clip"},
    };
    for (const Probe& pr : probes)
        EXPECT_EQ(At(p, pr.x, pr.y), pr.colour) << pr.what;
    EXPECT_EQ(p.drawn, 7u);
    EXPECT_GE(p.skipped, 3u);
}

// Big-endian bytes, as the font header and characters hold them.
void Be(Bytes& b, std::uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A downloaded outline font laid out by hand, whose characters carry their
// metrics: the header's "GT" has only "gdir", "head" and "maxp" (no
// horizontal metrics), then "GC"; glyph 1 is a square from (100, 0) to
// (600, 700) font units, sent as a class-1 character (side bearing 100,
// advance 700). At 1000 dots to the em, "1 1" from the cursor (1000, 2000)
// draws two squares 700 dots apart, each 500 dots wide, standing on the
// baseline.
Bytes ClassOneFontPage() {
    Bytes head(54, 0);
    head[18] = 1000 >> 8, head[19] = 1000 & 0xFF; // units per em
    head[42] = 700 >> 8, head[43] = 700 & 0xFF;   // yMax
    head[51] = 1;                                 // long offsets
    Bytes maxp;
    Be(maxp, 0x00010000, 4);
    Be(maxp, 2, 2); // glyphs
    Be(maxp, 4, 2); // points
    Be(maxp, 1, 2); // contours
    maxp.resize(32, 0);
    maxp[14] = 0, maxp[15] = 2; // zones
    Bytes gt;
    Be(gt, 0x00010000, 4);
    Be(gt, 3, 2);
    Be(gt, 32, 2), Be(gt, 1, 2), Be(gt, 16, 2);
    const std::uint32_t first = 12 + 3 * 16;
    const std::uint32_t dir[3][3] = {{0x67646972, 0, 0},            // "gdir"
                                     {0x68656164, first, 56},       // "head", padded
                                     {0x6D617870, first + 56, 32}}; // "maxp"
    for (const auto& e : dir) {
        Be(gt, e[0], 4);
        Be(gt, 0, 4);
        Be(gt, e[1], 4);
        Be(gt, e[2], 4);
    }
    gt.insert(gt.end(), head.begin(), head.end());
    gt.insert(gt.end(), 2, 0);
    gt.insert(gt.end(), maxp.begin(), maxp.end());
    Bytes header = {0, 0, 0, 0, 1, 0, 0, 2, 'G', 'T'};
    Be(header, static_cast<std::uint32_t>(gt.size()), 4);
    header.insert(header.end(), gt.begin(), gt.end());
    header.insert(header.end(), {'G', 'C', 0, 0, 0, 6, 0, 0, 0xFF, 0xFF, 0, 0});
    header.insert(header.end(), {0xFF, 0xFF, 0, 0, 0, 0});

    Bytes glyph;
    Be(glyph, 1, 2);                                                          // one contour
    Be(glyph, 100, 2), Be(glyph, 0, 2), Be(glyph, 600, 2), Be(glyph, 700, 2); // box
    Be(glyph, 3, 2);                                                          // last point
    Be(glyph, 0, 2);                                                          // no instructions
    glyph.insert(glyph.end(), 4, 0x01); // on the curve, 16-bit deltas
    for (int dx : {100, 0, 500, 0})
        Be(glyph, static_cast<std::uint16_t>(dx), 2);
    for (int dy : {0, 700, 0, -700})
        Be(glyph, static_cast<std::uint16_t>(dy), 2);
    Bytes ch = {1, 1};
    Be(ch, static_cast<std::uint32_t>(glyph.size() + 8), 2);
    Be(ch, 100, 2); // left side bearing
    Be(ch, 700, 2); // advance
    Be(ch, 1, 2);   // glyph index
    ch.insert(ch.end(), glyph.begin(), glyph.end());

    const std::string name = "NSquare:0";
    Tokens t;
    auto fontName = [&] {
        t.raw({0xC8, 0xC1}).w(static_cast<long>(name.size()));
        for (char c : name)
            t.raw({c});
        t.raw({0xF8, 0xA8});
    };
    auto data = [&](const Bytes& d) {
        t.raw({0xFA}).w(static_cast<long>(d.size() & 0xFFFF)).w(static_cast<long>(d.size() >> 16));
        t.b.insert(t.b.end(), d.begin(), d.end());
    };
    fontName();
    t.ubyte(0, 0xA9).raw({0x4F});
    t.raw({0xC1}).w(static_cast<long>(header.size())).raw({0xF8, 0xA7, 0x50});
    data(header);
    t.raw({0x51});
    fontName();
    t.raw({0x52, 0xC1}).w(1).raw({0xF8, 0xA2, 0xC1}).w(static_cast<long>(ch.size()));
    t.raw({0xF8, 0xA3, 0x53});
    data(ch);
    t.raw({0x54});
    fontName();
    t.raw({0xC5, 0x00, 0x00, 0x7A, 0x44, 0xF8, 0xA6}); // 1000.0
    t.raw({0xC1}).w(0).raw({0xF8, 0xAA, 0x6F});
    t.gray(0x63, 0).pair(1000, 2000, 0x4C).raw({0x6B});
    t.raw({0xC8, 0xC1}).w(2).raw({1, 1, 0xF8, 0xAB});
    t.raw({0xC9, 0xC1}).w(2).w(700).w(0).raw({0xF8, 0xAF, 0xA8}); // x advances
    return t.b;
}

TEST(PageRender, CharactersWithTheirOwnMetricsAreDrawnWhereTheyBelong) {
    auto pages = Render(Stream({ClassOneFontPage()}));
    ASSERT_EQ(pages.size(), 1u);
    const auto& p = pages[0];
    struct Probe {
        double x, y;
        long colour;
        const char* what;
    } probes[] = {
        {1350, 1650, kBlack, "first square"},      {1050, 1650, kWhite, "its side bearing"},
        {1700, 1650, kWhite, "between squares"},   {2050, 1650, kBlack, "second square"},
        {1350, 1250, kWhite, "above the squares"}, {1350, 2050, kWhite, "below the baseline"},
    };
    for (const Probe& pr : probes)
        EXPECT_EQ(At(p, pr.x, pr.y), pr.colour) << pr.what;
    EXPECT_EQ(p.drawn, 2u);
}

TEST(PageRender, OneImagePerPageAndBoundedCanvas) {
    Tokens a, b;
    a.gray(0x63, 0).box(0, 0, 30000, 30000).raw({0xA0});
    b.raw({0x86, 0x84});
    // A hostile resolution still gives a canvas of the asked size.
    auto pages = Render(Stream({a.b, b.b, {}}, 65535));
    ASSERT_EQ(pages.size(), 3u);
    for (const auto& p : pages) {
        EXPECT_LE(std::max(p.width, p.height), 1100);
        EXPECT_EQ(p.rgb.size(), static_cast<std::size_t>(p.width) * p.height * 3);
    }
    EXPECT_EQ(At(pages[0], 100, 100), kBlack);
    EXPECT_EQ(At(pages[1], 100, 100), kWhite);
    EXPECT_EQ(streamdump::RenderPages(nullptr, 0, streamdump::Decoding{}).size(), 0u);
}

// The stream's origin is the corner of the printable area, a sixth of an inch
// in from the paper's corner: a square at (100, 100) dots of a 600-dpi page
// lies 200 dots (8.47 mm) from the paper's edges in the picture.
TEST(PageRender, StreamOriginIsThePrintableAreasCorner) {
    Tokens t;
    t.gray(0x63, 0).box(100, 100, 400, 400).raw({0xA0});
    auto pages = Render(Stream({t.b}));
    ASSERT_EQ(pages.size(), 1u);
    const auto& p = pages[0];
    const double pxPerMm = p.scale * 600 / 25.4;
    EXPECT_EQ(p.originX, static_cast<int>(std::lround(100 * p.scale)));
    EXPECT_EQ(p.originY, p.originX);
    // The square's top left corner, found along its diagonal.
    int first = -1;
    for (int i = 0; i < p.width && first < 0; ++i)
        if (p.Pixel(i, i) == kBlack) first = i;
    EXPECT_NEAR(first, 200 * 25.4 / 600 * pxPerMm, 1.0);
    EXPECT_EQ(At(p, 90, 90), kWhite);
    EXPECT_EQ(At(p, 110, 110), kBlack);
}

TEST(PageRender, BusyPageStopsDrawingWithinItsBudget) {
    Tokens t;
    t.gray(0x63, 0).raw({0x85}).box(0, 0, 4962, 7014).raw({0xA1});
    t.b.insert(t.b.end(), 20000, 0x86);
    auto pages = Render(Stream({t.b}));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].Pixel(400, 500), kBlack);
    EXPECT_LT(pages[0].drawn, 20000u);
    EXPECT_EQ(pages[0].drawn + pages[0].skipped, 20000u);
}

// A path of few points whose long segments cross the page hundreds of
// thousands of times costs the pixels its edges cross: past the page's
// budget it is skipped before it is stroked, and what came before stays.
TEST(PageRender, APathOfLongSegmentsIsBoundedByThePixelsItCrosses) {
    Tokens t;
    t.none(0x63, 0x04).gray(0x79, 0).raw({0x85});
    t.pair(100, 100, 0x4C).raw({0x6B}).run(0x9B, {{1000, 100}}).raw({0x86});
    t.raw({0x85}).pair(100, 200, 0x4C).raw({0x6B});
    for (int k = 0; k < 4000; ++k) {
        std::vector<std::pair<long, long>> zigzag;
        for (int i = 0; i < 60; ++i)
            zigzag.push_back({i % 2 ? 4800 : 100, 200 + (k * 60 + i) % 6800});
        t.run(0x9B, zigzag);
    }
    t.raw({0x86});
    auto pages = Render(Stream({t.b}));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].drawn, 1u);
    EXPECT_EQ(pages[0].skipped, 1u);
    EXPECT_EQ(At(pages[0], 500, 100), kBlack);
    EXPECT_EQ(At(pages[0], 2400, 3000), kWhite);
}

TEST(PageRender, CutStreamsNeverCrash) {
    Bytes s = Stream({ShapesPage()});
    for (std::size_t n = 0; n < s.size(); n += 3) {
        Bytes cut(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
        Render(cut);
        Bytes flipped = s;
        flipped[n] ^= 0x5A;
        Render(flipped);
    }
}

// A one-page stream whose page command names the paper (and orientation).
Bytes StreamOnPaper(int paper, bool landscape, const Bytes& page) {
    Bytes s = Stream({page});
    Bytes frames = {0x1B, 0x02, 0x00, 'M', static_cast<std::uint8_t>(landscape),
                    0x1B, 0x02, 0x00, 'k', static_cast<std::uint8_t>(paper)};
    const std::uint8_t pageStart[] = {0x1B, 0x01, 0x00, 'p'};
    auto at = std::search(s.begin(), s.end(), std::begin(pageStart), std::end(pageStart));
    s.insert(at, frames.begin(), frames.end());
    return s;
}

TEST(PageRender, PageIsThePaperThePageCommandNames) {
    struct Case {
        int paper;
        bool landscape;
        long width, height; // dots at 600 dots an inch
        const char* name;
        bool known;
    } cases[] = {
        {1, false, 5100, 6600, "Letter", true}, {9, false, 4961, 7016, "A4", true},
        {8, false, 7016, 9921, "A3", true},     {11, false, 3496, 4961, "A5", true},
        {5, false, 5100, 8400, "Legal", true},  {1, true, 6600, 5100, "Letter", true},
        {200, false, 4961, 7016, "A4", false}, // a paper the decoder does not know: drawn on A4,
                                               // and said so
    };
    for (const Case& c : cases) {
        Tokens t;
        t.gray(0x63, 0).box(0, 0, 100, 100).raw({0xA0});
        auto pages = Render(StreamOnPaper(c.paper, c.landscape, t.b));
        ASSERT_EQ(pages.size(), 1u) << c.paper;
        const auto& p = pages[0];
        EXPECT_EQ(p.pageWidth, c.width) << c.paper;
        EXPECT_EQ(p.pageHeight, c.height) << c.paper;
        EXPECT_STREQ(p.paperName, c.name) << c.paper;
        EXPECT_EQ(p.paperKnown, c.known) << c.paper;
        EXPECT_NEAR(double(p.width) / p.height, double(c.width) / c.height, 0.005) << c.paper;
    }
}

// A JBIG page image of w x h dots, black where `black` says, as the printer
// gets it: the 'g' frame and its data in a first and a last chunk.
Bytes JbigPageFrames(long w, long h, const std::function<bool(long, long)>& black) {
    const std::size_t stride = (static_cast<std::size_t>(w) + 7) / 8;
    std::vector<unsigned char> bits(stride * static_cast<std::size_t>(h), 0);
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x)
            if (black(x, y)) bits[static_cast<std::size_t>(y) * stride + x / 8] |= 0x80 >> (x % 8);
    Bytes entity;
    unsigned char* planes[] = {bits.data()};
    jbg_enc_state enc;
    jbg_enc_init(
        &enc, static_cast<unsigned long>(w), static_cast<unsigned long>(h), 1, planes,
        [](unsigned char* data, std::size_t len, void* out) {
            static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), data, data + len);
        },
        &entity);
    jbg_enc_out(&enc);
    jbg_enc_free(&enc);
    Bytes f = {0x1B,
               0x05,
               0x00,
               'g',
               static_cast<std::uint8_t>(w & 0xFF),
               static_cast<std::uint8_t>(w >> 8),
               static_cast<std::uint8_t>(h & 0xFF),
               static_cast<std::uint8_t>(h >> 8)};
    const std::size_t half = entity.size() / 2;
    auto chunk = [&](std::uint8_t kind, std::size_t from, std::size_t to) {
        const std::size_t len = 2 + (to - from);
        f.insert(f.end(), {0x1B, static_cast<std::uint8_t>(len & 0xFF),
                           static_cast<std::uint8_t>(len >> 8), 'h', kind});
        f.insert(f.end(), entity.begin() + static_cast<std::ptrdiff_t>(from),
                 entity.begin() + static_cast<std::ptrdiff_t>(to));
    };
    chunk(2, 0, half);
    chunk(1, half, entity.size());
    return f;
}

TEST(PageRender, LandscapeJbigPagesAreTurnedBackAsTheyWereFed) {
    // The page of a landscape job goes out turned a quarter clockwise: the
    // landscape page's top edge is the right edge of the image. A black
    // square at the image's top right is the landscape page's top left.
    constexpr long kW = 1200, kH = 1800;
    const Bytes page =
        JbigPageFrames(kW, kH, [](long x, long y) { return x >= kW - 600 && y < 600; });
    struct Case {
        bool landscape;
        double blackX, blackY, whiteX, whiteY; // dots on the drawn page
    } cases[] = {
        {true, 300, 300, 900, 300},  // turned back: the square at the top left
        {false, 900, 300, 300, 300}, // a portrait page is drawn as it comes
    };
    for (const Case& c : cases) {
        auto pages = Render(StreamOnPaper(1, c.landscape, page));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].drawn, 1) << c.landscape;
        EXPECT_EQ(At(pages[0], c.blackX, c.blackY), kBlack) << c.landscape;
        EXPECT_EQ(At(pages[0], c.whiteX, c.whiteY), kWhite) << c.landscape;
        EXPECT_EQ(At(pages[0], 300, 900), kWhite) << c.landscape;
    }
}

// A pen of `width` dots with a line style, stroking from (1000, 3000) right to
// (3000, 3000) and up to (3000, 1000).
Bytes StrokedCorner(long width, const std::function<void(Tokens&)>& style) {
    Tokens t;
    t.none(0x63, 0x04).gray(0x79, 0).raw({0xC1}).w(width).raw({0xF8, 0x4B, 0x7A});
    style(t);
    t.raw({0x85})
        .pair(1000, 3000, 0x4C)
        .raw({0x6B})
        .run(0x9B, {{3000, 3000}, {3000, 1000}})
        .raw({0x86});
    return t.b;
}

TEST(PageRender, StrokesFollowDashesCapsAndJoins) {
    auto cap = [](int code) { return [code](Tokens& t) { t.ubyte(code, 0x47).raw({0x71}); }; };
    auto join = [](int code) { return [code](Tokens& t) { t.ubyte(code, 0x48).raw({0x72}); }; };
    auto dash = [](Tokens& t) { t.raw({0xC9, 0xC1}).w(2).w(200).w(200).raw({0xF8, 0x4A, 0x70}); };
    struct Probe {
        double x, y;
        long colour;
    };
    struct Case {
        const char* name;
        long width;
        std::function<void(Tokens&)> style;
        std::vector<Probe> probes;
    } cases[] = {
        // 200-dot dashes and gaps along the bottom edge, from its start.
        {"dashed",
         40,
         dash,
         {{1100, 3000, kBlack}, {1300, 3000, kWhite}, {1500, 3000, kBlack}, {1700, 3000, kWhite}}},
        {"solid after a dash",
         40,
         [&](Tokens& t) {
             dash(t);
             t.ubyte(0, 0x4E).raw({0x70});
         },
         {{1100, 3000, kBlack}, {1300, 3000, kBlack}, {1700, 3000, kBlack}}},
        // The open end at (1000, 3000): a butt cap stops there, a square one
        // reaches half the width further, a round one only near the line.
        {"butt cap", 400, cap(0), {{1040, 3000, kBlack}, {940, 3000, kWhite}, {830, 2830, kWhite}}},
        {"square cap", 400, cap(2), {{940, 3000, kBlack}, {830, 2830, kBlack}}},
        {"round cap", 400, cap(1), {{850, 3000, kBlack}, {830, 2830, kWhite}}},
        // The outer corner at (3200, 3200).
        {"miter join", 400, join(0), {{3180, 3180, kBlack}, {3120, 3120, kBlack}}},
        {"bevel join",
         400,
         join(2),
         {{3180, 3180, kWhite}, {3120, 3120, kWhite}, {3050, 3050, kBlack}}},
        {"round join", 400, join(1), {{3180, 3180, kWhite}, {3120, 3120, kBlack}}},
    };
    for (const Case& c : cases) {
        auto pages = Render(Stream({StrokedCorner(c.width, c.style)}));
        ASSERT_EQ(pages.size(), 1u) << c.name;
        for (const Probe& p : c.probes)
            EXPECT_EQ(At(pages[0], p.x, p.y), p.colour) << c.name << " at " << p.x << ", " << p.y;
        EXPECT_EQ(pages[0].skipped, 0u) << c.name;
    }
}

TEST(PageRender, RasterOperationsCombinePaintAndPage) {
    constexpr long kCyan = 0x00FFFF, kYellow = 0xFFFF00, kMagenta = 0xFF00FF;
    struct Case {
        int rop;
        long page, paint;
        long onPage, onPaper; // the result over the page's colour and over white paper
    } cases[] = {
        {0xF0, kRed, kBlue, kBlue, kBlue},       // the paint
        {0xCC, kRed, kBlue, kBlue, kBlue},       // the source, which is the paint
        {0xFC, kRed, kBlue, kBlue, kBlue},       // the starting operation: paint or source
        {0x5A, kRed, kWhite, kCyan, kBlack},     // paint xor page
        {0xA0, kCyan, kYellow, kGreen, kYellow}, // paint and page
        {0xFA, kBlue, kRed, kMagenta, kWhite},   // paint or page
        {0x55, kRed, kBlue, kCyan, kBlack},      // the page inverted
        {0xAA, kRed, kBlue, kRed, kWhite},       // the page left alone
        {0x00, kRed, kBlue, kBlack, kBlack},     // black
        {0xFF, kRed, kBlue, kWhite, kWhite},     // white
        {0x0A, kRed, kYellow, kBlack, kBlue},    // page and not paint
    };
    auto rgb = [](Tokens& t, int op, long c) {
        t.rgb(op, static_cast<int>(c >> 16), static_cast<int>((c >> 8) & 0xFF),
              static_cast<int>(c & 0xFF));
    };
    for (const Case& c : cases) {
        Tokens t;
        t.none(0x79, 0x05);
        rgb(t, 0x63, c.page);
        t.box(1000, 1000, 3000, 3000).raw({0xA0});
        t.ubyte(c.rop, 0x2C).raw({0x7B});
        rgb(t, 0x63, c.paint);
        t.box(2000, 2000, 4000, 4000).raw({0xA0});
        auto pages = Render(Stream({t.b}));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(At(pages[0], 2500, 2500), c.onPage) << std::hex << "rop " << c.rop;
        EXPECT_EQ(At(pages[0], 3500, 3500), c.onPaper) << std::hex << "rop " << c.rop;
        // Outside the painted shape the page keeps its colour.
        EXPECT_EQ(At(pages[0], 1500, 1500), c.page) << std::hex << "rop " << c.rop;
    }
}

// Raster patterns fill with their own pixels, repeated from the page origin
// at their destination size: indexed pixels by the default gray ramp, colour
// pixels as they stand, gray rows one byte a pixel; a transparent paint
// leaves the page under the pattern's white.
TEST(PageRender, RasterPatternsFillWithTheirPixels) {
    // A pattern of 2 x 2 pixels drawn 400 x 400 dots: pixel (x, y) covers
    // dots x * 200 .. x * 200 + 199 of every 400.
    auto define = [](Tokens& t, int mapping, int depth, int id, const Bytes& rows) {
        t.ubyte(mapping, 0x64).ubyte(depth, 0x62).raw({0xC1}).w(2).raw({0xF8, 0x6C});
        t.raw({0xC1}).w(2).raw({0xF8, 0x6B, 0xD1}).w(400).w(400).raw({0xF8, 0x67});
        t.raw({0xC3}).w(id).raw({0xF8, 0x69}).ubyte(0, 0x68).raw({0xB3});
        t.raw({0xC1}).w(0).raw({0xF8, 0x6D, 0xC1}).w(2).raw({0xF8, 0x63}).ubyte(0, 0x65);
        t.raw({0xB4, 0xFA}).w(static_cast<long>(rows.size())).w(0);
        t.b.insert(t.b.end(), rows.begin(), rows.end());
        t.raw({0xB5});
    };
    auto select = [](Tokens& t, int id) { t.raw({0xC3}).w(id).raw({0xF8, 0x08, 0x63}); };
    Tokens t;
    t.none(0x79, 0x05);
    // 1 bit: a checker, 0 black and 1 white.
    define(t, 1, 0, 10, {0x40, 0, 0x80, 0});
    // 24 bit: red, green / blue, white.
    define(t, 0, 2, 11, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    // 24 bit on a gray page: one byte a pixel.
    define(t, 0, 2, 12, {0, 128, 255, 0});
    select(t, 10);
    t.box(0, 0, 1200, 1200).raw({0xA0});
    select(t, 11);
    t.box(1200, 0, 2400, 1200).raw({0xA0});
    select(t, 12);
    t.box(2400, 0, 3600, 1200).raw({0xA0});
    // Transparent paint over a green box: white pattern pixels let it show.
    t.rgb(0x63, 0, 255, 0).box(0, 1600, 1200, 2800).raw({0xA0});
    t.ubyte(1, 0x2D).raw({0x78});
    select(t, 10);
    t.box(0, 1600, 1200, 2800).raw({0xA0});
    // An unknown pattern still shows the shape, in gray.
    t.ubyte(0, 0x2D).raw({0x78});
    select(t, 99);
    t.box(2400, 1600, 3600, 2800).raw({0xA0});
    auto pages = Render(Stream({t.b}));
    ASSERT_EQ(pages.size(), 1u);
    const auto& p = pages[0];
    struct Probe {
        double x, y;
        long colour;
        const char* what;
    } probes[] = {
        {100, 100, kBlack, "1 bit (0, 0)"},
        {300, 100, kWhite, "1 bit (1, 0)"},
        {100, 300, kWhite, "1 bit (0, 1)"},
        {300, 300, kBlack, "1 bit (1, 1)"},
        {500, 500, kBlack, "1 bit repeated"},
        {1300, 100, kRed, "colour (0, 0)"},
        {1500, 100, kGreen, "colour (1, 0)"},
        {1300, 300, kBlue, "colour (0, 1)"},
        {1500, 300, kWhite, "colour (1, 1)"},
        {2500, 100, kBlack, "gray (0, 0)"},
        {2700, 100, 0x808080, "gray (1, 0)"},
        {2500, 300, kWhite, "gray (0, 1)"},
        {100, 1700, kBlack, "transparent: black"},
        {300, 1700, kGreen, "transparent: white shows the page"},
        {2500, 1700, 0x808080, "unknown pattern"},
    };
    for (const Probe& pr : probes)
        EXPECT_EQ(At(p, pr.x, pr.y), pr.colour) << pr.what;
}

// The image of a PNG with unfiltered rows, as EncodePng writes it.
bool DecodePng(const Bytes& png, int* w, int* h, Bytes* rgb) {
    if (png.size() < 8 + 25) return false;
    auto u32 = [&](std::size_t at) {
        return (std::uint32_t(png[at]) << 24) | (std::uint32_t(png[at + 1]) << 16) |
               (std::uint32_t(png[at + 2]) << 8) | png[at + 3];
    };
    Bytes idat;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        std::size_t len = u32(at);
        if (at + 12 + len > png.size()) return false;
        std::string type(png.begin() + at + 4, png.begin() + at + 8);
        uLong crc = crc32(0, png.data() + at + 4, static_cast<uInt>(len + 4));
        if (crc != u32(at + 8 + len)) return false;
        if (type == "IHDR") *w = static_cast<int>(u32(at + 8)), *h = static_cast<int>(u32(at + 12));
        if (type == "IDAT")
            idat.insert(idat.end(), png.begin() + at + 8, png.begin() + at + 8 + len);
        at += 12 + len;
    }
    std::size_t stride = static_cast<std::size_t>(*w) * 3;
    Bytes raw((stride + 1) * static_cast<std::size_t>(*h));
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, idat.data(), idat.size()) != Z_OK || rawSize != raw.size())
        return false;
    rgb->clear();
    for (int y = 0; y < *h; ++y) {
        if (raw[y * (stride + 1)] != 0) return false;
        auto row = raw.begin() + static_cast<std::ptrdiff_t>(y * (stride + 1) + 1);
        rgb->insert(rgb->end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    return true;
}

TEST(PngWriter, DecodesBackToTheSamePixelsAndRefusesBadSizes) {
    auto pages = Render(Stream({ShapesPage()}));
    ASSERT_EQ(pages.size(), 1u);
    Bytes png = streamdump::EncodePng(pages[0].width, pages[0].height, 3, pages[0].rgb);
    int w = 0, h = 0;
    Bytes rgb;
    ASSERT_TRUE(DecodePng(png, &w, &h, &rgb));
    EXPECT_EQ(w, pages[0].width);
    EXPECT_EQ(h, pages[0].height);
    EXPECT_TRUE(rgb == pages[0].rgb);
    EXPECT_TRUE(streamdump::EncodePng(2, 2, 3, Bytes(11)).empty());
    EXPECT_TRUE(streamdump::EncodePng(0, 2, 3, Bytes()).empty());
    EXPECT_TRUE(streamdump::EncodePng(2, 2, 4, Bytes(16)).empty());
}

TEST(PngWriter, DecodeCommandWritesOnePngPerPage) {
    std::string dir = platform_testing::Root();
    std::string file = dir + "/shapes.prn";
    Bytes s = Stream({ShapesPage(), ShapesPage()});
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(s.data(), 1, s.size(), f);
    std::fclose(f);
    std::string out;
    std::string tool = std::string(PKG_TOOLS_DIR) + "/printhost decode";
    EXPECT_EQ(platform_testing::RunCommand(tool + " --png " + dir + "/shapes " + file, &out), 1)
        << out;
    EXPECT_NE(out.find("page 2: " + dir + "/shapes-2.png (778 x 1100, A4), 7 drawn"),
              std::string::npos)
        << out;
    for (int n : {1, 2}) {
        std::FILE* in = std::fopen((dir + "/shapes-" + std::to_string(n) + ".png").c_str(), "rb");
        ASSERT_NE(in, nullptr);
        Bytes png;
        for (int c; (c = std::fgetc(in)) != EOF;)
            png.push_back(static_cast<std::uint8_t>(c));
        std::fclose(in);
        int w = 0, h = 0;
        Bytes rgb;
        ASSERT_TRUE(DecodePng(png, &w, &h, &rgb));
        EXPECT_EQ(w, 778);
        // The black rectangle near the top left corner.
        EXPECT_EQ(rgb[(188 * static_cast<std::size_t>(w) + 188) * 3], 0);
        EXPECT_EQ(rgb[(50 * static_cast<std::size_t>(w) + 50) * 3], 255);
    }
    EXPECT_EQ(platform_testing::RunCommand(tool + " --png 2>/dev/null", &out), 2);
}

} // namespace
