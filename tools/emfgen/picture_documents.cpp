// pictures.emf: each bitmap and gradient record the platform plays, with
// bitmaps of 1, 4, 8, 16, 24 and 32 bits, the information and version 5
// headers, bit fields, and JPEG and PNG payloads (written here by
// libjpeg-turbo and libpng). Run-length encoded bitmaps, which the outside
// converter the samples also go through does not read, are in the player's
// own tests.
#include "picture_documents.h"

#include <cstdio>
// The JPEG library's header needs FILE declared first.
#include <jpeglib.h>
#include <png.h>

#include <cstring>

#include "platform/emf_builder.h"
#include "win/emf.h"
#include "win/gdi_bitmap.h"

namespace emfgen {
namespace {

using platform::gdi::EmfBuilder;

constexpr LONG kWidth = 4960, kHeight = 7016;

// The images, as functions of the position in their own area.
ULONG Photo(double u, double v) { // 32 x 24: red across, green down
    ULONG r = static_cast<ULONG>(u * 32) * 8, g = static_cast<ULONG>(v * 24) * 10;
    return r | g << 8 | 0x80u << 16;
}
constexpr ULONG kQuad[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x000000}; // red, green, blue, black
ULONG Checker(double u, double v) {                                  // 8 x 8 of 2 x 2 cells
    int cx = static_cast<int>(u * 4), cy = static_cast<int>(v * 4);
    return kQuad[(cx + cy) % 2 + 2 * (cy / 2 % 2)];
}
ULONG Halves(double u, double) { // left red, right blue
    return u < 0.5 ? 0x0000FF : 0xFF0000;
}
ULONG Stripes(double, double v) { // 1 bit: rows alternate black and white in eights
    return static_cast<int>(v * 8) % 2 ? 0xFFFFFF : 0x000000;
}
ULONG Green(double, double) {
    return 0x00C000;
}

struct Body {
    std::vector<BYTE> bytes;
    template <class T> Body& Put(const T& v) {
        const auto* p = reinterpret_cast<const BYTE*>(&v);
        bytes.insert(bytes.end(), p, p + sizeof v);
        return *this;
    }
    Body& Put(const std::vector<BYTE>& v) {
        bytes.insert(bytes.end(), v.begin(), v.end());
        return *this;
    }
    void Pad() {
        while (bytes.size() % 4)
            bytes.push_back(0);
    }
};

std::vector<BYTE> Header(LONG w, LONG h, WORD bpp, DWORD compression, DWORD sizeImage,
                         std::vector<ULONG> table) {
    BITMAPINFOHEADER bih{
        sizeof bih, w, h, 1, bpp, compression, sizeImage, 0, 0, static_cast<DWORD>(table.size()),
        0};
    Body b;
    b.Put(bih);
    for (ULONG c : table)
        b.Put(RGBQUAD{static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c),
                      0});
    return b.bytes;
}

// Rows of a bottom-up DIB of bpp bits from pixel values.
std::vector<BYTE> Rows(LONG w, LONG h, int bpp, const std::function<ULONG(LONG, LONG)>& pixel) {
    size_t stride = (static_cast<size_t>(w) * bpp + 31) / 32 * 4;
    std::vector<BYTE> out(stride * static_cast<size_t>(h), 0);
    for (LONG y = 0; y < h; ++y) {
        BYTE* row = out.data() + static_cast<size_t>(h - 1 - y) * stride;
        for (LONG x = 0; x < w; ++x) {
            ULONG v = pixel(x, y);
            if (bpp < 8) {
                size_t bit = static_cast<size_t>(x) * bpp;
                row[bit / 8] |= static_cast<BYTE>(v << (8 - bpp - bit % 8));
            } else {
                for (int i = 0; i < bpp / 8; ++i)
                    row[static_cast<size_t>(x) * (bpp / 8) + i] = static_cast<BYTE>(v >> (8 * i));
            }
        }
    }
    return out;
}

ULONG Bgr(ULONG rgb) {
    return (rgb & 0xFF00) | (rgb & 0xFF) << 16 | (rgb >> 16 & 0xFF);
}

// STRETCHDIBITS of a header and bits onto area.
void StretchDib(EmfBuilder& b, RECTL area, LONG w, LONG h, const std::vector<BYTE>& info,
                const std::vector<BYTE>& bits, DWORD usage = DIB_RGB_COLORS) {
    constexpr DWORD kFixed = 80;
    Body r;
    r.Put(area).Put(area.left).Put(area.top).Put(LONG{0}).Put(LONG{0}).Put(w).Put(h);
    DWORD offBmi = kFixed, offBits = kFixed + static_cast<DWORD>((info.size() + 3) / 4 * 4);
    r.Put(offBmi)
        .Put(static_cast<DWORD>(info.size()))
        .Put(offBits)
        .Put(static_cast<DWORD>(bits.size()));
    r.Put(usage).Put(DWORD{SRCCOPY}).Put(area.right - area.left).Put(area.bottom - area.top);
    r.Put(info);
    r.Pad();
    r.Put(bits);
    b.Record(EMR_STRETCHDIBITS, r.bytes.data(), r.bytes.size());
}

// The blit records' shared part: destination, operation, source point and
// transform, background colour, bitmap; then what the record adds.
Body BlitBody(RECTL dest, DWORD rop, LONG xs, LONG ys, DWORD fixed, const std::vector<BYTE>& info,
              const std::vector<BYTE>& bits, size_t extra) {
    Body r;
    r.Put(dest)
        .Put(dest.left)
        .Put(dest.top)
        .Put(dest.right - dest.left)
        .Put(dest.bottom - dest.top);
    r.Put(rop).Put(xs).Put(ys).Put(XFORM{1, 0, 0, 1, 0, 0}).Put(COLORREF{0xFFFFFF});
    DWORD offBmi = info.empty() ? 0 : fixed;
    DWORD offBits = info.empty() ? 0 : fixed + static_cast<DWORD>((info.size() + 3) / 4 * 4);
    r.Put(DWORD{DIB_RGB_COLORS}).Put(offBmi).Put(static_cast<DWORD>(info.size()));
    r.Put(offBits).Put(static_cast<DWORD>(bits.size()));
    (void)extra;
    return r;
}

void AppendBitmap(Body& r, const std::vector<BYTE>& info, const std::vector<BYTE>& bits) {
    r.Put(info);
    r.Pad();
    r.Put(bits);
    r.Pad();
}

std::vector<BYTE> Png(LONG w, LONG h, const std::function<ULONG(double, double)>& color) {
    std::vector<BYTE> rgba(static_cast<size_t>(w) * h * 4);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            ULONG c = color((x + 0.5) / w, (y + 0.5) / h);
            BYTE* p = rgba.data() + (static_cast<size_t>(y) * w + x) * 4;
            p[0] = static_cast<BYTE>(c), p[1] = static_cast<BYTE>(c >> 8),
            p[2] = static_cast<BYTE>(c >> 16), p[3] = 255;
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<BYTE> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr);
    out.resize(size);
    return out;
}

