// CUserPaper: the user's own paper sizes of one model, kept in "UDPAPER.DAT"
// in the per-user settings folder.
#pragma once

#include <string>
#include <vector>

#include "driver_env.h"
#include "win/types.h"

namespace sheetwright {

// One user paper, the same 46 bytes in memory and in the file. The custom
// paper dialog fills the unit and both measures; the list carries them
// unchanged and answers sizes in 0.1 mm.
#pragma pack(push, 1)
struct UserPaperRecord {
    char name[32];     // ANSI, NUL-terminated; compared without regard to case
    WORD paperId;      // 456..32767
    WORD unit[2];      // u32 (low word first): non-zero entered in millimetres, 0 inches
    WORD widthTenthMm; // width in 0.1 mm
    WORD widthHundredthIn;
    WORD lengthTenthMm; // length in 0.1 mm
    WORD lengthHundredthIn;

    DWORD Unit() const { return unit[0] | static_cast<DWORD>(unit[1]) << 16; }
    void SetUnit(DWORD v) {
        unit[0] = static_cast<WORD>(v);
        unit[1] = static_cast<WORD>(v >> 16);
    }
};
#pragma pack(pop)
static_assert(sizeof(UserPaperRecord) == 46);
static_assert(offsetof(UserPaperRecord, paperId) == 32);
static_assert(offsetof(UserPaperRecord, unit) == 34);
static_assert(offsetof(UserPaperRecord, widthTenthMm) == 38);
static_assert(offsetof(UserPaperRecord, widthHundredthIn) == 40);
static_assert(offsetof(UserPaperRecord, lengthTenthMm) == 42);
static_assert(offsetof(UserPaperRecord, lengthHundredthIn) == 44);

inline constexpr WORD kFirstUserPaperId = 456;
inline constexpr WORD kLastUserPaperId = 32767;
inline constexpr char16_t kUserPaperFileName[] = u"UDPAPER.DAT";

// The file: a header, then the records.
inline constexpr char kUserPaperMagic[4] = {'P', 'D', 'U', 'Z'};
inline constexpr WORD kUserPaperVersion = 1;
inline constexpr WORD kUserPaperHeaderSize = 32;
inline constexpr WORD kUserPaperMinHeaderSize = 16;
inline constexpr WORD kUserPaperRecordKind = 1;

class CUserPaper {
  public:
    CUserPaper() = default;

    void SetPath(const std::u16string& folder);
    // The per-user settings folder of the binding's model.
    void SetDefaultPath(const ModelBlock* binding);
    const std::u16string& Path() const { return path_; }

    BOOL Read();
    BOOL Write();
    BOOL Add(const UserPaperRecord* record);
    // Removes the record of that id; FALSE when there is none.
    BOOL Remove(WORD paperId);
    // Overwrites the record of the same id in place (the id is kept); FALSE
    // when there is none.
    BOOL Replace(const UserPaperRecord* record);

    const UserPaperRecord* FindByName(LPCWSTR name) const;
    const UserPaperRecord* FindById(WORD paperId) const;
    BOOL GetSize(WORD paperId, WORD* width, WORD* length) const;

    WORD Count() const { return static_cast<WORD>(records_.size()); }
    const UserPaperRecord* At(WORD index) const {
        return index < records_.size() ? &records_[index] : nullptr;
    }
    WORD NextId() const { return nextId_; }
    void SetNextId(WORD id) { nextId_ = id; }

    // The file image of the list, and the list of a file image: the one
    // bounds-checked reader of the format. Parse returns FALSE for a header
    // it does not accept or a file shorter than its header says; *nextId is
    // set whenever the header could be read.
    std::vector<BYTE> Serialize() const { return Serialize(records_, nextId_); }
    static std::vector<BYTE> Serialize(const std::vector<UserPaperRecord>& records, WORD nextId);
    static BOOL Parse(const BYTE* data, size_t size, std::vector<UserPaperRecord>* records,
                      WORD* nextId);

  private:
    // 0 when every id is taken.
    WORD NewId();

    std::u16string path_;
    std::vector<UserPaperRecord> records_;
    WORD nextId_ = 0;
};

} // namespace sheetwright
