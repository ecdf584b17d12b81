// With the UI library installed, the graphics core asks its model queries
// through it, has it make the default device mode, and hands it the
// department code at the start and the end of the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform_testing/child_process.h"
#include "render_fixture.h"
#include "win/base.h"

namespace {

using namespace render_test;
namespace priv = inkforge::priv;

class UiLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", SampleModel("CX5540"));
        std::u16string path = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\Sheetwright.DLL";
        std::filesystem::copy_file(FAKE_UI_PATH, platform::HostPath(path));
        ui = LoadLibraryW(path.c_str());
        ASSERT_NE(ui, nullptr);
        calls = reinterpret_cast<long (*)(const char*)>(
            reinterpret_cast<void (*)()>(GetProcAddress(ui, "FakeUiCalls")));
        notes = reinterpret_cast<const char* (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(ui, "FakeUiNotes")));
        ASSERT_TRUE(calls && notes);
    }
    void TearDown() override {
        if (ui) FreeLibrary(ui);
    }
    HMODULE ui = nullptr;
    long (*calls)(const char*) = nullptr;
    const char* (*notes)() = nullptr;
};

TEST_F(UiLibraryTest, DefaultDeviceModeAndModelQueriesComeFromTheUiLibrary) {
    JobResult r = PrintBlankPages(u"P1", nullptr, 2);
    ASSERT_GT(r.startDoc, 0);
    EXPECT_EQ(calls("uiReviseDevmodeEx 1"), 1);
    EXPECT_EQ(calls("uiReviseDevmodeEx 2"), 1);
    EXPECT_GT(calls("uiGetMyPrinterInfo"), 10);
    streamdump::Decoding d = streamdump::Decode(r.stream);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    std::vector<std::string> o = Outline(d, r.stream), lines = PjlLines(d);
    // The UI library's defaults: A4, and two copies from its second step.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET PAPER=A4"), lines.end());
    EXPECT_NE(std::find(o.begin(), o.end(), "O 02 00"), o.end()) << streamdump::Format(d);
    EXPECT_NE(std::find(o.begin(), o.end(), "k 09"), o.end());
}

TEST_F(UiLibraryTest, DepartmentCodeAtTheFirstPageAndAtTheEnd) {
    for (WORD flags : {0, 2}) {
        inkforge::DevmodeImage dm = OwnDevmode();
        std::memcpy(dm.priv + priv::DeptCode, "1234", 4);
        inkforge::SetPrivU16(dm, priv::DeptCounterFlags, flags);
        long before = calls("uiSetDeptCode");
        JobResult r = PrintBlankPages(u"P1", &dm.dm, 1);
        ASSERT_GT(r.startDoc, 0);
        EXPECT_EQ(calls("uiSetDeptCode"), before + 1);
        std::string n = notes();
        // The code is kept only when the device mode says to save it.
        EXPECT_NE(n.rfind(flags ? "set block=yes code=1234" : "set block=yes code=\n"),
                  std::string::npos)
            << n;
    }
    EXPECT_EQ(calls("uiGetDeptCode"), 2);
    EXPECT_NE(std::string(notes()).find("get block=yes devmode=yes"), std::string::npos);
}

// The model's answers are kept for the job: later pages ask the UI library
// nothing the first pages asked, until another process changes the driver's
// record, after which the next page asks again.
TEST_F(UiLibraryTest, PagesAskTheModelAgainOnlyAfterTheDriverChanged) {
    const std::u16string folder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\P1\\";
    std::filesystem::copy_file(platform::HostPath(folder + u"MODEL.DAT"),
                               platform::HostPath(folder + u"MODEL2.DAT"));
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
    ASSERT_NE(hdc, nullptr);
    DOCINFOW di{sizeof di, u"Report", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    ASSERT_GT(job, 0);
    auto page = [&] {
        long before = calls("uiGetMyPrinterInfo");
        EXPECT_GT(StartPage(hdc), 0);
        EXPECT_GT(EndPage(hdc), 0);
        return calls("uiGetMyPrinterInfo") - before;
    };
    page();
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(page(), 0);
    // In a process of its own, with its own database connection: the
    // driver's record names a copy of the model data.
    ASSERT_TRUE(platform_testing::RunInChildProcess([&] {
        platform::spooler::DriverRecord d;
        if (!platform::spooler::FindDriver(u"P1 Driver", &d)) return false;
        d.dataFile = folder + u"MODEL2.DAT";
        return platform::spooler::AddDriver(d) == ERROR_SUCCESS;
    }));
    EXPECT_GT(page(), 0);
    EXPECT_EQ(page(), 0);
    EXPECT_GT(EndDoc(hdc), 0);
    EXPECT_TRUE(DeleteDC(hdc));
    streamdump::Decoding d = streamdump::Decode(JobOutput(static_cast<DWORD>(job)));
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
}

} // namespace
