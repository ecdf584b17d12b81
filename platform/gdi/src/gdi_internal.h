// Internals of the stand-in GDI shared by its files.
#pragma once

#include <string>

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

} // namespace platform::gdi
