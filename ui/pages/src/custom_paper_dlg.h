// The custom paper dialogs: the list of the user's own paper sizes
// (CCustomPaperlist, template 1050) with New, Edit and Delete, and the edit
// of one paper (CCustomPaperEdit, template 1000): name, width, length, unit
// and the long-paper choice. The list is the sheet's CUserPaper; it is
// written back to its file after every change, and a deleted paper leaves
// the printer's form-to-tray table too.
#pragma once

#include <array>
#include <string>

#include "edit_classes.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

inline constexpr UINT kCustomPaperListDialog = 1050;
inline constexpr UINT kCustomPaperEditDialog = 1000;

// Width and length limits of a custom paper: millimetres, then inches.
struct PaperLimits {
    double widthMin, widthMax, lengthMin, lengthMax;         // mm
    double widthMinIn, widthMaxIn, lengthMinIn, lengthMaxIn; // inches
};
// The model's regular (table 21) or long-paper (table 75) limits; FALSE and
// zeros when the model does not say.
BOOL ReadPaperLimits(const ModelBlock* binding, BOOL longPaper, PaperLimits* out);

class CCustomPaperEdit : public CLocalDlg {
  public:
    static constexpr int kName = IDC_CUSTOM_PAPER_EDIT_NAME;
    static constexpr int kWidth = IDC_CUSTOM_PAPER_EDIT_WIDTH,
                         kWidthRange = IDC_CUSTOM_PAPER_EDIT_WIDTH_RANGE;
    static constexpr int kLength = IDC_CUSTOM_PAPER_EDIT_LENGTH,
                         kLengthRange = IDC_CUSTOM_PAPER_EDIT_LENGTH_RANGE;
    static constexpr int kLongPaper = IDC_CUSTOM_PAPER_EDIT_LONG_PAPER;
    static constexpr int kInches = IDC_CUSTOM_PAPER_EDIT_INCHES,
                         kMillimetres = IDC_CUSTOM_PAPER_EDIT_MILLIMETRES;

    CCustomPaperEdit(SheetContext* context, const CUserPaper* papers, CWnd* parent = nullptr);

    // Filled before the run, read after OK.
    std::u16string name;
    BOOL useMillimetres = FALSE;
    double widthMM = 0, widthIn = 0, lengthMM = 0, lengthIn = 0;
    PaperLimits regular{}, longLimits{};
    BOOL hasLong = FALSE;

    BOOL OnInitDialog() override;
    void OnOK() override;

  protected:
    void OnUnit(UINT controlId);
    void OnLongPaper();
    void OnWidthChange();
    void OnLengthChange();
    void OnWidthKillFocus();
    void OnLengthKillFocus();
    LRESULT OnColorMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::u16string String(DWORD id);
    int Ask(DWORD textId, const std::u16string& argument, UINT buttons);
    void UpdateLongPaperText();
    void SelectLimits();
    void ClampValues();
    void ShowValues(BOOL take);
    // The edits' numbers become both units' values, clamped and shown.
    void TakeEdits();
    double EditNumber(int id);

    SheetContext* context_;
    const CUserPaper* papers_;
    CDoubleEdit widthEdit_, lengthEdit_;
    CMultiByteLimitEdit nameEdit_;
    std::u16string separator_;
    PaperLimits current_{};
    BOOL newName_ = FALSE;
    BOOL longPaper_ = FALSE;
    double shownWidth_ = 0, shownLength_ = 0;
    BOOL widthChanged_ = FALSE, lengthChanged_ = FALSE;
    BOOL writing_ = FALSE;
    HBRUSH faceBrush_ = nullptr;

  public:
    ~CCustomPaperEdit() override;
};

class CCustomPaperlist : public CLocalDlg {
  public:
    static constexpr int kList = IDC_CUSTOM_PAPER_LIST_LIST;
    static constexpr int kNew = IDC_CUSTOM_PAPER_LIST_NEW, kEdit = IDC_CUSTOM_PAPER_LIST_EDIT,
                         kDelete = IDC_CUSTOM_PAPER_LIST_DELETE;

    CCustomPaperlist(SheetContext* context, WORD selectedPaper, CWnd* parent = nullptr);

    BOOL ListChanged() const { return listChanged_; }
    WORD SelectedPaperId() const { return selected_; }
    WORD MaxUserPapers() const { return maxPapers_; }

    BOOL OnInitDialog() override;

  protected:
    void OnNew() { EditPaper(TRUE); }
    void OnEdit() { EditPaper(FALSE); }
    void OnDelete();
    void OnSelchangeList();
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void EditPaper(BOOL isNew);
    void FillList();
    void SelectByName(const char* name);
    // The file written; a failure is told, and the list in memory is kept.
    void WritePapers();
    void EnableNew();
    void FocusOkIfDisabled(int controlId);
    std::u16string String(DWORD id);

    SheetContext* context_;
    BOOL listChanged_ = FALSE;
    WORD selected_ = 0;
    WORD maxPapers_ = 10;
    std::u16string separator_;
};

} // namespace sheetwright
