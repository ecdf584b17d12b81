// Colour translations. The services read only the public fields of a
// translation (drivers fill in their own), except where an engine-made one
// also knows its two palettes.
#include <algorithm>
#include <new>

#include "engine_internal.h"
#include "platform/engine_objects.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

struct Xlate final : EngineObject {
    XLATEOBJ xo{};
    std::vector<ULONG> table;
    bool palettes = false; // made from two palettes
    Palette src, dst;
    void* Record() override { return &xo; }
    bool Clear() {
        std::vector<ULONG> kept = std::move(table);
        *this = Xlate();
        ClearKept(kept);
        table = std::move(kept);
        return true;
    }
};

int Red(ULONG c) {
    return static_cast<int>(c & 0xFF);
}
int Green(ULONG c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
int Blue(ULONG c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

ULONG SwapRedBlue(ULONG c) {
    return (c & 0xFF00) | ((c & 0xFF) << 16) | ((c >> 16) & 0xFF);
}

// Value of a bit field as 8 bits, and back.
int FieldValue(ULONG pixel, FLONG mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    ULONG max = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}
ULONG FieldPixel(int value, FLONG mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    ULONG max = mask >> shift;
    return ((static_cast<ULONG>(value) * max + 127) / 255 << shift) & mask;
}

// A pixel of a non-indexed palette as an RGB colour (red in the low byte), and back.
ULONG ToRgb(const Palette& p, ULONG pixel) {
    switch (p.iMode) {
    case PAL_BGR:
        return SwapRedBlue(pixel & 0xFFFFFF);
    case PAL_BITFIELDS:
        return static_cast<ULONG>(FieldValue(pixel, p.flRed)) |
               static_cast<ULONG>(FieldValue(pixel, p.flGreen)) << 8 |
               static_cast<ULONG>(FieldValue(pixel, p.flBlue)) << 16;
    default:
        return pixel & 0xFFFFFF;
    }
}

ULONG Nearest(const std::vector<ULONG>& colors, ULONG rgb) {
    ULONG best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < colors.size(); ++i) {
        long dr = Red(colors[i]) - Red(rgb), dg = Green(colors[i]) - Green(rgb),
             db = Blue(colors[i]) - Blue(rgb);
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<ULONG>(i);
        }
    }
    return best;
}

ULONG FromRgb(const Palette& p, ULONG rgb) {
    switch (p.iMode) {
    case PAL_INDEXED:
        return Nearest(p.colors, rgb);
    case PAL_BGR:
        return SwapRedBlue(rgb);
    case PAL_BITFIELDS:
        return FieldPixel(Red(rgb), p.flRed) | FieldPixel(Green(rgb), p.flGreen) |
               FieldPixel(Blue(rgb), p.flBlue);
    default:
        return rgb & 0xFFFFFF;
    }
}

XLATEOBJ* Register(std::unique_ptr<Xlate> x) {
    x->xo.iUniq = NextUniq();
    if (!x->table.empty()) {
        x->xo.cEntries = static_cast<ULONG>(x->table.size());
        x->xo.pulXlate = x->table.data();
    }
    std::lock_guard lock(EngineLock());
    XLATEOBJ* xo = &x->xo;
    InsertObjectLocked(std::move(x));
    return xo;
}

void Masks(ULONG mode, const Palette& p, ULONG masks[3]) {
    if (mode == PAL_BITFIELDS) {
        masks[0] = p.flRed, masks[1] = p.flGreen, masks[2] = p.flBlue;
    } else if (mode == PAL_BGR) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    } else {
        masks[0] = 0xFF, masks[1] = 0xFF00, masks[2] = 0xFF0000;
    }
}

} // namespace

XLATEOBJ* CreateTrivialXlate() {
    std::unique_ptr<Xlate> x = NewObject<Xlate>();
    if (!x) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    x->xo.flXlate = XO_TRIVIAL;
    return Register(std::move(x));
}

