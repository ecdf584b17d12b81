// libFuzzer harness over the graphics library's escapes: any escape number the
// library answers, with input and output buffers of exactly the sizes given
// (as another library hands them through the device context). An escape reads
// only within its input and writes only within its output.
#include <cstdint>
#include <cstring>
#include <vector>

#include "escapes.h"
#include "hooks.h"
#include "pdev.h"
#include "win/winddi.h"

namespace {

inkforge::PDEV* gPdev = nullptr;

constexpr ULONG kEscapes[] = {inkforge::kEscQuerySupport,     inkforge::kEscSetCopyCount,
                              inkforge::kEscGetDriverDevmode, inkforge::kEscGetJobState,
                              inkforge::kEscMarkJobCancelled, inkforge::kEscCompleteOutputFile,
                              inkforge::kEscSetOutputFileName};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gPdev = inkforge::AllocatePdev();
    if (!gPdev) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // [escape (index into the known ones, or a raw number)][output size, 2 bytes][input]
    ULONG esc = data[0] < 0xF0 ? kEscapes[data[0] % (sizeof kEscapes / sizeof kEscapes[0])]
                               : 32760u + (data[0] & 15);
    std::size_t outSize = (data[1] | (data[2] << 8)) % (sizeof(inkforge::DevmodeImage) + 64);
    std::vector<std::uint8_t> in(data + 3, data + size);
    std::vector<std::uint8_t> out(outSize);
    in.shrink_to_fit();
    out.shrink_to_fit();
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(gPdev);
    inkforge::DrvEscape(&so, esc, static_cast<ULONG>(in.size()), in.empty() ? nullptr : in.data(),
                        static_cast<ULONG>(out.size()), out.empty() ? nullptr : out.data());
    // The copy count stays within what the driver allows.
    if (gPdev->devmode.dm.dmCopies < 0 ||
        gPdev->devmode.dm.dmCopies > static_cast<short>(inkforge::kMaxCopies))
        __builtin_trap();
    gPdev->jobFlags = 0;
    return 0;
}
