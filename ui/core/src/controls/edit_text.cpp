// Edit text, selection and clipboard text.
#include "edit_text.h"

#include "win/base.h"

namespace sheetwright {

std::u16string EditText(HWND edit) {
    int n = GetWindowTextLengthW(edit);
    std::u16string s(n > 0 ? n : 0, u'\0');
    if (n > 0) s.resize(GetWindowTextW(edit, s.data(), n + 1));
    return s;
}

void EditSelection(HWND edit, DWORD* start, DWORD* end) {
    *start = *end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(start), reinterpret_cast<LPARAM>(end));
    if (*start > *end) std::swap(*start, *end);
}

std::u16string EditTextOutsideSelection(HWND edit) {
    std::u16string text = EditText(edit);
    DWORD start = 0, end = 0;
    EditSelection(edit, &start, &end);
    start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
    end = std::min<DWORD>(end, static_cast<DWORD>(text.size()));
    return text.substr(0, start) + text.substr(end);
}

std::u16string ClipboardUnicodeText(HWND owner) {
    std::u16string text;
    if (!OpenClipboard(owner)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    auto* p = data ? static_cast<const char16_t*>(GlobalLock(data)) : nullptr;
    if (p) {
        size_t n = GlobalSize(data) / sizeof(char16_t), len = 0;
        while (len < n && p[len])
            ++len;
        text.assign(p, len);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

} // namespace sheetwright
