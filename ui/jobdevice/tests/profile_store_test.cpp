// The profile store against files laid out by hand: both layouts, the older
// one converted, damaged and foreign files refused or kept, every rewrite
// whole and carrying what it cannot read.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/model_queries.h"
#include "model_data_header.h"
#include "model_info.h"
#include "platform/codepage_ctl.h"
#include "platform/paths.h"
#include "profile_bytes.h"
#include "profile_file.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/files.h"

extern char** environ;

namespace {

using namespace sheetwright;
using namespace profile_bytes;

constexpr char16_t kFolder[] = u"C:\\Users\\me\\Profiles\\";
const std::u16string kStore = std::u16string(kFolder) + u"P00DPR.DAT";

std::string HostStore() {
    return platform::HostPath(kStore);
}

void WriteStore(const std::string& bytes) {
    ASSERT_TRUE(CreateDirectoryTree(kFolder));
    std::ofstream(HostStore(), std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ReadStore() {
    return ReadFile(HostStore());
}

ProfileEntry Entry(const char* name, const char* comment = "", DWORD flags = 0) {
    ProfileEntry e{};
    std::strncpy(e.name, name, sizeof e.name - 1);
    std::strncpy(e.comment, comment, sizeof e.comment - 1);
    e.profileFlags = flags;
    return e;
}

DEVMODE_IMAGEA Image(short copies) {
    DEVMODE_IMAGEA d{};
    d.dm.dmSize = DEVMODEA_SIZE;
    d.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    d.dm.dmFields = DM_COPIES;
    d.dm.dmCopies = copies;
    d.priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    return d;
}

class ProfileStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
        printer_ = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer_->ok());
    }
    std::unique_ptr<ProfileFile> Store() {
        return std::make_unique<ProfileFile>(printer_->binding(), kStore);
    }
    std::vector<std::string> Names(ProfileFile* store) {
        const ProfileEntry* list = nullptr;
        DWORD count = 0;
        store->GetProfileList(&list, &count);
        std::vector<std::string> out;
        for (DWORD i = 0; i < count; ++i)
            out.push_back(list[i].name);
        return out;
    }
    short Copies(ProfileFile* store, const char* name) {
        DEVMODE_IMAGEA d{};
        d.dm.dmSize = DEVMODEA_SIZE;
        d.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
        return store->ReadProfile(name, &d.dm, nullptr, nullptr) ? d.dm.dmCopies : -1;
    }
    std::unique_ptr<ui_test::BoundPrinter> printer_;
};

TEST_F(ProfileStore, OlderLayoutConvertedWithBothHeadSizes) {
    for (bool shortHead : {true, false}) {
        SCOPED_TRACE(shortHead ? "200-byte heads" : "208-byte heads");
        WriteStore(LegacyHead(2, 0x20000) +
                   LegacyRecord(shortHead, "Draft", "fast and grey", 1, Devmode(3)) +
                   LegacyRecord(shortHead, "Final", "two-sided", 0, Devmode(7)));
        auto store = Store();
        EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"Draft", "Final"}));
        const std::string now = ReadStore();
        ASSERT_GE(now.size(), 96u);
        EXPECT_EQ(now.substr(0, 4), "ZORP");
        EXPECT_EQ(Get32(now, 8), 9u);
        EXPECT_EQ(Get32(now, 32), 2u) << "record count";
        EXPECT_EQ(Get32(now, 72), 0x20000u) << "the old settings version is kept";
        EXPECT_EQ(now.substr(88 + 24, 5), "Draft");
        EXPECT_EQ(std::string(now.data() + 88 + 88), "fast and grey");
        EXPECT_EQ(Get32(now, 88 + 12), 1u) << "flags";
        EXPECT_EQ(now.substr(now.size() - 8, 4), "eof-");
        const ProfileEntry* final = store->FindProfile("FINAL");
        ASSERT_NE(final, nullptr);
        EXPECT_STREQ(final->comment, "two-sided");
        EXPECT_EQ(Copies(store.get(), "final"), 7);
    }
}

TEST_F(ProfileStore, CountPastTheRecordsListsWhatIsThere) {
    WriteStore(CurrentHead(5) + RecordChunk("A", "", 0, Devmode(1)) +
               RecordChunk("B", "", 0, Devmode(2)) + EndChunk());
    auto store = Store();
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileMalformed});
    const DEVMODE_IMAGEA c = Image(3);
    const ProfileEntry e = Entry("C");
    ASSERT_TRUE(store->SaveProfile(&c.dm, &e, FALSE));
    EXPECT_EQ(Get32(ReadStore(), 32), 3u) << "the count matches the records written";
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileOk});
}

