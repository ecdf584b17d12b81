#include "profile_main.h"

#include <cstring>

#include "control_states.h"
#include "devmode_convert.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "localize.h"
#include "profile_apply.h"
#include "profile_compare.h"
#include "profile_save.h"
#include "revise_devmode.h"
#include "track_dm.h"
#include "win/commdlg.h"
#include "win/files.h"
#include "win/system_messages.h"

namespace sheetwright {
namespace {

// Strings of the page.
constexpr DWORD kTitle = 3100, kAskDelete = 3103, kWrongSettings = 3104, kImportTitle = 3111,
                kExportTitle = 3112, kFilter = 3113, kImportSelf = 3114, kAskReplace = 3124,
                kNotProfileData = 3125, kCannotSave = 3126, kExtension = 3127, kExportSelf = 3129,
                kDefaultText = 3150, kUntitledText = 3151, kDefaultComment = 3152,
                kUntitledComment = 3153;
constexpr char16_t kDefaultExtension[] = u".DAT";
// The difference list's one column stop, in dialog units.
constexpr int kColumnStop = 80;
// Private fields the page's own revision does not judge (playback, duplex
// type, spooling, copy control): they come back from the page's settings.
constexpr size_t kKeptOnLeaving[] = {40, 76, 86, 90};
constexpr int kLongestListedName = 63;
// Errors of a store that mean the file is not a profile file of this printer.
bool IsFormatError(DWORD code) {
    return (code >= kProfileBadMagic && code <= kProfileForeignDevmode) ||
           code == kProfileShortRecord || code == kProfileRefusedPath;
}

// A store that is not this printer's (another model, another layout) is
// told as such; any other failure is a failure to save.
DWORD SaveFailureText(const ProfileFile& store) {
    return IsFormatError(store.ErrorCode()) ? kNotProfileData : kCannotSave;
}

std::u16string Text(HMODULE module, DWORD id) {
    std::u16string text;
    if (module) CLocalize(module).LoadString(id, &text);
    return text;
}

std::u16string ItemText(HWND list, int index) {
    const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length < 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    ::SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.c_str();
}

std::u16string WithArgument(std::u16string pattern, const std::u16string& argument) {
    const size_t at = pattern.find(u"%s");
    if (at != std::u16string::npos) pattern.replace(at, 2, argument);
    return pattern;
}

std::unique_ptr<DEVMODE_IMAGEW> NewImage() {
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    std::memset(image.get(), 0, sizeof *image);
    return image;
}

// An entry of a name and comment typed in the name dialog: ANSI, each field
// cut at a character boundary.
ProfileEntry EntryOf(const std::u16string& name, const std::u16string& comment, bool keepPaper) {
    ProfileEntry e{};
    SetFieldText(e.name, sizeof e.name, WideToAnsiString(name));
    SetFieldText(e.comment, sizeof e.comment, WideToAnsiString(comment));
    e.profileFlags = keepPaper ? kProfileKeepsPaper : 0;
    return e;
}

std::u16string Wide(const char* field, size_t width) {
    return AnsiToWide(field, strnlen(field, width));
}

} // namespace

BEGIN_MESSAGE_MAP(CProfileMain, CProfilePropPage)
ON_BN_CLICKED(CProfileMain::kSaveAs, OnSaveAs)
ON_BN_CLICKED(CProfileMain::kDelete, OnDelete)
ON_BN_CLICKED(CProfileMain::kExport, OnExport)
ON_BN_CLICKED(CProfileMain::kImport, OnImport)
ON_LBN_SELCHANGE(CProfileMain::kProfileList, OnSelectionChange)
END_MESSAGE_MAP()

CProfileMain::CProfileMain(SheetContext* context)
    : CProfilePropPage(kPageProfile, context), page_(NewImage()), untitled_(NewImage()) {
    std::u16string path;
    if (context && GetProfileStorePath(&context->model, &path)) {
        const size_t slash = path.find_last_of(u'\\');
        // Best-effort: a folder that cannot be made fails the store's first write.
        if (slash != std::u16string::npos) (void)CreateDirectoryTree(path.substr(0, slash).c_str());
    }
    store_ = std::make_unique<ProfileFile>(context ? &context->model : nullptr, path);
    if (context) {
        store_->SetPrinter(context->printer);
        store_->SetInstalledOptions(context->installOptions);
    }
}

CProfileMain::~CProfileMain() = default;

BOOL CProfileMain::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    differences_.SubclassDlgItem(kDifferences, this);
    RECT stop{kColumnStop, 0, 0, 0};
    ::MapDialogRect(m_hWnd, &stop);
    differences_.SetColumns({static_cast<int>(stop.left)});
    if (!GetMyDocumentsFolder(&dialogFolder_)) dialogFolder_ = store_->Path();
    // The store is looked for, not opened: when it is not there yet, the
    // driver's default copy starts it (an existing store is never replaced).
    const std::u16string& path = store_->Path();
    if (!path.empty() && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD missing = GetLastError();
        const size_t slash = path.find_last_of(u'\\');
        if (missing == ERROR_PATH_NOT_FOUND && slash != std::u16string::npos)
            // Best-effort: a folder that cannot be made fails the copy below.
            (void)CreateDirectoryTree(path.substr(0, slash).c_str());
        if ((missing == ERROR_PATH_NOT_FOUND || missing == ERROR_FILE_NOT_FOUND) && Context()) {
            std::u16string folder = GetDriverFolder(Context()->printer);
            if (!folder.empty()) {
                if (folder.back() != u'\\') folder += u'\\';
                CopyFileW((folder + path.substr(slash + 1)).c_str(), path.c_str(), TRUE);
            }
        }
    }
    return TRUE;
}

