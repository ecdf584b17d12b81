// Lines, curves and shapes on device contexts, and how they reach the driver:
// figures in device units become a PATHOBJ, the pen a LINEATTRS and a brush,
// the brush a BRUSHOBJ, the clip a CLIPOBJ, each played through the drawing
// seam (at once, or per band).
#include "drawing.h"

#include <algorithm>
#include <cmath>

#include "platform/engine_objects.h"
#include "platform/gdi_drawing.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// Device coordinates are kept within the 28.4 range with room to spare.
constexpr double kMaxDevice = 1 << 26;
// Points of a run kept between paths at most (64 KB).
constexpr size_t kKeptRunPoints = 8192;
// Points of a box shape or an arc, reserved at once (a rounded rectangle has
// 17, a pie 14).
constexpr size_t kShapePoints = 20;

inline FIX ToFix(double v) {
    double x = std::clamp(v, -kMaxDevice, kMaxDevice) * 16;
    // std::lround without its library call (a call per point of every
    // flattened curve): within the clamp (+-2^30) the whole part is exact in
    // 32 bits, and so is the fraction, so halves go away from zero as lround
    // takes them; only a NaN passes the clamp, and goes to lround as before.
    if (std::isnan(x)) return static_cast<FIX>(std::lround(x));
    int whole = static_cast<int>(x);
    double fraction = x - static_cast<double>(whole);
    return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

bool Finite(const Figures& f) {
    return std::all_of(f.begin(), f.end(), [](const PathPoint& p) {
        return std::isfinite(p.p.x) && std::isfinite(p.p.y);
    });
}

// Builds the engine's path of figures point by point: runs of lines or of
// curves go in whole, a start point or a closed figure ends the run.
class PathBuilder {
  public:
    PathBuilder(PATHOBJ* ppo, bool closeAll, std::vector<POINTFIX>& run)
        : ppo_(ppo), closeAll_(closeAll), run_(run) {
        run_.clear();
    }

    void Add(PointD at, BYTE pointType) {
        BYTE type = pointType & ~PT_CLOSEFIGURE;
        POINTFIX p{ToFix(at.x), ToFix(at.y)};
        if (type == PT_MOVETO || !open_) {
            Flush();
            if (open_ && closeAll_) PATHOBJ_bCloseFigure(ppo_);
            PATHOBJ_bMoveTo(ppo_, p);
            open_ = true;
            return;
        }
        bool beziers = type == PT_BEZIERTO;
        if (!run_.empty() && beziers != runBeziers_) Flush();
        runBeziers_ = beziers;
        run_.push_back(p);
        if (pointType & PT_CLOSEFIGURE) {
            Flush();
            PATHOBJ_bCloseFigure(ppo_);
            open_ = false;
        }
    }

    // The end of a line that does not close its figure (most points of a
    // flattened curve): what Add does with it, without its tests where the
    // figure is open and the run is of lines.
    void AddLine(PointD at) {
        if (!open_ || runBeziers_) return Add(at, PT_LINETO);
        run_.push_back(POINTFIX{ToFix(at.x), ToFix(at.y)});
    }

    void Finish() {
        Flush();
        if (open_ && closeAll_) PATHOBJ_bCloseFigure(ppo_);
        // The room of a huge path is not kept for the next ones.
        if (run_.capacity() > kKeptRunPoints) std::vector<POINTFIX>().swap(run_);
    }

  private:
    void Flush() {
        if (runBeziers_) run_.resize(run_.size() / 3 * 3);
        if (run_.empty()) return;
        if (runBeziers_)
            PATHOBJ_bPolyBezierTo(ppo_, run_.data(), static_cast<ULONG>(run_.size()));
        else
            PATHOBJ_bPolyLineTo(ppo_, run_.data(), static_cast<ULONG>(run_.size()));
        run_.clear();
    }

    PATHOBJ* ppo_;
    bool closeAll_;
    std::vector<POINTFIX>& run_;
    bool runBeziers_ = false, open_ = false;
};

// The figures as a path of the engine; closeAll closes every figure (for
// filling). Without flatten the curves stay curves; with it they become the
// lines that Flatten makes of them, straight into the path (no flattened copy
// of the figures).
PATHOBJ* BuildPath(const Figures& f, bool closeAll, bool flatten) {
    PATHOBJ* ppo = EngCreatePath();
    if (!ppo) return nullptr;
    // The points of a run, kept from path to path: a drawing call builds its
    // path here and nothing here calls out of the platform, so the next use
    // finds it free.
    thread_local std::vector<POINTFIX> run;
    PathBuilder path(ppo, closeAll, run);
    if (!flatten) {
        for (const PathPoint& pt : f)
            path.Add(pt.p, pt.type);
        path.Finish();
        return ppo;
    }
    FlattenFigures(
        f, [&](PointD p) { path.AddLine(p); }, [&](PointD p, BYTE type) { path.Add(p, type); });
    path.Finish();
    return ppo;
}

// Style lengths of the dashed styles, in style units of a cosmetic line or in
// pen widths of a geometric one.
const std::vector<double>& StyleOf(DWORD kind) {
    static const std::vector<double> dash{3, 1}, dot{1, 1}, dashDot{3, 1, 1, 1},
        dashDotDot{3, 1, 1, 1, 1, 1}, none;
    switch (kind) {
    case PS_DASH:
        return dash;
    case PS_DOT:
        return dot;
    case PS_DASHDOT:
        return dashDot;
    case PS_DASHDOTDOT:
        return dashDotDot;
    default:
        return none;
    }
}

// The pen for the driver; false for a null pen.
bool MakePen(const DcState& dc, const DeviceColors& colors, BrushSpec* brush, LINEATTRS* line,
             std::vector<FLOAT_LONG>* style) {
    const PenData& p = dc.a.pen->pen;
    DWORD kind = p.style & PS_STYLE_MASK;
    if (kind == PS_NULL) return false;
    double scale = LogicalScale(dc.a);
    double width = p.width * scale;
    bool geometric = p.extended ? (p.style & PS_TYPE_MASK) == PS_GEOMETRIC : width > 1;
    *line = LINEATTRS{};
    style->clear();
    if (p.extended && geometric) {
        if (!MakeBrushSpec(dc, colors, p.brush, brush)) return false;
    } else {
        *brush = BrushSpec{};
        brush->color = colors(p.dcPen ? dc.a.dcPenColor : p.color);
    }
    line->eMiterLimit = static_cast<FLOATL>(dc.a.miterLimit);
    if (!geometric) {
        line->elWidth.l = 1;
        if (kind == PS_ALTERNATE) {
            line->fl |= LA_ALTERNATE;
        } else if (kind == PS_USERSTYLE) {
            for (DWORD e : p.userStyle)
                style->push_back(
                    FLOAT_LONG{.l = static_cast<LONG>(std::min<DWORD>(e, 0x7FFFFFFF))});
        } else {
            for (double e : StyleOf(kind))
                style->push_back(FLOAT_LONG{.l = static_cast<LONG>(e)});
        }
    } else {
        line->fl = LA_GEOMETRIC;
        line->elWidth.e = static_cast<FLOATL>(std::min(width, kMaxDevice));
        DWORD join = p.style & PS_JOIN_MASK, cap = p.style & PS_ENDCAP_MASK;
        line->iJoin = join == PS_JOIN_BEVEL   ? JOIN_BEVEL
                      : join == PS_JOIN_MITER ? JOIN_MITER
                                              : JOIN_ROUND;
        line->iEndCap = cap == PS_ENDCAP_SQUARE ? ENDCAP_SQUARE
                        : cap == PS_ENDCAP_FLAT ? ENDCAP_BUTT
                                                : ENDCAP_ROUND;
        // Wide pens of CreatePen draw solid whatever their style.
        if (p.extended && kind == PS_USERSTYLE) {
            for (DWORD e : p.userStyle)
                style->push_back(
                    FLOAT_LONG{.e = static_cast<FLOATL>(std::min(e * scale, kMaxDevice))});
        } else if (p.extended) {
            for (double e : StyleOf(kind))
                style->push_back(FLOAT_LONG{.e = static_cast<FLOATL>(e * line->elWidth.e)});
        }
    }
    if (!style->empty()) {
        line->fl |= LA_STYLED;
        line->cstyle = static_cast<ULONG>(style->size());
        line->pstyle = style->data();
    }
    return true;
}

MIX MixOf(const DcState& dc, int rop2) {
    ULONG fore = static_cast<ULONG>(rop2 ? rop2 : dc.a.rop2);
    ULONG back = dc.a.bkMode == OPAQUE ? fore : static_cast<ULONG>(R2_NOP);
    return fore | back << 8;
}

// Appends device figures to the open path. With join, a figure that starts
// where the path's open figure ends continues it.
void AppendToPath(DcState& dc, const Figures& device, bool join) {
    Figures& path = dc.a.path;
    for (size_t i = 0; i < device.size(); ++i) {
        const PathPoint& p = device[i];
        if (p.type == PT_MOVETO) {
            bool continues = i == 0 && join && HasOpenFigure(path) &&
                             std::fabs(path.back().p.x - p.p.x) < 1e-9 &&
                             std::fabs(path.back().p.y - p.p.y) < 1e-9;
            if (!continues) MoveTo(path, p.p);
            continue;
        }
        path.push_back(p);
    }
}

BOOL EmitWith(DcState& dc, Figures device, bool fill, bool stroke, bool join) {
    if (!Finite(device)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dc.a.pathMode == PathMode::Open) {
        AppendToPath(dc, device, join);
        return TRUE;
    }
    return DrawFigures(dc, device, DrawOptions{fill, stroke});
}

// Logical figures, transformed to device units and emitted.
BOOL EmitLogical(DcState& dc, Figures f, bool fill, bool stroke, bool join = false) {
    Transform(f, LogicalToDevice(dc.a));
    return EmitWith(dc, std::move(f), fill, stroke, join);
}

PointD P(LONG x, LONG y) {
    return PointD{static_cast<double>(x), static_cast<double>(y)};
}

// Whether two device points lie less than a pixel apart on both axes.
bool WithinPixel(PointD a, PointD b) {
    return std::fabs(a.x - b.x) < 1 && std::fabs(a.y - b.y) < 1;
}

// Lines through logical points, added in device units. A point within a
// device pixel of both the point kept before it and the point after it adds
// nothing a page can show and is left out (the lines stay within a pixel of
// every point), so that a run of millions of points on a few pixels costs
// what those pixels cost; a corner before a longer step is kept, so a shape
// thinner than a pixel keeps its outline, and the last point is always kept,
// so the lines end where they should.
void AddLines(Figures& f, const Affine& toDevice, const POINT* apt, size_t count) {
    if (count == 0) return;
    PointD p = toDevice.Apply(P(apt[0].x, apt[0].y));
    for (size_t i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        PointD next = last ? p : toDevice.Apply(P(apt[i + 1].x, apt[i + 1].y));
        if (last || f.empty() || !WithinPixel(f.back().p, p) || !WithinPixel(p, next)) LineTo(f, p);
        p = next;
    }
}

// Curves through logical points (three for each), added in device units; a
// curve whose points all lie within a device pixel of the point kept before
// it is left out as a line would be (the last one ends the figure as a line).
void AddBeziers(Figures& f, const Affine& toDevice, const POINT* apt, size_t count) {
    for (size_t i = 0; i + 2 < count; i += 3) {
        PointD c1 = toDevice.Apply(P(apt[i].x, apt[i].y));
        PointD c2 = toDevice.Apply(P(apt[i + 1].x, apt[i + 1].y));
        PointD end = toDevice.Apply(P(apt[i + 2].x, apt[i + 2].y));
        PointD from = f.back().p;
        if (WithinPixel(from, c1) && WithinPixel(from, c2) && WithinPixel(from, end)) {
            if (i + 3 >= count) LineTo(f, end);
            continue;
        }
        BezierTo(f, c1, c2, end);
    }
}

// A figure through logical points in device units, from the first point.
void AddFigure(Figures& f, const Affine& toDevice, const POINT* apt, size_t count) {
    MoveTo(f, toDevice.Apply(P(apt[0].x, apt[0].y)));
    AddLines(f, toDevice, apt + 1, count - 1);
}

BOOL Invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// Where a box shape is built: in GM_COMPATIBLE on the device with the
// bottom-right edges left out, in GM_ADVANCED in logical units.
struct ShapeSpace {
    Box box{};
    Affine toDevice;    // from the space of the box
    Affine fromLogical; // into the space of the box
};

bool MakeShapeSpace(const DcState& dc, LONG l, LONG t, LONG r, LONG b, ShapeSpace* s) {
    PointD p = P(l, t), q = P(r, b);
    if (dc.a.graphicsMode == GM_COMPATIBLE) {
        s->fromLogical = LogicalToDevice(dc.a);
        p = s->fromLogical.Apply(p);
        q = s->fromLogical.Apply(q);
    } else {
        s->toDevice = LogicalToDevice(dc.a);
    }
    s->box = Box{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y)};
    if (dc.a.graphicsMode == GM_COMPATIBLE) {
        s->box.right -= 1;
        s->box.bottom -= 1;
    }
    // An inside-frame pen keeps its whole width within the box.
    const PenData& pen = dc.a.pen->pen;
    if ((pen.style & PS_STYLE_MASK) == PS_INSIDEFRAME && pen.width > 1) {
        double half = pen.width / 2.0;
        if (dc.a.graphicsMode == GM_COMPATIBLE) half *= LogicalScale(dc.a);
        s->box.left += half, s->box.top += half, s->box.right -= half, s->box.bottom -= half;
    }
    return std::isfinite(s->box.left) && std::isfinite(s->box.right) && std::isfinite(s->box.top) &&
           std::isfinite(s->box.bottom) && s->box.right > s->box.left && s->box.bottom > s->box.top;
}

