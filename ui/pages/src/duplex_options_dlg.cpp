#include "duplex_options_dlg.h"

#include "control_states.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "sheet_help.h"

namespace sheetwright {

BEGIN_MESSAGE_MAP(CDupOpt, CLocalDlg)
ON_CBN_SELCHANGE(CDupOpt::kTypeList, OnType)
ON_BN_CLICKED(CDupOpt::kNoticeCheck, OnNotice)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

CDupOpt::CDupOpt(SheetContext* context, CWnd* parent)
    : CLocalDlg(kDuplexOptionsDialog, parent), context_(context) {
    if (context_) {
        duplexTypeValue_ = context_->workingImage.priv.DuplexType;
        duplexNoticeValue_ = context_->workingImage.priv.DuplexNotice;
    }
}

BOOL CDupOpt::TypeShown(const SheetContext* context) {
    return context && HasModelFlag25Bits2To3(context->optionPair);
}

BOOL CDupOpt::NoticeShown(const SheetContext* context) {
    return context && HasModelFlag25Bit4(context->optionPair);
}

BOOL CDupOpt::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    HWND list = Item(kTypeList);
    if (context_ && context_->constraints)
        if (CKinsokuItem* item = context_->constraints->FindItem(kItemDuplexType))
            FillComboFromModelList(context_->resourceModule, list, item->BuildValueChain());
    SelectComboByData(list, duplexTypeValue_);

    const BOOL notice = NoticeShown(context_);
    HWND check = Item(kNoticeCheck);
    ::ShowWindow(check, notice ? SW_SHOW : SW_HIDE);
    ::SendMessageW(check, BM_SETCHECK, duplexNoticeValue_ ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(check, !(context_ && context_->constraints &&
                            context_->constraints->IsValueRefused(kItemDuplexNotice, 1)));

    const BOOL type = TypeShown(context_);
    ::ShowWindow(list, type ? SW_SHOW : SW_HIDE);
    ::ShowWindow(Item(kTypeLabel), type ? SW_SHOW : SW_HIDE);
    DisableAllChildren(context_, m_hWnd);

    // Without the list the check box takes the label's place.
    if (!type && notice) {
        RECT label{}, own{};
        ::GetWindowRect(Item(kTypeLabel), &label);
        ::GetWindowRect(check, &own);
        OffsetControl(m_hWnd, check, label.left - own.left, label.top - own.top);
    }
    return TRUE;
}

void CDupOpt::OnType() {
    // A list with nothing chosen stores nothing.
    const LRESULT data = GetComboSelData(Item(kTypeList));
    if (data != CB_ERR) duplexTypeValue_ = static_cast<WORD>(data);
}

void CDupOpt::OnNotice() {
    duplexNoticeValue_ =
        ::SendMessageW(Item(kNoticeCheck), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CDupOpt::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT,
                      GetHelpContextId(kDuplexOptionsDialog));
}

LRESULT CDupOpt::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CDupOpt::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

} // namespace sheetwright
