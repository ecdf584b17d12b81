#include "font_substitution_file.h"

#include <cstring>

#include "win/base.h"
#include "win/files.h"

namespace fontsub {
namespace {

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutU32(std::string* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

void SetName(char (&field)[kNameBytes], std::string_view text) {
    const size_t n = std::min(text.size(), kNameBytes - 1);
    std::memset(field, 0, kNameBytes);
    std::memcpy(field, text.data(), n);
}

std::string_view NameOf(const char (&field)[kNameBytes]) {
    return std::string_view(field, strnlen(field, kNameBytes));
}

bool ParseFontSubFile(const std::uint8_t* data, std::uint64_t size,
                      std::vector<FontSubRecord>* out) {
    out->clear();
    if (!data || size < kHeaderSize) return false;
    // The records follow the 20-byte header whatever its size word says:
    // every writer puts them there, and older files leave the word 0.
    const std::uint64_t header = kHeaderSize;
    if (U32(data) != kMagic || U32(data + 8) != kVersion) return false;
    const std::uint32_t count = U32(data + 12);
    const std::uint64_t room = (size - header) / kRecordSize;
    if (count == 0 || count > kMaxRecords || count > room) return false;
    out->resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        FontSubRecord& r = (*out)[i];
        std::memcpy(&r, data + header + static_cast<std::uint64_t>(i) * kRecordSize, kRecordSize);
        r.name[kNameBytes - 1] = 0;
        r.substitute[kNameBytes - 1] = 0;
    }
    return true;
}

bool ReadFontSubFile(LPCWSTR path, std::vector<FontSubRecord>* out) {
    out->clear();
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
              static_cast<std::uint64_t>(size.QuadPart) <= kMaxFileBytes;
    std::vector<std::uint8_t> bytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            DWORD got = 0;
            const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
            ok = ReadFile(file, bytes.data() + done, ask, &got, nullptr) && got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    return ok && ParseFontSubFile(bytes.data(), bytes.size(), out);
}

std::string SerializeFontSubFile(const std::vector<FontSubRecord>& records) {
    std::string out;
    out.reserve(kHeaderSize + records.size() * kRecordSize);
    PutU32(&out, kMagic);
    PutU32(&out, kHeaderSize);
    PutU32(&out, kVersion);
    PutU32(&out, static_cast<std::uint32_t>(records.size()));
    PutU32(&out, 0);
    for (const FontSubRecord& r : records)
        out.append(reinterpret_cast<const char*>(&r), kRecordSize);
    return out;
}

std::u16string FontSubFileName(std::u16string_view name) {
    const bool bare = !name.empty() && name != u"." && name != u".." &&
                      name.find_first_of(u"\\/:") == std::u16string_view::npos;
    return bare ? std::u16string(name) : std::u16string(kDefaultFileName);
}

} // namespace fontsub
