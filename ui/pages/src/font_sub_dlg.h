// CFontSubDlg: the "Edit Substitution Table" dialog. For each TrueType font
// installed it shows which printer font prints in its place; OK writes the
// per-user font substitution file (the graphics library reads it when it
// renders a job), Cancel writes nothing.
#pragma once

#include <string>
#include <vector>

#include "font_substitution_file.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

using fontsub::FontSubRecord;

// The substitution file's path: the user's settings folder and the name the
// model's component table gives (entry 9), else "Fontroll.DAT".
std::u16string FontSubFilePath(const SheetContext* context);

// Every installed TrueType font, one record per font, sorted by name
// without regard to case.
std::vector<FontSubRecord> EnumTrueTypeFonts();

// The records the file keeps for a table: a font named like a device font
// is kept unless its substitution is that font itself (the default); any
// other font is kept when it has a substitution; fonts of the old file no
// longer installed are kept while they name a substitution.
std::vector<FontSubRecord> RecordsToWrite(const std::vector<FontSubRecord>& current,
                                          const std::vector<FontSubRecord>& fileTable,
                                          const std::vector<FontSubRecord>& deviceFonts);

class CFontSubDlg : public CLocalDlg {
  public:
    enum : int {
        kList = IDC_FONT_SUB_LIST,
        kSubstitutionList = IDC_FONT_SUB_SUBSTITUTION_LIST,
        kRestoreDefault = IDC_FONT_SUB_RESTORE_DEFAULT,
        kFontHeader = IDC_FONT_SUB_FONT_HEADER,
        kSubstitutionHeader = IDC_FONT_SUB_SUBSTITUTION_HEADER,
        kSubstitutionLabel = IDC_FONT_SUB_SUBSTITUTION_LABEL,
    };
    static constexpr UINT kTemplateId = 366;

    explicit CFontSubDlg(SheetContext* context, CWnd* parent = nullptr);

    BOOL OnInitDialog() override;
    void OnOK() override;
    const std::vector<FontSubRecord>& Current() const { return current_; }
    const std::u16string& Path() const { return path_; }

  protected:
    void OnListSelection();
    void OnSubstitution();
    void OnRestoreDefault();
    void OnHelpButton();
    LRESULT OnHelpMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnContextMenuMessage(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

  private:
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void BuildDeviceFonts();
    // A font named exactly like a device font is printed in that font.
    void ApplyDefaultSubstitutions(std::vector<FontSubRecord>* table) const;
    // The user's file into the file table, its substitutions over the
    // current table's (the last record of a name wins); a file that cannot
    // be read leaves both as they were.
    void ReadFontSubTable();
    void Renumber();
    void RemoveDuplicates();
    void FillList();
    void SyncSubstitution();
    [[nodiscard]] BOOL WriteFontSubTable();
    std::string DontSubstituteAnsi() const;

    SheetContext* context_;
    std::u16string path_;
    std::vector<FontSubRecord> installed_, deviceFonts_, current_, fileTable_;
    int selected_ = 0;
};

} // namespace sheetwright
