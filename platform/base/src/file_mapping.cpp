// File mappings and their views.
//
// A mapping object maps a host descriptor: today the descriptor of an open
// file. Named shared memory (INVALID_HANDLE_VALUE and a name) will give a
// mapping a descriptor of its own (a shared-memory object looked up by name);
// views work the same for both.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>

#include "file_system.h"
#include "platform/core.h"

using namespace platform::files;

namespace {

constexpr unsigned long long kAllocationGranularity = 65536;

class MappingObject : public platform::HandleObject {
public:
    MappingObject(std::shared_ptr<FileObject> file, unsigned long long size, DWORD protect)
        : file_(std::move(file)), size_(size), protect_(protect) {
        if (file_) AddMapping(file_->id());
    }
    ~MappingObject() override {
        if (file_) RemoveMapping(file_->id());
    }
    const char* KindName() const override { return "FileMapping"; }

    int fd() const { return file_ ? file_->fd() : -1; }
    unsigned long long size() const { return size_; }
    DWORD protect() const { return protect_; }

private:
    // The file stays open (with its share reservation) while the mapping lives, as on the system.
    std::shared_ptr<FileObject> file_;
    unsigned long long size_;
    DWORD protect_;
};

struct View {
    size_t length;
    std::shared_ptr<MappingObject> mapping; // a view keeps its mapping alive
};

std::mutex gViewMutex;
std::map<uintptr_t, View> gViews;

HANDLE FailNull(DWORD error) {
    SetLastError(error);
    return nullptr;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName) {
    PLATFORM_FAULT_POINT("CreateFileMappingW", nullptr);
    (void)lpFileMappingAttributes;
    // Memory without a file and the object namespace come with named shared memory.
    if (hFile == INVALID_HANDLE_VALUE || lpName) return FailNull(ERROR_NOT_SUPPORTED);
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
    unsigned long long size = (static_cast<unsigned long long>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    if (size == 0) size = fileSize;
    if (size == 0) return FailNull(ERROR_FILE_INVALID);
    if (size > fileSize) {
        // A writable mapping larger than its file grows the file; a read-only one cannot.
        if (protect != PAGE_READWRITE) return FailNull(ERROR_NOT_ENOUGH_MEMORY);
        if (size > static_cast<unsigned long long>(INT64_MAX)) return FailNull(ERROR_NOT_ENOUGH_MEMORY);
        if (::ftruncate(file->fd(), static_cast<off_t>(size)) != 0) return FailNull(ERROR_DISK_FULL);
    }
    HANDLE h = platform::InsertHandle(std::make_shared<MappingObject>(std::move(file), size, protect));
    SetLastError(ERROR_SUCCESS);
    return h;
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
    PLATFORM_FAULT_POINT("MapViewOfFile", nullptr);
    auto mapping = platform::LookupHandleAs<MappingObject>(hFileMappingObject);
    if (!mapping) return FailNull(ERROR_INVALID_HANDLE);

    // FILE_MAP_COPY shares its bit with the query right inside FILE_MAP_ALL_ACCESS:
    // it asks for a private copy only when neither read nor write is asked for.
    bool copy = (dwDesiredAccess & FILE_MAP_COPY) && !(dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE));
    bool write = dwDesiredAccess & FILE_MAP_WRITE;
    bool read = dwDesiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE | FILE_MAP_COPY);
    if (!read) return FailNull(ERROR_INVALID_PARAMETER);
    // A write-copy mapping hands out private copies only.
    if (mapping->protect() == PAGE_WRITECOPY && write) copy = true;
    if (write && !copy && mapping->protect() != PAGE_READWRITE) return FailNull(ERROR_ACCESS_DENIED);

    unsigned long long offset = (static_cast<unsigned long long>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (offset % kAllocationGranularity != 0) return FailNull(ERROR_MAPPED_ALIGNMENT);
    if (offset >= mapping->size()) return FailNull(ERROR_ACCESS_DENIED);
    unsigned long long length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : mapping->size() - offset;
    if (length > mapping->size() - offset) return FailNull(ERROR_ACCESS_DENIED);

    int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
    void* base = ::mmap(nullptr, static_cast<size_t>(length), prot, copy ? MAP_PRIVATE : MAP_SHARED, mapping->fd(),
                        static_cast<off_t>(offset));
    if (base == MAP_FAILED) return FailNull(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED);
    {
        std::lock_guard lock(gViewMutex);
        gViews[reinterpret_cast<uintptr_t>(base)] = View{static_cast<size_t>(length), std::move(mapping)};
    }
    SetLastError(ERROR_SUCCESS);
    return base;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
    PLATFORM_FAULT_POINT("UnmapViewOfFile", FALSE);
    View view;
    uintptr_t base = 0;
    {
        std::lock_guard lock(gViewMutex);
        // Any address inside a view names that view.
        auto address = reinterpret_cast<uintptr_t>(lpBaseAddress);
        auto it = gViews.upper_bound(address);
        if (it == gViews.begin() || address >= std::prev(it)->first + std::prev(it)->second.length) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        --it;
        base = it->first;
        view = std::move(it->second);
        gViews.erase(it);
    }
    ::munmap(reinterpret_cast<void*>(base), view.length);
    return TRUE;
}

} // extern "C"
