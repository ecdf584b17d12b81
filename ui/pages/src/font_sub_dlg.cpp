#include "font_sub_dlg.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "control_states.h"
#include "driver_env.h"
#include "list_helpers.h"
#include "model_info.h"
#include "settings_file.h"
#include "sheet_help.h"
#include "win/gdi.h"
#include "win/gdi_text.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringDontSubstitute = 5200;
// The component table's entry that names the substitution file.
constexpr WORD kSubstitutionComponent = 9;
constexpr size_t kComponentEntry = 40, kComponentNameAt = 8, kComponentNameBytes = 16;
// Model table 39 part 2: the printer's fonts, the name in the first 64 bytes.
constexpr DWORD kDeviceFontPart = 2;
constexpr size_t kDeviceFontEntry = 104;
constexpr BYTE kAnsiCharSet = 0, kSymbolCharSet = 2;

bool LessIgnoringCase(const FontSubRecord& a, const FontSubRecord& b) {
    return lstrcmpiA(a.name, b.name) < 0;
}

bool SameName(const char* a, const char* b) {
    return std::strncmp(a, b, fontsub::kNameBytes) == 0;
}

std::u16string Wide(const char* ansi) {
    return AnsiToWide(ansi, strnlen(ansi, fontsub::kNameBytes));
}

// The enumeration's state: the families first, then their members.
struct Enumeration {
    std::vector<std::pair<std::u16string, std::u16string>> families; // face, full name
    const std::pair<std::u16string, std::u16string>* family = nullptr;
    bool byFullName = false;
    std::vector<FontSubRecord>* out = nullptr;
};

int CALLBACK FamilyCallback(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lp) {
    if (!(type & TRUETYPE_FONTTYPE)) return 1;
    auto* e = reinterpret_cast<Enumeration*>(lp);
    const auto* elf = reinterpret_cast<const ENUMLOGFONTEXW*>(font);
    e->families.emplace_back(font->lfFaceName, elf->elfFullName);
    return 1;
}

int CALLBACK TrueTypeFontCallback(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM lp) {
    if (!(type & TRUETYPE_FONTTYPE)) return 1;
    auto* e = reinterpret_cast<Enumeration*>(lp);
    const auto* elf = reinterpret_cast<const ENUMLOGFONTEXW*>(font);
    const bool match = e->byFullName ? lstrcmpiW(elf->elfFullName, e->family->second.c_str()) == 0
                                     : lstrcmpiW(font->lfFaceName, e->family->first.c_str()) == 0;
    if (!match) return 1;
    FontSubRecord r{};
    fontsub::SetName(r.name, WideToAnsiString(elf->elfFullName));
    r.weight = static_cast<std::uint32_t>(font->lfWeight);
    r.italic = font->lfItalic;
    r.underline = font->lfUnderline;
    r.strikeOut = font->lfStrikeOut;
    r.charSet = font->lfCharSet;
    if (font->lfCharSet == kAnsiCharSet || font->lfCharSet == kSymbolCharSet)
        r.flags |= fontsub::kSubstitutable;
    e->out->push_back(r);
    return 1;
}

} // namespace

std::u16string FontSubFilePath(const SheetContext* context) {
    if (!context) return {};
    std::u16string folder = context->userFolder;
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    std::u16string name;
    CModelInfo components(&context->model, model::kQueryComponents, 0, 1);
    const DWORD entries = components.GetData() ? components.Length() / kComponentEntry : 0;
    for (DWORD i = 0; i < entries; ++i) {
        const size_t at = i * kComponentEntry;
        if (components.U16(at) != kSubstitutionComponent) continue;
        char text[kComponentNameBytes + 1] = {};
        for (size_t k = 0; k < kComponentNameBytes; ++k)
            text[k] = static_cast<char>(components.U8(at + kComponentNameAt + k));
        name = AnsiToWide(text, strnlen(text, kComponentNameBytes));
        break;
    }
    return folder + fontsub::FontSubFileName(name);
}

