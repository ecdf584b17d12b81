// Each text method on a small run, called on a physical device and read
// back token by token with the stream decoder: outlines, bitmaps, a printer
// font and glyph images; a glyph goes to the printer once per job, and a
// bitmap font that grows past its glyph limit is retired and sent anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "font_download.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_ctl.h"
#include "platform/engine_fonts.h"
#include "render_fixture.h"
#include "streamdump/decoder.h"
#include "win/base.h"

namespace {

using namespace inkforge;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr size_t kTextMode = 362;

class TextMethods : public ::testing::Test {
  protected:
    void SetUp() override {
        file = platform::engine::LoadFontFile(kSans);
        ASSERT_TRUE(file) << kSans;
        pdev = AllocatePdev();
        ASSERT_NE(pdev, nullptr);
        pdev->devmode = render_test::OwnDevmode();
        pdev->jobFlags = job::Started | job::PageOpen;
        pdev->docStarted = 1;
        pdev->pageCount = 1;
        surface.dhpdev = reinterpret_cast<DHPDEV>(pdev);
        surface.sizlBitmap = SIZEL{4800, 6600};
        StartCapture(pdev);
        font = Font(0.05);
    }
    void TearDown() override {
        for (FONTOBJ* f : fonts)
            DrvDestroyFont(f);
        platform::engine::ReleaseDeviceFonts(nullptr);
        FreePdev(pdev);
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
    }
    FONTOBJ* Font(double scale, const std::u16string& face = u"Arial") {
        platform::engine::FontRealization r;
        r.file = file;
        r.m11 = r.m22 = scale;
        r.faceName = face;
        FONTOBJ* f = platform::engine::AcquireFontObj(nullptr, r);
        if (f) fonts.push_back(f);
        return f;
    }
    void SetTextMode(WORD mode) { SetPrivU16(pdev->devmode, kTextMode, mode); }
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

    std::shared_ptr<const platform::engine::FontFileData> file;
    PDEV* pdev = nullptr;
    SURFOBJ surface{};
    FONTOBJ* font = nullptr;
    std::vector<FONTOBJ*> fonts;
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
    SetTextMode(0x2);
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
    SetTextMode(0x2);
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
    SetTextMode(0x4);
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

} // namespace
