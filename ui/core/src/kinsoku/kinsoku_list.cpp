// The option-constraint engine: items, their values and rules, and the
// resolve loop over the 1320-byte device-mode image.
#include "kinsoku_list.h"

#include <algorithm>
#include <cstring>

#include "model/model_queries.h"
#include "devmode_helpers.h"
#include "model_info.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/devmode.h"

namespace sheetwright {

namespace feature = model::feature;

namespace {

#define IMG(field) offsetof(DEVMODE_IMAGEW, field)

template <class T> T Get(const BYTE* image, size_t offset) {
    T v;
    std::memcpy(&v, image + offset, sizeof v);
    return v;
}
template <class T> void Put(BYTE* image, size_t offset, T v) {
    std::memcpy(image + offset, &v, sizeof v);
}
DWORD S16(const BYTE* image, size_t offset) {
    return static_cast<DWORD>(static_cast<int>(Get<SHORT>(image, offset)));
}
DWORD U16(const BYTE* image, size_t offset) {
    return Get<WORD>(image, offset);
}

// Bits of the private feature words that enable items.
constexpr DWORD Bit(int n) {
    return 1u << n;
}
constexpr DWORD kJobTypeMask = 0x37000000;
// priv+40: the orientation is taken as it stands.
constexpr DWORD kEmfKeepOrientation = Bit(2);
constexpr WORD kDuplexSimplex = 1;
constexpr int kTenthMmPerInch = 254;
constexpr int kPosterLimitUnits = 32767;
constexpr WORD kLastModelPaperId = 455;

// Trigger order: 242 is looked at right after the media type it reads.
constexpr std::array<WORD, 39> kTriggerOrder = {204, 205, 206, 207, 208, 242, 209, 210, 211, 212,
                                                213, 214, 215, 216, 217, 218, 219, 220, 221, 222,
                                                223, 224, 225, 226, 227, 228, 229, 230, 231, 232,
                                                233, 234, 235, 236, 237, 238, 239, 240, 241};

bool Contains(const std::vector<WORD>& list, WORD v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}
void AddOnce(std::vector<WORD>* list, WORD v) {
    if (!Contains(*list, v)) list->push_back(v);
}

} // namespace

// ---------------------------------------------------------------- items

CKinsokuItem::~CKinsokuItem() {
    FreeChain();
}

void CKinsokuItem::FreeChain() {
    if (chain_) GlobalFree(chain_);
    chain_ = nullptr;
}

CKinsokuAtom* CKinsokuItem::FindAtom(DWORD value) const {
    for (auto& a : values_)
        if (a->value == value) return a.get();
    return nullptr;
}

DWORD CKinsokuItem::AddValue(DWORD value, DWORD param1, DWORD param2) {
    if (CKinsokuAtom* a = FindAtom(value)) {
        a->param1 = param1;
        a->param2 = param2;
        return static_cast<DWORD>(values_.size());
    }
    auto a = std::make_unique<CKinsokuAtom>();
    a->item = item_;
    a->value = value;
    a->param1 = param1;
    a->param2 = param2;
    values_.push_back(std::move(a));
    modified_ = 1;
    return static_cast<DWORD>(values_.size() - 1);
}

DWORD CKinsokuItem::RemoveValue(DWORD value) {
    DWORD removed = 0;
    for (size_t i = values_.size(); i-- > 0;) {
        if (values_[i]->value != value) continue;
        values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(i));
        modified_ = 1;
        ++removed;
    }
    return removed;
}

CValidRule* CKinsokuItem::FindItemRule(WORD trigger) {
    for (auto& r : itemRules_)
        if (r->trigger == trigger) return r.get();
    return nullptr;
}

CValidRule* CKinsokuItem::FindValueRule(WORD trigger, DWORD triggerValue) {
    for (auto& r : valueRules_)
        if (r->trigger == trigger && r->triggerValue == triggerValue) return r.get();
    return nullptr;
}

CValidRule* CKinsokuItem::GetItemRule(WORD trigger) {
    if (CValidRule* r = FindItemRule(trigger)) return r;
    itemRules_.push_back(std::make_unique<CValidRule>());
    itemRules_.back()->trigger = trigger;
    return itemRules_.back().get();
}

CValidRule* CKinsokuItem::GetValueRule(WORD trigger, DWORD triggerValue) {
    if (CValidRule* r = FindValueRule(trigger, triggerValue)) return r;
    valueRules_.push_back(std::make_unique<CValidRule>());
    valueRules_.back()->trigger = trigger;
    valueRules_.back()->triggerValue = triggerValue;
    return valueRules_.back().get();
}

DWORD CKinsokuItem::AddRuleValues(WORD trigger, DWORD triggerValue, const WORD* values,
                                  DWORD count) {
    CValidRule* r = GetValueRule(trigger, triggerValue);
    if (!values) return 1;
    for (DWORD i = 0; i < count; ++i)
        r->allowed.push_back(values[i]);
    return 1;
}

DWORD CKinsokuItem::RemoveTrigger(WORD trigger) {
    DWORD removed = 0;
    auto drop = [&](std::vector<std::unique_ptr<CValidRule>>& rules) {
        for (size_t i = rules.size(); i-- > 0;) {
            if (rules[i]->trigger != trigger) continue;
            rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
        }
    };
    drop(valueRules_);
    drop(itemRules_);
    for (auto& a : values_)
        std::erase(a->blockers, trigger);
    return removed;
}

void CKinsokuItem::Clear() {
    FreeChain();
    while (!values_.empty())
        values_.pop_back();
    modified_ = 1;
    valueRules_.clear();
    itemRules_.clear();
}

BOOL CKinsokuItem::IsValueRefused(DWORD value) const {
    const CKinsokuAtom* a = FindAtom(value);
    return a && a->blockers.empty() ? FALSE : TRUE;
}

DWORD CKinsokuItem::PickValue(WORD trigger, DWORD triggerValue) const {
    DWORD preferred = 0;
    bool havePreferred = false;
    if (trigger) {
        for (auto& r : valueRules_)
            if (r->trigger == trigger && r->triggerValue == triggerValue &&
                (r->flags & kRulePreferredValid)) {
                preferred = r->preferred;
                havePreferred = true;
                break;
            }
    }
    if (!havePreferred && HasDefault()) {
        preferred = default_;
        havePreferred = true;
    }
    const CKinsokuAtom* first = nullptr;
    for (auto& a : values_) {
        if (!a->blockers.empty()) continue;
        if (havePreferred && a->value == preferred) return a->value;
        if (!first) first = a.get();
    }
    return first ? first->value : preferred;
}

const CValidRule* CKinsokuItem::GoverningRule(WORD trigger, DWORD value, bool* any) const {
    const CValidRule* last = nullptr;
    for (auto& r : valueRules_) {
        if (r->trigger != trigger) continue;
        last = r.get();
        if (r->triggerValue == value) {
            *any = true;
            return r.get();
        }
    }
    for (auto& r : itemRules_) {
        if (r->trigger != trigger) continue;
        *any = true;
        return r.get();
    }
    *any = last != nullptr;
    return nullptr;
}

