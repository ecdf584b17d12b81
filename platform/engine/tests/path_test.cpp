#include <algorithm>
#include <vector>

#include "engine_fixture.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "win/winddi.h"

inline bool operator==(POINTFIX a, POINTFIX b) {
    return a.x == b.x && a.y == b.y;
}

namespace {

POINTFIX Fx(LONG x, LONG y) {
    return POINTFIX{x * 16, y * 16};
}

struct Record {
    FLONG flags;
    std::vector<POINTFIX> points;
};

std::vector<Record> Enumerate(PATHOBJ* ppo) {
    std::vector<Record> out;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    BOOL more;
    do {
        more = PATHOBJ_bEnum(ppo, &pd);
        if (pd.count)
            out.push_back(Record{pd.flags, std::vector<POINTFIX>(pd.pptfx, pd.pptfx + pd.count)});
    } while (more);
    return out;
}

class PathTest : public EngineTest {};

// A closed figure of lines then Beziers, and an open subpath of Beziers then
// lines: each run of one kind is one record, the first record of a subpath
// starts with its first point, the last one ends it.
TEST_F(PathTest, BeziersAndClosedFiguresEnumerateAsRecords) {
    PATHOBJ* ppo = EngCreatePath();
    ASSERT_NE(ppo, nullptr);
    POINTFIX lines[] = {Fx(100, 10), Fx(100, 100)};
    POINTFIX curve[] = {Fx(80, 120), Fx(30, 120), Fx(10, 100)};
    ASSERT_TRUE(PATHOBJ_bMoveTo(ppo, Fx(10, 10)));
    ASSERT_TRUE(PATHOBJ_bPolyLineTo(ppo, lines, 2));
    ASSERT_TRUE(PATHOBJ_bPolyBezierTo(ppo, curve, 3));
    ASSERT_TRUE(PATHOBJ_bCloseFigure(ppo));

    POINTFIX curves[] = {Fx(210, 0),  Fx(220, 30), Fx(230, 40),
                         Fx(240, 50), Fx(250, 60), Fx(260, 70)};
    POINTFIX tail[] = {POINTFIX{300 * 16 + 8, 70 * 16}};
    ASSERT_TRUE(PATHOBJ_bMoveTo(ppo, Fx(200, 0)));
    ASSERT_TRUE(PATHOBJ_bPolyBezierTo(ppo, curves, 6));
    ASSERT_TRUE(PATHOBJ_bPolyLineTo(ppo, tail, 1));

    EXPECT_EQ(ppo->cCurves, 2u + 1u + 2u + 1u);
    EXPECT_TRUE(ppo->fl & PO_BEZIERS);
    EXPECT_FALSE(ppo->fl & PO_ALL_INTEGERS); // the half pixel of the last point

    std::vector<Record> recs = Enumerate(ppo);
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].flags, static_cast<FLONG>(PD_BEGINSUBPATH));
    EXPECT_EQ(recs[0].points, (std::vector<POINTFIX>{Fx(10, 10), Fx(100, 10), Fx(100, 100)}));
    EXPECT_EQ(recs[1].flags, static_cast<FLONG>(PD_BEZIERS | PD_ENDSUBPATH | PD_CLOSEFIGURE));
    EXPECT_EQ(recs[1].points, (std::vector<POINTFIX>(curve, curve + 3)));
    EXPECT_EQ(recs[2].flags, static_cast<FLONG>(PD_BEGINSUBPATH | PD_BEZIERS));
    EXPECT_EQ(recs[2].points.size(), 7u);
    EXPECT_EQ(recs[3].flags, static_cast<FLONG>(PD_ENDSUBPATH));
    EXPECT_EQ(recs[3].points, (std::vector<POINTFIX>(tail, tail + 1)));

    // A second enumeration gives the same records again.
    EXPECT_EQ(Enumerate(ppo).size(), 4u);

    RECTFX bounds;
    PATHOBJ_vGetBounds(ppo, &bounds);
    EXPECT_EQ(bounds.xLeft, 10 * 16);
    EXPECT_EQ(bounds.yTop, 0);
    EXPECT_EQ(bounds.xRight, 300 * 16 + 8);
    EXPECT_EQ(bounds.yBottom, 120 * 16);
    EngDeletePath(ppo);
}

