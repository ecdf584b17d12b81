// EngAllocMem and EngFreeMem over the C heap, counted so that tests can see
// every block given back.
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_ctl.h"
#include "win/errors.h"

namespace platform::engine {
namespace {

std::unordered_map<void*, size_t>& Blocks() {
    static std::unordered_map<void*, size_t> blocks;
    return blocks;
}
long gForeignFrees = 0;

} // namespace

void* AllocCounted(size_t bytes, bool zero) {
    // A request for nothing still gets a block of its own.
    size_t n = bytes ? bytes : 1;
    void* p = zero ? std::calloc(1, n) : std::malloc(n);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(EngineLock());
    Blocks()[p] = bytes;
    return p;
}

void FreeCounted(void* p) {
    if (!p) return;
    {
        std::lock_guard lock(EngineLock());
        auto it = Blocks().find(p);
        if (it == Blocks().end()) {
            ++gForeignFrees;
            return;
        }
        Blocks().erase(it);
    }
    std::free(p);
}

} // namespace platform::engine

extern "C" {

PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG /*Tag*/) {
    PLATFORM_FAULT_POINT("EngAllocMem", nullptr);
    return platform::engine::AllocCounted(MemSize, (Flags & FL_ZERO_MEMORY) != 0);
}

VOID APIENTRY EngFreeMem(PVOID Mem) {
    platform::engine::FreeCounted(Mem);
}
}

namespace platform::test {

long LiveEngAllocations() {
    std::lock_guard lock(platform::engine::EngineLock());
    return static_cast<long>(platform::engine::Blocks().size());
}

long ForeignEngFrees() {
    std::lock_guard lock(platform::engine::EngineLock());
    return platform::engine::gForeignFrees;
}

} // namespace platform::test
