// Answer layouts of the model queries whose record is one fixed record. Every
// layout copies the record's leading slots: an answer of n bytes is the
// record's first n bytes, so two i16 fields of an answer share one slot (the
// low half first) and layout 2 of an 8-byte answer is slots 0 and 1 whatever
// layout 1 reads. Bytes past the record's end (the next record's start) answer
// zero. Two layouts narrow instead, one slot per field: 45 layout 2 (slots 1 to
// 4, skipped slot 'x') and 55 layout 1.
//
// Shared by Modelsmith, which answers them, and the model data compiler,
// which writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace model {

struct FixedLayout {
    std::int16_t code;
    std::int8_t layout;
    std::uint16_t size;  // answer size in bytes
    std::uint16_t since; // first format version that has it (0: every version)
    const char* fields;  // 'L' u32, 'W' i16, 'C<n>' char[n] (naturally aligned), 'x' a slot skipped
    bool narrows = false; // one record slot per field instead of the record's bytes
};

enum class FieldKind { U32, I16, Text };
struct FixedField {
    FieldKind kind;
    std::uint16_t offset; // in the answer
    std::uint16_t bytes;  // 4, 2 or the text's size
    std::uint16_t record; // where its value stands in the record, in bytes
    std::uint16_t width;  // its bytes in the record: `bytes`, or a whole slot when narrowing
};

// The layout of a fixed-record code, or nullptr when the code has no such layout.
const FixedLayout* FindFixedLayout(int code, int layout);
// Every layout of a code, in layout order.
std::vector<const FixedLayout*> FixedLayoutsOf(int code);
// The fields of a layout with their answer offsets and record slots.
std::vector<FixedField> FixedFields(const FixedLayout& layout);
// The same into a caller's array (no allocation); returns the number of fields,
// at most max.
std::size_t FixedFieldsInto(const FixedLayout& layout, FixedField* out, std::size_t max);
inline constexpr std::size_t kMaxFixedFields = 40;
// The leading bytes of the record that a layout reads.
unsigned FixedRecordBytes(const FixedLayout& layout);
// Codes answered by the fixed-record decoder in every version.
bool IsFixedRecordCode(int code);

} // namespace model
