// Windows paint themselves and the pictures show what they painted: a window
// of the program's own class, owner-drawn combo and list boxes, push-like
// icon buttons, colours the parent chooses, a property sheet's page over its
// tab; and a person's keys and mouse as the test driver gives them.
#include <algorithm>
#include "platform/loader_ctl.h"
#include "resprobe.h"
#include "user_fixture.h"
#include "win/loader.h"
#include "win/resources.h"

namespace {

using namespace user_test;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kOrange = RGB(255, 128, 0); // the probe icon's
constexpr COLORREF kPurple = RGB(120, 0, 120);

// Where a window's client point lands in its top-level window's picture.
POINT InPicture(HWND top, HWND window, POINT client) {
    RECT t;
    GetWindowRect(top, &t);
    ClientToScreen(window, &client);
    return POINT{client.x - t.left, client.y - t.top};
}

// ---------------------------------------------------------------------------
// A window of the program's own class that paints a red box, and a green one
// through GetDC when asked.

struct PaintLog {
    int paints = 0;
    int erases = 0;
    RECT lastPaint{};
    bool throughGetDc = false;
};
PaintLog gPaint;

void Fill(HDC dc, RECT r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

LRESULT CALLBACK PainterProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        ++gPaint.erases;
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        EXPECT_NE(dc, nullptr);
        ++gPaint.paints;
        gPaint.lastPaint = ps.rcPaint;
        Fill(dc, RECT{10, 10, 40, 30}, kRed);
        if (gPaint.throughGetDc) {
            HDC other = GetDC(h);
            EXPECT_NE(other, nullptr);
            Fill(other, RECT{50, 10, 70, 30}, kGreen);
            EXPECT_EQ(ReleaseDC(h, other), 1);
        }
        EndPaint(h, &ps);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

INT_PTR CALLBACK QuietDialog(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

class Painting : public UserTest {
  protected:
    void SetUp() override {
        gPaint = {};
        WNDCLASSW wc{};
        wc.lpfnWndProc = PainterProc;
        wc.lpszClassName = u"PaintProbe";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override {
        for (HWND w : windows)
            DestroyWindow(w);
        UnregisterClassW(u"PaintProbe", nullptr);
        UserTest::TearDown();
    }
    std::vector<HWND> windows;
};

TEST_F(Painting, AWindowPaintsWhatItsPictureShows) {
    HWND top = CreateWindowExW(0, u"PaintProbe", u"Painter", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40,
                               40, 240, 160, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(top, nullptr);
    windows.push_back(top);
    HWND child = CreateWindowExW(0, u"PaintProbe", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 100, 50,
                                 100, 60, top, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);

    gPaint.throughGetDc = true;
    Picture pic(top);
    // Frame, caption, the class's background, and the boxes of both windows.
    EXPECT_EQ(pic.At(pic.width / 2, 8), GetSysColor(COLOR_ACTIVECAPTION));
    POINT bg = InPicture(top, top, POINT{5, 5});
    EXPECT_EQ(pic.At(bg.x, bg.y), GetSysColor(COLOR_WINDOW));
    for (HWND w : {top, child}) {
        POINT red = InPicture(top, w, POINT{20, 20});
        EXPECT_EQ(pic.At(red.x, red.y), kRed);
        POINT green = InPicture(top, w, POINT{60, 20});
        EXPECT_EQ(pic.At(green.x, green.y), kGreen) << "drawn through GetDC";
    }
    // The child's border, just outside its client area.
    POINT border = InPicture(top, child, POINT{-1, 20});
    EXPECT_EQ(pic.At(border.x, border.y), GetSysColor(COLOR_WINDOWFRAME));
    // Drawing stays within the child: its GetDC box at x 50..70 ends at its
    // right edge (100 wide), and nothing of it shows left of the child.
    POINT outside = InPicture(top, child, POINT{-5, 20});
    EXPECT_EQ(pic.At(outside.x, outside.y), GetSysColor(COLOR_WINDOW));

    // Painting goes by the area left to paint.
    RECT update;
    EXPECT_FALSE(GetUpdateRect(top, &update, FALSE));
    int paints = gPaint.paints, erases = gPaint.erases;
    RECT part{5, 5, 25, 25};
    ASSERT_TRUE(InvalidateRect(top, &part, TRUE));
    EXPECT_TRUE(GetUpdateRect(top, &update, FALSE));
    EXPECT_TRUE(EqualRect(&update, &part));
    ASSERT_TRUE(UpdateWindow(top));
    EXPECT_EQ(gPaint.paints, paints + 1);
    EXPECT_EQ(gPaint.erases, erases + 1);
    EXPECT_TRUE(EqualRect(&gPaint.lastPaint, &part));
    EXPECT_TRUE(UpdateWindow(top));
    EXPECT_EQ(gPaint.paints, paints + 1) << "nothing left to paint";
    // Without RDW_ERASE the background stays; the children only with RDW_ALLCHILDREN.
    ASSERT_TRUE(RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW));
    EXPECT_EQ(gPaint.paints, paints + 2);
    EXPECT_EQ(gPaint.erases, erases + 1);
    ASSERT_TRUE(RedrawWindow(top, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW));
    EXPECT_EQ(gPaint.paints, paints + 4);
    EXPECT_EQ(gPaint.erases, erases + 3);
    ASSERT_TRUE(InvalidateRect(top, nullptr, FALSE));
    ASSERT_TRUE(ValidateRect(top, nullptr));
    EXPECT_FALSE(GetUpdateRect(top, nullptr, FALSE));
    EXPECT_FALSE(InvalidateRect(reinterpret_cast<HWND>(0x1234), nullptr, TRUE));

    // The screen's context makes bitmaps of the screen's depth.
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    HBITMAP compatible = CreateCompatibleBitmap(screen, 4, 4);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(compatible, sizeof bm, &bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    DeleteObject(compatible);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 0) << "released once";
}

// A modal loop paints what needs it before it goes idle, as a message loop
// does; each window once.
TEST_F(Painting, TheModalLoopPaintsBeforeItIdles) {
    std::vector<BYTE> t =
        TemplateBuilder()
            .Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 80, u"Modal")
            .Item(0, u"PaintProbe", 0, 5, 5, 60, 40, 50, u"")
            .Bytes();
    int seen = -1;
    ut::AnswerNextModal([&](HWND dialog) {
        seen = gPaint.paints;
        EXPECT_FALSE(GetUpdateRect(GetDlgItem(dialog, 50), nullptr, FALSE));
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, reinterpret_cast<const DLGTEMPLATE*>(t.data()),
                                      nullptr, QuietDialog, 0),
              IDOK);
    EXPECT_EQ(seen, 1);
}

// A window whose paint moves the viewport and clips: device units on its
// device context are its client area's, whatever part of the surface it is.
LRESULT CALLBACK MappedProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT) return DefWindowProcW(h, msg, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    SetViewportOrgEx(dc, 30, 20, nullptr);
    POINT org{};
    GetViewportOrgEx(dc, &org);
    EXPECT_EQ(org.x, 30);
    POINT p{0, 0};
    LPtoDP(dc, &p, 1);
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.y, 20);
    DPtoLP(dc, &p, 1);
    EXPECT_EQ(p.x, 0);
    HRGN clip = CreateRectRgn(30, 20, 40, 30);
    SelectClipRgn(dc, clip);
    HRGN got = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(dc, got), 1);
    RECT box{};
    GetRgnBox(got, &box);
    const RECT device{30, 20, 40, 30}, logical{0, 0, 10, 10};
    EXPECT_TRUE(EqualRect(&box, &device));
    GetClipBox(dc, &box);
    EXPECT_TRUE(EqualRect(&box, &logical));
    Fill(dc, RECT{-100, -100, 100, 100}, kRed);
    DeleteObject(got);
    DeleteObject(clip);
    EndPaint(h, &ps);
    return 0;
}

