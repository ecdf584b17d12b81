// The document and device sheets opened through the spooler's property-sheet
// calls, with a printer interface stand-in that hands them to MFCPropPage:
// pages in order, OK writing the image back and Cancel not, read-only sheets,
// a page that cannot be added, help, and nothing left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "devmode_helpers.h"
#include "install_option.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "prop_page.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "saved_job_info.h"
#include "sheet_help.h"
#include "sheet_pages.h"
#include "status_monitor.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "devmode_private.h"
#include "win/errors.h"
#include "win/ini.h"
#include "win/printer_sheets.h"
#include "win/registry.h"
#include "win/spool.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace fs = std::filesystem;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;
namespace spl = platform::spooler;

constexpr char16_t kPrinter[] = u"Sheets";
constexpr BYTE kUntouched = 0xAB;

template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::u16string PageTitle(HWND sheet) {
    auto page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    return page ? drv::ReadText(page) : u"";
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

// The titles of the sheet's tabs, in order.
std::vector<std::u16string> PageTitles(HWND sheet) {
    HWND tab = GetDlgItem(sheet, IDC_PROPSHEET_TABCONTROL);
    std::vector<std::u16string> titles;
    int n = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        WCHAR text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        titles.push_back(text);
    }
    return titles;
}

class Sheets : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
        folder_ = ui_test::DriverFolder(kPrinter);
        fs::copy_file(SHEET_HOST, fs::path(platform::HostPath(folder_)) / "Frontdoor.DLL");
        host_ = LoadLibraryW((folder_ + u"\\Frontdoor.DLL").c_str());
        ASSERT_NE(host_, nullptr);
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
        Reset(0);
    }
    void TearDown() override {
        if (printer_) ClosePrinter(printer_);
        if (host_) {
            Export<void (*)()>(host_, "SheetHostUnload")();
            FreeLibrary(host_);
        }
        EXPECT_EQ(ut::LiveWindows(), 0u);
        EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
        for (const auto& u : ut::TakeUnanswered())
            ADD_FAILURE() << "left unanswered: " << u;
    }
    // The caller's image before the sheet: a pattern no sheet writes.
    void Reset(DWORD extraFlags) {
        std::memset(&untouched_, kUntouched, sizeof untouched_);
        Export<void (*)(const void*, DWORD)>(host_, "SheetHostReset")(&untouched_, extraFlags);
    }
    const DEVMODE_IMAGEW& Image() {
        return *static_cast<const DEVMODE_IMAGEW*>(
            Export<const void* (*)()>(host_, "SheetHostImage")());
    }
    bool ImageUntouched() { return std::memcmp(&Image(), &untouched_, sizeof untouched_) == 0; }
    std::vector<LONG_PTR> Results() {
        LONG_PTR r[16];
        size_t n = Export<size_t (*)(LONG_PTR*, size_t)>(host_, "SheetHostResults")(r, 16);
        return std::vector<LONG_PTR>(r, r + std::min<size_t>(n, 16));
    }
    LONG Document(DWORD fMode, DEVMODEW* input, ut::ModalScript script) {
        ut::AnswerNextModal(std::move(script));
        DEVMODE_IMAGEW out{};
        return DocumentPropertiesW(nullptr, printer_, nullptr, &out.dm, input,
                                   DM_IN_PROMPT | DM_OUT_BUFFER | fMode);
    }
    std::vector<std::u16string> DocumentTitles(bool effects) {
        std::vector<std::u16string> t{u"Basic", u"Output", u"Job Type", u"Quality"};
        if (effects) t.push_back(u"Effects");
        t.insert(t.end(), {u"Profile", u"Support"});
        return t;
    }

    std::u16string folder_;
    HMODULE host_ = nullptr;
    HANDLE printer_ = nullptr;
    DEVMODE_IMAGEW untouched_;
};

