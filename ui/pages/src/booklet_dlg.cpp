#include "booklet_dlg.h"

#include "control_states.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "model/model_queries.h"
#include "model_info.h"

namespace sheetwright {
namespace {

// Model table 29: layout features (right binding offered) and the gutter limit.
constexpr BYTE kRightBindingOffered = 0x10;
constexpr size_t kGutterInchOffset = 10; // word 5: 1/100 inch
constexpr size_t kGutterMMOffset = 14;   // word 7: 0.1 mm
// Texts and tooltips of the binding buttons.
constexpr DWORD kStringLeftBinding = 4553;
constexpr DWORD kStringRightBinding = 4554;
constexpr DWORD kIconLeftBinding = 2230;
constexpr DWORD kIconRightBinding = 2231;

constexpr ComboRow kSheetRows[] = {
    {4555, 0, 0, 0}, {4556, 0, 1, 0}, {4557, 0, 2, 0}, {4558, 0, 4, 0}, {4559, 0, 8, 0}};
constexpr ComboRow kRotationRows[] = {{4571, 0, 0, 0}, {4572, 0, 1, 0}, {4570, 0, 2, 0}};

} // namespace

BEGIN_MESSAGE_MAP(CBookletDlg, CLayoutDlg)
ON_CONTROL_RANGE(BN_CLICKED, CBookletDlg::kLeftBinding, CBookletDlg::kRightBinding, OnBinding)
ON_CBN_SELCHANGE(CBookletDlg::kSheetsCombo, OnSheets)
ON_CBN_SELCHANGE(CBookletDlg::kRotationCombo, OnRotation)
ON_EN_CHANGE(IDC_BOOKLET_GUTTER_EDIT, OnGutterChange)
ON_EN_KILLFOCUS(IDC_BOOKLET_GUTTER_EDIT, OnGutterKillFocus)
ON_MESSAGE(WM_VSCROLL, OnSpinMessage)
END_MESSAGE_MAP()

void CBookletDlg::PrepareCopy() {
    // The booklet takes no tracked fix-ups: only the rules run.
    Copy().priv.LayoutKind = layoutKind_;
    if (Context()) ApplyRulesAndRefresh(Context(), &Copy(), FALSE);
}

void CBookletDlg::InitControls() {
    SheetContext* c = Context();
    const BOOL mm = (Copy().priv.MeasureFlags & kA4Region) != 0;
    double maximum = CLengthEdit::MaximumOf(mm, false, 0, 0);
    bool rightOffered = false;
    if (c) {
        CModelInfo flags(&c->model, model::kQueryBooklet, 0, model::layout::kFixedFirst);
        rightOffered = flags.GetData() && (flags.U8(0) & kRightBindingOffered);
        CModelInfo limit(&c->model, model::kQueryBooklet, 0, model::layout::kFixedThird);
        const bool answered = limit.GetData() != nullptr;
        maximum = CLengthEdit::MaximumOf(mm, answered, limit.U16(kGutterMMOffset),
                                         limit.U16(kGutterInchOffset));
    }
    const DEVMODE_IMAGEW* working = c ? &c->workingImage : &Copy();
    gutter_.Init(m_hWnd, kGutterIds, mm, maximum, working->priv.LengthUnitDpi,
                 working->priv.BindingMargin, &Localize());

    SetButtonIcon(kLeftBinding, kIconLeftBinding);
    SetButtonIcon(kRightBinding, kIconRightBinding);
    SetControlText(kLeftBinding, String(kStringLeftBinding));
    SetControlText(kRightBinding, String(kStringRightBinding));
    AddTip(kLeftBinding, kStringLeftBinding);
    AddTip(kRightBinding, kStringRightBinding);
    if (!rightOffered) ::ShowWindow(Item(kRightBinding), SW_HIDE);

    HMODULE resources = c ? c->resourceModule : AfxGetResourceHandle();
    CKinsokuItem* sheets =
        c && c->constraints ? c->constraints->FindItem(kItemBookletSheets) : nullptr;
    if (sheets)
        FillComboFromModelList(resources, Item(kSheetsCombo), sheets->BuildValueChain());
    else
        FillComboFromRows(resources, Item(kSheetsCombo), kSheetRows, 5);
    FillComboFromRows(resources, Item(kRotationCombo), kRotationRows, 3);
}

void CBookletDlg::OnBinding(UINT controlId) {
    Copy().priv.BookletKind = controlId == kLeftBinding ? 1 : 2;
    RefreshAll();
}

void CBookletDlg::OnSheets() {
    const LRESULT data = GetComboSelData(Item(kSheetsCombo));
    if (data != CB_ERR) Copy().priv.BookletSheets = static_cast<WORD>(data);
    RefreshAll();
}

void CBookletDlg::OnRotation() {
    const LRESULT data = GetComboSelData(Item(kRotationCombo));
    if (data != CB_ERR) Copy().priv.BookletRotation = static_cast<WORD>(data);
    RefreshAll();
}

void CBookletDlg::OnGutterChange() {
    if (!updating_) gutter_.OnTextChanged();
}

void CBookletDlg::OnGutterKillFocus() {
    gutter_.Clamp();
    RefreshAll();
}

LRESULT CBookletDlg::OnSpinMessage(WPARAM, LPARAM lParam) {
    HWND spin = Item(kGutterIds.spin);
    if (!spin || reinterpret_cast<HWND>(lParam) != spin) return 0;
    gutter_.OnSpin(static_cast<int>(::SendMessageW(spin, UDM_GETPOS32, 0, 0)));
    RefreshAll();
    return 0;
}

void CBookletDlg::Refresh() {
    updating_ = true;
    const PRIVATE_DEVMODE& p = Copy().priv;
    SelectOutputPaper();
    CheckRadio(kLeftBinding, p.BookletKind == 1);
    CheckRadio(kRightBinding, p.BookletKind == 2);
    SelectComboByData(Item(kSheetsCombo), p.BookletSheets);
    gutter_.Show();
    SelectComboByData(Item(kRotationCombo), p.BookletRotation);
    updating_ = false;
}

void CBookletDlg::OnOK() {
    gutter_.Clamp();
    SheetContext* c = Context();
    CLayoutDlg::OnOK();
    if (c) c->workingImage.priv.BindingMargin = gutter_.Dots();
}

} // namespace sheetwright
