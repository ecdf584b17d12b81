// Print to file on the spool-side road, and the job's error message. The
// first job cannot write the user's file: the spool side plays the package
// into a second job whose output goes to a temporary file, and only when that
// job completes is the temporary file copied to the name the user chose. The
// three steps meet in "OutFile.INI" of the spool folder, one slot of three
// keys per pending job.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace inkforge {

struct PDEV;

constexpr char16_t kOutputFileList[] = u"OutFile.INI";
constexpr char16_t kOutputFileSection[] = u"OutputFileFlag";
constexpr DWORD kOutputFileSlots = 10000;

// Takes the first free slot for a job that prints to a file: the spool id
// as JobID, the user's file as Dest, no Source. FALSE when the job does not
// print to a file or every slot is taken.
BOOL AddOutputFileEntry(PDEV* pdev);
// The slot carries the owner token when given (an "Owner" key beside the
// three): the process that records the job and plays it on the library road.
BOOL AddOutputFileEntry(const std::u16string& spoolFolder, DWORD spoolId,
                        const std::u16string& destination, const std::u16string& ownerToken = {});

// Frees the slots whose owner has ended, with their temporary copies ("~tmp"
// files of the spool folder): a job killed before its copy was made. Slots
// without an owner are left to the logon's clean-up. Returns how many went.
DWORD SweepDeadOutputFiles(const std::u16string& spoolFolder);

// At the completion of the second job: copies its output file to the Dest of
// its slot and frees the slot. TRUE when the output was copied.
BOOL CompleteOutputFiles(PDEV* pdev);
BOOL CompleteOutputFiles(const std::u16string& spoolFolder, DWORD jobNumber,
                         const std::u16string& outputFile);

// The clean-up at the next logon: a run-once value of the current user that
// starts the clean-up program on the spool folder, so that a package no job
// finished is not left behind.
constexpr char16_t kRunOnceKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// "EMF_" and the model names joined by "_", blanks made "_".
std::u16string CleanupValueName(const std::vector<std::u16string>& modelNames);
// "\"program\" \"folder\"", the folder without its final backslash.
std::u16string CleanupCommandLine(const std::u16string& program, const std::u16string& spoolFolder);
// TRUE when the value was set; FALSE, nothing written, when the model data,
// the model library or the clean-up program's name is missing.
BOOL AddCleanupRunOnce(PDEV* pdev, const std::u16string& spoolFolder);

} // namespace inkforge
