// Corrections of a device-mode image by the printer's installed options.
#pragma once

#include <cstddef>
#include <string>

#include "install_option.h"
#include "devmode_private.h"

namespace sheetwright {

// Brings the fields that depend on the installed units (two-sided unit,
// collation by the device, department counter, the finisher's output bin)
// into step with the list. FALSE when the list or the image is missing.
BOOL ReviseDevmodeByOptions(const ModelOptionPair* options, DEVMODE_IMAGEW* image);

// Brings every field that names an installed unit, a tray, a job type or a
// finishing code into step with what the printer has (mode-2 revisions).
// FALSE without an image.
BOOL ReviseDevmodeByCapabilities(const ModelOptionPair* options, const void* unused,
                                 DEVMODE_IMAGEW* image);

// One input tray of the tray chain: the model's trays, then those of the
// installed feeders, manual feed last. The nodes lie in one locked movable
// block that FreeInputTrayChain releases.
struct InputTrayNode {
    WORD trayId;
    DWORD displayId;
    WORD spare[2];
    InputTrayNode* next;
};
static_assert(sizeof(InputTrayNode) == 24 && offsetof(InputTrayNode, displayId) == 4 &&
              offsetof(InputTrayNode, next) == 16);

// The chain (null when there are no trays); the model query's result,
// ERROR_INVALID_PARAMETER without `chain`, ERROR_PROC_NOT_FOUND without the
// model library's query.
DWORD BuildInputTrayChain(const ModelBlock* binding, const InstallOptionEntry* entries, DWORD count,
                          InputTrayNode** chain);
void FreeInputTrayChain(InputTrayNode* chain);

// The text of component 4 of the model's component table; FALSE when the
// model has no such entry.
BOOL ReadModelString(const ModelBlock* binding, const void* unused, std::u16string* out);

} // namespace sheetwright
