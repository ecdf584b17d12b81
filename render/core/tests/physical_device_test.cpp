// The driver's exports, the physical device made from a device mode, the
// roads a job cannot take yet, and the hooks' checks of their record.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <vector>

#include "devmode_revision.h"
#include "hooks.h"
#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "platform/loader_ctl.h"
#include "render_fixture.h"
#include "win/base.h"

#ifndef ERROR_BAD_DRIVER_LEVEL
#define ERROR_BAD_DRIVER_LEVEL 119L
#endif

namespace {

using namespace render_test;
using inkforge::DevmodeImage;
namespace priv = inkforge::priv;

class PhysicalDeviceTest : public ::testing::Test {
  protected:
    void Install(const Bytes& model) {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", model);
    }
    // The device record made from `given` on a physical device of P1.
    DevmodeImage SetUp(const DEVMODEW* given, TestDevice* dev) {
        EXPECT_TRUE(inkforge::SetUpDeviceRecord(dev->get(), given, u"P1"));
        return dev->get()->devmode;
    }
};

TEST_F(PhysicalDeviceTest, DriverEntryAndQuery) {
    Install(SampleModel("LP1220"));
    HMODULE driver =
        LoadLibraryW(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\Inkforge.DLL");
    ASSERT_NE(driver, nullptr);
    auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
        reinterpret_cast<PFN>(GetProcAddress(driver, "DrvEnableDriver")));
    auto query = reinterpret_cast<BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD)>(
        reinterpret_cast<PFN>(GetProcAddress(driver, "DrvQueryDriverInfo")));
    auto disable = reinterpret_cast<PFN_DrvDisableDriver>(
        reinterpret_cast<PFN>(GetProcAddress(driver, "DrvDisableDriver")));
    ASSERT_TRUE(enable && query && disable);

