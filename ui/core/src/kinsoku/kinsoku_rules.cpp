// The rule builders of the option-constraint engine: values and rules from
// the model tables, the installed-option rules, and the user-paper values.
#include "kinsoku_rules.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"
#include "user_paper.h"

namespace sheetwright {

namespace {

using model::MediaTrayRecordAnswer;
using model::PaperLimitsAnswer;
using model::PaperRecordAnswer;

// One model answer copied out, its entries read only within the answer.
class Table {
  public:
    Table(const ModelBlock* binding, int code, int layout, WORD id = 0) {
        if (!binding) return;
        CModelInfo info(binding, static_cast<WORD>(code), id, static_cast<DWORD>(layout));
        auto* data = static_cast<const BYTE*>(info.GetData());
        if (!data) return;
        bytes_.assign(data, data + info.Length());
        count_ = info.GetCount();
    }
    bool Ok() const { return !bytes_.empty(); }
    // Entries of `stride` bytes the answer really holds.
    DWORD Count(size_t stride) const {
        return stride ? std::min<DWORD>(count_, static_cast<DWORD>(bytes_.size() / stride)) : 0;
    }
    // Entry i into a record, zero past the entry's end.
    template <class T> T Entry(DWORD i, size_t stride) const {
        T out{};
        if (i < Count(stride))
            std::memcpy(&out, bytes_.data() + i * stride, std::min(stride, sizeof out));
        return out;
    }
    BYTE U8(size_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }
    WORD U16(size_t at) const {
        WORD v = 0;
        if (at + 2 <= bytes_.size()) std::memcpy(&v, bytes_.data() + at, 2);
        return v;
    }
    DWORD U32(size_t at) const {
        DWORD v = 0;
        if (at + 4 <= bytes_.size()) std::memcpy(&v, bytes_.data() + at, 4);
        return v;
    }

  private:
    std::vector<BYTE> bytes_;
    DWORD count_ = 0;
};

// Entry sizes of the list answers read here.
constexpr size_t kIdNameSize = sizeof(model::IdNameAnswer);
constexpr size_t kPaperRecordSize = sizeof(PaperRecordAnswer);
constexpr size_t kMediaRecordSize = model::kMediaRecordSize;
constexpr size_t kTrayRecordSize = model::kTrayRecordSize;
constexpr size_t kOptionCodesSize = 16;
constexpr size_t kOptionCodesAt = 8;
constexpr size_t kOptionCodesMax = (kOptionCodesSize - kOptionCodesAt) / 2;
constexpr size_t kDuplexKindSize = sizeof(model::InstallableEntryAnswer);
constexpr size_t kQualitySize = sizeof(model::QualityAnswer);
constexpr size_t kQualityMemoryAt = offsetof(model::QualityAnswer, requiredMemory);
constexpr size_t kPairSize = 4;
constexpr size_t kHalftoneSize = 8;
// How many ids a record's list may hold, whatever its count says.
constexpr int kPaperMediaMax = 16, kPaperTrayMax = 20, kRecordPaperMax = 64, kMediaTrayMax = 20,
              kTrayMediaMax = 16;

// Bits of the records' flag words.
constexpr DWORD kSideA = 0x1, kSideB = 0x2;
constexpr DWORD kBookletFree = 0x2, kServesCovers = 0x4, kNupOnlyOff = 0x8, kRotateFree = 0x1;
constexpr WORD kTrayAuto = 7, kTrayManual = 4;
constexpr DWORD kCoverId = 0x10000;

std::vector<WORD> Ids(const std::int16_t* list, int count, int max) {
    count = std::clamp(count, 0, max);
    return std::vector<WORD>(list, list + count);
}

// What one paper, media type or tray says of the items its rules govern.
struct RecordRules {
    WORD id;
    DWORD sides; // kSideA / kSideB: item-21 values, and duplex free when any
    DWORD item9Mask;
    DWORD flags2; // kBookletFree, kNupOnlyOff, kRotateFree
    std::vector<WORD> media, trays, papers;
};

void AllowAll(CValidRule* rule) {
    rule->allowUnlisted = 1;
}

void AddSortBits(CKinsokuItem* item, WORD trigger, DWORD value, DWORD mask) {
    CValidRule* rule = item->GetValueRule(trigger, value);
    for (DWORD bit = 1; bit <= 0x20; bit <<= 1)
        if ((mask & bit) && MapSortBit(bit) != kNoSortValue)
            rule->allowed.push_back(MapSortBit(bit));
}

// Refused-list add: every current value of the item whose code is not listed.
void AddRefusedList(CKinsokuItem* item, WORD trigger, DWORD value, const WORD* codes,
                    size_t count) {
    CValidRule* rule = item->GetValueRule(trigger, value);
    for (auto& atom : item->Values()) {
        bool listed = false;
        for (size_t i = 0; i < count && !listed; ++i)
            listed = MapOptionCode(codes[i]) == atom->value;
        if (!listed) rule->allowed.push_back(atom->value);
    }
}

// The refused lists of item 34 from 16-byte option-code entries; the first
// word is the entry's id, or its count in the limits tables.
void AddQualityRefusals(CKinsokuList* list, WORD trigger, const Table& t, WORD onlyId,
                        bool firstIsCount) {
    CKinsokuItem* item = list->GetDependentItem(kItemResolution, trigger);
    if (!item) return;
    for (DWORD i = 0; i < t.Count(kOptionCodesSize); ++i) {
        const size_t at = i * kOptionCodesSize;
        WORD key = firstIsCount ? onlyId : t.U16(at);
        if (!firstIsCount && onlyId && key != onlyId) continue;
        size_t n = std::min<size_t>(t.U16(at + (firstIsCount ? 0 : 2)), kOptionCodesMax);
        WORD codes[kOptionCodesMax] = {};
        for (size_t k = 0; k < n; ++k)
            codes[k] = t.U16(at + kOptionCodesAt + 2 * k);
        AddRefusedList(item, trigger, key, codes, n);
    }
}

// The rules one record gives under `trigger`=record id.
void AddRecordRules(CKinsokuList* list, WORD trigger, const RecordRules& r,
                    std::initializer_list<WORD> mediaItems, std::initializer_list<WORD> trayItems,
                    std::initializer_list<WORD> paperItems) {
    for (WORD target : mediaItems)
        if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
            it->AddRuleValues(trigger, r.id, r.media.data(), static_cast<DWORD>(r.media.size()));
    for (WORD target : trayItems)
        if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
            it->AddRuleValues(trigger, r.id, r.trays.data(), static_cast<DWORD>(r.trays.size()));
    for (WORD target : paperItems)
        if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
            it->AddRuleValues(trigger, r.id, r.papers.data(), static_cast<DWORD>(r.papers.size()));
    if (CKinsokuItem* it = list->GetDependentItem(kItemNup, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, r.id);
        if (r.flags2 & kNupOnlyOff)
            rule->allowed.push_back(0);
        else
            AllowAll(rule);
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemDuplex, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, r.id);
        if (r.sides & (kSideA | kSideB))
            AllowAll(rule);
        else
            rule->allowed.push_back(1);
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemBooklet, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, r.id);
        if (r.flags2 & kBookletFree)
            AllowAll(rule);
        else
            rule->allowed.push_back(0);
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemSort, trigger)) {
        AddSortBits(it, trigger, r.id, r.item9Mask);
        it->GetItemRule(trigger);
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemDuplexType, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, r.id);
        if (r.sides & kSideA) rule->allowed.push_back(0);
        if (r.sides & kSideB) rule->allowed.push_back(1);
    }
}

RecordRules FromPaper(const PaperRecordAnswer& p) {
    return {static_cast<WORD>(p.id),
            p.flags,
            p.item9Mask,
            p.flags2,
            Ids(p.media, p.mediaCount, kPaperMediaMax),
            Ids(p.trays, p.trayCount, kPaperTrayMax),
            {}};
}
RecordRules FromLimits(WORD id, const PaperLimitsAnswer& p) {
    return {id,
            p.flags,
            p.item9Mask,
            p.flags2,
            Ids(p.media, p.mediaCount, kPaperMediaMax),
            Ids(p.trays, p.trayCount, kPaperTrayMax),
            {}};
}
// A media record's second list holds trays, a tray record's media types.
RecordRules FromMediaTray(const MediaTrayRecordAnswer& m, bool tray) {
    RecordRules r{static_cast<WORD>(m.id),
                  m.flags,
                  m.item9Mask,
                  m.flags2,
                  {},
                  {},
                  Ids(m.papers, m.firstCount, kRecordPaperMax)};
    auto second = Ids(m.second, m.secondCount, tray ? kTrayMediaMax : kMediaTrayMax);
    (tray ? r.media : r.trays) = std::move(second);
    return r;
}

