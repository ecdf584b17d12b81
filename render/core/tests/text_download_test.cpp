// Glyph downloads and the font table over fonts laid out by hand: the
// composite walk (components first, each glyph once, circles that end), the
// highest glyph of the map, the "cmap" checks, the font header's
// descriptor, and the order in which a full table gives up its fonts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "font_download.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_ctl.h"
#include "platform/testctl.h"
#include "sfnt_reader.h"
#include "streamdump/decoder.h"
#include "text_fonts.h"
#include "win/base.h"

namespace {

using namespace inkforge;
using namespace text_fonts;

// A physical device whose stream is collected, on an open page.
class GlyphDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->jobFlags = job::Started | job::PageOpen;
        pdev->pageCount = 1;
        StartCapture(pdev);
    }
    void TearDown() override {
        FreeFontTable(pdev);
        FreePdev(pdev);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
    }
    // A record of an outline font whose map covers glyphs 0 to `count`.
    DownloadedFont* Record(DWORD count) {
        auto* r = static_cast<DownloadedFont*>(
            EngAllocMem(FL_ZERO_MEMORY, sizeof(DownloadedFont), kDownloadedFontTag));
        r->tag = kDownloadedFontTag;
        r->glyphCount = count;
        r->outline = 1;
        r->glyphMap =
            static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, count / 8 + 1, kDownloadedFontTag));
        std::strcpy(r->faceName, "Hand");
        r->owner = pdev;
        return r;
    }
    void Free(DownloadedFont* r) {
        EngFreeMem(r->glyphMap);
        EngFreeMem(r);
    }
    Bytes Take() {
        const auto* p = static_cast<const std::uint8_t*>(pdev->captureBlock);
        Bytes b(p, p + pdev->captureLength);
        pdev->captureLength = 0;
        return b;
    }
    // The character codes of the read-char tokens, in stream order, and the
    // names of the fonts removed.
    static streamdump::Decoding Decode(const Bytes& b) {
        std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
        Bytes job(head.begin(), head.end());
        job.insert(job.end(), b.begin(), b.end());
        return streamdump::Decode(job);
    }
    static std::vector<long> CharCodes(const Bytes& b) {
        streamdump::Decoding d = Decode(b);
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<long> codes;
        for (const auto& i : d.items) {
            long v = -1;
            if (i.kind == streamdump::ItemKind::Token && i.text == "read char" &&
                i.token.Find(0xA2) && i.token.Find(0xA2)->Whole(&v))
                codes.push_back(v);
        }
        return codes;
    }

    PDEV* pdev = nullptr;
};

// Composite glyphs: each component goes before the glyph made of it, each
// glyph once; a composite that names itself (2000 times), or two that name
// each other, end after one visit each, as do components nested deeper than
// 8 (not sent). Glyphs: 1 and 2 squares, 0 and the rest as the case says.
TEST_F(GlyphDownload, CompositesSendTheirComponentsFirstAndEnd) {
    std::vector<std::uint16_t> self(2000, 3);
    self[1000] = 1;
    std::vector<Bytes> deep = {SquareGlyph(), SquareGlyph(), SquareGlyph()};
    for (std::uint16_t g = 3; g < 14; ++g) // 3 names 4, ..., 13 names 1
        deep.push_back(CompositeGlyph({static_cast<std::uint16_t>(g == 13 ? 1 : g + 1)}));
    struct Case {
        const char* what;
        std::vector<Bytes> glyphs;
        WORD glyph;
        std::vector<long> sent;
    } cases[] = {
        {"components first, each once",
         {SquareGlyph(), SquareGlyph(), SquareGlyph(), CompositeGlyph({2, 1, 2})},
         3,
         {2, 1, 3}},
        {"nested composites",
         {SquareGlyph(), SquareGlyph(), SquareGlyph(), CompositeGlyph({2}), CompositeGlyph({3, 1})},
         4,
         {2, 3, 1, 4}},
        {"a composite naming itself 2000 times",
         {SquareGlyph(), SquareGlyph(), SquareGlyph(), CompositeGlyph(self)},
         3,
         {1, 3}},
        {"two composites naming each other",
         {SquareGlyph(), SquareGlyph(), SquareGlyph(), CompositeGlyph({4, 4, 1}),
          CompositeGlyph({3, 3, 2})},
         3,
         {2, 4, 1, 3}},
        {"nested deeper than 8", deep, 3, {11, 10, 9, 8, 7, 6, 5, 4, 3}},
    };
    for (const Case& c : cases) {
        Bytes file = OutlineFont(c.glyphs, Format4Cmap(1, 0x41, 0x41, 1));
        SfntFont font;
        ASSERT_TRUE(font.ParseFontTable(file.data(), file.size())) << c.what;
        DownloadedFont* r = Record(static_cast<DWORD>(c.glyphs.size() - 1));
        CharDownload cd;
        EXPECT_EQ(DownloadGlyph(pdev, r, font, cd, c.glyph), GlyphSend::Done) << c.what;
        EXPECT_TRUE(cd.open) << c.what;
        EXPECT_EQ(CharCodes(Take()), c.sent) << c.what;
        EXPECT_EQ(r->glyphsSent, c.sent.size()) << c.what;
        // Sent once: asked again, nothing goes.
        EXPECT_EQ(DownloadGlyph(pdev, r, font, cd, c.glyph), GlyphSend::Done) << c.what;
        EXPECT_TRUE(Take().empty()) << c.what;
        Free(r);
    }
}

