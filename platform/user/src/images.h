// Icons and cursors loaded from a module's resources (bitmaps become GDI
// bitmaps of their own). The images are the user interface's own objects:
// GetIconInfo describes them. Loaded icons and cursors are shared per module
// and name (as LR_SHARED ones are on the system) and live until the platform
// is reset.
#pragma once

#include <memory>
#include <vector>

#include "win/commctrl.h"
#include "win/resources.h"

namespace platform::user {

struct Image {
    enum Kind { Bitmap, Icon, Cursor } kind = Bitmap;
    LONG width = 0;
    LONG height = 0; // the image's own height (an icon's mask not counted)
    WORD bitCount = 0;
    POINT hotspot{};
    bool png = false;      // an icon stored as PNG
    std::vector<BYTE> dib; // BITMAPINFOHEADER, colours and bits (or the PNG bytes)
    size_t bitsOffset = 0; // where the pixels start in dib
};

// The image behind a handle from LoadBitmapW/LoadIconW/LoadCursorW/LoadImageW.
std::shared_ptr<const Image> FindImage(HANDLE h);

// Checks a packed DIB (header, colours, bits) of size bytes; heightScale is 2
// for an icon's image, whose header counts the mask rows too. Fills
// everything but kind and hotspot. False when the bytes are not a DIB that
// can be drawn.
bool ReadPackedDib(const BYTE* dib, size_t size, int heightScale, Image* out);

// Pixels of an image: top-down rows of blue, green, red and alpha (0 where
// the image is masked out).
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> bgra;
};

// An icon's pixels, its mask (or its own alpha) as alpha; false for a handle
// that is no icon or an icon without pixels (the system's own).
bool IconPixels(HICON icon, Pixels* out);
// Draws the pixels (0, 0, fromWidth, fromHeight) of an image onto the
// rectangle `to` of dc, stretched: blended by their alpha when rop is 0,
// else blitted opaque under that raster operation.
bool DrawPixels(HDC dc, RECT to, int fromWidth, int fromHeight, const Pixels& image, DWORD rop);
// Image i of an image list as ImageList_Draw would draw it with this style
// and the list's background colour.
bool ImageListPixels(HIMAGELIST list, int i, UINT style, Pixels* out);

} // namespace platform::user
