// TrueType fonts laid out by hand for the text tests: the offset table and
// directory, the few tables a font needs, simple and composite glyphs, and
// a format-4 "cmap" subtable, all as the format fixes their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sfnt_reader.h"

namespace text_fonts {

using Bytes = std::vector<std::uint8_t>;

inline void Be16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
inline void Be32(Bytes& b, std::uint32_t v) {
    Be16(b, v >> 16);
    Be16(b, v & 0xFFFF);
}

struct Table {
    const char* tag;
    Bytes data;
};

// Offset table, directory (in the order given) and the tables, each at a
// 4-byte boundary.
inline Bytes MakeFont(const std::vector<Table>& tables) {
    Bytes f;
    Be32(f, 0x00010000);
    Be16(f, static_cast<std::uint32_t>(tables.size()));
    Be16(f, 0x80);
    Be16(f, 3);
    Be16(f, 0x20);
    std::uint32_t offset = static_cast<std::uint32_t>(12 + 16 * tables.size());
    for (const Table& t : tables) {
        Be32(f, inkforge::SfntTag(t.tag[0], t.tag[1], t.tag[2], t.tag[3]));
        Be32(f, 0);
        Be32(f, offset);
        Be32(f, static_cast<std::uint32_t>(t.data.size()));
        offset += static_cast<std::uint32_t>((t.data.size() + 3) / 4 * 4);
    }
    for (const Table& t : tables) {
        f.insert(f.end(), t.data.begin(), t.data.end());
        f.resize((f.size() + 3) / 4 * 4, 0);
    }
    return f;
}

// "head": magic number, 1000 units per em, long "loca" offsets.
inline Bytes Head() {
    Bytes b(54, 0);
    b[1] = 1; // version 1.0
    const std::uint8_t magic[4] = {0x5F, 0x0F, 0x3C, 0xF5};
    std::copy(magic, magic + 4, b.begin() + 12);
    b[18] = 1000 >> 8, b[19] = 1000 & 0xFF;
    b[42] = 700 >> 8, b[43] = 700 & 0xFF; // yMax
    b[40] = 500 >> 8, b[41] = 500 & 0xFF; // xMax
    b[51] = 1;                            // long offsets
    return b;
}
// "hhea" with every glyph's metrics long.
inline Bytes Hhea(std::uint16_t glyphs) {
    Bytes b(36, 0);
    b[1] = 1;
    b[4] = 800 >> 8, b[5] = 800 & 0xFF;   // ascender
    b[6] = 0xFF, b[7] = 0x38;             // descender -200
    b[10] = 600 >> 8, b[11] = 600 & 0xFF; // advance width max
    b[34] = static_cast<std::uint8_t>(glyphs >> 8), b[35] = static_cast<std::uint8_t>(glyphs);
    return b;
}
// "hmtx": glyph g advances 600 + g font units.
inline Bytes Hmtx(std::uint16_t glyphs) {
    Bytes b;
    for (std::uint32_t g = 0; g < glyphs; ++g) {
        Be16(b, 600 + g);
        Be16(b, 0);
    }
    return b;
}
// "maxp" version 1.0.
inline Bytes Maxp(std::uint16_t glyphs) {
    Bytes b;
    Be32(b, 0x00010000);
    Be16(b, glyphs);
    Be16(b, 4); // points
    Be16(b, 1); // contours
    Be16(b, 8); // composite points
    Be16(b, 2); // composite contours
    Be16(b, 2); // zones
    Be16(b, 0); // twilight points
    Be16(b, 0); // storage
    Be16(b, 0); // function defs
    Be16(b, 0); // instruction defs
    Be16(b, 0); // stack elements
    Be16(b, 0); // instruction size
    Be16(b, 2); // component elements
    Be16(b, 2); // component depth
    return b;
}

// A square of 500 x 700 units: one contour of four points on the curve.
inline Bytes SquareGlyph() {
    Bytes g;
    Be16(g, 1);
    for (std::uint32_t v : {0u, 0u, 500u, 700u})
        Be16(g, v);
    Be16(g, 3); // last point of the contour
    Be16(g, 0); // no instructions
    for (int i = 0; i < 4; ++i)
        g.push_back(0x01); // on curve, 16-bit deltas
    for (std::uint32_t dx : {0u, 500u, 0u, 0x10000u - 500})
        Be16(g, dx);
    for (std::uint32_t dy : {0u, 0u, 700u, 0u})
        Be16(g, dy);
    return g;
}

// A composite glyph of the given components, each at (0, 0) with byte
// arguments; the more-components flag on all but the last.
inline Bytes CompositeGlyph(const std::vector<std::uint16_t>& parts) {
    Bytes g;
    Be16(g, 0xFFFF);
    for (std::uint32_t v : {0u, 0u, 500u, 700u})
        Be16(g, v);
    for (size_t i = 0; i < parts.size(); ++i) {
        Be16(g, 0x0002 | (i + 1 < parts.size() ? 0x0020 : 0)); // xy values, more
        Be16(g, parts[i]);
        g.push_back(0);
        g.push_back(0);
    }
    return g;
}

// "glyf" and long "loca" of the glyphs (an empty one has no outline).
inline void GlyfAndLoca(const std::vector<Bytes>& glyphs, Bytes* glyf, Bytes* loca) {
    glyf->clear();
    loca->clear();
    for (const Bytes& g : glyphs) {
        Be32(*loca, static_cast<std::uint32_t>(glyf->size()));
        glyf->insert(glyf->end(), g.begin(), g.end());
        glyf->resize((glyf->size() + 3) / 4 * 4, 0);
    }
    Be32(*loca, static_cast<std::uint32_t>(glyf->size()));
}

// A "cmap" with one platform-3 record of the encoding and a format-4
// subtable: the codes first..last mapped through a glyph-index array to
// firstGlyph on, and the closing segment.
inline Bytes Format4Cmap(std::uint16_t encoding, std::uint16_t first, std::uint16_t last,
                         std::uint16_t firstGlyph) {
    Bytes sub;
    std::uint16_t n = static_cast<std::uint16_t>(last - first + 1);
    Be16(sub, 4);
    Be16(sub, static_cast<std::uint32_t>(16 + 2 * 4 * 2 + 2 * n));
    Be16(sub, 0);
    Be16(sub, 4); // two segments
    Be16(sub, 4);
    Be16(sub, 1);
    Be16(sub, 0);
    Be16(sub, last); // end codes
    Be16(sub, 0xFFFF);
    Be16(sub, 0);     // pad
    Be16(sub, first); // start codes
    Be16(sub, 0xFFFF);
    Be16(sub, 0); // deltas
    Be16(sub, 1);
    Be16(sub, 4); // range offsets: past the second entry, to the glyph array
    Be16(sub, 0);
    for (std::uint16_t i = 0; i < n; ++i)
        Be16(sub, static_cast<std::uint32_t>(firstGlyph + i));
    Bytes cmap;
    Be16(cmap, 0);
    Be16(cmap, 1);
    Be16(cmap, 3);
    Be16(cmap, encoding);
    Be32(cmap, 12);
    cmap.insert(cmap.end(), sub.begin(), sub.end());
    return cmap;
}

// A whole font of `glyphs` (glyph 0 the missing-glyph square) with the
// given character map.
inline Bytes OutlineFont(const std::vector<Bytes>& glyphs, const Bytes& cmap) {
    Bytes glyf, loca;
    GlyfAndLoca(glyphs, &glyf, &loca);
    const auto n = static_cast<std::uint16_t>(glyphs.size());
    return MakeFont({{"cmap", cmap},
                     {"glyf", glyf},
                     {"head", Head()},
                     {"hhea", Hhea(n)},
                     {"hmtx", Hmtx(n)},
                     {"loca", loca},
                     {"maxp", Maxp(n)}});
}

} // namespace text_fonts
