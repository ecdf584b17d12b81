// Device-mode conversion over arbitrary bytes, read as an ANSI and as a wide
// device mode: each is accepted or refused and never read past the bytes
// given; what converts one way converts back to the same size.
#include <cstring>
#include <vector>

#include "devmode_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    using namespace sheetwright;
    // An exact copy, so that the address sanitiser sees the end of the input.
    std::vector<BYTE> in(data, data + size);
    std::vector<BYTE> out(size + 0x100);
    std::vector<BYTE> back(size + 0x100);
    if (DevModeAToW(reinterpret_cast<const DEVMODEA*>(in.data()), in.size(),
                    reinterpret_cast<DEVMODEW*>(out.data()), out.size())) {
        const auto* w = reinterpret_cast<const DEVMODEW*>(out.data());
        if (!DevModeWToA(w, out.size(), reinterpret_cast<DEVMODEA*>(back.data()), back.size()))
            __builtin_trap();
        if (reinterpret_cast<const DEVMODEA*>(back.data())->dmSize + 64 != w->dmSize)
            __builtin_trap();
    }
    DevModeWToA(reinterpret_cast<const DEVMODEW*>(in.data()), in.size(),
                reinterpret_cast<DEVMODEA*>(out.data()), out.size());
    return 0;
}
