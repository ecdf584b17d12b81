// Images into the printer stream. Every encoder reads its source through one
// checked view of the surface (SourceView), produces its rows one by one and
// hands them to the block writer, which groups compressed rows into blocks
// of at most kMaxBlockBytes and writes each block in two passes: the first
// counts, the second sends. Nothing allocated here outlives the image.
#include "raster_encode.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "band_rotation.h"
#include "hooks.h"
#include "imaging_state.h"
#include "jbig_block.h"
#include "model/model_queries.h"
#include "model_access.h"
#include "output_writer.h"
#include "pdev.h"
#include "render_lookups.h"
#include "row_compress.h"
#include "vector_tokens.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr DWORD kCompressDeltaLevel = 0x20001;
constexpr ULONG kWhite = 0xFFFFFF;
constexpr int kTonerSaveBit = 14;
constexpr BYTE kTonerSavePattern = 0xAA; // every other pixel white
constexpr char kDefaultJbigCoder[] = "Dotpacker.DLL";
constexpr char kJbigExport[] = "CMPJDLL";

// The rectangle of the source that is read, checked against the surface.
struct SourceView {
    const BYTE* first = nullptr; // the rectangle's first row
    LONG delta = 0;
    ULONG format = 0;
    LONG left = 0, top = 0, width = 0, height = 0;

    const BYTE* Row(LONG r) const { return first + static_cast<LONGLONG>(r) * delta; }
};

bool MakeView(SURFOBJ* s, const RECTL* rect, SourceView* v) {
    if (!s || !s->pvScan0 || s->iType != STYPE_BITMAP || s->sizlBitmap.cx <= 0 ||
        s->sizlBitmap.cy <= 0)
        return false;
    const DWORD need = BytesForPixels(s->iBitmapFormat, static_cast<DWORD>(s->sizlBitmap.cx));
    const LONG delta = s->lDelta;
    if (static_cast<DWORD>(delta < 0 ? -static_cast<LONGLONG>(delta) : delta) < need) return false;
    RECTL r = rect ? *rect : RECTL{0, 0, s->sizlBitmap.cx, s->sizlBitmap.cy};
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, s->sizlBitmap.cx);
    r.bottom = std::min<LONG>(r.bottom, s->sizlBitmap.cy);
    if (r.right <= r.left || r.bottom <= r.top) return false;
    v->format = s->iBitmapFormat;
    v->delta = delta;
    v->left = r.left;
    v->top = r.top;
    v->width = r.right - r.left;
    v->height = r.bottom - r.top;
    v->first = static_cast<const BYTE*>(s->pvScan0) + static_cast<LONGLONG>(r.top) * delta;
    return true;
}

// The index of pixel x (from the view's left) of a 1, 4 or 8-bit row.
ULONG IndexAt(const SourceView& v, const BYTE* row, LONG x) {
    LONG px = v.left + x;
    switch (v.format) {
    case BMF_1BPP:
        return (row[px / 8] >> (7 - px % 8)) & 1;
    case BMF_4BPP:
        return (px & 1) ? (row[px / 2] & 0xF) : (row[px / 2] >> 4);
    default:
        return row[px];
    }
}

// The default palettes of 2, 16 and 256 entries (0x00BBGGRR read as low, middle, high).
const ULONG* DefaultPalette(ULONG format, ULONG* count) {
    static const std::vector<ULONG> mono = {0x000000, 0xFFFFFF};
    static const std::vector<ULONG> vga = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
        0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    static const std::vector<ULONG> gray = [] {
        std::vector<ULONG> g(256);
        for (ULONG i = 0; i < 256; ++i)
            g[i] = i * 0x010101;
        return g;
    }();
    const std::vector<ULONG>& p = format == BMF_1BPP ? mono : format == BMF_4BPP ? vga : gray;
    *count = static_cast<ULONG>(p.size());
    return p.data();
}

bool UsableTable(XLATEOBJ* x) {
    return x && (x->flXlate & XO_TABLE) && x->pulXlate && x->cEntries &&
           x->iSrcType != PAL_INDEXED && x->iSrcType != PAL_BGR;
}

// The palette an index image reads: the translation's table when usable, else the default.
const ULONG* PaletteOf(XLATEOBJ* x, ULONG format, ULONG* count) {
    if (UsableTable(x)) {
        *count = x->cEntries;
        return x->pulXlate;
    }
    return DefaultPalette(format, count);
}

struct Halftoning {
    const BYTE* matrix;
    LONG width, height;
    DWORD depth;
    DWORD addOne;
    SHORT wLow, wMid, wHigh;
    const BYTE* tone;
};

Halftoning HalftoneOf(PDEV* pdev) {
    Halftoning h{
        BuiltInHalftoneMatrix(), 16,     16, 8, 0, model::kDefaultGrayRed, model::kDefaultGrayGreen,
        model::kDefaultGrayBlue, nullptr};
    if (const HalftoneRecord* r = pdev->halftone) {
        if (r->matrix && r->matrixWidth > 0 && r->matrixHeight > 0) {
            h.matrix = r->matrix;
            h.width = r->matrixWidth;
            h.height = r->matrixHeight;
            h.depth = r->matrixBits >= 1 && r->matrixBits <= 8 ? r->matrixBits : 8;
        }
        h.addOne = r->usage & htbits::AddOne;
        if (r->grayRed > 0 || r->grayGreen > 0 || r->grayBlue > 0) {
            h.wLow = r->grayRed;
            h.wMid = r->grayGreen;
            h.wHigh = r->grayBlue;
        }
        h.tone = r->toneCurve;
    }
    return h;
}

