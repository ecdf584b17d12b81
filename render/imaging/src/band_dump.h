// Debug settings of banding and the BMP dumps of its bands. The settings come
// from "QRLADGNT.INI" beside the graphics library; without the file banding
// runs as it always does and nothing is dumped.
#pragma once

#include <string>

#include "win/winddi.h"

namespace inkforge {

struct PDEV;
struct ImagingState;

struct BandDebugSettings {
    DWORD pixels = 24;             // banding bit depth asked for (24 or 8)
    bool dumpBands = false;        // the raw 24 or 8-bit bands
    bool dump24To8 = false;        // the gray bands of a 24-bit surface
    bool dump8To1 = false;         // the 1-bit bands
    std::u16string drive = u"C";   // drive letter of the dump files
    DWORD maxBandSize = 0x1000000; // largest band bitmap in bytes
    DWORD allTextBlackMode = 3;
};

// The kinds of band dump, one file each per page.
enum BandDumpKind { kDumpRawBand, kDump24To8, kDump8To1, kBandDumpKinds };

// One page's dump file of one kind.
struct BandDump {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool dropped = false; // a write failed: nothing more this page
    DWORD imageBytes = 0;
    DWORD paletteBytes = 0;
};

// The settings from the INI file in `folder` (ending in a backslash); every
// value kept within its field: depths other than 24 and 8, and band sizes
// of 0, stay at their defaults; the drive is at most 9 characters.
BandDebugSettings ReadDebugSettings(const std::u16string& folder);

// "<drive>:\<prefix><number>.BMP".
std::u16string MakeBandDumpName(const std::u16string& drive, const char* prefix, DWORD number);

// Opens the page's dump of the kind, `width` pixels of `bits` bits a row,
// with its headers; false (the dump dropped for the page) when it cannot be
// written.
bool DumpBandBitmap(ImagingState* st, BandDumpKind kind, LONG width, WORD bits);
// Appends `rows` rows of `stride` bytes (a band of `width` pixels of `bits`
// bits) to the page's dump of the kind, opening it at its first band.
void AppendBandDump(ImagingState* st, BandDumpKind kind, const BYTE* rows, LONG stride, LONG width,
                    LONG rowCount, WORD bits);
// The page's last band: sizes written into the headers, the files closed.
// `width` of the 8 and 1-bit dumps becomes the conversion width.
void FinishBandDumps(ImagingState* st, LONG width);

} // namespace inkforge
