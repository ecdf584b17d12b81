// The list view in a dialog from a template: columns, items and subitems,
// sorting, selection, focus and check boxes, and the notifications its
// parent sees from the program's changes and from a person's clicks.
#include <string>

#include "platform/user_ctl.h"
#include "user_fixture.h"
#include "win/strings.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;

constexpr WORD kList = 1212;
constexpr WORD kIcons = 1213;

// What reaches the dialog from its list views, one line per notification.
struct ListLog {
    std::vector<std::string> lines;
    int refuseItem = -1;         // LVN_ITEMCHANGING of this item is refused
    bool quietDeleteAll = false; // answer LVN_DELETEALLITEMS with TRUE
    bool handleRightClick = false;
    std::vector<std::string> contextMenus;
};

std::string Name(UINT code) {
    switch (code) {
    case LVN_ITEMCHANGING:
        return "LVN_ITEMCHANGING";
    case LVN_ITEMCHANGED:
        return "LVN_ITEMCHANGED";
    case LVN_INSERTITEM:
        return "LVN_INSERTITEM";
    case LVN_DELETEITEM:
        return "LVN_DELETEITEM";
    case LVN_DELETEALLITEMS:
        return "LVN_DELETEALLITEMS";
    case LVN_COLUMNCLICK:
        return "LVN_COLUMNCLICK";
    case LVN_ITEMACTIVATE:
        return "LVN_ITEMACTIVATE";
    case NM_CLICK:
        return "NM_CLICK";
    case NM_DBLCLK:
        return "NM_DBLCLK";
    case NM_RCLICK:
        return "NM_RCLICK";
    case NM_SETFOCUS:
        return "NM_SETFOCUS";
    case NM_KILLFOCUS:
        return "NM_KILLFOCUS";
    default:
        return std::to_string(static_cast<int>(code));
    }
}

INT_PTR CALLBACK ListProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(h, DWLP_USER, lp);
        return TRUE;
    }
    auto* log = reinterpret_cast<ListLog*>(GetWindowLongPtrW(h, DWLP_USER));
    if (!log) return FALSE;
    if (msg == WM_CONTEXTMENU) {
        log->contextMenus.push_back(std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(wp))));
        return TRUE;
    }
    if (msg != WM_NOTIFY) return FALSE;
    auto* n = reinterpret_cast<NMHDR*>(lp);
    if (n->idFrom != kList) return FALSE;
    std::string line = Name(n->code);
    LRESULT answer = 0;
    switch (n->code) {
    case LVN_ITEMCHANGING:
    case LVN_ITEMCHANGED:
    case LVN_INSERTITEM:
    case LVN_DELETEITEM:
    case LVN_COLUMNCLICK: {
        auto* v = reinterpret_cast<NMLISTVIEW*>(lp);
        line += " " + std::to_string(v->iItem);
        if (n->code == LVN_COLUMNCLICK)
            line = Name(n->code) + " col " + std::to_string(v->iSubItem);
        if (n->code == LVN_ITEMCHANGING || n->code == LVN_ITEMCHANGED)
            line += " " + std::to_string(v->uOldState) + "->" + std::to_string(v->uNewState);
        if (n->code != LVN_COLUMNCLICK) line += " data " + std::to_string(v->lParam);
        if (n->code == LVN_ITEMCHANGING && v->iItem == log->refuseItem) answer = TRUE;
        break;
    }
    case LVN_DELETEALLITEMS:
        answer = log->quietDeleteAll;
        break;
    case NM_CLICK:
    case NM_DBLCLK:
    case NM_RCLICK:
    case LVN_ITEMACTIVATE: {
        auto* a = reinterpret_cast<NMITEMACTIVATE*>(lp);
        line += " " + std::to_string(a->iItem) + " sub " + std::to_string(a->iSubItem);
        if (n->code == NM_RCLICK) answer = log->handleRightClick;
        break;
    }
    default:
        break;
    }
    log->lines.push_back(line);
    SetWindowLongPtrW(h, DWLP_MSGRESULT, answer);
    return TRUE;
}

