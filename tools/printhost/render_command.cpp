// printhost render DOCUMENT.emf --png PREFIX [--dpi N]: the document drawn by
// the graphics engine into a memory device context, written as PREFIX-1.png,
// a picture of what the printed page should look like.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "streamdump/png_writer.h"
#include "command.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"

namespace printhost {
namespace {

constexpr int kDefaultDpi = 150;
constexpr int kMaxDpi = 600;
// Largest picture drawn, per side (the PNG writer's own limit).
constexpr long kMaxSide = 16384;

int Usage(const char* why) {
    std::fprintf(stderr, "printhost render: %s\n", why);
    return 2;
}

// Draws the metafile into a white 24-bit bitmap of its frame at dpi and
// writes it; the result is 0, or 1 when something was not drawn or written.
int Render(const std::string& file, const std::string& prefix, int dpi) {
    HENHMETAFILE h = GetEnhMetaFileA(file.c_str());
    if (!h) {
        std::fprintf(stderr, "printhost render: '%s' is not a metafile that can be read\n",
                     file.c_str());
        return 1;
    }
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(h, sizeof header, &header);
    // The frame is in hundredths of a millimetre, inclusive.
    double mmWide = (header.rclFrame.right - header.rclFrame.left) / 100.0;
    double mmHigh = (header.rclFrame.bottom - header.rclFrame.top) / 100.0;
    long width = std::lround(mmWide * dpi / 25.4), height = std::lround(mmHigh * dpi / 25.4);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        DeleteEnhMetaFile(h);
        std::fprintf(stderr, "printhost render: the picture's frame is %ld x %ld pixels\n", width,
                     height);
        return 1;
    }
    BITMAPINFO bi{};
    bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER),
                                    static_cast<LONG>(width),
                                    -static_cast<LONG>(height),
                                    1,
                                    24,
                                    BI_RGB,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    int result = 0;
    if (!dc || !bitmap) {
        std::fprintf(stderr, "printhost render: no memory for %ld x %ld pixels\n", width, height);
        result = 1;
    } else {
        HGDIOBJ old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, static_cast<int>(width), static_cast<int>(height), WHITENESS);
        RECT all{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
        if (!PlayEnhMetaFile(dc, h, &all)) {
            std::fprintf(stderr, "printhost render: some records of '%s' were not drawn\n",
                         file.c_str());
            result = 1;
        }
        // Rows of blue, green, red into red, green, blue.
        size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
        std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
        for (long y = 0; y < height; ++y) {
            const auto* row = static_cast<const std::uint8_t*>(bits) + y * stride;
            std::uint8_t* out = rgb.data() + static_cast<size_t>(y) * width * 3;
            for (long x = 0; x < width; ++x) {
                out[3 * x] = row[3 * x + 2];
                out[3 * x + 1] = row[3 * x + 1];
                out[3 * x + 2] = row[3 * x];
            }
        }
        std::string path = prefix + "-1.png", error;
        if (!streamdump::WritePng(path, static_cast<int>(width), static_cast<int>(height), 3, rgb,
                                  &error)) {
            std::fprintf(stderr, "printhost render: %s\n", error.c_str());
            result = 1;
        } else {
            std::printf("page 1: %s (%ld x %ld at %d dpi)\n", path.c_str(), width, height, dpi);
        }
        SelectObject(dc, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    DeleteEnhMetaFile(h);
    return result;
}

int Run(const Args& args) {
    std::string file, prefix;
    int dpi = kDefaultDpi;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--png" || args[i] == "--dpi") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return Usage(("'" + args[i] + "' needs a value").c_str());
            if (args[i] == "--png") {
                prefix = args[++i];
            } else {
                char* end = nullptr;
                long v = std::strtol(args[++i].c_str(), &end, 10);
                if (*end || v < 1 || v > kMaxDpi) return Usage("--dpi takes 1 to 600");
                dpi = static_cast<int>(v);
            }
        } else if (file.empty()) {
            file = args[i];
        } else {
            return Usage("give one document");
        }
    }
    if (file.empty() || prefix.empty()) return Usage("give a document and --png PREFIX");
    if (std::string why = FileProblem(file); !why.empty()) {
        std::fprintf(stderr, "printhost render: cannot read '%s': %s\n", file.c_str(), why.c_str());
        return 1;
    }
    const std::string picture = prefix + "-1.png";
    if (std::string why = OutputFileProblem(picture); !why.empty()) {
        std::fprintf(stderr, "printhost render: cannot write '%s': %s\n", picture.c_str(),
                     why.c_str());
        return 1;
    }
    return Render(file, prefix, dpi);
}

Command cmd{"render", "DOCUMENT.emf --png PREFIX [--dpi N]",
            "draw an enhanced metafile as the page should look into PREFIX-1.png", Run};

} // namespace
} // namespace printhost
