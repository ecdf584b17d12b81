// Each control class on a table of cases: the messages and notifications a
// page relies on, and that the program's own changes send no notification
// where a person's do.
#include <functional>

#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/memory.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;

enum Id : WORD {
    kName = 1001,
    kNumber = 1002,
    kReadOnly = 1003,
    kCheck = 1010,
    kThree = 1011,
    kRadio1 = 1012,
    kRadio2 = 1013,
    kRadio3 = 1014,
    kPush = 1015,
    kDisabled = 1016,
    kList = 1020,
    kDropList = 1021,
    kDropDown = 1022,
    kOwnerCombo = 1023,
    kOwnerList = 1024,
    kTrack = 1030,
    kBuddy = 1031,
    kSpin = 1032,
    kScroll = 1033,
    kTab = 1034,
    kStaticNotify = 1040,
    kAfterRadios = 1041,
};

std::vector<BYTE> ControlsTemplate() {
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 300, 200, u"Controls")
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 5, 5, 80, 12, kName, u"")
        .Item(0x81, nullptr, ES_NUMBER | WS_TABSTOP, 5, 20, 80, 12, kNumber, u"")
        .Item(0x81, nullptr, ES_READONLY, 5, 35, 80, 12, kReadOnly, u"fixed")
        .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 100, 5, 60, 10, kCheck, u"&Check")
        .Item(0x80, nullptr, BS_AUTO3STATE, 100, 17, 60, 10, kThree, u"Three")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON | WS_GROUP, 100, 29, 60, 10, kRadio1, u"One")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON, 100, 41, 60, 10, kRadio2, u"Two")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON, 100, 53, 60, 10, kRadio3, u"Three")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, 100, 65, 50, 14, kPush, u"Push")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_DISABLED, 100, 80, 50, 14, kDisabled, u"Off")
        .Item(0x83, nullptr, LBS_NOTIFY | WS_BORDER, 170, 5, 60, 40, kList, u"")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | WS_TABSTOP, 170, 50, 60, 60, kDropList, u"")
        .Item(0x85, nullptr, CBS_DROPDOWN, 170, 65, 60, 60, kDropDown, u"")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | CBS_OWNERDRAWVARIABLE | CBS_HASSTRINGS, 170, 80, 60,
              60, kOwnerCombo, u"")
        .Item(0x83, nullptr, LBS_OWNERDRAWFIXED | LBS_NOTIFY, 170, 95, 60, 40, kOwnerList, u"")
        .Item(0, u"msctls_trackbar32", TBS_AUTOTICKS, 5, 60, 80, 15, kTrack, u"")
        .Item(0x81, nullptr, ES_NUMBER, 5, 80, 40, 12, kBuddy, u"")
        .Item(0, u"msctls_updown32", UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT, 45, 80, 10,
              12, kSpin, u"")
        .Item(0x84, nullptr, SBS_HORZ, 5, 100, 80, 10, kScroll, u"")
        .Item(0, u"SysTabControl32", 0, 5, 120, 120, 60, kTab, u"")
        .Item(0x82, nullptr, SS_NOTIFY, 240, 5, 40, 10, kStaticNotify, u"Click me")
        .Item(0x82, nullptr, SS_LEFT | WS_GROUP, 240, 20, 40, 10, kAfterRadios, u"Label");
    return t.Bytes();
}

class Controls : public UserTest {
  protected:
    void SetUp() override {
        bytes = ControlsTemplate();
        gCreating = &log;
        dialog =
            CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()),
                                       nullptr, LoggingProc, reinterpret_cast<LPARAM>(&log));
        gCreating = nullptr;
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        DestroyWindow(dialog);
        UserTest::TearDown();
    }

  public:
    HWND Item(int id) { return GetDlgItem(dialog, id); }
    // The log lines since the last call, without focus traffic.
    std::vector<std::string> Take() {
        std::vector<std::string> out;
        for (auto& l : log.lines)
            if (l.find("FOCUS") == std::string::npos) out.push_back(l);
        log.Clear();
        return out;
    }
    std::vector<BYTE> bytes;
    HWND dialog = nullptr;
    Log log;
};

struct Case {
    const char* what;
    std::function<void(Controls&)> act;
    std::vector<std::string> expected;
    std::function<void(Controls&)> check;
};

void RunCases(Controls& t, const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        t.log.Clear();
        c.act(t);
        EXPECT_EQ(Join(t.Take()), Join(c.expected));
        if (c.check) c.check(t);
    }
}