void CProfileMain::ReviseMerged(const DEVMODE_IMAGEW& in, DEVMODE_IMAGEW* out) {
    *out = in;
    out->dm.dmSize = DEVMODEW_SIZE;
    out->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    if (!Context()) return;
    auto old = std::make_unique<DEVMODE_IMAGEW>(*out);
    ReviseContext revise = SheetReviseContext(Context());
    // The job settings in hand are the sheet's or a profile's: the user's
    // saved ones are not read over them (a profile of another job type
    // would read as wrong settings).
    revise.flags |= kRevisedByPage;
    ReviseDevmode(&revise, old.get(), out, kReviseCarryOver);
}

CProfileMain::ItemKind CProfileMain::Classify(const DEVMODE_IMAGEW& settings) {
    const std::string name = FieldText(settings.priv.ProfileName, sizeof settings.priv.ProfileName);
    const std::string defaultName =
        WideToAnsiString(Text(Context() ? Context()->resourceModule : nullptr, kDefaultText));
    if (!name.empty() && !SameProfileName(name, defaultName)) return kSaved;
    if (Context() &&
        CompareSettings(store_.get(), &settings, &Context()->defaultImage, nullptr, Context()))
        return kDefault;
    return kUntitled;
}

bool CProfileMain::ApplyNamed(const std::string& name, DEVMODE_IMAGEW* settings) {
    ProfileEntry entry{};
    SetFieldText(entry.name, sizeof entry.name, name);
    return ApplyProfileToDevmode(store_.get(), settings, &entry) != FALSE;
}

BOOL CProfileMain::OnSetActive() {
    SheetContext* c = Context();
    if (!c) return CProfilePropPage::OnSetActive();
    ReviseMerged(c->workingImage, page_.get());
    Preview().Init(c, 1, nullptr);
    switch (Classify(*page_)) {
    case kSaved: {
        // The settings still carry a profile's name: they are that profile
        // only while applying it again changes nothing.
        auto applied = std::make_unique<DEVMODE_IMAGEW>(*page_);
        const std::string name = FieldText(page_->priv.ProfileName, sizeof page_->priv.ProfileName);
        if (ApplyNamed(name, applied.get()) &&
            CompareSettings(store_.get(), applied.get(), page_.get(), nullptr, c)) {
            untitledListed_ = false;
            break;
        }
        std::memset(page_->priv.ProfileName, 0, sizeof page_->priv.ProfileName);
        [[fallthrough]];
    }
    case kUntitled:
        *untitled_ = *page_;
        untitledListed_ = true;
        break;
    case kDefault:
        untitledListed_ = false;
        break;
    }
    Refresh();
    return CProfilePropPage::OnSetActive();
}

