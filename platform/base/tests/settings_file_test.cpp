// Settings files shared between processes: the lock over a read-modify-write,
// unique temporary names, and what killed writers leave behind.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "platform/ini_document.h"
#include "platform/settings_file.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/ini.h"

namespace {

using namespace filetest;

constexpr const char16_t* kShared = u"C:\\cfg\\shared.ini";

std::vector<std::string> Names(std::u16string_view folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Host(folder)))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Several processes each write their own keys to one file at once; every
// write of every process is kept.
TEST(SettingsFile, ProcessesWritingDifferentKeysLoseNone) {
    constexpr int kWriters = 3;
    constexpr int kKeys = 300;
    MakeDir(u"C:\\cfg");
    int gate[2];
    ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            alarm(120); // never outlive a test that went wrong
            ::close(gate[1]);
            char c;
            while (::read(gate[0], &c, 1) > 0) {
            }
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                std::u16string key =
                    platform::FromUtf8("w" + std::to_string(w) + "k" + std::to_string(k));
                if (!WritePrivateProfileStringW(u"Race", key.c_str(), u"v", kShared)) ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        pids.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]); // all writers start now
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    int missing = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            std::u16string key =
                platform::FromUtf8("w" + std::to_string(w) + "k" + std::to_string(k));
            WCHAR value[8] = {};
            GetPrivateProfileStringW(u"Race", key.c_str(), u"", value, 8, kShared);
            if (std::u16string(value) != u"v") ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(Names(u"C:\\cfg"), std::vector<std::string>{"shared.ini"});
}

// A writer that died between making its temporary file and renaming it left
// the temporary file; the next writer of the same file removes it, and only it.
TEST(SettingsFile, NextWriterRemovesWhatAKilledWriterLeft) {
    Put(u"C:\\cfg\\a.ini", "[s]\r\nk=1\r\n");
    const char* const leftovers[] = {"a.ini.~0123456789abcdef.tmp", "A.INI.~FEDCBA9876543210.TMP"};
    const char* const others[] = {"a.ini.~short.tmp", "b.ini.~0123456789abcdef.tmp",
                                  "a.ini.~0123456789abcdefg.tmp", "a.ini.bak"};
    for (const char* n : leftovers)
        Put(u"C:\\cfg\\" + platform::FromUtf8(n), "torn");
    for (const char* n : others)
        Put(u"C:\\cfg\\" + platform::FromUtf8(n), "keep");
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"2", u"C:\\cfg\\a.ini"));
    std::vector<std::string> expected(std::begin(others), std::end(others));
    expected.push_back("a.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(u"C:\\cfg"), expected);
    EXPECT_EQ(Get(u"C:\\cfg\\a.ini"), "[s]\r\nk=2\r\n");
}

TEST(SettingsFile, ReadReplaceAndErrors) {
    MakeDir(u"C:\\store");
    {
        platform::SettingsFile file(u"C:\\store\\list.dat");
        ASSERT_TRUE(file.locked());
        std::string bytes = "stale";
        EXPECT_FALSE(file.Read(&bytes, 100));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(bytes, "");
        ASSERT_TRUE(file.Replace(std::string("one\0two", 7)));
        ASSERT_TRUE(file.Read(&bytes, 100));
        EXPECT_EQ(bytes, std::string("one\0two", 7));
        // A failed rename leaves the old contents and no temporary file.
        platform::test::FailNext("MoveFileExW", 1, ERROR_ACCESS_DENIED);
        EXPECT_FALSE(file.Replace("three"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        platform::test::ClearFaults();
        EXPECT_EQ(Get(u"C:\\store\\list.dat"), std::string("one\0two", 7));
        EXPECT_EQ(Names(u"C:\\store"), std::vector<std::string>{"list.dat"});
    }
    // The folder must exist; a bad name is refused.
    platform::SettingsFile noFolder(u"C:\\nowhere\\list.dat");
    EXPECT_FALSE(noFolder.locked());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    platform::SettingsFile badName(u"C:\\store\\a|b.dat");
    EXPECT_FALSE(badName.locked());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

// A file is measured before it is read: one of exactly the limit reads
// whole, one byte more is refused as bad data without a byte read.
TEST(SettingsFile, ReadStopsAtTheLimit) {
    MakeDir(u"C:\\store");
    Put(u"C:\\store\\list.dat", std::string(64, 'x'));
    platform::SettingsFile file(u"C:\\store\\list.dat");
    ASSERT_TRUE(file.locked());
    std::string bytes;
    unsigned long long before = platform::test::FileBytesRead();
    ASSERT_TRUE(file.Read(&bytes, 64));
    EXPECT_EQ(bytes, std::string(64, 'x'));
    EXPECT_EQ(platform::test::FileBytesRead() - before, 64u);
    before = platform::test::FileBytesRead();
    EXPECT_FALSE(file.Read(&bytes, 63));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(platform::test::FileBytesRead(), before);
}

// A gigabyte of sparse file in place of an INI file: every read and write
// through the settings paths refuses it from its size, reading none of it,
// and the file stays as it was.
TEST(SettingsFile, HugeFileRefusedUnreadByEveryPath) {
    MakeDir(u"C:\\cfg");
    constexpr off_t kHuge = off_t{1} << 30;
    Put(kShared, "");
    ASSERT_EQ(::truncate(Host(kShared).c_str(), kHuge), 0);
    WCHAR text[64];
    struct Case {
        const char* what;
        std::function<bool()> refused;
    } cases[] = {
        {"settings file read",
         [] {
             platform::SettingsFile file(kShared);
             std::string bytes;
             return file.locked() && !file.Read(&bytes, platform::ini::kMaxIniFileSize) &&
                    bytes.empty();
         }},
        {"profile string",
         [&] {
             return GetPrivateProfileStringW(u"Main", u"Key", u"none", text, 64, kShared) == 4 &&
                    std::u16string(text) == u"none";
         }},
        {"profile number", [] { return GetPrivateProfileIntW(u"Main", u"Key", 7, kShared) == 7; }},
        {"profile section names",
         [&] { return GetPrivateProfileSectionNamesW(text, 64, kShared) == 0; }},
        {"profile write",
         [] { return !WritePrivateProfileStringW(u"Main", u"Key", u"v", kShared); }},
        {"profile key removal",
         [] { return !WritePrivateProfileStringW(u"Main", u"Key", nullptr, kShared); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const unsigned long long before = platform::test::FileBytesRead();
        EXPECT_TRUE(c.refused());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
        EXPECT_EQ(platform::test::FileBytesRead(), before);
        EXPECT_EQ(std::filesystem::file_size(Host(kShared)), static_cast<uintmax_t>(kHuge));
    }
}

} // namespace
