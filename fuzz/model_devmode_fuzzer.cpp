// libFuzzer harness over mdReviseDevmode type 2: foreign device modes of any
// bytes and sizes are carried over into the model's default device mode. The
// first input byte chooses whether the rest is the old device mode as it
// stands, or bytes laid over a valid default one (so that the private block's
// checks are reached); every buffer has exactly its size.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/modelsmith.h"
#include "devmode_private.h"

namespace {

std::vector<std::uint8_t> gModel;
std::vector<std::uint8_t> gDefault[2]; // 1100- and 908-byte layouts

std::vector<std::uint8_t> DefaultDevmode(std::size_t extra) {
    std::vector<std::uint8_t> dm(DEVMODEA_SIZE + extra, 0);
    WORD size = DEVMODEA_SIZE, driverExtra = static_cast<WORD>(extra);
    std::memcpy(dm.data() + offsetof(DEVMODEA, dmSize), &size, 2);
    std::memcpy(dm.data() + offsetof(DEVMODEA, dmDriverExtra), &driverExtra, 2);
    model::ReviseDevmode(gModel.data(), nullptr, 0, dm.data(), dm.size(), 1);
    return dm;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::ifstream in(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", std::ios::binary);
    gModel.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (gModel.size() < 24) __builtin_trap();
    gDefault[0] = DefaultDevmode(PRIVATE_DEVMODE_SIZE);
    gDefault[1] = DefaultDevmode(PRIVATE_DEVMODE_SIZE_908);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 8192) return 0;
    std::uint8_t mode = data[0];
    ++data;
    --size;
    const std::vector<std::uint8_t>& base = gDefault[(mode >> 1) & 1];
    std::vector<std::uint8_t> old;
    if (mode & 1) {
        // Bytes laid over a valid device mode, from an offset the next byte picks.
        old = base;
        if (size > 2) {
            std::size_t at = (std::size_t{data[0]} | (std::size_t{data[1]} << 8)) % old.size();
            std::size_t n = std::min(size - 2, old.size() - at);
            std::memcpy(old.data() + at, data + 2, n);
        }
    } else {
        old.assign(data, data + size);
    }
    old.shrink_to_fit();
    std::vector<std::uint8_t> dm = base;
    dm.shrink_to_fit();
    model::ReviseDevmode(gModel.data(), old.data(), old.size(), dm.data(), dm.size(), 2);
    return 0;
}
