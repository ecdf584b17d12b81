// Jobs: output captured byte for byte, cancels and short writes seen by the
// writer, job information and job control.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/core.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform_testing/child_process.h"
#include "spooler_fixture.h"

namespace spooler_test {
namespace {

class JobsTest : public SpoolerTest {
  protected:
    DWORD Start(HANDLE h, const char16_t* document, const char16_t* output = nullptr) {
        DOC_INFO_1W info{const_cast<LPWSTR>(document), const_cast<LPWSTR>(output), nullptr};
        DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&info));
        EXPECT_NE(id, 0u) << GetLastError();
        return id;
    }
    static std::vector<BYTE> FileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
    }
    static std::vector<BYTE> Pattern(size_t n, unsigned seed) {
        std::vector<BYTE> out(n);
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<BYTE>((i * 131 + seed) ^ (i >> 8));
        return out;
    }
    static bool Write(HANDLE h, const std::vector<BYTE>& bytes, DWORD* written) {
        return WritePrinter(h, const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                            written) != FALSE;
    }
    static DWORD Status(HANDLE h, DWORD id) {
        auto buffer = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 1, b, n, needed); });
        return buffer.empty() ? 0xFFFFFFFF : As<JOB_INFO_1W>(buffer).Status;
    }
};

TEST_F(JobsTest, OutputIsCapturedByteForByte) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Report");
    std::vector<BYTE> all;
    for (size_t n : {4096, 4096, 1, 0, 70000, 3}) {
        auto chunk = Pattern(n, static_cast<unsigned>(all.size()));
        DWORD written = 0;
        ASSERT_TRUE(Write(h, chunk, &written));
        EXPECT_EQ(written, n);
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    ASSERT_TRUE(EndDocPrinter(h));
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    EXPECT_EQ(job.document, u"Report");
    EXPECT_EQ(job.size, all.size());
    EXPECT_EQ(job.status, static_cast<DWORD>(JOB_STATUS_PRINTED));
    EXPECT_EQ(FileBytes(job.outputPath), all);
    EXPECT_EQ(job.outputPath,
              platform::HostPathUtf8("C:\\Windows\\System32\\spool\\PRINTERS\\" +
                                     std::string(5 - std::to_string(id).size(), '0') +
                                     std::to_string(id) + ".SPL"));
}

TEST_F(JobsTest, OutputFileOfTheDocument) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    Start(h, u"To file", u"C:\\Users\\Out\\result.prn");
    auto bytes = Pattern(1000, 5);
    DWORD written = 0;
    ASSERT_TRUE(Write(h, bytes, &written));
    ASSERT_TRUE(EndDocPrinter(h));
    EXPECT_EQ(FileBytes(platform::HostPathUtf8("C:\\Users\\Out\\result.prn")), bytes);
}

// A document's file is put in place only by a job that ends whole: a write
// failing mid-job (a full disk), an abort or a cancel leaves what was at the
// destination (or nothing), and no temporary file beside it.
TEST_F(JobsTest, AFailedJobLeavesTheOutputFileAsItWas) {
    namespace fs = std::filesystem;
    const std::string folder = platform::HostPathUtf8("C:\\Users\\Out");
    const std::string dest = folder + "/result.prn";
    auto bytes = Pattern(9000, 7);
    const std::vector<BYTE> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    enum class End { Finish, FullDisk, Abort, Cancel };
    struct Case {
        const char* what;
        bool before; // a file is at the destination already
        End end;
        bool placed;
    } cases[] = {
        {"finished over a file", true, End::Finish, true},
        {"finished", false, End::Finish, true},
        {"disk full over a file", true, End::FullDisk, false},
        {"disk full", false, End::FullDisk, false},
        {"aborted over a file", true, End::Abort, false},
        {"aborted", false, End::Abort, false},
        {"cancelled over a file", true, End::Cancel, false},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (c.before)
            std::ofstream(dest, std::ios::binary)
                .write(reinterpret_cast<const char*>(earlier.data()), earlier.size());
        HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
        DWORD id = Start(h, u"To file", u"C:\\Users\\Out\\result.prn");
        DWORD written = 0;
        ASSERT_TRUE(Write(h, bytes, &written)) << c.what;
        if (c.end == End::FullDisk) {
            platform::test::FailNext("WritePrinter", 1, ERROR_DISK_FULL);
            EXPECT_FALSE(Write(h, bytes, &written)) << c.what;
            EXPECT_TRUE(AbortPrinter(h)) << c.what;
        } else if (c.end == End::Abort) {
            EXPECT_TRUE(AbortPrinter(h)) << c.what;
        } else if (c.end == End::Cancel) {
            ASSERT_TRUE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_DELETE)) << c.what;
            EXPECT_FALSE(Write(h, bytes, &written)) << c.what;
            EndDocPrinter(h);
        } else {
            EXPECT_TRUE(EndDocPrinter(h)) << c.what;
        }
        ClosePrinter(h);
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        const bool file = c.placed || c.before;
        EXPECT_EQ(names, file ? std::vector<std::string>{"result.prn"} : std::vector<std::string>{})
            << c.what;
        if (file) {
            EXPECT_EQ(FileBytes(dest), c.placed ? bytes : earlier) << c.what;
        }
    }
}

