#include "about_page.h"

#include <algorithm>
#include <cstring>
#include <cstdarg>
#include <cwctype>
#include <vector>

#include "driver_env.h"
#include "link_rules.h"
#include "list_helpers.h"
#include "localize.h"
#include "model/modelsmith.h"
#include "model_data_header.h"
#include "model_info.h"
#include "resbundle_ids.h"
#include "win/base.h"
#include "win/environment.h"
#include "win/files.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/ini.h"
#include "win/resources.h"
#include "win/spool.h"
#include "win/strings.h"
#include "win/user.h"

namespace sheetwright {
namespace {

constexpr int kSeparatorId = IDC_SUPPORT_SEPARATOR;
constexpr int kProductId = IDC_SUPPORT_PRODUCT;
constexpr int kFileListId = IDC_SUPPORT_FILE_LIST;
constexpr int kPictureId = IDC_SUPPORT_PICTURE;
constexpr int kStatusButtonId = IDC_SUPPORT_STATUS_BUTTON;
constexpr int kDownloadButtonId = IDC_SUPPORT_DOWNLOAD_BUTTON;
constexpr int kContactsButtonId = IDC_SUPPORT_CONTACTS_BUTTON;
constexpr int kStatusTextId = IDC_SUPPORT_STATUS_TEXT;

constexpr DWORD kStringFolder = 3053;
constexpr DWORD kStringProduct = 3055;
constexpr DWORD kStringDefaultVersion = 3056;
constexpr WORD kHandCursor = 2000;
constexpr WORD kDefaultPicture = 2521;
constexpr WORD kPictureEntry = 2;
constexpr WORD kPictureLinkEntry = 1;
constexpr WORD kDownloadLinkEntry = 2;
// The component entries that name the driver's version file.
constexpr WORD kVersionFileComponents[] = {7, 31};
constexpr size_t kLinkLimit = 300;
constexpr size_t kVersionLimit = 256;
constexpr BYTE kStatusPageFlag = 1u << 3;
constexpr DWORD kUrlJumpView = 2;

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kGrey = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kDarkGrey = RGB(0x40, 0x40, 0x40);

std::u16string Upper(std::u16string text) {
    for (char16_t& c : text)
        if (c < 0x80) c = static_cast<char16_t>(std::towupper(c));
    return text;
}

std::u16string ModelText(const ModelBlock* binding, WORD query) {
    const std::string text = CModelInfo(binding, query, 0, kTextLayout).Text();
    return AnsiToWide(text.c_str(), text.size());
}

// The text of a link entry: it starts at the entry's third byte.
std::u16string LinkText(const ModelBlock* binding, WORD entry) {
    CModelInfo info(binding, model::kQuerySupportLinks, entry, model::layout::kEntryList);
    const auto* data = static_cast<const char*>(info.GetData());
    if (!data || info.Length() <= 2) return {};
    const char* text = data + 2;
    const size_t length = strnlen(text, std::min<size_t>(info.Length() - 2, kLinkLimit));
    return AnsiToWide(text, length);
}

// Our own resource strings' "%s" in order, each value taken as it stands.
std::u16string FillPlaceholders(const std::u16string& format,
                                const std::vector<std::u16string>& values) {
    std::u16string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            if (next < values.size()) out += values[next++];
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::u16string Format(LPCWSTR format, ...) {
    char16_t buffer[512] = {};
    va_list args;
    va_start(args, format);
    wvsprintfW(buffer, format, args);
    va_end(args);
    return buffer;
}

void Open(HWND owner, const std::u16string& link) {
    if (IsOpenableWebLink(link))
        ShellExecuteW(owner, u"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

bool IsOpenableWebLink(const std::u16string& link) {
    return link_rules::IsWebAddress(link);
}

std::u16string MailLink(const std::u16string& address) {
    return link_rules::MailLink(address);
}

std::u16string ReplaceFirstPlaceholder(const std::u16string& text, const std::u16string& value) {
    const size_t at = text.find(u"%s");
    if (at == std::u16string::npos) return text;
    return text.substr(0, at) + value + text.substr(at + 2);
}

std::u16string DriverFileLine(const std::u16string& folder, const std::u16string& file,
                              const void* modelData, size_t modelSize) {
    std::u16string path;
    if (folder.empty())
        path = file;
    else if (folder.back() == u'\\')
        path = folder + file;
    else
        path = folder + u"\\" + file;
    std::u16string version;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size) {
        std::vector<BYTE> block(size);
        void* value = nullptr;
        UINT length = 0;
        if (GetFileVersionInfoW(path.c_str(), 0, size, block.data()) &&
            VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length) &&
            length >= 4) {
            const auto* words = static_cast<const WORD*>(value);
            const std::u16string key =
                Format(u"\\StringFileInfo\\%04X%04X\\FileVersion", words[0], words[1]);
            if (VerQueryValueW(block.data(), key.c_str(), &value, &length) && length > 0) {
                const auto* text = static_cast<const char16_t*>(value);
                version.assign(text, std::char_traits<char16_t>::length(text));
            }
        }
    }
    if (version.empty()) {
        const bool modelFile =
            file.size() >= 4 && Upper(file.substr(file.size() - 4)) == u".SPC" && modelData;
        if (modelFile && modelSize >= 20) {
            const auto* b = static_cast<const BYTE*>(modelData);
            version = Format(u"%d.%02d.%03d.%03d", b[19], b[18], b[17], b[16]);
        } else if (!modelFile) {
            WIN32_FIND_DATAW data{};
            FILETIME local{};
            SYSTEMTIME when{};
            HANDLE found = FindFirstFileW(path.c_str(), &data);
            if (found != INVALID_HANDLE_VALUE) {
                FindClose(found);
                if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
                    FileTimeToSystemTime(&local, &when))
                    version = Format(u"%04d.%02d.%02d", when.wYear, when.wMonth, when.wDay);
            }
        }
    }
    return Upper(version.empty() ? file : file + u"\t" + version);
}

BEGIN_MESSAGE_MAP(CAboutDlg, CPropPage)
ON_BN_CLICKED(kPictureId, OnPicture)
ON_BN_CLICKED(kStatusButtonId, OnStatusPage)
ON_BN_CLICKED(kDownloadButtonId, OnDownload)
ON_BN_CLICKED(kContactsButtonId, OnContacts)
ON_WM_DRAWITEM()
// By handle: no temporary window objects for what is asked many times a second.
AFX_MSG_ENTRY(
    WM_SETCURSOR, 0, 0, 0, if (self->OnSetCursorOver(reinterpret_cast<HWND>(wParam))) {
        *result = TRUE;
        return TRUE;
    } return FALSE;)
AFX_MSG_ENTRY(
    WM_CTLCOLORSTATIC, 0, 0, 0,
    if (HBRUSH b = self->ColorsOf(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        *result = reinterpret_cast<LRESULT>(b);
        return TRUE;
    } return FALSE;)
AFX_MSG_ENTRY(
    WM_CTLCOLOREDIT, 0, 0, 0,
    if (HBRUSH b = self->ColorsOf(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
        *result = reinterpret_cast<LRESULT>(b);
        return TRUE;
    } return FALSE;)
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(SheetContext* context) : CPropPage(kPageSupport, context) {}

CAboutDlg::~CAboutDlg() {
    if (picture_) DeleteObject(picture_);
    for (HBRUSH brush : {greyBrush_, separatorBrush_, listBrush_})
        if (brush) DeleteObject(brush);
}

BOOL CAboutDlg::OnInitDialog() {
    CPropPage::OnInitDialog();
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version)) {
        isNt_ = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
        isWin2000_ = isNt_ && version.dwMajorVersion >= 5;
    }
    SheetContext* c = Context();
    if (!c) return TRUE;
    {
        CModelInfo flags(&c->model, model::kQueryFeatureFlags, 0, 1);
        statusOffered_ = flags.GetData() && (flags.U8(0) & kStatusPageFlag) != 0;
    }
    hand_ = LoadCursorW(c->resourceModule, MAKEINTRESOURCEW(kHandCursor));
    greyBrush_ = CreateSolidBrush(kGrey);
    separatorBrush_ = CreateSolidBrush(kGrey);
    listBrush_ = CreateSolidBrush(kDarkGrey);
    for (int id : {kStatusButtonId, kStatusTextId})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), statusOffered_ ? SW_SHOW : SW_HIDE);
    pictureLink_ = LinkText(&c->model, kPictureLinkEntry);
    downloadLink_ = LinkText(&c->model, kDownloadLinkEntry);
    LayOut();
    FillProductText();
    FillFileList();
    DWORD tab = 80;
    ::SendDlgItemMessageW(m_hWnd, kFileListId, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab));
    HWND picture = ::GetDlgItem(m_hWnd, kPictureId);
    if (Tooltip() && picture && !pictureLink_.empty()) {
        std::u16string storage;
        AddToolTip(c->resourceModule, Tooltip(), picture,
                   reinterpret_cast<ULONG_PTR>(pictureLink_.c_str()), &storage);
    }
    if (picture) ::SetWindowTextW(picture, pictureLink_.c_str());
    return TRUE;
}

