// PNG files through libpng.
#include "streamdump/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace streamdump {
namespace {

constexpr int kMaxSide = 16384;

void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void NoFlush(png_structp) {}

// Writes the image through libpng; false when libpng gave up (it returns here
// through its jump buffer, so this function holds no objects with destructors).
bool Encode(png_structp png, png_infop info, int width, int height, int channels,
            const std::uint8_t* pixels, std::vector<std::uint8_t>* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, Append, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Unfiltered rows keep the file simple to check; drawings compress well anyway.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels + stride * static_cast<std::size_t>(y)));
    png_write_end(png, info);
    return true;
}

} // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, int channels,
                                    const std::vector<std::uint8_t>& pixels) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        (channels != 1 && channels != 3))
        return {};
    std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    if (pixels.size() != stride * static_cast<std::size_t>(height)) return {};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    std::vector<std::uint8_t> out;
    bool ok = info && Encode(png, info, width, height, channels, pixels.data(), &out);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok) out.clear();
    return out;
}

bool WritePng(const std::string& path, int width, int height, int channels,
              const std::vector<std::uint8_t>& pixels, std::string* error) {
    std::vector<std::uint8_t> png = EncodePng(width, height, channels, pixels);
    if (png.empty()) {
        *error = "image sizes do not fit its pixels";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) *error = "cannot write '" + path + "'";
    return ok;
}

} // namespace streamdump
