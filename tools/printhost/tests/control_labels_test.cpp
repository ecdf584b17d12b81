// Controls found by the label a person reads beside them, and list items by
// their text or its unique beginning, on the resource library's own pages
// with their lists filled as a page fills them.
#include <gtest/gtest.h>

#include <string>

#include "control_labels.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "win/base.h"
#include "win/user.h"

namespace {

using printhost::FindControlByLabel;
using printhost::FindItemByText;
using printhost::SetControlValue;

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

class ControlLabels : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(module_, nullptr);
        // The Basic page opens inside a host, as on its sheet.
        host_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(1300), nullptr, Quiet, 0);
        ASSERT_NE(host_, nullptr);
        basic_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(100), host_, Quiet, 0);
        duplex_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(1100), nullptr, Quiet, 0);
        ASSERT_TRUE(basic_ && duplex_);
        for (HWND w : {host_, basic_, duplex_}) {
            ShowWindow(w, SW_SHOW);
            EnableWindow(w, TRUE);
        }
        Fill(GetDlgItem(basic_, 112), {u"Letter", u"Legal", u"A4", u"A5"});
        Fill(GetDlgItem(duplex_, 1112), {u"Automatic", u"Manual", u"Manual Reversed"});
    }
    void TearDown() override {
        if (duplex_) DestroyWindow(duplex_);
        if (host_) DestroyWindow(host_);
        FreeLibrary(module_);
    }
    static void Fill(HWND combo, std::initializer_list<const char16_t*> items) {
        for (const char16_t* item : items)
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    HWND Find(HWND page, const char16_t* label, std::string* error) {
        return FindControlByLabel(page, u"Page", label, error);
    }
    HMODULE module_ = nullptr;
    HWND host_ = nullptr, basic_ = nullptr, duplex_ = nullptr;
};

