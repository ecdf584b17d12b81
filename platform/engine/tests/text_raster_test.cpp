// The engine's text drawing onto a bitmap: a glyph lands pixel for pixel as
// FreeType draws it, in the foreground brush under the mix, only inside the
// clip, over the opaque rectangle, with the extra rectangles.
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/engine_fonts.h"
#include "platform/engine_objects.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

constexpr const char* kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr ULONG kCopyPen = 13, kXorPen = 7;
constexpr LONG kWidth = 160, kHeight = 160;

class EngineText : public EngineTest {
  protected:
    void SetUp() override {
        real.file = LoadFontFile(kSans);
        ASSERT_TRUE(real.file) << kSans;
        real.m11 = real.m22 = 0.05; // about 100 pixels to the em
        font = AcquireFontObj(nullptr, real);
        ASSERT_NE(font, nullptr);
        glyph = GlyphIndexOf(real, 'R');
        ASSERT_TRUE(RenderGlyph(real, glyph, true, &image));
        ASSERT_GT(image.width, 0);
        surface = reinterpret_cast<HSURF>(
            EngCreateBitmap(SIZEL{kWidth, kHeight}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
        so = EngLockSurface(surface);
        ASSERT_NE(so, nullptr);
    }
    void TearDown() override {
        EngUnlockSurface(so);
        EngDeleteSurface(surface);
        ReleaseDeviceFonts(nullptr);
        EngineTest::TearDown();
    }
    void Fill(ULONG pixel) {
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x)
                Put(x, y, pixel);
    }
    void Put(LONG x, LONG y, ULONG v) {
        BYTE* p = static_cast<BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x;
        p[0] = static_cast<BYTE>(v), p[1] = static_cast<BYTE>(v >> 8),
        p[2] = static_cast<BYTE>(v >> 16);
    }
    ULONG Get(LONG x, LONG y) const {
        const BYTE* p = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta + 3 * x;
        return p[0] | ULONG{p[1]} << 8 | ULONG{p[2]} << 16;
    }
    // Whether FreeType's image of the glyph, placed at `at`, sets pixel (x, y).
    bool Inked(POINTL at, LONG x, LONG y) const {
        LONG gx = x - (at.x + image.left), gy = y - (at.y + image.top);
        if (gx < 0 || gy < 0 || gx >= image.width || gy >= image.height) return false;
        return image.rows[static_cast<size_t>(gy * ((image.width + 7) / 8) + gx / 8)] &
               (0x80 >> (gx % 8));
    }
    BOOL Draw(POINTL at, CLIPOBJ* clip, ULONG color, ULONG mix, RECTL* opaque = nullptr,
              ULONG opaqueColor = 0, RECTL* extra = nullptr) {
        STROBJ* s = CreateStrObj(font, {{glyph, at}}, u"R", 0, 0, true, SO_HORIZONTAL, 0, 1252);
        BRUSHOBJ* fore = CreateSolidBrush(surface, color);
        BRUSHOBJ* back = CreateSolidBrush(surface, opaqueColor);
        POINTL org{0, 0};
        BOOL ok = EngTextOut(so, s, font, clip, extra, opaque, fore, back, &org, mix);
        DeleteBrush(back);
        DeleteBrush(fore);
        DeleteStrObj(s);
        return ok;
    }

    FontRealization real;
    FONTOBJ* font = nullptr;
    ULONG glyph = 0;
    GlyphImage image;
    HSURF surface = nullptr;
    SURFOBJ* so = nullptr;
};

TEST_F(EngineText, GlyphIsTheFreeTypeImageUnderTheMixInsideTheClip) {
    const POINTL at{40, 120};
    RECTL half{0, 0, 70, kHeight}; // the clip cuts the glyph at x = 70
    CLIPOBJ* clip = CreateClip(&half, 1);
    ASSERT_NE(clip, nullptr);
    struct Case {
        const char* what;
        CLIPOBJ* clip;
        ULONG mix, background, expectInked, expectPaper;
    } cases[] = {
        {"copy, no clip", nullptr, kCopyPen, 0xFFFFFF, 0x123456, 0xFFFFFF},
        {"copy, clipped", clip, kCopyPen, 0xFFFFFF, 0x123456, 0xFFFFFF},
        {"xor", nullptr, kXorPen, 0x0F0F0F, 0x0F0F0F ^ 0x123456, 0x0F0F0F},
    };
    for (const Case& c : cases) {
        Fill(c.background);
        ASSERT_TRUE(Draw(at, c.clip, 0x123456, c.mix)) << c.what;
        size_t inked = 0;
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) {
                bool in = Inked(at, x, y) && (!c.clip || x < half.right);
                inked += in;
                ASSERT_EQ(Get(x, y), in ? c.expectInked : c.expectPaper)
                    << c.what << " at " << x << "," << y;
            }
        EXPECT_GT(inked, 200u) << c.what;
    }
    EngDeleteClip(clip);
}

// The opaque rectangle goes under the glyph, the underline over everything.
TEST_F(EngineText, OpaqueRectangleUnderAndExtraRectanglesOver) {
    Fill(0xFFFFFF);
    const POINTL at{40, 120};
    RECTL opaque{10, 10, 150, 140};
    RECTL extra[2] = {{30, 125, 130, 130}, {0, 0, 0, 0}};
    ASSERT_TRUE(Draw(at, nullptr, 0x000000, kCopyPen, &opaque, 0x00FF00, extra));
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            bool inOpaque = x >= 10 && x < 150 && y >= 10 && y < 140;
            bool underline = x >= 30 && x < 130 && y >= 125 && y < 130;
            ULONG want = underline || Inked(at, x, y) ? 0x000000 : inOpaque ? 0x00FF00 : 0xFFFFFF;
            ASSERT_EQ(Get(x, y), want) << x << "," << y;
        }
}

} // namespace