BOOL BoxShape(HDC hdc, LONG l, LONG t, LONG r, LONG b, bool fill,
              void (*build)(Figures&, const Box&, const void*), const void* arg) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    ShapeSpace s;
    if (!MakeShapeSpace(*dc, l, t, r, b, &s)) return TRUE;
    Figures f;
    f.reserve(kShapePoints);
    build(f, s.box, arg);
    Transform(f, s.toDevice);
    return EmitWith(*dc, std::move(f), fill, true, false);
}

struct ArcArgs {
    LONG xs, ys, xe, ye;
    ArcKind kind;
};

BOOL ArcShape(HDC hdc, LONG l, LONG t, LONG r, LONG b, LONG xs, LONG ys, LONG xe, LONG ye,
              ArcKind kind, bool to) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    ShapeSpace s;
    if (!MakeShapeSpace(*dc, l, t, r, b, &s)) return TRUE;
    Figures f;
    f.reserve(kShapePoints);
    if (to) MoveTo(f, s.fromLogical.Apply(dc->a.current));
    PointD end = AddArc(f, s.box, s.fromLogical.Apply(P(xs, ys)), s.fromLogical.Apply(P(xe, ye)),
                        dc->a.arcDirection, kind, to);
    Transform(f, s.toDevice);
    if (to) {
        Affine back;
        if (s.fromLogical.Invert(&back)) dc->a.current = back.Apply(end);
    }
    return EmitWith(*dc, std::move(f), kind != ArcKind::Open, true, to);
}

