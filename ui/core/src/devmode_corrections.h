// Corrections of a device-mode image by the printer's installed options.
#pragma once

#include "install_option.h"
#include "win/devmode_private.h"

namespace sheetwright {

// Brings the fields that depend on the installed units (two-sided unit,
// collation by the device, department counter, the finisher's output bin)
// into step with the list. FALSE when the list or the image is missing.
BOOL ReviseDevmodeByOptions(const ModelOptionPair* options, DEVMODE_IMAGEW* image);

} // namespace sheetwright
