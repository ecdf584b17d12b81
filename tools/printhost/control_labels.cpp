// Finds a page's controls by the text beside them and changes them through
// the platform's headless driver, as a person reading the page would.
#include "control_labels.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/text.h"
#include "platform/user_ctl.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace printhost {
namespace {

namespace drv = platform::user::driver;

std::u16string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int n = GetWindowTextW(window, text.data(), length + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

bool IsClass(HWND window, const char16_t* name) {
    WCHAR buffer[64] = {};
    int n = GetClassNameW(window, buffer, 64);
    return n > 0 &&
           platform::EqualsNoCase(std::u16string_view(buffer, static_cast<size_t>(n)), name);
}

DWORD ButtonType(HWND button) {
    return static_cast<DWORD>(GetWindowLongW(button, GWL_STYLE)) & 0x0F;
}

bool IsCheckBox(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE;
}

bool IsRadio(DWORD type) {
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// A static that shows text (not a frame, icon or picture).
bool IsTextStatic(HWND window) {
    if (!IsClass(window, u"Static")) return false;
    DWORD type = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & 0x1F;
    return type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
}

bool Visible(HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::u16string Fold(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out)
        c = platform::FoldCase(c);
    return out;
}

std::u16string Trimmed(std::u16string_view text) {
    size_t begin = text.find_first_not_of(u" \t\r\n");
    if (begin == std::u16string_view::npos) return {};
    size_t end = text.find_last_not_of(u" \t\r\n");
    return std::u16string(text.substr(begin, end - begin + 1));
}

// Index of the one name equal to `wanted` (case aside), else of the one that
// begins with it; -1 when none, -2 when several begin with it.
int Choose(const std::vector<std::u16string>& names, std::u16string_view wanted) {
    const std::u16string w = Fold(wanted);
    if (w.empty()) return -1;
    int exact = -1, begins = -1, beginCount = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::u16string n = Fold(names[i]);
        if (n == w && exact < 0) exact = static_cast<int>(i);
        if (n.compare(0, w.size(), w) == 0) {
            if (begins < 0) begins = static_cast<int>(i);
            ++beginCount;
        }
    }
    if (exact >= 0) return exact;
    return beginCount == 1 ? begins : beginCount > 1 ? -2 : -1;
}

std::string Quoted(const std::vector<std::u16string>& names) {
    std::string list;
    for (const auto& n : names)
        list += (list.empty() ? "'" : ", '") + platform::ToUtf8(n) + "'";
    return list.empty() ? "none" : list;
}

bool ParseInt(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

std::vector<std::u16string> ItemTexts(HWND list) {
    const bool combo = IsClass(list, u"ComboBox");
    const UINT count = combo ? CB_GETCOUNT : LB_GETCOUNT;
    const UINT length = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT get = combo ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::u16string> texts;
    LRESULT n = SendMessageW(list, count, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT len = SendMessageW(list, length, static_cast<WPARAM>(i), 0);
        std::u16string text(len > 0 ? static_cast<size_t>(len) + 1 : 1, u'\0');
        LRESULT got =
            SendMessageW(list, get, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        texts.push_back(text);
    }
    return texts;
}

// Text that reads as a label: it has a mnemonic, or ends with a colon.
bool IsMarkedLabel(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (i + 1 < text.size() && text[i + 1] != u'&') return true;
        ++i; // "&&" shows one ampersand
    }
    std::u16string t = Trimmed(text);
    return !t.empty() && t.back() == u':';
}

} // namespace

std::u16string PlainLabel(std::u16string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') out += u'&', ++i;
            continue;
        }
        if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
        if (c == u' ' && (out.empty() || out.back() == u' ')) continue;
        out += c;
    }
    out = Trimmed(out);
    if (!out.empty() && out.back() == u':') out = Trimmed(out.substr(0, out.size() - 1));
    return out;
}

