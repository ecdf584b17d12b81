// Pattern brushes: the engine hands over the brush's pattern (a hatch comes
// as the engine's own 8 x 8 1-bit pattern). A device-surface job keeps it in
// the layout the printer's raster patterns take: rows padded to 16 bits,
// colour pixels as 3 bytes, the colours translated to the device's RGB
// values. A banded job keeps a 1-bit image of it, scaled to the resolution,
// that the band hooks tile over the destination.
#include "brush_realize.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "imaging_hooks.h"
#include "imaging_state.h"
#include "pdev.h"
#include "raster_encode.h"
#include "vector_pattern.h"
#include "win/base.h"

namespace inkforge {
namespace {

// A hatch goes out as a fixed 16 x 16 pattern: the engine's 8 x 8 hatch tiled.
constexpr LONG kHatchSide = 16;
// The printer's pattern sizes are 16-bit; anything larger is refused before
// its record is made.
constexpr LONG kMaxPatternSide = 0xFFFF;
constexpr ULONGLONG kMaxPatternBytes = 16u << 20;
constexpr ULONG kPaletteEntries1 = 2, kPaletteEntries4 = 16, kPaletteEntries8 = 256;

DWORD FormatOf(ULONG bmf) {
    switch (bmf) {
    case BMF_1BPP:
        return kPattern1;
    case BMF_4BPP:
        return kPattern4;
    case BMF_8BPP:
        return kPattern8;
    case BMF_16BPP:
    case BMF_24BPP:
    case BMF_32BPP:
        return kPattern24;
    default:
        return 0;
    }
}

ULONG PaletteEntries(DWORD format) {
    return format == kPattern1   ? kPaletteEntries1
           : format == kPattern4 ? kPaletteEntries4
                                 : kPaletteEntries8;
}

// The side of a style brush without a pattern.
constexpr LONG kStyleSide = 32;
// Patterns are sized for 150 dots per inch.
constexpr LONG kPatternDpi = 150;
constexpr DWORD kFeatureFinePatterns = 0x20000000;
constexpr size_t kFinePatterns = offsetof(PRIVATE_DEVMODE, FinePatterns);

// The raw value of pixel x of a pattern row.
ULONG RawPixel(const BYTE* row, LONG x, ULONG bmf) {
    switch (bmf) {
    case BMF_1BPP:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_4BPP:
        return x & 1 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case BMF_8BPP:
        return row[x];
    case BMF_16BPP:
        return row[2 * x] | static_cast<ULONG>(row[2 * x + 1]) << 8;
    case BMF_24BPP:
        return row[3 * x] | static_cast<ULONG>(row[3 * x + 1]) << 8 |
               static_cast<ULONG>(row[3 * x + 2]) << 16;
    case BMF_32BPP:
        return row[4 * x] | static_cast<ULONG>(row[4 * x + 1]) << 8 |
               static_cast<ULONG>(row[4 * x + 2]) << 16 | static_cast<ULONG>(row[4 * x + 3]) << 24;
    default:
        return 0;
    }
}

// Whether the band shows a device value as the lighter of black and white:
// on a 1-bit band the value is the index (1 white), on an 8-bit band a gray
// level, on a 24-bit band a colour.
bool Light(const PDEV* pdev, ULONG v) {
    if (pdev->bandBitDepth == 1) return v & 1;
    if (pdev->bandBitDepth == 8) return (v & 0xFF) >= 0x80;
    return (v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF) >= 3 * 0x80;
}

} // namespace

LONG BandPatternScale(const PDEV* pdev) {
    if ((PrivU32(pdev->devmode, priv::FeatureFlags) & kFeatureFinePatterns) &&
        PrivI16(pdev->devmode, kFinePatterns) != 0)
        return 1;
    LONG res = pdev->devmode.dm.dmPrintQuality > 0 ? pdev->devmode.dm.dmPrintQuality : 600;
    return std::max<LONG>(1, res / kPatternDpi);
}

bool BuildBandBrush(const PDEV* pdev, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch,
                    std::vector<BYTE>* out) {
    BandBrush head{};
    if (static_cast<LONG>(hatch) < 0) {
        head.width = head.height = kStyleSide;
        head.kind = kBandBrushStyle;
        out->assign(sizeof head, 0);
        std::memcpy(out->data(), &head, sizeof head);
        return true;
    }
    if (!pattern || !pattern->pvScan0 || pattern->sizlBitmap.cx < 1 || pattern->sizlBitmap.cy < 1 ||
        pattern->sizlBitmap.cx > kMaxPatternSide || pattern->sizlBitmap.cy > kMaxPatternSide ||
        !FormatOf(pattern->iBitmapFormat))
        return false;
    const bool isHatch = hatch < HS_DDI_MAX;
    const LONG scale = isHatch ? 1 : BandPatternScale(pdev);
    const LONG srcW = pattern->sizlBitmap.cx, srcH = pattern->sizlBitmap.cy;
    const ULONGLONG w = static_cast<ULONGLONG>(srcW) * scale,
                    h = static_cast<ULONGLONG>(srcH) * scale;
    const ULONGLONG stride = (w + 31) / 32 * 4;
    if (w > static_cast<ULONGLONG>(kMaxPatternSide) ||
        h > static_cast<ULONGLONG>(kMaxPatternSide) || stride * h > kMaxPatternBytes)
        return false;
    head.width = static_cast<LONG>(w);
    head.height = static_cast<LONG>(h);
    head.stride = static_cast<LONG>(stride);
    head.dataSize = static_cast<ULONG>(stride * h);
    head.kind = isHatch ? kBandBrushHatch : kBandBrushPattern;
    out->assign(sizeof head + head.dataSize, 0);
    BYTE* bits = out->data() + sizeof head;
    // Each pattern pixel as the band shows it, black or white, repeated
    // `scale` times each way: the nearest colour of a colour-on-colour stretch.
    for (LONG y = 0; y < head.height; ++y) {
        const BYTE* src = static_cast<const BYTE*>(pattern->pvScan0) +
                          static_cast<ptrdiff_t>(y / scale) * pattern->lDelta;
        BYTE* dst = bits + static_cast<size_t>(y) * head.stride;
        for (LONG x = 0; x < head.width; ++x) {
            ULONG v = RawPixel(src, x / scale, pattern->iBitmapFormat);
            if (xlate) v = XLATEOBJ_iXlate(xlate, v);
            if (Light(pdev, v)) dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
        }
    }
    std::memcpy(out->data(), &head, sizeof head);
    return true;
}

bool ExpandBrushPattern(SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch, DWORD brushId,
                        std::vector<BYTE>* out) {
    if (!pattern || !pattern->pvScan0 || pattern->sizlBitmap.cx < 1 || pattern->sizlBitmap.cy < 1 ||
        pattern->sizlBitmap.cx > kMaxPatternSide || pattern->sizlBitmap.cy > kMaxPatternSide)
        return false;
    const DWORD format = FormatOf(pattern->iBitmapFormat);
    if (!format) return false;
    const bool isHatch = hatch < HS_DDI_MAX && format == kPattern1;
    const LONG srcW = pattern->sizlBitmap.cx, srcH = pattern->sizlBitmap.cy;
    RealizedBrush head{};
    head.width = static_cast<DWORD>(isHatch ? kHatchSide : srcW);
    head.height = static_cast<DWORD>(isHatch ? kHatchSide : srcH);
    head.format = format;
    head.kind = isHatch ? hatch : HS_DDI_MAX;
    head.brushId = brushId;
    const DWORD rowBytes = PatternRowBytes(&head);
    if (static_cast<ULONGLONG>(rowBytes) * head.height > kMaxPatternBytes) return false;
    head.bitsSize = rowBytes * head.height;
    head.colorCount = format == kPattern24 ? 0 : PaletteEntries(format);
    head.colorTableOffset = static_cast<DWORD>(sizeof head) + head.bitsSize;
    out->assign(sizeof head + head.bitsSize + head.colorCount * sizeof(ULONG), 0);
    BYTE* bits = out->data() + sizeof head;
    const DWORD kind = TranslateColor(xlate, pattern->iBitmapFormat);
    const DWORD srcRowBytes =
        static_cast<DWORD>((static_cast<ULONGLONG>(srcW) * PatternBitsPerPixel(format) + 7) / 8);
    for (DWORD y = 0; y < head.height; ++y) {
        const BYTE* src = static_cast<const BYTE*>(pattern->pvScan0) +
                          static_cast<ptrdiff_t>(y % srcH) * pattern->lDelta;
        BYTE* dst = bits + static_cast<size_t>(y) * rowBytes;
        if (format == kPattern24) {
            TranslateRow(src, dst, xlate, kind, pattern->iBitmapFormat, static_cast<DWORD>(srcW));
        } else if (isHatch) {
            for (DWORD x = 0; x < head.width; ++x) {
                DWORD sx = x % static_cast<DWORD>(srcW);
                if ((src[sx >> 3] >> (7 - (sx & 7))) & 1)
                    dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
            }
        } else {
            std::memcpy(dst, src, srcRowBytes);
        }
    }
    ULONG* colors = reinterpret_cast<ULONG*>(out->data() + head.colorTableOffset);
    for (ULONG i = 0; i < head.colorCount; ++i)
        colors[i] = xlate ? XLATEOBJ_iXlate(xlate, i) : (format == kPattern1 && i ? 0xFFFFFF : 0);
    std::memcpy(out->data(), &head, sizeof head);
    // A pattern whose pixels all show one colour is used as that colour.
    auto* brush = reinterpret_cast<RealizedBrush*>(out->data());
    auto colourAt = [&](DWORD x, DWORD y) {
        ULONG p = PatternPixel(brush, x, y);
        return format == kPattern24 ? p : p < head.colorCount ? colors[p] : 0;
    };
    const ULONG first = colourAt(0, 0);
    bool uniform = true;
    for (DWORD y = 0; y < head.height && uniform; ++y)
        for (DWORD x = 0; x < head.width && uniform; ++x)
            uniform = colourAt(x, y) == first;
    brush->uniform = uniform;
    brush->uniformColor = uniform ? first : 0;
    return true;
}

BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask,
                              XLATEOBJ* xlate, ULONG hatch) {
    (void)mask;
    PDEV* pdev = CheckedPdev(target);
    if (!pdev || !pbo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ImagingState* st = Imaging(pdev);
    if (!st) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::vector<BYTE> record;
    if (pdev->banding) {
        if (!BuildBandBrush(pdev, pattern, xlate, hatch, &record)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    } else {
        // Zero marks a brush that no pattern slot matches.
        if (++st->nextBrushId == 0) ++st->nextBrushId;
        if (!ExpandBrushPattern(pattern, xlate, hatch, st->nextBrushId, &record)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    void* p = BRUSHOBJ_pvAllocRbrush(pbo, static_cast<ULONG>(record.size()));
    if (!p) return FALSE;
    std::memcpy(p, record.data(), record.size());
    // The bits follow the record where the engine keeps it.
    if (pdev->banding) {
        auto* brush = static_cast<BandBrush*>(p);
        brush->bits = brush->dataSize ? static_cast<const BYTE*>(p) + sizeof(BandBrush) : nullptr;
    }
    return TRUE;
}

} // namespace inkforge
