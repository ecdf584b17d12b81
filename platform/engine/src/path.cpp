// Paths: subpaths of lines and Bezier curves in 28.4 fixed point, built with
// PATHOBJ_bMoveTo and its companions and handed to drivers record by record.
#include <algorithm>
#include <limits>
#include <new>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_objects.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

bool IsInteger(POINTFIX p) {
    return (p.x & 15) == 0 && (p.y & 15) == 0;
}

FIX AddFix(FIX a, FIX b) {
    long long v = static_cast<long long>(a) + b;
    v = std::clamp<long long>(v, std::numeric_limits<FIX>::min(), std::numeric_limits<FIX>::max());
    return static_cast<FIX>(v);
}

// Widens the path's bounds to a point handed out.
void Include(Path& p, POINTFIX pt) {
    if (!p.haveBounds) {
        p.bounds = RECTFX{pt.x, pt.y, pt.x, pt.y};
        p.haveBounds = true;
        return;
    }
    p.bounds.xLeft = std::min(p.bounds.xLeft, pt.x);
    p.bounds.yTop = std::min(p.bounds.yTop, pt.y);
    p.bounds.xRight = std::max(p.bounds.xRight, pt.x);
    p.bounds.yBottom = std::max(p.bounds.yBottom, pt.y);
}

// Whether the last record is a subpath's start point alone.
bool LoneStart(const Path& p) {
    const PathRecord& last = p.records.back();
    return (last.flags & PD_BEGINSUBPATH) && last.count == 1;
}

// A subpath that is only its start point draws nothing; a trailing one is
// not handed out.
size_t EnumerableRecords(const Path& p) {
    size_t n = p.records.size();
    if (n && p.subpathOpen) {
        const PathRecord& last = p.records.back();
        if ((last.flags & PD_BEGINSUBPATH) && last.count == 1) --n;
    }
    return n;
}

} // namespace

Path* NewPathLocked() {
    std::unique_ptr<Path> path = NewObject<Path>();
    if (!path) return nullptr;
    path->po.fl = PO_ALL_INTEGERS;
    Path* raw = path.get();
    InsertObjectLocked(std::move(path));
    return raw;
}

bool Path::Clear() {
    std::vector<POINTFIX> keptPoints = std::move(points);
    std::vector<PathRecord> keptRecords = std::move(records);
    *this = Path();
    ClearKept(keptPoints);
    ClearKept(keptRecords);
    points = std::move(keptPoints);
    records = std::move(keptRecords);
    return true;
}

bool Path::MoveTo(POINTFIX pt) {
    if (subpathOpen && records.back().count == 1 && (records.back().flags & PD_BEGINSUBPATH)) {
        points.pop_back();
        records.pop_back();
    }
    records.push_back(PathRecord{PD_BEGINSUBPATH, points.size(), 1});
    points.push_back(pt);
    subpathOpen = true;
    haveCurrent = true;
    current = subpathStart = pt;
    if (!IsInteger(pt)) po.fl &= ~PO_ALL_INTEGERS;
    return true;
}

