// Recording a job into the spool package through the driver: a 100-page
// vector document (the brochure's two pages, repeated) played by the
// application into a device context of the real graphics library whose
// device mode asks for the spool-side road, so that every page goes through
// the engine's hooks into the recorder and the package, as a real job does.
// Per page, against printing the same pages on the direct road (drawing
// tokens into the printer stream) in the same run; and the package's size
// against the pages the application played.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "private_devmode.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "sample_documents.h"
#include "spool_package.h"
#include "spool_sink.h"
#include "testkit/bench_report.h"
#include "win/base.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_dc.h"

namespace {

namespace fs = std::filesystem;
namespace spl = platform::spooler;

constexpr DWORD kPages = 100;
constexpr char16_t kPrinter[] = u"Bench";
constexpr short kPaperA4 = 9; // the device mode's paper number of A4
// What the recording spool-side library keeps of the hand-off: the job
// record (spool id, flags, working folder) beside itself.
constexpr char kHandOffFile[] = "ZORPrintEMF.rec";
constexpr size_t kHandOffWorkingFolder = 8;

std::vector<std::vector<BYTE>> Brochure() {
    auto docs = emfgen::SampleDocuments();
    return {docs.at("brochure/page-1.emf"), docs.at("brochure/page-2.emf")};
}

// The printer of the real graphics library, model library and model data,
// with the recording spool-side library in the driver folder (it keeps the
// package the job hands over).
class Printer {
  public:
    Printer() {
        std::u16string folder = spl::DriversFolder() + u"\\" + kPrinter;
        host_ = platform::HostPath(folder);
        fs::create_directories(host_);
        for (const char* file : {"Inkforge.DLL", "Modelsmith.DLL"})
            fs::copy_file(fs::path(PKG_DRIVER_DIR) / file, fs::path(host_) / file,
                          fs::copy_options::overwrite_existing);
        fs::copy_file(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", host_ + "/MODEL.DAT",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(RECORDING_SPOOL_PATH, host_ + "/Metaweave.DLL",
                      fs::copy_options::overwrite_existing);
        spl::AddPort({u"LPT1:", u"Local Port", u""});
        spl::DriverRecord d;
        d.name = u"Bench Driver";
        d.driverPath = folder + u"\\Inkforge.DLL";
        d.dataFile = folder + u"\\MODEL.DAT";
        d.dependentFiles = {folder + u"\\Modelsmith.DLL"};
        spl::AddDriver(d);
        spl::PrinterRecord p;
        p.name = kPrinter;
        p.port = u"LPT1:";
        p.driver = d.name;
        spl::AddPrinter(p, false);
        spl::test::DiscardJobOutput(true);
        for (const auto& bits : Brochure()) {
            pages_.push_back(SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data()));
            pageBytes_.push_back(bits.size());
        }
    }
    ~Printer() {
        for (HENHMETAFILE m : pages_)
            DeleteEnhMetaFile(m);
    }

    // The driver's own device mode, on the spool-side road or the direct one.
    inkforge::DevmodeImage Devmode(bool spoolSide) const {
        using namespace inkforge;
        DevmodeImage d;
        std::memset(&d, 0, sizeof d);
        std::memcpy(d.dm.dmDeviceName, kPrinter, sizeof kPrinter);
        StampHeader(d.dm);
        d.dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY;
        d.dm.dmOrientation = DMORIENT_PORTRAIT;
        d.dm.dmPaperSize = kPaperA4;
        d.dm.dmCopies = 1;
        d.dm.dmScale = 100;
        d.dm.dmPrintQuality = 600;
        SetPrivU32(d, priv::Signature, kPrivateSignature);
        SetPrivU32(d, priv::Version, kPrivateVersion);
        SetPrivU32(d, priv::EmfMode, spoolSide ? mode::SpoolSide : 0);
        return d;
    }

