// Fonts of the platform's GDI: the faces that documents name map to the
// installed metric-compatible faces, metrics and extents in logical units,
// raw tables, outlines, and text handed to the driver at the right places.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "emf_fixture.h"
#include "platform/paths.h"
#include "platform/emf_builder.h"
#include "platform/gdi_ctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/gdi_dc.h"

namespace {

LOGFONTW Font(const std::u16string& face, LONG height, LONG weight = FW_NORMAL, BYTE italic = 0) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    std::memcpy(lf.lfFaceName, face.data(), std::min<size_t>(face.size(), LF_FACESIZE) * 2);
    return lf;
}

class FontsTest : public emftest::RecorderTest {
  protected:
    HFONT Select(const LOGFONTW& lf) {
        HFONT f = CreateFontIndirectW(&lf);
        EXPECT_NE(f, nullptr);
        old = SelectObject(hdc, f);
        return f;
    }
    void Play(const platform::gdi::EmfBuilder& b) {
        std::vector<BYTE> bytes = b.Finish();
        HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &emftest::kPage));
        DeleteEnhMetaFile(h);
    }
    void Unselect(HFONT f) {
        SelectObject(hdc, old);
        DeleteObject(f);
    }
    HGDIOBJ old = nullptr;
};

TEST_F(FontsTest, DocumentFacesMapToTheirMetricCompatibleFaces) {
    OpenPage();
    // Each face's widths at a 2048-unit em: the metric-compatible face keeps them.
    struct Case {
        const char16_t* face;
        const char16_t* text;
        LONG width; // of the text at lfHeight -2048
        bool fixed;
    } cases[] = {
        {u"Arial", u"W", 1933, false},
        {u"Times New Roman", u"W", 1933, false},
        {u"Courier New", u"iW", 2458, true},
        {u"MS Shell Dlg", u"W", 1933, false},
    };
    for (const Case& c : cases) {
        HFONT f = Select(Font(c.face, -2048));
        SIZE sz{};
        ASSERT_TRUE(GetTextExtentPoint32W(hdc, c.text,
                                          static_cast<int>(std::u16string(c.text).size()), &sz));
        EXPECT_EQ(sz.cx, c.width) << std::string(c.face, c.face + std::u16string(c.face).size());
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(hdc, &tm));
        EXPECT_EQ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0, c.fixed);
        EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
        Unselect(f);
    }
}

TEST_F(FontsTest, HeightIsCharacterOrCellHeight) {
    OpenPage();
    HFONT f = Select(Font(u"Arial", -100));
    TEXTMETRICW em{};
    ASSERT_TRUE(GetTextMetricsW(hdc, &em));
    Unselect(f);
    f = Select(Font(u"Arial", em.tmHeight));
    TEXTMETRICW cell{};
    ASSERT_TRUE(GetTextMetricsW(hdc, &cell));
    Unselect(f);
    // Liberation Sans: ascent 1854, descent 434 of 2048.
    EXPECT_EQ(em.tmAscent, 91);
    EXPECT_EQ(em.tmDescent, 21);
    EXPECT_EQ(em.tmInternalLeading, em.tmHeight - 100);
    EXPECT_NEAR(cell.tmHeight, em.tmHeight, 1);
    EXPECT_NEAR(cell.tmInternalLeading, em.tmInternalLeading, 1);
}

