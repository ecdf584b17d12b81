// The directions of text drawn by the engine into a bitmap, probed pixel by
// pixel: the escapement turns the baseline, the orientation the glyphs (in
// the advanced graphics mode only), and a vertical ("@") face keeps its
// full-width glyphs upright in a run going down the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom excluded
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
};

// A top-down 24-bit white DIB section selected into a memory device context.
class TextDirectionTest : public ::testing::Test {
  protected:
    static constexpr int kSide = 256;
    void SetUp() override {
        objects = platform::test::LiveGdiObjects();
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc, nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kSide, -kSide, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bmp, nullptr);
        old = SelectObject(dc, bmp);
        SetBkMode(dc, TRANSPARENT);
        Clear();
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        EXPECT_EQ(platform::test::LiveGdiObjects(), objects);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
    }
    void Clear() { ASSERT_TRUE(PatBlt(dc, 0, 0, kSide, kSide, WHITENESS)); }
    bool Ink(int x, int y) const {
        const BYTE* p = static_cast<const BYTE*>(bits) + y * kSide * 3 + 3 * x;
        return p[0] != 255 || p[1] != 255 || p[2] != 255;
    }
    // The box of the ink inside `area`.
    Box InkBox(const Box& area) const {
        Box b{area.right, area.bottom, area.left, area.top};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (Ink(x, y)) {
                    b.left = std::min(b.left, x), b.top = std::min(b.top, y);
                    b.right = std::max(b.right, x + 1), b.bottom = std::max(b.bottom, y + 1);
                }
        return b;
    }
    Box All() const { return InkBox(Box{0, 0, kSide, kSide}); }
    // The ink of a box, row by row.
    std::vector<bool> Pattern(const Box& b) const {
        std::vector<bool> out;
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = b.left; x < b.right; ++x)
                out.push_back(Ink(x, y));
        return out;
    }
    HFONT Select(const std::u16string& face, LONG height, LONG esc, LONG orient) {
        LOGFONTW lf{};
        lf.lfHeight = height;
        lf.lfEscapement = esc;
        lf.lfOrientation = orient;
        lf.lfWeight = FW_NORMAL;
        std::memcpy(lf.lfFaceName, face.data(), face.size() * 2);
        HFONT f = CreateFontIndirectW(&lf);
        EXPECT_NE(f, nullptr);
        oldFont = SelectObject(dc, f);
        return f;
    }
    void Unselect(HFONT f) {
        SelectObject(dc, oldFont);
        DeleteObject(f);
    }
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr, oldFont = nullptr;
    void* bits = nullptr;
    long objects = 0;
};