TEST_F(JobsTest, JobIdsAreUniqueAcrossHandles) {
    HANDLE a = Open(u"Office", PRINTER_ACCESS_USE), b = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD first = Start(a, u"one"), second = Start(b, u"two");
    EXPECT_NE(first, second);
    EXPECT_TRUE(EndDocPrinter(a));
    EXPECT_TRUE(EndDocPrinter(b));
    EXPECT_GT(Start(a, u"three"), second);
    EXPECT_TRUE(AbortPrinter(a));
}

TEST_F(JobsTest, ShortWriteIsReported) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Short");
    spl::test::ShortWriteNext(1, 100, 1);
    auto first = Pattern(4096, 1), second = Pattern(4096, 2);
    DWORD written = 0;
    ASSERT_TRUE(Write(h, first, &written));
    EXPECT_EQ(written, 4096u);
    ASSERT_TRUE(Write(h, second, &written));
    EXPECT_EQ(written, 100u);
    ASSERT_TRUE(EndDocPrinter(h));
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    std::vector<BYTE> expected = first;
    expected.insert(expected.end(), second.begin(), second.begin() + 100);
    EXPECT_EQ(FileBytes(job.outputPath), expected);
}

// A long job keeps no record of its calls unless a test asks for one.
TEST_F(JobsTest, TheCallLogIsKeptOnlyWhenTurnedOn) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    spl::test::ClearCalls();
    Start(h, u"Unlogged");
    EXPECT_TRUE(spl::test::Calls().empty());
    spl::test::RecordCalls(true);
    DWORD written = 0;
    auto bytes = Pattern(10, 0);
    ASSERT_TRUE(Write(h, bytes, &written));
    spl::test::RecordCalls(false);
    ASSERT_TRUE(Write(h, bytes, &written));
    auto calls = spl::test::Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "WritePrinter");
    EXPECT_EQ(calls[0].printer, u"Office");
    EXPECT_EQ(calls[0].bytes, 10u);
}

TEST_F(JobsTest, FailingWriteAndCallLog) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Fails");
    spl::test::RecordCalls(true);
    spl::test::ClearCalls();
    platform::test::FailNext("WritePrinter", 1, ERROR_DISK_FULL);
    DWORD written = 1234;
    auto bytes = Pattern(10, 0);
    EXPECT_FALSE(Write(h, bytes, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 0u);
    ASSERT_TRUE(Write(h, bytes, &written));
    auto calls = spl::test::Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "WritePrinter");
    EXPECT_FALSE(calls[0].ok);
    EXPECT_EQ(calls[0].error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(calls[1].bytes, 10u);
    EXPECT_EQ(calls[1].level, id);
    EXPECT_TRUE(calls[1].ok);
}

