// A graphics driver for tests: it logs every call the engine makes with its
// arguments, keeps a device surface (or a banding bitmap) of its own, and can
// be told to refuse calls or to print a second job from inside DrvEndDoc.
// Named as a printer's configuration file it is the interface library too:
// it logs the document events, and can refuse one, hand back a device mode
// of its own or escape into the device context while it handles one.
// Tests read the log through RecorderLog and set its behaviour through
// RecorderSet.
#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "win/gdi.h"
#include "win/printer_interface.h"
#include "win/winddi.h"

namespace {

struct Config {
    LONG width = 800; // page size in pixels
    LONG height = 1000;
    int bands = 0;        // 0: a device surface; n: a banding bitmap of height / n rows
    bool reenter = false; // DrvEndDoc prints a one-page job on the same printer
    bool failReset = false;
    bool failEnablePdev = false;
    bool failStartPage = false;
    ULONG escapeResult = 1;
    FLONG hooks = 0;          // 0: the usual hooks; else the hooks of the surface
    bool noBeziers = false;   // the device does not take Bezier curves
    bool refusePaths = false; // the path and line hooks answer FALSE
    int refuseEvent = 0;      // the document event answered with -1
    int replaceDevmode = 0;   // CREATEDCPRE and RESETDCPRE hand back a landscape device mode: 1 its
                              // own, 2 the given one turned in place
    bool escapeOnEvent = false; // the events with a context escape into it
};

Config gConfig;
std::string gLog;
std::string gDetail; // paths and line attributes of the drawing calls
int gNextPdev = 0;
int gDepth = 0;
// What reached the page: images handed to DrvCopyBits on a device surface,
// or the bands of a banding surface (1: ink), as 0x00RRGGBB per pixel.
std::vector<ULONG> gCanvas;

void ClearCanvas() {
    gCanvas.assign(static_cast<size_t>(gConfig.width) * static_cast<size_t>(gConfig.height),
                   0xFFFFFF);
}
void Plot(LONG x, LONG y, ULONG rgb) {
    if (x >= 0 && y >= 0 && x < gConfig.width && y < gConfig.height && !gCanvas.empty())
        gCanvas[static_cast<size_t>(y) * static_cast<size_t>(gConfig.width) + x] = rgb;
}

constexpr ULONG kMagic = 0x50434552; // "RECP"

struct RecPdev {
    ULONG magic = kMagic;
    int id = 0;
    HDEV hdev = nullptr;
    HANDLE printer = nullptr;
    std::u16string device;
    std::vector<BYTE> devmode;
    HSURF surface = nullptr;
    HPALETTE palette = nullptr;
    LONG bandHeight = 0;
    LONG bandTop = 0;
};
std::set<RecPdev*> gPdevs;
std::set<DEVMODEW*> gHandedDevmodes; // handed back through pvOut, not yet taken back

void Log(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    gLog += buf;
    gLog += '\n';
}

std::string Narrow(const WCHAR* s) {
    if (!s) return "(null)";
    std::string out;
    for (; *s; ++s)
        out += *s < 0x80 ? static_cast<char>(*s) : '?';
    return out;
}

RecPdev* Pdev(DHPDEV dhpdev) {
    auto* p = reinterpret_cast<RecPdev*>(dhpdev);
    return gPdevs.count(p) ? p : nullptr;
}
RecPdev* Pdev(SURFOBJ* pso) {
    return pso ? Pdev(pso->dhpdev) : nullptr;
}
int Id(SURFOBJ* pso) {
    RecPdev* p = Pdev(pso);
    return p ? p->id : 0;
}

std::string Rect(const RECTL& r) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
    return buf;
}

std::string Clip(CLIPOBJ* pco) {
    if (!pco) return "none";
    switch (pco->iDComplexity) {
    case DC_TRIVIAL:
        return "trivial:" + Rect(pco->rclBounds);
    case DC_RECT:
        return "rect:" + Rect(pco->rclBounds);
    default: {
        ULONG n = CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 1000);
        return "complex(" + std::to_string(n) + "):" + Rect(pco->rclBounds);
    }
    }
}

void Detail(const std::string& line) {
    gDetail += line;
    gDetail += '\n';
}

std::string Fix(FIX v) {
    char buf[32];
    if (v % 16 == 0)
        std::snprintf(buf, sizeof buf, "%d", v / 16);
    else
        std::snprintf(buf, sizeof buf, "%.2f", v / 16.0);
    return buf;
}

