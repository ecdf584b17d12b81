// The Support page through printhost, as a person opens it: the driver's
// files with the versions the build gave them, and its picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform_testing/fresh_root.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

TEST(SupportPageThroughPrinthost, ListsTheDriversFilesWithTheirVersions) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    const char* dir = std::getenv("PAGES_PNG_DIR");
    const std::string pictures =
        dir && *dir ? std::string(dir) : ::testing::TempDir() + "support_page_e2e";
    std::filesystem::create_directories(pictures);
    ASSERT_EQ(Printhost("properties P --page Support --png '" + pictures + "'", &out), 0) << out;
    const size_t list = out.find("Edit #914");
    ASSERT_NE(list, std::string::npos) << out;
    const std::string line = out.substr(list, out.find('\n', list) - list);
    EXPECT_NE(line.find("SHEETWRIGHT.DLL"), std::string::npos) << line;
    EXPECT_NE(line.find("5.01.053"), std::string::npos) << line;
    bool saved = false;
    for (const auto& entry : std::filesystem::directory_iterator(pictures))
        saved |= entry.path().filename().string().find("Support") != std::string::npos;
    EXPECT_TRUE(saved) << pictures;
}

} // namespace
