// mdReviseDevmode: the model's default device mode (type 1) and carrying an
// old or foreign device mode over (type 2), on device modes held in buffers of
// exactly their size.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "model/modelsmith.h"
#include "model_fixture.h"
#include "platform/facts.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "devmode_private.h"
#include "win/errors.h"
#include "win/loader.h"

namespace model_test {
namespace {

using nlohmann::json;

#define DMO(f) offsetof(DEVMODEA, f)
#define PRO(f) offsetof(PRIVATE_DEVMODE, f)

// A device mode in a buffer of exactly dmSize + dmDriverExtra bytes.
struct Devmode {
    Bytes b;
    std::size_t dmSize, extra;

    explicit Devmode(std::size_t extra_ = PRIVATE_DEVMODE_SIZE, std::size_t dmSize_ = DEVMODEA_SIZE,
                     std::uint8_t fill = 0xCD)
        : b(dmSize_ + extra_, fill), dmSize(dmSize_), extra(extra_) {
        Put(DMO(dmSpecVersion), 2, DM_SPECVERSION);
        Put(DMO(dmDriverVersion), 2, 0x500);
        Put(DMO(dmSize), 2, dmSize_);
        Put(DMO(dmDriverExtra), 2, extra_);
    }
    std::uint32_t Get(std::size_t off, std::size_t width) const {
        std::uint32_t v = 0;
        std::memcpy(&v, b.data() + off, width);
        return v;
    }
    void Put(std::size_t off, std::size_t width, std::uint32_t v) {
        std::memcpy(b.data() + off, &v, width);
    }
    std::int16_t Std(std::size_t off) const { return static_cast<std::int16_t>(Get(off, 2)); }
    std::uint32_t Std32(std::size_t off) const { return Get(off, 4); }
    std::uint32_t Fields() const { return Get(DMO(dmFields), 4); }
    std::size_t PrivAt(std::size_t off) const { return dmSize + PrivateDevmodeOffset(off, extra); }
    std::uint32_t Priv(std::size_t off, std::size_t width = 2) const {
        return Get(PrivAt(off), width);
    }
    void SetPriv(std::size_t off, std::size_t width, std::uint32_t v) {
        Put(PrivAt(off), width, v);
    }
};

DWORD Revise(const Bytes& model, Devmode* old, Devmode* dm, DWORD type) {
    Bytes block(model.begin(), model.end());
    return model::ReviseDevmode(block.empty() ? nullptr : block.data(),
                                old ? old->b.data() : nullptr, old ? old->b.size() : 0,
                                dm ? dm->b.data() : nullptr, dm ? dm->b.size() : 0, type);
}

void UseRegion(bool a4) {
    ASSERT_TRUE(platform::test::SetLocale(a4 ? 0x0809 : 0x0409));
}

// A private field of the expectation tables: its offset in the 1100-byte
// layout, its width and its value.
struct Field {
    std::size_t off;
    std::size_t width;
    std::uint32_t value;
};

struct Expectation {
    const char* model;
    bool a4;
    std::size_t extra;
    std::uint32_t fields;
    int paper, width, length, source, color, icmMethod, icmIntent;
    std::uint32_t A, B, C, D;
    std::vector<Field> priv;
};

// Computed by hand from samples/models/CX5540.json and LP1220.json.
std::vector<Expectation> Expectations() {
    const std::uint32_t kFields1100 = 0x0380FF03,
                        kFields908 = 0x0380DF03; // the 908 layout drops DM_YRESOLUTION (600 x 600)
    std::vector<Field> cx = {
        {PRO(Signature), 4, PRIVATE_DEVMODE_SIGNATURE},
        {PRO(Version), 4, 0x500},
        {PRO(AlternateSource), 2, 7},
        {PRO(AlternateMediaType), 4, 1},
        {PRO(ResolutionCopy), 2, 600},
        {PRO(DuplexType), 2, 1},
        {PRO(ManualDuplexOffered), 2, 0},
        {PRO(Reserved80), 2, 1},
        {PRO(ReverseOrder), 2, 1},
        {PRO(SkipBlankPages), 2, 1},
        {PRO(SortMode), 2, 1},
        {PRO(DeptCounterFlags), 2, 1},
        {PRO(LengthUnitDpi), 2, 600},
        {PRO(PagesPerSheet), 2, 2},
        {PRO(PageBorders), 2, 1},
        {PRO(BorderWidth), 2, 1},
        {PRO(BookletKind), 2, 1},
        {PRO(ZoomPercent), 2, 100},
        {PRO(ZoomAnchor), 2, 4},
        {PRO(PosterGrid), 2, 2},
        {PRO(PosterGrid) + 2, 2, 2},
        {PRO(ColorMode), 2, 2},
        {PRO(ColorMatching), 2, 3},
        {PRO(ColorModeAlt), 2, 1},
        {304, 2, 1},
        {306, 2, 0},
        {310, 2, 50},
        {324, 2, 50},
        {PRO(Density), 2, 4},
        {PRO(ResolutionCode), 2, 2},
        {PRO(FontMode), 2, 2},
        {PRO(Reserved364), 2, 0xFFFF},
        {PRO(ImageReduction), 2, 0},
        {PRO(GraphicsMode), 2, 1},
        {PRO(HalftoneKind), 2, 1},
        {PRO(HardDiskValue), 4, 1},
        {PRO(MemoryValue), 4, 512},
        {PRO(AutoTrayResolve), 2, 1},
        {PRO(JobSetupKind), 2, 2},
    };
    std::vector<Field> lp = {
        {PRO(Signature), 4, PRIVATE_DEVMODE_SIGNATURE},
        {PRO(AlternateSource), 2, 7},
        {PRO(AlternateMediaType), 4, 1},
        {PRO(ResolutionCopy), 2, 600},
        {PRO(DuplexType), 2, 1},
        {PRO(ReverseOrder), 2, 0},
        {PRO(SkipBlankPages), 2, 0},
        {PRO(SortMode), 2, 0},
        {PRO(PageBorders), 2, 1},
        {PRO(BorderWidth), 2, 1},
        {PRO(BindingMargin), 2, 0},
        {PRO(ZoomAnchor), 2, 4},
        {PRO(PosterOverlap), 2, 0},
        {PRO(ColorMode), 2, 0},
        {PRO(ColorMatching), 2, 0},
        {PRO(Density), 2, 3},
        {PRO(ResolutionCode), 2, 2},
        {PRO(FontMode), 2, 1},
        {PRO(HalftoneKind), 2, 1},
        {PRO(HardDiskValue), 4, 0},
        {PRO(MemoryValue), 4, 0},
        {PRO(AutoTrayResolve), 2, 0},
        {PRO(JobSetupKind), 2, 1},
    };
    auto with = [](std::vector<Field> base, std::initializer_list<Field> more) {
        base.insert(base.end(), more);
        return base;
    };
    std::vector<Expectation> e;
    for (bool a4 : {true, false}) {
        std::uint32_t region = a4 ? 3 : 0;
        std::uint32_t poster = a4 ? 59 : 60;
        int paper = a4 ? 9 : 1, width = a4 ? 2100 : 2159, length = a4 ? 2970 : 2794;
        e.push_back({"CX5540", a4, 1100, kFields1100, paper, width, length, 7, 2, 2, 2, 0x3F7FFE1B,
                     0x1FFFDFFF, 0x81F, 0xF, // 0x8: the prior-print check offered
                     with(cx, {{PRO(MeasureFlags), 2, region},
                               {PRO(PosterOverlap), 2, poster},
                               {PRO(NupRotation), 2, 1},
                               {PRO(BookletRotation), 2, 0},
                               {PRO(ThresholdLevel), 2, 0},
                               {PRO(JobInfoFlags), 4, 3},
                               {PRO(PjlItem32Off), 1, 0}})});
        e.push_back({"CX5540", a4, 908, kFields908, paper, width, length, 7, 2, 2, 2, 0x0F7FFE1B,
                     0x1FFFDFFF, 0x1F, 0xF,
                     with(cx, {{PRO(MeasureFlags), 2, region},
                               {PRO(PosterOverlap), 2, poster},
                               {328, 2, 1},
                               {330, 2, 0},
                               {334, 2, 50},
                               {348, 2, 50},
                               {350, 2, 0}})});
        e.push_back({"LP1220", a4, 1100, kFields1100, paper, width, length, 7, 1, 1, 2, 0xAC00,
                     0x041A1A02, 0x3, 0,
                     with(lp, {{PRO(MeasureFlags), 2, region},
                               {PRO(NupRotation), 2, 0},
                               {PRO(JobInfoFlags), 4, 0},
                               {PRO(PjlItem32Off), 1, 1}})});
        e.push_back({"LP1220", a4, 908, kFields908, paper, width, length, 7, 1, 1, 2, 0xAC00,
                     0x041A1A02, 0x3, 0, with(lp, {{PRO(MeasureFlags), 2, region}})});
    }
    return e;
}

TEST(ReviseDevmode, DefaultsOfBothSamplesInBothRegionsAndLayouts) {
    for (const Expectation& x : Expectations()) {
        SCOPED_TRACE(std::string(x.model) + (x.a4 ? " A4 " : " Letter ") + std::to_string(x.extra));
        UseRegion(x.a4);
        Devmode dm(x.extra);
        ASSERT_EQ(Revise(SampleModel(x.model), nullptr, &dm, 1), 0u);
        EXPECT_EQ(dm.Fields(), x.fields);
        EXPECT_EQ(dm.Std(DMO(dmOrientation)), 1);
        EXPECT_EQ(dm.Std(DMO(dmPaperSize)), x.paper);
        EXPECT_EQ(dm.Std(DMO(dmPaperWidth)), x.width);
        EXPECT_EQ(dm.Std(DMO(dmPaperLength)), x.length);
        EXPECT_EQ(dm.Std(DMO(dmScale)), 100);
        EXPECT_EQ(dm.Std(DMO(dmCopies)), 1);
        EXPECT_EQ(dm.Std(DMO(dmDefaultSource)), x.source);
        EXPECT_EQ(dm.Std(DMO(dmPrintQuality)), 600);
        EXPECT_EQ(dm.Std(DMO(dmYResolution)), 600);
        EXPECT_EQ(dm.Std(DMO(dmColor)), x.color);
        EXPECT_EQ(dm.Std(DMO(dmDuplex)), 1);
        EXPECT_EQ(dm.Std(DMO(dmTTOption)), 2);
        EXPECT_EQ(dm.Std(DMO(dmCollate)), 1);
        EXPECT_EQ(dm.Std(DMO(dmLogPixels)), 600);
        EXPECT_EQ(dm.Std32(DMO(dmICMMethod)), static_cast<std::uint32_t>(x.icmMethod));
        EXPECT_EQ(dm.Std32(DMO(dmICMIntent)), static_cast<std::uint32_t>(x.icmIntent));
        EXPECT_EQ(dm.Std32(DMO(dmMediaType)), 1u);
        EXPECT_EQ(dm.Std32(DMO(dmDitherType)), 1u);
        EXPECT_EQ(dm.Get(DMO(dmSpecVersion), 2), DM_SPECVERSION) << "the first 40 bytes stay";
        EXPECT_EQ(dm.Priv(PRO(PrivateFlags), 4), x.A);
        EXPECT_EQ(dm.Priv(PRO(FeatureFlags), 4), x.B);
        EXPECT_EQ(dm.Priv(PRO(JobCheckFlags), 4), x.C);
        EXPECT_EQ(dm.Priv(PRO(OptionFlags), 4), x.D);
        for (const Field& f : x.priv)
            EXPECT_EQ(dm.Priv(f.off, f.width), f.value) << "P+" << f.off;
        // The booklet gutter of the region: 0.50 in or 12.0 mm at 600 dpi.
        if (std::string(x.model) == "CX5540") {
            EXPECT_EQ(dm.Priv(PRO(BindingMargin), 2), x.a4 ? 283u : 300u);
        }
    }
}

TEST(ReviseDevmode, OlderLayoutMovesAndDropsFields) {
    UseRegion(true);
    Devmode dm(PRIVATE_DEVMODE_SIZE_908, DEVMODEA_SIZE, 0xCD);
    ASSERT_EQ(Revise(SampleModel("CX5540"), nullptr, &dm, 1), 0u);
    // The duplex pair of the current layout's P+760 is at P+748 here; P+770 at P+758.
    EXPECT_EQ(dm.Get(DEVMODEA_SIZE + 748, 2), 0u);
    EXPECT_EQ(dm.Get(DEVMODEA_SIZE + 758, 2), 1u);
    EXPECT_EQ(dm.Get(DEVMODEA_SIZE + 740, 4), 1u) << "hard-disk value";
    EXPECT_EQ(dm.Get(DEVMODEA_SIZE + 830, 2), 2u);
    // Fields only the current layout has stay zero (the block is cleared first).
    for (std::size_t off : {286u, 288u, 356u})
        EXPECT_EQ(dm.Get(DEVMODEA_SIZE + off, 2), 0u) << off;
}

TEST(ReviseDevmode, RegionByCountryCode) {
    Bytes m = SampleModel("CX5540");
    struct Case {
        DWORD country;
        int paper;
    } cases[] = {{44, 9}, {1, 1}, {52, 1}, {2, 1}, {81, 9}, {505, 1}};
    for (const Case& c : cases) {
        platform::test::SetCountryCode(c.country);
        Devmode dm;
        ASSERT_EQ(Revise(m, nullptr, &dm, 1), 0u);
        EXPECT_EQ(dm.Std(DMO(dmPaperSize)), c.paper) << c.country;
    }
    platform::test::SetCountryCode(44);
    platform::test::FailNext("GetLocaleInfoA", 100, ERROR_INVALID_PARAMETER);
    Devmode dm;
    ASSERT_EQ(Revise(m, nullptr, &dm, 1), 0u);
    EXPECT_EQ(dm.Std(DMO(dmPaperSize)), 1) << "a failing locale query counts as Letter";
}

TEST(ReviseDevmode, ArgumentsAndResults) {
    Bytes m = SampleModel("CX5540");
    Devmode dm, old;
    EXPECT_EQ(Revise(m, nullptr, &dm, 3), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(Revise(m, nullptr, &dm, 0), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(Revise({}, nullptr, &dm, 1), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(Revise(m, nullptr, nullptr, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Revise(m, nullptr, &dm, 2), static_cast<DWORD>(ERROR_INVALID_PARAMETER))
        << "no old device mode";
    EXPECT_EQ(Revise({}, &old, &dm, 2), static_cast<DWORD>(ERROR_INVALID_DATA));
    Devmode other(PRIVATE_DEVMODE_SIZE_908);
    EXPECT_EQ(Revise(m, &other, &dm, 2), static_cast<DWORD>(ERROR_INVALID_PARAMETER))
        << "sizes differ";

    // A private size other than 908 or 1100 changes nothing.
    Devmode odd(1000);
    Bytes before = odd.b;
    EXPECT_EQ(Revise(m, nullptr, &odd, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(odd.b, before);

    // A required query that fails is returned, and the device mode is untouched.
    json source = SampleSource("CX5540");
    source["codes"].erase("24");
    Devmode kept;
    Bytes untouched = kept.b;
    EXPECT_EQ(Revise(Build(source), nullptr, &kept, 1), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(kept.b, untouched);
    Devmode merged;
    untouched = merged.b;
    Devmode from;
    ASSERT_EQ(Revise(m, nullptr, &from, 1), 0u);
    EXPECT_EQ(Revise(Build(source), &from, &merged, 2), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(merged.b, untouched) << "a failed merge writes nothing";

    // No memory for the default device mode.
    platform::test::FailNext("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Revise(m, &from, &merged, 2), static_cast<DWORD>(ERROR_OUTOFMEMORY));
    EXPECT_EQ(merged.b, untouched);
}

TEST(ReviseDevmode, StatedSizesAreCheckedAgainstTheBuffer) {
    Bytes m = SampleModel("CX5540");
    Devmode good;
    ASSERT_EQ(Revise(m, nullptr, &good, 1), 0u);
    struct Case {
        const char* what;
        std::size_t dmSize, extra, buffer;
    } cases[] = {
        {"standard part larger than the ANSI form", 220, 1100, 1320},
        {"standard part too small for dmFields", 40, 1100, 1140},
        {"buffer shorter than stated", 156, 1100, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes old(c.buffer, 0);
        std::memcpy(old.data(), good.b.data(), std::min(old.size(), good.b.size()));
        std::uint16_t size = static_cast<std::uint16_t>(c.dmSize),
                      extra = static_cast<std::uint16_t>(c.extra);
        std::memcpy(old.data() + DMO(dmSize), &size, 2);
        std::memcpy(old.data() + DMO(dmDriverExtra), &extra, 2);
        Devmode dm;
        Bytes before = dm.b;
        EXPECT_EQ(
            model::ReviseDevmode(m.data(), old.data(), old.size(), dm.b.data(), dm.b.size(), 2),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(dm.b, before);
    }
    // An old device mode of spec version 0x320 (124 bytes) is read within it.
    Devmode small(PRIVATE_DEVMODE_SIZE, DEVMODEA_SIZE_320, 0);
    std::memcpy(small.b.data() + DEVMODEA_SIZE_320, good.b.data() + DEVMODEA_SIZE,
                PRIVATE_DEVMODE_SIZE);
    small.Put(DMO(dmFields), 4, DM_ORIENTATION | DM_MEDIATYPE | DM_DITHERTYPE);
    small.Put(DMO(dmOrientation), 2, 2);
    Devmode dm(PRIVATE_DEVMODE_SIZE, DEVMODEA_SIZE, 0);
    ASSERT_EQ(Revise(m, nullptr, &dm, 1), 0u);
    dm.Put(DMO(dmDitherType), 4, 5);
    ASSERT_EQ(Revise(m, &small, &dm, 2), 0u);
    EXPECT_EQ(dm.Std(DMO(dmOrientation)), 2);
    EXPECT_EQ(dm.Std32(DMO(dmDitherType)), 5u) << "the old mode has no dither field to carry";
    EXPECT_EQ(dm.Std32(DMO(dmMediaType)), 1u);
}

// A device mode carried over from the model's own defaults with a few changes.
class Merge : public ::testing::Test {
  protected:
    void SetUp() override {
        UseRegion(true);
        model_ = SampleModel("CX5540");
        ASSERT_EQ(Revise(model_, nullptr, &old_, 1), 0u);
    }
    // As callers do: the new device mode starts as the model's default.
    Devmode Carry() {
        Devmode dm(PRIVATE_DEVMODE_SIZE, DEVMODEA_SIZE, 0);
        EXPECT_EQ(Revise(model_, nullptr, &dm, 1), 0u);
        EXPECT_EQ(Revise(model_, &old_, &dm, 2), 0u);
        return dm;
    }
    Bytes model_;
    Devmode old_;
};

TEST_F(Merge, CustomPaperWithinTheLimitsStays) {
    old_.Put(DMO(dmFields), 4, DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH);
    old_.Put(DMO(dmPaperSize), 2, 256);
    old_.Put(DMO(dmPaperWidth), 2, 2100);
    old_.Put(DMO(dmPaperLength), 2, 2970);
    Devmode dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPaperSize)), 256);
    EXPECT_EQ(dm.Std(DMO(dmPaperWidth)), 2100);
    EXPECT_EQ(dm.Std(DMO(dmPaperLength)), 2970);
    EXPECT_EQ(dm.Fields() & (DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME),
              static_cast<DWORD>(DM_PAPERLENGTH | DM_PAPERWIDTH));

    // Wider than both the custom and the long paper limits: the default paper.
    old_.Put(DMO(dmPaperWidth), 2, 4000);
    dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPaperSize)), 9);
    EXPECT_EQ(dm.Std(DMO(dmPaperWidth)), 2100);
    EXPECT_EQ(dm.Fields() & (DM_PAPERLENGTH | DM_PAPERWIDTH), 0u);

    // Longer than the custom limits but within the long paper limits.
    old_.Put(DMO(dmPaperWidth), 2, 2100);
    old_.Put(DMO(dmPaperLength), 2, 9000);
    EXPECT_EQ(Carry().Std(DMO(dmPaperLength)), 9000);
}

TEST_F(Merge, ListedPapersSourcesAndMedia) {
    old_.Put(DMO(dmFields), 4, DM_PAPERSIZE | DM_DEFAULTSOURCE | DM_MEDIATYPE | DM_FORMNAME);
    old_.Put(DMO(dmPaperSize), 2, 8);       // A3, a model paper
    old_.Put(DMO(dmDefaultSource), 2, 258); // a tray of an optional feeder
    old_.Put(DMO(dmMediaType), 4, 257);     // thick
    Devmode dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPaperSize)), 8);
    EXPECT_EQ(dm.Std(DMO(dmPaperWidth)), 2970) << "dimensions of the listed paper";
    EXPECT_EQ(dm.Fields() & DM_FORMNAME, 0u);
    EXPECT_EQ(dm.Std(DMO(dmDefaultSource)), 258);
    EXPECT_EQ(dm.Std32(DMO(dmMediaType)), 257u);

    old_.Put(DMO(dmPaperSize), 2, 12);      // not a model paper
    old_.Put(DMO(dmDefaultSource), 2, 9);   // no such tray
    old_.Put(DMO(dmMediaType), 4, 0x10001); // narrows to 1, still not a media type
    dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPaperSize)), 9);
    EXPECT_EQ(dm.Std(DMO(dmDefaultSource)), 7);
    EXPECT_EQ(dm.Std32(DMO(dmMediaType)), 1u);
}

TEST_F(Merge, StandardFieldRanges) {
    struct Case {
        const char* what;
        std::uint32_t flag;
        std::size_t off, width;
        std::uint32_t given, expected;
    } cases[] = {
        {"orientation kept", DM_ORIENTATION, DMO(dmOrientation), 2, 2, 2},
        {"orientation replaced", DM_ORIENTATION, DMO(dmOrientation), 2, 3, 1},
        {"scale kept", DM_SCALE, DMO(dmScale), 2, 1000, 1000},
        {"scale replaced", DM_SCALE, DMO(dmScale), 2, 1001, 100},
        {"copies kept", DM_COPIES, DMO(dmCopies), 2, 9999, 9999},
        {"copies replaced", DM_COPIES, DMO(dmCopies), 2, 0, 1},
        {"colour replaced", DM_COLOR, DMO(dmColor), 2, 3, 2},
        {"duplex kept", DM_DUPLEX, DMO(dmDuplex), 2, 3, 3},
        {"duplex replaced", DM_DUPLEX, DMO(dmDuplex), 2, 4, 1},
        {"collate kept", DM_COLLATE, DMO(dmCollate), 2, 0, 0},
        {"collate replaced", DM_COLLATE, DMO(dmCollate), 2, 2, 1},
        {"tt option copied", DM_TTOPTION, DMO(dmTTOption), 2, 7, 7},
        {"dither 10 kept", DM_DITHERTYPE, DMO(dmDitherType), 4, 10, 10},
        {"dither 11 replaced", DM_DITHERTYPE, DMO(dmDitherType), 4, 11, 1},
        {"dither 256 kept", DM_DITHERTYPE, DMO(dmDitherType), 4, 256, 256},
        {"icm method replaced", DM_ICMMETHOD, DMO(dmICMMethod), 4, 3, 2},
        {"icm intent 4 kept", DM_ICMINTENT, DMO(dmICMIntent), 4, 4, 4},
        {"icm intent replaced", DM_ICMINTENT, DMO(dmICMIntent), 4, 5, 2},
    };
    Devmode base = old_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        old_ = base;
        old_.Put(DMO(dmFields), 4, c.flag);
        old_.Put(c.off, c.width, c.given);
        Devmode dm = Carry();
        EXPECT_EQ(dm.Get(c.off, c.width), c.expected);
        EXPECT_TRUE(dm.Fields() & c.flag);
    }
}

