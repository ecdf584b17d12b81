// Internals of the stand-in GDI shared by its files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/engine_device.h"
#include "win/winddi.h"

namespace platform::gdi {

// A graphics driver loaded for device contexts: loaded and enabled
// (DrvEnableDriver) with its first device context, disabled
// (DrvDisableDriver) and freed with its last.
struct GraphicsDriver {
    HMODULE module = nullptr;
    engine::DriverFunctions functions;
    ULONG version = 0;
    PFN_DrvDisableDriver disable = nullptr;
    int users = 0;

    template <class F> F Fn(ULONG index) const {
        return index < INDEX_LAST ? reinterpret_cast<F>(functions.fn[index]) : nullptr;
    }
};

// Loads the driver file (a Windows path) and enables it, or takes one more
// use of it when it is loaded already. nullptr with the last error set.
GraphicsDriver* AcquireGraphicsDriver(const std::u16string& path);
void ReleaseGraphicsDriver(GraphicsDriver* driver);
long LoadedGraphicsDriverCount();

// What drawing needs to know of a printer device context's device.
struct PrinterDcFacts {
    GDIINFO gdiinfo{};
    DEVINFO devinfo{};
};
// False (ERROR_INVALID_HANDLE) when hdc is no device context. Safe to call
// while the device context is in use by another call of the same thread.
bool QueryPrinterDc(HDC hdc, PrinterDcFacts* facts);
// Drops the drawing state kept for a device context that is deleted.
void ForgetDcState(HDC hdc);

struct GdiObject;
// Memory device contexts: drawn by the engine itself into the bitmap
// selected into them. CreateMemoryDc takes the resolution of the reference
// device context (none: 96 pixels per inch).
HDC CreateMemoryDc(HDC reference);
// Selects a bitmap into a memory device context; the bitmap it replaces, or
// nullptr (ERROR_INVALID_PARAMETER) when hdc is no memory device context or
// the bitmap is selected into another one.
std::shared_ptr<GdiObject> SelectDcBitmap(HDC hdc, std::shared_ptr<GdiObject> bitmap);
// The bitmap of a memory device context; nullptr for other device contexts.
std::shared_ptr<GdiObject> DcBitmap(HDC hdc);
struct Dib;
// A bitmap (in the handle table) holding the image; nullptr with the last
// error set.
HBITMAP BitmapFromDib(const Dib& dib);
// A 1 x 1 one-bit bitmap, what a memory device context holds at first.
std::shared_ptr<GdiObject> NewBitmapObject(LONG width, LONG height, ULONG bpp,
                                           const std::vector<COLORREF>& colors, bool dibSection);

} // namespace platform::gdi
