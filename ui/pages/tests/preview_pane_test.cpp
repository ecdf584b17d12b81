// The preview pane: which pictures and status icons a device mode gives, the
// title on one or two lines, the drawing itself (turned, mirrored, zoomed far
// in and not at all), bitmaps loaded once, and nothing left behind by paints.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pages_fixture.h"
#include "platform/gdi_ctl.h"
#include "platform/user_ctl.h"
#include "preview_pane.h"
#include "user_fixture.h"
#include "win/base.h"
#include "win/gdi_bitmap.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;

constexpr int kPaneId = 424;

// A modeless host with one static control for the pane.
class PaneHost {
  public:
    PaneHost() {
        user_test::TemplateBuilder b;
        b.Dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT, 200, 240, u"Preview")
            .Item(0x82, nullptr, SS_BLACKFRAME, 4, 4, 160, 208, kPaneId, u"");
        bytes_ = b.Bytes();
        dialog_ = CreateDialogIndirectParamW(
            nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(bytes_.data()), nullptr, Procedure, 0);
    }
    ~PaneHost() {
        if (dialog_) DestroyWindow(dialog_);
    }
    HWND dialog() const { return dialog_; }
    HWND pane() const { return GetDlgItem(dialog_, kPaneId); }

  private:
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG;
    }
    std::vector<BYTE> bytes_;
    HWND dialog_ = nullptr;
};

class PreviewPane : public pages_test::SheetFixture {
  protected:
    // A pane over a copy of the working image, without a window.
    CLeftBase& Pane(const DEVMODE_IMAGEW& image) {
        image_ = image;
        pane_.Init(context_, kPaneOfDialog, &image_);
        return pane_;
    }
    DEVMODE_IMAGEW image_{};
    CLeftBase pane_;
};

