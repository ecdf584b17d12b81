// The user paper list and its file.
#include "user_paper.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "settings_file.h"
#include "win/base.h"

namespace sheetwright {
namespace {

WORD ReadU16(const BYTE* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}
void PutU16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}

// Largest file the reader takes: a full header and 65535 records of the
// largest record size would be far beyond any real list.
constexpr DWORD kMaxUserPaperFile = 16u << 20;

} // namespace

void CUserPaper::SetPath(const std::u16string& folder) {
    path_.clear();
    if (folder.empty()) return;
    path_ = folder;
    if (path_.back() != u'\\') path_ += u'\\';
    path_ += kUserPaperFileName;
}

void CUserPaper::SetDefaultPath(const ModelBlock* binding) {
    BoundModel bound{};
    BindModelInfo(&bound, binding);
    std::u16string folder;
    // Best-effort: an empty folder makes SetPath leave the list without a file.
    (void)GetUserSettingsFolder(bound.query, bound.modelData, &folder);
    SetPath(folder);
}

BOOL CUserPaper::Parse(const BYTE* data, size_t size, std::vector<UserPaperRecord>* records,
                       WORD* nextId) {
    records->clear();
    if (!data || size < kUserPaperMinHeaderSize) return FALSE;
    if (std::memcmp(data, kUserPaperMagic, 4) != 0) return FALSE;
    const WORD version = ReadU16(data + 4);
    const WORD headerSize = ReadU16(data + 6);
    const WORD recordSize = ReadU16(data + 8);
    const WORD kind = ReadU16(data + 10);
    const WORD count = ReadU16(data + 12);
    if (version >= 2 || headerSize < kUserPaperMinHeaderSize || kind >= 2) return FALSE;
    if (nextId) *nextId = ReadU16(data + 14);
    if (kind != kUserPaperRecordKind || count == 0) return TRUE;
    // A record must hold the 46 bytes that are kept of it. Records are read
    // until the file ends: a file shorter than its count (a torn write) keeps
    // the records that are whole.
    if (recordSize < sizeof(UserPaperRecord)) return FALSE;
    const size_t whole = size > headerSize ? (size - headerSize) / recordSize : 0;
    const WORD kept = static_cast<WORD>(std::min<size_t>(count, whole));
    records->resize(kept);
    for (WORD i = 0; i < kept; ++i) {
        std::memcpy(&(*records)[i], data + headerSize + size_t{recordSize} * i,
                    sizeof(UserPaperRecord));
        // The name is a C string within its field whatever the file says.
        (*records)[i].name[sizeof(UserPaperRecord::name) - 1] = 0;
    }
    return TRUE;
}

std::vector<BYTE> CUserPaper::Serialize(const std::vector<UserPaperRecord>& records, WORD nextId) {
    std::vector<BYTE> out(kUserPaperHeaderSize + records.size() * sizeof(UserPaperRecord), 0);
    std::memcpy(out.data(), kUserPaperMagic, 4);
    PutU16(out.data() + 4, kUserPaperVersion);
    PutU16(out.data() + 6, kUserPaperHeaderSize);
    PutU16(out.data() + 8, sizeof(UserPaperRecord));
    PutU16(out.data() + 10, kUserPaperRecordKind);
    PutU16(out.data() + 12, static_cast<WORD>(records.size()));
    PutU16(out.data() + 14, nextId);
    if (!records.empty())
        std::memcpy(out.data() + kUserPaperHeaderSize, records.data(),
                    records.size() * sizeof(UserPaperRecord));
    return out;
}

BOOL CUserPaper::Read() {
    records_.clear();
    if (path_.empty()) return FALSE;
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path_.c_str(), kMaxUserPaperFile, &bytes)) return FALSE;
    try {
        return Parse(bytes.data(), bytes.size(), &records_, &nextId_);
    } catch (const std::bad_alloc&) {
        records_.clear();
        return FALSE;
    }
}

BOOL CUserPaper::Write() {
    if (path_.empty()) return FALSE;
    std::vector<BYTE> image;
    try {
        image = Serialize();
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    // The settings folder is made on the first write.
    size_t slash = path_.rfind(u'\\');
    if (slash != std::u16string::npos) {
        std::u16string folder = path_.substr(0, slash);
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CreateDirectoryTree(folder.c_str()))
            return FALSE;
    }
    return WriteWholeFile(path_.c_str(), image.data(), static_cast<DWORD>(image.size()));
}

WORD CUserPaper::NewId() {
    auto taken = [this](WORD id) { return FindById(id) != nullptr; };
    if (nextId_ < kFirstUserPaperId) nextId_ = kFirstUserPaperId;
    // An id that a record already carries (a file whose next id fell behind)
    // is passed over, so that no two papers share an id.
    while (nextId_ < kLastUserPaperId && taken(nextId_))
        ++nextId_;
    if (nextId_ < kLastUserPaperId) return nextId_++;
    for (DWORD id = kFirstUserPaperId; id <= kLastUserPaperId; ++id)
        if (!taken(static_cast<WORD>(id))) return static_cast<WORD>(id);
    return 0;
}

BOOL CUserPaper::Add(const UserPaperRecord* record) {
    if (!record) return FALSE;
    const WORD saved = nextId_;
    WORD id = NewId();
    if (id == 0) {
        nextId_ = saved;
        return FALSE;
    }
    try {
        records_.push_back(*record);
    } catch (const std::bad_alloc&) {
        nextId_ = saved;
        return FALSE;
    }
    records_.back().paperId = id;
    records_.back().name[sizeof(UserPaperRecord::name) - 1] = 0;
    return TRUE;
}

BOOL CUserPaper::Remove(WORD paperId) {
    for (auto it = records_.begin(); it != records_.end(); ++it) {
        if (it->paperId == paperId) {
            records_.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CUserPaper::Replace(const UserPaperRecord* record) {
    if (!record) return FALSE;
    for (auto& r : records_) {
        if (r.paperId == record->paperId) {
            r = *record;
            r.name[sizeof(UserPaperRecord::name) - 1] = 0;
            return TRUE;
        }
    }
    return FALSE;
}

const UserPaperRecord* CUserPaper::FindByName(LPCWSTR name) const {
    if (!name) return nullptr;
    char ansi[sizeof(UserPaperRecord::name)] = {};
    WideToAnsi(ansi, name, sizeof ansi);
    for (const auto& r : records_)
        if (lstrcmpiA(r.name, ansi) == 0) return &r;
    return nullptr;
}

const UserPaperRecord* CUserPaper::FindById(WORD paperId) const {
    for (const auto& r : records_)
        if (r.paperId == paperId) return &r;
    return nullptr;
}

BOOL CUserPaper::GetSize(WORD paperId, WORD* width, WORD* length) const {
    if (!width || !length) return FALSE;
    const UserPaperRecord* r = FindById(paperId);
    if (!r) return FALSE;
    *width = r->widthTenthMm;
    *length = r->lengthTenthMm;
    return TRUE;
}

} // namespace sheetwright
