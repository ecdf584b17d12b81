// uiReviseDevmodeEx in mode 2 on the large sample model, as a printer's
// caller pays for it: the export of the built library, bound by name as the
// interface library binds it, with the model library loaded and freed, the
// installed options, user papers and constraint list built, the revision run.
// Beside it, in the same run, its parts: the same revision called inside the
// library, loading and freeing the model library alone, the model library's
// own revision, and the pipeline on a context built once (no loading). The
// benchmark's machine root goes when it ends.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "devmode_helpers.h"
#include "install_option.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "revise_devmode.h"
#include "ui/sheetwright.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

std::u16string WindowsPath(std::string p) {
    for (char& c : p)
        if (c == '/') c = '\\';
    return platform::FromUtf8("Z:" + p);
}

struct Printer {
    std::string root;
    HANDLE handle = nullptr;
    LPVOID data = nullptr;
    DEVMODE_IMAGEW defaults{};
    HMODULE library = nullptr;
    PFN_uiReviseDevmodeEx revise = nullptr;
    Printer() {
        char folder[] = "/tmp/revise-bench-root-XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        root = folder;
        setenv("PRINTHOST_ROOT", folder, 1);
        platform::test::ResetForTests();
        auto windows = [](const std::string& p) { return WindowsPath(p); };
        platform::spooler::AddPort({u"LPT1:", u"Local Port", u""});
        platform::spooler::DriverRecord driver;
        driver.name = u"Bench";
        driver.driverPath = windows(std::string(PKG_DRIVER_DIR) + "/Inkforge.DLL");
        driver.dataFile = windows(std::string(PKG_MODELS_DIR) + "/CX5540.DAT");
        platform::spooler::AddDriver(driver);
        platform::spooler::PrinterRecord printer;
        printer.name = u"B";
        printer.port = u"LPT1:";
        printer.driver = u"Bench";
        platform::spooler::AddPrinter(printer, false);
        if (!OpenPrinterW(const_cast<LPWSTR>(u"B"), &handle, nullptr)) std::abort();
        data = LoadDriverDataFile(handle);
        if (!data || !StampAndReviseDevmode(handle, data, &defaults)) std::abort();
        library = LoadLibraryW(windows(std::string(PKG_DRIVER_DIR) + "/Sheetwright.DLL").c_str());
        if (library)
            revise = reinterpret_cast<PFN_uiReviseDevmodeEx>(
                reinterpret_cast<void (*)()>(GetProcAddress(library, "uiReviseDevmodeEx")));
    }
    ~Printer() {
        if (library) FreeLibrary(library);
        if (data) GlobalFree(data);
        if (handle) ClosePrinter(handle);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};
std::unique_ptr<Printer> gPrinter;
const Printer& ThePrinter() {
    if (!gPrinter) gPrinter = std::make_unique<Printer>();
    return *gPrinter;
}

void LoadAndFreeModelLibrary(benchmark::State& state) {
    const Printer& p = ThePrinter();
    for (auto _ : state) {
        HMODULE m = LoadDriverModule(p.handle, p.data, kSelectModelsmith);
        benchmark::DoNotOptimize(m);
        FreeLibrary(m);
    }
}
BENCHMARK(LoadAndFreeModelLibrary)->Unit(benchmark::kMicrosecond);

void ModelRevisionOnly(benchmark::State& state) {
    const Printer& p = ThePrinter();
    HMODULE m = LoadDriverModule(p.handle, p.data, kSelectModelsmith);
    for (auto _ : state) {
        DEVMODE_IMAGEW image = p.defaults, old = p.defaults;
        benchmark::DoNotOptimize(CallModelReviseDevmode(m, p.data, &old, &image, kReviseCarryOver));
    }
    FreeLibrary(m);
}
BENCHMARK(ModelRevisionOnly)->Unit(benchmark::kMicrosecond);

void PipelineOnABuiltContext(benchmark::State& state) {
    const Printer& p = ThePrinter();
    ReviseContext context;
    context.printer = p.handle;
    context.binding = {LoadDriverModule(p.handle, p.data, kSelectModelsmith), p.data};
    CInstallOption options(p.handle, &context.binding);
    ModelOptionPair pair{&context.binding, &options};
    context.options = &pair;
    for (auto _ : state) {
        DEVMODE_IMAGEW image = p.defaults, old = p.defaults;
        benchmark::DoNotOptimize(ReviseDevmode(&context, &old, &image, kReviseCarryOver));
    }
    options.FreeEntries();
    FreeLibrary(context.binding.modelsmith);
}
BENCHMARK(PipelineOnABuiltContext)->Unit(benchmark::kMicrosecond);

void ExportedReviseDevmodeExMode2(benchmark::State& state) {
    const Printer& p = ThePrinter();
    if (!p.revise) return state.SkipWithError("no uiReviseDevmodeEx in the built library");
    for (auto _ : state) {
        DEVMODE_IMAGEW image = p.defaults, old = p.defaults;
        benchmark::DoNotOptimize(p.revise(p.handle, p.data, &old.dm, &image.dm, kReviseCarryOver));
    }
}
BENCHMARK(ExportedReviseDevmodeExMode2)->Unit(benchmark::kMicrosecond);

void ReviseDevmodeExMode2(benchmark::State& state) {
    const Printer& p = ThePrinter();
    for (auto _ : state) {
        DEVMODE_IMAGEW image = p.defaults, old = p.defaults;
        benchmark::DoNotOptimize(
            ReviseDevmodeEx(p.handle, p.data, &old.dm, &image.dm, kReviseCarryOver));
    }
}
BENCHMARK(ReviseDevmodeExMode2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gPrinter.reset(); // the printer and its machine root
    return 0;
}
