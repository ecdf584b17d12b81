// Memory device contexts: bitmaps drawn by the engine through GDI's vector
// and raster functions, DIBs in and out, probed pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

// A top-down 24-bit DIB section selected into a memory device context.
class MemoryDcTest : public ::testing::Test {
  protected:
    void SetUp() override {
        objects = platform::test::LiveGdiObjects();
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc, nullptr);
        bmp = Section(kSide, kSide, 24, &bits);
        ASSERT_NE(bmp, nullptr);
        old = SelectObject(dc, bmp);
        ASSERT_NE(old, nullptr);
        ASSERT_TRUE(PatBlt(dc, 0, 0, kSide, kSide, WHITENESS));
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        EXPECT_EQ(platform::test::LiveGdiObjects(), objects);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveSurfaces(), 0);
        EXPECT_EQ(platform::test::LivePalettes(), 0);
        EXPECT_EQ(platform::test::LiveEngineObjects(), 0);
    }
    static HBITMAP Section(int w, int h, int bpp, void** out) {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colors[2];
        } bi{};
        bi.h = BITMAPINFOHEADER{
            sizeof(BITMAPINFOHEADER), w, -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0};
        bi.colors[1] = RGBQUAD{255, 255, 255, 0};
        return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, out,
                                nullptr, 0);
    }
    // The colour at (x, y) as a COLORREF.
    COLORREF At(int x, int y) const {
        const BYTE* p = static_cast<const BYTE*>(bits) + y * kStride + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    static constexpr int kSide = 64;
    static constexpr int kStride = kSide * 3;
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    void* bits = nullptr;
    long objects = 0;
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = 0;

TEST_F(MemoryDcTest, ShapesFillAndOutlineWhereTheyBelong) {
    HBRUSH red = CreateSolidBrush(kRed);
    HGDIOBJ oldBrush = SelectObject(dc, red);
    ASSERT_TRUE(Rectangle(dc, 10, 10, 30, 20));
    EXPECT_EQ(At(10, 10), kBlack); // the outline
    EXPECT_EQ(At(29, 19), kBlack);
    EXPECT_EQ(At(30, 20), kWhite); // right and bottom edges left out
    EXPECT_EQ(At(20, 15), kRed);
    ASSERT_TRUE(Ellipse(dc, 40, 40, 60, 60));
    EXPECT_EQ(At(50, 50), kRed);
    EXPECT_EQ(At(41, 41), kWhite);
    SelectObject(dc, oldBrush);
    DeleteObject(red);
}

TEST_F(MemoryDcTest, WidePensPatternsAndStylesDraw) {
    LOGBRUSH lb{BS_SOLID, kRed, 0};
    HPEN wide = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 8, &lb, 0, nullptr);
    HGDIOBJ oldPen = SelectObject(dc, wide);
    MoveToEx(dc, 5, 10, nullptr);
    ASSERT_TRUE(LineTo(dc, 60, 10));
    EXPECT_EQ(At(30, 6), kRed);
    EXPECT_EQ(At(30, 13), kRed);
    EXPECT_EQ(At(30, 15), kWhite);
    EXPECT_EQ(At(4, 10), kWhite); // flat end
    SelectObject(dc, oldPen);
    DeleteObject(wide);

    HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, kBlack);
    HGDIOBJ oldBrush = SelectObject(dc, hatch);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    ASSERT_TRUE(Rectangle(dc, 0, 32, 16, 48));
    int black = 0, blue = 0;
    for (int y = 32; y < 47; ++y) {
        black += At(5, y) == kBlack;
        blue += At(5, y) == RGB(0, 0, 255);
    }
    EXPECT_EQ(black, 2); // one line in every eight rows
    EXPECT_EQ(blue, 13);
    SelectObject(dc, oldBrush);
    DeleteObject(hatch);
}

