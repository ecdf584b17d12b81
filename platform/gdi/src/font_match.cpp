// Finding the installed face for a logical font. Documents name the faces of
// the systems they were made on; each such name is looked up as the
// metric-compatible face that stands in for it, so that text keeps its
// widths and line breaks.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <strings.h>
#include <map>
#include <mutex>

#include "fontconfig_library.h"
#include "fonts.h"
#include "win/errors.h"
#include "win/strings.h"

namespace platform::gdi {
namespace {

struct Alias {
    const char16_t* name;
    const char* family;
    // The font list shows the name as an installed family of its own with
    // the family's members: only where the family is made to stand in for
    // exactly that face, with its widths.
    bool listed = false;
};
// Names compared without regard to case.
const Alias kAliases[] = {
    {u"Arial", "Liberation Sans", true},
    {u"Helvetica", "Liberation Sans"},
    {u"MS Shell Dlg", "Liberation Sans"},
    {u"MS Shell Dlg 2", "Liberation Sans"},
    {u"MS Sans Serif", "Liberation Sans"},
    {u"Microsoft Sans Serif", "Liberation Sans"},
    {u"Tahoma", "DejaVu Sans"},
    {u"Segoe UI", "Liberation Sans"},
    {u"Verdana", "DejaVu Sans"},
    {u"System", "Liberation Sans"},
    {u"Times New Roman", "Liberation Serif", true},
    {u"Times", "Liberation Serif"},
    {u"Georgia", "Liberation Serif"},
    {u"Courier New", "Liberation Mono", true},
    {u"Courier", "Liberation Mono"},
    {u"Consolas", "Liberation Mono"},
    {u"Lucida Console", "Liberation Mono"},
    {u"MS Gothic", "Noto Sans CJK JP"},
    {u"MS PGothic", "Noto Sans CJK JP"},
    {u"MS UI Gothic", "Noto Sans CJK JP"},
    {u"Meiryo", "Noto Sans CJK JP"},
    {u"Yu Gothic", "Noto Sans CJK JP"},
    {u"\xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF", "Noto Sans CJK JP"},       // MS Gothic in Japanese
    {u"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF", "Noto Sans CJK JP"}, // MS PGothic
    {u"MS Mincho", "Noto Serif CJK JP"},
    {u"MS PMincho", "Noto Serif CJK JP"},
    {u"\xFF2D\xFF33 \x660E\x671D", "Noto Serif CJK JP"}, // MS Mincho
};

bool SameName(const std::u16string& a, const char16_t* b) {
    size_t n = std::char_traits<char16_t>::length(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a[i], y = b[i];
        if (x < 0x80) x = static_cast<char16_t>(std::tolower(x));
        if (y < 0x80) y = static_cast<char16_t>(std::tolower(y));
        if (x != y) return false;
    }
    return true;
}

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::vector<std::string> InstalledFamiliesUncached() {
    std::vector<std::string> out;
    if (!StartFontconfig()) return out;
    FcPattern* pat = Fc().FcPatternCreate();
    FcObjectSet* os = Fc().FcObjectSetBuild(FC_FAMILY, FC_SCALABLE, nullptr);
    FcFontSet* fs = pat && os ? Fc().FcFontList(nullptr, pat, os) : nullptr;
    std::set<std::string> seen;
    for (int i = 0; fs && i < fs->nfont; ++i) {
        FcChar8* fam = nullptr;
        FcBool scalable = FcFalse;
        Fc().FcPatternGetBool(fs->fonts[i], FC_SCALABLE, 0, &scalable);
        if (scalable && Fc().FcPatternGetString(fs->fonts[i], FC_FAMILY, 0, &fam) == FcResultMatch)
            seen.insert(reinterpret_cast<const char*>(fam));
    }
    if (fs) Fc().FcFontSetDestroy(fs);
    if (os) Fc().FcObjectSetDestroy(os);
    if (pat) Fc().FcPatternDestroy(pat);
    out.assign(seen.begin(), seen.end());
    return out;
}

// The family to ask fontconfig for: an alias, an installed family, else the
// default for the pitch and family (fontconfig is never asked for a name
// that no installed face has, so what documents name cannot grow its caches).
std::string FamilyFor(const LOGFONTW& lf) {
    std::u16string name = FaceNameOf(lf);
    for (const Alias& a : kAliases)
        if (SameName(name, a.name)) return a.family;
    if (!name.empty()) {
        std::string utf8 = Utf8(name);
        for (const std::string& f : InstalledFamilies())
            if (strcasecmp(f.c_str(), utf8.c_str()) == 0) return f;
    }
    BYTE family = lf.lfPitchAndFamily & 0xF0;
    // A character set of East Asian text takes a face that has its
    // characters, a serif one for a roman family.
    bool serif = family == FF_ROMAN;
    switch (lf.lfCharSet) {
    case SHIFTJIS_CHARSET:
        return serif ? "Noto Serif CJK JP" : "Noto Sans CJK JP";
    case HANGUL_CHARSET:
        return serif ? "Noto Serif CJK KR" : "Noto Sans CJK KR";
    case GB2312_CHARSET:
        return serif ? "Noto Serif CJK SC" : "Noto Sans CJK SC";
    case CHINESEBIG5_CHARSET:
        return serif ? "Noto Serif CJK TC" : "Noto Sans CJK TC";
    default:
        break;
    }
    if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN) return "Liberation Mono";
    if (family == FF_ROMAN) return "Liberation Serif";
    return "Liberation Sans";
}

std::mutex& MatchLock() {
    static std::mutex m;
    return m;
}

} // namespace

