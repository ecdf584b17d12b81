// The engine's own drawing into bitmaps: every ternary raster operation on
// every format against its boolean formula, masks, fills by the pixel-centre
// rule, cosmetic and geometric lines, stretches, gradients, transparent and
// alpha blits, and the hand-over of the rendering to a device's driver.
#include <cmath>
#include <cstring>
#include <vector>

#include "engine_fixture.h"
#include "platform/engine_device.h"
#include "platform/engine_objects.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

constexpr ULONG kFormats[] = {BMF_1BPP, BMF_4BPP, BMF_8BPP, BMF_16BPP, BMF_24BPP, BMF_32BPP};

ULONG Bpp(ULONG f) {
    static const ULONG bpp[] = {0, 1, 4, 8, 16, 24, 32};
    return bpp[f];
}

// A bitmap the test reads and writes pixel by pixel, independently of the
// engine's own row code.
class Bitmap {
  public:
    Bitmap(ULONG format, LONG cx, LONG cy, FLONG fl = BMF_TOPDOWN) : format_(format) {
        h_ = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, 0, format, fl, nullptr));
        so_ = EngLockSurface(h_);
    }
    ~Bitmap() {
        EngUnlockSurface(so_);
        EngDeleteSurface(h_);
    }
    SURFOBJ* so() const { return so_; }
    HSURF h() const { return h_; }
    ULONG Get(LONG x, LONG y) const {
        const BYTE* row = static_cast<const BYTE*>(so_->pvScan0) + y * so_->lDelta;
        ULONG bpp = Bpp(format_);
        unsigned long long bit = static_cast<unsigned long long>(x) * bpp;
        if (bpp < 8) return (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        ULONG v = 0;
        for (ULONG i = 0; i < bpp / 8; ++i)
            v |= static_cast<ULONG>(row[bit / 8 + i]) << (8 * i);
        return v;
    }
    void Set(LONG x, LONG y, ULONG v) {
        BYTE* row = static_cast<BYTE*>(so_->pvScan0) + y * so_->lDelta;
        ULONG bpp = Bpp(format_);
        unsigned long long bit = static_cast<unsigned long long>(x) * bpp;
        if (bpp < 8) {
            unsigned shift = static_cast<unsigned>(8 - bpp - bit % 8);
            BYTE mask = static_cast<BYTE>(((1u << bpp) - 1) << shift);
            row[bit / 8] = static_cast<BYTE>((row[bit / 8] & ~mask) | ((v << shift) & mask));
            return;
        }
        for (ULONG i = 0; i < bpp / 8; ++i)
            row[bit / 8 + i] = static_cast<BYTE>(v >> (8 * i));
    }
    ULONG Max() const { return Bpp(format_) >= 32 ? 0xFFFFFFFF : (1u << Bpp(format_)) - 1; }

  private:
    ULONG format_;
    HSURF h_;
    SURFOBJ* so_;
};

ULONG Noise(ULONG& seed) {
    seed = seed * 1103515245u + 12345u;
    return seed ^ (seed >> 13);
}

// The boolean formula, bit by bit: bit i of the code answers P*4 + S*2 + D.
ULONG Formula(ULONG rop3, ULONG p, ULONG s, ULONG d, ULONG bits) {
    ULONG r = 0;
    for (ULONG b = 0; b < bits; ++b) {
        ULONG i = ((p >> b) & 1) << 2 | ((s >> b) & 1) << 1 | ((d >> b) & 1);
        r |= ((rop3 >> i) & 1) << b;
    }
    return r;
}

class RasterTest : public EngineTest {};

