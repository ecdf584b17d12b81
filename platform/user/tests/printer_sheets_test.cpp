// The spooler's property-sheet calls open a printer interface library's
// sheets through the common property-sheet callback.
#include <filesystem>

#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/spool.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;
namespace spl = platform::spooler;

constexpr const char16_t* kFolder = u"C:\\Drivers";

template <class F> F As(FARPROC p) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

class PrinterSheets : public UserTest {
  protected:
    void SetUp() override {
        std::string folder = platform::HostPath(kFolder);
        std::filesystem::create_directories(folder);
        for (const char* f : {"Sheettest.DLL", "Resonly.DLL"})
            std::filesystem::copy_file(std::string(USER_TEST_MODULES_DIR) + "/" + f,
                                       folder + "/" + f);
        Install(u"Sheets Driver", u"C:\\Drivers\\Sheettest.DLL", u"Office");
        Install(u"Bare Driver", u"C:\\Drivers\\Resonly.DLL", u"Bare");
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Office"), &printer, nullptr));
        // The library stays loaded through the test so that its log can be read.
        library = LoadLibraryW(u"C:\\Drivers\\Sheettest.DLL");
        ASSERT_NE(library, nullptr);
    }
    void TearDown() override {
        ClosePrinter(printer);
        FreeLibrary(library);
        UserTest::TearDown();
    }
    void Install(const std::u16string& driver, const std::u16string& config,
                 const std::u16string& name) {
        spl::DriverRecord d;
        d.name = driver;
        d.driverPath = u"C:\\Drivers\\RECORDER.DLL";
        d.configFile = config;
        ASSERT_EQ(spl::AddDriver(d), static_cast<DWORD>(ERROR_SUCCESS));
        spl::PrinterRecord p;
        p.name = name;
        p.port = u"LPT1:";
        p.driver = driver;
        ASSERT_EQ(spl::AddPrinter(p, false), static_cast<DWORD>(ERROR_SUCCESS));
    }
    std::string Log() { return As<const char* (*)()>(GetProcAddress(library, "SheetTestLog"))(); }
    HANDLE printer = nullptr;
    HMODULE library = nullptr;
};

TEST_F(PrinterSheets, DocumentSheetOk) {
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, 0),
              static_cast<LONG>(sizeof(DEVMODEW)));
    std::string snapshot;
    ut::AnswerNextModal([&](HWND sheet) {
        EXPECT_EQ(drv::ReadText(sheet), u"Office Properties");
        EXPECT_EQ(GetDlgItem(sheet, IDC_PROPSHEET_APPLYNOW),
                  nullptr); // the library asked for no Apply
        EXPECT_TRUE(drv::TypeText(drv::FindControl(sheet, 1001), u"3"));
        EXPECT_TRUE(drv::SwitchPage(sheet, 1));
        EXPECT_TRUE(drv::SetCheck(drv::FindControl(sheet, 1002), BST_CHECKED));
        snapshot = drv::Snapshot(sheet);
        drv::PressButton(sheet, IDOK);
    });
    DEVMODEW out{};
    EXPECT_EQ(
        DocumentPropertiesW(nullptr, printer, nullptr, &out, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
        IDOK);
    EXPECT_EQ(Log(),
              "direct 0\n"
              "init document\npage 1 addref\npage 2 addref\nheader\npage 1 create\npage 1 init\n"
              "page 2 create\npage 2 init\n"
              "page 1 apply\nset result 1\npage 2 apply\nset result 1\n"
              "page 1 release\npage 2 release\ndestroy 1\n");
    EXPECT_NE(snapshot.find("SysTabControl32 #12320 \"\" items=2 sel=1"), std::string::npos)
        << snapshot;
    EXPECT_NE(snapshot.find("Button #9 \"Help\""), std::string::npos) << snapshot;
}

TEST_F(PrinterSheets, DocumentSheetCancelAndDeviceSheet) {
    ut::AnswerNextModal([](HWND sheet) { drv::PressButton(sheet, IDCANCEL); });
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, DM_IN_PROMPT),
              IDCANCEL);
    EXPECT_EQ(Log().find("set result"), std::string::npos);
    EXPECT_NE(Log().find("page 1 reset\npage 1 release\npage 2 release\ndestroy 0\n"),
              std::string::npos)
        << Log();
    As<void (*)()>(GetProcAddress(library, "SheetTestClearLog"))();

    ut::AnswerNextModal([](HWND sheet) {
        EXPECT_EQ(SendMessageW(GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL), TCM_GETITEMCOUNT, 0, 0),
                  1);
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_TRUE(PrinterProperties(nullptr, printer));
    EXPECT_EQ(Log(), "init device\npage 1 addref\nheader\npage 1 create\npage 1 init\npage 1 "
                     "apply\nset result 1\n"
                     "page 1 release\ndestroy 1\n");
}

TEST_F(PrinterSheets, LibraryWithoutSheetsFails) {
    HANDLE bare = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Bare"), &bare, nullptr));
    EXPECT_EQ(DocumentPropertiesW(nullptr, bare, nullptr, nullptr, nullptr, DM_IN_PROMPT), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_FALSE(PrinterProperties(nullptr, bare));
    ClosePrinter(bare);
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Resonly.DLL"), 0);
}

} // namespace
