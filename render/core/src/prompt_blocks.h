// The named shared memory blocks of the job-prompt program: the job prompt
// block "VELMJOB%04d" and the prior-print block "PRECHECK_MAPPING_NAME_%05d".
// Both cross a process boundary, so their layouts are fixed to the byte.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "private_devmode.h"
#include "win/types.h"

namespace inkforge {

constexpr DWORD kJobPromptMagic = 0x11223344;
constexpr DWORD kPreCheckMagic = 0x6B657270; // "prek"

struct JobAuthRecord {
    WORD size; // 72
    WORD jobType;
    DWORD flags; // bit 0: ask for the job data
    CHAR id[32];
    CHAR password[32];
};
static_assert(sizeof(JobAuthRecord) == 72 && offsetof(JobAuthRecord, jobType) == 2 &&
              offsetof(JobAuthRecord, flags) == 4 && offsetof(JobAuthRecord, id) == 8 &&
              offsetof(JobAuthRecord, password) == 40);

struct DeptCodeRecord {
    DWORD size; // 40
    DWORD flags;
    CHAR code[32];
};
static_assert(sizeof(DeptCodeRecord) == 40 && offsetof(DeptCodeRecord, code) == 8);

struct JobInfoRecord {
    DWORD size; // 124
    DWORD flags;
    CHAR jobName[84];
    CHAR userName[32];
};
static_assert(sizeof(JobInfoRecord) == 124 && offsetof(JobInfoRecord, jobName) == 8 &&
              offsetof(JobInfoRecord, userName) == 92);

// The fixed head of the job prompt block; its records follow at the offsets below.
struct JobPromptMapping {
    DWORD magic;
    DWORD totalSize;
    WCHAR uiLibraryPath[260];
    WCHAR modelDataPath[260];
    INT kind;
    INT done;
    DWORD nameOffset;
};
static_assert(sizeof(JobPromptMapping) == 1060 && offsetof(JobPromptMapping, uiLibraryPath) == 8 &&
              offsetof(JobPromptMapping, modelDataPath) == 528 &&
              offsetof(JobPromptMapping, kind) == 1048 &&
              offsetof(JobPromptMapping, done) == 1052 &&
              offsetof(JobPromptMapping, nameOffset) == 1056);

// Where the records of each kind lie.
constexpr size_t kRecordsAt = 1060;
constexpr size_t kCombinedInfoAt = 1132;
constexpr size_t kCombinedDeptAt = 1256;
// The printer name's offset for a kind (0 for a kind without a block).
DWORD PromptNameOffset(int kind);

// The fixed head of the prior-print block; the names and the device mode follow.
struct PreCheckMapping {
    DWORD magic;
    INT result; // non-zero: go on printing
    WCHAR modelDataPath[260];
    WCHAR uiLibraryPath[260];
    DWORD printerNameBytes;
    DWORD portBytes;
};
static_assert(sizeof(PreCheckMapping) == 1056 && offsetof(PreCheckMapping, result) == 4 &&
              offsetof(PreCheckMapping, modelDataPath) == 8 &&
              offsetof(PreCheckMapping, uiLibraryPath) == 528 &&
              offsetof(PreCheckMapping, printerNameBytes) == 1048 &&
              offsetof(PreCheckMapping, portBytes) == 1052);
// Room after the variable part, kept so the block size matches the program's.
constexpr size_t kPreCheckTail = 4;

// What the blocks carry besides the device mode.
struct PromptPaths {
    std::u16string uiLibrary;
    std::u16string modelData;
};

// The whole job prompt block of a kind, or empty for a kind without one.
// askJobData is job flag 0x80.
std::vector<BYTE> BuildJobPromptBlock(int kind, const DevmodeImage& d, bool askJobData,
                                      const PromptPaths& paths, const std::string& printerNameAnsi);

// Copies a confirmed prompt's answers from a block into the device mode. Each
// answer is cut at its NUL, at its field's end in the block and at the device
// mode field's size less one, and the rest of the field is zeroed.
void TakeJobPromptAnswers(int kind, const BYTE* block, size_t blockSize, DevmodeImage* d);

// The whole prior-print block; the result word starts as "print" (1).
std::vector<BYTE> BuildPreCheckBlock(const DevmodeImage& d, const PromptPaths& paths,
                                     const std::u16string& printer, const std::u16string& port);

// The device mode the prior-print check handed back, when it is the driver's
// own of the same sizes; false leaves *d as it was.
bool TakePreCheckDevmode(const BYTE* block, size_t blockSize, DevmodeImage* d);

} // namespace inkforge
