// Drawing tokens and their graphics-state cache, collected from the output
// writer's capture.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_objects.h"
#include "render_fixture.h"
#include "vector_tokens.h"

namespace {

using namespace inkforge;
using render_test::Bytes;

class VectorTokens : public ::testing::Test {
  protected:
    void SetUp() override {
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->devmode = render_test::OwnDevmode();
        pdev->devmode.dm.dmColor = DMCOLOR_COLOR;
        StartCapture(pdev);
    }
    void TearDown() override { FreePdev(pdev); }

    // The bytes written since the last call.
    Bytes Take() {
        const auto* p = static_cast<const std::uint8_t*>(pdev->captureBlock);
        Bytes b(p, p + pdev->captureLength);
        pdev->captureLength = 0;
        return b;
    }

    PDEV* pdev = nullptr;
};

// A path of pixel points: each inner vector a subpath.
struct Path {
    explicit Path(const std::vector<std::vector<POINTL>>& subpaths, bool close = false) {
        ppo = EngCreatePath();
        for (const auto& s : subpaths) {
            PATHOBJ_bMoveTo(ppo, POINTFIX{s[0].x * 16, s[0].y * 16});
            std::vector<POINTFIX> rest;
            for (size_t i = 1; i < s.size(); ++i)
                rest.push_back(POINTFIX{s[i].x * 16, s[i].y * 16});
            if (!rest.empty())
                PATHOBJ_bPolyLineTo(ppo, rest.data(), static_cast<ULONG>(rest.size()));
            if (close) PATHOBJ_bCloseFigure(ppo);
        }
    }
    ~Path() { EngDeletePath(ppo); }
    PATHOBJ* ppo;
};

Bytes Cursor(LONG x, LONG y) {
    return {0xD3,
            static_cast<std::uint8_t>(x),
            static_cast<std::uint8_t>(x >> 8),
            static_cast<std::uint8_t>(y),
            static_cast<std::uint8_t>(y >> 8),
            0xF8,
            0x4C,
            0x6B};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(VectorTokens, CacheDoesNotResendUnchangedState) {
    ASSERT_TRUE(SetPenColor(pdev, 0x0000FF));
    ASSERT_TRUE(SetPenColor(pdev, 0x0000FF));
    EXPECT_EQ(Take(), (Bytes{0xC8, 0xC0, 3, 0xFF, 0, 0, 0xF8, 0x0B, 0x79}));
    ASSERT_TRUE(SetRop(pdev, 0xF0));
    ASSERT_TRUE(SetRop(pdev, 0xF0));
    ASSERT_TRUE(SetTransferModes(pdev, true));
    ASSERT_TRUE(SetTransferModes(pdev, true));
    ASSERT_TRUE(SetFillMode(pdev, FP_ALTERNATEMODE));
    ASSERT_TRUE(SetFillMode(pdev, FP_ALTERNATEMODE));
    ASSERT_TRUE(SetPenWidth(pdev, 0)); // at least 1
    ASSERT_TRUE(SetPenWidth(pdev, 1));
    ASSERT_TRUE(SelectNoBrush(pdev));
    ASSERT_TRUE(SelectNoBrush(pdev));
    EXPECT_EQ(Take(),
              (Bytes{0xC0, 0xF0, 0xF8, 0x2C, 0x7B,                            // raster operation
                     0xC0, 1,    0xF8, 0x2D, 0x78, 0xC0, 1, 0xF8, 0x2D, 0x7C, // transfer modes
                     0xC0, 1,    0xF8, 0x46, 0x6E,                            // alternate fill
                     0xC1, 1,    0,    0xF8, 0x4B, 0x7A,                      // pen width
                     0xC0, 0,    0xF8, 0x04, 0x63}));
    // A brush after "no brush", and a changed pen, go out again.
    ASSERT_TRUE(SetBrushColor(pdev, 0x00FF00));
    ASSERT_TRUE(SetPenColor(pdev, 0x000000));
    EXPECT_EQ(Take(), (Bytes{0xC8, 0xC0, 3, 0, 0xFF, 0, 0xF8, 0x0B, 0x63, 0xC8, 0xC0, 3, 0, 0, 0,
                             0xF8, 0x0B, 0x79}));
    // A new page starts from nothing sent.
    ++pdev->pageCount;
    ASSERT_TRUE(SetRop(pdev, 0xF0));
    EXPECT_EQ(Take(), (Bytes{0xC0, 0xF0, 0xF8, 0x2C, 0x7B}));
}

TEST_F(VectorTokens, GrayModeSendsGrayLevels) {
    pdev->devmode.dm.dmColor = DMCOLOR_MONOCHROME;
    SetPrivU16(pdev->devmode, offsetof(PRIVATE_DEVMODE, ColorMode), 1);
    ASSERT_TRUE(SetBrushColor(pdev, 0xFFFFFF));
    ASSERT_TRUE(EmitRectangle(pdev, POINTL{5, 5}, POINTL{5, 9})); // zero width grows by 1
    EXPECT_EQ(Take(), (Bytes{0xC0, 0xFF, 0xF8, 0x09, 0x63, 0xE1, 5, 0, 5, 0, 6, 0, 9, 0, 0xF8, 0x42,
                             0xA0}));
}

TEST_F(VectorTokens, GrayLevelsByTheDevicesWeights) {
    struct Case {
        const char* name;
        bool record;
        SHORT r, g, b;
        ULONG color;
        BYTE level;
    };
    const Case cases[] = {
        {"no halftone record: the model's defaults", false, 0, 0, 0, 0x0000FF, 255 * 74 / 256},
        {"weights adding up to 0", true, 0, 0, 0, 0xFFFFFF, 0},
        {"equal weights", true, 1, 1, 1, 0x306090, (0x90 + 0x60 + 0x30) / 3},
        {"only blue counts", true, 0, 0, 5, 0x7F0000, 0x7F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HalftoneRecord h{};
        h.grayRed = c.r;
        h.grayGreen = c.g;
        h.grayBlue = c.b;
        pdev->halftone = c.record ? &h : nullptr;
        EXPECT_EQ(GrayLevel(pdev, c.color), c.level);
        pdev->halftone = nullptr;
    }
}

TEST_F(VectorTokens, RunsTakeTheNarrowestPointTypeThatHoldsThem) {
    struct Case {
        const char* name;
        std::vector<POINTL> points;
        Bytes run; // from the count on
    };
    std::vector<Case> cases = {
        {"bytes",
         {{10, 10}, {137, 10}, {137, 20}},
         {0xC0, 2, 0xF8, 0x4D, 0xC0, 0, 0xF8, 0x50, 0x9D, 0xFA, 4, 0, 0, 0, 127, 0, 0, 10}},
        {"one offset of 128 widens the run",
         {{10, 10}, {138, 10}, {138, 20}},
         {0xC0, 2, 0xF8, 0x4D, 0xC0, 2, 0xF8, 0x50, 0x9D, 0xFA, 8,
          0,    0, 0,    128,  0,    0, 0,    0,    0,    10,   0}},
        {"signed bytes",
         {{10, 10}, {0, 10}, {0, 137}},
         {0xC0, 2, 0xF8, 0x4D, 0xC0, 1, 0xF8, 0x50, 0x9D, 0xFA, 4, 0, 0, 0, 0xF6, 0, 0, 127}},
        {"signed words",
         {{10, 10}, {0, 10}, {0, 300}},
         {0xC0, 2, 0xF8, 0x4D, 0xC0, 3, 0xF8, 0x50, 0x9D, 0xFA, 8,
          0,    0, 0,    0xF6, 0xFF, 0, 0,    0,    0,    0x22, 0x01}},
    };
    for (const Case& c : cases) {
        Path path({c.points});
        ASSERT_TRUE(EmitPath(pdev, path.ppo)) << c.name;
        EXPECT_EQ(Take(), Cat({{0x85}, Cursor(c.points[0].x, c.points[0].y), c.run})) << c.name;
    }
}

TEST_F(VectorTokens, LongRunsUseTheSixteenBitCount) {
    std::vector<POINTL> points;
    for (LONG i = 0; i <= 300; ++i)
        points.push_back(POINTL{i, i % 2});
    Path path({points});
    ASSERT_TRUE(EmitPath(pdev, path.ppo));
    Bytes b = Take();
    Bytes head =
        Cat({{0x85},
             Cursor(0, 0),
             {0xC1, 0x2C, 0x01, 0xF8, 0x4D, 0xC0, 1, 0xF8, 0x50, 0x9D, 0xFA, 0x58, 2, 0, 0}});
    ASSERT_GE(b.size(), head.size());
    EXPECT_EQ(Bytes(b.begin(), b.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(b.size(), head.size() + 600);
}

TEST_F(VectorTokens, FarPointsFallBackToAbsoluteAndTheNextRunIsRelativeAgain) {
    Path path({{{-32000, 5}, {32000, 5}, {32000, 40000}}, {{10, 10}, {20, 10}}});
    ASSERT_TRUE(EmitPath(pdev, path.ppo));
    // 64000 pixels apart: the clamped points themselves; the second subpath
    // has one point left, an absolute end point.
    Bytes expected = Cat({{0x85},
                          Cursor(-32000, 5),
                          {0xC0, 2, 0xF8, 0x4D, 0xC0, 2, 0xF8, 0x50, 0x9B, 0xFA, 8,
                           0,    0, 0,    0x00, 0x7D, 5, 0,    0x00, 0x7D, 0xFF, 0x7F},
                          Cursor(10, 10),
                          {0xD3, 20, 0, 10, 0, 0xF8, 0x45, 0x9B}});
    EXPECT_EQ(Take(), expected);

    // A far run whose points include a negative coordinate is written signed.
    Path back({{{32000, 5}, {-32000, 5}, {-32000, 6}}});
    ASSERT_TRUE(EmitPath(pdev, back.ppo));
    EXPECT_EQ(Take(), Cat({{0x85}, Cursor(32000, 5), {0xC0, 2,    0xF8, 0x4D, 0xC0, 3, 0xF8, 0x50,
                                                      0x9B, 0xFA, 8,    0,    0,    0, 0x00, 0x83,
                                                      5,    0,    0x00, 0x83, 6,    0}}));
}

TEST_F(VectorTokens, BezierPointsAreOffsetsFromTheCurveStart) {
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{100 * 16, 100 * 16});
    POINTFIX c[6] = {{110 * 16, 90 * 16},  {120 * 16, 90 * 16},  {130 * 16, 100 * 16},
                     {140 * 16, 110 * 16}, {150 * 16, 110 * 16}, {160 * 16, 100 * 16}};
    PATHOBJ_bPolyBezierTo(ppo, c, 6);
    PATHOBJ_bCloseFigure(ppo);
    ASSERT_TRUE(PaintPath(pdev, ppo));
    EngDeletePath(ppo);
    EXPECT_EQ(Take(),
              Cat({{0x85}, Cursor(100, 100), {0xC0, 6,    0xF8, 0x4D, 0xC0, 1, 0xF8,
                                              0x50, 0x95, 0xFA, 12,   0,    0, 0,
                                              10,   0xF6, 20,   0xF6, 30,   0, // from (100, 100)
                                              10,   10,   20,   10,   30,   0, // from (130, 100)
                                              0x84, 0x86}}));
}

TEST_F(VectorTokens, ClampedBeziersGoOutCurveByCurveWithAbsolutePoints) {
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{100 * 16, 100 * 16});
    POINTFIX c[3] = {{200 * 16, 50 * 16}, {40000 * 16, 50 * 16}, {300 * 16, -10 * 16}};
    PATHOBJ_bPolyBezierTo(ppo, c, 3);
    ASSERT_TRUE(EmitPath(pdev, ppo));
    EngDeletePath(ppo);
    EXPECT_EQ(Take(), Cat({{0x85},
                           Cursor(100, 100),
                           {0xD0, 200,  50,   0xF8, 0x51,             // fits bytes
                            0xD1, 0xFF, 0x7F, 50,   0,    0xF8, 0x52, // clamped to the device box
                            0xD3, 0x2C, 0x01, 0xF6, 0xFF, 0xF8, 0x45, // negative: signed
                            0x93}}));
}

TEST_F(VectorTokens, LinesStartFromTheirOwnStartPoint) {
    ASSERT_TRUE(EmitLine(pdev, 100, 200, 90, 260));
    EXPECT_EQ(Take(),
              Cat({{0x85}, Cursor(100, 200), {0xD3, 0xF6, 0xFF, 60, 0, 0xF8, 0x45, 0x9D, 0x86}}));
}

TEST_F(VectorTokens, ClipRectanglesAndTheWholePage) {
    // The page starts unclipped: a trivial clip sends nothing.
    ASSERT_TRUE(ClipToObject(pdev, nullptr));
    EXPECT_TRUE(Take().empty());
    // A one-pixel-wide clip goes out two pixels wide.
    CLIPOBJ* rect = platform::engine::CreateClip(std::vector<RECTL>{{10, 20, 11, 100}}.data(), 1);
    ASSERT_TRUE(ClipToObject(pdev, rect));
    ASSERT_TRUE(ClipToObject(pdev, rect));
    EXPECT_EQ(Take(),
              (Bytes{0xC0, 0, 0xF8, 0x53, 0xE3, 10, 0, 20, 0, 12, 0, 100, 0, 0xF8, 0x42, 0x68}));
    // Back to the whole page: the printer's clip rectangle is replaced once.
    CLIPOBJ* all = platform::engine::CreateTrivialClip(RECTL{0, 0, 4000, 6000});
    ASSERT_TRUE(ClipToObject(pdev, all));
    ASSERT_TRUE(ClipToObject(pdev, all));
    EXPECT_EQ(Take(), (Bytes{0xC0, 0, 0xF8, 0x53, 0xE3, 0x01, 0x80, 0x01, 0x80, 0xFF, 0x7F, 0xFF,
                             0x7F, 0xF8, 0x42, 0x68}));
    EngDeleteClip(rect);
    EngDeleteClip(all);
}

TEST_F(VectorTokens, ComplexClipsPaintOncePerMergedRectangle) {
    // Two rectangles one above the other merge; the third stands apart.
    std::vector<RECTL> rects = {{0, 0, 10, 5}, {0, 5, 10, 10}, {20, 0, 30, 10}};
    CLIPOBJ* clip = platform::engine::CreateClip(rects.data(), 3);
    ASSERT_EQ(clip->iDComplexity, DC_COMPLEX);
    Path path({{{1, 1}, {25, 1}}});
    ASSERT_TRUE(PaintPathInClip(pdev, path.ppo, clip));
    Bytes paint = Cat({{0x85}, Cursor(1, 1), {0xD3, 25, 0, 1, 0, 0xF8, 0x45, 0x9B, 0x86}});
    EXPECT_EQ(Take(), Cat({{0xC0, 0, 0xF8, 0x53, 0xE3, 0, 0, 0, 0, 10, 0, 10, 0, 0xF8, 0x42, 0x68},
                           paint,
                           {0xC0, 0, 0xF8, 0x53, 0xE3, 20, 0, 0, 0, 30, 0, 10, 0, 0xF8, 0x42, 0x68},
                           paint}));
    EngDeleteClip(clip);
}

TEST_F(VectorTokens, SolidFillsOfMergedClipRectangles) {
    std::vector<RECTL> rects = {{0, 0, 10, 5}, {0, 5, 10, 10}, {20, 0, 30, 10}};
    CLIPOBJ* clip = platform::engine::CreateClip(rects.data(), 3);
    ASSERT_TRUE(FillRectsWithBrush(pdev, clip, 0x0000FF, 0xF0, false));
    Bytes state = {0xC8, 0xC0, 3,    0xFF, 0,    0,    0xF8, 0x0B, 0x63, 0xC0,
                   0,    0xF8, 0x05, 0x79, 0xC0, 0xF0, 0xF8, 0x2C, 0x7B, 0xC0,
                   0,    0xF8, 0x2D, 0x78, 0xC0, 0,    0xF8, 0x2D, 0x7C};
    EXPECT_EQ(Take(), Cat({{0xC0, 0, 0xF8, 0x53, 0xE3, 0, 0, 0, 0, 10, 0, 10, 0, 0xF8, 0x42, 0x68},
                           state,
                           {0x85, 0xE1, 0, 0, 0, 0, 10, 0, 10, 0, 0xF8, 0x42, 0xA1, 0x86},
                           {0xC0, 0, 0xF8, 0x53, 0xE3, 20, 0, 0, 0, 30, 0, 10, 0, 0xF8, 0x42, 0x68},
                           {0x85, 0xE1, 20, 0, 0, 0, 30, 0, 10, 0, 0xF8, 0x42, 0xA1, 0x86}}));
    EngDeleteClip(clip);
    // A rectangle whose corners coincide after clamping writes nothing.
    ASSERT_TRUE(EmitRectangle(pdev, POINTL{70000, 70000}, POINTL{80000, 80000}));
    EXPECT_TRUE(Take().empty());
}

TEST_F(VectorTokens, DashedThenSolidLineSendsTheSolidTokenOnce) {
    FLOAT_LONG style[2];
    style[0].l = 1;
    style[1].l = 1;
    LINEATTRS dashed{};
    dashed.fl = LA_STYLED;
    dashed.elWidth.l = 1;
    dashed.cstyle = 2;
    dashed.pstyle = style;
    LINEATTRS solid{};
    solid.elWidth.l = 1;
    ASSERT_TRUE(SetLineAttributes(pdev, &dashed, nullptr));
    // 600 dpi: 600 x 8 / 25.4 / 2 = 94.48 a dash.
    EXPECT_EQ(Take(), (Bytes{0xC0, 3,    0xF8, 0x48, 0x72, 0xC1, 1,  0, 0xF8, 0x4B, 0x7A,
                             0xC9, 0xC1, 2,    0,    94,   0,    94, 0, 0xF8, 0x4A, 0x70}));
    ASSERT_TRUE(SetLineAttributes(pdev, &solid, nullptr));
    ASSERT_TRUE(SetLineAttributes(pdev, &solid, nullptr));
    EXPECT_EQ(Take(), (Bytes{0xC0, 0, 0xF8, 0x4E, 0x70}));
}

TEST_F(VectorTokens, WriterFailureIsReported) {
    pdev->jobFlags |= job::Cancelled;
    EXPECT_FALSE(SetRop(pdev, 0xCC));
    Path path({{{1, 1}, {2, 2}}});
    EXPECT_FALSE(EmitPath(pdev, path.ppo));
}

TEST(VectorNumbers, RangesAndEncodings) {
    EXPECT_EQ(ClampPoint(POINTL{-5, 300}, stream::kPointUByte).x, 0);
    EXPECT_EQ(ClampPoint(POINTL{-5, 300}, stream::kPointUByte).y, 255);
    EXPECT_EQ(ClampPoint(POINTL{-500, 300}, stream::kPointSByte).x, -128);
    EXPECT_EQ(ClampPoint(POINTL{70000, -1}, stream::kPointUInt16).x, 65535);
    EXPECT_EQ(ClampPoint(POINTL{-70000, 0}, stream::kPointSInt16).x, -32768);
    EXPECT_EQ(EncodeNumber(POINTL{255, 0}), stream::kPointUByte);
    EXPECT_EQ(EncodeNumber(POINTL{256, 0}), stream::kPointUInt16);
    EXPECT_EQ(EncodeNumber(POINTL{0, -1}), stream::kPointSInt16);
}

} // namespace
