// Raster patterns and the tiled pattern fill.
#include "vector_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "output_writer.h"
#include "pdev.h"
#include "vector_tokens.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr size_t kFinePatterns = offsetof(PRIVATE_DEVMODE, FinePatterns);
constexpr DWORD kFeatureFinePatterns = 0x20000000;
constexpr LONG kMaxTileBytes = 64 << 20;
constexpr int kFirstPatternId = 10;

OutputImageFn gOutputImage = nullptr;

LONG Resolution(const PDEV* pdev) {
    return pdev->devmode.dm.dmPrintQuality ? pdev->devmode.dm.dmPrintQuality : 600;
}

bool FinePatterns(const PDEV* pdev) {
    return (PrivU32(pdev->devmode, priv::FeatureFlags) & kFeatureFinePatterns) &&
           PrivI16(pdev->devmode, kFinePatterns) != 0;
}

bool ValidPattern(const RealizedBrush* b) {
    DWORD bpp = PatternBitsPerPixel(b->format);
    if (!bpp || b->width < 1 || b->height < 1 || b->width > 0xFFFF || b->height > 0xFFFF)
        return false;
    if (static_cast<ULONGLONG>(PatternRowBytes(b)) * b->height > b->bitsSize) return false;
    return b->format == kPattern24 || b->colorCount <= kMaxPatternColors;
}

LONG FloorMod(LONG v, LONG m) {
    LONG r = v % m;
    return r < 0 ? r + m : r;
}

// The colour of pattern pixel (x, y): its colour-table entry (black for an
// index past the table), or the RGB value of a 24-bit pattern.
ULONG PatternColour(const RealizedBrush* b, DWORD x, DWORD y) {
    ULONG p = PatternPixel(b, x, y);
    if (b->format == kPattern24) return p;
    return p < b->colorCount ? PatternColors(b)[p] : 0;
}

// Indexed pattern pixels reach the printer without a palette: it shows them
// by its default gray ramp (0 black up to the highest index white). True when
// every pixel's colour is what that ramp gives its index.
bool ShownByGrayRamp(const RealizedBrush* b) {
    const DWORD bpp = PatternBitsPerPixel(b->format);
    if (b->format == kPattern24) return false;
    const ULONG top = (1u << bpp) - 1;
    for (DWORD y = 0; y < b->height; ++y)
        for (DWORD x = 0; x < b->width; ++x) {
            const ULONG index = PatternPixel(b, x, y);
            const ULONG level = index * 0xFF / top;
            if (PatternColour(b, x, y) != level * 0x010101) return false;
        }
    return true;
}

