// libFuzzer harness over the parsing of Windows paths: drive letters, shares,
// "." and ".." components, separators of both kinds and names the system
// refuses. A mapped path never leaves the machine root (or, for Z:, the
// host's own root), and a path that maps maps back to a Windows path that
// maps to the same place.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/paths.h"
#include "platform/text.h"

namespace {

std::string gRoot;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/host-path-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    gRoot = dir;
    setenv("PRINTHOST_ROOT", dir, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string path;
    // Pairs of bytes are UTF-16 units.
    for (std::size_t i = 0; i + 1 < size; i += 2)
        path.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::string host = platform::HostPath(path);
    if (host.empty()) return 0;
    auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    // A drive path (but Z:, the host's own root) or a share stays under the machine root;
    // relative paths are taken from the current folder, wherever that is.
    auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Y') || (c >= u'a' && c <= u'y'); };
    bool drive = path.size() >= 3 && letter(path[0]) && path[1] == u':' && separator(path[2]);
    bool share = path.size() >= 3 && separator(path[0]) && separator(path[1]) && path[2] != u'?' &&
                 path[2] != u'.';
    if ((drive || share) && host.compare(0, gRoot.size(), gRoot) != 0) __builtin_trap();
    if (host.find("/../") != std::string::npos || host.ends_with("/..")) __builtin_trap();
    if (!drive && !share) return 0; // host paths pass through as they are
    // Only names the system can hold map back (no wildcards, quotes, pipes,
    // control characters or colons past the drive).
    for (size_t i = 0; i < path.size(); ++i) {
        char16_t c = path[i];
        if (c < 0x20 || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' ||
            c == u'|' || (c == u':' && i != 1))
            return 0;
    }
    std::u16string back = platform::WindowsPath(host);
    if (!back.empty() && platform::HostPath(back) != host) __builtin_trap();
    return 0;
}