// The path as "M x,y L x,y ... C x,y x,y x,y ... Z", in pixels.
std::string PathText(PATHOBJ* ppo) {
    std::string out;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    BOOL more;
    do {
        more = PATHOBJ_bEnum(ppo, &pd);
        for (ULONG i = 0; i < pd.count; ++i) {
            if (i == 0 && (pd.flags & PD_BEGINSUBPATH))
                out += out.empty() ? "M " : " M ";
            else if (i == 0 || (i == 1 && (pd.flags & PD_BEGINSUBPATH)))
                out += (pd.flags & PD_BEZIERS) ? " C " : " L ";
            else
                out += ' ';
            out += Fix(pd.pptfx[i].x) + "," + Fix(pd.pptfx[i].y);
        }
        if (pd.flags & PD_CLOSEFIGURE) out += " Z";
    } while (more);
    PATHOBJ_vEnumStart(ppo);
    return out;
}

std::string LineText(const LINEATTRS* la) {
    if (!la) return "none";
    char buf[160];
    std::string out;
    if (la->fl & LA_GEOMETRIC) {
        std::snprintf(buf, sizeof buf, "geometric width=%g join=%u cap=%u miter=%g",
                      static_cast<double>(la->elWidth.e), la->iJoin, la->iEndCap,
                      static_cast<double>(la->eMiterLimit));
        out = buf;
    } else {
        std::snprintf(buf, sizeof buf, "cosmetic width=%d", la->elWidth.l);
        out = buf;
    }
    if (la->fl & LA_ALTERNATE) out += " alternate";
    if ((la->fl & LA_STYLED) && la->pstyle) {
        out += " style=";
        for (ULONG i = 0; i < la->cstyle; ++i) {
            if (i) out += ',';
            if (la->fl & LA_GEOMETRIC)
                std::snprintf(buf, sizeof buf, "%g", static_cast<double>(la->pstyle[i].e));
            else
                std::snprintf(buf, sizeof buf, "%d", la->pstyle[i].l);
            out += buf;
        }
    }
    return out;
}

std::string PathBounds(PATHOBJ* ppo) {
    RECTFX fx;
    PATHOBJ_vGetBounds(ppo, &fx);
    return Rect(RECTL{fx.xLeft >> 4, fx.yTop >> 4, fx.xRight >> 4, fx.yBottom >> 4});
}

// A realized brush as the recorder keeps it.
struct RecBrush {
    ULONG hatch;
    SIZEL size;
};

std::string Brush(BRUSHOBJ* pbo) {
    if (!pbo) return "none";
    char buf[64];
    if (pbo->iSolidColor != 0xFFFFFFFF) {
        std::snprintf(buf, sizeof buf, "solid:0x%06x", pbo->iSolidColor);
        return buf;
    }
    auto* rb = static_cast<RecBrush*>(BRUSHOBJ_pvGetRbrush(pbo));
    if (!rb) return "unrealized";
    std::snprintf(buf, sizeof buf, "realized:hatch%u/%dx%d", rb->hatch, rb->size.cx, rb->size.cy);
    return buf;
}

// --- physical device -------------------------------------------------------

DHPDEV APIENTRY EnablePDEV(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat,
                           HSURF* /*phsurfPatterns*/, ULONG cjCaps, ULONG* pdevcaps,
                           ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName,
                           HANDLE hDriver) {
    std::string dm = "none";
    if (pdm) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s/orient=%d/extra=%u", Narrow(pdm->dmDeviceName).c_str(),
                      pdm->dmOrientation, pdm->dmDriverExtra);
        dm = buf;
    }
    Log("DrvEnablePDEV device=%s port=%s devmode=%s cPat=%u caps=%u devinfo=%u hdev=%s printer=%s",
        Narrow(pwszDeviceName).c_str(), Narrow(pwszLogAddress).c_str(), dm.c_str(), cPat, cjCaps,
        cjDevInfo, hdev ? "yes" : "no", hDriver ? "yes" : "no");
    if (gConfig.failEnablePdev || cjCaps < sizeof(GDIINFO) || cjDevInfo < sizeof(DEVINFO))
        return nullptr;
    auto* p = new RecPdev;
    p->id = ++gNextPdev;
    p->hdev = hdev;
    p->printer = hDriver;
    p->device = pwszDeviceName ? pwszDeviceName : u"";
    if (pdm) {
        const auto* b = reinterpret_cast<const BYTE*>(pdm);
        p->devmode.assign(b, b + pdm->dmSize + pdm->dmDriverExtra);
    }
    auto* gi = reinterpret_cast<GDIINFO*>(pdevcaps);
    std::memset(gi, 0, sizeof *gi);
    gi->ulVersion = GDI_DRIVER_VERSION;
    gi->ulTechnology = DT_RASPRINTER;
    gi->ulHorzRes = static_cast<ULONG>(gConfig.width);
    gi->ulVertRes = static_cast<ULONG>(gConfig.height);
    gi->ulLogPixelsX = gi->ulLogPixelsY = 600;
    gi->cBitsPixel = 24;
    gi->cPlanes = 1;
    gi->szlPhysSize = SIZEL{gConfig.width, gConfig.height};
    std::memset(pdi, 0, sizeof *pdi);
    pdi->flGraphicsCaps = GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL;
    if (!gConfig.noBeziers) pdi->flGraphicsCaps |= GCAPS_BEZIERS;
    p->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    pdi->hpalDefault = p->palette;
    gPdevs.insert(p);
    return reinterpret_cast<DHPDEV>(p);
}