TEST_F(JobsTest, CancelFromOutsideStopsTheWriter) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Long job");
    DWORD written = 0;
    auto bytes = Pattern(4096, 3);
    ASSERT_TRUE(Write(h, bytes, &written));
    // Cancelled by someone else, from another thread with its own connection.
    std::thread([&] { EXPECT_EQ(spl::CancelJob(id), static_cast<DWORD>(ERROR_SUCCESS)); }).join();
    EXPECT_EQ(Status(h, id) & (JOB_STATUS_DELETING | JOB_STATUS_DELETED),
              static_cast<DWORD>(JOB_STATUS_DELETING));
    EXPECT_FALSE(Write(h, bytes, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(written, 0u);
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    std::string path = job.outputPath;
    ASSERT_TRUE(EndDocPrinter(h));
    EXPECT_TRUE(Status(h, id) & JOB_STATUS_DELETED);
    EXPECT_FALSE(std::ifstream(path).good()); // the spool file is gone
}

// The status stamp file cut short (or emptied) under a running job: writes go
// on, and a cancel still stops the next one.
TEST_F(JobsTest, AStampFileCutShortNeitherKillsNorBlindsTheWriter) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Stamped job");
    DWORD written = 0;
    auto bytes = Pattern(512, 7);
    ASSERT_TRUE(Write(h, bytes, &written));
    const std::string stamp = platform::MachineRoot() + "/spool-status.stamp";
    auto cut = [&](off_t size) {
        int fd = ::open(stamp.c_str(), O_WRONLY | O_CREAT, 0644);
        bool done = fd >= 0 && ::ftruncate(fd, size) == 0;
        if (fd >= 0) ::close(fd);
        return done;
    };
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(cut(round == 1 ? 3 : 0));
        ASSERT_TRUE(Write(h, bytes, &written));
        EXPECT_EQ(written, bytes.size());
    }
    std::thread([&] { EXPECT_EQ(spl::CancelJob(id), static_cast<DWORD>(ERROR_SUCCESS)); }).join();
    ASSERT_TRUE(cut(0));
    EXPECT_FALSE(Write(h, bytes, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_TRUE(EndDocPrinter(h));
}

// Writes read the job's status only when some job's status changed; a
// cancel made by another process still stops the very next write.
TEST_F(JobsTest, CancelFromAnotherProcessStopsTheNextWrite) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Long job");
    DWORD written = 0;
    auto bytes = Pattern(512, 5);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(Write(h, bytes, &written));
    ASSERT_TRUE(
        platform_testing::RunInChildProcess([&] { return spl::CancelJob(id) == ERROR_SUCCESS; }));
    EXPECT_FALSE(Write(h, bytes, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(AbortPrinter(h));
    EXPECT_TRUE(Status(h, id) & JOB_STATUS_DELETED);
}

TEST_F(JobsTest, SetJobCancelThroughAnotherHandle) {
    HANDLE writer = Open(u"Office", PRINTER_ACCESS_USE);
    HANDLE admin = Open(u"Office");
    DWORD id = Start(writer, u"Doc");
    ASSERT_TRUE(SetJobA(admin, id, 0, nullptr, JOB_CONTROL_CANCEL));
    DWORD written = 0;
    EXPECT_FALSE(Write(writer, Pattern(8, 0), &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_TRUE(AbortPrinter(writer));
    EXPECT_TRUE(Status(admin, id) & JOB_STATUS_DELETED);
}

// Pages counted in batches still show at once in this process, and the end
// of the document writes every one of them.
TEST_F(JobsTest, EveryPageOfAFastJobIsCounted) {
    HANDLE h = Open(u"Office");
    DWORD id = Start(h, u"Fast");
    auto pages = [&] {
        auto one = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 1, b, n, needed); });
        return std::pair{As<JOB_INFO_1W>(one).TotalPages, As<JOB_INFO_1W>(one).PagesPrinted};
    };
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(StartPagePrinter(h));
        ASSERT_TRUE(EndPagePrinter(h));
        if (i == 0 || i == 149) {
            EXPECT_EQ(pages().first, static_cast<DWORD>(i + 1));
        }
    }
    ASSERT_TRUE(EndDocPrinter(h));
    EXPECT_EQ(pages(), std::pair(300u, 300u));
}

