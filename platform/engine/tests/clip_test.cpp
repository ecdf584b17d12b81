#include <vector>

#include "engine_fixture.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "win/winddi.h"

inline bool operator==(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

using platform::engine::CreateClip;

// What a driver declares to take 20 rectangles at a time.
struct EnumRects20 {
    ULONG c;
    RECTL arcl[20];
};

// 50 separate squares: 5 rows of 10.
std::vector<RECTL> Squares() {
    std::vector<RECTL> r;
    for (LONG row = 0; row < 5; ++row)
        for (LONG col = 0; col < 10; ++col)
            r.push_back(RECTL{col * 20, row * 20, col * 20 + 10, row * 20 + 10});
    return r;
}

class ClipTest : public EngineTest {};

TEST_F(ClipTest, ComplexClipEnumeratesInBatchesOfTwenty) {
    std::vector<RECTL> squares = Squares();
    CLIPOBJ* pco = CreateClip(squares.data(), static_cast<ULONG>(squares.size()));
    ASSERT_NE(pco, nullptr);
    EXPECT_EQ(pco->iDComplexity, DC_COMPLEX);
    EXPECT_EQ(pco->iFComplexity, FC_COMPLEX);
    EXPECT_NE(pco->iUniq, 0u);
    EXPECT_TRUE((pco->rclBounds == RECTL{0, 0, 190, 90}));

    EXPECT_EQ(CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 20), 0xFFFFFFFFu);
    EXPECT_EQ(CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_RIGHTDOWN, 100), 50u);
    std::vector<ULONG> batches;
    std::vector<BOOL> more;
    std::vector<RECTL> seen;
    EnumRects20 buf;
    BOOL m;
    do {
        m = CLIPOBJ_bEnum(pco, sizeof buf, reinterpret_cast<ULONG*>(&buf));
        batches.push_back(buf.c);
        more.push_back(m);
        seen.insert(seen.end(), buf.arcl, buf.arcl + buf.c);
    } while (m);
    EXPECT_EQ(batches, (std::vector<ULONG>{20, 20, 10}));
    EXPECT_EQ(more, (std::vector<BOOL>{TRUE, TRUE, FALSE}));
    EXPECT_EQ(seen, squares); // right and down: the order they were listed in
    EngDeleteClip(pco);
}

TEST_F(ClipTest, DirectionsReverseBandsAndRectangles) {
    RECTL rects[] = {{0, 0, 10, 10}, {20, 0, 30, 10}, {0, 20, 10, 30}, {20, 20, 30, 30}};
    CLIPOBJ* pco = CreateClip(rects, 4);
    EXPECT_EQ(pco->iFComplexity, FC_RECT4);
    struct Case {
        ULONG direction;
        std::vector<LONG> lefts, tops;
    } cases[] = {
        {CD_RIGHTDOWN, {0, 20, 0, 20}, {0, 0, 20, 20}},
        {CD_LEFTDOWN, {20, 0, 20, 0}, {0, 0, 20, 20}},
        {CD_RIGHTUP, {0, 20, 0, 20}, {20, 20, 0, 0}},
        {CD_LEFTUP, {20, 0, 20, 0}, {20, 20, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, c.direction, 0), 0xFFFFFFFFu);
        EnumRects20 buf;
        EXPECT_FALSE(CLIPOBJ_bEnum(pco, sizeof buf, reinterpret_cast<ULONG*>(&buf)));
        ASSERT_EQ(buf.c, 4u);
        std::vector<LONG> lefts, tops;
        for (ULONG i = 0; i < buf.c; ++i)
            lefts.push_back(buf.arcl[i].left), tops.push_back(buf.arcl[i].top);
        EXPECT_EQ(lefts, c.lefts) << "direction " << c.direction;
        EXPECT_EQ(tops, c.tops) << "direction " << c.direction;
    }
    EngDeleteClip(pco);
}

