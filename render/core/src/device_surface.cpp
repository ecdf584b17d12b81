// The drawing surface of the physical device.
#include <algorithm>

#include "hooks.h"
#include "imaging_hooks.h"
#include "pdev.h"
#include "render_lookups.h"
#include "win/base.h"

namespace inkforge {
namespace {

// The drawing calls a device surface takes over, as far as this driver
// hands out their hooks.
constexpr FLONG kDeviceSurfaceHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT |
                                      HOOK_STROKEPATH | HOOK_FILLPATH | HOOK_STROKEANDFILLPATH |
                                      HOOK_LINETO | HOOK_COPYBITS | HOOK_STRETCHBLTROP |
                                      HOOK_TRANSPARENTBLT | HOOK_GRADIENTFILL;

struct HookFunction {
    FLONG hook;
    ULONG index;
};
constexpr HookFunction kHookFunctions[] = {
    {HOOK_BITBLT, INDEX_DrvBitBlt},
    {HOOK_STRETCHBLT, INDEX_DrvStretchBlt},
    {HOOK_TEXTOUT, INDEX_DrvTextOut},
    {HOOK_STROKEPATH, INDEX_DrvStrokePath},
    {HOOK_FILLPATH, INDEX_DrvFillPath},
    {HOOK_STROKEANDFILLPATH, INDEX_DrvStrokeAndFillPath},
    {HOOK_LINETO, INDEX_DrvLineTo},
    {HOOK_COPYBITS, INDEX_DrvCopyBits},
    {HOOK_STRETCHBLTROP, INDEX_DrvStretchBltROP},
    {HOOK_TRANSPARENTBLT, INDEX_DrvTransparentBlt},
    {HOOK_GRADIENTFILL, INDEX_DrvGradientFill},
};

} // namespace

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
    PDEV* pdev = CheckedPdev(dhpdev);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LONG dpi = pdev->devmode.dm.dmPrintQuality;
    auto pixels = [&](LONG micrometres) {
        LONG v = static_cast<LONG>(static_cast<double>(micrometres) * dpi / 25400.0 + 0.05);
        return std::max<LONG>(32, v / 32 * 32);
    };
    SIZEL size{pixels(pdev->pageRight - pdev->pageLeft), pixels(pdev->pageBottom - pdev->pageTop)};
    if (pdev->banding) {
        pdev->surface = EnableBandingSurface(pdev, size);
        return pdev->surface;
    }
    HSURF surface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(pdev), size, BMF_24BPP);
    if (!surface) return nullptr;
    FLONG hooks = 0;
    for (const HookFunction& h : kHookFunctions)
        if ((kDeviceSurfaceHooks & h.hook) && DriverHasFunction(h.index)) hooks |= h.hook;
    if (!EngAssociateSurface(surface, pdev->hdev, hooks)) {
        EngDeleteSurface(surface);
        return nullptr;
    }
    pdev->surface = surface;
    pdev->bandWidth = static_cast<DWORD>(size.cx);
    pdev->bandHeight = static_cast<DWORD>(size.cy);
    return surface;
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
    PDEV* pdev = CheckedPdev(dhpdev);
    if (!pdev) return;
    DeleteDeviceSurface(pdev);
    if (pdev->surface) EngDeleteSurface(pdev->surface);
    pdev->surface = nullptr;
    if (pdev->pollSurface) pdev->pollSurface = nullptr;
}

} // namespace inkforge
