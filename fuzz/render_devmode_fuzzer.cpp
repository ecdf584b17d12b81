// libFuzzer harness over the graphics library's revision of device modes that
// applications hand in: a standard part of any size and spec version with a
// private part of any size and bytes, merged into the driver's own layout,
// converted to the ANSI layout and back, and a foreign private block replaced
// by the model library's defaults. The source buffer is exactly as long as its
// header says; nothing is read past it, and the result keeps the driver's sizes.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "devmode_revision.h"
#include "pdev.h"
#include "platform/text.h"
#include "win/base.h"

namespace {

inkforge::PDEV* gPdev = nullptr;
std::vector<std::uint8_t> gModel;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gPdev = inkforge::AllocatePdev();
    std::ifstream in(std::string(PKG_MODELS_DIR) + "/CX5540.DAT", std::ios::binary);
    gModel.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::u16string library = platform::FromUtf8(std::string(PKG_DRIVER_DIR) + "/Modelsmith.DLL");
    gPdev->modelsmith = LoadLibraryW(library.c_str());
    gPdev->modelData = gModel.data();
    if (!gPdev || gModel.size() < 24 || !gPdev->modelsmith) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < offsetof(DEVMODEW, dmFields)) return 0;
    // The header's sizes are the input's own, cut down to the bytes there are.
    WORD dmSize, dmExtra;
    std::memcpy(&dmSize, data + offsetof(DEVMODEW, dmSize), sizeof dmSize);
    std::memcpy(&dmExtra, data + offsetof(DEVMODEW, dmDriverExtra), sizeof dmExtra);
    if (dmSize < offsetof(DEVMODEW, dmFields))
        dmSize = static_cast<WORD>(offsetof(DEVMODEW, dmFields));
    if (dmSize > size) dmSize = static_cast<WORD>(size);
    if (dmExtra > size - dmSize) dmExtra = static_cast<WORD>(size - dmSize);
    std::vector<std::uint8_t> source(data, data + dmSize + dmExtra);
    std::memcpy(source.data() + offsetof(DEVMODEW, dmSize), &dmSize, sizeof dmSize);
    std::memcpy(source.data() + offsetof(DEVMODEW, dmDriverExtra), &dmExtra, sizeof dmExtra);
    source.shrink_to_fit();

    inkforge::DevmodeImage image;
    std::memset(&image, 0, sizeof image);
    inkforge::StampHeader(image.dm);
    if (inkforge::MergeDevmode(reinterpret_cast<const DEVMODEW*>(source.data()), &image.dm) < 0)
        return 0;
    if (image.dm.dmSize != inkforge::kPublicSize ||
        image.dm.dmDriverExtra != inkforge::kPrivateSize)
        __builtin_trap();
    inkforge::AnsiDevmodeImage ansi;
    inkforge::DevmodeWToA(image, &ansi);
    inkforge::DevmodeAToW(ansi, &image);
    if (!inkforge::HasOwnSignature(image.priv)) inkforge::ReviseForeignPrivate(gPdev, &image);
    if (image.dm.dmSize != inkforge::kPublicSize ||
        image.dm.dmDriverExtra != inkforge::kPrivateSize)
        __builtin_trap();
    return 0;
}
