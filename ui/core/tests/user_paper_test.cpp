// The user paper list and "UDPAPER.DAT": hand-laid files, ids, look-ups,
// whole-file writes and a second process on the same list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/base.h"

namespace {

using namespace sheetwright;
using ui_test::Bytes;

const std::u16string kFolder = u"C:\\Users\\Ann\\AppData\\LocalLow\\Velmora\\M\\";
std::string HostFile() {
    return platform::HostPath(kFolder + u"UDPAPER.DAT");
}

void Put16(Bytes& b, size_t at, WORD v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A file laid out by hand from the format: header fields at their offsets,
// records of recordSize bytes with the name at 0, the id at 32, the unit
// (u32) at 34 and the four size words at 38, 40, 42 and 44.
Bytes HandFile(WORD version, WORD headerSize, WORD recordSize, WORD kind, WORD nextId,
               const std::vector<std::pair<std::string, WORD>>& papers) {
    Bytes b(std::max<size_t>(headerSize, 16), 0);
    std::memcpy(b.data(), "PDUZ", 4);
    Put16(b, 4, version);
    Put16(b, 6, headerSize);
    Put16(b, 8, recordSize);
    Put16(b, 10, kind);
    Put16(b, 12, static_cast<WORD>(papers.size()));
    Put16(b, 14, nextId);
    for (const auto& [name, id] : papers) {
        Bytes r(std::max<size_t>(recordSize, 46), 0);
        std::memcpy(r.data(), name.data(), name.size());
        Put16(r, 32, id);
        r[34] = 1;          // entered in millimetres
        Put16(r, 38, 1480); // width 148.0 mm
        Put16(r, 40, 583);  // 5.83 in
        Put16(r, 42, 2100); // length 210.0 mm
        Put16(r, 44, 827);  // 8.27 in
        b.insert(b.end(), r.begin(), r.begin() + recordSize);
    }
    return b;
}

UserPaperRecord Paper(const char* name, WORD width, WORD length) {
    UserPaperRecord r{};
    std::strncpy(r.name, name, sizeof r.name - 1);
    r.SetUnit(1);
    r.widthTenthMm = width;
    r.lengthTenthMm = length;
    return r;
}

CUserPaper ListAt() {
    CUserPaper list;
    list.SetPath(kFolder);
    return list;
}

TEST(UserPaper, PathFromFolder) {
    CUserPaper list;
    list.SetPath(u"C:\\A");
    EXPECT_EQ(list.Path(), u"C:\\A\\UDPAPER.DAT");
    list.SetPath(u"C:\\A\\");
    EXPECT_EQ(list.Path(), u"C:\\A\\UDPAPER.DAT");
    list.SetPath(u"");
    EXPECT_EQ(list.Path(), u"");
    EXPECT_FALSE(list.Read());
    EXPECT_FALSE(list.Write());
}

TEST(UserPaper, HandLaidFilesAcceptedOrRefused) {
    struct Case {
        const char* what;
        Bytes file;
        BOOL result;
        WORD count;
        WORD nextId;
    } cases[] = {
        {"as written", HandFile(1, 32, 46, 1, 460, {{"Postcard", 456}, {"Banner", 459}}), TRUE, 2,
         460},
        {"header of 24: 8 bytes skipped", HandFile(1, 24, 46, 1, 460, {{"Postcard", 456}}), TRUE, 1,
         460},
        {"header of 16", HandFile(0, 16, 46, 1, 457, {{"Postcard", 456}}), TRUE, 1, 457},
        {"longer records: 46 bytes kept", HandFile(1, 32, 50, 1, 458, {{"A", 456}, {"B", 457}}),
         TRUE, 2, 458},
        {"record kind 0: no records", HandFile(1, 32, 46, 0, 500, {{"A", 456}}), TRUE, 0, 500},
        {"version 2", HandFile(2, 32, 46, 1, 460, {{"A", 456}}), FALSE, 0, 0},
        {"kind 2", HandFile(1, 32, 46, 2, 460, {{"A", 456}}), FALSE, 0, 0},
        {"header below 16", HandFile(1, 12, 46, 1, 460, {}), FALSE, 0, 0},
        {"records shorter than 46", HandFile(1, 32, 40, 1, 460, {{"A", 456}}), FALSE, 0, 460},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "header below 16") c.file.resize(14);
        ui_test::WriteHostFile(HostFile(), c.file);
        CUserPaper list = ListAt();
        EXPECT_EQ(list.Read(), c.result);
        EXPECT_EQ(list.Count(), c.count);
        EXPECT_EQ(list.NextId(), c.nextId);
    }
    // Torn files: a header cut short is refused; a file shorter than its
    // count keeps the records that are whole.
    Bytes whole = HandFile(1, 32, 46, 1, 460, {{"Postcard", 456}, {"Banner", 459}});
    struct Torn {
        size_t cut;
        BOOL result;
        WORD count;
    } torn[] = {{0, FALSE, 0},
                {15, FALSE, 0},
                {31, TRUE, 0},
                {32, TRUE, 0},
                {77, TRUE, 0},
                {78, TRUE, 1},
                {whole.size() - 1, TRUE, 1}};
    for (const Torn& t : torn) {
        SCOPED_TRACE(t.cut);
        ui_test::WriteHostFile(HostFile(),
                               Bytes(whole.begin(), whole.begin() + static_cast<long>(t.cut)));
        CUserPaper list = ListAt();
        EXPECT_EQ(list.Read(), t.result);
        ASSERT_EQ(list.Count(), t.count);
        if (t.count) {
            EXPECT_STREQ(list.At(0)->name, "Postcard");
        }
    }
    // A missing file.
    std::filesystem::remove(HostFile());
    CUserPaper none = ListAt();
    EXPECT_FALSE(none.Read());
}

TEST(UserPaper, FieldsAndLookups) {
    ui_test::WriteHostFile(HostFile(),
                           HandFile(1, 32, 46, 1, 460, {{"Postcard", 456}, {"Banner", 459}}));
    CUserPaper list = ListAt();
    ASSERT_TRUE(list.Read());
    const UserPaperRecord* r = list.FindByName(u"POSTCARD");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->paperId, 456);
    EXPECT_EQ(r->Unit(), 1u);
    EXPECT_EQ(r->widthHundredthIn, 583);
    EXPECT_EQ(r->lengthHundredthIn, 827);
    EXPECT_EQ(list.FindById(459), list.At(1));
    EXPECT_EQ(list.FindById(457), nullptr);
    EXPECT_EQ(list.FindByName(u"Letter"), nullptr);
    WORD w = 0, l = 0;
    EXPECT_TRUE(list.GetSize(459, &w, &l));
    EXPECT_EQ(w, 1480);
    EXPECT_EQ(l, 2100);
    EXPECT_FALSE(list.GetSize(457, &w, &l));
    EXPECT_FALSE(list.GetSize(459, nullptr, &l));
}

