// Faces of font files drawn through FreeType. FreeType's objects are not
// safe between threads, so every face is opened, used and closed under one
// lock; a face of each (file, index) is kept open for the next call.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

#include "platform/engine_fonts.h"
#include "platform/host_library.h"

namespace platform::engine {
namespace {

// FreeType, opened at the first face a process draws.
#define FREETYPE_FUNCTIONS(X)                                                                      \
    X(FT_Done_Face)                                                                                \
    X(FT_Get_Char_Index)                                                                           \
    X(FT_Get_First_Char)                                                                           \
    X(FT_Get_Next_Char)                                                                            \
    X(FT_Get_Sfnt_Name)                                                                            \
    X(FT_Get_Sfnt_Name_Count)                                                                      \
    X(FT_Get_Sfnt_Table)                                                                           \
    X(FT_Init_FreeType)                                                                            \
    X(FT_Load_Glyph)                                                                               \
    X(FT_Load_Sfnt_Table)                                                                          \
    X(FT_MulFix)                                                                                   \
    X(FT_New_Memory_Face)                                                                          \
    X(FT_Outline_Decompose)                                                                        \
    X(FT_Outline_Embolden)                                                                         \
    X(FT_Render_Glyph)                                                                             \
    X(FT_Select_Charmap)                                                                           \
    X(FT_Set_Char_Size)                                                                            \
    X(FT_Set_Charmap)                                                                              \
    X(FT_Set_Transform)
PLATFORM_HOST_LIBRARY(FreeTypeLibrary, "libfreetype.so.6", FREETYPE_FUNCTIONS)

// The table once the library has started: every call but the start's takes a
// library or a face made by it.
const FreeTypeLibrary& Ft() {
    return *FreeTypeLibrary::Open();
}

std::mutex& FaceLock() {
    static std::mutex m;
    return m;
}

FT_Library Library() {
    static FT_Library lib = [] {
        const FreeTypeLibrary* ft = FreeTypeLibrary::Open();
        FT_Library l = nullptr;
        if (!ft || ft->FT_Init_FreeType(&l)) return static_cast<FT_Library>(nullptr);
        return l;
    }();
    return lib;
}

// Open faces by file identifier and index; the file's bytes stay alive with them.
struct OpenFace {
    std::shared_ptr<const FontFileData> file;
    FT_Face face = nullptr;
};
std::map<std::pair<ULONG, long>, OpenFace>& Faces() {
    static std::map<std::pair<ULONG, long>, OpenFace> faces;
    return faces;
}

FT_Face FaceLocked(const std::shared_ptr<const FontFileData>& file, long index) {
    if (!file || !Library()) return nullptr;
    auto key = std::make_pair(file->id, index);
    auto it = Faces().find(key);
    if (it != Faces().end()) return it->second.face;
    FT_Face face = nullptr;
    if (Ft().FT_New_Memory_Face(Library(), file->bytes.data(),
                                static_cast<FT_Long>(file->bytes.size()), index, &face))
        return nullptr;
    Faces()[key] = OpenFace{file, face};
    return face;
}

constexpr double kItalicShear = 0.309017;

FT_Fixed Fixed(double v) {
    return static_cast<FT_Fixed>(std::lround(v * 65536.0));
}

// Sets the face up for the realization: the em in device pixels as the
// character size, the rest of the transform as FreeType's matrix (which maps
// y-up font space to y-up output space).
bool Prepare(FT_Face face, const FontRealization& r, FT_Vector* delta = nullptr) {
    double sx = std::hypot(r.m11, r.m12), sy = std::hypot(r.m21, r.m22);
    double s = std::sqrt(sx * sy);
    if (!(s > 0) || !std::isfinite(s)) return false;
    double em = s * face->units_per_EM;
    if (em < 0.5 || em > 32768) return false;
    if (Ft().FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72))
        return false;
    // Notional y is down; FreeType's y is up.
    double m21 = r.m21, m22 = r.m22;
    if (r.simItalic) {
        // Leaning the glyph right (notional x - 0.309 y, y pointing down).
        m21 -= kItalicShear * r.m11;
        m22 -= kItalicShear * r.m12;
    }
    FT_Matrix m;
    m.xx = Fixed(r.m11 / s);
    m.xy = Fixed(-m21 / s);
    m.yx = Fixed(-r.m12 / s);
    m.yy = Fixed(m22 / s);
    Ft().FT_Set_Transform(face, &m, delta);
    return true;
}

bool LoadGlyph(FT_Face face, const FontRealization& r, ULONG glyph) {
    if (glyph >= static_cast<ULONG>(face->num_glyphs)) return false;
    if (Ft().FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) return false;
    if (r.simBold && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
        Ft().FT_Outline_Embolden(&face->glyph->outline,
                                 Ft().FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) /
                                     24);
    return true;
}

// The characters whose glyphs stand upright in a vertical face: the
// full-width forms of the East Asian scripts, what the double-byte code
// pages hold.
bool FullWidth(FT_ULong c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE10 && c <= 0xFE19) || (c >= 0xFE30 && c <= 0xFE6F) ||
           (c >= 0xFF01 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// A font table's bytes read big-endian, every read checked against its size.
struct TableBytes {
    std::vector<BYTE> b;
    bool U16(size_t at, unsigned* v) const {
        if (at > b.size() || b.size() - at < 2) return false;
        *v = static_cast<unsigned>(b[at] << 8 | b[at + 1]);
        return true;
    }
    bool U32(size_t at, unsigned long* v) const {
        if (at > b.size() || b.size() - at < 4) return false;
        *v = static_cast<unsigned long>(b[at]) << 24 | static_cast<unsigned long>(b[at + 1]) << 16 |
             static_cast<unsigned long>(b[at + 2]) << 8 | b[at + 3];
        return true;
    }
};

constexpr unsigned long Tag(char a, char b, char c, char d) {
    return static_cast<unsigned long>(a) << 24 | static_cast<unsigned long>(b) << 16 |
           static_cast<unsigned long>(c) << 8 | static_cast<unsigned long>(d);
}

// Glyphs of a coverage table, in coverage order; false when it cannot be read.
bool CoverageGlyphs(const TableBytes& t, size_t at, std::vector<unsigned>* out) {
    constexpr size_t kMaxGlyphs = 1 << 17; // more than any face has
    unsigned format, count;
    if (!t.U16(at, &format) || !t.U16(at + 2, &count)) return false;
    for (unsigned i = 0; i < count; ++i) {
        if (format == 1) {
            unsigned g;
            if (!t.U16(at + 4 + 2 * static_cast<size_t>(i), &g)) return false;
            out->push_back(g);
        } else if (format == 2) {
            unsigned first, last;
            size_t r = at + 4 + 6 * static_cast<size_t>(i);
            if (!t.U16(r, &first) || !t.U16(r + 2, &last) || last < first) return false;
            for (unsigned g = first; g <= last; ++g)
                out->push_back(g);
        } else {
            return false;
        }
        if (out->size() > kMaxGlyphs) return false;
    }
    return true;
}

// One single-substitution subtable's pairs into map (what is there first
// stays).
void SingleSubstitutions(const TableBytes& t, size_t at, std::map<unsigned, unsigned>* map) {
    unsigned format, coverage;
    if (!t.U16(at, &format) || !t.U16(at + 2, &coverage)) return;
    std::vector<unsigned> glyphs;
    if (!CoverageGlyphs(t, at + coverage, &glyphs)) return;
    unsigned delta = 0, count = 0;
    if (format == 1 && !t.U16(at + 4, &delta)) return;
    if (format == 2 && !t.U16(at + 4, &count)) return;
    if (format != 1 && format != 2) return;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        unsigned to;
        if (format == 1) {
            to = (glyphs[i] + delta) & 0xFFFF;
        } else if (i >= count || !t.U16(at + 6 + 2 * i, &to)) {
            return;
        }
        map->emplace(glyphs[i], to);
    }
}

// The vertical forms of a face: the single substitutions of the "vert"
// feature of its glyph substitution table, for the ideographic script's
// default language (else kana, else the default script), through extension
// lookups too. Nothing when the face has none or the table cannot be read.
std::map<unsigned, unsigned> ReadVerticalForms(FT_Face face) {
    std::map<unsigned, unsigned> map;
    TableBytes t;
    FT_ULong size = 0;
    constexpr FT_ULong kGsub = Tag('G', 'S', 'U', 'B');
    if (Ft().FT_Load_Sfnt_Table(face, kGsub, 0, nullptr, &size) || size == 0 || size > (64u << 20))
        return map;
    t.b.resize(size);
    if (Ft().FT_Load_Sfnt_Table(face, kGsub, 0, t.b.data(), &size)) return map;
    unsigned scripts, features, lookups, scriptCount;
    if (!t.U16(4, &scripts) || !t.U16(6, &features) || !t.U16(8, &lookups) ||
        !t.U16(scripts, &scriptCount))
        return map;
    // The default language of the first script found in order of preference.
    size_t langSys = 0;
    for (unsigned long want :
         {Tag('h', 'a', 'n', 'i'), Tag('k', 'a', 'n', 'a'), Tag('D', 'F', 'L', 'T')}) {
        for (unsigned i = 0; i < scriptCount && !langSys; ++i) {
            unsigned long tag;
            unsigned offset, defaultLang;
            size_t rec = scripts + 2 + 6 * static_cast<size_t>(i);
            if (!t.U32(rec, &tag) || !t.U16(rec + 4, &offset)) return map;
            if (tag != want || !t.U16(scripts + offset, &defaultLang) || !defaultLang) continue;
            langSys = scripts + offset + defaultLang;
        }
        if (langSys) break;
    }
    unsigned featureCount, indexCount, lookupCount;
    if (!langSys || !t.U16(langSys + 4, &indexCount) || !t.U16(features, &featureCount) ||
        !t.U16(lookups, &lookupCount))
        return map;
    for (unsigned k = 0; k < indexCount; ++k) {
        unsigned index, featureOffset, lookupIndexCount;
        unsigned long tag;
        if (!t.U16(langSys + 6 + 2 * static_cast<size_t>(k), &index) || index >= featureCount)
            return map;
        size_t rec = features + 2 + 6 * static_cast<size_t>(index);
        if (!t.U32(rec, &tag) || !t.U16(rec + 4, &featureOffset)) return map;
        if (tag != Tag('v', 'e', 'r', 't')) continue;
        size_t feature = features + featureOffset;
        if (!t.U16(feature + 2, &lookupIndexCount)) return map;
        for (unsigned l = 0; l < lookupIndexCount; ++l) {
            unsigned li, lookupOffset, type, subCount;
            if (!t.U16(feature + 4 + 2 * static_cast<size_t>(l), &li) || li >= lookupCount ||
                !t.U16(lookups + 2 + 2 * static_cast<size_t>(li), &lookupOffset))
                return map;
            size_t lookup = lookups + lookupOffset;
            if (!t.U16(lookup, &type) || !t.U16(lookup + 4, &subCount)) return map;
            for (unsigned st = 0; st < subCount; ++st) {
                unsigned subOffset;
                if (!t.U16(lookup + 6 + 2 * static_cast<size_t>(st), &subOffset)) return map;
                size_t sub = lookup + subOffset;
                unsigned subType = type;
                if (type == 7) { // an extension: the real subtable further on
                    unsigned long extension;
                    if (!t.U16(sub + 2, &subType) || !t.U32(sub + 4, &extension)) return map;
                    sub += extension;
                }
                if (subType == 1) SingleSubstitutions(t, sub, &map);
            }
        }
    }
    return map;
}

// The vertical forms of a face, read once.
const std::map<unsigned, unsigned>& VerticalFormsLocked(FT_Face face, const FontRealization& r) {
    static std::map<std::pair<ULONG, long>, std::map<unsigned, unsigned>> forms;
    auto key = std::make_pair(r.file->id, r.faceIndex);
    auto it = forms.find(key);
    if (it != forms.end()) return it->second;
    return forms[key] = ReadVerticalForms(face);
}

// The glyphs of a face that full-width characters map to, found once per
// face through its Unicode character map.
const std::vector<bool>& UprightGlyphsLocked(FT_Face face, const FontRealization& r) {
    static std::map<std::pair<ULONG, long>, std::vector<bool>> sets;
    auto key = std::make_pair(r.file->id, r.faceIndex);
    auto it = sets.find(key);
    if (it != sets.end()) return it->second;
    std::vector<bool> upright(static_cast<size_t>(std::max<FT_Long>(0, face->num_glyphs)), false);
    FT_CharMap was = face->charmap;
    if (Ft().FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0) {
        FT_UInt g = 0;
        for (FT_ULong c = Ft().FT_Get_First_Char(face, &g); g != 0;
             c = Ft().FT_Get_Next_Char(face, c, &g))
            if (FullWidth(c) && g < upright.size()) upright[g] = true;
    }
    if (was) Ft().FT_Set_Charmap(face, was);
    // A full-width glyph's vertical form stands upright as the glyph does.
    for (const auto& [from, to] : VerticalFormsLocked(face, r))
        if (from < upright.size() && upright[from] && to < upright.size()) upright[to] = true;
    return sets[key] = std::move(upright);
}

bool UprightLocked(FT_Face face, const FontRealization& r, ULONG glyph) {
    if (!r.vertical) return false;
    const std::vector<bool>& set = UprightGlyphsLocked(face, r);
    return glyph < set.size() && set[glyph];
}

// A glyph standing upright in a vertical face, in font units: its vertical
// origin (y up), its vertical advance, and its top bearing and height.
struct VerticalMetrics {
    double originX = 0, originY = 0, advance = 0, top = 0, height = 0;
};
bool VerticalMetricsLocked(FT_Face face, ULONG glyph, VerticalMetrics* out) {
    if (glyph >= static_cast<ULONG>(face->num_glyphs)) return false;
    // FreeType reads the face's own vertical metrics ("vhea", "vmtx") and
    // makes them up from the horizontal ones where the face has none.
    if (Ft().FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
        return false;
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    out->originX = static_cast<double>(m.horiBearingX - m.vertBearingX);
    out->originY = static_cast<double>(m.horiBearingY + m.vertBearingY);
    out->advance = static_cast<double>(m.vertAdvance > 0 ? m.vertAdvance : face->units_per_EM);
    out->top = static_cast<double>(m.vertBearingY);
    out->height = static_cast<double>(m.height);
    return true;
}

// The face's cell above and below the baseline in font units, as GDI
// measures it (the Windows ascent and descent where the face gives them).
void CellLocked(FT_Face face, double* ascent, double* descent) {
    *ascent = face->ascender, *descent = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(Ft().FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent)) {
        *ascent = os2->usWinAscent;
        *descent = os2->usWinDescent;
    }
}

// The realization that draws an upright glyph of a vertical face: the run's
// transform turned a quarter counterclockwise in the glyph's own space, and
// moved (delta, device pixels, y down) so that the glyph's vertical origin
// sits on the pen position along the run, its middle on the middle of the
// cell across it. advance gets the vertical advance in device pixels.
bool UprightRealizationLocked(FT_Face face, const FontRealization& r, ULONG glyph,
                              FontRealization* out, double* dx, double* dy, double* advX,
                              double* advY) {
    VerticalMetrics v;
    if (!VerticalMetricsLocked(face, glyph, &v)) return false;
    double ascent, descent;
    CellLocked(face, &ascent, &descent);
    // Notional space is y down: the glyph's (gx, gy) goes to the run's
    // (gy + tx, ty - gx).
    double tx = v.originY, ty = v.originX - (ascent - descent) / 2;
    *out = r;
    out->m11 = -r.m21, out->m12 = -r.m22;
    out->m21 = r.m11, out->m22 = r.m12;
    *dx = tx * r.m11 + ty * r.m21;
    *dy = tx * r.m12 + ty * r.m22;
    *advX = v.advance * r.m11;
    *advY = v.advance * r.m12;
    return true;
}

// Sets the face up for one glyph of r: the upright form of a vertical
// face's full-width glyph, else r itself. advance (device pixels, y down)
// gets the upright glyph's vertical advance; it is left alone otherwise.
bool PrepareGlyph(FT_Face face, const FontRealization& r, ULONG glyph, bool* upright, double* advX,
                  double* advY) {
    *upright = UprightLocked(face, r, glyph);
    if (!*upright) return Prepare(face, r);
    FontRealization turned;
    double dx, dy;
    if (!UprightRealizationLocked(face, r, glyph, &turned, &dx, &dy, advX, advY)) return false;
    // Moved by whole pixels, so that an upright glyph has the same pixels as
    // the horizontal face gives it.
    FT_Vector delta{static_cast<FT_Pos>(std::lround(dx)) * 64,
                    static_cast<FT_Pos>(-std::lround(dy)) * 64};
    return Prepare(face, turned, &delta);
}

std::u16string NameOf(FT_Face face, FT_UShort id) {
    FT_UInt n = Ft().FT_Get_Sfnt_Name_Count(face);
    std::u16string fallback;
    for (FT_UInt i = 0; i < n; ++i) {
        FT_SfntName name;
        if (Ft().FT_Get_Sfnt_Name(face, i, &name) || name.name_id != id) continue;
        if (name.platform_id == TT_PLATFORM_MICROSOFT &&
            (name.language_id == 0x409 || fallback.empty())) {
            std::u16string s;
            for (FT_UInt k = 0; k + 1 < name.string_len; k += 2)
                s.push_back(static_cast<char16_t>(name.string[k] << 8 | name.string[k + 1]));
            if (name.language_id == 0x409) return s;
            fallback = s;
        }
    }
    return fallback;
}

std::u16string Widen(const char* s) {
    std::u16string w;
    for (; s && *s; ++s)
        w.push_back(static_cast<unsigned char>(*s));
    return w;
}

} // namespace

