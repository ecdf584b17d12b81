// Subcommands of printhost register themselves here:
//   static printhost::Command cmd{"model", "FILE [CODE [INDEX [LAYOUT]]]", "answer model queries", Run};
#pragma once

#include <string>
#include <vector>

namespace printhost {

using Args = std::vector<std::string>;
// Returns the process exit code; prints errors to stderr itself.
using CommandFn = int (*)(const Args& args);

struct Command {
    Command(const char* name, const char* usage, const char* summary, CommandFn fn);
};

// The package files as the build assembled them (build/<preset>/driver), and the source tree.
std::string DriverDir();
std::string SourceDir();

} // namespace printhost
