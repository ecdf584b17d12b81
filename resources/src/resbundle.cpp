// Resbundle.DLL holds the user interface's resources and no code beyond its
// entry, which succeeds for every reason.
#include "win/base.h"

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
