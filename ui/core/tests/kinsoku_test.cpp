// The option-constraint engine on hand-made rules: applicability, triggers
// read from hand-laid images, blocker updates, the pickers, the resolve loop
// and its round cap, and the list operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "win/base.h"
#include "win/devmode.h"

namespace {

using namespace sheetwright;

// A 1320-byte image written at raw offsets: standard fields at their
// offsets, private fields at 220 + N.
struct Image {
    std::vector<BYTE> b = std::vector<BYTE>(kKinsokuImageSize, 0);
    static constexpr size_t kPriv = 220;
    Image() {
        Put16(68, 220);  // dmSize
        Put16(70, 1100); // dmDriverExtra
    }
    void Put16(size_t at, DWORD v) { std::memcpy(&b[at], &v, 2); }
    void Put32(size_t at, DWORD v) { std::memcpy(&b[at], &v, 4); }
    DWORD Get16(size_t at) const {
        WORD v;
        std::memcpy(&v, &b[at], 2);
        return v;
    }
    DWORD Get32(size_t at) const {
        DWORD v;
        std::memcpy(&v, &b[at], 4);
        return v;
    }
    void Fields(DWORD f) { Put32(72, Get32(72) | f); }
    void PrivBits(size_t at, DWORD bits) { Put32(kPriv + at, Get32(kPriv + at) | bits); }
    void Priv16(size_t at, DWORD v) { Put16(kPriv + at, v); }
    DWORD GetPriv16(size_t at) const { return Get16(kPriv + at); }
    BYTE* data() { return b.data(); }
};

constexpr size_t kCollate = 100, kDuplex = 94, kPaperSize = 78, kMediaType = 196, kSource = 88;

TEST(KinsokuApplicability, FromFieldsAndPrivateWords) {
    struct Case {
        DWORD fields;
        size_t privAt;
        DWORD privBits;
        WORD item;
        BOOL applicable;
    };
    const Case cases[] = {
        {DM_PAPERSIZE, 0, 0, 1, TRUE},
        {0, 0, 0, 1, FALSE},
        {DM_MEDIATYPE, 0, 0, 208, TRUE},
        {DM_DUPLEX, 0, 0, 22, TRUE},
        {0, 12, 1u << 17, 4, TRUE},
        {0, 12, 1u << 17, 221, TRUE},
        {DM_PAPERSIZE, 12, 1u << 17, 206, TRUE},
        {DM_PAPERSIZE, 0, 0, 206, FALSE},
        {0, 16, 1u << 4, 215, TRUE},
        {0, 12, 1u << 22, 27, TRUE},
        {0, 12, 1u << 22, 231, FALSE}, // 231 needs item 29
        {0, 12, 1u << 23, 29, TRUE},
        {0, 12, 0x01000000, 241, TRUE},
        {0, 0, 0, 204, TRUE},
        {0, 0, 0, 32, TRUE},
        {0, 0, 0, 239, TRUE},
        {0, 0, 0, 243, FALSE},
        {0, 0, 0, 0, FALSE},
        {0, 0, 0, 44, FALSE},
        {DM_PAPERSIZE, 16, 1u << 5, 240, TRUE},
        {DM_PAPERSIZE, 0, 0, 240, FALSE},
    };
    for (const Case& c : cases) {
        Image img;
        img.Fields(c.fields);
        if (c.privBits) img.PrivBits(c.privAt, c.privBits);
        CKinsokuList list(nullptr, nullptr, img.data());
        EXPECT_EQ(list.IsApplicable(c.item), c.applicable) << "item " << c.item;
        EXPECT_EQ(list.GetItem(c.item) != nullptr, c.applicable == TRUE) << "item " << c.item;
    }
}

TEST(KinsokuTriggers, ValuesFromHandLaidImage) {
    Image img;
    img.Fields(DM_PAPERSIZE | DM_COLLATE);
    img.Put16(kCollate, 1);
    img.Put16(kDuplex, 2);
    img.Put32(kMediaType, 0x12345);
    img.Put16(kSource, 0xFFFF); // signed -1
    img.Put16(kPaperSize, 9);
    img.Put16(76, 1); // portrait
    img.Priv16(100, 2);
    img.Priv16(256, 0x1F);
    img.Priv16(76, 3);
    img.Priv16(92, 5);
    img.Priv16(96, 6);
    img.Priv16(102, 3);
    CKinsokuList list(nullptr, nullptr, img.data());
    struct Case {
        WORD trigger;
        DWORD value;
    };
    const Case cases[] = {
        {205, 9},
        {206, (1u << 16) | 9}, // a layout word of 0x1F turns nothing
        {208, 0x12345},
        {209, 0xFFFFFFFF},
        {211, 1},
        {212, 3}, // collated: 2 reads as 3
        {213, 2},
        {214, (2u << 16) | 3},
        {215, 4},
        {216, 1},
        {217, 8},
        {218, 16},
        {219, 6},
        {220, 5},
        {222, (5u << 16) | 2},
        {223, 1},
        {224, 2},
        {225, 2},
        {234, (3u << 16) | 3},
        {235, (2u << 16) | 3},
        {236, 9 + (1u << 24) + (5u << 16)},
        {237, 9 + (1u << 24) + (6u << 16)},
        {204, 0},
        {242, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.TriggerValue(c.trigger, img.data()), c.value) << "trigger " << c.trigger;
}

// Collate (target 8) and reverse order (target 15) with a poster trigger:
// the smallest engine a page would see.
struct PosterCollate {
    Image img;
    PosterCollate() {
        img.Fields(DM_COLLATE);
        img.PrivBits(16, 1u << 4);  // poster item, trigger 215
        img.PrivBits(12, 1u << 12); // reverse order item, trigger 229
    }
};

TEST(KinsokuItem, ValuesRulesAndBlockers) {
    PosterCollate f;
    CKinsokuList list(nullptr, nullptr, f.img.data());
    CKinsokuItem* collate = list.GetItem(kItemCollate);
    ASSERT_NE(collate, nullptr);
    EXPECT_EQ(collate->AddValue(1, 10, 11), 0u);
    EXPECT_EQ(collate->AddValue(0, 20, 21), 1u);
    EXPECT_EQ(collate->AddValue(1, 12, 13), 2u) << "a value added again answers the count";
    EXPECT_EQ(collate->FindAtom(1)->param1, 12u);
    EXPECT_TRUE(collate->IsValueRefused(7)) << "a value not listed is refused";
    EXPECT_FALSE(collate->IsValueRefused(0));

    EXPECT_TRUE(list.AddDependency(kTriggerPoster, kItemCollate));
    EXPECT_TRUE(list.AddDependency(kTriggerPoster, kItemCollate));
    EXPECT_FALSE(list.AddDependency(kTriggerMedia, kItemCollate)) << "208 is not applicable";
    collate->GetItemRule(kTriggerPoster)->allowUnlisted = 1;
    const WORD one = 1;
    collate->AddRuleValues(kTriggerPoster, 4, &one, 1);
    EXPECT_TRUE(collate->ApplyTrigger(kTriggerPoster, 4));
    EXPECT_FALSE(collate->ApplyTrigger(kTriggerPoster, 4)) << "nothing changes the second time";
    EXPECT_TRUE(list.IsValueRefused(kItemCollate, 0));
    WORD blockers[4] = {};
    EXPECT_EQ(list.GetBlockers(kItemCollate, 0, nullptr, 0), 1u);
    EXPECT_EQ(list.GetBlockers(kItemCollate, 0, blockers, 4), 1u);
    EXPECT_EQ(blockers[0], kTriggerPoster);
    EXPECT_EQ(list.GetBlockers(kItemCollate, 9, blockers, 4), 0u);
    EXPECT_TRUE(list.FindRuleValue(kItemCollate, 0, kTriggerPoster, 4));
    EXPECT_FALSE(list.FindRuleValue(kItemCollate, 0, kTriggerPoster, 0))
        << "the item rule lets 0 through";
    EXPECT_TRUE(collate->ApplyTrigger(kTriggerPoster, 0));
    EXPECT_FALSE(list.IsValueRefused(kItemCollate, 0));
    EXPECT_EQ(collate->ApplyTrigger(kTriggerMedia, 1), FALSE) << "no rule on that trigger";

    // The value chain: value-list order with the refused marks of now.
    collate->ApplyTrigger(kTriggerPoster, 4);
    KinsokuChainNode* chain = collate->BuildValueChain();
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->value, 1);
    EXPECT_EQ(chain->refused, 0u);
    ASSERT_NE(chain->next, nullptr);
    EXPECT_EQ(chain->next->value, 0);
    EXPECT_EQ(chain->next->refused, 1u);
    EXPECT_EQ(chain->next->next, nullptr);

    EXPECT_EQ(collate->RemoveTrigger(kTriggerPoster), 2u);
    EXPECT_FALSE(list.IsValueRefused(kItemCollate, 0)) << "its blockers go with the rules";
    list.RemoveDependency(kTriggerPoster, kItemCollate);
    EXPECT_FALSE(list.IsDependent(kItemCollate));
}

TEST(KinsokuItem, PickValuePrefersKeyThenDefaultThenFirstAllowed) {
    PosterCollate f;
    CKinsokuList list(nullptr, nullptr, f.img.data());
    CKinsokuItem* it = list.GetItem(kItemReverse);
    for (DWORD v : {3u, 1u, 0u, 2u})
        it->AddValue(v, 0, 0);
    EXPECT_EQ(it->PickValue(0, 0), 3u) << "no default: the first allowed";
    it->SetDefault(0);
    EXPECT_EQ(it->PickValue(0, 0), 0u);
    CValidRule* keyed = it->GetValueRule(kTriggerPoster, 4);
    keyed->preferred = 2;
    keyed->flags = kRulePreferredValid;
    EXPECT_EQ(it->PickValue(kTriggerPoster, 4), 2u);
    EXPECT_EQ(it->PickValue(kTriggerPoster, 0), 0u);
    // Nothing allowed: the preferred value stands.
    list.AddDependency(kTriggerPoster, kItemReverse);
    it->ApplyTrigger(kTriggerPoster, 4);
    EXPECT_EQ(it->PickValue(0, 0), 0u);
    CKinsokuItem empty(15);
    EXPECT_EQ(empty.PickValue(0, 0), 0u);
}

TEST(KinsokuResolve, CorrectsOnceThenSettlesAndForceReapplies) {
    PosterCollate f;
    CKinsokuList list(nullptr, nullptr, f.img.data());
    CKinsokuItem* collate = list.GetItem(kItemCollate);
    collate->AddValue(1, 0, 0);
    collate->AddValue(0, 0, 0);
    collate->SetDefault(1);
    list.AddDependency(kTriggerPoster, kItemCollate);
    collate->GetItemRule(kTriggerPoster)->allowUnlisted = 1;
    const WORD one = 1;
    collate->AddRuleValues(kTriggerPoster, 4, &one, 1);

    // Poster chosen with collate off: collate is turned on.
    f.img.Priv16(256, 4);
    EXPECT_EQ(list.Resolve(f.img.data(), FALSE), kResolveSettled);
    EXPECT_EQ(f.img.Get16(kCollate), 1u);
    EXPECT_TRUE(list.WasCorrected(kItemCollate));
    EXPECT_TRUE(list.WasChangedByUser(kTriggerPoster)) << "every trigger counts in a first resolve";
    EXPECT_EQ(list.Refreshed(), std::vector<WORD>{kItemCollate});
    EXPECT_EQ(std::memcmp(list.WorkingImage(), f.img.data(), kKinsokuImageSize), 0);

    // The same image again: nothing to do.
    EXPECT_EQ(list.Resolve(f.img.data(), FALSE), kResolveSettled);
    EXPECT_EQ(list.LastRounds(), 0u);
    EXPECT_TRUE(list.Corrected().empty());
    EXPECT_TRUE(list.Changed().empty());

    // The user turns collate off again: refused while the poster stands.
    f.img.Put16(kCollate, 0);
    list.Resolve(f.img.data(), FALSE);
    EXPECT_EQ(f.img.Get16(kCollate), 1u);
    EXPECT_FALSE(list.WasChangedByUser(kTriggerPoster)) << "only changed triggers";
    EXPECT_TRUE(list.WasChangedByUser(211));

    // Poster off: collate is free again and stays as the user sets it.
    f.img.Priv16(256, 0);
    f.img.Put16(kCollate, 0);
    list.Resolve(f.img.data(), FALSE);
    EXPECT_EQ(f.img.Get16(kCollate), 0u);
    EXPECT_EQ(list.Changed(), (std::vector<WORD>{211, kTriggerPoster}));

    // A forced resolve applies every trigger again.
    list.Resolve(f.img.data(), TRUE);
    EXPECT_GE(list.LastRounds(), 1u);
    EXPECT_TRUE(list.WasChangedByUser(kTriggerOptions));
    EXPECT_TRUE(list.WasChangedByUser(kTriggerPoster));
}

// Collate may only be what reverse order is not, and reverse order only what
// collate is not: from equal values every round flips both, so they never
// meet the images (0, 1) and (1, 0) that both rules accept.
struct UndoingRules {
    PosterCollate f;
    bool driverCollate; // collate by the driver (target 23) applies too
    CKinsokuList list;
    explicit UndoingRules(bool withDriverCollate = false)
        : driverCollate(Mark(f, withDriverCollate)), list(nullptr, nullptr, f.img.data()) {
        CKinsokuItem* collate = list.GetItem(kItemCollate);
        CKinsokuItem* reverse = list.GetItem(kItemReverse);
        for (CKinsokuItem* it : {collate, reverse}) {
            it->AddValue(0, 0, 0);
            it->AddValue(1, 0, 0);
        }
        const WORD zero = 0, one = 1;
        list.AddDependency(229, kItemCollate);
        collate->AddRuleValues(229, 0, &one, 1);
        collate->AddRuleValues(229, 1, &zero, 1);
        list.AddDependency(211, kItemReverse);
        reverse->AddRuleValues(211, 0, &one, 1);
        reverse->AddRuleValues(211, 1, &zero, 1);
    }
    static bool Mark(PosterCollate& f, bool on) {
        if (on) f.img.PrivBits(12, 1u << 15);
        return on;
    }
    void Set(DWORD collate, DWORD reverse) {
        f.img.Put16(kCollate, collate);
        f.img.Priv16(82, reverse);
    }
    bool Is(DWORD collate, DWORD reverse) const {
        return f.img.Get16(kCollate) == collate && f.img.GetPriv16(82) == reverse;
    }
};

TEST(KinsokuResolve, RulesThatUndoEachOtherGoBackToTheLastConsistentImage) {
    UndoingRules r;
    r.Set(0, 1);
    EXPECT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveSettled);
    EXPECT_TRUE(r.Is(0, 1));

