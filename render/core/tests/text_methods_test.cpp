// Each text method on a small run, called on a physical device and read
// back token by token with the stream decoder: outlines, bitmaps, a printer
// font and glyph images; a glyph goes to the printer once per job, and a
// bitmap font that grows past its glyph limit is retired and sent anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "font_download.h"
#include "hooks.h"
#include "imaging_state.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_ctl.h"
#include "platform/engine_fonts.h"
#include "render_fixture.h"
#include "sfnt_reader.h"
#include "streamdump/images.h"
#include "streamdump/decoder.h"
#include "text_fonts.h"
#include "vector_pattern.h"
#include "vector_state.h"
#include "win/base.h"

namespace {

using namespace inkforge;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// A physical device of the driver's own device mode and the sans face;
// every font object made goes to DrvDestroyFont at the end.
class TextDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        file = platform::engine::LoadFontFile(kSans);
        ASSERT_TRUE(file) << kSans;
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->devmode = render_test::OwnDevmode();
    }
    void TearDown() override {
        for (FONTOBJ* f : fonts)
            DrvDestroyFont(f);
        platform::engine::ReleaseDeviceFonts(nullptr);
        FreePdev(pdev);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
    }
    FONTOBJ* MakeFont(double scale, const std::u16string& face, BYTE charSet = 0,
                      bool bold = false) {
        platform::engine::FontRealization r;
        r.file = file;
        r.m11 = r.m22 = scale;
        r.faceName = face;
        r.charSet = charSet;
        r.simBold = bold;
        FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
        if (f) fonts.push_back(f);
        return f;
    }

    std::shared_ptr<const platform::engine::FontFileData> file;
    PDEV* pdev = nullptr;
    std::vector<FONTOBJ*> fonts;
};

class TextMethods : public TextDevice {
  protected:
    void SetUp() override {
        TextDevice::SetUp();
        if (HasFatalFailure()) return;
        pdev->jobFlags = job::Started | job::PageOpen;
        pdev->docStarted = 1;
        pdev->pageCount = 1;
        surface.dhpdev = reinterpret_cast<DHPDEV>(pdev);
        surface.sizlBitmap = SIZEL{4800, 6600};
        StartCapture(pdev);
        font = Font(0.05);
    }
    FONTOBJ* Font(double scale, const std::u16string& face = u"Arial") {
        return MakeFont(scale, face);
    }
    void SetTextMode(WORD mode) { SetPrivU16(pdev->devmode, inkforge::priv::FontMode, mode); }
    // Draws the characters at 100-pixel steps from (200, 300).
    BOOL Draw(const std::u16string& text, FONTOBJ* f = nullptr) {
        f = f ? f : font;
        platform::engine::FontRealization r;
        r.file = file;
        std::vector<platform::engine::PlacedGlyph> glyphs;
        for (size_t i = 0; i < text.size(); ++i)
            glyphs.push_back(
                {platform::engine::GlyphIndexOf(r, text[i]), POINTL{200 + 100 * LONG(i), 300}});
        STROBJ* s =
            platform::engine::CreateStrObj(f, glyphs, text, 0, 0, false, SO_HORIZONTAL, 0, 1252);
        BRUSHOBJ fore{};
        BOOL ok = DrvTextOut(&surface, s, f, nullptr, nullptr, nullptr, &fore, nullptr, nullptr,
                             R2_COPYPEN);
        platform::engine::DeleteStrObj(s);
        return ok;
    }
    BOOL DrawGlyphs(const std::vector<HGLYPH>& hg) {
        std::vector<platform::engine::PlacedGlyph> glyphs;
        for (size_t i = 0; i < hg.size(); ++i)
            glyphs.push_back({hg[i], POINTL{200 + 40 * LONG(i), 300}});
        STROBJ* s = platform::engine::CreateStrObj(font, glyphs, u"", 0, 0, true,
                                                   SO_HORIZONTAL | SO_GLYPHINDEX_TEXT, 0, 1252);
        BRUSHOBJ fore{};
        BOOL ok = DrvTextOut(&surface, s, font, nullptr, nullptr, nullptr, &fore, nullptr, nullptr,
                             R2_COPYPEN);
        platform::engine::DeleteStrObj(s);
        return ok;
    }
    Bytes Take() {
        const auto* p = static_cast<const std::uint8_t*>(pdev->captureBlock);
        Bytes b(p, p + pdev->captureLength);
        pdev->captureLength = 0;
        return b;
    }
    // The operators of the stream, in order.
    static streamdump::Decoding DecodeTokens(const Bytes& b) {
        // The tokens as they stand in a job, after the language switch.
        std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
        Bytes job(head.begin(), head.end());
        job.insert(job.end(), b.begin(), b.end());
        return streamdump::Decode(job);
    }
    static std::vector<std::string> Operators(const Bytes& b) {
        streamdump::Decoding d = DecodeTokens(b);
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<std::string> out;
        for (const auto& i : d.items)
            if (i.kind == streamdump::ItemKind::Token) out.push_back(i.text);
        return out;
    }
    static size_t Count(const std::vector<std::string>& ops, const std::string& op) {
        return static_cast<size_t>(std::count(ops.begin(), ops.end(), op));
    }

    SURFOBJ surface{};
    FONTOBJ* font = nullptr;

  public:
    SURFOBJ& Surface() { return surface; }
};

TEST_F(TextMethods, OutlinesHeaderGlyphsSelectionAndRun) {
    ASSERT_TRUE(Draw(u"Hi!"));
    std::vector<std::string> expected = {"begin font header",
                                         "read font header",
                                         "end font header",
                                         "begin char",
                                         "read char",
                                         "read char",
                                         "read char",
                                         "end char",
                                         "set char shear",
                                         "set char scale",
                                         "set char angle",
                                         "set char bold value",
                                         "set font",
                                         "set brush source",
                                         "set pen source",
                                         "set raster operation",
                                         "set paint transfer mode",
                                         "set source transfer mode",
                                         "set cursor",
                                         "text"};
    std::vector<std::string> ops = Operators(Take());
    // The clip, when sent, comes first.
    ops.erase(std::remove(ops.begin(), ops.end(), "set clip rectangle"), ops.end());
    EXPECT_EQ(ops, expected);
    // The same characters again: no download, nothing that did not change.
    ASSERT_TRUE(Draw(u"iH"));
    EXPECT_EQ(Operators(Take()), (std::vector<std::string>{"set cursor", "text"}));
}

// Text paints its brush opaque and lets the background of its glyphs through.
TEST_F(TextMethods, TextPaintsOpaqueOverATransparentSource) {
    ASSERT_TRUE(Draw(u"Hi"));
    const std::string listing = streamdump::Format(DecodeTokens(Take()));
    EXPECT_NE(listing.find("set paint transfer mode  transfer mode=ubyte 0"), std::string::npos)
        << listing;
    EXPECT_NE(listing.find("set source transfer mode  transfer mode=ubyte 1"), std::string::npos)
        << listing;
}

// The font header (its read-font-header pieces joined) and the character
// data of a stream.
struct Download {
    Bytes header;
    std::vector<Bytes> chars;
    std::vector<std::string> ops;
};
Download ReadDownload(const Bytes& out) {
    std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
    Bytes job(head.begin(), head.end());
    job.insert(job.end(), out.begin(), out.end());
    streamdump::Decoding d = streamdump::Decode(job);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Download r;
    for (const auto& item : d.items) {
        if (item.kind != streamdump::ItemKind::Token) continue;
        r.ops.push_back(item.text);
        if (!item.token.hasData) continue;
        auto from = job.begin() + static_cast<long>(item.token.dataOffset);
        Bytes data(from, from + static_cast<long>(item.token.dataSize));
        if (item.opcode == 0x50) r.header.insert(r.header.end(), data.begin(), data.end());
        if (item.opcode == 0x53) r.chars.push_back(data);
    }
    return r;
}
unsigned Be16At(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? unsigned(b[at] << 8 | b[at + 1]) : 0;
}
unsigned Be32At(const Bytes& b, size_t at) {
    return Be16At(b, at) << 16 | Be16At(b, at + 2);
}

