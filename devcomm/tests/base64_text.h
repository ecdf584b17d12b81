// Base64 text of bytes (RFC 4648, '=' filling the last group), for the
// status blocks test printers carry in their device IDs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= std::uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= bytes[i + 2];
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
    }
    return out;
}
