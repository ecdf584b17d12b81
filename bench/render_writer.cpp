// The printer stream writer in MB/s: small drawing-token writes (4 to 16
// bytes) and 64 KB raster blocks, and the spooler's own 4 KB writes, each
// into a spooler job that discards its bytes (the writer's own cost) and into
// a job that writes them to its spool file (what a job pays), against memcpy
// of the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "output_writer.h"
#include "spool_sink.h"
#include "pdev.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

constexpr size_t kBytesPerIteration = 1 << 20;
constexpr size_t kBlock = 64 * 1024;
constexpr DWORD kSmallWrite = 4096;

// Token sizes as a page's drawing commands come: frame heads, points, short runs.
const std::vector<size_t>& TokenSizes() {
    static const std::vector<size_t> sizes = [] {
        std::vector<size_t> s;
        size_t total = 0;
        for (size_t i = 0; total < kBytesPerIteration; ++i) {
            size_t n = 4 + (i * 7) % 13;
            s.push_back(n);
            total += n;
        }
        return s;
    }();
    return sizes;
}

const std::vector<BYTE>& Source() {
    static const std::vector<BYTE> bytes = [] {
        std::vector<BYTE> b(kBlock);
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<BYTE>(i * 31 + 7);
        return b;
    }();
    return bytes;
}

// The sink a benchmark writes into.
bench::Sink& SinkOf(bool toFile) {
    return toFile ? bench::TheFileSink() : bench::TheSink();
}

// A spool file is started anew every 256 MB, outside the timing.
void KeepFileSmall(benchmark::State& state, bench::Sink& sink, size_t* written) {
    *written += kBytesPerIteration;
    if (&sink != &bench::TheFileSink() || *written < (256u << 20)) return;
    state.PauseTiming();
    sink.Restart();
    *written = 0;
    state.ResumeTiming();
}

void WriterTokens(benchmark::State& state, bool toFile) {
    bench::Sink& sink = SinkOf(toFile);
    if (!sink.ok()) return state.SkipWithError("no spooler job");
    const BYTE* src = Source().data();
    size_t written = 0;
    for (auto _ : state) {
        size_t at = 0;
        for (size_t n : TokenSizes()) {
            inkforge::OutputBytes(sink.pdev(), src + at, static_cast<DWORD>(n));
            at = (at + n) % (kBlock - 32);
        }
        inkforge::FlushOutput(sink.pdev());
        KeepFileSmall(state, sink, &written);
    }
    if (sink.pdev()->jobFlags & inkforge::job::Cancelled) state.SkipWithError("job cancelled");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

void MemcpyTokens(benchmark::State& state) {
    const BYTE* src = Source().data();
    std::vector<BYTE> buffer(4096);
    for (auto _ : state) {
        size_t at = 0, used = 0;
        for (size_t n : TokenSizes()) {
            if (used + n > buffer.size()) used = 0;
            std::memcpy(buffer.data() + used, src + at, n);
            used += n;
            at = (at + n) % (kBlock - 32);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

void WriterBlocks(benchmark::State& state, bool toFile) {
    bench::Sink& sink = SinkOf(toFile);
    if (!sink.ok()) return state.SkipWithError("no spooler job");
    const BYTE* src = Source().data();
    size_t written = 0;
    for (auto _ : state) {
        for (size_t done = 0; done < kBytesPerIteration; done += kBlock)
            inkforge::OutputBytes(sink.pdev(), src, static_cast<DWORD>(kBlock));
        inkforge::FlushOutput(sink.pdev());
        KeepFileSmall(state, sink, &written);
    }
    if (sink.pdev()->jobFlags & inkforge::job::Cancelled) state.SkipWithError("job cancelled");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

void MemcpyBlocks(benchmark::State& state) {
    const BYTE* src = Source().data();
    // Each block to its own place, as the stream's bytes are.
    std::vector<BYTE> dst(kBytesPerIteration);
    for (auto _ : state) {
        for (size_t done = 0; done < kBytesPerIteration; done += kBlock)
            std::memcpy(dst.data() + done, src, kBlock);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

// The spooler alone: 4 KB writes into the discarding job, each of which
// checks whether the job was cancelled.
void SpoolerWrites(benchmark::State& state, bool toFile) {
    bench::Sink& sink = SinkOf(toFile);
    if (!sink.ok()) return state.SkipWithError("no spooler job");
    BYTE* src = const_cast<BYTE*>(Source().data());
    size_t total = 0;
    for (auto _ : state) {
        for (size_t done = 0; done < kBytesPerIteration; done += kSmallWrite) {
            DWORD written = 0;
            if (!WritePrinter(sink.pdev()->printer, src, kSmallWrite, &written))
                return state.SkipWithError("write failed");
        }
        KeepFileSmall(state, sink, &total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

void MemcpySmall(benchmark::State& state) {
    const BYTE* src = Source().data();
    std::vector<BYTE> dst(kSmallWrite);
    for (auto _ : state) {
        for (size_t done = 0; done < kBytesPerIteration; done += kSmallWrite)
            std::memcpy(dst.data(), src, kSmallWrite);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerIteration);
}

BENCHMARK_CAPTURE(WriterTokens, sink, false)->Name("tokens/writer");
BENCHMARK_CAPTURE(WriterTokens, file, true)->Name("tokens/file");
BENCHMARK(MemcpyTokens)->Name("tokens/memcpy");
BENCHMARK_CAPTURE(WriterBlocks, sink, false)->Name("blocks64k/writer");
BENCHMARK_CAPTURE(WriterBlocks, file, true)->Name("blocks64k/file");
BENCHMARK(MemcpyBlocks)->Name("blocks64k/memcpy");
BENCHMARK_CAPTURE(SpoolerWrites, sink, false)->Name("spool4k/writer");
BENCHMARK_CAPTURE(SpoolerWrites, file, true)->Name("spool4k/file");
BENCHMARK(MemcpySmall)->Name("spool4k/memcpy");

class Reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                seconds_[r.benchmark_name()] =
                    r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    void Ratios() const {
        for (const char* group : {"tokens", "blocks64k", "spool4k"}) {
            auto m = seconds_.find(std::string(group) + "/memcpy");
            if (m == seconds_.end() || m->second <= 0) continue;
            for (const char* into : {"writer", "file"}) {
                auto w = seconds_.find(std::string(group) + "/" + into);
                if (w == seconds_.end() || w->second <= 0) continue;
                double mbps = kBytesPerIteration / w->second / 1e6;
                std::printf("%-10s %-6s %.0f MB/s, %.1f%% of memcpy (%.0f MB/s)\n", group,
                            std::string(into) == "file" ? "file" : "sink", mbps,
                            100.0 * m->second / w->second, kBytesPerIteration / m->second / 1e6);
            }
        }
    }

  private:
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    bench::OwnMachineRoot root("render_writer_bench");
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratios();
    benchmark::Shutdown();
    return 0;
}
