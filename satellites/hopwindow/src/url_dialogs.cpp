// The support dialogs: the administrator's editor of the four entries and
// the viewer whose web and mail addresses are links the shell opens.
#include <algorithm>
#include <string>
#include <vector>

#include "driver_env.h"
#include "hopwindow_ids.h"
#include "link_rules.h"
#include "localize.h"
#include "url_jump.h"
#include "win/gdi_dc.h"
#include "win/user.h"

namespace hopwindow {
namespace {

constexpr int kEditDialog = IDD_SUPPORT_EDIT;
constexpr int kViewDialog = IDD_SUPPORT_VIEW;
constexpr int kDescriptionEdit = IDC_SUPPORT_EDIT_DESCRIPTION;
constexpr int kUrlControl = IDC_SUPPORT_URL;
constexpr int kContactControl = IDC_SUPPORT_CONTACT;
constexpr int kViewDescription = IDC_SUPPORT_VIEW_DESCRIPTION;
constexpr int kEditHeading = IDC_SUPPORT_EDIT_HEADING;
constexpr int kViewHeading = IDC_SUPPORT_VIEW_HEADING;
constexpr DWORD kStringNotSaved = 1;
constexpr DWORD kStringTitle = 2;
constexpr COLORREF kLinkColour = 0xFF0000; // blue
constexpr int kBold = 700;

struct DialogState {
    std::string file;
    DWORD mode = 0;
    sheetwright::CLocalize* localize = nullptr;
    HFONT bold = nullptr;
    HFONT link = nullptr;
    HCURSOR hand = nullptr;
};

std::u16string Wide(const std::string& text) {
    return sheetwright::AnsiToWide(text.c_str(), text.size());
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = control ? GetWindowTextLengthW(control) : 0;
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    if (length > 0) GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(length, 0)));
    return sheetwright::WideToAnsiString(text);
}

HFONT DerivedFont(HWND dialog, bool underline) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW face{};
    if (!font || !GetObjectW(font, sizeof face, &face)) return nullptr;
    face.lfWeight = kBold;
    face.lfUnderline = underline ? 1 : 0;
    return CreateFontIndirectW(&face);
}

void SetFont(HWND dialog, int id, HFONT font) {
    if (font) SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

bool IsLink(int id) {
    return (id >= kUrlControl && id < kUrlControl + kEntries) ||
           (id >= kContactControl && id < kContactControl + kEntries);
}

void Init(HWND dialog, DialogState* s) {
    SupportEntry entries[kEntries];
    ReadSupportFile(s->file, entries);
    const bool edit = s->mode == kUrlJumpEdit;
    s->bold = DerivedFont(dialog, false);
    if (!edit) {
        s->link = DerivedFont(dialog, true);
        s->hand = LoadCursorW(nullptr, IDC_HAND);
    }
    for (int k = 0; k < kEntries; ++k) {
        const int description = (edit ? kDescriptionEdit : kViewDescription) + k;
        SetDlgItemTextW(dialog, description, Wide(entries[k].title).c_str());
        SetDlgItemTextW(dialog, kUrlControl + k, Wide(entries[k].url).c_str());
        SetDlgItemTextW(dialog, kContactControl + k, Wide(entries[k].contact).c_str());
        SetFont(dialog, (edit ? kEditHeading : kViewHeading) + k, s->bold);
        if (edit) {
            SendDlgItemMessageW(dialog, description, EM_LIMITTEXT, kTitleLimit, 0);
            SendDlgItemMessageW(dialog, kUrlControl + k, EM_LIMITTEXT, kAddressLimit, 0);
            SendDlgItemMessageW(dialog, kContactControl + k, EM_LIMITTEXT, kAddressLimit, 0);
        } else {
            SetFont(dialog, description, s->bold);
            SetFont(dialog, kUrlControl + k, s->link);
            SetFont(dialog, kContactControl + k, s->link);
        }
    }
}

// Writes the typed entries; on failure says so and keeps the dialog open.
bool Save(HWND dialog, DialogState* s) {
    SupportEntry entries[kEntries];
    for (int k = 0; k < kEntries; ++k) {
        entries[k].title = ControlText(dialog, kDescriptionEdit + k);
        entries[k].url = ControlText(dialog, kUrlControl + k);
        entries[k].contact = ControlText(dialog, kContactControl + k);
    }
    if (WriteSupportFile(s->file, entries)) return true;
    std::u16string text, title;
    if (s->localize) {
        s->localize->LoadString(kStringNotSaved, &text);
        s->localize->LoadString(kStringTitle, &title);
    }
    MessageBoxW(dialog, text.c_str(), title.c_str(), MB_OK | MB_ICONHAND);
    return false;
}

// A link's click: a web address as it stands, a mail address as "mailto:"
// and the address; anything else (a program, a share, a file) is not opened.
void OpenLink(HWND dialog, int id) {
    const std::string text = ControlText(dialog, id);
    if (text.empty()) return;
    std::string target;
    if (id >= kContactControl)
        target = link_rules::MailLink(text);
    else if (link_rules::IsWebAddress(text))
        target = text;
    if (target.empty()) return;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    ShellExecuteA(dialog, "open", target.c_str(), nullptr, "", SW_SHOWDEFAULT);
    SetCursor(previous);
}

INT_PTR CALLBACK SupportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        Init(dialog, reinterpret_cast<DialogState*>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK && s) {
            if (s->mode == kUrlJumpEdit && !Save(dialog, s)) return TRUE;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (s && s->mode != kUrlJumpEdit && HIWORD(wParam) == STN_CLICKED && IsLink(id)) {
            OpenLink(dialog, id);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        if (s && s->mode != kUrlJumpEdit && IsLink(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kLinkColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wParam);
        if (s && s->hand && over && IsLink(GetDlgCtrlID(over)) && GetWindowTextLengthW(over) > 0) {
            SetCursor(s->hand);
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR RunSupportDialog(HWND parent, HMODULE module, DWORD mode, const std::string& file) {
    sheetwright::CLocalize localize(module);
    DWORD size = 0;
    const BYTE* tmpl =
        localize.LoadDialogTemplate(mode == kUrlJumpEdit ? kEditDialog : kViewDialog, &size);
    if (!tmpl || !size) return IDCANCEL;
    // The template is the localisation object's until its next call: a copy.
    std::vector<BYTE> copy(tmpl, tmpl + size);
    DialogState state;
    state.file = file;
    state.mode = mode;
    state.localize = &localize;
    const INT_PTR result =
        DialogBoxIndirectParamW(module, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), parent,
                                SupportProc, reinterpret_cast<LPARAM>(&state));
    for (HFONT font : {state.bold, state.link})
        if (font) DeleteObject(font);
    return result == IDOK ? IDOK : IDCANCEL;
}

} // namespace hopwindow
