// Spool-side replay: a 100-page vector document recorded as a spool package
// and replayed 4-up (25 sheets) into the recording printer, whose log is
// thrown away after every job; per sheet, against playing the same 100 pages
// one per sheet straight into the same printer in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "emf_job.h"
#include "platform/emf_builder.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "spool_package.h"
#include "devmode_private.h"
#include "win/files.h"
#include "win/gdi_dc.h"
#include "win/loader.h"

namespace {

constexpr DWORD kPages = 100;
constexpr DWORD kSheets = kPages / 4;
constexpr char kWork[] = "C:\\Bench\\";
constexpr char16_t kSpool[] = u"C:\\Bench\\spool\\";

// A page of lines, outlines and fills, as a drawing program's page.
std::vector<BYTE> VectorPage(DWORD page) {
    platform::gdi::EmfBuilder b(SIZEL{800, 1000}, SIZEL{34, 42});
    b.CreatePen(1, PS_SOLID, 2, RGB(0, 0, page % 255));
    b.CreateBrush(2, BS_SOLID, RGB(200, 100, page % 255));
    b.SelectObject(1);
    b.SelectObject(2);
    for (LONG i = 0; i < 200; ++i) {
        std::vector<POINTL> pts;
        for (LONG k = 0; k < 10; ++k)
            pts.push_back({(i * 7 + k * 31) % 800, (i * 13 + k * 17) % 1000});
        b.Poly(EMR_POLYLINE, pts);
    }
    for (LONG i = 0; i < 50; ++i)
        b.Box(EMR_RECTANGLE, RECTL{i * 15, i * 19, i * 15 + 60, i * 19 + 40});
    for (LONG i = 0; i < 20; ++i)
        b.Box(EMR_ELLIPSE, RECTL{i * 30, 500, i * 30 + 80, 580});
    b.SelectStock(BLACK_PEN);
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    b.DeleteObject(2);
    return b.Finish();
}

const std::vector<std::vector<BYTE>>& Pages() {
    static const std::vector<std::vector<BYTE>> pages = [] {
        std::vector<std::vector<BYTE>> p;
        for (DWORD i = 1; i <= kPages; ++i)
            p.push_back(VectorPage(i));
        return p;
    }();
    return pages;
}

struct Printer {
    Printer() {
        namespace spl = platform::spooler;
        spl::AddPort({u"LPT1:", u"Local Port", u""});
        spl::DriverRecord d;
        d.name = u"Recorder";
        d.driverPath = platform::FromUtf8(RECORDING_DRIVER_PATH);
        spl::AddDriver(d);
        spl::PrinterRecord p;
        p.name = u"P1";
        p.port = u"LPT1:";
        p.driver = u"Recorder";
        spl::AddPrinter(p, false);
        spl::test::DiscardJobOutput(true);
        recorder = LoadLibraryW(reinterpret_cast<LPCWSTR>(d.driverPath.c_str()));
        clear = reinterpret_cast<void (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(recorder, "RecorderClear")));
        CreateDirectoryA("C:\\Bench", nullptr);
    }
    HMODULE recorder = nullptr;
    void (*clear)() = nullptr;
};

Printer& ThePrinter() {
    static Printer p;
    return p;
}

DWORD WritePackage(DWORD job) {
    DEVMODE_IMAGEA dm{};
    std::memcpy(dm.dm.dmDeviceName, "P1", 3);
    dm.dm.dmSize = DEVMODEA_SIZE;
    dm.dm.dmDriverExtra = PRIVATE_DEVMODE_SIZE;
    dm.dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dm.dmCopies = 1;
    dm.dm.dmDuplex = DMDUP_SIMPLEX;
    dm.dm.dmPrintQuality = 600;
    dm.priv.LayoutKind = kLayoutPagesPerSheet;
    dm.priv.PagesPerSheet = 4;
    uint8_t image[spoolpkg::kAnsiDevmodeSize];
    std::memcpy(image, &dm, sizeof image);
    spoolpkg::PackageWriter w;
    if (w.Create(kSpool, job, image, u"P1", u"Bench") != 0) return 0;
    for (DWORD p = 1; p <= kPages; ++p) {
        const auto& bits = Pages()[p - 1];
        std::u16string path = spoolpkg::PagePath(kSpool, w.spoolId(), p);
        HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD n = 0;
        WriteFile(f, bits.data(), static_cast<DWORD>(bits.size()), &n, nullptr);
        CloseHandle(f);
        w.AppendPage(p);
    }
    w.Finish(kPages);
    return w.spoolId();
}

void Replay4Up(benchmark::State& state) {
    Printer& printer = ThePrinter();
    static const char model[] = "NKSP";
    DWORD job = 1;
    for (auto _ : state) {
        state.PauseTiming();
        printer.clear();
        metaweave::EmfJobRecord record{};
        record.spoolId = WritePackage(job++);
        record.flags = metaweave::kJobPackage | 1;
        std::strcpy(record.workingFolder, kWork);
        metaweave::ModelBlock block{printer.recorder, const_cast<char*>(model)};
        state.ResumeTiming();
        if (metaweave::PrintEmf(&record, &block) != 1) state.SkipWithError("replay failed");
    }
    state.counters["sheets"] = kSheets;
}

void Direct1Up(benchmark::State& state) {
    Printer& printer = ThePrinter();
    std::vector<HENHMETAFILE> pages;
    for (const auto& bits : Pages())
        pages.push_back(SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data()));
    for (auto _ : state) {
        state.PauseTiming();
        printer.clear();
        state.ResumeTiming();
        HDC dc = CreateDCW(nullptr, u"P1", nullptr, nullptr);
        DOCINFOW di{sizeof(DOCINFOW), u"Bench", nullptr, nullptr, 0};
        StartDocW(dc, &di);
        const RECT page{0, 0, 800, 1000};
        for (HENHMETAFILE m : pages) {
            StartPage(dc);
            PlayEnhMetaFile(dc, m, &page);
            EndPage(dc);
        }
        EndDoc(dc);
        DeleteDC(dc);
    }
    for (HENHMETAFILE m : pages)
        DeleteEnhMetaFile(m);
}

BENCHMARK(Replay4Up)->Name("replay/4up")->Unit(benchmark::kMillisecond);
BENCHMARK(Direct1Up)->Name("replay/direct")->Unit(benchmark::kMillisecond);

class Reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                seconds_[r.benchmark_name()] =
                    r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    void Ratios() const {
        auto r = seconds_.find("replay/4up"), d = seconds_.find("replay/direct");
        if (r == seconds_.end() || d == seconds_.end() || d->second <= 0) return;
        std::printf("4-up replay: %.2f ms per sheet (%u sheets); %.2f x playing the same %u pages "
                    "one per sheet straight into the printer\n",
                    1000.0 * r->second / kSheets, kSheets, r->second / d->second, kPages);
    }

  private:
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    char root[] = "/tmp/metaweave_bench.XXXXXX";
    bool ownRoot = !std::getenv("PRINTHOST_ROOT") && mkdtemp(root);
    if (ownRoot) setenv("PRINTHOST_ROOT", root, 1);
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratios();
    benchmark::Shutdown();
    if (ownRoot) {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    return 0;
}
