#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/codepage_ctl.h"
#include "platform/testctl.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

std::u16string ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
    int n =
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0) return u"<error>";
    std::u16string out(static_cast<size_t>(n), u'\0');
    EXPECT_EQ(
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n),
        n);
    return out;
}

std::string ToBytes(UINT cp, const std::u16string& text, BOOL* usedDefault = nullptr,
                    LPCSTR defaultChar = nullptr) {
    int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                defaultChar, usedDefault);
    if (n == 0) return "<error>";
    std::string out(static_cast<size_t>(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                                  defaultChar, usedDefault),
              n);
    return out;
}

TEST(CodePage, Cp1252EveryByteRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    std::u16string wide = ToWide(1252, all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
    EXPECT_EQ(wide[0x9F - 1], u'\u0178');
    // The bytes 1252 leaves undefined pass through as U+0081 etc.
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(wide[b - 1], static_cast<char16_t>(b)) << b;
    BOOL used = TRUE;
    EXPECT_EQ(ToBytes(1252, wide, &used), all);
    EXPECT_FALSE(used);
}

// Letters of the single-byte pages, one per page, from the published
// tables: Hebrew's letters come through although 1255 may combine them.
TEST(CodePage, SingleBytePagesGiveTheirLetters) {
    struct Case {
        UINT cp;
        unsigned char byte;
        char16_t letter;
    } cases[] = {{1250, 0x8A, u'\u0160'}, {1251, 0xC0, u'\u0410'}, {1253, 0xC1, u'\u0391'},
                 {1254, 0xD0, u'\u011E'}, {1255, 0xE0, u'\u05D0'}, {1255, 0xFA, u'\u05EA'},
                 {1256, 0xC7, u'\u0627'}, {1257, 0xC0, u'\u0104'}, {866, 0x80, u'\u0410'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cp);
        const std::string one(1, static_cast<char>(c.byte));
        EXPECT_EQ(ToWide(c.cp, one), std::u16string(1, c.letter));
        EXPECT_EQ(ToBytes(c.cp, std::u16string(1, c.letter)), one);
    }
}

TEST(CodePage, Cp932Texts) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"ABC", u"ABC"},
        {"\x93\xfa\x96\x7b\x8c\xea", u"日本語"},
        {"\xb1\xdf", u"ｱﾟ"},           // half-width katakana are single bytes
        {"\x5c\x7e", u"\\~"},          // ASCII stays ASCII
        {"\x81\x5f\x81\x60", u"＼～"}, // the system's own choices for these two
        {"\x87\x40\x87\x54", u"①Ⅰ"},   // vendor row 13
        {"\xfa\x40\x81\xca", u"ⅰ￢"},  // duplicates encode as the system does (not 0xEEEF, 0xEEF9)
        {"\xf0\x40", u"\uE000"},       // user-defined area
        {"\x80\xa0\xfd\xff", u"\u0080\uF8F0\uF8F1\uF8F3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToWide(932, c.bytes), c.text) << c.bytes;
        EXPECT_EQ(ToBytes(932, c.text), c.bytes) << c.bytes;
    }
}

TEST(CodePage, Cp932EveryPairRoundTrips) {
    int mapped = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByteEx(932, static_cast<BYTE>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
            std::u16string text = ToWide(932, pair, 0);
            ASSERT_EQ(text.size(), 1u);
            if (text[0] == u'\u30FB' && pair != "\x81\x45") continue; // no character here
            ++mapped;
            // A character with two codes comes back as its preferred one,
            // which reads as the same character.
            EXPECT_EQ(ToWide(932, ToBytes(932, text)), text) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GT(mapped, 9000);
}

TEST(CodePage, CharactersThatDoNotMap) {
    struct Case {
        UINT cp;
        std::u16string text;
        LPCSTR defaultChar;
        std::string bytes;
        bool used;
    };
    const Case cases[] = {
        {1252, u"a€é", nullptr, "a\x80\xe9", false},
        {1252, u"aāb", nullptr, "a?b", true}, // no best-fit to 'a'
        {1252, u"日本", "*", "**", true},
        {1252, u"x\U0001F600y", nullptr, "x?y", true}, // a surrogate pair is one character
        {1252, std::u16string(u"a") + char16_t(0xD800) + u"b", nullptr, "a?b", true},
        {932, u"é日", nullptr, "?\x93\xfa", true},
        {932, u"é", "\x81\x45", "\x81\x45", true}, // a double-byte default character
    };
    for (const auto& c : cases) {
        BOOL used = 7;
        EXPECT_EQ(ToBytes(c.cp, c.text, &used, c.defaultChar), c.bytes) << c.cp << ' ' << c.bytes;
        EXPECT_EQ(used, c.used ? TRUE : FALSE) << c.bytes;
    }
}

TEST(CodePage, BrokenDoubleByteSequences) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"A\x93", u"A\u30FB"},   // a lead byte at the end
        {"\x93 x", u"\u30FB x"}, // a byte that cannot follow a lead byte is kept
        {"\x85\x40", u"\u30FB"}, // a pair with no character
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToWide(932, c.bytes), c.text);
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                      static_cast<int>(c.bytes.size()), nullptr, 0),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
    // With -1 the source ends at its NUL, which a lead byte does not swallow.
    WCHAR out[4] = {1, 1, 1, 1};
    EXPECT_EQ(MultiByteToWideChar(932, 0, "\x93", -1, out, 4), 2);
    EXPECT_EQ(out[0], u'\u30FB');
    EXPECT_EQ(out[1], 0);
}