XLATEOBJ* CreateTableXlate(const ULONG* table, ULONG count, USHORT iSrcType, USHORT iDstType) {
    if (!table || count == 0 || count > 65536) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::unique_ptr<Xlate> x = NewObject<Xlate>();
    if (!x) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    x->table.assign(table, table + count);
    x->xo.flXlate = XO_TABLE;
    x->xo.iSrcType = iSrcType;
    x->xo.iDstType = iDstType;
    return Register(std::move(x));
}

XLATEOBJ* CreatePaletteXlate(HPALETTE hpalSrc, HPALETTE hpalDst) {
    std::unique_ptr<Xlate> x = NewObject<Xlate>();
    if (!x) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    {
        std::lock_guard lock(EngineLock());
        Palette* src = FindPaletteLocked(hpalSrc);
        Palette* dst = FindPaletteLocked(hpalDst);
        if (!src || !dst) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        x->src = *src;
        x->dst = *dst;
    }
    x->palettes = true;
    x->xo.iSrcType = static_cast<USHORT>(x->src.iMode);
    x->xo.iDstType = static_cast<USHORT>(x->dst.iMode);
    if (x->src.iMode == PAL_INDEXED) {
        for (ULONG c : x->src.colors)
            x->table.push_back(FromRgb(x->dst, c));
        x->xo.flXlate = XO_TABLE;
    } else if (x->src.iMode == x->dst.iMode &&
               (x->src.iMode != PAL_BITFIELDS ||
                (x->src.flRed == x->dst.flRed && x->src.flGreen == x->dst.flGreen &&
                 x->src.flBlue == x->dst.flBlue))) {
        x->xo.flXlate = XO_TRIVIAL;
    } else {
        x->xo.flXlate = 0; // translated colour by colour
    }
    return Register(std::move(x));
}

void DeleteXlate(XLATEOBJ* pxlo) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<Xlate>(pxlo)) gone = DeleteObjectLocked<Xlate>(pxlo);
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
    if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return iColor;
    if (pxlo->flXlate & XO_TABLE) {
        // An index outside the table has no translation.
        if (!pxlo->pulXlate || iColor >= pxlo->cEntries) return 0xFFFFFFFF;
        return pxlo->pulXlate[iColor];
    }
    std::lock_guard lock(EngineLock());
    Xlate* x = FindLocked<Xlate>(pxlo);
    if (!x || !x->palettes) return iColor;
    return FromRgb(x->dst, ToRgb(x->src, iColor));
}

ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal) {
    if (!pxlo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<ULONG> entries;
    {
        std::lock_guard lock(EngineLock());
        Xlate* x = FindLocked<Xlate>(pxlo);
        ULONG masks[3];
        switch (iPal) {
        case XO_SRCPALETTE:
            if (x && x->palettes)
                entries = x->src.colors;
            else if ((pxlo->flXlate & XO_TABLE) && pxlo->pulXlate)
                // Without palettes the table says what each source index stands for.
                entries.assign(pxlo->pulXlate, pxlo->pulXlate + pxlo->cEntries);
            break;
        case XO_DESTPALETTE:
        case XO_DESTDCPALETTE:
            if (x && x->palettes) entries = x->dst.colors;
            break;
        case XO_SRCBITFIELDS:
        case XO_DESTBITFIELDS: {
            const Palette* p =
                x && x->palettes ? (iPal == XO_SRCBITFIELDS ? &x->src : &x->dst) : nullptr;
            if (p && p->iMode != PAL_INDEXED) {
                Masks(p->iMode, *p, masks);
                entries.assign(masks, masks + 3);
            }
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    if (!pPal) return static_cast<ULONG>(entries.size());
    ULONG n = std::min<ULONG>(cPal, static_cast<ULONG>(entries.size()));
    for (ULONG i = 0; i < n; ++i)
        pPal[i] = entries[i];
    return n;
}
}
