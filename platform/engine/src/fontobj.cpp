// Font and string objects of text calls. A font object belongs to a device
// and a realization; the glyph images and outlines a driver asks for are made
// on demand and kept with the object until it goes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>

#include "engine_internal.h"
#include "platform/engine_device.h"
#include "platform/engine_fonts.h"
#include "platform/engine_objects.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

constexpr ULONG kBatch = 64; // glyphs handed out per STROBJ_bEnum

struct FontObject final : EngineObject {
    FONTOBJ fo{};
    HDEV hdev = nullptr;
    FontRealization r;
    FaceInfo info;
    XFORMOBJ* xform = nullptr;
    std::vector<BYTE> ifi;                    // IFIMETRICS and its strings
    std::map<HGLYPH, std::vector<BYTE>> bits; // GLYPHBITS of each glyph
    std::map<HGLYPH, PATHOBJ*> paths;
    GLYPHDATA data{};
    std::vector<BYTE> attrs;
    // How the driver wants the glyphs of this font in a string object
    // (DrvGetGlyphMode, asked once when the object is made).
    ULONG glyphMode = FO_GLYPHBITS;
    void* Record() override { return &fo; }
    // Gives back the transform and the glyph outlines while the engine's
    // registry stands (never from the destructor, which may run as the
    // process ends, after the registry).
    void Dispose() {
        if (xform) DeleteXform(xform);
        xform = nullptr;
        for (auto& [hg, p] : paths)
            EngDeletePath(p);
        paths.clear();
    }
};

struct StrObject final : EngineObject {
    STROBJ so{};
    FONTOBJ* font = nullptr;
    std::vector<GLYPHPOS> pos;
    std::vector<GLYPHDEF> defs;
    std::u16string text;
    size_t next = 0;
    DWORD codePage = 0;
    void* Record() override { return &so; }
};

std::multimap<HDEV, FONTOBJ*>& DeviceFonts() {
    static std::multimap<HDEV, FONTOBJ*> fonts;
    return fonts;
}
long gLiveFonts = 0;

