// The owner-painted controls on a dialog worked by the headless driver:
// list items drawn in columns into a memory bitmap, the painted static and
// the scroll bar that moves it, checked by the pixels they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "afxdlgs.h"
#include "custom_controls.h"
#include "platform/engine_fonts.h"
#include "platform/gdi_ctl.h"
#include "user_fixture.h"

namespace {

using namespace sheetwright;
namespace driver = platform::user::driver;

constexpr int kList = 569, kStatic = 480, kScroll = 494;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kWindow = RGB(250, 250, 240);
constexpr COLORREF kWindowText = RGB(10, 10, 10);
constexpr COLORREF kHighlight = RGB(0, 0, 200);
constexpr COLORREF kHighlightText = RGB(255, 255, 0);
constexpr COLORREF kGrayText = RGB(128, 128, 128);
constexpr COLORREF kFace = RGB(212, 208, 200);
// The colours a context had before an item was drawn on it.
constexpr COLORREF kPriorText = RGB(1, 2, 3);
constexpr COLORREF kPriorBack = RGB(4, 5, 6);

std::vector<BYTE> DialogTemplate() {
    user_test::TemplateBuilder b;
    b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 300, 200, u"Custom")
        .Item(0x83, nullptr, LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | WS_TABSTOP, 7, 7, 200, 80, kList,
              u"")
        .Item(0x82, nullptr, SS_LEFT, 7, 100, 150, 40, kStatic, u"Window text")
        .Item(0x84, nullptr, SBS_VERT, 160, 100, 10, 40, kScroll, u"");
    return b.Bytes();
}

class CCustomDialog : public CDialog {
  public:
    CMultiColumnListBox list;
    CBKStatic label;
    CLinkedScrollBar scroll;

  protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kList, list);
        DDX_Control(dx, kStatic, label);
        DDX_Control(dx, kScroll, scroll);
    }
};

