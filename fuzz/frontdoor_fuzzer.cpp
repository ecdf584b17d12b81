// libFuzzer harness over what the printer interface library reads from
// outside: a model data file's header and component table (the first byte
// 0 picks it), and a caller's device mode of any sizes carried into the
// 1320-byte image, written back in the caller's sizes and converted for the
// spooler (first byte 1). Every buffer is exactly as long as its bytes;
// nothing is read or written past it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "frontdoor.h"

namespace {

void ModelData(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    file.shrink_to_fit();
    if (!frontdoor::IsModelDataHeader(file.data(), static_cast<DWORD>(file.size()))) return;
    HANDLE heap = HeapCreate(0, 8192, 0);
    for (DWORD id : {20u, 22u, 23u, 27u})
        frontdoor::GetComponentName(file.data(), heap, id);
    HeapDestroy(heap);
}

void Devmode(const std::uint8_t* data, std::size_t size) {
    if (size < offsetof(DEVMODEW, dmFields)) return;
    // The header's sizes are the input's own, cut down to the bytes there are.
    WORD dmSize, dmExtra;
    std::memcpy(&dmSize, data + offsetof(DEVMODEW, dmSize), sizeof dmSize);
    std::memcpy(&dmExtra, data + offsetof(DEVMODEW, dmDriverExtra), sizeof dmExtra);
    if (dmSize > size) dmSize = static_cast<WORD>(size);
    if (dmExtra > size - dmSize) dmExtra = static_cast<WORD>(size - dmSize);
    std::vector<std::uint8_t> source(data, data + dmSize + dmExtra);
    if (source.size() < offsetof(DEVMODEW, dmFields)) return;
    std::memcpy(source.data() + offsetof(DEVMODEW, dmSize), &dmSize, sizeof dmSize);
    std::memcpy(source.data() + offsetof(DEVMODEW, dmDriverExtra), &dmExtra, sizeof dmExtra);
    source.shrink_to_fit();
    auto* dm = reinterpret_cast<DEVMODEW*>(source.data());
    if (!frontdoor::DevmodeFits(dm, source.size())) return;

    DEVMODE_IMAGEW image{};
    image.dm.dmSpecVersion = frontdoor::kImageSpecVersion;
    image.dm.dmDriverVersion = frontdoor::kImageDriverVersion;
    image.dm.dmSize = sizeof(DEVMODEW);
    image.dm.dmDriverExtra = sizeof(PRIVATE_DEVMODE);
    if (frontdoor::ConvertDevModeParts(dm, &image.dm) > 0)
        frontdoor::UpdateEmfPlaybackFlag(&image.dm, &image.priv);
    // Written back in the caller's own sizes, into a buffer of exactly those.
    std::vector<std::uint8_t> out(source.size());
    std::memcpy(out.data(), source.data(), out.size());
    frontdoor::CopyDevmodeOut(&image.dm, dm, reinterpret_cast<DEVMODEW*>(out.data()));
    // The spooler's conversion into the caller's buffer, whatever it claims.
    LONG needed = static_cast<LONG>(out.size());
    frontdoor::ConvertDevMode(nullptr, &image.dm, reinterpret_cast<DEVMODEW*>(out.data()), &needed,
                              CDM_CONVERT);
    std::vector<std::uint8_t> old(300);
    needed = static_cast<LONG>(old.size());
    frontdoor::ConvertDevMode(nullptr, dm, reinterpret_cast<DEVMODEW*>(old.data()), &needed,
                              CDM_CONVERT351);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    if (data[0] == 0)
        ModelData(data + 1, size - 1);
    else
        Devmode(data + 1, size - 1);
    return 0;
}
