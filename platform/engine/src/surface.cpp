// Surfaces: engine bitmaps (1, 4, 8, 16, 24 and 32 bits per pixel, top-down
// or bottom-up) and device surfaces whose drawing the driver does itself.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_ctl.h"
#include "platform/engine_device.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

// Largest bitmap the engine makes; cjBits is a ULONG and strides are LONGs.
constexpr unsigned long long kMaxBitmapBytes = 0x7FFFFFFFull;

std::map<ULONG_PTR, Surface*>& Handles() {
    static std::map<ULONG_PTR, Surface*> handles;
    return handles;
}
// Every surface not yet freed, by the address of its SURFOBJ.
std::map<SURFOBJ*, std::unique_ptr<Surface>>& Live() {
    static std::map<SURFOBJ*, std::unique_ptr<Surface>> live;
    return live;
}
ULONG_PTR gNextHandle = 0x5f000;

HSURF InsertLocked(std::unique_ptr<Surface> s) {
    gNextHandle += 0x10;
    auto h = reinterpret_cast<HSURF>(gNextHandle);
    s->so.hsurf = h;
    s->so.iUniq = NextUniq();
    Surface* raw = s.get();
    Handles()[gNextHandle] = raw;
    Live()[&raw->so] = std::move(s);
    return h;
}

void FreeLocked(Surface* s) {
    Live().erase(&s->so);
}

void SetPixelRow(BYTE* row, ULONG bpp, LONG x0, LONG x1, ULONG color) {
    switch (bpp) {
    case 1:
        for (LONG x = x0; x < x1; ++x) {
            BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
            if (color & 1)
                row[x >> 3] |= bit;
            else
                row[x >> 3] &= static_cast<BYTE>(~bit);
        }
        break;
    case 4:
        for (LONG x = x0; x < x1; ++x) {
            BYTE& b = row[x >> 1];
            b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (color & 0x0F))
                        : static_cast<BYTE>((b & 0x0F) | ((color & 0x0F) << 4));
        }
        break;
    case 8:
        std::memset(row + x0, static_cast<int>(color & 0xFF), static_cast<size_t>(x1 - x0));
        break;
    default: {
        // 16, 24 and 32 bits: the colour's low bytes, little-endian.
        size_t n = bpp / 8;
        for (LONG x = x0; x < x1; ++x)
            for (size_t i = 0; i < n; ++i)
                row[static_cast<size_t>(x) * n + i] = static_cast<BYTE>(color >> (8 * i));
        break;
    }
    }
}

} // namespace

ULONG BitsPerPixel(ULONG iFormat) {
    switch (iFormat) {
    case BMF_1BPP:
        return 1;
    case BMF_4BPP:
        return 4;
    case BMF_8BPP:
        return 8;
    case BMF_16BPP:
        return 16;
    case BMF_24BPP:
        return 24;
    case BMF_32BPP:
        return 32;
    default:
        return 0;
    }
}

ULONG RowBytes(ULONG iFormat, LONG width) {
    ULONG bpp = BitsPerPixel(iFormat);
    if (!bpp || width < 0) return 0;
    return static_cast<ULONG>((static_cast<unsigned long long>(width) * bpp + 7) / 8);
}

Surface* FindSurfaceLocked(HSURF hsurf) {
    auto it = Handles().find(reinterpret_cast<ULONG_PTR>(hsurf));
    return it == Handles().end() ? nullptr : it->second;
}

Surface* SurfaceFromObjLocked(SURFOBJ* pso) {
    auto it = Live().find(pso);
    return it == Live().end() ? nullptr : it->second.get();
}

