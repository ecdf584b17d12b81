// A decoder of the printer stream: the UEL sequences and PJL lines around the
// job, the raw sequences that open and close the graphics job, and every
// escape-framed command with its opcode's name and payload fields. Whatever
// it cannot parse is kept as an item with a problem, never skipped silently.
//
// Frame: ESC, u16 little-endian length (1 + payload), opcode letter, payload.
// Raw sequences: UEL "ESC %-12345X"; 1B 27 31 opens the graphics job after
// "@PJL ENTER LANGUAGE=..."; 1B 00 00 (an empty frame) closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace streamdump {

enum class ItemKind {
    Uel,      // ESC %-12345X
    PjlLine,  // "@PJL ..." up to its line end
    JobOpen,  // 1B 27 31
    JobClose, // 1B 00 00
    Frame,    // ESC, length, opcode, payload
    Bytes,    // bytes that could not be parsed
    Token,    // a drawing operator with its attributes and data, between frames
};

struct Field {
    std::string name;
    std::string value; // as the listing shows it
    long number = -1;  // a whole-number field's value; -1 for text and data
};

// A drawing token's value: its data-type tag and its numbers (one, a pair, a
// box of left, top, right, bottom, or an array's entries).
struct TokenValue {
    int tag = 0;
    std::vector<double> numbers;

    // A single whole number (ubyte, uint16 or sint16); false for anything else.
    bool Whole(long* out) const;
};

struct TokenAttribute {
    int id = 0;
    TokenValue value;
};

struct TokenPoint {
    long x = 0, y = 0;
};

// A drawing operator as read from the stream, with its attributes in stream
// order and the embedded data that follows it.
struct Token {
    std::vector<TokenAttribute> attributes;
    bool hasData = false;
    std::size_t dataOffset = 0; // in the stream
    std::size_t dataSize = 0;
    std::vector<TokenPoint> points; // path operators: the points their data hold

    // The attribute's value (the last one given), or null.
    const TokenValue* Find(int id) const;
};

struct Item {
    ItemKind kind = ItemKind::Bytes;
    std::size_t offset = 0; // in the stream
    std::size_t length = 0; // bytes the item covers
    std::string text;       // PjlLine: the line without its end; Frame, Token: the opcode's name
    std::string lineEnd;    // PjlLine: "CRLF", "LF" or "" when the stream ended first
    int opcode = -1;        // Frame: the opcode byte; Token: the operator byte
    std::size_t payloadSize = 0; // Frame: its payload; Token: its embedded data
    std::vector<Field> fields; // Frame: the payload's fields; Token: the listing's text of `token`
    Token token;               // Token: the operator, typed
    std::string problem;       // empty when the item was understood
};

struct Decoding {
    std::vector<Item> items;
    std::size_t problems = 0;
};

Decoding Decode(const std::uint8_t* data, std::size_t size);
inline Decoding Decode(const std::vector<std::uint8_t>& bytes) {
    return Decode(bytes.data(), bytes.size());
}

// One line per item, problems marked with "!", and a closing summary.
std::string Format(const Decoding& decoding);

// The name of a frame opcode, or "" for one the decoder does not know.
std::string OpcodeName(int opcode);

} // namespace streamdump