TEST_F(ClipTest, OverlappingRectanglesBecomeOneBandedRegion) {
    struct Case {
        std::vector<RECTL> in;
        std::vector<RECTL> region;
        BYTE complexity;
    } cases[] = {
        // Two overlapping rectangles: three bands.
        {{{0, 0, 10, 10}, {5, 5, 15, 15}},
         {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}},
         DC_COMPLEX},
        // Side by side and touching: one rectangle.
        {{{0, 0, 10, 10}, {10, 0, 20, 10}}, {{0, 0, 20, 10}}, DC_RECT},
        // Stacked with the same edges: one rectangle.
        {{{0, 0, 10, 10}, {0, 10, 10, 20}}, {{0, 0, 10, 20}}, DC_RECT},
        // Upside-down corners are put right; empty ones are dropped.
        {{{10, 10, 0, 0}, {3, 3, 3, 9}}, {{0, 0, 10, 10}}, DC_RECT},
        // One inside another, listed first; a gap of no band; a rectangle
        // that starts within a band of another and outlives it.
        {{{4, 2, 6, 4}, {0, 0, 10, 10}, {0, 20, 5, 30}, {3, 25, 8, 40}},
         {{0, 0, 10, 10}, {0, 20, 5, 25}, {0, 25, 8, 30}, {3, 30, 8, 40}},
         DC_COMPLEX},
        {{}, {}, DC_RECT},
    };
    for (const Case& c : cases) {
        CLIPOBJ* pco = CreateClip(c.in.data(), static_cast<ULONG>(c.in.size()));
        ASSERT_NE(pco, nullptr);
        EXPECT_EQ(pco->iDComplexity, c.complexity);
        CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
        EnumRects20 buf;
        CLIPOBJ_bEnum(pco, sizeof buf, reinterpret_cast<ULONG*>(&buf));
        EXPECT_EQ(std::vector<RECTL>(buf.arcl, buf.arcl + buf.c), c.region);
        EngDeleteClip(pco);
    }
}

// The outline of a turned image is one rectangle a row: a tall one must not
// cost its rows squared (it once held a page's play for half an hour).
TEST_F(ClipTest, AStaircaseOfManyRowsBecomesARegionOfItsRows) {
    const LONG rows = 1000000;
    std::vector<RECTL> stairs;
    for (LONG y = rows - 1; y >= 0; --y) // listed bottom up
        stairs.push_back(RECTL{y, y, y + 100, y + 1});
    CLIPOBJ* pco = CreateClip(stairs.data(), static_cast<ULONG>(stairs.size()));
    ASSERT_NE(pco, nullptr);
    EXPECT_TRUE((pco->rclBounds == RECTL{0, 0, rows - 1 + 100, rows}));
    CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    EnumRects20 buf;
    LONG seen = 0;
    bool inOrder = true;
    BOOL more;
    do {
        more = CLIPOBJ_bEnum(pco, sizeof buf, reinterpret_cast<ULONG*>(&buf));
        for (ULONG i = 0; i < buf.c; ++i, ++seen)
            inOrder = inOrder && buf.arcl[i] == (RECTL{seen, seen, seen + 100, seen + 1});
    } while (more);
    EXPECT_EQ(seen, rows);
    EXPECT_TRUE(inOrder);
    EngDeleteClip(pco);
}

// The path of a clip: one closed rectangle per region rectangle, along the
// pixel edges.
TEST_F(ClipTest, PathOfAClipOutlinesItsRectangles) {
    RECTL rects[] = {{0, 0, 10, 10}, {20, 5, 30, 10}};
    CLIPOBJ* pco = CreateClip(rects, 2);
    PATHOBJ* ppo = CLIPOBJ_ppoGetPath(pco);
    ASSERT_NE(ppo, nullptr);
    std::vector<std::vector<POINTFIX>> subpaths;
    std::vector<FLONG> flags;
    PATHDATA pd;
    PATHOBJ_vEnumStart(ppo);
    BOOL more;
    do {
        more = PATHOBJ_bEnum(ppo, &pd);
        flags.push_back(pd.flags);
        subpaths.emplace_back(pd.pptfx, pd.pptfx + pd.count);
    } while (more);
    // In bands the region is {0,0,10,5}, {0,5,10,10} and {20,5,30,10}.
    ASSERT_EQ(subpaths.size(), 3u);
    for (FLONG f : flags)
        EXPECT_EQ(f, static_cast<FLONG>(PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_CLOSEFIGURE));
    ASSERT_EQ(subpaths[2].size(), 4u);
    EXPECT_EQ(subpaths[2][0].x, 20 * 16);
    EXPECT_EQ(subpaths[2][0].y, 5 * 16);
    EXPECT_EQ(subpaths[2][1].x, 30 * 16);
    EXPECT_EQ(subpaths[2][2].x, 30 * 16);
    EXPECT_EQ(subpaths[2][2].y, 10 * 16);
    RECTFX bounds;
    PATHOBJ_vGetBounds(ppo, &bounds);
    EXPECT_EQ(bounds.xRight, 30 * 16);
    EXPECT_EQ(bounds.yBottom, 10 * 16);
    EngDeletePath(ppo);
    EngDeleteClip(pco);
}

