// The Support page through printhost, as a person opens it: the driver's
// files with the versions the build gave them, and its picture.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "win/base.h"
#include "win/registry.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

TEST(SupportPageThroughPrinthost, ListsTheDriversFilesWithTheirVersions) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    const char* dir = std::getenv("PAGES_PNG_DIR");
    const std::string pictures =
        dir && *dir ? std::string(dir) : ::testing::TempDir() + "support_page_e2e";
    std::filesystem::create_directories(pictures);
    ASSERT_EQ(Printhost("properties P --page Support --png '" + pictures + "'", &out), 0) << out;
    const size_t list = out.find("Edit #914");
    ASSERT_NE(list, std::string::npos) << out;
    const std::string line = out.substr(list, out.find('\n', list) - list);
    EXPECT_NE(line.find("SHEETWRIGHT.DLL"), std::string::npos) << line;
    EXPECT_NE(line.find("5.01.053"), std::string::npos) << line;
    bool saved = false;
    for (const auto& entry : std::filesystem::directory_iterator(pictures))
        saved |= entry.path().filename().string().find("Support") != std::string::npos;
    EXPECT_TRUE(saved) << pictures;
}

// The Printer Status button on the sample device's network port: enabled
// on every page that carries it, and a click starts the status monitor
// registered for the model with the device's address (the stand-in
// program here), the user told it is starting.
TEST(SupportPageThroughPrinthost, PrinterStatusStartsTheMonitorOnTheDevicesPort) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) +
                            "/CX5540.DAT' --port IP_127.0.0.1",
                        &out),
              0)
        << out;
    const std::u16string program = u"C:\\Program Files\\Device Monitor\\monitor.exe";
    std::filesystem::create_directories(
        std::filesystem::path(platform::HostPath(program)).parent_path());
    std::filesystem::copy_file(MONITOR_STANDIN, platform::HostPath(program));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "SOFTWARE\\WOW6432node\\TOVA\\Velmora-ORX\\Network MFPStatus", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::string path = platform::ToUtf8(program);
    RegSetValueExA(key, "NexoviewPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);

    // Every page with the button shows it enabled.
    for (const char* page : {"Basic", "Output", "Job Type", "Quality", "Effects", "Profile"}) {
        ASSERT_EQ(Printhost("properties P --page '" + std::string(page) + "'", &out), 0) << out;
        const size_t at = out.find("Button #141 \"&Printer Status...\"");
        ASSERT_NE(at, std::string::npos) << page << out;
        const std::string line = out.substr(at, out.find('\n', at) - at);
        EXPECT_EQ(line.find("disabled"), std::string::npos) << page << ": " << line;
    }
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Printer Status...=click'", &out), 0)
        << out;
    EXPECT_NE(out.find("Device Monitor is initializing."), std::string::npos) << out;
    std::string started;
    for (int i = 0; i < 500 && started.empty(); ++i) {
        std::ifstream in(platform::HostPath(u"C:\\monitor-started.txt"));
        std::getline(in, started);
        if (started.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(started, "127.0.0.1");
}

} // namespace
