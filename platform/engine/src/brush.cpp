// Brushes: solid colours, patterns and hatches, realized by the driver of the
// target surface's device the first time a driver asks for the realization.
#include <cstring>
#include <new>

#include "engine_internal.h"
#include "raster.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::engine {
namespace {

struct Brush final : EngineObject {
    BRUSHOBJ bo{};
    HSURF target = nullptr;
    HSURF pattern = nullptr; // the engine's own copies
    HSURF mask = nullptr;
    XLATEOBJ* xlate = nullptr;
    ULONG iHatch = HS_DDI_MAX;
    void* pending = nullptr; // allocated during DrvRealizeBrush, kept when it succeeds
    bool realizing = false;
    void* Record() override { return &bo; }
    // A brush that holds nothing (no pattern, no realization, none under way)
    // becomes as new; any other is let go.
    bool Clear() {
        if (pattern || mask || xlate || pending || bo.pvRbrush || realizing) return false;
        bo = BRUSHOBJ{};
        target = nullptr;
        iHatch = HS_DDI_MAX;
        return true;
    }
    ~Brush() override {
        FreeCounted(pending);
        FreeCounted(bo.pvRbrush);
        if (pattern) EngDeleteSurface(pattern);
        if (mask) EngDeleteSurface(mask);
        if (xlate) DeleteXlate(xlate);
    }
};

// The hatch lines of each style as the 0 bits of 8 rows (top row first).
constexpr BYTE kHatchRows[HS_DDI_MAX][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF}, // HS_HORIZONTAL
    {0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7}, // HS_VERTICAL
    {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE}, // HS_FDIAGONAL
    {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F}, // HS_BDIAGONAL
    {0xF7, 0xF7, 0xF7, 0xF7, 0x00, 0xF7, 0xF7, 0xF7}, // HS_CROSS
    {0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E}, // HS_DIAGCROSS
};

// A top-down copy of a bitmap surface; nullptr when src is not one.
HSURF CopyBitmap(HSURF src) {
    SURFOBJ* so = EngLockSurface(src);
    if (!so) return nullptr;
    HSURF copy = nullptr;
    if (so->iType == STYPE_BITMAP && so->pvScan0) {
        copy = CreateBitmapSurface(so->sizlBitmap, 0, so->iBitmapFormat, BMF_TOPDOWN, nullptr);
        if (SURFOBJ* dst = copy ? EngLockSurface(copy) : nullptr) {
            ULONG row = RowBytes(so->iBitmapFormat, so->sizlBitmap.cx);
            for (LONG y = 0; y < so->sizlBitmap.cy; ++y)
                std::memcpy(
                    static_cast<BYTE*>(dst->pvScan0) + static_cast<ptrdiff_t>(y) * dst->lDelta,
                    static_cast<const BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta,
                    row);
            EngUnlockSurface(dst);
        }
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    EngUnlockSurface(so);
    return copy;
}

// Copies the public fields and the table of any colour translation.
XLATEOBJ* CopyXlate(XLATEOBJ* src) {
    if (!src) return nullptr;
    if ((src->flXlate & XO_TABLE) && src->pulXlate)
        return CreateTableXlate(src->pulXlate, src->cEntries, src->iSrcType, src->iDstType);
    return CreateTrivialXlate();
}

BRUSHOBJ* Register(std::unique_ptr<Brush> brush) {
    std::lock_guard lock(EngineLock());
    BRUSHOBJ* bo = &brush->bo;
    InsertObjectLocked(std::move(brush));
    return bo;
}

} // namespace

BRUSHOBJ* CreateSolidBrush(HSURF target, ULONG iSolidColor) {
    std::unique_ptr<Brush> brush = NewObject<Brush>();
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    brush->target = target;
    brush->bo.iSolidColor = iSolidColor;
    return Register(std::move(brush));
}

BRUSHOBJ* CreatePatternBrush(HSURF target, HSURF pattern, HSURF mask, XLATEOBJ* pxlo) {
    auto brush = std::unique_ptr<Brush>(new (std::nothrow) Brush);
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    brush->target = target;
    brush->bo.iSolidColor = 0xFFFFFFFF;
    brush->pattern = CopyBitmap(pattern);
    if (!brush->pattern) return nullptr;
    if (mask && !(brush->mask = CopyBitmap(mask))) return nullptr;
    if (pxlo && !(brush->xlate = CopyXlate(pxlo))) return nullptr;
    return Register(std::move(brush));
}

