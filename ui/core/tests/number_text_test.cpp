// Number text in the user's separator, lengths and the input rule.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "number_text.h"
#include "platform/facts.h"

namespace {

using namespace sheetwright;

TEST(NumberText, DecimalSeparatorOfTheLocale) {
    std::u16string sep;
    EXPECT_TRUE(GetDecimalSeparator(&sep));
    EXPECT_EQ(sep, u".");
    platform::test::SetLocale(0x0407);
    EXPECT_TRUE(GetDecimalSeparator(&sep));
    EXPECT_EQ(sep, u",");
    platform::test::SetDecimalSeparator(u"");
    EXPECT_FALSE(GetDecimalSeparator(&sep));
    EXPECT_EQ(sep, u".");
}

TEST(NumberText, LocalizeAndNormalise) {
    struct Case {
        std::u16string text, sep, localized;
    } cases[] = {
        {u"210.0", u",", u"210,0"},     {u"210.", u",", u"210."}, // a point at the end stays
        {u"a.b 1.5", u",", u"a.b 1,5"}, // only a point before a digit changes
        {u"1.5", u"::", u"1::5"},       // a separator of several characters goes in whole
        {u"1.5", u".", u"1.5"},
    };
    for (const auto& c : cases) {
        std::u16string t = c.text;
        EXPECT_TRUE(LocalizeDecimalText(&t, c.sep));
        EXPECT_EQ(t, c.localized);
        if (c.text != u"a.b 1.5" && c.text != u"210.") {
            NormaliseDecimalText(&t, c.sep);
            EXPECT_EQ(t, c.text);
        }
    }
    std::u16string empty;
    EXPECT_FALSE(LocalizeDecimalText(&empty, u","));
}

TEST(NumberText, LengthsUnderACommaLocale) {
    platform::test::SetLocale(0x0407);
    CMMInch v;
    std::u16string text;
    v.SetMM(210.0, TRUE);
    v.FormatMM(&text);
    EXPECT_EQ(text, u"210,0");
    v.SetInch(8.5, TRUE);
    EXPECT_EQ(v.Dots(), 5100);
    EXPECT_NEAR(v.MM(), 215.9, 1e-9);
    v.FormatInch(&text);
    EXPECT_EQ(text, u"8,50");
    v.SetMM(215.9, TRUE);
    EXPECT_EQ(v.Dots(), 5100); // rounded
    v.ReadText(u"12,5", TRUE);
    EXPECT_DOUBLE_EQ(v.MM(), 12.5);
    v.ReadText(u"abc", FALSE);
    EXPECT_DOUBLE_EQ(v.Inch(), 0.0);
}

TEST(NumberText, LimitsResolutionAndIntegerFormats) {
    CMMInch v;
    v.SetMM(100000000, TRUE);
    EXPECT_DOUBLE_EQ(v.MM(), CMMInch::kMaxMM);
    v.SetInch(1e9, FALSE);
    EXPECT_DOUBLE_EQ(v.Inch(), CMMInch::kMaxInch);
    v.SetResolution(0); // counts as 600
    v.SetInch(1.0, TRUE);
    EXPECT_EQ(v.Dots(), 600);
    v.SetDotsValue(1200);
    v.SetDots();
    EXPECT_DOUBLE_EQ(v.Inch(), 2.0);
    EXPECT_DOUBLE_EQ(v.MM(), 50.8);
    struct Case {
        std::u16string format;
        double mm;
        std::u16string text;
    } cases[] = {
        {u"%d", 12.5, u"13"},
        {u"%ld", 70000.4, u"70000"},
        {u"%d", 70000.4, u"4464"}, // a 16-bit value
        {u"%.1f", 12.25, u"12.2"},
    };
    v.SetSeparator(u".");
    for (const auto& c : cases) {
        v.SetMMFormat(c.format);
        v.SetMM(c.mm, FALSE);
        std::u16string text;
        v.FormatMM(&text);
        EXPECT_EQ(text, c.text) << c.mm;
    }
}

TEST(NumberText, FloatingValuesBecomeIntegersOnlyWithinRange) {
    constexpr LONG kLargest = std::numeric_limits<LONG>::max();
    constexpr LONG kSmallest = std::numeric_limits<LONG>::min();
    CMMInch v;
    v.SetResolution(1200); // the largest length passes a 32-bit dot count
    v.SetMM(CMMInch::kMaxMM, TRUE);
    EXPECT_EQ(v.Dots(), kLargest);
    v.SetInch(CMMInch::kMaxInch, TRUE);
    EXPECT_EQ(v.Dots(), kLargest);
    v.ReadText(u"nan", TRUE);
    EXPECT_EQ(v.MM(), 0.0);
    EXPECT_EQ(v.Dots(), 0);
    v.ReadText(u"-1e300", FALSE);
    EXPECT_EQ(v.Inch(), -CMMInch::kMaxInch);
    EXPECT_EQ(v.Dots(), kSmallest);
    v.SetSeparator(u".");
    v.SetMMFormat(u"%ld");
    v.SetMM(-1e300, FALSE);
    std::u16string text;
    v.FormatMM(&text);
    EXPECT_EQ(text, u"-90910130");
    struct Case {
        double in;
        LONG out;
    } cases[] = {{std::nan(""), 0}, {1e20, kLargest}, {-1e20, kSmallest}, {-2.9, -2}, {7.9, 7}};
    for (const Case& c : cases)
        EXPECT_EQ(TruncateToLong(c.in), c.out) << c.in;
}

TEST(NumberText, MultiByteLength) {
    EXPECT_EQ(GetMultiByteLength(u"abc"), 3);
    EXPECT_EQ(GetMultiByteLength(u"a\u65E5b"), 4);
    EXPECT_EQ(GetMultiByteLength(u"a\u65E5b", 2), 3);
    EXPECT_EQ(GetMultiByteLength(u"a\u00E9", 9), 2);
}

TEST(NumberText, InputRule) {
    InputRule digits;
    FillInputRule(&digits, kRuleRestricted | kRuleDigits, 8, nullptr);
    EXPECT_TRUE(IsDigitsOnlyRule(digits));
    InputRule words;
    FillInputRule(&words, kRuleRestricted | kRuleAnythingButRefused, 16, nullptr);
    EXPECT_FALSE(IsDigitsOnlyRule(words));
    InputRule extra;
    FillInputRule(&extra, kRuleRestricted | kRuleDigits | kRuleExtra, 8, "-#");
    EXPECT_FALSE(IsDigitsOnlyRule(extra));
    InputRule open;
    FillInputRule(&open, kRuleDigits, 8, nullptr); // flags without "restricted" count for nothing
    EXPECT_EQ(open.digits, 0u);

    struct Case {
        const char* what;
        const InputRule* rule;
        char16_t ch;
        std::u16string kept;
        DWORD limit;
        BOOL password;
        BOOL accepted;
    } cases[] = {
        {"digit", &digits, u'7', u"", 8, FALSE, TRUE},
        {"letter in digits", &digits, u'x', u"", 8, FALSE, FALSE},
        {"control passes", &digits, 8, u"12345678", 8, FALSE, TRUE},
        {"over the limit", &digits, u'1', u"12345678", 8, FALSE, FALSE},
        {"wide char past 7 bytes of 8", &words, u'\u65E5', u"1234567", 8, FALSE, FALSE},
        {"wide char within the limit", &words, u'\u65E5', u"123456", 8, FALSE, TRUE},
        {"refused character", &words, u'?', u"", 8, FALSE, FALSE},
        {"refused quote", &words, u'"', u"", 8, FALSE, FALSE},
        {"anything else", &words, u'%', u"", 8, FALSE, TRUE},
        {"wide char in a password", &words, u'\u65E5', u"", 8, TRUE, FALSE},
        {"extra character", &extra, u'#', u"", 8, FALSE, TRUE},
        {"not an extra character", &extra, u'+', u"", 8, FALSE, FALSE},
        {"unrestricted", &open, u'?', u"", 8, FALSE, TRUE},
        {"no limit", &digits, u'1', std::u16string(300, u'1'), 0, FALSE, TRUE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AcceptInputChar(c.ch, c.kept, c.limit, c.password, c.rule), c.accepted) << c.what;
}

} // namespace