TEST_F(FontsTest, WidthsOutlinesAndTables) {
    OpenPage();
    HFONT f = Select(Font(u"Arial", -2048));
    ABC abc[2]{};
    ASSERT_TRUE(GetCharABCWidthsW(hdc, u'A', u'B', abc));
    EXPECT_EQ(abc[0].abcA + static_cast<int>(abc[0].abcB) + abc[0].abcC, 1366);
    EXPECT_EQ(abc[1].abcA + static_cast<int>(abc[1].abcB) + abc[1].abcC, 1366);
    // The raw "head" table: its magic number at offset 12, and reads past it.
    BYTE head[54];
    DWORD tag = 'h' | 'e' << 8 | 'a' << 16 | 'd' << 24;
    ASSERT_EQ(GetFontData(hdc, tag, 0, head, sizeof head), 54u);
    EXPECT_EQ(head[12] << 24 | head[13] << 16 | head[14] << 8 | head[15], 0x5F0F3CF5);
    EXPECT_EQ(GetFontData(hdc, tag, 0, nullptr, 0), 54u);
    EXPECT_EQ(GetFontData(hdc, tag, 50, head, sizeof head), 4u);
    EXPECT_EQ(GetFontData(hdc, tag, 55, head, sizeof head), GDI_ERROR);
    EXPECT_EQ(GetFontData(hdc, 'z' | 'z' << 8 | 'z' << 16 | 'z' << 24, 0, head, 4), GDI_ERROR);
    DWORD whole = GetFontData(hdc, 0, 0, nullptr, 0);
    EXPECT_GT(whole, 100000u);
    // The glyph's outline and image.
    MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm{};
    DWORD native = GetGlyphOutlineW(hdc, u'O', GGO_NATIVE, &gm, 0, nullptr, &identity);
    ASSERT_NE(native, GDI_ERROR);
    std::vector<BYTE> buf(native);
    ASSERT_EQ(GetGlyphOutlineW(hdc, u'O', GGO_NATIVE, &gm, native, buf.data(), &identity), native);
    TTPOLYGONHEADER h;
    std::memcpy(&h, buf.data(), sizeof h);
    EXPECT_EQ(h.dwType, static_cast<DWORD>(TT_POLYGON_TYPE));
    EXPECT_LT(h.cb, native) << "two contours";
    EXPECT_EQ(gm.gmCellIncX, 1593);
    EXPECT_EQ(GetGlyphOutlineW(hdc, u'O', GGO_BITMAP, &gm, 0, nullptr, &identity),
              (gm.gmBlackBoxX + 31) / 32 * 4 * gm.gmBlackBoxY);
    // Outline metrics by the two-call protocol.
    UINT size = GetOutlineTextMetricsW(hdc, 0, nullptr);
    ASSERT_GT(size, sizeof(OUTLINETEXTMETRICW));
    std::vector<BYTE> otm(size);
    ASSERT_EQ(GetOutlineTextMetricsW(hdc, size, reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data())),
              size);
    auto* m = reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data());
    EXPECT_EQ(m->otmEMSquare, 2048u);
    auto faceAt = reinterpret_cast<size_t>(m->otmpFaceName);
    ASSERT_LT(faceAt, size);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(otm.data() + faceAt)), u"Arial");
    Unselect(f);
}

TEST_F(FontsTest, EastAsianCharacterSetsTakeAFaceWithTheirCharacters) {
    OpenPage();
    // A face that nothing installed has: the character set decides.
    struct Case {
        BYTE charSet;
        BYTE family;
        char16_t sample; // a character of the set
        const char16_t* face;
    } cases[] = {
        {SHIFTJIS_CHARSET, FF_DONTCARE, u'\x3042', u"Noto Sans CJK JP"},
        {SHIFTJIS_CHARSET, FF_ROMAN, u'\x3042', u"Noto Serif CJK JP"},
        {HANGUL_CHARSET, FF_DONTCARE, u'\xD55C', u"Noto Sans CJK KR"},
        {HANGUL_CHARSET, FF_ROMAN, u'\xD55C', u"Noto Serif CJK KR"},
        {GB2312_CHARSET, FF_SWISS, u'\x6C49', u"Noto Sans CJK SC"},
        {CHINESEBIG5_CHARSET, FF_DONTCARE, u'\x6F22', u"Noto Sans CJK TC"},
        {ANSI_CHARSET, FF_DONTCARE, u'A', u"Liberation Sans"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charSet);
        LOGFONTW lf = Font(u"", -100);
        lf.lfCharSet = c.charSet;
        lf.lfPitchAndFamily = c.family;
        HFONT f = Select(lf);
        UINT size = GetOutlineTextMetricsW(hdc, 0, nullptr);
        ASSERT_GT(size, sizeof(OUTLINETEXTMETRICW));
        std::vector<BYTE> otm(size);
        ASSERT_EQ(
            GetOutlineTextMetricsW(hdc, size, reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data())),
            size);
        auto* m = reinterpret_cast<OUTLINETEXTMETRICW*>(otm.data());
        auto at = reinterpret_cast<size_t>(m->otmpFamilyName);
        ASSERT_LT(at, size);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(otm.data() + at)), c.face);
        // The character has an outline of its own, not the face's box for
        // missing characters (glyph 0).
        MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        GLYPHMETRICS gm{};
        DWORD own = GetGlyphOutlineW(hdc, c.sample, GGO_NATIVE, &gm, 0, nullptr, &identity);
        DWORD missing =
            GetGlyphOutlineW(hdc, 0, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity);
        EXPECT_NE(own, GDI_ERROR);
        EXPECT_NE(own, missing);
        EXPECT_EQ(m->otmTextMetrics.tmCharSet, c.charSet);
        Unselect(f);
    }
}

