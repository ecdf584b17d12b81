// Icons, the focus frame and tabbed text drawn into a memory device context
// and read back pixel by pixel; tab stops of list boxes and edits; tooltips
// that ask their tool for the text.
#include "platform/gdi_ctl.h"
#include "platform/loader_ctl.h"
#include "platform/user_ctl.h"
#include "resprobe.h"
#include "user_fixture.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/loader.h"
#include "win/system_messages.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kOrange = RGB(255, 128, 0); // the probe icon, opaque all over

// A memory device context on a 24-bit bitmap filled with one colour.
class Surface {
  public:
    Surface(int w, int h, COLORREF fill) {
        dc_ = CreateCompatibleDC(nullptr);
        HDC screen = dc_;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        Fill(fill);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    void Fill(COLORREF c) {
        BITMAP bm{};
        GetObjectW(bitmap_, sizeof bm, &bm);
        RECT all{0, 0, bm.bmWidth, bm.bmHeight};
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc_, &all, b);
        DeleteObject(b);
    }
    HDC dc() const { return dc_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

class DrawingCalls : public user_test::UserTest {
  protected:
    void SetUp() override {
        platform::loader::AddSearchFolder(USER_TEST_MODULES_DIR);
        probe = LoadLibraryW(u"Resprobe.DLL");
        ASSERT_NE(probe, nullptr);
        icon = LoadIconW(probe, MAKEINTRESOURCEW(IDI_PROBE));
        ASSERT_NE(icon, nullptr);
        gdiObjects = platform::test::LiveGdiObjects();
    }
    void TearDown() override {
        EXPECT_EQ(platform::test::LiveGdiObjects(), gdiObjects);
        FreeLibrary(probe);
        UserTest::TearDown();
    }
    HMODULE probe = nullptr;
    HICON icon = nullptr;
    long gdiObjects = 0;
};

TEST_F(DrawingCalls, IconsAtTheirSizeStretchedAndByPart) {
    Surface s(64, 64, kGreen);
    // DrawIcon: the system's icon size (32) from the given corner.
    ASSERT_TRUE(DrawIcon(s.dc(), 4, 6, icon));
    EXPECT_EQ(s.At(4, 6), kOrange);
    EXPECT_EQ(s.At(35, 37), kOrange);
    EXPECT_EQ(s.At(3, 6), kGreen);
    EXPECT_EQ(s.At(36, 37), kGreen);
    EXPECT_EQ(s.At(35, 38), kGreen);

    struct Case {
        const char* name;
        int cx, cy;
        UINT flags;
        COLORREF background, inside;
        POINT lastInside, firstOutside;
    } cases[] = {
        {"stretched to 10 x 12", 10, 12, DI_NORMAL, kGreen, kOrange, {9, 11}, {10, 12}},
        {"own size", 0, 0, DI_NORMAL, kGreen, kOrange, {31, 31}, {32, 32}},
        {"mask only: black where it shows", 16, 16, DI_MASK, kWhite, kBlack, {15, 15}, {16, 16}},
        {"colours only", 16, 16, DI_IMAGE, kWhite, kOrange, {15, 15}, {16, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s.Fill(c.background);
        ASSERT_TRUE(DrawIconEx(s.dc(), 0, 0, icon, c.cx, c.cy, 0, nullptr, c.flags));
        EXPECT_EQ(s.At(0, 0), c.inside);
        EXPECT_EQ(s.At(c.lastInside.x, c.lastInside.y), c.inside);
        EXPECT_EQ(s.At(c.firstOutside.x, c.firstOutside.y), c.background);
        EXPECT_EQ(s.At(c.firstOutside.x, 0), c.background);
    }
    // The flicker-free brush paints the whole rectangle first.
    s.Fill(kWhite);
    HBRUSH green = CreateSolidBrush(kGreen);
    ASSERT_TRUE(DrawIconEx(s.dc(), 0, 0, icon, 8, 8, 0, green, DI_NORMAL));
    DeleteObject(green);
    EXPECT_EQ(s.At(7, 7), kOrange);
    EXPECT_EQ(s.At(8, 8), kWhite);
    // A system icon draws nothing (it has no pixels here) but is an icon;
    // a bitmap or nothing is refused.
    EXPECT_TRUE(DrawIcon(s.dc(), 0, 0, LoadIconW(nullptr, IDI_WARNING)));
    EXPECT_FALSE(DrawIcon(s.dc(), 0, 0, nullptr));
    EXPECT_FALSE(DrawIcon(nullptr, 0, 0, icon));
}

TEST_F(DrawingCalls, FocusFrameDotsEveryOtherPixelAndGoesWhenDrawnAgain) {
    Surface s(20, 20, kWhite);
    RECT r{2, 3, 12, 9};
    ASSERT_TRUE(DrawFocusRect(s.dc(), &r));
    // Top edge: inverted, kept, inverted...; the corners are dots.
    EXPECT_EQ(s.At(2, 3), kBlack);
    EXPECT_EQ(s.At(3, 3), kWhite);
    EXPECT_EQ(s.At(4, 3), kBlack);
    EXPECT_EQ(s.At(11, 8), kBlack); // 9 + 5 from the corner: even, a dot
    EXPECT_EQ(s.At(10, 8), kWhite);
    EXPECT_EQ(s.At(2, 5), kBlack);
    EXPECT_EQ(s.At(11, 4), kBlack);
    // Inside and outside untouched.
    EXPECT_EQ(s.At(5, 5), kWhite);
    EXPECT_EQ(s.At(1, 3), kWhite);
    EXPECT_EQ(s.At(12, 3), kWhite);
    ASSERT_TRUE(DrawFocusRect(s.dc(), &r));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(s.At(x, y), kWhite) << x << "," << y;
    // On a dark colour the dots show light.
    s.Fill(kBlack);
    ASSERT_TRUE(DrawFocusRect(s.dc(), &r));
    EXPECT_EQ(s.At(2, 3), kWhite);
    RECT empty{5, 5, 5, 9};
    EXPECT_TRUE(DrawFocusRect(s.dc(), &empty));
    EXPECT_FALSE(DrawFocusRect(s.dc(), nullptr));
}

TEST_F(DrawingCalls, TabbedTextStartsEachColumnAtItsStop) {
    Surface s(300, 30, kWhite);
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"Arial");
    HGDIOBJ old = SelectObject(s.dc(), font);
    SetBkMode(s.dc(), TRANSPARENT);
    const INT stops[] = {100, 200};
    LONG extent = TabbedTextOutW(s.dc(), 10, 5, u"ab\tcd\tef", 8, 2, stops, 10);
    // Columns start at the origin plus each stop: ink only from there on.
    auto inkIn = [&](int from, int to) {
        for (int x = from; x < to; ++x)
            for (int y = 0; y < 30; ++y)
                if (s.At(x, y) != kWhite) return true;
        return false;
    };
    EXPECT_TRUE(inkIn(10, 40));
    EXPECT_FALSE(inkIn(40, 110));
    EXPECT_TRUE(inkIn(110, 130));
    EXPECT_FALSE(inkIn(140, 210));
    EXPECT_TRUE(inkIn(210, 230));
    SIZE ef{};
    GetTextExtentPoint32W(s.dc(), u"ef", 2, &ef);
    EXPECT_EQ(LOWORD(extent), 200 + ef.cx);
    EXPECT_EQ(GetTabbedTextExtentW(s.dc(), u"ab\tcd\tef", 8, 2, stops), static_cast<DWORD>(extent));
    // One stop: every multiple of it.
    const INT every[] = {50};
    EXPECT_EQ(LOWORD(GetTabbedTextExtentW(s.dc(), u"\t\t", 2, 1, every)), 100);
    SelectObject(s.dc(), old);
    DeleteObject(font);
}

TEST_F(DrawingCalls, TabStopsOfListBoxesAndEditsInDialogUnits) {
    user_test::TemplateBuilder t;
    t.Dialog(WS_POPUP | DS_SETFONT, 200, 100, u"Stops")
        .Item(0x83, nullptr, LBS_USETABSTOPS, 5, 5, 100, 50, 10, u"")
        .Item(0x83, nullptr, 0, 5, 60, 100, 30, 11, u"")
        .Item(0x81, nullptr, ES_MULTILINE, 110, 5, 80, 40, 12, u"")
        .Item(0x81, nullptr, 0, 110, 60, 80, 12, 13, u"");
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, user_test::LoggingProc, 0);
    ASSERT_NE(dialog, nullptr);
    RECT unit{0, 0, 4, 0};
    MapDialogRect(dialog, &unit);
    int base = unit.right; // pixels of four dialog units
    INT stops[] = {40, 120};
    EXPECT_TRUE(
        SendDlgItemMessageW(dialog, 10, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)));
    EXPECT_EQ(platform::user::driver::ReadTabStops(GetDlgItem(dialog, 10)),
              (std::vector<INT>{MulDiv(40, base, 4), MulDiv(120, base, 4)}));
    // Without LBS_USETABSTOPS, or a single-line edit: refused, nothing kept.
    EXPECT_FALSE(
        SendDlgItemMessageW(dialog, 11, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)));
    EXPECT_FALSE(
        SendDlgItemMessageW(dialog, 13, EM_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops)));
    EXPECT_EQ(platform::user::driver::ReadTabStops(GetDlgItem(dialog, 13)),
              (std::vector<INT>{MulDiv(32, base, 4)}));
    EXPECT_TRUE(
        SendDlgItemMessageW(dialog, 12, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(stops)));
    EXPECT_EQ(platform::user::driver::ReadTabStops(GetDlgItem(dialog, 12)),
              (std::vector<INT>{MulDiv(40, base, 4)}));
    // No stops: the default every 32 units again.
    EXPECT_TRUE(SendDlgItemMessageW(dialog, 12, EM_SETTABSTOPS, 0, 0));
    EXPECT_EQ(platform::user::driver::ReadTabStops(GetDlgItem(dialog, 12)),
              (std::vector<INT>{MulDiv(32, base, 4)}));
    EXPECT_FALSE(SendDlgItemMessageW(dialog, 10, LB_SETTABSTOPS, 2, 0));
    DestroyWindow(dialog);
}

