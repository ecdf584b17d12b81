// Forms of the print server and the printer's driver records.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include "platform/core.h"
#include "platform/sql_statement.h"
#include "platform/testctl.h"
#include "spooler_fixture.h"

namespace spooler_test {
namespace {

using FormsTest = SpoolerTest;
using DriversTest = SpoolerTest;

std::vector<BYTE> EnumForms(HANDLE h, DWORD* count) {
    DWORD needed = 0, returned = 99;
    EXPECT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(EnumFormsW(h, 1, buffer.data(), needed - 1, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(EnumFormsW(h, 1, buffer.data(), needed, &needed, &returned));
    *count = returned;
    return buffer;
}

TEST_F(FormsTest, StandardFormsInPaperSizeOrderWithTheirSizes) {
    HANDLE h = Open(u"Office");
    DWORD count = 0;
    auto buffer = EnumForms(h, &count);
    ASSERT_EQ(count, 118u);
    const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    std::map<std::u16string, std::pair<size_t, SIZEL>> byName;
    for (size_t i = 0; i < count; ++i) {
        byName[forms[i].pName] = {i + 1, forms[i].Size};
        EXPECT_EQ(forms[i].Flags, static_cast<DWORD>(FORM_BUILTIN));
        EXPECT_EQ(forms[i].ImageableArea.left, 0);
        EXPECT_EQ(forms[i].ImageableArea.right, forms[i].Size.cx);
        EXPECT_EQ(forms[i].ImageableArea.bottom, forms[i].Size.cy);
    }
    struct Expected {
        const char16_t* name;
        size_t position; // the paper size number
        LONG cx, cy;     // thousandths of a millimetre
    } expected[] = {
        {u"Letter", 1, 215900, 279400},
        {u"Tabloid", 3, 279400, 431800},
        {u"Ledger", 4, 431800, 279400},
        {u"Legal", 5, 215900, 355600},
        {u"Statement", 6, 139700, 215900},
        {u"Executive", 7, 184150, 266700},
        {u"A3", 8, 297000, 420000},
        {u"A4", 9, 210000, 297000},
        {u"A5", 11, 148000, 210000},
        {u"B4 (JIS)", 12, 257000, 364000},
        {u"B5 (JIS)", 13, 182000, 257000},
        {u"Envelope #10", 20, 104775, 241300},
        {u"Envelope DL", 27, 110000, 220000},
        {u"Envelope C5", 28, 162000, 229000},
        {u"Envelope Monarch", 37, 98425, 190500},
        {u"A6", 70, 105000, 148000},
        {u"PRC Envelope #10 Rotated", 118, 458000, 324000},
    };
    for (const auto& e : expected) {
        auto it = byName.find(e.name);
        ASSERT_NE(it, byName.end());
        EXPECT_EQ(it->second.first, e.position);
        EXPECT_EQ(it->second.second.cx, e.cx);
        EXPECT_EQ(it->second.second.cy, e.cy);
    }
}

TEST_F(FormsTest, ServerHandleAndErrors) {
    HANDLE server = Open(nullptr, SERVER_READ);
    DWORD count = 0;
    EnumForms(server, &count);
    EXPECT_EQ(count, 118u);
    DWORD needed = 0, returned = 0;
    BYTE buffer[64];
    EXPECT_FALSE(EnumFormsW(server, 2, buffer, sizeof buffer, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(EnumFormsW(server, 1, buffer, sizeof buffer, &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(EnumFormsW(nullptr, 1, buffer, sizeof buffer, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Moves the printer "Office" to another driver through its own settings, as
// a person changing the printer's driver does.
bool MovePrinterToDriver(const char16_t* driver) {
    HANDLE p = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(u"Office"), &p, &defaults)) return false;
    DWORD needed = 0;
    GetPrinterW(p, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    bool ok = GetPrinterW(p, 2, info.data(), needed, &needed);
    if (ok) {
        reinterpret_cast<PRINTER_INFO_2W*>(info.data())->pDriverName = const_cast<LPWSTR>(driver);
        ok = SetPrinterW(p, 2, info.data(), 0);
    }
    ClosePrinter(p);
    return ok;
}

TEST_F(DriversTest, Level2NamesTheDriverFiles) {
    HANDLE h = Open(u"Office");
    auto buffer = TwoCall([&](BYTE* b, DWORD n, DWORD* needed) {
        return GetPrinterDriverW(h, nullptr, 2, b, n, needed);
    });
    const auto& info = As<DRIVER_INFO_2W>(buffer);
    EXPECT_EQ(info.cVersion, 3u);
    EXPECT_EQ(std::u16string(info.pName), kDriverName);
    EXPECT_EQ(std::u16string(info.pEnvironment), u"Windows x64");
    EXPECT_EQ(std::u16string(info.pDriverPath), kDriverFolder + u"\\Inkforge.DLL");
    EXPECT_EQ(std::u16string(info.pDataFile), kDriverFolder + u"\\ZL9000.SPC");
    EXPECT_EQ(std::u16string(info.pConfigFile), kDriverFolder + u"\\Frontdoor.DLL");
}

TEST_F(DriversTest, Level3AddsHelpAndDependentFiles) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    auto buffer = TwoCall([&](BYTE* b, DWORD n, DWORD* needed) {
        return GetPrinterDriverW(h, const_cast<LPWSTR>(u"Windows x64"), 3, b, n, needed);
    });
    const auto& info = As<DRIVER_INFO_3W>(buffer);
    EXPECT_EQ(std::u16string(info.pHelpFile), kDriverFolder + u"\\ZORHELP.CHM");
    std::vector<std::u16string> dependents;
    for (const char16_t* p = info.pDependentFiles; *p;
         p += std::char_traits<char16_t>::length(p) + 1)
        dependents.emplace_back(p);
    EXPECT_EQ(dependents, (std::vector<std::u16string>{kDriverFolder + u"\\Modelsmith.DLL",
                                                       kDriverFolder + u"\\Sheetwright.DLL"}));
    EXPECT_EQ(info.pMonitorName, nullptr);
}

TEST_F(DriversTest, Errors) {
    HANDLE h = Open(u"Office");
    DWORD needed = 0;
    BYTE buffer[1024];
    EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 4, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(GetPrinterDriverW(h, const_cast<LPWSTR>(u"Windows NT x86"), 2, buffer,
                                   sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
    EXPECT_FALSE(
        GetPrinterDriverW(h, const_cast<LPWSTR>(u"Amiga"), 2, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
    EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HANDLE server = Open(nullptr, SERVER_READ);
    EXPECT_FALSE(GetPrinterDriverW(server, nullptr, 2, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The driver record and the printer's row are kept between calls; a change
// made by another process must show in the next answer all the same.
TEST_F(DriversTest, ChangesByAnotherProcessShowInTheNextAnswer) {
    HANDLE h = Open(u"Office");
    auto dataFile = [&] {
        auto buffer = TwoCall([&](BYTE* b, DWORD n, DWORD* needed) {
            return GetPrinterDriverW(h, nullptr, 2, b, n, needed);
        });
        return std::u16string(As<DRIVER_INFO_2W>(buffer).pDataFile);
    };
    // In a process of its own; a thread of its own there: its own database connection.
    auto inChild = [](auto change) {
        pid_t pid = fork();
        if (pid == 0) {
            alarm(60);
            bool ok = false;
            std::thread([&] { ok = change(); }).join();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\ZL9000.SPC");
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\ZL9000.SPC");

    // The driver's record replaced.
    inChild([] {
        spl::DriverRecord d;
        if (!spl::FindDriver(kDriverName, &d)) return false;
        d.dataFile = kDriverFolder + u"\\ZL9100.SPC";
        return spl::AddDriver(d) == ERROR_SUCCESS;
    });
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\ZL9100.SPC");

    // The printer moved to another driver.
    inChild([] {
        spl::DriverRecord d;
        if (!spl::FindDriver(kDriverName, &d)) return false;
        d.name = u"Other Driver";
        d.dataFile = kDriverFolder + u"\\OTHER.SPC";
        return spl::AddDriver(d) == ERROR_SUCCESS && MovePrinterToDriver(u"Other Driver");
    });
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\OTHER.SPC");
}

// A process that cannot have the stamp table reads the stamps' files, which
// every raise moves as well: it sees another process's change all the same.
TEST_F(DriversTest, AProcessReadingTheStampFilesSeesChangesToo) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(60);
        platform::spooler::test::ReadStampsFromFiles();
        HANDLE h = nullptr;
        if (!OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, nullptr)) _exit(10);
        auto dataFile = [&] {
            DWORD needed = 0;
            GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed);
            std::vector<BYTE> info(needed ? needed : 1);
            if (!GetPrinterDriverW(h, nullptr, 2, info.data(), needed, &needed))
                return std::u16string();
            return std::u16string(reinterpret_cast<DRIVER_INFO_2W*>(info.data())->pDataFile);
        };
        if (dataFile() != kDriverFolder + u"\\ZL9000.SPC") _exit(11);
        if (dataFile() != kDriverFolder + u"\\ZL9000.SPC") _exit(12);
        pid_t changer = fork();
        if (changer == 0) {
            bool ok = false;
            std::thread([&] {
                spl::DriverRecord d;
                ok = spl::FindDriver(kDriverName, &d);
                d.dataFile = kDriverFolder + u"\\ZL9100.SPC";
                ok = ok && spl::AddDriver(d) == ERROR_SUCCESS;
            }).join();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        if (waitpid(changer, &status, 0) != changer || !WIFEXITED(status) || WEXITSTATUS(status))
            _exit(13);
        _exit(dataFile() == kDriverFolder + u"\\ZL9100.SPC" ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0); // 11 to 14: the step that went wrong
}

// What one GetPrinterDriverW call answered, and what the call log holds of it.
struct DriverCallResult {
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD needed = 0;
    std::vector<BYTE> bytes; // the whole buffer, pointers into it included
    // The call log's entries: function, printer, level, bytes, name, ok, error.
    std::vector<std::tuple<std::string, std::u16string, DWORD, DWORD, std::u16string, bool, DWORD>>
        log;
};

void PrintTo(const DriverCallResult& r, std::ostream* os) {
    *os << "ok " << r.ok << " error " << r.error << " needed " << r.needed << " bytes "
        << r.bytes.size();
}

bool operator==(const DriverCallResult& a, const DriverCallResult& b) {
    return a.ok == b.ok && a.error == b.error && a.needed == b.needed && a.bytes == b.bytes &&
           a.log == b.log;
}

enum class Room { None, OneShort, Exact, NoSizePointer };

struct DriverCall {
    const char* name;
    const char16_t* environment;
    DWORD level;
    Room room;
    DWORD fault = 0; // the call's fault point fails with this error
};

// Makes the call into one buffer kept at one address, so that answers
// compare byte for byte, pointers included; exact is the answer's size.
DriverCallResult Call(HANDLE h, const DriverCall& c, DWORD exact) {
    static std::vector<BYTE> buffer(4096);
    std::fill(buffer.begin(), buffer.end(), 0xCD);
    DWORD room = c.room == Room::None ? 0 : c.room == Room::OneShort ? exact - 1 : exact;
    if (c.fault) platform::test::FailNext("GetPrinterDriverW", 1, c.fault);
    spl::test::ClearCalls();
    spl::test::RecordCalls(true);
    DriverCallResult r;
    r.needed = 0xFFFF;
    SetLastError(0);
    r.ok = GetPrinterDriverW(h, const_cast<LPWSTR>(c.environment), c.level,
                             c.room == Room::None ? nullptr : buffer.data(), room,
                             c.room == Room::NoSizePointer ? nullptr : &r.needed);
    r.error = GetLastError();
    spl::test::RecordCalls(false);
    platform::test::ClearFaults();
    r.bytes = buffer;
    for (const auto& call : spl::test::Calls())
        r.log.emplace_back(call.function, call.printer, call.level, call.bytes, call.name, call.ok,
                           call.error);
    return r;
}

const DriverCall kDriverCalls[] = {
    {"level 2", nullptr, 2, Room::Exact},
    {"level 3", nullptr, 3, Room::Exact},
    {"own environment named", u"windows X64", 2, Room::Exact},
    {"size asked", nullptr, 2, Room::None},
    {"one byte short", nullptr, 3, Room::OneShort},
    {"no size pointer", nullptr, 2, Room::NoSizePointer},
    {"bad level", nullptr, 4, Room::Exact},
    {"unknown environment", u"Amiga", 2, Room::Exact},
    {"another environment", u"Windows NT x86", 2, Room::Exact},
    {"fault point", nullptr, 2, Room::Exact, ERROR_NOT_ENOUGH_MEMORY},
};

// A handle that has answered before answers from what it kept; every call
// must answer as a handle that never asked does.
TEST_F(DriversTest, AHandlesKeptAnswersAreWhatANewHandleAnswers) {
    HANDLE probe = Open(u"Office");
    DWORD level2 = 0, level3 = 0;
    GetPrinterDriverW(probe, nullptr, 2, nullptr, 0, &level2);
    GetPrinterDriverW(probe, nullptr, 3, nullptr, 0, &level3);
    auto exact = [&](DWORD level) { return level == 2 ? level2 : level3; };
    HANDLE warm = Open(u"Office");
    for (DWORD level : {2u, 3u})
        Call(warm, {"warm up", nullptr, level, Room::Exact}, exact(level));
    for (const auto& c : kDriverCalls) {
        SCOPED_TRACE(c.name);
        HANDLE cold = Open(u"Office");
        const DriverCallResult first = Call(cold, c, exact(c.level));
        EXPECT_EQ(Call(warm, c, exact(c.level)), first);
        EXPECT_EQ(Call(cold, c, exact(c.level)), first); // after its own first answer
    }
    // A closed handle is no handle, whatever it kept.
    HANDLE cold = nullptr, closed = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &cold, &defaults));
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &closed, &defaults));
    Call(closed, {"warm up", nullptr, 2, Room::Exact}, level2);
    ASSERT_TRUE(ClosePrinter(cold));
    ASSERT_TRUE(ClosePrinter(closed));
    const DriverCall c{"closed handle", nullptr, 2, Room::Exact};
    const DriverCallResult first = Call(cold, c, level2);
    EXPECT_EQ(first.error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Call(closed, c, level2), first);
}

// Inside a transaction a read sees the thread's own uncommitted writes:
// nothing kept stands for them.
TEST_F(DriversTest, InsideATransactionTheKeptAnswerIsNotUsed) {
    HANDLE h = Open(u"Office");
    auto dataFile = [&] {
        auto buffer = TwoCall([&](BYTE* b, DWORD n, DWORD* needed) {
            return GetPrinterDriverW(h, nullptr, 2, b, n, needed);
        });
        return buffer.empty() ? std::u16string()
                              : std::u16string(As<DRIVER_INFO_2W>(buffer).pDataFile);
    };
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\ZL9000.SPC");
    bool seen = false;
    platform::MachineDb::Transaction([&] {
        platform::SqlStatement s("UPDATE spl_drivers SET data_file = ?");
        s.Bind(1, kDriverFolder + u"\\UNCOMMITTED.SPC");
        s.Run();
        seen = dataFile() == kDriverFolder + u"\\UNCOMMITTED.SPC";
        return false; // rolled back
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(dataFile(), kDriverFolder + u"\\ZL9000.SPC");
}

// Every change of the printer or its driver, made by another process or by
// this one through another handle, is answered by the next call of a handle
// that kept its answers, at either level.
TEST_F(DriversTest, AKeptAnswerGivesWayToTheNextChange) {
    HANDLE h = Open(u"Office");
    // The error of the size query or of the answer, and the answer's data file.
    auto answer = [&](DWORD level) -> std::pair<DWORD, std::u16string> {
        DWORD needed = 0;
        SetLastError(0);
        if (GetPrinterDriverW(h, nullptr, level, nullptr, 0, &needed) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {GetLastError(), u""};
        std::vector<BYTE> info(needed);
        if (!GetPrinterDriverW(h, nullptr, level, info.data(), needed, &needed))
            return {GetLastError(), u""};
        return {0, reinterpret_cast<DRIVER_INFO_2W*>(info.data())->pDataFile};
    };
    auto addDriver = [](const char16_t* name, const char16_t* dataFile) {
        spl::DriverRecord d;
        if (!spl::FindDriver(kDriverName, &d)) return false;
        d.name = name;
        d.dataFile = kDriverFolder + dataFile;
        return spl::AddDriver(d) == ERROR_SUCCESS;
    };
    struct Change {
        const char* name;
        bool elsewhere; // in a process of its own, else through another handle here
        std::function<bool()> make;
        std::pair<DWORD, std::u16string> expected;
    } changes[] = {
        {"driver added again",
         true,
         [&] { return addDriver(kDriverName.c_str(), u"\\A.SPC"); },
         {0, kDriverFolder + u"\\A.SPC"}},
        {"printer moved to another driver",
         true,
         [&] { return addDriver(u"Other", u"\\OTHER.SPC") && MovePrinterToDriver(u"Other"); },
         {0, kDriverFolder + u"\\OTHER.SPC"}},
        {"moved back here",
         false,
         [&] { return MovePrinterToDriver(kDriverName.c_str()); },
         {0, kDriverFolder + u"\\A.SPC"}},
        {"driver added again here",
         false,
         [&] { return addDriver(kDriverName.c_str(), u"\\B.SPC"); },
         {0, kDriverFolder + u"\\B.SPC"}},
        {"printer deleted",
         true,
         [] {
             HANDLE p = nullptr;
             PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
             return OpenPrinterW(const_cast<LPWSTR>(u"Office"), &p, &defaults) &&
                    DeletePrinter(p) && ClosePrinter(p);
         },
         {ERROR_INVALID_PRINTER_NAME, u""}},
    };
    for (DWORD level : {2u, 3u}) {
        answer(level);
        EXPECT_EQ(answer(level), std::make_pair(DWORD{0}, kDriverFolder + u"\\ZL9000.SPC"));
    }
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        if (change.elsewhere) {
            pid_t pid = fork();
            if (pid == 0) {
                alarm(60);
                bool ok = false;
                // A thread of its own there: its own database connection.
                std::thread([&] { ok = change.make(); }).join();
                _exit(ok ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            ASSERT_TRUE(change.make());
        }
        for (DWORD level : {2u, 3u})
            EXPECT_EQ(answer(level), change.expected) << level;
    }
}

TEST_F(DriversTest, AnEmptyDependentListIsTwoNuls) {
    spl::DriverRecord d;
    d.name = u"Bare";
    d.driverPath = u"C:\\x\\a.dll";
    d.dataFile = u"C:\\x\\b.spc";
    d.configFile = u"C:\\x\\c.dll";
    ASSERT_EQ(spl::AddDriver(d), static_cast<DWORD>(ERROR_SUCCESS));
    spl::PrinterRecord p;
    p.name = u"Bare printer";
    p.port = u"FILE:";
    p.driver = u"Bare";
    ASSERT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE h = Open(u"Bare printer");
    auto buffer = TwoCall([&](BYTE* b, DWORD n, DWORD* needed) {
        return GetPrinterDriverW(h, nullptr, 3, b, n, needed);
    });
    const auto& info = As<DRIVER_INFO_3W>(buffer);
    EXPECT_EQ(info.pHelpFile, nullptr);
    ASSERT_NE(info.pDependentFiles, nullptr);
    EXPECT_EQ(info.pDependentFiles[0], u'\0');
    EXPECT_EQ(info.pDependentFiles[1], u'\0');
}

} // namespace
} // namespace spooler_test
