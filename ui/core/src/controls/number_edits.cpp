// Number and byte-limited edits on plain edit windows.
#include "number_edits.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "edit_text.h"
#include "win/base.h"

namespace sheetwright {
namespace {

constexpr char16_t kStateProp[] = u"SheetwrightNumberEdit";
constexpr char16_t kProcProp[] = u"SheetwrightNumberProc";

std::wstring Wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// Replaces the selection with text cut to what the limit leaves, the caret behind it.
void ReplaceWithinLimit(HWND edit, std::u16string text) {
    const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    const size_t kept = EditTextOutsideSelection(edit).size();
    if (limit && kept + text.size() > limit) text.resize(limit > kept ? limit - kept : 0);
    if (text.empty()) return;
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsDigit(WCHAR ch) {
    return ch >= u'0' && ch <= u'9';
}

// TRUE when the character goes on to the edit; may change the edit itself.
BOOL TypeChar(HWND edit, const NumberEditState& s, WCHAR ch) {
    if (ch < 32 || ch == 127) return TRUE;
    switch (s.kind) {
    case NumberEditKind::Double:
        if (IsDigit(ch)) return TRUE;
        return !s.integersOnly && s.separator.find(ch) != std::u16string::npos;
    case NumberEditKind::Int:
        if (IsDigit(ch)) return TRUE;
        if (ch == u'-' && s.negativeAllowed) {
            // The sign toggles at the front wherever the caret is; the
            // selection moves with the text.
            std::u16string text = EditText(edit);
            DWORD start = 0, end = 0;
            EditSelection(edit, &start, &end);
            const bool negative = !text.empty() && text[0] == u'-';
            text = negative ? text.substr(1) : u"-" + text;
            SetWindowTextW(edit, text.c_str());
            const int shift = negative ? -1 : 1;
            SendMessageW(edit, EM_SETSEL, std::max(0, static_cast<int>(start) + shift),
                         std::max(0, static_cast<int>(end) + shift));
        }
        return FALSE;
    case NumberEditKind::MultiByteLimit: {
        const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
        return !limit || static_cast<DWORD>(GetMultiByteLength(EditTextOutsideSelection(edit)) +
                                            (ch < 256 ? 1 : 2)) <= limit;
    }
    }
    return FALSE;
}

void Paste(HWND edit, const NumberEditState& s) {
    std::u16string clip = ClipboardUnicodeText(edit);
    if (clip.empty()) return;
    switch (s.kind) {
    case NumberEditKind::Double: {
        // Only what typing could give: digits and, unless whole numbers only,
        // one separator; never an exponent, "inf" or "nan".
        std::u16string normal = clip;
        NormaliseDecimalText(&normal, s.separator);
        std::u16string read = LeadingPlainNumber(normal, false, !s.integersOnly);
        if (read.empty()) return;
        LocalizeDecimalText(&read, s.separator);
        ReplaceWithinLimit(edit, read);
        break;
    }
    case NumberEditKind::Int: {
        std::u16string read = LeadingPlainNumber(clip, s.negativeAllowed != 0, false);
        if (read.empty()) return;
        ReplaceWithinLimit(edit, read);
        break;
    }
    case NumberEditKind::MultiByteLimit: {
        const DWORD limit = static_cast<DWORD>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
        std::u16string taken = clip;
        if (limit) {
            int room = static_cast<int>(limit) - GetMultiByteLength(EditTextOutsideSelection(edit));
            if (room < 1) return;
            taken.clear();
            for (char16_t c : clip) {
                const int bytes = c < 256 ? 1 : 2;
                if (bytes > room) break;
                room -= bytes;
                taken += c;
            }
        }
        if (!taken.empty())
            SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(taken.c_str()));
        break;
    }
    }
}

LRESULT CALLBACK NumberEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kProcProp));
    auto* state = static_cast<const NumberEditState*>(GetPropW(edit, kStateProp));
    if (state && NumberEditFilter(edit, *state, message, wParam)) return 0;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(edit, kProcProp);
        RemovePropW(edit, kStateProp);
    }
    return CallWindowProcW(previous, edit, message, wParam, lParam);
}

} // namespace

BOOL NumberEditFilter(HWND edit, const NumberEditState& state, UINT message, WPARAM wParam) {
    if (message == WM_CHAR) return !TypeChar(edit, state, static_cast<WCHAR>(wParam));
    if (message != WM_PASTE) return FALSE;
    Paste(edit, state);
    return TRUE;
}

BOOL AttachNumberEdit(HWND edit, NumberEditState* state) {
    if (!edit || !state || GetPropW(edit, kProcProp)) return FALSE;
    if (state->separator.empty()) GetDecimalSeparator(&state->separator);
    SetPropW(edit, kStateProp, state);
    LONG_PTR previous =
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NumberEditProc));
    SetPropW(edit, kProcProp, reinterpret_cast<HANDLE>(previous));
    return previous != 0;
}

double GetDoubleEditValue(HWND edit, const std::u16string& separator) {
    std::u16string text = EditText(edit);
    NormaliseDecimalText(&text, separator);
    return std::wcstod(Wide(text).c_str(), nullptr);
}

BOOL ShowInEdit(const CMMInch& value, HWND edit, BOOL mm) {
    if (!edit) return FALSE;
    std::u16string text;
    if (mm)
        value.FormatMM(&text);
    else
        value.FormatInch(&text);
    if (text == EditText(edit)) return FALSE;
    SetWindowTextW(edit, text.c_str());
    return TRUE;
}

BOOL ReadFromEdit(CMMInch* value, HWND edit, BOOL mm) {
    if (!edit || !value) return FALSE;
    value->ReadText(EditText(edit), mm);
    return TRUE;
}

} // namespace sheetwright
