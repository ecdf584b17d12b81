// The list of installed fonts (EnumFontFamiliesExW): families and their
// members as fontconfig knows them, each member in every character set whose
// letters it has; "Arial", "Times New Roman" and "Courier New" are listed as
// the families that stand in for them.

#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <strings.h>
#include <tuple>

#include "fontconfig_library.h"
#include "fonts.h"
#include "platform/text.h"
#include "win/errors.h"

namespace platform::gdi {
namespace {

// A character set, the letters that show a face has it, its script's name
// and its code-page bit in a font signature.
struct CharSetProbe {
    BYTE charSet;
    char32_t letters[2];
    const char16_t* script;
    int codePageBit;
};
const CharSetProbe kCharSets[] = {
    {ANSI_CHARSET, {U'A', U'\u00E9'}, u"Western", 0},
    {EASTEUROPE_CHARSET, {U'\u0141', U'\u0150'}, u"Central European", 1},
    {RUSSIAN_CHARSET, {U'\u0416', U'\u044F'}, u"Cyrillic", 2},
    {GREEK_CHARSET, {U'\u03A9', U'\u03B1'}, u"Greek", 3},
    {TURKISH_CHARSET, {U'\u011F', U'\u0130'}, u"Turkish", 4},
    {HEBREW_CHARSET, {U'\u05D0', U'\u05EA'}, u"Hebrew", 5},
    {ARABIC_CHARSET, {U'\u0628', U'\u0645'}, u"Arabic", 6},
    {BALTIC_CHARSET, {U'\u0116', U'\u012E'}, u"Baltic", 7},
    {VIETNAMESE_CHARSET, {U'\u01B0', U'\u1EA0'}, u"Vietnamese", 8},
    {THAI_CHARSET, {U'\u0E01', U'\u0E32'}, u"Thai", 16},
    {SHIFTJIS_CHARSET, {U'\u3042', U'\u6F22'}, u"Japanese", 17},
    {GB2312_CHARSET, {U'\u4E2D', U'\u56FD'}, u"CHINESE_GB2312", 18},
    {HANGUL_CHARSET, {U'\uAC00', U'\uD55C'}, u"Hangul", 19},
    {CHINESEBIG5_CHARSET, {U'\u570B', U'\u9AD4'}, u"CHINESE_BIG5", 20},
};
// A symbol font's characters sit in the private area from U+F020.
constexpr char32_t kSymbolArea = 0xF041;
constexpr int kSymbolCodePageBit = 31;

const CharSetProbe* ProbeOf(BYTE charSet) {
    for (const auto& p : kCharSets)
        if (p.charSet == charSet) return &p;
    return nullptr;
}

std::vector<BYTE> CharSetsOf(FcCharSet* cs) {
    std::vector<BYTE> out;
    if (!cs) return out;
    for (const auto& p : kCharSets)
        if (Fc().FcCharSetHasChar(cs, p.letters[0]) && Fc().FcCharSetHasChar(cs, p.letters[1]))
            out.push_back(p.charSet);
    if (out.empty() && Fc().FcCharSetHasChar(cs, kSymbolArea)) out.push_back(SYMBOL_CHARSET);
    return out;
}

std::string StringOf(FcPattern* p, const char* object) {
    FcChar8* s = nullptr;
    return Fc().FcPatternGetString(p, object, 0, &s) == FcResultMatch
               ? reinterpret_cast<const char*>(s)
               : std::string();
}

std::vector<FamilyMember> ListMembers(const std::string& family) {
    std::vector<FamilyMember> out;
    if (!StartFontconfig()) return out;
    FcPattern* pat = Fc().FcPatternCreate();
    FcObjectSet* os = Fc().FcObjectSetBuild(FC_STYLE, FC_FULLNAME, FC_WEIGHT, FC_SLANT, FC_WIDTH,
                                            FC_CHARSET, FC_SCALABLE, nullptr);
    if (pat) {
        Fc().FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        Fc().FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    }
    FcFontSet* fs = pat && os ? Fc().FcFontList(nullptr, pat, os) : nullptr;
    for (int i = 0; fs && i < fs->nfont; ++i) {
        FcPattern* f = fs->fonts[i];
        int width = FC_WIDTH_NORMAL, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        Fc().FcPatternGetInteger(f, FC_WIDTH, 0, &width);
        Fc().FcPatternGetInteger(f, FC_WEIGHT, 0, &weight);
        Fc().FcPatternGetInteger(f, FC_SLANT, 0, &slant);
        if (width != FC_WIDTH_NORMAL) continue; // narrower faces are families of their own here
        FamilyMember m;
        m.style = StringOf(f, FC_STYLE);
        m.fullName = StringOf(f, FC_FULLNAME);
        m.weight = std::clamp(Fc().FcWeightToOpenType(weight), 1, 1000);
        m.italic = slant != FC_SLANT_ROMAN;
        FcCharSet* cs = nullptr;
        Fc().FcPatternGetCharSet(f, FC_CHARSET, 0, &cs);
        m.charSets = CharSetsOf(cs);
        if (m.charSets.empty()) continue;
        // One entry per weight and slant (a face may be installed in two files).
        bool seen = std::any_of(out.begin(), out.end(), [&](const FamilyMember& o) {
            return o.weight == m.weight && o.italic == m.italic;
        });
        if (!seen) out.push_back(std::move(m));
    }
    if (fs) Fc().FcFontSetDestroy(fs);
    if (os) Fc().FcObjectSetDestroy(os);
    if (pat) Fc().FcPatternDestroy(pat);
    // Regular first, then by weight, upright before italic.
    std::sort(out.begin(), out.end(), [](const FamilyMember& a, const FamilyMember& b) {
        bool ar = a.weight == FW_NORMAL && !a.italic, br = b.weight == FW_NORMAL && !b.italic;
        if (ar != br) return ar;
        return std::tie(a.weight, a.italic) < std::tie(b.weight, b.italic);
    });
    return out;
}

std::u16string Wide(const std::string& s) {
    return FromUtf8(s);
}

// One entry of the list, with the metrics of the member realized on dc.
struct Entry {
    ENUMLOGFONTEXW elf{};
    NEWTEXTMETRICEXW ntm{};
};

bool Describe(HDC hdc, const std::u16string& face, const FamilyMember& m, BYTE charSet, Entry* e) {
    LOGFONTW& lf = e->elf.elfLogFont;
    lf.lfWeight = m.weight;
    lf.lfItalic = m.italic ? 1 : 0;
    lf.lfCharSet = charSet;
    lf.lfOutPrecision = 3; // stroke precision: an outline font
    CopyName(lf.lfFaceName, LF_FACESIZE, face);
    std::u16string style = Wide(m.style.empty() ? "Regular" : m.style);
    CopyName(e->elf.elfFullName, LF_FULLFACESIZE, style == u"Regular" ? face : face + u" " + style);
    CopyName(e->elf.elfStyle, LF_FACESIZE, style);
    const CharSetProbe* probe = ProbeOf(charSet);
    CopyName(e->elf.elfScript, LF_FACESIZE, probe ? probe->script : u"Symbol");
    TEXTMETRICW& tm = e->ntm.ntmTm.tm;
    {
        DcAccess dc(hdc);
        if (!dc) return false;
        auto saved = dc->a.font;
        auto o = std::make_shared<GdiObject>();
        o->kind = ObjectKind::Font;
        o->font = lf;
        o->font.lfHeight = -1000;
        dc->a.font = o;
        RealizedFont f;
        if (RealizeFont(*dc, &f)) {
            FillTextMetrics(*dc, f, &tm);
            e->ntm.ntmTm.ntmSizeEM = static_cast<UINT>(f.info.unitsPerEm);
            e->ntm.ntmTm.ntmCellHeight = static_cast<UINT>(f.info.ascender + f.info.descender);
            e->ntm.ntmTm.ntmAvgWidth = static_cast<UINT>(f.info.avgCharWidth);
            lf.lfPitchAndFamily = static_cast<BYTE>(
                (tm.tmPitchAndFamily & 0xF0) | (f.info.fixedPitch ? FIXED_PITCH : VARIABLE_PITCH));
        }
        dc->a.font = saved;
    }
    tm.tmWeight = m.weight;
    tm.tmItalic = lf.lfItalic;
    tm.tmCharSet = charSet;
    DWORD flags = 0;
    if (m.italic) flags |= NTM_ITALIC;
    if (m.weight >= FW_BOLD) flags |= NTM_BOLD;
    if (m.weight == FW_NORMAL && !m.italic) flags |= NTM_REGULAR;
    e->ntm.ntmTm.ntmFlags = flags;
    for (BYTE cs : m.charSets) {
        const CharSetProbe* p = ProbeOf(cs);
        e->ntm.ntmFontSig.fsCsb[0] |= 1u << (p ? p->codePageBit : kSymbolCodePageBit);
    }
    return true;
}

bool HasCharSet(const FamilyMember& m, BYTE charSet) {
    return std::find(m.charSets.begin(), m.charSets.end(), charSet) != m.charSets.end();
}

} // namespace

std::vector<FamilyMember> FamilyMembers(const std::string& family) {
    static std::mutex lock;
    static std::map<std::string, std::vector<FamilyMember>> cache;
    std::lock_guard hold(lock);
    auto it = cache.find(family);
    if (it == cache.end()) it = cache.emplace(family, ListMembers(family)).first;
    return it->second;
}

} // namespace platform::gdi

