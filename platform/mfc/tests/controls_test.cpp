// The control wrappers on a dialog worked by the headless driver: what each
// wrapper sends reaches the control (read back as a person sees it), what a
// person does comes back through the wrapper, and owner drawing and scroll
// requests sent to the parent reach the control's own object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxcmn.h"
#include "afxdlgs.h"
#include "platform/gdi_ctl.h"
#include "user_fixture.h"

namespace {

namespace driver = platform::user::driver;

enum : int {
    kEdit = 101,
    kCheck,
    kList,
    kCombo,
    kScroll,
    kSlider,
    kSpin,
    kTab,
    kLabel,
    kOwnerList,
    kBuddy,
};

std::vector<BYTE> ControlsTemplate() {
    user_test::TemplateBuilder b;
    b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 260, 200, u"Controls")
        .Item(0x81, nullptr, ES_AUTOHSCROLL | WS_TABSTOP, 7, 7, 100, 14, kEdit, u"")
        .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 25, 60, 10, kCheck, u"Check")
        .Item(0x83, nullptr, LBS_NOTIFY | WS_TABSTOP, 7, 40, 80, 50, kList, u"")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | WS_TABSTOP, 100, 40, 80, 60, kCombo, u"")
        .Item(0x84, nullptr, SBS_VERT, 190, 7, 10, 80, kScroll, u"")
        .Item(0, TRACKBAR_CLASSW, TBS_HORZ | WS_TABSTOP, 7, 100, 100, 15, kSlider, u"")
        .Item(0x81, nullptr, ES_NUMBER | WS_TABSTOP, 120, 100, 30, 14, kBuddy, u"")
        .Item(0, UPDOWN_CLASSW, UDS_SETBUDDYINT | UDS_ALIGNRIGHT, 150, 100, 10, 14, kSpin, u"")
        .Item(0, WC_TABCONTROLW, WS_TABSTOP, 7, 120, 150, 30, kTab, u"")
        .Item(0x82, nullptr, SS_LEFT, 7, 160, 80, 10, kLabel, u"Label")
        .Item(0x83, nullptr, LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 170, 100, 80, 50, kOwnerList,
              u"");
    return b.Bytes();
}

std::vector<std::string> gLog;

// An owner-drawn list box that logs what reaches it.
class COwnerList : public CListBox {
  public:
    void DrawItem(LPDRAWITEMSTRUCT item) override {
        gLog.push_back("DrawItem " + std::to_string(item->itemID));
    }
    void MeasureItem(LPMEASUREITEMSTRUCT item) override {
        item->itemHeight = 17;
        gLog.push_back("MeasureItem");
    }
};

// A scroll bar that takes its parent's scroll requests itself.
class CLoggingScroll : public CScrollBar {
  protected:
    void VScroll(UINT code, UINT thumb) {
        gLog.push_back("VScroll " + std::to_string(code) + " " + std::to_string(thumb));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CLoggingScroll, CScrollBar)
ON_WM_VSCROLL_REFLECT()
END_MESSAGE_MAP()

class CControlsDialog : public CDialog {
  public:
    CEdit edit;
    CButton check;
    CListBox list;
    CComboBox combo;
    CLoggingScroll scroll;
    CSliderCtrl slider;
    CSpinButtonCtrl spin;
    CTabCtrl tab;
    CStatic label;
    COwnerList owner;

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kEdit, edit);
        DDX_Control(dx, kCheck, check);
        DDX_Control(dx, kList, list);
        DDX_Control(dx, kCombo, combo);
        DDX_Control(dx, kScroll, scroll);
        DDX_Control(dx, kSlider, slider);
        DDX_Control(dx, kSpin, spin);
        DDX_Control(dx, kTab, tab);
        DDX_Control(dx, kLabel, label);
        DDX_Control(dx, kOwnerList, owner);
    }
};

class ControlsTest : public user_test::UserTest {
  protected:
    void SetUp() override {
        gLog.clear();
        bytes_ = ControlsTemplate();
        ASSERT_TRUE(dlg.CreateIndirect(reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data())));
    }
    void TearDown() override {
        dlg.DestroyWindow();
        CWnd::DeleteTempMap();
        UserTest::TearDown();
    }
    HWND Item(int id) const { return ::GetDlgItem(dlg.m_hWnd, id); }
    std::vector<BYTE> bytes_;
    CControlsDialog dlg;
};

TEST_F(ControlsTest, EveryWrapperIsBoundToItsControl) {
    const std::pair<CWnd*, int> bound[] = {
        {&dlg.edit, kEdit},     {&dlg.check, kCheck},    {&dlg.list, kList}, {&dlg.combo, kCombo},
        {&dlg.scroll, kScroll}, {&dlg.slider, kSlider},  {&dlg.spin, kSpin}, {&dlg.tab, kTab},
        {&dlg.label, kLabel},   {&dlg.owner, kOwnerList}};
    for (const auto& [wrapper, id] : bound) {
        SCOPED_TRACE(id);
        EXPECT_EQ(wrapper->m_hWnd, Item(id));
        EXPECT_EQ(CWnd::FromHandlePermanent(Item(id)), wrapper);
    }
}

