// CKinsokuList: the option-constraint engine. For every constrained setting
// of one device-mode image (an item) it keeps the values the setting may take
// and the rules that refuse some of them while another setting (a trigger)
// holds a value; Resolve replaces every refused current value by an allowed
// one until the image no longer changes.
#pragma once

#include <array>

#include <memory>
#include <vector>

#include "driver_env.h"
#include "model/model_queries.h"
#include "win/devmode_private.h"
#include "win/types.h"

namespace sheetwright {

class CUserPaper;

// Items: targets are settings the engine corrects, triggers the settings
// whose value decides what the targets may hold.
inline constexpr WORD kFirstTarget = 1;
inline constexpr WORD kLastTarget = 43;
inline constexpr WORD kFirstTrigger = 204;
inline constexpr WORD kLastTrigger = 242;
inline constexpr size_t kKinsokuSlots = 83;
inline constexpr size_t kKinsokuImageSize = sizeof(DEVMODE_IMAGEW);

// Items the rule builders and the pickers name.
enum KinsokuItemId : WORD {
    kItemPaper = 1,
    kItemMedia = 2,
    kItemSource = 3,
    kItemStaple = 4,
    kItemPunch = 5,
    kItemFold = 6,
    kItemRotate = 7,
    kItemCollate = 8,
    kItemSort = 9,
    kItemBooklet = 10,
    kItemNup = 11,
    kItemFit = 12,
    kItemZoom = 13,
    kItemPoster = 14,
    kItemReverse = 15,
    kItemDuplex = 22,
    kItemCollateByDriver = 23,
    kItemAltMedia = 25,
    kItemAltSource = 26,
    kItemFrontMedia = 27,
    kItemFrontSource = 28,
    kItemBackMedia = 29,
    kItemBackSource = 30,
    kItemResolution = 34,
    kItemBookletSheets = 39,
    kTriggerOptions = 204,
    kTriggerPaper = 205,
    kTriggerPaperOrient = 206,
    kTriggerPaperStaple = 207,
    kTriggerMedia = 208,
    kTriggerSource = 209,
    kTriggerCopies = 210,
    kTriggerCollate = 211,
    kTriggerSort = 212,
    kTriggerBooklet = 213,
    kTriggerPoster = 215,
    kTriggerNup = 216,
    kTriggerPunch = 219,
    kTriggerFold = 220,
    kTriggerStaplePosition = 221,
    kTriggerFoldBooklet = 222,
    kTriggerDuplex = 225,
    kTriggerAltMedia = 227,
    kTriggerAltSource = 228,
    kTriggerFrontCover = 230,
    kTriggerBackCover = 231,
    kTriggerPaperFold = 236,
    kTriggerPaperPunch = 237,
    kTriggerMediaOption = 242,
};

// Ids of the papers without a model record of their own.
inline constexpr WORD kCustomPaperId = 456;
inline constexpr WORD kLongPaperId = 457;

// Rounds of one resolve before it gives up: the model's rule sets settle in
// a handful, so more means rules that undo each other.
inline constexpr unsigned kMaxResolveRounds = 32;
// What Resolve answers.
inline constexpr DWORD kResolveSettled = 0;
inline constexpr DWORD kResolveUnsettled = 1;

struct CKinsokuAtom {
    WORD item = 0;
    DWORD value = 0;
    DWORD param1 = 0;
    DWORD param2 = 0;
    std::vector<WORD> blockers; // triggers refusing the value now
};

inline constexpr DWORD kRulePreferredValid = 0x1;

struct CValidRule {
    WORD trigger = 0;
    DWORD triggerValue = 0;
    DWORD preferred = 0;
    std::vector<DWORD> allowed;
    DWORD allowUnlisted = 0;
    DWORD flags = 0;
};

// One node of the value chain handed to the pages' list controls.
struct KinsokuChainNode {
    WORD value;
    DWORD param1;
    DWORD param2;
    DWORD refused;
    KinsokuChainNode* next;
};

inline constexpr DWORD kItemDefaultValid = 0x1;

class CKinsokuItem {
  public:
    explicit CKinsokuItem(WORD item) : item_(item) {}
    ~CKinsokuItem();
    CKinsokuItem(const CKinsokuItem&) = delete;
    CKinsokuItem& operator=(const CKinsokuItem&) = delete;

    WORD Item() const { return item_; }
    DWORD AddValue(DWORD value, DWORD param1, DWORD param2);
    // Deletes every value equal to `value`; the number deleted.
    DWORD RemoveValue(DWORD value);
    CValidRule* GetItemRule(WORD trigger);
    CValidRule* GetValueRule(WORD trigger, DWORD triggerValue);
    CValidRule* FindItemRule(WORD trigger);
    CValidRule* FindValueRule(WORD trigger, DWORD triggerValue);
    DWORD AddRuleValues(WORD trigger, DWORD triggerValue, const WORD* values, DWORD count);
    DWORD RemoveTrigger(WORD trigger);
    void Clear();
    BOOL IsValueRefused(DWORD value) const;
    DWORD PickValue(WORD trigger, DWORD triggerValue) const;
    BOOL ApplyTrigger(WORD trigger, DWORD value);
    BOOL RuleRefuses(DWORD value, WORD trigger, DWORD triggerValue);
    BOOL RuleContainsItem(DWORD value) const;
    KinsokuChainNode* BuildValueChain();

    void SetDefault(DWORD value) {
        default_ = value;
        flags_ |= kItemDefaultValid;
    }
    BOOL HasDefault() const { return (flags_ & kItemDefaultValid) != 0; }
    DWORD Default() const { return default_; }

