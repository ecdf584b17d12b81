// The drawing calls of a page as the driver's path and line hooks take them:
// each play moves the call from page to surface coordinates and cuts its clip
// to the part of the page the surface holds.
#include <algorithm>

#include "platform/engine_objects.h"
#include "platform/gdi_drawing.h"
#include "win/errors.h"

namespace platform::gdi {
namespace {

// Engine objects made for one play and deleted after it.
struct PlayObjects {
    PATHOBJ* path = nullptr;
    CLIPOBJ* clip = nullptr;
    BRUSHOBJ* brush = nullptr;
    XFORMOBJ* xform = nullptr;
    ~PlayObjects() {
        if (path) EngDeletePath(path);
        if (clip) EngDeleteClip(clip);
        if (brush) engine::DeleteBrush(brush);
        if (xform) engine::DeleteXform(xform);
    }
};

// A pattern brush: the pattern as a one-bit (two colours) or 8-bit bitmap
// with a table from its indexes to the device's colours; the engine keeps
// copies of both.
BRUSHOBJ* MakePatternBrush(const PlayTarget& t, const BrushPattern& p) {
    LONG w = p.size.cx, h = p.size.cy;
    if (w <= 0 || h <= 0 || p.colors.empty() || p.indices.size() < static_cast<size_t>(w) * h) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool mono = p.colors.size() <= 2 &&
                std::all_of(p.indices.begin(), p.indices.end(), [](BYTE i) { return i < 2; });
    HSURF surface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{w, h}, 0, mono ? BMF_1BPP : BMF_8BPP, BMF_TOPDOWN, nullptr));
    if (!surface) return nullptr;
    if (SURFOBJ* so = EngLockSurface(surface)) {
        for (LONG y = 0; y < h; ++y) {
            BYTE* row = static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta;
            const BYTE* src = p.indices.data() + static_cast<size_t>(y) * w;
            for (LONG x = 0; x < w; ++x) {
                if (!mono)
                    row[x] = src[x];
                else if (src[x])
                    row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
                else
                    row[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
            }
        }
        EngUnlockSurface(so);
    }
    std::vector<ULONG> table = p.colors;
    table.resize(mono ? 2 : 256, p.colors.front());
    XLATEOBJ* xlate = engine::CreateTableXlate(table.data(), static_cast<ULONG>(table.size()));
    BRUSHOBJ* brush =
        xlate ? engine::CreatePatternBrush(t.hsurf, surface, nullptr, xlate) : nullptr;
    if (xlate) engine::DeleteXlate(xlate);
    EngDeleteSurface(surface);
    return brush;
}

BRUSHOBJ* MakeBrush(const PlayTarget& t, const BrushSpec& spec) {
    if (spec.pattern) return MakePatternBrush(t, *spec.pattern);
    return spec.hatch ? engine::CreateHatchBrush(t.hsurf, spec.style, spec.color, spec.background)
                      : engine::CreateSolidBrush(t.hsurf, spec.color);
}

template <class F> F Hook(const PlayTarget& t, FLONG hook, ULONG index) {
    if (!(t.hooks & hook) || !t.functions || !t.functions->fn[index]) return nullptr;
    return reinterpret_cast<F>(t.functions->fn[index]);
}

// The base of the calls: a clip in page coordinates and the bounds.
class ClippedCall : public DrawingCall {
  public:
    ClippedCall(const std::vector<RECTL>& clip, RECTL bounds) : bounds_(bounds) {
        if (!clip.empty()) {
            clip_ = engine::CreateClip(clip.data(), static_cast<ULONG>(clip.size()));
            if (clip_) bounds_ = Cut(bounds_, clip_->rclBounds);
        }
    }
    ~ClippedCall() override {
        if (clip_) EngDeleteClip(clip_);
    }
    RECTL Bounds() const override { return bounds_; }

