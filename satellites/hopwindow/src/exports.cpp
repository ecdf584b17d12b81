// Hopwindow's exports and its library entry, each entered through the
// package's export barrier.
#include <cstring>
#include <string>

#include "export_barrier.h"
#include "localize.h"
#include "rcb_export.h"
#include "url_jump.h"
#include "win/base.h"
#include "win/loader.h"
#include "win/user.h"

namespace {

HMODULE gModule = nullptr;

INT_PTR ShowSupport(HWND parent, UrlJumpParam* param) {
    if (!param) return IDCANCEL;
    HMODULE module = param->module ? param->module : gModule;
    // A stale localisation cache is rebuilt before its templates are used.
    // Best-effort: without a fresh cache the module's own templates are used.
    (void)sheetwright::UpdateRCBFileOfModule(module);
    const std::string file(param->path, strnlen(param->path, sizeof param->path));
    return hopwindow::RunSupportDialog(parent, module, param->mode, file);
}

DWORD UpdateOwnRcbFile(HMODULE module) {
    return sheetwright::UpdateRCBFileOfModule(module ? module : gModule);
}

} // namespace

DECLARE_EXPORT_ORDINALS({1, "UrlJumpDialog"}, {2, "UpdateRCBFile"});

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gModule = instance;
    return TRUE;
}

DLLEXPORT INT_PTR WINAPI UrlJumpDialog(HWND parent, UrlJumpParam* param) {
    return export_barrier::RunGuarded<INT_PTR>(IDCANCEL,
                                               [&] { return ShowSupport(parent, param); });
}

DLLEXPORT DWORD WINAPI UpdateRCBFile(HMODULE module) {
    return export_barrier::ExportGuard<&UpdateOwnRcbFile, FALSE>::Call(module);
}
