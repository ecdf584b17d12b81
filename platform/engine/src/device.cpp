// Devices: one per enabled PDEV, with the driver's function table.
#include <map>
#include <memory>

#include "engine_internal.h"
#include "platform/engine_ctl.h"
#include "platform/engine_device.h"

namespace platform::engine {

struct Device {
    DriverFunctions functions;
    DHPDEV dhpdev = nullptr;
    std::function<bool()> abortCheck;
};

namespace {

std::map<ULONG_PTR, std::unique_ptr<Device>>& Devices() {
    static std::map<ULONG_PTR, std::unique_ptr<Device>> devices;
    return devices;
}
ULONG_PTR gNextDevice = 0x5d000;

} // namespace

Device* FindDeviceLocked(HDEV hdev) {
    auto it = Devices().find(reinterpret_cast<ULONG_PTR>(hdev));
    return it == Devices().end() ? nullptr : it->second.get();
}

PFN DeviceFunctionLocked(Device* dev, ULONG index) {
    return dev && index < INDEX_LAST ? dev->functions.fn[index] : nullptr;
}

bool DeviceAbortedNoLock(HDEV hdev) {
    std::function<bool()> check;
    {
        std::lock_guard lock(EngineLock());
        Device* dev = FindDeviceLocked(hdev);
        if (!dev) return false;
        check = dev->abortCheck;
    }
    return check && check();
}

HDEV CreateDevice(const DriverFunctions& functions) {
    auto dev = std::make_unique<Device>();
    dev->functions = functions;
    std::lock_guard lock(EngineLock());
    gNextDevice += 0x10;
    auto key = gNextDevice;
    Devices()[key] = std::move(dev);
    return reinterpret_cast<HDEV>(key);
}

void SetDevicePdev(HDEV hdev, DHPDEV dhpdev) {
    std::lock_guard lock(EngineLock());
    if (Device* dev = FindDeviceLocked(hdev)) dev->dhpdev = dhpdev;
}

DHPDEV DevicePdev(HDEV hdev) {
    std::lock_guard lock(EngineLock());
    Device* dev = FindDeviceLocked(hdev);
    return dev ? dev->dhpdev : nullptr;
}

PFN DeviceFunction(HDEV hdev, ULONG index) {
    std::lock_guard lock(EngineLock());
    return DeviceFunctionLocked(FindDeviceLocked(hdev), index);
}

void SetDeviceAbortCheck(HDEV hdev, std::function<bool()> check) {
    std::lock_guard lock(EngineLock());
    if (Device* dev = FindDeviceLocked(hdev)) dev->abortCheck = std::move(check);
}

void DeleteDevice(HDEV hdev) {
    std::unique_ptr<Device> gone;
    std::lock_guard lock(EngineLock());
    auto it = Devices().find(reinterpret_cast<ULONG_PTR>(hdev));
    if (it == Devices().end()) return;
    gone = std::move(it->second);
    Devices().erase(it);
}

} // namespace platform::engine

namespace platform::test {

long LiveDevices() {
    std::lock_guard lock(platform::engine::EngineLock());
    return static_cast<long>(platform::engine::Devices().size());
}

} // namespace platform::test
