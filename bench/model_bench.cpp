// Latency of model queries on the large sample model: a lookup of the last
// entry of a long list, and one pass answering every code and layout. Each is
// reported beside a reference in the same run: copying the model data block
// once (memcpy), the floor of any answer that touches the whole file.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "model/modelsmith.h"

namespace {

const std::vector<std::uint8_t>& Model() {
    static const std::vector<std::uint8_t> data = [] {
        std::ifstream in(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>());
    }();
    return data;
}

void CopyModelReference(benchmark::State& state) {
    const auto& m = Model();
    std::vector<std::uint8_t> copy(m.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), m.data(), m.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * m.size()));
}
BENCHMARK(CopyModelReference);

// The last paper (Envelope Monarch, id 37) of 13, as the 160-byte paper record.
void LastPaperRecord(benchmark::State& state) {
    const auto& m = Model();
    std::uint8_t out[160];
    for (auto _ : state) {
        DWORD length = sizeof out, count = 0;
        DWORD r = model::GetMyPrinterInfo(m.data(), 20, 37, 4, out, &length, &count);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(LastPaperRecord);

// The footer line of the PJL table: the last of 47 items, after 76 lines.
void LastPjlLine(benchmark::State& state) {
    const auto& m = Model();
    std::uint8_t out[64];
    for (auto _ : state) {
        DWORD length = sizeof out, count = 0;
        DWORD r = model::GetMyPrinterInfo(m.data(), 65, 501, 4, out, &length, &count);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(LastPjlLine);

// Every code 1..96 with every layout 1..15, size call then data call.
void EveryCode(benchmark::State& state) {
    const auto& m = Model();
    std::vector<std::uint8_t> out(65536);
    int answered = 0;
    for (auto _ : state) {
        answered = 0;
        for (int code = 1; code <= 96; ++code)
            for (int layout = 1; layout <= 15; ++layout) {
                DWORD length = 0, count = 0;
                if (model::GetMyPrinterInfo(m.data(), code, 0, layout, nullptr, &length, &count) !=
                    0)
                    continue;
                if (model::GetMyPrinterInfo(m.data(), code, 0, layout, out.data(), &length,
                                            &count) == 0)
                    ++answered;
            }
        benchmark::DoNotOptimize(answered);
    }
    state.counters["answers"] = answered;
}
BENCHMARK(EveryCode);

} // namespace

BENCHMARK_MAIN();
