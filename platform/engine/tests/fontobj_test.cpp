// Font and string objects as a driver asks them: a glyph's image or outline
// through FONTOBJ_cGetGlyphs, its attributes, and the string's code page.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/engine_fonts.h"
#include "platform/engine_objects.h"
#include "win/errors.h"
#include "win/winddi.h"

namespace {

using namespace platform::engine;

constexpr const char* kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// A font file is read whole in one step, and one file reached by two names
// is held once.
TEST(FontFile, ReadWholeAndHeldOncePerFile) {
    auto file = LoadFontFile(kSans);
    ASSERT_TRUE(file);
    std::ifstream in(kSans, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file->bytes.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file->bytes.begin(),
                           [](char a, BYTE b) { return static_cast<BYTE>(a) == b; }));
    EXPECT_EQ(LoadFontFile(kSans), file);
    std::string link = ::testing::TempDir() + "/font_link_" + std::to_string(::getpid()) + ".ttf";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(kSans, link);
    EXPECT_EQ(LoadFontFile(link), file) << "the same file under another name";
    std::filesystem::remove(link);
    EXPECT_EQ(LoadFontFile("/nonexistent/font.ttf"), nullptr);
}

class FontObjTest : public EngineTest {
  protected:
    void SetUp() override {
        real.file = LoadFontFile(kSans);
        ASSERT_TRUE(real.file) << kSans;
        real.m11 = real.m22 = 0.05; // about 100 pixels to the em
        font = AcquireFontObj(nullptr, real);
        ASSERT_NE(font, nullptr);
        ASSERT_TRUE(QueryFace(*real.file, 0, &info));
    }
    void TearDown() override {
        ReleaseDeviceFonts(nullptr);
        EngineTest::TearDown();
    }
    // The subpaths and points of a path.
    static void Count(PATHOBJ* ppo, int* subpaths, int* points) {
        *subpaths = *points = 0;
        PATHOBJ_vEnumStart(ppo);
        PATHDATA pd{};
        BOOL more;
        do {
            more = PATHOBJ_bEnum(ppo, &pd);
            if (pd.flags & PD_BEGINSUBPATH) ++*subpaths;
            *points += static_cast<int>(pd.count);
        } while (more);
    }
    FontRealization real;
    FaceInfo info;
    FONTOBJ* font = nullptr;
};

