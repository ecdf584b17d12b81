// The graphics engine calls the driver's hooks and exports as C functions: no
// exception may cross back into it. Every hook of the table is entered
// through HookGuard, which turns an exception (a failed allocation included)
// into the hook's failure value and the matching last error.
#pragma once

#include <new>
#include <type_traits>

#include "win/base.h"

namespace inkforge {

// The last error for the exception being handled; call only inside a catch.
inline void NoteHookException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INVALID_DATA);
    }
}

template <auto F> struct HookGuard;

template <class R, class... A, R (*F)(A...)> struct HookGuard<F> {
    // F's result, or its failure value (FALSE, null, 0) when F throws.
    static R APIENTRY Call(A... args) noexcept {
        try {
            return F(args...);
        } catch (...) {
            NoteHookException();
        }
        if constexpr (!std::is_void_v<R>) return R{};
    }
};

} // namespace inkforge
