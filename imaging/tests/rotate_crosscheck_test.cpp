// Whole pages turned band by band through RAW2ROTATE against netpbm's pamflip
// (and pnminvert for the inverting variants), bit for bit.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/bitsqueeze.h"
#include "platform_testing/fresh_root.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

// Turns a page whose width and height are multiples of 8 the way a caller does:
// one call per band of 8 source lines, or (bandsPerCall > 1) several at once.
Page TurnPage(const Page& page, int variant, int angle, int bandsPerCall = 1) {
    Page src = page; // mirrored variants mirror the source in place
    const bool quarter = angle == 90 || angle == 270;
    Page out = quarter ? Page(page.height, page.width) : Page(page.width, page.height);
    const int bands = page.height / 8;
    if (angle == 0) bandsPerCall = bands;
    for (int band = 0; band < bands; band += bandsPerCall) {
        const int n = std::min(bandsPerCall, bands - band);
        Raw2RotateBlock b{};
        b.variant = static_cast<WORD>(variant);
        b.angle = static_cast<WORD>(angle);
        b.source = src.Row(band * 8);
        b.sourceStride = static_cast<WORD>(src.stride * 8);
        b.sourceLines = static_cast<WORD>(n * 8);
        b.destinationStride = static_cast<WORD>(out.stride * 8);
        switch (angle) {
        case 0:
            b.destination = out.Row(0);
            b.destinationLines = static_cast<WORD>(out.height);
            break;
        case 90:
            b.destination = out.Row(0) + (bands - band - n);
            b.destinationLines = static_cast<WORD>(out.height);
            break;
        case 270:
            b.destination = out.Row(0) + band;
            b.destinationLines = static_cast<WORD>(out.height);
            break;
        case 180:
            b.destination = out.Row(page.height - (band + n) * 8);
            b.destinationLines = static_cast<WORD>(n * 8);
            break;
        }
        EXPECT_EQ(RAW2ROTATE(&b), T4_STATUS_DONE);
    }
    return out;
}

std::optional<Page> Netpbm(const Page& page, const std::string& pipeline) {
    std::string in = platform_testing::Root() + "/in.pbm";
    EXPECT_TRUE(testkit::WriteFile(in, testkit::ToPbm(page))) << in;
    std::string out;
    int status = testkit::Run("cat " + in + " | " + pipeline, &out);
    EXPECT_EQ(status, 0) << pipeline;
    std::optional<Page> parsed = testkit::ParsePbm(out);
    EXPECT_TRUE(parsed) << pipeline << " gave " << out.size() << " bytes";
    return parsed;
}

TEST(RotateCrossCheck, EqualsPamflip) {
    std::vector<std::pair<std::string, Page>> pages;
    for (int n : {1, 5}) {
        std::optional<Page> p = testkit::CcittPage(n);
        ASSERT_TRUE(p) << "ccitt" << n;
        pages.push_back({"ccitt" + std::to_string(n), *p});
    }
    pages.push_back({"noise 328x96", testkit::Noise(328, 96)});
    pages.push_back({"text 1000x512", testkit::TextLike(1000, 512)});
    struct Case {
        int variant, angle;
        const char* pipeline;
    } cases[] = {
        {0, 0, "cat"},
        {0, 90, "pamflip -cw"},
        {0, 180, "pamflip -r180"},
        {0, 270, "pamflip -ccw"},
        {1, 0, "pamflip -lr"},
        {1, 90, "pamflip -lr | pamflip -cw"},
        {1, 180, "pamflip -lr | pamflip -r180"},
        {1, 270, "pamflip -lr | pamflip -ccw"},
        {2, 0, "pnminvert"},
        {2, 90, "pamflip -cw | pnminvert"},
        {2, 180, "pamflip -r180 | pnminvert"},
        {3, 270, "pamflip -lr | pamflip -ccw | pnminvert"},
        {3, 90, "pamflip -lr | pamflip -cw | pnminvert"},
    };
    for (const auto& [name, page] : pages) {
        for (const Case& c : cases) {
            std::optional<Page> want = Netpbm(page, c.pipeline);
            ASSERT_TRUE(want) << c.pipeline;
            for (int bandsPerCall : {1, 9, 64}) {
                Page got = TurnPage(page, c.variant, c.angle, bandsPerCall);
                std::string where;
                EXPECT_TRUE(got.SameImage(*want, &where))
                    << name << ", " << c.pipeline << ", " << bandsPerCall
                    << " bands per call: " << where;
            }
        }
    }
}

} // namespace
