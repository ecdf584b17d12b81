// The barrier at every export and hook of the package's libraries. Their
// callers (the spooler, GDI, the graphics engine, another library) are C code:
// no exception may cross back into them. Each export is entered through
// ExportGuard (or, for a body written in place, RunGuarded), which turns an
// exception, a failed allocation included, into the export's failure value and
// the matching last error.
#pragma once

#include <new>
#include <type_traits>

#include "platform/testctl.h"
#include "win/base.h"
#include "win/errors.h"

namespace export_barrier {

// The error for the exception being handled, made the last error too; call
// only inside a catch.
inline DWORD NoteException() noexcept {
    DWORD error = ERROR_INVALID_DATA;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
    }
    SetLastError(error);
    return error;
}

// Where a test makes an export fail as a failed allocation inside it would
// (platform::test::FailNextExports); nothing happens otherwise.
inline void EntryFaultPoint() {
    if (platform::test::TakeExportFault()) throw std::bad_alloc();
}

// Failure values that depend on the export: the error number itself (for an
// export whose result is an error number), or the result type's zero (FALSE,
// null, 0; nothing for a void export).
struct ErrorNumber {};
struct Zero {};

template <class R, auto Failure> R FailureValue(DWORD error) {
    using F = std::remove_cv_t<decltype(Failure)>;
    if constexpr (std::is_void_v<R>)
        return;
    else if constexpr (std::is_same_v<F, ErrorNumber>)
        return static_cast<R>(error);
    else if constexpr (std::is_same_v<F, Zero>)
        return R{};
    else
        return static_cast<R>(Failure);
}

template <auto F, auto Failure = Zero{}> struct ExportGuard;

template <class R, class... A, R (*F)(A...), auto Failure> struct ExportGuard<F, Failure> {
    // F's result, or the failure value when F throws.
    static R APIENTRY Call(A... args) noexcept {
        try {
            EntryFaultPoint();
            return F(args...);
        } catch (...) {
            return FailureValue<R, Failure>(NoteException());
        }
    }
};

// body()'s result, or `failure` when it throws.
template <class R, class Body> R RunGuarded(R failure, Body&& body) noexcept {
    try {
        EntryFaultPoint();
        return body();
    } catch (...) {
        NoteException();
        return failure;
    }
}

} // namespace export_barrier
