#include "cover_page_dlg.h"

#include <cstring>

#include "control_states.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "sheet_help.h"

namespace sheetwright {
namespace {

constexpr DWORD kPrivFrontCoverOffered = 1u << 22;
constexpr DWORD kPrivBackCoverOffered = 1u << 23;
// Table 22 part 1 answers when the model names media types.
constexpr DWORD kCoverMediaBit = 0x2;
constexpr DWORD kIconFront = 2190, kIconBack = 2191;

} // namespace

struct CCoverPageDlg::Side {
    WORD flag;   // CoverFlags bit
    WORD onItem; // the item whose value `flag` refuses
    int check, icon;
    int typeLabel, type, mediaLabel, media, sourceLabel, source;
    WORD typeItem, mediaItem, sourceItem;
    bool front;
    WORD PRIVATE_DEVMODE::*printed;
    DWORD PRIVATE_DEVMODE::*mediaField;
    WORD PRIVATE_DEVMODE::*sourceField;
};

namespace {
const CCoverPageDlg::Side* Sides();
}

BEGIN_MESSAGE_MAP(CCoverPageDlg, CLocalDlg)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

CCoverPageDlg::CCoverPageDlg(SheetContext* context, CWnd* parent)
    : CLocalDlg(kCoverPageDialog, parent), context_(context) {
    if (!context_) return;
    std::memcpy(&copy_, &context_->workingImage, sizeof copy_);
    tracker_ = std::make_unique<CTrackDM>();
    tracker_->SetBinding(&context_->model);
    tracker_->SetConstraints(context_->constraints);
    tracker_->SetOptionPair(context_->optionPair);
    tracker_->Snapshot(&copy_);
}

CCoverPageDlg::~CCoverPageDlg() {
    for (HICON icon : icons_)
        if (icon) ::DestroyIcon(icon);
}

const KinsokuChainNode* CCoverPageDlg::Chain(WORD item) const {
    CKinsokuItem* i =
        context_ && context_->constraints ? context_->constraints->FindItem(item) : nullptr;
    return i ? i->BuildValueChain() : nullptr;
}

BOOL CCoverPageDlg::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    if (!context_) return TRUE;
    const ModelOptionPair* pair = context_->optionPair;
    frontOffered_ = (copy_.priv.PrivateFlags & kPrivFrontCoverOffered) != 0;
    backOffered_ = (copy_.priv.PrivateFlags & kPrivBackCoverOffered) != 0;
    mediaShown_ = LacksTable22Flag(pair);
    CModelInfo media(&context_->model, model::kQueryMediaTypes, 0, model::layout::kMediaList);
    const bool mediaTable = media.GetData() != nullptr;
    frontMediaShown_ = mediaShown_ && mediaTable && HasTable57FlagA(pair, kCoverMediaBit);
    backMediaShown_ = mediaShown_ && mediaTable && HasTable57FlagB(pair, kCoverMediaBit);

    HMODULE resources = context_->resourceModule;
    if (context_->constraintItems[kSlotMedia])
        FillComboFromModelList(resources, Item(kOtherMedia),
                               context_->constraintItems[kSlotMedia]->BuildValueChain());
    if (context_->constraintItems[kSlotSource])
        FillComboFromModelList(resources, Item(kOtherSource),
                               context_->constraintItems[kSlotSource]->BuildValueChain());
    const DWORD iconIds[2] = {kIconFront, kIconBack};
    const int iconControls[2] = {kFrontIcon, kBackIcon};
    for (int i = 0; i < 2; ++i) {
        icons_[i] = ::LoadIconW(resources, MAKEINTRESOURCEW(iconIds[i]));
        if (icons_[i])
            ::SendMessageW(Item(iconControls[i]), STM_SETICON, reinterpret_cast<WPARAM>(icons_[i]),
                           0);
    }
    Refresh();
    DisableAllChildren(context_, m_hWnd);
    return TRUE;
}

