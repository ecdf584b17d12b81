// The parameter block that the graphics library hands to the outside JBIG
// coder's CMPJDLL, and the coder's result codes. Both sides of the call use
// this one description, so its byte offsets are fixed here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/types.h"

namespace outside {

struct JbigCodecBlock;
typedef void (*JbigChunkCallback)(JbigCodecBlock* block);

struct JbigCodecBlock {
    std::uint8_t status;  // 0 at start
    std::uint8_t planes;  // 1
    std::uint8_t option2; // 6
    std::uint8_t option3; // 4
    std::uint16_t zero4;
    std::uint8_t* output;      // the coder's output buffer
    std::uint32_t outputSize;  // 2048
    std::uint32_t outputBytes; // bytes the coder put into the output buffer
    const std::uint8_t* bits;  // the 1-bit image, 1 = black, rows of whole 32-bit words
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t zero36;
    std::uint8_t pad38[6];
    std::uint16_t width2; // width again
    std::uint16_t pad46;
    std::uint32_t height2; // height again
    std::uint32_t pad52;
    std::uint8_t* work[3]; // three work buffers of 2048 bytes
    // How the coder codes the image (JBIG header fields), as the library
    // always sets them: see below.
    std::uint8_t order;        // 3: JBIG order byte
    std::uint8_t option81;     // 0
    std::uint8_t typical;      // 1: typical prediction of lines like the last
    std::uint8_t option83;     // 0
    std::uint32_t stripeLines; // 128: lines a stripe (L0)
    JbigChunkCallback callback;
    std::uint8_t* sendBuffer; // the chunk writer sends from here
    void* owner;              // the physical device
    std::uint32_t firstSent;  // 0 until the first chunk was written
};

static_assert(offsetof(JbigCodecBlock, output) == 8);
static_assert(offsetof(JbigCodecBlock, outputSize) == 16);
static_assert(offsetof(JbigCodecBlock, outputBytes) == 20);
static_assert(offsetof(JbigCodecBlock, bits) == 24);
static_assert(offsetof(JbigCodecBlock, width) == 32);
static_assert(offsetof(JbigCodecBlock, height) == 34);
static_assert(offsetof(JbigCodecBlock, zero36) == 36);
static_assert(offsetof(JbigCodecBlock, width2) == 44);
static_assert(offsetof(JbigCodecBlock, height2) == 48);
static_assert(offsetof(JbigCodecBlock, work) == 56);
static_assert(offsetof(JbigCodecBlock, order) == 80);
static_assert(offsetof(JbigCodecBlock, typical) == 82);
static_assert(offsetof(JbigCodecBlock, stripeLines) == 84);
static_assert(offsetof(JbigCodecBlock, callback) == 88);
static_assert(offsetof(JbigCodecBlock, sendBuffer) == 96);
static_assert(offsetof(JbigCodecBlock, owner) == 104);
static_assert(offsetof(JbigCodecBlock, firstSent) == 112);
static_assert(sizeof(JbigCodecBlock) == 120);

// Results of CMPJDLL.
constexpr int kJbigCallAgain = 130;
constexpr int kJbigCallAgain2 = 132;
constexpr int kJbigDone = 192;
constexpr int kJbigError = 193;

constexpr std::uint32_t kJbigBufferSize = 2048;

// The values the graphics library puts into the coding fields: one bit plane,
// interleaved and SMID order (the order byte's bits 1 and 0), typical
// prediction on, stripes of 128 lines. The template's adaptive pixel is the
// coder's own choice.
constexpr std::uint8_t kJbigPlanes = 1;
constexpr std::uint8_t kJbigOrder = 3;
constexpr std::uint8_t kJbigTypical = 1;
constexpr std::uint32_t kJbigStripeLines = 128;

} // namespace outside

// The coder's one export, declared once: Dotpacker defines it against this
// declaration and the graphics library calls it through its type.
DLLEXPORT int CMPJDLL(outside::JbigCodecBlock* block);

namespace outside {
typedef decltype(&::CMPJDLL) PFN_CMPJDLL;
} // namespace outside