TEST_F(Merge, ResolutionFromTheOldMode) {
    old_.Put(DMO(dmFields), 4, DM_PRINTQUALITY);
    old_.SetPriv(PRO(ResolutionCode), 2, 3);
    Devmode dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPrintQuality)), 1200);
    EXPECT_EQ(dm.Priv(PRO(ResolutionCode)), 3u);
    EXPECT_TRUE(dm.Fields() & DM_YRESOLUTION);
    old_.SetPriv(PRO(ResolutionCode), 2, 7);
    dm = Carry();
    EXPECT_EQ(dm.Std(DMO(dmPrintQuality)), 600);
    EXPECT_EQ(dm.Priv(PRO(ResolutionCode)), 2u);
}

TEST_F(Merge, PrivateBlockWithoutSignatureIsLeftAsGiven) {
    old_.SetPriv(PRO(Signature), 4, 0);
    old_.Put(DMO(dmFields), 4, DM_ORIENTATION);
    old_.Put(DMO(dmOrientation), 2, 2);
    Devmode dm(PRIVATE_DEVMODE_SIZE, DEVMODEA_SIZE, 0x5A);
    ASSERT_EQ(Revise(model_, &old_, &dm, 2), 0u);
    EXPECT_EQ(dm.Std(DMO(dmOrientation)), 2);
    for (std::size_t i = 0; i < PRIVATE_DEVMODE_SIZE; ++i)
        ASSERT_EQ(dm.b[DEVMODEA_SIZE + i], 0x5A) << i;
}

