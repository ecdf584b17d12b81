// File mappings and their views.
//
// A mapping object maps a host descriptor: the descriptor of an open file, or
// of a memory object without a file (INVALID_HANDLE_VALUE: named shared
// memory or unnamed pagefile-backed memory, see shared_memory.cpp); views work
// the same for both.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "file_system.h"
#include "platform/core.h"
#include "shared_memory.h"

using namespace platform::files;

namespace {

constexpr unsigned long long kAllocationGranularity = 65536;

class MappingObject : public platform::HandleObject {
  public:
    MappingObject(std::shared_ptr<FileObject> file, unsigned long long size, DWORD protect)
        : file_(std::move(file)), size_(size), protect_(protect) {
        if (file_) AddMapping(file_->id());
    }
    MappingObject(std::shared_ptr<platform::shm::Section> section, unsigned long long size,
                  DWORD protect)
        : section_(std::move(section)), size_(size), protect_(protect) {}
    ~MappingObject() override {
        if (file_) RemoveMapping(file_->id());
    }
    const char* KindName() const override { return "FileMapping"; }

    int fd() const { return file_ ? file_->fd() : section_ ? section_->fd() : -1; }
    bool isFile() const { return file_ != nullptr; }
    unsigned long long size() const { return size_; }
    DWORD protect() const { return protect_; }

