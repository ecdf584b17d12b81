// CBookletDlg: the "Booklet" dialog (template 650): binding side, sheets per
// booklet unit, the gutter, how pages of the other orientation are turned,
// and the output paper, with a preview. OK also stores the gutter.
#pragma once

#include "layout_dialog.h"
#include "length_edit.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kBookletDialog = 650;

class CBookletDlg : public CLayoutDlg {
  public:
    static constexpr int kLeftBinding = IDC_BOOKLET_LEFT_BINDING;
    static constexpr int kRightBinding = IDC_BOOKLET_RIGHT_BINDING;
    static constexpr int kSheetsCombo = IDC_BOOKLET_SHEETS_COMBO;
    static constexpr LengthEditIds kGutterIds{667, 668, 669};
    static constexpr int kRotationCombo = IDC_BOOKLET_ROTATION_COMBO;

    explicit CBookletDlg(SheetContext* context, CWnd* parent = nullptr)
        : CLayoutDlg(kBookletDialog, context, 2, parent) {}
    const CLengthEdit& Gutter() const { return gutter_; }
    void OnOK() override;

  protected:
    void PrepareCopy() override;
    void InitControls() override;
    void Refresh() override;

    void OnBinding(UINT controlId);
    void OnSheets();
    void OnRotation();
    void OnGutterChange();
    void OnGutterKillFocus();
    LRESULT OnSpinMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    CLengthEdit gutter_;
    bool updating_ = false;
};

} // namespace sheetwright
