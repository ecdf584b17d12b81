#include <cstring>

#include "engine_fixture.h"
#include "platform/core.h"
#include "platform/engine_device.h"
#include "platform/testctl.h"
#include "win/errors.h"
#include "win/winddi.h"

namespace {

class SurfaceTest : public EngineTest {};

TEST_F(SurfaceTest, BitmapsOfEveryDepthHaveTheirScanLines) {
    struct Case {
        ULONG format;
        LONG width;
        LONG delta; // least 4-byte multiple holding a row
    } cases[] = {
        {BMF_1BPP, 33, 8}, {BMF_4BPP, 9, 8},   {BMF_8BPP, 5, 8},
        {BMF_16BPP, 3, 8}, {BMF_24BPP, 5, 16}, {BMF_32BPP, 3, 12},
    };
    for (const Case& c : cases) {
        HBITMAP top = EngCreateBitmap(SIZEL{c.width, 7}, 0, c.format, BMF_TOPDOWN, nullptr);
        ASSERT_NE(top, nullptr) << c.format;
        SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(top));
        ASSERT_NE(so, nullptr);
        EXPECT_EQ(so->iType, STYPE_BITMAP);
        EXPECT_EQ(so->iBitmapFormat, c.format);
        EXPECT_EQ(so->lDelta, c.delta);
        EXPECT_EQ(so->cjBits, static_cast<ULONG>(c.delta * 7));
        EXPECT_EQ(so->pvScan0, so->pvBits);
        EXPECT_EQ(so->hsurf, reinterpret_cast<HSURF>(top));
        EXPECT_TRUE(so->fjBitmap & BMF_TOPDOWN);
        EngUnlockSurface(so);
        EXPECT_TRUE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));

        // Bottom-up: the first scan line is the last one in memory.
        HBITMAP up = EngCreateBitmap(SIZEL{c.width, 7}, 0, c.format, 0, nullptr);
        so = EngLockSurface(reinterpret_cast<HSURF>(up));
        EXPECT_EQ(so->lDelta, -c.delta);
        EXPECT_EQ(static_cast<BYTE*>(so->pvScan0), static_cast<BYTE*>(so->pvBits) + 6 * c.delta);
        EngUnlockSurface(so);
        EngDeleteSurface(reinterpret_cast<HSURF>(up));
    }
}

TEST_F(SurfaceTest, CallersBitsAndStrideAreUsedAsGiven) {
    BYTE bits[3 * 40] = {};
    HBITMAP hbm = EngCreateBitmap(SIZEL{10, 3}, 40, BMF_24BPP, BMF_TOPDOWN, bits);
    SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(hbm));
    EXPECT_EQ(so->pvBits, bits);
    EXPECT_EQ(so->lDelta, 40);
    RECTL r{1, 1, 3, 2};
    EXPECT_TRUE(EngEraseSurface(so, &r, 0x112233));
    EXPECT_EQ(bits[40 + 3], 0x33);
    EXPECT_EQ(bits[40 + 4], 0x22);
    EXPECT_EQ(bits[40 + 5], 0x11);
    EXPECT_EQ(bits[40 + 9], 0x00);
    EngUnlockSurface(so);
    EngDeleteSurface(reinterpret_cast<HSURF>(hbm));
}

TEST_F(SurfaceTest, BadBitmapRequestsAreRefused) {
    struct Case {
        SIZEL size;
        LONG width;
        ULONG format;
    } cases[] = {
        {{0, 5}, 0, BMF_8BPP},    {{5, -1}, 0, BMF_8BPP},
        {{5, 5}, 0, 0},           {{5, 5}, 0, 9},
        {{100, 5}, 99, BMF_8BPP},                                     // stride shorter than a row
        {{5, 5}, -8, BMF_8BPP},   {{0x10000, 0x10000}, 0, BMF_32BPP}, // more than the engine makes
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(EngCreateBitmap(c.size, c.width, c.format, 0, nullptr), nullptr);
        EXPECT_NE(GetLastError(), 0u);
    }
    EXPECT_EQ(EngCreateDeviceSurface(nullptr, SIZEL{0, 1}, BMF_24BPP), nullptr);
    EXPECT_EQ(EngLockSurface(reinterpret_cast<HSURF>(0x1234)), nullptr);
    EXPECT_FALSE(EngDeleteSurface(nullptr));
    EngUnlockSurface(nullptr);
}

