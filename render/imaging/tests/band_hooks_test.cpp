// The bitmap hooks of banded jobs, drawn through GDI on the test printer:
// the page that goes out (JBIG, read back by jbigkit's jbgtopbm) shows
// colour images and gradients halftoned on a 1-bit band, and pattern
// brushes tiled at the printer's scale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "streamdump/images.h"
#include "pdev.h"
#include "print_page.h"
#include "render_fixture.h"
#include "streamdump/decoder.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

using namespace render_test;
namespace fs = std::filesystem;

// jbigkit's jbgtopbm over an image entity: the PBM's rows (1 = black), or
// nothing when it fails or the size differs.
Bytes JbigToPbm(const std::vector<std::uint8_t>& entity, long width, long height) {
    fs::path dir = fs::temp_directory_path() / ("band-hooks-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream out(dir / "page.jbg", std::ios::binary);
        out.write(reinterpret_cast<const char*>(entity.data()),
                  static_cast<std::streamsize>(entity.size()));
    }
    std::string cmd =
        "jbgtopbm '" + (dir / "page.jbg").string() + "' '" + (dir / "page.pbm").string() + "'";
    Bytes pbm;
    if (std::system(cmd.c_str()) == 0) {
        std::ifstream in(dir / "page.pbm", std::ios::binary);
        std::string magic;
        long w = 0, h = 0;
        in >> magic >> w >> h;
        in.get();
        if (magic == "P4" && w == width && h == height) {
            pbm.resize(static_cast<size_t>(w + 7) / 8 * static_cast<size_t>(h));
            in.read(reinterpret_cast<char*>(pbm.data()), static_cast<std::streamsize>(pbm.size()));
            if (!in) pbm.clear();
        }
    }
    fs::remove_all(dir);
    return pbm;
}

struct BandedPage {
    Bytes pbm;
    long width = 0, height = 0;
    bool Black(long x, long y) const {
        const size_t stride = static_cast<size_t>(width + 7) / 8;
        return (pbm[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8] >> (7 - x % 8)) &
               1;
    }
    // The share of black pixels in [left, right) x [top, bottom).
    double BlackShare(long left, long top, long right, long bottom) const {
        long n = 0;
        for (long y = top; y < bottom; ++y)
            for (long x = left; x < right; ++x)
                n += Black(x, y);
        return static_cast<double>(n) / static_cast<double>((right - left) * (bottom - top));
    }
};

// A banded job of one page on 1-bit bands, drawn by `draw`.
template <class F> BandedPage PrintBanded(F&& draw, const inkforge::DevmodeImage& d) {
    BandedPage page;
    Bytes stream = PrintPage(d, draw);
    streamdump::Decoding dec = streamdump::Decode(stream);
    EXPECT_EQ(dec.problems, 0u) << streamdump::Format(dec);
    std::vector<streamdump::JbigPage> pages;
    streamdump::CheckImages(stream.data(), stream.size(), &dec, &pages);
    EXPECT_EQ(pages.size(), 1u) << streamdump::Format(dec);
    if (pages.size() != 1) return page;
    page.width = pages[0].width;
    page.height = pages[0].height;
    page.pbm = JbigToPbm(pages[0].entity, page.width, page.height);
    return page;
}

class BandHooks : public ::testing::Test {
  protected:
    void SetUp() override { InstallPrinter(u"P1", SampleModel("CX5540")); }
    // The sample model's halftone kind 3 has no 24-bit bands: the engine
    // draws into 1-bit bands.
    void PatternFills(const inkforge::DevmodeImage& d);
    inkforge::DevmodeImage Banded(WORD halftoneKind = 3) {
        inkforge::DevmodeImage d = OwnDevmode(u"P1");
        inkforge::SetPrivU32(d, inkforge::priv::FeatureFlags, 1u << 16);
        inkforge::SetPrivU16(d, inkforge::priv::GraphicsMode, 1);
        inkforge::SetPrivU16(d, inkforge::priv::HalftoneKind, halftoneKind);
        return d;
    }
};

// A 24-bit DIB of one colour (blue, green, red bytes), bottom-up.
struct FlatDib {
    BITMAPINFO info{};
    std::vector<BYTE> bits;
    FlatDib(LONG side, BYTE b, BYTE g, BYTE r) {
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = side;
        info.bmiHeader.biHeight = side;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        const LONG stride = (side * 3 + 3) / 4 * 4;
        bits.assign(static_cast<size_t>(stride * side), 0);
        for (LONG y = 0; y < side; ++y)
            for (LONG x = 0; x < side; ++x) {
                BYTE* p = bits.data() + y * stride + 3 * x;
                p[0] = b, p[1] = g, p[2] = r;
            }
    }
};

