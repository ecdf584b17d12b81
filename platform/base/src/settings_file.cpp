// The lock and the write path shared by every settings file.
#include "platform/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#include "file_system.h"
#include "platform/core.h"
#include "platform/handles.h"
#include "platform/text.h"

namespace platform {
namespace {

using namespace files;

// A temporary name is ".~" and 16 hex digits after the file's own name, then ".tmp".
constexpr char kTempMark[] = ".~";
constexpr size_t kTempDigits = 16;
constexpr char kTempExtension[] = ".tmp";
// A name that is taken is drawn again; this many draws that all collide mean
// something else is wrong with the folder.
constexpr int kTempAttempts = 64;

uint64_t NextTempNumber() {
    static std::atomic<uint64_t> state{(uint64_t(std::random_device{}()) << 32) ^
                                       uint64_t(::getpid())};
    // splitmix64: consecutive states give unrelated numbers.
    uint64_t z = state.fetch_add(0x9E3779B97F4A7C15ull) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

SettingsFile::SettingsFile(std::u16string_view windowsPath) : windowsPath_(windowsPath) {
    HostName name;
    if (!Resolve(windowsPath_.c_str(), &name)) return;
    host_ = name.host;
    size_t slash = host_.find_last_of('/');
    folder_ = slash == std::string::npos || slash == 0 ? std::string("/") : host_.substr(0, slash);
    int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : ErrorFromErrno(errno, folder_));
        return;
    }
    int rc;
    while ((rc = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        SetLastError(ErrorFromErrno(errno, folder_));
        ::close(fd);
        return;
    }
    lockFd_ = fd;
    RemoveLeftovers();
}

SettingsFile::~SettingsFile() {
    if (lockFd_ >= 0) ::close(lockFd_); // closing the folder lets the lock go
}

// Every writer holds the lock while its temporary file exists, so a temporary
// file of this name found now was left by a writer that died.
void SettingsFile::RemoveLeftovers() const {
    std::string base = host_.substr(host_.find_last_of('/') + 1);
    std::string prefix = base + kTempMark;
    const size_t length = prefix.size() + kTempDigits + sizeof kTempExtension - 1;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir) return;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view n(entry->d_name);
        if (n.size() != length || !EqualsNoCaseUtf8(n.substr(0, prefix.size()), prefix) ||
            !EqualsNoCaseUtf8(n.substr(length - (sizeof kTempExtension - 1)), kTempExtension))
            continue;
        bool digits = true;
        for (size_t i = 0; i < kTempDigits; ++i)
            digits = digits && IsHex(n[prefix.size() + i]);
        if (digits) ::unlink((folder_ + "/" + std::string(n)).c_str());
    }
    ::closedir(dir);
}

bool SettingsFile::Read(std::string* bytes, unsigned long long maxSize) const {
    bytes->clear();
    if (!locked()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // Opened as the system does, so that a handle that denies reading keeps it out.
    HANDLE h = OpenFile(windowsPath_.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) return false;
    auto file = LookupHandleAs<FileObject>(h);
    DWORD error = ERROR_READ_FAULT;
    bool ok = !file->directory() && ReadWhole(file->fd(), maxSize, bytes, &error);
    file.reset();
    RemoveHandle(h);
    if (!ok) {
        bytes->clear();
        SetLastError(error);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool SettingsFile::Replace(std::string_view bytes) {
    if (!locked()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::u16string temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kTempAttempts && h == INVALID_HANDLE_VALUE; ++attempt) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, "%s%016llx%s", kTempMark,
                      static_cast<unsigned long long>(NextTempNumber()), kTempExtension);
        temp = windowsPath_ + FromUtf8(suffix);
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(h);
    DWORD error = GetLastError();
    CloseHandle(h);
    if (ok) {
        // The new file carries on the marks of the old one (hidden, system...).
        DWORD attrs = GetFileAttributesW(windowsPath_.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
            (attrs &
             ~DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_READONLY)))
            SetFileAttributesW(temp.c_str(), attrs & ~DWORD(FILE_ATTRIBUTE_READONLY));
        ok = MoveFileExW(temp.c_str(), windowsPath_.c_str(), MOVEFILE_REPLACE_EXISTING);
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        SetLastError(error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

} // namespace platform