TEST_F(Sheets, DocumentSheetPagesInOrderAndOkWritesTheImageBack) {
    // The caller's settings reach the working image and come back on OK.
    DEVMODE_IMAGEW input{};
    StampDevmodeHeader(&input);
    input.dm.dmFields = DM_COPIES;
    input.dm.dmCopies = 3;
    std::vector<std::u16string> titles;
    LONG r = Document(0, &input.dm, [&](HWND sheet) {
        titles = PageTitles(sheet);
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_EQ(r, IDOK);
    ASSERT_FALSE(ImageUntouched());
    const DEVMODE_IMAGEW& image = Image();
    EXPECT_EQ(image.dm.dmSize, DEVMODEW_SIZE);
    EXPECT_EQ(image.dm.dmDriverExtra, PRIVATE_DEVMODE_SIZE);
    EXPECT_TRUE(IsOwnDevmode(&image.dm)); // revised: the driver's own private block
    EXPECT_EQ(image.dm.dmCopies, 3);
    EXPECT_EQ(titles, DocumentTitles(image.priv.FeatureFlags & kEffectsFeatureBits));
    // Every page that was shown was told OK and passed its result on. (The
    // pages with a list view get no window on this stand-in yet, so the sheet
    // passes them by.)
    std::vector<LONG_PTR> results = Results();
    EXPECT_FALSE(results.empty());
    EXPECT_LE(results.size(), titles.size());
    for (LONG_PTR x : results)
        EXPECT_EQ(x, CPSUI_OK);
}

TEST_F(Sheets, PagesComeFromTheLocalisedTemplates) {
    for (const char* f : {"Resbun.RCT", "Resbun.RCP"})
        fs::copy_file(fs::path(RESBUNDLE_SAMPLE_DIR) / f,
                      fs::path(platform::HostPath(folder_)) / f);
    std::u16string first;
    Document(0, nullptr, [&](HWND sheet) {
        first = PageTitle(sheet);
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_EQ(first, u"Grundeinstellungen");
    // The sheet built the cache beside the resource library.
    EXPECT_TRUE(fs::exists(fs::path(platform::HostPath(folder_)) / "Resbundle.RCB"));
}

TEST_F(Sheets, CancelLeavesTheImageAlone) {
    LONG r = Document(0, nullptr, [](HWND sheet) { drv::PressButton(sheet, IDCANCEL); });
    EXPECT_EQ(r, IDCANCEL);
    EXPECT_TRUE(ImageUntouched());
    EXPECT_TRUE(Results().empty());
}

TEST_F(Sheets, DeviceSheetHasFormTrayThenDevice) {
    std::vector<std::u16string> titles;
    ut::AnswerNextModal([&](HWND sheet) {
        titles = PageTitles(sheet);
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_TRUE(PrinterProperties(nullptr, printer_));
    EXPECT_EQ(titles, (std::vector<std::u16string>{u"Form / Tray", u"Device"}));
    EXPECT_FALSE(ImageUntouched());
    EXPECT_EQ(Results().front(), CPSUI_OK);
}

// A read-only sheet locks every control but those that change nothing, on
// each page as it is shown; the permission bit differs by sheet kind.
TEST_F(Sheets, ReadOnlySheetsRefuseChanges) {
    struct Case {
        bool device;
        DWORD flags;
        bool locked;
    };
    const Case cases[] = {
        {false, 0, false}, {false, DM_NOPERMISSION, true}, {false, DPS_NOPERMISSION, false},
        {true, 0, false},  {true, DPS_NOPERMISSION, true}, {true, DM_NOPERMISSION, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.device) + " flags " + std::to_string(c.flags));
        Reset(c.device ? c.flags : 0);
        bool editable = false, sideButton = false, secondPage = false;
        auto script = [&](HWND sheet) {
            HWND page = CurrentPage(sheet);
            // Basic: the paper size; on the device sheet a combo box of the page shown.
            HWND control = c.device ? FindWindowExW(page, nullptr, u"ComboBox", nullptr)
                                    : GetDlgItem(page, 112);
            editable = control && IsWindowEnabled(control);
            if (!c.device) sideButton = IsWindowEnabled(GetDlgItem(page, 123));
            drv::SwitchPage(sheet, 1);
            HWND next = CurrentPage(sheet);
            HWND combo = FindWindowExW(next, nullptr, u"ComboBox", nullptr);
            secondPage = combo && IsWindowEnabled(combo);
            drv::PressButton(sheet, IDCANCEL);
        };
        if (c.device) {
            ut::AnswerNextModal(script);
            EXPECT_TRUE(PrinterProperties(nullptr, printer_));
        } else {
            EXPECT_EQ(Document(c.flags, nullptr, script), IDCANCEL);
            EXPECT_TRUE(sideButton); // the cover page button only shows settings
        }
        EXPECT_EQ(editable, !c.locked);
        EXPECT_EQ(secondPage, !c.locked);
    }
}

TEST_F(Sheets, APageThatCannotBeAddedIsToldOnceAndTheOthersStillCome) {
    // The second page's sheet page cannot be made.
    platform::test::FailNext("CreatePropertySheetPageW", 1, ERROR_NOT_ENOUGH_MEMORY, 1);
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, nullptr, nullptr, DM_IN_PROMPT), -1);
    auto boxes = ut::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"CreatePropertySheetPage Fail");
    EXPECT_EQ(boxes[0].text, u"Error");
    EXPECT_EQ(Export<DWORD (*)()>(host_, "SheetHostPagesResult")(), 0u);
    // Basic, then Job Type onwards (with or without Effects).
    LONG_PTR added = Export<LONG_PTR (*)()>(host_, "SheetHostPagesAdded")();
    EXPECT_TRUE(added == 5 || added == 6) << added;
    EXPECT_TRUE(ImageUntouched());
}

TEST_F(Sheets, HelpButtonOpensThePageTopic) {
    // A driver whose help comes from its dependent files.
    spl::DriverRecord d;
    d.name = std::u16string(kPrinter) + u" Driver";
    d.driverPath = folder_ + u"\\Inkforge.DLL";
    d.dataFile = folder_ + u"\\MODEL.DAT";
    d.configFile = folder_ + u"\\Frontdoor.DLL";
    d.dependentFiles = {folder_ + u"\\Modelsmith.DLL", folder_ + u"\\Sheetwright.DLL",
                        folder_ + u"\\DRIVER.HLP"};
    ASSERT_EQ(spl::AddDriver(d), 0u);
    size_t before = ut::SeamLog().size();
    EXPECT_EQ(Document(0, nullptr,
                       [](HWND sheet) {
                           drv::PressButton(sheet, IDHELP);
                           drv::SwitchPage(sheet, 1);
                           drv::PressButton(sheet, IDHELP);
                           drv::PressButton(sheet, IDCANCEL);
                       }),
              IDCANCEL);
    std::vector<std::string> log = ut::SeamLog();
    log.erase(log.begin(), log.begin() + static_cast<long>(before));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("WinHelpW "), std::string::npos);
    EXPECT_NE(log[0].find("DRIVER.HLP 1 2"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("DRIVER.HLP 1 3"), std::string::npos) << log[1];
}

TEST(SheetHelp, FileKindsAndTopics) {
    struct Case {
        const char16_t* name;
        BOOL chm;
    };
    for (const Case& c : {Case{u"help.chm", TRUE}, Case{u"A.CHM", TRUE}, Case{u".CHM", FALSE},
                          Case{u"help.hlp", FALSE}, Case{u"", FALSE}})
        EXPECT_EQ(IsChmFile(c.name), c.chm);
    EXPECT_FALSE(IsChmFile(nullptr));
    EXPECT_EQ(GetHelpContextId(kPageBasic), 2u);
    EXPECT_EQ(GetHelpContextId(kPageFormTray), 17u);
    EXPECT_EQ(GetHelpContextId(112), 501u);
    EXPECT_EQ(GetHelpContextId(99999), 0u);
}

TEST_F(Sheets, DriverHelpFileFromItsOwnNameOrItsDependentFiles) {
    struct Case {
        std::u16string help;
        std::vector<std::u16string> dependents;
        std::u16string found;
    };
    const Case cases[] = {
        {u"C:\\H\\OWN.HLP", {u"C:\\H\\X.CHM"}, u"C:\\H\\OWN.HLP"},
        {u"", {u"C:\\H\\A.DLL", u"C:\\H\\guide.chm", u"C:\\H\\B.HLP"}, u"C:\\H\\guide.chm"},
        {u"", {u".HLP", u"C:\\H\\A.DLL"}, u""},
        {u"", {}, u""},
    };
    for (const Case& c : cases) {
        spl::DriverRecord d;
        d.name = std::u16string(kPrinter) + u" Driver";
        d.driverPath = folder_ + u"\\Inkforge.DLL";
        d.dataFile = folder_ + u"\\MODEL.DAT";
        d.configFile = folder_ + u"\\Frontdoor.DLL";
        d.helpFile = c.help;
        d.dependentFiles = c.dependents;
        ASSERT_EQ(spl::AddDriver(d), 0u);
        EXPECT_EQ(FindDriverHelpFile(printer_), c.found);
    }
}

TEST(SheetApp, MissingFileWarnsEachTimeAndListsTheNameOnce) {
    // The texts come from the resource library, as while a sheet is open.
    HMODULE resources = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
    ASSERT_NE(resources, nullptr);
    AfxSetResourceHandle(resources);
    CTovaUi16 app;
    EXPECT_EQ(std::u16string(app.m_pszAppName), u"Sheetwright.DLL");
    for (const char16_t* name :
         {u"Hopwindow.DLL", u"HOPWINDOW.dll", static_cast<const char16_t*>(nullptr)}) {
        if (name) ut::AnswerNextMessageBox(IDOK);
        WarnMissingFile(nullptr, name);
    }
    auto boxes = ut::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, u"Error");
    EXPECT_EQ(boxes[0].type & MB_SYSTEMMODAL, static_cast<UINT>(MB_SYSTEMMODAL));
    ASSERT_EQ(app.MissingFiles().GetSize(), 1);
    EXPECT_EQ(std::u16string(app.MissingFiles()[0]), u"Hopwindow.DLL");
    AfxSetResourceHandle(nullptr);
    FreeLibrary(resources);
}

} // namespace

