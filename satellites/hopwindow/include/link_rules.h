// What the support texts may open through the shell: web addresses (http and
// https) and plain mail addresses. A program, a share, a file or any other
// scheme from the model data or the support file is never started. Shared by
// Hopwindow (ANSI) and Sheetwright's Support page (wide).
#pragma once

#include <algorithm>
#include <string>

namespace link_rules {

template <class C> bool StartsWithNoCase(const std::basic_string<C>& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        C c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<C>(c - 'A' + 'a');
        if (c != static_cast<C>(prefix[i])) return false;
    }
    return true;
}

// "http://host..." or "https://host...", without blanks, controls or quotes.
template <class C> bool IsWebAddress(const std::basic_string<C>& link) {
    size_t hostStart = 0;
    if (StartsWithNoCase(link, "https://"))
        hostStart = 8;
    else if (StartsWithNoCase(link, "http://"))
        hostStart = 7;
    else
        return false;
    if (link.size() <= hostStart || link[hostStart] == '/' || link[hostStart] == '\\') return false;
    return std::none_of(link.begin(), link.end(), [](C c) {
        return static_cast<unsigned>(c) <= ' ' || c == '"' || static_cast<unsigned>(c) == 0x7F;
    });
}

// "mailto:" and the address for a plain "name@host" (no blanks, line breaks,
// "?" or other scheme); empty otherwise.
template <class C> std::basic_string<C> MailLink(const std::basic_string<C>& address) {
    const size_t at = address.find(static_cast<C>('@'));
    if (at == std::basic_string<C>::npos || at == 0 || at + 1 >= address.size()) return {};
    const bool plain = std::none_of(address.begin(), address.end(), [](C c) {
        return static_cast<unsigned>(c) <= ' ' || c == '?' || c == '"' || c == '<' || c == '>' ||
               c == '\\' || c == '/' || c == ':' || static_cast<unsigned>(c) == 0x7F;
    });
    if (!plain) return {};
    const char prefix[] = "mailto:";
    return std::basic_string<C>(prefix, prefix + 7) + address;
}

} // namespace link_rules
