// The escape-framed commands that open and set up the graphics job, open and
// close each page (with the blank sides of duplex printing and the copy-set
// marks) and end the job, and the frame of compressed raster chunks.
#pragma once

#include "win/types.h"

namespace inkforge {

struct PDEV;

// The universal exit language sequence (stream::kUel).
BOOL WriteUel(PDEV* pdev);

// True when the key is the first u32 of an item of model query 65 layout 3
// (the PJL header then carries it as a line).
bool IsPjlKeySupported(PDEV* pdev, int key);

BOOL WriteJobCommands(PDEV* pdev);
BOOL WritePageCommands(PDEV* pdev, bool firstPage);
BOOL WritePageEnd(PDEV* pdev);
// Blank side, copy-set end, the empty frame, the UEL and the PJL footer.
BOOL WriteJobFooter(PDEV* pdev);

// One chunk of compressed raster: kind 3 continuing / 2 last, or 1 / 0 for
// the final plane. FALSE for a chunk that cannot be framed.
BOOL WriteRasterChunk(PDEV* pdev, const BYTE* data, DWORD length, bool last, bool finalPlane);

} // namespace inkforge
