// The engine's shared state (lock, unique numbers) and EngCheckAbort, which a
// test can script and which otherwise asks the job of the surface's device.
#include <atomic>

#include "engine_internal.h"
#include "platform/core.h"
#include "platform/engine_ctl.h"

namespace platform::engine {
namespace {

std::atomic<ULONG> gUniq{0};
std::atomic<int> gAbortAfter{-1};
std::atomic<int> gAbortCalls{0};

void ResetScript() {
    gAbortAfter = -1;
    gAbortCalls = 0;
}

struct RegisterReset {
    RegisterReset() { platform::RegisterResetHook(&ResetScript); }
} gRegisterReset;

} // namespace

std::recursive_mutex& EngineLock() {
    static std::recursive_mutex lock;
    return lock;
}

ULONG NextUniq() {
    ULONG v = ++gUniq;
    if (v == 0) v = ++gUniq;
    return v;
}

} // namespace platform::engine

extern "C" BOOL APIENTRY EngCheckAbort(SURFOBJ* pso) {
    using namespace platform::engine;
    ++gAbortCalls;
    int after = gAbortAfter.load();
    if (after == 0) return TRUE;
    if (after > 0) --gAbortAfter;
    if (!pso) return FALSE;
    HDEV hdev = nullptr;
    {
        std::lock_guard lock(EngineLock());
        if (Surface* s = SurfaceFromObjLocked(pso)) hdev = s->so.hdev;
    }
    return hdev && DeviceAbortedNoLock(hdev) ? TRUE : FALSE;
}

namespace platform::test {

void AbortAfterChecks(int calls) {
    platform::engine::gAbortAfter = calls < 0 ? -1 : calls;
}

int CheckAbortCalls() {
    return platform::engine::gAbortCalls.load();
}

} // namespace platform::test
