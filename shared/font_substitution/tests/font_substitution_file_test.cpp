// The substitution file's reader over files laid out by hand from the
// format's offsets, and the writer read back.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "font_substitution_file.h"
#include "platform/paths.h"
#include "win/files.h"

namespace {

using fontsub::FontSubRecord;
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes* b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A header: magic, header size, version, count, 0.
Bytes Header(std::uint32_t count, std::uint32_t magic = 0x4D46, std::uint32_t headerSize = 20,
             std::uint32_t version = 1) {
    Bytes b;
    for (std::uint32_t v : {magic, headerSize, version, count, 0u})
        Put32(&b, v);
    return b;
}

// A record by offsets: names at 0 and 64, weight at 128, flags at 140.
void Record(Bytes* b, const std::string& name, const std::string& sub, std::uint32_t flags = 1) {
    const size_t at = b->size();
    b->resize(at + 192, 0);
    std::memcpy(b->data() + at, name.data(), std::min<size_t>(name.size(), 64));
    std::memcpy(b->data() + at + 64, sub.data(), std::min<size_t>(sub.size(), 64));
    (*b)[at + 128] = 0x90; // weight 400
    (*b)[at + 129] = 0x01;
    (*b)[at + 140] = static_cast<std::uint8_t>(flags);
}

TEST(FontSubstitutionFile, ReadsOnlyWhatTheBytesHold) {
    Bytes good = Header(2);
    Record(&good, "Arial", "Helvetica");
    Record(&good, "Symbol", "", 0);
    Bytes pastRecords = Header(3);
    Record(&pastRecords, "Arial", "Helvetica");
    Record(&pastRecords, "Symbol", "");
    Bytes huge = Header(0xFFFFFFFFu);
    Record(&huge, "Arial", "Helvetica");
    Bytes shortTail = good;
    shortTail.resize(shortTail.size() - 1);
    Bytes shortHeader = Header(1);
    shortHeader.resize(19);
    Bytes badMagic = Header(1, 0x4D47);
    Record(&badMagic, "Arial", "Helvetica");
    Bytes badVersion = Header(1, 0x4D46, 20, 2);
    Record(&badVersion, "Arial", "Helvetica");
    Bytes empty = Header(0);
    Record(&empty, "Arial", "Helvetica");
    struct Case {
        const char* name;
        const Bytes& bytes;
        size_t records; // 0: refused
    } const cases[] = {
        {"two records", good, 2},
        {"count past the records", pastRecords, 0},
        {"count 0xFFFFFFFF", huge, 0},
        {"short tail", shortTail, 0},
        {"header of 19 bytes", shortHeader, 0},
        {"bad magic", badMagic, 0},
        {"version 2", badVersion, 0},
        {"count 0", empty, 0},
    };
    for (const Case& c : cases) {
        std::vector<FontSubRecord> out(1);
        EXPECT_EQ(fontsub::ParseFontSubFile(c.bytes.data(), c.bytes.size(), &out), c.records > 0)
            << c.name;
        EXPECT_EQ(out.size(), c.records) << c.name;
    }
    std::vector<FontSubRecord> out;
    ASSERT_TRUE(fontsub::ParseFontSubFile(good.data(), good.size(), &out));
    EXPECT_EQ(fontsub::NameOf(out[0].name), "Arial");
    EXPECT_EQ(fontsub::NameOf(out[0].substitute), "Helvetica");
    EXPECT_EQ(out[0].weight, 400u);
    EXPECT_EQ(out[0].flags, fontsub::kSubstitutable);
    EXPECT_EQ(out[1].flags, 0u);
}

TEST(FontSubstitutionFile, UnterminatedNamesAreCutInsideTheirFields) {
    Bytes b = Header(1);
    Record(&b, std::string(64, 'A'), std::string(64, 'B'));
    std::vector<FontSubRecord> out;
    ASSERT_TRUE(fontsub::ParseFontSubFile(b.data(), b.size(), &out));
    EXPECT_EQ(fontsub::NameOf(out[0].name), std::string(63, 'A'));
    EXPECT_EQ(fontsub::NameOf(out[0].substitute), std::string(63, 'B'));
}

TEST(FontSubstitutionFile, RecordsFollowTheTwentyByteHeaderWhateverItsSizeWordSays) {
    for (std::uint32_t sizeWord : {0u, 20u, 24u}) {
        Bytes b = Header(1, 0x4D46, sizeWord);
        Record(&b, "Courier New", "Courier");
        std::vector<FontSubRecord> out;
        ASSERT_TRUE(fontsub::ParseFontSubFile(b.data(), b.size(), &out)) << sizeWord;
        EXPECT_EQ(fontsub::NameOf(out[0].name), "Courier New");
    }
}

TEST(FontSubstitutionFile, WrittenFileIsTheHandLaidLayoutAndReadsBackFromDisk) {
    Bytes expected = Header(1);
    Record(&expected, "Arial", "Helvetica");
    FontSubRecord r{};
    fontsub::SetName(r.name, "Arial");
    fontsub::SetName(r.substitute, "Helvetica");
    r.weight = 400;
    r.flags = fontsub::kSubstitutable;
    const std::string written = fontsub::SerializeFontSubFile({r});
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_EQ(std::memcmp(written.data(), expected.data(), expected.size()), 0);

    const std::u16string path = u"C:\\subs.dat";
    std::ofstream(platform::HostPath(path), std::ios::binary) << written;
    std::vector<FontSubRecord> out;
    ASSERT_TRUE(fontsub::ReadFontSubFile(path.c_str(), &out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(fontsub::NameOf(out[0].substitute), "Helvetica");
    EXPECT_FALSE(fontsub::ReadFontSubFile(u"C:\\missing.dat", &out));
    EXPECT_TRUE(out.empty());
}

TEST(FontSubstitutionFile, OnlyABareComponentNameIsTaken) {
    struct {
        const char16_t* given;
        const char16_t* taken;
    } const cases[] = {
        {u"Subs.DAT", u"Subs.DAT"},       {u"", u"Fontroll.DAT"},
        {u"..", u"Fontroll.DAT"},         {u"..\\..\\evil.dat", u"Fontroll.DAT"},
        {u"C:evil.dat", u"Fontroll.DAT"}, {u"a/b.dat", u"Fontroll.DAT"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fontsub::FontSubFileName(c.given), c.taken);
}

} // namespace
