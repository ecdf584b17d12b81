// Drawing of figures on a device context: the device context's pen, brush,
// modes and clip turned into the engine's objects and handed to the driver
// through the drawing seam.
#pragma once

#include "dc_state.h"
#include "geometry.h"
#include "platform/gdi_drawing.h"

namespace platform::gdi {

struct DrawOptions {
    bool fill = false;
    bool stroke = false;
    const BrushData* brush = nullptr; // nullptr: the selected brush
    int rop2 = 0;                     // 0: the device context's
};

// Draws figures given in device units. TRUE when nothing is to be drawn
// (null pen and brush, everything clipped away).
BOOL DrawFigures(DcState& dc, const Figures& device, const DrawOptions& options);

// Colours of the device: COLORREFs translated through the device's palette.
class DeviceColors {
  public:
    explicit DeviceColors(const DcState& dc);
    ~DeviceColors();
    DeviceColors(const DeviceColors&) = delete;
    DeviceColors& operator=(const DeviceColors&) = delete;
    ULONG operator()(COLORREF c) const;

  private:
    HPALETTE rgb_ = nullptr;
    XLATEOBJ* xlate_ = nullptr;
};

// The brush for the driver; false for a null brush.
bool MakeBrushSpec(const DcState& dc, const DeviceColors& colors, const BrushData& b,
                   BrushSpec* out);

// The device's colour index of a colour (through the device's palette).
ULONG DeviceColor(const DcState& dc, COLORREF color);

// Figures in device units go into the open path, or are drawn.
BOOL Emit(DcState& dc, const Figures& device, bool fill, bool stroke);

} // namespace platform::gdi