struct TrayEntry {
    MediaTrayRecordAnswer record;
    int position;
    int Class() const { return record.id == kTrayAuto ? 2 : record.id == kTrayManual ? 1 : 0; }
};

// Trays of the model and of its feeder units: automatic selection first,
// manual feed second, the rest in table order.
std::vector<TrayEntry> MergedTrays(const ModelBlock* binding) {
    std::vector<TrayEntry> trays;
    for (auto [code, layout] :
         {std::pair{model::kQueryPaperSources, model::layout::kTrayRecord},
          std::pair{model::kQueryTrayGroups, model::layout::kFeederTrayRecord}}) {
        Table t(binding, code, layout);
        for (DWORD i = 0; i < t.Count(kTrayRecordSize); ++i)
            trays.push_back({t.Entry<MediaTrayRecordAnswer>(i, kTrayRecordSize),
                             static_cast<int>(trays.size())});
    }
    std::stable_sort(trays.begin(), trays.end(), [](const TrayEntry& a, const TrayEntry& b) {
        return a.Class() != b.Class() ? a.Class() > b.Class() : a.position < b.position;
    });
    return trays;
}

void AddPlain(CKinsokuList* list, WORD target, std::initializer_list<DWORD> values, DWORD def) {
    CKinsokuItem* it = list->GetItem(target);
    if (!it) return;
    for (DWORD v : values)
        it->AddValue(v, 0, 0);
    it->SetDefault(def);
}

WORD HalftoneStringId(WORD code) {
    switch (code) {
    case 1:
        return 2173;
    case 2:
        return 2155;
    case 3:
        return 2156;
    case 6:
        return 2174;
    case 8:
        return 2172;
    default:
        return 2157;
    }
}
// The name shown for a halftone kind: its own, except that kind 1 of a model
// whose raster record for it has bit 19 takes the model's resource id 20.
WORD HalftoneDisplayId(const ModelBlock* b, WORD code) {
    constexpr WORD kOwnNameKind = 1;
    constexpr DWORD kResourceNameBit = 0x80000;
    constexpr WORD kHalftoneNameResource = 20;
    Table name(b, model::kQueryHalftones, model::layout::kHalftoneShort, code);
    if (code == kOwnNameKind) {
        Table raster(b, model::kQueryHalftones, model::layout::kHalftoneRaster, code);
        if (raster.U32(4) & kResourceNameBit) {
            Table ids(b, model::kQueryResourceIds, model::layout::kFixedFirst,
                      kHalftoneNameResource);
            if (WORD id = ids.U16(2)) return id;
        }
    }
    return name.U16(2);
}
WORD QualityStringId(DWORD value) {
    return value == 2 ? 2151 : value == 3 ? 2152 : 2150;
}

// Step 1: the values and defaults of every item the list enables.
void BuildValues(const ModelBlock* b, CKinsokuList* list, DWORD allPapers) {
    if (CKinsokuItem* it = list->GetItem(kItemPaper)) {
        Table t(b, model::kQueryPapers, model::layout::kPaperList);
        for (DWORD i = 0; i < t.Count(kIdNameSize); ++i) {
            auto e = t.Entry<model::IdNameAnswer>(i, kIdNameSize);
            if (!allPapers && IsPaperOverMaxSize(b, static_cast<WORD>(e.id))) continue;
            it->AddValue(static_cast<WORD>(e.id), static_cast<WORD>(e.nameId), 0);
        }
        Table d(b, model::kQueryPapers, model::layout::kPaperDefaults);
        if (d.Ok()) it->SetDefault(d.U16(list->RegionFlag() ? 2 : 0));
    }
    {
        Table t(b, model::kQueryMediaTypes, model::layout::kMediaRecord);
        Table d(b, model::kQueryMediaTypes, model::layout::kMediaDefault);
        for (WORD target : {kItemMedia, kItemFrontMedia, kItemBackMedia}) {
            CKinsokuItem* it = list->GetItem(target);
            if (!it) continue;
            for (DWORD i = 0; i < t.Count(kMediaRecordSize); ++i) {
                auto m = t.Entry<MediaTrayRecordAnswer>(i, kMediaRecordSize);
                if (target != kItemMedia && !(m.flags2 & kServesCovers)) continue;
                it->AddValue(static_cast<WORD>(m.id), static_cast<WORD>(m.nameId), 0);
            }
            if (d.Ok()) it->SetDefault(d.U16(0));
        }
    }
    if (list->GetItem(kItemSource) || list->GetItem(kItemFrontSource) ||
        list->GetItem(kItemBackSource)) {
        std::vector<TrayEntry> trays = MergedTrays(b);
        Table d(b, model::kQueryPaperSources, model::layout::kTrayDefault);
        for (WORD target : {kItemSource, kItemFrontSource, kItemBackSource}) {
            CKinsokuItem* it = list->GetItem(target);
            if (!it) continue;
            for (const TrayEntry& t : trays) {
                if (target != kItemSource && !(t.record.flags2 & kServesCovers)) continue;
                it->AddValue(static_cast<WORD>(t.record.id), static_cast<WORD>(t.record.nameId), 0);
            }
            if (d.Ok()) it->SetDefault(d.U16(0));
        }
    }
    if (CKinsokuItem* it = list->GetItem(kItemDuplex)) {
        Table t(b, model::kQueryInstallable, model::layout::kInstallableList);
        for (DWORD i = 0; i < t.Count(kDuplexKindSize); ++i) {
            auto e = t.Entry<model::InstallableEntryAnswer>(i, kDuplexKindSize);
            it->AddValue(static_cast<WORD>(e.id), static_cast<WORD>(e.slot1), 0);
        }
        it->SetDefault(1);
    }
    AddPlain(list, kItemBooklet, {2, 0}, 0);
    AddPlain(list, kItemNup, {1, 0}, 0);
    AddPlain(list, kItemPoster, {4, 0}, 0);
    AddPlain(list, kItemFit, {8, 0}, 0);
    AddPlain(list, kItemZoom, {16, 0}, 0);
    {
        Table t(b, model::kQueryReverseOrder, model::layout::kFixedSecond);
        AddPlain(list, kItemReverse, {1, 0}, t.U32(offsetof(model::FixedPairAnswer, value)));
    }
    if (CKinsokuItem* it = list->GetItem(kItemSort)) {
        Table t(b, model::kQuerySortKinds, model::layout::kFixedSecond);
        const DWORD mask = t.U32(offsetof(model::FixedPairAnswer, bits));
        for (DWORD bit = 1; bit <= 0x20; bit <<= 1)
            if (mask & bit) it->AddValue(MapSortBit(bit), 0, 0);
        it->SetDefault(t.U32(offsetof(model::FixedPairAnswer, value)));
    }
    for (WORD target : {kItemRotate, kItemMirror, kItemTonerSave, kItemWatermarkOn, kItemOverlayOn,
                        kItemTextAsBlack, kItemFrontCoverOn, kItemDuplexNotice, kItemDuplexMargin})
        AddPlain(list, target, {0, 1}, 0);
    if (CKinsokuItem* it = list->GetItem(kItemDuplexType)) {
        it->AddValue(0, 4105, 0);
        it->AddValue(1, 4106, 0);
        it->SetDefault(0);
    }
    AddPlain(list, kItemCollate, {1, 0}, 1);
    AddPlain(list, kItemBackCoverOn, {0, 2}, 0);
    for (WORD target : {WORD{17}, WORD{19}})
        if (CKinsokuItem* it = list->GetItem(target)) {
            it->AddValue(0, 6051, 0);
            it->AddValue(1, 6050, 0);
            it->SetDefault(0);
        }
    if (CKinsokuItem* it = list->GetItem(kItemCollateByDriver)) {
        it->AddValue(0, 6001, 0);
        if (allPapers) it->AddValue(1, 6002, 0);
        it->SetDefault(0);
    }
    {
        Table t(b, model::kQuerySkipBlank, model::layout::kFixedFirst);
        AddPlain(list, kItemSkipBlank, {0, 1}, (t.U8(4) & 1) ? 0 : 1);
    }
    if (CKinsokuItem* it = list->GetItem(kItemHalftone)) {
        Table t(b, model::kQueryHalftones, model::layout::kHalftoneRecord);
        for (DWORD i = 0; i < t.Count(kHalftoneSize); ++i) {
            WORD code = t.U16(i * kHalftoneSize);
            it->AddValue(code, HalftoneDisplayId(b, code), HalftoneStringId(code));
            if (i == 0) it->SetDefault(code);
        }
        Table d(b, model::kQueryHalftones, model::layout::kHalftoneRecordWords);
        if (d.Ok()) it->SetDefault(d.U16(0));
    }
    if (CKinsokuItem* it = list->GetItem(kItemGraphicsMode)) {
        Table t(b, model::kQueryGraphicsMode, model::layout::kFixedFirst);
        if (t.U8(0) & 1) it->AddValue(0, 3285, 2166);
        if (t.U8(0) & 2) it->AddValue(1, 3286, 2167);
        it->SetDefault(0);
    }
    if (CKinsokuItem* it = list->GetItem(kItemResolution)) {
        Table t(b, model::kQueryQualityModes, model::layout::kQualityRecord);
        for (DWORD i = 0; i < t.Count(kQualitySize); ++i) {
            auto q = t.Entry<model::QualityAnswer>(i, kQualitySize);
            DWORD v = MapOptionCode(static_cast<WORD>(q.id));
            it->AddValue(v, static_cast<WORD>(q.slot1), QualityStringId(v));
        }
        Table d(b, model::kQueryQualityModes, model::layout::kQualityDefault);
        it->SetDefault(d.Ok() ? d.U16(0) : 2);
    }
    for (WORD target : {WORD{36}, WORD{42}})
        if (CKinsokuItem* it = list->GetItem(target)) it->AddValue(1, 0, 0);
    if (CKinsokuItem* it = list->GetItem(kItemBookletSheets)) {
        const WORD strings[] = {4555, 4556, 4557, 4558, 4559};
        const DWORD values[] = {0, 1, 2, 4, 8};
        for (size_t i = 0; i < std::size(values); ++i)
            it->AddValue(values[i], strings[i], 0);
    }
}

