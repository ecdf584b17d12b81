// Waiting on kernel objects, and the test control that keeps long waits short.
#include <atomic>

#include "platform/core.h"
#include "platform/handles.h"
#include "platform/process_ctl.h"
#include "waitable.h"
#include "win/errors.h"
#include "win/process.h"

namespace {

std::atomic<DWORD> gWaitLimit{INFINITE};
std::atomic<DWORD> gLastWaitTimeout{0};

void ResetWaits() {
    gWaitLimit = INFINITE;
    gLastWaitTimeout = 0;
}

void RegisterReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetWaits), true);
    (void)registered;
}

} // namespace

namespace platform::test {

void LimitWaitTimeouts(DWORD maxMilliseconds) {
    RegisterReset();
    gWaitLimit = maxMilliseconds;
}

DWORD LastWaitTimeout() {
    return gLastWaitTimeout;
}

} // namespace platform::test

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    PLATFORM_FAULT_POINT("WaitForSingleObject", WAIT_FAILED);
    gLastWaitTimeout = dwMilliseconds;
    auto object = platform::LookupHandle(hHandle);
    auto* waitable = dynamic_cast<platform::Waitable*>(object.get());
    if (!waitable) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD limit = gWaitLimit;
    if (dwMilliseconds != INFINITE && dwMilliseconds > limit) dwMilliseconds = limit;
    return waitable->Wait(dwMilliseconds);
}
