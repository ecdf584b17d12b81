// The library's exports are entered through the package's one export barrier
// (export_barrier.h): an exception becomes the export's failure value and the
// matching last error.
#pragma once

#include "export_barrier.h"

namespace sheetwright {

using export_barrier::ErrorNumber;
using export_barrier::ExportGuard;

} // namespace sheetwright
