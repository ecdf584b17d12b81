// CQuality: the "Quality" page of the document sheet. Colour mode, colour
// management, resolution or print quality, graphics mode, halftone,
// contrast, density and the switches toner save, all text black, image
// reduction and fine patterns go into the sheet's working image and are
// settled by the constraint engine. "Detail..." hands the colour settings to
// the outside colour-adjustment library; "Font..." opens CFontDlg.
#pragma once

#include "afxcmn.h"
#include "icon_combo.h"
#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

// The colour-mode change: the image's colour management and ICM method
// after moving from `previous` to `mode` (1 grayscale, 2 colour, 3 photo).
void ApplyColorModeChange(DEVMODE_IMAGEW* image, WORD previous, WORD mode);

// The resolution words of the model's quality table entry for the image's
// ResolutionCode (2 when it is outside 1..4); FALSE, and nothing changed,
// when no entry has the code. Entries past the answer's length are never read.
BOOL LookUpResolution(const ModelBlock* binding, DEVMODE_IMAGEW* image);

class CQuality : public CProfilePropPage {
  public:
    enum : int {
        kColorModeLabel = IDC_QUALITY_COLOR_MODE_LABEL,
        kColorModeList = IDC_QUALITY_COLOR_MODE_LIST,
        kColorMatchLabel = 213,
        kColorMatchList = 214,
        kDetailButton = IDC_QUALITY_DETAIL_BUTTON,
        kResolutionLabel = IDC_QUALITY_RESOLUTION_LABEL,
        kResolutionList = IDC_QUALITY_RESOLUTION_LIST,
        kTonerSave = 218,
        kTextAsBlack = 219,
        kImageReduction = 220,
        kFontButton = IDC_QUALITY_FONT_BUTTON,
        kGraphicsLabel = 222,
        kGraphicsList = 223,
        kHalftoneLabel = IDC_QUALITY_HALFTONE_LABEL,
        kHalftoneList = IDC_QUALITY_HALFTONE_LIST,
        kDensityGroup = IDC_QUALITY_DENSITY_GROUP,
        kDensitySlider = IDC_QUALITY_DENSITY_SLIDER,
        kDensityLighter = 228,
        kDensityDarker = 229,
        kContrastGroup = IDC_QUALITY_CONTRAST_GROUP,
        kContrastSlider = IDC_QUALITY_CONTRAST_SLIDER,
        kContrastLighter = 232,
        kContrastDarker = 233,
        kSeparator = IDC_QUALITY_SEPARATOR,
        kQualityLabel = IDC_QUALITY_QUALITY_LABEL,
        kQualityList = IDC_QUALITY_QUALITY_LIST,
        kFinePatterns = 237,
    };
    explicit CQuality(SheetContext* context);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    void Refresh();

  protected:
    void OnColorMode();
    void OnColorMatch();
    void OnResolution();
    void OnQuality();
    void OnGraphics();
    void OnHalftone();
    void OnTonerSave();
    void OnTextAsBlack();
    void OnImageReduction();
    void OnFinePatterns();
    void OnDetail();
    void OnFont();
    LRESULT OnHScroll(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    void Changed(BOOL runRules);
    void ResolutionChosen(CPMIconCombo& list);
    void Layout();
    void InitSliders();
    BOOL Refused(WORD item, DWORD value) const;
    void Check(int id, BOOL on);
    BOOL Checked(int id) const;

    CPMIconCombo colorMode_, resolution_, quality_, graphics_, halftone_;
    WORD previousMode_ = 0;
    BOOL graphicsOffered_ = FALSE, halftoneOffered_ = FALSE, resolutionOffered_ = FALSE,
         qualityOffered_ = FALSE, colorModeOffered_ = FALSE, colorMatchOffered_ = FALSE,
         contrastOffered_ = FALSE, densityOffered_ = FALSE, tonerOffered_ = FALSE,
         textBlackOffered_ = FALSE, reductionOffered_ = FALSE, fineOffered_ = FALSE,
         fontOffered_ = FALSE, separatorOffered_ = FALSE;
};

} // namespace sheetwright
