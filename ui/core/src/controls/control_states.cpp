#include "control_states.h"

#include <algorithm>
#include <iterator>

#include "kinsoku_list.h"
#include "track_dm.h"
#include "win/user_constants.h"

namespace sheetwright {
namespace {

// The items of the cache, by slot.
constexpr WORD kCachedItems[kConstraintSlots] = {kItemPaper, kItemMedia, kItemSource, kItemDuplex,
                                                 kItemSort};
// A dialog's OK, Cancel and Help stay usable on a read-only sheet.
constexpr int kDialogButtons[] = {IDOK, IDCANCEL, kDialogHelpButtonId};

BOOL CALLBACK DisableUnlessButton(HWND child, LPARAM) {
    if (std::find(std::begin(kDialogButtons), std::end(kDialogButtons), GetDlgCtrlID(child)) ==
        std::end(kDialogButtons))
        EnableWindow(child, FALSE);
    return TRUE;
}

} // namespace

DWORD ApplyRulesAndRefresh(SheetContext* context, DEVMODE_IMAGEW* image, BOOL force) {
    DWORD outcome = kResolveSettled;
    if (context && context->constraints)
        outcome = context->constraints->Resolve(
            reinterpret_cast<BYTE*>(image ? image : &context->workingImage), force);
    // The tracker's fix-ups resolve before this run; when one of them never
    // settled the image went back to its last consistent state, which this
    // run then finds settled. The change still failed, and is reported.
    if (context && context->tracker && context->tracker->Unsettled()) outcome = kResolveUnsettled;
    RefreshControlStates(context);
    return outcome;
}

BOOL RefreshControlStates(SheetContext* context) {
    if (!context || !context->constraints) return FALSE;
    for (size_t slot = 0; slot < kConstraintSlots; ++slot)
        context->constraintItems[slot] = context->constraints->FindItem(kCachedItems[slot]);
    return TRUE;
}

void DisableAllChildren(const SheetContext* context, HWND dialog) {
    if (dialog && IsSheetReadOnly(context)) EnumChildWindows(dialog, DisableUnlessButton, 0);
}

} // namespace sheetwright
