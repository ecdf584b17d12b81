// Job prompts, the prior-print check and the pre-check cancel bracket, with a
// recording job-prompt program and a stand-in UI library in the printer's
// driver folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "hooks.h"
#include "job_handoffs.h"
#include "platform/facts.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/spooler_ctl.h"
#include "prompt_blocks.h"
#include "render_fixture.h"
#include "win/base.h"
#include "win/gdi.h"

namespace {

using namespace render_test;
using namespace inkforge;
namespace fs = std::filesystem;

std::string Field(const Bytes& b, size_t at, size_t n) {
    if (at >= b.size()) return {};
    n = std::min(n, b.size() - at);
    const char* p = reinterpret_cast<const char*>(b.data() + at);
    return std::string(p, strnlen(p, n));
}
DWORD U32At(const Bytes& b, size_t at) {
    DWORD v = 0;
    if (at + 4 <= b.size()) std::memcpy(&v, b.data() + at, 4);
    return v;
}
std::u16string WideAt(const Bytes& b, size_t at, size_t chars) {
    std::u16string s;
    for (size_t i = 0; i < chars && at + 2 * i + 1 < b.size(); ++i) {
        char16_t c = static_cast<char16_t>(b[at + 2 * i] | (b[at + 2 * i + 1] << 8));
        if (!c) break;
        s += c;
    }
    return s;
}

class JobPromptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", SampleModel("CX5540"));
        folder = platform::spooler::DriversFolder() + u"\\P1\\";
        host = platform::HostPath(folder);
        fs::copy_file(FAKE_UI_PATH, host + "/Sheetwright.DLL");
        fs::copy_file(RECORDING_PROMPT_PATH, host + "/Jobprompt.EXE");
        ui = LoadLibraryW((folder + u"Sheetwright.DLL").c_str());
        ASSERT_NE(ui, nullptr);
        calls = reinterpret_cast<long (*)(const char*)>(
            reinterpret_cast<void (*)()>(GetProcAddress(ui, "FakeUiCalls")));
        notes = reinterpret_cast<const char* (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(ui, "FakeUiNotes")));
        answers = reinterpret_cast<void (*)(int, int)>(
            reinterpret_cast<void (*)()>(GetProcAddress(ui, "FakeUiSetAnswers")));
        ASSERT_TRUE(calls && notes && answers);
        // The inner functions find the program beside the driver's own module.
        besides = LoadLibraryW((folder + u"Modelsmith.DLL").c_str());
        SetDriverModule(besides);
    }
    void TearDown() override {
        answers(0, 1);
        SetDriverModule(nullptr);
        if (besides) FreeLibrary(besides);
        if (ui) FreeLibrary(ui);
    }
    void Script(const std::string& line) {
        std::ofstream(host + "/Jobprompt.script") << line << "\n";
    }
    Bytes Record(const std::string& block) { return ReadHostFile(host + "/" + block + ".rec"); }

    std::u16string folder;
    std::string host;
    HMODULE ui = nullptr, besides = nullptr;
    long (*calls)(const char*) = nullptr;
    const char* (*notes)() = nullptr;
    void (*answers)(int, int) = nullptr;
};

