// A printer on a fresh machine root, and helpers for the two-call protocol.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/spooler_ctl.h"
#include "win/errors.h"
#include "win/spool.h"

namespace spooler_test {

namespace spl = platform::spooler;

inline const std::u16string kDriverName = u"Zor Laser 9000 PCL XL";
inline const std::u16string kDriverFolder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\zor";

inline void InstallDriver(const std::u16string& name = kDriverName) {
    spl::DriverRecord d;
    d.name = name;
    d.driverPath = kDriverFolder + u"\\Inkforge.DLL";
    d.dataFile = kDriverFolder + u"\\ZL9000.SPC";
    d.configFile = kDriverFolder + u"\\Frontdoor.DLL";
    d.helpFile = kDriverFolder + u"\\ZORHELP.CHM";
    d.dependentFiles = {kDriverFolder + u"\\Modelsmith.DLL", kDriverFolder + u"\\Sheetwright.DLL"};
    ASSERT_EQ(spl::AddDriver(d), static_cast<DWORD>(ERROR_SUCCESS));
}

inline void InstallPrinter(const std::u16string& name, const std::u16string& port = u"LPT1:") {
    spl::PrinterRecord p;
    p.name = name;
    p.port = port;
    p.driver = kDriverName;
    ASSERT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_SUCCESS));
}

// A device mode block: a 220-byte public part with the given private size.
inline std::vector<BYTE> MakeDevmode(WORD extra, BYTE fill, const char16_t* name = u"Office") {
    std::vector<BYTE> dm(220 + extra, 0);
    for (size_t i = 0; name[i] && i < 31; ++i) {
        dm[2 * i] = static_cast<BYTE>(name[i] & 0xFF);
        dm[2 * i + 1] = static_cast<BYTE>(name[i] >> 8);
    }
    WORD spec = 0x401, size = 220, driverVersion = 0x500;
    std::memcpy(&dm[64], &spec, 2);
    std::memcpy(&dm[66], &driverVersion, 2);
    std::memcpy(&dm[68], &size, 2);
    std::memcpy(&dm[70], &extra, 2);
    for (size_t i = 220; i < dm.size(); ++i)
        dm[i] = static_cast<BYTE>(fill + i);
    return dm;
}

inline std::vector<BYTE> DevmodeBytes(const void* devmode) {
    const auto* p = static_cast<const BYTE*>(devmode);
    WORD size, extra;
    std::memcpy(&size, p + 68, 2);
    std::memcpy(&extra, p + 70, 2);
    return std::vector<BYTE>(p, p + size + extra);
}

// Runs a call of the two-call protocol: an empty buffer, a buffer one byte
// short, then the right size. Checks the errors and sizes on the way and
// returns the filled buffer (empty when the first call did not ask for more).
using SizedCall = std::function<BOOL(BYTE* buffer, DWORD size, DWORD* needed)>;
inline std::vector<BYTE> TwoCall(const SizedCall& call) {
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(call(nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    if (needed == 0) return {};
    // The answer goes into 8-byte aligned memory, as GlobalAlloc gives.
    std::vector<BYTE> buffer(needed + 16, 0xCD);
    DWORD again = 0;
    SetLastError(0);
    EXPECT_FALSE(call(buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);
    DWORD third = 0;
    EXPECT_TRUE(call(buffer.data(), needed, &third)) << GetLastError();
    EXPECT_EQ(third, needed);
    // Nothing is written past the size asked for.
    for (size_t i = needed; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xCD) << i;
    buffer.resize(needed);
    return buffer;
}

template <class T> const T& As(const std::vector<BYTE>& buffer) {
    return *reinterpret_cast<const T*>(buffer.data());
}

class SpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallDriver();
        InstallPrinter(u"Office");
    }
    void TearDown() override {
        for (HANDLE h : opened_)
            ClosePrinter(h);
    }

    HANDLE Open(const char16_t* name, ACCESS_MASK access = PRINTER_ALL_ACCESS) {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        HANDLE h = nullptr;
        EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) << GetLastError();
        if (h) opened_.push_back(h);
        return h;
    }

    std::vector<HANDLE> opened_;
};

} // namespace spooler_test
