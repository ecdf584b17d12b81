// Device-surface jobs: pattern brushes and the raster operations of the
// bitmap hooks, drawn through GDI and read back token by token by the
// stream decoder; the same hatch on the banding road lands where it belongs.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "streamdump/images.h"
#include "stream_opcodes.h"
#include "streamdump/page_render.h"
#include "imaging_hooks.h"
#include "pdev.h"
#include "print_page.h"
#include "render_fixture.h"
#include "streamdump/decoder.h"
#include "vector_pattern.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

using namespace render_test;
namespace tk = stream;

// The drawing tokens of a stream, in order.
std::vector<const streamdump::Token*> Tokens(const streamdump::Decoding& d, int op) {
    std::vector<const streamdump::Token*> out;
    for (const auto& it : d.items)
        if (it.kind == streamdump::ItemKind::Token && it.opcode == op) out.push_back(&it.token);
    return out;
}

long Whole(const streamdump::Token* t, int attribute) {
    long v = -1;
    const streamdump::TokenValue* value = t ? t->Find(attribute) : nullptr;
    if (value) value->Whole(&v);
    return v;
}

// The rectangles painted (filled at once or as a path): their boxes as "l,t,r,b".
std::vector<std::string> Boxes(const streamdump::Decoding& d) {
    std::vector<std::string> out;
    for (const auto& it : d.items) {
        if (it.kind != streamdump::ItemKind::Token ||
            (it.opcode != tk::kRectangle && it.opcode != tk::kRectanglePath))
            continue;
        const streamdump::Token* t = &it.token;
        const streamdump::TokenValue* box = t->Find(tk::kBoundingBox);
        std::string s;
        for (double n : box ? box->numbers : std::vector<double>{})
            s += (s.empty() ? "" : ",") + std::to_string(static_cast<long>(n));
        out.push_back(s);
    }
    return out;
}

// An 8 x 8 1-bit packed DIB: a checkerboard of 2 x 2 cells, black and white.
std::vector<BYTE> CheckerDib(LONG side) {
    std::vector<BYTE> dib(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD) + 4 * side, 0);
    auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
    h->biSize = sizeof *h;
    h->biWidth = side;
    h->biHeight = side;
    h->biPlanes = 1;
    h->biBitCount = 1;
    auto* colours = reinterpret_cast<RGBQUAD*>(dib.data() + sizeof *h);
    colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    BYTE* bits = dib.data() + sizeof *h + 2 * sizeof(RGBQUAD);
    for (LONG y = 0; y < side; ++y)
        bits[4 * y] = (y / 2) % 2 ? 0x33 : 0xCC;
    return dib;
}

// The rectangle filled with the brush (PATCOPY); the brush is deleted after.
void FillWith(HDC hdc, HBRUSH brush, const RECT& r) {
    HGDIOBJ old = SelectObject(hdc, brush);
    EXPECT_TRUE(PatBlt(hdc, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY));
    SelectObject(hdc, old);
    DeleteObject(brush);
}

class DeviceSurface : public ::testing::Test {
  protected:
    void SetUp() override { InstallPrinter(u"P1", SampleModel("CX5540")); }
    // Neither banded nor recorded for the spool side.
    inkforge::DevmodeImage DeviceMode() {
        inkforge::DevmodeImage d = OwnDevmode(u"P1");
        inkforge::SetPrivU32(d, inkforge::priv::EmfMode, 0);
        inkforge::SetPrivU16(d, inkforge::priv::GraphicsMode, 0);
        return d;
    }
};

