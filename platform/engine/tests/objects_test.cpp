// Objects the engine makes anew for every drawing call: a deleted one may be
// used again for the next one of its kind, which must start as a new one.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/engine_objects.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

std::string Hex(ULONG v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

std::string Rect(const RECTL& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

// Everything a driver can read of a path, and whether a line can be drawn
// without a start point (a new path has no current point).
std::string DescribePath(PATHOBJ* ppo) {
    std::string out = "fl=" + Hex(ppo->fl) + " curves=" + std::to_string(ppo->cCurves);
    RECTFX b;
    PATHOBJ_vGetBounds(ppo, &b);
    out += " bounds=" + Rect(RECTL{b.xLeft, b.yTop, b.xRight, b.yBottom});
    PATHDATA pd;
    BOOL more = PATHOBJ_bEnum(ppo, &pd);
    out += " enum=" + std::to_string(more) + "/" + std::to_string(pd.count);
    POINTFIX end{16, 16};
    out += " lineWithoutStart=" + std::to_string(PATHOBJ_bPolyLineTo(ppo, &end, 1));
    return out;
}

// The clip's fields and what an enumeration not started gives.
std::string DescribeClip(CLIPOBJ* pco) {
    std::string out = "complexity=" + std::to_string(pco->iDComplexity) + "/" +
                      std::to_string(pco->iFComplexity) + " bounds=" + Rect(pco->rclBounds);
    struct {
        ULONG c;
        RECTL arcl[4];
    } batch{};
    BOOL more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
    out += " enum=" + std::to_string(more);
    for (ULONG i = 0; i < batch.c && i < 4; ++i)
        out += " " + Rect(batch.arcl[i]);
    return out;
}

std::string DescribeBrush(BRUSHOBJ* pbo) {
    return "solid=" + Hex(pbo->iSolidColor) + " type=" + Hex(pbo->flColorType) +
           " realized=" + std::to_string(pbo->pvRbrush != nullptr) +
           " asked=" + std::to_string(BRUSHOBJ_pvGetRbrush(pbo) != nullptr);
}

std::string DescribeXform(XFORMOBJ* pxo) {
    XFORML x{};
    ULONG kind = XFORMOBJ_iGetXform(pxo, &x);
    char buf[96];
    std::snprintf(buf, sizeof buf, "kind=%u m=%g,%g,%g,%g,%g,%g", kind, double{x.eM11},
                  double{x.eM12}, double{x.eM21}, double{x.eM22}, double{x.eDx}, double{x.eDy});
    return buf;
}

std::string DescribeXlate(XLATEOBJ* pxlo) {
    return "fl=" + Hex(pxlo->flXlate) + " types=" + std::to_string(pxlo->iSrcType) + "/" +
           std::to_string(pxlo->iDstType) + " entries=" + std::to_string(pxlo->cEntries) +
           " table=" + std::to_string(pxlo->pulXlate != nullptr) +
           " palette=" + std::to_string(XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, 0, nullptr)) +
           " 7->" + Hex(XLATEOBJ_iXlate(pxlo, 7));
}

struct Case {
    const char* name;
    // Makes one, uses all that can change in it, and deletes it.
    std::function<void()> useAndDelete;
    // Makes a new one, describes it and deletes it.
    std::function<std::string()> describeNew;
    std::string expected;
};

class ObjectsTest : public EngineTest {};

TEST_F(ObjectsTest, ANewObjectKeepsNothingOfTheDeletedOneBefore) {
    const RECTL three[3] = {{0, 0, 10, 10}, {20, 0, 30, 10}, {0, 20, 10, 30}};
    auto enumerateHalfway = [&] {
        CLIPOBJ* pco = CreateClip(three, 3);
        CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_LEFTUP, 0);
        struct {
            ULONG c;
            RECTL arcl[1];
        } one{};
        CLIPOBJ_bEnum(pco, sizeof one, reinterpret_cast<ULONG*>(&one));
        EngDeleteClip(pco);
    };
    auto describeNewPath = [] {
        PATHOBJ* ppo = EngCreatePath();
        std::string d = DescribePath(ppo);
        EngDeletePath(ppo);
        return d;
    };
    const Case cases[] = {
        {"path with curves, an open subpath and an enumeration under way",
         [] {
             PATHOBJ* ppo = EngCreatePath();
             POINTFIX curve[3] = {{40, 8}, {80, 24}, {120, 120}};
             PATHOBJ_bMoveTo(ppo, POINTFIX{24, 40});
             PATHOBJ_bPolyBezierTo(ppo, curve, 3);
             PATHOBJ_bCloseFigure(ppo);
             PATHOBJ_bMoveTo(ppo, POINTFIX{200, 200});
             PATHOBJ_bPolyLineTo(ppo, curve, 1);
             PATHOBJ_vEnumStart(ppo);
             PATHDATA pd;
             PATHOBJ_bEnum(ppo, &pd);
             EngDeletePath(ppo);
         },
         describeNewPath, "fl=4 curves=0 bounds=0,0,0,0 enum=0/0 lineWithoutStart=0"},
        {"path copy",
         [] {
             PATHOBJ* ppo = EngCreatePath();
             POINTFIX pts[2] = {{24, 8}, {40, 40}};
             PATHOBJ_bMoveTo(ppo, POINTFIX{8, 8});
             PATHOBJ_bPolyLineTo(ppo, pts, 2);
             PATHOBJ* copy = CreatePathCopy(ppo, 8, 8);
             EngDeletePath(copy);
             EngDeletePath(ppo);
         },
         describeNewPath, "fl=4 curves=0 bounds=0,0,0,0 enum=0/0 lineWithoutStart=0"},
        {"rectangle clip after a complex one enumerated halfway", enumerateHalfway,
         [] {
             RECTL r{5, 6, 7, 8};
             CLIPOBJ* pco = CreateClip(&r, 1);
             std::string d = DescribeClip(pco);
             EngDeleteClip(pco);
             return d;
         },
         "complexity=1/1 bounds=5,6,7,8 enum=0 5,6,7,8"},
        {"trivial clip after a complex one enumerated halfway", enumerateHalfway,
         [] {
             CLIPOBJ* pco = CreateTrivialClip(RECTL{0, 0, 50, 60});
             std::string d = DescribeClip(pco);
             EngDeleteClip(pco);
             return d;
         },
         "complexity=0/1 bounds=0,0,50,60 enum=0 0,0,50,60"},
        {"solid brush the driver kept a realization of",
         [] {
             BRUSHOBJ* pbo = CreateSolidBrush(nullptr, 0x123456);
             BRUSHOBJ_pvAllocRbrush(pbo, 32);
             pbo->flColorType = 1;
             DeleteBrush(pbo);
         },
         [] {
             BRUSHOBJ* pbo = CreateSolidBrush(nullptr, 0x00FF00);
             std::string d = DescribeBrush(pbo);
             DeleteBrush(pbo);
             return d;
         },
         "solid=ff00 type=0 realized=0 asked=0"},
        {"solid brush after a hatch brush",
         [] { DeleteBrush(CreateHatchBrush(nullptr, HS_CROSS, 0, 0xFFFFFF)); },
         [] {
             BRUSHOBJ* pbo = CreateSolidBrush(nullptr, 0xFF0000);
             std::string d = DescribeBrush(pbo);
             DeleteBrush(pbo);
             return d;
         },
         "solid=ff0000 type=0 realized=0 asked=0"},
        {"transform with a scale and an offset",
         [] {
             DeleteXform(CreateXform(XFORML{2, 0, 0, 3, 5, 7}));
         },
         [] {
             XFORMOBJ* pxo = CreateXform(XFORML{1, 0, 0, 1, 0, 0});
             std::string d = DescribeXform(pxo);
             DeleteXform(pxo);
             return d;
         },
         "kind=0 m=1,0,0,1,0,0"},
        {"translation with a table",
         [] {
             const ULONG table[8] = {1, 2, 3, 4, 5, 6, 7, 8};
             DeleteXlate(CreateTableXlate(table, 8));
         },
         [] {
             XLATEOBJ* pxlo = CreateTrivialXlate();
             std::string d = DescribeXlate(pxlo);
             DeleteXlate(pxlo);
             return d;
         },
         "fl=1 types=0/0 entries=0 table=0 palette=0 7->7"},
        {"palette with colours",
         [] {
             ULONG colors[2] = {0x000000, 0xFFFFFF};
             EngDeletePalette(EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0));
         },
         [] {
             HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
             HPALETTE other = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
             XLATEOBJ* pxlo = CreatePaletteXlate(rgb, other);
             std::string d = DescribeXlate(pxlo);
             DeleteXlate(pxlo);
             EngDeletePalette(other);
             EngDeletePalette(rgb);
             return d;
         },
         "fl=0 types=4/8 entries=0 table=0 palette=0 7->70000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Several times over, so that every object kept for use again is used.
        for (int round = 0; round < 3; ++round) {
            c.useAndDelete();
            EXPECT_EQ(c.describeNew(), c.expected);
        }
    }
}

} // namespace
