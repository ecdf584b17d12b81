// The Profile page and its name dialog on a one-page sheet over a printer of
// the sample model: the store started from the driver's copy, choosing,
// saving, deleting, importing and exporting profiles, and the names and
// files the page refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "devmode_convert.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "platform_testing/fresh_root.h"
#include "profile_bytes.h"
#include "profile_main.h"
#include "revise_devmode.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
using namespace profile_bytes;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"Profiles";

LONG_PTR CALLBACK AcceptAll(HANDLE, UINT, LPARAM, LPARAM) {
    return 1;
}

std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProfilePage : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(kPrinter, ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer_, &defaults));
        ui_test::BoundPrinter bound(kPrinter);
        ASSERT_TRUE(GetProfileStorePath(bound.binding(), &store_));
    }
    void TearDown() override {
        if (printer_) ClosePrinter(printer_);
        for (const auto& u : ut::TakeUnanswered())
            ADD_FAILURE() << "left unanswered: " << u;
    }
    std::string HostStore() const { return platform::HostPath(store_); }
    void WriteStore(const std::string& bytes) {
        const size_t slash = store_.find_last_of(u'\\');
        ASSERT_TRUE(CreateDirectoryTree(store_.substr(0, slash).c_str()));
        std::ofstream(HostStore(), std::ios::binary) << bytes;
    }
    // Shows the page over the working settings `prepare` makes, works it with
    // `script` and returns the sheet's working settings.
    DEVMODE_IMAGEW Run(const std::function<void(DEVMODE_IMAGEW&)>& prepare,
                       const std::function<void(HWND sheet, HWND page)>& script) {
        DEVICEPROPERTYHEADER header{sizeof header, 0, printer_, const_cast<LPWSTR>(kPrinter)};
        PropPageParams p{};
        p.size = sizeof p;
        p.printerName = const_cast<LPWSTR>(kPrinter);
        p.propertyHeader = &header;
        p.sheetKind = kSheetDocument;
        p.pfnComPropSheet = AcceptAll;
        CTovaUi16 app;
        SheetContext* context = CreateSheetContext(&p);
        EXPECT_NE(context, nullptr);
        if (!context) return {};
        if (prepare) prepare(context->workingImage);
        ++context->pageReferences;
        auto* page = new CProfileMain(context);
        HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page->m_psp);
        ut::AnswerNextModal([&](HWND sheet) {
            script(sheet,
                   reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)));
        });
        PROPSHEETHEADERW psh{};
        psh.dwSize = sizeof psh;
        psh.pszCaption = kPrinter;
        psh.nPages = 1;
        psh.phpage = &handle;
        PropertySheetW(&psh);
        DEVMODE_IMAGEW working = context->workingImage;
        FreeSheetContext(context);
        return working;
    }
    static std::vector<std::u16string> Items(HWND page) {
        HWND list = GetDlgItem(page, CProfileMain::kProfileList);
        std::vector<std::u16string> out;
        const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char16_t text[128] = {};
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    }
    static std::u16string Selected(HWND page) {
        HWND list = GetDlgItem(page, CProfileMain::kProfileList);
        const LRESULT at = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (at < 0) return {};
        char16_t text[128] = {};
        SendMessageW(list, LB_GETTEXT, at, reinterpret_cast<LPARAM>(text));
        return text;
    }
    HANDLE printer_ = nullptr;
    std::u16string store_;
};

TEST_F(ProfilePage, StoreStartsFromTheDriversCopyAndAProfileIsChosen) {
    // The driver's copy holds the printer's own defaults with 7 copies.
    const std::u16string folder = ui_test::DriverFolder(kPrinter) + u"\\";
    {
        ui_test::BoundPrinter bound(kPrinter);
        auto image = std::make_unique<DEVMODE_IMAGEW>();
        ASSERT_TRUE(StampAndReviseDevmode(printer_, bound.binding()->modelData, image.get()));
        image->dm.dmCopies = 7;
        std::strcpy(image->priv.ProfileName, "Office");
        DEVMODE_IMAGEA ansi{};
        ASSERT_TRUE(DevModeWToA(&image->dm, sizeof *image, &ansi.dm, sizeof ansi));
        ProfileEntry entry{};
        std::strcpy(entry.name, "Office");
        std::strcpy(entry.comment, "for the office");
        ProfileFile copy(bound.binding(), folder + u"P00DPR.DAT");
        ASSERT_TRUE(copy.SaveProfile(&ansi.dm, &entry, FALSE));
    }
    DEVMODE_IMAGEW working = Run(nullptr, [](HWND sheet, HWND page) {
        EXPECT_EQ(Items(page), (std::vector<std::u16string>{u"DEFAULT", u"Office"}));
        EXPECT_EQ(Selected(page), u"DEFAULT");
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, CProfileMain::kComment)), u"Default Settings");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, CProfileMain::kSaveAs)));
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 568)), u"Differen&t settings from DEFAULT :");
        EXPECT_TRUE(drv::SelectItemText(GetDlgItem(page, CProfileMain::kProfileList), u"Office"));
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, CProfileMain::kComment)), u"for the office");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, CProfileMain::kDelete)));
        EXPECT_GT(SendMessageW(GetDlgItem(page, CProfileMain::kDifferences), LB_GETCOUNT, 0, 0), 0)
            << "copies differ from the defaults";
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_EQ(working.dm.dmCopies, 7);
    EXPECT_STREQ(working.priv.ProfileName, "Office");
    EXPECT_FALSE(ReadHost(HostStore()).empty()) << "the driver's copy became the user's store";
}

