#include "zoom_dlg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "devmode_helpers.h"
#include "win/commctrl.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringRange = 4451; // "(%d - %d %%)"
constexpr DWORD kFirstPositionIcon = 2240;
constexpr DWORD kFirstPositionString = 4452;

} // namespace

BEGIN_MESSAGE_MAP(CScaleDlg, CLayoutDlg)
ON_CONTROL_RANGE(BN_CLICKED, CScaleDlg::kFirstPosition, CScaleDlg::kLastPosition, OnPosition)
ON_EN_CHANGE(CScaleDlg::kZoomEdit, OnZoomChange)
ON_EN_KILLFOCUS(CScaleDlg::kZoomEdit, OnZoomKillFocus)
ON_MESSAGE(WM_VSCROLL, OnSpinMessage)
END_MESSAGE_MAP()

SHORT CScaleDlg::ClampZoom(const std::u16string& text, WORD minimum, WORD maximum) {
    std::wstring wide(text.begin(), text.end());
    // Read wide, then clamped before it is narrowed: "99999" is no -31073.
    const long long typed = std::wcstoll(wide.c_str(), nullptr, 10);
    return static_cast<SHORT>(std::clamp<long long>(typed, minimum, std::max(minimum, maximum)));
}

void CScaleDlg::UpdateLimits() {
    minimum_ = kDefaultMinimum;
    maximum_ = kDefaultMaximum;
    SheetContext* c = Context();
    DWORD low = 0, high = 0;
    const DWORD dpi =
        Copy().dm.dmPrintQuality > 0 ? static_cast<DWORD>(Copy().dm.dmPrintQuality) : 0;
    // A range whose minimum passes its maximum is no range at all.
    if (c && GetZoomRange(&c->model, c->userPapers, &Copy(), dpi, &low, &high) && low <= high &&
        high <= 0x7FFF) {
        minimum_ = static_cast<WORD>(low);
        maximum_ = static_cast<WORD>(high);
    }
}

std::u16string CScaleDlg::EditText() const {
    WCHAR text[32] = {};
    ::GetWindowTextW(::GetDlgItem(m_hWnd, kZoomEdit), text, 32);
    return text;
}

void CScaleDlg::PrepareCopy() {
    CLayoutDlg::PrepareCopy();
    UpdateLimits();
    // Always within the limits, whatever the device mode arrived with.
    SHORT& zoom = Copy().priv.ZoomPercent;
    zoom = static_cast<SHORT>(std::clamp<int>(zoom, minimum_, maximum_));
}

void CScaleDlg::InitControls() {
    ::SendMessageW(Item(kZoomEdit), EM_LIMITTEXT, kZoomChars, 0);
    for (int i = 0; i <= kLastPosition - kFirstPosition; ++i) {
        SetButtonIcon(kFirstPosition + i, kFirstPositionIcon + i);
        AddTip(kFirstPosition + i, kFirstPositionString + i);
    }
}

void CScaleDlg::OnPosition(UINT controlId) {
    Copy().priv.ZoomAnchor = static_cast<WORD>(controlId - kFirstPosition);
    RefreshAll();
}

void CScaleDlg::OnOutputPaperChanged() {
    UpdateLimits();
    SHORT& zoom = Copy().priv.ZoomPercent;
    zoom = static_cast<SHORT>(std::clamp<int>(zoom, minimum_, maximum_));
}

void CScaleDlg::OnZoomChange() {
    Copy().priv.ZoomPercent = ClampZoom(EditText(), minimum_, maximum_);
    fromEdit_ = true;
    RefreshAll();
    fromEdit_ = false;
}

void CScaleDlg::OnZoomKillFocus() {
    std::wstring wide;
    const std::u16string text = EditText();
    wide.assign(text.begin(), text.end());
    wchar_t* end = nullptr;
    const long long typed = std::wcstoll(wide.c_str(), &end, 10);
    if (text.empty() || typed != Copy().priv.ZoomPercent) RefreshAll();
}

LRESULT CScaleDlg::OnSpinMessage(WPARAM, LPARAM lParam) {
    HWND spin = Item(kZoomSpin);
    if (!spin || reinterpret_cast<HWND>(lParam) != spin) return 0;
    const LRESULT position = ::SendMessageW(spin, UDM_GETPOS32, 0, 0);
    Copy().priv.ZoomPercent = static_cast<SHORT>(std::clamp<LRESULT>(position, minimum_, maximum_));
    RefreshAll();
    return 0;
}

void CScaleDlg::Refresh() {
    UpdateLimits();
    ::SendMessageW(Item(kZoomSpin), UDM_SETRANGE32, minimum_, maximum_);
    std::u16string format = String(kStringRange);
    if (format.empty()) format = u"(%d - %d %%)";
    std::string f(format.begin(), format.end());
    char buffer[64] = {};
    std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<int>(minimum_),
                  static_cast<int>(maximum_));
    SetControlText(kRangeText, std::u16string(buffer, buffer + std::strlen(buffer)));
    SelectOutputPaper();
    const PRIVATE_DEVMODE& p = Copy().priv;
    for (int id = kFirstPosition; id <= kLastPosition; ++id)
        CheckRadio(id, p.ZoomAnchor == id - kFirstPosition);
    if (!fromEdit_) {
        const std::u16string shown = [&] {
            char b[16] = {};
            std::snprintf(b, sizeof b, "%d", static_cast<int>(p.ZoomPercent));
            return std::u16string(b, b + std::strlen(b));
        }();
        SetControlText(kZoomEdit, shown);
        ::SendMessageW(Item(kZoomSpin), UDM_SETPOS32, 0, p.ZoomPercent);
    }
}

} // namespace sheetwright
