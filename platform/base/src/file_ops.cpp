// Functions that work on names: folders, deleting, copying, moving, attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "file_system.h"
#include "platform/core.h"
#include "platform/paths.h"

using namespace platform::files;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Every handle open on the file must allow deleting (or renaming) it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ShareAccess kDeleteAccess{false, false, true};

std::string ParentOf(const std::string& host) {
    size_t slash = host.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : host.substr(0, slash);
}

// The final component of a Windows path as the caller wrote it.
std::string WrittenName(const std::u16string& windows) {
    size_t end = windows.size();
    while (end > 0 && (windows[end - 1] == u'\\' || windows[end - 1] == u'/'))
        --end;
    size_t start = windows.find_last_of(u"\\/", end == 0 ? 0 : end - 1);
    start = start == std::u16string::npos ? 0 : start + 1;
    if (start == 0 && end >= 2 && windows[1] == u':') start = 2;
    return Narrow(std::u16string_view(windows).substr(start, end - start));
}

// Copies an open source to an open destination; false with the last error set.
bool CopyContents(const FileObject& from, const FileObject& to) {
    std::vector<unsigned char> buf(64 * 1024);
    for (;;) {
        ssize_t n = ::read(from.fd(), buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        if (n == 0) return true;
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(to.fd(), buf.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                SetLastError(ErrorFromErrno(errno, to.host()));
                return false;
            }
            done += w;
        }
    }
}

BOOL CopyFileImpl(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
    std::lock_guard lock(NamespaceMutex());
    // The source is read with others allowed to read; the destination is
    // written exclusively, as the system copies.
    HANDLE src = OpenFile(existing, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (src == INVALID_HANDLE_VALUE) return FALSE;
    auto from = platform::LookupHandleAs<FileObject>(src);
    struct stat st;
    ::fstat(from->fd(), &st);
    DWORD attrs = AttributesOf(from->host(), st);
    // The copy gets the source's attributes; read-only is set once it is written.
    DWORD createAttrs = attrs & ~DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
    HANDLE dst =
        OpenFile(newName, GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS, createAttrs);
    if (dst == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        platform::RemoveHandle(src);
        return Fail(err);
    }
    auto to = platform::LookupHandleAs<FileObject>(dst);
    bool ok = CopyContents(*from, *to);
    if (ok) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(to->fd(), times);
    }
    DWORD err = GetLastError();
    std::string target = to->host();
    to.reset();
    from.reset();
    platform::RemoveHandle(dst);
    platform::RemoveHandle(src);
    if (!ok) {
        // No half copy is left behind.
        ::unlink(target.c_str());
        return Fail(err);
    }
    if (attrs & FILE_ATTRIBUTE_READONLY) {
        struct stat dstSt;
        if (::stat(target.c_str(), &dstSt) == 0) StoreAttributes(target, dstSt, attrs);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL MoveFileImpl(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) return Fail(ERROR_NOT_SUPPORTED);
    if (!newName) return Fail(ERROR_INVALID_PARAMETER);
    HostName from, to;
    if (!Resolve(existing, &from) || !Resolve(newName, &to)) return FALSE;

    std::lock_guard lock(NamespaceMutex());
    struct stat srcSt;
    if (::lstat(from.host.c_str(), &srcSt) != 0) return Fail(ErrorFromErrno(errno, from.host));
    FileId srcId = IdOf(srcSt);
    if (!ShareAllows(srcId, kDeleteAccess, kShareAll)) return Fail(ERROR_SHARING_VIOLATION);
    if (IsVolumeRoot(from.host)) return Fail(ERROR_ACCESS_DENIED);

    std::string target = to.host;
    struct stat dstSt;
    if (::lstat(to.host.c_str(), &dstSt) == 0) {
        if (IdOf(dstSt) == srcId) {
            // The same file under another spelling: only the case of its name changes.
            target = ParentOf(to.host) + "/" + WrittenName(to.windows);
            if (target == from.host) return TRUE;
        } else {
            if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
            if (S_ISDIR(dstSt.st_mode) || S_ISDIR(srcSt.st_mode)) return Fail(ERROR_ACCESS_DENIED);
            if (AttributesOf(to.host, dstSt) & FILE_ATTRIBUTE_READONLY)
                return Fail(ERROR_ACCESS_DENIED);
            FileId dstId = IdOf(dstSt);
            if (!ShareAllows(dstId, kDeleteAccess, kShareAll)) return Fail(ERROR_SHARING_VIOLATION);
            if (HasMapping(dstId)) return Fail(ERROR_ACCESS_DENIED);
            if (LoadedAsModule(to.host)) return Fail(ERROR_ACCESS_DENIED);
        }
    }
    platform::FolderStamp fromFolder = platform::StampFolderOf(from.host);
    platform::FolderStamp toFolder = platform::StampFolderOf(target);
    if (::rename(from.host.c_str(), target.c_str()) == 0) {
        if (fromFolder == toFolder) {
            // One change of one folder: the index takes both halves or is read again.
            platform::NoteFolderChange(from.host, fromFolder, false);
            platform::NoteFolderChange(target, platform::StampFolderOf(target), true);
        } else {
            platform::NoteFolderChange(from.host, fromFolder, false);
            platform::NoteFolderChange(target, toFolder, true);
        }
        return TRUE;
    }
    int err = errno;
    if (err == EXDEV) {
        if (!(flags & MOVEFILE_COPY_ALLOWED) || S_ISDIR(srcSt.st_mode))
            return Fail(ERROR_NOT_SAME_DEVICE);
        if (!CopyFileImpl(existing, newName, FALSE)) return FALSE;
        if (::unlink(from.host.c_str()) != 0) return Fail(ErrorFromErrno(errno, from.host));
        return TRUE;
    }
    if (err == ENOENT)
        return Fail(ERROR_PATH_NOT_FOUND); // the source exists: the target's folder does not
    if (err == EINVAL) return Fail(ERROR_SHARING_VIOLATION); // a folder into itself
    return Fail(ErrorFromErrno(err, to.host));
}

} // namespace

