// CPaperSet: the "Basic" page (template 100), first page of the document
// sheet: paper size, orientation, output paper, media type, paper source,
// two-sided printing with its binding margin and the layout kind, with the
// buttons that open the custom paper, cover page, duplex options and layout
// dialogs. Every change is stored in the working image, told to the sheet,
// resolved by the constraint engine and shown again in every control.
#pragma once

#include <array>
#include <string>

#include "icon_combo.h"
#include "length_edit.h"
#include "prop_page.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CPaperSet : public CProfilePropPage {
  public:
    static constexpr int kPaperSize = IDC_BASIC_PAPER_SIZE;
    static constexpr int kCustomPaper = IDC_BASIC_CUSTOM_PAPER;
    static constexpr int kOrientation = IDC_BASIC_ORIENTATION;
    static constexpr int kOutputPaper = IDC_BASIC_OUTPUT_PAPER;
    static constexpr int kMediaLabel = IDC_BASIC_MEDIA_LABEL;
    static constexpr int kMediaType = IDC_BASIC_MEDIA_TYPE;
    static constexpr int kPaperSource = IDC_BASIC_PAPER_SOURCE;
    static constexpr int kCoverPage = IDC_BASIC_COVER_PAGE;
    static constexpr int kDuplexLabel = IDC_BASIC_DUPLEX_LABEL;
    static constexpr int kDuplex = IDC_BASIC_DUPLEX;
    static constexpr int kMarginLabel = IDC_BASIC_MARGIN_LABEL;
    static constexpr int kMarginEdit = IDC_BASIC_DUPLEX_MARGIN_EDIT;
    static constexpr int kMarginSpin = IDC_BASIC_DUPLEX_MARGIN_SPIN;
    static constexpr int kMarginRange = IDC_BASIC_MARGIN_RANGE;
    static constexpr int kDuplexOptions = IDC_BASIC_DUPLEX_OPTIONS;
    static constexpr int kLayoutName = IDC_BASIC_LAYOUT_NAME;
    static constexpr int kIdcLayoutNone = IDC_BASIC_LAYOUT_NONE;
    static constexpr int kIdcPagesPerSheet = IDC_BASIC_PAGES_PER_SHEET;
    static constexpr int kIdcBooklet = IDC_BASIC_BOOKLET;
    static constexpr int kIdcFitToPaper = IDC_BASIC_FIT_TO_PAPER;
    static constexpr int kIdcZoom = IDC_BASIC_ZOOM;
    static constexpr int kIdcPoster = IDC_BASIC_POSTER;
    static constexpr int kRestoreDefaults = IDC_BASIC_RESTORE_DEFAULTS;
    // A duplex row that carries the default binding margin.
    static constexpr LONG kMarginRowFlag = 0x10000;

    explicit CPaperSet(SheetContext* context);
    ~CPaperSet() override;

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    // Every way out of the page takes what was typed in the margin edit,
    // clamped, before the image is copied out.
    BOOL OnKillActive() override;
    BOOL OnApply() override;
    void OnOK() override;

    // The binding margin the page's duplex rows with margin set, in dots at
    // the image's length resolution.
    WORD DefaultMarginDots() const { return defaultMarginDots_; }
    const CLengthEdit& Margin() const { return margin_; }

  protected:
    void OnSelchangePaperSource();
    void OnSelchangeOutputPaper();
    void OnSelchangePaperSize();
    void OnSelchangeMediaType();
    void OnSelchangeDuplex();
    void OnSelchangeOrientation();
    void OnCustomPaper();
    void OnCoverPage();
    void OnLayoutNone();
    void OnLayoutPagesPerSheet();
    void OnLayoutBooklet();
    void OnLayoutZoom();
    void OnLayoutFit();
    void OnLayoutPoster();
    void OnDuplexOptions();
    void OnRestoreDefaults();
    void OnKillfocusDuplexMargin();
    void OnChangeDuplexMargin();
    LRESULT OnSpinMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnColorMessage(WPARAM wParam, LPARAM lParam);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // Notify, resolve, show: the order of every change on the page.
    void ChangeSequence(int sourceControl, BOOL force);
    void RefreshControls(int sourceControl, BOOL forceMargin);
    void FillPaperSizeList();
    void FillOrientationList();
    void FillDuplexRows();
    void RefreshLayoutButtons();
    void SelectPaper(WORD paper);
    // The paper's size into the image: a user paper's with both size bits,
    // a model paper's without; FALSE when the user paper is gone.
    BOOL TakePaperSize(WORD paper);
    // The paper was changed: the output paper and the zoom follow it.
    void AfterPaperChange();
    void ClampZoom();
    // The typed margin, clamped, into the image; TRUE when it was clamped.
    BOOL CommitMargin();
    void StoreMargin();
    bool Refused(WORD item, DWORD value) const;
    void OnLayoutButton(int controlId, WORD kind);
    void FocusLayoutButton();
    std::u16string String(DWORD id);

    BOOL useMillimetres_ = FALSE;
    BOOL marginByRow_ = FALSE;
    BOOL duplexAvailable_ = FALSE;
    BOOL reverseOffered_ = FALSE;
    BOOL fitOffered_ = FALSE, zoomOffered_ = FALSE, pagesPerSheetOffered_ = FALSE;
    BOOL posterOffered_ = FALSE, bookletOffered_ = FALSE;
    BOOL noticeGroup_ = FALSE, typeGroup_ = FALSE;
    BOOL coverPageAvailable_ = FALSE, customPaperAvailable_ = FALSE, mediaTypeShown_ = FALSE;
    WORD defaultMarginDots_ = 0;
    CLengthEdit margin_;
    CPMIconCombo duplex_;
    CPaperArraw arrow_;
    std::array<HICON, 6> icons_{};
    std::array<std::u16string, 6> tips_;
    bool initialising_ = false;
    bool showingMargin_ = false;
    HBRUSH faceBrush_ = nullptr;
};

} // namespace sheetwright
