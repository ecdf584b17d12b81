// The page files and the job fonts of the spool package.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "emf_page.h"
#include "package_reader.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "spool_package.h"
#include "win/errors.h"
#include "win/files.h"

namespace {

using namespace spoolpkg;
using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The header of a page of 8 x 11 inches at 600 dots per inch, laid out by
// hand from the record's offsets.
Bytes HandHeader() {
    Bytes b;
    for (uint32_t v : {1u,          124u,                     // type, size
                       0u,          0u,       4800u,  6600u,  // bounds
                       0u,          0u,       20300u, 27900u, // frame: 203 x 279 mm
                       0x464D4520u, 0x10000u,                 // signature, version
                       0u,          0u,   // bytes, records (patched at the close)
                       0u,                // handles, reserved
                       8u,          108u, // description: 16 bytes, 8 wide characters
                       0u,                // palette entries
                       4800u,       6600u,    203u,   279u, // device in pixels, millimetres
                       0u,          0u,       0u,           // pixel format, OpenGL
                       203200u,     279400u})               // micrometres
        Put32(b, v);
    const char* d = "NKT_EMF Ver 1.00";
    b.insert(b.end(), d, d + 16);
    return b;
}

TEST(EmfPage, TheHeaderFollowsItsFixedLayout) {
    PageGeometry g = ComputePageGeometry(203200, 279400, 600);
    EXPECT_EQ(g.width, 4800);
    EXPECT_EQ(g.height, 6600);
    EXPECT_EQ(PageHeaderRecord(g), HandHeader());
    // Pixels round up from within 0.05 of the next; millimetres to the nearest.
    struct Case {
        LONG um, dpi, px, mm;
    } cases[] = {{215900, 600, 5100, 216},
                 {4230, 600, 99, 4},
                 {4233, 600, 100, 4},
                 {210000, 300, 2480, 210},
                 {100, 1200, 4, 0}};
    for (const Case& c : cases) {
        PageGeometry p = ComputePageGeometry(c.um, c.um, c.dpi);
        EXPECT_EQ(p.width, c.px) << c.um;
        EXPECT_EQ(p.widthMm, c.mm) << c.um;
        EXPECT_EQ(p.widthUm, c.px * 25400 / c.dpi) << c.um;
    }
}

class PackageFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"C:\\S", nullptr));
        folder = u"C:\\S\\";
    }
    Bytes Read(const std::u16string& path) {
        std::string host = platform::HostPath(path);
        FILE* f = std::fopen(host.c_str(), "rb");
        Bytes b;
        if (!f) return b;
        for (int c; (c = std::fgetc(f)) != EOF;)
            b.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
        return b;
    }
    std::u16string folder;
};

TEST_F(PackageFilesTest, AClosedPageCountsItsBytesRecordsAndHandles) {
    EmfPageWriter page;
    std::u16string path = folder + u"EMF00001.DAT";
    ASSERT_EQ(page.Open(path), 0u);
    const Bytes head = PageHeaderRecord(ComputePageGeometry(203200, 279400, 600));
    ASSERT_EQ(page.Write(head.data(), head.size(), true), 0u);
    uint32_t move[4] = {27, 16, 5, 6};
    EXPECT_EQ(page.Write(move, sizeof move, true), 0u);
    EXPECT_EQ(page.Close(3), 0u);
    Bytes b = Read(path);
    ASSERT_EQ(b.size(), 124u + 16u + 20u);
    Bytes header = HandHeader();
    header[48] = 160; // total bytes
    header[52] = 3;   // header, move and end of file
    header[56] = 3;   // handles
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 124), header);
    Bytes eof(b.end() - 20, b.end());
    Bytes want;
    for (uint32_t v : {14u, 20u, 0u, 16u, 20u})
        Put32(want, v);
    EXPECT_EQ(eof, want);
}

