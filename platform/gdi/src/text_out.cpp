// Text output: the characters of a call become glyphs of the realized font
// at device positions (advances, spacing arrays, character extra and
// justification, alignment, escapement), handed to the driver's DrvTextOut
// with the font and string objects, or drawn by the engine onto a bitmap
// surface. In an open path the glyphs' outlines join the path instead.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "drawing.h"
#include "fonts.h"
#include "platform/engine_objects.h"
#include "platform/gdi_drawing.h"
#include "win/strings.h"
#include "win/errors.h"

namespace platform::gdi {
namespace {

// More characters than any line of text holds; a longer call is refused.
constexpr UINT kMaxChars = 1 << 20;

struct TextRun {
    platform::engine::FontRealization font;
    std::vector<platform::engine::PlacedGlyph> glyphs;
    std::u16string text;
    bool positioned = false;
    FLONG accel = 0;
    ULONG foreColor = 0, backColor = 0;
    bool opaque = false;
    RECTL opaqueRect{};
    std::vector<RECTL> extra; // underline and strikeout
    std::vector<RECTL> clip;  // none: the whole page
    RECTL bounds{};
    MIX mix = R2_COPYPEN;
    DWORD codePage = 1252; // of the font's character set
};

RECTL Cut(const RECTL& a, const RECTL& b) {
    return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

class TextCall : public DrawingCall {
  public:
    explicit TextCall(TextRun run) : run_(std::move(run)) {
        if (!run_.clip.empty()) {
            clip_ = platform::engine::CreateClip(run_.clip.data(),
                                                 static_cast<ULONG>(run_.clip.size()));
            if (clip_) run_.bounds = Cut(run_.bounds, clip_->rclBounds);
        }
    }
    ~TextCall() override {
        if (clip_) EngDeleteClip(clip_);
    }
    RECTL Bounds() const override { return run_.bounds; }

    BOOL Play(const PlayTarget& t) override {
        PFN_DrvTextOut text = nullptr;
        if ((t.hooks & HOOK_TEXTOUT) && t.functions && t.functions->fn[INDEX_DrvTextOut])
            text = reinterpret_cast<PFN_DrvTextOut>(t.functions->fn[INDEX_DrvTextOut]);
        else if (t.pso && t.pso->iType == STYPE_BITMAP)
            text = &EngTextOut;
        if (!text) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        FONTOBJ* fo = platform::engine::AcquireFontObj(t.pso->hdev, run_.font);
        if (!fo) return FALSE;
        LONG dx = -t.origin.x, dy = -t.origin.y;
        RECTL area = Cut(t.area, run_.bounds);
        CLIPOBJ* clip = platform::engine::CreateClipIntersection(clip_, area, dx, dy);
        BRUSHOBJ* fore = platform::engine::CreateSolidBrush(t.hsurf, run_.foreColor);
        BRUSHOBJ* back =
            run_.opaque ? platform::engine::CreateSolidBrush(t.hsurf, run_.backColor) : nullptr;
        ULONG inc = 0;
        STROBJ* str = platform::engine::CreateStrObj(
            fo, run_.glyphs, run_.text, dx, dy, run_.positioned, run_.accel, inc, run_.codePage);
        BOOL ok = FALSE;
        if (clip && fore && str && (!run_.opaque || back)) {
            RECTL opaque{run_.opaqueRect.left + dx, run_.opaqueRect.top + dy,
                         run_.opaqueRect.right + dx, run_.opaqueRect.bottom + dy};
            std::vector<RECTL> extra;
            for (const RECTL& r : run_.extra)
                extra.push_back(RECTL{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy});
            RECTL* pextra = nullptr;
            if (!extra.empty()) {
                extra.push_back(RECTL{0, 0, 0, 0});
                pextra = extra.data();
            }
            POINTL org{0, 0};
            ok = text(t.pso, str, fo, clip, pextra, run_.opaque ? &opaque : nullptr, fore, back,
                      &org, run_.mix);
        }
        if (str) platform::engine::DeleteStrObj(str);
        if (back) platform::engine::DeleteBrush(back);
        if (fore) platform::engine::DeleteBrush(fore);
        if (clip) EngDeleteClip(clip);
        return ok;
    }

  private:
    TextRun run_;
    CLIPOBJ* clip_ = nullptr;
};

RECTL BoxOf(const std::vector<PointD>& pts) {
    double l = 1e18, t = 1e18, r = -1e18, b = -1e18;
    for (const PointD& p : pts) {
        l = std::min(l, p.x), t = std::min(t, p.y), r = std::max(r, p.x), b = std::max(b, p.y);
    }
    auto c = [](double v) { return static_cast<LONG>(std::clamp(v, -1e9, 1e9)); };
    return RECTL{c(std::floor(l)), c(std::floor(t)), c(std::ceil(r)), c(std::ceil(b))};
}

// The glyphs of a string: each character's glyph in the realized font, or in
// a linked face that has it where the font has none.
struct TextGlyphs {
    std::u16string text;
    std::vector<ULONG> glyphs;
    std::vector<size_t> faceOf; // 0: the chosen face, n: linked[n - 1]
    std::vector<RealizedFont> linked;
    const RealizedFont* font = nullptr; // the chosen face
    const RealizedFont& FontOf(size_t i) const { return faceOf[i] ? linked[faceOf[i] - 1] : *font; }
};

TextGlyphs GlyphsOf(const DcState& dc, const RealizedFont& f, const char16_t* str, UINT count,
                    bool glyphIndex) {
    TextGlyphs g;
    g.font = &f;
    for (UINT i = 0; i < count; ++i) {
        ULONG ch = str[i];
        g.text.push_back(str[i]);
        g.glyphs.push_back(glyphIndex ? ch : platform::engine::GlyphIndexOf(f.r, ch));
    }
    g.faceOf.assign(g.glyphs.size(), 0);
    if (glyphIndex) return g;
    // A character the face has no glyph for is drawn from a linked face
    // that has it.
    const LOGFONTW& lfont = dc.a.font->font;
    std::vector<FaceChoice> linkedChoices;
    for (size_t i = 0; i < g.glyphs.size(); ++i) {
        const char16_t ch = g.text[i];
        if (g.glyphs[i] || ch < 0x20 || (ch >= 0xD800 && ch < 0xE000)) continue;
        FaceChoice c;
        if (!LinkedFace(lfont, ch, &c)) continue;
        size_t k = 0;
        while (k < linkedChoices.size() &&
               (linkedChoices[k].path != c.path || linkedChoices[k].index != c.index))
            ++k;
        if (k == linkedChoices.size()) {
            RealizedFont l;
            if (!RealizeLinked(lfont, f, c, &l)) continue;
            g.linked.push_back(std::move(l));
            linkedChoices.push_back(c);
        }
        if (ULONG glyph = platform::engine::GlyphIndexOf(g.linked[k].r, ch)) {
            g.glyphs[i] = glyph;
            g.faceOf[i] = k + 1;
        }
    }
    return g;
}

// The advance of each glyph in logical units: the spacing array's, or the
// font's with the character extra and the justification of the breaks.
std::vector<PointD> AdvancesOf(const DcState& dc, const TextGlyphs& g, UINT options,
                               const INT* lpDx) {
    const bool glyphIndex = (options & ETO_GLYPH_INDEX) != 0;
    std::vector<PointD> adv(g.glyphs.size());
    int breaks = 0;
    for (size_t i = 0; i < g.glyphs.size(); ++i) {
        if (lpDx) {
            adv[i] = (options & ETO_PDY) ? PointD{static_cast<double>(lpDx[2 * i]),
                                                  static_cast<double>(lpDx[2 * i + 1])}
                                         : PointD{static_cast<double>(lpDx[i]), 0};
        } else {
            double a = std::round(AdvanceLogical(g.FontOf(i), g.glyphs[i])) + dc.a.charExtra;
            if (!glyphIndex && g.text[i] == u' ' && dc.a.breakCount > 0) {
                a += dc.a.breakExtra / dc.a.breakCount +
                     (breaks < dc.a.breakExtra % dc.a.breakCount);
                ++breaks;
            }
            adv[i] = PointD{a, 0};
        }
    }
    return adv;
}

// The text's frame: its origin (the first glyph's reference point) and the
// directions along and across its baseline in logical units, mapped to the
// device.
struct TextFrame {
    Affine toDevice;
    PointD origin, base, down;
    // The device point a along the baseline and c across it (downwards).
    PointD At(double a, double c) const {
        return toDevice.Apply(
            PointD{origin.x + base.x * a + down.x * c, origin.y + base.y * a + down.y * c});
    }
};

// The frame of text of the given width from (x, y) by the text alignment;
// with TA_UPDATECP the text starts at the current position, which moves past
// it.
TextFrame FrameOf(DcState& dc, const RealizedFont& f, const TEXTMETRICW& tm, int x, int y,
                  double width) {
    TextFrame t{LogicalToDevice(dc.a), {}, f.baseLogical, f.downLogical};
    PointD ref{static_cast<double>(x), static_cast<double>(y)};
    if (dc.a.textAlign & TA_UPDATECP) ref = dc.a.current;
    double along = 0, across = 0;
    UINT h = dc.a.textAlign & (TA_CENTER | TA_RIGHT);
    if (h == TA_CENTER)
        along = -width / 2;
    else if (h == TA_RIGHT)
        along = -width;
    UINT v = dc.a.textAlign & TA_BASELINE;
    if (v == TA_TOP)
        across = tm.tmAscent;
    else if (v == TA_BOTTOM)
        across = -tm.tmDescent;
    t.origin = PointD{ref.x + t.base.x * along + t.down.x * across,
                      ref.y + t.base.y * along + t.down.y * across};
    if (dc.a.textAlign & TA_UPDATECP)
        dc.a.current = PointD{ref.x + t.base.x * width, ref.y + t.base.y * width};
    return t;
}

// In an open path the glyphs' outlines join the path: the outlines are the
// text.
BOOL EmitOutlines(DcState& dc, const TextFrame& t, const TextGlyphs& g,
                  const std::vector<PointD>& adv) {
    Figures fig;
    double pen = 0, penY = 0;
    for (size_t i = 0; i < g.glyphs.size(); ++i) {
        PointD at = t.At(pen, -penY);
        std::vector<platform::engine::OutlinePoint> pts;
        if (platform::engine::GlyphOutline(g.FontOf(i).r, g.glyphs[i], &pts)) {
            for (const auto& p : pts) {
                PointD q{at.x + p.x, at.y + p.y};
                BYTE kind = p.type & 0x7F;
                fig.push_back(PathPoint{q, static_cast<BYTE>(kind == 1   ? PT_MOVETO
                                                             : kind == 2 ? PT_LINETO
                                                                         : PT_BEZIERTO)});
                if (p.type & 0x80) fig.back().type |= PT_CLOSEFIGURE;
            }
        }
        pen += adv[i].x;
        penY += adv[i].y;
    }
    return Emit(dc, fig, true, false);
}

// The accelerators of the string object: how the glyphs are placed and
// which way the text runs.
FLONG AccelOf(const DcState& dc, const RealizedFont& f, const Affine& toDevice, UINT options,
              const INT* lpDx) {
    const bool glyphIndex = (options & ETO_GLYPH_INDEX) != 0;
    FLONG accel = SO_FLAG_DEFAULT_PLACEMENT | (glyphIndex ? SO_GLYPHINDEX_TEXT : 0) |
                  (lpDx ? SO_DXDY : 0) | (dc.a.charExtra ? SO_CHARACTER_EXTRA : 0);
    // The glyphs' positions along one device axis.
    if (toDevice.AxisAligned() && !f.escNotOrient) {
        PointD b = toDevice.ApplyVector(f.baseLogical);
        if (dc.a.font->font.lfEscapement == 0 && !f.vertical) accel |= SO_HORIZONTAL;
        if (f.vertical && std::fabs(b.x) < 1e-9 && b.y > 0) accel |= SO_VERTICAL;
    }
    if (f.escNotOrient) accel |= SO_ESC_NOT_ORIENT;
    return accel;
}

// The glyphs at their device positions along the advances; *end is the
// advance of the whole text along the baseline. False for a position past
// any device.
bool PlaceGlyphs(const TextFrame& t, const TextGlyphs& g, const std::vector<PointD>& adv,
                 std::vector<platform::engine::PlacedGlyph>* out, double* end) {
    double pen = 0, penY = 0;
    for (size_t i = 0; i < g.glyphs.size(); ++i) {
        PointD at = t.At(pen, -penY);
        if (!std::isfinite(at.x) || !std::isfinite(at.y)) return false;
        out->push_back(platform::engine::PlacedGlyph{
            g.glyphs[i], POINTL{static_cast<LONG>(std::lround(std::clamp(at.x, -1e8, 1e8))),
                                static_cast<LONG>(std::lround(std::clamp(at.y, -1e8, 1e8)))}});
        pen += adv[i].x;
        penY += adv[i].y;
    }
    *end = pen;
    return true;
}

// The text's cell (from the top of the ascent to the bottom of the descent,
// along the whole advance to end) as the call's bounds, its background, the
// lines under and through it, and the clip: the device context's, cut to
// the rectangle where the options clip. False when nothing can be painted.
bool LayOutCell(const DcState& dc, const RealizedFont& f, const TEXTMETRICW& tm, const TextFrame& t,
                double end, UINT options, const RECT* lprect, TextRun* run) {
    double lo = std::min(0.0, end), hi = std::max(0.0, end);
    double em = f.emLogical;
    run->bounds = BoxOf({t.At(lo - em, -tm.tmAscent - em), t.At(hi + em, -tm.tmAscent - em),
                         t.At(lo - em, tm.tmDescent + em), t.At(hi + em, tm.tmDescent + em)});
    RECTL page = PageRect(dc);
    auto clip = EffectiveClip(dc.a);
    Region region = clip ? *clip : Region::FromRect(page);
    if (lprect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
        const Affine& L = t.toDevice;
        std::vector<PointD> rc = {L.Apply(PointD{double(lprect->left), double(lprect->top)}),
                                  L.Apply(PointD{double(lprect->right), double(lprect->bottom)})};
        RECTL r = BoxOf(rc);
        if (options & ETO_OPAQUE) {
            run->opaque = true;
            run->opaqueRect = r;
            run->bounds =
                RECTL{std::min(run->bounds.left, r.left), std::min(run->bounds.top, r.top),
                      std::max(run->bounds.right, r.right), std::max(run->bounds.bottom, r.bottom)};
        }
        if (options & ETO_CLIPPED) region = region.Combine(Region::FromRect(r), RGN_AND);
    } else if (dc.a.bkMode == OPAQUE && (run->accel & SO_HORIZONTAL) && !run->glyphs.empty()) {
        // An opaque background fills the text's cell.
        run->opaque = true;
        run->opaqueRect = BoxOf({t.At(lo, -tm.tmAscent), t.At(hi, tm.tmDescent)});
    }
    // Underline and strikeout as extra rectangles along a horizontal baseline.
    if (run->accel & SO_HORIZONTAL) {
        const LOGFONTW& lf = dc.a.font->font;
        double u = f.emLogical / f.info.unitsPerEm;
        double thick = std::max(1.0, f.info.underlineThickness * u);
        if (lf.lfUnderline) {
            double pos = -f.info.underlinePosition * u;
            run->extra.push_back(BoxOf({t.At(lo, pos), t.At(hi, pos + thick)}));
        }
        if (lf.lfStrikeOut) {
            double pos = -f.info.strikeoutPosition * u;
            run->extra.push_back(BoxOf({t.At(lo, pos), t.At(hi, pos + thick)}));
        }
    }
    if (region.Empty() || (run->glyphs.empty() && !run->opaque)) return false;
    run->clip = region.Rects();
    return true;
}

// The run as calls to the driver: one, or one for each stretch of glyphs of
// one face where linked faces lend glyphs; the first paints the background
// and the lines under and through the whole text.
BOOL SubmitText(HDC hdc, TextRun run, const TextGlyphs& g) {
    if (g.linked.empty()) return SubmitDrawing(hdc, std::make_unique<TextCall>(std::move(run)));
    BOOL ok = TRUE;
    for (size_t from = 0; from < g.glyphs.size() && ok;) {
        size_t to = from + 1;
        while (to < g.glyphs.size() && g.faceOf[to] == g.faceOf[from])
            ++to;
        TextRun part;
        part.font = g.FontOf(from).r;
        part.glyphs.assign(run.glyphs.begin() + from, run.glyphs.begin() + to);
        part.text = run.text.substr(from, to - from);
        part.positioned = run.positioned;
        part.accel = run.accel;
        part.foreColor = run.foreColor, part.backColor = run.backColor;
        part.clip = run.clip;
        part.bounds = run.bounds;
        part.mix = run.mix;
        part.codePage = run.codePage;
        if (from == 0) {
            part.opaque = run.opaque;
            part.opaqueRect = run.opaqueRect;
            part.extra = run.extra;
        }
        ok = SubmitDrawing(hdc, std::make_unique<TextCall>(std::move(part)));
        from = to;
    }
    return ok;
}

BOOL DrawText(HDC hdc, int x, int y, UINT options, const RECT* lprect, const char16_t* str,
              UINT count, const INT* lpDx) {
    if (count > kMaxChars || (count && !str)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcAccess dcAccess(hdc);
    if (!dcAccess) return FALSE;
    DcState& dc = *dcAccess;
    RealizedFont f;
    if (!RealizeFont(dc, &f)) return FALSE;
    const TextGlyphs g = GlyphsOf(dc, f, str, count, (options & ETO_GLYPH_INDEX) != 0);
    const std::vector<PointD> adv = AdvancesOf(dc, g, options, lpDx);
    double width = 0;
    for (const PointD& a : adv)
        width += a.x;
    TEXTMETRICW tm;
    GetTextMetricsW(hdc, &tm);
    const TextFrame t = FrameOf(dc, f, tm, x, y, width);
    if (dc.a.pathMode == PathMode::Open) return EmitOutlines(dc, t, g, adv);

    TextRun run;
    run.font = f.r;
    run.text = g.text;
    run.positioned = lpDx != nullptr;
    run.accel = AccelOf(dc, f, t.toDevice, options, lpDx);
    run.foreColor = DeviceColor(dc, dc.a.textColor);
    run.backColor = DeviceColor(dc, dc.a.bkColor);
    run.mix = static_cast<MIX>(dc.a.rop2) | static_cast<MIX>(dc.a.rop2) << 8;
    run.codePage = f.codePage;
    double end = 0;
    if (!PlaceGlyphs(t, g, adv, &run.glyphs, &end)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!LayOutCell(dc, f, tm, t, end, options, lprect, &run)) return TRUE;
    return SubmitText(hdc, std::move(run), g);
}

} // namespace
} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString,
                        UINT c, const INT* lpDx) {
    return DrawText(hdc, x, y, options, lprect, lpString, c, lpDx);
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
    if (c < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return DrawText(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCSTR lpString,
                        UINT c, const INT* lpDx) {
    if (c > kMaxChars || (c && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (options & ETO_GLYPH_INDEX) {
        // Glyph indices are 16-bit whichever form of the call hands them (as
        // the character placement functions give them): c of them.
        std::u16string w(c, 0);
        if (c) std::memcpy(w.data(), lpString, static_cast<size_t>(c) * 2);
        return DrawText(hdc, x, y, options, lprect, w.data(), c, lpDx);
    }
    // The bytes are read in the code page of the font's character set, a
    // double-byte character whole; its advance is the sum of its bytes'.
    UINT codePage;
    {
        DcAccess dc(hdc);
        if (!dc) return FALSE;
        RealizedFont f;
        if (!RealizeFont(*dc, &f)) return FALSE;
        codePage = f.codePage;
    }
    std::u16string w;
    std::vector<INT> dx;
    size_t perChar = (options & ETO_PDY) ? 2 : 1;
    for (UINT i = 0; i < c;) {
        const auto b = static_cast<unsigned char>(lpString[i]);
        UINT n = 1;
        WCHAR one = b;
        if (codePage != kSymbolCodePage) {
            if (IsDBCSLeadByteEx(codePage, b) && i + 1 < c) n = 2;
            if (MultiByteToWideChar(codePage, 0, lpString + i, static_cast<int>(n), &one, 1) != 1) {
                // A code page the system has no table of.
                if (GetLastError() == ERROR_INVALID_PARAMETER) return FALSE;
                one = u'?';
            }
        }
        w.push_back(one);
        if (lpDx)
            for (size_t k = 0; k < perChar; ++k) {
                long long sum = 0;
                for (UINT j = 0; j < n; ++j)
                    sum += lpDx[(i + j) * perChar + k];
                dx.push_back(static_cast<INT>(std::clamp<long long>(sum, INT32_MIN, INT32_MAX)));
            }
        i += n;
    }
    return DrawText(hdc, x, y, options, lprect, w.data(), static_cast<UINT>(w.size()),
                    lpDx ? dx.data() : nullptr);
}

BOOL WINAPI PolyTextOutW(HDC hdc, const POLYTEXTW* ppt, int nstrings) {
    if (!ppt || nstrings < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int i = 0; i < nstrings; ++i)
        if (!DrawText(hdc, ppt[i].x, ppt[i].y, ppt[i].uiFlags, &ppt[i].rcl, ppt[i].lpstr, ppt[i].n,
                      ppt[i].pdx))
            return FALSE;
    return TRUE;
}
}