namespace {

LONG_PTR CALLBACK AcceptAll(HANDLE, UINT, LPARAM, LPARAM) {
    return 1;
}

// Sheets that cannot have pages: no page is made, nothing is told, and the
// context goes (the listener counts its blocks and libraries).
TEST_F(Sheets, NoPagesWithoutACallbackOrForAnUnknownKind) {
    struct Case {
        DWORD kind;
        bool callback;
    };
    DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kPrinter)};
    for (const Case& c : {Case{kSheetDocument, false}, Case{kSheetDevice, false}, Case{3, true}}) {
        PropPageParams p{};
        p.size = sizeof p;
        p.printerName = const_cast<LPWSTR>(kPrinter);
        p.propertyHeader = &header;
        p.sheetKind = c.kind;
        p.pfnComPropSheet = c.callback ? AcceptAll : nullptr;
        SheetContext* context = CreateSheetContext(&p);
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(context->noCallback, c.callback ? 0u : 1u);
        EXPECT_EQ(BuildSheetPages(context, nullptr), 0u);
    }
    EXPECT_TRUE(ut::MessageBoxLog().empty());
    EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
}

} // namespace

namespace {

// What the help system was asked since `from`.
std::vector<std::string> SeamSince(size_t from) {
    std::vector<std::string> log = ut::SeamLog();
    return std::vector<std::string>(log.begin() + static_cast<long>(std::min(from, log.size())),
                                    log.end());
}

// F1 and right-clicks on the Basic page's controls reach the driver's help
// file: WinHelp with the whole id table, or the HTML help popup after
// "What's this?"; the standard buttons have no help.
TEST_F(Sheets, ContextHelpThroughTheHelpSystems) {
    struct Case {
        const char16_t* helpFile;
        UINT message;
        int control;
        UINT menuAnswer; // 0: no menu expected
        std::string expected;
    };
    const Case cases[] = {
        {u"DRIVER.HLP", WM_HELP, 112, 0, "DRIVER.HLP 12 "},
        {u"DRIVER.HLP", WM_CONTEXTMENU, 112, 0, "DRIVER.HLP 10 "},
        {u"GUIDE.CHM", WM_CONTEXTMENU, 112, 1, "TrackPopupMenu \"&What's this?\""},
        {u"GUIDE.CHM", WM_CONTEXTMENU, 112, 0, "TrackPopupMenu"},
        {u"GUIDE.CHM", WM_HELP, IDOK, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.message) + " " + std::to_string(c.control));
        spl::DriverRecord d;
        d.name = std::u16string(kPrinter) + u" Driver";
        d.driverPath = folder_ + u"\\Inkforge.DLL";
        d.dataFile = folder_ + u"\\MODEL.DAT";
        d.configFile = folder_ + u"\\Frontdoor.DLL";
        d.helpFile = folder_ + u"\\" + c.helpFile;
        ASSERT_EQ(spl::AddDriver(d), 0u);
        size_t before = ut::SeamLog().size();
        const bool chm = c.helpFile == std::u16string(u"GUIDE.CHM");
        if (chm && c.message == WM_CONTEXTMENU) ut::AnswerNextMenu(c.menuAnswer);
        Document(0, nullptr, [&](HWND sheet) {
            HWND page = CurrentPage(sheet);
            HWND control =
                c.control == IDOK ? GetDlgItem(sheet, IDOK) : GetDlgItem(page, c.control);
            RECT r{};
            GetWindowRect(control, &r);
            if (c.message == WM_HELP) {
                HELPINFO info{sizeof info, HELPINFO_WINDOW, c.control, control, 0, {r.left, r.top}};
                SendMessageW(page, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            } else {
                SendMessageW(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control),
                             static_cast<LPARAM>(MAKELONG(r.left + 1, r.top + 1)));
            }
            drv::PressButton(sheet, IDCANCEL);
        });
        std::vector<std::string> log = SeamSince(before);
        if (c.expected.empty()) {
            EXPECT_TRUE(log.empty());
            continue;
        }
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log[0].find(c.expected), std::string::npos) << log[0];
        if (c.menuAnswer) {
            // Chosen: the help system is asked for the popup's window type,
            // which it does not know yet; the page defines it and opens the
            // control's topic in it.
            ASSERT_EQ(log.size(), 4u);
            EXPECT_NE(log[1].find("GUIDE.CHM>popupuse 5 popupuse"), std::string::npos) << log[1];
            EXPECT_EQ(log[2], "HtmlHelpW (null) 4 popupuse");
            EXPECT_NE(log[3].find("GUIDE.CHM>popupuse 15 501"), std::string::npos) << log[3];
        } else if (chm) {
            EXPECT_EQ(log.size(), 1u); // dismissed: nothing opened
        }
    }
}

