#include "overlay_dlg.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "control_states.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "list_helpers.h"
#include "overlay_file.h"
#include "sheet_help.h"
#include "watermark_file.h"
#include "watermark_record.h"
#include "win/emf.h"
#include "win/files.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

using print_effects::TerminateAnsiField;

constexpr DWORD kStringCaption = 5411, kStringDeleteAsk = 5412, kStringForbiddenText = 5413;
constexpr DWORD kStringTypeName = 5414, kStringMakeCaption = 5415, kStringUnreadable = 5416;
constexpr DWORD kStringForbidden = 4000;
constexpr DWORD kMissingPicture = 2680;
constexpr WORD kFirstUserPaperId = 456;
constexpr COLORREF kPageFrame = 0xA00000;
constexpr UINT kHelpMakeDialog = 401;

const ComboRow kPageRows[] = {
    {5400, 0, 0, 0}, {5401, 0, 2, 0}, {5402, 0, 1, 0}, {5403, 0, 3, 0}, {5404, 0, 4, 0}};
const ComboRow kLayerRows[] = {{5405, 0, 0, 0}, {5406, 0, 1, 0}};

bool SameText(const std::u16string& a, const std::u16string& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

} // namespace

OverlayChoice OverlayChoiceOf(const DEVMODE_IMAGEW& image) {
    OverlayChoice c;
    const PRIVATE_DEVMODE& p = image.priv;
    c.flags = p.OverlayFlags;
    // A device mode cannot both make and print with an overlay: printing
    // loses no job.
    if ((c.flags & (kOverlayMake | kOverlayPrint)) == (kOverlayMake | kOverlayPrint))
        c.flags &= ~kOverlayMake;
    c.pages = p.OverlayPages <= 4 ? p.OverlayPages : 0;
    c.onTop = p.OverlayOnTop <= 1 ? p.OverlayOnTop : 0;
    std::memcpy(c.makeName, p.OverlayMakeName, sizeof c.makeName);
    std::memcpy(c.useName, p.OverlayUseName, sizeof c.useName);
    TerminateAnsiField(c.makeName, sizeof c.makeName);
    TerminateAnsiField(c.useName, sizeof c.useName);
    return c;
}

void PutOverlayChoice(const OverlayChoice& c, DEVMODE_IMAGEW* image) {
    PRIVATE_DEVMODE& p = image->priv;
    p.OverlayFlags = c.flags;
    p.OverlayPages = c.pages;
    p.OverlayOnTop = c.onTop;
    std::memcpy(p.OverlayMakeName, c.makeName, sizeof p.OverlayMakeName);
    std::memcpy(p.OverlayUseName, c.useName, sizeof p.OverlayUseName);
}

std::u16string OverlayListName(const std::u16string& fileName) {
    static const std::u16string kEnding = u".POL";
    if (fileName.size() <= kEnding.size()) return {};
    const std::u16string ending = fileName.substr(fileName.size() - kEnding.size());
    if (!SameText(ending, kEnding)) return {};
    const std::u16string name = fileName.substr(0, fileName.size() - kEnding.size());
    const std::string ansi = WideToAnsiString(name);
    // The name must travel in a 64-byte device-mode field and name this file again.
    if (ansi.empty() || ansi.size() >= 64 || AnsiToWide(ansi.data(), ansi.size()) != name)
        return {};
    return name;
}

BEGIN_MESSAGE_MAP(COverlay, CLocalDlg)
ON_BN_CLICKED(COverlay::kPrintRadio, OnPrintRadio)
ON_BN_CLICKED(COverlay::kMakeRadio, OnMakeRadio)
ON_LBN_SELCHANGE(COverlay::kList, OnListChange)
ON_EN_CHANGE(COverlay::kName, OnNameChange)
ON_EN_KILLFOCUS(COverlay::kName, OnNameKillFocus)
ON_CBN_SELCHANGE(COverlay::kPages, OnPagesChange)
ON_CBN_SELCHANGE(COverlay::kLayer, OnLayerChange)
ON_BN_CLICKED(COverlay::kDelete, OnDelete)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_WM_DRAWITEM()
ON_MESSAGE(COverlay::kMsgReportUnreadable, OnReportUnreadable)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