TEST(UserPaper, NewIds) {
    struct Case {
        const char* what;
        WORD next;
        std::vector<WORD> present;
        WORD expectId;
        WORD expectNext;
    } cases[] = {
        {"next id 0", 0, {}, 456, 457},
        {"next id in range", 470, {456}, 470, 471},
        {"at the top: the lowest free id", 32767, {456, 458}, 457, 32767},
        {"next id already carried: passed over", 457, {456, 457}, 458, 459},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::pair<std::string, WORD>> papers;
        for (WORD id : c.present)
            papers.push_back({"P" + std::to_string(id), id});
        ui_test::WriteHostFile(HostFile(), HandFile(1, 32, 46, 1, c.next, papers));
        CUserPaper list = ListAt();
        ASSERT_TRUE(list.Read());
        UserPaperRecord r = Paper("New", 1000, 2000);
        ASSERT_TRUE(list.Add(&r));
        EXPECT_EQ(list.At(list.Count() - 1)->paperId, c.expectId);
        EXPECT_EQ(list.NextId(), c.expectNext);
    }
    EXPECT_FALSE(ListAt().Add(nullptr));
}

TEST(UserPaper, FullListRefusesAnotherPaper) {
    CUserPaper list = ListAt();
    UserPaperRecord r = Paper("P", 1000, 2000);
    for (DWORD i = kFirstUserPaperId; i <= kLastUserPaperId; ++i)
        ASSERT_TRUE(list.Add(&r));
    EXPECT_EQ(list.Count(), kLastUserPaperId - kFirstUserPaperId + 1);
    EXPECT_FALSE(list.Add(&r));
    EXPECT_EQ(list.Count(), kLastUserPaperId - kFirstUserPaperId + 1);
}

