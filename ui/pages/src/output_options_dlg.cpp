#include "output_options_dlg.h"

#include <cstring>

#include "control_states.h"
#include "devmode_convert.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "model_info.h"
#include "prop_page.h"
#include "revise_devmode.h"
#include "saved_job_info.h"
#include "sheet_help.h"

namespace sheetwright {
namespace {

constexpr DWORD kPrivateBlankOffered = 1u << 14;
constexpr BYTE kCopyControlBit = 1u << 2;
// The model's key value bit that shows the metafile spooling box.
constexpr DWORD kKeyMetafileShown = 1u << 1;

} // namespace

BEGIN_MESSAGE_MAP(CAdvancedDlg, CLocalDlg)
ON_CBN_SELCHANGE(CAdvancedDlg::kCopyControlList, OnCopyControl)
ON_BN_CLICKED(CAdvancedDlg::kBlankPages, OnBlankPages)
ON_BN_CLICKED(CAdvancedDlg::kMetafileSpooling, OnMetafileSpooling)
ON_BN_CLICKED(CAdvancedDlg::kPriorPrint, OnPriorPrint)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
ON_MESSAGE(WM_WININICHANGE, OnSettingChange)
END_MESSAGE_MAP()

CAdvancedDlg::CAdvancedDlg(SheetContext* context, CWnd* parent)
    : CLocalDlg(kTemplateId, parent), context_(context) {
    if (context_) {
        std::memcpy(&copy_, &context_->workingImage, sizeof copy_);
        readOnly_ = IsSheetReadOnly(context_);
    }
}

BOOL CAdvancedDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    if (!context_) return TRUE;
    CModelInfo copyControl(&context_->model, model::kQueryCopyControl, 0, 1);
    copyControlOffered_ = copyControl.GetData() && (copyControl.U8(0) & kCopyControlBit);
    if (!copyControlOffered_) {
        ::ShowWindow(Item(kCopyControlList), SW_HIDE);
        ::ShowWindow(Item(kCopyControlLabel), SW_HIDE);
        ::EnableWindow(Item(kCopyControlLabel), FALSE);
        RECT list{}, prior{};
        ::GetWindowRect(Item(kCopyControlList), &list);
        ::GetWindowRect(Item(kPriorPrint), &prior);
        const int dy = -(prior.top - list.top) / 2;
        for (int id : {kPriorPrint, kBlankPages, kMetafileSpooling})
            OffsetControl(m_hWnd, Item(id), 0, dy);
    }
    blankOffered_ = (copy_.priv.PrivateFlags & kPrivateBlankOffered) != 0;
    if (!blankOffered_) {
        RECT blank{}, metafile{};
        ::GetWindowRect(Item(kBlankPages), &blank);
        ::GetWindowRect(Item(kMetafileSpooling), &metafile);
        ::ShowWindow(Item(kBlankPages), SW_HIDE);
        ::EnableWindow(Item(kBlankPages), FALSE);
        OffsetControl(m_hWnd, Item(kMetafileSpooling), blank.left - metafile.left,
                      blank.top - metafile.top);
    }
    ApplyPriorPrintCapability();
    DWORD key = 0;
    if (!FindModelKeyValue(&context_->model, &key) || !(key & kKeyMetafileShown))
        ::ShowWindow(Item(kMetafileSpooling), SW_HIDE);
    Refresh();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void CAdvancedDlg::ApplyPriorPrintCapability() {
    const BOOL capable = context_ && HasPriorPrintCapability(context_);
    ::EnableWindow(Item(kPriorPrint), capable && !readOnly_);
    if (!capable) {
        copy_.priv.PriorPrintOn = 0;
        ::SendMessageW(Item(kPriorPrint), BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

void CAdvancedDlg::Refresh() {
    if (!context_ || !m_hWnd) return;
    CKinsokuItem* copyControl =
        context_->constraints ? context_->constraints->FindItem(kItemCollateByDriver) : nullptr;
    FillComboFromModelList(context_->resourceModule, Item(kCopyControlList),
                           copyControl ? copyControl->BuildValueChain() : nullptr);
    SelectComboByData(Item(kCopyControlList), copy_.priv.CollateByDriver);
    ::EnableWindow(Item(kCopyControlList), !readOnly_);

    DecideSpoolPlayback(&copy_.dm, &copy_.priv);
    copy_.priv.MetafileSpoolingOff = 1;
    ::SendMessageW(Item(kMetafileSpooling), BM_SETCHECK,
                   copy_.priv.MetafileSpoolingOff == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(Item(kMetafileSpooling), FALSE);

    ::SendMessageW(Item(kBlankPages), BM_SETCHECK,
                   copy_.priv.SkipBlankPages == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    const CKinsokuItem* skip =
        context_->constraints ? context_->constraints->FindItem(kItemSkipBlank) : nullptr;
    const BOOL blankFree = !skip || (!skip->IsValueRefused(0) && !skip->IsValueRefused(1));
    ::EnableWindow(Item(kBlankPages), blankFree && blankOffered_ && !readOnly_);

    ::SendMessageW(Item(kPriorPrint), BM_SETCHECK,
                   copy_.priv.PriorPrintOn ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CAdvancedDlg::OnCopyControl() {
    const LRESULT data = GetComboSelData(Item(kCopyControlList));
    if (data == CB_ERR) return;
    copy_.priv.CollateByDriver = static_cast<WORD>(data);
    Refresh();
}

void CAdvancedDlg::OnBlankPages() {
    copy_.priv.SkipBlankPages =
        ::SendMessageW(Item(kBlankPages), BM_GETCHECK, 0, 0) == BST_CHECKED ? 0 : 1;
    if (context_) ApplyRulesAndRefresh(context_, &copy_, FALSE);
    Refresh();
}

void CAdvancedDlg::OnMetafileSpooling() {
    copy_.priv.MetafileSpoolingOff =
        ::SendMessageW(Item(kMetafileSpooling), BM_GETCHECK, 0, 0) == BST_CHECKED ? 0 : 1;
    Refresh();
}

void CAdvancedDlg::OnPriorPrint() {
    copy_.priv.PriorPrintOn =
        ::SendMessageW(Item(kPriorPrint), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    Refresh();
}

void CAdvancedDlg::OnOK() {
    // A read-only sheet keeps its settings whatever the dialog showed.
    if (readOnly_ || !context_) {
        EndDialog(IDCANCEL);
        return;
    }
    std::memcpy(&context_->workingImage, &copy_, sizeof copy_);
    EndDialog(IDOK);
}

void CAdvancedDlg::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(kTemplateId));
}

LRESULT CAdvancedDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CAdvancedDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

LRESULT CAdvancedDlg::OnSettingChange(WPARAM, LPARAM) {
    LRESULT r = Default();
    if (!context_) return r;
    // The printer may have moved to another port: the prior-print check
    // needs a capability of the port it is on now.
    RefreshSheetPort(context_);
    ApplyPriorPrintCapability();
    Refresh();
    return r;
}

} // namespace sheetwright