// The IFIMETRICS of the object, with the face, family, style and unique
// names after the fixed part.
void BuildIfi(FontObject& f) {
    const FaceInfo& i = f.info;
    std::u16string names[4] = {f.r.faceName, i.styleName, f.r.faceName, i.uniqueName};
    size_t size = sizeof(IFIMETRICS);
    size_t at[4];
    for (int k = 0; k < 4; ++k) {
        at[k] = size;
        size += (names[k].size() + 1) * sizeof(WCHAR);
    }
    f.ifi.assign((size + 7) / 8 * 8, 0);
    auto* m = reinterpret_cast<IFIMETRICS*>(f.ifi.data());
    m->cjThis = static_cast<ULONG>(f.ifi.size());
    m->dpwszFamilyName = static_cast<LONG_PTR>(at[0]);
    m->dpwszStyleName = static_cast<LONG_PTR>(at[1]);
    m->dpwszFaceName = static_cast<LONG_PTR>(at[2]);
    m->dpwszUniqueName = static_cast<LONG_PTR>(at[3]);
    for (int k = 0; k < 4; ++k)
        std::memcpy(f.ifi.data() + at[k], names[k].c_str(), (names[k].size() + 1) * sizeof(WCHAR));
    m->jWinCharSet = f.r.charSet;
    m->jWinPitchAndFamily = i.fixedPitch ? 1 : 2;
    m->usWinWeight = i.weight;
    m->flInfo = FM_INFO_TECH_TRUETYPE | FM_INFO_ARB_XFORMS | FM_INFO_RETURNS_OUTLINES |
                FM_INFO_RETURNS_BITMAPS | FM_INFO_1BPP | FM_INFO_UNICODE_COMPLIANT |
                FM_INFO_RIGHT_HANDED | (i.fixedPitch ? FM_INFO_CONSTANT_WIDTH : 0);
    m->fsSelection = static_cast<USHORT>((i.italic ? FM_SEL_ITALIC : 0) |
                                         (i.weight >= 600 ? FM_SEL_BOLD : FM_SEL_REGULAR));
    auto w = [](long v) { return static_cast<FWORD>(std::clamp<long>(v, -32768, 32767)); };
    m->fwdUnitsPerEm = w(i.unitsPerEm);
    m->fwdLowestPPEm = 9;
    m->fwdWinAscender = w(i.ascender);
    m->fwdWinDescender = w(i.descender);
    m->fwdMacAscender = w(i.ascender);
    m->fwdMacDescender = w(-i.descender);
    m->fwdMacLineGap = w(i.lineGap);
    m->fwdTypoAscender = w(i.ascender);
    m->fwdTypoDescender = w(-i.descender);
    m->fwdTypoLineGap = w(i.lineGap);
    m->fwdAveCharWidth = w(i.avgCharWidth);
    m->fwdMaxCharInc = w(i.maxAdvance);
    m->fwdCapHeight = w(i.capHeight);
    m->fwdXHeight = w(i.xHeight);
    m->fwdUnderscoreSize = w(i.underlineThickness);
    m->fwdUnderscorePosition = w(i.underlinePosition);
    m->fwdStrikeoutSize = w(i.strikeoutSize);
    m->fwdStrikeoutPosition = w(i.strikeoutPosition);
    m->chFirstChar = 0x20, m->chLastChar = 0xFF, m->chDefaultChar = 0x1F, m->chBreakChar = 0x20;
    m->wcFirstChar = 0x20, m->wcLastChar = 0xFFFF, m->wcDefaultChar = 0x25A1, m->wcBreakChar = 0x20;
    m->ptlBaseline = POINTL{1, 0};
    m->ptlAspect = POINTL{1, 1};
    m->ptlCaret = POINTL{0, 1};
    m->rclFontBox = RECTL{static_cast<LONG>(i.xMin), static_cast<LONG>(i.yMax),
                          static_cast<LONG>(i.xMax), static_cast<LONG>(i.yMin)};
    std::memcpy(&m->panose, i.panose, sizeof m->panose);
}

FontObject* FontOf(FONTOBJ* pfo) {
    return FindLocked<FontObject>(pfo);
}

// The glyph bits of hg, made once.
GLYPHBITS* BitsLocked(FontObject& f, HGLYPH hg, GlyphImage* metrics) {
    auto it = f.bits.find(hg);
    if (it != f.bits.end() && !metrics) return reinterpret_cast<GLYPHBITS*>(it->second.data());
    GlyphImage g;
    if (!RenderGlyph(f.r, hg, true, &g)) return nullptr;
    if (metrics) *metrics = g;
    if (it != f.bits.end()) return reinterpret_cast<GLYPHBITS*>(it->second.data());
    std::vector<BYTE> buf(offsetof(GLYPHBITS, aj) + std::max<size_t>(g.rows.size(), 4), 0);
    auto* gb = reinterpret_cast<GLYPHBITS*>(buf.data());
    gb->ptlOrigin = POINTL{g.left, g.top};
    gb->sizlBitmap = SIZEL{g.width, g.height};
    std::copy(g.rows.begin(), g.rows.end(), gb->aj);
    auto& stored = f.bits[hg] = std::move(buf);
    return reinterpret_cast<GLYPHBITS*>(stored.data());
}

