// The dialogs the Basic page opens, through its buttons as a person clicks
// them: the cover page dialog on its own copy of the image, the duplex
// options, and the custom paper list and edit with the user paper file. Each
// leaves a picture of itself.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "basic_page.h"
#include "control_states.h"
#include "cover_page_dlg.h"
#include "custom_paper_dlg.h"
#include "devmode_helpers.h"
#include "duplex_options_dlg.h"
#include "form_tray_table.h"
#include "pages_fixture.h"
#include "platform/user_ctl.h"
#include "platform_testing/fresh_root.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

class BasicDialogs : public pages_test::SheetFixture {
  protected:
    INT_PTR RunSheet(std::function<void(HWND sheet, HWND page)> script) {
        CPropertySheet sheet(u"Document");
        sheet.AddPage(new CPaperSet(context_));
        ut::AnswerNextModal([&](HWND h) {
            auto page = reinterpret_cast<HWND>(SendMessageW(h, PSM_GETCURRENTPAGEHWND, 0, 0));
            script(h, page);
        });
        const INT_PTR result = sheet.DoModal();
        // A context without a sheet callback is never let go by its pages.
        if (context_->noCallback && context_->pageReferences > 1) --context_->pageReferences;
        return result;
    }
    static HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }
    static bool Visible(HWND dialog, int id) {
        return (GetWindowLongW(Item(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    // Pictures go to $PAGES_PNG_DIR, else into the test's machine root.
    static void Picture(HWND window, const std::string& name) {
        std::string folder = pages_test::PictureFolder();
        if (folder.empty()) folder = platform_testing::Root();
        std::filesystem::create_directories(folder);
        EXPECT_TRUE(drv::SavePng(window, folder + "/" + name + ".png"));
    }
    static int IndexOfData(HWND combo, LRESULT data) {
        const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i)
            if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
                return static_cast<int>(i);
        return -1;
    }
};

TEST_F(BasicDialogs, PictureOfTheBasicPage) {
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND) {
                  Picture(sheet, "basic-page");
                  drv::PressButton(sheet, IDCANCEL);
              }),
              0);
}

// The cover page dialog works on its own copy: Cancel leaves the image, OK
// brings the covers back; a cover that is off leaves its choices disabled.
TEST_F(BasicDialogs, CoverPageOnItsOwnCopy) {
    Working().priv.PrivateFlags |= (1u << 22) | (1u << 23);
    Working().priv.CoverFlags = 0;
    const DEVMODE_IMAGEW before = Working();
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ASSERT_TRUE(Visible(page, CPaperSet::kCoverPage));
                  ut::AnswerNextModal([&](HWND dialog) {
                      EXPECT_FALSE(Enabled(dialog, CCoverPageDlg::kFrontType));
                      EXPECT_FALSE(Enabled(dialog, CCoverPageDlg::kFrontSource));
                      drv::SetCheck(Item(dialog, CCoverPageDlg::kFrontCheck), BST_CHECKED);
                      drv::PressButton(dialog, IDCANCEL);
                  });
                  drv::Click(Item(page, CPaperSet::kCoverPage));
                  drv::PressButton(sheet, IDCANCEL);
              }),
              0);
    EXPECT_EQ(std::memcmp(&before, &Working(), sizeof before), 0);

    // The cover types by their names, not another list's words.
    auto coverTypes = [](HWND dialog) {
        HWND list = Item(dialog, CCoverPageDlg::kFrontType);
        EXPECT_EQ(pages_test::ComboTexts(list),
                  (std::vector<std::u16string>{u"Blank", u"Printed"}));
        EXPECT_EQ(IndexOfData(list, 0), 0);
        EXPECT_EQ(IndexOfData(list, 1), 1);
    };
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ut::AnswerNextModal([&](HWND dialog) {
                      drv::SetCheck(Item(dialog, CCoverPageDlg::kFrontCheck), BST_CHECKED);
                      EXPECT_TRUE(Enabled(dialog, CCoverPageDlg::kFrontType));
                      EXPECT_TRUE(Enabled(dialog, CCoverPageDlg::kFrontSource));
                      EXPECT_FALSE(Enabled(dialog, CCoverPageDlg::kBackType));
                      coverTypes(dialog);
                      Picture(dialog, "cover-page");
                      drv::PressButton(dialog, IDOK);
                  });
                  drv::Click(Item(page, CPaperSet::kCoverPage));
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().priv.CoverFlags & 1, 1);
}

