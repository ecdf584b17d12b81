// The input rule on plain edit windows: the rule's limit and flags set up on
// the window, and its typing and pasting filtered through the rule.
#pragma once

#include "number_text.h"
#include "win/user.h"

namespace sheetwright {

// Limits the edit (8 characters when limit is 0), fills the rule from the
// flags and gives the window ES_NUMBER exactly when the rule allows digits only.
void SetupInputEdit(HWND edit, DWORD flags, DWORD limit, const char* extra, InputRule* rule);
// TRUE when the typed character may go on to the edit.
BOOL FilterInputChar(HWND edit, WCHAR ch, const InputRule* rule);
// Replaces the selection with what the rule and the limit let through of the
// clipboard's text.
void FilterInputPaste(HWND edit, const InputRule* rule);
// The rule on one message of the edit: TRUE when a typed character was
// dropped or a paste done here, so the message must not reach the edit.
BOOL InputRuleFilter(HWND edit, const InputRule* rule, UINT message, WPARAM wParam);
// Subclasses the edit so that its typing and pasting go through the rule,
// which the caller keeps alive while the window lives.
BOOL AttachInputRule(HWND edit, const InputRule* rule);

} // namespace sheetwright