  protected:
    // The clip of one play, in surface coordinates: trivial when the whole
    // call lies on the surface and has no clip of its own, else the call's
    // clip cut to the part of the page the surface holds.
    CLIPOBJ* PlayClip(const PlayTarget& t) const {
        RECTL area = Cut(t.area, bounds_);
        bool inside = area.left == bounds_.left && area.top == bounds_.top &&
                      area.right == bounds_.right && area.bottom == bounds_.bottom;
        LONG dx = -t.origin.x, dy = -t.origin.y;
        if (clip_ || inside) return engine::CreateClipIntersection(clip_, area, dx, dy);
        RECTL moved{area.left + dx, area.top + dy, area.right + dx, area.bottom + dy};
        return engine::CreateClip(&moved, 1);
    }
    static RECTL Cut(const RECTL& a, const RECTL& b) {
        return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    }
    CLIPOBJ* clip_ = nullptr;
    RECTL bounds_;
};

RECTL PathBounds(PATHOBJ* ppo) {
    RECTFX fx;
    PATHOBJ_vGetBounds(ppo, &fx);
    // Whole pixels that the path can touch, with a pixel of margin for pens.
    return RECTL{(fx.xLeft >> 4) - 1, (fx.yTop >> 4) - 1, ((fx.xRight + 15) >> 4) + 2,
                 ((fx.yBottom + 15) >> 4) + 2};
}

class PathCall : public ClippedCall {
  public:
    PathCall(PATHOBJ* ppo, const std::vector<RECTL>& clip, RECTL bounds)
        : ClippedCall(clip, bounds), path_(engine::CreatePathCopy(ppo, 0, 0)) {}
    ~PathCall() override {
        if (path_) EngDeletePath(path_);
    }

  protected:
    bool Prepare(const PlayTarget& t, PlayObjects& o, const BrushSpec& spec) const {
        o.path =
            path_ ? engine::CreatePathCopy(path_, -t.origin.x * 16, -t.origin.y * 16) : nullptr;
        o.clip = PlayClip(t);
        o.brush = MakeBrush(t, spec);
        return o.path && o.clip && o.brush;
    }
    PATHOBJ* path_;
};

class FillPathCall : public PathCall {
  public:
    FillPathCall(PATHOBJ* ppo, const std::vector<RECTL>& clip, const BrushSpec& brush, MIX mix,
                 FLONG mode)
        : PathCall(ppo, clip, PathBounds(ppo)), brush_(brush), mix_(mix), mode_(mode) {}
    BOOL Play(const PlayTarget& t) override {
        auto fill = Hook<PFN_DrvFillPath>(t, HOOK_FILLPATH, INDEX_DrvFillPath);
        PlayObjects o;
        if (!Prepare(t, o, brush_)) return FALSE;
        POINTL org{-t.origin.x, -t.origin.y};
        if (fill && fill(t.pso, o.path, o.clip, o.brush, &org, mix_, mode_)) return TRUE;
        // What the driver does not draw the engine draws.
        PATHOBJ_vEnumStart(o.path);
        return EngFillPath(t.pso, o.path, o.clip, o.brush, &org, mix_, mode_);
    }

  private:
    BrushSpec brush_;
    MIX mix_;
    FLONG mode_;
};

class StrokePathCall : public PathCall {
  public:
    StrokePathCall(PATHOBJ* ppo, const std::vector<RECTL>& clip, const BrushSpec& pen,
                   const LINEATTRS& line, MIX mix)
        : PathCall(ppo, clip, Widen(PathBounds(ppo), line)), pen_(pen), line_(line), mix_(mix) {
        if (line.pstyle && line.cstyle) style_.assign(line.pstyle, line.pstyle + line.cstyle);
        line_.pstyle = style_.empty() ? nullptr : style_.data();
    }
    BOOL Play(const PlayTarget& t) override {
        auto stroke = Hook<PFN_DrvStrokePath>(t, HOOK_STROKEPATH, INDEX_DrvStrokePath);
        PlayObjects o;
        if (!Prepare(t, o, pen_)) return FALSE;
        o.xform = engine::CreateXform(XFORML{1, 0, 0, 1, 0, 0});
        if (!o.xform) return FALSE;
        POINTL org{-t.origin.x, -t.origin.y};
        LINEATTRS line = line_;
        if (stroke && stroke(t.pso, o.path, o.clip, o.xform, o.brush, &org, &line, mix_))
            return TRUE;
        PATHOBJ_vEnumStart(o.path);
        line = line_;
        return EngStrokePath(t.pso, o.path, o.clip, o.xform, o.brush, &org, &line, mix_);
    }

