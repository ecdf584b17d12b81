// The font substitution file's reader over arbitrary bytes: what it accepts
// lies within the bytes, holds no more records than they carry, and every
// name is terminated within its field; a written file reads back the same.
#include <cstring>
#include <vector>

#include "font_substitution_file.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::vector<fontsub::FontSubRecord> records;
    if (!fontsub::ParseFontSubFile(data, size, &records)) {
        if (!records.empty()) __builtin_trap();
        return 0;
    }
    if (records.empty() || records.size() * fontsub::kRecordSize > size) __builtin_trap();
    for (const auto& r : records)
        if (r.name[fontsub::kNameBytes - 1] || r.substitute[fontsub::kNameBytes - 1])
            __builtin_trap();
    const std::string again = fontsub::SerializeFontSubFile(records);
    std::vector<fontsub::FontSubRecord> back;
    if (!fontsub::ParseFontSubFile(reinterpret_cast<const unsigned char*>(again.data()),
                                   again.size(), &back) ||
        back.size() != records.size() ||
        std::memcmp(back.data(), records.data(), records.size() * fontsub::kRecordSize) != 0)
        __builtin_trap();
    return 0;
}
