#include "render_fixture.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "model_access.h"
#include "model_compiler.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform_testing/fault_table.h"
#include "test_support/printer_install.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/gdi_dc.h"
#include "win/spool.h"

namespace render_test {
namespace {

namespace spl = platform::spooler;

} // namespace

Bytes ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes SampleModel(const std::string& name) {
    Bytes b = ReadHostFile(std::string(PKG_MODELS_DIR) + "/" + name + ".DAT");
    if (b.empty()) throw std::runtime_error("missing sample model " + name);
    return b;
}

nlohmann::json SampleSource(const std::string& name) {
    return modelc::LoadSource(std::string(PKG_SOURCE_DIR) + "/samples/models/" + name + ".json");
}

nlohmann::json SourceWith(int format, const nlohmann::json& codes) {
    nlohmann::json source{{"format", format}, {"codes", codes}};
    if (!source["codes"].contains("7")) source["codes"]["7"] = SampleSource("CX5540")["codes"]["7"];
    return source;
}

Bytes Compile(const nlohmann::json& source) {
    return modelc::Compile(source);
}

void InstallPrinter(const std::u16string& name, const Bytes& model) {
    test_support::DriverFolderFiles files;
    files.built = {"Inkforge.DLL", "Modelsmith.DLL"};
    // The tone and JBIG libraries that banded pages load, where built (the
    // tests of turned bands bring the codec library themselves).
    files.builtIfPresent = {"TONEMILL.DLL", "Dotpacker.DLL"};
    files.dependentFiles = {"Modelsmith.DLL"};
    files.makeDefault = false;
    test_support::InstallPrinter(name, model, files);
}

inkforge::DevmodeImage OwnDevmode(const std::u16string& device) {
    inkforge::DevmodeImage d;
    std::memset(&d, 0, sizeof d);
    for (size_t i = 0; i < device.size() && i < 31; ++i)
        d.dm.dmDeviceName[i] = device[i];
    inkforge::StampHeader(d.dm);
    d.dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DUPLEX | DM_COLLATE;
    d.dm.dmOrientation = 1;
    d.dm.dmPaperSize = 9;
    d.dm.dmCopies = 1;
    d.dm.dmDuplex = 1;
    d.dm.dmScale = 100;
    d.dm.dmPrintQuality = 600;
    inkforge::SetPrivU32(d, inkforge::priv::Signature, inkforge::kPrivateSignature);
    inkforge::SetPrivU32(d, inkforge::priv::Version, inkforge::kPrivateVersion);
    inkforge::SetPrivU16(d, inkforge::priv::ResolutionCode, 2);
    return d;
}

Bytes JobOutput(DWORD jobId) {
    spl::JobRecord job;
    if (!spl::FindJob(jobId, &job)) return {};
    return ReadHostFile(job.outputPath);
}

JobResult PrintBlankPages(const std::u16string& printer, const DEVMODEW* devmode, int pages,
                          const std::u16string& doc) {
    JobResult r;
    HDC hdc = CreateDCW(nullptr, printer.c_str(), nullptr, devmode);
    EXPECT_NE(hdc, nullptr) << "CreateDC failed: " << GetLastError();
    if (!hdc) return r;
    DOCINFOW di{sizeof(DOCINFOW), doc.c_str(), nullptr, nullptr, 0};
    SetLastError(0);
    r.startDoc = StartDocW(hdc, &di);
    r.startDocError = GetLastError();
    if (r.startDoc > 0) {
        for (int i = 0; i < pages; ++i)
            if (StartPage(hdc) > 0 && EndPage(hdc) > 0) ++r.pagesOk;
        r.endDoc = EndDoc(hdc);
    }
    EXPECT_TRUE(DeleteDC(hdc));
    if (r.startDoc > 0) r.stream = JobOutput(static_cast<DWORD>(r.startDoc));
    return r;
}

TestDevice::TestDevice(const std::u16string& printer, bool startJob) {
    std::u16string name = printer;
    EXPECT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
    pdev_ = inkforge::AllocatePdev();
    pdev_->printer = printer_;
    inkforge::BindLibraries(printer_, &pdev_->sheetwright, &pdev_->modelsmith, &pdev_->modelData);
    pdev_->devmode = OwnDevmode(printer);
    pdev_->docStarted = 1;
    if (startJob) {
        DOC_INFO_1W di{const_cast<LPWSTR>(u"Unit"), nullptr, nullptr};
        job_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&di));
        EXPECT_NE(job_, 0u);
        open_ = job_ != 0;
    }
}