BOOL SendRasterPattern(PDEV* pdev, const RealizedBrush* b) {
    VectorState& v = Vector(pdev);
    for (int s = 0; s < kPatternSlots; ++s) {
        if (b->brushId && v.slotBrush[s] == b->brushId) {
            LONG id = kFirstPatternId + s;
            if (v.currentPattern == id) return TRUE;
            if (!OutputByteList(pdev, {stream::kSInt16, id, 0, stream::kAttributeTag,
                                       stream::kPatternSelectId, stream::kSetBrushSource}))
                return FALSE;
            v.currentPattern = id;
            v.drawState &= ~draw::BrushMask;
            return TRUE;
        }
    }
    bool gray = GrayMode(pdev);
    DWORD bpp = PatternBitsPerPixel(b->format);
    LONG res = Resolution(pdev);
    LONG factor;
    if (FinePatterns(pdev))
        factor = 1;
    else if (bpp == 1 && b->kind < 6)
        factor = (res / 20 + 5) / 10;
    else if (bpp == 1 && b->unscaled)
        factor = 1;
    else
        factor = res / 150;
    LONG dw = static_cast<LONG>(b->width) * factor, dh = static_cast<LONG>(b->height) * factor;
    // Colours that the printer's gray ramp would not show go out as direct
    // pixels, as a 24-bit pattern does.
    const bool direct = !ShownByGrayRamp(b);
    int depth = direct || bpp == 8 ? 2 : bpp == 4 ? 1 : 0;
    int slot = static_cast<int>(v.nextSlot % kPatternSlots);
    LONG id = kFirstPatternId + slot;

    std::vector<BYTE> rows;
    if (!direct) {
        rows.assign(PatternBits(b),
                    PatternBits(b) + static_cast<size_t>(PatternRowBytes(b)) * b->height);
    } else if (gray) {
        // Gray output: every colour pixel becomes its gray level.
        rows.reserve(static_cast<size_t>(b->width) * b->height);
        for (DWORD y = 0; y < b->height; ++y)
            for (DWORD x = 0; x < b->width; ++x)
                rows.push_back(GrayLevel(pdev, PatternColour(b, x, y)));
    } else {
        // Three bytes a pixel (red, green, blue), rows padded to 16 bits.
        const size_t rowBytes = (static_cast<size_t>(b->width) * 3 + 1) / 2 * 2;
        rows.assign(rowBytes * b->height, 0);
        for (DWORD y = 0; y < b->height; ++y)
            for (DWORD x = 0; x < b->width; ++x) {
                const ULONG c = PatternColour(b, x, y);
                BYTE* at = rows.data() + y * rowBytes + x * 3;
                at[0] = static_cast<BYTE>(c), at[1] = static_cast<BYTE>(c >> 8),
                at[2] = static_cast<BYTE>(c >> 16);
            }
    }
    using namespace stream;
    std::vector<BYTE> t = {kUByte,
                           static_cast<BYTE>(direct ? 0 : 1),
                           kAttributeTag,
                           kColourMapping,
                           kUByte,
                           static_cast<BYTE>(depth),
                           kAttributeTag,
                           kColourDepth,
                           kUInt16,
                           static_cast<BYTE>(b->width),
                           static_cast<BYTE>(b->width >> 8),
                           kAttributeTag,
                           kSourceWidth,
                           kUInt16,
                           static_cast<BYTE>(b->height),
                           static_cast<BYTE>(b->height >> 8),
                           kAttributeTag,
                           kSourceHeight,
                           kUInt16Pair,
                           static_cast<BYTE>(dw),
                           static_cast<BYTE>(dw >> 8),
                           static_cast<BYTE>(dh),
                           static_cast<BYTE>(dh >> 8),
                           kAttributeTag,
                           kDestinationSize,
                           kSInt16,
                           static_cast<BYTE>(id),
                           0,
                           kAttributeTag,
                           kPatternDefineId,
                           kUByte,
                           static_cast<BYTE>(gray ? 1 : 0),
                           kAttributeTag,
                           kPatternPersistence,
                           kBeginRasterPattern,
                           kUInt16,
                           0,
                           0,
                           kAttributeTag,
                           kStartLine,
                           kUInt16,
                           static_cast<BYTE>(b->height),
                           static_cast<BYTE>(b->height >> 8),
                           kAttributeTag,
                           kBlockHeight,
                           kUByte,
                           kCompressNone,
                           kAttributeTag,
                           kCompression,
                           kReadRasterPattern,
                           kDataTag};
    DWORD length = static_cast<DWORD>(rows.size());
    for (int i = 0; i < 4; ++i)
        t.push_back(static_cast<BYTE>(length >> (8 * i)));
    t.insert(t.end(), rows.begin(), rows.end());
    t.insert(t.end(), {kEndRasterPattern, kSInt16, static_cast<BYTE>(id), 0, kAttributeTag,
                       kPatternSelectId, kSetBrushSource});
    if (!OutputBytes(pdev, t.data(), static_cast<DWORD>(t.size()))) return FALSE;
    v.slotBrush[slot] = b->brushId;
    v.nextSlot = static_cast<DWORD>((slot + 1) % kPatternSlots);
    v.currentPattern = id;
    v.drawState &= ~draw::BrushMask;
    return TRUE;
}

// One horizontal strip of a tiled fill as an image.
BOOL SendTiledStrip(PDEV* pdev, const RealizedBrush* b, const RECTL& strip, BYTE rop) {
    TiledBitmap bitmap;
    if (!BuildTiledBitmap(b, &strip, &bitmap)) return FALSE;
    TilePatternBits(b, FinePatterns(pdev) ? 1 : 4, &strip, &bitmap);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(pdev);
    so.sizlBitmap = SIZEL{bitmap.width, bitmap.height};
    so.iBitmapFormat = bitmap.bitsPerPixel == 1   ? BMF_1BPP
                       : bitmap.bitsPerPixel == 4 ? BMF_4BPP
                       : bitmap.bitsPerPixel == 8 ? BMF_8BPP
                                                  : BMF_24BPP;
    so.cjBits = static_cast<ULONG>(bitmap.bits.size());
    so.pvBits = bitmap.bits.data();
    so.pvScan0 = bitmap.bits.data() + static_cast<size_t>(bitmap.stride) * (bitmap.height - 1);
    so.lDelta = -bitmap.stride;
    XLATEOBJ xlate{};
    xlate.flXlate = XO_TABLE;
    xlate.iSrcType = PAL_INDEXED;
    xlate.iDstType = PAL_RGB;
    xlate.cEntries = b->colorCount;
    xlate.pulXlate = const_cast<ULONG*>(PatternColors(b));
    RECTL source{0, 0, bitmap.width, bitmap.height};
    RECTL dest = strip;
    return gOutputImage(pdev, &so, bitmap.bitsPerPixel == 24 ? nullptr : &xlate, &dest, &source,
                        rop);
}