// A list box's and a multiline edit's columns stand on their tab stops in
// the picture: nothing dark between the first column's text and the stop,
// the second column's first stroke just past it.
bool Dark(COLORREF c) {
    return GetRValue(c) + GetGValue(c) + GetBValue(c) < 384;
}
int LeftmostDark(const user_test::Picture& pic, const RECT& r) {
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            if (Dark(pic.At(x, y))) return x;
    return -1;
}

TEST_F(DrawingCalls, ColumnsAreDrawnOnTheirTabStops) {
    user_test::TemplateBuilder t;
    t.Dialog(WS_POPUP | WS_VISIBLE | DS_SETFONT, 200, 100, u"Columns")
        .Item(0x83, nullptr, LBS_USETABSTOPS, 5, 5, 180, 40, 10, u"")
        .Item(0x81, nullptr, ES_MULTILINE, 5, 50, 180, 30, 11, u"");
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, user_test::LoggingProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, 10), edit = GetDlgItem(dialog, 11);
    INT stops[] = {60};
    ASSERT_TRUE(SendMessageW(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(stops)));
    ASSERT_TRUE(SendMessageW(edit, EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(stops)));
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Name\tValue"));
    SetWindowTextW(edit, u"Key\tWord");
    int stop = platform::user::driver::ReadTabStops(list).at(0);
    ASSERT_GT(stop, 60);

    user_test::Picture pic(dialog);
    // The text starts two pixels into a list box, three into an edit (past
    // its sunken edge).
    auto probe = [&](HWND control, int inset, int rowHeight) {
        RECT at = user_test::PlaceOf(dialog, control);
        int origin = at.left + inset;
        RECT row{origin, at.top + 3, at.right - 3, at.top + 3 + rowHeight};
        ASSERT_GE(LeftmostDark(pic, row), origin) << "no text drawn";
        EXPECT_EQ(LeftmostDark(pic, RECT{origin + 30, row.top, origin + stop, row.bottom}), -1);
        int second = LeftmostDark(pic, RECT{origin + stop, row.top, row.right, row.bottom});
        EXPECT_GE(second, origin + stop);
        EXPECT_LE(second, origin + stop + 3);
    };
    probe(list, 2, static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0)) - 2);
    probe(edit, 3, 12);
    DestroyWindow(dialog);
}

