// printhost properties --png: each page of a property sheet pictured in a
// file named by its title made safe ("Form / Tray" is no folder), and each
// picture a page that shows its labels, read back through netpbm.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"
#include "stream_picture.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

class SheetPictures : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
    }
    // The PNG files the folder holds, by name.
    static std::vector<std::string> Pictures(const std::string& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            if (e.path().extension() == ".png") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The picture decodes and shows a page: dark strokes of its labels
    // inside the page area, below the caption and the tabs and above the
    // sheet's buttons, not one flat colour.
    static void ExpectAPage(const std::string& png) {
        e2e::Picture pic;
        ASSERT_TRUE(e2e::ReadPng(png, &pic)) << png;
        ASSERT_GT(pic.width, 200) << png;
        ASSERT_GT(pic.height, 200) << png;
        int dark = 0;
        std::vector<long> colours;
        for (int y = 60; y < pic.height - 50; ++y)
            for (int x = 12; x < pic.width - 12; ++x) {
                dark += pic.Dark(x, y);
                long c = pic.At(x, y);
                if (colours.size() < 8 &&
                    std::find(colours.begin(), colours.end(), c) == colours.end())
                    colours.push_back(c);
            }
        EXPECT_GT(dark, 200) << png << ": no labels drawn in the page area";
        EXPECT_GE(colours.size(), 3u) << png;
    }
};

TEST_F(SheetPictures, DeviceSheetPagesByTheirSafeNames) {
    const std::string folder = platform_testing::Root() + "/device pictures";
    std::string out;
    ASSERT_EQ(Printhost("properties P --device --png '" + folder + "'", &out), 0) << out;
    const std::vector<std::string> expected = {"page-1-Form-Tray.png", "page-2-Device.png"};
    ASSERT_EQ(Pictures(folder), expected) << out;
    for (const auto& name : expected)
        ExpectAPage(folder + "/" + name);
}

TEST_F(SheetPictures, DocumentSheetSevenPagesByTheirSafeNames) {
    const std::string folder = platform_testing::Root() + "/document";
    std::string out;
    ASSERT_EQ(Printhost("properties P --png '" + folder + "'", &out), 0) << out;
    const std::vector<std::string> expected = {
        "page-1-Basic.png",   "page-2-Output.png",  "page-3-Job-Type.png", "page-4-Quality.png",
        "page-5-Effects.png", "page-6-Profile.png", "page-7-Support.png"};
    ASSERT_EQ(Pictures(folder), expected) << out;
    for (const auto& name : expected)
        ExpectAPage(folder + "/" + name);
}

} // namespace
