// The driver's exports: the entry that hands the graphics engine the hook
// table, the user-mode query and the release of the driver-wide state.
#include <type_traits>

#include "hook_guard.h"
#include "hooks.h"
#include "win/base.h"

#ifndef ERROR_BAD_DRIVER_LEVEL
#define ERROR_BAD_DRIVER_LEVEL 119L
#endif

namespace {

constexpr ULONG kDriverVersion = 0x30101;
constexpr DWORD kQueryUserMode = 1; // DRVQUERY_USERMODE

using namespace inkforge;

BOOL EnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
    if (iEngineVersion < DDI_DRIVER_VERSION_NT4 || cj < sizeof(DRVENABLEDATA) || !pded) {
        SetLastError(ERROR_BAD_DRIVER_LEVEL);
        return FALSE;
    }
    ULONG count = 0;
    const DRVFN* table = HookTable(&count);
    pded->iDriverVersion = kDriverVersion;
    pded->c = count;
    pded->pdrvfn = const_cast<DRVFN*>(table);
    return ComputeGlyphSets() ? TRUE : FALSE;
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) SetDriverModule(reinterpret_cast<HMODULE>(instance));
    return TRUE;
}

DLLEXPORT BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
    return HookGuard<&EnableDriver>::Call(iEngineVersion, cj, pded);
}

DLLEXPORT BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf,
                                           PDWORD pcbNeeded) {
    if (dwMode != kQueryUserMode || !pcbNeeded) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pcbNeeded = sizeof(DWORD);
    if (!pBuffer || cbBuf < sizeof(DWORD)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *static_cast<DWORD*>(pBuffer) = 1;
    return TRUE;
}

DLLEXPORT VOID APIENTRY DrvDisableDriver(VOID) {
    FreeGlyphSets();
}

// The engine binds these by name and calls them through its pointer types.
static_assert(std::is_same_v<decltype(&DrvEnableDriver), PFN_DrvEnableDriver>);
static_assert(std::is_same_v<decltype(&DrvDisableDriver), PFN_DrvDisableDriver>);