// The bounds of every point handed out (and only those), however the path
// was built: the walk over the enumerated records is the reference.
TEST_F(PathTest, BoundsAreThoseOfThePointsHandedOut) {
    struct Case {
        const char* what;
        void (*build)(PATHOBJ*);
    };
    const Case cases[] = {
        {"a trailing start point alone is left out",
         [](PATHOBJ* p) {
             POINTFIX a[] = {Fx(5, 6), Fx(7, 8)};
             PATHOBJ_bMoveTo(p, Fx(4, 4));
             PATHOBJ_bPolyLineTo(p, a, 2);
             PATHOBJ_bMoveTo(p, Fx(-50, 900));
         }},
        {"a start point replaced by the next",
         [](PATHOBJ* p) {
             POINTFIX a[] = {Fx(3, 3)};
             PATHOBJ_bMoveTo(p, Fx(-70, -70));
             PATHOBJ_bMoveTo(p, Fx(1, 2));
             PATHOBJ_bPolyLineTo(p, a, 1);
         }},
        {"a closed start point alone counts",
         [](PATHOBJ* p) {
             POINTFIX a[] = {Fx(3, 3)};
             PATHOBJ_bMoveTo(p, Fx(1, 1));
             PATHOBJ_bPolyLineTo(p, a, 1);
             PATHOBJ_bMoveTo(p, Fx(-20, 40));
             PATHOBJ_bCloseFigure(p);
         }},
        {"curves and a line after a close",
         [](PATHOBJ* p) {
             POINTFIX c[] = {{-3, 500}, {77, -9}, {12, 13}};
             POINTFIX a[] = {Fx(-1, 2)};
             PATHOBJ_bMoveTo(p, POINTFIX{8, 8});
             PATHOBJ_bPolyBezierTo(p, c, 3);
             PATHOBJ_bCloseFigure(p);
             PATHOBJ_bPolyLineTo(p, a, 1);
         }},
        {"nothing but a start point", [](PATHOBJ* p) { PATHOBJ_bMoveTo(p, Fx(9, 9)); }},
    };
    auto walked = [](PATHOBJ* p) {
        RECTFX r{};
        bool first = true;
        for (const Record& rec : Enumerate(p))
            for (POINTFIX q : rec.points) {
                if (first) r = RECTFX{q.x, q.y, q.x, q.y};
                first = false;
                r = RECTFX{std::min(r.xLeft, q.x), std::min(r.yTop, q.y), std::max(r.xRight, q.x),
                           std::max(r.yBottom, q.y)};
            }
        return r;
    };
    auto same = [](const RECTFX& a, const RECTFX& b) {
        return a.xLeft == b.xLeft && a.yTop == b.yTop && a.xRight == b.xRight &&
               a.yBottom == b.yBottom;
    };
    for (const Case& c : cases) {
        PATHOBJ* ppo = EngCreatePath();
        c.build(ppo);
        RECTFX got;
        PATHOBJ_vGetBounds(ppo, &got);
        EXPECT_TRUE(same(got, walked(ppo))) << c.what;
        // A moved copy has the moved bounds of its points.
        PATHOBJ* copy = platform::engine::CreatePathCopy(ppo, -16 * 5, 16 * 100);
        PATHOBJ_vGetBounds(copy, &got);
        EXPECT_TRUE(same(got, walked(copy))) << c.what << " (copy)";
        EngDeletePath(copy);
        EngDeletePath(ppo);
    }
}

TEST_F(PathTest, AfterACloseTheNextLineStartsAtTheFiguresStart) {
    PATHOBJ* ppo = EngCreatePath();
    POINTFIX a[] = {Fx(5, 0), Fx(5, 5)};
    POINTFIX b[] = {Fx(9, 9)};
    PATHOBJ_bMoveTo(ppo, Fx(0, 0));
    PATHOBJ_bPolyLineTo(ppo, a, 2);
    PATHOBJ_bCloseFigure(ppo);
    PATHOBJ_bPolyLineTo(ppo, b, 1);
    std::vector<Record> recs = Enumerate(ppo);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].flags, static_cast<FLONG>(PD_BEGINSUBPATH | PD_ENDSUBPATH));
    EXPECT_EQ(recs[1].points, (std::vector<POINTFIX>{Fx(0, 0), Fx(9, 9)}));
    EXPECT_TRUE(ppo->fl & PO_ALL_INTEGERS);
    EngDeletePath(ppo);
}

TEST_F(PathTest, BadInputIsRefusedAndLeavesThePathAsItWas) {
    PATHOBJ* ppo = EngCreatePath();
    POINTFIX two[] = {Fx(1, 1), Fx(2, 2)};
    EXPECT_FALSE(PATHOBJ_bPolyLineTo(ppo, two, 2)); // no current point yet
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    PATHOBJ_bMoveTo(ppo, Fx(0, 0));
    EXPECT_FALSE(PATHOBJ_bPolyBezierTo(ppo, two, 2)); // Beziers come in threes
    EXPECT_FALSE(PATHOBJ_bPolyLineTo(ppo, nullptr, 2));
    // A subpath that is only a start point draws nothing and is not handed out.
    PATHDATA pd;
    PATHOBJ_vEnumStart(ppo);
    EXPECT_FALSE(PATHOBJ_bEnum(ppo, &pd));
    EXPECT_EQ(pd.count, 0u);
    RECTFX bounds{1, 2, 3, 4};
    PATHOBJ_vGetBounds(ppo, &bounds);
    EXPECT_EQ(bounds.xRight, 0);

    // A record a caller filled in by itself is not the engine's: nothing to enumerate.
    PATHOBJ own{};
    EXPECT_FALSE(PATHOBJ_bEnum(&own, &pd));
    EXPECT_EQ(pd.count, 0u);
    EngDeletePath(&own); // ignored
    EngDeletePath(ppo);
}

TEST_F(PathTest, CopyMovesEveryPoint) {
    PATHOBJ* ppo = EngCreatePath();
    POINTFIX pts[] = {Fx(10, 0), Fx(10, 10)};
    PATHOBJ_bMoveTo(ppo, Fx(0, 0));
    PATHOBJ_bPolyLineTo(ppo, pts, 2);
    PATHOBJ* copy = platform::engine::CreatePathCopy(ppo, -16 * 5, 16 * 100);
    ASSERT_NE(copy, nullptr);
    std::vector<Record> recs = Enumerate(copy);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].points, (std::vector<POINTFIX>{Fx(-5, 100), Fx(5, 100), Fx(5, 110)}));
    EngDeletePath(copy);
    EngDeletePath(ppo);
}

} // namespace