TEST_F(ProfilePage, SavedThenDeletedBecomesUntitled) {
    auto copies = [](DEVMODE_IMAGEW& w) { w.dm.dmCopies = 3; };
    Run(copies, [](HWND sheet, HWND page) {
        EXPECT_EQ(Selected(page), u"UNTITLED");
        ut::AnswerNextModal([](HWND dialog) {
            drv::TypeText(drv::FindControl(dialog, 612), u"Three");
            drv::TypeText(drv::FindControl(dialog, 614), u"three copies");
            drv::PressButton(dialog, IDOK);
        });
        EXPECT_TRUE(drv::Click(GetDlgItem(page, CProfileMain::kSaveAs)));
        EXPECT_EQ(Items(page), (std::vector<std::u16string>{u"DEFAULT", u"Three"}));
        EXPECT_EQ(Selected(page), u"Three");
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, CProfileMain::kComment)), u"three copies");

        ut::AnswerNextMessageBox(IDYES);
        EXPECT_TRUE(drv::Click(GetDlgItem(page, CProfileMain::kDelete)));
        EXPECT_EQ(Items(page), (std::vector<std::u16string>{u"DEFAULT", u"UNTITLED"}));
        EXPECT_EQ(Selected(page), u"UNTITLED");
        drv::PressButton(sheet, IDCANCEL);
    });
}