// A device that asks for character metrics and the "GC" segment: the header
// holds "GT" without "hhea"/"hmtx", then "GC"; every character, the space
// without outline data too, goes as class 1 with its size counting 8 bytes.
TEST_F(TextMethods, CharactersWithMetricsAndTheClassSegment) {
    Fonts(pdev)->glyphMetrics = true;
    Fonts(pdev)->classSegment = true;
    ASSERT_TRUE(Draw(u" H"));
    Download d = ReadDownload(Take());
    const Bytes& header = d.header;
    const std::vector<Bytes>& chars = d.chars;
    // Segments after the descriptor: "GT", "GC" (0, 0xFFFF, 0), the null one.
    ASSERT_GE(header.size(), 8u + 6 + 12);
    ASSERT_EQ(Be16At(header, 8), unsigned('G' << 8 | 'T'));
    for (unsigned i = 0; i < Be16At(header, 14 + 4); ++i) {
        unsigned tag = Be32At(header, 14 + 12 + 16 * i);
        EXPECT_NE(tag, 0x68686561u) << "no hhea";
        EXPECT_NE(tag, 0x686D7478u) << "no hmtx";
    }
    size_t gc = 14 + Be32At(header, 10);
    ASSERT_EQ(header.size(), gc + 12 + 6);
    EXPECT_EQ(Bytes(header.begin() + static_cast<long>(gc), header.end()),
              (Bytes{'G', 'C', 0, 0, 0, 6, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0}));
    ASSERT_EQ(chars.size(), 2u) << "the space goes too";
    for (const Bytes& c : chars) {
        ASSERT_GE(c.size(), 10u);
        EXPECT_EQ(c[0], 1);
        EXPECT_EQ(c[1], 1) << "class 1";
        EXPECT_EQ(Be16At(c, 2), c.size() - 2) << "glyph data + 8";
        EXPECT_GT(Be16At(c, 6), 0u) << "an advance from hmtx";
    }
    EXPECT_EQ(chars[0].size(), 10u) << "the space has no outline";
    EXPECT_GT(chars[1].size(), 10u);
}

// What the device asks for follows its graphics language: from version 2.0
// on characters carry their metrics and the header its "GC" segment; a 1.x
// printer gets characters without metrics and no "GC".
TEST_F(TextMethods, CharacterClassFollowsTheGraphicsLanguage) {
    struct {
        DWORD version;
        BYTE charClass;
    } cases[] = {{0x10001, 0}, {0x20000, 1}, {0x20001, 1}, {0x30000, 1}};
    for (auto c : cases) {
        FreeFontTable(pdev);
        for (FONTOBJ* f : fonts)
            f->pvConsumer = nullptr; // the records went with the table
        pdev->graphicsVersion = c.version;
        FONTOBJ* f = Font(0.05 + 0.001 * c.version / 0x10000);
        ASSERT_TRUE(Draw(u"H", f));
        Download d = ReadDownload(Take());
        ASSERT_EQ(d.chars.size(), 1u) << std::hex << c.version;
        EXPECT_EQ(d.chars[0][1], c.charClass) << std::hex << c.version;
        Bytes gc = {'G', 'C', 0, 0, 0, 6};
        bool hasGc =
            std::search(d.header.begin(), d.header.end(), gc.begin(), gc.end()) != d.header.end();
        EXPECT_EQ(hasGc, c.charClass == 1) << std::hex << c.version;
    }
}

