// The records a job prompt exchanges across the process boundary, the
// shared memory blocks the job-prompt program reads them from, and the
// exports it binds by name from "Sheetwright.DLL". Every layout is fixed to
// the byte: another process wrote it, so readers check sizes and offsets
// against the block before use and terminate every text themselves.
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "win/environment.h"
#include "win/types.h"

// The user ID prompt's record: a secured job type's ID and password.
struct JobAuthRecord {
    WORD size; // 72
    WORD jobType;
    DWORD flags; // kJobAuthAsk
    CHAR userId[32];
    CHAR password[32];
};
static_assert(sizeof(JobAuthRecord) == 72 && offsetof(JobAuthRecord, jobType) == 2 &&
              offsetof(JobAuthRecord, flags) == 4 && offsetof(JobAuthRecord, userId) == 8 &&
              offsetof(JobAuthRecord, password) == 40);
inline constexpr DWORD kJobAuthAsk = 0x1;

// The job information prompt's record; both ask bits are cleared by an OK.
struct JobInfoRecord {
    DWORD size; // 124
    DWORD flags;
    CHAR jobName[84];
    CHAR userName[32];
};
static_assert(sizeof(JobInfoRecord) == 124 && offsetof(JobInfoRecord, flags) == 4 &&
              offsetof(JobInfoRecord, jobName) == 8 && offsetof(JobInfoRecord, userName) == 92);
inline constexpr DWORD kJobInfoAskUser = 0x10000;
inline constexpr DWORD kJobInfoAskJob = 0x20000;
inline constexpr DWORD kJobInfoAsked = kJobInfoAskUser | kJobInfoAskJob;

// The department ID prompt's record.
struct DeptCodeRecord {
    DWORD size;  // 40
    DWORD flags; // both kDeptAsk bits: ask the code
    CHAR code[32];
};
static_assert(sizeof(DeptCodeRecord) == 40 && offsetof(DeptCodeRecord, flags) == 4 &&
              offsetof(DeptCodeRecord, code) == 8);
inline constexpr DWORD kDeptAsk = 0x5;

// "VELMJOB%04d": the job prompt block the graphics library fills.
inline constexpr DWORD kJobPromptMagic = 0x11223344;
struct JobPromptMapping {
    DWORD magic;
    DWORD totalSize;
    WCHAR uiLibraryPath[260];
    WCHAR modelDataPath[260];
    INT kind;
    INT answered;        // 1 once the prompt was confirmed
    DWORD printerNameAt; // ANSI, NUL-terminated
};
static_assert(sizeof(JobPromptMapping) == 1060 && offsetof(JobPromptMapping, totalSize) == 4 &&
              offsetof(JobPromptMapping, uiLibraryPath) == 8 &&
              offsetof(JobPromptMapping, modelDataPath) == 528 &&
              offsetof(JobPromptMapping, kind) == 1048 &&
              offsetof(JobPromptMapping, answered) == 1052 &&
              offsetof(JobPromptMapping, printerNameAt) == 1056);
inline constexpr INT kPromptJobAuth = 1;
inline constexpr INT kPromptDeptCode = 4;
inline constexpr INT kPromptJobType = 8;
inline constexpr size_t kPromptRecordAt =
    1060; // the auth record (kinds 1, 8) or the dept record (4)
inline constexpr size_t kPromptJobInfoAt = 1132;  // kind 8
inline constexpr size_t kPromptDeptCodeAt = 1256; // kind 8

// "PRECHECK_MAPPING_NAME_%05d": the prior-print block; its two paths lie in
// the opposite order to the job prompt block's.
inline constexpr char kPreCheckMagic[4] = {'p', 'r', 'e', 'k'};
struct PreCheckMapping {
    CHAR magic[4];
    INT result;
    WCHAR modelDataPath[260];
    WCHAR uiLibraryPath[260];
    DWORD printerNameBytes; // with the terminator
    DWORD portNameBytes;    // with the terminator
    // WCHAR printer name, WCHAR port name, then DEVMODEW and its private part.
};
static_assert(sizeof(PreCheckMapping) == 1056 && offsetof(PreCheckMapping, result) == 4 &&
              offsetof(PreCheckMapping, modelDataPath) == 8 &&
              offsetof(PreCheckMapping, uiLibraryPath) == 528 &&
              offsetof(PreCheckMapping, printerNameBytes) == 1048 &&
              offsetof(PreCheckMapping, portNameBytes) == 1052);

// The prompt and check exports, declared once: Sheetwright defines them
// against these declarations and the job-prompt program and the graphics
// library call them through their types.
extern "C" {
DLLEXPORT [[nodiscard]] INT WINAPI uiInputJobSpoolUserPwdInfo(HANDLE printer, LPVOID modelData,
                                                              JobAuthRecord* record);
typedef decltype(&uiInputJobSpoolUserPwdInfo) PFN_uiInputJobSpoolUserPwdInfo;
DLLEXPORT [[nodiscard]] INT WINAPI uiInputDeptCodeInfo(HANDLE printer, LPVOID modelData,
                                                       DeptCodeRecord* record);
typedef decltype(&uiInputDeptCodeInfo) PFN_uiInputDeptCodeInfo;
DLLEXPORT [[nodiscard]] INT WINAPI uiInputJobSpoolExt(HANDLE printer, LPVOID modelData,
                                                      JobAuthRecord* auth, JobInfoRecord* info,
                                                      DeptCodeRecord* dept);
typedef decltype(&uiInputJobSpoolExt) PFN_uiInputJobSpoolExt;
DLLEXPORT [[nodiscard]] INT WINAPI uiInputUserJobInformation(HANDLE printer, LPVOID modelData,
                                                             JobInfoRecord* record);
typedef decltype(&uiInputUserJobInformation) PFN_uiInputUserJobInformation;
// 1: the job may print; 0: it must not. The device mode changes in place only
// when the user agreed to grayscale.
DLLEXPORT [[nodiscard]] BOOL WINAPI uiCheckPriorPrint(HANDLE printer, HWND owner, LPCWSTR port,
                                                      DEVMODEW* devmode, LPVOID privateBlock,
                                                      LPVOID modelData, DWORD mode);
typedef decltype(&uiCheckPriorPrint) PFN_uiCheckPriorPrint;
}
