// Opening printers and reading and writing their information.
#include <string>

#include "platform/facts.h"
#include "platform/handles.h"
#include "platform/testctl.h"
#include "spooler_fixture.h"

namespace spooler_test {
namespace {

using PrintersTest = SpoolerTest;

TEST_F(PrintersTest, OpenResolvesNamesAndRefusesUnknownOnes) {
    struct Case {
        const char16_t* name;
        bool opens;
    } cases[] = {
        {u"Office", true},
        {u"OFFICE", true},
        {u"\\\\localhost\\Office", true},
        {u"", true},
        {u",XcvPort LPT1:", true},
        {u"Nowhere", false},
        {u"\\\\far\\Office", false},
        {u",XcvPort NOPORT", false},
        {u"Office,Job 3", false},
    };
    for (const auto& c : cases) {
        HANDLE h = nullptr;
        SetLastError(0);
        BOOL ok = OpenPrinterW(const_cast<LPWSTR>(c.name), &h, nullptr);
        EXPECT_EQ(ok != FALSE, c.opens)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
        if (ok) {
            EXPECT_NE(h, nullptr);
            EXPECT_TRUE(ClosePrinter(h));
        } else {
            EXPECT_EQ(h, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
        }
    }
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PrintersTest, HandlesAreCountedAndClosedOnce) {
    size_t before = platform::test::OpenHandleCount("Printer");
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, nullptr));
    EXPECT_EQ(platform::test::OpenHandleCount("Printer"), before + 1);
    EXPECT_TRUE(ClosePrinter(h));
    EXPECT_FALSE(ClosePrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ClosePrinter(nullptr));
    EXPECT_EQ(platform::test::OpenHandleCount("Printer"), before);
}

TEST_F(PrintersTest, AdministrationNeedsTheRight) {
    spl::test::SetAdministrator(false);
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &all));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    PRINTER_DEFAULTSW generic{nullptr, nullptr, GENERIC_ALL};
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &generic));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // A user's handle may read, print and keep its own device mode, nothing else.
    HANDLE use = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD value = 1;
    EXPECT_EQ(SetPrinterDataW(use, const_cast<LPWSTR>(u"MetricCountry"), 4,
                              reinterpret_cast<BYTE*>(&value), 4),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    PRINTER_INFO_7W info7{nullptr, DSPRINT_UPDATE};
    EXPECT_FALSE(SetPrinterW(use, 7, reinterpret_cast<BYTE*>(&info7), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    auto dm = MakeDevmode(16, 1);
    PRINTER_INFO_9W info9{reinterpret_cast<LPDEVMODEW>(dm.data())};
    EXPECT_TRUE(SetPrinterW(use, 9, reinterpret_cast<BYTE*>(&info9), 0));
}

TEST_F(PrintersTest, Level2TwoCallAndFields) {
    HANDLE h = Open(u"Office");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    ASSERT_GE(buffer.size(), sizeof(PRINTER_INFO_2W));
    const auto& info = As<PRINTER_INFO_2W>(buffer);
    EXPECT_EQ(info.pServerName, nullptr);
    EXPECT_EQ(std::u16string(info.pPrinterName), u"Office");
    EXPECT_EQ(std::u16string(info.pPortName), u"LPT1:");
    EXPECT_EQ(std::u16string(info.pDriverName), kDriverName);
    EXPECT_EQ(std::u16string(info.pDatatype), u"RAW");
    EXPECT_EQ(std::u16string(info.pShareName), u"");
    EXPECT_EQ(info.pDevMode, nullptr);
    EXPECT_EQ(info.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
    EXPECT_EQ(info.cJobs, 0u);
    // Every pointer points inside the caller's buffer.
    for (LPWSTR p : {info.pPrinterName, info.pPortName, info.pDriverName, info.pComment}) {
        EXPECT_GE(reinterpret_cast<BYTE*>(p), buffer.data() + sizeof(PRINTER_INFO_2W));
        EXPECT_LT(reinterpret_cast<BYTE*>(p), buffer.data() + buffer.size());
    }
}

TEST_F(PrintersTest, CallErrors) {
    HANDLE h = Open(u"Office");
    DWORD needed = 0;
    BYTE buffer[512];
    struct Case {
        HANDLE handle;
        DWORD level;
        BYTE* buffer;
        DWORD size;
        DWORD* needed;
        DWORD error;
    } cases[] = {
        {h, 3, buffer, sizeof buffer, &needed, ERROR_INVALID_LEVEL},
        {h, 2, buffer, sizeof buffer, nullptr, ERROR_INVALID_PARAMETER},
        {h, 2, nullptr, sizeof buffer, &needed, ERROR_INVALID_PARAMETER},
        {nullptr, 2, buffer, sizeof buffer, &needed, ERROR_INVALID_HANDLE},
        {reinterpret_cast<HANDLE>(0x4321), 2, buffer, sizeof buffer, &needed, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(GetPrinterW(c.handle, c.level, c.buffer, c.size, c.needed));
        EXPECT_EQ(GetLastError(), c.error) << c.level;
    }
    HANDLE server = Open(nullptr, SERVER_READ);
    EXPECT_FALSE(GetPrinterW(server, 2, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(PrintersTest, Level5TellsLocalPrinters) {
    HANDLE h = Open(u"Office");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 5, b, n, needed); });
    const auto& info = As<PRINTER_INFO_5W>(buffer);
    EXPECT_EQ(std::u16string(info.pPrinterName), u"Office");
    EXPECT_EQ(std::u16string(info.pPortName), u"LPT1:");
    EXPECT_TRUE(info.Attributes & PRINTER_ATTRIBUTE_LOCAL);
    EXPECT_FALSE(info.Attributes & PRINTER_ATTRIBUTE_NETWORK);
}

TEST_F(PrintersTest, NetworkPrinterCarriesItsServer) {
    spl::PrinterRecord p;
    p.name = u"Remote";
    p.server = u"\\\\PRINTSRV";
    p.port = u"LPT2:";
    p.driver = kDriverName;
    p.attributes = PRINTER_ATTRIBUTE_NETWORK;
    ASSERT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE h = Open(u"\\\\printsrv\\Remote");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    const auto& info = As<PRINTER_INFO_2W>(buffer);
    EXPECT_EQ(std::u16string(info.pServerName), u"\\\\PRINTSRV");
    EXPECT_EQ(std::u16string(info.pPrinterName), u"\\\\PRINTSRV\\Remote");
    HANDLE other = nullptr;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"\\\\elsewhere\\Remote"), &other, nullptr));
}

TEST_F(PrintersTest, DeviceModesOfLevels2And8AreOneAndLevel9IsTheUsers) {
    HANDLE h = Open(u"Office");
    auto global = MakeDevmode(1100, 7);
    PRINTER_INFO_8W info8{reinterpret_cast<LPDEVMODEW>(global.data())};
    ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<BYTE*>(&info8), 0));

    auto level2 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    ASSERT_NE(As<PRINTER_INFO_2W>(level2).pDevMode, nullptr);
    EXPECT_EQ(DevmodeBytes(As<PRINTER_INFO_2W>(level2).pDevMode), global);
    auto level8 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 8, b, n, needed); });
    EXPECT_EQ(DevmodeBytes(As<PRINTER_INFO_8W>(level8).pDevMode), global);

    // No per-user device mode yet: the record says so with a null pointer.
    auto level9 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 9, b, n, needed); });
    EXPECT_EQ(As<PRINTER_INFO_9W>(level9).pDevMode, nullptr);
    auto mine = MakeDevmode(1100, 99);
    PRINTER_INFO_9W info9{reinterpret_cast<LPDEVMODEW>(mine.data())};
    ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<BYTE*>(&info9), 0));
    level9 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 9, b, n, needed); });
    EXPECT_EQ(DevmodeBytes(As<PRINTER_INFO_9W>(level9).pDevMode), mine);
    level8 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 8, b, n, needed); });
    EXPECT_EQ(DevmodeBytes(As<PRINTER_INFO_8W>(level8).pDevMode), global);

    // A null device mode removes the user's own.
    info9.pDevMode = nullptr;
    ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<BYTE*>(&info9), 0));
    level9 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 9, b, n, needed); });
    EXPECT_EQ(As<PRINTER_INFO_9W>(level9).pDevMode, nullptr);
}

