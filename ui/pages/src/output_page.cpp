#include "output_page.h"

#include <cstring>
#include <string>

#include "control_states.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "model_info.h"
#include "output_options_dlg.h"
#include "sheet_help.h"
#include "win/commctrl.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringCopiesRange = 6000; // "(%d - %d)"
constexpr DWORD kPrivateMirrorOffered = 1u << 0;
constexpr DWORD kPrivateReverseOffered = 1u << 12;
constexpr DWORD kPrivateSortOffered = 1u << 20;
constexpr WORD kCollateOn = 1;
constexpr int kCopiesChars = 3;

// The sort list shows three kinds; the collated forms go with the kind.
constexpr WORD kSortNone = 0, kSortShift = 2, kSortRotate = 4;
WORD SortKind(DWORD value) {
    if (value == 2 || value == 3) return kSortShift;
    if (value == 4 || value == 5) return kSortRotate;
    return kSortNone;
}
constexpr IconComboRow kSortRows[] = {
    {4700, 2100, kSortNone, 0},   // "None"
    {4704, 2102, kSortShift, 0},  // "Shift"
    {4702, 2104, kSortRotate, 0}, // "Rotate"
};

struct OutputChooser {
    SheetContext* context;
};

DWORD SortIcon(LONG value, void* context) {
    auto* c = static_cast<SheetContext*>(context);
    const bool collated = c && c->workingImage.dm.dmCollate == kCollateOn;
    switch (value) {
    case kSortNone:
        return collated ? 2101 : 2100;
    case kSortShift:
        return collated ? 2103 : 2102;
    case kSortRotate:
        return collated ? 2105 : 2104;
    default:
        return 0;
    }
}

DWORD StapleIcon(LONG value, void* context) {
    auto* c = static_cast<SheetContext*>(context);
    if (value == 0) return 2300;
    if (value >= 1 && value <= 5) return static_cast<DWORD>(2300 + value);
    if (value == 6)
        return c && GetEffectiveOrientation(&c->workingImage) == DMORIENT_LANDSCAPE ? 2307 : 2306;
    return 0;
}

DWORD PunchIcon(LONG value, void* context) {
    auto* c = static_cast<SheetContext*>(context);
    if (!c || value < 1 || value > 3) return 2320;
    const DWORD code = GetFinishingPositionCode(&c->model, c->installOptions, &c->workingImage,
                                                static_cast<WORD>(value));
    if (code < 2 || code > 4) return 2320;
    static constexpr DWORD kBase[] = {0, 2324, 2321, 2327}; // by punch value 1, 2, 3
    return kBase[value] + (code - 2);
}

// The allowed values of an item, with the bins the installed options say
// are not fitted marked refused.
KinsokuChainNode* OutputBinChain(SheetContext* context) {
    if (!context || !context->constraints) return nullptr;
    CKinsokuItem* item = context->constraints->FindItem(kItemOutputBin);
    KinsokuChainNode* chain = item ? item->BuildValueChain() : nullptr;
    for (KinsokuChainNode* n = chain; n; n = n->next) {
        const DWORD code = UnmapModelCodeNine(n->value);
        const InstallOptionEntry* entry =
            context->installOptions ? context->installOptions->FindByValue(model::kQueryOutputBins,
                                                                           static_cast<WORD>(code))
                                    : nullptr;
        if (entry && entry->state == 0) n->refused = 1;
    }
    return chain;
}

} // namespace

LONG ClampCopiesMaximum(LONG fromModel, BOOL hasTable) {
    if (!hasTable) return kMaxCopies;
    if (fromModel < kMinCopies) return kMinCopies;
    if (fromModel > kMaxCopies) return kMaxCopies;
    return fromModel;
}

BOOL MoveOffAbsentOutputBin(SheetContext* context, DEVMODE_IMAGEW* image) {
    if (!context || !image) return FALSE;
    const KinsokuChainNode* chain = OutputBinChain(context);
    if (!chain) return FALSE;
    const KinsokuChainNode* first = nullptr;
    for (const KinsokuChainNode* n = chain; n; n = n->next) {
        if (n->refused) continue;
        if (n->value == image->priv.OutputBin) return FALSE;
        if (!first) first = n;
    }
    if (!first) return FALSE; // no bin at all: nothing better to name
    image->priv.OutputBin = first->value;
    return TRUE;
}

