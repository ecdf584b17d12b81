// Reader of the drawing tokens. Every read is checked against the size.
#include "tokens.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace streamdump {
namespace {

using namespace stream;
using namespace token;

constexpr std::size_t kMaxListed = 64; // array entries and points shown in the listing

class TokenReader {
  public:
    TokenReader(const std::uint8_t* p, std::size_t n) : p_(p), n_(n) {}
    std::size_t pos() const { return pos_; }
    bool has(std::size_t k) const { return k <= n_ - pos_; }
    bool done() const { return pos_ >= n_; }
    std::uint8_t peek() const { return p_[pos_]; }
    std::uint8_t u8() { return p_[pos_++]; }
    unsigned u16() {
        unsigned v = p_[pos_] | (static_cast<unsigned>(p_[pos_ + 1]) << 8);
        pos_ += 2;
        return v;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | p_[pos_ + i];
        pos_ += 4;
        return v;
    }
    const std::uint8_t* here() const { return p_ + pos_; }
    void skip(std::size_t k) { pos_ += k; }

  private:
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
};

// One number of `bytes` little-endian bytes at p.
long Entry(const std::uint8_t* p, int bytes, bool isSigned) {
    if (bytes == 1) return isSigned ? static_cast<std::int8_t>(p[0]) : p[0];
    unsigned v = p[0] | (static_cast<unsigned>(p[1]) << 8);
    return isSigned ? static_cast<std::int16_t>(v) : static_cast<long>(v);
}

// Reads the value of tag `tag` (already consumed); false when cut short or malformed.
bool ReadValue(TokenReader& r, int tag, TokenValue* v, std::string* problem) {
    auto need = [&](std::size_t k) {
        if (r.has(k)) return true;
        *problem = "value cut off by the end of the tokens";
        return false;
    };
    v->tag = tag;
    if (tag == kReal32 || tag == kReal32Pair || tag == kUInt32) {
        std::size_t count = static_cast<std::size_t>(TagCount(tag));
        if (!need(4 * count)) return false;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t bits = r.u32();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            v->numbers.push_back(tag == kUInt32 ? static_cast<double>(bits)
                                                : static_cast<double>(f));
        }
        return true;
    }
    std::size_t count = static_cast<std::size_t>(TagCount(tag));
    if (count == 0) {
        if (!need(1)) return false;
        std::uint8_t lengthTag = r.u8();
        if (lengthTag == kUByte && need(1)) {
            count = r.u8();
        } else if (lengthTag == kUInt16 && need(2)) {
            count = r.u16();
        } else {
            if (problem->empty()) *problem = "array length without a ubyte or uint16 tag";
            return false;
        }
    }
    int each = TagEntryBytes(tag);
    if (!need(count * static_cast<std::size_t>(each))) return false;
    v->numbers.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        v->numbers.push_back(static_cast<double>(Entry(r.here(), each, TagSigned(tag))));
        r.skip(static_cast<std::size_t>(each));
    }
    return true;
}

std::string Number(double d) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%g", d);
    return buf;
}

// The listing's text of a value: "ubyte 240", "sint16 pair (10, 20)", ...
std::string ValueText(const TokenValue& v) {
    std::string text = TagName(v.tag);
    int count = TagCount(v.tag);
    if (count == 1) return text + " " + Number(v.numbers.at(0));
    bool array = count == 0;
    text += array ? " [" : " (";
    for (std::size_t i = 0; i < v.numbers.size(); ++i) {
        if (i == kMaxListed) {
            text += " ...";
            break;
        }
        text += (i ? (array ? " " : ", ") : "") + Number(v.numbers[i]);
    }
    return text + (array ? "]" : ")");
}

std::string Hex2(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

std::string AttributeName(int id) {
    const char* name = TokenAttributeName(id);
    return name[0] ? name : "attribute " + Hex2(id);
}

// The points of a path operator's data by its number of points and point type.
void ReadPoints(Item* item, const std::uint8_t* d, std::size_t n) {
    Token& t = item->token;
    long count = -1, type = -1;
    const TokenValue* countValue = t.Find(kNumberOfPoints);
    const TokenValue* typeValue = t.Find(kPointType);
    if (!countValue || !countValue->Whole(&count) || count < 0 || !typeValue ||
        !typeValue->Whole(&type) || type < kPointUByte || type > kPointSInt16) {
        item->problem = "path data without a number of points and a point type";
        return;
    }
    int each = type < kPointUInt16 ? 1 : 2;
    bool isSigned = type == kPointSByte || type == kPointSInt16;
    if (static_cast<std::size_t>(count) * 2 * static_cast<std::size_t>(each) != n) {
        item->problem =
            "path data of " + std::to_string(n) + " bytes for " + std::to_string(count) + " points";
        return;
    }
    std::string text;
    t.points.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const std::uint8_t* p =
            d + static_cast<std::size_t>(i) * 2 * static_cast<std::size_t>(each);
        TokenPoint pt{Entry(p, each, isSigned), Entry(p + each, each, isSigned)};
        t.points.push_back(pt);
        if (i < static_cast<long>(kMaxListed))
            text += (i ? " (" : "(") + std::to_string(pt.x) + ", " + std::to_string(pt.y) + ")";
        else if (i == static_cast<long>(kMaxListed))
            text += " ...";
    }
    item->fields.push_back({"points", text});
}

} // namespace

