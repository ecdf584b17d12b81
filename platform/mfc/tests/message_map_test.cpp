// Window objects: the handle maps, and message-map dispatch, table-driven
// (which entry a message reaches, what its handler gets and returns, and
// what falls through to the window's own procedure), plus data exchange.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxwin.h"
#include "user_fixture.h"

namespace {

std::vector<std::string> gLog;

// A WM_COMMAND's word pair: id low, notification code high.
constexpr WPARAM Cmd(int id, int code) {
    return static_cast<WPARAM>(static_cast<WORD>(id)) | static_cast<WPARAM>(static_cast<WORD>(code))
                                                            << 16;
}

void Log(std::string line) {
    gLog.push_back(std::move(line));
}

// The window's own procedure: what it gets is what no entry handled.
LRESULT CALLBACK HostProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_APP) Log("host " + std::to_string(msg - WM_APP));
    if (msg == WM_COMMAND) Log("host command " + std::to_string(LOWORD(wp)));
    return DefWindowProcW(h, msg, wp, lp);
}

constexpr int kEdit = 1001, kCombo = 1002, kCheck = 1003, kRadio1 = 1010, kRadio3 = 1012;
constexpr int kList = 1020;
constexpr UINT kPrivate = WM_APP + 1, kUnhandled = WM_APP + 2;
constexpr UINT kListCode = static_cast<UINT>(-101);

