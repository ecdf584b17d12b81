// Dialogs and property pages: the dialog procedures that hand windows to
// their objects, and the page callback.
#include "afxdlgs.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)
IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {

// The page whose window the sheet is about to make (PSPCB_CREATE) on this thread.
thread_local CPropertyPage* tCreatingPage = nullptr;

HWND ParentHandle(CWnd* parent) {
    return parent ? parent->m_hWnd : GetActiveWindow();
}

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEW* psp) {
    auto* page = reinterpret_cast<CPropertyPage*>(psp->lParam);
    if (message == PSPCB_CREATE) {
        tCreatingPage = page;
    } else if (message == PSPCB_RELEASE) {
        if (tCreatingPage == page) tCreatingPage = nullptr;
        delete page;
    }
    return 1;
}

INT_PTR CALLBACK PageDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The first message of a page being made hands its window to the page.
    if (tCreatingPage && !CWnd::FromHandlePermanent(hWnd)) {
        CPropertyPage* page = tCreatingPage;
        tCreatingPage = nullptr;
        page->SubclassWindow(hWnd);
    }
    if (message != WM_INITDIALOG) return FALSE;
    auto* page = dynamic_cast<CPropertyPage*>(CWnd::FromHandlePermanent(hWnd));
    if (!page) {
        page = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        if (!page->SubclassWindow(hWnd)) return FALSE;
    }
    (void)wParam;
    return page->OnInitDialog();
}

} // namespace

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    if (!dialog || !dialog->SubclassWindow(hWnd)) return FALSE;
    return dialog->OnInitDialog();
}

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEW(templateId)), m_pParentWnd(parent) {}

CDialog::CDialog(LPCWSTR templateName, CWnd* parent)
    : m_lpszTemplateName(templateName), m_pParentWnd(parent) {}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATEW dialogTemplate, CWnd* parent) {
    m_lpDialogTemplate = dialogTemplate;
    m_pParentWnd = parent;
    return dialogTemplate != nullptr;
}

INT_PTR CDialog::DoModal() {
    LPARAM self = reinterpret_cast<LPARAM>(this);
    HWND parent = ParentHandle(m_pParentWnd);
    INT_PTR r = -1;
    if (m_lpDialogTemplate)
        r = DialogBoxIndirectParamW(AfxGetResourceHandle(), m_lpDialogTemplate, parent, AfxDlgProc,
                                    self);
    else if (m_lpszTemplateName)
        r = DialogBoxParamW(AfxGetResourceHandle(), m_lpszTemplateName, parent, AfxDlgProc, self);
    return r;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_pParentWnd = parent;
    return CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId),
                              ParentHandle(parent), AfxDlgProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATEW dialogTemplate, CWnd* parent) {
    m_pParentWnd = parent;
    return CreateDialogIndirectParamW(AfxGetResourceHandle(), dialogTemplate, ParentHandle(parent),
                                      AfxDlgProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CDialog(templateId) {
    m_psp.dwSize = sizeof m_psp;
    m_psp.dwFlags = PSP_USECALLBACK;
    m_psp.hInstance = AfxGetResourceHandle();
    m_psp.pszTemplate = MAKEINTRESOURCEW(templateId);
    m_psp.pfnDlgProc = PageDlgProc;
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    m_psp.pfnCallback = PageCallback;
    if (captionId && caption_.LoadString(captionId)) {
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = caption_;
    }
}

BOOL CPropertyPage::OnApply() {
    OnOK();
    m_bModified = FALSE;
    return TRUE;
}

void CPropertyPage::SetModified(BOOL changed) {
    m_bModified = changed;
    if (HWND sheet = ::GetParent(m_hWnd))
        ::SendMessageW(sheet, changed ? PSM_CHANGED : PSM_UNCHANGED,
                       reinterpret_cast<WPARAM>(m_hWnd), 0);
}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    switch (header->code) {
    case PSN_SETACTIVE:
        *result = OnSetActive() ? 0 : -1;
        break;
    case PSN_KILLACTIVE:
        *result = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        break;
    case PSN_RESET:
        OnReset();
        *result = 0;
        break;
    case PSN_QUERYCANCEL:
        *result = OnQueryCancel() ? FALSE : TRUE;
        break;
    default:
        return CDialog::OnNotify(wParam, lParam, result);
    }
    // The sheet reads a page's answer where a dialog procedure leaves it.
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, *result);
    return TRUE;
}
