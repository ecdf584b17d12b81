// The library's exports are plain C functions that the spooler, the printer
// interface and the graphics library call: no exception may cross back into
// them. Every export is entered through ExportGuard, which turns an exception
// (a failed allocation included) into the export's failure value and the
// matching last error.
#pragma once

#include <new>
#include <type_traits>

#include "win/base.h"
#include "win/errors.h"

namespace sheetwright {

// The error for the exception being handled, made the last error too; call
// only inside a catch.
inline DWORD NoteExportException() noexcept {
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

// The failure value of an export whose result is an error number: the error.
struct ErrorNumber {};

template <auto F, auto Failure> struct ExportGuard;

template <class R, class... A, R (*F)(A...), auto Failure> struct ExportGuard<F, Failure> {
    // F's result, or Failure when F throws.
    static R Call(A... args) noexcept {
        try {
            return F(args...);
        } catch (...) {
            const DWORD error = NoteExportException();
            if constexpr (std::is_same_v<std::remove_cv_t<decltype(Failure)>, ErrorNumber>)
                return static_cast<R>(error);
            else
                return static_cast<R>(Failure);
        }
    }
};

} // namespace sheetwright
