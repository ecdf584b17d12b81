// Recording a job into the spool package through the driver: a 100-page
// document played by the application into a device context of the real
// graphics library whose device mode asks for the spool-side road, so that
// every page goes through the engine's hooks into the recorder and the
// package, as a real job does. The brochure's two vector pages repeated, and
// a letter whose text brings its fonts into the package. Per page, against
// printing the same pages on the direct road (drawing tokens into the printer
// stream) in the same run; and the package's size against its page files and
// fonts, and against the pages the application played.
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

// The documents, each of its sample pages repeated: the brochure's vector
// pages, and a letter whose text brings its fonts into the package.
enum Document { kBrochure = 0, kLetter = 1, kDocuments = 2 };
constexpr const char* kDocumentNames[kDocuments] = {"brochure", "letter"};

std::vector<std::vector<BYTE>> SamplePages(Document document) {
    auto docs = emfgen::SampleDocuments();
    if (document == kLetter) return {docs.at("text/letter.emf")};
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
        for (int doc = 0; doc < kDocuments; ++doc)
            for (const auto& bits : SamplePages(static_cast<Document>(doc))) {
                pages_[doc].push_back(
                    SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data()));
                pageBytes_[doc].push_back(bits.size());
            }
    }
    ~Printer() {
        for (const auto& pages : pages_)
            for (HENHMETAFILE m : pages)
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
    bool Print(Document document, bool spoolSide) const {
        const std::vector<HENHMETAFILE>& pages = pages_[document];
        inkforge::DevmodeImage d = Devmode(spoolSide);
        HDC dc = CreateDCW(nullptr, kPrinter, nullptr, &d.dm);
        if (!dc) return false;
        DOCINFOW di{sizeof(DOCINFOW), u"Brochure", nullptr, nullptr, 0};
        bool ok = StartDocW(dc, &di) > 0;
        const RECT page{0, 0, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES)};
        for (DWORD n = 0; ok && n < kPages; ++n) {
            ok = StartPage(dc) > 0;
            ok = ok && PlayEnhMetaFile(dc, pages[n % pages.size()], &page);
            ok = EndPage(dc) > 0 && ok;
        }
        ok = EndDoc(dc) > 0 && ok;
        DeleteDC(dc);
        return ok;
    }

    // The bytes of the document's pages as the application played them.
    size_t DocumentBytes(Document document) const {
        const std::vector<size_t>& bytes = pageBytes_[document];
        size_t sum = 0;
        for (DWORD n = 0; n < kPages; ++n)
            sum += bytes[n % bytes.size()];
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
    std::vector<HENHMETAFILE> pages_[kDocuments];
    std::vector<size_t> pageBytes_[kDocuments];
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

PackageBytes gMeasured[kDocuments];

void SpoolSide(benchmark::State& state, Document document) {
    Printer& printer = ThePrinter();
    for (auto _ : state) {
        if (!printer.Print(document, true)) return state.SkipWithError("the spool-side job failed");
        state.PauseTiming();
        std::u16string folder;
        DWORD id = 0;
        if (!printer.LastPackage(&folder, &id)) return state.SkipWithError("no package");
        gMeasured[document] = Measure(folder, id);
        spoolpkg::DeleteSpoolPackage(folder, id, kPages);
        state.ResumeTiming();
    }
    state.counters["pages"] = kPages;
}

void Direct(benchmark::State& state, Document document) {
    Printer& printer = ThePrinter();
    for (auto _ : state)
        if (!printer.Print(document, false)) return state.SkipWithError("the direct job failed");
    state.counters["pages"] = kPages;
}

BENCHMARK_CAPTURE(SpoolSide, brochure, kBrochure)
    ->Name("brochure/spool-side")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Direct, brochure, kBrochure)
    ->Name("brochure/direct")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SpoolSide, letter, kLetter)
    ->Name("letter/spool-side")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Direct, letter, kLetter)->Name("letter/direct")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    bench::OwnMachineRoot root("emf_package_bench");
    std::vector<testkit::Ratio> ratios;
    for (const char* name : kDocumentNames)
        ratios.push_back({std::string(name) + "/spool-side", std::string(name) + "/direct",
                          std::string(name) + ": spool-side recording against the direct road"});
    return testkit::RunWithRatios(argc, argv, ratios, [](const testkit::RatioReporter& reporter) {
        for (int d = 0; d < kDocuments; ++d) {
            const std::string name = kDocumentNames[d];
            if (double spool = reporter.Seconds(name + "/spool-side"))
                std::printf("%s: spool-side recording %.2f ms processor time per page (%u pages)\n",
                            name.c_str(), 1000.0 * spool / kPages, kPages);
            const PackageBytes& m = gMeasured[d];
            if (!m.total) continue;
            size_t document = ThePrinter().DocumentBytes(static_cast<Document>(d));
            std::printf("%s: package %zu bytes (page files %zu, fonts %zu): %.2f x the page files "
                        "and fonts; the page files %.2f x the %zu bytes of the pages the "
                        "application played\n",
                        name.c_str(), m.total, m.pages, m.fonts,
                        static_cast<double>(m.total) / (m.pages + m.fonts),
                        static_cast<double>(m.pages) / document, document);
        }
    });
}
