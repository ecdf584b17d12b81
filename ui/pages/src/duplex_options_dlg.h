// CDupOpt: the "Duplex Options" dialog (template 1100): the duplex type
// (automatic or manual, as the model offers them) and the duplex notice. It
// leaves the device mode alone: the Basic page takes its two results on OK.
#pragma once

#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kDuplexOptionsDialog = 1100;

class CDupOpt : public CLocalDlg {
  public:
    static constexpr int kTypeLabel = IDC_DUPLEX_OPTIONS_TYPE_LABEL;
    static constexpr int kTypeList = IDC_DUPLEX_OPTIONS_TYPE_LIST;
    static constexpr int kNoticeCheck = IDC_DUPLEX_OPTIONS_NOTICE_CHECK;

    CDupOpt(SheetContext* context, CWnd* parent = nullptr);

    // The dialog's two results, as the device mode's DuplexType and
    // DuplexNotice will take them.
    WORD DuplexTypeValue() const { return duplexTypeValue_; }
    WORD DuplexNoticeValue() const { return duplexNoticeValue_; }
    // Whether the dialog shows its type list, its notice check box.
    static BOOL TypeShown(const SheetContext* context);
    static BOOL NoticeShown(const SheetContext* context);

    BOOL OnInitDialog() override;

  protected:
    void OnType();
    void OnNotice();
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    SheetContext* context_;
    WORD duplexTypeValue_ = 0;
    WORD duplexNoticeValue_ = 0;
};

} // namespace sheetwright
