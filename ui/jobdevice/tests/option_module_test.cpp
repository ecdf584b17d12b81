// The device-option module (the stand-in DevOption.DLL, answering from an
// option file written here) at printer initialisation and on a
// configuration change: options taken from its answers, nothing taken when
// the device is another model, and the texts' counts kept within what the
// module returned.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "device_option_module.h"
#include "dialog_lookups.h"
#include "install_option.h"
#include "model_codes.h"
#include "option_detection.h"
#include "option_module.h"
#include "printer_events.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/ini.h"
#include "win/printer_interface.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

constexpr char16_t kPrinter[] = u"Schema";
constexpr char16_t kDeviceName[] = u"\\Printer.NKTDeviceOptions.General.DeviceName001:Name";
constexpr char16_t kDuplexKey[] = u"\\Printer.NKTDeviceOptions.Duplex:Installed";
constexpr char16_t kDiskKey[] = u"\\Printer.NKTDeviceOptions.HardDisk:Installed";
constexpr char16_t kTraysKey[] = u"\\Printer.NKTDeviceOptions.InputBin.Count";
constexpr char16_t kFinisherKey[] = u"\\Printer.NKTDeviceOptions.OutputBin.Finisher001:Name";

using Section = std::vector<std::pair<std::u16string, std::u16string>>;

class OptionModule : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"DevOption.DLL"});
        file_ = ui_test::DriverFolder(kPrinter) + u"\\DevOption.INI";
    }
    void Write(const std::u16string& key, const Section& values) {
        for (const auto& [name, value] : values)
            ASSERT_TRUE(WritePrivateProfileStringW(key.c_str(), name.c_str(), value.c_str(),
                                                   file_.c_str()));
    }
    void NameTheDevice(const std::u16string& name, const std::u16string& count = u"1") {
        Write(kDeviceName, {{u"Kind", u"255"}, {u"Count", count}, {u"Text1", name}});
    }
    std::u16string file_;
};

std::u16string Number(DWORD n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

TEST_F(OptionModule, InstallationTakesTheModulesAnswers) {
    ui_test::BoundPrinter p(kPrinter);
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    const ModelOptionPair pair{p.binding(), &list};
    // One optional tray beyond the standard ones and the multi-purpose tray.
    const DWORD trays = CountPaperSources(p.binding()) + (HasKind4PaperSource(&pair) ? 1 : 0) + 1;
    // A count far beyond the texts there are takes only those returned.
    NameTheDevice(u"Velmora CX5540 MFP", u"100000");
    Write(kDuplexKey, {{u"Kind", u"2"}, {u"Second", u"1"}});
    Write(kDiskKey, {{u"Kind", u"13"}, {u"Value", u"1"}});
    Write(kTraysKey, {{u"Kind", u"8"}, {u"Value", Number(trays)}});
    Write(kFinisherKey, {{u"Kind", u"7"}, {u"Count", u"1"}, {u"Text1", u"FS-5500"}});
    Write(u"\\Printer.NKTDeviceOptions.Unknown", {{u"Kind", u"77"}, {u"Value", u"1"}});
    Write(u"\\Printer.NKTDeviceOptions.Broken", {{u"Kind", u"2"}, {u"Fail", u"1"}});

    WCHAR name[] = u"Schema";
    ASSERT_TRUE(UiDrvPrinterEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    CInstallOption stored(p.printer(), p.binding());
    EXPECT_EQ(stored.Find(kOption25, 1)->state, 1u);
    EXPECT_EQ(stored.Find(kOptionMemory35, 1)->state, 1u);
    DWORD fitted = 0;
    for (DWORD n = 1; const InstallOptionEntry* e = stored.FindNth(kOptionTray, n); ++n)
        if (e->trayKind != 5 && e->state) ++fitted;
    EXPECT_EQ(fitted, 1u);
    ASSERT_NE(stored.FindInstalledFinisher(1), nullptr);
    EXPECT_EQ(stored.FindInstalledFinisher(1)->value, 1);

    // The configuration change names the duplex key: the unit is gone.
    Write(kDuplexKey, {{u"Second", u"0"}});
    WCHAR key[] = u"\\Printer.NKTDeviceOptions.Duplex:Installed";
    ASSERT_TRUE(UiDrvPrinterEvent(name, PRINTER_EVENT_CONFIGURATION_UPDATE, 0,
                                  reinterpret_cast<LPARAM>(key)));
    CInstallOption changed(p.printer(), p.binding());
    EXPECT_EQ(changed.Find(kOption25, 1)->state, 0u);
    EXPECT_EQ(changed.Find(kOptionMemory35, 1)->state, 1u);
}

TEST_F(OptionModule, AnotherModelOrNoNameChangesNothing) {
    ui_test::BoundPrinter p(kPrinter);
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    const std::vector<InstallOptionEntry> before(list.Entries(), list.Entries() + list.Count());
    Write(kDuplexKey, {{u"Kind", u"2"}, {u"Second", u"1"}});
    EXPECT_EQ(QuerySchemaOptions(p.binding(), kPrinter, &list, 0), -1) << "no device name";
    NameTheDevice(u"Velmora LP1220");
    EXPECT_EQ(QuerySchemaOptions(p.binding(), kPrinter, &list, 0), -1);
    EXPECT_EQ(RequerySchemaOptions(p.binding(), kPrinter, &list, kDuplexKey), 1);
    for (DWORD i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Entries()[i].state, before[i].state) << i;
}

TEST_F(OptionModule, OnlyTheDevicesNameAppliesNothing) {
    ui_test::BoundPrinter p(kPrinter);
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    const std::vector<InstallOptionEntry> before(list.Entries(), list.Entries() + list.Count());
    NameTheDevice(u"Velmora CX5540 MFP");
    EXPECT_EQ(QuerySchemaOptions(p.binding(), kPrinter, &list, 0), 0);
    for (DWORD i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Entries()[i].state, before[i].state) << i;
}

TEST(SchemaKinds, MapToTheirOptions) {
    const std::pair<DWORD, WORD> cases[] = {
        {1, kOptionMemory36},
        {2, kOption25},
        {3, kOptionMemory35},
        {7, kOptionFinisher},
        {8, kOptionTray},
        {12, kOptionMemory36},
        {14, kOptionMemory35},
        {21, kOptionTray},
        {44, kOptionFinisher},
        {6, 34},
        {15, 0},
        {255, 0},
    };
    for (const auto& [kind, option] : cases)
        EXPECT_EQ(SchemaKindToOption(kind), option) << kind;
}

} // namespace
