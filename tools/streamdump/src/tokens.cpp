// Decoder of the drawing tokens. Every read is checked against the size.
#include "tokens.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace streamdump {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kAttr = 0xF8;
constexpr std::uint8_t kData = 0xFA;
constexpr std::uint8_t kDataByte = 0xFB;
constexpr std::size_t kMaxListed = 64; // array entries and points shown

struct Named {
    int id;
    const char* name;
};

const Named kOperators[] = {
    {0x63, "set brush source"},     {0x68, "set clip rectangle"},  {0x6B, "set cursor"},
    {0x6E, "set fill mode"},        {0x70, "set line dash"},       {0x71, "set line cap"},
    {0x72, "set line join"},        {0x73, "set miter limit"},     {0x78, "set paint transfer mode"},
    {0x79, "set pen source"},       {0x7A, "set pen width"},       {0x7B, "set raster operation"},
    {0x7C, "set source transfer mode"}, {0x84, "close subpath"},   {0x85, "new path"},
    {0x86, "paint path"},           {0x93, "bezier path"},         {0x95, "bezier path, relative"},
    {0x9B, "line path"},            {0x9D, "line path, relative"}, {0xA0, "rectangle"},
    {0xA1, "rectangle path"},       {0xB3, "begin raster pattern"}, {0xB4, "read raster pattern"},
    {0xB5, "end raster pattern"},
};

const Named kAttributes[] = {
    {0x04, "no brush"},          {0x05, "no pen"},           {0x08, "pattern"},
    {0x09, "gray level"},        {0x0B, "rgb colour"},       {0x2C, "raster operation"},
    {0x2D, "transfer mode"},     {0x42, "bounding box"},     {0x45, "end point"},
    {0x46, "fill mode"},         {0x47, "line cap"},         {0x48, "line join"},
    {0x49, "miter length"},      {0x4A, "dash style"},       {0x4B, "pen width"},
    {0x4C, "point"},             {0x4D, "number of points"}, {0x4E, "solid line"},
    {0x50, "point type"},        {0x51, "control point 1"},  {0x52, "control point 2"},
    {0x53, "clip region"},       {0x62, "colour depth"},     {0x63, "block height"},
    {0x64, "colour mapping"},    {0x65, "compression"},      {0x67, "destination size"},
    {0x68, "pattern persistence"}, {0x69, "pattern id"},     {0x6B, "source height"},
    {0x6C, "source width"},      {0x6D, "start line"},
};

const char* Find(const Named* table, std::size_t n, int id) {
    for (std::size_t i = 0; i < n; ++i)
        if (table[i].id == id) return table[i].name;
    return "";
}

// A decoded value: its text and, for whole numbers, the number.
struct Value {
    std::string text;
    long number = 0;
    bool isNumber = false;
};

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
    int s16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | p_[pos_ + i];
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

std::string Num(long v) { return std::to_string(v); }

