// Transforms, figures and the curves of ellipses and arcs.
#include "geometry.h"

#include <algorithm>
#include <cmath>

namespace platform::gdi {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Control distance of a quarter ellipse as a fraction of its radius.
constexpr double kQuarter = 0.5522847498307936;

// The point of the ellipse at parameter angle t (y down: counterclockwise on
// the page means growing t).
PointD At(const Box& b, double t) {
    return PointD{b.CenterX() + b.RadiusX() * std::cos(t), b.CenterY() - b.RadiusY() * std::sin(t)};
}

PointD Derivative(const Box& b, double t) {
    return PointD{-b.RadiusX() * std::sin(t), -b.RadiusY() * std::cos(t)};
}

// Appends the curve from t0 sweeping sweep (radians, signed) as Beziers of at
// most a quarter turn each; the figure is already at At(t0).
void AppendArc(Figures& f, const Box& b, double t0, double sweep) {
    int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
    double step = sweep / pieces;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < pieces; ++i) {
        double a = t0 + step * i, e = a + step;
        PointD p0 = At(b, a), p3 = At(b, e), d0 = Derivative(b, a), d3 = Derivative(b, e);
        BezierTo(f, PointD{p0.x + k * d0.x, p0.y + k * d0.y},
                 PointD{p3.x - k * d3.x, p3.y - k * d3.y}, p3);
    }
}

// The parameter angle where the ray from the centre through p meets the
// ellipse.
double AngleOf(const Box& b, PointD p) {
    double rx = b.RadiusX(), ry = b.RadiusY();
    double dx = p.x - b.CenterX(), dy = p.y - b.CenterY();
    if (rx == 0 || ry == 0 || (dx == 0 && dy == 0)) return 0;
    return std::atan2(-dy / ry, dx / rx);
}

} // namespace

Affine Affine::From(const XFORM& x) {
    return Affine{x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy};
}

XFORM Affine::ToXform() const {
    return XFORM{static_cast<FLOAT>(m11), static_cast<FLOAT>(m12), static_cast<FLOAT>(m21),
                 static_cast<FLOAT>(m22), static_cast<FLOAT>(dx),  static_cast<FLOAT>(dy)};
}

PointD Affine::Apply(PointD p) const {
    return PointD{p.x * m11 + p.y * m21 + dx, p.x * m12 + p.y * m22 + dy};
}

PointD Affine::ApplyVector(PointD v) const {
    return PointD{v.x * m11 + v.y * m21, v.x * m12 + v.y * m22};
}

Affine Affine::Then(const Affine& n) const {
    Affine r;
    r.m11 = m11 * n.m11 + m12 * n.m21;
    r.m12 = m11 * n.m12 + m12 * n.m22;
    r.m21 = m21 * n.m11 + m22 * n.m21;
    r.m22 = m21 * n.m12 + m22 * n.m22;
    r.dx = dx * n.m11 + dy * n.m21 + n.dx;
    r.dy = dx * n.m12 + dy * n.m22 + n.dy;
    return r;
}

bool Affine::Invert(Affine* out) const {
    double det = Det();
    if (det == 0 || !std::isfinite(det)) return false;
    Affine r;
    r.m11 = m22 / det;
    r.m12 = -m12 / det;
    r.m21 = -m21 / det;
    r.m22 = m11 / det;
    r.dx = -(dx * r.m11 + dy * r.m21);
    r.dy = -(dx * r.m12 + dy * r.m22);
    if (!r.Finite()) return false;
    *out = r;
    return true;
}

bool Affine::Finite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
}

bool Affine::IsIdentity() const {
    return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0;
}

void MoveTo(Figures& f, PointD p) {
    // A figure that is only a start point is replaced.
    if (!f.empty() && f.back().type == PT_MOVETO) {
        f.back().p = p;
        return;
    }
    f.push_back(PathPoint{p, PT_MOVETO});
}

void LineTo(Figures& f, PointD p) {
    f.push_back(PathPoint{p, PT_LINETO});
}

void BezierTo(Figures& f, PointD c1, PointD c2, PointD end) {
    f.push_back(PathPoint{c1, PT_BEZIERTO});
    f.push_back(PathPoint{c2, PT_BEZIERTO});
    f.push_back(PathPoint{end, PT_BEZIERTO});
}

void Close(Figures& f) {
    if (!f.empty() && f.back().type != PT_MOVETO) f.back().type |= PT_CLOSEFIGURE;
}

bool HasOpenFigure(const Figures& f) {
    return !f.empty() && f.back().type != PT_MOVETO && !(f.back().type & PT_CLOSEFIGURE);
}

void Transform(Figures& f, const Affine& a) {
    for (PathPoint& p : f)
        p.p = a.Apply(p.p);
}

