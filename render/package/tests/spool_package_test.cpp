#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package_reader.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "spool_package.h"
#include "win/errors.h"
#include "win/files.h"

namespace fs = std::filesystem;
using namespace spoolpkg;

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutText(Bytes& b, const char* s) {
    b.insert(b.end(), s, s + std::strlen(s) + 1);
}

// An index laid out by hand: page count 2, zero, a devmode record of 1264
// bytes, names "P1" / "Doc", two pages, a second devmode between them, end.
Bytes HandIndex() {
    Bytes b;
    Put32(b, 2);
    Put32(b, 0);
    Put32(b, 0x02000005);
    Put32(b, 1264);
    b.resize(b.size() + 1256, 0x11);
    Put32(b, 0x02445453); // names at offset 1272
    Put32(b, 28);         // 20 + "P1\0" + "Doc\0" + final zero = 28
    Put32(b, 20);
    Put32(b, 23);
    Put32(b, 27);
    PutText(b, "P1");
    PutText(b, "Doc");
    b.push_back(0);
    const char* page1 = "C:\\s\\VLM50007\\EMF00001.DAT";
    Put32(b, 0x024D5446);
    Put32(b, static_cast<uint32_t>(std::strlen(page1) + 9));
    PutText(b, page1);
    Put32(b, 0x02504E45);
    Put32(b, 8);
    Put32(b, 0x02000005);
    Put32(b, 1264);
    b.resize(b.size() + 1256, 0x22);
    const char* page2 = "C:\\s\\VLM50007\\EMF00002.DAT";
    Put32(b, 0x024D5446);
    Put32(b, static_cast<uint32_t>(std::strlen(page2) + 9));
    PutText(b, page2);
    Put32(b, 0x02504E45);
    Put32(b, 8);
    Put32(b, 0x02444E45);
    Put32(b, 8);
    return b;
}

void Patch32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST(SpoolPackageReader, ReadsAHandLaidIndex) {
    Bytes b = HandIndex();
    PackageIndex index;
    std::string error;
    ASSERT_TRUE(ReadPackageIndex(b.data(), b.size(), &index, &error)) << error;
    EXPECT_EQ(index.pageCount, 2u);
    EXPECT_EQ(index.printerName, "P1");
    EXPECT_EQ(index.documentName, "Doc");
    ASSERT_EQ(index.devmodes.size(), 2u);
    EXPECT_EQ(index.devmodes[1][0], 0x22);
    ASSERT_EQ(index.pagePaths.size(), 2u);
    EXPECT_EQ(index.pagePaths[1], "C:\\s\\VLM50007\\EMF00002.DAT");
    EXPECT_TRUE(index.finished);
    EXPECT_EQ(index.records.size(), 8u);
    EXPECT_EQ(index.records[1].offset, 1272u);
}

// Records of kinds the reader does not know (a start of page, anything a later
// writer adds) are passed over by their size; the pages stay as recorded.
TEST(SpoolPackageReader, SkipsRecordsOfOtherKinds) {
    const size_t page1 = 1272 + 28;
    Bytes b = HandIndex();
    Bytes extra;
    Put32(extra, 0x02505453); // start of page
    Put32(extra, 8);
    Put32(extra, 0x12345678);
    Put32(extra, 13);
    extra.insert(extra.end(), 5, 0x7F);
    b.insert(b.begin() + static_cast<long>(page1), extra.begin(), extra.end());
    PackageIndex index;
    std::string error;
    ASSERT_TRUE(ReadPackageIndex(b.data(), b.size(), &index, &error)) << error;
    ASSERT_EQ(index.pagePaths.size(), 2u);
    EXPECT_EQ(index.pagePaths[0], "C:\\s\\VLM50007\\EMF00001.DAT");
    EXPECT_EQ(index.devmodes.size(), 2u);
    EXPECT_TRUE(index.finished);
}