// The face selected into hdc as its font file's size and a sample's extent
// at a 2048-unit em: the same for two fonts only when their face is one.
std::pair<DWORD, LONG> FaceFingerprint(HDC hdc) {
    SIZE sz{};
    GetTextExtentPoint32W(hdc, u"Wil", 3, &sz);
    return {GetFontData(hdc, 0, 0, nullptr, 0), sz.cx};
}

// Faces named as programs that export a page name them (no spaces, a
// PostScript name with its style, another case) find the
// installed face a person would expect, in the style the name gives.
TEST_F(FontsTest, FacesAreFoundByTheNamesProducersWrite) {
    OpenPage();
    struct Case {
        const char16_t* name;
        const char16_t* family;
        LONG weight; // as the face is
        bool italic;
    } cases[] = {
        {u"NotoSansCJKjp", u"Noto Sans CJK JP", FW_NORMAL, false},
        {u"NotoSerifCJKjp", u"Noto Serif CJK JP", FW_NORMAL, false},
        {u"NotoSansCJKjp-Regular", u"Noto Sans CJK JP", FW_NORMAL, false},
        {u"LiberationSerif", u"Liberation Serif", FW_NORMAL, false},
        {u"LiberationMono", u"Liberation Mono", FW_NORMAL, false},
        {u"liberation-serif", u"Liberation Serif", FW_NORMAL, false},
        {u"LiberationSerif-Bold", u"Liberation Serif", FW_BOLD, false},
        {u"LiberationSerif-BoldItalic", u"Liberation Serif", FW_BOLD, true},
        {u"Liberation Mono Italic", u"Liberation Mono", FW_NORMAL, true},
        // A name no face has still takes the default face.
        {u"NoSuchFaceAnywhere", u"Liberation Sans", FW_NORMAL, false},
    };
    for (const Case& c : cases) {
        const std::u16string name = c.name;
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        HFONT f = Select(Font(c.family, -2048, c.weight, c.italic));
        const auto want = FaceFingerprint(hdc);
        Unselect(f);
        f = Select(Font(name, -2048));
        EXPECT_EQ(FaceFingerprint(hdc), want);
        Unselect(f);
    }
}

// Characters the chosen face lacks are drawn from a face that has them: a
// Latin face's text with Japanese in it goes to the driver in three runs,
// the middle one in a face that has the characters, at the places the
// advances give.
TEST_F(FontsTest, CharactersTheFaceLacksComeFromALinkedFace) {
    OpenPage();
    HFONT f = Select(Font(u"Liberation Serif", -100));
    SetBkMode(hdc, TRANSPARENT);
    SetTextAlign(hdc, TA_LEFT | TA_BASELINE);
    clear();
    ASSERT_TRUE(ExtTextOutW(hdc, 100, 500, 0, nullptr,
                            u"ab\x65E5\x672C"
                            u"c",
                            5, nullptr));
    std::vector<std::string> d = TakeDetail();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_NE(d[0].find("face=Liberation Serif em=100"), std::string::npos) << d[0];
    EXPECT_NE(d[2].find("face=Liberation Serif em=100"), std::string::npos) << d[2];
    EXPECT_NE(d[1].find("face=Noto S"), std::string::npos) << d[1];
    EXPECT_NE(d[1].find("CJK"), std::string::npos) << d[1];
    EXPECT_NE(d[1].find(" em=100"), std::string::npos) << d[1];
    // "a" and "b" are 44 and 50 wide; each ideograph a whole em.
    EXPECT_NE(d[1].find("at=194,500;294,500;"), std::string::npos) << d[1];
    EXPECT_NE(d[2].find("at=394,500;"), std::string::npos) << d[2];
    // A face that has every character draws them in one run.
    Unselect(f);
    f = Select(Font(u"Noto Sans CJK JP", -100));
    clear();
    ASSERT_TRUE(ExtTextOutW(hdc, 100, 500, 0, nullptr,
                            u"ab\x65E5\x672C"
                            u"c",
                            5, nullptr));
    EXPECT_EQ(TakeDetail().size(), 1u);
    Unselect(f);
}

