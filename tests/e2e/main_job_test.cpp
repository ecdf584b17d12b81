// The main job through separate printhost processes, as the README runs it:
// install the sample printer on the large sample model, print, and decode the
// printer stream.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

} // namespace
