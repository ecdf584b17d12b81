#include "basic_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "booklet_dlg.h"
#include "control_states.h"
#include "cover_page_dlg.h"
#include "custom_paper_dlg.h"
#include "dialog_lookups.h"
#include "duplex_options_dlg.h"
#include "fit_paper_dlg.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "list_helpers.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "number_text.h"
#include "pages_per_sheet_dlg.h"
#include "poster_dlg.h"
#include "revise_devmode.h"
#include "sheet_help.h"
#include "track_dm.h"
#include "user_paper.h"
#include "win/commctrl.h"
#include "zoom_dlg.h"

namespace sheetwright {
namespace {

// Model table 25: duplex. Entry 0 part 4 holds the binding margin's words:
// 0 default and 1 maximum in 0.01 inch, 2 default and 3 maximum in 0.1 mm.
constexpr size_t kDefaultInchOffset = 0, kMaxInchOffset = 2;
constexpr size_t kDefaultMMOffset = 4, kMaxMMOffset = 6;
constexpr WORD kNoTableMarginInch = 200, kNoTableMarginMM = 500;
// Part 3 of a duplex entry: word 2 bit 8 says the duplex options apply.
constexpr WORD kDuplexOptionsBit = 0x100;
// Part 5 of a duplex entry: word 2 names the row with margin.
// Table 57 part 2 answers when the model has cover pages; table 21 part 1's
// first word is non-zero when it takes custom papers.

constexpr DWORD kPrivReverseOffered = 0x2;
constexpr DWORD kPrivDuplexTypeOffered = 0x200;
constexpr DWORD kFeatureFit = 0x1, kFeatureZoom = 0x2, kFeatureBooklet = 0x4;
constexpr DWORD kFeaturePagesPerSheet = 0x8, kFeaturePoster = 0x10;
constexpr DWORD kJobCheckDuplexNotice = 0x10;
constexpr DWORD kFieldsPaperSize = DM_PAPERLENGTH | DM_PAPERWIDTH;
// The rule list of item 43 that makes the duplex rows carry the margin.
constexpr WORD kMarginRuleKey = 1;
constexpr DWORD kMarginRuleValue = 225;

constexpr DWORD kStringDuplex = 4101;
constexpr DWORD kStringDuplexAuto = 4107;
constexpr DWORD kStringDuplexManual = 4108;

constexpr ComboRow kOrientationRows[] = {
    {4050, 0, 0x10000, 0}, {4051, 0, 0x20000, 0}, {4052, 0, 0x10001, 0}, {4053, 0, 0x20001, 0}};

struct LayoutButton {
    int id;
    DWORD icon;
    DWORD string;
    WORD kind;
    WORD item;
};
// In the order of the icons; the label shows the last pressed one's name.
constexpr LayoutButton kLayoutButtons[] = {
    {CPaperSet::kIdcLayoutNone, 2200, 4400, 0, 0},
    {CPaperSet::kIdcPagesPerSheet, 2201, 4600, kLayoutPagesPerSheet, kItemNup},
    {CPaperSet::kIdcBooklet, 2202, 4550, kLayoutBooklet, kItemBooklet},
    {CPaperSet::kIdcFitToPaper, 2203, 4500, kLayoutFitToPaper, kItemFit},
    {CPaperSet::kIdcZoom, 2204, 4450, kLayoutZoom, kItemZoom},
    {CPaperSet::kIdcPoster, 2205, 4650, kLayoutPoster, kItemPoster},
};

DWORD DuplexIconCallback(LONG value, void* context) {
    auto* image = static_cast<const DEVMODE_IMAGEW*>(context);
    return GetDuplexIconId(image, static_cast<SHORT>(LOWORD(value)), HIWORD(value));
}

} // namespace

BEGIN_MESSAGE_MAP(CPaperSet, CProfilePropPage)
ON_CBN_SELCHANGE(CPaperSet::kPaperSource, OnSelchangePaperSource)
ON_CBN_SELCHANGE(CPaperSet::kOutputPaper, OnSelchangeOutputPaper)
ON_CBN_SELCHANGE(CPaperSet::kPaperSize, OnSelchangePaperSize)
ON_CBN_SELCHANGE(CPaperSet::kMediaType, OnSelchangeMediaType)
ON_CBN_SELCHANGE(CPaperSet::kDuplex, OnSelchangeDuplex)
ON_CBN_SELCHANGE(CPaperSet::kOrientation, OnSelchangeOrientation)
ON_BN_CLICKED(CPaperSet::kCustomPaper, OnCustomPaper)
ON_BN_CLICKED(CPaperSet::kCoverPage, OnCoverPage)
ON_BN_CLICKED(CPaperSet::kIdcLayoutNone, OnLayoutNone)
ON_BN_CLICKED(CPaperSet::kIdcPagesPerSheet, OnLayoutPagesPerSheet)
ON_BN_CLICKED(CPaperSet::kIdcBooklet, OnLayoutBooklet)
ON_BN_CLICKED(CPaperSet::kIdcZoom, OnLayoutZoom)
ON_BN_CLICKED(CPaperSet::kIdcFitToPaper, OnLayoutFit)
ON_BN_CLICKED(CPaperSet::kIdcPoster, OnLayoutPoster)
ON_BN_CLICKED(CPaperSet::kDuplexOptions, OnDuplexOptions)
ON_BN_CLICKED(CPaperSet::kRestoreDefaults, OnRestoreDefaults)
ON_EN_KILLFOCUS(CPaperSet::kMarginEdit, OnKillfocusDuplexMargin)
ON_EN_CHANGE(CPaperSet::kMarginEdit, OnChangeDuplexMargin)
ON_MESSAGE(WM_VSCROLL, OnSpinMessage)
ON_MESSAGE(WM_CTLCOLOREDIT, OnColorMessage)
ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorMessage)
END_MESSAGE_MAP()

