// Pattern brushes: raster patterns, the tiled pattern fill and the raster
// operations it converts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output_writer.h"
#include "pdev.h"
#include "render_fixture.h"
#include "vector_pattern.h"
#include "vector_tokens.h"

namespace {

using namespace inkforge;
using render_test::Bytes;

// A realized 1-bit pattern record: bit (x, y) set where `on` says so, a
// two-colour table after the bits (black and white unless given).
Bytes OneBitPattern(DWORD w, DWORD h, DWORD kind, DWORD id, bool (*on)(DWORD x, DWORD y),
                    ULONG off = 0x000000, ULONG set = 0xFFFFFF) {
    RealizedBrush head{};
    head.width = w;
    head.height = h;
    head.format = kPattern1;
    DWORD rowBytes = (w + 15) / 16 * 2;
    head.bitsSize = rowBytes * h;
    head.colorCount = 2;
    head.colorTableOffset = sizeof head + head.bitsSize;
    head.kind = kind;
    head.brushId = id;
    Bytes rec(sizeof head + head.bitsSize + 8, 0);
    std::memcpy(rec.data(), &head, sizeof head);
    for (DWORD y = 0; y < h; ++y)
        for (DWORD x = 0; x < w; ++x)
            if (on(x, y))
                rec[sizeof head + y * rowBytes + x / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    ULONG colors[2] = {off, set};
    std::memcpy(rec.data() + head.colorTableOffset, colors, sizeof colors);
    return rec;
}

bool Diagonal(DWORD x, DWORD y) {
    return x == y;
}
// Every pattern pixel different from its neighbours, so that a misplaced
// tile shows.
bool Scatter(DWORD x, DWORD y) {
    return ((x * 7 + y * 3) % 5) < 2;
}

struct Captured {
    int calls = 0;
    TiledBitmap bitmap;
    RECTL target{}, source{};
    BYTE rop = 0;
    bool xlate = false;
    BOOL answer = TRUE; // what the image output reports
    std::vector<RECTL> targets;
};
Captured gCaptured;

BOOL CaptureImage(PDEV*, SURFOBJ* so, XLATEOBJ* xlate, const RECTL* target, const RECTL* source,
                  BYTE rop) {
    ++gCaptured.calls;
    TiledBitmap& b = gCaptured.bitmap;
    b.width = so->sizlBitmap.cx;
    b.height = so->sizlBitmap.cy;
    b.bitsPerPixel = so->iBitmapFormat == BMF_1BPP ? 1 : so->iBitmapFormat == BMF_24BPP ? 24 : 0;
    b.stride = -so->lDelta;
    const auto* bits = static_cast<const BYTE*>(so->pvBits);
    b.bits.assign(bits, bits + so->cjBits);
    gCaptured.target = *target;
    gCaptured.source = *source;
    gCaptured.rop = rop;
    gCaptured.xlate = xlate && xlate->cEntries == 2 && xlate->pulXlate[1] == 0xFFFFFF;
    gCaptured.targets.push_back(*target);
    return gCaptured.answer;
}

class VectorPattern : public ::testing::Test {
  protected:
    void SetUp() override {
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->devmode = render_test::OwnDevmode();
        pdev->devmode.dm.dmColor = DMCOLOR_COLOR;
        StartCapture(pdev);
        gCaptured = Captured{};
        SetOutputImage(&CaptureImage);
    }
    void TearDown() override {
        SetOutputImage(nullptr);
        FreePdev(pdev);
    }
    Bytes Take() {
        const auto* p = static_cast<const std::uint8_t*>(pdev->captureBlock);
        Bytes b(p, p + pdev->captureLength);
        pdev->captureLength = 0;
        return b;
    }
    PDEV* pdev = nullptr;
};

TEST_F(VectorPattern, EightByEightIsSentAsARasterPattern) {
    Bytes rec = OneBitPattern(8, 8, 6, 41, Diagonal);
    RECTL target{0, 0, 100, 100};
    ASSERT_TRUE(
        SetBrush(pdev, reinterpret_cast<const RealizedBrush*>(rec.data()), &target, 0xF0, false));
    Bytes expected = {
        0xC0, 1,    0xF8, 0x64, // indexed colours
        0xC0, 0,    0xF8, 0x62, // 1 bit
        0xC1, 8,    0,    0xF8, 0x6C, 0xC1, 8, 0,    0xF8, 0x6B, 0xD1, 32, 0, 32,   0,
        0xF8, 0x67, // 600 / 150 = 4 device pixels a pattern pixel
        0xC3, 10,   0,    0xF8, 0x69, 0xC0, 0, 0xF8, 0x68, 0xB3, 0xC1, 0,  0, 0xF8, 0x6D,
        0xC1, 8,    0,    0xF8, 0x63, 0xC0, 0, 0xF8, 0x65, 0xB4, 0xFA, 16, 0, 0,    0};
    for (int y = 0; y < 8; ++y)
        expected.insert(expected.end(), {static_cast<std::uint8_t>(0x80 >> y), 0});
    expected.insert(expected.end(),
                    {0xB5, 0xC3, 10, 0,    0xF8, 0x08, 0x63, 0xC0, 0xF0, 0xF8, 0x2C,
                     0x7B, 0xC0, 0,  0xF8, 0x2D, 0x78, 0xC0, 0,    0xF8, 0x2D, 0x7C});
    EXPECT_EQ(Take(), expected);
    EXPECT_EQ(gCaptured.calls, 0);
    // The same brush again is only selected, and not even that while current.
    ASSERT_TRUE(
        SetBrush(pdev, reinterpret_cast<const RealizedBrush*>(rec.data()), &target, 0xF0, false));
    EXPECT_TRUE(Take().empty());
    // A hatch-style pattern scales by (600 / 20 + 5) / 10 = 3 and takes the next slot.
    Bytes hatch = OneBitPattern(8, 8, 2, 42, Diagonal);
    ASSERT_TRUE(
        SetBrush(pdev, reinterpret_cast<const RealizedBrush*>(hatch.data()), &target, 0xF0, false));
    Bytes b = Take();
    ASSERT_GT(b.size(), 30u);
    EXPECT_EQ(Bytes(b.begin() + 18, b.begin() + 30),
              (Bytes{0xD1, 24, 0, 24, 0, 0xF8, 0x67, 0xC3, 11, 0, 0xF8, 0x69}));
}

TEST_F(VectorPattern, SixBySixFillsWithATiledImageAnchoredAtThePageOrigin) {
    Bytes rec = OneBitPattern(6, 6, 6, 7, Scatter);
    const auto* brush = reinterpret_cast<const RealizedBrush*>(rec.data());
    // A target that starts left of and above the page origin.
    for (RECTL target : {RECTL{-37, -5, 30, 50}, RECTL{13, 29, 70, 61}}) {
        gCaptured = Captured{};
        ASSERT_TRUE(SetBrush(pdev, brush, &target, 0xF0, true));
        ASSERT_EQ(gCaptured.calls, 1);
        const TiledBitmap& img = gCaptured.bitmap;
        ASSERT_EQ(img.width, target.right - target.left);
        ASSERT_EQ(img.height, target.bottom - target.top);
        EXPECT_EQ(img.stride % 4, 0);
        // Every device pixel shows the pattern pixel 4 x 4 device pixels
        // wide that the page origin's tiling puts there.
        int wrong = 0;
        for (LONG y = 0; y < img.height; ++y)
            for (LONG x = 0; x < img.width; ++x) {
                LONG X = target.left + x, Y = target.top + y;
                DWORD px = static_cast<DWORD>(((X % 24) + 24) % 24 / 4),
                      py = static_cast<DWORD>(((Y % 24) + 24) % 24 / 4);
                wrong += img.Pixel(x, y) != (Scatter(px, py) ? 1u : 0u);
            }
        EXPECT_EQ(wrong, 0) << target.left << "," << target.top;
        // The raster operation on the pattern becomes the same one on the source.
        EXPECT_EQ(gCaptured.rop, 0xCC);
        EXPECT_TRUE(gCaptured.xlate);
        EXPECT_EQ(gCaptured.source.right, img.width);
    }
    // No brush, no pen, transparent transfer modes; no pattern tokens.
    EXPECT_EQ(Take(), (Bytes{0xC0, 0, 0xF8, 0x04, 0x63, 0xC0, 0, 0xF8, 0x05, 0x79,
                             0xC0, 1, 0xF8, 0x2D, 0x78, 0xC0, 1, 0xF8, 0x2D, 0x7C}));
}

TEST_F(VectorPattern, WhatCannotBeTiledDrawsNothingAndWhatCannotBeSentFails) {
    Bytes rec = OneBitPattern(6, 6, 6, 7, Scatter);
    auto* brush = reinterpret_cast<RealizedBrush*>(rec.data());
    RECTL empty{5, 5, 5, 9};
    EXPECT_TRUE(SetBrush(pdev, brush, &empty, 0xF0, false));
    EXPECT_TRUE(SetBrush(pdev, brush, nullptr, 0xF0, false));
    EXPECT_EQ(gCaptured.calls, 0);
    brush->colorCount = 257;
    EXPECT_FALSE(SetBrush(pdev, brush, &empty, 0xF0, false));
    brush->colorCount = 2;
    brush->format = kPattern16;
    EXPECT_FALSE(SetBrush(pdev, brush, &empty, 0xF0, false));
    brush->format = kPattern1;
    brush->bitsSize = 4; // shorter than its rows
    EXPECT_FALSE(SetBrush(pdev, brush, &empty, 0xF0, false));
    EXPECT_FALSE(SetBrush(pdev, nullptr, &empty, 0xF0, false));
}

// The fill reports what happened to its image: an image that was not sent,
// or no image output at all, fails the fill instead of printing nothing.
TEST_F(VectorPattern, ATiledImageThatWasNotSentFailsTheFill) {
    Bytes rec = OneBitPattern(6, 6, 6, 7, Scatter);
    const auto* brush = reinterpret_cast<const RealizedBrush*>(rec.data());
    RECTL target{0, 0, 30, 20};
    gCaptured.answer = FALSE;
    EXPECT_FALSE(SetBrush(pdev, brush, &target, 0xF0, false));
    EXPECT_EQ(gCaptured.calls, 1);
    SetOutputImage(nullptr);
    EXPECT_FALSE(SetBrush(pdev, brush, &target, 0xF0, false));
    EXPECT_EQ(gCaptured.calls, 1);
}

// A palette that the printer's gray ramp would not show (the stream carries
// no palette for indexed pixels): the raster pattern carries direct colours,
// three bytes a pixel in rows padded to 16 bits, and a tiled fill an image of
// 24-bit pixels without a colour table.
TEST_F(VectorPattern, ColoursTheGrayRampWouldNotShowGoOutAsDirectPixels) {
    const ULONG pink = 0xCBC0FF, black = 0; // red in the low byte
    Bytes rec = OneBitPattern(8, 8, 6, 43, Diagonal, black, pink);
    RECTL target{0, 0, 100, 100};
    ASSERT_TRUE(
        SetBrush(pdev, reinterpret_cast<const RealizedBrush*>(rec.data()), &target, 0xF0, false));
    Bytes expected = {0xC0, 0,    0xF8, 0x64, // direct colours
                      0xC0, 2,    0xF8, 0x62, // 8 bits a component
                      0xC1, 8,    0,    0xF8, 0x6C, 0xC1, 8,    0,    0xF8, 0x6B, 0xD1, 32,
                      0,    32,   0,    0xF8, 0x67, 0xC3, 10,   0,    0xF8, 0x69, 0xC0, 0,
                      0xF8, 0x68, 0xB3, 0xC1, 0,    0,    0xF8, 0x6D, 0xC1, 8,    0,    0xF8,
                      0x63, 0xC0, 0,    0xF8, 0x65, 0xB4, 0xFA, 192,  0,    0,    0};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            expected.insert(expected.end(), {static_cast<std::uint8_t>(x == y ? 0xFF : 0),
                                             static_cast<std::uint8_t>(x == y ? 0xC0 : 0),
                                             static_cast<std::uint8_t>(x == y ? 0xCB : 0)});
    Bytes b = Take();
    ASSERT_GE(b.size(), expected.size());
    EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
    // A 6 x 6 pattern of the same colours, tiled.
    Bytes odd = OneBitPattern(6, 6, 6, 44, Scatter, black, pink);
    RECTL area{3, 5, 40, 30};
    ASSERT_TRUE(
        SetBrush(pdev, reinterpret_cast<const RealizedBrush*>(odd.data()), &area, 0xF0, false));
    ASSERT_EQ(gCaptured.calls, 1);
    const TiledBitmap& img = gCaptured.bitmap;
    ASSERT_EQ(img.bitsPerPixel, 24u);
    EXPECT_FALSE(gCaptured.xlate);
    int wrong = 0;
    for (LONG y = 0; y < img.height; ++y)
        for (LONG x = 0; x < img.width; ++x) {
            DWORD px = static_cast<DWORD>((area.left + x) % 24 / 4),
                  py = static_cast<DWORD>((area.top + y) % 24 / 4);
            wrong += img.Pixel(x, y) != (Scatter(px, py) ? pink : black);
        }
    EXPECT_EQ(wrong, 0);
}

// A target whose image would pass the work bitmap's limit goes out in strips
// that continue one tiling.
TEST_F(VectorPattern, ALargeTiledFillGoesOutInStrips) {
    // A 6 x 6 colour pattern: two colours scattered.
    RealizedBrush head{};
    head.width = head.height = 6;
    head.format = kPattern24;
    head.bitsSize = PatternRowBytes(&head) * 6;
    head.colorTableOffset = sizeof head + head.bitsSize;
    head.kind = 6;
    head.brushId = 8;
    Bytes rec(sizeof head + head.bitsSize, 0);
    std::memcpy(rec.data(), &head, sizeof head);
    auto colour = [](DWORD x, DWORD y) { return Scatter(x, y) ? 0xFFFFFFu : 0x123456u; };
    for (DWORD y = 0; y < 6; ++y)
        for (DWORD x = 0; x < 6; ++x)
            for (int k = 0; k < 3; ++k)
                rec[sizeof head + y * PatternRowBytes(&head) + x * 3 + k] =
                    static_cast<std::uint8_t>(colour(x, y) >> (8 * k));
    const auto* brush = reinterpret_cast<const RealizedBrush*>(rec.data());
    // 150000 pixels of 3 bytes a row: 149 rows make a strip.
    RECTL target{-100, 3, 149900, 153};
    ASSERT_TRUE(SetBrush(pdev, brush, &target, 0xF0, false));
    ASSERT_EQ(gCaptured.targets.size(), 2u);
    EXPECT_EQ(gCaptured.targets[0].top, 3);
    EXPECT_EQ(gCaptured.targets[1].top, gCaptured.targets[0].bottom);
    EXPECT_EQ(gCaptured.targets[1].bottom, 153);
    // The last strip continues the tiling from the page origin.
    const TiledBitmap& img = gCaptured.bitmap;
    int wrong = 0;
    for (LONG y = 0; y < img.height; ++y)
        for (LONG x = 0; x < 200; ++x) {
            LONG X = target.left + x, Y = gCaptured.targets[1].top + y;
            DWORD px = static_cast<DWORD>(((X % 24) + 24) % 24 / 4),
                  py = static_cast<DWORD>(((Y % 24) + 24) % 24 / 4);
            wrong += img.Pixel(x, y) != colour(px, py);
        }
    EXPECT_EQ(wrong, 0);
}

// A pattern whose pixels all show one colour is sent as that solid colour:
// neither a raster pattern nor a tiled image.
TEST_F(VectorPattern, APatternOfOneColourIsASolidBrush) {
    for (DWORD side : {8u, 6u}) {
        Bytes rec = OneBitPattern(side, side, 6, 9, [](DWORD, DWORD) { return true; });
        auto* brush = reinterpret_cast<RealizedBrush*>(rec.data());
        brush->uniform = 1;
        brush->uniformColor = 0xFFFFFF;
        RECTL target{0, 0, 50, 50};
        ASSERT_TRUE(SetBrush(pdev, brush, &target, 0xF0, false));
        EXPECT_EQ(gCaptured.calls, 0);
        Bytes b = Take();
        ASSERT_FALSE(b.empty());
        EXPECT_EQ(std::count(b.begin(), b.end(), 0xB3), 0) << side; // no raster pattern
        EXPECT_LT(Vector(pdev).currentPattern, 0);
        EXPECT_TRUE(Vector(pdev).drawState & draw::SolidBrush);
        EXPECT_EQ(Vector(pdev).brushColor, 0xFFFFFFu);
        ResetVectorState(pdev);
    }
}

TEST(PatternRop, OperationsOnThePatternBecomeOperationsOnTheSource) {
    const BYTE pairs[][2] = {{0x05, 0x11}, {0x0A, 0x22}, {0x0F, 0x33}, {0x50, 0x44}, {0x5A, 0x66},
                             {0x5F, 0x77}, {0xA0, 0x88}, {0xA5, 0x99}, {0xAF, 0xBB}, {0xF0, 0xCC},
                             {0xF5, 0xDD}, {0xFA, 0xEE}, {0x03, 0x03}, {0x0C, 0x0C}, {0x30, 0x30},
                             {0x3C, 0x3C}, {0x3F, 0x3F}, {0xC0, 0xC0}, {0xC3, 0xC3}, {0xCF, 0xCF},
                             {0xF3, 0xF3}, {0xFC, 0xFC}};
    int handled = 0;
    for (int rop = 0; rop < 256; ++rop) {
        BYTE out = 0;
        bool ok = PatternRopToSourceRop(0xAB00 | static_cast<DWORD>(rop), &out);
        handled += ok;
        BYTE want = static_cast<BYTE>(rop);
        for (const auto& p : pairs)
            if (p[0] == rop) want = p[1];
        EXPECT_EQ(out, want) << rop;
    }
    EXPECT_EQ(handled, 22);
    EXPECT_TRUE(PatternRopToSourceRop(0xF0, nullptr));
    EXPECT_FALSE(PatternRopToSourceRop(0x66, nullptr));
}

} // namespace
