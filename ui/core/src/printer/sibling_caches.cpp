// The localisation caches of the spool-side library and the support-
// information library, refreshed through their own UpdateRCBFile export
// when a printer is installed or its driver upgraded.
#include "sibling_caches.h"

#include <string>

#include "driver_env.h"
#include "rcb_export.h"
#include "win/base.h"

namespace sheetwright {

BOOL UpdateRCBFileOf(const std::u16string& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) return FALSE;
    auto update = reinterpret_cast<PFN_UpdateRCBFile>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "UpdateRCBFile")));
    BOOL result = update ? static_cast<BOOL>(update(module)) : FALSE;
    FreeLibrary(module);
    return result;
}

BOOL UpdateSiblingRCBFiles(HANDLE printer) {
    LPVOID data = LoadDriverDataFile(printer);
    HMODULE modelsmith = data ? LoadDriverModule(printer, data, kSelectModelsmith) : nullptr;
    std::u16string folder = GetDriverFolder(printer);
    BOOL result = FALSE;
    if (!folder.empty()) {
        // The first library's answer is not used: each refreshes its own cache.
        UpdateRCBFileOf(folder + kSpoolSideLibrary);
        result = UpdateRCBFileOf(folder + kSupportLibrary);
    }
    if (modelsmith) FreeLibrary(modelsmith);
    if (data) GlobalFree(data);
    return result;
}

} // namespace sheetwright
