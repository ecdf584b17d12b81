// printhost device: asks a printer's device through the package's device
// libraries (Devprobe, Gatekeep, Tallyport), from the printer's port, and
// shows the answers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "command.h"
#include "devcomm/devprobe.h"
#include "devcomm/gatekeep.h"
#include "devcomm/tallyport.h"
#include "platform/loader_ctl.h"
#include "platform/net_ctl.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/base.h"

namespace printhost {
namespace {

namespace spl = platform::spooler;

class Library {
  public:
    explicit Library(const char16_t* name) : module_(LoadLibraryW(name)) {}
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    explicit operator bool() const { return module_ != nullptr; }
    template <class Fn> Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

  private:
    HMODULE module_;
};

struct Libraries {
    Library devprobe{u"Devprobe.DLL"}, gatekeep{u"Gatekeep.DLL"}, tallyport{u"Tallyport.DLL"};
};

std::string Text(const Libraries& l, const char* name, SelPortInfo* info) {
    auto query = l.devprobe.Get<PFN_MPGetText>(name);
    WORD needed = 0;
    if (!query) return "(no such export)";
    query(info, 0, nullptr, &needed);
    std::vector<char> text(static_cast<std::size_t>(needed) + 1, '\0');
    if (!query(info, static_cast<int>(needed), text.data(), &needed)) return "none";
    return text.data();
}

std::string Trays(const Libraries& l, const char* name, SelPortInfo* info) {
    auto query = l.devprobe.Get<PFN_MPGetTrays>(name);
    if (!query) return "(no such export)";
    WORD needed = 0;
    query(info, 0, nullptr, &needed);
    std::vector<TrayInfo> trays(needed / sizeof(TrayInfo));
    if (trays.empty() || !query(info, needed, trays.data(), &needed)) return "none";
    std::string out;
    for (const TrayInfo& t : trays) {
        out += "\n    " + (t.found ? std::string(t.name) : std::string("(unnamed)"));
        out += ", " + (t.maxCapacity ? std::to_string(t.maxCapacity) + " sheets"
                                     : std::string("capacity unknown"));
    }
    return out;
}

const char* ResultText(SHORT code) {
    switch (code) {
    case PRECHECK_RESULT_NONE:
        return "nothing to report";
    case PRECHECK_RESULT_PAPER_EMPTY:
        return "the tray's paper is empty";
    case PRECHECK_RESULT_TRAY_MISSING:
        return "the tray is missing";
    case PRECHECK_RESULT_JAM:
        return "paper jam";
    case PRECHECK_RESULT_ATTENTION:
        return "the device needs attention";
    case PRECHECK_RESULT_TONER_EMPTY_NO_COLORANT:
        return "toner empty";
    case PRECHECK_RESULT_FAILED:
        return "the device has failed";
    case PRECHECK_RESULT_TONER:
        return "toner empty or cartridge missing";
    default:
        return "?";
    }
}

const char* StatusText(SHORT status) {
    static const char* names[] = {"", "unknown", "running", "warning", "testing", "down"};
    return status >= 1 && status <= 5 ? names[status] : "?";
}

std::string PreCheck(const Libraries& l, SelPortInfo* info, SHORT paper, SHORT tray) {
    auto check = l.gatekeep.Get<PFN_MPPreCheck>("MPPreCheck");
    if (!check) return "(Gatekeep.DLL not found)";
    PreCheckRequest request{paper, tray};
    PreCheckResult r{};
    char line[256];
    if (WORD rc = check(info, &request, &r)) {
        std::snprintf(line, sizeof line, "failed (0x%04X%s)", rc,
                      rc == PRECHECK_BAD_ARGUMENT        ? ": bad argument"
                      : rc == PRECHECK_UNEXPECTED_ANSWER ? ": unexpected device status"
                                                         : ": the device could not be asked");
        return line;
    }
    std::snprintf(line, sizeof line,
                  "status %d (%s), result %d (%s), tray missing %d, tray paper %d", r.status,
                  StatusText(r.status), r.resultCode, ResultText(r.resultCode), r.trayMissing,
                  r.trayPaper);
    return line;
}

std::string Deptcode(const Libraries& l, SelPortInfo* info) {
    auto ask = l.tallyport.Get<PFN_MPDeptcode>("MPDeptcode");
    if (!ask) return "(Tallyport.DLL not found)";
    SHORT mode = DEPTCODE_MODE_MANAGED, managed = -1, counted = -1;
    // What a failed answer says: the device gave no usable answer, or gave a
    // value of another type than the object has.
    auto failure = [](WORD rc) {
        return rc == DEPTCODE_UNEXPECTED_ANSWER
                   ? "the device answered with a value of the wrong type"
               : rc == DEPTCODE_BAD_ARGUMENT ? "bad argument"
                                             : "the device could not be asked";
    };
    if (WORD rc = ask(info, &mode, &managed)) {
        char line[128];
        std::snprintf(line, sizeof line, "failed (0x%04X): %s", rc, failure(rc));
        return line;
    }
    if (managed < 0) return "not asked (no network device)";
    if (managed == DEPTCODE_ANSWER_NO) return "not managed";
    mode = DEPTCODE_MODE_COUNTED;
    if (WORD rc = ask(info, &mode, &counted))
        return std::string("managed; a counted job: ") + failure(rc);
    return counted == DEPTCODE_ANSWER_NO ? "managed; counted jobs may print"
                                         : "managed; counted jobs are refused";
}

struct Query {
    const char* name;
    const char* label;
    std::function<std::string(const Libraries&, SelPortInfo*)> ask;
};

std::vector<Query> Queries(SHORT paper, SHORT tray) {
    auto unit = [](const char* name) {
        return [name](const Libraries& l, SelPortInfo* info) {
            auto q = l.devprobe.Get<PFN_MPGetUnit>(name);
            return q ? std::to_string(q(info)) : std::string("(no such export)");
        };
    };
    auto count = [](const char* name) {
        return [name](const Libraries& l, SelPortInfo* info) {
            auto q = l.devprobe.Get<PFN_MPGetCount>(name);
            return q ? std::to_string(q(info)) : std::string("(no such export)");
        };
    };
    return {
        {"description", "description",
         [](const Libraries& l, SelPortInfo* i) { return Text(l, "MPGetSysDescr", i); }},
        {"memory", "memory (KB)", unit("MPGetMemSize")},
        {"hdd", "hard disk", unit("MPGetHddUnit")},
        {"duplex", "duplex unit", unit("MPGetDupUnit")},
        {"spooler", "spooler", unit("MPGetSpoolerType")},
        {"punch", "punch", unit("MPGetPunchCap")},
        {"finisher", "finisher",
         [](const Libraries& l, SelPortInfo* i) { return Text(l, "MPGetFinisherUnit", i); }},
        {"trays", "input trays", count("MPGetMaxTray")},
        {"tray-info", "input tray records",
         [](const Libraries& l, SelPortInfo* i) { return Trays(l, "MPGetTrayInfo", i); }},
        {"bins", "output bins", count("MPGetMaxOutputTray")},
        {"bin-info", "output bin records",
         [](const Libraries& l, SelPortInfo* i) { return Trays(l, "MPGetOutputTrayInfo", i); }},
        {"precheck", "pre-print check",
         [paper, tray](const Libraries& l, SelPortInfo* i) { return PreCheck(l, i, paper, tray); }},
        {"deptcode", "department codes", Deptcode},
    };
}

bool Number(const std::string& text, long low, long high, long* value) {
    char* end = nullptr;
    *value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end && !*end && *value >= low && *value <= high;
}

int Device(const Args& args) {
    std::string printer, query;
    long paper = 6, tray = 0, agentPort = 0; // A4 from any tray
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool more = i + 1 < args.size();
        if (a == "--paper" && more && Number(args[i + 1], 0, PRECHECK_MAX_PAPER, &paper))
            ++i;
        else if (a == "--tray" && more && Number(args[i + 1], 0, PRECHECK_MAX_TRAY, &tray))
            ++i;
        else if (a == "--agent-port" && more && Number(args[i + 1], 1, 65535, &agentPort))
            ++i;
        else if (a.rfind("--", 0) != 0 && printer.empty())
            printer = a;
        else if (a.rfind("--", 0) != 0 && query.empty())
            query = a;
        else {
            std::fprintf(stderr, "printhost device: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    const auto queries = Queries(static_cast<SHORT>(paper), static_cast<SHORT>(tray));
    bool known = query.empty();
    for (const Query& q : queries)
        known = known || query == q.name;
    if (printer.empty() || !known) {
        std::fprintf(stderr, "printhost device: give a printer name%s; queries:",
                     known ? "" : " and a known query");
        for (const Query& q : queries)
            std::fprintf(stderr, " %s", q.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::u16string port;
    bool found = false;
    for (const auto& p : spl::Printers())
        if (platform::EqualsNoCase(p.name, platform::FromUtf8(printer)))
            port = p.port, found = true;
    if (!found) {
        std::fprintf(stderr, "printhost device: no printer '%s'\n", printer.c_str());
        return 1;
    }
    // A device's agent on a loopback port of its own (a sample device) stands in for port 161.
    if (agentPort) platform::test::RedirectUdpPort(161, static_cast<std::uint16_t>(agentPort));

    platform::loader::AddSearchFolder(DriverDir());
    Libraries libraries;
    if (!libraries.devprobe) {
        std::fprintf(stderr, "printhost device: Devprobe.DLL not found in %s\n",
                     DriverDir().c_str());
        return 1;
    }
    const std::string portName = platform::ToUtf8(port);
    auto make = libraries.devprobe.Get<PFN_MPMakeSelPortInfo>("MPMakeSelPortInfo");
    SelPortInfo* info = make ? make(portName.c_str(), 0) : nullptr;
    if (!info) {
        std::fprintf(stderr, "printhost device: port %s reaches no device that can be asked\n",
                     portName.c_str());
        return 1;
    }
    std::printf("printer: %s\nport: %s (%s%s)\n", printer.c_str(), portName.c_str(),
                info->connection == SELPORT_CONNECTION_NETWORK ? "network, " : "USB",
                info->connection == SELPORT_CONNECTION_NETWORK ? info->address : "");
    for (const Query& q : queries)
        if (query.empty() || query == q.name)
            std::printf("%s: %s\n", q.label, q.ask(libraries, info).c_str());
    GlobalFree(info);
    return 0;
}

Command cmd{"device", "PRINTER [QUERY] [--paper CODE] [--tray CODE] [--agent-port PORT]",
            "ask the printer's device through the package (all queries, or one); --agent-port "
            "sends port 161 to a "
            "sample device's agent on the loopback",
            Device};

} // namespace
} // namespace printhost