std::vector<BYTE> ListTemplate() {
    TemplateBuilder t(true);
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 456, 140, u"Form / Tray")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 5, 120, 50, 14, IDOK, u"OK")
        .Item(0, u"SysListView32",
              LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 13, 19, 430,
              50, kList, u"")
        .Item(0, u"SysListView32", LVS_ICON | LVS_SHAREIMAGELISTS, 13, 75, 430, 40, kIcons, u"");
    return t.Bytes();
}

class ListView : public UserTest {
  protected:
    void SetUp() override {
        bytes = ListTemplate();
        dialog =
            CreateDialogIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.data()),
                                       nullptr, ListProc, reinterpret_cast<LPARAM>(&log));
        ASSERT_NE(dialog, nullptr);
        list = GetDlgItem(dialog, kList);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        if (dialog) DestroyWindow(dialog);
        UserTest::TearDown();
    }
    void AddColumn(int at, const char16_t* text, int width) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.pszText = const_cast<LPWSTR>(text);
        c.cx = width;
        c.iSubItem = at;
        ASSERT_EQ(SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(at),
                               reinterpret_cast<LPARAM>(&c)),
                  at);
    }
    int AddItem(int at, const char16_t* tray, const char16_t* paper, LPARAM data) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = at;
        item.pszText = const_cast<LPWSTR>(tray);
        item.lParam = data;
        int index = static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = const_cast<LPWSTR>(paper);
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&sub));
        return index;
    }
    // The three trays of the Form / Tray page, inserted out of order.
    void Fill() {
        AddColumn(0, u"Tray", 120);
        AddColumn(1, u"Paper Size", 160);
        AddColumn(2, u"Media Type", 120);
        AddItem(0, u"Tray 2", u"A4", 20);
        AddItem(0, u"Tray 1", u"Letter", 10);
        AddItem(5, u"MP Tray", u"Unspecified", 30);
        log.lines.clear();
    }
    std::u16string Text(int index, int sub) {
        WCHAR buf[64] = {};
        LVITEMW item{};
        item.iSubItem = sub;
        item.pszText = buf;
        item.cchTextMax = 64;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
        return buf;
    }
    LPARAM Data(int index) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item.lParam;
    }
    void SetState(int index, UINT state, UINT mask) {
        LVITEMW item{};
        item.state = state;
        item.stateMask = mask;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&item));
    }
    std::vector<BYTE> bytes;
    ListLog log;
    HWND dialog = nullptr;
    HWND list = nullptr;
};

TEST_F(ListView, ItemsAndSubitemsFromTheTemplatesControl) {
    AddColumn(0, u"Tray", 120);
    AddColumn(1, u"Paper Size", 160);
    EXPECT_EQ(AddItem(0, u"Tray 2", u"A4", 20), 0);
    EXPECT_EQ(AddItem(0, u"Tray 1", u"Letter", 10), 0);
    EXPECT_EQ(AddItem(99, u"MP Tray", u"Unspecified", 30), 2); // past the end: appended
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"LVN_INSERTITEM 0 data 20", "LVN_INSERTITEM 0 data 10",
                                        "LVN_INSERTITEM 2 data 30"}));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(Text(0, 0), u"Tray 1");
    EXPECT_EQ(Text(1, 1), u"A4");
    EXPECT_EQ(Text(2, 2), u""); // a subitem never set is empty
    EXPECT_EQ(Data(2), 30);

    // A buffer too small gets what fits, terminated.
    WCHAR small[4] = {1, 1, 1, 1};
    LVITEMW item{};
    item.pszText = small;
    item.cchTextMax = 4;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&item)), 3);
    EXPECT_EQ(std::u16string(small), u"MP ");

    // Columns: read back, widths, order.
    WCHAR name[32] = {};
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = name;
    c.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&c)));
    EXPECT_EQ(std::u16string(name), u"Paper Size");
    EXPECT_EQ(c.cx, 160);
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 5, reinterpret_cast<LPARAM>(&c)));
    EXPECT_TRUE(SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELONG(LVSCW_AUTOSIZE, 0)));
    int autoWidth = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_GT(autoWidth, 20);
    EXPECT_LT(autoWidth, 120);
    int bad[2] = {0, 0};
    EXPECT_FALSE(SendMessageW(list, LVM_SETCOLUMNORDERARRAY, 2, reinterpret_cast<LPARAM>(bad)));

    // Finding by data and by text.
    LVFINDINFOW f{};
    f.flags = LVFI_PARAM;
    f.lParam = 20;
    EXPECT_EQ(
        SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&f)),
        1);
    f.flags = LVFI_STRING | LVFI_PARTIAL;
    f.psz = u"mp";
    EXPECT_EQ(
        SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&f)),
        2);
    f.flags = LVFI_STRING;
    f.psz = u"tray 1";
    EXPECT_EQ(SendMessageW(list, LVM_FINDITEMW, 0, reinterpret_cast<LPARAM>(&f)),
              -1); // after item 0
    f.flags = LVFI_STRING | LVFI_WRAP;
    EXPECT_EQ(SendMessageW(list, LVM_FINDITEMW, 0, reinterpret_cast<LPARAM>(&f)), 0);

    // A subitem has no state or data of its own.
    LVITEMW wrong{};
    wrong.mask = LVIF_PARAM;
    wrong.iItem = 0;
    wrong.iSubItem = 1;
    EXPECT_FALSE(SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&wrong)));
    wrong.iItem = 7;
    wrong.iSubItem = 0;
    EXPECT_FALSE(SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&wrong)));
}

