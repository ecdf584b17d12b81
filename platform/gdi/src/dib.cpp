// The reader of device-independent bitmaps. Every count, offset and run is
// checked against the bytes given before it is used.
#include "dib.h"

#include <cstdio>
// The JPEG library's header needs FILE declared first.
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "gdi_objects.h"
#include "platform/engine_objects.h"
#include "platform/host_library.h"
#include "win/errors.h"

namespace platform::gdi {
namespace {

// Largest side and area of a bitmap GDI reads.
constexpr long long kMaxSide = 1 << 16;
constexpr long long kMaxPixels = 1LL << 26;
// Pixels a run-length encoded bitmap may claim per byte of its bits (a run
// of two bytes gives at most 255; rows skipped by deltas a little more).
constexpr long long kRlePixelsPerByte = 2048;
constexpr DWORD kCoreHeaderSize = 12;
constexpr DWORD kInfoHeaderSize = 40;

template <class T> T Get(const BYTE* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool Invalid() {
    SetLastError(ERROR_INVALID_DATA);
    return false;
}

COLORREF Rgb(BYTE r, BYTE g, BYTE b) {
    return r | static_cast<COLORREF>(g) << 8 | static_cast<COLORREF>(b) << 16;
}

ULONG Field(ULONG v, ULONG mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    ULONG max = mask >> shift;
    return ((v & mask) >> shift) * 255 / max;
}

bool Allocate(Dib* d, LONG w, LONG h, ULONG bpp) {
    d->width = w, d->height = h, d->bpp = bpp;
    try {
        d->pixels.assign(d->Stride() * static_cast<size_t>(h), 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

// Run-length encoded bits of 8 or 4 bits per pixel, bottom-up.
bool DecodeRle(const BYTE* p, size_t n, bool four, Dib* d) {
    LONG x = 0, y = d->height - 1;
    size_t i = 0;
    auto put = [&](BYTE v) {
        if (x < d->width && y >= 0) {
            BYTE* row = d->pixels.data() + static_cast<size_t>(y) * d->Stride();
            if (four)
                row[x / 2] = (x & 1) ? static_cast<BYTE>((row[x / 2] & 0xF0) | (v & 0x0F))
                                     : static_cast<BYTE>((row[x / 2] & 0x0F) | (v << 4));
            else
                row[x] = v;
        }
        ++x;
    };
    while (i + 1 < n) {
        BYTE count = p[i], value = p[i + 1];
        i += 2;
        if (count) {
            for (int k = 0; k < count; ++k)
                put(four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0, --y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // delta
            if (i + 2 > n) return Invalid();
            x += p[i], y -= p[i + 1];
            i += 2;
        } else { // absolute run, padded to 16 bits
            size_t bytes = four ? (value + 1) / 2 : value;
            if (i + bytes > n) return Invalid();
            for (int k = 0; k < value; ++k)
                put(four ? ((k & 1) ? p[i + k / 2] & 0x0F : p[i + k / 2] >> 4) : p[i + k]);
            i += (bytes + 1) & ~size_t{1};
        }
        if (y < 0) return true;
    }
    return true; // a missing end mark ends the bitmap where the bits end
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

// libjpeg, opened at the first JPEG picture a process reads.
#define JPEG_FUNCTIONS(X)                                                                          \
    X(jpeg_std_error)                                                                              \
    X(jpeg_CreateDecompress)                                                                       \
    X(jpeg_mem_src)                                                                                \
    X(jpeg_read_header)                                                                            \
    X(jpeg_start_decompress)                                                                       \
    X(jpeg_read_scanlines)                                                                         \
    X(jpeg_finish_decompress)                                                                      \
    X(jpeg_destroy_decompress)
PLATFORM_HOST_LIBRARY(JpegLibrary, "libjpeg.so.62", JPEG_FUNCTIONS)

bool DecodeJpeg(const BYTE* p, size_t n, Dib* d) {
    const JpegLibrary* jpeg = JpegLibrary::Open();
    if (!jpeg) return Invalid();
    jpeg_decompress_struct info{};
    JpegError err{};
    // Declared before the jump point: a decoding error jumps back over
    // nothing that would need destroying.
    std::vector<BYTE> line;
    info.err = jpeg->jpeg_std_error(&err.mgr);
    err.mgr.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
    };
    err.mgr.output_message = [](j_common_ptr) {};
    if (setjmp(err.jump)) {
        jpeg->jpeg_destroy_decompress(&info);
        return Invalid();
    }
    jpeg->jpeg_CreateDecompress(&info, JPEG_LIB_VERSION, sizeof info);
    jpeg->jpeg_mem_src(&info, p, static_cast<unsigned long>(n));
    if (jpeg->jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg->jpeg_destroy_decompress(&info);
        return Invalid();
    }
    info.out_color_space = JCS_RGB;
    jpeg->jpeg_start_decompress(&info);
    long long w = info.output_width, h = info.output_height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels ||
        info.output_components != 3 ||
        !Allocate(d, static_cast<LONG>(w), static_cast<LONG>(h), 24)) {
        jpeg->jpeg_destroy_decompress(&info);
        return Invalid();
    }
    line.resize(static_cast<size_t>(w) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = line.data();
        LONG y = static_cast<LONG>(info.output_scanline);
        jpeg->jpeg_read_scanlines(&info, &row, 1);
        BYTE* out = d->pixels.data() + static_cast<size_t>(y) * d->Stride();
        for (long long x = 0; x < w; ++x) {
            out[3 * x] = line[3 * x + 2];
            out[3 * x + 1] = line[3 * x + 1];
            out[3 * x + 2] = line[3 * x];
        }
    }
    jpeg->jpeg_finish_decompress(&info);
    jpeg->jpeg_destroy_decompress(&info);
    return true;
}

bool DecodePng(const BYTE* p, size_t n, Dib* d) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, p, n)) return Invalid();
    long long w = image.width, h = image.height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
        png_image_free(&image);
        return Invalid();
    }
    image.format = PNG_FORMAT_BGRA;
    if (!Allocate(d, static_cast<LONG>(w), static_cast<LONG>(h), 32)) {
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, d->pixels.data(),
                               static_cast<png_int_32>(d->Stride()), nullptr))
        return Invalid();
    // The engine blends premultiplied colours.
    d->alpha = true;
    for (size_t i = 0; i + 3 < d->pixels.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            d->pixels[i + c] = static_cast<BYTE>(d->pixels[i + c] * d->pixels[i + 3] / 255);
    return true;
}

} // namespace

bool ReadDibHeader(const BYTE* bmi, size_t bmiSize, DibHeader* h, DWORD maxHeaderSize) {
    if (!bmi || bmiSize < 4) return Invalid();
    h->size = Get<DWORD>(bmi);
    if (h->size == kCoreHeaderSize) {
        if (bmiSize < kCoreHeaderSize) return Invalid();
        h->width = Get<WORD>(bmi + 4);
        h->height = Get<WORD>(bmi + 6);
        h->bitCount = Get<WORD>(bmi + 10);
        h->compression = BI_RGB;
        h->sizeImage = h->clrUsed = 0;
        return Get<WORD>(bmi + 8) == 1 || Invalid();
    }
    if (h->size < kInfoHeaderSize || h->size > maxHeaderSize || h->size > bmiSize) return Invalid();
    h->width = Get<LONG>(bmi + 4);
    h->height = Get<LONG>(bmi + 8);
    h->bitCount = Get<WORD>(bmi + 14);
    h->compression = Get<DWORD>(bmi + 16);
    h->sizeImage = Get<DWORD>(bmi + 20);
    h->clrUsed = Get<DWORD>(bmi + 32);
    if (Get<WORD>(bmi + 12) != 1) return Invalid();
    return true;
}

bool ReadDibHeaderOnly(const BITMAPINFO* bmi, DibHeader* out) {
    if (!bmi) return Invalid();
    const BYTE* p = reinterpret_cast<const BYTE*>(bmi);
    DWORD size = Get<DWORD>(p);
    if (size != kCoreHeaderSize && (size < kInfoHeaderSize || size > kDibMaxHeaderSize))
        return Invalid();
    return ReadDibHeader(p, size, out);
}

size_t DibInfoSize(const DibHeader& h, UINT usage) {
    size_t n = h.size;
    if (h.compression == kBiBitfields && h.size == kInfoHeaderSize) n += 12;
    // JPEG and PNG payloads (no bit count) carry their colours themselves.
    if (h.bitCount && h.bitCount <= 8) {
        size_t entries = size_t{1} << h.bitCount;
        if (h.clrUsed && h.clrUsed < entries) entries = h.clrUsed;
        size_t entrySize = h.size == kCoreHeaderSize ? 3 : 4;
        if (usage == DIB_PAL_COLORS) entrySize = 2;
        if (usage == DIB_PAL_INDICES) entrySize = 0;
        n += entries * entrySize;
    }
    return n;
}

unsigned long long DibBitsSize(const DibHeader& h) {
    unsigned long long w = static_cast<unsigned long long>(std::max<LONG>(h.width, 0));
    unsigned long long rows = static_cast<unsigned long long>(
        h.height < 0 ? -static_cast<long long>(h.height) : h.height);
    return (w * h.bitCount + 31) / 32 * 4 * rows;
}

bool ReadDib(const BYTE* bmi, size_t bmiSize, const BYTE* bits, size_t bitsSize, UINT usage,
             Dib* out) {
    DibHeader h;
    if (!ReadDibHeader(bmi, bmiSize, &h)) return false;
    *out = Dib{};
    long long w = h.width, ht = h.height < 0 ? -static_cast<long long>(h.height) : h.height;
    bool topDown = h.height < 0;
    if (h.compression == kBiJpeg || h.compression == kBiPng) {
        size_t n = std::min<size_t>(bitsSize, h.sizeImage ? h.sizeImage : bitsSize);
        if (!bits || n == 0) return Invalid();
        return h.compression == kBiJpeg ? DecodeJpeg(bits, n, out) : DecodePng(bits, n, out);
    }
    int bpp = h.bitCount;
    if (w <= 0 || ht <= 0 || w > kMaxSide || ht > kMaxSide || w * ht > kMaxPixels) return Invalid();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return Invalid();
    bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
    if ((h.compression == kBiRle8 && bpp != 8) || (h.compression == kBiRle4 && bpp != 4) ||
        (rle && topDown) || (h.compression == kBiBitfields && bpp != 16 && bpp != 32) ||
        (h.compression != BI_RGB && !rle && h.compression != kBiBitfields))
        return Invalid();
    // Colour masks: after a 40-byte header, inside the longer ones.
    ULONG masks[3] = {0x7C00, 0x03E0, 0x001F};
    ULONG alphaMask = 0;
    size_t tableAt = h.size;
    if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (h.compression == kBiBitfields) {
        size_t at = h.size == kInfoHeaderSize ? kInfoHeaderSize : 40;
        if (at + 12 > bmiSize) return Invalid();
        for (int i = 0; i < 3; ++i)
            masks[i] = Get<DWORD>(bmi + at + 4 * i);
        if (h.size >= 56) alphaMask = Get<DWORD>(bmi + 52);
        if (h.size == kInfoHeaderSize) tableAt += 12;
    }
    if (bpp <= 8) {
        size_t entries = size_t{1} << bpp;
        if (h.clrUsed && h.clrUsed < entries) entries = h.clrUsed;
        size_t entrySize = h.size == kCoreHeaderSize ? 3 : 4;
        if (usage == DIB_PAL_COLORS) entrySize = 2;
        if (usage == DIB_PAL_INDICES) entrySize = 0;
        if (usage > DIB_PAL_INDICES) return Invalid();
        if (tableAt + entries * entrySize > bmiSize) return Invalid();
        const BYTE* t = bmi + tableAt;
        for (size_t i = 0; i < entries; ++i) {
            if (usage == DIB_PAL_COLORS)
                out->colors.push_back(DefaultPaletteColor(Get<WORD>(t + 2 * i)));
            else if (usage == DIB_PAL_INDICES)
                out->colors.push_back(DefaultPaletteColor(i));
            else
                out->colors.push_back(
                    Rgb(t[entrySize * i + 2], t[entrySize * i + 1], t[entrySize * i]));
        }
        // Indexes past the table show its first colour.
        out->colors.resize(size_t{1} << bpp, out->colors.empty() ? 0 : out->colors.front());
    }
    if (!bits) return Invalid();
    ULONG engineBpp = bpp == 16 ? 32 : static_cast<ULONG>(bpp);
    // The bits are checked before the image is allocated: a short input
    // never costs the memory of the picture it claims.
    size_t stride = (static_cast<size_t>(w) * bpp + 31) / 32 * 4;
    size_t rleBytes = std::min<size_t>(bitsSize, h.sizeImage ? h.sizeImage : bitsSize);
    if (rle ? w * ht > static_cast<long long>(rleBytes + 1) * kRlePixelsPerByte
            : bitsSize < stride * static_cast<size_t>(ht))
        return Invalid();
    if (!Allocate(out, static_cast<LONG>(w), static_cast<LONG>(ht), engineBpp)) return false;
    if (rle) return DecodeRle(bits, rleBytes, h.compression == kBiRle4, out);
    bool shifted =
        (bpp == 32 && (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF)) ||
        bpp == 16;
    out->alpha = bpp == 32 && (alphaMask == 0xFF000000 || h.compression == BI_RGB);
    for (long long y = 0; y < ht; ++y) {
        const BYTE* src = bits + static_cast<size_t>(topDown ? y : ht - 1 - y) * stride;
        BYTE* dst = out->pixels.data() + static_cast<size_t>(y) * out->Stride();
        if (!shifted) {
            std::memcpy(dst, src, std::min(stride, out->Stride()));
            continue;
        }
        for (long long x = 0; x < w; ++x) {
            ULONG v = bpp == 16 ? Get<WORD>(src + 2 * x) : Get<DWORD>(src + 4 * x);
            dst[4 * x] = static_cast<BYTE>(Field(v, masks[2]));
            dst[4 * x + 1] = static_cast<BYTE>(Field(v, masks[1]));
            dst[4 * x + 2] = static_cast<BYTE>(Field(v, masks[0]));
            dst[4 * x + 3] = alphaMask ? static_cast<BYTE>(Field(v, alphaMask)) : 0xFF;
        }
    }
    if (bpp == 16) out->alpha = false;
    // Plain 32-bit bitmaps usually leave the fourth byte 0: no alpha then.
    if (out->alpha && h.compression == BI_RGB) {
        bool any = false;
        for (size_t i = 3; i < out->pixels.size() && !any; i += 4)
            any = out->pixels[i] != 0;
        out->alpha = any;
    }
    return true;
}

HPALETTE DibPalette(ULONG bpp, const std::vector<COLORREF>& colors) {
    if (bpp <= 8) {
        std::vector<ULONG> table(colors.begin(), colors.end());
        return EngCreatePalette(PAL_INDEXED, static_cast<ULONG>(table.size()), table.data(), 0, 0,
                                0);
    }
    return EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
}

HSURF DibSurface(const Dib& dib, HPALETTE* palette) {
    static const ULONG kFormats[33] = {
        0, BMF_1BPP, 0,         0, BMF_4BPP, 0,         0, 0, BMF_8BPP, 0, 0,
        0, 0,        0,         0, 0,        BMF_16BPP, 0, 0, 0,        0, 0,
        0, 0,        BMF_24BPP, 0, 0,        0,         0, 0, 0,        0, BMF_32BPP};
    HSURF s = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{dib.width, dib.height}, 0, kFormats[dib.bpp], BMF_TOPDOWN, nullptr));
    if (!s) return nullptr;
    if (SURFOBJ* so = EngLockSurface(s)) {
        for (LONG y = 0; y < dib.height; ++y)
            std::memcpy(static_cast<BYTE*>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta,
                        dib.pixels.data() + static_cast<size_t>(y) * dib.Stride(), dib.Stride());
        EngUnlockSurface(so);
    }
    *palette = DibPalette(dib.bpp, dib.colors);
    if (!*palette) {
        EngDeleteSurface(s);
        return nullptr;
    }
    engine::SetSurfacePalette(s, *palette);
    return s;
}

} // namespace platform::gdi