// A right-click on a disabled check box inside a group box reaches the
// dialog; the check box, not the group box around it, gets the help.
TEST(SheetHelpControls, SmallestControlUnderTheCursorWins) {
    HMODULE resources = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
    ASSERT_NE(resources, nullptr);
    HWND dialog = CreateDialogParamW(
        resources, MAKEINTRESOURCEW(1000), nullptr,
        [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR { return m == WM_INITDIALOG; }, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    HWND check = GetDlgItem(dialog, 1020), group = GetDlgItem(dialog, 1013);
    EnableWindow(check, FALSE);
    RECT c{}, g{}, found{};
    GetWindowRect(check, &c);
    GetWindowRect(group, &g);
    EXPECT_EQ(FindHelpControl(dialog, {c.left + 2, c.top + 2}, &found), 1020);
    EXPECT_EQ(found.left, c.left);
    // Inside the group box, clear of its controls.
    EXPECT_EQ(FindHelpControl(dialog, {g.right - 3, (g.top + g.bottom) / 2}, &found), 1013);
    EXPECT_EQ(FindHelpControl(dialog, {-1000, -1000}, &found), 0);
    DestroyWindow(dialog);
    FreeLibrary(resources);
}

} // namespace

namespace {

// Apply writes the image back and tells the sheet at once; OK does it again.
TEST_F(Sheets, ApplyThenOkWritesTheImageBackTwice) {
    bool writtenOnApply = false;
    size_t resultsOnApply = 0;
    EXPECT_EQ(Document(0, nullptr,
                       [&](HWND sheet) {
                           SendMessageW(sheet, PSM_CHANGED,
                                        reinterpret_cast<WPARAM>(CurrentPage(sheet)), 0);
                           EXPECT_TRUE(drv::PressButton(sheet, IDC_PROPSHEET_APPLYNOW));
                           writtenOnApply = !ImageUntouched();
                           resultsOnApply = Results().size();
                           drv::PressButton(sheet, IDOK);
                       }),
              IDOK);
    EXPECT_TRUE(writtenOnApply);
    EXPECT_EQ(resultsOnApply, 1u); // only the page shown so far applies
    EXPECT_EQ(Results(), (std::vector<LONG_PTR>{CPSUI_OK, CPSUI_OK}));
}

} // namespace

namespace {

// The support dialog lives in Hopwindow beside the model library: without
// the library the user is told a file is missing; without its dialog
// nothing is shown and nothing is said.
TEST_F(Sheets, SupportDialogNeedsHopwindow) {
    ui_test::SheetParams p(printer_, kPrinter, kSheetDocument);
    for (bool beside : {false, true}) {
        SCOPED_TRACE(beside);
        if (beside)
            fs::copy_file(fs::path(RCB_STUB_DIR) / "Hopwindow.DLL",
                          fs::path(platform::HostPath(folder_)) / "Hopwindow.DLL");
        CTovaUi16 app;
        SheetContext* context = CreateSheetContext(&p.params);
        ASSERT_NE(context, nullptr);
        auto* page = new CPropPage(kPageSupport, context);
        EXPECT_EQ(context->pageReferences, 1u);
        if (!beside) ut::AnswerNextMessageBox(IDOK);
        EXPECT_EQ(page->ShowUrlJumpDialog(2), 0u);
        EXPECT_EQ(app.MissingFiles().GetSize(), beside ? 0 : 1);
        delete page; // the last page takes the context with it
    }
    EXPECT_EQ(ut::MessageBoxLog().size(), 1u);
}

} // namespace

namespace {

// The document sheet through the printer interface library itself: OK fills
// the caller's device mode with the sheet's image, Cancel leaves it alone.
TEST(SheetsThroughThePrinterInterface, OkFillsTheCallersDevmodeAndCancelDoesNot) {
    ui_test::InstallPrinter(u"Front", ui_test::SampleModel("CX5540"),
                            {"Frontdoor.DLL", "Resbundle.DLL", "Inkforge.DLL", "Metaweave.DLL",
                             "Devprobe.DLL", "Gatekeep.DLL", "Tallyport.DLL"});
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Front"), &printer, nullptr));
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok);
        DEVMODE_IMAGEW out, untouched;
        std::memset(&untouched, kUntouched, sizeof untouched);
        out = untouched;
        std::vector<std::u16string> titles;
        ut::AnswerNextModal([&](HWND sheet) {
            titles = PageTitles(sheet);
            drv::PressButton(sheet, ok ? IDOK : IDCANCEL);
        });
        LONG r = DocumentPropertiesW(nullptr, printer, nullptr, &out.dm, nullptr,
                                     DM_IN_PROMPT | DM_OUT_BUFFER);
        ASSERT_FALSE(titles.empty());
        EXPECT_EQ(titles.front(), u"Basic");
        EXPECT_EQ(titles.back(), u"Support");
        if (ok) {
            EXPECT_EQ(r, IDOK);
            EXPECT_TRUE(IsOwnDevmode(&out.dm));
        } else {
            EXPECT_EQ(r, IDCANCEL);
            EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0);
        }
    }
    ClosePrinter(printer);
    EXPECT_EQ(ut::LiveWindows(), 0u);
    EXPECT_EQ(ut::LivePropertySheetPages(), 0u);
    for (const auto& u : ut::TakeUnanswered())
        ADD_FAILURE() << "left unanswered: " << u;
}

} // namespace

