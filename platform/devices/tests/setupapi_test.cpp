// Device interface sets over plugged-in USB printers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/devices_ctl.h"
#include "platform/handles.h"
#include "platform/loader_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/setupapi.h"

namespace {

using platform::test::AddUsbPrinter;
using platform::test::UsbPrinter;

class DeviceSets : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(platform::test::OpenHandleCount("DeviceInfoSet"), 0u); }

    static UsbPrinter Printer(DWORD port, bool present = true) {
        UsbPrinter p;
        p.portNumber = port;
        p.present = present;
        return p;
    }

    // The interfaces of a set as "path flags", in order.
    static std::vector<std::string> List(HDEVINFO set) {
        std::vector<std::string> out;
        for (DWORD i = 0;; ++i) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, i, &data)) {
                EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
                break;
            }
            EXPECT_EQ(
                std::memcmp(&data.InterfaceClassGuid, &GUID_DEVINTERFACE_USBPRINT, sizeof(GUID)),
                0);
            out.push_back(PathOf(set, &data) + " " + std::to_string(data.Flags));
        }
        return out;
    }

    // The device path by the two-call protocol of the ANSI form.
    static std::string PathOf(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) {
        DWORD needed = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &needed, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof *detail;
        if (!SetupDiGetDeviceInterfaceDetailA(set, data, detail, needed, nullptr, nullptr))
            return "?";
        return detail->DevicePath;
    }
};

TEST_F(DeviceSets, PresentAndInstalledInterfaces) {
    std::u16string first = AddUsbPrinter(Printer(1));
    std::u16string unplugged = AddUsbPrinter(Printer(2, false));
    std::u16string third = AddUsbPrinter(Printer(3));
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(unplugged.empty());
    ASSERT_FALSE(third.empty());
    const std::string a = platform::ToUtf8(first), b = platform::ToUtf8(unplugged),
                      c = platform::ToUtf8(third);
    EXPECT_EQ(a.rfind("\\\\?\\usb#", 0), 0u) << a;

    HDEVINFO present = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(present, INVALID_HANDLE_VALUE);
    EXPECT_EQ(List(present), (std::vector<std::string>{a + " 1", c + " 1"}));

    // Without DIGCF_PRESENT an unplugged printer's interface is listed, not active.
    HDEVINFO all =
        SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    ASSERT_NE(all, INVALID_HANDLE_VALUE);
    EXPECT_EQ(List(all), (std::vector<std::string>{a + " 1", b + " 0", c + " 1"}));

    // A set is a snapshot: a printer plugged in later is not in it.
    AddUsbPrinter(Printer(4));
    EXPECT_EQ(List(present).size(), 2u);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(present));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(all));
}

