#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core.h"
#include "platform/facts.h"
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

TEST_F(TempsweepTest, EmptiesNestedFoldersButNotWhatALinkReaches) {
    fs::create_directories(host + "/a/b/c");
    Touch(host + "/top.tmp");
    Touch(host + "/a/mid.tmp");
    Touch(host + "/a/b/c/deep.tmp");
    Touch(outside + "/precious.txt");
    fs::create_directory_symlink(outside, host + "/a/linkdir");
    fs::create_symlink(outside + "/precious.txt", host + "/linkfile");

    EXPECT_EQ(RunTempsweep(u"\"" + folder + u"\\\""), 0u);
    EXPECT_TRUE(fs::is_directory(host));
    EXPECT_TRUE(fs::is_empty(host));
    EXPECT_TRUE(fs::exists(outside + "/precious.txt"));
}

// A read-only file or folder is not deleted and stops the sweep with
// ERROR_ACCESS_DENIED: what the listing gave before it is gone, what comes
// after it (names in order without case) stays, the read-only mark too.
TEST_F(TempsweepTest, AReadOnlyEntryStopsTheSweep) {
    struct Case {
        const char* name;
        std::vector<const char*> files; // "d/" is a folder
        const char* readOnly;
        std::vector<const char*> gone, kept;
    } cases[] = {
        {"a file",
         {"a.tmp", "b/", "b/x.tmp", "m.tmp", "z.tmp", "zz/"},
         "m.tmp",
         {"a.tmp", "b"},
         {"m.tmp", "z.tmp", "zz"}},
        {"a file in a subfolder",
         {"a.tmp", "n/", "n/a.tmp", "n/ro.tmp", "n/z.tmp", "z.tmp"},
         "n/ro.tmp",
         {"a.tmp", "n/a.tmp"},
         {"n/ro.tmp", "n/z.tmp", "z.tmp"}},
        {"a folder",
         {"a.tmp", "m/", "m/x.tmp", "z.tmp"},
         "m",
         {"a.tmp", "m/x.tmp"},
         {"m", "z.tmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(host);
        fs::create_directories(host);
        for (std::string f : c.files) {
            if (f.back() == '/')
                fs::create_directories(host + "/" + f);
            else
                Touch(host + "/" + f);
        }
        std::u16string readOnly = folder + u"\\" + platform::FromUtf8(c.readOnly);
        std::replace(readOnly.begin(), readOnly.end(), u'/', u'\\');
        ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(RunTempsweep(folder), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        for (const char* f : c.gone)
            EXPECT_FALSE(fs::exists(host + "/" + f)) << f;
        for (const char* f : c.kept)
            EXPECT_TRUE(fs::exists(host + "/" + f)) << f;
        EXPECT_TRUE(GetFileAttributesW(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
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
    EXPECT_EQ(report.stoppedAt, folder + u"\\linked.tmp");
    EXPECT_TRUE(fs::exists(host + "/plain.tmp")); // listed after the file that stopped the sweep
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

// Every spelling of a place that is no temporary folder, run through the
// program: the path is judged where it leads, after ".", trailing dots and
// blanks, doubled separators, "\\?\", case and links have had their say. A
// drive's root, the users' folders' folder, a share and a place off the
// machine's drives are refused (161) and lose nothing; the temporary folder
// however written is swept.
TEST_F(TempsweepTest, EverySpellingOfARootOrAPlaceOutsideIsRefused) {
    const std::u16string user = platform::CurrentUserName();
    const std::string offRoot = platform::MachineRoot() + "-off";
    const std::u16string offRootWindows = platform::WindowsPath(offRoot);
    // Files that no sweep may touch, and what the legitimate sweeps empty.
    const std::vector<std::string> keep = {
        platform::HostPath(u"C:\\sentinel.txt"),
        platform::HostPath(u"C:\\Work\\keep.txt"),
        platform::HostPath(u"C:\\Users\\" + user + u"\\keep.txt"),
        platform::HostPath(u"D:\\keep.txt"),
        platform::HostPath(u"\\\\server\\share\\keep.txt"),
        platform::HostPath(u"\\\\server\\share\\tmp\\keep.txt"),
        offRoot + "/keep.txt",
    };
    auto lay = [&] {
        fs::remove_all(platform::HostPath(u"C:\\Work"));
        fs::remove_all(platform::HostPath(u"D:\\"));
        fs::remove_all(platform::HostPath(u"\\\\server"));
        fs::remove_all(offRoot);
        for (const auto& k : keep) {
            fs::create_directories(fs::path(k).parent_path());
            Touch(k);
        }
        fs::create_directories(host + "/sub");
        Touch(host + "/a.tmp");
        Touch(host + "/sub/b.tmp");
        fs::create_directories(platform::HostPath(u"D:\\Temp"));
        Touch(platform::HostPath(u"D:\\Temp") + "/d.tmp");
        fs::create_directory_symlink(platform::HostPath(u"C:\\"),
                                     platform::HostPath(u"C:\\Work") + "/ToDrive");
        fs::create_directory_symlink(platform::HostPath(u"C:\\Users"),
                                     platform::HostPath(u"C:\\Work") + "/ToUsers");
        fs::create_directory_symlink(offRoot, platform::HostPath(u"C:\\Work") + "/ToOffRoot");
        fs::create_directory_symlink(host, platform::HostPath(u"C:\\Work") + "/ToTemp");
    };
    const DWORD kRefused = ERROR_BAD_PATHNAME;
    struct Case {
        std::u16string argument;
        DWORD code;
    } cases[] = {
        // A drive's root.
        {u"C:\\.", kRefused},
        {u"C:\\ ", kRefused},
        {u"C:\\. ", kRefused},
        {u"C:\\.\\.", kRefused},
        {u"C:\\\\.", kRefused},
        {u"C:\\\\", kRefused},
        {u"\"C:\\.\"", kRefused},
        {u"C:\\...", kRefused},
        {u"C:\\Work\\..", kRefused},
        {u"C:\\Work\\Temp\\..\\..\\.", kRefused},
        {u"C:\\Work\\Temp\\sub\\..", kRefused}, // ".." never passes, wherever it leads
        {u"c:/./", kRefused},
        {u"\\.", kRefused},
        {u"\\\\?\\C:\\", kRefused},
        {u"\\\\?\\C:\\.", kRefused},
        {u"\\\\?\\c:\\ ", kRefused},
        {u"D:\\.", kRefused},
        {u"d:\\ ", kRefused},
        // The users' own folders' folder.
        {u"C:\\Users", kRefused},
        {u"c:\\USERS\\.", kRefused},
        {u"C:\\Users. ", kRefused},
        {u"\\\\?\\C:\\users", kRefused},
        // Links that lead to a root, the users' folders or off the machine root.
        {u"C:\\Work\\ToDrive", kRefused},
        {u"C:\\Work\\todrive\\.", kRefused},
        {u"C:\\Work\\ToUsers", kRefused},
        {u"C:\\Work\\ToOffRoot", kRefused},
        // Shares, and the host's own file system.
        {u"\\\\server\\share\\.", kRefused},
        {u"\\\\server\\share\\ ", kRefused},
        {u"\\\\server\\share\\tmp", kRefused},
        {u"\\\\?\\UNC\\server\\share\\.", kRefused},
        {u"//server/share/tmp", kRefused},
        {offRootWindows, kRefused},
        {offRootWindows + u"\\.", kRefused},
        // The temporary folder, however written.
        {u"C:\\Work\\Temp", 0},
        {u"\"c:\\work\\temp\\\"", 0},
        {u"C:\\Work\\Temp\\.", 0},
        {u"C:\\Work\\Temp. ", 0},
        {u"C:\\\\Work\\\\\\Temp", 0},
        {u"\\\\?\\C:\\Work\\Temp", 0},
        {u"C:\\Work\\ToTemp", 0},
        {u"D:\\Temp", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.argument));
        lay();
        EXPECT_EQ(RunTempsweep(c.argument), c.code);
        for (const auto& k : keep)
            EXPECT_TRUE(fs::exists(k)) << k;
        EXPECT_TRUE(fs::is_directory(host));
        const bool temp = c.code == 0 && c.argument.find(u"D:") == std::u16string::npos;
        EXPECT_EQ(fs::exists(host + "/a.tmp"), !temp);
        EXPECT_EQ(fs::exists(host + "/sub/b.tmp"), !temp);
        EXPECT_EQ(fs::exists(platform::HostPath(u"D:\\Temp") + "/d.tmp"),
                  c.argument != u"D:\\Temp");
    }
    // The system's temporary folder, where the driver's files go, is swept.
    WCHAR systemTemp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, systemTemp), 0u);
    const std::string systemTempHost = platform::HostPath(systemTemp);
    fs::create_directories(systemTempHost + "/Low");
    Touch(systemTempHost + "/Low/VLM00001.KPI");
    EXPECT_EQ(RunTempsweep(systemTemp), 0u);
    EXPECT_TRUE(fs::is_directory(systemTempHost));
    EXPECT_TRUE(fs::is_empty(systemTempHost));
    // The host's own root is judged, never swept.
    for (const char16_t* hostRoot : {u"Z:\\.", u"Z:\\ ", u"z:\\\\", u"\\\\?\\Z:\\."}) {
        std::u16string resolved;
        EXPECT_EQ(tempsweep::ResolveSweptFolder(hostRoot, &resolved), kRefused)
            << platform::ToUtf8(hostRoot);
    }
    fs::remove_all(offRoot);
}

TEST_F(TempsweepTest, AnEmptyFolderStays) {
    EXPECT_EQ(RunTempsweep(folder), 0u);
    EXPECT_TRUE(fs::is_directory(host));
}

TEST_F(TempsweepTest, TheFirstErrorStopsTheSweep) {
    fs::create_directories(host + "/a");
    Touch(host + "/0.tmp");
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
    EXPECT_EQ(report.firstError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(report.stoppedAt, folder + u"\\a\\held.tmp");
    EXPECT_FALSE(fs::exists(host + "/0.tmp"));
    EXPECT_TRUE(fs::exists(host + "/a/held.tmp"));
    EXPECT_TRUE(fs::exists(host + "/b.tmp"));
    EXPECT_TRUE(fs::exists(host + "/z.tmp"));
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
