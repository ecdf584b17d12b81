// CStationary: the "Effects" page (template 950): the watermark and the
// overlay switched on and off, their names shown, and their dialogs opened
// with the two Detail buttons. The sheet has the page only when the model
// offers a watermark or an overlay.
#pragma once

#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CStationary : public CProfilePropPage {
  public:
    static constexpr int kWatermarkGroup = IDC_EFFECTS_WATERMARK_GROUP,
                         kWatermarkCheck = IDC_EFFECTS_WATERMARK_CHECK,
                         kWatermarkName = IDC_EFFECTS_WATERMARK_NAME;
    static constexpr int kWatermarkDetail = IDC_EFFECTS_WATERMARK_DETAIL,
                         kOverlayGroup = IDC_EFFECTS_OVERLAY_GROUP,
                         kOverlayCheck = IDC_EFFECTS_OVERLAY_CHECK;
    static constexpr int kOverlayName = IDC_EFFECTS_OVERLAY_NAME,
                         kOverlayDetail = IDC_EFFECTS_OVERLAY_DETAIL;

    explicit CStationary(SheetContext* context);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;

    // 1 when the image's watermark is not an unchanged stored entry.
    BOOL WatermarkChanged() const { return watermarkChanged_; }
    DWORD LastOverlayMode() const { return lastOverlayMode_; }

  protected:
    void OnWatermarkCheck();
    void OnWatermarkDetail();
    void OnOverlayCheck();
    void OnOverlayDetail();
    DECLARE_MESSAGE_MAP()

  private:
    void ComputeWatermarkChanged();
    void Refresh();
    // A change of the image: the sheet told, the rules run, the page shown.
    void AfterChange();

    DWORD lastOverlayMode_ = 2;
    BOOL watermarkChanged_ = FALSE;
};

} // namespace sheetwright
