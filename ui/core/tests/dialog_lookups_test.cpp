// Look-ups of the pages that need no window.
#include <gtest/gtest.h>

#include "devmode_helpers.h"
#include <cstring>
#include <vector>

#include "dialog_lookups.h"
#include "number_text.h"
#include "user_paper.h"
#include "win/base.h"
#include "model_codes.h"
#include "ui_fixture.h"

namespace {

using namespace sheetwright;

TEST(DialogLookups, DuplexIcons) {
    struct Case {
        SHORT orientation;
        WORD layout, pages;
        SHORT duplex;
        WORD binding;
        DWORD icon;
    } cases[] = {
        {DMORIENT_PORTRAIT, 0, 0, 1, 0, 2110},
        {DMORIENT_LANDSCAPE, 0, 0, 1, 5, 2113},
        {DMORIENT_PORTRAIT, 0, 0, 2, 0, 2111},
        {DMORIENT_LANDSCAPE, 0, 0, 2, 0, 2114},
        {DMORIENT_PORTRAIT, 0, 0, 2, 5, 2116},
        {DMORIENT_LANDSCAPE, 0, 0, 2, 5, 2119},
        {DMORIENT_PORTRAIT, 0, 0, 3, 0, 2112},
        {DMORIENT_LANDSCAPE, 0, 0, 3, 0, 2115},
        {DMORIENT_PORTRAIT, 0, 0, 3, 5, 2117},
        {DMORIENT_LANDSCAPE, 0, 0, 3, 5, 2118},
        {DMORIENT_PORTRAIT, 0, 0, 9, 5, 2110},
        // A portrait booklet shows the landscape icons; so do 2, 6 and 8 up.
        {DMORIENT_PORTRAIT, kLayoutBooklet, 0, 2, 0, 2114},
        {DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 6, 2, 0, 2114},
        {DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 4, 2, 0, 2111},
    };
    for (const Case& c : cases) {
        DEVMODE_IMAGEW image{};
        image.dm.dmOrientation = c.orientation;
        image.priv.LayoutKind = c.layout;
        image.priv.PagesPerSheet = c.pages;
        EXPECT_EQ(GetDuplexIconId(&image, c.duplex, c.binding), c.icon)
            << c.orientation << "/" << c.layout << "/" << c.duplex << "/" << c.binding;
    }
    EXPECT_EQ(GetDuplexIconId(nullptr, 2, 0), 2110u);
}

TEST(DialogLookups, PageOrderTexts) {
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutBooklet, 0), 4608u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_LANDSCAPE, kLayoutBooklet, 0), 4610u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutBooklet, 3), 4609u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_LANDSCAPE, kLayoutBooklet, 3), 4611u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutBooklet, 1), 4614u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 0), 4612u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 2), 4615u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 3), 4613u);
    EXPECT_EQ(GetPageOrderStringId(DMORIENT_PORTRAIT, kLayoutPagesPerSheet, 4), 0u);
}

TEST(DialogLookups, TextsAndPaths) {
    EXPECT_FALSE(IsBlankText(nullptr));
    EXPECT_FALSE(IsBlankText(u""));
    EXPECT_TRUE(IsBlankText(u" \t "));
    EXPECT_FALSE(IsBlankText(u"  a"));
    std::u16string folder, file;
    SplitFolderAndFileName(u"C:\\Users\\me\\form.dat", &folder, &file);
    EXPECT_EQ(folder, u"C:\\Users\\me\\");
    EXPECT_EQ(file, u"form.dat");
    SplitFolderAndFileName(u"C:form.dat", &folder, &file);
    EXPECT_EQ(folder, u"C:");
    EXPECT_EQ(file, u"form.dat");
}

