// The common dialogs answered by scripts: what the program asked for is
// logged, the answer goes through the dialog's own checks, and a dialog that
// no script answers is cancelled and reported.
#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/commdlg.h"
#include "win/files.h"
#include "win/gdi_text.h"

namespace {

namespace ut = platform::user::test;

class CommonDialogs : public user_test::UserTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Profiles", nullptr));
        HANDLE f = CreateFileW(u"C:\\Profiles\\office.DAT", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
    }
    // The profile page's import and export dialogs.
    OPENFILENAMEW Request(DWORD flags) {
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFilter = u"Profile files (*.PRO)\0*.PRO\0\0";
        ofn.lpstrFile = file;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrFileTitle = title;
        ofn.nMaxFileTitle = 16;
        ofn.lpstrInitialDir = u"C:\\Profiles";
        ofn.lpstrTitle = u"Import";
        ofn.lpstrDefExt = u".DAT";
        ofn.Flags = flags;
        ofn.FlagsEx = OFN_EX_NOPLACESBAR;
        return ofn;
    }
    WCHAR file[MAX_PATH] = u"*.DAT";
    WCHAR title[16] = {};
};

TEST_F(CommonDialogs, OpenFileAnsweredWithAFileThatExists) {
    ut::AnswerNextFileDialog(u"office");
    OPENFILENAMEW ofn = Request(OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(std::u16string(file), u"C:\\Profiles\\office.DAT"); // folder and extension added
    EXPECT_EQ(ofn.nFileOffset, 12);
    EXPECT_EQ(ofn.nFileExtension, 19);
    EXPECT_EQ(std::u16string(title), u"office.DAT");
    EXPECT_FALSE(ofn.Flags & OFN_EXTENSIONDIFFERENT);
    auto log = ut::CommonDialogLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, ut::CommonDialogCall::Open);
    EXPECT_EQ(log[0].title, u"Import");
    EXPECT_EQ(log[0].fileName, u"*.DAT");
    EXPECT_EQ(log[0].initialFolder, u"C:\\Profiles");
    EXPECT_EQ(log[0].flagsEx, static_cast<DWORD>(OFN_EX_NOPLACESBAR));
    ASSERT_EQ(log[0].filter.size(), 1u);
    EXPECT_EQ(log[0].filter[0].first, u"Profile files (*.PRO)");
    EXPECT_EQ(log[0].filter[0].second, u"*.PRO");
    EXPECT_EQ(ut::SeamLog().back(), "open-file dialog \"Import\"");
}

TEST_F(CommonDialogs, AnswersTheDialogWouldRefuseAreReported) {
    struct Case {
        const char* what;
        std::u16string answer;
        const char* reported;
    } cases[] = {
        {"missing file", u"C:\\Profiles\\missing.DAT", "refuses a file that does not exist"},
        {"missing folder", u"C:\\Nowhere\\office.DAT", "folder does not exist"},
        {"empty answer", u"", "no file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ut::AnswerNextFileDialog(c.answer);
        OPENFILENAMEW ofn = Request(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
        EXPECT_FALSE(GetOpenFileNameW(&ofn));
        EXPECT_EQ(CommDlgExtendedError(), 0u);
        auto reported = ut::TakeUnanswered();
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_NE(reported[0].find(c.reported), std::string::npos) << reported[0];
    }
    // Cancelled by the script; and opened with no script at all.
    ut::CancelNextCommonDialog();
    OPENFILENAMEW ofn = Request(0);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_TRUE(ut::TakeUnanswered().empty());
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    auto reported = ut::TakeUnanswered();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "open-file dialog \"Import\"");
    // A record of the wrong size, no buffer, a buffer too small.
    ofn.lStructSize = 100;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    ofn = Request(0);
    ofn.lpstrFile = nullptr;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
    ut::AnswerNextFileDialog(u"office.DAT");
    ofn = Request(0);
    ofn.nMaxFile = 10;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(file[0], 23); // the size needed, with its zero
}

TEST_F(CommonDialogs, SaveAsksBeforeReplacing) {
    OPENFILENAMEW ofn = Request(OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT);
    ofn.lpstrTitle = u"Export";
    // A new file needs no question; the other extension is noted.
    ut::AnswerNextFileDialog(u"C:\\Profiles\\new.PRO");
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    EXPECT_EQ(std::u16string(file), u"C:\\Profiles\\new.PRO");
    EXPECT_TRUE(ofn.Flags & OFN_EXTENSIONDIFFERENT);
    EXPECT_TRUE(ut::MessageBoxLog().empty());
    // An existing file: No keeps it, Yes replaces it.
    ut::AnswerNextFileDialog(u"office");
    ut::AnswerNextMessageBox(IDNO);
    EXPECT_FALSE(GetSaveFileNameW(&ofn));
    ut::AnswerNextFileDialog(u"office");
    ut::AnswerNextMessageBox(IDYES);
    ASSERT_TRUE(GetSaveFileNameW(&ofn));
    EXPECT_EQ(std::u16string(file), u"C:\\Profiles\\office.DAT");
    auto boxes = ut::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, u"Export");
    EXPECT_EQ(boxes[0].text, u"office.DAT already exists.\nDo you want to replace it?");
    EXPECT_EQ(ut::CommonDialogLog()[0].kind, ut::CommonDialogCall::Save);
}

