// Text output: the checked TrueType reader over fonts laid out by hand, the
// "GT" segment, and pages of text printed through the platform's GDI on a
// printer whose driver is the built Inkforge.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "font_download.h"
#include "streamdump/images.h"
#include "streamdump/page_render.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "sfnt_reader.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/emf.h"
#include "win/gdi_dc.h"

namespace {

using namespace inkforge;
using Bytes = std::vector<BYTE>;

void Be16(Bytes& b, DWORD v) {
    b.push_back(static_cast<BYTE>(v >> 8));
    b.push_back(static_cast<BYTE>(v));
}
void Be32(Bytes& b, DWORD v) {
    Be16(b, v >> 16);
    Be16(b, v & 0xFFFF);
}

struct Table {
    const char* tag;
    Bytes data;
};

// A font file: offset table, directory and the tables, each at a 4-byte
// boundary, laid out as the format fixes it.
Bytes MakeFont(const std::vector<Table>& tables) {
    Bytes f;
    Be32(f, 0x00010000);
    Be16(f, static_cast<DWORD>(tables.size()));
    Be16(f, 0x80);
    Be16(f, 3);
    Be16(f, 0x20);
    DWORD offset = static_cast<DWORD>(12 + 16 * tables.size());
    for (const Table& t : tables) {
        Be32(f, SfntTag(t.tag[0], t.tag[1], t.tag[2], t.tag[3]));
        Be32(f, 0);
        Be32(f, offset);
        Be32(f, static_cast<DWORD>(t.data.size()));
        offset += static_cast<DWORD>((t.data.size() + 3) / 4 * 4);
    }
    for (const Table& t : tables) {
        f.insert(f.end(), t.data.begin(), t.data.end());
        f.resize((f.size() + 3) / 4 * 4, 0);
    }
    return f;
}

Bytes Maxp(WORD glyphs) {
    Bytes b;
    Be32(b, 0x00010000);
    Be16(b, glyphs);
    return b;
}
Bytes Head(bool longLoca) {
    Bytes b(54, 0);
    b[51] = longLoca ? 1 : 0;
    return b;
}
Bytes Hhea(WORD longMetrics) {
    Bytes b(36, 0);
    b[34] = static_cast<BYTE>(longMetrics >> 8);
    b[35] = static_cast<BYTE>(longMetrics);
    return b;
}
// A format-4 subtable for platform 3 with one segment of the codes first..last
// mapped through a glyph-index range, and the closing segment.
Bytes SymbolCmap(WORD encoding, WORD first, WORD last, WORD firstGlyph) {
    Bytes sub;
    WORD n = static_cast<WORD>(last - first + 1);
    Be16(sub, 4);
    Be16(sub, static_cast<DWORD>(16 + 2 * 4 * 2 + 2 * n));
    Be16(sub, 0);
    Be16(sub, 4); // two segments
    Be16(sub, 4);
    Be16(sub, 1);
    Be16(sub, 0);
    Be16(sub, last);
    Be16(sub, 0xFFFF);
    Be16(sub, 0);
    Be16(sub, first);
    Be16(sub, 0xFFFF);
    Be16(sub, 0);
    Be16(sub, 1);
    Be16(sub, 4); // range offset: past the second entry, to the glyph array
    Be16(sub, 0);
    for (WORD i = 0; i < n; ++i)
        Be16(sub, static_cast<DWORD>(firstGlyph + i));
    Bytes cmap;
    Be16(cmap, 0);
    Be16(cmap, 1);
    Be16(cmap, 3);
    Be16(cmap, encoding);
    Be32(cmap, 12);
    cmap.insert(cmap.end(), sub.begin(), sub.end());
    return cmap;
}

TEST(SfntReader, DirectoryAndTablesMustLieInsideTheFile) {
    Bytes good = MakeFont({{"maxp", Maxp(3)}, {"head", Head(false)}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(good.data(), good.size()));
    EXPECT_EQ(f.NumGlyphs(), 3);
    struct Case {
        const char* what;
        size_t cut;     // bytes kept
        size_t patchAt; // a big-endian u32 written there (0: none)
        DWORD patch;
    } cases[] = {
        {"offset table cut", 10, 0, 0},
        {"directory cut", 20, 0, 0},
        {"table past the end", good.size(), 12 + 8, 0xFFFFFFF0},
        {"length past the end", good.size(), 12 + 12, 0x7FFFFFFF},
        {"offset and length wrapping", good.size(), 12 + 8, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        Bytes b(good.begin(), good.begin() + static_cast<ptrdiff_t>(c.cut));
        if (c.patchAt) {
            Bytes v;
            Be32(v, c.patch);
            std::copy(v.begin(), v.end(), b.begin() + static_cast<ptrdiff_t>(c.patchAt));
        }
        EXPECT_FALSE(f.ParseFontTable(b.data(), b.size())) << c.what;
    }
}

TEST(SfntReader, GlyphOffsetsShortAndLongAreChecked) {
    Bytes glyf(40, 0);
    Bytes shortLoca, longLoca;
    for (DWORD o : {0u, 20u, 20u, 40u})
        Be16(shortLoca, o / 2);
    for (DWORD o : {0u, 20u, 20u, 40u})
        Be32(longLoca, o);
    for (bool isLong : {false, true}) {
        Bytes font = MakeFont({{"glyf", glyf},
                               {"head", Head(isLong)},
                               {"loca", isLong ? longLoca : shortLoca},
                               {"maxp", Maxp(3)}});
        SfntFont f;
        ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
        const BYTE* d;
        DWORD n;
        ASSERT_TRUE(f.GlyphData(0, &d, &n));
        EXPECT_EQ(n, 20u);
        ASSERT_TRUE(f.GlyphData(1, &d, &n));
        EXPECT_EQ(n, 0u) << "a glyph without outline";
        EXPECT_TRUE(f.GlyphData(2, &d, &n));
        EXPECT_FALSE(f.GlyphData(3, &d, &n)) << "beyond the glyph count";
    }
    // A loca entry pointing past "glyf", and one going backwards.
    Bytes bad;
    for (DWORD o : {0u, 80u, 20u, 40u})
        Be16(bad, o / 2);
    Bytes font =
        MakeFont({{"glyf", glyf}, {"head", Head(false)}, {"loca", bad}, {"maxp", Maxp(3)}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
    const BYTE* d;
    DWORD n;
    EXPECT_FALSE(f.GlyphData(0, &d, &n));
    EXPECT_FALSE(f.GlyphData(1, &d, &n));
}

// An outline character's 16-bit size counts its head after the size field
// (4 bytes, 8 with metrics) and the glyph data: a glyph whose size would not
// fit is refused as too big, never sent with a cut size. Glyph 0 is 65,531
// bytes long (size 65,535 in class 0), glyph 1 one byte longer, glyph 2
// 65,527 (size 65,535 in class 1), glyph 3 one byte longer.
TEST(OutlineCharacters, SizeFieldLimit) {
    const DWORD lengths[] = {65531, 65532, 65527, 65528};
    Bytes glyf, loca;
    for (DWORD n : lengths) {
        Be32(loca, static_cast<DWORD>(glyf.size()));
        size_t at = glyf.size();
        glyf.resize(at + n, 0);
        glyf[at + 1] = 1; // one contour; the rest need not be an outline
    }
    Be32(loca, static_cast<DWORD>(glyf.size()));
    Bytes font =
        MakeFont({{"glyf", glyf}, {"head", Head(true)}, {"loca", loca}, {"maxp", Maxp(4)}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
    struct Case {
        WORD glyph;
        BYTE charClass;
        OutlineChar want;
    } cases[] = {{0, 0, OutlineChar::Ready},  {1, 0, OutlineChar::TooBig},
                 {2, 1, OutlineChar::Ready},  {3, 1, OutlineChar::TooBig},
                 {1, 1, OutlineChar::TooBig}, {4, 0, OutlineChar::Missing}};
    for (const Case& c : cases) {
        Bytes out;
        ASSERT_EQ(OutlineCharacter(f, c.glyph, c.charClass, &out), c.want)
            << c.glyph << " class " << int(c.charClass);
        if (c.want != OutlineChar::Ready) {
            EXPECT_TRUE(out.empty());
            continue;
        }
        EXPECT_EQ(out[0], 1);
        EXPECT_EQ(out[1], c.charClass);
        EXPECT_EQ(out[2] << 8 | out[3], 0xFFFF) << "the size field full, not wrapped";
        EXPECT_EQ(out.size(), 2u + 0xFFFF);
    }
}

TEST(SfntReader, CompositeRecordsAreWalkedWithinTheGlyph) {
    // Header (10 bytes), then components: words args + scale, more; byte args, last.
    Bytes g(10, 0);
    g[0] = 0xFF, g[1] = 0xFF;
    Be16(g, 0x0001 | 0x0008 | 0x0020);
    Be16(g, 7);
    Be32(g, 0);
    Be16(g, 0x4000);
    Be16(g, 0);
    Be16(g, 9);
    Be16(g, 0);
    SfntFont f;
    std::vector<WORD> parts;
    EXPECT_TRUE(f.Components(g.data(), static_cast<DWORD>(g.size()), &parts));
    EXPECT_EQ(parts, (std::vector<WORD>{7, 9}));
    // The same with the last record cut, and one whose more-bit never ends.
    EXPECT_FALSE(f.Components(g.data(), static_cast<DWORD>(g.size() - 1), &parts));
    Bytes endless = g;
    endless[endless.size() - 6] |= 0x00;
    endless[endless.size() - 5] |= 0x20;
    EXPECT_FALSE(f.Components(endless.data(), static_cast<DWORD>(endless.size()), &parts));
}

TEST(SfntReader, SymbolCmapGivesTheGlyphCountAndMapsTheF000Page) {
    struct Case {
        WORD encoding;
        WORD first, last, firstGlyph;
        WORD count;
    } cases[] = {
        {0, 0xF020, 0xF020 + 200, 100, 300}, // symbol: largest glyph reached
        {1, 0x0020, 0x0020 + 200, 100, 0},   // Unicode first: the engine's count stays
    };
    for (const Case& c : cases) {
        Bytes font = MakeFont({{"cmap", SymbolCmap(c.encoding, c.first, c.last, c.firstGlyph)}});
        SfntFont f;
        ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
        EXPECT_EQ(f.GetCmapGlyphCount(), c.count);
        EXPECT_EQ(f.MapCharacter(c.encoding == 0 ? 0x20 : 0x20), c.firstGlyph) << "first code";
        EXPECT_EQ(f.MapCharacter(0x19), 0);
    }
    // A subtable whose length runs past its table is not used.
    Bytes cmap = SymbolCmap(0, 0xF020, 0xF030, 5);
    cmap[12 + 2] = 0x7F;
    Bytes font = MakeFont({{"cmap", cmap}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
    EXPECT_EQ(f.GetCmapGlyphCount(), 0);
    EXPECT_EQ(f.MapCharacter(0x21), 0);
}

Bytes ReadCorpus(const char* name) {
    return render_test::ReadHostFile(std::string(PKG_FONT_CORPUS_DIR) + "/" + name);
}

TEST(SfntReader, CollectionMemberByPanoseAndUniqueName) {
    // Three members: another PANOSE; the PANOSE asked for named "Second";
    // the PANOSE asked for named "Unique".
    Bytes ttc = ReadCorpus("small.ttc");
    ASSERT_GT(ttc.size(), 24u);
    ASSERT_TRUE(SfntFont::IsCollection(ttc.data(), ttc.size()));
    DWORD members[3] = {BigU32(ttc.data() + 12), BigU32(ttc.data() + 16), BigU32(ttc.data() + 20)};
    const BYTE asked[10] = {2, 11, 6, 4, 2, 2, 2, 2, 2, 4},
               none[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    struct Case {
        const BYTE* panose;
        const char16_t* unique;
        DWORD member;
    } cases[] = {{asked, u"Unique", members[2]},
                 {asked, u"Second", members[1]},
                 {asked, u"Nobody", members[1]},
                 {none, u"Unique", members[0]}};
    for (const Case& c : cases) {
        DWORD at = 0;
        ASSERT_TRUE(SfntFont::ChooseMember(ttc.data(), ttc.size(), c.panose, c.unique, &at));
        EXPECT_EQ(at, c.member);
        SfntFont f;
        ASSERT_TRUE(f.ParseFontTable(ttc.data(), ttc.size(), at));
        EXPECT_EQ(f.MapCharacter(u'B'), 2);
        const BYTE* g;
        DWORD n;
        ASSERT_TRUE(f.GlyphData(2, &g, &n));
        std::vector<WORD> parts;
        EXPECT_TRUE(f.Components(g, n, &parts));
        EXPECT_EQ(parts, (std::vector<WORD>{1, 1}));
    }
    // A member table beyond the file, and a count of members past its end.
    Bytes cut(ttc.begin(), ttc.begin() + 16);
    DWORD at;
    EXPECT_FALSE(SfntFont::ChooseMember(cut.data(), cut.size(), asked, u"Unique", &at));
}

TEST(GtSegment, DirectoryOrderOffsetsAndPadding) {
    Bytes cvt = {1, 2, 3, 4, 5, 6};
    Bytes font = MakeFont({{"cvt ", cvt},
                           {"fpgm", Bytes(8, 1)},
                           {"head", Head(false)},
                           {"hhea", Hhea(1)},
                           {"hmtx", Bytes(4, 2)},
                           {"maxp", Maxp(1)},
                           {"prep", Bytes(4, 3)}});
    SfntFont f;
    ASSERT_TRUE(f.ParseFontTable(font.data(), font.size()));
    Bytes gt;
    ASSERT_TRUE(WriteGtSegment(f, &gt, false));
    auto u32 = [&](size_t at) { return BigU32(gt.data() + at); };
    EXPECT_EQ(BigU16(gt.data() + 4), 8) << "seven tables and gdir";
    EXPECT_EQ(u32(12 + 2 * 16), SfntTag('g', 'd', 'i', 'r')) << "gdir third";
    EXPECT_EQ(u32(12 + 2 * 16 + 8), 0u);
    EXPECT_EQ(u32(12 + 2 * 16 + 12), 0u);
    EXPECT_EQ(u32(12 + 8), 140u) << "the first table's data";
    EXPECT_EQ(u32(12 + 12), 8u) << "cvt length rounded up";
    EXPECT_EQ(gt[140 + 6], 0);
    EXPECT_EQ(gt[140 + 7], 0);
    // Without "hmtx" the segment cannot be built.
    Bytes missing = MakeFont({{"head", Head(false)}, {"hhea", Hhea(1)}, {"maxp", Maxp(1)}});
    ASSERT_TRUE(f.ParseFontTable(missing.data(), missing.size()));
    EXPECT_FALSE(WriteGtSegment(f, &gt, false));
    // Characters with metrics need neither "hhea" nor "hmtx": the font
    // without "hmtx" serves, and its "hhea" is left out.
    ASSERT_TRUE(WriteGtSegment(f, &gt, true));
    ASSERT_EQ(BigU16(gt.data() + 4), 3) << "gdir, head and maxp";
    EXPECT_EQ(BigU32(gt.data() + 12 + 16), SfntTag('h', 'e', 'a', 'd'));
    EXPECT_EQ(BigU32(gt.data() + 12 + 32), SfntTag('m', 'a', 'x', 'p'));
}

// Simulated bold of double-byte bitmap glyphs: the pixels added, and the rows
// or-ed with their shifted copies across bytes but never across rows.
TEST(TextHelpers, DoubleByteBitmapBold) {
    struct {
        LONG bold, height, dpi, pixels;
    } cases[] = {{3, 10, 600, 3}, {0, 84, 600, 1}, {0, 83, 600, 0},
                 {0, 84, 300, 2}, {0, 84, 7, 0},   {0, 84, 0, 0}};
    for (auto c : cases)
        EXPECT_EQ(BitmapBoldPixels(c.bold, c.height, c.dpi), c.pixels)
            << c.bold << " " << c.height << " " << c.dpi;
    const BYTE rows[] = {0x81, 0x01};
    EXPECT_EQ(WidenGlyphRows(rows, 8, 2, 2), (Bytes{0xE1, 0xC0, 0x01, 0xC0}));
    const BYTE narrow[] = {0x40, 0x80};
    EXPECT_EQ(WidenGlyphRows(narrow, 3, 2, 1), (Bytes{0x60, 0xC0})) << "one byte holds 4 pixels";
    EXPECT_TRUE(IsDoubleByteCharSet(128));
    EXPECT_FALSE(IsDoubleByteCharSet(0));
}

TEST(TextHelpers, IntHypotAndClasses) {
    EXPECT_EQ(IntHypot(3, 4), 5);
    EXPECT_EQ(IntHypot(0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(IntHypot(-0x7FFFFFFF - 1, 0), 0x7FFFFFFF);
    struct {
        WORD set;
        DWORD cls;
    } sets[] = {{14, 1},    {629, 1}, {114, 2}, {334, 2}, {460, 4},
                {18540, 4}, {277, 1}, {0, 0},   {1, 0}};
    for (auto s : sets)
        EXPECT_EQ(SymbolSetClass(s.set), s.cls) << s.set;
    const WCHAR latin[] = u"Caf\xE9", cyr[] = u"ab\x0416", other[] = u"\x65E5";
    EXPECT_EQ(ClassifyRunCharacters(latin, 4, 0), 1u);
    EXPECT_EQ(ClassifyRunCharacters(cyr, 3, 0), 2u);
    EXPECT_EQ(ClassifyRunCharacters(other, 1, 0), 0u);
    EXPECT_EQ(ClassifyRunCharacters(latin, 4, 2), 4u);
}

// --- pages of text through GDI -------------------------------------------------

class TextPage : public ::testing::Test {
  protected:
    void SetUp() override {
        render_test::InstallPrinter(u"P1", render_test::SampleModel("CX5540"));
    }
    void TearDown() override {
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        EXPECT_EQ(platform::test::LiveHeapAllocations(), 0);
    }

  public:
    // Prints `pages` pages, each drawn by `draw`, in transparent text;
    // returns the job's bytes.
    static Bytes Print(int pages, const std::function<void(HDC)>& draw,
                       const DEVMODEW* devmode = nullptr) {
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, devmode);
        EXPECT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Text", nullptr, nullptr, 0};
        int job = StartDocW(hdc, &di);
        EXPECT_GT(job, 0);
        for (int page = 0; page < pages; ++page) {
            EXPECT_GT(StartPage(hdc), 0);
            SetBkMode(hdc, TRANSPARENT);
            draw(hdc);
            EXPECT_GT(EndPage(hdc), 0);
        }
        EXPECT_GT(EndDoc(hdc), 0);
        EXPECT_TRUE(DeleteDC(hdc));
        return job > 0 ? render_test::JobOutput(static_cast<DWORD>(job)) : Bytes{};
    }
    static HFONT Arial(LONG height) {
        LOGFONTW lf{};
        lf.lfHeight = height;
        std::u16string face = u"Arial";
        std::copy(face.begin(), face.end(), lf.lfFaceName);
        return CreateFontIndirectW(&lf);
    }
};

size_t Count(const Bytes& b, const Bytes& what) {
    size_t n = 0;
    for (auto it = b.begin(); (it = std::search(it, b.end(), what.begin(), what.end())) != b.end();
         ++it)
        ++n;
    return n;
}

TEST_F(TextPage, OneFaceAtTwoSizesOnTwoPagesIsDownloadedOnceAndEachGlyphOnce) {
    HFONT a = Arial(-100), b = Arial(-200);
    Bytes stream = Print(2, [&](HDC hdc) {
        HGDIOBJ old = SelectObject(hdc, a);
        EXPECT_TRUE(TextOutW(hdc, 300, 300, u"abcab", 5));
        SelectObject(hdc, b);
        EXPECT_TRUE(TextOutW(hdc, 300, 600, u"cab", 3));
        SelectObject(hdc, old);
    });
    DeleteObject(a);
    DeleteObject(b);
    // One font header; the glyphs a, b and c each once; four text runs.
    EXPECT_EQ(Count(stream, {0xF8, 0xA9, 0x4F}), 1u);
    EXPECT_EQ(Count(stream, {0xF8, 0xA3, 0x53}), 3u);
    EXPECT_EQ(Count(stream, {0xF8, 0xAB}), 4u);
    EXPECT_EQ(Count(stream, {0xF8, 0xA6, 0xC1, 0, 0, 0xF8, 0xAA, 0x6F}), 4u) << "a size per run";
}

// A big "H" printed in red and drawn back from the stream: its stem is red,
// its counter paper; a download whose glyph data is spoilt draws nothing.
TEST_F(TextPage, PrintedTextIsDrawnFromTheDownloadedFont) {
    HFONT f = Arial(-600);
    Bytes stream = Print(1, [&](HDC hdc) {
        HGDIOBJ old = SelectObject(hdc, f);
        SetTextAlign(hdc, TA_BASELINE);
        SetTextColor(hdc, RGB(255, 0, 0));
        EXPECT_TRUE(TextOutW(hdc, 1000, 2000, u"H", 1));
        SelectObject(hdc, old);
    });
    DeleteObject(f);
    auto render = [](const Bytes& s) {
        streamdump::Decoding d = streamdump::Decode(s);
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<streamdump::PageImage> pages =
            streamdump::RenderPages(s.data(), s.size(), d, 2000);
        EXPECT_EQ(pages.size(), 1u);
        return pages.empty() ? streamdump::PageImage{} : pages[0];
    };
    streamdump::PageImage page = render(stream);
    auto at = [&](double x, double y) {
        return page.Pixel(page.originX + static_cast<int>(std::lround(x * page.scale)),
                          page.originY + static_cast<int>(std::lround(y * page.scale)));
    };
    // Liberation Sans "H": left stem from about 48 to 98 dots, cap height 412.
    EXPECT_EQ(at(1072, 1800), 0xFF0000);
    EXPECT_EQ(at(1072, 1620), 0xFF0000);
    EXPECT_EQ(at(1200, 1700), 0xFFFFFF) << "the counter above the bar";
    EXPECT_EQ(at(1072, 2100), 0xFFFFFF) << "below the baseline";
    // The same stream with the glyph's outline data spoilt (its contour
    // count made absurd): FreeType cannot read it and nothing is drawn.
    Bytes spoilt = stream;
    Bytes readChar = {0xF8, 0xA3, 0x53, 0xFA};
    auto it = std::search(spoilt.begin(), spoilt.end(), readChar.begin(), readChar.end());
    ASSERT_NE(it, spoilt.end());
    size_t data = static_cast<size_t>(it - spoilt.begin()) + 8; // past the length
    // The glyph's contour count, after the character head: 6 bytes, or 10
    // when the character carries its metrics (class 1).
    spoilt[data + (spoilt[data + 1] == 1 ? 10 : 6)] = 0x7F;
    page = render(spoilt);
    EXPECT_EQ(at(1072, 1800), 0xFFFFFF);
}

// The share of black pixels in the left stem of a red "H" printed on a
// banded page (the engine draws each band, the page goes out as JBIG),
// with all-text-black on or off in the device mode; -1 when the page did
// not come out.
double BlackInBandedStem(HFONT f, bool allBlack) {
    DevmodeImage d = render_test::OwnDevmode(u"P1");
    SetPrivU32(d, priv::FeatureFlags, 1u << 16 | (allBlack ? 1u << 10 : 0));
    SetPrivU16(d, priv::GraphicsMode, 1);
    SetPrivU16(d, priv::HalftoneKind, 1); // 24-bit bands, halftoned to 1 bit
    SetPrivU16(d, priv::TextAsBlack, 1);
    Bytes stream = TextPage::Print(
        1,
        [&](HDC hdc) {
            HGDIOBJ old = SelectObject(hdc, f);
            SetTextAlign(hdc, TA_BASELINE);
            SetTextColor(hdc, RGB(255, 0, 0));
            EXPECT_TRUE(TextOutW(hdc, 1000, 2000, u"H", 1));
            SelectObject(hdc, old);
        },
        &d.dm);
    streamdump::Decoding dec = streamdump::Decode(stream);
    std::vector<streamdump::JbigPage> pages;
    streamdump::CheckImages(stream.data(), stream.size(), &dec, &pages);
    EXPECT_EQ(pages.size(), 1u) << streamdump::Format(dec);
    long w = 0, h = 0;
    std::vector<std::uint8_t> bits;
    std::string problem;
    if (pages.size() != 1 || !streamdump::DecodeJbig(pages[0].entity, &w, &h, &bits, &problem))
        return -1.0;
    // The left stem of Liberation Sans "H" at 600 pixels: x 1050-1095,
    // from the baseline up to the cap height (430 pixels).
    size_t black = 0, all = 0;
    const size_t stride = static_cast<size_t>(w + 7) / 8;
    for (long y = 1600; y < 1990 && y < h; ++y)
        for (long x = 1055; x < 1090 && x < w; ++x, ++all)
            black +=
                bits[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8] >> (7 - x % 8) &
                1;
    return all ? static_cast<double>(black) / static_cast<double>(all) : -1.0;
}

// A banded page: the driver gets the text, so a red "H" comes out solid
// black under all-text-black, and halftoned without it.
TEST_F(TextPage, AllTextBlackOnABandedPage) {
    HFONT f = Arial(-600);
    EXPECT_EQ(BlackInBandedStem(f, true), 1.0) << "solid black";
    double red = BlackInBandedStem(f, false);
    EXPECT_GT(red, 0.0) << "red is halftoned";
    EXPECT_LT(red, 0.9);
    DeleteObject(f);
}

// The debug settings beside the driver turn all-text-black off with a text
// colour mode of 0: the red "H" is halftoned although the device mode asks
// for black; any other mode leaves the device mode's choice.
TEST_F(TextPage, DebugTextColourModeZeroTurnsAllTextBlackOff) {
    const std::string ini =
        platform::HostPath(platform::spooler::DriversFolder() + u"\\P1\\QRLADGNT.INI");
    HFONT f = Arial(-600);
    for (int mode : {0, 1}) {
        {
            std::ofstream out(ini);
            out << "[COLOR]\r\nAllTextBlackMode=" << mode << "\r\n";
        }
        double share = BlackInBandedStem(f, true);
        if (mode == 0) {
            EXPECT_GT(share, 0.0) << "red is halftoned";
            EXPECT_LT(share, 0.9);
        } else {
            EXPECT_EQ(share, 1.0) << "solid black";
        }
    }
    std::remove(ini.c_str());
    DeleteObject(f);
}

// Where a metafile's frame lies on the page, in millimetres.
struct Frame {
    double left, top, width, height;
};

// Prints a page exported as EMF by an outside writer, its frame onto `frame`
// of the page at 600 dots per inch, and renders it back; expects `faces`
// faces downloaded and no record passed over.
streamdump::PageImage PrintOutsidePage(const char* name, const Frame& frame, size_t faces) {
    Bytes emf = render_test::ReadHostFile(std::string(PKG_TEXT_FIXTURES_DIR) + "/" + name);
    EXPECT_GT(emf.size(), 1000u);
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(emf.size()), emf.data());
    EXPECT_NE(h, nullptr);
    if (!h) return {};
    platform::test::ClearSkippedEmfRecords();
    auto dots = [](double mm) { return static_cast<LONG>(mm / 25.4 * 600); };
    Bytes stream = TextPage::Print(1, [&](HDC hdc) {
        RECT page{dots(frame.left), dots(frame.top), dots(frame.left + frame.width),
                  dots(frame.top + frame.height)};
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &page));
    });
    DeleteEnhMetaFile(h);
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
    EXPECT_GE(Count(stream, {0xF8, 0xA9, 0x4F}), faces) << "each face downloaded";
    streamdump::Decoding d = streamdump::Decode(stream);
    EXPECT_EQ(d.problems, 0u);
    std::vector<streamdump::PageImage> pages =
        streamdump::RenderPages(stream.data(), stream.size(), d, 2000);
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? streamdump::PageImage{} : pages[0];
}

// Pixels of `color` within a box given in millimetres on a page rendered
// from 600 dots per inch.
int CountInBox(const streamdump::PageImage& img, double l, double t, double r, double b,
               long color) {
    auto px = [&](double mm) { return static_cast<int>(mm / 25.4 * 600 * img.scale); };
    int n = 0;
    for (int y = px(t); y < px(b); ++y)
        for (int x = px(l); x < px(r); ++x)
            n += img.Pixel(x, y) == color;
    return n;
}

// A page of text exported by Inkscape (three faces, a turned line) prints
// with its text where the drawing has it: the title blue along its line, the
// turned stamp red around its place, each face selected at its own size.
TEST_F(TextPage, InkscapeTextPagePrintsWithItsText) {
    streamdump::PageImage img = PrintOutsidePage("inkscape_text.emf", {0, 0, 210, 297}, 3);
    EXPECT_GT(CountInBox(img, 20, 22, 100, 31, 0x003366), 200) << "the title on its line";
    EXPECT_EQ(CountInBox(img, 20, 60, 100, 140, 0x003366), 0);
    EXPECT_GT(CountInBox(img, 110, 115, 175, 155, 0xC81E1E), 200) << "the turned stamp";
    EXPECT_EQ(CountInBox(img, 20, 115, 100, 155, 0xC81E1E), 0) << "nothing left of its start";
}

// The same for a page of text exported by LibreOffice Draw, which frames the
// drawing at 190 x 277 mm from (10, 10) mm on an A4 page: Liberation Sans,
// Serif and Mono at their sizes, and the stamp turned 30 degrees up from its
// start at about (128, 149) mm.
TEST_F(TextPage, LibreOfficeTextPagePrintsWithItsText) {
    streamdump::PageImage img = PrintOutsidePage("libreoffice-text.emf", {10, 10, 190, 277}, 3);
    EXPECT_GT(CountInBox(img, 22, 30, 120, 42, 0x003366), 200) << "the title on its line";
    EXPECT_EQ(CountInBox(img, 0, 45, 210, 297, 0x003366), 0) << "no title below its line";
    EXPECT_GT(CountInBox(img, 22, 45, 110, 52, 0x000000), 100) << "the serif line";
    EXPECT_GT(CountInBox(img, 22, 54, 65, 60, 0x000000), 100) << "the mono line";
    EXPECT_EQ(CountInBox(img, 20, 62, 120, 110, 0x000000), 0) << "nothing below them";
    EXPECT_GT(CountInBox(img, 125, 110, 190, 155, 0xC81E1E), 200) << "the turned stamp";
    EXPECT_EQ(CountInBox(img, 20, 105, 122, 170, 0xC81E1E), 0) << "nothing left of its start";
    EXPECT_EQ(CountInBox(img, 125, 160, 210, 200, 0xC81E1E), 0) << "nothing below its start";
}

} // namespace
