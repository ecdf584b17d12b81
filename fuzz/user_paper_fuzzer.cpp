// The user paper file reader over arbitrary bytes: it accepts or refuses and
// never reads past the end; every name it keeps ends within its field; what it
// accepts writes back to a file that reads the same.
#include <cstring>
#include <vector>

#include "user_paper.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    using sheetwright::CUserPaper;
    using sheetwright::UserPaperRecord;
    std::vector<UserPaperRecord> records;
    WORD next = 0;
    if (!CUserPaper::Parse(data, size, &records, &next)) return 0;
    for (const auto& r : records)
        if (r.name[sizeof r.name - 1] != 0) __builtin_trap();
    std::vector<BYTE> image = CUserPaper::Serialize(records, next);
    std::vector<UserPaperRecord> again;
    WORD nextAgain = 0;
    if (!CUserPaper::Parse(image.data(), image.size(), &again, &nextAgain)) __builtin_trap();
    if (nextAgain != next || again.size() != records.size()) __builtin_trap();
    if (!again.empty() &&
        std::memcmp(again.data(), records.data(), again.size() * sizeof(UserPaperRecord)) != 0)
        __builtin_trap();
    return 0;
}
