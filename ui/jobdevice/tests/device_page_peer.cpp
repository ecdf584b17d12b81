// The Device page's Auto Configuration against the sample device as snmpd
// serves it: the same options (nothing to apply), changed options (the page
// is changed and Apply stores them), and a device that does not answer (the
// list stays as it was, the message says so).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "device_page.h"
#include "form_tray_page.h"
#include "install_option.h"
#include "model_codes.h"
#include "option_detection.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/user_ctl.h"
#include "printer_events.h"
#include "sample_device.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace spl = platform::spooler;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"D1";

class DevicePagePeer : public ui_test::PageSheet {
  protected:
    void Start(const snmp_testing::SnmpdConfig& config) {
        ASSERT_TRUE(agent.Start(config)) << agent.Log();
        platform::test::RedirectUdpPort(161, agent.Port());
        platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
        ui_test::InstallPrinter(
            kPrinter, ui_test::SampleModel("CX5540"),
            {"Devprobe.DLL", "Tallyport.DLL", "Resbundle.DLL", "Imagewell.DLL"});
        ASSERT_EQ(spl::AddTcpIpPort(u"IP_printer1", u"printer1"), 0u);
        spl::PrinterRecord printer;
        ASSERT_TRUE(spl::FindPrinter(kPrinter, &printer));
        printer.port = u"IP_printer1";
        ASSERT_EQ(spl::AddPrinter(printer, true), 0u);
        OpenPrinter(kPrinter);
    }
    // The two device pages; the script starts on the Device page.
    void Run(const Script& script) {
        Sheet sheet;
        sheet.kind = kSheetDevice;
        sheet.pages = [](SheetContext* c) {
            return std::vector<CPropPage*>{new CFormTray(c), new CDevice(c)};
        };
        sheet.startPage = 1;
        Show(sheet, script);
    }
    // Presses Auto Configuration and answers its message; returns the text.
    std::u16string AutoConfigure(HWND page, UINT* icon) {
        std::u16string text;
        ut::AnswerNextMessageBox([&](const ut::MessageBoxCall& call) {
            text = call.text;
            *icon = call.type & MB_ICONMASK;
            return IDOK;
        });
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, CDevice::kAutoConfig)));
        drv::Click(GetDlgItem(page, CDevice::kAutoConfig));
        return text;
    }
    void SavePicture(HWND sheet, const char* name) {
        if (const char* dir = std::getenv("PAGES_PNG_DIR"))
            drv::SavePng(sheet, std::string(dir) + "/" + name + ".png");
    }
    snmp_testing::SnmpdAgent agent;
};

bool ApplyEnabled(HWND sheet) {
    return IsWindowEnabled(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW)) != FALSE;
}

TEST_F(DevicePagePeer, TheSameOptionsChangeNothing) {
    Start(snmp_testing::SampleDevice("ready"));
    WCHAR name[] = u"D1";
    // Installation asked the device already: the stored list is its answer.
    ASSERT_TRUE(UiDrvPrinterEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    Run([&](HWND sheet, HWND page) {
        UINT icon = 0;
        EXPECT_EQ(AutoConfigure(page, &icon), u"The machine configuration has not changed.");
        EXPECT_EQ(icon, UINT(MB_ICONINFORMATION));
        EXPECT_FALSE(ApplyEnabled(sheet));
        SavePicture(sheet, "device_page_detected");
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(DevicePagePeer, ChangedOptionsMarkThePageAndApplyStoresThem) {
    Start(snmp_testing::SampleDevice("ready"));
    {
        ui_test::BoundPrinter bound(kPrinter);
        ASSERT_TRUE(bound.ok());
        CInstallOption options(printer_, bound.binding());
        for (DWORD i = 0; i < options.Count(); ++i)
            if (options.Entries()[i].flags & kOptionUserSettable) options.Entries()[i].state = 0;
        ASSERT_EQ(options.Write(), DWORD(ERROR_SUCCESS));
    }
    Run([&](HWND sheet, HWND page) {
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, CDevice::kDuplex)), u"Not Installed");
        UINT icon = 0;
        EXPECT_EQ(AutoConfigure(page, &icon),
                  u"The machine configuration has changed.\r\nPress OK to configure the options.");
        EXPECT_TRUE(ApplyEnabled(sheet));
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, CDevice::kDuplex)), u"Installed");
        drv::PressButton(sheet, IDOK);
    });
    ui_test::BoundPrinter bound(kPrinter);
    CInstallOption stored(printer_, bound.binding());
    ASSERT_NE(stored.Find(kOption25, 1), nullptr);
    EXPECT_EQ(stored.Find(kOption25, 1)->state, 1u);
    EXPECT_EQ(stored.FindNth(kOptionTray, 1)->state, 1u);
}

TEST_F(DevicePagePeer, AnUnreachableDeviceLeavesTheList) {
    Start(snmp_testing::SampleDevice("ready"));
    agent.Stop();
    std::vector<InstallOptionEntry> before;
    {
        ui_test::BoundPrinter bound(kPrinter);
        CInstallOption options(printer_, bound.binding());
        before.assign(options.Entries(), options.Entries() + options.Count());
    }
    Run([&](HWND sheet, HWND page) {
        UINT icon = 0;
        EXPECT_EQ(AutoConfigure(page, &icon), u"Cannot communicate to printer.");
        EXPECT_EQ(icon, UINT(MB_ICONEXCLAMATION));
        EXPECT_FALSE(ApplyEnabled(sheet));
        drv::PressButton(sheet, IDOK);
    });
    ui_test::BoundPrinter bound(kPrinter);
    CInstallOption stored(printer_, bound.binding());
    ASSERT_EQ(stored.Count(), before.size());
    for (DWORD i = 0; i < stored.Count(); ++i)
        EXPECT_EQ(stored.Entries()[i].state, before[i].state) << i;
}

} // namespace