  private:
    // The file stays open (with its share reservation) while the mapping lives, as on the system.
    std::shared_ptr<FileObject> file_;
    std::shared_ptr<platform::shm::Section> section_;
    unsigned long long size_;
    DWORD protect_;
};

// A read-only view of a file as the host sees it: the same file, unchanged
// since, at the same place. Such a view maps the same bytes whenever it is
// made, so one unmapped a moment ago can be handed out again.
struct FileRange {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modified = 0, changed = 0; // nanoseconds
    unsigned long long offset = 0, length = 0;
    bool operator==(const FileRange&) const = default;
};

struct View {
    size_t length = 0;
    std::shared_ptr<MappingObject> mapping; // a view keeps its mapping alive
    bool reusable = false;
    FileRange range;
};

std::mutex gViewMutex;
// Never destroyed (a view left mapped at exit would outlive the file table).
std::map<uintptr_t, View>& gViews = *new std::map<uintptr_t, View>;

// Read-only file views unmapped by their caller but kept mapped, newest last:
// a caller that maps a file, reads it and unmaps it again on every call (the
// model data, once per call of a bound library) neither maps it anew nor
// faults its pages in again. They count as no view and hold no share of the
// file; a file changed or replaced since no longer matches its range.
struct IdleView {
    uintptr_t base;
    size_t length;
    FileRange range;
};
constexpr size_t kMaxIdleViews = 16;
constexpr size_t kMaxIdleBytes = 64u << 20;
std::vector<IdleView>& gIdle = *new std::vector<IdleView>;
size_t gIdleBytes = 0;

// With gViewMutex held: an idle view of the range, taken out of the list, or 0.
uintptr_t TakeIdle(const FileRange& range) {
    for (size_t i = gIdle.size(); i-- > 0;) {
        if (gIdle[i].range == range) {
            uintptr_t base = gIdle[i].base;
            gIdleBytes -= gIdle[i].length;
            gIdle.erase(gIdle.begin() + static_cast<std::ptrdiff_t>(i));
            return base;
        }
    }
    return 0;
}

// With gViewMutex held: keeps an unmapped view; returns the views to unmap
// now to stay within the bounds.
std::vector<IdleView> KeepIdle(uintptr_t base, size_t length, const FileRange& range) {
    std::vector<IdleView> drop;
    if (length > kMaxIdleBytes) {
        drop.push_back({base, length, range});
        return drop;
    }
    gIdle.push_back({base, length, range});
    gIdleBytes += length;
    while (gIdle.size() > kMaxIdleViews || gIdleBytes > kMaxIdleBytes) {
        drop.push_back(gIdle.front());
        gIdleBytes -= gIdle.front().length;
        gIdle.erase(gIdle.begin());
    }
    return drop;
}

void ForgetIdleViews() {
    std::vector<IdleView> drop;
    {
        std::lock_guard lock(gViewMutex);
        drop.swap(gIdle);
        gIdleBytes = 0;
    }
    for (const IdleView& v : drop)
        ::munmap(reinterpret_cast<void*>(v.base), v.length);
}

struct IdleResetRegistrar {
    IdleResetRegistrar() { platform::RegisterResetHook(&ForgetIdleViews); }
} gIdleResetRegistrar;

HANDLE FailNull(DWORD error) {
    SetLastError(error);
    return nullptr;
}

// Memory without a file: named when lpName is given. An existing object of
// that name is returned with ERROR_ALREADY_EXISTS, at its own size, so that a
// caller that must own the object can refuse it.
HANDLE CreateMemoryMapping(DWORD flProtect, unsigned long long size, LPCWSTR lpName) {
    DWORD protect = flProtect & 0xFF;
    if (protect != PAGE_READONLY && protect != PAGE_READWRITE && protect != PAGE_WRITECOPY)
        return FailNull(ERROR_INVALID_PARAMETER);
    std::shared_ptr<platform::shm::Section> section;
    bool existed = false;
    std::u16string_view name = lpName ? std::u16string_view(lpName) : std::u16string_view();
    if (DWORD e = platform::shm::Create(name, size, protect, &section, &existed))
        return FailNull(e);
    unsigned long long actual = section->CurrentSize();
    HANDLE h = platform::InsertHandle(
        std::make_shared<MappingObject>(std::move(section), actual, protect));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes,
                                 DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                 LPCWSTR lpName) {
    PLATFORM_FAULT_POINT("CreateFileMappingW", nullptr);
    // Objects are private to their owner whatever the descriptor says, and
    // handles are not inherited (see shared_memory.cpp).
    (void)lpFileMappingAttributes;
    unsigned long long size =
        (static_cast<unsigned long long>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    if (hFile == INVALID_HANDLE_VALUE) return CreateMemoryMapping(flProtect, size, lpName);
    // Naming a mapping of a file is not needed by anything here.
    if (lpName) return FailNull(ERROR_NOT_SUPPORTED);
    auto file = platform::LookupHandleAs<FileObject>(hFile);
    if (!file) return FailNull(ERROR_INVALID_HANDLE);
    if (file->directory()) return FailNull(ERROR_ACCESS_DENIED);

    DWORD protect = flProtect & 0xFF;
    switch (protect) {
    case PAGE_READONLY:
    case PAGE_WRITECOPY:
        if (!file->canRead()) return FailNull(ERROR_ACCESS_DENIED);
        break;
    case PAGE_READWRITE:
        if (!file->canRead() || !file->canWrite()) return FailNull(ERROR_ACCESS_DENIED);
        break;
    default:
        return FailNull(ERROR_INVALID_PARAMETER);
    }

    struct stat st;
    if (::fstat(file->fd(), &st) != 0) return FailNull(ErrorFromErrno(errno, file->host()));
    unsigned long long fileSize = static_cast<unsigned long long>(st.st_size);
    if (size == 0) size = fileSize;
    if (size == 0) return FailNull(ERROR_FILE_INVALID);
    if (size > fileSize) {
        // A writable mapping larger than its file grows the file; a read-only one cannot.
        if (protect != PAGE_READWRITE) return FailNull(ERROR_NOT_ENOUGH_MEMORY);
        if (size > static_cast<unsigned long long>(INT64_MAX))
            return FailNull(ERROR_NOT_ENOUGH_MEMORY);
        if (::ftruncate(file->fd(), static_cast<off_t>(size)) != 0)
            return FailNull(ERROR_DISK_FULL);
    }
    HANDLE h =
        platform::InsertHandle(std::make_shared<MappingObject>(std::move(file), size, protect));
    SetLastError(ERROR_SUCCESS);
    return h;
}

HANDLE WINAPI OpenFileMappingW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName) {
    PLATFORM_FAULT_POINT("OpenFileMappingW", nullptr);
    (void)bInheritHandle;
    if (!lpName) return FailNull(ERROR_INVALID_PARAMETER);
    bool write = dwDesiredAccess & FILE_MAP_WRITE;
    DWORD protect = write                               ? PAGE_READWRITE
                    : (dwDesiredAccess & FILE_MAP_READ) ? PAGE_READONLY
                    : (dwDesiredAccess & FILE_MAP_COPY) ? PAGE_WRITECOPY
                                                        : PAGE_NOACCESS;
    std::shared_ptr<platform::shm::Section> section;
    if (DWORD e = platform::shm::Open(lpName, write, &section)) return FailNull(e);
    unsigned long long size = section->CurrentSize();
    HANDLE h =
        platform::InsertHandle(std::make_shared<MappingObject>(std::move(section), size, protect));
    SetLastError(ERROR_SUCCESS);
    return h;
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                            DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap) {
    PLATFORM_FAULT_POINT("MapViewOfFile", nullptr);
    auto mapping = platform::LookupHandleAs<MappingObject>(hFileMappingObject);
    if (!mapping) return FailNull(ERROR_INVALID_HANDLE);

    // FILE_MAP_COPY shares its bit with the query right inside FILE_MAP_ALL_ACCESS:
    // it asks for a private copy only when neither read nor write is asked for.
    bool copy =
        (dwDesiredAccess & FILE_MAP_COPY) && !(dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE));
    bool write = dwDesiredAccess & FILE_MAP_WRITE;
    bool read = dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE | FILE_MAP_COPY);
    if (!read) return FailNull(ERROR_INVALID_PARAMETER);
    if (mapping->protect() == PAGE_NOACCESS) return FailNull(ERROR_ACCESS_DENIED);
    // A write-copy mapping hands out private copies only.
    if (mapping->protect() == PAGE_WRITECOPY && write) copy = true;
    if (write && !copy && mapping->protect() != PAGE_READWRITE)
        return FailNull(ERROR_ACCESS_DENIED);

    unsigned long long offset =
        (static_cast<unsigned long long>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (offset % kAllocationGranularity != 0) return FailNull(ERROR_MAPPED_ALIGNMENT);
    if (offset >= mapping->size()) return FailNull(ERROR_ACCESS_DENIED);
    unsigned long long length =
        dwNumberOfBytesToMap ? dwNumberOfBytesToMap : mapping->size() - offset;
    if (length > mapping->size() - offset) return FailNull(ERROR_ACCESS_DENIED);
    // The object itself may have shrunk behind the mapping (another process
    // holding the file or shared memory): a view never reaches past its end.
    struct stat st;
    if (::fstat(mapping->fd(), &st) != 0 || st.st_size < 0 ||
        offset + length > static_cast<unsigned long long>(st.st_size))
        return FailNull(ERROR_ACCESS_DENIED);

    View view;
    view.length = static_cast<size_t>(length);
    view.mapping = std::move(mapping);
    view.reusable = !write && !copy && view.mapping->isFile();
    if (view.reusable)
        view.range = FileRange{st.st_dev,
                               st.st_ino,
                               st.st_size,
                               st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                               st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec,
                               offset,
                               length};
    void* base = nullptr;
    if (view.reusable) {
        std::lock_guard lock(gViewMutex);
        base = reinterpret_cast<void*>(TakeIdle(view.range));
    }
    if (!base) {
        int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
        base = ::mmap(nullptr, static_cast<size_t>(length), prot, copy ? MAP_PRIVATE : MAP_SHARED,
                      view.mapping->fd(), static_cast<off_t>(offset));
        if (base == MAP_FAILED)
            return FailNull(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED);
    }
    {
        std::lock_guard lock(gViewMutex);
        gViews[reinterpret_cast<uintptr_t>(base)] = std::move(view);
    }
    SetLastError(ERROR_SUCCESS);
    return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
    // A failed unmap still lets the view go, as a failed CloseHandle lets its handle go.
    DWORD faultError = ERROR_SUCCESS;
    const bool fault = platform::ShouldFail("UnmapViewOfFile", &faultError);
    View view;
    uintptr_t base = 0;
    std::vector<IdleView> drop;
    {
        std::lock_guard lock(gViewMutex);
        // Any address inside a view names that view.
        auto address = reinterpret_cast<uintptr_t>(lpBaseAddress);
        auto it = gViews.upper_bound(address);
        if (it == gViews.begin() ||
            address >= std::prev(it)->first + std::prev(it)->second.length) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        --it;
        base = it->first;
        view = std::move(it->second);
        gViews.erase(it);
        if (view.reusable) drop = KeepIdle(base, view.length, view.range);
    }
    if (!view.reusable) ::munmap(reinterpret_cast<void*>(base), view.length);
    for (const IdleView& v : drop)
        ::munmap(reinterpret_cast<void*>(v.base), v.length);
    if (fault) {
        SetLastError(faultError);
        return FALSE;
    }
    return TRUE;
}

} // extern "C"

int platform::DuplicateFileOfView(const void* address, size_t length, unsigned long long* offset) {
    std::lock_guard lock(gViewMutex);
    auto at = reinterpret_cast<uintptr_t>(address);
    auto it = gViews.upper_bound(at);
    if (it == gViews.begin()) return -1;
    --it;
    const View& view = it->second;
    if (!view.mapping->isFile() || at - it->first > view.length ||
        length > view.length - (at - it->first))
        return -1;
    // A view's own offset is not kept for views that can be written; only
    // read-only views, whose range is kept, are looked through.
    if (!view.reusable) return -1;
    *offset = view.range.offset + (at - it->first);
    return ::fcntl(view.mapping->fd(), F_DUPFD_CLOEXEC, 0);
}

namespace platform::test {

long LiveViews() {
    std::lock_guard lock(gViewMutex);
    return static_cast<long>(gViews.size());
}

} // namespace platform::test
