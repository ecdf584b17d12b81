#include <gtest/gtest.h>

#include "platform/testctl.h"
#include "win/base.h"

namespace {

TEST(GlobalMemory, FixedAndMoveableBlocksBalance) {
    long before = platform::test::LiveGlobalAllocations();
    HGLOBAL fixed = GlobalAlloc(GPTR, 16);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalLock(fixed), fixed); // a fixed block is its own address
    EXPECT_EQ(static_cast<BYTE*>(fixed)[15], 0);
    EXPECT_EQ(GlobalSize(fixed), 16u);

    HGLOBAL moveable = GlobalAlloc(GHND, 8);
    ASSERT_NE(moveable, nullptr);
    auto* p = static_cast<BYTE*>(GlobalLock(moveable));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void*>(p), moveable);
    EXPECT_EQ(GlobalHandle(p), moveable);
    EXPECT_FALSE(GlobalUnlock(moveable));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR)); // unlocked to zero
    EXPECT_EQ(platform::test::LiveGlobalAllocations(), before + 2);

    HGLOBAL grown = GlobalReAlloc(moveable, 64, GMEM_ZEROINIT);
    ASSERT_EQ(grown, moveable);
    EXPECT_EQ(GlobalSize(moveable), 64u);
    EXPECT_EQ(static_cast<BYTE*>(GlobalLock(moveable))[63], 0);
    GlobalUnlock(moveable);

    EXPECT_EQ(GlobalFree(fixed), nullptr);
    EXPECT_EQ(GlobalFree(moveable), nullptr);
    EXPECT_EQ(platform::test::LiveGlobalAllocations(), before);
}

TEST(GlobalMemory, BadHandlesAreRefused) {
    int local = 0;
    EXPECT_EQ(GlobalLock(&local), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalFree(&local), static_cast<HGLOBAL>(&local));
    EXPECT_EQ(GlobalSize(&local), 0u);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemory, InjectedFailure) {
    platform::test::FailNext("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY, 1);
    HGLOBAL first = GlobalAlloc(GPTR, 4);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GlobalAlloc(GPTR, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    HGLOBAL third = GlobalAlloc(GPTR, 4);
    EXPECT_NE(third, nullptr);
    GlobalFree(first);
    GlobalFree(third);
    EXPECT_EQ(platform::test::CallCount("GlobalAlloc"), 3);
}

TEST(HeapMemory, DestroyReleasesRemainingBlocks) {
    long before = platform::test::LiveHeapAllocations();
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    void* a = HeapAlloc(heap, HEAP_ZERO_MEMORY, 100);
    void* b = HeapAlloc(heap, 0, 10);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(HeapSize(heap, 0, a), 100u);
    EXPECT_TRUE(HeapFree(heap, 0, b));
    EXPECT_FALSE(HeapFree(heap, 0, b)); // twice is refused, not a double free
    EXPECT_EQ(platform::test::LiveHeapAllocations(), before + 1);
    EXPECT_TRUE(HeapDestroy(heap));
    EXPECT_EQ(platform::test::LiveHeapAllocations(), before);
    EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
}

} // namespace
