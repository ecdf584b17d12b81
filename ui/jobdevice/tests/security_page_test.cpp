// The Job Type page on a one-page sheet over a printer of the sample model:
// which types it offers and where, what a click or a typed text stores in
// the working device mode, and what it refuses when the page is left.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "install_option.h"
#include "platform/user_ctl.h"
#include "security_page.h"
#include "sheet_app.h"
#include "sheet_context.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/printer_sheets.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char16_t kPrinter[] = u"Jobs";
constexpr DWORD kTypeBits = (1u << 24) | (1u << 25) | (1u << 26) | (1u << 28) | (1u << 29);

class SecurityPage : public ui_test::PageSheet {
  protected:
    // A printer of the sample model (or `source`) with its hard disk fitted.
    void Install(nlohmann::json source = ui_test::SampleSource("CX5540")) {
        ui_test::InstallPrinter(kPrinter, ui_test::Compile(source), {"Resbundle.DLL"});
        ui_test::BoundPrinter bound(kPrinter);
        ASSERT_TRUE(bound.ok());
        CInstallOption options(bound.printer(), bound.binding());
        if (InstallOptionEntry* disk = options.Find(35, 1)) disk->state = 1;
        options.Write();
        OpenPrinter(kPrinter);
    }
    // Shows the page with the offered types of `typeBits` (all when 0),
    // works it with `script` and returns the sheet's working private block.
    PRIVATE_DEVMODE Run(DWORD typeBits, const Script& script) {
        PRIVATE_DEVMODE priv{};
        Sheet sheet;
        sheet.prepare = [&](SheetContext* context) {
            if (typeBits)
                context->workingImage.priv.PrivateFlags =
                    (context->workingImage.priv.PrivateFlags & ~kTypeBits) | typeBits;
            context->workingImage.priv.JobType = 0;
            if (prepare_) prepare_(context->workingImage.priv);
        };
        sheet.pages = [](SheetContext* c) { return std::vector<CPropPage*>{new CSecurity(c)}; };
        // The context outlives the sheet here, so the block can be read afterwards.
        sheet.holdContext = true;
        sheet.done = [&](SheetContext* context) { priv = context->workingImage.priv; };
        Show(sheet, script);
        return priv;
    }
    // Changes the working private block before the page is made.
    std::function<void(PRIVATE_DEVMODE&)> prepare_;
};

bool Visible(HWND page, int id) {
    return IsWindowVisible(GetDlgItem(page, id)) != FALSE;
}

TEST_F(SecurityPage, OnlyMemoryPrintOffered) {
    Install();
    PRIVATE_DEVMODE priv = Run(1u << 28, [](HWND sheet, HWND page) {
        for (int id : {264, 265, 266, 268})
            EXPECT_FALSE(Visible(page, id)) << id;
        RECT first{}, memory{};
        EXPECT_TRUE(Visible(page, 267));
        // One button stands where the first one of the template stood.
        GetWindowRect(GetDlgItem(page, 267), &memory);
        GetWindowRect(GetDlgItem(page, 264), &first);
        EXPECT_EQ(memory.left, first.left);
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 263)), u"Current Setting: None");
        EXPECT_TRUE(drv::SetCheck(GetDlgItem(page, 262), BST_CHECKED));
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 263)), u"Current Setting: Memory Print");
        EXPECT_EQ(drv::ReadCheck(GetDlgItem(page, 267)), UINT(BST_CHECKED));
        EXPECT_TRUE(drv::SetCheck(GetDlgItem(page, 262), BST_UNCHECKED));
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 263)), u"Current Setting: None");
        EXPECT_TRUE(drv::SetCheck(GetDlgItem(page, 262), BST_CHECKED));
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_EQ(priv.JobType, 4);
}

