// The imaging side's share of a banded A4 600 dpi page (a photograph above,
// text below), each stage against a reference in the same run:
// - row compression: run-length and delta-row rows of the 24-bit page
//   against memcpy of the same rows (input bytes per second);
// - JBIG: the page's 1-bit image through the JBIG path (the outside coder and
//   the stream writer into a spooler that discards) against jbigkit coding
//   the same image alone;
// - the quarter turn of a landscape page (the graphics core's one call of
//   the codec library) against memcpy of the same bytes;
// - the whole banded page through the banding hooks (engine drawing of each
//   24-bit band, tone conversion, the page's 1-bit image, the JBIG path and
//   the stream writer) against jbigkit coding the same 1-bit page alone, and
//   its split: the engine's copy of the page into 24-bit bands, the tone
//   conversion of the bands to 1 bit, the JBIG path, and the rest.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "band_rotation.h"
#include "hooks.h"
#include "imaging_hooks.h"
#include "imaging_state.h"
#include "jbig_block.h"
#include "imaging/tonemill.h"
#include "output_writer.h"
#include "raster_encode.h"
#include "row_compress.h"
#include "spool_sink.h"
#include "engine_surface.h"
#include "testkit/bench_report.h"
#include "testkit/pages.h"
#include "win/winddi.h"

