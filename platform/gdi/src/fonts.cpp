// Logical fonts and what programs ask of them: metrics, extents, widths,
// glyph outlines and images, the raw tables of the font file, and the list
// of installed families.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <span>

#include "fonts.h"
#include "win/errors.h"

namespace platform::gdi {
namespace {

LONG Round(double v) {
    return static_cast<LONG>(std::lround(std::clamp(v, -1e9, 1e9)));
}

// Logical units per font unit.
double Units(const RealizedFont& f) {
    return f.emLogical / f.info.unitsPerEm;
}

} // namespace

void FillTextMetrics(const DcState& dc, const RealizedFont& f, TEXTMETRICW* tm) {
    const LOGFONTW& lf = dc.a.font->font;
    double u = Units(f);
    *tm = TEXTMETRICW{};
    tm->tmAscent = Round(f.info.ascender * u);
    tm->tmDescent = Round(f.info.descender * u);
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = std::max<LONG>(0, tm->tmHeight - Round(f.emLogical));
    tm->tmExternalLeading = Round(f.info.lineGap * u);
    tm->tmAveCharWidth = Round(f.info.avgCharWidth * u * f.widthScale);
    tm->tmMaxCharWidth = Round(f.info.maxAdvance * u * f.widthScale);
    tm->tmWeight = lf.lfWeight ? lf.lfWeight : f.info.weight;
    tm->tmDigitizedAspectX = f.r.dpi.cx;
    tm->tmDigitizedAspectY = f.r.dpi.cy;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFC;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = lf.lfItalic ? 1 : 0;
    tm->tmUnderlined = lf.lfUnderline ? 1 : 0;
    tm->tmStruckOut = lf.lfStrikeOut ? 1 : 0;
    BYTE family = lf.lfPitchAndFamily & 0xF0;
    if (!family) family = f.info.fixedPitch ? FF_MODERN : FF_SWISS;
    tm->tmPitchAndFamily = static_cast<BYTE>(family | TMPF_VECTOR | TMPF_TRUETYPE |
                                             (f.info.fixedPitch ? 0 : TMPF_FIXED_PITCH));
    tm->tmCharSet = f.r.charSet;
}

namespace {

template <class F> BOOL WithFont(HDC hdc, F f) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    RealizedFont font;
    if (!RealizeFont(*dc, &font)) return FALSE;
    return f(*dc, font);
}

} // namespace

void CopyName(WCHAR* field, size_t size, const std::u16string& s) {
    size_t n = std::min(s.size(), size - 1);
    std::copy(s.begin(), s.begin() + static_cast<ptrdiff_t>(n), field);
    field[n] = 0;
}

namespace {

// A font file's bytes read big-endian, every read checked against its size.
struct SfntBytes {
    std::span<const BYTE> b;
    bool U16(size_t at, ULONG* v) const {
        if (at > b.size() || b.size() - at < 2) return false;
        *v = static_cast<ULONG>(b[at] << 8 | b[at + 1]);
        return true;
    }
    bool U32(size_t at, ULONG* v) const {
        if (at > b.size() || b.size() - at < 4) return false;
        *v = static_cast<ULONG>(b[at]) << 24 | static_cast<ULONG>(b[at + 1]) << 16 |
             static_cast<ULONG>(b[at + 2]) << 8 | b[at + 3];
        return true;
    }
};

constexpr ULONG kCollectionTag = 0x74746366; // "ttcf" read big-endian

bool IsCollection(std::span<const BYTE> bytes) {
    ULONG tag = 0;
    return SfntBytes{bytes}.U32(0, &tag) && tag == kCollectionTag;
}

// One face of a collection as a font file of its own: its offset table, its
// table directory with the offsets moved to the new file, and its tables,
// each padded to four bytes. Laid out, not copied, so that a caller's window
// of it is read straight from the collection.
struct MemberFont {
    struct Piece {
        size_t at;     // in the member's file
        size_t source; // in the collection
        size_t length;
    };
    std::vector<BYTE> head; // offset table and directory
    std::vector<Piece> tables;
    size_t size = 0;

