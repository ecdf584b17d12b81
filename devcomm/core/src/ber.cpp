// BER elements: the bounded reader and the capped writer.
#include "devcomm/ber.h"

#include "devcomm/snmp_client.h"

namespace devcomm {

bool BerReader::Next(BYTE* tag, BerReader* content) {
    if (size_ < 2) return false;
    BYTE t = data_[0];
    if ((t & 0x1f) == 0x1f) return false; // multi-byte tags are not spoken here
    std::size_t pos = 1;
    BYTE first = data_[pos++];
    std::uint64_t length;
    if (first < 0x80) {
        length = first;
    } else {
        std::size_t count = first & 0x7f;
        if (count == 0 || count > 4) return false; // indefinite, or longer than any datagram
        if (size_ - pos < count) return false;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = length << 8 | data_[pos++];
    }
    if (length > size_ - pos) return false;
    *tag = t;
    *content = BerReader(data_ + pos, static_cast<std::size_t>(length));
    data_ += pos + length;
    size_ -= pos + length;
    return true;
}

bool BerReader::Expect(BYTE tag, BerReader* content) {
    BYTE got;
    BerReader saved = *this;
    if (!Next(&got, content)) return false;
    if (got != tag) {
        *this = saved;
        return false;
    }
    return true;
}

bool DecodeInteger(const BerReader& content, std::int32_t* value) {
    std::size_t n = content.Size();
    if (n < 1 || n > 4) return false;
    const BYTE* p = content.Data();
    std::uint32_t v = (p[0] & 0x80) ? 0xffffffffu : 0u;
    for (std::size_t i = 0; i < n; ++i)
        v = v << 8 | p[i];
    *value = static_cast<std::int32_t>(v);
    return true;
}

bool DecodeUnsigned(const BerReader& content, std::uint32_t* value) {
    std::size_t n = content.Size();
    const BYTE* p = content.Data();
    if (n == 5) {
        if (p[0] != 0) return false;
        ++p;
        --n;
    }
    if (n < 1 || n > 4) return false;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v = v << 8 | p[i];
    *value = v;
    return true;
}

bool BerWriter::Byte(BYTE b) {
    if (bytes_.size() >= limit_) return false;
    bytes_.push_back(b);
    return true;
}

bool BerWriter::Bytes(const BYTE* p, std::size_t n) {
    if (n > limit_ - bytes_.size()) return false;
    bytes_.insert(bytes_.end(), p, p + n);
    return true;
}

bool BerWriter::Length(std::size_t n) {
    if (n < 0x80) return Byte(static_cast<BYTE>(n));
    if (n <= 0xff) return Byte(0x81) && Byte(static_cast<BYTE>(n));
    if (n <= 0xffff)
        return Byte(0x82) && Byte(static_cast<BYTE>(n >> 8)) && Byte(static_cast<BYTE>(n));
    return false;
}

bool BerWriter::Integer(std::int32_t v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    int n = 4;
    // Drop leading bytes while the top nine bits are all 0 or all 1.
    while (n > 1) {
        std::uint32_t top = (u >> ((n - 1) * 8 - 1)) & 0x1ff;
        if (top != 0 && top != 0x1ff) break;
        --n;
    }
    if (!Byte(SNMP_TYPE_INTEGER) || !Byte(static_cast<BYTE>(n))) return false;
    for (int i = n - 1; i >= 0; --i)
        if (!Byte(static_cast<BYTE>(u >> (i * 8)))) return false;
    return true;
}

bool BerWriter::Unsigned(BYTE tag, std::uint32_t v) {
    int n = 4;
    while (n > 1 && ((v >> ((n - 1) * 8)) & 0xff) == 0)
        --n;
    bool pad = ((v >> ((n - 1) * 8)) & 0x80) != 0;
    if (!Byte(tag) || !Byte(static_cast<BYTE>(n + (pad ? 1 : 0)))) return false;
    if (pad && !Byte(0)) return false;
    for (int i = n - 1; i >= 0; --i)
        if (!Byte(static_cast<BYTE>(v >> (i * 8)))) return false;
    return true;
}

} // namespace devcomm
