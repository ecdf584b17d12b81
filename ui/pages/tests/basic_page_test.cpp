// The Basic page in a property sheet, worked through the headless driver as
// a person clicks it: paper choices to the image's fields, the binding margin
// in its units and resolutions with the clamps on every way out, the layout
// buttons opening their dialogs, and the cover page, duplex options and
// custom paper dialogs it opens.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "basic_page.h"
#include "control_states.h"
#include "cover_page_dlg.h"
#include "custom_paper_dlg.h"
#include "devmode_helpers.h"
#include "duplex_options_dlg.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "pages_fixture.h"
#include "platform_testing/fresh_root.h"
#include "win/spool.h"
#include "pages_per_sheet_dlg.h"
#include "platform/user_ctl.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr SHORT kLetter = 1, kA4 = 9, kA5 = 11;
constexpr DWORD kSizeFields = DM_PAPERLENGTH | DM_PAPERWIDTH;

class BasicPage : public pages_test::SheetFixture {
  protected:
    // Shows the page in a sheet, runs the script on it and answers DoModal.
    INT_PTR RunSheet(std::function<void(HWND sheet, HWND page)> script) {
        CPropertySheet sheet(u"Document");
        sheet.AddPage(new CPaperSet(context_));
        ut::AnswerNextModal([&](HWND h) {
            auto page = reinterpret_cast<HWND>(SendMessageW(h, PSM_GETCURRENTPAGEHWND, 0, 0));
            script(h, page);
        });
        const INT_PTR result = sheet.DoModal();
        // A context without a sheet callback is never let go by its pages:
        // the page's reference is dropped here, the fixture's at tear-down.
        if (context_->noCallback && context_->pageReferences > 1) --context_->pageReferences;
        return result;
    }
    static HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    static int IndexOfData(HWND combo, LRESULT data) {
        const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i)
            if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
                return static_cast<int>(i);
        return -1;
    }
    static bool Choose(HWND page, int id, LRESULT data) {
        const int at = IndexOfData(Item(page, id), data);
        return at >= 0 && drv::SelectItem(Item(page, id), at);
    }
    static LRESULT Selected(HWND page, int id) {
        HWND combo = Item(page, id);
        const LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        return at < 0 ? -1 : SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(at), 0);
    }
    static bool Visible(HWND dialog, int id) {
        return (GetWindowLongW(Item(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    // A user paper in the list and in the rules' paper values.
    WORD AddUserPaper(const char* name, WORD widthTenthMm, WORD lengthTenthMm) {
        UserPaperRecord r{};
        std::strncpy(r.name, name, sizeof r.name - 1);
        r.SetUnit(1);
        r.widthTenthMm = widthTenthMm;
        r.lengthTenthMm = lengthTenthMm;
        r.widthHundredthIn = static_cast<WORD>(widthTenthMm * 10 / 254);
        r.lengthHundredthIn = static_cast<WORD>(lengthTenthMm * 10 / 254);
        EXPECT_TRUE(context_->userPapers->Add(&r));
        RemoveCustomPaperRules(&context_->model, context_->constraints, context_->userPapers);
        // The sample models' trays and media take no custom sizes: here they
        // take them (the rules know a user paper as the custom size).
        for (auto& rule : context_->constraints->FindItem(kItemPaper)->ValueRules())
            if (rule->trigger == kTriggerMedia || rule->trigger == kTriggerSource)
                rule->allowed.push_back(kCustomPaperId);
        RefreshControlStates(context_);
        return context_->userPapers
            ->FindByName(std::u16string(name, name + std::strlen(name)).c_str())
            ->paperId;
    }
};

TEST_F(BasicPage, ShowsTheImageAndOffersItsChoices) {
    std::string snapshot;
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  EXPECT_EQ(Selected(page, CPaperSet::kPaperSize), Working().dm.dmPaperSize);
                  EXPECT_GT(SendMessageW(Item(page, CPaperSet::kPaperSize), CB_GETCOUNT, 0, 0), 3);
                  EXPECT_EQ(Selected(page, CPaperSet::kOutputPaper), 0); // Same as Paper Size
                  EXPECT_EQ(Selected(page, CPaperSet::kOrientation),
                            static_cast<LRESULT>(Working().dm.dmOrientation) << 16);
                  snapshot = drv::Snapshot(page);
                  drv::PressButton(sheet, IDCANCEL);
              }),
              0);
    EXPECT_NE(snapshot.find("Paper Si&ze"), std::string::npos) << snapshot;
}

