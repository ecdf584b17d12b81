// The profile store reader over arbitrary bytes: it never reads past the end;
// every name and comment ends within its field; a store it reads whole
// writes back to a file that reads the same, records and all.
#include <cstring>
#include <string>
#include <vector>

#include "profile_format.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    using namespace sheetwright;
    const StoreModelNames names{"Velmora CX5540 ", {"CX5530 MFP"}, "CX5500"};
    const StoreImage image =
        ParseProfileStore(std::string_view(reinterpret_cast<const char*>(data), size), names);
    for (const StoredProfile& r : image.records) {
        if (r.entry.name[sizeof r.entry.name - 1] != 0) __builtin_trap();
        if (r.entry.comment[sizeof r.entry.comment - 1] != 0) __builtin_trap();
        if (r.chunk.size() < 217) __builtin_trap();
    }
    if (image.refused || image.damaged) return 0;
    std::vector<const StoredProfile*> all;
    for (const StoredProfile& r : image.records)
        all.push_back(&r);
    const std::string again = WriteProfileStore(names, image.settingsVersion, all);
    const StoreImage reread = ParseProfileStore(again, names);
    if (reread.refused || reread.damaged || reread.records.size() != image.records.size())
        __builtin_trap();
    for (size_t i = 0; i < image.records.size(); ++i) {
        const StoredProfile& a = image.records[i];
        const StoredProfile& b = reread.records[i];
        if (a.accepted != b.accepted || a.chunk != b.chunk ||
            std::memcmp(a.entry.name, b.entry.name, sizeof a.entry.name) != 0 ||
            std::memcmp(a.entry.comment, b.entry.comment, sizeof a.entry.comment) != 0 ||
            a.entry.profileFlags != b.entry.profileFlags)
            __builtin_trap();
        if (a.accepted && std::memcmp(&a.devmode, &b.devmode, sizeof a.devmode) != 0)
            __builtin_trap();
    }
    return 0;
}