COverlay::COverlay(SheetContext* context, const OverlayChoice& choice, CWnd* parent)
    : CLocalDlg(kOverlayDialog, parent), context_(context), choice_(choice) {
    if ((choice_.flags & (kOverlayMake | kOverlayPrint)) == (kOverlayMake | kOverlayPrint))
        choice_.flags &= ~kOverlayMake;
    TerminateAnsiField(choice_.makeName, sizeof choice_.makeName);
    TerminateAnsiField(choice_.useName, sizeof choice_.useName);
}

std::u16string COverlay::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

std::u16string COverlay::Folder() const {
    if (!context_ || !context_->userFolder[0]) return {};
    std::u16string folder(reinterpret_cast<const char16_t*>(context_->userFolder));
    if (folder.back() != u'\\') folder += u'\\';
    return folder;
}

BOOL COverlay::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) keyDown_ = true;
    if (msg->message == WM_KEYUP) keyDown_ = false;
    return CLocalDlg::PreTranslateMessage(msg);
}

BOOL COverlay::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    HWND preview = Item(kPreview);
    ::SetWindowLongW(preview, GWL_STYLE,
                     (::GetWindowLongW(preview, GWL_STYLE) & ~0x1F) | SS_OWNERDRAW);
    nameEdit_.SubclassDlgItem(kName, this);
    ::SendMessageW(Item(kName), EM_LIMITTEXT, 63, 0);
    FillList();
    HMODULE resources = context_ ? context_->resourceModule : AfxGetResourceHandle();
    FillComboFromRows(resources, Item(kPages), kPageRows, 5);
    FillComboFromRows(resources, Item(kLayer), kLayerRows, 2);
    Refresh();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void COverlay::FillList() {
    HWND list = Item(kList);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    const std::u16string folder = Folder();
    if (folder.empty()) return;
    const std::u16string pattern = folder + u"*.POL";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::u16string name = OverlayListName(found.cFileName);
        if (name.empty()) continue;
        // The header as the spool side reads it: magic and version.
        const std::u16string path = folder + found.cFileName;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        BYTE header[print_effects::kOverlayHeaderSize] = {};
        DWORD read = 0;
        const BOOL ok = ReadFile(file, header, sizeof header, &read, nullptr);
        CloseHandle(file);
        print_effects::OverlayHeader parsed;
        if (!ok || read != sizeof header ||
            !print_effects::ReadOverlayHeader(header, read, &parsed, nullptr))
            continue;
        const LRESULT at =
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (at >= 0) ::SendMessageW(list, LB_SETITEMDATA, at, 1);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void COverlay::SyncList() {
    HWND list = Item(kList);
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    const bool print = (choice_.flags & kOverlayPrint) != 0;
    auto itemText = [&](LRESULT i) {
        WCHAR text[128] = {};
        if (::SendMessageW(list, LB_GETTEXTLEN, i, 0) < 128)
            ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        return std::u16string(text);
    };
    if (!choice_.useName[0]) {
        if (!print) ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    } else {
        const std::u16string use = AnsiField(choice_.useName, 64);
        LRESULT match = -1;
        for (LRESULT i = 0; i < count && match < 0; ++i)
            if (SameText(itemText(i), use)) match = i;
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(match), 0);
        if (match < 0 && count > 0) {
            LRESULT selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
            PutAnsiField(choice_.useName, 64, itemText(selected >= 0 ? selected : 0));
        }
    }
    if (print && count > 0 && ::SendMessageW(list, LB_GETCURSEL, 0, 0) < 0) {
        ::SendMessageW(list, LB_SETCURSEL, 0, 0);
        OnListChange();
    }
}