VOID APIENTRY CompletePDEV(DHPDEV dhpdev, HDEV hdev) {
    RecPdev* p = Pdev(dhpdev);
    Log("DrvCompletePDEV pdev=%d hdev=%s", p ? p->id : 0, p && p->hdev == hdev ? "same" : "other");
}

BOOL APIENTRY ResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
    RecPdev *o = Pdev(dhpdevOld), *n = Pdev(dhpdevNew);
    Log("DrvResetPDEV old=%d new=%d", o ? o->id : 0, n ? n->id : 0);
    return gConfig.failReset ? FALSE : TRUE;
}

VOID APIENTRY DisablePDEV(DHPDEV dhpdev) {
    RecPdev* p = Pdev(dhpdev);
    Log("DrvDisablePDEV pdev=%d", p ? p->id : 0);
    if (!p) return;
    EngDeletePalette(p->palette);
    gPdevs.erase(p);
    delete p;
}

HSURF APIENTRY EnableSurface(DHPDEV dhpdev) {
    RecPdev* p = Pdev(dhpdev);
    if (!p) return nullptr;
    FLONG hooks = HOOK_FILLPATH | HOOK_STROKEPATH | HOOK_LINETO | HOOK_BITBLT | HOOK_TEXTOUT;
    if (gConfig.hooks) hooks = gConfig.hooks;
    if (gConfig.bands > 0) {
        p->bandHeight = (gConfig.height + gConfig.bands - 1) / gConfig.bands;
        p->surface = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{gConfig.width, p->bandHeight}, 0,
                                                             BMF_1BPP, BMF_TOPDOWN, nullptr));
        if (p->surface && (!EngAssociateSurface(p->surface, p->hdev, hooks) ||
                           !EngMarkBandingSurface(p->surface))) {
            EngDeleteSurface(p->surface);
            p->surface = nullptr;
        }
        Log("DrvEnableSurface pdev=%d banding=%dx%d", p->id, gConfig.width, p->bandHeight);
    } else {
        p->surface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(p),
                                            SIZEL{gConfig.width, gConfig.height}, BMF_24BPP);
        if (p->surface && !EngAssociateSurface(p->surface, p->hdev, hooks)) {
            EngDeleteSurface(p->surface);
            p->surface = nullptr;
        }
        Log("DrvEnableSurface pdev=%d device=%dx%d", p->id, gConfig.width, gConfig.height);
    }
    return p->surface;
}

VOID APIENTRY DisableSurface(DHPDEV dhpdev) {
    RecPdev* p = Pdev(dhpdev);
    Log("DrvDisableSurface pdev=%d", p ? p->id : 0);
    if (!p || !p->surface) return;
    EngDeleteSurface(p->surface);
    p->surface = nullptr;
}

// --- job and pages -----------------------------------------------------------

BOOL APIENTRY StartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
    Log("DrvStartDoc pdev=%d doc=%s job=%s", Id(pso), Narrow(pwszDocName).c_str(),
        dwJobId ? "id" : "0");
    return TRUE;
}

BOOL APIENTRY StartPage(SURFOBJ* pso) {
    Log("DrvStartPage pdev=%d", Id(pso));
    ClearCanvas();
    return gConfig.failStartPage ? FALSE : TRUE;
}

BOOL APIENTRY SendPage(SURFOBJ* pso) {
    Log("DrvSendPage pdev=%d abort=%s", Id(pso), EngCheckAbort(pso) ? "yes" : "no");
    return TRUE;
}

// A one-page job on the same printer, as a spool-side player started from
// the end of a document would print it.
void PrintSecondJob(RecPdev* p) {
    ++gDepth;
    DEVMODEW* dm = p->devmode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(p->devmode.data());
    HDC hdc = CreateDCW(nullptr, reinterpret_cast<LPCWSTR>(p->device.c_str()), nullptr, dm);
    int job = 0, page = 0, end = 0;
    if (hdc) {
        DOCINFOW di{sizeof(DOCINFOW), u"Inner", nullptr, nullptr, 0};
        job = StartDocW(hdc, &di);
        page = StartPage(hdc) > 0 && EndPage(hdc) > 0;
        end = EndDoc(hdc);
        DeleteDC(hdc);
    }
    Log("second job dc=%s job=%s page=%d end=%d", hdc ? "yes" : "no", job > 0 ? "id" : "none", page,
        end);
    --gDepth;
}