TEST_F(JobsTest, JobInformationLevels1And2) {
    auto dm = MakeDevmode(1100, 4);
    PRINTER_DEFAULTSW defaults{nullptr, reinterpret_cast<LPDEVMODEW>(dm.data()),
                               PRINTER_ACCESS_USE};
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &defaults));
    opened_.push_back(h);
    DWORD id = Start(h, u"Quarterly");
    ASSERT_TRUE(StartPagePrinter(h));
    ASSERT_TRUE(EndPagePrinter(h));
    ASSERT_TRUE(StartPagePrinter(h));
    DWORD written = 0;
    ASSERT_TRUE(Write(h, Pattern(300, 1), &written));

    auto one =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 1, b, n, needed); });
    const auto& j1 = As<JOB_INFO_1W>(one);
    EXPECT_EQ(j1.JobId, id);
    EXPECT_EQ(std::u16string(j1.pPrinterName), u"Office");
    EXPECT_EQ(std::u16string(j1.pDocument), u"Quarterly");
    EXPECT_EQ(std::u16string(j1.pUserName), spl::CurrentUserName());
    EXPECT_EQ(std::u16string(j1.pMachineName).substr(0, 2), u"\\\\");
    EXPECT_GT(std::u16string(j1.pMachineName).size(), 2u);
    EXPECT_EQ(std::u16string(j1.pDatatype), u"RAW");
    EXPECT_EQ(j1.pStatus, nullptr);
    EXPECT_EQ(j1.Status, static_cast<DWORD>(JOB_STATUS_SPOOLING));
    EXPECT_EQ(j1.Position, 1u);
    EXPECT_EQ(j1.TotalPages, 2u);
    EXPECT_GE(j1.Submitted.wYear, 2020);

    auto two =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 2, b, n, needed); });
    const auto& j2 = As<JOB_INFO_2W>(two);
    EXPECT_EQ(std::u16string(j2.pDriverName), kDriverName);
    EXPECT_EQ(std::u16string(j2.pPrintProcessor), u"winprint");
    EXPECT_EQ(j2.Size, 300u);
    ASSERT_NE(j2.pDevMode, nullptr);
    EXPECT_EQ(DevmodeBytes(j2.pDevMode), dm);

    auto a2 =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetJobA(h, id, 2, b, n, needed); });
    const auto& ja = As<JOB_INFO_2A>(a2);
    EXPECT_STREQ(ja.pDocument, "Quarterly");
    ASSERT_NE(ja.pDevMode, nullptr);
    WORD size;
    std::memcpy(&size, reinterpret_cast<const BYTE*>(ja.pDevMode) + 36, 2);
    EXPECT_EQ(size, 156);
    ASSERT_TRUE(EndDocPrinter(h));
}

// ANSI device modes of every size cross to the wide layout and back unchanged:
// the names are converted, the fixed fields and the private part are copied.
TEST_F(JobsTest, AnsiDeviceModesRoundTripAtEverySize) {
    struct Case {
        WORD ansiSize, extra, wideSize;
    } cases[] = {{40, 0, 72},    {70, 5, 102},     {80, 0, 122},
                 {102, 13, 166}, {156, 1100, 220}, {200, 3, 264}};
    for (const auto& c : cases) {
        std::vector<BYTE> ansi(c.ansiSize + c.extra);
        for (size_t i = 0; i < ansi.size(); ++i)
            ansi[i] = static_cast<BYTE>(0x41 + i % 23);
        std::memset(ansi.data(), 0, 32);
        std::memcpy(ansi.data(), "Office", 6);
        std::memcpy(&ansi[36], &c.ansiSize, 2);
        std::memcpy(&ansi[38], &c.extra, 2);
        if (c.ansiSize > 70) {
            std::memset(&ansi[70], 0, std::min<size_t>(32, c.ansiSize - 70));
            std::memcpy(&ansi[70], "A4", 2);
        }
        PRINTER_DEFAULTSA defaults{nullptr, reinterpret_cast<LPDEVMODEA>(ansi.data()),
                                   PRINTER_ACCESS_USE};
        HANDLE h = nullptr;
        ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Office"), &h, &defaults)) << c.ansiSize;
        opened_.push_back(h);
        DWORD id = Start(h, u"Sizes");
        auto wide = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 2, b, n, needed); });
        auto wideMode = DevmodeBytes(As<JOB_INFO_2W>(wide).pDevMode);
        EXPECT_EQ(wideMode.size(), static_cast<size_t>(c.wideSize + c.extra)) << c.ansiSize;
        EXPECT_EQ(wideMode[0], 'O');
        EXPECT_EQ(wideMode[1], 0);
        auto back = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetJobA(h, id, 2, b, n, needed); });
        const BYTE* a = reinterpret_cast<const BYTE*>(As<JOB_INFO_2A>(back).pDevMode);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(std::vector<BYTE>(a, a + ansi.size()), ansi) << c.ansiSize;
        EXPECT_TRUE(AbortPrinter(h));
    }
    // A size the wide layout cannot express is refused.
    std::vector<BYTE> huge(65535 + 4, 0);
    WORD size = 65535, extra = 4;
    std::memcpy(&huge[36], &size, 2);
    std::memcpy(&huge[38], &extra, 2);
    PRINTER_DEFAULTSA defaults{nullptr, reinterpret_cast<LPDEVMODEA>(huge.data()),
                               PRINTER_ACCESS_USE};
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("Office"), &h, &defaults));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(JobsTest, JobCarriesUserMachineAndSubmissionTime) {
    platform::test::SetUserName(u"carol");
    platform::test::SetComputerName(u"WS-17");
    platform::test::SetTimeZoneBias(-60); // UTC+1
    platform::test::SetLocalTime({2024, 3, 5, 14, 10, 30, 0, 0});
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Stamped");
    auto buffer =
        TwoCall([&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 2, b, n, needed); });
    const auto& job = As<JOB_INFO_2W>(buffer);
    EXPECT_EQ(std::u16string(job.pUserName), u"carol");
    EXPECT_EQ(std::u16string(job.pNotifyName), u"carol");
    EXPECT_EQ(std::u16string(job.pMachineName), u"\\\\WS-17");
    // Submitted is in UTC.
    EXPECT_EQ(job.Submitted.wYear, 2024);
    EXPECT_EQ(job.Submitted.wDay, 14);
    EXPECT_EQ(job.Submitted.wHour, 9);
    EXPECT_EQ(job.Submitted.wMinute, 30);
    EXPECT_TRUE(AbortPrinter(h));
}