Bytes TestDevice::Finish() {
    if (!open_) return {};
    EndDocPrinter(printer_);
    open_ = false;
    return JobOutput(job_);
}

TestDevice::~TestDevice() {
    if (open_) EndDocPrinter(printer_);
    inkforge::FreePdev(pdev_);
    if (printer_) ClosePrinter(printer_);
}

std::vector<std::string> PjlLines(const streamdump::Decoding& d) {
    std::vector<std::string> lines;
    for (const auto& i : d.items)
        if (i.kind == streamdump::ItemKind::PjlLine) lines.push_back(i.text);
    return lines;
}

std::vector<std::string> Outline(const streamdump::Decoding& d, const Bytes& stream) {
    std::vector<std::string> out;
    for (const auto& i : d.items) {
        switch (i.kind) {
        case streamdump::ItemKind::Uel:
            out.push_back("UEL");
            break;
        case streamdump::ItemKind::PjlLine:
            out.push_back("PJL " + i.text);
            break;
        case streamdump::ItemKind::JobOpen:
            out.push_back("OPEN");
            break;
        case streamdump::ItemKind::JobClose:
            out.push_back("CLOSE");
            break;
        case streamdump::ItemKind::Frame: {
            std::string s(1, static_cast<char>(i.opcode));
            for (size_t k = 0; k < i.payloadSize && k < 16; ++k) {
                char buf[4];
                std::snprintf(buf, sizeof buf, " %02X", stream[i.offset + 4 + k]);
                s += buf;
            }
            out.push_back(s);
            break;
        }
        case streamdump::ItemKind::Bytes:
            out.push_back("BYTES " + i.problem);
            break;
        case streamdump::ItemKind::Token:
            out.push_back("TOKEN " + i.text);
            break;
        }
    }
    return out;
}

platform_testing::JobOutcome PrintDrawnJob(const DEVMODEW* devmode) {
    platform_testing::JobOutcome r;
    auto fail = [&](const char* step) {
        r.error = std::string(step) + " failed, error " + std::to_string(GetLastError());
        return r;
    };
    HDC hdc = CreateDCW(nullptr, u"P1", nullptr, devmode);
    if (!hdc) return fail("CreateDCW");
    DOCINFOW di{sizeof(DOCINFOW), u"Faults", nullptr, nullptr, 0};
    int job = StartDocW(hdc, &di);
    bool ok = job > 0;
    if (!ok) fail("StartDocW");
    for (int page = 0; ok && page < 2; ++page) {
        if (StartPage(hdc) <= 0) {
            fail("StartPage");
            ok = false;
            break;
        }
        LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
        HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
        HBRUSH brush = CreateBrushIndirect(&lb);
        HGDIOBJ oldPen = pen ? SelectObject(hdc, pen) : nullptr;
        HGDIOBJ oldBrush = brush ? SelectObject(hdc, brush) : nullptr;
        POINT line[3] = {{100, 100}, {600, 150}, {300, 700}};
        bool drawn = pen && brush && oldPen && oldBrush &&
                     Rectangle(hdc, 200, 200, 900, 800 + page * 100) && Polyline(hdc, line, 3);
        if (oldPen) SelectObject(hdc, oldPen);
        if (oldBrush) SelectObject(hdc, oldBrush);
        if (pen) DeleteObject(pen);
        if (brush) DeleteObject(brush);
        if (!drawn) {
            fail("drawing");
            ok = false;
            break;
        }
        if (EndPage(hdc) <= 0) {
            fail("EndPage");
            ok = false;
        }
    }
    if (ok && EndDoc(hdc) <= 0) {
        fail("EndDoc");
        ok = false;
    }
    if (!ok && job > 0) AbortDoc(hdc);
    DeleteDC(hdc);
    r.ok = ok;
    if (job > 0) {
        platform::spooler::JobRecord rec;
        bool known = platform::spooler::FindJob(static_cast<DWORD>(job), &rec);
        if (ok || (known && (rec.status & JOB_STATUS_PRINTED))) {
            Bytes stream = JobOutput(static_cast<DWORD>(job));
            r.output.assign(stream.begin(), stream.end());
        }
    }
    return r;
}

} // namespace render_test