BRUSHOBJ* CreateHatchBrush(HSURF target, ULONG iHatch, ULONG foreColor, ULONG backColor) {
    if (iHatch >= HS_DDI_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto brush = std::unique_ptr<Brush>(new (std::nothrow) Brush);
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    brush->target = target;
    brush->bo.iSolidColor = 0xFFFFFFFF;
    brush->iHatch = iHatch;
    brush->pattern = CreateBitmapSurface(SIZEL{8, 8}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr);
    if (!brush->pattern) return nullptr;
    if (SURFOBJ* so = EngLockSurface(brush->pattern)) {
        for (int y = 0; y < 8; ++y)
            static_cast<BYTE*>(so->pvScan0)[static_cast<ptrdiff_t>(y) * so->lDelta] =
                kHatchRows[iHatch][y];
        EngUnlockSurface(so);
    }
    ULONG colors[2] = {foreColor, backColor};
    brush->xlate = CreateTableXlate(colors, 2);
    if (!brush->xlate) return nullptr;
    return Register(std::move(brush));
}

bool BrushPatternOf(BRUSHOBJ* pbo, HSURF* pattern, XLATEOBJ** xlate, bool* hatch) {
    std::lock_guard lock(EngineLock());
    Brush* brush = FindLocked<Brush>(pbo);
    if (!brush || !brush->pattern) return false;
    *pattern = brush->pattern;
    *xlate = brush->xlate;
    if (hatch) *hatch = brush->iHatch < HS_DDI_MAX;
    return true;
}

void DeleteBrush(BRUSHOBJ* pbo) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<Brush>(pbo)) gone = DeleteObjectLocked<Brush>(pbo);
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
    PLATFORM_FAULT_POINT("BRUSHOBJ_pvAllocRbrush", nullptr);
    std::lock_guard lock(EngineLock());
    Brush* brush = FindLocked<Brush>(pbo);
    if (!brush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* p = AllocCounted(cj, true);
    if (!p) return nullptr;
    if (brush->realizing) {
        FreeCounted(brush->pending);
        brush->pending = p;
    } else {
        FreeCounted(brush->bo.pvRbrush);
        brush->bo.pvRbrush = p;
    }
    return p;
}

PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
    if (!pbo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    PFN_DrvRealizeBrush realize = nullptr;
    SURFOBJ *target = nullptr, *pattern = nullptr, *mask = nullptr;
    XLATEOBJ* xlate = nullptr;
    ULONG iHatch = 0;
    Brush* brush = nullptr;
    {
        std::lock_guard lock(EngineLock());
        brush = FindLocked<Brush>(pbo);
        if (!brush || pbo->pvRbrush) return pbo->pvRbrush;
        // A solid colour has nothing to realize; a realization in progress
        // has nothing to give yet.
        if (!brush->pattern || brush->realizing) return nullptr;
        Surface* t = FindSurfaceLocked(brush->target);
        realize = t ? reinterpret_cast<PFN_DrvRealizeBrush>(
                          DeviceFunctionLocked(FindDeviceLocked(t->so.hdev), INDEX_DrvRealizeBrush))
                    : nullptr;
        if (!realize) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        target = EngLockSurface(brush->target);
        pattern = EngLockSurface(brush->pattern);
        mask = brush->mask ? EngLockSurface(brush->mask) : nullptr;
        xlate = brush->xlate;
        iHatch = brush->iHatch;
        brush->realizing = true;
    }
    BOOL ok = realize(pbo, target, pattern, mask, xlate, iHatch);
    std::lock_guard lock(EngineLock());
    EngUnlockSurface(target);
    EngUnlockSurface(pattern);
    if (mask) EngUnlockSurface(mask);
    // The driver may have deleted the brush meanwhile.
    brush = FindLocked<Brush>(pbo);
    if (!brush) return nullptr;
    brush->realizing = false;
    if (ok && brush->pending) {
        brush->bo.pvRbrush = brush->pending;
        brush->pending = nullptr;
    } else {
        FreeCounted(brush->pending);
        brush->pending = nullptr;
    }
    return brush->bo.pvRbrush;
}
}
