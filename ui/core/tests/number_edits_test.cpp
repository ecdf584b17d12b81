// The number and byte-limited edits of the custom paper dialog, worked
// through the test driver under a comma-decimal locale.
#include <gtest/gtest.h>

#include <cstring>

#include "number_edits.h"
#include "platform/facts.h"
#include "platform/user_ctl.h"
#include "win/base.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

void SetClipboard(const std::u16string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * 2);
    std::memcpy(GlobalLock(g), text.c_str(), (text.size() + 1) * 2);
    GlobalUnlock(g);
    SetClipboardData(CF_UNICODETEXT, g);
    CloseClipboard();
}

void Paste(HWND edit, const std::u16string& text, const std::u16string& clip) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(edit, EM_SETSEL, text.size(), text.size());
    SetClipboard(clip);
    SendMessageW(edit, WM_PASTE, 0, 0);
}

class NumberEdits : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::SetLocale(0x0407);
        module_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(module_, nullptr);
        dialog_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(1000), nullptr, Quiet, 0);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
    }
    void TearDown() override {
        DestroyWindow(dialog_);
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
        FreeLibrary(module_);
    }
    HWND Attach(int id, NumberEditState* state, int limit) {
        HWND edit = GetDlgItem(dialog_, id);
        SendMessageW(edit, EM_LIMITTEXT, limit, 0);
        AttachNumberEdit(edit, state);
        return edit;
    }
    HMODULE module_ = nullptr;
    HWND dialog_ = nullptr;
};

TEST_F(NumberEdits, DecimalEditTakesDigitsAndTheSeparator) {
    NumberEditState width{NumberEditKind::Double};
    HWND edit = Attach(1015, &width, 6);
    EXPECT_EQ(width.separator, u",");
    drv::TypeText(edit, u"21a0.,5x");
    EXPECT_EQ(drv::ReadText(edit), u"210,5");
    EXPECT_DOUBLE_EQ(GetDoubleEditValue(edit, width.separator), 210.5);
    Paste(edit, u"", u"148.5 mm");
    EXPECT_EQ(drv::ReadText(edit), u"148,5"); // read as a number, shown in the user's separator
    Paste(edit, u"", u"297,25 mm");
    EXPECT_EQ(drv::ReadText(edit), u"297,25");
    Paste(edit, u"", u"mm");
    EXPECT_EQ(drv::ReadText(edit), u"");
    Paste(edit, u"12", u"3456789");
    EXPECT_EQ(drv::ReadText(edit), u"123456"); // within the limit of 6
    NumberEditState whole{NumberEditKind::Double, 1};
    HWND length = Attach(1018, &whole, 6);
    drv::TypeText(length, u"29,7");
    EXPECT_EQ(drv::ReadText(length), u"297");

    CMMInch v;
    v.SetMM(215.9, TRUE);
    EXPECT_TRUE(ShowInEdit(v, edit, TRUE));
    EXPECT_EQ(drv::ReadText(edit), u"215,9");
    EXPECT_FALSE(ShowInEdit(v, edit, TRUE)); // unchanged
    CMMInch back;
    EXPECT_TRUE(ReadFromEdit(&back, edit, TRUE));
    EXPECT_EQ(back.Dots(), 5100);
    EXPECT_FALSE(ReadFromEdit(&back, nullptr, TRUE));
}

TEST_F(NumberEdits, WholeNumberEditAndItsSign) {
    NumberEditState copies{NumberEditKind::Int};
    HWND edit = Attach(1015, &copies, 5);
    drv::TypeText(edit, u"1-2x3");
    EXPECT_EQ(drv::ReadText(edit), u"123");
    NumberEditState offset{NumberEditKind::Int, 0, 1};
    HWND signedEdit = Attach(1018, &offset, 5);
    drv::TypeText(signedEdit, u"12-");
    EXPECT_EQ(drv::ReadText(signedEdit), u"-12");
    drv::TypeText(signedEdit, u"12--");
    EXPECT_EQ(drv::ReadText(signedEdit), u"12");
    Paste(edit, u"", u"42 copies");
    EXPECT_EQ(drv::ReadText(edit), u"42");
}

TEST_F(NumberEdits, PastedTextIsAPlainNumberInRange) {
    NumberEditState decimal{NumberEditKind::Double};
    NumberEditState whole{NumberEditKind::Double, 1};
    NumberEditState count{NumberEditKind::Int};
    NumberEditState offset{NumberEditKind::Int, 0, 1};
    struct Case {
        NumberEditState* state;
        const char16_t* clip;
        const char16_t* shown; // empty: nothing pasted
    } cases[] = {
        {&decimal, u"148.5", u"148,5"}, {&decimal, u" 7,25\r\n", u"7,25"},
        {&decimal, u"1e5", u""},        {&decimal, u"2.5E-3", u""},
        {&decimal, u"inf", u""},        {&decimal, u"nan", u""},
        {&decimal, u"0x1p3", u""},      {&decimal, u"-4", u""}, // no sign can be typed either
        {&whole, u"29,7", u""}, // a fraction where whole numbers are asked for
        {&whole, u"297", u"297"},       {&count, u"42", u"42"},
        {&count, u"-42", u""},          {&count, u"+42", u""},
        {&count, u"4294967297", u""}, // past a 32-bit number
        {&count, u"12abc", u""},        {&offset, u"-42", u"-42"},
        {&offset, u"-2147483649", u""}, {&offset, u"-2147483648", u"-2147483648"},
    };
    for (const Case& c : cases) {
        // A fresh edit for each case.
        HWND edit = CreateWindowExW(0, u"EDIT", u"", WS_CHILD, 0, 0, 80, 12, dialog_, nullptr,
                                    nullptr, nullptr);
        SendMessageW(edit, EM_LIMITTEXT, 20, 0);
        ASSERT_TRUE(AttachNumberEdit(edit, c.state));
        Paste(edit, u"", c.clip);
        const std::u16string clip = c.clip;
        EXPECT_EQ(drv::ReadText(edit), std::u16string(c.shown))
            << std::string(clip.begin(), clip.end());
        DestroyWindow(edit);
    }
    // A long run of digits is no finite number.
    NumberEditState big{NumberEditKind::Double};
    HWND edit = Attach(1018, &big, 20);
    Paste(edit, u"", u"1" + std::u16string(400, u'0'));
    EXPECT_EQ(drv::ReadText(edit), u"");
}

TEST_F(NumberEdits, NameLimitedInAnsiBytes) {
    NumberEditState name{NumberEditKind::MultiByteLimit};
    HWND edit = Attach(1012, &name, 6);
    drv::TypeText(edit, u"ab\u65E5\u65E5c");
    EXPECT_EQ(drv::ReadText(edit), u"ab\u65E5\u65E5"); // 6 bytes: "c" would be the seventh
    Paste(edit, u"abcd", u"\u65E5xyz");
    EXPECT_EQ(drv::ReadText(edit), u"abcd\u65E5"); // the wide character fits, then the room is gone
    Paste(edit, u"abcde", u"\u65E5x");
    EXPECT_EQ(drv::ReadText(edit), u"abcde"); // the first character does not fit: nothing taken
}

} // namespace
