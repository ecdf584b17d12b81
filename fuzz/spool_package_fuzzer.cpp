// The spool package's index and font list come back from disk, where another
// process or a damaged disk may have left anything: the reader must take any
// bytes without reading outside them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    spoolpkg::PackageIndex index;
    std::string error;
    if (spoolpkg::ReadPackageIndex(data, size, &index, &error)) {
        for (const auto& r : index.records)
            if (r.offset + r.size > size) __builtin_trap();
        if (index.pageCount > index.pagePaths.size()) __builtin_trap();
    }
    std::vector<spoolpkg::FontEntry> fonts;
    spoolpkg::ReadFontList(data, size, &fonts, &error);
    return 0;
}