TEST_F(ControlsTest, EditAndButtonAnswerWhatWasSet) {
    dlg.edit.SetWindowText(u"Größe 12");
    dlg.edit.SetSel(2, 5);
    int start = 0, end = 0;
    dlg.edit.GetSel(start, end);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(end, 5);
    dlg.edit.ReplaceSel(u"XY");
    EXPECT_EQ(driver::ReadText(Item(kEdit)), u"GrXY 12");
    dlg.edit.SetLimitText(4);
    EXPECT_EQ(dlg.edit.GetLimitText(), 4u);
    dlg.edit.SetModify(FALSE);
    EXPECT_FALSE(dlg.edit.GetModify());
    driver::TypeText(Item(kEdit), u"ab");
    EXPECT_TRUE(dlg.edit.GetModify());

    dlg.check.SetCheck(BST_CHECKED);
    EXPECT_EQ(driver::ReadCheck(Item(kCheck)), static_cast<UINT>(BST_CHECKED));
    driver::Click(Item(kCheck));
    EXPECT_EQ(dlg.check.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dlg.check.GetButtonStyle() & 0xF, static_cast<UINT>(BS_AUTOCHECKBOX));

    CString text;
    dlg.label.GetWindowText(text);
    EXPECT_EQ(text, u"Label");
}

TEST_F(ControlsTest, ListAndComboItems) {
    const char16_t* items[] = {u"A4", u"Letter", u"封筒", u""};
    for (const auto* s : items) {
        dlg.list.AddString(s);
        dlg.combo.AddString(s);
    }
    EXPECT_EQ(dlg.list.GetCount(), 4);
    EXPECT_EQ(dlg.combo.GetCount(), 4);
    struct Case {
        int index;
        int wantLength;
        const char16_t* wantText;
    } cases[] = {{0, 2, u"A4"}, {2, 2, u"封筒"}, {3, 0, u""}, {4, LB_ERR, u""}, {-1, LB_ERR, u""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        CString a = u"stale", b = u"stale";
        EXPECT_EQ(dlg.list.GetText(c.index, a), c.wantLength);
        EXPECT_EQ(a, c.wantText);
        EXPECT_EQ(dlg.combo.GetLBText(c.index, b), c.wantLength);
        EXPECT_EQ(b, c.wantText);
    }
    EXPECT_EQ(dlg.list.SetItemData(1, 4711), 0);
    EXPECT_EQ(dlg.list.GetItemData(1), 4711u);
    EXPECT_EQ(dlg.combo.FindStringExact(-1, u"letter"), 1);
    EXPECT_EQ(dlg.list.FindString(-1, u"Let"), 1);

    // Set by the program: no notification; chosen by a person: the wrapper sees it.
    dlg.combo.SetCurSel(2);
    EXPECT_EQ(driver::ReadSelection(Item(kCombo)), 2);
    driver::SelectItem(Item(kList), 1);
    EXPECT_EQ(dlg.list.GetCurSel(), 1);
    dlg.list.DeleteString(1);
    EXPECT_EQ(dlg.list.GetCount(), 3);
    dlg.combo.ResetContent();
    EXPECT_EQ(dlg.combo.GetCurSel(), CB_ERR);
}

TEST_F(ControlsTest, RangesAndPositions) {
    dlg.slider.SetRange(-10, 40);
    dlg.slider.SetPos(25);
    EXPECT_EQ(dlg.slider.GetRangeMin(), -10);
    EXPECT_EQ(dlg.slider.GetRangeMax(), 40);
    EXPECT_EQ(driver::ReadPosition(Item(kSlider)), 25);
    driver::MoveSlider(Item(kSlider), 30);
    EXPECT_EQ(dlg.slider.GetPos(), 30);
    dlg.slider.SetPos(99); // kept within the range
    EXPECT_EQ(dlg.slider.GetPos(), 40);

    CWnd* buddy = CWnd::FromHandle(Item(kBuddy));
    dlg.spin.SetBuddy(buddy);
    EXPECT_EQ(dlg.spin.GetBuddy()->m_hWnd, Item(kBuddy));
    dlg.spin.SetRange32(1, 999);
    int lower = 0, upper = 0;
    dlg.spin.GetRange32(lower, upper);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 999);
    dlg.spin.SetPos32(5);
    EXPECT_EQ(driver::ReadText(Item(kBuddy)), u"5");
    driver::SpinBy(Item(kSpin), 3);
    BOOL error = TRUE;
    EXPECT_EQ(dlg.spin.GetPos32(&error), 8);
    EXPECT_FALSE(error);

    dlg.scroll.SetScrollRange(-50, 50, FALSE);
    dlg.scroll.SetScrollPos(-20);
    int minPos = 0, maxPos = 0;
    dlg.scroll.GetScrollRange(&minPos, &maxPos);
    EXPECT_EQ(minPos, -50);
    EXPECT_EQ(maxPos, 50);
    EXPECT_EQ(driver::ReadPosition(Item(kScroll)), -20);
    SCROLLINFO info{};
    info.fMask = SIF_PAGE;
    info.nPage = 10;
    dlg.scroll.SetScrollInfo(&info);
    EXPECT_EQ(dlg.scroll.GetScrollLimit(), 41);
}

