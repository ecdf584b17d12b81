// List controls by item data and the moving and growing of controls, on
// controls of the platform's window manager.
#include <gtest/gtest.h>

#include "kinsoku_list.h"
#include "list_helpers.h"
#include "platform/gdi_ctl.h"
#include "ui_fixture.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/commctrl.h"
#include "win/user.h"
#include "win/user_constants.h"

namespace {

using namespace sheetwright;

struct Window : ::testing::Test {
    void SetUp() override {
        resources = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_TRUE(resources);
        parent = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300,
                                 nullptr, nullptr, nullptr, nullptr);
        combo = Child(u"ComboBox", 10, CBS_DROPDOWNLIST, 10, 10, 100, 20);
        list = Child(u"ListBox", 11, 0, 10, 40, 100, 60);
        ASSERT_TRUE(parent && combo && list);
    }
    void TearDown() override {
        if (parent) DestroyWindow(parent);
        if (resources) FreeLibrary(resources);
    }
    HWND Child(const char16_t* cls, int id, DWORD style, int x, int y, int w, int h) {
        return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    RECT Where(HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&r), 2);
        return r;
    }
    HMODULE resources = nullptr;
    HWND parent = nullptr, combo = nullptr, list = nullptr;
};

TEST_F(Window, ComboByItemData) {
    EXPECT_EQ(GetComboSelData(combo), CB_ERR);
    EXPECT_FALSE(SelectComboByData(combo, 5)) << "an empty box";
    KinsokuChainNode third{3, 4003, 0, 0, nullptr};
    KinsokuChainNode refused{2, 4002, 0, 1, &third};
    KinsokuChainNode first{static_cast<WORD>(-1), 4001, 0, 0, &refused};
    ASSERT_TRUE(FillComboFromModelList(resources, combo, &first));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2) << "the refused value is left out";
    EXPECT_EQ(GetComboSelData(combo), CB_ERR) << "nothing selected is not item 0's data";
    EXPECT_TRUE(SelectComboByData(combo, 3));
    EXPECT_EQ(GetComboSelData(combo), 3);
    EXPECT_TRUE(SelectComboByData(combo, -1)) << "values are sign-extended";
    EXPECT_FALSE(SelectComboByData(combo, 2));
    EXPECT_EQ(GetComboSelData(combo), -1);
    WCHAR text[32] = {};
    SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), u"in.");
    const ComboRow rows[] = {{4001, 0, 10, 0}, {4002, 0, 20, 0}};
    ASSERT_TRUE(FillComboFromRows(resources, combo, rows, 2));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    EXPECT_TRUE(SelectComboByData(combo, 20));
    EXPECT_EQ(GetComboSelData(combo), 20);
    EXPECT_FALSE(FillComboFromRows(resources, nullptr, rows, 2));
}

TEST_F(Window, ListByItemData) {
    for (LPARAM data : {7, 8}) {
        LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"x"));
        SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), data);
    }
    EXPECT_EQ(GetListSelData(list), LB_ERR);
    EXPECT_TRUE(SelectListByData(list, 8));
    EXPECT_EQ(GetListSelData(list), 8);
    EXPECT_FALSE(SelectListByData(list, 9));
    EXPECT_EQ(GetListSelData(list), 8);
}

// A tip by string id carries the library's string; an id the library has
// no text for goes to the tooltip with the library; a larger value is the
// text itself.
TEST_F(Window, ToolTipsByIdOrText) {
    HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, parent, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(tip);
    std::u16string own = u"Own text";
    struct Case {
        HWND control;
        ULONG_PTR textOrId;
        const char16_t* text;
        const char16_t* stored;
    } cases[] = {
        {combo, 4003, u"in.", u"in."},
        {list, 4999, u"", u""},
        {combo, reinterpret_cast<ULONG_PTR>(own.c_str()), u"Own text", u"kept"},
    };
    for (const Case& c : cases) {
        std::u16string stored = u"kept";
        EXPECT_TRUE(AddToolTip(resources, tip, c.control, c.textOrId, &stored)) << c.textOrId;
        EXPECT_EQ(stored, c.stored);
        WCHAR text[32] = {u'#'};
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.hwnd = parent;
        info.uId = reinterpret_cast<UINT_PTR>(c.control);
        info.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(std::u16string(text), c.text) << c.textOrId;
    }
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 2) << "one tool per control";
    EXPECT_FALSE(AddToolTip(resources, nullptr, combo, 4003, nullptr));
    EXPECT_FALSE(AddToolTip(resources, tip, nullptr, 4003, nullptr));
    DestroyWindow(tip);
}

TEST_F(Window, RowsCloseUpAndControlsGrow) {
    HWND a = Child(u"Button", 21, 0, 10, 100, 50, 20);
    HWND b = Child(u"Button", 22, 0, 10, 130, 50, 20);
    HWND c = Child(u"Button", 23, 0, 10, 160, 50, 20);
    const ControlRow rows[] = {{{21, 0, 0, 0}, 1}, {{22, 0, 0, 0}, 0}, {{23, 0, 0, 0}, 1}};
    ShowControlRows(parent, rows, 3, TRUE);
    EXPECT_FALSE(IsWindowVisible(b));
    EXPECT_EQ(Where(a).top, 100);
    EXPECT_EQ(Where(c).top, 130) << "the row below moves into the room";
    const ControlRow allOn[] = {{{21, 0, 0, 0}, 1}, {{23, 0, 0, 0}, 1}};
    ShowControlRows(parent, allOn, 2, TRUE);
    EXPECT_EQ(Where(c).top, 130) << "every row on moves nothing";

    // Mode 0 grows evenly, the odd unit to the right and the bottom.
    const DWORD size[2] = {55, 23};
    DWORD growth[4] = {};
    ASSERT_TRUE(ResizeControlWidth(parent, a, size, growth, 0));
    EXPECT_EQ(growth[0], 2u);
    EXPECT_EQ(growth[2], 3u);
    EXPECT_EQ(growth[1], 1u);
    EXPECT_EQ(growth[3], 2u);
    EXPECT_EQ(Where(a).left, 8);
    EXPECT_EQ(Where(a).right, 63);
    EXPECT_FALSE(ResizeControlWidth(parent, a, size, growth, 0)) << "already big enough";
    const DWORD margins[4] = {1, 2, 3, 4};
    ASSERT_TRUE(InflateControl(parent, c, margins, 2));
    EXPECT_EQ(Where(c).top, 128);
    EXPECT_EQ(Where(c).left, 10) << "only the top and bottom";
    const DWORD none[4] = {};
    EXPECT_FALSE(InflateControl(parent, c, none, 3));
    OffsetControl(parent, c, 5, -8);
    EXPECT_EQ(Where(c).left, 15);
    EXPECT_EQ(Where(c).top, 120);
}