TEST_F(Controls, CreationMeasuresOwnerDrawnItems) {
    // Sent during creation, before WM_INITDIALOG: the fixed list's one height
    // and the owner-drawn combo's selection field.
    std::vector<std::string> expected{"WM_MEASUREITEM 1023 -1", "WM_MEASUREITEM 1024 0",
                                      "WM_INITDIALOG", "WM_COMMAND 1001 EN_SETFOCUS"};
    EXPECT_EQ(Join(log.lines), Join(expected));
    EXPECT_EQ(SendMessageW(Item(kOwnerList), LB_GETITEMHEIGHT, 0, 0), 20);
    EXPECT_EQ(SendMessageW(Item(kOwnerCombo), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), 20);
}

TEST_F(Controls, Edit) {
    auto text = [](int id, const char16_t* want) {
        return [id, want](Controls& t) { EXPECT_EQ(drv::ReadText(t.Item(id)), want); };
    };
    auto putClipboard = [](const char16_t* s) {
        size_t bytes = (std::u16string(s).size() + 1) * 2;
        HGLOBAL g = GlobalAlloc(0x0002, bytes);
        std::memcpy(GlobalLock(g), s, bytes);
        GlobalUnlock(g);
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, g);
        CloseClipboard();
    };
    std::vector<Case> cases = {
        {"program sets the text",
         [](Controls& t) { SetDlgItemTextW(t.dialog, kName, u"Alpha"); },
         {"WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE"},
         text(kName, u"Alpha")},
        {"person types over it",
         [](Controls& t) { EXPECT_TRUE(drv::TypeText(t.Item(kName), u"ab")); },
         {"WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_UPDATE",
          "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE"},
         text(kName, u"ab")},
        {"number field drops letters",
         [](Controls& t) { drv::TypeText(t.Item(kNumber), u"1a2"); },
         {"WM_COMMAND 1002 EN_UPDATE", "WM_COMMAND 1002 EN_CHANGE", "WM_COMMAND 1002 EN_UPDATE",
          "WM_COMMAND 1002 EN_CHANGE"},
         text(kNumber, u"12")},
        {"limit stops typing",
         [](Controls& t) {
             SendMessageW(t.Item(kName), EM_LIMITTEXT, 3, 0);
             drv::TypeText(t.Item(kName), u"wxyz");
         },
         {"WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_UPDATE",
          "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE",
          "WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_MAXTEXT"},
         text(kName, u"wxy")},
        {"read-only field takes no typing",
         [](Controls& t) { EXPECT_FALSE(drv::TypeText(t.Item(kReadOnly), u"x")); },
         {},
         text(kReadOnly, u"fixed")},
        {"paste then undo",
         [&](Controls& t) {
             SendMessageW(t.Item(kName), EM_LIMITTEXT, 0, 0);
             SetDlgItemTextW(t.dialog, kName, u"ab");
             SendMessageW(t.Item(kName), EM_SETSEL, 2, 2);
             putClipboard(u"cd\r\nnext line");
             t.log.Clear();
             SendMessageW(t.Item(kName), WM_PASTE, 0, 0);
             EXPECT_EQ(drv::ReadText(t.Item(kName)), u"abcd");
             EXPECT_TRUE(SendMessageW(t.Item(kName), EM_CANUNDO, 0, 0));
             SendMessageW(t.Item(kName), EM_UNDO, 0, 0);
         },
         {"WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE", "WM_COMMAND 1001 EN_UPDATE",
          "WM_COMMAND 1001 EN_CHANGE"},
         text(kName, u"ab")},
        {"number field refuses a paste with letters",
         [&](Controls& t) {
             SetDlgItemTextW(t.dialog, kNumber, u"5");
             putClipboard(u"12x");
             t.log.Clear();
             SendMessageW(t.Item(kNumber), WM_PASTE, 0, 0);
         },
         {},
         text(kNumber, u"5")},
        {"selection bounds",
         [](Controls& t) {
             SetDlgItemTextW(t.dialog, kName, u"hello");
             t.log.Clear();
             SendMessageW(t.Item(kName), EM_SETSEL, 4, 1);
             DWORD s = 0, e = 0;
             SendMessageW(t.Item(kName), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                          reinterpret_cast<LPARAM>(&e));
             EXPECT_EQ(s, 1u);
             EXPECT_EQ(e, 4u);
             SendMessageW(t.Item(kName), EM_SETSEL, 0, -1);
             SendMessageW(t.Item(kName), EM_GETSEL, reinterpret_cast<WPARAM>(&s),
                          reinterpret_cast<LPARAM>(&e));
             EXPECT_EQ(e, 5u);
             SendMessageW(t.Item(kName), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"X"));
         },
         {"WM_COMMAND 1001 EN_UPDATE", "WM_COMMAND 1001 EN_CHANGE"},
         text(kName, u"X")},
    };
    RunCases(*this, cases);
    BOOL ok = FALSE;
    SetDlgItemInt(dialog, kNumber, 4711, FALSE);
    EXPECT_EQ(GetDlgItemInt(dialog, kNumber, &ok, FALSE), 4711u);
    EXPECT_TRUE(ok);
    SetDlgItemTextW(dialog, kName, u"12x");
    GetDlgItemInt(dialog, kName, &ok, TRUE);
    EXPECT_FALSE(ok);
    // The clipboard's block goes back with its contents.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

