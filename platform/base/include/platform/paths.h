// Windows paths on the machine root.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace platform {

// Maps a Windows path onto the host file system:
//   "C:\Windows\x.ini"  -> <root>/c/Windows/x.ini   (drive letter folded to lower case)
//   "\\server\share\x"  -> <root>/unc/server/share/x
//   "\x"                -> <root>/c/x               (the current drive is C:)
//   "rel\x"             -> <cwd>/rel/x              (relative to the process's directory)
//   "Z:\host\path"      -> /host/path               (the host's own file system)
//   "/host/path"        -> /host/path               (host paths pass through, for tools and tests)
// Backslashes and slashes both separate. Each existing component is matched
// without regard to case, so "c:\WINDOWS" finds <root>/c/Windows; components that do
// not exist yet are kept as written. "." and ".." are resolved lexically and never climb
// above the drive's folder.
std::string HostPath(std::u16string_view windowsPath);
std::string HostPathUtf8(std::string_view windowsPath);

// What the mapping learnt of the file on its way, so that a caller about to
// ask the host for the file's status need not ask again: `known` when the
// whole path was there as written and is no symbolic link, and then `status`
// is what stat() would say of it at that moment.
struct PathFacts {
    bool known = false;
    struct stat status {};
};
std::string HostPath(std::u16string_view windowsPath, PathFacts* facts);

// What HostPath answers when the path is on disk as written (every component
// there in the caller's spelling), made without asking the disk. A caller
// that opens it and finds a file has the file HostPath would have named;
// otherwise it asks HostPath.
std::string HostPathAsWritten(std::u16string_view windowsPath);

// The inverse: <root>/c/x/y -> "C:\x\y", <root>/unc/s/x -> "\\s\x", and any other
// absolute host path /x/y -> "Z:\x\y".
std::u16string WindowsPath(std::string_view hostPath);

// Finds `name` in the host folder `dir` without regard to case. Returns the
// name as it is on disk, or an empty string. A name not there as written is
// looked up in an index of the folder's names, read once and used while the
// folder's identity and modification time stay as they were.
std::string FindNoCase(const std::string& dir, std::string_view name);

// The folder of a host path as its index knows it: taken before a change
// this process makes in it, so that the index follows the change instead of
// reading the folder again (a job adding thousands of files to one folder).
struct FolderStamp {
    bool valid = false;
    unsigned long long device = 0, inode = 0;
    long long seconds = 0, nanoseconds = 0;
    bool operator==(const FolderStamp&) const = default;
};
// (Not valid when the folder has no index.)
FolderStamp StampFolderOf(const std::string& hostPath);
// After this process created (present) or removed (!present) hostPath's entry:
// an index that was true at `before` takes the change and the folder's new
// stamp. Any other change of the folder meanwhile moves its stamp, so a
// stale index is read again. (Two processes changing one folder in the same
// instant can hide one change from the other's index until the next change
// by anyone: such folders hold names of one spelling only.)
void NoteFolderChange(const std::string& hostPath, const FolderStamp& before, bool present);

} // namespace platform
