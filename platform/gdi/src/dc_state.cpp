// Device context state: coordinate spaces and map modes, saved states,
// modes and colours, selected objects, device capabilities and clipping.
#include "dc_state.h"

#include <cmath>
#include <unordered_map>

#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// Saved states beyond this many are refused; a metafile cannot make a
// device context hold an unbounded stack.
constexpr size_t kMaxSavedStates = 1024;

std::unordered_map<HDC, std::unique_ptr<DcState>>& States() {
    static std::unordered_map<HDC, std::unique_ptr<DcState>> states;
    return states;
}

DcAttributes Defaults() {
    DcAttributes a;
    a.pen = StockObject(BLACK_PEN);
    a.brush = StockObject(WHITE_BRUSH);
    a.font = StockObject(SYSTEM_FONT);
    a.palette = StockObject(DEFAULT_PALETTE);
    return a;
}

LONG LogPixels(const DcState& dc, bool y) {
    ULONG v = y ? dc.facts.gdiinfo.ulLogPixelsY : dc.facts.gdiinfo.ulLogPixelsX;
    return v ? static_cast<LONG>(v) : 600;
}

// Logical units per inch of the fixed map modes.
LONG UnitsPerInch(int mode) {
    switch (mode) {
    case MM_LOMETRIC:
        return 254;
    case MM_HIMETRIC:
        return 2540;
    case MM_LOENGLISH:
        return 100;
    case MM_HIENGLISH:
        return 1000;
    case MM_TWIPS:
        return 1440;
    default:
        return 0;
    }
}

// In MM_ISOTROPIC one logical unit is as long on both axes: the viewport
// extent of the axis with the larger scale is shrunk.
void MakeIsotropic(DcAttributes& a) {
    if (a.mapMode != MM_ISOTROPIC) return;
    double xs = static_cast<double>(a.viewportExt.cx) / a.windowExt.cx;
    double ys = static_cast<double>(a.viewportExt.cy) / a.windowExt.cy;
    if (std::fabs(xs) < std::fabs(ys)) {
        double v = std::fabs(a.windowExt.cy * xs);
        a.viewportExt.cy = static_cast<LONG>(std::lround(a.viewportExt.cy < 0 ? -v : v));
    } else if (std::fabs(ys) < std::fabs(xs)) {
        double v = std::fabs(a.windowExt.cx * ys);
        a.viewportExt.cx = static_cast<LONG>(std::lround(a.viewportExt.cx < 0 ? -v : v));
    }
    if (a.viewportExt.cx == 0) a.viewportExt.cx = 1;
    if (a.viewportExt.cy == 0) a.viewportExt.cy = 1;
}

bool Fits(long long v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

LONG RoundLong(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<LONG>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
}

} // namespace