BOOL CKinsokuItem::ApplyTrigger(WORD trigger, DWORD value) {
    bool any = false;
    const CValidRule* rule = GoverningRule(trigger, value, &any);
    if (!any) return FALSE;
    // A trigger value that no rule names refuses every value: the builders
    // give each trigger they use an item rule for the values they do not list.
    BOOL changed = FALSE;
    for (auto& a : values_) {
        bool allowed =
            rule && (rule->allowUnlisted || std::find(rule->allowed.begin(), rule->allowed.end(),
                                                      a->value) != rule->allowed.end());
        auto it = std::find(a->blockers.begin(), a->blockers.end(), trigger);
        if (it != a->blockers.end() && allowed) {
            a->blockers.erase(it);
            changed = TRUE;
        } else if (it == a->blockers.end() && !allowed) {
            a->blockers.push_back(trigger);
            changed = TRUE;
        }
    }
    return changed;
}

BOOL CKinsokuItem::RuleRefuses(DWORD value, WORD trigger, DWORD triggerValue) {
    bool any = false;
    const CValidRule* rule = GoverningRule(trigger, triggerValue, &any);
    if (!any) return FALSE;
    if (!rule) return TRUE;
    if (std::find(rule->allowed.begin(), rule->allowed.end(), value) != rule->allowed.end())
        return FALSE;
    return rule->allowUnlisted ? FALSE : TRUE;
}

BOOL CKinsokuItem::RuleContainsItem(DWORD value) const {
    const CKinsokuAtom* a = FindAtom(value);
    return a &&
           std::find(a->blockers.begin(), a->blockers.end(), kTriggerOptions) != a->blockers.end();
}

KinsokuChainNode* CKinsokuItem::BuildValueChain() {
    if (values_.empty()) return nullptr;
    if (modified_ || !chain_) {
        FreeChain();
        chain_ = GlobalAlloc(GPTR, values_.size() * sizeof(KinsokuChainNode));
        if (!chain_) return nullptr;
    }
    auto* nodes = static_cast<KinsokuChainNode*>(chain_);
    for (size_t i = 0; i < values_.size(); ++i) {
        nodes[i].value = static_cast<WORD>(values_[i]->value);
        nodes[i].param1 = values_[i]->param1;
        nodes[i].param2 = values_[i]->param2;
        nodes[i].refused = IsValueRefused(values_[i]->value);
        nodes[i].next = i + 1 < values_.size() ? &nodes[i + 1] : nullptr;
    }
    return nodes;
}

// ---------------------------------------------------------------- list

CKinsokuList::CKinsokuList(const ModelBlock* binding, const CUserPaper* papers, const BYTE* image)
    : binding_(binding), papers_(papers) {
    if (image) std::memcpy(work_.data(), image, work_.size());
    regionFlag_ = (Get<WORD>(work_.data(), IMG(priv.MeasureFlags)) & Bit(1)) ? 1 : 0;
    FillApplicability();
}

CKinsokuList::~CKinsokuList() = default;

int CKinsokuList::Slot(WORD item) {
    if (item >= kFirstTarget && item <= kLastTarget) return item;
    if (item >= kFirstTrigger && item <= kLastTrigger)
        return item - (kFirstTrigger - kLastTarget - 1);
    return -1;
}

void CKinsokuList::FillApplicability() {
    const BYTE* img = work_.data();
    const DWORD fields = Get<DWORD>(img, IMG(dm.dmFields));
    const DWORD a = Get<DWORD>(img, IMG(priv.PrivateFlags));
    const DWORD b = Get<DWORD>(img, IMG(priv.FeatureFlags));
    const DWORD c = Get<DWORD>(img, IMG(priv.JobCheckFlags));
    const DWORD d = Get<DWORD>(img, IMG(priv.OptionFlags));
    auto set = [&](WORD item, bool on) {
        applicable_[static_cast<size_t>(Slot(item))] = on ? 1 : 0;
    };
    auto is = [&](WORD item) { return applicable_[static_cast<size_t>(Slot(item))] != 0; };
    const bool cover1 = (a & feature::kAFrontCover) != 0, cover2 = (a & feature::kABackCover) != 0;
    set(kItemPaper, fields & DM_PAPERSIZE);
    set(kItemMedia, fields & DM_MEDIATYPE);
    set(kItemSource, fields & DM_DEFAULTSOURCE);
    set(kItemOutputBin, a & feature::kAOutputBins);
    set(kItemPunchMode, a & feature::kAPunch);
    set(kItemStapleMode, a & feature::kAStaple);
    set(kItemRotate, d & feature::kDOutputPaper);
    set(kItemCollate, fields & DM_COLLATE);
    set(kItemSort, a & feature::kASortKinds);
    set(kItemBooklet, b & feature::kBBooklet);
    set(kItemNup, b & feature::kBPageLayout);
    set(kItemFit, b & feature::kBFitToPaper);
    set(kItemZoom, b & feature::kBZoom);
    set(kItemPoster, b & feature::kBPoster);
    set(kItemReverse, a & feature::kAReverseOrder);
    set(kItemMirror, a & feature::kAMirror);
    set(kItemFrontCoverPrinted, cover1);
    set(kItemFrontCoverOn, cover1);
    set(kItemBackCoverPrinted, cover2);
    set(kItemBackCoverOn, cover2);
    set(kItemDuplexType, a & feature::kADuplexType);
    set(kItemDuplex, fields & DM_DUPLEX);
    set(kItemCollateByDriver, a & feature::kADriverCollation);
    set(kItemAltSourceOn, a & (feature::kAAlternateMedia | feature::kAAlternateSource));
    set(kItemAltMedia, a & feature::kAAlternateMedia);
    set(kItemAltSource, a & feature::kAAlternateSource);
    set(kItemFrontMedia, cover1);
    set(kItemFrontSource, cover1);
    set(kItemBackMedia, cover2);
    set(kItemBackSource, cover2);
    set(kItemSkipBlank, a & feature::kASkipBlank);
    set(kItemHalftone, true);
    set(kItemGraphicsMode, b & feature::kBGraphicsMode);
    set(kItemResolution, b & Bit(11));
    set(kItemTonerSave, b & feature::kBToner);
    set(kItemFontValues, b & feature::kBGraphicsMode);
    set(kItemWatermarkOn, b & feature::kBSecondModelFlags);
    set(kItemOverlayOn, b & feature::kBModelFlags);
    set(kItemBookletSheets, b & feature::kBBooklet);
    set(kItemDuplexNotice, c & feature::kCDuplexNotice);
    set(kItemTextAsBlack, b & feature::kBTextAsBlack);
    set(kItemContrastValues, b & feature::kBContrast);
    set(kItemDuplexMargin, a & Bit(10));
    set(kTriggerOptions, true);
    set(kTriggerPaper, is(kItemPaper));
    set(kTriggerPaperOrient, is(kItemPaper) && is(kItemOutputBin));
    set(kTriggerPaperOutputBin, is(kItemPaper) && is(kItemOutputBin));
    set(kTriggerMedia, is(kItemMedia));
    set(kTriggerSource, is(kItemSource));
    set(kTriggerCopies, fields & DM_COPIES);
    set(kTriggerCollate, is(kItemCollate));
    set(kTriggerSort, is(kItemSort));
    set(kTriggerBooklet, is(kItemBooklet));
    set(kTriggerBookletDuplexType, is(kItemBooklet) && is(kItemDuplexType));
    set(kTriggerPoster, is(kItemPoster));
    set(kTriggerNup, is(kItemNup));
    set(kTriggerFit, is(kItemFit));
    set(kTriggerZoom, is(kItemZoom));
    set(kTriggerPunchMode, is(kItemPunchMode));
    set(kTriggerStapleMode, is(kItemStapleMode));
    set(kTriggerOutputBin, is(kItemOutputBin));
    set(kTriggerStapleModeBooklet, is(kItemStapleMode));
    set(kTriggerFrontCoverOn, is(kItemFrontCoverOn));
    set(kTriggerBackCoverOn, is(kItemBackCoverOn));
    set(kTriggerDuplex, is(kItemDuplex));
    set(kTriggerGraphicsMode, is(kItemGraphicsMode));
    set(kTriggerAltMedia, is(kItemAltMedia));
    set(kTriggerAltSource, is(kItemAltSource));
    set(kTriggerReverse, is(kItemReverse));
    set(kTriggerFrontCover, is(kItemFrontMedia));
    set(kTriggerBackCover, is(kItemBackMedia));
    set(kTriggerFrontSource, is(kItemFrontSource));
    set(kTriggerBackSource, is(kItemBackSource));
    set(kTriggerCoversDuplexType, is(kItemDuplexType) && (cover1 || cover2));
    set(kTriggerDuplexAndType, is(kItemDuplexType) && is(kItemDuplex));
    set(kTriggerPaperStapleMode, is(kItemStapleMode));
    set(kTriggerPaperPunchMode, is(kItemPunchMode));
    set(kTriggerSkipBlank, a & feature::kASkipBlank);
    set(kTriggerHalftone, is(kItemHalftone));
    set(kTriggerColorMode, is(kItemPaper) && (b & Bit(5)));
    set(kTriggerJobType, a & kJobTypeMask);
    set(kTriggerMediaOption, is(kItemMedia) && is(kItemOutputBin));
}