TEST(PromptBlocks, LayoutsOfTheThreeKinds) {
    DevmodeImage d = OwnDevmode();
    SetPrivU16(d, priv::JobType, 3);
    std::memcpy(d.priv + priv::SecureBoxId, "BOX7", 4);
    std::memcpy(d.priv + priv::MailboxId, "mbx", 3);
    std::memcpy(d.priv + priv::SecurePassword, "pw", 2);
    std::memcpy(d.priv + priv::DeptCode, "D42", 3);
    std::memset(d.priv + priv::JobName, 'J', priv::JobNameSize); // no NUL in the device mode
    std::memcpy(d.priv + priv::UserName, "bob", 3);
    SetPrivU16(d, priv::DeptCounterFlags, 6);
    SetPrivU32(d, priv::JobInfoFlags, 0x30000);
    PromptPaths paths{u"C:\\d\\Sheetwright.DLL", u"C:\\d\\MODEL.DAT"};

    Bytes k4 = BuildJobPromptBlock(4, d, false, paths, "P1");
    ASSERT_EQ(k4.size(), 1103u);
    EXPECT_EQ(U32At(k4, 0), 0x11223344u);
    EXPECT_EQ(U32At(k4, 4), 1103u);
    EXPECT_EQ(WideAt(k4, 8, 260), u"C:\\d\\Sheetwright.DLL");
    EXPECT_EQ(WideAt(k4, 528, 260), u"C:\\d\\MODEL.DAT");
    EXPECT_EQ(U32At(k4, 1048), 4u);
    EXPECT_EQ(U32At(k4, 1052), 0u);
    EXPECT_EQ(U32At(k4, 1056), 1100u);
    EXPECT_EQ(U32At(k4, 1060), 40u);
    EXPECT_EQ(U32At(k4, 1064), 6u);
    EXPECT_EQ(Field(k4, 1068, 32), "D42");
    EXPECT_EQ(Field(k4, 1100, 3), "P1");
    EXPECT_EQ(k4[1102], 0);

    Bytes k1 = BuildJobPromptBlock(1, d, true, paths, "P1");
    ASSERT_EQ(k1.size(), 1135u);
    EXPECT_EQ(U32At(k1, 1056), 1132u);
    EXPECT_EQ(k1[1060] | k1[1061] << 8, 72);
    EXPECT_EQ(k1[1062] | k1[1063] << 8, 3);
    EXPECT_EQ(U32At(k1, 1064), 1u);
    EXPECT_EQ(Field(k1, 1068, 32), "BOX7"); // job type 3: the box ID
    EXPECT_EQ(Field(k1, 1100, 32), "pw");

    Bytes k8 = BuildJobPromptBlock(8, d, false, paths, "");
    ASSERT_EQ(k8.size(), 1296u); // no printer name: just the name offset
    EXPECT_EQ(U32At(k8, 1056), 1296u);
    EXPECT_EQ(U32At(k8, 1064), 0u);
    EXPECT_EQ(U32At(k8, 1132), 124u);
    EXPECT_EQ(U32At(k8, 1136), 0x30000u);
    EXPECT_EQ(Field(k8, 1140, 84), std::string(83, 'J')); // cut within the field, NUL kept
    EXPECT_EQ(Field(k8, 1224, 32), "bob");
    EXPECT_EQ(U32At(k8, 1256), 40u);
    EXPECT_EQ(Field(k8, 1264, 32), "D42");

    EXPECT_TRUE(BuildJobPromptBlock(2, d, false, paths, "P1").empty());

    Bytes pc = BuildPreCheckBlock(d, paths, u"P1", u"SRV\\LPT1:");
    ASSERT_EQ(pc.size(), 6u + 20u + 1320u + 1060u);
    EXPECT_EQ(std::memcmp(pc.data(), "prek", 4), 0);
    EXPECT_EQ(U32At(pc, 4), 1u); // starts as "print"
    EXPECT_EQ(WideAt(pc, 8, 260), u"C:\\d\\MODEL.DAT");
    EXPECT_EQ(WideAt(pc, 528, 260), u"C:\\d\\Sheetwright.DLL");
    EXPECT_EQ(U32At(pc, 1048), 6u);
    EXPECT_EQ(U32At(pc, 1052), 20u);
    EXPECT_EQ(WideAt(pc, 1056, 3), u"P1");
    EXPECT_EQ(WideAt(pc, 1062, 10), u"SRV\\LPT1:");
    EXPECT_EQ(std::memcmp(pc.data() + 1082, &d, 1320), 0);
}

TEST(PromptBlocks, AnswersAreCutToTheirFields) {
    DevmodeImage d = OwnDevmode();
    Bytes block = BuildJobPromptBlock(8, d, false, {}, "P1");
    std::memset(block.data() + 1068, 'I', 32);
    std::memset(block.data() + 1100, 'P', 32);
    std::memset(block.data() + 1264, 'D', 32);
    TakeJobPromptAnswers(8, block.data(), block.size(), &d);
    EXPECT_EQ(Field(Bytes(d.priv, d.priv + sizeof d.priv), priv::MailboxId, 32),
              std::string(31, 'I'));
    EXPECT_EQ(d.priv[priv::MailboxId + 31], 0);
    EXPECT_EQ(d.priv[priv::SecurePassword + 31], 0);
    EXPECT_EQ(Field(Bytes(d.priv, d.priv + sizeof d.priv), priv::DeptCode, 32),
              std::string(31, 'D'));
    // A block cut short gives what lies within it, never a read past it.
    DevmodeImage e = OwnDevmode();
    std::memcpy(e.priv + priv::DeptCode, "old", 3);
    TakeJobPromptAnswers(4, block.data(), 1070, &e);
    EXPECT_EQ(Field(Bytes(e.priv, e.priv + sizeof e.priv), priv::DeptCode, 32), "II");
    TakeJobPromptAnswers(4, block.data(), 1000, &e);
    EXPECT_EQ(Field(Bytes(e.priv, e.priv + sizeof e.priv), priv::DeptCode, 32), "");
}

