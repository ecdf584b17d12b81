// A physical device writing into an open job of a printer whose spooler
// discards job output, for the benchmarks of what reaches the stream; and a
// machine root of the benchmark's own, so that its printer stays out of the
// user's.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pdev.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "win/base.h"
#include "win/spool.h"

namespace bench {

class OwnMachineRoot {
  public:
    explicit OwnMachineRoot(const std::string& name) {
        root_ = "/tmp/" + name + ".XXXXXX";
        own_ = !std::getenv("PRINTHOST_ROOT") && mkdtemp(root_.data());
        if (own_) setenv("PRINTHOST_ROOT", root_.c_str(), 1);
    }
    ~OwnMachineRoot() {
        std::error_code ec;
        if (own_) std::filesystem::remove_all(root_, ec);
    }
    OwnMachineRoot(const OwnMachineRoot&) = delete;
    OwnMachineRoot& operator=(const OwnMachineRoot&) = delete;

  private:
    std::string root_;
    bool own_ = false;
};

// A physical device writing into an open job of a printer whose spooler
// discards job output; or, made with toFile, into a job whose bytes go to its
// spool file as a real job's do (Restart begins a new job, its file gone, so
// that a long run does not fill the disk).
class Sink {
  public:
    explicit Sink(bool toFile = false) : toFile_(toFile) {
        namespace spl = platform::spooler;
        spl::AddPort({u"LPT1:", u"Local Port", u""});
        spl::DriverRecord d;
        d.name = u"Bench";
        d.driverPath = u"C:\\Drivers\\Inkforge.DLL";
        d.dataFile = u"C:\\Drivers\\MODEL.DAT";
        spl::AddDriver(d);
        spl::PrinterRecord p;
        p.name = u"Bench";
        p.port = u"LPT1:";
        p.driver = u"Bench";
        spl::AddPrinter(p, false);
        std::u16string name = u"Bench";
        OpenPrinterW(name.data(), &printer_, nullptr);
        pdev_ = inkforge::AllocatePdev();
        pdev_->printer = printer_;
        pdev_->docStarted = 1;
        StartJob();
    }
    ~Sink() {
        inkforge::FreePdev(pdev_);
        EndJob();
        ClosePrinter(printer_);
    }
    inkforge::PDEV* pdev() { return pdev_; }
    bool ok() const { return pdev_ && printer_ && job_; }
    // The job's output so far ends, and a new job begins.
    void Restart() {
        EndJob();
        StartJob();
    }

  private:
    void StartJob() {
        // Whether a job keeps its bytes is settled when it starts.
        platform::spooler::test::DiscardJobOutput(!toFile_);
        DOC_INFO_1W di{const_cast<LPWSTR>(u"Bench"), nullptr, nullptr};
        job_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&di));
        platform::spooler::test::DiscardJobOutput(false);
    }
    void EndJob() {
        if (!job_) return;
        EndDocPrinter(printer_);
        if (toFile_) {
            char name[48];
            std::snprintf(name, sizeof name, "C:\\Windows\\System32\\spool\\PRINTERS\\%05u.SPL",
                          static_cast<unsigned>(job_));
            std::error_code ec;
            std::filesystem::remove(platform::HostPathUtf8(name), ec);
        }
        job_ = 0;
    }

    bool toFile_;
    HANDLE printer_ = nullptr;
    DWORD job_ = 0;
    inkforge::PDEV* pdev_ = nullptr;
};

inline Sink& TheSink() {
    static Sink sink;
    return sink;
}

inline Sink& TheFileSink() {
    static Sink sink(true);
    return sink;
}

} // namespace bench