const std::vector<std::string>& InstalledFamilies() {
    static const std::vector<std::string> families = InstalledFamiliesUncached();
    return families;
}

UINT CodePageOfCharSet(BYTE charSet) {
    switch (charSet) {
    case ANSI_CHARSET:
        return 1252;
    case SYMBOL_CHARSET:
        return kSymbolCodePage;
    case SHIFTJIS_CHARSET:
        return 932;
    case HANGUL_CHARSET:
        return 949;
    case GB2312_CHARSET:
        return 936;
    case CHINESEBIG5_CHARSET:
        return 950;
    case GREEK_CHARSET:
        return 1253;
    case TURKISH_CHARSET:
        return 1254;
    case BALTIC_CHARSET:
        return 1257;
    case RUSSIAN_CHARSET:
        return 1251;
    case EASTEUROPE_CHARSET:
        return 1250;
    case HEBREW_CHARSET:
        return 1255;
    case ARABIC_CHARSET:
        return 1256;
    case THAI_CHARSET:
        return 874;
    case VIETNAMESE_CHARSET:
        return 1258;
    case JOHAB_CHARSET:
        return 1361;
    case MAC_CHARSET:
        return 10000;
    case OEM_CHARSET:
        return GetOEMCP();
    default:
        return GetACP();
    }
}

bool StartFontconfig() {
    // fontconfig's configuration is given back when the process ends, so
    // that nothing it holds looks lost.
    static const bool started = [] {
        const FontconfigLibrary* fc = FontconfigLibrary::Open();
        if (!fc || !fc->FcInit()) return false;
        std::atexit(fc->FcFini);
        return true;
    }();
    return started;
}

std::u16string FaceNameOf(const LOGFONTW& lf) {
    // A name that fills its field has no terminator: it ends at the field.
    size_t n = 0;
    while (n < LF_FACESIZE && lf.lfFaceName[n])
        ++n;
    std::u16string name(lf.lfFaceName, lf.lfFaceName + n);
    if (!name.empty() && name[0] == u'@') name.erase(0, 1);
    return name;
}

bool FamilyOfName(const std::u16string& name, std::string* family) {
    for (const Alias& a : kAliases)
        if (SameName(name, a.name)) return *family = a.family, true;
    if (name.empty()) return false;
    std::string utf8 = Utf8(name);
    for (const std::string& f : InstalledFamilies())
        if (strcasecmp(f.c_str(), utf8.c_str()) == 0) return *family = f, true;
    return false;
}

std::vector<ListedAlias> ListedAliases() {
    std::vector<ListedAlias> out;
    for (const Alias& a : kAliases)
        if (a.listed) out.push_back(ListedAlias{a.name, a.family});
    return out;
}