TEST_F(ControlsTest, TabsAndTooltips) {
    EXPECT_EQ(dlg.tab.InsertItem(0, u"Paper"), 0);
    EXPECT_EQ(dlg.tab.InsertItem(1, u"Finishing"), 1);
    EXPECT_EQ(dlg.tab.GetItemCount(), 2);
    EXPECT_EQ(dlg.tab.GetItemText(1), u"Finishing");
    EXPECT_EQ(dlg.tab.GetItemText(7), u"");
    driver::SelectTab(Item(kTab), 1);
    EXPECT_EQ(dlg.tab.GetCurSel(), 1);
    dlg.tab.DeleteAllItems();
    EXPECT_EQ(dlg.tab.GetItemCount(), 0);

    CToolTipCtrl tip;
    ASSERT_TRUE(tip.Create(&dlg));
    EXPECT_TRUE(tip.AddTool(&dlg.check, u"Turns it on"));
    EXPECT_EQ(tip.GetToolCount(), 1);
    tip.UpdateTipText(u"Turns it off", &dlg.check);
    CString text;
    tip.GetText(text, &dlg.check);
    EXPECT_EQ(text, u"Turns it off");
    tip.DelTool(&dlg.check);
    EXPECT_EQ(tip.GetToolCount(), 0);
    EXPECT_TRUE(tip.DestroyWindow());
}

TEST_F(ControlsTest, ParentHandsOwnerDrawingAndScrollingToTheControl) {
    dlg.owner.AddString(u"one");
    MEASUREITEMSTRUCT measure{ODT_LISTBOX, static_cast<UINT>(kOwnerList), 0, 0, 0, 0};
    EXPECT_EQ(dlg.SendMessage(WM_MEASUREITEM, kOwnerList, reinterpret_cast<LPARAM>(&measure)),
              TRUE);
    EXPECT_EQ(measure.itemHeight, 17u);
    DRAWITEMSTRUCT draw{ODT_LISTBOX,
                        static_cast<UINT>(kOwnerList),
                        0,
                        ODA_DRAWENTIRE,
                        0,
                        Item(kOwnerList),
                        nullptr,
                        {0, 0, 80, 17},
                        0};
    EXPECT_EQ(dlg.SendMessage(WM_DRAWITEM, kOwnerList, reinterpret_cast<LPARAM>(&draw)), TRUE);
    // A menu's drawing is not a control's.
    draw.CtlType = ODT_MENU;
    dlg.SendMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));

    dlg.scroll.SetScrollRange(0, 20, FALSE);
    driver::ScrollTo(Item(kScroll), 7);
    ASSERT_GE(gLog.size(), 3u);
    EXPECT_EQ(gLog[0], "MeasureItem");
    EXPECT_EQ(gLog[1], "DrawItem 0");
    EXPECT_EQ(gLog[2].rfind("VScroll ", 0), 0u);
    EXPECT_NE(std::find(gLog.begin(), gLog.end(), "VScroll 4 7"), gLog.end());
}

TEST(CreatedControls, CreateMakesAndOwnsTheWindow) {
    CWnd parent;
    ASSERT_TRUE(
        parent.CreateEx(0, u"STATIC", u"parent", WS_POPUP, CRect(0, 0, 200, 100), nullptr, 0));
    {
        CButton button;
        ASSERT_TRUE(button.Create(u"Press", BS_PUSHBUTTON | WS_CHILD | WS_VISIBLE,
                                  CRect(5, 5, 60, 25), &parent, 42));
        EXPECT_EQ(::GetDlgItem(parent.m_hWnd, 42), button.m_hWnd);
        EXPECT_EQ(driver::ReadText(button.m_hWnd), u"Press");
        CEdit edit;
        ASSERT_TRUE(edit.Create(WS_CHILD, CRect(5, 30, 60, 45), &parent, 43));
        EXPECT_FALSE(edit.Create(WS_CHILD, CRect(5, 30, 60, 45), &parent, 44)); // has one
    } // the wrappers take their windows with them
    EXPECT_EQ(::GetDlgItem(parent.m_hWnd, 42), nullptr);
    EXPECT_EQ(::GetDlgItem(parent.m_hWnd, 43), nullptr);
    EXPECT_TRUE(parent.DestroyWindow());
    EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
}

} // namespace
