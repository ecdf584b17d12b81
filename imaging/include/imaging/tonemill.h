// Tonemill: gray conversion, ordered-matrix halftoning, gamma tables and blank
// checks over one image descriptor. Callers bind the exports at run time, so the
// descriptor and the matrix record keep fixed byte offsets.
#pragma once

#include <cstddef>

#include "win/types.h"

// Image types of icImage::type.
#define IC_TYPE_BW 0    // 1 bit per pixel
#define IC_TYPE_GRAY 1  // 8-bit gray
#define IC_TYPE_RGB24 3 // 24-bit colour, bytes blue, green, red
// Types 4 and 5 are accepted by the blank checks only.

struct icImage {
    WORD type;
    WORD order;     // channel order of 24-bit images; results do not depend on it
    DWORD bottomUp; // non-zero: the first line in memory is the bottom line
    DWORD x;        // region to work on, in pixels and lines from the top
    DWORD y;
    DWORD width;
    DWORD height;
    BYTE* bits;
    DWORD stride; // bytes from one line to the next
    DWORD lines;  // total lines of the image (addresses bottom-up images)
};

static_assert(offsetof(icImage, type) == 0);
static_assert(offsetof(icImage, order) == 2);
static_assert(offsetof(icImage, bottomUp) == 4);
static_assert(offsetof(icImage, x) == 8);
static_assert(offsetof(icImage, y) == 12);
static_assert(offsetof(icImage, width) == 16);
static_assert(offsetof(icImage, height) == 20);
static_assert(offsetof(icImage, bits) == 24);
static_assert(offsetof(icImage, stride) == 32);
static_assert(offsetof(icImage, lines) == 36);
static_assert(sizeof(icImage) == 40);

// Ordered threshold matrix: width and height up to 16, each row 16 cells wide.
struct icThresholdMatrix {
    WORD width;
    WORD height;
    WORD cells[16][16];
};

static_assert(offsetof(icThresholdMatrix, width) == 0);
static_assert(offsetof(icThresholdMatrix, height) == 2);
static_assert(offsetof(icThresholdMatrix, cells) == 4);
static_assert(sizeof(icThresholdMatrix) == 516);

// Export ordinals.
#define TONEMILL_ORDINAL_ALLWHITECHECK 1
#define TONEMILL_ORDINAL_ALLWHITECHECK_W0B1 2
#define TONEMILL_ORDINAL_GAMMACORRECTION 3
#define TONEMILL_ORDINAL_GAMMAINV 4
#define TONEMILL_ORDINAL_CONVERTTO256GRAY 5
#define TONEMILL_ORDINAL_CONVERTTOBWHALFTONE 6

// 1 when all stride x height bytes from bits on are 0xFF (white for 8-bit and
// 24-bit images); 0 otherwise.
DLLEXPORT int WINAPI icAllWhiteCheck(const icImage* image);
// The same test for 0x00 (white where 1 is black).
DLLEXPORT int WINAPI icAllWhiteCheck_W0B1(const icImage* image);
// Maps every byte of the region through table; 0, or 255 for a type other than
// 8-bit gray or 24-bit colour. A null table is the identity.
DLLEXPORT int WINAPI icGammaCorrection(const BYTE* table, icImage* image);
// Rewrites a 16 x 16 threshold matrix through the inverse of table; 1, or 0 with
// the matrix unchanged. A null table is the identity.
DLLEXPORT int WINAPI icGammaInv(const BYTE* table, icThresholdMatrix* matrix);
// 24-bit colour to 8-bit gray; always FALSE.
DLLEXPORT BOOL WINAPI icImageTypeConvertTo256Gray_speed(void* unused, const icImage* source,
                                                        icImage* destination);
// 8-bit gray to 1 bit through the threshold matrix; the phases carry the pattern
// from band to band. 1 when it converted, 0 when the types do not fit.
DLLEXPORT int WINAPI icImageTypeConvertToBWDitherHalftone_speed(SHORT* columnPhase, SHORT* rowPhase,
                                                                const icThresholdMatrix* matrix,
                                                                const icImage* source,
                                                                icImage* destination);

// The pointer types callers bind the exports by, taken from the declarations above.
typedef decltype(&icAllWhiteCheck) PFN_icAllWhiteCheck;
typedef decltype(&icAllWhiteCheck_W0B1) PFN_icAllWhiteCheck_W0B1;
typedef decltype(&icGammaCorrection) PFN_icGammaCorrection;
typedef decltype(&icGammaInv) PFN_icGammaInv;
typedef decltype(&icImageTypeConvertTo256Gray_speed) PFN_icImageTypeConvertTo256Gray_speed;
typedef decltype(&icImageTypeConvertToBWDitherHalftone_speed)
    PFN_icImageTypeConvertToBWDitherHalftone_speed;
