// CCoverPageDlg: the "Cover Page" dialog (template 1150): front and back
// covers (on or off, cover type, media type, paper source) and the media
// type and paper source of the other pages. It works on its own copy of the
// working image with its own change tracker; the Basic page takes the copy
// back only on OK.
#pragma once

#include <memory>

#include "local_dlg.h"
#include "sheet_context.h"
#include "track_dm.h"

namespace sheetwright {

inline constexpr UINT kCoverPageDialog = 1150;

class CCoverPageDlg : public CLocalDlg {
  public:
    static constexpr int kFrontCheck = 1162;
    static constexpr int kFrontIcon = 1163;
    static constexpr int kFrontTypeLabel = 1164, kFrontType = 1165;
    static constexpr int kFrontMediaLabel = 1166, kFrontMedia = 1167;
    static constexpr int kFrontSourceLabel = 1168, kFrontSource = 1169;
    static constexpr int kOtherMediaLabel = 1171, kOtherMedia = 1172;
    static constexpr int kOtherSourceLabel = 1173, kOtherSource = 1174;
    static constexpr int kBackCheck = 1176;
    static constexpr int kBackTypeLabel = 1177, kBackType = 1178;
    static constexpr int kBackMediaLabel = 1179, kBackMedia = 1180;
    static constexpr int kBackSourceLabel = 1181, kBackSource = 1182;
    static constexpr int kBackIcon = 1183;

    CCoverPageDlg(SheetContext* context, CWnd* parent = nullptr);
    ~CCoverPageDlg() override;

    DEVMODE_IMAGEW& Copy() { return copy_; }
    // The controls, items and fields of one cover.
    struct Side;
    BOOL OnInitDialog() override;

  protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void Refresh();
    void RefreshSide(const Side& side);
    // Stores a control's choice into the copy; FALSE when it stored nothing.
    BOOL Store(int controlId);
    const KinsokuChainNode* Chain(WORD item) const;

    SheetContext* context_;
    DEVMODE_IMAGEW copy_{};
    std::unique_ptr<CTrackDM> tracker_;
    BOOL frontOffered_ = FALSE, backOffered_ = FALSE, mediaShown_ = FALSE;
    BOOL frontMediaShown_ = FALSE, backMediaShown_ = FALSE;
    HICON icons_[2] = {};
};

} // namespace sheetwright
