#include <cstring>

#include "engine_fixture.h"
#include "platform/engine_device.h"
#include "platform/engine_objects.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

// What the engine handed to the driver's DrvRealizeBrush.
struct Seen {
    int calls = 0;
    SURFOBJ* target = nullptr;
    SIZEL patternSize{};
    ULONG patternFormat = 0;
    BYTE firstRows[8] = {};
    bool mask = false;
    ULONG xlateEntries = 0;
    ULONG xlate0 = 0, xlate1 = 0;
    ULONG hatch = 0;
    BOOL answer = TRUE;
    bool allocate = true;
} gSeen;

BOOL APIENTRY RealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                           XLATEOBJ* pxlo, ULONG iHatch) {
    ++gSeen.calls;
    gSeen.target = psoTarget;
    gSeen.patternSize = psoPattern->sizlBitmap;
    gSeen.patternFormat = psoPattern->iBitmapFormat;
    for (int y = 0; y < 8 && y < psoPattern->sizlBitmap.cy; ++y)
        gSeen.firstRows[y] = static_cast<BYTE*>(psoPattern->pvScan0)[y * psoPattern->lDelta];
    gSeen.mask = psoMask != nullptr;
    gSeen.xlateEntries = pxlo ? pxlo->cEntries : 0;
    gSeen.xlate0 = XLATEOBJ_iXlate(pxlo, 0);
    gSeen.xlate1 = XLATEOBJ_iXlate(pxlo, 1);
    gSeen.hatch = iHatch;
    if (gSeen.allocate) {
        auto* r = static_cast<ULONG*>(BRUSHOBJ_pvAllocRbrush(pbo, 16));
        if (r) r[0] = 0xB0B0;
    }
    return gSeen.answer;
}

class BrushTest : public EngineTest {
  protected:
    void SetUp() override {
        gSeen = Seen{};
        DriverFunctions fns;
        fns.fn[INDEX_DrvRealizeBrush] = reinterpret_cast<PFN>(&RealizeBrush);
        hdev = CreateDevice(fns);
        target = EngCreateDeviceSurface(nullptr, SIZEL{100, 100}, BMF_24BPP);
        EngAssociateSurface(target, hdev, 0);
    }
    void TearDown() override {
        EngDeleteSurface(target);
        DeleteDevice(hdev);
        EngineTest::TearDown();
    }
    HDEV hdev = nullptr;
    HSURF target = nullptr;
};

TEST_F(BrushTest, HatchBrushIsRealizedOnceWithItsPatternAndColours) {
    BRUSHOBJ* pbo = CreateHatchBrush(target, HS_CROSS, 0x0000FF, 0xFFFFFF);
    ASSERT_NE(pbo, nullptr);
    EXPECT_EQ(pbo->iSolidColor, 0xFFFFFFFFu);
    auto* r = static_cast<ULONG*>(BRUSHOBJ_pvGetRbrush(pbo));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r[0], 0xB0B0u);
    EXPECT_EQ(pbo->pvRbrush, r);
    EXPECT_EQ(gSeen.calls, 1);
    EXPECT_EQ(gSeen.hatch, static_cast<ULONG>(HS_CROSS));
    EXPECT_EQ(gSeen.patternSize.cx, 8);
    EXPECT_EQ(gSeen.patternFormat, static_cast<ULONG>(BMF_1BPP));
    EXPECT_EQ(gSeen.firstRows[0], 0xF7);
    EXPECT_EQ(gSeen.firstRows[4], 0x00);
    EXPECT_EQ(gSeen.xlateEntries, 2u);
    EXPECT_EQ(gSeen.xlate0, 0x0000FFu); // the lines
    EXPECT_EQ(gSeen.xlate1, 0xFFFFFFu);
    EXPECT_FALSE(gSeen.mask);
    EXPECT_EQ(gSeen.target->hsurf, target);
    // Asked again: the realization is kept.
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(pbo), r);
    EXPECT_EQ(gSeen.calls, 1);
    EXPECT_EQ(platform::test::LiveEngAllocations(), 1);
    DeleteBrush(pbo);
    EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
}

TEST_F(BrushTest, PatternBrushHandsOverCopiesOfPatternMaskAndTranslation) {
    HSURF pattern =
        reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{6, 6}, 0, BMF_8BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* so = EngLockSurface(pattern);
    static_cast<BYTE*>(so->pvScan0)[0] = 1;
    EngUnlockSurface(so);
    HSURF mask =
        reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{6, 6}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    ULONG table[2] = {0x123456, 0x654321};
    XLATEOBJ* pxlo = CreateTableXlate(table, 2);
    BRUSHOBJ* pbo = CreatePatternBrush(target, pattern, mask, pxlo);
    ASSERT_NE(pbo, nullptr);
    // The caller's objects can go at once.
    EngDeleteSurface(pattern);
    EngDeleteSurface(mask);
    DeleteXlate(pxlo);
    ASSERT_NE(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
    EXPECT_EQ(gSeen.hatch, static_cast<ULONG>(HS_DDI_MAX));
    EXPECT_EQ(gSeen.patternSize.cx, 6);
    EXPECT_EQ(gSeen.firstRows[0], 1);
    EXPECT_TRUE(gSeen.mask);
    EXPECT_EQ(gSeen.xlate1, 0x654321u);
    DeleteBrush(pbo);
}

TEST_F(BrushTest, RefusedRealizationLeavesNothingAllocated) {
    gSeen.answer = FALSE;
    BRUSHOBJ* pbo = CreateHatchBrush(target, HS_HORIZONTAL, 0, 0xFFFFFF);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
    EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
    // A driver that says yes without allocating has no realization either.
    gSeen.answer = TRUE;
    gSeen.allocate = false;
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
    EXPECT_EQ(gSeen.calls, 2);
    DeleteBrush(pbo);
}

TEST_F(BrushTest, SolidBrushHasNothingToRealize) {
    BRUSHOBJ* pbo = CreateSolidBrush(target, 0x00FF00);
    EXPECT_EQ(pbo->iSolidColor, 0x00FF00u);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
    EXPECT_EQ(gSeen.calls, 0);
    // A driver may still hang its own data on it.
    EXPECT_NE(BRUSHOBJ_pvAllocRbrush(pbo, 8), nullptr);
    EXPECT_NE(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
    DeleteBrush(pbo);
    EXPECT_EQ(CreateHatchBrush(target, HS_DDI_MAX, 0, 0), nullptr);
    BRUSHOBJ own{};
    EXPECT_EQ(BRUSHOBJ_pvAllocRbrush(&own, 8), nullptr);
    EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&own), nullptr);
}

} // namespace