HSURF CreateBitmapSurface(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
    ULONG bpp = BitsPerPixel(iFormat);
    if (!bpp || sizl.cx <= 0 || sizl.cy <= 0 || lWidth < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    unsigned long long minRow = (static_cast<unsigned long long>(sizl.cx) * bpp + 7) / 8;
    unsigned long long stride =
        lWidth ? static_cast<unsigned long long>(lWidth) : (minRow + 3) & ~3ull;
    if (stride < minRow) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    unsigned long long total = stride * static_cast<unsigned long long>(sizl.cy);
    if (total > kMaxBitmapBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto s = std::unique_ptr<Surface>(new (std::nothrow) Surface);
    if (!s) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    BYTE* bits = static_cast<BYTE*>(pvBits);
    if (!bits) {
        try {
            s->ownBits.assign(static_cast<size_t>(total), 0);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        bits = s->ownBits.data();
    }
    SURFOBJ& so = s->so;
    so.sizlBitmap = sizl;
    so.cjBits = static_cast<ULONG>(total);
    so.pvBits = bits;
    so.iBitmapFormat = iFormat;
    so.iType = STYPE_BITMAP;
    LONG delta = static_cast<LONG>(stride);
    if (fl & BMF_TOPDOWN) {
        so.pvScan0 = bits;
        so.lDelta = delta;
        so.fjBitmap = BMF_TOPDOWN;
    } else {
        so.pvScan0 = bits + static_cast<size_t>(stride) * static_cast<size_t>(sizl.cy - 1);
        so.lDelta = -delta;
    }
    std::lock_guard lock(EngineLock());
    return InsertLocked(std::move(s));
}

bool QuerySurface(HSURF hsurf, SurfaceState* state) {
    std::lock_guard lock(EngineLock());
    Surface* s = FindSurfaceLocked(hsurf);
    if (!s || !state) return false;
    state->hdev = s->so.hdev;
    state->hooks = s->hooks;
    state->banding = s->banding;
    state->iType = s->so.iType;
    state->size = s->so.sizlBitmap;
    return true;
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
    PLATFORM_FAULT_POINT("EngCreateBitmap", nullptr);
    return reinterpret_cast<HBITMAP>(CreateBitmapSurface(sizl, lWidth, iFormat, fl, pvBits));
}

HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
    PLATFORM_FAULT_POINT("EngCreateDeviceSurface", nullptr);
    if (sizl.cx <= 0 || sizl.cy <= 0 || !BitsPerPixel(iFormatCompat)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto s = std::unique_ptr<Surface>(new (std::nothrow) Surface);
    if (!s) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    s->so.dhsurf = dhsurf;
    s->so.sizlBitmap = sizl;
    s->so.iBitmapFormat = iFormatCompat;
    s->so.iType = STYPE_DEVICE;
    std::lock_guard lock(EngineLock());
    return InsertLocked(std::move(s));
}

BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
    PLATFORM_FAULT_POINT("EngAssociateSurface", FALSE);
    std::lock_guard lock(EngineLock());
    Surface* s = FindSurfaceLocked(hsurf);
    Device* dev = FindDeviceLocked(hdev);
    if (!s || !dev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s->so.hdev = hdev;
    s->so.dhpdev = DevicePdev(hdev);
    s->hooks = flHooks;
    return TRUE;
}

BOOL APIENTRY EngMarkBandingSurface(HSURF hsurf) {
    PLATFORM_FAULT_POINT("EngMarkBandingSurface", FALSE);
    std::lock_guard lock(EngineLock());
    Surface* s = FindSurfaceLocked(hsurf);
    if (!s) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s->banding = true;
    return TRUE;
}

SURFOBJ* APIENTRY EngLockSurface(HSURF hsurf) {
    PLATFORM_FAULT_POINT("EngLockSurface", nullptr);
    std::lock_guard lock(EngineLock());
    Surface* s = FindSurfaceLocked(hsurf);
    if (!s) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ++s->locks;
    return &s->so;
}

VOID APIENTRY EngUnlockSurface(SURFOBJ* pso) {
    std::lock_guard lock(EngineLock());
    Surface* s = SurfaceFromObjLocked(pso);
    if (!s || s->locks == 0) return;
    if (--s->locks == 0 && s->deleted) FreeLocked(s);
}

BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
    std::lock_guard lock(EngineLock());
    auto it = Handles().find(reinterpret_cast<ULONG_PTR>(hsurf));
    if (it == Handles().end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Surface* s = it->second;
    Handles().erase(it);
    // A surface still locked lives on until its last EngUnlockSurface.
    s->deleted = true;
    if (s->locks == 0) FreeLocked(s);
    return TRUE;
}

BOOL APIENTRY EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor) {
    std::lock_guard lock(EngineLock());
    Surface* s = SurfaceFromObjLocked(pso);
    if (!s || !prcl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A device surface has no bits here: its driver draws it.
    if (s->so.iType != STYPE_BITMAP || !s->so.pvScan0) return TRUE;
    LONG left = std::max(prcl->left, LONG{0}), top = std::max(prcl->top, LONG{0});
    LONG right = std::min(prcl->right, s->so.sizlBitmap.cx);
    LONG bottom = std::min(prcl->bottom, s->so.sizlBitmap.cy);
    ULONG bpp = BitsPerPixel(s->so.iBitmapFormat);
    for (LONG y = top; y < bottom && left < right; ++y) {
        BYTE* row = static_cast<BYTE*>(s->so.pvScan0) + static_cast<ptrdiff_t>(y) * s->so.lDelta;
        SetPixelRow(row, bpp, left, right, iColor);
    }
    s->so.iUniq = NextUniq();
    return TRUE;
}
}

namespace platform::test {

long LiveSurfaces() {
    std::lock_guard lock(EngineLock());
    return static_cast<long>(Live().size());
}

} // namespace platform::test
