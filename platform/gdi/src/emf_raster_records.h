// Playback of the bitmap and gradient records of metafiles: their bitmaps are
// read through the bitmap reader and drawn with GDI's raster functions.
#pragma once

#include "emf_reader.h"

namespace platform::gdi {

enum class RasterRecordResult { Played, Failed, Malformed };

// BITBLT, STRETCHBLT, MASKBLT, PLGBLT, SETDIBITSTODEVICE, STRETCHDIBITS,
// ALPHABLEND, TRANSPARENTBLT and GRADIENTFILL.
bool IsRasterRecord(DWORD type);
RasterRecordResult PlayRasterRecord(HDC hdc, const RecordReader& r, DWORD type);

} // namespace platform::gdi
