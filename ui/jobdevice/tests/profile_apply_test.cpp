// What applying a profile takes over and keeps, how profiles of older
// driver versions are brought up to date (in memory, written once), copies
// between stores, and the default profiles applied at installation.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devmode_helpers.h"
#include "option_detection.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "profile_apply.h"
#include "profile_bytes.h"
#include "profile_install.h"
#include "revise_devmode.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
using namespace profile_bytes;

using Image = DEVMODE_IMAGEW;

std::unique_ptr<Image> Blank() {
    auto d = std::make_unique<Image>();
    std::memset(d.get(), 0, sizeof *d);
    d->dm.dmSize = DEVMODEW_SIZE;
    d->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    d->priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    return d;
}

ProfileEntry Entry(const char* name, DWORD flags = 0) {
    ProfileEntry e{};
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.profileFlags = flags;
    return e;
}

struct MergeCase {
    const char* what;
    DWORD flags; // of the entry; ~0u: no entry
    std::function<void(Image& p, Image& c)> set;
    std::function<void(const Image& c)> check;
};

TEST(ProfileMerge, FieldGroups) {
    const MergeCase kCases[] = {
        {"do not save paper keeps the current paper and orientation", kProfileKeepsPaper,
         [](Image& p, Image& c) {
             p.dm.dmPaperSize = 8, p.dm.dmOrientation = 2, p.priv.Rotate180 = 1;
             p.dm.dmFormName[0] = u'X', p.dm.dmCopies = 4;
             c.dm.dmPaperSize = 9, c.dm.dmOrientation = 1, c.dm.dmFormName[0] = u'Y';
         },
         [](const Image& c) {
             EXPECT_EQ(c.dm.dmPaperSize, 9);
             EXPECT_EQ(c.dm.dmOrientation, 1);
             EXPECT_EQ(c.priv.Rotate180, 0);
             EXPECT_EQ(c.dm.dmFormName[0], u'Y');
             EXPECT_EQ(c.dm.dmCopies, 4);
         }},
        {"without an entry the paper comes too", ~0u,
         [](Image& p, Image& c) {
             p.dm.dmPaperSize = 8, p.dm.dmOrientation = 2, p.priv.Rotate180 = 1;
             c.dm.dmPaperSize = 9;
         },
         [](const Image& c) {
             EXPECT_EQ(c.dm.dmPaperSize, 8);
             EXPECT_EQ(c.dm.dmOrientation, 2);
             EXPECT_EQ(c.priv.Rotate180, 1);
         }},
        {"secure mailbox takes the box ID, not the user ID or the password", 0,
         [](Image& p, Image& c) {
             p.priv.JobType = 3;
             std::strcpy(p.priv.SecureBoxId, "42");
             std::strcpy(p.priv.MailboxId, "user");
             std::strcpy(p.priv.SecurePassword, "pw-of-profile");
             std::strcpy(c.priv.SecurePassword, "mine");
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.JobType, 3);
             EXPECT_STREQ(c.priv.SecureBoxId, "42");
             EXPECT_STREQ(c.priv.MailboxId, "");
             EXPECT_STREQ(c.priv.SecurePassword, "mine");
         }},
        {"mailbox takes the user ID only", 0,
         [](Image& p, Image&) {
             p.priv.JobType = 2;
             std::strcpy(p.priv.SecureBoxId, "42");
             std::strcpy(p.priv.MailboxId, "user");
         },
         [](const Image& c) {
             EXPECT_STREQ(c.priv.MailboxId, "user");
             EXPECT_STREQ(c.priv.SecureBoxId, "");
         }},
        {"department entry stays off; the code is not taken", 0,
         [](Image& p, Image&) {
             p.priv.DeptCounterFlags = 0x1 | 0x4;
             std::strcpy(p.priv.DeptCode, "1234");
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.DeptCounterFlags, 0x4);
             EXPECT_STREQ(c.priv.DeptCode, "");
         }},
        {"department entry stays on; the code is taken", 0,
         [](Image& p, Image& c) {
             p.priv.DeptCounterFlags = 0;
             std::strcpy(p.priv.DeptCode, "1234");
             c.priv.DeptCounterFlags = 0x1;
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.DeptCounterFlags, 0x1);
             EXPECT_STREQ(c.priv.DeptCode, "1234");
         }},
        {"no layout clears the output paper", 0,
         [](Image& p, Image& c) {
             p.priv.LayoutKind = 0, p.priv.OutputPaperId = 9;
             p.dm.dmPaperWidth = 1000, p.dm.dmPaperLength = 2000;
             c.priv.OutputPaperId = 5;
             c.dm.dmFields = DM_PAPERLENGTH | DM_PAPERWIDTH;
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.OutputPaperId, 0);
             EXPECT_EQ(c.priv.OutputPaperWidth, 1000);
             EXPECT_EQ(c.priv.OutputPaperLength, 2000);
             EXPECT_TRUE(c.priv.PrivateFlags & (1u << 6)) << "custom output size";
         }},
        {"a booklet takes its own fields, not those of pages per sheet", 0,
         [](Image& p, Image&) {
             p.priv.LayoutKind = 2, p.priv.OutputPaperId = 9;
             p.priv.BookletKind = 1, p.priv.BookletRotation = 1, p.priv.PagesPerSheet = 4;
             p.priv.FitMode = 3;
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.OutputPaperId, 9);
             EXPECT_EQ(c.priv.BookletKind, 1);
             EXPECT_EQ(c.priv.BookletRotation, 1);
             EXPECT_EQ(c.priv.PagesPerSheet, 0);
             EXPECT_EQ(c.priv.FitMode, 3);
         }},
        {"fit to paper keeps the current fit mode", 0,
         [](Image& p, Image& c) { p.priv.LayoutKind = 8, p.priv.FitMode = 3, c.priv.FitMode = 1; },
         [](const Image& c) { EXPECT_EQ(c.priv.FitMode, 1); }},
        {"front cover only by its bit; the printer's fields stay", 0,
         [](Image& p, Image& c) {
             p.priv.CoverFlags = 0x1, p.priv.FrontCoverSource = 3, p.priv.BackCoverSource = 4;
             p.priv.Reserved74 = 7, p.priv.MetafileSpoolingOff = 1, p.priv.Reserved98 = 7;
             p.priv.ManualDuplexOffered = 1, p.priv.Version = 99;
             c.priv.BackCoverSource = 2;
         },
         [](const Image& c) {
             EXPECT_EQ(c.priv.FrontCoverSource, 3);
             EXPECT_EQ(c.priv.BackCoverSource, 2);
             EXPECT_EQ(c.priv.Reserved74, 0);
             EXPECT_EQ(c.priv.MetafileSpoolingOff, 0);
             EXPECT_EQ(c.priv.Reserved98, 0);
             EXPECT_EQ(c.priv.ManualDuplexOffered, 0);
             EXPECT_EQ(c.priv.Version, 0u);
         }},
        {"job names by the prompt bits", 0,
         [](Image& p, Image&) {
             p.priv.JobInfoFlags = 0x2;
             std::strcpy(p.priv.JobName, "report");
             std::strcpy(p.priv.UserName, "ann");
         },
         [](const Image& c) {
             EXPECT_STREQ(c.priv.JobName, "report");
             EXPECT_STREQ(c.priv.UserName, "");
         }},
    };
    for (const MergeCase& k : kCases) {
        SCOPED_TRACE(k.what);
        auto p = Blank(), c = Blank();
        c->priv.Version = 0;
        k.set(*p, *c);
        const ProfileEntry e = Entry("P", k.flags == ~0u ? 0 : k.flags);
        ASSERT_TRUE(MergeProfileSettings(k.flags == ~0u ? nullptr : &e, p.get(), c.get()));
        k.check(*c);
    }
    EXPECT_FALSE(MergeProfileSettings(nullptr, Blank().get(), nullptr));
}

