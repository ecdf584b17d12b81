#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "win/files.h"
#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

struct PathCase {
    const char16_t* windows;
    const char* host; // relative to the machine root
};

TEST(HostPath, MapsWindowsPathsOntoTheRoot) {
    const PathCase cases[] = {
        {u"C:\\Windows\\x.ini", "c/Windows/x.ini"},
        {u"c:\\Windows\\x.ini", "c/Windows/x.ini"},
        {u"D:\\data\\a.txt", "d/data/a.txt"},
        {u"C:/forward/slashes", "c/forward/slashes"},
        {u"C:\\double\\\\separator\\", "c/double/separator"},
        {u"\\rooted\\x", "c/rooted/x"},
        {u"C:", "c"},
        {u"C:\\", "c"},
        {u"\\\\server\\share\\dir\\f.txt", "unc/server/share/dir/f.txt"},
        // A share written with forward slashes stays a share, not the host's "/server".
        {u"//server/share/f.txt", "unc/server/share/f.txt"},
        {u"/\\server\\share", "unc/server/share"},
        {u"\\\\?\\C:\\long\\x", "c/long/x"},
        {u"\\\\?\\UNC\\server\\share\\x", "unc/server/share/x"},
        {u"C:\\a\\.\\b\\..\\c", "c/a/c"},
        {u"C:\\..\\..\\escape", "c/escape"},
        {u"C:\\a\\..\\..\\..\\b", "c/b"},
        {u"C:\\name.\\file. ", "c/name/file"},
        {u"C:\\dots...\\x", "c/dots/x"},
    };
    const std::string root = platform::MachineRoot();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host));
        EXPECT_EQ(platform::HostPath(c.windows), root + "/" + c.host);
        // Nothing is on disk: the path as written is the same path.
        EXPECT_EQ(platform::HostPathAsWritten(c.windows), root + "/" + c.host);
    }
}

TEST(HostPath, HostPathsAndRelativePathsPassThrough) {
    EXPECT_EQ(platform::HostPath(u"/tmp/some/file"), "/tmp/some/file");
    for (const char16_t* hostRoot : {u"Z:\\", u"Z:\\.", u"z:\\ ", u"Z:", u"/", u"/."})
        EXPECT_EQ(platform::HostPath(hostRoot), "/") << platform::ToUtf8(hostRoot);
    EXPECT_EQ(platform::HostPath(u"rel\\x.txt"), fs::current_path().string() + "/rel/x.txt");
}

TEST(HostPath, ExistingComponentsMatchWithoutCase) {
    const std::string root = platform::MachineRoot();
    fs::create_directories(root + "/c/Program Files/Vendor");
    std::ofstream(root + "/c/Program Files/Vendor/Setup.INI") << "x";
    EXPECT_EQ(platform::HostPath(u"c:\\PROGRAM FILES\\vendor\\setup.ini"),
              root + "/c/Program Files/Vendor/Setup.INI");
    // Components that do not exist yet keep the caller's spelling.
    EXPECT_EQ(platform::HostPath(u"C:\\program files\\VENDOR\\New Folder\\A.txt"),
              root + "/c/Program Files/Vendor/New Folder/A.txt");
    EXPECT_EQ(platform::FindNoCase(root + "/c", "program FILES"), "Program Files");
    EXPECT_EQ(platform::FindNoCase(root + "/c", "absent"), "");
}

// A folder's names are read once and kept while the folder is unchanged;
// every change, by this process's calls or behind them, shows at once.
TEST(HostPath, MissingNamesFollowEveryChangeOfTheFolder) {
    const std::string root = platform::MachineRoot();
    fs::create_directories(root + "/c/Spool");
    // The folder spelled as on disk (its own name alone looked up) or not
    // (every component looked up) gives the same answers.
    auto host = [&](const char16_t* name) {
        std::string walked = platform::HostPath(std::u16string(u"C:\\spool\\") + name);
        EXPECT_EQ(platform::HostPath(std::u16string(u"C:\\Spool\\") + name), walked)
            << platform::ToUtf8(name);
        return walked;
    };
    EXPECT_EQ(host(u"PAGE1.EMF"), root + "/c/Spool/PAGE1.EMF");
    // Created through the platform, under another spelling.
    HANDLE h = CreateFileW(u"C:\\spool\\page1.emf", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(host(u"PAGE1.EMF"), root + "/c/Spool/page1.emf");
    // Made behind the platform's back.
    std::ofstream(root + "/c/Spool/Page2.emf") << "x";
    EXPECT_EQ(host(u"PAGE2.EMF"), root + "/c/Spool/Page2.emf");
    // Renamed and deleted through the platform.
    ASSERT_TRUE(MoveFileW(u"C:\\spool\\PAGE2.EMF", u"C:\\spool\\Third.emf"));
    EXPECT_EQ(host(u"page2.emf"), root + "/c/Spool/page2.emf");
    EXPECT_EQ(host(u"THIRD.EMF"), root + "/c/Spool/Third.emf");
    ASSERT_TRUE(DeleteFileW(u"C:\\spool\\third.EMF"));
    EXPECT_EQ(host(u"THIRD.EMF"), root + "/c/Spool/THIRD.EMF");
    // Folders too.
    ASSERT_TRUE(CreateDirectoryW(u"C:\\spool\\Sub", nullptr));
    EXPECT_EQ(host(u"SUB\\x"), root + "/c/Spool/Sub/x");
    ASSERT_TRUE(RemoveDirectoryW(u"C:\\SPOOL\\sub"));
    EXPECT_EQ(host(u"SUB\\x"), root + "/c/Spool/SUB/x");
    // Removed behind its back.
    fs::remove(root + "/c/Spool/page1.emf");
    EXPECT_EQ(host(u"PAGE1.EMF"), root + "/c/Spool/PAGE1.EMF");
}

TEST(HostPath, TheSystemDriveAlwaysExists) {
    const std::string root = platform::MachineRoot();
    platform::HostPath(u"C:\\anything");
    EXPECT_TRUE(fs::is_directory(root + "/c"));
    // Other drives are not made up.
    platform::HostPath(u"D:\\anything");
    EXPECT_FALSE(fs::exists(root + "/d"));
}

TEST(WindowsPath, IsTheInverseUnderTheRoot) {
    const std::string root = platform::MachineRoot();
    const struct {
        std::string host;
        const char16_t* windows;
    } cases[] = {
        {root + "/c/Windows/x.ini", u"C:\\Windows\\x.ini"},
        {root + "/d/data", u"D:\\data"},
        {root + "/c", u"C:\\"},
        {root + "/unc/server/share/f", u"\\\\server\\share\\f"},
        {"/elsewhere/x", u"Z:\\elsewhere\\x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        EXPECT_EQ(platform::WindowsPath(c.host), c.windows);
    }
    EXPECT_EQ(platform::HostPath(platform::WindowsPath(root + "/c/a/b")), root + "/c/a/b");
    // Host paths outside the root come back through the Z: drive.
    EXPECT_EQ(platform::HostPath(platform::WindowsPath("/tmp/x/Y.DLL")), "/tmp/x/Y.DLL");
}

} // namespace