TEST(UserPaper, WrittenFileBytesAndRoundTrip) {
    CUserPaper list = ListAt();
    UserPaperRecord a = Paper("Postcard", 1480, 2100), b = Paper("Banner", 2100, 9000);
    ASSERT_TRUE(list.Add(&a));
    ASSERT_TRUE(list.Add(&b));
    ASSERT_TRUE(list.Write()); // the folder is made on the way
    Bytes file = ui_test::ReadHostFile(HostFile());
    ASSERT_EQ(file.size(), 32u + 46 * 2);
    Bytes expect = HandFile(1, 32, 46, 1, 458, {{"Postcard", 456}, {"Banner", 457}});
    // Only the sizes differ from the hand-laid file's records.
    Put16(expect, 32 + 46 + 38, 2100);
    Put16(expect, 32 + 46 + 42, 9000);
    for (size_t rec : {size_t{32}, size_t{78}}) {
        Put16(expect, rec + 40, 0);
        Put16(expect, rec + 44, 0);
    }
    EXPECT_EQ(file, expect);

    CUserPaper back = ListAt();
    ASSERT_TRUE(back.Read());
    ASSERT_EQ(back.Count(), 2u);
    EXPECT_EQ(std::memcmp(back.At(0), list.At(0), 2 * sizeof(UserPaperRecord)), 0);
    EXPECT_EQ(back.NextId(), 458);
}

TEST(UserPaper, FailedWriteKeepsTheOldFile) {
    CUserPaper list = ListAt();
    UserPaperRecord a = Paper("Postcard", 1480, 2100);
    ASSERT_TRUE(list.Add(&a));
    ASSERT_TRUE(list.Write());
    Bytes before = ui_test::ReadHostFile(HostFile());
    ASSERT_TRUE(list.Add(&a));
    for (const char* step : {"WriteFile", "MoveFileExW"}) {
        platform::test::FailNext(step, 1, ERROR_DISK_FULL);
        EXPECT_FALSE(list.Write()) << step;
        EXPECT_EQ(ui_test::ReadHostFile(HostFile()), before) << step;
        EXPECT_EQ(list.Count(), 2u);
    }
    // No temporary file is left behind.
    size_t files = 0;
    for (auto& e :
         std::filesystem::directory_iterator(std::filesystem::path(HostFile()).parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST(UserPaper, TwoProcessesShareTheList) {
    const std::string probe = std::string("'") + USER_PAPER_PROBE + "' '" +
                              std::string(kFolder.begin(), kFolder.end()) + "'";
    CUserPaper list = ListAt();
    UserPaperRecord a = Paper("Postcard", 1480, 2100);
    ASSERT_TRUE(list.Add(&a));
    ASSERT_TRUE(list.Write());
    // The other process reads our paper, adds its own and writes the list.
    std::string out;
    ASSERT_EQ(platform_testing::RunCommand(probe + " Banner", &out), 0);
    EXPECT_EQ(out, "456 Postcard\n457 Banner\n");
    // We read both, with the next id the other process left.
    ASSERT_TRUE(list.Read());
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_STREQ(list.FindById(457)->name, "Banner");
    UserPaperRecord c = Paper("Card", 900, 1300);
    ASSERT_TRUE(list.Add(&c));
    EXPECT_EQ(list.At(2)->paperId, 458);
    ASSERT_TRUE(list.Write());
    out.clear();
    ASSERT_EQ(platform_testing::RunCommand(probe, &out), 0);
    EXPECT_EQ(out, "456 Postcard\n457 Banner\n458 Card\n");
}

} // namespace