TEST_F(SurfaceTest, EraseFillsEachPixelFormat) {
    struct Case {
        ULONG format;
        ULONG color;
        BYTE expect[4]; // bytes 0..3 of row 0 after erasing pixels 1..2
    } cases[] = {
        {BMF_1BPP, 1, {0x60, 0, 0, 0}},        {BMF_4BPP, 0xA, {0x0A, 0xA0, 0, 0}},
        {BMF_8BPP, 0x7F, {0, 0x7F, 0x7F, 0}},  {BMF_16BPP, 0xBEEF, {0, 0, 0xEF, 0xBE}},
        {BMF_32BPP, 0x01020304, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        HSURF hs = reinterpret_cast<HSURF>(
            EngCreateBitmap(SIZEL{8, 2}, 0, c.format, BMF_TOPDOWN, nullptr));
        SURFOBJ* so = EngLockSurface(hs);
        RECTL r{1, 0, 3, 1};
        EXPECT_TRUE(EngEraseSurface(so, &r, c.color));
        EXPECT_EQ(std::memcmp(so->pvScan0, c.expect, 4), 0) << c.format;
        if (c.format == BMF_32BPP) {
            EXPECT_EQ(static_cast<BYTE*>(so->pvScan0)[4], 0x04);
        }
        // Row 1 untouched; a rectangle outside the bitmap writes nothing.
        RECTL outside{-10, -10, -1, 5};
        EXPECT_TRUE(EngEraseSurface(so, &outside, c.color));
        for (LONG i = 0; i < so->lDelta; ++i)
            EXPECT_EQ(static_cast<BYTE*>(so->pvScan0)[so->lDelta + i], 0);
        EXPECT_FALSE(EngEraseSurface(so, nullptr, 0));
        EngUnlockSurface(so);
        EngDeleteSurface(hs);
    }
}

TEST_F(SurfaceTest, DeviceSurfaceIsAssociatedWithItsDevice) {
    platform::engine::DriverFunctions fns;
    HDEV hdev = platform::engine::CreateDevice(fns);
    auto pdev = reinterpret_cast<DHPDEV>(0x1000);
    platform::engine::SetDevicePdev(hdev, pdev);
    HSURF hs = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(0x77), SIZEL{4960, 7016}, BMF_24BPP);
    ASSERT_NE(hs, nullptr);
    EXPECT_FALSE(EngAssociateSurface(hs, reinterpret_cast<HDEV>(0x9), HOOK_BITBLT));
    ASSERT_TRUE(EngAssociateSurface(hs, hdev, HOOK_BITBLT | HOOK_STROKEPATH | HOOK_FILLPATH));
    ASSERT_TRUE(EngMarkBandingSurface(hs));
    SURFOBJ* so = EngLockSurface(hs);
    EXPECT_EQ(so->iType, STYPE_DEVICE);
    EXPECT_EQ(so->dhsurf, reinterpret_cast<DHSURF>(0x77));
    EXPECT_EQ(so->dhpdev, pdev);
    EXPECT_EQ(so->hdev, hdev);
    EXPECT_EQ(so->pvBits, nullptr);
    RECTL r{0, 0, 10, 10};
    EXPECT_TRUE(EngEraseSurface(so, &r, 0)); // nothing of its own to erase
    EngUnlockSurface(so);
    platform::engine::SurfaceState state;
    ASSERT_TRUE(platform::engine::QuerySurface(hs, &state));
    EXPECT_EQ(state.hooks, static_cast<FLONG>(HOOK_BITBLT | HOOK_STROKEPATH | HOOK_FILLPATH));
    EXPECT_TRUE(state.banding);
    EXPECT_EQ(state.hdev, hdev);
    EngDeleteSurface(hs);
    platform::engine::DeleteDevice(hdev);
}

// A surface deleted while locked stays readable until its last unlock.
TEST_F(SurfaceTest, DeletingALockedSurfaceWaitsForTheUnlock) {
    HSURF hs =
        reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{4, 4}, 0, BMF_8BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* a = EngLockSurface(hs);
    SURFOBJ* b = EngLockSurface(hs);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(EngDeleteSurface(hs));
    EXPECT_EQ(EngLockSurface(hs), nullptr); // the handle is gone
    EXPECT_EQ(platform::test::LiveSurfaces(), 1);
    static_cast<BYTE*>(a->pvScan0)[0] = 1;
    EngUnlockSurface(a);
    EXPECT_EQ(platform::test::LiveSurfaces(), 1);
    EngUnlockSurface(b);
    EXPECT_EQ(platform::test::LiveSurfaces(), 0);
    EXPECT_FALSE(EngDeleteSurface(hs));
}

TEST_F(SurfaceTest, PalettesAreMadeAndCountedByKind) {
    ULONG colors[2] = {0xFFFFFF, 0};
    HPALETTE indexed = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
    HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    HPALETTE fields = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0xF800, 0x07E0, 0x001F);
    EXPECT_NE(indexed, nullptr);
    EXPECT_NE(rgb, nullptr);
    EXPECT_NE(fields, nullptr);
    EXPECT_EQ(platform::test::LivePalettes(), 3);
    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 0, colors, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(0x40, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_TRUE(EngDeletePalette(indexed));
    EXPECT_FALSE(EngDeletePalette(indexed));
    EngDeletePalette(rgb);
    EngDeletePalette(fields);
}

TEST_F(SurfaceTest, FailuresCanBeInjected) {
    platform::test::FailNext("EngCreateBitmap", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(EngCreateBitmap(SIZEL{1, 1}, 0, BMF_8BPP, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    platform::test::FailNext("EngAllocMem", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(EngAllocMem(0, 10, 0x74736574), nullptr);
    void* p = EngAllocMem(FL_ZERO_MEMORY, 10, 0x74736574);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<BYTE*>(p)[9], 0);
    EXPECT_EQ(platform::test::LiveEngAllocations(), 1);
    EngFreeMem(p);
    long foreign = platform::test::ForeignEngFrees();
    int local = 0;
    EngFreeMem(&local); // not the engine's: ignored and counted
    EXPECT_EQ(platform::test::ForeignEngFrees(), foreign + 1);
}

} // namespace