TEST_F(JobsTest, JobCallErrors) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD needed = 0, written = 0;
    BYTE buffer[512];
    EXPECT_FALSE(GetJobW(h, 4711, 1, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WritePrinter(h, buffer, 4, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_FALSE(EndDocPrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_FALSE(AbortPrinter(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
    EXPECT_EQ(StartDocPrinterW(h, 1, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DOC_INFO_1W badType{const_cast<LPWSTR>(u"x"), nullptr, const_cast<LPWSTR>(u"???")};
    EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&badType)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATATYPE));
    DOC_INFO_1W unwritable{const_cast<LPWSTR>(u"x"), const_cast<LPWSTR>(u"/proc/no/such/file"),
                           nullptr};
    EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&unwritable)), 0u);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_TRUE(spl::Jobs(u"Office").empty()); // failed starts leave no job behind

    DWORD id = Start(h, u"x");
    EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&badType)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_STATE));
    EXPECT_FALSE(GetJobW(h, id, 3, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(WritePrinter(h, nullptr, 4, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(WritePrinter(h, buffer, 4, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A job belongs to its printer.
    InstallPrinter(u"Kitchen");
    HANDLE kitchen = Open(u"Kitchen");
    EXPECT_FALSE(GetJobW(kitchen, id, 1, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(EndDocPrinter(h));
}

// What the spool-side player does to give a replayed job its document name.
TEST_F(JobsTest, SetJobALevel1RenamesTheDocument) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"EMF");
    HANDLE player = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(const_cast<LPSTR>("Office"), &player, &all));
    DWORD needed = 0;
    ASSERT_FALSE(GetJobA(player, id, 1, nullptr, 0, &needed));
    const char name[] = "Annual report.doc";
    std::vector<BYTE> block(needed + sizeof name);
    ASSERT_TRUE(GetJobA(player, id, 1, block.data(), needed, &needed));
    std::memcpy(block.data() + needed, name, sizeof name);
    auto* info = reinterpret_cast<JOB_INFO_1A*>(block.data());
    info->pDocument = reinterpret_cast<LPSTR>(block.data() + needed);
    ASSERT_TRUE(SetJobA(player, id, 1, block.data(), 0));
    auto after =
        TwoCall([&](BYTE* b, DWORD n, DWORD* need) { return GetJobW(h, id, 1, b, n, need); });
    EXPECT_EQ(std::u16string(As<JOB_INFO_1W>(after).pDocument), u"Annual report.doc");
    EXPECT_EQ(As<JOB_INFO_1W>(after).Status, static_cast<DWORD>(JOB_STATUS_SPOOLING));
    EXPECT_TRUE(ClosePrinter(player));
    EXPECT_TRUE(EndDocPrinter(h));
}

TEST_F(JobsTest, JobControlCommands) {
    HANDLE h = Open(u"Office");
    DWORD id = Start(h, u"Doc");
    ASSERT_TRUE(EndDocPrinter(h));
    struct Case {
        DWORD command;
        DWORD set, clear;
    } cases[] = {
        {JOB_CONTROL_PAUSE, JOB_STATUS_PAUSED, 0},
        {JOB_CONTROL_RESUME, 0, JOB_STATUS_PAUSED},
        {JOB_CONTROL_RESTART, JOB_STATUS_RESTART, 0},
        {JOB_CONTROL_DELETE, JOB_STATUS_DELETED, 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SetJobW(h, id, 0, nullptr, c.command)) << c.command;
        DWORD status = Status(h, id);
        EXPECT_EQ(status & c.set, c.set) << c.command;
        EXPECT_EQ(status & c.clear, 0u) << c.command;
    }
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    EXPECT_FALSE(std::ifstream(job.outputPath).good());
    EXPECT_FALSE(SetJobW(h, id, 0, nullptr, 99));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetJobW(h, id, 1, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetJobW(h, 999, 0, nullptr, JOB_CONTROL_PAUSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Printed and deleted jobs stay on record; a printer's count of jobs and a
// job's place in its queue take only the jobs still waiting on that printer.
TEST_F(JobsTest, CountsAndPlacesTakeOnlyWaitingJobs) {
    auto jobsOf = [&](HANDLE printer) {
        auto buffer = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* need) { return GetPrinterW(printer, 2, b, n, need); });
        return buffer.empty() ? 0xFFFFFFFF : As<PRINTER_INFO_2W>(buffer).cJobs;
    };
    auto placeOf = [&](HANDLE printer, DWORD id) {
        auto buffer = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* need) { return GetJobW(printer, id, 1, b, n, need); });
        return buffer.empty() ? 0xFFFFFFFF : As<JOB_INFO_1W>(buffer).Position;
    };
    InstallPrinter(u"Lab");
    HANDLE lab = Open(u"Lab");
    Start(lab, u"elsewhere");
    HANDLE done = Open(u"Office");
    for (int i = 0; i < 3; ++i) {
        Start(done, u"printed");
        ASSERT_TRUE(EndDocPrinter(done));
    }
    DWORD deleted = Start(done, u"deleted");
    ASSERT_TRUE(SetJobW(done, deleted, 0, nullptr, JOB_CONTROL_DELETE));
    ASSERT_TRUE(EndDocPrinter(done));
    EXPECT_EQ(Status(done, deleted) & JOB_STATUS_DELETED, static_cast<DWORD>(JOB_STATUS_DELETED));

    HANDLE first = Open(u"Office"), second = Open(u"Office");
    DWORD one = Start(first, u"first waiting");
    DWORD two = Start(second, u"second waiting");
    EXPECT_EQ(jobsOf(done), 2u);
    EXPECT_EQ(jobsOf(lab), 1u);
    EXPECT_EQ(placeOf(done, one), 1u);
    EXPECT_EQ(placeOf(done, two), 2u);

    ASSERT_TRUE(EndDocPrinter(first));
    EXPECT_EQ(jobsOf(done), 1u);
    EXPECT_EQ(placeOf(done, one), 0u);
    EXPECT_EQ(placeOf(done, two), 1u);
    EXPECT_TRUE(EndDocPrinter(second));
    EXPECT_TRUE(EndDocPrinter(lab));
    EXPECT_EQ(jobsOf(done), 0u);
    EXPECT_EQ(jobsOf(lab), 0u);
}

TEST_F(JobsTest, OthersJobsNeedAdministration) {
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Mine");
    JOB_INFO_1W info{};
    info.pUserName = const_cast<LPWSTR>(u"someone else");
    ASSERT_TRUE(SetJobW(h, id, 1, reinterpret_cast<BYTE*>(&info), 0));
    EXPECT_FALSE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE admin = Open(u"Office");
    EXPECT_TRUE(SetJobW(admin, id, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_TRUE(EndDocPrinter(h));
}

TEST_F(JobsTest, ClosingWithAnOpenDocumentKeepsItsBytes) {
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, nullptr));
    DWORD id = Start(h, u"Forgotten");
    DWORD written = 0;
    auto bytes = Pattern(64, 9);
    ASSERT_TRUE(Write(h, bytes, &written));
    ASSERT_TRUE(ClosePrinter(h));
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    EXPECT_EQ(job.status, static_cast<DWORD>(JOB_STATUS_PRINTED));
    EXPECT_EQ(FileBytes(job.outputPath), bytes);
}

TEST_F(JobsTest, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 6;
    std::vector<DWORD> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HANDLE h = nullptr;
            PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
            ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &all));
            DOC_INFO_1W doc{const_cast<LPWSTR>(u"Parallel"), nullptr, nullptr};
            ids[t] = StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&doc));
            for (int i = 0; i < 20; ++i) {
                DWORD written = 0;
                EXPECT_TRUE(Write(h, Pattern(1000, static_cast<unsigned>(t * 100 + i)), &written));
            }
            std::u16string name = u"Thread" + std::u16string(1, static_cast<char16_t>(u'A' + t));
            DWORD value = static_cast<DWORD>(t);
            EXPECT_EQ(SetPrinterDataW(h, name.data(), 4, reinterpret_cast<BYTE*>(&value), 4),
                      static_cast<DWORD>(ERROR_SUCCESS));
            EXPECT_TRUE(EndDocPrinter(h));
            EXPECT_TRUE(ClosePrinter(h));
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(spl::PrinterData(u"Office").size(), static_cast<size_t>(kThreads));
    for (int t = 0; t < kThreads; ++t) {
        spl::JobRecord job;
        ASSERT_TRUE(spl::FindJob(ids[t], &job));
        std::vector<BYTE> expected;
        for (int i = 0; i < 20; ++i) {
            auto chunk = Pattern(1000, static_cast<unsigned>(t * 100 + i));
            expected.insert(expected.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(FileBytes(job.outputPath), expected) << t;
    }
}

TEST_F(JobsTest, DiscardedOutputIsCountedOnly) {
    spl::test::DiscardJobOutput(true);
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Bench");
    DWORD written = 0;
    ASSERT_TRUE(Write(h, Pattern(5000, 0), &written));
    EXPECT_EQ(written, 5000u);
    ASSERT_TRUE(EndDocPrinter(h));
    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(id, &job));
    EXPECT_EQ(job.size, 5000u);
    EXPECT_TRUE(job.outputPath.empty());
}