TEST_F(JobPromptTest, KindsOneAndEightConfirmedInTheConsoleUsersSession) {
    TestDevice dev(u"P1", false);
    dev->jobId = 12;
    dev->osVersion = 0x60001;
    dev->jobFlags |= job::AskJobData;
    SetPrivU16(dev->devmode, priv::JobType, 3);
    Script("ok BOX9 secret 777");
    EXPECT_EQ(StartJobPrompt(dev.get(), kPromptJobData), 0);
    Bytes rec = Record("VELMJOB0012");
    ASSERT_EQ(rec.size(), 1135u);
    EXPECT_EQ(U32At(rec, 1048), 1u);
    EXPECT_EQ(U32At(rec, 1064), 1u);
    EXPECT_EQ(WideAt(rec, 8, 260), folder + u"Sheetwright.DLL");
    EXPECT_EQ(WideAt(rec, 528, 260), folder + u"MODEL.DAT");
    EXPECT_EQ(Field(rec, 1132, 3), "P1");
    EXPECT_EQ(Field(Bytes(dev->devmode.priv, dev->devmode.priv + 1100), priv::SecureBoxId, 32),
              "BOX9");
    EXPECT_EQ(Field(Bytes(dev->devmode.priv, dev->devmode.priv + 1100), priv::SecurePassword, 32),
              "secret");
    auto launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_TRUE(launches[0].asUser);
    EXPECT_EQ(launches[0].sessionId, 1u);
    EXPECT_EQ(launches[0].creationFlags & CREATE_NEW_CONSOLE,
              static_cast<DWORD>(CREATE_NEW_CONSOLE));
    EXPECT_EQ(launches[0].showWindow, SW_SHOW);
    ASSERT_EQ(launches[0].arguments.size(), 2u);
    EXPECT_EQ(launches[0].arguments[1], u"VELMJOB0012");
    EXPECT_FALSE(dev->jobFlags & job::PromptRefused);

    // Kind 8, answers that fill their fields: each is cut to its field less one.
    Script("long");
    EXPECT_EQ(StartJobPrompt(dev.get(), kPromptCombined), 0);
    EXPECT_EQ(Record("VELMJOB0012").size(), 1299u);
    Bytes p(dev->devmode.priv, dev->devmode.priv + 1100);
    EXPECT_EQ(Field(p, priv::SecureBoxId, 32), std::string(31, 'Z'));
    EXPECT_EQ(Field(p, priv::DeptCode, 32), std::string(31, 'Z'));
    EXPECT_EQ(p[priv::SecurePassword + 31], 0);
}

TEST_F(JobPromptTest, RefusalsCancelHangCrashAndNoUserToken) {
    struct Case {
        const char* script;
        int kind;
    } cases[] = {{"cancel", 1}, {"crash", 4}, {"hang", 8}};
    // Long enough for a loaded machine to start the program and let it record
    // its block before the hanging one is given up on.
    platform::test::LimitWaitTimeouts(5000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TestDevice dev(u"P1", false);
        dev->jobId = 3;
        dev->osVersion = 0x50001; // no session tokens: started directly
        Script(c.script);
        EXPECT_EQ(StartJobPrompt(dev.get(), c.kind), 1);
        EXPECT_TRUE(dev->jobFlags & job::PromptRefused);
        EXPECT_EQ(U32At(Record("VELMJOB0003"), 1048), static_cast<DWORD>(c.kind));
    }
    auto launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 3u);
    for (const auto& l : launches)
        EXPECT_FALSE(l.asUser);
}

TEST_F(JobPromptTest, NoProgramOrABlockThatExistsFails) {
    TestDevice dev(u"P1", false);
    dev->jobId = 5;
    Script("ok a b c");
    HANDLE squatter =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, u"VELMJOB0005");
    ASSERT_NE(squatter, nullptr);
    EXPECT_EQ(StartJobPrompt(dev.get(), kPromptDeptCode), 2);
    CloseHandle(squatter);
    EXPECT_TRUE(platform::test::ProcessLaunches().empty());
    fs::remove(host + "/Jobprompt.EXE");
    EXPECT_EQ(StartJobPrompt(dev.get(), kPromptDeptCode), 2);
    EXPECT_EQ(StartJobPrompt(dev.get(), kPromptJobInfo), 2);
    EXPECT_EQ(kPromptWaitTimeout, 600000u);
}

