#include "platform/host_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace platform {

bool OpenHostLibrary(const char* soname, const char* const* names, void** addresses,
                     std::size_t count) {
    void* handle = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    std::string why;
    if (!handle) {
        const char* error = dlerror();
        why = error ? error : std::string(soname) + ": cannot be opened"; // the loader names it
    } else {
        for (std::size_t i = 0; i < count && why.empty(); ++i) {
            addresses[i] = dlsym(handle, names[i]);
            if (!addresses[i]) why = std::string(soname) + " has no " + names[i];
        }
        if (!why.empty()) dlclose(handle);
    }
    if (why.empty()) return true;
    for (std::size_t i = 0; i < count; ++i)
        addresses[i] = nullptr;
    std::fprintf(stderr, "%s\n", why.c_str());
    return false;
}

} // namespace platform