TEST_F(ProfileStore, UnreadableProfileCarriedByteForByte) {
    const std::string foreign = RecordChunk("Old", "908", 0, Devmode(9, 908));
    WriteStore(CurrentHead(3) + RecordChunk("A", "", 0, Devmode(1)) + foreign +
               RecordChunk("B", "", 0, Devmode(2)) + EndChunk());
    auto store = Store();
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileForeignDevmode});
    const DEVMODE_IMAGEA c = Image(3);
    const ProfileEntry e = Entry("C");
    ASSERT_TRUE(store->SaveProfile(&c.dm, &e, TRUE));
    const std::string now = ReadStore();
    EXPECT_EQ(Get32(now, 32), 4u);
    EXPECT_NE(now.find(foreign), std::string::npos) << "the 908-byte profile is kept as it was";
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(ProfileStore, OtherModelRefusedAndUntouched) {
    const std::string other = CurrentHead(1, 0x100000, "Velmora LP1220") +
                              RecordChunk("A", "", 0, Devmode(1)) + EndChunk();
    WriteStore(other);
    auto store = Store();
    EXPECT_TRUE(Names(store.get()).empty());
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileOtherModel});
    const DEVMODE_IMAGEA c = Image(3);
    const ProfileEntry e = Entry("C");
    EXPECT_FALSE(store->SaveProfile(&c.dm, &e, FALSE));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileOtherModel});
    EXPECT_FALSE(store->DeleteProfile(&e));
    EXPECT_EQ(ReadStore(), other);
    // Another name of the same model (query 51) is this model's store.
    WriteStore(CurrentHead(1, 0x100000, "CX5530 MFP") + RecordChunk("A", "", 0, Devmode(1)) +
               EndChunk());
    auto again = Store();
    EXPECT_EQ(Names(again.get()), (std::vector<std::string>{"A"}));
}

// Damaged files: nothing is read outside the file, what can be read is
// listed, a save writes the readable profiles and the new one (the damaged
// file kept as it was beside the store), and a file whose head cannot be
// read is never rewritten.
TEST_F(ProfileStore, DamagedChunkSizes) {
    const std::string a = RecordChunk("A", "", 0, Devmode(1));
    std::string huge = RecordChunk("B", "", 0, Devmode(2));
    Put32(&huge, 4, 0x7FFFFFF0);
    std::string tiny = RecordChunk("B", "", 0, Devmode(2));
    Put32(&tiny, 4, 216);
    std::string headPast = CurrentHead(1);
    Put32(&headPast, 20, 0xFFFFFFFF);
    std::string headSmall = CurrentHead(1);
    Put32(&headSmall, 20, 9);
    std::string bigHead = RecordChunk("B", "", 0, Devmode(2));
    Put32(&bigHead, 8, 0x10000); // record head past its chunk
    std::string bigDm = Devmode(2);
    Put16(&bigDm, kDmSize, 400); // standard part larger than the image's
    const struct {
        const char* what;
        std::string file;
        size_t listed;
        bool saves;
    } kCases[] = {
        {"chunk past the end", CurrentHead(2) + a + huge + EndChunk(), 1, true},
        {"chunk below a record", CurrentHead(2) + a + tiny + EndChunk(), 1, true},
        {"header chunk past the end", headPast + a + EndChunk(), 0, false},
        {"header chunk too small", headSmall + a + EndChunk(), 0, false},
        {"record head past its chunk", CurrentHead(2) + a + bigHead + EndChunk(), 1, true},
        {"device mode larger than the image",
         CurrentHead(2) + a + RecordChunk("B", "", 0, bigDm) + EndChunk(), 1, true},
        {"cut in a record", (CurrentHead(2) + a + a).substr(0, 88 + a.size() + 300), 1, true},
        {"more records than counted", CurrentHead(1) + a + a + EndChunk(), 1, true},
        {"short file", std::string("ZORP\0\0\0\0\x09", 9), 0, false},
        {"empty file", std::string(), 0, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        WriteStore(c.file);
        auto store = Store();
        EXPECT_EQ(Names(store.get()).size(), c.listed);
        EXPECT_NE(store->ErrorCode(), DWORD{kProfileOk});
        const DEVMODE_IMAGEA d = Image(5);
        const ProfileEntry e = Entry("New");
        EXPECT_EQ(store->SaveProfile(&d.dm, &e, FALSE) != FALSE, c.saves);
        if (!c.saves) {
            EXPECT_EQ(ReadStore(), c.file);
            continue;
        }
        std::vector<std::string> now(c.listed, "A");
        now.push_back("New");
        EXPECT_EQ(Names(store.get()), now);
        if (std::ifstream(HostStore() + ".damaged")) {
            EXPECT_EQ(ReadFile(HostStore() + ".damaged"), c.file) << "the damaged file is kept";
            std::remove((HostStore() + ".damaged").c_str());
        } else if (!c.file.empty()) {
            EXPECT_NE(ReadStore().find(c.file.substr(88 + a.size(), 200)), std::string::npos)
                << "the unreadable record is carried";
        }
    }
}

// The store cut inside its second record, as a damaged disk or a copy cut
// short leaves it: listing shows the first profile, a save writes it and the
// new one, and later saves and deletes work on the mended store.
TEST_F(ProfileStore, CutStoreStillTakesSavesAndDeletes) {
    const std::string test1 = RecordChunk("Test1", "one", 0, Devmode(1));
    const std::string two = RecordChunk("Two", "", 0, Devmode(2));
    const std::string cut = (CurrentHead(2) + test1 + two + EndChunk()).substr(0, 2000);
    ASSERT_LT(88 + test1.size(), cut.size());
    WriteStore(cut);
    auto store = Store();
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"Test1"}));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileMalformed});
    const DEVMODE_IMAGEA four = Image(4);
    const ProfileEntry e4 = Entry("Four");
    ASSERT_TRUE(store->SaveProfile(&four.dm, &e4, FALSE)) << store->ErrorCode();
    const std::string now = ReadStore();
    EXPECT_EQ(Get32(now, 32), 2u);
    EXPECT_EQ(now.substr(88, test1.size()), test1) << "Test1 written unchanged";
    EXPECT_EQ(now.substr(now.size() - 8, 4), "eof-");
    EXPECT_EQ(ReadFile(HostStore() + ".damaged"), cut);
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"Test1", "Four"}));
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileOk});
    EXPECT_EQ(Copies(store.get(), "Four"), 4);
    const ProfileEntry e5 = Entry("Five");
    ASSERT_TRUE(store->SaveProfile(&four.dm, &e5, TRUE));
    ASSERT_TRUE(store->DeleteProfile(&e4));
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"Five", "Test1"}));
}