ULONG BigEndian32(const BYTE* p) {
    return static_cast<ULONG>(p[0]) << 24 | static_cast<ULONG>(p[1]) << 16 |
           static_cast<ULONG>(p[2]) << 8 | p[3];
}

DWORD Tag(const char* t) {
    return static_cast<DWORD>(t[0] | t[1] << 8 | t[2] << 16 | t[3] << 24);
}

TEST_F(FontsTest, FontDataOfACollectionsFaceIsThatFaceOrTheWholeCollection) {
    OpenPage();
    // The second face of the installed East Asian collection.
    HFONT f = Select(Font(u"Noto Sans CJK KR", -100));
    DWORD whole = GetFontData(hdc, TTCF_TABLE, 0, nullptr, 0);
    ASSERT_NE(whole, GDI_ERROR);
    std::vector<BYTE> collection(whole);
    ASSERT_EQ(GetFontData(hdc, TTCF_TABLE, 0, collection.data(), whole), whole);
    EXPECT_EQ(BigEndian32(collection.data()), 0x74746366u); // "ttcf"
    ASSERT_GE(BigEndian32(collection.data() + 8), 2u);
    const ULONG memberAt = BigEndian32(collection.data() + 16); // the second face's offset table

    // Table 0: the face as a font file of its own, its directory pointing
    // into itself.
    DWORD size = GetFontData(hdc, 0, 0, nullptr, 0);
    ASSERT_NE(size, GDI_ERROR);
    EXPECT_LT(size, whole);
    std::vector<BYTE> own(size);
    ASSERT_EQ(GetFontData(hdc, 0, 0, own.data(), size), size);
    EXPECT_EQ(std::memcmp(own.data(), collection.data() + memberAt, 12), 0)
        << "the face's own offset table";
    const ULONG tables = static_cast<ULONG>(own[4] << 8 | own[5]);
    ASSERT_GT(tables, 5u);
    ASSERT_GE(size, 12 + 16 * tables);
    size_t end = 12 + 16 * tables;
    for (ULONG i = 0; i < tables; ++i) {
        const BYTE* e = own.data() + 12 + 16 * i;
        const char tag[5] = {char(e[0]), char(e[1]), char(e[2]), char(e[3]), 0};
        SCOPED_TRACE(tag);
        ULONG offset = BigEndian32(e + 8), length = BigEndian32(e + 12);
        EXPECT_EQ(offset, end) << "tables follow each other, padded to four bytes";
        ASSERT_LE(static_cast<size_t>(offset) + length, own.size());
        end = offset + (length + 3) / 4 * 4;
        // The same bytes as the table asked for by its tag.
        if (length > 4 * 1024 * 1024) continue;
        std::vector<BYTE> table(length);
        ASSERT_EQ(GetFontData(hdc, Tag(tag), 0, table.data(), length), length);
        EXPECT_EQ(std::memcmp(table.data(), own.data() + offset, length), 0);
    }
    EXPECT_EQ(end, size);
    // A window of it, and reads past its end.
    std::vector<BYTE> part(100);
    ASSERT_EQ(GetFontData(hdc, 0, size - 50, part.data(), 100), 50u);
    EXPECT_EQ(std::memcmp(part.data(), own.data() + size - 50, 50), 0);
    EXPECT_EQ(GetFontData(hdc, 0, 10, part.data(), 20), 20u);
    EXPECT_EQ(std::memcmp(part.data(), own.data() + 10, 20), 0);
    EXPECT_EQ(GetFontData(hdc, 0, size + 1, part.data(), 100), GDI_ERROR);
    EXPECT_EQ(GetFontData(hdc, TTCF_TABLE, whole + 1, part.data(), 100), GDI_ERROR);
    Unselect(f);
    // The face's file stands by itself: it can be added as a font.
    DWORD faces = 0;
    HANDLE added = AddFontMemResourceEx(own.data(), size, nullptr, &faces);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(faces, 1u);
    EXPECT_TRUE(RemoveFontMemResourceEx(added));

    // A font file that is no collection: table 0 is the file, and it has no
    // collection to give.
    f = Select(Font(u"Arial", -100));
    DWORD file = GetFontData(hdc, 0, 0, nullptr, 0);
    ASSERT_NE(file, GDI_ERROR);
    std::vector<BYTE> head(4);
    ASSERT_EQ(GetFontData(hdc, 0, 0, head.data(), 4), 4u);
    EXPECT_EQ(BigEndian32(head.data()), 0x00010000u);
    EXPECT_EQ(GetFontData(hdc, TTCF_TABLE, 0, nullptr, 0), GDI_ERROR);
    Unselect(f);
}