BYTE GrayOf(const Halftoning& h, ULONG c) {
    LONG sum = h.wLow + h.wMid + h.wHigh;
    LONG g =
        sum ? (h.wLow * static_cast<LONG>(c & 0xFF) + h.wMid * static_cast<LONG>((c >> 8) & 0xFF) +
               h.wHigh * static_cast<LONG>((c >> 16) & 0xFF)) /
                  sum
            : 0;
    g = std::clamp<LONG>(g, 0, 255);
    return h.tone ? h.tone[g] : static_cast<BYTE>(g);
}

bool Cancelled(PDEV* pdev) {
    return (pdev->jobFlags & job::Cancelled) != 0;
}

DWORD CompressionModes(PDEV* pdev, BYTE* blockByte) {
    if (pdev->graphicsVersion == kCompressDeltaLevel) {
        *blockByte = kBlockDeltaRow;
        return kModeDeltaRow;
    }
    *blockByte = kBlockRunLength;
    return kModeRunLength;
}

using RowMaker = std::function<void(LONG row, BYTE* out)>;

BOOL WriteBlockHeader(PDEV* pdev, DWORD startRow, DWORD rows, BYTE compression, DWORD bytes) {
    return TokenWriter()
        .uint16(startRow, stream::kStartLine)
        .uint16(rows, stream::kBlockHeight)
        .ubyte(compression, stream::kCompression)
        .b(stream::kReadImage)
        .b(stream::kDataTag)
        .d(bytes)
        .send(pdev);
}

// Rows 0 .. rows-1 made by `make` (rowBytes each), compressed and sent in blocks.
int SendRows(PDEV* pdev, LONG rows, DWORD rowBytes, const RowMaker& make) {
    BYTE blockByte = 0;
    DWORD modes = CompressionModes(pdev, &blockByte);
    CompressState st;
    if (!InitCompressBuffers(&st, rowBytes, modes)) return 0;
    HGLOBAL rowBlock = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, rowBytes);
    HGLOBAL seedBlock =
        (modes & kModeDeltaRow) ? GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, rowBytes) : nullptr;
    auto* row = static_cast<BYTE*>(rowBlock);
    auto* savedSeed = static_cast<BYTE*>(seedBlock);
    int result = 1;
    if (!row || ((modes & kModeDeltaRow) && !savedSeed)) result = 0;
    LONG r = 0;
    while (result == 1 && r < rows) {
        // First pass: how many rows fit, and their bytes.
        if (savedSeed) std::memcpy(savedSeed, st.seed, rowBytes);
        const CompressState before = st;
        DWORD total = 0;
        LONG n = 0;
        WORD blockMode = 0;
        for (LONG i = r; i < rows; ++i) {
            make(i, row);
            DWORD len = 0;
            WORD used = 0;
            if (!CompressRow(&st, row, rowBytes, &len, &used)) {
                result = 0;
                break;
            }
            if (n == 0) blockMode = used;
            // A row in another mode, or one that would pass the limit, starts the next block.
            if (n > 0 && (used != blockMode || total + len > kMaxBlockBytes)) break;
            total += len;
            ++n;
            if (n == 1 && total > kMaxBlockBytes) break;
        }
        if (result != 1) break;
        // Second pass: the header, then the same rows again.
        if (savedSeed) std::memcpy(st.seed, savedSeed, rowBytes);
        st.havePrevious = before.havePrevious;
        st.lastMode = before.lastMode;
        st.lastLength = before.lastLength;
        if (st.previousRow && before.havePrevious) {
            // The run-length reuse compares with the row before the block.
            make(r - 1, row);
            std::memcpy(st.previousRow, row, rowBytes);
            PackRunLength(row, st.runOut, rowBytes, &st.lastLength);
        }
        BYTE compression = blockMode == kModeDeltaRow ? kBlockDeltaRow : kBlockRunLength;
        if (blockMode == 0) compression = 0;
        if (!WriteBlockHeader(pdev, static_cast<DWORD>(r), static_cast<DWORD>(n), compression,
                              total)) {
            result = 0;
            break;
        }
        for (LONG i = r; i < r + n; ++i) {
            make(i, row);
            DWORD len = 0;
            WORD used = 0;
            const BYTE* out = CompressRow(&st, row, rowBytes, &len, &used);
            if (!out || !OutputBytes(pdev, out, len) || Cancelled(pdev)) {
                result = 0;
                break;
            }
        }
        r += n;
    }
    (void)blockByte;
    if (rowBlock) GlobalFree(rowBlock);
    if (seedBlock) GlobalFree(seedBlock);
    FreeCompressBuffers(&st);
    return result;
}