// The writer's process answers GetJob for its own job from what it read
// while nothing moved: a rename from another process, the end of an earlier
// job's writer and its own pages still show in the next answer.
TEST_F(JobsTest, TheWritersAnswersFollowChangesMadeElsewhere) {
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    pid_t earlier = fork();
    if (earlier == 0) {
        alarm(60);
        HANDLE h = nullptr;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
        DWORD id = 0;
        if (OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &defaults)) {
            DOC_INFO_1W info{const_cast<LPWSTR>(u"Earlier"), nullptr, nullptr};
            id = StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&info));
        }
        (void)!write(ready[1], &id, sizeof id);
        for (;;)
            pause(); // until killed
    }
    DWORD earlierJob = 0;
    ASSERT_EQ(read(ready[0], &earlierJob, sizeof earlierJob),
              static_cast<ssize_t>(sizeof earlierJob));
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_NE(earlierJob, 0u);

    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    DWORD id = Start(h, u"Mine");
    std::vector<BYTE> buffer;
    auto info = [&]() -> const JOB_INFO_1W& {
        buffer = TwoCall(
            [&](BYTE* b, DWORD n, DWORD* needed) { return GetJobW(h, id, 1, b, n, needed); });
        EXPECT_FALSE(buffer.empty());
        if (buffer.size() < sizeof(JOB_INFO_1W)) buffer.resize(sizeof(JOB_INFO_1W));
        return As<JOB_INFO_1W>(buffer);
    };
    ASSERT_TRUE(StartPagePrinter(h));
    EXPECT_EQ(info().TotalPages, 1u);
    EXPECT_EQ(info().Position, 2u);
    EXPECT_EQ(std::u16string(info().pDocument), u"Mine");

    ASSERT_TRUE(platform_testing::RunInChildProcess([&] {
        HANDLE other = nullptr;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
        if (!OpenPrinterW(const_cast<LPWSTR>(u"Office"), &other, &defaults)) return false;
        JOB_INFO_1W change{};
        change.pDocument = const_cast<LPWSTR>(u"Renamed");
        const bool ok = SetJobW(other, id, 1, reinterpret_cast<BYTE*>(&change), 0) != FALSE;
        ClosePrinter(other);
        return ok;
    }));
    EXPECT_EQ(std::u16string(info().pDocument), u"Renamed");

    ASSERT_EQ(kill(earlier, SIGKILL), 0);
    ASSERT_EQ(waitpid(earlier, nullptr, 0), earlier);
    EXPECT_EQ(info().Position, 1u);
    EXPECT_EQ(Status(h, earlierJob), static_cast<DWORD>(JOB_STATUS_ERROR | JOB_STATUS_DELETED));

    ASSERT_TRUE(EndPagePrinter(h));
    ASSERT_TRUE(StartPagePrinter(h));
    EXPECT_EQ(info().TotalPages, 2u);
    EXPECT_EQ(info().Status, static_cast<DWORD>(JOB_STATUS_SPOOLING));
    ASSERT_TRUE(EndDocPrinter(h));
    EXPECT_EQ(info().Status, static_cast<DWORD>(JOB_STATUS_PRINTED));
}

} // namespace
} // namespace spooler_test

