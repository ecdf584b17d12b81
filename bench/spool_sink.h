// A physical device writing into an open job of a printer whose spooler
// discards job output, for the benchmarks of what reaches the stream; and a
// machine root of the benchmark's own, so that its printer stays out of the
// user's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pdev.h"
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
// discards job output.
class Sink {
  public:
    Sink() {
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
        spl::test::DiscardJobOutput(true);
        std::u16string name = u"Bench";
        OpenPrinterW(name.data(), &printer_, nullptr);
        DOC_INFO_1W di{const_cast<LPWSTR>(u"Bench"), nullptr, nullptr};
        StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&di));
        pdev_ = inkforge::AllocatePdev();
        pdev_->printer = printer_;
        pdev_->docStarted = 1;
    }
    ~Sink() {
        inkforge::FreePdev(pdev_);
        EndDocPrinter(printer_);
        ClosePrinter(printer_);
    }
    inkforge::PDEV* pdev() { return pdev_; }
    bool ok() const { return pdev_ && printer_; }

  private:
    HANDLE printer_ = nullptr;
    inkforge::PDEV* pdev_ = nullptr;
};

inline Sink& TheSink() {
    static Sink sink;
    return sink;
}

} // namespace bench