// The region in device units of a region given in logical units.
Region DeviceRegion(const DcState& dc, const Region& logical) {
    Affine m = LogicalToDevice(dc.a);
    if (m.IsIdentity()) return logical;
    RECTL page = PageRect(dc);
    RECTL limit{page.left - page.right, page.top - page.bottom, 2 * page.right, 2 * page.bottom};
    return logical.Transformed(m, &limit);
}

Figures RegionFigures(const Region& r) {
    Figures f;
    for (const RECTL& x : r.Rects()) {
        MoveTo(f, P(x.left, x.top));
        LineTo(f, P(x.right, x.top));
        LineTo(f, P(x.right, x.bottom));
        LineTo(f, P(x.left, x.bottom));
        Close(f);
    }
    return f;
}

BOOL FillRegion(HDC hdc, HRGN hrgn, const BrushData* brush, int rop2) {
    auto rgn = FindObject(hrgn, ObjectKind::Region);
    if (!rgn) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures f = RegionFigures(DeviceRegion(*dc, rgn->region));
    if (f.empty()) return TRUE;
    DrawOptions o;
    o.fill = true;
    o.brush = brush;
    o.rop2 = rop2;
    return DrawFigures(*dc, f, o);
}

} // namespace

DeviceColors::DeviceColors(const DcState& dc) {
    HPALETTE device = dc.facts.devinfo.hpalDefault;
    // Colours go to an RGB device as they are (the translation would be
    // trivial): no palette and translation made and deleted for every call.
    if (!device || engine::PaletteMode(device) == PAL_RGB) return;
    rgb_ = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    if (rgb_) xlate_ = engine::CreatePaletteXlate(rgb_, device);
}

