// What a job asks of the person who prints or of the device before its first
// page: job prompts and the department-code and prior-print step.
#pragma once

#include "win/types.h"

namespace inkforge {

struct PDEV;

// Prompt kinds.
constexpr int kPromptJobData = 1;
constexpr int kPromptJobInfo = 2;
constexpr int kPromptDeptCode = 4;
constexpr int kPromptCombined = 8;

// 0 answered, 1 refused (job flag 0x40 set), 2 failed to start.
int StartJobPrompt(PDEV* pdev, int kind);
// 1 go on printing, 0 refused.
int RunDeptCodeStep(PDEV* pdev);
// The UI library's pre-check cancel; non-zero when it takes the job over.
int PreCheckCancel(PDEV* pdev);
int PostCheckCancel(PDEV* pdev);

// The ModelBlock passed to the UI library: {model library handle, model data}.
struct ModelBlock {
    HMODULE modelsmith;
    LPVOID modelData;
};
static_assert(sizeof(ModelBlock) == 16);

} // namespace inkforge