std::vector<LabelledControl> LabelledControls(HWND page) {
    std::vector<LabelledControl> controls;
    std::u16string pending;     // the text of the label or group box just before
    bool pendingMarked = false; // it reads as a label: a mnemonic or a colon
    for (HWND w = GetWindow(page, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        std::u16string before;
        before.swap(pending);
        bool beforeMarked = pendingMarked;
        pendingMarked = false;
        if (!Visible(w)) continue;
        if (IsTextStatic(w)) {
            // A label names the next control that takes input or shows a
            // list: an empty static between them is passed over, and so is
            // plain text (a value shown, a column's second heading) after a
            // label marked as one.
            std::u16string text = WindowText(w);
            std::u16string plain = PlainLabel(text);
            bool marked = IsMarkedLabel(text);
            if (plain.empty() || (!before.empty() && beforeMarked && !marked)) {
                pending = before;
                pendingMarked = beforeMarked;
            } else {
                pending = plain;
                pendingMarked = marked;
            }
            continue;
        }
        if (IsClass(w, u"Static")) continue; // frames, icons and pictures
        std::u16string label = before;
        if (IsClass(w, u"Button")) {
            if (ButtonType(w) == BS_GROUPBOX) {
                pending = PlainLabel(WindowText(w));
                continue;
            }
            std::u16string own = PlainLabel(WindowText(w));
            if (!own.empty()) label = own;
        }
        controls.push_back({w, GetDlgCtrlID(w), label});
    }
    return controls;
}

HWND FindControlByLabel(HWND page, const std::u16string& pageName, const std::u16string& label,
                        std::string* error) {
    std::vector<LabelledControl> controls = LabelledControls(page);
    std::vector<std::u16string> labels, distinct;
    for (const auto& c : controls) {
        labels.push_back(c.label);
        if (!c.label.empty() && Choose(distinct, c.label) < 0) distinct.push_back(c.label);
    }
    const std::u16string wanted = PlainLabel(label);
    const std::u16string folded = Fold(wanted);
    std::vector<int> same; // controls whose label is the one chosen
    int chosen = Choose(distinct, wanted);
    if (chosen >= 0)
        for (size_t i = 0; i < controls.size(); ++i)
            if (Fold(controls[i].label) == Fold(distinct[static_cast<size_t>(chosen)]))
                same.push_back(static_cast<int>(i));
    if (same.size() == 1) return controls[static_cast<size_t>(same[0])].window;
    const std::string where = " on page '" + platform::ToUtf8(pageName) + "'";
    if (same.size() > 1) {
        std::string ids;
        for (int i : same)
            ids += (ids.empty() ? "" : ", ") + std::to_string(controls[static_cast<size_t>(i)].id);
        *error = "'" + platform::ToUtf8(label) + "' labels " + std::to_string(same.size()) +
                 " controls" + where + " (ids " + ids + "); give one by its id";
        return nullptr;
    }
    std::vector<std::u16string> candidates;
    if (chosen == -2)
        for (const auto& d : distinct)
            if (Fold(d).compare(0, folded.size(), folded) == 0) candidates.push_back(d);
    *error = (chosen == -2 ? "'" + platform::ToUtf8(label) + "' begins several labels" + where +
                                 ": " + Quoted(candidates)
                           : "no control labelled '" + platform::ToUtf8(label) + "'" + where +
                                 "; its labels: " + Quoted(distinct));
    return nullptr;
}

int FindItemByText(HWND list, const std::u16string& value, std::string* error) {
    std::vector<std::u16string> items = ItemTexts(list);
    std::vector<std::u16string> trimmed;
    for (const auto& i : items)
        trimmed.push_back(Trimmed(i));
    const std::u16string wanted = Trimmed(value);
    int index = Choose(trimmed, wanted);
    if (index >= 0) return index;
    // An item of columns (a tab between them, as a font and its substitute)
    // is also named by its whole first column.
    int column = -1, columns = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        size_t tab = items[i].find(u'\t');
        if (tab != std::u16string::npos && Fold(Trimmed(items[i].substr(0, tab))) == Fold(wanted))
            column = static_cast<int>(i), ++columns;
    }
    if (columns == 1) return column;
    std::vector<std::u16string> shown = trimmed;
    if (index == -2) {
        shown.clear();
        for (const auto& t : trimmed)
            if (Fold(t).compare(0, wanted.size(), Fold(wanted)) == 0) shown.push_back(t);
    }
    *error = "'" + platform::ToUtf8(value) + "' " +
             (index == -2 ? "begins several items: " : "is not in the list; its items: ") +
             Quoted(shown);
    return -1;
}

bool SetControlValue(HWND control, const std::string& name, const std::string& value,
                     std::string* error) {
    const std::u16string text = platform::FromUtf8(value);
    const std::u16string lower = Fold(Trimmed(text));
    const bool on = lower == u"on" || lower == u"1";
    const bool off = lower == u"off" || lower == u"0";
    auto refuse = [&](const std::string& takes) {
        *error = name + " takes " + takes + ", not '" + value + "'";
        return false;
    };
    bool ok = false;
    if (IsClass(control, u"Button")) {
        DWORD type = ButtonType(control);
        if (IsCheckBox(type)) {
            // A click on a box that opens a dialog (the Effects page's) is
            // one click, whatever the dialog's answer leaves the box at.
            if (lower == u"click")
                ok = drv::Click(control);
            else if (!on && !off)
                return refuse("on or off");
            else
                ok = drv::SetCheck(control, on ? BST_CHECKED : BST_UNCHECKED);
        } else if (IsRadio(type)) {
            if (!on && lower != u"click")
                return refuse("on (a radio button is cleared by another)");
            // A click is one click: a radio button that opens a dialog may
            // be cleared again when the dialog is cancelled, and clicking on
            // until it stays checked would open the dialog over and over.
            ok = lower == u"click" ? drv::Click(control) : drv::SetCheck(control, BST_CHECKED);
        } else {
            if (lower != u"click") return refuse("click");
            ok = drv::Click(control);
        }
    } else if (IsClass(control, u"Edit")) {
        ok = drv::TypeText(control, text);
    } else if (IsClass(control, u"ComboBox") || IsClass(control, u"ListBox")) {
        std::string why;
        int index = FindItemByText(control, text, &why);
        if (index < 0) {
            *error = name + ": " + why;
            return false;
        }
        ok = drv::SelectItem(control, index);
    } else if (IsClass(control, u"msctls_trackbar32") || IsClass(control, u"msctls_updown32")) {
        int number = 0;
        if (!ParseInt(value, &number)) return refuse("a number");
        ok = IsClass(control, u"msctls_trackbar32") ? drv::MoveSlider(control, number)
                                                    : drv::SpinBy(control, number);
    } else {
        *error = name + " is not a control printhost changes";
        return false;
    }
    if (!ok)
        *error = name + " does not take '" + value + "' on the page shown" +
                 (IsWindowEnabled(control) ? "" : " (it is disabled)");
    return ok;
}

} // namespace printhost