BOOL CKinsokuList::IsApplicable(WORD item) const {
    int slot = Slot(item);
    return slot > 0 && applicable_[static_cast<size_t>(slot)] ? TRUE : FALSE;
}

CKinsokuItem* CKinsokuList::FindItem(WORD item) const {
    int slot = Slot(item);
    return slot > 0 ? items_[static_cast<size_t>(slot)].get() : nullptr;
}

CKinsokuItem* CKinsokuList::GetItem(WORD item) {
    if (!IsApplicable(item)) return nullptr;
    auto& p = items_[static_cast<size_t>(Slot(item))];
    if (!p) p = std::make_unique<CKinsokuItem>(item);
    return p.get();
}

void CKinsokuList::RemoveItem(WORD item) {
    int slot = Slot(item);
    if (slot > 0) items_[static_cast<size_t>(slot)].reset();
}

BOOL CKinsokuList::AddDependency(WORD trigger, WORD target) {
    if (!IsApplicable(trigger) || !IsApplicable(target)) return FALSE;
    AddOnce(&depends_[static_cast<size_t>(Slot(trigger))], target);
    return TRUE;
}

void CKinsokuList::RemoveDependency(WORD trigger, WORD target) {
    int slot = Slot(trigger);
    if (slot > 0) std::erase(depends_[static_cast<size_t>(slot)], target);
}

void CKinsokuList::RemoveDependencies(WORD trigger) {
    int slot = Slot(trigger);
    if (slot > 0) depends_[static_cast<size_t>(slot)].clear();
}

BOOL CKinsokuList::HasDependency(WORD trigger, WORD target) const {
    int slot = Slot(trigger);
    return slot > 0 && Contains(depends_[static_cast<size_t>(slot)], target);
}

CKinsokuItem* CKinsokuList::GetDependentItem(WORD target, WORD trigger) const {
    return HasDependency(trigger, target) ? FindItem(target) : nullptr;
}

BOOL CKinsokuList::IsDependent(WORD item) const {
    for (auto& d : depends_)
        if (Contains(d, item)) return TRUE;
    return FALSE;
}

BOOL CKinsokuList::IsValueRefused(WORD item, DWORD value) const {
    CKinsokuItem* it = FindItem(item);
    return it ? it->IsValueRefused(value) : FALSE;
}

DWORD CKinsokuList::GetBlockers(WORD item, DWORD value, WORD* buffer, DWORD capacity) const {
    CKinsokuItem* it = FindItem(item);
    const CKinsokuAtom* a = it ? it->FindAtom(value) : nullptr;
    if (!a) return 0;
    DWORD n = static_cast<DWORD>(a->blockers.size());
    if (!buffer || capacity == 0) return n;
    n = std::min(n, capacity);
    std::copy_n(a->blockers.begin(), n, buffer);
    return n;
}

BOOL CKinsokuList::FindRuleValue(WORD item, DWORD value, WORD trigger, DWORD triggerValue) const {
    CKinsokuItem* it = FindItem(item);
    return it ? it->RuleRefuses(value, trigger, triggerValue) : FALSE;
}

void CKinsokuList::PropagateTrigger(WORD trigger, DWORD value) {
    int slot = Slot(trigger);
    if (slot <= 0) return;
    for (WORD target : depends_[static_cast<size_t>(slot)])
        if (CKinsokuItem* it = FindItem(target)) it->ApplyTrigger(trigger, value);
}

BOOL CKinsokuList::WasCorrected(WORD item) const {
    return Contains(corrected_, item);
}
BOOL CKinsokuList::WasChangedByUser(WORD trigger) const {
    return Contains(changed_, trigger);
}
void CKinsokuList::MarkCorrected(WORD target) {
    AddOnce(&corrected_, target);
}

// ---------------------------------------------------------------- model look-ups

bool CKinsokuList::HasModelPaper(WORD paper) const {
    if (!binding_) return false;
    CModelInfo info(binding_, model::kQueryPapers, paper, model::layout::kPaperList);
    return info.GetData() != nullptr;
}

bool CKinsokuList::PaperSize(WORD paper, WORD* width, WORD* length) const {
    if (!binding_ || paper == 0) return false;
    CModelInfo info(binding_, model::kQueryPapers, paper, model::layout::kPaperRecord);
    if (!info.GetData()) return false;
    *width = info.U16(offsetof(model::PaperRecordAnswer, width));
    *length = info.U16(offsetof(model::PaperRecordAnswer, length));
    return true;
}

