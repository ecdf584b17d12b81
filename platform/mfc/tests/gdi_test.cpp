// The drawing wrappers on a memory device context with a 24-bit DIB
// section: every call is checked by the pixels it leaves, and every object
// the wrappers made is gone at the end.
#include <gtest/gtest.h>

#include <vector>

#include "afxwin.h"
#include "platform/engine_ctl.h"
#include "platform/engine_fonts.h"
#include "platform/gdi_ctl.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class GdiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        objects_ = platform::test::LiveGdiObjects();
        ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
        BITMAPINFO bi{};
        bi.bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kW, -kH, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        ASSERT_TRUE(
            bitmap.Attach(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0)));
        old_ = dc.SelectObject(&bitmap);
        ASSERT_NE(old_, nullptr);
        dc.FillSolidRect(0, 0, kW, kH, kWhite);
    }
    void TearDown() override {
        dc.SelectObject(old_);
        dc.DeleteDC();
        bitmap.DeleteObject();
        CGdiObject::DeleteTempMap();
        CDC::DeleteTempMap();
        // Text on memory contexts keeps its realized fonts until they are let go.
        platform::engine::ReleaseDeviceFonts(nullptr);
        EXPECT_EQ(platform::test::LiveGdiObjects(), objects_);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        EXPECT_EQ(platform::test::LiveSurfaces(), 0);
    }
    COLORREF At(int x, int y) const {
        const BYTE* p = static_cast<const BYTE*>(bits_) + y * kStride + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    // The columns holding anything but white in rows [top, bottom).
    std::pair<int, int> InkColumns(int top, int bottom) const {
        int first = kW, last = -1;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < kW; ++x)
                if (At(x, y) != kWhite) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return {first, last};
    }
    static constexpr int kW = 160, kH = 64;
    static constexpr int kStride = (kW * 3 + 3) / 4 * 4;
    CDC dc;
    CBitmap bitmap;
    CBitmap* old_ = nullptr;
    void* bits_ = nullptr;
    long objects_ = 0;
};

TEST_F(GdiTest, ShapesWithPensAndBrushes) {
    CPen pen(PS_SOLID, 1, kBlue);
    CBrush brush(kRed);
    CPen* oldPen = dc.SelectObject(&pen);
    CBrush* oldBrush = dc.SelectObject(&brush);
    ASSERT_NE(oldPen, nullptr);
    ASSERT_NE(oldBrush, nullptr);
    // What selection hands back is a wrapper of the object's own kind.
    EXPECT_TRUE(oldPen->IsKindOf(RUNTIME_CLASS(CPen)));
    EXPECT_TRUE(oldBrush->IsKindOf(RUNTIME_CLASS(CBrush)));
    dc.Rectangle(CRect(10, 10, 30, 30));
    EXPECT_EQ(At(10, 10), kBlue);
    EXPECT_EQ(At(20, 20), kRed);
    EXPECT_EQ(At(30, 30), kWhite); // right and bottom are outside
    dc.MoveTo(40, 5);
    dc.LineTo(60, 5);
    EXPECT_EQ(At(50, 5), kBlue);
    EXPECT_EQ(dc.SelectObject(oldPen), CPen::FromHandle(pen));
    dc.SelectObject(oldBrush);

    dc.FillRect(CRect(70, 10, 80, 20), &brush);
    EXPECT_EQ(At(75, 15), kRed);
    dc.Draw3dRect(CRect(90, 10, 100, 20), kBlack, kBlue);
    EXPECT_EQ(At(90, 15), kBlack);
    EXPECT_EQ(At(99, 15), kBlue);
    EXPECT_EQ(At(95, 15), kWhite);
}

