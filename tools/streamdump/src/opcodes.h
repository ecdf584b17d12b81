// The format the decoder reads: the frame opcodes with the layout of their
// payloads, and the drawing tokens that travel between frames (data-type
// tags, attribute ids and operators, with their names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream_opcodes.h"
#include "streamdump/decoder.h"

namespace streamdump {

enum class FieldKind {
    U8,
    U16,
    Paper, // u8: the system's paper number
    Text,  // fixed-size text, NUL-padded
    Data,  // the rest of the payload
};

struct FieldSpec {
    const char* name;
    FieldKind kind;
    std::size_t size;            // Text: its bytes
    const char* const* meanings; // U8: names of the values 0.. (null: none)
    std::size_t meaningCount;
};

struct OpcodeSpec {
    int opcode;
    const char* name;
    std::vector<FieldSpec> fields;
};

// A paper by the system's number for it, as the paper size frame carries it.
struct PaperSpec {
    int id;
    const char* name;
    double widthMm, heightMm;
};

// The paper of that number, or null for one the decoder does not know.
const PaperSpec* FindPaper(int id);

// The description of an opcode, or null.
const OpcodeSpec* FindOpcode(int opcode);

// The payload's fields by the opcode's description; a payload whose size does
// not fit the description sets *problem.
std::vector<Field> DecodePayload(const OpcodeSpec& spec, const std::uint8_t* payload,
                                 std::size_t size, std::string* problem);

// Helpers over the drawing tokens, whose codes stream_opcodes.h defines.
namespace token {

// The name of a data-type tag ("ubyte", "sint16 pair", ...), or null for a
// byte that is not one.
const char* TagName(int tag);
// How many numbers a value of the tag holds (0 for arrays, whose length is
// in the stream) and the bytes of each.
int TagCount(int tag);
int TagEntryBytes(int tag);
bool TagSigned(int tag);

// Whether the operator's embedded data are the points of a path.
bool TakesPathPoints(int op);

} // namespace token

// The name of a drawing operator or attribute, or "" for an unknown one.
const char* TokenOperatorName(int op);
const char* TokenAttributeName(int id);

} // namespace streamdump
