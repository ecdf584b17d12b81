// The common dialogs: file open and save, font and colour. No dialog is
// shown; each call is logged and answered by the script a test registered,
// and the answer goes through the checks the dialog itself makes before it
// closes (a file that must exist, the overwrite question, a size limit, the
// caller's buffer) so that the program sees what the system would give it.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/commdlg.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"

namespace platform::user {
namespace {

// Screen pixels per inch, for a font's height when no device is named.
constexpr int kScreenDpi = 96;
constexpr int kTenthsPerPoint = 10;
constexpr int kPointsPerInch = 72;
// A filter longer than this is not a filter (a missing double zero).
constexpr size_t kLongestFilter = 32768;

struct Dialogs {
    std::mutex lock;
    std::deque<test::CommonDialogScript> scripts;
    std::vector<test::CommonDialogCall> log;
};

Dialogs& D() {
    static Dialogs* d = new Dialogs;
    return *d;
}

void ResetDialogs() {
    std::lock_guard lock(D().lock);
    D().scripts.clear();
    D().log.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetDialogs), true);
    (void)registered;
}

thread_local DWORD tError = 0;

const char* KindName(test::CommonDialogCall::Kind kind) {
    switch (kind) {
    case test::CommonDialogCall::Open:
        return "open-file dialog";
    case test::CommonDialogCall::Save:
        return "save-file dialog";
    case test::CommonDialogCall::Font:
        return "font dialog";
    default:
        return "colour dialog";
    }
}

// Logs the call and runs the next script; nullopt-like false when none.
bool Ask(const test::CommonDialogCall& call, test::CommonDialogAnswer* answer) {
    EnsureReset();
    test::CommonDialogScript script;
    {
        std::lock_guard lock(D().lock);
        D().log.push_back(call);
        if (!D().scripts.empty()) {
            script = std::move(D().scripts.front());
            D().scripts.pop_front();
        }
    }
    LogSeamCall(std::string(KindName(call.kind)) + " \"" + platform::ToUtf8(call.title) + "\"");
    if (!script) {
        ReportUnanswered(std::string(KindName(call.kind)) + " \"" + platform::ToUtf8(call.title) +
                         "\"");
        return false;
    }
    *answer = script(call);
    return answer->ok;
}

// A text of at most max characters from a caller's buffer.
std::u16string Bounded(LPCWSTR text, size_t max) {
    if (!text) return {};
    size_t n = 0;
    while (n < max && text[n])
        ++n;
    return std::u16string(text, n);
}

std::vector<std::pair<std::u16string, std::u16string>> ReadFilter(LPCWSTR filter) {
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    if (!filter) return pairs;
    size_t at = 0;
    while (at < kLongestFilter && filter[at]) {
        std::u16string description = Bounded(filter + at, kLongestFilter - at);
        at += description.size() + 1;
        if (at >= kLongestFilter) break;
        std::u16string patterns = Bounded(filter + at, kLongestFilter - at);
        at += patterns.size() + 1;
        pairs.emplace_back(std::move(description), std::move(patterns));
    }
    return pairs;
}