CPaperSet::CPaperSet(SheetContext* context) : CProfilePropPage(kPageBasic, context) {}

CPaperSet::~CPaperSet() {
    for (HICON& icon : icons_)
        if (icon) ::DestroyIcon(icon);
    if (faceBrush_) ::DeleteObject(faceBrush_);
}

std::u16string CPaperSet::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

bool CPaperSet::Refused(WORD item, DWORD value) const {
    const SheetContext* c = Context();
    return c && c->constraints && c->constraints->IsValueRefused(item, value);
}

BOOL CPaperSet::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    SheetContext* c = Context();
    if (!c) return TRUE;
    DEVMODE_IMAGEW& im = c->workingImage;
    const PRIVATE_DEVMODE& p = im.priv;
    HMODULE resources = c->resourceModule;

    useMillimetres_ = (p.MeasureFlags & kA4Region) != 0;
    marginByRow_ = HasModelFlag25Bit8(c->optionPair);

    // The margin's default and maximum, both with their fractions: a model
    // maximum of 12.7 mm stays 12.7 mm, and the default is converted at the
    // image's own length resolution, where the margin is stored.
    CModelInfo margins(&c->model, model::kQueryInstallable, 0, model::layout::kInstallableSlots);
    const bool answered = margins.GetData() != nullptr;
    const WORD defaultWord =
        answered ? margins.U16(useMillimetres_ ? kDefaultMMOffset : kDefaultInchOffset)
                 : (useMillimetres_ ? kNoTableMarginMM : kNoTableMarginInch);
    const WORD maxWord = answered ? margins.U16(useMillimetres_ ? kMaxMMOffset : kMaxInchOffset)
                                  : (useMillimetres_ ? kNoTableMarginMM : kNoTableMarginInch);
    const double maximum = useMillimetres_ ? maxWord / 10.0 : maxWord / 100.0;
    const double defaultInches = useMillimetres_ ? defaultWord / 254.0 : defaultWord / 100.0;
    const int dpi = p.LengthUnitDpi < 1 ? CMMInch::kDefaultResolution : p.LengthUnitDpi;
    defaultMarginDots_ =
        static_cast<WORD>(std::clamp(std::floor(defaultInches * dpi + 0.5), 0.0, 65535.0));

    duplexAvailable_ =
        HasModelFlag25Bits0To1(c->optionPair) || HasModelFlag25Bits2To3(c->optionPair);
    reverseOffered_ = (p.PrivateFlags & kPrivReverseOffered) != 0;

    // The Restore All Defaults button never overlaps the preview.
    RECT pane{}, restore{};
    if (::GetWindowRect(Item(kPreviewId), &pane) &&
        ::GetWindowRect(Item(kRestoreDefaults), &restore) && restore.top < pane.bottom)
        OffsetControl(m_hWnd, Item(kRestoreDefaults), 0, pane.bottom - restore.top + 3);

    fitOffered_ = (p.FeatureFlags & kFeatureFit) != 0;
    zoomOffered_ = (p.FeatureFlags & kFeatureZoom) != 0;
    pagesPerSheetOffered_ = (p.FeatureFlags & kFeaturePagesPerSheet) != 0;
    posterOffered_ = (p.FeatureFlags & kFeaturePoster) != 0;
    noticeGroup_ = (p.JobCheckFlags & kJobCheckDuplexNotice) != 0;
    typeGroup_ = (p.PrivateFlags & kPrivDuplexTypeOffered) != 0;
    {
        CModelInfo covers(&c->model, model::kQueryCoverPages, 0, model::layout::kFixedSecond);
        coverPageAvailable_ = covers.GetData() != nullptr;
        CModelInfo custom(&c->model, model::kQueryCustomPaperLimits, 0,
                          model::layout::kLimitsRecord);
        customPaperAvailable_ = custom.GetData() && custom.U32(0) != 0;
    }
    mediaTypeShown_ = LacksTable22Flag(c->optionPair);

    FillPaperSizeList();
    if (CKinsokuItem* media = c->constraintItems[kSlotMedia])
        FillComboFromModelList(resources, Item(kMediaType), media->BuildValueChain());
    if (CKinsokuItem* source = c->constraintItems[kSlotSource])
        FillComboFromModelList(resources, Item(kPaperSource), source->BuildValueChain());

    ::ShowWindow(Item(kCoverPage), coverPageAvailable_ ? SW_SHOW : SW_HIDE);
    ::EnableWindow(Item(kCoverPage), coverPageAvailable_);

    if (!duplex_.m_hWnd) duplex_.SubclassDlgItem(kDuplex, this);
    duplex_.SetStrings(&Localize());
    duplex_.m_pfnIconChooser = DuplexIconCallback;
    duplex_.m_pChooserContext = &c->workingImage;
    if (!arrow_.m_hWnd) arrow_.SubclassDlgItem(IDC_BASIC_LAYOUT_PICTURE, this);

    margin_.Init(m_hWnd, LengthEditIds{kMarginEdit, kMarginSpin, kMarginRange}, useMillimetres_,
                 maximum, p.LengthUnitDpi, p.DuplexMargin, &Localize());

    ::ShowWindow(Item(kCustomPaper), customPaperAvailable_ ? SW_SHOW : SW_HIDE);
    ::EnableWindow(Item(kCustomPaper), customPaperAvailable_);
    ::ShowWindow(Item(kMediaType), mediaTypeShown_ ? SW_SHOW : SW_HIDE);
    ::ShowWindow(Item(kMediaLabel), mediaTypeShown_ ? SW_SHOW : SW_HIDE);

    const bool marginShown = duplexAvailable_ && !marginByRow_;
    for (int id : {kMarginLabel, kMarginEdit, kMarginSpin, kMarginRange})
        ::ShowWindow(Item(id), marginShown ? SW_SHOW : SW_HIDE);
    if (!duplexAvailable_)
        for (int id : {kDuplex, kDuplexLabel, kIdcBooklet})
            ::ShowWindow(Item(id), SW_HIDE);

    for (size_t i = 0; i < std::size(kLayoutButtons); ++i) {
        const LayoutButton& b = kLayoutButtons[i];
        icons_[i] = ::LoadIconW(resources, MAKEINTRESOURCEW(b.icon));
        HWND button = Item(b.id);
        if (icons_[i] && button)
            ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icons_[i]));
        const bool shown = b.id != kIdcBooklet || duplexAvailable_;
        ::ShowWindow(button, shown ? SW_SHOW : SW_HIDE);
        ::EnableWindow(button, shown);
        AddToolTip(resources, Tooltip(), button, b.string, &tips_[i]);
        const std::u16string text = String(b.string);
        if (!text.empty()) ::SetWindowTextW(button, text.c_str());
    }
    return TRUE;
}

