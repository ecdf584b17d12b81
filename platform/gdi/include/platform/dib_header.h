// The platform's one reader of a bitmap header (every size from 12 to 124
// bytes), for the parts of the platform outside GDI that read packed bitmaps;
// each applies its own, narrower rules to the fields it gets.
#pragma once

#include <cstddef>

#include "win/types.h"

namespace platform::gdi {

// Largest header the drawing calls take: the fifth version's.
constexpr DWORD kDibMaxHeaderSize = 124;

// The header's size, width, height and bits, read from its first bytes.
struct DibHeader {
    DWORD size = 0;
    LONG width = 0;
    LONG height = 0; // negative: top-down
    WORD bitCount = 0;
    DWORD compression = 0;
    DWORD sizeImage = 0;
    DWORD clrUsed = 0;
};

// Reads the header at the start of bmiSize bytes: the oldest one (12 bytes)
// or one of 40 bytes up to maxHeaderSize that the bytes hold, with one plane.
// False with ERROR_INVALID_DATA when they are not a bitmap header.
bool ReadDibHeader(const BYTE* bmi, size_t bmiSize, DibHeader* out,
                   DWORD maxHeaderSize = kDibMaxHeaderSize);

} // namespace platform::gdi
