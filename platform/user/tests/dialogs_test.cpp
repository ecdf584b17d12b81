// Dialogs from a module's compiled templates, modal and modeless, worked by
// the driver; message boxes answered by scripts; the template reader on
// hand-laid bytes.
#include <filesystem>
#include <fstream>

#include "platform/dialog_template.h"
#include "platform/loader_ctl.h"
#include "platform_testing/fresh_root.h"
#include "resprobe.h"
#include "user_fixture.h"
#include "win/base.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

struct Answers {
    std::u16string name;
    UINT duplex = 0;
    int paper = -1;
};

// The probe dialog's procedure: reads its controls back on OK.
INT_PTR CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* a = reinterpret_cast<Answers*>(GetWindowLongPtrW(h, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(h, DWLP_USER, lp);
        SetDlgItemTextW(h, IDC_NAME, u"Default");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            WCHAR buf[64];
            GetDlgItemTextW(h, IDC_NAME, buf, 64);
            a->name = buf;
            a->duplex = IsDlgButtonChecked(h, IDC_DUPLEX);
            EndDialog(h, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(h, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

class Dialogs : public UserTest {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
        probe = LoadLibraryW(u"Resprobe.DLL");
        ASSERT_NE(probe, nullptr);
    }
    void TearDown() override {
        FreeLibrary(probe);
        UserTest::TearDown();
    }
    HMODULE probe = nullptr;
};

TEST_F(Dialogs, ModalDialogFromModuleAnsweredByScript) {
    Answers answers;
    std::string snapshot;
    ut::AnswerNextModal([&](HWND dlg) {
        EXPECT_EQ(drv::ReadText(dlg), u"Probe");
        EXPECT_EQ(drv::ReadText(GetDlgItem(dlg, IDC_NAME)), u"Default");
        EXPECT_TRUE(drv::TypeText(GetDlgItem(dlg, IDC_NAME), u"Ünïcode"));
        EXPECT_TRUE(drv::SetCheck(GetDlgItem(dlg, IDC_DUPLEX), BST_CHECKED));
        snapshot = drv::Snapshot(dlg);
        EXPECT_TRUE(drv::PressButton(dlg, IDOK));
    });
    INT_PTR r = DialogBoxParamW(probe, MAKEINTRESOURCEW(IDD_PROBE), nullptr, ProbeProc,
                                reinterpret_cast<LPARAM>(&answers));
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(answers.name, u"Ünïcode");
    EXPECT_EQ(answers.duplex, BST_CHECKED);
    // The template's layout in dialog units of an 8-point font (6 x 13 pixels per 4 x 8 units).
    EXPECT_EQ(snapshot, "#32770 \"Probe\" [0,0 246x154]\n"
                        "  Static #65535 \"&Name:\" [10,14 60x13]\n"
                        "  Edit #1001 \"Ünïcode\" [75,11 150x22]\n"
                        "  Button #1003 \"&Duplex\" focus checked [10,42 90x16]\n"
                        "  Button #1 \"OK\" default [75,95 75x22]\n"
                        "  Button #2 \"Cancel\" [154,95 75x22]\n");
}

TEST_F(Dialogs, ModelessDialogSnapshotAndPicture) {
    Answers answers;
    // The layout template is a child dialog: it lives inside the probe dialog.
    HWND host = CreateDialogParamW(probe, MAKEINTRESOURCEW(IDD_PROBE), nullptr, ProbeProc,
                                   reinterpret_cast<LPARAM>(&answers));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(CreateDialogParamW(probe, MAKEINTRESOURCEW(IDD_PROBE_EX), nullptr, ProbeProc, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
    HWND dlg = CreateDialogParamW(probe, MAKEINTRESOURCEW(IDD_PROBE_EX), host, ProbeProc,
                                  reinterpret_cast<LPARAM>(&answers));
    ASSERT_NE(dlg, nullptr);
    ShowWindow(host, SW_SHOW);
    // windres upper-cases the class names; classes are found without regard to case.
    HWND spin = GetDlgItem(dlg, 1005);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)),
              GetDlgItem(dlg, IDC_COPIES));
    HWND paper = GetDlgItem(dlg, IDC_PAPER);
    for (auto* s : {u"Letter", u"A4"})
        SendMessageW(paper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    ShowWindow(dlg, SW_SHOW);
    EXPECT_TRUE(drv::SelectItem(paper, 1));
    SendMessageW(spin, UDM_SETRANGE32, 1, 999);
    EXPECT_TRUE(drv::SpinBy(spin, 3));
    EXPECT_EQ(drv::ReadText(GetDlgItem(dlg, IDC_COPIES)), u"3");
    std::string snap = drv::Snapshot(dlg);
    EXPECT_NE(snap.find("ComboBox #1004 \"A4\" focus items=2 sel=1"), std::string::npos) << snap;
    EXPECT_NE(snap.find("msctls_updown32 #1005 \"\" pos=3"), std::string::npos) << snap;
    EXPECT_EQ(snap, drv::Snapshot(dlg)); // same windows, same text

    std::string png = platform_testing::Root() + "/probe.png";
    ASSERT_TRUE(drv::SavePng(host, png));
    std::ifstream in(png, std::ios::binary);
    char sig[8] = {};
    in.read(sig, 8);
    EXPECT_EQ(std::string(sig, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_GT(std::filesystem::file_size(png), 500u);
    if (const char* keep = getenv("USER_TEST_PNG"))
        std::filesystem::copy_file(png, keep, std::filesystem::copy_options::overwrite_existing);
    DestroyWindow(host);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST_F(Dialogs, UnansweredModalDialogFailsWithItsTextInsteadOfHanging) {
    Answers answers;
    INT_PTR r = DialogBoxParamW(probe, MAKEINTRESOURCEW(IDD_PROBE), nullptr, ProbeProc,
                                reinterpret_cast<LPARAM>(&answers));
    EXPECT_EQ(r, -1);
    auto unanswered = ut::TakeUnanswered();
    ASSERT_EQ(unanswered.size(), 1u);
    EXPECT_EQ(unanswered[0], "#32770 \"Probe\"");
}

TEST_F(Dialogs, MessageBoxesAnsweredByScript) {
    ut::AnswerNextMessageBox(IDNO);
    ut::AnswerNextMessageBox(
        [](const ut::MessageBoxCall& c) { return c.text == u"Retry?" ? IDRETRY : IDCANCEL; });
    EXPECT_EQ(MessageBoxW(nullptr, u"Save changes?", u"Sheet", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, u"Retry?", u"Port", MB_RETRYCANCEL), IDRETRY);
    auto log = ut::MessageBoxLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].caption, u"Sheet");
    EXPECT_EQ(log[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    // A script answering with a button the box lacks is a failure too.
    ut::AnswerNextMessageBox(IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"Done.", u"Info", MB_OK), 0);
    EXPECT_EQ(ut::TakeUnanswered().size(), 1u);
}

TEST_F(Dialogs, UnansweredMessageBoxFailsWithItsText) {
    EXPECT_EQ(MessageBoxW(nullptr, u"Cannot find the necessary files.", u"Error", MB_ICONHAND), 0);
    auto unanswered = ut::TakeUnanswered();
    ASSERT_EQ(unanswered.size(), 1u);
    EXPECT_EQ(unanswered[0], "message box \"Error\": Cannot find the necessary files.");
}

TEST_F(Dialogs, MessageBoxInsideAHandlerIsAnsweredToo) {
    // A handler of the modal dialog opens a box: both are answered in turn.
    static int boxAnswer = 0;
    auto proc = [](HWND h, UINT msg, WPARAM wp, LPARAM) -> INT_PTR {
        if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
            boxAnswer = MessageBoxW(h, u"Really?", u"Probe", MB_OKCANCEL);
            EndDialog(h, IDOK);
            return TRUE;
        }
        return msg == WM_INITDIALOG;
    };
    ut::AnswerNextModal([](HWND dlg) { drv::PressButton(dlg, IDOK); });
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(DialogBoxParamW(probe, MAKEINTRESOURCEW(IDD_PROBE), nullptr, proc, 0), IDOK);
    EXPECT_EQ(boxAnswer, IDOK);
}

TEST(DialogTemplateReader, HandLaidTemplates) {
    using platform::user::DialogTemplateData;
    auto good = TemplateBuilder()
                    .Dialog(DS_SETFONT | WS_POPUP, 100, 50, u"T", 9, u"Face")
                    .Item(0x80, nullptr, BS_PUSHBUTTON, 1, 2, 30, 14, IDOK, u"OK")
                    .Item(0, u"msctls_trackbar32", 0, 1, 20, 60, 10, 7, u"")
                    .Bytes();
    auto goodEx = TemplateBuilder(true)
                      .Dialog(DS_SETFONT | WS_CHILD, 100, 50, u"X")
                      .Item(0x85, nullptr, CBS_DROPDOWNLIST, 1, 2, 30, 60, 70000, u"")
                      .Bytes();
    DialogTemplateData t;
    std::string error;
    ASSERT_TRUE(platform::user::ReadDialogTemplate(good.data(), good.size(), &t, &error)) << error;
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.face, u"Face");
    ASSERT_EQ(t.items.size(), 2u);
    EXPECT_EQ(t.items[0].windowClass.ordinal, 0x80);
    EXPECT_EQ(t.items[1].windowClass.text, u"msctls_trackbar32");
    ASSERT_TRUE(platform::user::ReadDialogTemplate(goodEx.data(), goodEx.size(), &t, &error))
        << error;
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.items[0].id, 70000u); // extended items have 32-bit ids

    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
    } bad[] = {
        {"empty", {}},
        {"header cut short", std::vector<BYTE>(good.begin(), good.begin() + 10)},
        {"title without terminator", std::vector<BYTE>(good.begin(), good.begin() + 23)},
        {"last item cut short", std::vector<BYTE>(good.begin(), good.end() - 3)},
        {"extended item cut short", std::vector<BYTE>(goodEx.begin(), goodEx.end() - 2)},
        {"more items than bytes",
         [&] {
             auto v = good;
             v[8] = 200;
             return v;
         }()},
        {"creation data past the end",
         [&] {
             auto v = good;
             v[v.size() - 2] = 0xF0; // the last item's creation-data count
             return v;
         }()},
    };
    for (const auto& c : bad)
        EXPECT_FALSE(platform::user::ReadDialogTemplate(c.bytes.data(), c.bytes.size(), &t, &error))
            << c.what;
    // A template that does not read creates no dialog.
    auto broken = std::vector<BYTE>(good.begin(), good.end() - 3);
    HGLOBAL g = GlobalAlloc(0, broken.size());
    std::memcpy(GlobalLock(g), broken.data(), broken.size());
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, static_cast<const DLGTEMPLATE*>(GlobalLock(g)),
                                         nullptr, nullptr, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    GlobalUnlock(g);
    GlobalUnlock(g);
    GlobalFree(g);
}

} // namespace
