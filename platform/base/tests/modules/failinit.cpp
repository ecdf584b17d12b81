// A module for the loader tests whose DllMain refuses to start; it logs each
// call to <machine root>/dllmain.log.
#include <cstdio>
#include <cstdlib>

#include "win/loader.h"

namespace {

void Log(const char* event) {
    const char* root = std::getenv("PRINTHOST_ROOT");
    if (!root) return;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/dllmain.log", root);
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s Failinit\n", event);
        std::fclose(f);
    }
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Log("attach");
        return FALSE;
    }
    if (reason == DLL_PROCESS_DETACH) Log("detach");
    return TRUE;
}

DLLEXPORT int WINAPI FailinitValue(void) {
    return 7;
}
