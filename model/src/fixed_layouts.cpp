#include "model/fixed_layouts.h"

#include <cctype>
#include <cstdlib>

namespace model {
namespace {

constexpr unsigned kSlotBytes = 4; // a record slot

constexpr const char* kJobTypeRules = "LLLWLW";
constexpr const char* kJobTypeTexts = "LLLLC32LLC32";
constexpr const char* kDistances = "LLWWWWLWWLL";

constexpr FixedLayout kLayouts[] = {
    {12, 1, 4, 0, "L"},
    {13, 1, 4, 0, "L"},
    {19, 1, 4, 294, "L"},
    {19, 2, 8, 296, "LL"},
    {19, 3, 12, 300, "LLL"},
    {23, 1, 4, 0, "L"},
    {23, 2, 8, 299, "LL"},
    {28, 1, 4, 0, "L"},
    {28, 2, 8, 268, "LWW"},
    {28, 3, 32, 282, kDistances},
    {29, 1, 16, 0, "LLLL"},
    {29, 2, 8, 268, "LW"},
    {29, 3, 32, 282, kDistances},
    {29, 4, 28, 283, "LLLLLLL"},
    {30, 1, 4, 0, "L"},
    {31, 1, 8, 0, "LWW"},
    {31, 2, 8, 268, "LWW"},
    {38, 1, 8, 0, "LL"},
    {40, 1, 4, 0, "L"},
    {40, 2, 12, 282, "LLL"},
    {44, 1, 8, 0, "WWWW"},
    {45, 1, 4, 0, "L"},
    {45, 2, 8, 0, "xWWWW", true},
    {48, 1, 8, 0, "LL"},
    {49, 1, 8, 0, "LL"},
    {50, 1, 4, 0, "L"},
    {50, 2, 8, 296, "LL"},
    {51, 1, 4, 0, "L"},
    {51, 2, 8, 0, "LL"},
    {52, 1, 16, 0, "LLLL"},
    {53, 1, 8, 0, "LW"},
    {54, 1, 8, 0, "LL"},
    {55, 1, 80, 0, "LWLWLWWWWWWWWWWLWWWWWWWWWWLLLWW", true},
    {56, 1, 8, 0, "LL"},
    {57, 1, 4, 0, "L"},
    {57, 2, 20, 282, "LLLLL"},
    {58, 1, 4, 0, "L"},
    {59, 1, 4, 0, "L"},
    {60, 1, 8, 0, "LL"},
    {60, 2, 24, 282, kJobTypeRules},
    {60, 3, 88, 302, kJobTypeTexts},
    {61, 1, 8, 0, "LL"},
    {61, 2, 24, 282, kJobTypeRules},
    {61, 3, 88, 302, kJobTypeTexts},
    {62, 1, 8, 0, "LL"},
    {62, 2, 24, 282, kJobTypeRules},
    {62, 3, 88, 302, kJobTypeTexts},
    {63, 1, 8, 0, "LL"},
    {63, 2, 48, 299, "LLLLC32"},
    {64, 1, 4, 0, "L"},
    {64, 2, 8, 0, "LL"},
    {65, 1, 4, 0, "L"},
    {65, 2, 8, 286, "LL"},
    {66, 1, 4, 0, "L"},
    {67, 1, 4, 0, "L"},
    {67, 2, 8, 268, "LW"},
    {67, 3, 12, 282, "LWWWW"},
    {68, 1, 4, 0, "L"},
    {72, 1, 4, 282, "L"},
    {73, 1, 8, 282, "LL"},
    {73, 2, 24, 282, kJobTypeRules},
    {73, 3, 88, 302, kJobTypeTexts},
    {74, 1, 8, 282, "LL"},
    {74, 2, 24, 282, kJobTypeRules},
    {74, 3, 88, 302, kJobTypeTexts},
    {77, 1, 12, 294, "LLL"},
    {77, 2, 16, 295, "LLLL"},
    {78, 1, 16, 300, "LWWWWWW"},
    {79, 1, 16, 299, "LLLL"},
    {96, 1, 8, 303, "LL"},
};

} // namespace

const FixedLayout* FindFixedLayout(int code, int layout) {
    for (const FixedLayout& l : kLayouts)
        if (l.code == code && l.layout == layout) return &l;
    return nullptr;
}

std::vector<const FixedLayout*> FixedLayoutsOf(int code) {
    std::vector<const FixedLayout*> out;
    for (const FixedLayout& l : kLayouts)
        if (l.code == code) out.push_back(&l);
    return out;
}

std::size_t FixedFieldsInto(const FixedLayout& layout, FixedField* out, std::size_t max) {
    std::size_t n = 0;
    unsigned offset = 0, slot = 0;
    auto add = [&](FieldKind kind, unsigned bytes) {
        unsigned width = layout.narrows ? kSlotBytes * ((bytes + 3) / 4) : bytes;
        unsigned record = layout.narrows ? kSlotBytes * slot : offset;
        out[n++] = {kind, std::uint16_t(offset), std::uint16_t(bytes), std::uint16_t(record),
                    std::uint16_t(width)};
        offset += bytes;
        slot += (bytes + 3) / 4;
    };
    for (const char* p = layout.fields; *p && n < max;) {
        char k = *p++;
        if (k == 'x') {
            slot += 1;
        } else if (k == 'L') {
            offset = (offset + 3) & ~3u;
            add(FieldKind::U32, 4);
        } else if (k == 'W') {
            offset = (offset + 1) & ~1u;
            add(FieldKind::I16, 2);
        } else {
            char* end = nullptr;
            unsigned bytes = static_cast<unsigned>(std::strtoul(p, &end, 10));
            p = end;
            add(FieldKind::Text, bytes);
        }
    }
    return n;
}

std::vector<FixedField> FixedFields(const FixedLayout& layout) {
    FixedField fields[kMaxFixedFields];
    std::size_t n = FixedFieldsInto(layout, fields, kMaxFixedFields);
    return std::vector<FixedField>(fields, fields + n);
}

unsigned FixedRecordBytes(const FixedLayout& layout) {
    if (!layout.narrows) return layout.size;
    FixedField fields[kMaxFixedFields];
    std::size_t n = FixedFieldsInto(layout, fields, kMaxFixedFields);
    return n ? fields[n - 1].record + fields[n - 1].width : 0u;
}

bool IsFixedRecordCode(int code) {
    return code != 51 && code != 53 && code != 65 && FindFixedLayout(code, 1) != nullptr;
}

} // namespace model
