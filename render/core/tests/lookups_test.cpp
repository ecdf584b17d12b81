// Model-data lookups for rendering, on the sample models and on small models
// made for a single table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "hooks.h"
#include "model_access.h"
#include "output_files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "render_fixture.h"
#include "render_lookups.h"
#include "win/base.h"
#include "win/spool.h"
#include "working_folder.h"

namespace {

using namespace render_test;
namespace priv = inkforge::priv;

class LookupsTest : public ::testing::Test {
  protected:
    void Install(const Bytes& model) { InstallPrinter(u"P1", model); }
};

TEST_F(LookupsTest, GrayWeightsAndTheirDefaults) {
    struct Case {
        const char* name;
        std::vector<int> weights; // empty: the model has no table 44
        SHORT r, g, b;
    };
    const std::vector<Case> cases = {{"none", {}, 74, 155, 27},
                                     {"all given", {77, 151, 28, 0}, 77, 151, 28},
                                     {"only green", {0, 155, 0, 0}, 74, 155, 27},
                                     {"green doubled", {0, 310, 0, 0}, 148, 310, 54},
                                     {"red missing", {-1, 155, 27, 0}, 74, 155, 27},
                                     {"all zero", {0, 0, 0, 0}, 74, 155, 27}};
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        nlohmann::json codes = nlohmann::json::object();
        if (!c.weights.empty()) codes["44"] = {{"1", c.weights}};
        std::u16string printer = u"P" + std::u16string(1, static_cast<char16_t>(u'A' + i));
        InstallPrinter(printer, Compile(SourceWith(262, codes)));
        TestDevice dev(printer, false);
        inkforge::LoadGrayWeights(dev.get());
        ASSERT_NE(dev->halftone, nullptr);
        EXPECT_EQ(dev->halftone->grayRed, c.r) << c.name;
        EXPECT_EQ(dev->halftone->grayGreen, c.g) << c.name;
        EXPECT_EQ(dev->halftone->grayBlue, c.b) << c.name;
    }
}

TEST_F(LookupsTest, PaperRectangles) {
    Install(SampleModel("CX5540"));
    TestDevice dev(u"P1", false);
    inkforge::PaperRect r;
    // A4 of the model's table, at its own 600 dots per inch and at 300.
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 9, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.id, 9);
    EXPECT_EQ(r.width, 4961);
    EXPECT_EQ(r.left, 100);
    EXPECT_GT(r.right, r.left);
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 9, 1, 300, &r, nullptr, nullptr));
    EXPECT_EQ(r.width, 2480);
    EXPECT_EQ(r.left, 50);
    // Turned, width and length change places.
    inkforge::PaperRect turned;
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 9, 2, 600, &turned, nullptr, nullptr));
    EXPECT_EQ(turned.width, r.length * 2);
    // A user size (256, or above the model's ids) is computed from the device
    // mode's tenths of a millimetre.
    dev->devmode.dm.dmPaperWidth = 2100;
    dev->devmode.dm.dmPaperLength = 2970;
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 500, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.width, 4961);
    EXPECT_EQ(r.length, 7017);
    EXPECT_EQ(r.right - r.left, 4961 - 200);
    // An id the model does not know takes the model's default paper.
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 2, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.id, 1);
    inkforge::SetPrivU16(dev->devmode, priv::MeasureFlags, 1);
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 2, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.id, 9);
    DWORD flags = 0;
    char name[32];
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 9, 1, 600, &r, &flags, name));
}

TEST_F(LookupsTest, BuiltInPapersWithoutAModelTable) {
    Install(Compile(SourceWith(262, nlohmann::json::object())));
    TestDevice dev(u"P1", false);
    inkforge::PaperRect r;
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 9, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.width, 4961);
    ASSERT_TRUE(inkforge::GetPaperInfo(dev.get(), 7, 1, 600, &r, nullptr, nullptr));
    EXPECT_EQ(r.id, 1) << "Letter when the model names no default";
}

