// The rule builders on both sample models: one setting changed on a settled
// image, the values the engine then refuses and the image after resolve; and
// BuildAllKinsoku / DeleteAllKinsoku called through the built library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "ui/sheetwright.h"
#include "model_codes.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/devmode.h"

namespace {

using namespace sheetwright;

// Raw offsets of the image: standard fields, private ones at 220 + N.
constexpr size_t kPriv = 220;
constexpr size_t kFieldsAt = 72, kPaperAt = 78, kPaperLengthAt = 80, kPaperWidthAt = 82,
                 kSourceAt = 88, kDuplexAt = 94, kCollateAt = 100, kMediaAt = 196,
                 kOrientationAt = 76, kQualityAt = 90;
constexpr size_t kLayoutAt = kPriv + 256, kReverseAt = kPriv + 82, kNupAt = kPriv + 260;

struct Image {
    std::vector<BYTE> b = std::vector<BYTE>(kKinsokuImageSize, 0);
    Image() {
        Put(68, 2, 220);
        Put(70, 2, 1100);
        // Paper, media type, source, collate and duplex are the document's;
        // booklet, pages per sheet and poster the private block's.
        Put(kFieldsAt, 4,
            DM_PAPERSIZE | DM_MEDIATYPE | DM_DEFAULTSOURCE | DM_COLLATE | DM_DUPLEX | DM_COPIES);
        Put(kPriv + 16, 4, (1u << 2) | (1u << 3) | (1u << 4));
        Put(kPriv + 12, 4, 1u << 12);
        Put(kOrientationAt, 2, 1);
        Put(kQualityAt, 2, 600);
        Put(kPaperAt, 2, 1);
        Put(kMediaAt, 4, 1);
        Put(kSourceAt, 2, 7);
        Put(kCollateAt, 2, 1);
        Put(kDuplexAt, 2, 1);
        Put(kPriv + 280, 2, 2);
        Put(kPriv + 282, 2, 2);
    }
    void Put(size_t at, size_t width, DWORD v) { std::memcpy(&b[at], &v, width); }
    DWORD Get(size_t at, size_t width = 2) const {
        DWORD v = 0;
        std::memcpy(&v, &b[at], width);
        return v;
    }
};

// A printer of a sample model and a list built for an image: the rule pairs
// and the model's rules, with the printer's installed options at hand.
// `edit`, when given, changes the sample's source before it is compiled.
using SourceEdit = void (*)(nlohmann::json&);
struct Installed {
    Installed(const std::u16string& name, const char* model, SourceEdit edit = nullptr) {
        if (!edit) {
            ui_test::InstallPrinter(name, ui_test::SampleModel(model));
            return;
        }
        nlohmann::json src = ui_test::SampleSource(model);
        edit(src);
        ui_test::InstallPrinter(name, ui_test::Compile(src));
    }
};
struct Built : Installed {
    ui_test::BoundPrinter p;
    CKinsokuList list;
    CInstallOption options;
    ModelOptionPair pair;
    Built(const std::u16string& name, const char* model, const Image& img,
          SourceEdit edit = nullptr)
        : Installed(name, model, edit), p(name), list(p.binding(), nullptr, img.b.data()),
          options(p.printer(), p.binding()), pair{p.binding(), &options} {
        EXPECT_TRUE(p.ok());
        EXPECT_TRUE(LoadKinsokuPairs(p.binding(), &list));
        EXPECT_TRUE(BuildKinsokuRules(p.binding(), &list, 1));
    }
};

struct Change {
    size_t at;
    size_t width;
    DWORD value;
};

struct Case {
    const char* name;
    const char* model;
    bool installedOptions; // the rules on the installed-option trigger too
    std::vector<Change> start;
    std::vector<Change> change;
    WORD target;
    std::vector<DWORD> refused; // values of the target refused after the resolve
    std::vector<Change> after;  // fields of the image after the resolve
    std::vector<WORD> corrected;
    SourceEdit edit = nullptr;              // the sample changed first
    void (*fit)(CInstallOption&) = nullptr; // options fitted before the rules on 204
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class KinsokuModel : public ::testing::TestWithParam<Case> {};

std::string Describe(const CKinsokuList& list, WORD target) {
    std::string out;
    if (CKinsokuItem* it = list.FindItem(target))
        for (auto& a : it->Values())
            if (!a->blockers.empty()) {
                out += std::to_string(a->value) + " (by";
                for (WORD t : a->blockers)
                    out += " " + std::to_string(t);
                out += ") ";
            }
    return out;
}

TEST_P(KinsokuModel, ChangeRefuseResolve) {
    const Case& c = GetParam();
    Image img;
    for (const Change& s : c.start)
        img.Put(s.at, s.width, s.value);
    Built built(u"K1", c.model, img, c.edit);
    CKinsokuList& list = built.list;
    ModelOptionPair& pair = built.pair;
    if (c.fit) c.fit(built.options);
    if (c.installedOptions) {
        ASSERT_TRUE(BuildModelKinsoku(&pair, &list));
    }

    // The starting image settles without touching what the case set.
    EXPECT_EQ(list.Resolve(img.b.data(), FALSE), kResolveSettled);
    for (const Change& s : c.start)
        EXPECT_EQ(img.Get(s.at, s.width), s.value) << "start at " << s.at;

    for (const Change& s : c.change)
        img.Put(s.at, s.width, s.value);
    EXPECT_EQ(list.Resolve(img.b.data(), FALSE), kResolveSettled);
    std::vector<DWORD> refused;
    if (CKinsokuItem* it = list.FindItem(c.target))
        for (auto& a : it->Values())
            if (!a->blockers.empty()) refused.push_back(a->value);
    EXPECT_EQ(refused, c.refused) << "refused now: " << Describe(list, c.target);
    for (const Change& a : c.after)
        EXPECT_EQ(img.Get(a.at, a.width), a.value) << "after at " << a.at;
    // Items the model gives no values (duplex and halftone on the small
    // model) are rewritten with their default on every resolve as well.
    for (WORD item : c.corrected)
        EXPECT_TRUE(list.WasCorrected(item)) << "item " << item;
    for (WORD item : {kItemPaper, kItemMedia, kItemSource, kItemCollate})
        if (!std::count(c.corrected.begin(), c.corrected.end(), item)) {
            EXPECT_FALSE(list.WasCorrected(item)) << "item " << item;
        }
}

// The sample's booklet finisher given only the fold rules' capabilities:
// booklet sheets on fold and booklet (222), collate and duplex on fold (220)
// and fold on the installed options (204). Its top-left staple (code 1) goes with and
// without booklet printing, its saddle stitch (code 6) only with it.
void FoldingFinisher(nlohmann::json& src) {
    nlohmann::json& finisher = src["codes"]["27"]["entries"][1];
    finisher["caps"] = "0xC8004000";
    finisher["fold"]["items"][0]["s2"] = "0x6000";
    finisher["fold"]["items"][1]["s2"] = "0x4000";
}
// The same with a duplex unit that works only when fitted (none is).
void FoldingFinisherOptionalDuplex(nlohmann::json& src) {
    FoldingFinisher(src);
    src["codes"]["25"]["record"][1] = 4;
    src["codes"]["25"]["record"][2] = 4;
}
// The booklet finisher fitted with its fold unit, and the output bins of its
// fold codes: the second fits both, the first only that of code 2.
void FitFolder(CInstallOption& options) {
    options.Find(kOptionFinisher, 2)->state = 1 | kFinisherFoldUnit;
    options.Find(model::kQueryOutputBins, 2)->state = 1;
}
// The folder fitted, and bin 1 (standard on the sample) taken out: fold code
// 1 then has no output bin.
void FitFolderWithoutBinOne(CInstallOption& options) {
    FitFolder(options);
    options.Find(model::kQueryOutputBins, 1)->state = 0;
}
void FitFolderAndBins(CInstallOption& options) {
    FitFolder(options);
    options.Find(model::kQueryOutputBins, 1)->state = 1;
}
// The booklet finisher fitted with its punch unit.
void FitPuncher(CInstallOption& options) {
    options.Find(kOptionFinisher, 2)->state = 1 | kFinisherPunchUnit;
}
constexpr size_t kFoldAt = kPriv + 92, kPunchAt = kPriv + 96, kSignatureAt = kPriv + 270,
                 kFeaturesAt = kPriv + 12;
constexpr DWORD kFoldOffered = (1u << 12) | (1u << 16);

// Rule pairs added to the sample's table 95 (a controlling trigger and the
// items it rules), where the samples have none for it.
void AddPairs(nlohmann::json& src, int trigger, std::initializer_list<int> items) {
    nlohmann::json& entries = src["codes"]["95"]["entries"];
    for (nlohmann::json& e : entries)
        if (e["id"] == trigger) {
            for (int item : items)
                e["values"].push_back(item);
            return;
        }
    entries.push_back({{"id", trigger}, {"values", items}});
}
void NupRulesMirror(nlohmann::json& src) {
    AddPairs(src, 216, {16});
}
void DuplexRulesCollate(nlohmann::json& src) {
    AddPairs(src, 225, {8});
}
// Tray 1 feeds the first side only (flag bit 0 without bit 1).
void DuplexKindRulesCoverTray(nlohmann::json& src) {
    AddPairs(src, 235, {28});
    for (nlohmann::json& tray : src["codes"]["24"]["entries"])
        if (tray["id"] == 1) tray["flags"] = "0x01";
}
void BookletKindRulesFrontCover(nlohmann::json& src) {
    AddPairs(src, 214, {18});
}
// The copy control lets the printer collate (bit 3).
void CollateRulesDriverCollate(nlohmann::json& src) {
    AddPairs(src, 211, {23});
    const std::string flags = src["codes"]["38"]["1"][0];
    char text[24];
    std::snprintf(text, sizeof text, "0x%02lX", std::stoul(flags, nullptr, 16) | 8);
    src["codes"]["38"]["1"][0] = text;
}

constexpr DWORD kSizedPaper = DM_PAPERSIZE | DM_MEDIATYPE | DM_DEFAULTSOURCE | DM_COLLATE |
                              DM_DUPLEX | DM_COPIES | DM_PAPERLENGTH | DM_PAPERWIDTH;
constexpr size_t kMirrorAt = kPriv + 84, kDuplexKindAt = kPriv + 76, kDriverCollateAt = kPriv + 90,
                 kCoverFlagsAt = kPriv + 102, kFrontSourceAt = kPriv + 106;

const Case kCases[] = {
    // Rules on the paper (205): Ledger-size 8 takes no Bond (3); the media
    // type gives way to its default.
    {"PaperLimitsMedia",
     "CX5540",
     false,
     {{kMediaAt, 4, 3}},
     {{kPaperAt, 2, 8}},
     kItemMedia,
     {2, 3, 259, 260},
     {{kPaperAt, 2, 8}, {kMediaAt, 4, 1}},
     {kItemMedia}},
    // Paper and tray refuse each other (205 and 209 both ruled): the paper
    // the tray refuses is replaced by the default, and the tray then by the
    // default tray.
    {"PaperAndTrayDisagree",
     "CX5540",
     false,
     {{kSourceAt, 2, 11}},
     {{kPaperAt, 2, 5}},
     kItemSource,
     {},
     {{kPaperAt, 2, 1}, {kSourceAt, 2, 7}},
     {kItemPaper, kItemSource}},
    {"PaperAndMediaDisagree",
     "CX5540",
     false,
     {{kMediaAt, 4, 3}},
     {{kPaperAt, 2, 5}},
     kItemMedia,
     {260},
     {{kPaperAt, 2, 1}, {kMediaAt, 4, 1}},
     {kItemPaper, kItemMedia}},
    {"LegalTakesPlainOnly",
     "LP1220",
     false,
     {{kMediaAt, 4, 257}},
     {{kPaperAt, 2, 5}},
     kItemMedia,
     {257, 260},
     {{kPaperAt, 2, 5}, {kMediaAt, 4, 1}},
     {kItemMedia}},
    // Rules on the media type (208).
    {"MediaLimitsPapers",
     "CX5540",
     false,
     {{kPaperAt, 2, 9}},
     {{kMediaAt, 4, 2}},
     kItemPaper,
     {5, 7, 3, 8, 11, 70, 13, 20, 27, 28, 37},
     {{kPaperAt, 2, 9}, {kMediaAt, 4, 2}},
     {}},
    // Rules on the tray (209).
    {"TrayLimitsMedia",
     "LP1220",
     false,
     {{kPaperAt, 2, 9}, {kMediaAt, 4, 257}},
     {{kSourceAt, 2, 1}},
     kItemMedia,
     {257, 260},
     {{kPaperAt, 2, 9}, {kSourceAt, 2, 1}, {kMediaAt, 4, 1}},
     {kItemMedia}},
    // Rules on booklet (213) and poster (215).
    {"BookletCollates",
     "LP1220",
     false,
     {{kCollateAt, 2, 0}},
     {{kLayoutAt, 2, 2}},
     kItemCollate,
     {0},
     {{kLayoutAt, 2, 2}, {kCollateAt, 2, 1}},
     {kItemCollate}},
    {"PosterCollates",
     "LP1220",
     false,
     {{kCollateAt, 2, 0}},
     {{kLayoutAt, 2, 4}},
     kItemCollate,
     {0},
     {{kLayoutAt, 2, 4}, {kCollateAt, 2, 1}},
     {kItemCollate}},
    // A paper of the user's own size: the custom paper's rules (456) while
    // its longer side stays within the custom paper's largest length
    // (457.2 mm on the large sample), the long paper's (457) beyond it. Both
    // feed from the bypass tray only.
    {"CustomPaperRules",
     "CX5540",
     false,
     {{kMediaAt, 4, 258}},
     {{kFieldsAt, 4, kSizedPaper},
      {kPaperAt, 2, 456},
      {kPaperWidthAt, 2, 2100},
      {kPaperLengthAt, 2, 4572}},
     kItemMedia,
     {2, 3, 259, 260},
     {{kPaperAt, 2, 456}, {kMediaAt, 4, 258}, {kSourceAt, 2, 4}},
     {kItemSource}},
    {"LongPaperRules",
     "CX5540",
     false,
     {{kMediaAt, 4, 258}},
     {{kFieldsAt, 4, kSizedPaper},
      {kPaperAt, 2, 456},
      {kPaperWidthAt, 2, 2100},
      {kPaperLengthAt, 2, 4573}},
     kItemMedia,
     {2, 3, 258, 259, 260},
     {{kPaperAt, 2, 456}, {kMediaAt, 4, 1}, {kSourceAt, 2, 4}},
     {kItemMedia, kItemSource}},
    // The small sample has no long papers: any size keeps the custom rules.
    {"WithoutLongPapersEverySizeIsCustom",
     "LP1220",
     false,
     {},
     {{kFieldsAt, 4, kSizedPaper},
      {kPaperAt, 2, 456},
      {kPaperWidthAt, 2, 2100},
      {kPaperLengthAt, 2, 9000}},
     kItemMedia,
     {257, 260},
     {{kPaperAt, 2, 456}, {kMediaAt, 4, 1}, {kSourceAt, 2, 4}},
     {kItemSource}},
    // Pages per sheet (216) print no mirror image.
    {"NupRefusesMirror",
     "CX5540",
     false,
     {{kFeaturesAt, 4, (1u << 12) | 1u}, {kMirrorAt, 2, 1}},
     {{kLayoutAt, 2, 1}, {kNupAt, 2, 2}},
     16,
     {1},
     {{kLayoutAt, 2, 1}, {kMirrorAt, 2, 0}},
     {16},
     NupRulesMirror},
    {"NupRefusesMirrorSmall",
     "LP1220",
     false,
     {{kFeaturesAt, 4, (1u << 12) | 1u}, {kMirrorAt, 2, 1}},
     {{kLayoutAt, 2, 1}, {kNupAt, 2, 2}},
     16,
     {1},
     {{kLayoutAt, 2, 1}, {kMirrorAt, 2, 0}},
     {16},
     NupRulesMirror},
    // Two-sided printing (225) is collated.
    {"DuplexCollates",
     "CX5540",
     false,
     {{kCollateAt, 2, 0}},
     {{kDuplexAt, 2, 2}},
     kItemCollate,
     {0},
     {{kDuplexAt, 2, 2}, {kCollateAt, 2, 1}},
     {kItemCollate},
     DuplexRulesCollate},
    // The small sample prints one side only: two-sided goes back. Collate,
    // corrected first in target order while two-sided still stood, stays on.
    {"NoDuplexUnitStillCollated",
     "LP1220",
     false,
     {{kCollateAt, 2, 0}},
     {{kDuplexAt, 2, 2}},
     kItemCollate,
     {},
     {{kDuplexAt, 2, 1}, {kCollateAt, 2, 1}},
     {kItemDuplex, kItemCollate},
     DuplexRulesCollate},
    // Two-sided and its kind (235): the second side's kind takes the front
    // cover from trays that feed the second side.
    {"DuplexKindRefusesCoverTray",
     "CX5540",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 9) | (1u << 22)},
      {kDuplexAt, 2, 2},
      {kFrontSourceAt, 2, 1}},
     {{kDuplexKindAt, 2, 1}},
     28,
     {1},
     {{kDuplexKindAt, 2, 1}, {kFrontSourceAt, 2, 4}},
     {28},
     DuplexKindRulesCoverTray},
    // One-sided printing leaves every tray to the cover, whatever the kind.
    {"OneSidedLeavesCoverTray",
     "LP1220",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 9) | (1u << 22)}, {kFrontSourceAt, 2, 1}},
     {{kDuplexKindAt, 2, 1}},
     28,
     {},
     {{kDuplexAt, 2, 1}, {kDuplexKindAt, 2, 1}, {kFrontSourceAt, 2, 1}},
     {},
     DuplexKindRulesCoverTray},
    // A booklet of the second kind (214) takes no front cover.
    {"BookletKindRefusesFrontCover",
     "CX5540",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 9) | (1u << 22)},
      {kDuplexKindAt, 2, 1},
      {kCoverFlagsAt, 2, 1}},
     {{kLayoutAt, 2, 2}},
     18,
     {1},
     {{kLayoutAt, 2, 2}, {kCoverFlagsAt, 2, 0}},
     {18},
     BookletKindRulesFrontCover},
    {"BookletKindRefusesFrontCoverSmall",
     "LP1220",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 9) | (1u << 22)},
      {kDuplexKindAt, 2, 1},
      {kCoverFlagsAt, 2, 1}},
     {{kLayoutAt, 2, 2}},
     18,
     {1},
     {{kLayoutAt, 2, 2}, {kCoverFlagsAt, 2, 0}},
     {18},
     BookletKindRulesFrontCover},
    // Uncollated copies (211) are not collated by the driver when the
    // printer can collate.
    {"UncollatedLeavesDriverCollate",
     "CX5540",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 15)}, {kDriverCollateAt, 2, 1}},
     {{kCollateAt, 2, 0}},
     kItemCollateByDriver,
     {1},
     {{kCollateAt, 2, 0}, {kDriverCollateAt, 2, 0}},
     {kItemCollateByDriver},
     CollateRulesDriverCollate},
    {"UncollatedLeavesDriverCollateSmall",
     "LP1220",
     false,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 15)}, {kDriverCollateAt, 2, 1}},
     {{kCollateAt, 2, 0}},
     kItemCollateByDriver,
     {1},
     {{kCollateAt, 2, 0}, {kDriverCollateAt, 2, 0}},
     {kItemCollateByDriver},
     CollateRulesDriverCollate},
    // Installed options (204): trays of feeders not fitted.
    {"FeederNotFitted",
     "CX5540",
     true,
     {},
     {{kSourceAt, 2, 3}},
     kItemSource,
     {3, 258, 11},
     {{kSourceAt, 2, 7}},
     {kItemSource}},
    // Fold rules (222, 220, 204). A folded booklet is made of signatures the
    // folder takes at once: "all sheets" gives way to the first size.
    {"FoldedBookletTakesSignatures",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}, {kLayoutAt, 2, 2}, {kDuplexAt, 2, 2}, {kSignatureAt, 2, 0}},
     {{kFoldAt, 2, 1}},
     kItemBookletSheets,
     {0},
     {{kFoldAt, 2, 1}, {kSignatureAt, 2, 1}, {kDuplexAt, 2, 2}},
     {kItemBookletSheets},
     FoldingFinisher,
     FitFolderAndBins},
    // Fold without booklet printing leaves the signatures alone.
    {"FoldWithoutBookletKeepsSignatures",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}},
     {{kFoldAt, 2, 1}},
     kItemBookletSheets,
     {},
     {{kFoldAt, 2, 1}, {kSignatureAt, 2, 0}},
     {},
     FoldingFinisher,
     FitFolderAndBins},
    // A booklet fold is printed on both sides, in the booklet's binding
    // (long edge on this model).
    {"BookletFoldIsTwoSided",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}},
     {{kFoldAt, 2, 6}},
     kItemDuplex,
     {1, 3},
     {{kFoldAt, 2, 6}, {kDuplexAt, 2, 2}},
     {kItemDuplex},
     FoldingFinisher,
     FitFolderAndBins},
    // A sheet folded in half may be printed either way, collated or not.
    {"BiFoldLeavesDuplex",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}},
     {{kFoldAt, 2, 1}},
     kItemDuplex,
     {},
     {{kFoldAt, 2, 1}, {kDuplexAt, 2, 1}},
     {},
     FoldingFinisher,
     FitFolderAndBins},
    {"FoldLeavesCollate",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}, {kCollateAt, 2, 0}},
     {{kFoldAt, 2, 1}},
     kItemCollate,
     {},
     {{kFoldAt, 2, 1}, {kCollateAt, 2, 0}},
     {},
     FoldingFinisher,
     FitFolderAndBins},
    // A fold code whose output bin is not fitted is refused by the installed
    // options, and the fold is turned off.
    {"FoldUnitNotFitted",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}},
     {{kFoldAt, 2, 1}},
     kItemStapleMode,
     {1},
     {{kFoldAt, 2, 0}, {kDuplexAt, 2, 1}},
     {kItemStapleMode},
     FoldingFinisher,
     FitFolderWithoutBinOne},
    // Without two-sided printing a booklet cannot be folded.
    {"BookletFoldNeedsDuplexUnit",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}},
     {{kFoldAt, 2, 6}},
     kItemStapleMode,
     {6},
     {{kFoldAt, 2, 0}, {kDuplexAt, 2, 1}},
     {kItemStapleMode},
     FoldingFinisherOptionalDuplex,
     FitFolderAndBins},
    // A fitted folder or punch does not fold or punch every job: "none" is
    // among their values even where the finisher's items do not name it.
    {"FolderLeavesNoFold",
     "CX5540",
     true,
     {{kFeaturesAt, 4, kFoldOffered}, {kFoldAt, 2, 0}},
     {{kFoldAt, 2, 1}},
     kItemStapleMode,
     {},
     {{kFoldAt, 2, 1}},
     {},
     FoldingFinisher,
     FitFolderAndBins},
    {"PunchLeavesNoPunch",
     "CX5540",
     true,
     {{kFeaturesAt, 4, (1u << 12) | (1u << 18)}, {kPunchAt, 2, 0}},
     {{kPunchAt, 2, 3}},
     kItemPunchMode,
     {},
     {{kPunchAt, 2, 3}},
     {},
     nullptr,
     FitPuncher},
    // The small model has no finisher: fold builds no rules, and booklet
    // sheets stay as set.
    {"NoFinisherNoFoldRules",
     "LP1220",
     true,
     {{kFeaturesAt, 4, kFoldOffered}, {kLayoutAt, 2, 2}},
     {{kFoldAt, 2, 2}},
     kItemBookletSheets,
     {},
     {{kFoldAt, 2, 2}, {kSignatureAt, 2, 0}},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Builders, KinsokuModel, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(KinsokuBuild, ValuesOfBothModels) {
    for (const char* model : {"CX5540", "LP1220"}) {
        Image img;
        Built built(u"K2", model, img);
        CKinsokuList& list = built.list;
        CKinsokuItem* trays = list.FindItem(kItemSource);
        ASSERT_NE(trays, nullptr) << model;
        // Automatic selection first, manual feed second, then table order.
        ASSERT_GE(trays->Values().size(), 3u);
        EXPECT_EQ(trays->Values()[0]->value, 7u);
        EXPECT_EQ(trays->Values()[1]->value, 4u);
        EXPECT_EQ(trays->Values()[2]->value, 1u);
        EXPECT_TRUE(trays->HasDefault());
        EXPECT_EQ(trays->Default(), 7u);
        CKinsokuItem* paper = list.FindItem(kItemPaper);
        ASSERT_NE(paper, nullptr);
        EXPECT_EQ(paper->Default(), 1u) << "letter region";
        EXPECT_EQ(list.FindItem(kItemCollate)->Default(), 1u);
        // Not enabled by the image: no item, so nothing built for it.
        EXPECT_EQ(list.FindItem(kItemOutputBin), nullptr);
    }
}

TEST(KinsokuBuild, InstalledOptionRulesRebuildTheSame) {
    Image img;
    Built built(u"K3", "CX5540", img);
    CKinsokuList& list = built.list;
    CInstallOption& options = built.options;
    ModelOptionPair& pair = built.pair;
    BuildModelKinsoku(&pair, &list);
    auto snapshot = [&]() {
        std::vector<DWORD> out;
        for (WORD item = kFirstTarget; item <= kLastTarget; ++item)
            if (CKinsokuItem* it = list.FindItem(item))
                if (CValidRule* r = it->FindValueRule(kTriggerOptions, 0)) {
                    out.push_back(item);
                    out.insert(out.end(), r->allowed.begin(), r->allowed.end());
                    out.push_back(r->allowUnlisted);
                }
        return out;
    };
    auto first = snapshot();
    EXPECT_FALSE(first.empty());
    BuildModelKinsoku(&pair, &list);
    EXPECT_EQ(snapshot(), first);
    EXPECT_TRUE(list.IsValueRefused(kItemSource, 3));
    // Fitting the feeder lets its tray through.
    ASSERT_NE(options.Find(kOptionTray, 3), nullptr);
    options.Find(kOptionTray, 3)->state = 1;
    BuildModelKinsoku(&pair, &list);
    EXPECT_FALSE(list.IsValueRefused(kItemSource, 3));
}

// The front cover's item takes its rule on the copies from the copy control
// table, made when the model tables gave it none: any copies with the
// control, only those listed (none) without it.
TEST(KinsokuBuild, FrontCoverRuleOnCopiesFollowsTheCopyControl) {
    struct Case {
        SourceEdit edit;
        DWORD allowUnlisted;
    };
    const Case cases[] = {
        {nullptr, 1},
        {[](nlohmann::json& src) { src["codes"]["38"]["1"][0] = "0x04"; }, 0},
    };
    for (const Case& c : cases) {
        Image img;
        img.Put(kPriv + 12, 4, img.Get(kPriv + 12, 4) | (1u << 22)); // front cover printed
        Built built(u"K9", "CX5540", img, c.edit);
        CKinsokuItem* cover = built.list.FindItem(17);
        ASSERT_NE(cover, nullptr);
        ASSERT_EQ(cover->FindItemRule(kTriggerCopies), nullptr) << "no rule from the tables";
        ASSERT_TRUE(BuildModelKinsoku(&built.pair, &built.list));
        EXPECT_EQ(IsTable38FeatureAvailable(&built.pair) ? 1u : 0u, c.allowUnlisted);
        CValidRule* rule = cover->FindItemRule(kTriggerCopies);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(rule->allowUnlisted, c.allowUnlisted);
        EXPECT_TRUE(rule->allowed.empty());
    }
}

// The fold rules are rebuilt with the installed options, not added twice.
TEST(KinsokuBuild, FoldRulesRebuildTheSame) {
    Image img;
    img.Put(kFeaturesAt, 4, kFoldOffered);
    Built built(u"K10", "CX5540", img, FoldingFinisher);
    FitFolderAndBins(built.options);
    auto snapshot = [&]() {
        std::vector<DWORD> out;
        for (WORD item : {kItemStapleMode, kItemCollate, kItemDuplex, kItemBookletSheets})
            if (CKinsokuItem* it = built.list.FindItem(item))
                for (const auto* rules : {&it->ValueRules(), &it->ItemRules()})
                    for (const auto& r : *rules) {
                        out.insert(out.end(), {item, r->trigger, r->triggerValue, r->allowUnlisted,
                                               r->preferred});
                        out.insert(out.end(), r->allowed.begin(), r->allowed.end());
                    }
        return out;
    };
    BuildModelKinsoku(&built.pair, &built.list);
    auto first = snapshot();
    EXPECT_FALSE(first.empty());
    BuildModelKinsoku(&built.pair, &built.list);
    EXPECT_EQ(snapshot(), first);
}

TEST(KinsokuBuild, UserPapersReplaceTheFormerOnes) {
    Image img;
    Built built(u"K4", "LP1220", img);
    CKinsokuList& list = built.list;
    const ModelBlock* binding = built.p.binding();
    CKinsokuItem* paper = list.FindItem(kItemPaper);
    ASSERT_NE(paper, nullptr);
    const size_t modelPapers = paper->Values().size();
    paper->AddValue(500, 0, 0);
    paper->AddValue(501, 0, 0);
    CUserPaper papers;
    UserPaperRecord r{};
    std::strcpy(r.name, "Card");
    r.widthTenthMm = 1000;
    r.lengthTenthMm = 1500;
    ASSERT_TRUE(papers.Add(&r));
    std::strcpy(r.name, "Label");
    ASSERT_TRUE(papers.Add(&r));
    ASSERT_TRUE(RemoveCustomPaperRules(binding, &list, &papers));
    ASSERT_EQ(paper->Values().size(), modelPapers + 2);
    EXPECT_LT(paper->Values()[modelPapers - 1]->value, kFirstUserPaperId);
    EXPECT_EQ(paper->Values()[modelPapers]->value, papers.At(0)->paperId);
    EXPECT_EQ(paper->Values()[modelPapers + 1]->value, papers.At(1)->paperId);
    EXPECT_FALSE(RemoveCustomPaperRules(binding, &list, nullptr));
}

using BuildFn = PFN_BuildAllKinsoku;
using DeleteFn = PFN_DeleteAllKinsoku;

TEST(KinsokuExports, BuildAndDeleteThroughTheLibrary) {
    ui_test::InstallPrinter(u"K5", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"K5");
    ASSERT_TRUE(p.ok());
    std::u16string path = ui_test::DriverFolder(u"K5") + u"\\Sheetwright.DLL";
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    auto build = reinterpret_cast<BuildFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "BuildAllKinsoku")));
    auto destroy = reinterpret_cast<DeleteFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DeleteAllKinsoku")));
    ASSERT_NE(build, nullptr);
    ASSERT_NE(destroy, nullptr);

    // A user paper in the user's own file, read by the build.
    {
        CUserPaper papers;
        papers.SetDefaultPath(p.binding());
        UserPaperRecord banner{};
        std::strcpy(banner.name, "Banner");
        banner.SetUnit(1);
        banner.widthTenthMm = 2100;
        banner.widthHundredthIn = 827;
        banner.lengthTenthMm = 9000;
        banner.lengthHundredthIn = 3543;
        ASSERT_TRUE(papers.Add(&banner));
        ASSERT_TRUE(papers.Write());
    }

    Image img;
    auto* dm = reinterpret_cast<const DEVMODEW*>(img.b.data());
    // Everything the build opens or allocates through the platform is
    // released by the build or by the delete.
    struct Counts {
        long global = platform::test::LiveGlobalAllocations();
        long heap = platform::test::LiveHeapAllocations();
        long keys = platform::test::OpenRegistryKeys();
        long views = platform::test::LiveViews();
        size_t handles = platform::test::OpenHandleCount();
        bool operator==(const Counts&) const = default;
    };
    const Counts before;
    DWORD result = 77;
    CKinsokuList* list = build(p.printer(), p.binding(), dm, &result);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(result, 0u);
    // Filled and not resolved: the model's papers and then the user's, the
    // rule pairs of table 95, the rules of the model tables and those of the
    // installed options (no paper feeder fitted: its tray refused).
    CKinsokuItem* paper = list->FindItem(kItemPaper);
    ASSERT_NE(paper, nullptr);
    ASSERT_FALSE(paper->Values().empty());
    EXPECT_EQ(paper->Values().front()->value, 1u);
    EXPECT_EQ(paper->Values().back()->value, kFirstUserPaperId);
    EXPECT_TRUE(list->HasDependency(kTriggerPaper, kItemMedia));
    EXPECT_TRUE(list->HasDependency(kTriggerSource, kItemPaper));
    EXPECT_TRUE(list->FindRuleValue(kItemMedia, 3, kTriggerPaper, 8)) << "no Bond on Ledger";
    EXPECT_FALSE(list->FindRuleValue(kItemMedia, 1, kTriggerPaper, 8));
    EXPECT_TRUE(list->IsValueRefused(kItemSource, 3));
    EXPECT_FALSE(list->IsValueRefused(kItemSource, 7));
    EXPECT_EQ(list->LastRounds(), 0u);
    EXPECT_EQ(std::memcmp(list->WorkingImage(), img.b.data(), kKinsokuImageSize), 0);
    destroy(list);
    destroy(nullptr);
    const Counts after;
    EXPECT_EQ(after.global, before.global);
    EXPECT_EQ(after.heap, before.heap);
    EXPECT_EQ(after.keys, before.keys);
    EXPECT_EQ(after.views, before.views);
    EXPECT_EQ(after.handles, before.handles);

    // Only a device mode of 1320 bytes in all builds a list.
    struct Bad {
        DWORD size, extra;
    };
    for (Bad bad : {Bad{220, 1068}, Bad{188, 1100}, Bad{220, 908}, Bad{0, 0}}) {
        Image other;
        other.Put(68, 2, bad.size);
        other.Put(70, 2, bad.extra);
        EXPECT_EQ(build(p.printer(), p.binding(), reinterpret_cast<const DEVMODEW*>(other.b.data()),
                        nullptr),
                  nullptr)
            << bad.size << "+" << bad.extra;
    }
    EXPECT_EQ(build(nullptr, p.binding(), dm, nullptr), nullptr);
    EXPECT_EQ(build(p.printer(), nullptr, dm, nullptr), nullptr);
    EXPECT_EQ(build(p.printer(), p.binding(), nullptr, nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace

namespace {

// Halftone kind 1 shows the model's resource 20 when its raster record says
// so (bit 19), and its own name otherwise or when the model has no such id.
TEST(KinsokuBuild, HalftoneKindOneMayTakeItsNameFromTheResourceTable) {
    struct Case {
        const char* flags;
        bool resource20;
        DWORD shown;
    };
    for (const Case& c : {Case{"0x08080000", true, 7020}, Case{"0x08080000", false, 9536},
                          Case{"0x08000000", true, 9536}}) {
        nlohmann::json src = ui_test::SampleSource("CX5540");
        src["codes"]["47"]["entries"][0][3] = c.flags;
        if (c.resource20) src["codes"]["70"]["entries"].push_back({20, 7020});
        ui_test::InstallPrinter(u"K7", ui_test::Compile(src));
        Image img;
        img.Put(kPriv + 20, 4, 1u << 4); // item 32
        ui_test::BoundPrinter p(u"K7");
        CKinsokuList list(p.binding(), nullptr, img.b.data());
        ASSERT_TRUE(BuildKinsokuRules(p.binding(), &list, 1));
        CKinsokuItem* item = list.FindItem(32);
        ASSERT_NE(item, nullptr);
        ASSERT_NE(item->FindAtom(1), nullptr);
        EXPECT_EQ(item->FindAtom(1)->param1, c.shown) << c.flags << " " << c.resource20;
        EXPECT_EQ(item->FindAtom(2)->param1, 9537u);
    }
}

// A poster on a user paper: its limits come from the custom paper's margins
// (100 dots each side on the sample) and the user paper's own size, or the
// image's size when the paper is not in the list.
TEST(KinsokuPoster, LimitsOfUserSizedPapers) {
    Installed printer(u"K8", "CX5540");
    ui_test::BoundPrinter p(u"K8");
    CUserPaper papers;
    UserPaperRecord a4ish{};
    std::strcpy(a4ish.name, "Drawing");
    a4ish.SetUnit(1);
    a4ish.widthTenthMm = 2000;
    a4ish.widthHundredthIn = 787;
    a4ish.lengthTenthMm = 3000;
    a4ish.lengthHundredthIn = 1181;
    ASSERT_TRUE(papers.Add(&a4ish));
    ASSERT_NE(papers.FindByName(u"Drawing"), nullptr);
    const WORD drawing = papers.FindByName(u"Drawing")->paperId; // the list gives the id
    struct Case {
        const char* name;
        WORD paper;
        SHORT width, length; // the image's own, 0.1 mm
        DWORD x, y;
    };
    // 2000 x 3000 at 600 dpi: 4724 x 7086 dots less 200 of margins gives
    // 4524 x 6886, so 32767 / 4524 = 7 across and 32767 / 6886 = 4 down.
    for (const Case& c :
         {Case{"listed user paper", drawing, 0, 0, 7, 4},
          Case{"free size", static_cast<WORD>(drawing + 1), 2000, 3000, 7, 4},
          Case{"unlisted user paper without a size", static_cast<WORD>(drawing + 1), 0, 0, 0, 0}}) {
        Image img;
        img.Put(kPaperAt, 2, c.paper);
        img.Put(kFieldsAt, 4, img.Get(kFieldsAt, 4) | DM_PAPERWIDTH | DM_PAPERLENGTH);
        img.Put(kPaperLengthAt, 2, static_cast<WORD>(c.length));
        img.Put(kPaperWidthAt, 2, static_cast<WORD>(c.width));
        img.Put(kLayoutAt, 2, 4);
        img.Put(kPriv + 280, 2, 1);
        img.Put(kPriv + 282, 2, 1);
        CKinsokuList list(p.binding(), &papers, img.b.data());
        DWORD x = 99, y = 99;
        EXPECT_EQ(ComputeScaleLimits(&list, img.b.data(), &x, &y), c.x != 0) << c.name;
        EXPECT_EQ(x, c.x) << c.name;
        EXPECT_EQ(y, c.y) << c.name;
    }
}

// Every resolve clamps the poster grid to the paper's limits, whether or not
// the list rules the poster: a 1 by 1 grid becomes 2 by 2 where both limits
// allow more, and a grid past either limit becomes the smaller limit square
// (at least 1 by 1).
TEST(KinsokuPoster, ResolveClampsTheGrid) {
    Installed printer(u"K10", "CX5540");
    ui_test::BoundPrinter p(u"K10");
    ASSERT_TRUE(p.ok());
    struct Case {
        SHORT width, length; // 0.1 mm, a free size
        DWORD limitX, limitY;
        WORD gridX, gridY, wantX, wantY;
    };
    // At 600 dpi less 100 dots of margin each side: 2000 x 3000 leaves
    // 4524 x 6886 dots (7 across, 4 down), 3175 x 2201 leaves 7300 x 4999
    // (4 across, 6 down).
    const Case cases[] = {
        {2000, 3000, 7, 4, 1, 1, 2, 2},
        {2000, 3000, 7, 4, 3, 3, 3, 3},
        {2000, 3000, 7, 4, 2, 5, 4, 4},
        {3175, 2201, 4, 6, 5, 3, 4, 4},
        {3175, 2201, 4, 6, 1, 1, 2, 2},
        {3175, 2201, 4, 6, 4, 6, 4, 6},
        // Wider than the device's coordinates reach (47044 dots): a limit of
        // 0 across still leaves one sheet, never a 0 by 0 grid.
        {20000, 3000, 0, 4, 3, 3, 1, 1},
    };
    for (const Case& c : cases) {
        Image img;
        img.Put(kFieldsAt, 4, img.Get(kFieldsAt, 4) | DM_PAPERWIDTH | DM_PAPERLENGTH);
        img.Put(kPaperAt, 2, 456);
        img.Put(kPaperLengthAt, 2, static_cast<WORD>(c.length));
        img.Put(kPaperWidthAt, 2, static_cast<WORD>(c.width));
        img.Put(kLayoutAt, 2, 4);
        img.Put(kPriv + 280, 2, c.gridX);
        img.Put(kPriv + 282, 2, c.gridY);
        CKinsokuList list(p.binding(), nullptr, img.b.data());
        DWORD x = 0, y = 0;
        ASSERT_TRUE(ComputeScaleLimits(&list, img.b.data(), &x, &y)) << c.width << "x" << c.length;
        EXPECT_EQ(x, c.limitX);
        EXPECT_EQ(y, c.limitY);
        EXPECT_EQ(list.Resolve(img.b.data(), FALSE), kResolveSettled);
        EXPECT_EQ(img.Get(kPriv + 280), c.wantX) << c.gridX << "x" << c.gridY;
        EXPECT_EQ(img.Get(kPriv + 282), c.wantY) << c.gridX << "x" << c.gridY;
    }
}

TEST(KinsokuBuild, FinisherValuesFollowTheFittedFinisher) {
    Image img;
    img.Put(kPriv + 12, 4, (1u << 16) | (1u << 17) | (1u << 18)); // fold, staple and punch items
    Built built(u"K6", "CX5540", img);
    CKinsokuList& list = built.list;
    CInstallOption& options = built.options;
    ModelOptionPair& pair = built.pair;
    ASSERT_NE(options.Find(kOptionFinisher, 1), nullptr);
    options.Find(kOptionFinisher, 1)->state = 1 | kFinisherFoldUnit;
    BuildModelKinsoku(&pair, &list);
    auto values = [&](WORD item) {
        std::vector<DWORD> out;
        if (CKinsokuItem* it = list.FindItem(item))
            for (auto& a : it->Values())
                out.push_back(a->value);
        return out;
    };
    // The finisher's output bins that are fitted: the main tray (code 1,
    // standard); its finisher trays and mailbox (codes 3, 4, 5) once fitted.
    EXPECT_EQ(values(kItemOutputBin), (std::vector<DWORD>{0}));
    for (WORD bin : {3, 4, 5})
        options.Find(model::kQueryOutputBins, bin)->state = 1;
    BuildModelKinsoku(&pair, &list);
    EXPECT_EQ(values(kItemOutputBin), (std::vector<DWORD>{0, 0x101, 0x201, 2}));
    ASSERT_NE(list.FindItem(kItemOutputBin)->FindAtom(2), nullptr);
    EXPECT_EQ(list.FindItem(kItemOutputBin)->FindAtom(2)->param1, 4858u); // "Mailbox Tray"
    EXPECT_EQ(list.FindItem(kItemOutputBin)->FindAtom(2)->param2, 2341u);
    // An output bin the finisher lists but the printer lacks is left out.
    options.Find(model::kQueryOutputBins, 1)->state = 0;
    BuildModelKinsoku(&pair, &list);
    EXPECT_EQ(values(kItemOutputBin), (std::vector<DWORD>{0x101, 0x201, 2}));
    options.Find(model::kQueryOutputBins, 1)->state = 1;
    BuildModelKinsoku(&pair, &list);
    // Its stapler (the unit its fold word makes standard): no staple, then
    // the staple positions whose codes pass the installed options.
    EXPECT_EQ(values(kItemStapleMode), (std::vector<DWORD>{0, 1, 2, 3}));
    EXPECT_EQ(list.FindItem(kItemStapleMode)->FindAtom(0)->param1, 4801u); // "Off"
    EXPECT_TRUE(values(kItemPunchMode).empty()) << "this finisher punches nothing";
    // No finisher fitted (and none listed as "none"): no staple values.
    options.Find(kOptionFinisher, 1)->state = 0;
    BuildModelKinsoku(&pair, &list);
    EXPECT_EQ(options.FindInstalledFinisher(0), nullptr);
    EXPECT_TRUE(values(kItemOutputBin).empty());
}

// The masks of a staple code's paper members on the sample's booklet
// finisher: its staple code 4 (value 0x201) is stapled only unsorted (sort
// mask 0x01: sort value 0) and only without punching or with two holes (punch
// mask 0x81: portrait nibble 0 and 2, landscape nibble nothing more); code 1
// (value 0) goes with everything. A job asking for 0x201 with a setting its
// masks leave out has its staple corrected.
TEST(KinsokuBuild, StapleCodesFollowTheMasksOfTheirMembers) {
    struct Case {
        const char* name;
        size_t field; // private offset of the other setting
        DWORD value;
        bool keeps;
    };
    nlohmann::json src = ui_test::SampleSource("CX5540");
    nlohmann::json& finisher = src["codes"]["27"]["entries"][1];
    finisher["caps"] = "0x24"; // sort (212 -> 4) and punch (219 -> 4) rules of staple codes
    for (nlohmann::json& item : finisher["staple"]["items"]) {
        const bool doubled = item["code"] == 4; // finisher tray B
        for (nlohmann::json& member : item["a"]) {
            member[1] = doubled ? "0x01" : "0x3F";
            member[2] = doubled ? "0x81" : "0x0F";
        }
        // The custom paper's masks, which the same rules take in.
        item["values"][0] = doubled ? "0x01" : "0x3F";
        item["values"][1] = doubled ? "0x81" : "0x0F";
    }
    ui_test::InstallPrinter(u"K9", ui_test::Compile(src));
    for (const Case& c : {Case{"unsorted", 100, 0, true}, Case{"sorted", 100, 4, false},
                          Case{"two holes", 96, 2, true}, Case{"three holes", 96, 3, false}}) {
        Image img;
        // Staple, punch and sort items.
        img.Put(kPriv + 12, 4, img.Get(kPriv + 12, 4) | (1u << 17) | (1u << 18) | (1u << 20));
        img.Put(kPriv + c.field, 2, c.value);
        img.Put(kPriv + 94, 2, 0x201);
        img.Put(kCollateAt, 2, 0);
        ui_test::BoundPrinter p(u"K9");
        CInstallOption options(p.printer(), p.binding());
        ModelOptionPair pair{p.binding(), &options};
        CKinsokuList list(p.binding(), nullptr, img.b.data());
        ASSERT_TRUE(LoadKinsokuPairs(p.binding(), &list));
        ASSERT_TRUE(BuildKinsokuRules(p.binding(), &list, 1));
        ASSERT_NE(options.Find(kOptionFinisher, 2), nullptr);
        options.Find(kOptionFinisher, 2)->state = 1 | kFinisherPunchUnit;
        options.Find(kOptionFinisher, 2)->flags |= kOptionUserSettable;
        options.Find(model::kQueryOutputBins, 1)->state = 1;
        options.Find(model::kQueryOutputBins, 4)->state = 1;
        BuildModelKinsoku(&pair, &list);
        list.Resolve(img.b.data(), TRUE);
        EXPECT_EQ(img.Get(kPriv + c.field), c.value) << c.name;
        EXPECT_EQ(img.Get(kPriv + 94), c.keeps ? 0x201u : 0u) << c.name;
    }
}

} // namespace