// The font file with one glyph's data padded with zeros past what a
// character's 16-bit size holds ("loca" made long; a rasterizer reads only
// the outline at the start of the data).
Bytes WithHugeGlyph(const Bytes& file, WORD huge, size_t padding) {
    SfntFont font;
    if (!font.ParseFontTable(file.data(), file.size())) return {};
    Bytes glyf, loca;
    auto put32 = [](Bytes& b, DWORD v) {
        for (int i = 3; i >= 0; --i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (WORD g = 0; g < font.NumGlyphs(); ++g) {
        put32(loca, static_cast<DWORD>(glyf.size()));
        const BYTE* d;
        DWORD n;
        if (!font.GlyphData(g, &d, &n)) return {};
        glyf.insert(glyf.end(), d, d + n);
        if (g == huge) glyf.resize(glyf.size() + padding, 0);
        glyf.resize((glyf.size() + 3) / 4 * 4, 0);
    }
    put32(loca, static_cast<DWORD>(glyf.size()));
    std::vector<std::pair<DWORD, Bytes>> tables;
    for (const SfntTable& t : font.Tables()) {
        Bytes data(file.begin() + t.offset, file.begin() + t.offset + t.length);
        if (t.tag == SfntTag('g', 'l', 'y', 'f')) data = glyf;
        if (t.tag == SfntTag('l', 'o', 'c', 'a')) data = loca;
        if (t.tag == SfntTag('h', 'e', 'a', 'd') && data.size() >= 52) data[50] = 0, data[51] = 1;
        tables.emplace_back(t.tag, std::move(data));
    }
    Bytes out;
    put32(out, font.Version());
    out.push_back(static_cast<std::uint8_t>(tables.size() >> 8));
    out.push_back(static_cast<std::uint8_t>(tables.size()));
    for (WORD v : {font.SearchRange(), font.EntrySelector(), font.RangeShift()}) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    }
    DWORD offset = static_cast<DWORD>(12 + 16 * tables.size());
    for (const auto& [tag, data] : tables) {
        put32(out, tag);
        put32(out, 0);
        put32(out, offset);
        put32(out, static_cast<DWORD>(data.size()));
        offset += static_cast<DWORD>((data.size() + 3) / 4 * 4);
    }
    for (const auto& [tag, data] : tables) {
        out.insert(out.end(), data.begin(), data.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

// A glyph whose outline data would pass the character's 16-bit size goes
// out as a glyph image at its place, not as a character with a cut size;
// the run holds the other glyphs.
TEST_F(TextMethods, GlyphTooBigForACharacterGoesAsAnImage) {
    platform::engine::FontRealization plain;
    plain.file = file;
    const WORD h = static_cast<WORD>(platform::engine::GlyphIndexOf(plain, 'H'));
    Bytes huge = WithHugeGlyph(Bytes(file->bytes.begin(), file->bytes.end()), h, 70000);
    ASSERT_FALSE(huge.empty());
    std::string path = ::testing::TempDir() + "/huge_glyph.ttf";
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(huge.data(), 1, huge.size(), out), huge.size());
    std::fclose(out);
    platform::engine::FontRealization r;
    r.file = platform::engine::LoadFontFile(path);
    std::remove(path.c_str());
    ASSERT_TRUE(r.file);
    r.m11 = r.m22 = 0.05;
    r.faceName = u"Huge";
    FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
    ASSERT_NE(f, nullptr);
    fonts.push_back(f);
    for (BYTE charClass : {0, 1}) {
        FreeFontTable(pdev);
        f->pvConsumer = nullptr;
        pdev->graphicsVersion = charClass ? 0x20000 : 0x10001;
        ASSERT_TRUE(Draw(u"IHI", f));
        Download d = ReadDownload(Take());
        ASSERT_EQ(d.chars.size(), 1u) << "only I";
        EXPECT_EQ(Be16At(d.chars[0], 2), d.chars[0].size() - 2);
        EXPECT_EQ(Count(d.ops, "read image"), 1u) << "H as an image";
        EXPECT_EQ(Count(d.ops, "text"), 1u);
        // Nothing of H is a character, and the next run sends it again as an image.
        ASSERT_TRUE(Draw(u"H", f));
        d = ReadDownload(Take());
        EXPECT_EQ(d.chars.size(), 0u);
        EXPECT_EQ(Count(d.ops, "read image"), 1u);
    }
}

// A new physical device between pages keeps the job's downloaded fonts: the
// characters sent before are not sent again, a new one is, without a header.
TEST_F(TextMethods, DownloadedFontsAreCarriedOverANewDevice) {
    ASSERT_TRUE(Draw(u"ab"));
    Take();
    PDEV* next = AllocatePdev();
    ASSERT_NE(next, nullptr);
    next->devmode = pdev->devmode;
    ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(pdev), reinterpret_cast<DHPDEV>(next)));
    EXPECT_EQ(pdev->fontTable, nullptr);
    FreePdev(pdev);
    pdev = next;
    pdev->jobFlags |= job::PageOpen;
    surface.dhpdev = reinterpret_cast<DHPDEV>(pdev);
    StartCapture(pdev);
    ASSERT_TRUE(Draw(u"abc"));
    std::vector<std::string> ops = Operators(Take());
    EXPECT_EQ(Count(ops, "begin font header"), 0u);
    EXPECT_EQ(Count(ops, "read char"), 1u) << "only c";
    EXPECT_EQ(Count(ops, "set font"), 1u) << "selected anew";
}

TEST_F(TextMethods, OneFileAtTwoSizesIsOneDownloadWithTwoCharacterSizes) {
    FONTOBJ* big = Font(0.1);
    ASSERT_TRUE(Draw(u"ab"));
    ASSERT_TRUE(Draw(u"ab", big));
    std::vector<std::string> ops = Operators(Take());
    EXPECT_EQ(Count(ops, "begin font header"), 1u);
    EXPECT_EQ(Count(ops, "read char"), 2u);
    EXPECT_EQ(Count(ops, "set font"), 2u);
}

TEST_F(TextMethods, ThirtyFirstFontObjectOfOneFileGetsASecondDownload) {
    for (int i = 0; i < 31; ++i)
        ASSERT_TRUE(Draw(u"a", Font(0.01 + 0.001 * i)));
    EXPECT_EQ(Count(Operators(Take()), "begin font header"), 2u);
}

TEST_F(TextMethods, BitmapsWithTheirResolutionSegment) {
    SetTextMode(FONTMODE_TEXT_AS_BITMAPS);
    ASSERT_TRUE(Draw(u"Ab"));
    Bytes b = Take();
    std::vector<std::string> ops = Operators(b);
    EXPECT_EQ(Count(ops, "begin font header"), 1u);
    EXPECT_EQ(Count(ops, "read char"), 2u);
    EXPECT_EQ(Count(ops, "text"), 1u);
    // Scaling technology 254 and the "BR" segment.
    Bytes br = {'B', 'R', 0, 0, 0, 4};
    EXPECT_NE(std::search(b.begin(), b.end(), br.begin(), br.end()), b.end());
}

TEST_F(TextMethods, BitmapFontPastItsGlyphLimitIsRetiredAndSentAnew) {
    SetTextMode(FONTMODE_TEXT_AS_BITMAPS);
    // 90 new glyphs a call: the twelfth call would pass 1024 glyphs.
    for (HGLYPH call = 0; call < 12; ++call) {
        std::vector<HGLYPH> many;
        for (HGLYPH g = 0; g < 90; ++g)
            many.push_back(1 + call * 90 + g);
        ASSERT_TRUE(DrawGlyphs(many));
    }
    std::vector<std::string> ops = Operators(Take());
    EXPECT_EQ(Count(ops, "remove font"), 1u);
    EXPECT_EQ(Count(ops, "begin font header"), 2u);
}

TEST_F(TextMethods, GlyphImagesCompressionByLanguageVersion) {
    SetTextMode(FONTMODE_TEXT_AS_IMAGES);
    struct {
        DWORD version;
        int compression;
    } cases[] = {{0x20001, 3}, {0x20000, 1}, {0x30000, 1}};
    for (auto c : cases) {
        pdev->graphicsVersion = c.version;
        ASSERT_TRUE(Draw(u"x"));
        streamdump::Decoding d = DecodeTokens(Take());
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        bool found = false;
        for (const auto& i : d.items)
            if (i.kind == streamdump::ItemKind::Token && i.text == "read image") {
                long v = -1;
                ASSERT_TRUE(i.token.Find(0x65) && i.token.Find(0x65)->Whole(&v));
                EXPECT_EQ(v, c.compression) << std::hex << c.version;
                found = true;
            }
        EXPECT_TRUE(found);
    }
}

// Glyph images are sent with the band they lie in: "x" at (200, 300) goes
// out with a band over it, not with one below it.
TEST_F(TextMethods, GlyphImagesOutsideTheBandAreSkipped) {
    SetTextMode(FONTMODE_TEXT_AS_IMAGES);
    struct {
        RECTL band;
        size_t images;
    } cases[] = {{{0, 0, 4800, 400}, 1}, {{0, 1000, 4800, 2000}, 0}, {{0, 0, 0, 0}, 1}};
    for (auto c : cases) {
        Imaging(pdev)->band = c.band;
        ASSERT_TRUE(Draw(u"x"));
        EXPECT_EQ(Count(Operators(Take()), "read image"), c.images) << c.band.top;
    }
}

// A simulated-bold font goes as bitmaps; a double-byte one has its glyphs
// widened, so the same character carries more set pixels.
TEST_F(TextMethods, SimulatedBoldDoubleByteBitmapsAreWidened) {
    auto inked = [&](BYTE charSet) {
        platform::engine::FontRealization r;
        r.file = file;
        r.m11 = r.m22 = 0.5;
        r.faceName = u"Arial";
        r.simBold = true;
        r.charSet = charSet;
        FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
        if (!f) return size_t{0};
        fonts.push_back(f);
        if (!Draw(u"l", f)) return size_t{0};
        std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
        Bytes job(head.begin(), head.end());
        Bytes out = Take();
        job.insert(job.end(), out.begin(), out.end());
        size_t bits = 0;
        for (const auto& item : streamdump::Decode(job).items)
            if (item.kind == streamdump::ItemKind::Token && item.opcode == 0x53)
                for (size_t i = 10; i < item.token.dataSize; ++i)
                    bits += static_cast<size_t>(__builtin_popcount(job[item.token.dataOffset + i]));
        return bits;
    };
    size_t single = inked(0), doubleByte = inked(128);
    EXPECT_GT(single, 0u);
    EXPECT_GT(doubleByte, single);
}

TEST_F(TextMethods, PrinterFontThroughTheSubstitutionTable) {
    TrueTypeFont list[1] = {};
    std::strcpy(list[0].faceName, "Swiss 721");
    list[0].id = 1; // a symbol set of no class: found only through the table
    BYTE subs[kFontSubRecordSize] = {};
    std::strcpy(reinterpret_cast<char*>(subs), "Arial");
    std::strcpy(reinterpret_cast<char*>(subs + 64), "Swiss 721");
    pdev->trueTypeFonts = list;
    pdev->trueTypeCount = 1;
    ASSERT_TRUE(Draw(u"Hi"));
    EXPECT_EQ(Count(Operators(Take()), "set font"), 1u) << "downloaded";
    pdev->fontSubs = subs;
    pdev->fontSubCount = 1;
    ASSERT_TRUE(Draw(u"Hi"));
    Bytes b = Take();
    std::vector<std::string> ops = Operators(b);
    EXPECT_EQ(Count(ops, "begin font header"), 0u);
    EXPECT_EQ(Count(ops, "set font"), 1u);
    std::string name = "Swiss 721";
    EXPECT_NE(std::search(b.begin(), b.end(), name.begin(), name.end()), b.end());
    pdev->trueTypeFonts = nullptr;
    pdev->fontSubs = nullptr;
}

// --- runs drawn by hand: places, clips, brushes, fonts laid out by hand -------

// Draws glyphs at the given places (positions given) with the text beside
// them; with an opaque rectangle and brush, a clip, and the string's flags.
BOOL DrawRun(TextMethods& t, FONTOBJ* f, const std::vector<platform::engine::PlacedGlyph>& glyphs,
             const std::u16string& text, FLONG accel = SO_HORIZONTAL, CLIPOBJ* clip = nullptr,
             RECTL* opaque = nullptr, BRUSHOBJ* opaqueBrush = nullptr, ULONG color = 0) {
    STROBJ* s = platform::engine::CreateStrObj(f, glyphs, text, 0, 0, true, accel, 0, 1252);
    BRUSHOBJ fore{};
    fore.iSolidColor = color;
    BOOL ok = DrvTextOut(&t.Surface(), s, f, clip, nullptr, opaque, &fore, opaqueBrush, nullptr,
                         R2_COPYPEN);
    platform::engine::DeleteStrObj(s);
    return ok;
}

// The tokens of a stream with the given operator name.
std::vector<streamdump::Token> TokensNamed(const streamdump::Decoding& d, const std::string& name) {
    std::vector<streamdump::Token> out;
    for (const auto& i : d.items)
        if (i.kind == streamdump::ItemKind::Token && i.text == name) out.push_back(i.token);
    return out;
}

// A font that says it returns strokes is drawn with the pen in every
// method: line join 3, the pen in the text colour, no brush.
TEST_F(TextMethods, StrokeFontsDrawWithThePenInEveryMethod) {
    TrueTypeFont list[1] = {};
    std::strcpy(list[0].faceName, "Arial");
    list[0].id = 277;
    struct {
        const char* what;
        WORD mode;
        bool printerFont;
        const char* drawn; // the operator that draws the glyphs
    } cases[] = {{"outlines", 0, false, "text"},
                 {"bitmaps", FONTMODE_TEXT_AS_BITMAPS, false, "text"},
                 {"glyph images", FONTMODE_TEXT_AS_IMAGES, false, "read image"},
                 {"printer font", 0, true, "text"}};
    double scale = 0.05;
    for (auto c : cases) {
        ResetVectorState(pdev);
        SetTextMode(c.mode);
        pdev->trueTypeFonts = c.printerFont ? list : nullptr;
        pdev->trueTypeCount = c.printerFont ? 1 : 0;
        FONTOBJ* f = Font(scale += 0.001);
        FONTOBJ_pifi(f)->flInfo |= FM_INFO_RETURNS_STROKES;
        ASSERT_TRUE(Draw(u"Hi", f)) << c.what;
        streamdump::Decoding d = DecodeTokens(Take());
        ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<streamdump::Token> joins = TokensNamed(d, "set line join");
        ASSERT_EQ(joins.size(), 1u) << c.what;
        long join = -1;
        EXPECT_TRUE(joins[0].Find(0x48) && joins[0].Find(0x48)->Whole(&join));
        EXPECT_EQ(join, 3) << c.what;
        // The last pen and brush before the glyphs: a pen, no brush.
        const streamdump::Token *pen = nullptr, *brush = nullptr;
        bool drawn = false;
        for (const auto& i : d.items) {
            if (i.kind != streamdump::ItemKind::Token) continue;
            if (i.text == c.drawn) drawn = true;
            if (drawn) break;
            if (i.text == "set pen source") pen = &i.token;
            if (i.text == "set brush source") brush = &i.token;
        }
        EXPECT_TRUE(drawn) << c.what;
        ASSERT_NE(pen, nullptr) << c.what;
        ASSERT_NE(brush, nullptr) << c.what;
        EXPECT_EQ(pen->Find(0x05), nullptr) << c.what << ": a pen, not none";
        EXPECT_NE(brush->Find(0x04), nullptr) << c.what << ": no brush";
    }
    pdev->trueTypeFonts = nullptr;
    pdev->trueTypeCount = 0;
}

// A realized 8 x 8 one-bit pattern of a diagonal, black on white.
std::vector<BYTE> DiagonalPattern() {
    RealizedBrush head{};
    head.width = head.height = 8;
    head.format = kPattern1;
    head.bitsSize = 2 * 8;
    head.colorCount = 2;
    head.colorTableOffset = sizeof head + head.bitsSize;
    head.kind = 6;
    head.brushId = 77;
    std::vector<BYTE> rec(sizeof head + head.bitsSize + 8, 0);
    std::memcpy(rec.data(), &head, sizeof head);
    for (int y = 0; y < 8; ++y)
        rec[sizeof head + 2 * y] = static_cast<BYTE>(0x80 >> y);
    const ULONG colors[2] = {0x000000, 0xFFFFFF};
    std::memcpy(rec.data() + head.colorTableOffset, colors, sizeof colors);
    return rec;
}

// The opaque rectangle: in its solid colour, or in its pattern sent as the
// printer's pattern and selected as the brush; never white for a pattern.
TEST_F(TextMethods, OpaqueRectangleInItsSolidColourOrItsPattern) {
    std::vector<BYTE> pattern = DiagonalPattern();
    struct {
        const char* what;
        ULONG solid;
        bool pattern;
    } cases[] = {{"solid", 0x00FF00, false}, {"pattern", 0xFFFFFFFF, true}};
    double scale = 0.05;
    for (auto c : cases) {
        ResetVectorState(pdev);
        BRUSHOBJ opaque{};
        opaque.iSolidColor = c.solid;
        opaque.pvRbrush = c.pattern ? pattern.data() : nullptr;
        RECTL rect{100, 100, 900, 400};
        FONTOBJ* f = Font(scale += 0.001);
        platform::engine::FontRealization plain;
        plain.file = file;
        ASSERT_TRUE(DrawRun(*this, f, {{platform::engine::GlyphIndexOf(plain, 'H'), {200, 300}}},
                            u"H", SO_HORIZONTAL, nullptr, &rect, &opaque))
            << c.what;
        streamdump::Decoding d = DecodeTokens(Take());
        ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
        EXPECT_EQ(TokensNamed(d, "read raster pattern").size(), c.pattern ? 1u : 0u) << c.what;
        // A rectangle (gray) or a rectangle path painted (colour).
        const size_t rects =
            TokensNamed(d, "rectangle").size() + TokensNamed(d, "rectangle path").size();
        ASSERT_EQ(rects, 1u) << c.what;
        const streamdump::Token* brush = nullptr;
        for (const auto& i : d.items) {
            if (i.kind != streamdump::ItemKind::Token) continue;
            if (i.text == "rectangle" || i.text == "rectangle path") break;
            if (i.text == "set brush source") brush = &i.token;
        }
        ASSERT_NE(brush, nullptr) << c.what;
        // The pattern selected, or the colour (an RGB value or a gray level).
        EXPECT_EQ(brush->Find(0x08) != nullptr, c.pattern) << c.what;
        EXPECT_EQ(brush->Find(0x0B) != nullptr || brush->Find(0x09) != nullptr, !c.pattern)
            << c.what;
    }
}

// Glyph images in either compression decode back to the glyph's own
// pixels, row by row (rows padded to 32 bits).
TEST_F(TextMethods, GlyphImageRowsDecodeToTheGlyph) {
    SetTextMode(FONTMODE_TEXT_AS_IMAGES);
    platform::engine::FontRealization r;
    r.file = file;
    r.m11 = r.m22 = 0.2;
    const ULONG h = platform::engine::GlyphIndexOf(r, 'R');
    platform::engine::GlyphImage glyph;
    ASSERT_TRUE(platform::engine::RenderGlyph(r, h, true, &glyph));
    ASSERT_GT(glyph.width, 16);
    FONTOBJ* f = Font(0.2);
    for (DWORD version : {0x20001u, 0x20000u}) {
        pdev->graphicsVersion = version;
        Bytes out = Take();
        ASSERT_TRUE(DrawRun(*this, f, {{h, {600, 900}}}, u"R"));
        out = Take();
        std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
        Bytes job(head.begin(), head.end());
        job.insert(job.end(), out.begin(), out.end());
        streamdump::Decoding d = streamdump::Decode(job);
        ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<streamdump::Token> begin = TokensNamed(d, "begin image");
        std::vector<streamdump::Token> read = TokensNamed(d, "read image");
        ASSERT_EQ(begin.size(), 1u);
        ASSERT_EQ(read.size(), 1u);
        long w = 0, rows = 0, compression = 0;
        ASSERT_TRUE(begin[0].Find(0x6C)->Whole(&w));
        ASSERT_TRUE(begin[0].Find(0x6B)->Whole(&rows));
        ASSERT_TRUE(read[0].Find(0x65)->Whole(&compression));
        EXPECT_EQ(compression, version == 0x20001 ? 3 : 1);
        EXPECT_EQ(w, glyph.width);
        EXPECT_EQ(rows, glyph.height);
        const size_t rowBytes = static_cast<size_t>(w + 31) / 32 * 4;
        std::vector<std::uint8_t> seed(rowBytes, 0), bits;
        std::string problem;
        ASSERT_TRUE(streamdump::DecodeImageRows(job.data() + read[0].dataOffset, read[0].dataSize,
                                                static_cast<int>(compression), rowBytes,
                                                static_cast<size_t>(rows), &seed, &bits, &problem))
            << problem;
        const size_t src = static_cast<size_t>(glyph.width + 7) / 8;
        size_t wrong = 0;
        const auto width = static_cast<size_t>(glyph.width);
        for (size_t y = 0; y < static_cast<size_t>(rows); ++y)
            for (size_t x = 0; x < rowBytes * 8; ++x) {
                bool got = bits[y * rowBytes + x / 8] >> (7 - x % 8) & 1;
                bool want = x < width && (glyph.rows[y * src + x / 8] >> (7 - x % 8) & 1);
                wrong += got != want;
            }
        EXPECT_EQ(wrong, 0u) << std::hex << version;
    }
}

// A printer font's glyphs are placed by the font's "hmtx" advances through
// the font transform, or by the fixed pitch of a fixed-pitch font, not
// where the engine put them (100 pixels apart here).
TEST_F(TextMethods, PrinterFontGlyphsArePlacedByTheFontsAdvances) {
    TrueTypeFont list[1] = {};
    std::strcpy(list[0].faceName, "Arial");
    list[0].id = 277;
    pdev->trueTypeFonts = list;
    pdev->trueTypeCount = 1;
    platform::engine::FontRealization plain;
    plain.file = file;
    SfntFont sfnt;
    ASSERT_TRUE(sfnt.ParseFontTable(file->bytes.data(), file->bytes.size()));
    const WORD h = static_cast<WORD>(platform::engine::GlyphIndexOf(plain, 'H'));
    const WORD i = static_cast<WORD>(platform::engine::GlyphIndexOf(plain, 'i'));
    WORD advH = 0, advI = 0;
    SHORT lsb;
    ASSERT_TRUE(sfnt.HorizontalMetrics(h, &advH, &lsb));
    ASSERT_TRUE(sfnt.HorizontalMetrics(i, &advI, &lsb));
    struct {
        const char* what;
        bool fixed;
        std::vector<double> dx;
    } cases[] = {
        {"hmtx",
         false,
         {std::round(advH * 0.05), std::round((advH + advI) * 0.05) - std::round(advH * 0.05), 0}},
        {"fixed pitch of 1000 units", true, {50, 50, 0}},
    };
    double scale = 0.05;
    for (auto c : cases) {
        FONTOBJ* f = Font(scale);
        scale += 1e-9; // another font object of the same size
        if (c.fixed) {
            FONTOBJ_pifi(f)->flInfo |= FM_INFO_CONSTANT_WIDTH;
            FONTOBJ_pifi(f)->fwdAveCharWidth = 1000;
        }
        ASSERT_TRUE(Draw(u"HiH", f)) << c.what;
        streamdump::Decoding d = DecodeTokens(Take());
        std::vector<streamdump::Token> text = TokensNamed(d, "text");
        ASSERT_EQ(text.size(), 1u) << c.what;
        ASSERT_NE(text[0].Find(0xAF), nullptr) << c.what;
        EXPECT_EQ(text[0].Find(0xAF)->numbers, c.dx) << c.what;
        EXPECT_EQ(text[0].Find(0xB0), nullptr) << c.what << ": along the line";
    }
    pdev->trueTypeFonts = nullptr;
    pdev->trueTypeCount = 0;
}

// Text given as glyph indices whose glyph handle is 0: a bitmap glyph is
// fetched by its index, and the run names it by the index.
TEST_F(TextMethods, BitmapGlyphOfHandleZeroIsFetchedByItsIndex) {
    SetTextMode(FONTMODE_TEXT_AS_BITMAPS);
    platform::engine::FontRealization plain;
    plain.file = file;
    plain.m11 = plain.m22 = 0.05;
    const auto h = static_cast<char16_t>(platform::engine::GlyphIndexOf(plain, 'H'));
    platform::engine::GlyphImage glyph;
    ASSERT_TRUE(platform::engine::RenderGlyph(plain, h, true, &glyph));
    ASSERT_TRUE(DrawRun(*this, font, {{0, {200, 300}}}, std::u16string(1, h),
                        SO_HORIZONTAL | SO_GLYPHINDEX_TEXT));
    Download d = ReadDownload(Take());
    ASSERT_EQ(d.chars.size(), 1u);
    const Bytes& c = d.chars[0];
    ASSERT_GE(c.size(), 10u);
    EXPECT_EQ(Be16At(c, 6), static_cast<unsigned>(glyph.width + 31) / 32 * 32) << "H's width";
    EXPECT_EQ(Be16At(c, 8), static_cast<unsigned>(glyph.height)) << "H's height";
}

// Follows the fonts through a stream: every code of every run must name a
// character that the selected font holds at that point.
struct RunCheck {
    size_t runs = 0, images = 0, headers = 0, removed = 0;
    size_t mostChars = 0;         // the most characters one font held
    std::vector<unsigned> unheld; // codes of runs that their font did not hold
};
RunCheck CheckRuns(const Bytes& out) {
    std::string head = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
    Bytes job(head.begin(), head.end());
    job.insert(job.end(), out.begin(), out.end());
    streamdump::Decoding d = streamdump::Decode(job);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    auto name = [](const streamdump::Token& t) {
        std::string n;
        if (const streamdump::TokenValue* v = t.Find(0xA8))
            for (double c : v->numbers)
                n.push_back(static_cast<char>(c));
        return n;
    };
    std::map<std::string, std::set<unsigned>> held;
    std::string charFont, selected;
    RunCheck r;
    for (const auto& item : d.items) {
        if (item.kind != streamdump::ItemKind::Token) continue;
        const streamdump::Token& t = item.token;
        switch (item.opcode) {
        case 0x4F: // begin font header
            held[name(t)].clear();
            ++r.headers;
            break;
        case 0x52: // begin char
            charFont = name(t);
            break;
        case 0x53: // read char
            if (const streamdump::TokenValue* code = t.Find(0xA2); code && !code->numbers.empty()) {
                held[charFont].insert(static_cast<unsigned>(code->numbers[0]));
                r.mostChars = std::max(r.mostChars, held[charFont].size());
            }
            break;
        case 0x55: // remove font
            held.erase(name(t));
            ++r.removed;
            break;
        case 0x6F: // set font
            selected = name(t);
            break;
        case 0xA8: // text
            ++r.runs;
            if (const streamdump::TokenValue* codes = t.Find(0xAB))
                for (double c : codes->numbers)
                    if (!held[selected].count(static_cast<unsigned>(c)))
                        r.unheld.push_back(static_cast<unsigned>(c));
            break;
        case 0xB1: // read image
            ++r.images;
            break;
        }
    }
    return r;
}

// One call with more different glyphs than a bitmap font holds goes out in
// two pieces, each in a font that holds its glyphs.
TEST_F(TextMethods, BitmapRunOfMoreGlyphsThanAFontHoldsIsSplit) {
    SetTextMode(FONTMODE_TEXT_AS_BITMAPS);
    // In rows on the page, as glyph indices.
    std::vector<platform::engine::PlacedGlyph> many;
    for (LONG g = 0; g < 1100; ++g)
        many.push_back(
            {static_cast<HGLYPH>(g + 1), POINTL{200 + 40 * (g % 100), 300 + 60 * (g / 100)}});
    ASSERT_TRUE(DrawRun(*this, font, many, u"", SO_HORIZONTAL | SO_GLYPHINDEX_TEXT));
    RunCheck r = CheckRuns(Take());
    EXPECT_EQ(r.headers, 2u);
    EXPECT_EQ(r.removed, 1u);
    EXPECT_EQ(r.runs, 2u);
    EXPECT_EQ(r.mostChars, kBitmapFontGlyphLimit);
    EXPECT_TRUE(r.unheld.empty()) << r.unheld.size() << " codes name no character";
}

// A glyph that cannot be sent as a character (an index past the font's
// glyph count, a "loca" entry past "glyf") leaves no code in the run; an
// outline glyph goes out as the engine's image at its place.
TEST_F(TextMethods, GlyphThatCannotBeSentIsNamedByNoRun) {
    platform::engine::FontRealization plain;
    plain.file = file;
    const WORD h = static_cast<WORD>(platform::engine::GlyphIndexOf(plain, 'H'));
    const WORD i = static_cast<WORD>(platform::engine::GlyphIndexOf(plain, 'I'));
    const HGLYPH pastTheCount = 0xFFF0;
    for (WORD mode : {0, FONTMODE_TEXT_AS_BITMAPS}) {
        SCOPED_TRACE(mode ? "bitmaps" : "outlines");
        SetTextMode(mode);
        ASSERT_TRUE(DrawGlyphs({i, pastTheCount, h}));
        RunCheck r = CheckRuns(Take());
        EXPECT_EQ(r.runs, 1u);
        EXPECT_TRUE(r.unheld.empty()) << r.unheld[0];
    }
    // H starts past the end of "glyf" (I, the next glyph, keeps its entry).
    Bytes bad = WithHugeGlyph(Bytes(file->bytes.begin(), file->bytes.end()), h, 0);
    ASSERT_FALSE(bad.empty());
    SfntFont sfnt;
    ASSERT_TRUE(sfnt.ParseFontTable(bad.data(), bad.size()));
    const SfntTable* loca = sfnt.FindTrueTypeTable(SfntTag('l', 'o', 'c', 'a'));
    ASSERT_NE(loca, nullptr);
    bad[loca->offset + h * 4u] = 0x7F;
    std::string path = ::testing::TempDir() + "/bad_loca.ttf";
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(bad.data(), 1, bad.size(), out), bad.size());
    std::fclose(out);
    platform::engine::FontRealization r;
    r.file = platform::engine::LoadFontFile(path);
    std::remove(path.c_str());
    ASSERT_TRUE(r.file);
    r.m11 = r.m22 = 0.05;
    r.faceName = u"BadLoca";
    FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
    ASSERT_NE(f, nullptr);
    fonts.push_back(f);
    SetTextMode(0x0);
    ASSERT_TRUE(Draw(u"IHI", f));
    RunCheck checked = CheckRuns(Take());
    EXPECT_EQ(checked.runs, 1u);
    EXPECT_TRUE(checked.unheld.empty()) << checked.unheld[0];
}

