// libFuzzer harness over the model queries: the input is a model data file
// (seeded with the sample models); every code, layout and a few indexes are
// asked on a block of exactly the size the file states, so that any read
// past it is caught by the address sanitizer.
#include <cstdint>
#include <cstring>
#include <memory>

#include "model/modelsmith.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || size > (1u << 20)) return 0;
    std::uint32_t stated;
    std::memcpy(&stated, data + 4, 4);
    std::size_t n = stated < size ? stated : size;
    if (n < 8) n = 8;
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[n]);
    std::memcpy(block.get(), data, n);
    std::uint32_t bounded = static_cast<std::uint32_t>(n);
    std::memcpy(block.get() + 4, &bounded, 4);

    // An index taken from the input, besides 0 and 1.
    int picked = size > 40 ? data[size - 1] | (data[size - 2] << 8) : 2;
    static std::uint8_t out[65536];
    for (int code = 0; code <= 97; ++code) {
        for (int layout = 0; layout <= 16; ++layout) {
            for (int index : {0, 1, picked}) {
                DWORD length = 0, count = 0;
                if (model::GetMyPrinterInfo(block.get(), code, index, layout, nullptr, &length,
                                            &count) != 0)
                    continue;
                if (length > sizeof out) continue;
                model::GetMyPrinterInfo(block.get(), code, index, layout, out, &length, &count);
                // One byte short must not write.
                if (length > 0) {
                    DWORD shortLength = length - 1;
                    model::GetMyPrinterInfo(block.get(), code, index, layout, out, &shortLength,
                                            &count);
                }
            }
        }
    }
    return 0;
}