namespace {

constexpr LONG kWidth = testkit::kA4Width, kHeight = testkit::kA4Height;
constexpr LONG kBandLines = 280; // a 4 MB band of 24-bit rows
constexpr DWORD kRowBytes = (kWidth * 3 + 3) & ~3;
constexpr DWORD kMonoStride = (kWidth + 31) / 32 * 4;

// The 24-bit page: smooth tones with noise in the upper half, black text on
// white below.
const std::vector<BYTE>& ColourPage() {
    static const std::vector<BYTE> page = [] {
        std::vector<BYTE> p(size_t(kRowBytes) * kHeight, 0xFF);
        std::mt19937 rng(5);
        for (LONG y = 0; y < kHeight / 2; ++y)
            for (LONG x = 0; x < kWidth * 3; ++x)
                p[size_t(y) * kRowBytes + x] =
                    static_cast<BYTE>((x / 3) / 24 + y / 40 + rng() % 24);
        testkit::Page text = testkit::TextLike(kWidth, kHeight / 2, 9);
        for (LONG y = 0; y < kHeight / 2; ++y)
            for (LONG x = 0; x < kWidth; ++x)
                if (text.Get(x, y))
                    std::memset(&p[size_t(y + kHeight / 2) * kRowBytes + x * 3], 0, 3);
        return p;
    }();
    return page;
}

// The threshold matrix of the 8-to-1 step as the banding hooks make it, so
// that the page coded alone is the page the banded road codes.
icThresholdMatrix Matrix() {
    icThresholdMatrix m{};
    inkforge::BuildBandMatrix(bench::TheSink().pdev(), &m);
    BYTE gamma[256];
    inkforge::ReadGammaTable(bench::TheSink().pdev(), gamma);
    icGammaInv(gamma, &m);
    return m;
}

// One band of 24-bit rows to 1 bit through the tone library, as the banding
// hooks call it: in steps of 32 lines, each step's gray rows taken up by the
// halftone while they are in cache (the bits are those of one call a band).
void ToneBand(const BYTE* rgb, LONG lines, std::vector<BYTE>* gray, BYTE* mono, SHORT phase[2]) {
    constexpr LONG kStep = 32;
    const DWORD grayStride = (kWidth + 3) & ~3;
    gray->resize(size_t(grayStride) * kStep);
    const icThresholdMatrix matrix = Matrix();
    for (LONG top = 0; top < lines; top += kStep) {
        const DWORD n = static_cast<DWORD>(std::min(kStep, lines - top));
        icImage s{}, g{}, m{};
        s.type = IC_TYPE_RGB24;
        g.type = IC_TYPE_GRAY;
        m.type = IC_TYPE_BW;
        for (icImage* im : {&s, &g, &m}) {
            im->width = kWidth;
            im->height = im->lines = n;
        }
        s.bits = const_cast<BYTE*>(rgb) + size_t(top) * kRowBytes;
        s.stride = kRowBytes;
        g.bits = gray->data();
        g.stride = grayStride;
        m.bits = mono + size_t(top) * kMonoStride;
        m.stride = kMonoStride;
        icImageTypeConvertTo256Gray_speed(nullptr, &s, &g);
        std::memset(m.bits, 0xFF, size_t(kMonoStride) * n);
        icImageTypeConvertToBWDitherHalftone_speed(&phase[0], &phase[1], &matrix, &g, &m);
    }
}

// The page's 1-bit image as the banding road hands it to the JBIG path (1 = black).
const std::vector<BYTE>& MonoPage() {
    static const std::vector<BYTE> page = [] {
        std::vector<BYTE> p(size_t(kMonoStride) * kHeight);
        std::vector<BYTE> gray;
        SHORT phase[2] = {0, 0};
        for (LONG top = 0; top < kHeight; top += kBandLines)
            ToneBand(ColourPage().data() + size_t(top) * kRowBytes,
                     std::min(kBandLines, kHeight - top), &gray,
                     p.data() + size_t(top) * kMonoStride, phase);
        for (BYTE& b : p)
            b = static_cast<BYTE>(~b);
        return p;
    }();
    return page;
}

void Bytes(benchmark::State& state, size_t n) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void RowsMemcpy(benchmark::State& state) {
    const std::vector<BYTE>& page = ColourPage();
    std::vector<BYTE> row(kRowBytes);
    for (auto _ : state) {
        for (LONG y = 0; y < kHeight; ++y)
            std::memcpy(row.data(), page.data() + size_t(y) * kRowBytes, kRowBytes);
        benchmark::ClobberMemory();
    }
    Bytes(state, page.size());
}

void RowsCompressed(benchmark::State& state, DWORD mode) {
    const std::vector<BYTE>& page = ColourPage();
    size_t out = 0;
    for (auto _ : state) {
        inkforge::CompressState cs;
        if (!inkforge::InitCompressBuffers(&cs, kRowBytes, mode))
            return state.SkipWithError("no memory");
        for (LONG y = 0; y < kHeight; ++y) {
            DWORD n = 0;
            WORD used = 0;
            inkforge::CompressRow(&cs, page.data() + size_t(y) * kRowBytes, kRowBytes, &n, &used);
            out += n;
        }
        inkforge::FreeCompressBuffers(&cs);
    }
    benchmark::DoNotOptimize(out);
    Bytes(state, page.size());
}

void TakeJbig(unsigned char* start, size_t len, void* sink) {
    auto* v = static_cast<std::vector<BYTE>*>(sink);
    v->insert(v->end(), start, start + len);
}

void JbigKit(benchmark::State& state) {
    const std::vector<BYTE>& page = MonoPage(); // whole bytes a row: 4960 / 8 = 620 = stride
    std::vector<BYTE> coded;
    coded.reserve(8 << 20);
    for (auto _ : state) {
        coded.clear();
        unsigned char* planes[1] = {const_cast<BYTE*>(page.data())};
        jbg_enc_state s;
        jbg_enc_init(&s, kWidth, kHeight, 1, planes, &TakeJbig, &coded);
        // The options the graphics library asks the coder for.
        jbg_enc_options(&s, outside::kJbigOrder, outside::kJbigTypical ? JBG_TPBON : 0,
                        outside::kJbigStripeLines, -1, -1);
        jbg_enc_out(&s);
        jbg_enc_free(&s);
    }
    state.counters["coded_bytes"] = static_cast<double>(coded.size());
    Bytes(state, page.size());
}

// The coder library is found beside the graphics library: the build's driver folder.
HMODULE CoderModule() {
    static HMODULE m = [] {
        std::string host = std::string(PKG_DRIVER_DIR) + "/Dotpacker.DLL";
        std::u16string name = u"Z:";
        for (char c : host)
            name += c == '/' ? u'\\' : static_cast<char16_t>(c);
        return LoadLibraryW(name.c_str());
    }();
    return m;
}

void JbigPath(benchmark::State& state) {
    bench::Sink& sink = bench::TheSink();
    if (!sink.ok() || !CoderModule()) return state.SkipWithError("no spooler job or coder");
    std::vector<BYTE> page = MonoPage();
    SURFOBJ so{};
    so.iType = STYPE_BITMAP;
    so.iBitmapFormat = BMF_1BPP;
    so.sizlBitmap = SIZEL{kWidth, kHeight};
    so.pvBits = so.pvScan0 = page.data();
    so.lDelta = static_cast<LONG>(kMonoStride);
    so.cjBits = static_cast<ULONG>(page.size());
    for (auto _ : state) {
        if (!inkforge::CompressJbig(sink.pdev(), &so, kWidth, kHeight))
            return state.SkipWithError("JBIG path failed");
        inkforge::FlushOutput(sink.pdev());
    }
    Bytes(state, page.size());
}

// The page on its side: 7016 x 4960, as a landscape page reaches the JBIG path.
void TurnMemcpy(benchmark::State& state) {
    const std::vector<BYTE>& page = MonoPage();
    std::vector<BYTE> out(page.size());
    for (auto _ : state) {
        std::memcpy(out.data(), page.data(), page.size());
        benchmark::ClobberMemory();
    }
    Bytes(state, page.size());
}

void TurnPage(benchmark::State& state) {
    bench::Sink& sink = bench::TheSink();
    if (!sink.ok()) return state.SkipWithError("no device");
    constexpr LONG kLandWidth = kHeight, kLandHeight = kWidth;
    constexpr LONG kLandStride = (kLandWidth + 31) / 32 * 4, kPortStride = kLandHeight / 8;
    std::vector<BYTE> land(size_t(kLandStride) * kLandHeight);
    std::memcpy(land.data(), MonoPage().data(), std::min(land.size(), MonoPage().size()));
    std::vector<BYTE> port(size_t(kPortStride) * ((kLandWidth + 15) / 16 * 16));
    SURFOBJ l{}, p{};
    l.iBitmapFormat = p.iBitmapFormat = BMF_1BPP;
    l.sizlBitmap = SIZEL{kLandWidth, kLandHeight};
    l.pvBits = l.pvScan0 = land.data();
    l.lDelta = kLandStride;
    p.sizlBitmap = SIZEL{kLandHeight, (kLandWidth + 15) / 16 * 16};
    p.pvBits = p.pvScan0 = port.data();
    p.lDelta = kPortStride;
    for (auto _ : state)
        if (!inkforge::RotatePageBitmap(sink.pdev(), &l, &p))
            return state.SkipWithError("no codec library");
    Bytes(state, land.size());
}

using bench::Surface;

// The engine draws the page's picture into each band, as it renders a page
// made of one image.
void PageRender(benchmark::State& state) {
    Surface page(kWidth, kHeight, BMF_24BPP), band(kWidth, kBandLines, BMF_24BPP);
    for (LONG y = 0; y < kHeight; ++y)
        std::memcpy(static_cast<BYTE*>(page.so->pvScan0) + size_t(y) * page.so->lDelta,
                    ColourPage().data() + size_t(y) * kRowBytes, kRowBytes);
    for (auto _ : state) {
        for (LONG top = 0; top < kHeight; top += kBandLines) {
            RECTL dest{0, 0, kWidth, std::min(kBandLines, kHeight - top)};
            POINTL from{0, top};
            EngCopyBits(band.so, page.so, nullptr, nullptr, &dest, &from);
        }
        benchmark::ClobberMemory();
    }
    Bytes(state, ColourPage().size());
}

void PageTone(benchmark::State& state) {
    std::vector<BYTE> gray, mono(size_t(kMonoStride) * kBandLines);
    for (auto _ : state) {
        SHORT phase[2] = {0, 0};
        for (LONG top = 0; top < kHeight; top += kBandLines)
            ToneBand(ColourPage().data() + size_t(top) * kRowBytes,
                     std::min(kBandLines, kHeight - top), &gray, mono.data(), phase);
        benchmark::ClobberMemory();
    }
    Bytes(state, ColourPage().size());
}

// The process's resident and peak resident bytes (VmRSS, VmHWM), and the
// peak set back to what is resident now.
long StatusBytes(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) kb = std::atol(line + n);
    std::fclose(f);
    return kb < 0 ? -1 : kb * 1024;
}
bool ResetPeakResident() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}
// How far the first banded page of the process grew it beyond what the page
// and band surfaces already held: what the driver holds for a banded page.
long g_bandedPeakGrowth = -1;