BOOL BeginImage(PDEV* pdev, const RECTL* dest, LONG srcWidth, LONG srcHeight, int depth, int space,
                DWORD rop) {
    POINTL at{dest->left, dest->top};
    if (!SetRop(pdev, rop & 0xFF)) return FALSE;
    LONG dw = std::max<LONG>(1, dest->right - dest->left),
         dh = std::max<LONG>(1, dest->bottom - dest->top);
    TokenWriter t;
    t.b(stream::kSInt16Pair)
        .w(static_cast<DWORD>(at.x))
        .w(static_cast<DWORD>(at.y))
        .b(stream::kAttributeTag)
        .b(stream::kPoint);
    t.b(stream::kSetCursor);
    t.ubyte(0, stream::kColourMapping)
        .ubyte(depth, stream::kColourDepth)
        .ubyte(space, stream::kColourSpace);
    t.uint16(static_cast<DWORD>(srcWidth), stream::kSourceWidth)
        .uint16(static_cast<DWORD>(srcHeight), stream::kSourceHeight);
    t.b(stream::kUInt16Pair)
        .w(static_cast<DWORD>(dw))
        .w(static_cast<DWORD>(dh))
        .b(stream::kAttributeTag)
        .b(stream::kDestinationSize);
    t.b(stream::kBeginImage);
    return t.send(pdev);
}

BOOL EndImage(PDEV* pdev) {
    return TokenWriter().b(stream::kEndImage).send(pdev);
}

int Framed(PDEV* pdev, const RECTL* dest, LONG w, LONG h, int depth, int space, DWORD rop,
           DWORD rowBytes, const RowMaker& make) {
    if (!BeginImage(pdev, dest, w, h, depth, space, rop)) return 0;
    int r = SendRows(pdev, h, rowBytes, make);
    if (r != 1) return r;
    return EndImage(pdev) ? 1 : 0;
}

// Step 10: halftoned and scaled to the destination, 1 bit (1 = black).
int EncodeDitheredImage(PDEV* pdev, const SourceView& v, XLATEOBJ* x, const RECTL* dest, DWORD rop,
                        const ColorKey* key, bool indexed) {
    LONG dw = std::max<LONG>(1, dest->right - dest->left),
         dh = std::max<LONG>(1, dest->bottom - dest->top);
    Halftoning h = HalftoneOf(pdev);
    ULONG count = 0;
    const ULONG* pal = indexed ? PaletteOf(x, v.format, &count) : nullptr;
    DWORD kind = indexed ? 0 : TranslateColor(x, v.format);
    const DWORD rowBytes = RoundRow((static_cast<DWORD>(dw) + 7) / 8);
    auto make = [&](LONG r, BYTE* out) {
        std::memset(out, 0, rowBytes);
        LONG sy = static_cast<LONG>((static_cast<LONGLONG>(v.height) * (2 * r + 1) / dh) / 2);
        if (sy >= v.height) return;
        const BYTE* row = v.Row(sy);
        for (LONG c = 0; c < dw; ++c) {
            LONG sx = static_cast<LONG>((static_cast<LONGLONG>(v.width) * (2 * c + 1) / dw) / 2);
            ULONG colour = kWhite;
            if (indexed) {
                ULONG i = IndexAt(v, row, sx);
                if (i < count && !(key && i == key->key)) colour = pal[i];
            } else {
                BYTE px[3];
                TranslateRow(row + static_cast<LONGLONG>(v.left + sx) * BytesForPixels(v.format, 1),
                             px, x, kind, v.format, 1);
                colour = px[0] | (px[1] << 8) | (static_cast<ULONG>(px[2]) << 16);
            }
            DWORD g = GrayOf(h, colour);
            BYTE cell = h.matrix[((dest->top + r) % h.height + h.height) % h.height * h.width +
                                 ((dest->left + c) % h.width + h.width) % h.width];
            if (cell >= ((g + h.addOne) >> (8 - h.depth)))
                out[c / 8] |= static_cast<BYTE>(0x80 >> (c % 8));
        }
    };
    return Framed(pdev, dest, dw, dh, stream::kDepth1Bit, stream::kColourSpaceGray, rop, rowBytes,
                  make);
}

bool HalftoneForPalette(PDEV* pdev) {
    const HalftoneRecord* r = pdev->halftone;
    bool bits = r && (r->usage & (htbits::NoHalftone | htbits::Halftone));
    bool grayRule =
        PrivU16(pdev->devmode, priv::ColorMode) == 1 && (pdev->modelCaps & caps::ImageHalftone);
    return r && r->matrix && (bits || grayRule);
}

// Index pixels expanded through their palette into gray or colour rows: the
// stream has no palette, so an index goes out as the colour it stands for.
// The key colour's index, and an index past the palette, is white.
int EncodeExpandedIndexes(PDEV* pdev, const SourceView& v, const ULONG* pal, ULONG count,
                          const RECTL* dest, DWORD rop, const ColorKey* key) {
    const bool gray = HalftoneForPalette(pdev);
    Halftoning h = HalftoneOf(pdev);
    const DWORD per = gray ? 1 : 3;
    const DWORD rowBytes = RoundRow(per * static_cast<DWORD>(v.width));
    auto make = [&](LONG r, BYTE* out) {
        std::memset(out, 0, rowBytes);
        const BYTE* row = v.Row(r);
        for (LONG c = 0; c < v.width; ++c) {
            ULONG i = IndexAt(v, row, c);
            ULONG colour = (i < count && !(key && i == key->key)) ? pal[i] : kWhite;
            if (gray) {
                out[c] = GrayOf(h, colour);
            } else {
                out[c * 3] = colour & 0xFF;
                out[c * 3 + 1] = (colour >> 8) & 0xFF;
                out[c * 3 + 2] = (colour >> 16) & 0xFF;
            }
        }
    };
    return Framed(pdev, dest, v.width, v.height, stream::kDepth8Bit,
                  gray ? stream::kColourSpaceGray : stream::kColourSpaceRgb, rop, rowBytes, make);
}