TEST_F(FontsTest, FaceNameFillingItsFieldIsCut) {
    OpenPage();
    LOGFONTW lf = Font(u"", -50);
    for (auto& c : lf.lfFaceName)
        c = u'X';
    HFONT f = Select(lf);
    WCHAR face[64] = {};
    int n = GetTextFaceW(hdc, 64, face);
    EXPECT_EQ(n, LF_FACESIZE - 1);
    EXPECT_EQ(face[LF_FACESIZE - 1], 0);
    Unselect(f);
}

// What the font list hands its callback, one line per font:
// "face|full name|style|weight|italic|charset|script|flags".
struct Listed {
    std::vector<std::string> lines;
};

int CALLBACK ListFont(const LOGFONTW* l, const TEXTMETRICW* tm, DWORD type, LPARAM p) {
    const auto* elf = reinterpret_cast<const ENUMLOGFONTEXW*>(l);
    const auto* ntm = reinterpret_cast<const NEWTEXTMETRICEXW*>(tm);
    EXPECT_EQ(type, static_cast<DWORD>(TRUETYPE_FONTTYPE));
    EXPECT_GT(tm->tmHeight, 0);
    EXPECT_EQ(tm->tmWeight, l->lfWeight);
    EXPECT_EQ(tm->tmCharSet, l->lfCharSet);
    auto u8 = [](const WCHAR* s) { return platform::ToUtf8(s); };
    reinterpret_cast<Listed*>(p)->lines.push_back(
        u8(l->lfFaceName) + "|" + u8(elf->elfFullName) + "|" + u8(elf->elfStyle) + "|" +
        std::to_string(l->lfWeight) + "|" + std::to_string(l->lfItalic) + "|" +
        std::to_string(l->lfCharSet) + "|" + u8(elf->elfScript) + "|" +
        std::to_string(ntm->ntmTm.ntmFlags));
    return 1;
}

TEST_F(FontsTest, FontListNamesEveryMemberOfAFamily) {
    OpenPage();
    LOGFONTW lf = Font(u"Liberation Sans", 0);
    lf.lfCharSet = ANSI_CHARSET;
    Listed listed;
    EXPECT_EQ(EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0), 1);
    EXPECT_EQ(listed.lines, (std::vector<std::string>{
                                "Liberation Sans|Liberation Sans|Regular|400|0|0|Western|64",
                                "Liberation Sans|Liberation Sans Italic|Italic|400|1|0|Western|1",
                                "Liberation Sans|Liberation Sans Bold|Bold|700|0|0|Western|32",
                                "Liberation Sans|Liberation Sans Bold Italic|Bold Italic|700|1|0|"
                                "Western|33",
                            }));
    // Every character set of every member: the regular face in each of its
    // scripts, Western first.
    lf.lfCharSet = DEFAULT_CHARSET;
    listed.lines.clear();
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0);
    ASSERT_GT(listed.lines.size(), 4u);
    EXPECT_EQ(listed.lines[0], "Liberation Sans|Liberation Sans|Regular|400|0|0|Western|64");
    auto has = [&](const std::string& line) {
        return std::find(listed.lines.begin(), listed.lines.end(), line) != listed.lines.end();
    };
    EXPECT_TRUE(has("Liberation Sans|Liberation Sans|Regular|400|0|204|Cyrillic|64"));
    EXPECT_TRUE(has("Liberation Sans|Liberation Sans Bold|Bold|700|0|161|Greek|32"));
    EXPECT_TRUE(has("Liberation Sans|Liberation Sans|Regular|400|0|238|Central European|64"));
    EXPECT_FALSE(has("Liberation Sans|Liberation Sans|Regular|400|0|128|Japanese|64"));
    // A name documents use lists the members under that name; a set the
    // family lacks, or a name of nothing installed, lists nothing.
    lf = Font(u"Times New Roman", 0);
    lf.lfCharSet = ANSI_CHARSET;
    listed.lines.clear();
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0);
    ASSERT_EQ(listed.lines.size(), 4u);
    EXPECT_EQ(listed.lines[2], "Times New Roman|Times New Roman Bold|Bold|700|0|0|Western|32");
    lf.lfCharSet = SHIFTJIS_CHARSET;
    listed.lines.clear();
    EXPECT_EQ(EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0), 1);
    EXPECT_TRUE(listed.lines.empty());
    lf = Font(u"No Such Face", 0);
    lf.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0);
    EXPECT_TRUE(listed.lines.empty());
}

