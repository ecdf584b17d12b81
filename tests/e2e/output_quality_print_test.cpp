// The Output and Quality pages through printhost properties, by the labels a
// person reads: copies with collation, a staple position and a resolution
// chosen there reach the next print's job header.
#include <gtest/gtest.h>

#include <string>

#include "platform_testing/fresh_root.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(OutputQualityPrint, SettingsChosenOnThePagesReachTheNextPrint) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    // The finisher that staples is fitted.
    ASSERT_EQ(Printhost("options P --install 27=2", &out), 0) << out;
    // The staple positions of the fitted finisher are the Output page's
    // "Output Tray" list (the image's OutputBin word).
    ASSERT_EQ(Printhost("properties P --page Output --set Copies=3 --set Collate=on "
                        "--set 'Output Tray=Top Left'",
                        &out),
              0)
        << out;
    EXPECT_TRUE(Has(out, "copies 3, collate 1")) << out;
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Resolution=1200 dpi'", &out), 0) << out;
    EXPECT_TRUE(Has(out, "quality 1200 dpi")) << out;

    const std::string prn = platform_testing::Root() + "/job.prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + PKG_SOURCE_DIR +
                            "/samples/documents/brochure'",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    EXPECT_TRUE(Has(out, "@PJL SET QTY=3")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET STAPLE=LEFTTOP")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET RESOLUTION=1200")) << out;
}

} // namespace