// Images on a 1-bit band are halftoned: a middle gray comes out as about
// half black dots, whether copied at its size or stretched; a plain match
// to black or white would make it all one or the other.
TEST_F(BandHooks, ColourImagesAreHalftonedOnAOneBitBand) {
    FlatDib gray(64, 0x80, 0x80, 0x80), small(16, 0x80, 0x80, 0x80);
    BandedPage page = PrintBanded(
        [&](HDC hdc) {
            EXPECT_EQ(StretchDIBits(hdc, 800, 800, 64, 64, 0, 0, 64, 64, gray.bits.data(),
                                    &gray.info, DIB_RGB_COLORS, SRCCOPY),
                      64);
            EXPECT_EQ(StretchDIBits(hdc, 1000, 800, 128, 128, 0, 0, 16, 16, small.bits.data(),
                                    &small.info, DIB_RGB_COLORS, SRCCOPY),
                      16);
        },
        Banded());
    ASSERT_FALSE(page.pbm.empty());
    struct Region {
        const char* what;
        long left, top, right, bottom;
    };
    for (const Region& r :
         {Region{"copied", 800, 800, 864, 864}, Region{"stretched", 1000, 800, 1128, 928}}) {
        double share = page.BlackShare(r.left, r.top, r.right, r.bottom);
        EXPECT_GT(share, 0.35) << r.what;
        EXPECT_LT(share, 0.65) << r.what;
    }
    // Nothing beside them.
    EXPECT_EQ(page.BlackShare(700, 700, 800, 1000), 0.0);
    EXPECT_EQ(page.BlackShare(1128, 800, 1300, 1000), 0.0);
}

// A shrinking stretch on a banded page halftones the source's average,
// except for the halftone kind that asks for black on white, which keeps
// every black pixel of the source: thin black lines four pixels apart,
// shrunk to a quarter, stay solid black.
TEST_F(BandHooks, TheBlackOnWhiteKindKeepsThinLinesOfAShrinkingStretch) {
    FlatDib lines(64, 0xFF, 0xFF, 0xFF);
    const LONG stride = 64 * 3;
    for (LONG y = 0; y < 64; ++y)
        for (LONG x = 0; x < 64; x += 4)
            std::memset(lines.bits.data() + y * stride + 3 * x, 0, 3);
    struct Case {
        const char* name;
        WORD kind;
        double low, high; // the share of black
    };
    for (const Case& c : {Case{"halftoned", 1, 0.1, 0.4}, Case{"black on white", 2, 0.99, 1.0}}) {
        BandedPage page = PrintBanded(
            [&](HDC hdc) {
                EXPECT_EQ(StretchDIBits(hdc, 800, 800, 16, 16, 0, 0, 64, 64, lines.bits.data(),
                                        &lines.info, DIB_RGB_COLORS, SRCCOPY),
                          64);
            },
            Banded(c.kind));
        ASSERT_FALSE(page.pbm.empty()) << c.name;
        double share = page.BlackShare(800, 800, 816, 816);
        EXPECT_GE(share, c.low) << c.name;
        EXPECT_LE(share, c.high) << c.name;
    }
}

// Gradients on a 1-bit band: a rectangle from black to white darkens from
// right to left; a gray triangle is halftoned inside its edges and leaves
// the rest of its box as the page had it.
TEST_F(BandHooks, GradientsAreHalftonedAndTrianglesKeepTheirShape) {
    BandedPage page = PrintBanded(
        [&](HDC hdc) {
            TRIVERTEX rect[2] = {{800, 1200, 0, 0, 0, 0}, {1312, 1264, 0xFF00, 0xFF00, 0xFF00, 0}};
            GRADIENT_RECT r{0, 1};
            EXPECT_TRUE(GradientFill(hdc, rect, 2, &r, 1, GRADIENT_FILL_RECT_H));
            TRIVERTEX tri[3] = {{1400, 1200, 0x8000, 0x8000, 0x8000, 0},
                                {1656, 1200, 0x8000, 0x8000, 0x8000, 0},
                                {1400, 1456, 0x8000, 0x8000, 0x8000, 0}};
            GRADIENT_TRIANGLE t{0, 1, 2};
            EXPECT_TRUE(GradientFill(hdc, tri, 3, &t, 1, GRADIENT_FILL_TRIANGLE));
        },
        Banded());
    ASSERT_FALSE(page.pbm.empty());
    EXPECT_GT(page.BlackShare(800, 1200, 864, 1264), 0.8) << "the black end";
    EXPECT_LT(page.BlackShare(1248, 1200, 1312, 1264), 0.2) << "the white end";
    double middle = page.BlackShare(1024, 1200, 1088, 1264);
    EXPECT_GT(middle, 0.3);
    EXPECT_LT(middle, 0.7);
    // Inside the triangle, well away from its long edge: half black.
    double inside = page.BlackShare(1408, 1208, 1472, 1272);
    EXPECT_GT(inside, 0.35);
    EXPECT_LT(inside, 0.65);
    // Beyond its long edge, inside its box: white.
    long outside = 0;
    for (long y = 1200; y < 1456; ++y)
        for (long x = 1400; x < 1656; ++x)
            if ((x - 1400) + (y - 1200) > 256 + 4) outside += page.Black(x, y);
    EXPECT_EQ(outside, 0);
}