// The map covers glyph 0 to the count the font's "cmap" gave (its highest
// glyph index): that glyph is sent and noted like any other. A glyph past
// the map is sent whenever it is used, never noted.
TEST_F(GlyphDownload, TheHighestGlyphOfTheMapIsSentAndNoted) {
    std::vector<Bytes> glyphs(20, SquareGlyph());
    Bytes file = OutlineFont(glyphs, Format4Cmap(0, 0xF020, 0xF028, 0));
    SfntFont font;
    ASSERT_TRUE(font.ParseFontTable(file.data(), file.size()));
    ASSERT_EQ(font.GetCmapGlyphCount(), 8);
    DownloadedFont* r = Record(8);
    CharDownload cd;
    ASSERT_EQ(DownloadGlyph(pdev, r, font, cd, 8), GlyphSend::Done);
    EXPECT_EQ(CharCodes(Take()), (std::vector<long>{8}));
    EXPECT_EQ(r->glyphMap[1], 0x01) << "glyph 8: byte 1, bit 0";
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(DownloadGlyph(pdev, r, font, cd, 17), GlyphSend::Done);
        EXPECT_EQ(CharCodes(Take()), (std::vector<long>{17})) << "pass " << pass;
    }
    EXPECT_EQ(r->glyphMap[1], 0x01);
    Free(r);
}

struct Segment {
    std::uint16_t start, end, delta;
    bool throughArray; // its range offset points at the glyph array's start
};
// A "cmap" of one platform-3 symbol record whose format-4 subtable holds the
// segments and then the glyph array (its entries `fill`, up to `length`).
Bytes SymbolCmap(const std::vector<Segment>& segments, std::uint32_t length, std::uint8_t fill) {
    const auto n = static_cast<std::uint32_t>(segments.size());
    Bytes sub;
    Be16(sub, 4);
    Be16(sub, length);
    Be16(sub, 0);
    Be16(sub, n * 2);
    Be16(sub, 0), Be16(sub, 0), Be16(sub, 0);
    for (const Segment& s : segments)
        Be16(sub, s.end);
    Be16(sub, 0);
    for (const Segment& s : segments)
        Be16(sub, s.start);
    for (const Segment& s : segments)
        Be16(sub, s.delta);
    for (std::uint32_t i = 0; i < n; ++i)
        Be16(sub, segments[i].throughArray ? 2 * (n - i) : 0);
    sub.resize(length, fill);
    Bytes cmap;
    Be16(cmap, 0), Be16(cmap, 1), Be16(cmap, 3), Be16(cmap, 0), Be32(cmap, 12);
    cmap.insert(cmap.end(), sub.begin(), sub.end());
    return cmap;
}