TEST_F(FontObjTest, GlyphsComeAsImagesOrOutlines) {
    struct Case {
        const char* what;
        ULONG mode;
        ULONG glyph;
        ULONG count;  // glyphs asked for
        bool handles; // a handle array is given
        ULONG result;
        int subpaths; // of an outline
    } cases[] = {
        {"image", FO_GLYPHBITS, GlyphIndexOf(real, 'O'), 1, true, 1, 0},
        {"outline of two contours", FO_PATHOBJ, GlyphIndexOf(real, 'O'), 1, true, 1, 2},
        {"outline of one contour", FO_PATHOBJ, GlyphIndexOf(real, 'l'), 1, true, 1, 1},
        {"outline of a space", FO_PATHOBJ, GlyphIndexOf(real, ' '), 1, true, 1, 0},
        {"image of a space", FO_GLYPHBITS, GlyphIndexOf(real, ' '), 1, true, 1, 0},
        {"past the face", FO_PATHOBJ, static_cast<ULONG>(info.numGlyphs), 1, true, 0, 0},
        {"handles are no mode to ask", FO_HGLYPHS, GlyphIndexOf(real, 'O'), 1, true, 0, 0},
        {"no mode", 3, GlyphIndexOf(real, 'O'), 1, true, 0, 0},
        {"no glyphs", FO_PATHOBJ, GlyphIndexOf(real, 'O'), 0, true, 0, 0},
        {"no handles", FO_PATHOBJ, GlyphIndexOf(real, 'O'), 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HGLYPH hg = c.glyph;
        GLYPHDATA* gd = nullptr;
        SetLastError(0);
        ULONG n = FONTOBJ_cGetGlyphs(font, c.mode, c.count, c.handles ? &hg : nullptr,
                                     reinterpret_cast<PVOID*>(&gd));
        ASSERT_EQ(n, c.result);
        if (!n) {
            if (c.glyph < static_cast<ULONG>(info.numGlyphs)) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            }
            continue;
        }
        ASSERT_NE(gd, nullptr);
        EXPECT_EQ(gd->hg, c.glyph);
        // The advance is the glyph's, in 28.4 device pixels along the baseline.
        GlyphImage image;
        ASSERT_TRUE(RenderGlyph(real, c.glyph, true, &image));
        EXPECT_EQ(gd->fxD, static_cast<FIX>(std::lround(image.advanceX * 16)));
        EXPECT_EQ(gd->rclInk.right - gd->rclInk.left, image.width);
        if (c.mode == FO_GLYPHBITS) {
            ASSERT_NE(gd->gdf.pgb, nullptr);
            EXPECT_EQ(gd->gdf.pgb->sizlBitmap.cx, image.width);
            EXPECT_EQ(gd->gdf.pgb->sizlBitmap.cy, image.height);
            EXPECT_EQ(gd->gdf.pgb->ptlOrigin.x, image.left);
            EXPECT_EQ(gd->gdf.pgb->ptlOrigin.y, image.top);
            continue;
        }
        PATHOBJ* ppo = gd->gdf.ppo;
        ASSERT_NE(ppo, nullptr);
        int subpaths = 0, points = 0;
        Count(ppo, &subpaths, &points);
        EXPECT_EQ(subpaths, c.subpaths);
        if (c.subpaths) {
            // The outline lies on the image, relative to the glyph's origin.
            RECTFX b{};
            PATHOBJ_vGetBounds(ppo, &b);
            EXPECT_GE(b.xLeft, (image.left - 1) * 16);
            EXPECT_LE(b.xRight, (image.left + image.width + 1) * 16);
            EXPECT_GE(b.yTop, (image.top - 1) * 16);
            EXPECT_LE(b.yBottom, (image.top + image.height + 1) * 16);
            EXPECT_GT(points, 4 * c.subpaths);
        } else {
            EXPECT_EQ(points, 0);
        }
        // Asked again, the same outline.
        GLYPHDATA* again = nullptr;
        ASSERT_EQ(FONTOBJ_cGetGlyphs(font, FO_PATHOBJ, 1, &hg, reinterpret_cast<PVOID*>(&again)),
                  1u);
        EXPECT_EQ(again->gdf.ppo, ppo);
    }
}

TEST_F(FontObjTest, GlyphAttributesAndCodePages) {
    // Right-to-left attributes: one clear bit per glyph of the face.
    struct AttrCase {
        const char* what;
        FONTOBJ* fo;
        ULONG mode;
        bool answered;
    } attrCases[] = {
        {"right to left", font, FO_QGA_RTL, true},
        {"no such mode", font, 2, false},
        {"no mode", font, 0, false},
        {"no font object", nullptr, FO_QGA_RTL, false},
    };
    for (const AttrCase& c : attrCases) {
        SCOPED_TRACE(c.what);
        FD_GLYPHATTR* a = FONTOBJ_pQueryGlyphAttrs(c.fo, c.mode);
        ASSERT_EQ(a != nullptr, c.answered);
        if (!a) continue;
        ULONG n = static_cast<ULONG>(info.numGlyphs);
        EXPECT_EQ(a->cGlyphs, n);
        EXPECT_EQ(a->iMode, c.mode);
        EXPECT_EQ(a->cjThis, offsetof(FD_GLYPHATTR, aGlyphAttr) + n / 8 + 1);
        for (ULONG i = 0; i < n / 8 + 1; ++i)
            ASSERT_EQ(a->aGlyphAttr[i], 0) << i;
    }
    // The string object tells the code page it was made with.
    struct PageCase {
        DWORD codePage;
    } pageCases[] = {{1252}, {932}, {949}, {42}};
    for (const PageCase& c : pageCases) {
        SCOPED_TRACE(c.codePage);
        STROBJ* s = CreateStrObj(font, {{GlyphIndexOf(real, 'A'), POINTL{10, 20}}}, u"A", 0, 0,
                                 true, SO_HORIZONTAL, 0, c.codePage);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(STROBJ_dwGetCodePage(s), c.codePage);
        DeleteStrObj(s);
    }
    STROBJ bogus{};
    EXPECT_EQ(STROBJ_dwGetCodePage(&bogus), 0u);
}

} // namespace