int EncodePaletteImage(PDEV* pdev, const SourceView& v, XLATEOBJ* x, const RECTL* dest, DWORD rop,
                       const ColorKey* key) {
    if (!UsableTable(x)) return 1; // no usable table: no rows
    return EncodeExpandedIndexes(pdev, v, x->pulXlate, x->cEntries, dest, rop, key);
}

// Rows aligned to bit 0, bits past the right edge cleared.
void AlignedRow(const SourceView& v, const BYTE* row, BYTE* out, DWORD rowBytes) {
    std::memset(out, 0, rowBytes);
    const DWORD bytes = BytesForPixels(v.format, static_cast<DWORD>(v.width));
    if (v.format == BMF_1BPP) {
        const int shift = v.left % 8;
        const BYTE* s = row + v.left / 8;
        const DWORD avail = static_cast<DWORD>((v.left + v.width + 7) / 8 - v.left / 8);
        for (DWORD i = 0; i < bytes; ++i) {
            BYTE hi = s[i];
            BYTE lo = (i + 1 < avail) ? s[i + 1] : 0;
            out[i] = shift ? static_cast<BYTE>((hi << shift) | (lo >> (8 - shift))) : hi;
        }
        if (v.width % 8) out[bytes - 1] &= static_cast<BYTE>(0xFF << (8 - v.width % 8));
    } else if (v.format == BMF_4BPP) {
        for (LONG c = 0; c < v.width; ++c) {
            BYTE n = static_cast<BYTE>(IndexAt(v, row, c));
            out[c / 2] |= (c & 1) ? n : static_cast<BYTE>(n << 4);
        }
    } else {
        std::memcpy(out, row + static_cast<LONGLONG>(v.left) * BytesForPixels(v.format, 1), bytes);
    }
}

// A 1-bit image as a JBIG page: aligned into a bitmap of its own (the
// caller's bits are never changed), each index turned into the printer's bit
// for its colour (1 = black: `black0` and `black1` say which of the two
// indexes is black), toner save, turned a quarter for landscape pages, then
// coded.
int SendJbigImage(PDEV* pdev, const SourceView& v, bool black0, bool black1) {
    const DWORD stride = RoundRow((static_cast<DWORD>(v.width) + 7) / 8);
    const bool landscape = pdev->devmode.dm.dmOrientation == DMORIENT_LANDSCAPE;
    // A landscape image is padded at the top to whole 32-line strips; the
    // padding turns into columns right of the image, which are not sent.
    const LONG pad = landscape ? (32 - v.height % 32) % 32 : 0;
    const LONG lines = v.height + pad;
    // The banding page is this side's own image, made white again at the next
    // page start: it is inverted where it lies, without a copy.
    const ImagingState* st = pdev->imaging;
    const bool own = st && st->pageBits && v.first == st->pageBits && v.left == 0 && pad == 0 &&
                     v.delta == static_cast<LONG>(stride) && v.height <= st->pageHeight;
    // Every byte is written below (the padding lines as white, 0 once inverted).
    HGLOBAL block = own ? nullptr : GlobalAlloc(GMEM_FIXED, static_cast<size_t>(stride) * lines);
    if (!own && !block) return 0;
    auto* bits = own ? st->pageBits : static_cast<BYTE*>(block);
    std::memset(bits, 0, static_cast<size_t>(stride) * pad);
    const BYTE toner = PrivBit(pdev->devmode, priv::FeatureFlags, kTonerSaveBit) &&
                               PrivU16(pdev->devmode, priv::TonerSaveLevel) == 1
                           ? kTonerSavePattern
                           : 0;
    const DWORD bytes = (static_cast<DWORD>(v.width) + 7) / 8;
    // Bits past the right edge stay white.
    const BYTE edge = v.width % 8 ? static_cast<BYTE>(0xFF >> (v.width % 8)) : 0;
    // A printer bit is (bit & one) | (~bit & zero): the source bits as they
    // are (index 1 black), inverted (index 0 black, as in the page's own
    // image), or all one colour; toner save then whitens every other pixel.
    const BYTE one = black1 ? 0xFF : 0, zero = black0 ? 0xFF : 0;
    const BYTE keep = static_cast<BYTE>(~toner);
    for (LONG y = 0; y < v.height; ++y) {
        BYTE* row = bits + static_cast<size_t>(y + pad) * stride;
        const BYTE* from = row;
        if (v.left % 8 == 0) {
            // Whole bytes (the page itself, perhaps in place): one pass that the
            // compiler widens.
            from = v.Row(y) + v.left / 8;
        } else {
            AlignedRow(v, v.Row(y), row, bytes);
        }
        for (DWORD i = 0; i < bytes; ++i)
            row[i] = static_cast<BYTE>(((from[i] & one) | (~from[i] & zero)) & keep);
        row[bytes - 1] &= static_cast<BYTE>(~edge);
        std::memset(row + bytes, 0, stride - bytes);
    }
    SURFOBJ flat{};
    flat.iType = STYPE_BITMAP;
    flat.iBitmapFormat = BMF_1BPP;
    flat.sizlBitmap = SIZEL{v.width, lines};
    flat.pvScan0 = bits;
    flat.lDelta = static_cast<LONG>(stride);
    int result = 0;
    if (!landscape) {
        result = CompressJbig(pdev, &flat, v.width, v.height) ? 1 : 0;
    } else {
        const LONG turnedWidth = lines, turnedHeight = (v.width + 15) / 16 * 16;
        const DWORD turnedStride = RoundRow(static_cast<DWORD>(turnedWidth + 7) / 8);
        // The turn writes the image's lines, each up to the image's bytes;
        // what lies past them is white (0 once inverted).
        HGLOBAL turnedBlock =
            GlobalAlloc(GMEM_FIXED, static_cast<size_t>(turnedStride) * turnedHeight);
        if (turnedBlock) {
            auto* t = static_cast<BYTE*>(turnedBlock);
            const DWORD used = static_cast<DWORD>(turnedWidth) / 8;
            if (used < turnedStride)
                for (LONG y = 0; y < v.width; ++y)
                    std::memset(t + static_cast<size_t>(y) * turnedStride + used, 0,
                                turnedStride - used);
            std::memset(t + static_cast<size_t>(v.width) * turnedStride, 0,
                        static_cast<size_t>(turnedHeight - v.width) * turnedStride);
            SURFOBJ turned = flat;
            turned.sizlBitmap = SIZEL{turnedWidth, turnedHeight};
            turned.pvScan0 = turnedBlock;
            turned.lDelta = static_cast<LONG>(turnedStride);
            // The printable area is turned with the page while it is coded.
            std::swap(pdev->pageLeft, pdev->pageTop);
            std::swap(pdev->pageRight, pdev->pageBottom);
            if (RotatePageBitmap(pdev, &flat, &turned))
                result = CompressJbig(pdev, &turned, v.height, turnedHeight) ? 1 : 0;
            std::swap(pdev->pageLeft, pdev->pageTop);
            std::swap(pdev->pageRight, pdev->pageBottom);
            GlobalFree(turnedBlock);
        }
    }
    if (block) GlobalFree(block);
    return result;
}

