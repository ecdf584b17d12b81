// The graphics state last sent to the printer as drawing tokens, kept in the
// physical device so that an unchanged pen, brush, raster operation,
// transfer mode, fill mode, pen width, line style or clip is not sent again.
#pragma once

#include "win/winddi.h"

namespace inkforge {

// Drawing state word.
namespace draw {
constexpr DWORD NoPen = 0x1;
constexpr DWORD SolidPen = 0x2;
constexpr DWORD PenMask = 0xF;
constexpr DWORD NoBrush = 0x10;
constexpr DWORD SolidBrush = 0x20;
constexpr DWORD BrushMask = 0xF0;
constexpr DWORD Dashed = 0x200;
constexpr DWORD WholePageClip = 0x400;
} // namespace draw

constexpr DWORD kNoRop = 0x100;       // never a raster operation: the first one is always sent
constexpr WORD kUnknownMode = 0xFFFF; // transfer and fill modes not sent yet
constexpr DWORD kUnknownCode = 0xFFFFFFFF;
constexpr int kPatternSlots = 10;
constexpr LONG kDeviceLimit = 32767;

struct VectorState {
    DWORD page; // 1 + the page count the state belongs to; 0: never set
    DWORD drawState;
    ULONG penColor;
    ULONG brushColor;
    DWORD rop;
    WORD paintTransfer;
    WORD sourceTransfer;
    WORD fillMode;
    DWORD penWidth;
    DWORD join;
    DWORD cap;
    DWORD miter;
    RECTL clip;
    RECTL deviceBox;
    POINTL current;
    // Raster pattern slots: the brush identifier that used each.
    DWORD nextSlot;
    ULONG slotBrush[kPatternSlots];
    LONG currentPattern;
};

struct PDEV;

// The state of the page now open; reset to "nothing sent" when a new page
// has begun since it was last used.
VectorState& Vector(PDEV* pdev);
void ResetVectorState(PDEV* pdev);

} // namespace inkforge
