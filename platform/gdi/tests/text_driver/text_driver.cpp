// A graphics driver for the tests of text: it takes text calls only, and
// logs what each string and font object holds (code page, characters, glyph
// handles, positions, flags, and what the glyph definitions are), and how
// it was asked for the glyph mode of each font. Tests read the log through
// TextDriverLog and set the answer to DrvGetGlyphMode through TextDriverSet.
#include <cmath>
#include <cstdio>
#include <set>
#include <string>

#include "win/gdi.h"
#include "win/winddi.h"

namespace {

struct Config {
    ULONG glyphMode = FO_GLYPHBITS; // the answer of DrvGetGlyphMode
    bool answerGlyphMode = true;    // whether the driver has DrvGetGlyphMode
    bool punt = false;              // DrvTextOut hands the call to EngTextOut
};
Config gConfig;
std::string gLog;
constexpr LONG kWidth = 800, kHeight = 1000;

void Log(const std::string& line) {
    gLog += line;
    gLog += '\n';
}

struct Pdev {
    HDEV hdev = nullptr;
    HSURF surface = nullptr;
    HPALETTE palette = nullptr;
    SURFOBJ* bitmap = nullptr; // a bitmap the punted calls draw on
};
std::set<Pdev*> gPdevs;

std::string Hex(ULONG v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

DHPDEV APIENTRY EnablePDEV(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG cjCaps, ULONG* pdevcaps,
                           ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR, HANDLE) {
    if (cjCaps < sizeof(GDIINFO) || cjDevInfo < sizeof(DEVINFO)) return nullptr;
    auto* p = new Pdev;
    p->hdev = hdev;
    auto* gi = reinterpret_cast<GDIINFO*>(pdevcaps);
    *gi = GDIINFO{};
    gi->ulVersion = GDI_DRIVER_VERSION;
    gi->ulTechnology = DT_RASPRINTER;
    gi->ulHorzRes = kWidth;
    gi->ulVertRes = kHeight;
    gi->ulLogPixelsX = gi->ulLogPixelsY = 600;
    gi->cBitsPixel = 24;
    gi->cPlanes = 1;
    gi->szlPhysSize = SIZEL{kWidth, kHeight};
    *pdi = DEVINFO{};
    pdi->flGraphicsCaps = GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_BEZIERS;
    p->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    pdi->hpalDefault = p->palette;
    gPdevs.insert(p);
    return reinterpret_cast<DHPDEV>(p);
}

Pdev* PdevOf(DHPDEV d) {
    auto* p = reinterpret_cast<Pdev*>(d);
    return gPdevs.count(p) ? p : nullptr;
}

VOID APIENTRY CompletePDEV(DHPDEV, HDEV) {}

VOID APIENTRY DisablePDEV(DHPDEV dhpdev) {
    Pdev* p = PdevOf(dhpdev);
    if (!p) return;
    EngDeletePalette(p->palette);
    gPdevs.erase(p);
    delete p;
}

HSURF APIENTRY EnableSurface(DHPDEV dhpdev) {
    Pdev* p = PdevOf(dhpdev);
    if (!p) return nullptr;
    p->surface =
        EngCreateDeviceSurface(reinterpret_cast<DHSURF>(p), SIZEL{kWidth, kHeight}, BMF_24BPP);
    if (p->surface && !EngAssociateSurface(p->surface, p->hdev, HOOK_TEXTOUT)) {
        EngDeleteSurface(p->surface);
        p->surface = nullptr;
    }
    return p->surface;
}

VOID APIENTRY DisableSurface(DHPDEV dhpdev) {
    Pdev* p = PdevOf(dhpdev);
    if (!p || !p->surface) return;
    EngDeleteSurface(p->surface);
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
BOOL APIENTRY CopyBits(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) {
    return TRUE;
}

ULONG APIENTRY GetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo) {
    Log("GetGlyphMode pdev=" + std::string(PdevOf(dhpdev) ? "ours" : "other") +
        " font=" + std::to_string(pfo ? pfo->iUniq : 0));
    return gConfig.glyphMode;
}

// What a glyph definition holds, as the font's glyph mode says it should.
std::string Definition(const GLYPHPOS& g) {
    if (!g.pgdf) return "-";
    if (gConfig.glyphMode == FO_PATHOBJ) {
        if (!g.pgdf->ppo) return "0";
        RECTFX b{};
        PATHOBJ_vGetBounds(g.pgdf->ppo, &b);
        return b.xRight > b.xLeft && b.yBottom > b.yTop ? "p" : "p0";
    }
    if (gConfig.glyphMode == FO_HGLYPHS) return g.pgdf->pgb ? "b" : "0";
    const GLYPHBITS* gb = g.pgdf->pgb;
    return !gb ? "0" : gb->sizlBitmap.cx > 0 && gb->sizlBitmap.cy > 0 ? "b" : "b0";
}

BOOL APIENTRY TextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* extra,
                      RECTL* opaque, BRUSHOBJ* fore, BRUSHOBJ* back, POINTL* org, MIX mix) {
    std::string line = "TextOut font=" + std::to_string(pfo ? pfo->iUniq : 0);
    line += " cp=" + std::to_string(STROBJ_dwGetCodePage(pstro));
    line += " accel=" + Hex(pstro->flAccel);
    // How far the glyphs are turned counterclockwise on the page, in degrees.
    XFORML xf{};
    if (pfo && XFORMOBJ_iGetXform(FONTOBJ_pxoGetXform(pfo), &xf) != DDI_ERROR) {
        long turn = std::lround(std::atan2(-xf.eM12, xf.eM11) * 180 / 3.14159265358979);
        line += " turn=" + std::to_string((turn + 360) % 360);
    }
    line += " text=";
    for (ULONG i = 0; i < pstro->cGlyphs; ++i)
        line += (i ? "," : "") + Hex(static_cast<char16_t>(pstro->pwszOrg[i]));
    std::string glyphs, at, defs;
    auto add = [&](const GLYPHPOS& g) {
        glyphs += (glyphs.empty() ? "" : ",") + std::to_string(g.hg);
        at += std::to_string(g.ptl.x) + "," + std::to_string(g.ptl.y) + ";";
        defs += Definition(g);
    };
    if (pstro->pgp) {
        for (ULONG i = 0; i < pstro->cGlyphs; ++i)
            add(pstro->pgp[i]);
    } else {
        STROBJ_vEnumStart(pstro);
        BOOL more;
        do {
            ULONG n = 0;
            GLYPHPOS* gp = nullptr;
            more = STROBJ_bEnum(pstro, &n, &gp);
            for (ULONG i = 0; gp && i < n; ++i)
                add(gp[i]);
        } while (more);
    }
    line += " glyphs=" + glyphs + " at=" + at + " defs=" + defs;
    Log(line);
    if (!gConfig.punt) return TRUE;
    // Drawn by the engine on a bitmap of the driver's own.
    HSURF bmp = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{kWidth, kHeight}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* so = bmp ? EngLockSurface(bmp) : nullptr;
    RECTL all{0, 0, kWidth, kHeight};
    if (so) EngEraseSurface(so, &all, 1);
    BOOL ok = so && EngTextOut(so, pstro, pfo, pco, extra, opaque, fore, back, org, mix);
    if (so) {
        // The engine's ink: clear bits of the white 1-bit bitmap.
        long ink = 0;
        for (LONG y = 0; y < so->sizlBitmap.cy; ++y) {
            const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta;
            for (LONG x = 0; x < so->sizlBitmap.cx / 8; ++x)
                if (row[x] != 0xFF) ++ink;
        }
        Log("EngTextOut ok=" + std::to_string(ok) + " ink=" + (ink ? "yes" : "no"));
        EngUnlockSurface(so);
    }
    if (bmp) EngDeleteSurface(bmp);
    (void)pso;
    return ok;
}

VOID APIENTRY DestroyFont(FONTOBJ* pfo) {
    Log("DestroyFont font=" + std::to_string(pfo ? pfo->iUniq : 0));
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
    {INDEX_DrvCopyBits, reinterpret_cast<PFN>(&CopyBits)},
    {INDEX_DrvTextOut, reinterpret_cast<PFN>(&TextOut)},
    {INDEX_DrvDestroyFont, reinterpret_cast<PFN>(&DestroyFont)},
    {INDEX_DrvGetGlyphMode, reinterpret_cast<PFN>(&GetGlyphMode)}, // kept last
};

} // namespace

