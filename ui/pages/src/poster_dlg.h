// CPosterDlg: the "Poster" dialog (template 800): one page enlarged over a
// grid of sheets that overlap by a margin, with the output paper and a
// preview. OK also stores the overlap.
#pragma once

#include "layout_dialog.h"
#include "length_edit.h"

namespace sheetwright {

inline constexpr UINT kPosterDialog = 800;

class CPosterDlg : public CLayoutDlg {
  public:
    // 1 x 2 (2 x 1 in landscape), 2 x 2, 3 x 3, 4 x 4.
    static constexpr int kGridButtons[4] = {812, 813, 814, 815};
    static constexpr LengthEditIds kOverlapIds{817, 818, 819};

    explicit CPosterDlg(SheetContext* context, CWnd* parent = nullptr)
        : CLayoutDlg(kPosterDialog, context, 4, parent) {}
    const CLengthEdit& Overlap() const { return overlap_; }
    void OnOK() override;

    // The grid {across, down} a button sets for an orientation.
    static POINT GridOfButton(int index, SHORT orientation);

  protected:
    void PrepareCopy() override;
    void InitControls() override;
    void Refresh() override;
    void OnOutputPaperChanged() override;
    std::u16string TooltipText(int controlId) override;

    void OnGrid(UINT controlId);
    void OnOverlapChange();
    void OnOverlapKillFocus();
    LRESULT OnSpinMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    CLengthEdit overlap_;
    bool updating_ = false;
};

} // namespace sheetwright