TEST_F(FontsTest, FontListWithoutANameGivesOneFontPerFamily) {
    OpenPage();
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    Listed listed;
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0);
    std::vector<std::string> faces;
    for (const std::string& line : listed.lines)
        faces.push_back(line.substr(0, line.find('|')));
    std::vector<std::string> unique = faces;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
    EXPECT_NE(std::find(faces.begin(), faces.end(), "Liberation Serif"), faces.end());
    // Only families with Japanese letters for that set.
    lf.lfCharSet = SHIFTJIS_CHARSET;
    listed.lines.clear();
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&listed), 0);
    for (const std::string& line : listed.lines)
        EXPECT_NE(line.find("|128|Japanese|"), std::string::npos) << line;
    // The callback's 0 stops the list and is the answer.
    lf.lfCharSet = DEFAULT_CHARSET;
    int calls = 0;
    EXPECT_EQ(EnumFontFamiliesExW(
                  hdc, &lf,
                  [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM p) {
                      ++*reinterpret_cast<int*>(p);
                      return 0;
                  },
                  reinterpret_cast<LPARAM>(&calls), 0),
              0);
    EXPECT_EQ(calls, 1);
}

// The faces a Windows machine lists, shown as the families that stand in
// for them with the Windows names of their members; the stand-ins are listed
// too, and no other name documents use.
TEST_F(FontsTest, FontListShowsTheWindowsFacesAsTheirStandIns) {
    OpenPage();
    struct Case {
        const char16_t* face;
        const char16_t* standIn;
    };
    const Case cases[] = {
        {u"Arial", u"Liberation Sans"},
        {u"Times New Roman", u"Liberation Serif"},
        {u"Courier New", u"Liberation Mono"},
    };
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    Listed all;
    EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&all), 0);
    auto listedFace = [&](const std::string& face) {
        return std::any_of(all.lines.begin(), all.lines.end(), [&](const std::string& line) {
            return line.compare(0, face.size() + 1, face + "|") == 0;
        });
    };
    EXPECT_FALSE(listedFace("Helvetica"));
    EXPECT_FALSE(listedFace("MS Shell Dlg"));
    for (const Case& c : cases) {
        const std::string face = platform::ToUtf8(c.face), standIn = platform::ToUtf8(c.standIn);
        SCOPED_TRACE(face);
        EXPECT_TRUE(listedFace(face));
        EXPECT_TRUE(listedFace(standIn));
        lf = Font(c.face, 0);
        lf.lfCharSet = ANSI_CHARSET;
        Listed members;
        EXPECT_EQ(EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&members), 0),
                  1);
        EXPECT_EQ(members.lines,
                  (std::vector<std::string>{
                      face + "|" + face + "|Regular|400|0|0|Western|64",
                      face + "|" + face + " Italic|Italic|400|1|0|Western|1",
                      face + "|" + face + " Bold|Bold|700|0|0|Western|32",
                      face + "|" + face + " Bold Italic|Bold Italic|700|1|0|Western|33",
                  }));
        // Every character set of the stand-in's members, under the name.
        auto renamed = [&](Listed l, const std::string& from) {
            for (std::string& line : l.lines)
                for (size_t at; (at = line.find(from)) != std::string::npos;)
                    line.replace(at, from.size(), face);
            return l.lines;
        };
        lf.lfCharSet = DEFAULT_CHARSET;
        members.lines.clear();
        EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&members), 0);
        Listed own;
        lf = Font(c.standIn, 0);
        lf.lfCharSet = DEFAULT_CHARSET;
        EnumFontFamiliesExW(hdc, &lf, ListFont, reinterpret_cast<LPARAM>(&own), 0);
        EXPECT_GT(own.lines.size(), 4u);
        EXPECT_EQ(members.lines, renamed(own, standIn));
    }
}