// Step 2: the rules a paper, a media type or a tray gives.
void BuildPaperRules(const ModelBlock* b, CKinsokuList* list) {
    Table t(b, model::kQueryPapers, model::layout::kPaperRecord);
    Table refused(b, model::kQueryPapers, model::layout::kPaperOptionCodes);
    for (DWORD i = 0; i < t.Count(kPaperRecordSize); ++i) {
        auto p = t.Entry<PaperRecordAnswer>(i, kPaperRecordSize);
        AddRecordRules(list, kTriggerPaper, FromPaper(p),
                       {kItemMedia, kItemFrontMedia, kItemBackMedia},
                       {kItemSource, kItemFrontSource, kItemBackSource}, {});
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemResolution, kTriggerPaper)) {
        AllowAll(it->GetItemRule(kTriggerPaper));
        AddQualityRefusals(list, kTriggerPaper, refused, 0, false);
    }
    for (auto [code, id] : {std::pair{model::kQueryCustomPaperLimits, kCustomPaperId},
                            std::pair{model::kQueryLongPaperLimits, kLongPaperId}}) {
        Table limits(b, code, model::layout::kLimitsRecord);
        if (!limits.Ok()) continue;
        AddRecordRules(
            list, kTriggerPaper,
            FromLimits(id, limits.Entry<PaperLimitsAnswer>(0, sizeof(PaperLimitsAnswer))),
            {kItemMedia, kItemFrontMedia, kItemBackMedia},
            {kItemSource, kItemFrontSource, kItemBackSource}, {});
        AddQualityRefusals(list, kTriggerPaper, Table(b, code, model::layout::kLimitsOptionCodes),
                           id, true);
    }
}

void BuildMediaRules(const ModelBlock* b, CKinsokuList* list) {
    Table t(b, model::kQueryMediaTypes, model::layout::kMediaRecord);
    for (DWORD i = 0; i < t.Count(kMediaRecordSize); ++i) {
        RecordRules r = FromMediaTray(t.Entry<MediaTrayRecordAnswer>(i, kMediaRecordSize), false);
        AddRecordRules(list, kTriggerMedia, r, {}, {kItemSource}, {kItemPaper});
        for (auto [target, trigger] : {std::pair{kItemFrontSource, kTriggerFrontCover},
                                       std::pair{kItemBackSource, kTriggerBackCover}})
            if (CKinsokuItem* it = list->GetDependentItem(target, trigger)) {
                it->AddRuleValues(trigger, r.id + kCoverId, r.trays.data(),
                                  static_cast<DWORD>(r.trays.size()));
                AllowAll(it->GetItemRule(trigger));
            }
    }
    if (CKinsokuItem* it = list->GetDependentItem(kItemResolution, kTriggerMedia)) {
        AllowAll(it->GetItemRule(kTriggerMedia));
        AddQualityRefusals(list, kTriggerMedia,
                           Table(b, model::kQueryMediaTypes, model::layout::kMediaOptionCodes), 0,
                           false);
    }
}

void BuildTrayRules(const ModelBlock* b, CKinsokuList* list) {
    for (auto [code, layout, codesLayout] :
         {std::tuple{model::kQueryPaperSources, model::layout::kTrayRecord,
                     model::layout::kTrayOptionCodes},
          std::tuple{model::kQueryTrayGroups, model::layout::kFeederTrayRecord,
                     model::layout::kFeederTrayOptionCodes}}) {
        Table t(b, code, layout);
        for (DWORD i = 0; i < t.Count(kTrayRecordSize); ++i) {
            RecordRules r = FromMediaTray(t.Entry<MediaTrayRecordAnswer>(i, kTrayRecordSize), true);
            AddRecordRules(list, kTriggerSource, r, {kItemMedia}, {}, {kItemPaper});
            for (auto [target, trigger] : {std::pair{kItemFrontMedia, WORD{kTriggerFrontSource}},
                                           std::pair{kItemBackMedia, WORD{kTriggerBackSource}}})
                if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
                    it->AddRuleValues(trigger, r.id, r.media.data(),
                                      static_cast<DWORD>(r.media.size()));
            if (CKinsokuItem* it = list->GetDependentItem(kItemRotate, kTriggerSource)) {
                CValidRule* rule = it->GetValueRule(kTriggerSource, r.id);
                if (r.flags2 & kRotateFree)
                    AllowAll(rule);
                else
                    rule->allowed.push_back(0);
            }
        }
        if (CKinsokuItem* it = list->GetDependentItem(kItemResolution, kTriggerSource)) {
            AllowAll(it->GetItemRule(kTriggerSource));
            AddQualityRefusals(list, kTriggerSource, Table(b, code, codesLayout), 0, false);
        }
    }
}

// Step 3 helpers: a value rule allowing the listed values, and the item rule
// that lets every other trigger value through.
void Allow(CKinsokuList* list, WORD target, WORD trigger, DWORD value,
           std::initializer_list<DWORD> allowed) {
    if (CKinsokuItem* it = list->GetDependentItem(target, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, value);
        rule->allowed.insert(rule->allowed.end(), allowed.begin(), allowed.end());
    }
}
void Free(CKinsokuList* list, WORD target, WORD trigger) {
    if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
        AllowAll(it->GetItemRule(trigger));
}
void FreeValue(CKinsokuList* list, WORD target, WORD trigger, DWORD value) {
    if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
        AllowAll(it->GetValueRule(trigger, value));
}

// The duplex value a booklet binds along: short edge (3) when the booklet
// table's byte 8 bit 0 says so, long edge (2) otherwise.
DWORD BookletBinding(const Table& booklet) {
    return (booklet.U8(8) & 1) ? 3 : 2;
}

void BuildBookletPosterNupRules(const ModelBlock* b, CKinsokuList* list) {
    Table booklet(b, model::kQueryBooklet, model::layout::kFixedFirst);
    if (booklet.Ok()) {
        Allow(list, kItemDuplex, kTriggerBooklet, 2, {BookletBinding(booklet)});
        Free(list, kItemDuplex, kTriggerBooklet);
        if (booklet.U8(0) & 8) Allow(list, kItemReverse, kTriggerBooklet, 2, {0});
        Free(list, kItemReverse, kTriggerBooklet);
        if (CKinsokuItem* it = list->GetDependentItem(kItemSort, kTriggerBooklet))
            AddSortBits(it, kTriggerBooklet, 2, booklet.U32(4));
        Free(list, kItemSort, kTriggerBooklet);
    }
    for (WORD target : {WORD{20}, WORD{43}, WORD{16}, WORD{31}, WORD{40}}) {
        Free(list, target, kTriggerBooklet);
        Allow(list, target, kTriggerBooklet, 2, {0});
    }
    Free(list, kItemCollate, kTriggerBooklet);
    Allow(list, kItemCollate, kTriggerBooklet, 2, {1});

    Allow(list, kItemDuplex, kTriggerPoster, 4, {1});
    Free(list, kItemDuplex, kTriggerPoster);
    Table overlap(b, model::kQueryPosterOverlap, model::layout::kFixedFirst);
    if (overlap.Ok() && (overlap.U8(0) & 4)) {
        Allow(list, kItemReverse, kTriggerPoster, 4, {0});
        Free(list, kItemReverse, kTriggerPoster);
    }
    for (WORD target : {WORD{18}, WORD{20}, WORD{43}, WORD{16}, WORD{37}, WORD{38}, WORD{31}}) {
        Free(list, target, kTriggerPoster);
        Allow(list, target, kTriggerPoster, 4, {0});
    }
    Free(list, kItemCollate, kTriggerPoster);
    Allow(list, kItemCollate, kTriggerPoster, 4, {1});

    Table page(b, model::kQueryPageLayout, model::layout::kFixedFirst);
    if (page.Ok() && (page.U8(0) & 4)) {
        Allow(list, kItemReverse, kTriggerNup, 1, {0});
        Free(list, kItemReverse, kTriggerNup);
    }
    for (WORD target : {WORD{16}, WORD{31}}) {
        Free(list, target, kTriggerNup);
        Allow(list, target, kTriggerNup, 1, {0});
    }
}

