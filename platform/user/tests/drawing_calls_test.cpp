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