TEST_F(RasterTest, EveryTernaryOperationOnEveryFormatFollowsItsFormula) {
    // Destination pixels 3..13 of rows 1..2: a span that starts and ends
    // inside bytes on the small formats.
    const LONG cx = 17, cy = 4;
    for (ULONG format : kFormats) {
        ULONG bits = Bpp(format);
        for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
            Bitmap dst(format, cx, cy), src(format, cx, cy), pat(format, 4, 2);
            ULONG seed = rop3 * 7 + format;
            std::vector<ULONG> before(cx * cy);
            for (LONG y = 0; y < cy; ++y)
                for (LONG x = 0; x < cx; ++x) {
                    dst.Set(x, y, Noise(seed) & dst.Max());
                    src.Set(x, y, Noise(seed) & dst.Max());
                    before[y * cx + x] = dst.Get(x, y);
                }
            for (LONG y = 0; y < 2; ++y)
                for (LONG x = 0; x < 4; ++x)
                    pat.Set(x, y, Noise(seed) & dst.Max());
            BRUSHOBJ* brush = CreatePatternBrush(dst.h(), pat.h(), nullptr, nullptr);
            ASSERT_NE(brush, nullptr);
            RECTL r{3, 1, 14, 3};
            POINTL from{1, 0}, org{1, 1};
            ASSERT_TRUE(EngBitBlt(dst.so(), src.so(), nullptr, nullptr, nullptr, &r, &from, nullptr,
                                  brush, &org, rop3 | rop3 << 8))
                << format << " " << rop3;
            DeleteBrush(brush);
            int wrong = 0;
            for (LONG y = 0; y < cy; ++y)
                for (LONG x = 0; x < cx; ++x) {
                    ULONG d = before[y * cx + x], want = d;
                    if (x >= 3 && x < 14 && y >= 1 && y < 3) {
                        ULONG p = pat.Get(((x - 1) % 4 + 4) % 4, ((y - 1) % 2 + 2) % 2);
                        ULONG s = src.Get(x - 2, y - 1);
                        want = Formula(rop3, p, s, d, bits);
                    }
                    wrong += dst.Get(x, y) != want;
                }
            EXPECT_EQ(wrong, 0) << "format " << format << " rop 0x" << std::hex << rop3;
        }
    }
}

TEST_F(RasterTest, QuaternaryOperationTakesForegroundWhereTheMaskIsSet) {
    for (ULONG format : kFormats) {
        Bitmap dst(format, 12, 2), src(format, 12, 2), mask(BMF_1BPP, 12, 2);
        for (LONG x = 0; x < 12; ++x) {
            dst.Set(x, 0, 0);
            src.Set(x, 0, dst.Max());
            mask.Set(x, 0, x % 3 == 0);
        }
        RECTL r{0, 0, 12, 1};
        POINTL zero{0, 0};
        // Foreground: the source; background: the inverted destination.
        ASSERT_TRUE(EngBitBlt(dst.so(), src.so(), mask.so(), nullptr, nullptr, &r, &zero, &zero,
                              nullptr, nullptr, 0x55CC));
        for (LONG x = 0; x < 12; ++x)
            EXPECT_EQ(dst.Get(x, 0), dst.Max()) << format << " x " << x;
        // Foreground: keep; background: black.
        ASSERT_TRUE(EngBitBlt(dst.so(), src.so(), mask.so(), nullptr, nullptr, &r, &zero, &zero,
                              nullptr, nullptr, 0x00AA));
        for (LONG x = 0; x < 12; ++x)
            EXPECT_EQ(dst.Get(x, 0), x % 3 == 0 ? dst.Max() : 0) << format << " x " << x;
    }
}

// A path of closed polygons in pixel coordinates (28.4 inside).
PATHOBJ* Polygons(std::initializer_list<std::vector<std::pair<double, double>>> polys) {
    PATHOBJ* ppo = EngCreatePath();
    for (const auto& poly : polys) {
        PATHOBJ_bMoveTo(ppo, POINTFIX{FIX(poly[0].first * 16), FIX(poly[0].second * 16)});
        for (size_t i = 1; i < poly.size(); ++i) {
            POINTFIX p{FIX(poly[i].first * 16), FIX(poly[i].second * 16)};
            PATHOBJ_bPolyLineTo(ppo, &p, 1);
        }
        PATHOBJ_bCloseFigure(ppo);
    }
    return ppo;
}

