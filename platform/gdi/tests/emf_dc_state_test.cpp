// The drawing state of a printer device context through the GDI functions:
// coordinate spaces, saved states, objects, regions, clipping and paths.
#include <cstring>

#include "emf_fixture.h"
#include "win/errors.h"

// Where gtest and the standard algorithms find them.
static bool operator==(const POINT& a, const POINT& b) {
    return a.x == b.x && a.y == b.y;
}
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

class DcStateTest : public emftest::RecorderTest {
  protected:
    void SetUp() override {
        RecorderTest::SetUp();
        dc = CreateDCW(nullptr, u"P1", nullptr, nullptr); // 800 x 1000 pixels, 600 dpi
        ASSERT_NE(dc, nullptr);
    }
    void TearDown() override {
        if (dc) DeleteDC(dc);
        RecorderTest::TearDown();
    }
    POINT ToDevice(int x, int y) {
        POINT p{x, y};
        EXPECT_TRUE(LPtoDP(dc, &p, 1));
        return p;
    }
    static std::vector<RECT> RectsOf(HRGN rgn) {
        DWORD size = GetRegionData(rgn, 0, nullptr);
        std::vector<BYTE> data(size);
        EXPECT_EQ(GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(data.data())), size);
        RGNDATAHEADER h;
        std::memcpy(&h, data.data(), sizeof h);
        std::vector<RECT> rects(h.nCount);
        if (h.nCount) std::memcpy(rects.data(), data.data() + h.dwSize, h.nCount * sizeof(RECT));
        return rects;
    }
    HDC dc = nullptr;
};

TEST_F(DcStateTest, DeviceCapabilitiesComeFromTheDriver) {
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 800);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 1000);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 600);
    EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 800);
    EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 34); // from the resolution when the driver gives none
    EXPECT_EQ(GetDeviceCaps(nullptr, HORZRES), 0);
}

TEST_F(DcStateTest, FixedMapModesMeasureInTheirUnits) {
    struct Case {
        int mode;
        int inch; // logical units in an inch
    };
    for (Case c : {Case{MM_LOMETRIC, 254}, Case{MM_HIMETRIC, 2540}, Case{MM_LOENGLISH, 100},
                   Case{MM_HIENGLISH, 1000}, Case{MM_TWIPS, 1440}}) {
        SCOPED_TRACE(c.mode);
        SetMapMode(dc, c.mode);
        // y grows upwards.
        EXPECT_EQ(ToDevice(c.inch, -2 * c.inch), (POINT{600, 1200}));
        SIZE ext;
        EXPECT_TRUE(SetWindowExtEx(dc, 5, 5, &ext)); // no effect in a fixed mode
        EXPECT_EQ(ext.cx, c.inch);
        EXPECT_EQ(ToDevice(c.inch, 0), (POINT{600, 0}));
    }
    SetMapMode(dc, MM_TEXT);
    SetWindowOrgEx(dc, 10, 20, nullptr);
    SetViewportOrgEx(dc, 100, 100, nullptr);
    EXPECT_EQ(ToDevice(10, 20), (POINT{100, 100}));
    POINT p{100, 100};
    DPtoLP(dc, &p, 1);
    EXPECT_EQ(p, (POINT{10, 20}));
    EXPECT_EQ(SetMapMode(dc, 99), 0);
}

TEST_F(DcStateTest, IsotropicKeepsUnitsSquareAnisotropicDoesNot) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 200, 400, nullptr);
    EXPECT_EQ(ToDevice(10, 10), (POINT{20, 40}));
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 200, -400, nullptr);
    SIZE ext;
    GetViewportExtEx(dc, &ext);
    EXPECT_EQ(ext.cx, 200);
    EXPECT_EQ(ext.cy, -200); // shrunk to the smaller scale, its sign kept
    EXPECT_EQ(ToDevice(10, 10), (POINT{20, -20}));
    ScaleViewportExtEx(dc, 1, 2, 1, 1, nullptr);
    EXPECT_EQ(ToDevice(10, 10), (POINT{10, -10}));
    EXPECT_FALSE(SetViewportExtEx(dc, 0, 5, nullptr));
    EXPECT_FALSE(ScaleWindowExtEx(dc, 1, 0, 1, 1, nullptr));
}