BOOL APIENTRY EndDoc(SURFOBJ* pso, FLONG fl) {
    Log("DrvEndDoc pdev=%d fl=%u", Id(pso), fl);
    RecPdev* p = Pdev(pso);
    if (p && gConfig.reenter && gDepth == 0 && !(fl & ED_ABORTDOC)) PrintSecondJob(p);
    return TRUE;
}

ULONG APIENTRY Escape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    Log("DrvEscape pdev=%d esc=%u in=%u out=%u", Id(pso), iEsc, cjIn, cjOut);
    if (pvIn && pvOut && cjOut >= cjIn) std::memcpy(pvOut, pvIn, cjIn);
    return gConfig.escapeResult;
}

// --- bands -------------------------------------------------------------------

BOOL APIENTRY StartBanding(SURFOBJ* pso, POINTL* pptl) {
    RecPdev* p = Pdev(pso);
    if (!p) return FALSE;
    p->bandTop = 0;
    *pptl = POINTL{0, 0};
    ClearCanvas();
    RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    EngEraseSurface(pso, &all, 1);
    Log("DrvStartBanding pdev=%d band=0,0", p->id);
    return TRUE;
}

BOOL APIENTRY NextBand(SURFOBJ* pso, POINTL* pptl) {
    RecPdev* p = Pdev(pso);
    if (!p) return FALSE;
    // The band's clear bits are ink (black); it starts white again for the
    // next band.
    for (LONG y = 0; y < pso->sizlBitmap.cy; ++y) {
        const BYTE* row = static_cast<const BYTE*>(pso->pvScan0) + y * pso->lDelta;
        for (LONG x = 0; x < pso->sizlBitmap.cx; ++x)
            if (!((row[x / 8] >> (7 - x % 8)) & 1)) Plot(x, p->bandTop + y, 0);
    }
    RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    EngEraseSurface(pso, &all, 1);
    p->bandTop += p->bandHeight;
    *pptl = p->bandTop >= gConfig.height ? POINTL{-1, -1} : POINTL{0, p->bandTop};
    Log("DrvNextBand pdev=%d band=%d,%d", p->id, pptl->x, pptl->y);
    return TRUE;
}

// --- drawing -----------------------------------------------------------------

BOOL APIENTRY RealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                           XLATEOBJ* pxlo, ULONG iHatch) {
    Log("DrvRealizeBrush pdev=%d pattern=%dx%d/%u mask=%s xlate=%u hatch=%u", Id(psoTarget),
        psoPattern ? psoPattern->sizlBitmap.cx : 0, psoPattern ? psoPattern->sizlBitmap.cy : 0,
        psoPattern ? psoPattern->iBitmapFormat : 0, psoMask ? "yes" : "no",
        pxlo ? pxlo->cEntries : 0, iHatch);
    auto* rb = static_cast<RecBrush*>(BRUSHOBJ_pvAllocRbrush(pbo, sizeof(RecBrush)));
    if (!rb) return FALSE;
    rb->hatch = iHatch;
    rb->size = psoPattern ? psoPattern->sizlBitmap : SIZEL{};
    return TRUE;
}

BOOL APIENTRY FillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                       POINTL* pptlBrushOrg, MIX mix, FLONG flOptions) {
    Log("DrvFillPath pdev=%d bounds=%s clip=%s brush=%s org=%d,%d mix=0x%x mode=%u", Id(pso),
        PathBounds(ppo).c_str(), Clip(pco).c_str(), Brush(pbo).c_str(),
        pptlBrushOrg ? pptlBrushOrg->x : 0, pptlBrushOrg ? pptlBrushOrg->y : 0, mix, flOptions);
    Detail("FillPath path=" + PathText(ppo));
    return gConfig.refusePaths ? FALSE : TRUE;
}

BOOL APIENTRY StrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                         POINTL*, LINEATTRS* plineattrs, MIX mix) {
    XFORML xf{};
    ULONG complexity = XFORMOBJ_iGetXform(pxo, &xf);
    Log("DrvStrokePath pdev=%d bounds=%s clip=%s brush=%s xform=%u width=%d mix=0x%x", Id(pso),
        PathBounds(ppo).c_str(), Clip(pco).c_str(), Brush(pbo).c_str(), complexity,
        plineattrs ? plineattrs->elWidth.l : -1, mix);
    Detail("StrokePath path=" + PathText(ppo) + " line=" + LineText(plineattrs));
    return gConfig.refusePaths ? FALSE : TRUE;
}