std::vector<std::string> Picture(const Bitmap& b, LONG cx, LONG cy) {
    std::vector<std::string> rows;
    for (LONG y = 0; y < cy; ++y) {
        std::string row;
        for (LONG x = 0; x < cx; ++x)
            row += b.Get(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

TEST_F(RasterTest, FillsCoverThePixelsWhoseCentresLieInside) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> poly;
        std::vector<std::string> want;
    } cases[] = {
        {"whole pixels",
         {{1, 1}, {4, 1}, {4, 3}, {1, 3}},
         {"......", ".###..", ".###..", "......"}},
        // Centres on the left and top edges are inside, on the right and bottom outside.
        {"edges through centres",
         {{0.5, 0.5}, {3.5, 0.5}, {3.5, 2.5}, {0.5, 2.5}},
         {"###...", "###...", "......", "......"}},
        {"thin sliver misses every centre",
         {{1.1, 0}, {1.4, 0}, {1.4, 4}, {1.1, 4}},
         {"......", "......", "......", "......"}},
        {"triangle", {{0, 0}, {6, 0}, {0, 4}}, {"#####.", "####..", "##....", "#....."}},
    };
    for (const Case& c : cases) {
        Bitmap b(BMF_1BPP, 6, 4);
        PATHOBJ* ppo = Polygons({c.poly});
        BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
        ASSERT_TRUE(EngFillPath(b.so(), ppo, nullptr, brush, nullptr, R2_COPYPEN | R2_COPYPEN << 8,
                                FP_ALTERNATEMODE));
        EXPECT_EQ(Picture(b, 6, 4), c.want) << c.name;
        DeleteBrush(brush);
        EngDeletePath(ppo);
    }
}

TEST_F(RasterTest, WindingFillsOverlapsAlternateLeavesThemOpen) {
    for (FLONG mode : {FP_ALTERNATEMODE, FP_WINDINGMODE}) {
        Bitmap b(BMF_8BPP, 8, 2);
        PATHOBJ* ppo =
            Polygons({{{0, 0}, {5, 0}, {5, 2}, {0, 2}}, {{3, 0}, {8, 0}, {8, 2}, {3, 2}}});
        BRUSHOBJ* brush = CreateSolidBrush(b.h(), 9);
        ASSERT_TRUE(EngFillPath(b.so(), ppo, nullptr, brush, nullptr, R2_COPYPEN, mode));
        EXPECT_EQ(b.Get(4, 1), mode == FP_WINDINGMODE ? 9u : 0u);
        EXPECT_EQ(b.Get(2, 1), 9u);
        EXPECT_EQ(b.Get(6, 1), 9u);
        DeleteBrush(brush);
        EngDeletePath(ppo);
    }
}

TEST_F(RasterTest, FillsObeyTheClipAndTheMix) {
    Bitmap b(BMF_8BPP, 8, 4);
    for (LONG x = 0; x < 8; ++x)
        b.Set(x, 0, 0x0F);
    RECTL keep[] = {{0, 0, 2, 4}, {5, 0, 8, 1}};
    CLIPOBJ* clip = CreateClip(keep, 2);
    PATHOBJ* ppo = Polygons({{{0, 0}, {8, 0}, {8, 4}, {0, 4}}});
    BRUSHOBJ* brush = CreateSolidBrush(b.h(), 0xF0);
    ASSERT_TRUE(EngFillPath(b.so(), ppo, clip, brush, nullptr, R2_XORPEN, FP_ALTERNATEMODE));
    EXPECT_EQ(b.Get(0, 0), 0xFFu);
    EXPECT_EQ(b.Get(1, 3), 0xF0u);
    EXPECT_EQ(b.Get(3, 0), 0x0Fu); // outside the clip
    EXPECT_EQ(b.Get(6, 0), 0xFFu);
    EXPECT_EQ(b.Get(6, 1), 0x00u);
    DeleteBrush(brush);
    EngDeletePath(ppo);
    EngDeleteClip(clip);
}

TEST_F(RasterTest, CosmeticLinesLeaveTheirLastPixelOut) {
    struct Case {
        LONG x1, y1, x2, y2;
        std::vector<std::string> want;
    } cases[] = {
        {0, 1, 5, 1, {"......", "#####.", "......", "......"}},
        {5, 2, 0, 2, {"......", "......", ".#####", "......"}},
        {0, 0, 4, 4, {"#.....", ".#....", "..#...", "...#.."}},
        {1, 0, 1, 3, {".#....", ".#....", ".#....", "......"}},
    };
    for (const Case& c : cases) {
        Bitmap b(BMF_1BPP, 6, 4);
        BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
        ASSERT_TRUE(EngLineTo(b.so(), nullptr, brush, c.x1, c.y1, c.x2, c.y2, nullptr, R2_COPYPEN));
        EXPECT_EQ(Picture(b, 6, 4), c.want) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        DeleteBrush(brush);
    }
}

TEST_F(RasterTest, GeometricPensHaveWidthCapsAndJoins) {
    struct Case {
        const char* name;
        ULONG cap, join;
        LONG pixelX, pixelY; // a pixel that the cap or join decides
        bool set;
    } cases[] = {
        {"butt cap ends at the end point", ENDCAP_BUTT, JOIN_MITER, 3, 10, false},
        {"square cap reaches half the width past it", ENDCAP_SQUARE, JOIN_MITER, 3, 10, true},
        {"square cap has corners", ENDCAP_SQUARE, JOIN_MITER, 1, 7, true},
        {"round cap reaches past the end", ENDCAP_ROUND, JOIN_ROUND, 1, 10, true},
        {"round cap is round", ENDCAP_ROUND, JOIN_ROUND, 1, 7, false},
        {"miter fills the corner", ENDCAP_BUTT, JOIN_MITER, 22, 7, true},
        {"bevel cuts the corner", ENDCAP_BUTT, JOIN_BEVEL, 22, 7, false},
        {"round join is round", ENDCAP_BUTT, JOIN_ROUND, 22, 7, false},
        {"round join covers its radius", ENDCAP_BUTT, JOIN_ROUND, 21, 8, true},
        {"middle of the line", ENDCAP_BUTT, JOIN_BEVEL, 10, 12, true},
        {"just outside the width", ENDCAP_BUTT, JOIN_BEVEL, 10, 13, false},
    };
    for (const Case& c : cases) {
        Bitmap b(BMF_1BPP, 32, 32);
        // Right from (4, 10) to (20, 10), then down to (20, 30); 6 pixels wide.
        PATHOBJ* ppo = EngCreatePath();
        PATHOBJ_bMoveTo(ppo, POINTFIX{4 * 16, 10 * 16});
        POINTFIX pts[] = {{20 * 16, 10 * 16}, {20 * 16, 30 * 16}};
        PATHOBJ_bPolyLineTo(ppo, pts, 2);
        LINEATTRS la{};
        la.fl = LA_GEOMETRIC;
        la.elWidth.e = 6;
        la.iEndCap = c.cap;
        la.iJoin = c.join;
        la.eMiterLimit = 10;
        BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
        ASSERT_TRUE(EngStrokePath(b.so(), ppo, nullptr, nullptr, brush, nullptr, &la, R2_COPYPEN));
        EXPECT_EQ(b.Get(c.pixelX, c.pixelY) != 0, c.set) << c.name;
        DeleteBrush(brush);
        EngDeletePath(ppo);
    }
}

TEST_F(RasterTest, StyledLinesLeaveGaps) {
    Bitmap b(BMF_1BPP, 40, 4);
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{0, 32});
    POINTFIX end{40 * 16, 32};
    PATHOBJ_bPolyLineTo(ppo, &end, 1);
    FLOAT_LONG style[] = {{.e = 6}, {.e = 4}};
    LINEATTRS la{};
    la.fl = LA_GEOMETRIC | LA_STYLED;
    la.elWidth.e = 2;
    la.iEndCap = ENDCAP_BUTT;
    la.cstyle = 2;
    la.pstyle = style;
    BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
    ASSERT_TRUE(EngStrokePath(b.so(), ppo, nullptr, nullptr, brush, nullptr, &la, R2_COPYPEN));
    EXPECT_EQ(Picture(b, 40, 4)[1], "######....######....######....######....");
    DeleteBrush(brush);
    EngDeletePath(ppo);
}