int EncodeIndexedImage(PDEV* pdev, const SourceView& v, XLATEOBJ* x, const RECTL* dest, DWORD rop,
                       const ColorKey* key) {
    ULONG count = 0;
    const ULONG* pal = PaletteOf(x, v.format, &count);
    if (v.format == BMF_1BPP) {
        // The image's two colours decide its bits, in whichever order its
        // palette holds them; the key colour's index, and one past the
        // palette, is white.
        auto colour = [&](ULONG i) {
            return i < count && !(key && i == key->key) ? pal[i] & kWhite : kWhite;
        };
        const ULONG c0 = colour(0), c1 = colour(1);
        auto blackOrWhite = [](ULONG c) { return c == 0 || c == kWhite; };
        if (blackOrWhite(c0) && blackOrWhite(c1)) return SendJbigImage(pdev, v, c0 == 0, c1 == 0);
        // Other colours cannot be 1-bit rows: they go out as the colours they are.
    }
    return EncodeExpandedIndexes(pdev, v, pal, count, dest, rop, key);
}

int EncodeColorImage(PDEV* pdev, const SourceView& v, XLATEOBJ* x, const RECTL* dest, DWORD rop,
                     const ColorKey* key) {
    if (UseHalftoneForImage(pdev, v.format, v.width, v.height, dest->right - dest->left,
                            dest->bottom - dest->top))
        return EncodeDitheredImage(pdev, v, x, dest, rop, key, false);
    const DWORD kind = TranslateColor(x, v.format);
    const DWORD rowBytes = RoundRow(3 * static_cast<DWORD>(v.width));
    BYTE keyBytes[3] = {};
    if (key) {
        ULONG k = x ? XLATEOBJ_iXlate(x, key->key) : key->key;
        keyBytes[0] = k & 0xFF, keyBytes[1] = (k >> 8) & 0xFF, keyBytes[2] = (k >> 16) & 0xFF;
    }
    auto make = [&](LONG r, BYTE* out) {
        std::memset(out, 0, rowBytes);
        TranslateRow(v.Row(r) + static_cast<LONGLONG>(v.left) * BytesForPixels(v.format, 1), out, x,
                     kind, v.format, static_cast<DWORD>(v.width));
        if (key)
            for (LONG c = 0; c < v.width; ++c)
                if (std::memcmp(out + c * 3, keyBytes, 3) == 0) std::memset(out + c * 3, 0xFF, 3);
    };
    return Framed(pdev, dest, v.width, v.height, stream::kDepth8Bit, stream::kColourSpaceRgb, rop,
                  rowBytes, make);
}