// The rows after a selected one keep the list's own text colour, with tab
// stops and without.
TEST_F(DrawingCalls, RowsAfterTheSelectionAreDrawnInTheListsColour) {
    for (DWORD style : {DWORD{LBS_USETABSTOPS}, DWORD{0}}) {
        SCOPED_TRACE(style);
        user_test::TemplateBuilder t;
        t.Dialog(WS_POPUP | WS_VISIBLE | DS_SETFONT, 200, 100, u"Rows")
            .Item(0x83, nullptr, style, 5, 5, 180, 60, 10, u"");
        HWND dialog =
            CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, user_test::LoggingProc, 0);
        ASSERT_NE(dialog, nullptr);
        HWND list = GetDlgItem(dialog, 10);
        for (const char16_t* row : {u"First\tOne", u"Second\tTwo", u"Third\tThree"})
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        user_test::Picture pic(dialog);
        RECT at = user_test::PlaceOf(dialog, list);
        const int height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
        for (int row = 1; row < 3; ++row) {
            const LONG top = at.top + 2 + row * height;
            EXPECT_GE(LeftmostDark(pic, RECT{at.left + 2, top, at.right - 3, top + height}), 0)
                << "row " << row << " not drawn dark on the list's white";
        }
        DestroyWindow(dialog);
    }
}