void CPaperSet::FillPaperSizeList() {
    SheetContext* c = Context();
    HWND list = Item(kPaperSize);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    CKinsokuItem* papers = c ? c->constraintItems[kSlotPaper] : nullptr;
    if (!papers) return;
    std::u16string separator;
    GetDecimalSeparator(&separator);
    for (const KinsokuChainNode* n = papers->BuildValueChain(); n; n = n->next) {
        // A paper only the media type or tray refuses stays offered: choosing
        // it brings a media type and tray that take it.
        if (n->refused && !IsPaperWithinReach(c->constraints, n->value)) continue;
        std::u16string text =
            FormatPaperSizeText(&c->model, c->resourceModule, c->userPapers, n->value);
        if (text.empty()) continue;
        LocalizeDecimalText(&text, separator);
        const LRESULT at =
            ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (at >= 0) ::SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(at), n->value);
    }
}

BOOL CPaperSet::OnSetActive() {
    SheetContext* c = Context();
    if (c) {
        bookletOffered_ = (c->workingImage.priv.FeatureFlags & kFeatureBooklet) &&
                          IsTable29FeatureAvailable(c->optionPair);
        // Decided: the button shows exactly when the duplex options dialog
        // would show at least one of its controls (the type list or the
        // notice check box), so it never opens an empty dialog; the dialog
        // answers that itself.
        const bool shown = CDupOpt::TypeShown(c) || CDupOpt::NoticeShown(c);
        ::ShowWindow(Item(kDuplexOptions), shown ? SW_SHOW : SW_HIDE);
    }
    const BOOL suppressed = m_bSuppressChanges;
    m_bSuppressChanges = TRUE;
    initialising_ = true;
    RefreshControls(0, FALSE);
    initialising_ = false;
    m_bSuppressChanges = suppressed;
    return CProfilePropPage::OnSetActive();
}

