// Typing and pasting into plain edit windows through an input rule.
#include "input_edit.h"

#include <string>

#include "edit_text.h"
#include "win/base.h"

namespace sheetwright {
namespace {

constexpr char16_t kRuleProp[] = u"SheetwrightInputRule";
constexpr char16_t kProcProp[] = u"SheetwrightInputProc";
constexpr DWORD kDefaultLimit = 8;

LRESULT CALLBACK RuleEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kProcProp));
    auto* rule = static_cast<const InputRule*>(GetPropW(edit, kRuleProp));
    if (InputRuleFilter(edit, rule, message, wParam)) return 0;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(edit, kProcProp);
        RemovePropW(edit, kRuleProp);
    }
    return CallWindowProcW(previous, edit, message, wParam, lParam);
}

} // namespace

void SetupInputEdit(HWND edit, DWORD flags, DWORD limit, const char* extra, InputRule* rule) {
    if (!edit || !rule) return;
    if (limit == 0) limit = kDefaultLimit;
    SendMessageW(edit, EM_LIMITTEXT, limit, 0);
    FillInputRule(rule, flags, limit, extra);
    LONG style = GetWindowLongW(edit, GWL_STYLE);
    style = IsDigitsOnlyRule(*rule) ? (style | ES_NUMBER) : (style & ~static_cast<LONG>(ES_NUMBER));
    SetWindowLongPtrW(edit, GWL_STYLE, style);
    SetWindowPos(edit, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

BOOL FilterInputChar(HWND edit, WCHAR ch, const InputRule* rule) {
    if (ch < 32 || ch == 127) return TRUE;
    const BOOL singleByte = (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
    const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    return AcceptInputChar(ch, limit ? EditTextOutsideSelection(edit) : std::u16string(), limit,
                           singleByte, rule);
}

void FilterInputPaste(HWND edit, const InputRule* rule) {
    std::u16string clip = ClipboardUnicodeText(edit);
    if (clip.empty()) return;
    const BOOL singleByte = (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
    const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    int room = limit ? static_cast<int>(limit) - GetMultiByteLength(EditTextOutsideSelection(edit))
                     : 0x7FFFFFFF;
    std::u16string taken;
    for (char16_t c : clip) {
        // A refused character is skipped; the limit ends the taken part.
        if (rule && rule->restricted && !IsCharAllowed(c, singleByte, rule)) continue;
        const int bytes = c < 256 ? 1 : 2;
        if (bytes > room) break;
        room -= bytes;
        taken += c;
    }
    if (!taken.empty())
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(taken.c_str()));
}

BOOL InputRuleFilter(HWND edit, const InputRule* rule, UINT message, WPARAM wParam) {
    if (message == WM_CHAR) return !FilterInputChar(edit, static_cast<WCHAR>(wParam), rule);
    if (message != WM_PASTE) return FALSE;
    FilterInputPaste(edit, rule);
    return TRUE;
}

BOOL AttachInputRule(HWND edit, const InputRule* rule) {
    if (!edit || !rule || GetPropW(edit, kProcProp)) return FALSE;
    SetPropW(edit, kRuleProp, const_cast<InputRule*>(rule));
    LONG_PTR previous =
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RuleEditProc));
    SetPropW(edit, kProcProp, reinterpret_cast<HANDLE>(previous));
    return previous != 0;
}

} // namespace sheetwright
