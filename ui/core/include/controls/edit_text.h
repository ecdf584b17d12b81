// Reading an edit window's text and selection and the clipboard's text, for
// the edits that filter what is typed or pasted.
#pragma once

#include <string>

#include "win/user.h"

namespace sheetwright {

std::u16string EditText(HWND edit);
// The selection, start first.
void EditSelection(HWND edit, DWORD* start, DWORD* end);
// The text that stays when the selection is replaced.
std::u16string EditTextOutsideSelection(HWND edit);
// The clipboard's Unicode text, empty when there is none.
std::u16string ClipboardUnicodeText(HWND owner);

} // namespace sheetwright
