// COMPRESS: codes raster lines as one-dimensional Modified Huffman, a slice of
// lines per call, into buffers that the caller's callback empties.
#include "common/bit_ops.h"
#include "codec_state.h"
#include "mh_codes.h"
#include "mh_lines.h"
#include "routines.h"

namespace bitsqueeze {

using namespace imaging;
namespace {

// Collects bits MSB first in a 64-bit accumulator and moves whole bytes to the
// coded buffer, asking the callback for a new buffer when one is full.
class BitWriter {
  public:
    BitWriter(T4CodecBlock* block, CodecState& state)
        : block_(block), state_(state), msbFirst_(block->mode & T4_MODE_MSB_FIRST) {
        state_.AdoptBuffer(block);
        pos_ = const_cast<BYTE*>(state_.buffer) + state_.offset;
        end_ = const_cast<BYTE*>(state_.buffer) + state_.bufferSize;
        acc_ = state_.acc;
        bits_ = state_.accBits;
    }

    bool OutOfRoom() const { return outOfRoom_; }
    // Bits written since the line began.
    uint32_t lineBits = 0;

    // Appends the low `length` bits of `code` (length <= 32).
    void Put(uint32_t code, int length) {
        acc_ |= static_cast<uint64_t>(code) << (64 - bits_ - length);
        bits_ += length;
        lineBits += length;
        if (bits_ >= 32) Drain();
    }

    void PutZeros(uint32_t count) {
        while (count > 0) {
            int n = count > 32 ? 32 : static_cast<int>(count);
            Put(0, n);
            count -= n;
        }
    }

    // Zero bits up to the next byte boundary of the coded stream (every byte
    // already moved out is whole, so the boundary depends on the accumulator only).
    void AlignToByte() { PutZeros((8 - bits_ % 8) % 8); }
    int BitsPastByteBoundary() const { return bits_ % 8; }

    // Pads the last byte with 0 bits and moves everything out.
    void Flush() {
        AlignToByte();
        Drain();
    }

    // Leaves fewer than 8 bits in the accumulator and records the position.
    void Save() {
        Drain();
        state_.acc = acc_;
        state_.accBits = static_cast<uint8_t>(bits_);
        state_.offset = static_cast<uint32_t>(pos_ - state_.buffer);
        block_->bytesUsed = state_.offset;
    }

  private:
    void Drain() {
        if (end_ - pos_ >= 8) {
            // Store the whole word; only its complete bytes count.
            StoreBE64(pos_, msbFirst_ ? acc_ : ReverseBitsInBytes(acc_));
            int bytes = bits_ >> 3;
            pos_ += bytes;
            acc_ = bytes == 8 ? 0 : acc_ << (bytes * 8);
            bits_ -= bytes * 8;
            return;
        }
        while (bits_ >= 8 && !outOfRoom_) {
            if (pos_ == end_ && !NextBuffer()) break;
            uint8_t byte = static_cast<uint8_t>(acc_ >> 56);
            *pos_++ = msbFirst_ ? byte : kReverseBits[byte];
            acc_ <<= 8;
            bits_ -= 8;
        }
        if (outOfRoom_) {
            acc_ = 0;
            bits_ = 0;
        }
    }

    bool NextBuffer() {
        block_->status = T4_STATUS_DECODE_MORE;
        block_->bytesUsed = state_.bufferSize;
        if (block_->callback) block_->callback(block_);
        if (!block_->callback || block_->status == T4_STATUS_FINISH || !block_->coded ||
            block_->codedBytes == 0) {
            outOfRoom_ = true;
            return false;
        }
        state_.buffer = block_->coded;
        state_.bufferSize = block_->codedBytes;
        state_.offset = 0;
        pos_ = block_->coded;
        end_ = pos_ + state_.bufferSize;
        return true;
    }

    T4CodecBlock* block_;
    CodecState& state_;
    bool msbFirst_;
    bool outOfRoom_ = false;
    BYTE* pos_;
    BYTE* end_;
    uint64_t acc_;
    int bits_;
};

void PutRun(BitWriter& out, int colour, uint32_t run) {
    while (run >= kMaxRun) {
        out.Put(kMakeup2560.bits, kMakeup2560.length);
        run -= kMaxRun;
    }
    const RunCode& code = kRunCodes[colour][run];
    out.Put(code.bits, code.length);
}

void CodeLine(BitWriter& out, const T4CodecBlock* block, const BYTE* line, WORD* changes) {
    const bool aligned = block->mode & T4_MODE_ALIGNED_EOL;
    out.lineBits = 0;
    // Leading fill so that the EOL ends on a byte boundary.
    if (aligned) out.PutZeros((8 + 4 - out.BitsPastByteBoundary()) % 8);
    int count = LineToChanges(line, block->width, changes);
    out.Put(kEolCode, kEolBits);
    for (int i = 0; i + 1 < count; ++i)
        PutRun(out, i & 1, changes[i + 1] - changes[i]);
    if (aligned) out.AlignToByte();
    if (out.lineBits < block->minLineBits) {
        out.PutZeros(block->minLineBits - out.lineBits);
        if (aligned) out.AlignToByte();
    }
}

int Finish(T4CodecBlock* block, CodecState& state, int code) {
    if (code != T4_STATUS_CODE_MORE) state.magic = 0;
    state.Store(block);
    block->status = static_cast<BYTE>(code);
    return code;
}

int EndPage(T4CodecBlock* block, CodecState& state, BitWriter& out) {
    if (!out.OutOfRoom()) {
        for (int i = 0; i < block->rtcLength; ++i)
            out.Put(kEolCode, kEolBits);
        out.Flush();
    }
    out.Save();
    return Finish(block, state, T4_STATUS_DONE);
}

int Compress(T4CodecBlock* block) {
    CodecState state = CodecState::Load(block);
    switch (block->status) {
    case T4_STATUS_START:
        if (!GeometryValid(block)) return Finish(block, state, T4_STATUS_ERROR);
        state = CodecState{};
        state.magic = CodecState::kPageMagic;
        block->linesDone = 0;
        break;
    case T4_STATUS_CODE_MORE:
        if (state.magic != CodecState::kPageMagic || !GeometryValid(block))
            return Finish(block, state, T4_STATUS_ERROR);
        break;
    case T4_STATUS_FINISH:
        if (state.magic != CodecState::kPageMagic) state = CodecState{};
        {
            BitWriter out(block, state);
            return EndPage(block, state, out);
        }
    default:
        return Finish(block, state, T4_STATUS_ERROR);
    }

    BitWriter out(block, state);
    const size_t strideBytes = block->lineStride / 8;
    for (WORD k = 0; k < block->linesPerCall; ++k) {
        WORD* changes = (block->linesDone & 1) ? block->changesB : block->changesA;
        CodeLine(out, block, block->raster + k * strideBytes, changes);
        if (out.OutOfRoom()) return EndPage(block, state, out);
        ++block->linesDone;
        if (block->pageLines != 0 && block->linesDone >= block->pageLines)
            return EndPage(block, state, out);
    }
    out.Save();
    return Finish(block, state, T4_STATUS_CODE_MORE);
}

} // namespace
} // namespace bitsqueeze

int bitsqueeze::CompressBlock(T4CodecBlock* block) {
    if (!block || !ModeValid(block)) return T4_STATUS_ERROR;
    return Compress(block);
}
