// The pages of a sheet, made by the libraries that own them.
#pragma once

#include "prop_page.h"

namespace sheetwright {

// The pages of the context's sheet, in order: 1 when every page was added.
// Each failure is told once and the remaining pages are still added; a
// context that no page took is freed.
DWORD BuildSheetPages(SheetContext* context, HWND owner);

} // namespace sheetwright