DcAccess::DcAccess(HDC hdc) : lock_(GdiLock()) {
    if (!hdc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    // ResetDC can change the device; the facts are read afresh each time,
    // straight into the state once there is one (a failed query leaves them).
    auto it = States().find(hdc);
    if (it != States().end() && it->second) {
        if (!QueryPrinterDc(hdc, &it->second->facts)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return;
        }
        dc_ = it->second.get();
        return;
    }
    PrinterDcFacts facts;
    if (!QueryPrinterDc(hdc, &facts)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return;
    }
    auto& slot = States()[hdc];
    slot = std::make_unique<DcState>();
    slot->hdc = hdc;
    slot->a = Defaults();
    slot->facts = facts;
    dc_ = slot.get();
}

void ForgetDcState(HDC hdc) {
    std::unique_ptr<DcState> gone;
    std::lock_guard lock(GdiLock());
    auto it = States().find(hdc);
    if (it == States().end()) return;
    gone = std::move(it->second);
    States().erase(it);
}

Affine PageTransform(const DcAttributes& a) {
    double sx = static_cast<double>(a.viewportExt.cx) / a.windowExt.cx;
    double sy = static_cast<double>(a.viewportExt.cy) / a.windowExt.cy;
    return Affine{sx,
                  0,
                  0,
                  sy,
                  a.origin.x + a.viewportOrg.x - a.windowOrg.x * sx,
                  a.origin.y + a.viewportOrg.y - a.windowOrg.y * sy};
}

Affine LogicalToDevice(const DcAttributes& a) {
    return a.world.Then(PageTransform(a));
}

RECTL PageRect(const DcState& dc) {
    return RECTL{0, 0, static_cast<LONG>(dc.facts.gdiinfo.ulHorzRes),
                 static_cast<LONG>(dc.facts.gdiinfo.ulVertRes)};
}

std::optional<Region> EffectiveClip(const DcAttributes& a) {
    if (a.clip && a.meta) return a.clip->Combine(*a.meta, RGN_AND);
    if (a.clip) return a.clip;
    return a.meta;
}

int CombineClip(DcState& dc, const Region* rgn, int mode) {
    DcAttributes& a = dc.a;
    if (mode < RGN_AND || mode > RGN_COPY || (!rgn && mode != RGN_COPY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    if (mode == RGN_COPY) {
        if (rgn)
            a.clip = *rgn;
        else
            a.clip.reset();
    } else {
        Region current = a.clip ? *a.clip : Region::FromRect(PageRect(dc));
        a.clip = current.Combine(*rgn, mode);
    }
    auto effective = EffectiveClip(a);
    return effective ? effective->Kind() : SIMPLEREGION;
}

Region LogicalRectRegion(const DcState& dc, const RECT& r) {
    Affine m = LogicalToDevice(dc.a);
    double l = r.left, t = r.top, rt = r.right, b = r.bottom;
    if (m.AxisAligned()) {
        PointD p = m.Apply({l, t}), q = m.Apply({rt, b});
        return Region::FromRect(RoundLong(p.x), RoundLong(p.y), RoundLong(q.x), RoundLong(q.y));
    }
    RECTL page = PageRect(dc);
    RECTL limit{page.left - page.right, page.top - page.bottom, 2 * page.right, 2 * page.bottom};
    return Region::FromPolygons(
        {{m.Apply({l, t}), m.Apply({rt, t}), m.Apply({rt, b}), m.Apply({l, b})}}, WINDING, &limit);
}

double LogicalScale(const DcAttributes& a) {
    double det = LogicalToDevice(a).Det();
    return std::isfinite(det) ? std::sqrt(std::fabs(det)) : 1.0;
}

} // namespace platform::gdi

using namespace platform::gdi;

namespace {

// Runs f on the attributes of hdc; fail when hdc is none.
template <class R, class F> R With(HDC hdc, R fail, F f) {
    DcAccess dc(hdc);
    if (!dc) return fail;
    return f(*dc);
}

BOOL SetExtent(HDC hdc, int x, int y, LPSIZE old, bool window) {
    return With(hdc, FALSE, [&](DcState& dc) {
        SIZE& ext = window ? dc.a.windowExt : dc.a.viewportExt;
        if (old) *old = ext;
        if (dc.a.mapMode != MM_ISOTROPIC && dc.a.mapMode != MM_ANISOTROPIC) return TRUE;
        if (x == 0 || y == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ext = SIZE{x, y};
        MakeIsotropic(dc.a);
        return TRUE;
    });
}

BOOL ScaleExtent(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE old, bool window) {
    return With(hdc, FALSE, [&](DcState& dc) {
        SIZE& ext = window ? dc.a.windowExt : dc.a.viewportExt;
        if (old) *old = ext;
        if (dc.a.mapMode != MM_ISOTROPIC && dc.a.mapMode != MM_ANISOTROPIC) return TRUE;
        if (xd == 0 || yd == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        long long cx = static_cast<long long>(ext.cx) * xn / xd;
        long long cy = static_cast<long long>(ext.cy) * yn / yd;
        if (cx == 0 || cy == 0 || !Fits(cx) || !Fits(cy)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ext = SIZE{static_cast<LONG>(cx), static_cast<LONG>(cy)};
        MakeIsotropic(dc.a);
        return TRUE;
    });
}

BOOL SetOrigin(HDC hdc, int x, int y, LPPOINT old, bool window, bool offset) {
    return With(hdc, FALSE, [&](DcState& dc) {
        POINT& org = window ? dc.a.windowOrg : dc.a.viewportOrg;
        if (old) *old = org;
        long long nx = offset ? static_cast<long long>(org.x) + x : x;
        long long ny = offset ? static_cast<long long>(org.y) + y : y;
        if (!Fits(nx) || !Fits(ny)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        org = POINT{static_cast<LONG>(nx), static_cast<LONG>(ny)};
        return TRUE;
    });
}

bool ValidTransform(const Affine& m) {
    double det = m.Det();
    return m.Finite() && std::isfinite(det) && det != 0;
}

template <class T> T Swap(T& field, T value) {
    T old = field;
    field = value;
    return old;
}

} // namespace

extern "C" {

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    return With(hdc, 0, [&](DcState& dc) -> int {
        const GDIINFO& g = dc.facts.gdiinfo;
        auto size = [&](ULONG mm, ULONG res, bool y) -> int {
            if (mm & 0x80000000u) return static_cast<int>(-static_cast<LONG>(mm) / 1000);
            if (mm) return static_cast<int>(mm);
            return static_cast<int>(std::lround(res * 25.4 / LogPixels(dc, y)));
        };
        switch (index) {
        case DRIVERVERSION:
            return static_cast<int>(g.ulVersion);
        case TECHNOLOGY:
            return static_cast<int>(g.ulTechnology);
        case HORZSIZE:
            return size(g.ulHorzSize, g.ulHorzRes, false);
        case VERTSIZE:
            return size(g.ulVertSize, g.ulVertRes, true);
        case HORZRES:
            return static_cast<int>(g.ulHorzRes);
        case VERTRES:
            return static_cast<int>(g.ulVertRes);
        case BITSPIXEL:
            return static_cast<int>(g.cBitsPixel);
        case PLANES:
            return static_cast<int>(g.cPlanes);
        case NUMCOLORS:
            return static_cast<int>(g.ulNumColors);
        case ASPECTX:
            return static_cast<int>(g.ulAspectX);
        case ASPECTY:
            return static_cast<int>(g.ulAspectY);
        case ASPECTXY:
            return static_cast<int>(g.ulAspectXY);
        case LOGPIXELSX:
            return LogPixels(dc, false);
        case LOGPIXELSY:
            return LogPixels(dc, true);
        case PHYSICALWIDTH:
            return g.szlPhysSize.cx;
        case PHYSICALHEIGHT:
            return g.szlPhysSize.cy;
        case PHYSICALOFFSETX:
            return g.ptlPhysOffset.x;
        case PHYSICALOFFSETY:
            return g.ptlPhysOffset.y;
        default:
            return 0;
        }
    });
}

int WINAPI SetGraphicsMode(HDC hdc, int iMode) {
    return With(hdc, 0, [&](DcState& dc) {
        if (iMode != GM_COMPATIBLE && iMode != GM_ADVANCED) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        // Back to compatible only once the world transform is the identity.
        if (iMode == GM_COMPATIBLE && !dc.a.world.IsIdentity()) return 0;
        return Swap(dc.a.graphicsMode, iMode);
    });
}

int WINAPI GetGraphicsMode(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.graphicsMode; });
}

BOOL WINAPI SetWorldTransform(HDC hdc, const XFORM* lpxf) {
    PLATFORM_FAULT_POINT("SetWorldTransform", FALSE);
    return With(hdc, FALSE, [&](DcState& dc) {
        if (!lpxf || dc.a.graphicsMode != GM_ADVANCED || !ValidTransform(Affine::From(*lpxf))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dc.a.world = Affine::From(*lpxf);
        return TRUE;
    });
}

BOOL WINAPI ModifyWorldTransform(HDC hdc, const XFORM* lpxf, DWORD mode) {
    PLATFORM_FAULT_POINT("ModifyWorldTransform", FALSE);
    return With(hdc, FALSE, [&](DcState& dc) {
        if (dc.a.graphicsMode != GM_ADVANCED || (mode != MWT_IDENTITY && !lpxf)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        Affine m;
        if (mode == MWT_LEFTMULTIPLY)
            m = Affine::From(*lpxf).Then(dc.a.world);
        else if (mode == MWT_RIGHTMULTIPLY)
            m = dc.a.world.Then(Affine::From(*lpxf));
        else if (mode != MWT_IDENTITY) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!ValidTransform(m)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dc.a.world = m;
        return TRUE;
    });
}

BOOL WINAPI GetWorldTransform(HDC hdc, LPXFORM lpxf) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (!lpxf) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpxf = dc.a.world.ToXform();
        return TRUE;
    });
}

BOOL WINAPI CombineTransform(LPXFORM lpxfResult, const XFORM* lpxf1, const XFORM* lpxf2) {
    if (!lpxfResult || !lpxf1 || !lpxf2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpxfResult = Affine::From(*lpxf1).Then(Affine::From(*lpxf2)).ToXform();
    return TRUE;
}

int WINAPI SetMapMode(HDC hdc, int iMode) {
    return With(hdc, 0, [&](DcState& dc) {
        if (iMode < MM_TEXT || iMode > MM_ANISOTROPIC) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        DcAttributes& a = dc.a;
        int old = Swap(a.mapMode, iMode);
        if (iMode == MM_TEXT) {
            a.windowExt = a.viewportExt = SIZE{1, 1};
        } else if (LONG units = UnitsPerInch(iMode)) {
            a.windowExt = SIZE{units, units};
            a.viewportExt = SIZE{LogPixels(dc, false), -LogPixels(dc, true)};
        } else {
            MakeIsotropic(a);
        }
        return old;
    });
}

int WINAPI GetMapMode(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.mapMode; });
}

BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return SetOrigin(hdc, x, y, lppt, true, false);
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return SetOrigin(hdc, x, y, lppt, false, false);
}

BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return SetOrigin(hdc, x, y, lppt, true, true);
}

BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return SetOrigin(hdc, x, y, lppt, false, true);
}

BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppt) {
    return With(hdc, FALSE,
                [&](DcState& dc) { return lppt ? (*lppt = dc.a.windowOrg, TRUE) : FALSE; });
}

BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppt) {
    return With(hdc, FALSE,
                [&](DcState& dc) { return lppt ? (*lppt = dc.a.viewportOrg, TRUE) : FALSE; });
}

BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    return SetExtent(hdc, x, y, lpsz, true);
}

BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    return SetExtent(hdc, x, y, lpsz, false);
}

BOOL WINAPI ScaleWindowExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
    return ScaleExtent(hdc, xn, xd, yn, yd, lpsz, true);
}

BOOL WINAPI ScaleViewportExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
    return ScaleExtent(hdc, xn, xd, yn, yd, lpsz, false);
}

BOOL WINAPI GetWindowExtEx(HDC hdc, LPSIZE lpsize) {
    return With(hdc, FALSE,
                [&](DcState& dc) { return lpsize ? (*lpsize = dc.a.windowExt, TRUE) : FALSE; });
}

BOOL WINAPI GetViewportExtEx(HDC hdc, LPSIZE lpsize) {
    return With(hdc, FALSE,
                [&](DcState& dc) { return lpsize ? (*lpsize = dc.a.viewportExt, TRUE) : FALSE; });
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (c < 0 || (c > 0 && !lppt)) return FALSE;
        Affine m = LogicalToDevice(dc.a);
        for (int i = 0; i < c; ++i) {
            PointD p = m.Apply({static_cast<double>(lppt[i].x), static_cast<double>(lppt[i].y)});
            lppt[i] = POINT{RoundLong(p.x) - dc.a.origin.x, RoundLong(p.y) - dc.a.origin.y};
        }
        return TRUE;
    });
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c) {
    return With(hdc, FALSE, [&](DcState& dc) {
        Affine inverse;
        if (c < 0 || (c > 0 && !lppt) || !LogicalToDevice(dc.a).Invert(&inverse)) return FALSE;
        for (int i = 0; i < c; ++i) {
            PointD p = inverse.Apply({static_cast<double>(lppt[i].x + dc.a.origin.x),
                                      static_cast<double>(lppt[i].y + dc.a.origin.y)});
            lppt[i] = POINT{RoundLong(p.x), RoundLong(p.y)};
        }
        return TRUE;
    });
}

