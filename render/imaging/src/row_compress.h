// Row compression of raster images: run-length (PackBits) and delta-row
// against a seed row, with the per-image state that holds their buffers.
#pragma once

#include "win/types.h"

namespace inkforge {

// Mode flags of a compression state, and the mode a row went out in.
constexpr DWORD kModeRunLength = 1;
constexpr DWORD kModeDeltaRow = 4;
// The compression byte of an image block for each mode.
constexpr BYTE kBlockRunLength = 1;
constexpr BYTE kBlockDeltaRow = 3;

// The most bytes a delta-row row's count can say.
constexpr DWORD kMaxDeltaCount = 0xFFFF;

struct CompressState {
    DWORD rowBytes;
    DWORD modes;
    WORD lastMode;       // mode of the last row: 0 none, kModeRunLength, kModeDeltaRow
    const BYTE* lastOut; // bytes of the last row
    DWORD lastLength;
    BYTE* seed;        // rowBytes, delta-row only
    BYTE* deltaOut;    // 2 x rowBytes + room for the count
    BYTE* runOut;      // 2 x rowBytes + room
    BYTE* previousRow; // run-length: the row last packed, to reuse its bytes
    bool havePrevious;
};

// The bytes that n pixels take in a bitmap format (BMF_*).
DWORD BytesForPixels(ULONG format, DWORD n);
// Rounded up to a multiple of 4.
inline DWORD RoundRow(DWORD bytes) {
    return (bytes + 3) & ~3u;
}

// 0 for rowBytes 0 or when memory runs out (nothing stays allocated).
BOOL InitCompressBuffers(CompressState* state, DWORD rowBytes, DWORD modes);
void FreeCompressBuffers(CompressState* state);

// The bytes to send for one row: compressed, or the row itself with no mode.
// Null for a null row or a length other than the state's row bytes.
// In delta-row mode a row whose commands would pass kMaxDeltaCount cannot be
// said as a delta: it goes out run-length (mode kModeRunLength) and becomes
// the seed, as the printer takes every decoded row as its next seed.
const BYTE* CompressRow(CompressState* state, const BYTE* row, DWORD length, DWORD* outLength,
                        WORD* modeUsed);

// PackBits of one row into out (at least 2 x length + 2 bytes).
void PackRunLength(const BYTE* row, BYTE* out, DWORD length, DWORD* outLength);
// Delta-row of one row against the seed into out (at least 2 x length + 2
// bytes): u16 count, then the commands. Returns the command count, which may
// pass kMaxDeltaCount (then the row cannot be sent this way). The seed is not
// changed.
DWORD PackDeltaRow(const BYTE* row, const BYTE* seed, BYTE* out, DWORD length, DWORD* outLength);

} // namespace inkforge
