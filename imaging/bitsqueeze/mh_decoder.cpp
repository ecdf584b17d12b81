// DECOMPRESS: decodes one-dimensional Modified Huffman lines into the raster, a
// slice of lines per call, from buffers that the caller's callback refills.
// Damaged lines are replaced by the line above; any input ends the page.
#include "common/bit_ops.h"
#include "codec_state.h"
#include "mh_codes.h"
#include "mh_lines.h"
#include "routines.h"

namespace bitsqueeze {

using namespace imaging;
namespace {

// Holds the next bits of the coded stream in a 64-bit accumulator, the next bit
// on top. Bits below the valid count may hold the stream's following bits (the
// fast refill overlaps), never anything else.
class BitReader {
  public:
    BitReader(T4CodecBlock* block, CodecState& state)
        : block_(block), state_(state), msbFirst_(block->mode & T4_MODE_MSB_FIRST) {
        state_.AdoptBuffer(block);
        pos_ = state_.buffer + state_.offset;
        end_ = state_.buffer + state_.bufferSize;
        acc_ = state_.acc;
        bits_ = state_.accBits;
        exhausted_ = state_.flags & CodecState::kEndOfData;
    }

    // Makes at least n (<= 32) bits available when the data allows; returns how
    // many are. Past the end of the data the accumulator reads as 0 bits.
    int Need(int n) {
        if (bits_ < n) Refill(n);
        return bits_;
    }
    uint64_t Peek() const { return acc_; }
    void Skip(int n) {
        acc_ <<= n;
        bits_ -= n;
    }

    void Save() {
        ClearBelowValid();
        state_.acc = acc_;
        state_.accBits = static_cast<uint8_t>(bits_);
        state_.offset = static_cast<uint32_t>(pos_ - state_.buffer);
        if (exhausted_) state_.flags |= CodecState::kEndOfData;
        block_->bytesUsed = state_.offset;
    }

  private:
    void ClearBelowValid() { acc_ &= bits_ ? ~0ull << (64 - bits_) : 0; }

    void Refill(int n) {
        if (end_ - pos_ >= 8) {
            uint64_t word = LoadBE64(pos_);
            acc_ |= (msbFirst_ ? word : ReverseBitsInBytes(word)) >> bits_;
            int bytes = (63 - bits_) >> 3;
            pos_ += bytes;
            bits_ += bytes * 8;
            return;
        }
        RefillNearEnd(n);
    }

    // Byte by byte from what is left of the buffer, then from the next buffers.
    __attribute__((noinline)) void RefillNearEnd(int n) {
        ClearBelowValid();
        for (;;) {
            while (bits_ <= 55 &&
                   pos_ < end_) { // at most 63 valid bits: every skip shifts by less than 64
                uint8_t byte = *pos_++;
                acc_ |= static_cast<uint64_t>(msbFirst_ ? byte : kReverseBits[byte])
                        << (56 - bits_);
                bits_ += 8;
            }
            if (bits_ >= n || exhausted_ || !NextBuffer()) return;
        }
    }

    bool NextBuffer() {
        block_->status = T4_STATUS_CODE_MORE;
        block_->bytesUsed = state_.bufferSize;
        if (block_->callback) block_->callback(block_);
        if (!block_->callback || block_->status == T4_STATUS_FINISH || !block_->coded ||
            block_->codedBytes == 0) {
            exhausted_ = true;
            return false;
        }
        state_.buffer = block_->coded;
        state_.bufferSize = block_->codedBytes;
        state_.offset = 0;
        pos_ = state_.buffer;
        end_ = pos_ + state_.bufferSize;
        return true;
    }

    T4CodecBlock* block_;
    CodecState& state_;
    bool msbFirst_;
    bool exhausted_;
    const BYTE* pos_;
    const BYTE* end_;
    uint64_t acc_;
    int bits_;
};

enum class Token { kEol, kCode, kEnd };
enum class LineResult { kGood, kBad, kEnd };

class Decoder {
  public:
    Decoder(T4CodecBlock* block, CodecState& state)
        : block_(block), state_(state), in_(block, state) {}

