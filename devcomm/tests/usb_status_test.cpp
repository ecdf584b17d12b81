// USB port records and the USB status read through the device stand-in:
// from the port name to the printer's interface, its device ID and its
// status block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base64_text.h"
#include "devcomm/usb_status.h"
#include "devprobe_fixture.h"
#include "platform/devices_ctl.h"
#include "platform/handles.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/base.h"

namespace {

using platform::test::AddUsbPrinter;
using platform::test::UsbPrinter;

// A status block of 96 bytes whose first byte names the printer, so that a
// test sees which printer answered.
std::vector<std::uint8_t> Block(std::uint8_t mark) {
    std::vector<std::uint8_t> block(96, 0);
    block[0] = mark;
    block[5] = 0x01;
    block[6] = 0x00;
    block[79] = 1;
    block[95] = 0x02;
    return block;
}

std::string IdWith(const std::vector<std::uint8_t>& block) {
    return "MFG:Velmora;MDL:LP 9000;CMD:PJL,PCLXL;CLS:PRINTER;FL:1;VSTATUS:" + Base64(block);
}

UsbPrinter Printer(std::optional<DWORD> port, std::uint8_t mark, bool present = true) {
    UsbPrinter p;
    p.portNumber = port;
    p.present = present;
    p.deviceId = IdWith(Block(mark));
    return p;
}

class UsbStatusRead : public DevprobeTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(platform::test::OpenHandleCount("Device"), 0u);
        EXPECT_EQ(platform::test::OpenHandleCount("DeviceInfoSet"), 0u);
        EXPECT_EQ(platform::test::ModuleLoadCount(u"setupapi.dll"), 0);
        DevprobeTest::TearDown();
    }

    // The first status byte of the printer that answered, or -1 when the read failed.
    static int Read(const char* port) {
        devcomm::UsbStatus status;
        if (!devcomm::ReadUsbStatusBlock(port, &status)) {
            EXPECT_TRUE(status.block.empty());
            return -1;
        }
        return status.Byte(0);
    }
};

TEST_F(UsbStatusRead, FromTheRecordOfAUsbPort) {
    AddUsbPrinter(Printer(1, 0x3F));
    auto make = Export<PFN_MPMakeSelPortInfo>("MPMakeSelPortInfo");
    const int opensBefore = platform::test::DeviceOpenCount();
    SelPortInfo* info = make("USB001", 2);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->connection, SELPORT_CONNECTION_USB);
    EXPECT_STREQ(info->address, "");
    // The record is made from the name alone; the device is asked only by the queries.
    EXPECT_EQ(platform::test::DeviceOpenCount(), opensBefore);

    devcomm::UsbStatus status;
    ASSERT_TRUE(devcomm::ReadUsbStatusBlock(info->portName, &status));
    GlobalFree(info);
    EXPECT_EQ(status.block, Block(0x3F));
    EXPECT_EQ(status.Byte(95), 0x02);
    EXPECT_EQ(status.Byte(96), 0);
    EXPECT_EQ(status.id.Manufacturer(), "Velmora");
    EXPECT_EQ(status.id.Model(), "LP 9000");
    EXPECT_EQ(status.id.CommandSet(), "PJL,PCLXL");
    EXPECT_EQ(platform::test::DeviceOpenCount(), opensBefore + 1);
}

TEST_F(UsbStatusRead, PortNumbersChooseThePrinter) {
    AddUsbPrinter(Printer(1, 0x01));
    AddUsbPrinter(Printer(2, 0x02));
    AddUsbPrinter(Printer(10, 0x0A));
    AddUsbPrinter(Printer(4, 0x40));
    AddUsbPrinter(Printer(4, 0x41, false));     // unplugged: not active
    AddUsbPrinter(Printer(std::nullopt, 0x77)); // no port number
    AddUsbPrinter(Printer(5, 0x50));
    AddUsbPrinter(Printer(5, 0x51)); // the last match wins
    std::u16string noKey = AddUsbPrinter(Printer(6, 0x60));
    ASSERT_EQ(
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, platform::test::DeviceInterfaceKeyPath(noKey).c_str()),
        ERROR_SUCCESS);
    struct Case {
        const char* port;
        int mark;
    } cases[] = {
        {"USB001", 0x01}, {"USB002", 0x02},       {"USB010", 0x0A}, {"USB10", 0x0A},
        {"USB004", 0x40}, {"USB005", 0x51},       {"USB003", -1},   {"USB006", -1},
        {"USB000", -1},   {"USB99999999999", -1}, // more than a port number holds
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.port), c.mark) << c.port;
}

