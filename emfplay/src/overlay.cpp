// Overlays: making an overlay file from a job's first page, the overlay name
// dialog, loading an overlay file and drawing it into a page cell.
#include <cstdio>
#include <cstring>

#include "driver_env.h"
#include "emf_job.h"
#include "metaweave_ids.h"
#include "localize.h"
#include "overlay_file.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/gdi_dc.h"
#include "win/strings.h"
#include "win/user.h"

namespace metaweave {
namespace {

constexpr DWORD kOverlayDialog = IDD_OVERLAY_NAME;
constexpr int kNameEdit = IDC_OVERLAY_NAME_EDIT;
constexpr DWORD kTextReplaceName = 14, kTextReadOverlay = 15, kTextForbidden = 16;
constexpr DWORD kTextForbiddenMessage = 17, kTextTypeName = 18, kCaptionMake = 11,
                kCaptionPrint = 12;
constexpr DWORD kOverlayUse = 0x2, kOverlayFirstOnly = 0x4, kOverlayOnTopOlder = 0x8;
constexpr DWORD kPassOver = 0x8;
constexpr WPARAM kScClose = 0xF060; // the system menu's close command
constexpr UINT kAskStyle =
    MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2 | MB_SYSTEMMODAL | MB_SETFOREGROUND;

int Box(const std::string& text, DWORD caption, UINT style) {
    return MessageBoxA(nullptr, text.c_str(), MetaweaveString(caption).c_str(), style);
}

INT_PTR CALLBACK OverlayNameDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    static thread_local char* name = nullptr;
    switch (msg) {
    case WM_INITDIALOG:
        name = reinterpret_cast<char*>(lp);
        SetDlgItemTextW(
            dlg, kNameEdit,
            reinterpret_cast<LPCWSTR>(sheetwright::AnsiToWide(name, std::strlen(name)).c_str()));
        SendDlgItemMessageW(dlg, kNameEdit, EM_LIMITTEXT, kOverlayNameSize - 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            char16_t text[kOverlayNameSize] = {};
            GetDlgItemTextW(dlg, kNameEdit, reinterpret_cast<LPWSTR>(text), kOverlayNameSize);
            std::string typed = sheetwright::WideToAnsiString(text);
            if (typed.empty()) {
                Box(MetaweaveString(kTextTypeName), kCaptionMake, MB_ICONWARNING);
                SendDlgItemMessageW(dlg, kNameEdit, EM_SETSEL, 0, 0);
                return TRUE;
            }
            if (typed.find_first_of(MetaweaveString(kTextForbidden)) != std::string::npos) {
                Box(MetaweaveString(kTextForbiddenMessage), kCaptionMake, MB_ICONWARNING);
                SendDlgItemMessageW(dlg, kNameEdit, EM_SETSEL, 0, -1);
                return TRUE;
            }
            if (!IsBareOverlayName(typed.c_str())) {
                Box(MetaweaveString(kTextForbiddenMessage), kCaptionMake, MB_ICONWARNING);
                SendDlgItemMessageW(dlg, kNameEdit, EM_SETSEL, 0, -1);
                return TRUE;
            }
            std::snprintf(name, kOverlayNameSize, "%s", typed.c_str());
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == kScClose) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

// The name dialog over the caller's 64-byte buffer: IDOK, IDCANCEL or 0.
INT_PTR AskOverlayName(char* name) {
    sheetwright::CLocalize localize(MetaweaveModule());
    const BYTE* tmpl = localize.LoadDialogTemplate(kOverlayDialog);
    if (!tmpl) return IDCANCEL;
    return DialogBoxIndirectParamW(MetaweaveModule(), reinterpret_cast<LPCDLGTEMPLATEW>(tmpl),
                                   nullptr, OverlayNameDlgProc, reinterpret_cast<LPARAM>(name));
}

} // namespace

BOOL CPageCollection::MakeOverlayFile() {
    const DEVMODEA* dm = reader_->PageDevmode(start_ + 1);
    if (!dm || !makeName_[0]) return FALSE;
    if (!IsBareOverlayName(makeName_)) {
        ShowPrintMessage(kMsgOverlayNotWritten);
        return TRUE;
    }
    const std::string folder = reader_->GetWorkFolder();
    bool replace = !(reader_->flags() & kJobAskReplace);
    HENHMETAFILE page = reader_->GetPageMetafile(start_ + 1);
    std::vector<BYTE> bits;
    if (page) {
        UINT size = GetEnhMetaFileBits(page, 0, nullptr);
        bits.resize(size);
        if (size) GetEnhMetaFileBits(page, size, bits.data());
    }
    OverlayHeader header;
    header.systemVersion = VersionWord();
    header.paperSize = static_cast<uint16_t>(dm->dmPaperSize);
    header.paperWidth = static_cast<uint16_t>(dm->dmPaperWidth);
    header.paperLength = static_cast<uint16_t>(dm->dmPaperLength);
    header.orientation = static_cast<uint16_t>(dm->dmOrientation);
    const std::vector<BYTE> file = OverlayFileBytes(header, bits.data(), bits.size());
    bool folderMade = false;
    for (;;) {
        const std::string path = folder + makeName_ + kOverlayExtension;
        DWORD error = WriteFileWhole(path, file, replace);
        if (!error) return TRUE;
        if (error == ERROR_PATH_NOT_FOUND && !folderMade) {
            // The folder once, then the file again.
            if (!CreateFolderChain(folder)) {
                ShowPrintMessage(kMsgOverlayNotWritten);
                return TRUE;
            }
            folderMade = true;
            continue;
        }
        if (error != ERROR_FILE_EXISTS) {
            ShowPrintMessage(kMsgOverlayNotWritten);
            return TRUE;
        }
        int answer;
        if (currentLayout_) {
            answer = Box(WithOverlayName(MetaweaveString(kTextReplaceName), makeName_),
                         kCaptionMake, kAskStyle);
        } else {
            answer = ShowPrintMessage(kMsgOverlayExists);
        }
        if (answer == IDYES) {
            replace = true;
            continue;
        }
        if (AskOverlayName(makeName_) != IDOK) return FALSE;
    }
}

HENHMETAFILE CZorEmfFile::LoadOverlay(DWORD passFlags, const char* useName, BYTE* header,
                                      bool older) {
    if (!(passFlags & kOverlayUse)) return nullptr;
    if (overlay_ && overlayName_ == useName) return overlay_;
    if (overlay_) DeleteEnhMetaFile(overlay_);
    overlay_ = nullptr;
    overlayName_ = useName;
    std::memset(header, 0, kOverlayHeaderSize);
    std::vector<BYTE> bytes;
    OverlayHeader h;
    const BYTE* bits = nullptr;
    size_t size = 0;
    std::string error;
    // A name that reaches out of the working folder reads nothing.
    if (IsBareOverlayName(useName) &&
        ReadOverlayFileWhole(workFolderCopy_ + useName + kOverlayExtension, &bytes) &&
        ReadOverlayFile(bytes.data(), bytes.size(), &h, &bits, &size, &error)) {
        overlay_ = SetEnhMetaFileBits(static_cast<UINT>(size), bits);
        if (overlay_) std::memcpy(header, bytes.data(), kOverlayHeaderSize);
    }
    if (overlay_) return overlay_;
    if (older) {
        ShowPrintMessage(kMsgOverlayUnreadable);
    } else if (Box(MetaweaveString(kTextReadOverlay), kCaptionPrint, kAskStyle) != IDYES) {
        cancel_ = true;
    }
    // Ask again for the next cell that wants the same missing overlay.
    overlayName_.clear();
    return nullptr;
}

BOOL CPageCollection::DrawOverlay(HDC hdc, DWORD pass, const RECT& cell, HRGN clip) {
    if (!(overlayFlags_ & kOverlayUse) || !useName_[0]) return FALSE;
    const DWORD page = currentPage_;
    bool over;
    if (currentLayout_) {
        if (!PageChosen(overlayPages_, page)) return FALSE;
        over = overlayOnTop_ == 1;
    } else {
        if ((overlayFlags_ & kOverlayFirstOnly) && page != 1) return FALSE;
        over = (overlayFlags_ & kOverlayOnTopOlder) != 0;
    }
    if (over != ((pass & kPassOver) != 0)) return FALSE;
    HENHMETAFILE overlay = reader_->LoadOverlay(pass, useName_, overlayHeader_, !currentLayout_);
    if (!overlay) return FALSE;
    RECT target = cell;
    OverlayHeader h;
    std::string error;
    PaperMetrics m;
    const bool known = ReadOverlayHeader(overlayHeader_, sizeof overlayHeader_, &h, &error) &&
                       reader_->GetPaperMetrics(h.paperSize, h.paperWidth, h.paperLength,
                                                h.orientation, resolution_, &m);
    const DWORD modelFlags = reader_->modelFlags();
    if (currentLayout_ && known && (modelFlags & kModelOverlayOwnSize)) {
        const LONG w = static_cast<LONG>(int64_t{m.printableWidth} * zoom_ / 100);
        const LONG hh = static_cast<LONG>(int64_t{m.printableLength} * zoom_ / 100);
        target = {cell.left, cell.top, cell.left + w, cell.top + hh};
    }
    const bool wholePage = known && wholePageValid_ && (modelFlags & kModelOverlayWholePage) &&
                           (layout_.layout == Layout::None || layout_.layout == Layout::Zoom);
    if (wholePage) {
        target = {wholePage_.left, wholePage_.top, wholePage_.left + m.printableWidth,
                  wholePage_.top + m.printableLength};
        SelectClipRgn(hdc, nullptr);
    }
    PlayPageMetafile(hdc, overlay, target, zoom_);
    if (clip) SelectClipRgn(hdc, clip);
    return TRUE;
}

} // namespace metaweave