// The whole banded page as the driver makes it: the engine draws each 24-bit
// band, the banding hooks turn it to 1 bit and add it to the page, and the
// page's last band sends the page through the JBIG path into the spooler.
struct BandedPage {
    Surface page{kWidth, kHeight, BMF_24BPP}, band{kWidth, kBandLines, BMF_24BPP};
    inkforge::PDEV* pdev = nullptr;
    explicit BandedPage(inkforge::PDEV* device) : pdev(device) {
        for (LONG y = 0; y < kHeight; ++y)
            std::memcpy(static_cast<BYTE*>(page.so->pvScan0) + size_t(y) * page.so->lDelta,
                        ColourPage().data() + size_t(y) * kRowBytes, kRowBytes);
        inkforge::ImagingState* st = inkforge::Imaging(pdev);
        st->pageWidth = kWidth;
        st->pageHeight = kHeight;
        band.so->dhpdev = reinterpret_cast<DHPDEV>(pdev);
    }
    bool Print() {
        POINTL origin{};
        if (!inkforge::DrvStartBanding(band.so, &origin)) return false;
        while (origin.y >= 0) {
            RECTL dest{0, 0, kWidth, std::min(kBandLines, kHeight - origin.y)};
            POINTL from{0, origin.y};
            EngCopyBits(band.so, page.so, nullptr, nullptr, &dest, &from);
            if (!inkforge::DrvNextBand(band.so, &origin)) return false;
        }
        inkforge::FlushOutput(pdev);
        return true;
    }
};

