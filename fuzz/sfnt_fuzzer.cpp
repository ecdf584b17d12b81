// Fuzzes the TrueType reader the text download uses: whatever the bytes, the
// collection member, the "GT" segment, every glyph's data and components,
// the metrics and the character map stay inside the data, and an outline
// character's size field tells its true size. Then the font goes through
// the download itself: its header is built and split, and every glyph is
// sent through the composite walk into a collected stream, each at most
// once, however its composites name each other (a walk that does not end
// is a timeout). The header split is also driven on the bytes themselves,
// made longer than one length field holds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "font_download.h"
#include "output_writer.h"
#include "pdev.h"
#include "sfnt_reader.h"

namespace {

using namespace inkforge;

// The pieces cover the header in order, each within its length field.
void CheckPieces(const std::vector<BYTE>& header) {
    DWORD at = 0;
    for (const FontHeaderPiece& p : SplitFontHeader(header)) {
        if (p.offset != at || p.length == 0 || p.length > 0xFFFF ||
            (p.byteLength && p.length > 0xFF))
            __builtin_trap();
        at += p.length;
    }
    if (at != header.size()) __builtin_trap();
}

PDEV* Device() {
    static PDEV* pdev = [] {
        PDEV* p = AllocatePdev();
        if (p) p->jobFlags = job::Started | job::PageOpen;
        return p;
    }();
    return pdev;
}

// Every glyph of the font sent through the download's walk.
void DownloadEveryGlyph(const SfntFont& font, BYTE charClass) {
    PDEV* pdev = Device();
    if (!pdev) return;
    StartCapture(pdev);
    DWORD count = font.NumGlyphs();
    if (WORD c = font.GetCmapGlyphCount()) count = c;
    if (count == 0) return;
    std::vector<BYTE> map(count / 8 + 1, 0);
    DownloadedFont r{};
    r.tag = kDownloadedFontTag;
    r.glyphCount = count;
    r.outline = 1;
    r.charClass = charClass;
    r.glyphMap = map.data();
    std::strcpy(r.faceName, "Fuzz");
    r.owner = pdev;
    CharDownload cd;
    const DWORD glyphs = font.NumGlyphs() < 4096 ? font.NumGlyphs() : 4096;
    for (DWORD g = 0; g < glyphs; ++g)
        if (DownloadGlyph(pdev, &r, font, cd, static_cast<WORD>(g)) == GlyphSend::Failed)
            __builtin_trap();
    // With the whole font in the map, no glyph goes twice.
    if (count + 1 >= font.NumGlyphs() && r.glyphsSent > font.NumGlyphs()) __builtin_trap();
    StopCapture(pdev);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const BYTE panose[10] = {2, 11, 6, 4, 2, 2, 2, 2, 2, 4};
    // The header split over the bytes themselves, padded past 65,535.
    if (size >= 8) {
        std::vector<BYTE> header(data, data + size);
        header.resize(0x10000 + size % 0x8000, 0);
        CheckPieces(header);
    }
    DWORD member = 0;
    if (!SfntFont::ChooseMember(data, size, panose, u"Unique", &member)) return 0;
    SfntFont font;
    if (!font.ParseFontTable(data, size, member)) return 0;
    std::vector<BYTE> gt;
    for (bool metrics : {false, true}) {
        if (!WriteGtSegment(font, &gt, metrics)) continue;
        if (gt.size() < 12) __builtin_trap();
        std::vector<BYTE> header = BuildFontHeader(gt, font.NumGlyphs(), true, metrics, 600);
        CheckPieces(header);
    }
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
    (void)font.GetCmapGlyphCount();
    DownloadEveryGlyph(font, static_cast<BYTE>(size & 1));
    return 0;
}
