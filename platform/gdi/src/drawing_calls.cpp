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
    // The call's path is a copy of ppo, or ppo itself with adopt.
    PathCall(PATHOBJ* ppo, bool adopt, const std::vector<RECTL>& clip, RECTL bounds)
        : ClippedCall(clip, bounds), path_(adopt ? ppo : engine::CreatePathCopy(ppo, 0, 0)) {}
    ~PathCall() override {
        if (path_) EngDeletePath(path_);
    }

  protected:
    bool Prepare(const PlayTarget& t, PlayObjects& o, const BrushSpec& spec) {
        if (t.last && t.origin.x == 0 && t.origin.y == 0) {
            // The last play where the page is the surface: the driver gets the
            // path itself, which is what a copy would be (a copy that does not
            // move keeps every point, record and flag).
            o.path = path_;
            path_ = nullptr;
        } else {
            o.path =
                path_ ? engine::CreatePathCopy(path_, -t.origin.x * 16, -t.origin.y * 16) : nullptr;
        }
        o.clip = PlayClip(t);
        o.brush = MakeBrush(t, spec);
        return o.path && o.clip && o.brush;
    }
    PATHOBJ* path_;
};

class FillPathCall : public PathCall {
  public:
    FillPathCall(PATHOBJ* ppo, bool adopt, const std::vector<RECTL>& clip, const BrushSpec& brush,
                 MIX mix, FLONG mode)
        : PathCall(ppo, adopt, clip, PathBounds(ppo)), brush_(brush), mix_(mix), mode_(mode) {}
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
    StrokePathCall(PATHOBJ* ppo, bool adopt, const std::vector<RECTL>& clip, const BrushSpec& pen,
                   const LINEATTRS& line, MIX mix)
        : PathCall(ppo, adopt, clip, Widen(PathBounds(ppo), line)), pen_(pen), line_(line),
          mix_(mix) {
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
    StrokeAndFillPathCall(PATHOBJ* ppo, bool adopt, const std::vector<RECTL>& clip,
                          const BrushSpec& pen, const LINEATTRS& line, const BrushSpec& brush,
                          MIX mix, FLONG mode)
        : PathCall(ppo, adopt, clip, PathBounds(ppo)), pen_(pen), brush_(brush), line_(line),
          mix_(mix), mode_(mode) {
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

RECTL RasterBounds(const RasterSpec& s) {
    auto grow = [](RECTL& r, LONG x, LONG y) {
        r = RECTL{std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
                  std::max(r.bottom, y + 1)};
    };
    RECTL r{0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF, -0x7FFFFFFF};
    switch (s.kind) {
    case RasterKind::Gradient:
        for (const TRIVERTEX& v : s.vertices)
            grow(r, v.x, v.y);
        break;
    case RasterKind::Parallelogram: {
        POINTFIX a = s.corners[0], b = s.corners[1], c = s.corners[2];
        POINTFIX d{b.x + c.x - a.x, b.y + c.y - a.y};
        for (POINTFIX p : {a, b, c, d}) {
            grow(r, p.x >> 4, p.y >> 4);
            grow(r, (p.x + 15) >> 4, (p.y + 15) >> 4);
        }
        break;
    }
    default:
        r = RECTL{std::min(s.dst.left, s.dst.right), std::min(s.dst.top, s.dst.bottom),
                  std::max(s.dst.left, s.dst.right), std::max(s.dst.top, s.dst.bottom)};
        break;
    }
    return r;
}

// Blits, stretches, transparent and alpha blits, gradients: the driver's
// hook where it takes the call, else the engine.
class RasterCall : public ClippedCall {
  public:
    RasterCall(const RasterSpec& spec, const std::vector<RECTL>& clip, HPALETTE device)
        : ClippedCall(clip, RasterBounds(spec)), s_(spec) {
        if (!s_.table.empty()) {
            xlate_ = engine::CreateTableXlate(s_.table.data(), static_cast<ULONG>(s_.table.size()));
        } else if (s_.source && device) {
            xlate_ = engine::CreatePaletteXlate(s_.source->palette, device);
        } else if (s_.kind == RasterKind::Gradient && device) {
            rgb_ = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
            if (rgb_) xlate_ = engine::CreatePaletteXlate(rgb_, device);
        }
    }
    ~RasterCall() override {
        if (xlate_) engine::DeleteXlate(xlate_);
        if (rgb_) EngDeletePalette(rgb_);
    }
    BOOL Play(const PlayTarget& t) override {
        PlayObjects o;
        o.clip = PlayClip(t);
        if (!o.clip) return FALSE;
        if (s_.brush && !(o.brush = MakeBrush(t, s_.brushSpec))) return FALSE;
        SURFOBJ* src = s_.source ? EngLockSurface(s_.source->surface) : nullptr;
        SURFOBJ* mask = s_.mask ? EngLockSurface(s_.mask->surface) : nullptr;
        BOOL ok = (s_.source && !src) || (s_.mask && !mask) ? FALSE : PlayOn(t, o, src, mask);
        if (src) EngUnlockSurface(src);
        if (mask) EngUnlockSurface(mask);
        return ok;
    }

  private:
    BOOL PlayOn(const PlayTarget& t, PlayObjects& o, SURFOBJ* src, SURFOBJ* mask) {
        LONG dx = -t.origin.x, dy = -t.origin.y;
        RECTL dst{s_.dst.left + dx, s_.dst.top + dy, s_.dst.right + dx, s_.dst.bottom + dy};
        RECTL srect = s_.src;
        POINTL brushOrg{s_.brushOrg.x + dx, s_.brushOrg.y + dy};
        POINTL maskOrg = s_.maskOrg;
        switch (s_.kind) {
        case RasterKind::Transparent: {
            auto hook =
                Hook<PFN_DrvTransparentBlt>(t, HOOK_TRANSPARENTBLT, INDEX_DrvTransparentBlt);
            if (hook && hook(t.pso, src, o.clip, xlate_, &dst, &srect, s_.transparentColor, 0))
                return TRUE;
            return EngTransparentBlt(t.pso, src, o.clip, xlate_, &dst, &srect, s_.transparentColor,
                                     0);
        }
        case RasterKind::Alpha: {
            BLENDOBJ blend{s_.blend};
            return EngAlphaBlend(t.pso, src, o.clip, xlate_, &dst, &srect, &blend);
        }
        case RasterKind::Gradient: {
            std::vector<TRIVERTEX> v = s_.vertices;
            for (TRIVERTEX& p : v)
                p.x += dx, p.y += dy;
            std::vector<ULONG> mesh = s_.mesh;
            RECTL ext = bounds_;
            ext = RECTL{ext.left + dx, ext.top + dy, ext.right + dx, ext.bottom + dy};
            POINTL org{dx, dy};
            ULONG n = static_cast<ULONG>(
                s_.gradientMode == GRADIENT_FILL_TRIANGLE ? mesh.size() / 3 : mesh.size() / 2);
            auto hook = Hook<PFN_DrvGradientFill>(t, HOOK_GRADIENTFILL, INDEX_DrvGradientFill);
            if (hook && hook(t.pso, o.clip, xlate_, v.data(), static_cast<ULONG>(v.size()),
                             mesh.data(), n, &ext, &org, s_.gradientMode))
                return TRUE;
            return EngGradientFill(t.pso, o.clip, xlate_, v.data(), static_cast<ULONG>(v.size()),
                                   mesh.data(), n, &ext, &org, s_.gradientMode);
        }
        case RasterKind::Parallelogram: {
            POINTFIX pts[3];
            for (int i = 0; i < 3; ++i)
                pts[i] = POINTFIX{s_.corners[i].x + dx * 16, s_.corners[i].y + dy * 16};
            return EngPlgBlt(t.pso, src, mask, o.clip, xlate_, nullptr, &brushOrg, pts, &srect,
                             mask ? &maskOrg : nullptr, COLORONCOLOR);
        }
        case RasterKind::Blit:
            break;
        }
        LONG dw = dst.right - dst.left, dh = dst.bottom - dst.top;
        bool unit = !src || (dw == srect.right - srect.left && dh == srect.bottom - srect.top);
        if (unit) {
            POINTL from{srect.left, srect.top};
            if (s_.rop4 == 0xCCCC) {
                auto copy = Hook<PFN_DrvCopyBits>(t, HOOK_COPYBITS, INDEX_DrvCopyBits);
                if (copy && copy(t.pso, src, o.clip, xlate_, &dst, &from)) return TRUE;
            }
            auto blt = Hook<PFN_DrvBitBlt>(t, HOOK_BITBLT, INDEX_DrvBitBlt);
            if (blt && blt(t.pso, src, mask, o.clip, xlate_, &dst, src ? &from : nullptr,
                           mask ? &maskOrg : nullptr, o.brush, &brushOrg, s_.rop4))
                return TRUE;
            return EngBitBlt(t.pso, src, mask, o.clip, xlate_, &dst, src ? &from : nullptr,
                             mask ? &maskOrg : nullptr, o.brush, &brushOrg, s_.rop4);
        }
        POINTL ht{dx, dy};
        if (s_.rop4 == 0xCCCC && !mask) {
            auto stretch = Hook<PFN_DrvStretchBlt>(t, HOOK_STRETCHBLT, INDEX_DrvStretchBlt);
            if (stretch && stretch(t.pso, src, nullptr, o.clip, xlate_, nullptr, &ht, &dst, &srect,
                                   nullptr, s_.stretchMode))
                return TRUE;
        }
        auto rop = Hook<PFN_DrvStretchBltROP>(t, HOOK_STRETCHBLTROP, INDEX_DrvStretchBltROP);
        if (rop && rop(t.pso, src, mask, o.clip, xlate_, nullptr, &ht, &dst, &srect,
                       mask ? &maskOrg : nullptr, s_.stretchMode, o.brush, s_.rop4))
            return TRUE;
        return EngStretchBltROP(t.pso, src, mask, o.clip, xlate_, nullptr, &ht, &dst, &srect,
                                mask ? &maskOrg : nullptr, s_.stretchMode, o.brush, s_.rop4);
    }

    RasterSpec s_;
    XLATEOBJ* xlate_ = nullptr;
    HPALETTE rgb_ = nullptr;
};

} // namespace

RasterImage::~RasterImage() {
    if (surface) EngDeleteSurface(surface);
    if (palette) EngDeletePalette(palette);
}

std::unique_ptr<DrawingCall> MakeRasterCall(const RasterSpec& spec, const std::vector<RECTL>& clip,
                                            HPALETTE devicePalette) {
    return std::make_unique<RasterCall>(spec, clip, devicePalette);
}

std::unique_ptr<DrawingCall> MakeStrokeAndFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                                   const BrushSpec& pen, const LINEATTRS& line,
                                                   const BrushSpec& brush, MIX mix, FLONG fillMode,
                                                   bool adopt) {
    return std::make_unique<StrokeAndFillPathCall>(ppo, adopt, clip, pen, line, brush, mix,
                                                   fillMode);
}

std::unique_ptr<DrawingCall> MakeLine(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                      const BrushSpec& pen, MIX mix) {
    return std::make_unique<LineCall>(from, to, clip, pen, mix);
}

std::unique_ptr<DrawingCall> MakeFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                          const BrushSpec& brush, MIX mix, FLONG fillMode,
                                          bool adopt) {
    return std::make_unique<FillPathCall>(ppo, adopt, clip, brush, mix, fillMode);
}

std::unique_ptr<DrawingCall> MakeStrokePath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                            const BrushSpec& pen, const LINEATTRS& line, MIX mix,
                                            bool adopt) {
    return std::make_unique<StrokePathCall>(ppo, adopt, clip, pen, line, mix);
}

std::unique_ptr<DrawingCall> MakeLineTo(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                        const BrushSpec& pen, MIX mix) {
    return std::make_unique<LineToCall>(from, to, clip, pen, mix);
}

} // namespace platform::gdi