// Every count, size and offset that can point outside the file or the record.
TEST(SpoolPackageReader, RejectsDamagedIndexes) {
    const size_t names = 1272, page1 = names + 28;
    struct Case {
        const char* what;
        void (*damage)(Bytes&);
    } cases[] = {
        {"short head", [](Bytes& b) { b.resize(6); }},
        {"second word", [](Bytes& b) { Patch32(b, 4, 1); }},
        {"record cut", [](Bytes& b) { b.resize(b.size() - 4); }},
        {"size past the end", [](Bytes& b) { Patch32(b, b.size() - 4, 0x7FFFFFF0); }},
        {"size below head", [](Bytes& b) { Patch32(b, 12, 4); }},
        {"devmode size", [](Bytes& b) { Patch32(b, 12, 1000); }},
        {"first not devmode", [](Bytes& b) { Patch32(b, 8, 0x02445453); }},
        {"printer offset", [](Bytes& b) { Patch32(b, names + 8, 19); }},
        {"document offset past the record", [](Bytes& b) { Patch32(b, names + 12, 400); }},
        {"last offset past the record", [](Bytes& b) { Patch32(b, names + 16, 0xFFFFFFFF); }},
        {"names unterminated", [](Bytes& b) { b[names + 22] = 'x'; }},
        {"final not empty", [](Bytes& b) { b[names + 27] = 'x'; }},
        {"page path unterminated", [](Bytes& b) { b[page1 + 8 + 26] = 'x'; }},
        {"unknown type in the names' place", [](Bytes& b) { Patch32(b, names, 0x12345678); }},
        {"page count above pages", [](Bytes& b) { Patch32(b, 0, 3); }},
        {"bytes after the end", [](Bytes& b) { b.push_back(0); }},
        {"marker with data",
         [](Bytes& b) {
             Patch32(b, b.size() - 4, 12);
             b.insert(b.end(), 4, 0);
         }},
    };
    for (const auto& c : cases) {
        Bytes b = HandIndex();
        c.damage(b);
        PackageIndex index;
        std::string error;
        EXPECT_FALSE(ReadPackageIndex(b.data(), b.size(), &index, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST(SpoolPackageReader, FontLists) {
    Bytes b(160, 0);
    b[0] = 7;
    b[8] = 'A';
    b[10] = 'r';
    b[80] = 9;
    b[88] = 'B';
    std::vector<FontEntry> fonts;
    std::string error;
    ASSERT_TRUE(ReadFontList(b.data(), b.size(), &fonts, &error)) << error;
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(fonts[0].uniqueId, 7u);
    EXPECT_EQ(fonts[0].faceName, u"Ar");
    EXPECT_FALSE(ReadFontList(b.data(), 150, &fonts, &error));
    b[80] = 7;
    EXPECT_FALSE(ReadFontList(b.data(), b.size(), &fonts, &error)); // listed twice
    Bytes unterminated(80, 'a');
    EXPECT_FALSE(ReadFontList(unterminated.data(), unterminated.size(), &fonts, &error));
}

Bytes ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(SpoolPackageWriter, RoundTripTakesTheNextFreeSpoolId) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\Work\\");
    fs::create_directories(platform::HostPath(spool));
    std::ofstream(platform::HostPath(IndexPath(spool, 50007))) << "old";
    uint8_t dm[kAnsiDevmodeSize];
    std::memset(dm, 0x11, sizeof dm);
    PackageWriter w;
    ASSERT_EQ(w.Create(spool, 7, dm, u"P1", u"Doc"), 0u);
    EXPECT_EQ(w.spoolId(), 50008u);
    for (DWORD page = 1; page <= 3; ++page) {
        if (page == 3) dm[0] = 0x22;
        EXPECT_EQ(w.WriteDevmode(dm), 0u);
        EXPECT_EQ(w.AppendPage(page), 0u);
    }
    EXPECT_EQ(w.Finish(3), 0u);
    Bytes b = ReadHost(platform::HostPath(IndexPath(spool, 50008)));
    PackageIndex index;
    std::string error;
    ASSERT_TRUE(ReadPackageIndex(b.data(), b.size(), &index, &error)) << error;
    EXPECT_EQ(index.pageCount, 3u);
    EXPECT_EQ(index.devmodes.size(), 2u); // the unchanged device mode is recorded once
    std::vector<uint32_t> types;
    for (const auto& r : index.records)
        types.push_back(r.type);
    EXPECT_EQ(types,
              (std::vector<uint32_t>{kRecordDevmode, kRecordNames, kRecordPage, kRecordEndOfPage,
                                     kRecordPage, kRecordEndOfPage, kRecordDevmode, kRecordPage,
                                     kRecordEndOfPage, kRecordEndOfJob}));
    EXPECT_EQ(index.pagePaths[0], "C:\\Users\\u\\Work\\spool\\VLM50008\\EMF00001.DAT");
    EXPECT_TRUE(fs::is_directory(platform::HostPath(PageFolder(spool, 50008))));
}

TEST(SpoolPackageWriter, CreatesTheSpoolFolderAndDeletesThePackage) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\New\\Work\\");
    uint8_t dm[kAnsiDevmodeSize] = {};
    PackageWriter w;
    ASSERT_EQ(w.Create(spool, 1, dm, u"P", u"D"), 0u);
    EXPECT_EQ(w.AppendPage(1), 0u);
    EXPECT_EQ(w.Finish(1), 0u);
    std::ofstream(platform::HostPath(PagePath(spool, 50001, 1))) << "emf";
    std::ofstream(platform::HostPath(FontFilePath(spool, 50001, 0xABCD))) << "ttf";
    Bytes font(80, 0);
    font[0] = 0xCD;
    font[1] = 0xAB;
    font[8] = 'F';
    std::ofstream(platform::HostPath(FontListPath(spool, 50001)), std::ios::binary)
        .write(reinterpret_cast<const char*>(font.data()), 80);
    EXPECT_EQ(DeleteSpoolPackage(spool, 50001, 1), 0u);
    EXPECT_TRUE(fs::is_empty(platform::HostPath(spool)));
}

// A folder or link already standing under the next page folder's name is
// never taken over: the package moves to the next spool id, and deleting it
// touches nothing behind the link.
TEST(SpoolPackageWriter, APlantedPageFolderIsNeverTakenOver) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\Planted\\");
    const std::string target = platform::HostPath(u"C:\\Elsewhere");
    fs::create_directories(target);
    std::ofstream(target + "/EMF00001.DAT") << "somebody's file";
    fs::create_directories(platform::HostPath(spool));
    fs::create_directory_symlink(target, platform::HostPath(PageFolder(spool, 50004)));
    fs::create_directory(platform::HostPath(PageFolder(spool, 50005)));
    uint8_t dm[kAnsiDevmodeSize] = {};
    PackageWriter w;
    ASSERT_EQ(w.Create(spool, 4, dm, u"P", u"D"), 0u);
    EXPECT_EQ(w.spoolId(), 50006u);
    EXPECT_FALSE(fs::exists(platform::HostPath(IndexPath(spool, 50004))));
    EXPECT_FALSE(fs::exists(platform::HostPath(IndexPath(spool, 50005))));
    w.RemoveJobFolder();
    // Deleting the package of the planted name leaves the target's files.
    EXPECT_EQ(DeleteSpoolPackage(spool, 50004, 1), 0u);
    EXPECT_TRUE(fs::exists(target + "/EMF00001.DAT"));
}

// A package cut short (its count and list say nothing) still loses every
// file under its own names, and only those.
TEST(SpoolPackageWriter, DeletingAPackageTakesPagesNoCountNames) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\Cut\\");
    uint8_t dm[kAnsiDevmodeSize] = {};
    PackageWriter w;
    ASSERT_EQ(w.Create(spool, 9, dm, u"P", u"D"), 0u);
    w.RemoveJobFolder();
    const std::string pages = platform::HostPath(PageFolder(spool, 50009));
    fs::create_directories(pages);
    for (const char* name : {"EMF00001.DAT", "EMF00002.DAT", "emf00117.dat", "F_00000000ABCD.TMP"})
        std::ofstream(pages + "/" + name) << "x";
    EXPECT_EQ(DeleteSpoolPackage(spool, 50009, 0), 0u);
    EXPECT_FALSE(fs::exists(pages));
    EXPECT_TRUE(fs::is_empty(platform::HostPath(spool)));

    fs::create_directories(pages);
    std::ofstream(pages + "/notes.txt") << "not the package's";
    EXPECT_NE(DeleteSpoolPackage(spool, 50009, 0), 0u); // the folder is not empty
    EXPECT_TRUE(fs::exists(pages + "/notes.txt"));
}