TEST_F(DcStateTest, WorldTransformNeedsTheAdvancedModeAndAnInverse) {
    XFORM scale{2, 0, 0, 3, 5, 0};
    EXPECT_FALSE(SetWorldTransform(dc, &scale)); // compatible mode
    EXPECT_EQ(SetGraphicsMode(dc, GM_ADVANCED), GM_COMPATIBLE);
    EXPECT_TRUE(SetWorldTransform(dc, &scale));
    EXPECT_EQ(ToDevice(10, 10), (POINT{25, 30}));
    XFORM singular{1, 2, 2, 4, 0, 0};
    EXPECT_FALSE(SetWorldTransform(dc, &singular));
    XFORM move{1, 0, 0, 1, 0, 7};
    EXPECT_TRUE(ModifyWorldTransform(dc, &move, MWT_RIGHTMULTIPLY)); // scale, then move
    EXPECT_EQ(ToDevice(10, 10), (POINT{25, 37}));
    EXPECT_TRUE(ModifyWorldTransform(dc, &move, MWT_LEFTMULTIPLY)); // move first
    EXPECT_EQ(ToDevice(10, 10), (POINT{25, 58}));
    EXPECT_FALSE(ModifyWorldTransform(dc, &move, 9));
    // Back to compatible only from the identity.
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), 0);
    EXPECT_TRUE(ModifyWorldTransform(dc, nullptr, MWT_IDENTITY));
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), GM_ADVANCED);
    XFORM both;
    EXPECT_TRUE(CombineTransform(&both, &scale, &move));
    EXPECT_FLOAT_EQ(both.eDy, 7);
    EXPECT_FLOAT_EQ(both.eM22, 3);
}

TEST_F(DcStateTest, SavedStatesComeBackByLevelOrRelative) {
    EXPECT_EQ(SaveDC(dc), 1);
    SetROP2(dc, R2_XORPEN);
    EXPECT_EQ(SaveDC(dc), 2);
    SetROP2(dc, R2_NOT);
    SetBkColor(dc, RGB(1, 2, 3));
    EXPECT_EQ(SaveDC(dc), 3);
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetROP2(dc), R2_NOT);
    EXPECT_TRUE(RestoreDC(dc, 1)); // drops level 2 too
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
    EXPECT_EQ(GetBkColor(dc), 0xFFFFFFu);
    EXPECT_FALSE(RestoreDC(dc, -1));
    EXPECT_FALSE(RestoreDC(dc, 0));
    for (int i = 1; i <= 1024; ++i)
        ASSERT_EQ(SaveDC(dc), i);
    EXPECT_EQ(SaveDC(dc), 0); // a stack without end is refused
}

TEST_F(DcStateTest, ObjectsAreSelectedDeletedAndChecked) {
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    HPEN pen = CreatePen(PS_DASH, 0, RGB(9, 9, 9));
    EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), pen);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(SelectObject(dc, pen), nullptr);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))); // stock objects stay
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(20), nullptr);

    LOGBRUSH solid{BS_SOLID, 0, 0}, hatch{BS_HATCHED, 0, HS_CROSS};
    DWORD style[] = {4, 2};
    struct Bad {
        const char* name;
        DWORD style;
        DWORD width;
        const LOGBRUSH* brush;
        DWORD count;
        const DWORD* entries;
    };
    for (const Bad& b : {
             Bad{"cosmetic with a hatch", PS_COSMETIC | PS_SOLID, 1, &hatch, 0, nullptr},
             Bad{"geometric alternate", PS_GEOMETRIC | PS_ALTERNATE, 3, &solid, 0, nullptr},
             Bad{"cosmetic inside frame", PS_COSMETIC | PS_INSIDEFRAME, 1, &solid, 0, nullptr},
             Bad{"user style without entries", PS_GEOMETRIC | PS_USERSTYLE, 3, &solid, 0, nullptr},
             Bad{"entries without user style", PS_GEOMETRIC | PS_DASH, 3, &solid, 2, style},
             Bad{"unknown type", 0x30000, 3, &solid, 0, nullptr},
             Bad{"unknown end cap", PS_GEOMETRIC | 0x300, 3, &solid, 0, nullptr},
         }) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(ExtCreatePen(b.style, b.width, b.brush, b.count, b.entries), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    HPEN ext = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_SQUARE, 3, &hatch, 2, style);
    EXPECT_EQ(GetObjectType(ext), static_cast<DWORD>(OBJ_EXTPEN));
    DeleteObject(ext);
    EXPECT_EQ(CreatePen(PS_USERSTYLE, 1, 0), nullptr);
    EXPECT_EQ(CreateHatchBrush(6, 0), nullptr);
    LOGBRUSH pattern{BS_PATTERN, 0, 0};
    EXPECT_EQ(CreateBrushIndirect(&pattern), nullptr);
}

