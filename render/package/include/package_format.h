// The EMF spool package: an index file "VLMnnnnn.SPL" of typed records, the
// page metafiles in the folder "VLMnnnnn", and a font list "VLMnnnnn.FON" of
// the TrueType files stored beside the pages. All numbers little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spoolpkg {

// The spool id is the spooler's job id plus this, raised until the name is free.
constexpr uint32_t kSpoolIdBase = 50000;

// Index: page count, a zero word, then records {u32 type, u32 size, data}.
constexpr size_t kIndexHeadSize = 8;
constexpr size_t kRecordHeadSize = 8;

constexpr uint32_t kRecordDevmode = 0x02000005;
constexpr uint32_t kRecordNames = 0x02445453;
constexpr uint32_t kRecordPage = 0x024D5446;
constexpr uint32_t kRecordEndOfPage = 0x02504E45;
constexpr uint32_t kRecordEndOfJob = 0x02444E45;

// The device mode as an ANSI image: the 156-byte standard part and the
// 1100-byte private part.
constexpr size_t kAnsiPublicSize = 156;
constexpr size_t kPrivatePartSize = 1100;
constexpr size_t kAnsiDevmodeSize = kAnsiPublicSize + kPrivatePartSize;
constexpr size_t kDevmodeRecordSize = kRecordHeadSize + kAnsiDevmodeSize;

// Names record: {type, size, printer-name offset, document-name offset,
// final-empty-string offset}, offsets from the record's first byte.
constexpr size_t kNamesHeadSize = 20;

// A page record's path, terminator included.
constexpr size_t kMaxPagePath = 260;

// Font list: {u64 TrueType unique id, 36 wide characters of face name}.
constexpr size_t kFontRecordSize = 80;
constexpr size_t kFaceNameBytes = 72;
constexpr size_t kFaceNameChars = kFaceNameBytes / 2;

} // namespace spoolpkg
