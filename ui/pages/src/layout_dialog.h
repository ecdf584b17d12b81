// CLayoutDlg: what the five layout dialogs (pages per sheet, booklet, fit to
// output paper, poster, zoom) share. Each works on its own copy of the
// sheet's 1320-byte working image, taken when the dialog object is made: its
// controls edit the copy, OK copies it back over the working image, Cancel
// leaves the working image as it was, byte for byte. Around that: the source
// paper text, the output paper list, the preview of the copy, Help and
// context help, icons and tooltips of the dialog's buttons.
#pragma once

#include <deque>
#include <string>

#include "local_dlg.h"
#include "win/commctrl.h"
#include "preview_pane.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

// Controls every layout dialog has.
inline constexpr int kOutputPaperCombo = 673;
inline constexpr int kSourcePaperEdit = IDC_LAYOUT_SOURCE_PAPER_EDIT;
inline constexpr int kLayoutPreview = IDC_LAYOUT_PREVIEW;

class CLayoutDlg : public CLocalDlg {
  public:
    CLayoutDlg(UINT templateId, SheetContext* context, WORD layoutKind, CWnd* parent = nullptr);
    ~CLayoutDlg() override;

    // The dialog's own image; the working image changes only on OK.
    DEVMODE_IMAGEW& Copy() { return copy_; }
    const DEVMODE_IMAGEW& Copy() const { return copy_; }
    SheetContext* Context() const { return context_; }
    CLeftBase& Preview() { return preview_; }
    UINT TemplateId() const { return templateId_; }
    HWND Tooltip() const { return tooltip_; }

    BOOL OnInitDialog() override;
    void OnOK() override;

  protected:
    // The start of the copy: the dialog's layout written, then the tracker
    // and the rules run on it. Dialogs with another start override it.
    virtual void PrepareCopy();
    // The dialog's own controls, once, after the shared ones.
    virtual void InitControls() {}
    // Shows the copy in every control; ends with the preview.
    virtual void Refresh() = 0;
    // After the output paper changed, before the refresh.
    virtual void OnOutputPaperChanged() {}
    // Whether the output paper list starts with "Same as Paper Size".
    virtual BOOL WithSameAsPaper() const { return TRUE; }
    // The text of a tooltip that is asked for when it shows (0: none).
    virtual std::u16string TooltipText(int /*controlId*/) { return {}; }

    void FillOutputPapers();
    void SelectOutputPaper();
    // An icon of the resource library on a button (BM_SETIMAGE).
    void SetButtonIcon(int controlId, DWORD iconId);
    // A tooltip from a string of the resource library, or asked at display
    // time (TooltipText) when the id is 0.
    void AddTip(int controlId, DWORD stringId);
    void SetControlText(int controlId, const std::u16string& text);
    std::u16string String(DWORD id);
    void CheckRadio(int controlId, BOOL checked);
    HWND Item(int controlId) const { return ::GetDlgItem(m_hWnd, controlId); }
    // The handlers' refresh, with the preview at its end.
    void RefreshAll();

    void OnOutputPaper();
    void OnHelpButton();
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroyMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    WORD layoutKind_;

  private:
    SheetContext* context_;
    UINT templateId_;
    DEVMODE_IMAGEW copy_{};
    CLeftBase preview_;
    HWND tooltip_ = nullptr;
    std::deque<std::u16string> tipTexts_;
    std::u16string asked_;
};

// The output paper chosen in the list: the copy's output paper id, its own
// size for a user paper (0.1 mm, with PrivateFlags bit 6), none for a model
// paper or "Same as Paper Size"; a user paper whose size look-up fails
// counts as "Same as Paper Size".
void SetOutputPaper(SheetContext* context, DEVMODE_IMAGEW* image, WORD paper);

} // namespace sheetwright