// Edge cases of a run: one glyph writes no spacing arrays; glyphs placed
// right to left send signed spacing (0xCB); a run whose first glyph lies
// left of the clip starts at the first visible one, and a glyph outside the
// clip between visible ones is still sent.
TEST_F(TextMethods, RunEdges) {
    platform::engine::FontRealization plain;
    plain.file = file;
    const HGLYPH H = platform::engine::GlyphIndexOf(plain, 'H');
    CLIPOBJ clip{};
    clip.iDComplexity = DC_RECT;
    clip.rclBounds = RECTL{280, 0, 4800, 1000};
    struct Case {
        const char* what;
        std::vector<platform::engine::PlacedGlyph> glyphs;
        CLIPOBJ* clip;
        long cursorX;
        size_t codes;
        int xTag; // 0: no x spacing
    } cases[] = {
        {"one glyph", {{H, {200, 300}}}, nullptr, 200, 1, 0},
        {"right to left",
         {{H, {500, 300}}, {H, {400, 300}}, {H, {300, 300}}},
         nullptr,
         500,
         3,
         0xCB},
        {"left of the clip",
         {{H, {200, 300}}, {H, {300, 300}}, {H, {400, 5000}}, {H, {500, 300}}},
         &clip,
         300,
         3,
         0xC8},
    };
    for (const Case& c : cases) {
        ResetVectorState(pdev);
        ASSERT_TRUE(DrawRun(*this, font, c.glyphs, std::u16string(c.glyphs.size(), u'H'),
                            SO_HORIZONTAL, c.clip))
            << c.what;
        streamdump::Decoding d = DecodeTokens(Take());
        ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
        std::vector<streamdump::Token> text = TokensNamed(d, "text"),
                                       cursor = TokensNamed(d, "set cursor");
        ASSERT_EQ(text.size(), 1u) << c.what;
        ASSERT_FALSE(cursor.empty()) << c.what;
        ASSERT_NE(cursor.back().Find(0x4C), nullptr);
        EXPECT_EQ(cursor.back().Find(0x4C)->numbers[0], c.cursorX) << c.what;
        ASSERT_NE(text[0].Find(0xAB), nullptr);
        EXPECT_EQ(text[0].Find(0xAB)->numbers.size(), c.codes) << c.what;
        const streamdump::TokenValue* dx = text[0].Find(0xAF);
        EXPECT_EQ(dx ? dx->tag : 0, c.xTag) << c.what;
        if (c.glyphs.size() == 1) {
            EXPECT_EQ(text[0].Find(0xB0), nullptr) << c.what;
        }
    }
}

