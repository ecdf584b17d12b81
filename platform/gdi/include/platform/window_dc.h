// Device contexts on a window's surface, for the window manager: what
// BeginPaint and GetDC hand a window.
#pragma once

#include "win/gdi.h"

namespace platform::gdi {

// A device context that draws onto `surface` (a bitmap the window manager
// keeps for a top-level window and shares among its windows): device point
// (0, 0) lies at `origin` of the surface, and nothing is drawn outside
// `visible` (surface pixels; the region is copied, the caller keeps it). The
// program's own clip regions and mapping work within that as on any device
// context. DeleteDC frees it; the surface stays. nullptr with the last error
// set when the surface is no bitmap.
HDC CreateWindowDc(HBITMAP surface, POINT origin, HRGN visible);

} // namespace platform::gdi
