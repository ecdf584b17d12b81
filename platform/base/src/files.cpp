// CreateFile and the functions that work on an open file handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_system.h"
#include "platform/core.h"
#include "platform/device_files.h"
#include "platform/paths.h"
#include "platform/testctl.h"

using namespace platform::files;

namespace platform::files {

namespace {

// Bytes read from files by this process, for tests that show a file was refused unread.
std::atomic<unsigned long long> gFileBytesRead{0};

bool WantsWrite(DWORD access) {
    return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

bool WantsRead(DWORD access) {
    return access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// The attributes a new (or overwritten) file gets from dwFlagsAndAttributes.
DWORD CreationAttributes(DWORD flagsAndAttributes) {
    DWORD a = flagsAndAttributes &
              (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
               FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_ARCHIVE);
    return a | FILE_ATTRIBUTE_ARCHIVE;
}

HANDLE OpenFolder(const HostName& name, const struct stat& st, DWORD access, DWORD shareMode,
                  DWORD disposition, DWORD flags) {
    // A folder opens only for its attributes and times, and only when asked for.
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS)) return Fail(ERROR_ACCESS_DENIED);
    if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)
        return Fail(ERROR_ACCESS_DENIED);
    FileId id = IdOf(st);
    if (!ShareAllows(id, AccessForSharing(access), shareMode)) return Fail(ERROR_SHARING_VIOLATION);
    int fd = ::open(name.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail(ErrorFromErrno(errno, name.host));
    HANDLE h = InsertHandle(
        std::make_shared<FileObject>(fd, name.host, id, access, shareMode, flags, true));
    SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

// Opens the name as written for reading, without looking the path up first:
// the look-up answers the name as written whenever it is there, so a file
// found by the open is the file the look-up would have found, and the
// descriptor's status is what the look-up would have told (type and
// identity; its size and times as the open found them). Only a plain file
// that every check lets open is answered here. Anything else (no such name
// as written, another spelling on disk, a folder, an open the host refuses,
// a share or a pending delete in the way) is left to the whole way, which
// gives its own answer and error; returns false then.
bool OpenAsWritten(HostName& name, DWORD access, DWORD shareMode, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE* result) {
    // Without waiting: a named pipe is no file, and is left to the whole way.
    int fd = ::open(name.host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    FileId id;
    bool opens = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (opens) {
        id = IdOf(st);
        opens = !DeletePending(id) && ShareAllows(id, AccessForSharing(access), shareMode);
    }
    if (!opens) {
        ::close(fd);
        return false;
    }
    *result = InsertHandle(std::make_shared<FileObject>(fd, std::move(name.host), id, access,
                                                        shareMode, flagsAndAttributes, false));
    SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return true;
}

} // namespace

HANDLE OpenFile(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                DWORD flagsAndAttributes) {
    // The name is mapped under the lock, so that what the mapping saw of the
    // file is what the checks below go by.
    std::lock_guard lock(NamespaceMutex());
    // A read of a file that is there (the model data, once per call of a
    // bound library) opens the name as written before any look-up.
    const bool direct = !WantsWrite(access) && !(flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) &&
                        (disposition == OPEN_EXISTING || disposition == OPEN_ALWAYS);
    HostName name;
    if (!Resolve(path, &name, direct ? Mapping::kAsWritten : Mapping::kLookUp))
        return INVALID_HANDLE_VALUE;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING &&
        !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)))
        return Fail(ERROR_INVALID_PARAMETER);
    if (shareMode & ~DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return Fail(ERROR_INVALID_PARAMETER);
    if (direct) {
        HANDLE h;
        // "x.txt\" asks for a folder: the look-up tells what is there.
        if (!name.trailingSeparator &&
            OpenAsWritten(name, access, shareMode, disposition, flagsAndAttributes, &h))
            return h;
        name.host = HostPath(name.windows, &name.facts);
    }

    const bool read = WantsRead(access);
    const bool write = WantsWrite(access);
    const bool appendOnly =
        (access & FILE_APPEND_DATA) && !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
    const bool deleteOnClose = flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE;
    ShareAccess sharing = AccessForSharing(access);
    if (deleteOnClose) sharing.del = true;

    struct stat st;
    bool exists = name.facts.known;
    if (exists)
        st = name.facts.status;
    else
        exists = ::stat(name.host.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return Fail(ErrorFromErrno(errno, name.host));
    if (exists && S_ISDIR(st.st_mode))
        return OpenFolder(name, st, access, shareMode, disposition, flagsAndAttributes);
    // A named pipe, socket or device planted under a file's name is not a
    // file of this machine: refused, where opening it could wait for ever.
    if (exists && !S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (name.trailingSeparator) {
        // "x.txt\" names a folder that is not there.
        DWORD missing = MissingError(name.host);
        return Fail(missing == ERROR_PATH_NOT_FOUND ? missing : ERROR_INVALID_NAME);
    }

    int oflags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    if (appendOnly) oflags |= O_APPEND;
    DWORD successError = ERROR_SUCCESS;
    int fd;
    bool created = false;
    if (exists) {
        if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
        FileId id = IdOf(st);
        bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        // The attributes matter only to a change of the file (a reader opens
        // without reading them).
        if (write || truncate || deleteOnClose) {
            DWORD attrs = AttributesOf(name.host, st);
            if (attrs & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
            // Overwriting a hidden or system file must say so in its attributes.
            DWORD marks = attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
            if (disposition == CREATE_ALWAYS && (flagsAndAttributes & marks) != marks)
                return Fail(ERROR_ACCESS_DENIED);
        }
        if (DeletePending(id)) return Fail(ERROR_ACCESS_DENIED);
        if (!ShareAllows(id, sharing, shareMode)) return Fail(ERROR_SHARING_VIOLATION);
        if (truncate && HasMapping(id)) return Fail(ERROR_USER_MAPPED_FILE);
        if ((write || truncate) && LoadedAsModule(name.host)) return Fail(ERROR_SHARING_VIOLATION);
        if (truncate) oflags |= O_TRUNC;
        fd = ::open(name.host.c_str(), oflags);
        if (fd < 0) return Fail(ErrorFromErrno(errno, name.host));
        if (disposition == CREATE_ALWAYS)
            StoreAttributes(name.host, st, CreationAttributes(flagsAndAttributes));
        if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
            successError = ERROR_ALREADY_EXISTS;
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)
            return Fail(MissingError(name.host));
        platform::FolderStamp folder = platform::StampFolderOf(name.host);
        fd = ::open(name.host.c_str(), oflags | O_CREAT | O_EXCL, 0666);
        if (fd < 0)
            return Fail(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno, name.host));
        platform::NoteFolderChange(name.host, folder, true);
        if (::fstat(fd, &st) == 0) {
            // The creating handle keeps its write access even to a file created read-only.
            StoreAttributes(name.host, st, CreationAttributes(flagsAndAttributes), true);
            created = true;
        }
    }
    // A file just made keeps the identity taken above (a change of its mode
    // does not move it).
    if (!created && ::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return Fail(ErrorFromErrno(err, name.host));
    }
    HANDLE h = InsertHandle(std::make_shared<FileObject>(fd, std::move(name.host), IdOf(st), access,
                                                         shareMode, flagsAndAttributes, false));
    SetLastError(successError);
    return h;
}

bool ReadWhole(int fd, unsigned long long maxSize, std::string* bytes, DWORD* error) {
    bytes->clear();
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = ERROR_READ_FAULT;
        return false;
    }
    // Asked before a byte is read: a file that no valid file of its kind
    // reaches (a huge sparse one) costs neither the time nor the memory.
    if (!S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > maxSize) {
        *error = ERROR_INVALID_DATA;
        return false;
    }
    bytes->reserve(static_cast<size_t>(st.st_size));
    // One byte more than the limit is asked for, so that a file that grew
    // since is refused too, and never read beyond that.
    char buf[16384];
    for (;;) {
        const unsigned long long room = maxSize + 1 - bytes->size();
        ssize_t n =
            ::read(fd, buf, static_cast<size_t>(std::min<unsigned long long>(room, sizeof buf)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            bytes->clear();
            *error = ERROR_READ_FAULT;
            return false;
        }
        if (n == 0) break;
        gFileBytesRead += static_cast<unsigned long long>(n);
        bytes->append(buf, static_cast<size_t>(n));
        if (bytes->size() > maxSize) {
            bytes->clear();
            *error = ERROR_INVALID_DATA;
            return false;
        }
    }
    return true;
}

} // namespace platform::files

unsigned long long platform::test::FileBytesRead() {
    return gFileBytesRead.load();
}

namespace {

// The file object behind a handle; sets ERROR_INVALID_HANDLE when there is none.
std::shared_ptr<FileObject> FileOf(HANDLE h) {
    auto file = platform::LookupHandleAs<FileObject>(h);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

bool FileSize(const FileObject& file, long long* size) {
    struct stat st;
    if (::fstat(file.fd(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, file.host()));
        return false;
    }
    *size = st.st_size;
    return true;
}

// Moves the file pointer; the shared part of SetFilePointer and SetFilePointerEx.
bool MovePointer(const FileObject& file, long long distance, DWORD method, long long* newPosition) {
    long long base = 0;
    switch (method) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = ::lseek(file.fd(), 0, SEEK_CUR);
        if (base < 0) {
            SetLastError(ErrorFromErrno(errno, file.host()));
            return false;
        }
        break;
    case FILE_END:
        if (!FileSize(file, &base)) return false;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    long long pos;
    if (__builtin_add_overflow(base, distance, &pos)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (pos < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (::lseek(file.fd(), pos, SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno, file.host()));
        return false;
    }
    *newPosition = pos;
    return true;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    PLATFORM_FAULT_POINT("CreateFileW", INVALID_HANDLE_VALUE);
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    if (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) return Fail(ERROR_NOT_SUPPORTED);
    HANDLE device;
    if (platform::devices::OpenDevicePath(lpFileName, dwDesiredAccess, dwShareMode,
                                          dwCreationDisposition, dwFlagsAndAttributes, &device))
        return device;
    return OpenFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                    dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    PLATFORM_FAULT_POINT("CreateFileA", INVALID_HANDLE_VALUE);
    if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
    std::u16string name = Widen(lpFileName);
    return CreateFileW(name.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    PLATFORM_FAULT_POINT("ReadFile", FALSE);
    if (platform::devices::IsDeviceHandle(hFile))
        return platform::devices::ReadDevice(hFile, lpBuffer, nNumberOfBytesToRead,
                                             lpNumberOfBytesRead, lpOverlapped);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (lpOverlapped) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!lpNumberOfBytesRead || (!lpBuffer && nNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (file->directory()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!file->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto* out = static_cast<unsigned char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t n = ::read(file->fd(), out + done, nNumberOfBytesToRead - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *lpNumberOfBytesRead = done;
            SetLastError(errno == EIO ? ERROR_READ_FAULT : ErrorFromErrno(errno, file->host()));
            return FALSE;
        }
        if (n == 0) break; // end of file: success with fewer bytes
        gFileBytesRead += static_cast<unsigned long long>(n);
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    PLATFORM_FAULT_POINT("WriteFile", FALSE);
    if (platform::devices::IsDeviceHandle(hFile))
        return platform::devices::WriteDevice(hFile, lpBuffer, nNumberOfBytesToWrite,
                                              lpNumberOfBytesWritten, lpOverlapped);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (lpOverlapped) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!lpNumberOfBytesWritten || (!lpBuffer && nNumberOfBytesToWrite)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (file->directory()) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* in = static_cast<const unsigned char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t n = ::write(file->fd(), in + done, nNumberOfBytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            *lpNumberOfBytesWritten = done;
            SetLastError(ErrorFromErrno(errno, file->host()));
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesWritten = done;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    PLATFORM_FAULT_POINT("SetFilePointer", INVALID_SET_FILE_POINTER);
    auto file = FileOf(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    long long distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance = static_cast<long long>(
            (static_cast<unsigned long long>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
            static_cast<DWORD>(lDistanceToMove));
    long long before = ::lseek(file->fd(), 0, SEEK_CUR);
    long long pos;
    if (!MovePointer(*file, distance, dwMoveMethod, &pos)) return INVALID_SET_FILE_POINTER;
    if (!lpDistanceToMoveHigh && pos > static_cast<long long>(UINT_MAX)) {
        // Without a high part the position must fit 32 bits; leave the pointer where it was.
        ::lseek(file->fd(), before, SEEK_SET);
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(pos >> 32);
    // A low part of 0xFFFFFFFF is a valid position; callers tell it apart by the last error.
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(pos & 0xFFFFFFFF);
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                             PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
    PLATFORM_FAULT_POINT("SetFilePointerEx", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    long long pos;
    if (!MovePointer(*file, liDistanceToMove.QuadPart, dwMoveMethod, &pos)) return FALSE;
    if (lpNewFilePointer) lpNewFilePointer->QuadPart = pos;
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    PLATFORM_FAULT_POINT("SetEndOfFile", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (file->directory() || !file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    long long pos = ::lseek(file->fd(), 0, SEEK_CUR);
    long long size;
    if (pos < 0 || !FileSize(*file, &size)) {
        if (pos < 0) SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    // Cutting a file under a mapping would pull the pages from under its views.
    if (pos < size && HasMapping(file->id())) {
        SetLastError(ERROR_USER_MAPPED_FILE);
        return FALSE;
    }
    if (::ftruncate(file->fd(), pos) != 0) {
        SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    PLATFORM_FAULT_POINT("GetFileSize", INVALID_FILE_SIZE);
    auto file = FileOf(hFile);
    if (!file) return INVALID_FILE_SIZE;
    long long size;
    if (!FileSize(*file, &size)) return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(static_cast<unsigned long long>(size) >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size & 0xFFFFFFFF);
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
    PLATFORM_FAULT_POINT("GetFileSizeEx", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpFileSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    long long size;
    if (!FileSize(*file, &size)) return FALSE;
    lpFileSize->QuadPart = size;
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    PLATFORM_FAULT_POINT("FlushFileBuffers", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::fsync(file->fd()) != 0) {
        SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
    PLATFORM_FAULT_POINT("GetFileTime", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    struct stat st;
    if (::fstat(file->fd(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    if (lpCreationTime) {
        struct statx sx {};
        struct timespec birth = st.st_mtim;
        if (::statx(file->fd(), "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 &&
            (sx.stx_mask & STATX_BTIME)) {
            birth.tv_sec = sx.stx_btime.tv_sec;
            birth.tv_nsec = sx.stx_btime.tv_nsec;
        }
        *lpCreationTime = ToFileTime(birth);
    }
    if (lpLastAccessTime) *lpLastAccessTime = ToFileTime(st.st_atim);
    if (lpLastWriteTime) *lpLastWriteTime = ToFileTime(st.st_mtim);
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile,
                                       LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    PLATFORM_FAULT_POINT("GetFileInformationByHandle", FALSE);
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!lpFileInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat st;
    if (::fstat(file->fd(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    info.dwFileAttributes = AttributesOf(file->host(), st);
    GetFileTime(hFile, &info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime);
    info.dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
    const auto size = static_cast<unsigned long long>(st.st_size);
    info.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info.nFileSizeLow = static_cast<DWORD>(size);
    info.nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    const auto index = static_cast<unsigned long long>(st.st_ino);
    info.nFileIndexHigh = static_cast<DWORD>(index >> 32);
    info.nFileIndexLow = static_cast<DWORD>(index);
    *lpFileInformation = info;
    return TRUE;
}

DWORD WINAPI GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath,
                                       DWORD dwFlags) {
    PLATFORM_FAULT_POINT("GetFinalPathNameByHandleW", 0);
    auto file = FileOf(hFile);
    if (!file) return 0;
    if (dwFlags != (VOLUME_NAME_DOS | FILE_NAME_NORMALIZED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The host knows where the descriptor is now, whatever links led to it.
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", file->fd());
    std::string where(PATH_MAX, '\0');
    const ssize_t n = ::readlink(link, where.data(), where.size());
    if (n <= 0 || static_cast<size_t>(n) >= where.size()) {
        SetLastError(n < 0 ? ErrorFromErrno(errno, file->host()) : ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    where.resize(static_cast<size_t>(n));
    // The machine root as the host spells it: its own path may pass a link.
    const std::string& root = platform::MachineRoot();
    if (char* real = ::realpath(root.c_str(), nullptr)) {
        const std::string realRoot(real);
        std::free(real);
        if (where.compare(0, realRoot.size(), realRoot) == 0 &&
            (where.size() == realRoot.size() || where[realRoot.size()] == '/'))
            where = root + where.substr(realRoot.size());
    }
    std::u16string path = platform::WindowsPath(where);
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\')
        path = u"\\\\?\\UNC\\" + path.substr(2);
    else
        path = u"\\\\?\\" + path;
    if (!lpszFilePath || cchFilePath <= path.size()) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(lpszFilePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return static_cast<DWORD>(path.size());
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                        const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime) {
    PLATFORM_FAULT_POINT("SetFileTime", FALSE);
    (void)lpCreationTime; // the host keeps no settable creation time
    auto file = FileOf(hFile);
    if (!file) return FALSE;
    if (!file->canWriteAttributes()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A zero time, or all ones, leaves that time as it is.
    auto pick = [](const FILETIME* ft) {
        struct timespec ts {};
        bool keep = !ft || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0) ||
                    (ft->dwLowDateTime == 0xFFFFFFFF && ft->dwHighDateTime == 0xFFFFFFFF);
        if (keep) {
            ts.tv_nsec = UTIME_OMIT;
            return ts;
        }
        return FromFileTime(*ft);
    };
    struct timespec times[2] = {pick(lpLastAccessTime), pick(lpLastWriteTime)};
    if (::futimens(file->fd(), times) != 0) {
        SetLastError(ErrorFromErrno(errno, file->host()));
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
