// Pages exported as EMF by Inkscape and by LibreOffice (fills, outlines, a
// clipped or cropped shape and an embedded picture) drawn onto a memory
// device context and printed onto a printer whose driver takes only images:
// every shape and the picture land where they belong.
#include <filesystem>
#include <iterator>

#include "emf_fixture.h"
#include "win/gdi_bitmap.h"
#include "win/winddi.h"

namespace {

std::string Fixture(const char* name) {
    return (std::filesystem::path(FIXTURE_DIR) / name).string();
}

struct Probe {
    const char* what;
    double xMm, yMm; // on the page, from its top left corner
    COLORREF color;
};

// Inkscape's page is 100 x 100 mm.

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

// LibreOffice Draw frames the drawing at 190 x 277 mm from (10, 10) mm on the
// page, as on an A4 page with its margins.
const Probe kOfficeProbes[] = {
    {"rectangle fill", 25, 20, RGB(0, 0xC0, 0)},
    {"rectangle outline", 10, 20, RGB(0, 0, 0)},
    {"outside the rectangle", 25, 35, RGB(255, 255, 255)},
    {"ellipse fill", 75, 20, RGB(255, 0xD0, 0)},
    {"ellipse outline", 60, 20, RGB(0, 0, 255)},
    {"outside the ellipse", 62, 12, RGB(255, 255, 255)},
    {"cropped picture, left", 15, 75, RGB(255, 0, 0)},
    {"cropped picture, its blue half cut away", 35, 75, RGB(255, 0, 0)},
    {"picture, left half", 65, 75, RGB(255, 0, 0)},
    {"picture, right half", 85, 75, RGB(0, 0, 255)},
    {"below the pictures", 50, 100, RGB(255, 255, 255)},
};

struct Page {
    std::string path;
    int widthMm, heightMm; // the metafile's frame
    double leftMm, topMm;  // where the frame's corner lies on the page probed
};

const Page kInkscapePage{Fixture("inkscape-shapes.emf"), 100, 100, 0, 0};
const Page kOfficePage{Fixture("libreoffice-shapes.emf"), 190, 277, 10, 10};

class OutsideDocumentsTest : public emftest::RecorderTest {
  protected:
    // Plays `page` onto a white 24-bit memory bitmap at 4 pixels a
    // millimetre and checks every probe; no record may be passed over.
    static void OntoAMemoryContext(const Page& page, const Probe* probes, size_t count) {
        constexpr int kPerMm = 4;
        const int w = page.widthMm * kPerMm, h = page.heightMm * kPerMm;
        const int stride = (w * 3 + 3) & ~3;
        HENHMETAFILE emf = GetEnhMetaFileA(page.path.c_str());
        ASSERT_NE(emf, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bmp);
        PatBlt(dc, 0, 0, w, h, WHITENESS);
        RECT all{0, 0, w, h};
        EXPECT_TRUE(PlayEnhMetaFile(dc, emf, &all));
        for (size_t i = 0; i < count; ++i) {
            const Probe& p = probes[i];
            int x = static_cast<int>((p.xMm - page.leftMm) * kPerMm);
            int y = static_cast<int>((p.yMm - page.topMm) * kPerMm);
            const BYTE* px = static_cast<const BYTE*>(bits) + y * stride + x * 3;
            EXPECT_EQ(RGB(px[2], px[1], px[0]), p.color) << p.what;
        }
        EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        DeleteEnhMetaFile(emf);
    }

    // Prints `page` at 8 pixels a millimetre through a driver that takes no
    // drawing call but images: the engine draws everything and hands it over.
    void PrintedThroughTheEngine(const Page& page, const Probe* probes, size_t count) {
        constexpr int kPerMm = 8;
        set("hooks", HOOK_COPYBITS);
        OpenPage();
        HENHMETAFILE emf = GetEnhMetaFileA(page.path.c_str());
        ASSERT_NE(emf, nullptr);
        RECT frame{0, 0, page.widthMm * kPerMm, page.heightMm * kPerMm};
        EXPECT_TRUE(PlayEnhMetaFile(hdc, emf, &frame));
        DeleteEnhMetaFile(emf);
        auto pixel = Export<unsigned long (*)(long, long)>("RecorderPixel");
        for (size_t i = 0; i < count; ++i) {
            const Probe& p = probes[i];
            // The device's colours are red in the low byte, as a COLORREF.
            EXPECT_EQ(pixel(static_cast<long>((p.xMm - page.leftMm) * kPerMm),
                            static_cast<long>((p.yMm - page.topMm) * kPerMm)),
                      p.color)
                << p.what;
        }
        EXPECT_EQ(platform::test::SkippedEmfRecords(), "");
    }
};

TEST_F(OutsideDocumentsTest, InkscapePageOntoAMemoryContext) {
    OntoAMemoryContext(kInkscapePage, kProbes, std::size(kProbes));
}

TEST_F(OutsideDocumentsTest, InkscapePagePrintedThroughTheEngine) {
    PrintedThroughTheEngine(kInkscapePage, kProbes, std::size(kProbes));
}

TEST_F(OutsideDocumentsTest, LibreOfficePageOntoAMemoryContext) {
    OntoAMemoryContext(kOfficePage, kOfficeProbes, std::size(kOfficeProbes));
}

TEST_F(OutsideDocumentsTest, LibreOfficePagePrintedThroughTheEngine) {
    PrintedThroughTheEngine(kOfficePage, kOfficeProbes, std::size(kOfficeProbes));
}

} // namespace