TEST_F(ProfileStore, SaveOrderReplaceAndDelete) {
    const struct {
        const char* name;
        BOOL toTop;
        std::vector<std::string> after;
    } kCases[] = {
        {"New", TRUE, {"New", "A", "B"}},
        {"b", TRUE, {"b", "A"}},
        {"b", FALSE, {"A", "b"}},
        {"New", FALSE, {"A", "B", "New"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.name) + (c.toTop ? " to top" : " in place"));
        WriteStore(CurrentHead(2) + RecordChunk("A", "", 0, Devmode(1)) +
                   RecordChunk("B", "", 0, Devmode(2)) + EndChunk());
        auto store = Store();
        const DEVMODE_IMAGEA d = Image(8);
        const ProfileEntry e = Entry(c.name, "saved");
        ASSERT_TRUE(store->SaveProfile(&d.dm, &e, c.toTop));
        EXPECT_EQ(Names(store.get()), c.after);
        EXPECT_EQ(Copies(store.get(), c.name), 8);
    }
    // Deleting every profile leaves head, header chunk and end mark.
    auto store = Store();
    for (const char* name : {"a", "b", "NEW"}) {
        const ProfileEntry e = Entry(name);
        ASSERT_TRUE(store->DeleteProfile(&e)) << name;
    }
    EXPECT_TRUE(Names(store.get()).empty());
    const std::string left = ReadStore();
    EXPECT_EQ(left.size(), 96u);
    EXPECT_EQ(Get32(left, 32), 0u);
    EXPECT_EQ(left.substr(88, 4), "eof-");
}

TEST_F(ProfileStore, NewStoreHoldsTheModelNamesAsStoredAndNoPassword) {
    auto store = Store();
    ASSERT_TRUE(CreateDirectoryTree(kFolder));
    DEVMODE_IMAGEA d = Image(4);
    std::strcpy(d.priv.SecurePassword, "1234");
    std::strcpy(d.priv.SecureBoxId, "77");
    const ProfileEntry e = Entry("Secure");
    ASSERT_TRUE(store->SaveProfile(&d.dm, &e, FALSE));
    const std::string file = ReadStore();
    // The 18-character model name is cut to 15 in the file and still read back.
    EXPECT_EQ(std::string(file.data() + 40), kModel);
    EXPECT_EQ(std::string(file.data() + 56), kFamily);
    EXPECT_EQ(file.find("1234"), std::string::npos) << "the password is never stored";
    EXPECT_NE(file.find("77"), std::string::npos);
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"Secure"}));
}