    const std::vector<std::unique_ptr<CKinsokuAtom>>& Values() const { return values_; }
    CKinsokuAtom* FindAtom(DWORD value) const;
    const std::vector<std::unique_ptr<CValidRule>>& ValueRules() const { return valueRules_; }
    const std::vector<std::unique_ptr<CValidRule>>& ItemRules() const { return itemRules_; }

  private:
    // The rule that decides under {trigger, value}; null when the item has
    // no rule on the trigger at all.
    const CValidRule* GoverningRule(WORD trigger, DWORD value, bool* any) const;
    void FreeChain();

    WORD item_;
    DWORD default_ = 0;
    std::vector<std::unique_ptr<CKinsokuAtom>> values_;
    std::vector<std::unique_ptr<CValidRule>> valueRules_;
    std::vector<std::unique_ptr<CValidRule>> itemRules_;
    HGLOBAL chain_ = nullptr;
    DWORD modified_ = 0;
    DWORD flags_ = 0;
};

class CKinsokuList {
  public:
    // Any of the three may be null; the image, when given, is 1320 bytes.
    CKinsokuList(const ModelBlock* binding, const CUserPaper* papers, const BYTE* image);
    virtual ~CKinsokuList();
    CKinsokuList(const CKinsokuList&) = delete;
    CKinsokuList& operator=(const CKinsokuList&) = delete;

    CKinsokuItem* GetItem(WORD item);
    CKinsokuItem* FindItem(WORD item) const;
    void RemoveItem(WORD item);
    BOOL IsApplicable(WORD item) const;
    BOOL AddDependency(WORD trigger, WORD target);
    void RemoveDependency(WORD trigger, WORD target);
    void RemoveDependencies(WORD trigger);
    BOOL HasDependency(WORD trigger, WORD target) const;
    CKinsokuItem* GetDependentItem(WORD target, WORD trigger) const;
    BOOL IsDependent(WORD item) const;
    BOOL IsValueRefused(WORD item, DWORD value) const;
    DWORD GetBlockers(WORD item, DWORD value, WORD* buffer, DWORD capacity) const;
    BOOL FindRuleValue(WORD item, DWORD value, WORD trigger, DWORD triggerValue) const;
    void PropagateTrigger(WORD trigger, DWORD value);
    // Makes the 1320-byte image consistent: kResolveSettled, or
    // kResolveUnsettled when kMaxResolveRounds passed without the image
    // settling. The image then holds the image the previous resolve settled
    // on when the rules still accept it all, else the image as handed in.
    DWORD Resolve(BYTE* image, BOOL force);
    unsigned LastRounds() const { return lastRounds_; }

    BOOL WasCorrected(WORD item) const;
    BOOL WasChangedByUser(WORD trigger) const;
    const std::vector<WORD>& Corrected() const { return corrected_; }
    const std::vector<WORD>& Refreshed() const { return refresh_; }
    const std::vector<WORD>& Changed() const { return changed_; }
    const BYTE* WorkingImage() const { return work_.data(); }
    const ModelBlock* Binding() const { return binding_; }
    DWORD RegionFlag() const { return regionFlag_; }

    // The value a trigger reads from an image (0 for 204 and 242).
    DWORD TriggerValue(WORD trigger, const BYTE* image) const;
    // The paper the image prints on, as the rules know papers.
    WORD EffectivePaper(const BYTE* image) const;
    WORD EffectiveOrientation(const BYTE* image) const;
    // The 160-byte model record of the effective paper. For the custom and
    // the long paper it is made from their limits record, with the sizes of
    // the user paper the image names, else of the image's own dimensions.
    bool EffectivePaperRecord(const BYTE* image, model::PaperRecordAnswer* record) const;

    static int Slot(WORD item);

  private:
    // The effective paper and orientation of an image, worked out once per
    // image and round: they take model look-ups.
    struct ImagePaper {
        WORD id;
        WORD orientation;
    };
    ImagePaper PaperOf(const BYTE* image) const;
    DWORD TriggerValue(WORD trigger, const BYTE* image, const ImagePaper& paper) const;
    void FillApplicability();
    void ApplyTriggers(const BYTE* image, bool recordChanges);
    void CorrectImage(BYTE* image);
    bool IsConsistent(const BYTE* image);
    void CorrectTarget(WORD target, CKinsokuItem* item, BYTE* image);
    void MarkCorrected(WORD target);
    DWORD PickPaper(CKinsokuItem* item, const BYTE* image) const;
    DWORD PickMedia(WORD target, CKinsokuItem* item, const BYTE* image) const;
    DWORD PickSource(WORD target, CKinsokuItem* item, const BYTE* image) const;
    void ClampPoster(BYTE* image) const;
    void LookUpResolution(BYTE* image, WORD code) const;
    bool PaperSize(WORD paper, WORD* width, WORD* length) const;
    bool HasModelPaper(WORD paper) const;

    std::array<BYTE, kKinsokuImageSize> work_{};
    std::array<std::unique_ptr<CKinsokuItem>, kKinsokuSlots> items_;
    DWORD resolved_ = 0;
    std::array<std::vector<WORD>, kKinsokuSlots> depends_;
    DWORD regionFlag_ = 0;
    std::vector<WORD> corrected_;
    std::vector<WORD> refresh_;
    std::array<WORD, kKinsokuSlots> applicable_{};
    const ModelBlock* binding_;
    const CUserPaper* papers_;
    std::vector<WORD> changed_;
    unsigned lastRounds_ = 0;
    bool settled_ = false; // the last resolve settled
};

// The largest poster grid across and down for the image; FALSE when it
// cannot be worked out.
BOOL ComputeScaleLimits(const CKinsokuList* list, const BYTE* image, DWORD* x, DWORD* y);

} // namespace sheetwright