// Paper choices through the page: the fields of the image each choice writes.
TEST_F(BasicPage, PaperChoicesReachTheImage) {
    const WORD card = AddUserPaper("Card", 1900, 2500);
    const WORD banner = AddUserPaper("Banner", 2000, 2800);
    struct Case {
        const char* what;
        WORD startLayout;
        int control;
        LRESULT choice;
        SHORT paper;
        bool sizeFields;
        SHORT width, length;
        WORD outputPaper, layout;
        bool outputOwnSize;
        SHORT outputWidth;
    };
    const Case cases[] = {
        {"model paper", 0, CPaperSet::kPaperSize, kA5, kA5, false, 1480, 2100, 0, 0, false, 0},
        {"user paper", 0, CPaperSet::kPaperSize, card, static_cast<SHORT>(card), true, 1900, 2500,
         0, 0, false, 0},
        {"output paper without fit", 0, CPaperSet::kOutputPaper, kA4, kLetter, false, 2159, 2794,
         kA4, kLayoutFitToPaper, false, 0},
        {"output user paper", 0, CPaperSet::kOutputPaper, banner, kLetter, false, 2159, 2794,
         banner, kLayoutFitToPaper, true, 2000},
        {"same as paper size with fit", kLayoutFitToPaper, CPaperSet::kOutputPaper, 0, kLetter,
         false, 2159, 2794, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Working().dm.dmPaperSize = kLetter;
        Working().dm.dmFields &= ~kSizeFields;
        Working().dm.dmPaperWidth = 2159;
        Working().dm.dmPaperLength = 2794;
        Working().priv.LayoutKind = c.startLayout;
        Working().priv.OutputPaperId = c.startLayout == kLayoutFitToPaper ? kA4 : 0;
        ApplyRulesAndRefresh(context_, nullptr, TRUE);
        EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                      EXPECT_TRUE(Choose(page, c.control, c.choice));
                      drv::PressButton(sheet, IDOK);
                  }),
                  1);
        const DEVMODE_IMAGEW& im = Working();
        EXPECT_EQ(im.dm.dmPaperSize, c.paper);
        EXPECT_EQ((im.dm.dmFields & kSizeFields) == kSizeFields, c.sizeFields);
        EXPECT_EQ(im.dm.dmPaperWidth, c.width);
        EXPECT_EQ(im.dm.dmPaperLength, c.length);
        EXPECT_EQ(im.priv.OutputPaperId, c.outputPaper);
        EXPECT_EQ(im.priv.LayoutKind, c.layout);
        EXPECT_EQ((im.priv.PrivateFlags & kOutputPaperOwnSize) != 0, c.outputOwnSize);
        EXPECT_EQ(im.priv.OutputPaperWidth, c.outputWidth);
    }
}

// Cancel keeps the sheet's image; orientation with 2 pages per sheet resets
// the page order, with 4 it does not.
TEST_F(BasicPage, OrientationResetsTheOrderOfTwoPagesPerSheet) {
    for (WORD pages : {2, 4}) {
        Working().dm.dmOrientation = DMORIENT_PORTRAIT;
        Working().priv.PagesPerSheet = pages;
        Working().priv.PageOrder = 1;
        EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                      EXPECT_TRUE(Choose(page, CPaperSet::kOrientation, 0x20000));
                      drv::PressButton(sheet, IDOK);
                  }),
                  1);
        EXPECT_EQ(Working().dm.dmOrientation, DMORIENT_LANDSCAPE);
        EXPECT_EQ(Working().priv.PageOrder, pages == 2 ? 0 : 1) << pages;
    }
}