TEST_F(PreviewPane, PicturesByLayout) {
    struct Case {
        const char* name;
        SHORT orientation;
        WORD colour, layout, pages, order, zoom;
        DWORD sheet, content, order_;
        double scale;
    };
    const Case cases[] = {
        {"no layout", 1, 2, 0, 0, 0, 100, 2551, 2562, 0, 1.0},
        {"grayscale landscape", 2, 1, 0, 0, 0, 100, 2550, 2561, 0, 1.0},
        {"six up portrait is a landscape view", 1, 2, 1, 6, 0, 100, 2550, 2572, 2608, 1.0},
        {"two up, order 3", 1, 2, 1, 2, 3, 100, 2550, 2564, 2603, 1.0},
        {"two up, order 1 has no picture", 1, 2, 1, 2, 1, 100, 2550, 2564, 0, 1.0},
        {"four up, order 2", 1, 2, 1, 4, 2, 100, 2551, 2570, 2607, 1.0},
        {"an unknown count shows one page", 1, 2, 1, 5, 0, 100, 2551, 2562, 2604, 1.0},
        {"booklet turns the view", 1, 2, 2, 0, 0, 100, 2550, 2564, 0, 1.0},
        {"zoom 130 uses step 150", 1, 2, 16, 0, 0, 130, 2551, 2665, 0, 130.0 / 150},
        {"zoom 0 is drawn as 1", 1, 2, 16, 0, 0, 0, 2551, 2653, 0, 1.0 / 25},
        {"zoom -3 is drawn as 1", 1, 2, 16, 0, 0, static_cast<WORD>(-3), 2551, 2653, 0, 1.0 / 25},
        {"zoom 32767", 1, 2, 16, 0, 0, 32767, 2551, 2673, 0, 32767.0 / 350},
        {"fit to paper", 1, 2, 8, 0, 0, 100, 2551, 2562, 0, 1.0},
        {"unknown layout has no content", 1, 2, 32, 0, 0, 100, 2551, 0, 0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DEVMODE_IMAGEW im = Working();
        im.dm.dmOrientation = c.orientation;
        im.priv.ColorMode = c.colour;
        im.priv.LayoutKind = c.layout;
        im.priv.PagesPerSheet = c.pages;
        im.priv.PageOrder = c.order;
        im.priv.ZoomPercent = static_cast<SHORT>(c.zoom);
        const PreviewPictures p = Pane(im).ChoosePictures();
        EXPECT_EQ(p.sheet, c.sheet);
        EXPECT_EQ(p.content, c.content);
        EXPECT_EQ(p.order, c.order_);
        EXPECT_DOUBLE_EQ(p.scale, c.scale);
    }
}

TEST_F(PreviewPane, PosterSheetsZoomStepsAndBorders) {
    struct Grid {
        WORD across, down;
        DWORD sheet, content;
    };
    for (const Grid& g : {Grid{1, 2, 2630, 2562}, Grid{2, 1, 2630, 2562}, Grid{2, 2, 2636, 2562},
                          Grid{4, 4, 2644, 2562}, Grid{2, 3, 2551, 2562}}) {
        DEVMODE_IMAGEW im = Working();
        im.dm.dmOrientation = 1;
        im.priv.ColorMode = 2;
        im.priv.LayoutKind = 4;
        im.priv.PosterGrid[0] = g.across;
        im.priv.PosterGrid[1] = g.down;
        const PreviewPictures p = Pane(im).ChoosePictures();
        EXPECT_EQ(p.sheet, g.sheet) << g.across << "x" << g.down;
        // A poster of a listed grid shows its sheet picture only.
        EXPECT_EQ(p.content, g.sheet == 2551 ? 2562u : 0u);
    }
    const std::pair<int, int> steps[] = {{-5, 25},   {24, 25},   {40, 25},   {41, 50},
                                         {60, 50},   {61, 75},   {85, 75},   {86, 100},
                                         {124, 100}, {125, 150}, {190, 150}, {191, 250},
                                         {300, 250}, {301, 350}, {9999, 350}};
    for (auto [percent, step] : steps)
        EXPECT_EQ(CLeftBase::ZoomStep(percent), step) << percent;
    EXPECT_EQ(CLeftBase::BorderLines(6, true).x, 2);
    EXPECT_EQ(CLeftBase::BorderLines(6, true).y, 1);
    EXPECT_EQ(CLeftBase::BorderLines(8, false).y, 3);
    EXPECT_EQ(CLeftBase::BorderLines(7, false).x, 0);
}

TEST_F(PreviewPane, StatusIcons) {
    DEVMODE_IMAGEW im = Working();
    im.priv.ReverseOrder = 0;
    im.dm.dmDuplex = DMDUP_SIMPLEX;
    im.dm.dmCopies = 20;
    im.dm.dmCollate = DMCOLLATE_TRUE;
    im.priv.PrivateFlags |= 1u << 20;
    im.priv.SortMode = 2;
    im.priv.LayoutKind = 16;
    im.priv.ZoomAnchor = 5;
    im.priv.WatermarkFlags = 0x2;
    im.priv.OverlayFlags = 0x3;
    // Zoom position, copies sorted and collated, watermark, the overlay made.
    EXPECT_EQ(Pane(im).StatusIcons(), (std::vector<DWORD>{2245, 2103, 2181, 2170}));

    im.priv.PrivateFlags &= ~(1u << 20);
    im.dm.dmCollate = DMCOLLATE_FALSE;
    im.priv.LayoutKind = 2;
    im.priv.BookletKind = 2;
    im.priv.WatermarkFlags = im.priv.OverlayFlags = 0;
    EXPECT_EQ(Pane(im).StatusIcons(), (std::vector<DWORD>{2231, 2100}));

    // Two-sided printing shows its icon first; one-sided none.
    DEVMODE_IMAGEW twoSided = Working();
    twoSided.dm.dmOrientation = DMORIENT_PORTRAIT;
    twoSided.dm.dmDuplex = DMDUP_VERTICAL;
    twoSided.dm.dmCopies = 1;
    twoSided.priv.LayoutKind = 0;
    twoSided.priv.ReverseOrder = 0;
    EXPECT_EQ(Pane(twoSided).StatusIcons(), (std::vector<DWORD>{2111}));

    // A sort mode beyond the icons leaves an empty place.
    im.priv.PrivateFlags |= 1u << 20;
    im.priv.SortMode = 9;
    im.priv.BookletKind = 0;
    EXPECT_EQ(Pane(im).StatusIcons(), (std::vector<DWORD>{0}));
}

TEST_F(PreviewPane, TitleOnOneOrTwoLines) {
    DEVMODE_IMAGEW im = Working();
    im.dm.dmPaperSize = 1;
    im.priv.OutputPaperId = 0;
    std::u16string first, second;
    const std::u16string whole = Pane(im).TitleText(&first, &second);
    EXPECT_EQ(whole, first + u" -> " + first);
    EXPECT_EQ(second, u"-> " + first);
}

// Every picture a device mode can ask for is drawn without fault, and a
// hundred paints leave the platform's objects as they were: bitmaps are
// loaded once and freed with the pane.
TEST_F(PreviewPane, PaintsLeaveNothingBehind) {
    PaneHost host;
    ASSERT_NE(host.pane(), nullptr);
    UpdateWindow(host.dialog()); // the window's own surface, made at its first paint
    const long before = platform::test::LiveGdiObjects();
    {
        CLeftBase pane;
        CWnd parent;
        parent.Attach(host.dialog());
        ASSERT_TRUE(pane.SubclassDlgItem(kPaneId, &parent));
        parent.Detach();
        DEVMODE_IMAGEW im = Working();
        im.priv.LayoutKind = 1;
        im.priv.PagesPerSheet = 6;
        im.priv.PageBorders = 3;
        im.priv.BorderWidth = 60000;
        im.priv.Rotate180 = 1;
        im.priv.OptionFlags = 1;
        im.priv.MirrorImage = 1;
        im.dm.dmDuplex = DMDUP_VERTICAL;
        ASSERT_TRUE(pane.Init(context_, kPaneOfDialog, &im));
        RECT r{};
        GetWindowRect(host.pane(), &r);
        EXPECT_EQ(r.right - r.left, 250); // the dialogs' background
        pane.Refresh();
        const long afterFirst = platform::test::LiveGdiObjects();
        const size_t loaded = pane.LoadedBitmaps();
        for (int i = 0; i < 100; ++i)
            pane.Refresh();
        EXPECT_EQ(platform::test::LiveGdiObjects(), afterFirst);
        EXPECT_EQ(pane.LoadedBitmaps(), loaded);
        EXPECT_EQ(pane.Refreshes(), 101u);
        EXPECT_NE(pane.TransparentColour(), 0u);

        // Zoomed far in and not at all: only the window shown is stretched.
        for (SHORT zoom : {SHORT{32767}, SHORT{0}, SHORT{-3}}) {
            im.priv.LayoutKind = 16;
            im.priv.ZoomPercent = zoom;
            im.priv.ZoomAnchor = 8;
            pane.Refresh();
        }
        pane.UnsubclassWindow();
    }
    EXPECT_EQ(platform::test::LiveGdiObjects(), before);
}

// The paper-direction arrow takes its transparent colour at its first paint
// and leaves nothing behind.
TEST_F(PreviewPane, PaperArrowPaints) {
    PaneHost host;
    UpdateWindow(host.dialog());
    const long before = platform::test::LiveGdiObjects();
    {
        CPaperArraw arrow;
        CWnd parent;
        parent.Attach(host.dialog());
        ASSERT_TRUE(arrow.SubclassDlgItem(kPaneId, &parent));
        parent.Detach();
        EXPECT_EQ(arrow.TransparentColour(), 0u);
        InvalidateRect(host.pane(), nullptr, TRUE);
        UpdateWindow(host.pane());
        EXPECT_NE(arrow.TransparentColour(), 0u);
        arrow.UnsubclassWindow();
    }
    EXPECT_EQ(platform::test::LiveGdiObjects(), before);
}

} // namespace
