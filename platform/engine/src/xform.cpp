// Transforms: a 2 x 3 matrix applied to points in whole units or 28.4 fixed
// point.
#include <cmath>
#include <limits>
#include <new>

#include "engine_internal.h"
#include "platform/engine_objects.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

struct Xform final : EngineObject {
    XFORMOBJ xo{};
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    void* Record() override { return &xo; }
    bool Clear() {
        *this = Xform();
        return true;
    }
};

bool ToLong(double v, LONG* out) {
    double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<LONG>::min() && r <= std::numeric_limits<LONG>::max()))
        return false;
    *out = static_cast<LONG>(r);
    return true;
}

} // namespace

XFORMOBJ* CreateXform(const XFORML& xform) {
    std::unique_ptr<Xform> x = NewObject<Xform>();
    if (!x) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    x->m11 = xform.eM11, x->m12 = xform.eM12, x->m21 = xform.eM21, x->m22 = xform.eM22;
    x->dx = xform.eDx, x->dy = xform.eDy;
    std::lock_guard lock(EngineLock());
    XFORMOBJ* xo = &x->xo;
    InsertObjectLocked(std::move(x));
    return xo;
}

void DeleteXform(XFORMOBJ* pxo) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<Xform>(pxo)) gone = DeleteObjectLocked<Xform>(pxo);
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform) {
    std::lock_guard lock(EngineLock());
    Xform* x = FindLocked<Xform>(pxo);
    if (!x) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return DDI_ERROR;
    }
    if (pxform) {
        *pxform = XFORML{static_cast<FLOATL>(x->m11), static_cast<FLOATL>(x->m12),
                         static_cast<FLOATL>(x->m21), static_cast<FLOATL>(x->m22),
                         static_cast<FLOATL>(x->dx),  static_cast<FLOATL>(x->dy)};
    }
    bool linearIdentity = x->m11 == 1 && x->m12 == 0 && x->m21 == 0 && x->m22 == 1;
    if (linearIdentity) return x->dx == 0 && x->dy == 0 ? GX_IDENTITY : GX_OFFSET;
    return x->m12 == 0 && x->m21 == 0 ? GX_SCALE : GX_GENERAL;
}

BOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn,
                                   PVOID pvOut) {
    double m11, m12, m21, m22, dx, dy;
    {
        std::lock_guard lock(EngineLock());
        Xform* x = FindLocked<Xform>(pxo);
        if (!x || (cPoints && (!pvIn || !pvOut)) || iMode > XF_INV_FXTOL) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        m11 = x->m11, m12 = x->m12, m21 = x->m21, m22 = x->m22, dx = x->dx, dy = x->dy;
    }
    bool inverse = iMode == XF_INV_LTOL || iMode == XF_INV_FXTOL;
    if (inverse) {
        double det = m11 * m22 - m12 * m21;
        if (det == 0 || !std::isfinite(det)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        double i11 = m22 / det, i12 = -m12 / det, i21 = -m21 / det, i22 = m11 / det;
        double idx = -(dx * i11 + dy * i21), idy = -(dx * i12 + dy * i22);
        m11 = i11, m12 = i12, m21 = i21, m22 = i22, dx = idx, dy = idy;
    }
    // Input and output may be the same array; every point is read before it is written.
    const auto* in = static_cast<const LONG*>(pvIn);
    auto* out = static_cast<LONG*>(pvOut);
    double inScale = iMode == XF_INV_FXTOL ? 1.0 / 16 : 1.0;
    double outScale = iMode == XF_LTOFX ? 16.0 : 1.0;
    for (ULONG i = 0; i < cPoints; ++i) {
        double x = in[2 * i] * inScale, y = in[2 * i + 1] * inScale;
        double tx = (x * m11 + y * m21 + dx) * outScale;
        double ty = (x * m12 + y * m22 + dy) * outScale;
        LONG ox, oy;
        if (!ToLong(tx, &ox) || !ToLong(ty, &oy)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        out[2 * i] = ox;
        out[2 * i + 1] = oy;
    }
    return TRUE;
}
}