DeviceColors::~DeviceColors() {
    if (xlate_) engine::DeleteXlate(xlate_);
    if (rgb_) EngDeletePalette(rgb_);
}

ULONG DeviceColors::operator()(COLORREF c) const {
    // PALETTEINDEX picks from the default palette; PALETTERGB is a colour.
    if ((c >> 24) == 0x01)
        c = DefaultPaletteColor(c & 0xFFFF);
    else
        c &= 0xFFFFFF;
    if (!xlate_ || (xlate_->flXlate & XO_TRIVIAL)) return c;
    return XLATEOBJ_iXlate(xlate_, c);
}

// The brush for the driver; false for a null brush.
bool MakeBrushSpec(const DcState& dc, const DeviceColors& colors, const BrushData& b,
                   BrushSpec* out) {
    BrushSpec s;
    switch (b.style) {
    case BS_NULL:
        return false;
    case BS_HATCHED:
        s.hatch = true;
        s.style = std::min<ULONG>(b.hatch, HS_DIAGCROSS);
        s.color = colors(b.color);
        s.background = colors(dc.a.bkColor);
        break;
    case BS_DIBPATTERNPT:
        if (b.pattern) {
            auto p = std::make_shared<BrushPattern>();
            p->size = SIZEL{b.pattern->width, b.pattern->height};
            p->indices = b.pattern->indices;
            if (b.pattern->mono) {
                // Set bits take the background colour, clear ones the text colour.
                p->colors = {colors(dc.a.textColor), colors(dc.a.bkColor)};
            } else {
                for (COLORREF c : b.pattern->palette)
                    p->colors.push_back(colors(c));
            }
            s.pattern = std::move(p);
            break;
        }
        s.color = colors(b.color);
        break;
    default:
        s.color = colors(b.dcBrush ? dc.a.dcBrushColor : b.color);
        break;
    }
    *out = std::move(s);
    return true;
}

