// Regions as bands of spans, their set operations and scan conversion of
// polygons.
#include "region.h"

#include <algorithm>
#include <cmath>

namespace platform::gdi {
namespace {

// Rows scanned for polygons when the caller gives no limit.
constexpr LONG kDefaultScanLimit = 1 << 20;

LONG Clamp(long long v) {
    return static_cast<LONG>(std::clamp<long long>(v, -Region::kLimit, Region::kLimit));
}

LONG ClampD(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<LONG>(
        std::clamp(v, static_cast<double>(-Region::kLimit), static_cast<double>(Region::kLimit)));
}

using Span = std::pair<LONG, LONG>;

// Spans where op(in a, in b) holds.
template <class Op>
std::vector<Span> Merge(const std::vector<Span>& a, const std::vector<Span>& b, Op op) {
    std::vector<LONG> xs;
    xs.reserve(2 * (a.size() + b.size()));
    for (const Span& s : a)
        xs.push_back(s.first), xs.push_back(s.second);
    for (const Span& s : b)
        xs.push_back(s.first), xs.push_back(s.second);
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<Span> out;
    size_t ia = 0, ib = 0;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
        LONG x = xs[i];
        while (ia < a.size() && a[ia].second <= x)
            ++ia;
        while (ib < b.size() && b[ib].second <= x)
            ++ib;
        bool inA = ia < a.size() && a[ia].first <= x;
        bool inB = ib < b.size() && b[ib].first <= x;
        if (!op(inA, inB)) continue;
        if (!out.empty() && out.back().second == x)
            out.back().second = xs[i + 1];
        else
            out.emplace_back(x, xs[i + 1]);
    }
    return out;
}

// Sorted, merged spans of possibly overlapping intervals.
std::vector<Span> Normalize(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end());
    std::vector<Span> out;
    for (const Span& s : spans) {
        if (s.first >= s.second) continue;
        if (!out.empty() && s.first <= out.back().second)
            out.back().second = std::max(out.back().second, s.second);
        else
            out.push_back(s);
    }
    return out;
}

struct Edge {
    double x0, y0, x1, y1;
    int dir;
    LONG firstRow, lastRow; // rows whose centre line the edge crosses
    double XAt(double y) const { return x0 + (y - y0) * (x1 - x0) / (y1 - y0); }
};

} // namespace

void Region::Append(LONG top, LONG bottom, std::vector<Span> spans) {
    if (spans.empty() || top >= bottom) return;
    if (!bands_.empty() && bands_.back().bottom == top && bands_.back().spans == spans) {
        bands_.back().bottom = bottom;
        return;
    }
    bands_.push_back(Band{top, bottom, std::move(spans)});
}

Region Region::FromRect(LONG left, LONG top, LONG right, LONG bottom) {
    Region r;
    LONG l = Clamp(std::min(left, right)), rt = Clamp(std::max(left, right));
    LONG t = Clamp(std::min(top, bottom)), b = Clamp(std::max(top, bottom));
    if (l < rt && t < b) r.bands_.push_back(Band{t, b, {{l, rt}}});
    return r;
}

Region Region::FromRects(const std::vector<RECTL>& rects) {
    struct R {
        LONG l, t, r, b;
    };
    std::vector<R> rs;
    std::vector<LONG> ys;
    for (const RECTL& x : rects) {
        R n{Clamp(std::min(x.left, x.right)), Clamp(std::min(x.top, x.bottom)),
            Clamp(std::max(x.left, x.right)), Clamp(std::max(x.top, x.bottom))};
        if (n.l >= n.r || n.t >= n.b) continue;
        rs.push_back(n);
        ys.push_back(n.t);
        ys.push_back(n.b);
    }
    Region out;
    if (rs.empty()) return out;
    std::sort(rs.begin(), rs.end(), [](const R& a, const R& b) { return a.t < b.t; });
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<const R*> active;
    size_t next = 0;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        LONG y = ys[i];
        while (next < rs.size() && rs[next].t <= y)
            active.push_back(&rs[next++]);
        active.erase(
            std::remove_if(active.begin(), active.end(), [y](const R* r) { return r->b <= y; }),
            active.end());
        std::vector<Span> spans;
        spans.reserve(active.size());
        for (const R* r : active)
            spans.emplace_back(r->l, r->r);
        out.Append(y, ys[i + 1], Normalize(std::move(spans)));
    }
    return out;
}

