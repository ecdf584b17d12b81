// A module for the loader tests: numbered exports with a gap in the ordinals,
// and a DllMain that logs each call with the module's own file name to
// <machine root>/dllmain.log.
#include <cstdio>
#include <cstdlib>

#include "win/errors.h"
#include "win/loader.h"
#include "win/strings.h"

namespace {

HINSTANCE gSelf = nullptr;

void Log(const char* event, HINSTANCE self) {
    const char* root = std::getenv("PRINTHOST_ROOT");
    if (!root) return;
    char path[4096];
    std::snprintf(path, sizeof path, "%s/dllmain.log", root);
    WCHAR name[MAX_PATH];
    char utf8[MAX_PATH * 3];
    DWORD n = GetModuleFileNameW(self, name, MAX_PATH);
    int len = n ? WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(n), utf8, sizeof utf8 - 1,
                                      nullptr, nullptr)
                : 0;
    utf8[len > 0 ? len : 0] = '\0';
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s %s\n", event, utf8);
        std::fclose(f);
    }
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gSelf = instance;
        Log("attach", instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        Log("detach", instance);
    }
    return TRUE;
}

DLLEXPORT int WINAPI ProbeOne(void) {
    return 1;
}
DLLEXPORT int WINAPI ProbeTwo(void) {
    return 2;
}
DLLEXPORT int WINAPI ProbeFive(void) {
    return 5;
}
DLLEXPORT HINSTANCE WINAPI ProbeSelf(void) {
    return gSelf;
}

DECLARE_EXPORT_ORDINALS({1, "ProbeOne"}, {2, "ProbeTwo"}, {5, "ProbeFive"}, {6, "ProbeSelf"});