PATHOBJ* PathLocked(FontObject& f, HGLYPH hg) {
    auto it = f.paths.find(hg);
    if (it != f.paths.end()) return it->second;
    std::vector<OutlinePoint> pts;
    if (!GlyphOutline(f.r, hg, &pts)) return nullptr;
    PATHOBJ* ppo = EngCreatePath();
    if (!ppo) return nullptr;
    auto fix = [](double v) { return static_cast<FIX>(std::lround(v * 16)); };
    for (size_t k = 0; k < pts.size(); ++k) {
        POINTFIX p{fix(pts[k].x), fix(pts[k].y)};
        BYTE kind = pts[k].type & 0x7F;
        if (kind == 1) {
            PATHOBJ_bMoveTo(ppo, p);
        } else if (kind == 2) {
            PATHOBJ_bPolyLineTo(ppo, &p, 1);
        } else if (k + 2 < pts.size() + 0 && kind == 4) {
            POINTFIX b[3] = {
                p, {fix(pts[k + 1].x), fix(pts[k + 1].y)}, {fix(pts[k + 2].x), fix(pts[k + 2].y)}};
            PATHOBJ_bPolyBezierTo(ppo, b, 3);
            k += 2;
        }
        if (pts[k].type & 0x80) PATHOBJ_bCloseFigure(ppo);
    }
    f.paths[hg] = ppo;
    return ppo;
}

} // namespace

FONTOBJ* AcquireFontObj(HDEV hdev, const FontRealization& r) {
    FONTOBJ* out = nullptr;
    {
        std::lock_guard lock(EngineLock());
        auto range = DeviceFonts().equal_range(hdev);
        for (auto it = range.first; it != range.second; ++it)
            if (FontObject* f = FontOf(it->second); f && f->r.SameAs(r)) return &f->fo;
        auto f = std::unique_ptr<FontObject>(new (std::nothrow) FontObject);
        if (!f || !r.file || !QueryFace(*r.file, r.faceIndex, &f->info)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        f->hdev = hdev;
        f->r = r;
        f->xform =
            CreateXform(XFORML{static_cast<FLOATL>(r.m11), static_cast<FLOATL>(r.m12),
                               static_cast<FLOATL>(r.m21), static_cast<FLOATL>(r.m22), 0, 0});
        if (!f->xform) return nullptr;
        BuildIfi(*f);
        FONTOBJ& fo = f->fo;
        fo.iUniq = NextUniq();
        fo.iFace = 1;
        fo.cxMax = static_cast<ULONG>(std::ceil(f->info.maxAdvance * std::hypot(r.m11, r.m12)));
        fo.flFontType = (f->info.isTrueType ? FO_TYPE_TRUETYPE : 0) |
                        (r.simBold ? FO_SIM_BOLD : 0) | (r.simItalic ? FO_SIM_ITALIC : 0);
        fo.iTTUniq = r.file->id * 256u + static_cast<ULONG>(r.faceIndex & 0xFF);
        fo.iFile = r.file->id;
        fo.sizLogResPpi = r.dpi;
        fo.ulStyleSize = r.styleSize;
        out = &f->fo;
        InsertObjectLocked(std::move(f));
        DeviceFonts().emplace(hdev, out);
        ++gLiveFonts;
    }
    // The driver says once per font how it wants the glyphs handed to it;
    // without an answer they come as images. It is asked with no engine
    // lock held, so that it may ask the font object in turn.
    auto ask = reinterpret_cast<PFN_DrvGetGlyphMode>(DeviceFunction(hdev, INDEX_DrvGetGlyphMode));
    if (ask) {
        ULONG mode = ask(DevicePdev(hdev), out);
        std::lock_guard lock(EngineLock());
        if (FontObject* f = FontOf(out))
            f->glyphMode = mode == FO_HGLYPHS || mode == FO_PATHOBJ ? mode : FO_GLYPHBITS;
    }
    return out;
}

ULONG FontGlyphMode(FONTOBJ* pfo) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    return f ? f->glyphMode : FO_GLYPHBITS;
}