void BuildDuplexRules(const ModelBlock* b, CKinsokuList* list) {
    Allow(list, kItemDuplexMargin, kTriggerDuplex, 1, {0});
    Free(list, kItemDuplexMargin, kTriggerDuplex);
    Allow(list, kItemBackCoverPrinted, kTriggerDuplex, 1, {0, 1});
    Allow(list, kItemBackCoverPrinted, kTriggerDuplex, 3, {0});
    Allow(list, kItemBackCoverPrinted, kTriggerDuplex, 2, {0});
    Free(list, kItemCollate, kTriggerDuplex);
    Allow(list, kItemCollate, kTriggerDuplex, 2, {1});
    Allow(list, kItemCollate, kTriggerDuplex, 3, {1});
    if (CKinsokuItem* it = list->GetDependentItem(kItemSkipBlank, kTriggerDuplex))
        it->GetItemRule(kTriggerDuplex)->allowed.push_back(0);
    Allow(list, kItemSkipBlank, kTriggerDuplex, 1, {0, 1});
    Allow(list, kItemDuplexNotice, kTriggerDuplex, 1, {0});
    Allow(list, kItemDuplexNotice, kTriggerDuplex, 2, {0, 1});
    Allow(list, kItemDuplexNotice, kTriggerDuplex, 3, {0, 1});
    // Media types and trays that cannot be printed on both sides.
    Table media(b, model::kQueryMediaTypes, model::layout::kMediaRecord);
    std::vector<TrayEntry> trays = MergedTrays(b);
    auto add = [&](WORD target, WORD trigger, DWORD value, auto pred) {
        CKinsokuItem* it = list->GetDependentItem(target, trigger);
        if (!it) return;
        CValidRule* rule = it->GetValueRule(trigger, value);
        if (target == kItemFrontMedia || target == kItemBackMedia) {
            for (DWORD i = 0; i < media.Count(kMediaRecordSize); ++i) {
                auto m = media.Entry<MediaTrayRecordAnswer>(i, kMediaRecordSize);
                if (pred(m.flags)) rule->allowed.push_back(static_cast<WORD>(m.id));
            }
        } else {
            for (const TrayEntry& t : trays)
                if (pred(t.record.flags)) rule->allowed.push_back(static_cast<WORD>(t.record.id));
        }
    };
    const WORD covers[] = {kItemFrontMedia, kItemBackMedia, kItemFrontSource, kItemBackSource};
    auto any = [](DWORD) { return true; };
    auto sides = [](DWORD f) { return (f & (kSideA | kSideB)) != 0; };
    auto sideA = [](DWORD f) { return (f & kSideA) != 0; };
    auto sideB = [](DWORD f) { return (f & kSideB) != 0; };
    for (WORD target : covers) {
        add(target, kTriggerDuplex, 1, any);
        add(target, kTriggerDuplex, 2, sides);
        add(target, kTriggerDuplex, 3, sides);
        add(target, 235, 0x10000, any);
        add(target, 235, 0x10001, any);
        add(target, 235, 0x20000, sideA);
        add(target, 235, 0x30000, sideA);
        add(target, 235, 0x20001, sideB);
        add(target, 235, 0x30001, sideB);
    }
    Table reverse(b, model::kQueryInstallable, model::layout::kInstallableShort);
    if (CKinsokuItem* it = list->GetDependentItem(kItemReverse, kTriggerDuplex)) {
        constexpr size_t kShortSize = 6;
        for (DWORD i = 0; i < reverse.Count(kShortSize); ++i) {
            CValidRule* rule = it->GetValueRule(kTriggerDuplex, reverse.U16(i * kShortSize));
            const BYTE flags = reverse.U8(i * kShortSize + 4);
            if (flags & 1) rule->allowed.push_back(0);
            if (flags & 2) rule->allowed.push_back(1);
        }
    }
}

void BuildOtherRules(const ModelBlock* b, CKinsokuList* list) {
    Table copy(b, model::kQueryCopyControl, model::layout::kFixedFirst);
    if (copy.U32(0) & 8) {
        Free(list, kItemCollateByDriver, kTriggerCollate);
        Allow(list, kItemCollateByDriver, kTriggerCollate, 0, {0});
    }
    Table covers(b, model::kQueryCoverPages, model::layout::kFixedSecond);
    if (covers.U32(offsetof(model::CoverPagesAnswer, frontMask)) & 0x200) {
        Free(list, kItemCollateByDriver, kTriggerFrontCoverOn);
        Allow(list, kItemCollateByDriver, kTriggerFrontCoverOn, 1, {0});
    }
    if (covers.U32(offsetof(model::CoverPagesAnswer, backMask)) & 0x200) {
        Free(list, kItemCollateByDriver, kTriggerBackCoverOn);
        Allow(list, kItemCollateByDriver, kTriggerBackCoverOn, 2, {0});
    }
    Table graphics(b, model::kQueryGraphicsMode, model::layout::kFixedFirst);
    if (graphics.Ok()) {
        if (!(graphics.U8(8) & 2)) Allow(list, kItemFontValues, kTriggerGraphicsMode, 1, {1});
        if (!(graphics.U8(4) & 2)) Allow(list, kItemFontValues, kTriggerGraphicsMode, 0, {1});
        Allow(list, kItemTonerSave, kTriggerGraphicsMode, 1, {0});
        if (!(graphics.U8(8) & 4)) Allow(list, kItemTonerSave, kTriggerGraphicsMode, 1, {1});
        Allow(list, kItemTonerSave, kTriggerGraphicsMode, 0, {0});
        if (!(graphics.U8(4) & 4)) Allow(list, kItemTonerSave, kTriggerGraphicsMode, 0, {1});
    }
    for (WORD target : {WORD{18}, WORD{20}}) {
        Free(list, target, kTriggerReverse);
        Allow(list, target, kTriggerReverse, 1, {0});
    }
    Free(list, kItemDuplex, kTriggerCoversDuplexType);
    for (DWORD v : {0x10001u, 0x20001u, 0x30001u})
        Allow(list, kItemDuplex, kTriggerCoversDuplexType, v, {1});
}

// ---------------------------------------------------------------- finisher

// Which finisher capability makes an item depend on a trigger, and on what
// the fitted finisher and its record must say besides.
enum FinisherCondition : BYTE {
    kFitFlag = 1,       // the installed entry's flag bit 0
    kFitFold = 2,       // the installed entry's fold state (and kFitFlag with it)
    kRecordBit5 = 4,    // record byte 4, bit 5 set
    kRecordBit4 = 8,    // record byte 4, bit 4 set
    kRecordNoBit5 = 16, // record byte 4, bit 5 clear
    kRecordNoBit4 = 32, // record byte 4, bit 4 clear
};
struct FinisherRow {
    DWORD capability;
    WORD trigger;
    WORD target;
    BYTE conditions;
};
constexpr FinisherRow kFinisherRows[] = {
    {0x1, 219, 6, 3},        {0x2, 219, 9, 1},        {0x4, 219, 4, 33},
    {0x10, 220, 4, 18},      {0x4, 237, 4, 9},        {0x10, 236, 4, 6},
    {0x8, 220, 9, 2},        {0x20, 212, 4, 0},       {0x100, 220, 5, 3},
    {0x200, 212, 5, 1},      {0x400, 221, 5, 1},      {0x800, 212, 6, 2},
    {0x1000, 221, 6, 2},     {0x2000, 221, 9, 0},     {0x4000, 220, 8, 2},
    {0x10000, 206, 5, 1},    {0x20000, 206, 6, 2},    {0x40000, 207, 9, 0},
    {0x80000, 207, 4, 0},    {0x100000, 242, 5, 1},   {0x200000, 242, 6, 2},
    {0x400000, 242, 9, 0},   {0x800000, 242, 4, 0},   {0x1000000, 213, 5, 1},
    {0x2000000, 213, 6, 2},  {0x8000000, 222, 39, 2}, {0x10000000, 215, 5, 1},
    {0x20000000, 215, 6, 2}, {0x40000000, 204, 6, 2}, {0x80000000, 220, 22, 2},
};
static_assert(std::size(kFinisherRows) == 30);