using namespace platform::gdi;

extern "C" int WINAPI EnumFontFamiliesExW(HDC hdc, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc,
                                          LPARAM lParam, DWORD) {
    if (!lpLogfont || !lpProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    {
        DcAccess dc(hdc);
        if (!dc) return 0;
    }
    try {
        BYTE asked = lpLogfont->lfCharSet;
        std::u16string name = FaceNameOf(*lpLogfont);
        // (face shown, its family, whether every member is listed)
        std::vector<std::pair<std::u16string, std::string>> families;
        bool members = !name.empty();
        if (members) {
            std::string family;
            if (FamilyOfName(name, &family)) families.emplace_back(name, family);
        } else {
            const std::vector<std::string>& installed = InstalledFamilies();
            for (const std::string& f : installed)
                families.emplace_back(platform::FromUtf8(f), f);
            // The faces a Windows machine has, where their stand-ins are
            // installed and no face of their own name is.
            auto isInstalled = [&](const std::string& family) {
                return std::any_of(installed.begin(), installed.end(), [&](const std::string& f) {
                    return strcasecmp(f.c_str(), family.c_str()) == 0;
                });
            };
            for (const ListedAlias& a : ListedAliases())
                if (isInstalled(a.family) && !isInstalled(platform::ToUtf8(a.name)))
                    families.emplace_back(a.name, a.family);
            std::sort(families.begin(), families.end());
        }
        int last = 1;
        for (const auto& [face, family] : families) {
            std::vector<FamilyMember> list = FamilyMembers(family);
            if (!members && !list.empty()) list.resize(1);
            for (const FamilyMember& m : list) {
                std::vector<BYTE> sets;
                if (asked == DEFAULT_CHARSET)
                    sets = members ? m.charSets : std::vector<BYTE>{m.charSets.front()};
                else if (HasCharSet(m, asked))
                    sets = {asked};
                for (BYTE cs : sets) {
                    Entry e;
                    if (!Describe(hdc, face, m, cs, &e)) return 0;
                    last = lpProc(&e.elf.elfLogFont, &e.ntm.ntmTm.tm, TRUETYPE_FONTTYPE, lParam);
                    if (!last) return 0;
                }
            }
        }
        return last;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
