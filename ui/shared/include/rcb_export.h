// UpdateRCBFile, the export by which the spool-side library and the
// support-information library each refresh their own localisation cache.
// Both define it against this one declaration, and the user interface calls
// it through its type after binding it by name.
#pragma once

#include "win/types.h"

// 1 when `module` (or, when null, the exporting library itself) has no
// localisation text or its cache is current; else the rebuild's result
// (1 done, 0 failed).
DLLEXPORT [[nodiscard]] DWORD WINAPI UpdateRCBFile(HMODULE module);
typedef decltype(&UpdateRCBFile) PFN_UpdateRCBFile;
