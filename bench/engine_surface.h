// An engine bitmap, locked for its life, for the benchmarks that draw with
// the engine.
#pragma once

#include <cstddef>

#include "win/winddi.h"

namespace bench {

struct Surface {
    HSURF h;
    SURFOBJ* so;
    Surface(LONG cx, LONG cy, ULONG format) {
        h = reinterpret_cast<HSURF>(
            EngCreateBitmap(SIZEL{cx, cy}, 0, format, BMF_TOPDOWN, nullptr));
        so = EngLockSurface(h);
    }
    ~Surface() {
        EngUnlockSurface(so);
        EngDeleteSurface(h);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    size_t Bytes() const { return static_cast<size_t>(so->cjBits); }
};

} // namespace bench
