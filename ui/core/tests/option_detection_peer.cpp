// Printer initialisation against the sample device as snmpd serves it: the
// installed options come from the device through Devprobe and Tallyport,
// the installer's cache is not used and is deleted, and a device that is
// another model changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "install_option.h"
#include "model_codes.h"
#include "option_detection.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "printer_events.h"
#include "sample_device.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/registry.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace spl = platform::spooler;

// The sample model's names (queries 15 and 11): the 32-bit installer writes
// them under its own HKLM\SOFTWARE, which the driver finds below Wow6432Node.
constexpr char16_t kInstallerKey[] = u"SOFTWARE\\Velmora\\Velmora CX5540 MFP";
constexpr char16_t kCacheKey[] = u"SOFTWARE\\Wow6432Node\\Velmora\\Velmora CX5540 MFP";
constexpr WORD kOptionBins = model::kQueryOutputBins;
constexpr char kSysDescr[] = "1.3.6.1.2.1.1.1.0";

// A CX5540 printer on a TCP/IP port whose address is the sample device's
// agent, with the device-query and department-code libraries beside the
// model library.
class SampleDevicePrinter : public ::testing::Test {
  protected:
    void Start(snmp_testing::SnmpdConfig config) {
        ASSERT_TRUE(agent.Start(config)) << agent.Log();
        platform::test::RedirectUdpPort(161, agent.Port());
        platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
        ui_test::InstallPrinter(u"D1", ui_test::SampleModel("CX5540"),
                                {"Devprobe.DLL", "Tallyport.DLL"});
        ASSERT_EQ(spl::AddTcpIpPort(u"IP_printer1", u"printer1"), 0u);
        spl::PrinterRecord printer;
        ASSERT_TRUE(spl::FindPrinter(u"D1", &printer));
        printer.port = u"IP_printer1";
        ASSERT_EQ(spl::AddPrinter(printer, true), 0u);
    }
    snmp_testing::SnmpdAgent agent;
};

DWORD State(const CInstallOption& list, WORD option, WORD value) {
    const InstallOptionEntry* e = list.Find(option, value);
    return e ? e->state : 0xDEAD;
}

// A cache that says the opposite of the device about the units.
void WriteContraryCache() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallerKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD none = 0, trays = 2;
    RegSetValueExW(key, u"Installed Option", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&none),
                   sizeof none);
    RegSetValueExW(key, u"Number of Tray", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&trays),
                   sizeof trays);
    RegCloseKey(key);
}

bool CacheValueLeft() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCacheKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool left = RegQueryValueExW(key, u"Installed Option", nullptr, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return left;
}

// The sample device: the feeder PF-5500 (the first optional tray) and the
// large-capacity tray, the spooling hard disk, a duplex path, 512 MB in all
// (the model's on-board memory, no module), the inner second bin and the
// finisher's bin, the finisher FS-5500 without punch, department codes.
TEST_F(SampleDevicePrinter, InitializationAsksTheDevice) {
    Start(snmp_testing::SampleDevice("ready"));
    WriteContraryCache();
    WCHAR name[] = u"D1";
    EXPECT_TRUE(UiDrvPrinterEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_FALSE(CacheValueLeft());

    ui_test::BoundPrinter p(u"D1");
    ASSERT_TRUE(p.ok());
    CInstallOption stored(p.printer(), p.binding());
    EXPECT_EQ(stored.FindNth(kOptionTray, 1)->state, 1u) << "PF-5500";
    EXPECT_EQ(stored.FindNth(kOptionTray, 2)->state, 0u) << "PF-5510";
    ASSERT_NE(stored.FindKind5Tray(), nullptr);
    EXPECT_EQ(stored.FindKind5Tray()->state, 1u) << "large-capacity tray";
    EXPECT_EQ(State(stored, kOptionMemory35, 1), 1u) << "hard disk";
    EXPECT_EQ(State(stored, kOption25, 1), 1u) << "duplex unit";
    EXPECT_EQ(State(stored, kOptionMemory36, 1), 0u);
    EXPECT_EQ(State(stored, kOptionMemory36, 2), 0u);
    EXPECT_EQ(State(stored, kOptionBins, 2), 1u) << "Inner Tray 2";
    EXPECT_EQ(State(stored, kOptionBins, 3), 1u) << "Finisher Tray A";
    EXPECT_EQ(State(stored, kOptionFinisher, 1), kFinisherFoldUnit | 1)
        << "FS-5500 with its stapler, no punch unit";
    EXPECT_EQ(State(stored, kOptionFinisher, 2), 0u);
    EXPECT_EQ(State(stored, kOption63, 1), 1u) << "department codes";
}

// The sample device with rows' values replaced: {identifier, "type|value"}.
snmp_testing::SnmpdConfig
SampleDeviceWith(const std::vector<std::pair<std::string, std::string>>& rows) {
    snmp_testing::SnmpdConfig config = snmp_testing::SampleDevice("ready");
    for (auto& pass : config.passes)
        for (std::string& r : pass.rows)
            for (const auto& [oid, row] : rows)
                if (r.rfind(oid + "|", 0) == 0) r = oid + "|" + row;
    return config;
}

// Without a tray of the large-capacity tray's name, the fifth tray is a
// second feeder; memory below a megabyte fits no module.
TEST_F(SampleDevicePrinter, TraysAndMemoryByCount) {
    Start(SampleDeviceWith({{"1.3.6.1.2.1.43.8.2.1.13.1.5", "string|Tray4"},
                            {"1.3.6.1.2.1.25.2.2.0", "integer|1023"}}));
    ui_test::BoundPrinter p(u"D1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    list.Find(kOptionMemory36, 2)->state = 1;
    EXPECT_EQ(DetectInstalledOptions(p.binding(), &list, u"IP_printer1"), kDetectOk);
    EXPECT_EQ(list.FindNth(kOptionTray, 1)->state, 1u) << "PF-5500";
    EXPECT_EQ(list.FindNth(kOptionTray, 2)->state, 1u) << "PF-5510";
    EXPECT_EQ(list.FindKind5Tray()->state, 0u) << "large-capacity tray";
    EXPECT_EQ(State(list, kOptionMemory36, 2), 1u) << "left as it was";
}

TEST_F(SampleDevicePrinter, AnotherModelChangesNothing) {
    Start(SampleDeviceWith({{kSysDescr, "string|Velmora LP1220"}}));
    ui_test::BoundPrinter p(u"D1");
    ASSERT_TRUE(p.ok());
    CInstallOption list(p.printer(), p.binding());
    const std::vector<InstallOptionEntry> before(list.Entries(), list.Entries() + list.Count());
    EXPECT_EQ(DetectInstalledOptions(p.binding(), &list, u"IP_printer1"), kDetectOtherModel);
    ASSERT_EQ(list.Count(), before.size());
    for (DWORD i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Entries()[i].state, before[i].state) << i;
}

} // namespace
