// CPagesperSheetDlg: the "Pages per Sheet" dialog (template 750): how many
// pages go on a sheet, their order, the page borders, how pages of the other
// orientation are turned, and the output paper, with a preview.
#pragma once

#include <array>

#include "layout_dialog.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kPagesPerSheetDialog = 750;

class CPagesperSheetDlg : public CLayoutDlg {
  public:
    // Buttons of the counts 2, 4, 6, 8, 9, 16 and of the orders.
    static constexpr int kFirstCountButton = 762;
    static constexpr int kLastCountButton = 767;
    static constexpr int kOrderButtons[4] = {769, 770, 771, 772};
    static constexpr int kBorderCombo = IDC_NUP_BORDER_COMBO;
    static constexpr int kRotationCombo = IDC_NUP_ROTATION_COMBO;

    explicit CPagesperSheetDlg(SheetContext* context, CWnd* parent = nullptr)
        : CLayoutDlg(kPagesPerSheetDialog, context, 1, parent) {}

    // A count the dialog offers; any other reads as 2.
    static WORD OfferedCount(WORD pagesPerSheet);
    // The order a button sets (769: 0, 770: 1, 771: 3, 772: 2).
    static WORD OrderOfButton(int controlId);

  protected:
    void PrepareCopy() override;
    void InitControls() override;
    void Refresh() override;
    std::u16string TooltipText(int controlId) override;

    void OnCount(UINT controlId);
    void OnOrder(UINT controlId);
    void OnBorders();
    void OnRotation();
    DECLARE_MESSAGE_MAP()

  private:
    // Where the order buttons stood when the dialog opened (client pixels):
    // each refresh puts them back there, so they never drift.
    std::array<POINT, 4> orderHome_{};
};

} // namespace sheetwright
