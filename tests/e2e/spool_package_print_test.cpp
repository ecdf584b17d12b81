// A job printed on the spool-side road through printhost processes: with the
// spool-side library taken away the package stays where the graphics library
// wrote it, and `printhost package` lists it page by page.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform_testing/fresh_root.h"

namespace {

namespace fs = std::filesystem;

std::string Printhost(const std::string& arguments, std::string* out) {
    return std::to_string(platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out));
}

// The folder named "spool" under the machine root that holds a package index.
fs::path FindSpoolFolder() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(platform_testing::Root(), ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path& p = it->path();
        if (p.extension() == ".SPL" && p.parent_path().filename() == "spool")
            return p.parent_path();
    }
    return {};
}

TEST(SpoolPackagePrint, ThePackageOfASpoolSideJobIsListed) {
    std::string out;
    const std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), "0") << out;
    ASSERT_EQ(Printhost("devmode 'CX5540'", &out), "0") << out;
    ASSERT_NE(out.find("private  EmfMode                1 (0x1)"), std::string::npos) << out;
    // Nobody plays the package back, so it stays for the listing.
    fs::remove(platform::HostPath(
        u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\CX5540\\Metaweave.DLL"));
    const std::string prn = platform_testing::Root() + "/job.prn";
    ASSERT_EQ(Printhost("print --printer 'CX5540' --pages 2 --output '" + prn + "'", &out), "0")
        << out;

    fs::path spool = FindSpoolFolder();
    ASSERT_FALSE(spool.empty()) << "no package was written";
    ASSERT_EQ(Printhost("package '" + spool.string() + "'", &out), "0") << out;
    EXPECT_NE(out.find("printer \"CX5540\""), std::string::npos) << out;
    EXPECT_NE(out.find("2 page(s)"), std::string::npos) << out;
    EXPECT_EQ(out.find("not finished"), std::string::npos) << out;
    EXPECT_EQ(out.find("(missing)"), std::string::npos) << out;
    EXPECT_NE(out.find("end of job"), std::string::npos) << out;
}

} // namespace
