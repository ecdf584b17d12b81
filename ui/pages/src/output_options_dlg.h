// CAdvancedDlg: the "Output Options" dialog of the Output page. It edits,
// on its own copy of the sheet's working image, who collates the copies,
// whether blank pages print, metafile spooling and the printer check before
// printing. OK copies the image back (on a read-only sheet OK is Cancel);
// Cancel drops it.
#pragma once

#include "afxctl.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

class CAdvancedDlg : public CLocalDlg {
  public:
    enum : int {
        kCopyControlLabel = IDC_OUTPUT_OPTIONS_COPY_CONTROL_LABEL,
        kCopyControlList = IDC_OUTPUT_OPTIONS_COPY_CONTROL_LIST,
        kPriorPrint = IDC_OUTPUT_OPTIONS_PRIOR_PRINT,
        kBlankPages = IDC_OUTPUT_OPTIONS_BLANK_PAGES,
        kMetafileSpooling = IDC_OUTPUT_OPTIONS_METAFILE_SPOOLING,
    };
    static constexpr UINT kTemplateId = 500;

    CAdvancedDlg(SheetContext* context, CWnd* parent = nullptr);

    const DEVMODE_IMAGEW& Copy() const { return copy_; }
    BOOL OnInitDialog() override;
    void OnOK() override;

  protected:
    void Refresh();
    void OnCopyControl();
    void OnBlankPages();
    void OnMetafileSpooling();
    void OnPriorPrint();
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnSettingChange(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // The prior-print box follows the port's capability; without it the
    // setting is cleared, as a changed port does.
    void ApplyPriorPrintCapability();

    SheetContext* context_;
    DEVMODE_IMAGEW copy_{};
    BOOL readOnly_ = FALSE;
    BOOL blankOffered_ = FALSE;
    BOOL copyControlOffered_ = FALSE;
};

} // namespace sheetwright
