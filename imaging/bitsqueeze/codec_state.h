// The codec's private state, kept in the 48 bytes at the end of the caller's
// T4CodecBlock between the calls of one page.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/bitsqueeze.h"

namespace bitsqueeze {

struct CodecState {
    uint64_t acc;        // bit accumulator, the next bit in its top bit
    const BYTE* buffer;  // the coded buffer the codec was last given
    uint32_t bufferSize; // its size as given
    uint32_t offset;     // bytes of it already moved to or from the accumulator
    uint32_t repaired;   // decoder: repaired lines since the start
    uint16_t magic;      // kPageMagic while a page is in progress
    uint8_t accBits;     // valid bits in acc
    uint8_t flags;       // kNeedSync, kEndOfData, kEolPending
    uint16_t eolRun;     // decoder: consecutive EOLs seen
    uint16_t reserved;
    uint32_t lineBits; // coder: bits of the line being coded
    uint8_t spare[8];

    static constexpr uint16_t kPageMagic = 0x5451; // "QT"
    static constexpr uint8_t kNeedSync = 1;        // decoder: skip to the next EOL
    static constexpr uint8_t kEndOfData = 2;       // decoder: the callback has no more data
    static constexpr uint8_t kEolPending = 4;      // decoder: the next line's EOL is already read

    static CodecState Load(const T4CodecBlock* block) {
        CodecState s;
        std::memcpy(&s, block->state, sizeof s);
        return s;
    }
    void Store(T4CodecBlock* block) const { std::memcpy(block->state, this, sizeof *this); }

    // The caller may hand over a new coded buffer between calls; the codec then
    // continues at its start.
    void AdoptBuffer(const T4CodecBlock* block) {
        if (block->coded != buffer || block->codedBytes != bufferSize) {
            buffer = block->coded;
            bufferSize = block->coded ? block->codedBytes : 0;
            offset = 0;
        }
        if (offset > bufferSize) offset = bufferSize;
    }
};
static_assert(sizeof(CodecState) == sizeof(T4CodecBlock::state));

// Checks common to both directions: mode, geometry and the caller's arrays.
inline bool ModeValid(const T4CodecBlock* block) {
    int m = block->mode & 0x7F;
    return m == 2 || m == 3;
}

inline bool GeometryValid(const T4CodecBlock* block) {
    // Change-list positions run to width + 2 and must fit in 16 bits; a line must
    // fit in its stride.
    return block->width >= 1 && block->width <= 65533 && block->lineStride % 8 == 0 &&
           block->width <= block->lineStride && block->linesPerCall > 0 && block->raster &&
           block->changesA && block->changesB;
}

} // namespace bitsqueeze
