// The common dialogs as dialog objects over the platform's calls.
#include <algorithm>

#include "afxdlgs.h"
#include "platform/text.h"

IMPLEMENT_DYNAMIC(CColorDialog, CDialog)
IMPLEMENT_DYNAMIC(CFileDialog, CDialog)
IMPLEMENT_DYNAMIC(CFontDialog, CDialog)

namespace {

HWND OwnerOf(CWnd* parent) {
    return parent ? parent->m_hWnd : nullptr;
}

} // namespace

CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent) {
    m_pParentWnd = parent;
    m_cc.lStructSize = sizeof m_cc;
    m_cc.rgbResult = initial;
    m_cc.lpCustColors = custom_;
    m_cc.Flags = flags | CC_RGBINIT;
    std::fill(std::begin(custom_), std::end(custom_), RGB(255, 255, 255));
}

INT_PTR CColorDialog::DoModal() {
    m_cc.hwndOwner = OwnerOf(m_pParentWnd);
    return ChooseColorW(&m_cc) ? IDOK : IDCANCEL;
}

CFileDialog::CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension, LPCWSTR fileName,
                         DWORD flags, LPCWSTR filter, CWnd* parent)
    : open_(openFileDialog) {
    m_pParentWnd = parent;
    if (fileName) {
        size_t n = std::min<size_t>(platform::WideLength(fileName), MAX_PATH - 1);
        std::copy(fileName, fileName + n, file_);
    }
    if (defaultExtension) defaultExtension_ = defaultExtension;
    // The platform's filter separates its parts with zeros where ours has '|'.
    if (filter) {
        filter_ = filter;
        int length = filter_.GetLength();
        LPWSTR text = filter_.GetBuffer(length + 2);
        for (int i = 0; i < length; ++i)
            if (text[i] == u'|') text[i] = 0;
        text[length] = text[length + 1] = 0;
        filter_.ReleaseBuffer(length);
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.lpstrFile = file_;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.Flags = flags | OFN_EXPLORER;
    m_ofn.nFilterIndex = 1;
}

INT_PTR CFileDialog::DoModal() {
    m_ofn.hwndOwner = OwnerOf(m_pParentWnd);
    m_ofn.lpstrFilter = filter_.IsEmpty() ? nullptr : static_cast<LPCWSTR>(filter_);
    m_ofn.lpstrDefExt =
        defaultExtension_.IsEmpty() ? nullptr : static_cast<LPCWSTR>(defaultExtension_);
    BOOL ok = open_ ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    return ok ? IDOK : IDCANCEL;
}

CString CFileDialog::GetFileName() const {
    CString path(file_);
    int slash = std::max(path.ReverseFind(u'\\'), path.ReverseFind(u'/'));
    return path.Mid(slash + 1);
}

CString CFileDialog::GetFileTitle() const {
    CString name = GetFileName();
    int dot = name.ReverseFind(u'.');
    return dot < 0 ? name : name.Left(dot);
}

CString CFileDialog::GetFileExt() const {
    CString name = GetFileName();
    int dot = name.ReverseFind(u'.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
}

CFontDialog::CFontDialog(const LOGFONTW* initial, DWORD flags, HDC printer, CWnd* parent) {
    m_pParentWnd = parent;
    m_cf.lStructSize = sizeof m_cf;
    m_cf.hDC = printer;
    m_cf.lpLogFont = &m_lf;
    m_cf.Flags = flags;
    if (initial) {
        m_lf = *initial;
        m_cf.Flags |= CF_INITTOLOGFONTSTRUCT;
    }
}

INT_PTR CFontDialog::DoModal() {
    m_cf.hwndOwner = OwnerOf(m_pParentWnd);
    m_cf.lpLogFont = &m_lf;
    return ChooseFontW(&m_cf) ? IDOK : IDCANCEL;
}