WORD CKinsokuList::EffectivePaper(const BYTE* image) const {
    WORD layoutWord = Get<WORD>(image, IMG(priv.LayoutKind));
    WORD output = Get<WORD>(image, IMG(priv.OutputPaperId));
    WORD paper, width, length;
    if (layoutWord && output) {
        paper = output;
        width = Get<WORD>(image, IMG(priv.OutputPaperWidth));
        length = Get<WORD>(image, IMG(priv.OutputPaperLength));
    } else {
        paper = static_cast<WORD>(Get<SHORT>(image, IMG(dm.dmPaperSize)));
        width = static_cast<WORD>(Get<SHORT>(image, IMG(dm.dmPaperWidth)));
        length = static_cast<WORD>(Get<SHORT>(image, IMG(dm.dmPaperLength)));
    }
    if (!binding_ || HasModelPaper(paper)) return paper;
    // A user or free-size paper: long when the model offers long papers and
    // the longer side (0.1 mm) passes the largest custom length (0.1 mm).
    // The sizes in tenths divide into whole millimetres exactly as doubles.
    return IsLongPaper(binding_, width / 10.0, length / 10.0, TRUE) ? kLongPaperId : kCustomPaperId;
}

bool CKinsokuList::EffectivePaperRecord(const BYTE* image, model::PaperRecordAnswer* r) const {
    *r = {};
    const WORD paper = EffectivePaper(image);
    if (!binding_ || paper == 0) return false;
    if (paper != kCustomPaperId && paper != kLongPaperId) {
        CModelInfo info(binding_, model::kQueryPapers, paper, model::layout::kPaperRecord);
        if (!info.GetData()) return false;
        std::memcpy(r, info.GetData(), std::min<size_t>(sizeof *r, info.Length()));
        return true;
    }
    CModelInfo limits(binding_,
                      paper == kCustomPaperId ? model::kQueryCustomPaperLimits
                                              : model::kQueryLongPaperLimits,
                      0, model::layout::kLimitsRecord);
    if (!limits.GetData()) return false;
    model::PaperLimitsAnswer base{};
    std::memcpy(&base, limits.GetData(), std::min<size_t>(sizeof base, limits.Length()));
    const WORD output = Get<WORD>(image, IMG(priv.OutputPaperId));
    r->id = static_cast<std::int16_t>(output ? output : Get<SHORT>(image, IMG(dm.dmPaperSize)));
    std::memcpy(r->margins, base.margins, sizeof r->margins);
    std::memcpy(r->turnedMargins, base.turnedMargins, sizeof r->turnedMargins);
    // The flag and mask words, then the tied ids and lists, as the limits give them.
    std::memcpy(&r->flags, &base.flags,
                offsetof(model::PaperLimitsAnswer, tiedMedia) -
                    offsetof(model::PaperLimitsAnswer, flags));
    r->tiedMedia = base.tiedMedia;
    r->mediaCount = base.mediaCount;
    r->tiedTray = base.tiedTray;
    r->trayCount = base.trayCount;
    std::memcpy(r->media, base.media, sizeof r->media);
    std::memcpy(r->trays, base.trays, sizeof r->trays);

    constexpr int kDotsPerHundredthInch = 6; // 600 dpi
    constexpr double kDotsPerTenthMm = 600.0 / 254.0;
    int width, length, widthDots, lengthDots;
    if (const UserPaperRecord* u =
            papers_ ? papers_->FindById(static_cast<WORD>(r->id)) : nullptr) {
        r->slot2 = static_cast<LONG>(u->Unit()) > 0 ? 2 : 1;
        width = u->widthTenthMm;
        length = u->lengthTenthMm;
        widthDots = u->widthHundredthIn * kDotsPerHundredthInch;
        lengthDots = u->lengthHundredthIn * kDotsPerHundredthInch;
    } else {
        const bool outputSize = Get<WORD>(image, IMG(priv.LayoutKind)) && output;
        width = Get<SHORT>(image, outputSize ? IMG(priv.OutputPaperWidth) : IMG(dm.dmPaperWidth));
        length =
            Get<SHORT>(image, outputSize ? IMG(priv.OutputPaperLength) : IMG(dm.dmPaperLength));
        if (width <= 0 || length <= 0) return false;
        r->slot2 = 2;
        widthDots = static_cast<int>(width * kDotsPerTenthMm);
        lengthDots = static_cast<int>(length * kDotsPerTenthMm);
    }
    r->width = static_cast<std::int16_t>(width);
    r->length = static_cast<std::int16_t>(length);
    r->widthDots = static_cast<std::int16_t>(widthDots);
    r->lengthDots = static_cast<std::int16_t>(lengthDots);
    r->turnedLength = r->length;
    r->turnedWidth = r->width;
    r->turnedLengthDots = r->lengthDots;
    r->turnedWidthDots = r->widthDots;
    return true;
}

WORD CKinsokuList::EffectiveOrientation(const BYTE* image) const {
    WORD orient = static_cast<WORD>(Get<SHORT>(image, IMG(dm.dmOrientation)));
    if (Get<DWORD>(image, IMG(priv.EmfMode)) & kEmfKeepOrientation) return orient;
    WORD layoutWord = Get<WORD>(image, IMG(priv.LayoutKind));
    WORD nup = Get<WORD>(image, IMG(priv.PagesPerSheet));
    bool turn = (layoutWord == kLayoutPagesPerSheet && (nup == 2 || nup == 6 || nup == 8)) ||
                layoutWord == kLayoutBooklet ||
                (layoutWord == kLayoutPoster && Get<WORD>(image, IMG(priv.PosterGrid[0])) !=
                                                    Get<WORD>(image, IMG(priv.PosterGrid[1])));
    if (!turn) return orient;
    return orient == DMORIENT_PORTRAIT ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
}

DWORD CKinsokuList::TriggerValue(WORD trigger, const BYTE* img) const {
    return TriggerValue(trigger, img, PaperOf(img));
}

CKinsokuList::ImagePaper CKinsokuList::PaperOf(const BYTE* img) const {
    return {EffectivePaper(img), EffectiveOrientation(img)};
}

