// The property-sheet exports of the built library: an exception on the way
// (here thrown by the sheet's own callback) comes back as a failed sheet with
// the matching last error, and leaves no page, block or window behind.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "ui/sheetwright.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "win/user.h"

namespace {

namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"Exported";

enum class Throw { Memory, Other };
Throw g_throw = Throw::Memory;
int g_adds = 0;

LONG_PTR CALLBACK ThrowingSheet(HANDLE, UINT function, LPARAM, LPARAM) {
    if (function != CPSFUNC_ADD_HPROPSHEETPAGE) return 1;
    ++g_adds;
    if (g_throw == Throw::Memory) throw std::bad_alloc();
    throw std::runtime_error("sheet broken");
}

template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(SheetExports, AnExceptionBecomesAFailedSheetAndLeavesNothing) {
    ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
    HMODULE library =
        LoadLibraryW((ui_test::DriverFolder(kPrinter) + u"\\Sheetwright.DLL").c_str());
    ASSERT_NE(library, nullptr);
    auto build = Export<PFN_MFCPropPage>(library, "MFCPropPage");
    ASSERT_NE(build, nullptr);
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &defaults));

    struct Case {
        Throw t;
        DWORD kind;
        DWORD lastError;
    };
    const Case cases[] = {
        {Throw::Memory, kSheetDocument, ERROR_NOT_ENOUGH_MEMORY},
        {Throw::Memory, kSheetDevice, ERROR_NOT_ENOUGH_MEMORY},
        {Throw::Other, kSheetDocument, ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        DEVICEPROPERTYHEADER header{sizeof header, 0, printer, const_cast<LPWSTR>(kPrinter)};
        PropPageParams p{};
        p.size = sizeof p;
        p.printerName = const_cast<LPWSTR>(kPrinter);
        p.propertyHeader = &header;
        p.sheetKind = c.kind;
        p.pfnComPropSheet = ThrowingSheet;
        g_throw = c.t;
        g_adds = 0;
        const long blocks = platform::test::LiveGlobalAllocations();
        SetLastError(0);
        EXPECT_EQ(build(&p), 0u);
        EXPECT_EQ(GetLastError(), c.lastError);
        // The first page's addition threw: nothing after it was tried.
        EXPECT_EQ(g_adds, 1);
        EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
        EXPECT_EQ(ut::LiveWindows(), 0u);
        EXPECT_EQ(platform::test::LiveGlobalAllocations(), blocks);
    }
    // A failed sheet is not a page that could not be added: nothing is told.
    EXPECT_TRUE(ut::MessageBoxLog().empty());
    ClosePrinter(printer);
    FreeLibrary(library);
}

// The page callback answers 1 for every message, also for a record without
// a page.
TEST(SheetExports, PageCallbackAnswersWithoutAPage) {
    ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"));
    HMODULE library =
        LoadLibraryW((ui_test::DriverFolder(kPrinter) + u"\\Sheetwright.DLL").c_str());
    ASSERT_NE(library, nullptr);
    auto callback = Export<LPFNPSPCALLBACKW>(library, "PropPageCallback");
    ASSERT_NE(callback, nullptr);
    PROPSHEETPAGEW empty{};
    for (UINT message : {UINT{PSPCB_RELEASE}, UINT{PSPCB_CREATE}, UINT{7}}) {
        EXPECT_EQ(callback(nullptr, message, nullptr), 1u) << message;
        EXPECT_EQ(callback(nullptr, message, &empty), 1u) << message;
    }
    FreeLibrary(library);
}

} // namespace
