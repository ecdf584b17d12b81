// The per-user font substitution file: which printer font prints in place of
// each TrueType font. The one bounded reader and the one writer of its bytes,
// shared by the settings dialog and the graphics library.
//
//   offset 0   u32  magic 0x00004D46 ("FM\0\0")
//   offset 4   u32  header size, 20 (written; the records are at 20 whatever it says)
//   offset 8   u32  version 1
//   offset 12  u32  number of records
//   offset 16  u32  0
//   then count x 192-byte FontSubRecord
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace fontsub {

inline constexpr std::uint32_t kMagic = 0x00004D46;
inline constexpr std::uint32_t kHeaderSize = 20;
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kNameBytes = 64;
inline constexpr std::size_t kRecordSize = 192;
// More records than any computer has fonts: a count past it is a damaged file.
inline constexpr std::uint32_t kMaxRecords = 65536;
// The largest file the reader takes: the header and kMaxRecords records.
inline constexpr std::uint64_t kMaxFileBytes =
    kHeaderSize + static_cast<std::uint64_t>(kMaxRecords) * kRecordSize + 4096;
// Flag bit 0: the font's character set is ANSI or symbol, so it may be substituted.
inline constexpr std::uint32_t kSubstitutable = 1u << 0;
// The file's name when the model's component table names none (or no bare name).
inline constexpr char16_t kDefaultFileName[] = u"Fontroll.DAT";

struct FontSubRecord {
    char name[kNameBytes];       // the TrueType font's full name, ANSI
    char substitute[kNameBytes]; // the device font's name; empty: no substitution
    std::uint32_t weight;
    std::uint8_t italic;
    std::uint8_t underline;
    std::uint8_t strikeOut;
    std::uint8_t charSet;
    std::uint32_t index; // the record's place in the dialog's table
    std::uint32_t flags; // kSubstitutable
    std::uint8_t zero[48];
};
static_assert(sizeof(FontSubRecord) == kRecordSize);
static_assert(offsetof(FontSubRecord, substitute) == 64);
static_assert(offsetof(FontSubRecord, weight) == 128);
static_assert(offsetof(FontSubRecord, italic) == 132);
static_assert(offsetof(FontSubRecord, charSet) == 135);
static_assert(offsetof(FontSubRecord, index) == 136);
static_assert(offsetof(FontSubRecord, flags) == 140);
static_assert(offsetof(FontSubRecord, zero) == 144);

// The records of a file's bytes. False, with `out` empty, for a file that is
// short, foreign (magic, version), empty (count 0), or whose count passes
// what it holds or kMaxRecords. Names come back NUL-terminated within their
// fields.
[[nodiscard]] bool ParseFontSubFile(const std::uint8_t* data, std::uint64_t size,
                                    std::vector<FontSubRecord>* out);
// Reads and parses the file; false when it is missing, larger than
// kMaxFileBytes, unreadable or does not parse.
[[nodiscard]] bool ReadFontSubFile(LPCWSTR path, std::vector<FontSubRecord>* out);
// The whole file for these records.
std::string SerializeFontSubFile(const std::vector<FontSubRecord>& records);

// The file name from the model's component table when it is a bare file
// name (no folder, drive or stream, not "." or ".."), else the default.
std::u16string FontSubFileName(std::u16string_view fromModel);

// Copies text into a name field, cut to fit and NUL-terminated.
void SetName(char (&field)[kNameBytes], std::string_view text);
// A name field's text, up to its NUL or the field's end.
std::string_view NameOf(const char (&field)[kNameBytes]);

} // namespace fontsub
