// printhost decode [--png PREFIX] FILE: the printer stream of a .prn file or
// a job's spool file, listed frame by frame; with --png, each page's vector
// content is also drawn into PREFIX-1.png, PREFIX-2.png, ...
#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command.h"
#include "streamdump/decoder.h"
#include "streamdump/page_pictures.h"
#include "win/errors.h"

namespace printhost {
namespace {

// The renderer library, which the build puts beside the platform library.
// Named by its full path: a sanitizer's dlopen would look in its own run
// path instead of printhost's.
std::string RendererPath() {
    Dl_info platform{};
    if (!dladdr(reinterpret_cast<void*>(&GetLastError), &platform) || !platform.dli_fname)
        return "libstreamrender.so";
    std::string path = platform.dli_fname;
    size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "libstreamrender.so";
}

// Draws each page into PREFIX-N.png through the renderer library, loaded
// only here (it brings cairo); false when a file could not be written.
bool WritePages(const std::string& prefix, const std::vector<std::uint8_t>& bytes) {
    void* renderer = dlopen(RendererPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    auto write = renderer ? reinterpret_cast<PFN_StreamdumpWritePagePictures>(
                                dlsym(renderer, "StreamdumpWritePagePictures"))
                          : nullptr;
    if (!write) {
        std::fprintf(stderr, "printhost decode: cannot load the page renderer: %s\n", dlerror());
        return false;
    }
    // The library stays loaded: the process ends after the command.
    return write(prefix.c_str(), bytes.data(), bytes.size()) == 0;
}

// Whether the decoder found any of a printer stream's parts: the UEL, a PJL
// line, the job's raw sequences or a frame.
bool HoldsAStream(const streamdump::Decoding& d) {
    for (const streamdump::Item& item : d.items)
        if (item.kind != streamdump::ItemKind::Bytes && item.kind != streamdump::ItemKind::Token)
            return true;
    return false;
}

int Run(const Args& argsIn) {
    Args args = argsIn;
    std::string pngPrefix;
    if (!args.empty() && args[0] == "--png") {
        if (args.size() < 2 || args[1].empty()) {
            std::fprintf(stderr, "printhost decode: --png needs a file name prefix\n");
            return 2;
        }
        pngPrefix = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "printhost decode: give one file\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!ReadWholeFile(args[0], &bytes, &why)) {
        std::fprintf(stderr, "printhost decode: cannot read '%s': %s\n", args[0].c_str(),
                     why.c_str());
        return 1;
    }
    streamdump::Decoding d = streamdump::Decode(bytes);
    std::fputs(streamdump::Format(d).c_str(), stdout);
    if (!HoldsAStream(d)) {
        std::fprintf(
            stderr,
            "printhost decode: '%s' is not a printer stream (no UEL, PJL line or frame in it)\n",
            args[0].c_str());
        return 1;
    }
    if (!pngPrefix.empty() && !WritePages(pngPrefix, bytes)) return 1;
    return d.problems ? 1 : 0;
}

Command cmd{"decode", "[--png PREFIX] FILE",
            "list the UEL, PJL lines and frames of a printer stream file; --png draws each page",
            Run};

} // namespace
} // namespace printhost