// Reads the value of tag `t` (already consumed); false when cut short or malformed.
bool ReadValue(TokenReader& r, std::uint8_t t, Value* v, std::string* problem) {
    auto need = [&](std::size_t k) {
        if (r.has(k)) return true;
        *problem = "value cut off by the end of the tokens";
        return false;
    };
    switch (t) {
    case 0xC0:
        if (!need(1)) return false;
        v->number = r.u8();
        v->isNumber = true;
        v->text = "ubyte " + Num(v->number);
        return true;
    case 0xC1:
        if (!need(2)) return false;
        v->number = r.u16();
        v->isNumber = true;
        v->text = "uint16 " + Num(v->number);
        return true;
    case 0xC3:
        if (!need(2)) return false;
        v->number = r.s16();
        v->isNumber = true;
        v->text = "sint16 " + Num(v->number);
        return true;
    case 0xC5: {
        if (!need(4)) return false;
        std::uint32_t bits = r.u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        char buf[48];
        std::snprintf(buf, sizeof buf, "real32 %g", static_cast<double>(f));
        v->text = buf;
        return true;
    }
    case 0xC8:
    case 0xC9: {
        if (!need(1)) return false;
        std::uint8_t lt = r.u8();
        std::size_t count = 0;
        if (lt == 0xC0 && need(1)) count = r.u8();
        else if (lt == 0xC1 && need(2)) count = r.u16();
        else {
            if (problem->empty()) *problem = "array length without a ubyte or uint16 tag";
            return false;
        }
        std::size_t each = t == 0xC8 ? 1 : 2;
        if (!need(count * each)) return false;
        v->text = std::string(t == 0xC8 ? "ubyte" : "uint16") + " array [";
        for (std::size_t i = 0; i < count; ++i) {
            long e = each == 1 ? r.u8() : static_cast<long>(r.u16());
            if (i < kMaxListed) v->text += (i ? " " : "") + Num(e);
            else if (i == kMaxListed) v->text += " ...";
        }
        v->text += "]";
        return true;
    }
    case 0xD0:
        if (!need(2)) return false;
        v->text = "ubyte pair (" + Num(r.u8());
        v->text += ", " + Num(r.u8()) + ")";
        return true;
    case 0xD1:
        if (!need(4)) return false;
        v->text = "uint16 pair (" + Num(r.u16());
        v->text += ", " + Num(r.u16()) + ")";
        return true;
    case 0xD3:
        if (!need(4)) return false;
        v->text = "sint16 pair (" + Num(r.s16());
        v->text += ", " + Num(r.s16()) + ")";
        return true;
    case 0xE1:
    case 0xE3: {
        if (!need(8)) return false;
        long b[4];
        for (long& e : b) e = t == 0xE1 ? static_cast<long>(r.u16()) : r.s16();
        v->text = std::string(t == 0xE1 ? "uint16" : "sint16") + " box (" + Num(b[0]) + ", " + Num(b[1]) + ", " +
                  Num(b[2]) + ", " + Num(b[3]) + ")";
        return true;
    }
    default: *problem = "unknown data-type tag"; return false;
    }
}

bool IsValueTag(std::uint8_t b) {
    switch (b) {
    case 0xC0: case 0xC1: case 0xC3: case 0xC5: case 0xC8: case 0xC9:
    case 0xD0: case 0xD1: case 0xD3: case 0xE1: case 0xE3: return true;
    default: return false;
    }
}

