// Image lists drawn into a memory device context: masks by colour and by
// bitmap, background colours, the mask and blend styles, icons from a
// module, and handles that are bad.
#include "platform/gdi_ctl.h"
#include "platform/loader_ctl.h"
#include "platform/user_ctl.h"
#include "resprobe.h"
#include "user_fixture.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/loader.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

DWORD Bgra(COLORREF c) {
    return (DWORD{GetRValue(c)} << 16) | (DWORD{GetGValue(c)} << 8) | GetBValue(c);
}

COLORREF FromBgra(DWORD p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// A 32-bit top-down bitmap we can read and write directly.
struct Canvas {
    int width, height;
    HBITMAP bitmap = nullptr;
    DWORD* bits = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    Canvas(int w, int h, COLORREF fill) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<DWORD*>(p);
        for (int i = 0; i < w * h; ++i)
            bits[i] = Bgra(fill);
    }
    void Select() {
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    COLORREF At(int x, int y) const { return FromBgra(bits[y * width + x]); }
    void Set(int x, int y, COLORREF c) { bits[y * width + x] = Bgra(c); }
    ~Canvas() {
        if (dc) {
            SelectObject(dc, old);
            DeleteDC(dc);
        }
        DeleteObject(bitmap);
    }
};

class ImageLists : public user_test::UserTest {
  protected:
    // Two 16 x 16 images side by side: red with a magenta corner, and blue.
    void SetUp() override {
        strip = std::make_unique<Canvas>(32, 16, kRed);
        for (int y = 0; y < 16; ++y)
            for (int x = 16; x < 32; ++x)
                strip->Set(x, y, kBlue);
        strip->Set(0, 0, kMagenta);
        strip->Set(1, 0, kMagenta);
        target = std::make_unique<Canvas>(40, 20, kGreen);
        target->Select();
    }
    void TearDown() override {
        strip.reset();
        target.reset();
        user_test::UserTest::TearDown();
    }
    std::unique_ptr<Canvas> strip, target;
};

TEST_F(ImageLists, MaskedByColourDrawnWithEachStyle) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 2);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ImageList_AddMasked(list, strip->bitmap, kMagenta), 0);
    EXPECT_EQ(ImageList_AddMasked(list, strip->bitmap, kMagenta), 2);
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    struct Case {
        const char* what;
        int image;
        COLORREF background; // the list's
        UINT style;
        COLORREF corner, inside; // pixel (0,0) and (8,8) of the image as drawn
    } cases[] = {
        {"transparent", 0, CLR_NONE, ILD_TRANSPARENT, kGreen, kRed},
        {"normal without background", 0, CLR_NONE, ILD_NORMAL, kGreen, kRed},
        {"normal on white", 0, kWhite, ILD_NORMAL, kWhite, kRed},
        {"transparent ignores background", 0, kWhite, ILD_TRANSPARENT, kGreen, kRed},
        {"mask", 0, CLR_NONE, ILD_MASK, kWhite, kBlack},
        {"second image", 1, CLR_NONE, ILD_NORMAL, kBlue, kBlue},
        {"half blended with the highlight", 1, CLR_NONE, ILD_BLEND50, RGB(0, 0, 100),
         RGB(0, 0, 100)},
    };
    platform::user::test::SetSysColor(COLOR_HIGHLIGHT, RGB(0, 0, 0));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < target->width * target->height; ++i)
            target->bits[i] = Bgra(kGreen);
        ImageList_SetBkColor(list, c.background);
        ASSERT_TRUE(ImageList_Draw(list, c.image, target->dc, 4, 2, c.style));
        EXPECT_EQ(target->At(4, 2), c.corner);
        EXPECT_EQ(target->At(12, 10), c.inside);
        EXPECT_EQ(target->At(3, 2), kGreen);   // left of the image
        EXPECT_EQ(target->At(20, 18), kGreen); // below it
    }
    // DrawEx draws only the part asked for.
    for (int i = 0; i < target->width * target->height; ++i)
        target->bits[i] = Bgra(kGreen);
    ASSERT_TRUE(
        ImageList_DrawEx(list, 1, target->dc, 0, 0, 4, 4, CLR_NONE, CLR_DEFAULT, ILD_NORMAL));
    EXPECT_EQ(target->At(3, 3), kBlue);
    EXPECT_EQ(target->At(4, 4), kGreen);

    EXPECT_FALSE(ImageList_Draw(list, 4, target->dc, 0, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, -1, target->dc, 0, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 3);
    EXPECT_FALSE(ImageList_Remove(list, 3));
    EXPECT_TRUE(ImageList_Remove(list, -1));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
}

