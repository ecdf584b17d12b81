#include "effects_page.h"

#include <cstring>

#include "control_states.h"
#include "kinsoku_list.h"
#include "overlay_dlg.h"
#include "watermark_dlg.h"

namespace sheetwright {
namespace {

constexpr DWORD kOverlayOffered = 0x40000, kWatermarkOffered = 0x80000;
constexpr DWORD kStringNamedText = 5502, kStringChangedMark = 5503;

} // namespace

BEGIN_MESSAGE_MAP(CStationary, CProfilePropPage)
ON_BN_CLICKED(CStationary::kWatermarkCheck, OnWatermarkCheck)
ON_BN_CLICKED(CStationary::kWatermarkDetail, OnWatermarkDetail)
ON_BN_CLICKED(CStationary::kOverlayCheck, OnOverlayCheck)
ON_BN_CLICKED(CStationary::kOverlayDetail, OnOverlayDetail)
END_MESSAGE_MAP()

CStationary::CStationary(SheetContext* context) : CProfilePropPage(kPageEffects, context) {}

BOOL CStationary::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    ComputeWatermarkChanged();
    return TRUE;
}

BOOL CStationary::OnSetActive() {
    ComputeWatermarkChanged();
    const BOOL suppressed = m_bSuppressChanges;
    m_bSuppressChanges = TRUE;
    Refresh();
    m_bSuppressChanges = suppressed;
    return CProfilePropPage::OnSetActive();
}

void CStationary::ComputeWatermarkChanged() {
    SheetContext* c = Context();
    if (!c) return;
    CWaterMarkDlg holder(c);
    holder.ReadWatermarkFile();
    WatermarkRecord record{};
    std::memcpy(&record, c->workingImage.priv.WatermarkRecord, sizeof record);
    watermarkChanged_ = holder.FindMatchingWatermark(record) ? FALSE : TRUE;
}

void CStationary::Refresh() {
    SheetContext* c = Context();
    if (!c || !m_hWnd) return;
    Preview().Refresh();
    const PRIVATE_DEVMODE& p = c->workingImage.priv;
    const BOOL watermarkOn = (p.WatermarkFlags & kWatermarkOnFlag) != 0;
    const BOOL overlayOn = (p.OverlayFlags & (kOverlayMake | kOverlayPrint)) != 0;
    ::CheckDlgButton(m_hWnd, kWatermarkCheck, watermarkOn ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, kOverlayCheck, overlayOn ? BST_CHECKED : BST_UNCHECKED);

    // The names as the device mode holds them, read within their fields.
    WatermarkRecord record{};
    std::memcpy(&record, p.WatermarkRecord, sizeof record);
    std::u16string shown;
    std::u16string mark;
    Localize().LoadString(kStringChangedMark, &mark);
    if (record.name[0]) {
        shown = AnsiField(record.name, sizeof record.name);
        if (watermarkChanged_) shown += mark.empty() ? u"*" : mark;
    } else if (record.text[0]) {
        std::u16string format;
        Localize().LoadString(kStringNamedText, &format);
        shown = WithTextArgument(format.empty() ? u"%s*" : format,
                                 AnsiField(record.text, sizeof record.text));
    }
    ::SetDlgItemTextW(m_hWnd, kWatermarkName, shown.c_str());

    const OverlayChoice choice = OverlayChoiceOf(c->workingImage);
    DWORD mode = choice.flags & (kOverlayMake | kOverlayPrint);
    if (!mode) mode = lastOverlayMode_;
    const CHAR* name = (mode & kOverlayMake) ? choice.makeName : choice.useName;
    ::SetDlgItemTextW(m_hWnd, kOverlayName, AnsiField(name, 64).c_str());

    const CKinsokuList* rules = c->constraints;
    const BOOL watermarkOffered = (p.FeatureFlags & kWatermarkOffered) &&
                                  !(rules && rules->IsValueRefused(kItemWatermarkOn, 1));
    const BOOL overlayOffered =
        (p.FeatureFlags & kOverlayOffered) && !(rules && rules->IsValueRefused(kItemOverlayOn, 1));
    ::EnableWindow(::GetDlgItem(m_hWnd, kWatermarkGroup), watermarkOffered);
    ::EnableWindow(::GetDlgItem(m_hWnd, kWatermarkCheck), watermarkOffered);
    ::EnableWindow(::GetDlgItem(m_hWnd, kWatermarkDetail), watermarkOffered && watermarkOn);
    ::EnableWindow(::GetDlgItem(m_hWnd, kWatermarkName), watermarkOffered && watermarkOn);
    ::EnableWindow(::GetDlgItem(m_hWnd, kOverlayGroup), overlayOffered);
    ::EnableWindow(::GetDlgItem(m_hWnd, kOverlayCheck), overlayOffered);
    ::EnableWindow(::GetDlgItem(m_hWnd, kOverlayDetail), overlayOffered && overlayOn);
    ::EnableWindow(::GetDlgItem(m_hWnd, kOverlayName), overlayOffered && overlayOn);
}

void CStationary::AfterChange() {
    SheetContext* c = Context();
    OnSettingsChanged(TRUE);
    // Items 37 and 38 take part in the rules: the image settles with them.
    if (c) ApplyRulesAndRefresh(c, nullptr, FALSE);
    Refresh();
}

void CStationary::OnWatermarkCheck() {
    SheetContext* c = Context();
    if (!c) return;
    if (::IsDlgButtonChecked(m_hWnd, kWatermarkCheck) == BST_CHECKED) {
        OnWatermarkDetail();
        return;
    }
    c->workingImage.priv.WatermarkFlags &= ~kWatermarkOnFlag;
    AfterChange();
}

void CStationary::OnWatermarkDetail() {
    SheetContext* c = Context();
    if (!c) return;
    CWaterMarkDlg dialog(c, this);
    if (dialog.DoModal() == IDOK && !IsSheetReadOnly(c)) {
        dialog.ApplyToDevmode(&c->workingImage);
        AfterChange();
    }
    WatermarkRecord record{};
    std::memcpy(&record, c->workingImage.priv.WatermarkRecord, sizeof record);
    watermarkChanged_ = dialog.FindMatchingWatermark(record) ? FALSE : TRUE;
    Refresh();
    LockControlsIfReadOnly();
}

void CStationary::OnOverlayCheck() {
    SheetContext* c = Context();
    if (!c) return;
    if (::IsDlgButtonChecked(m_hWnd, kOverlayCheck) == BST_CHECKED) {
        OnOverlayDetail();
        return;
    }
    DWORD& flags = c->workingImage.priv.OverlayFlags;
    if (flags & (kOverlayMake | kOverlayPrint))
        lastOverlayMode_ = OverlayChoiceOf(c->workingImage).flags & (kOverlayMake | kOverlayPrint);
    flags &= ~(kOverlayMake | kOverlayPrint);
    AfterChange();
}

void CStationary::OnOverlayDetail() {
    SheetContext* c = Context();
    if (!c) return;
    OverlayChoice choice = OverlayChoiceOf(c->workingImage);
    if (!(choice.flags & (kOverlayMake | kOverlayPrint))) choice.flags |= lastOverlayMode_;
    COverlay dialog(c, choice, this);
    if (dialog.DoModal() == IDOK && !IsSheetReadOnly(c)) {
        PutOverlayChoice(dialog.Choice(), &c->workingImage);
        AfterChange();
    }
    Refresh();
    LockControlsIfReadOnly();
}

} // namespace sheetwright
