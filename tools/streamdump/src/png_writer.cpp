#include "png_writer.h"

#include <zlib.h>

#include <cstdio>

namespace streamdump {
namespace {

void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out->push_back(static_cast<std::uint8_t>(v >> s));
}

void Chunk(std::vector<std::uint8_t>* out, const char* type,
           const std::vector<std::uint8_t>& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out->data() + start, static_cast<uInt>(out->size() - start));
    Put32(out, static_cast<std::uint32_t>(crc));
}

} // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, int channels,
                                    const std::vector<std::uint8_t>& pixels) {
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 ||
        (channels != 1 && channels != 3))
        return {};
    std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    if (pixels.size() != stride * static_cast<std::size_t>(height)) return {};
    std::vector<std::uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        auto row =
            pixels.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK)
        return {};
    packed.resize(packedSize);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> ihdr;
    Put32(&ihdr, static_cast<std::uint32_t>(width));
    Put32(&ihdr, static_cast<std::uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, static_cast<std::uint8_t>(channels == 1 ? 0 : 2), 0, 0, 0});
    Chunk(&out, "IHDR", ihdr);
    Chunk(&out, "IDAT", packed);
    Chunk(&out, "IEND", {});
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
