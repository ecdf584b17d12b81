// What a driver's DrvTextOut is handed: the string object's code page,
// characters, glyph handles and positions, the glyph mode the driver asked
// for its fonts, and the text records of metafiles as they play. The driver
// is the text driver, which logs every string and font object.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "emf_fixture.h"
#include "platform/codepage_ctl.h"
#include "platform/emf_builder.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"
#include "win/loader.h"
#include "win/winddi.h"

namespace {

class TextDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::u16string driverPath = platform::FromUtf8(TEXT_DRIVER_PATH);
        ASSERT_EQ(platform::spooler::AddPort({u"LPT1:", u"Local Port", u""}), 0u);
        platform::spooler::DriverRecord driver;
        driver.name = u"Text";
        driver.driverPath = driverPath;
        ASSERT_EQ(platform::spooler::AddDriver(driver), 0u);
        platform::spooler::PrinterRecord printer;
        printer.name = u"T1";
        printer.port = u"LPT1:";
        printer.driver = u"Text";
        ASSERT_EQ(platform::spooler::AddPrinter(printer, false), 0u);
        module = LoadLibraryW(reinterpret_cast<LPCWSTR>(driverPath.c_str()));
        ASSERT_NE(module, nullptr);
        log = Export<const char* (*)()>("TextDriverLog");
        clear = Export<void (*)()>("TextDriverClear");
        set = Export<void (*)(const char*, long)>("TextDriverSet");
        ASSERT_TRUE(log && clear && set);
        set("defaults", 0);
        clear();
        platform::test::ClearSkippedEmfRecords();
        objectsAtStart = platform::test::LiveGdiObjects();
    }
    void TearDown() override {
        if (hdc) ClosePage();
        EXPECT_EQ(platform::test::LiveGdiObjects(), objectsAtStart);
        EXPECT_EQ(platform::test::LiveEnhMetaFiles(), 0);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
        if (set) set("defaults", 0);
        if (module) FreeLibrary(module);
    }
    template <class F> F Export(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    void OpenPage() {
        hdc = CreateDCW(nullptr, u"T1", nullptr, nullptr);
        ASSERT_NE(hdc, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Test", nullptr, nullptr, 0};
        ASSERT_GT(StartDocW(hdc, &di), 0);
        ASSERT_EQ(StartPage(hdc), 1);
        SetTextAlign(hdc, TA_BASELINE);
        clear();
    }
    void ClosePage() {
        EndPage(hdc);
        EndDoc(hdc);
        DeleteDC(hdc);
        hdc = nullptr;
    }
    std::vector<std::string> Take() {
        std::vector<std::string> l = emftest::Lines(log());
        clear();
        return l;
    }
    // The strings the driver was handed since the last look.
    std::vector<std::string> Drawn() {
        std::vector<std::string> out;
        for (const std::string& line : Take())
            if (line.rfind("TextOut", 0) == 0) out.push_back(line);
        return out;
    }
    // The value of `key=` in a log line ("" when it has none).
    static std::string Field(const std::string& line, const std::string& key) {
        size_t at = line.find(" " + key + "=");
        if (at == std::string::npos) return "";
        at += key.size() + 2;
        return line.substr(at, line.find(' ', at) - at);
    }
    HFONT Select(const std::u16string& face, LONG height, BYTE charSet) {
        LOGFONTW lf{};
        lf.lfHeight = height;
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = charSet;
        std::memcpy(lf.lfFaceName, face.data(), face.size() * 2);
        HFONT f = CreateFontIndirectW(&lf);
        EXPECT_NE(f, nullptr);
        oldFont = SelectObject(hdc, f);
        return f;
    }
    void Unselect(HFONT f) {
        SelectObject(hdc, oldFont);
        DeleteObject(f);
    }

    HDC hdc = nullptr;
    HMODULE module = nullptr;
    const char* (*log)() = nullptr;
    void (*clear)() = nullptr;
    void (*set)(const char*, long) = nullptr;
    HGDIOBJ oldFont = nullptr;
    long objectsAtStart = 0;
};

TEST_F(TextDriverTest, AnsiTextIsReadInTheCodePageOfTheFontsCharacterSet) {
    OpenPage();
    static const INT dx[] = {10, 20, 30, 40, 50};
    struct Case {
        const char* what;
        const char16_t* face;
        BYTE charSet;
        UINT systemPage; // the system's ANSI code page
        std::string bytes;
        bool spaced;
        std::string text, at, codePage;
    } cases[] = {
        // Double-byte characters whole, their advance the sum of their bytes'.
        {"shift-jis", u"MS Gothic", SHIFTJIS_CHARSET, 1252,
         "\x82\xA0"
         "A\x93\xFA",
         true, "3042,41,65e5", "100,500;130,500;160,500;", "932"},
        {"western", u"Arial", ANSI_CHARSET, 932, "\x80\xE9", true, "20ac,e9", "100,500;110,500;",
         "1252"},
        {"cyrillic", u"Arial", RUSSIAN_CHARSET, 1252, "\xC0\xFF", false, "410,44f", "", "1251"},
        {"greek", u"Arial", GREEK_CHARSET, 1252, "\xE1", false, "3b1", "", "1253"},
        {"default: the system's page", u"MS Gothic", DEFAULT_CHARSET, 932, "\x82\xA0", false,
         "3042", "100,500;", "932"},
        {"default, western system", u"Arial", DEFAULT_CHARSET, 1252, "\x82", false, "201a",
         "100,500;", "1252"},
        // A lead byte with nothing after it is one character.
        {"lone lead byte", u"MS Gothic", SHIFTJIS_CHARSET, 1252, "A\x82", true, "41,", "", "932"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(platform::test::SetAnsiCodePage(c.systemPage));
        HFONT f = Select(c.face, -60, c.charSet);
        ASSERT_TRUE(ExtTextOutA(hdc, 100, 500, 0, nullptr, c.bytes.data(),
                                static_cast<UINT>(c.bytes.size()), c.spaced ? dx : nullptr));
        Unselect(f);
        std::vector<std::string> l = Drawn();
        ASSERT_EQ(l.size(), 1u);
        const std::string& line = l.back();
        if (c.text.back() == ',') {
            EXPECT_EQ(Field(line, "text").rfind(c.text, 0), 0u) << line;
        } else {
            EXPECT_EQ(Field(line, "text"), c.text) << line;
        }
        if (!c.at.empty()) {
            EXPECT_EQ(Field(line, "at"), c.at) << line;
        }
        EXPECT_EQ(Field(line, "cp"), c.codePage) << line;
    }
    ASSERT_TRUE(platform::test::SetAnsiCodePage(1252));
    // A character set whose code page the system cannot read: a clear error.
    HFONT f = Select(u"Arial", -60, HANGUL_CHARSET);
    SetLastError(0);
    EXPECT_FALSE(ExtTextOutA(hdc, 100, 500, 0, nullptr, "\xB0\xA1", 2, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Wide text is told the font's code page too.
    ASSERT_TRUE(ExtTextOutW(hdc, 100, 500, 0, nullptr, u"\xD55C", 1, nullptr));
    Unselect(f);
    std::vector<std::string> l = Drawn();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(Field(l.back(), "cp"), "949");
}

TEST_F(TextDriverTest, GlyphIndicesArePassedUnchanged) {
    OpenPage();
    HFONT f = Select(u"Courier New", -60, ANSI_CHARSET);
    struct Case {
        const char* what;
        std::function<BOOL()> draw;
        std::string glyphs, at, defs;
    } cases[] = {
        {"wide",
         [&] {
             return ExtTextOutW(hdc, 100, 500, ETO_GLYPH_INDEX, nullptr, u"\x24\x25", 2, nullptr);
         },
         "36,37", "100,500;136,500;", "bb"},
        // The narrow call takes 16-bit indices too.
        {"narrow call",
         [&] {
             static const WORD indices[2] = {0x24, 0x180};
             return ExtTextOutA(hdc, 100, 500, ETO_GLYPH_INDEX, nullptr,
                                reinterpret_cast<LPCSTR>(indices), 2, nullptr);
         },
         "36,384", "100,500;136,500;", "bb"},
        // An index past the face's glyphs has no image and no advance.
        {"past the face",
         [&] {
             return ExtTextOutW(hdc, 100, 500, ETO_GLYPH_INDEX, nullptr, u"\xFFF0\x24", 2, nullptr);
         },
         "65520,36", "100,500;100,500;", "0b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.draw());
        std::vector<std::string> l = Drawn();
        ASSERT_EQ(l.size(), 1u);
        const std::string& line = l.back();
        EXPECT_EQ(Field(line, "glyphs"), c.glyphs) << line;
        EXPECT_EQ(Field(line, "at"), c.at) << line;
        EXPECT_EQ(Field(line, "defs"), c.defs) << line;
        EXPECT_TRUE(std::stoul(Field(line, "accel"), nullptr, 16) & SO_GLYPHINDEX_TEXT) << line;
    }
    Unselect(f);
}

TEST_F(TextDriverTest, DriverIsAskedOnceForEachFontHowItWantsTheGlyphs) {
    struct Case {
        const char* what;
        bool answers;
        ULONG mode;
        bool punt;
        std::string defs;
    } cases[] = {
        {"no answer: images", false, FO_GLYPHBITS, false, "bb"},
        {"images", true, FO_GLYPHBITS, false, "bb"},
        {"outlines", true, FO_PATHOBJ, false, "pp"},
        {"handles only", true, FO_HGLYPHS, false, "00"},
        {"outlines, drawn by the engine", true, FO_PATHOBJ, true, "pp"},
        {"handles, drawn by the engine", true, FO_HGLYPHS, true, "00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set("defaults", 0);
        set("answerGlyphMode", c.answers);
        set("glyphMode", static_cast<long>(c.mode));
        set("punt", c.punt);
        OpenPage();
        HFONT a = Select(u"Arial", -60, ANSI_CHARSET);
        ASSERT_TRUE(TextOutW(hdc, 100, 500, u"ab", 2));
        ASSERT_TRUE(TextOutW(hdc, 100, 600, u"ab", 2));
        Unselect(a);
        HFONT b = Select(u"Arial", -80, ANSI_CHARSET);
        ASSERT_TRUE(TextOutW(hdc, 100, 700, u"ab", 2));
        Unselect(b);
        std::vector<std::string> l = Take();
        std::vector<std::string> asked, drawn, engine;
        for (const std::string& line : l) {
            if (line.rfind("GetGlyphMode", 0) == 0) asked.push_back(line);
            if (line.rfind("TextOut", 0) == 0) drawn.push_back(line);
            if (line.rfind("EngTextOut", 0) == 0) engine.push_back(line);
        }
        ASSERT_EQ(drawn.size(), 3u);
        if (c.answers) {
            // Asked for each of the two fonts before its first string.
            ASSERT_EQ(asked.size(), 2u);
            EXPECT_EQ(l[0], asked[0]);
            EXPECT_EQ(Field(asked[0], "pdev"), "ours");
            EXPECT_EQ(Field(asked[0], "font"), Field(drawn[0], "font"));
            EXPECT_EQ(Field(asked[1], "font"), Field(drawn[2], "font"));
            EXPECT_EQ(Field(drawn[0], "font"), Field(drawn[1], "font"));
        } else {
            EXPECT_TRUE(asked.empty());
        }
        for (const std::string& d : drawn)
            EXPECT_EQ(Field(d, "defs"), c.defs) << d;
        if (c.punt) {
            ASSERT_EQ(engine.size(), 3u);
            for (const std::string& e : engine)
                EXPECT_EQ(e, "EngTextOut ok=1 ink=yes");
        }
        ClosePage();
        // Each font object went back to the driver with the device.
        long destroyed = 0;
        for (const std::string& line : Take())
            destroyed += line.rfind("DestroyFont", 0) == 0;
        EXPECT_EQ(destroyed, 2);
    }
}

// A metafile record laid out by its documented offsets (from the record's
// start, type and size included).
struct RecordBytes {
    explicit RecordBytes(size_t size) : b(size, 0) {}
    RecordBytes& U32(size_t at, DWORD v) {
        std::memcpy(b.data() + at, &v, 4);
        return *this;
    }
    RecordBytes& Bytes(size_t at, const void* p, size_t n) {
        if (n) std::memcpy(b.data() + at, p, n);
        return *this;
    }
    // What follows type and size, as the builder takes it.
    const BYTE* Body() const { return b.data() + 8; }
    size_t BodySize() const { return b.size() - 8; }
    std::vector<BYTE> b;
};

TEST_F(TextDriverTest, TextRecordsOfMetafilesPlayByTheirLayout) {
    const float one = 1.0f;
    DWORD oneBits;
    std::memcpy(&oneBits, &one, 4);
    // EMR_EXTTEXTOUTA/W: bounds 8, graphics mode 24, scales 28 and 32, then
    // the text: reference 36, count 44, string offset 48, options 52,
    // rectangle 56, spacing offset 72; the data from 76 on.
    auto extText = [&](std::string data, DWORD count, DWORD offDx, std::vector<INT> dx,
                       size_t size) {
        RecordBytes r(size);
        r.U32(24, GM_COMPATIBLE).U32(28, oneBits).U32(32, oneBits);
        r.U32(36, 100).U32(40, 200).U32(44, count).U32(48, 76).U32(72, offDx);
        r.Bytes(76, data.data(), std::min(data.size(), size - 76));
        if (offDx && offDx + dx.size() * 4 <= size) r.Bytes(offDx, dx.data(), dx.size() * 4);
        return r;
    };
    // EMR_POLYTEXTOUTA/W: bounds 8, graphics mode 24, scales 28 and 32,
    // string count 36, then 40-byte texts from 40 on.
    auto polyText = [&](std::vector<std::pair<POINTL, std::u16string>> texts, bool wide,
                        DWORD claimed) {
        size_t data = 40 + 40 * texts.size();
        size_t size = data;
        for (auto& t : texts)
            size += (t.second.size() * (wide ? 2 : 1) + 3) / 4 * 4;
        RecordBytes r(size);
        r.U32(24, GM_COMPATIBLE).U32(28, oneBits).U32(32, oneBits).U32(36, claimed);
        for (size_t i = 0; i < texts.size(); ++i) {
            size_t e = 40 + 40 * i;
            r.U32(e, static_cast<DWORD>(texts[i].first.x))
                .U32(e + 4, static_cast<DWORD>(texts[i].first.y));
            r.U32(e + 8, static_cast<DWORD>(texts[i].second.size()))
                .U32(e + 12, static_cast<DWORD>(data));
            for (size_t k = 0; k < texts[i].second.size(); ++k) {
                if (wide)
                    std::memcpy(r.b.data() + data + 2 * k, &texts[i].second[k], 2);
                else
                    r.b[data + k] = static_cast<BYTE>(texts[i].second[k]);
            }
            data += (texts[i].second.size() * (wide ? 2 : 1) + 3) / 4 * 4;
        }
        return r;
    };
    // EMR_SMALLTEXTOUT: x 8, y 12, count 16, options 20, graphics mode 24,
    // scales 28 and 32, the rectangle at 36 unless the options leave it out,
    // then the characters (bytes with ETO_SMALL_CHARS).
    constexpr DWORD kNoRect = 0x100, kSmallChars = 0x200;
    auto smallText = [&](DWORD options, std::u16string text, DWORD count) {
        bool rect = !(options & kNoRect), small = (options & kSmallChars) != 0;
        size_t at = rect ? 52 : 36;
        RecordBytes r(at + (text.size() * (small ? 1 : 2) + 3) / 4 * 4);
        r.U32(8, 50).U32(12, 60).U32(16, count).U32(20, options).U32(24, GM_COMPATIBLE);
        r.U32(28, oneBits).U32(32, oneBits);
        for (size_t k = 0; k < text.size(); ++k) {
            if (small)
                r.b[at + k] = static_cast<BYTE>(text[k]);
            else
                std::memcpy(r.b.data() + at + 2 * k, &text[k], 2);
        }
        return r;
    };
    auto two = [](DWORD a, DWORD b) {
        RecordBytes r(16);
        return r.U32(8, a).U32(12, b);
    };
    auto oneValue = [](DWORD a) {
        RecordBytes r(12);
        return r.U32(8, a);
    };
    const std::u16string hi = u"Hi";
    struct Case {
        const char* what;
        BYTE charSet;
        std::vector<std::pair<DWORD, RecordBytes>> records;
        std::vector<std::string> text, at; // one each per string the driver gets
        std::string skipped;
    } cases[] = {
        {"ANSI text in the font's double-byte page, spaced by its bytes",
         SHIFTJIS_CHARSET,
         {{EMR_EXTTEXTOUTA, extText("\x82\xA0"
                                    "A",
                                    3, 80, {10, 20, 30}, 92)}},
         {"3042,41"},
         {"100,200;130,200;"},
         ""},
        {"wide text",
         ANSI_CHARSET,
         {{EMR_EXTTEXTOUTW,
           extText(std::string(reinterpret_cast<const char*>(hi.data()), 4), 2, 0, {}, 80)}},
         {"48,69"},
         {"100,200;136,200;"},
         ""},
        {"glyph indices of a byte record are its bytes",
         ANSI_CHARSET,
         {{EMR_EXTTEXTOUTA,
           [&] {
               RecordBytes r = extText("\x24\x80", 2, 0, {}, 80);
               r.U32(52, ETO_GLYPH_INDEX);
               return r;
           }()}},
         {"24,80"},
         {"100,200;136,200;"},
         ""},
        {"characters past the record",
         ANSI_CHARSET,
         {{EMR_EXTTEXTOUTA, extText("abc", 5, 0, {}, 80)}},
         {},
         {},
         "EMR_EXTTEXTOUTA (83): malformed\n"},
        {"spacing past the record",
         ANSI_CHARSET,
         {{EMR_EXTTEXTOUTA, extText("ab", 2, 80, {}, 84)}},
         {},
         {},
         "EMR_EXTTEXTOUTA (83): malformed\n"},
        {"two wide strings",
         ANSI_CHARSET,
         {{EMR_POLYTEXTOUTW, polyText({{{100, 200}, u"Hi"}, {{300, 400}, u"Yo"}}, true, 2)}},
         {"48,69", "59,6f"},
         {"100,200;136,200;", "300,400;336,400;"},
         ""},
        {"an ANSI string",
         ANSI_CHARSET,
         {{EMR_POLYTEXTOUTA, polyText({{{100, 200}, u"Ab\xE9"}}, false, 1)}},
         {"41,62,e9"},
         {"100,200;136,200;172,200;"},
         ""},
        {"more strings than the record holds",
         ANSI_CHARSET,
         {{EMR_POLYTEXTOUTW, polyText({{{100, 200}, u"Hi"}}, true, 3)}},
         {},
         {},
         "EMR_POLYTEXTOUTW (97): malformed\n"},
        {"small characters without a rectangle",
         ANSI_CHARSET,
         {{EMR_SMALLTEXTOUT, smallText(kNoRect | kSmallChars, u"ab", 2)}},
         {"61,62"},
         {"50,60;86,60;"},
         ""},
        // The face has no glyph for the kana: it comes from a linked face.
        {"wide characters after the rectangle",
         ANSI_CHARSET,
         {{EMR_SMALLTEXTOUT, smallText(0, u"Z\x3042", 2)}},
         {"5a", "3042"},
         {"50,60;", "86,60;"},
         ""},
        {"more small characters than the record holds",
         ANSI_CHARSET,
         {{EMR_SMALLTEXTOUT, smallText(kNoRect, u"ab", 9)}},
         {},
         {},
         "EMR_SMALLTEXTOUT (108): malformed\n"},
        {"justification widens the breaks",
         ANSI_CHARSET,
         {{EMR_SETTEXTJUSTIFICATION, two(20, 1)},
          {EMR_EXTTEXTOUTW, extText(std::string("a\0 \0b\0", 6), 3, 0, {}, 84)}},
         {"61,20,62"},
         {"100,200;136,200;192,200;"},
         ""},
        {"justification cut short",
         ANSI_CHARSET,
         {{EMR_SETTEXTJUSTIFICATION, oneValue(20)}},
         {},
         {},
         "EMR_SETTEXTJUSTIFICATION (120): malformed\n"},
        {"mapper flags", ANSI_CHARSET, {{EMR_SETMAPPERFLAGS, oneValue(1)}}, {}, {}, ""},
        {"mapper flags cut short",
         ANSI_CHARSET,
         {{EMR_SETMAPPERFLAGS, RecordBytes(8)}},
         {},
         {},
         "EMR_SETMAPPERFLAGS (16): malformed\n"},
    };
    OpenPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LOGFONTW lf{};
        lf.lfHeight = -60;
        lf.lfCharSet = c.charSet;
        std::u16string face = c.charSet == SHIFTJIS_CHARSET ? u"MS Gothic" : u"Courier New";
        std::memcpy(lf.lfFaceName, face.data(), face.size() * 2);
        // The pen only makes room for two objects in the metafile's table.
        platform::gdi::EmfBuilder b = emftest::PageEmf();
        b.CreatePen(2, PS_SOLID, 0, 0)
            .Fields(EMR_EXTCREATEFONTINDIRECTW, DWORD{1}, lf)
            .SelectObject(1)
            .Value(EMR_SETTEXTALIGN, TA_BASELINE);
        for (const auto& [type, r] : c.records)
            b.Record(type, r.Body(), r.BodySize());
        std::vector<BYTE> bytes = b.Finish();
        HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        ASSERT_NE(h, nullptr);
        platform::test::ClearSkippedEmfRecords();
        PlayEnhMetaFile(hdc, h, &emftest::kPage);
        DeleteEnhMetaFile(h);
        EXPECT_EQ(platform::test::SkippedEmfRecords(), c.skipped);
        std::vector<std::string> drawn = Drawn();
        ASSERT_EQ(drawn.size(), c.text.size());
        for (size_t i = 0; i < drawn.size(); ++i) {
            EXPECT_EQ(Field(drawn[i], "text"), c.text[i]) << drawn[i];
            EXPECT_EQ(Field(drawn[i], "at"), c.at[i]) << drawn[i];
        }
    }
}

TEST_F(TextDriverTest, TextRecordsTurnTheirGlyphsAsTheirGraphicsModeSays) {
    // A font whose baseline goes up the page and whose glyphs are not
    // turned: recorded in the compatible mode the glyphs follow the
    // baseline; in the advanced mode they keep their orientation.
    struct Case {
        DWORD mode;
        LONG orientation;
        std::string turn;
        bool escNotOrient;
    } cases[] = {
        {GM_COMPATIBLE, 0, "90", false},
        {GM_ADVANCED, 0, "0", true},
        {GM_ADVANCED, 900, "90", false},
        {GM_ADVANCED, 2700, "270", true},
    };
    OpenPage();
    const float one = 1.0f;
    DWORD oneBits;
    std::memcpy(&oneBits, &one, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.orientation));
        LOGFONTW lf{};
        lf.lfHeight = -60;
        lf.lfEscapement = 900;
        lf.lfOrientation = c.orientation;
        std::memcpy(lf.lfFaceName, u"Courier New", 22);
        RecordBytes r(80);
        r.U32(24, c.mode).U32(28, oneBits).U32(32, oneBits);
        r.U32(36, 100).U32(40, 200).U32(44, 2).U32(48, 76);
        r.Bytes(76, u"Hi", 4);
        std::vector<BYTE> bytes = emftest::PageEmf()
                                      .CreatePen(2, PS_SOLID, 0, 0)
                                      .Fields(EMR_EXTCREATEFONTINDIRECTW, DWORD{1}, lf)
                                      .SelectObject(1)
                                      .Value(EMR_SETTEXTALIGN, TA_BASELINE)
                                      .Record(EMR_EXTTEXTOUTW, r.Body(), r.BodySize())
                                      .Finish();
        HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &emftest::kPage));
        DeleteEnhMetaFile(h);
        std::vector<std::string> drawn = Drawn();
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(Field(drawn[0], "turn"), c.turn) << drawn[0];
        EXPECT_EQ(Field(drawn[0], "at"), "100,200;100,164;") << drawn[0];
        bool flag = std::stoul(Field(drawn[0], "accel"), nullptr, 16) & SO_ESC_NOT_ORIENT;
        EXPECT_EQ(flag, c.escNotOrient) << drawn[0];
    }
}

} // namespace