// Duplex options: the notice comes back on OK, Cancel keeps both settings;
// with only the notice offered the check box stands where the list was.
TEST_F(BasicDialogs, DuplexOptions) {
    Working().priv.DuplexNotice = 0;
    Working().priv.PrivateFlags |= 0x200;
    Working().priv.JobCheckFlags |= 0x10;
    const WORD type = Working().priv.DuplexType;
    for (int answer : {IDCANCEL, IDOK}) {
        EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                      ASSERT_TRUE(Visible(page, CPaperSet::kDuplexOptions));
                      ut::AnswerNextModal([&](HWND dialog) {
                          EXPECT_EQ(Visible(dialog, CDupOpt::kNoticeCheck),
                                    CDupOpt::NoticeShown(context_) != FALSE);
                          EXPECT_EQ(Visible(dialog, CDupOpt::kTypeList),
                                    CDupOpt::TypeShown(context_) != FALSE);
                          drv::SetCheck(Item(dialog, CDupOpt::kNoticeCheck), BST_CHECKED);
                          if (answer == IDOK) Picture(dialog, "duplex-options");
                          drv::PressButton(dialog, answer);
                      });
                      drv::Click(Item(page, CPaperSet::kDuplexOptions));
                      drv::PressButton(sheet, IDOK);
                  }),
                  1);
        EXPECT_EQ(Working().priv.DuplexNotice, answer == IDOK ? 1 : 0);
        EXPECT_EQ(Working().priv.DuplexType, type);
    }
}

// The custom paper list: a new paper typed far over the model's largest size
// is stored at that size, in both units, and written to the file; a name of
// blanks is refused; deleting the paper in use falls back to the model's
// default paper, in the paper size and the output paper alike.
TEST_F(BasicDialogs, CustomPapersNewAndDelete) {
    PaperLimits limits{};
    ASSERT_TRUE(ReadPaperLimits(&context_->model, FALSE, &limits));
    ut::SetMessageBoxAnswerer(
        [](const ut::MessageBoxCall& box) { return (box.type & 0xF) == MB_YESNO ? IDYES : IDOK; });
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ASSERT_TRUE(Visible(page, CPaperSet::kCustomPaper));
                  ut::AnswerNextModal([&](HWND list) {
                      ut::AnswerNextModal([&](HWND edit) {
                          drv::Click(Item(edit, CCustomPaperEdit::kMillimetres));
                          HWND name = Item(edit, CCustomPaperEdit::kName);
                          SetFocus(name);
                          drv::TypeText(name, u"   ");
                          const size_t boxes = ut::MessageBoxLog().size();
                          drv::PressButton(edit, IDOK); // refused: blanks only
                          ASSERT_EQ(ut::MessageBoxLog().size(), boxes + 1);
                          EXPECT_EQ(ut::MessageBoxLog().back().text,
                                    u"Type the name of the custom paper.");
                          drv::TypeText(name, u"Card");
                          HWND width = Item(edit, CCustomPaperEdit::kWidth);
                          SetFocus(width);
                          drv::TypeText(width, u"9999");
                          Picture(edit, "custom-paper-edit");
                          drv::PressButton(edit, IDOK);
                      });
                      drv::Click(Item(list, CCustomPaperlist::kNew));
                      Picture(list, "custom-paper-list");
                      drv::PressButton(list, IDOK);
                  });
                  drv::Click(Item(page, CPaperSet::kCustomPaper));
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    const UserPaperRecord* card = context_->userPapers->FindByName(u"Card");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->widthTenthMm, static_cast<WORD>(limits.widthMax * 10 + 0.5));
    EXPECT_LE(card->widthHundredthIn, static_cast<WORD>(limits.widthMaxIn * 100 + 1));
    EXPECT_GT(card->widthHundredthIn, 0);
    // On file, whole.
    CUserPaper reread;
    reread.SetPath(
        context_->userPapers->Path().substr(0, context_->userPapers->Path().rfind(u'\\')));
    ASSERT_TRUE(reread.Read());
    ASSERT_NE(reread.FindByName(u"Card"), nullptr);

    // The paper in use is deleted: the page falls back to the default paper,
    // and the tray that held it holds none.
    const WORD id = card->paperId;
    FormTrayRecord tray{};
    tray.trayId = 2;
    tray.paperId = id;
    ASSERT_TRUE(SetFormTrayRecord(context_->formTray, tray));
    Working().dm.dmPaperSize = static_cast<SHORT>(id);
    Working().dm.dmFields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    Working().priv.OutputPaperId = id;
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ut::AnswerNextModal([&](HWND list) {
                      drv::SelectItem(Item(list, CCustomPaperlist::kList), 0);
                      drv::Click(Item(list, CCustomPaperlist::kDelete));
                      drv::PressButton(list, IDCANCEL);
                  });
                  drv::Click(Item(page, CPaperSet::kCustomPaper));
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    ut::SetMessageBoxAnswerer(nullptr);
    EXPECT_EQ(context_->userPapers->FindById(id), nullptr);
    EXPECT_EQ(Working().dm.dmPaperSize,
              static_cast<SHORT>(GetDefaultPaperId(
                  &context_->model, (Working().priv.MeasureFlags & kA4Region) != 0)));
    EXPECT_EQ(Working().dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH), 0u);
    EXPECT_NE(Working().priv.OutputPaperId, id);
    ASSERT_NE(FindFormTrayRecord(context_->formTray, 2), nullptr);
    EXPECT_EQ(FindFormTrayRecord(context_->formTray, 2)->paperId, 0);
    FormTrayTable stored{printer_, nullptr, 0};
    ASSERT_TRUE(LoadFormTrayTable(&stored));
    ASSERT_NE(FindFormTrayRecord(&stored, 2), nullptr);
    EXPECT_EQ(FindFormTrayRecord(&stored, 2)->paperId, 0);
    FreeFormTrayTable(&stored);
}

} // namespace
