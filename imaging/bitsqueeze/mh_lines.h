// Raster lines and their change lists. A change list holds the 1-based positions
// where a line changes colour, starting white: {1, first black, next white, ...,
// width + 1}, closed by width + 1, width + 2, width + 2.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "common/bit_ops.h"

namespace bitsqueeze {

using namespace imaging;

// Writes the change list of a line and returns its length up to and including
// the first width + 1; the three closing entries follow it. A 64-pixel word at a
// time: comparing each pixel with its left neighbour (white before the line)
// leaves one bit per change, and the changes are read off with a count of
// leading zeros; stretches of one colour go 32 bytes per step. Never reads past
// the line.
inline int LineToChanges(const uint8_t* line, int width, uint16_t* changes) {
    const int bytes = (width + 7) / 8;
    int count = 0;
    changes[count++] = 1;
    uint64_t left = 0; // the pixel before the word, in the top bit
    for (int byte = 0; byte < bytes; byte += 8) {
        const __m128i same = _mm_set1_epi8(left ? char(0xFF) : 0);
        while (byte + 32 <= bytes) {
            __m128i a = _mm_cmpeq_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + byte)), same);
            __m128i b = _mm_cmpeq_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + byte + 16)), same);
            if (_mm_movemask_epi8(_mm_and_si128(a, b)) != 0xFFFF) break;
            byte += 32;
        }
        if (byte >= bytes) break;
        uint64_t word =
            byte + 8 <= bytes ? LoadBE64(line + byte) : LoadBEPartial(line + byte, bytes - byte);
        uint64_t changed = word ^ (word >> 1 | left);
        left = word << 63;
        const int pixels = width - byte * 8;
        if (pixels < 64) changed &= ~(~0ull >> pixels); // nothing past the line's end
        while (changed) {
            int z = __builtin_clzll(changed);
            changes[count++] = static_cast<uint16_t>(byte * 8 + z + 1);
            changed &= ~(1ull << (63 - z));
        }
    }
    changes[count++] = static_cast<uint16_t>(width + 1);
    changes[count] = static_cast<uint16_t>(width + 1);
    changes[count + 1] = static_cast<uint16_t>(width + 2);
    changes[count + 2] = static_cast<uint16_t>(width + 2);
    return count;
}

inline void SetEmptyChanges(uint16_t* changes, int width) {
    const uint16_t w1 = static_cast<uint16_t>(width + 1), w2 = static_cast<uint16_t>(width + 2);
    changes[0] = 1;
    changes[1] = w1;
    changes[2] = w1;
    changes[3] = w2;
    changes[4] = w2;
}

// Length of a change list up to its first width + 1, looking at no more than
// width + 2 entries (a list the caller disturbed still ends).
inline int ChangesLength(const uint16_t* changes, int width) {
    for (int i = 1; i < width + 2; ++i)
        if (changes[i] >= width + 1) return i + 1;
    return width + 2;
}

// Writes a raster line run by run, each byte once: runs are shifted into a
// 64-bit word that goes out whenever it is full; whole words of one colour go
// out with memset.
class LineWriter {
  public:
    explicit LineWriter(uint8_t* line) : out_(line) {}

    void White(int n) {
        if (bits_ + n < 64) {
            bits_ += n;
            return;
        }
        Put(n, false);
    }
    void Black(int n) {
        if (bits_ + n < 64) {
            if (n > 0) acc_ |= (~0ull >> (64 - n)) << (64 - bits_ - n);
            bits_ += n;
            return;
        }
        Put(n, true);
    }
    // Writes the bits not yet written; `width` pixels must have been put.
    void Finish() {
        for (int i = 0; bits_ > 0; ++i, bits_ -= 8)
            out_[i] = static_cast<uint8_t>(acc_ >> (56 - 8 * i));
    }

  private:
    void Put(int n, bool black) {
        const uint64_t fill = black ? ~0ull : 0;
        while (n > 0) {
            if (bits_ == 0 && n >= 64) {
                size_t whole = static_cast<size_t>(n / 64) * 8;
                std::memset(out_, black ? 0xFF : 0, whole);
                out_ += whole;
                n %= 64;
                continue;
            }
            int take = n < 64 - bits_ ? n : 64 - bits_;
            acc_ |= (fill >> (64 - take)) << (64 - bits_ - take);
            bits_ += take;
            n -= take;
            if (bits_ == 64) {
                StoreBE64(out_, acc_);
                out_ += 8;
                acc_ = 0;
                bits_ = 0;
            }
        }
    }

    uint8_t* out_;
    uint64_t acc_ = 0;
    int bits_ = 0; // filled bits of acc_, from the top
};

// Draws a line from its change list. Positions are clamped to the line, so a
// damaged list cannot write past it.
inline void DrawChanges(uint8_t* line, int width, const uint16_t* changes, int count) {
    LineWriter out(line);
    int at = 1; // next position to draw (1-based)
    for (int i = 0; i + 1 < count && at <= width; ++i) {
        int next = changes[i + 1];
        if (next > width + 1) next = width + 1;
        if (next > at) {
            if (i & 1)
                out.Black(next - at);
            else
                out.White(next - at);
            at = next;
        }
    }
    if (at <= width) out.White(width + 1 - at);
    out.Finish();
}

} // namespace bitsqueeze
