// The "&Printer Status..." launch against the real Statuslens and the
// stand-in monitor program: what the user is told for each of its answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "status_monitor.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/spool.h"

namespace fs = std::filesystem;

namespace {

using namespace sheetwright;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"Monitored";
constexpr char kProgramKey[] = "SOFTWARE\\WOW6432node\\TOVA\\Velmora-ORX\\Network MFPStatus";

void SetProgramPath(const std::string& value) {
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &made, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(made, "NexoviewPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(made);
}

HWND WaitForTitle(const char16_t* title) {
    for (int i = 0; i < 1000; ++i) {
        if (HWND found = FindWindowW(nullptr, title)) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

class StatusLaunch : public ui_test::PageSheet {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"),
                                {"Resbundle.DLL", "Statuslens.DLL"});
        OpenPrinter(kPrinter);
    }
    void TearDown() override {
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"StatusMonitorStandinQuit"), 0, 0);
        for (const auto& launch : platform::test::ProcessLaunches())
            for (int i = 0; i < 1000 && platform::ProcessStarted(launch.processId) != -1; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        PageSheet::TearDown();
    }
};

TEST_F(StatusLaunch, EveryAnswerIsTold) {
    ui_test::SheetParams p(printer_, kPrinter, kSheetDocument);
    CTovaUi16 app;
    SheetContext* context = CreateSheetContext(&p.params);
    ASSERT_NE(context, nullptr);
    SelPortInfo* const made = context->portInfo.record;
    int record = 0;
    context->portInfo.record = reinterpret_cast<SelPortInfo*>(&record);
    context->portInfo.connection = 3;
    std::strcpy(context->portInfo.address, "10.0.0.7");

    const std::u16string program = u"C:\\Program Files\\Device Monitor\\monitor.exe";
    fs::create_directories(fs::path(platform::HostPath(program)).parent_path());
    struct Case {
        const char* what;
        std::function<void()> before;
        const char16_t* text; // nullptr: nothing shown
        UINT icon;
    } cases[] = {
        {"no program registered", [] {}, u"Device Monitor is not installed.", MB_ICONHAND},
        {"the program's file is missing", [&] { SetProgramPath(platform::ToUtf8(program)); },
         u"Executing the Device Monitor failed.", MB_ICONHAND},
        {"the program starts", [&] { fs::copy_file(MONITOR_STANDIN, platform::HostPath(program)); },
         u"Device Monitor is initializing.", MB_ICONINFORMATION},
        {"the device's monitor runs",
         [] { ASSERT_NE(WaitForTitle(u"Status Monitor - 10.0.0.7"), nullptr); }, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        const size_t before = ut::MessageBoxLog().size();
        if (c.text) ut::AnswerNextMessageBox(IDOK);
        LaunchStatusMonitor(nullptr, context, u"IP_10.0.0.7");
        const std::vector<ut::MessageBoxCall> boxes = ut::MessageBoxLog();
        ASSERT_EQ(boxes.size(), before + (c.text ? 1 : 0));
        if (c.text) {
            EXPECT_EQ(boxes.back().text, c.text);
            EXPECT_EQ(boxes.back().caption, u"Printer Status");
            EXPECT_EQ(boxes.back().type & 0xF0, c.icon);
        }
    }
    EXPECT_EQ(platform::test::ProcessLaunches().size(), 1u);
    context->portInfo.record = made;
    FreeSheetContext(context);
}

} // namespace
