#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "platform/codepage_ctl.h"
#include "win/errors.h"
#include "win/strings.h"

namespace {

std::u16string W(const WCHAR* fmt, ...) {
    WCHAR buf[1100];
    va_list ap;
    va_start(ap, fmt);
    int n = wvsprintfW(buf, fmt, ap);
    va_end(ap);
    EXPECT_EQ(static_cast<size_t>(n), std::u16string(buf).size());
    return buf;
}

std::string A(const char* fmt, ...) {
    char buf[1100];
    va_list ap;
    va_start(ap, fmt);
    int n = wvsprintfA(buf, fmt, ap);
    va_end(ap);
    EXPECT_EQ(static_cast<size_t>(n), std::string(buf).size());
    return buf;
}

TEST(Strings, CopyWithLimit) {
    struct Case {
        int limit;
        std::u16string expected;
    };
    const Case cases[] = {{1, u""},      {2, u"a"},     {4, u"abc"},
                          {6, u"abcde"}, {7, u"abcde"}, {100, u"abcde"}};
    for (const auto& c : cases) {
        WCHAR buf[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
        EXPECT_EQ(lstrcpynW(buf, u"abcde", c.limit), buf);
        EXPECT_EQ(std::u16string(buf), c.expected) << c.limit;
        char narrow[8] = "xxxxxxx";
        lstrcpynA(narrow, "abcde", c.limit);
        EXPECT_EQ(std::u16string(narrow, narrow + std::string(narrow).size()), c.expected)
            << c.limit;
    }
    WCHAR untouched[2] = {u'x', u'y'};
    lstrcpynW(untouched, u"abc", 0); // no room, not even for the NUL
    EXPECT_EQ(untouched[0], u'x');
    EXPECT_EQ(lstrcpynW(nullptr, u"abc", 3), nullptr);
}

TEST(Strings, LengthCopyConcatenate) {
    EXPECT_EQ(lstrlenW(u"abc"), 3);
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenA("abcd"), 4);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    WCHAR buf[16];
    EXPECT_EQ(lstrcpyW(buf, u"ab"), buf);
    EXPECT_EQ(lstrcatW(buf, u"cd"), buf);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(lstrcatW(buf, nullptr), nullptr);
}

TEST(Strings, Comparison) {
    struct Case {
        const WCHAR* a;
        const WCHAR* b;
        int cmp;
        int cmpi;
    };
    const Case cases[] = {
        {u"abc", u"abc", 0, 0},
        {u"abc", u"ABC", -1, 0}, // lower case first, only to break a tie
        {u"a", u"B", -1, -1},    // letters before case
        {u"B", u"a", 1, 1},
        {u"abc", u"abcd", -1, -1},
        {u"", u"a", -1, -1},
        {nullptr, u"", 0, 0},
        {u"_x", u"ax", -1, -1}, // symbols before letters
        {u"{", u"a", -1, -1},
        {u":", u"0", -1, -1}, // and before digits
        {u"9", u"a", -1, -1},
        {u"résumé", u"resume", 1, 1}, // accents after letters
        {u"résumé", u"resumf", -1, -1},
        {u"ÉCOLE", u"école", 1, 0},
        {u"coop", u"co-op", 1, 1}, // a hyphen weighs least, but the strings differ
        {u"Ĺ", u"ĺ", 1, 0},
        {u"Ω", u"ω", 1, 0},
    };
    for (const auto& c : cases) {
        std::u16string a = c.a ? c.a : u"(null)";
        std::u16string b = c.b;
        EXPECT_EQ(lstrcmpW(c.a, c.b), c.cmp)
            << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
        EXPECT_EQ(lstrcmpW(c.b, c.a), -c.cmp);
        EXPECT_EQ(lstrcmpiW(c.a, c.b), c.cmpi) << std::string(a.begin(), a.end());
    }
    EXPECT_EQ(lstrcmpiA("Modelsmith.DLL", "MODELSMITH.dll"), 0);
    EXPECT_EQ(lstrcmpiA("\xc9", "\xe9"), 0); // É é in the ANSI code page
    EXPECT_EQ(lstrcmpiA("a", "b"), -1);
}

TEST(Strings, Case) {
    WCHAR text[] = u"Abc-Éé ÿ Ĺĺ Ωω Жж ｆ";
    EXPECT_EQ(CharUpperW(text), text);
    EXPECT_EQ(std::u16string(text), u"ABC-ÉÉ Ÿ ĹĹ ΩΩ ЖЖ Ｆ");
    CharLowerW(text);
    EXPECT_EQ(std::u16string(text), u"abc-éé ÿ ĺĺ ωω жж ｆ");
    // A character in the low word instead of a pointer.
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(
                  CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(u'q')))),
              static_cast<ULONG_PTR>(u'Q'));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(
                  CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(u'Ä')))),
              static_cast<ULONG_PTR>(u'ä'));
    WCHAR buf[] = u"abcd";
    EXPECT_EQ(CharUpperBuffW(buf, 2), 2u);
    EXPECT_EQ(std::u16string(buf), u"ABcd");
    EXPECT_EQ(CharLowerBuffW(buf, 4), 4u);
    EXPECT_EQ(std::u16string(buf), u"abcd");
}

