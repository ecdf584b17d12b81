// Recording the engine's drawing calls as standard enhanced-metafile records
// into the open page file of the spool package. The recorder mirrors the
// playback device context (selected objects, colours, modes, clip,
// transform) so that a record goes out only when the state it sets changes,
// and keeps the object-handle table: every object a call creates is
// selected, used, the previous one selected again and the object deleted
// before the call returns.
#pragma once

#include <vector>

#include "win/emf.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// The stock objects a page starts with selected.
constexpr DWORD kStockBlackPen = ENHMETA_STOCK_OBJECT | 7;
constexpr DWORD kStockDeviceDefaultFont = ENHMETA_STOCK_OBJECT | 14;

enum class ObjectKind { Pen = 0, Brush = 1, Font = 2, Count = 3 };

struct RecorderState {
    DWORD selected[static_cast<int>(ObjectKind::Count)];
    COLORREF textColor, backgroundColor;
    DWORD backgroundMode, rop2, polyFillMode, stretchMode, graphicsMode, textAlign;
    FLOAT miterLimit;
    XFORM transform;
    // The clip last recorded: none, or the rectangles it was made of.
    bool clipped;
    std::vector<RECTL> clip;
    // Object indexes start at 1; freed ones are used again, last freed first.
    DWORD highest;
    std::vector<DWORD> freeIndexes;

    RecorderState() { Reset(); }
    void Reset();
    DWORD HandleCount() const { return highest + 1; }
};

// Under a layout that shrinks the page (scale below 100 percent) the spool
// side plays it smaller: the narrowest pen of a stroked frame that stays one
// pixel wide on the sheet, and the rows of one record of a tall plain copy
// of the given width, so that the player stretches it in slices.
DWORD MinimumPenWidth(WORD layoutScale);
LONG StretchSliceRows(WORD layoutScale, LONG width);

// The full 32-bit code of a three-operand raster operation, as metafiles
// carry it (the operation index in the high word).
DWORD RopCode(BYTE rop3);
// The stretch mode a record carries: 1 to 4 as they are, any other the
// mode that deletes scans (3).
DWORD RecordedStretchMode(ULONG mode);

// Each returns TRUE except where the engine must draw (a refusal), and
// records a failed write as the job's error.
BOOL RecordLineTo(PDEV* pdev, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                  MIX mix);
BOOL RecordStrokePath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                      LINEATTRS* plineattrs, MIX mix);
BOOL RecordFillPath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, MIX mix,
                    FLONG flOptions);
BOOL RecordStrokeAndFillPath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                             BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill, MIX mix,
                             FLONG flOptions);
// Blits: the source's part as device-independent bits stretched onto the
// destination (record 81), or with a transparent colour (record 116). FALSE
// for a source that cannot be read or a brush without a realization: the
// engine draws. A copy, a stretch and a blit are a stretch with a raster
// operation of the source copied (a blit: of its own operation) from the
// source's rectangle of the destination's size (a stretch: its own).
BOOL RecordCopyBits(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                    const POINTL& srcPoint);
BOOL RecordStretchBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                      const RECTL& source, ULONG mode);
BOOL RecordBitBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                  const POINTL& srcPoint, BRUSHOBJ* pbo, DWORD rop3);
BOOL RecordStretchBltROP(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                         const RECTL& source, ULONG mode, BRUSHOBJ* pbo, DWORD rop3);
// A band of a banded page, its rows above the page end, at its place on
// the page; the band's pixels are the device's colours (1 bit: 0 black).
BOOL RecordPageImage(PDEV* pdev, SURFOBJ* band, LONG top, LONG pageHeight);
BOOL RecordTransparentBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                          const RECTL& source, ULONG transparentColor);
BOOL RecordGradientFill(PDEV* pdev, CLIPOBJ* pco, TRIVERTEX* vertices, ULONG nVertex, PVOID mesh,
                        ULONG nMesh, ULONG mode);
BOOL RecordTextOut(PDEV* pdev, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                   RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, MIX mix);

// The source rectangle of an unstretched blit.
inline RECTL SourceRect(const RECTL& dest, const POINTL& origin) {
    return RECTL{origin.x, origin.y, origin.x + (dest.right - dest.left),
                 origin.y + (dest.bottom - dest.top)};
}

// The clip of a call: reset, one rectangle, or the clip's rectangles.
void RecordClip(PDEV* pdev, CLIPOBJ* pco);
// The clip reset, then cut to the rectangle when one is given.
void RecordClipRect(PDEV* pdev, const RECTL* clip);

} // namespace inkforge
