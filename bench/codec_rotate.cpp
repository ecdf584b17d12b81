// Quarter turn of an A4 600 dpi page through RAW2ROTATE against memcpy of the
// same bytes: band by band (8 source lines per call, as a caller turns a page in
// bands) and as one block of all bands.
#include <benchmark/benchmark.h>

#include <cstring>

#include "imaging/bitsqueeze.h"
#include "testkit/bench_report.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

const Page& Source() {
    static const Page page = testkit::TextLike(testkit::kA4Width, testkit::kA4Height);
    return page;
}

void Memcpy(benchmark::State& state) {
    const Page& page = Source();
    std::vector<uint8_t> out(page.bits.size());
    for (auto _ : state) {
        std::memcpy(out.data(), page.bits.data(), page.bits.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(page.bits.size()));
}

void Turn(benchmark::State& state, int angle, int bandsPerCall) {
    Page page = Source();
    const int bands = page.height / 8;
    const size_t D = bands; // destination bytes per line: the page height
    std::vector<uint8_t> out(D * page.width);
    for (auto _ : state) {
        for (int band = 0; band < bands; band += bandsPerCall) {
            const int n = std::min(bandsPerCall, bands - band);
            Raw2RotateBlock b{};
            b.angle = static_cast<WORD>(angle);
            b.source = page.Row(band * 8);
            b.sourceStride = static_cast<WORD>(page.stride * 8);
            b.sourceLines = static_cast<WORD>(n * 8);
            b.destination = out.data() + (angle == 90 ? bands - band - n : band);
            b.destinationStride = static_cast<WORD>(D * 8);
            b.destinationLines = static_cast<WORD>(page.width);
            RAW2ROTATE(&b);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(page.bits.size()));
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("rotate/memcpy", Memcpy)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rotate/90_bands", Turn, 90, 1)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rotate/90_page", Turn, 90, 1 << 14)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rotate/270_bands", Turn, 270, 1)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rotate/270_page", Turn, 270, 1 << 14)
        ->Unit(benchmark::kMicrosecond);
    return testkit::RunWithRatios(
        argc, argv,
        {{"rotate/90_bands", "rotate/memcpy", "90 degrees, one call per band: time / memcpy time"},
         {"rotate/90_page", "rotate/memcpy", "90 degrees, one call per page: time / memcpy time"},
         {"rotate/270_bands", "rotate/memcpy",
          "270 degrees, one call per band: time / memcpy time"},
         {"rotate/270_page", "rotate/memcpy",
          "270 degrees, one call per page: time / memcpy time"}});
}
