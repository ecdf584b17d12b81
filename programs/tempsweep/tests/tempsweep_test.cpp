#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"
#include "sweep.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/process.h"

namespace fs = std::filesystem;

namespace {

void Touch(const std::string& hostPath) {
    std::ofstream(hostPath) << "x";
}

// Runs the built program as its own process on this machine root.
DWORD RunTempsweep(const std::u16string& arguments) {
    std::u16string exe = u"C:\\Tools\\Tempsweep.EXE";
    std::string host = platform::HostPath(exe);
    fs::create_directories(fs::path(host).parent_path());
    if (!fs::exists(host)) fs::copy_file(TEMPSWEEP_PATH, host);
    std::u16string line = u"\"" + exe + u"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

class TempsweepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host = platform::HostPath(folder);
        outside = platform::HostPath(u"C:\\Keep");
        fs::create_directories(host);
        fs::create_directories(outside);
    }
    std::u16string folder = u"C:\\Work\\Temp";
    std::string host, outside;
};

TEST_F(TempsweepTest, EmptiesNestedFoldersAndReadOnlyFilesButNotWhatALinkReaches) {
    fs::create_directories(host + "/a/b/c");
    Touch(host + "/top.tmp");
    Touch(host + "/a/mid.tmp");
    Touch(host + "/a/b/c/deep.tmp");
    Touch(host + "/a/b/ro.tmp");
    ASSERT_TRUE(SetFileAttributesW((folder + u"\\a\\b\\ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY));
    Touch(outside + "/precious.txt");
    fs::create_directory_symlink(outside, host + "/a/linkdir");
    fs::create_symlink(outside + "/precious.txt", host + "/linkfile");

    EXPECT_EQ(RunTempsweep(u"\"" + folder + u"\\\""), 0u);
    EXPECT_TRUE(fs::is_directory(host));
    EXPECT_TRUE(fs::is_empty(host));
    EXPECT_TRUE(fs::exists(outside + "/precious.txt"));
}

// A read-only file that also has a name outside the folder keeps its mark:
// the outside name must not become writable through the sweep.
TEST_F(TempsweepTest, AHardLinkedReadOnlyFileKeepsItsModeOutside) {
    Touch(outside + "/precious.txt");
    fs::permissions(outside + "/precious.txt", fs::perms::owner_read | fs::perms::group_read);
    fs::create_hard_link(outside + "/precious.txt", host + "/linked.tmp");
    Touch(host + "/plain.tmp");
    tempsweep::SweepReport report;
    EXPECT_EQ(tempsweep::SweepTempMain(folder, &report), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const fs::perms mode = fs::status(outside + "/precious.txt").permissions();
    EXPECT_EQ(mode & fs::perms::owner_write, fs::perms::none);
    ASSERT_EQ(report.leftOver.size(), 1u);
    EXPECT_EQ(report.leftOver[0], folder + u"\\linked.tmp");
    EXPECT_FALSE(fs::exists(host + "/plain.tmp"));
}

// A root or a path that climbs out is refused with a message, not only a code.
TEST_F(TempsweepTest, ARefusedFolderIsNamed) {
    for (const char* folderArg : {"'C:\\'", "'C:\\Work\\Temp\\..\\..'"}) {
        std::string out;
        FILE* p = popen((std::string(TEMPSWEEP_PATH) + " " + folderArg + " 2>&1").c_str(), "r");
        char buf[256];
        while (p && fgets(buf, sizeof buf, p))
            out += buf;
        const int status = p ? pclose(p) : -1;
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ERROR_BAD_PATHNAME)) << folderArg;
        EXPECT_NE(out.find("refused to empty"), std::string::npos) << folderArg << ": " << out;
    }
    EXPECT_TRUE(fs::is_directory(host));
}

TEST_F(TempsweepTest, AnEmptyFolderStays) {
    EXPECT_EQ(RunTempsweep(folder), 0u);
    EXPECT_TRUE(fs::is_directory(host));
}

TEST_F(TempsweepTest, DeletesWhatItCanAndReportsWhatItCouldNot) {
    fs::create_directories(host + "/a");
    Touch(host + "/a/held.tmp");
    Touch(host + "/b.tmp");
    Touch(host + "/z.tmp");
    HANDLE held = CreateFileW((folder + u"\\a\\held.tmp").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    tempsweep::SweepReport report;
    DWORD code = tempsweep::SweepTempMain(folder, &report);
    CloseHandle(held);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_EQ(report.leftOver.size(), 2u); // the file and its folder
    EXPECT_EQ(report.leftOver[0], folder + u"\\a\\held.tmp");
    EXPECT_EQ(report.leftOver[1], folder + u"\\a");
    EXPECT_FALSE(fs::exists(host + "/b.tmp"));
    EXPECT_FALSE(fs::exists(host + "/z.tmp"));
}

TEST(TempsweepArguments, FolderNames) {
    struct Case {
        std::u16string line;
        bool sweeps;
        DWORD error;
        std::u16string folder;
    } cases[] = {
        {u"", false, 0, u""},
        {std::u16string(260, u'a'), false, 0, u""},
        {u"\"C:\\T\\\"", true, 0, u"C:\\T"},
        {u"C:\\T\\", true, 0, u"C:\\T"},
        {u"C:\\My Temp", true, 0, u"C:\\My Temp"},
        {u"C:\\T\\..", false, ERROR_BAD_PATHNAME, u""},
        {u"C:\\T\\..\\Windows", false, ERROR_BAD_PATHNAME, u""},
        {u"..\\x", false, ERROR_BAD_PATHNAME, u""},
        {u"C:\\T\\.. \\x", false, ERROR_BAD_PATHNAME, u""},
        {u"C:\\", false, ERROR_BAD_PATHNAME, u""},
        {u"C:", false, ERROR_BAD_PATHNAME, u""},
        {u"\\", false, ERROR_BAD_PATHNAME, u""},
        {u"\\\\server\\share\\", false, ERROR_BAD_PATHNAME, u""},
        {u"\\\\server\\share\\tmp", true, 0, u"\\\\server\\share\\tmp"},
        {u"C:\\T\\..x", true, 0, u"C:\\T\\..x"},
    };
    for (const auto& c : cases) {
        std::u16string folder;
        DWORD error = 99;
        EXPECT_EQ(tempsweep::FolderFromCommandLine(c.line, &folder, &error), c.sweeps)
            << c.line.size();
        EXPECT_EQ(error, c.error);
        if (c.sweeps) {
            EXPECT_EQ(folder, c.folder);
        }
    }
}

TEST_F(TempsweepTest, ExitCodesOfThePrograms) {
    EXPECT_EQ(RunTempsweep(u"C:\\Work\\Missing"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(RunTempsweep(u"C:\\Work\\Temp\\..\\.."), static_cast<DWORD>(ERROR_BAD_PATHNAME));
    EXPECT_EQ(RunTempsweep(u"C:\\"), static_cast<DWORD>(ERROR_BAD_PATHNAME));
    EXPECT_TRUE(fs::is_directory(host));
}

TEST(TempsweepOsClass, ByVersion) {
    struct Case {
        DWORD platformId, major, minor, osClass;
    } cases[] = {{1, 4, 10, 1}, {2, 4, 0, 2},  {2, 5, 0, 3},  {2, 5, 1, 4}, {2, 5, 2, 4},
                 {2, 6, 1, 5},  {2, 10, 0, 5}, {2, 3, 51, 4}, {0, 3, 1, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(tempsweep::SweepOsClass(c.platformId, c.major, c.minor), c.osClass)
            << c.platformId << " " << c.major << "." << c.minor;
}

// The command line is taken whole: a folder named with two blanks in a row
// is swept, and the folder of one blank beside it is not.
TEST_F(TempsweepTest, TheFolderIsTheWholeCommandLine) {
    const std::u16string twoBlanks = u"C:\\Work\\Two  Blanks", oneBlank = u"C:\\Work\\Two Blanks";
    fs::create_directories(platform::HostPath(twoBlanks));
    fs::create_directories(platform::HostPath(oneBlank));
    Touch(platform::HostPath(twoBlanks) + "/swept.tmp");
    Touch(platform::HostPath(oneBlank) + "/kept.tmp");
    EXPECT_EQ(RunTempsweep(twoBlanks), 0u);
    EXPECT_TRUE(fs::is_empty(platform::HostPath(twoBlanks)));
    EXPECT_TRUE(fs::exists(platform::HostPath(oneBlank) + "/kept.tmp"));
}

TEST(TempsweepArguments, WhatFollowsTheProgramName) {
    struct Case {
        std::u16string line, arguments;
    } cases[] = {
        {u"Tempsweep.EXE C:\\T", u"C:\\T"},
        {u"\"C:\\Program Files\\Tempsweep.EXE\"   C:\\Two  Blanks ", u"C:\\Two  Blanks "},
        {u"\"C:\\P\\Tempsweep.EXE\"\"C:\\T\\\"", u"\"C:\\T\\\""},
        {u"Tempsweep.EXE", u""},
        {u"\"Tempsweep.EXE", u""},
        {u"", u""},
        {u"Tempsweep.EXE\t\"C:\\T\"", u"\"C:\\T\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tempsweep::ArgumentsOf(c.line), c.arguments) << platform::ToUtf8(c.line);
}

// An entry is looked at as the folder lists it: a folder swapped for a link
// to a folder outside shows as the link, so the sweep removes the link and
// never descends into what it reaches.
TEST_F(TempsweepTest, AnEntryIsLookedAtWithoutFollowingALink) {
    fs::create_directories(host + "/sub");
    DWORD folderAttributes = tempsweep::EntryAttributes(folder, u"sub");
    ASSERT_NE(folderAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(folderAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT);

    Touch(outside + "/precious.txt");
    fs::remove(host + "/sub");
    fs::create_directory_symlink(outside, host + "/sub");
    DWORD linkAttributes = tempsweep::EntryAttributes(folder, u"sub");
    ASSERT_NE(linkAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT);

    EXPECT_EQ(tempsweep::EntryAttributes(folder, u"missing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    tempsweep::SweepReport report;
    EXPECT_EQ(tempsweep::SweepTempMain(folder, &report), 0u);
    EXPECT_TRUE(fs::is_empty(host));
    EXPECT_TRUE(fs::exists(outside + "/precious.txt"));
}

} // namespace