std::vector<FontSubRecord> EnumTrueTypeFonts() {
    std::vector<FontSubRecord> fonts;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return fonts;
    Enumeration e;
    e.out = &fonts;
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(dc, &all, FamilyCallback, reinterpret_cast<LPARAM>(&e), 0);
    for (const auto& family : e.families) {
        e.family = &family;
        LOGFONTW one{};
        one.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(one.lfFaceName, family.first.c_str(), LF_FACESIZE);
        const size_t before = fonts.size();
        e.byFullName = false;
        EnumFontFamiliesExW(dc, &one, TrueTypeFontCallback, reinterpret_cast<LPARAM>(&e), 0);
        if (fonts.size() == before) {
            e.byFullName = true;
            EnumFontFamiliesExW(dc, &one, TrueTypeFontCallback, reinterpret_cast<LPARAM>(&e), 0);
        }
    }
    DeleteDC(dc);
    std::stable_sort(fonts.begin(), fonts.end(), LessIgnoringCase);
    return fonts;
}

std::vector<FontSubRecord> RecordsToWrite(const std::vector<FontSubRecord>& current,
                                          const std::vector<FontSubRecord>& fileTable,
                                          const std::vector<FontSubRecord>& deviceFonts) {
    std::vector<FontSubRecord> out;
    auto isDeviceFont = [&](const char* name) {
        return std::any_of(deviceFonts.begin(), deviceFonts.end(),
                           [&](const FontSubRecord& d) { return SameName(d.name, name); });
    };
    for (const FontSubRecord& r : current) {
        if (!r.name[0]) continue;
        const bool keep =
            isDeviceFont(r.name) ? !SameName(r.substitute, r.name) : r.substitute[0] != 0;
        if (keep) out.push_back(r);
    }
    // A font no longer installed keeps its saved substitution, whatever the
    // printer's fonts are.
    for (const FontSubRecord& f : fileTable) {
        if (!f.name[0] || !f.substitute[0]) continue;
        const bool installed = std::any_of(current.begin(), current.end(),
                                           [&](const auto& r) { return SameName(r.name, f.name); });
        if (!installed) out.push_back(f);
    }
    return out;
}

BEGIN_MESSAGE_MAP(CFontSubDlg, CLocalDlg)
ON_LBN_SELCHANGE(CFontSubDlg::kList, OnListSelection)
ON_CBN_SELCHANGE(CFontSubDlg::kSubstitutionList, OnSubstitution)
ON_BN_CLICKED(CFontSubDlg::kRestoreDefault, OnRestoreDefault)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

CFontSubDlg::CFontSubDlg(SheetContext* context, CWnd* parent)
    : CLocalDlg(kTemplateId, parent), context_(context) {}

std::string CFontSubDlg::DontSubstituteAnsi() const {
    std::u16string text;
    const_cast<CFontSubDlg*>(this)->Localize().LoadString(kStringDontSubstitute, &text);
    return WideToAnsiString(text.empty() ? u"Don't Substitute" : text);
}

void CFontSubDlg::BuildDeviceFonts() {
    deviceFonts_.clear();
    if (!context_) return;
    CModelInfo fonts(&context_->model, model::kQueryDeviceFonts, 0, kDeviceFontPart);
    const DWORD entries = fonts.GetData() ? fonts.Length() / kDeviceFontEntry : 0;
    for (DWORD i = 0; i < entries; ++i) {
        char name[fontsub::kNameBytes] = {};
        for (size_t k = 0; k + 1 < fontsub::kNameBytes; ++k)
            name[k] = static_cast<char>(fonts.U8(i * kDeviceFontEntry + k));
        if (!name[0]) continue;
        FontSubRecord r{};
        fontsub::SetName(r.name, name);
        fontsub::SetName(r.substitute, name);
        deviceFonts_.push_back(r);
    }
    std::stable_sort(deviceFonts_.begin(), deviceFonts_.end(), LessIgnoringCase);
    for (size_t i = 0; i < deviceFonts_.size(); ++i)
        deviceFonts_[i].index = static_cast<std::uint32_t>(i + 1);
}