void CPaperSet::ChangeSequence(int sourceControl, BOOL force) {
    if (initialising_) return;
    NotifySettingsChanged(TRUE, TRUE);
    ApplyRulesAndRefresh(Context(), nullptr, force);
    RefreshControls(sourceControl, FALSE);
}

void CPaperSet::SelectPaper(WORD paper) {
    HWND list = Item(kPaperSize);
    if (!SelectComboByData(list, paper)) ::SendMessageW(list, CB_SETCURSEL, 0, 0);
}

void CPaperSet::FillOrientationList() {
    SheetContext* c = Context();
    const DWORD rows = reverseOffered_ && !Refused(kItemRotate, 1) ? 4 : 2;
    HWND list = Item(kOrientation);
    if (static_cast<DWORD>(::SendMessageW(list, CB_GETCOUNT, 0, 0)) != rows)
        FillComboFromRows(c->resourceModule, list, kOrientationRows, rows);
    const PRIVATE_DEVMODE& p = c->workingImage.priv;
    SelectComboByData(
        list, static_cast<LPARAM>(static_cast<DWORD>(c->workingImage.dm.dmOrientation) << 16 |
                                  p.Rotate180));
}

void CPaperSet::FillDuplexRows() {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    bool marginRows = false;
    if (marginByRow_ && c->constraints)
        if (CKinsokuItem* item = c->constraints->FindItem(kItemDuplexMargin))
            if (const CValidRule* rule = item->FindItemRule(kMarginRuleKey))
                marginRows = rule->allowed.size() == 1 && rule->allowed[0] == kMarginRuleValue;
    std::vector<IconComboRow> rows;
    if (CKinsokuItem* duplex = c->constraints ? c->constraints->FindItem(kItemDuplex) : nullptr)
        for (const KinsokuChainNode* n = duplex->BuildValueChain(); n; n = n->next)
            if (!n->refused) rows.push_back({n->param1, n->param2, n->value, 0});
    if (marginRows) {
        const size_t plain = rows.size();
        for (size_t i = 0; i < plain; ++i) {
            if (rows[i].itemData == DMDUP_SIMPLEX) continue;
            DWORD text = 0;
            if (rows[i].itemData == DMDUP_VERTICAL || rows[i].itemData == DMDUP_HORIZONTAL) {
                CModelInfo entry(&c->model, model::kQueryInstallable,
                                 static_cast<WORD>(rows[i].itemData),
                                 model::layout::kInstallableEntries);
                if (entry.GetData()) text = entry.U16(4);
            }
            rows.push_back({text, rows[i].iconId, rows[i].itemData | kMarginRowFlag, 0});
        }
    }
    duplex_.SetRows(rows.data(), static_cast<LONG>(rows.size()));
    LONG selected = im.dm.dmDuplex;
    if (marginRows && im.dm.dmDuplex != DMDUP_SIMPLEX && im.priv.DuplexMargin)
        selected |= kMarginRowFlag;
    duplex_.SelectByData(selected);
}