TEST_F(ControlLabels, ListItemsByTextOrUniqueBeginning) {
    std::string error;
    HWND paper = Find(basic_, u"Paper Size", &error);
    ASSERT_EQ(paper, GetDlgItem(basic_, 112)) << error;
    ASSERT_TRUE(SetControlValue(paper, "'Paper Size'", "A5", &error)) << error;
    EXPECT_EQ(platform::user::driver::ReadSelection(paper), 3);
    ASSERT_TRUE(SetControlValue(paper, "'Paper Size'", "leg", &error)) << error;
    EXPECT_EQ(platform::user::driver::ReadSelection(paper), 1);

    HWND type = Find(duplex_, u"duplex type:", &error);
    ASSERT_EQ(type, GetDlgItem(duplex_, 1112)) << error;
    struct Case {
        const char* value;
        int index;          // -1: refused
        const char* answer; // the refusal
    } cases[] = {
        {"Auto", 0, ""},
        {"Manual", 1, ""}, // the whole text wins over the longer item it begins
        {"manual r", 2, ""},
        {"Man", -1, "'Man' begins several items: 'Manual', 'Manual Reversed'"},
        {"Booklet", -1,
         "'Booklet' is not in the list; its items: 'Automatic', 'Manual', 'Manual Reversed'"},
        {"", -1, "is not in the list"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        error.clear();
        int index = FindItemByText(type, platform::FromUtf8(c.value), &error);
        EXPECT_EQ(index, c.index);
        if (c.index < 0) {
            EXPECT_NE(error.find(c.answer), std::string::npos) << error;
        }
    }
}

TEST_F(ControlLabels, CheckBoxesOnAndOffAndLabelsThatDoNotNameOne) {
    std::string error;
    HWND notice = Find(duplex_, u"Duplex Notice", &error);
    ASSERT_EQ(notice, GetDlgItem(duplex_, 516)) << error;
    EXPECT_TRUE(SetControlValue(notice, "'Duplex Notice'", "on", &error)) << error;
    EXPECT_EQ(platform::user::driver::ReadCheck(notice), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(SetControlValue(notice, "'Duplex Notice'", "OFF", &error)) << error;
    EXPECT_EQ(platform::user::driver::ReadCheck(notice), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_FALSE(SetControlValue(notice, "'Duplex Notice'", "yes please", &error));
    EXPECT_EQ(error, "'Duplex Notice' takes on or off, not 'yes please'");

    EXPECT_EQ(Find(duplex_, u"Duplex", &error), nullptr);
    EXPECT_EQ(error, "'Duplex' begins several labels on page 'Page': 'Duplex Type', 'Duplex "
                     "Notice'");
    EXPECT_EQ(Find(duplex_, u"Simplex", &error), nullptr);
    EXPECT_EQ(error, "no control labelled 'Simplex' on page 'Page'; its labels: 'Duplex Type', "
                     "'Duplex Notice', 'OK', 'Cancel', 'Help'");
    // A hidden control is not read: the page shows one of its two labels.
    ShowWindow(GetDlgItem(basic_, 119), SW_HIDE);
    ShowWindow(GetDlgItem(basic_, 120), SW_HIDE);
    EXPECT_EQ(Find(basic_, u"Media Type", &error), nullptr);
    EXPECT_EQ(Find(basic_, u"Paper Source", &error), GetDlgItem(basic_, 122)) << error;
    // The layout buttons are read by their own text.
    EXPECT_EQ(Find(basic_, u"Booklet", &error), GetDlgItem(basic_, 135)) << error;
}

// A label names the next control that takes input or shows a list, as a
// person reads the page: the Profile page's "&Profile :" is followed by an
// empty static before its list; a marked label keeps its control when plain
// text (a value shown, a second column heading) stands between them.
TEST_F(ControlLabels, LabelsPassOverEmptyStaticsAndValuesShown) {
    HWND profile = CreateDialogParamW(module_, MAKEINTRESOURCEW(550), host_, Quiet, 0);
    ASSERT_NE(profile, nullptr);
    ShowWindow(profile, SW_SHOW);
    HWND list = GetDlgItem(profile, 563);
    for (const char16_t* name : {u"Default", u"Office Draft"})
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    std::string error;
    ASSERT_EQ(Find(profile, u"Profile", &error), list) << error;
    ASSERT_TRUE(SetControlValue(list, "'Profile'", "office", &error)) << error;
    EXPECT_EQ(platform::user::driver::ReadSelection(list), 1);
    EXPECT_EQ(Find(profile, u"Different settings from DEFAULT", &error), GetDlgItem(profile, 569))
        << error;
    // The static beside the label showing a name changes nothing.
    SetDlgItemTextW(profile, 562, u"Office Draft");
    EXPECT_EQ(Find(profile, u"Profile", &error), list) << error;
    EXPECT_EQ(Find(profile, u"Office Draft", &error), nullptr);

    // "&TrueType Font" heads the list; "Substitution Font" beside it is the
    // second column's heading.
    HWND fonts = CreateDialogParamW(module_, MAKEINTRESOURCEW(366), host_, Quiet, 0);
    ASSERT_NE(fonts, nullptr);
    ShowWindow(fonts, SW_SHOW);
    EXPECT_EQ(Find(fonts, u"TrueType Font", &error), GetDlgItem(fonts, 367)) << error;
    EXPECT_EQ(Find(fonts, u"Substitution Font", &error), GetDlgItem(fonts, 368)) << error;
    DestroyWindow(fonts);
    DestroyWindow(profile);
}

TEST(PlainLabel, MnemonicsColonsAndBlanks) {
    EXPECT_EQ(printhost::PlainLabel(u"Paper Si&ze :"), u"Paper Size");
    EXPECT_EQ(printhost::PlainLabel(u"  Fish && &Chips:  "), u"Fish & Chips");
    EXPECT_EQ(printhost::PlainLabel(u"&UserID :\r\n (%d digits PIN)"), u"UserID : (%d digits PIN)");
    EXPECT_EQ(printhost::PlainLabel(u"&"), u"");
}

} // namespace