namespace spooler_test {
namespace {

// A process killed while writing a job: until the spooler looks at the
// printer's jobs the job shows its writer gone; then it is failed and
// deleted with its spool file. A job whose writer lives on is left alone.
TEST_F(JobsTest, JobOfAKilledWriterIsFailedAndRemoved) {
    struct Writer {
        pid_t pid;
        DWORD job;
    };
    auto startWriter = [&](const char16_t* document) {
        int ready[2];
        EXPECT_EQ(pipe2(ready, O_CLOEXEC), 0);
        pid_t pid = fork();
        if (pid == 0) {
            alarm(60);
            HANDLE h = nullptr;
            PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
            DWORD id = 0;
            if (OpenPrinterW(const_cast<LPWSTR>(u"Office"), &h, &defaults)) {
                DOC_INFO_1W info{const_cast<LPWSTR>(document), nullptr, nullptr};
                id = StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&info));
                char bytes[100] = {};
                DWORD written = 0;
                if (id) WritePrinter(h, bytes, sizeof bytes, &written);
            }
            (void)!write(ready[1], &id, sizeof id);
            for (;;)
                pause(); // until killed
        }
        Writer w{pid, 0};
        EXPECT_EQ(read(ready[0], &w.job, sizeof w.job), static_cast<ssize_t>(sizeof w.job));
        ::close(ready[0]);
        ::close(ready[1]);
        return w;
    };
    Writer killed = startWriter(u"Killed");
    Writer living = startWriter(u"Living");
    ASSERT_NE(killed.job, 0u);
    ASSERT_NE(living.job, 0u);
    ASSERT_EQ(kill(killed.pid, SIGKILL), 0);
    ASSERT_EQ(waitpid(killed.pid, nullptr, 0), killed.pid);

