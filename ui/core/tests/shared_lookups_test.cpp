// The model look-ups and device-mode rules that pages and revisions share:
// zoom limits by the page's longest side, the custom and long paper limits,
// the output paper's size and its correction when it is too large, the raster
// flags of the halftone or resolution, model names in a text and the
// system's measurement by its country.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "kinsoku_rules.h"
#include "platform/facts.h"
#include "platform/testctl.h"
#include "revise_devmode.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/errors.h"

namespace {

using namespace sheetwright;

// A printer on a sample model changed by `edit`, installed under `name`.
template <class Edit>
std::unique_ptr<ui_test::BoundPrinter> ModelPrinter(const std::u16string& name, Edit edit) {
    auto source = ui_test::SampleSource("CX5540");
    edit(source["codes"]);
    ui_test::InstallPrinter(name, ui_test::Compile(source));
    auto p = std::make_unique<ui_test::BoundPrinter>(name);
    EXPECT_TRUE(p->ok());
    return p;
}

WORD AddUserPaper(CUserPaper* papers, const char* name, WORD width, WORD length) {
    UserPaperRecord r{};
    std::strcpy(r.name, name);
    r.SetUnit(1);
    r.widthTenthMm = width;
    r.lengthTenthMm = length;
    EXPECT_TRUE(papers->Add(&r)) << name;
    std::u16string wide(name, name + std::strlen(name));
    const UserPaperRecord* added = papers->FindByName(wide.c_str());
    return added ? added->paperId : 0;
}

// The zoom limits: the model's 25 to 400 % (table 31), or 25 to 400 without
// the table, the maximum cut down to a multiple of 5 below the percentage at
// which the longest side reaches 32767 dots: trunc(3276700 / (L / 254 * dpi)).
TEST(SharedLookups, ZoomRangeByTheLongestSide) {
    auto sample = ModelPrinter(u"Sample", [](auto&) {});
    auto narrow = ModelPrinter(u"Narrow", [](auto& c) { c["31"]["1"] = {"0x01", 50, 200}; });
    auto none = ModelPrinter(u"None", [](auto& c) { c.erase("31"); });
    CUserPaper papers;
    const WORD banner = AddUserPaper(&papers, "Banner", 2100, 12000);
    const DWORD sizes = DM_PAPERWIDTH | DM_PAPERLENGTH;
    struct Case {
        const char* what;
        const ui_test::BoundPrinter* printer;
        SHORT paper;
        DWORD fields;
        SHORT width, length;
        DWORD dpi;
        BOOL result;
        DWORD min, max;
    } cases[] = {
        // 279.4 mm at 600 dpi: 6600 dots, limit 496.
        {"letter at 600 dpi", sample.get(), 1, 0, 0, 0, 600, TRUE, 25, 400},
        // At 1200 dpi: 13200 dots, limit 248.
        {"letter at 1200 dpi", sample.get(), 1, 0, 0, 0, 1200, TRUE, 25, 245},
        // 1200 mm at 1200 dpi: 56692.9 dots, limit 57.
        {"long paper at 1200 dpi", sample.get(), static_cast<SHORT>(banner), 0, 0, 0, 1200, TRUE,
         25, 55},
        // No resolution means 600 dpi: 28346.5 dots, limit 115.
        {"long paper without a resolution", sample.get(), static_cast<SHORT>(banner), 0, 0, 0, 0,
         TRUE, 25, 115},
        // A paper without a record takes the device mode's size: 900 mm at
        // 1200 dpi, 42519.7 dots, limit 77; either side may be the longer.
        {"the device mode's size", sample.get(), 300, sizes, 2100, 9000, 1200, TRUE, 25, 75},
        {"the device mode's size turned", sample.get(), 300, sizes, 9000, 2100, 1200, TRUE, 25, 75},
        {"only one size field", sample.get(), 300, DM_PAPERLENGTH, 2100, 9000, 1200, FALSE, 100,
         100},
        {"no size at all", sample.get(), 300, 0, 0, 0, 600, FALSE, 100, 100},
        {"the model's own limits", narrow.get(), 1, 0, 0, 0, 600, TRUE, 50, 200},
        {"the model's maximum under the limit", narrow.get(), 1, 0, 0, 0, 1200, TRUE, 50, 200},
        {"no zoom table", none.get(), 1, 0, 0, 0, 600, TRUE, 25, 400},
        {"no zoom table, long paper", none.get(), static_cast<SHORT>(banner), 0, 0, 0, 1200, TRUE,
         25, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW image{};
        image.dm.dmPaperSize = c.paper;
        image.dm.dmFields = DM_PAPERSIZE | c.fields;
        image.dm.dmPaperWidth = c.width;
        image.dm.dmPaperLength = c.length;
        DWORD min = 7, max = 7;
        EXPECT_EQ(GetZoomRange(c.printer->binding(), &papers, &image, c.dpi, &min, &max), c.result);
        EXPECT_EQ(min, c.min);
        EXPECT_EQ(max, c.max);
    }
}

// The custom paper's largest and smallest sizes (table 21, words 2 and 3, 6
// and 7), with the long paper's (table 75): the larger of each for the
// maximum when asked, always the smaller for the minimum.
TEST(SharedLookups, CustomPaperLimits) {
    auto edit = [](bool custom, bool longer) {
        return [=](auto& c) {
            if (!custom) c.erase("21");
            if (!longer) {
                c.erase("75");
            } else {
                c["75"]["max_width"] = 2970;
                c["75"]["max_length"] = 12000;
                c["75"]["min_width"] = 1000;
                c["75"]["min_length"] = 1200;
            }
        };
    };
    auto both = ModelPrinter(u"Both", edit(true, true));
    auto customOnly = ModelPrinter(u"Custom", edit(true, false));
    auto longOnly = ModelPrinter(u"Long", edit(false, true));
    auto neither = ModelPrinter(u"Neither", edit(false, false));
    struct Case {
        const char* what;
        const ui_test::BoundPrinter* printer;
        BOOL withLong;
        BOOL maxResult;
        WORD maxWidth, maxLength;
        BOOL minResult;
        WORD minWidth, minLength;
    } cases[] = {
        {"both, regular maximum", both.get(), FALSE, TRUE, 3048, 4572, TRUE, 900, 1200},
        {"both, with long paper", both.get(), TRUE, TRUE, 3048, 12000, TRUE, 900, 1200},
        {"custom only", customOnly.get(), TRUE, TRUE, 3048, 4572, TRUE, 900, 1480},
        {"long only, not asked", longOnly.get(), FALSE, FALSE, 1, 1, TRUE, 1000, 1200},
        {"long only, asked", longOnly.get(), TRUE, TRUE, 2970, 12000, TRUE, 1000, 1200},
        {"neither", neither.get(), TRUE, FALSE, 1, 1, FALSE, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WORD width = 1, length = 1;
        EXPECT_EQ(GetCustomPaperMaximum(c.printer->binding(), &width, &length, c.withLong),
                  c.maxResult);
        EXPECT_EQ(width, c.maxWidth);
        EXPECT_EQ(length, c.maxLength);
        width = length = 1;
        EXPECT_EQ(GetCustomPaperMinimum(c.printer->binding(), &width, &length), c.minResult);
        EXPECT_EQ(width, c.minWidth);
        EXPECT_EQ(length, c.minLength);
    }
    WORD width = 1;
    EXPECT_FALSE(GetCustomPaperMaximum(both->binding(), &width, nullptr, TRUE));
    EXPECT_FALSE(GetCustomPaperMaximum(both->binding(), nullptr, &width, TRUE));
    EXPECT_FALSE(GetCustomPaperMinimum(both->binding(), &width, nullptr));
    EXPECT_FALSE(GetCustomPaperMinimum(both->binding(), nullptr, &width));
    EXPECT_EQ(width, 1);
}

// A paper is long when its longer side passes the custom paper's largest
// length: 457.2 mm (4572 tenths) or 18 inches (10800 / 600); only on a model
// that has both the custom and the long paper limits.
TEST(SharedLookups, LongPaperByTheLongerSide) {
    auto sample = ModelPrinter(u"Sample", [](auto&) {});
    auto noLong = ModelPrinter(u"NoLong", [](auto& c) { c.erase("75"); });
    auto noCustom = ModelPrinter(u"NoCustom", [](auto& c) { c.erase("21"); });
    struct Case {
        const ui_test::BoundPrinter* printer;
        double width, length;
        BOOL millimetres;
        BOOL want;
    } cases[] = {
        {sample.get(), 210, 457, TRUE, FALSE},    {sample.get(), 210, 457.5, TRUE, TRUE},
        {sample.get(), 458, 210, TRUE, TRUE},     {sample.get(), 210, 457.29, TRUE, FALSE},
        {sample.get(), 8.5, 18, FALSE, FALSE},    {sample.get(), 8.5, 18.01, FALSE, TRUE},
        {sample.get(), 18.5, 11, FALSE, TRUE},    {sample.get(), 457, 8, FALSE, TRUE},
        {noLong.get(), 210, 1200, TRUE, FALSE},   {noLong.get(), 8.5, 40, FALSE, FALSE},
        {noCustom.get(), 210, 1200, TRUE, FALSE}, {noCustom.get(), 8.5, 40, FALSE, FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLongPaper(c.printer->binding(), c.width, c.length, c.millimetres), c.want)
            << c.width << " x " << c.length << (c.millimetres ? " mm" : " in");
}

// The output paper's size as the layout limits take it: its own words with
// the own-size flag, the model's size of the output paper without it, the
// device mode's size with either size field, else the model's size of the
// paper.
TEST(SharedLookups, OutputPaperDimensions) {
    auto p = ModelPrinter(u"Sample", [](auto&) {});
    struct Case {
        const char* what;
        WORD outputPaper;
        DWORD privateFlags;
        SHORT paper;
        DWORD fields;
        BOOL result;
        WORD width, length;
    } cases[] = {
        {"own size", 5, kOutputPaperOwnSize, 9, DM_PAPERWIDTH, TRUE, 1234, 2345},
        {"the output paper's model size", 5, 0, 9, DM_PAPERWIDTH, TRUE, 2159, 3556},
        {"an output paper the model lacks", 300, 0, 9, DM_PAPERWIDTH, FALSE, 7, 7},
        {"custom size as output paper", 256, 0, 9, 0, FALSE, 7, 7},
        {"the width field", 0, kOutputPaperOwnSize, 9, DM_PAPERWIDTH, TRUE, 1111, 2222},
        {"the length field", 0, 0, 9, DM_PAPERLENGTH, TRUE, 1111, 2222},
        {"the paper's model size", 0, kOutputPaperOwnSize, 9, DM_PAPERSIZE, TRUE, 2100, 2970},
        {"a paper the model lacks", 0, 0, 300, DM_PAPERSIZE, FALSE, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW image{};
        image.priv.OutputPaperId = c.outputPaper;
        image.priv.OutputPaperWidth = 1234;
        image.priv.OutputPaperLength = 2345;
        image.priv.PrivateFlags = c.privateFlags;
        image.dm.dmPaperSize = c.paper;
        image.dm.dmFields = c.fields;
        image.dm.dmPaperWidth = 1111;
        image.dm.dmPaperLength = 2222;
        WORD width = 7, length = 7;
        EXPECT_EQ(GetOutputPaperDimensions(p->binding(), &image, &width, &length), c.result);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(length, c.length);
    }
    DEVMODE_IMAGEW image{};
    WORD width = 7;
    EXPECT_FALSE(GetOutputPaperDimensions(nullptr, &image, &width, &width));
    EXPECT_FALSE(GetOutputPaperDimensions(p->binding(), nullptr, &width, &width));
    EXPECT_FALSE(GetOutputPaperDimensions(p->binding(), &image, nullptr, &width));
    EXPECT_FALSE(GetOutputPaperDimensions(p->binding(), &image, &width, nullptr));
    EXPECT_EQ(width, 7);
}

// An output paper beyond the model's largest (7200 x 10800 dots at 600 dpi)
// is replaced by the printer's own output paper or paper, with its size and
// own-size flag, or by the model's default paper (A4 in the A4 region,
// Letter otherwise) when that one will not do either.
TEST(SharedLookups, OversizeOutputPaperFromThePrinterOrTheDefault) {
    auto p = ModelPrinter(u"Sample", [](auto& c) {
        auto& papers = c["20"]["entries"];
        auto wide = papers[0];
        wide["id"] = 300;
        wide["width_dots"] = 7300;
        papers.push_back(wide);
        auto tall = papers[0];
        tall["id"] = 301;
        tall["length_dots"] = 10900;
        papers.push_back(tall);
    });
    ASSERT_TRUE(IsPaperOverMaxSize(p->binding(), 300));
    ASSERT_TRUE(IsPaperOverMaxSize(p->binding(), 301));
    ASSERT_FALSE(IsPaperOverMaxSize(p->binding(), 5));
    CUserPaper papers;
    const WORD mine = AddUserPaper(&papers, "Mine", 1500, 2500);
    const WORD gone = static_cast<WORD>(mine + 1);

    struct Stored {
        WORD outputPaper;
        SHORT outputWidth, outputLength;
        bool ownSize;
        SHORT paper;
        DWORD fields;
    };
    struct Case {
        const char* what;
        WORD outputPaper;
        SHORT paper;
        WORD region;
        std::optional<Stored> stored;
        WORD want, wantWidth, wantLength;
        bool wantOwnSize;
    } cases[] = {
        {"within the maximum", 5, 1, 0, Stored{7, 0, 0, false, 1, 0}, 5, 1, 2, true},
        {"the printer's output paper with its size", 300, 1, 0, Stored{7, 1842, 2667, true, 1, 0},
         7, 1842, 2667, true},
        {"the printer's output paper without its flag", 301, 1, 0,
         Stored{7, 1842, 2667, false, 1, DM_PAPERWIDTH}, 7, 1842, 2667, false},
        {"the printer's paper with its size", 300, 1, 0, Stored{0, 0, 0, false, 11, DM_PAPERLENGTH},
         11, 1111, 2222, true},
        {"the printer's paper without size fields", 300, 1, 0, Stored{0, 0, 0, true, 11, 0}, 11,
         1111, 2222, false},
        {"the paper itself too large", 0, 300, 0, Stored{0, 0, 0, false, 5, 0}, 5, 1111, 2222,
         false},
        {"the printer's paper too large as well", 300, 1, 0,
         Stored{0, 0, 0, false, 301, DM_PAPERWIDTH}, 1, 0, 0, false},
        {"the printer's paper too large, A4 region", 300, 1, kA4Region,
         Stored{301, 5, 6, true, 1, 0}, 9, 0, 0, false},
        {"the printer's user paper", 300, 1, 0, Stored{mine, 1500, 2500, true, 1, 0}, mine, 1500,
         2500, true},
        {"a user paper no longer there", 300, 1, 0, Stored{gone, 1500, 2500, true, 1, 0}, 1, 0, 0,
         false},
        {"no paper on the printer", 300, 1, 0, Stored{0, 0, 0, false, 0, 0}, 1, 0, 0, false},
        {"no printer to ask", 300, 1, kA4Region, std::nullopt, 9, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stored) {
            DEVMODE_IMAGEW stored{};
            StampDevmodeHeader(&stored);
            stored.priv.Signature = PRIVATE_DEVMODE_SIGNATURE; // the driver's own
            stored.priv.OutputPaperId = c.stored->outputPaper;
            stored.priv.OutputPaperWidth = c.stored->outputWidth;
            stored.priv.OutputPaperLength = c.stored->outputLength;
            stored.priv.PrivateFlags = c.stored->ownSize ? kOutputPaperOwnSize : 0;
            stored.dm.dmPaperSize = c.stored->paper;
            stored.dm.dmFields = DM_PAPERSIZE | c.stored->fields;
            stored.dm.dmPaperWidth = 1111;
            stored.dm.dmPaperLength = 2222;
            ASSERT_TRUE(RewritePrinterInfo2(p->printer(), &stored.dm));
        }
        DEVMODE_IMAGEW image{};
        image.priv.OutputPaperId = c.outputPaper;
        image.priv.OutputPaperWidth = 1;
        image.priv.OutputPaperLength = 2;
        image.priv.PrivateFlags = kOutputPaperOwnSize | 0x1;
        image.priv.MeasureFlags = c.region;
        image.dm.dmPaperSize = c.paper;
        FixOversizeOutputPaper(c.stored ? p->printer() : nullptr, p->binding(), &papers, &image);
        EXPECT_EQ(image.priv.OutputPaperId, c.want);
        EXPECT_EQ(image.priv.OutputPaperWidth, static_cast<SHORT>(c.wantWidth));
        EXPECT_EQ(image.priv.OutputPaperLength, static_cast<SHORT>(c.wantLength));
        EXPECT_EQ((image.priv.PrivateFlags & kOutputPaperOwnSize) != 0, c.wantOwnSize);
        EXPECT_EQ(image.priv.PrivateFlags & 0x1, 0x1u); // the other flags stay
        EXPECT_EQ(image.dm.dmPaperSize, c.paper);
    }
}

// The raster flags of the image's halftone (table 47, layout 4), else of its
// resolution mode (table 42, layout 1), counted only with colour bands on
// (feature 0x10000) and graphics mode 1: bit 27 refuses, bit 18 then allows.
TEST(SharedLookups, RasterFlagsOfTheHalftoneOrTheResolution) {
    auto p = ModelPrinter(u"Sample", [](auto& c) {
        c["47"]["entries"] = {
            {1, 4701, 1, "0x08040000", 0}, {2, 4702, 2, "0x00040000", 0}, {3, 4703, 3, 0, 0}};
        // Resolution 1 without bit 27 but with bit 18; 2 with neither.
        c["42"]["entries"][0]["slots"][4] = "0x00040000";
        c["42"]["entries"][1]["slots"][4] = "0x00000300";
    });
    struct Case {
        const char* what;
        DWORD features;
        WORD graphics, halftone, resolution;
        BOOL bit27, bit18;
    } cases[] = {
        {"without colour bands", 0, 1, 2, 1, FALSE, FALSE},
        {"another graphics mode", 0x10000, 2, 2, 1, FALSE, FALSE},
        {"halftone with bits 27 and 18", 0x10000, 1, 1, 1, FALSE, FALSE},
        {"halftone with bit 18", 0x10000, 1, 2, 4, TRUE, TRUE},
        {"halftone with neither", 0x10000, 1, 3, 1, TRUE, FALSE},
        {"no halftone, resolution with bits 27 and 18", 0x10000, 1, 9, 4, FALSE, FALSE},
        {"no halftone, resolution with bit 18", 0x10000, 1, 9, 1, TRUE, TRUE},
        {"no halftone, resolution with neither", 0x10000, 1, 9, 2, TRUE, FALSE},
        {"no halftone, resolution with bit 27", 0x10000, 1, 9, 3, FALSE, FALSE},
        {"neither entry", 0x10000 | 0x40000, 1, 9, 9, TRUE, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEW image{};
        image.priv.FeatureFlags = c.features;
        image.priv.GraphicsMode = c.graphics;
        image.priv.HalftoneKind = c.halftone;
        image.priv.ResolutionCode = c.resolution;
        EXPECT_EQ(CheckTable47Bit27(p->binding(), &image), c.bit27);
        EXPECT_EQ(CheckTable47Bit18(p->binding(), &image), c.bit18);
    }
    EXPECT_FALSE(CheckTable47Bit27(p->binding(), nullptr));
    EXPECT_FALSE(CheckTable47Bit18(p->binding(), nullptr));
}

// A text holds the model's name ("Velmora CX5540 MFP") or one of the other
// model names ("CX5530 MFP", "CX5520 MFP"), compared case-sensitively; an
// empty name is in every text.
TEST(SharedLookups, ModelNamesInAText) {
    auto sample = ModelPrinter(u"Sample", [](auto&) {});
    auto emptyOther = ModelPrinter(u"EmptyOther", [](auto& c) {
        c["51"]["entries"].push_back({{"id", 3}, {"name", ""}});
    });
    auto emptyName = ModelPrinter(u"EmptyName", [](auto& c) { c["11"] = ""; });
    auto noOthers =
        ModelPrinter(u"NoOthers", [](auto& c) { c["51"]["entries"] = nlohmann::json::array(); });
    struct Case {
        const ui_test::BoundPrinter* printer;
        const char16_t* text;
        BOOL want;
    } cases[] = {
        {sample.get(), u"Velmora CX5540 MFP", TRUE},
        {sample.get(), u"my Velmora CX5540 MFP settings", TRUE},
        {sample.get(), u"velmora cx5540 mfp", FALSE},
        {sample.get(), u"Velmora CX5540", FALSE},
        {sample.get(), u"from a CX5520 MFP", TRUE},
        {sample.get(), u"CX5530 MFPs", TRUE},
        {sample.get(), u"CX5530", FALSE},
        {sample.get(), u"", FALSE},
        {sample.get(), nullptr, FALSE},
        {emptyOther.get(), u"anything", TRUE},
        {emptyOther.get(), u"", TRUE},
        {emptyName.get(), u"anything", TRUE},
        {noOthers.get(), u"from a CX5520 MFP", FALSE},
        {noOthers.get(), u"Velmora CX5540 MFP", TRUE},
    };
    for (const Case& c : cases) {
        std::u16string text = c.text ? c.text : u"(null)";
        EXPECT_EQ(ContainsModelName(c.printer->binding(), c.text), c.want)
            << std::string(text.begin(), text.end());
    }
}

// Metric unless the system's country code is 1, 2, 50 to 59 or 500 to 599;
// not metric when the locale cannot be read.
TEST(SharedLookups, MetricCountryByTheSystemsCountryCode) {
    const std::pair<DWORD, BOOL> codes[] = {
        {1, FALSE},   {2, FALSE},   {3, TRUE},   {7, TRUE},    {44, TRUE}, {49, TRUE},
        {50, FALSE},  {55, FALSE},  {59, FALSE}, {60, TRUE},   {81, TRUE}, {499, TRUE},
        {500, FALSE}, {599, FALSE}, {600, TRUE}, {1000, TRUE},
    };
    for (auto [code, want] : codes) {
        platform::test::SetCountryCode(code);
        EXPECT_EQ(IsMetricCountry(), want) << code;
    }
    // The locales' own codes: the United States and Britain, Germany, Japan.
    const std::pair<LCID, BOOL> locales[] = {
        {0x0409, FALSE}, {0x0809, TRUE}, {0x0407, TRUE}, {0x0411, TRUE}};
    for (auto [lcid, want] : locales) {
        ASSERT_TRUE(platform::test::SetLocale(lcid));
        EXPECT_EQ(IsMetricCountry(), want) << std::hex << lcid;
    }
    platform::test::FailNext("GetLocaleInfoW", 1, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(IsMetricCountry());
}

} // namespace