// A hatch and a pattern brush each reach the printer as a raster pattern
// that is selected as the brush and painted over the filled rectangle; a
// pattern the printer cannot take at its size goes out as a tiled image.
TEST_F(DeviceSurface, HatchAndPatternBrushesReachTheStream) {
    std::vector<BYTE> eight = CheckerDib(8), six = CheckerDib(6);
    Bytes stream = PrintPage(DeviceMode(), [&](HDC hdc) {
        HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
        HBRUSH pattern = CreateDIBPatternBrushPt(eight.data(), DIB_RGB_COLORS);
        HBRUSH odd = CreateDIBPatternBrushPt(six.data(), DIB_RGB_COLORS);
        ASSERT_TRUE(hatch && pattern && odd);
        FillWith(hdc, hatch, RECT{600, 700, 1000, 1000});
        FillWith(hdc, pattern, RECT{1200, 700, 1400, 800});
        FillWith(hdc, odd, RECT{1600, 700, 1660, 750});
    });
    streamdump::Decoding d = streamdump::Decode(stream);
    ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
    auto begins = Tokens(d, tk::kBeginRasterPattern);
    ASSERT_EQ(begins.size(), 2u) << streamdump::Format(d);
    // The hatch: a 16 x 16 1-bit pattern; the checkerboard: 8 x 8.
    EXPECT_EQ(Whole(begins[0], tk::kSourceWidth), 16);
    EXPECT_EQ(Whole(begins[0], tk::kSourceHeight), 16);
    EXPECT_EQ(Whole(begins[1], tk::kSourceWidth), 8);
    EXPECT_EQ(Whole(begins[1], tk::kColourDepth), 0);
    EXPECT_EQ(Tokens(d, tk::kEndRasterPattern).size(), 2u);
    // Each selected as the brush (pattern ids 10 and 11), then painted.
    std::vector<long> selected;
    for (const streamdump::Token* t : Tokens(d, tk::kSetBrushSource))
        if (t->Find(tk::kPatternSelectId)) selected.push_back(Whole(t, tk::kPatternSelectId));
    EXPECT_EQ(selected, (std::vector<long>{10, 11}));
    EXPECT_EQ(Boxes(d), (std::vector<std::string>{"600,700,1000,1000", "1200,700,1400,800"}));
    // The 6 x 6 pattern: one 1-bit image (a JBIG page image) the size of its
    // rectangle, and nothing left as a brush.
    std::vector<std::string> frames;
    for (const auto& it : d.items)
        if (it.kind == streamdump::ItemKind::Frame && it.opcode == 'g')
            for (const streamdump::Field& f : it.fields)
                frames.push_back(f.name + "=" + std::to_string(f.number));
    EXPECT_EQ(frames, (std::vector<std::string>{"width=60", "height=50", "jbig=-1"}));
}

// Pattern colours reach the printed page: a hatch drawn over a pink
// background and a red and blue checkerboard pattern, both 1-bit patterns
// whose palettes the printer's gray ramp would turn black and white.
TEST_F(DeviceSurface, IndexedPatternsPrintInTheirColours) {
    constexpr COLORREF kPink = RGB(255, 192, 203), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);
    std::vector<BYTE> checker = CheckerDib(8);
    auto* colours = reinterpret_cast<RGBQUAD*>(checker.data() + sizeof(BITMAPINFOHEADER));
    colours[0] = RGBQUAD{0xFF, 0, 0, 0}; // blue
    colours[1] = RGBQUAD{0, 0, 0xFF, 0}; // red
    inkforge::DevmodeImage mode = DeviceMode();
    mode.dm.dmColor = DMCOLOR_COLOR;
    Bytes stream = PrintPage(mode, [&](HDC hdc) {
        HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
        HBRUSH pattern = CreateDIBPatternBrushPt(checker.data(), DIB_RGB_COLORS);
        ASSERT_TRUE(hatch && pattern);
        SetBkMode(hdc, OPAQUE);
        SetBkColor(hdc, kPink);
        FillWith(hdc, hatch, RECT{600, 600, 1200, 1200});
        FillWith(hdc, pattern, RECT{1600, 600, 2200, 1200});
    });
    streamdump::Decoding d = streamdump::Decode(stream);
    ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
    // Half the page's dots: a page pixel is 2 x 2 dots, finer than the
    // patterns' pixels (3 and 4 dots).
    std::vector<streamdump::PageImage> pages =
        streamdump::RenderPages(stream.data(), stream.size(), d, 3508);
    ASSERT_EQ(pages.size(), 1u);
    const streamdump::PageImage& page = pages[0];
    // How many pixels of each colour lie inside the square from (left, top),
    // 600 dots a side.
    auto count = [&](LONG left, LONG top, COLORREF c) {
        const long rgb = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        int n = 0;
        for (int y = int(top * page.scale) + 1; y < int((top + 600) * page.scale) - 1; ++y)
            for (int x = int(left * page.scale) + 1; x < int((left + 600) * page.scale) - 1; ++x)
                n += page.Pixel(page.originX + x, page.originY + y) == rgb;
        return n;
    };
    const int area =
        static_cast<int>(600 * page.scale - 2) * static_cast<int>(600 * page.scale - 2);
    EXPECT_EQ(count(600, 600, RGB(255, 255, 255)), 0) << "the hatch's background";
    EXPECT_GT(count(600, 600, kPink), area / 2);
    EXPECT_GT(count(600, 600, RGB(0, 0, 0)), area / 20) << "the hatch's lines";
    EXPECT_EQ(count(1600, 600, RGB(255, 255, 255)), 0);
    EXPECT_GT(count(1600, 600, kRed), area / 4);
    EXPECT_GT(count(1600, 600, kBlue), area / 4);
}