bool TokenValue::Whole(long* out) const {
    if (numbers.size() != 1 || (tag != kUByte && tag != kUInt16 && tag != kSInt16)) return false;
    *out = static_cast<long>(numbers[0]);
    return true;
}

const TokenValue* Token::Find(int id) const {
    for (auto it = attributes.rbegin(); it != attributes.rend(); ++it)
        if (it->id == id) return &it->value;
    return nullptr;
}

std::size_t DecodeTokens(const std::uint8_t* data, std::size_t size, std::size_t offset,
                         std::vector<Item>* out) {
    TokenReader r(data, size);
    std::vector<TokenAttribute> pending;
    std::size_t pendingStart = 0;
    long lastOperator = -1; // the operator item that embedded data may follow
    auto withAttributes = [&](Item* item) {
        for (const TokenAttribute& a : pending)
            item->fields.push_back({AttributeName(a.id), ValueText(a.value)});
        item->token.attributes = std::move(pending);
        pending.clear();
    };
    auto problemItem = [&](std::size_t at, std::size_t length, const std::string& problem) {
        Item item;
        item.kind = ItemKind::Token;
        item.offset = offset + at;
        item.length = length;
        item.text = "?";
        item.problem = problem;
        out->push_back(std::move(item));
        lastOperator = -1;
    };
    // Attributes that no operator took, up to `end`.
    auto flushPending = [&](std::size_t end) {
        if (pending.empty()) return;
        Item item;
        item.kind = ItemKind::Token;
        item.offset = offset + pendingStart;
        item.length = end - pendingStart;
        item.text = "attributes";
        item.problem = "attributes without an operator";
        withAttributes(&item);
        out->push_back(std::move(item));
    };
    while (!r.done() && r.peek() != kFrameEscape) {
        std::size_t start = r.pos();
        std::uint8_t b = r.u8();
        if (TagName(b)) {
            TokenAttribute a;
            std::string problem;
            if (!ReadValue(r, b, &a.value, &problem)) {
                flushPending(start);
                problemItem(start, size - start, problem);
                return size;
            }
            if (!r.has(2) || r.peek() != kAttributeTag) {
                flushPending(start);
                problemItem(start, r.pos() - start, "value without an attribute");
                continue;
            }
            r.skip(1);
            a.id = r.u8();
            if (pending.empty()) pendingStart = start;
            pending.push_back(std::move(a));
            continue;
        }
        if (b == kDataTag || b == kDataByteTag) {
            std::size_t headSize = b == kDataTag ? 4 : 1;
            if (!r.has(headSize)) {
                flushPending(start);
                problemItem(start, size - start, "data length cut off by the end of the tokens");
                return size;
            }
            std::size_t length = b == kDataTag ? r.u32() : r.u8();
            if (!r.has(length)) {
                flushPending(start);
                problemItem(start, size - start,
                            "data of " + std::to_string(length) +
                                " bytes runs past the end of the tokens");
                return size;
            }
            const std::uint8_t* d = r.here();
            std::size_t dataAt = r.pos();
            r.skip(length);
            if (lastOperator >= 0 && pending.empty()) {
                Item& o = (*out)[static_cast<std::size_t>(lastOperator)];
                o.length = offset + r.pos() - o.offset;
                o.payloadSize = length;
                o.token.hasData = true;
                o.token.dataOffset = offset + dataAt;
                o.token.dataSize = length;
                o.fields.push_back({"data", std::to_string(length) + " bytes"});
                if (TakesPathPoints(o.opcode)) ReadPoints(&o, d, length);
                lastOperator = -1;
            } else {
                flushPending(start);
                problemItem(start, r.pos() - start, "data that follows no operator");
            }
            continue;
        }
        if (b == kAttributeTag) {
            flushPending(start);
            problemItem(start, 1, "attribute without a value");
            continue;
        }
        const char* name = TokenOperatorName(b);
        if (!name[0]) {
            // Not a token: what follows up to the next ESC is not read as tokens.
            flushPending(start);
            while (!r.done() && r.peek() != kFrameEscape)
                r.skip(1);
            problemItem(start, r.pos() - start,
                        "bytes outside any frame: " + Hex2(b) + " is not a drawing token");
            continue;
        }
        Item item;
        std::size_t from = pending.empty() ? start : pendingStart;
        item.kind = ItemKind::Token;
        item.offset = offset + from;
        item.length = r.pos() - from;
        item.opcode = b;
        item.text = name;
        withAttributes(&item);
        out->push_back(std::move(item));
        lastOperator = static_cast<long>(out->size() - 1);
    }
    flushPending(r.pos());
    return r.pos();
}

} // namespace streamdump
