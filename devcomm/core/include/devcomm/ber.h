// A bounds-checked reader of BER elements for answers from devices: every
// length is checked against what remains of its enclosing element before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win/types.h"

namespace devcomm {

class BerReader {
  public:
    BerReader() = default;
    BerReader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    // Reads the next element's header. On success *content covers exactly the
    // element's content and this reader moves past the element. Refuses
    // multi-byte tags, indefinite lengths and lengths of more than four bytes,
    // and content that would run past the end.
    bool Next(BYTE* tag, BerReader* content);
    // Next, requiring the given tag.
    bool Expect(BYTE tag, BerReader* content);

    bool Empty() const { return size_ == 0; }
    std::size_t Size() const { return size_; }
    const BYTE* Data() const { return data_; }

  private:
    const BYTE* data_ = nullptr;
    std::size_t size_ = 0;
};

// INTEGER content of 1 to 4 bytes, sign-extended.
bool DecodeInteger(const BerReader& content, std::int32_t* value);
// Counter, Gauge and TimeTicks content: 1 to 4 bytes, or 5 whose first is 0.
bool DecodeUnsigned(const BerReader& content, std::uint32_t* value);

// Encoders append to a buffer that may not grow past `limit` bytes.
class BerWriter {
  public:
    explicit BerWriter(std::size_t limit) : limit_(limit) {
        bytes_.reserve(limit < 2048 ? limit : 2048);
    }
    bool Byte(BYTE b);
    bool Bytes(const BYTE* p, std::size_t n);
    bool Length(std::size_t n);               // short, 0x81 n or 0x82 nn
    bool Integer(std::int32_t v);             // 02 len bytes
    bool Unsigned(BYTE tag, std::uint32_t v); // tag len bytes, 0 in front when the top bit is set
    bool Append(const BerWriter& other) { return Bytes(other.bytes_.data(), other.bytes_.size()); }
    std::size_t Size() const { return bytes_.size(); }
    const BYTE* Data() const { return bytes_.data(); }

  private:
    std::size_t limit_;
    std::vector<BYTE> bytes_;
};

} // namespace devcomm
