// CLeftBase: the preview pane on the left of the document pages (control 140)
// and of the layout dialogs (control 424). It reads one device-mode image (the
// sheet's working image, or a dialog's copy) and paints the paper names, a
// row of status icons for the settings that differ from the usual, and a
// picture of the printed sheet. It never changes the image. CPaperArraw is
// the Basic page's paper-direction arrow.
#pragma once

#include <map>
#include <vector>

#include "afxctl.h"
#include "sheet_context.h"

namespace sheetwright {

// Pane kinds: the property pages' pane, anything else is a dialog's.
inline constexpr int kPaneOfPages = 1;
inline constexpr int kPaneOfDialog = 2;

// Picture placements: a 3 x 3 grid by rows, top left first.
inline constexpr int kPlacementCentre = 4;

// The six pictures of a sheet with the content's scale and placement (id 0:
// no picture).
struct PreviewPictures {
    DWORD sheet = 0;
    DWORD content = 0;
    DWORD order = 0;
    DWORD punch = 0;
    DWORD staple = 0;
    DWORD duplex = 0;
    double scale = 1.0;
    int placement = kPlacementCentre;
};

class CLeftBase : public CStatic {
  public:
    // Rectangles of the pane, in its own pixels.
    static constexpr RECT kTitleRect{16, 11, 238, 37};
    static constexpr RECT kStatusRect{7, 250, 250, 325};
    static constexpr RECT kPageRect{19, 54, 235, 225};
    static constexpr int kInnerMargin = 20;
    static constexpr int kStatusSlots = 14;
    static constexpr int kSlotsPerRow = 7;

    CLeftBase() = default;
    ~CLeftBase() override;
    CLeftBase(const CLeftBase&) = delete;
    CLeftBase& operator=(const CLeftBase&) = delete;

    // Binds the pane to the sheet and to the image it shows (the sheet's
    // working image when null), loads its background and takes the
    // background's size. FALSE without a window.
    BOOL Init(SheetContext* context, int kind, DEVMODE_IMAGEW* image);
    // Paints the title, the status icons and the page picture again.
    void Refresh();
    // Pixels from the pane's top to what the page places below it.
    WORD VerticalOffset() const { return verticalOffset_; }
    // How often the pane was refreshed since it was bound.
    DWORD Refreshes() const { return refreshes_; }

    // What the pane shows, worked out without drawing.
    const DEVMODE_IMAGEW* Image() const { return image_; }
    bool IsLandscapeView() const;
    DWORD PictureVariant(DWORD id) const;
    PreviewPictures ChoosePictures() const;
    // The icon of every status slot in order (0: an empty slot).
    std::vector<DWORD> StatusIcons() const;
    // The title's text, and whether it is drawn on two lines.
    std::u16string TitleText(std::u16string* first, std::u16string* second) const;
    COLORREF TransparentColour() const { return transparent_; }
    // Lines the borders of n pages per sheet take: {vertical, horizontal}.
    static POINT BorderLines(WORD pagesPerSheet, bool landscapeView);
    // The zoom picture step of a percentage (25 to 350).
    static int ZoomStep(int percent);
    // Bitmaps the pane holds now (each loaded once).
    size_t LoadedBitmaps() const { return bitmaps_.size(); }

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    HBITMAP Bitmap(DWORD id);
    void DrawTitle(HDC dc);
    void DrawStatusIcons(HDC dc);
    void DrawPage(HDC dc);
    void DrawSheetBorders(HDC dc, SIZE sheet);
    void MatchTransparentColour(HBITMAP bitmap);
    const DEVMODE_IMAGEW& Default() const;

    SheetContext* context_ = nullptr;
    DEVMODE_IMAGEW* image_ = nullptr;
    int kind_ = kPaneOfPages;
    HBITMAP background_ = nullptr;
    SIZE backgroundSize_{};
    COLORREF transparent_ = 0;
    WORD verticalOffset_ = 0;
    DWORD refreshes_ = 0;
    // Bitmaps by id, loaded at their first use and freed with the pane (a
    // missing one is remembered as null, and not asked for again).
    std::map<DWORD, HBITMAP> bitmaps_;
};

// The paper-direction arrow of the Basic page (control 139).
class CPaperArraw : public CStatic {
  public:
    COLORREF TransparentColour() const { return transparent_; }

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    COLORREF transparent_ = 0;
};

// The colour of pixel (x, y) of a bitmap; CLR_INVALID when it cannot be read.
COLORREF BitmapPixel(HBITMAP bitmap, int x, int y);

} // namespace sheetwright
