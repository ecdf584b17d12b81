// Helpers of the graphics core tests: printers whose driver is the built
// Inkforge with a sample or custom model, device-mode images, jobs run
// through the platform's device-context life cycle, and physical devices made
// directly for the inner functions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pdev.h"
#include "platform_testing/fault_table.h"
#include "streamdump/decoder.h"
#include "win/gdi.h"

namespace render_test {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadHostFile(const std::string& path);
Bytes SampleModel(const std::string& name);
nlohmann::json SampleSource(const std::string& name);
// A model source with only the given codes (and the component table of the samples).
nlohmann::json SourceWith(int format, const nlohmann::json& codes);
Bytes Compile(const nlohmann::json& source);

// Installs printer `name` on LPT1: with Inkforge and Modelsmith copied into
// its own driver folder and the model data file beside them.
void InstallPrinter(const std::u16string& name, const Bytes& model);

// The driver's own 1320-byte device mode with a signed, otherwise empty
// private block; fields are set by the caller.
inkforge::DevmodeImage OwnDevmode(const std::u16string& device = u"P1");

struct JobResult {
    int startDoc = 0;
    DWORD startDocError = 0;
    int pagesOk = 0;
    int endDoc = 0;
    Bytes stream;
};

// Prints two pages with a few drawing calls on P1 with the given device mode
// (null: the printer's default) for a fault table: on the first failing step
// it aborts the document the way an application does and says which step
// failed; the output is the job's stream when it reported success or the
// spooler holds it as printed.
platform_testing::JobOutcome PrintDrawnJob(const DEVMODEW* devmode = nullptr);

// Creates a device context for the printer with the given device mode (null:
// the printer's default), prints `pages` blank pages as document `doc` and
// returns the bytes that reached the spooler.
JobResult PrintBlankPages(const std::u16string& printer, const DEVMODEW* devmode, int pages,
                          const std::u16string& doc = u"Report");

// The bytes the spooler kept for a job.
Bytes JobOutput(DWORD jobId);

// A physical device on an open printer, for the inner functions: made with
// the model data and libraries bound, and an open spooler job to write into.
class TestDevice {
  public:
    explicit TestDevice(const std::u16string& printer, bool startJob = true);
    ~TestDevice();
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    inkforge::PDEV* operator->() const { return pdev_; }
    inkforge::PDEV* get() const { return pdev_; }
    DWORD job() const { return job_; }
    // Ends the spooler job and returns its bytes.
    Bytes Finish();

  private:
    HANDLE printer_ = nullptr;
    inkforge::PDEV* pdev_ = nullptr;
    DWORD job_ = 0;
    bool open_ = false;
};

// The stream text of a decoding's PJL lines, in order.
std::vector<std::string> PjlLines(const streamdump::Decoding& d);
// A compact listing of a decoding: "UEL", "PJL <text>", "OPEN", "CLOSE", or
// the frame opcode letter followed by its payload bytes in hex.
std::vector<std::string> Outline(const streamdump::Decoding& d, const Bytes& stream);

} // namespace render_test
