// The Device page over a printer of the sample model, without a device to
// ask: the tray count kept within the model's trays (in the edit and in the
// picture's record), the finisher's units, a missing picture library that
// leaves the picture blank until it appears, and Apply's printer data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "device_page.h"
#include "install_option.h"
#include "model_codes.h"
#include "platform/user_ctl.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/files.h"
#include "win/printer_sheets.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"DevicePage";

class DevicePage : public ui_test::PageSheet {
  protected:
    void Install(std::vector<std::string> extra, DWORD access = PRINTER_ALL_ACCESS) {
        extra.push_back("Resbundle.DLL");
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), extra);
        OpenPrinter(kPrinter, access);
    }
    void Run(const std::function<void(HWND sheet, HWND page, CDevice* device)>& script) {
        CDevice* device = nullptr;
        Sheet sheet;
        sheet.kind = kSheetDevice;
        sheet.pages = [&](SheetContext* c) {
            device = new CDevice(c);
            return std::vector<CPropPage*>{device};
        };
        Show(sheet, [&](HWND shown, HWND page) { script(shown, page, device); });
    }
    void SavePicture(HWND sheet, const char* name) {
        if (const char* dir = std::getenv("PAGES_PNG_DIR"))
            drv::SavePng(sheet, std::string(dir) + "/" + name + ".png");
    }
};

void Paint(HWND window) {
    HDC dc = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 400, 400);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    drv::DrawWindow(window, memory);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, dc);
}

TEST_F(DevicePage, TheTrayCountStaysWithinTheModelsTrays) {
    Install({"Imagewell.DLL"});
    Run([&](HWND sheet, HWND page, CDevice* device) {
        const DWORD s = device->StandardTrays(), m = device->MainTrays();
        ASSERT_GT(m, 0u);
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 314)),
                  u"( " + std::u16string(1, char16_t(u'0' + s)) + u" - " +
                      std::u16string(1, char16_t(u'0' + s + m)) + u" )");
        HWND edit = GetDlgItem(page, CDevice::kTrayEdit);
        ASSERT_TRUE(drv::TypeText(edit, u"9"));
        Paint(GetDlgItem(page, CDevice::kPicture));
        ASSERT_TRUE(device->Picture().Bound());
        EXPECT_EQ(device->Picture().LastInfo().trays, s + m);
        EXPECT_EQ(device->Picture().LastInfo().mostTrays, s + m);
        SetFocus(GetDlgItem(page, CDevice::kDuplex));
        EXPECT_EQ(drv::ReadText(edit), std::u16string(1, char16_t(u'0' + s + m)));
        // One optional tray: the first main tray is fitted, the others not.
        ASSERT_TRUE(drv::TypeText(edit, std::u16string(1, char16_t(u'0' + s + 1))));
        CInstallOption* list = device->Context()->installOptions;
        DWORD fitted = 0;
        for (DWORD n = 1; const InstallOptionEntry* e = list->FindNth(kOptionTray, n); ++n)
            if (e->trayKind != 5 && e->state) ++fitted;
        EXPECT_EQ(fitted, 1u);
        EXPECT_EQ(drv::ReadPosition(GetDlgItem(page, CDevice::kTrayUpDown)), int(s + 1));
        SavePicture(sheet, "device_page");
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(DevicePage, NoFinisherClearsItsUnits) {
    Install({"Imagewell.DLL"});
    Run([&](HWND sheet, HWND page, CDevice* device) {
        HWND finisher = GetDlgItem(page, CDevice::kFinisher);
        ASSERT_TRUE(drv::SelectItemText(finisher, u"FS-5500"));
        CInstallOption* list = device->Context()->installOptions;
        ASSERT_NE(list->FindInstalledFinisher(1), nullptr);
        ASSERT_TRUE(drv::SelectItemText(finisher, u"None"));
        EXPECT_EQ(list->FindInstalledFinisher(1), nullptr);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, CDevice::kPunch)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, CDevice::kStaple)));
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(DevicePage, WithoutThePictureLibraryThePictureStaysBlankAndTriesAgain) {
    Install({});
    Run([&](HWND sheet, HWND page, CDevice* device) {
        HWND picture = GetDlgItem(page, CDevice::kPicture);
        Paint(picture);
        EXPECT_FALSE(device->Picture().Bound());
        // The library appears beside the model library: the next paint binds it.
        const std::u16string from = std::u16string(PKG_DRIVER_DIR_W) + u"/Imagewell.DLL";
        const std::u16string to = ui_test::DriverFolder(kPrinter) + u"\\Imagewell.DLL";
        ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE));
        Paint(picture);
        EXPECT_TRUE(device->Picture().Bound());
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(DevicePage, ApplyStoresTheListAndChangePaperTray) {
    Install({"Imagewell.DLL"});
    Run([&](HWND sheet, HWND page, CDevice*) {
        ASSERT_TRUE(drv::SelectItemText(GetDlgItem(page, CDevice::kDuplex), u"Installed"));
        HWND change = GetDlgItem(page, CDevice::kChangeTray);
        if (IsWindowVisible(change)) {
            ASSERT_TRUE(drv::SelectItemText(change, u"Specified Tray"));
        }
        drv::PressButton(sheet, IDOK);
    });
    ui_test::BoundPrinter bound(kPrinter);
    CInstallOption stored(printer_, bound.binding());
    EXPECT_EQ(stored.Find(kOption25, 1)->state, 1u);
    DWORD type = 0, size = 0, needed = 0;
    EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"InstallOptionSize"), &type,
                              reinterpret_cast<LPBYTE>(&size), sizeof size, &needed),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(size, stored.Count() * 16);
    if (stored.ChangePaperTraySupported()) {
        BYTE value = 1;
        EXPECT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"ChangePaperTray"), &type, &value,
                                  1, &needed),
                  DWORD(ERROR_SUCCESS));
        EXPECT_EQ(value, 0);
    }
}

TEST_F(DevicePage, AFailedWriteIsToldAndTheSheetStaysChanged) {
    // A handle that may use the printer but not change it.
    Install({"Imagewell.DLL"}, PRINTER_ACCESS_USE);
    std::u16string told;
    Run([&](HWND sheet, HWND page, CDevice*) {
        ASSERT_TRUE(drv::SelectItemText(GetDlgItem(page, CDevice::kDuplex), u"Installed"));
        ut::AnswerNextMessageBox([&](const ut::MessageBoxCall& call) {
            told = call.text;
            return IDOK;
        });
        drv::PressButton(sheet, IDC_PROPSHEET_APPLYNOW);
        EXPECT_EQ(told, u"Cannot save data.");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW)));
        drv::PressButton(sheet, IDCANCEL);
    });
    ui_test::BoundPrinter bound(kPrinter);
    CInstallOption stored(printer_, bound.binding());
    EXPECT_EQ(stored.Find(kOption25, 1)->state, 0u);
}

} // namespace
