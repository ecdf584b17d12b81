// The engine's own drawing of text onto a bitmap surface, through its blits:
// the opaque rectangle with the opaque brush, the glyphs of the string as one
// 1-bit mask through which the foreground brush is blitted under the mix
// (the destination kept where the mask is clear), then the extra rectangles
// with the foreground brush; everything within the clip.
#include <algorithm>
#include <vector>

#include "engine_internal.h"
#include "platform/engine_fonts.h"
#include "raster.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

constexpr ROP4 kPatCopy4 = 0xF0F0;
constexpr ULONG kKeepDest = 0xAA; // the ternary code that leaves the destination
// Binary mixes run from 1 (black) to 16 (white); 13 copies the pen.
constexpr ULONG kFirstMix = 1, kLastMix = 16, kCopyPenMix = 13;

// The ternary code of the foreground mix; a mix of no known code draws as
// the pen would by default.
ULONG ForeRop3(MIX mix) {
    ULONG r2 = mix & 0xFF;
    return Rop3OfMix(r2 >= kFirstMix && r2 <= kLastMix ? r2 : kCopyPenMix);
}

// The glyphs of the string, every batch of them.
std::vector<GLYPHPOS> AllGlyphs(STROBJ* pstro) {
    if (pstro->pgp) return std::vector<GLYPHPOS>(pstro->pgp, pstro->pgp + pstro->cGlyphs);
    std::vector<GLYPHPOS> out;
    STROBJ_vEnumStart(pstro);
    BOOL more;
    do {
        ULONG n = 0;
        GLYPHPOS* gp = nullptr;
        more = STROBJ_bEnum(pstro, &n, &gp);
        if (gp) out.insert(out.end(), gp, gp + n);
    } while (more);
    return out;
}

// A 1-bit bitmap of the engine over `box` of the destination with the glyph
// images or-ed in; nullptr when no glyph pixel falls inside the box.
HSURF GlyphMask(const std::vector<GLYPHPOS>& glyphs, const RECTL& box) {
    if (box.left >= box.right || box.top >= box.bottom) return nullptr;
    SIZEL size{box.right - box.left, box.bottom - box.top};
    HSURF mask = reinterpret_cast<HSURF>(EngCreateBitmap(size, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    if (!mask) return nullptr;
    SURFOBJ* so = EngLockSurface(mask);
    if (!so) {
        EngDeleteSurface(mask);
        return nullptr;
    }
    for (const GLYPHPOS& g : glyphs) {
        const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
        if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
        LONG ox = g.ptl.x + gb->ptlOrigin.x, oy = g.ptl.y + gb->ptlOrigin.y;
        LONG stride = (gb->sizlBitmap.cx + 7) / 8;
        LONG x0 = std::max(ox, box.left), x1 = std::min(ox + gb->sizlBitmap.cx, box.right);
        LONG y0 = std::max(oy, box.top), y1 = std::min(oy + gb->sizlBitmap.cy, box.bottom);
        for (LONG y = y0; y < y1; ++y) {
            const BYTE* src = gb->aj + static_cast<size_t>(y - oy) * static_cast<size_t>(stride);
            BYTE* dst = RowOf(so, y - box.top);
            for (LONG x = x0; x < x1; ++x)
                if (GetPixel(src, x - ox, 1)) PutPixel(dst, x - box.left, 1, 1);
        }
    }
    EngUnlockSurface(so);
    return mask;
}

// The box that the glyphs cover, cut to `limit`.
RECTL GlyphBox(const std::vector<GLYPHPOS>& glyphs, const RECTL& limit) {
    RECTL box{limit.right, limit.bottom, limit.left, limit.top};
    for (const GLYPHPOS& g : glyphs) {
        const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
        if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
        LONG ox = g.ptl.x + gb->ptlOrigin.x, oy = g.ptl.y + gb->ptlOrigin.y;
        box.left = std::min(box.left, ox), box.top = std::min(box.top, oy);
        box.right = std::max(box.right, ox + gb->sizlBitmap.cx);
        box.bottom = std::max(box.bottom, oy + gb->sizlBitmap.cy);
    }
    return RECTL{std::max(box.left, limit.left), std::max(box.top, limit.top),
                 std::min(box.right, limit.right), std::min(box.bottom, limit.bottom)};
}

} // namespace
} // namespace platform::engine

using namespace platform::engine;

extern "C" BOOL APIENTRY EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                    RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                    BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
    if (!pso || !pstro || !pfo || !pboFore || !pso->pvScan0 || pso->iType != STYPE_BITMAP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL ok = TRUE;
    if (prclOpaque && pboOpaque)
        ok = EngBitBlt(pso, nullptr, nullptr, pco, nullptr, prclOpaque, nullptr, nullptr, pboOpaque,
                       pptlOrg, kPatCopy4);
    const ULONG fore = ForeRop3(mix);
    // Only the part of the string on the surface and inside the clip needs a mask.
    RECTL limit{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    if (pco && pco->iDComplexity != DC_TRIVIAL)
        limit = RECTL{std::max(limit.left, pco->rclBounds.left),
                      std::max(limit.top, pco->rclBounds.top),
                      std::min(limit.right, pco->rclBounds.right),
                      std::min(limit.bottom, pco->rclBounds.bottom)};
    std::vector<GLYPHPOS> glyphs = AllGlyphs(pstro);
    // A driver that takes the font's glyphs as outlines or handles hands
    // them on as such: the images come from the font object.
    std::vector<GLYPHDEF> images;
    if (FontGlyphMode(pfo) != FO_GLYPHBITS) {
        images.resize(glyphs.size());
        for (size_t i = 0; i < glyphs.size(); ++i) {
            HGLYPH hg = glyphs[i].hg;
            GLYPHDATA* gd = nullptr;
            images[i].pgb =
                FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &hg, reinterpret_cast<PVOID*>(&gd)) == 1 &&
                        gd
                    ? gd->gdf.pgb
                    : nullptr;
            glyphs[i].pgdf = &images[i];
        }
    }
    RECTL box = GlyphBox(glyphs, limit);
    if (HSURF mask = GlyphMask(glyphs, box)) {
        SURFOBJ* mo = EngLockSurface(mask);
        POINTL at{0, 0};
        ok = mo &&
             EngBitBlt(pso, nullptr, mo, pco, nullptr, &box, nullptr, &at, pboFore, pptlOrg,
                       kKeepDest << 8 | fore) &&
             ok;
        if (mo) EngUnlockSurface(mo);
        EngDeleteSurface(mask);
    } else if (box.left < box.right && box.top < box.bottom) {
        ok = FALSE; // the mask could not be made: the text is not drawn
    }
    for (RECTL* r = prclExtra; r && (r->left || r->top || r->right || r->bottom); ++r)
        ok = EngBitBlt(pso, nullptr, nullptr, pco, nullptr, r, nullptr, nullptr, pboFore, pptlOrg,
                       fore << 8 | fore) &&
             ok;
    return ok;
}
