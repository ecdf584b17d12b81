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
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kCoverPageDialog = 1150;

class CCoverPageDlg : public CLocalDlg {
  public:
    static constexpr int kFrontCheck = IDC_COVER_PAGE_FRONT_CHECK;
    static constexpr int kFrontIcon = IDC_COVER_PAGE_FRONT_ICON;
    static constexpr int kFrontTypeLabel = IDC_COVER_PAGE_FRONT_TYPE_LABEL,
                         kFrontType = IDC_COVER_PAGE_FRONT_TYPE;
    static constexpr int kFrontMediaLabel = IDC_COVER_PAGE_FRONT_MEDIA_LABEL,
                         kFrontMedia = IDC_COVER_PAGE_FRONT_MEDIA;
    static constexpr int kFrontSourceLabel = IDC_COVER_PAGE_FRONT_SOURCE_LABEL,
                         kFrontSource = IDC_COVER_PAGE_FRONT_SOURCE;
    static constexpr int kOtherMediaLabel = IDC_COVER_PAGE_OTHER_MEDIA_LABEL,
                         kOtherMedia = IDC_COVER_PAGE_OTHER_MEDIA;
    static constexpr int kOtherSourceLabel = IDC_COVER_PAGE_OTHER_SOURCE_LABEL,
                         kOtherSource = IDC_COVER_PAGE_OTHER_SOURCE;
    static constexpr int kBackCheck = IDC_COVER_PAGE_BACK_CHECK;
    static constexpr int kBackTypeLabel = IDC_COVER_PAGE_BACK_TYPE_LABEL,
                         kBackType = IDC_COVER_PAGE_BACK_TYPE;
    static constexpr int kBackMediaLabel = IDC_COVER_PAGE_BACK_MEDIA_LABEL,
                         kBackMedia = IDC_COVER_PAGE_BACK_MEDIA;
    static constexpr int kBackSourceLabel = IDC_COVER_PAGE_BACK_SOURCE_LABEL,
                         kBackSource = IDC_COVER_PAGE_BACK_SOURCE;
    static constexpr int kBackIcon = IDC_COVER_PAGE_BACK_ICON;

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
