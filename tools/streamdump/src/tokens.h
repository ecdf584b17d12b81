// The drawing tokens between frames: values (a data-type tag and its
// little-endian bytes), attributes (0xF8 and an id, after their value),
// operators (one byte, after their attributes) and embedded data (0xFA u32
// length or 0xFB u8 length, then the bytes, after the operator that reads it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

// Decodes tokens from data[0..size) until an ESC at a token boundary or the
// end; one item per operator (with its attributes and data), per stray
// value or data block, and per byte that is not a token. Returns the bytes
// consumed (at least 1 when size > 0 and data[0] is not ESC).
std::size_t DecodeTokens(const std::uint8_t* data, std::size_t size, std::size_t offset, std::vector<Item>* out);

// The name of a drawing operator or attribute, or "" for an unknown one.
const char* TokenOperatorName(int op);
const char* TokenAttributeName(int id);

} // namespace streamdump