TEST(Strings, FormatNumbers) {
    EXPECT_EQ(W(u"%d|%i|%u", -5, 7, -1), u"-5|7|4294967295");
    // l is 32-bit, as LONG is: only the low half of a 64-bit value counts.
    EXPECT_EQ(W(u"%ld|%lu|%lx|%lX", 0x100000005LL, 0x1FFFFFFFFLL, 0xABCDEF12LL, 255L),
              u"5|4294967295|abcdef12|FF");
    EXPECT_EQ(W(u"%I64d|%I64u|%I64x|%I64X", LLONG_MIN, ULLONG_MAX, 0x123456789ALL, 0xABCDEFLL),
              u"-9223372036854775808|18446744073709551615|123456789a|ABCDEF");
    EXPECT_EQ(W(u"%5d|%-5d|%05d|%05d", 42, 42, 42, -42), u"   42|42   |00042|-0042");
    EXPECT_EQ(W(u"%.4d|%8.4x|%#x|%#X|%#x", 7, 0xab, 255, 255, 0), u"0007|    00ab|0xff|0XFF|0");
    EXPECT_EQ(W(u"%hd|%hu", 0x12345, 0x1FFFF), u"9029|65535");
    EXPECT_EQ(W(u"%08lX", 0x2AL), u"0000002A"); // the spool id key format
}

TEST(Strings, FormatTextAndOthers) {
    EXPECT_EQ(W(u"[%s] [%ls] [%S] [%hs]", u"wide", u"wide", "narrow", "narrow"),
              u"[wide] [wide] [narrow] [narrow]");
    EXPECT_EQ(W(u"[%8s] [%-8s] [%.3s] [%5.2s]", u"abc", u"abc", u"abcdef", u"abcdef"),
              u"[     abc] [abc     ] [abc] [   ab]");
    EXPECT_EQ(W(u"%s|%S", static_cast<const WCHAR*>(nullptr), static_cast<const char*>(nullptr)),
              u"(null)|(null)");
    EXPECT_EQ(W(u"%c%C%lc%hc", u'Ω', 'a', u'ω', 'b'), u"Ωaωb");
    EXPECT_EQ(W(u"100%% %y %"), u"100% y ");
    EXPECT_EQ(W(u"%p", reinterpret_cast<void*>(0xABC)), u"0000000000000ABC");
    EXPECT_EQ(W(u"%S", "caf\xe9"), u"café"); // narrow text is in the ANSI code page

    EXPECT_EQ(A("[%s] [%S] [%hs] [%ls] %c%C", "narrow", u"wide", "narrow", u"wide", 'x', u'y'),
              "[narrow] [wide] [narrow] [wide] xy");
    EXPECT_EQ(A("%S", u"café"), "caf\xe9");
    EXPECT_EQ(A("%-4d|%04u|%x", -1, 12u, 0xBEEF), "-1  |0012|beef");
}

TEST(Strings, FormatInTheAnsiCodePage) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    EXPECT_EQ(A("%S", u"日本"), "\x93\xfa\x96\x7b");
    EXPECT_EQ(W(u"%S", "\x93\xfa\x96\x7b"), u"日本");
    EXPECT_EQ(A("%C", u'日'), "\x93\xfa");
}

TEST(Strings, FormatOutputStopsAt1024) {
    std::u16string longText(2000, u'x');
    WCHAR buf[1100];
    buf[1023] = u'!';
    buf[1024] = u'!';
    EXPECT_EQ(wsprintfW(buf, u"%s", longText.c_str()), 1023);
    EXPECT_EQ(buf[1023], 0);
    EXPECT_EQ(buf[1024], u'!');
    EXPECT_EQ(wsprintfW(buf, u"ab%2000d", 5), 1023);
    EXPECT_EQ(buf[0], u'a');
    char narrow[1100];
    narrow[1024] = '!';
    EXPECT_EQ(wsprintfA(narrow, "%s", std::string(1500, 'y').c_str()), 1023);
    EXPECT_EQ(narrow[1023], '\0');
    EXPECT_EQ(narrow[1024], '!');
    EXPECT_EQ(wsprintfW(buf, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
