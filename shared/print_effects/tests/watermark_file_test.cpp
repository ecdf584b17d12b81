// The watermark file read from bytes laid out by hand from its offsets: the
// 24-byte head ("ZORD", head size, version, reserved, count) and 216-byte
// records. Whatever the bytes say, the reader takes only what they hold.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage_ctl.h"
#include "watermark_record.h"

namespace {

using namespace print_effects;
using Bytes = std::vector<BYTE>;

void Put32(Bytes& b, size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, WORD v) {
    b[at] = static_cast<BYTE>(v);
    b[at + 1] = static_cast<BYTE>(v >> 8);
}

// A head with this count and version.
Bytes Head(DWORD count, DWORD version = 1, const char* magic = "ZORD") {
    Bytes b(24, 0);
    std::memcpy(b.data(), magic, 4);
    Put32(b, 4, 24);
    Put32(b, 8, version);
    Put32(b, 20, count);
    return b;
}

// One record at its offsets: version 1, size 216, name and text.
Bytes Record(const char* name, const char* text, WORD version = 1, WORD size = 216) {
    Bytes r(216, 0);
    Put16(r, 0, version);
    Put16(r, 2, size);
    std::memcpy(&r[4], name, std::strlen(name));
    std::memcpy(&r[68], text, std::strlen(text));
    Put32(r, 140, 450); // lfEscapement
    std::memcpy(&r[160], "Arial", 5);
    Put32(r, 192, 36);       // points
    Put32(r, 196, 0xDFDFDF); // colour
    return r;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Case {
    const char* what;
    Bytes file;
    bool ok;
    std::vector<std::string> names;
};

TEST(WatermarkFile, ReadsWhatTheBytesHold) {
    Bytes shortTail = Join({Head(2), Record("A", "a"), Record("B", "b")});
    shortTail.resize(24 + 216 + 215);
    const Case cases[] = {
        {"good",
         Join({Head(2), Record("First", "one"), Record("Second", "two")}),
         true,
         {"First", "Second"}},
        {"bad magic", Join({Head(1, 1, "ZORX"), Record("A", "a")}), false, {}},
        {"version 2", Join({Head(1, 2), Record("A", "a")}), false, {}},
        {"count past the records", Join({Head(5), Record("A", "a")}), true, {"A"}},
        {"count 0xFFFFFFFF", Join({Head(0xFFFFFFFF), Record("A", "a")}), true, {"A"}},
        {"count 0", Join({Head(0), Record("A", "a")}), true, {}},
        {"a 215-byte record", Join({Head(1), Bytes(215, 1)}), true, {}},
        {"short tail", shortTail, true, {"A"}},
        {"record of another version skipped",
         Join({Head(3), Record("A", "a"), Record("X", "x", 2), Record("C", "c")}),
         true,
         {"A", "C"}},
        {"record of another size skipped",
         Join({Head(2), Record("X", "x", 1, 204), Record("B", "b")}),
         true,
         {"B"}},
        {"head cut short", Bytes{'Z', 'O', 'R', 'D', 24, 0}, false, {}},
        {"nothing", Bytes{}, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<WatermarkRecord> records;
        std::string error;
        EXPECT_EQ(ReadWatermarkFile(c.file.data(), c.file.size(), &records, &error), c.ok)
            << c.what;
        std::vector<std::string> names;
        for (const auto& r : records)
            names.emplace_back(r.name);
        EXPECT_EQ(names, c.names) << c.what;
    }
}

// Strings without a terminator end within their fields, and numbers come
// back within their ranges.
TEST(WatermarkFile, UnterminatedStringsAndWildNumbersAreMadeSafe) {
    Bytes r = Record("", "");
    std::memset(&r[4], 'N', 64);   // name
    std::memset(&r[68], 'T', 64);  // text
    std::memset(&r[160], 'F', 32); // face name
    Put32(r, 140, 0xFFFFFFF0);     // angle -16
    Put32(r, 192, 100000);         // points
    Put32(r, 200, 0x7FFFFFFF);     // horizontal
    Put32(r, 204, 0x80000000);     // vertical
    Put16(r, 208, 9);              // border
    Put16(r, 212, 77);             // pages
    Put16(r, 214, 3);              // layer
    const Bytes file = Join({Head(1), r});
    std::vector<WatermarkRecord> records;
    ASSERT_TRUE(ReadWatermarkFile(file.data(), file.size(), &records, nullptr));
    ASSERT_EQ(records.size(), 1u);
    const WatermarkRecord& w = records[0];
    EXPECT_EQ(std::string(w.name), std::string(63, 'N'));
    EXPECT_EQ(std::string(w.text), std::string(63, 'T'));
    EXPECT_EQ(std::string(w.font.lfFaceName), std::string(31, 'F'));
    EXPECT_EQ(w.font.lfEscapement, 0);
    EXPECT_EQ(w.font.lfOrientation, 0);
    EXPECT_EQ(w.points, 500u);
    EXPECT_EQ(w.horizontal, 50);
    EXPECT_EQ(w.vertical, -50);
    EXPECT_EQ(w.border, 0);
    EXPECT_EQ(w.pages, 0);
    EXPECT_EQ(w.layer, 0);
}

// A double-byte character is never cut in half at the end of a field.
TEST(WatermarkFile, DoubleByteCharacterIsNeverCutInHalf) {
    platform::test::SetAnsiCodePage(932);
    CHAR field[8];
    // "ab" then three double-byte characters: the last one would straddle
    // the terminator.
    const unsigned char bytes[8] = {'a', 'b', 0x82, 0xA0, 0x82, 0xA2, 0x82, 0xA4};
    std::memcpy(field, bytes, 8);
    TerminateAnsiField(field, sizeof field);
    EXPECT_EQ(std::string(field), std::string("ab\x82\xA0\x82\xA2"));
    EXPECT_EQ(field[6], 0);
    EXPECT_EQ(field[7], 0);
    platform::test::SetAnsiCodePage(1252);
}

TEST(WatermarkFile, WriterAndReaderAgree) {
    WatermarkRecord a{}, b{};
    std::strcpy(a.name, "Draft");
    std::strcpy(a.text, "DRAFT");
    a.points = 36;
    std::strcpy(b.name, "Copy");
    std::strcpy(b.text, "COPY");
    b.points = 72;
    b.horizontal = -20;
    const Bytes file = WatermarkFileBytes({a, b});
    ASSERT_EQ(file.size(), 24u + 2 * 216u);
    EXPECT_EQ(std::memcmp(file.data(), "ZORD", 4), 0);
    EXPECT_EQ(file[4], 24);
    EXPECT_EQ(file[8], 1);
    EXPECT_EQ(file[20], 2);
    EXPECT_EQ(file[24], 1); // version of the first record
    EXPECT_EQ(file[26], 216);
    std::vector<WatermarkRecord> back;
    ASSERT_TRUE(ReadWatermarkFile(file.data(), file.size(), &back, nullptr));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_STREQ(back[1].name, "Copy");
    EXPECT_EQ(back[1].horizontal, -20);
}

} // namespace
