// The port-information record and the port address lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devcomm/port_info.h"
#include "devprobe_fixture.h"
#include "platform/facts.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "win/base.h"
#include "win/winsock.h"

namespace {

const std::u16string kMonitors = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

// Writes string values into a key below the monitors' key.
void SetPortValues(const std::u16string& path,
                   const std::vector<std::pair<std::u16string, std::u16string>>& values) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kMonitors + path).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : values)
        ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * 2)),
                  ERROR_SUCCESS);
    RegCloseKey(key);
}

class PortInfo : public DevprobeTest {
  protected:
    void SetUp() override {
        DevprobeTest::SetUp();
        make = Export<PFN_MPMakeSelPortInfo>("MPMakeSelPortInfo");
        printerIp = Export<PFN_Get_PrinterIP>("Get_PrinterIP");
        globals = platform::test::LiveGlobalAllocations();
    }
    void TearDown() override {
        EXPECT_EQ(platform::test::LiveGlobalAllocations(), globals);
        DevprobeTest::TearDown();
    }

    // "" when no record; else "<connection>:<address>".
    std::string Make(const char* port, int kind = 2) {
        SelPortInfo* info = make(port, kind);
        if (!info) return "";
        EXPECT_EQ(std::string(info->portName), port);
        std::string out =
            std::to_string(info->connection) + ":" + (info->kind == 2 ? info->address : "");
        GlobalFree(info);
        return out;
    }

    PFN_MPMakeSelPortInfo make = nullptr;
    PFN_Get_PrinterIP printerIp = nullptr;
    long globals = 0;
};

TEST_F(PortInfo, KindsAndSizes) {
    struct Case {
        int kind;
        SIZE_T size; // 0: no record
        int kindField;
    } cases[] = {{0, 264, 2}, {2, 264, 2}, {1, 136, 1}, {3, 0, 0}, {-1, 0, 0}};
    for (const Case& c : cases) {
        SelPortInfo* info = make("USB001", c.kind);
        if (!c.size) {
            EXPECT_EQ(info, nullptr) << c.kind;
            continue;
        }
        ASSERT_NE(info, nullptr) << c.kind;
        EXPECT_EQ(GlobalSize(info), c.size);
        EXPECT_EQ(info->kind, c.kindField);
        EXPECT_EQ(info->connection, SELPORT_CONNECTION_USB);
        GlobalFree(info);
    }
}

TEST_F(PortInfo, UsbPortsOnlyInDevprobe) {
    EXPECT_EQ(Make("USB001"), "2:");
    EXPECT_EQ(Make("USBVQ001"), "2:");
    EXPECT_EQ(Make("USB"), "");
    EXPECT_EQ(Make("usb001"), "");
    EXPECT_EQ(Make("LPT1:"), "");
    EXPECT_EQ(Make(""), "");
    EXPECT_EQ(make(nullptr, 2), nullptr);
    // The other libraries' build knows no USB ports.
    EXPECT_EQ(devcomm::MakeSelPortInfo("USB001", 2, false), nullptr);
    // A name that does not fit the record.
    EXPECT_EQ(Make(("USB" + std::string(125, '1')).c_str()), "");
    std::string longest = "USB" + std::string(124, '1');
    EXPECT_EQ(Make(longest.c_str()), "2:");
}

TEST_F(PortInfo, MonitorValuesByWindowsVersion) {
    SetPortValues(u"Standard TCP/IP Port\\Ports\\IP_20",
                  {{u"IPAddress", u"192.168.1.20"}, {u"Server Name", u"10.9.8.7"}});
    struct Case {
        DWORD platformId, major, minor;
        const char* expected;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 5, 1, "3:192.168.1.20"}, // IPAddress
        {VER_PLATFORM_WIN32_NT, 5, 2, "3:192.168.1.20"},
        {VER_PLATFORM_WIN32_NT, 5, 0, "3:192.168.1.20"},
        {VER_PLATFORM_WIN32_NT, 10, 0, "3:10.9.8.7"}, // HostName, then Server Name
        {VER_PLATFORM_WIN32_NT, 6, 1, "3:10.9.8.7"},
        {VER_PLATFORM_WIN32_NT, 4, 0, "3:10.9.8.7"}, // Server Name
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, ""},     // HostName, then Host
    };
    for (const Case& c : cases) {
        platform::OsVersion v;
        v.platformId = c.platformId;
        v.major = c.major;
        v.minor = c.minor;
        platform::test::SetOsVersion(v);
        EXPECT_EQ(Make("IP_20"), c.expected) << c.major << "." << c.minor;
    }
}