    // The user turns collate on as well: the rules chase each other until the
    // cap, and the image the last resolve settled on comes back.
    r.Set(1, 1);
    EXPECT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveUnsettled);
    EXPECT_EQ(r.list.LastRounds(), kMaxResolveRounds);
    EXPECT_TRUE(r.Is(0, 1));
    EXPECT_TRUE(r.list.WasCorrected(kItemCollate));
    // The blockers are those of the image given back: nothing in it refused,
    // and a resolve of it returns at once.
    EXPECT_FALSE(r.list.IsValueRefused(kItemCollate, 0));
    EXPECT_FALSE(r.list.IsValueRefused(kItemReverse, 1));
    EXPECT_TRUE(r.list.IsValueRefused(kItemCollate, 1));
    EXPECT_EQ(std::memcmp(r.list.WorkingImage(), r.f.img.data(), kKinsokuImageSize), 0);
    EXPECT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveSettled);
    EXPECT_EQ(r.list.LastRounds(), 0u);
}

TEST(KinsokuResolve, RulesThatUndoEachOtherGoBackOnAForcedResolveToo) {
    UndoingRules r;
    r.Set(0, 1);
    ASSERT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveSettled);
    r.Set(1, 1);
    EXPECT_EQ(r.list.Resolve(r.f.img.data(), TRUE), kResolveUnsettled);
    EXPECT_TRUE(r.Is(0, 1));
}

