// Single pixels read back from memory device contexts, and monochrome masks
// made from rows of bits as CreateBitmap takes them.
#include <gtest/gtest.h>

#include "platform/gdi_ctl.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

class Pixels : public ::testing::Test {
  protected:
    void SetUp() override { live = platform::test::LiveGdiObjects(); }
    void TearDown() override { EXPECT_EQ(platform::test::LiveGdiObjects(), live); }
    long live = 0;
};

TEST_F(Pixels, GetPixelReadsEveryFormatAndRefusesOutside) {
    struct Case {
        WORD bits;
        COLORREF fill, expected;
    } cases[] = {
        {1, RGB(255, 255, 255), RGB(255, 255, 255)}, {8, RGB(0, 0, 255), RGB(0, 0, 255)},
        {16, RGB(255, 0, 0), RGB(255, 0, 0)},        {24, RGB(10, 20, 30), RGB(10, 20, 30)},
        {32, RGB(200, 100, 50), RGB(200, 100, 50)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD colors[256];
        } info{};
        info.h = {sizeof(BITMAPINFOHEADER), 8, 4, 1, c.bits, BI_RGB, 0, 0, 0, 0, 0};
        if (c.bits <= 8)
            for (int i = 0; i < (1 << c.bits); ++i) // a ray of grays, and pure blue at 1
                info.colors[i] =
                    i == 1 && c.bits == 8
                        ? RGBQUAD{255, 0, 0, 0}
                        : RGBQUAD{BYTE(i ? 255 : 0), BYTE(i ? 255 : 0), BYTE(i ? 255 : 0), 0};
        void* bits = nullptr;
        HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
        ASSERT_NE(bm, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bm);
        HBRUSH brush = CreateSolidBrush(c.fill);
        RECT r{2, 1, 5, 3};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        EXPECT_EQ(GetPixel(dc, 2, 1), c.expected);
        EXPECT_EQ(GetPixel(dc, 4, 2), c.expected);
        EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, 8, 0), CLR_INVALID);
        EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
        EXPECT_EQ(GetPixel(dc, 0, 4), CLR_INVALID);
        // Logical points: the window origin moves them.
        SetWindowOrgEx(dc, -2, -1, nullptr);
        EXPECT_EQ(GetPixel(dc, 0, 0), c.expected);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bm);
    }
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
}

TEST_F(Pixels, GetPixelReadsSixteenBitsByTheirMasks) {
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } info{{sizeof(BITMAPINFOHEADER), 2, -1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0},
           {0xF800, 0x07E0, 0x001F}};
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                  &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr);
    static_cast<WORD*>(bits)[0] = 0x07E0; // full green in 5-6-5
    static_cast<WORD*>(bits)[1] = 0xF800; // full red
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
}

TEST_F(Pixels, MonochromeMasksFromWordPaddedRows) {
    // 10 x 3: rows of two bytes (16-bit words), 1 is white.
    const BYTE rows[] = {
        0xFF, 0xC0, // all ten white
        0x80, 0x40, // first and tenth
        0x00, 0x00, // none
    };
    HBITMAP mask = CreateBitmap(10, 3, 1, 1, rows);
    ASSERT_NE(mask, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(mask, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 10);
    EXPECT_EQ(info.bmHeight, 3);
    EXPECT_EQ(info.bmBitsPixel, 1);
    EXPECT_EQ(info.bmBits, nullptr); // no DIB section
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, mask);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(GetPixel(dc, x, 0), white) << x;
        EXPECT_EQ(GetPixel(dc, x, 1), x == 0 || x == 9 ? white : black) << x;
        EXPECT_EQ(GetPixel(dc, x, 2), black) << x;
    }
    // As a mask: the blit keeps a target's colour where the mask is white.
    struct {
        BITMAPINFOHEADER h;
    } target{{sizeof(BITMAPINFOHEADER), 10, -3, 1, 24, BI_RGB, 0, 0, 0, 0, 0}};
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&target),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC cdc = CreateCompatibleDC(nullptr);
    HGDIOBJ cold = SelectObject(cdc, colour);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 10, 3};
    FillRect(cdc, &all, red);
    DeleteObject(red);
    ASSERT_TRUE(BitBlt(cdc, 0, 0, 10, 3, dc, 0, 0, SRCAND));
    EXPECT_EQ(GetPixel(cdc, 0, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(cdc, 1, 1), black);
    SelectObject(cdc, cold);
    DeleteDC(cdc);
    DeleteObject(colour);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(mask);
    // No bits: a bitmap to draw into. Planes other than one, or a size of
    // nothing, are refused.
    HBITMAP empty = CreateBitmap(4, 4, 1, 32, nullptr);
    EXPECT_NE(empty, nullptr);
    DeleteObject(empty);
    EXPECT_EQ(CreateBitmap(4, 4, 2, 1, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(0, 4, 1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 7, nullptr), nullptr);
}

} // namespace