BEGIN_MESSAGE_MAP(COutput, CProfilePropPage)
ON_EN_CHANGE(COutput::kCopiesEdit, OnCopiesChange)
ON_EN_KILLFOCUS(COutput::kCopiesEdit, OnCopiesKillFocus)
ON_BN_CLICKED(COutput::kCollate, OnCollate)
ON_CBN_SELCHANGE(COutput::kSortList, OnSort)
ON_CBN_SELCHANGE(COutput::kTrayList, OnTray)
ON_CBN_SELCHANGE(COutput::kStapleList, OnStaple)
ON_CBN_SELCHANGE(COutput::kPunchList, OnPunch)
ON_BN_CLICKED(COutput::kMirror, OnMirror)
ON_BN_CLICKED(COutput::kReverse, OnReverse)
ON_BN_CLICKED(COutput::kOptionsButton, OnOutputOptions)
END_MESSAGE_MAP()

COutput::COutput(SheetContext* context) : CProfilePropPage(kPageOutput, context) {}

BOOL COutput::Refused(WORD item, DWORD value) const {
    SheetContext* c = Context();
    if (!c || !c->constraints) return FALSE;
    const CKinsokuItem* found = c->constraints->FindItem(item);
    return found && found->IsValueRefused(value);
}

BOOL COutput::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    SheetContext* c = Context();
    if (!c) return TRUE;
    const PRIVATE_DEVMODE& p = c->workingImage.priv;

    sortOffered_ = (p.PrivateFlags & kPrivateSortOffered) != 0;
    if (sortOffered_) {
        CModelInfo sorts(&c->model, model::kQuerySortKinds, 0, 1);
        if (sorts.GetData()) {
            const BYTE b = sorts.U8(0);
            sortOffered_ = ((b & 3) != 0) + ((b & 12) != 0) + ((b & 48) != 0) >= 2;
        }
    }
    collateSupported_ = (c->workingImage.dm.dmFields & DM_COLLATE) != 0;
    mirrorOffered_ = (p.PrivateFlags & kPrivateMirrorOffered) != 0;
    reverseOffered_ = (p.PrivateFlags & kPrivateReverseOffered) != 0;
    auto count = [&](WORD item) -> size_t {
        const CKinsokuItem* found = c->constraints ? c->constraints->FindItem(item) : nullptr;
        return found ? found->Values().size() : 0;
    };
    trayOffered_ = count(kItemOutputBin) >= 1;
    stapleOffered_ = count(kItemStapleMode) > 1;
    punchOffered_ = count(kItemPunchMode) > 1;

    CModelInfo copies(&c->model, model::kQueryCopies, 0, 1);
    const bool hasTable = copies.GetData() != nullptr && copies.Length() >= sizeof(WORD);
    maxCopies_ = ClampCopiesMaximum(hasTable ? copies.U16(0) : 0, hasTable);
    if (!copies_.m_hWnd) copies_.SubclassDlgItem(kCopiesEdit, this);
    ::SendDlgItemMessageW(m_hWnd, kCopiesEdit, EM_LIMITTEXT, kCopiesChars, 0);
    ::SendDlgItemMessageW(m_hWnd, kCopiesSpin, UDM_SETRANGE, 0,
                          static_cast<LPARAM>((static_cast<DWORD>(maxCopies_) & 0xFFFF) |
                                              (static_cast<DWORD>(kMinCopies) << 16)));
    std::u16string format;
    Localize().LoadString(kStringCopiesRange, &format);
    if (format.empty()) format = u"(%d - %d)";
    WCHAR range[64] = {};
    wsprintfW(range, format.c_str(), static_cast<int>(kMinCopies), static_cast<int>(maxCopies_));
    ::SetDlgItemTextW(m_hWnd, kCopiesRange, range);

    struct Bind {
        CPMIconCombo* combo;
        int id;
        IconChooser chooser;
    } const binds[] = {{&sort_, kSortList, SortIcon},
                       {&tray_, kTrayList, nullptr},
                       {&staple_, kStapleList, StapleIcon},
                       {&punch_, kPunchList, PunchIcon}};
    for (const Bind& b : binds) {
        if (!b.combo->m_hWnd) b.combo->SubclassDlgItem(b.id, this);
        b.combo->SetStrings(&Localize());
        b.combo->m_pfnIconChooser = b.chooser;
        b.combo->m_pChooserContext = c;
    }

    const ControlRow rows[] = {
        {{kCopiesEdit, kCopiesSpin, kCopiesRange, kCollate}, TRUE},
        {{kSortList, kSortLabel, 0, 0}, static_cast<DWORD>(sortOffered_)},
        {{kTrayList, kTrayLabel, 0, 0}, static_cast<DWORD>(trayOffered_)},
        {{kStapleList, kStapleLabel, 0, 0}, static_cast<DWORD>(stapleOffered_)},
        {{kPunchList, kPunchLabel, 0, 0}, static_cast<DWORD>(punchOffered_)},
        {{kMirror, 0, 0, 0}, static_cast<DWORD>(mirrorOffered_)},
        {{kReverse, 0, 0, 0}, static_cast<DWORD>(reverseOffered_)},
    };
    ShowControlRows(m_hWnd, rows, static_cast<DWORD>(std::size(rows)), TRUE);
    initialised_ = 1;
    return TRUE;
}

