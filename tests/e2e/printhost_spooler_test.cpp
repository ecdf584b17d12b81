// printhost and the spooler across processes: a printer installed by one
// process is read by another, printer data written here is shown there, and a
// job cancelled from another process stops its writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "win/errors.h"
#include "win/spool.h"

namespace {

namespace fs = std::filesystem;

std::string Printhost() {
    return std::string("'") + PKG_TOOLS_DIR + "/printhost'";
}

class PrinthostSpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A driver directory and model file of our own, so that the test does
        // not depend on which deliverables the build has made so far.
        driverDir_ = platform_testing::Root() + "/built-driver";
        fs::create_directories(driverDir_);
        for (const char* name :
             {"Inkforge.DLL", "Frontdoor.DLL", "Modelsmith.DLL", "Sheetwright.DLL", "ZOR.CHM"})
            std::ofstream(driverDir_ + "/" + name) << name;
        // A real model data file under another name: install refuses any other.
        model_ = platform_testing::Root() + "/ZL9000.SPC";
        fs::copy_file(std::string(PKG_MODELS_DIR) + "/LP1220.DAT", model_);
    }

    int Run(const std::string& arguments, std::string* out = nullptr) {
        if (out) out->clear();
        return platform_testing::RunCommand("PRINTHOST_DRIVER_DIR='" + driverDir_ + "' " +
                                                Printhost() + " " + arguments + " 2>&1",
                                            out);
    }

    void Install(const std::string& name, const std::string& extra = "") {
        std::string out;
        ASSERT_EQ(Run("install --name '" + name + "' --model '" + model_ +
                          "' --driver 'Zor Laser 9000' " + extra,
                      &out),
                  0)
            << out;
    }

    HANDLE Open(const char16_t* name) {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE h = nullptr;
        EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) << GetLastError();
        return h;
    }

    std::string driverDir_;
    std::string model_;
};

TEST_F(PrinthostSpoolerTest, PrinterInstalledByOneProcessIsReadByAnother) {
    Install("Office", "--port IP_192.168.7.9");

    // This process reads what the printhost process stored.
    HANDLE h = Open(u"Office");
    ASSERT_NE(h, nullptr);
    DWORD needed = 0;
    ASSERT_FALSE(GetPrinterDriverW(h, nullptr, 3, nullptr, 0, &needed));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 3, buffer.data(), needed, &needed));
    const auto& info = *reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    const std::u16string folder =
        u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\Zor Laser 9000\\";
    EXPECT_EQ(std::u16string(info.pName), u"Zor Laser 9000");
    EXPECT_EQ(std::u16string(info.pDriverPath), folder + u"Inkforge.DLL");
    EXPECT_EQ(std::u16string(info.pDataFile), folder + u"ZL9000.SPC");
    EXPECT_EQ(std::u16string(info.pConfigFile), folder + u"Frontdoor.DLL");
    EXPECT_EQ(std::u16string(info.pHelpFile), folder + u"ZOR.CHM");
    std::vector<std::u16string> dependents;
    for (const char16_t* p = info.pDependentFiles; *p;
         p += std::char_traits<char16_t>::length(p) + 1)
        dependents.emplace_back(p);
    EXPECT_EQ(dependents, (std::vector<std::u16string>{folder + u"Modelsmith.DLL",
                                                       folder + u"Sheetwright.DLL"}));
    // The files are where the record says, with the model data copied byte for byte.
    for (const char16_t* p : {info.pDriverPath, info.pDataFile, info.pConfigFile, info.pHelpFile})
        EXPECT_TRUE(fs::exists(platform::HostPath(p))) << platform::ToUtf8(p);
    std::ifstream data(platform::HostPath(info.pDataFile));
    std::ifstream original(model_, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(data), {}),
              std::string(std::istreambuf_iterator<char>(original), {}));

    // The TCP/IP port answers its address.
    HANDLE xcv = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u",XcvPort IP_192.168.7.9"), &xcv, nullptr));
    char16_t address[260] = {};
    DWORD status = 0;
    ASSERT_TRUE(XcvDataW(xcv, u"IPAddress", nullptr, 0, reinterpret_cast<BYTE*>(address),
                         sizeof address, &needed, &status));
    EXPECT_EQ(std::u16string(address), u"192.168.7.9");
    EXPECT_TRUE(ClosePrinter(xcv));
    EXPECT_TRUE(ClosePrinter(h));

    // And a third process lists it.
    std::string out;
    ASSERT_EQ(Run("printers", &out), 0) << out;
    EXPECT_NE(out.find("Office\n  driver: Zor Laser 9000\n  port: IP_192.168.7.9\n"),
              std::string::npos)
        << out;
}