TEST(DialogLookups, JobInputRuleDefaults) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("LP1220"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    for (DWORD kind : {0u, 6u}) {
        JobInputRule rule;
        ASSERT_TRUE(FillJobInputRule(p.binding(), kind, &rule));
        EXPECT_EQ(rule.firstFlag, 0u);
        EXPECT_EQ(rule.secondFlag, 0u);
        EXPECT_TRUE(rule.firstCharFlags & 0x1000);
        EXPECT_TRUE(rule.secondCharFlags & 0x1000);
        EXPECT_NE(rule.firstLimit, 0u);
        EXPECT_NE(rule.secondLimit, 0u);
    }
    ModelBlock none{};
    JobInputRule rule;
    ASSERT_TRUE(FillJobInputRule(&none, 1, &rule));
    EXPECT_EQ(rule.firstCharFlags, 0x1001u);
    EXPECT_EQ(rule.secondCharFlags, 0x1001u);
    EXPECT_EQ(rule.firstLimit, 8u);
    EXPECT_EQ(rule.secondLimit, 8u);
    EXPECT_FALSE(FillJobInputRule(&none, 1, nullptr));
}

TEST(DialogLookups, TraysOfTheModel) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    // Trays 7, 4, 1 and 2: two besides automatic selection and manual feed.
    EXPECT_EQ(CountPaperSources(p.binding()), 2u);
    EXPECT_GT(GetTotalTrayCount(p.binding()), 0u);
    ModelBlock none{};
    EXPECT_EQ(CountPaperSources(&none), 0u);
    EXPECT_EQ(GetTotalTrayCount(&none), 0u);
    EXPECT_EQ(FindFlaggedOutputBinId(&none), 0u);
    EXPECT_EQ(GetModelTable47Value(&none, 1), 0u);
    DEVMODE_IMAGEW image{};
    CInstallOption options(p.printer(), p.binding());
    options.ClearOption(kOptionFinisher);
    EXPECT_EQ(GetFinishingPositionCode(p.binding(), &options, &image, 1), 0u) << "no finisher";
    EXPECT_EQ(GetFinishingPositionCode(p.binding(), nullptr, &image, 1), 0u);
}

