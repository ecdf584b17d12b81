// The layout scale of a spool-side job: each layout's formula on papers
// whose sizes make the expected percentage easy to see, and the scale a real
// page start computes from the device mode of the first page.
#include <gtest/gtest.h>

#include "emf_job.h"
#include "layout_scale.h"
#include "pdev.h"
#include "private_devmode.h"
#include "render_fixture.h"

namespace {

using namespace render_test;
using namespace inkforge;

constexpr PaperPixels kSquare{6000, 6000};
constexpr PaperPixels kA4{4960, 7016};

TEST(LayoutScale, PagesPerSheet) {
    struct Case {
        WORD pages;
        PaperPixels job, output;
        bool turned;
        WORD scale;
    } cases[] = {
        {4, kSquare, kSquare, false, 46}, // 50 less the margin
        {9, kSquare, kSquare, false, 29}, // 33.3 less 4
        {16, kSquare, kSquare, false, 21},
        {2, kA4, kA4, false, 66},  // min(7016*50/4960, 4960*100/7016) = 70.6, less 4
        {2, kA4, kA4, true, 46},   // min(4960*100/4960, 7016*50/7016) = 50, less 4
        {3, kA4, kA4, false, 100}, // no such count
        {0, kA4, kA4, false, 100},
        {4, kA4, {0, 0}, false, 100}, // no output paper
    };
    for (const Case& c : cases) {
        LayoutInputs in;
        in.pagesPerSheet = c.pages;
        EXPECT_EQ(ComputeNupScale(in, c.job, c.output, c.turned), c.scale)
            << c.pages << " turned " << c.turned;
    }
}

TEST(LayoutScale, BookletPosterAndFit) {
    LayoutInputs in;
    in.bindingMargin = 0;
    // A booklet of A4 pages on A4 sheets: half a sheet per page, 70 % less
    // the margin unless the model keeps the scale exact.
    EXPECT_EQ(ComputeBookletScale(in, kA4, kA4, false), 66);
    EXPECT_EQ(ComputeBookletScale(in, kA4, kA4, true), 46); // turned: 50 less 4
    // On a sheet of two A4 pages side by side each page keeps its size.
    EXPECT_EQ(ComputeBookletScale(in, kA4, {7016, 9920}, false), 100);
    in.layoutFlags = kBookletExactScale;
    EXPECT_EQ(ComputeBookletScale(in, kA4, kA4, false), 70);
    // A binding margin wider than the sheet leaves no room: the smallest scale.
    in.bindingMargin = 60000;
    EXPECT_EQ(ComputeBookletScale(in, kA4, kA4, false), 1);

    LayoutInputs poster;
    poster.posterAcross = poster.posterDown = 2;
    EXPECT_EQ(ComputePosterScale(poster, kSquare, kSquare), 200);
    poster.posterOverlap = 600; // (6000*2 - 600) * 100 / 6000
    EXPECT_EQ(ComputePosterScale(poster, kSquare, kSquare), 190);
    poster.posterAcross = 3; // uneven grid: turned sheets, the smaller count across
    poster.posterOverlap = 0;
    EXPECT_EQ(ComputePosterScale(poster, kA4, kA4),
              std::min(7016 * 2 * 100 / 4960, 4960 * 3 * 100 / 7016));
    poster.posterDown = 0;
    EXPECT_EQ(ComputePosterScale(poster, kA4, kA4), 100);

    EXPECT_EQ(ComputeFitScale(kA4, {2480, 3508}), 50);
    EXPECT_EQ(ComputeFitScale(kA4, {0, 3508}), 100);
}

// A page start of a real job takes the layout of the first page.
TEST(LayoutScale, ThePageStartTakesTheFirstPagesLayout) {
    InstallPrinter(u"P1", SampleModel("CX5540"));
    struct Case {
        WORD kind, pages;
        SHORT zoom;
        WORD scale;
    } cases[] = {
        {kLayoutPagesPerSheet, 4, 100, 46}, // same paper both sides
        {kLayoutZoom, 0, 150, 150},
        {kLayoutFitToPaper, 0, 100, 100}, // the job's own paper
        {0, 4, 100, 100},
    };
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        dev->jobId = 40;
        SetPrivU16(dev->devmode, priv::LayoutKind, c.kind);
        SetPrivU16(dev->devmode, priv::PagesPerSheet, c.pages);
        SetPrivU16(dev->devmode, priv::ZoomPercent, static_cast<WORD>(c.zoom));
        SetPrivU16(dev->devmode, priv::OutputPaperId, 0);
        dev->pageCount = 1;
        ASSERT_TRUE(CreateSpoolPackage(dev.get()));
        // A later change of the device mode does not move the layout.
        SetPrivU16(dev->devmode, priv::PagesPerSheet, 16);
        ASSERT_TRUE(OpenEmfPage(dev.get()));
        EXPECT_EQ(dev->emfJob->layoutScale, c.scale) << c.kind;
        EXPECT_TRUE(CloseEmfPage(dev.get()));
        FinishSpoolFile(dev.get());
        DeleteSpoolPackage(dev.get());
    }
}

} // namespace
