// Downloaded fonts and text of the stream drawn for people to look at.
#include "text_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>

#include "stream_opcodes.h"

namespace streamdump {
namespace {

constexpr std::size_t kMaxFontBytes = 64u << 20;
constexpr std::size_t kMaxGlyphs = 65536;
constexpr double kMaxEmPixels = 2000;

FT_Library Library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) ? nullptr : l;
    }();
    return lib;
}

unsigned Be16(const std::uint8_t* p) {
    return unsigned(p[0]) << 8 | p[1];
}
std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
void Put16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(std::uint8_t(x >> 8));
    v.push_back(std::uint8_t(x));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x >> 16);
    Put16(v, x & 0xFFFF);
}

const std::vector<double>* Numbers(const Token& t, int id) {
    const TokenValue* v = t.Find(id);
    if (!v || v->numbers.empty()) return nullptr;
    for (double d : v->numbers)
        if (!std::isfinite(d)) return nullptr;
    return &v->numbers;
}

constexpr std::uint32_t Tag(const char* s) {
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
           std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint8_t(s[3]);
}

} // namespace

TextRenderer::~TextRenderer() {
    for (auto& [name, f] : fonts_)
        ReleaseFace(f);
}

void TextRenderer::ReleaseFace(Font& f) {
    if (f.face) FT_Done_Face(static_cast<FT_Face>(f.face));
    f.face = nullptr;
}

const std::uint8_t* TextRenderer::Data(const Token& t) const {
    if (!t.hasData || t.dataOffset > size_ || t.dataSize > size_ - t.dataOffset) return nullptr;
    return data_ + t.dataOffset;
}

std::string TextRenderer::NameOf(const Token& t) {
    const std::vector<double>* n = Numbers(t, stream::kFontName);
    std::string s;
    // A name's characters are bytes; a value no byte holds (a stream that
    // lies about its name) stands as '?'.
    if (n)
        for (double d : *n)
            s.push_back(d >= 0 && d < 256 ? static_cast<char>(static_cast<int>(d)) : '?');
    return s;
}

// The header: an 8-byte descriptor, then segments {u16 signature, u32 length,
// data} up to the null segment. "GT" holds a table directory and its tables.
void TextRenderer::ParseHeader(Font& f) {
    const std::vector<std::uint8_t>& h = f.header;
    if (h.size() < 8) return;
    f.outline = h[4] == 1;
    std::size_t at = 8;
    while (at + 6 <= h.size()) {
        unsigned sig = Be16(&h[at]);
        std::uint32_t len = Be32(&h[at + 2]);
        at += 6;
        if (sig == 0xFFFF || len > h.size() - at) break;
        if (sig == ('G' << 8 | 'T') && len >= 12) {
            const std::uint8_t* gt = &h[at];
            unsigned n = Be16(gt + 4);
            for (unsigned i = 0; i < n && 12 + 16 * (i + 1) <= len; ++i) {
                const std::uint8_t* e = gt + 12 + 16 * i;
                std::uint32_t tag = Be32(e), off = Be32(e + 8), tlen = Be32(e + 12);
                if (tlen == 0 || off > len || tlen > len - off) continue;
                f.tables[tag].assign(gt + off, gt + off + tlen);
            }
        }
        at += len;
    }
}

// A TrueType font of the "GT" tables and the characters downloaded so far,
// each at its glyph index ("loca" long, "glyf" rebuilt).
bool TextRenderer::Rebuild(Font& f) {
    if (!f.dirty) return f.face != nullptr;
    f.dirty = false;
    ReleaseFace(f);
    auto maxp = f.tables.find(Tag("maxp"));
    auto head = f.tables.find(Tag("head"));
    if (maxp == f.tables.end() || head == f.tables.end() || maxp->second.size() < 6 ||
        head->second.size() < 54)
        return false;
    unsigned count = Be16(&maxp->second[4]);
    std::map<std::uint32_t, std::vector<std::uint8_t>> tables = f.tables;
    tables[Tag("head")][50] = 0;
    tables[Tag("head")][51] = 1; // long offsets
    std::vector<std::uint8_t> glyf, loca;
    for (unsigned g = 0; g <= count; ++g) {
        Put32(loca, static_cast<std::uint32_t>(glyf.size()));
        if (g == count) break;
        auto it = f.glyphs.find(g);
        if (it != f.glyphs.end()) {
            glyf.insert(glyf.end(), it->second.begin(), it->second.end());
            glyf.resize((glyf.size() + 3) / 4 * 4, 0);
        }
    }
    tables[Tag("glyf")] = std::move(glyf);
    tables[Tag("loca")] = std::move(loca);
    if (!tables.count(Tag("hhea")) || !tables.count(Tag("hmtx"))) HorizontalMetrics(f, &tables);
    std::vector<std::uint8_t>& s = f.sfnt;
    s.clear();
    Put32(s, 0x00010000);
    Put16(s, static_cast<unsigned>(tables.size()));
    Put16(s, 0), Put16(s, 0), Put16(s, 0);
    std::uint32_t offset = static_cast<std::uint32_t>(12 + 16 * tables.size());
    for (auto& [tag, d] : tables) {
        Put32(s, tag);
        Put32(s, 0);
        Put32(s, offset);
        Put32(s, static_cast<std::uint32_t>(d.size()));
        offset += static_cast<std::uint32_t>((d.size() + 3) / 4 * 4);
    }
    for (auto& [tag, d] : tables) {
        s.insert(s.end(), d.begin(), d.end());
        s.resize((s.size() + 3) / 4 * 4, 0);
    }
    if (s.size() > kMaxFontBytes || !Library()) return false;
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(Library(), s.data(), static_cast<FT_Long>(s.size()), 0, &face))
        return false;
    f.face = face;
    return true;
}

