// The graphics engine calls the driver's hooks and exports as C functions: no
// exception may cross back into it. Every hook of the table is entered
// through HookGuard, the package's one export barrier (export_barrier.h): an
// exception, a failed allocation included, becomes the hook's failure value
// (FALSE, null, 0) and the matching last error.
#pragma once

#include "export_barrier.h"

namespace inkforge {

template <auto F> using HookGuard = export_barrier::ExportGuard<F>;

} // namespace inkforge
