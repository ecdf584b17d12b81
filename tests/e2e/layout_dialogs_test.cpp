// The Basic page's layout dialogs as a person uses them, through printhost
// properties by label only: a dialog is pictured as it opens, and what is
// chosen in it reaches the next print's stream.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"
#include "stream_picture.h"

namespace {

using e2e::Picture;
using e2e::ReadPng;

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Dark pixels in a part of a picture.
long Ink(const Picture& pic, int x0, int y0, int x1, int y1) {
    long n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += pic.Dark(x, y);
    return n;
}

class LayoutDialogsByLabel : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
        // Straight into the stream, as the main job prints.
        ASSERT_EQ(Printhost("devmode P --set ReverseOrder=0 --set GraphicsMode=0 --store", &out), 0)
            << out;
    }
    std::string root_;
};

TEST_F(LayoutDialogsByLabel, DialogOpenedWithNoChangesIsPicturedAndCancelled) {
    const std::string folder = root_ + "/pictures";
    std::string out;
    ASSERT_EQ(
        Printhost("properties P --page Basic --set 'Pages per Sheet=click' --png '" + folder + "'",
                  &out),
        0)
        << out;
    Picture pic;
    ASSERT_TRUE(ReadPng(folder + "/dialog-Pages-per-Sheet.png", &pic)) << out;
    EXPECT_GT(pic.width, 300);
    EXPECT_GT(Ink(pic, 0, 0, pic.width, pic.height), 200) << "no labels drawn";
    EXPECT_EQ(out.find("left unanswered"), std::string::npos) << out;
    // Cancel kept the sheet's layout: nothing is laid out several to a sheet.
    ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
    EXPECT_EQ(out.find("LayoutKind             1 "), std::string::npos) << out;
}

TEST_F(LayoutDialogsByLabel, FourPagesPerSheetWithBordersReachTheNextPrint) {
    const std::string folder = root_ + "/pictures";
    std::string out;
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Pages per Sheet=click' --dialog "
                        "'4 up=on' --dialog 'Page Border=Solid' --png '" +
                            folder + "'",
                        &out),
              0)
        << out;
    EXPECT_TRUE(std::filesystem::exists(folder + "/dialog-Pages-per-Sheet.png")) << out;
    ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
    EXPECT_NE(out.find("PagesPerSheet          4 "), std::string::npos) << out;
    EXPECT_NE(out.find("PageBorders            1 "), std::string::npos) << out;
    // Four pages of the samples, replayed spool-side four to a sheet.
    const std::string doc = root_ + "/four";
    std::filesystem::create_directories(doc);
    const std::string samples = std::string(PKG_SOURCE_DIR) + "/samples/documents/";
    std::filesystem::copy_file(samples + "brochure/page-1.emf", doc + "/1.emf");
    std::filesystem::copy_file(samples + "brochure/page-2.emf", doc + "/2.emf");
    std::filesystem::copy_file(samples + "text/letter.emf", doc + "/3.emf");
    std::filesystem::copy_file(samples + "text/table.emf", doc + "/4.emf");
    const std::string prn = root_ + "/four.prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + doc + "'", &out), 0) << out;
    ASSERT_EQ(Printhost("decode --png '" + root_ + "/four' '" + prn + "'", &out), 0) << out;
    EXPECT_EQ(Count(out, "page start"), 1u) << out;
    EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    Picture sheet;
    ASSERT_TRUE(ReadPng(root_ + "/four-1.png", &sheet));
    const int w = sheet.width, h = sheet.height;
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx)
            EXPECT_GT(Ink(sheet, qx * w / 2, qy * h / 2, (qx + 1) * w / 2, (qy + 1) * h / 2), 1000)
                << "quarter " << qx << "," << qy << " holds no page";
}

TEST_F(LayoutDialogsByLabel, BookletChosenInItsDialogPrintsFolded) {
    std::string out;
    // Without its duplex unit and finisher the model offers no booklet; the
    // sheet is printed on both sides, flipped on its short edge, also when
    // the person chose no two-sided printing: the booklet brings it.
    ASSERT_EQ(Printhost("options P --install 25=1 --install 27=2", &out), 0) << out;
    const std::vector<std::string> before = {
        "--set 'Duplex (Automatic)=Flip on Short Edge' ",
        "",
    };
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(before[i].empty() ? "booklet alone" : before[i]);
        ASSERT_EQ(Printhost("devmode P --set LayoutKind=0 --set dmDuplex=1 --store", &out), 0)
            << out;
        ASSERT_EQ(Printhost("properties P --page Basic " + before[i] +
                                "--set 'Booklet=click' --dialog 'Left Binding=on' --png '" + root_ +
                                "/pictures'",
                            &out),
                  0)
            << out;
        EXPECT_TRUE(std::filesystem::exists(root_ + "/pictures/dialog-Booklet.png")) << out;
        ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
        EXPECT_NE(out.find("LayoutKind             2 "), std::string::npos) << out;
        EXPECT_NE(out.find("dmDuplex               3\n"), std::string::npos) << out;
        EXPECT_NE(out.find("BookletKind            1 "), std::string::npos) << out;
        const std::string prn = root_ + "/booklet.prn";
        const std::string pictures = root_ + "/booklet" + std::to_string(i);
        ASSERT_EQ(Printhost("print --printer P --to-file '" + prn + "' '" + PKG_SOURCE_DIR +
                                "/samples/documents/brochure'",
                            &out),
                  0)
            << out;
        ASSERT_EQ(Printhost("decode --png '" + pictures + "' '" + prn + "'", &out), 0) << out;
        // The brochure's two pages on one sheet's two sides, two cells a
        // side, bound at the short edge: the front holds the blank last page
        // and page 1, the back page 2 and a blank. The PJL says booklet, not
        // a binding side it was not given.
        EXPECT_EQ(Count(out, "page start"), 2u) << out;
        EXPECT_NE(out.find("binding=2 (short edge)"), std::string::npos) << out;
        EXPECT_NE(out.find("@PJL SET DUPLEX=ON"), std::string::npos) << out;
        EXPECT_NE(out.find("@PJL SET BOOKLET=ON"), std::string::npos) << out;
        EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
        Picture front, back;
        ASSERT_TRUE(ReadPng(pictures + "-1.png", &front));
        ASSERT_TRUE(ReadPng(pictures + "-2.png", &back));
        EXPECT_GT(front.width, front.height);
        EXPECT_EQ(Ink(front, 0, 0, front.width / 2, front.height), 0);
        EXPECT_GT(Ink(front, front.width / 2, 0, front.width, front.height), 1000);
        EXPECT_GT(Ink(back, 0, 0, back.width / 2, back.height), 1000);
        EXPECT_EQ(Ink(back, back.width / 2, 0, back.width, back.height), 0);
    }
}

} // namespace
