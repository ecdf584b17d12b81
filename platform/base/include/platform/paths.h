// Windows paths on the machine root.
#pragma once

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

// The inverse: <root>/c/x/y -> "C:\x\y", <root>/unc/s/x -> "\\s\x", and any other
// absolute host path /x/y -> "Z:\x\y".
std::u16string WindowsPath(std::string_view hostPath);

// Finds `name` in the host folder `dir` without regard to case. Returns the
// name as it is on disk, or an empty string.
std::string FindNoCase(const std::string& dir, std::string_view name);

} // namespace platform