TEST_F(DcStateTest, PatternBrushesComeFromPackedBitmaps) {
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
        DWORD rows[8];
    } dib{};
    dib.h.biSize = sizeof dib.h;
    dib.h.biWidth = 8;
    dib.h.biHeight = 8;
    dib.h.biPlanes = 1;
    dib.h.biBitCount = 1;
    dib.colors[1] = RGBQUAD{255, 255, 255, 0};
    HBRUSH b = CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS);
    EXPECT_NE(b, nullptr);
    DeleteObject(b);
    dib.h.biBitCount = 3; // no such depth
    EXPECT_EQ(CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS), nullptr);
    dib.h.biBitCount = 1;
    dib.h.biWidth = 100000; // larger than a pattern may be
    EXPECT_EQ(CreateDIBPatternBrushPt(&dib, DIB_RGB_COLORS), nullptr);
}

TEST_F(DcStateTest, RegionsCombine) {
    HRGN a = CreateRectRgn(0, 0, 20, 20), b = CreateRectRgn(10, 10, 30, 30),
         r = CreateRectRgn(0, 0, 0, 0);
    struct Case {
        int mode;
        int kind;
        std::vector<RECT> rects;
    };
    for (const Case& c : {
             Case{RGN_AND, SIMPLEREGION, {{10, 10, 20, 20}}},
             Case{RGN_OR, COMPLEXREGION, {{0, 0, 20, 10}, {0, 10, 30, 20}, {10, 20, 30, 30}}},
             Case{RGN_XOR,
                  COMPLEXREGION,
                  {{0, 0, 20, 10}, {0, 10, 10, 20}, {20, 10, 30, 20}, {10, 20, 30, 30}}},
             Case{RGN_DIFF, COMPLEXREGION, {{0, 0, 20, 10}, {0, 10, 10, 20}}},
             Case{RGN_COPY, SIMPLEREGION, {{0, 0, 20, 20}}},
         }) {
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(CombineRgn(r, a, b, c.mode), c.kind);
        EXPECT_EQ(RectsOf(r), c.rects);
    }
    EXPECT_EQ(CombineRgn(r, a, b, 9), ERROR);
    EXPECT_TRUE(PtInRegion(a, 19, 19));
    EXPECT_FALSE(PtInRegion(a, 20, 19)); // right and bottom edges are outside
    EXPECT_EQ(OffsetRgn(b, -10, -10), SIMPLEREGION);
    EXPECT_TRUE(EqualRgn(b, CombineRgn(r, a, a, RGN_AND) ? a : nullptr));
    RECT box;
    EXPECT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{0, 0, 20, 20}));
    EXPECT_EQ(GetRegionData(r, 10, reinterpret_cast<RGNDATA*>(&box)), 0u); // too short
    for (HRGN h : {a, b, r})
        DeleteObject(h);
}

TEST_F(DcStateTest, PolygonRegionsFollowTheFillMode) {
    // A five-pointed star: its centre is inside only under the winding rule.
    POINT star[] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    HRGN alternate = CreatePolygonRgn(star, 5, ALTERNATE);
    HRGN winding = CreatePolygonRgn(star, 5, WINDING);
    EXPECT_FALSE(PtInRegion(alternate, 50, 50));
    EXPECT_TRUE(PtInRegion(winding, 50, 50));
    EXPECT_TRUE(PtInRegion(alternate, 50, 10));
    DeleteObject(alternate);
    DeleteObject(winding);
    HRGN ellipse = CreateEllipticRgn(0, 0, 100, 50);
    RECT box;
    EXPECT_EQ(GetRgnBox(ellipse, &box), COMPLEXREGION);
    EXPECT_EQ(box, (RECT{0, 0, 100, 50}));
    EXPECT_FALSE(PtInRegion(ellipse, 2, 2));
    EXPECT_TRUE(PtInRegion(ellipse, 50, 25));
    DeleteObject(ellipse);
    // Rectangles from region data, scaled on the way in.
    struct {
        RGNDATAHEADER h;
        RECT r[2];
    } data{{sizeof(RGNDATAHEADER), RDH_RECTANGLES, 2, 32, {0, 0, 10, 10}},
           {{0, 0, 5, 5}, {5, 5, 10, 10}}};
    XFORM twice{2, 0, 0, 2, 0, 0};
    HRGN made = ExtCreateRegion(&twice, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    EXPECT_EQ(RectsOf(made), (std::vector<RECT>{{0, 0, 10, 10}, {10, 10, 20, 20}}));
    DeleteObject(made);
    data.h.nCount = 3; // more rectangles than the data holds
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data)), nullptr);
}

