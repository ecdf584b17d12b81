// The numbers that shape a page, asked of the model data: paper rectangles,
// input sources, the band bit depth, gray weights, the halftone matrix and
// the tone curve, each with a built-in default when the model does not answer.
#pragma once

#include "win/types.h"

namespace inkforge {

struct PDEV;

// A paper in dots at the requested resolution. The printable area is
// left/top/right/bottom; extra1 and extra2 are the printable width and length
// of the model's entry in 0.1 mm (rescaled like the rest).
struct PaperRect {
    SHORT id;
    LONG left, top, right, bottom;
    LONG extra1, extra2;
    LONG width, length;
};

constexpr int kPaperPortrait = 1;
constexpr int kPaperTurned = 2;
constexpr WORD kCustomPaper = 256;
constexpr WORD kLastModelPaper = 455;

// layout 1 (portrait) or 2 (turned); resolution below 1 keeps the paper's
// own. flags and name (32 bytes) may be null.
BOOL GetPaperInfo(PDEV* pdev, int paperId, int layout, int resolution, PaperRect* rect,
                  DWORD* flags, char* name);

// The 36-byte extension entry of an input source: {i16 flags, i16 value, char[32] name}.
BOOL GetMediaInfo(PDEV* pdev, int sourceId, BYTE out[36]);

// The sources that hold the paper and the media type, as a GlobalAlloc list
// of u16 ids (freed by the caller); returns the count (0 and no list when
// media is 0 or nothing fits).
DWORD ListSourcesForPaper(PDEV* pdev, int paperId, DWORD mediaId, HGLOBAL* list);

DWORD GetBandBitDepth(PDEV* pdev);
DWORD IsPlainMonochromeBand(PDEV* pdev);

// Fill the halftone record of the device.
void LoadGrayWeights(PDEV* pdev);
void LoadHalftoneMatrix(PDEV* pdev, bool byResolution);
void LoadToneCurve(PDEV* pdev, bool byResolution);

// The built-in 16 x 16 threshold matrix and tone curve.
const BYTE* BuiltInHalftoneMatrix();
const BYTE* BuiltInToneCurve();

} // namespace inkforge