BOOL APIENTRY StrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*,
                                BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                POINTL*, MIX mixFill, FLONG flOptions) {
    Log("DrvStrokeAndFillPath pdev=%d bounds=%s clip=%s pen=%s brush=%s mix=0x%x mode=%u", Id(pso),
        PathBounds(ppo).c_str(), Clip(pco).c_str(), Brush(pboStroke).c_str(),
        Brush(pboFill).c_str(), mixFill, flOptions);
    Detail("StrokeAndFillPath path=" + PathText(ppo) + " line=" + LineText(plineattrs));
    return gConfig.refusePaths ? FALSE : TRUE;
}

BOOL APIENTRY LineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                     RECTL* prclBounds, MIX mix) {
    Log("DrvLineTo pdev=%d from=%d,%d to=%d,%d bounds=%s clip=%s brush=%s mix=0x%x", Id(pso), x1,
        y1, x2, y2, prclBounds ? Rect(*prclBounds).c_str() : "none", Clip(pco).c_str(),
        Brush(pbo).c_str(), mix);
    return gConfig.refusePaths ? FALSE : TRUE;
}

// Copies the image onto the canvas within the clip (24 bits, the device's
// own colours: red in the low byte).
BOOL APIENTRY CopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ*, RECTL* prclDest,
                       POINTL* pptlSrc) {
    Log("DrvCopyBits pdev=%d dest=%s clip=%s", Id(psoDest), Rect(*prclDest).c_str(),
        Clip(pco).c_str());
    if (psoSrc && psoSrc->iType == STYPE_DEVICE && psoDest->iBitmapFormat == BMF_24BPP &&
        psoDest->pvScan0) {
        // Reading the page back: the canvas into the engine's bitmap.
        for (LONG y = prclDest->top; y < prclDest->bottom; ++y)
            for (LONG x = prclDest->left; x < prclDest->right; ++x) {
                LONG cx = x - prclDest->left + pptlSrc->x, cy = y - prclDest->top + pptlSrc->y;
                ULONG rgb = cx >= 0 && cy >= 0 && cx < gConfig.width && cy < gConfig.height &&
                                    !gCanvas.empty()
                                ? gCanvas[static_cast<size_t>(cy) * gConfig.width + cx]
                                : 0xFFFFFF;
                BYTE* px = static_cast<BYTE*>(psoDest->pvScan0) + y * psoDest->lDelta + 3 * x;
                px[0] = static_cast<BYTE>(rgb), px[1] = static_cast<BYTE>(rgb >> 8),
                px[2] = static_cast<BYTE>(rgb >> 16);
            }
        return TRUE;
    }
    if (!psoSrc || psoSrc->iBitmapFormat != BMF_24BPP || !psoSrc->pvScan0) return FALSE;
    std::vector<RECTL> rects;
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        rects.push_back(*prclDest);
    } else if (pco->iDComplexity == DC_RECT) {
        rects.push_back(pco->rclBounds);
    } else {
        CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 0);
        struct {
            ULONG c;
            RECTL r[16];
        } batch;
        BOOL more;
        do {
            more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
            rects.insert(rects.end(), batch.r, batch.r + batch.c);
        } while (more);
    }
    for (RECTL r : rects) {
        r.left = std::max(r.left, prclDest->left), r.top = std::max(r.top, prclDest->top);
        r.right = std::min(r.right, prclDest->right);
        r.bottom = std::min(r.bottom, prclDest->bottom);
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                LONG sx = x - prclDest->left + pptlSrc->x, sy = y - prclDest->top + pptlSrc->y;
                if (sx < 0 || sy < 0 || sx >= psoSrc->sizlBitmap.cx || sy >= psoSrc->sizlBitmap.cy)
                    continue;
                const BYTE* px =
                    static_cast<const BYTE*>(psoSrc->pvScan0) + sy * psoSrc->lDelta + 3 * sx;
                Plot(x, y, px[0] | px[1] << 8 | px[2] << 16);
            }
    }
    return TRUE;
}

BOOL APIENTRY BitBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ*, RECTL* prclTrg,
                     POINTL*, POINTL*, BRUSHOBJ*, POINTL*, ROP4 rop4) {
    Log("DrvBitBlt pdev=%d target=%s clip=%s rop=0x%x", Id(psoTrg),
        prclTrg ? Rect(*prclTrg).c_str() : "none", Clip(pco).c_str(), rop4);
    return TRUE;
}

