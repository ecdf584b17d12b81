// Bitmaps, icons and cursors from a module's resources.
#include "images.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <tuple>

#include "module_resources.h"
#include "platform/core.h"
#include "platform/dib_header.h"
#include "win/errors.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace platform::user {
namespace {

constexpr WORD kIconGroupType = 1;
constexpr WORD kCursorGroupType = 2;
constexpr size_t kGroupHeader = 6;
constexpr size_t kIconGroupEntry = 14;
constexpr LONG kLargestDimension = 1 << 15;
constexpr DWORD kInfoHeaderSize = 40;
constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// The size an icon is asked for when the caller names none.
constexpr LONG kDefaultIconSize = 32;

struct Images {
    std::mutex lock;
    std::map<ULONG_PTR, std::shared_ptr<const Image>> byHandle;
    // Loaded images per (module, kind, type name or ordinal), so that loading
    // one twice gives the same handle.
    std::map<std::tuple<HMODULE, int, bool, WORD, std::u16string>, HANDLE> shared;
    ULONG_PTR next = 0x7A000010;
};

Images& I() {
    static Images* images = new Images;
    return *images;
}

void ResetImages() {
    std::lock_guard lock(I().lock);
    I().byHandle.clear();
    I().shared.clear();
}

void EnsureResetHook() {
    static const bool registered = (platform::RegisterResetHook(&ResetImages), true);
    (void)registered;
}

WORD Word(const BYTE* p) {
    WORD w;
    std::memcpy(&w, p, 2);
    return w;
}

HANDLE AddImage(std::shared_ptr<const Image> image) {
    std::lock_guard lock(I().lock);
    I().next += 8;
    I().byHandle[I().next] = std::move(image);
    return reinterpret_cast<HANDLE>(I().next);
}

bool ReadPng(const BYTE* data, size_t size, Image* out) {
    // Signature, then the IHDR chunk: length, "IHDR", width, height (big-endian).
    if (size < 24 || std::memcmp(data, kPngSignature, 8) != 0 ||
        std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    auto be = [&](size_t at) {
        return static_cast<LONG>((DWORD{data[at]} << 24) | (DWORD{data[at + 1]} << 16) |
                                 (DWORD{data[at + 2]} << 8) | data[at + 3]);
    };
    out->width = be(16);
    out->height = be(20);
    if (out->width <= 0 || out->height <= 0 || out->width > kLargestDimension ||
        out->height > kLargestDimension)
        return false;
    out->png = true;
    out->bitCount = 32;
    out->dib.assign(data, data + size);
    return true;
}

// The image of one RT_ICON or RT_CURSOR entry (a cursor's starts with its hotspot).
std::shared_ptr<Image> ReadIconImage(const res::ResEntry& e, bool cursor) {
    auto image = std::make_shared<Image>();
    image->kind = cursor ? Image::Cursor : Image::Icon;
    const BYTE* p = e.data;
    size_t n = e.size;
    if (cursor) {
        if (n < 4) return nullptr;
        image->hotspot = {Word(p), Word(p + 2)};
        p += 4;
        n -= 4;
    }
    if (ReadPng(p, n, image.get()) || ReadPackedDib(p, n, 2, image.get())) return image;
    return nullptr;
}

// The group's entry nearest the size asked for, and the image it names.
std::shared_ptr<Image> LoadFromGroup(HMODULE module, const res::ResId& name, bool cursor,
                                     LONG wanted) {
    res::ResId groupType;
    groupType.ordinal = cursor ? 12 : 14;
    const res::ResEntry* group = FindEntry(module, groupType, name);
    if (!group) return nullptr;
    if (group->size < kGroupHeader ||
        Word(group->data + 2) != (cursor ? kCursorGroupType : kIconGroupType)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    size_t count = Word(group->data + 4);
    if (count == 0 || count > (group->size - kGroupHeader) / kIconGroupEntry) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    WORD bestId = 0;
    LONG bestDistance = -1;
    for (size_t i = 0; i < count; ++i) {
        const BYTE* entry = group->data + kGroupHeader + i * kIconGroupEntry;
        // An icon's width is one byte (0 meaning 256); a cursor's is a word.
        LONG width = cursor ? Word(entry) : (entry[0] == 0 ? 256 : entry[0]);
        LONG distance = width > wanted ? width - wanted : wanted - width;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            bestId = Word(entry + 12);
        }
    }
    res::ResId imageType;
    imageType.ordinal = cursor ? 1 : 3;
    res::ResId imageName;
    imageName.ordinal = bestId;
    const res::ResEntry* e = FindEntry(module, imageType, imageName);
    if (!e) return nullptr;
    auto image = ReadIconImage(*e, cursor);
    if (!image) SetLastError(ERROR_INVALID_DATA);
    return image;
}

std::shared_ptr<Image> LoadBitmapImage(HMODULE module, const res::ResId& name) {
    res::ResId type;
    type.ordinal = 2;
    const res::ResEntry* e = FindEntry(module, type, name);
    if (!e) return nullptr;
    auto image = std::make_shared<Image>();
    if (!ReadPackedDib(e->data, e->size, 1, image.get())) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return image;
}

// The system's own icons and cursors: plain records without pixels, so that
// a caller gets a valid handle and the renderer draws a placeholder.
HANDLE SystemImage(Image::Kind kind, WORD ordinal) {
    std::lock_guard lock(I().lock);
    auto key = std::make_tuple(HMODULE{}, static_cast<int>(kind), true, ordinal, std::u16string());
    auto it = I().shared.find(key);
    if (it != I().shared.end()) return it->second;
    auto image = std::make_shared<Image>();
    image->kind = kind;
    image->width = image->height = kDefaultIconSize;
    I().next += 8;
    I().byHandle[I().next] = image;
    auto h = reinterpret_cast<HANDLE>(I().next);
    I().shared[key] = h;
    return h;
}

// A bitmap resource as a GDI bitmap of its own (the caller deletes it with
// DeleteObject), its pixels copied from the checked DIB.
HBITMAP LoadGdiBitmap(HMODULE module, LPCWSTR name) {
    std::shared_ptr<Image> image = LoadBitmapImage(module, res::IdFromParameter(name));
    if (!image) return nullptr;
    auto* info = reinterpret_cast<const BITMAPINFO*>(image->dib.data());
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return nullptr;
    size_t stride = ((static_cast<size_t>(image->width) * image->bitCount + 31) / 32) * 4;
    std::memcpy(bits, image->dib.data() + image->bitsOffset,
                stride * static_cast<size_t>(image->height));
    return bitmap;
}

HANDLE Load(HMODULE module, LPCWSTR name, Image::Kind kind, LONG wanted) {
    EnsureResetHook();
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!module && kind != Image::Bitmap) {
        if (!IS_INTRESOURCE(name)) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        return SystemImage(kind, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    }
    res::ResId id = res::IdFromParameter(name);
    auto key = std::make_tuple(module, static_cast<int>(kind) * 1000 + static_cast<int>(wanted),
                               id.isOrdinal, id.ordinal, id.text);
    {
        std::lock_guard lock(I().lock);
        auto it = I().shared.find(key);
        if (it != I().shared.end()) return it->second;
    }
    std::shared_ptr<Image> image = kind == Image::Bitmap
                                       ? LoadBitmapImage(module, id)
                                       : LoadFromGroup(module, id, kind == Image::Cursor, wanted);
    if (!image) return nullptr;
    HANDLE h = AddImage(std::move(image));
    std::lock_guard lock(I().lock);
    I().shared[key] = h;
    return h;
}

} // namespace

std::shared_ptr<const Image> FindImage(HANDLE h) {
    std::lock_guard lock(I().lock);
    auto it = I().byHandle.find(reinterpret_cast<ULONG_PTR>(h));
    return it == I().byHandle.end() ? nullptr : it->second;
}

bool ReadPackedDib(const BYTE* dib, size_t size, int heightScale, Image* out) {
    // Resources hold uncompressed bitmaps whose header (of any size from the
    // info header's on) fits the block.
    gdi::DibHeader h;
    if (!gdi::ReadDibHeader(dib, size, &h, ~DWORD{0}) || h.size < kInfoHeaderSize) return false;
    if (h.width <= 0 || h.width > kLargestDimension || h.height == 0 || h.height == INT32_MIN)
        return false;
    LONG rows = h.height < 0 ? -h.height : h.height;
    if (rows > kLargestDimension * heightScale) return false;
    WORD bpp = h.bitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (h.compression != 0 /* BI_RGB */) return false;
    size_t colours = bpp <= 8 ? (h.clrUsed ? h.clrUsed : size_t{1} << bpp) : h.clrUsed;
    if (bpp <= 8 && colours > (size_t{1} << bpp)) return false;
    if (colours > (size - h.size) / sizeof(RGBQUAD)) return false;
    size_t bitsOffset = h.size + colours * sizeof(RGBQUAD);
    size_t stride = ((static_cast<size_t>(h.width) * bpp + 31) / 32) * 4;
    size_t imageRows = static_cast<size_t>(rows) / static_cast<size_t>(heightScale);
    if (imageRows == 0 || stride * imageRows > size - bitsOffset) return false;
    out->width = h.width;
    out->height = static_cast<LONG>(imageRows);
    out->bitCount = bpp;
    out->png = false;
    out->dib.assign(dib, dib + size);
    out->bitsOffset = bitsOffset;
    return true;
}

} // namespace platform::user

