// Ports: the TCP/IP monitor's registry values and its XcvData answer.
#include "spooler_fixture.h"
#include "win/loader.h"
#include "win/registry.h"

namespace spooler_test {
namespace {

using PortsTest = SpoolerTest;

std::u16string RegistryString(const std::u16string& port, const char16_t* value) {
    std::u16string path =
        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\" +
        port;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return u"<no key>";
    char16_t buffer[300] = {};
    DWORD size = sizeof buffer - 2, type = 0;
    LSTATUS rc =
        RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return u"<no value>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    return buffer;
}

TEST_F(PortsTest, TcpPortWritesTheMonitorsValues) {
    ASSERT_EQ(spl::AddTcpIpPort(u"IP_192.168.1.20", u"192.168.1.20"),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RegistryString(u"IP_192.168.1.20", u"HostName"), u"192.168.1.20");
    EXPECT_EQ(RegistryString(u"IP_192.168.1.20", u"IPAddress"), u"192.168.1.20");
    ASSERT_EQ(spl::AddTcpIpPort(u"printer-host", u"printer.example"),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(RegistryString(u"printer-host", u"HostName"), u"printer.example");
    EXPECT_EQ(RegistryString(u"printer-host", u"IPAddress"), u"");
    EXPECT_EQ(spl::AddTcpIpPort(u"bad\\name", u"1.2.3.4"),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(spl::AddTcpIpPort(u"IP_x", u""), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    bool found = false;
    for (const auto& p : spl::Ports())
        if (p.name == u"IP_192.168.1.20") found = p.monitor == u"Standard TCP/IP Port";
    EXPECT_TRUE(found);
}

TEST_F(PortsTest, XcvDataAnswersTheAddress) {
    ASSERT_EQ(spl::AddTcpIpPort(u"IP_1.2.3.4", u"1.2.3.4"), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE xcv = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u",XcvPort IP_1.2.3.4"), &xcv, nullptr));
    opened_.push_back(xcv);
    BYTE out[520];
    DWORD needed = 0, status = 99;
    ASSERT_TRUE(XcvDataW(xcv, u"IPAddress", nullptr, 0, out, sizeof out, &needed, &status));
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(needed, 16u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out)), u"1.2.3.4");

    // Too small a buffer: the size comes back and the call fails.
    EXPECT_FALSE(XcvDataW(xcv, u"IPAddress", nullptr, 0, out, 4, &needed, &status));
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 16u);
    EXPECT_FALSE(XcvDataW(xcv, u"Unknown", nullptr, 0, out, sizeof out, &needed, &status));
    EXPECT_EQ(status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(XcvDataW(xcv, u"IPAddress", nullptr, 0, out, sizeof out, &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Through a server name as well.
    HANDLE remote = nullptr;
    ASSERT_TRUE(
        OpenPrinterW(const_cast<LPWSTR>(u"\\\\localhost\\,XcvPort IP_1.2.3.4"), &remote, nullptr));
    opened_.push_back(remote);
    ASSERT_TRUE(XcvDataW(remote, u"IPAddress", nullptr, 0, out, sizeof out, &needed, &status));
}

// The port-information library binds XcvDataW at run time from "winspool.drv".
TEST_F(PortsTest, XcvDataIsFoundInTheSpoolerModule) {
    ASSERT_EQ(spl::AddTcpIpPort(u"IP_172.16.0.3", u"172.16.0.3"),
              static_cast<DWORD>(ERROR_SUCCESS));
    HMODULE spooler = LoadLibraryW(u"winspool.drv");
    ASSERT_NE(spooler, nullptr);
    using XcvFn = BOOL (*)(HANDLE, PCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD);
    auto xcvData =
        reinterpret_cast<XcvFn>(reinterpret_cast<void*>(GetProcAddress(spooler, "XcvDataW")));
    ASSERT_NE(xcvData, nullptr);
    HANDLE xcv = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u",XcvPort IP_172.16.0.3"), &xcv, nullptr));
    opened_.push_back(xcv);
    char16_t out[260] = {};
    DWORD needed = 0, status = 0;
    ASSERT_TRUE(xcvData(xcv, u"IPAddress", nullptr, 0, reinterpret_cast<BYTE*>(out), 520, &needed,
                        &status));
    EXPECT_EQ(std::u16string(out), u"172.16.0.3");
    EXPECT_TRUE(FreeLibrary(spooler));
}

TEST_F(PortsTest, PortsOfOtherMonitorsHaveNoAddress) {
    HANDLE xcv = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u",XcvPort LPT1:"), &xcv, nullptr));
    opened_.push_back(xcv);
    BYTE out[520] = {};
    DWORD needed = 0, status = 0;
    EXPECT_FALSE(XcvDataW(xcv, u"IPAddress", nullptr, 0, out, sizeof out, &needed, &status));
    EXPECT_NE(status, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(out[0], 0); // nothing was written
    // A printer handle is not a port's.
    HANDLE printer = Open(u"Office");
    EXPECT_FALSE(XcvDataW(printer, u"IPAddress", nullptr, 0, out, sizeof out, &needed, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PortsTest, PrinterOnATcpPort) {
    ASSERT_EQ(spl::AddTcpIpPort(u"IP_10.0.0.7", u"10.0.0.7"), static_cast<DWORD>(ERROR_SUCCESS));
    InstallPrinter(u"Networked", u"IP_10.0.0.7");
    HANDLE h = Open(u"Networked");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    EXPECT_EQ(std::u16string(As<PRINTER_INFO_2W>(buffer).pPortName), u"IP_10.0.0.7");
}

} // namespace
} // namespace spooler_test