BOOL CAboutDlg::OnSetActive() {
    if (SheetContext* c = Context()) {
        const std::u16string address = AnsiToWide(
            c->portInfo.address, strnlen(c->portInfo.address, sizeof c->portInfo.address));
        if (c->portInfo.addressKind == kPortAddressHost && !address.empty())
            statusUrl_ = u"http://" + address;
        else if (c->portInfo.addressKind == kPortAddressWithPort && !address.empty())
            statusUrl_ = u"http://[" + address + u"]";
        else
            statusUrl_.clear();
        ::EnableWindow(::GetDlgItem(m_hWnd, kStatusButtonId), !statusUrl_.empty());
    }
    return CPropPage::OnSetActive();
}

void CAboutDlg::OnPicture() {
    Open(m_hWnd, pictureLink_);
}

void CAboutDlg::OnStatusPage() {
    Open(m_hWnd, statusUrl_);
}

void CAboutDlg::OnDownload() {
    Open(m_hWnd, downloadLink_);
}

void CAboutDlg::OnContacts() {
    ShowUrlJumpDialog(kUrlJumpView);
}

HBITMAP CAboutDlg::Picture() {
    SheetContext* c = Context();
    if (picture_ || !c) return picture_;
    CModelInfo entry(&c->model, model::kQueryResourceIds, kPictureEntry, model::layout::kEntryList);
    const WORD id = entry.GetData() && entry.U16(2) ? entry.U16(2) : kDefaultPicture;
    picture_ = LoadBitmapW(c->resourceModule, MAKEINTRESOURCEW(id));
    return picture_;
}