  private:
    static RECTL Widen(RECTL r, const LINEATTRS& line) {
        LONG w = (line.fl & LA_GEOMETRIC) ? static_cast<LONG>(line.elWidth.e + 1) : line.elWidth.l;
        w = std::clamp<LONG>(w, 0, 0x100000);
        return RECTL{r.left - w, r.top - w, r.right + w, r.bottom + w};
    }
    BrushSpec pen_;
    LINEATTRS line_;
    std::vector<FLOAT_LONG> style_;
    MIX mix_;
};

class LineToCall : public ClippedCall {
  public:
    LineToCall(POINTL from, POINTL to, const std::vector<RECTL>& clip, const BrushSpec& pen,
               MIX mix)
        : ClippedCall(clip, RECTL{std::min(from.x, to.x), std::min(from.y, to.y),
                                  std::max(from.x, to.x) + 1, std::max(from.y, to.y) + 1}),
          from_(from), to_(to), pen_(pen), mix_(mix) {}
    BOOL Play(const PlayTarget& t) override {
        auto line = Hook<PFN_DrvLineTo>(t, HOOK_LINETO, INDEX_DrvLineTo);
        PlayObjects o;
        o.clip = PlayClip(t);
        o.brush = MakeBrush(t, pen_);
        if (!o.clip || !o.brush) return FALSE;
        LONG dx = -t.origin.x, dy = -t.origin.y;
        RECTL bounds{bounds_.left + dx, bounds_.top + dy, bounds_.right + dx, bounds_.bottom + dy};
        if (line && line(t.pso, o.clip, o.brush, from_.x + dx, from_.y + dy, to_.x + dx, to_.y + dy,
                         &bounds, mix_))
            return TRUE;
        return EngLineTo(t.pso, o.clip, o.brush, from_.x + dx, from_.y + dy, to_.x + dx, to_.y + dy,
                         &bounds, mix_);
    }

  private:
    POINTL from_, to_;
    BrushSpec pen_;
    MIX mix_;
};

class StrokeAndFillPathCall : public PathCall {
  public:
    StrokeAndFillPathCall(PATHOBJ* ppo, const std::vector<RECTL>& clip, const BrushSpec& pen,
                          const LINEATTRS& line, const BrushSpec& brush, MIX mix, FLONG mode)
        : PathCall(ppo, clip, PathBounds(ppo)), pen_(pen), brush_(brush), line_(line), mix_(mix),
          mode_(mode) {
        LONG w = (line.fl & LA_GEOMETRIC) ? static_cast<LONG>(line.elWidth.e + 1) : line.elWidth.l;
        w = std::clamp<LONG>(w, 0, 0x100000);
        bounds_ = RECTL{bounds_.left - w, bounds_.top - w, bounds_.right + w, bounds_.bottom + w};
        if (clip_) bounds_ = Cut(bounds_, clip_->rclBounds);
        if (line.pstyle && line.cstyle) style_.assign(line.pstyle, line.pstyle + line.cstyle);
        line_.pstyle = style_.empty() ? nullptr : style_.data();
    }
    BOOL Play(const PlayTarget& t) override {
        auto both =
            Hook<PFN_DrvStrokeAndFillPath>(t, HOOK_STROKEANDFILLPATH, INDEX_DrvStrokeAndFillPath);
        auto fill = Hook<PFN_DrvFillPath>(t, HOOK_FILLPATH, INDEX_DrvFillPath);
        auto stroke = Hook<PFN_DrvStrokePath>(t, HOOK_STROKEPATH, INDEX_DrvStrokePath);
        PlayObjects o;
        if (!Prepare(t, o, brush_)) return FALSE;
        o.xform = engine::CreateXform(XFORML{1, 0, 0, 1, 0, 0});
        BRUSHOBJ* pen = MakeBrush(t, pen_);
        if (!o.xform || !pen) {
            if (pen) engine::DeleteBrush(pen);
            return FALSE;
        }
        POINTL org{-t.origin.x, -t.origin.y};
        LINEATTRS line = line_;
        BOOL ok =
            both && both(t.pso, o.path, o.clip, o.xform, pen, &line, o.brush, &org, mix_, mode_);
        if (!ok) {
            // Refused as one call: the fill and the outline each by the
            // driver, or else by the engine.
            PATHOBJ_vEnumStart(o.path);
            ok = fill && fill(t.pso, o.path, o.clip, o.brush, &org, mix_, mode_);
            if (!ok) {
                PATHOBJ_vEnumStart(o.path);
                ok = EngFillPath(t.pso, o.path, o.clip, o.brush, &org, mix_, mode_);
            }
            PATHOBJ_vEnumStart(o.path);
            line = line_;
            BOOL stroked = stroke && stroke(t.pso, o.path, o.clip, o.xform, pen, &org, &line, mix_);
            if (!stroked) {
                PATHOBJ_vEnumStart(o.path);
                line = line_;
                stroked = EngStrokePath(t.pso, o.path, o.clip, o.xform, pen, &org, &line, mix_);
            }
            ok = ok && stroked;
        }
        engine::DeleteBrush(pen);
        return ok;
    }

