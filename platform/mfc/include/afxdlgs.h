// Dialogs and property pages on the framework's window objects.
#pragma once

#include "afxwin.h"
#include <vector>

#include "win/commctrl.h"

// A dialog from a template of the current resource module (or one in
// memory). The object takes over the dialog's window at WM_INITDIALOG; the
// messages before it go to the dialog's default handling only.
class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
  public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCWSTR templateName, CWnd* parent = nullptr);
    BOOL InitModalIndirect(LPCDLGTEMPLATEW dialogTemplate, CWnd* parent = nullptr);

    // The button that ended the dialog (IDOK, IDCANCEL, ...), -1 when it
    // could not be made.
    virtual INT_PTR DoModal();
    // Modeless: the dialog stays until DestroyWindow.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL CreateIndirect(LPCDLGTEMPLATEW dialogTemplate, CWnd* parent = nullptr);
    void EndDialog(int result);

    // Loads the controls from the members.
    virtual BOOL OnInitDialog();
    // Saves the controls into the members (a failed check keeps the dialog
    // open), then ends it with IDOK.
    virtual void OnOK();
    virtual void OnCancel();

  protected:
    LPCWSTR m_lpszTemplateName = nullptr;
    LPCDLGTEMPLATEW m_lpDialogTemplate = nullptr;
    CWnd* m_pParentWnd = nullptr;
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()
};
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// A page of a property sheet. m_psp is its page record, ready for
// CreatePropertySheetPageW. At PSPCB_CREATE the page hooks its window's
// creation so that the object owns the window from its first message; at
// PSPCB_RELEASE the page object is deleted, so a page given to a sheet is
// made with new and belongs to the sheet from then on.
class CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)
  public:
    explicit CPropertyPage(UINT templateId, UINT captionId = 0);
    PROPSHEETPAGEW m_psp{};

    // PSN_SETACTIVE: FALSE keeps the sheet from showing the page.
    virtual BOOL OnSetActive() { return TRUE; }
    // PSN_KILLACTIVE: saves the controls; FALSE keeps the page shown.
    virtual BOOL OnKillActive() { return UpdateData(TRUE); }
    // PSN_APPLY: OnOK, and the page is no longer modified; FALSE keeps the page shown.
    virtual BOOL OnApply();
    virtual void OnReset() { OnCancel(); }
    virtual BOOL OnQueryCancel() { return TRUE; }
    void OnOK() override {}
    void OnCancel() override {}
    // Tells the sheet that the page has (or no longer has) changes to apply.
    void SetModified(BOOL changed = TRUE);
    BOOL IsModified() const { return m_bModified; }

  protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  private:
    BOOL m_bModified = FALSE;
    CString caption_;
};

// A property sheet the program shows itself. Pages are made with new and
// given to the sheet: from DoModal on the platform owns them (each is
// deleted at its release); a page the sheet never handed over is deleted
// with the sheet. The object owns the sheet's window while it is shown.
class CPropertySheet : public CWnd {
    DECLARE_DYNAMIC(CPropertySheet)
  public:
    explicit CPropertySheet(UINT captionId, CWnd* parent = nullptr, UINT selectPage = 0);
    explicit CPropertySheet(LPCWSTR caption, CWnd* parent = nullptr, UINT selectPage = 0);
    ~CPropertySheet() override;

    PROPSHEETHEADERW m_psh{};

    void AddPage(CPropertyPage* page);
    // Takes a page out before the sheet is shown (the page is the caller's again).
    void RemovePage(CPropertyPage* page);
    int GetPageCount() const;
    CPropertyPage* GetPage(int index) const;
    // While shown: the page on top and its index.
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const;
    BOOL SetActivePage(int index);
    void SetTitle(LPCWSTR title);
    BOOL PressButton(int button);

    // 1 after OK, 0 after Cancel, -1 when the sheet could
    // not be shown; every page has been released when it returns.
    virtual INT_PTR DoModal();

  protected:
    // The sheet's window exists, its pages not yet shown.
    virtual void OnSheetInitialized() {}

  private:
    void Init(LPCWSTR caption, CWnd* parent, UINT selectPage);
    friend int CALLBACK AfxPropSheetCallback(HWND, UINT, LPARAM);
    friend UINT CALLBACK AfxPropPageCallback(HWND, UINT, PROPSHEETPAGEW*);
    std::vector<CPropertyPage*> pages_;
    // Pages the platform took (their page records were made) during DoModal.
    std::vector<CPropertyPage*> handedOver_;
    CString caption_;
    CWnd* parent_ = nullptr;
};
int CALLBACK AfxPropSheetCallback(HWND hWnd, UINT message, LPARAM lParam);
UINT CALLBACK AfxPropPageCallback(HWND hWnd, UINT message, PROPSHEETPAGEW* psp);

// ---------------------------------------------------------------------------
// The common dialogs over the platform's (win/commdlg.h). Each record is
// public and may be adjusted before DoModal, which answers IDOK or IDCANCEL.
#include "win/commdlg.h"

// The colour dialog: m_cc.rgbResult starts at the given colour and holds the
// choice after OK.
class CColorDialog : public CDialog {
    DECLARE_DYNAMIC(CColorDialog)
  public:
    explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0, CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    COLORREF GetColor() const { return m_cc.rgbResult; }
    CHOOSECOLORW m_cc{};

  private:
    COLORREF custom_[16] = {};
};

// The file dialog to open (TRUE) or save a file. The filter is written as
// "description|patterns|...|" and may end in "||".
class CFileDialog : public CDialog {
    DECLARE_DYNAMIC(CFileDialog)
  public:
    explicit CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr,
                         LPCWSTR fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         LPCWSTR filter = nullptr, CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    // The chosen file: its full path, its name with and without extension,
    // its extension.
    CString GetPathName() const { return CString(file_); }
    CString GetFileName() const;
    CString GetFileTitle() const;
    CString GetFileExt() const;
    OPENFILENAMEW m_ofn{};

  private:
    BOOL open_;
    WCHAR file_[MAX_PATH] = {};
    CString filter_;
    CString defaultExtension_;
};

// The font dialog: starts at the given font (CF_INITTOLOGFONTSTRUCT), and
// after OK holds the choice.
class CFontDialog : public CDialog {
    DECLARE_DYNAMIC(CFontDialog)
  public:
    explicit CFontDialog(const LOGFONTW* initial = nullptr,
                         DWORD flags = CF_EFFECTS | CF_SCREENFONTS, HDC printer = nullptr,
                         CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    void GetCurrentFont(LPLOGFONTW font) const { *font = m_lf; }
    CString GetFaceName() const { return CString(m_lf.lfFaceName); }
    int GetSize() const { return m_cf.iPointSize; } // tenths of a point
    COLORREF GetColor() const { return m_cf.rgbColors; }
    int GetWeight() const { return m_lf.lfWeight; }
    BOOL IsBold() const { return m_lf.lfWeight >= FW_SEMIBOLD; }
    BOOL IsItalic() const { return m_lf.lfItalic != 0; }
    CHOOSEFONTW m_cf{};
    LOGFONTW m_lf{};
};