// The trays of the paper feeder units and of the large-capacity feeder, by
// index, on both sample models and on one whose first unit holds two trays
// and carries a second large-capacity feeder.
TEST(DialogLookups, FeederTrayIds) {
    auto twoTrays = ui_test::SampleSource("CX5540");
    auto& units = twoTrays["codes"]["26"]["entries"];
    auto second = units[0]["trays"][0];
    second["id"] = 5;
    second["_name"] = "Tray 5";
    units[0]["trays"].push_back(second);
    auto lct = units[2];
    lct["_name"] = "LC-5510";
    lct["trays"][0]["id"] = 12;
    units.push_back(lct);
    struct Case {
        const char* model;
        ui_test::Bytes data;
        DWORD total, main;
        std::vector<WORD> mainIds; // then 0
        std::vector<WORD> largeIds;
    } cases[] = {
        {"CX5540", ui_test::SampleModel("CX5540"), 3, 2, {3, 258}, {11}},
        {"LP1220", ui_test::SampleModel("LP1220"), 0, 0, {}, {}},
        {"CX5540, two trays in a unit", ui_test::Compile(twoTrays), 5, 3, {3, 5, 258}, {11, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        ui_test::InstallPrinter(u"P", c.data);
        ui_test::BoundPrinter p(u"P");
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(GetTotalTrayCount(p.binding()), c.total);
        EXPECT_EQ(CountMainTrays(p.binding()), c.main);
        std::vector<WORD> ids;
        for (DWORD i = 0; i <= c.mainIds.size(); ++i)
            ids.push_back(GetMainTrayId(p.binding(), i));
        std::vector<WORD> expected = c.mainIds;
        expected.push_back(0);
        EXPECT_EQ(ids, expected);
        ids.clear();
        for (DWORD i = 0; i <= c.largeIds.size(); ++i)
            ids.push_back(GetKind5TrayId(p.binding(), i));
        expected = c.largeIds;
        expected.push_back(0);
        EXPECT_EQ(ids, expected);
        EXPECT_EQ(GetMainTrayId(p.binding(), 0xFFFFFFFF), 0);
    }
    ModelBlock none{};
    EXPECT_EQ(CountMainTrays(&none), 0u);
    EXPECT_EQ(GetMainTrayId(&none, 0), 0);
    EXPECT_EQ(GetKind5TrayId(&none, 0), 0);
}

} // namespace

namespace {

using namespace sheetwright;

// Paper names and size texts with the resource library's strings: a model
// paper in inches, one in millimetres, a user paper, and unknown ones.
TEST(DialogLookups, PaperNamesAndSizeTexts) {
    auto source = ui_test::SampleSource("CX5540");
    for (auto& e : source["codes"]["20"]["entries"]) {
        if (e["id"] == 1) e["name_id"] = 8001; // "Letter"
        if (e["id"] == 9) {
            e["name_id"] = 8001;
            e["s2"] = 2; // measured in millimetres
        }
    }
    ui_test::InstallPrinter(u"P", ui_test::Compile(source), {"Resbundle.DLL"});
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    HMODULE resources = LoadLibraryW((ui_test::DriverFolder(u"P") + u"\\Resbundle.DLL").c_str());
    ASSERT_TRUE(resources);
    CUserPaper papers;
    UserPaperRecord mine{};
    std::strcpy(mine.name, "Mine");
    mine.SetUnit(1);
    mine.widthTenthMm = 1000;
    mine.lengthTenthMm = 1500;
    ASSERT_TRUE(papers.Add(&mine));
    const WORD mineId = papers.At(0)->paperId;

    std::u16string name;
    ASSERT_TRUE(GetPaperName(&name, p.binding(), resources, 1, &papers));
    EXPECT_EQ(name, u"Letter");
    ASSERT_TRUE(GetPaperName(&name, p.binding(), resources, mineId, &papers));
    EXPECT_EQ(name, u"Mine");
    ASSERT_TRUE(GetPaperName(&name, p.binding(), resources, 999, &papers));
    EXPECT_EQ(name, u"Custom Paper");

    EXPECT_EQ(FormatPaperSizeText(p.binding(), resources, &papers, 1),
              u"Letter   8.50 x 11.00 in.");
    EXPECT_EQ(FormatPaperSizeText(p.binding(), resources, &papers, 9),
              u"Letter   210.0 x 297.0 mm");
    EXPECT_EQ(FormatPaperSizeText(p.binding(), resources, &papers, mineId),
              u"Mine   100.0 x 150.0 mm");
    EXPECT_EQ(FormatPaperSizeText(p.binding(), resources, nullptr, mineId), u"");
    EXPECT_EQ(FormatPaperSizeText(p.binding(), resources, &papers, 444), u"");

    // The characters a profile, watermark, overlay or job name may not hold,
    // as every name check reads them from the resource library's string 4000.
    for (char16_t c : std::u16string(u"\\/*?:.;\"<>|")) {
        std::u16string text = u"Name";
        text.insert(text.begin() + 2, c);
        EXPECT_TRUE(HasForbiddenCharacters(resources, text.c_str())) << static_cast<char>(c);
    }
    for (const char16_t* fine : {u"ab", u"My Paper 2", u"A4-wide_(draft)", u"Memo, #1"})
        EXPECT_FALSE(HasForbiddenCharacters(resources, fine))
            << std::string(fine, fine + std::char_traits<char16_t>::length(fine));
    FreeLibrary(resources);
}

TEST(DialogLookups, InputTextAgainstItsRule) {
    InputRule rule{};
    FillInputRule(&rule, 0x4, 4, nullptr);
    EXPECT_EQ(ValidateInputText(nullptr, "", &rule), kInputEmpty);
    EXPECT_EQ(ValidateInputText(nullptr, nullptr, &rule), kInputEmpty);
    EXPECT_EQ(ValidateInputText(nullptr, "ab", &rule), kInputTooShort);
}

} // namespace
