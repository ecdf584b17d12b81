#include "layout_dialog.h"

#include <cstring>

#include "control_states.h"
#include "dialog_lookups.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "sheet_help.h"
#include "track_dm.h"
#include "user_paper.h"
#include "win/commctrl.h"
#include "win/resources.h"

namespace sheetwright {

void SetOutputPaper(SheetContext* context, DEVMODE_IMAGEW* image, WORD paper) {
    if (!image) return;
    PRIVATE_DEVMODE& p = image->priv;
    WORD width = 0, length = 0;
    const bool ownSize = paper >= kFirstUserPaper && context && context->userPapers &&
                         context->userPapers->GetSize(paper, &width, &length);
    // A user paper whose size cannot be found counts as "Same as Paper
    // Size": an output paper without a size would print at no size at all.
    if (paper >= kFirstUserPaper && !ownSize) paper = 0;
    p.OutputPaperId = paper;
    p.OutputPaperWidth = ownSize ? static_cast<SHORT>(width) : 0;
    p.OutputPaperLength = ownSize ? static_cast<SHORT>(length) : 0;
    if (ownSize)
        p.PrivateFlags |= kOutputPaperOwnSize;
    else
        p.PrivateFlags &= ~kOutputPaperOwnSize;
}

BEGIN_MESSAGE_MAP(CLayoutDlg, CLocalDlg)
ON_CBN_SELCHANGE(kOutputPaperCombo, OnOutputPaper)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
ON_MESSAGE(WM_DESTROY, OnDestroyMessage)
END_MESSAGE_MAP()

CLayoutDlg::CLayoutDlg(UINT templateId, SheetContext* context, WORD layoutKind, CWnd* parent)
    : CLocalDlg(templateId, parent), layoutKind_(layoutKind), context_(context),
      templateId_(templateId) {
    if (context_) std::memcpy(&copy_, &context_->workingImage, sizeof copy_);
}

CLayoutDlg::~CLayoutDlg() = default;

void CLayoutDlg::PrepareCopy() {
    copy_.priv.LayoutKind = layoutKind_;
    if (!context_) return;
    if (context_->tracker) context_->tracker->Track(&copy_);
    ApplyRulesAndRefresh(context_, &copy_, FALSE);
}

BOOL CLayoutDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, m_hWnd, nullptr,
                                 AfxGetInstanceHandle(), nullptr);
    if (tooltip_) ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    PrepareCopy();
    if (context_) {
        std::u16string source;
        GetPaperName(&source, &context_->model, context_->resourceModule,
                     static_cast<WORD>(copy_.dm.dmPaperSize), context_->userPapers);
        SetControlText(kSourcePaperEdit, source);
    }
    FillOutputPapers();
    if (Item(kLayoutPreview) && preview_.SubclassDlgItem(kLayoutPreview, this))
        preview_.Init(context_, kPaneOfDialog, &copy_);
    InitControls();
    DisableAllChildren(context_, m_hWnd);
    RefreshAll();
    return TRUE;
}

void CLayoutDlg::OnOK() {
    if (context_) std::memcpy(&context_->workingImage, &copy_, sizeof copy_);
    EndDialog(IDOK);
}

void CLayoutDlg::RefreshAll() {
    Refresh();
    preview_.Refresh();
}

void CLayoutDlg::FillOutputPapers() {
    HWND combo = Item(kOutputPaperCombo);
    if (!combo || !context_) return;
    CKinsokuItem* papers = context_->constraintItems[kSlotPaper];
    FillPaperSizeCombo(context_->resourceModule, combo, &context_->model, &copy_,
                       papers ? papers->BuildValueChain() : nullptr, context_->userPapers,
                       WithSameAsPaper(), context_->optionPair);
}

void CLayoutDlg::SelectOutputPaper() {
    SelectComboByData(Item(kOutputPaperCombo), copy_.priv.OutputPaperId);
}

void CLayoutDlg::OnOutputPaper() {
    const LRESULT paper = GetComboSelData(Item(kOutputPaperCombo));
    if (paper == CB_ERR) return;
    SetOutputPaper(context_, &copy_, static_cast<WORD>(paper));
    OnOutputPaperChanged();
    RefreshAll();
}

void CLayoutDlg::OnHelpButton() {
    if (!context_) return;
    OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(templateId_));
}

LRESULT CLayoutDlg::OnDestroyMessage(WPARAM, LPARAM) {
    if (tooltip_) {
        ::DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    return Default();
}

LRESULT CLayoutDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CLayoutDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

BOOL CLayoutDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header && header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom));
        asked_ = TooltipText(id);
        info->lpszText = asked_.empty() ? nullptr : asked_.data();
        if (result) *result = 0;
        return TRUE;
    }
    return CLocalDlg::OnNotify(wParam, lParam, result);
}

std::u16string CLayoutDlg::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

void CLayoutDlg::SetButtonIcon(int controlId, DWORD iconId) {
    HWND button = Item(controlId);
    if (!button) return;
    // Icons of the resource library are shared; the button only shows them.
    HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(iconId));
    if (icon && reinterpret_cast<HICON>(::SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0)) != icon)
        ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

void CLayoutDlg::AddTip(int controlId, DWORD stringId) {
    HWND control = Item(controlId);
    if (!tooltip_ || !control) return;
    tipTexts_.emplace_back();
    AddToolTip(context_ ? context_->resourceModule : AfxGetResourceHandle(), tooltip_, control,
               stringId ? stringId : reinterpret_cast<ULONG_PTR>(LPSTR_TEXTCALLBACKW),
               &tipTexts_.back());
}

void CLayoutDlg::SetControlText(int controlId, const std::u16string& text) {
    HWND control = Item(controlId);
    if (!control) return;
    WCHAR current[256] = {};
    ::GetWindowTextW(control, current, 256);
    if (text != current) ::SetWindowTextW(control, text.c_str());
}

void CLayoutDlg::CheckRadio(int controlId, BOOL checked) {
    if (HWND button = Item(controlId))
        ::SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

} // namespace sheetwright
