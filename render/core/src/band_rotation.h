// Landscape pages turned a quarter for the portrait page through the codec
// library's RAW2ROTATE.
#pragma once

#include "win/winddi.h"

namespace inkforge {

struct PDEV;

inline constexpr char kCodecLibrary[] = "Bitsqueeze.DLL";

// Turns the 1-bit landscape band a quarter clockwise into the portrait band,
// in one call of the codec library: portrait line x is landscape column x,
// and landscape line y lands in portrait column (height - 1 - y). The
// landscape band's height must be a multiple of 32, its lines and the
// portrait's at most 65535 bits; the portrait band must be at least the
// turned size. FALSE, with nothing written, otherwise or when the codec
// library is missing.
BOOL RotatePageBitmap(PDEV* pdev, const SURFOBJ* landscape, SURFOBJ* portrait);

} // namespace inkforge
