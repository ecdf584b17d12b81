// Filling and reading the job-prompt program's shared memory blocks.
#include "prompt_blocks.h"

#include <algorithm>
#include <cstring>

#include "job_handoffs.h"

namespace inkforge {
namespace {

constexpr size_t kPathChars = 260;

void PutPath(WCHAR* field, const std::u16string& path) {
    size_t n = std::min(path.size(), kPathChars - 1);
    std::memcpy(field, path.data(), n * sizeof(WCHAR));
    field[n] = 0;
}

// A text field of the device mode into a record field of the same size, NUL
// terminated within it.
void PutText(CHAR* field, size_t fieldSize, const BYTE* from, size_t fromSize) {
    std::memset(field, 0, fieldSize);
    const char* p = reinterpret_cast<const char*>(from);
    size_t n = strnlen(p, std::min(fromSize, fieldSize - 1));
    std::memcpy(field, p, n);
}

// An answer of the block into a device-mode field: bounded by the block, the
// answer's field and the target's size.
void TakeText(const BYTE* block, size_t blockSize, size_t at, size_t answerField, BYTE* to,
              size_t toSize) {
    std::memset(to, 0, toSize);
    if (at >= blockSize) return;
    size_t room = std::min({answerField, blockSize - at, toSize - 1});
    const char* p = reinterpret_cast<const char*>(block + at);
    std::memcpy(to, p, strnlen(p, room));
}

JobAuthRecord AuthRecord(const DevmodeImage& d, bool askJobData) {
    JobAuthRecord r{};
    r.size = sizeof r;
    r.jobType = PrivU16(d, priv::JobType);
    r.flags = askJobData ? 1 : 0;
    size_t id = r.jobType == 3 ? priv::SecureBoxId : priv::MailboxId;
    PutText(r.id, sizeof r.id, d.priv + id, priv::JobTextSize);
    PutText(r.password, sizeof r.password, d.priv + priv::SecurePassword, priv::JobTextSize);
    return r;
}

DeptCodeRecord DeptRecord(const DevmodeImage& d) {
    DeptCodeRecord r{};
    r.size = sizeof r;
    r.flags = PrivU16(d, priv::DeptCounterFlags);
    PutText(r.code, sizeof r.code, d.priv + priv::DeptCode, priv::JobTextSize);
    return r;
}

JobInfoRecord InfoRecord(const DevmodeImage& d) {
    JobInfoRecord r{};
    r.size = sizeof r;
    r.flags = PrivU32(d, priv::JobInfoFlags);
    PutText(r.jobName, sizeof r.jobName, d.priv + priv::JobName, priv::JobNameSize);
    PutText(r.userName, sizeof r.userName, d.priv + priv::UserName, priv::UserNameSize);
    return r;
}

template <class T> void Put(std::vector<BYTE>& b, size_t at, const T& v) {
    std::memcpy(b.data() + at, &v, sizeof v);
}

} // namespace

DWORD PromptNameOffset(int kind) {
    switch (kind) {
    case kPromptJobData:
        return kRecordsAt + sizeof(JobAuthRecord);
    case kPromptDeptCode:
        return kRecordsAt + sizeof(DeptCodeRecord);
    case kPromptCombined:
        return kCombinedDeptAt + sizeof(DeptCodeRecord);
    default:
        return 0;
    }
}

std::vector<BYTE> BuildJobPromptBlock(int kind, const DevmodeImage& d, bool askJobData,
                                      const PromptPaths& paths,
                                      const std::string& printerNameAnsi) {
    DWORD nameAt = PromptNameOffset(kind);
    if (!nameAt) return {};
    size_t total = nameAt + (printerNameAnsi.empty() ? 0 : printerNameAnsi.size() + 1);
    std::vector<BYTE> b(total, 0);
    JobPromptMapping h{};
    h.magic = kJobPromptMagic;
    h.totalSize = static_cast<DWORD>(total);
    PutPath(h.uiLibraryPath, paths.uiLibrary);
    PutPath(h.modelDataPath, paths.modelData);
    h.kind = kind;
    h.done = 0;
    h.nameOffset = nameAt;
    Put(b, 0, h);
    if (kind == kPromptJobData || kind == kPromptCombined)
        Put(b, kRecordsAt, AuthRecord(d, askJobData));
    if (kind == kPromptDeptCode) Put(b, kRecordsAt, DeptRecord(d));
    if (kind == kPromptCombined) {
        Put(b, kCombinedInfoAt, InfoRecord(d));
        Put(b, kCombinedDeptAt, DeptRecord(d));
    }
    if (!printerNameAnsi.empty())
        std::memcpy(b.data() + nameAt, printerNameAnsi.c_str(), printerNameAnsi.size() + 1);
    return b;
}

void TakeJobPromptAnswers(int kind, const BYTE* block, size_t blockSize, DevmodeImage* d) {
    if (kind == kPromptJobData || kind == kPromptCombined) {
        const size_t auth = kRecordsAt;
        WORD jobType = 0;
        if (blockSize >= auth + 4) std::memcpy(&jobType, block + auth + 2, sizeof jobType);
        size_t id = jobType == 3 ? priv::SecureBoxId : priv::MailboxId;
        TakeText(block, blockSize, auth + offsetof(JobAuthRecord, id), 32, d->priv + id,
                 priv::JobTextSize);
        TakeText(block, blockSize, auth + offsetof(JobAuthRecord, password), 32,
                 d->priv + priv::SecurePassword, priv::JobTextSize);
    }
    if (kind == kPromptDeptCode)
        TakeText(block, blockSize, kRecordsAt + offsetof(DeptCodeRecord, code), 31,
                 d->priv + priv::DeptCode, priv::JobTextSize);
    if (kind == kPromptCombined)
        TakeText(block, blockSize, kCombinedDeptAt + offsetof(DeptCodeRecord, code), 31,
                 d->priv + priv::DeptCode, priv::JobTextSize);
}

std::vector<BYTE> BuildPreCheckBlock(const DevmodeImage& d, const PromptPaths& paths,
                                     const std::u16string& printer, const std::u16string& port) {
    DWORD nameBytes = static_cast<DWORD>((printer.size() + 1) * sizeof(WCHAR));
    DWORD portBytes = static_cast<DWORD>((port.size() + 1) * sizeof(WCHAR));
    size_t dmBytes = sizeof(DevmodeImage);
    std::vector<BYTE> b(sizeof(PreCheckMapping) + nameBytes + portBytes + dmBytes + kPreCheckTail,
                        0);
    PreCheckMapping h{};
    h.magic = kPreCheckMagic;
    h.result = 1;
    PutPath(h.modelDataPath, paths.modelData);
    PutPath(h.uiLibraryPath, paths.uiLibrary);
    h.printerNameBytes = nameBytes;
    h.portBytes = portBytes;
    Put(b, 0, h);
    size_t at = sizeof(PreCheckMapping);
    std::memcpy(b.data() + at, printer.c_str(), nameBytes);
    at += nameBytes;
    std::memcpy(b.data() + at, port.c_str(), portBytes);
    at += portBytes;
    std::memcpy(b.data() + at, &d, dmBytes);
    return b;
}

bool TakePreCheckDevmode(const BYTE* block, size_t blockSize, DevmodeImage* d) {
    if (blockSize < sizeof(PreCheckMapping)) return false;
    PreCheckMapping h;
    std::memcpy(&h, block, sizeof h);
    size_t at = sizeof(PreCheckMapping) + static_cast<size_t>(h.printerNameBytes) + h.portBytes;
    if (h.printerNameBytes > blockSize || h.portBytes > blockSize || at > blockSize ||
        blockSize - at < sizeof(DevmodeImage))
        return false;
    DevmodeImage back;
    std::memcpy(&back, block + at, sizeof back);
    if (back.dm.dmSize != d->dm.dmSize || back.dm.dmDriverExtra != d->dm.dmDriverExtra ||
        back.dm.dmSize != kPublicSize || back.dm.dmDriverExtra != kPrivateSize ||
        !HasOwnSignature(back.priv))
        return false;
    *d = back;
    return true;
}

} // namespace inkforge