// The most pixels a stroke of the figures can draw: each segment (a curve by
// its control points) as long as its longer axis, as wide as the pen.
double StrokeWork(const Figures& device, const LINEATTRS& line) {
    double length = 0;
    for (size_t i = 1; i < device.size(); ++i) {
        if ((device[i].type & ~PT_CLOSEFIGURE) == PT_MOVETO) continue;
        PointD a = device[i - 1].p, b = device[i].p;
        length += std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y)) + 1;
    }
    double width = (line.fl & LA_GEOMETRIC) ? std::max(1.0, double{line.elWidth.e}) : 1.0;
    return length * width;
}

// The most pixels a fill of the figures can draw: their bounds on the page.
double FillWork(const DcState& dc, const Figures& device) {
    double left = device[0].p.x, right = left, top = device[0].p.y, bottom = top;
    for (const PathPoint& pt : device) {
        left = std::min(left, pt.p.x);
        right = std::max(right, pt.p.x);
        top = std::min(top, pt.p.y);
        bottom = std::max(bottom, pt.p.y);
    }
    RECTL page = PageRect(dc);
    double w = std::min<double>(right, page.right) - std::max<double>(left, page.left);
    double h = std::min<double>(bottom, page.bottom) - std::max<double>(top, page.top);
    return w > 0 && h > 0 ? (w + 1) * (h + 1) : 0;
}

BOOL DrawFigures(DcState& dc, const Figures& device, const DrawOptions& o) {
    if (device.size() < 2 || !dc.a.pen || !dc.a.brush) return TRUE;
    auto clip = EffectiveClip(dc.a);
    if (clip && clip->Empty()) return TRUE;
    DeviceColors colors(dc);
    BrushSpec brush, pen;
    LINEATTRS line{};
    std::vector<FLOAT_LONG> style;
    const BrushData& bd = o.brush ? *o.brush : dc.a.brush->brush;
    bool fill = o.fill && MakeBrushSpec(dc, colors, bd, &brush);
    bool stroke = o.stroke && MakePen(dc, colors, &pen, &line, &style);
    if (!fill && !stroke) return TRUE;
    bool beziers = (dc.facts.devinfo.flGraphicsCaps & GCAPS_BEZIERS) != 0;
    PATHOBJ* ppo = BuildPath(device, fill, !beziers);
    if (!ppo) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (ppo->cCurves == 0) {
        EngDeletePath(ppo);
        return TRUE;
    }
    std::vector<RECTL> rects;
    if (clip) rects = clip->Rects();
    MIX mix = MixOf(dc, o.rop2);
    FLONG mode = dc.a.polyFillMode == WINDING ? FP_WINDINGMODE : FP_ALTERNATEMODE;
    // The call takes the path over: it is built for this call only.
    std::unique_ptr<DrawingCall> call;
    if (fill && stroke)
        call = MakeStrokeAndFillPath(ppo, rects, pen, line, brush, mix, mode, true);
    else if (fill)
        call = MakeFillPath(ppo, rects, brush, mix, mode, true);
    else
        call = MakeStrokePath(ppo, rects, pen, line, mix, true);
    double work = (fill ? FillWork(dc, device) : 0) + (stroke ? StrokeWork(device, line) : 0);
    return SubmitDrawing(dc.hdc, std::move(call), work);
}