void CCoverPageDlg::RefreshSide(const Side& s) {
    HMODULE resources = context_->resourceModule;
    const PRIVATE_DEVMODE& p = copy_.priv;
    const BOOL offered = s.front ? frontOffered_ : backOffered_;
    const bool on = (p.CoverFlags & s.flag) != 0;
    ::SendMessageW(Item(s.check), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(Item(s.check),
                   offered && !context_->constraints->IsValueRefused(s.onItem, s.flag));
    const bool active = offered && on;
    for (int id : {s.typeLabel, s.type, s.sourceLabel, s.source, s.icon})
        ::EnableWindow(Item(id), active);
    const bool mediaUsable = active && p.*s.printed != 0;
    const bool mediaShown = (s.front ? frontMediaShown_ : backMediaShown_) != FALSE;
    for (int id : {s.mediaLabel, s.media}) {
        ::EnableWindow(Item(id), mediaUsable);
        ::ShowWindow(Item(id), mediaShown ? SW_SHOW : SW_HIDE);
    }
    FillComboFromModelList(resources, Item(s.type), Chain(s.typeItem));
    FillComboFromModelList(resources, Item(s.media), Chain(s.mediaItem));
    FillComboFromModelList(resources, Item(s.source), Chain(s.sourceItem));
    SelectComboByData(Item(s.type), p.*s.printed);
    SelectComboByData(Item(s.media), static_cast<LPARAM>(p.*s.mediaField));
    SelectComboByData(Item(s.source), p.*s.sourceField);
}

void CCoverPageDlg::Refresh() {
    if (!context_ || !context_->constraints) return;
    if (tracker_) {
        tracker_->Track(&copy_);
        tracker_->TrackGroupMedia(&copy_, Chain(kItemFrontSource), 1);
        tracker_->TrackGroupMedia(&copy_, Chain(kItemBackSource), 0);
    }
    HMODULE resources = context_->resourceModule;
    for (int id : {kOtherMediaLabel, kOtherMedia})
        ::ShowWindow(Item(id), mediaShown_ ? SW_SHOW : SW_HIDE);
    if (context_->constraints->IsDependent(kItemMedia) && context_->constraintItems[kSlotMedia])
        FillComboFromModelList(resources, Item(kOtherMedia),
                               context_->constraintItems[kSlotMedia]->BuildValueChain());
    SelectComboByData(Item(kOtherMedia), static_cast<LPARAM>(copy_.dm.dmMediaType));
    if (context_->constraints->IsDependent(kItemSource) && context_->constraintItems[kSlotSource])
        FillComboFromModelList(resources, Item(kOtherSource),
                               context_->constraintItems[kSlotSource]->BuildValueChain());
    SelectComboByData(Item(kOtherSource), copy_.dm.dmDefaultSource);
    RefreshSide(Sides()[0]);
    RefreshSide(Sides()[1]);
    if (tracker_) tracker_->Snapshot(&copy_);
}

BOOL CCoverPageDlg::Store(int id) {
    PRIVATE_DEVMODE& p = copy_.priv;
    if (id == kFrontCheck || id == kBackCheck) {
        const WORD bit = id == kFrontCheck ? 1 : 2;
        if (::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED)
            p.CoverFlags |= bit;
        else
            p.CoverFlags &= static_cast<WORD>(~bit);
        return TRUE;
    }
    // A list with nothing chosen stores nothing.
    const LRESULT data = GetComboSelData(Item(id));
    if (data == CB_ERR) return FALSE;
    switch (id) {
    case kFrontType:
        p.FrontCoverPrinted = static_cast<WORD>(data);
        break;
    case kFrontMedia:
        p.FrontCoverMedia = static_cast<DWORD>(data);
        break;
    case kFrontSource:
        p.FrontCoverSource = static_cast<WORD>(data);
        break;
    case kBackType:
        p.BackCoverPrinted = static_cast<WORD>(data);
        break;
    case kBackMedia:
        p.BackCoverMedia = static_cast<DWORD>(data);
        break;
    case kBackSource:
        p.BackCoverSource = static_cast<WORD>(data);
        break;
    case kOtherMedia:
        copy_.dm.dmMediaType = static_cast<DWORD>(data);
        break;
    case kOtherSource:
        copy_.dm.dmDefaultSource = static_cast<SHORT>(data);
        break;
    default:
        return FALSE;
    }
    return TRUE;
}

BOOL CCoverPageDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    const bool check = (id == kFrontCheck || id == kBackCheck) && code == BN_CLICKED;
    const bool list =
        code == CBN_SELCHANGE &&
        (id == kFrontType || id == kFrontMedia || id == kFrontSource || id == kBackType ||
         id == kBackMedia || id == kBackSource || id == kOtherMedia || id == kOtherSource);
    if (context_ && (check || list)) {
        if (Store(id)) {
            ApplyRulesAndRefresh(context_, &copy_, FALSE);
            Refresh();
        }
        return TRUE;
    }
    return CLocalDlg::OnCommand(wParam, lParam);
}

void CCoverPageDlg::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, GetHelpContextId(kCoverPageDialog));
}

LRESULT CCoverPageDlg::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CCoverPageDlg::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

namespace {
const CCoverPageDlg::Side* Sides() {
    using D = CCoverPageDlg;
    static const D::Side sides[2] = {
        {1, kItemFrontCoverOn, D::kFrontCheck, D::kFrontIcon, D::kFrontTypeLabel, D::kFrontType,
         D::kFrontMediaLabel, D::kFrontMedia, D::kFrontSourceLabel, D::kFrontSource,
         kItemFrontCoverPrinted, kItemFrontMedia, kItemFrontSource, true,
         &PRIVATE_DEVMODE::FrontCoverPrinted, &PRIVATE_DEVMODE::FrontCoverMedia,
         &PRIVATE_DEVMODE::FrontCoverSource},
        {2, kItemBackCoverOn, D::kBackCheck, D::kBackIcon, D::kBackTypeLabel, D::kBackType,
         D::kBackMediaLabel, D::kBackMedia, D::kBackSourceLabel, D::kBackSource,
         kItemBackCoverPrinted, kItemBackMedia, kItemBackSource, false,
         &PRIVATE_DEVMODE::BackCoverPrinted, &PRIVATE_DEVMODE::BackCoverMedia,
         &PRIVATE_DEVMODE::BackCoverSource},
    };
    return sides;
}
} // namespace

} // namespace sheetwright