void CPaperSet::RefreshControls(int sourceControl, BOOL forceMargin) {
    SheetContext* c = Context();
    if (!c || !m_hWnd) return;
    DEVMODE_IMAGEW& im = c->workingImage;
    const PRIVATE_DEVMODE& p = im.priv;
    HMODULE resources = c->resourceModule;
    Preview().Refresh();

    if (c->constraints && c->constraints->IsDependent(kItemPaper)) FillPaperSizeList();
    SelectPaper(static_cast<WORD>(im.dm.dmPaperSize));

    FillPaperSizeCombo(resources, Item(kOutputPaper), &c->model, &im,
                       c->constraintItems[kSlotPaper]
                           ? c->constraintItems[kSlotPaper]->BuildValueChain()
                           : nullptr,
                       c->userPapers, TRUE, c->optionPair);
    SelectComboByData(Item(kOutputPaper), p.OutputPaperId);

    if (c->constraints && c->constraints->IsDependent(kItemMedia) && c->constraintItems[kSlotMedia])
        FillComboFromModelList(resources, Item(kMediaType),
                               c->constraintItems[kSlotMedia]->BuildValueChain());
    SelectComboByData(Item(kMediaType), static_cast<LPARAM>(im.dm.dmMediaType));
    if (c->constraints && c->constraints->IsDependent(kItemSource) &&
        c->constraintItems[kSlotSource])
        FillComboFromModelList(resources, Item(kPaperSource),
                               c->constraintItems[kSlotSource]->BuildValueChain());
    SelectComboByData(Item(kPaperSource), im.dm.dmDefaultSource);

    FillOrientationList();

    DWORD label = kStringDuplex;
    if (HasModelFlag25Bits2To3(c->optionPair))
        label = p.DuplexType == 1 ? kStringDuplexManual : kStringDuplexAuto;
    const std::u16string duplexText = String(label);
    if (!duplexText.empty()) ::SetWindowTextW(Item(kDuplexLabel), duplexText.c_str());

    if (sourceControl != kDuplex) FillDuplexRows();

    if (forceMargin || ::GetFocus() != Item(kMarginEdit)) {
        showingMargin_ = true;
        margin_.SetDots(p.DuplexMargin);
        margin_.Show();
        showingMargin_ = false;
    }
    const BOOL marginUsable = !Refused(kItemDuplexMargin, 1);
    for (int id : {kMarginLabel, kMarginEdit, kMarginSpin, kMarginRange})
        ::EnableWindow(Item(id), marginUsable);

    RefreshLayoutButtons();

    bool optionsUsable = false;
    if (typeGroup_ && !(Refused(kItemDuplexType, 0) && Refused(kItemDuplexType, 1))) {
        CModelInfo entry(&c->model, model::kQueryInstallable, static_cast<WORD>(im.dm.dmDuplex),
                         model::layout::kInstallableShort);
        optionsUsable = entry.GetData() && (entry.U16(4) & kDuplexOptionsBit);
    }
    if (noticeGroup_ && !Refused(kItemDuplexNotice, 1)) optionsUsable = true;
    ::EnableWindow(Item(kDuplexOptions), optionsUsable);

    LockControlsIfReadOnly();
    if (!::GetFocus()) ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
}

void CPaperSet::RefreshLayoutButtons() {
    SheetContext* c = Context();
    const WORD kind = c->workingImage.priv.LayoutKind;
    std::u16string name;
    for (const LayoutButton& b : kLayoutButtons) {
        bool enabled = false;
        switch (b.id) {
        case kIdcLayoutNone:
            enabled =
                !IsPaperOverMaxSize(&c->model, static_cast<WORD>(c->workingImage.dm.dmPaperSize));
            break;
        case kIdcPagesPerSheet:
            enabled = pagesPerSheetOffered_;
            break;
        case kIdcBooklet:
            enabled = bookletOffered_ && duplexAvailable_;
            break;
        case kIdcFitToPaper:
            enabled = fitOffered_;
            break;
        case kIdcZoom:
            enabled = zoomOffered_;
            break;
        case kIdcPoster:
            enabled = posterOffered_;
            break;
        }
        if (b.item && Refused(b.item, b.kind)) enabled = false;
        ::EnableWindow(Item(b.id), enabled);
        const bool pressed = b.kind == 0 ? kind == 0 : (kind & b.kind) != 0;
        ::SendMessageW(Item(b.id), BM_SETCHECK, pressed ? BST_CHECKED : BST_UNCHECKED, 0);
        if (pressed) name = String(b.string);
    }
    ::SetWindowTextW(Item(kLayoutName), name.c_str());
}

// ---------------------------------------------------------------- lists

void CPaperSet::OnSelchangePaperSource() {
    const LRESULT data = GetComboSelData(Item(kPaperSource));
    if (data == CB_ERR) return;
    Context()->workingImage.dm.dmDefaultSource = static_cast<SHORT>(data);
    ChangeSequence(0, FALSE);
}

void CPaperSet::OnSelchangeMediaType() {
    const LRESULT data = GetComboSelData(Item(kMediaType));
    if (data == CB_ERR) return;
    Context()->workingImage.dm.dmMediaType = static_cast<DWORD>(data);
    ChangeSequence(0, FALSE);
}

void CPaperSet::ClampZoom() {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    DWORD minimum = 0, maximum = 0;
    if (GetZoomRange(&c->model, c->userPapers, &im, static_cast<DWORD>(im.dm.dmPrintQuality),
                     &minimum, &maximum) &&
        minimum <= maximum)
        im.priv.ZoomPercent = static_cast<SHORT>(std::clamp<LONG>(
            im.priv.ZoomPercent, static_cast<LONG>(minimum), static_cast<LONG>(maximum)));
}

BOOL CPaperSet::TakePaperSize(WORD paper) {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    WORD width = 0, length = 0;
    if (paper >= kFirstUserPaper) {
        if (!c->userPapers || !c->userPapers->GetSize(paper, &width, &length)) return FALSE;
        im.dm.dmPaperWidth = static_cast<SHORT>(width);
        im.dm.dmPaperLength = static_cast<SHORT>(length);
        im.dm.dmFields |= kFieldsPaperSize;
        return TRUE;
    }
    im.dm.dmFields &= ~kFieldsPaperSize;
    if (GetModelPaperSize(&c->model, paper, &width, &length)) {
        im.dm.dmPaperWidth = static_cast<SHORT>(width);
        im.dm.dmPaperLength = static_cast<SHORT>(length);
    }
    return TRUE;
}