ULONG DeviceColor(const DcState& dc, COLORREF color) {
    return DeviceColors(dc)(color);
}

BOOL Emit(DcState& dc, const Figures& device, bool fill, bool stroke) {
    return EmitWith(dc, device, fill, stroke, false);
}

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    PLATFORM_FAULT_POINT("MoveToEx", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    if (lppt)
        *lppt = POINT{static_cast<LONG>(std::lround(dc->a.current.x)),
                      static_cast<LONG>(std::lround(dc->a.current.y))};
    dc->a.current = P(x, y);
    if (dc->a.pathMode == PathMode::Open)
        MoveTo(dc->a.path, LogicalToDevice(dc->a).Apply(dc->a.current));
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    PLATFORM_FAULT_POINT("LineTo", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    PointD from = m.Apply(dc->a.current), to = m.Apply(P(x, y));
    dc->a.current = P(x, y);
    Figures f;
    MoveTo(f, from);
    LineTo(f, to);
    if (dc->a.pathMode == PathMode::Open) return EmitWith(*dc, std::move(f), false, true, true);
    // A one-pixel solid line between whole pixels goes to the driver as a line.
    DeviceColors colors(*dc);
    BrushSpec pen;
    LINEATTRS line{};
    std::vector<FLOAT_LONG> style;
    bool whole = std::fabs(from.x - std::round(from.x)) < 1e-6 &&
                 std::fabs(from.y - std::round(from.y)) < 1e-6 &&
                 std::fabs(to.x - std::round(to.x)) < 1e-6 &&
                 std::fabs(to.y - std::round(to.y)) < 1e-6 && std::fabs(from.x) < kMaxDevice &&
                 std::fabs(from.y) < kMaxDevice && std::fabs(to.x) < kMaxDevice &&
                 std::fabs(to.y) < kMaxDevice;
    if (!whole || !MakePen(*dc, colors, &pen, &line, &style) || line.fl != 0 || pen.hatch ||
        pen.pattern)
        return EmitWith(*dc, std::move(f), false, true, false);
    auto clip = EffectiveClip(dc->a);
    if (clip && clip->Empty()) return TRUE;
    std::vector<RECTL> rects;
    if (clip) rects = clip->Rects();
    POINTL a{static_cast<LONG>(std::lround(from.x)), static_cast<LONG>(std::lround(from.y))};
    POINTL b{static_cast<LONG>(std::lround(to.x)), static_cast<LONG>(std::lround(to.y))};
    double work = std::max(std::abs(static_cast<double>(b.x) - a.x),
                           std::abs(static_cast<double>(b.y) - a.y)) +
                  1;
    return SubmitDrawing(hdc, MakeLine(a, b, rects, pen, MixOf(*dc, 0)), work);
}

BOOL WINAPI Polyline(HDC hdc, const POINT* apt, int cpt) {
    PLATFORM_FAULT_POINT("Polyline", FALSE);
    if (!apt || cpt < 2) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures f;
    AddFigure(f, LogicalToDevice(dc->a), apt, static_cast<size_t>(cpt));
    return EmitWith(*dc, std::move(f), false, true, false);
}

BOOL WINAPI PolylineTo(HDC hdc, const POINT* apt, DWORD cpt) {
    PLATFORM_FAULT_POINT("PolylineTo", FALSE);
    if (!apt || cpt < 1) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    Figures f;
    MoveTo(f, m.Apply(dc->a.current));
    AddLines(f, m, apt, cpt);
    dc->a.current = P(apt[cpt - 1].x, apt[cpt - 1].y);
    return EmitWith(*dc, std::move(f), false, true, true);
}

BOOL WINAPI PolyPolyline(HDC hdc, const POINT* apt, const DWORD* asz, DWORD csz) {
    PLATFORM_FAULT_POINT("PolyPolyline", FALSE);
    if (!apt || !asz || csz == 0) return Invalid();
    for (DWORD i = 0; i < csz; ++i)
        if (asz[i] < 2) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    Figures f;
    size_t at = 0;
    for (DWORD i = 0; i < csz; ++i) {
        AddFigure(f, m, apt + at, asz[i]);
        at += asz[i];
    }
    return EmitWith(*dc, std::move(f), false, true, false);
}

BOOL WINAPI PolyBezier(HDC hdc, const POINT* apt, DWORD cpt) {
    PLATFORM_FAULT_POINT("PolyBezier", FALSE);
    if (!apt || cpt < 4 || (cpt - 1) % 3) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    Figures f;
    MoveTo(f, m.Apply(P(apt[0].x, apt[0].y)));
    AddBeziers(f, m, apt + 1, cpt - 1);
    return EmitWith(*dc, std::move(f), false, true, false);
}

BOOL WINAPI PolyBezierTo(HDC hdc, const POINT* apt, DWORD cpt) {
    PLATFORM_FAULT_POINT("PolyBezierTo", FALSE);
    if (!apt || cpt < 3 || cpt % 3) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    Figures f;
    MoveTo(f, m.Apply(dc->a.current));
    AddBeziers(f, m, apt, cpt);
    dc->a.current = P(apt[cpt - 1].x, apt[cpt - 1].y);
    return EmitWith(*dc, std::move(f), false, true, true);
}

BOOL WINAPI PolyDraw(HDC hdc, const POINT* apt, const BYTE* aj, int cpt) {
    PLATFORM_FAULT_POINT("PolyDraw", FALSE);
    if (!apt || !aj || cpt < 1) return Invalid();
    for (int i = 0; i < cpt; ++i) {
        BYTE type = aj[i] & ~PT_CLOSEFIGURE;
        if (type == PT_BEZIERTO) {
            if (i + 2 >= cpt || (aj[i + 1] & ~PT_CLOSEFIGURE) != PT_BEZIERTO ||
                (aj[i + 2] & ~PT_CLOSEFIGURE) != PT_BEZIERTO)
                return Invalid();
            i += 2;
        } else if (type != PT_MOVETO && type != PT_LINETO) {
            return Invalid();
        }
    }
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures f;
    MoveTo(f, dc->a.current);
    PointD start = dc->a.current;
    for (int i = 0; i < cpt; ++i) {
        BYTE type = aj[i] & ~PT_CLOSEFIGURE;
        PointD p = P(apt[i].x, apt[i].y);
        if (type == PT_MOVETO) {
            MoveTo(f, p);
            start = p;
        } else if (type == PT_LINETO) {
            if (!HasOpenFigure(f) && f.back().type != PT_MOVETO) MoveTo(f, start);
            LineTo(f, p);
        } else {
            if (!HasOpenFigure(f) && f.back().type != PT_MOVETO) MoveTo(f, start);
            BezierTo(f, p, P(apt[i + 1].x, apt[i + 1].y), P(apt[i + 2].x, apt[i + 2].y));
            i += 2;
        }
        if (aj[i] & PT_CLOSEFIGURE) Close(f);
    }
    dc->a.current = P(apt[cpt - 1].x, apt[cpt - 1].y);
    return EmitLogical(*dc, std::move(f), false, true, true);
}

BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt) {
    PLATFORM_FAULT_POINT("Polygon", FALSE);
    if (!apt || cpt < 2) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures f;
    AddFigure(f, LogicalToDevice(dc->a), apt, static_cast<size_t>(cpt));
    Close(f);
    return EmitWith(*dc, std::move(f), true, true, false);
}