struct FinisherValue {
    DWORD value;
    WORD stringId;
    WORD imageId;
};
constexpr FinisherValue kStapleValues[] = {
    {0, 4850, 2340},     {1, 4851, 2341},     {2, 4854, 2341},
    {0x101, 4852, 2342}, {0x201, 4853, 2343}, {0x202, 4855, 2343},
    {0x301, 4856, 2344}, {0x302, 4857, 2345}, {0x303, 4858, 2343},
};
constexpr FinisherValue kPunchValues[] = {
    {0, 4601, 2320}, {1, 4753, 2326}, {2, 4751, 2323}, {3, 4752, 2329}};
template <size_t N>
const FinisherValue* FindFinisherValue(const FinisherValue (&rows)[N], DWORD value) {
    for (const FinisherValue& r : rows)
        if (r.value == value) return &r;
    return nullptr;
}

// Answer offsets of the finisher layouts read here.
constexpr size_t kStapleItemSize = 192, kStapleCodeAt = 4, kStapleNameAt = 6;
constexpr size_t kFoldItemSize = 24, kPunchItemSize = 32, kItemCodeAt = 2, kItemNameAt = 4;
constexpr size_t kFinisherStapleDefaultAt = 56;
constexpr size_t kFinisherFlagsAt = offsetof(model::FinisherTextAnswer, recordFlags);
constexpr size_t kFinisherCapsAt = offsetof(model::FinisherTextAnswer, capabilities);
constexpr BYTE kFinisherRecordBit4 = 0x10, kFinisherRecordBit5 = 0x20;

bool RowHolds(const FinisherRow& row, DWORD caps, BYTE record, const InstallOptionEntry& fitted) {
    if (!(caps & row.capability)) return false;
    const BYTE c = row.conditions;
    if ((c & kFitFlag) && !(fitted.flags & kOptionUserSettable)) return false;
    if ((c & kFitFold) && !(fitted.state & kFinisherFoldUnit)) return false;
    if ((c & kRecordBit4) && !(record & kFinisherRecordBit4)) return false;
    if ((c & kRecordNoBit4) && (record & kFinisherRecordBit4)) return false;
    if ((c & kRecordBit5) && !(record & kFinisherRecordBit5)) return false;
    if ((c & kRecordNoBit5) && (record & kFinisherRecordBit5)) return false;
    return true;
}

// A staple or fold code the output bins of the printer can take: no bin of
// that code is listed, or it is fitted.
bool FinishingCodeFitted(const CInstallOption* options, WORD code) {
    const InstallOptionEntry* bin = options->Find(model::kQueryOutputBins, code);
    return !bin || bin->state != 0;
}

// ------------------------------------------------------- finisher mask families
//
// A finisher table says, per staple, punch or fold code, which settings of
// the other finishing items go with it, as bit masks. Each family reads one
// mask and adds value rules to the dependent item: either the code is allowed
// under every controlling value the mask names (A, C, D, F, H), or the mask
// names the values allowed under a given controlling value (B, E, G). A rule
// lands only where the capability rows made the item depend on the trigger.
//
// The three masks of a staple member (and the custom and long papers' masks
// of a staple item) are, in order, the sort mask (bits 0..5, the item-9 bit
// map), the punch mask (a nibble per orientation) and the fold mask (a byte
// per orientation). Punch and fold items hold the booklet bits (13, 14) in
// their third slot, the sort mask in their fourth and the fold mask in their
// fifth.
struct FinisherMasks {
    DWORD sort = 0;
    DWORD punch = 0;
    DWORD fold = 0;
};

constexpr DWORD kMaskBit(int n) {
    return 1u << n;
}

void AllowCode(CKinsokuList* list, WORD target, WORD trigger, DWORD key, DWORD code) {
    if (CKinsokuItem* it = list->GetDependentItem(target, trigger))
        it->GetValueRule(trigger, key)->allowed.push_back(code);
}
void AllowValues(CKinsokuList* list, WORD target, WORD trigger, DWORD key,
                 const std::vector<DWORD>& values) {
    if (values.empty()) return;
    if (CKinsokuItem* it = list->GetDependentItem(target, trigger)) {
        CValidRule* rule = it->GetValueRule(trigger, key);
        rule->allowed.insert(rule->allowed.end(), values.begin(), values.end());
    }
}

// The sort values a mask names (bits 0..5 give 0, 1, 4, 5, 2, 3).
std::vector<DWORD> SortValues(DWORD mask) {
    std::vector<DWORD> out;
    for (DWORD bit = 1; bit <= 0x20; bit <<= 1)
        if (mask & bit) out.push_back(MapSortBit(bit));
    return out;
}
// The punch values one nibble names: its top bit clear allows 0, its three
// low bits 2, 3 and 1. `shift` 0 is the portrait nibble, 4 the landscape one.
std::vector<DWORD> PunchValues(DWORD mask, int shift) {
    std::vector<DWORD> out;
    if (!(mask & kMaskBit(shift + 3))) out.push_back(0);
    constexpr DWORD kByBit[] = {2, 3, 1};
    for (int i = 0; i < 3; ++i)
        if (mask & kMaskBit(shift + i)) out.push_back(kByBit[i]);
    return out;
}
// The fold values one byte names: portrait (bit 7 clear allows 0, bits 0..5
// allow 1..6) or landscape (bit 15 clear allows 0, bits 8..12 allow 1..5,
// bit 13 allows 6).
std::vector<DWORD> FoldValues(DWORD mask, bool landscape) {
    std::vector<DWORD> out;
    if (!(mask & kMaskBit(landscape ? 15 : 7))) out.push_back(0);
    for (DWORD v = 1; v <= 6; ++v) {
        const int bit =
            landscape ? (v <= 5 ? 7 + static_cast<int>(v) : 13) : static_cast<int>(v) - 1;
        if (mask & kMaskBit(bit)) out.push_back(v);
    }
    return out;
}

// A: the code under the sort values of the mask.
void FamilyA(CKinsokuList* list, WORD target, DWORD code, DWORD mask) {
    for (DWORD sort : SortValues(mask))
        AllowCode(list, target, kTriggerSort, sort, code);
}
// B: under `key` of the trigger, the sort values of the mask.
void FamilyB(CKinsokuList* list, WORD trigger, DWORD key, DWORD mask) {
    AllowValues(list, kItemSort, trigger, key, SortValues(mask));
}
// C: the code under the punch values of both nibbles.
void FamilyC(CKinsokuList* list, WORD target, DWORD code, DWORD mask) {
    for (int shift : {0, 4})
        for (DWORD punch : PunchValues(mask, shift))
            AllowCode(list, target, kTriggerPunchMode, punch, code);
}
// D: the code under the fold values of both bytes.
void FamilyD(CKinsokuList* list, WORD target, DWORD code, DWORD mask) {
    for (bool landscape : {false, true})
        for (DWORD fold : FoldValues(mask, landscape))
            AllowCode(list, target, kTriggerStapleMode, fold, code);
}
// E: the punch values of the portrait nibble under the first key, of the
// landscape nibble under the second.
void FamilyE(CKinsokuList* list, WORD trigger, DWORD first, DWORD second, DWORD mask) {
    AllowValues(list, kItemPunchMode, trigger, first, PunchValues(mask, 0));
    AllowValues(list, kItemPunchMode, trigger, second, PunchValues(mask, 4));
}
// F: the code under paper + orientation + punch value of each nibble.
void FamilyF(CKinsokuList* list, WORD target, WORD trigger, DWORD paper, DWORD code, DWORD mask) {
    for (int shift : {0, 4}) {
        const DWORD orientation = shift == 0 ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
        for (DWORD k : PunchValues(mask, shift))
            AllowCode(list, target, trigger, paper + (orientation << 24) + (k << 16), code);
    }
}
// G: the fold values of the portrait byte under the first key, of the
// landscape byte under the second.
void FamilyG(CKinsokuList* list, WORD trigger, DWORD first, DWORD second, DWORD mask) {
    AllowValues(list, kItemStapleMode, trigger, first, FoldValues(mask, false));
    AllowValues(list, kItemStapleMode, trigger, second, FoldValues(mask, true));
}
// Trigger values of the layout words: booklet (213) and poster (215) on.
constexpr DWORD kBookletOn = 2, kPosterOn = 4;

// H: the code under booklet off (bit 13) and booklet on (bit 14).
void FamilyH(CKinsokuList* list, WORD target, DWORD code, DWORD mask) {
    if (mask & kMaskBit(13)) AllowCode(list, target, kTriggerBooklet, 0, code);
    if (mask & kMaskBit(14)) AllowCode(list, target, kTriggerBooklet, kBookletOn, code);
}

