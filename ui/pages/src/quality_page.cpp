#include "quality_page.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "color_adjust_block.h"
#include "control_states.h"
#include "devmode_helpers.h"
#include "driver_env.h"
#include "font_dlg.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "model_info.h"
#include "sheet_app.h"
#include "win/commctrl.h"
#include "win/files.h"
#include "win/loader.h"

namespace sheetwright {
namespace {

constexpr WORD kGrayscale = 1, kColor = 2, kPhotoColor = 3;
constexpr WORD kDeviceColor = 0, kIcm = 3, kBrightness = 1;
constexpr DWORD kIcmNone = 1, kIcmSystem = 2;

// FeatureFlags bits of the offered controls (PrivateFlags bit 3: image reduction).
constexpr DWORD kFeatColorMode = 1u << 5, kFeatColorMatch = 1u << 7, kFeatDensity = 1u << 9,
                kFeatTextBlack = 1u << 10, kFeatFont = 1u << 12, kFeatTonerSave = 1u << 14,
                kFeatGraphics = 1u << 16, kFeatHalftone = 1u << 17, kFeatContrast = 1u << 28,
                kFeatFinePatterns = 1u << 29;
constexpr DWORD kPrivImageReduction = 1u << 3;
// Model table 79's first byte: which of the two lists the model names.
constexpr BYTE kResolutionListBit = 1u << 6, kQualityListBit = 1u << 7;
constexpr BYTE kGraphicsModeBits = 0x03;
// Default resolution code where the image's is out of range.
constexpr WORD kDefaultResolutionCode = 2;
constexpr int kRowGap = 10;

constexpr IconComboRow kColorModeRows[] = {
    {5100, 2160, kColor, 0},      // "Color"
    {5101, 2161, kPhotoColor, 0}, // "Photo Color"
    {5102, 2162, kGrayscale, 0},  // "Grayscale"
};
constexpr ComboRow kColorMatchRows[] = {
    {5112, 0, kDeviceColor, 0}, // "Device Color"
    {5111, 0, kIcm, 0},         // "ICM"
};
constexpr ComboRow kGrayMatchRows[] = {{5110, 0, kBrightness, 0}}; // "Brightness Adjustment"

// The colour-adjustment library and the files it needs beside it.
constexpr WCHAR kHuetunerFile[] = u"Huetuner.DLL";
constexpr const char16_t* kHuetunerFiles[] = {u"Huetuner.DLL", u"Hueplate.DLL", u"Huechart.BMP",
                                              u"Huegauge.BMP"};

// The ICM words the library answers: only the system's own values are taken.
bool ValidIcmMethod(DWORD v) {
    return v >= 1 && v <= 4;
}
bool ValidIcmIntent(DWORD v) {
    return v >= 1 && v <= 4;
}

} // namespace

void ApplyColorModeChange(DEVMODE_IMAGEW* image, WORD previous, WORD mode) {
    if (!image) return;
    PRIVATE_DEVMODE& p = image->priv;
    p.ColorMode = mode;
    if (mode == kGrayscale) {
        p.ColorModeAlt = kBrightness;
        image->dm.dmICMMethod = kIcmNone;
        return;
    }
    p.ColorModeAlt = 0;
    if (previous == kGrayscale || mode == kPhotoColor) p.ColorMatching = kDeviceColor;
    image->dm.dmICMMethod = p.ColorMatching == kIcm ? kIcmSystem : kIcmNone;
}

BOOL LookUpResolution(const ModelBlock* binding, DEVMODE_IMAGEW* image) {
    if (!binding || !image) return FALSE;
    WORD code = image->priv.ResolutionCode;
    if (code < 1 || code > 4) code = kDefaultResolutionCode;
    CModelInfo table(binding, model::kQueryQualityModes, 0, model::layout::kQualityRecord);
    const auto* data = static_cast<const BYTE*>(table.GetData());
    if (!data) return FALSE;
    const DWORD entries =
        std::min<DWORD>(table.GetCount(), table.Length() / sizeof(model::QualityAnswer));
    for (DWORD i = 0; i < entries; ++i) {
        model::QualityAnswer q;
        std::memcpy(&q, data + i * sizeof q, sizeof q);
        if (static_cast<WORD>(q.id) != code) continue;
        image->dm.dmPrintQuality = static_cast<short>(q.x);
        image->dm.dmYResolution = static_cast<short>(q.y);
        return TRUE;
    }
    return FALSE;
}

BEGIN_MESSAGE_MAP(CQuality, CProfilePropPage)
ON_CBN_SELCHANGE(CQuality::kColorModeList, OnColorMode)
ON_CBN_SELCHANGE(CQuality::kColorMatchList, OnColorMatch)
ON_CBN_SELCHANGE(CQuality::kResolutionList, OnResolution)
ON_CBN_SELCHANGE(CQuality::kQualityList, OnQuality)
ON_CBN_SELCHANGE(CQuality::kGraphicsList, OnGraphics)
ON_CBN_SELCHANGE(CQuality::kHalftoneList, OnHalftone)
ON_BN_CLICKED(CQuality::kTonerSave, OnTonerSave)
ON_BN_CLICKED(CQuality::kTextAsBlack, OnTextAsBlack)
ON_BN_CLICKED(CQuality::kImageReduction, OnImageReduction)
ON_BN_CLICKED(CQuality::kFinePatterns, OnFinePatterns)
ON_BN_CLICKED(CQuality::kDetailButton, OnDetail)
ON_BN_CLICKED(CQuality::kFontButton, OnFont)
ON_MESSAGE(WM_HSCROLL, OnHScroll)
END_MESSAGE_MAP()

CQuality::CQuality(SheetContext* context) : CProfilePropPage(kPageQuality, context) {
    if (context) previousMode_ = context->workingImage.priv.ColorMode;
}

BOOL CQuality::Refused(WORD item, DWORD value) const {
    SheetContext* c = Context();
    const CKinsokuItem* found = c && c->constraints ? c->constraints->FindItem(item) : nullptr;
    return found && found->IsValueRefused(value);
}

void CQuality::Check(int id, BOOL on) {
    ::SendDlgItemMessageW(m_hWnd, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

BOOL CQuality::Checked(int id) const {
    return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}

BOOL CQuality::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    SheetContext* c = Context();
    if (!c) return TRUE;
    const DWORD feat = c->workingImage.priv.FeatureFlags;
    const DWORD priv = c->workingImage.priv.PrivateFlags;
    CModelInfo graphics(&c->model, model::kQueryGraphicsMode, 0, model::layout::kFixedFirst);
    graphicsOffered_ = (feat & kFeatGraphics) && graphics.GetData() &&
                       (graphics.U8(0) & kGraphicsModeBits) == kGraphicsModeBits;
    halftoneOffered_ = (feat & kFeatHalftone) != 0;
    CModelInfo qualities(&c->model, model::kQueryQualityModes, 0, model::layout::kQualityRecord);
    if (qualities.GetData() && qualities.GetCount() > 0) {
        CModelInfo flags(&c->model, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst);
        const BYTE b = flags.GetData() ? flags.U8(0) : 0;
        resolutionOffered_ = (b & kResolutionListBit) != 0;
        qualityOffered_ = !resolutionOffered_ && (b & kQualityListBit) != 0;
    }
    tonerOffered_ = (feat & kFeatTonerSave) != 0;
    textBlackOffered_ = (feat & kFeatTextBlack) != 0;
    reductionOffered_ = (priv & kPrivImageReduction) != 0;
    fineOffered_ = (feat & kFeatFinePatterns) != 0;
    colorModeOffered_ = (feat & kFeatColorMode) != 0;
    colorMatchOffered_ = (feat & kFeatColorMatch) != 0;
    contrastOffered_ = (feat & kFeatContrast) != 0;
    densityOffered_ = (feat & kFeatDensity) != 0;
    fontOffered_ = (feat & kFeatFont) != 0;
    separatorOffered_ = (colorModeOffered_ || colorMatchOffered_) &&
                        (graphicsOffered_ || halftoneOffered_ || resolutionOffered_ ||
                         contrastOffered_ || densityOffered_ || tonerOffered_ ||
                         textBlackOffered_ || reductionOffered_ || fineOffered_);

    struct Bind {
        CPMIconCombo* combo;
        int id;
    } const binds[] = {{&colorMode_, kColorModeList},
                       {&resolution_, kResolutionList},
                       {&quality_, kQualityList},
                       {&graphics_, kGraphicsList},
                       {&halftone_, kHalftoneList}};
    for (const Bind& b : binds) {
        if (!b.combo->m_hWnd) b.combo->SubclassDlgItem(b.id, this);
        b.combo->SetStrings(&Localize());
    }
    InitSliders();
    colorMode_.SetRows(kColorModeRows, static_cast<LONG>(std::size(kColorModeRows)));
    Layout();
    return TRUE;
}

void CQuality::InitSliders() {
    SheetContext* c = Context();
    auto setUp = [&](int id, int low, int high, int page, int position, bool withPage) {
        HWND slider = ::GetDlgItem(m_hWnd, id);
        if (!slider) return;
        ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, low);
        ::SendMessageW(slider, TBM_SETRANGEMAX, FALSE, high);
        if (withPage) ::SendMessageW(slider, TBM_SETPAGESIZE, 0, page);
        ::SendMessageW(slider, TBM_SETPOS, TRUE, position);
        // A step of zero or less (an empty or reversed range) draws no ticks.
        const int step = (high - low) / 2;
        if (step > 0) ::SendMessageW(slider, TBM_SETTICFREQ, static_cast<WPARAM>(step), 0);
    };
    CModelInfo contrast(&c->model, model::kQueryContrast, 0, model::layout::kFixedFirst);
    if (contrast.GetData())
        setUp(kContrastSlider, static_cast<short>(contrast.U16(4)),
              static_cast<short>(contrast.U16(6)), static_cast<short>(contrast.U16(10)),
              static_cast<short>(contrast.U16(12)), true);
    CModelInfo density(&c->model, model::kQueryDensity, 0, model::layout::kFixedSecond);
    if (density.GetData())
        setUp(kDensitySlider, static_cast<short>(density.U16(0)),
              static_cast<short>(density.U16(2)), 0, static_cast<short>(density.U16(6)), false);
}

void CQuality::Layout() {
    struct Row {
        int ids[4];
        BOOL offered;
        int height; // 0: moved as a block
    } const rows[] = {
        {{kColorModeLabel, kColorModeList, 0, 0}, colorModeOffered_, 36},
        {{kColorMatchLabel, kColorMatchList, 0, 0}, colorMatchOffered_, 0},
        {{kDetailButton, 0, 0, 0}, colorMatchOffered_, 0},
        {{kSeparator, 0, 0, 0}, separatorOffered_, 0},
        {{kResolutionLabel, kResolutionList, 0, 0}, resolutionOffered_, 36},
        {{kQualityLabel, kQualityList, 0, 0}, qualityOffered_, 36},
        {{kGraphicsLabel, kGraphicsList, 0, 0}, graphicsOffered_, 36},
        {{kHalftoneLabel, kHalftoneList, 0, 0}, halftoneOffered_, 36},
        {{kContrastGroup, kContrastSlider, kContrastLighter, kContrastDarker}, contrastOffered_, 0},
        {{kDensityGroup, kDensitySlider, kDensityLighter, kDensityDarker}, densityOffered_, 0},
        {{kTonerSave, 0, 0, 0}, tonerOffered_, 0},
        {{kTextAsBlack, 0, 0, 0}, textBlackOffered_, 0},
        {{kImageReduction, 0, 0, 0}, reductionOffered_, 0},
        {{kFinePatterns, 0, 0, 0}, fineOffered_, 0},
    };
    auto clientRect = [&](HWND w) {
        RECT r{};
        ::GetWindowRect(w, &r);
        POINT a{r.left, r.top}, b{r.right, r.bottom};
        ::ScreenToClient(m_hWnd, &a);
        ::ScreenToClient(m_hWnd, &b);
        return RECT{a.x, a.y, b.x, b.y};
    };
    // Offered rows keep their order and close up the room of the others.
    // Rows the template sets side by side (contrast and density, the
    // switches in two columns, Detail beside colour management) share a
    // band, which moves as one: a band is as high as its tallest row, at
    // least the row's own height where it has one.
    struct Band {
        int top, bottom, height;
    };
    std::vector<Band> bands;
    std::vector<std::pair<const Row*, RECT>> placed;
    for (const Row& row : rows) {
        RECT block{0, 0, 0, 0};
        bool any = false;
        for (int id : row.ids) {
            HWND w = id ? ::GetDlgItem(m_hWnd, id) : nullptr;
            if (!w) continue;
            if (!row.offered) {
                ::ShowWindow(w, SW_HIDE);
                ::EnableWindow(w, FALSE);
                continue;
            }
            const RECT r = clientRect(w);
            if (!any) {
                block = r;
                any = true;
            } else {
                block.top = std::min(block.top, r.top);
                block.bottom = std::max(block.bottom, r.bottom);
            }
        }
        if (!any) continue;
        placed.emplace_back(&row, block);
        const int height = std::max<int>(row.height, block.bottom - block.top);
        auto band = std::find_if(bands.begin(), bands.end(), [&](const Band& b) {
            return block.top < b.bottom && b.top < block.bottom;
        });
        if (band == bands.end()) {
            bands.push_back({block.top, block.bottom, height});
        } else {
            band->top = std::min<int>(band->top, block.top);
            band->bottom = std::max<int>(band->bottom, block.bottom);
            band->height = std::max(band->height, height);
        }
    }
    std::sort(bands.begin(), bands.end(),
              [](const Band& a, const Band& b) { return a.top < b.top; });
    HWND first = ::GetDlgItem(m_hWnd, kColorModeList);
    int y = first ? clientRect(first).top : 0;
    std::vector<int> shift(bands.size());
    for (size_t i = 0; i < bands.size(); ++i) {
        shift[i] = y - bands[i].top;
        y += bands[i].height + kRowGap;
    }
    for (const auto& [row, block] : placed) {
        size_t i = 0;
        while (i < bands.size() && !(block.top < bands[i].bottom && bands[i].top < block.bottom))
            ++i;
        if (i == bands.size()) continue;
        for (int id : row->ids) {
            HWND w = id ? ::GetDlgItem(m_hWnd, id) : nullptr;
            if (!w) continue;
            const RECT r = clientRect(w);
            ::SetWindowPos(w, nullptr, r.left, r.top + shift[i], 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            ::ShowWindow(w, SW_SHOW);
            ::EnableWindow(w, TRUE);
        }
    }
    if (!fontOffered_) {
        ::ShowWindow(::GetDlgItem(m_hWnd, kFontButton), SW_HIDE);
        ::EnableWindow(::GetDlgItem(m_hWnd, kFontButton), FALSE);
    }
}

BOOL CQuality::OnSetActive() {
    SheetContext* c = Context();
    if (c && c->constraints) {
        auto chain = [&](WORD item) {
            CKinsokuItem* found = c->constraints->FindItem(item);
            return found ? found->BuildValueChain() : nullptr;
        };
        if (resolutionOffered_) resolution_.SetValueChain(chain(kItemResolution));
        if (qualityOffered_) quality_.SetValueChain(chain(kItemResolution));
        if (graphicsOffered_) graphics_.SetValueChain(chain(kItemGraphicsMode));
        if (halftoneOffered_) halftone_.SetValueChain(chain(kItemHalftone));
    }
    const BOOL suppressed = m_bSuppressChanges;
    m_bSuppressChanges = TRUE;
    Refresh();
    m_bSuppressChanges = suppressed;
    return CProfilePropPage::OnSetActive();
}

void CQuality::Refresh() {
    SheetContext* c = Context();
    if (!c || !m_hWnd) return;
    const DEVMODE_IMAGEW& image = c->workingImage;
    const PRIVATE_DEVMODE& p = image.priv;
    Preview().Refresh();
    if (graphicsOffered_) graphics_.SelectByData(p.GraphicsMode);
    if (halftoneOffered_) halftone_.SelectByData(p.HalftoneKind);
    colorMode_.SelectByData(p.ColorMode);

    HWND match = ::GetDlgItem(m_hWnd, kColorMatchList);
    if (p.ColorMode != kGrayscale) {
        FillComboFromRows(c->resourceModule, match, kColorMatchRows,
                          p.ColorMode == kPhotoColor ? 1 : 2);
        SelectComboByData(match, p.ColorMatching);
    } else {
        FillComboFromRows(c->resourceModule, match, kGrayMatchRows, 1);
        SelectComboByData(match, p.ColorModeAlt);
    }

    if (densityOffered_)
        ::SendDlgItemMessageW(m_hWnd, kDensitySlider, TBM_SETPOS, TRUE,
                              static_cast<short>(p.Density));
    ::SendDlgItemMessageW(m_hWnd, kContrastSlider, TBM_SETPOS, TRUE,
                          static_cast<short>(p.ThresholdLevel));
    if (contrastOffered_) {
        const BOOL contrastFree = !Refused(kItemContrastValues, 1);
        for (int id : {kContrastSlider, kContrastGroup, kContrastLighter, kContrastDarker})
            ::EnableWindow(::GetDlgItem(m_hWnd, id), contrastFree);
    }
    if (resolutionOffered_) resolution_.SelectByData(p.ResolutionCode);
    if (qualityOffered_) quality_.SelectByData(p.ResolutionCode);

    Check(kTonerSave, p.TonerSaveLevel == 1);
    if (tonerOffered_)
        ::EnableWindow(::GetDlgItem(m_hWnd, kTonerSave), !Refused(kItemTonerSave, 1));
    Check(kTextAsBlack, p.TextAsBlack == 1);
    if (textBlackOffered_)
        ::EnableWindow(::GetDlgItem(m_hWnd, kTextAsBlack),
                       !Refused(kItemTextAsBlack, 1) && !Refused(kItemTextAsBlack, 0));
    Check(kImageReduction, p.ImageReduction == 1);
    Check(kFinePatterns, p.FinePatterns == 1);
    ::EnableWindow(::GetDlgItem(m_hWnd, kFontButton), fontOffered_ && !Refused(kItemFontValues, 1));
    LockControlsIfReadOnly();
}

void CQuality::Changed(BOOL runRules) {
    SheetContext* c = Context();
    if (!c) return;
    OnSettingsChanged(TRUE);
    if (runRules) ApplyRulesAndRefresh(c, &c->workingImage, FALSE);
    Refresh();
}

void CQuality::OnColorMode() {
    SheetContext* c = Context();
    const LRESULT v = colorMode_.GetSelData();
    if (!c || v == CB_ERR) return;
    ApplyColorModeChange(&c->workingImage, previousMode_, static_cast<WORD>(v));
    previousMode_ = static_cast<WORD>(v);
    Changed(TRUE);
}

void CQuality::OnColorMatch() {
    SheetContext* c = Context();
    const LRESULT v = GetComboSelData(::GetDlgItem(m_hWnd, kColorMatchList));
    if (!c || v == CB_ERR) return;
    PRIVATE_DEVMODE& p = c->workingImage.priv;
    const bool colour = p.ColorMode != kGrayscale;
    if (colour)
        p.ColorMatching = static_cast<WORD>(v);
    else
        p.ColorModeAlt = static_cast<WORD>(v);
    c->workingImage.dm.dmICMMethod = colour && p.ColorMatching == kIcm ? kIcmSystem : kIcmNone;
    Changed(TRUE);
}

void CQuality::ResolutionChosen(CPMIconCombo& list) {
    SheetContext* c = Context();
    if (!c) return;
    if (const IconComboRow* row = list.GetSelRow()) {
        c->workingImage.priv.ResolutionCode = static_cast<WORD>(row->itemData);
        LookUpResolution(&c->model, &c->workingImage);
    }
    Changed(TRUE);
}

void CQuality::OnResolution() {
    ResolutionChosen(resolution_);
}

void CQuality::OnQuality() {
    ResolutionChosen(quality_);
}

void CQuality::OnGraphics() {
    const LRESULT v = graphics_.GetSelData();
    if (!Context() || v == CB_ERR) return;
    Context()->workingImage.priv.GraphicsMode = static_cast<WORD>(v);
    Changed(TRUE);
}

void CQuality::OnHalftone() {
    const LRESULT v = halftone_.GetSelData();
    if (!Context() || v == CB_ERR) return;
    Context()->workingImage.priv.HalftoneKind = static_cast<WORD>(v);
    Changed(TRUE);
}

// Toner save and all text black are constrained items (35 and 41): their
// rules run like the lists', so what they allow or refuse shows at once.
// Image reduction, fine patterns and the two sliders are no item's field:
// no rule can follow them, so none runs.
void CQuality::OnTonerSave() {
    if (!Context()) return;
    Context()->workingImage.priv.TonerSaveLevel = Checked(kTonerSave) ? 1 : 0;
    Changed(TRUE);
}

void CQuality::OnTextAsBlack() {
    if (!Context()) return;
    Context()->workingImage.priv.TextAsBlack = Checked(kTextAsBlack) ? 1 : 0;
    Changed(TRUE);
}

void CQuality::OnImageReduction() {
    if (!Context()) return;
    Context()->workingImage.priv.ImageReduction = Checked(kImageReduction) ? 1 : 0;
    Changed(FALSE);
}

void CQuality::OnFinePatterns() {
    if (!Context()) return;
    Context()->workingImage.priv.FinePatterns = Checked(kFinePatterns) ? 1 : 0;
    Changed(FALSE);
}

LRESULT CQuality::OnHScroll(WPARAM, LPARAM lParam) {
    SheetContext* c = Context();
    HWND slider = reinterpret_cast<HWND>(lParam);
    if (!c || !slider) return 0;
    const int position = static_cast<int>(::SendMessageW(slider, TBM_GETPOS, 0, 0));
    const int id = ::GetDlgCtrlID(slider);
    if (id == kContrastSlider) {
        c->workingImage.priv.ThresholdLevel = static_cast<WORD>(position);
        Changed(FALSE);
    } else if (id == kDensitySlider) {
        c->workingImage.priv.Density = static_cast<WORD>(position);
        Changed(FALSE);
    }
    return 0;
}

void CQuality::OnFont() {
    SheetContext* c = Context();
    if (!c) return;
    CFontDlg dialog(c, c->workingImage.priv.FontMode, this);
    if (dialog.DoModal() == IDOK && !IsSheetReadOnly(c)) {
        c->workingImage.priv.FontMode = dialog.FontModeValue();
        OnSettingsChanged(TRUE);
    }
    LockControlsIfReadOnly();
}

void CQuality::OnDetail() {
    SheetContext* c = Context();
    if (!c) return;
    std::u16string folder = GetDriverFolder(c->printer);
    if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
    for (const char16_t* name : kHuetunerFiles) {
        const std::u16string path = folder + name;
        HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            WarnMissingFile(m_hWnd, kHuetunerFile);
            return;
        }
        CloseHandle(file);
    }
    HMODULE library = LoadModuleBeside(c->model.modelsmith, kHuetunerFile);
    if (!library) return;
    auto adjust = reinterpret_cast<PFN_caColorAdjust>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "caColorAdjust")));
    DEVMODE_IMAGEW& image = c->workingImage;
    PRIVATE_DEVMODE& p = image.priv;
    const BOOL readOnly = IsSheetReadOnly(c);
    if (adjust &&
        (p.ColorMode == kGrayscale || p.ColorMode == kColor || p.ColorMode == kPhotoColor)) {
        outside::ColorAdjustBlock block{};
        std::memcpy(block.magic, outside::kColorAdjustMagic, sizeof block.magic);
        block.size = outside::kColorAdjustBlockSize;
        if (p.ColorAdjustOption == 1) block.flags |= outside::kColorAdjustOptionFlag;
        if (p.ColorMode == kPhotoColor) block.flags |= outside::kColorAdjustPhotoFlag;
        if (readOnly) block.flags |= outside::kColorAdjustReadOnlyFlag;
        static_assert(sizeof block.values == sizeof p.ColorAdjustValues);
        std::memcpy(block.values, p.ColorAdjustValues, sizeof block.values);
        std::memcpy(block.defaultValues, c->defaultImage.priv.ColorAdjustValues,
                    sizeof block.defaultValues);
        block.icmMethod = image.dm.dmICMMethod;
        block.icmIntent = image.dm.dmICMIntent;
        block.defaultIcmMethod = c->defaultImage.dm.dmICMMethod;
        block.defaultIcmIntent = c->defaultImage.dm.dmICMIntent;
        std::strcpy(block.plateFile, "Hueplate.DLL");
        std::strcpy(block.chartFile, "Huechart.BMP");
        std::strcpy(block.gaugeFile, "Huegauge.BMP");
        WideToAnsi(block.helpFile, c->helpFile, static_cast<int>(sizeof block.helpFile));
        block.helpFile[sizeof block.helpFile - 1] = 0;
        block.module = library;
        DWORD mode = outside::kColorAdjustGrayscale;
        if (p.ColorMode != kGrayscale)
            mode = p.ColorMatching == kIcm ? outside::kColorAdjustColorIcm
                                           : outside::kColorAdjustColorDevice;
        const int answer = adjust(m_hWnd, &block, mode);
        // A read-only sheet keeps its settings whatever the library answers;
        // ICM words it cannot have meant are not taken.
        if (answer == outside::kColorAdjustAccepted && !readOnly) {
            if (mode == outside::kColorAdjustColorIcm && ValidIcmMethod(block.icmMethod) &&
                ValidIcmIntent(block.icmIntent)) {
                image.dm.dmICMMethod = block.icmMethod;
                image.dm.dmICMIntent = block.icmIntent;
            }
            std::memcpy(p.ColorAdjustValues, block.values, sizeof p.ColorAdjustValues);
            OnSettingsChanged(TRUE);
        }
    }
    FreeLibrary(library);
    LockControlsIfReadOnly();
}

} // namespace sheetwright