// The character transform of outline fonts: an upright font at equal
// scales turns nothing; one that mirrors x scales by (-1, 1) at angle 0; a
// simulated-italic upright font keeps the italic shear.
TEST_F(TextMethods, FontTransformDecomposed) {
    struct Case {
        const char* what;
        double m11, m22;
        bool italic;
        FontXform want;
    } cases[] = {
        {"upright", 0.05, 0.05, false, {0, 1, 1, 0, 0}},
        {"mirrored", -0.05, 0.05, false, {0, -1, 1, 0, 0}},
        {"italic", 0.05, 0.05, true, {0, 1, 1, 0.309017f, 0}},
    };
    for (const Case& c : cases) {
        platform::engine::FontRealization r;
        r.file = file;
        r.m11 = c.m11;
        r.m22 = c.m22;
        r.simItalic = c.italic;
        r.faceName = u"Arial";
        FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
        ASSERT_NE(f, nullptr);
        fonts.push_back(f);
        FontXform x = DecomposeFontXform(f);
        EXPECT_EQ(x.angle, c.want.angle) << c.what;
        EXPECT_EQ(x.scaleX, c.want.scaleX) << c.what;
        EXPECT_EQ(x.scaleY, c.want.scaleY) << c.what;
        EXPECT_EQ(x.shearX, c.want.shearX) << c.what;
        EXPECT_EQ(x.shearY, c.want.shearY) << c.what;
    }
}