TEST(CodePage, SizeProtocolAndShortBuffers) {
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0), 3);
    WCHAR w[3];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, w, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    EXPECT_EQ(WideCharToMultiByte(932, 0, u"日本", -1, nullptr, 0, nullptr, nullptr), 5);
    char b[8] = "xxxxxxx";
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"日本", 2, b, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(b, 3), "\x93\xfax"); // never half a character
    EXPECT_EQ(WideCharToMultiByte(932, 0, u"日本", -1, b, 5, nullptr, nullptr), 5);
    EXPECT_STREQ(b, "\x93\xfa\x96\x7b");
}

TEST(CodePage, ArgumentErrors) {
    WCHAR w[8];
    char b[8];
    BOOL used;
    struct Case {
        const char* what;
        std::function<int()> call;
        DWORD error;
    };
    const Case cases[] = {
        {"null source", [&] { return MultiByteToWideChar(1252, 0, nullptr, 3, w, 8); },
         ERROR_INVALID_PARAMETER},
        {"empty source", [&] { return MultiByteToWideChar(1252, 0, "a", 0, w, 8); },
         ERROR_INVALID_PARAMETER},
        {"length below -1", [&] { return MultiByteToWideChar(1252, 0, "a", -2, w, 8); },
         ERROR_INVALID_PARAMETER},
        {"null output with a size",
         [&] { return MultiByteToWideChar(1252, 0, "a", 1, nullptr, 8); }, ERROR_INVALID_PARAMETER},
        {"unknown code page", [&] { return MultiByteToWideChar(12345, 0, "a", 1, w, 8); },
         ERROR_INVALID_PARAMETER},
        {"unknown flag", [&] { return MultiByteToWideChar(1252, 0x1000, "a", 1, w, 8); },
         ERROR_INVALID_FLAGS},
        {"flag UTF-8 refuses",
         [&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, w, 8); },
         ERROR_INVALID_FLAGS},
        {"UTF-8 with used-default",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, b, 8, nullptr, &used); },
         ERROR_INVALID_PARAMETER},
        {"UTF-8 with default char",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 1, b, 8, "?", nullptr); },
         ERROR_INVALID_PARAMETER},
        {"strict outside UTF-8",
         [&] {
             return WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"a", 1, b, 8, nullptr,
                                        nullptr);
         },
         ERROR_INVALID_FLAGS},
        {"null wide source",
         [&] { return WideCharToMultiByte(1252, 0, nullptr, 1, b, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"negative output size",
         [&] { return WideCharToMultiByte(1252, 0, u"a", 1, b, -1, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.call(), 0) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
}

TEST(CodePage, Utf8) {
    EXPECT_EQ(ToWide(CP_UTF8, "a\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80"), u"aé日\U0001F600");
    // Ill-formed input: one replacement per broken sequence.
    EXPECT_EQ(ToWide(CP_UTF8, "a\xff"
                              "b\xe6\x97"
                              "c\xed\xa0\x80"),
              u"a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

    std::u16string lone = std::u16string(u"a") + char16_t(0xDC00);
    EXPECT_EQ(ToBytes(CP_UTF8, lone), "a\xef\xbf\xbd");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.data(), 2, nullptr, 0,
                                  nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePage, AnsiCodePageIsSettable) {
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(GetOEMCP(), 437u);
    EXPECT_FALSE(IsDBCSLeadByte(0x93));
    EXPECT_EQ(ToWide(CP_ACP, "\x93"), u"\u201C");

    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(GetOEMCP(), 932u);
    EXPECT_TRUE(IsDBCSLeadByte(0x93));
    EXPECT_FALSE(IsDBCSLeadByte(0xA1));
    EXPECT_EQ(ToWide(CP_ACP, "\x93\xfa"), u"日");
    EXPECT_EQ(ToWide(CP_THREAD_ACP, "\x93\xfa"), u"日");
    EXPECT_EQ(platform::WideToAnsi(u"日本"), "\x93\xfa\x96\x7b");
    EXPECT_EQ(ToBytes(1252, u"é"), "\xe9"); // an explicit page is not the ANSI one

    EXPECT_FALSE(platform::test::SetAnsiCodePage(54321));
    EXPECT_EQ(GetACP(), 932u);

    platform::test::ResetForTests();
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(GetOEMCP(), 437u);
}

TEST(CodePage, OemCodePage) {
    EXPECT_EQ(ToWide(CP_OEMCP, "\x82\xb0"), u"é░");
    EXPECT_EQ(ToBytes(CP_OEMCP, u"é░"), "\x82\xb0");
}

TEST(CodePage, StepsOverWholeCharacters) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    const char text[] = "a\x93\xfa"
                        "b\x93";
    const char* p = text;
    std::vector<long> steps;
    while (*p) {
        steps.push_back(p - text);
        p = CharNextA(p);
    }
    EXPECT_EQ(steps, (std::vector<long>{0, 1, 3, 4}));
    EXPECT_EQ(CharNextA(p), p); // at the NUL
    EXPECT_EQ(CharPrevA(text, text + 3), text + 1);
    EXPECT_EQ(CharPrevA(text, text + 4), text + 3);
    EXPECT_EQ(CharPrevA(text, text), text);
}

} // namespace
