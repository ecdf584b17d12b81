// Device modes between their ANSI and wide forms, as the model library takes
// them in ANSI form (the package's one conversion), and the decision whether a
// job is replayed spool-side.
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "devmode_forms.h"
#include "devmode_private.h"

namespace sheetwright {

// The conversion around every model revision.
using driver_devmode::DevModeAToW;
using driver_devmode::DevModeWToA;

// Sets bit 0 of the private EMF mode and answers TRUE when the job has to go
// through spool-side playback (driver collation, watermarks, overlays,
// booklets, layouts, cover pages); clears it and answers FALSE otherwise, and
// always when playback is switched off in the same word.
BOOL DecideSpoolPlayback(const DEVMODEW* dm, PRIVATE_DEVMODE* priv);

} // namespace sheetwright
