// Change tracking: a paper that brings its media type and tray with it, a
// media type that brings its tray, a setting that a paper refused coming back
// once the paper changes, and leaving booklet layout.
#include <gtest/gtest.h>

#include <memory>

#include "devmode_helpers.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "revise_devmode.h"
#include "track_dm.h"
#include "ui_fixture.h"

namespace {

using namespace sheetwright;

constexpr WORD kLetter = 1, kLegal = 5, kExecutive = 7;
constexpr DWORD kPlain = 1, kLinkedMedia = 257;
constexpr SHORT kLinkedTray = 1, kMediaTray = 2;

nlohmann::json* Entry(nlohmann::json& table, int id) {
    for (auto& e : table["entries"])
        if (e["id"] == id) return &e;
    return nullptr;
}

// CX5540 with links: Legal selects media 257 and tray 1, media 257 selects
// tray 2, Executive names media 257 in the same media group as Letter's.
struct TrackFixture : ::testing::Test {
    void SetUp() override {
        auto source = ui_test::SampleSource("CX5540");
        auto& codes = source["codes"];
        nlohmann::json* legal = Entry(codes["20"], kLegal);
        nlohmann::json* letter = Entry(codes["20"], kLetter);
        nlohmann::json* executive = Entry(codes["20"], kExecutive);
        nlohmann::json* media = Entry(codes["22"], kLinkedMedia);
        ASSERT_TRUE(legal && letter && executive && media);
        (*legal)["tied_media"] = kLinkedMedia;
        (*legal)["tied_tray"] = kLinkedTray;
        (*legal)["links"] = {1, 2, kLinkSelectMedia | kLinkSelectSource};
        (*letter)["links"] = {7, 0, 0};
        (*executive)["tied_media"] = kLinkedMedia;
        (*executive)["links"] = {7, 0, kLinkSelectMedia};
        (*media)["tied_tray"] = kMediaTray;
        (*media)["links"] = {0, 3, kLinkSelectSource};
        ui_test::InstallPrinter(u"P", ui_test::Compile(source));
        printer = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer->ok());
        options = std::make_unique<CInstallOption>(printer->printer(), printer->binding());
        pair = {printer->binding(), options.get()};
        ASSERT_TRUE(
            StampAndReviseDevmode(printer->printer(), printer->binding()->modelData, &image));
        image.dm.dmPaperSize = kLetter;
        image.dm.dmMediaType = kPlain;
        image.dm.dmDefaultSource = 7;
    }
    void Bind(CKinsokuList* list) {
        tracker.SetBinding(printer->binding());
        tracker.SetOptionPair(&pair);
        tracker.SetConstraints(list);
    }
    std::unique_ptr<CKinsokuList> ModelList() {
        auto list = std::make_unique<CKinsokuList>(printer->binding(), nullptr,
                                                   reinterpret_cast<const BYTE*>(&image));
        LoadKinsokuPairs(printer->binding(), list.get());
        BuildKinsokuRules(printer->binding(), list.get(), 1);
        list->Resolve(reinterpret_cast<BYTE*>(&image), FALSE);
        return list;
    }

    std::unique_ptr<ui_test::BoundPrinter> printer;
    std::unique_ptr<CInstallOption> options;
    ModelOptionPair pair{};
    DEVMODE_IMAGEW image{};
    CTrackDM tracker;
};

TEST_F(TrackFixture, NothingBeforeTheFirstSnapshot) {
    auto list = ModelList();
    Bind(list.get());
    const DEVMODE_IMAGEW before = image;
    image.dm.dmPaperSize = kLegal;
    EXPECT_FALSE(tracker.Track(&image));
    EXPECT_EQ(image.dm.dmMediaType, before.dm.dmMediaType);
    EXPECT_FALSE(tracker.Snapshot(nullptr));
}

TEST_F(TrackFixture, PaperBringsItsMediaAndTheMediaItsTray) {
    auto list = ModelList();
    Bind(list.get());
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.dm.dmPaperSize = kLegal;
    EXPECT_TRUE(tracker.Track(&image));
    EXPECT_EQ(image.dm.dmPaperSize, kLegal);
    EXPECT_EQ(image.dm.dmMediaType, kLinkedMedia);
    // The media type's own tray wins over the paper's: its stage runs on the
    // media type the paper stage chose, in the same call.
    EXPECT_EQ(image.dm.dmDefaultSource, kMediaTray);
    // Against the same snapshot the fix-ups are written again.
    EXPECT_TRUE(tracker.Track(&image));
}

