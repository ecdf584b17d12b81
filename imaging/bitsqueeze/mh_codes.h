// The Modified Huffman code tables of one-dimensional Group 3 coding, and the
// lookup tables built from them for the coder and the decoder.
#pragma once

#include <array>
#include <cstdint>

// The tables are the library's own: hidden, so that code reaches them directly
// rather than through the global offset table.
#define BITSQUEEZE_TABLE extern __attribute__((visibility("hidden"))) const

namespace bitsqueeze {

enum Colour { kWhite = 0, kBlack = 1 };

constexpr int kEolBits = 12; // 000000000001
constexpr uint32_t kEolCode = 1;
constexpr int kMaxRun = 2560;        // longest single make-up code
constexpr int kDecodeIndexBits = 13; // longest code (black make-up)

// A run of 0 to kMaxRun - 1 pixels as one bit string: its make-up code (when 64
// or more) followed by its terminating code; at most 13 + 12 bits.
struct RunCode {
    uint32_t bits; // right-aligned
    uint8_t length;
};
BITSQUEEZE_TABLE std::array<RunCode, kMaxRun> kRunCodes[2];
BITSQUEEZE_TABLE RunCode kMakeup2560;

// Decoder entry for the next 13 bits of the stream: the code length and its run.
// A run of 64 or more is a make-up code; length 0 means no code starts here (an
// EOL, fill, or an invalid bit pattern).
struct DecodeEntry {
    uint16_t packed; // run << 4 | length
    constexpr int Length() const { return packed & 15; }
    constexpr int Run() const { return packed >> 4; }
};
BITSQUEEZE_TABLE std::array<DecodeEntry, 1 << kDecodeIndexBits> kDecodeTables[2];

// A white terminating code directly followed by a black terminating code within
// the next 13 bits: both runs from one lookup (length 0 when they do not fit).
struct PairEntry {
    uint8_t length;
    uint8_t white;
    uint8_t black;
};
BITSQUEEZE_TABLE std::array<PairEntry, 1 << kDecodeIndexBits> kPairTable;

} // namespace bitsqueeze
