// The dialog manager: dialogs from DLGTEMPLATE(EX) bytes, the dialog
// procedure protocol, the modal loop, keyboard navigation and the dialog-item
// calls.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "module_resources.h"
#include "platform/core.h"
#include "platform/dialog_template.h"
#include "platform/text.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/gdi_dc.h"
#include "win/memory.h"

namespace platform::user {
namespace {

constexpr UINT DM_GETDEFID = WM_USER;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kPointsPerInch = 72;
constexpr int kPixelsPerInch = 96;
// Without a font of its own a dialog is laid out in the system font.
constexpr LONG kSystemBaseX = 8;
constexpr LONG kSystemBaseY = 16;
constexpr LONG kSmallestPoints = 1;
constexpr LONG kLargestPoints = 72;
// A template handed over by address alone is read at most this far.
constexpr size_t kLargestTemplate = 1 << 20;

// How many bytes a template handed over by address may span: its resource's
// rest when it lies in a module's resources, its global block's rest when it
// is one, else the largest template there is.
size_t TemplateExtent(const void* p) {
    if (size_t n = ResourceExtent(static_cast<const BYTE*>(p))) return n;
    if (HGLOBAL g = GlobalHandle(p)) {
        auto* base = static_cast<const BYTE*>(GlobalLock(g));
        SIZE_T size = GlobalSize(g);
        GlobalUnlock(g);
        auto* at = static_cast<const BYTE*>(p);
        if (base && at >= base && at < base + size) return size - static_cast<size_t>(at - base);
    }
    return kLargestTemplate;
}

INT_PTR CallDialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, bool* handled) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(h, DWLP_DLGPROC));
    *handled = false;
    if (!proc) return 0;
    SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
    INT_PTR r = proc(h, msg, wp, lp);
    *handled = r != 0;
    return r;
}

// Messages whose result is the dialog procedure's own return value.
bool ReturnsDirectly(UINT msg) {
    return (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_INITDIALOG;
}

bool IsTabStop(HWND h) {
    auto w = Find(h);
    return w && (w->style & WS_TABSTOP) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

HWND FirstTabStop(HWND dialog) {
    auto d = Find(dialog);
    if (!d) return nullptr;
    for (HWND c : d->children)
        if (IsTabStop(c)) return c;
    return nullptr;
}

std::u16string ItemText(const res::ResId& title) {
    if (!title.isOrdinal) return title.text;
    if (title.ordinal == 0) return {};
    // An icon or bitmap named by ordinal, as the dialog manager hands it on.
    return std::u16string{char16_t{0xFFFF}, static_cast<char16_t>(title.ordinal)};
}

} // namespace

const char16_t* PredefinedClassName(WORD ordinal) {
    switch (ordinal) {
    case 0x80:
        return u"Button";
    case 0x81:
        return u"Edit";
    case 0x82:
        return u"Static";
    case 0x83:
        return u"ListBox";
    case 0x84:
        return u"ScrollBar";
    case 0x85:
        return u"ComboBox";
    default:
        return nullptr;
    }
}

HWND DefaultButton(HWND dialog) {
    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(def) != DC_HASDEFID) return nullptr;
    return GetDlgItem(dialog, LOWORD(def));
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const BYTE* bytes, size_t size, HWND parent,
                              DLGPROC proc, LPARAM param) {
    DialogTemplateData t;
    std::string error;
    if (!ReadDialogTemplate(bytes, size, &t, &error)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    LONG baseX = kSystemBaseX, baseY = kSystemBaseY;
    HFONT font = nullptr;
    if (t.hasFont) {
        LONG pixels =
            (static_cast<LONG>(t.pointSize) * kPixelsPerInch + kPointsPerInch / 2) / kPointsPerInch;
        baseY = pixels + 2;
        baseX = (baseY * 6 + 6) / 13;
        // The dialog's font by face and size is the renderer's; controls get
        // the stock interface font as their handle.
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    auto px = [&](short v, LONG base, int div) {
        return static_cast<int>(static_cast<long long>(v) * base / div);
    };
    DWORD style = t.style & ~static_cast<DWORD>(WS_VISIBLE);
    RECT in = Insets(style, t.exStyle);
    int width = px(t.cx, baseX, 4) + in.left + in.right;
    int height = px(t.cy, baseY, 8) + in.top + in.bottom;
    int x = px(t.x, baseX, 4), y = px(t.y, baseY, 8);
    if (!(style & WS_CHILD)) {
        // Centred on the screen when asked, else placed from the owner's corner.
        RECT around{0, 0, kScreenWidth, kScreenHeight};
        if (parent && !(t.style & DS_CENTER)) GetWindowRect(parent, &around);
        if (t.style & DS_CENTER) {
            x = (around.left + around.right - width) / 2;
            y = (around.top + around.bottom - height) / 2;
        } else {
            x += around.left;
            y += around.top;
        }
    }
    std::u16string className = u"#32770";
    if (!t.windowClass.isOrdinal) className = t.windowClass.text;
    HWND dialog =
        CreateWindowExW(t.exStyle, className.c_str(), t.title.c_str(), style, x, y, width, height,
                        parent, nullptr, instance, reinterpret_cast<LPVOID>(param));
    if (!dialog) return nullptr;
    auto d = Find(dialog);
    d->isDialog = true;
    d->baseUnitX = baseX;
    d->baseUnitY = baseY;
    d->fontFace = t.face;
    d->fontPoints = t.pointSize;
    if (d->extra.size() < DLGWINDOWEXTRA) d->extra.resize(DLGWINDOWEXTRA + 2, 0);
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (font) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const auto& item : t.items) {
        std::u16string itemClass;
        if (item.windowClass.isOrdinal) {
            const char16_t* name = PredefinedClassName(item.windowClass.ordinal);
            if (!name) continue;
            itemClass = name;
        } else {
            itemClass = item.windowClass.text;
        }
        std::u16string text = ItemText(item.title);
        HWND c = CreateWindowExW(
            item.exStyle | WS_EX_NOPARENTNOTIFY, itemClass.c_str(), text.c_str(),
            item.style | WS_CHILD, px(item.x, baseX, 4), px(item.y, baseY, 8),
            px(item.cx, baseX, 4), px(item.cy, baseY, 8), dialog,
            reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)), instance,
            item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data()));
        if (!c) {
            if (t.style & DS_NOFAILCREATE) continue;
            DestroyWindow(dialog);
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (font) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    HWND first = FirstTabStop(dialog);
    bool handled = false;
    INT_PTR focus =
        CallDialogProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param, &handled);
    if (!IsWindow(dialog)) return nullptr;
    if (focus && first && IsWindow(first) && !(style & WS_CHILD)) SetFocus(first);
    if (t.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

INT_PTR RunDialog(HWND dialog, HWND owner) {
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(dialog, SW_SHOWNORMAL);
    auto d = Find(dialog);
    bool answered = RunModalLoop(dialog, [&] { return !IsWindow(dialog) || d->ended; });
    INT_PTR result = answered ? d->result : -1;
    if (ownerWasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
    return result;
}

LRESULT CALLBACK DialogClassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return DefDlgProcW(h, msg, wp, lp);
}

} // namespace platform::user

