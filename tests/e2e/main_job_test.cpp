// The main job through separate printhost processes, as the README runs it:
// install the sample printer on the large sample model, print, and decode the
// printer stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"

namespace {

std::string Tool() { return std::string("'") + PKG_TOOLS_DIR + "/printhost'"; }

int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(Tool() + " " + arguments + " 2>&1", out);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(MainJob, InstallPrintAndDecodeInSeparateProcesses) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), 0) << out;
    std::string prn = platform_testing::Root() + "/main-job.prn";
    ASSERT_EQ(Printhost("print --printer 'CX5540' --pages 2 --copies 2 --output '" + prn + "'", &out), 0) << out;
    EXPECT_NE(out.find("printed 2 page(s) on 'CX5540'"), std::string::npos) << out;
    ASSERT_TRUE(std::filesystem::exists(prn));
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    EXPECT_NE(out.find("@PJL JOB"), std::string::npos) << out;
    EXPECT_NE(out.find("@PJL EOJ NAME=\"Blank pages\""), std::string::npos) << out;
    EXPECT_NE(out.find("copies  count=2"), std::string::npos) << out;
    EXPECT_EQ(Count(out, "page start"), 2u) << out;
    EXPECT_EQ(Count(out, "page end"), 2u) << out;
    EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;

    // A printer that is not there, and a document that is not there, fail plainly.
    EXPECT_NE(Printhost("print --printer 'Nobody'", &out), 0);
    EXPECT_NE(out.find("cannot open printer"), std::string::npos) << out;
    EXPECT_NE(Printhost("print --printer 'CX5540' '" + platform_testing::Root() + "/missing.emf'", &out), 0);
    EXPECT_NE(out.find("no document"), std::string::npos) << out;
    EXPECT_EQ(Printhost("print --printer 'CX5540' --copies 0", &out), 2);
}

// A sample document printed through the whole package and drawn by
// `printhost decode --png`: netpbm reads the picture back, and its shapes are
// where the document put them.
TEST(MainJob, SampleDocumentPrintsAndDrawsWhereItBelongs) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), 0) << out;
    std::string root = platform_testing::Root();
    std::string document = std::string(PKG_SOURCE_DIR) + "/samples/documents/fills.emf";
    ASSERT_EQ(Printhost("print --printer 'CX5540' --output '" + root + "/fills.prn' '" + document + "'", &out), 0)
        << out;
    ASSERT_EQ(Printhost("decode --png '" + root + "/fills' '" + root + "/fills.prn'", &out), 0) << out;
    EXPECT_NE(out.find("page 1: " + root + "/fills-1.png"), std::string::npos) << out;

    ASSERT_EQ(platform_testing::RunCommand("pngtopnm '" + root + "/fills-1.png' > '" + root + "/fills-1.ppm'"), 0);
    std::FILE* f = std::fopen((root + "/fills-1.ppm").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int width = 0, height = 0, maxval = 0;
    ASSERT_EQ(std::fscanf(f, "P6 %d %d %d", &width, &height, &maxval), 3);
    std::fgetc(f); // the one white-space byte before the pixels
    ASSERT_EQ(maxval, 255);
    ASSERT_TRUE(width > 100 && height > 100);
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    ASSERT_EQ(std::fread(rgb.data(), 1, rgb.size(), f), rgb.size());
    std::fclose(f);
    auto at = [&](double x, double y) {
        size_t i = (static_cast<size_t>(y * height) * width + static_cast<size_t>(x * width)) * 3;
        return std::vector<int>{rgb[i], rgb[i + 1], rgb[i + 2]};
    };
    // The pink band across the top, the blue squares at the left, paper elsewhere.
    EXPECT_EQ(at(0.50, 0.18), (std::vector<int>{255, 200, 200}));
    EXPECT_EQ(at(0.12, 0.50), (std::vector<int>{0, 120, 255}));
    EXPECT_EQ(at(0.75, 0.30), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(at(0.50, 0.95), (std::vector<int>{255, 255, 255}));
}

} // namespace
