// Scan conversion of paths: Béziers flattened to within a tenth of a pixel,
// polygons filled by the pixel centres inside them (alternate or winding),
// geometric pens widened into polygons with their joins and end caps, and
// line styles cut into visible pieces.
#include <algorithm>
#include <cmath>

#include "raster.h"

namespace platform::engine {
namespace {

// Farthest a flattened curve strays from the true one, in pixels.
constexpr double kFlatness = 0.1;
// Deepest subdivision of one curve (2^16 pieces).
constexpr int kMaxDepth = 16;
constexpr double kPi = 3.14159265358979323846;

PointD FromFix(POINTFIX p) {
    return PointD{p.x / 16.0, p.y / 16.0};
}

double DistanceToLine(PointD p, PointD a, PointD b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double len = std::hypot(dx, dy);
    if (len < 1e-12) return std::hypot(p.x - a.x, p.y - a.y);
    return std::fabs((p.x - a.x) * dy - (p.y - a.y) * dx) / len;
}

void FlattenBezier(PointD p0, PointD p1, PointD p2, PointD p3, int depth, Polygon* out) {
    if (depth >= kMaxDepth ||
        std::max(DistanceToLine(p1, p0, p3), DistanceToLine(p2, p0, p3)) <= kFlatness) {
        out->push_back(p3);
        return;
    }
    auto mid = [](PointD a, PointD b) { return PointD{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    PointD a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3);
    PointD d = mid(a, b), e = mid(b, c), f = mid(d, e);
    FlattenBezier(p0, a, d, f, depth + 1, out);
    FlattenBezier(f, e, c, p3, depth + 1, out);
}

void AddCircle(PointD c, double r, Polygon* out) {
    // Enough sides that no side strays from the circle by more than the flatness.
    int n = std::clamp(static_cast<int>(std::ceil(
                           kPi / std::acos(std::max(0.0, 1 - kFlatness / std::max(r, kFlatness))))),
                       8, 4096);
    out->clear();
    for (int i = 0; i < n; ++i) {
        double a = 2 * kPi * i / n;
        out->push_back(PointD{c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
}

double SignedArea(const Polygon& p) {
    double a = 0;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        a += (p[j].x - p[i].x) * (p[j].y + p[i].y);
    return a / 2;
}

// Every piece of a stroke turns the same way, so that their winding numbers
// add up and never cancel.
void Orient(Polygon& p) {
    if (p.size() >= 3 && SignedArea(p) < 0) std::reverse(p.begin(), p.end());
}

struct Edge {
    double x0, y0, x1, y1;
    int dir;
};

} // namespace

void FlattenPath(PATHOBJ* ppo, std::vector<Polygon>* figures, std::vector<bool>* closed) {
    figures->clear();
    closed->clear();
    if (!ppo) return;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    BOOL more;
    do {
        more = PATHOBJ_bEnum(ppo, &pd);
        ULONG i = 0;
        if (pd.flags & PD_BEGINSUBPATH || figures->empty()) {
            if (pd.count == 0) continue;
            figures->emplace_back();
            closed->push_back(false);
            figures->back().push_back(FromFix(pd.pptfx[0]));
            i = (pd.flags & PD_BEGINSUBPATH) ? 1 : 0;
        }
        Polygon& fig = figures->back();
        if (pd.flags & PD_BEZIERS) {
            for (; i + 2 < pd.count; i += 3)
                FlattenBezier(fig.back(), FromFix(pd.pptfx[i]), FromFix(pd.pptfx[i + 1]),
                              FromFix(pd.pptfx[i + 2]), 0, &fig);
        } else {
            for (; i < pd.count; ++i)
                fig.push_back(FromFix(pd.pptfx[i]));
        }
        if (pd.flags & PD_CLOSEFIGURE) closed->back() = true;
    } while (more);
    PATHOBJ_vEnumStart(ppo);
}

void ScanPolygonsImpl(const std::vector<Polygon>& polys, bool winding, LONG rows, void* ctx,
                      void (*span)(void*, LONG, LONG, LONG)) {
    std::vector<Edge> edges;
    double top = 1e300, bottom = -1e300;
    for (const Polygon& p : polys) {
        if (p.size() < 2) continue;
        for (size_t i = 0; i < p.size(); ++i) {
            PointD a = p[i], b = p[(i + 1) % p.size()];
            if (a.y == b.y) continue;
            int dir = a.y < b.y ? 1 : -1;
            if (dir < 0) std::swap(a, b);
            edges.push_back(Edge{a.x, a.y, b.x, b.y, dir});
            top = std::min(top, a.y);
            bottom = std::max(bottom, b.y);
        }
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    // Rows whose centres lie in [top, bottom): y + 0.5 >= top.
    // Rows off the surface are never walked.
    LONG y0 = static_cast<LONG>(std::ceil(std::clamp(top - 0.5, 0.0, double(rows))));
    LONG y1 = static_cast<LONG>(std::ceil(std::clamp(bottom - 0.5, 0.0, double(rows))));
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> xs;
    size_t next = 0;
    for (LONG y = y0; y < y1; ++y) {
        double yc = y + 0.5;
        while (next < edges.size() && edges[next].y0 <= yc)
            active.push_back(&edges[next++]);
        // An edge holds the rows whose centres lie in [y0, y1).
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [yc](const Edge* e) { return e->y1 <= yc; }),
                     active.end());
        xs.clear();
        for (const Edge* e : active) {
            if (e->y0 > yc) continue;
            double x = e->x0 + (yc - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0);
            xs.emplace_back(x, e->dir);
        }
        if (xs.size() < 2) continue;
        std::sort(xs.begin(), xs.end());
        int count = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            count += winding ? xs[i].second : 1;
            bool inside = winding ? count != 0 : (count & 1) != 0;
            if (!inside) continue;
            // Pixels whose centres lie in [xa, xb).
            double xa = std::clamp(xs[i].first - 0.5, -1e9, 1e9);
            double xb = std::clamp(xs[i + 1].first - 0.5, -1e9, 1e9);
            LONG a = static_cast<LONG>(std::ceil(xa)), b = static_cast<LONG>(std::ceil(xb));
            if (a < b) span(ctx, y, a, b);
        }
    }
}

namespace {

// The part of convex polygon p inside the rectangle (Sutherland-Hodgman), in
// place; empty when none is.
void ClipConvex(Polygon* p, double left, double top, double right, double bottom) {
    // Most pieces lie wholly inside (kept as they are) or wholly outside.
    bool allIn = true;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (PointD q : *p) {
        allIn = allIn && q.x >= left && q.x <= right && q.y >= top && q.y <= bottom;
        x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
    }
    if (allIn) return;
    if (x1 < left || x0 > right || y1 < top || y0 > bottom) {
        p->clear();
        return;
    }
    Polygon in;
    auto cut = [&](auto inside, auto cross) {
        in.swap(*p);
        p->clear();
        for (size_t i = 0; i < in.size(); ++i) {
            PointD a = in[(i + in.size() - 1) % in.size()], b = in[i];
            bool ia = inside(a), ib = inside(b);
            if (ia != ib) p->push_back(cross(a, b));
            if (ib) p->push_back(b);
        }
    };
    auto atX = [](PointD a, PointD b, double x) {
        return PointD{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
    };
    auto atY = [](PointD a, PointD b, double y) {
        return PointD{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
    };
    cut([&](PointD q) { return q.x >= left; }, [&](PointD a, PointD b) { return atX(a, b, left); });
    cut([&](PointD q) { return q.x <= right; },
        [&](PointD a, PointD b) { return atX(a, b, right); });
    cut([&](PointD q) { return q.y >= top; }, [&](PointD a, PointD b) { return atY(a, b, top); });
    cut([&](PointD q) { return q.y <= bottom; },
        [&](PointD a, PointD b) { return atY(a, b, bottom); });
}

} // namespace

void WidenFigures(const std::vector<Polygon>& figures, const std::vector<bool>& closed,
                  const LINEATTRS& la, std::vector<Polygon>* out, const SIZEL* page) {
    double half = std::max(static_cast<double>(la.elWidth.e), 1.0) / 2;
    double miter = std::max(static_cast<double>(la.eMiterLimit), 1.0);
    Polygon piece;
    // Every piece is convex: on a page, only its part on the page (and a pixel
    // around it) is kept, so that a pen far wider than the page costs what
    // the page holds, not its joins times their circles.
    auto emit = [&](Polygon p) {
        if (page) {
            ClipConvex(&p, -1, -1, page->cx + 1.0, page->cy + 1.0);
            if (p.size() < 3) return;
        }
        Orient(p);
        out->push_back(std::move(p));
    };
    // A round cap or join; on a page, one that misses it is left out and one
    // that covers it is the page itself.
    auto circle = [&](PointD c) {
        if (page) {
            double l = -1, t = -1, r = page->cx + 1.0, b = page->cy + 1.0;
            if (c.x + half < l || c.x - half > r || c.y + half < t || c.y - half > b) return;
            double fx = std::max(std::abs(c.x - l), std::abs(c.x - r));
            double fy = std::max(std::abs(c.y - t), std::abs(c.y - b));
            double inner = half - kFlatness;
            if (inner > 0 && fx * fx + fy * fy <= inner * inner) {
                emit({{l, t}, {r, t}, {r, b}, {l, b}});
                return;
            }
        }
        AddCircle(c, half, &piece);
        emit(piece);
    };
    for (size_t f = 0; f < figures.size(); ++f) {
        // Consecutive repeated points make no segment.
        Polygon pts;
        for (PointD p : figures[f])
            if (pts.empty() || std::hypot(p.x - pts.back().x, p.y - pts.back().y) > 1e-9)
                pts.push_back(p);
        bool isClosed = closed[f] && pts.size() > 2;
        if (isClosed &&
            std::hypot(pts.front().x - pts.back().x, pts.front().y - pts.back().y) < 1e-9)
            pts.pop_back();
        if (pts.size() == 1) {
            // A dot: the cap's shape around the point.
            if (la.iEndCap == ENDCAP_ROUND) {
                circle(pts[0]);
            } else if (la.iEndCap == ENDCAP_SQUARE) {
                PointD c = pts[0];
                emit({{c.x - half, c.y - half},
                      {c.x + half, c.y - half},
                      {c.x + half, c.y + half},
                      {c.x - half, c.y + half}});
            }
            continue;
        }
        size_t segs = isClosed ? pts.size() : pts.size() - 1;
        auto normal = [&](size_t i) {
            PointD a = pts[i], b = pts[(i + 1) % pts.size()];
            double len = std::hypot(b.x - a.x, b.y - a.y);
            return PointD{-(b.y - a.y) / len * half, (b.x - a.x) / len * half};
        };
        for (size_t i = 0; i < segs; ++i) {
            PointD a = pts[i], b = pts[(i + 1) % pts.size()];
            PointD n = normal(i);
            double len = std::hypot(b.x - a.x, b.y - a.y);
            PointD t{(b.x - a.x) / len * half, (b.y - a.y) / len * half};
            if (!isClosed && la.iEndCap == ENDCAP_SQUARE) {
                if (i == 0) a = PointD{a.x - t.x, a.y - t.y};
                if (i + 1 == segs) b = PointD{b.x + t.x, b.y + t.y};
            }
            emit({{a.x + n.x, a.y + n.y},
                  {b.x + n.x, b.y + n.y},
                  {b.x - n.x, b.y - n.y},
                  {a.x - n.x, a.y - n.y}});
        }
        // Joins at the inner points (and, closed, at the first one).
        size_t firstJoin = isClosed ? 0 : 1, lastJoin = isClosed ? pts.size() : pts.size() - 1;
        for (size_t j = firstJoin; j < lastJoin; ++j) {
            size_t prev = (j + pts.size() - 1) % pts.size();
            PointD c = pts[j];
            if (la.iJoin == JOIN_ROUND) {
                circle(c);
                continue;
            }
            PointD n1 = normal(prev), n2 = normal(j);
            // The outer side is where the path turns away from.
            double cross = n1.x * n2.y - n1.y * n2.x;
            double side = cross > 0 ? 1 : -1;
            PointD o1{c.x - side * n1.x, c.y - side * n1.y},
                o2{c.x - side * n2.x, c.y - side * n2.y};
            if (la.iJoin == JOIN_MITER) {
                // The miter's tip lies along the bisector at half / cos(theta / 2).
                PointD bis{-(n1.x + n2.x) * side, -(n1.y + n2.y) * side};
                double bl = std::hypot(bis.x, bis.y);
                double cosHalf = bl / (2 * half);
                if (cosHalf > 1e-9 && 1 / cosHalf <= miter) {
                    double reach = half / cosHalf;
                    PointD tip{c.x + bis.x / bl * reach, c.y + bis.y / bl * reach};
                    emit({c, o1, tip, o2});
                    continue;
                }
            }
            emit({c, o1, o2});
        }
        if (!isClosed && la.iEndCap == ENDCAP_ROUND) {
            circle(pts.front());
            circle(pts.back());
        }
    }
}

namespace {

// The part [t0, t1] of the segment a-b (as fractions of it) that lies in the
// rectangle; false when none does.
bool SegmentInside(PointD a, PointD b, double left, double top, double right, double bottom,
                   double* t0, double* t1) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    *t0 = 0, *t1 = 1;
    auto cut = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > *t1) return false;
            *t0 = std::max(*t0, r);
        } else {
            if (r < *t0) return false;
            *t1 = std::min(*t1, r);
        }
        return true;
    };
    return cut(-dx, a.x - left) && cut(dx, right - a.x) && cut(-dy, a.y - top) &&
           cut(dy, bottom - a.y);
}

// Where a style stands along a line: the entry, what is left of it, and
// whether that entry draws.
struct StylePhase {
    const std::vector<double>& style;
    double period; // the length after which the phase repeats
    size_t entry;
    double left;
    bool on;