int WINAPI SaveDC(HDC hdc) {
    PLATFORM_FAULT_POINT("SaveDC", 0);
    return With(hdc, 0, [](DcState& dc) {
        if (dc.saved.size() >= kMaxSavedStates) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        dc.saved.push_back(dc.a);
        return static_cast<int>(dc.saved.size());
    });
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
    PLATFORM_FAULT_POINT("RestoreDC", FALSE);
    return With(hdc, FALSE, [&](DcState& dc) {
        long long count = static_cast<long long>(dc.saved.size());
        long long level = nSavedDC < 0 ? count + 1 + nSavedDC : nSavedDC;
        if (nSavedDC == 0 || level < 1 || level > count) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dc.a = std::move(dc.saved[static_cast<size_t>(level - 1)]);
        dc.saved.resize(static_cast<size_t>(level - 1));
        return TRUE;
    });
}

int WINAPI SetROP2(HDC hdc, int rop2) {
    return With(hdc, 0, [&](DcState& dc) {
        if (rop2 < R2_BLACK || rop2 > R2_WHITE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return Swap(dc.a.rop2, rop2);
    });
}

int WINAPI GetROP2(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.rop2; });
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    return With(hdc, 0, [&](DcState& dc) {
        if (mode != TRANSPARENT && mode != OPAQUE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return Swap(dc.a.bkMode, mode);
    });
}