Region Region::FromPolygons(const std::vector<std::vector<PointD>>& polygons, int fillMode,
                            const RECTL* limit) {
    std::vector<Edge> edges;
    for (const auto& poly : polygons) {
        for (size_t i = 0; i < poly.size(); ++i) {
            PointD a = poly[i], b = poly[(i + 1) % poly.size()];
            if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
                !std::isfinite(b.y))
                return Region();
            auto lim = [](double v) {
                return std::clamp(v, static_cast<double>(-kLimit), static_cast<double>(kLimit));
            };
            a = PointD{lim(a.x), lim(a.y)};
            b = PointD{lim(b.x), lim(b.y)};
            if (a.y == b.y) continue;
            Edge e{};
            e.dir = a.y < b.y ? 1 : -1;
            if (a.y > b.y) std::swap(a, b);
            e.x0 = a.x, e.y0 = a.y, e.x1 = b.x, e.y1 = b.y;
            e.firstRow = static_cast<LONG>(std::ceil(e.y0 - 0.5));
            e.lastRow = static_cast<LONG>(std::ceil(e.y1 - 0.5)) - 1;
            if (e.firstRow <= e.lastRow) edges.push_back(e);
        }
    }
    Region out;
    if (edges.empty()) return out;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
    LONG top = limit ? limit->top : -kDefaultScanLimit;
    LONG bottom = limit ? limit->bottom : kDefaultScanLimit; // exclusive
    LONG first = edges.front().firstRow, last = first;
    for (const Edge& e : edges)
        last = std::max(last, e.lastRow);
    LONG row = std::max(first, top);
    LONG end = std::min<long long>(static_cast<long long>(last) + 1, bottom);
    std::vector<const Edge*> active;
    size_t next = 0;
    std::vector<std::pair<double, int>> crossings;
    while (row < end) {
        while (next < edges.size() && edges[next].firstRow <= row) {
            if (edges[next].lastRow >= row) active.push_back(&edges[next]);
            ++next;
        }
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [row](const Edge* e) { return e->lastRow < row; }),
                     active.end());
        // The next row where the set of edges changes.
        long long change = next < edges.size() ? edges[next].firstRow : end;
        bool vertical = true;
        for (const Edge* e : active) {
            change = std::min<long long>(change, static_cast<long long>(e->lastRow) + 1);
            if (e->x0 != e->x1) vertical = false;
        }
        change = std::clamp<long long>(change, row + 1, end);
        crossings.clear();
        double yc = row + 0.5;
        for (const Edge* e : active)
            crossings.emplace_back(e->XAt(yc), e->dir);
        std::sort(crossings.begin(), crossings.end());
        std::vector<Span> spans;
        int wind = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i) {
            wind += crossings[i].second;
            bool inside = fillMode == WINDING ? wind != 0 : (i % 2) == 0;
            if (!inside) continue;
            LONG l = ClampD(std::ceil(crossings[i].first - 0.5));
            LONG r = ClampD(std::ceil(crossings[i + 1].first - 0.5));
            if (l < r) spans.emplace_back(l, r);
        }
        LONG stop = vertical ? static_cast<LONG>(change) : row + 1;
        out.Append(row, stop, Normalize(std::move(spans)));
        row = stop;
    }
    return out;
}