// A store cut inside its second record takes the next save (the first
// profile and the new one written); a store of another model is told as
// such when a save is refused.
TEST_F(ProfilePage, CutStoreSavesAndAnotherModelsStoreIsNamed) {
    const std::string test1 = RecordChunk("Test1", "", 0, Devmode(1));
    const std::string two = RecordChunk("Two", "", 0, Devmode(2));
    const struct {
        const char* what;
        std::string store;
        std::vector<std::u16string> after; // empty: the save is refused
        std::u16string told;
    } cases[] = {
        {"cut",
         (CurrentHead(2) + test1 + two + EndChunk()).substr(0, 2000),
         {u"DEFAULT", u"Test1", u"Four"},
         u""},
        {"another model",
         CurrentHead(1, 0x100000, "Velmora LP1220") + test1 + EndChunk(),
         {},
         u"This file is not a profile data for your printer."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteStore(c.store);
        const size_t boxes = ut::MessageBoxLog().size();
        Run([](DEVMODE_IMAGEW& w) { w.dm.dmCopies = 4; },
            [&](HWND sheet, HWND page) {
                ut::AnswerNextModal([](HWND dialog) {
                    drv::TypeText(drv::FindControl(dialog, 612), u"Four");
                    drv::PressButton(dialog, IDOK);
                });
                if (!c.told.empty()) ut::AnswerNextMessageBox(IDOK);
                EXPECT_TRUE(drv::Click(GetDlgItem(page, CProfileMain::kSaveAs)));
                if (!c.after.empty()) EXPECT_EQ(Items(page), c.after);
                drv::PressButton(sheet, IDCANCEL);
            });
        auto log = ut::MessageBoxLog();
        ASSERT_EQ(log.size() - boxes, c.told.empty() ? 0u : 1u);
        if (!c.told.empty()) EXPECT_EQ(log.back().text, c.told);
        if (c.after.empty()) EXPECT_EQ(ReadHost(HostStore()), c.store) << "left as it was";
    }
}

// A picture of the name dialog as "Save as ..." opens it, into
// $PAGES_PNG_DIR, else into the test's machine root.
TEST_F(ProfilePage, PictureOfTheNameDialog) {
    const char* dir = std::getenv("PAGES_PNG_DIR");
    const std::string folder = dir && *dir ? dir : platform_testing::Root();
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/profile-name-dialog.png";
    auto copies = [](DEVMODE_IMAGEW& w) { w.dm.dmCopies = 3; };
    Run(copies, [&](HWND sheet, HWND page) {
        ut::AnswerNextModal([&](HWND dialog) {
            drv::TypeText(drv::FindControl(dialog, 612), u"Three");
            drv::TypeText(drv::FindControl(dialog, 614), u"three copies");
            EXPECT_TRUE(drv::SavePng(dialog, file));
            drv::PressButton(dialog, IDCANCEL);
        });
        EXPECT_TRUE(drv::Click(GetDlgItem(page, CProfileMain::kSaveAs)));
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(ProfilePage, NameDialogRefusesReservedAndForbiddenNames) {
    auto copies = [](DEVMODE_IMAGEW& w) { w.dm.dmCopies = 3; };
    Run(copies, [](HWND sheet, HWND page) {
        ut::AnswerNextModal([](HWND dialog) {
            HWND name = drv::FindControl(dialog, 612);
            drv::TypeText(name, u"   ");
            EXPECT_FALSE(IsWindowEnabled(drv::FindControl(dialog, IDOK))) << "blank";
            for (const char16_t* refused : {u"default", u"UnTitled", u"a.b"}) {
                drv::TypeText(name, refused);
                ut::AnswerNextMessageBox(IDOK);
                drv::PressButton(dialog, IDOK);
                EXPECT_TRUE(IsWindow(dialog)) << platform::ToUtf8(refused);
            }
            drv::PressButton(dialog, IDCANCEL);
        });
        drv::Click(GetDlgItem(page, CProfileMain::kSaveAs));
        const auto boxes = ut::MessageBoxLog();
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[0].text, u"Cannot use the name as a profile.\nUse another name.");
        EXPECT_NE(boxes[2].text.find(u"cannot be used"), std::u16string::npos);
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(ProfilePage, StoreFileItselfIsNeitherImportedNorExportedOnto) {
    WriteStore(CurrentHead(1) + RecordChunk("Office", "", 0, Devmode(7, 1100, "Office")) +
               EndChunk());
    // The store under another name is still the store.
    const std::string link = HostStore() + ".link";
    ASSERT_EQ(::symlink(HostStore().c_str(), link.c_str()), 0);
    const std::u16string linkPath = store_ + u".link";
    Run(nullptr, [&](HWND sheet, HWND page) {
        ut::AnswerNextFileDialog(linkPath);
        ut::AnswerNextMessageBox(IDOK);
        drv::Click(GetDlgItem(page, CProfileMain::kImport));
        drv::SelectItemText(GetDlgItem(page, CProfileMain::kProfileList), u"Office");
        ut::AnswerNextFileDialog(store_);
        ut::AnswerNextMessageBox(IDOK);
        drv::Click(GetDlgItem(page, CProfileMain::kExport));
        const auto boxes = ut::MessageBoxLog();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_NE(boxes[0].text.find(u"Import profile aborted."), std::u16string::npos);
        EXPECT_NE(boxes[1].text.find(u"Export profile aborted."), std::u16string::npos);
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(ProfilePage, ExportWritesTheProfileAloneAndImportChecksNames) {
    WriteStore(CurrentHead(2) + RecordChunk("Office", "o", 0, Devmode(7, 1100, "Office")) +
               RecordChunk("Home", "h", 0, Devmode(2, 1100, "Home")) + EndChunk());
    const std::u16string exported = u"C:\\Users\\Public\\office.pro";
    const std::u16string incoming = u"C:\\Users\\Public\\incoming.pro";
    ASSERT_TRUE(CreateDirectoryTree(u"C:\\Users\\Public"));
    // An export file that already holds other profiles.
    std::ofstream(platform::HostPath(exported), std::ios::binary)
        << CurrentHead(1) + RecordChunk("Old", "", 0, Devmode(1)) + EndChunk();
    // An import file with a name the dialog refuses.
    std::ofstream(platform::HostPath(incoming), std::ios::binary)
        << CurrentHead(2) + RecordChunk("default", "", 0, Devmode(4)) +
               RecordChunk("New", "n", 0, Devmode(5)) + EndChunk();
    Run(nullptr, [&](HWND sheet, HWND page) {
        drv::SelectItemText(GetDlgItem(page, CProfileMain::kProfileList), u"Office");
        ut::AnswerNextFileDialog(exported);
        ut::AnswerNextMessageBox(IDYES); // the file is there: replace it
        drv::Click(GetDlgItem(page, CProfileMain::kExport));

        // "default" is renamed through the dialog, "New" comes in as it is.
        ut::AnswerNextFileDialog(incoming);
        ut::AnswerNextModal([](HWND dialog) {
            EXPECT_EQ(drv::ReadText(drv::FindControl(dialog, 612)), u"");
            drv::TypeText(drv::FindControl(dialog, 612), u"Renamed");
            drv::PressButton(dialog, IDOK);
        });
        drv::Click(GetDlgItem(page, CProfileMain::kImport));
        EXPECT_EQ(Items(page), (std::vector<std::u16string>{u"DEFAULT", u"Office", u"Home",
                                                            u"Renamed", u"New"}));
        drv::PressButton(sheet, IDCANCEL);
    });
    const std::string file = ReadHost(platform::HostPath(exported));
    EXPECT_EQ(Get32(file, 32), 1u);
    EXPECT_EQ(file.substr(88 + 24, 7), std::string("Office\0", 7));
    EXPECT_EQ(file.find("Old"), std::string::npos);
}

} // namespace