TEST_F(JobPromptTest, RefusedJobCountsItsPagesAndWritesNothing) {
    for (const char* script : {"cancel", "crash"}) {
        SCOPED_TRACE(script);
        DevmodeImage d = OwnDevmode();
        SetPrivU16(d, priv::DeptCounterFlags, 4);
        Script(script);
        JobResult r = PrintBlankPages(u"P1", &d.dm, 3);
        ASSERT_GT(r.startDoc, 0);
        EXPECT_EQ(r.pagesOk, 3);
        EXPECT_EQ(r.endDoc, 1);
        EXPECT_TRUE(r.stream.empty()) << r.stream.size();
    }
}

// A prompt that nobody could be asked (no job-prompt program here) prints
// nothing either, but the application is told: its page fails.
TEST_F(JobPromptTest, APromptThatCannotRunFailsThePageAndPrintsNothing) {
    fs::remove(host + "/Jobprompt.EXE");
    DevmodeImage d = OwnDevmode();
    SetPrivU16(d, priv::DeptCounterFlags, 4);
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Report", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    SetLastError(0);
    EXPECT_LE(StartPage(hdc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    AbortDoc(hdc);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_TRUE(JobOutput(static_cast<DWORD>(job)).empty());
}

TEST_F(JobPromptTest, ConfirmedDepartmentCodeReachesTheJob) {
    DevmodeImage d = OwnDevmode();
    SetPrivU16(d, priv::DeptCounterFlags, 4 | 2);
    Script("ok - - 4321");
    JobResult r = PrintBlankPages(u"P1", &d.dm, 2);
    ASSERT_GT(r.startDoc, 0);
    EXPECT_EQ(r.pagesOk, 2);
    EXPECT_FALSE(r.stream.empty());
    char name[32];
    std::snprintf(name, sizeof name, "VELMJOB%04d", r.startDoc);
    EXPECT_EQ(U32At(Record(name), 1048), 4u);
    EXPECT_NE(std::string(notes()).find("set block=yes code=4321"), std::string::npos) << notes();
}

// The job-prompt hand-off with each platform call it reaches failing in
// turn: a failure is the job's error, never a job that quietly prints nothing
// as if the person had refused the prompt.
TEST_F(JobPromptTest, EveryPlatformCallOfAPromptedJobFailingInTurn) {
    DevmodeImage d = OwnDevmode();
    SetPrivU16(d, priv::DeptCounterFlags, 4 | 2);
    Script("ok - - 4321");
    SYSTEMTIME noon{2024, 3, 5, 12, 12, 0, 0, 0};
    platform::test::SetLocalTime(noon);
    platform_testing::FaultTableOptions options;
    options.mayChangeOutput = {"GetComputerNameW", "GetUserNameW", "GetVersionExA"};
    EXPECT_GT(platform_testing::RunFaultTable([&] { return PrintDrawnJob(&d.dm); }, options), 10);
}

TEST_F(JobPromptTest, PriorPrintCheckThroughTheProgram) {
    TestDevice dev(u"P1", false);
    dev->jobId = 9;
    SetPrivU32(dev->devmode, priv::JobCheckFlags, 8);
    SetPrivU16(dev->devmode, priv::PriorPrintOn, 1);
    SetPrivU16(dev->devmode, priv::ColorMode, 1);

    Script("precheck 1 color");
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 1);
    Bytes rec = Record("PRECHECK_MAPPING_NAME_00009");
    ASSERT_EQ(rec.size(), 1060u + 6u + 12u + 1320u);
    EXPECT_EQ(std::memcmp(rec.data(), "prek", 4), 0);
    EXPECT_EQ(U32At(rec, 4), 1u);
    EXPECT_EQ(WideAt(rec, 8, 260), folder + u"MODEL.DAT");
    EXPECT_EQ(WideAt(rec, 528, 260), folder + u"Sheetwright.DLL");
    EXPECT_EQ(WideAt(rec, 1056, 3), u"P1");
    EXPECT_EQ(WideAt(rec, 1062, 6), u"LPT1:");
    EXPECT_EQ(PrivU16(dev->devmode, priv::ColorMode), 2);
    EXPECT_TRUE(dev->reapply);
    EXPECT_EQ(dev->reapplyColorMode, 2);
    auto launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].creationFlags & NORMAL_PRIORITY_CLASS,
              static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(launches[0].arguments.back(), u"PRECHECK_MAPPING_NAME_00009");

    // A device mode of another size is not taken.
    SetPrivU16(dev->devmode, priv::ColorMode, 1);
    Script("precheck 1 resize");
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 1);
    EXPECT_EQ(dev->devmode.dm.dmSize, 220);
    EXPECT_EQ(PrivU16(dev->devmode, priv::ColorMode), 1);

    Script("precheck 0");
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 0);
    // A crash leaves the word as it started: print.
    Script("crash");
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 1);
    // Nobody answers: refused.
    platform::test::LimitWaitTimeouts(300);
    Script("hang");
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 0);

    // Without the program the UI library checks in this process.
    fs::remove(host + "/Jobprompt.EXE");
    answers(0, 0);
    EXPECT_EQ(RunDeptCodeStep(dev.get()), 0);
    EXPECT_EQ(calls("uiCheckPriorPrint"), 1);
    EXPECT_NE(std::string(notes()).find("prior port=LPT1: mode=1"), std::string::npos);
}