DWORD CKinsokuList::TriggerValue(WORD trigger, const BYTE* img, const ImagePaper& paper) const {
    auto hi = [](DWORD h, DWORD l) { return (h << 16) | (l & 0xFFFF); };
    const WORD layoutWord = Get<WORD>(img, IMG(priv.LayoutKind));
    const WORD cover = Get<WORD>(img, IMG(priv.CoverFlags));
    switch (trigger) {
    case kTriggerPaper:
    case kTriggerPaperOutputBin:
        return paper.id;
    case kTriggerPaperOrient:
        return hi(paper.orientation, paper.id);
    case kTriggerMedia:
        return Get<DWORD>(img, IMG(dm.dmMediaType));
    case kTriggerSource:
        return S16(img, IMG(dm.dmDefaultSource));
    case kTriggerCopies:
        return S16(img, IMG(dm.dmCopies));
    case kTriggerCollate:
        return S16(img, IMG(dm.dmCollate));
    case kTriggerSort: {
        DWORD sort = U16(img, IMG(priv.SortMode));
        if (S16(img, IMG(dm.dmCollate)) == DMCOLLATE_TRUE && (sort == 0 || sort == 2 || sort == 4))
            ++sort;
        return sort;
    }
    case kTriggerBooklet:
        return layoutWord & kLayoutBooklet;
    case kTriggerBookletDuplexType:
        return hi(layoutWord & kLayoutBooklet, U16(img, IMG(priv.DuplexType)));
    case kTriggerPoster:
        return layoutWord & kLayoutPoster;
    case kTriggerNup:
        return layoutWord & kLayoutPagesPerSheet;
    case kTriggerFit:
        return layoutWord & kLayoutFitToPaper;
    case kTriggerZoom:
        return layoutWord & kLayoutZoom;
    case kTriggerPunchMode:
        return U16(img, IMG(priv.PunchMode));
    case kTriggerStapleMode:
        return U16(img, IMG(priv.StapleMode));
    case kTriggerOutputBin:
        return U16(img, IMG(priv.OutputBin));
    case kTriggerStapleModeBooklet:
        return hi(U16(img, IMG(priv.StapleMode)), layoutWord & kLayoutBooklet);
    case kTriggerFrontCoverOn:
        return cover & 1;
    case kTriggerBackCoverOn:
        return cover & 2;
    case kTriggerDuplex:
        return S16(img, IMG(dm.dmDuplex));
    case kTriggerGraphicsMode:
        return U16(img, IMG(priv.GraphicsMode));
    case kTriggerAltMedia:
        return Get<DWORD>(img, IMG(priv.AlternateMediaType));
    case kTriggerAltSource:
        return S16(img, IMG(priv.AlternateSource));
    case kTriggerReverse:
        return S16(img, IMG(priv.ReverseOrder));
    case kTriggerFrontCover:
        return hi(U16(img, IMG(priv.FrontCoverPrinted)),
                  Get<DWORD>(img, IMG(priv.FrontCoverMedia)));
    case kTriggerBackCover:
        return hi(U16(img, IMG(priv.BackCoverPrinted)), Get<DWORD>(img, IMG(priv.BackCoverMedia)));
    case kTriggerFrontSource:
        return S16(img, IMG(priv.FrontCoverSource));
    case kTriggerBackSource:
        return S16(img, IMG(priv.BackCoverSource));
    case kTriggerCoversDuplexType:
        return hi(cover & 3, U16(img, IMG(priv.DuplexType)));
    case kTriggerDuplexAndType:
        return hi(S16(img, IMG(dm.dmDuplex)), U16(img, IMG(priv.DuplexType)));
    case kTriggerPaperStapleMode:
    case kTriggerPaperPunchMode: {
        DWORD second = U16(img, trigger == kTriggerPaperStapleMode ? IMG(priv.StapleMode)
                                                                   : IMG(priv.PunchMode));
        return paper.id + (static_cast<DWORD>(paper.orientation) << 24) + (second << 16);
    }
    case kTriggerSkipBlank:
        return U16(img, IMG(priv.SkipBlankPages));
    case kTriggerHalftone:
        return U16(img, IMG(priv.HalftoneKind));
    case kTriggerColorMode:
        return S16(img, IMG(priv.ColorMode));
    case kTriggerJobType:
        return U16(img, IMG(priv.JobType));
    default:
        return 0;
    }
}

// ---------------------------------------------------------------- picks

namespace {
// The id tied to a record of a model table: a paper's media type or tray,
// a media type's paper or tray, a tray's paper or media type.
WORD TiedId(const ModelBlock* binding, int code, WORD id, int layout, size_t offset) {
    if (!binding || id == 0) return 0;
    CModelInfo info(binding, static_cast<WORD>(code), id, static_cast<DWORD>(layout));
    return info.GetData() ? info.U16(offset) : 0;
}
WORD TrayTied(const ModelBlock* binding, WORD tray, size_t offset) {
    WORD v = TiedId(binding, model::kQueryPaperSources, tray, model::layout::kTrayRecord, offset);
    return v ? v
             : TiedId(binding, model::kQueryTrayGroups, tray, model::layout::kFeederTrayRecord,
                      offset);
}
constexpr size_t kTiedFirst = offsetof(model::MediaTrayRecordAnswer, tied);
constexpr size_t kTiedSecond = offsetof(model::MediaTrayRecordAnswer, tiedSecond);
} // namespace

DWORD CKinsokuList::PickPaper(CKinsokuItem* item, const BYTE* img) const {
    const WORD media = static_cast<WORD>(Get<DWORD>(img, IMG(dm.dmMediaType)));
    const WORD source = static_cast<WORD>(Get<SHORT>(img, IMG(dm.dmDefaultSource)));
    struct Candidate {
        bool when;
        WORD trigger;
        WORD paper;
    };
    const bool m = HasDependency(kTriggerMedia, kItemPaper),
               s = HasDependency(kTriggerSource, kItemPaper);
    const Candidate c[] = {
        {m && Contains(changed_, kTriggerMedia), 0, 0},
        {s && Contains(changed_, kTriggerSource), 1, 0},
        {m && Contains(corrected_, kItemMedia), 0, 0},
        {s && Contains(corrected_, kItemSource), 1, 0},
    };
    for (const Candidate& k : c) {
        if (!k.when) continue;
        WORD paper = k.trigger == 0 ? TiedId(binding_, model::kQueryMediaTypes, media,
                                             model::layout::kMediaRecord, kTiedFirst)
                                    : TrayTied(binding_, source, kTiedFirst);
        if (paper && !item->IsValueRefused(paper)) return paper;
    }
    return item->PickValue(0, 0);
}

DWORD CKinsokuList::PickMedia(WORD target, CKinsokuItem* item, const BYTE* img) const {
    if (target == kItemFrontMedia || target == kItemBackMedia) return item->PickValue(0, 0);
    const WORD sourceTrigger = target == kItemMedia ? kTriggerSource : kTriggerAltSource;
    const WORD sourceTarget = target == kItemMedia ? kItemSource : kItemAltSource;
    const WORD source = static_cast<WORD>(Get<SHORT>(
        img, target == kItemMedia ? IMG(dm.dmDefaultSource) : IMG(priv.AlternateSource)));
    const bool p = HasDependency(kTriggerPaper, target), s = HasDependency(sourceTrigger, target);
    auto paperMedia = [&]() {
        model::PaperRecordAnswer paper;
        return EffectivePaperRecord(img, &paper) ? static_cast<WORD>(paper.tiedMedia) : WORD{0};
    };
    auto sourceMedia = [&]() { return TrayTied(binding_, source, kTiedSecond); };
    const bool tries[4] = {
        p && Contains(changed_, kTriggerPaper), s && Contains(changed_, sourceTrigger),
        p && Contains(corrected_, kItemPaper), s && Contains(corrected_, sourceTarget)};
    for (int i = 0; i < 4; ++i) {
        if (!tries[i]) continue;
        WORD media = i % 2 == 0 ? paperMedia() : sourceMedia();
        if (media && !item->IsValueRefused(media)) return media;
    }
    return item->PickValue(0, 0);
}

