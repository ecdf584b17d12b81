// Writing and deleting the EMF spool package in the per-user working folder's
// "spool" folder. The page files themselves are the metafile recorder's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package_format.h"
#include "package_reader.h"
#include "win/types.h"

namespace spoolpkg {

// The spool folder under a working folder that ends with a backslash.
std::u16string SpoolFolder(const std::u16string& workingFolder);
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
    DWORD Create(const std::u16string& spoolFolder, DWORD jobId,
                 const uint8_t (&ansiDevmode)[kAnsiDevmodeSize], const std::u16string& printerName,
                 const std::u16string& documentName);
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

} // namespace spoolpkg

namespace spoolpkg {

// The face name rewrite of a stored font: the font's bytes, the old and the
// new name (same length). False leaves the bytes as they were.
using RenameFont = bool (*)(std::vector<uint8_t>* font, const std::u16string& oldName,
                            const std::u16string& newName);

struct JobFont {
    uint64_t uniqueId = 0;
    std::vector<uint8_t> file; // the whole TrueType file
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