int EncodeKeyMask(PDEV* pdev, const SourceView& v, XLATEOBJ* x, const RECTL* dest, DWORD rop,
                  const ColorKey* key) {
    const DWORD rowBytes = RoundRow((static_cast<DWORD>(v.width) + 7) / 8);
    const bool indexed = v.format == BMF_1BPP || v.format == BMF_4BPP || v.format == BMF_8BPP;
    const DWORD kind = indexed ? 0 : TranslateColor(x, v.format);
    BYTE keyBytes[3] = {};
    if (!indexed) {
        ULONG k = x ? XLATEOBJ_iXlate(x, key->key) : key->key;
        keyBytes[0] = k & 0xFF, keyBytes[1] = (k >> 8) & 0xFF, keyBytes[2] = (k >> 16) & 0xFF;
    }
    std::vector<BYTE> px(indexed ? 0 : 3 * static_cast<size_t>(v.width));
    auto make = [&](LONG r, BYTE* out) {
        const BYTE* row = v.Row(r);
        if (v.format == BMF_1BPP) {
            AlignedRow(v, row, out, rowBytes);
            return;
        }
        std::memset(out, 0, rowBytes);
        if (!indexed)
            TranslateRow(row + static_cast<LONGLONG>(v.left) * BytesForPixels(v.format, 1),
                         px.data(), x, kind, v.format, static_cast<DWORD>(v.width));
        for (LONG c = 0; c < v.width; ++c) {
            bool hit = v.format == BMF_4BPP   ? IndexAt(v, row, c) == (key->key & 0xF)
                       : v.format == BMF_8BPP ? IndexAt(v, row, c) == (key->key & 0xFF)
                                              : std::memcmp(px.data() + c * 3, keyBytes, 3) == 0;
            if (hit) out[c / 8] |= static_cast<BYTE>(0x80 >> (c % 8));
        }
    };
    return Framed(pdev, dest, v.width, v.height, stream::kDepth1Bit, stream::kColourSpaceGray, rop,
                  rowBytes, make);
}

} // namespace

bool RectInsideBand(PDEV* pdev, LONG x, LONG y, LONG width, LONG height) {
    const RECTL& b = Imaging(pdev) ? Imaging(pdev)->band : RECTL{};
    if (b.left == 0 && b.top == 0 && b.right == 0 && b.bottom == 0) return true;
    return x <= b.right && x + width >= b.left && y <= b.bottom && y + height >= b.top;
}

RECTL FitImageToClip(const RECTL& dest) {
    LONG w = dest.right - dest.left, h = dest.bottom - dest.top;
    if (w <= 0 || h <= 0) w = h = 1;
    return RECTL{dest.left, dest.top, dest.left + w, dest.top + h};
}

bool UseHalftoneForImage(PDEV* pdev, ULONG format, LONG srcWidth, LONG srcHeight, LONG destWidth,
                         LONG destHeight) {
    const HalftoneRecord* r = pdev->halftone;
    if (!r || !r->matrix) return false;
    const DWORD u = r->usage;
    const bool two = u & htbits::NoHalftone, four = u & htbits::Halftone;
    if (!two && !four)
        return PrivU16(pdev->devmode, priv::ColorMode) == 1 &&
               (pdev->modelCaps & caps::ImageHalftone) && format != BMF_1BPP &&
               (u & htbits::Indexed || format >= BMF_16BPP);
    switch (format) {
    case BMF_1BPP:
        return false;
    case BMF_4BPP:
    case BMF_8BPP:
        return two ? false : (u & htbits::Indexed) != 0;
    case BMF_16BPP:
    case BMF_24BPP:
    case BMF_32BPP:
        if (two && four)
            return static_cast<LONGLONG>(destWidth) * destHeight < 8LL * srcWidth * srcHeight;
        return !two;
    default:
        return false;
    }
}

DWORD TranslateColor(XLATEOBJ* x, ULONG format) {
    if (format == BMF_16BPP) return 2;
    if (format != BMF_24BPP && format != BMF_32BPP) return 0;
    if (!x || (x->flXlate & XO_TRIVIAL)) return format == BMF_24BPP ? 0 : 8;
    ULONG a = XLATEOBJ_iXlate(x, 0xFF), b = XLATEOBJ_iXlate(x, 0xFF00),
          c = XLATEOBJ_iXlate(x, 0xFF0000), d = XLATEOBJ_iXlate(x, 0xFF000000);
    if (a == 0xFF && b == 0xFF00 && c == 0xFF0000 && d == 0) return format == BMF_24BPP ? 0 : 8;
    if (a == 0xFF0000 && b == 0xFF00 && c == 0xFF && d == 0) return 6;
    return 2;
}

void TranslateRow(const BYTE* src, BYTE* dst, XLATEOBJ* x, DWORD kind, ULONG format, DWORD count) {
    const DWORD step = BytesForPixels(format, 1);
    for (DWORD i = 0; i < count; ++i, src += step, dst += 3) {
        if (kind & 4) {
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
        } else if (kind == 8 || (kind == 0 && step >= 3)) {
            dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
        } else {
            ULONG v = step == 2   ? (src[0] | (src[1] << 8))
                      : step == 3 ? (src[0] | (src[1] << 8) | (static_cast<ULONG>(src[2]) << 16))
                                  : (src[0] | (src[1] << 8) | (static_cast<ULONG>(src[2]) << 16) |
                                     (static_cast<ULONG>(src[3]) << 24));
            ULONG t = x ? XLATEOBJ_iXlate(x, v) : v;
            dst[0] = t & 0xFF, dst[1] = (t >> 8) & 0xFF, dst[2] = (t >> 16) & 0xFF;
        }
    }
}

