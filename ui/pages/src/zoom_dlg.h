// CScaleDlg: the "Zoom" dialog (template 850): the page printed at a chosen
// percentage and placed at one of nine positions, with the output paper and
// a preview. The percentage always stays within the zoom limits.
#pragma once

#include "layout_dialog.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kZoomDialog = 850;

class CScaleDlg : public CLayoutDlg {
  public:
    static constexpr int kZoomEdit = IDC_ZOOM_ZOOM_EDIT;
    static constexpr int kZoomSpin = IDC_ZOOM_ZOOM_SPIN;
    static constexpr int kRangeText = 874;
    static constexpr int kFirstPosition = 865;
    static constexpr int kLastPosition = 873;
    static constexpr int kZoomChars = 3;
    static constexpr WORD kDefaultMinimum = 25;
    static constexpr WORD kDefaultMaximum = 400;

    explicit CScaleDlg(SheetContext* context, CWnd* parent = nullptr)
        : CLayoutDlg(kZoomDialog, context, 16, parent) {}

    WORD Minimum() const { return minimum_; }
    WORD Maximum() const { return maximum_; }
    // A typed percentage clamped into limits ("" and text that is no number
    // count as the minimum).
    static SHORT ClampZoom(const std::u16string& text, WORD minimum, WORD maximum);

  protected:
    void PrepareCopy() override;
    void InitControls() override;
    void Refresh() override;
    void OnOutputPaperChanged() override;

    void OnPosition(UINT controlId);
    void OnZoomChange();
    void OnZoomKillFocus();
    LRESULT OnSpinMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    // The limits of the copy: the device's range, else 25 to 400.
    void UpdateLimits();
    std::u16string EditText() const;

    WORD minimum_ = kDefaultMinimum;
    WORD maximum_ = kDefaultMaximum;
    bool fromEdit_ = false;
};

} // namespace sheetwright
