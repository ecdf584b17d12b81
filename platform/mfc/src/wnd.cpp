// Window objects: the handle maps, subclassing and message dispatch.
#include "afxwin.h"

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

namespace {

std::unordered_map<HWND, CWnd*>& Permanent() {
    return AfxGetStaticModuleState()->m_permanentWindows;
}

} // namespace

CWnd::~CWnd() {
    // An object that still owns its window takes the window with it; the
    // window is let go first so that its last messages find no half-destroyed object.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
        HWND h = m_pfnSuper ? UnsubclassWindow() : Detach();
        ::DestroyWindow(h);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    auto it = Permanent().find(hWnd);
    return it == Permanent().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) return nullptr;
    if (CWnd* w = FromHandlePermanent(hWnd)) return w;
    auto& temporary = AfxGetStaticModuleState()->m_temporaryWindows;
    CWnd*& w = temporary[hWnd];
    if (!w) {
        w = new CWnd;
        w->m_hWnd = hWnd;
    }
    return w;
}

void CWnd::DeleteTempMap() {
    auto& temporary = AfxGetStaticModuleState()->m_temporaryWindows;
    for (auto& [h, w] : temporary) {
        w->m_hWnd = nullptr;
        delete w;
    }
    temporary.clear();
}

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd || !::IsWindow(hWnd) || FromHandlePermanent(hWnd)) return FALSE;
    m_hWnd = hWnd;
    Permanent()[hWnd] = this;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND h = m_hWnd;
    if (h) {
        auto it = Permanent().find(h);
        if (it != Permanent().end() && it->second == this) Permanent().erase(it);
    }
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) return FALSE;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
    if (m_hWnd && m_pfnSuper)
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND h = m_hWnd;
    bool subclassed = m_pfnSuper != nullptr;
    BOOL ok = ::DestroyWindow(h);
    // A subclassed window let its object go at WM_NCDESTROY (the object may
    // be gone now); an attached one is let go here.
    if (!subclassed && FromHandlePermanent(h) == this) Detach();
    return ok;
}

void AfxGetWindowText(HWND hWnd, CString& text) {
    int n = ::GetWindowTextLengthW(hWnd);
    n = ::GetWindowTextW(hWnd, text.GetBufferSetLength(n + 1), n + 1);
    text.ReleaseBuffer(n > 0 ? n : 0);
}

void CWnd::GetWindowText(CString& text) const {
    AfxGetWindowText(m_hWnd, text);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text.Empty();
    if (HWND item = ::GetDlgItem(m_hWnd, id)) AfxGetWindowText(item, text);
    return text.GetLength();
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *result = 0;
        return TRUE;
    }
    if (message == WM_NOTIFY) return OnNotify(wParam, lParam, result);
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0, 0);
    if (e && e->pfn(this, message, wParam, lParam, result)) return TRUE;
    return ReflectToChild(message, wParam, lParam, result);
}

BOOL CWnd::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    HWND child = nullptr;
    switch (message) {
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        if (item && item->CtlType != ODT_MENU) child = item->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
        if (item && item->CtlType != ODT_MENU)
            child = ::GetDlgItem(m_hWnd, static_cast<int>(item->CtlID));
        break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return FALSE;
    }
    CWnd* control = child ? FromHandlePermanent(child) : nullptr;
    return control && control != this && control->OnChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_REFLECT_BASE + message, 0, 0);
    return e && e->pfn(this, WM_REFLECT_BASE + message, wParam, lParam, result);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id) {
    if (m_hWnd) return FALSE;
    HWND h = ::CreateWindowExW(
        exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), nullptr);
    if (!h) return FALSE;
    if (!SubclassWindow(h)) {
        ::DestroyWindow(h);
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam), wParam, lParam, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    (void)wParam;
    const AFX_MSGMAP_ENTRY* e =
        FindMessageEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom));
    return e && e->pfn(this, WM_NOTIFY, wParam, lParam, result);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) {
    LRESULT brush = 0;
    if (current_.message >= WM_CTLCOLORMSGBOX && current_.message <= WM_CTLCOLORSTATIC &&
        ReflectToChild(current_.message, current_.wParam, current_.lParam, &brush))
        return reinterpret_cast<HBRUSH>(brush);
    return reinterpret_cast<HBRUSH>(Default());
}

CDC* CWnd::GetDC() {
    HDC dc = ::GetDC(m_hWnd);
    return dc ? CDC::FromHandle(dc) : nullptr;
}

int CWnd::ReleaseDC(CDC* dc) {
    return dc ? ::ReleaseDC(m_hWnd, dc->m_hDC) : 0;
}

LRESULT CWnd::Default() {
    return DefWindowProc(current_.message, current_.wParam, current_.lParam);
}

namespace {

// How deep this thread is in the framework's window procedure: when the
// outermost call returns, the wrappers of handles that went meanwhile go
// too, as the framework's idle time would free them.
thread_local int tWndProcDepth = 0;

class WndProcDepth {
  public:
    WndProcDepth() { ++tWndProcDepth; }
    ~WndProcDepth() {
        if (--tWndProcDepth == 0) CDC::DeleteStaleTemporaries();
    }
    WndProcDepth(const WndProcDepth&) = delete;
    WndProcDepth& operator=(const WndProcDepth&) = delete;
};

} // namespace

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WndProcDepth depth;
    CWnd* w = CWnd::FromHandlePermanent(hWnd);
    if (!w) return ::DefWindowProcW(hWnd, message, wParam, lParam);
    CWnd::Current saved = w->current_;
    w->current_ = {message, wParam, lParam};
    LRESULT result = w->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window is gone: the object forgets it, then may delete itself.
        if (CWnd::FromHandlePermanent(hWnd) == w) {
            w->m_pfnSuper = nullptr;
            w->Detach();
            w->PostNcDestroy();
        }
        return result;
    }
    w->current_ = saved;
    return result;
}