TEST_F(Painting, DeviceUnitsAreTheClientAreas) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MappedProc;
    wc.lpszClassName = u"MappedProbe";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND top = CreateWindowExW(0, u"PaintProbe", u"Mapped", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10,
                               10, 200, 150, nullptr, nullptr, nullptr, nullptr);
    windows.push_back(top);
    HWND child = CreateWindowExW(0, u"MappedProbe", u"", WS_CHILD | WS_VISIBLE, 60, 40, 100, 80,
                                 top, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    Picture pic(top);
    POINT in = InPicture(top, child, POINT{35, 25});
    POINT right = InPicture(top, child, POINT{45, 25});
    POINT above = InPicture(top, child, POINT{35, 15});
    EXPECT_EQ(pic.At(in.x, in.y), kRed);
    EXPECT_EQ(pic.At(right.x, right.y), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(pic.At(above.x, above.y), GetSysColor(COLOR_WINDOW));
    DestroyWindow(top);
    windows.clear();
    UnregisterClassW(u"MappedProbe", nullptr);
}

// ---------------------------------------------------------------------------
// Dialogs whose procedure draws items, chooses colours and logs.

enum Id : WORD {
    kCombo = 20,
    kList = 21,
    kOwnButton = 22,
    kOwnStatic = 23,
    kRadioA = 30,
    kRadioB = 31,
    kColoured = 32,
    kIcon = 33,
    kBitmapButton = 34,
    kBitmapStatic = 35,
    kColouredEdit = 36,
    kPlainCombo = 40,
    kEdit = 41,
};

struct DialogState {
    std::vector<std::string> drawn; // "combo 1 edit", "list 2 selected"
    std::vector<std::string> log;
    HBRUSH blue = nullptr;
    HBRUSH green = nullptr;
    HICON icon = nullptr;
    HBITMAP bitmap = nullptr;
};
DialogState* gState = nullptr;

INT_PTR CALLBACK OwnerProc(HWND h, UINT msg, WPARAM, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        HWND combo = GetDlgItem(h, kCombo), list = GetDlgItem(h, kList);
        for (COLORREF c : {kRed, kGreen, kBlue}) {
            SendMessageW(combo, CB_ADDSTRING, 0, static_cast<LPARAM>(c));
            SendMessageW(list, LB_ADDSTRING, 0, static_cast<LPARAM>(c));
        }
        SendMessageW(combo, CB_SETCURSEL, 1, 0);
        SendMessageW(list, LB_SETCURSEL, 2, 0);
        return TRUE;
    }
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        m->itemHeight = m->itemID == static_cast<UINT>(-1) ? 16 : 18;
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        EXPECT_NE(d->hDC, nullptr);
        if (d->CtlType == ODT_BUTTON || d->CtlType == ODT_STATIC) {
            // The whole control, in its client coordinates.
            RECT client;
            GetClientRect(d->hwndItem, &client);
            EXPECT_TRUE(EqualRect(&client, &d->rcItem));
            gState->drawn.push_back(d->CtlType == ODT_BUTTON ? "button" : "static");
            Fill(d->hDC, d->rcItem, d->CtlType == ODT_BUTTON ? kYellow : kBlue);
            return TRUE;
        }
        std::string line = d->CtlType == ODT_COMBOBOX ? "combo " : "list ";
        line += std::to_string(static_cast<int>(d->itemID));
        if (d->itemState & ODS_COMBOBOXEDIT) line += " edit";
        if (d->itemState & ODS_SELECTED) line += " selected";
        gState->drawn.push_back(line);
        Fill(d->hDC, d->rcItem, static_cast<COLORREF>(d->itemData));
        return TRUE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ColourProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(h, kRadioA, BM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(gState->icon));
        SendDlgItemMessageW(h, kRadioB, BM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(gState->icon));
        SendDlgItemMessageW(h, kIcon, STM_SETIMAGE, IMAGE_ICON,
                            reinterpret_cast<LPARAM>(gState->icon));
        SendDlgItemMessageW(h, kBitmapButton, BM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(gState->bitmap));
        SendDlgItemMessageW(h, kBitmapStatic, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(gState->bitmap));
        CheckDlgButton(h, kRadioB, BST_CHECKED);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) != GetDlgItem(h, kColoured)) return FALSE;
        SetTextColor(reinterpret_cast<HDC>(wp), kYellow);
        return reinterpret_cast<INT_PTR>(gState->blue);
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(gState->green);
    case WM_CTLCOLOREDIT:
        return reinterpret_cast<INT_PTR>(gState->blue);
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK KeyProc(HWND, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg != WM_COMMAND) return FALSE;
    if (LOWORD(wp) == kPlainCombo && HIWORD(wp) == CBN_SELCHANGE) {
        HWND combo = reinterpret_cast<HWND>(lp);
        bool down = (GetKeyState(VK_DOWN) & 0x8000) != 0;
        bool up = (GetKeyState(VK_UP) & 0x8000) != 0;
        gState->log.push_back("selchange " +
                              std::to_string(SendMessageW(combo, CB_GETCURSEL, 0, 0)) +
                              (down ? " down held" : "") + (up ? " up held" : ""));
    } else if (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK) {
        gState->log.push_back(LOWORD(wp) == IDOK ? "IDOK" : "IDCANCEL");
    }
    return TRUE;
}