TEST_F(RasterTest, BeziersStayWithinATenthOfAPixel) {
    // A quarter circle of radius 100 as one Bézier; the fill's edge pixels lie
    // where the true curve puts them.
    Bitmap b(BMF_1BPP, 110, 110);
    const double k = 0.5522847498 * 100;
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{0, 0});
    POINTFIX line{100 * 16, 0};
    PATHOBJ_bPolyLineTo(ppo, &line, 1);
    POINTFIX bez[] = {{100 * 16, FIX(k * 16)}, {FIX(k * 16), 100 * 16}, {0, 100 * 16}};
    PATHOBJ_bPolyBezierTo(ppo, bez, 3);
    PATHOBJ_bCloseFigure(ppo);
    BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
    ASSERT_TRUE(EngFillPath(b.so(), ppo, nullptr, brush, nullptr, R2_COPYPEN, FP_ALTERNATEMODE));
    int wrong = 0;
    for (LONG y = 0; y < 100; ++y)
        for (LONG x = 0; x < 100; ++x) {
            double r = std::hypot(x + 0.5, y + 0.5);
            // The cubic strays up to 0.03 % of the radius from the circle.
            if (std::fabs(r - 100) < 0.2) continue;
            wrong += (b.Get(x, y) != 0) != (r < 100);
        }
    EXPECT_EQ(wrong, 0);
    DeleteBrush(brush);
    EngDeletePath(ppo);
}

