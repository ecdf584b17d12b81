// Buttons (push, check, three-state, radio, group box, owner-drawn) and
// static controls (text, icon, bitmap, owner-drawn).
#include "user_internal.h"

namespace platform::user {
namespace {

struct ButtonState : ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool focused = false;
    HANDLE image = nullptr;
};

struct StaticState : ControlState {
    HANDLE image = nullptr;
    UINT imageType = IMAGE_ICON;
};

UINT TypeOf(const Window& w) {
    return w.style & BS_TYPEMASK;
}

bool IsCheckType(UINT type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsThreeState(UINT type) {
    return type == BS_3STATE || type == BS_AUTO3STATE;
}

// Clicking an auto radio button unchecks the other auto radio buttons of its group.
void UncheckGroupSiblings(HWND button) {
    HWND parent = GetParent(button);
    if (!parent) return;
    for (HWND other = GetNextDlgGroupItem(parent, button, FALSE); other && other != button;
         other = GetNextDlgGroupItem(parent, other, FALSE)) {
        auto o = Find(other);
        if (o && o->windowClass->name == u"Button" && TypeOf(*o) == BS_AUTORADIOBUTTON)
            SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

void Released(HWND h, Window& w) {
    auto& s = StateOf<ButtonState>(w);
    if (!s.pushed) return;
    s.pushed = false;
    switch (TypeOf(w)) {
    case BS_AUTOCHECKBOX:
        SendMessageW(h, BM_SETCHECK, s.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessageW(h, BM_SETCHECK, (s.check + 1) % 3, 0);
        break;
    case BS_AUTORADIOBUTTON:
        SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
        UncheckGroupSiblings(h);
        break;
    default:
        break;
    }
    NotifyParent(h, BN_CLICKED);
}

} // namespace

LRESULT CALLBACK ButtonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<ButtonState>(*w);
    UINT type = TypeOf(*w);
    switch (msg) {
    case WM_NCHITTEST:
        // The mouse passes through a group box to what lies beneath it.
        if (type == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProcW(h, msg, wp, lp);
    case BM_GETCHECK:
        return IsCheckType(type) ? s.check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (!IsCheckType(type)) return 0;
        s.check = IsThreeState(type) ? static_cast<UINT>(wp) % 3
                                     : (wp == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED);
        // A checked radio button is the group's tab stop.
        if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
            if (s.check)
                w->style |= WS_TABSTOP;
            else
                w->style &= ~static_cast<DWORD>(WS_TABSTOP);
        }
        return 0;
    case BM_GETSTATE:
        return s.check | (s.pushed ? BST_PUSHED : 0) | (s.focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
        s.pushed = wp != 0;
        return 0;
    case BM_SETSTYLE:
        w->style = (w->style & 0xFFFF0000u) | LOWORD(wp);
        return 0;
    case BM_SETIMAGE: {
        HANDLE old = s.image;
        s.image = reinterpret_cast<HANDLE>(lp);
        return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE:
        return reinterpret_cast<LRESULT>(s.image);
    case BM_CLICK:
        if (!IsWindowEnabled(h) || type == BS_GROUPBOX) return 0;
        SendMessageW(h, WM_LBUTTONDOWN, 0, 0);
        SendMessageW(h, WM_LBUTTONUP, 0, 0);
        return 0;
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX) return 0;
        SetFocus(h);
        if (auto again = Find(h)) StateOf<ButtonState>(*again).pushed = true;
        return 0;
    case WM_LBUTTONUP:
        Released(h, *w);
        return 0;
    case WM_KEYDOWN:
        if (wp == VK_SPACE) SendMessageW(h, BM_CLICK, 0, 0);
        return 0;
    case WM_SETFOCUS:
        s.focused = true;
        if (w->style & BS_NOTIFY) NotifyParent(h, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        s.focused = false;
        if (w->style & BS_NOTIFY) NotifyParent(h, BN_KILLFOCUS);
        return 0;
    case WM_GETDLGCODE:
        switch (type) {
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_PUSHBUTTON:
        case BS_OWNERDRAW:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
        }
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT CALLBACK StaticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = Find(h);
    if (!w) return 0;
    auto& s = StateOf<StaticState>(*w);
    UINT type = w->style & SS_TYPEMASK;
    switch (msg) {
    case WM_NCHITTEST:
        // A static that does not notify lets the mouse through.
        if (!(w->style & SS_NOTIFY)) return HTTRANSPARENT;
        return DefWindowProcW(h, msg, wp, lp);
    case WM_CREATE: {
        if (type != SS_ICON && type != SS_BITMAP) return 0;
        // The title names the image: an ordinal (0xFFFF, id) or a resource name.
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        LPCWSTR name = cs->lpszName;
        if (!name || !*name) return 0;
        if (name[0] == 0xFFFF) name = MAKEINTRESOURCEW(name[1]);
        if (type == SS_ICON) {
            s.image = LoadIconW(cs->hInstance, name);
            s.imageType = IMAGE_ICON;
        } else {
            s.image = LoadBitmapW(cs->hInstance, name);
            s.imageType = IMAGE_BITMAP;
        }
        w->text.clear();
        return 0;
    }
    case STM_SETICON: {
        HANDLE old = s.image;
        s.image = reinterpret_cast<HANDLE>(wp);
        s.imageType = IMAGE_ICON;
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
        return s.imageType == IMAGE_ICON ? reinterpret_cast<LRESULT>(s.image) : 0;
    case STM_SETIMAGE: {
        HANDLE old = s.imageType == wp ? s.image : nullptr;
        s.image = reinterpret_cast<HANDLE>(lp);
        s.imageType = static_cast<UINT>(wp);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE:
        return s.imageType == wp ? reinterpret_cast<LRESULT>(s.image) : 0;
    case WM_LBUTTONUP:
        if (w->style & SS_NOTIFY) NotifyParent(h, STN_CLICKED);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

} // namespace platform::user
