// The picture sample drawn by the engine: printhost render writes the page as
// PNG, netpbm reads it back, and every image's cells have their source's
// colours where the layout puts them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "picture_documents.h"

namespace {

constexpr int kDpi = 150;
constexpr double kPagePixelsPerInch = 600;

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    unsigned long At(int x, int y) const {
        const unsigned char* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
        return p[0] | p[1] << 8 | static_cast<unsigned long>(p[2]) << 16;
    }
};

// The PNG read back by netpbm's pngtopnm as a binary PPM.
bool ReadPng(const std::string& path, Picture* out) {
    std::string command = "pngtopnm '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    int maxval = 0;
    bool ok = std::fscanf(pipe, "P6 %d %d %d", &out->width, &out->height, &maxval) == 3 &&
              maxval == 255 && std::fgetc(pipe) != EOF;
    if (ok) {
        out->rgb.resize(static_cast<size_t>(out->width) * out->height * 3);
        ok = std::fread(out->rgb.data(), 1, out->rgb.size(), pipe) == out->rgb.size();
    }
    return pclose(pipe) == 0 && ok;
}

bool Near(unsigned long a, unsigned long b, int tolerance) {
    for (int s = 0; s <= 16; s += 8)
        if (std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)) >
            tolerance)
            return false;
    return true;
}

TEST(PictureDocumentsTest, EveryImageLandsWithItsSourceColours) {
    if (std::system("command -v pngtopnm >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm missing";
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pictures-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string emf = (dir / "pictures.emf").string();
    {
        std::vector<BYTE> bytes = emfgen::PicturesDocument();
        FILE* f = std::fopen(emf.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string prefix = (dir / "page").string();
    std::string command = std::string(PRINTHOST_PATH) + " render '" + emf + "' --png '" + prefix +
                          "' --dpi " + std::to_string(kDpi) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Picture page;
    ASSERT_TRUE(ReadPng(prefix + "-1.png", &page));
    double scale = kDpi / kPagePixelsPerInch;
    for (const emfgen::PlacedImage& image : emfgen::PictureLayout()) {
        int wrong = 0, probes = 0;
        std::string first;
        for (int j = 0; j < image.rows; ++j)
            for (int i = 0; i < image.cols; ++i) {
                double u = (i + 0.5) / image.cols, v = (j + 0.5) / image.rows;
                int x = static_cast<int>(
                    (image.area.left + u * (image.area.right - image.area.left)) * scale);
                int y = static_cast<int>(
                    (image.area.top + v * (image.area.bottom - image.area.top)) * scale);
                ++probes;
                unsigned long want = image.color(u, v), got = page.At(x, y);
                if (!Near(got, want, image.tolerance)) {
                    if (!wrong) {
                        char text[96];
                        std::snprintf(text, sizeof text, "first at (%d, %d): %06lx, not %06lx", x,
                                      y, got, want);
                        first = text;
                    }
                    ++wrong;
                }
            }
        EXPECT_EQ(wrong, 0) << image.name << " (" << probes << " probes) " << first;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
