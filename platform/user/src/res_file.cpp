// Reading compiled resource files and version resources: every offset, size
// and string is checked against the bytes there are before it is used.
#include "platform/res_file.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace platform::res {
namespace {

constexpr WORD kOrdinalMark = 0xFFFF;
// DataSize, HeaderSize, ordinal type, ordinal name, then DataVersion,
// MemoryFlags, LanguageId, Version, Characteristics.
constexpr size_t kSmallestHeader = 32;
constexpr size_t kTrailerSize = 16;

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

WORD Word(const BYTE* p) {
    WORD w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

DWORD Dword(const BYTE* p) {
    DWORD d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

// An ordinal or NUL-terminated UTF-16 string at data[*at], within [.., end).
bool ReadId(const BYTE* data, size_t* at, size_t end, ResId* out) {
    if (*at + 2 > end) return false;
    if (Word(data + *at) == kOrdinalMark) {
        if (*at + 4 > end) return false;
        out->isOrdinal = true;
        out->ordinal = Word(data + *at + 2);
        *at += 4;
        return true;
    }
    out->isOrdinal = false;
    out->text.clear();
    for (size_t p = *at; p + 2 <= end; p += 2) {
        WORD c = Word(data + p);
        if (c == 0) {
            *at = p + 2;
            return true;
        }
        out->text.push_back(static_cast<char16_t>(c));
    }
    return false;
}

std::string At(const char* what, size_t offset) {
    return std::string(what) + " at offset " + std::to_string(offset);
}

} // namespace

bool ReadResFile(const BYTE* data, size_t size, std::vector<ResEntry>* out, std::string* error) {
    out->clear();
    size_t at = 0;
    while (at < size) {
        // Padding after the last entry.
        if (size - at < 8) {
            for (size_t i = at; i < size; ++i)
                if (data[i] != 0) return *error = At("trailing bytes", at), false;
            break;
        }
        DWORD dataSize = Dword(data + at);
        DWORD headerSize = Dword(data + at + 4);
        if (headerSize < kSmallestHeader || headerSize > size - at)
            return *error = At("resource header size out of range", at), false;
        if (dataSize > size - at - headerSize)
            return *error = At("resource data past the end", at), false;
        size_t headerEnd = at + headerSize;
        size_t p = at + 8;
        ResEntry e;
        if (!ReadId(data, &p, headerEnd, &e.type))
            return *error = At("bad resource type", at), false;
        if (!ReadId(data, &p, headerEnd, &e.name))
            return *error = At("bad resource name", at), false;
        p = at + Align4(p - at);
        if (p > headerEnd || headerEnd - p < kTrailerSize)
            return *error = At("short resource header", at), false;
        e.dataVersion = Dword(data + p);
        e.memoryFlags = Word(data + p + 4);
        e.language = Word(data + p + 6);
        e.version = Dword(data + p + 8);
        e.characteristics = Dword(data + p + 12);
        e.data = data + headerEnd;
        e.size = dataSize;
        bool emptyStart =
            e.type.isOrdinal && e.type.ordinal == 0 && e.name.isOrdinal && dataSize == 0;
        if (!emptyStart) out->push_back(std::move(e));
        size_t next = Align4(headerEnd + dataSize);
        if (next <= at) return *error = At("resource entry does not advance", at), false;
        at = next;
    }
    return true;
}

ResId IdFromParameter(LPCWSTR p) {
    ResId id;
    if (IS_INTRESOURCE(p)) {
        id.ordinal = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(p));
        return id;
    }
    std::u16string_view s(p);
    if (s.size() > 1 && s[0] == u'#') {
        unsigned long n = 0;
        bool digits = s.size() <= 6;
        for (size_t i = 1; i < s.size() && digits; ++i) {
            if (s[i] < u'0' || s[i] > u'9')
                digits = false;
            else
                n = n * 10 + (s[i] - u'0');
        }
        if (digits && n <= 0xFFFF) {
            id.ordinal = static_cast<WORD>(n);
            return id;
        }
    }
    id.isOrdinal = false;
    id.text.assign(s);
    return id;
}

bool SameId(const ResId& a, const ResId& b) {
    if (a.isOrdinal != b.isOrdinal) return false;
    if (a.isOrdinal) return a.ordinal == b.ordinal;
    return EqualsNoCase(a.text, b.text);
}

namespace {

// One node of a version resource at offset `at` of block, ending within `end`.
struct VersionNode {
    size_t end = 0; // the node's own end (wLength)
    std::u16string key;
    size_t value = 0; // offset of the value
    size_t valueBytes = 0;
    UINT valueLength = 0; // as VerQueryValue reports it
    size_t children = 0;  // offset of the first child
};

bool ReadNode(const BYTE* block, size_t at, size_t end, VersionNode* n) {
    if (at > end || end - at < 6) return false;
    WORD length = Word(block + at);
    WORD valueLength = Word(block + at + 2);
    WORD type = Word(block + at + 4);
    if (length < 6 || length > end - at) return false;
    n->end = at + length;
    n->key.clear();
    size_t p = at + 6;
    for (;; p += 2) {
        if (p + 2 > n->end) return false;
        WORD c = Word(block + p);
        if (c == 0) break;
        n->key.push_back(static_cast<char16_t>(c));
    }
    p = Align4(p + 2);
    n->valueBytes = type == 1 ? size_t{valueLength} * 2 : valueLength;
    n->valueLength = valueLength;
    if (n->valueBytes == 0) p = std::min(p, n->end);
    if (p > n->end || n->valueBytes > n->end - p) return false;
    n->value = p;
    n->children = std::min(Align4(p + n->valueBytes), n->end);
    return true;
}

} // namespace

bool FindVersionValue(const BYTE* block, size_t size, std::u16string_view path, const BYTE** value,
                      UINT* length) {
    VersionNode node;
    if (!ReadNode(block, 0, size, &node)) return false;
    size_t start = 0;
    while (start < path.size()) {
        size_t sep = path.find(u'\\', start);
        std::u16string_view part =
            path.substr(start, sep == std::u16string_view::npos ? path.npos : sep - start);
        start = sep == std::u16string_view::npos ? path.size() : sep + 1;
        if (part.empty()) continue;
        size_t at = node.children;
        VersionNode child;
        bool found = false;
        while (at < node.end) {
            if (!ReadNode(block, at, node.end, &child)) return false;
            if (EqualsNoCase(child.key, part)) {
                found = true;
                break;
            }
            at = Align4(child.end);
        }
        if (!found) return false;
        node = child;
    }
    *value = block + node.value;
    *length = node.valueLength;
    return true;
}

} // namespace platform::res