// What each raster operation puts on the page: the painting operators in
// order, each with the operation in effect and its brush ("solid",
// "pattern" or "none" for an image).
std::vector<std::string> Paints(const streamdump::Decoding& d) {
    std::vector<std::string> out;
    long rop = -1;
    std::string brush = "none";
    for (const auto& it : d.items) {
        if (it.kind != streamdump::ItemKind::Token) continue;
        const streamdump::Token& t = it.token;
        char hex[8];
        switch (it.opcode) {
        case tk::kSetRasterOperation:
            rop = Whole(&t, tk::kRasterOperation);
            break;
        case tk::kSetBrushSource:
            brush = t.Find(tk::kPatternSelectId) ? "pattern"
                    : t.Find(tk::kNullBrush)     ? "none"
                                                 : "solid";
            break;
        case tk::kBeginImage:
            std::snprintf(hex, sizeof hex, "%02lX", rop);
            out.push_back(std::string("image ") + hex);
            break;
        case tk::kRectangle:
        case tk::kRectanglePath:
            std::snprintf(hex, sizeof hex, "%02lX", rop);
            out.push_back("rect " + brush + " " + hex);
            break;
        default:
            break;
        }
    }
    return out;
}

TEST_F(DeviceSurface, EachRasterOperationSendsWhatItPaints) {
    // A 4 x 4 24-bit source, bottom-up.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = 4;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    std::vector<BYTE> bits(4 * 12);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<BYTE>(i * 37);
    struct Case {
        const char* name;
        DWORD rop;
        int brush; // 0 solid gray, 1 cross hatch
        bool source;
        std::vector<std::string> paints;
    };
    const std::vector<Case> cases = {
        {"SRCCOPY", SRCCOPY, 0, true, {"image CC"}},
        {"SRCPAINT", SRCPAINT, 0, true, {"image EE"}},
        {"SRCAND", SRCAND, 0, true, {"image 88"}},
        {"SRCINVERT", SRCINVERT, 0, true, {"image 66"}},
        {"NOTSRCCOPY", NOTSRCCOPY, 0, true, {"image 33"}},
        {"PATCOPY", PATCOPY, 0, false, {"rect solid F0"}},
        {"PATCOPY hatch", PATCOPY, 1, false, {"rect pattern F0"}},
        {"PATINVERT hatch", PATINVERT, 1, false, {"rect pattern 5A"}},
        {"BLACKNESS", BLACKNESS, 0, false, {"rect solid 00"}},
        {"WHITENESS", WHITENESS, 0, false, {"rect solid FF"}},
        {"DSTINVERT", DSTINVERT, 0, false, {"rect solid 55"}},
        // Pattern and source: the image, then the brush by the operation
        // of pattern and destination that ends the same.
        {"MERGECOPY", MERGECOPY, 0, true, {"image CC", "rect solid A0"}},
        {"MERGECOPY hatch", MERGECOPY, 1, true, {"image CC", "rect pattern A0"}},
        // Pattern, source and destination: the brush selected, the image
        // under the operation.
        {"PSDPxax", 0x00B8074A, 0, true, {"image B8"}},
    };
    for (const Case& c : cases) {
        Bytes stream = PrintPage(DeviceMode(), [&](HDC hdc) {
            HBRUSH brush = c.brush ? CreateHatchBrush(HS_CROSS, RGB(0, 0, 0))
                                   : CreateSolidBrush(RGB(128, 128, 128));
            HGDIOBJ old = SelectObject(hdc, brush);
            if (c.source)
                EXPECT_EQ(StretchDIBits(hdc, 800, 900, 4, 4, 0, 0, 4, 4, bits.data(), &info,
                                        DIB_RGB_COLORS, c.rop),
                          4)
                    << c.name;
            else
                EXPECT_TRUE(PatBlt(hdc, 800, 900, 40, 40, c.rop)) << c.name;
            SelectObject(hdc, old);
            DeleteObject(brush);
        });
        streamdump::Decoding d = streamdump::Decode(stream);
        EXPECT_EQ(d.problems, 0u) << c.name;
        EXPECT_EQ(Paints(d), c.paints) << c.name << "\n" << streamdump::Format(d);
    }
}

