// Dialogs and property pages: the dialog procedures that hand windows to
// their objects, and the page callback.
#include <algorithm>

#include "afxdlgs.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)
IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {

// The page whose window the sheet is about to make (PSPCB_CREATE) on this thread.
thread_local CPropertyPage* tCreatingPage = nullptr;
// The sheet object being shown on this thread (CPropertySheet::DoModal).
thread_local CPropertySheet* tShowingSheet = nullptr;

HWND ParentHandle(CWnd* parent) {
    return parent ? parent->m_hWnd : GetActiveWindow();
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

UINT CALLBACK AfxPropPageCallback(HWND, UINT message, PROPSHEETPAGEW* psp) {
    auto* page = reinterpret_cast<CPropertyPage*>(psp->lParam);
    if (message == PSPCB_ADDREF) {
        // The platform made the page's record: the page is its own from now on.
        if (tShowingSheet) tShowingSheet->handedOver_.push_back(page);
    } else if (message == PSPCB_CREATE) {
        tCreatingPage = page;
    } else if (message == PSPCB_RELEASE) {
        if (tCreatingPage == page) tCreatingPage = nullptr;
        delete page;
    }
    return 1;
}

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
    m_psp.pfnCallback = AfxPropPageCallback;
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

// ---------------------------------------------------------------------------
int CALLBACK AfxPropSheetCallback(HWND hWnd, UINT message, LPARAM) {
    CPropertySheet* sheet = tShowingSheet;
    if (message == PSCB_INITIALIZED && sheet && !sheet->m_hWnd && sheet->SubclassWindow(hWnd))
        sheet->OnSheetInitialized();
    return 0;
}

CPropertySheet::CPropertySheet(UINT captionId, CWnd* parent, UINT selectPage) {
    CString caption;
    caption.LoadString(captionId);
    Init(caption, parent, selectPage);
}

CPropertySheet::CPropertySheet(LPCWSTR caption, CWnd* parent, UINT selectPage) {
    Init(caption, parent, selectPage);
}

void CPropertySheet::Init(LPCWSTR caption, CWnd* parent, UINT selectPage) {
    caption_ = caption;
    parent_ = parent;
    m_psh.dwSize = sizeof m_psh;
    m_psh.nStartPage = selectPage;
}

CPropertySheet::~CPropertySheet() {
    for (auto* page : pages_)
        delete page;
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    if (page && std::find(pages_.begin(), pages_.end(), page) == pages_.end())
        pages_.push_back(page);
}

void CPropertySheet::RemovePage(CPropertyPage* page) {
    if (m_hWnd) return;
    pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
}

int CPropertySheet::GetPageCount() const {
    return static_cast<int>(pages_.size());
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? pages_[static_cast<size_t>(index)] : nullptr;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
    if (!m_hWnd) return GetPage(static_cast<int>(m_psh.nStartPage));
    auto page = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    return dynamic_cast<CPropertyPage*>(FromHandlePermanent(page));
}

int CPropertySheet::GetActiveIndex() const {
    if (!m_hWnd) return static_cast<int>(m_psh.nStartPage);
    auto page = SendMessage(PSM_GETCURRENTPAGEHWND);
    return static_cast<int>(SendMessage(PSM_HWNDTOINDEX, static_cast<WPARAM>(page)));
}

BOOL CPropertySheet::SetActivePage(int index) {
    if (index < 0 || index >= GetPageCount()) return FALSE;
    if (!m_hWnd) {
        m_psh.nStartPage = static_cast<UINT>(index);
        return TRUE;
    }
    return static_cast<BOOL>(SendMessage(PSM_SETCURSEL, static_cast<WPARAM>(index)));
}

void CPropertySheet::SetTitle(LPCWSTR title) {
    caption_ = title;
    if (m_hWnd) SendMessage(PSM_SETTITLEW, 0, reinterpret_cast<LPARAM>(title));
}

BOOL CPropertySheet::PressButton(int button) {
    return m_hWnd && SendMessage(PSM_PRESSBUTTON, static_cast<WPARAM>(button));
}

INT_PTR CPropertySheet::DoModal() {
    if (pages_.empty() || m_hWnd) return -1;
    std::vector<PROPSHEETPAGEW> records;
    for (auto* page : pages_)
        records.push_back(page->m_psp);
    m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    m_psh.dwFlags &= ~static_cast<DWORD>(PSH_MODELESS);
    m_psh.hwndParent = ParentHandle(parent_);
    m_psh.hInstance = AfxGetResourceHandle();
    m_psh.pszCaption = caption_;
    m_psh.nPages = static_cast<UINT>(records.size());
    m_psh.ppsp = records.data();
    m_psh.pfnCallback = AfxPropSheetCallback;
    CPropertySheet* outer = tShowingSheet;
    tShowingSheet = this;
    handedOver_.clear();
    INT_PTR result = PropertySheetW(&m_psh);
    tShowingSheet = outer;
    // Pages whose records the platform never made were never its own.
    for (auto* page : pages_)
        if (std::find(handedOver_.begin(), handedOver_.end(), page) == handedOver_.end())
            delete page;
    pages_.clear();
    handedOver_.clear();
    m_psh.ppsp = nullptr;
    return result;
}
