#include <cmath>

#include "engine_fixture.h"
#include "platform/engine_objects.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

class XlateTest : public EngineTest {};

// A translation a driver fills in itself on its stack.
TEST_F(XlateTest, HandBuiltTranslationsAreReadFromTheirFields) {
    ULONG table[3] = {0xFFFFFF, 0x000000, 0x0000FF};
    XLATEOBJ xo{};
    xo.flXlate = XO_TABLE;
    xo.cEntries = 3;
    xo.pulXlate = table;
    EXPECT_EQ(XLATEOBJ_iXlate(&xo, 2), 0x0000FFu);
    EXPECT_EQ(XLATEOBJ_iXlate(&xo, 3), 0xFFFFFFFFu);
    EXPECT_EQ(XLATEOBJ_iXlate(&xo, 0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(XLATEOBJ_cGetPalette(&xo, XO_SRCPALETTE, 0, nullptr), 3u);
    ULONG pal[2];
    EXPECT_EQ(XLATEOBJ_cGetPalette(&xo, XO_SRCPALETTE, 2, pal), 2u);
    EXPECT_EQ(pal[1], 0u);
    EXPECT_EQ(XLATEOBJ_cGetPalette(&xo, XO_DESTPALETTE, 2, pal), 0u);
    EXPECT_EQ(XLATEOBJ_cGetPalette(&xo, 99, 2, pal), 0u);

    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    EXPECT_EQ(XLATEOBJ_iXlate(&trivial, 0x123456), 0x123456u);
    EXPECT_EQ(XLATEOBJ_iXlate(nullptr, 7), 7u);
    XLATEOBJ broken{};
    broken.flXlate = XO_TABLE;
    broken.cEntries = 10; // and no table
    EXPECT_EQ(XLATEOBJ_iXlate(&broken, 1), 0xFFFFFFFFu);
    EXPECT_EQ(XLATEOBJ_cGetPalette(nullptr, XO_SRCPALETTE, 0, nullptr), 0u);
}

TEST_F(XlateTest, PaletteToPaletteTranslations) {
    ULONG mono[2] = {0x000000, 0xFFFFFF};
    ULONG four[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}; // red, green, blue, white
    HPALETTE pMono = EngCreatePalette(PAL_INDEXED, 2, mono, 0, 0, 0);
    HPALETTE pFour = EngCreatePalette(PAL_INDEXED, 4, four, 0, 0, 0);
    HPALETTE pRgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    HPALETTE pBgr = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);

    XLATEOBJ* toRgb = CreatePaletteXlate(pFour, pRgb);
    EXPECT_EQ(toRgb->flXlate, static_cast<FLONG>(XO_TABLE));
    EXPECT_EQ(toRgb->cEntries, 4u);
    EXPECT_EQ(XLATEOBJ_iXlate(toRgb, 2), 0xFF0000u);
    ULONG pal[4];
    EXPECT_EQ(XLATEOBJ_cGetPalette(toRgb, XO_SRCPALETTE, 4, pal), 4u);
    EXPECT_EQ(pal[0], 0x0000FFu);

    XLATEOBJ* toMono = CreatePaletteXlate(pFour, pMono);
    EXPECT_EQ(XLATEOBJ_iXlate(toMono, 3), 1u); // white
    EXPECT_EQ(XLATEOBJ_iXlate(toMono, 0), 0u); // red is nearer black
    EXPECT_EQ(XLATEOBJ_cGetPalette(toMono, XO_DESTPALETTE, 4, pal), 2u);

    XLATEOBJ* rgbToFour = CreatePaletteXlate(pRgb, pFour);
    EXPECT_EQ(rgbToFour->flXlate, 0u);
    EXPECT_EQ(XLATEOBJ_iXlate(rgbToFour, 0x0010F0), 0u); // nearly red
    EXPECT_EQ(XLATEOBJ_iXlate(rgbToFour, 0xF0F0F0), 3u);

    XLATEOBJ* swap = CreatePaletteXlate(pRgb, pBgr);
    EXPECT_EQ(XLATEOBJ_iXlate(swap, 0x112233), 0x332211u);
    EXPECT_EQ(XLATEOBJ_cGetPalette(swap, XO_DESTBITFIELDS, 3, pal), 3u);
    EXPECT_EQ(pal[0], 0xFF0000u);

    // Drawing leaves out the translation where the device's palette says RGB.
    XLATEOBJ* same = CreatePaletteXlate(pRgb, pRgb);
    EXPECT_TRUE(same->flXlate & XO_TRIVIAL);
    EXPECT_EQ(PaletteMode(pRgb), static_cast<ULONG>(PAL_RGB));
    EXPECT_EQ(PaletteMode(pBgr), static_cast<ULONG>(PAL_BGR));
    EXPECT_EQ(PaletteMode(pFour), static_cast<ULONG>(PAL_INDEXED));

    for (XLATEOBJ* x : {toRgb, toMono, rgbToFour, swap, same})
        DeleteXlate(x);
    for (HPALETTE p : {pMono, pFour, pRgb, pBgr})
        EngDeletePalette(p);
    EXPECT_EQ(PaletteMode(pRgb), 0u);
    EXPECT_EQ(PaletteMode(nullptr), 0u);
}

class XformTest : public EngineTest {};

TEST_F(XformTest, ComplexityOfTransforms) {
    struct Case {
        XFORML m;
        ULONG complexity;
    } cases[] = {
        {{1, 0, 0, 1, 0, 0}, GX_IDENTITY},
        {{1, 0, 0, 1, 5, -3}, GX_OFFSET},
        {{2, 0, 0, 3, 0, 0}, GX_SCALE},
        {{0, 1, -1, 0, 0, 0}, GX_GENERAL},
    };
    for (const Case& c : cases) {
        XFORMOBJ* pxo = CreateXform(c.m);
        XFORML back;
        EXPECT_EQ(XFORMOBJ_iGetXform(pxo, &back), c.complexity);
        EXPECT_EQ(back.eDx, c.m.eDx);
        EXPECT_EQ(back.eM21, c.m.eM21);
        DeleteXform(pxo);
    }
    XFORMOBJ own{};
    EXPECT_EQ(XFORMOBJ_iGetXform(&own, nullptr), DDI_ERROR);
}

TEST_F(XformTest, PointsAreTransformedEachWay) {
    // Rotate by 90 degrees, scale by 2, then move by (100, 50).
    XFORMOBJ* pxo = CreateXform(XFORML{0, 2, -2, 0, 100, 50});
    POINTL pts[2] = {{10, 0}, {0, 10}};
    ASSERT_TRUE(XFORMOBJ_bApplyXform(pxo, XF_LTOL, 2, pts, pts));
    EXPECT_EQ(pts[0].x, 100);
    EXPECT_EQ(pts[0].y, 70);
    EXPECT_EQ(pts[1].x, 80);
    EXPECT_EQ(pts[1].y, 50);
    ASSERT_TRUE(XFORMOBJ_bApplyXform(pxo, XF_INV_LTOL, 2, pts, pts));
    EXPECT_EQ(pts[0].x, 10);
    EXPECT_EQ(pts[0].y, 0);

    POINTL in{1, 1};
    POINTFIX fx;
    ASSERT_TRUE(XFORMOBJ_bApplyXform(pxo, XF_LTOFX, 1, &in, &fx));
    EXPECT_EQ(fx.x, 98 * 16);
    EXPECT_EQ(fx.y, 52 * 16);
    POINTL out;
    ASSERT_TRUE(XFORMOBJ_bApplyXform(pxo, XF_INV_FXTOL, 1, &fx, &out));
    EXPECT_EQ(out.x, 1);
    EXPECT_EQ(out.y, 1);

    // The length of a vector, as drivers measure pen widths: (0, 10000)
    // less the transformed origin.
    POINTL v[2] = {{0, 0}, {0, 10000}};
    XFORMOBJ_bApplyXform(pxo, XF_LTOL, 2, v, v);
    EXPECT_EQ(std::hypot(v[1].x - v[0].x, v[1].y - v[0].y), 20000);

    EXPECT_FALSE(XFORMOBJ_bApplyXform(pxo, 7, 1, pts, pts));
    EXPECT_FALSE(XFORMOBJ_bApplyXform(pxo, XF_LTOL, 1, nullptr, pts));
    POINTL huge{0x7FFFFFFF, 0};
    EXPECT_FALSE(XFORMOBJ_bApplyXform(pxo, XF_LTOL, 1, &huge, &huge));
    DeleteXform(pxo);

    XFORMOBJ* flat = CreateXform(XFORML{1, 0, 2, 0, 0, 0});
    EXPECT_FALSE(XFORMOBJ_bApplyXform(flat, XF_INV_LTOL, 1, pts, pts)); // no inverse
    DeleteXform(flat);
}

} // namespace