bool IsAbsolute(const std::u16string& path) {
    return (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) ||
           (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\');
}

size_t NameStart(const std::u16string& path) {
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? 0 : slash + 1;
}

bool Exists(const std::u16string& path, bool folder) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// The path the dialog would return for what the person typed, or empty
// after reporting why the dialog would not close.
std::u16string SettlePath(const test::CommonDialogCall& call, std::u16string path) {
    const char* kind = KindName(call.kind);
    if (path.empty()) {
        ReportUnanswered(std::string(kind) + " answered with no file name");
        return {};
    }
    if (!IsAbsolute(path)) {
        if (call.initialFolder.empty()) {
            ReportUnanswered(std::string(kind) +
                             " answered with a name and no folder: " + platform::ToUtf8(path));
            return {};
        }
        std::u16string folder = call.initialFolder;
        if (folder.back() != u'\\') folder += u'\\';
        path = folder + path;
    }
    std::u16string extension = call.defaultExtension;
    while (!extension.empty() && extension[0] == u'.')
        extension.erase(0, 1);
    if (!extension.empty() && path.find(u'.', NameStart(path)) == std::u16string::npos)
        path += u"." + extension;
    std::u16string folder = path.substr(0, NameStart(path));
    if (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    if ((call.flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !Exists(folder, true)) {
        ReportUnanswered(std::string(kind) +
                         " refuses a path whose folder does not exist: " + platform::ToUtf8(path));
        return {};
    }
    if (call.kind == test::CommonDialogCall::Open && (call.flags & OFN_FILEMUSTEXIST) &&
        !Exists(path, false)) {
        ReportUnanswered(std::string(kind) +
                         " refuses a file that does not exist: " + platform::ToUtf8(path));
        return {};
    }
    return path;
}

BOOL RunFileDialog(OPENFILENAMEW* ofn, test::CommonDialogCall::Kind kind) {
    tError = 0;
    if (!ofn || (ofn->lStructSize != sizeof(OPENFILENAMEW) &&
                 ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W)) {
        tError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
        tError = CDERR_INITIALIZATION;
        return FALSE;
    }
    test::CommonDialogCall call;
    call.kind = kind;
    call.owner = ofn->hwndOwner;
    call.flags = ofn->Flags;
    call.flagsEx = ofn->lStructSize == sizeof(OPENFILENAMEW) ? ofn->FlagsEx : 0;
    call.title = Bounded(ofn->lpstrTitle, kLongestFilter);
    call.filter = ReadFilter(ofn->lpstrFilter);
    call.initialFolder = Bounded(ofn->lpstrInitialDir, kLongestFilter);
    call.fileName = Bounded(ofn->lpstrFile, ofn->nMaxFile);
    call.defaultExtension = Bounded(ofn->lpstrDefExt, kLongestFilter);
    test::CommonDialogAnswer answer;
    if (!Ask(call, &answer)) return FALSE;
    std::u16string path = SettlePath(call, answer.path);
    if (path.empty()) return FALSE;
    if (kind == test::CommonDialogCall::Save && (ofn->Flags & OFN_OVERWRITEPROMPT) &&
        Exists(path, false)) {
        // The dialog asks before it lets a file be replaced; No leaves it open,
        // which here ends it as a cancel.
        std::u16string question =
            path.substr(NameStart(path)) + u" already exists.\nDo you want to replace it?";
        std::u16string title = call.title.empty() ? u"Save As" : call.title;
        if (MessageBoxW(ofn->hwndOwner, question.c_str(), title.c_str(),
                        MB_YESNO | MB_ICONWARNING) != IDYES)
            return FALSE;
    }
    if (path.size() + 1 > ofn->nMaxFile) {
        // The first character tells the size needed, when there is room for it.
        if (ofn->nMaxFile >= 1)
            ofn->lpstrFile[0] = static_cast<WCHAR>(std::min<size_t>(path.size() + 1, 0xFFFF));
        tError = FNERR_BUFFERTOOSMALL;
        return FALSE;
    }
    std::copy(path.begin(), path.end(), ofn->lpstrFile);
    ofn->lpstrFile[path.size()] = 0;
    size_t name = NameStart(path);
    size_t dot = path.find_last_of(u'.');
    ofn->nFileOffset = static_cast<WORD>(name);
    ofn->nFileExtension =
        static_cast<WORD>(dot != std::u16string::npos && dot >= name ? dot + 1 : path.size());
    std::u16string extension = path.substr(ofn->nFileExtension);
    std::u16string wanted = call.defaultExtension;
    while (!wanted.empty() && wanted[0] == u'.')
        wanted.erase(0, 1);
    if (!wanted.empty() && !platform::EqualsNoCase(extension, wanted))
        ofn->Flags |= OFN_EXTENSIONDIFFERENT;
    else
        ofn->Flags &= ~static_cast<DWORD>(OFN_EXTENSIONDIFFERENT);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        std::u16string title = path.substr(name);
        size_t n = std::min<size_t>(title.size(), ofn->nMaxFileTitle - 1);
        std::copy(title.begin(), title.begin() + static_cast<long>(n), ofn->lpstrFileTitle);
        ofn->lpstrFileTitle[n] = 0;
    }
    return TRUE;
}

int PixelsPerInch(const CHOOSEFONTW& cf) {
    if ((cf.Flags & CF_PRINTERFONTS) && cf.hDC) {
        int dpi = GetDeviceCaps(cf.hDC, LOGPIXELSY);
        if (dpi > 0) return dpi;
    }
    return kScreenDpi;
}

int MulDivRound(int a, int b, int c) {
    long long p = static_cast<long long>(a) * b;
    return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

BOOL RunFontDialog(CHOOSEFONTW* cf) {
    tError = 0;
    if (!cf || cf->lStructSize != sizeof(CHOOSEFONTW)) {
        tError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!cf->lpLogFont) {
        tError = CDERR_INITIALIZATION;
        return FALSE;
    }
    if ((cf->Flags & CF_LIMITSIZE) && cf->nSizeMax < cf->nSizeMin) {
        tError = CFERR_MAXLESSTHANMIN;
        return FALSE;
    }
    test::CommonDialogCall call;
    call.kind = test::CommonDialogCall::Font;
    call.owner = cf->hwndOwner;
    call.flags = cf->Flags;
    if (cf->Flags & CF_INITTOLOGFONTSTRUCT) call.font = *cf->lpLogFont;
    call.color = cf->rgbColors;
    test::CommonDialogAnswer answer;
    if (!Ask(call, &answer)) return FALSE;
    int dpi = PixelsPerInch(*cf);
    LOGFONTW font = answer.font;
    int tenths = answer.pointSize;
    if (font.lfHeight == 0 && tenths > 0)
        font.lfHeight = -MulDivRound(tenths, dpi, kPointsPerInch * kTenthsPerPoint);
    if (tenths <= 0)
        tenths = MulDivRound(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight,
                             kPointsPerInch * kTenthsPerPoint, dpi);
    if (tenths <= 0 || font.lfFaceName[0] == 0) {
        ReportUnanswered("font dialog answered without a face or a size");
        return FALSE;
    }
    if ((cf->Flags & CF_LIMITSIZE) &&
        (tenths < cf->nSizeMin * kTenthsPerPoint || tenths > cf->nSizeMax * kTenthsPerPoint)) {
        ReportUnanswered("font dialog refuses a size outside " + std::to_string(cf->nSizeMin) +
                         " to " + std::to_string(cf->nSizeMax) + " points");
        return FALSE;
    }
    *cf->lpLogFont = font;
    cf->iPointSize = tenths;
    if (cf->Flags & CF_EFFECTS) cf->rgbColors = answer.color & 0xFFFFFF;
    cf->nFontType = static_cast<WORD>(
        (font.lfWeight >= FW_BOLD ? BOLD_FONTTYPE : REGULAR_FONTTYPE) |
        (font.lfItalic ? ITALIC_FONTTYPE : 0) |
        ((cf->Flags & CF_PRINTERFONTS) && cf->hDC ? PRINTER_FONTTYPE : SCREEN_FONTTYPE));
    return TRUE;
}

} // namespace
} // namespace platform::user

namespace platform::user::test {

void AnswerNextCommonDialog(CommonDialogScript script) {
    EnsureReset();
    std::lock_guard lock(D().lock);
    D().scripts.push_back(std::move(script));
}

void AnswerNextFileDialog(const std::u16string& path) {
    AnswerNextCommonDialog([path](const CommonDialogCall&) {
        CommonDialogAnswer a;
        a.ok = true;
        a.path = path;
        return a;
    });
}

void CancelNextCommonDialog() {
    AnswerNextCommonDialog([](const CommonDialogCall&) { return CommonDialogAnswer{}; });
}

std::vector<CommonDialogCall> CommonDialogLog() {
    EnsureReset();
    std::lock_guard lock(D().lock);
    return D().log;
}

} // namespace platform::user::test

extern "C" {

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn) {
    try {
        return platform::user::RunFileDialog(lpofn, platform::user::test::CommonDialogCall::Open);
    } catch (const std::bad_alloc&) {
        platform::user::tError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
}

BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW lpofn) {
    try {
        return platform::user::RunFileDialog(lpofn, platform::user::test::CommonDialogCall::Save);
    } catch (const std::bad_alloc&) {
        platform::user::tError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
}

BOOL WINAPI ChooseFontW(LPCHOOSEFONTW lpcf) {
    try {
        return platform::user::RunFontDialog(lpcf);
    } catch (const std::bad_alloc&) {
        platform::user::tError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
}

// The ANSI form: the same dialog over a wide copy of the record; the face
// name comes back in the ANSI code page, cut to fit with its zero.
BOOL WINAPI ChooseFontA(LPCHOOSEFONTA lpcf) {
    platform::user::tError = 0;
    if (!lpcf || lpcf->lStructSize != sizeof(CHOOSEFONTA)) {
        platform::user::tError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    if (!lpcf->lpLogFont) {
        platform::user::tError = CDERR_INITIALIZATION;
        return FALSE;
    }
    try {
        LOGFONTW wide{};
        std::memcpy(&wide, lpcf->lpLogFont, offsetof(LOGFONTA, lfFaceName));
        std::u16string face = platform::AnsiToWide(std::string_view(
            lpcf->lpLogFont->lfFaceName, strnlen(lpcf->lpLogFont->lfFaceName, LF_FACESIZE)));
        face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
        std::copy(face.begin(), face.end(), wide.lfFaceName);
        CHOOSEFONTW w{};
        w.lStructSize = sizeof w;
        w.hwndOwner = lpcf->hwndOwner;
        w.hDC = lpcf->hDC;
        w.lpLogFont = &wide;
        w.iPointSize = lpcf->iPointSize;
        w.Flags = lpcf->Flags;
        w.rgbColors = lpcf->rgbColors;
        w.lCustData = lpcf->lCustData;
        w.nSizeMin = lpcf->nSizeMin;
        w.nSizeMax = lpcf->nSizeMax;
        if (!platform::user::RunFontDialog(&w)) return FALSE;
        std::memcpy(lpcf->lpLogFont, &wide, offsetof(LOGFONTA, lfFaceName));
        std::string ansi = platform::WideToAnsi(
            std::u16string_view(wide.lfFaceName, platform::WideLength(wide.lfFaceName)));
        std::memset(lpcf->lpLogFont->lfFaceName, 0, LF_FACESIZE);
        std::memcpy(lpcf->lpLogFont->lfFaceName, ansi.data(),
                    std::min<size_t>(ansi.size(), LF_FACESIZE - 1));
        lpcf->iPointSize = w.iPointSize;
        lpcf->rgbColors = w.rgbColors;
        lpcf->nFontType = w.nFontType;
        return TRUE;
    } catch (const std::bad_alloc&) {
        platform::user::tError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
}

BOOL WINAPI ChooseColorW(LPCHOOSECOLORW lpcc) {
    platform::user::tError = 0;
    if (!lpcc || lpcc->lStructSize != sizeof(CHOOSECOLORW)) {
        platform::user::tError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    // The dialog keeps the person's sixteen custom colours in the caller's array.
    if (!lpcc->lpCustColors) {
        platform::user::tError = CDERR_INITIALIZATION;
        return FALSE;
    }
    try {
        platform::user::test::CommonDialogCall call;
        call.kind = platform::user::test::CommonDialogCall::Color;
        call.owner = lpcc->hwndOwner;
        call.flags = lpcc->Flags;
        call.color = (lpcc->Flags & CC_RGBINIT) ? lpcc->rgbResult : 0;
        platform::user::test::CommonDialogAnswer answer;
        if (!platform::user::Ask(call, &answer)) return FALSE;
        lpcc->rgbResult = answer.color & 0xFFFFFF;
        return TRUE;
    } catch (const std::bad_alloc&) {
        platform::user::tError = CDERR_DIALOGFAILURE;
        return FALSE;
    }
}

DWORD WINAPI CommDlgExtendedError() {
    return platform::user::tError;
}

} // extern "C"
