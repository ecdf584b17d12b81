// Palettes: indexed colour tables and the RGB, BGR and bit-field formats.
#include <map>
#include <memory>
#include <new>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_ctl.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

// More entries than any pixel format can index.
constexpr ULONG kMaxPaletteEntries = 65536;

std::map<ULONG_PTR, std::unique_ptr<Palette>>& Palettes() {
    static std::map<ULONG_PTR, std::unique_ptr<Palette>> palettes;
    return palettes;
}
ULONG_PTR gNextPalette = 0x5a000;

} // namespace

Palette* FindPaletteLocked(HPALETTE hpal) {
    auto it = Palettes().find(reinterpret_cast<ULONG_PTR>(hpal));
    return it == Palettes().end() ? nullptr : it->second.get();
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue) {
    PLATFORM_FAULT_POINT("EngCreatePalette", nullptr);
    auto pal = std::unique_ptr<Palette>(new (std::nothrow) Palette);
    if (!pal) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pal->iMode = iMode;
    switch (iMode) {
    case PAL_INDEXED:
        if (cColors == 0 || cColors > kMaxPaletteEntries) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // Without colours the entries start black, for the caller to fill in.
        if (pulColors)
            pal->colors.assign(pulColors, pulColors + cColors);
        else
            pal->colors.assign(cColors, 0);
        break;
    case PAL_BITFIELDS:
        if (!flRed || !flGreen || !flBlue) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        pal->flRed = flRed;
        pal->flGreen = flGreen;
        pal->flBlue = flBlue;
        break;
    case PAL_RGB:
    case PAL_BGR:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(EngineLock());
    gNextPalette += 0x10;
    Palettes()[gNextPalette] = std::move(pal);
    return reinterpret_cast<HPALETTE>(gNextPalette);
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
    std::lock_guard lock(EngineLock());
    if (!Palettes().erase(reinterpret_cast<ULONG_PTR>(hpal))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
}

namespace platform::test {

long LivePalettes() {
    std::lock_guard lock(EngineLock());
    return static_cast<long>(Palettes().size());
}

} // namespace platform::test
