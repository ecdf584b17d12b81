// The file names of component-table entries and the ANSI text they are
// converted from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "driver_env.h"
#include "platform/codepage_ctl.h"

namespace {

using namespace sheetwright;

model::ComponentAnswer Entry(std::uint32_t kind, const char* name) {
    model::ComponentAnswer e{};
    e.kind = kind;
    std::memcpy(e.nameTemplate, name, std::min(std::strlen(name), sizeof e.nameTemplate));
    return e;
}

TEST(GetModelModuleName, PlainKindsTakeTheNameAndPlatformKindsFillTheirCode) {
    struct Case {
        std::uint32_t kind;
        const char* name;
        std::u16string expected;
    } cases[] = {
        {1, "MODELSMITH.DLL", u"MODELSMITH.DLL"},
        {5, "DEVPROBE%s.DLL", u"DEVPROBE%s.DLL"}, // not a format for these kinds
        {6, "TONE%s.DLL", u"TONE64.DLL"},
        {7, "TONE%s.DLL", u"TONE32.DLL"},
        {1, "SIXTEENCHARS.DLL", u"SIXTEENCHARS.DLL"}, // the whole field, no terminator
        {0, "IGNORED.DLL", u"kept"},                  // no component: the string stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string name = u"kept";
        EXPECT_TRUE(GetModelModuleName(&name, Entry(c.kind, c.name)));
        EXPECT_EQ(name, c.expected);
    }
}

TEST(AssignAnsiString, ReplacesTheStringWithTheConvertedText) {
    std::u16string s = u"old";
    EXPECT_TRUE(AssignAnsiString(&s, "A4 \xE9t\xE9"));
    EXPECT_EQ(s, u"A4 \u00e9t\u00e9");
    EXPECT_TRUE(AssignAnsiString(&s, nullptr));
    EXPECT_EQ(s, u"");
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    EXPECT_TRUE(AssignAnsiString(&s, "\x82\xA0\x82\xA2"));
    platform::test::SetAnsiCodePage(1252);
    EXPECT_EQ(s, u"\u3042\u3044");
}

} // namespace