TEST_F(RasterTest, PatternBrushesTileFromTheBrushOrigin) {
    Bitmap b(BMF_24BPP, 8, 4), pat(BMF_8BPP, 2, 2);
    pat.Set(0, 0, 0);
    pat.Set(1, 0, 1);
    pat.Set(0, 1, 1);
    pat.Set(1, 1, 0);
    ULONG colors[2] = {0x0000FF, 0x00FF00};
    XLATEOBJ* xlate = CreateTableXlate(colors, 2);
    BRUSHOBJ* brush = CreatePatternBrush(b.h(), pat.h(), nullptr, xlate);
    RECTL all{0, 0, 8, 4};
    CLIPOBJ* clip = CreateClip(&all, 1);
    POINTL org{1, 0};
    ASSERT_TRUE(EngPaint(b.so(), clip, brush, &org, R2_COPYPEN));
    EXPECT_EQ(b.Get(1, 0), 0x0000FFu);
    EXPECT_EQ(b.Get(2, 0), 0x00FF00u);
    EXPECT_EQ(b.Get(1, 1), 0x00FF00u);
    EXPECT_EQ(b.Get(0, 0), 0x00FF00u);
    DeleteBrush(brush);
    DeleteXlate(xlate);
    EngDeleteClip(clip);
}