TEST(ProfileMigration, ByVersion) {
    auto d = Blank();
    d->priv.NupRotation = 1, d->priv.BookletRotation = 1, d->priv.ColorMatching = 3;
    auto same = std::make_unique<Image>(*d);
    ASSERT_TRUE(MigrateProfileSettings(nullptr, same.get(), 0x100000));
    EXPECT_EQ(std::memcmp(same.get(), d.get(), sizeof *d), 0) << "current: nothing changes";

    auto rotations = std::make_unique<Image>(*d);
    ASSERT_TRUE(MigrateProfileSettings(nullptr, rotations.get(), 0x20000));
    EXPECT_EQ(rotations->priv.NupRotation, 0);
    EXPECT_EQ(rotations->priv.BookletRotation, 0);
    EXPECT_EQ(rotations->priv.MetafileSpoolingOff, 1);

    auto color = std::make_unique<Image>(*d);
    ASSERT_TRUE(MigrateProfileSettings(nullptr, color.get(), 0x80000));
    EXPECT_EQ(color->dm.dmICMMethod, 2u);
    EXPECT_EQ(color->dm.dmICMIntent, 2u);
    EXPECT_EQ(color->priv.NupRotation, 1);
    EXPECT_FALSE(MigrateProfileSettings(nullptr, nullptr, 0));
}

