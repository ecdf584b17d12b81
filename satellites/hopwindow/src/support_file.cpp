#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver_env.h"
#include "settings_file.h"
#include "url_jump.h"
#include "win/ini.h"

namespace hopwindow {
namespace {

constexpr DWORD kReadStep = 64;

const char* SectionFormat(int kind) {
    switch (kind) {
    case kKindTitle:
        return "UrlTitle%d";
    case kKindUrl:
        return "Url%d";
    case kKindContact:
        return "Contact%d";
    default:
        return nullptr;
    }
}

int LinesOf(int kind) {
    return kind == kKindTitle ? 2 : 1;
}

size_t LimitOf(int kind) {
    return kind == kKindTitle ? kTitleLimit : kAddressLimit;
}

std::string Numbered(const char* format, int n) {
    char text[32] = {};
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// One value, its buffer grown by 64 bytes while it comes back full, up to
// what the dialog's edit can hold.
std::string ReadValue(const std::string& file, const std::string& section, const std::string& key,
                      size_t limit) {
    std::vector<char> buffer;
    DWORD size = kReadStep;
    for (;;) {
        buffer.assign(size, '\0');
        const DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                   size, file.c_str());
        if (got != size - 1 || size > limit) break;
        size += kReadStep;
    }
    const std::string value(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return value.substr(0, limit);
}

// The value as the file stores it: quoted where reading would otherwise
// take off its blanks or its quotes; line breaks never reach a line.
std::string Stored(std::string value) {
    value.erase(std::remove_if(value.begin(), value.end(),
                               [](char c) { return c == '\r' || c == '\n' || c == '\0'; }),
                value.end());
    if (value.empty()) return value;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(value.front()) || blank(value.back()) || value.front() == '"' ||
        value.front() == '\'')
        return "\"" + value + "\"";
    return value;
}

} // namespace

BOOL ReadSupportEntry(const std::string& file, int kind, int k, std::string* out) {
    const char* format = SectionFormat(kind);
    if (!format || !out || k < 1 || k > kEntries) return FALSE;
    const std::string section = Numbered(format, k);
    std::string text = ReadValue(file, section, "LINE1", LimitOf(kind));
    if (LinesOf(kind) > 1) {
        const std::string second = ReadValue(file, section, "LINE2", LimitOf(kind));
        if (!second.empty()) text += "\r\n" + second;
    }
    *out = text.substr(0, LimitOf(kind));
    return TRUE;
}

void ReadSupportFile(const std::string& file, SupportEntry (&entries)[kEntries]) {
    for (int k = 1; k <= kEntries; ++k) {
        // Every kind and entry here is one the file has; a missing text is empty.
        (void)ReadSupportEntry(file, kKindTitle, k, &entries[k - 1].title);
        (void)ReadSupportEntry(file, kKindUrl, k, &entries[k - 1].url);
        (void)ReadSupportEntry(file, kKindContact, k, &entries[k - 1].contact);
    }
}

BOOL WriteSupportEntry(std::string* text, int kind, int k, const std::string& value) {
    const char* format = SectionFormat(kind);
    if (!format || !text || k < 1 || k > kEntries) return FALSE;
    *text += "[" + Numbered(format, k) + "]\r\nLINE1=";
    if (LinesOf(kind) == 1) {
        *text += Stored(value) + "\r\n";
        return TRUE;
    }
    // The description's first two lines; anything after a second break goes.
    const size_t cut = value.find("\r\n");
    std::string second;
    if (cut != std::string::npos) {
        const size_t rest = cut + 2;
        second = value.substr(rest, value.find("\r\n", rest) - rest);
    }
    *text += Stored(value.substr(0, cut)) + "\r\nLINE2=" + Stored(second) + "\r\n";
    return TRUE;
}

std::string SupportFileText(const SupportEntry (&entries)[kEntries]) {
    std::string text;
    for (int k = 1; k <= kEntries; ++k) {
        const SupportEntry& e = entries[k - 1];
        // Every kind and entry here is one the file has.
        (void)WriteSupportEntry(&text, kKindTitle, k, e.title);
        (void)WriteSupportEntry(&text, kKindUrl, k, e.url);
        (void)WriteSupportEntry(&text, kKindContact, k, e.contact);
    }
    return text;
}

BOOL WriteSupportFile(const std::string& file, const SupportEntry (&entries)[kEntries]) {
    const std::string text = SupportFileText(entries);
    const std::u16string path = sheetwright::AnsiToWide(file.c_str(), file.size());
    return !path.empty() &&
           sheetwright::WriteWholeFile(path.c_str(), text.data(), static_cast<DWORD>(text.size()));
}

} // namespace hopwindow