void ReleaseDeviceFonts(HDEV hdev) {
    std::vector<FONTOBJ*> fonts;
    {
        std::lock_guard lock(EngineLock());
        auto range = DeviceFonts().equal_range(hdev);
        for (auto it = range.first; it != range.second; ++it)
            fonts.push_back(it->second);
        DeviceFonts().erase(hdev);
    }
    auto destroy = reinterpret_cast<PFN_DrvDestroyFont>(DeviceFunction(hdev, INDEX_DrvDestroyFont));
    for (FONTOBJ* pfo : fonts) {
        if (destroy) destroy(pfo);
        std::unique_ptr<EngineObject> gone;
        std::lock_guard lock(EngineLock());
        if (FontObject* f = FontOf(pfo)) f->Dispose();
        gone = RemoveObjectLocked(pfo);
        --gLiveFonts;
    }
}

long LiveFontObjCount() {
    std::lock_guard lock(EngineLock());
    return gLiveFonts;
}

STROBJ* CreateStrObj(FONTOBJ* pfo, const std::vector<PlacedGlyph>& glyphs,
                     const std::u16string& text, LONG dx, LONG dy, bool positioned, FLONG accel,
                     ULONG charInc, DWORD codePage) {
    auto s = std::unique_ptr<StrObject>(new (std::nothrow) StrObject);
    if (!s) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    s->font = pfo;
    s->text = text;
    s->codePage = codePage;
    s->pos.resize(glyphs.size());
    s->defs.resize(glyphs.size());
    RECTL box{0, 0, 0, 0};
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    for (size_t i = 0; i < glyphs.size(); ++i) {
        GLYPHPOS& p = s->pos[i];
        p.hg = glyphs[i].hg;
        p.ptl = POINTL{glyphs[i].at.x + dx, glyphs[i].at.y + dy};
        p.pgdf = &s->defs[i];
        // The glyph as the driver asked for the font's glyphs; its image
        // gives the string's box in any case.
        const GLYPHBITS* gb = f ? BitsLocked(*f, p.hg, nullptr) : nullptr;
        ULONG mode = f ? f->glyphMode : FO_GLYPHBITS;
        if (mode == FO_GLYPHBITS)
            s->defs[i].pgb = const_cast<GLYPHBITS*>(gb);
        else if (mode == FO_PATHOBJ)
            s->defs[i].ppo = PathLocked(*f, p.hg);
        else
            s->defs[i].pgb = nullptr;
        if (gb) {
            RECTL g{p.ptl.x + gb->ptlOrigin.x, p.ptl.y + gb->ptlOrigin.y,
                    p.ptl.x + gb->ptlOrigin.x + gb->sizlBitmap.cx,
                    p.ptl.y + gb->ptlOrigin.y + gb->sizlBitmap.cy};
            if (box.left == box.right) {
                box = g;
            } else {
                box = RECTL{std::min(box.left, g.left), std::min(box.top, g.top),
                            std::max(box.right, g.right), std::max(box.bottom, g.bottom)};
            }
        }
    }
    s->text.resize(std::max(s->text.size(), glyphs.size()));
    s->so.cGlyphs = static_cast<ULONG>(glyphs.size());
    s->so.flAccel = accel;
    s->so.ulCharInc = charInc;
    s->so.rclBkGround = box;
    s->so.pgp = positioned ? s->pos.data() : nullptr;
    s->so.pwszOrg = reinterpret_cast<LPWSTR>(s->text.data());
    STROBJ* out = &s->so;
    InsertObjectLocked(std::move(s));
    return out;
}

void DeleteStrObj(STROBJ* pstro) {
    std::unique_ptr<EngineObject> gone;
    std::lock_guard lock(EngineLock());
    if (FindLocked<StrObject>(pstro)) gone = RemoveObjectLocked(pstro);
}

} // namespace platform::engine

using namespace platform::engine;