void COverlay::Refresh() {
    HWND list = Item(kList);
    if (::SendMessageW(list, LB_GETCOUNT, 0, 0) <= 0) std::memset(choice_.useName, 0, 64);
    ::EnableWindow(Item(kPrintRadio), TRUE);
    ::EnableWindow(Item(kMakeRadio), TRUE);
    ::CheckDlgButton(m_hWnd, kPrintRadio,
                     (choice_.flags & kOverlayPrint) ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, kMakeRadio,
                     (choice_.flags & kOverlayMake) ? BST_CHECKED : BST_UNCHECKED);
    auto show = [&](int id, bool visible, bool enabled) {
        ::ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE);
        ::EnableWindow(Item(id), enabled);
    };
    if (choice_.flags & kOverlayMake) {
        SyncList();
        show(kNameLabel, true, true);
        show(kName, true, true);
        const std::u16string make = AnsiField(choice_.makeName, 64);
        WCHAR current[128] = {};
        ::GetWindowTextW(Item(kName), current, 128);
        if (make != current) ::SetWindowTextW(Item(kName), make.c_str());
        for (int id : {kGroup, kPagesLabel, kLayerLabel, kPages, kLayer})
            show(id, false, id == kPages || id == kLayer || id == kGroup);
        ::EnableWindow(Item(kDelete), ::SendMessageW(list, LB_GETCURSEL, 0, 0) >= 0);
    } else if (choice_.flags & kOverlayPrint) {
        SyncList();
        show(kNameLabel, false, false);
        show(kName, false, false);
        SelectComboByData(Item(kPages), choice_.pages);
        SelectComboByData(Item(kLayer), choice_.onTop);
        const bool selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0) >= 0;
        for (int id : {kGroup, kPagesLabel, kLayerLabel, kPages, kLayer})
            show(id, true, selected);
        ::EnableWindow(Item(kDelete), selected);
    }
    if (context_ && IsSheetReadOnly(context_)) DisableAllChildren(context_, m_hWnd);
}

void COverlay::RepaintPreview() {
    ::InvalidateRect(Item(kPreview), nullptr, TRUE);
}

void COverlay::OnMakeRadio() {
    if (!(choice_.flags & kOverlayMake)) {
        std::memset(choice_.makeName, 0, 64);
        std::memset(choice_.useName, 0, 64);
    }
    choice_.flags = (choice_.flags | kOverlayMake) & ~kOverlayPrint;
    Refresh();
    RepaintPreview();
}

void COverlay::OnPrintRadio() {
    choice_.flags = (choice_.flags | kOverlayPrint) & ~kOverlayMake;
    Refresh();
    RepaintPreview();
}

void COverlay::OnListChange() {
    HWND list = Item(kList);
    const LRESULT at = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (at >= 0 && ::SendMessageW(list, LB_GETITEMDATA, at, 0) != 0) {
        WCHAR text[128] = {};
        if (::SendMessageW(list, LB_GETTEXTLEN, at, 0) < 128)
            ::SendMessageW(list, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text));
        reportUnreadable_ = true;
        PutAnsiField(choice_.useName, 64, text);
        if (!keyDown_) PutAnsiField(choice_.makeName, 64, text);
    } else {
        std::memset(choice_.useName, 0, 64);
    }
    Refresh();
    RepaintPreview();
}

void COverlay::OnNameChange() {
    WCHAR text[128] = {};
    ::GetWindowTextW(Item(kName), text, 128);
    PutAnsiField(choice_.makeName, 64, text);
}

void COverlay::OnNameKillFocus() {
    WCHAR text[128] = {};
    ::GetWindowTextW(Item(kName), text, 128);
    const std::u16string make = AnsiField(choice_.makeName, 64);
    if (make != text) ::SetWindowTextW(Item(kName), make.c_str());
}

void COverlay::OnPagesChange() {
    const LRESULT data = GetComboSelData(Item(kPages));
    if (data >= 0) choice_.pages = static_cast<WORD>(data);
    Refresh();
}

