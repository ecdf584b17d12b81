// The exports of Modelsmith.DLL.
#include "model/modelsmith.h"
#include "win/loader.h"

DLLEXPORT DWORD WINAPI mdGetMyPrinterInfo(LPCVOID modelData, INT code, INT index, INT layout, LPVOID out,
                                          LPDWORD length, LPDWORD count) {
    return model::GetMyPrinterInfo(modelData, code, index, layout, out, length, count);
}

DECLARE_EXPORT_ORDINALS({MODELSMITH_ORDINAL_GETMYPRINTERINFO, "mdGetMyPrinterInfo"});