extern "C" {

ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg,
                                  PVOID* ppvGlyph) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    if (!f || !phg || !ppvGlyph || cGlyph == 0 || (iMode != FO_GLYPHBITS && iMode != FO_PATHOBJ)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // One glyph at a time, as the engine hands them out.
    HGLYPH hg = phg[0];
    GlyphImage g;
    GLYPHDATA& d = f->data;
    d = GLYPHDATA{};
    d.hg = hg;
    if (iMode == FO_GLYPHBITS) {
        d.gdf.pgb = BitsLocked(*f, hg, &g);
        if (!d.gdf.pgb) return 0;
    } else {
        d.gdf.ppo = PathLocked(*f, hg);
        if (!d.gdf.ppo || !RenderGlyph(f->r, hg, true, &g)) return 0;
    }
    d.fxD = static_cast<FIX>(std::lround(std::hypot(g.advanceX, g.advanceY) * 16));
    d.fxA = g.left * 16;
    d.fxAB = (g.left + g.width) * 16;
    d.fxInkTop = -g.top * 16;
    d.fxInkBottom = -(g.top + g.height) * 16;
    d.rclInk = RECTL{g.left, g.top, g.left + g.width, g.top + g.height};
    d.ptqD.x = static_cast<LONGLONG>(g.advanceX * 4294967296.0);
    d.ptqD.y = static_cast<LONGLONG>(g.advanceY * 4294967296.0);
    *ppvGlyph = &d;
    return 1;
}

XFORMOBJ* APIENTRY FONTOBJ_pxoGetXform(FONTOBJ* pfo) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    return f ? f->xform : nullptr;
}

IFIMETRICS* APIENTRY FONTOBJ_pifi(FONTOBJ* pfo) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    return f ? reinterpret_cast<IFIMETRICS*>(f->ifi.data()) : nullptr;
}

PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    if (!f || !f->info.isTrueType) {
        if (pcjFile) *pcjFile = 0;
        return nullptr;
    }
    if (pcjFile) *pcjFile = static_cast<ULONG>(f->r.file->bytes.size());
    return const_cast<BYTE*>(f->r.file->bytes.data());
}

ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ* pfo, HGLYPH* phg) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    if (!f) return 0;
    ULONG n = static_cast<ULONG>(std::max<long>(0, f->info.numGlyphs));
    if (phg)
        for (ULONG i = 0; i < n; ++i)
            phg[i] = i;
    return n;
}

PFD_GLYPHATTR APIENTRY FONTOBJ_pQueryGlyphAttrs(FONTOBJ* pfo, ULONG iMode) {
    std::lock_guard lock(EngineLock());
    FontObject* f = FontOf(pfo);
    if (!f || iMode != FO_QGA_RTL) return nullptr;
    // No glyph of a face is drawn right to left by itself: every bit clear.
    ULONG n = static_cast<ULONG>(std::max<long>(0, f->info.numGlyphs));
    f->attrs.assign(offsetof(FD_GLYPHATTR, aGlyphAttr) + n / 8 + 1, 0);
    auto* a = reinterpret_cast<FD_GLYPHATTR*>(f->attrs.data());
    a->cjThis = static_cast<ULONG>(f->attrs.size());
    a->cGlyphs = n;
    a->iMode = iMode;
    return a;
}

VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro) {
    std::lock_guard lock(EngineLock());
    if (auto* s = FindLocked<StrObject>(pstro)) s->next = 0;
}

BOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos) {
    std::lock_guard lock(EngineLock());
    auto* s = FindLocked<StrObject>(pstro);
    if (!s || !pc || !ppgpos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        if (pc) *pc = 0;
        return FALSE;
    }
    size_t left = s->pos.size() - std::min(s->next, s->pos.size());
    ULONG n = static_cast<ULONG>(std::min<size_t>(left, kBatch));
    *pc = n;
    *ppgpos = n ? s->pos.data() + s->next : nullptr;
    s->next += n;
    return s->next < s->pos.size();
}

DWORD APIENTRY STROBJ_dwGetCodePage(STROBJ* pstro) {
    std::lock_guard lock(EngineLock());
    auto* s = FindLocked<StrObject>(pstro);
    return s ? s->codePage : 0;
}
}