namespace {

// A document-sheet block over the test printer, with a callback that takes every page.
struct DocumentBlock {
    explicit DocumentBlock(HANDLE printer) : header{sizeof header, 0, printer, nullptr} {
        header.pszPrinterName = const_cast<LPWSTR>(kPrinter);
        p.size = sizeof p;
        p.printerName = const_cast<LPWSTR>(kPrinter);
        p.propertyHeader = &header;
        p.sheetKind = kSheetDocument;
        p.pfnComPropSheet = AcceptAll;
    }
    DEVICEPROPERTYHEADER header;
    PropPageParams p{};
};

// A document sheet's context over the test printer, with the revision
// context and the saved-settings key made from it; the context goes with
// the object.
struct SheetStore {
    explicit SheetStore(HANDLE printer) : block(printer), context(CreateSheetContext(&block.p)) {
        if (!context) return;
        store = SheetReviseContext(context);
        BuildUserRegKey(&store, &key);
    }
    ~SheetStore() {
        if (context) FreeSheetContext(context);
    }
    DocumentBlock block;
    SheetContext* context;
    ReviseContext store;
    std::string key;
};

// The form-to-tray table is read once with the context, from records laid
// out by hand; a trailing piece of a record is not one. The listener sees
// the buffer go with the context.
TEST_F(Sheets, FormTrayTableComesWithTheContext) {
    DocumentBlock block(printer_);
    {
        SheetContext* context = CreateSheetContext(&block.p);
        ASSERT_NE(context, nullptr);
        ASSERT_NE(context->formTray, nullptr);
        EXPECT_EQ(context->formTray->buffer, nullptr);
        EXPECT_EQ(context->formTray->count, 0u);
        FreeSheetContext(context);
    }
    std::vector<BYTE> records(2 * 16 + 5, 0);
    records[4] = 3;  // tray 3
    records[6] = 9;  // paper 9
    records[20] = 1; // tray 1, any paper
    records[24] = 2; // media 2
    ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(u"FormTrayEx"), REG_BINARY,
                              records.data(), static_cast<DWORD>(records.size())),
              0u);
    SheetContext* context = CreateSheetContext(&block.p);
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(context->formTray->count, 2u);
    EXPECT_EQ(context->formTray->printer, printer_);
    EXPECT_EQ(std::memcmp(context->formTray->buffer, records.data(), 32), 0);
    FreeSheetContext(context);
}

} // namespace

namespace {

std::vector<BYTE> RegBytes(const std::string& key, const char* value, DWORD* type = nullptr) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return {};
    BYTE data[128] = {};
    DWORD size = sizeof data, t = 0;
    LSTATUS r = RegQueryValueExA(k, value, nullptr, &t, data, &size);
    RegCloseKey(k);
    if (type) *type = t;
    return r == ERROR_SUCCESS ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>{};
}

// The model keeps its job settings per user in the registry (its key value
// has 0x20): OK saves them there, under the owner's name, and the next
// revision reads the same values back.
TEST_F(Sheets, OkSavesTheJobSettingsWhereTheyAreReadBack) {
    DocumentBlock block(printer_);
    CTovaUi16 app;
    SheetContext* context = CreateSheetContext(&block.p);
    ASSERT_NE(context, nullptr);
    ReviseContext store = SheetReviseContext(context);
    std::string key;
    ASSERT_TRUE(BuildUserRegKey(&store, &key));
    EXPECT_EQ(key, "SOFTWARE\\Velmora\\PrinterDriver\\Velmora CX5540 MFP\\CX5500\\Sheets");
    PRIVATE_DEVMODE& priv = context->workingImage.priv;
    std::strcpy(priv.OwnerUserName, "alice");
    std::strcpy(priv.MailboxId, "1234");
    std::strcpy(priv.SecurePassword, "pw");
    std::strcpy(priv.JobName, "report");
    priv.JobType = 2;
    priv.JobTypeOptions = 1;
    priv.SavePersonalInfo = 0x2;
    auto* page = new CPropPage(kPageBasic, context);
    page->OnOK();
    EXPECT_EQ(priv.SavePersonalInfo, 0u);
    const std::string settings = key + "\\Secure\\alice";
    DWORD type = 0;
    std::vector<BYTE> mailbox = RegBytes(settings, "MailboxID", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(mailbox.size(), 31u); // the fixed byte count, NULs after the text included
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mailbox.data())), "1234");
    EXPECT_EQ(RegBytes(settings, "JobType"), (std::vector<BYTE>{2, 0, 1, 0}));
    EXPECT_EQ(RegBytes(settings, "JobName").size(), 83u);
    EXPECT_TRUE(RegBytes(settings, "DeptCode").empty()); // empty texts are not stored

    PRIVATE_DEVMODE back{};
    std::strcpy(back.OwnerUserName, "alice");
    EXPECT_TRUE(LoadSavedJobInfo(&store, &back, 0xFF | kJobMaskFromSaved));
    EXPECT_STREQ(back.MailboxId, "1234");
    EXPECT_STREQ(back.SecurePassword, "pw");
    EXPECT_STREQ(back.JobName, "report");
    EXPECT_EQ(back.JobType, 2);
    EXPECT_EQ(back.JobTypeOptions, 1);
    // Another user's settings are not there.
    PRIVATE_DEVMODE other{};
    std::strcpy(other.OwnerUserName, "bob");
    EXPECT_FALSE(LoadSavedJobInfo(&store, &other, 0xFF | kJobMaskFromSaved));
    delete page;
}