TEST_F(SecurityPage, TheIdGoesToBothBoxesAndThePassword) {
    Install();
    PRIVATE_DEVMODE priv = Run(0, [](HWND sheet, HWND page) {
        drv::SetCheck(GetDlgItem(page, 262), BST_CHECKED);
        drv::Click(GetDlgItem(page, 267));
        drv::TypeText(GetDlgItem(page, 270), u"4711");
        drv::TypeText(GetDlgItem(page, 272), u"12345678");
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_EQ(priv.JobType, 4);
    EXPECT_STREQ(priv.MailboxId, "4711");
    EXPECT_STREQ(priv.SecureBoxId, "4711");
    EXPECT_STREQ(priv.SecurePassword, "12345678");
}

TEST_F(SecurityPage, UserNameStopsAtTwentyBytes) {
    Install();
    PRIVATE_DEVMODE priv = Run(0, [](HWND sheet, HWND page) {
        drv::TypeText(GetDlgItem(page, 277), u"abcdefghijklmnopqrstuvw");
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_STREQ(priv.UserName, "abcdefghijklmnopqrst");
}

TEST_F(SecurityPage, LeavingThePageChecksIdsAndNames) {
    Install();
    struct Case {
        const char* name;
        std::u16string id;
        std::u16string jobName;
        std::u16string message;
    } cases[] = {
        {"empty id", u"", u"report", u"Please input User ID."},
        {"slash in the job name", u"4711", u"a/b",
         u"The following characters cannot be used. Please change.\r\n\t\t\\/*?:.;\"<>|."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ut::AnswerNextMessageBox(IDOK);
        const size_t before = ut::MessageBoxLog().size();
        Run(0, [&](HWND sheet, HWND page) {
            drv::SetCheck(GetDlgItem(page, 262), BST_CHECKED);
            drv::Click(GetDlgItem(page, 267));
            drv::TypeText(GetDlgItem(page, 270), c.id);
            drv::TypeText(GetDlgItem(page, 272), u"12345678");
            drv::TypeText(GetDlgItem(page, 279), c.jobName);
            drv::PressButton(sheet, IDOK);
            // Refused: the sheet stays open.
            EXPECT_TRUE(IsWindow(sheet));
            drv::PressButton(sheet, IDCANCEL);
        });
        auto log = ut::MessageBoxLog();
        ASSERT_EQ(log.size(), before + 1);
        EXPECT_EQ(log.back().text, c.message);
    }
}

// A department code against the model's rule (digits only, all 8 of them)
// is told the rule when the page is left, not asked for.
TEST_F(SecurityPage, LeavingThePageTellsTheDepartmentCodesRule) {
    auto source = ui_test::SampleSource("CX5540");
    source["codes"]["63"]["2"][2] = 0x1005;
    Install(source);
    prepare_ = [](PRIVATE_DEVMODE& priv) {
        priv.PrivateFlags |= 1u << 27;
        priv.DeptCounterFlags |= 0x1;
        std::strcpy(priv.DeptCode, "1234");
    };
    ut::AnswerNextMessageBox(IDOK);
    const size_t before = ut::MessageBoxLog().size();
    Run(0, [&](HWND sheet, HWND page) {
        EXPECT_EQ(drv::ReadText(GetDlgItem(page, 283)), u"1234");
        drv::PressButton(sheet, IDOK);
        EXPECT_TRUE(IsWindow(sheet));
        drv::PressButton(sheet, IDCANCEL);
    });
    auto log = ut::MessageBoxLog();
    ASSERT_EQ(log.size(), before + 1);
    EXPECT_EQ(log.back().text, u"Please enter a 8 digit Department Code.");
    EXPECT_EQ(log.back().caption, u"Department Code");
}

TEST_F(SecurityPage, PasswordRowsOnlyWhereATypeAsksOne) {
    Install();
    // Secure Mailbox asks an ID only.
    Run(1u << 26, [](HWND sheet, HWND page) {
        EXPECT_TRUE(Visible(page, 270));
        for (int id : {271, 272, 273, 274})
            EXPECT_FALSE(Visible(page, id)) << id;
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(SecurityPage, WithoutJobInformationTheGroupIsHidden) {
    auto source = ui_test::SampleSource("CX5540");
    source["codes"]["79"]["1"][0] = "0x2E8";
    Install(source);
    Run(0, [](HWND sheet, HWND page) {
        for (int id = 275; id <= 280; ++id)
            EXPECT_FALSE(Visible(page, id)) << id;
        drv::PressButton(sheet, IDCANCEL);
    });
}

} // namespace