BOOL CProfileMain::OnKillActive() {
    CPropPage::OnKillActive();
    SheetContext* c = Context();
    if (!c) return TRUE;
    if (Classify(*page_) == kDefault && Classify(c->workingImage) == kDefault) return TRUE;
    auto revised = NewImage();
    ReviseMerged(*page_, revised.get());
    auto* to = reinterpret_cast<BYTE*>(&revised->priv);
    const auto* from = reinterpret_cast<const BYTE*>(&page_->priv);
    for (size_t at : kKeptOnLeaving)
        std::memcpy(to + at, from + at, sizeof(WORD));
    if (!CompareSettings(store_.get(), revised.get(), page_.get(), nullptr, c)) {
        Tell(kWrongSettings, kTitle, MB_OK | MB_ICONEXCLAMATION);
        std::memset(page_->priv.ProfileName, 0, sizeof page_->priv.ProfileName);
        NotifySettingsChanged(TRUE, 1);
    }
    const DWORD savePersonal = c->workingImage.priv.SavePersonalInfo;
    c->workingImage = *page_;
    c->workingImage.priv.SavePersonalInfo = savePersonal;
    if (c->tracker) c->tracker->Snapshot(&c->workingImage);
    ApplyRulesAndRefresh(c, &c->workingImage, FALSE);
    return TRUE;
}

void CProfileMain::FillList() {
    HWND list = ::GetDlgItem(m_hWnd, kProfileList);
    HMODULE res = Context() ? Context()->resourceModule : nullptr;
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    auto add = [list](const std::u16string& text, DWORD kind) {
        const LRESULT at =
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (at >= 0) ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), kind);
        return static_cast<int>(at);
    };
    add(Text(res, kDefaultText), kDefault);
    const ProfileEntry* entries = nullptr;
    DWORD count = 0;
    // An unread list shows no saved profiles; its error stays in the store.
    (void)store_->GetProfileList(&entries, &count);
    for (DWORD i = 0; i < count; ++i)
        add(Wide(entries[i].name, sizeof entries[i].name).substr(0, kLongestListedName), kSaved);
    auto find = [list](DWORD kind, const std::u16string& text) {
        const int n = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i)
            if (static_cast<DWORD>(::SendMessageW(list, LB_GETITEMDATA, i, 0)) == kind &&
                (text.empty() || lstrcmpiW(ItemText(list, i).c_str(), text.c_str()) == 0))
                return i;
        return -1;
    };
    if (untitledListed_ && find(kUntitled, {}) < 0) add(Text(res, kUntitledText), kUntitled);
    int selected = -1;
    switch (Classify(*page_)) {
    case kDefault:
        selected = find(kDefault, {});
        SetFieldText(page_->priv.ProfileName, sizeof page_->priv.ProfileName,
                     WideToAnsiString(Text(res, kDefaultText)));
        break;
    case kSaved:
        selected = find(kSaved, Wide(page_->priv.ProfileName, sizeof page_->priv.ProfileName));
        break;
    case kUntitled:
        selected = find(kUntitled, {});
        break;
    }
    if (selected < 0) selected = add(Text(res, kUntitledText), kUntitled);
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CProfileMain::Refresh() {
    SheetContext* c = Context();
    Preview().Refresh();
    FillList();
    HMODULE res = c ? c->resourceModule : nullptr;
    const DWORD kind = SelectedKind();
    HWND differences = ::GetDlgItem(m_hWnd, kDifferences);
    ::SendMessageW(differences, LB_RESETCONTENT, 0, 0);
    std::u16string comment;
    if (kind == 0) {
        ::EnableWindow(::GetDlgItem(m_hWnd, kDelete), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, kSaveAs), FALSE);
    } else {
        if (kind == kUntitled) comment = Text(res, kUntitledComment);
        if (kind == kDefault) comment = Text(res, kDefaultComment);
        if (kind == kSaved)
            if (const ProfileEntry* e = store_->FindProfileW(SelectedText().c_str()))
                comment = Wide(e->comment, sizeof e->comment);
        if (c && !CompareSettings(store_.get(), page_.get(), &c->defaultImage, nullptr, c))
            CompareSettings(store_.get(), page_.get(), &c->defaultImage, differences, c);
        ::EnableWindow(::GetDlgItem(m_hWnd, kDelete), kind == kSaved);
        ::EnableWindow(::GetDlgItem(m_hWnd, kExport), kind == kSaved);
        ::EnableWindow(::GetDlgItem(m_hWnd, kSaveAs), kind != kDefault);
    }
    ::EnableWindow(::GetDlgItem(m_hWnd, kImport), TRUE);
    ::SetDlgItemTextW(m_hWnd, kComment, comment.c_str());
}

