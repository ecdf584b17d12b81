// Edit controls: text with a limit, selection, read-only and number-only
// styles, the notifications of typing, and clipboard paste with undo.
#include <algorithm>
#include <cstring>

#include "user_internal.h"
#include "win/memory.h"

namespace platform::user {
namespace {

constexpr DWORD kLargestLimit = 0x7FFFFFFE;
constexpr DWORD kDefaultLimit = 30000;

struct EditState : ControlState {
    DWORD limit = kDefaultLimit;
    DWORD selStart = 0;
    DWORD selEnd = 0;
    bool modified = false;
    bool canUndo = false;
    std::u16string undoText;
    // A single-line edit: the first character shown at its left edge.
    DWORD firstVisible = 0;
};

// Scrolls a single-line edit sideways just far enough that the caret (the
// selection's end) shows.
void ScrollCaretIntoView(HWND h, const Window& w, EditState& e) {
    // A multiline edit shows its first line; centred or right-aligned text
    // is drawn whole within the field.
    if (w.style & (ES_MULTILINE | ES_CENTER | ES_RIGHT)) return;
    DWORD caret = std::min<DWORD>(e.selEnd, static_cast<DWORD>(w.text.size()));
    if (caret < e.firstVisible) {
        e.firstVisible = caret;
        return;
    }
    LONG room = EditTextRoom(h);
    std::u16string shown = (w.style & ES_PASSWORD) ? std::u16string(w.text.size(), u'*') : w.text;
    auto fits = [&](DWORD first) {
        return EditTextWidth(h, shown.substr(first, caret - first)) <= room;
    };
    if (fits(e.firstVisible)) return;
    // The nearest first character from which the text up to the caret fits:
    // found by halving, as a long text measured step by step would take long.
    DWORD low = e.firstVisible, high = caret; // low does not fit, high does
    while (high - low > 1) {
        DWORD mid = low + (high - low) / 2;
        (fits(mid) ? high : low) = mid;
    }
    e.firstVisible = high;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

void Changed(HWND h) {
    NotifyParent(h, EN_UPDATE);
    NotifyParent(h, EN_CHANGE);
}

// Replaces the selection with s as far as the limit allows.
void ReplaceSelection(HWND h, Window& w, std::u16string s, bool undoable) {
    auto& e = StateOf<EditState>(w);
    DWORD start = std::min<DWORD>(e.selStart, static_cast<DWORD>(w.text.size()));
    DWORD end = std::min<DWORD>(e.selEnd, static_cast<DWORD>(w.text.size()));
    size_t kept = w.text.size() - (end - start);
    bool truncated = false;
    if (kept + s.size() > e.limit) {
        s.resize(kept >= e.limit ? 0 : e.limit - kept);
        truncated = true;
    }
    if (s.empty() && start == end) {
        if (truncated) NotifyParent(h, EN_MAXTEXT);
        return;
    }
    if (undoable) {
        e.undoText = w.text;
        e.canUndo = true;
    }
    w.text = w.text.substr(0, start) + s + w.text.substr(end);
    e.selStart = e.selEnd = start + static_cast<DWORD>(s.size());
    e.modified = true;
    Changed(h);
    if (truncated) NotifyParent(h, EN_MAXTEXT);
}

std::u16string ClipboardText() {
    std::u16string text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        auto* p = static_cast<const char16_t*>(GlobalLock(data));
        size_t room = GlobalSize(data) / sizeof(char16_t);
        for (size_t i = 0; p && i < room && p[i]; ++i)
            text.push_back(p[i]);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void CopySelection(const Window& w, const EditState& e) {
    if (e.selStart == e.selEnd || (w.style & ES_PASSWORD)) return;
    std::u16string s = w.text.substr(e.selStart, e.selEnd - e.selStart);
    HGLOBAL g = GlobalAlloc(0x0002 /* GMEM_MOVEABLE */, (s.size() + 1) * sizeof(char16_t));
    if (!g) return;
    auto* p = static_cast<char16_t*>(GlobalLock(g));
    std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    GlobalUnlock(g);
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, g);
        CloseClipboard();
    } else {
        GlobalFree(g);
    }
}

// The edit control's own context menu, as a right-click shows it: Undo,
// Cut, Copy, Paste, Delete and Select All, each enabled when it can act.
// The command ids are the messages the items send.
void EditMenu(HWND h, const Window& w, const EditState& e) {
    bool readOnly = (w.style & ES_READONLY) != 0;
    bool selection = e.selStart != e.selEnd;
    bool password = (w.style & ES_PASSWORD) != 0;
    struct Entry {
        UINT id;
        const char16_t* text;
        bool enabled;
    } entries[] = {
        {WM_UNDO, u"&Undo", e.canUndo && !readOnly},
        {0, nullptr, false},
        {WM_CUT, u"Cu&t", selection && !readOnly && !password},
        {WM_COPY, u"&Copy", selection && !password},
        {WM_PASTE, u"&Paste", !readOnly && IsClipboardFormatAvailable(CF_UNICODETEXT)},
        {WM_CLEAR, u"&Delete", selection && !readOnly},
        {0, nullptr, false},
        {EM_SETSEL, u"Select &All", !w.text.empty()},
    };
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (const auto& m : entries)
        AppendMenuW(menu, m.text ? (m.enabled ? MF_STRING : MF_GRAYED) : MF_SEPARATOR, m.id,
                    m.text);
    if (GetFocus() != h) SetFocus(h);
    UINT command = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, h, nullptr));
    DestroyMenu(menu);
    if (command == EM_SETSEL)
        SendMessageW(h, EM_SETSEL, 0, -1);
    else if (command)
        SendMessageW(h, command, 0, 0);
}

} // namespace

