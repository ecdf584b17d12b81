#include "streamdump/page_pictures.h"

#include <cstdio>
#include <string>
#include <vector>

#include "streamdump/page_render.h"
#include "streamdump/png_writer.h"
#include "streamdump/decoder.h"

extern "C" __attribute__((visibility("default"))) int
StreamdumpWritePagePictures(const char* prefix, const std::uint8_t* bytes, std::size_t size) {
    const streamdump::Decoding d = streamdump::Decode(bytes, size);
    std::vector<streamdump::PageImage> pages = streamdump::RenderPages(bytes, size, d);
    int result = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const streamdump::PageImage& p = pages[i];
        std::string path = std::string(prefix) + "-" + std::to_string(i + 1) + ".png";
        std::string error;
        if (!streamdump::WritePng(path, p.width, p.height, 3, p.rgb, &error)) {
            std::fprintf(stderr, "printhost decode: %s\n", error.c_str());
            result = 1;
            continue;
        }
        std::printf("page %zu: %s (%d x %d, %s%s), %zu drawn, %zu skipped\n", i + 1, path.c_str(),
                    p.width, p.height, p.paperName,
                    p.paperKnown ? "" : " in place of a paper the decoder does not know", p.drawn,
                    p.skipped);
    }
    if (pages.empty()) std::printf("no pages to draw\n");
    std::fflush(stdout);
    return result;
}
