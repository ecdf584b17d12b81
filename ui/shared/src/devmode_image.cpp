#include "devmode_image.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "devmode_forms.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

using driver_devmode::CopyDevmodeImage;

} // namespace

size_t BytesFrom(const std::vector<BYTE>& block, const void* p) {
    auto* b = static_cast<const BYTE*>(p);
    if (!b || b < block.data() || b >= block.data() + block.size()) return 0;
    return static_cast<size_t>(block.data() + block.size() - b);
}

std::vector<BYTE> PrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) return {};
    std::vector<BYTE> block(needed);
    if (!GetPrinterW(printer, 2, block.data(), needed, &needed)) return {};
    return block;
}

void StampDevmodeHeader(DEVMODE_IMAGEW* image) {
    image->dm.dmSpecVersion = kDevmodeImageSpecVersion;
    image->dm.dmDriverVersion = kDevmodeImageDriverVersion;
    image->dm.dmSize = DEVMODEW_SIZE;
    image->dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
}

BOOL IsOwnDevmode(const DEVMODEW* devmode) {
    if (!devmode || devmode->dmSize != DEVMODEW_SIZE ||
        devmode->dmDriverExtra != PRIVATE_DEVMODE_SIZE)
        return FALSE;
    return reinterpret_cast<const DEVMODE_IMAGEW*>(devmode)->priv.Signature ==
           PRIVATE_DEVMODE_SIGNATURE;
}

BOOL LoadDevmodeImage(const DEVMODEW* devmode, size_t available, DEVMODE_IMAGEW* image) {
    constexpr size_t kHeaderEnd = offsetof(DEVMODEW, dmFields);
    if (!devmode || !image || available < kHeaderEnd || devmode->dmSize < kHeaderEnd) return FALSE;
    const size_t size = std::min<size_t>(devmode->dmSize, available);
    const size_t extra = std::min<size_t>(devmode->dmDriverExtra, available - size);
    const auto* bytes = reinterpret_cast<const BYTE*>(devmode);
    std::memset(image, 0, sizeof *image);
    StampDevmodeHeader(image);
    // The private part sits behind the whole standard part the device mode
    // states; a cut one is not read, nor another driver's.
    const bool whole = size == devmode->dmSize && devmode->dmDriverExtra <= extra;
    DWORD signature = 0;
    if (whole && extra >= sizeof signature) std::memcpy(&signature, bytes + size, sizeof signature);
    const bool own = signature == PRIVATE_DEVMODE_SIGNATURE;
    if (own && extra != PRIVATE_DEVMODE_SIZE_908) {
        // Copies nothing only for null pointers, ruled out above.
        (void)CopyDevmodeImage(devmode, &image->dm);
        return TRUE;
    }
    std::memcpy(&image->dm, bytes, std::min(size, sizeof image->dm));
    StampDevmodeHeader(image);
    if (!own) return TRUE;
    auto* priv = reinterpret_cast<BYTE*>(&image->priv);
    std::memcpy(priv, bytes + size, PRIVATE_DEVMODE_908_SHIFT_FROM);
    std::memcpy(priv + PRIVATE_DEVMODE_908_SHIFT_FROM + PRIVATE_DEVMODE_908_SHIFT,
                bytes + size + PRIVATE_DEVMODE_908_SHIFT_FROM,
                PRIVATE_DEVMODE_SIZE_908 - PRIVATE_DEVMODE_908_SHIFT_FROM);
    return TRUE;
}

BOOL ReadPrinterInfo2(HANDLE printer, DEVMODE_IMAGEW* image) {
    if (!printer || !image) return FALSE;
    std::vector<BYTE> block = PrinterInfo2(printer);
    if (block.empty()) return FALSE;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
    size_t bytes = BytesFrom(block, info->pDevMode);
    if (!bytes || bytes < offsetof(DEVMODEW, dmFields)) return FALSE;
    return LoadDevmodeImage(info->pDevMode, bytes, image);
}

BOOL RewritePrinterInfo2(HANDLE printer, DEVMODEW* devmode) {
    std::vector<BYTE> block = PrinterInfo2(printer);
    if (block.empty()) return FALSE;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(block.data());
    info->pDevMode = devmode;
    return SetPrinterW(printer, 2, block.data(), 0);
}

} // namespace sheetwright
