#include "font_dlg.h"

#include "control_states.h"
#include "font_sub_dlg.h"
#include "kinsoku_list.h"
#include "model_info.h"
#include "sheet_help.h"

namespace sheetwright {
namespace {

// The sheet's caller flag that offers the substitution table.
constexpr DWORD kCallerSubstitutionShown = 1u << 6;

} // namespace

WORD ChooseFontDownload(WORD mode, BOOL bitmap) {
    if (bitmap) return static_cast<WORD>((mode & ~kFontOutline) | kFontBitmap);
    return static_cast<WORD>((mode & ~kFontBitmap) | kFontOutline);
}

BEGIN_MESSAGE_MAP(CFontDlg, CLocalDlg)
ON_BN_CLICKED(CFontDlg::kBitmap, OnBitmap)
ON_BN_CLICKED(CFontDlg::kOutline, OnOutline)
ON_BN_CLICKED(CFontDlg::kUseDeviceFonts, OnUseDeviceFonts)
ON_BN_CLICKED(CFontDlg::kSubstitutionButton, OnSubstitution)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

CFontDlg::CFontDlg(SheetContext* context, WORD fontMode, CWnd* parent)
    : CLocalDlg(kTemplateId, parent), context_(context), value_(fontMode) {}

BOOL CFontDlg::IsChecked(int id) const {
    return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

BOOL CFontDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    if (context_) {
        CModelInfo handling(&context_->model, model::kQueryDeviceFonts, 0, 1);
        if (handling.GetData()) {
            const DWORD word = handling.U32(0);
            outlineAllowed_ = (word & 1u) != 0;
            bitmapAllowed_ = (word & 2u) != 0;
        }
        substitutionShown_ = (context_->callerFlags & kCallerSubstitutionShown) != 0;
    }
    if (!substitutionShown_) ::ShowWindow(Item(kSubstitutionButton), SW_HIDE);
    Refresh();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void CFontDlg::Refresh() {
    const BOOL bitmap = (value_ & kFontBitmap) != 0;
    ::SendMessageW(Item(kBitmap), BM_SETCHECK, bitmap ? BST_CHECKED : BST_UNCHECKED, 0);
    ::SendMessageW(Item(kOutline), BM_SETCHECK, bitmap ? BST_UNCHECKED : BST_CHECKED, 0);
    const CKinsokuItem* item = context_ && context_->constraints
                                   ? context_->constraints->FindItem(kItemFontValues)
                                   : nullptr;
    const BOOL allowed = !item || !item->IsValueRefused(1);
    ::EnableWindow(Item(kOutline), outlineAllowed_ && allowed);
    ::EnableWindow(Item(kBitmap), bitmapAllowed_ && allowed);
    const BOOL device = !(value_ & kFontNoDeviceFonts);
    ::SendMessageW(Item(kUseDeviceFonts), BM_SETCHECK, device ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(Item(kUseDeviceFonts), allowed);
    ::EnableWindow(Item(kSubstitutionButton), substitutionShown_ && allowed && device);
    DisableAllChildren(context_, m_hWnd);
}

void CFontDlg::OnBitmap() {
    value_ = ChooseFontDownload(value_, IsChecked(kBitmap));
    Refresh();
}

void CFontDlg::OnOutline() {
    value_ = ChooseFontDownload(value_, !IsChecked(kOutline));
    Refresh();
}

void CFontDlg::OnUseDeviceFonts() {
    if (IsChecked(kUseDeviceFonts))
        value_ = static_cast<WORD>(value_ & ~kFontNoDeviceFonts);
    else
        value_ = static_cast<WORD>(value_ | kFontNoDeviceFonts);
    Refresh();
}

void CFontDlg::OnSubstitution() {
    CFontSubDlg dialog(context_, this);
    dialog.DoModal();
}

void CFontDlg::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(kTemplateId));
}

LRESULT CFontDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CFontDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

} // namespace sheetwright