TEST_F(ImageLists, MaskBitmapAndUnmaskedLists) {
    // The mask: white (transparent) in the left image's top row only.
    Canvas mask(32, 16, kBlack);
    for (int x = 0; x < 16; ++x)
        mask.Set(x, 0, kWhite);
    HIMAGELIST masked = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 2, 2);
    HIMAGELIST plain = ImageList_Create(16, 16, ILC_COLOR24, 2, 2);
    EXPECT_EQ(ImageList_Add(masked, strip->bitmap, mask.bitmap), 0);
    EXPECT_EQ(ImageList_Add(plain, strip->bitmap, mask.bitmap), 0);
    ASSERT_TRUE(ImageList_Draw(masked, 0, target->dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(target->At(5, 0), kGreen);
    EXPECT_EQ(target->At(5, 1), kRed);
    // Without ILC_MASK every pixel is drawn, the mask colour too.
    ASSERT_TRUE(ImageList_Draw(plain, 0, target->dc, 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(target->At(5, 0), kRed);
    EXPECT_EQ(target->At(0, 0), kMagenta);
    // A strip narrower than one image, or no bitmap at all, adds nothing.
    Canvas narrow(8, 16, kRed);
    EXPECT_EQ(ImageList_Add(masked, narrow.bitmap, nullptr), -1);
    EXPECT_EQ(ImageList_Add(masked, nullptr, nullptr), -1);
    EXPECT_EQ(ImageList_GetImageCount(masked), 2);
    EXPECT_TRUE(ImageList_Destroy(masked));
    EXPECT_TRUE(ImageList_Destroy(plain));
    EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR24, 1, 1), nullptr);
    EXPECT_EQ(ImageList_Create(16, 100000, ILC_COLOR24, 1, 1), nullptr);
}

TEST_F(ImageLists, IconsFromAModuleScaledToTheList) {
    platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
    HMODULE probe = LoadLibraryW(u"Resprobe.DLL");
    ASSERT_NE(probe, nullptr);
    HICON icon = LoadIconW(probe, MAKEINTRESOURCEW(IDI_PROBE));
    ASSERT_NE(icon, nullptr);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    EXPECT_EQ(ImageList_AddIcon(list, icon), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 0, icon), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(list, 1, icon), -1);
    // A system icon has no pixels here; a bitmap is no icon.
    EXPECT_EQ(ImageList_AddIcon(list, LoadIconW(nullptr, IDI_WARNING)), -1);
    EXPECT_EQ(ImageList_AddIcon(list, reinterpret_cast<HICON>(strip->bitmap)), -1);
    ASSERT_TRUE(ImageList_Draw(list, 0, target->dc, 2, 2, ILD_NORMAL));
    EXPECT_EQ(target->At(10, 10), RGB(255, 128, 0)); // the probe icon's orange
    EXPECT_EQ(target->At(18, 10), kGreen);
    EXPECT_TRUE(ImageList_Destroy(list));
    FreeLibrary(probe);
}

} // namespace

namespace {

// The system's colour brushes are GDI brushes: they paint, survive
// DeleteObject, follow their colour and are not counted as live objects.
TEST_F(ImageLists, SystemColourBrushesPaintInTheirColour) {
    long live = platform::test::LiveGdiObjects();
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(GetObjectType(face), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), face);
    EXPECT_NE(GetSysColorBrush(COLOR_WINDOW), face);
    RECT r{0, 0, 4, 4};
    ASSERT_TRUE(FillRect(target->dc, &r, face));
    EXPECT_EQ(target->At(1, 1), GetSysColor(COLOR_BTNFACE));
    EXPECT_TRUE(DeleteObject(face));
    platform::user::test::SetSysColor(COLOR_BTNFACE, RGB(1, 2, 3));
    ASSERT_TRUE(FillRect(target->dc, &r, face));
    EXPECT_EQ(target->At(1, 1), RGB(1, 2, 3));
    EXPECT_EQ(platform::test::LiveGdiObjects(), live);
    EXPECT_EQ(GetSysColorBrush(-1), nullptr);
}

} // namespace
