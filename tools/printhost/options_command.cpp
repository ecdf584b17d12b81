// printhost options: a printer's installed-option list (which optional units
// it has), and marking units as fitted, as a person does on the device page
// when the printer has a duplex unit or a finisher; --changed plays the port
// monitor reporting that the device's configuration changed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command.h"
#include "driver_env.h"
#include "install_option.h"
#include "model_codes.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/base.h"
#include "win/spool.h"

namespace printhost {
namespace {

using namespace sheetwright;

// "OPTION=VALUE": the option class and the unit's id within it.
bool ParseUnit(const std::string& text, WORD* option, WORD* value) {
    char* end = nullptr;
    unsigned long o = std::strtoul(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '=') return false;
    const char* v = end + 1;
    unsigned long u = std::strtoul(v, &end, 10);
    if (end == v || *end || o > 0xFFFF || u > 0xFFFF) return false;
    *option = static_cast<WORD>(o);
    *value = static_cast<WORD>(u);
    return true;
}

int Run(const Args& args) {
    if (args.empty()) {
        std::fprintf(stderr, "printhost options: give a printer name\n");
        return 2;
    }
    std::vector<std::string> installs;
    std::vector<std::string> changes;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--install" && i + 1 < args.size()) {
            installs.push_back(args[++i]);
        } else if (args[i] == "--changed" && i + 1 < args.size()) {
            changes.push_back(args[++i]);
        } else {
            std::fprintf(stderr, "printhost options: unexpected '%s'\n", args[i].c_str());
            return 2;
        }
    }
    std::u16string name = platform::FromUtf8(args[0]);
    // The driver hears each change (the option key it names) before the
    // list is read.
    for (const std::string& key : changes)
        if (DWORD e = platform::spooler::NotifyConfigurationChange(name, platform::FromUtf8(key))) {
            std::fprintf(stderr, "printhost options: no printer '%s' (error %lu)\n",
                         args[0].c_str(), static_cast<unsigned long>(e));
            return 1;
        }
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name.data(), &printer, installs.empty() ? nullptr : &access)) {
        std::fprintf(stderr, "printhost options: no printer '%s'\n", args[0].c_str());
        return 1;
    }
    int status = 1;
    ModelBlock block{nullptr, LoadDriverDataFile(printer)};
    if (block.modelData)
        block.modelsmith = LoadDriverModule(printer, block.modelData, kSelectModelsmith);
    if (!block.modelsmith) {
        std::fprintf(stderr, "printhost options: the printer's model data cannot be read\n");
    } else {
        CInstallOption options(printer, &block);
        ModelOptionPair pair{&block, &options};
        bool ok = true;
        for (const std::string& text : installs) {
            WORD option = 0, value = 0;
            InstallOptionEntry* e = nullptr;
            if (!ParseUnit(text, &option, &value) || !(e = options.Find(option, value))) {
                std::fprintf(stderr, "printhost options: the printer has no optional unit '%s'\n",
                             text.c_str());
                ok = false;
                break;
            }
            // A finisher brings its punch and fold units with it.
            if (option == kOptionFinisher)
                ok = MarkFinisherInstalled(&pair, value, 1, 1) != FALSE;
            else
                e->state = 1;
        }
        DWORD written = ok && !installs.empty() ? options.Write() : 0;
        if (written) {
            std::fprintf(stderr, "printhost options: the list cannot be stored (%lu)\n",
                         static_cast<unsigned long>(written));
        } else if (ok) {
            std::printf("option value  state\n");
            for (DWORD i = 0; i < options.Count(); ++i) {
                const InstallOptionEntry& e = options.Entries()[i];
                std::printf("%6u %5u  %s\n", e.optionId, e.value, e.state & 1 ? "installed" : "-");
            }
            status = 0;
        }
        FreeLibrary(block.modelsmith);
    }
    if (block.modelData) GlobalFree(block.modelData);
    ClosePrinter(printer);
    return status;
}

Command cmd{"options", "PRINTER [--install OPTION=VALUE ...] [--changed OPTION-KEY ...]",
            "list a printer's optional units; --install marks one fitted (as the device page "
            "does); --changed reports the device's configuration changed at that option key",
            Run};

} // namespace
} // namespace printhost