// A hatch under a transparent background draws its lines only: what lies
// between them stays, whether filled as a shape, a path or a polygon.
TEST_F(MemoryDcTest, TransparentHatchKeepsWhatLiesBetweenItsLines) {
    HBRUSH red = CreateSolidBrush(kRed);
    RECT all{0, 0, kSide, kSide};
    ASSERT_TRUE(FillRect(dc, &all, red));
    DeleteObject(red);
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, kBlack);
    HGDIOBJ oldBrush = SelectObject(dc, hatch);
    SelectObject(dc, GetStockObject(NULL_PEN));
    SetBkColor(dc, RGB(0, 0, 255));
    struct Case {
        int bkMode;
        COLORREF between;
    } cases[] = {{TRANSPARENT, kRed}, {OPAQUE, RGB(0, 0, 255)}};
    int top = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bkMode);
        SetBkMode(dc, c.bkMode);
        ASSERT_TRUE(Rectangle(dc, 0, top, 33, top + 17));
        POINT triangle[] = {{40, top}, {64, top}, {64, top + 24}};
        ASSERT_TRUE(Polygon(dc, triangle, 3));
        int lines = 0, between = 0, other = 0;
        for (int y = top; y < top + 16; ++y)
            for (int x = 0; x < 32; ++x)
                (At(x, y) == kBlack ? lines : At(x, y) == c.between ? between : other)++;
        EXPECT_EQ(lines, 2 * 32 + 4 * 16 - 2 * 4); // two rows and four columns of a cross
        EXPECT_EQ(between, 32 * 16 - lines);
        EXPECT_EQ(other, 0);
        EXPECT_EQ(At(62, top + 1), c.between == kRed ? kRed : At(62, top + 1));
        top += 32;
    }
    SelectObject(dc, oldBrush);
    DeleteObject(hatch);
}

TEST_F(MemoryDcTest, BlitsBetweenBitmapsFollowTheirRasterOperation) {
    HDC src = CreateCompatibleDC(dc);
    void* srcBits = nullptr;
    HBITMAP sb = Section(8, 8, 24, &srcBits);
    HGDIOBJ o = SelectObject(src, sb);
    HBRUSH red = CreateSolidBrush(kRed);
    RECT all{0, 0, 8, 8};
    FillRect(src, &all, red);
    ASSERT_TRUE(BitBlt(dc, 4, 4, 8, 8, src, 0, 0, SRCCOPY));
    EXPECT_EQ(At(4, 4), kRed);
    EXPECT_EQ(At(11, 11), kRed);
    EXPECT_EQ(At(12, 12), kWhite);
    // Twice inverted by the source: back to white.
    ASSERT_TRUE(BitBlt(dc, 4, 4, 8, 8, src, 0, 0, SRCINVERT));
    ASSERT_TRUE(BitBlt(dc, 4, 4, 8, 8, src, 0, 0, SRCINVERT));
    EXPECT_EQ(At(4, 4), kRed);
    ASSERT_TRUE(BitBlt(dc, 4, 4, 8, 8, nullptr, 0, 0, DSTINVERT));
    EXPECT_EQ(At(4, 4), RGB(0, 255, 255));
    // Stretched to twice the size.
    ASSERT_TRUE(StretchBlt(dc, 20, 20, 16, 16, src, 0, 0, 8, 8, SRCCOPY));
    EXPECT_EQ(At(35, 35), kRed);
    EXPECT_EQ(At(36, 36), kWhite);
    SelectObject(src, o);
    DeleteObject(sb);
    DeleteObject(red);
    DeleteDC(src);
}

