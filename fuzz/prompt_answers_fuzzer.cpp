// The answers the job-prompt program writes into its shared memory blocks:
// a job prompt block of each kind and a prior-print block, read back into a
// device mode. Whatever the bytes, the reads stay within the block and the
// device mode's fields stay terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "job_handoffs.h"
#include "prompt_blocks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace inkforge;
    std::vector<BYTE> block(data, data + size);
    for (int kind : {kPromptJobData, kPromptDeptCode, kPromptCombined}) {
        DevmodeImage d{};
        StampHeader(d.dm);
        SetPrivU32(d, priv::Signature, kPrivateSignature);
        TakeJobPromptAnswers(kind, block.data(), block.size(), &d);
        for (size_t field :
             {priv::MailboxId, priv::SecureBoxId, priv::SecurePassword, priv::DeptCode})
            if (d.priv[field + priv::JobTextSize - 1] != 0) __builtin_trap();
    }
    DevmodeImage d{};
    StampHeader(d.dm);
    SetPrivU32(d, priv::Signature, kPrivateSignature);
    if (TakePreCheckDevmode(block.data(), block.size(), &d) &&
        (d.dm.dmSize != kPublicSize || d.dm.dmDriverExtra != kPrivateSize ||
         !HasOwnSignature(d.priv)))
        __builtin_trap();
    return 0;
}