// LVM_SORTITEMS compares item data, LVM_SORTITEMSEX the indexes the items
// had before the sort; selection and mark move with their items.
int CALLBACK ByData(LPARAM a, LPARAM b, LPARAM descending) {
    int c = a < b ? -1 : a > b ? 1 : 0;
    return descending ? -c : c;
}
HWND gSorted = nullptr;
int CALLBACK ByText(LPARAM a, LPARAM b, LPARAM) {
    WCHAR x[32] = {}, y[32] = {};
    LVITEMW item{};
    item.cchTextMax = 32;
    item.pszText = x;
    SendMessageW(gSorted, LVM_GETITEMTEXTW, static_cast<WPARAM>(a),
                 reinterpret_cast<LPARAM>(&item));
    item.pszText = y;
    SendMessageW(gSorted, LVM_GETITEMTEXTW, static_cast<WPARAM>(b),
                 reinterpret_cast<LPARAM>(&item));
    return lstrcmpiW(x, y);
}
// A comparison that contradicts itself.
int CALLBACK Contrary(LPARAM, LPARAM, LPARAM) {
    return 1;
}

TEST_F(ListView, SortingKeepsSelectionWithItsItem) {
    Fill();
    SetState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED); // MP Tray, data 30
    SendMessageW(list, LVM_SETSELECTIONMARK, 0, 2);
    EXPECT_TRUE(SendMessageW(list, LVM_SORTITEMS, TRUE, reinterpret_cast<LPARAM>(&ByData)));
    EXPECT_EQ(Data(0), 30);
    EXPECT_EQ(Data(2), 10);
    EXPECT_EQ(Text(0, 1), u"Unspecified"); // subitems move with their items
    EXPECT_EQ(drv::ReadSelection(list), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 0);
    gSorted = list;
    EXPECT_TRUE(SendMessageW(list, LVM_SORTITEMSEX, 0, reinterpret_cast<LPARAM>(&ByText)));
    EXPECT_EQ(Text(0, 0), u"MP Tray");
    EXPECT_EQ(Text(1, 0), u"Tray 1");
    EXPECT_EQ(Text(2, 0), u"Tray 2");
    EXPECT_TRUE(SendMessageW(list, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(&Contrary)));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_FALSE(SendMessageW(list, LVM_SORTITEMS, 0, 0));
}

TEST_F(ListView, ProgramsSelectionNotifiesAndSingleSelectionMoves) {
    Fill();
    SetState(1, LVIS_SELECTED, LVIS_SELECTED);
    SetState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "LVN_ITEMCHANGING 1 0->2 data 20", "LVN_ITEMCHANGED 1 0->2 data 20",
                             "LVN_ITEMCHANGING 1 2->0 data 20", "LVN_ITEMCHANGED 1 2->0 data 20",
                             "LVN_ITEMCHANGING 2 0->3 data 30", "LVN_ITEMCHANGED 2 0->3 data 30"}));
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 0, LVNI_ALL), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 2, LVNI_ALL), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 2, LVNI_ABOVE), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 2, LVIS_SELECTED), LVIS_SELECTED);

    // Setting a state an item has already sends nothing; a refusal keeps it.
    log.lines.clear();
    SetState(2, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(log.lines.empty());
    log.refuseItem = 0;
    SetState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED), 0);
    // Index -1 clears every item's selection.
    log.refuseItem = -1;
    SetState(-1, 0, LVIS_SELECTED);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
    EXPECT_EQ(drv::ReadSelection(list), -1);
}

