#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/process.h"

namespace {

std::string ShmPath(std::u16string_view name) {
    return "/dev/shm" + platform::test::SharedMemoryObjectName(name);
}

bool ShmExists(std::u16string_view name) {
    struct stat st;
    return ::stat(ShmPath(name).c_str(), &st) == 0;
}

HANDLE CreateNamed(const char16_t* name, DWORD size, LPSECURITY_ATTRIBUTES sa = nullptr) {
    return CreateFileMappingW(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, size, name);
}

// Makes an object under the mapping's host name straight on the host, as
// another party (or a process that died) would leave it.
int MakeHostObject(std::u16string_view name, mode_t mode, off_t size) {
    std::string host = platform::test::SharedMemoryObjectName(name);
    int fd = shm_open(host.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
    if (fd < 0) return -1;
    fchmod(fd, mode); // past the umask
    if (ftruncate(fd, size) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

TEST(SharedMemory, CreatedExclusivelyAndFoundAgainWithAlreadyExists) {
    size_t before = platform::test::OpenHandleCount("FileMapping");
    SetLastError(ERROR_INVALID_DATA);
    HANDLE first = CreateNamed(u"VELMJOB0001", 1103);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(ShmExists(u"VELMJOB0001"));

    // A second create of the name gets the same object, and says so, at the
    // object's own size whatever it asks for.
    HANDLE second = CreateNamed(u"VELMJOB0001", 5000);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    auto* a = static_cast<char*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    auto* b = static_cast<char*>(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 0));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a[1102], 0); // zeroed
    std::memcpy(a + 1100, "P1", 3);
    EXPECT_STREQ(b + 1100, "P1");
    EXPECT_EQ(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 5000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // The name lives while anything of this process holds the object: the
    // handles close, a view is still there.
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(UnmapViewOfFile(a));
    EXPECT_TRUE(ShmExists(u"VELMJOB0001"));
    HANDLE again = OpenFileMappingW(FILE_MAP_READ, FALSE, u"VELMJOB0001");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_TRUE(UnmapViewOfFile(b));
    // The last hold gone, the name is gone with it.
    EXPECT_FALSE(ShmExists(u"VELMJOB0001"));
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"VELMJOB0001"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE fresh = CreateNamed(u"VELMJOB0001", 16);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(CloseHandle(fresh));
    EXPECT_EQ(platform::test::OpenHandleCount("FileMapping"), before);
}

TEST(SharedMemory, OwnerOnlyWhateverTheDescriptorOrUmaskSays) {
    // The descriptor the job-prompt block was once made with: a NULL DACL,
    // meaning everyone. It must not widen anything.
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, TRUE};
    mode_t oldMask = umask(0);
    HANDLE h = CreateNamed(u"PRECHECK_MAPPING_NAME_00007", 2000, &sa);
    umask(oldMask);
    ASSERT_NE(h, nullptr);
    struct stat st;
    ASSERT_EQ(::stat(ShmPath(u"PRECHECK_MAPPING_NAME_00007").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_size, 2000);
    CloseHandle(h);

    // A read-only object cannot be opened for writing by anyone later.
    HANDLE ro =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 64, u"ReadOnly");
    ASSERT_NE(ro, nullptr);
    ASSERT_EQ(::stat(ShmPath(u"ReadOnly").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u);
    EXPECT_EQ(MapViewOfFile(ro, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_WRITE, FALSE, u"ReadOnly"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(ro);
}

TEST(SharedMemory, ObjectOthersCouldReachIsRefused) {
    // Someone made the name first, open to the group and others: neither
    // creating nor opening may hand it out.
    int squatter = MakeHostObject(u"VELMJOB0002", 0666, 1103);
    ASSERT_GE(squatter, 0);
    EXPECT_EQ(CreateNamed(u"VELMJOB0002", 1103), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, u"VELMJOB0002"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    close(squatter);
    shm_unlink(platform::test::SharedMemoryObjectName(u"VELMJOB0002").c_str());
}

TEST(SharedMemory, LiveObjectOfAnotherHolderExistsAndADeadOnesIsReplaced) {
    // A live creator elsewhere holds its object's lock: the name exists.
    int live = MakeHostObject(u"VELMJOB0003", 0600, 512);
    ASSERT_GE(live, 0);
    ASSERT_EQ(flock(live, LOCK_SH), 0);
    HANDLE h = CreateNamed(u"VELMJOB0003", 512);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(h);
    EXPECT_TRUE(ShmExists(u"VELMJOB0003")); // not this process's to remove
    close(live);

    // Its creator gone (no lock held), the name is stale: opening finds
    // nothing, and creating makes a fresh, zeroed object.
    int dead = shm_open(platform::test::SharedMemoryObjectName(u"VELMJOB0003").c_str(), O_RDWR, 0);
    ASSERT_GE(dead, 0);
    ASSERT_EQ(write(dead, "stale", 5), 5);
    close(dead);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"VELMJOB0003"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    dead = MakeHostObject(u"VELMJOB0003", 0600, 512);
    ASSERT_GE(dead, 0);
    close(dead);
    h = CreateNamed(u"VELMJOB0003", 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto* view = static_cast<char*>(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[0], 0);
    UnmapViewOfFile(view);
    CloseHandle(h);
    EXPECT_FALSE(ShmExists(u"VELMJOB0003"));
}

TEST(SharedMemory, ViewsNeverReachPastTheObject) {
    HANDLE h = CreateNamed(u"Sized", 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 101), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    void* whole = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 100);
    ASSERT_NE(whole, nullptr);
    UnmapViewOfFile(whole);

    // The object shrinks behind the mapping's back (a process of the same
    // user): the mapping's size no longer holds, and no view is made past the end.
    int fd = shm_open(platform::test::SharedMemoryObjectName(u"Sized").c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 40), 0);
    EXPECT_EQ(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    void* front = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 40);
    EXPECT_NE(front, nullptr);
    UnmapViewOfFile(front);
    // Opened now, the mapping has the object's present size.
    HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Sized");
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 41), nullptr);
    void* v = MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0);
    EXPECT_NE(v, nullptr);
    UnmapViewOfFile(v);
    close(fd);
    CloseHandle(opened);
    CloseHandle(h);
}

TEST(SharedMemory, UnnamedPagefileBackedMemory) {
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 70000, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    auto* whole = static_cast<char*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0));
    auto* tail = static_cast<char*>(MapViewOfFile(h, FILE_MAP_READ, 0, 65536, 0));
    ASSERT_TRUE(whole && tail);
    whole[65536] = 'x';
    EXPECT_EQ(tail[0], 'x');
    UnmapViewOfFile(whole);
    UnmapViewOfFile(tail);
    CloseHandle(h);

    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0, 10, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // More memory than the host has is refused at once, not at first touch.
    EXPECT_EQ(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x100000, 0, u"Huge"),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(ShmExists(u"Huge"));
}