// The target covered by images of the tiled pattern, in strips small enough
// to be made; FALSE when one of them was not sent.
BOOL TiledFill(PDEV* pdev, const RealizedBrush* b, const RECTL* target, DWORD rop,
               bool transparent) {
    if (!SelectNoBrush(pdev) || !SelectNoPen(pdev) || !SetTransferModes(pdev, transparent))
        return FALSE;
    BYTE converted = static_cast<BYTE>(rop);
    PatternRopToSourceRop(rop, &converted);
    if (!target) return TRUE;
    RECTL area{std::min(target->left, target->right), std::min(target->top, target->bottom),
               std::max(target->left, target->right), std::max(target->top, target->bottom)};
    if (area.left == area.right || area.top == area.bottom) return TRUE;
    if (!gOutputImage) return FALSE;
    const LONGLONG stride =
        (static_cast<LONGLONG>(area.right - area.left) * PatternBitsPerPixel(b->format) + 31) / 32 *
        4;
    if (stride > kMaxTileBytes) return FALSE;
    const LONG stripRows = static_cast<LONG>(kMaxTileBytes / stride);
    for (LONG top = area.top; top < area.bottom;) {
        const LONG rows =
            static_cast<LONG>(std::min<LONGLONG>(stripRows, LONGLONG(area.bottom) - top));
        const RECTL strip{area.left, top, area.right, top + rows};
        if (!SendTiledStrip(pdev, b, strip, converted)) return FALSE;
        top += rows;
    }
    return TRUE;
}

} // namespace

DWORD PatternBitsPerPixel(DWORD format) {
    switch (format) {
    case kPattern1:
        return 1;
    case kPattern4:
        return 4;
    case kPattern8:
        return 8;
    case kPattern24:
        return 24;
    default:
        return 0;
    }
}

ULONG PatternPixel(const RealizedBrush* b, DWORD x, DWORD y) {
    const BYTE* row = PatternBits(b) + static_cast<size_t>(y) * PatternRowBytes(b);
    switch (b->format) {
    case kPattern1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case kPattern4:
        return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case kPattern8:
        return row[x];
    default:
        return row[x * 3] | (row[x * 3 + 1] << 8) | (static_cast<ULONG>(row[x * 3 + 2]) << 16);
    }
}

DWORD PatternRowBytes(const RealizedBrush* b) {
    return static_cast<DWORD>(
        (static_cast<ULONGLONG>(b->width) * PatternBitsPerPixel(b->format) + 15) / 16 * 2);
}

void SetOutputImage(OutputImageFn fn) {
    gOutputImage = fn;
}

bool PatternRopToSourceRop(DWORD rop, BYTE* out) {
    static const BYTE kPatternDest[][2] = {{0x05, 0x11}, {0x0A, 0x22}, {0x0F, 0x33}, {0x50, 0x44},
                                           {0x5A, 0x66}, {0x5F, 0x77}, {0xA0, 0x88}, {0xA5, 0x99},
                                           {0xAF, 0xBB}, {0xF0, 0xCC}, {0xF5, 0xDD}, {0xFA, 0xEE}};
    static const BYTE kPatternSource[] = {0x03, 0x0C, 0x30, 0x3C, 0x3F,
                                          0xC0, 0xC3, 0xCF, 0xF3, 0xFC};
    BYTE r = static_cast<BYTE>(rop & 0xFF);
    for (const auto& m : kPatternDest)
        if (m[0] == r) {
            if (out) *out = m[1];
            return true;
        }
    for (BYTE s : kPatternSource)
        if (s == r) {
            if (out) *out = r;
            return true;
        }
    if (out) *out = r;
    return false;
}

