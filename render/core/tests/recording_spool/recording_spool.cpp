// A spool-side library for the graphics core's tests: ZORPrintEMF keeps the
// job record it is given and what the model block holds in
// "ZORPrintEMF.rec" beside itself (the 268 record bytes, then "model=yes" or
// "model=no").
#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <string>

#include "emfplay/metaweave.h"
#include "win/base.h"

namespace {

HMODULE gSelf = nullptr;

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gSelf = reinterpret_cast<HMODULE>(instance);
    return TRUE;
}

DLLEXPORT DWORD WINAPI ZORPrintEMF(EmfJobRecord* record, ModelBlock* block) {
    Dl_info info{};
    std::string path;
    if (dladdr(reinterpret_cast<void*>(&ZORPrintEMF), &info) && info.dli_fname)
        path = info.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "ZORPrintEMF.rec";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(record), sizeof *record);
    bool model = block && block->modelsmith && block->modelData &&
                 std::memcmp(block->modelData, "NKSP", 4) == 0;
    out << (model ? "model=yes" : "model=no");
    return 1;
}
