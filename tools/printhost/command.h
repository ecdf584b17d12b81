// Subcommands of printhost register themselves here:
//   static printhost::Command cmd{"model", "FILE [CODE [INDEX [LAYOUT]]]", "answer model queries",
//   Run};
#pragma once

#include <cstdint>
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

// The whole of a regular file (a link is followed); false when it cannot be
// read, with why in `why` when given: a folder, a pipe, a device or a file
// larger than any the package reads is refused at once, never waited on.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* data,
                   std::string* why = nullptr);

// Why a path the command line names cannot be read as a file ("it is a pipe,
// not a file", or why it cannot be looked at), or "" for a regular file (a
// link is followed). It is looked at without being opened, so a pipe or a
// device is never waited on; ReadWholeFile refuses what this refuses.
std::string FileProblem(const std::string& path);
// The same for a file a command writes, which need not exist yet: "" when it
// is missing or a regular file.
std::string OutputFileProblem(const std::string& path);

// Why `data` (a whole file) is not model data the model library reads, or ""
// when it is.
std::string ModelDataProblem(const std::vector<std::uint8_t>& data);

} // namespace printhost