bool FontRealization::SameAs(const FontRealization& o) const {
    return file == o.file && faceIndex == o.faceIndex && m11 == o.m11 && m12 == o.m12 &&
           m21 == o.m21 && m22 == o.m22 && simBold == o.simBold && simItalic == o.simItalic &&
           vertical == o.vertical && faceName == o.faceName && charSet == o.charSet;
}

FontFileData::~FontFileData() {
    if (mapped) ::munmap(mapped, bytes.size());
}

namespace {

// A file as the font cache tells files apart: reached by two names (a link
// of fontconfig's) it is one file.
struct FileIdentity {
    dev_t device;
    ino_t inode;
    off_t size;
    long long seconds, nanoseconds;
    auto operator<=>(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The whole file in one step: mapped, or where it cannot be mapped, read.
bool ReadWhole(int fd, size_t size, FontFileData* f) {
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p != MAP_FAILED) {
        f->mapped = p;
        f->bytes = std::span<const BYTE>(static_cast<const BYTE*>(p), size);
        return true;
    }
    f->copy.resize(size);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, f->copy.data() + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    f->bytes = std::span<const BYTE>(f->copy.data(), size);
    return true;
}

} // namespace

std::shared_ptr<const FontFileData> LoadFontFile(const std::string& path) {
    static std::map<std::string, std::shared_ptr<const FontFileData>> files;
    static std::map<FileIdentity, std::weak_ptr<const FontFileData>> byIdentity;
    static ULONG nextId = 0;
    std::lock_guard lock(FaceLock());
    auto it = files.find(path);
    if (it != files.end()) return it->second;
    // Without waiting: a named pipe under a font's name is refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return nullptr;
    }
    FileIdentity identity = IdentityOf(st);
    if (auto known = byIdentity.find(identity); known != byIdentity.end()) {
        // The same file under another name, while the name it was loaded by
        // still leads to it (a removed temporary file's number may be reused).
        auto same = known->second.lock();
        struct stat first;
        if (same && ::stat(same->path.c_str(), &first) == 0 && IdentityOf(first) == identity) {
            ::close(fd);
            files[path] = same;
            return same;
        }
    }
    auto f = std::make_shared<FontFileData>();
    f->path = path;
    bool read = ReadWhole(fd, static_cast<size_t>(st.st_size), f.get());
    ::close(fd);
    if (!read) return nullptr;
    f->id = ++nextId;
    files[path] = f;
    byIdentity[identity] = f;
    return f;
}