TEST_F(GdiTest, RegionsBitmapsAndBlits) {
    CRgn region;
    ASSERT_TRUE(region.CreateRectRgn(0, 0, 10, 10));
    CRgn other;
    ASSERT_TRUE(other.CreateRectRgn(5, 5, 20, 20));
    EXPECT_EQ(region.CombineRgn(&region, &other, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(region.PtInRegion(15, 15));
    EXPECT_FALSE(region.PtInRegion(15, 2));
    CRect box;
    region.GetRgnBox(&box);
    EXPECT_EQ(box, CRect(0, 0, 20, 20));
    CBrush blue(kBlue);
    dc.FillRgn(&region, &blue);
    EXPECT_EQ(At(15, 15), kBlue);
    EXPECT_EQ(At(15, 2), kWhite);

    CDC source;
    ASSERT_TRUE(source.CreateCompatibleDC(&dc));
    CBitmap picture;
    ASSERT_TRUE(picture.CreateCompatibleBitmap(&dc, 8, 8));
    CBitmap* was = source.SelectObject(&picture);
    source.FillSolidRect(0, 0, 8, 8, kRed);
    dc.BitBlt(100, 40, 8, 8, &source, 0, 0, SRCCOPY);
    EXPECT_EQ(At(100, 40), kRed);
    EXPECT_EQ(At(107, 47), kRed);
    EXPECT_EQ(At(108, 47), kWhite);
    source.SelectObject(was);
}

TEST_F(GdiTest, FocusRectangleInvertsEveryOtherPixelAndGoesAgain) {
    const CRect r(20, 20, 40, 30);
    dc.DrawFocusRect(&r);
    int inverted = 0;
    for (int x = r.left; x < r.right; ++x)
        inverted += At(x, r.top) == kBlack;
    EXPECT_EQ(inverted, r.Width() / 2); // dotted
    EXPECT_EQ(At(30, 25), kWhite);      // the inside is left alone
    dc.DrawFocusRect(&r);
    EXPECT_EQ(InkColumns(0, kH).second, -1); // all white again
}

TEST_F(GdiTest, DrawTextLaysOutAndClips) {
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(100, u"Arial"));
    CFont* oldFont = dc.SelectObject(&font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(dc.GetTextMetrics(&tm));
    const CSize x = dc.GetTextExtent(u"XXXX");

    struct Case {
        const char* name;
        const char16_t* text;
        UINT format;
        CRect rect;
        int wantFirst, wantLast; // columns with ink (-1: none expected to test)
    } cases[] = {
        {"left", u"XXXX", DT_SINGLELINE, CRect(10, 0, 150, 20), 10, 10 + x.cx},
        {"right", u"XXXX", DT_SINGLELINE | DT_RIGHT, CRect(10, 0, 150, 20), 150 - x.cx, 150},
        {"clipped", u"XXXXXXXXXXXX", DT_SINGLELINE, CRect(10, 0, 30, 20), 10, 29},
        {"tab to the 8-character stop", u"\tX", DT_SINGLELINE | DT_EXPANDTABS, CRect(0, 0, 150, 20),
         8 * tm.tmAveCharWidth, 8 * tm.tmAveCharWidth + x.cx / 4},
        {"prefix removed", u"&X", DT_SINGLELINE, CRect(0, 0, 150, 20), 0, x.cx / 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dc.FillSolidRect(0, 0, kW, kH, kWhite);
        CRect r = c.rect;
        EXPECT_EQ(dc.DrawText(c.text, &r, c.format), tm.tmHeight);
        auto [first, last] = InkColumns(0, kH);
        EXPECT_GE(first, c.wantFirst);
        EXPECT_LE(first, c.wantFirst + tm.tmAveCharWidth);
        EXPECT_LE(last, c.wantLast);
        EXPECT_GE(last, c.wantLast - tm.tmAveCharWidth);
    }

    // Measuring draws nothing; lines stack.
    dc.FillSolidRect(0, 0, kW, kH, kWhite);
    CRect measured(5, 5, 5, 5);
    EXPECT_EQ(dc.DrawText(u"XX\r\nXXXX", &measured, DT_CALCRECT), 2 * tm.tmHeight);
    EXPECT_EQ(measured, CRect(5, 5, 5 + x.cx, 5 + 2 * tm.tmHeight));
    EXPECT_EQ(InkColumns(0, kH).second, -1);

    // A tab length and margins in average character widths.
    DRAWTEXTPARAMS params{sizeof params, 2, 1, 1, 0};
    CRect r(0, 0, 150, 20);
    dc.DrawTextEx(u"\tX", &r, DT_SINGLELINE | DT_EXPANDTABS | DT_TABSTOP, &params);
    EXPECT_EQ(params.uiLengthDrawn, 2u);
    auto [first, last] = InkColumns(0, kH);
    EXPECT_GE(first, 3 * tm.tmAveCharWidth);
    EXPECT_LE(first, 4 * tm.tmAveCharWidth);
    (void)last;
    dc.SelectObject(oldFont);
}

TEST(GdiTypes, RectArithmetic) {
    CRect a(0, 0, 10, 10), b(5, 5, 20, 20), r;
    EXPECT_TRUE(r.IntersectRect(&a, &b));
    EXPECT_EQ(r, CRect(5, 5, 10, 10));
    EXPECT_FALSE(r.IntersectRect(&a, CRect(10, 0, 20, 10)));
    EXPECT_TRUE(r.IsRectEmpty());
    EXPECT_TRUE(r.UnionRect(&a, &b));
    EXPECT_EQ(r, CRect(0, 0, 20, 20));
    EXPECT_TRUE(r.UnionRect(&a, CRect()));
    EXPECT_EQ(r, a);
    CRect turned(10, 10, 0, 0);
    EXPECT_TRUE(turned.IsRectEmpty());
    turned.NormalizeRect();
    EXPECT_EQ(turned, a);
    EXPECT_TRUE(a.PtInRect(CPoint(0, 0)));
    EXPECT_FALSE(a.PtInRect(CPoint(10, 5)));
    a.DeflateRect(1, 2);
    EXPECT_EQ(a.Size(), CSize(8, 6));
    EXPECT_EQ(a.CenterPoint(), CPoint(5, 5));
    EXPECT_EQ(CPoint(3, 4) - CPoint(1, 1), CSize(2, 3));
}

TEST(GdiObjects, BorrowersAreOfTheirObjectsKind) {
    const long before = platform::test::LiveGdiObjects();
    struct Case {
        HGDIOBJ handle;
        CRuntimeClass* kind;
    } cases[] = {
        {CreatePen(PS_SOLID, 1, kRed), RUNTIME_CLASS(CPen)},
        {CreateSolidBrush(kRed), RUNTIME_CLASS(CBrush)},
        {CreateRectRgn(0, 0, 1, 1), RUNTIME_CLASS(CRgn)},
        {CreateCompatibleBitmap(nullptr, 0, 0), nullptr}, // none made: no wrapper
    };
    for (const auto& c : cases) {
        CGdiObject* o = CGdiObject::FromHandle(c.handle);
        if (!c.kind) {
            EXPECT_EQ(o, nullptr);
            continue;
        }
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->GetRuntimeClass(), c.kind);
        EXPECT_EQ(o->m_hObject, c.handle);
    }
    CGdiObject::DeleteTempMap();
    for (const auto& c : cases)
        if (c.handle) DeleteObject(c.handle);
    EXPECT_EQ(platform::test::LiveGdiObjects(), before);
}

TEST(GdiObjects, OwnersDeleteBorrowersDoNot) {
    const long before = platform::test::LiveGdiObjects();
    HBRUSH kept = CreateSolidBrush(kRed);
    {
        CBrush owner(kBlue);
        EXPECT_EQ(platform::test::LiveGdiObjects(), before + 2);
        CBrush* borrowed = CBrush::FromHandle(kept);
        EXPECT_EQ(static_cast<HBRUSH>(*borrowed), kept);
        EXPECT_EQ(CBrush::FromHandle(kept), borrowed); // one wrapper per handle
        CGdiObject::DeleteTempMap();
        EXPECT_EQ(platform::test::LiveGdiObjects(), before + 2);
        CBrush taken;
        EXPECT_FALSE(taken.Attach(nullptr));
        EXPECT_TRUE(taken.Attach(CreateSolidBrush(kBlack)));
        EXPECT_FALSE(taken.Attach(kept)); // holds one already
    }
    EXPECT_EQ(platform::test::LiveGdiObjects(), before + 1);
    DeleteObject(kept);
    EXPECT_EQ(platform::test::LiveGdiObjects(), before);
}

} // namespace