TEST_F(LookupsTest, BandBitDepth) {
    Install(SampleModel("CX5540"));
    {
        TestDevice dev(u"P1", false);
        EXPECT_EQ(inkforge::GetBandBitDepth(dev.get()), 1u);
        inkforge::SetPrivU32(dev->devmode, priv::FeatureFlags, 1u << 16);
        inkforge::SetPrivU16(dev->devmode, priv::GraphicsMode, 1);
        inkforge::SetPrivU16(dev->devmode, priv::HalftoneKind, 1);
        EXPECT_EQ(inkforge::GetBandBitDepth(dev.get()), 24u);
        inkforge::SetPrivU16(dev->devmode, priv::HalftoneKind, 3);
        EXPECT_EQ(inkforge::GetBandBitDepth(dev.get()), 1u);
    }
    // Without model data the band is 1 bit.
    std::filesystem::remove(
        platform::HostPath(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\MODEL.DAT"));
    TestDevice dev(u"P1", false);
    EXPECT_EQ(dev->modelData, nullptr);
    inkforge::SetPrivU32(dev->devmode, priv::FeatureFlags, 1u << 16);
    inkforge::SetPrivU16(dev->devmode, priv::GraphicsMode, 1);
    EXPECT_EQ(inkforge::GetBandBitDepth(dev.get()), 1u);
}

TEST_F(LookupsTest, SourcesForPaperAndMedia) {
    Install(SampleModel("LP1220"));
    TestDevice dev(u"P1", false);
    auto list = [&](int paper, DWORD media) {
        HGLOBAL block = nullptr;
        DWORD n = inkforge::ListSourcesForPaper(dev.get(), paper, media, &block);
        std::vector<WORD> ids(n);
        if (n) std::memcpy(ids.data(), block, n * sizeof(WORD));
        if (block) GlobalFree(block);
        return ids;
    };
    EXPECT_TRUE(list(9, 0).empty());
    EXPECT_EQ(list(9, 1), (std::vector<WORD>{7, 4, 1}));
    EXPECT_EQ(list(9, 257), (std::vector<WORD>{7, 4}));
    EXPECT_EQ(list(20, 260), (std::vector<WORD>{7, 4}));
    EXPECT_EQ(list(1, 999), (std::vector<WORD>{}));
}

TEST_F(LookupsTest, ModelDataFileIsCheckedBeforeUse) {
    Bytes model = SampleModel("LP1220");
    Install(model);
    std::string path =
        platform::HostPath(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\MODEL.DAT");
    HANDLE printer = nullptr;
    std::u16string name = u"P1";
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
    LPVOID data = inkforge::LoadModelData(printer);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::memcmp(data, model.data(), model.size()), 0);
    EXPECT_EQ(inkforge::ComponentFileName(data, 20), u"Modelsmith.DLL");
    EXPECT_EQ(inkforge::ComponentFileName(data, 77), u"");
    GlobalFree(data);
    auto write = [&](const Bytes& b) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    };
    Bytes wrongSize = model;
    wrongSize[4] ^= 1;
    Bytes wrongMagic = model;
    wrongMagic[0] = 'X';
    Bytes tableEnd = model;
    std::memset(tableEnd.data() + 8, 0xFF, 4);
    for (const Bytes& b :
         {wrongSize, wrongMagic, tableEnd, Bytes(model.begin(), model.begin() + 8), Bytes{}}) {
        write(b);
        EXPECT_EQ(inkforge::LoadModelData(printer), nullptr);
    }
    ClosePrinter(printer);
}

TEST_F(LookupsTest, ComponentNamesGetThePlatformCode) {
    nlohmann::json codes = {{"7",
                             {{"entries",
                               {{{"id", 20}, {"kind", 6}, {"name", "MDL%s.DLL"}},
                                {{"id", 22}, {"kind", 7}, {"name", "UI%s.DLL"}},
                                {{"id", 23}, {"kind", 5}, {"name", "RES%s.DLL"}}}}}}};
    Install(Compile(SourceWith(262, codes)));
    TestDevice dev(u"P1", false);
    EXPECT_EQ(inkforge::ComponentFileName(dev->modelData, 20), u"MDL64.DLL");
    EXPECT_EQ(inkforge::ComponentFileName(dev->modelData, 22), u"UI32.DLL");
    EXPECT_EQ(inkforge::ComponentFileName(dev->modelData, 23), u"RES%s.DLL");
}

} // namespace