    DRVENABLEDATA ded{};
    SetLastError(0);
    EXPECT_FALSE(enable(0x1FFFF, sizeof ded, &ded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_DRIVER_LEVEL));
    EXPECT_FALSE(enable(DDI_DRIVER_VERSION_NT5_01_SP1, 15, &ded));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_DRIVER_LEVEL));
    ASSERT_TRUE(enable(DDI_DRIVER_VERSION_NT4, sizeof ded, &ded));
    EXPECT_EQ(ded.iDriverVersion, 0x30101u);
    std::vector<ULONG> order;
    for (ULONG i = 0; i < ded.c; ++i)
        order.push_back(ded.pdrvfn[i].iFunc);
    // The life-cycle hooks lead the table; the hooks of the other Parts follow.
    ASSERT_GE(order.size(), 10u);
    EXPECT_EQ(std::vector<ULONG>(order.begin(), order.begin() + 10),
              (std::vector<ULONG>{INDEX_DrvEnablePDEV, INDEX_DrvResetPDEV, INDEX_DrvCompletePDEV,
                                  INDEX_DrvDisablePDEV, INDEX_DrvEnableSurface,
                                  INDEX_DrvDisableSurface, INDEX_DrvSendPage, INDEX_DrvStartPage,
                                  INDEX_DrvStartDoc, INDEX_DrvEndDoc}));
    EXPECT_NE(std::find(order.begin(), order.end(), static_cast<ULONG>(INDEX_DrvEscape)),
              order.end());
    long before = platform::test::LiveEngAllocations();
    disable();
    EXPECT_EQ(platform::test::LiveEngAllocations(), before - 2) << "the two glyph sets";

    DWORD value = 0, needed = 0;
    EXPECT_TRUE(query(1, &value, sizeof value, &needed));
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(needed, 4u);
    needed = 0;
    EXPECT_FALSE(query(1, &value, 3, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    EXPECT_FALSE(query(2, &value, sizeof value, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    FreeLibrary(driver);
}

TEST_F(PhysicalDeviceTest, HooksRefuseARecordWithADamagedSignature) {
    Install(SampleModel("LP1220"));
    TestDevice dev(u"P1", false);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
    for (DWORD* sig : {&dev->signature, &dev->signatureEnd}) {
        DWORD kept = *sig;
        *sig ^= 1;
        SetLastError(0);
        EXPECT_FALSE(inkforge::DrvStartDoc(&so, nullptr, 1));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_FALSE(inkforge::DrvStartPage(&so));
        EXPECT_FALSE(inkforge::DrvSendPage(&so));
        EXPECT_FALSE(inkforge::DrvEndDoc(&so, 0));
        EXPECT_EQ(inkforge::DrvEnableSurface(reinterpret_cast<DHPDEV>(dev.get())), nullptr);
        inkforge::DrvDisableSurface(reinterpret_cast<DHPDEV>(dev.get())); // silently
        EXPECT_FALSE(inkforge::DrvResetPDEV(reinterpret_cast<DHPDEV>(dev.get()),
                                            reinterpret_cast<DHPDEV>(dev.get())));
        *sig = kept;
    }
    SURFOBJ none{};
    EXPECT_FALSE(inkforge::DrvStartPage(&none));
    EXPECT_FALSE(inkforge::DrvStartPage(nullptr));
}

TEST_F(PhysicalDeviceTest, DeviceModeFieldsAreClamped) {
    Install(SampleModel("CX5540"));
    TestDevice dev(u"P1", false);
    DevmodeImage given = OwnDevmode();
    given.dm.dmScale = 10;
    given.dm.dmCopies = 0;
    given.dm.dmDuplex = 7;
    given.dm.dmColor = 0;
    given.dm.dmOrientation = 3;
    given.dm.dmCollate = 5;
    DevmodeImage d = SetUp(&given.dm, &dev);
    EXPECT_EQ(d.dm.dmScale, 100);
    EXPECT_EQ(d.dm.dmCopies, 1);
    EXPECT_EQ(d.dm.dmDuplex, 1);
    EXPECT_EQ(d.dm.dmColor, 2);
    EXPECT_EQ(d.dm.dmOrientation, 1);
    EXPECT_EQ(d.dm.dmCollate, 1);
    // The printer's name, whatever the device mode said.
    EXPECT_EQ(std::u16string(d.dm.dmDeviceName), u"P1");
    EXPECT_EQ(d.dm.dmSize, 220);
    EXPECT_EQ(d.dm.dmDriverExtra, 1100);
}

TEST_F(PhysicalDeviceTest, ResolutionFromTheModelUnlessTheDeviceModeAsksAnother) {
    Install(SampleModel("CX5540"));
    struct Case {
        WORD mode;
        bool asks;
        short quality;
        short expectX, expectY;
    };
    for (const Case& c : std::vector<Case>{{3, false, 0, 1200, 1200},
                                           {7, false, 0, 600, 600}, // anything else is mode 2
                                           {1, true, 300, 300, 300},
                                           {3, true, 300, 300, 1200}}) {
        TestDevice dev(u"P1", false);
        DevmodeImage given = OwnDevmode();
        inkforge::SetPrivU16(given, priv::ResolutionCode, c.mode);
        given.dm.dmFields = c.asks ? DM_PRINTQUALITY : 0;
        given.dm.dmPrintQuality = c.quality;
        DevmodeImage d = SetUp(&given.dm, &dev);
        EXPECT_EQ(d.dm.dmPrintQuality, c.expectX) << c.mode;
        EXPECT_EQ(d.dm.dmYResolution, c.expectY) << c.mode;
    }
}

TEST_F(PhysicalDeviceTest, WithoutTheUiLibraryTheDefaultDeviceModeIs600DpiAtFullScale) {
    Install(SampleModel("LP1220"));
    TestDevice dev(u"P1", false);
    DevmodeImage d;
    inkforge::DefaultDevmode(dev.get(), u"P1", &d);
    EXPECT_EQ(d.dm.dmPrintQuality, 600);
    EXPECT_EQ(d.dm.dmScale, 100);
    EXPECT_EQ(d.dm.dmSize, 220);
    EXPECT_EQ(d.dm.dmDriverExtra, 1100);
    EXPECT_TRUE(inkforge::HasOwnSignature(d.priv));
}

TEST_F(PhysicalDeviceTest, AForeignPrivatePartIsNotTakenOver) {
    Install(SampleModel("CX5540"));
    struct Case {
        const char* name;
        WORD extra;
        bool sign;
    };
    for (const Case& c : std::vector<Case>{{"another driver's 1100 bytes", 1100, false},
                                           {"an old 908-byte block", 908, true},
                                           {"8 bytes", 8, false}}) {
        TestDevice dev(u"P1", false);
        std::vector<BYTE> given(220 + c.extra, 0xFF);
        DevmodeImage own = OwnDevmode();
        std::memcpy(given.data(), &own.dm, 220);
        auto* dm = reinterpret_cast<DEVMODEW*>(given.data());
        dm->dmDriverExtra = c.extra;
        if (c.sign) std::memcpy(given.data() + 220, own.priv, 8);
        DevmodeImage d = SetUp(dm, &dev);
        EXPECT_TRUE(inkforge::HasOwnSignature(d.priv)) << c.name;
        // None of the foreign bytes became settings of this job.
        EXPECT_NE(inkforge::PrivU32(d, priv::PrivateFlags), 0xFFFFFFFFu) << c.name;
        EXPECT_NE(inkforge::PrivU16(d, priv::JobType), 0xFFFF) << c.name;
        EXPECT_NE(d.priv[priv::MailboxId], 0xFF) << c.name;
        EXPECT_EQ(dev->modeFlags & inkforge::mode::SpoolSide, 0u) << c.name;
        // The model library made the block: the feature bits every model has.
        EXPECT_EQ(inkforge::PrivU32(d, priv::PrivateFlags) & 0xAC00u, 0xAC00u) << c.name;
    }
    // Without the model library's revision the block is empty but signed.
    platform::test::MakeExportAbsent(u"Modelsmith.DLL", "mdReviseDevmode");
    TestDevice dev(u"P1", false);
    std::vector<BYTE> given(220 + 8, 0xFF);
    DevmodeImage own = OwnDevmode();
    std::memcpy(given.data(), &own.dm, 220);
    reinterpret_cast<DEVMODEW*>(given.data())->dmDriverExtra = 8;
    DevmodeImage d = SetUp(reinterpret_cast<DEVMODEW*>(given.data()), &dev);
    EXPECT_TRUE(inkforge::HasOwnSignature(d.priv));
    EXPECT_EQ(inkforge::PrivU32(d, priv::PrivateFlags), 0u);
}

TEST_F(PhysicalDeviceTest, RoadDecision) {
    Install(SampleModel("CX5540"));
    struct Case {
        const char* name;
        DWORD emfMode, stateBits, featureFlags;
        WORD graphicsMode, halftoneKind;
        DWORD spoolSide, banding, direction;
    };
    const std::vector<Case> cases = {
        {"direct", 0, 0, 0, 0, 0, 0, 0, 0},
        {"spool-side by the device mode", 1, 0, 0, 0, 0, 1, 0, 0},
        {"spool-side set by the interface is not taken", 5, 0, 0, 0, 0, 0, 0, 0},
        {"the job state's own choice", 0, 2 | 8, 0, 0, 0, 1, 0, 0},
        {"banding for the graphics mode", 0, 0, 1u << 16, 1, 2, 0, 1, 2},
        {"graphics mode off", 0, 0, 1u << 16, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        DevmodeImage given = OwnDevmode();
        inkforge::SetPrivU32(given, priv::EmfMode, c.emfMode);
        inkforge::SetPrivU32(given, priv::StateBits, c.stateBits);
        inkforge::SetPrivU32(given, priv::FeatureFlags, c.featureFlags);
        inkforge::SetPrivU16(given, priv::GraphicsMode, c.graphicsMode);
        inkforge::SetPrivU16(given, priv::HalftoneKind, c.halftoneKind);
        DevmodeImage d = SetUp(&given.dm, &dev);
        EXPECT_EQ(dev->modeFlags & inkforge::mode::SpoolSide, c.spoolSide) << c.name;
        EXPECT_EQ(dev->banding, c.banding) << c.name;
        EXPECT_EQ(dev->rasterDirection, c.direction) << c.name;
        EXPECT_EQ(inkforge::PrivU32(d, priv::StateBits) & 0xE, 0u) << c.name;
    }
}

// On a model that cannot band (LP1220 has no query 77), the graphics mode
// takes the spool-side road; the replay of such a job, which the spool-side
// player starts with its own mode bit, prints directly instead of being
// recorded and handed back to the player again.
TEST_F(PhysicalDeviceTest, AReplayedJobDoesNotGoBackToTheSpoolSide) {
    Install(SampleModel("LP1220"));
    for (auto [emfMode, spoolSide] : {std::pair<DWORD, DWORD>{0, 1}, {4, 0}}) {
        TestDevice dev(u"P1", false);
        DevmodeImage given = OwnDevmode();
        inkforge::SetPrivU32(given, priv::EmfMode, emfMode);
        inkforge::SetPrivU32(given, priv::FeatureFlags, 1u << 16);
        inkforge::SetPrivU16(given, priv::GraphicsMode, 1);
        SetUp(&given.dm, &dev);
        EXPECT_EQ(dev->modeFlags & inkforge::mode::SpoolSide, spoolSide) << emfMode;
        EXPECT_EQ(dev->banding, 0u) << emfMode;
    }
}

// No job-prompt program is installed here: nobody can be asked, so the job
// prints nothing, and its pages and its end say that it failed.
TEST_F(PhysicalDeviceTest, AJobWhosePromptCannotRunPrintsNothingAndFails) {
    Install(SampleModel("CX5540"));
    DevmodeImage d = OwnDevmode();
    inkforge::SetPrivU16(d, priv::DeptCounterFlags, 4);
    JobResult r = PrintBlankPages(u"P1", &d.dm, 3);
    ASSERT_GT(r.startDoc, 0);
    EXPECT_EQ(r.pagesOk, 0);
    EXPECT_LE(r.endDoc, 0);
    EXPECT_TRUE(r.stream.empty());
}

TEST_F(PhysicalDeviceTest, BandHeightIsNeverZero) {
    struct Case {
        DWORD page, stride, budget, height;
    };
    for (const Case& c :
         std::vector<Case>{{7016, 620, 4u << 20, 6760},
                           {100, 620, 4u << 20, 100},
                           {7016, 14880, 4u << 20, 280},
                           {7016, 1u << 23, 4u << 20, 8}, // a line beyond the budget
                           {5, 1u << 23, 4u << 20, 5},
                           {7016, 0, 4u << 20, 7016}}) {
        EXPECT_EQ(inkforge::BandHeight(c.page, c.stride, c.budget), c.height) << c.stride;
    }
}

} // namespace
