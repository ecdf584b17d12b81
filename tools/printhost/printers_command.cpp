// printhost printers, jobs and cancel: the printers of the machine root and
// their jobs, and cancelling a job from outside the program that prints it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/spool.h"

namespace printhost {
namespace {

namespace spl = platform::spooler;

std::string Utf8(const std::u16string& s) {
    return platform::ToUtf8(s);
}

std::string JobStatusText(DWORD status) {
    static const struct {
        DWORD bit;
        const char* name;
    } kBits[] = {{JOB_STATUS_PAUSED, "paused"},     {JOB_STATUS_ERROR, "error"},
                 {JOB_STATUS_DELETING, "deleting"}, {JOB_STATUS_SPOOLING, "spooling"},
                 {JOB_STATUS_PRINTING, "printing"}, {JOB_STATUS_PRINTED, "printed"},
                 {JOB_STATUS_DELETED, "deleted"},   {JOB_STATUS_RESTART, "restart"},
                 {JOB_STATUS_COMPLETE, "complete"}};
    std::string out;
    for (const auto& b : kBits)
        if (status & b.bit) out += (out.empty() ? "" : ",") + std::string(b.name);
    return out.empty() ? "queued" : out;
}

int Printers(const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "printhost printers: no arguments expected\n");
        return 2;
    }
    for (const auto& p : spl::Printers()) {
        spl::DriverRecord d;
        bool haveDriver = spl::FindDriver(p.driver, &d);
        size_t jobs = 0;
        for (const auto& j : spl::Jobs(p.name))
            if (!(j.status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED))) ++jobs;
        std::printf("%s\n", Utf8(p.server.empty() ? p.name : p.server + u"\\" + p.name).c_str());
        std::printf("  driver: %s%s\n", Utf8(p.driver).c_str(), haveDriver ? "" : " (missing)");
        std::printf("  port: %s\n", Utf8(p.port).c_str());
        std::printf("  attributes: 0x%08X\n", static_cast<unsigned>(p.attributes));
        std::printf("  device mode: %s\n",
                    p.devmode.empty() ? "none"
                                      : (std::to_string(p.devmode.size()) + " bytes").c_str());
        std::printf("  jobs: %zu\n", jobs);
        if (haveDriver) {
            std::printf("  driver file: %s\n", Utf8(d.driverPath).c_str());
            std::printf("  data file: %s\n", Utf8(d.dataFile).c_str());
            std::printf("  configuration file: %s\n", Utf8(d.configFile).c_str());
        }
    }
    return 0;
}

int JobsCommand(const Args& args) {
    if (args.size() > 1) {
        std::fprintf(stderr, "printhost jobs: at most one printer name\n");
        return 2;
    }
    std::u16string printer = args.empty() ? u"" : platform::FromUtf8(args[0]);
    for (const auto& j : spl::Jobs(printer))
        std::printf("%u\t%s\t%s\t%s\t%llu bytes\t%s\t%s\n", static_cast<unsigned>(j.id),
                    Utf8(j.printer).c_str(), Utf8(j.document).c_str(), Utf8(j.user).c_str(),
                    static_cast<unsigned long long>(j.size),
                    (JobStatusText(j.status) + (j.writerGone ? ",writer gone" : "")).c_str(),
                    j.outputPath.c_str());
    return 0;
}

int Cancel(const Args& args) {
    char* end = nullptr;
    unsigned long id = args.size() == 1 ? std::strtoul(args[0].c_str(), &end, 10) : 0;
    if (id == 0 || !end || *end) {
        std::fprintf(stderr, "printhost cancel: give one job number\n");
        return 2;
    }
    if (DWORD e = spl::CancelJob(static_cast<DWORD>(id))) {
        std::fprintf(stderr, "printhost cancel: no job %lu (error %u)\n", id,
                     static_cast<unsigned>(e));
        return 1;
    }
    return 0;
}

Command printersCmd{"printers", "", "list the installed printers", Printers};
Command jobsCmd{"jobs", "[PRINTER]", "list print jobs and where their output is", JobsCommand};
Command cancelCmd{"cancel", "JOB", "cancel a print job (its writer sees the cancel)", Cancel};

} // namespace
} // namespace printhost
