// Bitsqueeze: one-dimensional Modified Huffman coding of 1-bit raster lines and
// 1-bit raster rotation. Callers bind the exports by ordinal or name at run time;
// the two blocks below are the whole contract, so their byte offsets are fixed.
#pragma once

#include <cstddef>

#include "win/types.h"

// Status codes of the codec block and results of the exports.
#define T4_STATUS_START 0x00
#define T4_STATUS_CODE_MORE 0x82   // coder: call again to code more lines
#define T4_STATUS_DECODE_MORE 0x84 // decoder: call again to decode more lines
#define T4_STATUS_FINISH 0xFF      // caller or callback: no more room or data
#define T4_STATUS_DONE 0xC0
#define T4_STATUS_ERROR 0xC1

// Mode bits.
#define T4_MODE_MSB_FIRST 0x01   // most significant bit of each coded byte first
#define T4_MODE_ALIGNED_EOL 0x80 // every EOL ends on a byte boundary

struct T4CodecBlock;
// Called when the coded buffer is full (coder) or used up (decoder); it puts a new
// buffer into the block or sets the status to T4_STATUS_FINISH.
typedef void(WINAPI* T4CodecCallback)(T4CodecBlock* block);

struct T4CodecBlock {
    BYTE status;
    BYTE mode;
    BYTE rtcLength; // consecutive EOLs that end a page
    BYTE reserved3;
    WORD minLineBits;    // coder: every line, EOL included, is at least this long
    SHORT repairedLines; // decoder: lines replaced by their predecessor
    BYTE* coded;         // coded buffer
    DWORD codedBytes;    // coder: free bytes in it; decoder: bytes available
    DWORD bytesUsed;     // bytes written into (or taken from) the current coded buffer
    BYTE* raster;        // first raster line of this call
    WORD lineStride;     // bits from one raster line to the next (a multiple of 8)
    WORD linesPerCall;
    WORD linesThisCall; // decoder: lines written by the last call
    WORD reserved38;
    DWORD linesDone; // lines coded or decoded since the start of the page
    WORD width;      // pixels per line
    WORD reserved46;
    DWORD pageLines; // lines of the page (0: until RTC or the caller finishes)
    DWORD reserved52;
    WORD* changesA; // change lists, width + 5 entries each
    WORD* changesB;
    BYTE reserved72[16];
    T4CodecCallback callback;
    BYTE reserved96[24];
    BYTE state[48]; // owned by the codec during a page
};

static_assert(offsetof(T4CodecBlock, status) == 0);
static_assert(offsetof(T4CodecBlock, mode) == 1);
static_assert(offsetof(T4CodecBlock, rtcLength) == 2);
static_assert(offsetof(T4CodecBlock, minLineBits) == 4);
static_assert(offsetof(T4CodecBlock, repairedLines) == 6);
static_assert(offsetof(T4CodecBlock, coded) == 8);
static_assert(offsetof(T4CodecBlock, codedBytes) == 16);
static_assert(offsetof(T4CodecBlock, bytesUsed) == 20);
static_assert(offsetof(T4CodecBlock, raster) == 24);
static_assert(offsetof(T4CodecBlock, lineStride) == 32);
static_assert(offsetof(T4CodecBlock, linesPerCall) == 34);
static_assert(offsetof(T4CodecBlock, linesThisCall) == 36);
static_assert(offsetof(T4CodecBlock, linesDone) == 40);
static_assert(offsetof(T4CodecBlock, width) == 44);
static_assert(offsetof(T4CodecBlock, pageLines) == 48);
static_assert(offsetof(T4CodecBlock, changesA) == 56);
static_assert(offsetof(T4CodecBlock, changesB) == 64);
static_assert(offsetof(T4CodecBlock, callback) == 88);
static_assert(offsetof(T4CodecBlock, state) == 120);
static_assert(sizeof(T4CodecBlock) == 168);

// Rotation variants and the result codes of RAW2ROTATE.
#define RAW2ROTATE_PLAIN 0
#define RAW2ROTATE_MIRRORED 1
#define RAW2ROTATE_INVERTED 2
#define RAW2ROTATE_MIRRORED_INVERTED 3

struct Raw2RotateBlock {
    WORD variant;
    WORD angle; // 0, 90, 180 or 270, clockwise
    DWORD reserved4;
    BYTE* source;      // mirrored variants mirror the source lines in place
    WORD sourceStride; // bits per source line, also the source width
    WORD sourceLines;
    DWORD reserved20;
    BYTE* destination;
    WORD destinationStride; // bits per destination line
    WORD destinationLines;
    DWORD reserved36;
};

static_assert(offsetof(Raw2RotateBlock, variant) == 0);
static_assert(offsetof(Raw2RotateBlock, angle) == 2);
static_assert(offsetof(Raw2RotateBlock, source) == 8);
static_assert(offsetof(Raw2RotateBlock, sourceStride) == 16);
static_assert(offsetof(Raw2RotateBlock, sourceLines) == 18);
static_assert(offsetof(Raw2RotateBlock, destination) == 24);
static_assert(offsetof(Raw2RotateBlock, destinationStride) == 32);
static_assert(offsetof(Raw2RotateBlock, destinationLines) == 34);
static_assert(sizeof(Raw2RotateBlock) == 40);

// Export ordinals.
#define BITSQUEEZE_ORDINAL_COMPRESS 2
#define BITSQUEEZE_ORDINAL_DECOMPRESS 3
#define BITSQUEEZE_ORDINAL_RAW2ROTATE 5

DLLEXPORT int WINAPI COMPRESS(T4CodecBlock* block);
DLLEXPORT int WINAPI DECOMPRESS(T4CodecBlock* block);
DLLEXPORT int WINAPI RAW2ROTATE(Raw2RotateBlock* block);
typedef decltype(&COMPRESS) PFN_COMPRESS;
typedef decltype(&DECOMPRESS) PFN_DECOMPRESS;
typedef decltype(&RAW2ROTATE) PFN_RAW2ROTATE;