bool QueryFace(const FontFileData& file, long faceIndex, FaceInfo* info) {
    std::lock_guard lock(FaceLock());
    // A face of a file that is not in the shared cache (the tests' own bytes)
    // is opened for this call only.
    FT_Face face = nullptr;
    if (!Library() ||
        Ft().FT_New_Memory_Face(Library(), file.bytes.data(),
                                static_cast<FT_Long>(file.bytes.size()), faceIndex, &face))
        return false;
    FaceInfo f;
    f.unitsPerEm = face->units_per_EM ? face->units_per_EM : 2048;
    f.isTrueType = FT_IS_SFNT(face) && FT_IS_SCALABLE(face);
    f.numGlyphs = face->num_glyphs;
    f.fixedPitch = FT_IS_FIXED_WIDTH(face);
    f.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    f.weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
    f.xMin = face->bbox.xMin, f.yMin = face->bbox.yMin, f.xMax = face->bbox.xMax,
    f.yMax = face->bbox.yMax;
    f.ascender = face->ascender, f.descender = -face->descender;
    f.lineGap = std::max<long>(0, face->height - face->ascender + face->descender);
    f.maxAdvance = face->max_advance_width;
    f.underlinePosition = face->underline_position;
    f.underlineThickness = face->underline_thickness;
    if (auto* os2 = static_cast<TT_OS2*>(Ft().FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF) {
        if (os2->usWinAscent || os2->usWinDescent) {
            f.ascender = os2->usWinAscent;
            f.descender = os2->usWinDescent;
        }
        if (auto* hhea = static_cast<TT_HoriHeader*>(Ft().FT_Get_Sfnt_Table(face, FT_SFNT_HHEA)))
            f.lineGap = std::max<long>(0, hhea->Ascender - hhea->Descender + hhea->Line_Gap -
                                              (f.ascender + f.descender));
        f.avgCharWidth = os2->xAvgCharWidth;
        f.weight = os2->usWeightClass ? os2->usWeightClass : f.weight;
        f.capHeight = os2->version >= 2 ? os2->sCapHeight : 0;
        f.xHeight = os2->version >= 2 ? os2->sxHeight : 0;
        f.strikeoutPosition = os2->yStrikeoutPosition;
        f.strikeoutSize = os2->yStrikeoutSize;
        for (int i = 0; i < 10; ++i)
            f.panose[i] = os2->panose[i];
    }
    if (!f.avgCharWidth) f.avgCharWidth = f.maxAdvance / 2;
    for (int i = 0; i < face->num_charmaps; ++i)
        if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) f.symbol = true;
    f.familyName = NameOf(face, TT_NAME_ID_FONT_FAMILY);
    if (f.familyName.empty()) f.familyName = Widen(face->family_name);
    f.styleName = NameOf(face, TT_NAME_ID_FONT_SUBFAMILY);
    if (f.styleName.empty()) f.styleName = Widen(face->style_name);
    f.fullName = NameOf(face, TT_NAME_ID_FULL_NAME);
    f.uniqueName = NameOf(face, TT_NAME_ID_UNIQUE_ID);
    Ft().FT_Done_Face(face);
    *info = std::move(f);
    return true;
}

