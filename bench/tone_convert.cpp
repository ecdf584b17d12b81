// Tonemill on A4 600 dpi bands (4960 x 256): 24-bit colour to gray and gray to 1
// bit by the 16 x 16 threshold matrix, in pixels per second, with memcpy of the
// source band as the bandwidth reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "imaging/tonemill.h"
#include "testkit/bench_report.h"
#include "testkit/pages.h"

namespace {

constexpr uint32_t kWidth = testkit::kA4Width, kBand = 256;

enum Content { kWhite, kText, kPhoto };

// A band of 8-bit samples, `channels` per pixel: white, black text on white, or
// photo-like smooth tones with noise.
std::vector<uint8_t> Band(Content content, int channels) {
    std::vector<uint8_t> v(size_t(kWidth) * kBand * channels, 0xFF);
    if (content == kText) {
        testkit::Page text = testkit::TextLike(kWidth, kBand * 8, 11);
        for (uint32_t y = 0; y < kBand; ++y)
            for (uint32_t x = 0; x < kWidth; ++x)
                if (text.Get(x, y + kBand * 2))
                    std::memset(&v[(size_t(y) * kWidth + x) * channels], 0, channels);
    } else if (content == kPhoto) {
        std::mt19937 rng(3);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<uint8_t>((i / channels % kWidth) / 20 + rng() % 32);
    }
    return v;
}

icImage Describe(WORD type, std::vector<uint8_t>& bits, uint32_t stride) {
    icImage im{};
    im.type = type;
    im.width = kWidth;
    im.height = kBand;
    im.bits = bits.data();
    im.stride = stride;
    im.lines = kBand;
    return im;
}

void Pixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kBand);
}

void Memcpy(benchmark::State& state, int channels) {
    std::vector<uint8_t> src = Band(kPhoto, channels), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    Pixels(state);
}

void Gray(benchmark::State& state, Content content) {
    std::vector<uint8_t> src = Band(content, 3), dst(size_t(kWidth) * kBand);
    icImage s = Describe(IC_TYPE_RGB24, src, kWidth * 3), d = Describe(IC_TYPE_GRAY, dst, kWidth);
    for (auto _ : state) {
        icImageTypeConvertTo256Gray_speed(nullptr, &s, &d);
        benchmark::ClobberMemory();
    }
    Pixels(state);
}

void Halftone(benchmark::State& state, Content content) {
    std::vector<uint8_t> src = Band(content, 1), dst(size_t(kWidth / 8) * kBand);
    icImage s = Describe(IC_TYPE_GRAY, src, kWidth), d = Describe(IC_TYPE_BW, dst, kWidth / 8);
    icThresholdMatrix m{};
    m.width = m.height = 16;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            m.cells[r][c] = static_cast<WORD>((r * 16 + c) * 37 % 255 + 1);
    SHORT col = 0, row = 0;
    for (auto _ : state) {
        icImageTypeConvertToBWDitherHalftone_speed(&col, &row, &m, &s, &d);
        benchmark::ClobberMemory();
    }
    Pixels(state);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("tone/memcpy_24bit_band", Memcpy, 3)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("tone/memcpy_8bit_band", Memcpy, 1)->Unit(benchmark::kMicrosecond);
    const std::pair<const char*, Content> contents[] = {
        {"white", kWhite}, {"text", kText}, {"photo", kPhoto}};
    std::vector<testkit::Ratio> ratios;
    for (auto [name, content] : contents) {
        std::string gray = std::string("tone/gray_") + name,
                    halftone = std::string("tone/halftone_") + name;
        benchmark::RegisterBenchmark(gray.c_str(), Gray, content)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(halftone.c_str(), Halftone, content)
            ->Unit(benchmark::kMicrosecond);
        ratios.push_back({gray, "tone/memcpy_24bit_band",
                          "gray " + std::string(name) + ": time / memcpy of the 24-bit band"});
        ratios.push_back({halftone, "tone/memcpy_8bit_band",
                          "halftone " + std::string(name) + ": time / memcpy of the 8-bit band"});
    }
    return testkit::RunWithRatios(argc, argv, ratios);
}