DWORD CKinsokuList::PickSource(WORD target, CKinsokuItem* item, const BYTE* img) const {
    WORD mediaTrigger = kTriggerMedia, mediaTarget = kItemMedia;
    DWORD media = Get<DWORD>(img, IMG(dm.dmMediaType));
    if (target == kItemAltSource) {
        mediaTrigger = kTriggerAltMedia, mediaTarget = kItemAltMedia;
        media = Get<DWORD>(img, IMG(priv.AlternateMediaType));
    } else if (target == kItemFrontSource) {
        mediaTrigger = kTriggerFrontCover, mediaTarget = kItemFrontMedia;
        media = Get<DWORD>(img, IMG(priv.FrontCoverMedia));
    } else if (target == kItemBackSource) {
        mediaTrigger = kTriggerBackCover, mediaTarget = kItemBackMedia;
        media = Get<DWORD>(img, IMG(priv.BackCoverMedia));
    }
    const bool p = HasDependency(kTriggerPaper, target), m = HasDependency(mediaTrigger, target);
    const bool tries[4] = {
        p && Contains(changed_, kTriggerPaper), m && Contains(changed_, mediaTrigger),
        p && Contains(corrected_, kItemPaper), m && Contains(corrected_, mediaTarget)};
    for (int i = 0; i < 4; ++i) {
        if (!tries[i]) continue;
        model::PaperRecordAnswer paper;
        WORD source =
            i % 2 == 0
                ? (EffectivePaperRecord(img, &paper) ? static_cast<WORD>(paper.tiedTray) : WORD{0})
                : TiedId(binding_, model::kQueryMediaTypes, static_cast<WORD>(media),
                         model::layout::kMediaRecord, kTiedSecond);
        if (source && !item->IsValueRefused(source)) return source;
    }
    return item->PickValue(0, 0);
}

// ---------------------------------------------------------------- poster grid

BOOL ComputeScaleLimits(const CKinsokuList* list, const BYTE* img, DWORD* x, DWORD* y) {
    if (x) *x = 0;
    if (y) *y = 0;
    if (!list || !img || !list->Binding()) return FALSE;
    model::PaperRecordAnswer record;
    if (!list->EffectivePaperRecord(img, &record)) return FALSE;
    const bool portrait = Get<SHORT>(img, IMG(dm.dmOrientation)) == DMORIENT_PORTRAIT;
    const std::int16_t* margins = portrait ? record.margins : record.turnedMargins;
    const int marginX = margins[0];
    const int marginY = margins[1];
    int width = 0, length = 0;
    const DWORD fields = Get<DWORD>(img, IMG(dm.dmFields));
    const WORD output = Get<WORD>(img, IMG(priv.OutputPaperId));
    if (output && (Get<DWORD>(img, IMG(priv.PrivateFlags)) & Bit(6))) {
        width = Get<SHORT>(img, IMG(priv.OutputPaperWidth));
        length = Get<SHORT>(img, IMG(priv.OutputPaperLength));
    } else if (!output && (fields & (DM_PAPERLENGTH | DM_PAPERWIDTH))) {
        width = Get<SHORT>(img, IMG(dm.dmPaperWidth));
        length = Get<SHORT>(img, IMG(dm.dmPaperLength));
    } else {
        WORD id = output ? output : static_cast<WORD>(Get<SHORT>(img, IMG(dm.dmPaperSize)));
        CModelInfo size(list->Binding(), model::kQueryPapers, id, model::layout::kPaperRecord);
        if (size.GetData()) {
            width = static_cast<SHORT>(size.U16(offsetof(model::PaperRecordAnswer, width)));
            length = static_cast<SHORT>(size.U16(offsetof(model::PaperRecordAnswer, length)));
        }
    }
    if (width <= 0 || length <= 0) {
        width = record.width;
        length = record.length;
    }
    const int resolution = Get<SHORT>(img, IMG(dm.dmPrintQuality));
    const int px =
        static_cast<int>(width * resolution / static_cast<double>(kTenthMmPerInch) - 2 * marginX);
    const int py =
        static_cast<int>(length * resolution / static_cast<double>(kTenthMmPerInch) - 2 * marginY);
    if (px < 1 || py < 1) return FALSE;
    const WORD unit = Get<WORD>(img, IMG(priv.LengthUnitDpi));
    const int overlap = unit ? Get<WORD>(img, IMG(priv.PosterOverlap)) * resolution / unit : 0;
    // An overlap as wide as the printable area leaves no step between tiles.
    if (px <= overlap || py <= overlap) return FALSE;
    if (x) *x = static_cast<DWORD>((kPosterLimitUnits - overlap) / (px - overlap));
    if (y) *y = static_cast<DWORD>((kPosterLimitUnits - overlap) / (py - overlap));
    return TRUE;
}

void CKinsokuList::ClampPoster(BYTE* img) const {
    DWORD lx = 0, ly = 0;
    if (!ComputeScaleLimits(this, img, &lx, &ly)) return;
    WORD gx = Get<WORD>(img, IMG(priv.PosterGrid[0])), gy = Get<WORD>(img, IMG(priv.PosterGrid[1]));
    if (lx > 1 && ly > 1 && gx == 1 && gy == 1) gx = gy = 2;
    // A poster is at least one sheet: a page larger than the device's
    // coordinates (a limit of 0) still prints as 1 by 1, never as 0 by 0.
    if (lx < gx || ly < gy) gx = gy = static_cast<WORD>(std::max<DWORD>(std::min(lx, ly), 1));
    Put<WORD>(img, IMG(priv.PosterGrid[0]), gx);
    Put<WORD>(img, IMG(priv.PosterGrid[1]), gy);
}

void CKinsokuList::LookUpResolution(BYTE* img, WORD code) const {
    if (!binding_) return;
    CModelInfo info(binding_, model::kQueryQualityModes, 0, model::layout::kQualityRecord);
    auto* data = static_cast<const BYTE*>(info.GetData());
    const DWORD n = std::min<DWORD>(info.GetCount(), info.Length() / sizeof(model::QualityAnswer));
    for (DWORD i = 0; data && i < n; ++i) {
        model::QualityAnswer q;
        std::memcpy(&q, data + i * sizeof q, sizeof q);
        if (static_cast<WORD>(q.id) != code) continue;
        Put<SHORT>(img, IMG(dm.dmPrintQuality), static_cast<SHORT>(q.x));
        Put<SHORT>(img, IMG(dm.dmYResolution), static_cast<SHORT>(q.y));
        return;
    }
}

// ---------------------------------------------------------------- targets

