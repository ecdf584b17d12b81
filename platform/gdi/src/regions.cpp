// Region objects: creation, combination and their data.
#include <cstring>

#include "gdi_objects.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

std::shared_ptr<GdiObject> Find(HRGN h) {
    auto o = FindObject(h, ObjectKind::Region);
    if (!o) SetLastError(ERROR_INVALID_HANDLE);
    return o;
}

// More points than this in one region call are refused.
constexpr long long kMaxPoints = 1 << 22;

} // namespace

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
    PLATFORM_FAULT_POINT("CreateRectRgn", nullptr);
    return NewRegion(Region::FromRect(x1, y1, x2, y2));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect) {
    PLATFORM_FAULT_POINT("CreateRectRgnIndirect", nullptr);
    if (!lprect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

HRGN WINAPI CreateEllipticRgn(int x1, int y1, int x2, int y2) {
    PLATFORM_FAULT_POINT("CreateEllipticRgn", nullptr);
    Figures f;
    AddEllipse(f,
               Box{static_cast<double>(std::min(x1, x2)), static_cast<double>(std::min(y1, y2)),
                   static_cast<double>(std::max(x1, x2)), static_cast<double>(std::max(y1, y2))});
    return NewRegion(Region::FromPolygons(FlattenToPolygons(f), ALTERNATE));
}

HRGN WINAPI CreatePolyPolygonRgn(const POINT* pptl, const INT* pc, int cPoly, int iMode) {
    PLATFORM_FAULT_POINT("CreatePolyPolygonRgn", nullptr);
    if (!pptl || !pc || cPoly <= 0 || (iMode != ALTERNATE && iMode != WINDING)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    long long total = 0;
    for (int i = 0; i < cPoly; ++i) {
        if (pc[i] < 0 || (total += pc[i]) > kMaxPoints) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    std::vector<std::vector<PointD>> polys;
    size_t at = 0;
    for (int i = 0; i < cPoly; ++i) {
        std::vector<PointD> poly;
        for (int k = 0; k < pc[i]; ++k, ++at)
            poly.push_back(
                PointD{static_cast<double>(pptl[at].x), static_cast<double>(pptl[at].y)});
        if (poly.size() >= 3) polys.push_back(std::move(poly));
    }
    return NewRegion(Region::FromPolygons(polys, iMode));
}

HRGN WINAPI CreatePolygonRgn(const POINT* pptl, int cPoint, int iMode) {
    PLATFORM_FAULT_POINT("CreatePolygonRgn", nullptr);
    return CreatePolyPolygonRgn(pptl, &cPoint, 1, iMode);
}

HRGN WINAPI ExtCreateRegion(const XFORM* lpx, DWORD nCount, const RGNDATA* lpData) {
    PLATFORM_FAULT_POINT("ExtCreateRegion", nullptr);
    if (!lpData || nCount < sizeof(RGNDATAHEADER) || lpData->rdh.dwSize < sizeof(RGNDATAHEADER) ||
        lpData->rdh.iType != RDH_RECTANGLES || lpData->rdh.dwSize > nCount ||
        lpData->rdh.nCount > (nCount - lpData->rdh.dwSize) / sizeof(RECT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BYTE* rects = reinterpret_cast<const BYTE*>(lpData) + lpData->rdh.dwSize;
    std::vector<RECTL> list(lpData->rdh.nCount);
    if (!list.empty()) std::memcpy(list.data(), rects, list.size() * sizeof(RECTL));
    Region r = Region::FromRects(list);
    if (lpx) {
        Affine a = Affine::From(*lpx);
        if (!a.Finite()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        r = r.Transformed(a);
    }
    return NewRegion(std::move(r));
}

int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
    PLATFORM_FAULT_POINT("CombineRgn", ERROR);
    auto dst = Find(hrgnDst), a = Find(hrgnSrc1);
    if (!dst || !a) return ERROR;
    if (iMode == RGN_COPY) {
        dst->region = a->region;
        return dst->region.Kind();
    }
    auto b = Find(hrgnSrc2);
    if (!b) return ERROR;
    if (iMode < RGN_AND || iMode > RGN_DIFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    dst->region = a->region.Combine(b->region, iMode);
    return dst->region.Kind();
}

int WINAPI OffsetRgn(HRGN hrgn, int x, int y) {
    auto r = Find(hrgn);
    if (!r) return ERROR;
    r->region.Offset(x, y);
    return r->region.Kind();
}

BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
    auto r = Find(hrgn);
    if (!r) return FALSE;
    r->region = Region::FromRect(left, top, right, bottom);
    return TRUE;
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
    auto r = Find(hrgn);
    if (!r || !lprc) return ERROR;
    RECTL b = r->region.Bounds();
    *lprc = RECT{b.left, b.top, b.right, b.bottom};
    return r->region.Kind();
}

BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y) {
    auto r = Find(hrgn);
    return r && r->region.Contains(x, y);
}

BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2) {
    auto a = Find(hrgn1), b = Find(hrgn2);
    return a && b && a->region == b->region;
}

DWORD WINAPI GetRegionData(HRGN hrgn, DWORD nCount, LPRGNDATA lpRgnData) {
    auto r = Find(hrgn);
    if (!r) return 0;
    std::vector<RECTL> rects = r->region.Rects();
    size_t needed = sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT);
    if (needed > 0xFFFFFFFFu) return 0;
    if (!lpRgnData) return static_cast<DWORD>(needed);
    if (nCount < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    RGNDATAHEADER h{};
    h.dwSize = sizeof(RGNDATAHEADER);
    h.iType = RDH_RECTANGLES;
    h.nCount = static_cast<DWORD>(rects.size());
    h.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    RECTL b = r->region.Bounds();
    h.rcBound = RECT{b.left, b.top, b.right, b.bottom};
    std::memcpy(lpRgnData, &h, sizeof h);
    if (!rects.empty())
        std::memcpy(reinterpret_cast<BYTE*>(lpRgnData) + sizeof h, rects.data(),
                    rects.size() * sizeof(RECT));
    return static_cast<DWORD>(needed);
}
}
