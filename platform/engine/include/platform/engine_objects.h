// Builders of the engine objects that drawing hands to a driver: clips,
// brushes, colour translations and transforms (paths are built with
// EngCreatePath and PATHOBJ_bMoveTo and its companions). GDI's drawing and
// the tests make them here; each is freed by its Delete function.
#pragma once

#include "win/winddi.h"

namespace platform::engine {

// --- clips ----------------------------------------------------------------

// The union of the rectangles (right and bottom exclusive; empty ones are
// ignored) as a clip region: DC_RECT for one rectangle or none, DC_COMPLEX
// otherwise, its rectangles kept in bands from top to bottom, each band left
// to right. nullptr when out of memory.
CLIPOBJ* CreateClip(const RECTL* rects, ULONG count);
// A clip that lets everything through within bounds (DC_TRIVIAL).
CLIPOBJ* CreateTrivialClip(const RECTL& bounds);
// The part of pco (nullptr: everything) inside rect, moved by (dx, dy). When
// that part is all of rect and pco was trivial or absent, the result is
// trivial too.
CLIPOBJ* CreateClipIntersection(CLIPOBJ* pco, const RECTL& rect, LONG dx, LONG dy);
// Deleted with EngDeleteClip.

// --- paths ----------------------------------------------------------------

// A copy of ppo moved by (dx, dy) in 28.4 units; deleted with EngDeletePath.
PATHOBJ* CreatePathCopy(PATHOBJ* ppo, FIX dx, FIX dy);

// --- brushes ---------------------------------------------------------------

// Brushes are realized for the device of their target surface (through its
// driver's DrvRealizeBrush, the first time a driver asks).
BRUSHOBJ* CreateSolidBrush(HSURF target, ULONG iSolidColor);
// A pattern brush: the engine keeps its own copies of the pattern, the mask
// (optional) and the colour translation (optional).
BRUSHOBJ* CreatePatternBrush(HSURF target, HSURF pattern, HSURF mask, XLATEOBJ* pxlo);
// A hatch brush (HS_*): an 8 x 8 one-bit pattern whose 0 bits are the hatch
// lines, translated to foreColor, and whose 1 bits are backColor.
BRUSHOBJ* CreateHatchBrush(HSURF target, ULONG iHatch, ULONG foreColor, ULONG backColor);
void DeleteBrush(BRUSHOBJ* pbo);

// --- colour translations --------------------------------------------------

XLATEOBJ* CreateTrivialXlate();
// Source index i -> table[i] (XO_TABLE); the table is copied.
XLATEOBJ* CreateTableXlate(const ULONG* table, ULONG count, USHORT iSrcType = PAL_INDEXED,
                           USHORT iDstType = PAL_RGB);
// From one palette to another: an indexed source gives a table (each source
// colour to the nearest destination index, or to the colour itself for an
// RGB destination); RGB to RGB is trivial; RGB to indexed looks up the
// nearest entry for each colour.
XLATEOBJ* CreatePaletteXlate(HPALETTE hpalSrc, HPALETTE hpalDst);
void DeleteXlate(XLATEOBJ* pxlo);
// The format of a palette (PAL_INDEXED, PAL_RGB, ...), 0 for no palette.
ULONG PaletteMode(HPALETTE hpal);

// --- surfaces -------------------------------------------------------------

// The colours of a bitmap's pixels (GDI's bitmaps have their own colour
// tables); the engine's drawing reads and writes colours through them.
bool SetSurfacePalette(HSURF hsurf, HPALETTE hpal);
// The pixel value of an RGB colour (COLORREF) on a bitmap: the nearest entry
// of an indexed one.
ULONG PixelOfColor(HSURF hsurf, ULONG rgb);

// --- transforms -----------------------------------------------------------

XFORMOBJ* CreateXform(const XFORML& xform);
void DeleteXform(XFORMOBJ* pxo);

} // namespace platform::engine
