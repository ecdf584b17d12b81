// Wide and ANSI text helpers.
#include "text_convert.h"

#include <cstring>

#include "system_access.h"
#include "win/strings.h"

namespace inkforge {

void CopyWideField(WCHAR* dst, size_t n, LPCWSTR src) {
    if (!dst || n == 0) return;
    size_t i = 0;
    if (src)
        for (; i + 1 < n && src[i]; ++i)
            dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = 0;
}

std::string ToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n <= 0 || WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      out.data(), n, nullptr, nullptr) != n) {
        NoteCallFailure();
        return {};
    }
    return out;
}

std::u16string FromAnsi(std::string_view text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
    if (n <= 0 || MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      out.data(), n) != n) {
        NoteCallFailure();
        return {};
    }
    return out;
}

std::string CutAnsi(const std::string& text, size_t maxBytes) {
    size_t end = 0;
    while (end < text.size()) {
        bool lead = IsDBCSLeadByte(static_cast<BYTE>(text[end]));
        // A lead byte without its second byte is no character.
        if (lead && end + 1 >= text.size()) break;
        size_t step = lead ? 2 : 1;
        if (end + step > maxBytes) break;
        end += step;
    }
    return text.substr(0, end);
}

void WideToAnsiField(LPCWSTR src, CHAR* dst, size_t n) {
    if (!dst || n == 0) return;
    std::string ansi = src ? CutAnsi(ToAnsi(src), n - 1) : std::string();
    std::memset(dst, 0, n);
    std::memcpy(dst, ansi.data(), ansi.size());
}

std::string FieldText(const BYTE* field, size_t size) {
    const char* p = reinterpret_cast<const char*>(field);
    return std::string(p, strnlen(p, size));
}

} // namespace inkforge
