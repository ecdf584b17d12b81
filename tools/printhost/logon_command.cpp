// printhost logon: a logon of the current user of the machine root, as far
// as the package meets it: the run-once commands (the clean-up program a
// spool-side job registers for its spool folder) run and are taken off.
#include <cstdio>

#include "command.h"
#include "platform/logon.h"
#include "platform/text.h"

namespace printhost {
namespace {

int Run(const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: printhost logon\n");
        return 2;
    }
    const auto ran = platform::RunLogon();
    if (ran.empty()) std::printf("no run-once commands\n");
    for (const auto& c : ran)
        std::printf("ran %s: %s (exit code %lu)\n", platform::ToUtf8(c.name).c_str(),
                    platform::ToUtf8(c.commandLine).c_str(),
                    static_cast<unsigned long>(c.exitCode));
    return 0;
}

Command cmd{"logon", "",
            "log the current user on: run (and take off) the user's run-once commands, as the "
            "system does at a logon",
            Run};

} // namespace
} // namespace printhost
