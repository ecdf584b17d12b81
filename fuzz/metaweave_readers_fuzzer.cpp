// libFuzzer harness over Metaweave's readers of outside bytes. The first
// byte chooses the reader (the spooler's shadow file of each layout, its
// spool file of each system, the overlay file, the spool package's index,
// a wide device mode, the spool file of Windows 9x); the second gives the
// page count a spool walk stops at.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "overlay_file.h"
#include "package_reader.h"
#include "spool_copies.h"

using namespace metaweave;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t which = data[0] % 9, pages = data[1];
    data += 2;
    size -= 2;
    std::string error;
    const SpoolerKind kinds[] = {SpoolerKind::NT4, SpoolerKind::Win2000, SpoolerKind::XP};
    switch (which) {
    case 0:
    case 1: {
        ShadowInfo info;
        ReadShadowFile(data, size, which ? SpoolerKind::XP : SpoolerKind::NT4, &info, &error);
        break;
    }
    case 2:
    case 3:
    case 4: {
        SpoolContents c;
        const std::vector<uint8_t> first(156 + 1100, 0);
        const SpoolerKind kind = kinds[which - 2];
        if (ReadSpoolFile(data, size, kind, first, pages, &c, &error)) {
            for (const auto& p : c.pages) {
                const uint8_t* bits = nullptr;
                size_t n = 0;
                if (!PageRecordBits(data, size, p.recordOffset, &bits, &n, &error) || bits < data ||
                    bits + n > data + size || p.devmode >= c.devmodes.size())
                    __builtin_trap();
            }
        }
        break;
    }
    case 5: {
        OverlayHeader h;
        const uint8_t* bits = nullptr;
        size_t n = 0;
        if (ReadOverlayFile(data, size, &h, &bits, &n, &error) &&
            (bits < data || bits + n > data + size))
            __builtin_trap();
        break;
    }
    case 6: {
        spoolpkg::PackageIndex index;
        ReadPackageIndex(data, size, &index, &error);
        break;
    }
    case 8: {
        Win9xContents c;
        if (ReadWin9xSpoolFile(data, size, pages, &c, &error))
            for (const auto& p : c.pages)
                if (p.devmode >= c.devmodes.size() || p.path.empty()) __builtin_trap();
        break;
    }
    default: {
        std::vector<uint8_t> ansi;
        DevModeWToA(data, size, &ansi);
        break;
    }
    }
    return 0;
}
