// printhost: installs printers, prints, shows settings and asks devices, with
// the package running on the stand-in platform.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "command.h"

namespace printhost {
namespace {

struct Entry {
    const char* usage;
    const char* summary;
    CommandFn fn;
};

std::map<std::string, Entry>& Commands() {
    static std::map<std::string, Entry> commands;
    return commands;
}

void Usage(FILE* out) {
    std::fprintf(out, "usage: printhost COMMAND [ARGS]\n\ncommands:\n");
    for (const auto& [name, e] : Commands())
        std::fprintf(out, "  %s %s\n      %s\n", name.c_str(), e.usage, e.summary);
    std::fprintf(out, "\nThe machine root is $PRINTHOST_ROOT.\n");
}

} // namespace

Command::Command(const char* name, const char* usage, const char* summary, CommandFn fn) {
    Commands()[name] = Entry{usage, summary, fn};
}

std::string DriverDir() {
    const char* env = std::getenv("PRINTHOST_DRIVER_DIR");
    return env && *env ? env : PKG_DRIVER_DIR;
}

std::string SourceDir() {
    return PKG_SOURCE_DIR;
}

} // namespace printhost

int main(int argc, char** argv) {
    using namespace printhost;
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    auto it = Commands().find(argv[1]);
    if (it == Commands().end()) {
        std::fprintf(stderr, "printhost: unknown command '%s'\n\n", argv[1]);
        Usage(stderr);
        return 2;
    }
    Args args(argv + 2, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage: printhost %s %s\n    %s\n", argv[1], it->second.usage,
                    it->second.summary);
        return 0;
    }
    return it->second.fn(args);
}