// Capability bits of the finisher record that the staple rules read.
enum : DWORD {
    kCapPunchWithStaple = kMaskBit(2),
    kCapFoldWithStaple = kMaskBit(4),
    kCapSortWithStaple = kMaskBit(5),
    kCapPunchByStaple = kMaskBit(10),
    kCapFoldByStaple = kMaskBit(12),
    kCapSortByStaple = kMaskBit(13),
    kCapPunchByPaper = kMaskBit(16),
    kCapFoldByPaper = kMaskBit(17),
    kCapSortByPaper = kMaskBit(18),
    kCapStapleByPaper = kMaskBit(19),
};

// The rules of one staple code on one paper.
void AddStapleRule(CKinsokuList* list, DWORD caps, BYTE record, DWORD code, DWORD paper,
                   const FinisherMasks& m) {
    const DWORD portrait = paper + (DWORD{DMORIENT_PORTRAIT} << 16);
    const DWORD landscape = paper + (DWORD{DMORIENT_LANDSCAPE} << 16);
    if (caps & kCapStapleByPaper)
        AllowCode(list, kItemOutputBin, kTriggerPaperOutputBin, paper, code);
    if (caps & kCapSortWithStaple) FamilyA(list, kItemOutputBin, code, m.sort);
    if (caps & kCapPunchWithStaple) {
        if (record & kFinisherRecordBit4)
            FamilyF(list, kItemOutputBin, kTriggerPaperPunchMode, paper, code, m.punch);
        else
            FamilyC(list, kItemOutputBin, code, m.punch);
    }
    if (caps & kCapFoldWithStaple) {
        if (record & kFinisherRecordBit5)
            FamilyF(list, kItemOutputBin, kTriggerPaperStapleMode, paper, code, m.fold);
        else
            FamilyD(list, kItemOutputBin, code, m.fold);
    }
    if (caps & kCapSortByPaper) FamilyB(list, kTriggerPaperOutputBin, paper, m.sort);
    if (caps & kCapSortByStaple) FamilyB(list, kTriggerOutputBin, code, m.sort);
    if (caps & kCapPunchByPaper) FamilyE(list, kTriggerPaperOrient, portrait, landscape, m.punch);
    if (caps & kCapPunchByStaple) FamilyE(list, kTriggerOutputBin, code, code, m.punch);
    if (caps & kCapFoldByPaper) FamilyG(list, kTriggerPaperOrient, portrait, landscape, m.fold);
    if (caps & kCapFoldByStaple) FamilyG(list, kTriggerOutputBin, code, code, m.fold);
}

// Staple rules: each paper member of each fitted staple code, and the custom
// and long paper where the staple item names them.
void BuildStapleRules(const ModelBlock* b, const CInstallOption* options, CKinsokuList* list,
                      WORD finisher, DWORD caps, BYTE record) {
    constexpr size_t kMemberSize = 24, kMemberCodeAt = 4, kMemberPaperAt = 6, kMemberMasksAt = 8;
    Table members(b, model::kQueryFinishers, model::layout::kFinisherStapleMembersA, finisher);
    for (DWORD i = 0; i < members.Count(kMemberSize); ++i) {
        const size_t at = i * kMemberSize;
        const WORD code = members.U16(at + kMemberCodeAt);
        if (!FinishingCodeFitted(options, code)) continue;
        FinisherMasks m{members.U32(at + kMemberMasksAt), members.U32(at + kMemberMasksAt + 4),
                        members.U32(at + kMemberMasksAt + 8)};
        AddStapleRule(list, caps, record, MapModelCodeNine(code), members.U16(at + kMemberPaperAt),
                      m);
    }
    constexpr size_t kFlagsSize = 32, kFlagsCodeAt = 2, kCustomAt = 4, kLongAt = 6,
                     kCustomMasksAt = 8, kLongMasksAt = 20;
    Table flags(b, model::kQueryFinishers, model::layout::kFinisherStapleFlags, finisher);
    for (DWORD i = 0; i < flags.Count(kFlagsSize); ++i) {
        const size_t at = i * kFlagsSize;
        const WORD code = flags.U16(at + kFlagsCodeAt);
        if (!FinishingCodeFitted(options, code)) continue;
        for (auto [flagAt, masksAt, paper] : {std::tuple{kCustomAt, kCustomMasksAt, kCustomPaperId},
                                              std::tuple{kLongAt, kLongMasksAt, kLongPaperId}}) {
            if (!flags.U16(at + flagAt)) continue;
            FinisherMasks m{flags.U32(at + masksAt), flags.U32(at + masksAt + 4),
                            flags.U32(at + masksAt + 8)};
            AddStapleRule(list, caps, record, MapModelCodeNine(code), paper, m);
        }
    }
}

// Punch rules of the fitted finisher's punch items.
void BuildPunchRules(const ModelBlock* b, CKinsokuList* list, WORD finisher) {
    constexpr size_t kBookletAt = 8, kSortAt = 12, kFoldAt = 16;
    Table punches(b, model::kQueryFinishers, model::layout::kFinisherPunchesLong, finisher);
    for (DWORD i = 0; i < punches.Count(kPunchItemSize); ++i) {
        const size_t at = i * kPunchItemSize;
        const DWORD code = MapModelCodeThree(punches.U16(at + kItemCodeAt));
        FamilyH(list, kItemPunchMode, code, punches.U32(at + kBookletAt));
        FamilyA(list, kItemPunchMode, code, punches.U32(at + kSortAt));
        FamilyD(list, kItemPunchMode, code, punches.U32(at + kFoldAt));
        FamilyB(list, kTriggerPunchMode, code, punches.U32(at + kSortAt));
        FamilyG(list, kTriggerPunchMode, code, code, punches.U32(at + kFoldAt));
    }
    // No punching on a poster.
    Free(list, kItemPunchMode, kTriggerPoster);
    Allow(list, kItemPunchMode, kTriggerPoster, kPosterOn, {0});
}

// Booklet sheets per signature (item 39): 0 puts every sheet into one
// booklet, the others make signatures of that many sheets.
constexpr DWORD kSignatureSizes[] = {1, 2, 4, 8};
constexpr DWORD kNoFold = 0;
constexpr DWORD kNoFoldStringId = 4801;
// The value of no punch, no staple mode, no finishing position.
constexpr DWORD kNoFinishing = 0;
constexpr size_t kFinisherFoldSheetsAt = offsetof(model::FinisherTextAnswer, foldSheets);

// Fold rules of the fitted finisher's fold items.
//
// Besides the mask families, the tables give the folder's own limits only
// indirectly, so the rules below keep to what a user of the finisher expects:
// - Booklet sheets (39) on fold and booklet (222): a booklet folded by the
//   finisher goes through the folder one signature at a time, and the
//   finisher record's second value says how many sheets the folder takes at
//   once (15 for a saddle folder, none for a finisher that does not fold).
//   With a fold code and booklet on, only signatures that fit are allowed;
//   "all sheets" is refused, as a longer job would not fold. Without such a
//   limit, and with fold or booklet off, every value stays allowed.
// - Collate (8) on fold (220): folding neither needs nor forbids collated
//   copies, and while folding is off (220 = 0) nothing is refused.
// - Duplex (22) on fold (220): a fold code that the finisher offers only with
//   booklet printing (its booklet mask allows booklet on and not off) folds
//   booklets, which are printed on both sides: only the booklet's binding
//   (booklet table byte 8 bit 0: 3, else 2) is allowed, and is the value
//   the engine picks when the fold refuses one-sided printing. Every other
//   fold code, and no fold, leaves duplex free.
// - Fold (6) on the installed options (204 = 0): no fold is always allowed;
//   a fold code needs its unit among the output bins, as a staple code does,
//   so a listed code whose unit is not fitted is shown as refused by the
//   installed options rather than taken away. A booklet fold also needs
//   two-sided printing: on a printer whose duplex unit is optional and not
//   fitted it is refused, or the duplex rule above could never be met.
void BuildFoldRules(const ModelOptionPair* pair, CKinsokuList* list, WORD finisher,
                    const Table& record) {
    const ModelBlock* b = pair->binding;
    const bool twoSided = !HasTable37Entry(pair, kOption25) || IsOption25AInstalled(pair) ||
                          IsOption25BInstalled(pair);
    constexpr size_t kBookletAt = 8, kSortAt = 12;
    constexpr DWORD kBookletOffAllowed = kMaskBit(13), kBookletOnAllowed = kMaskBit(14);
    Table folds(b, model::kQueryFinishers, model::layout::kFinisherFolds, finisher);
    Table booklet(b, model::kQueryBooklet, model::layout::kFixedFirst);
    const DWORD binding = BookletBinding(booklet);
    const SHORT foldSheets = static_cast<SHORT>(record.U16(kFinisherFoldSheetsAt));
    Free(list, kItemBookletSheets, kTriggerStapleModeBooklet);
    Free(list, kItemCollate, kTriggerStapleMode);
    FreeValue(list, kItemCollate, kTriggerStapleMode, 0);
    Free(list, kItemDuplex, kTriggerStapleMode);
    Allow(list, kItemStapleMode, kTriggerOptions, 0, {kNoFold});
    for (DWORD i = 0; i < folds.Count(kFoldItemSize); ++i) {
        const size_t at = i * kFoldItemSize;
        const WORD modelCode = folds.U16(at + kItemCodeAt);
        const DWORD code = MapModelCodeSix(modelCode);
        const DWORD bookletMask = folds.U32(at + kBookletAt);
        const bool foldsBooklets =
            (bookletMask & kBookletOnAllowed) && !(bookletMask & kBookletOffAllowed);
        FamilyH(list, kItemStapleMode, code, bookletMask);
        FamilyA(list, kItemStapleMode, code, folds.U32(at + kSortAt));
        FamilyB(list, kTriggerStapleMode, code, folds.U32(at + kSortAt));
        if (code == 0) continue;
        if (foldSheets > 0) {
            Allow(list, kItemBookletSheets, kTriggerStapleModeBooklet, (code << 16) | kBookletOn,
                  {});
            for (DWORD sheets : kSignatureSizes)
                if (sheets <= static_cast<DWORD>(foldSheets))
                    AllowCode(list, kItemBookletSheets, kTriggerStapleModeBooklet,
                              (code << 16) | kBookletOn, sheets);
        }
        if (foldsBooklets) {
            if (CKinsokuItem* it = list->GetDependentItem(kItemDuplex, kTriggerStapleMode)) {
                CValidRule* rule = it->GetValueRule(kTriggerStapleMode, code);
                rule->allowed.push_back(binding);
                rule->preferred = binding;
                rule->flags |= kRulePreferredValid;
            }
        } else {
            FreeValue(list, kItemDuplex, kTriggerStapleMode, code);
        }
        if (FinishingCodeFitted(pair->options, modelCode) && (twoSided || !foldsBooklets))
            AllowCode(list, kItemStapleMode, kTriggerOptions, 0, code);
    }
    // No folding on a poster.
    Free(list, kItemStapleMode, kTriggerPoster);
    Allow(list, kItemStapleMode, kTriggerPoster, kPosterOn, {0});
}

