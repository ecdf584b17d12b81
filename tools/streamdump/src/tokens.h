// The reader of the drawing tokens between frames (their format is described
// in opcodes.h). It is the only code that reads token bytes: the listing
// shows the fields it makes, the page renderer draws from the typed tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "opcodes.h"
#include "streamdump/decoder.h"

namespace streamdump {

// Decodes tokens from data[0..size) until an ESC at a token boundary or the
// end; one item per operator (with its attributes and data, typed in
// Item::token and as text in Item::fields), per stray value or data block,
// and per byte that is not a token. `offset` is data's place in the stream.
// Returns the bytes consumed (at least 1 when size > 0 and data[0] is not ESC).
std::size_t DecodeTokens(const std::uint8_t* data, std::size_t size, std::size_t offset,
                         std::vector<Item>* out);

} // namespace streamdump
