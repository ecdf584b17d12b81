// A page exported as EMF by Inkscape (fills, outlines, a clipped shape and an
// embedded picture) drawn onto a memory device context and printed onto a
// printer whose driver takes only images: every shape and the picture land
// where they belong.
#include <filesystem>

#include "emf_fixture.h"
#include "win/gdi_bitmap.h"
#include "win/winddi.h"

namespace {

const std::string kInkscape = (std::filesystem::path(FIXTURE_DIR) / "inkscape-shapes.emf").string();

struct Probe {
    const char* what;
    double xMm, yMm; // on the 100 x 100 mm page
    COLORREF color;
};

const Probe kProbes[] = {
    {"rectangle fill", 25, 20, RGB(0, 0xC0, 0)},
    {"rectangle outline", 10, 20, RGB(0, 0, 0)},
    {"outside the rectangle", 25, 35, RGB(255, 255, 255)},
    {"ellipse fill", 75, 20, RGB(255, 0xD0, 0)},
    {"ellipse outline", 60, 20, RGB(0, 0, 255)},
    {"circle inside its clip", 20, 75, RGB(255, 0, 255)},
    {"circle outside its clip", 35, 75, RGB(255, 255, 255)},
    {"picture, left half", 65, 75, RGB(255, 0, 0)},
    {"picture, right half", 85, 75, RGB(0, 0, 255)},
};

class OutsideDocumentsTest : public emftest::RecorderTest {};

TEST_F(OutsideDocumentsTest, InkscapePageOntoAMemoryContext) {
    constexpr int kSide = 400; // 4 pixels a millimetre
    HENHMETAFILE h = GetEnhMetaFileA(kInkscape.c_str());
    ASSERT_NE(h, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{40, kSide, -kSide, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    PatBlt(dc, 0, 0, kSide, kSide, WHITENESS);
    RECT all{0, 0, kSide, kSide};
    EXPECT_TRUE(PlayEnhMetaFile(dc, h, &all));
    for (const Probe& p : kProbes) {
        int x = static_cast<int>(p.xMm * 4), y = static_cast<int>(p.yMm * 4);
        const BYTE* px = static_cast<const BYTE*>(bits) + y * kSide * 3 + x * 3;
        EXPECT_EQ(RGB(px[2], px[1], px[0]), p.color) << p.what;
    }
    EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    DeleteEnhMetaFile(h);
}

TEST_F(OutsideDocumentsTest, InkscapePagePrintedThroughTheEngine) {
    // A driver that takes no drawing call but images: the engine draws
    // everything and hands it over.
    set("hooks", HOOK_COPYBITS);
    OpenPage();
    HENHMETAFILE h = GetEnhMetaFileA(kInkscape.c_str());
    ASSERT_NE(h, nullptr);
    RECT square{0, 0, 800, 800}; // 8 pixels a millimetre
    EXPECT_TRUE(PlayEnhMetaFile(hdc, h, &square));
    DeleteEnhMetaFile(h);
    auto pixel = Export<unsigned long (*)(long, long)>("RecorderPixel");
    for (const Probe& p : kProbes) {
        // The device's colours are red in the low byte, as a COLORREF.
        EXPECT_EQ(pixel(static_cast<long>(p.xMm * 8), static_cast<long>(p.yMm * 8)), p.color)
            << p.what;
    }
}

} // namespace
