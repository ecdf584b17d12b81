// The engine's own drawing of text: the opaque rectangle, each glyph's image
// in the foreground colour and the extra rectangles, onto a bitmap surface
// within the clip.
#include <algorithm>
#include <vector>

#include "engine_internal.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

void PutPixel(SURFOBJ* so, LONG x, LONG y, ULONG color) {
    BYTE* row = static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta;
    switch (so->iBitmapFormat) {
    case BMF_1BPP:
        if (color & 1)
            row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        else
            row[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
        break;
    case BMF_4BPP: {
        BYTE& b = row[x / 2];
        b = (x % 2) ? static_cast<BYTE>((b & 0xF0) | (color & 0xF))
                    : static_cast<BYTE>((b & 0x0F) | (color & 0xF) << 4);
        break;
    }
    case BMF_8BPP:
        row[x] = static_cast<BYTE>(color);
        break;
    case BMF_24BPP:
        row[x * 3] = static_cast<BYTE>(color);
        row[x * 3 + 1] = static_cast<BYTE>(color >> 8);
        row[x * 3 + 2] = static_cast<BYTE>(color >> 16);
        break;
    case BMF_32BPP:
        reinterpret_cast<ULONG*>(row)[x] = color;
        break;
    default:
        break;
    }
}

// The clip as rectangles within the surface.
std::vector<RECTL> ClipRects(SURFOBJ* so, CLIPOBJ* pco) {
    RECTL all{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
    std::vector<RECTL> out;
    auto cut = [&](const RECTL& r) {
        RECTL c{std::max(r.left, all.left), std::max(r.top, all.top), std::min(r.right, all.right),
                std::min(r.bottom, all.bottom)};
        if (c.left < c.right && c.top < c.bottom) out.push_back(c);
    };
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        cut(all);
    } else if (pco->iDComplexity == DC_RECT) {
        cut(pco->rclBounds);
    } else {
        CLIPOBJ_cEnumStart(pco, TRUE, CT_RECTANGLES, CD_ANY, 0);
        struct {
            ULONG c;
            RECTL r[16];
        } e;
        BOOL more;
        do {
            more = CLIPOBJ_bEnum(pco, sizeof e, reinterpret_cast<ULONG*>(&e));
            for (ULONG i = 0; i < e.c && i < 16; ++i)
                cut(e.r[i]);
        } while (more);
    }
    return out;
}

void FillRect(SURFOBJ* so, const std::vector<RECTL>& clip, const RECTL& r, ULONG color) {
    for (const RECTL& c : clip)
        for (LONG y = std::max(r.top, c.top); y < std::min(r.bottom, c.bottom); ++y)
            for (LONG x = std::max(r.left, c.left); x < std::min(r.right, c.right); ++x)
                PutPixel(so, x, y, color);
}

} // namespace
} // namespace platform::engine

using namespace platform::engine;

extern "C" BOOL APIENTRY EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                    RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                    BRUSHOBJ* pboOpaque, POINTL*, MIX) {
    if (!pso || !pstro || !pfo || !pboFore || !pso->pvScan0 || pso->iType != STYPE_BITMAP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<RECTL> clip = ClipRects(pso, pco);
    if (prclOpaque && pboOpaque) FillRect(pso, clip, *prclOpaque, pboOpaque->iSolidColor);
    ULONG color = pboFore->iSolidColor;
    auto draw = [&](const GLYPHPOS* gp, ULONG n) {
        for (ULONG i = 0; i < n; ++i) {
            const GLYPHBITS* gb = gp[i].pgdf ? gp[i].pgdf->pgb : nullptr;
            if (!gb) continue;
            LONG ox = gp[i].ptl.x + gb->ptlOrigin.x, oy = gp[i].ptl.y + gb->ptlOrigin.y;
            LONG stride = (gb->sizlBitmap.cx + 7) / 8;
            for (const RECTL& c : clip)
                for (LONG y = std::max(oy, c.top); y < std::min(oy + gb->sizlBitmap.cy, c.bottom);
                     ++y)
                    for (LONG x = std::max(ox, c.left);
                         x < std::min(ox + gb->sizlBitmap.cx, c.right); ++x) {
                        LONG gx = x - ox, gy = y - oy;
                        if (gb->aj[gy * stride + gx / 8] & (0x80 >> (gx % 8)))
                            PutPixel(pso, x, y, color);
                    }
        }
    };
    if (pstro->pgp) {
        draw(pstro->pgp, pstro->cGlyphs);
    } else {
        STROBJ_vEnumStart(pstro);
        ULONG n;
        GLYPHPOS* gp;
        BOOL more;
        do {
            more = STROBJ_bEnum(pstro, &n, &gp);
            if (n) draw(gp, n);
        } while (more);
    }
    for (RECTL* r = prclExtra; r && (r->left || r->top || r->right || r->bottom); ++r)
        FillRect(pso, clip, *r, color);
    return TRUE;
}
