// Imagewell.DLL: the printer as the Device page configures it, drawn from the
// library's own pictures in layers (base, body and trays, large-capacity
// tray, finisher), each layer's key colour letting the layers below show.
#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "export_barrier.h"
#include "imagewell/device_image.h"
#include "win/base.h"
#include "win/loader.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/memory.h"
#include "win/user.h"

namespace {

using imagewell::DeviceImageInfo;

HINSTANCE g_module = nullptr;

constexpr DWORD kBasePicture = 118;
constexpr DWORD kTrayPictures[3] = {103, 104, 105}; // 2, 3 and 4 trays
constexpr DWORD kNoLargeTray = 112, kLargeTray = 113;
constexpr DWORD kFinisherPictures[4][2] = {{106, 106}, {107, 107}, {108, 109}, {110, 111}};
constexpr DWORD kNoFinisher = 114;
// The device area within the control and the base's key pixel.
constexpr RECT kDeviceArea = {10, 41, 204, 171};
constexpr POINT kBaseKey = {5, 5}, kLayerKey = {0, 0};
constexpr int kMostLayers = 5;

struct DeviceImageLayer {
    DWORD bitmap;
    RECT target;
    POINT key;
};

// The picture builders: the base class lays out what every printer has.
class CDevBmp {
  public:
    virtual ~CDevBmp() = default;
    virtual int Build(const DeviceImageInfo& info, DeviceImageLayer* layers,
                      int capacity) const = 0;
    BOOL Draw(HDC dc, const RECT& rect, const DeviceImageInfo& info) const;
};

class CDevBmpMdlSpec : public CDevBmp {
  public:
    int Build(const DeviceImageInfo& info, DeviceImageLayer* layers, int capacity) const override;
};

int CDevBmpMdlSpec::Build(const DeviceImageInfo& info, DeviceImageLayer* layers,
                          int capacity) const {
    DWORD pictures[kMostLayers] = {};
    int n = 0;
    pictures[n++] = kBasePicture;
    const DWORD t = info.trays >= 2 && info.trays <= 4 ? info.trays : info.fewestTrays;
    const DWORD byCount = t == 3 ? 1 : t == 4 ? 2 : 0;
    if (info.modelBody || info.modelTrays[0] || info.modelTrays[1] || info.modelTrays[2]) {
        pictures[n++] = info.modelBody;
        pictures[n++] = info.modelTrays[byCount];
    } else {
        pictures[n++] = kTrayPictures[byCount];
    }
    pictures[n++] = info.largeTray ? kLargeTray : kNoLargeTray;
    pictures[n++] = info.finisher >= 1 && info.finisher <= 4
                        ? kFinisherPictures[info.finisher - 1][info.punch ? 1 : 0]
                        : kNoFinisher;
    if (!layers || capacity < n) return n;
    for (int i = 0; i < n; ++i) {
        layers[i].bitmap = pictures[i];
        layers[i].target = i == 0 ? RECT{} : kDeviceArea;
        layers[i].key = i == 0 ? kBaseKey : kLayerKey;
    }
    return n;
}

BOOL CDevBmp::Draw(HDC dc, const RECT& rect, const DeviceImageInfo& info) const {
    const int count = Build(info, nullptr, 0);
    HGLOBAL block = GlobalAlloc(GPTR, static_cast<SIZE_T>(count) * sizeof(DeviceImageLayer));
    if (!block) return FALSE;
    auto* layers = static_cast<DeviceImageLayer*>(block);
    Build(info, layers, count);
    layers[0].target = rect;
    // The area is in the control's coordinates: moved with the rectangle.
    for (int i = 1; i < count; ++i)
        OffsetRect(&layers[i].target, rect.left, rect.top);

    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HRGN clip = CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
    SelectClipRgn(dc, clip);
    HDC canvas = CreateCompatibleDC(dc);
    HBITMAP surface = width > 0 && height > 0 ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (canvas && surface) {
        HGDIOBJ previousSurface = SelectObject(canvas, surface);
        SetWindowOrgEx(canvas, rect.left, rect.top, nullptr);
        FillRect(canvas, &rect, GetSysColorBrush(COLOR_BTNFACE));
        SetStretchBltMode(canvas, COLORONCOLOR);
        HDC source = CreateCompatibleDC(dc);
        for (int i = 0; source && i < count; ++i) {
            HBITMAP picture = LoadBitmapW(g_module, MAKEINTRESOURCEW(layers[i].bitmap));
            if (!picture) continue; // a picture the library lacks leaves its layer out
            BITMAP size{};
            GetObjectW(picture, sizeof size, &size);
            HGDIOBJ previous = SelectObject(source, picture);
            const RECT& t = layers[i].target;
            // Positions and sizes as 16-bit values, as the drawing takes them.
            const int w = static_cast<SHORT>(size.bmWidth), h = static_cast<SHORT>(size.bmHeight);
            const int x = static_cast<SHORT>((t.left + t.right) / 2 - w / 2);
            const int y = static_cast<SHORT>((t.top + t.bottom) / 2 - h / 2);
            const POINT key = layers[i].key;
            // A picture too small to hold its key pixel has no key: drawn whole.
            if (key.x < w && key.y < h)
                TransparentBlt(canvas, x, y, w, h, source, 0, 0, w, h,
                               GetPixel(source, key.x, key.y));
            else
                BitBlt(canvas, x, y, w, h, source, 0, 0, SRCCOPY);
            SelectObject(source, previous);
            DeleteObject(picture);
        }
        if (source) DeleteDC(source);
        BitBlt(dc, rect.left, rect.top, width, height, canvas, rect.left, rect.top, SRCCOPY);
        SelectObject(canvas, previousSurface);
    }
    if (surface) DeleteObject(surface);
    if (canvas) DeleteDC(canvas);
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);
    GlobalFree(block);
    return TRUE;
}

} // namespace

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

DECLARE_EXPORT_ORDINALS({1, imagewell::kDrawDeviceImage});

DLLEXPORT BOOL WINAPI DrawDeviceImage(HDC dc, RECT* rect, DeviceImageInfo* info) {
    return export_barrier::RunGuarded(FALSE, [&]() -> BOOL {
        if (!info || !rect || !dc) return FALSE;
        return CDevBmpMdlSpec().Draw(dc, *rect, *info);
    });
}