TEST(KinsokuResolve, RulesThatUndoEachOtherKeepTheImageHandedIn) {
    // No resolve settled before, or the image it settled on is refused by a
    // rule added since (collate by the driver only with reverse order): the
    // image stays as it came, its blockers set, and every resolve reports it
    // again.
    for (bool ruleAdded : {false, true}) {
        UndoingRules r(true);
        if (ruleAdded) {
            r.Set(0, 1);
            ASSERT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveSettled);
            CKinsokuItem* byDriver = r.list.GetItem(kItemCollateByDriver);
            byDriver->AddValue(0, 0, 0);
            byDriver->AddValue(1, 0, 0);
            r.list.AddDependency(229, kItemCollateByDriver);
            const WORD one = 1;
            byDriver->AddRuleValues(229, 1, &one, 1);
        }
        r.Set(1, 1);
        EXPECT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveUnsettled) << ruleAdded;
        EXPECT_EQ(r.list.LastRounds(), kMaxResolveRounds);
        EXPECT_TRUE(r.Is(1, 1)) << ruleAdded;
        EXPECT_EQ(r.f.img.GetPriv16(90), 0u) << ruleAdded;
        EXPECT_TRUE(r.list.IsValueRefused(kItemCollate, 1));
        EXPECT_TRUE(r.list.IsValueRefused(kItemReverse, 1));
        EXPECT_EQ(r.list.Resolve(r.f.img.data(), FALSE), kResolveUnsettled) << ruleAdded;
        EXPECT_TRUE(r.Is(1, 1)) << ruleAdded;
    }
}

