#include <map>

#include "engine_fixture.h"
#include "platform/testctl.h"
#include "win/winddi.h"

namespace {

class GlyphSetTest : public EngineTest {};

std::map<WCHAR, HGLYPH> Flatten(const FD_GLYPHSET* gs) {
    std::map<WCHAR, HGLYPH> m;
    for (ULONG r = 0; r < gs->cRuns; ++r)
        for (USHORT k = 0; k < gs->awcrun[r].cGlyphs; ++k)
            m[static_cast<WCHAR>(gs->awcrun[r].wcLow + k)] = gs->awcrun[r].phg[k];
    return m;
}

TEST_F(GlyphSetTest, WesternCodePageMapsEachByteToItsCharacter) {
    FD_GLYPHSET* gs = EngComputeGlyphSet(1252, 0, 256);
    ASSERT_NE(gs, nullptr);
    std::map<WCHAR, HGLYPH> m = Flatten(gs);
    EXPECT_EQ(m.size(), gs->cGlyphsSupported);
    EXPECT_EQ(m[u'A'], 0x41u);
    EXPECT_EQ(m[u'\u20AC'], 0x80u); // euro sign
    EXPECT_EQ(m[u'\u00E9'], 0xE9u);
    EXPECT_EQ(gs->flAccel, static_cast<FLONG>(GS_8BIT_HANDLES));
    // Runs are sorted, each a stretch of consecutive characters.
    for (ULONG r = 1; r < gs->cRuns; ++r)
        EXPECT_GT(gs->awcrun[r].wcLow, gs->awcrun[r - 1].wcLow + gs->awcrun[r - 1].cGlyphs - 1);
    EXPECT_EQ(gs->awcrun[0].wcLow, 0);
    EXPECT_GE(gs->cjThis, sizeof(FD_GLYPHSET));
    EngFreeMem(gs);
}

TEST_F(GlyphSetTest, CyrillicCodePageCoversTheCyrillicBlock) {
    FD_GLYPHSET* gs = EngComputeGlyphSet(1251, 1024, 256);
    ASSERT_NE(gs, nullptr);
    std::map<WCHAR, HGLYPH> m = Flatten(gs);
    EXPECT_EQ(m[u'\u0410'], 0xC0u); // CYRILLIC CAPITAL LETTER A
    EXPECT_EQ(m[u'\u044F'], 0xFFu);
    bool run = false;
    for (ULONG r = 0; r < gs->cRuns; ++r)
        if (gs->awcrun[r].wcLow <= 0x410 && gs->awcrun[r].wcLow + gs->awcrun[r].cGlyphs > 0x44F)
            run = true;
    EXPECT_TRUE(run) << "U+0410..U+044F as one run";
    EngFreeMem(gs);
}

TEST_F(GlyphSetTest, BadArgumentsGiveNoGlyphSet) {
    EXPECT_EQ(EngComputeGlyphSet(1252, 0, 0), nullptr);
    EXPECT_EQ(EngComputeGlyphSet(1252, -1, 10), nullptr);
    EXPECT_EQ(EngComputeGlyphSet(1252, 0xFFFF, 2), nullptr);
    EXPECT_EQ(EngComputeGlyphSet(12345, 0, 256), nullptr);
    platform::test::FailNext("EngAllocMem", 1, 8);
    FD_GLYPHSET* gs = EngComputeGlyphSet(1252, 32, 10); // the engine's own block has no fault point
    ASSERT_NE(gs, nullptr);
    EXPECT_EQ(gs->cGlyphsSupported, 10u);
    EXPECT_EQ(gs->cRuns, 1u);
    EngFreeMem(gs);
    platform::test::ClearFaults();
}

TEST_F(GlyphSetTest, CheckAbortFollowsItsScript) {
    EXPECT_FALSE(EngCheckAbort(nullptr));
    platform::test::AbortAfterChecks(2);
    EXPECT_FALSE(EngCheckAbort(nullptr));
    EXPECT_FALSE(EngCheckAbort(nullptr));
    EXPECT_TRUE(EngCheckAbort(nullptr));
    EXPECT_TRUE(EngCheckAbort(nullptr));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 5);
    platform::test::AbortAfterChecks(-1);
    EXPECT_FALSE(EngCheckAbort(nullptr));
}

} // namespace