BOOL APIENTRY TextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* extra,
                      RECTL* opaque, BRUSHOBJ* fore, BRUSHOBJ*, POINTL*, MIX mix) {
    Log("DrvTextOut pdev=%d glyphs=%u clip=%s mix=0x%x", Id(pso), pstro ? pstro->cGlyphs : 0,
        Clip(pco).c_str(), mix);
    // The glyphs' positions, the font's face and em, the colour and rectangles.
    std::string text = "TextOut";
    if (pstro) {
        std::vector<GLYPHPOS> all;
        if (pstro->pgp) {
            all.assign(pstro->pgp, pstro->pgp + pstro->cGlyphs);
        } else {
            STROBJ_vEnumStart(pstro);
            ULONG n = 0;
            GLYPHPOS* gp = nullptr;
            BOOL more;
            do {
                more = STROBJ_bEnum(pstro, &n, &gp);
                if (gp) all.insert(all.end(), gp, gp + n);
            } while (more && n);
        }
        text += " at=";
        for (const GLYPHPOS& g : all)
            text += std::to_string(g.ptl.x) + "," + std::to_string(g.ptl.y) + ";";
    }
    if (IFIMETRICS* ifi = pfo ? FONTOBJ_pifi(pfo) : nullptr) {
        const auto* face = reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) +
                                                             ifi->dpwszFaceName);
        XFORML x{};
        XFORMOBJ_iGetXform(FONTOBJ_pxoGetXform(pfo), &x);
        char em[64];
        std::snprintf(em, sizeof em, " em=%.0f", x.eM22 * ifi->fwdUnitsPerEm);
        text += " face=" + Narrow(reinterpret_cast<const WCHAR*>(face)) + em;
    }
    if (fore) text += " color=" + std::to_string(fore->iSolidColor);
    if (opaque)
        text += " opaque=" + std::to_string(opaque->left) + "," + std::to_string(opaque->top) +
                "," + std::to_string(opaque->right) + "," + std::to_string(opaque->bottom);
    if (extra) text += " extra";
    Detail(text);
    return TRUE;
}

VOID APIENTRY DestroyFont(FONTOBJ*) {
    Detail("DestroyFont");
}

DRVFN gFunctions[] = {
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(&EnablePDEV)},
    {INDEX_DrvResetPDEV, reinterpret_cast<PFN>(&ResetPDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(&CompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(&DisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(&EnableSurface)},
    {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(&DisableSurface)},
    {INDEX_DrvStartDoc, reinterpret_cast<PFN>(&StartDoc)},
    {INDEX_DrvEndDoc, reinterpret_cast<PFN>(&EndDoc)},
    {INDEX_DrvStartPage, reinterpret_cast<PFN>(&StartPage)},
    {INDEX_DrvSendPage, reinterpret_cast<PFN>(&SendPage)},
    {INDEX_DrvEscape, reinterpret_cast<PFN>(&Escape)},
    {INDEX_DrvStartBanding, reinterpret_cast<PFN>(&StartBanding)},
    {INDEX_DrvNextBand, reinterpret_cast<PFN>(&NextBand)},
    {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&RealizeBrush)},
    {INDEX_DrvFillPath, reinterpret_cast<PFN>(&FillPath)},
    {INDEX_DrvStrokePath, reinterpret_cast<PFN>(&StrokePath)},
    {INDEX_DrvStrokeAndFillPath, reinterpret_cast<PFN>(&StrokeAndFillPath)},
    {INDEX_DrvLineTo, reinterpret_cast<PFN>(&LineTo)},
    {INDEX_DrvBitBlt, reinterpret_cast<PFN>(&BitBlt)},
    {INDEX_DrvCopyBits, reinterpret_cast<PFN>(&CopyBits)},
    {INDEX_DrvTextOut, reinterpret_cast<PFN>(&TextOut)},
    {INDEX_DrvDestroyFont, reinterpret_cast<PFN>(&DestroyFont)},
};

} // namespace

DLLEXPORT BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
    Log("DrvEnableDriver engine=0x%x cj=%u", iEngineVersion, cj);
    if (cj < sizeof(DRVENABLEDATA) || !pded) return FALSE;
    pded->iDriverVersion = DDI_DRIVER_VERSION_NT5_01_SP1;
    pded->c = sizeof gFunctions / sizeof gFunctions[0];
    pded->pdrvfn = gFunctions;
    return TRUE;
}

DLLEXPORT VOID APIENTRY DrvDisableDriver(VOID) {
    Log("DrvDisableDriver");
}

