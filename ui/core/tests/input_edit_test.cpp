// The input rule on the edits of the job prompts, worked through the test
// driver: what may not be typed or pasted never reaches the edit.
#include <gtest/gtest.h>

#include <cstring>

#include "input_edit.h"
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

class InputEdit : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
        FreeLibrary(module_);
    }
    // The edit of a job prompt with a rule attached.
    HWND Edit(int dialog, int id, DWORD flags, DWORD limit, const char* extra = nullptr) {
        dialog_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(dialog), nullptr, Quiet, 0);
        HWND edit = GetDlgItem(dialog_, id);
        SetupInputEdit(edit, flags, limit, extra, &rule_);
        AttachInputRule(edit, &rule_);
        ShowWindow(dialog_, SW_SHOW);
        return edit;
    }
    HMODULE module_ = nullptr;
    HWND dialog_ = nullptr;
    InputRule rule_{};
};

TEST_F(InputEdit, DigitsOnlyDepartmentCode) {
    HWND edit = Edit(1360, 1362, kRuleRestricted | kRuleDigits, 0);
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_NUMBER);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 8);
    drv::TypeText(edit, u"12ab-34");
    EXPECT_EQ(drv::ReadText(edit), u"1234");
    drv::TypeText(edit, u"1234567890");
    EXPECT_EQ(drv::ReadText(edit), u"12345678");
    // Pasting takes the digits that fit.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"12"));
    SendMessageW(edit, EM_SETSEL, 2, 2);
    SetClipboard(u"3x4y5678999");
    SendMessageW(edit, WM_PASTE, 0, 0);
    EXPECT_EQ(drv::ReadText(edit), u"12345678");
}

TEST_F(InputEdit, PasswordRefusesWideAndForbiddenCharacters) {
    HWND edit = Edit(1350, 1354, kRuleRestricted | kRuleAnythingButRefused, 8);
    EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & ES_NUMBER);
    drv::TypeText(edit, u"a\u65E5b?c:d");
    EXPECT_EQ(drv::ReadText(edit), u"abcd");
}

TEST_F(InputEdit, LimitCountsAnsiBytes) {
    HWND edit = Edit(1350, 1352, kRuleRestricted | kRuleAnythingButRefused, 8);
    drv::TypeText(edit, u"1234567\u65E5");
    EXPECT_EQ(drv::ReadText(edit), u"1234567"); // the wide character would take bytes 8 and 9
    drv::TypeText(edit, u"123456\u65E5");
    EXPECT_EQ(drv::ReadText(edit), u"123456\u65E5");
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"12345"));
    SendMessageW(edit, EM_SETSEL, 5, 5);
    SetClipboard(u"\u65E5\u65E5");
    SendMessageW(edit, WM_PASTE, 0, 0);
    EXPECT_EQ(drv::ReadText(edit), u"12345\u65E5");
    // An extra set: digits and the hyphen only.
    DestroyWindow(dialog_);
    edit = Edit(1350, 1352, kRuleRestricted | kRuleDigits | kRuleExtra, 8, "-");
    drv::TypeText(edit, u"12-3a#");
    EXPECT_EQ(drv::ReadText(edit), u"12-3");
}

} // namespace