std::string Hex2(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

// The number of a value text "<prefix><digits>"; false for anything else.
bool WholeNumber(const std::string& text, const char* prefix, long* out) {
    std::size_t n = std::strlen(prefix);
    if (text.compare(0, n, prefix) != 0 || text.size() == n || text.size() > n + 5) return false;
    long v = 0;
    for (std::size_t i = n; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *out = v;
    return true;
}

// The points of a path operator's data by its point count and type.
void DecodePoints(Item* item, const std::uint8_t* d, std::size_t n) {
    long count = -1, type = -1;
    for (const Field& f : item->fields) {
        long v = -1;
        if (f.name == "number of points" && (WholeNumber(f.value, "ubyte ", &v) || WholeNumber(f.value, "uint16 ", &v)))
            count = v;
        if (f.name == "point type" && WholeNumber(f.value, "ubyte ", &v)) type = v;
    }
    if (count < 0 || type < 0 || type > 3) {
        item->problem = "path data without a number of points and a point type";
        return;
    }
    std::size_t each = type < 2 ? 2 : 4;
    if (static_cast<std::size_t>(count) * each != n) {
        item->problem = "path data of " + std::to_string(n) + " bytes for " + std::to_string(count) + " points";
        return;
    }
    std::string text;
    for (long i = 0; i < count; ++i) {
        const std::uint8_t* p = d + i * each;
        long x, y;
        switch (type) {
        case 0: x = p[0], y = p[1]; break;
        case 1: x = static_cast<std::int8_t>(p[0]), y = static_cast<std::int8_t>(p[1]); break;
        case 2: x = p[0] | (p[1] << 8), y = p[2] | (p[3] << 8); break;
        default:
            x = static_cast<std::int16_t>(p[0] | (p[1] << 8));
            y = static_cast<std::int16_t>(p[2] | (p[3] << 8));
            break;
        }
        if (i < static_cast<long>(kMaxListed)) text += (i ? " (" : "(") + Num(x) + ", " + Num(y) + ")";
        else if (i == static_cast<long>(kMaxListed)) text += " ...";
    }
    item->fields.push_back({"points", text});
}

} // namespace

const char* TokenOperatorName(int op) { return Find(kOperators, sizeof kOperators / sizeof kOperators[0], op); }
const char* TokenAttributeName(int id) { return Find(kAttributes, sizeof kAttributes / sizeof kAttributes[0], id); }

std::size_t DecodeTokens(const std::uint8_t* data, std::size_t size, std::size_t offset, std::vector<Item>* out) {
    TokenReader r(data, size);
    std::vector<Field> pending;
    std::size_t pendingStart = 0;
    bool havePending = false;
    long lastOperator = -1; // the operator item that embedded data may follow
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
        if (!havePending) return;
        Item item;
        item.kind = ItemKind::Token;
        item.offset = offset + pendingStart;
        item.length = end - pendingStart;
        item.text = "attributes";
        item.fields = std::move(pending);
        item.problem = "attributes without an operator";
        out->push_back(std::move(item));
        pending.clear();
        havePending = false;
    };
    while (!r.done() && r.peek() != kEsc) {
        std::size_t start = r.pos();
        std::uint8_t b = r.u8();
        if (IsValueTag(b)) {
            Value v;
            std::string problem;
            if (!ReadValue(r, b, &v, &problem)) {
                flushPending(start);
                problemItem(start, size - start, problem);
                return size;
            }
            if (!r.has(2) || r.peek() != kAttr) {
                flushPending(start);
                problemItem(start, r.pos() - start, "value without an attribute");
                continue;
            }
            r.skip(1);
            int id = r.u8();
            const char* name = TokenAttributeName(id);
            if (!havePending) pendingStart = start;
            havePending = true;
            pending.push_back({name[0] ? name : "attribute " + Hex2(id), v.text});
            continue;
        }
        if (b == kData || b == kDataByte) {
            std::size_t headSize = b == kData ? 4 : 1;
            if (!r.has(headSize)) {
                flushPending(start);
                problemItem(start, size - start, "data length cut off by the end of the tokens");
                return size;
            }
            std::size_t length = b == kData ? r.u32() : r.u8();
            if (!r.has(length)) {
                flushPending(start);
                problemItem(start, size - start,
                            "data of " + std::to_string(length) + " bytes runs past the end of the tokens");
                return size;
            }
            const std::uint8_t* d = r.here();
            r.skip(length);
            if (lastOperator >= 0 && !havePending) {
                Item& o = (*out)[static_cast<std::size_t>(lastOperator)];
                o.length = offset + r.pos() - o.offset;
                o.payloadSize = length;
                o.fields.push_back({"data", std::to_string(length) + " bytes"});
                if (o.opcode == 0x95 || o.opcode == 0x9B || o.opcode == 0x9D) DecodePoints(&o, d, length);
                lastOperator = -1;
            } else {
                flushPending(start);
                problemItem(start, r.pos() - start, "data that follows no operator");
            }
            continue;
        }
        const char* name = TokenOperatorName(b);
        if (b == kAttr) {
            flushPending(start);
            problemItem(start, 1, "attribute without a value");
            continue;
        }
        if (!name[0]) {
            // Not a token: what follows up to the next ESC is not read as tokens.
            flushPending(start);
            while (!r.done() && r.peek() != kEsc) r.skip(1);
            problemItem(start, r.pos() - start, "bytes outside any frame: " + Hex2(b) + " is not a drawing token");
            continue;
        }
        Item item;
        item.kind = ItemKind::Token;
        item.offset = offset + (havePending ? pendingStart : start);
        item.length = r.pos() - (havePending ? pendingStart : start);
        item.opcode = b;
        item.text = name;
        item.fields = std::move(pending);
        pending.clear();
        havePending = false;
        out->push_back(std::move(item));
        lastOperator = static_cast<long>(out->size() - 1);
    }
    flushPending(r.pos());
    return r.pos();
}

} // namespace streamdump
