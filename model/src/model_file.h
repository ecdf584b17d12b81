// The model data file as Modelsmith reads it: a bounds-checked view of the
// caller's block, the lookup of a code's record and the record cursor.
//
// The caller passes no length: the block's own total size (the u32 at offset 4)
// bounds every read. Any read that would leave the block throws Malformed,
// which the query entry turns into ERROR_NOT_SUPPORTED.
#pragma once

#include <cstdint>
#include <cstring>

#include "win/types.h"

namespace model {

struct Malformed {};

inline constexpr std::uint32_t kHeaderSize = 24;
inline constexpr unsigned kFirstFormat = 257; // 0x101
inline constexpr unsigned kLastFormat = 303;  // 0x12F

class ModelFile {
  public:
    // base must hold at least the 8 bytes of magic and size; the rest is
    // bounded by the size the block states.
    ModelFile(const std::uint8_t* base, std::uint32_t size) : base_(base), size_(size) {}

    std::uint32_t size() const { return size_; }
    const std::uint8_t* base() const { return base_; }

    bool Has(std::uint64_t off, std::uint64_t len) const {
        return off <= size_ && len <= size_ - off;
    }
    void Need(std::uint64_t off, std::uint64_t len) const {
        if (!Has(off, len)) throw Malformed{};
    }
    std::uint32_t U32(std::uint64_t off) const {
        Need(off, 4);
        std::uint32_t v;
        std::memcpy(&v, base_ + off, 4);
        return v;
    }
    std::int32_t I32(std::uint64_t off) const { return static_cast<std::int32_t>(U32(off)); }
    std::uint16_t U16(std::uint64_t off) const {
        Need(off, 2);
        std::uint16_t v;
        std::memcpy(&v, base_ + off, 2);
        return v;
    }
    const std::uint8_t* Bytes(std::uint64_t off, std::uint64_t len) const {
        Need(off, len);
        return base_ + off;
    }
    // Length of the zero-terminated string at off; its NUL must lie inside.
    std::uint32_t StringLength(std::uint64_t off) const;

    // Format version (u16 at 22) and the whole version word (u32 at 20).
    unsigned Format() const { return U16(22); }
    std::uint32_t VersionWord() const { return U32(20); }

  private:
    const std::uint8_t* base_;
    std::uint32_t size_;
};

// Checks the header of a caller's block and gives the bounded view of it.
// Returns 0, or ERROR_INVALID_DATA for a missing block, a wrong magic, a size
// too small for the header or a format version outside 257..303.
DWORD OpenModelFile(const void* data, ModelFile* file);

// The offset of code's record: 0 with *record set, ERROR_NOT_SUPPORTED when the
// model has no record for the code, ERROR_INVALID_DATA when the table points
// outside the file.
DWORD FindModelRecord(const ModelFile& f, int code, std::uint32_t* record);

// One decoding's position in a code's record. Offsets are from the start of
// the file; current 0 means no entry (offset 0 holds the magic, never an entry).
struct ModelCursor {
    std::uint32_t version = 0; // the file's version word
    std::uint32_t reserved = 0;
    std::uint64_t record = 0;
    std::uint64_t current = 0;
    std::int32_t remaining = 0;
    std::int16_t code = 0;
    std::int16_t selector = 0; // kept across resets: the layout for codes 14 and 71
    std::int32_t count = 0;    // entries of the record (0 when it has none)

    unsigned Format() const { return version >> 16; }
};

// Where the record at `record` ends: the nearest start of another record or of
// the offset table above it, else the end of the file. A fixed record carries
// no length of its own; its bytes stop where the next thing begins.
std::uint64_t RecordEnd(const ModelFile& f, std::uint64_t record);

// Prepares the cursor on the code's first entry (or string). For list codes
// the whole walk is checked against the file before the cursor is returned,
// so that sizes answered before the data call hold for it.
DWORD LocateModelRecord(const ModelFile& f, int code, ModelCursor* cursor);

// Steps to the next entry; returns its offset, or 0 at the end.
std::uint64_t NextModelEntry(const ModelFile& f, ModelCursor* cursor);

// Where an entry of the cursor's code ends (the next entry's offset). Throws
// Malformed when any part of the entry lies outside the file.
std::uint64_t EntryEnd(const ModelFile& f, const ModelCursor& cursor, std::uint64_t entry);

} // namespace model
