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
#include "devmode_private.h"
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

// Items, each named by the device-mode field it holds (targets) or reads
// (triggers). The finishing items are named as the device mode names their
// fields: the model's finisher tables call the values of kItemOutputBin
// (priv+94, codes of its staple items through MapModelCodeNine) staple
// positions, those of kItemStapleMode (priv+92, codes of its fold items
// through MapModelCodeSix) folds, and those of kItemPunchMode punches; the
// triggers that read those fields follow the fields' names.
enum KinsokuItemId : WORD {
    kItemPaper = 1,                  // dmPaperSize
    kItemMedia = 2,                  // dmMediaType
    kItemSource = 3,                 // dmDefaultSource
    kItemOutputBin = 4,              // OutputBin
    kItemPunchMode = 5,              // PunchMode
    kItemStapleMode = 6,             // StapleMode
    kItemRotate = 7,                 // Rotate180
    kItemCollate = 8,                // dmCollate
    kItemSort = 9,                   // SortMode
    kItemBooklet = 10,               // LayoutKind bit 1
    kItemNup = 11,                   // LayoutKind bit 0
    kItemFit = 12,                   // LayoutKind bit 3
    kItemZoom = 13,                  // LayoutKind bit 4
    kItemPoster = 14,                // LayoutKind bit 2
    kItemReverse = 15,               // ReverseOrder
    kItemMirror = 16,                // MirrorImage
    kItemFrontCoverPrinted = 17,     // FrontCoverPrinted
    kItemFrontCoverOn = 18,          // CoverFlags bit 0
    kItemBackCoverPrinted = 19,      // BackCoverPrinted
    kItemBackCoverOn = 20,           // CoverFlags bit 1
    kItemDuplexType = 21,            // DuplexType
    kItemDuplex = 22,                // dmDuplex
    kItemCollateByDriver = 23,       // CollateByDriver
    kItemAltSourceOn = 24,           // AlternateSourceOn
    kItemAltMedia = 25,              // AlternateMediaType
    kItemAltSource = 26,             // AlternateSource
    kItemFrontMedia = 27,            // FrontCoverMedia
    kItemFrontSource = 28,           // FrontCoverSource
    kItemBackMedia = 29,             // BackCoverMedia
    kItemBackSource = 30,            // BackCoverSource
    kItemSkipBlank = 31,             // SkipBlankPages
    kItemHalftone = 32,              // HalftoneKind
    kItemGraphicsMode = 33,          // GraphicsMode
    kItemResolution = 34,            // ResolutionCode
    kItemTonerSave = 35,             // TonerSaveLevel
    kItemFontValues = 36,            // values only: the font dialog's
    kItemWatermarkOn = 37,           // WatermarkFlags bit 1
    kItemOverlayOn = 38,             // OverlayFlags bits 0 and 1
    kItemBookletSheets = 39,         // BookletSheets
    kItemDuplexNotice = 40,          // values only: the duplex options dialog's
    kItemTextAsBlack = 41,           // TextAsBlack
    kItemContrastValues = 42,        // values only: the profiles'
    kItemDuplexMargin = 43,          // DuplexMarginFlags bit 0, following DuplexMargin
    kTriggerOptions = 204,           // the installed options (value 0)
    kTriggerPaper = 205,             // the effective paper
    kTriggerPaperOrient = 206,       // orientation << 16 | paper
    kTriggerPaperOutputBin = 207,    // the effective paper, for the output bin's rules
    kTriggerMedia = 208,             // dmMediaType
    kTriggerSource = 209,            // dmDefaultSource
    kTriggerCopies = 210,            // dmCopies
    kTriggerCollate = 211,           // dmCollate
    kTriggerSort = 212,              // SortMode, collated
    kTriggerBooklet = 213,           // LayoutKind & booklet
    kTriggerBookletDuplexType = 214, // booklet << 16 | DuplexType
    kTriggerPoster = 215,            // LayoutKind & poster
    kTriggerNup = 216,               // LayoutKind & N-up
    kTriggerFit = 217,               // LayoutKind & fit
    kTriggerZoom = 218,              // LayoutKind & zoom
    kTriggerPunchMode = 219,         // PunchMode
    kTriggerStapleMode = 220,        // StapleMode
    kTriggerOutputBin = 221,         // OutputBin
    kTriggerStapleModeBooklet = 222, // StapleMode << 16 | booklet
    kTriggerFrontCoverOn = 223,      // CoverFlags & 1
    kTriggerBackCoverOn = 224,       // CoverFlags & 2
    kTriggerDuplex = 225,            // dmDuplex
    kTriggerGraphicsMode = 226,      // GraphicsMode
    kTriggerAltMedia = 227,          // AlternateMediaType
    kTriggerAltSource = 228,         // AlternateSource
    kTriggerReverse = 229,           // ReverseOrder
    kTriggerFrontCover = 230,        // FrontCoverPrinted << 16 | FrontCoverMedia
    kTriggerBackCover = 231,         // BackCoverPrinted << 16 | BackCoverMedia
    kTriggerFrontSource = 232,       // FrontCoverSource
    kTriggerBackSource = 233,        // BackCoverSource
    kTriggerCoversDuplexType = 234,  // CoverFlags & 3 << 16 | DuplexType
    kTriggerDuplexAndType = 235,     // dmDuplex << 16 | DuplexType
    kTriggerPaperStapleMode = 236,   // paper + orientation << 24 + StapleMode << 16
    kTriggerPaperPunchMode = 237,    // paper + orientation << 24 + PunchMode << 16
    kTriggerSkipBlank = 238,         // SkipBlankPages
    kTriggerHalftone = 239,          // HalftoneKind
    kTriggerColorMode = 240,         // ColorMode
    kTriggerJobType = 241,           // JobType
    kTriggerMediaOption = 242,       // the media type, for the installed options' rules
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
