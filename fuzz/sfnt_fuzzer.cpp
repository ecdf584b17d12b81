// Fuzzes the TrueType reader the text download uses: whatever the bytes, the
// collection member, the "GT" segment, every glyph's data and components,
// the metrics and the character map stay inside the data, and an outline
// character's size field tells its true size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "font_download.h"
#include "sfnt_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace inkforge;
    static const BYTE panose[10] = {2, 11, 6, 4, 2, 2, 2, 2, 2, 4};
    DWORD member = 0;
    if (!SfntFont::ChooseMember(data, size, panose, u"Unique", &member)) return 0;
    SfntFont font;
    if (!font.Open(data, size, member)) return 0;
    std::vector<BYTE> gt;
    for (bool metrics : {false, true})
        if (BuildGtSegment(font, &gt, metrics) && gt.size() < 12) __builtin_trap();
    for (DWORD g = 0; g < font.NumGlyphs() && g < 4096; ++g) {
        const BYTE* glyph;
        DWORD length;
        if (!font.GlyphData(static_cast<WORD>(g), &glyph, &length)) continue;
        if (glyph < data || glyph + length > data + size) __builtin_trap();
        std::vector<WORD> parts;
        if (length >= 10) (void)font.Components(glyph, length, &parts);
        WORD advance;
        SHORT lsb;
        (void)font.HorizontalMetrics(static_cast<WORD>(g), &advance, &lsb);
        // A character's size field always tells its true size.
        for (BYTE charClass : {0, 1}) {
            std::vector<BYTE> c;
            if (OutlineCharacter(font, static_cast<WORD>(g), charClass, &c) == OutlineChar::Ready &&
                (c.size() < 4 || static_cast<size_t>(c[2] << 8 | c[3]) + 2 != c.size()))
                __builtin_trap();
        }
    }
    for (DWORD c = 0; c < 0x10000; c += 97)
        (void)font.MapCharacter(c);
    (void)font.CmapGlyphCount();
    return 0;
}