TEST(KinsokuResolve, TargetReplacementRules) {
    // Sort (target 9): an even sort tries 0, an odd one 1, others the plain choice.
    struct SortCase {
        DWORD current;
        std::vector<DWORD> refusedToo;
        DWORD expected;
    };
    const SortCase sorts[] = {
        {3, {}, 1}, {4, {}, 0}, {7, {}, 2}, {3, {1}, 2}, {4, {0}, 2},
    };
    for (const SortCase& c : sorts) {
        Image img;
        img.PrivBits(12, (1u << 20) | (1u << 12));
        img.Priv16(100, c.current);
        CKinsokuList list(nullptr, nullptr, img.data());
        CKinsokuItem* sort = list.GetItem(kItemSort);
        for (DWORD v : {2u, 0u, 1u})
            sort->AddValue(v, 0, 0);
        list.AddDependency(229, kItemSort);
        CValidRule* rule = sort->GetItemRule(229);
        for (DWORD v : {0u, 1u, 2u})
            if (std::find(c.refusedToo.begin(), c.refusedToo.end(), v) == c.refusedToo.end())
                rule->allowed.push_back(v);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.GetPriv16(100), c.expected) << "sort " << c.current;
        EXPECT_TRUE(list.WasCorrected(kItemSort));
    }

    // Duplex (target 22): refused by the staple trigger alone, the staple's
    // preferred duplex; simplex clears the duplex-notice bit.
    {
        Image img;
        img.Fields(DM_DUPLEX);
        img.PrivBits(12, 1u << 16); // fold item, trigger 220
        img.Put16(kDuplex, 2);
        img.Priv16(92, 3);
        img.PrivBits(28, 1);
        CKinsokuList list(nullptr, nullptr, img.data());
        CKinsokuItem* duplex = list.GetItem(kItemDuplex);
        for (DWORD v : {1u, 2u, 3u})
            duplex->AddValue(v, 0, 0);
        list.AddDependency(kTriggerStapleMode, kItemDuplex);
        CValidRule* rule = duplex->GetValueRule(kTriggerStapleMode, 3);
        rule->allowed = {1, 3};
        rule->preferred = 3;
        rule->flags = kRulePreferredValid;
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.Get16(kDuplex), 3u);
        EXPECT_EQ(img.Get32(220 + 28) & 1, 1u);
        rule->allowed = {1};
        rule->preferred = 2;
        list.Resolve(img.data(), TRUE);
        EXPECT_EQ(img.Get16(kDuplex), 1u) << "the preferred 2 is refused: the first allowed";
        EXPECT_EQ(img.Get32(220 + 28) & 1, 0u);
    }

    // Target 43: while value 1 is allowed its bit follows the duplex margin.
    {
        Image img;
        img.PrivBits(12, 1u << 10);
        img.Priv16(78, 5);
        CKinsokuList list(nullptr, nullptr, img.data());
        CKinsokuItem* it = list.GetItem(43);
        it->AddValue(0, 0, 0);
        it->AddValue(1, 0, 0);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.Get32(220 + 36) & 1, 1u);
        EXPECT_FALSE(list.WasCorrected(43));
        img.Priv16(78, 0);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.Get32(220 + 36) & 1, 0u);
    }

    // Paper given by length and width: never corrected.
    {
        Image img;
        img.Fields(DM_PAPERSIZE | DM_PAPERLENGTH);
        img.Put16(kPaperSize, 77);
        CKinsokuList list(nullptr, nullptr, img.data());
        list.GetItem(kItemPaper)->AddValue(1, 0, 0);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.Get16(kPaperSize), 77u);
        img.Put32(72, DM_PAPERSIZE);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.Get16(kPaperSize), 1u);
    }

    // Layout bits: pages per sheet refused clears its bit and fits the
    // output paper when one is set.
    {
        Image img;
        img.PrivBits(16, 1u << 3);
        img.Priv16(256, 1);
        img.Priv16(56, 9);
        CKinsokuList list(nullptr, nullptr, img.data());
        list.GetItem(kItemNup)->AddValue(0, 0, 0);
        list.Resolve(img.data(), FALSE);
        EXPECT_EQ(img.GetPriv16(256), 8u);
    }
}

