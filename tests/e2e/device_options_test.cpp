// Optional units set as a person sets them, through the device sheet's
// Device page by its labels: before, the printer staples nothing and turns
// two-sided jobs by hand; with the duplex unit and the finisher fitted the
// stapled output bin is accepted and the device prints both sides itself, and
// the next print says so.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/paths.h"
#include "platform_testing/fresh_root.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

// Two-sided, stapled top left (the finisher's staple mode 1), stored as the
// printer's defaults; then one page printed and its PJL lines.
std::string PrintTwoSidedStapled(const std::string& stream) {
    std::string out;
    EXPECT_EQ(Printhost("devmode P --set dmDuplex=2 --set StapleMode=1 --store", &out), 0) << out;
    EXPECT_EQ(Printhost("print --printer P --output '" + stream + "'", &out), 0) << out;
    EXPECT_EQ(Printhost("decode '" + stream + "'", &out), 0) << out;
    return out;
}

TEST(DeviceOptions, FittedUnitsReachTheNextPrint) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    const std::string stream = platform_testing::Root() + "/out.prn";

    std::string before = PrintTwoSidedStapled(stream);
    EXPECT_EQ(before.find("STAPLE="), std::string::npos) << before;
    EXPECT_NE(before.find("@PJL SET DUPLEXMARGIN="), std::string::npos) << before;
    EXPECT_EQ(before.find("@PJL SET BINDING="), std::string::npos) << before;

    ASSERT_EQ(Printhost("properties P --device --page Device --set 'Duplex Unit=Installed' "
                        "--set Finisher=FS-5500",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find("ComboBox #318 \"Installed\""), std::string::npos) << out;
    EXPECT_NE(out.find("ComboBox #324 \"FS-5500\""), std::string::npos) << out;

    ASSERT_EQ(Printhost("options P", &out), 0) << out;
    EXPECT_NE(out.find("    25     1  installed"), std::string::npos) << out;
    EXPECT_NE(out.find("    27     1  installed"), std::string::npos) << out;

    std::string after = PrintTwoSidedStapled(stream);
    EXPECT_NE(after.find("@PJL SET STAPLE=LEFTTOP"), std::string::npos) << after;
    EXPECT_NE(after.find("@PJL SET DUPLEX=ON"), std::string::npos) << after;
    EXPECT_NE(after.find("@PJL SET BINDING=LONGEDGE"), std::string::npos) << after;
}

// The duplex unit fitted and taken out again on the Device page, with
// two-sided printing stored as the defaults: the stored device mode, the
// Basic page and the next print follow the unit each time (automatic with
// it, by hand without it). A profile saved with the unit is chosen again
// once the unit is out, and its settings are not reported as wrong.
TEST(DeviceOptions, DuplexUnitFittedAndTakenOut) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("devmode P --set ReverseOrder=0 --set GraphicsMode=0 --set dmDuplex=2 "
                        "--store",
                        &out),
              0)
        << out;
    const std::string stream = platform_testing::Root() + "/out.prn";
    const struct {
        const char* unit;
        const char* duplexType; // as `devmode` shows it
        const char* basicLabel;
        const char* pjl;
        const char* notPjl;
    } steps[] = {
        {"Not Installed", "1 (0x1)", "Static #124 \"&Duplex (Manual) :\"",
         "@PJL SET DUPLEXMARGIN=LONG", "@PJL SET BINDING="},
        {"Installed", "0 (0x0)", "Static #124 \"&Duplex (Automatic) :\"",
         "@PJL SET BINDING=LONGEDGE", "@PJL SET DUPLEXMARGIN="},
        {"Not Installed", "1 (0x1)", "Static #124 \"&Duplex (Manual) :\"",
         "@PJL SET DUPLEXMARGIN=LONG", "@PJL SET BINDING="},
    };
    bool saved = false;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.unit);
        ASSERT_EQ(Printhost("properties P --device --page Device --set 'Duplex Unit=" +
                                std::string(step.unit) + "'",
                            &out),
                  0)
            << out;
        ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
        EXPECT_NE(out.find("private  DuplexType             " + std::string(step.duplexType)),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("public   dmDuplex               2"), std::string::npos) << out;
        ASSERT_EQ(Printhost("properties P --page Basic", &out), 0) << out;
        EXPECT_NE(out.find(step.basicLabel), std::string::npos) << out;
        ASSERT_EQ(Printhost("print --printer P --output '" + stream + "'", &out), 0) << out;
        ASSERT_EQ(Printhost("decode '" + stream + "'", &out), 0) << out;
        EXPECT_NE(out.find("@PJL SET DUPLEX=ON"), std::string::npos) << out;
        EXPECT_NE(out.find(step.pjl), std::string::npos) << out;
        EXPECT_EQ(out.find(step.notPjl), std::string::npos) << out;
        if (std::string(step.unit) == "Installed") {
            ASSERT_EQ(Printhost("properties P --page Profile --set 'Save as ...=click' --dialog "
                                "'Profile Name=Both sides'",
                                &out),
                      0)
                << out;
            saved = true;
        } else if (saved) {
            ASSERT_EQ(Printhost("properties P --page Profile --set 'Profile=Both sides'", &out), 0)
                << out;
            EXPECT_EQ(out.find("wrong settings"), std::string::npos) << out;
        }
    }
}