extern "C" {

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    PLATFORM_FAULT_POINT("CreateDirectoryW", FALSE);
    (void)lpSecurityAttributes;
    HostName name;
    if (!Resolve(lpPathName, &name)) return FALSE;
    std::lock_guard lock(NamespaceMutex());
    platform::FolderStamp folder = platform::StampFolderOf(name.host);
    if (::mkdir(name.host.c_str(), 0777) == 0) {
        platform::NoteFolderChange(name.host, folder, true);
        return TRUE;
    }
    int err = errno;
    if (err == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (err == ENOENT || err == ENOTDIR) return Fail(ERROR_PATH_NOT_FOUND);
    return Fail(ErrorFromErrno(err, name.host));
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    PLATFORM_FAULT_POINT("CreateDirectoryA", FALSE);
    if (!lpPathName) return Fail(ERROR_INVALID_PARAMETER);
    return CreateDirectoryW(Widen(lpPathName).c_str(), lpSecurityAttributes);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    PLATFORM_FAULT_POINT("RemoveDirectoryW", FALSE);
    HostName name;
    if (!Resolve(lpPathName, &name)) return FALSE;
    std::lock_guard lock(NamespaceMutex());
    struct stat st;
    if (::lstat(name.host.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, name.host));
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    if (IsVolumeRoot(name.host)) return Fail(ERROR_ACCESS_DENIED);
    if (AttributesOf(name.host, st) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (!ShareAllows(IdOf(st), kDeleteAccess, kShareAll)) return Fail(ERROR_SHARING_VIOLATION);
    platform::FolderStamp folder = platform::StampFolderOf(name.host);
    if (::rmdir(name.host.c_str()) == 0) {
        platform::NoteFolderChange(name.host, folder, false);
        return TRUE;
    }
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY);
    return Fail(ErrorFromErrno(err, name.host));
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    PLATFORM_FAULT_POINT("RemoveDirectoryA", FALSE);
    if (!lpPathName) return Fail(ERROR_INVALID_PARAMETER);
    return RemoveDirectoryW(Widen(lpPathName).c_str());
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("DeleteFileW", FALSE);
    HostName name;
    if (!Resolve(lpFileName, &name)) return FALSE;
    std::lock_guard lock(NamespaceMutex());
    struct stat st;
    if (::lstat(name.host.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, name.host));
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (name.trailingSeparator) return Fail(ERROR_INVALID_NAME);
    if (!S_ISLNK(st.st_mode)) {
        FileId id = IdOf(st);
        if (AttributesOf(name.host, st) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
        if (!ShareAllows(id, kDeleteAccess, kShareAll)) return Fail(ERROR_SHARING_VIOLATION);
        if (HasMapping(id) || LoadedAsModule(name.host)) return Fail(ERROR_ACCESS_DENIED);
    }
    platform::FolderStamp folder = platform::StampFolderOf(name.host);
    if (::unlink(name.host.c_str()) != 0) return Fail(ErrorFromErrno(errno, name.host));
    platform::NoteFolderChange(name.host, folder, false);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("DeleteFileA", FALSE);
    if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
    return DeleteFileW(Widen(lpFileName).c_str());
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    PLATFORM_FAULT_POINT("CopyFileW", FALSE);
    return CopyFileImpl(lpExistingFileName, lpNewFileName, bFailIfExists);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    PLATFORM_FAULT_POINT("CopyFileA", FALSE);
    if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_INVALID_PARAMETER);
    return CopyFileW(Widen(lpExistingFileName).c_str(), Widen(lpNewFileName).c_str(),
                     bFailIfExists);
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    PLATFORM_FAULT_POINT("MoveFileExW", FALSE);
    return MoveFileImpl(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    PLATFORM_FAULT_POINT("MoveFileW", FALSE);
    // MoveFile moves a file to another volume by copying it.
    return MoveFileImpl(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    PLATFORM_FAULT_POINT("MoveFileA", FALSE);
    if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_INVALID_PARAMETER);
    return MoveFileW(Widen(lpExistingFileName).c_str(), Widen(lpNewFileName).c_str());
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetFileAttributesW", INVALID_FILE_ATTRIBUTES);
    HostName name;
    if (!Resolve(lpFileName, &name)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (::stat(name.host.c_str(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, name.host));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (name.trailingSeparator && !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(name.host, st);
}

BOOL WINAPI GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                 LPVOID lpFileInformation) {
    PLATFORM_FAULT_POINT("GetFileAttributesExW", FALSE);
    if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation)
        return Fail(ERROR_INVALID_PARAMETER);
    constexpr unsigned kWanted = STATX_BASIC_STATS | STATX_BTIME;
    HostName name;
    struct statx sx {};
    // A path on disk as written names the file a look-up would find: one
    // question to the host, as a caller asking about the same file on every
    // page mostly does.
    if (!Resolve(lpFileName, &name, Mapping::kAsWritten)) return FALSE;
    if (::statx(AT_FDCWD, name.host.c_str(), 0, kWanted, &sx) != 0) {
        if (!Resolve(lpFileName, &name)) return FALSE;
        if (::statx(AT_FDCWD, name.host.c_str(), 0, kWanted, &sx) != 0)
            return Fail(ErrorFromErrno(errno, name.host));
    }
    if (name.trailingSeparator && !S_ISDIR(sx.stx_mode)) return Fail(ERROR_INVALID_NAME);
    struct stat st {};
    st.st_mode = sx.stx_mode;
    auto time = [](const struct statx_timestamp& t) {
        struct timespec ts {};
        ts.tv_sec = t.tv_sec;
        ts.tv_nsec = t.tv_nsec;
        return ToFileTime(ts);
    };
    WIN32_FILE_ATTRIBUTE_DATA data{};
    data.dwFileAttributes = AttributesOf(name.host, st);
    data.ftCreationTime = time((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
    data.ftLastAccessTime = time(sx.stx_atime);
    data.ftLastWriteTime = time(sx.stx_mtime);
    data.nFileSizeHigh = S_ISDIR(sx.stx_mode) ? 0 : static_cast<DWORD>(sx.stx_size >> 32);
    data.nFileSizeLow = S_ISDIR(sx.stx_mode) ? 0 : static_cast<DWORD>(sx.stx_size);
    *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation) = data;
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    PLATFORM_FAULT_POINT("GetFileAttributesA", INVALID_FILE_ATTRIBUTES);
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    return GetFileAttributesW(Widen(lpFileName).c_str());
}

BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    PLATFORM_FAULT_POINT("SetFileAttributesW", FALSE);
    HostName name;
    if (!Resolve(lpFileName, &name)) return FALSE;
    std::lock_guard lock(NamespaceMutex());
    struct stat st;
    if (::stat(name.host.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno, name.host));
    if (int err = StoreAttributes(name.host, st, dwFileAttributes))
        return Fail(ErrorFromErrno(err, name.host));
    return TRUE;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    PLATFORM_FAULT_POINT("SetFileAttributesA", FALSE);
    if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
    return SetFileAttributesW(Widen(lpFileName).c_str(), dwFileAttributes);
}

} // extern "C"