TEST(KinsokuListOps, AddAllowedValuesNormalisesExclusions) {
    struct Case {
        std::vector<WORD> exclusions;
        std::vector<DWORD> allowed;
    };
    const Case cases[] = {
        {{3}, {1, 2, 4}},
        {{9}, {1, 3, 4}},
        {{1, 4}, {2, 3}},
    };
    for (const Case& c : cases) {
        CKinsokuItem it(34);
        for (DWORD v : {1u, 2u, 3u, 4u})
            it.AddValue(v, 0, 0);
        ASSERT_TRUE(AddAllowedValues(&it, 205, 9, c.exclusions.data(),
                                     static_cast<int>(c.exclusions.size())));
        EXPECT_EQ(it.FindValueRule(205, 9)->allowed, c.allowed);
    }
    CKinsokuItem it(34);
    it.AddValue(1, 0, 0);
    const WORD none = 0;
    EXPECT_TRUE(AddAllowedValues(&it, 205, 9, &none, 0));
    EXPECT_EQ(it.FindValueRule(205, 9), nullptr) << "an empty exclusion list adds nothing";
    EXPECT_FALSE(AddAllowedValues(&it, 205, 9, nullptr, 1));
    EXPECT_FALSE(AddAllowedValues(nullptr, 205, 9, &none, 1));
}

TEST(KinsokuListOps, CodeMaps) {
    struct Case {
        DWORD code, nine, six, three, option;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 2},     {1, 0, 1, 2, 1},     {2, 1, 2, 3, 2},
        {3, 0x101, 3, 1, 3}, {4, 0x201, 4, 0, 4}, {6, 0x202, 6, 0, 2},
        {7, 0x301, 0, 0, 2}, {9, 0x303, 0, 0, 2}, {10, 0, 0, 0, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MapModelCodeNine(c.code), c.nine) << c.code;
        EXPECT_EQ(MapModelCodeSix(c.code), c.six) << c.code;
        EXPECT_EQ(MapModelCodeThree(c.code), c.three) << c.code;
        EXPECT_EQ(MapOptionCode(c.code), c.option) << c.code;
    }
    const DWORD bits[][2] = {
        {1, 0}, {2, 1}, {4, 4}, {8, 5}, {16, 2}, {32, 3}, {64, kNoSortValue}, {3, kNoSortValue}};
    for (auto& b : bits)
        EXPECT_EQ(MapSortBit(b[0]), b[1]) << b[0];
}

} // namespace
