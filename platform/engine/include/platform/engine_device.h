// What GDI tells the graphics engine about the devices it drives (not seen by
// drivers): a device is one enabled PDEV of a loaded driver with the driver's
// function table, so that EngAssociateSurface, brush realization and
// EngCheckAbort can find their way back to the driver.
#pragma once

#include <functional>

#include "win/winddi.h"

namespace platform::engine {

// Functions of the driver by INDEX_Drv* number (nullptr where it has none).
struct DriverFunctions {
    PFN fn[INDEX_LAST] = {};
};

// A new device with the driver's functions; its PDEV is set once the driver
// has made it. Returns nullptr when out of memory.
HDEV CreateDevice(const DriverFunctions& functions);
void SetDevicePdev(HDEV hdev, DHPDEV dhpdev);
DHPDEV DevicePdev(HDEV hdev);
PFN DeviceFunction(HDEV hdev, ULONG index);
// Asked by EngCheckAbort for the surfaces of this device (the job was
// cancelled). The function runs without any engine lock held.
void SetDeviceAbortCheck(HDEV hdev, std::function<bool()> check);
void DeleteDevice(HDEV hdev);

// What GDI needs to know of a surface the driver enabled.
struct SurfaceState {
    HDEV hdev = nullptr; // device it is associated with (nullptr if none)
    FLONG hooks = 0;
    bool banding = false;
    USHORT iType = 0;
    SIZEL size{};
};
bool QuerySurface(HSURF hsurf, SurfaceState* state);

} // namespace platform::engine