// A font object that goes away takes its download with it: its name and
// "remove font".
TEST_F(TextMethods, DestroyedFontIsRemovedFromThePrinter) {
    FONTOBJ* f = Font(0.07);
    ASSERT_TRUE(Draw(u"H", f));
    Take();
    DrvDestroyFont(f);
    Bytes out = Take();
    EXPECT_EQ(Operators(out), (std::vector<std::string>{"remove font"}));
    EXPECT_EQ(out.back(), 0x55);
    EXPECT_EQ(f->pvConsumer, nullptr);
}

// A symbol font laid out by hand: its platform-3 encoding-0 subtable maps
// 0xF020-0xF0E8 to glyphs 100-300, so its glyph count is 300 and its glyph
// map 38 bytes; glyph 300, the last the map covers, is sent and noted in
// bit 4 of byte 37, as outline and as bitmap. The sans face, whose first
// platform-3 record is Unicode, keeps the engine's count.
TEST_F(TextMethods, SymbolFontGlyphCountAndItsHighestGlyph) {
    std::vector<Bytes> glyphs(301, text_fonts::SquareGlyph());
    Bytes sym = text_fonts::OutlineFont(glyphs, text_fonts::Format4Cmap(0, 0xF020, 0xF0E8, 100));
    std::string path = ::testing::TempDir() + "/symbol_font.ttf";
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(sym.data(), 1, sym.size(), out), sym.size());
    std::fclose(out);
    platform::engine::FontRealization r;
    r.file = platform::engine::LoadFontFile(path);
    std::remove(path.c_str());
    ASSERT_TRUE(r.file);
    r.m11 = r.m22 = 0.2;
    r.faceName = u"Hand Symbol";
    for (WORD mode : {0, 2}) {
        r.m11 = r.m22 = 0.2 + 0.01 * mode;
        FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
        ASSERT_NE(f, nullptr);
        fonts.push_back(f);
        SetTextMode(mode);
        ASSERT_TRUE(DrawRun(*this, f, {{300, {200, 800}}, {100, {400, 800}}}, u"\xE8\x20")) << mode;
        Download d = ReadDownload(Take());
        EXPECT_EQ(d.chars.size(), 2u) << mode;
        const auto* rec = static_cast<const DownloadedFont*>(f->pvConsumer);
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->outline, mode == 0 ? 1u : 0u);
        EXPECT_EQ(rec->glyphCount, 300u) << mode;
        EXPECT_EQ(rec->glyphMap[37], 0x10) << mode << ": glyph 300";
        EXPECT_EQ(rec->glyphMap[12], 0x10) << mode << ": glyph 100";
    }
    SetTextMode(0);
    ASSERT_TRUE(Draw(u"H"));
    const auto* sans = static_cast<const DownloadedFont*>(font->pvConsumer);
    ASSERT_NE(sans, nullptr);
    SfntFont sfnt;
    ASSERT_TRUE(sfnt.ParseFontTable(file->bytes.data(), file->bytes.size()));
    EXPECT_EQ(sans->glyphCount, sfnt.NumGlyphs());
}

