// The headless driver: a person's clicks, typing and selections, and a text
// snapshot of a window tree.
#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"

namespace platform::user::driver {
namespace {

LPARAM PointParam(POINT p) {
    return MAKELONG(static_cast<WORD>(static_cast<SHORT>(p.x)),
                    static_cast<WORD>(static_cast<SHORT>(p.y)));
}

bool Usable(HWND h) {
    return h && IsWindow(h) && IsWindowEnabled(h) && IsWindowVisible(h);
}

bool IsClass(HWND h, const char16_t* name) {
    auto w = Find(h);
    return w && EqualsNoCase(w->windowClass->name, name);
}

std::string Quote(const std::u16string& s) {
    std::string out = "\"";
    for (char c : platform::ToUtf8(s)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

void SnapshotOf(HWND h, int depth, std::string* out) {
    auto w = Find(h);
    if (!w) return;
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += platform::ToUtf8(w->windowClass->name);
    if (w->parent) line += " #" + std::to_string(static_cast<int>(w->id));
    line += " " + Quote(ReadText(h));
    if (!(w->style & WS_VISIBLE)) line += " hidden";
    if (w->style & WS_DISABLED) line += " disabled";
    if (!w->parent && (w->exStyle & WS_EX_TOPMOST)) line += " topmost";
    if (GetFocus() == h) line += " focus";
    const std::u16string& cls = w->windowClass->name;
    if (cls == u"Button") {
        UINT type = w->style & BS_TYPEMASK;
        if (type == BS_DEFPUSHBUTTON) line += " default";
        UINT check = ReadCheck(h);
        if (check == BST_CHECKED) line += " checked";
        if (check == BST_INDETERMINATE) line += " indeterminate";
    } else if (cls == u"ListBox" || cls == u"ComboBox" || cls == u"SysTabControl32") {
        UINT countMessage = cls == u"ListBox"    ? LB_GETCOUNT
                            : cls == u"ComboBox" ? CB_GETCOUNT
                                                 : TCM_GETITEMCOUNT;
        line += " items=" + std::to_string(SendMessageW(h, countMessage, 0, 0));
        line += " sel=" + std::to_string(ReadSelection(h));
    } else if (cls == WC_LISTVIEWW) {
        int count = static_cast<int>(SendMessageW(h, LVM_GETITEMCOUNT, 0, 0));
        line += " items=" + std::to_string(count);
        line += " sel=" + std::to_string(ReadSelection(h));
        if (SendMessageW(h, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES) {
            std::string checked;
            for (int i = 0; i < count; ++i)
                if (ReadItemCheck(h, i))
                    checked += (checked.empty() ? "" : ",") + std::to_string(i);
            line += " checked=" + (checked.empty() ? std::string("none") : checked);
        }
    } else if (cls == u"msctls_trackbar32" || cls == u"msctls_updown32" || cls == u"ScrollBar") {
        line += " pos=" + std::to_string(ReadPosition(h));
    } else if (cls == u"Edit" && (w->style & ES_READONLY)) {
        line += " readonly";
    }
    RECT r = w->rect;
    line += " [" + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
            std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "]\n";
    *out += line;
    for (HWND c : std::vector<HWND>(w->children))
        SnapshotOf(c, depth + 1, out);
}

} // namespace

HWND FindTopWindow(const char16_t* caption, const char16_t* className) {
    for (HWND h : TopLevelWindows()) {
        auto w = Find(h);
        if (!w) continue;
        if (caption && w->text != caption) continue;
        if (className && !EqualsNoCase(w->windowClass->name, className)) continue;
        return h;
    }
    return nullptr;
}

HWND FindControl(HWND parent, int id) {
    auto p = Find(parent);
    if (!p) return nullptr;
    for (HWND c : p->children)
        if (GetDlgCtrlID(c) == id) return c;
    for (HWND c : p->children)
        if (HWND found = FindControl(c, id)) return found;
    return nullptr;
}

bool Click(HWND control) {
    if (!Usable(control)) return false;
    UserAction user;
    if (IsClass(control, u"Button")) {
        SendMessageW(control, BM_CLICK, 0, 0);
        return true;
    }
    SendMessageW(control, WM_LBUTTONDOWN, 0, 0);
    SendMessageW(control, WM_LBUTTONUP, 0, 0);
    return true;
}

bool SetCheck(HWND button, UINT state) {
    if (!Usable(button) || !IsClass(button, u"Button")) return false;
    for (int i = 0; i < 3 && ReadCheck(button) != state; ++i)
        Click(button);
    return ReadCheck(button) == state;
}

bool TypeText(HWND edit, const std::u16string& text) {
    if (!Usable(edit)) return false;
    UserAction user;
    if (IsClass(edit, u"ComboBox")) return TypeIntoCombo(edit, text);
    if (!IsClass(edit, u"Edit")) return false;
    SetFocus(edit);
    if (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) return false;
    // Select everything, then type over it key by key.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    if (GetWindowTextLengthW(edit) > 0) SendMessageW(edit, WM_KEYDOWN, VK_DELETE, 0);
    for (char16_t c : text)
        SendMessageW(edit, WM_CHAR, c, 1);
    return true;
}

// A press and release of a mouse button on a point of a window's client area.
void MouseClick(HWND h, UINT down, UINT up, POINT at) {
    LPARAM where = ListViewPointParam(at);
    SendMessageW(h, down, 0, where);
    if (IsWindow(h)) SendMessageW(h, up, 0, where);
}

// A list view's item clicked on its label or its check box.
bool ClickListViewItem(HWND listView, int index, bool checkBox, bool twice) {
    POINT at;
    if (!Usable(listView) || !IsClass(listView, WC_LISTVIEWW) ||
        !ListViewItemPoint(listView, index, checkBox, &at))
        return false;
    UserAction user;
    MouseClick(listView, WM_LBUTTONDOWN, WM_LBUTTONUP, at);
    if (twice && IsWindow(listView)) MouseClick(listView, WM_LBUTTONDBLCLK, WM_LBUTTONUP, at);
    return true;
}

bool SelectItem(HWND list, int index) {
    if (IsClass(list, WC_LISTVIEWW)) return ClickListViewItem(list, index, false, false);
    if (!Usable(list)) return false;
    UserAction user;
    SetFocus(list);
    return SelectByUser(list, index);
}

bool DoubleClickItem(HWND listView, int index) {
    return ClickListViewItem(listView, index, false, true);
}

bool CheckItem(HWND listView, int index, bool checked) {
    if (ReadItemCheck(listView, index) == checked) return true;
    return ClickListViewItem(listView, index, true, false) &&
           ReadItemCheck(listView, index) == checked;
}

bool ReadItemCheck(HWND listView, int index) {
    UINT state = static_cast<UINT>(
        SendMessageW(listView, LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}

bool ClickColumn(HWND listView, int column) {
    POINT at;
    if (!Usable(listView) || !IsClass(listView, WC_LISTVIEWW) ||
        !ListViewColumnPoint(listView, column, &at))
        return false;
    UserAction user;
    MouseClick(listView, WM_LBUTTONDOWN, WM_LBUTTONUP, at);
    return true;
}

bool SelectItemText(HWND list, const std::u16string& text) {
    UINT find = IsClass(list, u"ComboBox") ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT;
    int index = static_cast<int>(
        SendMessageW(list, find, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())));
    return index >= 0 && SelectItem(list, index);
}

bool MoveSlider(HWND trackbar, int position) {
    if (!Usable(trackbar)) return false;
    UserAction user;
    SetFocus(trackbar);
    return MoveSliderByUser(trackbar, position);
}

bool DropDown(HWND combo, bool open) {
    if (!Usable(combo) || !IsClass(combo, u"ComboBox")) return false;
    UserAction user;
    SetFocus(combo);
    SendMessageW(combo, CB_SHOWDROPDOWN, open, 0);
    return (SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0) == open;
}

bool SpinBy(HWND upDown, int steps) {
    if (!Usable(upDown)) return false;
    UserAction user;
    return SpinByUser(upDown, steps);
}

bool SelectTab(HWND tab, int index) {
    if (!Usable(tab)) return false;
    UserAction user;
    return SelectTabByUser(tab, index);
}

bool ScrollTo(HWND scrollBar, int position) {
    if (!Usable(scrollBar)) return false;
    UserAction user;
    return ScrollByUser(scrollBar, position);
}

namespace {

// Whether the mouse at a screen point reaches this window or passes through
// it, as it passes through disabled windows and those answering
// WM_NCHITTEST with HTTRANSPARENT (group boxes, static texts that do not
// notify). `code` gets the window's answer.
bool TakesMouse(HWND h, POINT screen, LRESULT* code = nullptr) {
    auto w = Find(h);
    if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_DISABLED)) return false;
    LRESULT hit = SendMessageW(h, WM_NCHITTEST, 0, PointParam(screen));
    // A procedure that answers nothing is taken to mean its client area.
    if (hit == HTNOWHERE) hit = HTCLIENT;
    if (code) *code = hit;
    return hit != HTTRANSPARENT;
}

// The window the system gives the mouse at a screen point of `within`: the
// deepest visible child under it that takes the mouse; one that does not
// passes it to the sibling beneath it, else to its parent. nullptr when
// `within` itself does not take it.
HWND WindowUnderMouse(HWND within, POINT screen, LRESULT* code) {
    if (!TakesMouse(within, screen, code)) return nullptr;
    if (*code != HTCLIENT) return within;
    auto w = Find(within);
    if (!w) return nullptr;
    for (HWND c : std::vector<HWND>(w->children)) {
        RECT r;
        if (!IsWindowVisible(c) || !GetWindowRect(c, &r) || !PtInRect(&r, screen)) continue;
        LRESULT childCode = HTCLIENT;
        if (HWND found = WindowUnderMouse(c, screen, &childCode)) {
            *code = childCode;
            return found;
        }
    }
    return within;
}

} // namespace

bool RightClick(HWND window) {
    if (!window || !IsWindow(window) || !IsWindowVisible(window)) return false;
    RECT r;
    GetWindowRect(window, &r);
    POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    HWND target = window;
    while (target && GetParent(target) && (GetWindowLongW(target, GWL_STYLE) & WS_CHILD) &&
           !TakesMouse(target, at))
        target = GetParent(target);
    if (!target || (GetWindowLongW(target, GWL_STYLE) & WS_DISABLED)) return false;
    UserAction user;
    SetCursorPos(at.x, at.y);
    ScreenToClient(target, &at);
    MouseClick(target, WM_RBUTTONDOWN, WM_RBUTTONUP, at);
    return true;
}

bool PressF1(HWND window) {
    if (!Usable(window)) return false;
    UserAction user;
    if (GetFocus() != window) SetFocus(window);
    if (GetFocus() != window) return false;
    SendMessageW(window, WM_KEYDOWN, VK_F1, 0);
    if (!IsWindow(window)) return true;
    // The key asks the window with the focus for help about itself.
    HELPINFO info{};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = GetDlgCtrlID(window);
    info.hItemHandle = window;
    GetCursorPos(&info.MousePos);
    SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    return true;
}

bool SwitchPage(HWND sheet, int index) {
    HWND tab = GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL);
    if (!tab) return false;
    return SelectTab(tab, index) && ReadSelection(tab) == index;
}

bool PressButton(HWND dialog, int id) {
    return Click(GetDlgItem(dialog, id));
}

bool DialogEnded(HWND dialog) {
    auto w = Find(dialog);
    return !w || w->ended;
}

std::u16string ReadText(HWND window) {
    int n = GetWindowTextLengthW(window);
    std::u16string text(static_cast<size_t>(n) + 1, u'\0');
    int got = GetWindowTextW(window, text.data(), n + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

UINT ReadCheck(HWND button) {
    return static_cast<UINT>(SendMessageW(button, BM_GETCHECK, 0, 0));
}

int ReadSelection(HWND h) {
    if (IsClass(h, u"ComboBox")) return static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
    if (IsClass(h, u"ListBox")) return static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0));
    if (IsClass(h, u"SysTabControl32"))
        return static_cast<int>(SendMessageW(h, TCM_GETCURSEL, 0, 0));
    if (IsClass(h, WC_LISTVIEWW))
        return static_cast<int>(
            SendMessageW(h, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return -1;
}

int ReadPosition(HWND h) {
    if (IsClass(h, u"msctls_trackbar32"))
        return static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0));
    if (IsClass(h, u"msctls_updown32"))
        return static_cast<int>(SendMessageW(h, UDM_GETPOS32, 0, 0));
    if (IsClass(h, u"ScrollBar")) return static_cast<int>(SendMessageW(h, SBM_GETPOS, 0, 0));
    return 0;
}

std::string Snapshot(HWND window) {
    std::string out;
    SnapshotOf(window, 0, &out);
    return out;
}

} // namespace platform::user::driver

namespace platform::user::driver {
namespace {

// The key as the focus's dialog manager sees it, else as the focus gets it.
void SendKey(UINT message, int key) {
    HWND focus = GetFocus();
    if (!focus) return;
    MSG m{focus, message, static_cast<WPARAM>(key), message == WM_KEYUP ? 0xC0000001 : 1, 0, {}};
    if (message == WM_KEYDOWN) {
        for (HWND h = focus; h; h = GetParent(h)) {
            auto w = Find(h);
            // The outermost dialog: a page's keys go through its sheet.
            if (w && w->isDialog && !(w->style & WS_CHILD)) {
                IsDialogMessageW(h, &m);
                return;
            }
        }
    }
    SendMessageW(focus, message, m.wParam, m.lParam);
}

WPARAM MouseKeys() {
    WPARAM keys = 0;
    if (GetKeyState(VK_LBUTTON) & 0x8000) keys |= MK_LBUTTON;
    if (GetKeyState(VK_SHIFT) & 0x8000) keys |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) & 0x8000) keys |= MK_CONTROL;
    return keys;
}

// The mouse arrives at a point of a window: the cursor moves there. The
// window that captured the mouse gets it; else the window the system finds
// under the point (hit-tested from the top-level window down, through the
// windows that let the mouse pass) chooses the cursor and gets it. The point
// in the target's client coordinates; nullptr when no window takes it.
HWND MouseAt(HWND window, POINT at, UINT message, POINT* local) {
    POINT screen = at;
    ClientToScreen(window, &screen);
    SetCursorPos(screen.x, screen.y);
    HWND target = GetCapture();
    if (!target) {
        HWND root = GetAncestor(window, GA_ROOT);
        RECT r{};
        if (!root || !GetWindowRect(root, &r) || !PtInRect(&r, screen))
            root = window; // off its window: the window itself, as before it left
        LRESULT code = HTCLIENT;
        target = WindowUnderMouse(root, screen, &code);
        if (!target) return nullptr;
        SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                     MAKELONG(static_cast<WORD>(code), message));
        if (!IsWindow(target)) return nullptr;
    }
    *local = screen;
    ScreenToClient(target, local);
    return target;
}

} // namespace