// The registry store laid out by hand: the password scrambled with
// 5C 13 A7 3E, with its NUL, or as 31 bytes without one; an emptied ID
// removes its value; no owner stores under "Secure" itself; a missing
// department counter takes the mask's default.
TEST_F(Sheets, SavedJobSettingsStore) {
    SheetStore sheet(printer_);
    ASSERT_NE(sheet.context, nullptr);
    ASSERT_FALSE(sheet.key.empty());
    const BYTE k[4] = {0x5C, 0x13, 0xA7, 0x3E};
    struct Case {
        std::string password;
        size_t stored;
    } cases[] = {{"abc", 4},
                 {std::string(31, 'x'), 31},
                 {std::string(30, 'y'), 31},
                 // Characters equal to their key bytes are stored as zeros.
                 {"\x5C\x13"
                  "ab",
                  5},
                 {std::string(30, 'y') + "\x3E", 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.size());
        PRIVATE_DEVMODE priv{};
        std::memcpy(priv.SecurePassword, c.password.data(), c.password.size());
        std::strcpy(priv.MailboxId, "42");
        ASSERT_TRUE(WriteSavedJobSettings(&sheet.store, &priv));
        std::vector<BYTE> raw = RegBytes(sheet.key + "\\Secure", "SecurePassword");
        ASSERT_EQ(raw.size(), c.stored);
        for (size_t i = 0; i < c.password.size(); ++i)
            EXPECT_EQ(raw[i], static_cast<BYTE>(c.password[i] ^ k[i % 4])) << i;
        if (c.stored > c.password.size()) {
            EXPECT_EQ(raw.back(), 0);
        }
        PRIVATE_DEVMODE back{};
        std::memset(back.SecurePassword, 'z', sizeof back.SecurePassword);
        ASSERT_TRUE(
            ReadSavedJobSettings(&sheet.store, &back, kJobFieldPassword | kJobMaskCounterState));
        EXPECT_EQ(std::string(back.SecurePassword), c.password);
        EXPECT_EQ(back.DeptCounterFlags & 0x4, 0); // stored as 0 by the write
    }
    // Texts another installation stored at their full field width end within the field.
    {
        HKEY secure = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (sheet.key + "\\Secure").c_str(), 0,
                                KEY_ALL_ACCESS, &secure),
                  ERROR_SUCCESS);
        const std::string full(32, 'm');
        RegSetValueExA(secure, "MailboxID", 0, REG_SZ, reinterpret_cast<const BYTE*>(full.data()),
                       32);
        RegSetValueExA(secure, "UserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(full.data()),
                       31);
        RegCloseKey(secure);
        PRIVATE_DEVMODE back{};
        std::memset(&back, 'z', sizeof back);
        std::memset(back.OwnerUserName, 0, sizeof back.OwnerUserName);
        ASSERT_TRUE(
            ReadSavedJobSettings(&sheet.store, &back, kJobFieldMailbox | kJobFieldUserName));
        EXPECT_EQ(std::string(back.MailboxId), std::string(31, 'm'));
        EXPECT_EQ(std::string(back.UserName), std::string(31, 'm'));
    }
    PRIVATE_DEVMODE emptied{};
    ASSERT_TRUE(WriteSavedJobSettings(&sheet.store, &emptied));
    EXPECT_TRUE(RegBytes(sheet.key + "\\Secure", "MailboxID").empty());
    EXPECT_TRUE(RegBytes(sheet.key + "\\Secure", "SecurePassword").empty());
    HKEY secure = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (sheet.key + "\\Secure").c_str(), 0, KEY_ALL_ACCESS,
                            &secure),
              ERROR_SUCCESS);
    RegDeleteValueA(secure, "DeptCounter");
    RegDeleteValueA(secure, "JobType");
    RegCloseKey(secure);
    PRIVATE_DEVMODE counted{};
    // A number that is not stored leaves its field as it was.
    counted.JobType = 3;
    counted.JobTypeOptions = 2;
    ASSERT_TRUE(ReadSavedJobSettings(&sheet.store, &counted, kJobFieldType | kJobMaskCounterState));
    EXPECT_EQ(counted.DeptCounterFlags & 0x4, 0x4);
    EXPECT_EQ(counted.JobType, 3);
    EXPECT_EQ(counted.JobTypeOptions, 2);
}

// Without the registry store the settings go into the user's own default
// device mode, made from the driver's defaults when the user has none.
TEST_F(Sheets, JobSettingsInTheUsersDefaultDevmode) {
    SheetStore sheet(printer_);
    ASSERT_NE(sheet.context, nullptr);
    PRIVATE_DEVMODE priv{};
    std::strcpy(priv.MailboxId, "77");
    std::strcpy(priv.DeptCode, "D1");
    std::strcpy(priv.OwnerUserName, "alice");
    ASSERT_TRUE(SaveJobInfo(&sheet.store, &priv, kJobFieldMailbox));
    DWORD needed = 0;
    GetPrinterW(printer_, 9, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    ASSERT_TRUE(GetPrinterW(printer_, 9, info.data(), needed, &needed));
    const auto* stored = reinterpret_cast<const DEVMODE_IMAGEW*>(
        reinterpret_cast<PRINTER_INFO_9W*>(info.data())->pDevMode);
    ASSERT_NE(stored, nullptr);
    EXPECT_TRUE(IsOwnDevmode(&stored->dm));
    EXPECT_STREQ(stored->priv.MailboxId, "77");
    EXPECT_STREQ(stored->priv.DeptCode, ""); // not selected
    EXPECT_STREQ(stored->priv.OwnerUserName, "alice");
    PRIVATE_DEVMODE back{};
    EXPECT_TRUE(LoadSavedJobInfo(&sheet.store, &back, kJobFieldMailbox | kJobFieldDeptCode));
    EXPECT_STREQ(back.MailboxId, "77");
}

} // namespace

namespace {

// Every document page with the preview pane binds it to control 140 and
// refreshes it when shown; the status-monitor button sits centred below it.
// A printer on a local port cannot reach a status monitor: the button is
// disabled there, and a click that comes all the same is answered with the
// driver's message rather than nothing.
TEST_F(Sheets, PreviewPaneAndStatusMonitorButton) {
    DocumentBlock block(printer_);
    CTovaUi16 app;
    SheetContext* context = CreateSheetContext(&block.p);
    ASSERT_NE(context, nullptr);
    auto* object = new CProfilePropPage(kPageBasic, context);
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&object->m_psp);
    ASSERT_NE(handle, nullptr);
    ut::AnswerNextMessageBox(IDOK);
    ut::AnswerNextModal([&](HWND sheet) {
        HWND page = CurrentPage(sheet);
        HWND pane = GetDlgItem(page, CProfilePropPage::kPreviewId);
        HWND button = GetDlgItem(page, CProfilePropPage::kStatusMonitorId);
        EXPECT_EQ(object->Preview().m_hWnd, pane);
        EXPECT_EQ(object->Preview().Refreshes(), 1u);
        RECT p{}, b{};
        GetWindowRect(pane, &p);
        GetWindowRect(button, &b);
        EXPECT_EQ(b.top, p.top + object->Preview().VerticalOffset());
        EXPECT_GT(b.top, p.bottom);
        // Centred to the pixel: an odd difference of widths leaves half a pixel.
        EXPECT_NEAR((b.left + b.right) / 2, (p.left + p.right) / 2, 1);
        EXPECT_FALSE(IsWindowEnabled(button));
        SendMessageW(page, WM_COMMAND, MAKELONG(CProfilePropPage::kStatusMonitorId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        object->OnSetActive();
        EXPECT_EQ(object->Preview().Refreshes(), 2u);
        drv::PressButton(sheet, IDCANCEL);
    });
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.pszCaption = kPrinter;
    psh.nPages = 1;
    psh.phpage = &handle;
    EXPECT_EQ(PropertySheetW(&psh), 0); // the page and its context go with the sheet
    std::vector<ut::MessageBoxCall> boxes = ut::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Executing the Device Monitor failed.");
    EXPECT_EQ(boxes[0].caption, u"Printer Status");
    EXPECT_EQ(boxes[0].type & MB_ICONHAND, static_cast<UINT>(MB_ICONHAND));
}

} // namespace

namespace {

std::vector<BYTE> PrinterData(HANDLE printer, const char16_t* name) {
    DWORD type = 0, needed = 0;
    GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, nullptr, 0, &needed);
    std::vector<BYTE> data(needed);
    if (needed == 0 || GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, data.data(),
                                       needed, &needed) != ERROR_SUCCESS)
        return {};
    return data;
}

