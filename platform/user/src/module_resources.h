// The resources embedded in a module, found through the symbols the build puts
// there (pkg_embed_resources) and read once per loaded module.
#pragma once

#include <memory>
#include <vector>

#include "platform/res_file.h"
#include "win/resources.h"

namespace platform::user {

struct ModuleResources {
    std::vector<res::ResEntry> entries;
};

// The resources of a module (the main program for nullptr); nullptr with the
// last error set when the handle is unknown (ERROR_INVALID_HANDLE) or the
// module has no resources or unreadable ones (ERROR_RESOURCE_DATA_NOT_FOUND).
std::shared_ptr<const ModuleResources> ResourcesOf(HMODULE module);

// The entry of (type, name) in the language the system prefers: 1033 first,
// then language-neutral, then the first there is. nullptr with the last error
// set when there is none.
const res::ResEntry* FindEntry(HMODULE module, const res::ResId& type, const res::ResId& name);

// How many bytes of a loaded module's resource start at p (p inside one
// resource's data), 0 when p lies in none.
size_t ResourceExtent(const BYTE* p);

} // namespace platform::user
