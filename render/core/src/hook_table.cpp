// The hook table handed to the graphics engine and the driver-wide state.
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

template <class F> PFN AsPfn(F f) {
    return reinterpret_cast<PFN>(f);
}

// A hook as the table holds it: entered through its guard.
#define Fn(hook) AsPfn(&HookGuard<hook>::Call)

// The hooks in the engine's order of the table. The imaging, text, path and
// escape hooks join the table with their own code.
const DRVFN kHooks[] = {
    {INDEX_DrvEnablePDEV, Fn(&DrvEnablePDEV)},
    {INDEX_DrvResetPDEV, Fn(&DrvResetPDEV)},
    {INDEX_DrvCompletePDEV, Fn(&DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, Fn(&DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, Fn(&DrvEnableSurface)},
    {INDEX_DrvDisableSurface, Fn(&DrvDisableSurface)},
    {INDEX_DrvSendPage, Fn(&DrvSendPage)},
    {INDEX_DrvStartPage, Fn(&DrvStartPage)},
    {INDEX_DrvStartDoc, Fn(&DrvStartDoc)},
    {INDEX_DrvEndDoc, Fn(&DrvEndDoc)},
    {INDEX_DrvEscape, Fn(&DrvEscape)},
    {INDEX_DrvStrokePath, Fn(&DrvStrokePath)},
    {INDEX_DrvFillPath, Fn(&DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, Fn(&DrvStrokeAndFillPath)},
    {INDEX_DrvLineTo, Fn(&DrvLineTo)},
    {INDEX_DrvTextOut, Fn(&DrvTextOut)},
    {INDEX_DrvGetGlyphMode, Fn(&DrvGetGlyphMode)},
    {INDEX_DrvDestroyFont, Fn(&DrvDestroyFont)},
    {INDEX_DrvCopyBits, Fn(&DrvCopyBits)},           {INDEX_DrvBitBlt, Fn(&DrvBitBlt)},
    {INDEX_DrvStretchBlt, Fn(&DrvStretchBlt)},       {INDEX_DrvStretchBltROP, Fn(&DrvStretchBltROP)},
    {INDEX_DrvTransparentBlt, Fn(&DrvTransparentBlt)}, {INDEX_DrvGradientFill, Fn(&DrvGradientFill)},
    {INDEX_DrvStartBanding, Fn(&DrvStartBanding)},   {INDEX_DrvNextBand, Fn(&DrvNextBand)},
    {INDEX_DrvRealizeBrush, Fn(&DrvRealizeBrush)}, {INDEX_DrvDitherColor, Fn(&DrvDitherColor)},
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