TEST_F(ProfileStore, ReadOnlyStoreReplacedLinkRefused) {
    WriteStore(CurrentHead(1) + RecordChunk("A", "", 0, Devmode(1)) + EndChunk());
    ASSERT_TRUE(SetFileAttributesW(kStore.c_str(), FILE_ATTRIBUTE_READONLY));
    auto store = Store();
    const DEVMODE_IMAGEA d = Image(2);
    const ProfileEntry e = Entry("B");
    ASSERT_TRUE(store->SaveProfile(&d.dm, &e, FALSE));
    EXPECT_EQ(Names(store.get()), (std::vector<std::string>{"A", "B"}));

    // A store that is a link is neither read through nor replaced.
    const std::string target = HostStore() + ".elsewhere";
    std::ofstream(target, std::ios::binary) << ReadStore();
    ASSERT_EQ(::unlink(HostStore().c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), HostStore().c_str()), 0);
    auto linked = Store();
    EXPECT_TRUE(Names(linked.get()).empty());
    EXPECT_EQ(linked->ErrorCode(), DWORD{kProfileRefusedPath});
    EXPECT_FALSE(linked->SaveProfile(&d.dm, &e, FALSE));
    EXPECT_EQ(linked->ErrorCode(), DWORD{kProfileRefusedPath});
    struct stat st;
    ASSERT_EQ(::lstat(HostStore().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(ProfileStore, MissingStoreAndFolder) {
    auto store = Store();
    EXPECT_TRUE(Names(store.get()).empty());
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileCannotOpen});
    const DEVMODE_IMAGEA d = Image(2);
    const ProfileEntry e = Entry("A");
    EXPECT_FALSE(store->SaveProfile(&d.dm, &e, FALSE)) << "the folder is the caller's to make";
    EXPECT_EQ(store->ErrorCode(), DWORD{kProfileCannotCreate});
}

#ifdef PROFILE_SAVE_PROBE
// Another process saving into the store is killed at random moments: the
// store left behind is always a whole file, the old one or the new one.
TEST_F(ProfileStore, KilledDuringSaveLeavesAWholeStore) {
    WriteStore(CurrentHead(1) + RecordChunk("Kept", "", 0, Devmode(1)) + EndChunk());
    StoreModelNames names{kModel, {}, kFamily};
    const std::string store(kStore.begin(), kStore.end());
    unsigned seed = 12345;
    int roundsWithProbeSaves = 0;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        char* argv[] = {const_cast<char*>(PROFILE_SAVE_PROBE), const_cast<char*>("P"),
                        const_cast<char*>(store.c_str()), nullptr};
        // Killed at a random moment after its saving began.
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, PROFILE_SAVE_PROBE, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        char line[16];
        const bool began = ::read(ready[0], line, sizeof line) > 0;
        ::close(ready[0]);
        if (began) ::usleep(rand_r(&seed) % 60000);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const StoreImage image = ParseProfileStore(ReadStore(), names);
        EXPECT_EQ(image.error, DWORD{kProfileOk});
        EXPECT_FALSE(image.damaged || image.refused);
        bool kept = false, probe = false;
        for (const StoredProfile& r : image.records) {
            kept = kept || (r.accepted && std::string(r.entry.name) == "Kept");
            probe = probe || std::string(r.entry.name).rfind("Probe", 0) == 0;
        }
        roundsWithProbeSaves += probe;
        EXPECT_TRUE(kept);
        EXPECT_LE(image.records.size(), 6u);
    }
    EXPECT_GT(roundsWithProbeSaves, 0) << "the other process saved before it was killed";
    // The next writer clears what a killed one left and the store still works.
    auto after = Store();
    const DEVMODE_IMAGEA d = Image(2);
    const ProfileEntry e = Entry("After");
    ASSERT_TRUE(after->SaveProfile(&d.dm, &e, FALSE));
    EXPECT_EQ(Copies(after.get(), "After"), 2);
    EXPECT_EQ(Copies(after.get(), "Kept"), 1);
}
#endif

TEST(ProfileText, FieldsCutAtCharacterBoundaries) {
    ASSERT_TRUE(platform::test::SetAnsiCodePage(932));
    // 63 bytes of single-byte text, then a double-byte character that would
    // straddle the last byte of a 64-byte field.
    std::string text(62, 'a');
    text += "\x82\xa0";
    char field[64];
    SetFieldText(field, sizeof field, text);
    EXPECT_EQ(FieldText(field, sizeof field), std::string(62, 'a'));
    text = std::string(61, 'a') + "\x82\xa0";
    SetFieldText(field, sizeof field, text);
    EXPECT_EQ(FieldText(field, sizeof field), text);
    // A field without a terminator is read within its width.
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(full, sizeof full), "abcd");
}

} // namespace
