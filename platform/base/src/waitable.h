// Objects that WaitForSingleObject can wait on.
#pragma once

#include "win/types.h"

namespace platform {

class Waitable {
  public:
    virtual ~Waitable() = default;
    // Waits until the object is signalled or `milliseconds` pass (INFINITE:
    // no limit). WAIT_OBJECT_0 or WAIT_TIMEOUT; WAIT_FAILED with the last
    // error set.
    virtual DWORD Wait(DWORD milliseconds) = 0;
};

} // namespace platform
