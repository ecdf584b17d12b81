// Tempsweep: empties a folder of the driver's temporary files, leaving the
// folder itself in place.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace tempsweep {

// The Windows class the clean-up keys on: 1 for Windows 9x; on the NT
// platform 2 for version 4, 3 for 5.0, 4 for 5.1 and later 5.x, 5 for 6 and
// later; 4 for anything else.
DWORD SweepOsClass(DWORD platformId, DWORD major, DWORD minor);

struct SweepState {
    DWORD osClass = 0;
    // Windows 9x only: the Windows folder followed by "\temp\", where the font
    // temporary files that each swept file names live.
    std::u16string tempFolder;
};

// The attributes of the entry `name` of `folder` as its listing shows them,
// without following a link (a link is a reparse point);
// INVALID_FILE_ATTRIBUTES, last error set, when there is none.
DWORD EntryAttributes(const std::u16string& folder, const std::u16string& name);

// Fills the state for the running system.
SweepState GetSweepOsClass();

// What stopped a sweep, and where the folder asked for really is.
struct SweepReport {
    DWORD firstError = 0;
    std::u16string stoppedAt; // the entry that could not be deleted or listed
    std::u16string resolved;  // the folder as it is on disk, links followed
};

// What follows the program name on a command line (the name quoted or up to
// the first blank), without the blanks before it.
std::u16string_view ArgumentsOf(std::u16string_view commandLine);

// The folder named by the command line after the program name: one leading
// and one trailing double quote and one trailing backslash dropped. Returns
// false (nothing to sweep) for an empty argument or one of 260 characters or
// more; *error is ERROR_BAD_PATHNAME for a name that climbs out with ".." or
// names a drive or share root as written.
bool FolderFromCommandLine(std::u16string_view commandLine, std::u16string* folder, DWORD* error);

// Where folder really is, every "." and link on the way followed, as
// "C:\x\y". Only a folder below a drive of this machine is swept: a drive's
// root, a folder that holds the users' own folders (or one above it), a share
// and a place off the machine's drives are refused with ERROR_BAD_PATHNAME. A
// folder that is not there gives the error its listing gives.
DWORD ResolveSweptFolder(const std::u16string& folder, std::u16string* resolved);

// Deletes every file and subfolder under folder, in the order the folder
// lists them. A link or junction is removed as a link, never followed. The
// first entry that cannot be deleted stops the sweep (a read-only file with
// ERROR_ACCESS_DENIED): what was deleted before stays deleted, what comes
// after stays. The result is that error, ERROR_SUCCESS when the folder is empty.
DWORD SweepFolder(const std::u16string& folder, const SweepState& state, SweepReport* report);

// The whole program: the exit code.
DWORD SweepTempMain(std::u16string_view commandLine, SweepReport* report);

} // namespace tempsweep
