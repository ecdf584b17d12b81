// The hook table handed to the graphics engine and the driver-wide state.
#include <type_traits>

#include "font_download.h"
#include "hook_guard.h"
#include "hooks.h"
#include "imaging_hooks.h"
#include "pdev.h"
#include "win/base.h"

namespace inkforge {
namespace {

HMODULE gModule = nullptr;
FD_GLYPHSET* gGlyphs1252 = nullptr;
FD_GLYPHSET* gGlyphs1251 = nullptr;

// The engine calls each hook through the pointer type of its index (the
// table's generic PFN is cast back to it), so a hook enters the table only
// as that type: a hook of another type does not compile.
template <class F> PFN AsPfn(std::type_identity_t<F> f) {
    return reinterpret_cast<PFN>(f);
}

// A hook as the table holds it: entered through its guard.
#define Fn(hook)                                                                                   \
    { INDEX_##hook, AsPfn<PFN_##hook>(&HookGuard<&hook>::Call) }

// The hooks in the engine's order of the table. The imaging, text, path and
// escape hooks join the table with their own code.
const DRVFN kHooks[] = {
    Fn(DrvEnablePDEV),     Fn(DrvResetPDEV),
    Fn(DrvCompletePDEV),   Fn(DrvDisablePDEV),
    Fn(DrvEnableSurface),  Fn(DrvDisableSurface),
    Fn(DrvSendPage),       Fn(DrvStartPage),
    Fn(DrvStartDoc),       Fn(DrvEndDoc),
    Fn(DrvEscape),         Fn(DrvStrokePath),
    Fn(DrvFillPath),       Fn(DrvStrokeAndFillPath),
    Fn(DrvLineTo),         Fn(DrvTextOut),
    Fn(DrvGetGlyphMode),   Fn(DrvDestroyFont),
    Fn(DrvCopyBits),       Fn(DrvBitBlt),
    Fn(DrvStretchBlt),     Fn(DrvStretchBltROP),
    Fn(DrvTransparentBlt), Fn(DrvGradientFill),
    Fn(DrvStartBanding),   Fn(DrvNextBand),
    Fn(DrvRealizeBrush),   Fn(DrvDitherColor),
};

#undef Fn

} // namespace

HMODULE DriverModule() {
    return gModule;
}
void SetDriverModule(HMODULE module) {
    gModule = module;
}
FD_GLYPHSET* GlyphSet1252() {
    return gGlyphs1252;
}
FD_GLYPHSET* GlyphSet1251() {
    return gGlyphs1251;
}

const DRVFN* HookTable(ULONG* count) {
    *count = sizeof kHooks / sizeof kHooks[0];
    return kHooks;
}

bool DriverHasFunction(ULONG index) {
    for (const DRVFN& f : kHooks)
        if (f.iFunc == index) return true;
    return false;
}

bool ComputeGlyphSets() {
    FreeGlyphSets();
    gGlyphs1252 = EngComputeGlyphSet(1252, 0, 256);
    gGlyphs1251 = EngComputeGlyphSet(1251, 1024, 256);
    if (gGlyphs1252 && gGlyphs1251) return true;
    FreeGlyphSets();
    return false;
}

void FreeGlyphSets() {
    if (gGlyphs1252) EngFreeMem(gGlyphs1252);
    if (gGlyphs1251) EngFreeMem(gGlyphs1251);
    gGlyphs1252 = gGlyphs1251 = nullptr;
}

} // namespace inkforge