Region Region::Combine(const Region& o, int mode) const {
    std::vector<LONG> ys;
    for (const Band& b : bands_)
        ys.push_back(b.top), ys.push_back(b.bottom);
    for (const Band& b : o.bands_)
        ys.push_back(b.top), ys.push_back(b.bottom);
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    Region out;
    size_t ia = 0, ib = 0;
    static const std::vector<Span> kNone;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        LONG y = ys[i];
        while (ia < bands_.size() && bands_[ia].bottom <= y)
            ++ia;
        while (ib < o.bands_.size() && o.bands_[ib].bottom <= y)
            ++ib;
        const auto& a = ia < bands_.size() && bands_[ia].top <= y ? bands_[ia].spans : kNone;
        const auto& b = ib < o.bands_.size() && o.bands_[ib].top <= y ? o.bands_[ib].spans : kNone;
        std::vector<Span> spans;
        switch (mode) {
        case RGN_AND:
            spans = Merge(a, b, [](bool x, bool z) { return x && z; });
            break;
        case RGN_OR:
            spans = Merge(a, b, [](bool x, bool z) { return x || z; });
            break;
        case RGN_XOR:
            spans = Merge(a, b, [](bool x, bool z) { return x != z; });
            break;
        case RGN_DIFF:
            spans = Merge(a, b, [](bool x, bool z) { return x && !z; });
            break;
        default:
            spans = a;
            break;
        }
        out.Append(y, ys[i + 1], std::move(spans));
    }
    return out;
}

Region Region::Transformed(const Affine& a, const RECTL* limit) const {
    if (!a.Finite()) return Region();
    if (a.AxisAligned()) {
        std::vector<RECTL> rects;
        rects.reserve(RectCount());
        for (const RECTL& r : Rects()) {
            PointD p = a.Apply(PointD{static_cast<double>(r.left), static_cast<double>(r.top)});
            PointD q = a.Apply(PointD{static_cast<double>(r.right), static_cast<double>(r.bottom)});
            rects.push_back(RECTL{ClampD(std::round(p.x)), ClampD(std::round(p.y)),
                                  ClampD(std::round(q.x)), ClampD(std::round(q.y))});
        }
        Region out = FromRects(rects);
        return limit ? out.Combine(FromRect(*limit), RGN_AND) : out;
    }
    std::vector<std::vector<PointD>> polys;
    for (const RECTL& r : Rects()) {
        double l = r.left, t = r.top, rt = r.right, b = r.bottom;
        polys.push_back({a.Apply({l, t}), a.Apply({rt, t}), a.Apply({rt, b}), a.Apply({l, b})});
    }
    return FromPolygons(polys, WINDING, limit);
}

void Region::Offset(LONG dx, LONG dy) {
    for (Band& b : bands_) {
        b.top = Clamp(static_cast<long long>(b.top) + dy);
        b.bottom = Clamp(static_cast<long long>(b.bottom) + dy);
        for (Span& s : b.spans) {
            s.first = Clamp(static_cast<long long>(s.first) + dx);
            s.second = Clamp(static_cast<long long>(s.second) + dx);
        }
    }
    // Clamping at the limits can leave empty pieces behind.
    if (dx || dy) *this = FromRects(Rects());
}

RECTL Region::Bounds() const {
    if (bands_.empty()) return RECTL{0, 0, 0, 0};
    RECTL r{kLimit, bands_.front().top, -kLimit, bands_.back().bottom};
    for (const Band& b : bands_) {
        r.left = std::min(r.left, b.spans.front().first);
        r.right = std::max(r.right, b.spans.back().second);
    }
    return r;
}

int Region::Kind() const {
    if (bands_.empty()) return NULLREGION;
    return bands_.size() == 1 && bands_[0].spans.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool Region::Contains(LONG x, LONG y) const {
    for (const Band& b : bands_) {
        if (y < b.top) return false;
        if (y >= b.bottom) continue;
        for (const Span& s : b.spans)
            if (x >= s.first && x < s.second) return true;
        return false;
    }
    return false;
}

std::vector<RECTL> Region::Rects() const {
    std::vector<RECTL> out;
    out.reserve(RectCount());
    for (const Band& b : bands_)
        for (const Span& s : b.spans)
            out.push_back(RECTL{s.first, b.top, s.second, b.bottom});
    return out;
}

size_t Region::RectCount() const {
    size_t n = 0;
    for (const Band& b : bands_)
        n += b.spans.size();
    return n;
}

bool Region::operator==(const Region& o) const {
    if (bands_.size() != o.bands_.size()) return false;
    for (size_t i = 0; i < bands_.size(); ++i)
        if (bands_[i].top != o.bands_[i].top || bands_[i].bottom != o.bands_[i].bottom ||
            bands_[i].spans != o.bands_[i].spans)
            return false;
    return true;
}

} // namespace platform::gdi