BOOL COutput::OnSetActive() {
    const BOOL suppressed = m_bSuppressChanges;
    m_bSuppressChanges = TRUE;
    Refresh();
    m_bSuppressChanges = suppressed;
    return CProfilePropPage::OnSetActive();
}

BOOL COutput::OnKillActive() {
    // Copies outside the range never reach Apply: leaving the page clamps them.
    if (Context() && m_hWnd) OnCopiesKillFocus();
    return CProfilePropPage::OnKillActive();
}

BOOL COutput::OnApply() {
    // Apply can come without the page being left: the copies are put in
    // range here too, so 0 or fewer copies never reach the stored settings.
    if (SheetContext* c = Context()) {
        short& copies = c->workingImage.dm.dmCopies;
        if (copies < kMinCopies) copies = kMinCopies;
        if (copies > maxCopies_) copies = static_cast<short>(maxCopies_);
    }
    return CProfilePropPage::OnApply();
}

BOOL COutput::OnHelpRequest(HELPINFO* info) {
    return CProfilePropPage::OnHelpRequest(info);
}

void COutput::Changed(BOOL runRules) {
    SheetContext* c = Context();
    if (!c) return;
    OnSettingsChanged(TRUE);
    if (runRules) ApplyRulesAndRefresh(c, &c->workingImage, FALSE);
    Refresh();
}

