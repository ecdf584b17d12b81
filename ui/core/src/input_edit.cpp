// Typing and pasting into plain edit windows through an input rule.
#include "input_edit.h"

#include <string>

#include "win/base.h"

namespace sheetwright {
namespace {

constexpr char16_t kRuleProp[] = u"SheetwrightInputRule";
constexpr char16_t kProcProp[] = u"SheetwrightInputProc";
constexpr DWORD kDefaultLimit = 8;

std::u16string Text(HWND edit) {
    int n = GetWindowTextLengthW(edit);
    std::u16string s(n > 0 ? n : 0, u'\0');
    if (n > 0) s.resize(GetWindowTextW(edit, s.data(), n + 1));
    return s;
}

// The text that stays when the selection is replaced.
std::u16string KeptText(HWND edit) {
    std::u16string text = Text(edit);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start > end) std::swap(start, end);
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::min<DWORD>(end, static_cast<DWORD>(text.size()));
    return text.substr(0, start) + text.substr(end);
}

std::u16string ClipboardText(HWND owner) {
    std::u16string text;
    if (!OpenClipboard(owner)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        auto* p = static_cast<const char16_t*>(GlobalLock(data));
        if (p) {
            size_t n = GlobalSize(data) / sizeof(char16_t);
            size_t len = 0;
            while (len < n && p[len])
                ++len;
            text.assign(p, len);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

LRESULT CALLBACK RuleEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kProcProp));
    auto* rule = static_cast<const InputRule*>(GetPropW(edit, kRuleProp));
    if (message == WM_CHAR && !FilterInputChar(edit, static_cast<WCHAR>(wParam), rule)) return 0;
    if (message == WM_PASTE) {
        FilterInputPaste(edit, rule);
        return 0;
    }
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
    return AcceptInputChar(ch, limit ? KeptText(edit) : std::u16string(), limit, singleByte, rule);
}

void FilterInputPaste(HWND edit, const InputRule* rule) {
    std::u16string clip = ClipboardText(edit);
    if (clip.empty()) return;
    const BOOL singleByte = (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) != 0;
    const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    int room = limit ? static_cast<int>(limit) - GetMultiByteLength(KeptText(edit)) : 0x7FFFFFFF;
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

BOOL AttachInputRule(HWND edit, const InputRule* rule) {
    if (!edit || !rule || GetPropW(edit, kProcProp)) return FALSE;
    SetPropW(edit, kRuleProp, const_cast<InputRule*>(rule));
    LONG_PTR previous =
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RuleEditProc));
    SetPropW(edit, kProcProp, reinterpret_cast<HANDLE>(previous));
    return previous != 0;
}

} // namespace sheetwright
