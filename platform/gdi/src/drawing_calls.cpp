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

BRUSHOBJ* MakeBrush(const PlayTarget& t, const BrushSpec& spec) {
    return spec.hatch ? engine::CreateHatchBrush(t.hsurf, spec.style, spec.color, spec.background)
                      : engine::CreateSolidBrush(t.hsurf, spec.color);
}

template <class F> F Hook(const PlayTarget& t, FLONG hook, ULONG index) {
    if (!(t.hooks & hook) || !t.functions || !t.functions->fn[index]) return nullptr;
    return reinterpret_cast<F>(t.functions->fn[index]);
}

BOOL NotTakenOver() {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
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
        if (!fill) return NotTakenOver();
        PlayObjects o;
        if (!Prepare(t, o, brush_)) return FALSE;
        POINTL org{-t.origin.x, -t.origin.y};
        return fill(t.pso, o.path, o.clip, o.brush, &org, mix_, mode_);
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
        if (!stroke) return NotTakenOver();
        PlayObjects o;
        if (!Prepare(t, o, pen_)) return FALSE;
        o.xform = engine::CreateXform(XFORML{1, 0, 0, 1, 0, 0});
        if (!o.xform) return FALSE;
        POINTL org{-t.origin.x, -t.origin.y};
        LINEATTRS line = line_;
        return stroke(t.pso, o.path, o.clip, o.xform, o.brush, &org, &line, mix_);
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
        if (!line) return NotTakenOver();
        PlayObjects o;
        o.clip = PlayClip(t);
        o.brush = MakeBrush(t, pen_);
        if (!o.clip || !o.brush) return FALSE;
        LONG dx = -t.origin.x, dy = -t.origin.y;
        RECTL bounds{bounds_.left + dx, bounds_.top + dy, bounds_.right + dx, bounds_.bottom + dy};
        return line(t.pso, o.clip, o.brush, from_.x + dx, from_.y + dy, to_.x + dx, to_.y + dy,
                    &bounds, mix_);
    }

  private:
    POINTL from_, to_;
    BrushSpec pen_;
    MIX mix_;
};

} // namespace

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