int EncodeImage(PDEV* pdev, SURFOBJ* src, XLATEOBJ* xlate, const RECTL* dest, const RECTL* srcRect,
                DWORD rop, const ColorKey* key) {
    if (!src || !srcRect || srcRect->right - srcRect->left <= 0 ||
        srcRect->bottom - srcRect->top <= 0)
        return -1;
    SourceView v;
    if (!MakeView(src, srcRect, &v)) return -1;
    const ULONG f = v.format;
    const bool indexed = f == BMF_1BPP || f == BMF_4BPP || f == BMF_8BPP;
    const bool colour = f == BMF_16BPP || f == BMF_24BPP || f == BMF_32BPP;
    int r = 1;
    if (key && key->maskPass) {
        if (indexed || colour) r = EncodeKeyMask(pdev, v, xlate, dest, rop, key);
    } else if (colour) {
        r = EncodeColorImage(pdev, v, xlate, dest, rop, key);
    } else if (indexed) {
        const DWORD u = pdev->halftone ? pdev->halftone->usage : 0;
        if ((u & htbits::Indexed) &&
            UseHalftoneForImage(pdev, f, v.width, v.height, dest->right - dest->left,
                                dest->bottom - dest->top))
            r = EncodeDitheredImage(pdev, v, xlate, dest, rop, key, true);
        else if (f == BMF_8BPP && (u & htbits::PaletteRows))
            r = EncodePaletteImage(pdev, v, xlate, dest, rop, key);
        else
            r = EncodeIndexedImage(pdev, v, xlate, dest, rop, key);
    }
    return r == 1 ? 1 : -1;
}

int OutputImage(PDEV* pdev, SURFOBJ* src, XLATEOBJ* xlate, const RECTL* dest, const RECTL* srcRect,
                const POINTL*, DWORD rop, DWORD flag, const ColorKey* key) {
    if (!src || src->iType != STYPE_BITMAP || !dest) return kImageNotHandled;
    const ULONG f = src->iBitmapFormat;
    const bool mask = key && key->maskPass;
    LONG sw = srcRect ? srcRect->right - srcRect->left : 0,
         sh = srcRect ? srcRect->bottom - srcRect->top : 0;
    const RECTL d = FitImageToClip(*dest);
    const LONG dw = d.right - d.left, dh = d.bottom - d.top;
    if (!mask && !UseHalftoneForImage(pdev, f, sw, sh, dw, dh)) {
        const DWORD u = pdev->halftone ? pdev->halftone->usage : 0;
        // The band's own page image carries the default palette (flag 1).
        const bool table = UsableTable(xlate) || flag == 1;
        if (f == BMF_1BPP || f == BMF_4BPP) {
            if (!table) return kImageNotHandled;
        } else if (f == BMF_8BPP) {
            if (!table && !(u & htbits::PaletteRows)) return kImageNotHandled;
        } else if (f != BMF_16BPP && f != BMF_24BPP && f != BMF_32BPP) {
            return kImageNotHandled;
        }
    }
    if (!RectInsideBand(pdev, d.left, d.top, dw, dh)) return kImageSent;
    return EncodeImage(pdev, src, xlate, &d, srcRect, rop, key) == 1 ? kImageSent : kImageFailed;
}

void ApplyTonerSavePattern(SURFOBJ* s) {
    if (!s || !s->pvScan0 || s->iBitmapFormat != BMF_1BPP || s->sizlBitmap.cy <= 0) return;
    const DWORD bytes = BytesForPixels(BMF_1BPP, static_cast<DWORD>(s->sizlBitmap.cx));
    for (LONG y = 0; y < s->sizlBitmap.cy; ++y) {
        BYTE* row = static_cast<BYTE*>(s->pvScan0) + static_cast<LONGLONG>(y) * s->lDelta;
        for (DWORD i = 0; i < bytes; ++i)
            row[i] |= kTonerSavePattern;
    }
}

namespace {

BOOL WriteCompressedChunk(PDEV* pdev, const BYTE* data, DWORD n, BYTE flag) {
    const DWORD framed = n + 2;
    if (framed > 0xFFFF) return FALSE;
    if (!OutputByteList(pdev, {stream::kFrameEscape, static_cast<int>(framed & 0xFF),
                               static_cast<int>(framed >> 8), stream::kRasterChunk, flag}))
        return FALSE;
    return n == 0 || OutputBytes(pdev, data, n);
}

// The coding of one image on this thread: the callback has only the block,
// whose layout is the coder's, so what goes wrong inside it is noted here.
struct JbigRun {
    const BYTE* buffer = nullptr; // the output buffer the chunks are sent from
    bool failed = false;
};
thread_local JbigRun* tCurrentJbigRun = nullptr;

// The bytes the coder says its output buffer holds, when they lie within
// the buffer this side gave it; a coder that claims more fails the image.
bool ChunkInBuffer(const outside::JbigCodecBlock* b, const JbigRun* run) {
    return b->sendBuffer == run->buffer && b->outputBytes <= outside::kJbigBufferSize &&
           b->outputBytes <= b->outputSize;
}

void JbigChunkCallback(outside::JbigCodecBlock* b) {
    JbigRun* run = tCurrentJbigRun;
    if (!run || run->failed) return;
    auto* pdev = static_cast<PDEV*>(b->owner);
    if (!ChunkInBuffer(b, run) ||
        !WriteCompressedChunk(pdev, b->sendBuffer, b->outputBytes,
                              b->firstSent ? stream::kJbigChunkMiddle : stream::kJbigChunkFirst)) {
        run->failed = true;
        return;
    }
    b->firstSent = 1;
}

std::u16string GraphicsDllFolder() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(DriverModule(), path, MAX_PATH);
    if (!n || n >= MAX_PATH) return {};
    std::u16string file(path, n);
    size_t slash = file.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string() : file.substr(0, slash + 1);
}

