// Run-length and delta-row row compression.
#include "row_compress.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "win/base.h"
#include "win/winddi.h"

namespace inkforge {
namespace {

constexpr DWORD kMaxRun = 128;
constexpr DWORD kMaxDeltaRun = 8;
constexpr DWORD kInlineOffsetLimit = 31;
constexpr BYTE kOffsetFollows = 31;

BYTE* Zeroed(size_t n) {
    return static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, n));
}

size_t OutputRoom(DWORD rowBytes) {
    return 2 * static_cast<size_t>(rowBytes) + 2 + 8;
}

} // namespace

DWORD BytesForPixels(ULONG format, DWORD n) {
    switch (format) {
    case BMF_1BPP:
        return (n + 7) / 8;
    case BMF_4BPP:
        return (n + 1) / 2;
    case BMF_8BPP:
        return n;
    case BMF_16BPP:
        return 2 * n;
    case BMF_24BPP:
        return 3 * n;
    case BMF_32BPP:
        return 4 * n;
    default:
        return n;
    }
}

BOOL InitCompressBuffers(CompressState* state, DWORD rowBytes, DWORD modes) {
    *state = CompressState{};
    if (rowBytes == 0) return FALSE;
    state->rowBytes = rowBytes;
    state->modes = modes;
    bool ok = true;
    if (modes & kModeDeltaRow) {
        state->seed = Zeroed(rowBytes);
        state->deltaOut = Zeroed(OutputRoom(rowBytes));
        ok = state->seed && state->deltaOut;
    }
    // Delta-row falls back to run-length for a row it cannot say.
    if (ok && (modes & (kModeRunLength | kModeDeltaRow))) {
        state->runOut = Zeroed(OutputRoom(rowBytes));
        state->previousRow = Zeroed(rowBytes);
        ok = state->runOut && state->previousRow;
    }
    if (!ok) {
        FreeCompressBuffers(state);
        return FALSE;
    }
    return TRUE;
}

void FreeCompressBuffers(CompressState* state) {
    for (BYTE** p : {&state->seed, &state->deltaOut, &state->runOut, &state->previousRow}) {
        if (*p) GlobalFree(*p);
        *p = nullptr;
    }
    state->rowBytes = 0;
    state->lastOut = nullptr;
}

namespace {

constexpr DWORD kLane = 16;

// The first position p in [from, length - 1) where row[p] equals row[p + 1]
// (a repeat starts), or length when there is none; 16 positions at a time.
DWORD NextPair(const BYTE* row, DWORD from, DWORD length) {
    DWORD p = from;
    for (; p + kLane + 1 <= length; p += kLane) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + p + 1));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
        if (m) return p + static_cast<DWORD>(__builtin_ctz(m));
    }
    for (; p + 1 < length; ++p)
        if (row[p] == row[p + 1]) return p;
    return length;
}

// How many bytes from `at` (at most `limit`) equal row[at].
DWORD RunFrom(const BYTE* row, DWORD at, DWORD limit) {
    const BYTE v = row[at];
    const __m128i all = _mm_set1_epi8(static_cast<char>(v));
    DWORD n = 1;
    for (; n + kLane <= limit; n += kLane) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at + n));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, all))) ^ 0xFFFF;
        if (m) return n + static_cast<DWORD>(__builtin_ctz(m));
    }
    while (n < limit && row[at + n] == v)
        ++n;
    return n;
}

// The first position from `from` where the row differs from the seed, or length.
DWORD NextChange(const BYTE* row, const BYTE* seed, DWORD from, DWORD length) {
    DWORD p = from;
    for (; p + kLane <= length; p += kLane) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(seed + p));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) ^ 0xFFFF;
        if (m) return p + static_cast<DWORD>(__builtin_ctz(m));
    }
    while (p < length && row[p] == seed[p])
        ++p;
    return p;
}

