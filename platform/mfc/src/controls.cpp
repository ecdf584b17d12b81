// The standard and common control wrappers' out-of-line parts: item texts
// of any length, and owner drawing handed back from the parent.
#include "afxcmn.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)
IMPLEMENT_DYNAMIC(CSliderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTabCtrl, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

int AfxGetItemText(HWND control, UINT lengthMessage, UINT textMessage, int index, CString& text) {
    text.Empty();
    auto n =
        static_cast<int>(::SendMessageW(control, lengthMessage, static_cast<WPARAM>(index), 0));
    if (n < 0) return n;
    n = static_cast<int>(::SendMessageW(control, textMessage, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.GetBufferSetLength(n + 1))));
    text.ReleaseBuffer(n > 0 ? n : 0);
    return n;
}

namespace {

// Owner drawing of a list or combo box reaches the control's own members.
template <typename Control>
BOOL OwnerDraw(Control* control, UINT message, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM) {
        control->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    } else if (message == WM_MEASUREITEM) {
        control->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
    } else {
        return FALSE;
    }
    *result = TRUE;
    return TRUE;
}

} // namespace

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return OwnerDraw(this, message, lParam, result) ||
           CWnd::OnChildNotify(message, wParam, lParam, result);
}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return OwnerDraw(this, message, lParam, result) ||
           CWnd::OnChildNotify(message, wParam, lParam, result);
}

int CScrollBar::GetScrollLimit() const {
    SCROLLINFO info{};
    if (!GetScrollInfo(&info, SIF_RANGE | SIF_PAGE)) return 0;
    int page = info.nPage > 0 ? static_cast<int>(info.nPage) - 1 : 0;
    return info.nMax - page;
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
    CRect none;
    return CreateEx(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, none, parent, 0);
}

namespace {

// The record naming a control as a tool (by its window), with a text or a
// string id of the resource module.
TOOLINFOW ToolOf(CWnd* control, LPCWSTR text = nullptr) {
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = ::GetParent(control->m_hWnd);
    info.uId = reinterpret_cast<UINT_PTR>(control->m_hWnd);
    info.lpszText = const_cast<LPWSTR>(text);
    if (text && IS_INTRESOURCE(text)) info.hinst = AfxGetResourceHandle();
    return info;
}

} // namespace

BOOL CToolTipCtrl::AddTool(CWnd* control, LPCWSTR text) {
    if (!control) return FALSE;
    TOOLINFOW info = ToolOf(control, text);
    info.uFlags |= TTF_SUBCLASS;
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
}

void CToolTipCtrl::DelTool(CWnd* control) {
    if (!control) return;
    TOOLINFOW info = ToolOf(control);
    SendMessage(TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::UpdateTipText(LPCWSTR text, CWnd* control) {
    if (!control) return;
    TOOLINFOW info = ToolOf(control, text);
    SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::GetText(CString& text, CWnd* control) const {
    constexpr int kLongestTip = 1024;
    text.Empty();
    if (!control) return;
    TOOLINFOW info = ToolOf(control, text.GetBufferSetLength(kLongestTip));
    info.lpszText[0] = 0;
    SendMessage(TTM_GETTEXTW, kLongestTip, reinterpret_cast<LPARAM>(&info));
    text.ReleaseBuffer();
}

CString CTabCtrl::GetItemText(int index) const {
    constexpr int kLongestTab = 256;
    CString text;
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.GetBufferSetLength(kLongestTab);
    item.pszText[0] = 0;
    item.cchTextMax = kLongestTab;
    BOOL ok = GetItem(index, &item);
    text.ReleaseBuffer();
    if (!ok) text.Empty();
    return text;
}