TEST_F(Controls, Buttons) {
    auto checks = [](UINT a, UINT b, UINT c) {
        return [=](Controls& t) {
            EXPECT_EQ(IsDlgButtonChecked(t.dialog, kRadio1), a);
            EXPECT_EQ(IsDlgButtonChecked(t.dialog, kRadio2), b);
            EXPECT_EQ(IsDlgButtonChecked(t.dialog, kRadio3), c);
        };
    };
    std::vector<Case> cases = {
        {"person checks the box",
         [](Controls& t) { drv::Click(t.Item(kCheck)); },
         {"WM_COMMAND 1010 BN_CLICKED"},
         [](Controls& t) { EXPECT_EQ(IsDlgButtonChecked(t.dialog, kCheck), BST_CHECKED); }},
        {"program unchecks it silently",
         [](Controls& t) { CheckDlgButton(t.dialog, kCheck, BST_UNCHECKED); },
         {},
         [](Controls& t) { EXPECT_EQ(IsDlgButtonChecked(t.dialog, kCheck), BST_UNCHECKED); }},
        {"three states in turn",
         [](Controls& t) {
             drv::Click(t.Item(kThree));
             EXPECT_EQ(drv::ReadCheck(t.Item(kThree)), BST_CHECKED);
             drv::Click(t.Item(kThree));
             EXPECT_EQ(drv::ReadCheck(t.Item(kThree)), BST_INDETERMINATE);
             drv::Click(t.Item(kThree));
         },
         {"WM_COMMAND 1011 BN_CLICKED", "WM_COMMAND 1011 BN_CLICKED", "WM_COMMAND 1011 BN_CLICKED"},
         [](Controls& t) { EXPECT_EQ(drv::ReadCheck(t.Item(kThree)), BST_UNCHECKED); }},
        {"program picks a radio button",
         [](Controls& t) { CheckRadioButton(t.dialog, kRadio1, kRadio3, kRadio1); },
         {},
         checks(1, 0, 0)},
        {"person picks another in the group",
         [](Controls& t) { drv::Click(t.Item(kRadio3)); },
         {"WM_COMMAND 1014 BN_CLICKED"},
         checks(0, 0, 1)},
        {"push button",
         [](Controls& t) { EXPECT_TRUE(drv::Click(t.Item(kPush))); },
         {"WM_COMMAND 1015 BN_CLICKED"},
         nullptr},
        {"disabled button cannot be clicked",
         [](Controls& t) { EXPECT_FALSE(drv::Click(t.Item(kDisabled))); },
         {},
         nullptr},
        {"a program's BM_CLICK notifies like a person's",
         [](Controls& t) { SendMessageW(t.Item(kPush), BM_CLICK, 0, 0); },
         {"WM_COMMAND 1015 BN_CLICKED"},
         nullptr},
        {"static with SS_NOTIFY",
         [](Controls& t) { drv::Click(t.Item(kStaticNotify)); },
         {"WM_COMMAND 1040 STN_CLICKED"},
         nullptr},
    };
    RunCases(*this, cases);
    // The group of radio buttons ends at the next WS_GROUP item.
    EXPECT_EQ(GetNextDlgGroupItem(dialog, Item(kRadio3), FALSE), Item(kRadio1));
    EXPECT_EQ(GetNextDlgGroupItem(dialog, Item(kRadio1), TRUE), Item(kRadio3));
}