    int Run();

  private:
    // Skips 0 fill; consumes an EOL that follows (kEol), or stops before bits that
    // begin something else (kCode), or finds the data at an end (kEnd).
    Token NextToken() {
        int zeros = 0;
        for (;;) {
            int avail = in_.Need(kEolBits);
            if (avail == 0) return Token::kEnd;
            uint64_t bits = in_.Peek();
            int lead = bits ? __builtin_clzll(bits) : 64;
            if (lead >= avail) { // nothing but fill in view
                zeros += avail;
                in_.Skip(avail);
                continue;
            }
            zeros += lead;
            if (zeros >= kEolBits - 1) {
                in_.Skip(lead + 1);
                return Token::kEol;
            }
            return Token::kCode; // fewer than 11 zeros: nothing was consumed
        }
    }

    // Resynchronises: skips bits one at a time until an EOL has been read.
    Token SkipToEol() {
        for (;;) {
            Token t = NextToken();
            if (t != Token::kCode) return t;
            in_.Skip(__builtin_clzll(in_.Peek()) + 1);
        }
    }

    // Decodes the runs of one line into `changes` and draws them into `line`;
    // *count gets the list's length.
    LineResult DecodeRuns(WORD* changes, int* count, BYTE* line) {
        const int end = block_->width + 1;
        int n = 1, pos = 1, runStart = 1, colour = kWhite;
        changes[0] = 1;
        LineWriter out(line);
        // A completed run adds its end to the list; a run of 0 inside the line
        // cancels the change before it instead.
        auto complete = [&] {
            if (pos == runStart && n >= 2)
                --n;
            else
                changes[n++] = static_cast<WORD>(pos);
            runStart = pos;
        };
        for (;;) {
            int avail = in_.Need(kDecodeIndexBits);
            const uint32_t index = static_cast<uint32_t>(in_.Peek() >> (64 - kDecodeIndexBits));
            if (colour == kWhite) {
                // Short white and black runs, as in text, come in pairs from one lookup.
                PairEntry pair = kPairTable[index];
                if (pair.length != 0 && pair.length <= avail &&
                    pos + pair.white + pair.black < end) {
                    in_.Skip(pair.length);
                    pos += pair.white;
                    out.White(pos - runStart);
                    complete();
                    pos += pair.black;
                    out.Black(pair.black);
                    complete();
                    continue;
                }
            }
            DecodeEntry e = kDecodeTables[colour][index];
            int length = e.Length();
            if (length > avail) return LineResult::kEnd;
            if (length == 0) return avail == 0 ? LineResult::kEnd : LineResult::kBad;
            in_.Skip(length);
            // Make-up codes add up until a terminating code (below 64) ends the run.
            pos += e.Run();
            if (pos > end) return LineResult::kBad;
            if (e.Run() < 64) {
                if (colour == kWhite)
                    out.White(pos - runStart);
                else
                    out.Black(pos - runStart);
                complete();
                colour ^= 1;
                if (pos == end) {
                    out.Finish();
                    *count = n;
                    return LineResult::kGood;
                }
            }
        }
    }

    void CloseChanges(WORD* changes, int count) {
        changes[count] = static_cast<WORD>(block_->width + 1);
        changes[count + 1] = static_cast<WORD>(block_->width + 2);
        changes[count + 2] = static_cast<WORD>(block_->width + 2);
    }

    int EndPage(WORD lines, bool readRtc);
    int Finish(int code, WORD lines);