void CPaperSet::AfterPaperChange() {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    // A user paper that is gone (deleted, or its size unknown) falls back to
    // the model's default paper of the region.
    if (!TakePaperSize(static_cast<WORD>(im.dm.dmPaperSize))) {
        im.dm.dmPaperSize = static_cast<SHORT>(
            GetDefaultPaperId(&c->model, (im.priv.MeasureFlags & kA4Region) != 0));
        TakePaperSize(static_cast<WORD>(im.dm.dmPaperSize));
    }
    im.priv.OutputPaperId = 0;
    FixOversizeOutputPaper(c->printer, &c->model, c->userPapers, &im);
    SyncFitToPaperLayout(&im);
    ClampZoom();
}

void CPaperSet::OnSelchangePaperSize() {
    const LRESULT data = GetComboSelData(Item(kPaperSize));
    if (data == CB_ERR) return;
    Context()->workingImage.dm.dmPaperSize = static_cast<SHORT>(data);
    AfterPaperChange();
    ChangeSequence(0, FALSE);
}

void CPaperSet::OnSelchangeOutputPaper() {
    const LRESULT data = GetComboSelData(Item(kOutputPaper));
    if (data == CB_ERR) return;
    SheetContext* c = Context();
    PRIVATE_DEVMODE& p = c->workingImage.priv;
    const WORD paper = static_cast<WORD>(data);
    if (paper == 0 && p.LayoutKind == kLayoutFitToPaper) p.LayoutKind = 0;
    if (paper != 0 && p.LayoutKind == 0) p.LayoutKind = kLayoutFitToPaper;
    // One rule for the output paper, shared with the layout dialogs; a user
    // paper whose size is unknown counts as the same paper.
    SetOutputPaper(c, &c->workingImage, paper);
    ClampZoom();
    ChangeSequence(0, FALSE);
}

void CPaperSet::OnSelchangeDuplex() {
    const LRESULT data = duplex_.GetSelData();
    if (data == CB_ERR) return;
    DEVMODE_IMAGEW& im = Context()->workingImage;
    im.dm.dmDuplex = static_cast<SHORT>(LOWORD(data));
    if (marginByRow_) im.priv.DuplexMargin = data < kMarginRowFlag ? 0 : defaultMarginDots_;
    ChangeSequence(kDuplex, FALSE);
}

void CPaperSet::OnSelchangeOrientation() {
    const LRESULT data = GetComboSelData(Item(kOrientation));
    if (data == CB_ERR) return;
    DEVMODE_IMAGEW& im = Context()->workingImage;
    const SHORT orientation = static_cast<SHORT>(HIWORD(data));
    if (orientation != im.dm.dmOrientation && im.priv.PagesPerSheet == 2) im.priv.PageOrder = 0;
    im.dm.dmOrientation = orientation;
    im.priv.Rotate180 = LOWORD(data);
    NormalizePosterGrid(&im);
    ChangeSequence(kOrientation, FALSE);
}

// ---------------------------------------------------------------- layouts

void CPaperSet::FocusLayoutButton() {
    const WORD kind = Context()->workingImage.priv.LayoutKind;
    int id = kIdcLayoutNone;
    switch (kind) {
    case kLayoutPagesPerSheet:
        id = kIdcPagesPerSheet;
        break;
    case kLayoutBooklet:
        id = kIdcBooklet;
        break;
    case kLayoutPoster:
        id = kIdcPoster;
        break;
    case kLayoutFitToPaper:
        id = kIdcFitToPaper;
        break;
    case kLayoutZoom:
        id = kIdcZoom;
        break;
    }
    RefreshLayoutButtons();
    ::SetFocus(Item(id));
}

template <class D> static INT_PTR RunLayoutDialog(SheetContext* c, CWnd* parent) {
    D dialog(c, parent);
    return dialog.DoModal();
}