TEST_F(JobPromptTest, PreCheckCancelBracket) {
    DevmodeImage d = OwnDevmode();
    SetPrivU32(d, priv::JobCheckFlags, 8);
    SetPrivU16(d, priv::PriorPrintOn, 1);
    Script("precheck 0");

    // The UI library takes the refused job over: pages are counted, nothing is
    // written, and the bracket closes at the end of the document.
    answers(1, 1);
    JobResult taken = PrintBlankPages(u"P1", &d.dm, 2);
    ASSERT_GT(taken.startDoc, 0);
    EXPECT_EQ(taken.pagesOk, 2);
    EXPECT_EQ(taken.endDoc, 1);
    EXPECT_TRUE(taken.stream.empty());
    EXPECT_EQ(calls("uiPreCheckCancelJob"), 1);
    EXPECT_EQ(calls("uiPostCheckCancelJob"), 1);
    EXPECT_NE(std::string(notes()).find("post mode=1 cookie=4660"), std::string::npos) << notes();

    // Not taken over: the job is cancelled.
    answers(0, 1);
    JobResult cancelled = PrintBlankPages(u"P1", &d.dm, 2);
    ASSERT_GT(cancelled.startDoc, 0);
    EXPECT_EQ(cancelled.pagesOk, 0);
    EXPECT_TRUE(cancelled.stream.empty());
    EXPECT_EQ(calls("uiPostCheckCancelJob"), 1);
}

TEST_F(JobPromptTest, PrintToAnExistingFileSkipsThePriorPrintCheck) {
    DevmodeImage d = OwnDevmode();
    SetPrivU32(d, priv::JobCheckFlags, 8);
    SetPrivU16(d, priv::PriorPrintOn, 1);
    Script("precheck 0");
    std::ofstream(platform::HostPath(u"C:\\out.prn")) << "";
    for (const char16_t* name : {u"C:\\out.prn", u"out.prn", u"C:\\missing.prn"}) {
        SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
        HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
        ASSERT_NE(hdc, nullptr);
        std::u16string file(name);
        ASSERT_EQ(ExtEscape(hdc, 32767, static_cast<int>((file.size() + 1) * 2),
                            reinterpret_cast<LPCSTR>(file.c_str()), 0, nullptr),
                  1);
        DOCINFOW di{sizeof(DOCINFOW), u"Doc", nullptr, nullptr, 0};
        ASSERT_GT(StartDocW(hdc, &di), 0);
        bool toDisk = file == u"C:\\out.prn";
        // To disk the check does not run and the page prints; otherwise the
        // refused check (not taken over) cancels the job.
        EXPECT_EQ(StartPage(hdc) > 0, toDisk);
        if (toDisk) {
            EXPECT_GT(EndPage(hdc), 0);
        }
        EndDoc(hdc);
        DeleteDC(hdc);
    }
    EXPECT_EQ(platform::test::ProcessLaunches().size(), 2u);
}

TEST_F(JobPromptTest, CountedOnlyJobReportsItsPagesBegun) {
    DevmodeImage d = OwnDevmode();
    SetPrivU16(d, priv::DeptCounterFlags, 4);
    Script("cancel");
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, &d.dm);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"Doc", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    DWORD state = 0;
    ASSERT_EQ(ExtEscape(hdc, 32764, 0, nullptr, 4, reinterpret_cast<LPSTR>(&state)), 1);
    EXPECT_EQ(state, 2u);
    EXPECT_GT(StartPage(hdc), 0);
    ASSERT_EQ(ExtEscape(hdc, 32764, 0, nullptr, 4, reinterpret_cast<LPSTR>(&state)), 1);
    EXPECT_EQ(state, 6u);
    EXPECT_GT(EndPage(hdc), 0);
    EXPECT_GT(EndDoc(hdc), 0);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_TRUE(JobOutput(static_cast<DWORD>(job)).empty());
}

} // namespace
