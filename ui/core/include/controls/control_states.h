// What the pages and dialogs of a sheet share after a change: the constraint
// run over an image and the cached constraint items the pages' lists are
// filled from, and the locking of a dialog on a read-only sheet.
#pragma once

#include "sheet_context.h"
#include "win/types.h"
#include "win/user.h"

namespace sheetwright {

// The Help button of the driver's dialogs.
inline constexpr int kDialogHelpButtonId = 23;

// Resolves the image (the working image when NULL) with the sheet's
// constraint list, `force` making at least one whole pass, then refreshes the
// cached items. kResolveSettled, or kResolveUnsettled when the rules never
// settled, in this run or in the change tracker's last fix-ups, and the image
// went back to its last consistent state.
DWORD ApplyRulesAndRefresh(SheetContext* context, DEVMODE_IMAGEW* image, BOOL force);
// Takes the items of the constraint list into the context's cache (none for
// an item the list lacks). FALSE without a context or a list.
BOOL RefreshControlStates(SheetContext* context);
// On a read-only sheet disables every control of the dialog but OK, Cancel
// and Help.
void DisableAllChildren(const SheetContext* context, HWND dialog);

} // namespace sheetwright