bool Path::AddPoints(const POINTFIX* pts, ULONG count, bool beziers) {
    if (count == 0) return true;
    if (!pts || (beziers && count % 3 != 0)) return false;
    if (!subpathOpen) {
        if (!haveCurrent) return false;
        MoveTo(current);
    }
    PathRecord& last = records.back();
    bool lastBeziers = (last.flags & PD_BEZIERS) != 0;
    if (LoneStart(*this)) {
        // The start point is handed out from now on.
        Include(*this, points[last.first]);
        if (beziers) last.flags |= PD_BEZIERS;
    } else if (lastBeziers != beziers) {
        records.push_back(
            PathRecord{beziers ? static_cast<FLONG>(PD_BEZIERS) : 0, points.size(), 0});
    }
    points.insert(points.end(), pts, pts + count);
    records.back().count += count;
    // The points' bounds and whether all are whole, in one walk kept in
    // registers, then merged.
    RECTFX box{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    FIX fractions = 0;
    for (ULONG i = 0; i < count; ++i) {
        const POINTFIX q = pts[i];
        fractions |= q.x | q.y;
        box.xLeft = std::min(box.xLeft, q.x), box.xRight = std::max(box.xRight, q.x);
        box.yTop = std::min(box.yTop, q.y), box.yBottom = std::max(box.yBottom, q.y);
    }
    if (fractions & 15) po.fl &= ~PO_ALL_INTEGERS;
    Include(*this, POINTFIX{box.xLeft, box.yTop});
    Include(*this, POINTFIX{box.xRight, box.yBottom});
    if (beziers) po.fl |= PO_BEZIERS;
    po.cCurves += beziers ? count / 3 : count;
    current = pts[count - 1];
    return true;
}

bool Path::CloseFigure() {
    if (!subpathOpen) return true;
    // A closed start point alone is handed out.
    if (LoneStart(*this)) Include(*this, points[records.back().first]);
    records.back().flags |= PD_CLOSEFIGURE;
    subpathOpen = false;
    current = subpathStart;
    return true;
}

void Path::AddRectangle(const RECTL& r) {
    auto fx = [](LONG v) {
        return static_cast<FIX>(std::clamp<long long>(static_cast<long long>(v) * 16,
                                                      std::numeric_limits<FIX>::min(),
                                                      std::numeric_limits<FIX>::max()));
    };
    MoveTo(POINTFIX{fx(r.left), fx(r.top)});
    POINTFIX rest[3] = {
        {fx(r.right), fx(r.top)}, {fx(r.right), fx(r.bottom)}, {fx(r.left), fx(r.bottom)}};
    AddPoints(rest, 3, false);
    CloseFigure();
}

PATHOBJ* CreatePathCopy(PATHOBJ* ppo, FIX dx, FIX dy) {
    std::lock_guard lock(EngineLock());
    Path* src = FindLocked<Path>(ppo);
    if (!src) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Path* copy = NewPathLocked();
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    copy->points = src->points;
    copy->records = src->records;
    copy->subpathOpen = src->subpathOpen;
    copy->haveCurrent = src->haveCurrent;
    copy->current = {AddFix(src->current.x, dx), AddFix(src->current.y, dy)};
    copy->subpathStart = {AddFix(src->subpathStart.x, dx), AddFix(src->subpathStart.y, dy)};
    copy->po.fl = src->po.fl;
    copy->po.cCurves = src->po.cCurves;
    // Moving every point by the same clamped sum keeps their order.
    copy->haveBounds = src->haveBounds;
    copy->bounds = RECTFX{AddFix(src->bounds.xLeft, dx), AddFix(src->bounds.yTop, dy),
                          AddFix(src->bounds.xRight, dx), AddFix(src->bounds.yBottom, dy)};
    for (POINTFIX& p : copy->points) {
        p.x = AddFix(p.x, dx);
        p.y = AddFix(p.y, dy);
        if (!IsInteger(p)) copy->po.fl &= ~PO_ALL_INTEGERS;
    }
    return &copy->po;
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

PATHOBJ* APIENTRY EngCreatePath(VOID) {
    PLATFORM_FAULT_POINT("EngCreatePath", nullptr);
    std::lock_guard lock(EngineLock());
    Path* path = NewPathLocked();
    if (!path) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return &path->po;
}

VOID APIENTRY EngDeletePath(PATHOBJ* ppo) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<Path>(ppo)) gone = DeleteObjectLocked<Path>(ppo);
}

VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ* ppo) {
    std::lock_guard lock(EngineLock());
    if (Path* path = FindLocked<Path>(ppo)) path->enumNext = 0;
}

BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (!ppd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *ppd = PATHDATA{};
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t n = EnumerableRecords(*path);
    if (path->enumNext >= n) return FALSE;
    size_t i = path->enumNext++;
    const PathRecord& rec = path->records[i];
    FLONG flags = rec.flags;
    bool lastOfSubpath =
        i + 1 == path->records.size() || (path->records[i + 1].flags & PD_BEGINSUBPATH);
    if (lastOfSubpath) flags |= PD_ENDSUBPATH;
    ppd->flags = flags;
    ppd->count = static_cast<ULONG>(rec.count);
    ppd->pptfx = path->points.data() + rec.first;
    return path->enumNext < n ? TRUE : FALSE;
}

VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx) {
    if (!prectfx) return;
    *prectfx = RECTFX{};
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (path && path->haveBounds) *prectfx = path->bounds;
}

BOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ* ppo, POINTFIX ptfx) {
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return path->MoveTo(ptfx) ? TRUE : FALSE;
}

BOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (!path || !path->AddPoints(pptfx, cptfx, false)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (!path || !path->AddPoints(pptfx, cptfx, true)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ* ppo) {
    std::lock_guard lock(EngineLock());
    Path* path = FindLocked<Path>(ppo);
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return path->CloseFigure() ? TRUE : FALSE;
}
}