  private:
    BrushSpec pen_, brush_;
    LINEATTRS line_;
    std::vector<FLOAT_LONG> style_;
    MIX mix_;
    FLONG mode_;
};

// A line that falls back to a stroked path of one segment.
class LineCall : public ClippedCall {
  public:
    LineCall(POINTL from, POINTL to, const std::vector<RECTL>& clip, const BrushSpec& pen, MIX mix)
        : ClippedCall(clip, RECTL{std::min(from.x, to.x), std::min(from.y, to.y),
                                  std::max(from.x, to.x) + 1, std::max(from.y, to.y) + 1}),
          from_(from), to_(to), pen_(pen), mix_(mix) {}
    BOOL Play(const PlayTarget& t) override {
        LONG dx = -t.origin.x, dy = -t.origin.y;
        if (auto line = Hook<PFN_DrvLineTo>(t, HOOK_LINETO, INDEX_DrvLineTo)) {
            PlayObjects o;
            o.clip = PlayClip(t);
            o.brush = MakeBrush(t, pen_);
            if (!o.clip || !o.brush) return FALSE;
            RECTL bounds{bounds_.left + dx, bounds_.top + dy, bounds_.right + dx,
                         bounds_.bottom + dy};
            if (line(t.pso, o.clip, o.brush, from_.x + dx, from_.y + dy, to_.x + dx, to_.y + dy,
                     &bounds, mix_))
                return TRUE;
            return EngLineTo(t.pso, o.clip, o.brush, from_.x + dx, from_.y + dy, to_.x + dx,
                             to_.y + dy, &bounds, mix_);
        }
        auto stroke = Hook<PFN_DrvStrokePath>(t, HOOK_STROKEPATH, INDEX_DrvStrokePath);
        PlayObjects o;
        o.path = EngCreatePath();
        o.clip = PlayClip(t);
        o.brush = MakeBrush(t, pen_);
        o.xform = engine::CreateXform(XFORML{1, 0, 0, 1, 0, 0});
        if (!o.path || !o.clip || !o.brush || !o.xform) return FALSE;
        POINTFIX end{(to_.x + dx) * 16, (to_.y + dy) * 16};
        PATHOBJ_bMoveTo(o.path, POINTFIX{(from_.x + dx) * 16, (from_.y + dy) * 16});
        PATHOBJ_bPolyLineTo(o.path, &end, 1);
        LINEATTRS attrs{};
        attrs.elWidth.l = 1;
        POINTL org{dx, dy};
        if (stroke && stroke(t.pso, o.path, o.clip, o.xform, o.brush, &org, &attrs, mix_))
            return TRUE;
        PATHOBJ_vEnumStart(o.path);
        return EngStrokePath(t.pso, o.path, o.clip, o.xform, o.brush, &org, &attrs, mix_);
    }

  private:
    POINTL from_, to_;
    BrushSpec pen_;
    MIX mix_;
};

} // namespace

std::unique_ptr<DrawingCall> MakeStrokeAndFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                                   const BrushSpec& pen, const LINEATTRS& line,
                                                   const BrushSpec& brush, MIX mix,
                                                   FLONG fillMode) {
    return std::make_unique<StrokeAndFillPathCall>(ppo, clip, pen, line, brush, mix, fillMode);
}

std::unique_ptr<DrawingCall> MakeLine(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                      const BrushSpec& pen, MIX mix) {
    return std::make_unique<LineCall>(from, to, clip, pen, mix);
}

std::unique_ptr<DrawingCall> MakeFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                          const BrushSpec& brush, MIX mix, FLONG fillMode) {
    return std::make_unique<FillPathCall>(ppo, clip, brush, mix, fillMode);
}

std::unique_ptr<DrawingCall> MakeStrokePath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                            const BrushSpec& pen, const LINEATTRS& line, MIX mix) {
    return std::make_unique<StrokePathCall>(ppo, clip, pen, line, mix);
}

std::unique_ptr<DrawingCall> MakeLineTo(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                        const BrushSpec& pen, MIX mix) {
    return std::make_unique<LineToCall>(from, to, clip, pen, mix);
}

} // namespace platform::gdi
