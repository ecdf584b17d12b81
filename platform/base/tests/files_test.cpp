#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "file_test_util.h"
#include "platform/core.h"
#include "platform/handles.h"
#include "platform/testctl.h"
#include "platform/text.h"

namespace {

using namespace filetest;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD SizeOf(const char16_t* path) {
    Handle h(Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING));
    return h.valid() ? GetFileSize(h.get(), nullptr) : INVALID_FILE_SIZE;
}

// ---- CreateFile ----------------------------------------------------------

struct DispositionCase {
    const char* name;
    DWORD disposition;
    bool exists; // "hello" is there before the call
    bool opens;
    DWORD error;     // last error after the call
    DWORD sizeAfter; // INVALID_FILE_SIZE: no file afterwards
};

TEST(CreateFile, EveryDispositionOverMissingAndExistingFiles) {
    const DispositionCase cases[] = {
        {"CREATE_NEW missing", CREATE_NEW, false, true, ERROR_SUCCESS, 0},
        {"CREATE_NEW existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS, 5},
        {"CREATE_ALWAYS missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {"CREATE_ALWAYS existing", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
        {"OPEN_EXISTING missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         INVALID_FILE_SIZE},
        {"OPEN_EXISTING existing", OPEN_EXISTING, true, true, ERROR_SUCCESS, 5},
        {"OPEN_ALWAYS missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, 0},
        {"OPEN_ALWAYS existing", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 5},
        {"TRUNCATE_EXISTING missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         INVALID_FILE_SIZE},
        {"TRUNCATE_EXISTING existing", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string path = u"C:\\disp\\f" + std::u16string(1, char16_t(u'0' + n++)) + u".txt";
        MakeDir(u"C:\\disp");
        if (c.exists) Put(path, "hello");
        SetLastError(12345);
        Handle h(Open(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(h.valid(), c.opens);
        h.reset();
        EXPECT_EQ(SizeOf(path.c_str()), c.sizeAfter);
    }
}

TEST(CreateFile, MissingFolderIsPathNotFoundForEveryDisposition) {
    for (DWORD d : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
        SCOPED_TRACE(d);
        Handle h(Open(u"C:\\no\\such\\folder\\f.txt", GENERIC_WRITE, 0, d));
        EXPECT_FALSE(h.valid());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
}

TEST(CreateFile, ErrorsAsTheSystemReportsThem) {
    MakeDir(u"C:\\dir");
    Put(u"C:\\ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    Put(u"C:\\file.txt", "x");
    // A named pipe planted under a file's name: opening it must not wait for a writer.
    ASSERT_EQ(::mkfifo(Host(u"C:\\fifo.txt").c_str(), 0600), 0);
    const struct {
        const char* name;
        const char16_t* path;
        DWORD access;
        DWORD disposition;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {"folder for writing", u"C:\\dir", GENERIC_WRITE, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
        {"folder for reading", u"C:\\dir", GENERIC_READ, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED},
        {"read-only for writing", u"C:\\ro.txt", GENERIC_WRITE, OPEN_EXISTING, 0,
         ERROR_ACCESS_DENIED},
        {"read-only overwritten", u"C:\\ro.txt", GENERIC_READ, CREATE_ALWAYS, 0,
         ERROR_ACCESS_DENIED},
        {"read-only deleted on close", u"C:\\ro.txt", GENERIC_READ, OPEN_EXISTING,
         FILE_FLAG_DELETE_ON_CLOSE, ERROR_ACCESS_DENIED},
        {"wildcard in name", u"C:\\a*b.txt", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_INVALID_NAME},
        {"pipe in name", u"C:\\a|b.txt", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_INVALID_NAME},
        {"colon after the drive", u"C:\\a:b.txt", GENERIC_WRITE, CREATE_ALWAYS, 0,
         ERROR_INVALID_NAME},
        {"file used as a folder", u"C:\\file.txt\\x", GENERIC_WRITE, CREATE_ALWAYS, 0,
         ERROR_PATH_NOT_FOUND},
        {"empty name", u"", GENERIC_READ, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND},
        {"no such disposition", u"C:\\n.txt", GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER},
        {"disposition past the last", u"C:\\n.txt", GENERIC_READ, 6, 0, ERROR_INVALID_PARAMETER},
        {"truncate without write access", u"C:\\file.txt", GENERIC_READ, TRUNCATE_EXISTING, 0,
         ERROR_INVALID_PARAMETER},
        {"named pipe for reading", u"C:\\fifo.txt", GENERIC_READ, OPEN_EXISTING, 0,
         ERROR_ACCESS_DENIED},
        {"named pipe for writing", u"C:\\fifo.txt", GENERIC_WRITE, OPEN_EXISTING, 0,
         ERROR_ACCESS_DENIED},
        {"named pipe overwritten", u"C:\\FIFO.TXT", GENERIC_WRITE, CREATE_ALWAYS, 0,
         ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Handle h(Open(c.path, c.access, 0, c.disposition, c.flags));
        EXPECT_FALSE(h.valid());
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(Get(u"C:\\ro.txt"), "x");
    // Reading a read-only file is fine, and a folder opens for its times when asked.
    Handle ro(Open(u"C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_TRUE(ro.valid());
    Handle dir(
        Open(u"C:\\DIR", GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    EXPECT_TRUE(dir.valid());
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CreateFile, NamesMatchWithoutCaseAndANamesWork) {
    Put(u"C:\\Data\\Report.TXT", "abc");
    EXPECT_EQ(SizeOf(u"c:\\DATA\\report.txt"), 3u);
    Handle a(CreateFileA("C:\\data\\REPORT.txt", GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0,
                         nullptr));
    ASSERT_TRUE(a.valid());
    // Creating under another spelling opens the file that is there.
    Handle w(Open(u"C:\\DATA\\REPORT.TXT", GENERIC_WRITE, kShareAll, OPEN_ALWAYS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Host(u"C:\\Data")))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"Report.TXT"});
    // ANSI names go through the code page (1252 here): the host file is named in UTF-8.
    Handle accent(
        CreateFileA("C:\\Data\\caf\xE9.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(accent.valid());
    EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Data") + "/caf\xC3\xA9.txt"));
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("C:\\Data\\CAF*", &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "caf\xE9.txt");
    FindClose(find);
}

// A read of a file that is there opens the name as written before any
// look-up; whatever the name is, the open answers as the look-up does.
TEST(CreateFile, ReadOpensFindWhatTheLookUpFinds) {
    namespace fs = std::filesystem;
    Put(u"C:\\Direct\\File.txt", "file");
    Put(u"C:\\Direct\\ReadOnly.txt", "read-only");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Direct\\ReadOnly.txt", FILE_ATTRIBUTE_READONLY));
    MakeDir(u"C:\\Direct\\Sub");
    const std::string dir = Host(u"C:\\Direct");
    fs::create_symlink("File.txt", dir + "/Link.txt");
    fs::create_symlink("Sub", dir + "/LinkDir");
    fs::create_symlink("Missing.txt", dir + "/Dangling.txt");
    // Marked for deletion by a handle that has closed while another is open.
    Put(u"C:\\Direct\\Pending.txt", "pending");
    Handle pending(Open(u"C:\\Direct\\Pending.txt", GENERIC_READ, kShareAll, OPEN_EXISTING,
                        FILE_FLAG_DELETE_ON_CLOSE));
    Handle stays(Open(u"C:\\Direct\\Pending.txt", GENERIC_READ, kShareAll, OPEN_EXISTING));
    ASSERT_TRUE(pending.valid() && stays.valid());
    pending.reset();
    Put(u"C:\\Direct\\Locked.txt", "locked");
    Handle locked(Open(u"C:\\Direct\\Locked.txt", GENERIC_WRITE, 0, OPEN_EXISTING));
    ASSERT_TRUE(locked.valid());

    constexpr DWORD kBackup = FILE_FLAG_BACKUP_SEMANTICS;
    const struct {
        const char* name;
        const char16_t* path;
        DWORD disposition;
        DWORD flags;
        DWORD error;
        const char* bytes; // what the handle reads; nullptr for a folder or no handle
    } cases[] = {
        {"as written", u"C:\\Direct\\File.txt", OPEN_EXISTING, 0, ERROR_SUCCESS, "file"},
        {"another case", u"c:\\DIRECT\\file.TXT", OPEN_EXISTING, 0, ERROR_SUCCESS, "file"},
        {"trailing dots and blanks", u"C:\\Direct.\\File.txt. .", OPEN_EXISTING, 0, ERROR_SUCCESS,
         "file"},
        {"forward slashes", u"C:/Direct/File.txt", OPEN_EXISTING, 0, ERROR_SUCCESS, "file"},
        {"dot components", u"C:\\Direct\\Sub\\..\\.\\File.txt", OPEN_EXISTING, 0, ERROR_SUCCESS,
         "file"},
        {"long-path prefix", u"\\\\?\\C:\\Direct\\File.txt", OPEN_EXISTING, 0, ERROR_SUCCESS,
         "file"},
        {"read-only file", u"C:\\Direct\\ReadOnly.txt", OPEN_EXISTING, 0, ERROR_SUCCESS,
         "read-only"},
        {"link", u"C:\\Direct\\Link.txt", OPEN_EXISTING, 0, ERROR_SUCCESS, "file"},
        {"link in another case", u"C:\\Direct\\LINK.txt", OPEN_EXISTING, 0, ERROR_SUCCESS, "file"},
        {"dangling link", u"C:\\Direct\\Dangling.txt", OPEN_EXISTING, 0, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"folder", u"C:\\Direct\\Sub", OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, nullptr},
        {"folder in another case", u"C:\\DIRECT\\SUB", OPEN_EXISTING, 0, ERROR_ACCESS_DENIED,
         nullptr},
        {"folder for its times", u"C:\\Direct\\Sub", OPEN_EXISTING, kBackup, ERROR_SUCCESS,
         nullptr},
        {"folder with a separator", u"C:\\direct\\sub\\", OPEN_ALWAYS, kBackup,
         ERROR_ALREADY_EXISTS, nullptr},
        {"linked folder", u"C:\\Direct\\LinkDir", OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, nullptr},
        {"linked folder for its times", u"C:\\Direct\\LinkDir", OPEN_EXISTING, kBackup,
         ERROR_SUCCESS, nullptr},
        {"file named as a folder", u"C:\\Direct\\File.txt\\", OPEN_EXISTING, 0, ERROR_INVALID_NAME,
         nullptr},
        {"file as a folder on the way", u"C:\\Direct\\File.txt\\x", OPEN_EXISTING, 0,
         ERROR_PATH_NOT_FOUND, nullptr},
        {"missing", u"C:\\Direct\\Missing.txt", OPEN_EXISTING, 0, ERROR_FILE_NOT_FOUND, nullptr},
        {"missing folder", u"C:\\Nowhere\\File.txt", OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND,
         nullptr},
        {"opened always", u"C:\\Direct\\File.txt", OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS, "file"},
        {"opened always in another case", u"C:\\direct\\FILE.txt", OPEN_ALWAYS, 0,
         ERROR_ALREADY_EXISTS, "file"},
        {"opened always, made", u"C:\\direct\\New.txt", OPEN_ALWAYS, 0, ERROR_SUCCESS, ""},
        {"delete pending", u"C:\\Direct\\Pending.txt", OPEN_EXISTING, 0, ERROR_ACCESS_DENIED,
         nullptr},
        {"not shared for reading", u"C:\\Direct\\Locked.txt", OPEN_EXISTING, 0,
         ERROR_SHARING_VIOLATION, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(12345);
        Handle h(Open(c.path, GENERIC_READ, FILE_SHARE_READ, c.disposition, c.flags));
        EXPECT_EQ(GetLastError(), c.error);
        bool opens = c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS;
        ASSERT_EQ(h.valid(), opens);
        if (!opens) continue;
        // The handle holds the file or folder that the path's look-up names.
        BY_HANDLE_FILE_INFORMATION info{};
        ASSERT_TRUE(GetFileInformationByHandle(h.get(), &info));
        struct stat st {};
        ASSERT_EQ(::stat(Host(c.path).c_str(), &st), 0);
        EXPECT_EQ((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                  static_cast<unsigned long long>(st.st_ino));
        if (!c.bytes) continue;
        char buf[32] = {};
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(std::string(buf, n), c.bytes);
    }
    // What was made took the folder's spelling on disk.
    EXPECT_TRUE(fs::exists(dir + "/New.txt"));
}

TEST(CreateFile, CreatedReadOnlyFileStaysWritableThroughItsHandle) {
    Handle h(Open(u"C:\\new-ro.txt", GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(h.valid());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h.get(), "data", 4, &written, nullptr));
    h.reset();
    EXPECT_EQ(Get(u"C:\\new-ro.txt"), "data");
    EXPECT_EQ(GetFileAttributesW(u"C:\\new-ro.txt") & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
}

TEST(CreateFile, InjectedFailure) {
    platform::test::FailNext("CreateFileW", 1, ERROR_SHARING_VIOLATION);
    Handle h(Open(u"C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    h.reset(Open(u"C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_TRUE(h.valid());
}

// ---- Sharing ---------------------------------------------------------------

TEST(Sharing, ModesAreEnforcedBetweenHandles) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, RW = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SRW = SR | SW;
    const struct {
        DWORD access1, share1, access2, share2;
        bool secondOpens;
    } cases[] = {
        {R, SR, R, SR, true},
        {R, SR, W, SRW, false}, // the first does not share writing
        {W, SR, R, SR, false},  // the second does not share the first's writing
        {W, SRW, R, SRW, true},
        {RW, SRW, RW, SRW, true},
        {R, 0, R, SRW, false},
        {R, SW, W, SR, true}, // reader lets writers in, writer lets readers in
        {R, SW, R, SR, false},
        // Opens without data access neither check nor reserve sharing.
        {0, 0, RW, 0, true},
        {FILE_READ_ATTRIBUTES, 0, RW, 0, true},
        {RW, 0, FILE_READ_ATTRIBUTES, 0, true},
    };
    Put(u"C:\\shared.txt", "x");
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        Handle first(Open(u"C:\\shared.txt", c.access1, c.share1, OPEN_EXISTING));
        ASSERT_TRUE(first.valid());
        Handle second(Open(u"C:\\shared.txt", c.access2, c.share2, OPEN_EXISTING));
        EXPECT_EQ(second.valid(), c.secondOpens);
        if (!c.secondOpens) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
    }
}

TEST(Sharing, DeletingAndRenamingNeedDeleteSharing) {
    Put(u"C:\\busy.txt", "x");
    {
        Handle h(
            Open(u"C:\\busy.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
        EXPECT_FALSE(DeleteFileW(u"C:\\busy.txt"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_FALSE(MoveFileExW(u"C:\\busy.txt", u"C:\\moved.txt", 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        // Copying over it needs write sharing it does give... but the copy writes exclusively.
        Put(u"C:\\other.txt", "y");
        EXPECT_FALSE(CopyFileW(u"C:\\other.txt", u"C:\\busy.txt", FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    {
        Handle h(Open(u"C:\\busy.txt", GENERIC_READ, kShareAll, OPEN_EXISTING));
        EXPECT_TRUE(MoveFileExW(u"C:\\busy.txt", u"C:\\moved.txt", 0));
        EXPECT_TRUE(DeleteFileW(u"C:\\moved.txt"));
        // The open handle still reads the deleted file.
        char c = 0;
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(h.get(), &c, 1, &read, nullptr));
        EXPECT_EQ(c, 'x');
    }
    EXPECT_EQ(GetFileAttributesW(u"C:\\moved.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Sharing, DeleteOnCloseWaitsForTheLastHandle) {
    Handle a(
        Open(u"C:\\temp.dat", GENERIC_WRITE, kShareAll, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE));
    ASSERT_TRUE(a.valid());
    Handle b(Open(u"C:\\temp.dat", GENERIC_READ, kShareAll, OPEN_EXISTING));
    ASSERT_TRUE(b.valid());
    // Without delete sharing the delete-on-close handle keeps others out.
    Handle c(
        Open(u"C:\\temp.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_FALSE(c.valid());
    a.reset();
    EXPECT_NE(GetFileAttributesW(u"C:\\temp.dat"), INVALID_FILE_ATTRIBUTES);
    Handle d(Open(u"C:\\temp.dat", GENERIC_READ, kShareAll, OPEN_EXISTING));
    EXPECT_FALSE(d.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    b.reset();
    EXPECT_EQ(GetFileAttributesW(u"C:\\temp.dat"), INVALID_FILE_ATTRIBUTES);
}

// ---- Handle I/O ------------------------------------------------------------

TEST(FileIo, ReadWritePointerAndSize) {
    Handle h(Open(u"C:\\io.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(h.valid());
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h.get(), "0123456789", 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(SetFilePointer(h.get(), 2, nullptr, FILE_BEGIN), 2u);
    char buf[8] = {};
    ASSERT_TRUE(ReadFile(h.get(), buf, 3, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "234");
    EXPECT_EQ(SetFilePointer(h.get(), -1, nullptr, FILE_END), 9u);
    EXPECT_EQ(SetFilePointer(h.get(), -4, nullptr, FILE_CURRENT), 5u);
    // Reading at the end succeeds with nothing.
    SetFilePointer(h.get(), 0, nullptr, FILE_END);
    ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);
    // A negative position is refused and the pointer stays.
    EXPECT_EQ(SetFilePointer(h.get(), -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_CURRENT), 10u);
    EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Cut at the pointer.
    SetFilePointer(h.get(), 4, nullptr, FILE_BEGIN);
    ASSERT_TRUE(SetEndOfFile(h.get()));
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(h.get(), &high), 4u);
    EXPECT_EQ(high, 0u);
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(h.get(), &size));
    EXPECT_EQ(size.QuadPart, 4);
    EXPECT_TRUE(FlushFileBuffers(h.get()));
    // Writing past the end fills the gap with zeros.
    SetFilePointer(h.get(), 6, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(h.get(), "Z", 1, &n, nullptr));
    h.reset();
    EXPECT_EQ(Get(u"C:\\io.bin"), std::string("0123\0\0Z", 7));
}

TEST(FileIo, PositionsBeyondFourGigabytes) {
    Handle h(Open(u"C:\\big.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(h.valid());
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h.get(), 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(h.get())); // sparse on the host
    DWORD sizeHigh = 0;
    EXPECT_EQ(GetFileSize(h.get(), &sizeHigh), 16u);
    EXPECT_EQ(sizeHigh, 1u);
    // Without a high part the answer must fit 32 bits.
    EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    LARGE_INTEGER to{}, now{};
    to.QuadPart = -16;
    ASSERT_TRUE(SetFilePointerEx(h.get(), to, &now, FILE_END));
    EXPECT_EQ(now.QuadPart, 0x100000000LL);
    // 0xFFFFFFFF is a position too; the last error tells it from a failure.
    to.QuadPart = 0xFFFFFFFFLL;
    ASSERT_TRUE(SetFilePointerEx(h.get(), to, nullptr, FILE_BEGIN));
    LONG zero = 0;
    SetLastError(77);
    EXPECT_EQ(SetFilePointer(h.get(), 0, &zero, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    ASSERT_TRUE(SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN) == 0);
    ASSERT_TRUE(SetEndOfFile(h.get()));
}

TEST(FileIo, AccessIsCheckedPerHandle) {
    Put(u"C:\\a.txt", "abc");
    Handle r(Open(u"C:\\a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING));
    Handle w(Open(u"C:\\a.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING));
    char buf[4];
    DWORD n = 7;
    EXPECT_FALSE(WriteFile(r.get(), "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(ReadFile(w.get(), buf, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetEndOfFile(r.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    OVERLAPPED ov{};
    EXPECT_FALSE(ReadFile(r.get(), buf, 1, &n, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST(FileIo, CloseHandleDispatchesByKind) {
    size_t before = platform::test::OpenHandleCount();
    Put(u"C:\\x.txt", "x");
    HANDLE h = Open(u"C:\\x.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::test::OpenHandleCount("File"), 1u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(nullptr));
    DWORD n;
    char c;
    EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // A search closes with FindClose only.
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"C:\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CloseHandle(find));
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(platform::test::OpenHandleCount(), before);
}

TEST(FileIo, TimesRoundTripAsFiletime) {
    Handle h(Open(u"C:\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(h.valid());
    FILETIME created{}, accessed{}, written{};
    ASSERT_TRUE(GetFileTime(h.get(), &created, &accessed, &written));
    // 100 ns units since 1601: now, within a minute.
    unsigned long long w =
        (static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    unsigned long long now =
        static_cast<unsigned long long>(std::time(nullptr)) * 10000000ULL + 116444736000000000ULL;
    EXPECT_LT(w > now ? w - now : now - w, 600000000ULL);
    // 2001-02-03 04:05:06 UTC.
    FILETIME set{};
    unsigned long long t = 980395506ULL * 10000000ULL + 116444736000000000ULL + 1234567;
    set.dwLowDateTime = static_cast<DWORD>(t);
    set.dwHighDateTime = static_cast<DWORD>(t >> 32);
    ASSERT_TRUE(SetFileTime(h.get(), nullptr, nullptr, &set));
    ASSERT_TRUE(GetFileTime(h.get(), nullptr, nullptr, &written));
    EXPECT_EQ(written.dwLowDateTime, set.dwLowDateTime);
    EXPECT_EQ(written.dwHighDateTime, set.dwHighDateTime);
    h.reset();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"C:\\t.txt", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, set.dwLowDateTime);
    FindClose(find);
    Handle r(Open(u"C:\\t.txt", GENERIC_READ, kShareAll, OPEN_EXISTING));
    EXPECT_FALSE(SetFileTime(r.get(), nullptr, nullptr, &set));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// ---- Names: folders, delete, copy, move, attributes ------------------------

TEST(Folders, CreateAndRemove) {
    EXPECT_TRUE(CreateDirectoryW(u"C:\\one", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"C:\\ONE", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(u"C:\\missing\\two", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(CreateDirectoryA("C:\\one\\two", nullptr));
    Put(u"C:\\one\\file.txt", "x");
    EXPECT_FALSE(CreateDirectoryW(u"C:\\one\\file.txt", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    const struct {
        const char16_t* path;
        DWORD error;
    } refusals[] = {
        {u"C:\\one", ERROR_DIR_NOT_EMPTY},
        {u"C:\\one\\file.txt", ERROR_DIRECTORY},
        {u"C:\\one\\absent", ERROR_FILE_NOT_FOUND},
        {u"C:\\absent\\absent", ERROR_PATH_NOT_FOUND},
        {u"C:\\", ERROR_ACCESS_DENIED},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(std::string(platform::HostPath(r.path)));
        EXPECT_FALSE(RemoveDirectoryW(r.path));
        EXPECT_EQ(GetLastError(), r.error);
    }
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\One\\Two"));
    EXPECT_TRUE(DeleteFileW(u"C:\\one\\file.txt"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\one"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\one"), INVALID_FILE_ATTRIBUTES);
}

TEST(Names, DeleteFileErrors) {
    MakeDir(u"C:\\d");
    Put(u"C:\\ro.txt", "x");
    SetFileAttributesW(u"C:\\ro.txt", FILE_ATTRIBUTE_READONLY);
    const struct {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"C:\\absent.txt", ERROR_FILE_NOT_FOUND},
        {u"C:\\absent\\x.txt", ERROR_PATH_NOT_FOUND},
        {u"C:\\d", ERROR_ACCESS_DENIED},
        {u"C:\\ro.txt", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DeleteFileW(c.path));
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetFileAttributesW(u"C:\\ro.txt", FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileA("C:\\RO.TXT"));
}

TEST(Names, CopyFile) {
    Put(u"C:\\src.txt", "source");
    Put(u"C:\\dst.txt", "old");
    EXPECT_FALSE(CopyFileW(u"C:\\src.txt", u"C:\\dst.txt", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Get(u"C:\\dst.txt"), "old");
    EXPECT_TRUE(CopyFileW(u"C:\\src.txt", u"C:\\dst.txt", FALSE));
    EXPECT_EQ(Get(u"C:\\dst.txt"), "source");
    EXPECT_FALSE(CopyFileW(u"C:\\absent.txt", u"C:\\x.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(CopyFileW(u"C:\\src.txt", u"C:\\nofolder\\x.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(CopyFileW(u"C:\\src.txt", u"C:\\src.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Attributes and the write time come along; a read-only target is not overwritten.
    SetFileAttributesW(u"C:\\src.txt", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(CopyFileW(u"C:\\src.txt", u"C:\\copy.txt", TRUE));
    EXPECT_TRUE(GetFileAttributesW(u"C:\\copy.txt") & FILE_ATTRIBUTE_READONLY);
    struct stat a, b;
    ASSERT_EQ(::stat(Host(u"C:\\src.txt").c_str(), &a), 0);
    ASSERT_EQ(::stat(Host(u"C:\\copy.txt").c_str(), &b), 0);
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
    EXPECT_FALSE(CopyFileW(u"C:\\dst.txt", u"C:\\copy.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Get(u"C:\\copy.txt"), "source");
}

TEST(Names, MoveFile) {
    Put(u"C:\\a.txt", "A");
    Put(u"C:\\b.txt", "B");
    EXPECT_FALSE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(
        MoveFileExW(u"C:\\a.txt", u"C:\\B.TXT", MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED));
    EXPECT_EQ(Get(u"C:\\b.txt"), "A");
    EXPECT_EQ(Get(u"C:\\a.txt"), "<missing>");
    // Only the case of the name changes.
    EXPECT_TRUE(MoveFileW(u"C:\\b.txt", u"C:\\B.txt"));
    EXPECT_TRUE(std::filesystem::exists(platform::MachineRoot() + "/c/B.txt"));
    EXPECT_FALSE(MoveFileW(u"C:\\absent.txt", u"C:\\x.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileW(u"C:\\B.txt", u"C:\\nofolder\\x.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    MakeDir(u"C:\\dir");
    EXPECT_FALSE(MoveFileExW(u"C:\\B.txt", u"C:\\dir", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(MoveFileW(u"C:\\dir", u"C:\\dir2"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\dir2"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(Names, Attributes) {
    Put(u"C:\\f.txt", "x");
    MakeDir(u"C:\\folder");
    EXPECT_EQ(GetFileAttributesW(u"C:\\f.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesA("C:\\FOLDER"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(u"C:\\folder\\"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(u"C:\\absent"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(u"C:\\absent\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(SetFileAttributesW(u"C:\\f.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(u"C:\\f.txt"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"C:\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"C:\\f.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(SetFileAttributesW(u"C:\\absent", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Overwriting a hidden file must keep it hidden.
    SetFileAttributesW(u"C:\\f.txt", FILE_ATTRIBUTE_HIDDEN);
    Handle h(Open(u"C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    h.reset(Open(u"C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(h.valid());
}

// ---- Searches ----------------------------------------------------------------

std::vector<std::string> Find(const char16_t* pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do {
        std::string name;
        for (const WCHAR* p = data.cFileName; *p; ++p)
            name += static_cast<char>(*p);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += "/";
        names.push_back(name);
    } while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(h);
    if (error) *error = ERROR_SUCCESS;
    return names;
}

TEST(FindFile, WildcardsMatchWithoutCase) {
    Put(u"C:\\f\\a.txt", "1");
    Put(u"C:\\f\\B.TXT", "22");
    Put(u"C:\\f\\readme", "");
    Put(u"C:\\f\\notes.md", "");
    Put(u"C:\\f\\ab.txt.bak", "");
    MakeDir(u"C:\\f\\Sub");
    using V = std::vector<std::string>;
    const struct {
        const char16_t* pattern;
        V expected;
    } cases[] = {
        {u"C:\\f\\*", {"./", "../", "a.txt", "ab.txt.bak", "B.TXT", "notes.md", "readme", "Sub/"}},
        {u"C:\\f\\*.*",
         {"./", "../", "a.txt", "ab.txt.bak", "B.TXT", "notes.md", "readme", "Sub/"}},
        {u"C:\\f\\*.txt", {"a.txt", "B.TXT"}},
        {u"c:\\F\\?.TXT", {"a.txt", "B.TXT"}},
        {u"C:\\f\\a*", {"a.txt", "ab.txt.bak"}},
        {u"C:\\f\\*.", {"./", "../", "readme", "Sub/"}},
        {u"C:\\f\\readme.*", {"readme"}},
        {u"C:\\f\\SUB", {"Sub/"}},
        {u"C:\\f\\*t*.*k", {"ab.txt.bak"}},
        {u"C:\\f\\A.TXT", {"a.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.expected));
        EXPECT_EQ(Find(c.pattern), c.expected);
    }
}

TEST(FindFile, SizesRootsAndErrors) {
    Put(u"C:\\f\\B.TXT", "22");
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"C:\\f\\b.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 2u);
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(data.cAlternateFileName[0], 0);
    FindClose(h);
    WIN32_FIND_DATAA dataA;
    h = FindFirstFileA("C:\\F\\*.txt", &dataA);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(dataA.cFileName, "B.TXT");
    EXPECT_FALSE(FindNextFileA(h, &dataA));
    FindClose(h);
    // A drive's root has no "." or "..".
    EXPECT_EQ(Find(u"C:\\*"), std::vector<std::string>{"f/"});
    DWORD error = 0;
    EXPECT_TRUE(Find(u"C:\\f\\*.none", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Find(u"C:\\absent\\*", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Find(u"C:\\f\\", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// ---- Temporary names, searching, full names ------------------------------------

TEST(PathNames, TempPathTwoCalls) {
    DWORD needed = GetTempPathW(0, nullptr);
    ASSERT_GT(needed, 1u);
    std::u16string buf(needed, u'#');
    EXPECT_EQ(GetTempPathW(needed - 1, buf.data()), needed); // one short: nothing copied
    EXPECT_EQ(buf[0], u'#');
    EXPECT_EQ(GetTempPathW(needed, buf.data()), needed - 1);
    buf.resize(needed - 1);
    EXPECT_EQ(buf, u"C:\\Windows\\Temp\\");
    EXPECT_EQ(GetFileAttributesW(buf.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(PathNames, TempFileNames) {
    MakeDir(u"C:\\work");
    WCHAR name[MAX_PATH];
    UINT unique = GetTempFileNameW(u"C:\\work", u"VLMextra", 0, name);
    ASSERT_NE(unique, 0u);
    std::u16string made(name);
    EXPECT_EQ(made.substr(0, 11), u"C:\\work\\VLM");
    EXPECT_EQ(made.substr(made.size() - 4), u".TMP");
    EXPECT_NE(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES); // created, empty
    UINT second = GetTempFileNameW(u"C:\\work\\", u"VLM", 0, name);
    EXPECT_NE(second, unique);
    // A given number only forms the name.
    EXPECT_EQ(GetTempFileNameW(u"C:\\work", u"ab", 0x1A2B, name), 0x1A2Bu);
    EXPECT_EQ(std::u16string(name), u"C:\\work\\ab1A2B.TMP");
    EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetTempFileNameW(u"C:\\absent", u"x", 0, name), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST(PathNames, SearchPath) {
    Put(u"C:\\drv\\Inkforge.DLL", "x");
    Put(u"C:\\second\\tool.exe", "x");
    WCHAR buf[MAX_PATH];
    WCHAR* part = nullptr;
    DWORD n = SearchPathW(u"C:\\drv", u"inkforge.dll", nullptr, MAX_PATH, buf, &part);
    EXPECT_EQ(std::u16string(buf), u"C:\\drv\\inkforge.dll");
    EXPECT_EQ(n, 19u);
    EXPECT_EQ(std::u16string(part), u"inkforge.dll");
    EXPECT_EQ(SearchPathW(u"C:\\drv;C:\\second", u"tool", u".exe", MAX_PATH, buf, nullptr), 18u);
    EXPECT_EQ(std::u16string(buf), u"C:\\second\\tool.exe");
    EXPECT_EQ(SearchPathW(u"C:\\drv", u"Inkforge.DLL", nullptr, 5, buf, nullptr),
              20u); // size needed
    EXPECT_EQ(SearchPathW(u"C:\\drv", u"absent.dll", nullptr, MAX_PATH, buf, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PathNames, FullPathName) {
    const struct {
        const char16_t* in;
        const char16_t* out;
        const char16_t* filePart; // nullptr: none
    } cases[] = {
        {u"C:\\a\\.\\b\\..\\c.txt", u"C:\\a\\c.txt", u"c.txt"},
        {u"c:/x/y", u"C:\\x\\y", u"y"},
        {u"\\rooted", u"C:\\rooted", u"rooted"},
        {u"C:\\dir\\", u"C:\\dir\\", nullptr},
        {u"C:\\..\\..", u"C:\\", nullptr},
        {u"\\\\srv\\share\\..\\x", u"\\\\srv\\share\\x", u"x"},
        {u"C:\\name. ", u"C:\\name", u"name"},
    };
    for (const auto& c : cases) {
        WCHAR buf[MAX_PATH];
        WCHAR* part = reinterpret_cast<WCHAR*>(1);
        DWORD n = GetFullPathNameW(c.in, MAX_PATH, buf, &part);
        EXPECT_EQ(std::u16string(buf), c.out);
        EXPECT_EQ(n, std::u16string(c.out).size());
        if (c.filePart)
            EXPECT_EQ(std::u16string(part), c.filePart);
        else
            EXPECT_EQ(part, nullptr);
    }
    EXPECT_EQ(GetFullPathNameW(u"C:\\abc", 0, nullptr, nullptr), 7u);
}

// Where an open folder or file really is: "." and blanks gone, case as on
// disk, links followed, a place off the machine root on Z:.
TEST(PathNames, FinalPathName) {
    MakeDir(u"C:\\Final\\Inner");
    Put(u"C:\\Final\\file.txt", "x");
    MakeDir(u"\\\\srv\\share\\dir");
    const std::string outside = platform::MachineRoot() + "-outside";
    std::filesystem::create_directories(outside);
    std::filesystem::create_directory_symlink(Host(u"C:\\Final\\Inner"), Host(u"C:\\ToInner"));
    std::filesystem::create_directory_symlink(Host(u"C:\\"), Host(u"C:\\Final\\ToDrive"));
    std::filesystem::create_directory_symlink(outside, Host(u"C:\\ToOutside"));
    const std::u16string outsideWindows = platform::WindowsPath(outside);
    const struct {
        const char16_t* opened;
        std::u16string final;
    } cases[] = {
        {u"C:\\Final", u"\\\\?\\C:\\Final"},
        {u"c:\\final\\.\\INNER. ", u"\\\\?\\C:\\Final\\Inner"},
        {u"C:\\Final\\file.txt", u"\\\\?\\C:\\Final\\file.txt"},
        {u"C:\\.", u"\\\\?\\C:\\"},
        {u"C:\\ToInner", u"\\\\?\\C:\\Final\\Inner"},
        {u"C:\\Final\\ToDrive\\.", u"\\\\?\\C:\\"},
        {u"\\\\srv\\share\\dir", u"\\\\?\\UNC\\srv\\share\\dir"},
        {u"C:\\ToOutside", u"\\\\?\\" + outsideWindows},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.opened));
        Handle h(Open(c.opened, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS));
        ASSERT_TRUE(h.valid());
        const DWORD needed = GetFinalPathNameByHandleW(h.get(), nullptr, 0, VOLUME_NAME_DOS);
        EXPECT_EQ(needed, c.final.size() + 1);
        std::u16string buf(needed, u'\0');
        EXPECT_EQ(GetFinalPathNameByHandleW(h.get(), buf.data(), needed, VOLUME_NAME_DOS),
                  c.final.size());
        EXPECT_EQ(buf.c_str(), c.final);
        EXPECT_EQ(GetFinalPathNameByHandleW(h.get(), buf.data(), needed, 0x2), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    std::filesystem::remove_all(outside);
}

TEST(PathNames, DriveTypes) {
    MakeDir(u"D:\\x");
    MakeDir(u"\\\\srv\\share");
    const struct {
        const char16_t* root;
        UINT type;
    } cases[] = {
        {u"C:\\", DRIVE_FIXED},
        {u"c:/", DRIVE_FIXED},
        {u"D:\\", DRIVE_FIXED},
        {u"E:\\", DRIVE_NO_ROOT_DIR},
        {u"Z:\\", DRIVE_REMOTE},
        {u"\\\\srv\\share\\", DRIVE_REMOTE},
        {u"\\\\srv\\", DRIVE_NO_ROOT_DIR},
        {u"\\\\srv\\gone\\", DRIVE_NO_ROOT_DIR},
        {u"C:\\x\\", DRIVE_NO_ROOT_DIR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetDriveTypeW(c.root), c.type) << platform::ToUtf8(c.root);
}

} // namespace

namespace {

// ---- GetFileAttributesExW ------------------------------------------------

TEST(FileAttributesByName, SizeTimesAndAttributesAsTheOpenFileTellsThem) {
    Put(u"C:\\Data\\Model.dat", "twelve bytes");
    WIN32_FILE_ATTRIBUTE_DATA byName{};
    // Spelled as on disk, and in another case.
    for (const char16_t* path : {u"C:\\Data\\Model.dat", u"c:\\DATA\\MODEL.DAT"}) {
        ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &byName));
        Handle h(Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING));
        ASSERT_TRUE(h.valid());
        BY_HANDLE_FILE_INFORMATION open{};
        ASSERT_TRUE(GetFileInformationByHandle(h.get(), &open));
        EXPECT_EQ(byName.dwFileAttributes, open.dwFileAttributes);
        EXPECT_EQ(byName.nFileSizeLow, 12u);
        EXPECT_EQ(byName.nFileSizeHigh, 0u);
        auto ticks = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        EXPECT_EQ(ticks(byName.ftLastWriteTime), ticks(open.ftLastWriteTime));
        EXPECT_EQ(ticks(byName.ftCreationTime), ticks(open.ftCreationTime));
    }
    WIN32_FILE_ATTRIBUTE_DATA folder{};
    ASSERT_TRUE(GetFileAttributesExW(u"C:\\data\\", GetFileExInfoStandard, &folder));
    EXPECT_TRUE(folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(folder.nFileSizeLow, 0u);

    struct Case {
        const char16_t* path;
        GET_FILEEX_INFO_LEVELS level;
        DWORD error;
    } cases[] = {
        {u"C:\\Data\\Missing.dat", GetFileExInfoStandard, ERROR_FILE_NOT_FOUND},
        {u"C:\\Nowhere\\Model.dat", GetFileExInfoStandard, ERROR_PATH_NOT_FOUND},
        {u"C:\\Data\\Model.dat\\", GetFileExInfoStandard, ERROR_INVALID_NAME},
        {u"C:\\Data\\Model.dat", GetFileExMaxInfoLevel, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(GetFileAttributesExW(c.path, c.level, &byName));
        EXPECT_EQ(GetLastError(), c.error);
    }
}

} // namespace
