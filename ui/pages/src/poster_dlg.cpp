#include "model/model_queries.h"
#include "poster_dlg.h"

#include "control_states.h"
#include "devmode_helpers.h"
#include "kinsoku_list.h"
#include "model_info.h"
#include "track_dm.h"

namespace sheetwright {
namespace {

// Model table 67: the overlap limit, word 3 in 1/100 inch and word 5 in 0.1 mm.
constexpr size_t kOverlapInchOffset = 6;
constexpr size_t kOverlapMMOffset = 10;

constexpr DWORD kGridIcons[4] = {2261, 2263, 2264, 2265};
constexpr DWORD kIconTwoAcross = 2262;
constexpr DWORD kGridStrings[4] = {4651, 4653, 4654, 4655};
constexpr DWORD kStringTwoByOne = 4652;

bool Fits(POINT grid, DWORD across, DWORD down) {
    return static_cast<DWORD>(grid.x) <= across && static_cast<DWORD>(grid.y) <= down;
}

} // namespace

BEGIN_MESSAGE_MAP(CPosterDlg, CLayoutDlg)
ON_CONTROL_RANGE(BN_CLICKED, 812, 815, OnGrid)
ON_EN_CHANGE(817, OnOverlapChange)
ON_EN_KILLFOCUS(817, OnOverlapKillFocus)
ON_MESSAGE(WM_VSCROLL, OnSpinMessage)
END_MESSAGE_MAP()

POINT CPosterDlg::GridOfButton(int index, SHORT orientation) {
    switch (index) {
    case 0:
        return orientation == DMORIENT_PORTRAIT ? POINT{1, 2} : POINT{2, 1};
    case 1:
        return {2, 2};
    case 2:
        return {3, 3};
    default:
        return {4, 4};
    }
}

void CPosterDlg::PrepareCopy() {
    Copy().priv.LayoutKind = layoutKind_;
    // A grid the dialog does not offer opens as 2 x 2; a grid that is only
    // turned the other way round for the orientation (1 x 2 in landscape)
    // is turned to match it, as everywhere else the grid is read.
    NormalizePosterGrid(&Copy());
    if (SheetContext* c = Context()) {
        if (c->tracker) c->tracker->Track(&Copy());
        ApplyRulesAndRefresh(c, &Copy(), FALSE);
    }
}

void CPosterDlg::InitControls() {
    SheetContext* c = Context();
    const BOOL mm = (Copy().priv.MeasureFlags & kA4Region) != 0;
    double maximum = CLengthEdit::MaximumOf(mm, false, 0, 0);
    if (c) {
        CModelInfo limit(&c->model, model::kQueryPosterOverlap, 0, model::layout::kFixedThird);
        const bool answered = limit.GetData() != nullptr;
        maximum = CLengthEdit::MaximumOf(mm, answered, limit.U16(kOverlapMMOffset),
                                         limit.U16(kOverlapInchOffset));
    }
    const DEVMODE_IMAGEW* working = c ? &c->workingImage : &Copy();
    overlap_.Init(m_hWnd, kOverlapIds, mm, maximum, working->priv.LengthUnitDpi,
                  working->priv.PosterOverlap, &Localize());
    const bool portrait = Copy().dm.dmOrientation == DMORIENT_PORTRAIT;
    for (int i = 0; i < 4; ++i) {
        SetButtonIcon(kGridButtons[i], i == 0 && !portrait ? kIconTwoAcross : kGridIcons[i]);
        SetControlText(kGridButtons[i],
                       String(i == 0 && !portrait ? kStringTwoByOne : kGridStrings[i]));
        AddTip(kGridButtons[i], i == 0 ? 0 : kGridStrings[i]);
    }
}

std::u16string CPosterDlg::TooltipText(int controlId) {
    if (controlId != kGridButtons[0]) return {};
    return String(Copy().dm.dmOrientation == DMORIENT_PORTRAIT ? kGridStrings[0] : kStringTwoByOne);
}

void CPosterDlg::OnGrid(UINT controlId) {
    const POINT grid =
        GridOfButton(static_cast<int>(controlId) - kGridButtons[0], Copy().dm.dmOrientation);
    Copy().priv.PosterGrid[0] = static_cast<WORD>(grid.x);
    Copy().priv.PosterGrid[1] = static_cast<WORD>(grid.y);
    RefreshAll();
}

void CPosterDlg::OnOutputPaperChanged() {
    if (Context()) ApplyRulesAndRefresh(Context(), &Copy(), FALSE);
}

void CPosterDlg::OnOverlapChange() {
    if (!updating_) overlap_.OnTextChanged();
}

void CPosterDlg::OnOverlapKillFocus() {
    overlap_.Clamp();
    RefreshAll();
}

LRESULT CPosterDlg::OnSpinMessage(WPARAM, LPARAM lParam) {
    HWND spin = Item(kOverlapIds.spin);
    if (!spin || reinterpret_cast<HWND>(lParam) != spin) return 0;
    overlap_.OnSpin(static_cast<int>(::SendMessageW(spin, UDM_GETPOS32, 0, 0)));
    RefreshAll();
    return 0;
}

void CPosterDlg::Refresh() {
    updating_ = true;
    PRIVATE_DEVMODE& p = Copy().priv;
    const SHORT orientation = Copy().dm.dmOrientation;
    SelectOutputPaper();

    // What the paper, its printable area and the overlap allow.
    DWORD across = 0, down = 0;
    SheetContext* c = Context();
    const bool answered =
        c && c->constraints &&
        ComputeScaleLimits(c->constraints, reinterpret_cast<const BYTE*>(&Copy()), &across, &down);
    bool confirmable = true;
    if (answered) {
        // A grid beyond the limits (or one the rules cut to a grid the
        // dialog does not offer) falls back to the largest offered grid the
        // limits allow, so that OK never confirms one that cannot print.
        const POINT current{p.PosterGrid[0], p.PosterGrid[1]};
        if (!IsValidPosterGrid(&Copy()) || !Fits(current, across, down)) {
            confirmable = false;
            for (int i = 3; i >= 0; --i) {
                const POINT g = GridOfButton(i, orientation);
                if (Fits(g, across, down)) {
                    p.PosterGrid[0] = static_cast<WORD>(g.x);
                    p.PosterGrid[1] = static_cast<WORD>(g.y);
                    confirmable = true;
                    break;
                }
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        const POINT g = GridOfButton(i, orientation);
        CheckRadio(kGridButtons[i], p.PosterGrid[0] == g.x && p.PosterGrid[1] == g.y);
        if (answered && !IsSheetReadOnly(c))
            ::EnableWindow(Item(kGridButtons[i]), Fits(g, across, down));
    }
    overlap_.Show();
    ::EnableWindow(Item(IDOK), confirmable);
    updating_ = false;
}

void CPosterDlg::OnOK() {
    HWND ok = Item(IDOK);
    if (ok && !::IsWindowEnabled(ok)) return;
    overlap_.Clamp();
    SheetContext* c = Context();
    CLayoutDlg::OnOK();
    if (c) c->workingImage.priv.PosterOverlap = overlap_.Dots();
}

} // namespace sheetwright