TEST_F(Merge, PrivateValuesAreCheckedByTheModelsFeatures) {
    // An old block that claims no features at all still has its values
    // checked: the model's feature words decide.
    for (std::size_t off = PRO(PrivateFlags); off < PRO(TotalSheets); off += 4)
        old_.SetPriv(off, 4, 0);
    old_.SetPriv(PRO(MirrorImage), 2, 9);    // A 0x1: 0..2
    old_.SetPriv(PRO(OutputBin), 2, 3);      // A 0x20000: listed bin codes
    old_.SetPriv(PRO(SortMode), 2, 4);       // A 0x100000: 0..5, kept
    old_.SetPriv(PRO(LayoutKind), 2, 3);     // 0, 1, 2, 4, 8, 16
    old_.SetPriv(PRO(ZoomPercent), 2, 401);  // B 0x2: 25..400
    old_.SetPriv(PRO(ZoomAnchor), 2, 0x29);  // low 4 bits 9
    old_.SetPriv(PRO(Density), 2, 8);        // B 0x200: 1..7 from the model
    old_.SetPriv(PRO(FinePatterns), 2, 1);   // B 0x20000000 is clear for this model
    old_.SetPriv(PRO(JobSetupKind), 2, 4);   // C 0x4: 1..3
    old_.SetPriv(PRO(ResolutionCopy), 2, 0); // 0 takes dmPrintQuality
    Devmode dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(PrivateFlags), 4) & ~0x40u, 0x3F7FFE1Bu & ~0x40u);
    EXPECT_EQ(dm.Priv(PRO(MirrorImage)), 0u);
    EXPECT_EQ(dm.Priv(PRO(OutputBin)), 0u);
    EXPECT_EQ(dm.Priv(PRO(SortMode)), 4u);
    EXPECT_EQ(dm.Priv(PRO(LayoutKind)), 0u);
    EXPECT_EQ(dm.Priv(PRO(ZoomPercent)), 100u);
    EXPECT_EQ(dm.Priv(PRO(ZoomAnchor)), 4u);
    EXPECT_EQ(dm.Priv(PRO(Density)), 4u);
    EXPECT_EQ(dm.Priv(PRO(FinePatterns)), 0u);
    EXPECT_EQ(dm.Priv(PRO(JobSetupKind)), 2u);
    EXPECT_EQ(dm.Priv(PRO(ResolutionCopy)), 600u);

    old_.SetPriv(PRO(Density), 2, 7);
    old_.SetPriv(PRO(ZoomPercent), 2, 25);
    dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(Density)), 7u);
    EXPECT_EQ(dm.Priv(PRO(ZoomPercent)), 25u);
}