namespace {
ULONG GlyphIndexLocked(FT_Face face, ULONG ch) {
    if (face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL) {
        // Symbol fonts map their characters at 0xF000 and above.
        if (FT_UInt g = Ft().FT_Get_Char_Index(face, ch < 0x100 ? ch | 0xF000 : ch)) return g;
    }
    if (Ft().FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0)
        return Ft().FT_Get_Char_Index(face, ch);
    return Ft().FT_Get_Char_Index(face, ch);
}
} // namespace

ULONG GlyphIndexOf(const FontRealization& r, ULONG ch) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    if (!face) return 0;
    ULONG g = GlyphIndexLocked(face, ch);
    // A vertical face gives a full-width character its vertical form.
    if (r.vertical && FullWidth(ch)) {
        const auto& forms = VerticalFormsLocked(face, r);
        if (auto it = forms.find(g); it != forms.end() && it->second < ULONG(face->num_glyphs))
            g = it->second;
    }
    return g;
}

bool RenderGlyph(const FontRealization& r, ULONG glyph, bool withImage, GlyphImage* out) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    bool upright = false;
    double advX = 0, advY = 0;
    if (!face || !PrepareGlyph(face, r, glyph, &upright, &advX, &advY) ||
        !LoadGlyph(face, r, glyph))
        return false;
    GlyphImage g;
    g.advanceX = upright ? advX : face->glyph->advance.x / 64.0;
    g.advanceY = upright ? advY : -face->glyph->advance.y / 64.0;
    if (withImage && face->glyph->outline.n_points > 0) {
        if (Ft().FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)) return false;
        const FT_Bitmap& b = face->glyph->bitmap;
        g.left = face->glyph->bitmap_left;
        g.top = -face->glyph->bitmap_top;
        g.width = static_cast<LONG>(b.width);
        g.height = static_cast<LONG>(b.rows);
        size_t stride = (static_cast<size_t>(g.width) + 7) / 8;
        g.rows.assign(stride * static_cast<size_t>(g.height), 0);
        for (LONG y = 0; y < g.height; ++y) {
            const BYTE* src = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
            if (b.pitch < 0) src = b.buffer + static_cast<ptrdiff_t>(g.height - 1 - y) * -b.pitch;
            std::copy(src, src + stride, g.rows.begin() + static_cast<ptrdiff_t>(y * stride));
        }
    }
    *out = std::move(g);
    return true;
}

