// A JBIG coder for the tests that says its output buffer holds more bytes
// than the buffer has: through the callback for images wider than 64 pixels,
// in the last part otherwise.
#include <cstring>

#include "jbig_block.h"
#include "win/types.h"

extern "C" DLLEXPORT int CMPJDLL(outside::JbigCodecBlock* b) {
    if (!b || !b->output || b->outputSize == 0) return outside::kJbigError;
    std::memset(b->output, 0x5A, b->outputSize);
    b->outputBytes = b->outputSize + 4096;
    if (b->width > 64 && b->callback) {
        b->callback(b);
        b->outputBytes = 16;
    }
    return outside::kJbigDone;
}
