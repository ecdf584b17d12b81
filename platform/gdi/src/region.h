// Regions: sets of whole pixels kept as bands of rows, each band a sorted list
// of disjoint spans, bands sorted from the top and never touching with equal
// spans. Right and bottom edges are exclusive.
#pragma once

#include <utility>
#include <vector>

#include "geometry.h"
#include "win/gdi_dc.h"

namespace platform::gdi {

class Region {
  public:
    // Coordinates are kept within +-kLimit.
    static constexpr LONG kLimit = 1 << 27;

    Region() = default;
    static Region FromRect(LONG left, LONG top, LONG right, LONG bottom);
    static Region FromRect(const RECTL& r) { return FromRect(r.left, r.top, r.right, r.bottom); }
    // The union of the rectangles, in any order.
    static Region FromRects(const std::vector<RECTL>& rects);
    // The pixels whose centres lie inside the polygons under the fill mode
    // (ALTERNATE or WINDING); rows outside the limit (when given) are left out.
    static Region FromPolygons(const std::vector<std::vector<PointD>>& polygons, int fillMode,
                               const RECTL* limit = nullptr);

    // RGN_AND, RGN_OR, RGN_XOR or RGN_DIFF.
    Region Combine(const Region& other, int mode) const;
    Region Transformed(const Affine& a, const RECTL* limit = nullptr) const;
    void Offset(LONG dx, LONG dy);

    bool Empty() const { return bands_.empty(); }
    RECTL Bounds() const;
    // NULLREGION, SIMPLEREGION or COMPLEXREGION.
    int Kind() const;
    bool Contains(LONG x, LONG y) const;
    std::vector<RECTL> Rects() const;
    size_t RectCount() const;
    bool operator==(const Region& o) const;

  private:
    using Span = std::pair<LONG, LONG>;
    struct Band {
        LONG top, bottom;
        std::vector<Span> spans;
    };
    void Append(LONG top, LONG bottom, std::vector<Span> spans);
    std::vector<Band> bands_;
};

} // namespace platform::gdi
