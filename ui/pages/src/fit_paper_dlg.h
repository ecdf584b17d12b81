// CFitOutputPaperDlg: the "Fit to Output Paper Size" dialog (template 700):
// the page scaled to another paper, keeping its aspect ratio or not.
#pragma once

#include "layout_dialog.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kFitPaperDialog = 700;

class CFitOutputPaperDlg : public CLayoutDlg {
  public:
    static constexpr int kAspectCheck = IDC_FIT_ASPECT_CHECK;
    static constexpr int kPicture = IDC_FIT_PICTURE;
    static constexpr DWORD kStretchedPicture = 2620;
    static constexpr DWORD kKeptPicture = 2621;

    explicit CFitOutputPaperDlg(SheetContext* context, CWnd* parent = nullptr)
        : CLayoutDlg(kFitPaperDialog, context, 8, parent) {}
    ~CFitOutputPaperDlg() override;

    // FitMode: bit 0 set stretches each axis on its own; only that bit is
    // read, and the dialog writes 0 (keep the aspect ratio) or 1.
    static bool Stretches(WORD fitMode) { return (fitMode & 1) != 0; }
    // The picture on show (one of the two bitmaps).
    HBITMAP ShownPicture() const;

  protected:
    void PrepareCopy() override;
    void InitControls() override;
    void Refresh() override;
    BOOL WithSameAsPaper() const override { return FALSE; }

    void OnAspect();
    DECLARE_MESSAGE_MAP()

  private:
    HBITMAP stretched_ = nullptr;
    HBITMAP kept_ = nullptr;
};

} // namespace sheetwright
