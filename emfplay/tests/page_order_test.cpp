// The order of pages on sheet sides, layout by layout.
#include <gtest/gtest.h>

#include "page_order.h"

namespace metaweave {
namespace {

std::vector<uint32_t> Order(LayoutSettings l, uint32_t pages, uint32_t* sides, uint32_t start = 0) {
    std::vector<uint32_t> order;
    EXPECT_TRUE(BuildOrder(l, start, pages, &order, sides));
    return order;
}

LayoutSettings Nup(uint32_t n, uint32_t pageOrder = 0, bool landscape = false) {
    LayoutSettings l;
    l.layout = Layout::Nup;
    l.pagesPerSheet = n;
    l.pageOrder = pageOrder;
    l.landscape = landscape;
    return l;
}

TEST(PageOrder, NupCountsWithAndWithoutBlankBacks) {
    struct Case {
        uint32_t pages;
        bool blank;
        size_t cells;
        uint32_t sides;
    } cases[] = {{5, true, 8, 2}, {5, false, 8, 2}, {9, true, 16, 4}, {9, false, 12, 3}};
    for (const auto& c : cases) {
        LayoutSettings l = Nup(4);
        l.blankBacks = c.blank;
        uint32_t sides = 0;
        auto order = Order(l, c.pages, &sides);
        EXPECT_EQ(order.size(), c.cells) << c.pages;
        EXPECT_EQ(sides, c.sides) << c.pages;
    }
}

TEST(PageOrder, PageOrderPlacesPagesInGridCells) {
    uint32_t sides = 0;
    // Grid positions read row by row.
    EXPECT_EQ(Order(Nup(4, 0), 4, &sides), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(Order(Nup(4, 1), 4, &sides), (std::vector<uint32_t>{1, 3, 2, 4}));
    EXPECT_EQ(Order(Nup(4, 2), 4, &sides), (std::vector<uint32_t>{3, 1, 4, 2}));
    EXPECT_EQ(Order(Nup(4, 3), 4, &sides), (std::vector<uint32_t>{2, 1, 4, 3}));
    // 2-up in landscape with an order other than 0 fills the bottom row first.
    EXPECT_EQ(Order(Nup(2, 1, true), 2, &sides), (std::vector<uint32_t>{2, 1}));
    EXPECT_EQ(Order(Nup(6, 0), 6, &sides), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
}

TEST(PageOrder, BookletSignatures) {
    LayoutSettings l;
    l.layout = Layout::Booklet;
    l.pagesPerSheet = 2;
    uint32_t sides = 0;
    // Three pages, left binding: front (4, 1), back (2, 3); 4 is a blank cell.
    EXPECT_EQ(Order(l, 3, &sides), (std::vector<uint32_t>{4, 1, 2, 3}));
    EXPECT_EQ(sides, 2u);
    l.bookletKind = kBindRight;
    EXPECT_EQ(Order(l, 3, &sides), (std::vector<uint32_t>{1, 4, 3, 2}));
    // Signatures of one sheet: a last back side of two blank cells is dropped.
    l.bookletKind = kBindLeft;
    l.bookletSheets = 1;
    auto order = Order(l, 9, &sides);
    EXPECT_EQ(order, (std::vector<uint32_t>{4, 1, 2, 3, 8, 5, 6, 7, 12, 9}));
    EXPECT_EQ(sides, 5u);
}

TEST(PageOrder, PosterRepeatsEachPagePerTile) {
    LayoutSettings l;
    l.layout = Layout::Poster;
    l.posterColumns = 2;
    l.posterRows = 2;
    uint32_t sides = 0;
    EXPECT_EQ(Order(l, 2, &sides), (std::vector<uint32_t>{1, 1, 1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(sides, 8u);
}

TEST(PageOrder, ReverseSwapsWholeSides) {
    LayoutSettings l = Nup(2);
    l.reverse = true;
    uint32_t sides = 0;
    EXPECT_EQ(Order(l, 5, &sides), (std::vector<uint32_t>{5, 6, 3, 4, 1, 2}));
    // The collection's start is added to every cell.
    EXPECT_EQ(Order(Nup(2), 3, &sides, 10), (std::vector<uint32_t>{11, 12, 13, 14}));
}

} // namespace
} // namespace metaweave