using platform::user::Image;

extern "C" {

HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
    PLATFORM_FAULT_POINT("LoadBitmapW", nullptr);
    try {
        if (!lpBitmapName) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        return platform::user::LoadGdiBitmap(hInstance, lpBitmapName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    PLATFORM_FAULT_POINT("LoadIconW", nullptr);
    try {
        return static_cast<HICON>(platform::user::Load(hInstance, lpIconName, Image::Icon,
                                                       platform::user::kDefaultIconSize));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    PLATFORM_FAULT_POINT("LoadCursorW", nullptr);
    try {
        return static_cast<HCURSOR>(platform::user::Load(hInstance, lpCursorName, Image::Cursor,
                                                         platform::user::kDefaultIconSize));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    PLATFORM_FAULT_POINT("LoadImageW", nullptr);
    (void)cy;
    if (fuLoad & LR_LOADFROMFILE) {
        // Images come from modules only here; no caller loads one from a file.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    LONG wanted = cx > 0 ? cx : platform::user::kDefaultIconSize;
    try {
        switch (type) {
        case IMAGE_BITMAP:
            return LoadBitmapW(hInst, name);
        case IMAGE_ICON:
            return platform::user::Load(hInst, name, Image::Icon, wanted);
        case IMAGE_CURSOR:
            return platform::user::Load(hInst, name, Image::Cursor, wanted);
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// Loaded icons and cursors are shared: destroying one leaves it usable.
BOOL WINAPI DestroyIcon(HICON hIcon) {
    auto image = platform::user::FindImage(hIcon);
    if (!image || image->kind == Image::Bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DestroyCursor(HCURSOR hCursor) {
    return DestroyIcon(hCursor);
}

BOOL WINAPI GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
    auto image = platform::user::FindImage(hIcon);
    if (!image || image->kind == Image::Bitmap || !piconinfo) {
        SetLastError(image ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *piconinfo = {};
    piconinfo->fIcon = image->kind == Image::Icon;
    piconinfo->xHotspot =
        image->kind == Image::Icon ? static_cast<DWORD>(image->width / 2) : image->hotspot.x;
    piconinfo->yHotspot =
        image->kind == Image::Icon ? static_cast<DWORD>(image->height / 2) : image->hotspot.y;
    return TRUE;
}

} // extern "C"
