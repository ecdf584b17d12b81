// Every engine test ends with nothing of the engine left alive.
#pragma once

#include <gtest/gtest.h>

#include "platform/engine_ctl.h"

class EngineTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(platform::test::LiveEngAllocations(), 0);
        EXPECT_EQ(platform::test::LiveSurfaces(), 0);
        EXPECT_EQ(platform::test::LivePalettes(), 0);
        EXPECT_EQ(platform::test::LiveDevices(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
    }
};
