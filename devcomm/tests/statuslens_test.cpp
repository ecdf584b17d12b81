// Statuslens against the stand-in status-monitor program, each run as its own
// process of the machine root: a monitor found by the device list's display
// name or by the address and raised, a running program that blocks a second
// start, the program started from its registered path.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devcomm/statuslens.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/ini.h"
#include "win/process.h"
#include "win/registry.h"
#include "win/user.h"

namespace fs = std::filesystem;

namespace {

constexpr char kListKey[] = "SOFTWARE\\TOVA\\Velmora-ORX\\Network MFPList";
constexpr char kProgramKey[] = "SOFTWARE\\WOW6432node\\TOVA\\Velmora-ORX\\Network MFPStatus";

void SetRegistryText(const char* key, const char* name, const std::string& value) {
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &made, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(made, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(made);
}

std::string ReadHostFile(const char16_t* file) {
    std::ifstream in(platform::HostPath(file));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Statuslens : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(PKG_DRIVER_DIR);
        library_ = LoadLibraryW(u"Statuslens.DLL");
        ASSERT_NE(library_, nullptr) << GetLastError();
        call_ = reinterpret_cast<PFN_CallStatusmonitor>(
            reinterpret_cast<void (*)()>(GetProcAddress(library_, "CallStatusmonitor")));
        ASSERT_NE(call_, nullptr);
        // The device list, with the device "Office" at 192.168.0.5.
        CreateDirectoryW(u"C:\\Monitor", nullptr);
        ASSERT_TRUE(WritePrivateProfileStringA("Devices", "Office", "01,02,192.168.0.5,x",
                                               "C:\\Monitor\\MfpList.ini"));
        ASSERT_TRUE(WritePrivateProfileStringA("Devices", "Short", "01,192.168.0.9",
                                               "C:\\Monitor\\MfpList.ini"));
        SetRegistryText(kListKey, "IniFilePath", "C:\\Monitor");
    }
    void TearDown() override {
        // Every stand-in, ours and those the launcher started, ends on this.
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(u"StatusMonitorStandinQuit"), 0, 0);
        for (PROCESS_INFORMATION& p : peers_) {
            if (WaitForSingleObject(p.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(p.hProcess, 1);
            WaitForSingleObject(p.hProcess, INFINITE);
            CloseHandle(p.hThread);
            CloseHandle(p.hProcess);
        }
        for (const auto& launch : platform::test::ProcessLaunches())
            for (int i = 0; i < 1000 && platform::ProcessStarted(launch.processId) != -1; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        if (library_) FreeLibrary(library_);
    }
    // Starts the stand-in with `arguments` and waits until `title` shows.
    HWND StartStandin(const std::u16string& arguments, const std::u16string& title) {
        std::u16string commandLine =
            u"\"" + platform::WindowsPath(MONITOR_STANDIN) + u"\" " + arguments;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION p{};
        EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &p))
            << GetLastError();
        peers_.push_back(p);
        return WaitForTitle(title);
    }
    static HWND WaitForTitle(const std::u16string& title) {
        for (int i = 0; i < 1000; ++i) {
            if (HWND found = FindWindowW(nullptr, title.c_str())) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return nullptr;
    }
    int Call(const char* address) {
        StatusMonitorRequest request{};
        std::strncpy(request.address, address, sizeof request.address - 1);
        return call_(&request);
    }
    // The stand-in's copy under a folder with a blank, as the registry names it.
    std::string InstallProgram() {
        const std::u16string path = u"C:\\Program Files\\Device Monitor\\monitor.exe";
        fs::create_directories(fs::path(platform::HostPath(path)).parent_path());
        fs::copy_file(MONITOR_STANDIN, platform::HostPath(path));
        return platform::ToUtf8(path);
    }

    HMODULE library_ = nullptr;
    PFN_CallStatusmonitor call_ = nullptr;
    std::vector<PROCESS_INFORMATION> peers_;
};

TEST_F(Statuslens, RequestLayout) {
    // The record as the user interface lays it out, byte by byte.
    std::vector<BYTE> bytes(824, 0);
    std::memcpy(bytes.data() + 0, "10.1.2.3", 8);
    std::memcpy(bytes.data() + 16, "Velmora", 7);
    std::memcpy(bytes.data() + 432, "IP_10.1.2.3", 11);
    bytes[816] = 1;
    const auto* r = reinterpret_cast<const StatusMonitorRequest*>(bytes.data());
    EXPECT_STREQ(r->address, "10.1.2.3");
    EXPECT_STREQ(r->modelName, "Velmora");
    EXPECT_STREQ(r->portPath, "IP_10.1.2.3");
    EXPECT_EQ(r->connection, 1u);
}

// What the launcher does with the monitor windows and programs it finds.
TEST_F(Statuslens, FindsRaisesOrStarts) {
    // Listed and minimized: found under its display name, raised.
    HWND office = StartStandin(u"--window \"Status Monitor - Office\" --minimized",
                               u"Status Monitor - Office");
    ASSERT_NE(office, nullptr);
    for (int i = 0; i < 500 && !IsIconic(office); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(IsIconic(office));
    EXPECT_EQ(Call("192.168.0.5"), kMonitorRaised);
    EXPECT_FALSE(IsIconic(office));
    // Raised once, or again while a slow monitor had not yet restored it.
    const std::string raised = ReadHostFile(u"C:\\monitor-raised.txt");
    const std::string once = "Status Monitor - Office\n";
    ASSERT_FALSE(raised.empty());
    ASSERT_EQ(raised.size() % once.size(), 0u) << raised;
    for (size_t at = 0; at < raised.size(); at += once.size())
        EXPECT_EQ(raised.substr(at, once.size()), once);

    // Not listed (and an entry with too few fields is no match): the address
    // stands for the name; the French title is found too.
    HWND unlisted = StartStandin(u"\"--window\" \"Moniteur d'\u00E9tat - 192.168.0.9\"",
                                 u"Moniteur d'\u00E9tat - 192.168.0.9");
    ASSERT_NE(unlisted, nullptr);
    EXPECT_EQ(Call("192.168.0.9"), kMonitorRaised);
    EXPECT_EQ(platform::test::ProcessLaunches().size(), 2u); // only ours

    // The program's own window and no monitor for the device: nothing is started.
    SetRegistryText(kProgramKey, "NexoviewPath", InstallProgram());
    ASSERT_NE(StartStandin(u"", u"NEXOVIEW"), nullptr);
    EXPECT_EQ(Call("10.9.9.9"), kMonitorStarting);
    EXPECT_EQ(platform::test::ProcessLaunches().size(), 3u);
}

TEST_F(Statuslens, NoProgramPathIsNotInstalled) {
    EXPECT_EQ(Call("10.0.0.1"), kMonitorNotInstalled);
    SetRegistryText(kProgramKey, "NexoviewPath", "");
    EXPECT_EQ(Call("10.0.0.1"), kMonitorNotInstalled);
    EXPECT_TRUE(platform::test::ProcessLaunches().empty());
}

// The program is named on its own and quoted: a path with blanks starts that
// file, given the address; text that is no address is not passed.
TEST_F(Statuslens, StartsTheRegisteredProgram) {
    const std::string program = InstallProgram();
    SetRegistryText(kProgramKey, "NexoviewPath", program);
    EXPECT_EQ(Call("10.0.0.7"), kMonitorStarting);
    std::vector<platform::test::ProcessLaunch> launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].applicationName, platform::FromUtf8(program));
    EXPECT_EQ(launches[0].arguments,
              (std::vector<std::u16string>{platform::FromUtf8(program), u"10.0.0.7"}));
    EXPECT_EQ(launches[0].showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(launches[0].hostProgram, platform::HostPath(platform::FromUtf8(program)));
    // The stand-in ran and opened the monitor for the address.
    EXPECT_NE(WaitForTitle(u"Status Monitor - 10.0.0.7"), nullptr);
    EXPECT_EQ(ReadHostFile(u"C:\\monitor-started.txt"), "10.0.0.7\n--\n");
    // Its window now blocks a second start.
    EXPECT_EQ(Call("10.0.0.8"), kMonitorStarting);
    EXPECT_EQ(platform::test::ProcessLaunches().size(), 1u);
}

TEST_F(Statuslens, AddressesThatAreNotAddressesAreNotPassed) {
    SetRegistryText(kProgramKey, "NexoviewPath", InstallProgram());
    EXPECT_EQ(Call("a\" /x"), kMonitorStarting);
    std::vector<platform::test::ProcessLaunch> launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments.size(), 1u);
    EXPECT_NE(WaitForTitle(u"NEXOVIEW"), nullptr);
    EXPECT_EQ(ReadHostFile(u"C:\\monitor-started.txt"), "--\n");
}

TEST_F(Statuslens, AMissingProgramIsNotStarted) {
    SetRegistryText(kProgramKey, "NexoviewPath", "C:\\Nowhere\\monitor.exe");
    EXPECT_EQ(Call("10.0.0.1"), kMonitorNotStarted);
}

// The list's folder and its section are read within their bounds: a folder
// of 255 characters leaves no room for the file's name, and the address
// field of the record is never read past its sixteenth byte.
TEST_F(Statuslens, BoundsOfPathsAndFields) {
    SetRegistryText(kListKey, "IniFilePath", "C:\\" + std::string(252, 'f'));
    EXPECT_EQ(Call("192.168.0.5"), kMonitorNotInstalled);
    StatusMonitorRequest request{};
    std::memset(request.address, '7', sizeof request.address);
    std::memset(request.modelName, 'M', sizeof request.modelName);
    EXPECT_EQ(call_(&request), kMonitorNotInstalled);
    EXPECT_EQ(call_(nullptr), kMonitorFailed);
    // A device list longer than the section buffer: read up to the cut only.
    SetRegistryText(kListKey, "IniFilePath", "C:\\Monitor");
    {
        std::ofstream list(platform::HostPath(u"C:\\Monitor\\MfpList.ini"));
        list << "[Devices]\r\n";
        for (int i = 0; i < 3000; ++i)
            list << "Device" << i << "=01,02,10.0." << i / 250 << "." << i % 250 << ",x\r\n";
        list << "Last=01,02\r\n";
    }
    EXPECT_EQ(Call("10.0.11.249"), kMonitorNotInstalled);
}

} // namespace
