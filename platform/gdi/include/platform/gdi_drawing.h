// Where drawing enters a printer device context. Every drawing call of a page
// becomes a DrawingCall: played on the driver's surface at once, or, on a
// banding surface, kept until the page ends and played once for every band.
// GDI's drawing functions and EMF playback make their calls here.
#pragma once

#include <memory>
#include <vector>

#include "platform/engine_device.h"
#include "win/gdi.h"
#include "win/winddi.h"

namespace platform::gdi {

// The surface a call is played on, and where it lies on the page.
struct PlayTarget {
    SURFOBJ* pso = nullptr;
    HSURF hsurf = nullptr;
    FLONG hooks = 0;
    const engine::DriverFunctions* functions = nullptr;
    POINTL origin{}; // the page point at the surface's (0, 0)
    RECTL area{};    // the part of the page the surface holds now
    // No other play of the call follows (it is not kept for bands): what the
    // call holds may go to the driver itself instead of a copy.
    bool last = false;
};

class DrawingCall {
  public:
    virtual ~DrawingCall() = default;
    // The part of the page the call can touch (right and bottom exclusive).
    virtual RECTL Bounds() const = 0;
    // Draws through the driver's hook; where the driver does not take the
    // call over or refuses it, the engine draws it (into a bitmap surface,
    // or through the driver's image hooks on a device surface). FALSE when
    // neither could.
    virtual BOOL Play(const PlayTarget& target) = 0;
};

// Hands a call to the page open on hdc. FALSE (ERROR_INVALID_PARAMETER) when
// no page is open; otherwise the result of playing it, or TRUE when it is kept
// for banding. work is how many pixels the call can draw at most (negative:
// every pixel of its bounds); a call that would take a printer page's drawing
// past what any page can show fails with ERROR_NOT_ENOUGH_QUOTA, drawing nothing.
BOOL SubmitDrawing(HDC hdc, std::unique_ptr<DrawingCall> call, double work = -1);

// The image of a pattern brush: top-down rows of one byte per pixel, each an
// index into colors (colour indexes of the device).
struct BrushPattern {
    SIZEL size{};
    std::vector<BYTE> indices;
    std::vector<ULONG> colors;
};

// What fills: a solid colour (a colour index of the device), a hatch, or a
// pattern.
struct BrushSpec {
    bool hatch = false;
    ULONG color = 0;                             // solid colour, or the hatch lines' colour
    ULONG background = 0;                        // hatch background
    ULONG style = 0;                             // HS_*
    std::shared_ptr<const BrushPattern> pattern; // set: a pattern brush
};

// Path calls; the path (page coordinates, 28.4) is copied, or taken over with
// adopt (the call deletes it); the clip is the union of the rectangles in page
// coordinates (none: the whole page).
std::unique_ptr<DrawingCall> MakeFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                          const BrushSpec& brush, MIX mix, FLONG fillMode,
                                          bool adopt = false);
std::unique_ptr<DrawingCall> MakeStrokePath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                            const BrushSpec& pen, const LINEATTRS& line, MIX mix,
                                            bool adopt = false);
std::unique_ptr<DrawingCall> MakeLineTo(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                        const BrushSpec& pen, MIX mix);
// Fill and outline in one: DrvStrokeAndFillPath when the driver takes it,
// else DrvFillPath and then DrvStrokePath.
std::unique_ptr<DrawingCall> MakeStrokeAndFillPath(PATHOBJ* ppo, const std::vector<RECTL>& clip,
                                                   const BrushSpec& pen, const LINEATTRS& line,
                                                   const BrushSpec& brush, MIX mix, FLONG fillMode,
                                                   bool adopt = false);
// A one-pixel solid line: DrvLineTo when the driver takes it, else
// DrvStrokePath of the segment.
std::unique_ptr<DrawingCall> MakeLine(POINTL from, POINTL to, const std::vector<RECTL>& clip,
                                      const BrushSpec& pen, MIX mix);

// An image a raster call keeps: an engine bitmap with the palette of its
// pixels, both deleted with it.
struct RasterImage {
    HSURF surface = nullptr;
    HPALETTE palette = nullptr;
    RasterImage() = default;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;
    ~RasterImage();
};

enum class RasterKind { Blit, Transparent, Alpha, Gradient, Parallelogram };

// A raster call in page coordinates: the source's rectangle (of its own
// pixels; mirrored when its width or height runs backwards) onto the
// destination rectangle, under the four-operand raster operation, with the
// brush where the operation reads the pattern.
struct RasterSpec {
    RasterKind kind = RasterKind::Blit;
    std::shared_ptr<const RasterImage> source;
    std::shared_ptr<const RasterImage> mask; // one bit, the source's size
    RECTL dst{};
    RECTL src{};
    POINTL maskOrg{};
    ROP4 rop4 = 0xCCCC;
    ULONG stretchMode = 3; // COLORONCOLOR
    // Source index to device colour; empty: from the source's palette to the
    // device's.
    std::vector<ULONG> table;
    bool brush = false;
    BrushSpec brushSpec;
    POINTL brushOrg{};
    ULONG transparentColor = 0; // a source pixel value
    BLENDFUNCTION blend{};
    std::vector<TRIVERTEX> vertices; // gradients: page coordinates, RGB colours
    std::vector<ULONG> mesh;
    ULONG gradientMode = 0;
    POINTFIX corners[3] = {}; // parallelograms: upper left, upper right, lower left
};
// devicePalette: the colours of the device (from RGB for gradients).
std::unique_ptr<DrawingCall> MakeRasterCall(const RasterSpec& spec, const std::vector<RECTL>& clip,
                                            HPALETTE devicePalette);

} // namespace platform::gdi
