// Bitsqueeze's exports and their table: callers bind COMPRESS, DECOMPRESS and
// RAW2ROTATE by ordinal; ordinal 4 is not used. Each goes through the export
// barrier, and a failure inside answers 0xC1, as a bad call does.
#include "export_barrier.h"
#include "imaging/bitsqueeze.h"
#include "routines.h"
#include "win/loader.h"

namespace {

// A codec call that fails inside also leaves 0xC1 in the status byte, so a
// caller that reads the block rather than the result stops the page too.
int CodecCall(int (*body)(T4CodecBlock*), T4CodecBlock* block) noexcept {
    bool failed = true;
    const int result = export_barrier::RunGuarded<int>(T4_STATUS_ERROR, [&] {
        const int r = body(block);
        failed = false;
        return r;
    });
    if (failed && block) block->status = T4_STATUS_ERROR;
    return result;
}

} // namespace

DLLEXPORT int WINAPI COMPRESS(T4CodecBlock* block) {
    return CodecCall(&bitsqueeze::CompressBlock, block);
}

DLLEXPORT int WINAPI DECOMPRESS(T4CodecBlock* block) {
    return CodecCall(&bitsqueeze::DecompressBlock, block);
}

DLLEXPORT int WINAPI RAW2ROTATE(Raw2RotateBlock* block) {
    return export_barrier::ExportGuard<&bitsqueeze::RotateBlock, T4_STATUS_ERROR>::Call(block);
}

DECLARE_EXPORT_ORDINALS({BITSQUEEZE_ORDINAL_COMPRESS, "COMPRESS"},
                        {BITSQUEEZE_ORDINAL_DECOMPRESS, "DECOMPRESS"},
                        {BITSQUEEZE_ORDINAL_RAW2ROTATE, "RAW2ROTATE"});