TEST_F(MemoryDcTest, MonoBitmapsTakeTextAndBackgroundColours) {
    // A mono device-dependent bitmap (that of a fresh memory context).
    HDC src = CreateCompatibleDC(dc);
    HBITMAP mono = CreateCompatibleBitmap(src, 8, 1);
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[2];
    } bi{{40, 8, 1, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    const BYTE row[4] = {0xF0, 0, 0, 0}; // left half white (1)
    ASSERT_EQ(SetDIBits(src, mono, 0, 1, row, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS),
              1);
    HGDIOBJ o = SelectObject(src, mono);
    SetTextColor(dc, kRed);
    SetBkColor(dc, RGB(0, 255, 0));
    ASSERT_TRUE(BitBlt(dc, 0, 0, 8, 1, src, 0, 0, SRCCOPY));
    EXPECT_EQ(At(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(At(7, 0), kRed);
    SelectObject(src, o);
    DeleteObject(mono);
    DeleteDC(src);
}

TEST_F(MemoryDcTest, DibsOfEveryLayoutDrawTheirPixels) {
    // A hand-laid bottom-up 8-bit DIB of 2 x 2 pixels with 4 colours: the
    // first row in memory is the bottom one.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colors[4];
    } bi{};
    bi.h = BITMAPINFOHEADER{40, 2, 2, 1, 8, BI_RGB, 0, 0, 0, 4, 0};
    bi.colors[0] = RGBQUAD{0, 0, 255, 0}; // red
    bi.colors[1] = RGBQUAD{0, 255, 0, 0}; // green
    bi.colors[2] = RGBQUAD{255, 0, 0, 0}; // blue
    bi.colors[3] = RGBQUAD{0, 0, 0, 0};   // black
    const BYTE rows[8] = {0, 1, 0, 0, 2, 3, 0, 0};
    ASSERT_EQ(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, rows, reinterpret_cast<BITMAPINFO*>(&bi),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(At(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(At(3, 0), kBlack);
    EXPECT_EQ(At(0, 3), kRed);
    EXPECT_EQ(At(3, 3), RGB(0, 255, 0));

    // Run-length encoded: 3 pixels of colour 1, end of line, 3 of colour 2, end.
    bi.h = BITMAPINFOHEADER{40, 3, 2, 1, 8, BI_RLE8, 10, 0, 0, 4, 0};
    const BYTE rle[10] = {3, 1, 0, 0, 3, 2, 0, 0, 0, 1};
    ASSERT_EQ(SetDIBitsToDevice(dc, 10, 10, 3, 2, 0, 0, 0, 2, rle,
                                reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS),
              2);
    EXPECT_EQ(At(10, 11), RGB(0, 255, 0));
    EXPECT_EQ(At(12, 10), RGB(0, 0, 255));

    // 16 bits of bit fields 5-6-5.
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } bf{};
    bf.h = BITMAPINFOHEADER{40, 1, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
    bf.masks[0] = 0xF800, bf.masks[1] = 0x07E0, bf.masks[2] = 0x001F;
    const WORD pixel[2] = {0xF800, 0};
    ASSERT_EQ(StretchDIBits(dc, 20, 20, 1, 1, 0, 0, 1, 1, pixel, reinterpret_cast<BITMAPINFO*>(&bf),
                            DIB_RGB_COLORS, SRCCOPY),
              1);
    EXPECT_EQ(At(20, 20), kRed);
}

TEST_F(MemoryDcTest, BadBitmapHeadersAreRefused) {
    struct Case {
        const char* name;
        BITMAPINFOHEADER h;
    } cases[] = {
        {"no planes", {40, 2, 2, 0, 8, BI_RGB, 0, 0, 0, 0, 0}},
        {"odd depth", {40, 2, 2, 1, 7, BI_RGB, 0, 0, 0, 0, 0}},
        {"top-down runs", {40, 2, -2, 1, 8, BI_RLE8, 4, 0, 0, 0, 0}},
        {"huge", {40, 0x7FFFFFFF, 0x7FFFFFFF, 1, 24, BI_RGB, 0, 0, 0, 0, 0}},
        {"short header", {16, 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}},
    };
    const BYTE bits[64] = {};
    for (const Case& c : cases)
        EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, bits,
                                reinterpret_cast<const BITMAPINFO*>(&c.h), DIB_RGB_COLORS, SRCCOPY),
                  0)
            << c.name;
    EXPECT_EQ(At(0, 0), kWhite);
}

TEST_F(MemoryDcTest, DibBitsRoundTrip) {
    HBRUSH red = CreateSolidBrush(kRed);
    RECT r{0, 0, 2, 1};
    FillRect(dc, &r, red);
    DeleteObject(red);
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, kSide, kSide, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> out(kSide * kSide);
    ASSERT_EQ(GetDIBits(dc, bmp, 0, kSide, out.data(), &bi, DIB_RGB_COLORS), kSide);
    // Bottom-up: the top row is the last.
    EXPECT_EQ(out[(kSide - 1) * kSide] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(out[(kSide - 1) * kSide + 2] & 0xFFFFFF, 0xFFFFFFu);
    out.assign(out.size(), 0x0000FF); // blue
    ASSERT_EQ(SetDIBits(dc, bmp, 0, kSide, out.data(), &bi, DIB_RGB_COLORS), kSide);
    EXPECT_EQ(At(5, 5), RGB(0, 0, 255));
}

TEST_F(MemoryDcTest, GradientsTransparentAndAlphaBlits) {
    TRIVERTEX v[2] = {{0, 0, 0, 0, 0, 0}, {64, 4, 0xFF00, 0xFF00, 0xFF00, 0}};
    GRADIENT_RECT gr{0, 1};
    ASSERT_TRUE(GradientFill(dc, v, 2, &gr, 1, GRADIENT_FILL_RECT_H));
    EXPECT_LT(GetRValue(At(0, 1)), 8);
    EXPECT_GT(GetRValue(At(63, 1)), 247);

    HDC src = CreateCompatibleDC(dc);
    void* sbits = nullptr;
    HBITMAP sb = Section(2, 1, 24, &sbits);
    BYTE* p = static_cast<BYTE*>(sbits);
    p[0] = 0, p[1] = 0, p[2] = 255;   // red
    p[3] = 255, p[4] = 0, p[5] = 255; // magenta: the key
    HGDIOBJ o = SelectObject(src, sb);
    ASSERT_TRUE(TransparentBlt(dc, 10, 10, 2, 1, src, 0, 0, 2, 1, RGB(255, 0, 255)));
    EXPECT_EQ(At(10, 10), kRed);
    EXPECT_EQ(At(11, 10), kWhite);
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    ASSERT_TRUE(AlphaBlend(dc, 20, 20, 1, 1, src, 0, 0, 1, 1, half));
    EXPECT_NEAR(GetGValue(At(20, 20)), 127, 2);
    EXPECT_EQ(GetRValue(At(20, 20)), 255);
    SelectObject(src, o);
    DeleteObject(sb);
    DeleteDC(src);
}

// A bitmap describes itself: a DIB section with its bits and rows of whole
// double words, a device bitmap with rows of whole words; other objects and
// short buffers are refused.
TEST_F(MemoryDcTest, BitmapsDescribeThemselves) {
    BITMAP b{};
    EXPECT_EQ(GetObjectW(bmp, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    ASSERT_EQ(GetObjectW(bmp, sizeof b, &b), static_cast<int>(sizeof b));
    EXPECT_EQ(b.bmWidth, kSide);
    EXPECT_EQ(b.bmHeight, kSide);
    EXPECT_EQ(b.bmWidthBytes, kStride);
    EXPECT_EQ(b.bmBitsPixel, 24);
    EXPECT_EQ(b.bmPlanes, 1);
    EXPECT_EQ(b.bmBits, bits);
    void* oddBits = nullptr;
    HBITMAP odd = Section(5, 3, 1, &oddBits);
    ASSERT_TRUE(GetObjectW(odd, sizeof b, &b));
    EXPECT_EQ(b.bmWidthBytes, 4);
    DeleteObject(odd);
    HBITMAP device = CreateCompatibleBitmap(dc, 5, 2);
    ASSERT_TRUE(GetObjectW(device, sizeof b, &b));
    EXPECT_EQ(b.bmWidth, 5);
    EXPECT_EQ(b.bmHeight, 2);
    EXPECT_EQ(b.bmWidthBytes, (5 * b.bmBitsPixel + 15) / 16 * 2) << "rows of whole words";
    EXPECT_EQ(b.bmBits, nullptr);
    EXPECT_EQ(GetObjectW(device, sizeof b - 1, &b), 0);
    DeleteObject(device);
    HBRUSH brush = CreateSolidBrush(kRed);
    EXPECT_EQ(GetObjectW(brush, sizeof b, &b), 0);
    DeleteObject(brush);
    EXPECT_EQ(GetObjectW(nullptr, sizeof b, &b), 0);
}

TEST_F(MemoryDcTest, RectangleHelpers) {
    HBRUSH red = CreateSolidBrush(kRed);
    RECT r{10, 10, 20, 20};
    ASSERT_TRUE(FrameRect(dc, &r, red));
    EXPECT_EQ(At(10, 15), kRed);
    EXPECT_EQ(At(19, 15), kRed);
    EXPECT_EQ(At(15, 15), kWhite);
    ASSERT_TRUE(InvertRect(dc, &r));
    EXPECT_EQ(At(15, 15), kBlack);
    EXPECT_EQ(At(10, 15), RGB(0, 255, 255));
    RECT e{30, 30, 40, 40};
    ASSERT_TRUE(DrawEdge(dc, &e, EDGE_SUNKEN, BF_RECT | BF_MIDDLE));
    EXPECT_NE(At(30, 35), kWhite);
    EXPECT_EQ(At(39, 35), kWhite); // the highlight
    DeleteObject(red);
}

TEST_F(MemoryDcTest, MaskBltTakesTheSourceWhereTheMaskIsSet) {
    HDC src = CreateCompatibleDC(dc);
    void* sbits = nullptr;
    HBITMAP sb = Section(8, 1, 24, &sbits);
    std::memset(sbits, 0, 24); // black
    void* mbits = nullptr;
    HBITMAP mask = Section(8, 1, 1, &mbits);
    static_cast<BYTE*>(mbits)[0] = 0xAA;
    HGDIOBJ o = SelectObject(src, sb);
    ASSERT_TRUE(MaskBlt(dc, 0, 0, 8, 1, src, 0, 0, mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
    EXPECT_EQ(At(0, 0), kBlack);
    EXPECT_EQ(At(1, 0), kWhite);
    SelectObject(src, o);
    DeleteObject(sb);
    DeleteObject(mask);
    DeleteDC(src);
}

TEST_F(MemoryDcTest, MemoryContextsRefusePrinting) {
    DOCINFOW di{sizeof(DOCINFOW), u"x", nullptr, nullptr, 0};
    EXPECT_LE(StartDocW(dc, &di), 0);
    EXPECT_LE(EndPage(dc), 0);
    EXPECT_LE(EndDoc(dc), 0);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), kSide);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 24);
}

} // namespace

namespace {

// A STRETCHDIBITS record laid out by hand: header fields at their offsets,
// then a 4-bit run-length encoded bitmap of 4 x 2 pixels with two colours.
std::vector<BYTE> RunLengthRecord() {
    std::vector<BYTE> r(80 + 40 + 8 + 12, 0);
    auto put = [&](size_t at, DWORD v) { std::memcpy(r.data() + at, &v, 4); };
    put(0, EMR_STRETCHDIBITS);
    put(4, static_cast<DWORD>(r.size()));
    put(8, 0), put(12, 0), put(16, 39), put(20, 19); // bounds
    put(24, 0), put(28, 0);                          // destination
    put(32, 0), put(36, 0), put(40, 4), put(44, 2);  // source
    put(48, 80), put(52, 48);                        // header and colours
    put(56, 128), put(60, 12);                       // bits
    put(64, DIB_RGB_COLORS), put(68, SRCCOPY);
    put(72, 40), put(76, 20); // destination extents
    put(80, 40), put(84, 4), put(88, 2);
    r[92] = 1, r[94] = 4; // planes, bits
    put(96, BI_RLE4), put(100, 12), put(112, 2);
    put(120, 0x0000FF); // index 0: blue
    put(124, 0xFF0000); // index 1: red
    // Bottom row: 4 pixels alternating 1, 0; end of line; top row: 4 of 0,
    // end of bitmap.
    const BYTE bits[12] = {4, 0x10, 0, 0, 4, 0x00, 0, 1, 0, 0, 0, 0};
    std::memcpy(r.data() + 128, bits, sizeof bits);
    return r;
}

TEST_F(MemoryDcTest, RunLengthBitmapsOfMetafilesPlay) {
    std::vector<BYTE> rec = RunLengthRecord();
    HANDLETABLE table{};
    ASSERT_TRUE(
        PlayEnhMetaFileRecord(dc, &table, reinterpret_cast<const ENHMETARECORD*>(rec.data()), 1));
    EXPECT_EQ(At(2, 2), RGB(0, 0, 255));   // top row, index 0
    EXPECT_EQ(At(2, 12), RGB(255, 0, 0));  // bottom row, first pixel index 1
    EXPECT_EQ(At(12, 12), RGB(0, 0, 255)); // second pixel index 0
    // Bits shorter than the header says: refused.
    std::vector<BYTE> cut = rec;
    DWORD claimed = 400;
    std::memcpy(cut.data() + 100, &claimed, 4);
    EXPECT_FALSE(
        PlayEnhMetaFileRecord(dc, &table, reinterpret_cast<const ENHMETARECORD*>(cut.data()), 1));
}

} // namespace