namespace {
// Bit fields of one word: the item's value is the word masked.
struct BitTarget {
    WORD item;
    size_t offset;
    WORD mask;
    bool fitRule;
};
constexpr BitTarget kLayoutTargets[] = {
    {kItemBooklet, IMG(priv.LayoutKind), kLayoutBooklet, true},
    {kItemNup, IMG(priv.LayoutKind), kLayoutPagesPerSheet, true},
    {kItemFit, IMG(priv.LayoutKind), kLayoutFitToPaper, false},
    {kItemZoom, IMG(priv.LayoutKind), kLayoutZoom, true},
    {kItemPoster, IMG(priv.LayoutKind), kLayoutPoster, true},
    {18, IMG(priv.CoverFlags), 1, false},
    {20, IMG(priv.CoverFlags), 2, false},
};
// Whole fields: the item's value is the field.
struct FieldTarget {
    WORD item;
    size_t offset;
    BYTE bytes;
    bool isSigned;
};
constexpr FieldTarget kFieldTargets[] = {
    {kItemOutputBin, IMG(priv.OutputBin), 2, false},
    {kItemPunchMode, IMG(priv.PunchMode), 2, false},
    {kItemStapleMode, IMG(priv.StapleMode), 2, false},
    {kItemRotate, IMG(priv.Rotate180), 2, true},
    {kItemCollate, IMG(dm.dmCollate), 2, true},
    {kItemReverse, IMG(priv.ReverseOrder), 2, true},
    {16, IMG(priv.MirrorImage), 2, true},
    {17, IMG(priv.FrontCoverPrinted), 2, false},
    {19, IMG(priv.BackCoverPrinted), 2, false},
    {21, IMG(priv.DuplexType), 2, true},
    {24, IMG(priv.AlternateSourceOn), 2, false},
    {31, IMG(priv.SkipBlankPages), 2, false},
    {32, IMG(priv.HalftoneKind), 2, false},
    {33, IMG(priv.GraphicsMode), 2, false},
    {35, IMG(priv.TonerSaveLevel), 2, true},
    {39, IMG(priv.BookletSheets), 2, true},
    {41, IMG(priv.TextAsBlack), 2, false},
};
DWORD ReadField(const BYTE* img, const FieldTarget& f) {
    if (f.bytes == 4) return Get<DWORD>(img, f.offset);
    return f.isSigned ? S16(img, f.offset) : U16(img, f.offset);
}
void WriteField(BYTE* img, size_t offset, BYTE bytes, DWORD v) {
    if (bytes == 4)
        Put<DWORD>(img, offset, v);
    else
        Put<WORD>(img, offset, static_cast<WORD>(v));
}
void FitToOutputPaper(BYTE* img) {
    WORD output = Get<WORD>(img, IMG(priv.OutputPaperId));
    WORD layoutWord = Get<WORD>(img, IMG(priv.LayoutKind));
    if (output && layoutWord == 0) Put<WORD>(img, IMG(priv.LayoutKind), kLayoutFitToPaper);
    if (!output && layoutWord == kLayoutFitToPaper) Put<WORD>(img, IMG(priv.LayoutKind), 0);
}
} // namespace

void CKinsokuList::CorrectTarget(WORD target, CKinsokuItem* item, BYTE* img) {
    for (const BitTarget& b : kLayoutTargets) {
        if (b.item != target) continue;
        WORD word = Get<WORD>(img, b.offset);
        if (!item->IsValueRefused(word & b.mask)) return;
        MarkCorrected(target);
        word = static_cast<WORD>((word & ~b.mask) | item->PickValue(0, 0));
        Put<WORD>(img, b.offset, word);
        if (b.fitRule) FitToOutputPaper(img);
        return;
    }
    for (const FieldTarget& f : kFieldTargets) {
        if (f.item != target) continue;
        if (!item->IsValueRefused(ReadField(img, f))) return;
        MarkCorrected(target);
        WriteField(img, f.offset, f.bytes, item->PickValue(0, 0));
        return;
    }
    switch (target) {
    case kItemPaper: {
        if (Get<DWORD>(img, IMG(dm.dmFields)) & (DM_PAPERLENGTH | DM_PAPERWIDTH)) return;
        if (!item->IsValueRefused(S16(img, IMG(dm.dmPaperSize)))) return;
        DWORD paper = PickPaper(item, img);
        MarkCorrected(target);
        Put<DWORD>(img, IMG(dm.dmFields),
                   Get<DWORD>(img, IMG(dm.dmFields)) &
                       ~static_cast<DWORD>(DM_PAPERLENGTH | DM_PAPERWIDTH));
        Put<SHORT>(img, IMG(dm.dmPaperSize), static_cast<SHORT>(paper));
        Put<SHORT>(img, IMG(dm.dmPaperLength), 0);
        Put<SHORT>(img, IMG(dm.dmPaperWidth), 0);
        WORD width = 0, length = 0;
        if (paper >= 1 && paper <= kLastModelPaperId && paper != 256 &&
            PaperSize(static_cast<WORD>(paper), &width, &length)) {
            Put<SHORT>(img, IMG(dm.dmPaperWidth), static_cast<SHORT>(width));
            Put<SHORT>(img, IMG(dm.dmPaperLength), static_cast<SHORT>(length));
        }
        return;
    }
    case kItemMedia:
    case kItemAltMedia:
    case kItemFrontMedia:
    case kItemBackMedia: {
        const size_t at = target == kItemMedia        ? IMG(dm.dmMediaType)
                          : target == kItemAltMedia   ? IMG(priv.AlternateMediaType)
                          : target == kItemFrontMedia ? IMG(priv.FrontCoverMedia)
                                                      : IMG(priv.BackCoverMedia);
        if (!item->IsValueRefused(Get<DWORD>(img, at))) return;
        DWORD media = PickMedia(target, item, img);
        MarkCorrected(target);
        Put<DWORD>(img, at, media);
        if (target == kItemMedia) PropagateTrigger(kTriggerMedia, media);
        if (target == kItemFrontMedia)
            PropagateTrigger(kTriggerFrontCover, TriggerValue(kTriggerFrontCover, img));
        if (target == kItemBackMedia)
            PropagateTrigger(kTriggerBackCover, TriggerValue(kTriggerBackCover, img));
        return;
    }
    case kItemSource:
    case kItemAltSource:
    case kItemFrontSource:
    case kItemBackSource: {
        const size_t at = target == kItemSource        ? IMG(dm.dmDefaultSource)
                          : target == kItemAltSource   ? IMG(priv.AlternateSource)
                          : target == kItemFrontSource ? IMG(priv.FrontCoverSource)
                                                       : IMG(priv.BackCoverSource);
        if (!item->IsValueRefused(S16(img, at))) return;
        DWORD source = PickSource(target, item, img);
        MarkCorrected(target);
        Put<SHORT>(img, at, static_cast<SHORT>(source));
        if (target == kItemSource) PropagateTrigger(kTriggerSource, S16(img, at));
        return;
    }
    case kItemSort: {
        const DWORD current = S16(img, IMG(priv.SortMode));
        if (!item->IsValueRefused(current)) return;
        MarkCorrected(target);
        DWORD pick;
        if (current <= 5) {
            DWORD tried = current % 2 == 0 ? 0 : 1;
            pick = item->IsValueRefused(tried) ? item->PickValue(0, 0) : tried;
        } else {
            pick = item->PickValue(0, 0);
        }
        Put<SHORT>(img, IMG(priv.SortMode), static_cast<SHORT>(pick));
        return;
    }
    case kItemDuplex: {
        const DWORD current = S16(img, IMG(dm.dmDuplex));
        if (!item->IsValueRefused(current)) return;
        MarkCorrected(target);
        const CKinsokuAtom* atom = item->FindAtom(current);
        DWORD pick = atom && atom->blockers.size() == 1 && atom->blockers[0] == kTriggerStapleMode
                         ? item->PickValue(kTriggerStapleMode, U16(img, IMG(priv.StapleMode)))
                         : item->PickValue(0, 0);
        Put<SHORT>(img, IMG(dm.dmDuplex), static_cast<SHORT>(pick));
        if (pick == kDuplexSimplex)
            Put<DWORD>(img, IMG(priv.OptionFlags),
                       Get<DWORD>(img, IMG(priv.OptionFlags)) & ~Bit(0));
        return;
    }
    case kItemCollateByDriver: {
        if (!item->IsValueRefused(U16(img, IMG(priv.CollateByDriver)))) return;
        MarkCorrected(target);
        DWORD pick = item->PickValue(0, 0);
        if (!item->IsValueRefused(pick))
            Put<WORD>(img, IMG(priv.CollateByDriver), static_cast<WORD>(pick));
        return;
    }
    case kItemResolution: {
        if (!item->IsValueRefused(S16(img, IMG(priv.ResolutionCode)))) return;
        MarkCorrected(target);
        DWORD pick = item->PickValue(0, 0);
        Put<SHORT>(img, IMG(priv.ResolutionCode), static_cast<SHORT>(pick));
        WORD code = pick >= 1 && pick <= 4 ? static_cast<WORD>(pick) : 2;
        LookUpResolution(img, code);
        return;
    }
    case 37: {
        DWORD flags = Get<DWORD>(img, IMG(priv.WatermarkFlags));
        if (!item->IsValueRefused((flags >> 1) & 1)) return;
        MarkCorrected(target);
        flags = (flags & ~Bit(1)) | ((item->PickValue(0, 0) & 1) << 1);
        Put<DWORD>(img, IMG(priv.WatermarkFlags), flags);
        return;
    }
    case 38: {
        DWORD flags = Get<DWORD>(img, IMG(priv.OverlayFlags));
        if (!item->IsValueRefused((flags & 3) ? 1 : 0)) return;
        MarkCorrected(target);
        Put<DWORD>(img, IMG(priv.OverlayFlags), (flags & ~3u) | item->PickValue(0, 0));
        return;
    }
    case 43: {
        DWORD flags = Get<DWORD>(img, IMG(priv.DuplexMarginFlags));
        if (item->IsValueRefused(1)) {
            MarkCorrected(target);
            flags = (flags & ~Bit(0)) | item->PickValue(0, 0);
        } else {
            flags = Get<WORD>(img, IMG(priv.DuplexMargin)) ? flags | Bit(0) : flags & ~Bit(0);
        }
        Put<DWORD>(img, IMG(priv.DuplexMarginFlags), flags);
        return;
    }
    default:
        return; // 36, 40, 42 carry values only
    }
}