bool HoldKey(int key) {
    if (!GetFocus()) return false;
    UserAction user;
    platform::user::HoldKey(key, true);
    SendKey(WM_KEYDOWN, key);
    return true;
}

bool ReleaseKey(int key) {
    if (!(GetKeyState(key) & 0x8000)) return false;
    UserAction user;
    platform::user::HoldKey(key, false);
    SendKey(WM_KEYUP, key);
    return true;
}

bool PressKey(int key) {
    return HoldKey(key) && ReleaseKey(key);
}

bool MouseDown(HWND window, POINT at) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return false;
    UserAction user;
    POINT local;
    HWND target = MouseAt(window, at, WM_LBUTTONDOWN, &local);
    if (!target) return false;
    platform::user::HoldKey(VK_LBUTTON, true);
    SendMessageW(target, WM_LBUTTONDOWN, MouseKeys(), PointParam(local));
    return true;
}

bool MouseMove(HWND window, POINT at) {
    if (!IsWindow(window) || (!GetCapture() && !IsWindowVisible(window))) return false;
    UserAction user;
    POINT local;
    HWND target = MouseAt(window, at, WM_MOUSEMOVE, &local);
    if (!target) return false;
    SendMessageW(target, WM_MOUSEMOVE, MouseKeys(), PointParam(local));
    return true;
}

bool MouseUp(HWND window, POINT at) {
    if (!IsWindow(window) || (!GetCapture() && !IsWindowVisible(window))) return false;
    UserAction user;
    POINT local;
    HWND target = MouseAt(window, at, WM_LBUTTONUP, &local);
    platform::user::HoldKey(VK_LBUTTON, false);
    if (!target) return false;
    SendMessageW(target, WM_LBUTTONUP, MouseKeys(), PointParam(local));
    return true;
}

bool Drag(HWND window, POINT from, POINT to, int steps) {
    if (!MouseDown(window, from)) return false;
    steps = std::max(steps, 1);
    for (int i = 1; i <= steps; ++i) {
        POINT at{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        if (!MouseMove(window, at)) break;
    }
    return MouseUp(window, to);
}

HCURSOR ReadCursor() {
    return CurrentCursor();
}

} // namespace platform::user::driver
