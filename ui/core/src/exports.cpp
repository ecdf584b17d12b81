// The exports of Sheetwright.DLL.
#include "win/base.h"

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
