// The Effects page through printhost processes, as a person uses it: the
// watermark switched on by its label, its text typed into the Watermark
// dialog, OK; the next job carries it through the spool-side replay, whose
// page shows the text; switched off again, the page is as before. An
// overlay made from one job is printed behind the next.
#include <gtest/gtest.h>

#include <string>

#include "platform_testing/fresh_root.h"
#include "stream_picture.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

std::string Line(const std::string& snapshot, const std::string& start) {
    size_t at = snapshot.find(start);
    if (at == std::string::npos) return "";
    size_t end = snapshot.find('\n', at);
    return snapshot.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Dark pixels in a rectangle of the picture.
long DarkIn(const e2e::Picture& p, int left, int top, int right, int bottom) {
    long n = 0;
    for (int y = top; y < bottom && y < p.height; ++y)
        for (int x = left; x < right && x < p.width; ++x)
            n += p.Dark(x, y) ? 1 : 0;
    return n;
}

class EffectsPage : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
    }
    e2e::Picture PrintAndDraw(const std::string& name, const char* document = "lines.emf") {
        std::string out;
        EXPECT_EQ(Printhost("print --printer P --output '" + root_ + "/" + name + ".prn' '" +
                                PKG_SOURCE_DIR + "/samples/documents/" + document + "'",
                            &out),
                  0)
            << out;
        EXPECT_EQ(
            Printhost("decode --png '" + root_ + "/" + name + "' '" + root_ + "/" + name + ".prn'",
                      &out),
            0)
            << out;
        e2e::Picture pic;
        EXPECT_TRUE(e2e::ReadPng(root_ + "/" + name + "-1.png", &pic)) << out;
        return pic;
    }
    std::string root_;
};

TEST_F(EffectsPage, WatermarkChosenOnThePageIsPrintedOnTheNextJob) {
    const e2e::Picture before = PrintAndDraw("before");
    std::string out;
    ASSERT_EQ(Printhost("properties P --page Effects --set Watermark=on "
                        "--dialog 'String=CONFIDENTIAL' --dialog Size=96 --dialog Angle=0 "
                        "--png '" +
                            root_ + "/pages'",
                        &out),
              0)
        << out;
    EXPECT_NE(Line(out, "Button #962").find("checked"), std::string::npos) << out;
    // Typed but not saved in the list: the name is the text, marked as changed.
    EXPECT_NE(Line(out, "Static #963").find("\"CONFIDENTIAL*\""), std::string::npos) << out;
    EXPECT_NE(Line(out, "Edit #467").find("\"CONFIDENTIAL\""), std::string::npos) << out;

    const e2e::Picture with = PrintAndDraw("with");
    ASSERT_EQ(with.width, before.width);
    // A level line of large text across the page's middle.
    const int w = with.width, h = with.height;
    const long band = DarkIn(with, w / 8, h / 2 - h / 20, w - w / 8, h / 2 + h / 20) -
                      DarkIn(before, w / 8, h / 2 - h / 20, w - w / 8, h / 2 + h / 20);
    EXPECT_GT(band, 500) << "no watermark text across the middle";

    ASSERT_EQ(Printhost("properties P --page Effects --set Watermark=off", &out), 0) << out;
    const e2e::Picture after = PrintAndDraw("after");
    EXPECT_EQ(after.rgb, before.rgb);
}

// A job printed in make mode becomes the overlay "Form" and prints nothing;
// chosen in print mode, it lies behind every page of the next job.
TEST_F(EffectsPage, OverlayMadeFromOneJobIsPrintedBehindTheNext) {
    const e2e::Picture shapes = PrintAndDraw("shapes", "shapes.emf");
    const e2e::Picture lines = PrintAndDraw("lines");
    std::string out;
    ASSERT_EQ(Printhost("properties P --page Effects --set Overlay=on "
                        "--dialog 'Make Overlay File=on' --dialog 'Overlay File Name=Form'",
                        &out),
              0)
        << out;
    EXPECT_NE(Line(out, "Static #967").find("\"Form\""), std::string::npos) << out;
    ASSERT_EQ(Printhost("print --printer P --output '" + root_ + "/made.prn' '" + PKG_SOURCE_DIR +
                            "/samples/documents/shapes.emf'",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find(" 0 bytes"), std::string::npos) << out;

    // Switched off and on again, the dialog comes up in make mode; print mode
    // lists the new overlay and takes it.
    ASSERT_EQ(Printhost("properties P --page Effects --set Overlay=off", &out), 0) << out;
    ASSERT_EQ(Printhost("properties P --page Effects --set Overlay=on "
                        "--dialog 'Print with Overlay File=on' --dialog 'Layer=Overlay in "
                        "Background'",
                        &out),
              0)
        << out;
    EXPECT_NE(Line(out, "ListBox #415").find("items=1 sel=0"), std::string::npos) << out;
    const e2e::Picture both = PrintAndDraw("both");
    ASSERT_EQ(both.rgb.size(), shapes.rgb.size());
    // Every dark pixel of either job is dark on the page that has both.
    long missing = 0, dark = 0;
    for (int y = 0; y < both.height; ++y)
        for (int x = 0; x < both.width; ++x)
            if (shapes.Dark(x, y) || lines.Dark(x, y)) {
                ++dark;
                missing += both.Dark(x, y) ? 0 : 1;
            }
    EXPECT_GT(dark, 0);
    EXPECT_LT(missing, dark / 50) << missing << " of " << dark << " dark pixels missing";
}

} // namespace