TEST_F(FontsTest, TextGoesToTheDriverWhereItBelongs) {
    OpenPage();
    HFONT f = Select(Font(u"Arial", -100));
    TEXTMETRICW tm{};
    GetTextMetricsW(hdc, &tm);
    SetBkMode(hdc, TRANSPARENT);
    struct Case {
        UINT align;
        const INT* dx;
        int charExtra;
        std::string at;
    };
    static const INT dx[3] = {70, 80, 90};
    std::string top = std::to_string(500 + tm.tmAscent);
    Case cases[] = {
        {TA_LEFT | TA_BASELINE, nullptr, 0, "100,500;156,500;212,500;"},
        {TA_LEFT | TA_TOP, nullptr, 0, "100," + top + ";156," + top + ";212," + top + ";"},
        {TA_LEFT | TA_BASELINE, dx, 0, "100,500;170,500;250,500;"},
        {TA_LEFT | TA_BASELINE, nullptr, 10, "100,500;166,500;232,500;"},
        {TA_RIGHT | TA_BASELINE, nullptr, 0, "-62,500;-6,500;50,500;"}, // a, b 56 and c 50 wide
    };
    for (const Case& c : cases) {
        SetTextAlign(hdc, c.align);
        SetTextCharacterExtra(hdc, c.charExtra);
        clear();
        ASSERT_TRUE(ExtTextOutW(hdc, 100, 500, 0, nullptr, u"abc", 3, c.dx));
        std::vector<std::string> d = TakeDetail();
        ASSERT_EQ(d.size(), 1u);
        EXPECT_NE(d[0].find("at=" + c.at), std::string::npos) << d[0];
        EXPECT_NE(d[0].find("face=Arial em=100"), std::string::npos) << d[0];
    }
    SetTextCharacterExtra(hdc, 0);
    SetTextAlign(hdc, TA_LEFT | TA_BASELINE);
    // An opaque rectangle and a clipped run.
    SetTextColor(hdc, RGB(255, 0, 0));
    RECT r{90, 400, 400, 520};
    clear();
    ASSERT_TRUE(ExtTextOutW(hdc, 100, 500, ETO_OPAQUE | ETO_CLIPPED, &r, u"abc", 3, nullptr));
    std::vector<std::string> d = TakeDetail();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NE(d[0].find("opaque=90,400,400,520"), std::string::npos) << d[0];
    EXPECT_NE(d[0].find("color=255"), std::string::npos) << d[0];
    Unselect(f);
}

TEST_F(FontsTest, EmfTextRecordsPlay) {
    OpenPage();
    LOGFONTW lf = Font(u"Courier New", -60);
    std::u16string text = u"Hi";
    // EMRTEXT: reference, count, string offset, options, rectangle, dx offset.
    std::vector<BYTE> rec(76 + 4 + 8, 0);
    auto put = [&](size_t at, DWORD v) { std::memcpy(rec.data() + at, &v, 4); };
    put(16, GM_COMPATIBLE);
    // The body follows type and size; the offsets inside count from the
    // record's start, 8 bytes before the body.
    put(28, 100), put(32, 200); // reference point
    put(36, 2), put(40, 76);    // count, string at record offset 76
    put(64, 84);                // spacing at record offset 84
    std::memcpy(rec.data() + 68, text.data(), 4);
    put(76, 50), put(80, 60);
    const std::vector<BYTE>& body = rec;
    // The pen only makes room for two objects in the metafile's table.
    Play(emftest::PageEmf()
             .CreatePen(2, PS_SOLID, 0, 0)
             .Fields(EMR_EXTCREATEFONTINDIRECTW, DWORD{1}, lf)
             .SelectObject(1)
             .Value(EMR_SETTEXTALIGN, TA_BASELINE)
             .Record(EMR_EXTTEXTOUTW, body.data(), body.size()));
    std::vector<std::string> d = TakeDetail();
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
    bool found = false;
    for (const std::string& l : d)
        if (l.find("TextOut at=100,200;150,200;") != std::string::npos) found = true;
    EXPECT_TRUE(found) << (d.empty() ? "" : d[0]);
}