// A stretch under a clip of several rectangles sends one image per
// rectangle, each once: a rectangle narrower than one source pixel of an
// enlarging stretch shows the source pixel under its middle, and the
// engine is not asked to draw the call again (which would undo an
// inverting operation where the images were already sent). At 300 dots
// per inch the sample model leaves stretches to the driver.
TEST_F(DeviceSurface, AClipWalkSendsEveryRectangleOnce) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = 4;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    std::vector<BYTE> bits(4 * 12, 0x40);
    inkforge::DevmodeImage mode = DeviceMode();
    mode.dm.dmPrintQuality = 300;
    inkforge::SetPrivU16(mode, inkforge::priv::ResolutionCode, 1);
    Bytes stream = PrintPage(mode, [&](HDC hdc) {
        HRGN strips = CreateRectRgn(800, 900, 801, 964);
        for (int left : {810, 830}) {
            HRGN more = CreateRectRgn(left, 900, left + 10, 964);
            CombineRgn(strips, strips, more, RGN_OR);
            DeleteObject(more);
        }
        SelectClipRgn(hdc, strips);
        DeleteObject(strips);
        EXPECT_EQ(StretchDIBits(hdc, 800, 900, 64, 64, 0, 0, 4, 4, bits.data(), &info,
                                DIB_RGB_COLORS, SRCINVERT),
                  4);
    });
    streamdump::Decoding d = streamdump::Decode(stream);
    ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
    EXPECT_EQ(Paints(d), (std::vector<std::string>{"image 66", "image 66", "image 66"}))
        << streamdump::Format(d);
    // Each image the source pixels its rectangle shows, over the rectangle.
    std::vector<std::string> images;
    for (const auto& it : d.items)
        if (it.kind == streamdump::ItemKind::Token && it.opcode == tk::kBeginImage)
            images.push_back(std::to_string(Whole(&it.token, tk::kSourceWidth)) + "x" +
                             std::to_string(Whole(&it.token, tk::kSourceHeight)));
    EXPECT_EQ(images, (std::vector<std::string>{"1x4", "1x4", "1x4"}));
}

