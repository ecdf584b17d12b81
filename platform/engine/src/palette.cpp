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

using PaletteTable = std::map<ULONG_PTR, std::unique_ptr<Palette>>;

PaletteTable& Palettes() {
    static PaletteTable palettes;
    return palettes;
}
ULONG_PTR gNextPalette = 0x5a000;

// Entries of deleted palettes, their palette with them, for the next ones:
// drawing makes and deletes a palette for every call it makes. Never
// destroyed, as the engine's spare objects.
constexpr size_t kSparePalettes = 8;
Spares<PaletteTable::node_type, kSparePalettes>& SparePalettes() {
    static auto* spares = new Spares<PaletteTable::node_type, kSparePalettes>;
    return *spares;
}

} // namespace

Palette* FindPaletteLocked(HPALETTE hpal) {
    auto it = Palettes().find(reinterpret_cast<ULONG_PTR>(hpal));
    return it == Palettes().end() ? nullptr : it->second.get();
}

ULONG PaletteMode(HPALETTE hpal) {
    std::lock_guard lock(EngineLock());
    const Palette* p = FindPaletteLocked(hpal);
    return p ? p->iMode : 0;
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue) {
    PLATFORM_FAULT_POINT("EngCreatePalette", nullptr);
    Palette pal;
    pal.iMode = iMode;
    switch (iMode) {
    case PAL_INDEXED:
        if (cColors == 0 || cColors > kMaxPaletteEntries) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // Without colours the entries start black, for the caller to fill in.
        if (pulColors)
            pal.colors.assign(pulColors, pulColors + cColors);
        else
            pal.colors.assign(cColors, 0);
        break;
    case PAL_BITFIELDS:
        if (!flRed || !flGreen || !flBlue) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        pal.flRed = flRed;
        pal.flGreen = flGreen;
        pal.flBlue = flBlue;
        break;
    case PAL_RGB:
    case PAL_BGR:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard lock(EngineLock());
    auto& spares = SparePalettes();
    if (spares.Empty()) {
        auto made = std::unique_ptr<Palette>(new (std::nothrow) Palette(std::move(pal)));
        if (!made) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        gNextPalette += 0x10;
        Palettes()[gNextPalette] = std::move(made);
    } else {
        PaletteTable::node_type entry = spares.Pop();
        *entry.mapped() = std::move(pal);
        gNextPalette += 0x10;
        entry.key() = gNextPalette; // handles only grow: the key is new
        Palettes().insert(std::move(entry));
    }
    return reinterpret_cast<HPALETTE>(gNextPalette);
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
    std::lock_guard lock(EngineLock());
    PaletteTable::node_type entry = Palettes().extract(reinterpret_cast<ULONG_PTR>(hpal));
    if (entry.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& spares = SparePalettes();
    if (!spares.Full()) {
        // What a palette holds goes now, as it would with the palette.
        *entry.mapped() = Palette();
        spares.Push(std::move(entry));
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
