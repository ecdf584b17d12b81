// COutput: the "Output" page of the document sheet. Copies and collation,
// sort method, output tray, staple, punch, mirror image and reverse page
// order go straight into the sheet's working image; the constraint engine
// then settles the image and the page shows it again, so each list offers
// only what the other settings allow. "Output Options..." opens
// CAdvancedDlg over a copy of the image.
#pragma once

#include "afxcmn.h"
#include "edit_classes.h"
#include "icon_combo.h"
#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

// The copies a job may ask for: the edit holds three digits, and a model
// table's maximum is kept within them (a 0 there would give no range).
inline constexpr LONG kMinCopies = 1;
inline constexpr LONG kMaxCopies = 999;
// The model's maximum clamped to 1..999 (999 without the table).
LONG ClampCopiesMaximum(LONG fromModel, BOOL hasTable);

// When the image's output bin is one the installed options say is not
// fitted, or one the rules refuse, it moves to the first bin the chain
// allows: a job never names a bin the printer does not have. TRUE when the
// image changed.
BOOL MoveOffAbsentOutputBin(SheetContext* context, DEVMODE_IMAGEW* image);

class COutput : public CProfilePropPage {
  public:
    enum : int {
        kCopiesEdit = IDC_OUTPUT_COPIES_EDIT,
        kCopiesSpin = IDC_OUTPUT_COPIES_SPIN,
        kCopiesRange = IDC_OUTPUT_COPIES_RANGE,
        kCollate = IDC_OUTPUT_COLLATE,
        kSortLabel = IDC_OUTPUT_SORT_LABEL,
        kSortList = IDC_OUTPUT_SORT_LIST,
        kTrayLabel = IDC_OUTPUT_TRAY_LABEL,
        kTrayList = IDC_OUTPUT_TRAY_LIST,
        kStapleLabel = IDC_OUTPUT_STAPLE_LABEL,
        kStapleList = IDC_OUTPUT_STAPLE_LIST,
        kPunchLabel = IDC_OUTPUT_PUNCH_LABEL,
        kPunchList = IDC_OUTPUT_PUNCH_LIST,
        kMirror = IDC_OUTPUT_MIRROR,
        kReverse = IDC_OUTPUT_REVERSE,
        kOptionsButton = IDC_OUTPUT_OPTIONS_BUTTON,
    };
    explicit COutput(SheetContext* context);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    BOOL OnApply() override;
    BOOL OnHelpRequest(HELPINFO* info) override;
    void Refresh();
    LONG CopiesMaximum() const { return maxCopies_; }

  protected:
    void OnCopiesChange();
    void OnCopiesKillFocus();
    void OnCollate();
    void OnSort();
    void OnTray();
    void OnStaple();
    void OnPunch();
    void OnMirror();
    void OnReverse();
    void OnOutputOptions();
    DECLARE_MESSAGE_MAP()

  private:
    // Every change: notify, settle the image, show it again.
    void Changed(BOOL runRules);
    void RefreshCopies();
    void RefreshSort();
    void CheckButton(int id, BOOL checked);
    BOOL Refused(WORD item, DWORD value) const;

    CIntEdit copies_;
    CPMIconCombo sort_, tray_, staple_, punch_;
    LONG maxCopies_ = kMaxCopies;
    BOOL sortOffered_ = FALSE, trayOffered_ = FALSE, stapleOffered_ = FALSE, punchOffered_ = FALSE,
         collateSupported_ = FALSE, mirrorOffered_ = FALSE, reverseOffered_ = FALSE;
    WORD initialised_ = 0;
    BOOL refreshing_ = FALSE;
};

} // namespace sheetwright
