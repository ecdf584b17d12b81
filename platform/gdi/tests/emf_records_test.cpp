// One small metafile per record kind, played onto the recording driver's
// page: the driver sees the calls, paths, line attributes, brushes, mixes and
// clips the records ask for.
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "emf_fixture.h"

namespace {

using emftest::kPage;
using emftest::PageEmf;
using platform::gdi::EmfBuilder;

struct RecordCase {
    const char* name;
    std::function<void(EmfBuilder&)> build;
    std::vector<std::string> calls; // the driver's log, then the paths
};

// The bitmap information (header and colours) of a pattern.
std::vector<BYTE> Info(LONG w, LONG h, WORD bpp, const std::vector<RGBQUAD>& colors) {
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

XFORM Xf(FLOAT m11, FLOAT m12, FLOAT m21, FLOAT m22, FLOAT dx, FLOAT dy) {
    return XFORM{m11, m12, m21, m22, dx, dy};
}

const std::vector<RecordCase>& Cases() {
    static const std::vector<RecordCase> cases = {

        {"MOVETOEX, LINETO",
         [](EmfBuilder& b) { b.MoveTo(10, 20).LineTo(110, 20); },
         {
             "DrvLineTo pdev=1 from=10,20 to=110,20 bounds=10,20,111,21 clip=trivial:10,20,111,21 "
             "brush=solid:0x000000 mix=0xd0d",
         }},
        {"POLYLINE",
         [](EmfBuilder& b) {
             b.Poly(EMR_POLYLINE, {{10, 10}, {50, 10}, {50, 40}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,40 clip=trivial:8,8,53,43 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 50,40 line=cosmetic width=1",
         }},
        {"POLYLINE16",
         [](EmfBuilder& b) {
             b.Poly16(EMR_POLYLINE16, {{10, 10}, {50, 10}, {50, 40}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,40 clip=trivial:8,8,53,43 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 50,40 line=cosmetic width=1",
         }},
        {"POLYLINETO",
         [](EmfBuilder& b) {
             b.MoveTo(5, 5).Poly(EMR_POLYLINETO, {{50, 5}, {50, 30}});
         },
         {
             "DrvStrokePath pdev=1 bounds=5,5,50,30 clip=trivial:3,3,53,33 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 5,5 L 50,5 50,30 line=cosmetic width=1",
         }},
        {"POLYLINETO16",
         [](EmfBuilder& b) {
             b.MoveTo(5, 5).Poly16(EMR_POLYLINETO16, {{50, 5}, {50, 30}});
         },
         {
             "DrvStrokePath pdev=1 bounds=5,5,50,30 clip=trivial:3,3,53,33 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 5,5 L 50,5 50,30 line=cosmetic width=1",
         }},
        {"POLYBEZIER",
         [](EmfBuilder& b) {
             b.Poly(EMR_POLYBEZIER, {{10, 10}, {20, 0}, {40, 0}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,0,50,10 clip=rect:8,0,53,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 C 20,0 40,0 50,10 line=cosmetic width=1",
         }},
        {"POLYBEZIER16",
         [](EmfBuilder& b) {
             b.Poly16(EMR_POLYBEZIER16, {{10, 10}, {20, 0}, {40, 0}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,0,50,10 clip=rect:8,0,53,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 C 20,0 40,0 50,10 line=cosmetic width=1",
         }},
        {"POLYBEZIERTO",
         [](EmfBuilder& b) {
             b.MoveTo(10, 10).Poly(EMR_POLYBEZIERTO, {{20, 0}, {40, 0}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,0,50,10 clip=rect:8,0,53,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 C 20,0 40,0 50,10 line=cosmetic width=1",
         }},
        {"POLYBEZIERTO16",
         [](EmfBuilder& b) {
             b.MoveTo(10, 10).Poly16(EMR_POLYBEZIERTO16, {{20, 0}, {40, 0}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,0,50,10 clip=rect:8,0,53,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 C 20,0 40,0 50,10 line=cosmetic width=1",
         }},
        {"POLYGON",
         [](EmfBuilder& b) {
             b.Poly(EMR_POLYGON, {{10, 10}, {60, 10}, {35, 50}});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,60,50 clip=trivial:8,8,63,53 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,60,50 clip=trivial:8,8,63,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 60,10 35,50 Z",
             "StrokePath path=M 10,10 L 60,10 35,50 Z line=cosmetic width=1",
         }},
        {"POLYGON16",
         [](EmfBuilder& b) {
             b.Poly16(EMR_POLYGON16, {{10, 10}, {60, 10}, {35, 50}});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,60,50 clip=trivial:8,8,63,53 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,60,50 clip=trivial:8,8,63,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 60,10 35,50 Z",
             "StrokePath path=M 10,10 L 60,10 35,50 Z line=cosmetic width=1",
         }},
        {"POLYPOLYLINE",
         [](EmfBuilder& b) {
             b.PolyPoly(EMR_POLYPOLYLINE, {{{10, 10}, {20, 10}}, {{30, 30}, {40, 40}, {50, 30}}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,40 clip=trivial:8,8,53,43 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 20,10 M 30,30 L 40,40 50,30 line=cosmetic width=1",
         }},
        {"POLYPOLYLINE16",
         [](EmfBuilder& b) {
             b.PolyPoly16(EMR_POLYPOLYLINE16,
                          {{{10, 10}, {20, 10}}, {{30, 30}, {40, 40}, {50, 30}}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,40 clip=trivial:8,8,53,43 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 20,10 M 30,30 L 40,40 50,30 line=cosmetic width=1",
         }},
        {"POLYPOLYGON",
         [](EmfBuilder& b) {
             b.PolyPoly(EMR_POLYPOLYGON,
                        {{{10, 10}, {30, 10}, {20, 30}}, {{50, 10}, {70, 10}, {60, 30}}});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,70,30 clip=trivial:8,8,73,33 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,70,30 clip=trivial:8,8,73,33 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 30,10 20,30 Z M 50,10 L 70,10 60,30 Z",
             "StrokePath path=M 10,10 L 30,10 20,30 Z M 50,10 L 70,10 60,30 Z line=cosmetic "
             "width=1",
         }},
        {"POLYPOLYGON16",
         [](EmfBuilder& b) {
             b.PolyPoly16(EMR_POLYPOLYGON16,
                          {{{10, 10}, {30, 10}, {20, 30}}, {{50, 10}, {70, 10}, {60, 30}}});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,70,30 clip=trivial:8,8,73,33 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,70,30 clip=trivial:8,8,73,33 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 30,10 20,30 Z M 50,10 L 70,10 60,30 Z",
             "StrokePath path=M 10,10 L 30,10 20,30 Z M 50,10 L 70,10 60,30 Z line=cosmetic "
             "width=1",
         }},
        {"POLYDRAW",
         [](EmfBuilder& b) {
             b.PolyDraw({{10, 10}, {50, 10}, {60, 20}, {70, 20}, {80, 10}, {80, 50}},
                        {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO,
                         PT_LINETO | PT_CLOSEFIGURE});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,80,50 clip=trivial:8,8,83,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 C 60,20 70,20 80,10 L 80,50 Z line=cosmetic width=1",
         }},
        {"POLYDRAW16",
         [](EmfBuilder& b) {
             b.PolyDraw16({{10, 10}, {50, 10}, {60, 20}, {70, 20}, {80, 10}, {80, 50}},
                          {PT_MOVETO, PT_LINETO, PT_BEZIERTO, PT_BEZIERTO, PT_BEZIERTO,
                           PT_LINETO | PT_CLOSEFIGURE});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,80,50 clip=trivial:8,8,83,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 C 60,20 70,20 80,10 L 80,50 Z line=cosmetic width=1",
         }},
        {"RECTANGLE",
         [](EmfBuilder& b) {
             b.Box(EMR_RECTANGLE, {100, 100, 300, 200});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 100,100 L 300,100 300,200 100,200 Z",
             "StrokePath path=M 100,100 L 300,100 300,200 100,200 Z line=cosmetic width=1",
         }},
        {"ROUNDRECT",
         [](EmfBuilder& b) {
             b.RoundRect({100, 100, 300, 200}, {40, 20});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 280,100 L 120,100 C 108.94,100 100,104.50 100,110 L 100,190 C "
             "100,195.50 108.94,200 120,200 L 280,200 C 291.06,200 300,195.50 300,190 L 300,110 C "
             "300,104.50 291.06,100 280,100 Z",
             "StrokePath path=M 280,100 L 120,100 C 108.94,100 100,104.50 100,110 L 100,190 C "
             "100,195.50 108.94,200 120,200 L 280,200 C 291.06,200 300,195.50 300,190 L 300,110 C "
             "300,104.50 291.06,100 280,100 Z line=cosmetic width=1",
         }},
        {"ELLIPSE",
         [](EmfBuilder& b) {
             b.Box(EMR_ELLIPSE, {100, 100, 300, 200});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,200 clip=trivial:98,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 300,150 C 300,122.38 255.25,100 200,100 144.75,100 100,122.38 "
             "100,150 100,177.62 144.75,200 200,200 255.25,200 300,177.62 300,150 Z",
             "StrokePath path=M 300,150 C 300,122.38 255.25,100 200,100 144.75,100 100,122.38 "
             "100,150 100,177.62 144.75,200 200,200 255.25,200 300,177.62 300,150 Z line=cosmetic "
             "width=1",
         }},
        {"ARC",
         [](EmfBuilder& b) {
             b.Arc(EMR_ARC, {100, 100, 300, 300}, {300, 200}, {200, 100});
         },
         {
             "DrvStrokePath pdev=1 bounds=200,100,300,200 clip=trivial:198,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 300,200 C 300,144.75 255.25,100 200,100 line=cosmetic width=1",
         }},
        {"ARCTO",
         [](EmfBuilder& b) {
             b.MoveTo(50, 50)
                 .Arc(EMR_ARCTO, {100, 100, 300, 300}, {300, 200}, {200, 100})
                 .LineTo(50, 100);
         },
         {
             "DrvStrokePath pdev=1 bounds=50,50,300,200 clip=trivial:48,48,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "DrvLineTo pdev=1 from=200,100 to=50,100 bounds=50,100,201,101 "
             "clip=trivial:50,100,201,101 brush=solid:0x000000 mix=0xd0d",
             "StrokePath path=M 50,50 L 300,200 C 300,144.75 255.25,100 200,100 line=cosmetic "
             "width=1",
         }},
        {"CHORD",
         [](EmfBuilder& b) {
             b.Arc(EMR_CHORD, {100, 100, 300, 300}, {300, 200}, {200, 100});
         },
         {
             "DrvFillPath pdev=1 bounds=200,100,300,200 clip=trivial:198,98,303,203 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=200,100,300,200 clip=trivial:198,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 300,200 C 300,144.75 255.25,100 200,100 Z",
             "StrokePath path=M 300,200 C 300,144.75 255.25,100 200,100 Z line=cosmetic width=1",
         }},
        {"PIE",
         [](EmfBuilder& b) {
             b.Arc(EMR_PIE, {100, 100, 300, 300}, {300, 200}, {200, 100});
         },
         {
             "DrvFillPath pdev=1 bounds=200,100,300,200 clip=trivial:198,98,303,203 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=200,100,300,200 clip=trivial:198,98,303,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 300,200 C 300,144.75 255.25,100 200,100 L 200,200 Z",
             "StrokePath path=M 300,200 C 300,144.75 255.25,100 200,100 L 200,200 Z line=cosmetic "
             "width=1",
         }},
        {"ANGLEARC",
         [](EmfBuilder& b) {
             b.MoveTo(100, 100).AngleArc({200, 200}, 50, 0, 90);
         },
         {
             "DrvStrokePath pdev=1 bounds=100,100,250,200 clip=trivial:98,98,253,203 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 100,100 L 250,200 C 250,172.38 227.62,150 200,150 line=cosmetic "
             "width=1",
         }},
        {"FILLPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .MoveTo(10, 10)
                 .LineTo(100, 10)
                 .LineTo(100, 80)
                 .Empty(EMR_CLOSEFIGURE)
                 .MoveTo(200, 10)
                 .LineTo(250, 60)
                 .Empty(EMR_ENDPATH)
                 .Rect(EMR_FILLPATH, {10, 10, 250, 80});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,250,80 clip=trivial:9,9,252,82 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "FillPath path=M 10,10 L 100,10 100,80 Z M 200,10 L 250,60 Z",
         }},
        {"STROKEPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .MoveTo(10, 10)
                 .LineTo(100, 10)
                 .LineTo(100, 80)
                 .Empty(EMR_CLOSEFIGURE)
                 .MoveTo(200, 10)
                 .LineTo(250, 60)
                 .Empty(EMR_ENDPATH)
                 .Rect(EMR_STROKEPATH, {10, 10, 250, 80});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,250,80 clip=trivial:8,8,253,83 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 100,10 100,80 Z M 200,10 L 250,60 line=cosmetic width=1",
         }},
        {"STROKEANDFILLPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .Box(EMR_RECTANGLE, {10, 10, 60, 60})
                 .Box(EMR_ELLIPSE, {20, 20, 50, 50})
                 .Empty(EMR_ENDPATH)
                 .Rect(EMR_STROKEANDFILLPATH, {10, 10, 60, 60});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,60,60 clip=trivial:8,8,63,63 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,60,60 clip=trivial:8,8,63,63 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 60,10 60,60 10,60 Z M 50,35 C 50,26.69 43.31,20 35,20 "
             "26.69,20 20,26.69 20,35 20,43.31 26.69,50 35,50 43.31,50 50,43.31 50,35 Z",
             "StrokePath path=M 10,10 L 60,10 60,60 10,60 Z M 50,35 C 50,26.69 43.31,20 35,20 "
             "26.69,20 20,26.69 20,35 20,43.31 26.69,50 35,50 43.31,50 50,43.31 50,35 Z "
             "line=cosmetic width=1",
         }},
        {"FLATTENPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .Poly(EMR_POLYBEZIER, {{10, 10}, {10, 0}, {20, 0}, {20, 10}})
                 .Empty(EMR_ENDPATH)
                 .Empty(EMR_FLATTENPATH)
                 .Rect(EMR_STROKEPATH, {10, 0, 20, 10});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,2,20,10 clip=trivial:8,0,23,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 10.44,6.75 11.56,4.38 13.19,3 15,2.50 16.81,3 18.44,4.38 "
             "19.56,6.75 20,10 line=cosmetic width=1",
         }},
        {"ABORTPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .Box(EMR_RECTANGLE, {10, 10, 60, 60})
                 .Empty(EMR_ABORTPATH)
                 .Rect(EMR_FILLPATH, {10, 10, 60, 60})
                 .Box(EMR_RECTANGLE, {70, 70, 80, 80});
         },
         {
             "DrvFillPath pdev=1 bounds=70,70,80,80 clip=trivial:68,68,83,83 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=70,70,80,80 clip=trivial:68,68,83,83 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 70,70 L 80,70 80,80 70,80 Z",
             "StrokePath path=M 70,70 L 80,70 80,80 70,80 Z line=cosmetic width=1",
         }},
        {"SELECTCLIPPATH",
         [](EmfBuilder& b) {
             b.Empty(EMR_BEGINPATH)
                 .Box(EMR_ELLIPSE, {100, 100, 110, 104})
                 .Empty(EMR_ENDPATH)
                 .Value(EMR_SELECTCLIPPATH, RGN_COPY)
                 .Box(EMR_RECTANGLE, {0, 0, 400, 400});
         },
         {
             "DrvFillPath pdev=1 bounds=0,0,400,400 clip=complex(3):100,100,110,104 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,400,400 clip=complex(3):100,100,110,104 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 0,0 L 400,0 400,400 0,400 Z",
             "StrokePath path=M 0,0 L 400,0 400,400 0,400 Z line=cosmetic width=1",
         }},
        {"CREATEPEN",
         [](EmfBuilder& b) {
             b.CreatePen(1, PS_SOLID, 5, RGB(255, 0, 0))
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,10 clip=trivial:3,3,58,18 brush=solid:0x0000ff "
             "xform=0 width=1084227584 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 line=geometric width=5 join=0 cap=0 miter=10",
         }},
        {"CREATEPEN dotted",
         [](EmfBuilder& b) {
             b.CreatePen(1, PS_DOT, 0, RGB(0, 0, 255))
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,10 clip=trivial:8,8,53,13 brush=solid:0xff0000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 line=cosmetic width=1 style=1,1",
         }},
        {"EXTCREATEPEN geometric",
         [](EmfBuilder& b) {
             b.ExtCreatePen(1, PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 4, BS_SOLID,
                            RGB(0, 128, 0), 0)
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}, {50, 50}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:4,4,57,57 brush=solid:0x008000 "
             "xform=0 width=1082130432 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 50,50 line=geometric width=4 join=2 cap=2 miter=10 "
             "style=12,4",
         }},
        {"EXTCREATEPEN cosmetic user style",
         [](EmfBuilder& b) {
             b.ExtCreatePen(1, PS_COSMETIC | PS_USERSTYLE, 1, BS_SOLID, RGB(0, 0, 0), 0, {5, 2})
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,10 clip=trivial:8,8,53,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 line=cosmetic width=1 style=5,2",
         }},
        {"EXTCREATEPEN hatched",
         [](EmfBuilder& b) {
             b.ExtCreatePen(1, PS_GEOMETRIC | PS_SOLID, 8, BS_HATCHED, RGB(0, 0, 255), HS_CROSS)
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}});
         },
         {
             "DrvRealizeBrush pdev=1 pattern=8x8/1 mask=no xlate=2 hatch=4",
             "DrvStrokePath pdev=1 bounds=10,10,50,10 clip=trivial:0,0,61,21 "
             "brush=realized:hatch4/8x8 xform=0 width=1090519040 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 line=geometric width=8 join=0 cap=0 miter=10",
         }},
        {"CREATEBRUSHINDIRECT",
         [](EmfBuilder& b) {
             b.CreateBrush(1, BS_HATCHED, RGB(255, 0, 0), HS_DIAGCROSS)
                 .SelectObject(1)
                 .Box(EMR_RECTANGLE, {10, 10, 50, 50});
         },
         {
             "DrvRealizeBrush pdev=1 pattern=8x8/1 mask=no xlate=2 hatch=5",
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 "
             "brush=realized:hatch5/8x8 org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "StrokePath path=M 10,10 L 50,10 50,50 10,50 Z line=cosmetic width=1",
         }},
        {"CREATEDIBPATTERNBRUSHPT",
         [](EmfBuilder& b) {
             // 2 x 2, 24 bits: red, green / blue, red (rows bottom up, 4-byte aligned).
             std::vector<BYTE> bits = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0};
             b.CreatePatternBrush(EMR_CREATEDIBPATTERNBRUSHPT, 1, DIB_RGB_COLORS,
                                  Info(2, 2, 24, {}), bits)
                 .SelectObject(1)
                 .Box(EMR_RECTANGLE, {10, 10, 50, 50});
         },
         {
             "DrvRealizeBrush pdev=1 pattern=2x2/3 mask=no xlate=256 hatch=6",
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 "
             "brush=realized:hatch6/2x2 org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "StrokePath path=M 10,10 L 50,10 50,50 10,50 Z line=cosmetic width=1",
         }},
        {"CREATEMONOBRUSH",
         [](EmfBuilder& b) {
             std::vector<BYTE> bits(32);
             for (size_t i = 0; i < bits.size(); i += 4)
                 bits[i] = 0xAA;
             b.CreatePatternBrush(EMR_CREATEMONOBRUSH, 1, DIB_PAL_INDICES, Info(8, 8, 1, {}), bits)
                 .SelectObject(1)
                 .Box(EMR_RECTANGLE, {10, 10, 50, 50});
         },
         {
             "DrvRealizeBrush pdev=1 pattern=8x8/1 mask=no xlate=2 hatch=6",
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 "
             "brush=realized:hatch6/8x8 org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "StrokePath path=M 10,10 L 50,10 50,50 10,50 Z line=cosmetic width=1",
         }},
        {"SELECTOBJECT stock",
         [](EmfBuilder& b) {
             b.SelectStock(NULL_PEN)
                 .SelectStock(GRAY_BRUSH)
                 .Box(EMR_RECTANGLE, {10, 10, 50, 50})
                 .SelectStock(BLACK_PEN)
                 .SelectStock(NULL_BRUSH)
                 .Box(EMR_RECTANGLE, {60, 60, 90, 90});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:9,9,52,52 brush=solid:0x808080 "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=60,60,90,90 clip=trivial:58,58,93,93 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "StrokePath path=M 60,60 L 90,60 90,90 60,90 Z line=cosmetic width=1",
         }},
        {"DELETEOBJECT",
         [](EmfBuilder& b) {
             // A deleted pen stays in use until another is selected.
             b.CreatePen(1, PS_SOLID, 3, RGB(255, 0, 0))
                 .SelectObject(1)
                 .DeleteObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}})
                 .SelectStock(BLACK_PEN)
                 .Poly(EMR_POLYLINE, {{10, 20}, {50, 20}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,10 clip=trivial:5,5,56,16 brush=solid:0x0000ff "
             "xform=0 width=1077936128 mix=0xd0d",
             "DrvStrokePath pdev=1 bounds=10,20,50,20 clip=trivial:8,18,53,23 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 line=geometric width=3 join=0 cap=0 miter=10",
             "StrokePath path=M 10,20 L 50,20 line=cosmetic width=1",
         }},
        {"SETROP2",
         [](EmfBuilder& b) {
             b.Value(EMR_SETROP2, R2_XORPEN).Box(EMR_RECTANGLE, {10, 10, 50, 50});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 brush=solid:0xffffff "
             "org=0,0 mix=0x707 mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:8,8,53,53 brush=solid:0x000000 "
             "xform=0 width=1 mix=0x707",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "StrokePath path=M 10,10 L 50,10 50,50 10,50 Z line=cosmetic width=1",
         }},
        {"SETBKMODE",
         [](EmfBuilder& b) {
             b.Value(EMR_SETBKMODE, TRANSPARENT)
                 .Value(EMR_SETBKCOLOR, RGB(0, 255, 0))
                 .SelectStock(NULL_PEN)
                 .CreateBrush(1, BS_HATCHED, RGB(255, 0, 0), HS_HORIZONTAL)
                 .SelectObject(1)
                 .Box(EMR_RECTANGLE, {10, 10, 50, 50});
         },
         {
             "DrvRealizeBrush pdev=1 pattern=8x8/1 mask=no xlate=2 hatch=0",
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:9,9,52,52 "
             "brush=realized:hatch0/8x8 org=0,0 mix=0xb0d mode=1",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
         }},
        {"SETPOLYFILLMODE",
         [](EmfBuilder& b) {
             b.Value(EMR_SETPOLYFILLMODE, WINDING)
                 .SelectStock(NULL_PEN)
                 .Poly(EMR_POLYGON, {{10, 10}, {60, 10}, {35, 50}});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,60,50 clip=trivial:9,9,62,52 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=2",
             "FillPath path=M 10,10 L 60,10 35,50 Z",
         }},
        {"SETMITERLIMIT",
         [](EmfBuilder& b) {
             FLOAT limit = 4.0f;
             b.Fields(EMR_SETMITERLIMIT, limit)
                 .ExtCreatePen(1, PS_GEOMETRIC | PS_JOIN_MITER, 6, BS_SOLID, 0, 0)
                 .SelectObject(1)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}, {50, 50}})
                 .Value(EMR_SETMITERLIMIT, 7)
                 .Poly(EMR_POLYLINE, {{10, 10}, {50, 10}, {50, 50}});
         },
         {
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:2,2,59,59 brush=solid:0x000000 "
             "xform=0 width=1086324736 mix=0xd0d",
             "DrvStrokePath pdev=1 bounds=10,10,50,50 clip=trivial:2,2,59,59 brush=solid:0x000000 "
             "xform=0 width=1086324736 mix=0xd0d",
             "StrokePath path=M 10,10 L 50,10 50,50 line=geometric width=6 join=2 cap=0 miter=4",
             "StrokePath path=M 10,10 L 50,10 50,50 line=geometric width=6 join=2 cap=0 miter=7",
         }},
        {"SETARCDIRECTION",
         [](EmfBuilder& b) {
             b.Value(EMR_SETARCDIRECTION, AD_CLOCKWISE)
                 .Arc(EMR_ARC, {100, 100, 300, 300}, {300, 200}, {200, 100});
         },
         {
             "DrvStrokePath pdev=1 bounds=100,100,300,300 clip=trivial:98,98,303,303 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "StrokePath path=M 300,200 C 300,255.25 255.25,300 200,300 144.75,300 100,255.25 "
             "100,200 100,144.75 144.75,100 200,100 line=cosmetic width=1",
         }},
        {"SETMAPMODE",
         [](EmfBuilder& b) {
             // 254 pixels per inch: a tenth of a millimetre is one pixel, y upwards.
             b.Value(EMR_SETMAPMODE, MM_LOMETRIC).Box(EMR_RECTANGLE, {10, -10, 100, -50});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,100,50 clip=trivial:8,8,103,53 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,100,50 clip=trivial:8,8,103,53 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,50 L 100,50 100,10 10,10 Z",
             "StrokePath path=M 10,50 L 100,50 100,10 10,10 Z line=cosmetic width=1",
         }},
        {"SETWINDOWEXTEX, SETVIEWPORTEXTEX, SETWINDOWORGEX, SETVIEWPORTORGEX",
         [](EmfBuilder& b) {
             b.Value(EMR_SETMAPMODE, MM_ANISOTROPIC)
                 .Size(EMR_SETWINDOWEXTEX, 100, 100)
                 .Size(EMR_SETVIEWPORTEXTEX, 200, 400)
                 .Point(EMR_SETWINDOWORGEX, 5, 5)
                 .Point(EMR_SETVIEWPORTORGEX, 10, 20)
                 .Box(EMR_RECTANGLE, {5, 5, 55, 30});
         },
         {
             "DrvFillPath pdev=1 bounds=10,20,110,120 clip=trivial:8,18,113,123 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,20,110,120 clip=trivial:8,18,113,123 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,20 L 110,20 110,120 10,120 Z",
             "StrokePath path=M 10,20 L 110,20 110,120 10,120 Z line=cosmetic width=1",
         }},
        {"SETMAPMODE isotropic",
         [](EmfBuilder& b) {
             b.Value(EMR_SETMAPMODE, MM_ISOTROPIC)
                 .Size(EMR_SETWINDOWEXTEX, 100, 100)
                 .Size(EMR_SETVIEWPORTEXTEX, 200, 400)
                 .Box(EMR_RECTANGLE, {0, 0, 50, 50});
         },
         {
             "DrvFillPath pdev=1 bounds=0,0,100,100 clip=rect:0,0,103,103 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,100,100 clip=rect:0,0,103,103 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 0,0 L 100,0 100,100 0,100 Z",
             "StrokePath path=M 0,0 L 100,0 100,100 0,100 Z line=cosmetic width=1",
         }},
        {"SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX",
         [](EmfBuilder& b) {
             b.Value(EMR_SETMAPMODE, MM_ANISOTROPIC)
                 .Fields(EMR_SCALEVIEWPORTEXTEX, LONG{6}, LONG{1}, LONG{4}, LONG{1})
                 .Fields(EMR_SCALEWINDOWEXTEX, LONG{2}, LONG{1}, LONG{2}, LONG{1})
                 .Box(EMR_RECTANGLE, {10, 10, 20, 20});
         },
         {
             "DrvFillPath pdev=1 bounds=30,20,60,40 clip=trivial:28,18,63,43 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=30,20,60,40 clip=trivial:28,18,63,43 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 30,20 L 60,20 60,40 30,40 Z",
             "StrokePath path=M 30,20 L 60,20 60,40 30,40 Z line=cosmetic width=1",
         }},
        {"SETWORLDTRANSFORM",
         [](EmfBuilder& b) {
             b.WorldTransform(Xf(2, 0, 0, 2, 10, 10)).Box(EMR_RECTANGLE, {0, 0, 50, 50});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,110,110 clip=trivial:8,8,113,113 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,110,110 clip=trivial:8,8,113,113 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 110,10 110,110 10,110 Z",
             "StrokePath path=M 10,10 L 110,10 110,110 10,110 Z line=cosmetic width=1",
         }},
        {"MODIFYWORLDTRANSFORM",
         [](EmfBuilder& b) {
             b.WorldTransform(Xf(2, 0, 0, 2, 0, 0))
                 .ModifyWorldTransform(Xf(1, 0, 0, 1, 10, 0), MWT_LEFTMULTIPLY)
                 .Box(EMR_RECTANGLE, {0, 0, 10, 10})
                 .ModifyWorldTransform(Xf(1, 0, 0, 1, 10, 0), MWT_RIGHTMULTIPLY)
                 .Box(EMR_RECTANGLE, {0, 0, 10, 10})
                 .ModifyWorldTransform(Xf(0, 0, 0, 0, 0, 0), MWT_IDENTITY)
                 .Box(EMR_RECTANGLE, {0, 0, 10, 10});
         },
         {
             "DrvFillPath pdev=1 bounds=20,0,40,20 clip=rect:18,0,43,23 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=20,0,40,20 clip=rect:18,0,43,23 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "DrvFillPath pdev=1 bounds=30,0,50,20 clip=rect:28,0,53,23 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=30,0,50,20 clip=rect:28,0,53,23 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "DrvFillPath pdev=1 bounds=0,0,10,10 clip=rect:0,0,13,13 brush=solid:0xffffff org=0,0 "
             "mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,10,10 clip=rect:0,0,13,13 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 20,0 L 40,0 40,20 20,20 Z",
             "StrokePath path=M 20,0 L 40,0 40,20 20,20 Z line=cosmetic width=1",
             "FillPath path=M 30,0 L 50,0 50,20 30,20 Z",
             "StrokePath path=M 30,0 L 50,0 50,20 30,20 Z line=cosmetic width=1",
             "FillPath path=M 0,0 L 10,0 10,10 0,10 Z",
             "StrokePath path=M 0,0 L 10,0 10,10 0,10 Z line=cosmetic width=1",
         }},
        {"SAVEDC, RESTOREDC",
         [](EmfBuilder& b) {
             b.Empty(EMR_SAVEDC)
                 .WorldTransform(Xf(3, 0, 0, 3, 0, 0))
                 .Value(EMR_SETMAPMODE, MM_LOMETRIC)
                 .CreatePen(1, PS_SOLID, 2, 0)
                 .SelectObject(1)
                 .Fields(EMR_RESTOREDC, LONG{-1})
                 .Box(EMR_RECTANGLE, {10, 10, 20, 20});
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,20,20 clip=trivial:8,8,23,23 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=10,10,20,20 clip=trivial:8,8,23,23 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 10,10 L 20,10 20,20 10,20 Z",
             "StrokePath path=M 10,10 L 20,10 20,20 10,20 Z line=cosmetic width=1",
         }},
        {"INTERSECTCLIPRECT",
         [](EmfBuilder& b) {
             b.Rect(EMR_INTERSECTCLIPRECT, {0, 0, 150, 150})
                 .Box(EMR_RECTANGLE, {100, 100, 300, 300});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,300 clip=rect:98,98,150,150 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,300 clip=rect:98,98,150,150 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 100,100 L 300,100 300,300 100,300 Z",
             "StrokePath path=M 100,100 L 300,100 300,300 100,300 Z line=cosmetic width=1",
         }},
        {"EXCLUDECLIPRECT",
         [](EmfBuilder& b) {
             b.Rect(EMR_EXCLUDECLIPRECT, {150, 150, 200, 200})
                 .Box(EMR_RECTANGLE, {100, 100, 300, 300});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,300 clip=complex(4):98,98,303,303 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,300 clip=complex(4):98,98,303,303 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 100,100 L 300,100 300,300 100,300 Z",
             "StrokePath path=M 100,100 L 300,100 300,300 100,300 Z line=cosmetic width=1",
         }},
        {"EXTSELECTCLIPRGN",
         [](EmfBuilder& b) {
             b.SelectClipRegion({{0, 0, 120, 120}, {200, 200, 300, 300}}, RGN_COPY)
                 .Box(EMR_RECTANGLE, {100, 100, 300, 300})
                 .SelectClipRegion({}, RGN_COPY)
                 .Box(EMR_RECTANGLE, {100, 100, 300, 300});
         },
         {
             "DrvFillPath pdev=1 bounds=100,100,300,300 clip=complex(2):98,98,300,300 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,300 clip=complex(2):98,98,300,300 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "DrvFillPath pdev=1 bounds=100,100,300,300 clip=trivial:98,98,303,303 "
             "brush=solid:0xffffff org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=100,100,300,300 clip=trivial:98,98,303,303 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "FillPath path=M 100,100 L 300,100 300,300 100,300 Z",
             "StrokePath path=M 100,100 L 300,100 300,300 100,300 Z line=cosmetic width=1",
             "FillPath path=M 100,100 L 300,100 300,300 100,300 Z",
             "StrokePath path=M 100,100 L 300,100 300,300 100,300 Z line=cosmetic width=1",
         }},
        {"OFFSETCLIPRGN",
         [](EmfBuilder& b) {
             b.Rect(EMR_INTERSECTCLIPRECT, {0, 0, 100, 100})
                 .Point(EMR_OFFSETCLIPRGN, 50, 50)
                 .Box(EMR_RECTANGLE, {0, 0, 300, 300});
         },
         {
             "DrvFillPath pdev=1 bounds=0,0,300,300 clip=rect:50,50,150,150 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,300,300 clip=rect:50,50,150,150 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 0,0 L 300,0 300,300 0,300 Z",
             "StrokePath path=M 0,0 L 300,0 300,300 0,300 Z line=cosmetic width=1",
         }},
        {"SETMETARGN",
         [](EmfBuilder& b) {
             b.Rect(EMR_INTERSECTCLIPRECT, {0, 0, 200, 200})
                 .Empty(EMR_SETMETARGN)
                 .Rect(EMR_INTERSECTCLIPRECT, {100, 100, 400, 400})
                 .Box(EMR_RECTANGLE, {0, 0, 300, 300})
                 .SelectClipRegion({}, RGN_COPY)
                 .Box(EMR_RECTANGLE, {0, 0, 300, 300});
         },
         {
             "DrvFillPath pdev=1 bounds=0,0,300,300 clip=rect:100,100,200,200 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,300,300 clip=rect:100,100,200,200 "
             "brush=solid:0x000000 xform=0 width=1 mix=0xd0d",
             "DrvFillPath pdev=1 bounds=0,0,300,300 clip=rect:0,0,200,200 brush=solid:0xffffff "
             "org=0,0 mix=0xd0d mode=1",
             "DrvStrokePath pdev=1 bounds=0,0,300,300 clip=rect:0,0,200,200 brush=solid:0x000000 "
             "xform=0 width=1 mix=0xd0d",
             "FillPath path=M 0,0 L 300,0 300,300 0,300 Z",
             "StrokePath path=M 0,0 L 300,0 300,300 0,300 Z line=cosmetic width=1",
             "FillPath path=M 0,0 L 300,0 300,300 0,300 Z",
             "StrokePath path=M 0,0 L 300,0 300,300 0,300 Z line=cosmetic width=1",
         }},
        {"FILLRGN",
         [](EmfBuilder& b) {
             b.CreateBrush(1, BS_SOLID, RGB(255, 0, 0))
                 .FillRegion({{10, 10, 50, 50}, {60, 10, 80, 30}}, 1);
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,80,50 clip=trivial:9,9,82,52 brush=solid:0x0000ff "
             "org=0,0 mix=0xd0d mode=1",
             "FillPath path=M 10,10 L 50,10 50,30 10,30 Z M 60,10 L 80,10 80,30 60,30 Z M 10,30 L "
             "50,30 50,50 10,50 Z",
         }},
        {"PAINTRGN, INVERTRGN",
         [](EmfBuilder& b) {
             std::vector<BYTE> data = EmfBuilder::RegionData({{10, 10, 50, 50}});
             RECTL bounds{10, 10, 50, 50};
             b.SelectStock(BLACK_BRUSH)
                 .Fields(EMR_PAINTRGN, bounds, static_cast<DWORD>(data.size()), data)
                 .Fields(EMR_INVERTRGN, bounds, static_cast<DWORD>(data.size()), data);
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:9,9,52,52 brush=solid:0x000000 "
             "org=0,0 mix=0xd0d mode=1",
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:9,9,52,52 brush=solid:0x000000 "
             "org=0,0 mix=0x606 mode=1",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
             "FillPath path=M 10,10 L 50,10 50,50 10,50 Z",
         }},
        {"FRAMERGN",
         [](EmfBuilder& b) {
             std::vector<BYTE> data = EmfBuilder::RegionData({{10, 10, 50, 50}});
             RECTL bounds{10, 10, 50, 50};
             b.Fields(EMR_FRAMERGN, bounds, static_cast<DWORD>(data.size()),
                      ENHMETA_STOCK_OBJECT | BLACK_BRUSH, SIZEL{2, 3}, data);
         },
         {
             "DrvFillPath pdev=1 bounds=10,10,50,50 clip=trivial:9,9,52,52 brush=solid:0x000000 "
             "org=0,0 mix=0xd0d mode=1",
             "FillPath path=M 10,10 L 50,10 50,13 10,13 Z M 10,13 L 12,13 12,47 10,47 Z M 48,13 L "
             "50,13 50,47 48,47 Z M 10,47 L 50,47 50,50 10,50 Z",
         }},
        {"GDICOMMENT, SETBRUSHORGEX, SETTEXTALIGN, SETSTRETCHBLTMODE, SETTEXTCOLOR",
         [](EmfBuilder& b) {
             b.Comment("ignored")
                 .Point(EMR_SETBRUSHORGEX, 3, 4)
                 .Value(EMR_SETTEXTALIGN, TA_BASELINE)
                 .Value(EMR_SETSTRETCHBLTMODE, HALFTONE)
                 .Value(EMR_SETTEXTCOLOR, RGB(1, 2, 3));
         },
         {}},
    };
    return cases;
}

class RecordsTest : public emftest::RecorderTest {
  protected:
    std::vector<std::string> Play(const RecordCase& c) {
        EmfBuilder b = PageEmf();
        c.build(b);
        std::vector<BYTE> bytes = b.Finish();
        HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        EXPECT_NE(h, nullptr);
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &kPage));
        DeleteEnhMetaFile(h);
        std::vector<std::string> out = emftest::Lines(log());
        for (const std::string& d : emftest::Lines(detail()))
            out.push_back(d);
        clear();
        return out;
    }
};

TEST_F(RecordsTest, EachRecordKindReachesTheDriverAsItsCalls) {
    OpenPage();
    bool dump = std::getenv("EMF_DUMP_CASES") != nullptr;
    for (const RecordCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> calls = Play(c);
        if (dump) {
            std::printf("        {\"%s\", ..., {\n", c.name);
            for (const std::string& l : calls)
                std::printf("            \"%s\",\n", l.c_str());
            std::printf("        }},\n");
            continue;
        }
        EXPECT_EQ(calls, c.calls);
    }
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
}

} // namespace
