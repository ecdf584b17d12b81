// Stand-in for the outside JBIG coder: CMPJDLL codes the whole 1-bit image
// of the block into one JBIG image entity with jbigkit's libjbig. The coded
// bytes go through the block's output buffer; whenever it is full and more
// bytes follow, the block's callback sends it. The last, never empty, part
// stays in the buffer for the caller when CMPJDLL answers "done".
#include <cstring>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "jbig_block.h"
#include "win/types.h"

namespace {

using outside::JbigCodecBlock;

struct Sink {
    JbigCodecBlock* block;
    bool failed = false;
};

void TakeBytes(unsigned char* start, size_t len, void* file) {
    auto* sink = static_cast<Sink*>(file);
    JbigCodecBlock* b = sink->block;
    while (len > 0 && !sink->failed) {
        if (b->outputBytes == b->outputSize) {
            // Full, and more follows: the caller sends it.
            if (!b->callback) {
                sink->failed = true;
                return;
            }
            b->callback(b);
            b->outputBytes = 0;
        }
        size_t n = std::min<size_t>(len, b->outputSize - b->outputBytes);
        std::memcpy(b->output + b->outputBytes, start, n);
        b->outputBytes += static_cast<std::uint32_t>(n);
        start += n;
        len -= n;
    }
}

} // namespace

extern "C" DLLEXPORT int CMPJDLL(JbigCodecBlock* b) {
    if (!b || !b->output || !b->bits || b->outputSize == 0 || b->width == 0 || b->height == 0 ||
        b->status != 0)
        return outside::kJbigError;
    // Rows of whole 32-bit words, as the engine's bitmaps have them; libjbig
    // takes rows of whole bytes.
    const size_t stride = (static_cast<size_t>(b->width) + 31) / 32 * 4;
    const size_t rowBytes = (static_cast<size_t>(b->width) + 7) / 8;
    std::vector<unsigned char> packed(rowBytes * b->height);
    for (size_t y = 0; y < b->height; ++y)
        std::memcpy(packed.data() + y * rowBytes, b->bits + y * stride, rowBytes);
    unsigned char* planes[1] = {packed.data()};
    Sink sink{b};
    b->outputBytes = 0;
    jbg_enc_state state;
    jbg_enc_init(&state, b->width, b->height, 1, planes, &TakeBytes, &sink);
    jbg_enc_options(&state, -1, -1, b->stripeLines ? b->stripeLines : 128, -1, -1);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    b->status = outside::kJbigDone;
    return sink.failed ? outside::kJbigError : outside::kJbigDone;
}
