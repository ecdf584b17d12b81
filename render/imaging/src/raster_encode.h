// Images of the printer stream: the decision whether and how an image is
// sent, the encoders per pixel format, the image blocks of compressed rows
// and the JBIG coding of 1-bit pages through the outside coder.
#pragma once

#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// An optional colour-key argument: mask pass 0 paints the key colour white;
// otherwise the image becomes the 1-bit mask of the key colour.
struct ColorKey {
    DWORD maskPass;
    ULONG key;
};

constexpr DWORD kMaxBlockBytes = 32767;

// Results of OutputImage.
constexpr int kImageSent = 1, kImageNotHandled = 0, kImageFailed = -1;

// Halftone mode bits of the halftone record.
namespace htbits {
constexpr DWORD AddOne = 1, NoHalftone = 2, Halftone = 4, Indexed = 8, PaletteRows = 16;
}

int OutputImage(PDEV* pdev, SURFOBJ* src, XLATEOBJ* xlate, const RECTL* dest, const RECTL* srcRect,
                const POINTL* brushOrigin, DWORD rop, DWORD flag, const ColorKey* key);
int EncodeImage(PDEV* pdev, SURFOBJ* src, XLATEOBJ* xlate, const RECTL* dest, const RECTL* srcRect,
                DWORD rop, const ColorKey* key);
bool UseHalftoneForImage(PDEV* pdev, ULONG format, LONG srcWidth, LONG srcHeight, LONG destWidth,
                         LONG destHeight);
bool RectInsideBand(PDEV* pdev, LONG x, LONG y, LONG width, LONG height);
// The destination the encoders fill: its own extent, an empty one a single dot.
RECTL FitImageToClip(const RECTL& dest);

// 0 copy (24 bpp), 8 drop the fourth byte (32 bpp), 6 exchange red and blue,
// 2 translate each pixel.
DWORD TranslateColor(XLATEOBJ* xlate, ULONG format);
void TranslateRow(const BYTE* src, BYTE* dst, XLATEOBJ* xlate, DWORD kind, ULONG format,
                  DWORD count);

// Every byte ORed with 0xAA: every other pixel turns white.
void ApplyTonerSavePattern(SURFOBJ* surface);
// Codes a 1-bit surface (1 = black) through the outside coder; FALSE when
// the coder could not run (nothing or part of the image was written).
BOOL CompressJbig(PDEV* pdev, SURFOBJ* surface, LONG width, LONG height);

// The image of a banding page or band: every road ends here.
BOOL SendPageImage(PDEV* pdev, SURFOBJ* surface, const RECTL* dest, const RECTL* srcRect);

} // namespace inkforge