// EM_SCROLLCARET scrolls a narrow single-line edit just far enough that the
// caret at the end of its text shows, and back when the caret goes home; the
// picture then starts at the first visible character.
TEST_F(DrawingCalls, ScrollCaretKeepsTheCaretInView) {
    user_test::TemplateBuilder t;
    t.Dialog(WS_POPUP | WS_VISIBLE | DS_SETFONT, 200, 60, u"Caret")
        .Item(0x81, nullptr, ES_AUTOHSCROLL, 5, 5, 40, 12, 10, u"")
        .Item(0x81, nullptr, ES_MULTILINE, 5, 25, 80, 24, 11, u"");
    HWND dialog = CreateDialogIndirectParamW(nullptr, t.Get(), nullptr, user_test::LoggingProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND edit = GetDlgItem(dialog, 10);
    const std::u16string text = u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW.";
    SetWindowTextW(edit, text.c_str());
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    user_test::Picture before(dialog);

    auto len = static_cast<WPARAM>(text.size());
    SendMessageW(edit, EM_SETSEL, len, static_cast<LPARAM>(len));
    EXPECT_TRUE(SendMessageW(edit, EM_SCROLLCARET, 0, 0));
    auto first = static_cast<size_t>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    ASSERT_GT(first, 0u);
    ASSERT_LT(first, text.size());
    // What is left from the first visible character fits the field.
    // Measured in the dialog's own face and size (8 points at 96 dots an inch).
    LOGFONTW face{};
    face.lfHeight = -11;
    face.lfWeight = FW_NORMAL;
    std::u16string_view name = u"MS Shell Dlg";
    std::copy(name.begin(), name.end(), face.lfFaceName);
    HFONT font = CreateFontIndirectW(&face);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE rest{}, more{};
    GetTextExtentPoint32W(dc, text.c_str() + first, static_cast<int>(text.size() - first), &rest);
    GetTextExtentPoint32W(dc, text.c_str() + first - 1, static_cast<int>(text.size() - first + 1),
                          &more);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
    RECT place = user_test::PlaceOf(dialog, edit);
    EXPECT_LE(rest.cx, place.right - place.left - 8);
    EXPECT_GT(more.cx, place.right - place.left - 9); // no further than needed
    // Asked again, it stays.
    EXPECT_TRUE(SendMessageW(edit, EM_SCROLLCARET, 0, 0));
    EXPECT_EQ(static_cast<size_t>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0)), first);

    // The picture shows the text from its first visible character.
    user_test::Picture after(dialog);
    RECT field{place.left + 3, place.top + 3, place.right - 3, place.bottom - 3};
    int changed = 0;
    for (int y = field.top; y < field.bottom; ++y)
        for (int x = field.left; x < field.right; ++x)
            changed += before.At(x, y) != after.At(x, y);
    EXPECT_GT(changed, 0);

    SendMessageW(edit, EM_SETSEL, 0, 0);
    EXPECT_TRUE(SendMessageW(edit, EM_SCROLLCARET, 0, 0));
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    // The longest text an edit holds by default scrolls at once.
    std::u16string longText(30000, u'x');
    SetWindowTextW(edit, longText.c_str());
    SendMessageW(edit, EM_SETSEL, 30000, 30000);
    EXPECT_TRUE(SendMessageW(edit, EM_SCROLLCARET, 0, 0));
    EXPECT_GT(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 29980);
    // A multiline edit accepts it and shows its first line.
    EXPECT_TRUE(SendDlgItemMessageW(dialog, 11, EM_SCROLLCARET, 0, 0));
    EXPECT_EQ(SendDlgItemMessageW(dialog, 11, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    DestroyWindow(dialog);
}

// The tool's window answers TTN_GETDISPINFOW in each of the ways it can.
struct TipAnswer {
    int calls = 0;
    int way = 0; // 0 szText, 1 lpszText, 2 string id, 3 szText kept (TTF_DI_SETITEM)
    HINSTANCE module = nullptr;
    LPARAM seenParam = 0;
};

LRESULT CALLBACK TipOwnerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
        auto* a = reinterpret_cast<TipAnswer*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (info->hdr.code == TTN_GETDISPINFOW && a) {
            ++a->calls;
            a->seenParam = info->lParam;
            static char16_t own[] = u"from a pointer";
            switch (a->way) {
            case 0:
                std::memcpy(info->szText, u"in the field", sizeof(u"in the field"));
                break;
            case 1:
                info->lpszText = own;
                break;
            case 2:
                info->hinst = a->module;
                info->lpszText = MAKEINTRESOURCEW(IDS_FIRST);
                break;
            default:
                std::memcpy(info->szText, u"kept", sizeof(u"kept"));
                info->uFlags |= TTF_DI_SETITEM;
                break;
            }
            return 0;
        }
    }
    return DefWindowProcW(h, msg, wp, lp);
}