int WINAPI GetBkMode(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.bkMode; });
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [&](DcState& dc) { return Swap(dc.a.bkColor, color); });
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID), [](DcState& dc) { return dc.a.bkColor; });
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [&](DcState& dc) { return Swap(dc.a.textColor, color); });
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [](DcState& dc) { return dc.a.textColor; });
}

COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [&](DcState& dc) { return Swap(dc.a.dcBrushColor, color); });
}

COLORREF WINAPI GetDCBrushColor(HDC hdc) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [](DcState& dc) { return dc.a.dcBrushColor; });
}

COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [&](DcState& dc) { return Swap(dc.a.dcPenColor, color); });
}

COLORREF WINAPI GetDCPenColor(HDC hdc) {
    return With(hdc, static_cast<COLORREF>(CLR_INVALID),
                [](DcState& dc) { return dc.a.dcPenColor; });
}

int WINAPI SetPolyFillMode(HDC hdc, int mode) {
    return With(hdc, 0, [&](DcState& dc) {
        if (mode != ALTERNATE && mode != WINDING) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return Swap(dc.a.polyFillMode, mode);
    });
}

int WINAPI GetPolyFillMode(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.polyFillMode; });
}

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
    return With(hdc, 0, [&](DcState& dc) {
        if (mode < BLACKONWHITE || mode > HALFTONE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return Swap(dc.a.stretchMode, mode);
    });
}

int WINAPI GetStretchBltMode(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.stretchMode; });
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
    return With(hdc, static_cast<UINT>(0xFFFFFFFF),
                [&](DcState& dc) { return Swap(dc.a.textAlign, align); });
}

UINT WINAPI GetTextAlign(HDC hdc) {
    return With(hdc, static_cast<UINT>(0xFFFFFFFF), [](DcState& dc) { return dc.a.textAlign; });
}

int WINAPI SetArcDirection(HDC hdc, int dir) {
    return With(hdc, 0, [&](DcState& dc) {
        if (dir != AD_COUNTERCLOCKWISE && dir != AD_CLOCKWISE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return Swap(dc.a.arcDirection, dir);
    });
}

int WINAPI GetArcDirection(HDC hdc) {
    return With(hdc, 0, [](DcState& dc) { return dc.a.arcDirection; });
}

BOOL WINAPI SetMiterLimit(HDC hdc, FLOAT limit, PFLOAT old) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (!std::isfinite(limit) || limit < 1) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (old) *old = static_cast<FLOAT>(dc.a.miterLimit);
        dc.a.miterLimit = limit;
        return TRUE;
    });
}

BOOL WINAPI GetMiterLimit(HDC hdc, PFLOAT plimit) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (!plimit) return FALSE;
        *plimit = static_cast<FLOAT>(dc.a.miterLimit);
        return TRUE;
    });
}

BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (lppt) *lppt = dc.a.brushOrg;
        dc.a.brushOrg = POINT{x, y};
        return TRUE;
    });
}

BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt) {
    return With(hdc, FALSE,
                [&](DcState& dc) { return lppt ? (*lppt = dc.a.brushOrg, TRUE) : FALSE; });
}

BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
    return With(hdc, FALSE, [&](DcState& dc) {
        if (!lppt) return FALSE;
        *lppt = POINT{RoundLong(dc.a.current.x), RoundLong(dc.a.current.y)};
        return TRUE;
    });
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    PLATFORM_FAULT_POINT("SelectObject", nullptr);
    auto o = FindObject(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (o->kind == ObjectKind::Region) {
        int kind = SelectClipRgn(hdc, reinterpret_cast<HRGN>(h));
        return kind == ERROR ? nullptr : reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(kind));
    }
    if (o->kind == ObjectKind::Bitmap) {
        // Only into a memory device context.
        auto old = SelectDcBitmap(hdc, o);
        return old ? HandleOf(old) : nullptr;
    }
    return With(hdc, static_cast<HGDIOBJ>(nullptr), [&](DcState& dc) -> HGDIOBJ {
        std::shared_ptr<GdiObject>* slot = nullptr;
        switch (o->kind) {
        case ObjectKind::Pen:
            slot = &dc.a.pen;
            break;
        case ObjectKind::Brush:
            slot = &dc.a.brush;
            break;
        case ObjectKind::Font:
            slot = &dc.a.font;
            break;
        default:
            // Palettes go through SelectPalette.
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        HGDIOBJ old = HandleOf(*slot);
        *slot = o;
        return old;
    });
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    return With(hdc, static_cast<HGDIOBJ>(nullptr), [&](DcState& dc) -> HGDIOBJ {
        switch (type) {
        case OBJ_PEN:
        case OBJ_EXTPEN:
            return HandleOf(dc.a.pen);
        case OBJ_BRUSH:
            return HandleOf(dc.a.brush);
        case OBJ_FONT:
            return HandleOf(dc.a.font);
        case OBJ_PAL:
            return HandleOf(dc.a.palette);
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    });
}

int WINAPI ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
    PLATFORM_FAULT_POINT("ExtSelectClipRgn", ERROR);
    std::shared_ptr<GdiObject> rgn;
    if (hrgn && !(rgn = FindObject(hrgn, ObjectKind::Region))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    return With(hdc, ERROR, [&](DcState& dc) {
        if (!rgn) return CombineClip(dc, nullptr, mode);
        Region moved = rgn->region;
        moved.Offset(dc.a.origin.x, dc.a.origin.y);
        return CombineClip(dc, &moved, mode);
    });
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
    PLATFORM_FAULT_POINT("SelectClipRgn", ERROR);
    return ExtSelectClipRgn(hdc, hrgn, RGN_COPY);
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    return With(hdc, ERROR, [&](DcState& dc) {
        Region r = LogicalRectRegion(dc, RECT{left, top, right, bottom});
        return CombineClip(dc, &r, RGN_AND);
    });
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    return With(hdc, ERROR, [&](DcState& dc) {
        Region r = LogicalRectRegion(dc, RECT{left, top, right, bottom});
        return CombineClip(dc, &r, RGN_DIFF);
    });
}

int WINAPI OffsetClipRgn(HDC hdc, int x, int y) {
    return With(hdc, ERROR, [&](DcState& dc) {
        PointD v =
            LogicalToDevice(dc.a).ApplyVector({static_cast<double>(x), static_cast<double>(y)});
        if (dc.a.clip) dc.a.clip->Offset(RoundLong(v.x), RoundLong(v.y));
        auto effective = EffectiveClip(dc.a);
        return effective ? effective->Kind() : SIMPLEREGION;
    });
}

int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
    auto rgn = FindObject(hrgn, ObjectKind::Region);
    if (!rgn) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return With(hdc, -1, [&](DcState& dc) {
        if (!dc.a.clip) return 0;
        rgn->region = *dc.a.clip;
        rgn->region.Offset(-dc.a.origin.x, -dc.a.origin.y);
        return 1;
    });
}

int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
    return With(hdc, ERROR, [&](DcState& dc) {
        if (!lprect) return ERROR;
        auto clip = EffectiveClip(dc.a);
        RECTL box = clip ? clip->Bounds() : PageRect(dc);
        Affine inverse;
        if (!LogicalToDevice(dc.a).Invert(&inverse)) return ERROR;
        PointD c[4] = {
            inverse.Apply({static_cast<double>(box.left), static_cast<double>(box.top)}),
            inverse.Apply({static_cast<double>(box.right), static_cast<double>(box.top)}),
            inverse.Apply({static_cast<double>(box.right), static_cast<double>(box.bottom)}),
            inverse.Apply({static_cast<double>(box.left), static_cast<double>(box.bottom)})};
        double l = c[0].x, t = c[0].y, r = c[0].x, b = c[0].y;
        for (const PointD& p : c) {
            l = std::min(l, p.x), r = std::max(r, p.x);
            t = std::min(t, p.y), b = std::max(b, p.y);
        }
        *lprect = RECT{RoundLong(l), RoundLong(t), RoundLong(r), RoundLong(b)};
        return clip ? clip->Kind() : SIMPLEREGION;
    });
}

int WINAPI SetMetaRgn(HDC hdc) {
    return With(hdc, ERROR, [](DcState& dc) {
        DcAttributes& a = dc.a;
        if (a.clip) {
            a.meta = a.meta ? a.meta->Combine(*a.clip, RGN_AND) : *a.clip;
            a.clip.reset();
        }
        return a.meta ? a.meta->Kind() : SIMPLEREGION;
    });
}
}
