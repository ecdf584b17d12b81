// Writing and deleting the EMF spool package in the per-user working folder's
// "spool" folder. The page files themselves are the metafile recorder's.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package_format.h"
#include "package_reader.h"
#include "win/types.h"

namespace spoolpkg {

// The spool folder under a working folder that ends with a backslash.
std::u16string SpoolFolder(const std::u16string& workingFolder);
// Creates the folder with whichever of its parents are missing.
bool CreateFolderWithParents(const std::u16string& folder);
std::u16string IndexPath(const std::u16string& spoolFolder, DWORD spoolId);
std::u16string PageFolder(const std::u16string& spoolFolder, DWORD spoolId);
std::u16string PagePath(const std::u16string& spoolFolder, DWORD spoolId, DWORD page);
std::u16string FontListPath(const std::u16string& spoolFolder, DWORD spoolId);
std::u16string FontFilePath(const std::u16string& spoolFolder, DWORD spoolId, uint64_t uniqueId);

// The index's records as bytes. Names are in the ANSI code page; a page path
// that does not fit its record gives an empty result.
std::vector<uint8_t> DevmodeRecord(const uint8_t (&ansiDevmode)[kAnsiDevmodeSize]);
std::vector<uint8_t> NamesRecord(const std::string& printerName, const std::string& documentName);
std::vector<uint8_t> PageRecord(const std::string& pagePath);
std::vector<uint8_t> MarkerRecord(uint32_t type);

// One job's index, open exclusively from Create to Finish or RemoveJobFolder.
class PackageWriter {
  public:
    PackageWriter() = default;
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;
    ~PackageWriter();

    // Creates the index under the first free spool id from jobId + 50000 with
    // its devmode and names records, and the page folder; the spool folder
    // and its parents are made when missing. Returns the error that stopped it.
    // The owner's mark goes into the page folder as soon as it is made,
    // when a token is given.
    DWORD Create(const std::u16string& spoolFolder, DWORD jobId,
                 const uint8_t (&ansiDevmode)[kAnsiDevmodeSize], const std::u16string& printerName,
                 const std::u16string& documentName, const std::u16string& ownerToken = {});
    // A devmode record, only when the image differs from the last one recorded.
    DWORD WriteDevmode(const uint8_t (&ansiDevmode)[kAnsiDevmodeSize]);
    // The page record of page file n and its end-of-page record.
    DWORD AppendPage(DWORD page);
    // The end-of-job record and the page count; closes the index.
    DWORD Finish(DWORD pageCount);
    // Closes the index and removes the page folder when it is empty.
    void RemoveJobFolder();

    DWORD spoolId() const { return spoolId_; }
    bool open() const { return index_ != nullptr; }

  private:
    DWORD Append(const std::vector<uint8_t>& bytes);
    void Close();

    HANDLE index_ = nullptr;
    std::u16string folder_;
    DWORD spoolId_ = 0;
    std::vector<uint8_t> lastDevmode_;
};

// Deletes the font files named in the font list, the font list, the index,
// page files 1 to pageCount and the page folder. Returns the first error.
// Files in the page folder under a package's own names ("EMF%05d.DAT",
// "F_%p.TMP") go whatever the count and the list say; a page folder that is
// a link is never entered.
DWORD DeleteSpoolPackage(const std::u16string& spoolFolder, DWORD spoolId, DWORD pageCount);

// Whether a name is one the package gives its own files in the page folder.
bool IsPackageFileName(const std::u16string& name);
// Whether a name read from data is a bare file name: no folder, no "." or "..".
bool IsBareFileName(const std::string& name);
bool IsBareFileName(const std::u16string& name);
// Whether the path is a folder itself, not a link to one.
bool IsOwnFolder(const std::u16string& folder);

// The claim of the process that records (and, on the library road, plays) a
// package or a print-to-file slot: a named memory object the process holds
// while it owns them, and a token that names it, written beside what it owns.
// The system drops a process's objects when it ends, however it ends, so a
// token whose object is gone is a job that will never finish; a process id
// used again cannot make a dead owner look alive.
class PackageOwner {
  public:
    PackageOwner() = default;
    PackageOwner(const PackageOwner&) = delete;
    PackageOwner& operator=(const PackageOwner&) = delete;
    ~PackageOwner();

    // The token, the object made at the first call; empty when no object
    // could be made (the job then marks nothing and is left to the logon's
    // clean-up).
    const std::u16string& Token();

  private:
    HANDLE object_ = nullptr;
    std::u16string token_;
};

// Whether the owner named by a token still runs. A token of another form, or
// an object that cannot be looked at, counts as alive: only a known dead
// owner's files are removed.
bool OwnerAlive(const std::u16string& token);
// Whether a token has the form PackageOwner gives it.
bool IsOwnerToken(const std::u16string& token);

// The owner's mark in a package's page folder: an empty file whose name holds
// the token, made whole in one step so that a mark is never read half written.
std::u16string OwnerMarkPath(const std::u16string& spoolFolder, DWORD spoolId,
                             const std::u16string& token);
// The token of a mark's file name; empty when the name is not a mark.
std::u16string OwnerTokenOfMark(const std::u16string& name);
// Gives the package up, to a player that owns it from then on.
void ReleasePackage(const std::u16string& spoolFolder, DWORD spoolId, const std::u16string& token);

// Deletes the packages of the spool folder whose owner is known to have
// ended: those whose page folder holds marks and no mark of a running owner.
// A package without a mark (one being made, one given to a player, one of an
// older driver) is left for the logon's clean-up. Returns how many went.
DWORD SweepDeadPackages(const std::u16string& spoolFolder);

} // namespace spoolpkg

namespace spoolpkg {

// The face name rewrite of a stored font: the font's bytes, the old and the
// new name (same length). False leaves the bytes as they were.
using RenameFont = bool (*)(std::vector<uint8_t>* font, const std::u16string& oldName,
                            const std::u16string& newName);

struct JobFont {
    uint64_t uniqueId = 0;
    // The whole TrueType file as its owner holds it (the engine's mapping):
    // written from there, copied only to be renamed.
    std::span<const uint8_t> file;
    bool alwaysUnique = false; // the model asks for unique names always
    DWORD seed = 0;            // of the random letters of a new name
};

// Puts a font into the package once: the font file beside the pages and its
// record in the font list. faceName (at most kFaceNameChars - 1 characters)
// is the application's face name on entry and the name to record on return.
// False (faceName unchanged) when the font was not stored.
bool AddJobFont(const std::u16string& spoolFolder, DWORD spoolId, JobFont font,
                std::u16string* faceName, RenameFont rename);

// The font list's records of a package; empty when there is none.
std::vector<FontEntry> ReadJobFonts(const std::u16string& spoolFolder, DWORD spoolId);

} // namespace spoolpkg