TEST_F(PrinthostSpoolerTest, PrinterDataWrittenHereIsShownThere) {
    Install("Office");
    HANDLE h = Open(u"Office");
    BYTE entries[32] = {25, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                        26, 0, 2, 0, 5, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    DWORD size = 32;
    ASSERT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"InstallOptionSize"), 4,
                              reinterpret_cast<BYTE*>(&size), 4),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"InstallOption"), 3, entries, 32),
              static_cast<DWORD>(ERROR_SUCCESS));
    std::u16string text = u"Frontdoornt.DLL";
    ASSERT_EQ(SetPrinterDataW(h, const_cast<LPWSTR>(u"SPLUserModePrinterDriver"), 1,
                              reinterpret_cast<BYTE*>(text.data()),
                              static_cast<DWORD>(2 * text.size())),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(ClosePrinter(h));

    std::string out;
    ASSERT_EQ(Run("printer-data Office", &out), 0) << out;
    EXPECT_NE(out.find("InstallOptionSize (REG_DWORD, 4 bytes): 32 (0x20)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("InstallOption (REG_BINARY, 32 bytes): 2 entries"), std::string::npos)
        << out;
    EXPECT_NE(out.find("        26     2     5     0 0x00000000 0x00000001"), std::string::npos)
        << out;
    EXPECT_NE(out.find("SPLUserModePrinterDriver (REG_SZ, 30 bytes): \"Frontdoornt.DLL\" (no "
                       "terminating NUL)"),
              std::string::npos)
        << out;
    EXPECT_EQ(Run("printer-data Nowhere", &out), 1);
}

TEST_F(PrinthostSpoolerTest, JobCancelledByAnotherProcessStopsTheWriter) {
    Install("Office");
    HANDLE h = Open(u"Office");
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"Long document"), nullptr, nullptr};
    DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<BYTE*>(&doc));
    ASSERT_NE(id, 0u);
    BYTE bytes[512] = {1, 2, 3};
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(h, bytes, sizeof bytes, &written));

    std::string out;
    ASSERT_EQ(Run("jobs Office", &out), 0) << out;
    EXPECT_NE(out.find(std::to_string(id) + "\tOffice\tLong document\t"), std::string::npos) << out;
    EXPECT_NE(out.find("\tspooling\t"), std::string::npos) << out;
    ASSERT_EQ(Run("cancel " + std::to_string(id), &out), 0) << out;

    EXPECT_FALSE(WritePrinter(h, bytes, sizeof bytes, &written));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
    EXPECT_TRUE(EndDocPrinter(h));
    EXPECT_TRUE(ClosePrinter(h));
    ASSERT_EQ(Run("jobs", &out), 0) << out;
    EXPECT_NE(out.find("\tdeleted\t"), std::string::npos) << out;
    EXPECT_NE(Run("cancel 99999", &out), 0);
}

TEST_F(PrinthostSpoolerTest, InstallRefusesWhatItCannotUse) {
    std::string out;
    EXPECT_EQ(Run("install --name X --model /no/such/file", &out), 1) << out;
    EXPECT_EQ(Run("install --name X", &out), 2) << out;
    EXPECT_EQ(Run("install --name X --model '" + model_ + "' --port NOSUCHPORT", &out), 1) << out;
    EXPECT_NE(out.find("--address"), std::string::npos) << out;
    EXPECT_EQ(Run("install --name 'bad,name' --model '" + model_ + "'", &out), 1) << out;
    ASSERT_EQ(Run("printers", &out), 0);
    EXPECT_EQ(out, "");
    // A named TCP/IP port with a host name.
    ASSERT_EQ(Run("install --name Y --model '" + model_ +
                      "' --port lab-printer --address printer.example",
                  &out),
              0)
        << out;
    platform::spooler::PrinterRecord p;
    ASSERT_TRUE(platform::spooler::FindPrinter(u"Y", &p));
    EXPECT_EQ(p.port, u"lab-printer");
}

} // namespace