// The interface library's document events.
DLLEXPORT INT APIENTRY DrvDocumentEvent(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn,
                                        ULONG cbOut, PVOID pvOut) {
    std::string detail;
    switch (iEsc) {
    case 1: { // CREATEDCPRE
        const auto* pre = static_cast<const DOCEVENT_CREATEDCPRE*>(pvIn);
        detail = " device=" + Narrow(pre->pszDevice) +
                 " devmode=" + (pre->pdm ? std::to_string(pre->pdm->dmOrientation) : "none") +
                 " ic=" + std::to_string(pre->bIC);
        break;
    }
    case 2:   // CREATEDCPOST
    case 4: { // RESETDCPOST
        DEVMODEW* handed = *static_cast<DEVMODEW**>(pvIn);
        detail = handed ? " handed" : " none";
        if (handed && gHandedDevmodes.erase(handed)) delete[] reinterpret_cast<BYTE*>(handed);
        break;
    }
    case 3: { // RESETDCPRE
        const DEVMODEW* asked = *static_cast<DEVMODEW**>(pvIn);
        detail = " devmode=" + (asked ? std::to_string(asked->dmOrientation) : std::string("none"));
        break;
    }
    case 5: { // STARTDOC
        const DOCINFOW* di = *static_cast<DOCINFOW**>(pvIn);
        detail = " doc=" + Narrow(di->lpszDocName) + " output=" + Narrow(di->lpszOutput);
        break;
    }
    case 13: // STARTDOCPOST
        detail = " job=" + std::string(*static_cast<DWORD*>(pvIn) ? "id" : "none");
        break;
    default:
        break;
    }
    Log("DrvDocumentEvent esc=%d hdc=%s printer=%s in=%u out=%u%s", iEsc, hdc ? "yes" : "no",
        hPrinter ? "yes" : "no", cbIn, cbOut, detail.c_str());
    if (hdc && gConfig.escapeOnEvent) ExtEscape(hdc, 0x4000 + iEsc, 0, nullptr, 0, nullptr);
    if (iEsc == gConfig.refuseEvent) return -1;
    if ((iEsc == 1 || iEsc == 3) && gConfig.replaceDevmode == 2 && pvOut &&
        cbOut >= sizeof(DEVMODEW*)) {
        DEVMODEW* given = iEsc == 1 ? static_cast<DOCEVENT_CREATEDCPRE*>(pvIn)->pdm
                                    : *static_cast<DEVMODEW**>(pvIn);
        if (given) given->dmOrientation = DMORIENT_LANDSCAPE;
        *static_cast<DEVMODEW**>(pvOut) = given;
    } else if ((iEsc == 1 || iEsc == 3) && gConfig.replaceDevmode && pvOut &&
               cbOut >= sizeof(DEVMODEW*)) {
        auto* dm = reinterpret_cast<DEVMODEW*>(new BYTE[sizeof(DEVMODEW)]());
        dm->dmSize = sizeof(DEVMODEW);
        dm->dmFields = DM_ORIENTATION;
        dm->dmOrientation = DMORIENT_LANDSCAPE;
        gHandedDevmodes.insert(dm);
        *static_cast<DEVMODEW**>(pvOut) = dm;
    }
    return 1;
}

// The spooler's printer events and upgrade.
DLLEXPORT BOOL APIENTRY DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags,
                                        LPARAM lParam) {
    std::string detail;
    if (DriverEvent == PRINTER_EVENT_ATTRIBUTES_CHANGED && lParam) {
        const auto* change = reinterpret_cast<const PRINTER_EVENT_ATTRIBUTES_INFO*>(lParam);
        char buf[80];
        std::snprintf(buf, sizeof buf, " size=%u old=0x%x new=0x%x", change->cbSize,
                      change->dwOldAttributes, change->dwNewAttributes);
        detail = buf;
    }
    Log("DrvPrinterEvent printer=%s event=%d flags=%u%s", Narrow(pPrinterName).c_str(), DriverEvent,
        Flags, detail.c_str());
    return TRUE;
}