// A clip object the caller fills in: its bounds are its only rectangle.
TEST_F(ClipTest, ObjectsFilledInByTheCallerUseTheirBounds) {
    CLIPOBJ* pco = EngCreateClip();
    ASSERT_NE(pco, nullptr);
    pco->iDComplexity = DC_RECT;
    pco->rclBounds = RECTL{5, 6, 7, 8};
    EXPECT_EQ(CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 10), 1u);
    EnumRects20 buf;
    EXPECT_FALSE(CLIPOBJ_bEnum(pco, sizeof buf, reinterpret_cast<ULONG*>(&buf)));
    ASSERT_EQ(buf.c, 1u);
    EXPECT_TRUE((buf.arcl[0] == RECTL{5, 6, 7, 8}));
    EngDeleteClip(pco);

    CLIPOBJ own{};
    own.iDComplexity = DC_RECT;
    own.rclBounds = RECTL{1, 1, 2, 2};
    EXPECT_EQ(CLIPOBJ_cEnumStart(&own, TRUE, CT_RECTANGLES, CD_ANY, 10), 1u);
    EXPECT_FALSE(CLIPOBJ_bEnum(&own, sizeof buf, reinterpret_cast<ULONG*>(&buf)));
    EXPECT_EQ(buf.c, 1u);
    EXPECT_FALSE(CLIPOBJ_bEnum(&own, sizeof buf, reinterpret_cast<ULONG*>(&buf)));
    EXPECT_EQ(buf.c, 0u);
    PATHOBJ* ppo = CLIPOBJ_ppoGetPath(&own);
    ASSERT_NE(ppo, nullptr);
    EXPECT_EQ(ppo->cCurves, 3u);
    EngDeletePath(ppo);
}

TEST_F(ClipTest, BufferTooSmallForOneRectangleEndsTheEnumeration) {
    std::vector<RECTL> squares = Squares();
    CLIPOBJ* pco = CreateClip(squares.data(), static_cast<ULONG>(squares.size()));
    ULONG tiny[3];
    CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 0);
    EXPECT_FALSE(CLIPOBJ_bEnum(pco, sizeof tiny, tiny));
    EXPECT_EQ(tiny[0], 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(CLIPOBJ_bEnum(pco, 2, tiny));
    EXPECT_EQ(CLIPOBJ_cEnumStart(pco, TRUE, 7, CD_ANY, 0), 0xFFFFFFFFu);
    EngDeleteClip(pco);
}

TEST_F(ClipTest, IntersectionWithABandIsMovedToTheBand) {
    std::vector<RECTL> squares = Squares();
    CLIPOBJ* pco = CreateClip(squares.data(), static_cast<ULONG>(squares.size()));
    // The band of rows 15..45 of the page, moved to its own origin.
    CLIPOBJ* band = platform::engine::CreateClipIntersection(pco, RECTL{0, 15, 1000, 45}, 0, -15);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->iDComplexity, DC_COMPLEX);
    EXPECT_TRUE((band->rclBounds == RECTL{0, 5, 190, 30}));
    EXPECT_EQ(CLIPOBJ_cEnumStart(band, TRUE, CT_RECTANGLES, CD_ANY, 100), 20u);

    // No clip at all: the band itself, and trivial.
    CLIPOBJ* whole =
        platform::engine::CreateClipIntersection(nullptr, RECTL{0, 100, 50, 200}, 0, -100);
    EXPECT_EQ(whole->iDComplexity, DC_TRIVIAL);
    EXPECT_TRUE((whole->rclBounds == RECTL{0, 0, 50, 100}));
    EngDeleteClip(whole);
    EngDeleteClip(band);
    EngDeleteClip(pco);
}

} // namespace
