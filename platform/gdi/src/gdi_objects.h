// GDI objects (pens, brushes, regions, fonts, palettes) behind their handles.
// An object is shared: a device context that selected it keeps using it after
// DeleteObject removed its handle.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "region.h"
#include "win/gdi_dc.h"
#include "win/winddi.h"

namespace platform::gdi {

// The GDI lock: device context states, objects and metafiles.
std::recursive_mutex& GdiLock();

// A pattern as an index image: top-down rows of width bytes, each an index
// into palette. A mono pattern (from a one-bit bitmap without colours of its
// own) takes the text and background colours of the device context instead.
struct PatternSource {
    LONG width = 0;
    LONG height = 0;
    bool mono = false;
    std::vector<BYTE> indices;
    std::vector<COLORREF> palette;
};

struct BrushData {
    UINT style = BS_SOLID; // BS_SOLID, BS_NULL, BS_HATCHED or BS_DIBPATTERNPT
    COLORREF color = 0;
    ULONG hatch = 0;
    std::shared_ptr<const PatternSource> pattern;
    bool dcBrush = false; // the stock DC_BRUSH: the colour of SetDCBrushColor
};

struct PenData {
    DWORD style = PS_SOLID; // PS_* with the type, end cap and join bits
    DWORD width = 0;        // logical units
    COLORREF color = 0;
    bool extended = false; // made by ExtCreatePen
    BrushData brush;       // what a geometric extended pen paints with
    std::vector<DWORD> userStyle;
    bool dcPen = false; // the stock DC_PEN
};

// A bitmap: an engine bitmap with the palette of its pixels.
struct BitmapData {
    HSURF surface = nullptr;
    HPALETTE palette = nullptr;
    LONG width = 0;
    LONG height = 0;
    ULONG bpp = 0;
    std::vector<COLORREF> colors; // of 1, 4 and 8 bits
    bool alpha = false;           // 32 bits with premultiplied alpha
    bool dibSection = false;
    BitmapData() = default;
    BitmapData(const BitmapData&) = delete;
    BitmapData& operator=(const BitmapData&) = delete;
    ~BitmapData();
};

enum class ObjectKind { Pen, Brush, Font, Palette, Region, Bitmap };

struct GdiObject {
    ObjectKind kind = ObjectKind::Pen;
    int stockIndex = -1;
    ULONG_PTR handle = 0; // set when it enters the table
    PenData pen;
    BrushData brush;
    Region region;
    LOGFONTW font{};
    std::shared_ptr<BitmapData> bitmap;
};

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> FindObject(HGDIOBJ h);
std::shared_ptr<GdiObject> FindObject(HGDIOBJ h, ObjectKind kind);
std::shared_ptr<GdiObject> StockObject(int index);
HGDIOBJ HandleOf(const std::shared_ptr<GdiObject>& object);
HRGN NewRegion(Region region);

// A pattern from a BITMAPINFO (bmi, bmiSize bytes) and its bits. usage is
// DIB_RGB_COLORS, DIB_PAL_COLORS or DIB_PAL_INDICES; mono asks for a pattern
// that takes the device context's colours when the bitmap has one bit per
// pixel. False for a bitmap that cannot be read (the sizes are checked).
bool ReadPattern(const BYTE* bmi, size_t bmiSize, const BYTE* bits, size_t bitsSize, UINT usage,
                 bool mono, PatternSource* out);
// The colour of entry i of the default palette.
COLORREF DefaultPaletteColor(size_t i);

// Makes a pen from an extended pen description; nullptr (last error set) when
// the combination is not a valid pen.
std::shared_ptr<GdiObject> MakeExtPen(DWORD style, DWORD width, const BrushData& brush,
                                      const DWORD* entries, DWORD count);

} // namespace platform::gdi
