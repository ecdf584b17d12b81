// Image lists: rows of same-sized images made from bitmaps (with a mask
// bitmap or a colour that stands for transparent) and icons, drawn into any
// device context through the GDI's own alpha blend. Each image is kept as
// blue, green, red and alpha bytes; alpha 0 marks the masked-out pixels.
#include <algorithm>
#include <cstring>
#include <new>

#include "images.h"
#include "platform/user_ctl.h"
#include "platform/core.h"
#include "platform/handles.h"
#include "win/commctrl.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace platform::user {
namespace {

// Images wider or taller than this are refused (a list of them would be
// megabytes per image).
constexpr int kLargestImage = 1024;
constexpr DWORD kOpaque = 0xFF000000;
// The colour-depth bits of a list's flags (ILC_COLOR4 ... ILC_COLOR32).
constexpr UINT kColorDepthMask = 0xFE;

struct ImageListObject : platform::HandleObject {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    COLORREF background = CLR_NONE;
    std::vector<Pixels> images;
    const char* KindName() const override { return "ImageList"; }
    bool ClosableByCloseHandle() const override { return false; }
    bool Masked() const { return (flags & ILC_MASK) != 0; }
    bool AlphaKept() const { return (flags & kColorDepthMask) == ILC_COLOR32; }
};

std::shared_ptr<ImageListObject> FindList(HIMAGELIST himl) {
    auto list = platform::LookupHandleAs<ImageListObject>(reinterpret_cast<HANDLE>(himl));
    if (!list) SetLastError(ERROR_INVALID_HANDLE);
    return list;
}

BITMAPINFO TopDown32(LONG width, LONG height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A GDI bitmap's pixels as top-down blue, green, red, alpha.
bool ReadBitmap(HBITMAP bitmap, Pixels* out) {
    BITMAPINFO probe{};
    probe.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    if (!GetDIBits(nullptr, bitmap, 0, 0, nullptr, &probe, DIB_RGB_COLORS)) return false;
    LONG width = probe.bmiHeader.biWidth;
    LONG height =
        probe.bmiHeader.biHeight < 0 ? -probe.bmiHeader.biHeight : probe.bmiHeader.biHeight;
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info = TopDown32(width, height);
    out->width = width;
    out->height = height;
    out->bgra.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return GetDIBits(nullptr, bitmap, 0, static_cast<UINT>(height), out->bgra.data(), &info,
                     DIB_RGB_COLORS) == height;
}

// The image at column `index` of a strip, cx by cy, nearest pixels when the
// strip is not cy high.
Pixels Cut(const Pixels& strip, int index, int cx, int cy) {
    Pixels image;
    image.width = cx;
    image.height = cy;
    image.bgra.assign(static_cast<size_t>(cx) * static_cast<size_t>(cy), 0);
    for (int y = 0; y < cy && y < strip.height; ++y)
        for (int x = 0; x < cx; ++x)
            image.bgra[static_cast<size_t>(y) * cx + x] =
                strip.bgra[static_cast<size_t>(y) * strip.width + index * cx + x];
    return image;
}

// The image resized to cx by cy (nearest pixels), for icons of another size.
Pixels Scale(const Pixels& from, int cx, int cy) {
    if (from.width == cx && from.height == cy) return from;
    Pixels to;
    to.width = cx;
    to.height = cy;
    to.bgra.resize(static_cast<size_t>(cx) * static_cast<size_t>(cy));
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            to.bgra[static_cast<size_t>(y) * cx + x] =
                from.bgra[static_cast<size_t>(y * from.height / cy) * from.width +
                          x * from.width / cx];
    return to;
}

// Pixels kept as the list keeps them: alpha only in 32-bit lists with a
// source that has alpha; otherwise every pixel opaque (the mask decides after).
void SettleAlpha(const ImageListObject& list, Pixels* image, bool sourceHasAlpha) {
    if (list.AlphaKept() && sourceHasAlpha) return;
    for (DWORD& p : image->bgra)
        p |= kOpaque;
}

bool HasAlpha(const Pixels& p) {
    return std::any_of(p.bgra.begin(), p.bgra.end(), [](DWORD v) { return (v >> 24) != 0; });
}

int Append(ImageListObject& list, std::vector<Pixels> images) {
    int first = static_cast<int>(list.images.size());
    for (auto& image : images)
        list.images.push_back(std::move(image));
    return first;
}

// The pixels of image i as they are drawn with style and colours (straight
// alpha), or nothing for a bad index.
bool Compose(const ImageListObject& list, int i, COLORREF background, COLORREF foreground,
             UINT style, Pixels* out) {
    if (i < 0 || i >= static_cast<int>(list.images.size())) return false;
    *out = list.images[static_cast<size_t>(i)];
    if (background == CLR_DEFAULT) background = list.background;
    if (style & ILD_TRANSPARENT) background = CLR_NONE;
    if (foreground == CLR_DEFAULT || foreground == CLR_NONE)
        foreground = GetSysColor(COLOR_HIGHLIGHT);
    for (DWORD& p : out->bgra) {
        BYTE alpha = static_cast<BYTE>(p >> 24);
        if (style & ILD_MASK) {
            // The mask itself: black where the image is, white around it.
            p = alpha ? kOpaque : (list.Masked() ? 0xFFFFFFFF : kOpaque);
            continue;
        }
        if (style & (ILD_BLEND25 | ILD_BLEND50)) {
            int share = (style & ILD_BLEND50) ? 2 : 4; // one half or one quarter of the colour
            auto mix = [&](int shift, BYTE fore) {
                int c = static_cast<int>((p >> shift) & 0xFF);
                return static_cast<DWORD>(c + (fore - c) / share) << shift;
            };
            p = (p & kOpaque) | mix(16, GetRValue(foreground)) | mix(8, GetGValue(foreground)) |
                mix(0, GetBValue(foreground));
        }
        if (!list.Masked()) {
            if (!list.AlphaKept()) p |= kOpaque;
        } else if (alpha == 0 && background != CLR_NONE) {
            p = kOpaque | (DWORD{GetRValue(background)} << 16) |
                (DWORD{GetGValue(background)} << 8) | GetBValue(background);
        }
    }
    return true;
}

} // namespace

bool IconPixels(HICON icon, Pixels* out) {
    auto image = FindImage(icon);
    if (!image || image->kind == Image::Bitmap || image->dib.empty()) return false;
    Pixels colours;
    colours.width = image->width;
    colours.height = image->height;
    colours.bgra.assign(static_cast<size_t>(image->width) * static_cast<size_t>(image->height), 0);
    BITMAPINFO target = TopDown32(image->width, image->height);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        if (section) DeleteObject(section);
        return false;
    }
    bool ok;
    size_t maskOffset = 0;
    if (image->png) {
        // The PNG bytes as the bits of a header that says so.
        BITMAPINFO png = TopDown32(image->width, image->height);
        png.bmiHeader.biHeight = image->height;
        png.bmiHeader.biBitCount = 0;
        png.bmiHeader.biCompression = BI_PNG;
        png.bmiHeader.biSizeImage = static_cast<DWORD>(image->dib.size());
        ok = SetDIBits(nullptr, section, 0, static_cast<UINT>(image->height), image->dib.data(),
                       &png, DIB_RGB_COLORS) > 0;
    } else {
        // The header counts the mask rows too: the colour rows come first.
        std::vector<BYTE> info(image->dib.begin(),
                               image->dib.begin() + static_cast<long>(image->bitsOffset));
        LONG rows = image->height;
        std::memcpy(info.data() + offsetof(BITMAPINFOHEADER, biHeight), &rows, sizeof rows);
        ok = SetDIBits(nullptr, section, 0, static_cast<UINT>(rows),
                       image->dib.data() + image->bitsOffset,
                       reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS) > 0;
        size_t stride = (static_cast<size_t>(image->width) * image->bitCount + 31) / 32 * 4;
        maskOffset = image->bitsOffset + stride * static_cast<size_t>(image->height);
    }
    if (ok) std::memcpy(colours.bgra.data(), bits, colours.bgra.size() * sizeof(DWORD));
    DeleteObject(section);
    if (!ok) return false;
    bool alpha = image->bitCount == 32 && HasAlpha(colours);
    if (!image->png && !alpha) {
        // The AND mask, bottom-up, one bit a pixel: set where the icon is not.
        size_t maskStride = (static_cast<size_t>(image->width) + 31) / 32 * 4;
        bool haveMask =
            maskOffset + maskStride * static_cast<size_t>(image->height) <= image->dib.size();
        for (LONG y = 0; y < image->height; ++y)
            for (LONG x = 0; x < image->width; ++x) {
                bool transparent = false;
                if (haveMask) {
                    const BYTE* row = image->dib.data() + maskOffset +
                                      maskStride * static_cast<size_t>(image->height - 1 - y);
                    transparent = (row[x / 8] >> (7 - x % 8)) & 1;
                }
                DWORD& p = colours.bgra[static_cast<size_t>(y) * image->width + x];
                p = transparent ? 0 : (p | kOpaque);
            }
    }
    *out = std::move(colours);
    return true;
}

