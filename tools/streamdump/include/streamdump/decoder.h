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
    std::string value;
};

struct Item {
    ItemKind kind = ItemKind::Bytes;
    std::size_t offset = 0; // in the stream
    std::size_t length = 0; // bytes the item covers
    std::string text;       // PjlLine: the line without its end; Frame, Token: the opcode's name
    std::string lineEnd;    // PjlLine: "CRLF", "LF" or "" when the stream ended first
    int opcode = -1;        // Frame: the opcode byte; Token: the operator byte
    std::size_t payloadSize = 0; // Frame: its payload; Token: its embedded data
    std::vector<Field> fields;
    std::string problem; // empty when the item was understood
};

struct Decoding {
    std::vector<Item> items;
    std::size_t problems = 0;
};

Decoding Decode(const std::uint8_t* data, std::size_t size);
inline Decoding Decode(const std::vector<std::uint8_t>& bytes) { return Decode(bytes.data(), bytes.size()); }

// One line per item, problems marked with "!", and a closing summary.
std::string Format(const Decoding& decoding);

// The name of a frame opcode, or "" for one the decoder does not know.
std::string OpcodeName(int opcode);

} // namespace streamdump
