// The five layout dialogs opened on their own over a document sheet's
// context and worked through the headless driver as a person would: each
// table is start state x clicks and typing -> the fields of the image. Cancel
// leaves the working image byte for byte; OK writes what the dialog showed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "booklet_dlg.h"
#include "fit_paper_dlg.h"
#include "layout_dialog.h"
#include "length_edit.h"
#include "pages_fixture.h"
#include "pages_per_sheet_dlg.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "platform/user_ctl.h"
#include "poster_dlg.h"
#include "win/base.h"
#include "win/commctrl.h"
#include "win/user.h"
#include "zoom_dlg.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;
namespace fs = std::filesystem;

constexpr SHORT kLetter = 1, kLedger = 8;

class LayoutDialogs : public pages_test::SheetFixture {
  protected:
    // Opens a dialog, runs the script in it and answers what DoModal did.
    template <class D> INT_PTR Run(std::function<void(HWND, D&)> script) {
        D dialog(context_);
        ut::AnswerNextModal([&](HWND h) { script(h, dialog); });
        return dialog.DoModal();
    }
    static HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    static bool Visible(HWND dialog, int id) {
        return (GetWindowLongW(Item(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    static POINT Origin(HWND dialog, int id) {
        RECT r{};
        GetWindowRect(Item(dialog, id), &r);
        POINT p{r.left, r.top};
        ScreenToClient(dialog, &p);
        return p;
    }
    // The tooltip text of a control as the tooltip shows it now.
    static std::u16string Tip(HWND tooltip, HWND dialog, int id) {
        WCHAR text[80] = {};
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.hwnd = dialog;
        info.uId = reinterpret_cast<UINT_PTR>(Item(dialog, id));
        info.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
        return text;
    }
    static int IndexOfData(HWND combo, LRESULT data) {
        const LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i)
            if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data)
                return static_cast<int>(i);
        return -1;
    }
    // Types into an edit, then leaves it as a person does (Tab).
    static void TypeAndLeave(HWND dialog, int id, const std::u16string& text) {
        HWND edit = Item(dialog, id);
        SetFocus(edit);
        drv::TypeText(edit, text);
        drv::PressKey(VK_TAB);
    }
};

// ---------------------------------------------------------------- shared

// Cancel leaves the working image as it was, byte for byte, whatever was
// clicked and typed in the dialog.
TEST_F(LayoutDialogs, CancelLeavesTheWorkingImageInEveryDialog) {
    Working().priv.LayoutKind = 0;
    DEVMODE_IMAGEW before;
    std::memcpy(&before, &Working(), sizeof before);
    auto same = [&] { return std::memcmp(&before, &Working(), sizeof before) == 0; };

    EXPECT_EQ(Run<CPagesperSheetDlg>([](HWND h, CPagesperSheetDlg&) {
                  drv::Click(Item(h, 767));
                  drv::Click(Item(h, 772));
                  drv::PressButton(h, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(same());
    EXPECT_EQ(Run<CBookletDlg>([](HWND h, CBookletDlg&) {
                  drv::Click(Item(h, 662));
                  TypeAndLeave(h, 667, u"1");
                  drv::PressButton(h, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(same());
    EXPECT_EQ(Run<CFitOutputPaperDlg>([](HWND h, CFitOutputPaperDlg&) {
                  drv::Click(Item(h, 711));
                  drv::PressButton(h, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(same());
    EXPECT_EQ(Run<CPosterDlg>([](HWND h, CPosterDlg&) {
                  drv::Click(Item(h, 812));
                  TypeAndLeave(h, 817, u"0.3");
                  drv::PressButton(h, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(same());
    EXPECT_EQ(Run<CScaleDlg>([](HWND h, CScaleDlg&) {
                  TypeAndLeave(h, 862, u"300");
                  drv::Click(Item(h, 873));
                  drv::PressButton(h, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_TRUE(same());
}

TEST_F(LayoutDialogs, OutputPaperOfTheList) {
    // A model paper carries no size of its own; a user paper whose size
    // cannot be found counts as the same paper.
    DEVMODE_IMAGEW im = Working();
    im.priv.PrivateFlags |= kOutputPaperOwnSize;
    im.priv.OutputPaperWidth = 123;
    SetOutputPaper(context_, &im, 9);
    EXPECT_EQ(im.priv.OutputPaperId, 9);
    EXPECT_EQ(im.priv.OutputPaperWidth, 0);
    EXPECT_EQ(im.priv.PrivateFlags & kOutputPaperOwnSize, 0u);
    im.priv.PrivateFlags |= kOutputPaperOwnSize;
    SetOutputPaper(context_, &im, 700);
    EXPECT_EQ(im.priv.OutputPaperId, 0);
    EXPECT_EQ(im.priv.PrivateFlags & kOutputPaperOwnSize, 0u);

    // Chosen in a dialog: the copy takes it, and OK brings it back.
    Working().dm.dmPaperSize = kLetter;
    WORD chosen = 0;
    EXPECT_EQ(Run<CPagesperSheetDlg>([&](HWND h, CPagesperSheetDlg&) {
                  HWND combo = Item(h, kOutputPaperCombo);
                  ASSERT_GT(SendMessageW(combo, CB_GETCOUNT, 0, 0), 1);
                  EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 0, 0), 0); // "Same as Paper Size"
                  drv::SelectItem(combo, 1);
                  chosen = static_cast<WORD>(SendMessageW(combo, CB_GETITEMDATA, 1, 0));
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.OutputPaperId, chosen);
    EXPECT_EQ(Working().priv.LayoutKind, 1);
}

// ---------------------------------------------------------------- pages per sheet

TEST_F(LayoutDialogs, PagesPerSheetTable) {
    struct Case {
        const char* name;
        SHORT orientation;
        WORD pages, order;
        std::function<void(HWND)> clicks;
        WORD wantPages, wantOrder;
    };
    const Case cases[] = {
        {"4 up order 2 -> 2 up", 1, 4, 2, [](HWND h) { drv::Click(Item(h, 762)); }, 2, 0},
        {"2 up order 3 -> 9 up", 1, 2, 3, [](HWND h) { drv::Click(Item(h, 766)); }, 9, 0},
        {"2 up order 3 stays with 2 up", 1, 2, 3, [](HWND h) { drv::Click(Item(h, 762)); }, 2, 3},
        {"4 up: the fourth order button", 1, 4, 0, [](HWND h) { drv::Click(Item(h, 772)); }, 4, 2},
        {"16 up order 1 -> 6 up keeps it", 2, 16, 1, [](HWND h) { drv::Click(Item(h, 764)); }, 6,
         1},
        {"an unoffered count opens as 2 up", 1, 5, 2, [](HWND) {}, 2, 3},
        {"a huge count opens as 2 up", 1, 60000, 0, [](HWND) {}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().dm.dmOrientation = c.orientation;
        Working().priv.PagesPerSheet = c.pages;
        Working().priv.PageOrder = c.order;
        EXPECT_EQ(Run<CPagesperSheetDlg>([&](HWND h, CPagesperSheetDlg&) {
                      c.clicks(h);
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(Working().priv.PagesPerSheet, c.wantPages);
        EXPECT_EQ(Working().priv.PageOrder, c.wantOrder);
        EXPECT_EQ(Working().priv.LayoutKind, 1);
    }
}

TEST_F(LayoutDialogs, PagesPerSheetOrderButtonsAndCombos) {
    Working().dm.dmOrientation = DMORIENT_LANDSCAPE;
    Working().priv.PagesPerSheet = 4;
    Working().priv.PageOrder = 0;
    EXPECT_EQ(Run<CPagesperSheetDlg>([&](HWND h, CPagesperSheetDlg& d) {
                  const POINT second = Origin(h, 770), third = Origin(h, 771);
                  // Tooltips: the counts' from the strings, the orders' asked
                  // when they show.
                  EXPECT_EQ(Tip(d.Tooltip(), h, 763), u"4 up");
                  EXPECT_EQ(Tip(d.Tooltip(), h, 770), u"Down, then Right");
                  EXPECT_EQ(drv::ReadCheck(Item(h, 763)), BST_CHECKED);
                  EXPECT_TRUE(Visible(h, 770));
                  // 2 <-> 4 ten times: the third order button ends where it was.
                  for (int i = 0; i < 10; ++i) {
                      drv::Click(Item(h, 762));
                      EXPECT_FALSE(Visible(h, 770));
                      EXPECT_FALSE(Visible(h, 772));
                      EXPECT_EQ(Origin(h, 771).x, second.x);
                      drv::Click(Item(h, 763));
                      EXPECT_EQ(Origin(h, 771).x, third.x);
                      EXPECT_EQ(Origin(h, 771).y, third.y);
                  }
                  // Two pages in landscape: the orders read up and down.
                  drv::Click(Item(h, 762));
                  EXPECT_EQ(drv::ReadText(Item(h, 769)), u"Up to Down");
                  EXPECT_EQ(drv::ReadText(Item(h, 771)), u"Down to Up");
                  EXPECT_EQ(Tip(d.Tooltip(), h, 769), u"Up to Down");
                  drv::Click(Item(h, 771));
                  EXPECT_EQ(drv::ReadCheck(Item(h, 771)), BST_CHECKED);
                  drv::SelectItem(Item(h, 774), IndexOfData(Item(h, 774), 1));
                  drv::SelectItem(Item(h, 776), IndexOfData(Item(h, 776), 2));
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.PagesPerSheet, 2);
    EXPECT_EQ(Working().priv.PageOrder, 3);
    EXPECT_EQ(Working().priv.PageBorders, 1);
    EXPECT_EQ(Working().priv.NupRotation, 2);
}

// ---------------------------------------------------------------- lengths

TEST(LengthEdit, MaximaClampsAndDots) {
    // The model's maximum keeps what the edit can show of its fractions.
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(FALSE, true, 0, 75), 0.7);
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(FALSE, true, 0, 200), 2.0);
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(TRUE, true, 125, 0), 12.0);
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(TRUE, true, 5, 0), 0.5);
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(TRUE, false, 0, 0), 50.0);
    EXPECT_DOUBLE_EQ(CLengthEdit::MaximumOf(FALSE, false, 0, 0), 2.0);
    // Clamped in floating point before anything is narrowed.
    struct Clamp {
        double typed, want;
    };
    for (const Clamp& c : {Clamp{INFINITY, 50}, Clamp{-INFINITY, 0}, Clamp{NAN, 0}, Clamp{1e30, 50},
                           Clamp{-7, 0}, Clamp{12.5, 12.5}})
        EXPECT_DOUBLE_EQ(CLengthEdit::ClampLength(c.typed, 0, 50), c.want) << c.typed;
    // The dots always fit their 16-bit field.
    CLengthEdit big;
    big.Init(nullptr, {0, 0, 0}, TRUE, CLengthEdit::MaximumOf(TRUE, true, 65535, 0), 600, 0,
             nullptr);
    big.OnSpin(6553);
    EXPECT_EQ(big.Dots(), 0xFFFF);
    EXPECT_EQ(big.EditLimit(), 4); // "6553"
    big.OnSpin(50);
    EXPECT_EQ(big.Dots(), 1181);
    CLengthEdit inches;
    inches.Init(nullptr, {0, 0, 0}, FALSE, 12.0, 600, 0, nullptr);
    EXPECT_EQ(inches.EditLimit(), 4); // "12.0"
}

TEST_F(LayoutDialogs, BookletTable) {
    struct Case {
        const char* name;
        bool mm;
        WORD dots; // gutter at start, 600 dpi
        std::u16string typed;
        int spin; // up-down clicks after typing
        WORD wantDots;
    };
    // The sample model allows 50.8 mm or 2.00 inches.
    const Case cases[] = {
        {"99 mm with a maximum of 50", true, 0, u"99", 0, 1181},
        {"10 mm", true, 0, u"10", 0, 236},
        {"spin up from 10 mm", true, 0, u"10", 2, 283},
        {"0.5 in", false, 0, u"0.5", 0, 300},
        {"9.9 in is 2 in", false, 0, u"9.9", 0, 1200},
        {"spin down from 0.0 stays 0", false, 0, u"0", -3, 0},
        {"untouched", false, 600, u"", 0, 600},
        {"spin up from the stored 0.5 in", false, 300, u"", 1, 360},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().priv.MeasureFlags = c.mm ? kA4Region : 0;
        Working().priv.LengthUnitDpi = 600;
        Working().priv.BindingMargin = c.dots;
        EXPECT_EQ(Run<CBookletDlg>([&](HWND h, CBookletDlg& d) {
                      EXPECT_EQ(d.Gutter().Maximum(), c.mm ? 50.0 : 2.0);
                      if (!c.typed.empty()) TypeAndLeave(h, 667, c.typed);
                      if (c.spin) drv::SpinBy(Item(h, 668), c.spin);
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(Working().priv.BindingMargin, c.wantDots);
        EXPECT_EQ(Working().priv.LayoutKind, 2);
    }
}

// Texts the edit's rule would not let a person type, put there all the
// same: clamped as numbers before anything is narrowed.
TEST_F(LayoutDialogs, BookletGutterTextsBeyondTheRule) {
    struct Case {
        std::u16string text;
        WORD wantDots;
    };
    for (const Case& c : {Case{u"inf", 1200}, Case{u"1e30", 1200}, Case{u"-5", 0}, Case{u"nan", 0},
                          Case{u"-inf", 0}, Case{u"1.5", 900}}) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        Working().priv.MeasureFlags = 0;
        Working().priv.LengthUnitDpi = 600;
        Working().priv.BindingMargin = 300;
        EXPECT_EQ(Run<CBookletDlg>([&](HWND h, CBookletDlg&) {
                      HWND edit = Item(h, 667);
                      SetWindowTextW(edit, c.text.c_str());
                      SendMessageW(h, WM_COMMAND, MAKELONG(667, EN_CHANGE),
                                   reinterpret_cast<LPARAM>(edit));
                      SendMessageW(h, WM_COMMAND, MAKELONG(667, EN_KILLFOCUS),
                                   reinterpret_cast<LPARAM>(edit));
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(Working().priv.BindingMargin, c.wantDots);
    }
}

TEST_F(LayoutDialogs, BookletControls) {
    platform::test::SetLocale(0x0407); // a comma separator
    Working().priv.MeasureFlags = 0;
    Working().priv.BookletKind = 1;
    EXPECT_EQ(Run<CBookletDlg>([&](HWND h, CBookletDlg&) {
                  EXPECT_EQ(drv::ReadText(Item(h, 669)), u"(0,0 - 2,0 in.)");
                  LRESULT low = 0, high = 0;
                  SendMessageW(Item(h, 668), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                               reinterpret_cast<LPARAM>(&high));
                  EXPECT_EQ(low, 0);
                  EXPECT_EQ(high, 20);
                  // The sample model offers right binding.
                  EXPECT_TRUE(Visible(h, 663));
                  drv::Click(Item(h, 663));
                  drv::SelectItem(Item(h, 665), IndexOfData(Item(h, 665), 4));
                  drv::SelectItem(Item(h, 671), IndexOfData(Item(h, 671), 1));
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.BookletKind, 2);
    EXPECT_EQ(Working().priv.BookletSheets, 4);
    EXPECT_EQ(Working().priv.BookletRotation, 1);
}

// ---------------------------------------------------------------- fit to paper

TEST_F(LayoutDialogs, FitToPaperTable) {
    struct Case {
        const char* name;
        WORD fitMode, output;
        bool click;
        WORD wantFit;
        bool wantChecked;
    };
    const Case cases[] = {
        {"no output paper: the document's own", 0, 0, false, 0, true},
        {"uncheck: stretch", 0, 0, true, 1, false},
        {"check again: keep the ratio", 1, 0, true, 0, true},
        {"bit 0 alone is read", 3, 0, false, 3, false},
        {"bit 0 clear is kept ratio", 2, 0, false, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().dm.dmPaperSize = kLetter;
        Working().priv.OutputPaperId = c.output;
        Working().priv.FitMode = c.fitMode;
        HBITMAP shown = nullptr, stretched = nullptr;
        EXPECT_EQ(Run<CFitOutputPaperDlg>([&](HWND h, CFitOutputPaperDlg& d) {
                      EXPECT_EQ(d.Copy().priv.OutputPaperId, kLetter);
                      if (c.click) drv::Click(Item(h, CFitOutputPaperDlg::kAspectCheck));
                      EXPECT_EQ(drv::ReadCheck(Item(h, CFitOutputPaperDlg::kAspectCheck)),
                                c.wantChecked ? BST_CHECKED : BST_UNCHECKED);
                      shown = d.ShownPicture();
                      stretched = reinterpret_cast<HBITMAP>(
                          SendMessageW(Item(h, 712), STM_GETIMAGE, IMAGE_BITMAP, 0));
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_NE(shown, nullptr);
        EXPECT_EQ(shown, stretched);
        EXPECT_EQ(Working().priv.FitMode, c.wantFit);
        EXPECT_EQ(Working().priv.OutputPaperId, kLetter);
        EXPECT_EQ(Working().priv.LayoutKind, 8);
    }
}

TEST_F(LayoutDialogs, FitToPaperUnlistedOutputPaperFallsBackWithItsOwnSize) {
    Working().dm.dmPaperSize = kLetter;
    Working().priv.OutputPaperId = 455; // a model paper id the model does not list
    Working().priv.PrivateFlags |= kOutputPaperOwnSize;
    Working().priv.OutputPaperWidth = 1;
    Working().priv.OutputPaperLength = 1;
    WORD first = 0;
    EXPECT_EQ(Run<CFitOutputPaperDlg>([&](HWND h, CFitOutputPaperDlg&) {
                  first = static_cast<WORD>(
                      SendMessageW(Item(h, kOutputPaperCombo), CB_GETITEMDATA, 0, 0));
                  EXPECT_EQ(drv::ReadSelection(Item(h, kOutputPaperCombo)), 0);
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_NE(first, 0);
    EXPECT_EQ(Working().priv.OutputPaperId, first);
    EXPECT_EQ(Working().priv.OutputPaperWidth, 0);
    EXPECT_EQ(Working().priv.PrivateFlags & kOutputPaperOwnSize, 0u);
}

// ---------------------------------------------------------------- poster

TEST_F(LayoutDialogs, PosterTable) {
    struct Case {
        const char* name;
        SHORT orientation;
        WORD across, down;
        int click; // 0: none
        WORD wantAcross, wantDown;
    };
    const Case cases[] = {
        {"2 x 3 opens as 2 x 2", 1, 2, 3, 0, 2, 2},
        {"1 x 2 in landscape is turned to 2 x 1", 2, 1, 2, 0, 2, 1},
        {"812 in portrait", 1, 2, 2, 812, 1, 2},
        {"812 in landscape", 2, 2, 2, 812, 2, 1},
        {"3 x 3", 1, 2, 2, 814, 3, 3},
        {"0 x 0 opens as 2 x 2", 1, 0, 0, 0, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().dm.dmPaperSize = kLetter;
        Working().dm.dmOrientation = c.orientation;
        Working().priv.PosterGrid[0] = c.across;
        Working().priv.PosterGrid[1] = c.down;
        EXPECT_EQ(Run<CPosterDlg>([&](HWND h, CPosterDlg&) {
                      if (c.click) {
                          EXPECT_TRUE(drv::Click(Item(h, c.click)));
                      }
                      EXPECT_TRUE(IsWindowEnabled(Item(h, IDOK)));
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(Working().priv.PosterGrid[0], c.wantAcross);
        EXPECT_EQ(Working().priv.PosterGrid[1], c.wantDown);
        EXPECT_EQ(Working().priv.LayoutKind, 4);
    }
}

TEST_F(LayoutDialogs, PosterGridsTheLimitsAllow) {
    struct Case {
        const char* name;
        SHORT orientation, quality;
        WORD across, down;
        bool okEnabled;
        bool enabled[4];
    };
    // Ledger at 600 dpi allows up to 4 across and 3 down; at 1200 dpi 2 x 1.
    const Case cases[] = {
        {"4 x 4 falls back to 3 x 3", 1, 600, 4, 4, true, {true, true, true, false}},
        {"portrait 1200 dpi: no grid fits", 1, 1200, 2, 2, false, {false, false, false, false}},
        {"landscape 1200 dpi: 2 x 1 only", 2, 1200, 2, 2, true, {true, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().dm.dmPaperSize = kLedger;
        Working().dm.dmOrientation = c.orientation;
        Working().dm.dmPrintQuality = c.quality;
        Working().priv.OutputPaperId = 0;
        Working().priv.PosterGrid[0] = c.across;
        Working().priv.PosterGrid[1] = c.down;
        DEVMODE_IMAGEW before = Working();
        DEVMODE_IMAGEW shown{};
        (void)shown;
        const INT_PTR r = Run<CPosterDlg>([&](HWND h, CPosterDlg& d) {
            EXPECT_EQ(IsWindowEnabled(Item(h, IDOK)) != FALSE, c.okEnabled);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(IsWindowEnabled(Item(h, CPosterDlg::kGridButtons[i])) != FALSE,
                          c.enabled[i])
                    << i;
            shown = d.Copy();
            if (c.okEnabled) {
                drv::PressButton(h, IDOK);
            } else {
                // OK does nothing while it is disabled: Cancel ends the dialog.
                SendMessageW(h, WM_COMMAND, IDOK, 0);
                drv::PressButton(h, IDCANCEL);
            }
        });
        if (c.okEnabled) {
            EXPECT_EQ(r, IDOK);
            EXPECT_TRUE(IsValidPosterGrid(&Working()));
        } else {
            EXPECT_EQ(r, IDCANCEL);
            EXPECT_EQ(std::memcmp(&before, &Working(), sizeof before), 0);
        }
    }
}

// ---------------------------------------------------------------- zoom

TEST_F(LayoutDialogs, ZoomTable) {
    struct Case {
        const char* name;
        SHORT start;
        std::u16string typed; // "-" : nothing typed
        SHORT want;
        std::u16string shown;
    };
    const Case cases[] = {
        {"500 is 400", 100, u"500", 400, u"400"}, {"5 is 25", 100, u"5", 25, u"25"},
        {"-7 is 25", 100, u"-7", 25, u"25"},      {"empty is 25", 100, u"", 25, u"25"},
        {"150", 100, u"150", 150, u"150"},        {"arrives with 1000", 1000, u"-", 400, u"400"},
        {"arrives with -3", -3, u"-", 25, u"25"}, {"arrives with 0", 0, u"-", 25, u"25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Working().dm.dmPaperSize = kLetter;
        Working().priv.OutputPaperId = 0;
        Working().priv.ZoomPercent = c.start;
        EXPECT_EQ(Run<CScaleDlg>([&](HWND h, CScaleDlg& d) {
                      EXPECT_EQ(d.Minimum(), 25);
                      EXPECT_EQ(d.Maximum(), 400);
                      EXPECT_EQ(drv::ReadText(Item(h, CScaleDlg::kRangeText)), u"(25 - 400 %)");
                      if (c.typed != u"-") TypeAndLeave(h, CScaleDlg::kZoomEdit, c.typed);
                      EXPECT_EQ(drv::ReadText(Item(h, CScaleDlg::kZoomEdit)), c.shown);
                      drv::PressButton(h, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(Working().priv.ZoomPercent, c.want);
        EXPECT_EQ(Working().priv.LayoutKind, 16);
    }
}

TEST_F(LayoutDialogs, ZoomPositionsAndTheSpin) {
    Working().priv.ZoomPercent = 100;
    Working().priv.ZoomAnchor = 0;
    EXPECT_EQ(Run<CScaleDlg>([&](HWND h, CScaleDlg&) {
                  EXPECT_EQ(drv::ReadCheck(Item(h, 865)), BST_CHECKED);
                  drv::Click(Item(h, 873));
                  EXPECT_EQ(drv::ReadCheck(Item(h, 873)), BST_CHECKED);
                  EXPECT_EQ(drv::ReadCheck(Item(h, 865)), BST_UNCHECKED);
                  drv::SpinBy(Item(h, CScaleDlg::kZoomSpin), 3);
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.ZoomAnchor, 8);
    EXPECT_EQ(Working().priv.ZoomPercent, 103);
    EXPECT_EQ(CScaleDlg::ClampZoom(u"99999999999", 25, 400), 400);
    EXPECT_EQ(CScaleDlg::ClampZoom(u"abc", 25, 400), 25);
    // A range whose minimum passes its maximum is taken as no range.
    EXPECT_EQ(CScaleDlg::ClampZoom(u"300", 500, 100), 500);
}

// ---------------------------------------------------------------- pictures

// A picture of each dialog as the windows paint themselves, kept where
// PAGES_PNG_DIR says (else in the test's machine root).
TEST_F(LayoutDialogs, Pictures) {
    std::string folder = pages_test::PictureFolder();
    if (folder.empty()) folder = platform::HostPath(u"C:\\pictures");
    fs::create_directories(folder);
    Working().dm.dmPaperSize = kLetter;
    Working().priv.PagesPerSheet = 4;
    Working().priv.PageBorders = 1;
    Working().priv.ZoomPercent = 130;
    auto save = [&](const std::string& name) {
        return [folder, name](HWND h, auto&) {
            const std::string path = folder + "/" + name + ".png";
            EXPECT_TRUE(drv::SavePng(h, path));
            EXPECT_GT(fs::file_size(path), 1000u);
            drv::PressButton(h, IDCANCEL);
        };
    };
    Run<CPagesperSheetDlg>(save("pages_per_sheet"));
    Run<CBookletDlg>(save("booklet"));
    Run<CFitOutputPaperDlg>(save("fit_to_paper"));
    Run<CPosterDlg>(save("poster"));
    Run<CScaleDlg>(save("zoom"));
}

} // namespace

namespace {

// A larger paper lowers the zoom maximum: the page must stay within the
// printer's reach at the resolution.
TEST_F(LayoutDialogs, ZoomFollowsThePapersLimit) {
    Working().dm.dmPaperSize = kLedger;
    Working().dm.dmPrintQuality = 600;
    Working().priv.ZoomPercent = 400;
    WORD maximum = 0;
    EXPECT_EQ(Run<CScaleDlg>([&](HWND h, CScaleDlg& d) {
                  maximum = d.Maximum();
                  EXPECT_LT(maximum, 400); // 17 in within 32767 dots
                  EXPECT_EQ(maximum % 5, 0);
                  EXPECT_EQ(drv::ReadText(Item(h, CScaleDlg::kZoomEdit)),
                            std::u16string(u"") + char16_t(u'0' + maximum / 100) +
                                char16_t(u'0' + maximum / 10 % 10) + char16_t(u'0' + maximum % 10));
                  TypeAndLeave(h, CScaleDlg::kZoomEdit, u"399");
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.ZoomPercent, maximum);
}

// A model whose zoom range is upside down: no range, the defaults hold.
class UpsideDownZoom : public LayoutDialogs {
  protected:
    void SetUp() override {
        nlohmann::json source = ui_test::SampleSource("CX5540");
        source["codes"]["31"]["1"] = nlohmann::json::array({"0x01", 500, 100});
        Open(ui_test::Compile(source));
    }
};

TEST_F(UpsideDownZoom, CountsAsNoRange) {
    Working().dm.dmPaperSize = kLetter;
    Working().priv.ZoomPercent = 1000;
    EXPECT_EQ(Run<CScaleDlg>([&](HWND h, CScaleDlg& d) {
                  EXPECT_EQ(d.Minimum(), 25);
                  EXPECT_EQ(d.Maximum(), 400);
                  drv::PressButton(h, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.ZoomPercent, 400);
}

} // namespace