// --- a raster device: the engine draws the text onto the page bitmap --------

constexpr ULONG kRed = 0x0000FF, kWhite = 0xFFFFFF, kGray = 0x808080; // pixels (BGR)
constexpr LONG kPageWidth = 400, kPageHeight = 700;

class RasterText : public TextDevice {
  protected:
    void SetUp() override {
        TextDevice::SetUp();
        if (HasFatalFailure()) return;
        pdev->banding = 1;
        page = reinterpret_cast<HSURF>(
            EngCreateBitmap(SIZEL{kPageWidth, kPageHeight}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
        so = EngLockSurface(page);
        ASSERT_NE(so, nullptr);
        so->dhpdev = reinterpret_cast<DHPDEV>(pdev);
    }
    void TearDown() override {
        if (so) EngUnlockSurface(so);
        if (page) EngDeleteSurface(page);
        TextDevice::TearDown();
    }
    FONTOBJ* Font(double scale, BYTE charSet, bool bold, const std::u16string& face = u"Arial") {
        return MakeFont(scale, face, charSet, bold);
    }
    void Fill(ULONG pixel) {
        for (LONG y = 0; y < kPageHeight; ++y)
            for (LONG x = 0; x < kPageWidth; ++x)
                std::memcpy(static_cast<BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x, &pixel, 3);
    }
    ULONG Pixel(LONG x, LONG y) const {
        ULONG v = 0;
        std::memcpy(&v, static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x, 3);
        return v;
    }
    // "l" with its reference point at (100, 600), in the foreground colour.
    BOOL Draw(FONTOBJ* f, ULONG color) {
        platform::engine::FontRealization r;
        r.file = file;
        STROBJ* s = platform::engine::CreateStrObj(
            f, {{platform::engine::GlyphIndexOf(r, 'l'), POINTL{100, 600}}}, u"l", 0, 0, true,
            SO_HORIZONTAL, 0, 1252);
        BRUSHOBJ fore{};
        fore.iSolidColor = color;
        POINTL org{0, 0};
        BOOL ok = DrvTextOut(so, s, f, nullptr, nullptr, nullptr, &fore, nullptr, &org, R2_COPYPEN);
        platform::engine::DeleteStrObj(s);
        return ok;
    }
    // The pixels of the page that are not the background.
    std::vector<bool> Ink(ULONG background) const {
        std::vector<bool> ink(static_cast<size_t>(kPageWidth * kPageHeight));
        for (LONG y = 0; y < kPageHeight; ++y)
            for (LONG x = 0; x < kPageWidth; ++x)
                ink[static_cast<size_t>(y * kPageWidth + x)] = Pixel(x, y) != background;
        return ink;
    }

    HSURF page = nullptr;
    SURFOBJ* so = nullptr;
};

// All-text-black needs the model's offer (feature word B bit 10) and the
// option: then every colour but white draws black.
TEST_F(RasterText, AllTextBlackTurnsEveryColourButWhiteBlack) {
    FONTOBJ* f = Font(0.1, 0, false);
    struct {
        bool offered, on;
        ULONG color, drawn;
    } cases[] = {{true, true, kRed, 0},
                 {true, true, kWhite, kWhite},
                 {false, true, kRed, kRed},
                 {true, false, kRed, kRed},
                 {true, true, 0x000001, 0}};
    for (auto c : cases) {
        SetPrivU32(pdev->devmode, priv::FeatureFlags, c.offered ? 1u << 10 : 0);
        SetPrivU16(pdev->devmode, priv::TextAsBlack, c.on ? 1 : 0);
        Fill(kGray);
        ASSERT_TRUE(Draw(f, c.color));
        size_t drawn = 0, other = 0;
        for (LONG y = 0; y < kPageHeight; ++y)
            for (LONG x = 0; x < kPageWidth; ++x) {
                ULONG p = Pixel(x, y);
                drawn += p == c.drawn;
                other += p != c.drawn && p != kGray;
            }
        EXPECT_GT(drawn, 500u) << std::hex << c.color << " " << c.offered << c.on;
        EXPECT_EQ(other, 0u) << std::hex << c.color << " " << c.offered << c.on;
    }
}

// Simulated bold of a double-byte font on the page: the glyph as the engine
// draws it, or-ed again shifted by 1 to n pixels, n = 540 / 1,000,000 of the
// transformed (10000, 0): 2 pixels at a scale of 0.3, along the baseline;
// down the page for a vertical face. A single-byte font is drawn as it is.
TEST_F(RasterText, SimulatedBoldDoubleByteTextIsWidenedOnThePage) {
    Fill(kWhite);
    ASSERT_TRUE(Draw(Font(0.3, 0, true), 0));
    std::vector<bool> plain = Ink(kWhite);
    size_t plainCount = static_cast<size_t>(std::count(plain.begin(), plain.end(), true));
    ASSERT_GT(plainCount, 1000u);
    struct {
        const char16_t* face;
        LONG dx, dy;
    } cases[] = {{u"MS Mincho", 1, 0}, {u"@MS Mincho", 0, 1}};
    for (auto c : cases) {
        Fill(kWhite);
        ASSERT_TRUE(Draw(Font(0.3, 128, true, c.face), 0));
        std::vector<bool> bold = Ink(kWhite);
        for (LONG y = 0; y < kPageHeight; ++y)
            for (LONG x = 0; x < kPageWidth; ++x) {
                bool want = false;
                for (LONG k = 0; k <= 2; ++k) {
                    LONG sx = x - k * c.dx, sy = y - k * c.dy;
                    want = want ||
                           (sx >= 0 && sy >= 0 && plain[static_cast<size_t>(sy * kPageWidth + sx)]);
                }
                ASSERT_EQ(bold[static_cast<size_t>(y * kPageWidth + x)], want)
                    << static_cast<const void*>(c.face) << " at " << x << "," << y;
            }
    }
}

void PutBe(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A header over 65,535 bytes, laid out by hand: descriptor; "GT" with the
// tables "fpgm" (70,001 bytes, padded to 70,004), "gdir" (empty) and "head"
// (54, padded to 56); the null segment. It goes out as the descriptor, the
// segment head with its offset table, the directory, "fpgm" in three pieces,
// "head", and the null segment, and the decoder reads the same bytes back.
TEST(FontHeaderPieces, LongHeaderIsSplitAlongItsLayout) {
    Bytes h = {0, 0, 0, 0, 1, 0, 0, 2};
    const std::uint32_t fpgm = 70001, fpgmPadded = 70004, head = 54, headPadded = 56;
    const std::uint32_t segment = 12 + 3 * 16 + fpgmPadded + headPadded;
    h.push_back('G');
    h.push_back('T');
    PutBe(h, segment, 4);
    PutBe(h, 0x00010000, 4);
    PutBe(h, 3, 2);
    PutBe(h, 0x20, 2);
    PutBe(h, 1, 2);
    PutBe(h, 0x10, 2);
    const std::uint32_t dir[3][3] = {{0x6670676D, 60, fpgmPadded},               // "fpgm"
                                     {0x67646972, 0, 0},                         // "gdir"
                                     {0x68656164, 60 + fpgmPadded, headPadded}}; // "head"
    for (const auto& e : dir) {
        PutBe(h, e[0], 4);
        PutBe(h, 0, 4);
        PutBe(h, e[1], 4);
        PutBe(h, e[2], 4);
    }
    for (std::uint32_t i = 0; i < fpgm; ++i)
        h.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    h.insert(h.end(), fpgmPadded - fpgm, 0);
    h.insert(h.end(), head, 0x48);
    h.insert(h.end(), headPadded - head, 0);
    h.insert(h.end(), {0xFF, 0xFF, 0, 0, 0, 0});
    ASSERT_EQ(h.size(), 8u + 6 + segment + 6);

    struct Want {
        DWORD offset, length;
        bool byteLength;
    };
    const Want want[] = {{0, 8, false},      {8, 18, false},        {26, 48, true},
                         {74, 32768, false}, {32842, 32768, false}, {65610, 4468, false},
                         {70078, 56, false}, {70134, 6, false}};
    std::vector<FontHeaderPiece> pieces = SplitFontHeader(h);
    ASSERT_EQ(pieces.size(), std::size(want));
    for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].offset, want[i].offset) << i;
        EXPECT_EQ(pieces[i].length, want[i].length) << i;
        EXPECT_EQ(pieces[i].byteLength, want[i].byteLength) << i;
    }