TEST_F(DeviceSets, ClassesFlagsAndEnumerators) {
    AddUsbPrinter(Printer(1));
    const GUID other = {
        0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    struct Case {
        const GUID* guid;
        const char* enumerator;
        DWORD flags;
        int members; // -1: the call fails
        DWORD error;
    } cases[] = {
        {&GUID_DEVINTERFACE_USBPRINT, nullptr, DIGCF_DEVICEINTERFACE, 1, 0},
        {&GUID_DEVINTERFACE_USBPRINT, "USB", DIGCF_DEVICEINTERFACE, 1, 0},
        {&GUID_DEVINTERFACE_USBPRINT, "PCI", DIGCF_DEVICEINTERFACE, 0, 0},
        {&other, nullptr, DIGCF_DEVICEINTERFACE, 0, 0},
        {nullptr, nullptr, DIGCF_DEVICEINTERFACE | DIGCF_ALLCLASSES, 1, 0},
        {&GUID_DEVINTERFACE_USBPRINT, nullptr, DIGCF_PRESENT, 0, 0}, // a set of setup classes
        {nullptr, nullptr, DIGCF_DEVICEINTERFACE, -1, ERROR_INVALID_PARAMETER},
        {&GUID_DEVINTERFACE_USBPRINT, nullptr, DIGCF_DEVICEINTERFACE | 0x100, -1,
         ERROR_INVALID_FLAGS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.enumerator ? c.enumerator : "-") << " flags " << c.flags);
        HDEVINFO set = SetupDiGetClassDevsA(c.guid, c.enumerator, nullptr, c.flags);
        if (c.members < 0) {
            EXPECT_EQ(set, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        EXPECT_EQ(List(set).size(), static_cast<size_t>(c.members));
        SetupDiDestroyDeviceInfoList(set);
    }
}

TEST_F(DeviceSets, DetailSizeProtocol) {
    std::u16string path = AddUsbPrinter(Printer(7));
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));

    // Size first: the fixed part's 4 bytes and the path with its NUL.
    DWORD needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4 + (path.size() + 1) * 2);
    DWORD neededA = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &neededA, nullptr));
    EXPECT_EQ(neededA, 4 + path.size() + 1);

    std::vector<DWORD> buffer(needed / 4 + 1, 0xCCCCCCCC);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    struct Case {
        DWORD cbSize;
        DWORD size;
        bool withBuffer;
        DWORD error; // 0: succeeds
    } cases[] = {
        {sizeof *detail, needed - 1, true, ERROR_INSUFFICIENT_BUFFER},
        {needed, needed, true,
         ERROR_INVALID_USER_BUFFER},                  // the buffer's size is not the structure's
        {6, needed, true, ERROR_INVALID_USER_BUFFER}, // the 32-bit size
        {sizeof *detail, 4, true, ERROR_INVALID_USER_BUFFER},
        {sizeof *detail, needed, false, ERROR_INVALID_USER_BUFFER},
        {sizeof *detail, needed, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cbSize " << c.cbSize << " size " << c.size);
        detail->cbSize = c.cbSize;
        SetLastError(0);
        BOOL ok = SetupDiGetDeviceInterfaceDetailW(set, &data, c.withBuffer ? detail : nullptr,
                                                   c.size, nullptr, nullptr);
        EXPECT_EQ(ok, c.error == 0);
        if (c.error) {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(std::u16string(detail->DevicePath), path);

    // The device of the interface, when asked for.
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, &device));
    EXPECT_NE(device.DevInst, 0u);
    device.cbSize = 28;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, &device));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceSets, InterfaceDataIsChecked) {
    AddUsbPrinter(Printer(1));
    HDEVINFO a =
        SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    HDEVINFO b =
        SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 28;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(a, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(a, nullptr, nullptr, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(a, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
    DWORD needed = 0;
    // An interface of another set.
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(b, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(b, &data, 0, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // Only one device's interfaces.
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    device.DevInst = 999;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(a, &device, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));

    // A set ends only through its own function.
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(a));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(a));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(a, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetupDiDestroyDeviceInfoList(b);
}

TEST_F(DeviceSets, InterfaceKeysHoldThePortNumber) {
    UsbPrinter noNumber;
    noNumber.portNumber.reset();
    AddUsbPrinter(Printer(12));
    std::u16string second = AddUsbPrinter(noNumber);
    std::u16string third = AddUsbPrinter(Printer(13));
    ASSERT_EQ(
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, platform::test::DeviceInterfaceKeyPath(third).c_str()),
        ERROR_SUCCESS);

    HDEVINFO set =
        SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    struct Expect {
        LSTATUS open;
        LSTATUS query;
        DWORD number;
    } expected[] = {{ERROR_SUCCESS, ERROR_SUCCESS, 12},
                    {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, 0},
                    {ERROR_FILE_NOT_FOUND, 0, 0}};
    for (DWORD i = 0; i < 3; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        ASSERT_TRUE(
            SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, i, &data));
        HKEY key = SetupDiOpenDeviceInterfaceRegKey(set, &data, 0, KEY_READ);
        if (expected[i].open != ERROR_SUCCESS) {
            EXPECT_EQ(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
            EXPECT_EQ(GetLastError(), DWORD(expected[i].open));
            continue;
        }
        ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
        DWORD type = 0, number = 0, size = sizeof number;
        EXPECT_EQ(RegQueryValueExW(key, u"Port Number", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&number), &size),
                  expected[i].query);
        if (expected[i].query == ERROR_SUCCESS) {
            EXPECT_EQ(type, DWORD(REG_DWORD));
            EXPECT_EQ(number, expected[i].number);
        }
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
    (void)second;
}

TEST_F(DeviceSets, BoundByNameAndFailingOnRequest) {
    AddUsbPrinter(Printer(1));
    HMODULE setupapi = LoadLibraryW(u"setupapi.dll");
    ASSERT_NE(setupapi, nullptr);
    for (const char* name :
         {"SetupDiGetClassDevsA", "SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces",
          "SetupDiGetDeviceInterfaceDetailA", "SetupDiGetDeviceInterfaceDetailW",
          "SetupDiOpenDeviceInterfaceRegKey", "SetupDiDestroyDeviceInfoList"})
        EXPECT_NE(GetProcAddress(setupapi, name), nullptr) << name;
    FreeLibrary(setupapi);

    platform::test::FailNext("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(
        SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(DeviceSets, PathsAreUnique) {
    UsbPrinter p;
    p.interfacePath = u"\\\\?\\usb#vid_1111&pid_2222#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    EXPECT_EQ(AddUsbPrinter(p), p.interfacePath);
    p.interfacePath = u"\\\\?\\USB#VID_1111&PID_2222#A1#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";
    EXPECT_EQ(AddUsbPrinter(p), u"");
    p.interfacePath = u"usb#vid_1111";
    EXPECT_EQ(AddUsbPrinter(p), u"");
    p.interfacePath = u"\\\\?\\usb\\vid_1111";
    EXPECT_EQ(AddUsbPrinter(p), u"");
}

} // namespace