TEST_F(CommonDialogs, FontDialogTheAnsiWay) {
    // The watermark page's call: the record's font and colour to start with.
    LOGFONTA font{};
    font.lfHeight = -48;
    font.lfEscapement = 450;
    font.lfWeight = FW_NORMAL;
    std::strcpy(font.lfFaceName, "Arial");
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof cf;
    cf.lpLogFont = &font;
    cf.Flags = CF_PRINTERFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVECTORFONTS | CF_TTONLY |
               CF_NOVERTFONTS | CF_EFFECTS;
    cf.rgbColors = RGB(192, 192, 192);
    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        EXPECT_EQ(call.kind, ut::CommonDialogCall::Font);
        EXPECT_EQ(std::u16string(call.font.lfFaceName), u"Arial");
        EXPECT_EQ(call.font.lfHeight, -48);
        EXPECT_EQ(call.color, RGB(192, 192, 192));
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.font.lfWeight = FW_BOLD;
        a.font.lfItalic = 1;
        std::u16string face = u"A face name longer than thirty-one characters";
        std::copy(face.begin(), face.begin() + 31, a.font.lfFaceName);
        a.pointSize = 240;
        a.color = RGB(255, 0, 0);
        return a;
    });
    ASSERT_TRUE(ChooseFontA(&cf));
    EXPECT_EQ(cf.iPointSize, 240);
    EXPECT_EQ(font.lfHeight, -32); // 24 points on the screen's 96 pixels per inch
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(std::string(font.lfFaceName), "A face name longer than thirty-");
    EXPECT_EQ(cf.rgbColors, RGB(255, 0, 0));
    EXPECT_EQ(cf.nFontType, BOLD_FONTTYPE | ITALIC_FONTTYPE | SCREEN_FONTTYPE);

    // A size outside the limits is refused; a cancel leaves the record.
    cf.Flags |= CF_LIMITSIZE;
    cf.nSizeMin = 8;
    cf.nSizeMax = 20;
    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.font = call.font;
        a.font.lfHeight = 0;
        a.pointSize = 720;
        return a;
    });
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(ut::TakeUnanswered().size(), 1u);
    ut::CancelNextCommonDialog();
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(cf.iPointSize, 240);
    cf.lStructSize = 0;
    EXPECT_FALSE(ChooseFontA(&cf));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

TEST_F(CommonDialogs, ColourDialogStartsAtTheRecordsColour) {
    COLORREF custom[16] = {};
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.rgbResult = RGB(10, 20, 30);
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_RGBINIT;
    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        EXPECT_EQ(call.color, RGB(10, 20, 30));
        EXPECT_TRUE(call.flags & CC_FULLOPEN);
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.color = RGB(0, 128, 255);
        return a;
    });
    ASSERT_TRUE(ChooseColorW(&cc));
    EXPECT_EQ(cc.rgbResult, RGB(0, 128, 255));
    ut::CancelNextCommonDialog();
    EXPECT_FALSE(ChooseColorW(&cc));
    EXPECT_EQ(cc.rgbResult, RGB(0, 128, 255));
    cc.lpCustColors = nullptr;
    EXPECT_FALSE(ChooseColorW(&cc));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_INITIALIZATION));
}

} // namespace
