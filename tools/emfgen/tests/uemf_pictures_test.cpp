// Metafiles written by libUEMF, an outside writer, with a bitmap and a
// gradient: played onto a memory device context, the pixels are those of the
// source image and the gradient's corners.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/engine_ctl.h"
#include "platform/gdi_ctl.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"

#if HAVE_UEMF
extern "C" {
#include <uemf.h>
}
#endif

namespace {

#if HAVE_UEMF
constexpr int kSide = 400;              // device pixels of the picture
constexpr int kImageW = 8, kImageH = 4; // the source image
constexpr uint32_t kColors[4] = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000,
                                 0xFF00FFFF}; // R, G, B, yellow as RGBA bytes

// The source image's colour (COLORREF) of pixel (x, y): quadrants.
COLORREF Source(int x, int y) {
    uint32_t c = kColors[(x >= kImageW / 2) + 2 * (y >= kImageH / 2)];
    return c & 0xFFFFFF; // R, G, B bytes in memory are a COLORREF
}

std::string WriteWithUemf(const std::filesystem::path& path) {
    EMFTRACK* et = nullptr;
    EMFHANDLES* eht = nullptr;
    if (emf_start(path.c_str(), 100000, 25000, &et) || htable_create(128, 128, &eht))
        return "start";
    U_SIZEL dev = sizel_set(kSide, kSide), mm = sizel_set(100, 100);
    U_RECTL bounds = rectl_set(point32_set(0, 0), point32_set(kSide - 1, kSide - 1));
    U_RECTL frame = rectl_set(point32_set(0, 0), point32_set(9999, 9999));
    emf_append(reinterpret_cast<PU_ENHMETARECORD>(
                   U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, dev, mm, 0)),
               et, 1);
    std::vector<char> rgba(kImageW * kImageH * 4);
    for (int y = 0; y < kImageH; ++y)
        for (int x = 0; x < kImageW; ++x) {
            uint32_t c = kColors[(x >= kImageW / 2) + 2 * (y >= kImageH / 2)];
            std::memcpy(rgba.data() + (y * kImageW + x) * 4, &c, 4);
        }
    char* px = nullptr;
    uint32_t cbPx = 0;
    PU_RGBQUAD ct = nullptr;
    int numCt = 0;
    if (RGBA_to_DIB(&px, &cbPx, &ct, &numCt, rgba.data(), kImageW, kImageH, kImageW * 4,
                    U_BCBM_COLOR24, U_CT_NO, U_ROW_ORDER_INVERT))
        return "dib";
    U_BITMAPINFOHEADER bih =
        bitmapinfoheader_set(kImageW, kImageH, 1, 24, U_BI_RGB, cbPx, 0, 0, 0, 0);
    PU_BITMAPINFO bmi = bitmapinfo_set(bih, ct);
    emf_append(reinterpret_cast<PU_ENHMETARECORD>(U_EMRSTRETCHDIBITS_set(
                   bounds, point32_set(40, 40), point32_set(160, 80), point32_set(0, 0),
                   point32_set(kImageW, kImageH), U_DIB_RGB_COLORS, U_SRCCOPY, bmi, cbPx, px)),
               et, 1);
    free(bmi);
    free(px);
    U_TRIVERTEX v[2] = {{200, 200, 0xFF00, 0, 0, 0}, {360, 260, 0, 0, 0xFF00, 0}};
    uint32_t mesh[2] = {0, 1};
    emf_append(reinterpret_cast<PU_ENHMETARECORD>(
                   U_EMRGRADIENTFILL_set(bounds, 2, 1, U_GRADIENT_FILL_RECT_H, v, mesh)),
               et, 1);
    emf_append(reinterpret_cast<PU_ENHMETARECORD>(U_EMREOF_set(0, nullptr, et)), et, 1);
    if (emf_finish(et, eht)) return "finish";
    emf_free(&et);
    htable_free(&eht);
    return "";
}
#endif

TEST(UemfPicturesTest, BitmapAndGradientOfAnOutsideWriterPlayOntoAMemoryContext) {
#if !HAVE_UEMF
    GTEST_SKIP() << "libUEMF missing";
#else
    long objects = platform::test::LiveGdiObjects();
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("uemf-" + std::to_string(::getpid()) + ".emf");
    ASSERT_EQ(WriteWithUemf(path), "");
    HENHMETAFILE h = GetEnhMetaFileA(path.c_str());
    ASSERT_NE(h, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader =
        BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kSide, -kSide, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, kSide, kSide, WHITENESS);
    RECT all{0, 0, kSide, kSide};
    ASSERT_TRUE(PlayEnhMetaFile(dc, h, &all));
    auto at = [&](int x, int y) {
        const BYTE* p = static_cast<const BYTE*>(bits) + y * kSide * 3 + x * 3;
        return RGB(p[2], p[1], p[0]);
    };
    // Each source pixel covers 20 x 20 device pixels from (40, 40).
    for (int y = 0; y < kImageH; ++y)
        for (int x = 0; x < kImageW; ++x)
            EXPECT_EQ(at(40 + 20 * x + 10, 40 + 20 * y + 10), Source(x, y)) << x << "," << y;
    EXPECT_EQ(at(39, 39), RGB(255, 255, 255));
    // The gradient runs from red at its left edge to blue at its right.
    EXPECT_GE(GetRValue(at(200, 230)), 250);
    EXPECT_LE(GetBValue(at(200, 230)), 5);
    EXPECT_NEAR(GetRValue(at(280, 230)), 127, 3);
    EXPECT_LE(GetRValue(at(359, 230)), 5);
    EXPECT_GE(GetBValue(at(359, 230)), 250);
    EXPECT_EQ(at(361, 230), RGB(255, 255, 255));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    DeleteEnhMetaFile(h);
    std::filesystem::remove(path);
    EXPECT_EQ(platform::test::LiveGdiObjects(), objects);
    EXPECT_EQ(platform::test::LiveSurfaces(), 0);
#endif
}

} // namespace