// A transparent blit is two images over the destination: the key colour's
// mask, then the image with the key colour white. A gradient is shaded
// into one image of its box.
TEST_F(DeviceSurface, TransparentBlitsAndGradientsAreImages) {
    struct Case {
        const char* name;
        std::function<void(HDC)> draw;
        std::vector<std::string> paints;
    };
    const std::vector<Case> cases = {
        {"transparent blit",
         [](HDC hdc) {
             BITMAPINFO info{};
             info.bmiHeader.biSize = sizeof info.bmiHeader;
             info.bmiHeader.biWidth = 8;
             info.bmiHeader.biHeight = 8;
             info.bmiHeader.biPlanes = 1;
             info.bmiHeader.biBitCount = 24;
             void* bits = nullptr;
             HDC mem = CreateCompatibleDC(hdc);
             HBITMAP dib = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
             ASSERT_TRUE(mem && dib && bits);
             auto* p = static_cast<BYTE*>(bits);
             for (int i = 0; i < 8 * 8 * 3; ++i)
                 p[i] = i < 4 * 8 * 3 ? 0xFF : 0x20; // half the key colour, white
             HGDIOBJ old = SelectObject(mem, dib);
             EXPECT_TRUE(
                 TransparentBlt(hdc, 800, 900, 16, 16, mem, 0, 0, 8, 8, RGB(255, 255, 255)));
             SelectObject(mem, old);
             DeleteObject(dib);
             DeleteDC(mem);
         },
         {"image EE", "image 88"}},
        {"rectangle gradient",
         [](HDC hdc) {
             TRIVERTEX v[2] = {{800, 900, 0, 0, 0, 0}, {900, 950, 0xFF00, 0x8000, 0, 0}};
             GRADIENT_RECT r{0, 1};
             EXPECT_TRUE(GradientFill(hdc, v, 2, &r, 1, GRADIENT_FILL_RECT_V));
         },
         {"image CC"}},
        {"triangle gradient",
         [](HDC hdc) {
             TRIVERTEX v[3] = {{800, 900, 0xFF00, 0, 0, 0},
                               {900, 900, 0, 0xFF00, 0, 0},
                               {800, 1000, 0, 0, 0xFF00, 0}};
             GRADIENT_TRIANGLE t{0, 1, 2};
             EXPECT_TRUE(GradientFill(hdc, v, 3, &t, 1, GRADIENT_FILL_TRIANGLE));
         },
         {"image CC"}},
    };
    for (const Case& c : cases) {
        Bytes stream = PrintPage(DeviceMode(), c.draw);
        streamdump::Decoding d = streamdump::Decode(stream);
        EXPECT_EQ(d.problems, 0u) << c.name;
        EXPECT_EQ(Paints(d), c.paints) << c.name << "\n" << streamdump::Format(d);
    }
}

