#include "track_dm.h"

#include <algorithm>
#include <vector>

#include "devmode_helpers.h"
#include "kinsoku_list.h"
#include "model_info.h"

namespace sheetwright {
namespace {

// Where the link records hold their fields.
namespace paper_link {
constexpr size_t kMedia = 2, kSource = 4, kMediaGroup = 8, kSourceGroup = 12, kFlags = 16;
}
namespace limits_link {
constexpr size_t kMedia = 0, kSource = 2, kMediaGroup = 4, kSourceGroup = 8, kFlags = 12;
}
namespace media_link {
constexpr size_t kSource = 4, kSourceGroup = 12, kFlags = 16;
}

SHORT CurrentPaper(const DEVMODE_IMAGEW* image) {
    return image->priv.OutputPaperId ? static_cast<SHORT>(image->priv.OutputPaperId)
                                     : image->dm.dmPaperSize;
}

// The settings a paper's choice may move, each with the triggers that may
// refuse its new value only because the paper or an earlier setting of the
// list is about to change.
struct MovedSetting {
    WORD item;
    WORD trigger;
    WORD tolerated[2];
};
constexpr MovedSetting kMovedForPaper[] = {
    {kItemMedia, kTriggerMedia, {kTriggerPaper, 0}},
    {kItemSource, kTriggerSource, {kTriggerPaper, kTriggerMedia}},
};

bool Tolerated(const MovedSetting& m, WORD trigger) {
    return trigger == m.tolerated[0] || trigger == m.tolerated[1];
}

DWORD SettingValue(const DEVMODE_IMAGEW* image, WORD item) {
    return item == kItemMedia ? image->dm.dmMediaType
                              : static_cast<DWORD>(static_cast<LONG>(image->dm.dmDefaultSource));
}

} // namespace

BOOL IsPaperWithinReach(const CKinsokuList* constraints, WORD paper) {
    if (!constraints) return TRUE;
    WORD blockers[kKinsokuSlots];
    const DWORD n = constraints->GetBlockers(kItemPaper, paper, blockers, kKinsokuSlots);
    for (DWORD i = 0; i < n; ++i)
        if (blockers[i] != kTriggerMedia && blockers[i] != kTriggerSource) return FALSE;
    return TRUE;
}

PaperLink ReadPaperLink(const ModelBlock* binding, WORD paper, WORD width, WORD length) {
    PaperLink link{};
    if (paper < kFirstUserPaper) {
        CModelInfo info(binding, model::kQueryPapers, paper, model::layout::kPaperLinks);
        link.preferredMedia = info.U16(paper_link::kMedia);
        link.preferredSource = info.U16(paper_link::kSource);
        link.mediaGroup = info.U32(paper_link::kMediaGroup);
        link.sourceGroup = info.U32(paper_link::kSourceGroup);
        link.flags = info.U32(paper_link::kFlags);
        return link;
    }
    const bool isLong = IsLongPaper(binding, width / 10, length / 10, TRUE);
    CModelInfo info(binding, isLong ? model::kQueryLongPaperLimits : model::kQueryCustomPaperLimits,
                    0, model::layout::kLimitsLinks);
    link.preferredMedia = info.U16(limits_link::kMedia);
    link.preferredSource = info.U16(limits_link::kSource);
    link.mediaGroup = info.U32(limits_link::kMediaGroup);
    link.sourceGroup = info.U32(limits_link::kSourceGroup);
    link.flags = info.U32(limits_link::kFlags);
    return link;
}

PaperLink ReadMediaLink(const ModelBlock* binding, DWORD media) {
    PaperLink link{};
    CModelInfo info(binding, model::kQueryMediaTypes, static_cast<WORD>(media),
                    model::layout::kMediaLinks);
    link.preferredSource = info.U16(media_link::kSource);
    link.sourceGroup = info.U32(media_link::kSourceGroup);
    link.flags = info.U32(media_link::kFlags);
    return link;
}

BOOL CTrackDM::Snapshot(const DEVMODE_IMAGEW* image) {
    if (!image) return FALSE;
    const PRIVATE_DEVMODE& priv = image->priv;
    paper_ = CurrentPaper(image);
    paperWidth_ = paperLength_ = 0;
    GetOutputPaperDimensions(binding_, image, &paperWidth_, &paperLength_);
    trackedSource = image->dm.dmDefaultSource;
    trackedMedia = image->dm.dmMediaType;
    layout_ = priv.LayoutKind;
    frontMedia_ = priv.FrontCoverMedia;
    frontSource_ = priv.FrontCoverSource;
    backMedia_ = priv.BackCoverMedia;
    backSource_ = priv.BackCoverSource;
    halftone_ = priv.HalftoneKind;
    valid_ = TRUE;
    return TRUE;
}

bool CTrackDM::BringSettingsForPaper(DEVMODE_IMAGEW* image) {
    // The paper the rules of the media type and tray refuse, and the one
    // their own rules are keyed on (the output paper when there is one).
    const WORD paper = static_cast<WORD>(image->dm.dmPaperSize);
    const WORD effective = static_cast<WORD>(CurrentPaper(image));
    bool wrote = false;
    for (const MovedSetting& m : kMovedForPaper) {
        const CKinsokuItem* item = constraints_->FindItem(m.item);
        if (!item ||
            !constraints_->FindRuleValue(kItemPaper, paper, m.trigger, SettingValue(image, m.item)))
            continue;
        // The item's default first, then its values in list order.
        std::vector<DWORD> candidates;
        if (item->HasDefault()) candidates.push_back(item->Default());
        for (const auto& atom : item->Values())
            candidates.push_back(atom->value);
        for (DWORD v : candidates) {
            const CKinsokuAtom* atom = item->FindAtom(v);
            if (!atom ||
                !std::all_of(atom->blockers.begin(), atom->blockers.end(),
                             [&](WORD t) { return Tolerated(m, t); }) ||
                constraints_->FindRuleValue(m.item, v, kTriggerPaper, effective) ||
                constraints_->FindRuleValue(kItemPaper, paper, m.trigger, v))
                continue;
            if (m.item == kItemMedia)
                image->dm.dmMediaType = v;
            else
                image->dm.dmDefaultSource = static_cast<SHORT>(v);
            wrote = true;
            break;
        }
    }
    if (wrote) Resolve(image);
    return wrote;
}

void CTrackDM::Resolve(DEVMODE_IMAGEW* image) {
    if (constraints_->Resolve(reinterpret_cast<BYTE*>(image), FALSE) != kResolveSettled)
        unsettled_ = TRUE;
}

bool CTrackDM::ResetDuplexKind(DEVMODE_IMAGEW* image, WORD trigger, DWORD from, DWORD to) {
    if (!constraints_->FindRuleValue(kItemDuplexType, 0, trigger, from) ||
        constraints_->FindRuleValue(kItemDuplexType, 0, trigger, to) ||
        constraints_->GetBlockers(kItemDuplexType, 0, nullptr, 0) > 1 ||
        !IsOption25AInstalled(options_))
        return false;
    image->priv.DuplexType = 0;
    Resolve(image);
    return true;
}

BOOL CTrackDM::Track(DEVMODE_IMAGEW* image) {
    unsettled_ = FALSE;
    if (!valid_ || !image) return FALSE;
    bool wrote = false;
    DEVMODEW& dm = image->dm;
    PRIVATE_DEVMODE& priv = image->priv;
    // 1. The paper brings its media type and tray.
    const SHORT paper = CurrentPaper(image);
    if (Bound() && paper != paper_) {
        const PaperLink was =
            ReadPaperLink(binding_, static_cast<WORD>(paper_), paperWidth_, paperLength_);
        WORD width = 0, length = 0;
        GetOutputPaperDimensions(binding_, image, &width, &length);
        const PaperLink now = ReadPaperLink(binding_, static_cast<WORD>(paper), width, length);
        if (now.preferredMedia && now.mediaGroup != was.mediaGroup &&
            (now.flags & kLinkSelectMedia)) {
            dm.dmMediaType =
                static_cast<DWORD>(static_cast<LONG>(static_cast<SHORT>(now.preferredMedia)));
            Resolve(image);
            wrote = true;
        }
        if (now.preferredSource && now.sourceGroup != was.sourceGroup &&
            (now.flags & kLinkSelectSource)) {
            dm.dmDefaultSource = static_cast<SHORT>(now.preferredSource);
            Resolve(image);
            wrote = true;
        }
        wrote |= BringSettingsForPaper(image);
        wrote |= ResetDuplexKind(image, kTriggerPaper, static_cast<WORD>(paper_),
                                 static_cast<WORD>(CurrentPaper(image)));
    }
    // 2. The media type brings its tray.
    if (Bound() && dm.dmMediaType != trackedMedia) {
        const PaperLink was = ReadMediaLink(binding_, trackedMedia);
        const PaperLink now = ReadMediaLink(binding_, dm.dmMediaType);
        if (now.preferredSource && now.sourceGroup != was.sourceGroup &&
            (now.flags & kLinkSelectSource)) {
            dm.dmDefaultSource = static_cast<SHORT>(now.preferredSource);
            Resolve(image);
            wrote = true;
        }
        wrote |= ResetDuplexKind(image, kTriggerMedia, trackedMedia, dm.dmMediaType);
    }
    // 3. The tray.
    if (Bound() && dm.dmDefaultSource != trackedSource)
        wrote |= ResetDuplexKind(image, kTriggerSource,
                                 static_cast<DWORD>(static_cast<LONG>(trackedSource)),
                                 static_cast<DWORD>(static_cast<LONG>(dm.dmDefaultSource)));
    // 4. Leaving booklet layout leaves two-sided printing too.
    if (binding_ && constraints_ && layout_ == kLayoutBooklet &&
        priv.LayoutKind != kLayoutBooklet) {
        dm.dmDuplex = DMDUP_SIMPLEX;
        priv.DuplexMarginFlags &= ~1u;
        Resolve(image);
        wrote = true;
    }
    // 5. Entering booklet layout brings the two-sided printing a booklet is
    // printed with, flipped on the short edge (else on the long edge) as the
    // duplex rules allow; without a duplex unit the booklet is refused anyway.
    if (binding_ && constraints_ && layout_ != kLayoutBooklet &&
        priv.LayoutKind == kLayoutBooklet && dm.dmDuplex == DMDUP_SIMPLEX) {
        for (WORD duplex : {WORD{DMDUP_HORIZONTAL}, WORD{DMDUP_VERTICAL}}) {
            if (!constraints_->FindItem(kItemDuplex) ||
                constraints_->IsValueRefused(kItemDuplex, duplex))
                continue;
            dm.dmDuplex = static_cast<SHORT>(duplex);
            Resolve(image);
            wrote = true;
            break;
        }
    }
    // 6. A halftone that allows text in black again.
    if (Bound() && priv.HalftoneKind != halftone_ &&
        constraints_->FindRuleValue(kItemTextAsBlack, 0, kTriggerHalftone, halftone_) &&
        !constraints_->FindRuleValue(kItemTextAsBlack, 0, kTriggerHalftone, priv.HalftoneKind)) {
        priv.TextAsBlack = 0;
        Resolve(image);
        wrote = true;
    }
    return wrote;
}

BOOL CTrackDM::TrackGroupMedia(DEVMODE_IMAGEW* image, const KinsokuChainNode* chain, DWORD group) {
    unsettled_ = FALSE;
    if (!valid_ || !image || !chain) return FALSE;
    PRIVATE_DEVMODE& priv = image->priv;
    const DWORD current = group ? priv.FrontCoverMedia : priv.BackCoverMedia;
    const DWORD tracked = group ? frontMedia_ : backMedia_;
    if (!Bound() || current == tracked) return FALSE;
    const PaperLink was = ReadMediaLink(binding_, tracked);
    const PaperLink now = ReadMediaLink(binding_, current);
    if (!now.preferredSource || now.sourceGroup == was.sourceGroup ||
        !(now.flags & kLinkSelectSource))
        return FALSE;
    for (const KinsokuChainNode* node = chain; node; node = node->next) {
        if (node->value != now.preferredSource || node->refused) continue;
        (group ? priv.FrontCoverSource : priv.BackCoverSource) = now.preferredSource;
        Resolve(image);
        return TRUE;
    }
    return FALSE;
}

} // namespace sheetwright