BOOL WINAPI PolyPolygon(HDC hdc, const POINT* apt, const INT* asz, int csz) {
    PLATFORM_FAULT_POINT("PolyPolygon", FALSE);
    if (!apt || !asz || csz < 1) return Invalid();
    for (int i = 0; i < csz; ++i)
        if (asz[i] < 2) return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Affine m = LogicalToDevice(dc->a);
    Figures f;
    size_t at = 0;
    for (int i = 0; i < csz; ++i) {
        AddFigure(f, m, apt + at, static_cast<size_t>(asz[i]));
        Close(f);
        at += static_cast<size_t>(asz[i]);
    }
    return EmitWith(*dc, std::move(f), true, true, false);
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    PLATFORM_FAULT_POINT("Rectangle", FALSE);
    return BoxShape(
        hdc, left, top, right, bottom, true,
        [](Figures& f, const Box& b, const void*) {
            MoveTo(f, PointD{b.left, b.top});
            LineTo(f, PointD{b.right, b.top});
            LineTo(f, PointD{b.right, b.bottom});
            LineTo(f, PointD{b.left, b.bottom});
            Close(f);
        },
        nullptr);
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    PLATFORM_FAULT_POINT("RoundRect", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    double corner[2] = {static_cast<double>(width), static_cast<double>(height)};
    if (dc->a.graphicsMode == GM_COMPATIBLE) {
        Affine m = LogicalToDevice(dc->a);
        corner[0] *= std::fabs(m.m11);
        corner[1] *= std::fabs(m.m22);
    }
    return BoxShape(
        hdc, left, top, right, bottom, true,
        [](Figures& f, const Box& b, const void* arg) {
            const auto* c = static_cast<const double*>(arg);
            AddRoundRect(f, b, c[0], c[1]);
        },
        corner);
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    PLATFORM_FAULT_POINT("Ellipse", FALSE);
    return BoxShape(
        hdc, left, top, right, bottom, true,
        [](Figures& f, const Box& b, const void*) { AddEllipse(f, b); }, nullptr);
}

BOOL WINAPI Arc(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    PLATFORM_FAULT_POINT("Arc", FALSE);
    return ArcShape(hdc, x1, y1, x2, y2, x3, y3, x4, y4, ArcKind::Open, false);
}

BOOL WINAPI ArcTo(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2,
                  int yr2) {
    PLATFORM_FAULT_POINT("ArcTo", FALSE);
    return ArcShape(hdc, left, top, right, bottom, xr1, yr1, xr2, yr2, ArcKind::Open, true);
}

BOOL WINAPI Chord(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    PLATFORM_FAULT_POINT("Chord", FALSE);
    return ArcShape(hdc, x1, y1, x2, y2, x3, y3, x4, y4, ArcKind::Chord, false);
}

BOOL WINAPI Pie(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2,
                int yr2) {
    PLATFORM_FAULT_POINT("Pie", FALSE);
    return ArcShape(hdc, left, top, right, bottom, xr1, yr1, xr2, yr2, ArcKind::Pie, false);
}

BOOL WINAPI AngleArc(HDC hdc, int x, int y, DWORD r, FLOAT startAngle, FLOAT sweepAngle) {
    PLATFORM_FAULT_POINT("AngleArc", FALSE);
    if (r > 0x7FFFFFFF || !std::isfinite(startAngle) || !std::isfinite(sweepAngle))
        return Invalid();
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures f;
    MoveTo(f, dc->a.current);
    dc->a.current = AddAngleArc(f, P(x, y), r, startAngle, sweepAngle);
    return EmitLogical(*dc, std::move(f), false, true, true);
}

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
    PLATFORM_FAULT_POINT("FillRgn", FALSE);
    auto brush = FindObject(hbr, ObjectKind::Brush);
    if (!brush) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return FillRegion(hdc, hrgn, &brush->brush, 0);
}

