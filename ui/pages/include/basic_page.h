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

namespace sheetwright {

class CPaperSet : public CProfilePropPage {
  public:
    static constexpr int kPaperSize = 112;
    static constexpr int kCustomPaper = 113;
    static constexpr int kOrientation = 115;
    static constexpr int kOutputPaper = 118;
    static constexpr int kMediaLabel = 119;
    static constexpr int kMediaType = 120;
    static constexpr int kPaperSource = 122;
    static constexpr int kCoverPage = 123;
    static constexpr int kDuplexLabel = 124;
    static constexpr int kDuplex = 125;
    static constexpr int kMarginLabel = 126;
    static constexpr int kMarginEdit = 127;
    static constexpr int kMarginSpin = 128;
    static constexpr int kMarginRange = 129;
    static constexpr int kDuplexOptions = 130;
    static constexpr int kLayoutName = 132;
    static constexpr int kIdcLayoutNone = 133;
    static constexpr int kIdcPagesPerSheet = 134;
    static constexpr int kIdcBooklet = 135;
    static constexpr int kIdcFitToPaper = 136;
    static constexpr int kIdcZoom = 137;
    static constexpr int kIdcPoster = 138;
    static constexpr int kRestoreDefaults = 142;
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