void CPaperSet::OnLayoutButton(int controlId, WORD kind) {
    if (::SendMessageW(Item(controlId), BM_GETCHECK, 0, 0) != BST_CHECKED) return;
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    // A button reached with the arrow keys takes its layout without a dialog.
    const bool arrows = (::GetKeyState(VK_UP) | ::GetKeyState(VK_DOWN) | ::GetKeyState(VK_LEFT) |
                         ::GetKeyState(VK_RIGHT)) < 0;
    if (!arrows) {
        INT_PTR result = IDCANCEL;
        switch (controlId) {
        case kIdcPagesPerSheet:
            result = RunLayoutDialog<CPagesperSheetDlg>(c, this);
            break;
        case kIdcBooklet:
            result = RunLayoutDialog<CBookletDlg>(c, this);
            break;
        case kIdcFitToPaper:
            result = RunLayoutDialog<CFitOutputPaperDlg>(c, this);
            break;
        case kIdcZoom:
            result = RunLayoutDialog<CScaleDlg>(c, this);
            break;
        case kIdcPoster:
            result = RunLayoutDialog<CPosterDlg>(c, this);
            break;
        }
        if (result == IDOK)
            NotifySettingsChanged(TRUE, TRUE);
        else
            FocusLayoutButton();
    } else {
        im.priv.LayoutKind = kind;
        if (kind == kLayoutFitToPaper && im.priv.OutputPaperId == 0) {
            im.priv.OutputPaperId = static_cast<WORD>(im.dm.dmPaperSize);
            im.priv.OutputPaperWidth = im.dm.dmPaperWidth;
            im.priv.OutputPaperLength = im.dm.dmPaperLength;
            if (im.dm.dmFields & kFieldsPaperSize)
                im.priv.PrivateFlags |= kOutputPaperOwnSize;
            else
                im.priv.PrivateFlags &= ~kOutputPaperOwnSize;
            FixOversizeOutputPaper(c->printer, &c->model, c->userPapers, &im);
        }
        if (kind == kLayoutPoster && !IsValidPosterGrid(&im)) {
            im.priv.PosterGrid[0] = 2;
            im.priv.PosterGrid[1] = 2;
        }
        NotifySettingsChanged(TRUE, TRUE);
    }
    ApplyRulesAndRefresh(c, nullptr, TRUE);
    RefreshControls(0, FALSE);
}

void CPaperSet::OnLayoutNone() {
    if (::SendMessageW(Item(kIdcLayoutNone), BM_GETCHECK, 0, 0) != BST_CHECKED) return;
    PRIVATE_DEVMODE& p = Context()->workingImage.priv;
    p.LayoutKind = 0;
    p.OutputPaperId = 0;
    ChangeSequence(0, FALSE);
}
void CPaperSet::OnLayoutPagesPerSheet() {
    OnLayoutButton(kIdcPagesPerSheet, kLayoutPagesPerSheet);
}
void CPaperSet::OnLayoutBooklet() {
    OnLayoutButton(kIdcBooklet, kLayoutBooklet);
}
void CPaperSet::OnLayoutZoom() {
    OnLayoutButton(kIdcZoom, kLayoutZoom);
}
void CPaperSet::OnLayoutFit() {
    OnLayoutButton(kIdcFitToPaper, kLayoutFitToPaper);
}
void CPaperSet::OnLayoutPoster() {
    OnLayoutButton(kIdcPoster, kLayoutPoster);
}

// ---------------------------------------------------------------- dialogs

void CPaperSet::OnCustomPaper() {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    CCustomPaperlist dialog(c, static_cast<WORD>(im.dm.dmPaperSize), this);
    const INT_PTR result = dialog.DoModal();
    if (dialog.ListChanged()) {
        RemoveCustomPaperRules(&c->model, c->constraints, c->userPapers);
        RefreshControlStates(c);
        FillPaperSizeList();
    }
    // OK with a paper chosen takes it; OK with none keeps the paper, and a
    // paper that was deleted is replaced whichever way the dialog ended.
    if (result == IDOK && dialog.SelectedPaperId())
        im.dm.dmPaperSize = static_cast<SHORT>(dialog.SelectedPaperId());
    const WORD paper = static_cast<WORD>(im.dm.dmPaperSize);
    const bool gone =
        paper >= kFirstUserPaper && (!c->userPapers || !c->userPapers->FindById(paper));
    if (result == IDOK || gone || dialog.ListChanged()) {
        AfterPaperChange();
        // An output paper that was deleted goes as well.
        if (im.priv.OutputPaperId >= kFirstUserPaper &&
            (!c->userPapers || !c->userPapers->FindById(im.priv.OutputPaperId)))
            SetOutputPaper(c, &im, 0);
    }
    SelectPaper(static_cast<WORD>(im.dm.dmPaperSize));
    ChangeSequence(0, FALSE);
}