class CProbeWnd : public CWnd {
  public:
    void OnOK() { Log("OnOK"); }
    void OnEditChange() { Log("OnEditChange"); }
    void OnEditKillFocus() { Log("OnEditKillFocus"); }
    void OnComboChange() { Log("OnComboChange"); }
    void OnRadio(UINT id) { Log("OnRadio " + std::to_string(id)); }
    void OnMenu(UINT id) { Log("OnMenu " + std::to_string(id)); }
    void OnListNotify(NMHDR* n, LRESULT* result) {
        Log("OnListNotify " + std::to_string(n->idFrom));
        *result = 77;
    }
    LRESULT OnPrivate(WPARAM wp, LPARAM lp) {
        Log("OnPrivate");
        return static_cast<LRESULT>(wp) + lp;
    }
    void OnTimer(UINT_PTR id) { Log("OnTimer " + std::to_string(id)); }
    void OnSize(UINT type, int cx, int cy) {
        Log("OnSize " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }
    // Handles the message and passes it on as well.
    void OnShowWindow(BOOL show, UINT) {
        Log(show ? "OnShowWindow on" : "OnShowWindow off");
        Default();
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
ON_BN_CLICKED(IDOK, OnOK)
ON_EN_CHANGE(kEdit, OnEditChange)
ON_EN_KILLFOCUS(kEdit, OnEditKillFocus)
ON_CBN_SELCHANGE(kCombo, OnComboChange)
ON_CONTROL_RANGE(BN_CLICKED, kRadio1, kRadio3, OnRadio)
ON_COMMAND_RANGE(100, 110, OnMenu)
ON_NOTIFY(kListCode, kList, OnListNotify)
ON_MESSAGE(kPrivate, OnPrivate)
ON_WM_TIMER()
ON_WM_SIZE()
ON_WM_SHOWWINDOW()
END_MESSAGE_MAP()

// A derived map: its own entries come first, the base's still answer the rest.
class CDerivedWnd : public CProbeWnd {
  public:
    void OnOKDerived() { Log("OnOKDerived"); }
    void OnCancel() { Log("OnCancel"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CProbeWnd)
ON_BN_CLICKED(IDOK, OnOKDerived)
ON_BN_CLICKED(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

class MessageMapTest : public user_test::UserTest {
  protected:
    void SetUp() override {
        gLog.clear();
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = HostProc;
        wc.lpszClassName = u"MfcHost";
        ASSERT_NE(RegisterClassExW(&wc), 0);
        host = CreateWindowExW(0, u"MfcHost", u"Host", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0,
                               300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        if (IsWindow(host)) DestroyWindow(host);
        CWnd::DeleteTempMap();
        EXPECT_TRUE(UnregisterClassW(u"MfcHost", nullptr));
        UserTest::TearDown();
    }
    HWND Child(LPCWSTR cls, DWORD style, int id) {
        return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 20, host,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    HWND host = nullptr;
};

struct DispatchCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<std::string> log; // what the object and the host procedure saw
    LRESULT result;
};

TEST_F(MessageMapTest, DispatchTable) {
    NMHDR listNotify{nullptr, static_cast<UINT_PTR>(kList), kListCode};
    NMHDR otherNotify{nullptr, static_cast<UINT_PTR>(kList + 1), kListCode};
    const DispatchCase cases[] = {
        {"button click", WM_COMMAND, Cmd(IDOK, BN_CLICKED), 0, {"OnOK"}, 0},
        {"edit change", WM_COMMAND, Cmd(kEdit, EN_CHANGE), 0, {"OnEditChange"}, 0},
        {"edit kill focus", WM_COMMAND, Cmd(kEdit, EN_KILLFOCUS), 0, {"OnEditKillFocus"}, 0},
        {"other code of a mapped id",
         WM_COMMAND,
         Cmd(kEdit, EN_SETFOCUS),
         0,
         {"host command 1001"},
         0},
        {"combo selection", WM_COMMAND, Cmd(kCombo, CBN_SELCHANGE), 0, {"OnComboChange"}, 0},
        {"control range first", WM_COMMAND, Cmd(kRadio1, BN_CLICKED), 0, {"OnRadio 1010"}, 0},
        {"control range last", WM_COMMAND, Cmd(kRadio3, BN_CLICKED), 0, {"OnRadio 1012"}, 0},
        {"past the control range",
         WM_COMMAND,
         Cmd(kRadio3 + 1, BN_CLICKED),
         0,
         {"host command 1013"},
         0},
        {"command range", WM_COMMAND, Cmd(105, 0), 0, {"OnMenu 105"}, 0},
        {"notify",
         WM_NOTIFY,
         kList,
         reinterpret_cast<LPARAM>(&listNotify),
         {"OnListNotify 1020"},
         77},
        {"notify of another id",
         WM_NOTIFY,
         kList + 1,
         reinterpret_cast<LPARAM>(&otherNotify),
         {},
         0},
        {"notify without a header", WM_NOTIFY, kList, 0, {}, 0},
        {"registered message", kPrivate, 40, 2, {"OnPrivate"}, 42},
        {"unmapped message", kUnhandled, 0, 0, {"host 2"}, 0},
        {"timer", WM_TIMER, 9, 0, {"OnTimer 9"}, 0},
        {"size", WM_SIZE, 0, static_cast<LPARAM>(Cmd(120, 80)), {"OnSize 0 120x80"}, 0},
        {"handler passing on", WM_SHOWWINDOW, TRUE, 0, {"OnShowWindow on"}, 0},
    };
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(host));
    for (const auto& c : cases) {
        gLog.clear();
        LRESULT r = SendMessageW(host, c.message, c.wParam, c.lParam);
        EXPECT_EQ(gLog, c.log) << c.name;
        EXPECT_EQ(r, c.result) << c.name;
    }
    EXPECT_EQ(wnd.UnsubclassWindow(), host);
    gLog.clear();
    SendMessageW(host, WM_COMMAND, Cmd(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(gLog, std::vector<std::string>{"host command 1"});
}

TEST_F(MessageMapTest, DerivedEntriesComeFirst) {
    const std::pair<WPARAM, const char*> cases[] = {
        {Cmd(IDOK, BN_CLICKED), "OnOKDerived"},
        {Cmd(IDCANCEL, BN_CLICKED), "OnCancel"},
        {Cmd(kCombo, CBN_SELCHANGE), "OnComboChange"},
    };
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(host));
    for (const auto& [wp, handler] : cases) {
        gLog.clear();
        SendMessageW(host, WM_COMMAND, wp, 0);
        EXPECT_EQ(gLog, std::vector<std::string>{handler});
    }
    wnd.UnsubclassWindow();
}

TEST_F(MessageMapTest, PersonsActionsReachTheMap) {
    HWND ok = Child(u"Button", BS_PUSHBUTTON, IDOK);
    HWND edit = Child(u"Edit", ES_AUTOHSCROLL, kEdit);
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(host));
    ASSERT_TRUE(platform::user::driver::Click(ok));
    EXPECT_EQ(gLog, std::vector<std::string>{"OnOK"});
    gLog.clear();
    ASSERT_TRUE(platform::user::driver::TypeText(edit, u"ab"));
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "OnEditChange"), 2);
    wnd.UnsubclassWindow();
}

TEST_F(MessageMapTest, HandleMaps) {
    HWND edit = Child(u"Edit", 0, kEdit);
    CWnd* temp = CWnd::FromHandle(edit);
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->m_hWnd, edit);
    EXPECT_EQ(CWnd::FromHandle(edit), temp); // the same temporary until the map is emptied
    EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);

    CWnd hostWnd;
    ASSERT_TRUE(hostWnd.Attach(host));
    EXPECT_FALSE(CWnd().Attach(host)); // a window has one permanent object
    EXPECT_EQ(CWnd::FromHandle(host), &hostWnd);
    EXPECT_EQ(hostWnd.GetDlgItem(kEdit), temp);
    EXPECT_EQ(hostWnd.GetDlgItem(4711), nullptr);
    EXPECT_EQ(temp->GetParent(), &hostWnd);

    hostWnd.SetDlgItemText(kEdit, u"Größe");
    CString text;
    EXPECT_EQ(hostWnd.GetDlgItemText(kEdit, text), 5);
    EXPECT_EQ(text, u"Größe");
    temp->EnableWindow(FALSE);
    EXPECT_FALSE(IsWindowEnabled(edit));
    temp->ShowWindow(SW_HIDE);
    EXPECT_FALSE(temp->IsWindowVisible());

    EXPECT_EQ(hostWnd.Detach(), host);
    EXPECT_EQ(CWnd::FromHandlePermanent(host), nullptr);
    CWnd::DeleteTempMap();
    EXPECT_TRUE(IsWindow(edit)); // temporaries never own their windows
}

// A window object that deletes itself when its window goes.
class CSelfDeleting : public CWnd {
  public:
    explicit CSelfDeleting(bool* gone) : gone_(gone) {}
    ~CSelfDeleting() override { *gone_ = true; }

  protected:
    void PostNcDestroy() override { delete this; }

  private:
    bool* gone_;
};

TEST_F(MessageMapTest, DestroyingTheWindowLetsTheObjectGo) {
    bool gone = false;
    auto* wnd = new CSelfDeleting(&gone);
    ASSERT_TRUE(wnd->SubclassWindow(host));
    DestroyWindow(host);
    EXPECT_TRUE(gone);
    EXPECT_EQ(CWnd::FromHandlePermanent(host), nullptr);

    // An object that still owns its window takes it along.
    HWND other = CreateWindowExW(0, u"MfcHost", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    {
        CProbeWnd owner;
        ASSERT_TRUE(owner.SubclassWindow(other));
    }
    EXPECT_FALSE(IsWindow(other));
}

class CExchangeWnd : public CWnd {
  public:
    CString name = u"Letter";
    int copies = 3;
    int duplex = BST_CHECKED;
    int paper = 1;

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, kEdit, name);
        DDX_Text(dx, kEdit + 100, copies);
        DDV_MinMaxInt(dx, copies, 1, 999);
        DDX_Check(dx, kCheck, duplex);
        DDX_CBIndex(dx, kCombo, paper);
    }
};

TEST_F(MessageMapTest, UpdateDataMovesValuesBothWays) {
    HWND edit = Child(u"Edit", 0, kEdit);
    HWND number = Child(u"Edit", 0, kEdit + 100);
    HWND check = Child(u"Button", BS_AUTOCHECKBOX, kCheck);
    HWND combo = Child(u"ComboBox", CBS_DROPDOWNLIST, kCombo);
    for (LPCWSTR item : {u"A4", u"Letter", u"Legal"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    CExchangeWnd wnd;
    ASSERT_TRUE(wnd.Attach(host));
    ASSERT_TRUE(wnd.UpdateData(FALSE));
    EXPECT_EQ(platform::user::driver::ReadText(edit), u"Letter");
    EXPECT_EQ(platform::user::driver::ReadText(number), u"3");
    EXPECT_EQ(platform::user::driver::ReadCheck(check), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(platform::user::driver::ReadSelection(combo), 1);

    platform::user::driver::TypeText(edit, u"用紙");
    platform::user::driver::SetCheck(check, BST_UNCHECKED);
    platform::user::driver::SelectItem(combo, 2);
    struct Case {
        const char16_t* copiesText;
        bool ok;
        int copies;
        const char16_t* message; // the message box shown, if any
    } cases[] = {
        {u" 12 ", true, 12, nullptr},
        {u"", false, 3, u"Please enter an integer."},
        {u"12x", false, 3, u"Please enter an integer."},
        {u"99999999999", false, 3, u"Please enter an integer."},
        {u"0", false, 0, u"Enter an integer between 1 and 999."},
    };
    for (const auto& c : cases) {
        wnd.copies = 3;
        wnd.paper = 1;
        SetWindowTextW(number, c.copiesText);
        size_t boxes = platform::user::test::MessageBoxLog().size();
        if (c.message) platform::user::test::AnswerNextMessageBox(IDOK);
        EXPECT_EQ(wnd.UpdateData(TRUE) != 0, c.ok);
        auto log = platform::user::test::MessageBoxLog();
        if (c.message) {
            ASSERT_EQ(log.size(), boxes + 1);
            EXPECT_EQ(log.back().text, c.message);
        } else {
            EXPECT_EQ(log.size(), boxes);
        }
        EXPECT_EQ(wnd.name, u"用紙");
        EXPECT_EQ(wnd.copies, c.copies);
        // A failed exchange stops there: later members keep their values.
        EXPECT_EQ(wnd.paper, c.ok ? 2 : 1);
    }
    EXPECT_EQ(wnd.duplex, BST_UNCHECKED);
    wnd.Detach();
}

class CChoiceWnd : public CWnd {
  public:
    int radio = 1;
    CString paper = u"Legal";
    CString free = u"Custom";

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Radio(dx, kRadio1, radio);
        DDX_CBString(dx, kCombo, paper);
        DDX_CBString(dx, kCombo + 1, free);
    }
};

TEST_F(MessageMapTest, RadioGroupsAndComboTexts) {
    HWND radios[3];
    for (int i = 0; i < 3; ++i)
        radios[i] = Child(u"Button", BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0), kRadio1 + i);
    Child(u"Button", BS_AUTORADIOBUTTON | WS_GROUP, kRadio3 + 1); // the next group
    HWND list = Child(u"ComboBox", CBS_DROPDOWNLIST, kCombo);
    HWND edit = Child(u"ComboBox", CBS_DROPDOWN, kCombo + 1);
    for (HWND combo : {list, edit})
        for (LPCWSTR item : {u"A4", u"Letter", u"Legal"})
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    CChoiceWnd wnd;
    ASSERT_TRUE(wnd.Attach(host));
    ASSERT_TRUE(wnd.UpdateData(FALSE));
    EXPECT_EQ(platform::user::driver::ReadCheck(radios[1]), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(platform::user::driver::ReadSelection(list), 2);
    EXPECT_EQ(platform::user::driver::ReadText(edit), u"Custom"); // not an item: typed text

    platform::user::driver::Click(radios[2]);
    platform::user::driver::SelectItem(list, 0);
    ASSERT_TRUE(wnd.UpdateData(TRUE));
    EXPECT_EQ(wnd.radio, 2);
    EXPECT_EQ(wnd.paper, u"A4");
    EXPECT_EQ(wnd.free, u"Custom");
    wnd.Detach();
}

} // namespace
