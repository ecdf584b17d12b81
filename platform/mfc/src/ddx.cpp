// Data exchange between controls and members, and UpdateData.
#include <cerrno>
#include <cstdlib>

#include "afxwin.h"

namespace {

// Thrown by a failed exchange to end it; UpdateData answers FALSE.
struct ExchangeFailed {};

void SetText(HWND control, LPCWSTR text) {
    ::SetWindowTextW(control, text);
}

CString GetText(HWND control) {
    CString text;
    AfxGetWindowText(control, text);
    return text;
}

// A whole number with an optional sign and surrounding spaces.
bool ParseInteger(CString text, long long lo, long long hi, long long& out) {
    text.Trim();
    std::string narrow = text.ToNarrow(CP_UTF8);
    if (narrow.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(narrow.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

void IntegerExchange(CDataExchange* dx, int id, long long& value, long long lo, long long hi,
                     bool isSigned) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) {
        long long v = 0;
        if (!ParseInteger(GetText(control), lo, hi, v)) {
            AfxMessageBox(isSigned ? u"Please enter an integer."
                                   : u"Please enter a positive integer.",
                          MB_ICONEXCLAMATION);
            dx->Fail();
        }
        value = v;
    } else {
        CString text;
        text.Format(u"%I64d", value);
        SetText(control, text);
    }
}

} // namespace

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const ExchangeFailed&) {
        return FALSE;
    }
    return TRUE;
}

HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    m_hWndLastControl = control;
    if (!control) Fail();
    return control;
}

void CDataExchange::Fail() {
    m_bFailed = TRUE;
    if (m_bSaveAndValidate && m_hWndLastControl) ::SetFocus(m_hWndLastControl);
    throw ExchangeFailed{};
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = GetText(control);
    else
        SetText(control, value);
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
    long long v = value;
    IntegerExchange(dx, id, v, INT32_MIN, INT32_MAX, true);
    value = static_cast<int>(v);
}

void DDX_Text(CDataExchange* dx, int id, UINT& value) {
    long long v = value;
    IntegerExchange(dx, id, v, 0, UINT32_MAX, false);
    value = static_cast<UINT>(v);
}

// A control's state read with one message and set with another.
static void ExchangeByMessage(CDataExchange* dx, int id, int& value, UINT get, UINT set) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(control, get, 0, 0));
    else
        ::SendMessageW(control, set, static_cast<WPARAM>(value), 0);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    ExchangeByMessage(dx, id, value, BM_GETCHECK, BM_SETCHECK);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) value = -1;
    // The group runs from the first button to the next control marked WS_GROUP.
    int index = 0;
    for (HWND h = control; h; h = ::GetWindow(h, GW_HWNDNEXT), ++index) {
        if (h != control && (::GetWindowLongW(h, GWL_STYLE) & WS_GROUP)) break;
        if (dx->m_bSaveAndValidate) {
            if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        } else {
            ::SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    ExchangeByMessage(dx, id, index, CB_GETCURSEL, CB_SETCURSEL);
}

void DDX_CBString(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareCtrl(id);
    bool dropList = (::GetWindowLongW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST;
    if (dx->m_bSaveAndValidate) {
        LRESULT sel = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (dropList && sel >= 0) {
            LRESULT n = ::SendMessageW(control, CB_GETLBTEXTLEN, sel, 0);
            CString text;
            n = ::SendMessageW(
                control, CB_GETLBTEXT, sel,
                reinterpret_cast<LPARAM>(text.GetBufferSetLength(n > 0 ? n + 1 : 1)));
            text.ReleaseBuffer(n > 0 ? static_cast<int>(n) : 0);
            value = text;
        } else {
            value = dropList ? CString() : GetText(control);
        }
    } else if (::SendMessageW(control, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(value.GetString())) == CB_ERR &&
               !dropList) {
        SetText(control, value);
    }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd) return;
    HWND h = dx->PrepareCtrl(id);
    if (!control.SubclassWindow(h)) dx->Fail();
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal) {
    if (!dx->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
    CString text;
    text.Format(u"Enter an integer between %d and %d.", minVal, maxVal);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    dx->Fail();
}