// A font whose characters carry their metrics (class 1) comes without
// "hhea" and "hmtx": both are made from the characters' advances and side
// bearings, the vertical extent from "head".
void TextRenderer::HorizontalMetrics(const Font& f,
                                     std::map<std::uint32_t, std::vector<std::uint8_t>>* tables) {
    const std::vector<std::uint8_t>& head = (*tables)[Tag("head")];
    unsigned count = Be16(&(*tables)[Tag("maxp")][4]);
    std::vector<std::uint8_t> hmtx;
    unsigned widest = 0;
    for (unsigned g = 0; g < count; ++g) {
        auto it = f.metrics.find(g);
        unsigned advance = it == f.metrics.end() ? 0 : it->second.first;
        Put16(hmtx, advance);
        Put16(hmtx, it == f.metrics.end() ? 0 : it->second.second);
        widest = std::max(widest, advance);
    }
    std::vector<std::uint8_t> hhea;
    Put32(hhea, 0x00010000);
    Put16(hhea, Be16(&head[42])); // ascender: yMax
    Put16(hhea, Be16(&head[38])); // descender: yMin
    Put16(hhea, 0);               // line gap
    Put16(hhea, widest);
    Put16(hhea, 0), Put16(hhea, 0), Put16(hhea, 0); // side bearings, extent
    Put16(hhea, 1), Put16(hhea, 0), Put16(hhea, 0); // caret upright
    for (int i = 0; i < 5; ++i)
        Put16(hhea, 0);
    Put16(hhea, count); // a long entry for every glyph
    (*tables)[Tag("hhea")] = std::move(hhea);
    (*tables)[Tag("hmtx")] = std::move(hmtx);
}

std::size_t TextRenderer::Characters(const std::string& font) const {
    auto it = fonts_.find(font);
    return it == fonts_.end() ? 0 : it->second.glyphs.size() + it->second.bitmaps.size();
}

bool TextRenderer::Readable(const std::string& font) {
    auto it = fonts_.find(font);
    return it != fonts_.end() && it->second.outline && Rebuild(it->second);
}

void TextRenderer::DrawOutline(Font& f, unsigned glyph, double x, double y, TextPaint& p,
                               std::size_t* drawn, std::size_t* skipped) {
    auto face = static_cast<FT_Face>(f.face);
    double em = charSize_ * p.scale;
    if (!face || !(em > 0.5) || em > kMaxEmPixels ||
        FT_Set_Char_Size(face, 0, FT_F26Dot6(em * 64), 72, 72)) {
        ++*skipped;
        return;
    }
    // The stream's angle turns clockwise on the page; FreeType's y is up.
    double a = -angle_ * M_PI / 180;
    double sx = scaleX_, sh = shearX_;
    FT_Matrix m;
    m.xx = FT_Fixed(std::cos(a) * sx * 65536);
    m.xy = FT_Fixed((std::cos(a) * -sh - std::sin(a)) * 65536);
    m.yx = FT_Fixed(std::sin(a) * sx * 65536);
    m.yy = FT_Fixed((std::sin(a) * -sh + std::cos(a)) * 65536);
    FT_Set_Transform(face, &m, nullptr);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) {
        ++*skipped;
        return;
    }
    const FT_Bitmap& b = face->glyph->bitmap;
    int ox = static_cast<int>(std::lround(x * p.scale)) + face->glyph->bitmap_left;
    int oy = static_cast<int>(std::lround(y * p.scale)) - face->glyph->bitmap_top;
    for (unsigned r = 0; r < b.rows; ++r)
        for (unsigned c = 0; c < b.width; ++c) {
            std::uint8_t v = b.buffer[static_cast<std::ptrdiff_t>(r) * b.pitch + c];
            if (v) p.plot(ox + int(c), oy + int(r), v / 255.0);
        }
    ++*drawn;
}

void TextRenderer::DrawBitmap(const Bitmap& b, double x, double y, TextPaint& p) {
    int stride = (b.width + 7) / 8;
    for (int r = 0; r < b.height; ++r)
        for (int c = 0; c < b.width; ++c)
            if (b.rows[std::size_t(r) * stride + c / 8] & (0x80 >> (c % 8)))
                p.plot(int(std::lround((x + b.left + c) * p.scale)),
                       int(std::lround((y - b.top + r) * p.scale)), 1);
}

