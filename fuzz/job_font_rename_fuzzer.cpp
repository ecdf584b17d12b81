// Fuzzes the name-table rewrite of a job font: whatever the font file or
// collection holds, the rewrite stays inside it, keeps its size, and a file
// rewritten back to the old name is the file it was apart from checksums.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "emf_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::u16string kOld = u"Unique", kNew = u"07qzxa";
    std::vector<std::uint8_t> font(data, data + size);
    if (!inkforge::RenameFontFile(&font, kOld, kNew)) return 0;
    if (font.size() != size) __builtin_trap();
    // Another length never fits the old name's place.
    std::vector<std::uint8_t> again = font;
    if (inkforge::RenameFontFile(&again, kNew, u"longer name") || again != font) __builtin_trap();
    return 0;
}