std::u16string CProfileMain::SelectedText() {
    HWND list = ::GetDlgItem(m_hWnd, kProfileList);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    return at < 0 ? std::u16string() : ItemText(list, static_cast<int>(at));
}

DWORD CProfileMain::SelectedKind() {
    HWND list = ::GetDlgItem(m_hWnd, kProfileList);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    return at < 0 ? 0 : static_cast<DWORD>(::SendMessageW(list, LB_GETITEMDATA, at, 0));
}

void CProfileMain::OnSelectionChange() {
    SheetContext* c = Context();
    const DWORD kind = SelectedKind();
    if (!c || kind == 0) return;
    if (kind == kUntitled) *page_ = *untitled_;
    if (kind == kDefault) *page_ = c->defaultImage;
    if (kind == kSaved) {
        // A profile without paper keeps the sheet's paper.
        const DEVMODEW& w = c->workingImage.dm;
        page_->dm.dmOrientation = w.dmOrientation;
        page_->dm.dmPaperSize = w.dmPaperSize;
        page_->dm.dmPaperLength = w.dmPaperLength;
        page_->dm.dmPaperWidth = w.dmPaperWidth;
        std::memcpy(page_->dm.dmFormName, w.dmFormName, sizeof w.dmFormName);
        page_->priv.Rotate180 = c->workingImage.priv.Rotate180;
        ApplyNamed(WideToAnsiString(SelectedText()), page_.get());
    }
    NotifySettingsChanged(TRUE, 1);
    ApplyRulesAndRefresh(c, page_.get(), FALSE);
    Refresh();
}

int CProfileMain::Tell(DWORD text, DWORD title, UINT style, const std::u16string& argument) {
    HMODULE res = Context() ? Context()->resourceModule : nullptr;
    const std::u16string body = WithArgument(Text(res, text), argument);
    return ::MessageBoxW(m_hWnd, body.c_str(), Text(res, title).c_str(), style);
}

void CProfileMain::OnSaveAs() {
    SheetContext* c = Context();
    if (!c) return;
    const DWORD kind = SelectedKind();
    CProfileSave dialog(c, this);
    if (kind == kSaved) {
        if (const ProfileEntry* e = store_->FindProfileW(SelectedText().c_str())) {
            dialog.m_name = CString(Wide(e->name, sizeof e->name));
            dialog.m_comment = CString(Wide(e->comment, sizeof e->comment));
            dialog.m_doNotSavePaper = (e->profileFlags & kProfileKeepsPaper) ? 1 : 0;
        }
    }
    // Custom paper sizes do not fit another sheet's papers: never saved.
    if ((page_->dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) ||
        (page_->priv.PrivateFlags & (1u << 6))) {
        dialog.m_doNotSavePaper = 1;
        dialog.m_checkBoxEnabled = 0;
    }
    if (dialog.DoModal() != IDOK) return;
    const ProfileEntry entry =
        EntryOf(dialog.m_name.str(), dialog.m_comment.str(), dialog.m_doNotSavePaper != 0);
    char previous[sizeof page_->priv.ProfileName];
    std::memcpy(previous, page_->priv.ProfileName, sizeof previous);
    std::memcpy(page_->priv.ProfileName, entry.name, sizeof entry.name);
    DEVMODE_IMAGEA ansi{};
    const bool saved = DevModeWToA(&page_->dm, sizeof *page_, &ansi.dm, sizeof ansi) &&
                       store_->SaveProfile(&ansi.dm, &entry, FALSE);
    if (!saved) {
        Tell(SaveFailureText(*store_), kTitle, MB_OK | MB_ICONSTOP);
        std::memcpy(page_->priv.ProfileName, previous, sizeof previous);
    } else if (kind == kUntitled) {
        untitledListed_ = false;
    }
    Refresh();
}