// The sweep at a job's start takes the packages whose owner has ended and
// nothing else: not a live owner's, not one without a mark, not one whose
// only mark has another form, never what lies beside them.
TEST(SpoolPackageWriter, TheSweepTakesOnlyPackagesOfEndedOwners) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\Sweep\\");
    uint8_t dm[kAnsiDevmodeSize] = {};
    auto owner = std::make_unique<PackageOwner>();
    const std::u16string live = owner->Token();
    ASSERT_TRUE(IsOwnerToken(live));
    EXPECT_TRUE(OwnerAlive(live));
    const std::u16string dead = u"0123456789ABCDEF0123456789ABCDEF";
    EXPECT_FALSE(OwnerAlive(dead));
    EXPECT_TRUE(OwnerAlive(u"not a token")); // unknown is never taken for dead
    struct Package {
        DWORD job;
        std::u16string token; // the mark's, empty for none
        std::string markName; // a mark of another form, when given
        bool goes;
    } packages[] = {
        {1, live, "", false}, {2, dead, "", true},
        {3, u"", "", false},  {4, u"", "OWNER_0123456789abcdef0123456789abcdef.TMP", false},
        {5, dead, "", true},
    };
    std::vector<std::unique_ptr<PackageWriter>> writers;
    for (const Package& p : packages) {
        writers.push_back(std::make_unique<PackageWriter>());
        ASSERT_EQ(writers.back()->Create(spool, p.job, dm, u"P", u"D", p.token), 0u);
        EXPECT_EQ(writers.back()->AppendPage(1), 0u);
        EXPECT_EQ(writers.back()->Finish(1), 0u);
        const DWORD id = p.job + kSpoolIdBase;
        std::ofstream(platform::HostPath(PagePath(spool, id, 1))) << "emf";
        if (!p.markName.empty())
            std::ofstream(platform::HostPath(PageFolder(spool, id)) + "/" + p.markName);
        if (!p.token.empty()) {
            EXPECT_TRUE(fs::exists(platform::HostPath(OwnerMarkPath(spool, id, p.token))));
        }
    }
    const std::string beside = platform::HostPath(spool) + "/VLM50002.txt";
    std::ofstream(beside) << "not a package";
    EXPECT_EQ(SweepDeadPackages(spool), 2u);
    for (const Package& p : packages) {
        const DWORD id = p.job + kSpoolIdBase;
        EXPECT_EQ(fs::exists(platform::HostPath(PageFolder(spool, id))), !p.goes) << p.job;
        EXPECT_EQ(fs::exists(platform::HostPath(IndexPath(spool, id))), !p.goes) << p.job;
    }
    EXPECT_TRUE(fs::exists(beside));
    // Its owner gone, the live package goes at the next sweep.
    owner.reset();
    EXPECT_FALSE(OwnerAlive(live));
    EXPECT_EQ(SweepDeadPackages(spool), 1u);
    EXPECT_FALSE(fs::exists(platform::HostPath(PageFolder(spool, 50001))));
    // A package given up to a player keeps no mark, and is not swept.
    PackageOwner player;
    PackageWriter given;
    ASSERT_EQ(given.Create(spool, 7, dm, u"P", u"D", player.Token()), 0u);
    EXPECT_EQ(given.Finish(0), 0u);
    ReleasePackage(spool, 50007, player.Token());
    EXPECT_FALSE(fs::exists(platform::HostPath(OwnerMarkPath(spool, 50007, player.Token()))));
    EXPECT_EQ(SweepDeadPackages(spool), 0u);
    EXPECT_EQ(DeleteSpoolPackage(spool, 50007, 0), 0u);
}

