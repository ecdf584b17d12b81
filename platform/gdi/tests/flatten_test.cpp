// Flattening of curves: the lines a curve becomes are the printer's points on
// the direct road, so any way of making them must give the very points that
// halving each piece by recursion gives.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../src/geometry.h"

namespace platform::gdi {
namespace {

// Halving by recursion, as the flatness test and the midpoints are written
// down: the reference the flattening is held to.
void Halve(PointD p0, PointD p1, PointD p2, PointD p3, int depth, std::vector<PointD>* out) {
    double ux = 3 * p1.x - 2 * p0.x - p3.x, uy = 3 * p1.y - 2 * p0.y - p3.y;
    double vx = 3 * p2.x - p0.x - 2 * p3.x, vy = 3 * p2.y - p0.y - 2 * p3.y;
    double flat = std::max(ux * ux, vx * vx) + std::max(uy * uy, vy * vy);
    if (depth >= 12 || !(flat > 1.0)) {
        out->push_back(p3);
        return;
    }
    PointD a{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2}, b{(p1.x + p2.x) / 2, (p1.y + p2.y) / 2},
        c{(p2.x + p3.x) / 2, (p2.y + p3.y) / 2};
    PointD d{(a.x + b.x) / 2, (a.y + b.y) / 2}, e{(b.x + c.x) / 2, (b.y + c.y) / 2};
    PointD m{(d.x + e.x) / 2, (d.y + e.y) / 2};
    Halve(p0, a, d, m, depth + 1, out);
    Halve(m, e, c, p3, depth + 1, out);
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(FlattenBezierTest, GivesThePointsOfHalvingByRecursionBitForBit) {
    struct Case {
        const char* what;
        PointD p0, p1, p2, p3;
    };
    constexpr double k = 0.5522847498307936;
    const Case cases[] = {
        {"a quarter of a small circle", {10, 0}, {10, -10 * k}, {10 * k, -10}, {0, -10}},
        {"a quarter of a page-sized ellipse off the origin",
         {4800.25, 3500.5},
         {4800.25, 3500.5 - 2100 * k},
         {2400.125 + 2400.125 * k, 1400.5},
         {2400.125, 1400.5}},
        {"a curve within a pixel", {1, 1}, {1.2, 1.1}, {1.3, 1.2}, {1.4, 1.4}},
        {"a straight curve", {0, 0}, {100, 100}, {200, 200}, {300, 300}},
        {"a loop", {0, 0}, {900, 700}, {-900, 700}, {0, 0}},
        {"a cusp", {0, 0}, {600, 300}, {0, 300}, {600, 0}},
        {"a curve past the depth limit", {0, 0}, {3e7, -2e7}, {-3e7, 4e7}, {1e7, 1e7}},
        {"negative coordinates with fractions",
         {-1234.5625, -77.0625},
         {-900.3, -2000.7},
         {-100.01, 350.99},
         {-50.5, -50.5}},
    };
    for (const Case& c : cases) {
        std::vector<PointD> want, got;
        Halve(c.p0, c.p1, c.p2, c.p3, 0, &want);
        FlattenBezier(c.p0, c.p1, c.p2, c.p3, [&](PointD p) { got.push_back(p); });
        ASSERT_EQ(got.size(), want.size()) << c.what;
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_TRUE(SameBits(got[i].x, want[i].x) && SameBits(got[i].y, want[i].y))
                << c.what << ": point " << i << " is (" << got[i].x << ", " << got[i].y
                << "), halving gives (" << want[i].x << ", " << want[i].y << ")";
    }
}

} // namespace
} // namespace platform::gdi