std::u16string JbigCoderName(PDEV* pdev) {
    std::u16string name = pdev->modelData
                              ? ComponentFileName(pdev->modelData, model::kComponentJbigCoder)
                              : std::u16string();
    if (name.empty() || name.size() > MAX_PATH) {
        name.clear();
        for (const char* p = kDefaultJbigCoder; *p; ++p)
            name += static_cast<char16_t>(*p);
    }
    return name;
}

} // namespace

BOOL CompressJbig(PDEV* pdev, SURFOBJ* s, LONG width, LONG height) {
    if (!s || !s->pvScan0 || s->iBitmapFormat != BMF_1BPP || width <= 0 || height <= 0 ||
        width > 0xFFFF || height > 0xFFFF || width > s->sizlBitmap.cx || height > s->sizlBitmap.cy)
        return FALSE;
    const std::u16string folder = GraphicsDllFolder();
    if (folder.empty()) return FALSE;
    HMODULE coder = LoadLibraryW((folder + JbigCoderName(pdev)).c_str());
    if (!coder) return FALSE;
    auto run = reinterpret_cast<outside::PFN_CMPJDLL>(
        reinterpret_cast<void (*)()>(GetProcAddress(coder, kJbigExport)));
    // The coder reads rows of whole 32-bit words; another stride is copied.
    const DWORD stride = (static_cast<DWORD>(width) + 31) / 32 * 4;
    HGLOBAL blocks[5] = {};
    bool ok = run != nullptr;
    for (int i = 0; ok && i < 4; ++i)
        ok = (blocks[i] = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, outside::kJbigBufferSize));
    const BYTE* bits = static_cast<const BYTE*>(s->pvScan0);
    if (ok && s->lDelta != static_cast<LONG>(stride)) {
        ok = (blocks[4] = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT,
                                      static_cast<size_t>(stride) * height)) != nullptr;
        const DWORD copy = std::min<DWORD>(stride, static_cast<DWORD>(std::abs(s->lDelta)));
        for (LONG y = 0; ok && y < height; ++y)
            std::memcpy(static_cast<BYTE*>(blocks[4]) + static_cast<size_t>(y) * stride,
                        bits + static_cast<LONGLONG>(y) * s->lDelta, copy);
        bits = static_cast<const BYTE*>(blocks[4]);
    }
    BOOL result = FALSE;
    if (ok)
        ok = TokenWriter()
                 .b(stream::kFrameEscape)
                 .w(5)
                 .b(stream::kJbigImage)
                 .w(static_cast<DWORD>(width))
                 .w(static_cast<DWORD>(height))
                 .send(pdev);
    if (ok) {
        outside::JbigCodecBlock b{};
        b.planes = outside::kJbigPlanes, b.option2 = 6, b.option3 = 4;
        b.output = static_cast<BYTE*>(blocks[0]);
        b.outputSize = outside::kJbigBufferSize;
        b.bits = bits;
        b.width = b.width2 = static_cast<WORD>(width);
        b.height = static_cast<WORD>(height);
        b.height2 = static_cast<DWORD>(height);
        for (int i = 0; i < 3; ++i)
            b.work[i] = static_cast<BYTE*>(blocks[i + 1]);
        b.order = outside::kJbigOrder;
        b.typical = outside::kJbigTypical;
        b.stripeLines = outside::kJbigStripeLines;
        b.callback = &JbigChunkCallback;
        b.sendBuffer = b.output;
        b.owner = pdev;
        JbigRun coding;
        coding.buffer = b.output;
        JbigRun* outer = std::exchange(tCurrentJbigRun, &coding);
        for (;;) {
            int r = run(&b);
            if (coding.failed) break;
            if (r == outside::kJbigCallAgain || r == outside::kJbigCallAgain2) continue;
            if (r == outside::kJbigDone)
                result = ChunkInBuffer(&b, &coding) &&
                         WriteCompressedChunk(pdev, b.sendBuffer, b.outputBytes,
                                              b.firstSent ? stream::kJbigChunkLast
                                                          : stream::kJbigChunkOnly);
            break;
        }
        tCurrentJbigRun = outer;
        result = result && !coding.failed && !Cancelled(pdev);
    }
    for (HGLOBAL h : blocks)
        if (h) GlobalFree(h);
    FreeLibrary(coder);
    return result;
}

} // namespace inkforge
