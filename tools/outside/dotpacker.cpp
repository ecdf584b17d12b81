// Stand-in for the outside JBIG coder: CMPJDLL codes the whole 1-bit image
// of the block into one JBIG image entity with jbigkit's libjbig, in one
// call, with the order, prediction and stripe height the block asks for. The
// coded bytes go through the block's output buffer; whenever it is full and
// more bytes follow, the block's callback sends it. The last, never empty,
// part stays in the buffer for the caller when CMPJDLL answers "done".
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

DLLEXPORT int CMPJDLL(JbigCodecBlock* b) {
    if (!b || !b->output || !b->bits || b->outputSize == 0 || b->width == 0 || b->height == 0 ||
        b->status != 0)
        return outside::kJbigError;
    // Rows of whole 32-bit words, as the engine's bitmaps have them; libjbig
    // takes rows of whole bytes. A width of whole words is handed over as it
    // is: libjbig then only reads the rows (it clears the padding bits of a
    // last partial byte in place, which the caller's image must not see).
    const size_t stride = (static_cast<size_t>(b->width) + 31) / 32 * 4;
    const size_t rowBytes = (static_cast<size_t>(b->width) + 7) / 8;
    std::vector<unsigned char> packed(b->width % 32 == 0 ? 0 : rowBytes * b->height);
    for (size_t y = 0; !packed.empty() && y < b->height; ++y)
        std::memcpy(packed.data() + y * rowBytes, b->bits + y * stride, rowBytes);
    unsigned char* planes[1] = {packed.empty() ? const_cast<unsigned char*>(b->bits)
                                               : packed.data()};
    Sink sink{b};
    b->outputBytes = 0;
    jbg_enc_state state;
    jbg_enc_init(&state, b->width, b->height, 1, planes, &TakeBytes, &sink);
    // The block's coding fields as they are: the order byte, typical
    // prediction (the only option of a single-layer image) and the stripe
    // height; the adaptive template pixel is libjbig's choice (up to 8 pixels
    // left), which halftoned pages code much smaller with.
    jbg_enc_options(&state, b->order, b->typical ? JBG_TPBON : 0,
                    b->stripeLines ? b->stripeLines : outside::kJbigStripeLines, -1, -1);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    b->status = outside::kJbigDone;
    return sink.failed ? outside::kJbigError : outside::kJbigDone;
}