// The events the spooler raises reach this library through the printer
// interface: a configuration change writes the installed options back (on
// Windows 6 and later only), and deleting the printer lets it go cleanly.
TEST(SheetsThroughThePrinterInterface, SpoolerEventsReachTheLibrary) {
    ui_test::InstallPrinter(u"Events", ui_test::SampleModel("CX5540"),
                            {"Frontdoor.DLL", "Resbundle.DLL", "Inkforge.DLL", "Metaweave.DLL"});
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Events"), &printer, &all));
    for (bool vista : {false, true}) {
        SCOPED_TRACE(vista);
        platform::test::SetOsVersion(vista ? 6 : 5, 1);
        BYTE marker[] = {0xEE};
        ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(kInstallOptionValue), REG_BINARY,
                                  marker, sizeof marker),
                  0u);
        EXPECT_EQ(spl::NotifyConfigurationChange(u"Events", u"<Bidi/>"), 0u);
        EXPECT_EQ(PrinterData(printer, kInstallOptionValue).size() > 1, vista);
    }
    EXPECT_EQ(spl::RefreshPrinterCache(u"Events"), 0u);
    EXPECT_TRUE(DeletePrinter(printer));
    spl::PrinterRecord gone;
    EXPECT_FALSE(spl::FindPrinter(u"Events", &gone));
    ClosePrinter(printer);
    EXPECT_TRUE(ut::TakeUnanswered().empty());
}

} // namespace

namespace {

// The user's installation stamp of the printer: made once from the local
// time when asked to, then read back as it was stored; the revision of a
// default device mode stamps it into the owner fields.
TEST_F(Sheets, InstalledTimeStamp) {
    SheetStore sheet(printer_);
    ASSERT_NE(sheet.context, nullptr);
    ASSERT_FALSE(sheet.key.empty());
    SYSTEMTIME asGiven{};
    asGiven.wYear = 1999;
    SYSTEMTIME stamp = asGiven;
    HKEY printerKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, sheet.key.c_str(), 0, KEY_ALL_ACCESS, &printerKey) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(printerKey, "InstalledTime"); // the sheet's revision may have made one
        RegCloseKey(printerKey);
    }
    EXPECT_FALSE(ReadInstalledTime(&sheet.store, &stamp, FALSE));
    EXPECT_EQ(stamp.wYear, 1999);
    platform::test::SetLocalTime({2026, 12, 4, 10, 9, 8, 7, 6});
    EXPECT_TRUE(ReadInstalledTime(&sheet.store, &stamp, TRUE));
    EXPECT_EQ(stamp.wYear, 2026);
    DWORD type = 0;
    std::vector<BYTE> raw = RegBytes(sheet.key, "InstalledTime", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(raw.size(), sizeof(SYSTEMTIME));
    EXPECT_EQ(std::memcmp(raw.data(), &stamp, sizeof stamp), 0);
    platform::test::SetLocalTime({2030, 1, 2, 3, 4, 5, 6, 7});
    SYSTEMTIME again{};
    EXPECT_TRUE(ReadInstalledTime(&sheet.store, &again, TRUE));
    EXPECT_EQ(again.wYear, 2026); // made once, then kept
    DEVMODE_IMAGEW defaults{};
    ASSERT_TRUE(StampAndReviseDevmode(printer_, sheet.context->model.modelData, &defaults));
    EXPECT_EQ(defaults.priv.OwnerInstalledTime.wYear, 2026);
}

} // namespace

namespace {

// A printer of another computer keeps its settings under the server's and
// the queue's names as two key levels.
TEST_F(Sheets, SettingsOfAPrinterOnAServer) {
    spl::PrinterRecord record;
    ASSERT_TRUE(spl::FindPrinter(kPrinter, &record));
    record.server = u"\\\\HOST";
    ASSERT_EQ(spl::AddPrinter(record, true), 0u);
    SheetStore sheet(printer_);
    ASSERT_NE(sheet.context, nullptr);
    ASSERT_FALSE(sheet.key.empty());
    EXPECT_EQ(sheet.key,
              "SOFTWARE\\Velmora\\PrinterDriver\\Velmora CX5540 MFP\\CX5500\\HOST\\Sheets");
    PRIVATE_DEVMODE priv{};
    std::strcpy(priv.OwnerUserName, "bob");
    std::strcpy(priv.UserName, "Bob B.");
    ASSERT_TRUE(WriteSavedJobSettings(&sheet.store, &priv));
    std::vector<BYTE> name = RegBytes(sheet.key + "\\Secure\\bob", "UserName");
    ASSERT_EQ(name.size(), 31u);
    EXPECT_STREQ(reinterpret_cast<const char*>(name.data()), "Bob B.");
}

} // namespace