void CProfileMain::OnDelete() {
    const std::u16string name = SelectedText();
    if (SelectedKind() != kSaved) return;
    if (Tell(kAskDelete, kTitle, MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2, name) !=
        IDYES)
        return;
    ProfileEntry entry{};
    SetFieldText(entry.name, sizeof entry.name, WideToAnsiString(name));
    if (store_->DeleteProfile(&entry)) {
        std::memset(page_->priv.ProfileName, 0, sizeof page_->priv.ProfileName);
        *untitled_ = *page_;
        untitledListed_ = true;
    } else {
        Tell(SaveFailureText(*store_), kTitle, MB_OK | MB_ICONSTOP);
    }
    ::SetFocus(::GetDlgItem(m_hWnd, kProfileList));
    Refresh();
}

std::u16string CProfileMain::AskPath(bool save, DWORD title, const std::u16string& proposed) {
    HMODULE res = Context() ? Context()->resourceModule : nullptr;
    std::u16string filter = Text(res, kFilter);
    for (char16_t& ch : filter)
        if (ch == u'\n') ch = 0;
    const std::u16string titleText = Text(res, title);
    WCHAR file[MAX_PATH] = {};
    proposed.copy(file, MAX_PATH - 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = dialogFolder_.c_str();
    ofn.lpstrTitle = titleText.c_str();
    ofn.lpstrDefExt = kDefaultExtension;
    ofn.Flags =
        OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | (save ? OFN_NOREADONLYRETURN : OFN_FILEMUSTEXIST);
    ofn.FlagsEx = OFN_EX_NOPLACESBAR;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return {};
    const std::u16string path = file;
    const size_t slash = path.find_last_of(u'\\');
    if (slash != std::u16string::npos) {
        dialogFolder_ = path.substr(0, slash);
        dialogFile_ = path.substr(slash + 1);
    }
    return path;
}

// The same file under another name (a link, another case, a relative path)
// is still the store: the store is held open while the chosen file is asked
// for alone, which the system refuses only for the file already open.
bool CProfileMain::IsStoreFile(const std::u16string& path) {
    if (lstrcmpiW(path.c_str(), store_->Path().c_str()) == 0) return true;
    HANDLE held = CreateFileW(store_->Path().c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return false;
    HANDLE alone = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool same = alone == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
    CloseHandle(held);
    return same;
}

void CProfileMain::ReportStoreError(const ProfileFile& store) {
    const DWORD code = store.ErrorCode();
    if (code == kProfileOk || code > kProfileRefusedPath) return;
    std::u16string text;
    if (!IsFormatError(code) && store.SystemError()) {
        WCHAR buffer[512] = {};
        if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           store.SystemError(), 0, buffer, 512, nullptr))
            text = buffer;
    }
    HMODULE res = Context() ? Context()->resourceModule : nullptr;
    if (text.empty()) text = Text(res, kNotProfileData);
    ::MessageBoxW(m_hWnd, text.c_str(), Text(res, kImportTitle).c_str(), MB_OK | MB_ICONSTOP);
}

