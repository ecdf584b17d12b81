// The graphics driver the metafile fuzzer plays into: a device surface that
// takes paths, lines and brushes and reads every object it is handed (each
// record of a path, each rectangle of a clip), so that a malformed object
// shows up in the sanitizers.
#include <cstring>

#include "win/gdi.h"
#include "win/winddi.h"

namespace {

struct Pdev {
    HDEV hdev = nullptr;
    HSURF surface = nullptr;
    HPALETTE palette = nullptr;
};

volatile ULONG gSink;

void Touch(PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo) {
    if (ppo) {
        PATHOBJ_vEnumStart(ppo);
        PATHDATA pd;
        BOOL more;
        do {
            more = PATHOBJ_bEnum(ppo, &pd);
            for (ULONG i = 0; i < pd.count; ++i)
                gSink = gSink + static_cast<ULONG>(pd.pptfx[i].x ^ pd.pptfx[i].y);
        } while (more);
    }
    if (pco && pco->iDComplexity == DC_COMPLEX) {
        CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 0);
        struct {
            ULONG c;
            RECTL r[16];
        } rects;
        BOOL more;
        do {
            more = CLIPOBJ_bEnum(pco, sizeof rects, &rects.c);
            for (ULONG i = 0; i < rects.c && i < 16; ++i)
                gSink = gSink + static_cast<ULONG>(rects.r[i].right - rects.r[i].left);
        } while (more);
    }
    if (pbo && pbo->iSolidColor == 0xFFFFFFFF) BRUSHOBJ_pvGetRbrush(pbo);
}

DHPDEV APIENTRY EnablePDEV(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG cjCaps, ULONG* caps,
                           ULONG cjInfo, DEVINFO* info, HDEV hdev, LPWSTR, HANDLE) {
    if (cjCaps < sizeof(GDIINFO) || cjInfo < sizeof(DEVINFO)) return nullptr;
    auto* p = new Pdev;
    p->hdev = hdev;
    auto* gi = reinterpret_cast<GDIINFO*>(caps);
    std::memset(gi, 0, sizeof *gi);
    gi->ulVersion = GDI_DRIVER_VERSION;
    gi->ulTechnology = DT_RASPRINTER;
    gi->ulHorzRes = 1200;
    gi->ulVertRes = 1600;
    gi->ulLogPixelsX = gi->ulLogPixelsY = 300;
    gi->cBitsPixel = 24;
    gi->cPlanes = 1;
    std::memset(info, 0, sizeof *info);
    info->flGraphicsCaps = GCAPS_BEZIERS | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL;
    p->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    info->hpalDefault = p->palette;
    return reinterpret_cast<DHPDEV>(p);
}

VOID APIENTRY CompletePDEV(DHPDEV, HDEV) {}

VOID APIENTRY DisablePDEV(DHPDEV dhpdev) {
    auto* p = reinterpret_cast<Pdev*>(dhpdev);
    EngDeletePalette(p->palette);
    delete p;
}

HSURF APIENTRY EnableSurface(DHPDEV dhpdev) {
    auto* p = reinterpret_cast<Pdev*>(dhpdev);
    p->surface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(p), SIZEL{1200, 1600}, BMF_24BPP);
    if (p->surface && !EngAssociateSurface(p->surface, p->hdev,
                                           HOOK_FILLPATH | HOOK_STROKEPATH |
                                               HOOK_STROKEANDFILLPATH | HOOK_LINETO)) {
        EngDeleteSurface(p->surface);
        p->surface = nullptr;
    }
    return p->surface;
}

VOID APIENTRY DisableSurface(DHPDEV dhpdev) {
    auto* p = reinterpret_cast<Pdev*>(dhpdev);
    if (p->surface) EngDeleteSurface(p->surface);
    p->surface = nullptr;
}

BOOL APIENTRY StartDoc(SURFOBJ*, LPWSTR, DWORD) {
    return TRUE;
}
BOOL APIENTRY EndDoc(SURFOBJ*, FLONG) {
    return TRUE;
}
BOOL APIENTRY StartPage(SURFOBJ*) {
    return TRUE;
}
BOOL APIENTRY SendPage(SURFOBJ*) {
    return TRUE;
}

BOOL APIENTRY RealizeBrush(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ* pxlo,
                           ULONG) {
    if (pattern && pattern->pvScan0) gSink = gSink + static_cast<const BYTE*>(pattern->pvScan0)[0];
    if (pxlo) gSink = gSink + XLATEOBJ_iXlate(pxlo, 0);
    return BRUSHOBJ_pvAllocRbrush(pbo, 16) != nullptr;
}

BOOL APIENTRY FillPath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX, FLONG) {
    Touch(ppo, pco, pbo);
    return TRUE;
}

BOOL APIENTRY StrokePath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* pbo, POINTL*,
                         LINEATTRS* la, MIX) {
    Touch(ppo, pco, pbo);
    if (la && (la->fl & LA_STYLED))
        for (ULONG i = 0; i < la->cstyle; ++i)
            gSink = gSink + static_cast<ULONG>(la->pstyle[i].l);
    return TRUE;
}

BOOL APIENTRY StrokeAndFillPath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* pen,
                                LINEATTRS*, BRUSHOBJ* fill, POINTL*, MIX, FLONG) {
    Touch(ppo, pco, pen);
    Touch(nullptr, nullptr, fill);
    return TRUE;
}

BOOL APIENTRY LineTo(SURFOBJ*, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG, LONG, LONG, LONG, RECTL*, MIX) {
    Touch(nullptr, pco, pbo);
    return TRUE;
}

DRVFN gFunctions[] = {
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(&EnablePDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(&CompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(&DisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(&EnableSurface)},
    {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(&DisableSurface)},
    {INDEX_DrvStartDoc, reinterpret_cast<PFN>(&StartDoc)},
    {INDEX_DrvEndDoc, reinterpret_cast<PFN>(&EndDoc)},
    {INDEX_DrvStartPage, reinterpret_cast<PFN>(&StartPage)},
    {INDEX_DrvSendPage, reinterpret_cast<PFN>(&SendPage)},
    {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&RealizeBrush)},
    {INDEX_DrvFillPath, reinterpret_cast<PFN>(&FillPath)},
    {INDEX_DrvStrokePath, reinterpret_cast<PFN>(&StrokePath)},
    {INDEX_DrvStrokeAndFillPath, reinterpret_cast<PFN>(&StrokeAndFillPath)},
    {INDEX_DrvLineTo, reinterpret_cast<PFN>(&LineTo)},
};

} // namespace

DLLEXPORT BOOL APIENTRY DrvEnableDriver(ULONG, ULONG cj, DRVENABLEDATA* pded) {
    if (cj < sizeof(DRVENABLEDATA) || !pded) return FALSE;
    pded->iDriverVersion = DDI_DRIVER_VERSION_NT5_01_SP1;
    pded->c = sizeof gFunctions / sizeof gFunctions[0];
    pded->pdrvfn = gFunctions;
    return TRUE;
}

DLLEXPORT VOID APIENTRY DrvDisableDriver(VOID) {}
