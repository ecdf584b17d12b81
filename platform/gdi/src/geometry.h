// Geometry of GDI drawing: affine transforms, figures of lines and Bezier
// curves (as GetPath reports them), the curves of ellipses and arcs, and
// flattening.
#pragma once

#include <algorithm>
#include <vector>

#include "win/gdi_dc.h"

namespace platform::gdi {

struct PointD {
    double x = 0;
    double y = 0;
};

// x' = x * m11 + y * m21 + dx, y' = x * m12 + y * m22 + dy.
struct Affine {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    static Affine From(const XFORM& x);
    XFORM ToXform() const;
    PointD Apply(PointD p) const;
    // The vector part only (no translation).
    PointD ApplyVector(PointD v) const;
    // This transform, then next.
    Affine Then(const Affine& next) const;
    double Det() const { return m11 * m22 - m12 * m21; }
    bool Invert(Affine* out) const;
    bool Finite() const;
    bool IsIdentity() const;
    // Maps axis-parallel rectangles to axis-parallel rectangles.
    bool AxisAligned() const { return (m12 == 0 && m21 == 0) || (m11 == 0 && m22 == 0); }
};

// One point of a figure list: PT_MOVETO starts a figure, PT_LINETO and
// PT_BEZIERTO (three in a row) continue it, PT_CLOSEFIGURE on the last point
// closes it.
struct PathPoint {
    PointD p;
    BYTE type = PT_MOVETO;
};
using Figures = std::vector<PathPoint>;

void MoveTo(Figures& f, PointD p);
void LineTo(Figures& f, PointD p);
void BezierTo(Figures& f, PointD c1, PointD c2, PointD end);
void Close(Figures& f);
// True when the last figure is open and has a segment.
bool HasOpenFigure(const Figures& f);
void Transform(Figures& f, const Affine& a);

// Ellipses and arcs inscribed in a box (left, top, right, bottom), angles
// measured counterclockwise as seen with y growing downwards.
struct Box {
    double left, top, right, bottom;
    double CenterX() const { return (left + right) / 2; }
    double CenterY() const { return (top + bottom) / 2; }
    double RadiusX() const { return (right - left) / 2; }
    double RadiusY() const { return (bottom - top) / 2; }
};

enum class ArcKind { Open, Chord, Pie };

// The closed ellipse, from its rightmost point counterclockwise.
void AddEllipse(Figures& f, const Box& box);
// A rectangle with rounded corners of the given ellipse size.
void AddRoundRect(Figures& f, const Box& box, double width, double height);
// The arc of the ellipse from the radial through start to the radial through
// end, in the direction given (AD_*); a chord or pie is closed. With
// connect, the arc continues the open figure (a line to its start) instead of
// starting a new one. Returns the end point of the arc.
PointD AddArc(Figures& f, const Box& box, PointD start, PointD end, int direction, ArcKind kind,
              bool connect);
// The arc of a circle from startDeg sweeping sweepDeg (positive
// counterclockwise), joined by a line to the open figure.
PointD AddAngleArc(Figures& f, PointD center, double radius, double startDeg, double sweepDeg);

// The Bezier from p0 as lines, divided until each piece is flat (within a
// quarter pixel): line(PointD) gets the end point of each line in order. The
// halves are walked depth first: the left half of a piece is the next piece,
// its right half waits on a stack of the halves still to come. That makes the
// same lines as halving by recursion without its calls; the lines go
// straight to the caller (no list per curve: a page of ellipses and pies
// flattens thousands of curves). Each step works on x and y side by side in
// one register pair: every operation of the one axis is the operation it was
// alone, so the points are the same to the last bit.
template <class Line> void FlattenBezier(PointD p0, PointD p1, PointD p2, PointD p3, Line line) {
    constexpr int kMaxDepth = 12;
    using Pair = double __attribute__((vector_size(16)));
    struct Half {
        Pair p1, p2, p3;
        int depth;
    };
    Half pending[kMaxDepth];
    int count = 0;
    Half h{Pair{p1.x, p1.y}, Pair{p2.x, p2.y}, Pair{p3.x, p3.y}, 0};
    Pair start{p0.x, p0.y}; // where the piece h begins: the last point given out
    const Pair two{2, 2}, three{3, 3}, half{0.5, 0.5};
    for (;;) {
        // Distance of the control points from the chord, as a flatness bound.
        Pair u = three * h.p1 - two * start - h.p3;
        Pair v = three * h.p2 - start - two * h.p3;
        Pair uu = u * u, vv = v * v;
        Pair most = uu < vv ? vv : uu; // std::max of each axis
        double flat = most[0] + most[1];
        // 16 * tolerance^2 with a tolerance of a quarter pixel.
        if (h.depth >= kMaxDepth || !(flat > 1.0)) {
            line(PointD{h.p3[0], h.p3[1]});
            start = h.p3;
            if (count == 0) return;
            h = pending[--count];
            continue;
        }
        // Halving by two is exact, as a product by a half.
        Pair a = (start + h.p1) * half, b = (h.p1 + h.p2) * half, c = (h.p2 + h.p3) * half;
        Pair d = (a + b) * half, e = (b + c) * half;
        Pair m = (d + e) * half;
        // The right half waits; the left one, which begins at start, is next.
        pending[count++] = Half{e, c, h.p3, h.depth + 1};
        h = Half{a, d, m, h.depth + 1};
    }
}

// The points of the figures with their curves replaced by lines, one by one
// as Flatten lists them: the ends of a curve's lines but its last to
// line(PointD) (each a PT_LINETO), every other point to point(PointD, BYTE
// type), the last line of a curve closed where the curve closes its figure.
template <class Line, class Point> void FlattenFigures(const Figures& f, Line line, Point point) {
    PointD current{};
    for (size_t i = 0; i < f.size(); ++i) {
        BYTE type = f[i].type & ~PT_CLOSEFIGURE;
        if (type == PT_BEZIERTO && i + 2 < f.size()) {
            // Each line's end goes out when the next one is known, so that the
            // last can carry the close.
            bool have = false;
            PointD last{};
            FlattenBezier(current, f[i].p, f[i + 1].p, f[i + 2].p, [&](PointD p) {
                if (have) line(last);
                last = p;
                have = true;
            });
            point(last,
                  static_cast<BYTE>((f[i + 2].type & PT_CLOSEFIGURE) ? PT_LINETO | PT_CLOSEFIGURE
                                                                     : PT_LINETO));
            current = f[i + 2].p;
            i += 2;
            continue;
        }
        point(f[i].p, type == PT_BEZIERTO ? static_cast<BYTE>(PT_LINETO) : f[i].type);
        current = f[i].p;
    }
}

// Polygons of the figures with curves replaced by lines (within a quarter
// pixel); every figure becomes a closed polygon.
std::vector<std::vector<PointD>> FlattenToPolygons(const Figures& f);
// The figures with curves replaced by lines, keeping open and closed figures.
Figures Flatten(const Figures& f);

} // namespace platform::gdi