    Bytes tokens = FontHeaderTokens(h);
    // The second piece: 0xC1 18, 0xF8 0xA7, 0x50, 0xFA 18, the 6-byte segment
    // head and the offset table; the directory follows with a one-byte length.
    const Bytes second = {0xC1, 18, 0, 0xF8, 0xA7, 0x50, 0xFA, 18, 0, 0, 0, 'G', 'T'};
    const size_t firstPiece = 6 + 5 + 8;
    ASSERT_GT(tokens.size(), firstPiece + 18 + 6 + 5 + 8);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), tokens.begin() + firstPiece));
    const Bytes third = {0xC1, 48, 0, 0xF8, 0xA7, 0x50, 0xFB, 48};
    EXPECT_TRUE(std::equal(third.begin(), third.end(), tokens.begin() + firstPiece + 6 + 5 + 18));

    // Framed as a download and read back by the stream decoder.
    Bytes job;
    const std::string name = "NLong:1";
    job.insert(job.end(), {0xC8, 0xC1, static_cast<std::uint8_t>(name.size()), 0});
    job.insert(job.end(), name.begin(), name.end());
    job.insert(job.end(), {0xF8, 0xA8, 0xC0, 0, 0xF8, 0xA9, 0x4F});
    job.insert(job.end(), tokens.begin(), tokens.end());
    job.push_back(0x51);
    std::string lead = "@PJL ENTER LANGUAGE=PCLXL\r\n\x1B\x27\x31";
    job.insert(job.begin(), lead.begin(), lead.end());
    streamdump::Decoding d = streamdump::Decode(job);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    Bytes back;
    size_t reads = 0;
    for (const auto& item : d.items)
        if (item.kind == streamdump::ItemKind::Token && item.opcode == 0x50) {
            ++reads;
            back.insert(back.end(), job.begin() + static_cast<long>(item.token.dataOffset),
                        job.begin() +
                            static_cast<long>(item.token.dataOffset + item.token.dataSize));
        }
    EXPECT_EQ(reads, std::size(want));
    EXPECT_TRUE(back == h) << "the pieces make up the same header";

    // A header that fits one length field goes out whole.
    Bytes small(h.begin(), h.begin() + 100);
    pieces = SplitFontHeader(small);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].length, 100u);
}

} // namespace
