// CPropPage and CProfilePropPage: the bases of every page of the document
// and device sheets. A page is a localised framework page over its template
// in the sheet's resource module; it shares the sheet's SheetContext, answers
// the sheet's notifications, writes the working image back on OK, locks its
// controls on a read-only sheet and serves context help. The sheet's pages
// are made, in order, by BuildSheetPages (sheet_pages.h).
#pragma once

#include "local_dlg.h"
#include "preview_pane.h"
#include "sheet_context.h"
#include "win/commctrl.h"

namespace sheetwright {

// Page template ids (also their help topics' keys).
enum PageTemplateId : UINT {
    kPageBasic = 100,
    kPageOutput = 150,
    kPageQuality = 200,
    kPageJobType = 250,
    kPageDevice = 300,
    kPageProfile = 550,
    kPageSupport = 900,
    kPageEffects = 950,
    kPageFormTray = 1200,
};

// Sent to every control of a page when the page is shown.
inline constexpr UINT kMsgPageActivating = 0x8063;
// The size of the record the support dialog of Hopwindow takes.
inline constexpr DWORD kUrlJumpParamSize = 280;

class CPropPage : public CLocalPropertyPage {
    DECLARE_DYNAMIC(CPropPage)
  public:
    CPropPage(UINT templateId, SheetContext* context);
    ~CPropPage() override;

    SheetContext* Context() const { return context_; }
    UINT TemplateId() const { return templateId_; }
    // The page's tooltip control (AddToolTip registers the page's controls with it).
    HWND Tooltip() const { return tooltip_; }
    // What the sheet callback answered when the page was added.
    HANDLE m_hPageHandle = nullptr;

    virtual BOOL OnHelpRequest(HELPINFO* info);
    virtual BOOL OnContextHelpRequest(HWND window, POINT point);
    BOOL OnApply() override;
    void OnReset() override { OnCancel(); }
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    BOOL OnQueryCancel() override { return TRUE; }
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override {}
    BOOL PreTranslateMessage(MSG* msg) override;

    // A page's own change: the sheet learns whether anything is left to apply.
    void NotifySettingsChanged(BOOL changed, BOOL resetMarker);
    // On a read-only sheet every control but the always-usable ones is disabled.
    void LockControlsIfReadOnly();
    // Re-reads the printer's port into the context.
    void RefreshPortInfo();
    // Hopwindow's support dialog over the model's support file; 0 when it was not shown.
    DWORD ShowUrlJumpDialog(DWORD mode);

    BOOL m_bSuppressChanges = FALSE;

  protected:
    // The job settings the user changed (or every one, where the model keeps
    // them per user) go to the user's store.
    void SaveChangedJobInfo();
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    LRESULT OnSettingChange(WPARAM wParam, LPARAM lParam);
    LRESULT OnPageDestroy(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    SheetContext* context_;
    UINT templateId_;
    BOOL firstActivation_ = TRUE;
    HWND tooltip_ = nullptr;
    LPFNPSPCALLBACKW frameworkCallback_ = nullptr;
    friend UINT CALLBACK PropPageCallback(HWND, UINT, PROPSHEETPAGEW*);
};

// The pages with the preview pane and the status-monitor button.
class CProfilePropPage : public CPropPage {
  public:
    static constexpr int kPreviewId = 140;
    static constexpr int kStatusMonitorId = 141;
    CProfilePropPage(UINT templateId, SheetContext* context) : CPropPage(templateId, context) {}
    BOOL OnContextHelpRequest(HWND window, POINT point) override;
    virtual void OnSettingsChanged(BOOL changed) { NotifySettingsChanged(changed, 1); }
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override { return UpdateStatusMonitorButton(); }
    // The button is usable where the port can reach the status monitor; the
    // preview shows the settings again; then the page is activated.
    BOOL UpdateStatusMonitorButton();
    CLeftBase& Preview() { return preview_; }

  protected:
    void OnStatusMonitor();
    DECLARE_MESSAGE_MAP()

  private:
    CLeftBase preview_;
};

// Whether the printer's port can do the prior-print check the model asks
// for (model table 71's capabilities, with the model's default flags).
BOOL HasPriorPrintCapability(const SheetContext* context);
// Reads the printer's port again; when it moved, the port record is built
// for the new port and, without the prior-print capability there, the
// setting is cleared in the working and default images. TRUE when it moved.
BOOL RefreshSheetPort(SheetContext* context);

// The callback of every page record: window creation hooked at
// PSPCB_CREATE, the page object deleted at PSPCB_RELEASE.
UINT CALLBACK PropPageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp);

// Creates the page's sheet page and adds it through the sheet callback: the
// handle the callback answered, 0 when nothing was added. A page that was
// not added is deleted here.
HANDLE AddPropPage(CPropPage* page, PFNCOMPROPSHEET callback, HANDLE sheet);

} // namespace sheetwright
