#include "page_order.h"

#include <algorithm>

namespace metaweave {
namespace {

constexpr uint32_t kDefaultLengthDpi = 600;
constexpr int kDuplexShortEdge = 3; // dmDuplex: the booklet's two pages per side

uint32_t CeilDiv(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}

// The grid position of the q-th page of a side under the page order.
uint32_t GridPosition(uint32_t q, Grid g, uint32_t order, bool bottomFirst) {
    uint32_t row = 0, col = 0;
    switch (order) {
    case 1: // down columns, left column first
        col = q / g.rows;
        row = q % g.rows;
        break;
    case 2: // down columns, right column first
        col = g.columns - 1 - q / g.rows;
        row = q % g.rows;
        break;
    case 3: // across rows, right to left
        row = q / g.columns;
        col = g.columns - 1 - q % g.columns;
        break;
    default:
        row = q / g.columns;
        col = q % g.columns;
        break;
    }
    if (bottomFirst) row = g.rows - 1 - row;
    return row * g.columns + col;
}

void BookletOrder(const LayoutSettings& l, uint32_t pages, std::vector<uint32_t>* order) {
    const uint32_t total = CeilDiv(pages, 4) * 4;
    const uint32_t allSheets = total / 4;
    uint32_t per = l.bookletSheets;
    if (per != 1 && per != 2 && per != 4 && per != 8) per = allSheets;
    const bool right = l.bookletKind == kBindRight;
    for (uint32_t s = 0; s < total;) {
        const uint32_t b = std::min(per, (total - s) / 4);
        for (uint32_t j = 1; j <= b; ++j) {
            uint32_t outerHigh = s + 4 * b - 2 * j + 2, outerLow = s + 2 * j - 1;
            uint32_t innerLow = s + 2 * j, innerHigh = s + 4 * b - 2 * j + 1;
            if (right) {
                order->insert(order->end(), {outerLow, outerHigh, innerHigh, innerLow});
            } else {
                order->insert(order->end(), {outerHigh, outerLow, innerLow, innerHigh});
            }
        }
        s += 4 * b;
    }
}

} // namespace

Grid NupGrid(uint32_t pagesPerSheet, bool landscape) {
    switch (pagesPerSheet) {
    case 2:
        return landscape ? Grid{1, 2} : Grid{2, 1};
    case 4:
        return {2, 2};
    case 6:
        return landscape ? Grid{2, 3} : Grid{3, 2};
    case 8:
        return landscape ? Grid{2, 4} : Grid{4, 2};
    case 9:
        return {3, 3};
    case 16:
        return {4, 4};
    default:
        return {1, 1};
    }
}

LayoutSettings LayoutOf(const DEVMODEA& dm, const PRIVATE_DEVMODE& priv, int resolution) {
    LayoutSettings l;
    l.reverse = priv.ReverseOrder != 0;
    l.landscape = dm.dmOrientation == DMORIENT_LANDSCAPE;
    const uint32_t unit = priv.LengthUnitDpi ? priv.LengthUnitDpi : kDefaultLengthDpi;
    const uint32_t dpi = resolution > 0 ? static_cast<uint32_t>(resolution) : kDefaultLengthDpi;
    const uint16_t kind = priv.LayoutKind;
    if (kind & kLayoutPagesPerSheet) {
        switch (priv.PagesPerSheet) {
        case 2:
        case 4:
        case 6:
        case 8:
        case 9:
        case 16:
            l.layout = Layout::Nup;
            l.pagesPerSheet = priv.PagesPerSheet;
            break;
        default:
            break; // an unknown count prints one page per side
        }
        l.pageOrder = priv.PageOrder <= 3 ? priv.PageOrder : 0;
        l.borders = priv.PageBorders != 0;
    } else if (kind & kLayoutBooklet) {
        l.layout = Layout::Booklet;
        l.bookletKind = priv.BookletKind == kBindRight ? kBindRight : kBindLeft;
        l.bookletSheets = priv.BookletSheets;
        l.bindingMargin = static_cast<uint32_t>(uint64_t{priv.BindingMargin} * dpi / unit);
        if (dm.dmDuplex == kDuplexShortEdge) l.pagesPerSheet = 2;
    } else if (kind & kLayoutPoster) {
        l.layout = Layout::Poster;
        l.posterColumns = std::clamp<uint32_t>(priv.PosterGrid[0], 1, 16);
        l.posterRows =
            priv.PosterGrid[1] ? std::clamp<uint32_t>(priv.PosterGrid[1], 1, 16) : l.posterColumns;
        l.posterOverlap = static_cast<uint32_t>(uint64_t{priv.PosterOverlap} * dpi / unit);
    } else if (kind & kLayoutFitToPaper) {
        l.layout = Layout::Fit;
        l.fitMode = priv.FitMode;
    } else if (kind & kLayoutZoom) {
        l.layout = Layout::Zoom;
        l.zoomPercent = priv.ZoomPercent > 0 ? static_cast<uint32_t>(priv.ZoomPercent) : 100;
        l.zoomAnchor = priv.ZoomAnchor;
    }
    return l;
}

uint32_t CellsPerSide(const LayoutSettings& l) {
    if (l.layout == Layout::Booklet && l.pagesPerSheet == 2) return 2;
    if (l.layout == Layout::Nup) return l.pagesPerSheet;
    return 1;
}

bool BuildOrder(const LayoutSettings& l, uint32_t start, uint32_t pages,
                std::vector<uint32_t>* order, uint32_t* sides) {
    order->clear();
    *sides = 0;
    if (pages == 0) return false;
    const uint32_t a = CellsPerSide(l);
    if (l.layout == Layout::Poster) {
        const uint32_t tiles = l.posterColumns * l.posterRows;
        for (uint32_t p = 1; p <= pages; ++p)
            order->insert(order->end(), tiles, p);
    } else if (l.layout == Layout::Booklet && a == 2) {
        BookletOrder(l, pages, order);
        // Without blank backs a last side of two blank cells is not printed.
        if (!l.blankBacks && order->size() >= 2 && (*order)[order->size() - 1] > pages &&
            (*order)[order->size() - 2] > pages)
            order->resize(order->size() - 2);
    } else if (a < 2) {
        for (uint32_t p = 1; p <= pages; ++p)
            order->push_back(p);
    } else {
        const uint32_t cells = l.blankBacks ? a * CeilDiv(pages, 2 * a) * 2 : a * CeilDiv(pages, a);
        const Grid g = NupGrid(a, l.landscape);
        const bool bottomFirst = a == 2 && l.landscape && l.pageOrder != 0;
        order->assign(cells, 0);
        for (uint32_t i = 0; i < cells; ++i) {
            uint32_t side = i / a, q = i % a;
            (*order)[side * a + GridPosition(q, g, l.pageOrder, bottomFirst)] = i + 1;
        }
    }
    *sides = static_cast<uint32_t>(order->size() / std::max<uint32_t>(a, 1));
    for (auto& cell : *order)
        cell += start;
    if (l.reverse) {
        for (uint32_t lo = 0, hi = *sides; lo + 1 < hi; ++lo, --hi)
            std::swap_ranges(order->begin() + lo * a, order->begin() + (lo + 1) * a,
                             order->begin() + (hi - 1) * a);
    }
    return true;
}

} // namespace metaweave
