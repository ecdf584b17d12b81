// Paths of device contexts: between BeginPath and EndPath the drawing
// functions add their figures (in device units) instead of drawing; the
// finished path is then filled, stroked, made the clip or a region.
#include <cmath>

#include "dc_state.h"
#include "drawing.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// The finished path taken from the device context (which then has none); false
// (ERROR_CAN_NOT_COMPLETE) when no finished path is there.
bool TakePath(DcState& dc, Figures* out) {
    if (dc.a.pathMode != PathMode::Closed) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return false;
    }
    *out = std::move(dc.a.path);
    dc.a.path.clear();
    dc.a.pathMode = PathMode::None;
    return true;
}

// Rows of a region made from a path are scanned within three pages around the
// device's page.
RECTL ScanLimit(const DcState& dc) {
    RECTL page = PageRect(dc);
    return RECTL{page.left - page.right, page.top - page.bottom, 2 * page.right, 2 * page.bottom};
}

Region PathRegion(const DcState& dc, const Figures& path) {
    RECTL limit = ScanLimit(dc);
    return Region::FromPolygons(FlattenToPolygons(path), dc.a.polyFillMode, &limit);
}

BOOL Draw(HDC hdc, bool fill, bool stroke) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    Figures path;
    if (!TakePath(*dc, &path)) return FALSE;
    // Filling closes every figure.
    if (fill) {
        Figures closed;
        for (size_t i = 0; i < path.size(); ++i) {
            closed.push_back(path[i]);
            bool last = i + 1 == path.size() || path[i + 1].type == PT_MOVETO;
            if (last && closed.back().type != PT_MOVETO) closed.back().type |= PT_CLOSEFIGURE;
        }
        path = std::move(closed);
    }
    return DrawFigures(*dc, path, DrawOptions{fill, stroke});
}

} // namespace

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

BOOL WINAPI BeginPath(HDC hdc) {
    PLATFORM_FAULT_POINT("BeginPath", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    dc->a.path.clear();
    dc->a.pathMode = PathMode::Open;
    return TRUE;
}

BOOL WINAPI EndPath(HDC hdc) {
    PLATFORM_FAULT_POINT("EndPath", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    if (dc->a.pathMode != PathMode::Open) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return FALSE;
    }
    // A trailing start point without a segment is no figure.
    if (!dc->a.path.empty() && dc->a.path.back().type == PT_MOVETO) dc->a.path.pop_back();
    dc->a.pathMode = PathMode::Closed;
    return TRUE;
}

BOOL WINAPI AbortPath(HDC hdc) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    dc->a.path.clear();
    dc->a.pathMode = PathMode::None;
    return TRUE;
}

BOOL WINAPI CloseFigure(HDC hdc) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    if (dc->a.pathMode != PathMode::Open || !HasOpenFigure(dc->a.path)) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return FALSE;
    }
    Close(dc->a.path);
    return TRUE;
}

BOOL WINAPI FillPath(HDC hdc) {
    PLATFORM_FAULT_POINT("FillPath", FALSE);
    return Draw(hdc, true, false);
}

BOOL WINAPI StrokePath(HDC hdc) {
    PLATFORM_FAULT_POINT("StrokePath", FALSE);
    return Draw(hdc, false, true);
}

BOOL WINAPI StrokeAndFillPath(HDC hdc) {
    PLATFORM_FAULT_POINT("StrokeAndFillPath", FALSE);
    return Draw(hdc, true, true);
}

BOOL WINAPI FlattenPath(HDC hdc) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    if (dc->a.pathMode != PathMode::Closed) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return FALSE;
    }
    dc->a.path = Flatten(dc->a.path);
    return TRUE;
}

BOOL WINAPI SelectClipPath(HDC hdc, int mode) {
    PLATFORM_FAULT_POINT("SelectClipPath", FALSE);
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    if (mode < RGN_AND || mode > RGN_COPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Figures path;
    if (!TakePath(*dc, &path)) return FALSE;
    Region r = PathRegion(*dc, path);
    return CombineClip(*dc, &r, mode) != ERROR;
}

HRGN WINAPI PathToRegion(HDC hdc) {
    PLATFORM_FAULT_POINT("PathToRegion", nullptr);
    DcAccess dc(hdc);
    if (!dc) return nullptr;
    Figures path;
    if (!TakePath(*dc, &path)) return nullptr;
    return NewRegion(PathRegion(*dc, path));
}

int WINAPI GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt) {
    DcAccess dc(hdc);
    if (!dc) return -1;
    if (dc->a.pathMode != PathMode::Closed) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return -1;
    }
    const Figures& path = dc->a.path;
    int count = static_cast<int>(path.size());
    if (cpt == 0) return count;
    if (cpt < count || !apt || !aj) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return -1;
    }
    Affine inverse;
    if (!LogicalToDevice(dc->a).Invert(&inverse)) return -1;
    for (int i = 0; i < count; ++i) {
        PointD p = inverse.Apply(path[static_cast<size_t>(i)].p);
        apt[i] = POINT{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))};
        aj[i] = path[static_cast<size_t>(i)].type;
    }
    return count;
}
}
