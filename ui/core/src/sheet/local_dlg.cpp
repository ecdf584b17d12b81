#include "local_dlg.h"

namespace sheetwright {

CLocalDlg::CLocalDlg(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), localize_(std::make_unique<CLocalize>(AfxGetResourceHandle())) {
    // The block stays with the localisation object, which lives as long as the dialog.
    if (const BYTE* block = localize_->LoadDialogTemplate(templateId)) {
        m_lpDialogTemplate = reinterpret_cast<LPCDLGTEMPLATEW>(block);
        m_lpszTemplateName = nullptr;
    }
}

CLocalPropertyPage::CLocalPropertyPage(UINT templateId)
    : CPropertyPage(templateId), localize_(std::make_unique<CLocalize>(AfxGetResourceHandle())) {
    if (const BYTE* block = localize_->LoadDialogTemplate(templateId)) {
        m_psp.dwFlags |= PSP_DLGINDIRECT;
        m_psp.pResource = reinterpret_cast<LPCDLGTEMPLATEW>(block);
    }
}

} // namespace sheetwright
