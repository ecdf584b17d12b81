// Memory objects without a file behind file mappings: named shared memory
// (POSIX shm objects, one namespace per machine root) and unnamed
// pagefile-backed memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "win/types.h"

namespace platform::shm {

// One host memory object as this process holds it. Every mapping handle and
// view on it shares the one Section; when the last goes, the descriptor is
// closed, and a section this process created loses its name too.
class Section {
  public:
    Section(int fd, std::string hostName, bool creator, bool writable);
    ~Section();
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    int fd() const { return fd_; }
    bool writable() const { return writable_; }
    // The object's current size (fstat), or 0 when it cannot be asked.
    unsigned long long CurrentSize() const;
    // A created object's name is removed (if it still names this object).
    void RemoveName();

  private:
    int fd_;
    std::string hostName_; // empty for unnamed memory
    bool creator_;
    bool writable_;
};

// Makes a memory object of `size` bytes (zeroed). With a name, an object of
// that name that already exists is returned instead, with *existed set (its
// own size stands). protect is PAGE_READONLY, PAGE_READWRITE or PAGE_WRITECOPY.
// Returns a Win32 error (0 on success).
DWORD Create(std::u16string_view name, unsigned long long size, DWORD protect,
             std::shared_ptr<Section>* out, bool* existed);

// Opens the named object; `write` asks for a descriptor that can write.
// ERROR_FILE_NOT_FOUND when no object has that name.
DWORD Open(std::u16string_view name, bool write, std::shared_ptr<Section>* out);

// The host object name for a Windows object name, or a Win32 error for a name
// that cannot be one (empty: ERROR_INVALID_NAME; too long:
// ERROR_FILENAME_EXCED_RANGE; a backslash after the namespace prefix:
// ERROR_PATH_NOT_FOUND).
DWORD HostObjectName(std::u16string_view name, std::string* out);

// The machine root as the host knows it (its real path): what names the
// objects' namespace, and what a child process is given as its root.
std::string RootKey();

} // namespace platform::shm