TEST_F(PackageFilesTest, AFailedWriteIsKeptAndReported) {
    EmfPageWriter page;
    ASSERT_EQ(page.Open(folder + u"EMF00002.DAT"), 0u);
    const Bytes head = PageHeaderRecord(ComputePageGeometry(1000, 1000, 600));
    ASSERT_EQ(page.Write(head.data(), head.size(), true), 0u);
    platform::test::FailNext("WriteFile", 1, ERROR_DISK_FULL);
    EXPECT_EQ(page.Close(1), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(page.open());
}

// A font of one name record (platform 3, family) holding the face name.
Bytes FontNamed(const std::u16string& face) {
    Bytes name;
    auto be16 = [](Bytes& b, uint16_t v) {
        b.push_back(static_cast<uint8_t>(v >> 8));
        b.push_back(static_cast<uint8_t>(v));
    };
    be16(name, 0);
    be16(name, 1);
    be16(name, 18);
    for (int v : {3, 1, 0x409, 1, static_cast<int>(face.size() * 2), 0})
        be16(name, static_cast<uint16_t>(v));
    for (char16_t c : face)
        be16(name, c);
    Bytes font;
    for (int v : {1, 0, 1, 16, 0, 0})
        be16(font, static_cast<uint16_t>(v));
    for (char c : std::string("name"))
        font.push_back(static_cast<uint8_t>(c));
    be16(font, 0), be16(font, 0);                                  // checksum
    be16(font, 0), be16(font, 28);                                 // offset
    be16(font, 0), be16(font, static_cast<uint16_t>(name.size())); // length
    font.insert(font.end(), name.begin(), name.end());
    return font;
}

bool Rename(Bytes* font, const std::u16string& oldName, const std::u16string& newName) {
    // The name's characters as they lie in the font above.
    size_t at = 28 + 18;
    if (font->size() < at + 2 * oldName.size()) return false;
    for (size_t i = 0; i < newName.size(); ++i) {
        (*font)[at + 2 * i] = static_cast<uint8_t>(newName[i] >> 8);
        (*font)[at + 2 * i + 1] = static_cast<uint8_t>(newName[i]);
    }
    return true;
}

TEST_F(PackageFilesTest, EachFontIsStoredOnceAndClashingNamesAreMadeUnique) {
    const DWORD id = 50001;
    auto add = [&](uint64_t unique, std::u16string face, bool always = false) {
        const Bytes bytes = FontNamed(face);
        JobFont f;
        f.uniqueId = unique;
        f.file = bytes;
        f.alwaysUnique = always;
        f.seed = 7;
        EXPECT_TRUE(AddJobFont(folder, id, f, &face, Rename));
        return face;
    };
    EXPECT_EQ(add(0x11, u"Arial"), u"Arial");
    EXPECT_EQ(add(0x11, u"Arial"), u"Arial"); // the same font again: listed once
    std::u16string other = add(0x22, u"Arial");
    ASSERT_EQ(other.size(), 5u);
    EXPECT_EQ(other.substr(0, 2), u"01"); // one record in the list before it
    for (char16_t c : other.substr(2))
        EXPECT_TRUE(c >= u'a' && c <= u'z');
    // Its font file carries the new name.
    Bytes stored = Read(FontFilePath(folder, id, 0x22));
    EXPECT_EQ(stored, [&] {
        Bytes b = FontNamed(u"Arial");
        Rename(&b, u"Arial", other);
        return b;
    }());
    // A name of two characters keeps its name even on a clash.
    EXPECT_EQ(add(0x33, u"MS"), u"MS");
    EXPECT_EQ(add(0x44, u"MS"), u"MS");
    std::vector<FontEntry> list = ReadJobFonts(folder, id);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].uniqueId, 0x22u);
    EXPECT_EQ(list[1].faceName, other);
    // A font without an id or without a file is not stored.
    std::u16string face = u"Gone";
    JobFont none;
    none.uniqueId = 0x55;
    EXPECT_FALSE(AddJobFont(folder, id, none, &face, Rename));
    EXPECT_EQ(face, u"Gone");
    // Deleting the package deletes every font file and the list.
    EXPECT_EQ(DeleteSpoolPackage(folder, id, 0), 0u);
    EXPECT_TRUE(Read(FontFilePath(folder, id, 0x11)).empty());
    EXPECT_TRUE(Read(FontListPath(folder, id)).empty());
}

// A three-character face has 26 names per list size ("NN" and a letter). With
// every one of them taken the font keeps its own name instead of the search
// going round for ever.
TEST_F(PackageFilesTest, AShortFaceWithEveryNameTakenKeepsItsOwn) {
    const DWORD id = 50002;
    uint64_t unique = 1;
    auto add = [&](std::u16string face, bool always) {
        const Bytes bytes = FontNamed(face);
        JobFont f;
        f.uniqueId = unique++;
        f.file = bytes;
        f.alwaysUnique = always;
        f.seed = 7;
        EXPECT_TRUE(AddJobFont(folder, id, f, &face, Rename));
        return face;
    };
    for (int i = 0; i < 100; ++i) {
        std::u16string face = u"x00";
        face[1] = static_cast<char16_t>(u'0' + i / 10);
        face[2] = static_cast<char16_t>(u'0' + i % 10);
        add(face, false);
    }
    for (char16_t c = u'a'; c <= u'z'; ++c)
        add(std::u16string(u"26") + c, false);
    ASSERT_EQ(ReadJobFonts(folder, id).size(), 126u);
    EXPECT_EQ(add(u"Abc", true), u"Abc");
    EXPECT_EQ(DeleteSpoolPackage(folder, id, 0), 0u);
}

} // namespace