bool GlyphOutline(const FontRealization& r, ULONG glyph, std::vector<OutlinePoint>* out) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    bool upright = false;
    double advX = 0, advY = 0;
    if (!face || !PrepareGlyph(face, r, glyph, &upright, &advX, &advY) ||
        !LoadGlyph(face, r, glyph))
        return false;
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    struct Sink {
        std::vector<OutlinePoint>* pts;
        FT_Vector last{};
    } sink{out, {}};
    out->clear();
    FT_Outline_Funcs f{};
    f.move_to = [](const FT_Vector* to, void* u) {
        auto* s = static_cast<Sink*>(u);
        if (!s->pts->empty()) s->pts->back().type |= 0x80;
        s->pts->push_back(OutlinePoint{to->x / 64.0, -to->y / 64.0, 1});
        s->last = *to;
        return 0;
    };
    f.line_to = [](const FT_Vector* to, void* u) {
        auto* s = static_cast<Sink*>(u);
        s->pts->push_back(OutlinePoint{to->x / 64.0, -to->y / 64.0, 2});
        s->last = *to;
        return 0;
    };
    f.conic_to = [](const FT_Vector* c, const FT_Vector* to, void* u) {
        auto* s = static_cast<Sink*>(u);
        // A quadratic curve as the cubic of the same shape.
        double x0 = s->last.x, y0 = s->last.y;
        double c1x = x0 + 2.0 / 3 * (c->x - x0), c1y = y0 + 2.0 / 3 * (c->y - y0);
        double c2x = to->x + 2.0 / 3 * (c->x - to->x), c2y = to->y + 2.0 / 3 * (c->y - to->y);
        s->pts->push_back(OutlinePoint{c1x / 64, -c1y / 64, 4});
        s->pts->push_back(OutlinePoint{c2x / 64, -c2y / 64, 4});
        s->pts->push_back(OutlinePoint{to->x / 64.0, -to->y / 64.0, 4});
        s->last = *to;
        return 0;
    };
    f.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* u) {
        auto* s = static_cast<Sink*>(u);
        s->pts->push_back(OutlinePoint{c1->x / 64.0, -c1->y / 64.0, 4});
        s->pts->push_back(OutlinePoint{c2->x / 64.0, -c2->y / 64.0, 4});
        s->pts->push_back(OutlinePoint{to->x / 64.0, -to->y / 64.0, 4});
        s->last = *to;
        return 0;
    };
    if (Ft().FT_Outline_Decompose(&face->glyph->outline, &f, &sink)) return false;
    if (!out->empty()) out->back().type |= 0x80;
    return true;
}