class ProfileStores : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
        printer_ = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer_->ok());
        ASSERT_TRUE(CreateDirectoryTree(u"C:\\Profiles\\"));
    }
    static std::string Host(const std::u16string& path) { return platform::HostPath(path); }
    static void Write(const std::u16string& path, const std::string& bytes) {
        std::ofstream(Host(path), std::ios::binary) << bytes;
    }
    static std::string Read(const std::u16string& path) {
        std::ifstream in(Host(path), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::unique_ptr<ProfileFile> Open(const std::u16string& path) {
        return std::make_unique<ProfileFile>(printer_->binding(), path);
    }
    std::unique_ptr<ui_test::BoundPrinter> printer_;
};

TEST_F(ProfileStores, ApplyAndCopyUnderANewName) {
    const std::u16string from = u"C:\\Profiles\\from.pro", to = u"C:\\Profiles\\to.pro";
    std::string dm = Devmode(9, 1100, "Draft");
    Put16(&dm, 46, 8); // dmPaperSize A3
    Write(from, CurrentHead(2) + RecordChunk("draft", "one", 0, Devmode(1)) +
                    RecordChunk("Draft", "two", kProfileKeepsPaper, dm) + EndChunk());
    auto source = Open(from);
    const ProfileEntry* list = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(source->GetProfileList(&list, &count));
    ASSERT_EQ(count, 2u);

    // Applying by name takes the first of that name, with its flags.
    auto current = Blank();
    current->dm.dmPaperSize = 9;
    ProfileEntry byName = Entry("DRAFT");
    ASSERT_TRUE(ApplyProfileToDevmode(source.get(), current.get(), &byName));
    EXPECT_EQ(current->dm.dmCopies, 1);
    EXPECT_STREQ(byName.comment, "one");

    // Copies go by place: the second "Draft" copies its own settings.
    auto target = Open(to);
    const ProfileEntry renamed = Entry("Renamed");
    ASSERT_TRUE(CopyProfile(target.get(), source.get(), const_cast<ProfileEntry*>(list + 1),
                            &renamed, FALSE));
    ProfileEntry copied = Entry("renamed");
    auto again = Blank();
    ASSERT_TRUE(ApplyProfileToDevmode(target.get(), again.get(), &copied));
    EXPECT_EQ(again->dm.dmCopies, 9);
    EXPECT_STREQ(again->priv.ProfileName, "Renamed") << "the new name is in the settings too";
    EXPECT_STREQ(target->FindProfile("renamed")->name, "Renamed");

    ProfileEntry missing = Entry("nowhere");
    auto untouched = Blank();
    EXPECT_FALSE(ApplyProfileToDevmode(source.get(), untouched.get(), &missing));
    EXPECT_EQ(std::memcmp(untouched.get(), Blank().get(), sizeof(Image)), 0);
}

TEST_F(ProfileStores, MigrationWrittenOnceOrNotAtAll) {
    const std::u16string path = u"C:\\Profiles\\old.pro";
    std::string dm = Devmode(2);
    Put16(&dm, kPrivate + 286, 1); // NupRotation
    const std::string old = CurrentHead(2, 0x20000) + RecordChunk("A", "", 0, dm) +
                            RecordChunk("B", "", 0, dm) + EndChunk();
    Write(path, old);

    // A failed write leaves the store as it was, not stamped as migrated.
    auto store = Open(path);
    platform::test::FailNext("MoveFileExW", 1, ERROR_ACCESS_DENIED);
    MigrateAllProfiles(store.get());
    EXPECT_EQ(Read(path), old);

    MigrateAllProfiles(store.get());
    const std::string now = Read(path);
    EXPECT_EQ(Get32(now, 72), 0x100000u);
    EXPECT_EQ(Get16(now, 88 + 216 + kPrivate + 286), 0) << "first profile migrated";
    const size_t second = 88 + 216 + 1256;
    EXPECT_EQ(Get16(now, second + 216 + kPrivate + 286), 0) << "second profile migrated";

    // A current store is not written again.
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(Host(path).c_str(), &before), 0);
    MigrateAllProfiles(store.get());
    ASSERT_EQ(::stat(Host(path).c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);

    // Saving into an old store migrates the others first, in the same write.
    Write(path, old);
    DEVMODE_IMAGEA fresh{};
    fresh.dm.dmSize = DEVMODEA_SIZE;
    fresh.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    fresh.priv.Signature = PRIVATE_DEVMODE_SIGNATURE;
    fresh.priv.NupRotation = 1;
    const ProfileEntry c = Entry("C");
    ASSERT_TRUE(store->SaveProfile(&fresh.dm, &c, FALSE));
    const std::string saved = Read(path);
    EXPECT_EQ(Get32(saved, 72), 0x100000u);
    EXPECT_EQ(Get16(saved, 88 + 216 + kPrivate + 286), 0);
    EXPECT_EQ(Get16(saved, 88 + 2 * 1472 + 216 + kPrivate + 286), 1) << "the new one as saved";
}

TEST_F(ProfileStores, DefaultProfilesAppliedAtInstallation) {
    const std::u16string folder = ui_test::DriverFolder(u"P") + u"\\";
    std::string first = Devmode(6, 1100, "Office");
    Write(folder + u"P01DPR.DAT", CurrentHead(2) + RecordChunk("Office", "", 0, first) +
                                      RecordChunk("Home", "", 0, Devmode(2)) + EndChunk());
    Write(folder + u"P00DPR.DAT",
          CurrentHead(1, 0x20000) + RecordChunk("Old", "", 0, Devmode(1)) + EndChunk());
    ASSERT_TRUE(ApplyDefaultProfileToPrinter(printer_->printer(), printer_->binding()));

    auto defaults = Open(folder + u"P00DPR.DAT");
    const ProfileEntry* list = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(defaults->GetProfileList(&list, &count));
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(list[0].name, "Home") << "each copied to the top in turn";
    EXPECT_STREQ(list[1].name, "Office");
    EXPECT_STREQ(list[2].name, "Old");
    EXPECT_EQ(Get32(Read(folder + u"P00DPR.DAT"), 72), 0x100000u);

    DWORD needed = 0;
    GetPrinterW(printer_->printer(), 8, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    ASSERT_TRUE(GetPrinterW(printer_->printer(), 8, block.data(), needed, &needed));
    const DEVMODEW* global = reinterpret_cast<PRINTER_INFO_8W*>(block.data())->pDevMode;
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->dmCopies, 6);
    const auto* priv = reinterpret_cast<const PRIVATE_DEVMODE*>(
        reinterpret_cast<const BYTE*>(global) + global->dmSize);
    EXPECT_STREQ(priv->ProfileName, "Office");
}

// Defaults the spooler does not take are reported, not taken for applied.
TEST_F(ProfileStores, DefaultProfileThatCannotBeStoredFailsTheInstallation) {
    const std::u16string folder = ui_test::DriverFolder(u"P") + u"\\";
    Write(folder + u"P01DPR.DAT",
          CurrentHead(1) + RecordChunk("Office", "", 0, Devmode(6, 1100, "Office")) + EndChunk());
    platform::test::FailNext("SetPrinterW", 1, ERROR_DISK_FULL);
    SetLastError(0);
    EXPECT_FALSE(ApplyDefaultProfileToPrinter(printer_->printer(), printer_->binding()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    platform::test::ClearFaults();
    DWORD needed = 0;
    GetPrinterW(printer_->printer(), 8, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    ASSERT_TRUE(GetPrinterW(printer_->printer(), 8, block.data(), needed, &needed));
    const DEVMODEW* global = reinterpret_cast<PRINTER_INFO_8W*>(block.data())->pDevMode;
    if (global) EXPECT_NE(global->dmCopies, 6);
}

} // namespace