TEST(SpoolPackageWriter, RecordLimits) {
    EXPECT_TRUE(PageRecord(std::string(260, 'a')).empty());
    EXPECT_EQ(PageRecord(std::string(259, 'a')).size(), 268u);
    Bytes names = NamesRecord(std::string("P\0x", 3), "");
    EXPECT_EQ(names.size(), 20u + 2 + 1 + 1);
}

// printhost package lists a package through the same reader and fails on a damaged one.
TEST(SpoolPackageWriter, PrinthostListsThePackage) {
    std::u16string spool = SpoolFolder(u"C:\\Work\\");
    uint8_t dm[kAnsiDevmodeSize] = {};
    PackageWriter w;
    ASSERT_EQ(w.Create(spool, 3, dm, u"Office", u"Report"), 0u);
    EXPECT_EQ(w.AppendPage(1), 0u);
    EXPECT_EQ(w.Finish(1), 0u);
    std::string command =
        std::string(PKG_TOOLS_DIR) + "/printhost package " + platform::HostPath(spool) + " 2>&1";
    auto run = [&command](std::string* out) {
        FILE* p = popen(command.c_str(), "r");
        char buf[512];
        while (p && fgets(buf, sizeof buf, p))
            *out += buf;
        return p ? pclose(p) : -1;
    };
    std::string out;
    EXPECT_EQ(run(&out), 0) << out;
    EXPECT_NE(out.find("printer \"Office\", document \"Report\", 1 page(s)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("EMF00001.DAT (missing)"), std::string::npos) << out;
    fs::resize_file(platform::HostPath(IndexPath(spool, 50003)), 1000);
    out.clear();
    EXPECT_NE(run(&out), 0);
    EXPECT_NE(out.find("record size outside the file"), std::string::npos) << out;
}

// A page path that leaves the page folder is said to, never looked up: the
// listing tells nothing of which host files exist.
TEST(SpoolPackageWriter, PrinthostDoesNotLookUpHostPaths) {
    std::u16string spool = SpoolFolder(u"C:\\Probe\\");
    fs::create_directories(platform::HostPath(spool));
    Bytes b = HandIndex();
    // Same length as "C:\\s\\VLM50007\\EMF00001.DAT" (26 characters).
    std::string probe = "/etc";
    for (int i = 0; i < 8; ++i)
        probe += "/.";
    probe += "/hosts"; // a host file that exists, 26 characters
    std::memcpy(b.data() + 1272 + 28 + 8, probe.data(), probe.size());
    std::ofstream(platform::HostPath(IndexPath(spool, 50007)), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    std::string out;
    FILE* p = popen(
        (std::string(PKG_TOOLS_DIR) + "/printhost package " + platform::HostPath(spool) + " 2>&1")
            .c_str(),
        "r");
    char buf[512];
    while (p && fgets(buf, sizeof buf, p))
        out += buf;
    ASSERT_EQ(p ? pclose(p) : -1, 0) << out;
    EXPECT_NE(out.find(probe + " (not in the package)"), std::string::npos) << out;
}

} // namespace

namespace {

// A font of 16 bytes of its id (the bytes live as long as the test).
JobFont SmallFont(uint64_t id) {
    static std::map<uint64_t, std::vector<uint8_t>> files;
    auto& bytes = files[id];
    bytes.assign(16, static_cast<uint8_t>(id));
    JobFont f;
    f.uniqueId = id;
    f.file = bytes;
    return f;
}

uintmax_t ListSize(const std::u16string& spool, DWORD spoolId) {
    return fs::file_size(platform::HostPath(FontListPath(spool, spoolId)));
}

} // namespace

// A failed or short append to the font list leaves no part of its record:
// the fonts added after it are listed whole and in line.
TEST(SpoolPackageWriter, AFailedFontListAppendLeavesTheListInLine) {
    std::u16string spool = SpoolFolder(u"C:\\Users\\u\\Fonts\\Work\\");
    std::u16string face = u"Face";
    ASSERT_TRUE(AddJobFont(spool, 50001, SmallFont(1), &face, nullptr));
    ASSERT_EQ(ListSize(spool, 50001), kFontRecordSize);

    // The list's write fails (the font file's write before it succeeds).
    platform::test::FailNext("WriteFile", 1, ERROR_DISK_FULL, 1);
    face = u"Other";
    EXPECT_FALSE(AddJobFont(spool, 50001, SmallFont(2), &face, nullptr));
    platform::test::ClearFaults();
    EXPECT_EQ(ListSize(spool, 50001), kFontRecordSize);
    EXPECT_FALSE(fs::exists(platform::HostPath(FontFilePath(spool, 50001, 2))));

    // A real short write: the file may not grow past half a record more.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = kFontRecordSize + kFontRecordSize / 2;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    face = u"Short";
    bool added = AddJobFont(spool, 50001, SmallFont(3), &face, nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(added);
    EXPECT_EQ(ListSize(spool, 50001), kFontRecordSize);

    // A partial record left by a crash is written over by the next one.
    {
        std::ofstream tail(platform::HostPath(FontListPath(spool, 50001)),
                           std::ios::binary | std::ios::app);
        tail.write("partial record", 14);
    }
    face = u"Next";
    ASSERT_TRUE(AddJobFont(spool, 50001, SmallFont(4), &face, nullptr));
    EXPECT_EQ(ListSize(spool, 50001), 2 * kFontRecordSize);
    std::vector<FontEntry> fonts = ReadJobFonts(spool, 50001);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(fonts[0].uniqueId, 1u);
    EXPECT_EQ(fonts[0].faceName, u"Face");
    EXPECT_EQ(fonts[1].uniqueId, 4u);
    EXPECT_EQ(fonts[1].faceName, u"Next");
}
