// The hand-off of a spool-side job at the end of the document: to the
// spool-side library's ZORPrintEMF with the job record, or to the spool-side
// program with a parameter file in the temporary folder.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "emfplay/metaweave.h"
#include "job_handoffs.h"
#include "win/types.h"

namespace inkforge {

struct PDEV;

// Job record flags.
constexpr DWORD kEmfJobAlways = 0x1 | 0x2;
constexpr DWORD kEmfJobCombined = 0x4;
constexpr DWORD kEmfJobToFile = 0x10;

using EmfJobRecord = ::EmfJobRecord;

struct EmfJobParamFile {
    DWORD version; // 1
    DWORD flags;
    CHAR workingFolder[260];
    CHAR modelDataPath[260];
};
static_assert(sizeof(EmfJobParamFile) == 528 && offsetof(EmfJobParamFile, workingFolder) == 8 &&
              offsetof(EmfJobParamFile, modelDataPath) == 268);

inline constexpr char kSpoolSideLibrary[] = "Metaweave.DLL";
inline constexpr char kSpoolSideProgram[] = "Metaweave.EXE";

// Texts longer than their fields are cut, NUL kept.
EmfJobRecord MakeEmfJobRecord(DWORD spoolId, bool combined, bool printToFile,
                              const std::string& workingFolder);
EmfJobParamFile MakeEmfJobParamFile(bool combined, bool printToFile,
                                    const std::string& workingFolder,
                                    const std::string& modelDataPath);

// Hands the job to ZORPrintEMF; false when a library or the export is missing.
// *replayed (when given) tells whether ZORPrintEMF reported the job replayed.
bool HandOffToMetaweave(PDEV* pdev, bool printToFile, bool* replayed = nullptr);
// Writes the parameter file and starts the program, without waiting for it.
// The parameter file's path is put in *paramFile when given.
BOOL StartEmfProcessorProgram(PDEV* pdev, bool printToFile, const std::u16string& driverFolder,
                              std::u16string* paramFile = nullptr);

} // namespace inkforge
