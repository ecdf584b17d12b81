// Device paths, device handles and the USB printer class's requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/devices_ctl.h"
#include "platform/handles.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/usbprint.h"

namespace {

using platform::test::AddUsbPrinter;
using platform::test::UsbPrinter;

const std::string kId = "MFG:Example;MDL:Laser 5;CMD:PJL;";

class DeviceIo : public ::testing::Test {
  protected:
    void SetUp() override {
        UsbPrinter p;
        p.deviceId = kId;
        p.readData = {'O', 'K'};
        path = AddUsbPrinter(p);
        ASSERT_FALSE(path.empty());
    }
    void TearDown() override { EXPECT_EQ(platform::test::OpenHandleCount("Device"), 0u); }

    HANDLE Open(const std::u16string& name, DWORD access = GENERIC_READ, DWORD share = 0) {
        return CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    // The device-ID request into a buffer of the given size: the bytes returned, or "!error".
    static std::string RequestId(HANDLE h, DWORD size) {
        std::vector<char> buffer(size + 1, '\x7f');
        DWORD returned = 12345;
        if (!DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0,
                             size ? buffer.data() : nullptr, size, &returned, nullptr))
            return "!" + std::to_string(GetLastError()) + (returned == 0 ? "" : " returned set");
        EXPECT_EQ(buffer[size], '\x7f'); // nothing past the buffer
        return std::string(buffer.data(), returned);
    }

    std::u16string path;
};

TEST_F(DeviceIo, DeviceIdAnswerHasItsLengthFirst) {
    std::string answer = std::string("\0", 1) + static_cast<char>(kId.size() + 2) + kId;
    // Both device-namespace prefixes, any case, either character width.
    std::u16string dotted = u"\\\\.\\" + path.substr(4);
    std::u16string upper = path;
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    for (const std::u16string& name : {path, dotted, upper}) {
        HANDLE h = Open(name);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << platform::ToUtf8(name) << " " << GetLastError();
        EXPECT_EQ(RequestId(h, 512), answer);
        EXPECT_TRUE(CloseHandle(h));
    }
    HANDLE h = CreateFileA(platform::ToUtf8(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // A short buffer gets the answer's first bytes; the length still tells the whole.
    EXPECT_EQ(RequestId(h, 10), answer.substr(0, 10));
    EXPECT_EQ(RequestId(h, 0), "!" + std::to_string(ERROR_INSUFFICIENT_BUFFER));
    DWORD returned = 0;
    char out[8];
    EXPECT_FALSE(
        DeviceIoControl(h, 0x220030 + 0x100, nullptr, 0, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, out, sizeof out,
                                 nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(
        DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, nullptr, 8, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    CloseHandle(h);
    EXPECT_EQ(platform::test::DeviceOpenCount(), 4);
}

TEST_F(DeviceIo, RequestsOnOtherHandles) {
    char out[8];
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(reinterpret_cast<HANDLE>(0x4444), IOCTL_USBPRINT_GET_1284_ID,
                                 nullptr, 0, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    HANDLE file =
        CreateFileW(u"C:\\plain.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeviceIoControl(file, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, out, sizeof out,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    CloseHandle(file);
    // The long-name prefix still names files.
    HANDLE again =
        CreateFileW(u"\\\\?\\C:\\plain.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(DeviceIo, OpeningFailures) {
    struct Case {
        std::u16string name;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {u"\\\\.\\USB001", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"\\\\?\\usb#vid_0000&pid_0000#none#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", OPEN_EXISTING,
         ERROR_FILE_NOT_FOUND},
        {path, 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        HANDLE h = CreateFileW(c.name.c_str(), GENERIC_READ, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << platform::ToUtf8(c.name);
        EXPECT_EQ(GetLastError(), c.error) << platform::ToUtf8(c.name);
    }
    // An unplugged printer does not open, and what is open on it stops answering.
    HANDLE h = Open(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(platform::test::SetUsbPrinterPresent(path, false));
    EXPECT_EQ(RequestId(h, 512), "!" + std::to_string(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    platform::test::SetUsbPrinterPresent(path, true);
    EXPECT_EQ(RequestId(h, 2), std::string("\0", 1) + static_cast<char>(kId.size() + 2));
    CloseHandle(h);

    platform::test::FailNext("DeviceIoControl", 1, ERROR_READ_FAULT);
    h = Open(path);
    EXPECT_EQ(RequestId(h, 512), "!" + std::to_string(ERROR_READ_FAULT));
    CloseHandle(h);
}

TEST_F(DeviceIo, TheDeviceCanRefuseTheRequest) {
    UsbPrinter refusing;
    refusing.deviceIdError = ERROR_NOT_SUPPORTED;
    std::u16string other = AddUsbPrinter(refusing);
    HANDLE h = Open(other);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RequestId(h, 512), "!" + std::to_string(ERROR_NOT_SUPPORTED));
    CloseHandle(h);
    UsbPrinter raw;
    raw.deviceIdAnswer = std::vector<BYTE>{0xFF, 0xFF, 'x'};
    h = Open(AddUsbPrinter(raw));
    EXPECT_EQ(RequestId(h, 512), "\xFF\xFFx");
    CloseHandle(h);
}

TEST_F(DeviceIo, SharingBetweenHandles) {
    HANDLE exclusive = Open(path, GENERIC_READ, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    // A handle without data access conflicts with nothing.
    HANDLE query = Open(path, 0, FILE_SHARE_READ);
    EXPECT_NE(query, INVALID_HANDLE_VALUE);
    CloseHandle(query);
    CloseHandle(exclusive);

    HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_WRITE);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    CloseHandle(writer);
}

TEST_F(DeviceIo, ReadAndWrite) {
    HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(h, "\x1b%-12345X", 9, &done, nullptr));
    EXPECT_EQ(done, 9u);
    char in[4] = {};
    EXPECT_TRUE(ReadFile(h, in, sizeof in, &done, nullptr));
    EXPECT_EQ(std::string(in, done), "OK");
    EXPECT_TRUE(ReadFile(h, in, sizeof in, &done, nullptr));
    EXPECT_EQ(done, 0u);
    CloseHandle(h);
    std::vector<BYTE> written = platform::test::UsbPrinterWritten(path);
    EXPECT_EQ(std::string(written.begin(), written.end()), "\x1b%-12345X");

    HANDLE readOnly = Open(path, GENERIC_READ);
    EXPECT_FALSE(WriteFile(readOnly, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(readOnly);
}

} // namespace