TEST_F(Controls, ListAndComboBoxes) {
    auto fill = [](HWND h, UINT add, std::initializer_list<const char16_t*> items) {
        for (auto* s : items)
            SendMessageW(h, add, 0, reinterpret_cast<LPARAM>(s));
    };
    std::vector<Case> cases = {
        {"items with data",
         [&](Controls& t) {
             fill(t.Item(kList), LB_ADDSTRING, {u"Letter", u"A4", u"Legal"});
             SendMessageW(t.Item(kList), LB_SETITEMDATA, 1, 9);
         },
         {},
         [](Controls& t) {
             EXPECT_EQ(SendMessageW(t.Item(kList), LB_GETCOUNT, 0, 0), 3);
             EXPECT_EQ(SendMessageW(t.Item(kList), LB_GETITEMDATA, 1, 0), 9);
             EXPECT_EQ(SendMessageW(t.Item(kList), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(u"legal")),
                       2);
             EXPECT_EQ(SendMessageW(t.Item(kList), LB_GETITEMDATA, 7, 0), LB_ERR);
         }},
        {"program selects: no notification",
         [](Controls& t) { SendMessageW(t.Item(kList), LB_SETCURSEL, 2, 0); },
         {},
         [](Controls& t) { EXPECT_EQ(drv::ReadSelection(t.Item(kList)), 2); }},
        {"person selects: LBN_SELCHANGE",
         [](Controls& t) { drv::SelectItem(t.Item(kList), 0); },
         {"WM_COMMAND 1020 LBN_SELCHANGE"},
         [](Controls& t) { EXPECT_EQ(drv::ReadSelection(t.Item(kList)), 0); }},
        {"program selects out of range: none selected",
         [](Controls& t) { EXPECT_EQ(SendMessageW(t.Item(kList), LB_SETCURSEL, 5, 0), LB_ERR); },
         {},
         [](Controls& t) { EXPECT_EQ(drv::ReadSelection(t.Item(kList)), -1); }},
        {"drop-down list: program selects",
         [&](Controls& t) {
             fill(t.Item(kDropList), CB_ADDSTRING, {u"Portrait", u"Landscape"});
             SendMessageW(t.Item(kDropList), CB_SETCURSEL, 1, 0);
         },
         {},
         [](Controls& t) { EXPECT_EQ(drv::ReadText(t.Item(kDropList)), u"Landscape"); }},
        {"drop-down list: person selects",
         [](Controls& t) { drv::SelectItemText(t.Item(kDropList), u"Portrait"); },
         {"WM_COMMAND 1021 CBN_DROPDOWN", "WM_COMMAND 1021 CBN_SELCHANGE",
          "WM_COMMAND 1021 CBN_SELENDOK", "WM_COMMAND 1021 CBN_CLOSEUP"},
         [](Controls& t) {
             EXPECT_EQ(drv::ReadSelection(t.Item(kDropList)), 0);
             EXPECT_EQ(drv::ReadText(t.Item(kDropList)), u"Portrait");
         }},
        {"editable combo: person types",
         [](Controls& t) { drv::TypeText(t.Item(kDropDown), u"Hi"); },
         {"WM_COMMAND 1022 CBN_EDITUPDATE", "WM_COMMAND 1022 CBN_EDITCHANGE",
          "WM_COMMAND 1022 CBN_EDITUPDATE", "WM_COMMAND 1022 CBN_EDITCHANGE"},
         [](Controls& t) { EXPECT_EQ(drv::ReadText(t.Item(kDropDown)), u"Hi"); }},
        {"owner-drawn variable combo measures each item",
         [&](Controls& t) {
             fill(t.Item(kOwnerCombo), CB_ADDSTRING, {u"x", u"y"});
         },
         {"WM_MEASUREITEM 1023 0", "WM_MEASUREITEM 1023 1"},
         [](Controls& t) {
             EXPECT_EQ(SendMessageW(t.Item(kOwnerCombo), CB_GETITEMHEIGHT, 1, 0), 21);
         }},
        {"owner-drawn list without strings keeps data and tells of deletion",
         [](Controls& t) {
             SendMessageW(t.Item(kOwnerList), LB_ADDSTRING, 0, 0x1234);
             SendMessageW(t.Item(kOwnerList), LB_DELETESTRING, 0, 0);
         },
         {"WM_DELETEITEM 1024 0"},
         nullptr},
    };
    RunCases(*this, cases);
}