// A white 24-bit bitmap in a memory device context, read pixel by pixel.
class Canvas {
  public:
    Canvas(int w, int h) : w_(w), h_(h), stride_((w * 3 + 3) / 4 * 4) {
        dc.CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap_.Attach(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
        old_ = ::SelectObject(dc, bitmap_);
        Clear();
    }
    ~Canvas() {
        ::SelectObject(dc, old_);
        dc.DeleteDC();
    }
    void Clear() { dc.FillSolidRect(0, 0, w_, h_, kWhite); }
    COLORREF At(int x, int y) const {
        const BYTE* p = static_cast<const BYTE*>(bits_) + y * stride_ + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    // First and last column (or row) with a pixel unlike `background` in
    // the given band; -1, -1 when none.
    std::pair<int, int> Columns(COLORREF background, int x0, int x1, int y0, int y1) const {
        int first = -1, last = -1;
        for (int x = x0; x < x1; ++x)
            for (int y = y0; y < y1; ++y)
                if (At(x, y) != background) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
        return {first, last};
    }
    std::pair<int, int> Rows(COLORREF background) const {
        int first = -1, last = -1;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (At(x, y) != background) {
                    if (first < 0) first = y;
                    last = y;
                    break;
                }
        return {first, last};
    }
    bool Has(COLORREF color) const {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (At(x, y) == color) return true;
        return false;
    }
    CDC dc;

  private:
    int w_, h_, stride_;
    CBitmap bitmap_;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

class CustomControlsTest : public user_test::UserTest {
  protected:
    void SetUp() override {
        objects_ = platform::test::LiveGdiObjects();
        using platform::user::test::SetSysColor;
        SetSysColor(COLOR_WINDOW, kWindow);
        SetSysColor(COLOR_WINDOWTEXT, kWindowText);
        SetSysColor(COLOR_HIGHLIGHT, kHighlight);
        SetSysColor(COLOR_HIGHLIGHTTEXT, kHighlightText);
        SetSysColor(COLOR_GRAYTEXT, kGrayText);
        SetSysColor(COLOR_BTNFACE, kFace);
        bytes_ = DialogTemplate();
        dlg_ = std::make_unique<CCustomDialog>();
        ASSERT_TRUE(dlg_->CreateIndirect(reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data())));
        LOGFONTW lf{};
        lf.lfHeight = -12;
        std::u16string face = u"Arial";
        std::copy(face.begin(), face.end(), lf.lfFaceName);
        font_ = lf;
    }
    void TearDown() override {
        dlg_->DestroyWindow();
        dlg_.reset();
        CWnd::DeleteTempMap();
        CGdiObject::DeleteTempMap();
        CDC::DeleteTempMap();
        // Text on memory contexts keeps its realized fonts until they are let go.
        platform::engine::ReleaseDeviceFonts(nullptr);
        EXPECT_EQ(platform::test::LiveGdiObjects(), objects_);
        EXPECT_EQ(platform::test::LiveDeviceContexts(), 0);
        UserTest::TearDown();
    }
    // Draws item 0 of the list, with this text and state, into the canvas at
    // (0, 0, kItemW, kItemH).
    void DrawItem(Canvas& canvas, const char16_t* text, UINT state, UINT id = 0) {
        dlg_->list.ResetContent();
        dlg_->list.AddString(text);
        canvas.Clear();
        canvas.dc.SetTextColor(kPriorText);
        canvas.dc.SetBkColor(kPriorBack);
        CFont font;
        font.CreateFontIndirect(&font_);
        CFont* old = canvas.dc.SelectObject(&font);
        DRAWITEMSTRUCT item{ODT_LISTBOX,
                            kList,
                            id,
                            ODA_DRAWENTIRE,
                            state,
                            dlg_->list,
                            canvas.dc,
                            {0, 0, kItemW, kItemH},
                            0};
        EXPECT_EQ(dlg_->SendMessage(WM_DRAWITEM, kList, reinterpret_cast<LPARAM>(&item)), TRUE);
        canvas.dc.SelectObject(old);
    }
    int AveCharWidth(Canvas& canvas) {
        CFont font;
        font.CreateFontIndirect(&font_);
        CFont* old = canvas.dc.SelectObject(&font);
        TEXTMETRICW tm{};
        canvas.dc.GetTextMetrics(&tm);
        canvas.dc.SelectObject(old);
        return tm.tmAveCharWidth;
    }
    static constexpr int kItemW = 200, kItemH = 16;
    std::vector<BYTE> bytes_;
    std::unique_ptr<CCustomDialog> dlg_;
    LOGFONTW font_{};
    long objects_ = 0;
};

TEST_F(CustomControlsTest, ItemHeightIsEightDialogUnitsMeasuredOnce) {
    RECT r{0, 0, 0, 8};
    MapDialogRect(dlg_->m_hWnd, &r);
    ASSERT_GT(r.bottom, 0);
    for (int i = 0; i < 2; ++i) {
        MEASUREITEMSTRUCT m{ODT_LISTBOX, kList, static_cast<UINT>(i), 0, 0, 0};
        EXPECT_EQ(dlg_->SendMessage(WM_MEASUREITEM, kList, reinterpret_cast<LPARAM>(&m)), TRUE);
        EXPECT_EQ(m.itemHeight, static_cast<UINT>(r.bottom));
    }
}

TEST_F(CustomControlsTest, ItemPartsFallInTheirColumns) {
    Canvas canvas(kItemW, kItemH);
    const int ave = AveCharWidth(canvas);
    const std::u16string longText(60, u'X');
    struct Case {
        const char* name;
        std::vector<int> columns;
        bool toEdge;
        std::u16string text;
        int x0, x1;              // the band looked at
        int wantFirst, wantLast; // ink there (within one character); -1: none
    } cases[] = {
        {"no tabs: the whole width less 2 on each side",
         {},
         false,
         longText,
         0,
         kItemW,
         2,
         kItemW - 3},
        {"first part stops 2 before the column", {60}, false, longText + u"\tY", 0, 60, 2, 57},
        {"second part starts at its column", {60}, false, u"A\tX", 58, kItemW, 60, 60 + ave},
        {"last part stops 2 before the edge",
         {60},
         false,
         u"A\t" + longText,
         150,
         kItemW,
         150,
         kItemW - 3},
        {"more tabs than columns: the rest is one part",
         {60},
         false,
         u"A\tB\t" + longText,
         150,
         kItemW,
         150,
         kItemW - 3},
        {"the rest reaches the edge when asked",
         {60},
         true,
         u"A\tB\t" + longText,
         150,
         kItemW,
         150,
         kItemW - 1},
        {"no columns, tabs expanded", {}, false, u"\tX", 0, kItemW, 2 + 8 * ave, 2 + 9 * ave},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dlg_->list.SetColumns(c.columns);
        dlg_->list.SetLastColumnToEdge(c.toEdge);
        DrawItem(canvas, c.text.c_str(), 0);
        EXPECT_EQ(canvas.At(0, 0), kWindow); // the item's background
        auto [first, last] = canvas.Columns(kWindow, c.x0, c.x1, 0, kItemH);
        EXPECT_GE(first, c.wantFirst);
        EXPECT_LE(first, c.wantFirst + ave);
        EXPECT_LE(last, c.wantLast);
        EXPECT_GE(last, c.wantLast - ave);
    }
}

TEST_F(CustomControlsTest, ItemStatesChooseColoursAndFocus) {
    Canvas canvas(kItemW, kItemH);
    struct Case {
        const char* name;
        UINT state;
        COLORREF background, text;
        bool focusFrame;
    } cases[] = {
        {"plain", 0, kWindow, kWindowText, false},
        {"selected", ODS_SELECTED, kHighlight, kHighlightText, false},
        {"disabled", ODS_DISABLED, kWindow, kGrayText, false},
        {"focused", ODS_FOCUS, kWindow, kWindowText, true},
        {"focused without the frame", ODS_FOCUS | ODS_NOFOCUSRECT, kWindow, kWindowText, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DrawItem(canvas, u"HHHH\tHHHH", c.state);
        EXPECT_EQ(canvas.At(kItemW / 2, kItemH - 2), c.background);
        EXPECT_TRUE(canvas.Has(c.text));
        // The frame's dots invert the background along the top row.
        EXPECT_EQ(canvas.At(0, 0) != c.background || canvas.At(1, 0) != c.background, c.focusFrame);
        // The context's colours are as they were.
        EXPECT_EQ(canvas.dc.GetTextColor(), kPriorText);
        EXPECT_EQ(canvas.dc.GetBkColor(), kPriorBack);
    }
    // An empty list's focus request (item -1) draws nothing.
    DrawItem(canvas, u"X", ODS_FOCUS, static_cast<UINT>(-1));
    EXPECT_EQ(canvas.Columns(kWhite, 0, kItemW, 0, kItemH).first, -1);
}

TEST_F(CustomControlsTest, StaticPaintsItsBackgroundAndText) {
    CRect client;
    dlg_->label.GetClientRect(&client);
    Canvas canvas(client.Width(), client.Height());
    CBKStatic& label = dlg_->label;

    // Its own colours; an empty stored text shows the window text.
    label.SetBackgroundColor(RGB(0, 128, 0));
    label.SetTextColor(RGB(255, 0, 0));
    label.SetTextFont(&font_);
    label.Paint(&canvas.dc);
    EXPECT_EQ(canvas.At(client.Width() - 1, client.Height() - 1), RGB(0, 128, 0));
    EXPECT_TRUE(canvas.Has(RGB(255, 0, 0)));
    label.SetWindowText(u"");
    label.Paint(&canvas.dc);
    EXPECT_EQ(canvas.Rows(RGB(0, 128, 0)).first, -1); // nothing but background
    label.SetText(u"Stored");
    label.Paint(&canvas.dc);
    EXPECT_NE(canvas.Rows(RGB(0, 128, 0)).first, -1);

    // Tab stops every 40 pixels, after a one-character margin.
    const int ave = AveCharWidth(canvas);
    label.SetText(u"\tX");
    label.SetTabSpacing(40);
    label.Paint(&canvas.dc);
    auto [first, last] = canvas.Columns(RGB(0, 128, 0), 0, client.Width(), 0, client.Height());
    const int stop = ave + 40 / ave * ave;
    EXPECT_GE(first, stop);
    EXPECT_LE(first, stop + ave);
    (void)last;
    // Default colours are the dialog face and window text.
    CBKStatic fresh;
    fresh.SetTextFont(nullptr);
    CDC none;
    fresh.Paint(&none); // no window, no context: nothing happens
}

TEST_F(CustomControlsTest, ScrollBarMovesTheLinkedStatic) {
    CBKStatic& label = dlg_->label;
    CLinkedScrollBar& scroll = dlg_->scroll;
    SCROLLINFO info{};
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = -50;
    info.nMax = 50;
    info.nPage = 10;
    scroll.SetScrollInfo(&info, FALSE);
    scroll.SetLinkedControl(kStatic);
    label.SetTextRect(CRect(0, 10, 300, 50));
    label.FollowVerticalScroll(kScroll);
    label.SetTextFont(&font_);
    label.SetText(u"Moves");

    CRect client;
    label.GetClientRect(&client);
    Canvas canvas(client.Width(), client.Height());
    label.Paint(&canvas.dc);
    const int top = canvas.Rows(kFace).first;
    ASSERT_GE(top, 0);

    // A person drags the thumb; the parent's request reaches the scroll bar.
    driver::ScrollTo(scroll.m_hWnd, 5);
    EXPECT_EQ(scroll.Position(), 5);
    EXPECT_EQ(scroll.GetScrollPos(), 5);
    EXPECT_EQ(label.TextRect(), CRect(0, 5, 300, 45));
    label.Paint(&canvas.dc);
    EXPECT_EQ(canvas.Rows(kFace).first, top - 5);

    // Paging past the end stops at the maximum less the page.
    for (int i = 0; i < 10; ++i)
        dlg_->SendMessage(WM_VSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(scroll.m_hWnd));
    EXPECT_EQ(scroll.GetScrollPos(), 40);
    dlg_->SendMessage(WM_VSCROLL, SB_TOP, reinterpret_cast<LPARAM>(scroll.m_hWnd));
    EXPECT_EQ(scroll.GetScrollPos(), -50);
}

TEST(LinkedScrollBar, NextPositionFollowsTheRequest) {
    SCROLLINFO info{sizeof info, SIF_ALL, -50, 50, 10, 0, 0};
    struct Case {
        UINT code;
        int thumb, current, want;
    } cases[] = {
        {SB_LINEUP, 0, 0, -1},
        {SB_LINEDOWN, 0, 0, 1},
        {SB_PAGEUP, 0, 0, -10},
        {SB_PAGEDOWN, 0, 0, 10},
        {SB_THUMBTRACK, static_cast<WORD>(-30), 0, -30},
        {SB_THUMBPOSITION, 25, 0, 25},
        {SB_THUMBPOSITION, 49, 0, 40},
        {SB_TOP, 0, 7, -50},
        {SB_BOTTOM, 0, 7, 40},
        {SB_PAGEDOWN, 0, 35, 40},
        {SB_LINEUP, 0, -50, -50},
        {SB_ENDSCROLL, 0, 13, 13},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            CLinkedScrollBar::NextPosition(c.code, static_cast<UINT>(c.thumb), c.current, info),
            c.want)
            << c.code << " from " << c.current;
    // A page larger than the range keeps the position at the minimum.
    SCROLLINFO small{sizeof small, SIF_ALL, 0, 5, 10, 0, 0};
    EXPECT_EQ(CLinkedScrollBar::NextPosition(SB_BOTTOM, 0, 3, small), 0);
}

} // namespace
