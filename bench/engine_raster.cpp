// The engine's drawing on A4 pages at 600 dpi, against the plain memory
// operation on the same bytes in the same run: a solid rectangle fill of a
// 1-bit and a 24-bit page against memset, an 8-bit copy against memcpy, and
// the halftoning stretch of a 24-bit photo onto a 1-bit band (reported in
// pixels per second; the reference is memset of the band).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/engine_objects.h"
#include "engine_surface.h"
#include "testkit/bench_report.h"
#include "win/winddi.h"

namespace {

constexpr LONG kWidth = 4960, kHeight = 7016, kBand = 128;
constexpr LONG kPhotoWidth = 1200, kPhotoHeight = 900;

using bench::Surface;

void Memset(benchmark::State& state, ULONG format) {
    Surface page(kWidth, kHeight, format);
    for (auto _ : state) {
        std::memset(page.so->pvBits, 0x5A, page.Bytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(page.Bytes()));
}

void Fill(benchmark::State& state, ULONG format) {
    Surface page(kWidth, kHeight, format);
    BRUSHOBJ* brush = platform::engine::CreateSolidBrush(page.h, 0x5A5A5A);
    RECTL all{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        EngBitBlt(page.so, nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr, brush,
                  nullptr, 0xF0F0);
        benchmark::ClobberMemory();
    }
    platform::engine::DeleteBrush(brush);
    state.SetBytesProcessed(state.iterations() * int64_t(page.Bytes()));
}

void Memcpy(benchmark::State& state) {
    Surface a(kWidth, kHeight, BMF_8BPP), b(kWidth, kHeight, BMF_8BPP);
    for (auto _ : state) {
        std::memcpy(b.so->pvBits, a.so->pvBits, a.Bytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(a.Bytes()));
}

void Copy(benchmark::State& state) {
    Surface a(kWidth, kHeight, BMF_8BPP), b(kWidth, kHeight, BMF_8BPP);
    RECTL all{0, 0, kWidth, kHeight};
    POINTL zero{0, 0};
    for (auto _ : state) {
        EngCopyBits(b.so, a.so, nullptr, nullptr, &all, &zero);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(a.Bytes()));
}

void BandMemset(benchmark::State& state) {
    Surface band(kWidth, kBand, BMF_1BPP);
    for (auto _ : state) {
        std::memset(band.so->pvBits, 0, band.Bytes());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kBand);
}

// One band of the page: the photo stretched over the whole page width and
// height, the part that falls into the band drawn.
void Halftone(benchmark::State& state) {
    Surface photo(kPhotoWidth, kPhotoHeight, BMF_24BPP), band(kWidth, kBand, BMF_1BPP);
    auto* p = static_cast<BYTE*>(photo.so->pvBits);
    for (size_t i = 0; i < photo.Bytes(); ++i)
        p[i] = static_cast<BYTE>(i * 7 + (i >> 9));
    RECTL src{0, 0, kPhotoWidth, kPhotoHeight};
    // The band's part of the page: page rows 3000 .. 3128.
    RECTL dst{0, -3000, kWidth, kHeight - 3000};
    POINTL org{0, -3000};
    for (auto _ : state) {
        EngStretchBlt(band.so, photo.so, nullptr, nullptr, nullptr, nullptr, &org, &dst, &src,
                      nullptr, HALFTONE);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kBand);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("fill1/memset", Memset, BMF_1BPP)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("fill1/engine", Fill, BMF_1BPP)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("fill24/memset", Memset, BMF_24BPP)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("fill24/engine", Fill, BMF_24BPP)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("copy8/memcpy", Memcpy)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("copy8/engine", Copy)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("halftone/band_memset", BandMemset)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("halftone/engine", Halftone)->Unit(benchmark::kMicrosecond);
    return testkit::RunWithRatios(
        argc, argv,
        {{"fill1/engine", "fill1/memset", "solid fill of a 1-bit A4 page: time / memset time"},
         {"fill24/engine", "fill24/memset", "solid fill of a 24-bit A4 page: time / memset time"},
         {"copy8/engine", "copy8/memcpy", "8-bit A4 page copy: time / memcpy time"},
         {"halftone/engine", "halftone/band_memset",
          "halftoning 24-bit photo onto a 1-bit band: time / memset of the band"}});
}
