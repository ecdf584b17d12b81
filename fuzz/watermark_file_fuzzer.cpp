// The watermark file reader over arbitrary bytes: it accepts or refuses and
// never reads past the end; every record it keeps has its strings ended
// within their fields and its numbers in range; what it accepts writes back
// to a file that reads the same.
#include <cstring>
#include <vector>

#include "watermark_record.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    using namespace print_effects;
    std::vector<WatermarkRecord> records;
    if (!ReadWatermarkFile(data, size, &records, nullptr)) return 0;
    for (const auto& r : records) {
        if (r.name[63] || r.text[63] || r.font.lfFaceName[31]) __builtin_trap();
        if (r.points < kWatermarkMinPoints || r.points > kWatermarkMaxPoints) __builtin_trap();
        if (r.horizontal < -50 || r.horizontal > 50 || r.vertical < -50 || r.vertical > 50)
            __builtin_trap();
        if (r.border > 2 || r.pages > 4 || r.layer > 1) __builtin_trap();
    }
    const std::vector<BYTE> file = WatermarkFileBytes(records);
    std::vector<WatermarkRecord> again;
    if (!ReadWatermarkFile(file.data(), file.size(), &again, nullptr)) __builtin_trap();
    if (again.size() != records.size()) __builtin_trap();
    for (size_t i = 0; i < again.size(); ++i) {
        WatermarkRecord a = records[i];
        a.version = 1;
        a.size = 216;
        if (std::memcmp(&a, &again[i], sizeof a) != 0) __builtin_trap();
    }
    return 0;
}
