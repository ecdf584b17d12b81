// Imagewell's picture of the printer, probed pixel by pixel: the tray stack
// by the tray count (a count outside 2 to 4 falls back to the standard
// trays), the large-capacity tray, the finisher with and without punch unit,
// the model's own pictures, and a missing picture left out.
#include <gtest/gtest.h>

#include <string>

#include "imagewell/device_image.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/loader.h"
#include "win/user.h"

namespace {

using imagewell::DeviceImageInfo;

constexpr COLORREF kWhite = RGB(255, 255, 255), kYellow = RGB(255, 255, 0), kRed = RGB(255, 0, 0);
// Points of the control (the device area starts at 10, 41).
constexpr POINT kFirstTray = {70, 99}, kThirdTray = {70, 139}, kFourthTray = {70, 159};
constexpr POINT kLargeTray = {30, 121}, kFinisher = {180, 101}, kPunch = {181, 141};

class Imagewell : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryW((std::u16string(PKG_DRIVER_DIR_W) + u"/Imagewell.DLL").c_str());
        ASSERT_NE(module_, nullptr);
        draw_ = reinterpret_cast<imagewell::PFN_DrawDeviceImage>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, imagewell::kDrawDeviceImage)));
        ASSERT_NE(draw_, nullptr);
        screen_ = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen_);
        bitmap_ = CreateCompatibleBitmap(screen_, 215, 227);
        previous_ = SelectObject(dc_, bitmap_);
    }
    void TearDown() override {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        ReleaseDC(nullptr, screen_);
        FreeLibrary(module_);
    }
    static DeviceImageInfo Info(DWORD trays, DWORD large, DWORD finisher, DWORD punch) {
        DeviceImageInfo info{};
        info.fixedDpi = 96;
        info.fewestTrays = 2;
        info.mostTrays = 4;
        info.trays = trays;
        info.largeTray = large;
        info.finisher = finisher;
        info.punch = punch;
        return info;
    }
    void Draw(DeviceImageInfo info) {
        RECT rect{0, 0, 215, 227};
        ASSERT_TRUE(draw_(dc_, &rect, &info));
    }
    COLORREF At(POINT p) { return GetPixel(dc_, p.x, p.y); }

    HMODULE module_ = nullptr;
    imagewell::PFN_DrawDeviceImage draw_ = nullptr;
    HDC screen_ = nullptr, dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

TEST_F(Imagewell, LayersFollowTheOptions) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    struct Case {
        const char* what;
        DeviceImageInfo info;
        bool third, fourth, large, finisher, punch;
    };
    const Case cases[] = {
        {"nothing optional", Info(2, 0, 99, 0), false, false, false, false, false},
        {"one tray: the standard two", Info(1, 0, 0, 0), false, false, false, false, false},
        {"five trays: the standard two", Info(5, 0, 99, 0), false, false, false, false, false},
        {"three trays", Info(3, 0, 99, 0), true, false, false, false, false},
        {"four trays, large tray", Info(4, 1, 99, 0), true, true, true, false, false},
        {"finisher 1 (punch has no picture)", Info(2, 0, 1, 1), false, false, false, true, false},
        {"finisher 3 with punch", Info(2, 0, 3, 1), false, false, false, true, true},
        {"finisher 4 without punch", Info(2, 0, 4, 0), false, false, false, true, false},
        {"finisher 5 is none", Info(2, 0, 5, 0), false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Draw(c.info);
        EXPECT_EQ(At(kFirstTray), kWhite);
        EXPECT_EQ(At(kThirdTray), c.third ? kWhite : face);
        EXPECT_EQ(At(kFourthTray), c.fourth ? kWhite : face);
        EXPECT_EQ(At(kLargeTray), c.large ? kYellow : face);
        EXPECT_EQ(At(kFinisher), c.finisher ? kWhite : face);
        EXPECT_EQ(At(kPunch), c.punch ? kRed : c.finisher ? kWhite : face);
    }
}

TEST_F(Imagewell, TheModelsOwnPicturesReplaceTheTrays) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    DeviceImageInfo info = Info(3, 0, 99, 0);
    info.modelBody = 119;
    info.modelTrays[0] = 120;
    info.modelTrays[1] = 121;
    info.modelTrays[2] = 122;
    Draw(info);
    EXPECT_EQ(At(kThirdTray), kWhite);
    EXPECT_EQ(At(kFourthTray), face);
    // A picture the library lacks is left out; the others still draw.
    info.modelBody = 999;
    info.trays = 4;
    Draw(info);
    EXPECT_EQ(At(kFourthTray), kWhite);
    EXPECT_EQ(At({100, 60}), face) << "no body";
}

TEST_F(Imagewell, NoRecordNoPicture) {
    RECT rect{0, 0, 215, 227};
    EXPECT_FALSE(draw_(dc_, &rect, nullptr));
    EXPECT_EQ(GetProcAddress(module_, MAKEINTRESOURCEA(1)),
              GetProcAddress(module_, imagewell::kDrawDeviceImage));
}

} // namespace
