// streamdump FILE: lists what a printer stream file holds, frame by frame.
// Exit status 0 when everything was understood, 1 when something was not,
// 2 when the file cannot be read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "streamdump/decoder.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr, "usage: streamdump FILE\n");
        return argc == 2 ? 0 : 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "streamdump: cannot read '%s'\n", argv[1]);
        return 2;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    streamdump::Decoding d = streamdump::Decode(bytes);
    std::fputs(streamdump::Format(d).c_str(), stdout);
    return d.problems ? 1 : 0;
}