// Its own device mode: the whole public part, 8 private bytes, version 0x0500.
DLLEXPORT BOOL APIENTRY DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                          LONG* pcbNeeded, DWORD fMode) {
    constexpr WORD kExtra = 8;
    constexpr LONG kOwnSize = sizeof(DEVMODEW) + kExtra;
    Log("DrvConvertDevMode printer=%s mode=%u in=%u/%u out=%u/%u", Narrow(pPrinterName).c_str(),
        fMode, pdmIn ? pdmIn->dmSize : 0, pdmIn ? pdmIn->dmDriverExtra : 0,
        pdmOut ? pdmOut->dmSize : 0, pdmOut ? pdmOut->dmDriverExtra : 0);
    if (!pcbNeeded) return FALSE;
    if (fMode == CDM_DRIVER_DEFAULT) {
        if (!pdmOut || *pcbNeeded < kOwnSize) {
            *pcbNeeded = kOwnSize;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memset(pdmOut, 0, kOwnSize);
        for (int i = 0; pPrinterName && pPrinterName[i] && i < CCHDEVICENAME - 1; ++i)
            pdmOut->dmDeviceName[i] = pPrinterName[i];
        pdmOut->dmSpecVersion = DM_SPECVERSION;
        pdmOut->dmDriverVersion = 0x0500;
        pdmOut->dmSize = sizeof(DEVMODEW);
        pdmOut->dmDriverExtra = kExtra;
        pdmOut->dmFields = DM_ORIENTATION;
        pdmOut->dmOrientation = DMORIENT_PORTRAIT;
        *pcbNeeded = kOwnSize;
        return TRUE;
    }
    if (fMode != CDM_CONVERT || !pdmIn || !pdmOut ||
        *pcbNeeded < static_cast<LONG>(pdmOut->dmSize) + pdmOut->dmDriverExtra) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DEVMODEW kept = *pdmOut;
    std::memcpy(pdmOut, pdmIn, std::min(pdmIn->dmSize, kept.dmSize));
    std::memcpy(reinterpret_cast<BYTE*>(pdmOut) + kept.dmSize,
                reinterpret_cast<const BYTE*>(pdmIn) + pdmIn->dmSize,
                std::min(pdmIn->dmDriverExtra, kept.dmDriverExtra));
    pdmOut->dmSpecVersion = kept.dmSpecVersion;
    pdmOut->dmDriverVersion = kept.dmDriverVersion;
    pdmOut->dmSize = kept.dmSize;
    pdmOut->dmDriverExtra = kept.dmDriverExtra;
    *pcbNeeded = static_cast<LONG>(kept.dmSize) + kept.dmDriverExtra;
    return TRUE;
}

DLLEXPORT BOOL APIENTRY DrvUpgradePrinter(DWORD Level, LPBYTE pDriverUpgradeInfo) {
    const auto* info = reinterpret_cast<const DRIVER_UPGRADE_INFO_1W*>(pDriverUpgradeInfo);
    Log("DrvUpgradePrinter level=%u printer=%s old=%s", Level,
        info ? Narrow(info->pPrinterName).c_str() : "(null)",
        info ? Narrow(info->pOldDriverDirectory).c_str() : "(null)");
    return TRUE;
}

// --- for tests ---------------------------------------------------------------

DLLEXPORT const char* RecorderLog() {
    return gLog.c_str();
}

DLLEXPORT void RecorderClear() {
    gLog.clear();
    gDetail.clear();
}

// The paths and line attributes of the path calls since the last clear, one
// line per call.
DLLEXPORT const char* RecorderDetail() {
    return gDetail.c_str();
}

// Keys: width, height, bands, reenter, fail_reset, fail_enable_pdev,
// fail_start_page, escape_result, hooks (the surface's hook flags; 0 the
// usual ones), no_beziers, refuse_event (a document event answered with
// -1), replace_devmode, escape_on_event; "defaults" puts everything back.
DLLEXPORT void RecorderSet(const char* key, long value) {
    std::string k = key ? key : "";
    if (k == "defaults") {
        gConfig = Config{};
        gNextPdev = 0;
    } else if (k == "width")
        gConfig.width = static_cast<LONG>(value);
    else if (k == "height")
        gConfig.height = static_cast<LONG>(value);
    else if (k == "bands")
        gConfig.bands = static_cast<int>(value);
    else if (k == "reenter")
        gConfig.reenter = value != 0;
    else if (k == "fail_reset")
        gConfig.failReset = value != 0;
    else if (k == "fail_enable_pdev")
        gConfig.failEnablePdev = value != 0;
    else if (k == "fail_start_page")
        gConfig.failStartPage = value != 0;
    else if (k == "escape_result")
        gConfig.escapeResult = static_cast<ULONG>(value);
    else if (k == "hooks")
        gConfig.hooks = static_cast<FLONG>(value);
    else if (k == "no_beziers")
        gConfig.noBeziers = value != 0;
    else if (k == "refuse_paths")
        gConfig.refusePaths = value != 0;
    else if (k == "refuse_event")
        gConfig.refuseEvent = static_cast<int>(value);
    else if (k == "replace_devmode")
        gConfig.replaceDevmode = static_cast<int>(value);
    else if (k == "escape_on_event")
        gConfig.escapeOnEvent = value != 0;
}

// A pixel of what reached the page (0x00RRGGBB as the device has it; white
// where nothing was drawn); 0xFFFFFFFF outside the page.
DLLEXPORT unsigned long RecorderPixel(long x, long y) {
    if (x < 0 || y < 0 || x >= gConfig.width || y >= gConfig.height || gCanvas.empty())
        return 0xFFFFFFFF;
    return gCanvas[static_cast<size_t>(y) * static_cast<size_t>(gConfig.width) + x];
}

// Device modes handed back by a document event and not yet taken back.
DLLEXPORT long RecorderHandedDevmodes() {
    return static_cast<long>(gHandedDevmodes.size());
}

// PDEVs not yet disabled.
DLLEXPORT long RecorderLivePdevs() {
    return static_cast<long>(gPdevs.size());
}
