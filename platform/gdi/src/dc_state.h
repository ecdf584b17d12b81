// The drawing state of device contexts: what SaveDC saves and RestoreDC
// brings back, kept beside the device context itself (device_context.cpp)
// from the first GDI call that needs it until DeleteDC.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "gdi_internal.h"
#include "gdi_objects.h"
#include "geometry.h"
#include "region.h"

namespace platform::gdi {

enum class PathMode { None, Open, Closed };

struct DcAttributes {
    int graphicsMode = GM_COMPATIBLE;
    int mapMode = MM_TEXT;
    POINT windowOrg{0, 0};
    POINT viewportOrg{0, 0};
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};
    Affine world;     // identity unless GM_ADVANCED
    PointD current{}; // logical
    std::shared_ptr<GdiObject> pen, brush, font, palette;
    int rop2 = R2_COPYPEN;
    int bkMode = OPAQUE;
    int polyFillMode = ALTERNATE;
    int stretchMode = BLACKONWHITE;
    int arcDirection = AD_COUNTERCLOCKWISE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int charExtra = 0;  // logical units added after every character
    int breakExtra = 0; // SetTextJustification: logical units shared by breakCount breaks
    int breakCount = 0;
    DWORD mapperFlags = 0;
    COLORREF bkColor = 0xFFFFFF;
    COLORREF textColor = 0;
    COLORREF dcBrushColor = 0xFFFFFF;
    COLORREF dcPenColor = 0;
    double miterLimit = 10;
    POINT brushOrg{0, 0};
    // A window's device context: where its device point (0, 0) lies on the
    // surface it shares with the other windows of its top-level window. Every
    // device unit the program sees is relative to it; drawing, paths and clip
    // regions are kept in surface pixels.
    POINT origin{0, 0};
    // Device units. No clip region: the whole device. The meta region bounds
    // every later clip region.
    std::optional<Region> clip;
    std::optional<Region> meta;
    PathMode pathMode = PathMode::None;
    Figures path; // device units
};

struct DcState {
    HDC hdc = nullptr;
    PrinterDcFacts facts;
    DcAttributes a;
    std::vector<DcAttributes> saved;
};

// The state of a device context with the GDI lock held for as long as the
// access lives; false (ERROR_INVALID_HANDLE) when hdc is no device context.
class DcAccess {
  public:
    explicit DcAccess(HDC hdc);
    DcAccess(const DcAccess&) = delete;
    DcAccess& operator=(const DcAccess&) = delete;
    explicit operator bool() const { return dc_ != nullptr; }
    DcState* operator->() const { return dc_; }
    DcState& operator*() const { return *dc_; }

  private:
    std::unique_lock<std::recursive_mutex> lock_;
    DcState* dc_ = nullptr;
};

// Window and viewport mapping (logical after the world transform to device).
Affine PageTransform(const DcAttributes& a);
Affine LogicalToDevice(const DcAttributes& a);
// The device's page: (0, 0, HORZRES, VERTRES).
RECTL PageRect(const DcState& dc);
// The clip that drawing obeys: the clip region within the meta region.
std::optional<Region> EffectiveClip(const DcAttributes& a);
// Combines rgn (device units; nullptr only with RGN_COPY: no clip) into the
// clip region. Returns the kind of the resulting clip, or ERROR.
int CombineClip(DcState& dc, const Region* rgn, int mode);
// The region of a logical rectangle in device units.
Region LogicalRectRegion(const DcState& dc, const RECT& r);
// Devices pixels per logical unit along each axis, for pen widths.
double LogicalScale(const DcAttributes& a);

} // namespace platform::gdi