TEST_F(PortInfo, HostNamesAreResolved) {
    platform::test::SetHostAddresses("printer-a", {"127.0.0.9", "127.0.0.10"});
    platform::test::SetHostAddresses("10.0.0.256", {"127.0.0.11"});
    platform::test::SetHostAddresses("1.2.3", {"127.0.0.12"});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\P1", {{u"HostName", u"printer-a"}});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\P2", {{u"HostName", u"10.0.0.256"}});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\P3", {{u"HostName", u"1.2.3"}});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\P4",
                  {{u"HostName", u"nowhere"}, {u"Server Name", u"10.0.0.1"}});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\P5",
                  {{u"HostName", u""}, {u"Server Name", u"10.0.0.1"}});
    EXPECT_EQ(Make("P1"), "3:127.0.0.9");
    EXPECT_EQ(Make("P2"), "3:127.0.0.11");
    EXPECT_EQ(Make("P3"), "3:127.0.0.12");
    EXPECT_EQ(Make("P4"), ""); // an unresolvable name ends the lookup
    EXPECT_EQ(Make("P5"), "3:10.0.0.1");
    // A short record says how, but not where.
    SelPortInfo* info = make("P1", 1);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->connection, SELPORT_CONNECTION_NETWORK);
    GlobalFree(info);
}

TEST_F(PortInfo, PortKeysAreSearchedDepthFirstWithCase) {
    SetPortValues(u"Alpha\\Ports\\ip_x", {{u"HostName", u"10.0.0.1"}});
    SetPortValues(u"Beta\\Ports\\Nested\\IP_X", {{u"HostName", u"10.0.0.2"}});
    SetPortValues(u"Gamma\\IP_X", {{u"HostName", u"10.0.0.3"}});
    SetPortValues(u"Alpha\\USB002", {{u"HostName", u"10.0.0.4"}});
    EXPECT_EQ(Make("IP_X"), "3:10.0.0.2");
    EXPECT_EQ(Make("ip_x"), "3:10.0.0.1");
    EXPECT_EQ(Make("USB002"), "3:10.0.0.4"); // an address wins over the USB guess
    EXPECT_EQ(Make("Ip_X"), "");
}

TEST_F(PortInfo, ServerPortsAskTheMonitor) {
    platform::test::SetComputerName(u"PRINTSRV");
    ASSERT_EQ(platform::spooler::AddTcpIpPort(u"IP_XCV", u"10.1.2.3"), ERROR_SUCCESS);
    EXPECT_EQ(Make("\\\\PRINTSRV\\IP_XCV"), "3:10.1.2.3");
    // Windows NT 4 has no transceive call.
    platform::test::SetOsVersion(4, 0);
    EXPECT_EQ(Make("\\\\PRINTSRV\\IP_XCV"), "");
    platform::test::SetOsVersion(10, 0);
    EXPECT_EQ(Make("\\\\OTHER\\IP_XCV"), "");
    EXPECT_EQ(Make("\\\\PRINTSRV\\NO_SUCH_PORT"), "");
}

TEST_F(PortInfo, OlderAddressLookupReadsIPAddressFirst) {
    platform::test::SetHostAddresses("printer-a", {"127.0.0.9"});
    SetPortValues(u"Standard TCP/IP Port\\Ports\\IP_20",
                  {{u"IPAddress", u"192.168.1.20"}, {u"HostName", u"printer-a"}});
    char address[16] = {};
    ASSERT_EQ(printerIp("IP_20", address), 1);
    EXPECT_STREQ(address, "192.168.1.20");
    EXPECT_EQ(Make("IP_20"), "3:127.0.0.9");
    EXPECT_EQ(printerIp("", address), 0);
    EXPECT_EQ(printerIp("NONE", address), 0);
    EXPECT_EQ(printerIp("IP_20", nullptr), 0);
}

TEST(DottedAddress, Forms) {
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"192.168.1.20", true}, {"0.0.0.0", true},  {"255.255.255.255", true},
        {"10.0.0.256", false},  {"1.2.3", false},   {"1.2.3.4.5", false},
        {"1..2.3", false},      {"1.2.3.", false},  {".1.2.3", false},
        {"1.2.3.4 ", false},    {"a.b.c.d", false}, {"001.002.003.004", true},
        {"0001.2.3.4", true},   {"", false},        {"1.2.3.0x4", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(devcomm::IsDottedAddress(c.text), c.valid) << c.text;
    EXPECT_FALSE(devcomm::IsDottedAddress(nullptr));
}

} // namespace

namespace {

TEST(DevprobeLoad, RefusesToLoadWithoutSockets) {
    platform::loader::AddSearchFolder(PKG_DRIVER_DIR);
    platform::test::FailNext("WSAStartup", 1, WSASYSNOTREADY);
    EXPECT_EQ(LoadLibraryW(u"Devprobe.DLL"), nullptr);
    HMODULE module = LoadLibraryW(u"Devprobe.DLL");
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Devprobe.DLL"), 0);
}

} // namespace
