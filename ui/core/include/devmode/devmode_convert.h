// Device modes between their ANSI and wide forms, as the model library takes
// them in ANSI form, and the decision whether a job is replayed spool-side.
// Every device mode handed in is read only within its own dmSize and
// dmDriverExtra and within the bytes the caller says it holds.
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "win/devmode_private.h"

namespace sheetwright {

// Each converts a device mode of inBytes bytes into out (outBytes bytes): the
// names through the ANSI code page, the other standard fields unchanged, the
// size moved by the width of the two names and the dmDriverExtra bytes behind
// the standard part copied unchanged. FALSE, with out untouched, when a
// pointer is missing, the device mode's sizes reach past inBytes, its
// standard part stops before the fields that follow the form name, or the
// converted one does not fit outBytes.
BOOL DevModeAToW(const DEVMODEA* in, size_t inBytes, DEVMODEW* out, size_t outBytes);
BOOL DevModeWToA(const DEVMODEW* in, size_t inBytes, DEVMODEA* out, size_t outBytes);

// Sets bit 0 of the private EMF mode and answers TRUE when the job has to go
// through spool-side playback (driver collation, watermarks, overlays,
// booklets, layouts, cover pages); clears it and answers FALSE otherwise, and
// always when playback is switched off in the same word.
BOOL DecideSpoolPlayback(const DEVMODEW* dm, PRIVATE_DEVMODE* priv);

} // namespace sheetwright