void CAboutDlg::OnDrawItem(int id, LPDRAWITEMSTRUCT item) {
    if (id != kPictureId || !item) return;
    HBITMAP bitmap = Picture();
    if (!bitmap) return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(item->hDC);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const RECT& r = item->rcItem;
    BitBlt(item->hDC, r.left, r.top, std::min<LONG>(info.bmWidth, r.right - r.left),
           std::min<LONG>(info.bmHeight, r.bottom - r.top), memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

BOOL CAboutDlg::OnSetCursorOver(HWND window) {
    if (!window || window != ::GetDlgItem(m_hWnd, kPictureId) || !hand_ || pictureLink_.empty())
        return FALSE;
    SetCursor(hand_);
    return TRUE;
}

HBRUSH CAboutDlg::ColorsOf(HDC dc, HWND control) {
    const int id = control ? ::GetDlgCtrlID(control) : 0;
    HBRUSH brush = id == kProductId     ? greyBrush_
                   : id == kSeparatorId ? separatorBrush_
                   : id == kFileListId  ? listBrush_
                                        : nullptr;
    if (!brush || !dc) return nullptr;
    SetTextColor(dc, kWhite);
    SetBkColor(dc, id == kFileListId ? kDarkGrey : kGrey);
    return brush;
}

// The picture decides the left column: its button takes the bitmap's width
// and, above the status button, its height; the texts on the right move
// left and widen by what the button gave up.
void CAboutDlg::LayOut() {
    HBITMAP bitmap = Picture();
    HWND button = ::GetDlgItem(m_hWnd, kPictureId);
    HWND status = ::GetDlgItem(m_hWnd, kStatusButtonId);
    BITMAP info{};
    if (!bitmap || !button || !status || !GetObjectW(bitmap, sizeof info, &info)) return;
    auto place = [&](HWND w) {
        RECT r{};
        ::GetWindowRect(w, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT picture = place(button), below = place(status);
    RECT client{};
    ::GetClientRect(button, &client);
    const LONG height = std::min<LONG>(info.bmHeight, below.top - 10 - picture.top);
    const LONG shift = client.right - info.bmWidth;
    ::SetWindowPos(button, nullptr, 0, 0, info.bmWidth, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : {kSeparatorId, kProductId, kFileListId}) {
        HWND w = ::GetDlgItem(m_hWnd, id);
        if (!w) continue;
        const RECT r = place(w);
        const LONG bottom = id == kFileListId ? picture.top + height : r.bottom;
        ::SetWindowPos(w, nullptr, r.left - shift, r.top, r.right - r.left + shift, bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CAboutDlg::FillProductText() {
    SheetContext* c = Context();
    if (!c || !c->localize) return;
    std::u16string a = ModelText(&c->model, model::kQuerySupportText);
    std::u16string b = ModelText(&c->model, model::kQuerySupportText2);
    if (b.empty()) b = ModelText(&c->model, model::kQueryModelName);
    const std::u16string cText = ModelText(&c->model, model::kQueryFirstModelName);
    std::u16string d = ModelText(&c->model, model::kQuerySupportText3);
    // The model's text is never a format: its first "%s" takes A as it stands.
    if (d.find(u"%s") != std::u16string::npos) {
        d = ReplaceFirstPlaceholder(d, a);
        a = u" ";
    }
    std::u16string version;
    const std::u16string folder = GetDriverFolder(c->printer);
    for (WORD component : kVersionFileComponents) {
        CModelInfo entry(&c->model, model::kQueryComponents, component,
                         model::layout::kComponentList);
        auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
        if (!answer || entry.Length() < sizeof *answer || answer->id != component) continue;
        const std::u16string file =
            ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
        if (file.empty() || folder.empty()) break;
        char16_t text[kVersionLimit] = {};
        GetPrivateProfileStringW(u"Version", u"DriverVersion", u"", text, kVersionLimit,
                                 (folder + file).c_str());
        version = text;
        break;
    }
    if (version.empty()) {
        std::u16string format;
        c->localize->LoadString(kStringDefaultVersion, &format);
        version = Format(format.c_str(), 5, 1, 5, 1, u".050");
    }
    std::u16string format;
    c->localize->LoadString(kStringProduct, &format);
    const std::u16string text = FillPlaceholders(format, {cText, b, u"", version, d, a});
    ::SetDlgItemTextW(m_hWnd, kProductId, text.c_str());
}

void CAboutDlg::FillFileList() {
    SheetContext* c = Context();
    if (!c || !c->localize || !c->printer) return;
    DWORD needed = 0;
    GetPrinterDriverW(c->printer, nullptr, 3, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_3W)) return;
    std::vector<BYTE> block(needed);
    if (!GetPrinterDriverW(c->printer, nullptr, 3, block.data(), needed, &needed)) return;
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.data());
    std::u16string folder = info->pDriverPath ? info->pDriverPath : u"";
    const size_t slash = folder.rfind(u'\\');
    folder = slash == std::u16string::npos ? std::u16string() : folder.substr(0, slash);
    std::u16string format;
    c->localize->LoadString(kStringFolder, &format);
    std::u16string text = ReplaceFirstPlaceholder(format, folder);
    const void* modelData = c->model.modelData;
    const size_t modelSize = modelData ? GlobalSize(c->model.modelData) : 0;
    auto add = [&](LPCWSTR path) {
        if (!path || !*path) return;
        std::u16string name = path;
        const size_t cut = name.rfind(u'\\');
        if (cut != std::u16string::npos) name = name.substr(cut + 1);
        text += u"\r\n" + DriverFileLine(folder, name, modelData, modelSize);
    };
    if (isWin2000_) {
        add(info->pDriverPath);
        add(info->pConfigFile);
        add(info->pDataFile);
        add(info->pHelpFile);
    }
    // The dependent files, a list of names each ended by a zero, within the block.
    const auto* end = reinterpret_cast<const char16_t*>(block.data() + block.size());
    const char16_t* file = info->pDependentFiles;
    if (file < reinterpret_cast<const char16_t*>(block.data()) || file >= end) file = nullptr;
    while (file && file < end && *file) {
        const char16_t* stop = std::find(file, end, u'\0');
        if (stop == end) break;
        add(std::u16string(file, stop).c_str());
        file = stop + 1;
    }
    ::SetDlgItemTextW(m_hWnd, kFileListId, text.c_str());
}

} // namespace sheetwright