TEST_F(TrackFixture, SameMediaGroupKeepsTheMedia) {
    auto list = ModelList();
    Bind(list.get());
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.dm.dmPaperSize = kExecutive;
    EXPECT_FALSE(tracker.Track(&image));
    EXPECT_EQ(image.dm.dmMediaType, kPlain);
}

TEST_F(TrackFixture, ARefusedSettingComesBackWithThePaper) {
    // Value 0 of target 21 (automatic two-sided printing) is refused on
    // Letter and allowed on Legal; it needs the duplex unit, fitted here.
    InstallOptionEntry* unit = options->FindNth(25, 1);
    ASSERT_TRUE(unit);
    unit->state = 1;
    CKinsokuList list(printer->binding(), nullptr, reinterpret_cast<const BYTE*>(&image));
    CKinsokuItem* target = list.GetItem(21);
    ASSERT_TRUE(target);
    target->AddValue(0, 0, 0);
    target->AddValue(1, 0, 0);
    target->SetDefault(1);
    const WORD onLetter[] = {1}, onLegal[] = {0, 1};
    target->AddRuleValues(kTriggerPaper, kLetter, onLetter, 1);
    target->AddRuleValues(kTriggerPaper, kLegal, onLegal, 2);
    ASSERT_TRUE(list.AddDependency(kTriggerPaper, 21));
    target->ApplyTrigger(kTriggerPaper, kLetter);
    image.priv.DuplexType = 0;
    list.Resolve(reinterpret_cast<BYTE*>(&image), FALSE);
    ASSERT_EQ(image.priv.DuplexType, 1) << "Letter refuses value 0";
    Bind(&list);
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.dm.dmPaperSize = kLegal;
    EXPECT_TRUE(tracker.Track(&image));
    EXPECT_EQ(image.priv.DuplexType, 0);
    // Back on Letter the tracker writes nothing; the rules refuse 0 again.
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.dm.dmPaperSize = kLetter;
    EXPECT_FALSE(tracker.Track(&image));
    list.Resolve(reinterpret_cast<BYTE*>(&image), FALSE);
    EXPECT_EQ(image.priv.DuplexType, 1);
}

TEST_F(TrackFixture, LeavingBookletLeavesTwoSided) {
    auto list = ModelList();
    Bind(list.get());
    image.priv.LayoutKind = kLayoutBooklet;
    image.dm.dmDuplex = 2;
    image.priv.DuplexMarginFlags |= 1;
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.priv.LayoutKind = 0;
    EXPECT_TRUE(tracker.Track(&image));
    EXPECT_EQ(image.dm.dmDuplex, DMDUP_SIMPLEX);
    EXPECT_EQ(image.priv.DuplexMarginFlags & 1, 0u);
}

TEST_F(TrackFixture, CoverMediaTakesItsTrayFromTheChain) {
    auto list = ModelList();
    Bind(list.get());
    ASSERT_TRUE(tracker.Snapshot(&image));
    image.priv.FrontCoverMedia = kLinkedMedia;
    KinsokuChainNode refused{static_cast<WORD>(kMediaTray), 0, 0, 1, nullptr};
    EXPECT_FALSE(tracker.TrackGroupMedia(&image, &refused, 1));
    EXPECT_NE(image.priv.FrontCoverSource, static_cast<WORD>(kMediaTray));
    KinsokuChainNode offered{static_cast<WORD>(kMediaTray), 0, 0, 0, nullptr};
    KinsokuChainNode first{7, 0, 0, 0, &offered};
    EXPECT_TRUE(tracker.TrackGroupMedia(&image, &first, 1));
    EXPECT_EQ(image.priv.FrontCoverSource, static_cast<WORD>(kMediaTray));
    EXPECT_FALSE(tracker.TrackGroupMedia(&image, nullptr, 1));
}

} // namespace
