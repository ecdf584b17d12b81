// The typing and pasting rules of the number and text edits (decimal
// numbers, whole numbers, text limited in ANSI bytes) on plain edit windows,
// and a length shown in and read from an edit.
#pragma once

#include "number_text.h"
#include "win/user.h"

namespace sheetwright {

enum class NumberEditKind { Double, Int, MultiByteLimit };

struct NumberEditState {
    NumberEditKind kind = NumberEditKind::Double;
    DWORD integersOnly = 0;    // Double: whole numbers only
    DWORD negativeAllowed = 0; // Int: a leading "-" may be toggled
    std::u16string separator;  // Double: the user's decimal separator
};

// The rules on one message of the edit: TRUE when a typed character was
// dropped or a paste done here, so the message must not reach the edit.
BOOL NumberEditFilter(HWND edit, const NumberEditState& state, UINT message, WPARAM wParam);

// Subclasses the edit; the state lives as long as the caller keeps it.
BOOL AttachNumberEdit(HWND edit, NumberEditState* state);

// The decimal edit's value: its text with the separator normalised, read as a number.
double GetDoubleEditValue(HWND edit, const std::u16string& separator);

// A length shown in an edit (millimetres when mm is non-zero, else inches):
// 1 when the text changed. Read back: 1, 0 for a missing edit.
BOOL ShowInEdit(const CMMInch& value, HWND edit, BOOL mm);
BOOL ReadFromEdit(CMMInch* value, HWND edit, BOOL mm);

} // namespace sheetwright