TEST_F(Window, PaperSizeBox) {
    auto source = ui_test::SampleSource("CX5540");
    for (auto& e : source["codes"]["20"]["entries"]) {
        if (e["id"] == 1) e["name_id"] = 8001;  // "Letter"
        if (e["id"] == 5) e["flags2"] = "0x0A"; // Legal refuses pages per sheet
    }
    ui_test::InstallPrinter(u"P", ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    DEVMODE_IMAGEW image{};
    image.dm.dmPaperSize = 1;
    KinsokuChainNode unknown{444, 0, 0, 0, nullptr};
    KinsokuChainNode legal{5, 0, 0, 1, &unknown}; // refused marks are not looked at
    KinsokuChainNode letter{1, 0, 0, 0, &legal};
    CUserPaper papers;
    ASSERT_TRUE(
        FillPaperSizeCombo(resources, combo, p.binding(), &image, &letter, &papers, TRUE, nullptr));
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3) << "same-as, Letter, Legal";
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 1, 0), 1);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 2, 0), 5);
    WCHAR text[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), u"Same as Paper Size");
    SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), u"Letter   8.50 x 11.00 in.");
    // Pages per sheet leave Legal out.
    image.priv.LayoutKind = 1;
    ASSERT_TRUE(FillPaperSizeCombo(resources, combo, p.binding(), &image, &letter, &papers, FALSE,
                                   nullptr));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 1);
    EXPECT_FALSE(
        FillPaperSizeCombo(resources, combo, nullptr, &image, &letter, &papers, TRUE, nullptr));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0) << "emptied all the same";
}

} // namespace

namespace {

using namespace sheetwright;

constexpr COLORREF kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255),
                   kKey = RGB(255, 0, 255);

// A top-down 24-bit DIB section, filled row by row from colours.
HBITMAP Picture(int w, int h, const std::vector<COLORREF>& pixels, void** bits = nullptr) {
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    const int stride = (w * 3 + 3) / 4 * 4;
    for (int y = 0; b && y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* q = static_cast<BYTE*>(p) + y * stride + 3 * x;
            const COLORREF c = pixels.empty() ? kWhite : pixels[static_cast<size_t>(y * w + x)];
            q[0] = GetBValue(c), q[1] = GetGValue(c), q[2] = GetRValue(c);
        }
    if (bits) *bits = p;
    return b;
}

// The bitmap lands centred on the point, an odd pixel more to the right and
// below; the transparent colour leaves the canvas showing through.
TEST(DrawBitmapTransparent, CentredWithTheKeyLeftOut) {
    const long objects = platform::test::LiveGdiObjects();
    constexpr int kSide = 16, kStride = (kSide * 3 + 3) / 4 * 4;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP canvas = Picture(kSide, kSide, {}, &bits);
    HGDIOBJ old = SelectObject(dc, canvas);
    auto at = [&](int x, int y) {
        const BYTE* q = static_cast<const BYTE*>(bits) + y * kStride + 3 * x;
        return RGB(q[2], q[1], q[0]);
    };
    // 3 x 3 with the key in the middle and a blue corner; 4 x 2 all red.
    HBITMAP odd = Picture(3, 3, {kBlue, kRed, kRed, kRed, kKey, kRed, kRed, kRed, kRed});
    HBITMAP even = Picture(4, 2, std::vector<COLORREF>(8, kRed));
    ASSERT_TRUE(DrawBitmapTransparent(dc, 5, 5, odd, kKey));
    EXPECT_EQ(at(4, 4), kBlue) << "the top left at (x - 1, y - 1)";
    EXPECT_EQ(at(5, 5), kWhite) << "the key shows the canvas";
    EXPECT_EQ(at(6, 6), kRed);
    EXPECT_EQ(at(3, 3), kWhite);
    EXPECT_EQ(at(7, 7), kWhite);
    ASSERT_TRUE(DrawBitmapTransparent(dc, 12, 12, even, kKey));
    for (int x = 9; x <= 14; ++x)
        for (int y = 10; y <= 13; ++y)
            EXPECT_EQ(at(x, y), x >= 10 && x <= 13 && y >= 11 && y <= 12 ? kRed : kWhite)
                << x << "," << y;
    EXPECT_FALSE(DrawBitmapTransparent(dc, 5, 5, nullptr, kKey));
    EXPECT_FALSE(DrawBitmapTransparent(nullptr, 5, 5, odd, kKey));
    SelectObject(dc, old);
    DeleteObject(odd);
    DeleteObject(even);
    DeleteObject(canvas);
    DeleteDC(dc);
    EXPECT_EQ(platform::test::LiveGdiObjects(), objects);
    EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
}

} // namespace
