// The Support page over a printer of the sample model: the product text with
// its version, the driver's files with the versions the build gave them, and
// the links it opens (web addresses only).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "about_page.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/files.h"
#include "win/ini.h"
#include "win/printer_sheets.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"Supported";

// Where the pictures go: $PAGES_PNG_DIR, else the test's machine root.
std::string PictureDir() {
    const char* dir = std::getenv("PAGES_PNG_DIR");
    return dir && *dir ? std::string(dir) : platform::HostPath(u"C:\\");
}

class SupportPage : public ui_test::PageSheet {
  protected:
    void SetUp() override { Install(ui_test::SampleModel("CX5540")); }
    void Install(const ui_test::Bytes& model) {
        ui_test::InstallPrinter(kPrinter, model,
                                {"Resbundle.DLL", "Statuslens.DLL", "Hopwindow.DLL"});
        OpenPrinter(kPrinter);
    }
    // Shows the page alone in a sheet and works it with `script`.
    void Run(const std::function<void(SheetContext*)>& prepare, const Script& script) {
        Sheet sheet;
        sheet.prepare = prepare;
        sheet.pages = [](SheetContext* c) { return std::vector<CPropPage*>{new CAboutDlg(c)}; };
        // The context outlives the sheet here.
        sheet.holdContext = true;
        Show(sheet, [&](HWND shown, HWND page) {
            script(shown, page);
            drv::PressButton(shown, IDCANCEL);
        });
    }
};

TEST_F(SupportPage, ListsTheDriversFilesWithTheirVersions) {
    Run([](SheetContext*) {},
        [](HWND sheet, HWND page) {
            const std::u16string files = drv::ReadText(GetDlgItem(page, 914));
            EXPECT_EQ(files.rfind(u"Folder:", 0), 0u) << platform::ToUtf8(files);
            // The libraries carry the version the build gave them.
            EXPECT_NE(files.find(u"\r\nMODELSMITH.DLL\t5.01.053"), std::u16string::npos)
                << platform::ToUtf8(files);
            EXPECT_NE(files.find(u"\r\nSHEETWRIGHT.DLL\t5.01.053"), std::u16string::npos);
            // The model data file has no version resource: its date stands.
            const size_t data = files.find(u"\r\nMODEL.DAT\t");
            ASSERT_NE(data, std::u16string::npos);
            EXPECT_EQ(files[data + 2 + 10 + 4], u'.'); // "YYYY.MM.DD"
            const std::u16string product = drv::ReadText(GetDlgItem(page, 912));
            EXPECT_NE(product.find(u"Velmora Printer Driver Version 5.01.053"),
                      std::u16string::npos)
                << platform::ToUtf8(product);
            // No version file: the driver's own version.
            EXPECT_NE(product.find(u"Version 5.01(5.01.050)"), std::u16string::npos);
            // A parallel port has no address: no status page to open.
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, 915)));
            EXPECT_TRUE(drv::SavePng(sheet, PictureDir() + "/support_page.png"));
        });
}

TEST_F(SupportPage, OpensWebAddressesOnly) {
    // A printer on an IPv6 address: its status page at the bracketed address.
    SheetContext* context = nullptr;
    Run([&](SheetContext* c) { context = c; },
        [&](HWND, HWND page) {
            // The port now answers an IPv6 address; the page is shown again.
            std::strcpy(context->portInfo.address, "fe80::1");
            context->portInfo.addressKind = kPortAddressWithPort;
            SendMessageW(page, WM_SETTINGCHANGE, 0, 0);
            const size_t before = ut::ShellExecuteLog().size();
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, 915)));
            drv::Click(GetDlgItem(page, 915));
            drv::Click(GetDlgItem(page, 916));
            const auto log = ut::ShellExecuteLog();
            ASSERT_EQ(log.size(), before + 2);
            EXPECT_EQ(log[before].file, u"http://[fe80::1]");
            EXPECT_EQ(log[before].operation, u"open");
            EXPECT_EQ(log[before + 1].file, u"http://www.velmora.example/download/");
        });
}

// The model's texts are shown as they stand: a "%s" in the copyright line
// takes the support text once, and nothing else in it is a format; without
// the driver-version text the model name stands in.
TEST_F(SupportPage, ModelTextIsNeverAFormat) {
    nlohmann::json source = ui_test::SampleSource("CX5540");
    source["codes"]["17"] = "Copyright %s 100%d %n %s";
    source["codes"]["16"] = "";
    Install(ui_test::Compile(source));
    Run([](SheetContext*) {},
        [](HWND, HWND page) {
            const std::u16string product = drv::ReadText(GetDlgItem(page, 912));
            EXPECT_NE(product.find(u"Copyright Velmora Customer Support Center 100%d %n %s"),
                      std::u16string::npos)
                << platform::ToUtf8(product);
            EXPECT_NE(product.find(u"Velmora Velmora CX5540 MFP"), std::u16string::npos);
        });
}

// "Support Contacts..." shows the support file in Hopwindow's viewer; viewing
// leaves the file's read-only mark alone.
TEST_F(SupportPage, ContactsShowTheSupportFile) {
    std::u16string file;
    Run(
        [&](SheetContext* c) {
            file = c->supportFilePath;
            ASSERT_FALSE(file.empty());
            WritePrivateProfileStringW(u"UrlTitle1", u"LINE1", u"Velmora help desk", file.c_str());
            WritePrivateProfileStringW(u"Contact1", u"LINE1", u"help@velmora.example",
                                       file.c_str());
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
        },
        [&](HWND, HWND page) {
            ut::AnswerNextModal([](HWND d) {
                EXPECT_EQ(drv::ReadText(GetDlgItem(d, 1034)), u"Velmora help desk");
                EXPECT_EQ(drv::ReadText(GetDlgItem(d, 1020)), u"help@velmora.example");
                drv::PressButton(d, IDOK);
            });
            drv::Click(GetDlgItem(page, 917));
        });
    EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(SupportLinks, OnlyWebAndPlainMailAddressesOpen) {
    struct Case {
        const char16_t* link;
        bool web;
        const char16_t* mail;
    } cases[] = {
        {u"http://www.velmora.example/", true, u""},
        {u"HTTPS://velmora.example/support?x=1", true, u""},
        {u"C:\\x.exe", false, u""},
        {u"\\\\host\\share\\run.exe", false, u""},
        {u"file:///C:/x.exe", false, u""},
        {u"http:///C:/x.exe", false, u""},
        {u"http://a b", false, u""},
        {u"help@velmora.example", false, u"mailto:help@velmora.example"},
        {u"help@velmora.example?subject=x", false, u""},
        {u"help@velmora.example\r\nbcc@x", false, u""},
        {u"mailto:help@velmora.example", false, u""},
        {u"", false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.link));
        EXPECT_EQ(IsOpenableWebLink(c.link), c.web);
        EXPECT_EQ(MailLink(c.link), c.mail);
    }
    // The model's text is never a format: "%s" is replaced once, as it stands.
    EXPECT_EQ(ReplaceFirstPlaceholder(u"(C) %s %s %n", u"100%d"), u"(C) 100%d %s %n");
}

} // namespace