using namespace platform::user;

extern "C" {

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    PLATFORM_FAULT_POINT("CreateDialogIndirectParamW", nullptr);
    if (!lpTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto* bytes = reinterpret_cast<const BYTE*>(lpTemplate);
        return CreateDialogFromTemplate(hInstance, bytes, TemplateExtent(bytes), hWndParent,
                                        lpDialogFunc, dwInitParam);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HRSRC r = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
    if (!r) return nullptr;
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(hInstance, r)));
    try {
        return CreateDialogFromTemplate(hInstance, bytes, SizeofResource(hInstance, r), hWndParent,
                                        lpDialogFunc, dwInitParam);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND dialog = CreateDialogIndirectParamW(hInstance, hDialogTemplate, hWndParent, lpDialogFunc,
                                             dwInitParam);
    if (!dialog) return -1;
    return RunDialog(dialog, hWndParent ? GetAncestor(hWndParent, GA_ROOT) : nullptr);
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND dialog =
        CreateDialogParamW(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam);
    if (!dialog) return -1;
    return RunDialog(dialog, hWndParent ? GetAncestor(hWndParent, GA_ROOT) : nullptr);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    auto d = Find(hDlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->ended = true;
    d->result = nResult;
    return TRUE;
}

LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    INT_PTR r = CallDialogProc(hDlg, Msg, wParam, lParam, &handled);
    if (!IsWindow(hDlg)) return r;
    if (handled) return ReturnsDirectly(Msg) ? r : GetWindowLongPtrW(hDlg, DWLP_MSGRESULT);
    auto d = Find(hDlg);
    switch (Msg) {
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hDlg, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            SendMessageW(hDlg, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_NEXTDLGCTL: {
        HWND target = lParam ? reinterpret_cast<HWND>(wParam)
                             : GetNextDlgTabItem(hDlg, GetFocus(), wParam != 0);
        if (target) SetFocus(target);
        return 0;
    }
    case WM_SETFOCUS: {
        HWND first = FirstTabStop(hDlg);
        if (first) SetFocus(first);
        return 0;
    }
    case DM_GETDEFID: {
        int id = d ? d->defaultId : 0;
        if (!id)
            for (HWND c : d->children)
                if ((SendMessageW(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
                    id = GetDlgCtrlID(c);
                    break;
                }
        if (!id && GetDlgItem(hDlg, IDOK)) id = IDOK;
        return id ? MAKELONG(id, DC_HASDEFID) : 0;
    }
    case DM_SETDEFID:
        if (d) d->defaultId = static_cast<int>(wParam);
        return TRUE;
    default:
        return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !hDlg || (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd))) return FALSE;
    if (lpMsg->message == WM_KEYDOWN) {
        LRESULT code = lpMsg->hwnd ? SendMessageW(lpMsg->hwnd, WM_GETDLGCODE, lpMsg->wParam,
                                                  reinterpret_cast<LPARAM>(lpMsg))
                                   : 0;
        if (!(code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) {
            switch (lpMsg->wParam) {
            case VK_TAB:
                if (code & DLGC_WANTTAB) break;
                SendMessageW(hDlg, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
                return TRUE;
            case VK_RETURN: {
                HWND def = DefaultButton(hDlg);
                int id = def ? GetDlgCtrlID(def) : IDOK;
                if (!def || IsWindowEnabled(def))
                    SendMessageW(hDlg, WM_COMMAND, MAKELONG(id, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(def));
                return TRUE;
            }
            case VK_ESCAPE: {
                HWND cancel = GetDlgItem(hDlg, IDCANCEL);
                SendMessageW(hDlg, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
                return TRUE;
            }
            default:
                break;
            }
        }
    }
    TranslateMessage(lpMsg);
    DispatchMessageW(lpMsg);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    auto d = Find(hDlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND c : d->children)
        if (auto w = Find(c); w && static_cast<int>(w->id) == nIDDlgItem) return c;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SetWindowTextW(c, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    if (!c) {
        if (lpString && cchMax > 0) lpString[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(c, lpString, cchMax));
}

BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    std::string n = bSigned ? std::to_string(static_cast<int>(uValue)) : std::to_string(uValue);
    return SetDlgItemTextW(hDlg, nIDDlgItem, platform::FromUtf8(n).c_str());
}

// Leading blanks, an optional minus sign (signed only), then digits to the end.
UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned) {
    if (lpTranslated) *lpTranslated = FALSE;
    WCHAR buf[64];
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    if (!c) return 0;
    int len = GetWindowTextW(c, buf, 64);
    std::u16string_view s(buf, static_cast<size_t>(len));
    size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    bool negative = false;
    if (bSigned && i < s.size() && s[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i == s.size()) return 0;
    unsigned long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return 0;
        v = v * 10 + (s[i] - u'0');
        if (v > 0xFFFFFFFFull) return 0;
    }
    if (bSigned && v > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
    if (lpTranslated) *lpTranslated = TRUE;
    return negative ? static_cast<UINT>(-static_cast<long long>(v)) : static_cast<UINT>(v);
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND c = GetDlgItem(hDlg, nIDButton);
    if (!c) return FALSE;
    SendMessageW(c, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    HWND c = GetDlgItem(hDlg, nIDButton);
    return c ? static_cast<UINT>(SendMessageW(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    auto d = Find(hDlg);
    if (!d) return FALSE;
    for (HWND c : std::vector<HWND>(d->children)) {
        int id = GetDlgCtrlID(c);
        if (id >= nIDFirstButton && id <= nIDLastButton)
            SendMessageW(c, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
    HWND c = GetDlgItem(hDlg, nIDDlgItem);
    return c ? SendMessageW(c, Msg, wParam, lParam) : 0;
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    auto d = Find(hDlg);
    if (!d) return nullptr;
    std::vector<HWND> stops;
    for (HWND c : d->children)
        if (IsTabStop(c) || c == hCtl) stops.push_back(c);
    if (stops.empty()) return nullptr;
    auto it = std::find(stops.begin(), stops.end(), hCtl);
    for (size_t step = 1; step <= stops.size(); ++step) {
        size_t at = it == stops.end() ? (bPrevious ? stops.size() - step : step - 1)
                    : bPrevious ? (static_cast<size_t>(it - stops.begin()) + stops.size() - step) %
                                      stops.size()
                                : (static_cast<size_t>(it - stops.begin()) + step) % stops.size();
        if (IsTabStop(stops[at])) return stops[at];
    }
    return nullptr;
}

HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    auto d = Find(hDlg);
    if (!d || d->children.empty()) return nullptr;
    const auto& list = d->children;
    auto it = std::find(list.begin(), list.end(), hCtl);
    if (it == list.end()) return nullptr;
    // The group: from the item with WS_GROUP at or before hCtl to the next one.
    auto start = it;
    while (start != list.begin() && !(GetWindowLongW(*start, GWL_STYLE) & WS_GROUP))
        --start;
    auto end = it + 1;
    while (end != list.end() && !(GetWindowLongW(*end, GWL_STYLE) & WS_GROUP))
        ++end;
    std::vector<HWND> group(start, end);
    auto me = std::find(group.begin(), group.end(), hCtl);
    size_t n = group.size();
    for (size_t step = 1; step < n; ++step) {
        size_t at = bPrevious ? (static_cast<size_t>(me - group.begin()) + n - step) % n
                              : (static_cast<size_t>(me - group.begin()) + step) % n;
        if (IsWindowVisible(group[at]) && IsWindowEnabled(group[at])) return group[at];
    }
    return hCtl;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    auto d = Find(hDlg);
    if (!d || !lpRect) return FALSE;
    lpRect->left = lpRect->left * d->baseUnitX / 4;
    lpRect->right = lpRect->right * d->baseUnitX / 4;
    lpRect->top = lpRect->top * d->baseUnitY / 8;
    lpRect->bottom = lpRect->bottom * d->baseUnitY / 8;
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits() {
    return MAKELONG(kSystemBaseX, kSystemBaseY);
}

} // extern "C"