TEST_F(DrawingCalls, TooltipsAskTheirToolForCallbackText) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TipOwnerProc;
    wc.lpszClassName = u"TipOwner";
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND owner = CreateWindowExW(0, u"TipOwner", u"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    TipAnswer answer;
    answer.module = probe;
    SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answer));
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                               nullptr, nullptr);
    ASSERT_NE(tip, nullptr);
    TTTOOLINFOW tool{sizeof(TTTOOLINFOW)};
    tool.hwnd = owner;
    tool.uId = 7;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    tool.lParam = 1234;
    ASSERT_TRUE(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)));
    WCHAR shown[80] = {};
    WCHAR expected[80] = {};
    LoadStringW(probe, IDS_FIRST, expected, 80);
    struct Case {
        int way;
        std::u16string text;
    } cases[] = {{0, u"in the field"}, {1, u"from a pointer"}, {2, expected}, {3, u"kept"}};
    for (const Case& c : cases) {
        answer.way = c.way;
        tool.lpszText = shown;
        SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(std::u16string(shown), c.text) << c.way;
    }
    EXPECT_EQ(answer.calls, 4);
    EXPECT_EQ(answer.seenParam, 1234);
    // Kept: the tool is not asked again.
    answer.way = 0;
    SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::u16string(shown), u"kept");
    EXPECT_EQ(answer.calls, 4);
    DestroyWindow(tip);
    DestroyWindow(owner);
    UnregisterClassW(u"TipOwner", nullptr);
}

} // namespace
