// libFuzzer harness over DECOMPRESS. The first six bytes choose the block (bit
// order, aligned EOLs, width, RTC length, page lines, lines per call, how the
// coded bytes are handed out); the rest is the coded data. Any input must end the
// page, write only the raster lines of each call, and whatever was decoded must
// survive coding and decoding again unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/bitsqueeze.h"

namespace {

struct Feed {
    T4CodecBlock block; // first: the callback sees only the block
    const uint8_t* data;
    size_t size, pos, chunk;
    std::vector<uint8_t> buffer;
};

void WINAPI NextChunk(T4CodecBlock* b) {
    auto* f = reinterpret_cast<Feed*>(b);
    size_t n = std::min(f->chunk, f->size - f->pos);
    if (n == 0) {
        b->status = T4_STATUS_FINISH;
        return;
    }
    // A buffer of exactly n bytes, so that reading past it is caught.
    f->buffer.assign(f->data + f->pos, f->data + f->pos + n);
    f->pos += n;
    b->coded = f->buffer.data();
    b->codedBytes = static_cast<DWORD>(n);
}

struct Sink {
    T4CodecBlock block;
    std::vector<uint8_t>* out;
    std::vector<uint8_t> buffer;
};

void WINAPI Drain(T4CodecBlock* b) {
    auto* s = reinterpret_cast<Sink*>(b);
    s->out->insert(s->out->end(), b->coded, b->coded + b->bytesUsed);
    b->coded = s->buffer.data();
    b->codedBytes = static_cast<DWORD>(s->buffer.size());
}

struct Decoded {
    std::vector<uint8_t> rows;
    int lines = 0;
};

Decoded Decode(const uint8_t* data, size_t size, BYTE mode, int width, int rtc, int pageLines,
               int perCall, size_t chunk) {
    const size_t stride = (width + 7) / 8;
    std::vector<WORD> a(width + 5), c(width + 5);
    Feed f{};
    f.data = data;
    f.size = size;
    f.chunk = chunk;
    T4CodecBlock& b = f.block;
    b.mode = mode;
    b.rtcLength = static_cast<BYTE>(rtc);
    b.lineStride = static_cast<WORD>(stride * 8);
    b.linesPerCall = static_cast<WORD>(perCall);
    b.width = static_cast<WORD>(width);
    b.pageLines = static_cast<DWORD>(pageLines);
    b.changesA = a.data();
    b.changesB = c.data();
    b.callback = NextChunk;
    NextChunk(&b);
    b.status = T4_STATUS_START;
    Decoded d;
    const size_t maxCalls = size * 8 / 12 + 2; // every line takes an EOL's bits
    for (size_t calls = 0;; ++calls) {
        if (calls > maxCalls) abort(); // no progress
        std::vector<uint8_t> raster(stride * perCall);
        b.raster = raster.data();
        int r = DECOMPRESS(&b);
        if (b.linesThisCall > perCall) abort();
        d.rows.insert(d.rows.end(), raster.begin(), raster.begin() + b.linesThisCall * stride);
        d.lines += b.linesThisCall;
        if (r != T4_STATUS_DECODE_MORE) {
            if (r != T4_STATUS_DONE) abort();
            break;
        }
        b.status = T4_STATUS_DECODE_MORE;
    }
    if (pageLines && d.lines > pageLines) abort();
    return d;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& rows, int lines, BYTE mode, int width) {
    const size_t stride = (width + 7) / 8;
    std::vector<WORD> a(width + 5), c(width + 5);
    std::vector<uint8_t> out;
    Sink s{};
    s.out = &out;
    s.buffer.resize(61);
    T4CodecBlock& b = s.block;
    b.mode = mode;
    b.rtcLength = 6;
    b.coded = s.buffer.data();
    b.codedBytes = static_cast<DWORD>(s.buffer.size());
    b.raster = const_cast<uint8_t*>(rows.data());
    b.lineStride = static_cast<WORD>(stride * 8);
    b.linesPerCall = static_cast<WORD>(lines);
    b.width = static_cast<WORD>(width);
    b.pageLines = static_cast<DWORD>(lines);
    b.changesA = a.data();
    b.changesB = c.data();
    b.callback = Drain;
    if (COMPRESS(&b) != T4_STATUS_DONE) abort();
    out.insert(out.end(), b.coded, b.coded + b.bytesUsed);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const BYTE mode =
        static_cast<BYTE>((data[0] & 1 ? 3 : 2) | (data[0] & 2 ? T4_MODE_ALIGNED_EOL : 0));
    const int width = 1 + ((data[1] << 8 | data[2]) % 4000);
    const int rtc = data[3] % 8;
    const int pageLines = data[4] % 64; // 0: until RTC or the end of the data
    const int perCall = 1 + (data[5] & 15);
    const size_t chunk = 1 + (data[5] >> 4) * 17;
    Decoded d = Decode(data + 6, size - 6, mode, width, rtc, pageLines, perCall, chunk);
    if (d.lines == 0) return 0;
    // What was decoded codes and decodes back to itself.
    std::vector<uint8_t> coded = Encode(d.rows, d.lines, mode, width);
    Decoded again = Decode(coded.data(), coded.size(), mode, width, 6, d.lines, 64, 1 << 20);
    if (again.lines != d.lines) abort();
    const size_t stride = (width + 7) / 8;
    const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> (width % 8 ? width % 8 : 8));
    for (int y = 0; y < d.lines; ++y) {
        const uint8_t *p = &d.rows[y * stride], *q = &again.rows[y * stride];
        if (std::memcmp(p, q, stride - 1) != 0 || ((p[stride - 1] ^ q[stride - 1]) & lastMask))
            abort();
    }
    return 0;
}