namespace {

// Names from model data are single folder and file names: a model name that
// climbs or reaches into a folder is left out of the working folder, and a
// clean-up program named by a path is not registered.
TEST_F(LookupsTest, ModelAndComponentNamesStayInTheirFolders) {
    nlohmann::json codes = {{"15", ".."},
                            {"11", "..\\..\\Windows"},
                            {"14", {{"text", "Good"}, {"second", "PCL XL"}}},
                            {"7",
                             {{"entries",
                               {{{"id", 20}, {"kind", 1}, {"name", "Modelsmith.DLL"}},
                                {{"id", 39}, {"kind", 1}, {"name", "..\\..\\evil.EXE"}}}}}}};
    Install(Compile(SourceWith(262, codes)));
    TestDevice dev(u"P1", false);
    std::u16string folder;
    ASSERT_TRUE(inkforge::GetWorkingFolder(dev.get(), &folder));
    EXPECT_EQ(folder.find(u".."), std::u16string::npos) << platform::ToUtf8(folder);
    const std::u16string tail = u"\\LocalLow\\Good\\";
    ASSERT_GE(folder.size(), tail.size());
    EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
    EXPECT_FALSE(inkforge::AddCleanupRunOnce(dev.get(), folder + u"spool\\"));
}

TEST_F(LookupsTest, WorkingFolderAndFontDataFile) {
    Install(SampleModel("CX5540"));
    TestDevice dev(u"P1", false);
    std::u16string folder;
    ASSERT_TRUE(inkforge::GetWorkingFolder(dev.get(), &folder));
    const std::u16string tail = u"\\LocalLow\\Velmora\\Velmora CX5540 MFP\\CX5500\\";
    ASSERT_GE(folder.size(), tail.size());
    EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);

    // Header {0x4D46, -, 1, count, -} and count records of 192 bytes.
    auto write = [&](DWORD magic, DWORD version, DWORD count, size_t records) {
        std::filesystem::create_directories(platform::HostPath(folder));
        std::FILE* f = std::fopen(platform::HostPath(folder + u"Fontroll.DAT").c_str(), "wb");
        DWORD head[5] = {magic, 0, version, count, 0};
        std::fwrite(head, sizeof head, 1, f);
        std::vector<BYTE> record(192, 'R');
        for (size_t i = 0; i < records; ++i)
            std::fwrite(record.data(), 1, record.size(), f);
        std::fclose(f);
    };
    struct Case {
        DWORD magic, version, count;
        size_t records;
        DWORD expected;
    };
    for (const Case& c :
         std::vector<Case>{{0x4D46, 1, 2, 2, 2},
                           {0x4D47, 1, 2, 2, 0},
                           {0x4D46, 2, 2, 2, 0},
                           {0x4D46, 1, 0, 2, 0},
                           {0x4D46, 1, 3, 2, 0},             // short
                           {0x4D46, 1, 0x7FFFFFFF, 2, 0}}) { // a count the file cannot hold
        write(c.magic, c.version, c.count, c.records);
        TestDevice other(u"P1", false);
        inkforge::ReadFontDataFile(other.get());
        EXPECT_EQ(other->fontSubCount, c.expected) << c.count;
        if (c.expected) {
            EXPECT_EQ(other->fontSubs[191], 'R');
        }
    }
}

} // namespace
