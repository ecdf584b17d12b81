// Hopwindow's support dialog as the Support page calls it: what the editor
// writes comes back in the viewer, and the viewer's links open only web and
// plain mail addresses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "url_jump.h"
#include "win/base.h"
#include "win/files.h"
#include "win/user.h"

namespace {

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr char kFile[] = "C:\\Support\\SUPPORT.INI";

std::string PictureDir() {
    const char* dir = std::getenv("PAGES_PNG_DIR");
    return dir && *dir ? std::string(dir) : platform::HostPath(u"C:\\");
}

std::u16string Text(HWND dialog, int id) {
    return drv::ReadText(GetDlgItem(dialog, id));
}

class SupportDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(PKG_DRIVER_DIR);
        library_ = LoadLibraryW(u"Hopwindow.DLL");
        ASSERT_NE(library_, nullptr) << GetLastError();
        dialog_ = reinterpret_cast<PFN_UrlJumpDialog>(
            reinterpret_cast<void (*)()>(GetProcAddress(library_, "UrlJumpDialog")));
        ASSERT_NE(dialog_, nullptr);
        CreateDirectoryW(u"C:\\Support", nullptr);
    }
    void TearDown() override {
        if (library_) FreeLibrary(library_);
        EXPECT_EQ(ut::LiveWindows(), 0u);
        for (const auto& u : ut::TakeUnanswered())
            ADD_FAILURE() << "left unanswered: " << u;
    }
    INT_PTR Show(DWORD mode, const char* file, ut::ModalScript script) {
        UrlJumpParam param{};
        param.size = sizeof param;
        param.mode = mode;
        std::strncpy(param.path, file, sizeof param.path - 1);
        ut::AnswerNextModal(std::move(script));
        return dialog_(nullptr, &param);
    }
    HMODULE library_ = nullptr;
    PFN_UrlJumpDialog dialog_ = nullptr;
};

TEST_F(SupportDialog, WhatTheEditorWritesTheViewerShows) {
    const std::u16string longValue(200, u'x');
    EXPECT_EQ(Show(kUrlJumpEdit, kFile,
                   [&](HWND d) {
                       SetDlgItemTextW(d, 1000, u"Help desk\r\nFloor 2\r\nRoom 7");
                       SetDlgItemTextW(d, 1010, u"http://help.example/");
                       SetDlgItemTextW(d, 1020, u"help@velmora.example");
                       SetDlgItemTextW(d, 1001, longValue.c_str());
                       SetDlgItemTextW(d, 1011, u"  http://spaced.example/");
                       SetDlgItemTextW(d, 1021, u"C:\\x.exe");
                       SetDlgItemTextW(d, 1012, u"C:\\x.exe");
                       EXPECT_TRUE(drv::SavePng(d, PictureDir() + "/support_edit.png"));
                       drv::PressButton(d, IDOK);
                   }),
              IDOK);
    // The file as written: a third line is dropped; a leading blank is quoted.
    std::ifstream in(platform::HostPath(u"C:\\Support\\SUPPORT.INI"));
    std::stringstream stored;
    stored << in.rdbuf();
    EXPECT_NE(stored.str().find("[UrlTitle1]\r\nLINE1=Help desk\r\nLINE2=Floor 2\r\n"),
              std::string::npos)
        << stored.str();
    EXPECT_NE(stored.str().find("LINE1=\"  http://spaced.example/\""), std::string::npos);
    EXPECT_EQ(stored.str().find("Room 7"), std::string::npos);

    const size_t shellCalls = ut::ShellExecuteLog().size();
    EXPECT_EQ(Show(2, kFile,
                   [&](HWND d) {
                       EXPECT_EQ(Text(d, 1034), u"Help desk\r\nFloor 2");
                       EXPECT_EQ(Text(d, 1035), longValue);
                       EXPECT_EQ(Text(d, 1011), u"  http://spaced.example/");
                       EXPECT_EQ(Text(d, 1020), u"help@velmora.example");
                       EXPECT_TRUE(drv::SavePng(d, PictureDir() + "/support_view.png"));
                       drv::Click(GetDlgItem(d, 1020)); // mail: opened as mailto:
                       drv::Click(GetDlgItem(d, 1010)); // web address: opened
                       drv::Click(GetDlgItem(d, 1021)); // a program as "mail": not opened
                       drv::Click(GetDlgItem(d, 1012)); // a program as a link: not opened
                       drv::Click(GetDlgItem(d, 1013)); // empty: nothing
                       drv::PressButton(d, IDOK);
                   }),
              IDOK);
    const auto log = ut::ShellExecuteLog();
    ASSERT_EQ(log.size(), shellCalls + 2);
    EXPECT_EQ(log[shellCalls].file, u"mailto:help@velmora.example");
    EXPECT_EQ(log[shellCalls].operation, u"open");
    EXPECT_EQ(log[shellCalls + 1].file, u"http://help.example/");
}

TEST_F(SupportDialog, CancelWritesNothingAndAFailedWriteIsTold) {
    EXPECT_EQ(Show(kUrlJumpEdit, kFile,
                   [](HWND d) {
                       SetDlgItemTextW(d, 1000, u"typed");
                       drv::PressButton(d, IDCANCEL);
                   }),
              IDCANCEL);
    EXPECT_EQ(GetFileAttributesW(u"C:\\Support\\SUPPORT.INI"), INVALID_FILE_ATTRIBUTES);
    // A folder that does not exist: the editor says so and stays open.
    EXPECT_EQ(Show(kUrlJumpEdit, "C:\\Nowhere\\SUPPORT.INI",
                   [](HWND d) {
                       SetDlgItemTextW(d, 1000, u"typed");
                       ut::AnswerNextMessageBox(IDOK);
                       drv::PressButton(d, IDOK);
                       EXPECT_EQ(ut::MessageBoxLog().back().text,
                                 u"The support information could not be saved.");
                       EXPECT_EQ(Text(d, 1000), u"typed");
                       drv::PressButton(d, IDCANCEL);
                   }),
              IDCANCEL);
    EXPECT_EQ(dialog_(nullptr, nullptr), IDCANCEL);
}

// Reading grows its buffer by 64 bytes only up to what the edits hold.
TEST(SupportFile, ValuesAreReadWithinTheEditsLimits) {
    CreateDirectoryW(u"C:\\Support", nullptr);
    std::ofstream(platform::HostPath(u"C:\\Support\\LONG.INI"))
        << "[UrlTitle1]\r\nLINE1=" << std::string(400, 'a')
        << "\r\n[Url1]\r\nLINE1=" << std::string(300, 'b') << "\r\n[Contact1]\r\nLINE1=\r\n";
    std::string text;
    ASSERT_TRUE(hopwindow::ReadSupportEntry(kFile, hopwindow::kKindTitle, 1, &text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(
        hopwindow::ReadSupportEntry("C:\\Support\\LONG.INI", hopwindow::kKindTitle, 1, &text));
    EXPECT_EQ(text, std::string(hopwindow::kTitleLimit, 'a'));
    ASSERT_TRUE(
        hopwindow::ReadSupportEntry("C:\\Support\\LONG.INI", hopwindow::kKindUrl, 1, &text));
    EXPECT_EQ(text, std::string(hopwindow::kAddressLimit, 'b'));
    EXPECT_FALSE(hopwindow::ReadSupportEntry("C:\\Support\\LONG.INI", 4, 1, &text));
    EXPECT_FALSE(hopwindow::ReadSupportEntry("C:\\Support\\LONG.INI", 1, 5, &text));
}

} // namespace