TEST_F(PrintersTest, PerUserDeviceModesBelongToTheirUsers) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    auto level9 = [&] {
        auto buffer = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 9, b, n, needed); });
        const auto* dm = As<PRINTER_INFO_9W>(buffer).pDevMode;
        return dm ? DevmodeBytes(dm) : std::vector<BYTE>();
    };
    auto alice = MakeDevmode(1100, 1), bob = MakeDevmode(1100, 2);
    platform::test::SetUserName(u"alice");
    PRINTER_INFO_9W info{reinterpret_cast<LPDEVMODEW>(alice.data())};
    ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<BYTE*>(&info), 0));
    platform::test::SetUserName(u"bob");
    EXPECT_TRUE(level9().empty());
    info.pDevMode = reinterpret_cast<LPDEVMODEW>(bob.data());
    ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<BYTE*>(&info), 0));
    EXPECT_EQ(level9(), bob);
    platform::test::SetUserName(u"ALICE");
    EXPECT_EQ(level9(), alice);
}

TEST_F(PrintersTest, RewritingLevel2KeepsWhatWasRead) {
    HANDLE h = Open(u"Office");
    auto dm = MakeDevmode(1100, 3);
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    auto info = As<PRINTER_INFO_2W>(buffer);
    info.pDevMode = reinterpret_cast<LPDEVMODEW>(dm.data());
    info.pComment = const_cast<LPWSTR>(u"second floor");
    ASSERT_TRUE(SetPrinterW(h, 2, reinterpret_cast<BYTE*>(&info), 0)) << GetLastError();
    auto again =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    const auto& after = As<PRINTER_INFO_2W>(again);
    EXPECT_EQ(DevmodeBytes(after.pDevMode), dm);
    EXPECT_EQ(std::u16string(after.pComment), u"second floor");
    EXPECT_EQ(std::u16string(after.pPortName), u"LPT1:");
    EXPECT_EQ(after.Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
}

TEST_F(PrintersTest, SetPrinterRefusesBadRecords) {
    HANDLE h = Open(u"Office");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    auto good = As<PRINTER_INFO_2W>(buffer);
    std::vector<BYTE> tiny(80, 0); // dmSize 0: not a device mode
    struct Case {
        const char* what;
        PRINTER_INFO_2W info;
        DWORD error;
    } cases[] = {
        {"unknown port", good, ERROR_UNKNOWN_PORT},
        {"unknown driver", good, ERROR_UNKNOWN_PRINTER_DRIVER},
        {"bad device mode", good, ERROR_INVALID_PARAMETER},
        {"bad data type", good, ERROR_INVALID_DATATYPE},
        {"renamed", good, ERROR_NOT_SUPPORTED},
    };
    cases[0].info.pPortName = const_cast<LPWSTR>(u"LPT9:");
    cases[1].info.pDriverName = const_cast<LPWSTR>(u"Nobody's driver");
    cases[2].info.pDevMode = reinterpret_cast<LPDEVMODEW>(tiny.data());
    cases[3].info.pDatatype = const_cast<LPWSTR>(u"GIBBERISH");
    cases[4].info.pPrinterName = const_cast<LPWSTR>(u"Kitchen");
    for (auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(SetPrinterW(h, 2, reinterpret_cast<BYTE*>(&c.info), 0)) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_FALSE(SetPrinterW(h, 2, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetPrinterW(h, 4, buffer.data(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    PRINTER_INFO_8W none{nullptr};
    EXPECT_FALSE(SetPrinterW(h, 8, reinterpret_cast<BYTE*>(&none), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Nothing of the refused records was stored.
    auto after =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 2, b, n, needed); });
    EXPECT_EQ(std::u16string(As<PRINTER_INFO_2W>(after).pPortName), u"LPT1:");
    EXPECT_EQ(As<PRINTER_INFO_2W>(after).pDevMode, nullptr);
}

TEST_F(PrintersTest, DirectoryUpdatesAreRecorded) {
    HANDLE h = Open(u"Office");
    PRINTER_INFO_7W info{nullptr, DSPRINT_UPDATE};
    spl::test::RecordCalls(true);
    spl::test::ClearCalls();
    ASSERT_TRUE(SetPrinterW(h, 7, reinterpret_cast<BYTE*>(&info), 0));
    ASSERT_TRUE(SetPrinterW(h, 7, reinterpret_cast<BYTE*>(&info), 0));
    EXPECT_EQ(spl::DirectoryUpdates(u"Office"), 2u);
    auto calls = spl::test::Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "SetPrinterW");
    EXPECT_EQ(calls[0].printer, u"Office");
    EXPECT_EQ(calls[0].level, 7u);
    EXPECT_EQ(calls[0].command, static_cast<DWORD>(DSPRINT_UPDATE));
    EXPECT_TRUE(calls[0].ok);

    info.dwAction = 77;
    EXPECT_FALSE(SetPrinterW(h, 7, reinterpret_cast<BYTE*>(&info), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    info.dwAction = DSPRINT_PUBLISH;
    ASSERT_TRUE(SetPrinterW(h, 7, reinterpret_cast<BYTE*>(&info), 0));
    auto level7 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(h, 7, b, n, needed); });
    EXPECT_EQ(As<PRINTER_INFO_7W>(level7).dwAction, static_cast<DWORD>(DSPRINT_PUBLISH));
}

TEST_F(PrintersTest, AnsiFormsConvertNamesAndDeviceModes) {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("office"), &h, &defaults));
    auto dm = MakeDevmode(1100, 5, u"Office");
    PRINTER_INFO_8W info8{reinterpret_cast<LPDEVMODEW>(dm.data())};
    ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<BYTE*>(&info8), 0));
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterA(h, 2, b, n, needed); });
    const auto& info = As<PRINTER_INFO_2A>(buffer);
    EXPECT_STREQ(info.pPrinterName, "Office");
    EXPECT_STREQ(info.pDriverName, "Zor Laser 9000 PCL XL");
    ASSERT_NE(info.pDevMode, nullptr);
    const BYTE* a = reinterpret_cast<const BYTE*>(info.pDevMode);
    WORD size, extra;
    std::memcpy(&size, a + 36, 2);
    std::memcpy(&extra, a + 38, 2);
    EXPECT_EQ(size, 156);
    EXPECT_EQ(extra, 1100);
    EXPECT_STREQ(reinterpret_cast<const char*>(a), "Office");
    // The fixed fields and the private part come across unchanged.
    EXPECT_EQ(0, std::memcmp(a + 32, dm.data() + 64, 4));
    EXPECT_EQ(0, std::memcmp(a + 156, dm.data() + 220, 1100));
    EXPECT_TRUE(ClosePrinter(h));
}