// The model whose device-option module tells the installed options
// (CX5540D, with its option file beside it): a printer installed with it has
// the units the module reports, where the CX5540 alone has none of them; the
// Device page shows them; when the device's configuration changes (its
// option file says the duplex unit is gone) and the change is reported, the
// unit is taken out and the rest stays.
TEST(DeviceOptions, TheDeviceOptionModuleTellsTheInstalledOptions) {
    const std::string models = PKG_MODELS_DIR;
    std::string out;
    ASSERT_EQ(Printhost("install --name Plain --model '" + models + "/CX5540.DAT'", &out), 0)
        << out;
    ASSERT_EQ(Printhost("options Plain", &out), 0) << out;
    for (const char* unit : {"    25     1  -", "    27     1  -", "    35     1  -"})
        EXPECT_NE(out.find(unit), std::string::npos) << unit << "\n" << out;

    ASSERT_EQ(Printhost("install --name P --model '" + models + "/CX5540D.DAT'", &out), 0) << out;
    ASSERT_EQ(Printhost("options P", &out), 0) << out;
    for (const char* unit :
         {"    25     1  installed", "    27     1  installed", "    35     1  installed"})
        EXPECT_NE(out.find(unit), std::string::npos) << unit << "\n" << out;
    ASSERT_EQ(Printhost("properties P --device --page Device", &out), 0) << out;
    EXPECT_NE(out.find("ComboBox #318 \"Installed\""), std::string::npos) << out;
    EXPECT_NE(out.find("ComboBox #324 \"FS-5500\""), std::string::npos) << out;

    // The device without its duplex unit, as the module now reads it.
    const std::string file =
        platform::HostPath(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\CX5540D\\CX5540D.INI");
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    std::string ini = text.str();
    const std::string fitted = "[\\Printer.NKTDeviceOptions.Duplex:Installed]\nKind=2\nSecond=1";
    const size_t at = ini.find(fitted);
    ASSERT_NE(at, std::string::npos) << ini;
    ini.replace(at, fitted.size(),
                "[\\Printer.NKTDeviceOptions.Duplex:Installed]\nKind=2\nSecond=0");
    std::ofstream(file, std::ios::trunc) << ini;
    ASSERT_EQ(Printhost("options P", &out), 0) << out;
    EXPECT_NE(out.find("    25     1  installed"), std::string::npos) << "nothing reported yet\n"
                                                                      << out;
    ASSERT_EQ(Printhost("options P --changed '\\Printer.NKTDeviceOptions.Duplex:Installed'", &out),
              0)
        << out;
    for (const char* unit :
         {"    25     1  -", "    27     1  installed", "    35     1  installed"})
        EXPECT_NE(out.find(unit), std::string::npos) << unit << "\n" << out;
    ASSERT_EQ(Printhost("properties P --device --page Device", &out), 0) << out;
    EXPECT_NE(out.find("ComboBox #318 \"Not Installed\""), std::string::npos) << out;
}

} // namespace