class OwnedDialogs : public UserTest {
  protected:
    void SetUp() override { gState = &state; }
    void TearDown() override {
        for (HWND d : dialogs)
            DestroyWindow(d);
        if (state.blue) DeleteObject(state.blue);
        if (state.green) DeleteObject(state.green);
        if (state.bitmap) DeleteObject(state.bitmap);
        if (probe) FreeLibrary(probe);
        gState = nullptr;
        UserTest::TearDown();
    }
    HWND Open(const TemplateBuilder& t, DLGPROC proc) {
        bytes.push_back(t.Bytes());
        HWND d = CreateDialogIndirectParamW(
            nullptr, reinterpret_cast<const DLGTEMPLATE*>(bytes.back().data()), nullptr, proc, 0);
        EXPECT_NE(d, nullptr);
        dialogs.push_back(d);
        return d;
    }
    // The probe's icon and a purple bitmap of the screen's depth, 12 x 12.
    void LoadPictures() {
        platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
        probe = LoadLibraryW(u"Resprobe.DLL");
        ASSERT_NE(probe, nullptr);
        state.icon = LoadIconW(probe, MAKEINTRESOURCEW(IDI_PROBE));
        ASSERT_NE(state.icon, nullptr);
        HDC screen = GetDC(nullptr);
        state.bitmap = CreateCompatibleBitmap(screen, 12, 12);
        HDC memory = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(memory, state.bitmap);
        Fill(memory, RECT{0, 0, 12, 12}, kPurple);
        SelectObject(memory, old);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    DialogState state;
    std::vector<std::vector<BYTE>> bytes;
    std::vector<HWND> dialogs;
    HMODULE probe = nullptr;
};

TEST_F(OwnedDialogs, OwnerDrawnComboAndListBoxAsTheirOwnerDrawsThem) {
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 120, u"Owner drawn")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | WS_VSCROLL, 5, 5, 100, 80,
              kCombo, u"")
        .Item(0x83, nullptr, LBS_OWNERDRAWFIXED | LBS_NOTIFY | WS_BORDER, 110, 5, 80, 60, kList,
              u"")
        .Item(0x80, nullptr, BS_OWNERDRAW, 5, 90, 40, 14, kOwnButton, u"")
        .Item(0x82, nullptr, SS_OWNERDRAW, 50, 90, 40, 14, kOwnStatic, u"");
    HWND dialog = Open(t, OwnerProc);
    HWND combo = GetDlgItem(dialog, kCombo), list = GetDlgItem(dialog, kList);
    // The field's height from the owner's answer for item -1, then set anew.
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), 16);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), 18);
    EXPECT_EQ(SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 24), 0);

    Picture pic(dialog);
    RECT c = PlaceOf(dialog, combo), l = PlaceOf(dialog, list);
    // The field shows the selected item (green) across its taller height.
    EXPECT_EQ(pic.At(c.left + 20, c.top + 16), kGreen);
    EXPECT_EQ(pic.At(c.left + 20, c.top + 26), kGreen);
    // The list's items by their data, 18 pixels each inside the border.
    EXPECT_EQ(pic.At(l.left + 10, l.top + 1 + 9), kRed);
    EXPECT_EQ(pic.At(l.left + 10, l.top + 1 + 18 + 9), kGreen);
    EXPECT_EQ(pic.At(l.left + 10, l.top + 1 + 36 + 9), kBlue);
    EXPECT_EQ(pic.At(l.left + 10, l.top + 1 + 54 + 9), GetSysColor(COLOR_WINDOW));
    RECT ob = PlaceOf(dialog, GetDlgItem(dialog, kOwnButton));
    RECT os = PlaceOf(dialog, GetDlgItem(dialog, kOwnStatic));
    EXPECT_EQ(pic.At(ob.left + 1, ob.top + 1), kYellow);
    EXPECT_EQ(pic.At(os.right - 1, os.bottom - 1), kBlue);
    // The bottom of the stacking order (made last) is painted first.
    EXPECT_EQ(state.drawn, (std::vector<std::string>{"static", "button", "list 0", "list 1",
                                                     "list 2 selected", "combo 1 edit"}));

    // Dropped down, the list shows below the field, over what lies there.
    ASSERT_TRUE(drv::DropDown(combo, true));
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    state.drawn.clear();
    Picture dropped(dialog);
    LONG listTop = c.top + 32 + 1;
    EXPECT_EQ(dropped.At(c.left + 20, listTop + 9), kRed);
    EXPECT_EQ(dropped.At(c.left + 20, listTop + 18 + 9), kGreen);
    EXPECT_EQ(dropped.At(c.left + 20, listTop + 36 + 9), kBlue);
    EXPECT_EQ(state.drawn.size(), 6u + 3u);
    ASSERT_TRUE(drv::DropDown(combo, false));
    Picture closed(dialog);
    EXPECT_EQ(closed.At(c.left + 20, listTop + 9), GetSysColor(COLOR_BTNFACE));
}