TEST(SharedMemory, Names) {
    // One namespace: the session prefixes name the same object.
    HANDLE plain = CreateNamed(u"Job", 16);
    ASSERT_NE(plain, nullptr);
    for (const char16_t* alias : {u"Global\\Job", u"Local\\Job"}) {
        HANDLE h = CreateNamed(alias, 16);
        ASSERT_NE(h, nullptr) << platform::test::SharedMemoryObjectName(alias);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        CloseHandle(h);
    }
    // Names keep their case, and odd characters cannot alias plain ones or
    // reach outside the namespace.
    struct Case {
        const char16_t* name;
        DWORD error; // 0: a new object
    } cases[] = {
        {u"job", 0},
        {u"a/b", 0},
        {u"a%002Fb", 0},
        {u"..", 0},
        {u"\u00e9t\u00e9 \u30b8\u30e7\u30d6", 0},
        {u"a\\b", ERROR_PATH_NOT_FOUND},
        {u"Global\\", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::test::SharedMemoryObjectName(c.name));
        HANDLE h = CreateNamed(c.name, 16);
        if (c.error) {
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        CloseHandle(h);
    }
    // Long names: up to MAX_PATH characters, each its own object.
    std::u16string longA(MAX_PATH, u'\u00e9'), longB = longA;
    longB.back() = u'x';
    HANDLE a = CreateNamed(longA.c_str(), 16);
    HANDLE b = CreateNamed(longB.c_str(), 16);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_LE(platform::test::SharedMemoryObjectName(longA).size(), 251u);
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ(CreateNamed((longA + u"x").c_str(), 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(plain);
}

TEST(SharedMemory, MachineRootsDoNotMeet) {
    HANDLE h = CreateNamed(u"VELMJOB0009", 32);
    ASSERT_NE(h, nullptr);
    std::string firstRoot = platform_testing::Root();
    std::string other = firstRoot + "/other-root";
    setenv("PRINTHOST_ROOT", other.c_str(), 1);
    platform::test::ResetForTests();
    HANDLE elsewhere = CreateNamed(u"VELMJOB0009", 32);
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(elsewhere);
    setenv("PRINTHOST_ROOT", firstRoot.c_str(), 1);
    platform::test::ResetForTests();
    CloseHandle(h);
}

TEST(SharedMemory, OpenAccessDecidesTheViews) {
    HANDLE h = CreateNamed(u"Access", 64);
    ASSERT_NE(h, nullptr);
    HANDLE reader = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Access");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(MapViewOfFile(reader, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE queryOnly = OpenFileMappingW(0, FALSE, u"Access"); // no right to map at all
    ASSERT_NE(queryOnly, nullptr);
    EXPECT_EQ(MapViewOfFile(queryOnly, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(queryOnly);
    CloseHandle(reader);
    CloseHandle(h);
}

// Starts the test child with these words; false if it cannot be started.
bool StartChild(const std::u16string& words, PROCESS_INFORMATION* pi) {
    std::u16string commandLine = u"\"" + platform::WindowsPath(PROCESS_TEST_CHILD) + u"\" " + words;
    STARTUPINFOW si{sizeof si};
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, pi);
}

DWORD EndOf(const PROCESS_INFORMATION& pi) {
    DWORD code = 0xDEAD;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(SharedMemory, LifetimeAcrossProcesses) {
    // A creator that exits with its handle still open takes the name along.
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(StartChild(u"create VELMJOB0100 exit", &pi));
    EXPECT_EQ(EndOf(pi), 0u);
    EXPECT_FALSE(ShmExists(u"VELMJOB0100"));

    // A live creator in another process: the name exists for everyone else.
    ASSERT_TRUE(StartChild(u"create VELMJOB0101 hang", &pi));
    HANDLE seen = nullptr;
    for (int i = 0; i < 1000 && !seen; ++i) {
        seen = OpenFileMappingW(FILE_MAP_READ, FALSE, u"VELMJOB0101");
        if (!seen) usleep(10000);
    }
    ASSERT_NE(seen, nullptr);
    CloseHandle(seen);
    HANDLE h = CreateNamed(u"VELMJOB0101", 64);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(h);

    // Killed, it leaves the name behind; the next creator makes the object anew.
    ASSERT_TRUE(TerminateProcess(pi.hProcess, 1));
    EXPECT_EQ(EndOf(pi), 1u);
    EXPECT_TRUE(ShmExists(u"VELMJOB0101"));
    h = CreateNamed(u"VELMJOB0101", 64);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(h);
    EXPECT_FALSE(ShmExists(u"VELMJOB0101"));
}

} // namespace
