// COverlay: the "Overlay" dialog (template 400). The next job is either
// stored as an overlay file under a name (make mode) or printed with a
// stored overlay (print mode) on chosen pages, behind or over the page. It
// lists the overlay files of the user's working folder (read by the one
// overlay reader the spool side uses), previews the chosen one and deletes
// one. It edits its own copies of five device-mode fields; the Effects page
// writes them back after OK.
#pragma once

#include <string>

#include "afxctl.h"
#include "edit_classes.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kOverlayDialog = 400;
inline constexpr DWORD kOverlayMake = 0x1, kOverlayPrint = 0x2;

// The five overlay fields of a device mode.
struct OverlayChoice {
    DWORD flags = 0;
    WORD pages = 0;
    WORD onTop = 0;
    CHAR makeName[64] = {};
    CHAR useName[64] = {};
};

// The choice of an image: names terminated within their fields, both mode
// bits read as print mode.
OverlayChoice OverlayChoiceOf(const DEVMODE_IMAGEW& image);
void PutOverlayChoice(const OverlayChoice& choice, DEVMODE_IMAGEW* image);

// An overlay file's name in the listing: the file name less ".POL" (the
// ending exactly, in any case), when it fits the 63 bytes of a device-mode
// name in the ANSI code page and comes back unchanged from it; empty when
// the file is no overlay by its name.
std::u16string OverlayListName(const std::u16string& fileName);

class COverlay : public CLocalDlg {
  public:
    static constexpr int kPrintRadio = IDC_OVERLAY_PRINT_RADIO, kMakeRadio = IDC_OVERLAY_MAKE_RADIO,
                         kList = IDC_OVERLAY_LIST, kDelete = IDC_OVERLAY_DELETE;
    static constexpr int kNameLabel = IDC_OVERLAY_NAME_LABEL, kName = IDC_OVERLAY_NAME,
                         kGroup = IDC_OVERLAY_GROUP, kPagesLabel = IDC_OVERLAY_PAGES_LABEL;
    static constexpr int kPages = IDC_OVERLAY_PAGES, kLayerLabel = IDC_OVERLAY_LAYER_LABEL,
                         kLayer = IDC_OVERLAY_LAYER, kPreview = IDC_LAYOUT_PREVIEW;
    static constexpr UINT kMsgReportUnreadable = WM_APP + 0x40;

    COverlay(SheetContext* context, const OverlayChoice& choice, CWnd* parent = nullptr);

    const OverlayChoice& Choice() const { return choice_; }
    // How often the preview fell back to the missing-picture bitmap.
    DWORD PlaceholderDraws() const { return placeholders_; }

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    void OnPrintRadio();
    void OnMakeRadio();
    void OnListChange();
    void OnNameChange();
    void OnNameKillFocus();
    void OnPagesChange();
    void OnLayerChange();
    void OnDelete();
    void OnHelpButton();
    void OnDrawItem(int id, LPDRAWITEMSTRUCT item);
    LRESULT OnReportUnreadable(WPARAM wParam, LPARAM lParam);
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::u16string String(DWORD id);
    std::u16string Folder() const;
    void FillList();
    void SyncList();
    void Refresh();
    void RepaintPreview();
    bool DrawOverlay(HDC dc, const RECT& square);

    SheetContext* context_;
    OverlayChoice choice_;
    bool keyDown_ = false;
    bool reportUnreadable_ = true;
    DWORD placeholders_ = 0;
    CMultiByteLimitEdit nameEdit_;
};

} // namespace sheetwright