void CFontSubDlg::ApplyDefaultSubstitutions(std::vector<FontSubRecord>* table) const {
    for (FontSubRecord& r : *table)
        for (const FontSubRecord& d : deviceFonts_)
            if (SameName(r.name, d.name)) std::memcpy(r.substitute, d.name, fontsub::kNameBytes);
}

void CFontSubDlg::Renumber() {
    for (size_t i = 0; i < current_.size(); ++i)
        current_[i].index = static_cast<std::uint32_t>(i);
}

void CFontSubDlg::RemoveDuplicates() {
    for (size_t i = 0; i < current_.size(); ++i) {
        if (!current_[i].name[0]) continue;
        for (size_t j = i + 1; j < current_.size(); ++j) {
            if (!SameName(current_[i].name, current_[j].name)) continue;
            // One line a name: the substitutable one stays.
            FontSubRecord& emptied =
                (current_[i].flags & fontsub::kSubstitutable) ? current_[j] : current_[i];
            std::memset(emptied.name, 0, sizeof emptied.name);
            std::memset(emptied.substitute, 0, sizeof emptied.substitute);
            if (!current_[i].name[0]) break;
        }
    }
}

void CFontSubDlg::ReadFontSubTable() {
    if (!fontsub::ReadFontSubFile(path_.c_str(), &fileTable_)) return;
    for (FontSubRecord& r : current_)
        for (const FontSubRecord& f : fileTable_)
            if (SameName(r.name, f.name))
                std::memcpy(r.substitute, f.substitute, fontsub::kNameBytes);
}

BOOL CFontSubDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    RECT a{}, b{};
    ::GetWindowRect(Item(kFontHeader), &a);
    ::GetWindowRect(Item(kSubstitutionHeader), &b);
    RECT unit{0, 0, 4, 8};
    ::MapDialogRect(m_hWnd, &unit);
    if (unit.right > 0) {
        int tab = static_cast<int>((b.left - a.left) * 4 / unit.right);
        ::SendMessageW(Item(kList), LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab));
    }
    BuildDeviceFonts();
    HWND subs = Item(kSubstitutionList);
    ::SendMessageW(subs, CB_RESETCONTENT, 0, 0);
    const std::u16string dont = Wide(DontSubstituteAnsi().c_str());
    LRESULT at = ::SendMessageW(subs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(dont.c_str()));
    ::SendMessageW(subs, CB_SETITEMDATA, static_cast<WPARAM>(at), 0);
    for (const FontSubRecord& d : deviceFonts_) {
        const std::u16string name = Wide(d.name);
        at = ::SendMessageW(subs, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        ::SendMessageW(subs, CB_SETITEMDATA, static_cast<WPARAM>(at), d.index);
    }
    installed_ = EnumTrueTypeFonts();
    path_ = FontSubFilePath(context_);
    current_ = installed_;
    ApplyDefaultSubstitutions(&current_);
    ReadFontSubTable();
    Renumber();
    for (FontSubRecord& r : current_)
        if (!(r.flags & fontsub::kSubstitutable)) std::memset(r.substitute, 0, fontsub::kNameBytes);
    RemoveDuplicates();
    FillList();
    SyncSubstitution();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void CFontSubDlg::FillList() {
    HWND list = Item(kList);
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    const LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    const std::u16string dont = Wide(DontSubstituteAnsi().c_str());
    for (const FontSubRecord& r : current_) {
        if (!r.name[0]) continue;
        const std::u16string line =
            Wide(r.name) + u"\t" + (r.substitute[0] ? Wide(r.substitute) : dont);
        const LRESULT at =
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), r.index);
    }
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (selected_ >= count) selected_ = count > 0 ? static_cast<int>(count - 1) : 0;
    if (top > 0 && top < count) ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    if (count > 0) ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected_), 0);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void CFontSubDlg::SyncSubstitution() {
    HWND list = Item(kList), subs = Item(kSubstitutionList);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    const LRESULT index = at == LB_ERR ? LB_ERR : ::SendMessageW(list, LB_GETITEMDATA, at, 0);
    const FontSubRecord* r = index >= 0 && static_cast<size_t>(index) < current_.size()
                                 ? &current_[static_cast<size_t>(index)]
                                 : nullptr;
    const BOOL usable = r && (r->flags & fontsub::kSubstitutable) && !IsSheetReadOnly(context_);
    ::EnableWindow(Item(kSubstitutionLabel), usable);
    ::EnableWindow(subs, usable);
    DWORD data = 0;
    if (r && r->substitute[0])
        for (const FontSubRecord& d : deviceFonts_)
            if (SameName(d.name, r->substitute)) data = d.index;
    if (!SelectComboByData(subs, data)) SelectComboByData(subs, 0);
    if (at != LB_ERR) selected_ = static_cast<int>(at);
}