bool DrawPixels(HDC dc, RECT to, int fromWidth, int fromHeight, const Pixels& image, DWORD rop) {
    BITMAPINFO info = TopDown32(image.width, image.height);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        if (section) DeleteObject(section);
        return false;
    }
    auto* out = static_cast<DWORD*>(bits);
    for (size_t k = 0; k < image.bgra.size(); ++k) {
        DWORD p = image.bgra[k];
        if (rop) {
            out[k] = p & 0xFFFFFF;
            continue;
        }
        // Blending takes premultiplied pixels.
        DWORD a = p >> 24;
        auto channel = [&](int shift) { return (((p >> shift) & 0xFF) * a / 255) << shift; };
        out[k] = (a << 24) | channel(16) | channel(8) | channel(0);
    }
    HDC memory = CreateCompatibleDC(dc);
    bool ok = false;
    if (memory) {
        HGDIOBJ old = SelectObject(memory, section);
        int w = to.right - to.left, h = to.bottom - to.top;
        if (rop) {
            ok = StretchBlt(dc, to.left, to.top, w, h, memory, 0, 0, fromWidth, fromHeight, rop);
        } else {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            ok = AlphaBlend(dc, to.left, to.top, w, h, memory, 0, 0, fromWidth, fromHeight, blend);
        }
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    DeleteObject(section);
    return ok;
}