void PageBanded(benchmark::State& state) {
    bench::Sink& sink = bench::TheSink();
    if (!sink.ok() || !CoderModule()) return state.SkipWithError("no spooler job or coder");
    BandedPage banded(sink.pdev());
    for (auto _ : state)
        if (!banded.Print()) return state.SkipWithError("banding failed");
    Bytes(state, ColourPage().size());
}

// The first banded page of the process, before anything else has run: the
// growth of its peak resident size is what the driver holds for the page.
void MeasureBandedMemory() {
    bench::Sink& sink = bench::TheSink();
    if (!sink.ok() || !CoderModule()) return;
    BandedPage banded(sink.pdev());
    if (!ResetPeakResident()) return;
    const long before = StatusBytes("VmRSS:");
    if (before >= 0 && banded.Print()) g_bandedPeakGrowth = StatusBytes("VmHWM:") - before;
}

} // namespace

int main(int argc, char** argv) {
    bench::OwnMachineRoot root("raster_encode_bench");
    // The coder and codec libraries are found beside the graphics library.
    inkforge::SetDriverModule(CoderModule());
    MeasureBandedMemory();
    auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("rows/memcpy", RowsMemcpy)->Unit(ms);
    benchmark::RegisterBenchmark("rows/runlength", RowsCompressed, inkforge::kModeRunLength)
        ->Unit(ms);
    benchmark::RegisterBenchmark("rows/deltarow", RowsCompressed, inkforge::kModeDeltaRow)
        ->Unit(ms);
    benchmark::RegisterBenchmark("jbig/jbigkit", JbigKit)->Unit(ms);
    benchmark::RegisterBenchmark("jbig/path", JbigPath)->Unit(ms);
    benchmark::RegisterBenchmark("turn/memcpy", TurnMemcpy)->Unit(ms);
    benchmark::RegisterBenchmark("turn/page", TurnPage)->Unit(ms);
    benchmark::RegisterBenchmark("page/render", PageRender)->Unit(ms);
    benchmark::RegisterBenchmark("page/tone", PageTone)->Unit(ms);
    benchmark::RegisterBenchmark("page/banded", PageBanded)->Unit(ms);
    return testkit::RunWithRatios(
        argc, argv,
        {{"rows/runlength", "rows/memcpy", "run-length rows of a 24-bit A4 page: time / memcpy"},
         {"rows/deltarow", "rows/memcpy", "delta-row rows of a 24-bit A4 page: time / memcpy"},
         {"jbig/path", "jbig/jbigkit", "JBIG path of the 1-bit page: time / jbigkit alone"},
         {"turn/page", "turn/memcpy", "quarter turn of a landscape page: time / memcpy"},
         {"page/banded", "jbig/jbigkit", "banded A4 page to stream bytes: time / jbigkit alone"}},
        [](const testkit::RatioReporter& r) {
            const double render = r.Seconds("page/render"), tone = r.Seconds("page/tone"),
                         jbig = r.Seconds("jbig/path"), alone = r.Seconds("jbig/jbigkit"),
                         page = r.Seconds("page/banded");
            const double bytes = double(kRowBytes) * kHeight;
            for (const char* name : {"rows/runlength", "rows/deltarow"})
                if (double s = r.Seconds(name); s > 0)
                    std::printf("%-16s %.2f GB/s of input\n", name, bytes / s / 1e9);
            if (render > 0 && tone > 0 && jbig > 0 && alone > 0 && page > 0) {
                std::printf("banded page: %.1f ms (target 150 ms) = %.3f x jbigkit alone "
                            "(%.1f ms)\n",
                            page * 1e3, page / alone, alone * 1e3);
                std::printf("split against jbigkit alone: render %.3f, tone %.3f, JBIG path "
                            "%.3f (its writing and hand-over %.3f), the rest (band and page "
                            "copies, set-up) %.3f\n",
                            render / alone, tone / alone, jbig / alone, (jbig - alone) / alone,
                            (page - render - tone - jbig) / alone);
            }
            if (g_bandedPeakGrowth >= 0) {
                const double pageImage = double(kMonoStride) * kHeight,
                             oneBand = double(kRowBytes) * kBandLines;
                std::printf("banded page memory: %.2f MB at its peak beyond the page and band "
                            "surfaces = %.2f x the page's 1-bit image (%.2f MB) plus one band "
                            "(%.2f MB)\n",
                            g_bandedPeakGrowth / 1e6, g_bandedPeakGrowth / (pageImage + oneBand),
                            pageImage / 1e6, oneBand / 1e6);
            }
        });
}