// How many pixels two patterns of the same size share, of all.
double Agreement(const std::vector<bool>& a, const std::vector<bool>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    size_t same = 0;
    for (size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    return static_cast<double>(same) / static_cast<double>(a.size());
}

TEST_F(TextDirectionTest, VerticalFaceRunsDownThePageWithUprightFullWidthGlyphs) {
    // The two glyphs as a horizontal face draws them.
    constexpr LONG kEm = 48;
    HFONT f = Select(u"MS Gothic", -kEm, 0, 0);
    ASSERT_TRUE(TextOutW(dc, 10, 10, u"\x4E0A\x4E0B", 2)); // "above", "below"
    Unselect(f);
    Box up = InkBox(Box{10, 0, 10 + kEm, kSide}),
        down = InkBox(Box{10 + kEm, 0, 10 + 2 * kEm, kSide});
    ASSERT_FALSE(up.Empty());
    ASSERT_FALSE(down.Empty());
    std::vector<bool> upInk = Pattern(up), downInk = Pattern(down);
    Clear();

    // The vertical face at the usual escapement: from the reference point
    // (the cell's top, which is the column's right edge) the run goes down,
    // the column lying left of it.
    f = Select(u"@MS Gothic", -kEm, 2700, 2700);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    SIZE extent{};
    ASSERT_TRUE(GetTextExtentPoint32W(dc, u"\x4E0A\x4E0B", 2, &extent));
    EXPECT_EQ(extent.cx, 2 * kEm) << "full-width glyphs advance by their vertical advance";
    constexpr int kX = 200, kY = 20;
    ASSERT_TRUE(TextOutW(dc, kX, kY, u"\x4E0A\x4E0B", 2));
    Unselect(f);
    Box all = All();
    ASSERT_FALSE(all.Empty());
    EXPECT_GE(all.left, kX - tm.tmHeight);
    EXPECT_LE(all.right, kX);
    EXPECT_GE(all.top, kY);
    EXPECT_LE(all.bottom, kY + 2 * kEm);
    // Each glyph in its own em of the column, upright: the same ink as the
    // horizontal face draws, and centred across the column.
    struct Case {
        const char* glyph;
        int top;
        const Box& ref;
        const std::vector<bool>& ink;
    } cases[] = {{"first", kY, up, upInk}, {"second", kY + kEm, down, downInk}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.glyph);
        Box g = InkBox(Box{0, c.top, kSide, c.top + kEm});
        ASSERT_EQ(g.Width(), c.ref.Width());
        ASSERT_EQ(g.Height(), c.ref.Height());
        EXPECT_GE(Agreement(Pattern(g), c.ink), 0.97);
        double middle = (g.left + g.right) / 2.0, column = kX - tm.tmHeight / 2.0;
        EXPECT_NEAR(middle, column, kEm / 8.0);
    }
    // Turned, the two glyphs do not look alike: the check above sees which
    // way up they stand.
    EXPECT_LT(Agreement(upInk, downInk), 0.97);

    // The long vowel mark takes its vertical form, a bar along the run,
    // where the horizontal face's is across it.
    Clear();
    f = Select(u"MS Gothic", -kEm, 0, 0);
    ASSERT_TRUE(TextOutW(dc, 10, 10, u"\x30FC", 1));
    Unselect(f);
    Box across = All();
    ASSERT_GT(across.Width(), 3 * across.Height());
    Clear();
    f = Select(u"@MS Gothic", -kEm, 2700, 2700);
    ASSERT_TRUE(TextOutW(dc, kX, kY, u"\x30FC", 1));
    Unselect(f);
    Box along = All();
    EXPECT_GT(along.Height(), 3 * along.Width());
    EXPECT_GE(along.left, kX - tm.tmHeight);
    EXPECT_LE(along.bottom, kY + kEm);

    // A Latin letter of the vertical face lies along the run, turned a
    // quarter clockwise: its box is the horizontal one's, turned.
    Clear();
    f = Select(u"MS Gothic", -kEm, 0, 0);
    ASSERT_TRUE(TextOutW(dc, 10, 10, u"L", 1));
    Unselect(f);
    Box latin = All();
    ASSERT_FALSE(latin.Empty());
    ASSERT_GT(latin.Height(), latin.Width() + 4);
    Clear();
    f = Select(u"@MS Gothic", -kEm, 2700, 2700);
    ASSERT_TRUE(TextOutW(dc, kX, kY, u"L", 1));
    Unselect(f);
    Box lying = All();
    EXPECT_NEAR(lying.Width(), latin.Height(), 1);
    EXPECT_NEAR(lying.Height(), latin.Width(), 1);
    // Its foot (the bottom stroke of "L") is on the left, where the
    // baseline lies: the leftmost column is inked all along.
    int inkedLeft = 0;
    for (int y = lying.top; y < lying.bottom; ++y)
        inkedLeft += Ink(lying.left, y);
    EXPECT_GE(inkedLeft, lying.Height() - 1);
}

TEST_F(TextDirectionTest, OrientationTurnsTheGlyphsOnlyInTheAdvancedMode) {
    // Two tall, thin glyphs 100 pixels apart along the baseline: the ink's
    // box tells the run's direction and the glyphs' turn apart.
    constexpr int kX = 60, kY = 220;
    static const INT dx[2] = {100, 100};
    struct Case {
        int mode;
        LONG esc, orient;
        bool glyphsTurned, runUp;
    } cases[] = {
        {GM_COMPATIBLE, 0, 0, false, false}, {GM_COMPATIBLE, 0, 900, false, false},
        {GM_ADVANCED, 0, 900, true, false},  {GM_ADVANCED, 900, 0, false, true},
        {GM_ADVANCED, 900, 900, true, true}, {GM_COMPATIBLE, 900, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.esc) + " " +
                     std::to_string(c.orient));
        Clear();
        SetGraphicsMode(dc, c.mode);
        SetTextAlign(dc, TA_BASELINE);
        HFONT f = Select(u"Arial", -60, c.esc, c.orient);
        ASSERT_TRUE(ExtTextOutW(dc, kX, kY, 0, nullptr, u"II", 2, dx));
        Unselect(f);
        SetGraphicsMode(dc, GM_COMPATIBLE);
        Box b = All();
        ASSERT_FALSE(b.Empty());
        // "I" of Liberation Sans at an em of 60: a stem about 5 wide, 43 tall.
        int along = c.runUp ? b.Height() : b.Width();
        int across = c.runUp ? b.Width() : b.Height();
        bool stemAlong = c.glyphsTurned != c.runUp; // the stem lies along the run
        EXPECT_NEAR(along, 100 + (stemAlong ? 43 : 5), 3);
        EXPECT_NEAR(across, stemAlong ? 5 : 43, 3);
        if (c.runUp)
            EXPECT_LE(b.bottom, kY + 1);
        else
            EXPECT_GE(b.left, kX - 45);
    }
}

} // namespace