BOOL WINAPI PaintRgn(HDC hdc, HRGN hrgn) {
    PLATFORM_FAULT_POINT("PaintRgn", FALSE);
    return FillRegion(hdc, hrgn, nullptr, 0);
}

BOOL WINAPI InvertRgn(HDC hdc, HRGN hrgn) {
    static const BrushData black{BS_SOLID, 0};
    return FillRegion(hdc, hrgn, &black, R2_NOT);
}

BOOL WINAPI FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h) {
    PLATFORM_FAULT_POINT("FrameRgn", FALSE);
    auto rgn = FindObject(hrgn, ObjectKind::Region);
    auto brush = FindObject(hbr, ObjectKind::Brush);
    if (!rgn || !brush) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (w <= 0 || h <= 0 || w > Region::kLimit || h > Region::kLimit) return Invalid();
    // The frame is what the region loses when it shrinks by w and h.
    Region inner = rgn->region;
    for (auto [dx, dy] : {std::pair{w, 0}, std::pair{-w, 0}, std::pair{0, h}, std::pair{0, -h}}) {
        Region moved = rgn->region;
        moved.Offset(dx, dy);
        inner = inner.Combine(moved, RGN_AND);
    }
    HRGN frame = NewRegion(rgn->region.Combine(inner, RGN_DIFF));
    BOOL ok = FillRegion(hdc, frame, &brush->brush, 0);
    DeleteObject(frame);
    return ok;
}
}