TEST_F(ListView, PersonsClicksSelectCheckAndActivate) {
    Fill();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    log.lines.clear();
    ASSERT_TRUE(drv::SelectItem(list, 1));
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "NM_SETFOCUS", "LVN_ITEMCHANGING 1 4096->4099 data 20",
                             "LVN_ITEMCHANGED 1 4096->4099 data 20", "NM_CLICK 1 sub 0"}));
    EXPECT_EQ(drv::ReadSelection(list), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 1);

    // Another item takes selection and focus.
    log.lines.clear();
    ASSERT_TRUE(drv::SelectItem(list, 0));
    EXPECT_EQ(log.lines.back(), "NM_CLICK 0 sub 0");
    EXPECT_EQ(drv::ReadSelection(list), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 0);

    // The check box toggles the check and leaves the selection.
    log.lines.clear();
    EXPECT_FALSE(drv::ReadItemCheck(list, 2));
    ASSERT_TRUE(drv::CheckItem(list, 2, true));
    EXPECT_TRUE(drv::ReadItemCheck(list, 2));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"LVN_ITEMCHANGING 2 4096->8192 data 30",
                                                   "LVN_ITEMCHANGED 2 4096->8192 data 30",
                                                   "NM_CLICK 2 sub 0"}));
    EXPECT_EQ(drv::ReadSelection(list), 0);
    EXPECT_TRUE(drv::CheckItem(list, 2, true)); // already checked: no click
    EXPECT_TRUE(drv::CheckItem(list, 2, false));
    EXPECT_FALSE(drv::ReadItemCheck(list, 2));

    // A double click activates; a header click asks for sorting.
    log.lines.clear();
    ASSERT_TRUE(drv::DoubleClickItem(list, 1));
    EXPECT_EQ(log.lines.back(), "LVN_ITEMACTIVATE 1 sub 0");
    EXPECT_EQ(log.lines[log.lines.size() - 2], "NM_DBLCLK 1 sub 0");
    log.lines.clear();
    ASSERT_TRUE(drv::ClickColumn(list, 2));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"LVN_COLUMNCLICK col 2"}));
    EXPECT_FALSE(drv::ClickColumn(list, 3));
    EXPECT_FALSE(drv::SelectItem(list, 3));

    // Focus leaving the list tells the parent.
    log.lines.clear();
    SetFocus(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"NM_KILLFOCUS"}));

    EXPECT_NE(drv::Snapshot(dialog).find("SysListView32 #1212 \"\" items=3 sel=1 checked=none"),
              std::string::npos)
        << drv::Snapshot(dialog);
}

TEST_F(ListView, HitTestAndRectanglesAgree) {
    Fill();
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r)));
    EXPECT_EQ(r.right - r.left, 400); // the three columns
    LVHITTESTINFO hit{};
    hit.pt = {r.left + 5, (r.top + r.bottom) / 2};
    EXPECT_EQ(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 1);
    EXPECT_EQ(hit.flags, static_cast<UINT>(LVHT_ONITEMLABEL));
    RECT sub{0, 2, 0, 0};
    ASSERT_TRUE(SendMessageW(list, LVM_GETSUBITEMRECT, 1, reinterpret_cast<LPARAM>(&sub)));
    EXPECT_EQ(sub.left, 280);
    hit.pt = {sub.left + 3, sub.top + 3};
    EXPECT_EQ(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 1);
    EXPECT_EQ(hit.iSubItem, 2);
    hit.pt = {5, 5}; // the header
    EXPECT_EQ(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), -1);
    hit.pt = {5, r.bottom + 40};
    EXPECT_EQ(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), -1);
    // Clicking beside the items takes the selection away.
    SetState(0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageW(list, WM_LBUTTONDOWN, 0, MAKELONG(5, static_cast<WORD>(r.bottom + 40)));
    EXPECT_EQ(drv::ReadSelection(list), -1);
    EXPECT_GE(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0), 3);
}