void CProfileMain::OnImport() {
    SheetContext* c = Context();
    if (!c) return;
    const std::u16string path =
        AskPath(false, kImportTitle, u"*" + Text(c->resourceModule, kExtension));
    if (path.empty()) return;
    if (IsStoreFile(path)) {
        Tell(kImportSelf, kImportTitle, MB_OK | MB_ICONSTOP);
        return;
    }
    ProfileFile imported(&c->model, path);
    imported.SetPrinter(c->printer);
    imported.SetInstalledOptions(c->installOptions);
    const ProfileEntry* list = nullptr;
    DWORD count = 0;
    if (!imported.GetProfileList(&list, &count) || count == 0) {
        ReportStoreError(imported);
        Refresh();
        return;
    }
    for (DWORD i = 0; i < count; ++i) {
        ProfileEntry* entry = const_cast<ProfileEntry*>(list + i);
        const std::u16string name = Wide(entry->name, sizeof entry->name);
        // A name the dialog would refuse is given another through the dialog.
        const bool usable = ProfileNameProblem(c->resourceModule, name) == 0;
        bool rename = !usable;
        if (usable && store_->FindProfile(entry->name)) {
            const int answer = Tell(kAskReplace, kImportTitle,
                                    MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2, name);
            if (answer == IDCANCEL) break;
            rename = answer == IDNO;
        }
        bool copied = true;
        if (!rename) {
            copied = CopyProfile(store_.get(), &imported, entry, nullptr, FALSE) != FALSE;
        } else {
            CProfileSave dialog(c, this);
            dialog.m_name = CString(usable ? name : std::u16string());
            dialog.m_comment = CString(Wide(entry->comment, sizeof entry->comment));
            dialog.m_doNotSavePaper = (entry->profileFlags & kProfileKeepsPaper) ? 1 : 0;
            dialog.m_checkBoxEnabled = 0;
            if (dialog.DoModal() != IDOK) continue;
            const ProfileEntry renamed =
                EntryOf(dialog.m_name.str(), dialog.m_comment.str(), dialog.m_doNotSavePaper != 0);
            copied = CopyProfile(store_.get(), &imported, entry, &renamed, FALSE) != FALSE;
        }
        if (!copied) ReportStoreError(*store_);
        // The imported file's list stays valid: only the store was written.
    }
    Refresh();
}

void CProfileMain::OnExport() {
    SheetContext* c = Context();
    if (!c || SelectedKind() != kSaved) return;
    const std::u16string name = SelectedText();
    const std::u16string extension = Text(c->resourceModule, kExtension);
    const std::u16string proposed = HasForbiddenCharacters(c->resourceModule, name.c_str())
                                        ? u"*" + extension
                                        : name + extension;
    const std::u16string path = AskPath(true, kExportTitle, proposed);
    if (path.empty()) return;
    if (IsStoreFile(path)) {
        Tell(kExportSelf, kExportTitle, MB_OK | MB_ICONSTOP);
        return;
    }
    // An existing file is replaced only when the user says so.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ProfileFile existing(&c->model, path);
        const std::u16string shown =
            existing.FindProfileW(name.c_str()) ? name : path.substr(path.find_last_of(u'\\') + 1);
        if (Tell(kAskReplace, kExportTitle, MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                 shown) != IDYES)
            return;
    }
    // The file is written once, holding the selected profile alone.
    ProfileEntry entry{};
    SetFieldText(entry.name, sizeof entry.name, WideToAnsiString(name));
    DEVMODE_IMAGEA ansi{};
    ansi.dm.dmSize = DEVMODEA_SIZE;
    ansi.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    DWORD version = 0;
    ProfileFile target(&c->model, path);
    const bool written = store_->ReadProfile(entry.name, &ansi.dm, &entry, &version) &&
                         MigrateAnsiProfile(store_.get(), &ansi, version) &&
                         target.WriteSingleProfile(&ansi.dm, &entry);
    if (!written) Tell(kCannotSave, kExportTitle, MB_OK | MB_ICONSTOP);
}

} // namespace sheetwright
