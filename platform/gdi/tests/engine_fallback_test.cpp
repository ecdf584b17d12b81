// Drawing that the driver hands back to the engine lands on the page: wide
// geometric pens, pattern brushes and styled lines drawn by the engine into a
// banding bitmap, or rendered and handed to the driver's DrvCopyBits on a
// device surface.
#include "emf_fixture.h"
#include "win/winddi.h"

namespace {

using emftest::RecorderTest;

class EngineFallbackTest : public RecorderTest {
  protected:
    unsigned long Pixel(long x, long y) {
        auto pixel = Export<unsigned long (*)(long, long)>("RecorderPixel");
        return pixel(x, y);
    }
    // Draws after the page is opened; the page ends so that the bands play.
    void Draw(void (*draw)(HDC)) {
        OpenPage();
        draw(hdc);
        EndPage(hdc);
    }
};

struct Probe {
    long x, y;
    bool ink;
};

struct Case {
    const char* name;
    void (*draw)(HDC);
    std::vector<Probe> probes;
};

const Case kCases[] = {
    {"wide geometric pen outlines a filled rectangle",
     [](HDC dc) {
         LOGBRUSH lb{BS_SOLID, 0, 0};
         HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, 20, &lb,
                                 0, nullptr);
         HGDIOBJ old = SelectObject(dc, pen);
         SelectObject(dc, GetStockObject(NULL_BRUSH));
         Rectangle(dc, 100, 100, 300, 200);
         SelectObject(dc, old);
         DeleteObject(pen);
     },
     {{100, 150, true}, {92, 150, true}, {89, 150, false}, {200, 150, false}, {300, 100, true}}},
    {"hatched brush fills where the hatch lines are",
     [](HDC dc) {
         HBRUSH brush = CreateHatchBrush(HS_CROSS, 0);
         HGDIOBJ old = SelectObject(dc, brush);
         SelectObject(dc, GetStockObject(NULL_PEN));
         SetBkMode(dc, TRANSPARENT);
         Rectangle(dc, 400, 400, 480, 480);
         SelectObject(dc, old);
         DeleteObject(brush);
     },
     {{404, 410, true}, {410, 404, true}, {401, 401, false}, {500, 410, false}}},
    {"styled cosmetic line leaves gaps",
     [](HDC dc) {
         HPEN pen = CreatePen(PS_DASH, 0, 0);
         HGDIOBJ old = SelectObject(dc, pen);
         MoveToEx(dc, 10, 700, nullptr);
         LineTo(dc, 300, 700);
         SelectObject(dc, old);
         DeleteObject(pen);
     },
     {{10, 700, true}, {10, 701, false}}},
};

TEST_F(EngineFallbackTest, RefusedCallsAreDrawnIntoTheBands) {
    for (const Case& c : kCases) {
        set("defaults", 0);
        set("bands", 4);
        set("refuse_paths", 1);
        Draw(c.draw);
        for (const Probe& p : c.probes)
            EXPECT_EQ(Pixel(p.x, p.y) == 0, p.ink) << c.name << " at " << p.x << "," << p.y;
        ClosePage();
    }
}

TEST_F(EngineFallbackTest, RefusedCallsReachADeviceSurfaceThroughCopyBits) {
    for (const Case& c : kCases) {
        set("defaults", 0);
        set("hooks", HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_LINETO | HOOK_COPYBITS);
        set("refuse_paths", 1);
        Draw(c.draw);
        for (const Probe& p : c.probes)
            EXPECT_EQ(Pixel(p.x, p.y) == 0, p.ink) << c.name << " at " << p.x << "," << p.y;
        bool copied = false;
        for (const std::string& line : TakeLog())
            copied = copied || line.rfind("DrvCopyBits", 0) == 0;
        EXPECT_TRUE(copied) << c.name;
        ClosePage();
    }
}

TEST_F(EngineFallbackTest, WithoutAnyWayToTheDeviceTheCallFails) {
    set("hooks", HOOK_FILLPATH);
    set("refuse_paths", 1);
    OpenPage();
    HBRUSH brush = CreateHatchBrush(HS_CROSS, 0);
    HGDIOBJ old = SelectObject(hdc, brush);
    EXPECT_FALSE(Rectangle(hdc, 10, 10, 50, 50));
    SelectObject(hdc, old);
    DeleteObject(brush);
}

} // namespace