    bool Build(std::span<const BYTE> bytes, long index) {
        SfntBytes r{bytes};
        ULONG count = 0, member = 0, numTables = 0;
        if (index < 0 || !r.U32(8, &count) || static_cast<ULONG>(index) >= count ||
            !r.U32(12 + 4 * static_cast<size_t>(index), &member) || !r.U16(member + 4, &numTables))
            return false;
        size_t dirSize = 12 + 16 * static_cast<size_t>(numTables);
        if (member > bytes.size() || bytes.size() - member < dirSize) return false;
        head.assign(bytes.begin() + member, bytes.begin() + member + dirSize);
        size = dirSize;
        for (ULONG i = 0; i < numTables; ++i) {
            size_t entry = member + 12 + 16 * static_cast<size_t>(i);
            ULONG offset = 0, length = 0;
            if (!r.U32(entry + 8, &offset) || !r.U32(entry + 12, &length) ||
                offset > bytes.size() || bytes.size() - offset < length)
                return false;
            tables.push_back(Piece{size, offset, length});
            BYTE* e = head.data() + 12 + 16 * static_cast<size_t>(i) + 8;
            e[0] = static_cast<BYTE>(size >> 24), e[1] = static_cast<BYTE>(size >> 16);
            e[2] = static_cast<BYTE>(size >> 8), e[3] = static_cast<BYTE>(size);
            size += (static_cast<size_t>(length) + 3) / 4 * 4;
            if (size > 0xFFFFFFFFu) return false;
        }
        return true;
    }

    // n bytes from `offset` into out (zeros where a table's padding is).
    void Read(std::span<const BYTE> bytes, size_t offset, BYTE* out, size_t n) const {
        std::memset(out, 0, n);
        auto copy = [&](size_t at, const BYTE* src, size_t length) {
            size_t from = std::max(at, offset), to = std::min(at + length, offset + n);
            if (from < to) std::memcpy(out + (from - offset), src + (from - at), to - from);
        };
        copy(0, head.data(), head.size());
        for (const Piece& p : tables)
            copy(p.at, bytes.data() + p.source, p.length);
    }
};

} // namespace

double AdvanceLogical(const RealizedFont& f, ULONG glyph) {
    long adv = 0, lsb = 0, width = 0;
    if (!platform::engine::GlyphDesignMetrics(f.r, glyph, &adv, &lsb, &width)) return 0;
    return adv * Units(f) * f.widthScale;
}

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" {

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Font;
    o->font = *lplf;
    // A name that fills its whole field is cut so that it ends within it.
    o->font.lfFaceName[LF_FACESIZE - 1] = 0;
    return reinterpret_cast<HFONT>(AddObject(std::move(o)));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW w{};
    std::memcpy(&w, lplf, offsetof(LOGFONTA, lfFaceName));
    for (size_t i = 0; i < LF_FACESIZE && lplf->lfFaceName[i]; ++i)
        w.lfFaceName[i] = static_cast<unsigned char>(lplf->lfFaceName[i]);
    return CreateFontIndirectW(&w);
}

HFONT WINAPI ExtCreateFontIndirectW(const ENUMLOGFONTEXDVW* penumlfex) {
    if (!penumlfex) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateFontIndirectW(&penumlfex->elfEnumLogfontEx.elfLogFont);
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
    LOGFONTW lf{cHeight,
                cWidth,
                cEscapement,
                cOrientation,
                cWeight,
                static_cast<BYTE>(bItalic),
                static_cast<BYTE>(bUnderline),
                static_cast<BYTE>(bStrikeOut),
                static_cast<BYTE>(iCharSet),
                static_cast<BYTE>(iOutPrecision),
                static_cast<BYTE>(iClipPrecision),
                static_cast<BYTE>(iQuality),
                static_cast<BYTE>(iPitchAndFamily),
                {}};
    for (size_t i = 0; pszFaceName && i + 1 < LF_FACESIZE && pszFaceName[i]; ++i)
        lf.lfFaceName[i] = pszFaceName[i];
    return CreateFontIndirectW(&lf);
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WithFont(hdc, [&](DcState& dc, RealizedFont& f) {
        FillTextMetrics(dc, f, lptm);
        return TRUE;
    });
}

