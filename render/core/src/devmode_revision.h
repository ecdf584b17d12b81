// Device modes of the physical device: the default one when the engine gives
// none, the merge of one device mode into another, and the revision of a
// private part that is not the driver's own.
#pragma once

#include "private_devmode.h"

namespace inkforge {

struct PDEV;

// The ANSI form of the image, as the model library takes it.
struct AnsiDevmodeImage {
    DEVMODEA dm;
    BYTE priv[kPrivateSize];
};
static_assert(sizeof(AnsiDevmodeImage) == 1256 && offsetof(AnsiDevmodeImage, priv) == 156);

void DevmodeWToA(const DevmodeImage& in, AnsiDevmodeImage* out);
void DevmodeAToW(const AnsiDevmodeImage& in, DevmodeImage* out);

// Copies source into destination: the smaller standard part, then the smaller
// private part; the destination keeps its header. Sizes 188, 212 and 220 are
// known; any other needs a spec version. Returns the bytes copied, or -1.
LONG MergeDevmode(const DEVMODEW* source, DEVMODEW* destination);

// The default device mode of the printer, revised by the UI library, or with
// 600 dots per inch and scale 100 when it is missing.
void DefaultDevmode(PDEV* pdev, LPCWSTR deviceName, DevmodeImage* image);

// Fills the private block of image from the model's defaults (the model
// library's revision, the standard part of image carried in); without the
// model library the block is empty but for its signature.
void ReviseForeignPrivate(PDEV* pdev, DevmodeImage* image);

} // namespace inkforge