std::vector<BYTE> Jpeg(LONG w, LONG h, const std::function<ULONG(double, double)>& color) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    // Colour at full resolution: no smearing of the colours across the edge.
    for (int i = 0; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    std::vector<BYTE> row(static_cast<size_t>(w) * 3);
    while (c.next_scanline < c.image_height) {
        LONG y = static_cast<LONG>(c.next_scanline);
        for (LONG x = 0; x < w; ++x) {
            ULONG v = color((x + 0.5) / w, (y + 0.5) / h);
            row[3 * x] = static_cast<BYTE>(v), row[3 * x + 1] = static_cast<BYTE>(v >> 8),
                    row[3 * x + 2] = static_cast<BYTE>(v >> 16);
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<BYTE> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    free(mem);
    return out;
}

// The areas of the page, in page pixels.
constexpr RECTL kPhoto{400, 400, 2000, 1600};
constexpr RECTL kIndexed{2400, 400, 3200, 1200};
constexpr RECTL kFourBit{3600, 400, 4400, 1200};
constexpr RECTL kBitfields{400, 1800, 1200, 2600};
constexpr RECTL kV5{1600, 1800, 2400, 2600};
constexpr RECTL kPng{2800, 1800, 3600, 2600};
constexpr RECTL kJpeg{3800, 1800, 4600, 2600};
constexpr RECTL kGradient{400, 2800, 2400, 3400};
constexpr RECTL kAlpha{2800, 2800, 3600, 3600};
constexpr RECTL kTransparent{3800, 2800, 4600, 3600};
constexpr RECTL kMono{400, 3800, 464, 3864}; // SETDIBITSTODEVICE draws 64 x 64 as it is
constexpr RECTL kPattern{800, 3800, 1600, 4600};
constexpr RECTL kMonoBrush{1800, 3800, 2600, 4600};
constexpr RECTL kStretchBlt{2800, 3800, 3600, 4600};
constexpr RECTL kMask{3800, 3800, 3864, 3864};
constexpr RECTL kPlg{400, 5000, 1200, 5800};

} // namespace

std::vector<PlacedImage> PictureLayout() {
    return {
        {"24-bit photo", kPhoto, Photo, 0, 32, 24},
        {"8-bit indexed", kIndexed, Checker},
        {"4-bit stretched", kFourBit, Checker},
        {"16-bit bit fields", kBitfields, Halves},
        {"32-bit version 5 header", kV5, Halves},
        {"PNG payload", kPng, Checker},
        {"JPEG payload", kJpeg, Halves, 24, 4, 4},
        {"horizontal gradient", kGradient,
         [](double u, double) {
             ULONG r = static_cast<ULONG>(255 * (1 - u) + 0.5),
                   b = static_cast<ULONG>(255 * u + 0.5);
             return r | b << 16;
         },
         3},
        {"alpha over black", kAlpha, [](double, double) { return 0x808080u; }, 2},
        {"transparent key", kTransparent,
         [](double u, double) { return u < 0.5 ? 0x0000FFu : 0xFFFFFFu; }},
        {"1-bit set to device", kMono, Stripes},
        {"pattern brush", kPattern, Green},
        {"stretched blit", kStretchBlt, Halves},
        {"masked blit", kMask, [](double u, double) { return u < 0.5 ? 0x0000FFu : 0xFFFFFFu; }},
    };
}

std::vector<BYTE> PicturesDocument() {
    std::u16string d = u"emfgen";
    d.push_back(0);
    d += u"Pictures";
    d.push_back(0);
    d.push_back(0);
    EmfBuilder b(SIZEL{kWidth, kHeight}, SIZEL{210, 297}, d);
    b.Comment("emfgen: bitmaps and gradients");
    b.Value(EMR_SETSTRETCHBLTMODE, COLORONCOLOR);

    // 24 bits, plain.
    StretchDib(b, kPhoto, 32, 24, Header(32, 24, 24, BI_RGB, 0, {}),
               Rows(32, 24, 24,
                    [](LONG x, LONG y) { return Bgr(Photo((x + 0.5) / 32, (y + 0.5) / 24)); }));
    // 8 bits with a colour table of four.
    std::vector<ULONG> quad(kQuad, kQuad + 4);
    auto quadIndex = [](LONG x, LONG y) {
        ULONG c = Checker((x + 0.5) / 8, (y + 0.5) / 8);
        return static_cast<ULONG>(c == kQuad[0] ? 0 : c == kQuad[1] ? 1 : c == kQuad[2] ? 2 : 3);
    };
    StretchDib(b, kIndexed, 8, 8, Header(8, 8, 8, BI_RGB, 0, quad), Rows(8, 8, 8, quadIndex));
    // 16 bits of 5-6-5 bit fields.
    {
        std::vector<BYTE> info = Header(8, 8, 16, BI_BITFIELDS, 0, {});
        Body masks;
        masks.Put(DWORD{0xF800}).Put(DWORD{0x07E0}).Put(DWORD{0x001F});
        info.insert(info.end(), masks.bytes.begin(), masks.bytes.end());
        StretchDib(b, kBitfields, 8, 8, info,
                   Rows(8, 8, 16, [](LONG x, LONG) { return x < 4 ? 0xF800u : 0x001Fu; }));
    }
    // 32 bits under a version 5 header, top-down.
    {
        BITMAPV5HEADER v5{};
        v5.bV5Size = sizeof v5;
        v5.bV5Width = 8;
        v5.bV5Height = -8;
        v5.bV5Planes = 1;
        v5.bV5BitCount = 32;
        v5.bV5Compression = BI_BITFIELDS;
        v5.bV5RedMask = 0x00FF0000;
        v5.bV5GreenMask = 0x0000FF00;
        v5.bV5BlueMask = 0x000000FF;
        Body info;
        info.Put(v5);
        std::vector<BYTE> bits(8 * 8 * 4);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                ULONG v = Bgr(Halves((x + 0.5) / 8, 0));
                std::memcpy(bits.data() + (y * 8 + x) * 4, &v, 4);
            }
        StretchDib(b, kV5, 8, 8, info.bytes, bits);
    }
    // PNG and JPEG payloads.
    std::vector<BYTE> png = Png(8, 8, Checker);
    StretchDib(b, kPng, 8, 8, Header(8, -8, 0, BI_PNG, static_cast<DWORD>(png.size()), {}), png);
    std::vector<BYTE> jpeg = Jpeg(16, 16, Halves);
    StretchDib(b, kJpeg, 16, 16, Header(16, -16, 0, BI_JPEG, static_cast<DWORD>(jpeg.size()), {}),
               jpeg);
    // A horizontal gradient from red to blue.
    {
        Body g;
        g.Put(kGradient).Put(DWORD{2}).Put(DWORD{1}).Put(DWORD{GRADIENT_FILL_RECT_H});
        g.Put(TRIVERTEX{kGradient.left, kGradient.top, 0xFF00, 0, 0, 0});
        g.Put(TRIVERTEX{kGradient.right, kGradient.bottom, 0, 0, 0xFF00, 0});
        g.Put(GRADIENT_RECT{0, 1});
        b.Record(EMR_GRADIENTFILL, g.bytes.data(), g.bytes.size());
    }
    // A rule under the gradient.
    b.CreatePen(4, PS_SOLID, 8, 0)
        .SelectObject(4)
        .MoveTo(kGradient.left, 3500)
        .LineTo(kGradient.right, 3500);
    b.SelectStock(BLACK_PEN).DeleteObject(4);
    // Black, then white blended over it at half: gray.
    {
        Body black = BlitBody(kAlpha, BLACKNESS, 0, 0, 100, {}, {}, 0);
        b.Record(EMR_BITBLT, black.bytes.data(), black.bytes.size());
        std::vector<BYTE> info = Header(2, 2, 32, BI_RGB, 0, {});
        std::vector<BYTE> bits(16, 0xFF);
        Body r = BlitBody(kAlpha, 0x00800000 /* constant alpha 128 */, 0, 0, 108, info, bits, 8);
        r.Put(LONG{2}).Put(LONG{2});
        AppendBitmap(r, info, bits);
        b.Record(EMR_ALPHABLEND, r.bytes.data(), r.bytes.size());
    }
    // Red on the left, the magenta key on the right.
    {
        std::vector<BYTE> info = Header(2, 1, 24, BI_RGB, 0, {});
        std::vector<BYTE> bits = {0, 0, 255, 255, 0, 255, 0, 0};
        Body r = BlitBody(kTransparent, 0xFF00FF, 0, 0, 108, info, bits, 8);
        r.Put(LONG{2}).Put(LONG{1});
        AppendBitmap(r, info, bits);
        b.Record(EMR_TRANSPARENTBLT, r.bytes.data(), r.bytes.size());
    }
    // 1 bit, as it is, through SETDIBITSTODEVICE.
    {
        std::vector<BYTE> info = Header(64, 64, 1, BI_RGB, 0, {0x000000, 0xFFFFFF});
        std::vector<BYTE> bits =
            Rows(64, 64, 1, [](LONG, LONG y) { return static_cast<ULONG>(y / 8 % 2); });
        Body r;
        r.Put(kMono)
            .Put(kMono.left)
            .Put(kMono.top)
            .Put(LONG{0})
            .Put(LONG{0})
            .Put(LONG{64})
            .Put(LONG{64});
        DWORD offBits = 76 + static_cast<DWORD>(info.size());
        r.Put(DWORD{76})
            .Put(static_cast<DWORD>(info.size()))
            .Put(offBits)
            .Put(static_cast<DWORD>(bits.size()));
        r.Put(DWORD{DIB_RGB_COLORS}).Put(DWORD{0}).Put(DWORD{64});
        AppendBitmap(r, info, bits);
        b.Record(EMR_SETDIBITSTODEVICE, r.bytes.data(), r.bytes.size());
    }
    // A pattern brush of a 24-bit bitmap, and a mono brush (green text colour).
    b.Value(EMR_SETTEXTCOLOR, 0x00C000);
    b.Value(EMR_SETBKCOLOR, 0x00C000);
    b.CreatePatternBrush(EMR_CREATEDIBPATTERNBRUSHPT, 2, DIB_RGB_COLORS,
                         Header(8, 8, 24, BI_RGB, 0, {}),
                         Rows(8, 8, 24, [](LONG, LONG) { return Bgr(0x00C000); }));
    b.SelectStock(NULL_PEN).SelectObject(2).Box(
        EMR_RECTANGLE, {kPattern.left, kPattern.top, kPattern.right + 1, kPattern.bottom + 1});
    b.CreatePatternBrush(EMR_CREATEMONOBRUSH, 3, DIB_PAL_INDICES, Header(8, 8, 1, BI_RGB, 0, {}),
                         Rows(8, 8, 1, [](LONG x, LONG) { return static_cast<ULONG>(x % 2); }));
    b.SelectObject(3).Box(EMR_RECTANGLE, {kMonoBrush.left, kMonoBrush.top, kMonoBrush.right + 1,
                                          kMonoBrush.bottom + 1});
    b.SelectStock(WHITE_BRUSH).DeleteObject(2).DeleteObject(3);
    // A 4-bit bitmap stretched by STRETCHBLT, and the checker by a 4-bit STRETCHBLT.
    {
        std::vector<BYTE> info = Header(2, 1, 4, BI_RGB, 0, {0x0000FF, 0xFF0000});
        std::vector<BYTE> bits = {0x01, 0, 0, 0};
        Body r = BlitBody(kStretchBlt, SRCCOPY, 0, 0, 108, info, bits, 8);
        r.Put(LONG{2}).Put(LONG{1});
        AppendBitmap(r, info, bits);
        b.Record(EMR_STRETCHBLT, r.bytes.data(), r.bytes.size());
        std::vector<BYTE> cinfo = Header(8, 8, 4, BI_RGB, 0, quad);
        std::vector<BYTE> cbits = Rows(8, 8, 4, quadIndex);
        Body c = BlitBody(kFourBit, SRCCOPY, 0, 0, 108, cinfo, cbits, 8);
        c.Put(LONG{8}).Put(LONG{8});
        AppendBitmap(c, cinfo, cbits);
        b.Record(EMR_STRETCHBLT, c.bytes.data(), c.bytes.size());
    }
    // A masked blit: red through the left half of a one-bit mask.
    {
        std::vector<BYTE> info = Header(64, 64, 24, BI_RGB, 0, {});
        info = Header(64, 64, 1, BI_RGB, 0, {0x0000FF, 0x0000FF});
        std::vector<BYTE> bits(8 * 64, 0);
        std::vector<BYTE> minfo = Header(64, 64, 1, BI_RGB, 0, {0x000000, 0xFFFFFF});
        std::vector<BYTE> mbits =
            Rows(64, 64, 1, [](LONG x, LONG) { return static_cast<ULONG>(x < 32); });
        DWORD fixed = 128;
        Body r = BlitBody(kMask, MAKEROP4(SRCCOPY, 0x00AA0029), 0, 0, fixed, info, bits, 28);
        DWORD offMask = fixed + static_cast<DWORD>((info.size() + 3) / 4 * 4 + bits.size());
        r.Put(LONG{0})
            .Put(LONG{0})
            .Put(DWORD{DIB_RGB_COLORS})
            .Put(offMask)
            .Put(static_cast<DWORD>(minfo.size()));
        r.Put(offMask + static_cast<DWORD>((minfo.size() + 3) / 4 * 4))
            .Put(static_cast<DWORD>(mbits.size()));
        AppendBitmap(r, info, bits);
        AppendBitmap(r, minfo, mbits);
        b.Record(EMR_MASKBLT, r.bytes.data(), r.bytes.size());
    }
    // A parallelogram blit: the halves turned a quarter.
    {
        std::vector<BYTE> info = Header(2, 1, 24, BI_RGB, 0, {});
        std::vector<BYTE> bits = {0, 0, 255, 255, 0, 0, 0, 0};
        Body r;
        r.Put(kPlg)
            .Put(POINTL{kPlg.right, kPlg.top})
            .Put(POINTL{kPlg.right, kPlg.bottom})
            .Put(POINTL{kPlg.left, kPlg.top});
        r.Put(LONG{0})
            .Put(LONG{0})
            .Put(LONG{2})
            .Put(LONG{1})
            .Put(XFORM{1, 0, 0, 1, 0, 0})
            .Put(COLORREF{0xFFFFFF});
        DWORD fixed = 140;
        r.Put(DWORD{DIB_RGB_COLORS}).Put(fixed).Put(static_cast<DWORD>(info.size()));
        r.Put(fixed + static_cast<DWORD>(info.size())).Put(static_cast<DWORD>(bits.size()));
        r.Put(LONG{0}).Put(LONG{0}).Put(DWORD{0}).Put(DWORD{0}).Put(DWORD{0}).Put(DWORD{0}).Put(
            DWORD{0});
        AppendBitmap(r, info, bits);
        b.Record(EMR_PLGBLT, r.bytes.data(), r.bytes.size());
    }
    // Triangles of red, green and blue corners.
    {
        Body g;
        g.Put(RECTL{2800, 4800, 4600, 6600})
            .Put(DWORD{3})
            .Put(DWORD{1})
            .Put(DWORD{GRADIENT_FILL_TRIANGLE});
        g.Put(TRIVERTEX{2800, 4800, 0xFF00, 0, 0, 0});
        g.Put(TRIVERTEX{4600, 4800, 0, 0xFF00, 0, 0});
        g.Put(TRIVERTEX{2800, 6600, 0, 0, 0xFF00, 0});
        g.Put(GRADIENT_TRIANGLE{0, 1, 2});
        b.Record(EMR_GRADIENTFILL, g.bytes.data(), g.bytes.size());
    }
    return b.Finish();
}

} // namespace emfgen
