// The spool-side road of a job: the package in the working folder's "spool"
// folder, one page file open between page start and page end, the TrueType
// fonts the pages use, and the job's errors reported once to the user.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "emf_page.h"
#include "emf_recorder.h"
#include "layout_scale.h"
#include "spool_package.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// The job's error slots.
enum class JobErrorSlot { Package = 0, PageWrite = 1 };

struct EmfJob {
    std::u16string spoolFolder; // ends with a backslash
    spoolpkg::PackageWriter package;
    spoolpkg::EmfPageWriter page;
    spoolpkg::PageGeometry geometry;
    DWORD openPage = 0; // the number of the open page file, 0 when none
    DWORD errors[2] = {};
    DWORD shown = 0; // message classes already shown this job
    RecorderState recorder;
    LayoutInputs layout; // copied at the first page
    WORD layoutScale = kFullScale;
    // The fonts the package's font list holds (id, recorded face name), so
    // that text drawn again in a listed font reads no file; for the package
    // of listedFontsSpoolId.
    DWORD listedFontsSpoolId = 0;
    std::map<uint64_t, std::u16string> listedFonts;
    // This process's claim on the package and its print-to-file slot, held
    // until the device forgets the job (after the library road's replay).
    spoolpkg::PackageOwner owner;
};

// The device's job state, made on first use; null when out of memory.
EmfJob* EmfJobOf(PDEV* pdev);
void FreeEmfJob(PDEV* pdev);

// Keeps an error for the job's message; a not-enough-memory or disk-full
// error already held is the one reported.
void StoreJobError(PDEV* pdev, JobErrorSlot slot, DWORD error);

// The package's life cycle (the index is open from the first page to the end).
BOOL CreateSpoolPackage(PDEV* pdev);
BOOL WriteSpoolDevmode(PDEV* pdev);
BOOL AppendSpoolPage(PDEV* pdev);
BOOL FinishSpoolFile(PDEV* pdev);
void RemoveJobFolder(PDEV* pdev);
void DeleteSpoolPackage(PDEV* pdev);

// The page file of the current page: opened with its header (the recorder
// starts afresh), written record by record, closed with its sizes patched in.
BOOL OpenEmfPage(PDEV* pdev);
// The header record of the page's geometry, its sizes and counts still 0.
BOOL WriteEmfHeader(PDEV* pdev);
BOOL WriteEmfData(PDEV* pdev, const void* data, size_t length, bool countsAsRecord);
BOOL CloseEmfPage(PDEV* pdev);
// A page file is open to record into.
bool RecordingPage(const PDEV* pdev);

// Puts the font's TrueType file into the package once. faceName holds the
// application's face name (36 characters with the terminator) and receives
// the name to record. FALSE, the buffer unchanged, when it was not stored.
BOOL AddJobFont(PDEV* pdev, FONTOBJ* pfo, WCHAR (&faceName)[spoolpkg::kFaceNameChars]);

// Rewrites the family and full names (Windows platform) that equal oldName in
// the name table of every member of a font file or collection, and the
// table's checksum. Every offset is checked through the font reader and the
// table's own bounds; a new name of another length is refused.
bool RenameFontFile(std::vector<uint8_t>* font, const std::u16string& oldName,
                    const std::u16string& newName);

// The message for the job's error code, once per job and class of error.
void ShowPrintError(PDEV* pdev, DWORD error);

} // namespace inkforge