void COutput::CheckButton(int id, BOOL checked) {
    ::SendDlgItemMessageW(m_hWnd, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void COutput::RefreshCopies() {
    SheetContext* c = Context();
    HWND edit = ::GetDlgItem(m_hWnd, kCopiesEdit);
    if (!edit) return;
    const int copies = c->workingImage.dm.dmCopies;
    WCHAR text[16] = {}, want[16] = {};
    ::GetWindowTextW(edit, text, 16);
    wsprintfW(want, u"%d", copies);
    bool rewrite;
    if (::GetFocus() == edit) {
        BOOL ok = FALSE;
        const int typed = static_cast<int>(::GetDlgItemInt(m_hWnd, kCopiesEdit, &ok, TRUE));
        rewrite = !ok || typed != copies;
        // An empty edit while typing stays empty: the person is not done.
        if (!text[0]) rewrite = false;
    } else {
        rewrite = lstrcmpiW(text, want) != 0;
    }
    if (rewrite) {
        const BOOL was = refreshing_;
        refreshing_ = TRUE;
        ::SetWindowTextW(edit, want);
        refreshing_ = was;
    }
    // The spin writes its buddy's text: while the person types there, it
    // is left alone (it reads the edit when it is clicked).
    if (::GetFocus() != edit) ::SendDlgItemMessageW(m_hWnd, kCopiesSpin, UDM_SETPOS32, 0, copies);
}

void COutput::RefreshSort() {
    SheetContext* c = Context();
    if (!sortOffered_) {
        ::EnableWindow(::GetDlgItem(m_hWnd, kSortList), FALSE);
        return;
    }
    IconComboRow rows[std::size(kSortRows)] = {};
    LONG count = 0;
    bool taken[5] = {};
    CKinsokuItem* item = c->constraintItems[kSlotSort];
    for (const KinsokuChainNode* n = item ? item->BuildValueChain() : nullptr; n; n = n->next) {
        if (n->refused) continue;
        const WORD kind = SortKind(n->value);
        if (taken[kind]) continue;
        taken[kind] = true;
        for (const IconComboRow& r : kSortRows)
            if (r.itemData == kind) rows[count++] = r;
    }
    if (count) sort_.SetRows(rows, count);
    sort_.SelectByData(SortKind(c->workingImage.priv.SortMode));
    sort_.EnableWindow(TRUE);
}

void COutput::Refresh() {
    SheetContext* c = Context();
    if (!c || !m_hWnd) return;
    const BOOL was = refreshing_;
    refreshing_ = TRUE;
    DEVMODE_IMAGEW& image = c->workingImage;
    if (trayOffered_ && MoveOffAbsentOutputBin(c, &image)) {
        ApplyRulesAndRefresh(c, &image, FALSE);
        OnSettingsChanged(TRUE);
    }
    Preview().Refresh();
    RefreshCopies();

    CheckButton(kCollate, image.dm.dmCollate == kCollateOn);
    const short opposite = image.dm.dmCollate == kCollateOn ? 0 : 1;
    ::EnableWindow(::GetDlgItem(m_hWnd, kCollate),
                   collateSupported_ && !Refused(kItemCollate, opposite));

    RefreshSort();
    if (trayOffered_) {
        tray_.SetValueChain(OutputBinChain(c));
        SelectComboByData(tray_.m_hWnd, image.priv.OutputBin);
    }
    if (stapleOffered_) {
        CKinsokuItem* staple = c->constraints ? c->constraints->FindItem(kItemStapleMode) : nullptr;
        staple_.SetValueChain(staple ? staple->BuildValueChain() : nullptr);
        SelectComboByData(staple_.m_hWnd, image.priv.StapleMode);
    }
    if (punchOffered_) {
        CKinsokuItem* punch = c->constraints ? c->constraints->FindItem(kItemPunchMode) : nullptr;
        punch_.SetValueChain(punch ? punch->BuildValueChain() : nullptr);
        SelectComboByData(punch_.m_hWnd, image.priv.PunchMode);
    }
    CheckButton(kReverse, image.priv.ReverseOrder == 1);
    if (reverseOffered_) ::EnableWindow(::GetDlgItem(m_hWnd, kReverse), !Refused(kItemReverse, 1));
    CheckButton(kMirror, image.priv.MirrorImage != 0);
    if (mirrorOffered_) ::EnableWindow(::GetDlgItem(m_hWnd, kMirror), !Refused(kItemMirror, 1));
    LockControlsIfReadOnly();
    refreshing_ = was;
}

void COutput::OnCopiesChange() {
    SheetContext* c = Context();
    if (!c || refreshing_ || !initialised_) return;
    BOOL ok = FALSE;
    const int typed = static_cast<int>(::GetDlgItemInt(m_hWnd, kCopiesEdit, &ok, TRUE));
    if (!ok) return; // an empty edit while typing changes nothing yet
    c->workingImage.dm.dmCopies = static_cast<short>(typed);
    Changed(TRUE);
}

void COutput::OnCopiesKillFocus() {
    SheetContext* c = Context();
    if (!c || refreshing_) return;
    short& copies = c->workingImage.dm.dmCopies;
    const short clamped = static_cast<short>(
        copies < kMinCopies ? kMinCopies : (copies > maxCopies_ ? maxCopies_ : copies));
    if (clamped != copies) {
        copies = clamped;
        OnSettingsChanged(TRUE);
    }
    Refresh();
}

void COutput::OnCollate() {
    SheetContext* c = Context();
    if (!c) return;
    c->workingImage.dm.dmCollate =
        ::IsDlgButtonChecked(m_hWnd, kCollate) == BST_CHECKED ? kCollateOn : 0;
    sort_.Invalidate(); // its icons show collation
    Changed(TRUE);
}

void COutput::OnSort() {
    const LRESULT v = sort_.GetSelData();
    if (v == CB_ERR || !Context()) return;
    Context()->workingImage.priv.SortMode = static_cast<WORD>(v);
    Changed(TRUE);
}

void COutput::OnTray() {
    const LRESULT v = tray_.GetSelData();
    if (v == CB_ERR || !Context()) return;
    Context()->workingImage.priv.OutputBin = static_cast<WORD>(v);
    Changed(TRUE);
}

void COutput::OnStaple() {
    const LRESULT v = staple_.GetSelData();
    if (v == CB_ERR || !Context()) return;
    Context()->workingImage.priv.StapleMode = static_cast<WORD>(v);
    Changed(TRUE);
}

void COutput::OnPunch() {
    const LRESULT v = punch_.GetSelData();
    if (v == CB_ERR || !Context()) return;
    Context()->workingImage.priv.PunchMode = static_cast<WORD>(v);
    Changed(TRUE);
}

void COutput::OnReverse() {
    if (!Context()) return;
    Context()->workingImage.priv.ReverseOrder =
        ::IsDlgButtonChecked(m_hWnd, kReverse) == BST_CHECKED ? 1 : 0;
    Changed(TRUE);
}

void COutput::OnMirror() {
    if (!Context()) return;
    Context()->workingImage.priv.MirrorImage =
        ::IsDlgButtonChecked(m_hWnd, kMirror) == BST_CHECKED ? initialised_ : 0;
    // Mirroring is constrained too (item 16): its rules run like the others'.
    Changed(TRUE);
}

void COutput::OnOutputOptions() {
    SheetContext* c = Context();
    if (!c) return;
    INT_PTR result;
    {
        CAdvancedDlg dialog(c, this);
        result = dialog.DoModal();
    }
    ApplyRulesAndRefresh(c, &c->workingImage, TRUE);
    Refresh();
    if (result == IDOK) OnSettingsChanged(TRUE);
}

} // namespace sheetwright