// The binding margin: typed in the page's unit, stored in dots at the
// image's own length resolution, clamped to the model's maximum when the edit
// is left and when the sheet is closed straight from the edit.
TEST_F(BasicPage, MarginInItsUnitsAndResolutions) {
    enum Leave { kTab, kEnter, kOkButton };
    struct Case {
        bool mm;
        WORD dpi;
        const char16_t* typed;
        Leave leave;
        WORD dots;
        const char16_t* shown; // after the edit was left (kTab only)
    };
    // CX5540's model maximum is 0.5 in and 12.7 mm: the fraction is kept (300
    // dots at 600 dpi), the whole-millimetre edit shows it rounded.
    const Case cases[] = {
        {false, 600, u"0.3", kTab, 180, u"0.3"},     {false, 300, u"0.3", kTab, 90, u"0.3"},
        {false, 600, u"3.5", kTab, 300, u"0.5"},     {false, 600, u"3.5", kEnter, 300, nullptr},
        {false, 300, u"9", kOkButton, 150, nullptr}, {true, 600, u"5", kTab, 118, u"5"},
        {true, 300, u"5", kTab, 59, u"5"},           {true, 600, u"99", kTab, 300, u"13"},
        {true, 300, u"99", kEnter, 150, nullptr},    {false, 600, u"", kTab, 0, u"0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.mm ? "mm " : "in ") << c.dpi << " '"
                     << std::string(c.typed, c.typed + std::char_traits<char16_t>::length(c.typed))
                     << "' leave " << c.leave);
        Working().priv.MeasureFlags = c.mm ? kA4Region : 0;
        Working().priv.LengthUnitDpi = c.dpi;
        Working().priv.DuplexMargin = 0;
        std::u16string shown;
        EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                      HWND edit = Item(page, CPaperSet::kMarginEdit);
                      ASSERT_TRUE(Visible(page, CPaperSet::kMarginEdit));
                      SetFocus(edit);
                      drv::TypeText(edit, c.typed);
                      if (c.leave == kTab) {
                          drv::PressKey(VK_TAB);
                          shown = drv::ReadText(edit);
                          drv::PressButton(sheet, IDOK);
                      } else if (c.leave == kEnter) {
                          drv::PressKey(VK_RETURN);
                      } else {
                          drv::PressButton(sheet, IDOK);
                      }
                  }),
                  1);
        EXPECT_EQ(Working().priv.DuplexMargin, c.dots);
        if (c.shown) {
            EXPECT_EQ(shown, c.shown);
        }
    }
}

// The layout buttons open their dialogs: what is chosen there comes back on
// OK, Cancel leaves the layout and the pressed button as they were.
TEST_F(BasicPage, LayoutButtonsOpenTheirDialogs) {
    Working().priv.LayoutKind = 0;
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ut::AnswerNextModal([](HWND dialog) {
                      drv::Click(Item(dialog, 763)); // 4 pages
                      const int borders =
                          IndexOfData(Item(dialog, CPagesperSheetDlg::kBorderCombo), 1);
                      drv::SelectItem(Item(dialog, CPagesperSheetDlg::kBorderCombo), borders);
                      drv::PressButton(dialog, IDOK);
                  });
                  drv::Click(Item(page, CPaperSet::kIdcPagesPerSheet));
                  EXPECT_EQ(drv::ReadCheck(Item(page, CPaperSet::kIdcPagesPerSheet)), BST_CHECKED);
                  EXPECT_EQ(drv::ReadText(Item(page, CPaperSet::kLayoutName)), u"Pages per Sheet");
                  // Cancel in the poster dialog: pages per sheet stays pressed.
                  ut::AnswerNextModal([](HWND dialog) { drv::PressButton(dialog, IDCANCEL); });
                  drv::Click(Item(page, CPaperSet::kIdcPoster));
                  EXPECT_EQ(drv::ReadCheck(Item(page, CPaperSet::kIdcPagesPerSheet)), BST_CHECKED);
                  EXPECT_EQ(drv::ReadCheck(Item(page, CPaperSet::kIdcPoster)), BST_UNCHECKED);
                  EXPECT_EQ(GetFocus(), Item(page, CPaperSet::kIdcPagesPerSheet));
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().priv.LayoutKind, kLayoutPagesPerSheet);
    EXPECT_EQ(Working().priv.PagesPerSheet, 4);
    EXPECT_EQ(Working().priv.PageBorders, 1);

    // Reached with the arrow keys, a layout is taken without its dialog.
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  SetFocus(Item(page, CPaperSet::kIdcPagesPerSheet));
                  drv::HoldKey(VK_RIGHT);
                  drv::Click(Item(page, CPaperSet::kIdcFitToPaper));
                  drv::ReleaseKey(VK_RIGHT);
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().priv.LayoutKind, kLayoutFitToPaper);
    EXPECT_EQ(Working().priv.OutputPaperId, static_cast<WORD>(Working().dm.dmPaperSize));

    // So is zoom: its layout value, not its button's id.
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  SetFocus(Item(page, CPaperSet::kIdcFitToPaper));
                  drv::HoldKey(VK_RIGHT);
                  drv::Click(Item(page, CPaperSet::kIdcZoom));
                  drv::ReleaseKey(VK_RIGHT);
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().priv.LayoutKind, kLayoutZoom);
}