void AddEllipse(Figures& f, const Box& b) {
    double cx = b.CenterX(), cy = b.CenterY(), rx = b.RadiusX(), ry = b.RadiusY();
    double kx = rx * kQuarter, ky = ry * kQuarter;
    MoveTo(f, PointD{cx + rx, cy});
    BezierTo(f, PointD{cx + rx, cy - ky}, PointD{cx + kx, cy - ry}, PointD{cx, cy - ry});
    BezierTo(f, PointD{cx - kx, cy - ry}, PointD{cx - rx, cy - ky}, PointD{cx - rx, cy});
    BezierTo(f, PointD{cx - rx, cy + ky}, PointD{cx - kx, cy + ry}, PointD{cx, cy + ry});
    BezierTo(f, PointD{cx + kx, cy + ry}, PointD{cx + rx, cy + ky}, PointD{cx + rx, cy});
    Close(f);
}

void AddRoundRect(Figures& f, const Box& b, double width, double height) {
    double rx = std::min(std::fabs(width) / 2, (b.right - b.left) / 2);
    double ry = std::min(std::fabs(height) / 2, (b.bottom - b.top) / 2);
    if (rx <= 0 || ry <= 0) {
        MoveTo(f, PointD{b.right, b.top});
        LineTo(f, PointD{b.left, b.top});
        LineTo(f, PointD{b.left, b.bottom});
        LineTo(f, PointD{b.right, b.bottom});
        Close(f);
        return;
    }
    double kx = rx * kQuarter, ky = ry * kQuarter;
    double l = b.left, t = b.top, r = b.right, bt = b.bottom;
    // Counterclockwise from the top edge's right end.
    MoveTo(f, PointD{r - rx, t});
    LineTo(f, PointD{l + rx, t});
    BezierTo(f, PointD{l + rx - kx, t}, PointD{l, t + ry - ky}, PointD{l, t + ry});
    LineTo(f, PointD{l, bt - ry});
    BezierTo(f, PointD{l, bt - ry + ky}, PointD{l + rx - kx, bt}, PointD{l + rx, bt});
    LineTo(f, PointD{r - rx, bt});
    BezierTo(f, PointD{r - rx + kx, bt}, PointD{r, bt - ry + ky}, PointD{r, bt - ry});
    LineTo(f, PointD{r, t + ry});
    BezierTo(f, PointD{r, t + ry - ky}, PointD{r - rx + kx, t}, PointD{r - rx, t});
    Close(f);
}

PointD AddArc(Figures& f, const Box& b, PointD start, PointD end, int direction, ArcKind kind,
              bool connect) {
    double t0 = AngleOf(b, start), t1 = AngleOf(b, end);
    double sweep;
    if (direction == AD_CLOCKWISE) {
        sweep = t0 - t1;
        while (sweep <= 1e-12)
            sweep += 2 * kPi;
        sweep = -sweep;
    } else {
        sweep = t1 - t0;
        while (sweep <= 1e-12)
            sweep += 2 * kPi;
    }
    PointD first = At(b, t0);
    if (connect && !f.empty())
        LineTo(f, first);
    else
        MoveTo(f, first);
    AppendArc(f, b, t0, sweep);
    PointD last = f.back().p;
    if (kind == ArcKind::Pie) LineTo(f, PointD{b.CenterX(), b.CenterY()});
    if (kind != ArcKind::Open) Close(f);
    return last;
}

PointD AddAngleArc(Figures& f, PointD center, double radius, double startDeg, double sweepDeg) {
    Box b{center.x - radius, center.y - radius, center.x + radius, center.y + radius};
    double t0 = startDeg * kPi / 180, sweep = sweepDeg * kPi / 180;
    // More than a full turn draws the circle once more; bound the work.
    sweep = std::clamp(sweep, -8 * kPi, 8 * kPi);
    PointD first = At(b, t0);
    if (!f.empty())
        LineTo(f, first);
    else
        MoveTo(f, first);
    if (sweep != 0) AppendArc(f, b, t0, sweep);
    return f.back().p;
}

Figures Flatten(const Figures& f) {
    Figures out;
    out.reserve(f.size());
    auto point = [&](PointD p, BYTE type) { out.push_back(PathPoint{p, type}); };
    FlattenFigures(
        f, [&](PointD p) { point(p, PT_LINETO); }, point);
    return out;
}

std::vector<std::vector<PointD>> FlattenToPolygons(const Figures& f) {
    std::vector<std::vector<PointD>> polys;
    for (const PathPoint& p : Flatten(f)) {
        if ((p.type & ~PT_CLOSEFIGURE) == PT_MOVETO || polys.empty()) polys.emplace_back();
        polys.back().push_back(p.p);
    }
    // Drop figures without an area to enclose.
    polys.erase(std::remove_if(polys.begin(), polys.end(),
                               [](const std::vector<PointD>& p) { return p.size() < 3; }),
                polys.end());
    return polys;
}

} // namespace platform::gdi