TEST_F(PrintersTest, OpenWithDefaultsChecksThem) {
    HANDLE h = nullptr;
    PRINTER_DEFAULTSW bad{const_cast<LPWSTR>(u"NOT A TYPE"), nullptr, PRINTER_ACCESS_USE};
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));
    std::vector<BYTE> tiny(80, 0);
    PRINTER_DEFAULTSW badMode{nullptr, reinterpret_cast<LPDEVMODEW>(tiny.data()),
                              PRINTER_ACCESS_USE};
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &badMode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PrintersTest, FaultInjectionFailsTheCall) {
    platform::test::FailNext("OpenPrinterW", 1, ERROR_NOT_ENOUGH_MEMORY);
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    h = Open(u"Office");
    platform::test::FailNext("GetPrinterW", 1, ERROR_INVALID_PARAMETER, 1);
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(platform::test::CallCount("GetPrinterW"), 2);
}

TEST_F(PrintersTest, InstallingAgainKeepsTheData) {
    HANDLE h = Open(u"Office");
    BYTE one = 1;
    ASSERT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"ChangePaperTray"), 3, &one, 1),
              static_cast<DWORD>(ERROR_SUCCESS));
    spl::PrinterRecord p;
    p.name = u"office";
    p.port = u"LPT2:";
    p.driver = kDriverName;
    EXPECT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
    ASSERT_EQ(spl::AddPrinter(p, true), static_cast<DWORD>(ERROR_SUCCESS));
    spl::PrinterRecord stored;
    ASSERT_TRUE(spl::FindPrinter(u"OFFICE", &stored));
    EXPECT_EQ(stored.port, u"LPT2:");
    ASSERT_EQ(spl::PrinterData(u"Office").size(), 1u);
    p.port = u"NOPORT";
    EXPECT_EQ(spl::AddPrinter(p, true), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    p.name = u"bad,name";
    EXPECT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

// Connections are each user's own, by any name that opens the printer, and
// go with the printer.
TEST_F(PrintersTest, ConnectionsBelongToTheirUsers) {
    auto connect = [](const char16_t* name) {
        return AddPrinterConnectionW(const_cast<LPWSTR>(name));
    };
    auto disconnect = [](const char16_t* name) {
        return DeletePrinterConnectionW(const_cast<LPWSTR>(name));
    };
    struct Refused {
        const char16_t* name;
        bool add;
    } refused[] = {{nullptr, true},    {u"Nobody", true}, {u"\\\\elsewhere\\Office", true},
                   {u"Office", false}, {nullptr, false},  {u"Nobody", false}};
    for (const auto& r : refused) {
        SetLastError(0);
        EXPECT_FALSE(r.add ? connect(r.name) : disconnect(r.name)) << (r.add ? "add" : "delete");
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    }

    platform::test::SetUserName(u"alice");
    ASSERT_TRUE(connect(u"Office"));
    EXPECT_TRUE(connect(u"OFFICE")); // already there
    platform::test::SetUserName(u"bob");
    EXPECT_FALSE(disconnect(u"Office"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    platform::test::SetUserName(u"Alice");
    EXPECT_TRUE(disconnect(u"office"));
    EXPECT_FALSE(disconnect(u"Office"));

    // Deleting the printer takes its connections; a new one of that name has none.
    ASSERT_TRUE(connect(u"Office"));
    HANDLE h = Open(u"Office");
    ASSERT_TRUE(DeletePrinter(h));
    InstallPrinter(u"Office");
    EXPECT_FALSE(disconnect(u"Office"));

    platform::test::FailNext("AddPrinterConnectionW", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(connect(u"Office"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(disconnect(u"Office"));
}

} // namespace
} // namespace spooler_test