TEST_F(Controls, CommonControls) {
    HWND track = Item(kTrack), spin = Item(kSpin), tab = Item(kTab);
    SendMessageW(track, TBM_SETRANGE, TRUE, MAKELONG(0, 10));
    SendMessageW(spin, UDM_SETRANGE32, 0, 10);
    TCITEMW item{TCIF_TEXT, 0, 0, const_cast<LPWSTR>(u"First"), 0, -1, 0};
    SendMessageW(tab, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    item.pszText = const_cast<LPWSTR>(u"Second");
    SendMessageW(tab, TCM_INSERTITEMW, 1, reinterpret_cast<LPARAM>(&item));
    std::string deltaPos = "WM_NOTIFY 1032 " + std::to_string(static_cast<int>(UDN_DELTAPOS));
    std::string selChanging = "WM_NOTIFY 1034 " + std::to_string(static_cast<int>(TCN_SELCHANGING));
    std::string selChange = "WM_NOTIFY 1034 " + std::to_string(static_cast<int>(TCN_SELCHANGE));
    std::vector<Case> cases = {
        {"trackbar: program moves it silently, clamped",
         [&](Controls&) { SendMessageW(track, TBM_SETPOS, TRUE, 40); },
         {},
         [&](Controls&) { EXPECT_EQ(drv::ReadPosition(track), 10); }},
        {"trackbar: person drags it",
         [&](Controls&) { drv::MoveSlider(track, 3); },
         {"WM_HSCROLL 1030 5 3", "WM_HSCROLL 1030 4 3", "WM_HSCROLL 1030 8 0"},
         [&](Controls&) { EXPECT_EQ(drv::ReadPosition(track), 3); }},
        {"up-down: the buddy found itself and shows the position",
         [&](Controls&) { SendMessageW(spin, UDM_SETPOS32, 0, 4); },
         {"WM_COMMAND 1031 EN_UPDATE", "WM_COMMAND 1031 EN_CHANGE"}, // the buddy's own change
         [&](Controls& t) {
             EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)),
                       t.Item(kBuddy));
             EXPECT_EQ(drv::ReadText(t.Item(kBuddy)), u"4");
         }},
        {"up-down: person clicks up twice",
         [&](Controls&) { drv::SpinBy(spin, 2); },
         {deltaPos, "WM_COMMAND 1031 EN_UPDATE", "WM_COMMAND 1031 EN_CHANGE", "WM_VSCROLL 1032 4 5",
          "WM_VSCROLL 1032 8 5", deltaPos, "WM_COMMAND 1031 EN_UPDATE", "WM_COMMAND 1031 EN_CHANGE",
          "WM_VSCROLL 1032 4 6", "WM_VSCROLL 1032 8 6"},
         [&](Controls& t) { EXPECT_EQ(drv::ReadText(t.Item(kBuddy)), u"6"); }},
        {"up-down: typed buddy text is the position",
         [&](Controls& t) {
             SetDlgItemTextW(t.dialog, kBuddy, u"9");
             t.log.Clear();
         },
         {},
         [&](Controls&) { EXPECT_EQ(drv::ReadPosition(spin), 9); }},
        {"tab: program selects silently",
         [&](Controls&) { SendMessageW(tab, TCM_SETCURSEL, 1, 0); },
         {},
         [&](Controls&) { EXPECT_EQ(drv::ReadSelection(tab), 1); }},
        {"tab: person selects",
         [&](Controls&) { drv::SelectTab(tab, 0); },
         {selChanging, selChange},
         [&](Controls&) { EXPECT_EQ(drv::ReadSelection(tab), 0); }},
        {"scroll bar: the owner moves it",
         [&](Controls& t) { drv::ScrollTo(t.Item(kScroll), 30); },
         {"WM_HSCROLL 1033 5 30", "WM_HSCROLL 1033 4 30", "WM_HSCROLL 1033 8 0"},
         [&](Controls& t) { EXPECT_EQ(drv::ReadPosition(t.Item(kScroll)), 0); }},
    };
    RunCases(*this, cases);
}

TEST_F(Controls, KeyboardAndTabOrder) {
    // Tab stops in template order, wrapping; disabled and hidden ones skipped.
    EXPECT_EQ(GetNextDlgTabItem(dialog, Item(kName), FALSE), Item(kNumber));
    EXPECT_EQ(GetNextDlgTabItem(dialog, Item(kNumber), FALSE), Item(kCheck));
    EXPECT_EQ(GetNextDlgTabItem(dialog, Item(kName), TRUE), Item(kDropList));
    ShowWindow(Item(kNumber), SW_HIDE);
    EXPECT_EQ(GetNextDlgTabItem(dialog, Item(kName), FALSE), Item(kCheck));
    // Return presses the default button (IDOK here, which the dialog lacks).
    MSG m{Item(kName), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    log.Clear();
    EXPECT_TRUE(IsDialogMessageW(dialog, &m));
    EXPECT_EQ(Join(Take()), "WM_COMMAND 1 0\n");
}

} // namespace