TEST_F(OwnedDialogs, PushLikeIconRadioButtonsAndTheParentsColours) {
    ASSERT_NO_FATAL_FAILURE(LoadPictures());
    state.blue = CreateSolidBrush(kBlue);
    state.green = CreateSolidBrush(kGreen);
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 100, u"Colours")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON | BS_PUSHLIKE | BS_ICON | WS_GROUP, 5, 5, 30, 30,
              kRadioA, u"")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON | BS_PUSHLIKE | BS_ICON, 40, 5, 30, 30, kRadioB,
              u"")
        .Item(0x82, nullptr, SS_LEFT, 5, 50, 100, 12, kColoured, u"WWWWWWWW")
        .Item(0x82, nullptr, SS_ICON, 110, 5, 30, 30, kIcon, u"")
        .Item(0x80, nullptr, BS_PUSHBUTTON | BS_BITMAP, 150, 5, 30, 30, kBitmapButton, u"")
        .Item(0x82, nullptr, SS_BITMAP, 150, 50, 30, 30, kBitmapStatic, u"")
        .Item(0x81, nullptr, WS_BORDER, 110, 50, 30, 12, kColouredEdit, u"");
    HWND dialog = Open(t, ColourProc);
    HWND a = GetDlgItem(dialog, kRadioA), b = GetDlgItem(dialog, kRadioB);

    Picture pic(dialog);
    RECT ra = PlaceOf(dialog, a), rb = PlaceOf(dialog, b);
    // The icon in the middle of each button, the button raised when
    // unchecked and sunk when checked (its inner top-left edge).
    EXPECT_EQ(pic.At((ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2), kOrange);
    EXPECT_EQ(pic.At(ra.left + 1, ra.top + 5), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(pic.At(rb.left + 1, rb.top + 5), GetSysColor(COLOR_3DDKSHADOW));
    // The static's icon at its top left corner (the probe's orange at 8,8).
    RECT ri = PlaceOf(dialog, GetDlgItem(dialog, kIcon));
    EXPECT_EQ(pic.At(ri.left + 8, ri.top + 8), kOrange);
    // The label on the parent's blue brush in its yellow; the dialog on green.
    RECT label = PlaceOf(dialog, GetDlgItem(dialog, kColoured));
    EXPECT_EQ(pic.At(label.right - 2, label.bottom - 2), kBlue);
    EXPECT_GT(pic.Count(label, kYellow), 10);
    POINT inside = InPicture(dialog, dialog, POINT{2, 80});
    EXPECT_EQ(pic.At(inside.x, inside.y), kGreen);
    // The edit on the brush its parent answered to WM_CTLCOLOREDIT.
    RECT re = PlaceOf(dialog, GetDlgItem(dialog, kColouredEdit));
    EXPECT_EQ(pic.At(re.right - 4, (re.top + re.bottom) / 2), kBlue);
    // Bitmaps: centred on the button, at the static's top left corner.
    RECT bb = PlaceOf(dialog, GetDlgItem(dialog, kBitmapButton));
    RECT bs = PlaceOf(dialog, GetDlgItem(dialog, kBitmapStatic));
    EXPECT_EQ(pic.At((bb.left + bb.right) / 2, (bb.top + bb.bottom) / 2), kPurple);
    EXPECT_EQ(pic.At(bb.left + 4, bb.top + 4), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pic.At(bs.left + 1, bs.top + 1), kPurple);
    EXPECT_EQ(pic.At(bs.left + 14, bs.top + 14), GetSysColor(COLOR_BTNFACE));

    // A click on the first moves the check and the sunk look to it.
    ASSERT_TRUE(drv::Click(a));
    EXPECT_EQ(drv::ReadCheck(a), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(drv::ReadCheck(b), static_cast<UINT>(BST_UNCHECKED));
    Picture after(dialog);
    EXPECT_EQ(after.At(ra.left + 1, ra.top + 5), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(after.At(rb.left + 1, rb.top + 5), GetSysColor(COLOR_BTNHIGHLIGHT));
}

// A disabled control's picture is greyed as its text is: an icon or bitmap
// button's image, a check box's box and mark. An image set on a button with
// text is drawn beside its text.
TEST_F(OwnedDialogs, DisabledPicturesAreGreyedAndATextButtonShowsItsImage) {
    ASSERT_NO_FATAL_FAILURE(LoadPictures());
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 220, 100, u"Disabled")
        .Item(0x80, nullptr, BS_AUTORADIOBUTTON | BS_PUSHLIKE | BS_ICON | WS_DISABLED, 5, 5, 30, 30,
              kRadioA, u"")
        .Item(0x80, nullptr, BS_PUSHBUTTON, 40, 5, 100, 30, kRadioB, u"Centre")
        .Item(0x80, nullptr, BS_PUSHBUTTON | BS_BITMAP | WS_DISABLED, 150, 5, 30, 30, kBitmapButton,
              u"")
        .Item(0x80, nullptr, BS_AUTOCHECKBOX | WS_DISABLED, 5, 50, 80, 12, kEdit, u"Collate");
    HWND dialog = Open(t, ColourProc);
    SendDlgItemMessageW(dialog, kEdit, BM_SETCHECK, BST_CHECKED, 0);
    auto grey = [](COLORREF c) {
        const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
        return std::max({r, g, b}) - std::min({r, g, b}) <= 16;
    };

    Picture pic(dialog);
    RECT ra = PlaceOf(dialog, GetDlgItem(dialog, kRadioA));
    const COLORREF icon = pic.At((ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2);
    EXPECT_NE(icon, kOrange);
    EXPECT_TRUE(grey(icon)) << std::hex << icon;
    RECT bb = PlaceOf(dialog, GetDlgItem(dialog, kBitmapButton));
    const COLORREF bitmap = pic.At((bb.left + bb.right) / 2, (bb.top + bb.bottom) / 2);
    EXPECT_NE(bitmap, kPurple);
    EXPECT_TRUE(grey(bitmap)) << std::hex << bitmap;
    // The enabled text button: its icon in full colour left of its text.
    RECT rb = PlaceOf(dialog, GetDlgItem(dialog, kRadioB));
    EXPECT_GT(pic.Count(RECT{rb.left, rb.top, (rb.left + rb.right) / 2, rb.bottom}, kOrange), 10);
    EXPECT_GT(pic.Count(rb, GetSysColor(COLOR_BTNTEXT)), 10);
    // The disabled check box: its box on the button face, no black mark.
    RECT rc = PlaceOf(dialog, GetDlgItem(dialog, kEdit));
    // Inside the 13-pixel box's sunken edge, centred on the control's height.
    const LONG top = (rc.top + rc.bottom - 13) / 2;
    RECT box{rc.left + 2, top + 2, rc.left + 11, top + 11};
    EXPECT_EQ(pic.Count(box, GetSysColor(COLOR_WINDOW)), 0);
    EXPECT_EQ(pic.Count(box, GetSysColor(COLOR_WINDOWTEXT)), 0);
    EXPECT_GT(pic.Count(box, GetSysColor(COLOR_GRAYTEXT)), 3);

    // Enabled again, the pictures take their colours back.
    EnableWindow(GetDlgItem(dialog, kRadioA), TRUE);
    EnableWindow(GetDlgItem(dialog, kBitmapButton), TRUE);
    Picture enabled(dialog);
    EXPECT_EQ(enabled.At((ra.left + ra.right) / 2, (ra.top + ra.bottom) / 2), kOrange);
    EXPECT_EQ(enabled.At((bb.left + bb.right) / 2, (bb.top + bb.bottom) / 2), kPurple);
}

TEST_F(OwnedDialogs, KeysHeldAndPressedReachTheFocus) {
    TemplateBuilder t;
    t.Dialog(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 100, u"Keys")
        .Item(0x85, nullptr, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_TABSTOP, 5, 5, 100, 80,
              kPlainCombo, u"")
        .Item(0x81, nullptr, WS_TABSTOP | WS_BORDER, 5, 30, 100, 12, kEdit, u"")
        .Item(0x80, nullptr, BS_DEFPUSHBUTTON | WS_TABSTOP, 110, 5, 40, 14, IDOK, u"OK")
        .Item(0x80, nullptr, BS_PUSHBUTTON | WS_TABSTOP, 110, 25, 40, 14, IDCANCEL, u"Cancel");
    HWND dialog = Open(t, KeyProc);
    HWND combo = GetDlgItem(dialog, kPlainCombo);
    for (const char16_t* s : {u"A4", u"Letter", u"Legal"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SetFocus(combo);

    // Held down, the key repeats; GetKeyState reports it until it is let go.
    ASSERT_TRUE(drv::HoldKey(VK_DOWN));
    EXPECT_TRUE(GetKeyState(VK_DOWN) & 0x8000);
    ASSERT_TRUE(drv::HoldKey(VK_DOWN));
    ASSERT_TRUE(drv::HoldKey(VK_DOWN)); // at the last item: no change
    ASSERT_TRUE(drv::ReleaseKey(VK_DOWN));
    EXPECT_EQ(GetKeyState(VK_DOWN), 0);
    EXPECT_FALSE(drv::ReleaseKey(VK_DOWN)) << "not held";
    ASSERT_TRUE(drv::PressKey(VK_UP));
    // The program's own selection sends nothing.
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    // Tab moves the focus on; Enter presses the default button, Escape cancels.
    ASSERT_TRUE(drv::PressKey(VK_TAB));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kEdit));
    ASSERT_TRUE(drv::PressKey(VK_RETURN));
    ASSERT_TRUE(drv::PressKey(VK_ESCAPE));
    EXPECT_EQ(state.log, (std::vector<std::string>{"selchange 1 down held", "selchange 2 down held",
                                                   "selchange 1 up held", "IDOK", "IDCANCEL"}));
}

// ---------------------------------------------------------------------------
// The mouse: a window that captures it on a press, follows the moves and
// shows the hand over itself.

std::vector<std::string> gMouse;

LRESULT CALLBACK MouseProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto at = [&] {
        return std::to_string(static_cast<short>(LOWORD(lp))) + "," +
               std::to_string(static_cast<short>(HIWORD(lp)));
    };
    switch (msg) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_LBUTTONDOWN:
        SetCapture(h);
        gMouse.push_back("down " + at());
        return 0;
    case WM_MOUSEMOVE:
        gMouse.push_back("move " + at() + ((wp & MK_LBUTTON) ? " button" : "") +
                         ((GetKeyState(VK_LBUTTON) & 0x8000) ? " held" : ""));
        return 0;
    case WM_LBUTTONUP:
        ReleaseCapture();
        gMouse.push_back("up " + at());
        return 0;
    default:
        return DefWindowProcW(h, msg, wp, lp);
    }
}

TEST_F(Painting, DragAndCursorSeenByTheWindow) {
    gMouse.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = MouseProc;
    wc.lpszClassName = u"MouseProbe";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND top = CreateWindowExW(0, u"PaintProbe", u"Mouse", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
    windows.push_back(top);
    HWND area = CreateWindowExW(0, u"MouseProbe", u"", WS_CHILD | WS_VISIBLE, 20, 20, 100, 80, top,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(drv::ReadCursor(), nullptr);

    // The drag leaves the window; the capture keeps the messages coming.
    ASSERT_TRUE(drv::Drag(area, POINT{10, 10}, POINT{130, 30}, 2));
    EXPECT_EQ(gMouse, (std::vector<std::string>{"down 10,10", "move 70,20 button held",
                                                "move 130,30 button held", "up 130,30"}));
    EXPECT_EQ(drv::ReadCursor(), LoadCursorW(nullptr, IDC_HAND));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(GetKeyState(VK_LBUTTON), 0);
    // A move with the button up.
    gMouse.clear();
    ASSERT_TRUE(drv::MouseMove(area, POINT{5, 6}));
    EXPECT_EQ(gMouse, (std::vector<std::string>{"move 5,6"}));
    // A disabled window lets the mouse through to the window beneath.
    EnableWindow(area, FALSE);
    gMouse.clear();
    EXPECT_TRUE(drv::MouseDown(area, POINT{5, 6}));
    EXPECT_TRUE(drv::MouseUp(area, POINT{5, 6}));
    EXPECT_TRUE(gMouse.empty());
    ShowWindow(area, SW_HIDE);
    EXPECT_FALSE(drv::MouseDown(area, POINT{5, 6}));
    DestroyWindow(top);
    windows.clear();
    UnregisterClassW(u"MouseProbe", nullptr);
}

// The mouse passes through what the system lets it pass: a label without
// SS_NOTIFY, a group box, a disabled control; a drag over a label reaches the
// handler of the window beneath, at the point in its own coordinates.
TEST_F(Painting, TheMousePassesThroughLabelsAndGroupBoxes) {
    gMouse.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = MouseProc;
    wc.lpszClassName = u"MouseProbe";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND top = CreateWindowExW(0, u"PaintProbe", u"Mouse", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200,
                               nullptr, nullptr, nullptr, nullptr);
    windows.push_back(top);
    HWND area = CreateWindowExW(0, u"MouseProbe", u"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 150, top,
                                nullptr, nullptr, nullptr);
    auto child = [&](const char16_t* cls, const char16_t* text, DWORD style, RECT r) {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, area, nullptr, nullptr, nullptr);
    };
    HWND group = child(u"Button", u"Group", BS_GROUPBOX, RECT{5, 40, 200, 140});
    HWND label = child(u"Static", u"Name:", SS_LEFT, RECT{10, 10, 110, 30});
    HWND inner = child(u"Static", u"Inside", SS_LEFT, RECT{20, 60, 100, 80});
    HWND notifying = child(u"Static", u"Click", SS_NOTIFY, RECT{220, 10, 280, 30});
    HWND button = child(u"Button", u"Push", BS_PUSHBUTTON, RECT{220, 60, 280, 90});
    ASSERT_TRUE(group && label && inner && notifying && button);

    ASSERT_TRUE(drv::Drag(label, POINT{5, 5}, POINT{45, 5}, 2));
    EXPECT_EQ(gMouse, (std::vector<std::string>{"down 15,15", "move 35,15 button held",
                                                "move 55,15 button held", "up 55,15"}));
    EXPECT_EQ(drv::ReadCursor(), LoadCursorW(nullptr, IDC_HAND));
    // Through a label inside a group box, and through the group box itself.
    gMouse.clear();
    ASSERT_TRUE(drv::MouseDown(inner, POINT{2, 2}));
    ASSERT_TRUE(drv::MouseUp(group, POINT{100, 50}));
    EXPECT_EQ(gMouse, (std::vector<std::string>{"down 22,62", "up 105,90"}));
    // A static that notifies and a button take the mouse themselves...
    gMouse.clear();
    ASSERT_TRUE(drv::MouseDown(notifying, POINT{2, 2}));
    ASSERT_TRUE(drv::MouseUp(notifying, POINT{2, 2}));
    ASSERT_TRUE(drv::MouseDown(area, POINT{230, 70})); // the button lies there
    ASSERT_TRUE(drv::MouseUp(area, POINT{230, 70}));
    EXPECT_TRUE(gMouse.empty());
    EXPECT_EQ(SendMessageW(label, WM_NCHITTEST, 0, MAKELONG(25, 25)), HTTRANSPARENT);
    EXPECT_EQ(SendMessageW(notifying, WM_NCHITTEST, 0, MAKELONG(235, 25)), HTCLIENT);
    // ...unless disabled.
    EnableWindow(button, FALSE);
    ASSERT_TRUE(drv::MouseDown(button, POINT{5, 5}));
    ASSERT_TRUE(drv::MouseUp(button, POINT{5, 5}));
    EXPECT_EQ(gMouse, (std::vector<std::string>{"down 225,65", "up 225,65"}));
    DestroyWindow(top);
    windows.clear();
    UnregisterClassW(u"MouseProbe", nullptr);
}

// ---------------------------------------------------------------------------
// A property sheet's page, marked disabled in its template, shows enabled
// and above the tab control's body.

INT_PTR CALLBACK QuietPage(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG;
}

TEST_F(Painting, SheetPagesShowOverTheirTab) {
    std::vector<BYTE> page =
        TemplateBuilder()
            .Dialog(DS_SETFONT | WS_CHILD | WS_CAPTION | WS_DISABLED, 200, 100, u"Paper")
            .Item(0x81, nullptr, WS_TABSTOP | WS_BORDER, 7, 7, 120, 40, kEdit, u"")
            .Bytes();
    PROPSHEETPAGEW psp{};
    psp.dwSize = sizeof psp;
    psp.dwFlags = PSP_DLGINDIRECT;
    psp.pResource = reinterpret_cast<const DLGTEMPLATE*>(page.data());
    psp.pfnDlgProc = QuietPage;
    HPROPSHEETPAGE pages[] = {CreatePropertySheetPageW(&psp)};
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.pszCaption = u"Printer";
    h.nPages = 1;
    h.phpage = pages;
    std::string snapshot;
    COLORREF inside = 0;
    ut::AnswerNextModal([&](HWND sheet) {
        snapshot = drv::Snapshot(sheet);
        HWND edit = drv::FindControl(sheet, kEdit);
        EXPECT_TRUE(IsWindowEnabled(edit));
        Picture pic(sheet);
        RECT e = PlaceOf(sheet, edit);
        inside = pic.At((e.left + e.right) / 2, (e.top + e.bottom) / 2);
        drv::PressButton(sheet, IDCANCEL);
    });
    EXPECT_EQ(PropertySheetW(&h), 0);
    // The page's own line (the sheet's Apply button is disabled, as it should be).
    size_t line = snapshot.find("\"Paper\"");
    ASSERT_NE(line, std::string::npos) << snapshot;
    std::string pageLine = snapshot.substr(line, snapshot.find('\n', line) - line);
    EXPECT_EQ(pageLine.find("disabled"), std::string::npos) << snapshot;
    EXPECT_EQ(inside, GetSysColor(COLOR_WINDOW));
}

} // namespace
