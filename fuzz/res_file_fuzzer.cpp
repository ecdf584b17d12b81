// libFuzzer harness over the compiled-resource reader: the input is a .res
// file (seeded with the test module's). Every entry found is read as the
// loader's callers would: version blocks queried by path, bitmaps and icon
// images checked as DIBs, string blocks walked slot by slot.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "images.h"
#include "platform/res_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<platform::res::ResEntry> entries;
    std::string error;
    if (!platform::res::ReadResFile(data, size, &entries, &error)) return 0;
    for (const auto& e : entries) {
        volatile BYTE sink = 0;
        for (DWORD i = 0; i < e.size; ++i)
            sink = sink ^ e.data[i]; // every byte in bounds
        if (!e.type.isOrdinal) continue;
        const BYTE* value = nullptr;
        UINT length = 0;
        platform::user::Image image;
        switch (e.type.ordinal) {
        case 16:
            for (const char16_t* path :
                 {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904B0\\FileVersion"})
                if (platform::res::FindVersionValue(e.data, e.size, path, &value, &length) &&
                    length > 0)
                    sink = sink ^ value[0];
            break;
        case 2:
            platform::user::ReadPackedDib(e.data, e.size, 1, &image);
            break;
        case 3:
            platform::user::ReadPackedDib(e.data, e.size, 2, &image);
            break;
        case 6: {
            size_t at = 0;
            for (int slot = 0; slot < 16 && at + 2 <= e.size; ++slot) {
                WORD count;
                std::memcpy(&count, e.data + at, 2);
                at += 2 + size_t{count} * 2;
            }
            break;
        }
        default:
            break;
        }
    }
    return 0;
}