TEST_F(RasterTest, StretchesMapEachPixelCentreAndMirror) {
    Bitmap src(BMF_8BPP, 4, 1), dst(BMF_8BPP, 8, 1);
    for (LONG x = 0; x < 4; ++x)
        src.Set(x, 0, 10 + x);
    RECTL d{0, 0, 8, 1}, s{0, 0, 4, 1};
    ASSERT_TRUE(EngStretchBlt(dst.so(), src.so(), nullptr, nullptr, nullptr, nullptr, nullptr, &d,
                              &s, nullptr, COLORONCOLOR));
    for (LONG x = 0; x < 8; ++x)
        EXPECT_EQ(dst.Get(x, 0), ULONG(10 + x / 2));
    RECTL mirrored{8, 0, 0, 1};
    ASSERT_TRUE(EngStretchBlt(dst.so(), src.so(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              &mirrored, &s, nullptr, COLORONCOLOR));
    for (LONG x = 0; x < 8; ++x)
        EXPECT_EQ(dst.Get(x, 0), ULONG(13 - x / 2));
}

TEST_F(RasterTest, ShrinkingKeepsBlackOnWhiteAndWhiteOnBlack) {
    struct Case {
        ULONG mode;
        ULONG want;
    } cases[] = {{BLACKONWHITE, 0}, {WHITEONBLACK, 1}, {COLORONCOLOR, 1}};
    for (const Case& c : cases) {
        Bitmap src(BMF_1BPP, 4, 1), dst(BMF_1BPP, 1, 1);
        for (LONG x = 0; x < 4; ++x)
            src.Set(x, 0, x != 0); // one black pixel among white
        RECTL d{0, 0, 1, 1}, s{0, 0, 4, 1};
        ASSERT_TRUE(EngStretchBlt(dst.so(), src.so(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &d, &s, nullptr, c.mode));
        EXPECT_EQ(dst.Get(0, 0), c.want) << c.mode;
    }
}

TEST_F(RasterTest, HalftoningGivesTheSourcesGrayAsADotShare) {
    struct Case {
        ULONG rgb;
        int minWhite, maxWhite; // of 256 pixels
    } cases[] = {{0xFFFFFF, 256, 256}, {0x000000, 0, 0}, {0x808080, 120, 136}, {0x404040, 56, 72}};
    for (const Case& c : cases) {
        Bitmap src(BMF_24BPP, 4, 4), dst(BMF_1BPP, 16, 16);
        for (LONG y = 0; y < 4; ++y)
            for (LONG x = 0; x < 4; ++x)
                src.Set(x, y, c.rgb);
        RECTL d{0, 0, 16, 16}, s{0, 0, 4, 4};
        POINTL org{0, 0};
        ASSERT_TRUE(EngStretchBlt(dst.so(), src.so(), nullptr, nullptr, nullptr, nullptr, &org, &d,
                                  &s, nullptr, HALFTONE));
        int white = 0;
        for (LONG y = 0; y < 16; ++y)
            for (LONG x = 0; x < 16; ++x)
                white += dst.Get(x, y) != 0;
        EXPECT_GE(white, c.minWhite) << std::hex << c.rgb;
        EXPECT_LE(white, c.maxWhite) << std::hex << c.rgb;
    }
}

TEST_F(RasterTest, GradientsRunBetweenTheirVertexColours) {
    Bitmap b(BMF_24BPP, 10, 10);
    TRIVERTEX v[2] = {{0, 0, 0xFF00, 0, 0, 0}, {10, 10, 0, 0, 0xFF00, 0}};
    GRADIENT_RECT r{0, 1};
    ASSERT_TRUE(EngGradientFill(b.so(), nullptr, nullptr, v, 2, &r, 1, nullptr, nullptr,
                                GRADIENT_FILL_RECT_H));
    // Blue in the low byte: red starts high on the left and ends low.
    EXPECT_GT((b.Get(0, 5) >> 16) & 0xFF, 0xE0u);
    EXPECT_LT(b.Get(0, 5) & 0xFF, 0x20u);
    EXPECT_GT(b.Get(9, 5) & 0xFF, 0xE0u);
    ULONG mid = (b.Get(5, 5) >> 16) & 0xFF;
    EXPECT_NEAR(static_cast<int>(mid), 0x66, 0x10);

    Bitmap t(BMF_24BPP, 10, 10);
    TRIVERTEX tv[3] = {{0, 0, 0xFF00, 0, 0, 0}, {10, 0, 0xFF00, 0, 0, 0}, {0, 10, 0xFF00, 0, 0, 0}};
    GRADIENT_TRIANGLE tri{0, 1, 2};
    ASSERT_TRUE(EngGradientFill(t.so(), nullptr, nullptr, tv, 3, &tri, 1, nullptr, nullptr,
                                GRADIENT_FILL_TRIANGLE));
    EXPECT_EQ(t.Get(1, 1), 0xFF0000u);
    EXPECT_EQ(t.Get(9, 9), 0u);
}

TEST_F(RasterTest, TransparentBlitsKeepTheKeyColoursDestination) {
    Bitmap src(BMF_8BPP, 4, 1), dst(BMF_8BPP, 4, 1);
    for (LONG x = 0; x < 4; ++x) {
        src.Set(x, 0, x % 2 ? 7 : 3);
        dst.Set(x, 0, 1);
    }
    RECTL r{0, 0, 4, 1};
    ASSERT_TRUE(EngTransparentBlt(dst.so(), src.so(), nullptr, nullptr, &r, &r, 7, 0));
    EXPECT_EQ(dst.Get(0, 0), 3u);
    EXPECT_EQ(dst.Get(1, 0), 1u);
}

TEST_F(RasterTest, AlphaBlendsWithConstantAndPerPixelAlpha) {
    Bitmap src(BMF_32BPP, 2, 1), dst(BMF_24BPP, 2, 1);
    src.Set(0, 0, 0x00FF0000); // red, no alpha of its own
    src.Set(1, 0, 0x80800000); // red at half, premultiplied
    dst.Set(0, 0, 0x0000FF);
    dst.Set(1, 0, 0x0000FF);
    RECTL r{0, 0, 1, 1};
    BLENDOBJ half{{AC_SRC_OVER, 0, 128, 0}};
    ASSERT_TRUE(EngAlphaBlend(dst.so(), src.so(), nullptr, nullptr, &r, &r, &half));
    EXPECT_NEAR(static_cast<int>((dst.Get(0, 0) >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(static_cast<int>(dst.Get(0, 0) & 0xFF), 127, 2);
    RECTL r1{1, 0, 2, 1};
    BLENDOBJ perPixel{{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
    ASSERT_TRUE(EngAlphaBlend(dst.so(), src.so(), nullptr, nullptr, &r1, &r1, &perPixel));
    EXPECT_NEAR(static_cast<int>((dst.Get(1, 0) >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(static_cast<int>(dst.Get(1, 0) & 0xFF), 127, 2);
}

TEST_F(RasterTest, OverlappingCopiesOnOneSurfaceMoveWholeRows) {
    Bitmap b(BMF_8BPP, 4, 6);
    for (LONG y = 0; y < 6; ++y)
        for (LONG x = 0; x < 4; ++x)
            b.Set(x, y, y * 4 + x);
    RECTL down{0, 1, 4, 6};
    POINTL from{0, 0};
    ASSERT_TRUE(EngCopyBits(b.so(), b.so(), nullptr, nullptr, &down, &from));
    for (LONG y = 1; y < 6; ++y)
        EXPECT_EQ(b.Get(2, y), ULONG((y - 1) * 4 + 2));
}

TEST_F(RasterTest, SourcesOutsideTheirSurfaceAreCutNotRead) {
    Bitmap src(BMF_8BPP, 4, 4), dst(BMF_8BPP, 8, 8);
    for (LONG y = 0; y < 4; ++y)
        for (LONG x = 0; x < 4; ++x)
            src.Set(x, y, 5);
    RECTL r{0, 0, 8, 8};
    POINTL from{-2, -2};
    ASSERT_TRUE(EngCopyBits(dst.so(), src.so(), nullptr, nullptr, &r, &from));
    EXPECT_EQ(dst.Get(1, 1), 0u);
    EXPECT_EQ(dst.Get(2, 2), 5u);
    EXPECT_EQ(dst.Get(6, 6), 0u);
}

// --- a device surface gets the engine's rendering through its driver ------------

struct Handed {
    int copies = 0;
    std::vector<RECTL> clipRects;
    std::vector<ULONG> pixels; // the source rows handed over
    LONG cx = 0;
} gHanded;

BOOL APIENTRY CopyBits(SURFOBJ*, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ*, RECTL* prclDest,
                       POINTL* pptlSrc) {
    // This driver cannot read its page back.
    if (psoSrc->iType != STYPE_BITMAP) return FALSE;
    ++gHanded.copies;
    CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 0);
    struct {
        ULONG c;
        RECTL r[8];
    } batch;
    BOOL more;
    do {
        more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
        gHanded.clipRects.insert(gHanded.clipRects.end(), batch.r, batch.r + batch.c);
    } while (more);
    gHanded.cx = prclDest->right - prclDest->left;
    for (LONG y = 0; y < prclDest->bottom - prclDest->top; ++y)
        for (LONG x = 0; x < gHanded.cx; ++x) {
            const BYTE* row =
                static_cast<const BYTE*>(psoSrc->pvScan0) + (y + pptlSrc->y) * psoSrc->lDelta;
            const BYTE* p = row + 3 * (x + pptlSrc->x);
            gHanded.pixels.push_back(p[0] | p[1] << 8 | p[2] << 16);
        }
    return TRUE;
}

TEST_F(RasterTest, DeviceSurfacesGetPatternFillsAsImagesThroughCopyBits) {
    gHanded = Handed{};
    DriverFunctions fns;
    fns.fn[INDEX_DrvCopyBits] = reinterpret_cast<PFN>(&CopyBits);
    HDEV hdev = CreateDevice(fns);
    HSURF dev = EngCreateDeviceSurface(nullptr, SIZEL{100, 100}, BMF_24BPP);
    EngAssociateSurface(dev, hdev, HOOK_COPYBITS);
    SURFOBJ* so = EngLockSurface(dev);
    Bitmap pat(BMF_1BPP, 8, 8);
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x)
            pat.Set(x, y, (x + y) % 2);
    ULONG colors[2] = {0x111111, 0x222222};
    XLATEOBJ* xlate = CreateTableXlate(colors, 2);
    BRUSHOBJ* brush = CreatePatternBrush(dev, pat.h(), nullptr, xlate);
    PATHOBJ* ppo = Polygons({{{10, 20}, {14, 20}, {14, 22}, {10, 22}}});
    ASSERT_TRUE(EngFillPath(so, ppo, nullptr, brush, nullptr, R2_COPYPEN, FP_ALTERNATEMODE));
    EXPECT_EQ(gHanded.copies, 1);
    ASSERT_EQ(gHanded.clipRects.size(), 1u);
    EXPECT_EQ(gHanded.clipRects[0].left, 10);
    EXPECT_EQ(gHanded.clipRects[0].bottom, 22);
    ASSERT_EQ(gHanded.pixels.size(), 8u);
    EXPECT_EQ(gHanded.pixels[0], (10 + 20) % 2 ? 0x222222u : 0x111111u);
    EXPECT_EQ(gHanded.pixels[1], (11 + 20) % 2 ? 0x222222u : 0x111111u);

    // A mix that reads the destination needs the page read back first.
    EXPECT_FALSE(EngFillPath(so, ppo, nullptr, brush, nullptr, R2_XORPEN, FP_ALTERNATEMODE));
    EngDeletePath(ppo);
    DeleteBrush(brush);
    DeleteXlate(xlate);
    EngUnlockSurface(so);
    EngDeleteSurface(dev);
    DeleteDevice(hdev);
}

} // namespace

namespace {

// Figures reaching far off a small surface draw only what lies on it, and
// quickly: rows and runs off the surface are never walked.
TEST_F(RasterTest, HugeFiguresAreCutToTheSurface) {
    Bitmap b(BMF_1BPP, 8, 8);
    const double far = 1 << 25;
    PATHOBJ* ppo = Polygons({{{-far, -far}, {far, -far}, {0, far}}});
    BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
    ASSERT_TRUE(EngFillPath(b.so(), ppo, nullptr, brush, nullptr, R2_COPYPEN, FP_WINDINGMODE));
    EXPECT_EQ(Picture(b, 8, 8)[7], "########");
    EngDeletePath(ppo);
    Bitmap line(BMF_1BPP, 8, 8);
    ASSERT_TRUE(
        EngLineTo(line.so(), nullptr, brush, -(1 << 26), 3, 1 << 26, 3, nullptr, R2_COPYPEN));
    EXPECT_EQ(Picture(line, 8, 8)[3], "########");
    EXPECT_EQ(Picture(line, 8, 8)[2], "........");
    DeleteBrush(brush);
}

// A pen far wider than the surface, round at each of many joins, covers the
// surface once (its joins once took a circle of thousands of points each and
// gigabytes between them).
TEST_F(RasterTest, APenWiderThanTheSurfaceCoversItOnce) {
    Bitmap b(BMF_1BPP, 8, 8);
    PATHOBJ* ppo = EngCreatePath();
    PATHOBJ_bMoveTo(ppo, POINTFIX{0, 0});
    std::vector<POINTFIX> zigzag;
    for (LONG i = 1; i <= 20000; ++i)
        zigzag.push_back(POINTFIX{(i % 2) * 6 * 16, (i % 3) * 5 * 16});
    PATHOBJ_bPolyLineTo(ppo, zigzag.data(), static_cast<ULONG>(zigzag.size()));
    LINEATTRS la{};
    la.fl = LA_GEOMETRIC;
    la.elWidth.e = 1e6f;
    la.iEndCap = ENDCAP_ROUND;
    la.iJoin = JOIN_ROUND;
    la.eMiterLimit = 10;
    BRUSHOBJ* brush = CreateSolidBrush(b.h(), 1);
    ASSERT_TRUE(EngStrokePath(b.so(), ppo, nullptr, nullptr, brush, nullptr, &la, R2_XORPEN));
    for (const std::string& row : Picture(b, 8, 8))
        EXPECT_EQ(row, "########");
    DeleteBrush(brush);
    EngDeletePath(ppo);
}

} // namespace