namespace {

std::string StatusCall(const char* key) {
    char text[300] = {};
    GetPrivateProfileStringA("Request", key, "", text, sizeof text, "C:\\status-calls.ini");
    return text;
}

// The status-monitor library is given the device's address, the driver's
// names, the port and the connection code, and what it answers is told to
// the user: nothing when the monitor came up, an error or a note otherwise.
TEST_F(Sheets, StatusMonitorAnswersAreTold) {
    fs::copy_file(STATUS_STUB, fs::path(platform::HostPath(folder_)) / "Statuslens.DLL");
    SheetStore sheet(printer_);
    SheetContext* context = sheet.context;
    ASSERT_NE(context, nullptr);
    // A network port's record, as the device library would have made it.
    SelPortInfo* const made = context->portInfo.record;
    int record = 0;
    context->portInfo.record = reinterpret_cast<SelPortInfo*>(&record);
    context->portInfo.connection = 3;
    std::strcpy(context->portInfo.address, "192.168.100.200");
    struct Case {
        int answer;
        const char16_t* text; // nullptr: nothing shown
        UINT icon;
    } cases[] = {
        {0, nullptr, 0},
        {-1, u"Executing the Device Monitor failed.", MB_ICONHAND},
        {-3, u"Executing the Device Monitor failed.", MB_ICONHAND},
        {-6, u"Device Monitor is not installed.", MB_ICONHAND},
        {-7, u"Device Monitor is initializing.", MB_ICONINFORMATION},
        {5, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        WritePrivateProfileStringA("Answer", "Value", std::to_string(c.answer).c_str(),
                                   "C:\\status-calls.ini");
        size_t before = ut::MessageBoxLog().size();
        if (c.text) ut::AnswerNextMessageBox(IDOK);
        LaunchStatusMonitor(nullptr, context, u"\\\\HOST\\IP_10.0.0.5");
        std::vector<ut::MessageBoxCall> boxes = ut::MessageBoxLog();
        ASSERT_EQ(boxes.size(), before + (c.text ? 1 : 0));
        if (c.text) {
            EXPECT_EQ(boxes.back().text, c.text);
            EXPECT_EQ(boxes.back().caption, u"Printer Status");
            EXPECT_EQ(boxes.back().type & 0xF0, c.icon);
        }
    }
    EXPECT_EQ(StatusCall("Address"), "192.168.100.200");
    EXPECT_EQ(StatusCall("Model"), "Velmora");
    EXPECT_EQ(StatusCall("Port"), "\\\\HOST\\IP_10.0.0.5");
    EXPECT_EQ(StatusCall("Connection"), "1"); // a network port
    const std::string driver = StatusCall("Driver");
    EXPECT_FALSE(driver.empty());
    EXPECT_EQ(StatusCall("FirstWords"), driver.substr(0, driver.find(' ', driver.find(' ') + 1)));
    // An address the monitor's 16-byte field cannot hold whole, or an IPv6
    // one, is refused with the failure message; the library is not asked.
    WritePrivateProfileStringA("Answer", "Value", "0", "C:\\status-calls.ini");
    for (const char* refused : {"192.168.100.2001", "fe80::1", "printer.example.com"}) {
        SCOPED_TRACE(refused);
        std::strcpy(context->portInfo.address, refused);
        WritePrivateProfileStringA("Request", "Address", "-", "C:\\status-calls.ini");
        ut::AnswerNextMessageBox(IDOK);
        LaunchStatusMonitor(nullptr, context, u"IP_x");
        EXPECT_EQ(ut::MessageBoxLog().back().text, u"Executing the Device Monitor failed.");
        EXPECT_EQ(StatusCall("Address"), "-");
    }
    context->portInfo.record = made;
}

} // namespace

namespace {

// The "What's this?" popup of a compiled help file: its window type made
// once and kept by the help system, centred on the control's left edge just
// below its top, moved up to end at the work area's bottom; a control
// without a topic of its own gets the general one.
TEST(SheetHelpControls, PopupWindowPlacedByTheControl) {
    HMODULE resources = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
    ASSERT_NE(resources, nullptr);
    {
        CLocalize strings(resources);
        HWND dialog = CreateDialogParamW(
            resources, MAKEINTRESOURCEW(1000), nullptr,
            [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR { return m == WM_INITDIALOG; }, 0);
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_SHOW);
        RECT work{};
        ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
        HWND check = GetDlgItem(dialog, 1020);
        HWND plain = CreateWindowExW(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE, 4, 4, 20, 10, dialog,
                                     reinterpret_cast<HMENU>(9999), nullptr, nullptr);
        ASSERT_TRUE(check && plain);
        struct Case {
            HWND control;
            int top; // the dialog's top on the screen
            DWORD topic;
        } cases[] = {
            {check, 10, GetHelpContextId(1020) ? GetHelpContextId(1020) : kFallbackHelpId},
            {check, static_cast<int>(work.bottom) - 120, 0},
            {plain, 10, kFallbackHelpId},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.top);
            SetWindowPos(dialog, nullptr, 100, c.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            RECT r{};
            GetWindowRect(c.control, &r);
            ut::AnswerNextMenu(1);
            OnContextHelp(c.control, u"C:\\Drv\\GUIDE.CHM", HELP_CONTEXTMENU, &strings);
            const std::string shown = ut::SeamLog().back();
            HH_WINTYPE* type = nullptr;
            HtmlHelpW(nullptr, u"C:\\Drv\\GUIDE.CHM>popupuse", HH_GET_WIN_TYPE,
                      reinterpret_cast<DWORD_PTR>(&type));
            ASSERT_NE(type, nullptr);
            EXPECT_STREQ(type->pszCaption, "Velmora Printer Driver Help");
            EXPECT_EQ(type->nShowState, SW_SHOW);
            const RECT& pos = type->rcWindowPos;
            EXPECT_EQ(pos.right - pos.left, 500);
            EXPECT_EQ(pos.bottom - pos.top, 500);
            EXPECT_EQ((pos.left + pos.right) / 2, r.left);
            EXPECT_EQ(pos.top, std::min<LONG>(r.top + 10, work.bottom - 500));
            if (c.topic) {
                EXPECT_EQ(shown,
                          "HtmlHelpW C:\\Drv\\GUIDE.CHM>popupuse 15 " + std::to_string(c.topic));
            }
        }
        DestroyWindow(dialog);
    }
    FreeLibrary(resources);
}

} // namespace
