// What an install killed half way leaves in the driver folders: the copies
// on their way into place whose writer has ended go at the next install,
// those of a living install stay.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(
        "timeout 60 '" + std::string(PKG_TOOLS_DIR) + "/printhost' " + arguments + " 2>&1", out);
}

std::string Copy(const std::string& file, long long pid, long long started) {
    return file + ".~" + std::to_string(pid) + "-" + std::to_string(started) + "-a1B2c3";
}

TEST(InstallLeftovers, CopiesOfEndedInstallsAreSweptAndALivingOnesKept) {
    const std::string model = std::string(PKG_BINARY_DIR) + "/models/CX5540.DAT";
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + model + "'", &out), 0) << out;
    const fs::path drivers = platform::HostPath(platform::spooler::DriversFolder());
    const fs::path own = drivers / "CX5540", other = drivers / "Other";
    ASSERT_TRUE(fs::is_directory(own)) << out;
    fs::create_directories(other);
    const long long gone = 999999999; // above any process id the system hands out
    const long long self = ::getpid(), parent = ::getppid();
    const long long selfStart = platform::ProcessStarted(self);
    const long long parentStart = platform::ProcessStarted(parent);
    ASSERT_GT(parentStart, 0);
    struct Case {
        fs::path file;
        bool stays;
    } cases[] = {
        {own / Copy("Inkforge.DLL", gone, 42), false},
        {own / Copy("Frontdoor.DLL", self, selfStart + 1), false},
        {own / Copy("Sheetwright.DLL", parent, parentStart), true},
        {own / "Modelsmith.DLL.~q9W8e7", false}, // names no writer: the folder's lock tells
        {other / Copy("Inkforge.DLL", gone, 42), false},
        {other / Copy("Inkforge.DLL", parent, parentStart + 1), false},
        {other / Copy("Frontdoor.DLL", parent, parentStart), true},
        {other / "Modelsmith.DLL.~q9W8e7", true}, // another folder's install may be writing it
        {other / "Notes.~txt", true},
    };
    for (const auto& c : cases)
        std::ofstream(c.file) << "part";
    ASSERT_EQ(Printhost("install --name Q --model '" + model + "'", &out), 0) << out;
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(c.file), c.stays) << c.file;
    // The install itself left none of its own.
    for (const auto& e : fs::directory_iterator(own))
        EXPECT_EQ(e.path().filename().string().find(".~" + std::to_string(self)),
                  std::string::npos);
}

} // namespace