void CPaperSet::OnCoverPage() {
    SheetContext* c = Context();
    CCoverPageDlg dialog(c, this);
    if (dialog.DoModal() == IDOK &&
        std::memcmp(&dialog.Copy(), &c->workingImage, sizeof(DEVMODE_IMAGEW)) != 0) {
        std::memcpy(&c->workingImage, &dialog.Copy(), sizeof(DEVMODE_IMAGEW));
        // The tracker takes the cover dialog's media type and source as
        // settled, not as a change of the user's to follow up.
        if (c->tracker) {
            c->tracker->trackedMedia = c->workingImage.dm.dmMediaType;
            c->tracker->trackedSource = c->workingImage.dm.dmDefaultSource;
        }
        NotifySettingsChanged(TRUE, TRUE);
        ApplyRulesAndRefresh(c, nullptr, TRUE);
        RefreshControls(0, FALSE);
    } else {
        ApplyRulesAndRefresh(c, nullptr, TRUE);
        RefreshControls(0, FALSE);
    }
    LockControlsIfReadOnly();
}

void CPaperSet::OnDuplexOptions() {
    SheetContext* c = Context();
    PRIVATE_DEVMODE& p = c->workingImage.priv;
    CDupOpt dialog(c, this);
    if (dialog.DoModal() == IDOK && (dialog.DuplexTypeValue() != p.DuplexType ||
                                     dialog.DuplexNoticeValue() != p.DuplexNotice)) {
        p.DuplexType = dialog.DuplexTypeValue();
        p.DuplexNotice = dialog.DuplexNoticeValue();
        NotifySettingsChanged(TRUE, TRUE);
        ApplyRulesAndRefresh(c, nullptr, TRUE);
    }
    RefreshControls(0, FALSE);
    LockControlsIfReadOnly();
}

void CPaperSet::OnRestoreDefaults() {
    SheetContext* c = Context();
    DEVMODE_IMAGEW& im = c->workingImage;
    const DWORD personal = im.priv.SavePersonalInfo;
    ReviseContext revise = SheetReviseContext(c);
    DEVMODE_IMAGEW old = c->defaultImage;
    ReviseDevmode(&revise, &old, &im, 2);
    im.priv.SavePersonalInfo = personal;
    NotifySettingsChanged(TRUE, TRUE);
    ApplyRulesAndRefresh(c, nullptr, TRUE);
    c->applied = 0;
    RefreshControls(0, TRUE);
}

// ---------------------------------------------------------------- margin

void CPaperSet::StoreMargin() {
    Context()->workingImage.priv.DuplexMargin = margin_.Dots();
}

void CPaperSet::OnChangeDuplexMargin() {
    if (showingMargin_ || initialising_ || !Context()) return;
    margin_.OnTextChanged();
    // What is typed counts at once, within the limits: a value over the
    // maximum never reaches the image, and never wraps its 16 bits.
    margin_.ReadTyped();
    StoreMargin();
    ChangeSequence(0, FALSE);
}

LRESULT CPaperSet::OnSpinMessage(WPARAM, LPARAM lParam) {
    HWND spin = Item(kMarginSpin);
    if (!spin || reinterpret_cast<HWND>(lParam) != spin) return Default();
    margin_.OnSpin(static_cast<int>(::SendMessageW(spin, UDM_GETPOS32, 0, 0)));
    StoreMargin();
    margin_.Show();
    ChangeSequence(0, FALSE);
    return 0;
}

BOOL CPaperSet::CommitMargin() {
    if (!Context()) return FALSE;
    const WORD before = Context()->workingImage.priv.DuplexMargin;
    const BOOL clamped = margin_.Clamp();
    StoreMargin();
    showingMargin_ = true;
    margin_.Show();
    showingMargin_ = false;
    return clamped || before != Context()->workingImage.priv.DuplexMargin;
}

void CPaperSet::OnKillfocusDuplexMargin() {
    if (CommitMargin()) ChangeSequence(0, FALSE);
}

BOOL CPaperSet::OnCommand(WPARAM wParam, LPARAM lParam) {
    // Enter in the margin edit takes the value before the sheet closes.
    if (LOWORD(wParam) == IDOK && ::GetFocus() == Item(kMarginEdit)) CommitMargin();
    return CProfilePropPage::OnCommand(wParam, lParam);
}

BOOL CPaperSet::OnKillActive() {
    if (m_hWnd && CommitMargin()) ChangeSequence(0, FALSE);
    return CProfilePropPage::OnKillActive();
}

BOOL CPaperSet::OnApply() {
    if (m_hWnd) CommitMargin();
    return CProfilePropPage::OnApply();
}

void CPaperSet::OnOK() {
    if (m_hWnd) CommitMargin();
    CProfilePropPage::OnOK();
}

LRESULT CPaperSet::OnColorMessage(WPARAM wParam, LPARAM lParam) {
    if (HBRUSH face = ReadOnlyEditBrush(reinterpret_cast<HDC>(wParam),
                                        reinterpret_cast<HWND>(lParam), &faceBrush_))
        return reinterpret_cast<LRESULT>(face);
    return Default();
}

} // namespace sheetwright