int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
    DcAccess dc(hdc);
    if (!dc || !dc->a.font) return 0;
    std::u16string name = FaceNameOf(dc->a.font->font);
    if (name.empty()) {
        RealizedFont f;
        if (RealizeFont(*dc, &f)) name = f.info.familyName;
    }
    if (!lpName) return static_cast<int>(name.size() + 1);
    if (c <= 0) return 0;
    CopyName(lpName, static_cast<size_t>(c), name);
    return static_cast<int>(std::min<size_t>(name.size(), static_cast<size_t>(c) - 1));
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
    if (!psizl || c < 0 || (c > 0 && !lpString)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WithFont(hdc, [&](DcState& dc, RealizedFont& f) {
        long long width = 0;
        for (int i = 0; i < c; ++i)
            width += Round(AdvanceLogical(f, platform::engine::GlyphIndexOf(f.r, lpString[i]))) +
                     dc.a.charExtra;
        TEXTMETRICW tm;
        FillTextMetrics(dc, f, &tm);
        psizl->cx = static_cast<LONG>(std::clamp<long long>(width, -0x7FFFFFFF, 0x7FFFFFFF));
        psizl->cy = tm.tmHeight;
        return TRUE;
    });
}

BOOL WINAPI GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC) {
    if (!lpABC || wLast < wFirst || wLast > 0x10FFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WithFont(hdc, [&](DcState&, RealizedFont& f) {
        double u = f.emLogical / f.info.unitsPerEm * f.widthScale;
        for (UINT ch = wFirst; ch <= wLast; ++ch) {
            long adv = 0, lsb = 0, width = 0;
            platform::engine::GlyphDesignMetrics(f.r, platform::engine::GlyphIndexOf(f.r, ch), &adv,
                                                 &lsb, &width);
            ABC& abc = lpABC[ch - wFirst];
            abc.abcA = Round(lsb * u);
            abc.abcB = static_cast<UINT>(std::max<LONG>(0, Round(width * u)));
            abc.abcC = Round(adv * u) - abc.abcA - static_cast<int>(abc.abcB);
        }
        return TRUE;
    });
}

DWORD WINAPI GetGlyphOutlineW(HDC hdc, UINT uChar, UINT fuFormat, LPGLYPHMETRICS lpgm,
                              DWORD cjBuffer, LPVOID pvBuffer, const MAT2* lpmat2) {
    if (!lpgm || !lpmat2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    DcAccess dc(hdc);
    if (!dc) return GDI_ERROR;
    RealizedFont f;
    if (!RealizeFont(*dc, &f)) return GDI_ERROR;
    auto fixed = [](FIXED v) { return v.value + v.fract / 65536.0; };
    double a = fixed(lpmat2->eM11), b = fixed(lpmat2->eM12), c = fixed(lpmat2->eM21),
           d = fixed(lpmat2->eM22);
    // The outline in logical units with y up, through the caller's matrix.
    platform::engine::FontRealization r = f.r;
    double s = Units(f);
    r.m11 = a * s * f.widthScale, r.m12 = -b * s * f.widthScale;
    r.m21 = -c * s, r.m22 = d * s;
    ULONG glyph = (fuFormat & GGO_GLYPH_INDEX) ? uChar : platform::engine::GlyphIndexOf(f.r, uChar);
    UINT format = fuFormat & ~(GGO_GLYPH_INDEX | GGO_UNHINTED);
    platform::engine::GlyphImage img;
    if (!platform::engine::RenderGlyph(r, glyph, true, &img)) return GDI_ERROR;
    *lpgm = GLYPHMETRICS{};
    lpgm->gmBlackBoxX = static_cast<UINT>(std::max<LONG>(1, img.width));
    lpgm->gmBlackBoxY = static_cast<UINT>(std::max<LONG>(1, img.height));
    lpgm->gmptGlyphOrigin = POINT{img.left, -img.top};
    lpgm->gmCellIncX = static_cast<SHORT>(Round(img.advanceX));
    lpgm->gmCellIncY = static_cast<SHORT>(Round(-img.advanceY));
    if (format == GGO_METRICS) return 0;
    if (format == GGO_BITMAP) {
        DWORD stride = (static_cast<DWORD>(img.width) + 31) / 32 * 4;
        DWORD size = stride * static_cast<DWORD>(img.height);
        if (!pvBuffer) return size;
        if (cjBuffer < size) return GDI_ERROR;
        auto* out = static_cast<BYTE*>(pvBuffer);
        std::memset(out, 0, size);
        size_t src = (static_cast<size_t>(img.width) + 7) / 8;
        for (LONG y = 0; y < img.height; ++y)
            std::memcpy(out + static_cast<size_t>(y) * stride, img.rows.data() + y * src, src);
        return size;
    }
    if (format != GGO_NATIVE && format != GGO_BEZIER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    std::vector<platform::engine::OutlinePoint> pts;
    if (!platform::engine::GlyphOutline(r, glyph, &pts)) return GDI_ERROR;
    // Contours as TTPOLYGONHEADER records of curve records, y up, 16.16.
    std::vector<BYTE> out;
    auto fx = [](double v) {
        auto l = static_cast<LONG>(std::lround(v * 65536));
        return FIXED{static_cast<WORD>(l & 0xFFFF), static_cast<SHORT>(l >> 16)};
    };
    auto put = [&](const void* p, size_t n) {
        auto* bytes = static_cast<const BYTE*>(p);
        out.insert(out.end(), bytes, bytes + n);
    };
    size_t header = 0;
    double lastX = 0, lastY = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const auto& p = pts[i];
        BYTE kind = p.type & 0x7F;
        if (kind == 1) {
            header = out.size();
            TTPOLYGONHEADER h{0, TT_POLYGON_TYPE, {fx(p.x), fx(-p.y)}};
            put(&h, sizeof h);
        } else if (kind == 2) {
            WORD w[2] = {TT_PRIM_LINE, 1};
            put(w, 4);
            POINTFX q{fx(p.x), fx(-p.y)};
            put(&q, sizeof q);
        } else if (i + 2 < pts.size()) {
            const auto &c1 = pts[i], &c2 = pts[i + 1], &e = pts[i + 2];
            if (format == GGO_NATIVE) {
                // The quadratic curve that the cubic was raised from.
                WORD w[2] = {TT_PRIM_QSPLINE, 2};
                put(w, 4);
                POINTFX q[2] = {{fx((3 * c1.x - lastX) / 2), fx(-(3 * c1.y - lastY) / 2)},
                                {fx(e.x), fx(-e.y)}};
                put(q, sizeof q);
            } else {
                WORD w[2] = {TT_PRIM_CSPLINE, 3};
                put(w, 4);
                POINTFX q[3] = {{fx(c1.x), fx(-c1.y)}, {fx(c2.x), fx(-c2.y)}, {fx(e.x), fx(-e.y)}};
                put(q, sizeof q);
            }
            i += 2;
        }
        lastX = pts[i].x, lastY = pts[i].y;
        if ((pts[i].type & 0x80) && header + sizeof(DWORD) <= out.size()) {
            DWORD cb = static_cast<DWORD>(out.size() - header);
            std::memcpy(out.data() + header, &cb, sizeof cb);
        }
    }
    DWORD size = static_cast<DWORD>(out.size());
    if (!pvBuffer) return size;
    if (cjBuffer < size) return GDI_ERROR;
    std::memcpy(pvBuffer, out.data(), size);
    return size;
}

DWORD WINAPI GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer) {
    DcAccess dc(hdc);
    if (!dc) return GDI_ERROR;
    RealizedFont f;
    if (!RealizeFont(*dc, &f)) return GDI_ERROR;
    // The tag comes as its four characters in memory order. Table 0 is the
    // whole font: for a face of a collection, that face as a font file of its
    // own; the whole collection is asked for by its own tag.
    const auto& bytes = f.r.file->bytes;
    bool collection = IsCollection(bytes);
    auto window = [&](size_t size, auto read) -> DWORD {
        if (dwOffset > size) return GDI_ERROR;
        DWORD n = static_cast<DWORD>(size - dwOffset);
        if (!pvBuffer) return n;
        n = std::min(n, cjBuffer);
        read(static_cast<BYTE*>(pvBuffer), n);
        return n;
    };
    if (dwTable == TTCF_TABLE) {
        if (!collection) return GDI_ERROR;
        return window(bytes.size(),
                      [&](BYTE* out, DWORD n) { std::memcpy(out, bytes.data() + dwOffset, n); });
    }
    if (dwTable == 0 && collection) {
        MemberFont member;
        if (!member.Build(bytes, f.r.faceIndex)) {
            SetLastError(ERROR_INVALID_DATA);
            return GDI_ERROR;
        }
        return window(member.size,
                      [&](BYTE* out, DWORD n) { member.Read(bytes, dwOffset, out, n); });
    }
    if (dwTable == 0)
        return window(bytes.size(),
                      [&](BYTE* out, DWORD n) { std::memcpy(out, bytes.data() + dwOffset, n); });
    ULONG tag =
        (dwTable & 0xFF) << 24 | (dwTable & 0xFF00) << 8 | (dwTable >> 8 & 0xFF00) | dwTable >> 24;
    ULONG len = pvBuffer ? cjBuffer : 0;
    if (!platform::engine::LoadSfntTable(f.r, tag, dwOffset, static_cast<BYTE*>(pvBuffer), &len))
        return GDI_ERROR;
    return len;
}

UINT WINAPI GetOutlineTextMetricsW(HDC hdc, UINT cjCopy, LPOUTLINETEXTMETRICW potm) {
    DcAccess dc(hdc);
    if (!dc) return 0;
    RealizedFont f;
    if (!RealizeFont(*dc, &f)) return 0;
    std::u16string face = FaceNameOf(dc->a.font->font);
    if (face.empty()) face = f.info.familyName;
    std::u16string names[4] = {face, face, f.info.styleName, f.info.fullName};
    std::vector<BYTE> buf(sizeof(OUTLINETEXTMETRICW));
    size_t at[4];
    for (int k = 0; k < 4; ++k) {
        at[k] = buf.size();
        const auto* b = reinterpret_cast<const BYTE*>(names[k].c_str());
        buf.insert(buf.end(), b, b + (names[k].size() + 1) * sizeof(WCHAR));
    }
    auto* m = reinterpret_cast<OUTLINETEXTMETRICW*>(buf.data());
    double u = Units(f);
    m->otmSize = static_cast<UINT>(buf.size());
    FillTextMetrics(*dc, f, &m->otmTextMetrics);
    std::memcpy(&m->otmPanoseNumber, f.info.panose, sizeof m->otmPanoseNumber);
    m->otmfsSelection = (f.info.italic ? 1u : 0u) | (f.info.weight >= 600 ? 0x20u : 0x40u);
    m->otmsCharSlopeRise = 1;
    m->otmEMSquare = static_cast<UINT>(f.info.unitsPerEm);
    m->otmAscent = Round(f.info.ascender * u);
    m->otmDescent = -Round(f.info.descender * u);
    m->otmLineGap = static_cast<UINT>(std::max<LONG>(0, Round(f.info.lineGap * u)));
    m->otmsCapEmHeight = static_cast<UINT>(std::max<LONG>(0, Round(f.info.capHeight * u)));
    m->otmsXHeight = static_cast<UINT>(std::max<LONG>(0, Round(f.info.xHeight * u)));
    m->otmrcFontBox = RECT{Round(f.info.xMin * u), Round(f.info.yMax * u), Round(f.info.xMax * u),
                           Round(f.info.yMin * u)};
    m->otmMacAscent = m->otmAscent;
    m->otmMacDescent = m->otmDescent;
    m->otmMacLineGap = m->otmLineGap;
    m->otmusMinimumPPEM = 9;
    m->otmsStrikeoutSize = static_cast<UINT>(std::max<LONG>(0, Round(f.info.strikeoutSize * u)));
    m->otmsStrikeoutPosition = Round(f.info.strikeoutPosition * u);
    m->otmsUnderscoreSize = Round(f.info.underlineThickness * u);
    m->otmsUnderscorePosition = Round(f.info.underlinePosition * u);
    m->otmpFamilyName = reinterpret_cast<LPSTR>(at[0]);
    m->otmpFaceName = reinterpret_cast<LPSTR>(at[1]);
    m->otmpStyleName = reinterpret_cast<LPSTR>(at[2]);
    m->otmpFullName = reinterpret_cast<LPSTR>(at[3]);
    if (!potm) return static_cast<UINT>(buf.size());
    UINT n = std::min<UINT>(cjCopy, static_cast<UINT>(buf.size()));
    std::memcpy(potm, buf.data(), n);
    return n;
}

int WINAPI SetTextCharacterExtra(HDC hdc, int extra) {
    DcAccess dc(hdc);
    if (!dc) return static_cast<int>(0x80000000);
    int old = dc->a.charExtra;
    dc->a.charExtra = extra;
    return old;
}

int WINAPI GetTextCharacterExtra(HDC hdc) {
    DcAccess dc(hdc);
    return dc ? dc->a.charExtra : static_cast<int>(0x80000000);
}

BOOL WINAPI SetTextJustification(HDC hdc, int extra, int count) {
    DcAccess dc(hdc);
    if (!dc) return FALSE;
    dc->a.breakExtra = count > 0 ? extra : 0;
    dc->a.breakCount = count > 0 ? count : 0;
    return TRUE;
}

DWORD WINAPI SetMapperFlags(HDC hdc, DWORD flags) {
    DcAccess dc(hdc);
    if (!dc) return GDI_ERROR;
    DWORD old = dc->a.mapperFlags;
    dc->a.mapperFlags = flags;
    return old;
}
}