TEST_F(DcStateTest, ClipRegionsNarrowAndTheMetaRegionBoundsThem) {
    RECT box;
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{0, 0, 800, 1000}));
    HRGN got = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(dc, got), 0);
    EXPECT_EQ(IntersectClipRect(dc, 100, 100, 300, 300), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(dc, 150, 150, 200, 200), COMPLEXREGION);
    EXPECT_EQ(GetClipRgn(dc, got), 1);
    EXPECT_EQ(RectsOf(got).size(), 4u);
    EXPECT_EQ(OffsetClipRgn(dc, 10, 0), COMPLEXREGION);
    GetClipBox(dc, &box);
    EXPECT_EQ(box, (RECT{110, 100, 310, 300}));
    // The clip in logical units of the map mode.
    SetMapMode(dc, MM_LOMETRIC);
    GetClipBox(dc, &box);
    EXPECT_EQ(box.left, 47); // 110 pixels at 600 dpi in tenths of a millimetre
    SetMapMode(dc, MM_TEXT);
    SetMetaRgn(dc);
    EXPECT_EQ(SelectClipRgn(dc, nullptr), COMPLEXREGION); // the meta region stays
    HRGN wide = CreateRectRgn(0, 0, 800, 120);
    EXPECT_EQ(SelectClipRgn(dc, wide), SIMPLEREGION);
    GetClipBox(dc, &box);
    EXPECT_EQ(box, (RECT{110, 100, 310, 120}));
    EXPECT_EQ(ExtSelectClipRgn(dc, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(dc, wide, 0), ERROR);
    // Selecting a region object sets the clip.
    EXPECT_EQ(SelectObject(dc, wide), reinterpret_cast<HGDIOBJ>(SIMPLEREGION));
    DeleteObject(wide);
    DeleteObject(got);
}

TEST_F(DcStateTest, PathsCollectFiguresInDeviceUnits) {
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 2, 2, nullptr);
    EXPECT_TRUE(BeginPath(dc));
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 20, 10);
    POINT bez[] = {{30, 10}, {30, 20}, {20, 20}};
    PolyBezierTo(dc, bez, 3);
    EXPECT_TRUE(CloseFigure(dc));
    EXPECT_FALSE(CloseFigure(dc)); // nothing open to close
    Rectangle(dc, 0, 0, 5, 5);
    EXPECT_EQ(GetPath(dc, nullptr, nullptr, 0), -1); // not ended yet
    EXPECT_TRUE(EndPath(dc));
    int n = GetPath(dc, nullptr, nullptr, 0);
    ASSERT_EQ(n, 9);
    std::vector<POINT> pts(static_cast<size_t>(n));
    std::vector<BYTE> types(static_cast<size_t>(n));
    EXPECT_EQ(GetPath(dc, pts.data(), types.data(), n), n);
    // The line continues the figure the move started; the rectangle is a
    // figure of its own.
    EXPECT_EQ(types, (std::vector<BYTE>{PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO,
                                        PT_BEZIERTO | PT_CLOSEFIGURE, PT_MOVETO, PT_LINETO,
                                        PT_LINETO, PT_LINETO | PT_CLOSEFIGURE}));
    EXPECT_EQ(pts[4], (POINT{20, 20})); // logical units again
    EXPECT_EQ(GetPath(dc, pts.data(), types.data(), 3), -1);
    HRGN rgn = PathToRegion(dc);
    ASSERT_NE(rgn, nullptr);
    EXPECT_TRUE(PtInRegion(rgn, 50, 30));
    EXPECT_FALSE(PtInRegion(rgn, 70, 30));
    DeleteObject(rgn);
    EXPECT_EQ(PathToRegion(dc), nullptr); // the path is used up
    EXPECT_FALSE(FillPath(dc));
    EXPECT_TRUE(BeginPath(dc));
    EXPECT_FALSE(StrokePath(dc)); // still open
    EXPECT_TRUE(AbortPath(dc));
    EXPECT_FALSE(EndPath(dc));
}

TEST_F(DcStateTest, DrawingNeedsAPageButPathsDoNot) {
    EXPECT_FALSE(Rectangle(dc, 0, 0, 10, 10));
    EXPECT_TRUE(BeginPath(dc));
    EXPECT_TRUE(Rectangle(dc, 0, 0, 10, 10));
    EXPECT_TRUE(EndPath(dc));
    EXPECT_TRUE(SelectClipPath(dc, RGN_COPY));
    RECT box;
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{0, 0, 9, 9}));
    POINT bad[] = {{0, 0}, {1, 1}};
    EXPECT_FALSE(PolyBezier(dc, bad, 2));
    BYTE types[] = {PT_LINETO, PT_BEZIERTO};
    EXPECT_FALSE(PolyDraw(dc, bad, types, 2));
    EXPECT_FALSE(Polyline(dc, bad, 1));
}

} // namespace