TEST_F(ListView, DeletionTellsTheParentOfEveryItem) {
    Fill();
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEITEM, 1, 0));
    EXPECT_FALSE(SendMessageW(list, LVM_DELETEITEM, 7, 0));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"LVN_DELETEITEM 1 data 20"}));
    log.lines.clear();
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEALLITEMS, 0, 0));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"LVN_DELETEALLITEMS", "LVN_DELETEITEM 0 data 10",
                                                   "LVN_DELETEITEM 1 data 30"}));
    // A parent that answers TRUE hears of no single item; destroying the
    // dialog deletes what is left the same way.
    AddItem(0, u"Tray 1", u"A4", 10);
    log.quietDeleteAll = true;
    log.lines.clear();
    DestroyWindow(dialog);
    dialog = nullptr;
    EXPECT_EQ(log.lines, (std::vector<std::string>{"LVN_DELETEALLITEMS"}));
}

TEST_F(ListView, RightClickSelectsThenAsksForTheContextMenu) {
    Fill();
    POINT at{};
    RECT r{LVIR_LABEL, 0, 0, 0};
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r)));
    at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SendMessageW(list, WM_RBUTTONDOWN, 0, MAKELONG(at.x, at.y));
    SendMessageW(list, WM_RBUTTONUP, 0, MAKELONG(at.x, at.y));
    EXPECT_EQ(log.lines.back(), "NM_RCLICK 2 sub 0");
    EXPECT_EQ(drv::ReadSelection(list), 2);
    EXPECT_EQ(log.contextMenus, (std::vector<std::string>{"1212"}));
    // A parent that handles NM_RCLICK gets no context menu.
    log.handleRightClick = true;
    SendMessageW(list, WM_RBUTTONDOWN, 0, MAKELONG(at.x, at.y));
    SendMessageW(list, WM_RBUTTONUP, 0, MAKELONG(at.x, at.y));
    EXPECT_EQ(log.contextMenus.size(), 1u);
}

TEST_F(ListView, IconViewLaysItemsInRows) {
    HWND icons = GetDlgItem(dialog, kIcons);
    HIMAGELIST images = ImageList_Create(32, 32, ILC_COLOR24 | ILC_MASK, 4, 4);
    ASSERT_NE(images, nullptr);
    SendMessageW(icons, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    for (int i = 0; i < 8; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(u"Icon");
        item.iImage = 0;
        SendMessageW(icons, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    POINT first{}, second{}, last{};
    SendMessageW(icons, LVM_GETITEMPOSITION, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(icons, LVM_GETITEMPOSITION, 1, reinterpret_cast<LPARAM>(&second));
    SendMessageW(icons, LVM_GETITEMPOSITION, 7, reinterpret_cast<LPARAM>(&last));
    EXPECT_EQ(first.y, second.y);
    EXPECT_GT(second.x, first.x);
    EXPECT_TRUE(SendMessageW(icons, LVM_ENSUREVISIBLE, 7, FALSE));
    RECT r{LVIR_ICON, 0, 0, 0};
    ASSERT_TRUE(SendMessageW(icons, LVM_GETITEMRECT, 7, reinterpret_cast<LPARAM>(&r)));
    EXPECT_EQ(r.right - r.left, 32);
    EXPECT_EQ(SendMessageW(icons, LVM_GETIMAGELIST, LVSIL_NORMAL, 0),
              reinterpret_cast<LRESULT>(images));
    // This list shares its image list: the program destroys it.
    DestroyWindow(dialog);
    dialog = nullptr;
    EXPECT_EQ(platform::user::test::LiveImageLists(), 1u);
    EXPECT_TRUE(ImageList_Destroy(images));
}

TEST_F(ListView, OwnImageListsGoWithTheControl) {
    HIMAGELIST small = ImageList_Create(16, 16, ILC_COLOR24, 1, 1);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(small));
    EXPECT_EQ(platform::user::test::LiveImageLists(), 1u);
    DestroyWindow(dialog);
    dialog = nullptr;
    // The fixture checks that none is left.
}

} // namespace