bool ChooseFace(const LOGFONTW& lf, FaceChoice* out) {
    // The job's own fonts come before the installed ones.
    if (FindMemoryFace(lf, out)) return true;
    std::string family = FamilyFor(lf);
    int weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(lf.lfWeight, 1, 1000);
    bool italic = lf.lfItalic != 0;
    std::lock_guard lock(MatchLock());
    static std::map<std::tuple<std::string, int, bool>, FaceChoice> cache;
    auto key = std::make_tuple(family, weight >= FW_SEMIBOLD ? 700 : 400, italic);
    if (auto it = cache.find(key); it != cache.end()) {
        *out = it->second;
        return true;
    }
    if (!StartFontconfig()) return false;
    FcPattern* pat = Fc().FcPatternCreate();
    if (!pat) return false;
    Fc().FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    Fc().FcPatternAddInteger(pat, FC_WEIGHT,
                             std::get<1>(key) >= 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    Fc().FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    Fc().FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    Fc().FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    Fc().FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = Fc().FcFontMatch(nullptr, pat, &result);
    Fc().FcPatternDestroy(pat);
    if (!match) return false;
    FcChar8* file = nullptr;
    int index = 0;
    bool ok = Fc().FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
    Fc().FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (ok) {
        out->path = reinterpret_cast<const char*>(file);
        out->index = index;
        cache[key] = *out;
    }
    Fc().FcPatternDestroy(match);
    return ok;
}

bool RealizeFont(const DcState& dc, RealizedFont* out) {
    if (!dc.a.font) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const LOGFONTW& lf = dc.a.font->font;
    FaceChoice choice;
    if (!ChooseFace(lf, &choice)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    RealizedFont f;
    f.r.file = engine::LoadFontFile(choice.path);
    f.r.faceIndex = choice.index;
    if (!f.r.file || !engine::QueryFace(*f.r.file, choice.index, &f.info)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    f.vertical = lf.lfFaceName[0] == u'@';
    f.r.vertical = f.vertical;
    Affine L = LogicalToDevice(dc.a);
    PointD ex = L.ApplyVector(PointD{1, 0}), ey = L.ApplyVector(PointD{0, 1});
    double lx = std::hypot(ex.x, ex.y), ly = std::hypot(ey.x, ey.y);
    if (!(lx > 0) || !(ly > 0) || !std::isfinite(lx) || !std::isfinite(ly)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The em in logical units: a negative height is the character height, a
    // positive one the cell (ascent + descent).
    double upem = static_cast<double>(f.info.unitsPerEm);
    double cell = static_cast<double>(f.info.ascender + f.info.descender);
    if (cell <= 0) cell = upem;
    double em;
    if (lf.lfHeight < 0)
        em = -static_cast<double>(lf.lfHeight);
    else if (lf.lfHeight > 0)
        em = lf.lfHeight * upem / cell;
    else
        em = 12.0 * dc.facts.gdiinfo.ulLogPixelsY / 72.0 / ly * upem / cell; // 12 points
    if (!(em > 0) || em > 1e7) em = 1;
    f.emLogical = em;
    // The stretch of lfWidth: the average character width asked for.
    if (lf.lfWidth != 0 && f.info.avgCharWidth > 0)
        f.widthScale =
            std::fabs(static_cast<double>(lf.lfWidth)) / (em * f.info.avgCharWidth / upem);
    f.widthScale = std::clamp(f.widthScale, 0.01, 100.0);
    // Directions: the escapement turns the baseline and the orientation the
    // glyphs counterclockwise as the page is seen, in logical space; the
    // device space's own mirroring is kept out of the glyphs' shape. Only
    // the advanced graphics mode lets the two differ. A vertical face is not
    // turned as a whole: its full-width glyphs stand upright by themselves
    // in a run that the escapement (usually 2700) turns down the page.
    bool flipped = L.Det() < 0; // logical y grows upwards
    auto directions = [flipped](LONG tenths, PointD* base, PointD* down) {
        double a = tenths / 10.0 * M_PI / 180.0;
        *base = PointD{std::cos(a), flipped ? std::sin(a) : -std::sin(a)};
        *down = PointD{flipped ? base->y : -base->y, flipped ? -base->x : base->x};
    };
    LONG orientation = dc.a.graphicsMode == GM_ADVANCED ? lf.lfOrientation : lf.lfEscapement;
    f.escNotOrient = (static_cast<long long>(orientation) - lf.lfEscapement) % 3600 != 0;
    directions(lf.lfEscapement, &f.baseLogical, &f.downLogical);
    PointD baseL, downL;
    directions(orientation, &baseL, &downL);
    PointD b = L.ApplyVector(baseL), d = L.ApplyVector(downL);
    double s = em / upem;
    f.r.m11 = b.x * s * f.widthScale, f.r.m12 = b.y * s * f.widthScale;
    f.r.m21 = d.x * s, f.r.m22 = d.y * s;
    double dl = std::hypot(d.x, d.y);
    PointD rb = L.ApplyVector(f.baseLogical), rd = L.ApplyVector(f.downLogical);
    double rbl = std::hypot(rb.x, rb.y), rdl = std::hypot(rd.x, rd.y);
    f.baseline = PointD{rb.x / rbl, rb.y / rbl};
    f.down = PointD{rd.x / rdl, rd.y / rdl};
    f.scale = s * dl;
    f.toLogical = 1 / dl;
    bool wantBold = lf.lfWeight >= FW_SEMIBOLD, wantItalic = lf.lfItalic != 0;
    f.r.simBold = wantBold && f.info.weight < FW_SEMIBOLD;
    f.r.simItalic = wantItalic && !f.info.italic;
    std::u16string name = FaceNameOf(lf);
    if (name.empty()) name = f.info.familyName;
    f.r.faceName = (f.vertical ? u"@" : u"") + name.substr(0, LF_FACESIZE - 1);
    f.r.charSet = f.info.symbol                     ? SYMBOL_CHARSET
                  : lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET
                                                    : lf.lfCharSet;
    f.codePage = f.r.charSet == SYMBOL_CHARSET ? kSymbolCodePage : CodePageOfCharSet(lf.lfCharSet);
    f.r.dpi = SIZE{static_cast<LONG>(dc.facts.gdiinfo.ulLogPixelsX),
                   static_cast<LONG>(dc.facts.gdiinfo.ulLogPixelsY)};
    if (f.r.dpi.cy > 0)
        f.r.styleSize = static_cast<ULONG>(std::lround(f.scale * upem * 72.0 / f.r.dpi.cy));
    *out = std::move(f);
    return true;
}

} // namespace platform::gdi