TEST_F(Merge, OutputPaper) {
    // Fit to output paper with a listed paper: kept, no own size.
    old_.SetPriv(PRO(LayoutKind), 2, 8);
    old_.SetPriv(PRO(OutputPaperId), 2, 8);
    old_.SetPriv(PRO(OutputPaperWidth), 2, 1234);
    Devmode dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(OutputPaperId)), 8u);
    EXPECT_EQ(dm.Priv(PRO(OutputPaperWidth)), 0u);
    EXPECT_EQ(dm.Priv(PRO(PrivateFlags), 4) & 0x40, 0u);
    // A user paper within the custom limits keeps its size.
    old_.SetPriv(PRO(OutputPaperId), 2, 460);
    old_.SetPriv(PRO(OutputPaperWidth), 2, 2000);
    old_.SetPriv(PRO(OutputPaperLength), 2, 3000);
    dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(OutputPaperWidth)), 2000u);
    EXPECT_EQ(dm.Priv(PRO(PrivateFlags), 4) & 0x40, 0x40u);
    // Outside every limit: cleared.
    old_.SetPriv(PRO(OutputPaperWidth), 2, 9000);
    dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(OutputPaperId)), 0u);
    // No layout: the output paper follows the paper size.
    old_.SetPriv(PRO(LayoutKind), 2, 0);
    old_.SetPriv(PRO(OutputPaperId), 2, 5);
    dm = Carry();
    EXPECT_EQ(dm.Priv(PRO(OutputPaperId)), 9u);
    EXPECT_EQ(dm.Priv(PRO(OutputPaperWidth)), 0u);
}

TEST(ReviseDevmode, ThroughTheDllByNameAndOrdinal) {
    std::u16string path = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr);
    FARPROC byName = GetProcAddress(module, "mdReviseDevmode");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName, GetProcAddress(module, MAKEINTRESOURCEA(MODELSMITH_ORDINAL_REVISEDEVMODE)));
    auto revise = reinterpret_cast<PFN_mdReviseDevmode>(reinterpret_cast<void*>(byName));
    Bytes m = SampleModel("LP1220");
    Devmode dm, old;
    ASSERT_EQ(revise(m.data(), nullptr, dm.b.data(), 1), 0u);
    EXPECT_EQ(dm.Priv(PRO(Signature), 4), PRIVATE_DEVMODE_SIGNATURE);
    ASSERT_EQ(revise(m.data(), nullptr, old.b.data(), 1), 0u);
    EXPECT_EQ(revise(m.data(), old.b.data(), dm.b.data(), 2), 0u);
    EXPECT_EQ(revise(m.data(), nullptr, dm.b.data(), 2),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
} // namespace model_test
