// printhost decode FILE: the printer stream of a .prn file or a job's spool
// file, listed frame by frame.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "command.h"
#include "streamdump/decoder.h"

namespace printhost {
namespace {

int Run(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "printhost decode: give one file\n");
        return 2;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "printhost decode: cannot read '%s'\n", args[0].c_str());
        return 1;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    streamdump::Decoding d = streamdump::Decode(bytes);
    std::fputs(streamdump::Format(d).c_str(), stdout);
    return d.problems ? 1 : 0;
}

Command cmd{"decode", "FILE", "list the UEL, PJL lines and frames of a printer stream file", Run};

} // namespace
} // namespace printhost
