// A resource-only module: its only code is an entry that succeeds.
#include "win/base.h"

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
