// The graphics library with the built UI library, through printhost
// processes: the printer's device mode is the UI library's revision
// (the sample's asks for spool-side playback), a device mode
// revised and stored by `printhost devmode` prints and decodes, and with the
// UI library gone the printer interface refuses the job.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform_testing/fresh_root.h"

namespace {

std::string Printhost(const std::string& arguments, std::string* out) {
    return std::to_string(platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out));
}

TEST(UiLibraryPrint, WithAndWithoutTheUiLibrary) {
    std::string out;
    const std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), "0") << out;
    const std::string prn = platform_testing::Root() + "/job.prn";
    const std::string print = "print --printer 'CX5540' --pages 1 --output '" + prn + "'";

    // The UI library's defaults, stored by the printer interface at install:
    // reverse order by the driver, replayed spool-side, and printed.
    ASSERT_EQ(Printhost("devmode 'CX5540'", &out), "0") << out;
    EXPECT_NE(out.find("stored device mode of CX5540, revised"), std::string::npos) << out;
    EXPECT_NE(out.find("private  Signature              1515147844 (0x5a4f5244)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("private  EmfMode                1 (0x1)"), std::string::npos) << out;
    // The spool-side road records the job into a package and hands it on.
    EXPECT_EQ(Printhost(print, &out), "0") << out;

    // Changed and revised: the page order and the mode straight into the stream.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set ReverseOrder=0 --set GraphicsMode=0 --store", &out),
              "0")
        << out;
    EXPECT_NE(out.find("EmfMode                0 (0x0)   (was 1 (0x1))"), std::string::npos) << out;
    EXPECT_NE(out.find("stored as the default device mode of CX5540"), std::string::npos) << out;
    ASSERT_EQ(Printhost("devmode 'CX5540'", &out), "0") << out;
    EXPECT_NE(out.find("stored device mode of CX5540, revised"), std::string::npos) << out;
    ASSERT_EQ(Printhost(print, &out), "0") << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), "0") << out;
    EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    EXPECT_NE(out.find("page start"), std::string::npos) << out;

    // A field that is not there, or not a number, is refused.
    EXPECT_NE(Printhost("devmode 'CX5540' --set NoSuchField=1", &out), "0");
    EXPECT_NE(out.find("unknown field"), std::string::npos) << out;
    EXPECT_NE(Printhost("devmode 'CX5540' --set dmCopies=many", &out), "0");
    EXPECT_NE(Printhost("devmode 'Nobody'", &out), "0");

    // Without the UI library the printer interface's check of the driver's
    // files refuses the device context (after its message), so nothing is
    // printed on half a driver. (The graphics library's own fallback to the
    // model library, for a caller that goes round the interface, is tested
    // with the graphics core.)
    std::filesystem::remove(platform::HostPath(
        u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\CX5540\\Sheetwright.DLL"));
    EXPECT_NE(Printhost("devmode 'CX5540'", &out), "0");
    EXPECT_NE(out.find("UI library is missing"), std::string::npos) << out;
    std::filesystem::remove(prn);
    EXPECT_NE(Printhost(print, &out), "0") << out;
    EXPECT_NE(out.find("the file is not there"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(prn));
}

} // namespace
