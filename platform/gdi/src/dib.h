// Device-independent bitmaps: the one bounds-checked reader of a bitmap
// header with its colour table and bits (every header size from 12 to 124
// bytes; 1, 4, 8, 16, 24 and 32 bits; plain, bit fields, run-length encoded,
// JPEG and PNG), and the engine bitmaps GDI makes of them.
#pragma once

#include <vector>

#include "platform/dib_header.h"
#include "win/gdi_dc.h"
#include "win/winddi.h"

namespace platform::gdi {

// Compressions of a bitmap header.
constexpr DWORD kBiRle8 = 1;
constexpr DWORD kBiRle4 = 2;
constexpr DWORD kBiBitfields = 3;
constexpr DWORD kBiJpeg = 4;
constexpr DWORD kBiPng = 5;

// A bitmap as the engine draws it: top-down rows of 4-byte-aligned stride;
// 1, 4 and 8 bits index colours (COLORREF), 24 bits are blue, green, red and
// 32 bits blue, green, red, alpha.
struct Dib {
    LONG width = 0;
    LONG height = 0;
    ULONG bpp = 0;
    std::vector<COLORREF> colors;
    bool alpha = false; // 32 bits whose fourth byte is alpha
    std::vector<BYTE> pixels;
    size_t Stride() const { return (static_cast<size_t>(width) * bpp + 31) / 32 * 4; }
};

// The header of a BITMAPINFO whose size only its header tells.
bool ReadDibHeaderOnly(const BITMAPINFO* bmi, DibHeader* out);
// Bytes of a BITMAPINFO: the header, its masks and its colour table.
size_t DibInfoSize(const DibHeader& h, UINT usage);
// Bytes the bits of an uncompressed bitmap take.
unsigned long long DibBitsSize(const DibHeader& h);

// Reads a BITMAPINFO of bmiSize bytes and its bits (usage: DIB_RGB_COLORS,
// DIB_PAL_COLORS, DIB_PAL_INDICES). False with ERROR_INVALID_DATA (or
// ERROR_NOT_ENOUGH_MEMORY for a bitmap too large) when they cannot be read.
bool ReadDib(const BYTE* bmi, size_t bmiSize, const BYTE* bits, size_t bitsSize, UINT usage,
             Dib* out);

// An engine bitmap of the image with its colours as its palette; nullptr
// with the last error set.
HSURF DibSurface(const Dib& dib, HPALETTE* palette);
// The palette of a bitmap of bpp bits with the colours (indexed) or the
// format's own layout.
HPALETTE DibPalette(ULONG bpp, const std::vector<COLORREF>& colors);

} // namespace platform::gdi