bool GlyphDesignMetrics(const FontRealization& r, ULONG glyph, long* advance, long* lsb,
                        long* width) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    if (!face || glyph >= static_cast<ULONG>(face->num_glyphs)) return false;
    if (UprightLocked(face, r, glyph)) {
        VerticalMetrics v;
        if (!VerticalMetricsLocked(face, glyph, &v)) return false;
        *advance = std::lround(v.advance);
        *lsb = std::lround(v.top);
        *width = std::lround(v.height);
        return true;
    }
    if (Ft().FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP))
        return false;
    *advance = face->glyph->metrics.horiAdvance;
    *lsb = face->glyph->metrics.horiBearingX;
    *width = face->glyph->metrics.width;
    return true;
}

bool UprightInVertical(const FontRealization& r, ULONG glyph) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    return face && UprightLocked(face, r, glyph);
}

bool LoadSfntTable(const FontRealization& r, ULONG tag, ULONG offset, BYTE* buf, ULONG* len) {
    std::lock_guard lock(FaceLock());
    FT_Face face = FaceLocked(r.file, r.faceIndex);
    if (!face || !len) return false;
    FT_ULong total = 0;
    if (Ft().FT_Load_Sfnt_Table(face, tag, 0, nullptr, &total) || offset > total) return false;
    FT_ULong n = total - offset;
    if (!buf) {
        *len = static_cast<ULONG>(n);
        return true;
    }
    n = std::min<FT_ULong>(n, *len);
    if (n && Ft().FT_Load_Sfnt_Table(face, tag, static_cast<FT_Long>(offset), buf, &n))
        return false;
    *len = static_cast<ULONG>(n);
    return true;
}

} // namespace platform::engine