// Format-4 subtables laid out by hand: an odd segment count times two would
// put the arrays a byte off (the last past the subtable): refused. Segments
// that do not ascend give no glyph count; 4000 segments that each claim the
// whole code range give none either, without being walked code by code.
TEST(SfntCmap, OddSegmentCountsAndDisorderedSegmentsAreRefused) {
    Bytes good = Format4Cmap(0, 0xF020, 0xF030, 5);
    struct Case {
        const char* what;
        Bytes cmap;
        size_t at; // a big-endian u16 written there (0: none)
        std::uint16_t value;
        WORD mapped, count;
    } cases[] = {
        {"as laid out", good, 0, 0, 5, 21},
        {"odd segX2", good, 12 + 6, 5, 0, 0},
        {"first segment ending before its start", good, 12 + 14, 0xF010, 0, 0},
        {"second segment starting inside the first",
         SymbolCmap(
             {{0xF020, 0xF030, 1, false}, {0xF025, 0xF040, 2, false}, {0xFFFF, 0xFFFF, 1, false}},
             64, 0),
         0, 0, 0xF021, 0},
        {"ascending segments",
         SymbolCmap(
             {{0xF020, 0xF030, 1, false}, {0xF031, 0xF040, 2, false}, {0xFFFF, 0xFFFF, 1, false}},
             64, 0),
         0, 0, 0xF021, 0xF042},
    };
    for (const Case& c : cases) {
        Bytes cmap = c.cmap;
        if (c.at)
            cmap[c.at] = static_cast<std::uint8_t>(c.value >> 8),
            cmap[c.at + 1] = static_cast<std::uint8_t>(c.value);
        Bytes file = MakeFont({{"cmap", cmap}});
        SfntFont f;
        ASSERT_TRUE(f.ParseFontTable(file.data(), file.size())) << c.what;
        EXPECT_EQ(f.MapCharacter(0x20), c.mapped) << c.what;
        EXPECT_EQ(f.GetCmapGlyphCount(), c.count) << c.what;
    }
    std::vector<Segment> whole(4000, Segment{0, 0xFFFE, 0, true});
    whole.push_back({0xFFFF, 0xFFFF, 1, false});
    Bytes file = MakeFont({{"cmap", SymbolCmap(whole, 0xFFFF, 0x01)}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(file.data(), file.size()));
    EXPECT_EQ(f.GetCmapGlyphCount(), 0);
    EXPECT_EQ(f.MapCharacter(0x1234), 0x0101) << "the first segment maps it through the array";
}

// The font header's descriptor and segments, byte by byte.
TEST(FontHeaderLayout, DescriptorAndSegments) {
    const Bytes gt = {1, 2, 3};
    struct Case {
        bool outline, classSegment;
        DWORD count;
        Bytes want;
    } cases[] = {
        {true, false, 300, {0, 0, 0, 0, 1, 0,    0x01, 0x2C, 'G', 'T', 0, 0,
                            0, 3, 1, 2, 3, 0xFF, 0xFF, 0,    0,   0,   0}},
        {true, true, 70000, {0, 0,    0,    0, 1, 0,    0xFF, 0xFF, 'G', 'T', 0, 0,
                             0, 3,    1,    2, 3, 'G',  'C',  0,    0,   0,   6, 0,
                             0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0,    0,   0,   0}},
        {false, true, 300, {0, 0, 0,    0,    254,  0,    0x04, 0x00, 'B', 'R', 0, 0,
                            0, 4, 0x02, 0x58, 0x02, 0x58, 0xFF, 0xFF, 0,   0,   0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildFontHeader(gt, c.count, c.outline, c.classSegment, 600), c.want)
            << c.outline << c.classSegment;
}

// A full table gives up the font used least recently; among equals the one
// with more glyphs sent, then the one with the smaller font number. Its
// name and "remove font" go out, and the new record takes its slot.
TEST_F(GlyphDownload, AFullTableGivesUpTheLeastRecentlyUsedFont) {
    struct Victim {
        size_t slot;
        DWORD lastPage, glyphsSent;
        WORD fontNumber;
    };
    struct Case {
        const char* what;
        std::vector<Victim> rivals; // the other records: page 5, 1 glyph, numbers from 1000
        size_t evicted;
    } cases[] = {
        {"the oldest page", {{7, 3, 1, 7}, {9, 4, 50, 9}}, 7},
        {"more glyphs on the same page", {{7, 3, 1, 7}, {9, 3, 2, 9}}, 9},
        {"the smaller number among equals", {{7, 3, 2, 70}, {9, 3, 2, 20}}, 9},
    };
    for (const Case& c : cases) {
        FreeFontTable(pdev);
        FontTable* ft = Fonts(pdev);
        ASSERT_NE(ft, nullptr);
        for (size_t i = 0; i < kFontTableSlots; ++i) {
            DownloadedFont* r = Record(8);
            r->lastPage = 5;
            r->glyphsSent = 1;
            r->fontNumber = static_cast<WORD>(1000 + i);
            for (const Victim& v : c.rivals)
                if (v.slot == i)
                    r->lastPage = v.lastPage, r->glyphsSent = v.glyphsSent,
                    r->fontNumber = v.fontNumber;
            ft->slots[i] = r;
        }
        DownloadedFont* fresh = Record(8);
        fresh->fontNumber = 2000;
        pdev->pageCount = 6;
        ASSERT_TRUE(RegisterDownloadedFont(pdev, fresh)) << c.what;
        EXPECT_EQ(ft->slots[c.evicted], fresh) << c.what;
        EXPECT_EQ(fresh->lastPage, 6u);
        std::string name;
        for (const Victim& v : c.rivals)
            if (v.slot == c.evicted) name = "NHand:" + std::to_string(v.fontNumber);
        Bytes out = Take();
        Bytes want = {0xC8, 0xC1, static_cast<std::uint8_t>(name.size()), 0};
        want.insert(want.end(), name.begin(), name.end());
        want.insert(want.end(), {0xF8, 0xA8, 0x55});
        EXPECT_EQ(out, want) << c.what;
    }
}

} // namespace
