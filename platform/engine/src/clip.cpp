// Clip regions: a trivial clip, one rectangle, or a banded list of
// rectangles, enumerated in batches in the direction the driver asks for.
#include <algorithm>
#include <new>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_objects.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

bool Empty(const RECTL& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

RECTL Intersect(const RECTL& a, const RECTL& b) {
    RECTL r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    if (Empty(r)) r = RECTL{};
    return r;
}

LONG Shift(LONG v, LONG d) {
    long long s = static_cast<long long>(v) + d;
    return static_cast<LONG>(std::clamp<long long>(s, -0x7FFFFFFFLL, 0x7FFFFFFFLL));
}

RECTL Bounds(const std::vector<RECTL>& rects) {
    if (rects.empty()) return RECTL{};
    RECTL b = rects.front();
    for (const RECTL& r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

// Fills the public fields from the region.
void SetRegion(Clip& clip, std::vector<RECTL> rects) {
    clip.co.iUniq = NextUniq();
    clip.co.iMode = TC_RECTANGLES;
    clip.co.fjOptions = 0;
    clip.co.rclBounds = Bounds(rects);
    if (rects.size() <= 1) {
        clip.co.iDComplexity = DC_RECT;
        clip.co.iFComplexity = FC_RECT;
        clip.rects.clear();
    } else {
        clip.co.iDComplexity = DC_COMPLEX;
        clip.co.iFComplexity = rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
        clip.rects = std::move(rects);
    }
    clip.order.clear();
    clip.enumNext = 0;
    clip.enumStarted = false;
}

Clip* NewClipLocked() {
    std::unique_ptr<Clip> clip = NewObject<Clip>();
    if (!clip) return nullptr;
    Clip* raw = clip.get();
    InsertObjectLocked(std::move(clip));
    return raw;
}

// The rectangles a clip object stands for, from the engine's own record or,
// for one a caller filled in, from its public fields.
std::vector<RECTL> RegionOf(CLIPOBJ* pco, Clip* clip) {
    if (clip && pco->iDComplexity == DC_COMPLEX) return clip->rects;
    if (Empty(pco->rclBounds)) return {};
    return {pco->rclBounds};
}

// Enumeration of a clip object the engine did not make: its bounds, once.
thread_local const CLIPOBJ* tForeign = nullptr;
thread_local bool tForeignDone = false;

} // namespace

bool Clip::Clear() {
    std::vector<RECTL> keptRects = std::move(rects);
    std::vector<RECTL> keptOrder = std::move(order);
    *this = Clip();
    ClearKept(keptRects);
    ClearKept(keptOrder);
    rects = std::move(keptRects);
    order = std::move(keptOrder);
    return true;
}

std::vector<RECTL> NormalizeRegion(const RECTL* rects, size_t count) {
    std::vector<RECTL> input;
    for (size_t i = 0; i < count; ++i) {
        RECTL r = rects[i];
        if (r.left > r.right) std::swap(r.left, r.right);
        if (r.top > r.bottom) std::swap(r.top, r.bottom);
        if (!Empty(r)) input.push_back(r);
    }
    std::vector<LONG> ys;
    for (const RECTL& r : input) {
        ys.push_back(r.top);
        ys.push_back(r.bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    // Bands are swept top to bottom over the rectangles sorted by their tops:
    // a band reads only the rectangles that reach into it, so a region of
    // many thin rows costs its size, not its size squared.
    std::sort(input.begin(), input.end(),
              [](const RECTL& a, const RECTL& b) { return a.top < b.top; });
    std::vector<RECTL> out;
    size_t prevBandStart = 0, prevBandEnd = 0; // the previous band's rectangles in out
    std::vector<RECTL> active;
    size_t next = 0;
    std::vector<std::pair<LONG, LONG>> spans, merged;
    for (size_t b = 0; b + 1 < ys.size(); ++b) {
        LONG top = ys[b], bottom = ys[b + 1];
        // Every edge is a band edge, so a rectangle still active ends at or
        // below this band's bottom.
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [top](const RECTL& r) { return r.bottom <= top; }),
                     active.end());
        while (next < input.size() && input[next].top <= top)
            active.push_back(input[next++]);
        spans.clear();
        for (const RECTL& r : active)
            spans.emplace_back(r.left, r.right);
        std::sort(spans.begin(), spans.end());
        merged.clear();
        for (auto s : spans) {
            if (!merged.empty() && s.first <= merged.back().second)
                merged.back().second = std::max(merged.back().second, s.second);
            else
                merged.push_back(s);
        }
        if (merged.empty()) {
            prevBandStart = prevBandEnd = out.size();
            continue;
        }
        // A band equal to the one just above it extends that one downwards.
        bool same = prevBandEnd - prevBandStart == merged.size() && prevBandEnd > prevBandStart &&
                    out[prevBandStart].bottom == top;
        for (size_t k = 0; same && k < merged.size(); ++k)
            same = out[prevBandStart + k].left == merged[k].first &&
                   out[prevBandStart + k].right == merged[k].second;
        if (same) {
            for (size_t k = prevBandStart; k < prevBandEnd; ++k)
                out[k].bottom = bottom;
            continue;
        }
        prevBandStart = out.size();
        for (auto s : merged)
            out.push_back(RECTL{s.first, top, s.second, bottom});
        prevBandEnd = out.size();
    }
    return out;
}

CLIPOBJ* CreateClip(const RECTL* rects, ULONG count) {
    if (count && !rects) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<RECTL> region;
    try {
        region = NormalizeRegion(rects, count);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(EngineLock());
    Clip* clip = NewClipLocked();
    if (!clip) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetRegion(*clip, std::move(region));
    return &clip->co;
}

CLIPOBJ* CreateTrivialClip(const RECTL& bounds) {
    std::lock_guard lock(EngineLock());
    Clip* clip = NewClipLocked();
    if (!clip) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    clip->co.iUniq = NextUniq();
    clip->co.rclBounds = bounds;
    clip->co.iDComplexity = DC_TRIVIAL;
    clip->co.iFComplexity = FC_RECT;
    clip->co.iMode = TC_RECTANGLES;
    return &clip->co;
}

CLIPOBJ* CreateClipIntersection(CLIPOBJ* pco, const RECTL& rect, LONG dx, LONG dy) {
    std::vector<RECTL> region;
    bool trivial = true;
    {
        std::lock_guard lock(EngineLock());
        if (pco) {
            trivial = pco->iDComplexity == DC_TRIVIAL;
            region = RegionOf(pco, FindLocked<Clip>(pco));
        }
    }
    std::vector<RECTL> cut;
    if (trivial) {
        if (!Empty(rect)) cut.push_back(rect);
    } else {
        for (const RECTL& r : region) {
            RECTL i = Intersect(r, rect);
            if (!Empty(i)) cut.push_back(i);
        }
    }
    for (RECTL& r : cut)
        r = RECTL{Shift(r.left, dx), Shift(r.top, dy), Shift(r.right, dx), Shift(r.bottom, dy)};
    if (trivial && cut.size() == 1) return CreateTrivialClip(cut.front());
    return CreateClip(cut.data(), static_cast<ULONG>(cut.size()));
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

CLIPOBJ* APIENTRY EngCreateClip(VOID) {
    PLATFORM_FAULT_POINT("EngCreateClip", nullptr);
    return CreateTrivialClip(RECTL{});
}

VOID APIENTRY EngDeleteClip(CLIPOBJ* pco) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<Clip>(pco)) gone = DeleteObjectLocked<Clip>(pco);
}

ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL /*bAll*/, ULONG iType, ULONG iDirection,
                                  ULONG cLimit) {
    if (!pco || iType != CT_RECTANGLES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0xFFFFFFFF;
    }
    std::lock_guard lock(EngineLock());
    Clip* clip = FindLocked<Clip>(pco);
    if (!clip) {
        tForeign = pco;
        tForeignDone = false;
        ULONG n = Empty(pco->rclBounds) ? 0 : 1;
        return cLimit && n <= cLimit ? n : 0xFFFFFFFF;
    }
    clip->order = RegionOf(pco, clip);
    // Regions are kept top-down, left to right; the other directions reverse
    // the bands, the rectangles within a band, or both.
    bool up = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
    bool left = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
    std::stable_sort(clip->order.begin(), clip->order.end(), [&](const RECTL& a, const RECTL& b) {
        if (a.top != b.top) return up ? a.top > b.top : a.top < b.top;
        return left ? a.left > b.left : a.left < b.left;
    });
    clip->enumNext = 0;
    clip->enumStarted = true;
    ULONG n = static_cast<ULONG>(clip->order.size());
    return cLimit && n <= cLimit ? n : 0xFFFFFFFF;
}

BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pv) {
    if (!pco || !pv || cj < sizeof(ULONG)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* out = reinterpret_cast<ENUMRECTS*>(pv);
    out->c = 0;
    size_t room = (cj - sizeof(ULONG)) / sizeof(RECTL);
    std::lock_guard lock(EngineLock());
    Clip* clip = FindLocked<Clip>(pco);
    if (!clip) {
        if (tForeign != pco) {
            tForeign = pco;
            tForeignDone = false;
        }
        if (!tForeignDone && !Empty(pco->rclBounds) && room) {
            out->arcl[0] = pco->rclBounds;
            out->c = 1;
        }
        tForeignDone = true;
        return FALSE;
    }
    if (!clip->enumStarted) {
        clip->order = RegionOf(pco, clip);
        clip->enumNext = 0;
        clip->enumStarted = true;
    }
    // A buffer without room for one rectangle would never get to the end.
    if (room == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    size_t n = std::min(room, clip->order.size() - clip->enumNext);
    RECTL* dst = out->arcl;
    for (size_t i = 0; i < n; ++i)
        dst[i] = clip->order[clip->enumNext + i];
    clip->enumNext += n;
    out->c = static_cast<ULONG>(n);
    return clip->enumNext < clip->order.size() ? TRUE : FALSE;
}

PATHOBJ* APIENTRY CLIPOBJ_ppoGetPath(CLIPOBJ* pco) {
    PLATFORM_FAULT_POINT("CLIPOBJ_ppoGetPath", nullptr);
    if (!pco) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(EngineLock());
    std::vector<RECTL> region = RegionOf(pco, FindLocked<Clip>(pco));
    Path* path = NewPathLocked();
    if (!path) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    for (const RECTL& r : region)
        path->AddRectangle(r);
    return &path->po;
}
}