TEST_F(UsbStatusRead, OnlyUsbPortNamesAreRead) {
    AddUsbPrinter(Printer(0, 0x01));
    for (const char* port : {"USB", "usb001", "LPT1:", "USBX", "IP_10.0.0.1", ""})
        EXPECT_EQ(Read(port), -1) << port;
    EXPECT_EQ(Read(nullptr), -1);
    EXPECT_EQ(platform::test::DeviceOpenCount(), 0);
}

TEST_F(UsbStatusRead, UsbvqPortsFollowTheirMonitorKey) {
    std::u16string path = AddUsbPrinter(Printer(1, 0x33));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\USBVQ\\USBVQ001", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // The device path without its "\\?\"; the read puts "\\.\" in front.
    std::u16string link = path.substr(4);
    ASSERT_EQ(RegSetValueExW(key, u"SymbolicLink", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(link.c_str()),
                             DWORD((link.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\USBVQ\\USBVQ002", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Velmora\\USBVQ\\USBVQ003", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::u16string tooLong(300, u'x');
    RegSetValueExW(key, u"SymbolicLink", 0, REG_SZ, reinterpret_cast<const BYTE*>(tooLong.c_str()),
                   DWORD((tooLong.size() + 1) * 2));
    RegCloseKey(key);

    EXPECT_EQ(Read("USBVQ001"), 0x33);
    EXPECT_EQ(Read("USBVQ002"), -1); // no link
    EXPECT_EQ(Read("USBVQ003"), -1); // longer than its 256 bytes
    EXPECT_EQ(Read("USBVQ004"), -1); // no key
    // The key names the device; a port number is not looked at.
    EXPECT_EQ(Read("USBVQ1"), -1);
}

TEST_F(UsbStatusRead, DeviceIdsThatAreRefused) {
    std::vector<std::uint8_t> block = Block(0x10);
    const std::string status = Base64(block);
    struct Case {
        const char* what;
        std::string id;
        int mark;
    } cases[] = {
        {"FL 0", "MFG:V;FL:0;VSTATUS:" + status, -1},
        {"no FL", "MFG:V;VSTATUS:" + status, -1},
        {"no VSTATUS", "MFG:V;FL:1;", -1},
        {"VSTATUS of 10 characters", "MFG:V;FL:1;VSTATUS:" + status.substr(0, 10), -1},
        {"VSTATUS with its ';'", "MFG:V;FL:1;VSTATUS:" + status + ";", 0x10},
        {"ID that fills the buffer",
         "FL:1;VSTATUS:" + status + ";DES:" + std::string(510 - 18 - status.size(), 'd'), 0x10},
        {"ID cut off by the buffer",
         "FL:1;VSTATUS:" + status + ";DES:" + std::string(511 - 18 - status.size(), 'd'), -1},
    };
    DWORD port = 1;
    for (const Case& c : cases) {
        UsbPrinter p;
        p.portNumber = port;
        p.deviceId = c.id;
        ASSERT_FALSE(AddUsbPrinter(p).empty());
        std::string name = "USB00" + std::to_string(port++);
        EXPECT_EQ(Read(name.c_str()), c.mark) << c.what;
    }
}

TEST_F(UsbStatusRead, SystemFailuresEndTheRead) {
    std::u16string path = AddUsbPrinter(Printer(1, 0x01));
    ASSERT_EQ(Read("USB001"), 0x01);
    struct Fault {
        const char* function;
    } faults[] = {{"SetupDiGetClassDevsA"},
                  {"SetupDiEnumDeviceInterfaces"},
                  {"SetupDiOpenDeviceInterfaceRegKey"},
                  {"SetupDiGetDeviceInterfaceDetailA"},
                  {"CreateFileW"},
                  {"DeviceIoControl"}};
    for (const Fault& f : faults) {
        platform::test::FailNext(f.function, 1, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(Read("USB001"), -1) << f.function;
        platform::test::ClearFaults();
    }
    // All five SetupAPI functions must be there.
    for (const char* name :
         {"SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA",
          "SetupDiOpenDeviceInterfaceRegKey", "SetupDiDestroyDeviceInfoList"}) {
        platform::test::MakeExportAbsent(u"setupapi.dll", name);
        EXPECT_EQ(Read("USB001"), -1) << name;
        platform::test::ClearAbsent();
    }
    platform::test::MakeModuleAbsent(u"setupapi.dll");
    EXPECT_EQ(Read("USB001"), -1);
    platform::test::ClearAbsent();

    UsbPrinter refusing = Printer(2, 0x02);
    refusing.deviceIdError = ERROR_NOT_SUPPORTED;
    AddUsbPrinter(refusing);
    EXPECT_EQ(Read("USB002"), -1);

    // Another program holds the printer: the read does not share it.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read("USB001"), -1);
    CloseHandle(held);
    EXPECT_EQ(Read("USB001"), 0x01);
}

} // namespace