// ---------------------------------------------------------------- resolve

// Pass 1: the blockers of every target follow the triggers that changed
// since the working image (all of them while the list is not resolved).
void CKinsokuList::ApplyTriggers(const BYTE* image, bool recordChanges) {
    const ImagePaper now = PaperOf(image);
    const ImagePaper was = resolved_ ? PaperOf(work_.data()) : now;
    DWORD last = 0;
    for (WORD trigger : kTriggerOrder) {
        bool changed;
        DWORD value = last;
        if (trigger == kTriggerOptions || trigger == kTriggerMediaOption) {
            changed = resolved_ == 0;
        } else {
            if (!IsApplicable(trigger)) continue;
            value = TriggerValue(trigger, image, now);
            last = value;
            changed = resolved_ == 0 || value != TriggerValue(trigger, work_.data(), was);
        }
        if (!changed) continue;
        if (recordChanges) changed_.push_back(trigger);
        for (WORD target : depends_[static_cast<size_t>(Slot(trigger))]) {
            CKinsokuItem* it = FindItem(target);
            if (it && it->ApplyTrigger(trigger, value)) AddOnce(&refresh_, target);
        }
    }
}

// Pass 2: every refused value replaced, in target order.
void CKinsokuList::CorrectImage(BYTE* image) {
    for (WORD target = kFirstTarget; target <= kLastTarget; ++target) {
        if (target == kItemPoster) ClampPoster(image);
        if (CKinsokuItem* it = FindItem(target)) CorrectTarget(target, it, image);
    }
}

// Whether no rule refuses anything in the image: the blockers are set for it
// and a correction pass on a copy writes nothing.
bool CKinsokuList::IsConsistent(const BYTE* image) {
    resolved_ = 0;
    ApplyTriggers(image, false);
    std::array<BYTE, kKinsokuImageSize> copy;
    std::memcpy(copy.data(), image, copy.size());
    const std::vector<WORD> corrected = corrected_;
    CorrectImage(copy.data());
    corrected_ = corrected;
    return std::memcmp(copy.data(), image, copy.size()) == 0;
}

DWORD CKinsokuList::Resolve(BYTE* image, BOOL force) {
    corrected_.clear();
    refresh_.clear();
    changed_.clear();
    lastRounds_ = 0;
    if (!image) return kResolveSettled;
    // What the image falls back to when the rules never settle: the image the
    // last resolve settled on (a forced resolve too), else the image as it
    // was handed in.
    std::array<BYTE, kKinsokuImageSize> settledBefore, handedIn;
    const bool hadSettled = resolved_ && settled_;
    if (hadSettled) settledBefore = work_;
    if (force) resolved_ = 0;
    std::memcpy(handedIn.data(), image, handedIn.size());
    for (unsigned round = 1;; ++round) {
        if (resolved_ && std::memcmp(image, work_.data(), work_.size()) == 0) {
            settled_ = true;
            return kResolveSettled;
        }
        if (round > kMaxResolveRounds) break;
        lastRounds_ = round;
        ApplyTriggers(image, round == 1);
        std::memcpy(work_.data(), image, work_.size());
        CorrectImage(image);
        resolved_ = 1;
    }
    // Rules that undo each other: no round left an image that every rule
    // accepts. Go back to the last image that was, with the blockers set for
    // it, or to the image handed in when there is none (the list then stays
    // unresolved, so that the next resolve tries again).
    settled_ = false;
    if (hadSettled && IsConsistent(settledBefore.data())) {
        std::memcpy(image, settledBefore.data(), settledBefore.size());
        resolved_ = 1;
    } else {
        std::memcpy(image, handedIn.data(), handedIn.size());
        resolved_ = 0;
        ApplyTriggers(image, false);
    }
    std::memcpy(work_.data(), image, work_.size());
    return kResolveUnsettled;
}

} // namespace sheetwright