// A font file's bytes with every UTF-16BE occurrence of one name replaced by
// another of the same length (as a job's renamed fonts come).
std::vector<BYTE> RenamedFont(const char* path, const std::u16string& from,
                              const std::u16string& to) {
    std::vector<BYTE> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<BYTE>(c));
        std::fclose(f);
    }
    auto be = [](const std::u16string& s) {
        std::vector<BYTE> out;
        for (char16_t c : s)
            out.push_back(static_cast<BYTE>(c >> 8)), out.push_back(static_cast<BYTE>(c));
        return out;
    };
    const std::vector<BYTE> a = be(from), b = be(to);
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), a.begin(), a.end())) != bytes.end();)
        it = std::copy(b.begin(), b.end(), it);
    return bytes;
}

// The installed file of a fixed-pitch face, renamed to a name of its length
// that nothing else has.
std::vector<BYTE> RenamedMono(const std::u16string& to) {
    char path[512] = {};
    if (FILE* p = popen("fc-match -f '%{file}' 'Liberation Mono'", "r")) {
        if (!std::fgets(path, sizeof path, p)) path[0] = 0;
        pclose(p);
    }
    return RenamedFont(path, u"Liberation Mono", to);
}

TEST_F(FontsTest, MemoryFontsComeBeforeInstalledOnesUntilRemoved) {
    OpenPage();
    auto bytes = RenamedMono(u"Qjobtyped Monoz");
    ASSERT_FALSE(bytes.empty());
    auto width = [&] {
        HFONT f = Select(Font(u"Qjobtyped Monoz", -2048));
        SIZE sz{};
        GetTextExtentPoint32W(hdc, u"iW", 2, &sz);
        Unselect(f);
        return sz.cx;
    };
    const LONG before = width(); // an unknown face: the proportional default
    DWORD faces = 0;
    HANDLE font =
        AddFontMemResourceEx(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &faces);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(faces, 1u);
    EXPECT_EQ(platform::test::LiveMemoryFonts(), 1);
    EXPECT_EQ(width(), 2458); // two fixed-pitch cells
    EXPECT_TRUE(RemoveFontMemResourceEx(font));
    EXPECT_FALSE(RemoveFontMemResourceEx(font));
    EXPECT_EQ(width(), before);
    EXPECT_EQ(platform::test::LiveMemoryFonts(), 0);
    // Bytes that are no font.
    std::vector<BYTE> junk(64, 0x5A);
    EXPECT_EQ(AddFontMemResourceEx(junk.data(), 64, nullptr, &faces), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(AddFontMemResourceEx(nullptr, 64, nullptr, &faces), nullptr);
}

// Bytes that are a read-only view of a font file: the font is a copy of
// them, whole, kept when the view and the file go; a file cut short behind
// its view gives no font and no fault.
TEST_F(FontsTest, MemoryFontFromAFileViewIsItsOwnCopy) {
    OpenPage();
    const auto bytes = RenamedMono(u"Qmappedly Monoz");
    ASSERT_FALSE(bytes.empty());
    const auto size = static_cast<DWORD>(bytes.size());
    const char16_t* name = u"C:\\mapped.ttf";
    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut short" : "whole");
        HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD wrote = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), size, &wrote, nullptr));
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        ASSERT_NE(mapping, nullptr);
        void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
        ASSERT_NE(view, nullptr);
        // Another process cuts the file while it is mapped.
        if (cut) {
            ASSERT_EQ(::truncate(platform::HostPath(name).c_str(), size / 2), 0);
        }
        DWORD faces = 0;
        HANDLE font = AddFontMemResourceEx(view, size, nullptr, &faces);
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        CloseHandle(file);
        ASSERT_TRUE(DeleteFileW(name));
        if (cut) {
            EXPECT_EQ(font, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
            EXPECT_EQ(platform::test::LiveMemoryFonts(), 0);
            continue;
        }
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(faces, 1u);
        HFONT f = Select(Font(u"Qmappedly Monoz", -2048));
        SIZE sz{};
        GetTextExtentPoint32W(hdc, u"iW", 2, &sz);
        Unselect(f);
        EXPECT_EQ(sz.cx, 2458); // two fixed-pitch cells: drawn from the copy
        EXPECT_TRUE(RemoveFontMemResourceEx(font));
    }
}

} // namespace