void COverlay::OnLayerChange() {
    const LRESULT data = GetComboSelData(Item(kLayer));
    if (data >= 0) choice_.onTop = static_cast<WORD>(data);
    Refresh();
}

void COverlay::OnDelete() {
    if (!choice_.useName[0] || (context_ && IsSheetReadOnly(context_))) return;
    if (::SendMessageW(Item(kList), LB_GETCURSEL, 0, 0) < 0) return;
    const std::u16string use = AnsiField(choice_.useName, 64);
    const std::u16string text = WithTextArgument(String(kStringDeleteAsk), use);
    const std::u16string caption = String(kStringCaption);
    if (::MessageBoxW(m_hWnd, text.c_str(), caption.c_str(),
                      MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) != IDYES)
        return;
    const std::u16string path = Folder() + use + u".POL";
    if (!DeleteFileW(path.c_str())) return;
    FillList();
    WCHAR first[128] = {};
    if (::SendMessageW(Item(kList), LB_GETCOUNT, 0, 0) > 0 &&
        ::SendMessageW(Item(kList), LB_GETTEXTLEN, 0, 0) < 128)
        ::SendMessageW(Item(kList), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
    PutAnsiField(choice_.useName, 64, first);
    Refresh();
    RepaintPreview();
}

void COverlay::OnOK() {
    if ((choice_.flags & kOverlayPrint) && !choice_.useName[0]) choice_.flags &= ~kOverlayPrint;
    if (choice_.flags & kOverlayMake) {
        auto refuse = [&](const std::u16string& message, bool selectAll) {
            const std::u16string caption = String(kStringMakeCaption);
            ::MessageBoxW(m_hWnd, message.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
            ::SetFocus(Item(kName));
            if (selectAll) ::SendMessageW(Item(kName), EM_SETSEL, 0, -1);
        };
        if (!choice_.makeName[0]) {
            refuse(String(kStringTypeName), false);
            return;
        }
        const std::u16string make = AnsiField(choice_.makeName, 64);
        if (HasForbiddenCharacters(context_ ? context_->resourceModule : nullptr, make.c_str()) ||
            !print_effects::IsBareOverlayName(choice_.makeName)) {
            refuse(WithTextArgument(String(kStringForbiddenText), String(kStringForbidden)), true);
            return;
        }
    }
    EndDialog(IDOK);
}

bool COverlay::DrawOverlay(HDC dc, const RECT& square) {
    const std::u16string use = AnsiField(choice_.useName, 64);
    std::vector<uint8_t> bytes;
    const std::string path = WideToAnsiString(Folder() + use + u".POL");
    if (!print_effects::ReadOverlayFileWhole(path, &bytes)) return false;
    print_effects::OverlayHeader header;
    const uint8_t* bits = nullptr;
    size_t bitsSize = 0;
    // The reader holds the metafile to the file's own offset and size.
    if (!print_effects::ReadOverlayFile(bytes.data(), bytes.size(), &header, &bits, &bitsSize,
                                        nullptr))
        return false;
    // Sizes of 0 or less are unknown. Paper 0 has only the header's sizes;
    // a user paper its own where they are known; a model paper its record.
    LONG width = static_cast<SHORT>(header.paperWidth);
    LONG length = static_cast<SHORT>(header.paperLength);
    const WORD paper = header.paperSize;
    const bool known = width > 0 && length > 0;
    if (paper != 0 && (paper < kFirstUserPaperId || !known)) {
        width = length = 0;
        model::PaperRecordAnswer record{};
        if (context_ && GetPaperRecord(&context_->model, context_->userPapers, paper, &record)) {
            width = record.width;
            length = record.length;
        }
    }
    if (width <= 0 || length <= 0) return false;
    WORD maxWidth = 2970, maxLength = 4318;
    if (context_) {
        WORD w = 0, l = 0;
        if (GetCustomPaperMaximum(&context_->model, &w, &l, FALSE) && w && l) {
            maxWidth = w;
            maxLength = l;
        }
        if ((width > maxWidth || length > maxLength) &&
            GetCustomPaperMaximum(&context_->model, &w, &l, TRUE) && w && l) {
            maxWidth = w;
            maxLength = l;
        }
    }
    width = std::min<LONG>(width, maxWidth);
    length = std::min<LONG>(length, maxLength);
    LONG horizontal = width, vertical = length, maxH = maxWidth, maxV = maxLength;
    if (header.orientation != 1) {
        std::swap(horizontal, vertical);
        std::swap(maxH, maxV);
    }
    const LONG side = square.right - square.left;
    const LONG scale = std::min<LONG>(side * 800 / maxH, side * 800 / maxV);
    const LONG pw = horizontal * scale / 1000, ph = vertical * scale / 1000;
    if (pw <= 0 || ph <= 0) return false;
    HENHMETAFILE metafile = SetEnhMetaFileBits(static_cast<UINT>(bitsSize), bits);
    if (!metafile) return false;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP picture = memory ? CreateCompatibleBitmap(dc, pw, ph) : nullptr;
    bool played = false;
    if (picture) {
        HGDIOBJ old = SelectObject(memory, picture);
        RECT page{0, 0, pw, ph};
        HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
        FillRect(memory, &page, window);
        DeleteObject(window);
        played = PlayEnhMetaFile(memory, metafile, &page) != FALSE;
        HPEN pen = CreatePen(PS_SOLID, 2, kPageFrame);
        HGDIOBJ oldPen = SelectObject(memory, pen);
        HGDIOBJ oldBrush = SelectObject(memory, GetStockObject(NULL_BRUSH));
        Rectangle(memory, 0, 0, pw, ph);
        SelectObject(memory, oldBrush);
        SelectObject(memory, oldPen);
        DeleteObject(pen);
        if (played)
            BitBlt(dc, square.left + side / 2 - pw / 2, square.top + side / 2 - ph / 2, pw, ph,
                   memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteObject(picture);
    }
    if (memory) DeleteDC(memory);
    DeleteEnhMetaFile(metafile);
    return played;
}

void COverlay::OnDrawItem(int id, LPDRAWITEMSTRUCT item) {
    if (id != kPreview || !item) return;
    const RECT& r = item->rcItem;
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(item->hDC, &r, face);
    DeleteObject(face);
    if (!choice_.useName[0]) return;
    const LONG side = std::min(r.right - r.left, r.bottom - r.top);
    const RECT square{r.left, r.top, r.left + side, r.top + side};
    if (DrawOverlay(item->hDC, square)) return;
    ++placeholders_;
    if (HBITMAP missing = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kMissingPicture))) {
        BITMAP info{};
        GetObjectW(missing, sizeof info, &info);
        HDC source = CreateCompatibleDC(item->hDC);
        HGDIOBJ old = SelectObject(source, missing);
        BitBlt(item->hDC, (r.left + r.right - info.bmWidth) / 2,
               (r.top + r.bottom - info.bmHeight) / 2, info.bmWidth, info.bmHeight, source, 0, 0,
               SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        DeleteObject(missing);
    }
    // The message waits until the paint is over: a message box inside the
    // paint would paint this control again beneath it.
    if (reportUnreadable_) {
        reportUnreadable_ = false;
        ::PostMessageW(m_hWnd, kMsgReportUnreadable, 0, 0);
    }
}

LRESULT COverlay::OnReportUnreadable(WPARAM, LPARAM) {
    const std::u16string text = String(kStringUnreadable), caption = String(kStringCaption);
    ::MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    return 0;
}

void COverlay::OnHelpButton() {
    if (!context_) return;
    const UINT topic = (choice_.flags & kOverlayPrint) ? kOverlayDialog : kHelpMakeDialog;
    OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(topic));
}

LRESULT COverlay::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT COverlay::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

} // namespace sheetwright
