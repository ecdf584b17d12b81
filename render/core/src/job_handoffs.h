// What a job asks of the person who prints or of the device before its first
// page: job prompts and the department-code and prior-print step.
#pragma once

#include <string>

#include "model/modelsmith.h"
#include "win/types.h"

namespace inkforge {

struct PDEV;

// Prompt kinds.
constexpr int kPromptJobData = 1;
constexpr int kPromptJobInfo = 2;
constexpr int kPromptDeptCode = 4;
constexpr int kPromptCombined = 8;

// The job-prompt program, beside the driver.
inline constexpr char kJobPromptProgram[] = "Jobprompt.EXE";
// How long the program is given to answer before the prompt counts as refused.
constexpr DWORD kPromptWaitTimeout = 10 * 60 * 1000;

// The program's path (empty when the driver's own folder is unknown) and the block names of a job.
std::u16string JobPromptPath();
std::u16string JobPromptBlockName(DWORD jobId);
std::u16string PreCheckBlockName(DWORD jobId);

// 0 answered, 1 refused or timed out (job flag 0x40 set), 2 failed (program
// missing, block not made or taken already, program not started).
int StartJobPrompt(PDEV* pdev, int kind);
// 1 go on printing, 0 refused.
int RunDeptCodeStep(PDEV* pdev);
// The UI library's pre-check cancel; non-zero when it takes the job over.
int PreCheckCancel(PDEV* pdev);
int PostCheckCancel(PDEV* pdev);

// The ModelBlock passed to the UI library: {model library handle, model data}.
using ModelBlock = ::ModelBlock;

} // namespace inkforge
