// CProfileSave, the "Input Profile Name" dialog: a profile's name, comment
// and whether paper size and orientation stay out of it. It refuses names
// that cannot be used and asks before a name of the store is taken again;
// it does not write the store itself.
#pragma once

#include <string>

#include "edit_classes.h"
#include "local_dlg.h"
#include "sheet_context.h"
#include "resbundle_ids.h"

namespace sheetwright {

// Why a name cannot be a profile's: 0 when it can. The page's import uses the
// same checks as the dialog.
inline constexpr DWORD kNameReserved = 3101;  // empty, "DEFAULT" or "UNTITLED"
inline constexpr DWORD kNameForbidden = 3128; // a character of the forbidden list
DWORD ProfileNameProblem(HMODULE resources, const std::u16string& name);

class CProfileSave : public CLocalDlg {
  public:
    static constexpr UINT kTemplate = 600;
    static constexpr int kNameEdit = IDC_PROFILE_NAME_NAME_EDIT,
                         kCommentEdit = IDC_PROFILE_NAME_COMMENT_EDIT,
                         kKeepPaperBox = IDC_PROFILE_NAME_KEEP_PAPER_BOX;
    // The name is typed in characters, the comment counted in the bytes its
    // field holds, so that a double-byte character is never cut in two.
    static constexpr int kNameLimit = 31, kCommentLimitBytes = 127;

    CProfileSave(SheetContext* context, CWnd* owner);

    CString m_name;
    CString m_comment;
    int m_doNotSavePaper = 1;
    int m_checkBoxEnabled = 1;

    BOOL OnInitDialog() override;
    void OnOK() override;

  protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnNameChange();
    DECLARE_MESSAGE_MAP()

  private:
    // Message `id` (with `argument` in place of %s); the answer.
    int Tell(DWORD id, const std::u16string& argument, UINT style);
    void BackToName();

    SheetContext* context_;
    CWnd nameEdit_;
    CMultiByteLimitEdit commentEdit_;
};

} // namespace sheetwright