bool ImageListPixels(HIMAGELIST himl, int i, UINT style, Pixels* out) {
    auto list = FindList(himl);
    return list && Compose(*list, i, CLR_DEFAULT, CLR_DEFAULT, style, out);
}

} // namespace platform::user

using platform::user::ImageListObject;
using platform::user::Pixels;

extern "C" {

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
    PLATFORM_FAULT_POINT("ImageList_Create", nullptr);
    (void)cInitial;
    (void)cGrow;
    if (cx <= 0 || cy <= 0 || cx > platform::user::kLargestImage ||
        cy > platform::user::kLargestImage) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto list = std::make_shared<ImageListObject>();
        list->cx = cx;
        list->cy = cy;
        list->flags = flags;
        return reinterpret_cast<HIMAGELIST>(platform::InsertHandle(std::move(list)));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
    if (!platform::user::FindList(himl)) return FALSE;
    platform::RemoveHandle(reinterpret_cast<HANDLE>(himl));
    return TRUE;
}

int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
    auto list = platform::user::FindList(himl);
    return list ? static_cast<int>(list->images.size()) : 0;
}

BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
    auto list = platform::user::FindList(himl);
    if (!list || !cx || !cy) return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

// Images from a strip as wide as a whole number of images; a mask bitmap's
// set (white) pixels are transparent.
int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
    auto list = platform::user::FindList(himl);
    if (!list) return -1;
    try {
        Pixels strip, mask;
        if (!platform::user::ReadBitmap(hbmImage, &strip) || strip.width < list->cx ||
            (hbmMask && (!platform::user::ReadBitmap(hbmMask, &mask) || mask.width < strip.width ||
                         mask.height < strip.height))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        bool alpha = platform::user::HasAlpha(strip);
        platform::user::SettleAlpha(*list, &strip, alpha);
        if (hbmMask && list->Masked())
            for (LONG y = 0; y < strip.height; ++y)
                for (LONG x = 0; x < strip.width; ++x)
                    if (mask.bgra[static_cast<size_t>(y) * mask.width + x] & 0xFFFFFF)
                        strip.bgra[static_cast<size_t>(y) * strip.width + x] = 0;
        std::vector<Pixels> images;
        for (int i = 0; i < strip.width / list->cx; ++i)
            images.push_back(platform::user::Cut(strip, i, list->cx, list->cy));
        return platform::user::Append(*list, std::move(images));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

// Images from a strip where one colour stands for transparent.
int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
    auto list = platform::user::FindList(himl);
    if (!list) return -1;
    try {
        Pixels strip;
        if (!platform::user::ReadBitmap(hbmImage, &strip) || strip.width < list->cx) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        DWORD key =
            (DWORD{GetRValue(crMask)} << 16) | (DWORD{GetGValue(crMask)} << 8) | GetBValue(crMask);
        for (DWORD& p : strip.bgra)
            p = (p & 0xFFFFFF) == key && list->Masked() ? 0 : (p | platform::user::kOpaque);
        std::vector<Pixels> images;
        for (int i = 0; i < strip.width / list->cx; ++i)
            images.push_back(platform::user::Cut(strip, i, list->cx, list->cy));
        return platform::user::Append(*list, std::move(images));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

int WINAPI ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
    auto list = platform::user::FindList(himl);
    if (!list) return -1;
    if (i < -1 || i >= static_cast<int>(list->images.size())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    try {
        Pixels icon;
        if (!platform::user::IconPixels(hicon, &icon)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        Pixels image = platform::user::Scale(icon, list->cx, list->cy);
        if (!list->Masked())
            for (DWORD& p : image.bgra)
                p |= platform::user::kOpaque;
        if (i == -1) return platform::user::Append(*list, {std::move(image)});
        list->images[static_cast<size_t>(i)] = std::move(image);
        return i;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i) {
    auto list = platform::user::FindList(himl);
    if (!list) return FALSE;
    if (i == -1) {
        list->images.clear();
        return TRUE;
    }
    if (i < 0 || i >= static_cast<int>(list->images.size())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    list->images.erase(list->images.begin() + i);
    return TRUE;
}

COLORREF WINAPI ImageList_SetBkColor(HIMAGELIST himl, COLORREF clrBk) {
    auto list = platform::user::FindList(himl);
    if (!list) return CLR_NONE;
    COLORREF old = list->background;
    list->background = clrBk;
    return old;
}

COLORREF WINAPI ImageList_GetBkColor(HIMAGELIST himl) {
    auto list = platform::user::FindList(himl);
    return list ? list->background : CLR_NONE;
}

BOOL WINAPI ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle) {
    return ImageList_DrawEx(himl, i, hdcDst, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, fStyle);
}

BOOL WINAPI ImageList_DrawEx(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, int dx, int dy,
                             COLORREF rgbBk, COLORREF rgbFg, UINT fStyle) {
    auto list = platform::user::FindList(himl);
    if (!list || !hdcDst) return FALSE;
    try {
        Pixels image;
        if (!platform::user::Compose(*list, i, rgbBk, rgbFg, fStyle, &image)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        int width = dx > 0 ? std::min(dx, image.width) : image.width;
        int height = dy > 0 ? std::min(dy, image.height) : image.height;
        return platform::user::DrawPixels(hdcDst, RECT{x, y, x + width, y + height}, width, height,
                                          image, 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

} // extern "C"

namespace platform::user::test {

size_t LiveImageLists() {
    return platform::test::OpenHandleCount("ImageList");
}

} // namespace platform::user::test
