// What the imaging side keeps per physical device: the banding surface and
// its bands, the full-page 1-bit image, the conversion bitmaps, the tone
// library and the band dumps. Made on first use, freed with the device.
#pragma once

#include "band_dump.h"
#include "imaging/tonemill.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

struct ImagingState {
    RECTL band{};          // the current band rectangle; all zero: none
    DWORD nextBrushId = 0; // the last realized pattern brush's number
    // Banding.
    HSURF bandSurface = nullptr; // the engine's banding bitmap
    DWORD bandTop = 0;
    DWORD overlapTop = 0, overlapBottom = 0;
    LONG pageWidth = 0, pageHeight = 0;
    BYTE* pageBits = nullptr; // full page, 1 bit, top-down, width / 8 bytes a row
    DWORD pageBytes = 0;      // bytes accumulated this page
    BYTE* grayBits = nullptr; // band-sized 8-bit conversion
    BYTE* monoBits = nullptr; // band-sized 1-bit conversion
    SHORT phase[2] = {0, 0};
    HMODULE tonemill = nullptr;
    PFN_icImageTypeConvertToBWDitherHalftone_speed toMono = nullptr;
    PFN_icImageTypeConvertTo256Gray_speed toGray = nullptr;
    PFN_icGammaInv gammaInv = nullptr;
    PFN_icAllWhiteCheck allWhite = nullptr;
    // The band matrix with the gamma file's correction, made once for the
    // halftone kind, level and resolution it was made for.
    icThresholdMatrix bandMatrix{};
    DWORD bandMatrixKey = 0; // 0: not made yet
    // Debug settings, read when the banding surface is made, and the page's dumps.
    BandDebugSettings debug;
    BandDump dumps[kBandDumpKinds];
    DWORD dumpNumber = 0; // the last dump file's number
    // The colour adjustment that halftoning onto a 1-bit band uses (its
    // size 0 until first use), and the mark of a stretch under way with it.
    COLORADJUSTMENT bandAdjust{};
    bool bandAdjustBusy = false;
};

ImagingState* Imaging(PDEV* pdev);
void FreeImagingState(PDEV* pdev);

} // namespace inkforge
