// Internals shared by the file, search, mapping and INI functions.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/handles.h"
#include "platform/paths.h"
#include "win/errors.h"
#include "win/files.h"

namespace platform::files {

// ANSI (the system's code page) <-> UTF-16 for the *A functions (NULL widens
// to an empty string).
std::u16string Widen(const char* text);
std::u16string WidenBytes(std::string_view text);
std::string Narrow(std::u16string_view text);
// The longest prefix of at most max units that ends on a whole character (no
// lone lead byte of a double-byte code page, no lone high surrogate).
size_t CutPoint(std::string_view text, size_t max);
size_t CutPoint(std::u16string_view text, size_t max);

// One lock over every operation that checks or changes share reservations,
// so that a check and the open, delete or rename it guards are one step.
std::recursive_mutex& NamespaceMutex();

// A Windows path resolved onto the host.
struct HostName {
    std::string host;       // the host path (components matched without case)
    std::u16string windows; // the Windows path as given
    bool trailingSeparator = false;
    platform::PathFacts facts; // what the mapping learnt of the host file
};

// How Resolve maps a path: looked up on disk (HostPath, with its facts), or as
// written without asking the disk (HostPathAsWritten, no facts) for a caller
// that tries the name as written first and looks it up only when that fails.
enum class Mapping { kLookUp, kAsWritten };

// Checks and maps a Windows path. On failure sets the last error (ERROR_INVALID_PARAMETER for
// NULL, ERROR_PATH_NOT_FOUND for an empty path, ERROR_INVALID_NAME for characters that names
// cannot hold) and returns false.
bool Resolve(const WCHAR* path, HostName* out, Mapping mapping = Mapping::kLookUp);

// The error for a host path that does not exist: ERROR_FILE_NOT_FOUND when its folder
// exists, ERROR_PATH_NOT_FOUND when the folder is missing (or is a file).
DWORD MissingError(const std::string& host);

// A Win32 error for an errno value of an operation on host (ENOENT is told apart
// with MissingError).
DWORD ErrorFromErrno(int err, const std::string& host);

// Attributes of an existing host file; READONLY comes from the owner's write
// bit, HIDDEN/SYSTEM/ARCHIVE/TEMPORARY from an extended attribute when the host
// file system keeps one.
DWORD AttributesOf(const std::string& host, const struct stat& st);
// Stores the attributes (READONLY and the kept ones). Returns an errno value, 0 on success.
// fresh: the file was just made by this process (O_EXCL), so it has no
// stored attributes yet to be read.
int StoreAttributes(const std::string& host, const struct stat& st, DWORD attributes,
                    bool fresh = false);

// FILETIME (100 ns since 1601) <-> host time.
FILETIME ToFileTime(const struct timespec& ts);
struct timespec FromFileTime(const FILETIME& ft);
// Creation time when the host keeps one, else the last change time.
struct timespec BirthTime(const std::string& host, const struct stat& st);

// The identity of a host file, the key of share reservations.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator<(const FileId& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
    bool operator==(const FileId& o) const { return dev == o.dev && ino == o.ino; }
};
inline FileId IdOf(const struct stat& st) {
    return FileId{st.st_dev, st.st_ino};
}

// What an open asks for, reduced to what sharing cares about.
struct ShareAccess {
    bool read = false;
    bool write = false;
    bool del = false;
    bool Any() const { return read || write || del; }
};
ShareAccess AccessForSharing(DWORD desiredAccess);

// True when an open of the file with this access and share mode is compatible
// with the handles already open on it (callers hold NamespaceMutex).
bool ShareAllows(const FileId& id, ShareAccess access, DWORD shareMode);
// True when a handle opened with FILE_FLAG_DELETE_ON_CLOSE has closed and others are still open:
// the file goes with the last of them and cannot be opened again meanwhile.
bool DeletePending(const FileId& id);

// A file or folder opened by CreateFile.
class FileObject : public HandleObject {
  public:
    FileObject(int fd, std::string host, const FileId& id, DWORD access, DWORD shareMode,
               DWORD flags, bool directory);
    ~FileObject() override;
    const char* KindName() const override { return "File"; }

    int fd() const { return fd_; }
    bool directory() const { return directory_; }
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }
    bool canWriteAttributes() const { return canWriteAttributes_; }
    const FileId& id() const { return id_; }
    const std::string& host() const { return host_; }

  private:
    int fd_;
    std::string host_;
    FileId id_;
    ShareAccess sharing_;
    DWORD shareMode_;
    bool deleteOnClose_;
    bool directory_;
    bool canRead_;
    bool canWrite_;
    bool canWriteAttributes_;
};

// File mappings count against their file: the system refuses to cut a file
// shorter while a mapping of it exists.
void AddMapping(const FileId& id);
void RemoveMapping(const FileId& id);
bool HasMapping(const FileId& id);

// Modules are held while loaded, in every process: a shared advisory lock on the
// image file that writers, deleters and renames onto the file test for. The
// system refuses to change a file that is mapped as a running image; here a
// change would also tear the image under the process that runs it.
// HoldAsModule returns the descriptor that keeps the hold (close it to let go), or -1.
int HoldAsModule(const std::string& host);
bool LoadedAsModule(const std::string& host);

// CreateFileW without its fault point, for functions built on it.
HANDLE OpenFile(const WCHAR* path, DWORD access, DWORD shareMode, DWORD disposition,
                DWORD flagsAndAttributes);

// The whole content of an open file that holds at most maxSize bytes. The
// size is asked first: a file over the limit, or one that is no regular file,
// is refused (ERROR_INVALID_DATA) before a byte of it is read, and one that
// grows past the limit while it is read is refused too. False with *error set
// and bytes empty on failure.
bool ReadWhole(int fd, unsigned long long maxSize, std::string* bytes, DWORD* error);

// True for the host folder of a drive's root (C:\) or of a share (\\server\share).
bool IsVolumeRoot(const std::string& host);

// The Windows folder (where INI files without a path live) and the temporary folder.
std::u16string WindowsFolder();
std::u16string TempFolder();

} // namespace platform::files