    // Plays the document into a new job; false when a step failed.
    bool Print(bool spoolSide) const {
        inkforge::DevmodeImage d = Devmode(spoolSide);
        HDC dc = CreateDCW(nullptr, kPrinter, nullptr, &d.dm);
        if (!dc) return false;
        DOCINFOW di{sizeof(DOCINFOW), u"Brochure", nullptr, nullptr, 0};
        bool ok = StartDocW(dc, &di) > 0;
        const RECT page{0, 0, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)};
        for (DWORD n = 0; ok && n < kPages; ++n) {
            ok = StartPage(dc) > 0;
            ok = ok && PlayEnhMetaFile(dc, pages_[n % pages_.size()], &page);
            ok = EndPage(dc) > 0 && ok;
        }
        ok = EndDoc(dc) > 0 && ok;
        DeleteDC(dc);
        return ok;
    }

    // The bytes of the document's pages as the application played them.
    size_t DocumentBytes() const {
        size_t sum = 0;
        for (DWORD n = 0; n < kPages; ++n)
            sum += pageBytes_[n % pageBytes_.size()];
        return sum;
    }

    // The spool folder and spool id of the package handed over last.
    bool LastPackage(std::u16string* spoolFolder, DWORD* spoolId) const {
        std::ifstream in(host_ + "/" + kHandOffFile, std::ios::binary);
        char record[268] = {};
        if (!in.read(record, sizeof record)) return false;
        std::memcpy(spoolId, record, sizeof *spoolId);
        std::string working(record + kHandOffWorkingFolder);
        *spoolFolder = spoolpkg::SpoolFolder(platform::FromUtf8(working));
        return *spoolId != 0;
    }

  private:
    std::string host_;
    std::vector<HENHMETAFILE> pages_;
    std::vector<size_t> pageBytes_;
};

Printer& ThePrinter() {
    static Printer p;
    return p;
}

size_t FileBytes(const std::u16string& path) {
    std::error_code ec;
    auto n = fs::file_size(platform::HostPath(path), ec);
    return ec ? 0 : static_cast<size_t>(n);
}

// The sizes of one package: its page files, its fonts (files and list), and
// everything (with the index).
struct PackageBytes {
    size_t pages = 0, fonts = 0, total = 0;
};
PackageBytes Measure(const std::u16string& spoolFolder, DWORD spoolId) {
    PackageBytes b;
    for (DWORD n = 1; n <= kPages; ++n)
        b.pages += FileBytes(spoolpkg::PagePath(spoolFolder, spoolId, n));
    b.fonts = FileBytes(spoolpkg::FontListPath(spoolFolder, spoolId));
    std::error_code ec;
    std::string folder = platform::HostPath(spoolpkg::PageFolder(spoolFolder, spoolId));
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string().rfind("F_", 0) == 0) b.fonts += e.file_size();
    b.total = b.pages + b.fonts + FileBytes(spoolpkg::IndexPath(spoolFolder, spoolId));
    return b;
}

PackageBytes gMeasured;

void SpoolSide(benchmark::State& state) {
    Printer& printer = ThePrinter();
    for (auto _ : state) {
        if (!printer.Print(true)) return state.SkipWithError("the spool-side job failed");
        state.PauseTiming();
        std::u16string folder;
        DWORD id = 0;
        if (!printer.LastPackage(&folder, &id)) return state.SkipWithError("no package");
        gMeasured = Measure(folder, id);
        spoolpkg::DeleteSpoolPackage(folder, id, kPages);
        state.ResumeTiming();
    }
    state.counters["pages"] = kPages;
}

void Direct(benchmark::State& state) {
    Printer& printer = ThePrinter();
    for (auto _ : state)
        if (!printer.Print(false)) return state.SkipWithError("the direct job failed");
    state.counters["pages"] = kPages;
}

BENCHMARK(SpoolSide)->Name("package/spool-side")->Unit(benchmark::kMillisecond);
BENCHMARK(Direct)->Name("package/direct")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    bench::OwnMachineRoot root("emf_package_bench");
    return testkit::RunWithRatios(
        argc, argv,
        {{"package/spool-side", "package/direct",
          "spool-side recording against the direct road, same pages"}},
        [](const testkit::RatioReporter& reporter) {
            if (double spool = reporter.Seconds("package/spool-side"))
                std::printf("spool-side recording: %.2f ms processor time per page (%u pages)\n",
                            1000.0 * spool / kPages, kPages);
            if (!gMeasured.total) return;
            size_t document = ThePrinter().DocumentBytes();
            std::printf("package: %zu bytes (page files %zu, fonts %zu): %.2f x the page files "
                        "and fonts; the page files %.2f x the %zu bytes of the pages the "
                        "application played\n",
                        gMeasured.total, gMeasured.pages, gMeasured.fonts,
                        static_cast<double>(gMeasured.total) / (gMeasured.pages + gMeasured.fonts),
                        static_cast<double>(gMeasured.pages) / document, document);
        });
}
