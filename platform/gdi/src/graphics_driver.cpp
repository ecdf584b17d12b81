// Graphics drivers: one load and one DrvEnableDriver per driver, shared by
// every device context on it, a device context opened from inside one of the
// driver's own hooks included.
#include <map>
#include <memory>
#include <mutex>

#include "gdi_internal.h"
#include "win/errors.h"
#include "win/loader.h"

namespace platform::gdi {
namespace {

std::recursive_mutex gMutex;
std::map<HMODULE, std::unique_ptr<GraphicsDriver>> gDrivers;

// The functions every printer graphics driver has to hand out.
constexpr ULONG kRequired[] = {INDEX_DrvEnablePDEV, INDEX_DrvCompletePDEV, INDEX_DrvDisablePDEV,
                               INDEX_DrvEnableSurface, INDEX_DrvDisableSurface};

} // namespace

GraphicsDriver* AcquireGraphicsDriver(const std::u16string& path) {
    // Held while the driver enables itself, so that it is enabled once.
    std::lock_guard lock(gMutex);
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(path.c_str()));
    if (!module) return nullptr;
    auto it = gDrivers.find(module);
    if (it != gDrivers.end()) {
        // The module's own load count stays at one per driver.
        FreeLibrary(module);
        ++it->second->users;
        return it->second.get();
    }
    auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
        reinterpret_cast<PFN>(GetProcAddress(module, "DrvEnableDriver")));
    if (!enable) {
        FreeLibrary(module);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    DRVENABLEDATA ded{};
    SetLastError(0);
    if (!enable(DDI_DRIVER_VERSION_NT5_01_SP1, sizeof ded, &ded) ||
        ded.iDriverVersion < DDI_DRIVER_VERSION_NT4 || (ded.c && !ded.pdrvfn)) {
        if (GetLastError() == 0) SetLastError(ERROR_DLL_INIT_FAILED);
        FreeLibrary(module);
        return nullptr;
    }
    auto driver = std::make_unique<GraphicsDriver>();
    driver->module = module;
    driver->version = ded.iDriverVersion;
    for (ULONG i = 0; i < ded.c; ++i)
        if (ded.pdrvfn[i].iFunc < INDEX_LAST)
            driver->functions.fn[ded.pdrvfn[i].iFunc] = ded.pdrvfn[i].pfn;
    // DrvDisableDriver comes from the table or, failing that, by name.
    driver->disable = driver->Fn<PFN_DrvDisableDriver>(INDEX_DrvDisableDriver);
    if (!driver->disable)
        driver->disable = reinterpret_cast<PFN_DrvDisableDriver>(
            reinterpret_cast<PFN>(GetProcAddress(module, "DrvDisableDriver")));
    for (ULONG index : kRequired) {
        if (!driver->functions.fn[index]) {
            if (driver->disable) driver->disable();
            FreeLibrary(module);
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
    }
    driver->users = 1;
    GraphicsDriver* raw = driver.get();
    gDrivers[module] = std::move(driver);
    return raw;
}

void ReleaseGraphicsDriver(GraphicsDriver* driver) {
    std::unique_ptr<GraphicsDriver> gone;
    {
        std::lock_guard lock(gMutex);
        auto it = gDrivers.find(driver->module);
        if (it == gDrivers.end() || --it->second->users > 0) return;
        gone = std::move(it->second);
        gDrivers.erase(it);
    }
    if (gone->disable) gone->disable();
    FreeLibrary(gone->module);
}

long LoadedGraphicsDriverCount() {
    std::lock_guard lock(gMutex);
    return static_cast<long>(gDrivers.size());
}

} // namespace platform::gdi