// Pages per sheet chosen through the page's button and its dialog reach the
// next print: the spool-side replay puts the document's three pages on one
// sheet.
TEST_F(BasicPage, PagesPerSheetChosenOnThePageReachTheNextPrint) {
    // A printer installed whole, as printhost installs one, prints the sheet's
    // result as its own settings.
    std::string out;
    ASSERT_EQ(platform_testing::RunCommand(std::string("'") + PKG_TOOLS_DIR +
                                               "/printhost' install --name Printed --model '" +
                                               PKG_MODELS_DIR + "/CX5540.DAT' 2>&1",
                                           &out),
              0)
        << out;
    HANDLE printed = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Printed"), &printed, &defaults));
    auto sheetsPrinted = [&](const std::string& name) {
        std::vector<BYTE> block = PrinterInfo2(printed);
        EXPECT_FALSE(block.empty());
        if (block.empty()) return -1;
        PRINTER_INFO_2W info = *reinterpret_cast<PRINTER_INFO_2W*>(block.data());
        DEVMODE_IMAGEW image = Working();
        StampDevmodeHeader(&image);
        info.pDevMode = &image.dm;
        EXPECT_TRUE(SetPrinterW(printed, 2, reinterpret_cast<LPBYTE>(&info), 0));
        const std::string prn = platform_testing::Root() + "/" + name + ".prn";
        out.clear();
        EXPECT_EQ(platform_testing::RunCommand(
                      std::string("'") + PKG_TOOLS_DIR +
                          "/printhost' print --printer Printed --output '" + prn + "' '" +
                          PKG_SOURCE_DIR + "/samples/documents/text' 2>&1",
                      &out),
                  0)
            << out;
        out.clear();
        EXPECT_EQ(platform_testing::RunCommand(std::string("'") + PKG_TOOLS_DIR +
                                                   "/printhost' decode '" + prn + "' 2>&1",
                                               &out),
                  0)
            << out;
        int pages = 0;
        const std::string start = "FRAME  p  page start";
        for (size_t at = out.find(start); at != std::string::npos; at = out.find(start, at + 1))
            ++pages;
        return pages;
    };
    Working().priv.LayoutKind = 0;
    Working().dm.dmDuplex = DMDUP_SIMPLEX;
    EXPECT_EQ(sheetsPrinted("plain"), 3);
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  ut::AnswerNextModal([](HWND dialog) {
                      drv::Click(Item(dialog, 763)); // 4 pages
                      drv::SelectItem(
                          Item(dialog, CPagesperSheetDlg::kBorderCombo),
                          IndexOfData(Item(dialog, CPagesperSheetDlg::kBorderCombo), 1));
                      drv::PressButton(dialog, IDOK);
                  });
                  drv::Click(Item(page, CPaperSet::kIdcPagesPerSheet));
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().priv.PagesPerSheet, 4);
    EXPECT_EQ(sheetsPrinted("four-up"), 1);
    ClosePrinter(printed);
}

// Restore All Defaults takes the sheet's defaults back, but keeps whether
// personal information is saved.
TEST_F(BasicPage, RestoreAllDefaults) {
    Working().priv.SavePersonalInfo = 1;
    EXPECT_EQ(RunSheet([&](HWND sheet, HWND page) {
                  EXPECT_TRUE(Choose(page, CPaperSet::kPaperSize, kA5));
                  EXPECT_TRUE(Choose(page, CPaperSet::kOrientation, 0x20000));
                  drv::Click(Item(page, CPaperSet::kRestoreDefaults));
                  EXPECT_EQ(Selected(page, CPaperSet::kPaperSize),
                            context_->defaultImage.dm.dmPaperSize);
                  // (OK hands the mask to the user's store and clears it.)
                  EXPECT_EQ(Working().priv.SavePersonalInfo, 1u);
                  drv::PressButton(sheet, IDOK);
              }),
              1);
    EXPECT_EQ(Working().dm.dmPaperSize, context_->defaultImage.dm.dmPaperSize);
    EXPECT_EQ(Working().dm.dmOrientation, context_->defaultImage.dm.dmOrientation);
}

} // namespace