ULONG TiledBitmap::Pixel(LONG x, LONG y) const {
    const BYTE* row = bits.data() + static_cast<size_t>(stride) * (height - 1 - y);
    switch (bitsPerPixel) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case 8:
        return row[x];
    default:
        return row[x * 3] | (row[x * 3 + 1] << 8) | (static_cast<ULONG>(row[x * 3 + 2]) << 16);
    }
}

bool BuildTiledBitmap(const RealizedBrush* brush, const RECTL* target, TiledBitmap* out) {
    if (!brush || !target || !out || !ValidPattern(brush)) return false;
    LONGLONG w = static_cast<LONGLONG>(target->right) - target->left;
    LONGLONG h = static_cast<LONGLONG>(target->bottom) - target->top;
    if (w < 0) w = -w;
    if (h < 0) h = -h;
    // Indexed images reach the printer without their palette too: colours
    // its gray ramp would not show are tiled as 24-bit pixels.
    DWORD bpp = ShownByGrayRamp(brush) ? PatternBitsPerPixel(brush->format) : 24;
    LONGLONG stride = (w * bpp + 31) / 32 * 4;
    if (w == 0 || h == 0 || stride * h > kMaxTileBytes) return false;
    out->width = static_cast<LONG>(w);
    out->height = static_cast<LONG>(h);
    out->bitsPerPixel = bpp;
    out->stride = static_cast<LONG>(stride);
    out->bits.assign(static_cast<size_t>(stride * h), 0);
    return true;
}

void TilePatternBits(const RealizedBrush* b, LONG scale, const RECTL* target, TiledBitmap* bitmap) {
    if (!b || !target || !bitmap || bitmap->bits.empty() || scale < 1) return;
    LONG tileW = static_cast<LONG>(b->width) * scale, tileH = static_cast<LONG>(b->height) * scale;
    LONG left = target->left < target->right ? target->left : target->right;
    LONG top = target->top < target->bottom ? target->top : target->bottom;
    LONG px = FloorMod(left, tileW), py = FloorMod(top, tileH);
    for (LONG y = 0; y < bitmap->height; ++y) {
        DWORD sy = static_cast<DWORD>(((py + y) % tileH) / scale);
        BYTE* row =
            bitmap->bits.data() + static_cast<size_t>(bitmap->stride) * (bitmap->height - 1 - y);
        for (LONG x = 0; x < bitmap->width; ++x) {
            DWORD sx = static_cast<DWORD>(((px + x) % tileW) / scale);
            ULONG p =
                bitmap->bitsPerPixel == 24 ? PatternColour(b, sx, sy) : PatternPixel(b, sx, sy);
            switch (bitmap->bitsPerPixel) {
            case 1:
                if (p) row[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                break;
            case 4:
                row[x >> 1] |= static_cast<BYTE>((x & 1) ? p : p << 4);
                break;
            case 8:
                if (p) row[x] = static_cast<BYTE>(p);
                break;
            default:
                row[x * 3] = static_cast<BYTE>(p);
                row[x * 3 + 1] = static_cast<BYTE>(p >> 8);
                row[x * 3 + 2] = static_cast<BYTE>(p >> 16);
                break;
            }
        }
    }
}

BOOL SetBrush(PDEV* pdev, const RealizedBrush* brush, const RECTL* target, DWORD rop,
              bool transparent) {
    if (!brush || !ValidPattern(brush)) return FALSE;
    // A pattern of one colour is that colour: nothing to tile or download.
    if (brush->uniform)
        return SetBrushColor(pdev, brush->uniformColor) && SetRop(pdev, rop) &&
               SetTransferModes(pdev, transparent);
    bool rasterPattern = (pdev->modelCaps & caps::AnyPatternSize) ||
                         (brush->width % 8 == 0 && brush->height % 8 == 0);
    if (rasterPattern)
        return SendRasterPattern(pdev, brush) && SetRop(pdev, rop) &&
               SetTransferModes(pdev, transparent);
    return TiledFill(pdev, brush, target, rop, transparent);
}

BOOL SelectBrushForFill(PDEV* pdev, BRUSHOBJ* pbo, const RECTL* target, DWORD rop,
                        bool transparent) {
    if (!pbo) return FALSE;
    if (pbo->iSolidColor != 0xFFFFFFFF) return SetBrushColor(pdev, pbo->iSolidColor);
    auto* brush = static_cast<const RealizedBrush*>(BRUSHOBJ_pvGetRbrush(pbo));
    return SetBrush(pdev, brush, target, rop, transparent);
}

} // namespace inkforge
