// The watermark record (216 bytes, the same in the private device mode and
// in the user's watermark file) and the one reader and writer of the
// watermark file: a 24-byte head ("ZORD", head size, version 1, reserved,
// record count) and the records. The reader takes only what the bytes hold
// and hands back records fit to use: strings terminated on a whole
// character, numbers within their ranges.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win/gdi.h"
#include "win/types.h"

namespace print_effects {

#pragma pack(push, 1)
struct WatermarkRecord {
    WORD version; // 1 once stored
    WORD size;    // 216 once stored
    CHAR name[64];
    CHAR text[64];
    LOGFONTA font; // lfEscapement: the angle in tenths of a degree
    DWORD points;
    COLORREF color;
    INT horizontal; // percent of the page width from its centre, right positive
    INT vertical;   // percent of the page height from its centre, down positive
    WORD border;    // 0 none, 1 circle, 2 square
    WORD flags;     // bit 0 outline, bit 1 transparent text
    WORD pages;     // 0 all, 1 all but the first, 2 first only, 3 odd, 4 even
    WORD layer;     // 0 behind the page, 1 over it
};
#pragma pack(pop)
static_assert(sizeof(WatermarkRecord) == 216 && offsetof(WatermarkRecord, name) == 4 &&
              offsetof(WatermarkRecord, text) == 68 && offsetof(WatermarkRecord, font) == 132 &&
              offsetof(WatermarkRecord, points) == 192 && offsetof(WatermarkRecord, color) == 196 &&
              offsetof(WatermarkRecord, horizontal) == 200 &&
              offsetof(WatermarkRecord, border) == 208 && offsetof(WatermarkRecord, layer) == 214);

inline constexpr WORD kWatermarkRecordVersion = 1;
inline constexpr WORD kWatermarkRecordSize = 216;
inline constexpr size_t kWatermarkHeadSize = 24;
inline constexpr DWORD kWatermarkFileVersion = 1;
inline constexpr char kWatermarkMagic[4] = {'Z', 'O', 'R', 'D'};
inline constexpr WORD kWatermarkOutline = 0x1, kWatermarkTransparent = 0x2;
inline constexpr DWORD kWatermarkMinPoints = 8, kWatermarkMaxPoints = 500;
inline constexpr LONG kWatermarkMaxAngle = 3600; // tenths of a degree
inline constexpr INT kWatermarkMaxOffset = 50;   // percent either way
inline constexpr WORD kWatermarkMaxBorder = 2, kWatermarkMaxPages = 4, kWatermarkMaxLayer = 1;

// Cuts a string field to its size less the terminator, never inside a
// double-byte character of the ANSI code page; the rest is zero-filled.
void TerminateAnsiField(CHAR* field, size_t size);

// Makes a record read from a file or an application's device mode fit to
// use: strings terminated, size, angle, positions, border, pages and layer
// within their ranges (a value out of range becomes the nearest, or 0 for
// the choices), the orientation equal to the angle. Other flag bits stay.
void ClampWatermarkRecord(WatermarkRecord* record);

// Reads a watermark file from its bytes. False with *error when the head is
// missing, foreign or of another version. The records that the count names
// and the bytes hold are read; a record cut short is no record; a record
// whose version and size are not 1 and 216 is skipped.
[[nodiscard]] bool ReadWatermarkFile(const BYTE* data, size_t size,
                                     std::vector<WatermarkRecord>* records, std::string* error);

// The whole file for these records (each stored as version 1, size 216).
std::vector<BYTE> WatermarkFileBytes(const std::vector<WatermarkRecord>& records);

} // namespace print_effects