// An 8 x 8 pattern of 2 x 2 cells, index 0 black and 1 white, bottom-up.
std::vector<BYTE> CheckerDib() {
    std::vector<BYTE> dib(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD) + 4 * 8, 0);
    auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
    h->biSize = sizeof *h;
    h->biWidth = 8;
    h->biHeight = 8;
    h->biPlanes = 1;
    h->biBitCount = 1;
    auto* colours = reinterpret_cast<RGBQUAD*>(dib.data() + sizeof *h);
    colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    BYTE* bits = dib.data() + sizeof *h + 2 * sizeof(RGBQUAD);
    for (LONG y = 0; y < 8; ++y)
        bits[4 * y] = (y / 2) % 2 ? 0x33 : 0xCC;
    return dib;
}

// Pattern brushes on a banded page are made for 150 dots per inch: each
// pattern pixel covers resolution / 150 page pixels each way, the pattern
// aligned to the page's origin, under the operation asked for (the
// pattern copied, and the pattern inverting a black box and the white
// paper beside it), on 1-bit bands and on 24-bit ones alike.
TEST_F(BandHooks, PatternBrushesAreTiledAtThePrintersScale) {
    for (WORD kind : {3, 1}) {
        SCOPED_TRACE(kind == 3 ? "1-bit bands" : "24-bit bands");
        PatternFills(Banded(kind));
    }
}

void BandHooks::PatternFills(const inkforge::DevmodeImage& d) {
    const long res = d.dm.dmPrintQuality > 0 ? d.dm.dmPrintQuality : 600;
    const long scale = res / 150;
    ASSERT_GT(scale, 1);
    std::vector<BYTE> dib = CheckerDib();
    const RECT copy{800, 2000, 1120, 2320}, inverted{1400, 2000, 1720, 2320};
    BandedPage page = PrintBanded(
        [&](HDC hdc) {
            // The black box under the left half of the inverted square.
            HGDIOBJ old = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
            EXPECT_TRUE(PatBlt(hdc, 1400, 2000, 160, 320, PATCOPY));
            HBRUSH pattern = CreateDIBPatternBrushPt(dib.data(), DIB_RGB_COLORS);
            ASSERT_NE(pattern, nullptr);
            SelectObject(hdc, pattern);
            EXPECT_TRUE(PatBlt(hdc, copy.left, copy.top, 320, 320, PATCOPY));
            EXPECT_TRUE(PatBlt(hdc, inverted.left, inverted.top, 320, 320, PATINVERT));
            SelectObject(hdc, old);
            DeleteObject(pattern);
        },
        d);
    ASSERT_FALSE(page.pbm.empty());
    // The pattern's pixel at page pixel (x, y): black where its bit is 0.
    auto patternBlack = [&](long x, long y) {
        long px = (x / scale) % 8, py = (y / scale) % 8;
        BYTE row = ((7 - py) / 2) % 2 ? 0x33 : 0xCC;
        return !((row >> (7 - px)) & 1);
    };
    auto check = [&](const RECT& r, auto want) {
        size_t wrong = 0;
        for (long y = r.top; y < r.bottom; ++y)
            for (long x = r.left; x < r.right; ++x)
                wrong += page.Black(x, y) != want(x, y);
        return wrong;
    };
    EXPECT_EQ(check(copy, patternBlack), 0u) << "copied";
    // Black under the pattern's white shows white; over the paper the
    // pattern is inverted.
    EXPECT_EQ(
        check(inverted,
              [&](long x, long y) { return x < 1560 ? patternBlack(x, y) : !patternBlack(x, y); }),
        0u)
        << "inverted";
}

} // namespace
