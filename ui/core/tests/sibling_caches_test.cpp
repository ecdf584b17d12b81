// The printer's other localised libraries refresh their caches in order, and
// the second one's answer is the result.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/paths.h"
#include "sibling_caches.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

TEST(SiblingCaches, SpoolSideFirstThenSupportLibrary) {
    ui_test::InstallPrinter(u"P1", ui_test::SampleModel("CX5540"));
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P1"), &printer, nullptr));
    // Neither library installed: nothing to refresh.
    EXPECT_FALSE(UpdateSiblingRCBFiles(printer));

    namespace fs = std::filesystem;
    fs::path folder(platform::HostPath(ui_test::DriverFolder(u"P1")));
    for (const char* name : {"Metaweave.DLL", "Hopwindow.DLL"})
        fs::copy_file(fs::path(RCB_STUB_DIR) / name, folder / name,
                      fs::copy_options::overwrite_existing);
    EXPECT_TRUE(UpdateSiblingRCBFiles(printer)); // Hopwindow's 1, not Metaweave's 0
    WCHAR order[8] = {};
    GetPrivateProfileStringW(u"Calls", u"Metaweave.DLL", u"", order, 8, u"C:\\rcb-calls.ini");
    EXPECT_EQ(std::u16string(order), u"1");
    GetPrivateProfileStringW(u"Calls", u"Hopwindow.DLL", u"", order, 8, u"C:\\rcb-calls.ini");
    EXPECT_EQ(std::u16string(order), u"2");
    ClosePrinter(printer);
}

} // namespace
