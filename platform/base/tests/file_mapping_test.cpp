#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "file_test_util.h"
#include "platform/handles.h"
#include "platform/testctl.h"

namespace {

using namespace filetest;

// Opens a file as the model-data reader does: read only, others may read.
HANDLE OpenForRead(const char16_t* path) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

TEST(FileMapping, ReadOnlyViewOutlivesItsHandles) {
    size_t handlesBefore = platform::test::OpenHandleCount();
    Put(u"C:\\model.dat", "NKSP model bytes");
    HANDLE file = OpenForRead(u"C:\\model.dat");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    // The file and mapping handles close at once; the view stays readable.
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::string(view, 16), "NKSP model bytes");
    // The file is still open underneath: its read-only sharing still holds.
    Handle writer(
        Open(u"C:\\model.dat", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_FALSE(writer.valid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(UnmapViewOfFile(view));
    writer.reset(
        Open(u"C:\\model.dat", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    EXPECT_TRUE(writer.valid());
    writer.reset();
    EXPECT_EQ(platform::test::OpenHandleCount(), handlesBefore);
}

// The whole file as the model-data reader reads it: opened, mapped, read and unmapped.
std::string ReadWhole(const char16_t* path) {
    HANDLE file = OpenForRead(path);
    if (file == INVALID_HANDLE_VALUE) return std::string("<no file>");
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    std::string bytes = "<no view>";
    if (mapping) {
        DWORD size = GetFileSize(file, nullptr);
        if (auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
            bytes.assign(view, size);
            EXPECT_TRUE(UnmapViewOfFile(view));
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return bytes;
}

// A file mapped, read and unmapped on every call: each view shows the file as
// it is at that moment, whether it was changed in place, replaced, or shrunk.
TEST(FileMapping, EveryReadOnlyViewShowsTheFileAsItIsNow) {
    auto readWhole = [](const char16_t* path) { return ReadWhole(path); };
    Put(u"C:\\data\\model.dat", "first version");
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "first version");
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "first version");
    // The same length, written in place.
    Put(u"C:\\data\\model.dat", "FIRST VERSION");
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "FIRST VERSION");
    // Replaced by another file under the name.
    Put(u"C:\\data\\other.dat", "second version");
    ASSERT_TRUE(
        MoveFileExW(u"C:\\data\\other.dat", u"C:\\data\\model.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "second version");
    // Shorter: the view is no longer than the file.
    Put(u"C:\\data\\model.dat", "third");
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "third");
    // An unmapped view is no view: the file can be deleted.
    EXPECT_EQ(platform::test::LiveViews(), 0);
    EXPECT_TRUE(DeleteFileW(u"C:\\data\\model.dat"));
    EXPECT_EQ(readWhole(u"C:\\data\\model.dat"), "<no file>");
}

// Another process changes the file between the calls on it: each call
// answers for the file as it is when called (never from an earlier one), and
// a view never reaches past the file's end.
TEST(FileMapping, ChangesByAnotherProcessShowAtTheNextCall) {
    const std::string before = "0123456789abcdef";
    auto overwrite = [](const std::string& host, const std::string& bytes, int flags) {
        int fd = ::open(host.c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
        bool ok = fd >= 0 &&
                  ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        return ::close(fd) == 0 && ok;
    };
    const struct {
        const char* name;
        std::function<bool(const std::string& host)> change;
        DWORD sizeAfter;      // of the handle opened before the change
        const char* oldView;  // a view of the mapping made before (nullptr: refused)
        const char* reopened; // the name opened, mapped and read after it
    } cases[] = {
        {"written in place",
         [&](const std::string& h) { return overwrite(h, "FEDCBA9876543210", 0); }, 16,
         "FEDCBA9876543210", "FEDCBA9876543210"},
        {"cut short", [](const std::string& h) { return ::truncate(h.c_str(), 4) == 0; }, 4,
         nullptr, "0123"},
        {"grown", [&](const std::string& h) { return overwrite(h, "XYZ", O_APPEND); }, 19,
         "0123456789abcdef", "0123456789abcdefXYZ"},
        {"replaced under its name",
         [&](const std::string& h) {
             return overwrite(h + ".new", "second", O_CREAT | O_TRUNC) &&
                    ::rename((h + ".new").c_str(), h.c_str()) == 0;
         },
         16, "0123456789abcdef", "second"},
        {"renamed to another case",
         [](const std::string& h) {
             std::string upper = h.substr(0, h.rfind('/')) + "/MODEL.DAT";
             return ::rename(h.c_str(), upper.c_str()) == 0;
         },
         16, "0123456789abcdef", "0123456789abcdef"},
        {"removed", [](const std::string& h) { return ::unlink(h.c_str()) == 0; }, 16,
         "0123456789abcdef", "<no file>"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string path =
            u"C:\\data\\case" + std::u16string(1, char16_t(u'0' + n++)) + u"\\Model.dat";
        Put(path, before);
        const std::string host = Host(path);
        // Read once before, so that a view of it is kept for reuse.
        EXPECT_EQ(ReadWhole(path.c_str()), before);
        Handle file(OpenForRead(path.c_str()));
        ASSERT_TRUE(file.valid());
        HANDLE mapping = CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
        ASSERT_NE(mapping, nullptr);

        ASSERT_TRUE(InAnotherProcess([&] { return c.change(host); }));

        EXPECT_EQ(GetFileSize(file.get(), nullptr), c.sizeAfter);
        auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        if (c.oldView) {
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(std::string(view, 16), c.oldView);
            EXPECT_TRUE(UnmapViewOfFile(view));
        } else {
            EXPECT_EQ(view, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        EXPECT_TRUE(CloseHandle(mapping));
        file.reset();
        EXPECT_EQ(ReadWhole(path.c_str()), c.reopened);
    }
}

// Two views of the same file at once are two views.
TEST(FileMapping, ViewsAtOnceAreDistinct) {
    Put(u"C:\\model.dat", "NKSP model bytes");
    HANDLE file = OpenForRead(u"C:\\model.dat");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    for (int round = 0; round < 3; ++round) {
        const void* a = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        const void* b = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(platform::test::LiveViews(), 2);
        EXPECT_TRUE(UnmapViewOfFile(a));
        EXPECT_TRUE(UnmapViewOfFile(b));
        EXPECT_FALSE(UnmapViewOfFile(a)) << "an unmapped view is gone even when kept for reuse";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    }
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST(FileMapping, WritableViewRoundTripsThroughTheFile) {
    Handle file(Open(u"C:\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(file.valid());
    // A writable mapping larger than the file grows it.
    HANDLE mapping = CreateFileMappingW(file.get(), nullptr, PAGE_READWRITE, 0, 70000, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetFileSize(file.get(), nullptr), 70000u);
    auto* whole = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(whole, nullptr);
    std::memcpy(whole, "head", 4);
    // A view at the second 64 KiB sees the same bytes as the whole one.
    auto* tail = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 65536, 16));
    ASSERT_NE(tail, nullptr);
    std::memcpy(tail, "tail", 4);
    EXPECT_EQ(std::memcmp(whole + 65536, "tail", 4), 0);
    // Cutting the file under its mapping is refused.
    SetFilePointer(file.get(), 10, nullptr, FILE_BEGIN);
    EXPECT_FALSE(SetEndOfFile(file.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_USER_MAPPED_FILE));
    EXPECT_TRUE(UnmapViewOfFile(tail + 2)); // any address inside names the view
    EXPECT_TRUE(UnmapViewOfFile(whole));
    EXPECT_TRUE(CloseHandle(mapping));
    // The writes are in the file.
    char buf[4];
    DWORD n = 0;
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(ReadFile(file.get(), buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, 4), "head");
    SetFilePointer(file.get(), 65536, nullptr, FILE_BEGIN);
    ASSERT_TRUE(ReadFile(file.get(), buf, 4, &n, nullptr));
    EXPECT_EQ(std::string(buf, 4), "tail");
    SetFilePointer(file.get(), 10, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(file.get()));
}

TEST(FileMapping, CopyOnWriteViewLeavesTheFile) {
    Put(u"C:\\cow.bin", "original");
    Handle file(OpenForRead(u"C:\\cow.bin"));
    HANDLE mapping = CreateFileMappingW(file.get(), nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    view[0] = 'O';
    EXPECT_TRUE(UnmapViewOfFile(view));
    CloseHandle(mapping);
    EXPECT_EQ(Get(u"C:\\cow.bin"), "original");
}

TEST(FileMapping, Errors) {
    Put(u"C:\\data.bin", std::string(100, 'x'));
    Put(u"C:\\empty.bin", "");
    Handle ro(OpenForRead(u"C:\\data.bin"));
    Handle empty(OpenForRead(u"C:\\empty.bin"));
    const struct {
        const char* name;
        HANDLE file;
        DWORD protect;
        DWORD size;
        const char16_t* mapName;
        DWORD error;
    } creates[] = {
        {"empty file, size 0", empty.get(), PAGE_READONLY, 0, nullptr, ERROR_FILE_INVALID},
        {"writable over a read-only handle", ro.get(), PAGE_READWRITE, 0, nullptr,
         ERROR_ACCESS_DENIED},
        {"read-only larger than the file", ro.get(), PAGE_READONLY, 200, nullptr,
         ERROR_NOT_ENOUGH_MEMORY},
        {"unknown protection", ro.get(), 0x1000, 0, nullptr, ERROR_INVALID_PARAMETER},
        {"not a handle", reinterpret_cast<HANDLE>(0x1234), PAGE_READONLY, 0, nullptr,
         ERROR_INVALID_HANDLE},
        {"memory without a file or a size", INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, u"VELMJOB0001",
         ERROR_INVALID_PARAMETER},
        {"named mapping of a file", ro.get(), PAGE_READONLY, 0, u"Name", ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : creates) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CreateFileMappingW(c.file, nullptr, c.protect, 0, c.size, c.mapName), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }

    HANDLE mapping = CreateFileMappingW(ro.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const struct {
        const char* name;
        DWORD access;
        DWORD offset;
        SIZE_T size;
        DWORD error;
    } views[] = {
        {"write view of a read-only mapping", FILE_MAP_WRITE, 0, 0, ERROR_ACCESS_DENIED},
        {"all access of a read-only mapping", FILE_MAP_ALL_ACCESS, 0, 0, ERROR_ACCESS_DENIED},
        {"offset off the granularity", FILE_MAP_READ, 4096, 0, ERROR_MAPPED_ALIGNMENT},
        {"offset past the end", FILE_MAP_READ, 65536, 0, ERROR_ACCESS_DENIED},
        {"longer than the mapping", FILE_MAP_READ, 0, 101, ERROR_ACCESS_DENIED},
        {"no access", 0, 0, 0, ERROR_INVALID_PARAMETER},
    };
    for (const auto& v : views) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(MapViewOfFile(mapping, v.access, 0, v.offset, v.size), nullptr);
        EXPECT_EQ(GetLastError(), v.error);
    }
    int local = 0;
    EXPECT_FALSE(UnmapViewOfFile(&local));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    platform::test::FailNext("MapViewOfFile", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(CloseHandle(mapping));
}

} // namespace