    spl::JobRecord job;
    ASSERT_TRUE(spl::FindJob(killed.job, &job));
    EXPECT_EQ(job.status, static_cast<DWORD>(JOB_STATUS_SPOOLING));
    EXPECT_TRUE(job.writerGone);
    const std::string spoolFile = job.outputPath;
    EXPECT_TRUE(std::filesystem::exists(spoolFile));

    // The spooler looks at the printer's jobs.
    HANDLE h = Open(u"Office", PRINTER_ACCESS_USE);
    EXPECT_EQ(Status(h, killed.job), static_cast<DWORD>(JOB_STATUS_ERROR | JOB_STATUS_DELETED));
    ASSERT_TRUE(spl::FindJob(killed.job, &job));
    EXPECT_FALSE(job.writerGone);
    EXPECT_FALSE(std::filesystem::exists(spoolFile));
    EXPECT_EQ(Status(h, living.job), static_cast<DWORD>(JOB_STATUS_SPOOLING));
    ASSERT_TRUE(spl::FindJob(living.job, &job));
    EXPECT_FALSE(job.writerGone);

    kill(living.pid, SIGKILL);
    waitpid(living.pid, nullptr, 0);
    // The next document on the printer clears the other one too.
    Start(h, u"Next");
    ASSERT_TRUE(EndDocPrinter(h));
    ASSERT_TRUE(spl::FindJob(living.job, &job));
    EXPECT_EQ(job.status, static_cast<DWORD>(JOB_STATUS_ERROR | JOB_STATUS_DELETED));
}

} // namespace
} // namespace spooler_test