// How many bytes from `at`, where the row differs from the seed, differ in a
// row (at most a delta run's 8).
DWORD ChangedRun(const BYTE* row, const BYTE* seed, DWORD at, DWORD length) {
    const DWORD limit = std::min(kMaxDeltaRun, length - at);
    if (at + kLane <= length) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(seed + at));
        unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
        return std::min(same ? static_cast<DWORD>(__builtin_ctz(same)) : kLane, limit);
    }
    DWORD n = 0;
    while (n < limit && row[at + n] != seed[at + n])
        ++n;
    return n;
}

} // namespace

void PackRunLength(const BYTE* row, BYTE* out, DWORD length, DWORD* outLength) {
    DWORD o = 0, i = 0;
    while (i < length) {
        // Literal bytes up to the next pair of equal bytes, in groups of at most 128.
        const DWORD pair = NextPair(row, i, length);
        while (i < pair) {
            const DWORD n = std::min(pair - i, kMaxRun);
            out[o++] = static_cast<BYTE>(n - 1);
            std::memcpy(out + o, row + i, n);
            o += n;
            i += n;
        }
        if (i >= length) break;
        const DWORD run = RunFrom(row, i, std::min(kMaxRun, length - i));
        out[o++] = static_cast<BYTE>(257 - run); // -(run - 1)
        out[o++] = row[i];
        i += run;
    }
    *outLength = o;
}

DWORD PackDeltaRow(const BYTE* row, const BYTE* seed, BYTE* out, DWORD length, DWORD* outLength) {
    DWORD o = 2, i = 0, next = 0;
    while ((i = NextChange(row, seed, i, length)) < length) {
        const DWORD start = i, count = ChangedRun(row, seed, i, length);
        i += count;
        DWORD offset = start - next;
        if (offset < kInlineOffsetLimit) {
            out[o++] = static_cast<BYTE>(((count - 1) << 5) | offset);
        } else {
            out[o++] = static_cast<BYTE>(((count - 1) << 5) | kOffsetFollows);
            DWORD rest = offset - kInlineOffsetLimit;
            while (rest >= 255) {
                out[o++] = 255;
                rest -= 255;
            }
            out[o++] = static_cast<BYTE>(rest);
        }
        std::memcpy(out + o, row + start, count);
        o += count;
        next = i;
    }
    DWORD commands = o - 2;
    WORD said = commands > kMaxDeltaCount ? 0 : static_cast<WORD>(commands);
    out[0] = static_cast<BYTE>(said & 0xFF);
    out[1] = static_cast<BYTE>(said >> 8);
    *outLength = o;
    return commands;
}

const BYTE* CompressRow(CompressState* state, const BYTE* row, DWORD length, DWORD* outLength,
                        WORD* modeUsed) {
    if (!row || !state || length != state->rowBytes || state->rowBytes == 0) return nullptr;
    auto runLength = [&]() -> const BYTE* {
        if (state->havePrevious && state->lastMode == kModeRunLength &&
            std::memcmp(row, state->previousRow, length) == 0) {
            // The same row again: its bytes are the last ones.
            *outLength = state->lastLength;
            *modeUsed = kModeRunLength;
            return state->runOut;
        }
        PackRunLength(row, state->runOut, length, outLength);
        std::memcpy(state->previousRow, row, length);
        state->havePrevious = true;
        state->lastMode = kModeRunLength;
        state->lastOut = state->runOut;
        state->lastLength = *outLength;
        *modeUsed = kModeRunLength;
        return state->runOut;
    };
    if (state->modes & kModeDeltaRow) {
        DWORD commands = PackDeltaRow(row, state->seed, state->deltaOut, length, outLength);
        std::memcpy(state->seed, row, length);
        if (commands > kMaxDeltaCount) {
            // Not sayable as a delta: the row goes out whole (run-length), and
            // both sides take it as the seed.
            state->havePrevious = false;
            return runLength();
        }
        state->lastMode = kModeDeltaRow;
        state->lastOut = state->deltaOut;
        state->lastLength = *outLength;
        *modeUsed = kModeDeltaRow;
        return state->deltaOut;
    }
    if (state->modes & kModeRunLength) return runLength();
    *outLength = length;
    *modeUsed = 0;
    state->lastMode = 0;
    return row;
}

} // namespace inkforge