// The realized record as the raster pattern writer reads it: 44 bytes of
// head, rows padded to 16 bits from byte 44, then the colour table; hatches
// tiled to 16 x 16. Patterns laid out by hand, records checked byte by byte.
TEST(BrushRealization, PatternsTakeTheRasterPatternLayout) {
    auto u32 = [](const std::vector<BYTE>& r, size_t at) {
        return r[at] | r[at + 1] << 8 | r[at + 2] << 16 | static_cast<DWORD>(r[at + 3]) << 24;
    };
    struct Case {
        const char* name;
        ULONG format;
        LONG w, h, stride;
        std::vector<BYTE> bits;
        ULONG hatch;
        bool ok;
        DWORD width, height, kind, colours;
        std::vector<BYTE> rows; // the record's rows
        DWORD uniform = 0, uniformColor = 0;
    };
    const std::vector<Case> cases = {
        {"1 bit 3 x 2",
         BMF_1BPP,
         3,
         2,
         4,
         {0xA0, 0, 0, 0, 0x40, 0, 0, 0},
         HS_DDI_MAX,
         true,
         3,
         2,
         6,
         2,
         {0xA0, 0, 0x40, 0}},
        {"4 bit 5 x 1",
         BMF_4BPP,
         5,
         1,
         4,
         {0x12, 0x34, 0x50, 0},
         HS_DDI_MAX,
         true,
         5,
         1,
         6,
         16,
         {0x12, 0x34, 0x50, 0},
         1, // without a translation every index is black: one colour
         0},
        {"24 bit 1 x 2",
         BMF_24BPP,
         1,
         2,
         4,
         {1, 2, 3, 0, 4, 5, 6, 0},
         HS_DDI_MAX,
         true,
         1,
         2,
         6,
         0,
         {1, 2, 3, 0, 4, 5, 6, 0}},
        {"1 bit all white",
         BMF_1BPP,
         3,
         2,
         4,
         {0xE0, 0, 0, 0, 0xE0, 0, 0, 0},
         HS_DDI_MAX,
         true,
         3,
         2,
         6,
         2,
         {0xE0, 0, 0xE0, 0},
         1,
         0xFFFFFF},
        {"24 bit one colour",
         BMF_24BPP,
         1,
         2,
         4,
         {1, 2, 3, 0, 1, 2, 3, 0},
         HS_DDI_MAX,
         true,
         1,
         2,
         6,
         0,
         {1, 2, 3, 0, 1, 2, 3, 0},
         1,
         0x030201},
        {"unsupported format", BMF_32BPP + 1, 2, 2, 4, std::vector<BYTE>(8), HS_DDI_MAX, false},
        {"too wide", BMF_1BPP, 0x10000, 1, 4, std::vector<BYTE>(4), HS_DDI_MAX, false},
        {"too large", BMF_24BPP, 0xFFFF, 0xFFFF, 4, std::vector<BYTE>(4), HS_DDI_MAX, false},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> bits = c.bits;
        SURFOBJ so{};
        so.iType = STYPE_BITMAP;
        so.iBitmapFormat = c.format;
        so.sizlBitmap = SIZEL{c.w, c.h};
        so.pvBits = so.pvScan0 = bits.data();
        so.lDelta = c.stride;
        std::vector<BYTE> r;
        ASSERT_EQ(inkforge::ExpandBrushPattern(&so, nullptr, c.hatch, 7, &r), c.ok) << c.name;
        if (!c.ok) continue;
        ASSERT_GE(r.size(), 44u) << c.name;
        EXPECT_EQ(u32(r, 0), c.width) << c.name;
        EXPECT_EQ(u32(r, 4), c.height) << c.name;
        EXPECT_EQ(u32(r, 12), c.rows.size()) << c.name;
        EXPECT_EQ(u32(r, 16), c.colours) << c.name;
        EXPECT_EQ(u32(r, 20), 44 + c.rows.size()) << c.name;
        EXPECT_EQ(u32(r, 24), c.kind) << c.name;
        EXPECT_EQ(u32(r, 28), 7u) << c.name;
        EXPECT_EQ(std::vector<BYTE>(r.begin() + 44, r.begin() + 44 + c.rows.size()), c.rows)
            << c.name;
        EXPECT_EQ(r.size(), 44 + c.rows.size() + 4 * c.colours) << c.name;
        EXPECT_EQ(u32(r, 36), c.uniform) << c.name;
        EXPECT_EQ(u32(r, 40), c.uniformColor) << c.name;
    }
    // A hatch: the 8 x 8 pattern repeated into 16 x 16, kind = its style.
    std::vector<BYTE> hatch(8 * 4);
    for (int y = 0; y < 8; ++y)
        hatch[4 * y] = y == 4 ? 0x00 : 0xF7;
    SURFOBJ so{};
    so.iType = STYPE_BITMAP;
    so.iBitmapFormat = BMF_1BPP;
    so.sizlBitmap = SIZEL{8, 8};
    so.pvBits = so.pvScan0 = hatch.data();
    so.lDelta = 4;
    std::vector<BYTE> r;
    ASSERT_TRUE(inkforge::ExpandBrushPattern(&so, nullptr, HS_CROSS, 1, &r));
    EXPECT_EQ(u32(r, 0), 16u);
    EXPECT_EQ(u32(r, 24), static_cast<DWORD>(HS_CROSS));
    for (int y = 0; y < 16; ++y) {
        BYTE want = y % 8 == 4 ? 0x00 : 0xF7;
        EXPECT_EQ(r[44 + 2 * y], want) << y;
        EXPECT_EQ(r[45 + 2 * y], want) << y;
    }
    // No translation: a 1-bit pattern is black on white.
    EXPECT_EQ(u32(r, u32(r, 20)), 0u);
    EXPECT_EQ(u32(r, u32(r, 20) + 4), 0xFFFFFFu);
}

} // namespace