// The staple, punch and fold values of the fitted finisher and the
// dependencies its capabilities give.
void BuildFinisherRules(const ModelOptionPair* pair, CKinsokuList* list) {
    const ModelBlock* b = pair->binding;
    CInstallOption* options = pair->options;
    for (WORD item : {kItemPunchMode, kItemStapleMode, kItemOutputBin})
        if (CKinsokuItem* it = list->FindItem(item)) it->Clear();
    for (const FinisherRow& row : kFinisherRows) {
        list->RemoveDependency(row.trigger, row.target);
        if (CKinsokuItem* it = list->FindItem(row.target)) it->RemoveTrigger(row.trigger);
    }
    const InstallOptionEntry* fitted = options->FindInstalledFinisher(0);
    if (!fitted) {
        MarkFinisherInstalled(pair, static_cast<WORD>(model::kDefaultFinisherId), 0, 0);
        fitted = options->FindInstalledFinisher(0);
    }
    if (!fitted) return;
    const WORD id = fitted->value;
    if (CKinsokuItem* it = list->GetItem(kItemOutputBin)) {
        Table staples(b, model::kQueryFinishers, model::layout::kFinisherStaples, id);
        for (DWORD i = 0; i < staples.Count(kStapleItemSize); ++i) {
            const WORD code = staples.U16(i * kStapleItemSize + kStapleCodeAt);
            if (!FinishingCodeFitted(options, code)) continue;
            if (const FinisherValue* v = FindFinisherValue(kStapleValues, MapModelCodeNine(code)))
                it->AddValue(v->value, staples.U16(i * kStapleItemSize + kStapleNameAt),
                             v->imageId);
        }
        Table record(b, model::kQueryFinishers, model::layout::kFinisherRecord, id);
        if (record.Ok()) it->SetDefault(MapModelCodeNine(record.U16(kFinisherStapleDefaultAt)));
    }
    if (fitted->state & kFinisherFoldUnit)
        if (CKinsokuItem* it = list->GetItem(kItemStapleMode)) {
            Table folds(b, model::kQueryFinishers, model::layout::kFinisherFolds, id);
            // "No fold" comes first, also when no fold item of the finisher
            // names it: the default is no fold, and a folder that is fitted
            // must not fold every job. The Staple list shows these values,
            // so the row is named as a staple position ("Off").
            it->AddValue(kNoFold, kNoFoldStringId, 0);
            for (DWORD i = 0; i < folds.Count(kFoldItemSize); ++i)
                it->AddValue(MapModelCodeSix(folds.U16(i * kFoldItemSize + kItemCodeAt)),
                             folds.U16(i * kFoldItemSize + kItemNameAt), 0);
            it->SetDefault(kNoFold);
        }
    if (fitted->state & kFinisherPunchUnit)
        if (CKinsokuItem* it = list->GetItem(kItemPunchMode)) {
            Table punches(b, model::kQueryFinishers, model::layout::kFinisherPunchesLong, id);
            // "No punch" comes first for the same reason as "no fold".
            const FinisherValue& none = kPunchValues[0];
            it->AddValue(none.value, none.stringId, none.imageId);
            for (DWORD i = 0; i < punches.Count(kPunchItemSize); ++i) {
                const DWORD value =
                    MapModelCodeThree(punches.U16(i * kPunchItemSize + kItemCodeAt));
                if (const FinisherValue* v = FindFinisherValue(kPunchValues, value))
                    it->AddValue(v->value, punches.U16(i * kPunchItemSize + kItemNameAt),
                                 v->imageId);
            }
        }
    Table record(b, model::kQueryFinishers, model::layout::kFinisherText, id);
    if (!record.Ok()) return;
    const DWORD caps = record.U32(kFinisherCapsAt);
    const BYTE flags = record.U8(kFinisherFlagsAt);
    for (const FinisherRow& row : kFinisherRows)
        if (RowHolds(row, caps, flags, *fitted)) list->AddDependency(row.trigger, row.target);
    BuildStapleRules(b, options, list, id, caps, flags);
    if (fitted->state & kFinisherPunchUnit) BuildPunchRules(b, list, id);
    if (fitted->state & kFinisherFoldUnit) BuildFoldRules(pair, list, id, record);
    // No punch and no staple mode constrain nothing the tables do not name:
    // without these rules a finisher with punching off refused every sort and
    // fold value.
    for (const UnruledTriggerValue& u : FindUnruledTriggerValues(list))
        if (u.value == kNoFinishing) FreeValue(list, u.target, u.trigger, u.value);
}

} // namespace

std::vector<UnruledTriggerValue> FindUnruledTriggerValues(const CKinsokuList* list) {
    // The finishing triggers and the items whose values they read.
    struct Source {
        WORD trigger;
        WORD item;
    };
    constexpr Source kSources[] = {{kTriggerPunchMode, kItemPunchMode},
                                   {kTriggerStapleMode, kItemStapleMode},
                                   {kTriggerOutputBin, kItemOutputBin},
                                   {kTriggerSort, kItemSort}};
    std::vector<UnruledTriggerValue> out;
    if (!list) return out;
    for (const Source& s : kSources) {
        const CKinsokuItem* source = list->FindItem(s.item);
        if (!source) continue;
        for (WORD target = kFirstTarget; target <= kLastTarget; ++target) {
            CKinsokuItem* it = list->GetDependentItem(target, s.trigger);
            if (!it || it->FindItemRule(s.trigger)) continue;
            for (const auto& atom : source->Values())
                if (!it->FindValueRule(s.trigger, atom->value))
                    out.push_back({s.trigger, atom->value, target});
        }
    }
    return out;
}

// ---------------------------------------------------------------- code maps

DWORD MapModelCodeNine(DWORD code) {
    constexpr DWORD kMap[] = {0, 1, 0x101, 0x201, 2, 0x202, 0x301, 0x302, 0x303};
    return code >= 1 && code <= std::size(kMap) ? kMap[code - 1] : 0;
}
DWORD MapModelCodeSix(DWORD code) {
    return code >= 1 && code <= 6 ? code : 0;
}
DWORD MapModelCodeThree(DWORD code) {
    constexpr DWORD kMap[] = {2, 3, 1};
    return code >= 1 && code <= std::size(kMap) ? kMap[code - 1] : 0;
}
DWORD MapOptionCode(DWORD code) {
    return code == 1 || code == 3 || code == 4 ? code : 2;
}
DWORD MapSortBit(DWORD bit) {
    switch (bit) {
    case 0x1:
        return 0;
    case 0x2:
        return 1;
    case 0x4:
        return 4;
    case 0x8:
        return 5;
    case 0x10:
        return 2;
    case 0x20:
        return 3;
    default:
        return kNoSortValue;
    }
}