LRESULT CALLBACK EditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& e = StateOf<EditState>(*w);
    bool readOnly = (w->style & ES_READONLY) != 0;
    switch (msg) {
    case EM_SETTABSTOPS:
        return SetTabStops(*w, wp, lp);
    case WM_SETTEXT: {
        w->text = lp ? reinterpret_cast<LPCWSTR>(lp) : u"";
        e.firstVisible = 0;
        e.selStart = e.selEnd = 0;
        e.modified = false;
        e.canUndo = false;
        if (!(w->style & ES_MULTILINE)) Changed(h);
        return TRUE;
    }
    case WM_CHAR: {
        char16_t c = static_cast<char16_t>(wp);
        if (readOnly) {
            MessageBeep(0);
            return 0;
        }
        if (c == VK_BACK) {
            if (e.selStart == e.selEnd && e.selStart > 0) --e.selStart;
            ReplaceSelection(h, *w, u"", true);
            return 0;
        }
        if (c < u' ' && !(c == u'\r' && (w->style & ES_MULTILINE))) return 0;
        if ((w->style & ES_NUMBER) && !IsDigit(c)) {
            MessageBeep(0);
            return 0;
        }
        if (w->style & ES_UPPERCASE) c = static_cast<char16_t>(c >= u'a' && c <= u'z' ? c - 32 : c);
        if (w->style & ES_LOWERCASE) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        ReplaceSelection(h, *w, std::u16string(1, c), true);
        return 0;
    }
    case WM_KEYDOWN:
        if (wp == VK_DELETE && !readOnly) {
            if (e.selStart == e.selEnd && e.selEnd < w->text.size()) ++e.selEnd;
            ReplaceSelection(h, *w, u"", true);
        }
        return 0;
    case EM_REPLACESEL:
        ReplaceSelection(h, *w, lp ? reinterpret_cast<LPCWSTR>(lp) : u"", wp != 0);
        return 0;
    case WM_PASTE: {
        if (readOnly) return 0;
        std::u16string text = ClipboardText();
        if (!(w->style & ES_MULTILINE)) text = text.substr(0, text.find_first_of(u"\r\n"));
        // A number-only field takes digits only: a paste with anything else is refused whole.
        if ((w->style & ES_NUMBER) && !std::all_of(text.begin(), text.end(), IsDigit)) {
            MessageBeep(0);
            return 0;
        }
        ReplaceSelection(h, *w, text, true);
        return 0;
    }
    case WM_COPY:
        CopySelection(*w, e);
        return 0;
    case WM_CUT:
        if (readOnly) return 0;
        CopySelection(*w, e);
        ReplaceSelection(h, *w, u"", true);
        return 0;
    case WM_CLEAR:
        if (!readOnly) ReplaceSelection(h, *w, u"", true);
        return 0;
    case EM_UNDO:
    case WM_UNDO: {
        if (!e.canUndo || readOnly) return FALSE;
        std::swap(w->text, e.undoText);
        e.selStart = e.selEnd = static_cast<DWORD>(w->text.size());
        Changed(h);
        return TRUE;
    }
    case EM_CANUNDO:
        return e.canUndo;
    case EM_EMPTYUNDOBUFFER:
        e.canUndo = false;
        return 0;
    case EM_SETSEL: {
        auto len = static_cast<LONG>(w->text.size());
        auto start = static_cast<LONG>(static_cast<int>(wp));
        auto end = static_cast<LONG>(static_cast<int>(lp));
        if (start < 0) {
            e.selStart = e.selEnd = static_cast<DWORD>(std::min<LONG>(e.selEnd, len));
            return 0;
        }
        if (end < 0) end = len;
        start = std::min(start, len);
        end = std::min(end, len);
        if (start > end) std::swap(start, end);
        e.selStart = static_cast<DWORD>(start);
        e.selEnd = static_cast<DWORD>(end);
        return 0;
    }
    case EM_GETSEL:
        if (wp) *reinterpret_cast<DWORD*>(wp) = e.selStart;
        if (lp) *reinterpret_cast<DWORD*>(lp) = e.selEnd;
        return MAKELONG(std::min<DWORD>(e.selStart, 0xFFFF), std::min<DWORD>(e.selEnd, 0xFFFF));
    case EM_LIMITTEXT: {
        e.limit = wp ? static_cast<DWORD>(std::min<WPARAM>(wp, kLargestLimit)) : kLargestLimit;
        return 0;
    }
    case EM_SCROLLCARET:
        ScrollCaretIntoView(h, *w, e);
        InvalidateRect(h, nullptr, TRUE);
        return TRUE;
    case EM_GETFIRSTVISIBLELINE:
        // A single-line edit answers its first visible character.
        if (w->style & ES_MULTILINE) return 0;
        return std::min<DWORD>(e.firstVisible, static_cast<DWORD>(w->text.size()));
    case EM_GETLIMITTEXT:
        return e.limit;
    case EM_SETREADONLY:
        if (wp)
            w->style |= ES_READONLY;
        else
            w->style &= ~static_cast<DWORD>(ES_READONLY);
        return TRUE;
    case EM_GETMODIFY:
        return e.modified;
    case EM_SETMODIFY:
        e.modified = wp != 0;
        return 0;
    case EM_LINELENGTH:
        return static_cast<LRESULT>(w->text.size());
    case EM_GETLINECOUNT:
        return 1 + std::count(w->text.begin(), w->text.end(), u'\n');
    case WM_SETFOCUS:
        NotifyParent(h, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        NotifyParent(h, EN_KILLFOCUS);
        return 0;
    case WM_CONTEXTMENU:
        EditMenu(h, *w, e);
        return 0;
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if ((w->style & ES_MULTILINE) && (w->style & ES_WANTRETURN)) code |= DLGC_WANTALLKEYS;
        return code;
    }
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

} // namespace platform::user
