// The sample documents, record by record. Pages are A4 at 600 dpi
// (4960 x 7016 pixels on 210 x 297 millimetres).
#include "sample_documents.h"

#include "picture_documents.h"
#include "text_documents.h"

#include <cmath>
#include <cstring>

#include "platform/emf_builder.h"

namespace emfgen {
namespace {

using platform::gdi::EmfBuilder;

constexpr LONG kWidth = 4960, kHeight = 7016;

EmfBuilder Page(const char16_t* title) {
    // The description: application, NUL, title, NUL, NUL.
    std::u16string d = u"emfgen";
    d.push_back(0);
    d += title;
    d.push_back(0);
    d.push_back(0);
    return EmfBuilder(SIZEL{kWidth, kHeight}, SIZEL{210, 297}, d);
}

XFORM Rotation(double degrees, double cx, double cy) {
    double a = degrees * 3.14159265358979323846 / 180, c = std::cos(a), s = std::sin(a);
    // Turn about (cx, cy).
    return XFORM{static_cast<FLOAT>(c),
                 static_cast<FLOAT>(s),
                 static_cast<FLOAT>(-s),
                 static_cast<FLOAT>(c),
                 static_cast<FLOAT>(cx - c * cx + s * cy),
                 static_cast<FLOAT>(cy - s * cx - c * cy)};
}

// A 24-bit bitmap information header (no colour table) and a 1-bit one with
// two colours.
std::vector<BYTE> Info(LONG w, LONG h, WORD bpp, std::vector<RGBQUAD> colors = {}) {
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biPlanes = 1;
    bih.biBitCount = bpp;
    bih.biClrUsed = static_cast<DWORD>(colors.size());
    std::vector<BYTE> out(sizeof bih);
    std::memcpy(out.data(), &bih, sizeof bih);
    for (const RGBQUAD& c : colors) {
        const auto* b = reinterpret_cast<const BYTE*>(&c);
        out.insert(out.end(), b, b + 4);
    }
    return out;
}

std::vector<BYTE> Lines() {
    EmfBuilder b = Page(u"Lines");
    b.Comment("emfgen: lines");
    // Cosmetic pens of every style.
    const UINT styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT};
    for (DWORD i = 0; i < 5; ++i) {
        b.CreatePen(1, styles[i], 0, RGB(0, 0, 0)).SelectObject(1);
        LONG y = 400 + static_cast<LONG>(i) * 120;
        b.MoveTo(400, y).LineTo(4560, y);
        b.SelectStock(BLACK_PEN).DeleteObject(1);
    }
    // Wide pens: round ends and joins.
    const COLORREF colors[] = {RGB(200, 0, 0), RGB(0, 150, 0), RGB(0, 0, 200)};
    for (DWORD i = 0; i < 3; ++i) {
        LONG w = 10 + static_cast<LONG>(i) * 30, y = 1200 + static_cast<LONG>(i) * 200;
        b.CreatePen(1, PS_SOLID, w, colors[i]).SelectObject(1);
        b.Poly(EMR_POLYLINE, {{400, y}, {1400, y + 120}, {2400, y}, {3400, y + 120}, {4560, y}});
        b.SelectStock(BLACK_PEN).DeleteObject(1);
    }
    // End caps and joins of extended pens.
    const DWORD ends[] = {PS_ENDCAP_FLAT | PS_JOIN_MITER, PS_ENDCAP_SQUARE | PS_JOIN_BEVEL,
                          PS_ENDCAP_ROUND | PS_JOIN_ROUND};
    b.Fields(EMR_SETMITERLIMIT, FLOAT{6});
    for (DWORD i = 0; i < 3; ++i) {
        LONG x = 600 + static_cast<LONG>(i) * 1400;
        b.ExtCreatePen(1, PS_GEOMETRIC | PS_SOLID | ends[i], 80, BS_SOLID, RGB(60, 60, 60), 0)
            .SelectObject(1);
        b.Poly(EMR_POLYLINE, {{x, 2400}, {x + 500, 1950}, {x + 1000, 2400}});
        b.SelectStock(BLACK_PEN).DeleteObject(1);
    }
    // A dashed geometric pen of its own style, and a hatched one.
    b.ExtCreatePen(1, PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 24, BS_SOLID, RGB(0, 90, 160),
                   0, {6, 2, 1, 2})
        .SelectObject(1)
        .MoveTo(400, 2700)
        .LineTo(4560, 2700)
        .SelectStock(BLACK_PEN)
        .DeleteObject(1);
    b.ExtCreatePen(1, PS_GEOMETRIC | PS_SOLID, 60, BS_HATCHED, RGB(160, 0, 160), HS_DIAGCROSS)
        .SelectObject(1)
        .MoveTo(400, 2900)
        .LineTo(4560, 2900)
        .SelectStock(BLACK_PEN)
        .DeleteObject(1);
    // Curves.
    b.CreatePen(1, PS_SOLID, 16, RGB(0, 0, 0)).SelectObject(1);
    b.Poly(EMR_POLYBEZIER, {{400, 3500},
                            {900, 3000},
                            {1400, 4000},
                            {1900, 3500},
                            {2400, 3000},
                            {2900, 4000},
                            {3400, 3500}});
    b.Poly16(EMR_POLYBEZIER16, {{3500, 3500}, {3800, 3100}, {4200, 3900}, {4560, 3500}});
    b.Arc(EMR_ARC, {400, 4200, 1400, 5200}, {1400, 4700}, {400, 4700});
    b.MoveTo(1700, 5200).Arc(EMR_ARCTO, {1700, 4200, 2700, 5200}, {2700, 4700}, {2200, 4200});
    b.MoveTo(3000, 4700).AngleArc({3500, 4700}, 500, 0, 270);
    b.SelectStock(BLACK_PEN).DeleteObject(1);
    // A grid of 16-bit lines and a drawing of moves, lines and curves.
    std::vector<std::vector<POINTS>> grid;
    for (SHORT i = 0; i <= 8; ++i) {
        SHORT v = static_cast<SHORT>(400 + i * 150);
        grid.push_back({{400, static_cast<SHORT>(5500 + i * 150)},
                        {1600, static_cast<SHORT>(5500 + i * 150)}});
        grid.push_back({{v, 5500}, {v, 6700}});
    }
    b.PolyPoly16(EMR_POLYPOLYLINE16, grid);
    b.PolyDraw(
        {{2000, 5500}, {3000, 5500}, {3500, 5500}, {3500, 6700}, {3000, 6700}, {2000, 6700}},
        {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO, PT_LINETO | PT_CLOSEFIGURE});
    b.Poly(EMR_POLYLINETO, {{4560, 6100}, {4000, 5500}});
    return b.Finish();
}

std::vector<BYTE> Shapes() {
    EmfBuilder b = Page(u"Shapes");
    b.Comment("emfgen: shapes in tenths of a millimetre");
    b.Value(EMR_SETMAPMODE, MM_LOMETRIC);
    b.CreatePen(1, PS_SOLID, 5, RGB(0, 0, 0)).SelectObject(1);
    b.CreateBrush(2, BS_SOLID, RGB(255, 220, 120)).SelectObject(2);
    b.Box(EMR_RECTANGLE, {150, -150, 950, -650});
    b.RoundRect({1150, -150, 1950, -650}, {200, 120});
    b.Box(EMR_ELLIPSE, {150, -800, 950, -1300});
    b.CreateBrush(3, BS_SOLID, RGB(120, 200, 255)).SelectObject(3).DeleteObject(2);
    b.Arc(EMR_PIE, {1150, -800, 1650, -1300}, {1650, -1050}, {1400, -800});
    b.Arc(EMR_CHORD, {1450, -800, 1950, -1300}, {1950, -1050}, {1450, -1050});
    // A star, filled by the winding rule and then by the alternate rule.
    std::vector<POINTL> star;
    for (int i = 0; i < 5; ++i) {
        double a = (90 + i * 144) * 3.14159265358979323846 / 180;
        star.push_back(POINTL{550 + static_cast<LONG>(std::lround(350 * std::cos(a))),
                              -1800 + static_cast<LONG>(std::lround(350 * std::sin(a)))});
    }
    b.Value(EMR_SETPOLYFILLMODE, WINDING).Poly(EMR_POLYGON, star);
    for (POINTL& p : star)
        p.x += 1000;
    b.Value(EMR_SETPOLYFILLMODE, ALTERNATE).Poly(EMR_POLYGON, star);
    // A frame: a square inside a square under the alternate rule.
    b.PolyPoly16(EMR_POLYPOLYGON16, {{{150, -2300}, {950, -2300}, {950, -2800}, {150, -2800}},
                                     {{350, -2450}, {750, -2450}, {750, -2650}, {350, -2650}}});
    b.PolyPoly(EMR_POLYPOLYGON, {{{1150, -2300}, {1550, -2800}, {1950, -2300}},
                                 {{1150, -2800}, {1550, -2300}, {1950, -2800}}});
    b.SelectStock(BLACK_PEN).SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(3);
    return b.Finish();
}

std::vector<BYTE> Fills() {
    EmfBuilder b = Page(u"Fills");
    b.Comment("emfgen: brushes, raster operations and fill modes");
    b.SelectStock(NULL_PEN);
    // Solid and hatched brushes.
    for (DWORD i = 0; i < 6; ++i) {
        LONG x = 300 + static_cast<LONG>(i) * 730;
        b.CreateBrush(1, BS_HATCHED, RGB(0, 0, 0), i).SelectObject(1);
        b.Box(EMR_RECTANGLE, {x, 300, x + 600, 900});
        b.SelectStock(WHITE_BRUSH).DeleteObject(1);
    }
    // Hatches over a colour, with the background left as it is.
    b.CreateBrush(1, BS_SOLID, RGB(255, 200, 200)).SelectObject(1);
    b.Box(EMR_RECTANGLE, {300, 1100, 4660, 1700});
    b.Value(EMR_SETBKMODE, TRANSPARENT);
    b.CreateBrush(2, BS_HATCHED, RGB(160, 0, 0), HS_BDIAGONAL).SelectObject(2);
    b.Box(EMR_RECTANGLE, {300, 1100, 4660, 1700});
    b.Value(EMR_SETBKMODE, OPAQUE).SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(2);
    // A coloured pattern: a 2 x 2 checker of red and yellow.
    std::vector<BYTE> checker = {0, 0, 255, 0, 255, 255, 0, 0, 0, 255, 255, 0, 0, 0, 255, 0};
    b.CreatePatternBrush(EMR_CREATEDIBPATTERNBRUSHPT, 1, DIB_RGB_COLORS, Info(2, 2, 24), checker)
        .SelectObject(1);
    b.Box(EMR_ELLIPSE, {300, 1900, 2300, 3100});
    // A one-bit pattern in the text and background colours.
    std::vector<BYTE> bricks;
    const BYTE rows[8] = {0x00, 0xFB, 0xFB, 0xFB, 0x00, 0xBF, 0xBF, 0xBF};
    for (BYTE r : rows)
        bricks.insert(bricks.end(), {r, 0, 0, 0});
    b.Value(EMR_SETTEXTCOLOR, RGB(120, 40, 0)).Value(EMR_SETBKCOLOR, RGB(250, 230, 200));
    b.CreatePatternBrush(EMR_CREATEMONOBRUSH, 2, DIB_PAL_INDICES, Info(8, 8, 1), bricks)
        .SelectObject(2);
    b.Box(EMR_RECTANGLE, {2660, 1900, 4660, 3100});
    b.SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(2);
    b.Value(EMR_SETTEXTCOLOR, 0).Value(EMR_SETBKCOLOR, RGB(255, 255, 255));
    // Raster operations: overlapping squares inverted where they meet.
    b.CreateBrush(1, BS_SOLID, RGB(0, 120, 255)).SelectObject(1);
    b.Box(EMR_RECTANGLE, {300, 3400, 1500, 4600});
    b.Value(EMR_SETROP2, R2_XORPEN).Box(EMR_RECTANGLE, {900, 4000, 2100, 5200});
    b.Value(EMR_SETROP2, R2_COPYPEN);
    // Paths of two overlapping circles under both fill rules.
    b.CreatePen(2, PS_SOLID, 12, RGB(0, 0, 0)).SelectObject(2);
    for (int mode : {ALTERNATE, WINDING}) {
        LONG x = mode == ALTERNATE ? 2500 : 3600;
        b.Value(EMR_SETPOLYFILLMODE, static_cast<DWORD>(mode)).Empty(EMR_BEGINPATH);
        b.Box(EMR_ELLIPSE, {x, 3400, x + 800, 4200})
            .Box(EMR_ELLIPSE, {x + 250, 3800, x + 1050, 4600});
        b.Empty(EMR_ENDPATH)
            .Rect(mode == ALTERNATE ? EMR_FILLPATH : EMR_STROKEANDFILLPATH,
                  {x, 3400, x + 1050, 4600});
    }
    b.Empty(EMR_BEGINPATH)
        .MoveTo(2500, 5000)
        .LineTo(4600, 5000)
        .LineTo(3550, 5600)
        .Empty(EMR_CLOSEFIGURE)
        .Empty(EMR_ENDPATH)
        .Rect(EMR_STROKEPATH, {2500, 5000, 4600, 5600});
    // A region of rectangles.
    b.FillRegion({{300, 5600, 1300, 6000}, {700, 6000, 1700, 6400}, {1100, 6400, 2100, 6800}}, 1);
    b.SelectStock(BLACK_PEN).SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(2);
    return b.Finish();
}

std::vector<BYTE> Clipping() {
    EmfBuilder b = Page(u"Clipped drawing");
    b.Comment("emfgen: clip rectangles, regions and paths");
    b.CreatePen(1, PS_SOLID, 20, RGB(0, 0, 160)).SelectObject(1);
    auto stripes = [&b](LONG top, LONG bottom) {
        std::vector<std::vector<POINTL>> lines;
        for (LONG x = -1500; x < kWidth; x += 120)
            lines.push_back({{x, bottom}, {x + bottom - top, top}});
        b.PolyPoly(EMR_POLYPOLYLINE, lines);
    };
    // A clip rectangle, kept between a save and a restore.
    b.Empty(EMR_SAVEDC).Rect(EMR_INTERSECTCLIPRECT, {600, 300, 4360, 1500});
    stripes(300, 1500);
    b.Fields(EMR_RESTOREDC, LONG{-1});
    // A hole cut out of the clip.
    b.Empty(EMR_SAVEDC).Rect(EMR_INTERSECTCLIPRECT, {300, 1800, 4660, 3000});
    b.Rect(EMR_EXCLUDECLIPRECT, {1800, 2100, 3160, 2700});
    b.CreateBrush(2, BS_SOLID, RGB(255, 230, 150)).SelectObject(2);
    b.Box(EMR_RECTANGLE, {0, 1700, kWidth, 3100});
    b.Fields(EMR_RESTOREDC, LONG{-1});
    // A clip region of two rectangles, moved, then reset.
    b.SelectClipRegion({{300, 3300, 2300, 4100}, {2660, 3700, 4660, 4500}}, RGN_COPY);
    b.Box(EMR_ELLIPSE, {300, 3300, 4660, 4500});
    b.Point(EMR_OFFSETCLIPRGN, 0, 100);
    stripes(3300, 4600);
    b.SelectClipRegion({}, RGN_COPY);
    // A clip path: stripes inside an ellipse.
    b.Empty(EMR_BEGINPATH).Box(EMR_ELLIPSE, {600, 4800, 2400, 6600}).Empty(EMR_ENDPATH);
    b.Value(EMR_SELECTCLIPPATH, RGN_COPY);
    stripes(4800, 6600);
    b.SelectClipRegion({}, RGN_COPY);
    // A turned square clipped by a rectangle.
    b.Rect(EMR_INTERSECTCLIPRECT, {2700, 4800, 4660, 6400});
    b.WorldTransform(Rotation(30, 3680, 5700));
    b.Box(EMR_RECTANGLE, {3080, 5100, 4280, 6300});
    b.ModifyWorldTransform(XFORM{1, 0, 0, 1, 0, 0}, MWT_IDENTITY);
    b.SelectClipRegion({}, RGN_COPY);
    b.SelectStock(BLACK_PEN).SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(2);
    return b.Finish();
}

// A brochure of two pages drawn on a design grid of 210 x 297 units.
std::vector<BYTE> BrochureCover() {
    EmfBuilder b = Page(u"Brochure, page 1");
    b.Value(EMR_SETMAPMODE, MM_ANISOTROPIC)
        .Size(EMR_SETWINDOWEXTEX, 210, 297)
        .Size(EMR_SETVIEWPORTEXTEX, kWidth, kHeight);
    b.SelectStock(NULL_PEN).CreateBrush(1, BS_SOLID, RGB(20, 60, 120)).SelectObject(1);
    b.Box(EMR_RECTANGLE, {0, 0, 210, 60});
    b.CreateBrush(2, BS_SOLID, RGB(240, 180, 40)).SelectObject(2);
    for (LONG i = 0; i < 4; ++i)
        b.Box(EMR_ELLIPSE, {20 + i * 45, 100, 60 + i * 45, 140});
    b.SelectStock(BLACK_PEN).SelectStock(NULL_BRUSH);
    b.RoundRect({20, 170, 190, 270}, {20, 20});
    b.SelectStock(WHITE_BRUSH).DeleteObject(1).DeleteObject(2);
    return b.Finish();
}

std::vector<BYTE> BrochureChart() {
    EmfBuilder b = Page(u"Brochure, page 2");
    b.Value(EMR_SETMAPMODE, MM_ANISOTROPIC)
        .Size(EMR_SETWINDOWEXTEX, 210, -297)
        .Size(EMR_SETVIEWPORTEXTEX, kWidth, kHeight)
        .Point(EMR_SETWINDOWORGEX, 0, 297);
    // A bar chart with its axes (y upwards from the bottom of the page).
    b.MoveTo(20, 170).LineTo(20, 280).MoveTo(20, 170).LineTo(190, 170);
    const LONG heights[] = {40, 75, 55, 95, 30};
    const COLORREF colors[] = {RGB(200, 60, 60), RGB(60, 160, 60), RGB(60, 90, 200),
                               RGB(230, 170, 40), RGB(140, 60, 170)};
    for (DWORD i = 0; i < 5; ++i) {
        LONG x = 35 + static_cast<LONG>(i) * 30;
        b.CreateBrush(1, BS_SOLID, colors[i]).SelectObject(1);
        b.Box(EMR_RECTANGLE, {x, 170, x + 20, 170 + heights[i]});
        b.SelectStock(WHITE_BRUSH).DeleteObject(1);
    }
    // A pie chart of the same numbers.
    double total = 295, angle = 0;
    for (DWORD i = 0; i < 5; ++i) {
        double a0 = angle, a1 = angle + heights[i] / total * 2 * 3.14159265358979323846;
        angle = a1;
        auto at = [](double a) {
            return POINTL{105 + static_cast<LONG>(std::lround(100 * std::cos(a))),
                          80 + static_cast<LONG>(std::lround(100 * std::sin(a)))};
        };
        b.CreateBrush(1, BS_SOLID, colors[i]).SelectObject(1);
        // A pie runs counterclockwise in device space (compatible graphics
        // mode), where this page's y axis is flipped: give the slice from its
        // end radial back to its start.
        b.Arc(EMR_PIE, {55, 30, 155, 130}, at(a1), at(a0));
        b.SelectStock(WHITE_BRUSH).DeleteObject(1);
    }
    return b.Finish();
}

} // namespace

std::map<std::string, std::vector<BYTE>> SampleDocuments() {
    return {
        {"lines.emf", Lines()},
        {"shapes.emf", Shapes()},
        {"fills.emf", Fills()},
        {"clipping.emf", Clipping()},
        {"brochure/page-1.emf", BrochureCover()},
        {"brochure/page-2.emf", BrochureChart()},
        {"pictures.emf", PicturesDocument()},
        {"text/letter.emf", TextLetter()},
        {"text/table.emf", TextTable()},
        {"text/japanese.emf", TextJapanese()},
    };
}

} // namespace emfgen