void CFontSubDlg::OnListSelection() {
    SyncSubstitution();
}

void CFontSubDlg::OnSubstitution() {
    HWND list = Item(kList);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR) return;
    const LRESULT index = ::SendMessageW(list, LB_GETITEMDATA, at, 0);
    const LRESULT data = GetComboSelData(Item(kSubstitutionList));
    if (index < 0 || static_cast<size_t>(index) >= current_.size() || data == CB_ERR) return;
    FontSubRecord& r = current_[static_cast<size_t>(index)];
    // "Don't Substitute" is the entry with data 0, whatever its text.
    std::memset(r.substitute, 0, fontsub::kNameBytes);
    if (data > 0 && static_cast<size_t>(data) <= deviceFonts_.size())
        std::memcpy(r.substitute, deviceFonts_[static_cast<size_t>(data) - 1].name,
                    fontsub::kNameBytes);
    selected_ = static_cast<int>(at);
    FillList();
    SyncSubstitution();
}

void CFontSubDlg::OnRestoreDefault() {
    current_ = installed_;
    ApplyDefaultSubstitutions(&current_);
    Renumber();
    for (FontSubRecord& r : current_)
        if (!(r.flags & fontsub::kSubstitutable)) std::memset(r.substitute, 0, fontsub::kNameBytes);
    RemoveDuplicates();
    for (FontSubRecord& f : fileTable_)
        std::memset(f.substitute, 0, fontsub::kNameBytes);
    ApplyDefaultSubstitutions(&fileTable_);
    FillList();
    SyncSubstitution();
}

BOOL CFontSubDlg::WriteFontSubTable() {
    // Without any TrueType font there is nothing to say: the old file stays.
    if (current_.empty() || path_.empty()) return TRUE;
    const std::string bytes =
        fontsub::SerializeFontSubFile(RecordsToWrite(current_, fileTable_, deviceFonts_));
    const size_t slash = path_.find_last_of(u'\\');
    if (slash != std::u16string::npos) {
        const std::u16string folder = path_.substr(0, slash);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES && !CreateDirectoryTree(folder.c_str()))
            return FALSE;
    }
    return WriteWholeFile(path_.c_str(), bytes.data(), static_cast<DWORD>(bytes.size()));
}

void CFontSubDlg::OnOK() {
    // A read-only sheet changes nothing, the user's table included.
    if (!IsSheetReadOnly(context_) && !WriteFontSubTable()) {
        const DWORD error = GetLastError();
        WCHAR text[512] = {};
        if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            error, 0, text, 512, nullptr))
            wsprintfW(text, u"Error %u", static_cast<unsigned>(error));
        WCHAR caption[128] = {};
        ::GetWindowTextW(m_hWnd, caption, 128);
        const std::u16string message = path_ + u"\r\n\r\n" + text;
        // The dialog stays open with the table as chosen; the old file is kept.
        ::MessageBoxW(m_hWnd, message.c_str(), caption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    EndDialog(IDOK);
}

void CFontSubDlg::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(kTemplateId));
}

LRESULT CFontSubDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CFontSubDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

} // namespace sheetwright