    T4CodecBlock* block_;
    CodecState& state_;
    BitReader in_;
};

int Decoder::Finish(int code, WORD lines) {
    block_->linesThisCall = lines;
    block_->repairedLines = static_cast<SHORT>(state_.repaired > 32767 ? 32767 : state_.repaired);
    if (code != T4_STATUS_DECODE_MORE) state_.magic = 0;
    in_.Save();
    state_.Store(block_);
    block_->status = static_cast<BYTE>(code);
    return code;
}

int Decoder::EndPage(WORD lines, bool readRtc) {
    // With aligned EOLs the page's trailing RTC is read as well.
    if (readRtc && (block_->mode & T4_MODE_ALIGNED_EOL)) {
        int seen = (state_.flags & CodecState::kEolPending) ? 1 : 0;
        while (seen < block_->rtcLength && NextToken() == Token::kEol)
            ++seen;
    }
    return Finish(T4_STATUS_DONE, lines);
}

int Decoder::Run() {
    const int width = block_->width;
    const size_t strideBytes = block_->lineStride / 8;
    const int rtc = block_->rtcLength;
    WORD lines = 0;
    while (lines < block_->linesPerCall) {
        // Every line begins with an EOL.
        Token t;
        if (state_.flags & CodecState::kEolPending) {
            state_.flags &= ~CodecState::kEolPending;
            t = Token::kEol;
        } else {
            t = (state_.flags & CodecState::kNeedSync) ? SkipToEol() : NextToken();
            if (t == Token::kCode) t = SkipToEol(); // stray bits where an EOL belongs
        }
        state_.flags &= ~CodecState::kNeedSync;
        // Consecutive EOLs count towards the page's RTC.
        while (t == Token::kEol) {
            if (state_.eolRun < 0xFFFF) ++state_.eolRun;
            if (rtc > 0 && state_.eolRun >= rtc) return EndPage(lines, false);
            t = NextToken();
        }
        if (t == Token::kEnd) return EndPage(lines, false);
        state_.eolRun = 0;

        WORD* current = (block_->linesDone & 1) ? block_->changesB : block_->changesA;
        const WORD* previous = (block_->linesDone & 1) ? block_->changesA : block_->changesB;
        int count = 0;
        BYTE* line = block_->raster + lines * strideBytes;
        LineResult result = DecodeRuns(current, &count, line);
        if (result == LineResult::kEnd) return EndPage(lines, false);
        if (result == LineResult::kGood) {
            CloseChanges(current, count);
            // A complete line must be followed by its successor's EOL (or the end).
            Token next = NextToken();
            if (next == Token::kEol) state_.flags |= CodecState::kEolPending;
            if (next == Token::kCode) result = LineResult::kBad;
        }
        if (result == LineResult::kBad) {
            count = ChangesLength(previous, width);
            std::memmove(current, previous, (count + 3) * sizeof(WORD));
            DrawChanges(line, width, current, count);
            ++state_.repaired;
            state_.flags |= CodecState::kNeedSync;
        }
        ++lines;
        ++block_->linesDone;
        if (block_->pageLines != 0 && block_->linesDone >= block_->pageLines)
            return EndPage(lines, true);
    }
    return Finish(T4_STATUS_DECODE_MORE, lines);
}

int Decompress(T4CodecBlock* block) {
    CodecState state = CodecState::Load(block);
    switch (block->status) {
    case T4_STATUS_START:
        if (!GeometryValid(block)) break;
        state = CodecState{};
        state.magic = CodecState::kPageMagic;
        state.flags = CodecState::kNeedSync;
        block->linesDone = 0;
        block->repairedLines = 0;
        SetEmptyChanges(block->changesA, block->width);
        SetEmptyChanges(block->changesB, block->width);
        return Decoder(block, state).Run();
    case T4_STATUS_DECODE_MORE:
        if (state.magic != CodecState::kPageMagic || !GeometryValid(block)) break;
        return Decoder(block, state).Run();
    case T4_STATUS_FINISH:
        state.magic = 0;
        state.Store(block);
        block->linesThisCall = 0;
        block->status = T4_STATUS_DONE;
        return T4_STATUS_DONE;
    default:
        break;
    }
    block->status = T4_STATUS_ERROR;
    return T4_STATUS_ERROR;
}

} // namespace
} // namespace bitsqueeze

int bitsqueeze::DecompressBlock(T4CodecBlock* block) {
    if (!block || !ModeValid(block)) return T4_STATUS_ERROR;
    return Decompress(block);
}
