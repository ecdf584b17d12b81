// Landscape bands turned for the portrait page through the codec library,
// checked bit by bit against a plain rotation, on a page wider than a fixed
// strip buffer would hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <utility>
#include <vector>

#include "band_rotation.h"
#include "hooks.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "render_fixture.h"
#include "win/base.h"

namespace {

using namespace render_test;
using namespace inkforge;

bool Bit(const std::vector<BYTE>& b, LONG stride, LONG x, LONG y) {
    return (b[static_cast<size_t>(y) * stride + x / 8] >> (7 - x % 8)) & 1;
}

SURFOBJ Surface(std::vector<BYTE>& bits, LONG w, LONG h, LONG stride) {
    SURFOBJ so{};
    so.sizlBitmap = SIZEL{w, h};
    so.pvScan0 = bits.data();
    so.lDelta = stride;
    so.iBitmapFormat = BMF_1BPP;
    return so;
}

class BandRotationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", SampleModel("CX5540"));
        std::u16string folder = platform::spooler::DriversFolder() + u"\\P1\\";
        std::filesystem::copy_file(std::string(PKG_DRIVER_DIR) + "/Bitsqueeze.DLL",
                                   platform::HostPath(folder) + "/Bitsqueeze.DLL");
        besides = LoadLibraryW((folder + u"Modelsmith.DLL").c_str());
        SetDriverModule(besides);
    }
    void TearDown() override {
        SetDriverModule(nullptr);
        if (besides) FreeLibrary(besides);
    }
    HMODULE besides = nullptr;
};

TEST_F(BandRotationTest, WideBandsTurnBitForBit) {
    TestDevice dev(u"P1", false);
    // 20000 pixels; widths that end inside a byte (their last portrait lines
    // turned through a buffer), one narrower than a byte; 1056 lines: 132
    // bands, two blocks of 64 and 4 left over.
    const std::pair<LONG, LONG> sizes[] = {{20000, 64}, {4961, 64}, {64, 64},
                                           {700, 1056}, {7, 32},    {1027, 576}};
    for (auto [width, height] : sizes) {
        SCOPED_TRACE(width);
        SCOPED_TRACE(height);
        const LONG srcStride = (width + 31) / 32 * 4;
        std::vector<BYTE> land(static_cast<size_t>(srcStride) * height);
        std::mt19937 rng(static_cast<unsigned>(width));
        for (auto& b : land)
            b = static_cast<BYTE>(rng());
        const LONG dstStride = height / 8;
        std::vector<BYTE> port(static_cast<size_t>(dstStride) * width, 0xAA);
        SURFOBJ l = Surface(land, width, height, srcStride),
                p = Surface(port, height, width, dstStride);
        ASSERT_TRUE(RotatePageBitmap(dev.get(), &l, &p));
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x)
                ASSERT_EQ(Bit(port, dstStride, height - 1 - y, x), Bit(land, srcStride, x, y))
                    << x << "," << y;
    }
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Bitsqueeze.DLL"), 0);
}

TEST_F(BandRotationTest, RefusesWhatItCannotTurn) {
    TestDevice dev(u"P1", false);
    std::vector<BYTE> land(8 * 40, 0), port(8 * 64, 0);
    SURFOBJ l = Surface(land, 64, 40, 8), p = Surface(port, 64, 64, 8);
    EXPECT_FALSE(RotatePageBitmap(dev.get(), &l, &p)); // 40 lines: not whole strips
    l = Surface(land, 64, 32, 8);
    SURFOBJ small = Surface(port, 32, 63, 4);
    EXPECT_FALSE(RotatePageBitmap(dev.get(), &l, &small)); // portrait too small
    std::vector<BYTE> huge(8200 * 32, 0), tall(4 * 65600, 0);
    SURFOBJ wide = Surface(huge, 65600, 32, 8200), out = Surface(tall, 32, 65600, 4);
    EXPECT_FALSE(RotatePageBitmap(dev.get(), &wide, &out)); // wider than the codec counts
    std::filesystem::remove(
        platform::HostPath(platform::spooler::DriversFolder() + u"\\P1\\Bitsqueeze.DLL"));
    SURFOBJ fits = Surface(port, 32, 64, 4);
    EXPECT_FALSE(RotatePageBitmap(dev.get(), &l, &fits));
}

} // namespace