DLLEXPORT BOOL APIENTRY DrvEnableDriver(ULONG, ULONG cj, DRVENABLEDATA* pded) {
    if (cj < sizeof(DRVENABLEDATA) || !pded) return FALSE;
    pded->iDriverVersion = DDI_DRIVER_VERSION_NT5_01_SP1;
    pded->c = sizeof gFunctions / sizeof gFunctions[0] - (gConfig.answerGlyphMode ? 0 : 1);
    pded->pdrvfn = gFunctions;
    return TRUE;
}

DLLEXPORT VOID APIENTRY DrvDisableDriver(VOID) {}

DLLEXPORT const char* TextDriverLog() {
    return gLog.c_str();
}

DLLEXPORT void TextDriverClear() {
    gLog.clear();
}

// "glyphMode": the answer of DrvGetGlyphMode; "answerGlyphMode": 0 leaves
// DrvGetGlyphMode out of the driver's functions (from the next
// DrvEnableDriver on); "punt": 1 has DrvTextOut call EngTextOut; "defaults".
DLLEXPORT void TextDriverSet(const char* key, long value) {
    std::string k = key ? key : "";
    if (k == "glyphMode") gConfig.glyphMode = static_cast<ULONG>(value);
    if (k == "answerGlyphMode") gConfig.answerGlyphMode = value != 0;
    if (k == "punt") gConfig.punt = value != 0;
    if (k == "defaults") gConfig = Config{};
}