bool TextRenderer::Run(int op, const Token& t, TextPaint& p, std::size_t* drawn,
                       std::size_t* skipped) {
    switch (op) {
    case stream::kBeginFontHeader:
        headerFont_ = NameOf(t);
        // A font defined again under its name replaces the old one, face and all.
        ReleaseFace(fonts_[headerFont_]);
        fonts_[headerFont_] = Font{};
        return true;
    case stream::kReadFontHeader: {
        auto it = fonts_.find(headerFont_);
        const std::uint8_t* d = Data(t);
        if (it == fonts_.end() || !d || it->second.header.size() + t.dataSize > kMaxFontBytes) {
            ++*skipped;
            return true;
        }
        it->second.header.insert(it->second.header.end(), d, d + t.dataSize);
        return true;
    }
    case stream::kEndFontHeader:
        if (auto it = fonts_.find(headerFont_); it != fonts_.end()) ParseHeader(it->second);
        return true;
    case stream::kBeginChar:
        charFont_ = NameOf(t);
        return true;
    case stream::kReadChar: {
        auto it = fonts_.find(charFont_);
        const std::uint8_t* d = Data(t);
        const std::vector<double>* code = Numbers(t, stream::kCharCode);
        if (it == fonts_.end() || !d || !code || it->second.glyphs.size() >= kMaxGlyphs) {
            ++*skipped;
            return true;
        }
        Font& f = it->second;
        unsigned c = static_cast<unsigned>((*code)[0]);
        if (f.outline && t.dataSize >= 6 && d[0] == 1) {
            // Class 0: size, glyph index; class 1: size, side bearing,
            // advance, glyph index.
            std::size_t head = d[1] == 1 ? 10 : 6;
            if (t.dataSize < head) {
                ++*skipped;
                return true;
            }
            unsigned index = Be16(d + head - 2);
            f.glyphs[index].assign(d + head, d + t.dataSize);
            if (d[1] == 1) f.metrics[index] = {Be16(d + 6), Be16(d + 4)};
            f.dirty = true;
        } else if (!f.outline && t.dataSize >= 10 && d[0] == 0) {
            Bitmap b;
            b.left = static_cast<std::int16_t>(Be16(d + 2));
            b.top = static_cast<std::int16_t>(Be16(d + 4));
            b.width = static_cast<int>(Be16(d + 6));
            b.height = static_cast<int>(Be16(d + 8));
            std::size_t need = std::size_t((b.width + 7) / 8) * std::size_t(b.height);
            if (need > t.dataSize - 10) {
                ++*skipped;
                return true;
            }
            b.rows.assign(d + 10, d + 10 + need);
            f.bitmaps[c] = std::move(b);
        } else {
            ++*skipped;
        }
        return true;
    }
    case stream::kEndChar:
        return true;
    case stream::kRemoveFont:
        if (auto it = fonts_.find(NameOf(t)); it != fonts_.end()) {
            ReleaseFace(it->second);
            fonts_.erase(it);
        }
        return true;
    case stream::kSetCharAngle:
        if (auto* v = Numbers(t, stream::kCharAngle)) angle_ = (*v)[0];
        return true;
    case stream::kSetCharScale:
        if (auto* v = Numbers(t, stream::kCharScale); v && v->size() == 2)
            scaleX_ = (*v)[0], scaleY_ = (*v)[1];
        return true;
    case stream::kSetCharShear:
        if (auto* v = Numbers(t, stream::kCharShear); v && v->size() == 2) shearX_ = (*v)[0];
        return true;
    case stream::kSetFont:
        current_ = NameOf(t);
        if (auto* v = Numbers(t, stream::kCharSize)) charSize_ = (*v)[0];
        return true;
    case stream::kSetCharBoldValue:
        return true;
    case stream::kText: {
        const std::vector<double>* codes = Numbers(t, stream::kTextData);
        auto it = fonts_.find(current_);
        if (!codes || it == fonts_.end()) {
            ++*skipped;
            return true;
        }
        const std::vector<double>* dx = Numbers(t, stream::kXSpacingData);
        const std::vector<double>* dy = Numbers(t, stream::kYSpacingData);
        Font& f = it->second;
        if (f.outline && !Rebuild(f)) {
            ++*skipped;
            return true;
        }
        double x = p.cursorX, y = p.cursorY;
        for (std::size_t i = 0; i < codes->size(); ++i) {
            unsigned c = static_cast<unsigned>((*codes)[i]);
            if (f.outline) {
                DrawOutline(f, c, x, y, p, drawn, skipped);
            } else if (auto b = f.bitmaps.find(c); b != f.bitmaps.end()) {
                DrawBitmap(b->second, x, y, p);
                ++*drawn;
            } else {
                ++*skipped;
            }
            if (dx && i < dx->size()) x += (*dx)[i];
            if (dy && i < dy->size()) y += (*dy)[i];
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace streamdump
