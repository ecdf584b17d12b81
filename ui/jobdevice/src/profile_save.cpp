#include "profile_save.h"

#include "dialog_lookups.h"
#include "localize.h"
#include "profile_file.h"
#include "win/user.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringTitle = 3100;
constexpr DWORD kStringReplace = 3102;
constexpr DWORD kStringDefault = 3150, kStringUntitled = 3151;

std::u16string Text(HMODULE module, DWORD id) {
    std::u16string text;
    if (module) CLocalize(module).LoadString(id, &text);
    return text;
}

std::u16string WithArgument(std::u16string pattern, const std::u16string& argument) {
    const size_t at = pattern.find(u"%s");
    if (at != std::u16string::npos) pattern.replace(at, 2, argument);
    return pattern;
}

bool SameNoCase(const std::u16string& a, const std::u16string& b) {
    return !a.empty() && !b.empty() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

} // namespace

DWORD ProfileNameProblem(HMODULE resources, const std::u16string& name) {
    if (name.empty() || SameNoCase(name, Text(resources, kStringDefault)) ||
        SameNoCase(name, Text(resources, kStringUntitled)))
        return kNameReserved;
    if (HasForbiddenCharacters(resources, name.c_str())) return kNameForbidden;
    return 0;
}

BEGIN_MESSAGE_MAP(CProfileSave, CLocalDlg)
ON_EN_CHANGE(CProfileSave::kNameEdit, OnNameChange)
END_MESSAGE_MAP()

CProfileSave::CProfileSave(SheetContext* context, CWnd* owner)
    : CLocalDlg(kTemplate, owner), context_(context) {}

void CProfileSave::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, kNameEdit, m_name);
    DDX_Text(dx, kCommentEdit, m_comment);
    DDX_Check(dx, kKeepPaperBox, m_doNotSavePaper);
}

BOOL CProfileSave::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    nameEdit_.SubclassDlgItem(kNameEdit, this);
    commentEdit_.SubclassDlgItem(kCommentEdit, this);
    CheckDlgButton(kKeepPaperBox, m_doNotSavePaper ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(m_hWnd, kKeepPaperBox), m_checkBoxEnabled ? TRUE : FALSE);
    ::SendDlgItemMessageW(m_hWnd, kNameEdit, EM_LIMITTEXT, kNameLimit, 0);
    ::SendDlgItemMessageW(m_hWnd, kCommentEdit, EM_LIMITTEXT, kCommentLimitBytes, 0);
    OnNameChange();
    return TRUE;
}

void CProfileSave::OnNameChange() {
    const int length = ::GetWindowTextLengthW(::GetDlgItem(m_hWnd, kNameEdit));
    std::u16string text(static_cast<size_t>(length > 0 ? length : 0) + 1, u'\0');
    if (length > 0) ::GetDlgItemTextW(m_hWnd, kNameEdit, text.data(), length + 1);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), text[0] && !IsBlankText(text.c_str()));
}

int CProfileSave::Tell(DWORD id, const std::u16string& argument, UINT style) {
    HMODULE res = context_ ? context_->resourceModule : nullptr;
    const std::u16string text = WithArgument(Text(res, id), argument);
    return ::MessageBoxW(m_hWnd, text.c_str(), Text(res, kStringTitle).c_str(), style);
}

void CProfileSave::BackToName() {
    HWND edit = ::GetDlgItem(m_hWnd, kNameEdit);
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
}

void CProfileSave::OnOK() {
    if (!UpdateData(TRUE)) return;
    HMODULE res = context_ ? context_->resourceModule : nullptr;
    const std::u16string name = m_name.str();
    if (const DWORD problem = ProfileNameProblem(res, name)) {
        Tell(problem, Text(res, kStringForbiddenChars), MB_OK | MB_ICONEXCLAMATION);
        return BackToName();
    }
    if (context_) {
        std::u16string path;
        if (GetProfileStorePath(&context_->model, &path)) {
            ProfileFile store(&context_->model, path);
            if (store.FindProfileW(name.c_str()) &&
                Tell(kStringReplace, name, MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2) !=
                    IDYES)
                return BackToName();
        }
    }
    EndDialog(IDOK);
}

} // namespace sheetwright
