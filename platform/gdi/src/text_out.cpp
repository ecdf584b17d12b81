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
    Affine L = LogicalToDevice(dc.a);
    // Logical directions of the baseline and across it.
    const PointD base = f.baseLogical, down = f.downLogical;

    // Glyphs and their advances in logical units.
    bool glyphIndex = (options & ETO_GLYPH_INDEX) != 0;
    std::vector<ULONG> glyphs;
    std::u16string text;
    for (UINT i = 0; i < count; ++i) {
        ULONG ch = str[i];
        text.push_back(str[i]);
        glyphs.push_back(glyphIndex ? ch : platform::engine::GlyphIndexOf(f.r, ch));
    }
    // A character the face has no glyph for is drawn from a linked face
    // that has it: faceOf 0 is the chosen face, n the linked faces[n - 1].
    const LOGFONTW& lfont = dc.a.font->font;
    std::vector<size_t> faceOf(glyphs.size(), 0);
    std::vector<RealizedFont> linked;
    std::vector<FaceChoice> linkedChoices;
    for (size_t i = 0; i < glyphs.size() && !glyphIndex; ++i) {
        const char16_t ch = text[i];
        if (glyphs[i] || ch < 0x20 || (ch >= 0xD800 && ch < 0xE000)) continue;
        FaceChoice c;
        if (!LinkedFace(lfont, ch, &c)) continue;
        size_t k = 0;
        while (k < linkedChoices.size() &&
               (linkedChoices[k].path != c.path || linkedChoices[k].index != c.index))
            ++k;
        if (k == linkedChoices.size()) {
            RealizedFont l;
            if (!RealizeLinked(lfont, f, c, &l)) continue;
            linked.push_back(std::move(l));
            linkedChoices.push_back(c);
        }
        if (ULONG g = platform::engine::GlyphIndexOf(linked[k].r, ch)) {
            glyphs[i] = g;
            faceOf[i] = k + 1;
        }
    }
    auto fontOf = [&](size_t i) -> const RealizedFont& {
        return faceOf[i] ? linked[faceOf[i] - 1] : f;
    };
    std::vector<PointD> adv(glyphs.size());
    int breaks = 0;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        if (lpDx) {
            adv[i] = (options & ETO_PDY) ? PointD{static_cast<double>(lpDx[2 * i]),
                                                  static_cast<double>(lpDx[2 * i + 1])}
                                         : PointD{static_cast<double>(lpDx[i]), 0};
        } else {
            double a = std::round(AdvanceLogical(fontOf(i), glyphs[i])) + dc.a.charExtra;
            if (!glyphIndex && text[i] == u' ' && dc.a.breakCount > 0) {
                a += dc.a.breakExtra / dc.a.breakCount +
                     (breaks < dc.a.breakExtra % dc.a.breakCount);
                ++breaks;
            }
            adv[i] = PointD{a, 0};
        }
    }
    double width = 0;
    for (const PointD& a : adv)
        width += a.x;
    TEXTMETRICW tm;
    GetTextMetricsW(hdc, &tm);
    // The reference point and the alignment.
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
    PointD origin{ref.x + base.x * along + down.x * across,
                  ref.y + base.y * along + down.y * across};
    if (dc.a.textAlign & TA_UPDATECP)
        dc.a.current = PointD{ref.x + base.x * width, ref.y + base.y * width};

    // In an open path the outlines are the text.
    if (dc.a.pathMode == PathMode::Open) {
        Figures fig;
        double pen = 0, penY = 0;
        for (size_t i = 0; i < glyphs.size(); ++i) {
            PointD at = L.Apply(PointD{origin.x + base.x * pen - down.x * penY,
                                       origin.y + base.y * pen - down.y * penY});
            std::vector<platform::engine::OutlinePoint> pts;
            if (platform::engine::GlyphOutline(fontOf(i).r, glyphs[i], &pts)) {
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

    TextRun run;
    run.font = f.r;
    run.text = text;
    run.positioned = lpDx != nullptr;
    run.accel = SO_FLAG_DEFAULT_PLACEMENT | (glyphIndex ? SO_GLYPHINDEX_TEXT : 0) |
                (lpDx ? SO_DXDY : 0) | (dc.a.charExtra ? SO_CHARACTER_EXTRA : 0);
    // The glyphs' positions along one device axis.
    if (L.AxisAligned() && !f.escNotOrient) {
        PointD b = L.ApplyVector(base);
        if (lfont.lfEscapement == 0 && !f.vertical) run.accel |= SO_HORIZONTAL;
        if (f.vertical && std::fabs(b.x) < 1e-9 && b.y > 0) run.accel |= SO_VERTICAL;
    }
    if (f.escNotOrient) run.accel |= SO_ESC_NOT_ORIENT;
    run.foreColor = DeviceColor(dc, dc.a.textColor);
    run.backColor = DeviceColor(dc, dc.a.bkColor);
    run.mix = static_cast<MIX>(dc.a.rop2) | static_cast<MIX>(dc.a.rop2) << 8;
    run.codePage = f.codePage;
    double pen = 0, penY = 0;
    std::vector<PointD> corners;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        PointD at = L.Apply(PointD{origin.x + base.x * pen - down.x * penY,
                                   origin.y + base.y * pen - down.y * penY});
        if (!std::isfinite(at.x) || !std::isfinite(at.y)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        run.glyphs.push_back(platform::engine::PlacedGlyph{
            glyphs[i], POINTL{static_cast<LONG>(std::lround(std::clamp(at.x, -1e8, 1e8))),
                              static_cast<LONG>(std::lround(std::clamp(at.y, -1e8, 1e8)))}});
        pen += adv[i].x;
        penY += adv[i].y;
    }
    // The cell of the text: from the top of the ascent to the bottom of the
    // descent, along the whole advance.
    auto cellPoint = [&](double a, double c) {
        return L.Apply(
            PointD{origin.x + base.x * a + down.x * c, origin.y + base.y * a + down.y * c});
    };
    double lo = std::min(0.0, pen), hi = std::max(0.0, pen);
    double em = f.emLogical;
    corners = {cellPoint(lo - em, -tm.tmAscent - em), cellPoint(hi + em, -tm.tmAscent - em),
               cellPoint(lo - em, tm.tmDescent + em), cellPoint(hi + em, tm.tmDescent + em)};
    run.bounds = BoxOf(corners);
    RECTL page = PageRect(dc);
    auto clip = EffectiveClip(dc.a);
    Region region = clip ? *clip : Region::FromRect(page);
    if (lprect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
        std::vector<PointD> rc = {L.Apply(PointD{double(lprect->left), double(lprect->top)}),
                                  L.Apply(PointD{double(lprect->right), double(lprect->bottom)})};
        RECTL r = BoxOf(rc);
        if (options & ETO_OPAQUE) {
            run.opaque = true;
            run.opaqueRect = r;
            run.bounds =
                RECTL{std::min(run.bounds.left, r.left), std::min(run.bounds.top, r.top),
                      std::max(run.bounds.right, r.right), std::max(run.bounds.bottom, r.bottom)};
        }
        if (options & ETO_CLIPPED) region = region.Combine(Region::FromRect(r), RGN_AND);
    } else if (dc.a.bkMode == OPAQUE && (run.accel & SO_HORIZONTAL) && !glyphs.empty()) {
        // An opaque background fills the text's cell.
        run.opaque = true;
        run.opaqueRect = BoxOf({cellPoint(lo, -tm.tmAscent), cellPoint(hi, tm.tmDescent)});
    }
    // Underline and strikeout as extra rectangles along a horizontal baseline.
    if (run.accel & SO_HORIZONTAL) {
        const LOGFONTW& lf = dc.a.font->font;
        double u = f.emLogical / f.info.unitsPerEm;
        double thick = std::max(1.0, f.info.underlineThickness * u);
        if (lf.lfUnderline) {
            double pos = -f.info.underlinePosition * u;
            run.extra.push_back(BoxOf({cellPoint(lo, pos), cellPoint(hi, pos + thick)}));
        }
        if (lf.lfStrikeOut) {
            double pos = -f.info.strikeoutPosition * u;
            run.extra.push_back(BoxOf({cellPoint(lo, pos), cellPoint(hi, pos + thick)}));
        }
    }
    if (region.Empty() || (glyphs.empty() && !run.opaque)) return TRUE;
    run.clip = region.Rects();
    if (linked.empty()) return SubmitDrawing(hdc, std::make_unique<TextCall>(std::move(run)));
    // One call for each stretch of glyphs of one face; the first paints the
    // background and the lines under and through the whole text.
    BOOL ok = TRUE;
    for (size_t from = 0; from < glyphs.size() && ok;) {
        size_t to = from + 1;
        while (to < glyphs.size() && faceOf[to] == faceOf[from])
            ++to;
        TextRun part;
        part.font = fontOf(from).r;
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