BOOL IsPaperOverMaxSize(const ModelBlock* binding, WORD paper) {
    if (paper >= kFirstUserPaperId) return FALSE;
    Table p(binding, model::kQueryPapers, model::layout::kPaperRecord, paper);
    Table limits(binding, model::kQueryCustomPaperLimits, model::layout::kLimitsRecord);
    if (!p.Ok() || !limits.Ok()) return FALSE;
    auto record = p.Entry<PaperRecordAnswer>(0, kPaperRecordSize);
    auto max = limits.Entry<PaperLimitsAnswer>(0, sizeof(PaperLimitsAnswer));
    return record.widthDots > max.largestWidth600 || record.lengthDots > max.largestLength600;
}

// ---------------------------------------------------------------- builders

BOOL LoadKinsokuPairs(const ModelBlock* binding, CKinsokuList* list) {
    if (!list) return FALSE;
    Table t(binding, model::kQueryRulePairs, model::layout::kEntryList);
    for (DWORD i = 0; i < t.Count(kPairSize); ++i)
        list->AddDependency(t.U16(i * kPairSize), t.U16(i * kPairSize + 2));
    return TRUE;
}

BOOL BuildKinsokuRules(const ModelBlock* binding, CKinsokuList* list, DWORD allPapers) {
    if (!list) return FALSE;
    BuildValues(binding, list, allPapers);
    BuildPaperRules(binding, list);
    BuildMediaRules(binding, list);
    BuildTrayRules(binding, list);
    BuildBookletPosterNupRules(binding, list);
    BuildDuplexRules(binding, list);
    Free(list, kItemFrontCoverOn, kTriggerBookletDuplexType);
    Allow(list, kItemFrontCoverOn, kTriggerBookletDuplexType, 0x20001, {0});
    BuildOtherRules(binding, list);
    Free(list, kItemBooklet, kTriggerSkipBlank);
    Allow(list, kItemBooklet, kTriggerSkipBlank, 1, {0});
    Table halftones(binding, model::kQueryHalftones, model::layout::kHalftoneRaster);
    Free(list, kItemTextAsBlack, kTriggerHalftone);
    for (DWORD i = 0; i < halftones.Count(kHalftoneSize); ++i) {
        const WORD id = halftones.U16(i * kHalftoneSize);
        const DWORD flags = halftones.U32(i * kHalftoneSize + 4);
        Allow(list, kItemTextAsBlack, kTriggerHalftone, id, {1});
        if (!(flags & 0x40000)) Allow(list, kItemTextAsBlack, kTriggerHalftone, id, {0});
        if (!(flags & 0x20000)) Allow(list, kItemContrastValues, kTriggerHalftone, id, {1});
    }
    Table text(binding, model::kQueryTextAsBlack, model::layout::kFixedFirst);
    if (text.Ok()) {
        FreeValue(list, kItemTextAsBlack, kTriggerColorMode, 1);
        for (DWORD v : {2u, 3u}) {
            Allow(list, kItemTextAsBlack, kTriggerColorMode, v, {0});
            if (text.U8(0) & 2) Allow(list, kItemTextAsBlack, kTriggerColorMode, v, {1});
        }
    }
    FreeValue(list, kItemCollateByDriver, kTriggerJobType, 0);
    if (CKinsokuItem* it = list->GetDependentItem(kItemCollateByDriver, kTriggerJobType))
        it->GetItemRule(kTriggerJobType)->allowed.push_back(0);
    FreeValue(list, kItemCollate, kTriggerJobType, 0);
    if (CKinsokuItem* it = list->GetDependentItem(kItemCollate, kTriggerJobType))
        it->GetItemRule(kTriggerJobType)->allowed.push_back(1);
    for (WORD target : {WORD{18}, WORD{20}}) {
        Allow(list, target, kTriggerSort, 4, {0});
        Allow(list, target, kTriggerSort, 5, {0});
        Free(list, target, kTriggerSort);
    }
    return TRUE;
}

BOOL BuildModelKinsoku(const ModelOptionPair* pair, CKinsokuList* list) {
    if (!list) return FALSE;
    const ModelBlock* b = pair ? pair->binding : nullptr;
    list->RemoveDependencies(kTriggerOptions);
    for (WORD item = kFirstTarget; item <= kLastTarget; ++item)
        if (CKinsokuItem* it = list->FindItem(item)) it->RemoveTrigger(kTriggerOptions);
    if (!pair || !pair->options) return TRUE;

    auto ruleOn = [&](WORD target) -> CValidRule* {
        if (!list->FindItem(target) || !list->AddDependency(kTriggerOptions, target))
            return nullptr;
        return list->FindItem(target)->GetValueRule(kTriggerOptions, 0);
    };
    if (HasTable37Entry(pair, kOptionTray)) {
        Table own(b, model::kQueryPaperSources, model::layout::kTrayRecord);
        Table feeders(b, model::kQueryTrayGroups, model::layout::kFeederTrayRecord);
        for (WORD target : {kItemSource, kItemFrontSource, kItemBackSource, kItemAltSource}) {
            CValidRule* rule = ruleOn(target);
            if (!rule) continue;
            for (DWORD i = 0; i < own.Count(kTrayRecordSize); ++i)
                rule->allowed.push_back(own.U16(i * kTrayRecordSize));
            for (DWORD i = 0; i < feeders.Count(kTrayRecordSize); ++i) {
                WORD tray = feeders.U16(i * kTrayRecordSize);
                if (IsTrayAvailable(pair, tray)) rule->allowed.push_back(tray);
            }
        }
    }
    const bool duplexUnit = IsOption25AInstalled(pair) || IsOption25BInstalled(pair);
    if (HasTable37Entry(pair, kOption25)) {
        if (CValidRule* rule = ruleOn(kItemBooklet)) {
            if (duplexUnit)
                rule->allowUnlisted = 1;
            else
                rule->allowed.push_back(0);
        }
        if (CValidRule* rule = ruleOn(kItemDuplex)) {
            rule->allowed.push_back(1);
            if (duplexUnit) rule->allowed.insert(rule->allowed.end(), {2, 3});
        }
        if (CValidRule* rule = ruleOn(21)) {
            if (IsOption25AInstalled(pair)) rule->allowed.push_back(0);
            if (IsOption25BInstalled(pair)) rule->allowed.push_back(1);
        }
    }
    Table quality(b, model::kQueryQualityModes, model::layout::kQualityRecord);
    if (quality.Ok()) {
        if (CValidRule* rule = ruleOn(kItemResolution)) {
            const DWORD memory = GetInstalledMemorySize(pair);
            for (DWORD i = 0; i < quality.Count(kQualitySize); ++i)
                if (quality.U32(i * kQualitySize + kQualityMemoryAt) <= memory)
                    rule->allowed.push_back(MapOptionCode(quality.U16(i * kQualitySize)));
        }
    }
    if (CValidRule* rule = ruleOn(kItemCollateByDriver)) {
        rule->allowed.push_back(1);
        if (IsTable38FeatureAvailable(pair)) rule->allowed.push_back(0);
    }
    // The rule on the copies is made here when the model tables gave none.
    if (CKinsokuItem* it = list->FindItem(kItemFrontCoverPrinted))
        it->GetItemRule(kTriggerCopies)->allowUnlisted = IsTable38FeatureAvailable(pair) ? 1 : 0;
    BuildFinisherRules(pair, list);
    list->PropagateTrigger(kTriggerOptions, 0);
    return TRUE;
}

// ---------------------------------------------------------------- list operations

BOOL RemoveCustomPaperRules(const ModelBlock*, CKinsokuList* list, const CUserPaper* papers) {
    CKinsokuItem* it = list ? list->FindItem(kItemPaper) : nullptr;
    if (!it || !papers) return FALSE;
    const auto& values = it->Values();
    for (size_t i = values.size(); i-- > 0;)
        if (i < values.size() && values[i]->value >= kFirstUserPaperId)
            it->RemoveValue(values[i]->value);
    for (WORD i = 0; i < papers->Count(); ++i)
        it->AddValue(papers->At(i)->paperId, 0, 0);
    return TRUE;
}

BOOL AddAllowedValues(CKinsokuItem* item, WORD trigger, DWORD triggerValue, const WORD* exclusions,
                      int count) {
    if (!item || !exclusions) return FALSE;
    if (count < 1) return TRUE;
    CValidRule* rule = item->GetValueRule(trigger, triggerValue);
    for (auto& atom : item->Values()) {
        bool excluded = false;
        for (int i = 0; i < count && !excluded; ++i)
            excluded = MapOptionCode(exclusions[i]) == (atom->value & 0xFFFF);
        if (!excluded) rule->allowed.push_back(atom->value);
    }
    return TRUE;
}

} // namespace sheetwright
