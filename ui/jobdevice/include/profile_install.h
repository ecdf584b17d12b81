// At printer installation: the driver folder's default profiles.
#pragma once

#include "driver_env.h"

namespace sheetwright {

// The default profiles of the driver folder (model components 4 and 5)
// applied to the printer's global device mode. 0 when the driver folder
// cannot be found or the applied defaults could not be stored, else 1.
[[nodiscard]] BOOL ApplyDefaultProfileToPrinter(HANDLE printer, const ModelBlock* binding);

} // namespace sheetwright
