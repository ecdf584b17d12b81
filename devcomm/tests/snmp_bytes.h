// Test helpers: BER elements and SNMP messages assembled by hand, so that
// tests state the bytes an agent sends.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace snmp_bytes {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Length in the given form: 0 shortest, 1..4 that many length bytes.
inline Bytes Length(std::size_t n, int form = 0) {
    if (form == 0) {
        if (n < 0x80) return {static_cast<std::uint8_t>(n)};
        form = n <= 0xff ? 1 : n <= 0xffff ? 2 : n <= 0xffffff ? 3 : 4;
    }
    Bytes out{static_cast<std::uint8_t>(0x80 | form)};
    for (int i = form - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    return out;
}

inline Bytes Tlv(std::uint8_t tag, const Bytes& content, int form = 0) {
    return Cat({{tag}, Length(content.size(), form), content});
}

inline Bytes Int(std::int32_t v) {
    Bytes content;
    std::uint32_t u = static_cast<std::uint32_t>(v);
    int n = 4;
    while (n > 1) {
        std::uint32_t top = (u >> ((n - 1) * 8 - 1)) & 0x1ff;
        if (top != 0 && top != 0x1ff) break;
        --n;
    }
    for (int i = n - 1; i >= 0; --i)
        content.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
    return Tlv(0x02, content);
}

inline Bytes Str(const std::string& s, std::uint8_t tag = 0x04) {
    return Tlv(tag, Bytes(s.begin(), s.end()));
}

inline Bytes OidContent(std::initializer_list<std::uint32_t> ids) {
    Bytes out;
    auto it = ids.begin();
    std::uint32_t first = *it++ * 40;
    first += *it++;
    auto put = [&](std::uint32_t v) {
        std::uint8_t g[5];
        int n = 0;
        do {
            g[n++] = v & 0x7f;
            v >>= 7;
        } while (v);
        while (n > 1)
            out.push_back(g[--n] | 0x80);
        out.push_back(g[0]);
    };
    put(first);
    for (; it != ids.end(); ++it)
        put(*it);
    return out;
}

inline Bytes Oid(std::initializer_list<std::uint32_t> ids) {
    return Tlv(0x06, OidContent(ids));
}

inline Bytes Varbind(const Bytes& name, const Bytes& value) {
    return Tlv(0x30, Cat({name, value}));
}

// A version-1 message around a PDU.
inline Bytes Message(const Bytes& pdu, const std::string& community = "quince",
                     std::int32_t version = 0) {
    return Tlv(0x30, Cat({Int(version), Str(community), pdu}));
}

inline Bytes Response(std::int32_t requestId, const Bytes& varbinds, std::int32_t status = 0,
                      std::int32_t index = 0, std::uint8_t type = 0xA2) {
    return Tlv(type, Cat({Int(requestId), Int(status), Int(index), Tlv(0x30, varbinds)}));
}

inline std::string Hex(const Bytes& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i) s += ' ';
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

} // namespace snmp_bytes
