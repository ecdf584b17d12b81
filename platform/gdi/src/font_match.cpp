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

// A name as people and programs spell it loosely: ASCII letters folded to
// lower case, spaces, hyphens and underscores left out ("NotoSansCJKjp",
// "Noto Sans CJK JP" and "noto-sans-cjk-jp" are one name).
std::string Compact(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        if (c == ' ' || c == '-' || c == '_') continue;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

// What a name found among the installed faces stands for: its family, and
// the weight and slant that a face's own name (a PostScript or full name)
// carries.
struct NamedFace {
    std::string family;
    bool bold = false, italic = false;
};

// Every installed scalable face by each of its names, compacted: its
// families in every language, its PostScript name and its full names (as
// its first family, with the style they name). A family's own name comes
// before a face's names, so "Liberation Serif" is the family and
// "LiberationSerif-Bold" its bold face.
std::map<std::string, NamedFace> NameIndexUncached() {
    std::map<std::string, NamedFace> byName, byFace;
    if (!StartFontconfig()) return byName;
    FcPattern* pat = Fc().FcPatternCreate();
    FcObjectSet* os = Fc().FcObjectSetBuild(FC_FAMILY, FC_FULLNAME, FC_POSTSCRIPT_NAME, FC_WEIGHT,
                                            FC_SLANT, FC_SCALABLE, nullptr);
    FcFontSet* fs = pat && os ? Fc().FcFontList(nullptr, pat, os) : nullptr;
    for (int i = 0; fs && i < fs->nfont; ++i) {
        FcPattern* font = fs->fonts[i];
        FcBool scalable = FcFalse;
        FcChar8* first = nullptr;
        Fc().FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
        if (!scalable || Fc().FcPatternGetString(font, FC_FAMILY, 0, &first) != FcResultMatch)
            continue;
        const std::string family = reinterpret_cast<const char*>(first);
        int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        Fc().FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
        Fc().FcPatternGetInteger(font, FC_SLANT, 0, &slant);
        FcChar8* s = nullptr;
        // fontconfig knows a face by each of its family names.
        for (int n = 0; Fc().FcPatternGetString(font, FC_FAMILY, n, &s) == FcResultMatch; ++n)
            byName.emplace(Compact(reinterpret_cast<const char*>(s)),
                           NamedFace{reinterpret_cast<const char*>(s)});
        const NamedFace face{family, weight >= FC_WEIGHT_DEMIBOLD, slant != FC_SLANT_ROMAN};
        for (const char* object : {FC_POSTSCRIPT_NAME, FC_FULLNAME})
            for (int n = 0; Fc().FcPatternGetString(font, object, n, &s) == FcResultMatch; ++n)
                byFace.emplace(Compact(reinterpret_cast<const char*>(s)), face);
    }
    if (fs) Fc().FcFontSetDestroy(fs);
    if (os) Fc().FcObjectSetDestroy(os);
    if (pat) Fc().FcPatternDestroy(pat);
    byName.merge(byFace);
    return byName;
}

const std::map<std::string, NamedFace>& NameIndex() {
    static const std::map<std::string, NamedFace> index = NameIndexUncached();
    return index;
}

// Style words that end a face's name ("LiberationSerif-Bold",
// "Noto Sans CJK JP Regular"), compacted, longest first.
struct StyleWord {
    const char* word;
    bool bold, italic;
};
const StyleWord kStyleWords[] = {
    {"bolditalic", true, true}, {"boldoblique", true, true}, {"semibold", true, false},
    {"demibold", true, false},  {"extrabold", true, false},  {"regular", false, false},
    {"oblique", false, true},   {"italic", false, true},     {"normal", false, false},
    {"medium", false, false},   {"roman", false, false},     {"bold", true, false},
    {"book", false, false},
};

// The installed face a name stands for, as a person reading it expects: an
// alias of the names documents use, an installed family in any case, then
// the same with spaces, hyphens and case not counted, as a PostScript or
// full name, or with style words at its end taken as the style.
bool FindNamedFace(const std::u16string& name, NamedFace* out) {
    if (FamilyOfName(name, &out->family)) return true;
    if (name.empty()) return false;
    const std::string utf8 = Utf8(name);
    const std::map<std::string, NamedFace>& index = NameIndex();
    std::string key = Compact(utf8);
    bool bold = false, italic = false;
    for (;;) {
        if (auto it = index.find(key); it != index.end()) {
            *out = it->second;
            out->bold |= bold, out->italic |= italic;
            return true;
        }
        const StyleWord* cut = nullptr;
        for (const StyleWord& w : kStyleWords) {
            size_t n = std::strlen(w.word);
            if (key.size() > n && key.compare(key.size() - n, n, w.word) == 0) {
                cut = &w;
                break;
            }
        }
        if (!cut) return false;
        key.resize(key.size() - std::strlen(cut->word));
        bold |= cut->bold, italic |= cut->italic;
    }
}

// The face to ask fontconfig for: the one the name stands for, else the
// default for the pitch and family (fontconfig is never asked for a name
// that no installed face has, so what documents name cannot grow its caches).
NamedFace FaceFor(const LOGFONTW& lf) {
    NamedFace named;
    if (FindNamedFace(FaceNameOf(lf), &named)) return named;
    BYTE family = lf.lfPitchAndFamily & 0xF0;
    // A character set of East Asian text takes a face that has its
    // characters, a serif one for a roman family.
    bool serif = family == FF_ROMAN;
    switch (lf.lfCharSet) {
    case SHIFTJIS_CHARSET:
        return NamedFace{serif ? "Noto Serif CJK JP" : "Noto Sans CJK JP"};
    case HANGUL_CHARSET:
        return NamedFace{serif ? "Noto Serif CJK KR" : "Noto Sans CJK KR"};
    case GB2312_CHARSET:
        return NamedFace{serif ? "Noto Serif CJK SC" : "Noto Sans CJK SC"};
    case CHINESEBIG5_CHARSET:
        return NamedFace{serif ? "Noto Serif CJK TC" : "Noto Sans CJK TC"};
    default:
        break;
    }
    if ((lf.lfPitchAndFamily & 3) == FIXED_PITCH || family == FF_MODERN)
        return NamedFace{"Liberation Mono"};
    if (family == FF_ROMAN) return NamedFace{"Liberation Serif"};
    return NamedFace{"Liberation Sans"};
}

std::mutex& MatchLock() {
    static std::mutex m;
    return m;
}

// A face asked of fontconfig: family, weight (400 or 700) and italic.
using FaceKey = std::tuple<std::string, int, bool>;

FaceKey KeyOf(const LOGFONTW& lf) {
    const NamedFace named = FaceFor(lf);
    int weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(lf.lfWeight, 1, 1000);
    if (named.bold) weight = std::max(weight, int{FW_BOLD});
    return FaceKey{named.family, weight >= FW_SEMIBOLD ? 700 : 400,
                   lf.lfItalic != 0 || named.italic};
}

// The pattern of a face, substituted as fontconfig's configuration says; null
// without fontconfig.
FcPattern* PatternOf(const FaceKey& key) {
    if (!StartFontconfig()) return nullptr;
    FcPattern* pat = Fc().FcPatternCreate();
    if (!pat) return nullptr;
    const std::string& family = std::get<0>(key);
    Fc().FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    Fc().FcPatternAddInteger(pat, FC_WEIGHT,
                             std::get<1>(key) >= 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    Fc().FcPatternAddInteger(pat, FC_SLANT, std::get<2>(key) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    Fc().FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    Fc().FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    Fc().FcDefaultSubstitute(pat);
    return pat;
}

bool ChoiceOf(FcPattern* font, FaceChoice* out) {
    FcChar8* file = nullptr;
    int index = 0;
    if (Fc().FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return false;
    Fc().FcPatternGetInteger(font, FC_INDEX, 0, &index);
    out->path = reinterpret_cast<const char*>(file);
    out->index = index;
    return true;
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
    const FaceKey key = KeyOf(lf);
    std::lock_guard lock(MatchLock());
    static std::map<FaceKey, FaceChoice> cache;
    if (auto it = cache.find(key); it != cache.end()) {
        *out = it->second;
        return true;
    }
    FcPattern* pat = PatternOf(key);
    if (!pat) return false;
    FcResult result;
    FcPattern* match = Fc().FcFontMatch(nullptr, pat, &result);
    Fc().FcPatternDestroy(pat);
    if (!match) return false;
    bool ok = ChoiceOf(match, out);
    if (ok) cache[key] = *out;
    Fc().FcPatternDestroy(match);
    return ok;
}

bool LinkedFace(const LOGFONTW& lf, char32_t ch, FaceChoice* out) {
    // fontconfig's faces for the font, in its order, with the characters
    // each has: sorted once for each family and style, kept for the process.
    struct Sorted {
        FcFontSet* set = nullptr;
        std::map<char32_t, int> found; // the face of a character; -1: none
    };
    static auto* sorted = new std::map<FaceKey, Sorted>;
    const FaceKey key = KeyOf(lf);
    std::lock_guard lock(MatchLock());
    auto it = sorted->find(key);
    if (it == sorted->end()) {
        FcPattern* pat = PatternOf(key);
        if (!pat) return false;
        FcResult result;
        Sorted s;
        s.set = Fc().FcFontSort(nullptr, pat, FcTrue, nullptr, &result);
        Fc().FcPatternDestroy(pat);
        if (sorted->empty())
            // Before fontconfig's own end (registered earlier, so run later).
            std::atexit([] {
                std::lock_guard atExitLock(MatchLock());
                for (auto& [k, v] : *sorted)
                    if (v.set) Fc().FcFontSetDestroy(v.set);
                sorted->clear();
            });
        it = sorted->emplace(key, std::move(s)).first;
    }
    Sorted& s = it->second;
    auto [at, fresh] = s.found.emplace(ch, -1);
    if (fresh && s.set)
        for (int i = 0; i < s.set->nfont; ++i) {
            FcCharSet* cs = nullptr;
            FcBool scalable = FcFalse;
            Fc().FcPatternGetBool(s.set->fonts[i], FC_SCALABLE, 0, &scalable);
            if (scalable &&
                Fc().FcPatternGetCharSet(s.set->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch &&
                Fc().FcCharSetHasChar(cs, ch)) {
                at->second = i;
                break;
            }
        }
    return at->second >= 0 && ChoiceOf(s.set->fonts[at->second], out);
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

bool RealizeLinked(const LOGFONTW& lf, const RealizedFont& f, const FaceChoice& face,
                   RealizedFont* out) {
    RealizedFont l = f;
    l.r.file = engine::LoadFontFile(face.path);
    l.r.faceIndex = face.index;
    if (!l.r.file || !engine::QueryFace(*l.r.file, face.index, &l.info) || l.info.unitsPerEm <= 0 ||
        f.info.unitsPerEm <= 0)
        return false;
    // The same em in the other face's units.
    const double k = static_cast<double>(f.info.unitsPerEm) / l.info.unitsPerEm;
    l.r.m11 *= k, l.r.m12 *= k, l.r.m21 *= k, l.r.m22 *= k;
    l.scale *= k;
    l.r.simBold = lf.lfWeight >= FW_SEMIBOLD && l.info.weight < FW_SEMIBOLD;
    l.r.simItalic = lf.lfItalic && !l.info.italic;
    l.r.faceName = (l.vertical ? u"@" : u"") + l.info.familyName.substr(0, LF_FACESIZE - 1);
    *out = std::move(l);
    return true;
}

} // namespace platform::gdi
