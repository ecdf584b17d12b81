// printhost through the printer interface library, in separate processes:
// the install stores the driver's default device mode, capabilities are
// listed, a setting changed on the document sheet reaches the next print.
// The driver folder carries the stand-in UI library in place of the built one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

class PrinthostInterface : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        driver_ = root_ + "/driver";
        fs::create_directories(driver_);
        for (const auto& e : fs::directory_iterator(PKG_DRIVER_DIR))
            if (e.is_regular_file())
                fs::copy_file(e.path(), driver_ + "/" + e.path().filename().string());
        fs::copy_file(std::string(FAKE_UI_DIR) + "/whole/Sheetwright.DLL",
                      driver_ + "/Sheetwright.DLL", fs::copy_options::overwrite_existing);
        // The spool-side library the document sheet's file check asks for.
        if (!fs::exists(driver_ + "/Metaweave.DLL"))
            std::ofstream(driver_ + "/Metaweave.DLL") << "stand-in";
        std::string out;
        ASSERT_EQ(Printhost("install --name Office --model '" + std::string(PKG_MODELS_DIR) +
                                "/CX5540.DAT'",
                            &out),
                  0)
            << out;
    }
    int Printhost(const std::string& arguments, std::string* out) {
        return platform_testing::RunCommand("PRINTHOST_DRIVER_DIR='" + driver_ + "' '" +
                                                std::string(PKG_TOOLS_DIR) + "/printhost' " +
                                                arguments + " 2>&1",
                                            out);
    }
    std::string root_, driver_;
};

TEST_F(PrinthostInterface, InstallStoresTheDriversDefault) {
    std::string out;
    ASSERT_EQ(Printhost("printers", &out), 0) << out;
    EXPECT_NE(out.find("device mode: 1320 bytes"), std::string::npos) << out;
    ASSERT_EQ(Printhost("printer-data Office", &out), 0) << out;
    EXPECT_NE(out.find("SPLUserModePrinterDriver"), std::string::npos) << out;
}

TEST_F(PrinthostInterface, CapabilitiesListEveryIndex) {
    std::string out;
    ASSERT_EQ(Printhost("capabilities Office", &out), 0) << out;
    for (const char* line :
         {"DC_FIELDS               1: 0x", "DC_PAPERS               2: 2 9 1",
          "DC_PAPERSIZE            3: 2 2100x2970 2159x2794",
          "DC_FILEDEPENDENCIES    14: not supported",
          "DC_PAPERNAMES          16: 2 \"A4\" \"Letter\"",
          "DC_BINNAMES            12: 2 \"Auto\" \"Tray 1\"",
          "DC_ENUMRESOLUTIONS     13: 2 300/300 600/600", "DC_COPIES              18: 999",
          "DC_NUP                 33: 7 1 2 4 6 8 9 16", "DC_MEDIATYPES          35: 2 1 259"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_NE(Printhost("capabilities Nobody", &out), 0);
}

TEST_F(PrinthostInterface, SheetChangeReachesTheNextPrint) {
    std::string out;
    ASSERT_EQ(Printhost("properties Office --page basic --set 1002=3 --set 1001=0 --png '" + root_ +
                            "/pages'",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find("copies 3, collate 0"), std::string::npos) << out;
    EXPECT_NE(out.find("Edit #1002 \"3\""), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(root_ + "/pages/page-1-Basic.png"));
    ASSERT_EQ(Printhost("print --printer Office --output '" + root_ + "/out.prn'", &out), 0) << out;
    ASSERT_EQ(Printhost("decode '" + root_ + "/out.prn'", &out), 0) << out;
    EXPECT_NE(out.find("copies  count=3"), std::string::npos) << out;

    // A page that is not there: nothing changes, the pages are named.
    EXPECT_EQ(Printhost("properties Office --page Finishing --set 1002=5", &out), 1);
    EXPECT_NE(out.find("no page 'Finishing' (pages: Basic)"), std::string::npos) << out;
    ASSERT_EQ(Printhost("properties Office --device", &out), 0) << out;
    // A control by a label the page does not show; a change without a value.
    EXPECT_EQ(Printhost("properties Office --set copies=2", &out), 1);
    EXPECT_NE(out.find("no control labelled 'copies' on page 'Basic'; its labels: 'Collate'"),
              std::string::npos)
        << out;
    EXPECT_EQ(Printhost("properties Office --set copies", &out), 2);
}

} // namespace
