// The exports of Modelsmith.DLL, each through the package's export barrier:
// a failure inside (a failed allocation, say) is answered with its Win32 error
// number, as every other failure of these exports is.
#include "export_barrier.h"
#include "model/modelsmith.h"
#include "win/devmode.h"
#include "win/loader.h"

namespace {

using export_barrier::ErrorNumber;
using export_barrier::ExportGuard;

DWORD GetMyPrinterInfo(LPCVOID modelData, INT code, INT index, INT layout, LPVOID out,
                       LPDWORD length, LPDWORD count) {
    return model::GetMyPrinterInfo(modelData, code, index, layout, out, length, count);
}

// The device modes carry their sizes; that is all of the buffers the caller gives.
DWORD ReviseDevmode(LPCVOID modelData, LPVOID oldDevmode, LPVOID newDevmode, DWORD type) {
    auto stated = [](const void* dm) -> std::size_t {
        if (!dm) return 0;
        const auto* d = static_cast<const DEVMODEA*>(dm);
        return std::size_t{d->dmSize} + d->dmDriverExtra;
    };
    return model::ReviseDevmode(modelData, oldDevmode, stated(oldDevmode), newDevmode,
                                stated(newDevmode), type);
}

} // namespace

DLLEXPORT DWORD WINAPI mdGetMyPrinterInfo(LPCVOID modelData, INT code, INT index, INT layout,
                                          LPVOID out, LPDWORD length, LPDWORD count) {
    return ExportGuard<&GetMyPrinterInfo, ErrorNumber{}>::Call(modelData, code, index, layout, out,
                                                               length, count);
}

DLLEXPORT DWORD WINAPI mdReviseDevmode(LPCVOID modelData, LPVOID oldDevmode, LPVOID newDevmode,
                                       DWORD type) {
    return ExportGuard<&ReviseDevmode, ErrorNumber{}>::Call(modelData, oldDevmode, newDevmode,
                                                            type);
}

DECLARE_EXPORT_ORDINALS({MODELSMITH_ORDINAL_GETMYPRINTERINFO, "mdGetMyPrinterInfo"},
                        {MODELSMITH_ORDINAL_REVISEDEVMODE, "mdReviseDevmode"});
