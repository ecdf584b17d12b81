// The frame opcodes the decoder knows, with the layout of their payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

enum class FieldKind {
    U8,
    U16,
    Text, // fixed-size text, NUL-padded
    Data, // the rest of the payload
};

struct FieldSpec {
    const char* name;
    FieldKind kind;
    std::size_t size;              // Text: its bytes
    const char* const* meanings;   // U8: names of the values 0.. (null: none)
    std::size_t meaningCount;
};

struct OpcodeSpec {
    int opcode;
    const char* name;
    std::vector<FieldSpec> fields;
};

// The description of an opcode, or null.
const OpcodeSpec* FindOpcode(int opcode);

// The payload's fields by the opcode's description; a payload whose size does
// not fit the description sets *problem.
std::vector<Field> DecodePayload(const OpcodeSpec& spec, const std::uint8_t* payload, std::size_t size,
                                 std::string* problem);

} // namespace streamdump