    void Next() {
        on = !on;
        entry = (entry + 1) % style.size();
        left = style[entry];
    }
    // Moves the phase on by a distance without drawing: at most one period's
    // worth of entries is walked, however long the distance.
    void Skip(double distance) {
        if (distance < left) {
            left -= distance;
            return;
        }
        distance -= left;
        Next();
        distance = std::fmod(distance, period);
        for (size_t guard = 0; distance >= left && guard <= 2 * style.size(); ++guard) {
            distance -= left;
            Next();
        }
        left -= std::min(distance, left);
    }
};

} // namespace

void ApplyStyle(const std::vector<Polygon>& figures, const std::vector<bool>& closed,
                const LINEATTRS& la, double unit, std::vector<Polygon>* pieces,
                std::vector<bool>* piecesClosed, const SIZEL* page, double margin) {
    pieces->clear();
    piecesClosed->clear();
    bool geometric = (la.fl & LA_GEOMETRIC) != 0;
    std::vector<double> style;
    if (la.fl & LA_ALTERNATE) {
        style = {unit, unit};
    } else if ((la.fl & LA_STYLED) && la.pstyle && la.cstyle) {
        for (ULONG i = 0; i < la.cstyle; ++i) {
            double v = geometric ? la.pstyle[i].e : la.pstyle[i].l * unit;
            style.push_back(std::isfinite(v) ? std::max(v, 0.0) : 0.0);
        }
    }
    double total = 0;
    for (double v : style)
        total += v;
    if (style.empty() || total <= 0) {
        *pieces = figures;
        *piecesClosed = closed;
        return;
    }
    // A style that starts with a gap begins in the second entry; an odd
    // number of entries swaps dashes and gaps every round.
    const size_t first = (la.fl & LA_STARTGAP) ? 1 % style.size() : 0;
    StylePhase phase{style, style.size() % 2 ? 2 * total : total, first, style[first],
                     first % 2 == 0};
    // Only what lies on the page (with room for the pen) is walked, so a
    // figure costs time by its part on the page; a segment that fits the
    // page is walked whole, so its dashes never move.
    const double w = page ? page->cx : 0, h = page ? page->cy : 0;
    for (size_t f = 0; f < figures.size(); ++f) {
        Polygon pts = figures[f];
        if (closed[f] && !pts.empty()) pts.push_back(pts.front());
        Polygon cur;
        if (phase.on && !pts.empty()) cur.push_back(pts[0]);
        auto endPiece = [&] {
            if (cur.size() >= 2) pieces->push_back(std::move(cur));
            cur.clear();
        };
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            PointD a = pts[i], b = pts[i + 1];
            double len = std::hypot(b.x - a.x, b.y - a.y), at = 0, stop = len;
            if (!std::isfinite(len)) continue;
            if (page && std::fabs(b.x - a.x) + std::fabs(b.y - a.y) > 4 * (w + h)) {
                double t0 = 0, t1 = 0;
                if (!SegmentInside(a, b, -margin, -margin, w + margin, h + margin, &t0, &t1)) {
                    endPiece();
                    phase.Skip(len);
                    if (phase.on) cur = {b};
                    continue;
                }
                if (t0 > 0) {
                    endPiece();
                    at = t0 * len;
                    phase.Skip(at);
                    if (phase.on) cur = {{a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0}};
                }
                stop = t1 * len;
            }
            auto point = [&](double d) {
                return PointD{a.x + (b.x - a.x) * d / len, a.y + (b.y - a.y) * d / len};
            };
            // Bounded: a style of tiny entries along a long line stops here.
            for (int guard = 0; stop - at > phase.left && guard < 1000000; ++guard) {
                at += phase.left;
                PointD p = point(at);
                if (phase.on) {
                    cur.push_back(p);
                    pieces->push_back(std::move(cur));
                    cur.clear();
                } else {
                    cur = {p};
                }
                phase.Next();
            }
            phase.left -= std::min(phase.left, stop - at);
            if (stop < len) {
                if (phase.on) cur.push_back(point(stop));
                endPiece();
                phase.Skip(len - stop);
                if (phase.on) cur = {b};
            } else if (phase.on) {
                cur.push_back(b);
            }
        }
        if (phase.on && cur.size() >= 2) pieces->push_back(std::move(cur));
    }
    piecesClosed->assign(pieces->size(), false);
}

} // namespace platform::engine
